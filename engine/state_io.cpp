#include "engine/state_io.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "engine/engine.h"
#include "engine/loudness_stage_engine.h"
#include "engine/value_format.h"
#include "pluginterfaces/base/ibstream.h"

namespace b2 {

using Steinberg::IBStream;
using Steinberg::int32;

namespace {

// Calls `fn(id)` for every stored id in save order (eight passes).
template <typename Fn>
void each_stored(Fn fn) {
    const ParamDef* table = param_table();
    for (unsigned pass = 0; pass < 8; ++pass)
        for (int id = 0; id < kParamCount; ++id)
            if (table[id].stateKey != 0 && (table[id].stateKey & 7u) == pass) fn(id);
}

// Little-endian output into a buffer that is known to be large enough.
struct byte_writer {
    uint8_t* at;
    void u8(uint8_t v) { *at++ = v; }
    void u16(uint16_t v) {
        u8(static_cast<uint8_t>(v));
        u8(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) u8(static_cast<uint8_t>(v >> (8 * i)));
    }
    void f32(float v) {
        uint32_t bits = 0;
        std::memcpy(&bits, &v, 4);
        u32(bits);
    }
    void float_record(uint16_t key, float v) {
        u8(STATE_FLOAT);
        u16(key);
        f32(v);
    }
};

// One record; `blob_size` is the block size counted for it (0: no block, no record).
void put_record(byte_writer& out, const ParamDef& def, const value_slot& slot, uint32_t blob_size) {
    if (!(def.flags & PF_BLOB)) return out.float_record(def.stateKey, slot.get());
    if (blob_size == 0) return;
    out.u8(STATE_BLOB);
    out.u16(def.stateKey);
    out.u32(blob_size);
    std::memcpy(out.at, slot.blob_data, blob_size);
    out.at += blob_size;
}

// Little-endian input. A read that brings fewer bytes than asked ends the
// stream; `error` notes that the stream also answered an error code (some
// streams answer so at their end), `total` how many bytes arrived in all.
struct stream_reader {
    IBStream* stream;
    bool error = false;
    size_t total = 0;

