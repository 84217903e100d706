// The text units: one format and one parse per kind of value.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "engine/value_format.h"
#include "engine/value_scan.h"

namespace b2 {

namespace {

// trunc(value) as an int32. Infinite and out-of-range values clamp to the
// int32 limits; NaN has no integer and returns false.
bool trunc_int(float value, int32_t* out) {
    if (std::isnan(value)) return false;
    if (value >= 2147483648.0f) {
        *out = INT32_MAX;
    } else if (value < -2147483648.0f) {
        *out = INT32_MIN;
    } else {
        *out = static_cast<int32_t>(value);
    }
    return true;
}

// "%d" of trunc(value) between `prefix` and `suffix`; NaN prints "nan".
void put_int(char* text, float value, const char* suffix) {
    int32_t i = 0;
    if (trunc_int(value, &i)) {
        put_text(text, "%d%s", static_cast<int>(i), suffix);
    } else {
        put_text(text, "nan%s", suffix);
    }
}

// Chooses the precision by magnitude; from 1000 up the value is printed in
// thousands with the `big` unit. The thresholds compare in double precision.
void put_scaled(char* text, float value, const char* small, const char* big) {
    double v = value;
    double a = fabs(v);
    if (a < 0.1) {
        put_text(text, "%.3f %s", v, small);
    } else if (a < 1.0) {
        put_text(text, "%.2f %s", v, small);
    } else if (a < 100.0) {
        put_text(text, "%.1f %s", v, small);
    } else if (a < 1000.0) {
        put_text(text, "%.0f %s", v, small);
    } else if (a < 10000.0) {
        put_text(text, "%.2f %s", v * 0.001, big);
    } else {
        put_text(text, "%.1f %s", v * 0.001, big);
    }
}

bool has_char(const char* text, char c) { return strchr(text, c) != nullptr; }

void format_decibel(char* text, float value) {
    if (value >= -200.0f) {
        put_text(text, "%.1f dB", static_cast<double>(value));
    } else {
        put_text(text, "-inf");
    }
}

void format_time(char* text, float value) { put_scaled(text, value, "ms", "s"); }

// Any text with an 's' and no 'm' is in seconds ("1.5 s"); "ms" and "min"
// are read as milliseconds.
bool parse_time(const char* text, float* value) {
    if (!scan_float(text, value)) return false;
    if (has_char(text, 's') && !has_char(text, 'm')) *value *= 1000.0f;
    return true;
}

// Any value whose integer part is not 0 is on (NaN included: it is not 0).
void format_on_off(char* text, float value) { put_text(text, "%s", truncf(value) != 0.0f ? "On" : "Off"); }

// A number as "%f" reads it; otherwise the unit's own texts "On" and "Off"
// (any case, leading spaces allowed), so what the unit prints reads back.
bool parse_on_off(const char* text, float* value) {
    if (scan_float(text, value)) return true;
    if (!text || !value) return false;
    while (*text == ' ' || *text == '\t') ++text;
    if (strncasecmp(text, "on", 2) == 0) return *value = 1.0f, true;
    if (strncasecmp(text, "off", 3) == 0) return *value = 0.0f, true;
    return false;
}

void format_pixels(char* text, float value) { put_int(text, value, " px"); }

void format_frequency(char* text, float value) { put_scaled(text, value, "Hz", "kHz"); }

bool parse_frequency(const char* text, float* value) {
    if (!scan_float(text, value)) return false;
    if (has_char(text, 'k')) *value *= 1000.0f;
    return true;
}

void format_hex(char* text, float value) {
    int32_t i = 0;
    if (trunc_int(value, &i)) {
        put_text(text, "0x%X", static_cast<unsigned>(static_cast<uint32_t>(i)));
    } else {
        put_text(text, "nan");
    }
}

void format_integer(char* text, float value) { put_int(text, value, ""); }

void format_percent(char* text, float value) { put_int(text, value, "%"); }

// MIDI note numbers; anything outside 0..127 (and NaN) has no note.
void format_note(char* text, float value) {
    if (value >= 0.0f && value < 128.0f) {
        put_text(text, "%d", static_cast<int>(value));
    } else {
        put_text(text, "--");
    }
}

// Note lengths from longest to shortest; index 16 (1/8) is the fallback.
struct Ratio {
    int num;
    int den;
};
constexpr Ratio kRatios[] = {
    {16, 4}, {12, 4}, {8, 4}, {7, 4}, {6, 4},  {5, 4},  {4, 4},  {7, 8},   {3, 4},   {5, 8}, {2, 4},
    {7, 16}, {3, 8},  {5, 16}, {1, 4}, {3, 16}, {1, 8}, {1, 16}, {1, 32}, {1, 64}, {1, 128},
};
constexpr int kRatioCount = static_cast<int>(sizeof(kRatios) / sizeof(kRatios[0]));
constexpr int kRatioFallback = 16;

void format_ratio(char* text, float value) {
    int32_t i = -1;
    if (trunc_int(value, &i) && i >= 0 && i < kRatioCount) {
        put_text(text, "%d/%d", kRatios[i].num, kRatios[i].den);
    } else {
        put_text(text, "?");
    }
}

// One integer like "%d", clamped to the int32 range; `end` follows it.
bool scan_int(const char* text, int64_t* out, const char** end) {
    char* stop = nullptr;
    long long v = strtoll(text, &stop, 10);
    if (stop == text) return false;
    if (v > INT32_MAX) v = INT32_MAX;
    if (v < INT32_MIN) v = INT32_MIN;
    *out = v;
    *end = stop;
    return true;
}

// "num/den" selects the first entry of equal length (2/8 finds 1/4); any
// other text selects the fallback. Returns true when a ratio was read.
bool parse_ratio(const char* text, float* value) {
    if (!value) return false;
    *value = static_cast<float>(kRatioFallback);
    if (!text) return false;
    int64_t num = 0;
    int64_t den = 0;
    const char* p = text;
    if (!scan_int(p, &num, &p) || *p != '/') return false;
    if (!scan_int(p + 1, &den, &p) || den <= 0) return false;
    int64_t q = num * 1024 / den;
    for (int i = 0; i < kRatioCount; ++i) {
        if (kRatios[i].num * 1024 / kRatios[i].den == q) {
            *value = static_cast<float>(i);
            break;
        }
    }
    return true;
}

// Base-2 digits from the highest set bit down; 0 prints "0", negative values
// print as 0 and values from 2^64 up as 64 ones.
void format_base2(char* text, float value) {
    if (std::isnan(value)) {
        put_text(text, "nan");
        return;
    }
    const float two63 = 9223372036854775808.0f;
    uint64_t u = 0;
    if (value >= 2.0f * two63) {
        u = UINT64_MAX;
    } else if (value >= two63) {
        u = static_cast<uint64_t>(value - two63) | (uint64_t{1} << 63);
    } else if (value >= 1.0f) {
        u = static_cast<uint64_t>(value);
    }
    char digits[65];
    int n = 0;
    int top = 63;
    while (top > 0 && !((u >> top) & 1)) --top;
    for (int bit = top; bit >= 0; --bit) digits[n++] = static_cast<char>('0' + ((u >> bit) & 1));
    digits[n] = '\0';
    put_text(text, "%s", digits);
}

}  // namespace

const ValueUnit UnitDecibel = {scan_float, format_decibel};
const ValueUnit UnitTime = {parse_time, format_time};
const ValueUnit UnitOnOff = {parse_on_off, format_on_off};
const ValueUnit UnitPixels = {scan_number, format_pixels};
const ValueUnit UnitFrequency = {parse_frequency, format_frequency};
const ValueUnit UnitHex = {scan_hex32, format_hex};
const ValueUnit UnitInteger = {scan_number, format_integer};
const ValueUnit UnitPercent = {scan_number, format_percent};
const ValueUnit UnitNote = {scan_number, format_note};
const ValueUnit UnitRatio = {parse_ratio, format_ratio};
const ValueUnit UnitBase2 = {scan_base2, format_base2};

}  // namespace b2
