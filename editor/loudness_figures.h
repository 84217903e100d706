// What the loudness page makes of the loudness stage's readings: the texts,
// the verdicts against the delivery target and the meter values its bars
// draw. Nothing here draws; editor/loudness_page puts it into the views.
#pragma once

#include <cstdint>

#include "dsp/meter_snapshot.h"
#include "engine/loudness_stage.h"
#include "engine/loudness_targets.h"

namespace b2 {

// How a figure stands against the delivery target.
enum class loudness_verdict : uint8_t {
    none,          // nothing to judge: the target sets no limit, or there is no figure
    within,        // integrated loudness within the target's tolerance
    outside,       // integrated loudness outside it
    over_ceiling,  // a true peak above the target's ceiling
};

// Each figure judged as it is printed, as riser-meter's --target judges:
// integrated loudness to 0.1 LU, true peak to 0.01 dB (-0.996 dBTP reads
// -1.00 and meets a -1 dBTP ceiling).
loudness_verdict judge_integrated(double lufs, const LoudnessTarget& target);
loudness_verdict judge_true_peak(double dbtp, const LoudnessTarget& target);

// Whether loudness reads in LU relative to the target: the user asked for it
// and the target has a loudness (with "None" it reads in LUFS).
bool reads_relative(const LoudnessSettings& s);
// The loudness that reads 0: the target's in relative reading, else 0 LUFS.
double loudness_reference(const LoudnessSettings& s);

// Texts of kTextSize bytes; "---" where there is nothing to show (no
// number, or below -200), as the meter's readouts.
void format_loudness(double value, char* text);  // LUFS or LU, "%.1f" ("0.0", never "-0.0")
void format_true_peak(double dbtp, char* text);  // dBTP, "%.2f"
void format_duration(double seconds, char* text);  // h:mm:ss, whole seconds
// The higher true-peak maximum minus the integrated loudness (PLR); minus
// infinity while either is missing.
double peak_to_loudness(const LoudnessView& v);
// What the integration is doing, for the state line.
const char* integration_state(const LoudnessView& v, const LoudnessSettings& s, bool no_audio);

// The bars: 8 pixels per step from 0 LUFS down, on the level ladder (1 LU
// steps down to -28 LUFS, 2 LU below).
constexpr float kLoudnessSegmentHeight = 8.0f;
constexpr float kLoudnessScaleTop = 0.0f;
// What a bar view draws: `level` as its bar and `max` as its hold marker
// (LUFS), coloured by the target: the high colour from the target's upper
// tolerance up, the mid colour within the tolerance, the normal colour
// below; all normal without a target. The scale counts from the reference.
MeterSnapshot loudness_bar(double level, double max, const LoudnessSettings& s);
// The same colours and scale on a snapshot whose levels stay.
void apply_loudness_display(MeterSnapshot& bar, const LoudnessSettings& s);

}  // namespace b2
