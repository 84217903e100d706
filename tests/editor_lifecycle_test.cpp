// The editor window: opening through the script hook into a real X window,
// the pages and views it builds, close and reopen, size and zoom, the grip
// and the keys.
#include <cstring>

#include "editor_support.h"
#include "engine/engine.h"
#include "engine/value_format.h"
#include "pluginterfaces/base/keycodes.h"
#include "views/meter_segment.h"
#include "views/text_button_mod.h"
#include "vstgui/lib/controls/cmoviebitmap.h"
#include "vstgui/lib/cviewcontainer.h"

namespace {
using namespace editortest;
using b2::ui_element;
using Steinberg::ViewRect;

TEST_F(EditorTest, OpensOnTheMainPageWithAViewPerRecord) {
    ASSERT_TRUE(open());
    ASSERT_TRUE(editor->editor_open());
    ASSERT_NE(frame(), nullptr);
    EXPECT_EQ(frame()->getViewSize(), CRect(0, 0, 214, 620));
    ASSERT_FALSE(host.resizes.empty());
    EXPECT_EQ(host.resizes.back().getWidth(), 214);
    EXPECT_EQ(host.resizes.back().getHeight(), 620);
    EXPECT_EQ(host.timers_with(b2::kTimerPeriodMs), 1) << "the editor's 33 ms timer runs";

    EXPECT_EQ(editor->get_current_page(), b2::PAGE_MAIN);
    EXPECT_TRUE(frame()->isChild(editor->page(b2::PAGE_MAIN)));
    EXPECT_FALSE(frame()->isChild(editor->page(b2::PAGE_SETTINGS)));

    // The main and settings pages' 76 records, then the loudness page's switch and page.
    ASSERT_EQ(editor->element_records_size(), b2::element_table_size());
    ASSERT_GT(b2::element_table_size(), b2::kBaseLayoutRecords);
    EXPECT_EQ(b2::element_table()[b2::kBaseLayoutRecords - 1].kind, b2::UI_STATUS);
    for (uint32_t i = b2::kBaseLayoutRecords + 1; i < b2::element_table_size(); ++i)
        EXPECT_EQ(b2::element_table()[i].page, b2::PAGE_LOUDNESS) << i;
    const ui_element* records = editor->element_records();
    for (uint32_t i = 0; i < editor->element_records_size(); ++i) {
        ASSERT_NE(records[i].view, nullptr) << "record " << i;
        EXPECT_EQ(static_cast<uint32_t>(records[i].view->getTag()), records[i].kind | records[i].id) << i;
        EXPECT_EQ(records[i].view->getListener(), static_cast<IControlListener*>(editor)) << i;
        EXPECT_TRUE(editor->page(records[i].page)->isChild(records[i].view)) << i;
    }
    // The static table keeps its run-time fields zero.
    for (uint32_t i = 0; i < b2::element_table_size(); ++i) EXPECT_EQ(b2::element_table()[i].view, nullptr);
}

TEST_F(EditorTest, TagsLabelsAndImageSizesFollowTheLayout) {
    ASSERT_TRUE(open());
    const ui_element* r = editor->element_records();
    EXPECT_EQ(editor->find_view(0x110002), r[0].view) << "gain slider";
    EXPECT_EQ(editor->find_view(0x50002), r[3].view) << "gain entry";
    // Both settings buttons carry 0x2100A; the lookup finds the main page's.
    EXPECT_EQ(r[10].view->getTag(), 0x2100A);
    EXPECT_EQ(r[11].view->getTag(), 0x2100A);
    EXPECT_EQ(editor->find_view(0x2100A), r[10].view);

    // The logos take their size from the images (pixel size / 2, truncated).
    EXPECT_EQ(r[27].view->getViewSize(), CRect(70, 25, 70 + 75, 25 + 22));
    EXPECT_EQ(r[29].view->getViewSize(), CRect(42, 76, 42 + 128, 76 + 122));
    EXPECT_NE(dynamic_cast<CMovieBitmap*>(r[27].view)->getBackground(), nullptr);
    // The editor's own references to the pictures are gone after the build.
    for (const auto& slot : editor->get_images()) EXPECT_EQ(slot.bitmap, nullptr);

    // A settings row label without text shows the parameter's name.
    EXPECT_EQ(r[46].kind, b2::UI_LABEL);
    EXPECT_EQ(label_text(b2::UI_LABEL, b2::ID_PEAK_FALL), "Peak Fall");
    EXPECT_EQ(label_text(b2::UI_LABEL, b2::ID_VERSION), "1.0.1");
    EXPECT_EQ(label_text(b2::UI_LABEL, b2::ID_CONTACT), "support@corvidsignal.example");
    auto* version = dynamic_cast<CTextLabel*>(find(b2::UI_LABEL, b2::ID_VERSION));
    EXPECT_EQ(version->getFontColor(), b2::palette::kDimText);
    EXPECT_EQ(version->getHoriAlign(), kCenterText);

    auto* k = dynamic_cast<CTextButtonMod*>(find(b2::UI_TEXT_BUTTON, b2::ID_K_FILTER));
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->getStyle(), CTextButtonMod::kOnOffStyle);
    EXPECT_EQ(dynamic_cast<CTextButtonMod*>(find(b2::UI_TEXT_BUTTON, b2::ID_GAIN_UP_1))->getStyle(),
              CTextButtonMod::kKickStyle);

