#include "engine/loudness_targets.h"

#include <cmath>
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

}  // namespace

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
