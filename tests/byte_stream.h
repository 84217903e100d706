// An in-memory IBStream for tests: reads from and writes to a byte vector.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "pluginterfaces/base/ibstream.h"

namespace b2test {

class ByteStream : public Steinberg::IBStream {
public:
    std::vector<uint8_t> bytes;
    int64_t pos = 0;
    // Answer kResultFalse to a read that brings fewer bytes than asked (the
    // end of the state), as some hosts' streams do.
    bool false_on_short_read = false;

    ByteStream() = default;
    explicit ByteStream(std::vector<uint8_t> b) : bytes(std::move(b)) {}

    Steinberg::tresult PLUGIN_API read(void* buffer, Steinberg::int32 n, Steinberg::int32* done) override {
        const int64_t left = static_cast<int64_t>(bytes.size()) - pos;
        const Steinberg::int32 count = n < 0 ? 0 : static_cast<Steinberg::int32>(std::min<int64_t>(n, std::max<int64_t>(left, 0)));
        if (count > 0) std::memcpy(buffer, bytes.data() + pos, static_cast<size_t>(count));
        pos += count;
        if (done) *done = count;
        return false_on_short_read && count < n ? Steinberg::kResultFalse : Steinberg::kResultOk;
    }
    Steinberg::tresult PLUGIN_API write(void* buffer, Steinberg::int32 n, Steinberg::int32* done) override {
        if (n < 0) return Steinberg::kInvalidArgument;
        const size_t end = static_cast<size_t>(pos) + static_cast<size_t>(n);
        if (bytes.size() < end) bytes.resize(end);
        if (n > 0) std::memcpy(bytes.data() + pos, buffer, static_cast<size_t>(n));
        pos += n;
        if (done) *done = n;
        return Steinberg::kResultOk;
    }
    Steinberg::tresult PLUGIN_API seek(Steinberg::int64 p, Steinberg::int32 mode, Steinberg::int64* result) override {
        const int64_t base = mode == kIBSeekSet ? 0 : mode == kIBSeekCur ? pos : static_cast<int64_t>(bytes.size());
        if (base + p < 0) return Steinberg::kInvalidArgument;
        pos = base + p;
        if (result) *result = pos;
        return Steinberg::kResultOk;
    }
    Steinberg::tresult PLUGIN_API tell(Steinberg::int64* p) override {
        if (p) *p = pos;
        return Steinberg::kResultOk;
    }
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override {
        if (Steinberg::FUnknownPrivate::iidEqual(iid, Steinberg::IBStream::iid) ||
            Steinberg::FUnknownPrivate::iidEqual(iid, Steinberg::FUnknown::iid)) {
            *obj = this;
            addRef();
            return Steinberg::kResultOk;
        }
        *obj = nullptr;
        return Steinberg::kNoInterface;
    }
    // Lives on the stack or in a test fixture: reference counting is a no-op.
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
};

}  // namespace b2test