    // Threshold sliders wear their ladder colours.
    auto value_colour = [&](int id) { return dynamic_cast<CSlider*>(find(b2::UI_HSLIDER, id))->getValueColor(); };
    EXPECT_EQ(value_colour(b2::ID_PEAK_CLIP), b2::palette::kClip);
    EXPECT_EQ(value_colour(b2::ID_RMS_HIGH), b2::palette::kHigh);
    EXPECT_EQ(value_colour(b2::ID_CREST_LOW), b2::palette::kLow);
    EXPECT_EQ(value_colour(b2::ID_PEAK_FALL), CColor(100, 100, 100, 255));
}

TEST_F(EditorTest, AcceptsOnlyTheX11EmbedWindow) {
    EXPECT_EQ(view->isPlatformTypeSupported(Steinberg::kPlatformTypeX11EmbedWindowID), kResultTrue);
    EXPECT_EQ(view->attached(parent.handle(), Steinberg::kPlatformTypeHWND), kResultFalse);
    EXPECT_FALSE(editor->editor_open());
    EXPECT_EQ(frame(), nullptr);
}

TEST_F(EditorTest, AHostWithoutRunLoopGetsNoWindow) {
    host.offer_run_loop = false;
    EXPECT_EQ(view->attached(parent.handle(), Steinberg::kPlatformTypeX11EmbedWindowID), kResultFalse);
    EXPECT_FALSE(editor->editor_open());
    EXPECT_EQ(frame(), nullptr);
    EXPECT_EQ(editor->element_records(), nullptr);
    EXPECT_TRUE(host.timers.empty());
    // A later attempt with a run loop works.
    host.offer_run_loop = true;
    EXPECT_TRUE(open());
}

TEST_F(EditorTest, CloseAndReopenRebuildsOnTheMainPage) {
    ASSERT_TRUE(open());
    // The host sets "Scale Zero" and both channels publish the scale.
    ASSERT_EQ(adapter->setParamNormalized(b2::ID_SCALE_ZERO, b2::to_normalized(b2::ID_SCALE_ZERO, -20.0f)),
              kResultOk);
    for (auto& strip : engine()->strips) {
        strip.detector.snapshot.scaleZero = -20.0f;
        strip.detector.snapshot.segmentHeight = 16.0f;
        strip.detector.snapshot.ready.store(1);
        strip.detector.snapshot.scaleChanged.store(1);
    }
    tick();
    click(find(b2::UI_KICK_BUTTON, b2::ID_SETTINGS));
    ASSERT_EQ(editor->get_current_page(), b2::PAGE_SETTINGS);

    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_FALSE(editor->editor_open());
    EXPECT_EQ(frame(), nullptr);
    EXPECT_EQ(editor->element_records(), nullptr);
    EXPECT_EQ(editor->page(0), nullptr);
    EXPECT_EQ(host.timers_with(b2::kTimerPeriodMs), 0) << "timer stopped";
    tick();  // nothing registered, nothing happens

    ASSERT_TRUE(open());
    EXPECT_EQ(editor->get_current_page(), b2::PAGE_MAIN);
    EXPECT_TRUE(frame()->isChild(editor->page(b2::PAGE_MAIN)));
    ASSERT_NE(editor->element_records(), nullptr);
    EXPECT_NE(editor->find_view(b2::UI_STATUS), nullptr);
    EXPECT_TRUE(editor->page(b2::PAGE_SETTINGS)->isChild(editor->find_view(b2::UI_STATUS)));
    // The new scales show what the old ones showed, without waiting for a change.
    auto* scale = dynamic_cast<CMeterSegment*>(find(b2::UI_METER, b2::ID_LEVEL_SCALE));
    ASSERT_NE(scale, nullptr);
    EXPECT_EQ(scale->snapshot.scaleZero, -20.0f);
    EXPECT_EQ(scale->snapshot.segmentHeight, 16.0f);
    // Switching still works on the new pages.
    click(find(b2::UI_KICK_BUTTON, b2::ID_SETTINGS));
    EXPECT_EQ(editor->get_current_page(), b2::PAGE_SETTINGS);
}

