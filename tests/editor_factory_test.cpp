// The element factory for every kind, the ones no layout record uses
// included, and the custom views of the Riser editor.
#include <cstring>

#include "editor_support.h"
#include "views/meter_segment.h"
#include "views/simple_control.h"
#include "views/text_button_mod.h"
#include "vstgui/lib/controls/cbuttons.h"
#include "vstgui/lib/controls/cknob.h"
#include "vstgui/lib/controls/cmoviebitmap.h"
#include "vstgui/lib/controls/coptionmenu.h"
#include "vstgui/lib/controls/csegmentbutton.h"
#include "vstgui/lib/controls/cslider.h"
#include "vstgui/lib/controls/ctextedit.h"

namespace {
using namespace editortest;
using b2::ui_element;

// Opens the factory to the test; the images are decoded as a build does.
class FactoryProbe : public b2::ui_editor {
public:
    explicit FactoryProbe(b2::engine* e) : ui_editor(e) { decode_images(); }
    SharedPointer<CControl> make(uint32_t kind, uint32_t id, const char* text = "", uint32_t style = 0) {
        ui_element el{kind, 0, nullptr, 10, 20, 30, 40, id, {}, style};
        std::strncpy(el.text, text, sizeof el.text - 1);
        el.rect = CRect(10, 20, 40, 60);
        el.param = (id >= 1 && id <= 30) ? b2::param_def(static_cast<int>(id)) : nullptr;
        CControl* view = create_custom_element(el);
        if (!view) view = create_element(el);
        return owned(view);
    }
};

class FactoryTest : public EditorTest {
protected:
    Steinberg::IPtr<FactoryProbe> probe;
    void SetUp() override {
        EditorTest::SetUp();
        probe = Steinberg::owned(new FactoryProbe(engine()));
    }
};

TEST_F(FactoryTest, SlidersEntriesAndLabels) {
    auto v = probe->make(b2::UI_VSLIDER, 2);
    auto* vs = dynamic_cast<CVerticalSlider*>(v.get());
    ASSERT_NE(vs, nullptr);
    EXPECT_EQ(vs->getStyle(), CSlider::kVertical | CSlider::kBottom);
    EXPECT_EQ(vs->getDrawStyle(), CSlider::kDrawBack | CSlider::kDrawValue);
    EXPECT_FLOAT_EQ(vs->getWheelInc(), 0.008333333767950535f);
    EXPECT_EQ(vs->getListener(), static_cast<IControlListener*>(probe.get()));
    EXPECT_EQ(vs->getTag(), 0x110002);

    auto h = probe->make(b2::UI_HSLIDER, 9);
    auto* hs = dynamic_cast<CHorizontalSlider*>(h.get());
    ASSERT_NE(hs, nullptr);
    EXPECT_EQ(hs->getStyle(), CSlider::kHorizontal | CSlider::kLeft);
    EXPECT_FLOAT_EQ(hs->getWheelInc(), 0.015625f);
    EXPECT_FLOAT_EQ(hs->getZoomFactor(), 100.0f);
    EXPECT_EQ(hs->getBackColor(), CColor(60, 60, 60, 255));

    auto e = probe->make(b2::UI_TEXT_EDIT, 5);
    auto* edit = dynamic_cast<CTextEdit*>(e.get());
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->getBackColor(), CColor(40, 40, 40, 255));
    EXPECT_EQ(edit->getHoriAlign(), kCenterText);
    EXPECT_EQ(edit->getListener(), nullptr) << "create_views sets the listener";

    auto named = probe->make(b2::UI_LABEL, 8);
    EXPECT_EQ(dynamic_cast<CTextLabel*>(named.get())->getText().getString(), "Peak Fall");
    auto blank = probe->make(b2::UI_LABEL, 0x2000);
    EXPECT_EQ(dynamic_cast<CTextLabel*>(blank.get())->getText().getString(), "");
    auto status = probe->make(b2::UI_STATUS, 0);
    EXPECT_EQ(dynamic_cast<CTextLabel*>(status.get())->getHoriAlign(), kLeftText);
    EXPECT_EQ(dynamic_cast<CTextLabel*>(status.get())->getFontColor(), CColor(120, 120, 120, 255));

