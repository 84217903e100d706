// Vst3Adapter: the host's state calls.
//
// The state services run under the audio-side script lock, which every
// process call also takes. So they work on memory only: getState has them
// write into a buffer and hands it to the host afterwards; setState reads
// the host's stream into a buffer first. While a state call holds the lock
// the audio thread waits at most for writing about a hundred bytes, or for
// parsing at most kMaxStateBytes, never for the host's disk.
#include "plugin/vst3_adapter.h"

#include "engine/script_bridge.h"
#include "plugin/state_buffer.h"

namespace riser {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr size_t kStateReserve = 4096;  // room for every state this version writes

}  // namespace

tresult PLUGIN_API Vst3Adapter::setState(IBStream* state) {
    if (!state) return kInvalidArgument;
    if (!engine) return kResultFalse;
    state_buffer buffer;
    if (!read_host_state(state, buffer)) return kResultFalse;  // nothing could be read: nothing changes
    const int64_t r = b2::call_hook(b2::SIDE_AUDIO, engine, b2::HOOK_SET_STATE, reinterpret_cast<uintptr_t>(this),
                                    reinterpret_cast<uintptr_t>(static_cast<IBStream*>(&buffer)), 0, 0);
    return static_cast<tresult>(static_cast<int32>(r));
}

tresult PLUGIN_API Vst3Adapter::getState(IBStream* state) {
    if (!state) return kInvalidArgument;
    if (!engine) return kResultFalse;
    state_buffer buffer;
    try {  // reserved here so that writing under the lock does not allocate
        buffer.bytes.reserve(kStateReserve);
    } catch (...) {
        return kOutOfMemory;
    }
    const int64_t r = b2::call_hook(b2::SIDE_AUDIO, engine, b2::HOOK_GET_STATE, reinterpret_cast<uintptr_t>(this),
                                    reinterpret_cast<uintptr_t>(static_cast<IBStream*>(&buffer)), 0, 0);
    // A host must not keep a cut state as if it were complete.
    if (r != 0) return kResultFalse;
    return write_host_state(state, buffer) ? kResultOk : kResultFalse;
}

}  // namespace riser
