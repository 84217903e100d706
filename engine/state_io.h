// The plug-in's stored state: little-endian tagged records keyed by each
// parameter's stateKey, written in eight passes (stateKey & 7 = 0..7).
#pragma once

namespace Steinberg { class IBStream; }

namespace b2 {

struct engine;

constexpr unsigned kMaxStateBlob = 8192;  // largest byte block a stream may carry

enum : unsigned char { STATE_FLOAT = 1, STATE_BLOB = 2 };

// "Bypass" has no stateKey of its own, yet hosts expect a bypassed instance to
// come back bypassed. Its value travels in one extra record under this key,
// written after the eight passes and only while bypass is on, so the stream of
// an instance that is not bypassed stays exactly as before, and readers that
// do not know the key skip it.
constexpr unsigned short kBypassStateKey = 16;

// Writes every stored value of the global bank in one write. Returns false
// when there is no stream or the stream did not take every byte.
bool write_state(engine* e, Steinberg::IBStream* stream);
// Reads records until the stream ends; each complete record goes into the
// global and then the editor bank. An incomplete record, or a block larger than
// kMaxStateBlob, ends reading; records before it stay applied. Returns false,
// with nothing applied, when there is no stream or it failed before giving a
// single byte.
bool read_state(engine* e, Steinberg::IBStream* stream);

}  // namespace b2
