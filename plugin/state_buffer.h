// The state in memory: what getState and setState hand to the state services,
// so the host's stream (a slow disk, a network share) is only ever touched
// outside the audio-side script lock that the audio thread also takes.
#pragma once

#include <cstdint>
#include <vector>

#include "pluginterfaces/base/ibstream.h"

namespace riser {

// Most bytes of a host's state that are read into memory. This version writes
// 105 to 112 bytes; a larger state is read up to here and the rest is left
// unread, as if the stream ended there. It also bounds the parsing the audio
// thread can be kept waiting for while a state is loaded.
constexpr int32_t kMaxStateBytes = 65536;

// An IBStream over a byte vector. Reads past the end are short and answer
// kResultOk; writes append. Reference counting is a no-op: it lives on the
// stack of the state call that made it.
class state_buffer : public Steinberg::IBStream {
public:
    std::vector<uint8_t> bytes;
    int64_t pos = 0;

    Steinberg::tresult PLUGIN_API read(void* buffer, Steinberg::int32 n, Steinberg::int32* done) override;
    Steinberg::tresult PLUGIN_API write(void* buffer, Steinberg::int32 n, Steinberg::int32* done) override;
    Steinberg::tresult PLUGIN_API seek(Steinberg::int64 p, Steinberg::int32 mode, Steinberg::int64* result) override;
    Steinberg::tresult PLUGIN_API tell(Steinberg::int64* p) override;
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
};

// Reads the host's stream into `out` in chunks, at most kMaxStateBytes in
// all, until a read brings fewer bytes than asked (its end). Returns false
// when the stream answered an error before giving a single byte; an error
// answer at the end of a state (some hosts' streams do so) is its end.
bool read_host_state(Steinberg::IBStream* stream, state_buffer& out);
// Hands every byte to the host's stream in one write. False when the stream
// refused any of it.
bool write_host_state(Steinberg::IBStream* stream, const state_buffer& in);

}  // namespace riser
