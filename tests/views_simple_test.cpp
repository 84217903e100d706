// Simple control: drag, fine drag, overshoot, reset click, wheel gesture,
// drawing and idle repaint.
#include "views/simple_control.h"
#include "views_support.h"

namespace {
using namespace VSTGUI;
using viewtest::DrawCall;
using viewtest::ListenerLog;

// Counts repaint requests; a view outside a frame has nowhere to send them.
class CountingSimple : public CSimple {
public:
    using CSimple::CSimple;
    std::vector<uint32_t> invalidatedAt;
    void invalidRect(const CRect&) override { invalidatedAt.push_back(idleCount - 1); }
};

struct SimpleTest : ::testing::Test {
    ListenerLog log;
    SharedPointer<CSimple> control = makeOwned<CSimple>(CRect(0, 0, 20, 100));
    void SetUp() override { control->setListener(&log); }
    CMouseEventResult down(CCoord x, CCoord y, int32_t buttons = kLButton) {
        CPoint p(x, y);
        return control->onMouseDown(p, CButtonState(buttons));
    }
    CMouseEventResult move(CCoord x, CCoord y, int32_t buttons = kLButton) {
        CPoint p(x, y);
        return control->onMouseMoved(p, CButtonState(buttons));
    }
    void up(CCoord x, CCoord y) {
        CPoint p(x, y);
        control->onMouseUp(p, CButtonState(kLButton));
    }
};

TEST_F(SimpleTest, OnlyTheLeftButtonAloneStartsAnEdit) {
    EXPECT_EQ(down(10, 50, kRButton), kMouseEventNotHandled);
    EXPECT_EQ(down(10, 50, kLButton | kRButton), kMouseEventNotHandled);
    EXPECT_EQ(down(10, 50, kLButton | kMButton), kMouseEventNotHandled);
    EXPECT_FALSE(control->isEditing());
    EXPECT_EQ(log.begins, 0);
    // Keyboard modifiers other than the reset one are allowed.
    EXPECT_EQ(down(10, 50, kLButton | kAlt), kMouseEventHandled);
    EXPECT_TRUE(control->isEditing());
}

TEST_F(SimpleTest, DragUpOrRightRaisesByViewHeights) {
    control->setValue(0.2f);
    down(10, 80);
    move(10, 30);  // half the height up
    EXPECT_FLOAT_EQ(control->getValue(), 0.7f);
    move(20, 30);  // right counts as well
    EXPECT_FLOAT_EQ(control->getValue(), 0.8f);
    up(20, 30);
    EXPECT_FALSE(control->isEditing());
    EXPECT_EQ(log.begins, 1);
    EXPECT_EQ(log.ends, 1);
    ASSERT_FALSE(log.values.empty());
    EXPECT_FLOAT_EQ(log.values.back(), 0.8f);
}

TEST_F(SimpleTest, ShiftDragIsAHundredTimesFiner) {
    control->setValue(0.5f);
    down(10, 100, kLButton | kShift);
    move(10, 0, kLButton | kShift);  // the full height
    EXPECT_NEAR(control->getValue(), 0.51f, 1e-6);
}

TEST_F(SimpleTest, OvershootMustBeDraggedBack) {
    control->setValue(1.f);
    down(10, 50);
    move(10, 0);  // 0.5 beyond the maximum
    EXPECT_EQ(control->getValue(), 1.f);
    move(10, 30);  // still 0.2 beyond
    EXPECT_EQ(control->getValue(), 1.f);
    move(10, 50);  // back where it began
    EXPECT_EQ(control->getValue(), 1.f);
    move(10, 60);
    EXPECT_FLOAT_EQ(control->getValue(), 0.9f);
}

TEST_F(SimpleTest, ResetClickEndsTheEditAtOnce) {
    control->setDefaultValue(0.25f);
    control->setValue(0.8f);
    EXPECT_EQ(down(10, 50, kLButton | CControl::kDefaultValueModifier),
              kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    EXPECT_EQ(control->getValue(), 0.25f);
    EXPECT_FALSE(control->isEditing());
    EXPECT_EQ(log.values, (std::vector<float>{0.25f}));
    EXPECT_EQ(log.begins, 1);
    EXPECT_EQ(log.ends, 1);
    // No drag follows.
    EXPECT_EQ(move(10, 0), kMouseEventNotHandled);
    EXPECT_EQ(control->getValue(), 0.25f);
}

TEST_F(SimpleTest, CancelRestoresTheStartValue) {
    control->setValue(0.3f);
    down(10, 50);
    move(10, 40);
    EXPECT_FLOAT_EQ(control->getValue(), 0.4f);
    log.values.clear();
    control->onMouseCancel();
    EXPECT_EQ(control->getValue(), 0.3f);
    EXPECT_EQ(log.values, (std::vector<float>{0.3f}));
    EXPECT_FALSE(control->isEditing());
}

TEST_F(SimpleTest, WheelStepsAreOneGestureUntilAClick) {
    control->setWheelInc(0.1f);
    control->setValue(0.5f);
    EXPECT_TRUE(control->onWheel(CPoint(5, 5), kMouseWheelAxisY, 1.f, CButtonState()));
    EXPECT_FLOAT_EQ(control->getValue(), 0.6f);
    EXPECT_TRUE(control->onWheel(CPoint(5, 5), kMouseWheelAxisX, -2.f, CButtonState(kShift)));
    EXPECT_FLOAT_EQ(control->getValue(), 0.58f);
    EXPECT_TRUE(control->isEditing());
    EXPECT_EQ(log.begins, 1);  // one gesture for both steps
    EXPECT_EQ(log.values.size(), 2u);

    // A click ends the gesture before its own edit begins.
    down(10, 50);
    EXPECT_EQ(log.ends, 1);
    EXPECT_EQ(log.begins, 2);
    up(10, 50);
    EXPECT_EQ(log.ends, 2);
}

TEST(SimpleDraw, FrameAndBarInFullySaturatedColours) {
    auto control = makeOwned<CSimple>(CRect(0, 0, 20, 100));
    control->setValue(0.25f);
    auto context = viewtest::render(control.get(), 20, 100);
    context->save("simple_control");
    auto rects = context->callsOf(DrawCall::kRect);
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_EQ(rects[0].style, kDrawStroked);
    EXPECT_EQ(rects[0].rect, CRect(0, 0, 20, 100));
    EXPECT_EQ(rects[0].lineWidth, 1);
    EXPECT_EQ(rects[1].style, kDrawFilled);
    EXPECT_EQ(rects[1].rect, CRect(0, 75, 20, 100));
    for (const auto& r : rects) {
        const CColor& c = r.color;
        int hi = std::max({c.red, c.green, c.blue}), lo = std::min({c.red, c.green, c.blue});
        EXPECT_EQ(c.alpha, 255);
        EXPECT_GE(hi, 254);  // hue at full saturation and half lightness
        EXPECT_LE(lo, 1);
    }
    EXPECT_FALSE(control->isDirty());
}

TEST(SimpleIdle, RepaintsAtRandomIntervals) {
    auto control = makeOwned<CountingSimple>(CRect(0, 0, 20, 100));
    for (int i = 0; i < 20000; ++i) control->onIdle();
    const auto& at = control->invalidatedAt;
    ASSERT_FALSE(at.empty());
    EXPECT_EQ(at.front(), 0u);  // the first idle call always repaints
    // Only multiples of some interval from 20 to 39 can repaint.
    for (uint32_t n : at) {
        bool possible = n == 0;
        for (uint32_t d = 20; d <= 39 && !possible; ++d) possible = n % d == 0;
        EXPECT_TRUE(possible) << n;
    }
    // About 1/29 of the calls; generous bounds for the random draw.
    EXPECT_GT(at.size(), 500u);
    EXPECT_LT(at.size(), 900u);
}

}  // namespace
