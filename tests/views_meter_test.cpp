// Meter bars: ladder geometry, partial steps, hold markers and colours,
// checked on recorded fills and on the rendered pixels.
#include <cmath>

#include "views/meter_segment.h"
#include "views_support.h"

namespace {
using namespace VSTGUI;
using viewtest::DrawCall;
using viewtest::near;

constexpr int kWidth = 20;
constexpr int kHeight = 528;

// The snapshot of a freshly loaded plug-in.
b2::MeterSnapshot defaults() {
    b2::MeterSnapshot s;
    s.segmentHeight = 16;
    s.scaleTop = 0;
    s.scaleZero = 0;
    s.peakThresholds[b2::kClip] = -4, s.peakThresholds[b2::kHigh] = -6, s.peakThresholds[b2::kLow] = -8;
    s.rmsThresholds[b2::kHigh] = -18, s.rmsThresholds[b2::kLow] = -20;
    s.crestThresholds[b2::kHigh] = 14, s.crestThresholds[b2::kLow] = 12;
    s.heldPeakDb = s.peakDb = s.heldRmsDb = s.rmsDb = s.heldCrestDb = s.crestDb = -280;
    return s;
}

SharedPointer<CMeterSegment> meter(uint8_t mode, const b2::MeterSnapshot& s, int height = kHeight) {
    auto view = makeOwned<CMeterSegment>(CRect(0, 0, kWidth, height), mode);
    view->snapshot = s;
    return view;
}

// Fills after the background: the unlit segments come first (one per step),
// then the bar, then the marker.
std::vector<DrawCall> fills(const viewtest::RecordingContext& context) {
    auto rects = context.callsOf(DrawCall::kRect);
    rects.erase(rects.begin());  // background
    return rects;
}

int stepAt(CCoord top) { return static_cast<int>(top) / 16; }

// Pixel in the middle of step k of a 16-pixel ladder.
CColor stepPixel(viewtest::RecordingContext& context, int k) { return context.pixel(kWidth / 2, k * 16 + 8); }

CColor withAlpha(CColor c, uint8_t a) {
    c.alpha = a;
    return c;
}

// Source over destination, as the surface composites a translucent fill.
CColor over(CColor src, CColor dst) {
    auto mix = [&](uint8_t s, uint8_t d) { return uint8_t((s * src.alpha + d * (255 - src.alpha)) / 255.0 + 0.5); };
    return CColor(mix(src.red, dst.red), mix(src.green, dst.green), mix(src.blue, dst.blue), 255);
}

TEST(MeterBar, DefaultLadderHasOneDbStepsDownToMinus28ThenTwo) {
    auto s = defaults();
    s.peakDb = 1.0f;  // at the top step's upper edge: everything lit at full alpha
    s.heldPeakDb = 1.0f;  // too high for any step: no marker
    auto view = meter(kPeakMeter, s);
    auto context = viewtest::render(view.get(), kWidth, kHeight);
    context->save("meter_peak_full");

    auto rects = fills(*context);
    // 34 unlit steps from y = 0 to y = 528 (the last starts on the bottom
    // edge), then 34 lit ones, and no marker.
    ASSERT_EQ(rects.size(), 68u);
    for (int k = 0; k < 34; ++k) {
        EXPECT_EQ(rects[k].rect, CRect(0, 16 * k, kWidth, 16 * k + 15));
        EXPECT_EQ(rects[k].color, MeterColors::kUnlitSegment);
        EXPECT_EQ(rects[34 + k].rect, rects[k].rect);
        EXPECT_EQ(rects[34 + k].color.alpha, 255);
    }
    // Colours by position: 0..-4 clip, -5 and -6 high, -7 and -8 mid.
    for (int k = 0; k <= 4; ++k) EXPECT_EQ(rects[34 + k].color, MeterColors::kClip) << k;
    for (int k = 5; k <= 6; ++k) EXPECT_EQ(rects[34 + k].color, MeterColors::kHigh) << k;
    for (int k = 7; k <= 8; ++k) EXPECT_EQ(rects[34 + k].color, MeterColors::kMid) << k;
    for (int k = 9; k < 34; ++k) EXPECT_EQ(rects[34 + k].color, MeterColors::kNormal) << k;

    EXPECT_TRUE(near(stepPixel(*context, 0), MeterColors::kClip, 0));
    EXPECT_TRUE(near(stepPixel(*context, 20), MeterColors::kNormal, 0));
    // The free pixel row between segments shows the background.
    EXPECT_TRUE(near(context->pixel(kWidth / 2, 16 * 3 + 15), MeterColors::kBackground, 0));
    EXPECT_EQ(context->saves, context->restores);
    EXPECT_FALSE(view->isDirty());
}

TEST(MeterBar, LevelBetweenStepsLightsThePartialStepWithItsShare) {
    auto s = defaults();
    s.peakDb = -12.25f;
    auto view = meter(kPeakMeter, s);
    auto context = viewtest::render(view.get(), kWidth, kHeight);
    context->save("meter_peak_minus_12_25");

    auto rects = fills(*context);
    std::vector<DrawCall> lit(rects.begin() + 34, rects.end());
    // Steps -13 (index 13) to the bottom are lit; -13 holds the level.
    ASSERT_EQ(lit.size(), 34u - 13u);
    EXPECT_EQ(stepAt(lit.front().rect.top), 13);
    EXPECT_EQ(lit.front().color, withAlpha(MeterColors::kNormal, 193));
    for (size_t i = 1; i < lit.size(); ++i) EXPECT_EQ(lit[i].color.alpha, 255);

    EXPECT_TRUE(near(stepPixel(*context, 12), MeterColors::kUnlitSegment, 0));
    EXPECT_TRUE(near(stepPixel(*context, 13), over(withAlpha(MeterColors::kNormal, 193), MeterColors::kUnlitSegment)));
    EXPECT_TRUE(near(stepPixel(*context, 14), MeterColors::kNormal, 0));
}

TEST(MeterBar, LevelExactlyOnAStepLooksUnlit) {
    auto s = defaults();
    s.peakDb = -13.0f;
    auto context = viewtest::render(meter(kPeakMeter, s).get(), kWidth, kHeight);
    auto rects = fills(*context);
    ASSERT_GT(rects.size(), 34u);
    EXPECT_EQ(stepAt(rects[34].rect.top), 13);
    EXPECT_EQ(rects[34].color.alpha, 0);
    EXPECT_TRUE(near(stepPixel(*context, 13), MeterColors::kUnlitSegment, 0));
    EXPECT_TRUE(near(stepPixel(*context, 14), MeterColors::kNormal, 0));
}

TEST(MeterBar, TwoDbStepsBelowMinus28TakeTheirOwnShare) {
    auto s = defaults();
    s.rmsDb = -29.0f;  // inside step -30, which covers -30 to -28
    auto view = meter(kRmsMeter, s);
    auto context = viewtest::render(view.get(), kWidth, kHeight);
    auto rects = fills(*context);
    ASSERT_GT(rects.size(), 34u);
    EXPECT_EQ(stepAt(rects[34].rect.top), 29);  // step index 29 has the value -30
    EXPECT_EQ(rects[34].color.alpha, 129);
    EXPECT_EQ(rects.size(), 34u + 5u);  // -30, -32, -34, -36, -38

    // One step lower the same happens for -31 in step -32.
    s.rmsDb = -31.0f;
    view->snapshot = s;
    context = viewtest::render(view.get(), kWidth, kHeight);
    rects = fills(*context);
    ASSERT_GT(rects.size(), 34u);
    EXPECT_EQ(stepAt(rects[34].rect.top), 30);
    EXPECT_EQ(rects[34].color.alpha, 129);
}

TEST(MeterBar, HoldMarkerFillsTheUpperPartOfItsStepOnly) {
    auto s = defaults();
    s.heldPeakDb = -3.5f;  // in step -4
    auto context = viewtest::render(meter(kPeakMeter, s).get(), kWidth, kHeight);
    context->save("meter_peak_hold");
    auto rects = fills(*context);
    ASSERT_EQ(rects.size(), 35u);  // unlit steps and one marker; the bar is at -280
    EXPECT_EQ(rects.back().rect, CRect(0, 64, kWidth, 71));
    EXPECT_EQ(rects.back().color, MeterColors::kClip);
    EXPECT_TRUE(near(context->pixel(kWidth / 2, 66), MeterColors::kClip, 0));
    EXPECT_TRUE(near(context->pixel(kWidth / 2, 75), MeterColors::kUnlitSegment, 0));

    // Below every step's range there is no marker either.
    s.heldPeakDb = -400.f;
    EXPECT_EQ(fills(*viewtest::render(meter(kPeakMeter, s).get(), kWidth, kHeight)).size(), 34u);
}

TEST(MeterBar, OddSegmentHeightHalvesDownward) {
    auto s = defaults();
    s.segmentHeight = 7.9f;  // truncated to 7: marker rows y .. y + 6 - 3
    s.heldRmsDb = 0.5f;
    auto context = viewtest::render(meter(kRmsMeter, s, 70).get(), kWidth, 70);
    auto rects = fills(*context);
    ASSERT_EQ(rects.size(), 11u + 1u);  // steps at y = 0, 7, ..., 70
    EXPECT_EQ(rects[1].rect, CRect(0, 7, kWidth, 13));
    EXPECT_EQ(rects.back().rect, CRect(0, 0, kWidth, 3));
}

TEST(MeterColor, ThresholdsWithTolerance) {
    auto view = meter(kPeakMeter, defaults());
    EXPECT_EQ(view->getLevelColor(-4.f, kPeakLadder), MeterColors::kClip);
    EXPECT_EQ(view->getLevelColor(-4.5f, kPeakLadder), MeterColors::kHigh);
    EXPECT_EQ(view->getLevelColor(-6.f, kPeakLadder), MeterColors::kHigh);
    EXPECT_EQ(view->getLevelColor(-8.f, kPeakLadder), MeterColors::kMid);
    EXPECT_EQ(view->getLevelColor(-8.001f, kPeakLadder), MeterColors::kNormal);

    // A threshold a hair above a step's value still colours the step.
    view->snapshot.peakThresholds[b2::kHigh] = -5.99995f;
    EXPECT_EQ(view->getLevelColor(-6.f, kPeakLadder), MeterColors::kHigh);
    view->snapshot.peakThresholds[b2::kHigh] = -5.9998f;
    EXPECT_EQ(view->getLevelColor(-6.f, kPeakLadder), MeterColors::kMid);

    // The RMS and crest ladders have no clip colour; their clip slots are ignored.
    view->snapshot.rmsThresholds[b2::kClip] = -100.f;
    EXPECT_EQ(view->getLevelColor(-18.f, kRmsLadder), MeterColors::kHigh);
    EXPECT_EQ(view->getLevelColor(-19.f, kRmsLadder), MeterColors::kMid);
    EXPECT_EQ(view->getLevelColor(-21.f, kRmsLadder), MeterColors::kNormal);
    view->snapshot.crestThresholds[b2::kClip] = -100.f;
    EXPECT_EQ(view->getLevelColor(20.f, kCrestLadder), MeterColors::kHigh);
    EXPECT_EQ(view->getLevelColor(12.f, kCrestLadder), MeterColors::kMid);
    EXPECT_EQ(view->getLevelColor(0.f, kCrestLadder), MeterColors::kNormal);
    // A negative crest factor reads as unlit.
    EXPECT_EQ(view->getLevelColor(-0.5f, kCrestLadder), MeterColors::kUnlitSegment);
    EXPECT_EQ(view->getLevelColor(0.f, 9), CColor(255, 255, 255, 255));
}

TEST(MeterCrest, StepsBelowZeroTakeTheUnlitColour) {
    auto s = defaults();
    s.crestDb = 20.f;
    // 170 px: top value 170 / 16 - 1 = 9, steps 9 .. 0 and -1 at y = 160.
    auto context = viewtest::render(meter(kCrestMeter, s, 170).get(), kWidth, 170);
    context->save("meter_crest_small");
    auto rects = fills(*context);
    ASSERT_EQ(rects.size(), 22u);
    EXPECT_EQ(rects.back().rect, CRect(0, 160, kWidth, 175));
    EXPECT_EQ(rects.back().color, MeterColors::kUnlitSegment);
    EXPECT_TRUE(near(context->pixel(kWidth / 2, 152), MeterColors::kNormal, 0));  // step 0
    EXPECT_TRUE(near(context->pixel(kWidth / 2, 165), MeterColors::kUnlitSegment, 0));
}

TEST(MeterCrest, PartialStepOnTheFixedLadder) {
    auto s = defaults();
    s.crestDb = 5.25f;
    s.heldCrestDb = 13.f;
    auto context = viewtest::render(meter(kCrestMeter, s).get(), kWidth, kHeight);
    context->save("meter_crest");
    auto rects = fills(*context);
    // Top value 528 / 16 - 1 = 32: step 5 is index 27, then 4 .. -1 lit fully.
    ASSERT_EQ(rects.size(), 34u + 7u + 1u);
    EXPECT_EQ(stepAt(rects[34].rect.top), 27);
    EXPECT_EQ(rects[34].color, withAlpha(MeterColors::kNormal, 63));
    EXPECT_EQ(rects.back().rect, CRect(0, 16 * 19, kWidth, 16 * 19 + 7));  // marker on step 13
    EXPECT_EQ(rects.back().color, MeterColors::kMid);
}

TEST(MeterView, ZeroSegmentHeightDrawsOnlyTheBackground) {
    auto s = defaults();
    s.segmentHeight = 0.9f;  // truncates to 0
    s.peakDb = s.rmsDb = s.crestDb = 0;
    for (uint8_t mode : {kRmsMeter, kPeakMeter, kLevelScale, kCrestMeter, kCrestScale, kGainScale}) {
        auto context = viewtest::render(meter(mode, s).get(), kWidth, kHeight);
        ASSERT_EQ(context->calls.size(), 1u) << int(mode);
        EXPECT_EQ(context->calls[0].rect, CRect(0, 0, kWidth, kHeight));
        EXPECT_EQ(context->calls[0].color, MeterColors::kBackground);
        EXPECT_TRUE(near(context->pixel(kWidth / 2, 8), MeterColors::kBackground, 0));
    }
    // 256 has zero low 8 bits as well; a NaN height draws nothing either.
    s.segmentHeight = 256.f;
    EXPECT_EQ(viewtest::render(meter(kPeakMeter, s).get(), kWidth, kHeight)->calls.size(), 1u);
    s.segmentHeight = std::nanf("");
    EXPECT_EQ(viewtest::render(meter(kPeakMeter, s).get(), kWidth, kHeight)->calls.size(), 1u);
    // A fresh view has an all-zero snapshot.
    auto fresh = makeOwned<CMeterSegment>(CRect(0, 0, kWidth, kHeight), kGainScale);
    EXPECT_EQ(viewtest::render(fresh.get(), kWidth, kHeight)->calls.size(), 1u);
}

TEST(MeterView, UnknownModeDrawsOnlyTheBackground) {
    auto s = defaults();
    s.peakDb = 0;
    auto context = viewtest::render(meter(6, s).get(), kWidth, kHeight);
    EXPECT_EQ(context->calls.size(), 1u);
}

TEST(MeterView, LadderFollowsTheViewRectangle) {
    auto view = makeOwned<CMeterSegment>(CRect(10, 20, 30, 100), kPeakMeter);
    view->snapshot = defaults();
    auto context = viewtest::render(view.get(), 40, 120);
    auto rects = context->callsOf(DrawCall::kRect);
    ASSERT_EQ(rects.size(), 1u + 6u);  // steps at y = 20, 36, ..., 100
    EXPECT_EQ(rects[0].rect, CRect(10, 20, 30, 100));
    EXPECT_EQ(rects[1].rect, CRect(10, 20, 30, 35));
    EXPECT_EQ(rects.back().rect, CRect(10, 100, 30, 115));
}

}  // namespace
