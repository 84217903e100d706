#include "engine/loudness_targets.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace b2 {

namespace {

const LoudnessTarget kTargets[kLoudnessTargetCount] = {
    {"ebu-r128", "EBU R128", -23.0, 0.5, -1.0},
    {"atsc-a85", "ATSC A/85", -24.0, 2.0, -2.0},
    {"streaming", "Streaming", -14.0, 1.0, -1.0},
    {"podcast", "Podcast", -16.0, 1.0, -1.0},
    {"none", "None", NAN, NAN, NAN},
};

// Differences smaller than this are the binary form of decimal numbers, not
// a difference between figure and limit (-15.9 - -15.4 is 0.5000000000000018).
constexpr double kSlack = 1e-9;

}  // namespace

double as_printed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return std::strtod(text, nullptr);
}

bool outside_tolerance(double lufs, double target_lufs, double tolerance_lu) {
    const double tolerance = std::isnan(tolerance_lu) ? 0.0 : tolerance_lu;
    return std::fabs(as_printed(lufs, kLoudnessDecimals) - target_lufs) > tolerance + kSlack;
}

bool above_limit(double value, double limit, int decimals) { return as_printed(value, decimals) > limit + kSlack; }

const LoudnessTarget& loudness_target(int index) {
    return kTargets[index >= 0 && index < kLoudnessTargetCount ? index : kLoudnessTargetNone];
}

int find_loudness_target(const char* key) {
    if (!key) return -1;
    for (int i = 0; i < kLoudnessTargetCount; ++i)
        if (std::strcmp(key, kTargets[i].key) == 0) return i;
    return -1;
}

}  // namespace b2
