#include "editor/loudness_figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "editor/stalled_meters.h"
#include "engine/value_format.h"

namespace b2 {

namespace {

// Below this a reading is silence or nothing, as on the meter's readouts.
constexpr double kNoFigure = -200.0;
// A threshold no step reaches: the colour of a bar without a target.
constexpr float kUnreached = 1000.0f;

bool is_figure(double v) { return std::isfinite(v) && v >= kNoFigure; }

void put(char* text, const char* s) { std::snprintf(text, kTextSize, "%s", s); }

}  // namespace

loudness_verdict judge_integrated(double lufs, const LoudnessTarget& t) {
    if (!is_figure(lufs) || std::isnan(t.loudnessLufs)) return loudness_verdict::none;
    return outside_tolerance(lufs, t.loudnessLufs, t.toleranceLu) ? loudness_verdict::outside
                                                                  : loudness_verdict::within;
}

loudness_verdict judge_true_peak(double dbtp, const LoudnessTarget& t) {
    if (!is_figure(dbtp) || std::isnan(t.maxTruePeakDbtp)) return loudness_verdict::none;
    return above_limit(dbtp, t.maxTruePeakDbtp, kTruePeakDecimals) ? loudness_verdict::over_ceiling
                                                                   : loudness_verdict::none;
}

bool reads_relative(const LoudnessSettings& s) {
    return s.relative && !std::isnan(loudness_target(s.target).loudnessLufs);
}

double loudness_reference(const LoudnessSettings& s) {
    return reads_relative(s) ? loudness_target(s.target).loudnessLufs : 0.0;
}

void format_loudness(double value, char* text) {
    if (!is_figure(value)) return put(text, "---");
    std::snprintf(text, kTextSize, "%.1f", value);
    // A reading a hair below the target is on it: "0.0", not "-0.0".
    if (std::strcmp(text, "-0.0") == 0) put(text, "0.0");
}

void format_true_peak(double dbtp, char* text) {
    if (!is_figure(dbtp)) return put(text, "---");
    std::snprintf(text, kTextSize, "%.2f", dbtp);
}

void format_duration(double seconds, char* text) {
    // Up to ten thousand hours; a broken count reads as no time.
    const double s = std::isfinite(seconds) ? std::clamp(std::floor(seconds), 0.0, 3.6e7) : 0.0;
    const long whole = static_cast<long>(s);
    std::snprintf(text, kTextSize, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
}

double peak_to_loudness(const LoudnessView& v) {
    const double peak = std::max(v.truePeakDbtp[0], v.truePeakDbtp[1]);
    if (!is_figure(peak) || !is_figure(v.integrated)) return -INFINITY;
    return peak - v.integrated;
}

const char* integration_state(const LoudnessView& v, const LoudnessSettings& s, bool no_audio) {
    if (no_audio) return "No audio from the host";
    if (v.userPaused) return "Paused";
    // Transport mode in a host that tells nothing of its transport
    // integrates everything: the line says why it does not follow one.
    if (v.integrating)
        return s.mode == LOUDNESS_TRANSPORT && v.transportUnknown ? "Integrating: no host transport"
                                                                   : "Integrating";
    return s.mode == LOUDNESS_TRANSPORT ? "Paused: transport stopped" : "Paused";
}

void apply_loudness_display(MeterSnapshot& bar, const LoudnessSettings& s) {
    const LoudnessTarget& t = loudness_target(s.target);
    const bool aimed = !std::isnan(t.loudnessLufs);
    const double tolerance = std::isnan(t.toleranceLu) ? 0.0 : t.toleranceLu;
    bar.rmsThresholds[kClip] = 0.0f;
    bar.rmsThresholds[kHigh] = aimed ? static_cast<float>(t.loudnessLufs + tolerance) : kUnreached;
    bar.rmsThresholds[kLow] = aimed ? static_cast<float>(t.loudnessLufs - tolerance) : kUnreached;
    bar.scaleTop = kLoudnessScaleTop;
    bar.scaleZero = static_cast<float>(loudness_reference(s));
    bar.segmentHeight = kLoudnessSegmentHeight;
}

MeterSnapshot loudness_bar(double level, double max, const LoudnessSettings& s) {
    auto reading = [](double db) { return db > kSilenceReadingDb ? static_cast<float>(db) : kSilenceReadingDb; };
    MeterSnapshot bar;
    bar.heldPeakDb = bar.peakDb = bar.heldCrestDb = bar.crestDb = kSilenceReadingDb;
    bar.rmsDb = reading(level);
    bar.heldRmsDb = reading(max);
    apply_loudness_display(bar, s);
    return bar;
}

}  // namespace b2
