// The loudness page's figures: verdicts against the targets as the figures
// are printed, the texts, the PLR, the state line and the bars' colours.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "editor/loudness_figures.h"
#include "engine/value_format.h"

namespace {

using b2::loudness_verdict;

const b2::LoudnessTarget& target(const char* key) { return b2::loudness_target(b2::find_loudness_target(key)); }

std::string text_of(void (*format)(double, char*), double v) {
    char text[b2::kTextSize];
    format(v, text);
    return text;
}

TEST(LoudnessFigures, IntegratedIsJudgedAsItIsPrinted) {
    const b2::LoudnessTarget& ebu = target("ebu-r128");  // -23 +/- 0.5
    EXPECT_EQ(b2::judge_integrated(-23.0, ebu), loudness_verdict::within);
    EXPECT_EQ(b2::judge_integrated(-23.54, ebu), loudness_verdict::within) << "reads -23.5";
    EXPECT_EQ(b2::judge_integrated(-22.46, ebu), loudness_verdict::within) << "reads -22.5";
    EXPECT_EQ(b2::judge_integrated(-23.56, ebu), loudness_verdict::outside) << "reads -23.6";
    EXPECT_EQ(b2::judge_integrated(-22.0, ebu), loudness_verdict::outside);
    const b2::LoudnessTarget& atsc = target("atsc-a85");  // -24 +/- 2
    EXPECT_EQ(b2::judge_integrated(-22.0, atsc), loudness_verdict::within);
    EXPECT_EQ(b2::judge_integrated(-21.9, atsc), loudness_verdict::outside);
    // Nothing measured, or no target: no verdict.
    for (double nothing : {-HUGE_VAL, std::nan(""), -250.0}) EXPECT_EQ(b2::judge_integrated(nothing, ebu), loudness_verdict::none);
    EXPECT_EQ(b2::judge_integrated(-30.0, target("none")), loudness_verdict::none);
}

TEST(LoudnessFigures, TruePeakIsOverTheCeilingOnlyAsPrintedToAHundredth) {
    const b2::LoudnessTarget& ebu = target("ebu-r128");  // -1 dBTP
    EXPECT_EQ(b2::judge_true_peak(-1.0, ebu), loudness_verdict::none);
    EXPECT_EQ(b2::judge_true_peak(-0.996, ebu), loudness_verdict::none) << "reads -1.00";
    EXPECT_EQ(b2::judge_true_peak(-0.994, ebu), loudness_verdict::over_ceiling) << "reads -0.99";
    EXPECT_EQ(b2::judge_true_peak(0.5, ebu), loudness_verdict::over_ceiling);
    EXPECT_EQ(b2::judge_true_peak(-1.5, target("atsc-a85")), loudness_verdict::over_ceiling);  // -2 dBTP
    EXPECT_EQ(b2::judge_true_peak(-INFINITY, ebu), loudness_verdict::none);
    EXPECT_EQ(b2::judge_true_peak(3.0, target("none")), loudness_verdict::none);
}

TEST(LoudnessFigures, TextsReadDashesWithoutAFigure) {
    EXPECT_EQ(text_of(b2::format_loudness, -23.04), "-23.0");
    EXPECT_EQ(text_of(b2::format_loudness, -0.04), "0.0");
    EXPECT_EQ(text_of(b2::format_loudness, 8.8), "8.8");
    EXPECT_EQ(text_of(b2::format_true_peak, -0.996), "-1.00");
    for (double nothing : {-HUGE_VAL, std::nan(""), HUGE_VAL, -200.5}) {
        EXPECT_EQ(text_of(b2::format_loudness, nothing), "---") << nothing;
        EXPECT_EQ(text_of(b2::format_true_peak, nothing), "---") << nothing;
    }
    EXPECT_EQ(text_of(b2::format_duration, 0.0), "0:00:00");
    EXPECT_EQ(text_of(b2::format_duration, 59.99), "0:00:59") << "whole seconds";
    EXPECT_EQ(text_of(b2::format_duration, 3725.9), "1:02:05");
    EXPECT_EQ(text_of(b2::format_duration, 36000.0 * 12 + 61), "120:01:01");
    for (double broken : {-5.0, std::nan(""), HUGE_VAL}) EXPECT_EQ(text_of(b2::format_duration, broken), "0:00:00");
}

TEST(LoudnessFigures, PlrIsTheHigherPeakOverIntegratedOnceBothExist) {
    b2::LoudnessView v;
    v.integrated = -23.0;
    v.truePeakDbtp[0] = -3.0, v.truePeakDbtp[1] = -1.5;
    EXPECT_DOUBLE_EQ(b2::peak_to_loudness(v), 21.5);
    v.truePeakDbtp[1] = -INFINITY;  // a silent channel
    EXPECT_DOUBLE_EQ(b2::peak_to_loudness(v), 20.0);
    v.integrated = -INFINITY;
    EXPECT_EQ(b2::peak_to_loudness(v), -INFINITY);
    v.integrated = -23.0, v.truePeakDbtp[0] = -INFINITY;
    EXPECT_EQ(b2::peak_to_loudness(v), -INFINITY);
}

TEST(LoudnessFigures, StateLineAndRelativeReading) {
    b2::LoudnessView v;
    b2::LoudnessSettings s;
    v.integrating = true;
    EXPECT_STREQ(b2::integration_state(v, s, false), "Integrating");
    EXPECT_STREQ(b2::integration_state(v, s, true), "No audio from the host");
    v.integrating = false;
    EXPECT_STREQ(b2::integration_state(v, s, false), "Paused");
    s.mode = b2::LOUDNESS_TRANSPORT;
    EXPECT_STREQ(b2::integration_state(v, s, false), "Paused: transport stopped");
    v.userPaused = true;
    EXPECT_STREQ(b2::integration_state(v, s, false), "Paused") << "the user's pause names itself";
    v.userPaused = false;
    v.integrating = true;
    v.transportUnknown = true;
    EXPECT_STREQ(b2::integration_state(v, s, false), "Integrating: no host transport");
    s.mode = b2::LOUDNESS_ALWAYS;
    EXPECT_STREQ(b2::integration_state(v, s, false), "Integrating") << "Always needs no transport";
    s.mode = b2::LOUDNESS_TRANSPORT;

    s.relative = 1;
    s.target = static_cast<uint8_t>(b2::find_loudness_target("podcast"));
    EXPECT_TRUE(b2::reads_relative(s));
    EXPECT_DOUBLE_EQ(b2::loudness_reference(s), -16.0);
    s.target = b2::kLoudnessTargetNone;
    EXPECT_FALSE(b2::reads_relative(s));
    EXPECT_DOUBLE_EQ(b2::loudness_reference(s), 0.0);
    s.relative = 0;
    s.target = 0;
    EXPECT_DOUBLE_EQ(b2::loudness_reference(s), 0.0);
}

TEST(LoudnessFigures, BarsAreColouredByTheTargetsTolerance) {
    b2::LoudnessSettings s;
    s.target = static_cast<uint8_t>(b2::find_loudness_target("streaming"));  // -14 +/- 1
    b2::MeterSnapshot bar = b2::loudness_bar(-12.5, -9.0, s);
    EXPECT_FLOAT_EQ(bar.rmsDb, -12.5f);
    EXPECT_FLOAT_EQ(bar.heldRmsDb, -9.0f);
    EXPECT_FLOAT_EQ(bar.rmsThresholds[b2::kHigh], -13.0f);
    EXPECT_FLOAT_EQ(bar.rmsThresholds[b2::kLow], -15.0f);
    EXPECT_FLOAT_EQ(bar.segmentHeight, b2::kLoudnessSegmentHeight);
    EXPECT_FLOAT_EQ(bar.scaleZero, 0.0f);
    // The other levels of the snapshot read silence: nothing else is drawn or falls.
    EXPECT_LE(bar.peakDb, -280.0f);
    EXPECT_LE(bar.crestDb, -280.0f);
    // No figure: silence, not a number the ladder cannot walk.
    bar = b2::loudness_bar(-INFINITY, NAN, s);
    EXPECT_FLOAT_EQ(bar.rmsDb, -280.0f);
    EXPECT_FLOAT_EQ(bar.heldRmsDb, -280.0f);
    // Relative: the scale counts from the target; without a target no step
    // takes the high or mid colour.
    s.relative = 1;
    EXPECT_FLOAT_EQ(b2::loudness_bar(-20, -20, s).scaleZero, -14.0f);
    s.target = b2::kLoudnessTargetNone;
    bar = b2::loudness_bar(-20, -20, s);
    EXPECT_FLOAT_EQ(bar.scaleZero, 0.0f);
    EXPECT_GT(bar.rmsThresholds[b2::kLow], 100.0f);
    EXPECT_GT(bar.rmsThresholds[b2::kHigh], 100.0f);
}

}  // namespace
