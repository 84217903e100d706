#include "plugin/state_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace riser {

using namespace Steinberg;

tresult PLUGIN_API state_buffer::read(void* buffer, int32 n, int32* done) {
    const int64_t left = std::max<int64_t>(static_cast<int64_t>(bytes.size()) - pos, 0);
    const int32 count = n <= 0 || !buffer ? 0 : static_cast<int32>(std::min<int64_t>(n, left));
    if (count > 0) std::memcpy(buffer, bytes.data() + pos, static_cast<size_t>(count));
    pos += count;
    if (done) *done = count;
    return kResultOk;
}

tresult PLUGIN_API state_buffer::write(void* buffer, int32 n, int32* done) {
    if (done) *done = 0;
    if (n < 0 || (n > 0 && !buffer)) return kInvalidArgument;
    const size_t end = static_cast<size_t>(pos) + static_cast<size_t>(n);
    try {  // growing may allocate; nothing may throw into the state services
        if (bytes.size() < end) bytes.resize(end);
    } catch (...) {
        return kOutOfMemory;
    }
    if (n > 0) std::memcpy(bytes.data() + pos, buffer, static_cast<size_t>(n));
    pos += n;
    if (done) *done = n;
    return kResultOk;
}

tresult PLUGIN_API state_buffer::seek(int64 p, int32 mode, int64* result) {
    const int64_t base = mode == kIBSeekSet ? 0 : mode == kIBSeekCur ? pos : static_cast<int64_t>(bytes.size());
    if (base + p < 0) return kInvalidArgument;
    pos = base + p;
    if (result) *result = pos;
    return kResultOk;
}

tresult PLUGIN_API state_buffer::tell(int64* p) {
    if (p) *p = pos;
    return kResultOk;
}

tresult PLUGIN_API state_buffer::queryInterface(const TUID iid, void** obj) {
    if (!obj) return kInvalidArgument;
    if (FUnknownPrivate::iidEqual(iid, IBStream::iid) || FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
        *obj = static_cast<IBStream*>(this);
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}

bool read_host_state(IBStream* stream, state_buffer& out) {
    constexpr int32 kChunk = 4096;
    bool error = false;
    size_t total = 0;
    try {
        while (total < static_cast<size_t>(kMaxStateBytes)) {
            const int32 ask = std::min<int32>(kChunk, kMaxStateBytes - static_cast<int32>(total));
            out.bytes.resize(total + static_cast<size_t>(ask));
            int32 got = 0;
            if (stream->read(out.bytes.data() + total, ask, &got) != kResultOk) error = true;
            got = std::max<int32>(0, std::min(got, ask));
            total += static_cast<size_t>(got);
            if (got < ask) break;
        }
    } catch (...) {  // out of memory: what arrived so far is the state
    }
    out.bytes.resize(total);
    out.pos = 0;
    return !(error && total == 0);
}

bool write_host_state(IBStream* stream, const state_buffer& in) {
    const auto size = static_cast<int32>(in.bytes.size());
    if (size == 0) return true;
    int32 written = 0;
    void* data = const_cast<uint8_t*>(in.bytes.data());
    return stream->write(data, size, &written) == kResultOk && written == size;
}

}  // namespace riser