    bool bytes(void* to, int32 n) {
        int32 got = 0;
        if (stream->read(to, n, &got) != Steinberg::kResultOk) error = true;
        if (got > 0) total += static_cast<size_t>(got);
        return got == n;
    }
    bool u8(uint8_t& v) { return bytes(&v, 1); }
    bool u16(uint16_t& v) {
        uint8_t b[2];
        if (!bytes(b, 2)) return false;
        v = static_cast<uint16_t>(b[0] | (b[1] << 8));
        return true;
    }
    bool u32(uint32_t& v) {
        uint8_t b[4];
        if (!bytes(b, 4)) return false;
        v = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
            (static_cast<uint32_t>(b[3]) << 24);
        return true;
    }
    bool f32(float& v) {
        uint32_t bits = 0;
        if (!u32(bits)) return false;
        std::memcpy(&v, &bits, 4);
        return true;
    }
};

// A damaged stream must not put values into the banks that no host or editor
// could set: non-finite values are dropped, the rest limited to the range,
// and stepped values put on the step the host's value and text show ("K
// Filter" 0.3 reads "Off", so it must be off).
void store_loaded(engine* e, int id, float value) {
    if (!std::isfinite(value)) return;
    const ParamDef& def = *param_def(id);
    value = std::fmin(std::fmax(value, def.minValue), def.maxValue);
    if (def.flags & PF_STEPPED) value = to_plain(id, to_normalized(id, value));
    set_slot(e, BANK_GLOBAL, id, value);
    set_slot(e, BANK_EDITOR, id, value);
}

// The loudness settings as records: key and field, in writing order.
struct loudness_key {
    uint16_t key;
    uint8_t LoudnessSettings::*field;
};
const loudness_key kLoudnessKeys[] = {
    {kLoudnessModeStateKey, &LoudnessSettings::mode},
    {kLoudnessResetOnPlayStateKey, &LoudnessSettings::resetOnPlay},
    {kLoudnessTargetStateKey, &LoudnessSettings::target},
    {kLoudnessRelativeStateKey, &LoudnessSettings::relative},
};

// Takes a loudness record into `to`; false when `key` is not one of them.
// A value that is not a whole number from 0 to 255 is left at its default
// (sanitized_loudness_settings then treats unknown ones).
bool apply_loudness(uint16_t key, float value, LoudnessSettings& to) {
    for (const loudness_key& k : kLoudnessKeys) {
        if (k.key != key) continue;
        if (value >= 0.0f && value <= 255.0f && value == std::floor(value)) to.*k.field = static_cast<uint8_t>(value);
        return true;
    }
    return false;
}

// Returns true when the record was the Bypass record.
bool apply_float(engine* e, uint16_t key, float value) {
    if (key == kBypassStateKey) {
        store_loaded(e, ID_BYPASS, value);
        return true;
    }
    const ParamDef* table = param_table();
    for (int id = 0; id < kParamCount; ++id)
        if (table[id].stateKey == key) store_loaded(e, id, value);
    return false;
}

void apply_blob(engine* e, uint16_t key, uint32_t size, const uint8_t* bytes) {
    const ParamDef* table = param_table();
    for (int id = 0; id < kParamCount; ++id) {
        if (table[id].stateKey != key || !(table[id].flags & PF_BLOB)) continue;
        for (int bank : {BANK_GLOBAL, BANK_EDITOR}) {
            set_slot(e, bank, id, 0.0f);
            assign_blob(e->banks[bank][id], size, bytes);
        }
    }
}

}  // namespace

bool write_state(engine* e, IBStream* stream) {
    if (!e || !stream) return false;
    // The whole state is built first and handed over in one write, so a
    // stream that refuses part of it is seen by the byte count of one call.
    // Block sizes are taken once: a slot's block size is fixed once set.
    const ParamDef* table = param_table();
    const value_slot* bank = e->banks[BANK_GLOBAL];
    const float bypass = bank[ID_BYPASS].get();
    uint32_t blob_size[kParamCount] = {};
    size_t size = bypass != 0.0f ? 7 : 0;
    const LoudnessSettings loudness = loudness_settings(e);
    const LoudnessSettings defaults;
    for (const loudness_key& k : kLoudnessKeys)
        if (loudness.*k.field != defaults.*k.field) size += 7;
    each_stored([&](int id) {
        if (table[id].flags & PF_BLOB) {
            blob_size[id] = bank[id].blob_size;
            if (blob_size[id]) size += 7u + blob_size[id];
        } else {
            size += 7;
        }
    });
    if (size > static_cast<size_t>(INT32_MAX)) return false;
    // Every state of this parameter table fits on the stack.
    uint8_t local[256];
    auto* bytes = size <= sizeof local ? local : static_cast<uint8_t*>(std::malloc(size));
    if (!bytes) return false;
    byte_writer out{bytes};
    each_stored([&](int id) { put_record(out, table[id], bank[id], blob_size[id]); });
    if (bypass != 0.0f) out.float_record(kBypassStateKey, bypass);
    for (const loudness_key& k : kLoudnessKeys)
        if (loudness.*k.field != defaults.*k.field) out.float_record(k.key, loudness.*k.field);
    int32 written = 0;
    const bool ok = stream->write(bytes, static_cast<int32>(size), &written) == Steinberg::kResultOk &&
                    written == static_cast<int32>(size);
    if (bytes != local) std::free(bytes);
    return ok;
}

bool read_state(engine* e, IBStream* stream) {
    if (!e || !stream) return false;
    stream_reader in{stream};
    static thread_local uint8_t scratch[kMaxStateBlob];
    bool any_record = false;
    bool bypass_seen = false;
    LoudnessSettings loudness;  // the defaults, for records the state lacks
    for (;;) {
        uint8_t type = 0;
        uint16_t key = 0;
        if (!in.u8(type) || !in.u16(key)) break;
        if (type == STATE_FLOAT) {
            float value = 0;
            if (!in.f32(value)) break;
            if (key != 0 && !apply_loudness(key, value, loudness) && apply_float(e, key, value))
                bypass_seen = true;
        } else if (type == STATE_BLOB) {
            uint32_t size = 0;
            if (!in.u32(size) || size > kMaxStateBlob) break;
            if (size > 0 && !in.bytes(scratch, static_cast<int32>(size))) break;
            if (key != 0) apply_blob(e, key, size, scratch);
        } else {
            break;  // a type of a newer format: its length is unknown
        }
        any_record = true;
    }
    // Bypass is stored only while on, so a state without its record was saved
    // not bypassed. (An empty stream is no state and changes nothing.)
    if (any_record && !bypass_seen) store_loaded(e, ID_BYPASS, 0.0f);
    if (any_record) load_loudness_settings(e, loudness);
    // The end of the stream, even inside a record, ends loading normally; a
    // stream that failed before giving a single byte could not be read.
    return !(in.error && in.total == 0);
}

}  // namespace b2
