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

// The user's loudness settings (engine/loudness_stage.h) are not parameters:
// each travels as a type-1 record under its own key, written after the
// Bypass record and only while it differs from its default (mode Always,
// no reset on play, target EBU R128, LUFS bars), so the stream of an
// instance with the default settings stays exactly as before. A state with
// records but without one of these loads that setting's default; a value
// this version does not know (a future mode or target) loads Always or
// "None", which sets no limit.
constexpr unsigned short kLoudnessModeStateKey = 17;
constexpr unsigned short kLoudnessResetOnPlayStateKey = 18;
constexpr unsigned short kLoudnessTargetStateKey = 19;
constexpr unsigned short kLoudnessRelativeStateKey = 20;

// Writes every stored value of the global bank in one write. Returns false
// when there is no stream or the stream did not take every byte.
bool write_state(engine* e, Steinberg::IBStream* stream);
// Reads records until the stream ends; each complete record goes into the
// global and then the editor bank (stepped values snapped to their step). An
// incomplete record, a block larger than kMaxStateBlob or a record of an
// unknown type ends reading; records before it stay applied. A state with
// records but no Bypass record turns bypass off. Returns false, with nothing
// applied, when there is no stream or it failed before giving a single byte.
//
// How a newer Riser extends the format so that this reader keeps what it
// knows: a new value is a type-1 record (a new byte block a type-2 record)
// under a new key, anywhere in the stream; this reader skips keys it does not
// know, since it knows those records' length. A record of a new type may only
// follow every type-1 and type-2 record of the state: this reader stops at
// the first type it does not know (it cannot know where that record ends) and
// keeps the records before it.
bool read_state(engine* e, Steinberg::IBStream* stream);

}  // namespace b2
