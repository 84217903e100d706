// Text button: mouse and Return handling, what reaches the listener, drawing.
#include "views/text_button_mod.h"
#include "views_support.h"
#include "vstgui/lib/vstkeycode.h"

namespace {
using namespace VSTGUI;
using viewtest::DrawCall;
using viewtest::ListenerLog;

const CRect kRect(0, 0, 40, 20);

struct ButtonTest : ::testing::Test {
    ListenerLog log;
    SharedPointer<CTextButtonMod> button(CTextButtonMod::Style style = CTextButtonMod::kKickStyle) {
        return makeOwned<CTextButtonMod>(kRect, &log, 7, "x2", style);
    }
    static CPoint at(CCoord x, CCoord y) { return CPoint(x, y); }
};

TEST_F(ButtonTest, RightButtonIsIgnored) {
    auto b = button();
    CPoint p = at(10, 10);
    EXPECT_EQ(b->onMouseDown(p, CButtonState(kRButton)), kMouseEventNotHandled);
    EXPECT_FALSE(b->isEditing());
    EXPECT_EQ(b->getValue(), 0.f);
    EXPECT_EQ(b->onMouseUp(p, CButtonState(kRButton)), kMouseEventHandled);
    EXPECT_TRUE(log.values.empty());
    EXPECT_EQ(log.begins, 0);
}

TEST_F(ButtonTest, KickReportsMaxThenMin) {
    auto b = button();
    CPoint p = at(10, 10);
    EXPECT_EQ(b->onMouseDown(p, CButtonState(kLButton)), kMouseEventHandled);
    EXPECT_TRUE(b->isEditing());
    EXPECT_EQ(b->getValue(), 1.f);  // pressed look while held
    EXPECT_EQ(b->onMouseUp(p, CButtonState(kLButton)), kMouseEventHandled);
    EXPECT_EQ(log.values, (std::vector<float>{1.f, 0.f}));
    EXPECT_EQ(b->getValue(), 0.f);
    EXPECT_EQ(log.begins, 1);
    EXPECT_EQ(log.ends, 1);
    EXPECT_FALSE(b->isEditing());
}

TEST_F(ButtonTest, DraggedOutAndReleasedReportsNothing) {
    auto b = button();
    CPoint p = at(10, 10);
    b->onMouseDown(p, CButtonState(kLButton));
    CPoint out = at(41, 10);
    EXPECT_EQ(b->onMouseMoved(out, CButtonState(kLButton)), kMouseEventHandled);
    EXPECT_EQ(b->getValue(), 0.f);
    b->onMouseUp(out, CButtonState(kLButton));
    EXPECT_TRUE(log.values.empty());
    EXPECT_EQ(log.begins, 1);
    EXPECT_EQ(log.ends, 1);

    // Dragging back in before the release presses it again.
    b->onMouseDown(p, CButtonState(kLButton));
    b->onMouseMoved(out, CButtonState(kLButton));
    b->onMouseMoved(p, CButtonState(kLButton));
    EXPECT_EQ(b->getValue(), 1.f);
    b->onMouseUp(p, CButtonState(kLButton));
    EXPECT_EQ(log.values, (std::vector<float>{1.f, 0.f}));
}

TEST_F(ButtonTest, EdgesCountAsInside) {
    auto b = button();
    CPoint corner = at(40, 20);
    b->onMouseDown(corner, CButtonState(kLButton));
    EXPECT_EQ(b->getValue(), 1.f);
    CPoint origin = at(0, 0);
    b->onMouseMoved(origin, CButtonState(kLButton));
    EXPECT_EQ(b->getValue(), 1.f);
    CPoint below = at(40, 20.5);
    b->onMouseMoved(below, CButtonState(kLButton));
    EXPECT_EQ(b->getValue(), 0.f);
    EXPECT_EQ(b->onMouseCancel(), kMouseEventHandled);
    EXPECT_FALSE(b->isEditing());
}

TEST_F(ButtonTest, ToggleReportsOnce) {
    auto b = button(CTextButtonMod::kOnOffStyle);
    CPoint p = at(5, 5);
    b->onMouseDown(p, CButtonState(kLButton));
    b->onMouseUp(p, CButtonState(kLButton));
    EXPECT_EQ(log.values, (std::vector<float>{1.f}));
    b->onMouseDown(p, CButtonState(kLButton));
    EXPECT_EQ(b->getValue(), 0.f);  // shows the state it is going to
    b->onMouseUp(p, CButtonState(kLButton));
    EXPECT_EQ(log.values, (std::vector<float>{1.f, 0.f}));
}

TEST_F(ButtonTest, CancelRestoresTheEntryState) {
    auto b = button(CTextButtonMod::kOnOffStyle);
    CPoint p = at(5, 5);
    b->onMouseDown(p, CButtonState(kLButton));
    EXPECT_EQ(b->getValue(), 1.f);
    b->onMouseCancel();
    EXPECT_EQ(b->getValue(), 0.f);
    EXPECT_TRUE(log.values.empty());
    EXPECT_EQ(log.ends, 1);
}

TEST_F(ButtonTest, ReturnKey) {
    auto kick = button();
    VstKeyCode ret{0, VKEY_RETURN, 0};
    EXPECT_EQ(kick->onKeyDown(ret), 1);
    EXPECT_EQ(log.values, (std::vector<float>{1.f, 0.f}));
    EXPECT_EQ(log.begins, 1);
    EXPECT_EQ(log.ends, 1);

    // A kick button already at its maximum does nothing, but takes the key.
    log = {};
    kick->setValue(1.f);
    EXPECT_EQ(kick->onKeyDown(ret), 1);
    EXPECT_TRUE(log.values.empty());
    EXPECT_EQ(log.begins, 0);

    VstKeyCode shiftReturn{0, VKEY_RETURN, MODIFIER_SHIFT};
    VstKeyCode space{0, VKEY_SPACE, 0};
    kick->setValue(0.f);
    EXPECT_EQ(kick->onKeyDown(shiftReturn), -1);
    EXPECT_EQ(kick->onKeyDown(space), -1);
    EXPECT_TRUE(log.values.empty());

    auto toggle = button(CTextButtonMod::kOnOffStyle);
    EXPECT_EQ(toggle->onKeyDown(ret), 1);
    EXPECT_EQ(toggle->onKeyDown(ret), 1);
    EXPECT_EQ(log.values, (std::vector<float>{1.f, 0.f}));
}

// The editor's styling of its buttons.
SharedPointer<CTextButtonMod> styled(CCoord frameWidth) {
    auto b = makeOwned<CTextButtonMod>(kRect, nullptr, -1, nullptr, CTextButtonMod::kKickStyle);
    b->setTitle("+1.0");
    b->setFont(kNormalFontSmall);
    b->setRoundRadius(4);
    b->setFrameWidth(frameWidth);
    b->setTextColor(CColor(182, 182, 182, 255));
    b->setTextColorHighlighted(CColor(220, 220, 220, 255));
    b->setFrameColor(CColor(30, 30, 30, 255));
    b->setFrameColorHighlighted(CColor(30, 30, 30, 255));
    b->setGradient(owned(CGradient::create(0, 1, CColor(80, 80, 80, 255), CColor(60, 60, 60, 255))));
    b->setGradientHighlighted(owned(CGradient::create(0, 1, CColor(110, 110, 110, 255), CColor(90, 90, 90, 255))));
    return b;
}

TEST(TextButtonDraw, BodyOutlineAndCaption) {
    auto b = styled(0.5);
    auto context = viewtest::render(b.get(), 40, 20);
    context->save("text_button");
    auto gradients = context->callsOf(DrawCall::kGradient);
    ASSERT_EQ(gradients.size(), 1u);
    EXPECT_EQ(gradients[0].object, b->getGradient());
    // From the top-left to the bottom-left of the rectangle inset by w/2.
    EXPECT_EQ(gradients[0].rect.getTopLeft(), CPoint(0.25, 0.25));
    EXPECT_EQ(gradients[0].rect.getBottomLeft(), CPoint(0.25, 19.75));
    auto paths = context->callsOf(DrawCall::kPath);
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(paths[0].pathMode, CDrawContext::kPathStroked);
    EXPECT_EQ(paths[0].lineWidth, 0.5);
    auto texts = context->callsOf(DrawCall::kText);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "+1.0");
    EXPECT_EQ(texts[0].color, CColor(182, 182, 182, 255));
    // The body between outline and caption shows the gradient.
    CColor body = context->pixel(3, 10);
    EXPECT_TRUE(body.red >= 60 && body.red <= 80 && body.red == body.green) << int(body.red);

