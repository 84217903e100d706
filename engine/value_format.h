// Conversions between normalised values, plain values and text.
#pragma once

#include <cstddef>

#include "engine/param_table.h"

namespace b2 {

constexpr size_t kTextSize = 128;  // every format writes at most 127 chars + NUL

float to_normalized(int id, float plain);
float to_plain(int id, float normalized);
// Writes the text of a plain value into `text` (kTextSize bytes).
void format_value(int id, float plain, char* text);
// Parses `text` into `plain`; leaves `plain` unchanged when no number is read
// (UnitRatio sets its fallback index instead). Returns true when a number was read.
bool parse_value(int id, const char* text, float* plain);
// As parse_value, for callers that must not take a fallback: true only when a
// finite number was read; `plain` is left unchanged otherwise.
bool parse_finite_value(int id, const char* text, float* plain);
// Text of a meter readout: "%.1f", or "---" below -200 dB.
void formatReadout(float value, char* text);

// The units; rows of the table point at the first four.
extern const ValueUnit UnitDecibel;
extern const ValueUnit UnitTime;
extern const ValueUnit UnitOnOff;
extern const ValueUnit UnitPixels;
extern const ValueUnit UnitFrequency;
extern const ValueUnit UnitHex;
extern const ValueUnit UnitInteger;
extern const ValueUnit UnitPercent;
extern const ValueUnit UnitNote;
extern const ValueUnit UnitRatio;
extern const ValueUnit UnitBase2;

}  // namespace b2
