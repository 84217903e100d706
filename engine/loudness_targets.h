// Delivery targets for loudness: the presets the loudness page and
// riser-meter's --target judge against. One table serves both.
#pragma once

namespace b2 {

// A limit that is NaN is not checked.
struct LoudnessTarget {
    const char* key;         // riser-meter's --target spelling, e.g. "ebu-r128"
    const char* name;        // as the editor shows it, e.g. "EBU R128"
    double loudnessLufs;     // integrated loudness wanted ...
    double toleranceLu;      // ... give or take this much
    double maxTruePeakDbtp;  // highest true peak allowed
};

// The presets in the editor's order; the last one, "None", sets no limit.
constexpr int kLoudnessTargetCount = 5;
constexpr int kLoudnessTargetNone = kLoudnessTargetCount - 1;
const LoudnessTarget& loudness_target(int index);  // index outside the table: "None"
// The index of the preset spelled `key`, or -1.
int find_loudness_target(const char* key);

}  // namespace b2
