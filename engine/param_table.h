// The static parameter table: one ParamDef per parameter id 0..30.
#pragma once

#include <cstdint>

namespace b2 {

constexpr int kParamCount = 31;  // ids 0..30; every id >= 31 is rejected
constexpr int kHostParamCount = 16;  // ids 2..17, the ones with PF_HOST

// Parameter ids: the table index, the host parameter id and the bank slot.
enum : int {
    ID_NONE = 0,
    ID_SMOOTH = 1,
    ID_GAIN = 2,
    ID_SCALE_TOP = 3,
    ID_SCALE_ZERO = 4,
    ID_RMS_WINDOW = 5,
    ID_RMS_HIGH = 6,
    ID_RMS_LOW = 7,
    ID_PEAK_FALL = 8,
    ID_PEAK_CLIP = 9,
    ID_PEAK_HIGH = 10,
    ID_PEAK_LOW = 11,
    ID_CREST_HIGH = 12,
    ID_CREST_LOW = 13,
    ID_VALUE_HOLD = 14,
    ID_SEGMENT_HEIGHT = 15,
    ID_K_FILTER = 16,
    ID_BYPASS = 17,
    // Engine-owned values; never seen by the host or stored.
    ID_SAMPLE_RATE_HOST = 18,
    ID_SAMPLE_RATE = 19,
    ID_SAMPLE_RATE_OVER = 20,
    ID_SAMPLE_PER_BLOCK = 21,
    ID_GLOBAL_RESET = 22,
    ID_VOICE_NEW = 23,
    ID_VOICE_ID = 24,
    ID_VOICE_STATE = 25,
    ID_VOICE_STACK = 26,
    ID_VOICE_CHANNEL = 27,
    ID_VOICE_PITCH = 28,
    ID_VOICE_TUNING = 29,
    ID_VOICE_VELOCITY = 30,
};

// Flag bits of ParamDef::flags.
enum : uint32_t {
    PF_HOST = 0x01,      // registered as a host parameter
    PF_AUTOMATE = 0x02,  // host may automate it
    PF_BYPASS = 0x04,    // the host's bypass parameter
    PF_UI_WRITE = 0x08,  // editor writes its control value back to the pending bank
    PF_BLOB = 0x10,      // carries a byte block beside the float
    PF_STEPPED = 0x20,   // integer steps
    PF_SKEWED = 0x40,    // power-law map putting midValue at normalised 0.5
};

struct ParamDef;

// Text parse/format pair; either member may be null.
struct ValueUnit {
    bool (*parse)(const char* text, float* plain);  // true when a number was read
    void (*format)(char* text, float plain);        // writes at most 128 bytes
};

// Overrides of the default normalisation; either member may be null.
struct ValueCurve {
    float (*to_normalized)(float plain, const ParamDef& def);
    float (*to_plain)(float normalized, const ParamDef& def);
};

struct ParamDef {
    char name[32];
    float defaultValue;
    float minValue;
    float midValue;
    float maxValue;
    uint16_t stateKey;  // 0 = not stored; low 3 bits select the save pass
    uint32_t flags;
    const ValueUnit* unit;
    const ValueCurve* curve;
    int16_t unitId;
    uint32_t defaultBlobSize;
    const uint8_t* defaultBlob;
    // Derived once from the fields above (init_param_table).
    float range;
    float expToNormalized;
    float expToPlain;
};

// The table, indexed by id. Its derived fields are filled before first use.
const ParamDef* param_table();
inline bool valid_id(int id) { return id >= 0 && id < kParamCount; }
// Returns the row of `id`, or null for ids outside 0..30.
const ParamDef* param_def(int id);
// Computes range and skew exponents of every row (idempotent).
void init_param_table();
// Host step count of a row: trunc(max - min) when stepped, else 0.
int32_t param_step_count(const ParamDef& def);

}  // namespace b2
