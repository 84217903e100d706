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

// Figures are judged as they are printed, the way delivery specifications
// are read: integrated loudness and range to 0.1 LU, true peak to 0.01 dB
// (-23.54 LUFS reads -23.5 and meets -23 +/- 0.5; -0.996 dBTP reads -1.00
// and meets a -1 dBTP ceiling). The same rule on the loudness page and in
// riser-meter's verdicts, so the two can never disagree.
constexpr int kLoudnessDecimals = 1;
constexpr int kTruePeakDecimals = 2;
// `value` rounded as printf prints it with `decimals`; NaN stays NaN.
double as_printed(double value, int decimals);
// Whether a measured integrated loudness lies outside the limit's tolerance
// (a tolerance that is NaN counts as 0), and whether a measured true peak
// lies above its ceiling; both judged as printed.
bool outside_tolerance(double lufs, double target_lufs, double tolerance_lu);
bool above_limit(double value, double limit, int decimals);

}  // namespace b2