    b->setValue(1.f);
    context = viewtest::render(b.get(), 40, 20);
    context->save("text_button_pressed");
    ASSERT_EQ(context->callsOf(DrawCall::kGradient).size(), 1u);
    EXPECT_EQ(context->callsOf(DrawCall::kGradient)[0].object, b->getGradientHighlighted());
    EXPECT_EQ(context->callsOf(DrawCall::kText)[0].color, CColor(220, 220, 220, 255));
}

TEST(TextButtonDraw, NegativeFrameWidthIsAHairline) {
    auto b = styled(-3);
    auto context = viewtest::render(b.get(), 40, 20);
    auto paths = context->callsOf(DrawCall::kPath);
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(paths[0].lineWidth, context->getHairlineSize());
    EXPECT_GT(paths[0].lineWidth, 0);
}

TEST(TextButtonDraw, OneGradientMissingDrawsNoBody) {
    auto b = styled(1);
    b->setGradientHighlighted(nullptr);
    auto context = viewtest::render(b.get(), 40, 20);
    EXPECT_TRUE(context->callsOf(DrawCall::kGradient).empty());
    EXPECT_TRUE(context->callsOf(DrawCall::kPath).empty());
    EXPECT_EQ(context->callsOf(DrawCall::kText).size(), 1u);
    EXPECT_EQ(context->pixel(3, 10), CColor(0, 0, 0, 0));  // nothing painted there
}

