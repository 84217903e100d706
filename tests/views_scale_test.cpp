// Meter scales: which steps carry numbers, their text, alignment and spacing.
#include "views/meter_segment.h"
#include "views_support.h"

namespace {
using namespace VSTGUI;
using viewtest::DrawCall;

constexpr int kWidth = 30;

std::vector<std::string> range(int from, int to, int step) {
    std::vector<std::string> out;
    for (int v = from; step > 0 ? v <= to : v >= to; v += step)
        out.push_back((v > 0 ? "+" : "") + std::to_string(v));
    return out;
}

std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

SharedPointer<viewtest::RecordingContext> renderScale(uint8_t mode, float top, float zero, int height,
                                                      const char* picture = nullptr) {
    auto view = makeOwned<CMeterSegment>(CRect(0, 0, kWidth, height), mode);
    view->snapshot.segmentHeight = 16;
    view->snapshot.scaleTop = top;
    view->snapshot.scaleZero = zero;
    auto context = viewtest::render(view.get(), kWidth, height);
    if (picture) context->save(picture);
    return context;
}

TEST(MeterScale, LevelScaleWithDefaults) {
    auto context = renderScale(kLevelScale, 0, 0, 528, "scale_level");
    EXPECT_EQ(context->texts(), join(range(0, -28, -2), {"-32", "-36"}));

    auto labels = context->callsOf(DrawCall::kText);
    ASSERT_EQ(labels.size(), 17u);
    for (const auto& label : labels) {
        // Right-aligned: every number ends at the view's right edge.
        EXPECT_DOUBLE_EQ(label.point.x + label.textWidth, kWidth) << label.text;
        EXPECT_GT(label.textWidth, 0) << label.text;
        EXPECT_EQ(label.color, MeterColors::kLabel);
    }
    // Numbers stand two steps (32 px) apart on 1-dB steps; "-32" is on the
    // step with index 30, 480 px below "0".
    for (size_t i = 1; i < 15; ++i) EXPECT_DOUBLE_EQ(labels[i].point.y - labels[i - 1].point.y, 32) << i;
    EXPECT_DOUBLE_EQ(labels[15].point.y - labels[0].point.y, 480);
    EXPECT_DOUBLE_EQ(labels[16].point.y - labels[15].point.y, 32);
    // The level scale draws nothing but the background and its numbers.
    EXPECT_EQ(context->callsOf(DrawCall::kRect).size(), 1u);
}

TEST(MeterScale, LevelScaleCountsFromScaleZero) {
    auto context = renderScale(kLevelScale, 0, -20, 528);
    EXPECT_EQ(context->texts(), join(range(20, -8, -2), {"-12", "-16"}));
    EXPECT_EQ(context->texts().front(), "+20");
    EXPECT_EQ(context->texts()[10], "0");
}

TEST(MeterScale, CrestScaleFromViewHeight) {
    auto context = renderScale(kCrestScale, 0, -20, 528, "scale_crest");
    EXPECT_EQ(context->texts(), range(32, 0, -2));
    EXPECT_EQ(context->texts().front(), "+32");
}

TEST(MeterScale, GainScaleEveryEightDb) {
    auto context = renderScale(kGainScale, 0, 0, 362, "scale_gain");
    EXPECT_EQ(context->texts(), range(56, -56, -8));
    auto labels = context->callsOf(DrawCall::kText);
    ASSERT_EQ(labels.size(), 15u);
    // 3 px per dB: 24 px between numbers.
    EXPECT_DOUBLE_EQ(labels[1].point.y - labels[0].point.y, 24);
}

TEST(MeterScale, HalfDbTopHasNoLabels) {
    EXPECT_TRUE(renderScale(kLevelScale, 0.5f, 0, 528)->texts().empty());
}

TEST(MeterScale, LabelSigns) {
    char text[16];
    auto f = [&](float v) {
        MeterLabels::format(v, text, sizeof text);
        return std::string(text);
    };
    EXPECT_EQ(f(6.f), "+6");
    EXPECT_EQ(f(0.f), "0");
    EXPECT_EQ(f(-6.f), "-6");
    EXPECT_EQ(f(0.00005f), "0");
    EXPECT_EQ(f(0.6f), "+1");
    EXPECT_EQ(f(-0.6f), "-1");
    EXPECT_EQ(f(-0.3f), "0");  // never "-0"
    EXPECT_EQ(f(-0.f), "0");
}

}  // namespace
