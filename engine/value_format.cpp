#include "engine/value_format.h"

#include <algorithm>
#include <cmath>

#include "engine/value_scan.h"

namespace b2 {

namespace {

// powf for the skewed maps, mirrored below 0 so out-of-range values keep a
// finite, monotonic result instead of the NaN of a negative base.
float skew(float n, float exponent) {
    if (n < 0.0f) return -powf(-n, exponent);
    return powf(n, exponent);
}

const ValueUnit* unit_of(int id) {
    const ParamDef* def = param_def(id);
    return def ? def->unit : nullptr;
}

}  // namespace

float to_normalized(int id, float plain) {
    const ParamDef* def = param_def(id);
    if (!def) return plain;
    if (def->curve && def->curve->to_normalized) return def->curve->to_normalized(plain, *def);
    float d = def->range;
    if (def->flags & PF_STEPPED) d = truncf(def->range + 1.0f) - 1.0f;
    if (d == 0.0f) return 0.0f;  // engine-owned rows have an empty range
    float n = (plain - def->minValue) / d;
    if (def->flags & PF_SKEWED) n = skew(n, def->expToNormalized);
    return n;
}

float to_plain(int id, float normalized) {
    const ParamDef* def = param_def(id);
    if (!def) return normalized;
    if (def->curve && def->curve->to_plain) return def->curve->to_plain(normalized, *def);
    float a = normalized;
    if (def->flags & PF_SKEWED) a = skew(normalized, def->expToPlain);
    if (def->flags & PF_STEPPED) {
        // s equal cells, the last one including 1.0.
        float s = truncf(def->range + 1.0f);
        return def->minValue + std::min(truncf(s * a), s - 1.0f);
    }
    return def->minValue + def->range * a;
}

void format_value(int id, float plain, char* text) {
    const ValueUnit* unit = unit_of(id);
    if (unit && unit->format) {
        if (text) unit->format(text, plain);
        return;
    }
    put_text(text, "%6.4f", static_cast<double>(plain));
}

bool parse_value(int id, const char* text, float* plain) {
    const ValueUnit* unit = unit_of(id);
    if (unit && unit->parse) return unit->parse(text, plain);
    return scan_float(text, plain);
}

bool parse_finite_value(int id, const char* text, float* plain) {
    if (!plain) return false;
    float value = *plain;
    if (!parse_value(id, text, &value) || !std::isfinite(value)) return false;
    *plain = value;
    return true;
}

void formatReadout(float value, char* text) {
    if (value >= -200.0f) {
        put_text(text, "%.1f", static_cast<double>(value));
    } else {
        put_text(text, "---");
    }
}

}  // namespace b2