TEST_F(EditorTest, OpensAgainAndAgain) {
    // Closing the last window drops the toolkit's display connection; a new
    // connection at the same address must not meet stale drawing state.
    for (int i = 0; i < 8; ++i) {
        ASSERT_TRUE(open()) << i;
        click(find(b2::UI_KICK_BUTTON, b2::ID_SETTINGS));
        host.pump();
        EXPECT_GE(host.fire(16), 1) << "the frame's redraw timer draws";
        tick();
        EXPECT_EQ(view->removed(), kResultOk);
    }
}

TEST_F(EditorTest, NoEngineMeansNoWindow) {
    Steinberg::IPtr<Steinberg::IPlugView> orphan = Steinberg::owned(new b2::ui_editor(nullptr));
    orphan->setFrame(&host);
    EXPECT_EQ(orphan->attached(parent.handle(), Steinberg::kPlatformTypeX11EmbedWindowID), kResultFalse);
    EXPECT_EQ(orphan->removed(), kResultOk);
    orphan->setFrame(nullptr);
}

// ---- size and zoom ------------------------------------------------------------

TEST_F(EditorTest, SizeConstraintKeepsTheAspectBetween310And3100) {
    auto constrain = [&](int32_t h) {
        ViewRect r(0, 0, 10, h);
        EXPECT_EQ(view->checkSizeConstraint(&r), kResultOk);
        return r;
    };
    ViewRect r = constrain(1000);
    EXPECT_EQ(r.right, 345);
    EXPECT_EQ(r.bottom, 1000);
    r = constrain(100);
    EXPECT_EQ(r.right, 107);
    EXPECT_EQ(r.bottom, 310);
    r = constrain(5000);
    EXPECT_EQ(r.right, 1070);
    EXPECT_EQ(r.bottom, 3100);
    r = constrain(620);
    EXPECT_EQ(r.right, 214);
    ViewRect offset(30, 40, 0, 40 + 930);
    view->checkSizeConstraint(&offset);
    EXPECT_EQ(offset.right, 30 + 321);
    EXPECT_EQ(offset.bottom, 40 + 930);

    EXPECT_EQ(view->checkSizeConstraint(nullptr), kResultFalse);
    EXPECT_EQ(view->onSize(nullptr), kResultFalse);
    EXPECT_EQ(view->getSize(nullptr), kResultFalse);
}

TEST_F(EditorTest, OnSizeBeforeOpenAnswersTheFixedSize) {
    ViewRect r(0, 0, 321, 930);
    EXPECT_EQ(view->onSize(&r), kResultTrue);
    EXPECT_EQ(r.right, 214);
    EXPECT_EQ(r.bottom, 620);
    ViewRect size;
    EXPECT_EQ(view->getSize(&size), kResultTrue);
    EXPECT_EQ(size.getWidth(), 214);
    EXPECT_EQ(size.getHeight(), 620);
}