    auto multi = probe->make(b2::UI_MULTILINE_LABEL, 0, "Two words");
    auto* ml = dynamic_cast<CMultiLineTextLabel*>(multi.get());
    ASSERT_NE(ml, nullptr);
    EXPECT_EQ(ml->getText().getString(), "Two words");
    EXPECT_EQ(ml->getLineLayout(), CMultiLineTextLabel::LineLayout::wrap);
}

TEST_F(FactoryTest, ButtonsImagesAndCustomViews) {
    auto text = probe->make(b2::UI_TEXT_BUTTON, b2::ID_GAIN_UP_1, "+1.0");
    auto* tb = dynamic_cast<CTextButtonMod*>(text.get());
    ASSERT_NE(tb, nullptr);
    EXPECT_EQ(tb->getTitle().getString(), "+1.0");
    EXPECT_DOUBLE_EQ(tb->getRoundRadius(), 4.0);
    EXPECT_DOUBLE_EQ(tb->getFrameWidth(), 0.5);
    EXPECT_EQ(tb->getTextColor(), CColor(182, 182, 182, 255));
    EXPECT_EQ(tb->getStyle(), CTextButtonMod::kKickStyle);
    EXPECT_EQ(dynamic_cast<CTextButtonMod*>(probe->make(b2::UI_TEXT_BUTTON, 16, "K", 1).get())->getStyle(),
              CTextButtonMod::kOnOffStyle);

    auto kick = probe->make(b2::UI_KICK_BUTTON, b2::ID_SETTINGS, "", b2::IMAGE_GEAR);
    ASSERT_NE(dynamic_cast<CKickButton*>(kick.get()), nullptr);
    EXPECT_NE(kick->getDrawBackground(), nullptr);
    auto onoff = probe->make(b2::UI_ONOFF_BUTTON, 16, "", b2::IMAGE_BACK);
    ASSERT_NE(dynamic_cast<COnOffButton*>(onoff.get()), nullptr);
    EXPECT_NE(onoff->getDrawBackground(), nullptr);

    // Image views: 0 sub-images sizes from the picture, n > 0 keeps the
    // record's size with n sub-images, a negative count keeps it with one.
    auto sub_images = [](const SharedPointer<CControl>& c) {
        return dynamic_cast<CMovieBitmap*>(c.get())->getNumSubPixmaps();
    };
    auto logo = probe->make(b2::UI_IMAGE, 0, "", b2::IMAGE_VENDOR_LOGO);
    EXPECT_EQ(logo->getViewSize(), CRect(10, 20, 10 + 128, 20 + 122));
    EXPECT_EQ(sub_images(logo), 1);
    auto frames = probe->make(b2::UI_IMAGE, 0, "\x02", b2::IMAGE_GEAR);
    EXPECT_EQ(frames->getViewSize(), CRect(10, 20, 40, 60));
    EXPECT_EQ(sub_images(frames), 2);
    auto negative = probe->make(b2::UI_IMAGE, 0, "\xFF", b2::IMAGE_GEAR);
    EXPECT_EQ(negative->getViewSize(), CRect(10, 20, 40, 60));
    EXPECT_EQ(sub_images(negative), 1);
    auto empty_slot = probe->make(b2::UI_IMAGE, 0, "", 3);  // slot 3 holds no picture: nothing to show
    EXPECT_EQ(empty_slot->getViewSize().getWidth(), 0);
    EXPECT_EQ(dynamic_cast<CMovieBitmap*>(empty_slot.get())->getBackground(), nullptr);
    auto no_slot = probe->make(b2::UI_IMAGE, 0, "", 9);  // no such slot: a view without picture
    EXPECT_EQ(no_slot->getViewSize(), CRect(10, 20, 40, 60));
    EXPECT_EQ(dynamic_cast<CMovieBitmap*>(no_slot.get())->getBackground(), nullptr);

    auto readout = probe->make(b2::UI_READOUT, b2::ID_PEAK_HELD_LEFT);
    auto* rl = dynamic_cast<CTextLabel*>(readout.get());
    ASSERT_NE(rl, nullptr);
    EXPECT_EQ(rl->getBackColor(), CColor(60, 60, 60, 255));
    EXPECT_EQ(rl->getStyle(), CParamDisplay::kRoundRectStyle | CParamDisplay::kNoFrame);
    auto meter = probe->make(b2::UI_METER, b2::ID_CREST_SCALE, "\x04");
    ASSERT_NE(dynamic_cast<CMeterSegment*>(meter.get()), nullptr);
    EXPECT_EQ(dynamic_cast<CMeterSegment*>(meter.get())->getMode(), kCrestScale);

    EXPECT_NE(dynamic_cast<CSimple*>(probe->make(b2::UI_SIMPLE, 0).get()), nullptr);
    EXPECT_EQ(probe->make(0x10000, 2), nullptr) << "unused kind code";
    EXPECT_EQ(probe->make(0x80000, 2), nullptr);
}

