#include "engine/param_table.h"

#include <cmath>

#include "engine/value_format.h"

namespace b2 {

namespace {

constexpr uint32_t kHostAuto = PF_HOST | PF_AUTOMATE;
constexpr uint32_t kHostStepped = PF_HOST | PF_AUTOMATE | PF_STEPPED;
constexpr uint32_t kHostSkewed = PF_HOST | PF_AUTOMATE | PF_SKEWED;

// Engine-owned row: empty range, not stored, not a host parameter.
#define B2_ENGINE_ROW(name) \
    { name, 0.0f, 0.0f, 0.0f, 0.0f, 0, 0, nullptr, nullptr, 0, 0, nullptr, 0.0f, 0.0f, 0.0f }

// Columns: name, default, min, mid, max, stateKey, flags, unit, curve, unitId,
// default block (size, bytes), then the derived range and exponents (set below).
ParamDef g_table[kParamCount] = {
    {"None", 0.0f, 0.0f, 0.0f, 1.0f, 0, 0, nullptr, nullptr, 0, 0, nullptr, 0.0f, 0.0f, 0.0f},
    {"Smooth", 0.1f, 0.0f, 0.1f, 1.0f, 0, PF_SKEWED, nullptr, nullptr, 0, 0, nullptr, 0.0f, 0.0f, 0.0f},
    {"Gain", 0.0f, -60.0f, 0.0f, 60.0f, 1, kHostAuto, &UnitDecibel, nullptr, 0, 0, nullptr, 0.0f, 0.0f, 0.0f},
    {"Scale Top", 0.0f, -90.0f, 0.0f, 48.0f, 2, kHostStepped, &UnitDecibel, nullptr, 0, 0, nullptr, 0.0f, 0.0f, 0.0f},
    {"Scale Zero", 0.0f, -90.0f, 0.0f, 48.0f, 3, kHostStepped, &UnitDecibel, nullptr, 0, 0, nullptr, 0.0f, 0.0f, 0.0f},
    {"RMS Window", 300.0f, 10.0f, 300.0f, 3000.0f, 4, kHostSkewed, &UnitTime, nullptr, 0, 0, nullptr, 0.0f, 0.0f, 0.0f},
    {"RMS High", -18.0f, -90.0f, 0.0f, 48.0f, 5, kHostStepped, &UnitDecibel, nullptr, 0, 0, nullptr, 0.0f, 0.0f, 0.0f},
    {"RMS Low", -20.0f, -90.0f, 0.0f, 48.0f, 6, kHostStepped, &UnitDecibel, nullptr, 0, 0, nullptr, 0.0f, 0.0f, 0.0f},
    {"Peak Fall", 300.0f, 10.0f, 500.0f, 5000.0f, 7, kHostSkewed, &UnitTime, nullptr, 0, 0, nullptr, 0.0f, 0.0f, 0.0f},
    {"Peak Clip", -4.0f, -90.0f, 0.0f, 48.0f, 8, kHostStepped, &UnitDecibel, nullptr, 0, 0, nullptr, 0.0f, 0.0f, 0.0f},
    {"Peak High", -6.0f, -90.0f, 0.0f, 48.0f, 9, kHostStepped, &UnitDecibel, nullptr, 0, 0, nullptr, 0.0f, 0.0f, 0.0f},
    {"Peak Low", -8.0f, -90.0f, 0.0f, 48.0f, 10, kHostStepped, &UnitDecibel, nullptr, 0, 0, nullptr, 0.0f, 0.0f, 0.0f},
    {"Crest High", 14.0f, -90.0f, 0.0f, 48.0f, 11, kHostStepped, &UnitDecibel, nullptr, 0, 0, nullptr, 0.0f, 0.0f, 0.0f},
    {"Crest Low", 12.0f, -90.0f, 0.0f, 48.0f, 12, kHostStepped, &UnitDecibel, nullptr, 0, 0, nullptr, 0.0f, 0.0f, 0.0f},
    {"Value Hold", 1500.0f, 10.0f, 300.0f, 5000.0f, 13, kHostSkewed, &UnitTime, nullptr, 0, 0, nullptr, 0.0f, 0.0f, 0.0f},
    {"Segment Hgt", 16.0f, 4.0f, 0.0f, 28.0f, 14, kHostStepped, &UnitPixels, nullptr, 0, 0, nullptr, 0.0f, 0.0f, 0.0f},
    {"K Filter", 0.0f, 0.0f, 0.0f, 1.0f, 15, kHostStepped, &UnitOnOff, nullptr, 0, 0, nullptr, 0.0f, 0.0f, 0.0f},
    {"Bypass", 0.0f, 0.0f, 0.0f, 1.0f, 0, PF_HOST | PF_BYPASS | PF_STEPPED, nullptr, nullptr, 0, 0, nullptr, 0.0f, 0.0f, 0.0f},
    B2_ENGINE_ROW("ID_SAMPLE_RATE_HOST"),
    B2_ENGINE_ROW("ID_SAMPLE_RATE"),
    B2_ENGINE_ROW("ID_SAMPLE_RATE_OVER"),
    B2_ENGINE_ROW("ID_SAMPLE_PER_BLOCK"),
    B2_ENGINE_ROW("ID_GLOBAL_RESET"),
    B2_ENGINE_ROW("ID_VOICE_NEW"),
    B2_ENGINE_ROW("ID_VOICE_ID"),
    B2_ENGINE_ROW("ID_VOICE_STATE"),
    B2_ENGINE_ROW("ID_VOICE_STACK"),
    B2_ENGINE_ROW("ID_VOICE_CHANNEL"),
    B2_ENGINE_ROW("ID_VOICE_PITCH"),
    B2_ENGINE_ROW("ID_VOICE_TUNING"),
    B2_ENGINE_ROW("ID_VOICE_VELOCITY"),
};

#undef B2_ENGINE_ROW

// Power-law exponents that put midValue at normalised 0.5. A row whose mid
// does not lie strictly inside its range keeps the linear exponent 1.
void derive_skew(ParamDef& def) {
    float ratio = (def.midValue - def.minValue) / def.range;
    if (!(ratio > 0.0f && ratio < 1.0f)) {
        def.expToNormalized = 1.0f;
        def.expToPlain = 1.0f;
        return;
    }
    float l = logf(ratio);
    def.expToNormalized = -0.6931472f / l;
    def.expToPlain = l * -1.442695f;
}

bool derive_all() {
    for (ParamDef& def : g_table) {
        def.range = def.maxValue - def.minValue;
        if (def.flags & PF_SKEWED) derive_skew(def);
    }
    return true;
}

// Fill the derived fields when the library loads, so that no thread ever
// reads the table while they are being written.
[[maybe_unused]] const bool g_derived_at_load = (init_param_table(), true);

}  // namespace

void init_param_table() {
    // A function-local static runs exactly once, even under concurrent first
    // calls; later calls only check the guard and never write the table again.
    static const bool done = derive_all();
    (void)done;
}

const ParamDef* param_table() {
    init_param_table();  // covers callers running before the load-time initialiser
    return g_table;
}

const ParamDef* param_def(int id) {
    if (!valid_id(id)) return nullptr;
    return param_table() + id;
}

int32_t param_step_count(const ParamDef& def) {
    if (!(def.flags & PF_STEPPED)) return 0;
    float steps = truncf(def.maxValue - def.minValue);
    // Guard the float-to-int conversion; every row of the table is far inside.
    if (!(steps > 0.0f)) return 0;
    if (steps >= 2147483647.0f) return 2147483647;
    return static_cast<int32_t>(steps);
}

}  // namespace b2