TEST_F(EditorTest, OnSizeZoomsTheOpenFrame) {
    ASSERT_TRUE(open());
    ViewRect r(0, 0, 321, 930);
    EXPECT_EQ(view->onSize(&r), kResultTrue);
    EXPECT_DOUBLE_EQ(frame()->getZoom(), 1.5);
    EXPECT_EQ(frame()->getViewSize(), CRect(0, 0, 321, 930));
    ViewRect size;
    view->getSize(&size);
    EXPECT_EQ(size.getHeight(), 930);

    // The stored size comes back with its zoom when the editor opens again.
    view->removed();
    ASSERT_TRUE(open());
    EXPECT_DOUBLE_EQ(frame()->getZoom(), 1.5);
    EXPECT_EQ(frame()->getViewSize(), CRect(0, 0, 321, 930));
    EXPECT_EQ(host.resizes.back().getHeight(), 930);
}

TEST_F(EditorTest, CanResizeUnlessTheHostIsElement) {
    EXPECT_EQ(view->canResize(), kResultTrue);
    std::strcpy(engine()->host_name, "Element");
    ASSERT_TRUE(open());  // the host name is read on open
    EXPECT_EQ(view->canResize(), kResultFalse);
    view->removed();
    std::strcpy(engine()->host_name, "Elements");
    ASSERT_TRUE(open());
    EXPECT_EQ(view->canResize(), kResultTrue);
}

TEST_F(EditorTest, GripDragResizesWithTheAspectWhenTheHostDoesNot) {
    ASSERT_TRUE(open());
    const CButtonState left(kLButton);
    // Moving over the corner shows the resize cursor; elsewhere the default.
    hover_at(CPoint(100, 300));
    EXPECT_EQ(editor->grip_cursor(), kCursorDefault);
    hover_at(CPoint(205, 610));
    EXPECT_EQ(editor->grip_cursor(), kCursorNWSESize);

    CPoint down(204, 612);
    EXPECT_EQ(frame()->onMouseDown(down, left), kMouseEventHandled);
    EXPECT_TRUE(editor->grip_in_progress());
    hover_at(CPoint(204 + 50, 612 + 310), left);  // 620 + 310 = 930 high
    EXPECT_EQ(frame()->getViewSize(), CRect(0, 0, 321, 930));
    EXPECT_DOUBLE_EQ(frame()->getZoom(), 1.5);
    ViewRect size;
    view->getSize(&size);
    EXPECT_EQ(size.getWidth(), 321);
    EXPECT_EQ(size.getHeight(), 930);

    // Too small a drag stops at half size.
    hover_at(CPoint(0, 0), left);
    EXPECT_EQ(frame()->getViewSize(), CRect(0, 0, 107, 310));
    // The first move without the button ends the drag; views get moves again.
    hover_at(CPoint(50, 50));
    EXPECT_FALSE(editor->grip_in_progress());
    hover_at(CPoint(10, 10), left);
    EXPECT_EQ(frame()->getViewSize(), CRect(0, 0, 107, 310));
}

TEST_F(EditorTest, NoGripForAHostThatAskedCanResize) {
    view->canResize();
    ASSERT_TRUE(open());
    CPoint down(210, 615);
    frame()->onMouseDown(down, CButtonState(kLButton));
    EXPECT_FALSE(editor->grip_in_progress());
    hover_at(CPoint(300, 900), CButtonState(kLButton));
    EXPECT_EQ(frame()->getViewSize(), CRect(0, 0, 214, 620));
}

// ---- keys -----------------------------------------------------------------------

TEST_F(EditorTest, KeysAreLeftToTheHost) {
    ASSERT_TRUE(open());
    CControl* up = find(b2::UI_TEXT_BUTTON, b2::ID_GAIN_UP_1);
    frame()->setFocusView(up);
    ASSERT_EQ(frame()->getFocusView(), up);
    EXPECT_EQ(view->onKeyDown(0, Steinberg::KEY_RETURN, 0), kResultFalse);
    EXPECT_EQ(view->onKeyUp(0, Steinberg::KEY_RETURN, 0), kResultFalse);
    EXPECT_EQ(view->onKeyDown('a', 0, 0), kResultFalse);
    EXPECT_TRUE(handler.edits.empty()) << "the focused button never saw Return";
    // Tab does not move the focus either.
    EXPECT_EQ(view->onKeyDown(0, Steinberg::KEY_TAB, 0), kResultFalse);
    EXPECT_EQ(frame()->getFocusView(), up);
}

}  // namespace