TEST(TextButtonDraw, OutlineIsCachedUntilSizeOrRadiusChange) {
    auto b = styled(1);
    auto context = viewtest::RecordingContext::make(60, 30);
    b->draw(context);
    b->draw(context);
    EXPECT_EQ(context->pathsCreated, 1);
    b->setRoundRadius(2);
    b->draw(context);
    EXPECT_EQ(context->pathsCreated, 2);
    b->setViewSize(CRect(0, 0, 60, 30));
    b->draw(context);
    EXPECT_EQ(context->pathsCreated, 3);
}

TEST(TextButtonDraw, DisabledBackgroundReplacesTheIcon) {
    auto b = styled(1);
    auto icon = makeOwned<CBitmap>(8., 8.);
    auto disabled = makeOwned<CBitmap>(8., 8.);
    b->setIcon(icon);
    auto context = viewtest::render(b.get(), 40, 20);
    ASSERT_EQ(context->callsOf(DrawCall::kBitmap).size(), 1u);
    EXPECT_EQ(context->callsOf(DrawCall::kBitmap)[0].object, icon.get());

    b->setDisabledBackground(disabled);
    b->setMouseEnabled(false);
    context = viewtest::render(b.get(), 40, 20);
    ASSERT_EQ(context->callsOf(DrawCall::kBitmap).size(), 1u);
    EXPECT_EQ(context->callsOf(DrawCall::kBitmap)[0].object, disabled.get());
}

TEST(TextButton, SizeToFitWidensForTheCaption) {
    auto b = styled(1);
    b->setViewSize(CRect(5, 6, 7, 26));
    ASSERT_TRUE(b->sizeToFit());
    const CRect& r = b->getViewSize();
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.top, 6);
    EXPECT_EQ(r.getHeight(), 20);
    EXPECT_GT(r.getWidth(), (4 + 1) * 4);  // radius 4: 20 px plus the caption
    EXPECT_LT(r.getWidth(), (4 + 1) * 4 + 40);
    EXPECT_EQ(b->getMouseableArea(), r);

    b->setTitle("");
    EXPECT_FALSE(b->sizeToFit());
}

TEST(TextButton, NoFocusRingOutsideAFrame) {
    auto b = styled(1);
    auto context = viewtest::RecordingContext::make(40, 20);
    auto path = owned(context->createGraphicsPath());
    ASSERT_TRUE(path);
    EXPECT_FALSE(b->getFocusPath(*path));
}

}  // namespace