TEST_F(FactoryTest, MenusAndSegmentButtonsListTheirEntries) {
    auto by_param = probe->make(b2::UI_OPTION_MENU, b2::ID_K_FILTER);
    auto* menu = dynamic_cast<COptionMenu*>(by_param.get());
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->getNbEntries(), 2);
    EXPECT_EQ(menu->getEntry(0)->getTitle().getString(), "Off");
    EXPECT_EQ(menu->getEntry(1)->getTitle().getString(), "On");
    EXPECT_EQ(dynamic_cast<COptionMenu*>(probe->make(b2::UI_OPTION_MENU, b2::ID_SEGMENT_HEIGHT).get())->getNbEntries(),
              25) << "4 to 28 pixels";

    auto by_text = probe->make(b2::UI_OPTION_MENU, 0x3000, "Fast;Slow;;tail");
    auto* texts = dynamic_cast<COptionMenu*>(by_text.get());
    ASSERT_EQ(texts->getNbEntries(), 3) << "the text after the last ';' is not an entry";
    EXPECT_EQ(texts->getEntry(1)->getTitle().getString(), "Slow");
    EXPECT_EQ(texts->getEntry(2)->getTitle().getString(), "");

    auto segments = probe->make(b2::UI_SEGMENT_BUTTON, 0x3001, "A;B;C;");
    auto* sb = dynamic_cast<CSegmentButton*>(segments.get());
    ASSERT_NE(sb, nullptr);
    ASSERT_EQ(sb->getSegments().size(), 3u);
    EXPECT_EQ(sb->getSegments()[2].name.getString(), "C");
    EXPECT_DOUBLE_EQ(sb->getFrameWidth(), 0.5);
    EXPECT_EQ(sb->getStyle(), CSegmentButton::Style::kHorizontal);
    EXPECT_EQ(dynamic_cast<CSegmentButton*>(probe->make(b2::UI_SEGMENT_BUTTON, 16).get())->getSegments().size(), 2u);

    auto knob = probe->make(b2::UI_KNOB, 2);
    auto* k = dynamic_cast<CKnob*>(knob.get());
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->getDrawStyle(), 0x62);
    EXPECT_FLOAT_EQ(k->getZoomFactor(), 200.0f);
    EXPECT_DOUBLE_EQ(k->getCoronaInset(), 2.5);
    EXPECT_DOUBLE_EQ(k->getHandleLineWidth(), 2.0);
    EXPECT_DOUBLE_EQ(k->getCoronaOutlineWidthAdd(), 2.0);
}

}  // namespace
