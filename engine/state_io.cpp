#include "engine/state_io.h"

#include <cmath>
#include <initializer_list>

#include "base/source/fstreamer.h"
#include "engine/engine.h"

namespace b2 {

using Steinberg::IBStreamer;

namespace {

bool write_record(IBStreamer& out, const ParamDef& def, const value_slot& slot) {
    if (def.flags & PF_BLOB) {
        if (slot.blob_size == 0) return true;  // no block held: nothing to store
        return out.writeInt8u(STATE_BLOB) && out.writeInt16u(def.stateKey) &&
               out.writeInt32u(slot.blob_size) &&
               out.writeRaw(slot.blob_data, slot.blob_size) == static_cast<Steinberg::TSize>(slot.blob_size);
    }
    return out.writeInt8u(STATE_FLOAT) && out.writeInt16u(def.stateKey) && out.writeFloat(slot.get());
}

// A damaged stream must not put values into the banks that no host or editor
// could set: non-finite values are dropped, the rest limited to the range.
void store_loaded(engine* e, int id, float value) {
    if (!std::isfinite(value)) return;
    const ParamDef& def = *param_def(id);
    value = std::fmin(std::fmax(value, def.minValue), def.maxValue);
    set_slot(e, BANK_GLOBAL, id, value);
    set_slot(e, BANK_EDITOR, id, value);
}

void apply_float(engine* e, uint16_t key, float value) {
    if (key == kBypassStateKey) return store_loaded(e, ID_BYPASS, value);
    const ParamDef* table = param_table();
    for (int id = 0; id < kParamCount; ++id)
        if (table[id].stateKey == key) store_loaded(e, id, value);
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

void write_state(engine* e, Steinberg::IBStream* stream) {
    if (!e || !stream) return;
    IBStreamer out(stream, kLittleEndian);
    const ParamDef* table = param_table();
    for (unsigned pass = 0; pass < 8; ++pass)
        for (int id = 0; id < kParamCount; ++id) {
            const ParamDef& def = table[id];
            if (def.stateKey == 0 || (def.stateKey & 7u) != pass) continue;
            if (!write_record(out, def, e->banks[BANK_GLOBAL][id])) return;
        }
    const float bypass = e->banks[BANK_GLOBAL][ID_BYPASS].get();
    if (bypass != 0.0f) out.writeInt8u(STATE_FLOAT) && out.writeInt16u(kBypassStateKey) && out.writeFloat(bypass);
}

void read_state(engine* e, Steinberg::IBStream* stream) {
    if (!e || !stream) return;
    IBStreamer in(stream, kLittleEndian);
    static thread_local uint8_t scratch[kMaxStateBlob];
    for (;;) {
        uint8_t type = 0;
        uint16_t key = 0;
        if (!in.readInt8u(type) || !in.readInt16u(key)) return;
        if (type == STATE_FLOAT) {
            float value = 0;
            if (!in.readFloat(value)) return;
            if (key != 0) apply_float(e, key, value);
        } else if (type == STATE_BLOB) {
            uint32_t size = 0;
            if (!in.readInt32u(size) || size > kMaxStateBlob) return;
            if (in.readRaw(scratch, size) != static_cast<Steinberg::TSize>(size)) return;
            if (key != 0) apply_blob(e, key, size, scratch);
        }
        // Records of other types carry only their type and key.
    }
}

}  // namespace b2
