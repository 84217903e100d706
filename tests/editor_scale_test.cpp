// The host's display scale (content scale factor) through the VST3
// interfaces: the window size it asks for, how it combines with the user's
// zoom, the grip at a scale, and the pages of an editor reopened small.
#include <cmath>
#include <limits>

#include "editor_picture_state.h"
#include "editor_support.h"
#include "engine/engine.h"
#include "tests/meter_levels.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "vstgui/lib/cviewcontainer.h"

namespace {
using namespace editortest;
using Steinberg::IPlugViewContentScaleSupport;
using Steinberg::ViewRect;

std::string dims(const ViewRect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.getWidth()) + " x " +
           std::to_string(r.getHeight());
}

class ScaleTest : public EditorTest {
protected:
    IPlugViewContentScaleSupport* scale = nullptr;

    void SetUp() override {
        EditorTest::SetUp();
        void* obj = nullptr;
        ASSERT_EQ(view->queryInterface(IPlugViewContentScaleSupport::iid, &obj), kResultOk);
        ASSERT_NE(obj, nullptr);
        scale = static_cast<IPlugViewContentScaleSupport*>(obj);
        scale->release();  // the view keeps it alive
    }

    ViewRect size() const {
        ViewRect r;
        EXPECT_EQ(view->getSize(&r), kResultTrue);
        return r;
    }
    // The window the frame shows, its zoom and the host's size agree.
    void expect_window(int width, int height) {
        ViewRect r = size();
        EXPECT_EQ(r.getWidth(), width);
        EXPECT_EQ(r.getHeight(), height);
        if (!frame()) return;
        EXPECT_EQ(frame()->getViewSize(), CRect(0, 0, width, height));
        EXPECT_NEAR(frame()->getZoom(), height / 620.0, 1e-9);
    }
    // Views at the bottom and the right of the main page: inside the page
    // (laid out at 214 x 620) and, through the frame's zoom, inside the window.
    void expect_whole_page_visible() {
        CViewContainer* main = editor->page(b2::PAGE_MAIN);
        ASSERT_NE(main, nullptr);
        EXPECT_EQ(main->getViewSize(), CRect(0, 0, 214, 620));
        const CRect window = frame()->getViewSize();
        // (The width is truncated to whole pixels: a view at the right edge
        // may end less than a pixel beyond it.)
        CRect within = window;
        within.right += 1;
        for (uint32_t tag : {b2::UI_KICK_BUTTON | b2::ID_SETTINGS, b2::UI_METER | b2::ID_CREST_LEFT,
                             b2::UI_METER | b2::ID_CREST_RIGHT, uint32_t(b2::UI_STATUS),
                             b2::UI_TEXT_BUTTON | b2::ID_K_FILTER}) {
            CControl* v = editor->find_view(tag);
            ASSERT_NE(v, nullptr) << std::hex << tag;
            CRect r = v->getViewSize();
            EXPECT_TRUE(CRect(r).bound(main->getViewSize()) == r) << std::hex << tag << " outside its page";
            frame()->getTransform().transform(r);
            EXPECT_TRUE(CRect(r).bound(within) == r)
                << std::hex << tag << std::dec << " at " << r.left << "," << r.top << " " << r.right << ","
                << r.bottom << " outside the window " << window.getWidth() << " x " << window.getHeight();
        }
    }
    // The picture at factor 2 is the picture at factor 1 at twice the size.
    void expect_scaled_twice(const std::string& name);
    // A drag with the editor's own grip from its corner by (dx, dy) window pixels.
    void drag_grip(CCoord dx, CCoord dy) {
        const CRect w = frame()->getViewSize();
        CPoint down(w.right - 4, w.bottom - 4);
        const CButtonState left(kLButton);
        ASSERT_EQ(frame()->onMouseDown(down, left), kMouseEventHandled);
        hover_at(CPoint(down.x + dx, down.y + dy), left);
        hover_at(CPoint(1, 1));  // released
        ASSERT_FALSE(editor->grip_in_progress());
    }
};

TEST_F(ScaleTest, FactorBeforeOpenSizesTheWindowToOpen) {
    EXPECT_EQ(scale->setContentScaleFactor(2.0f), kResultTrue);
    expect_window(428, 1240);
    EXPECT_TRUE(host.resizes.empty()) << "no window yet, nothing to ask the host";
    ASSERT_TRUE(open());
    expect_window(428, 1240);
    EXPECT_EQ(host.resizes.back().getWidth(), 428);
    EXPECT_EQ(host.resizes.back().getHeight(), 1240);
    expect_whole_page_visible();

    // The host turns up a size before attaching: it gets the size to open at.
    view->removed();
    EXPECT_EQ(scale->setContentScaleFactor(1.5f), kResultTrue);
    ViewRect asked(0, 0, 214, 620);
    EXPECT_EQ(view->onSize(&asked), kResultTrue);
    EXPECT_EQ(asked.getWidth(), 321);
    EXPECT_EQ(asked.getHeight(), 930);
    ASSERT_TRUE(open());
    expect_window(321, 930);
}

TEST_F(ScaleTest, FactorChangesOnAnOpenEditorGoThroughTheHost) {
    ASSERT_TRUE(open());
    const size_t before = host.resizes.size();
    const struct {
        float factor;
        int width, height;
    } steps[] = {{2.0f, 428, 1240}, {1.5f, 321, 930}, {1.0f, 214, 620}, {4.0f, 856, 2480}};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.factor);
        EXPECT_EQ(scale->setContentScaleFactor(s.factor), kResultTrue);
        ASSERT_GT(host.resizes.size(), before);
        EXPECT_EQ(host.resizes.back().getWidth(), s.width);
        EXPECT_EQ(host.resizes.back().getHeight(), s.height);
        // This host does not call onSize back: the editor sized itself.
        expect_window(s.width, s.height);
        expect_whole_page_visible();
    }
    // The same factor again asks for nothing.
    const size_t now = host.resizes.size();
    EXPECT_EQ(scale->setContentScaleFactor(4.0f), kResultTrue);
    EXPECT_EQ(host.resizes.size(), now);

    // A host that resizes its window at once and calls onSize.
    host.answers_with_on_size = true;
    EXPECT_EQ(scale->setContentScaleFactor(2.0f), kResultTrue);
    EXPECT_EQ(host.resizes.size(), now + 1);
    expect_window(428, 1240);
}

// A host that refuses the size a new factor asks for, without calling
// onSize, keeps its window: the frame keeps fitting that window and the size
// the editor reports is that window's. The user's zoom is not lost.
TEST_F(ScaleTest, AHostThatRefusesTheSizeKeepsItsWindowAndTheFrameFitsIt) {
    ASSERT_TRUE(open());
    ViewRect user(0, 0, 321, 930);  // the user's zoom 1.5
    EXPECT_EQ(view->onSize(&user), kResultTrue);
    host.refuses_resize = true;
    for (float factor : {2.0f, 1.0f, 4.0f}) {
        SCOPED_TRACE(factor);
        const size_t before = host.resizes.size();
        EXPECT_EQ(scale->setContentScaleFactor(factor), kResultTrue);
        ASSERT_EQ(host.resizes.size(), before + 1) << "the host is asked";
        EXPECT_EQ(host.resizes.back().getHeight(), static_cast<int>(930 * factor));
        expect_window(321, 930);
        expect_whole_page_visible();
    }
    // The host gives the window the size at factor 4 after all.
    host.refuses_resize = false;
    ViewRect given(0, 0, 1284, 3720);
    EXPECT_EQ(view->onSize(&given), kResultTrue);
    expect_window(1284, 3720);
    EXPECT_EQ(scale->setContentScaleFactor(1.0f), kResultTrue);
    expect_window(321, 930);
}

TEST_F(ScaleTest, TheUsersZoomMultipliesWithTheFactorAndSurvivesReopening) {
    ASSERT_TRUE(open());
    ViewRect user(0, 0, 321, 930);  // the host's window resized by the user: zoom 1.5
    EXPECT_EQ(view->onSize(&user), kResultTrue);
    EXPECT_EQ(scale->setContentScaleFactor(2.0f), kResultTrue);
    expect_window(642, 1860);
    EXPECT_EQ(scale->setContentScaleFactor(1.0f), kResultTrue);
    expect_window(321, 930);

    // Closed, the factor changes and the editor opens again at both.
    view->removed();
    EXPECT_EQ(scale->setContentScaleFactor(2.0f), kResultTrue);
    expect_window(642, 1860);
    ASSERT_TRUE(open());
    expect_window(642, 1860);
    expect_whole_page_visible();

    // A zoom that does not land on whole pixels comes back exactly.
    ViewRect odd(0, 0, 0, 1258);
    EXPECT_EQ(view->onSize(&odd), kResultTrue);
    EXPECT_EQ(scale->setContentScaleFactor(1.5f), kResultTrue);
    EXPECT_EQ(scale->setContentScaleFactor(3.0f), kResultTrue);
    EXPECT_EQ(scale->setContentScaleFactor(2.0f), kResultTrue);
    EXPECT_EQ(size().getHeight(), 1258);

    // The limits of the user's zoom (0.5 to 5) hold at every factor.
    ViewRect r(0, 0, 10, 100);
    EXPECT_EQ(view->checkSizeConstraint(&r), kResultOk);
    EXPECT_EQ(dims(r), dims(ViewRect(0, 0, 214, 620)));
    r = ViewRect(0, 0, 10, 100000);
    EXPECT_EQ(view->checkSizeConstraint(&r), kResultOk);
    EXPECT_EQ(dims(r), dims(ViewRect(0, 0, 2140, 6200)));
    r = ViewRect(0, 0, 10, 1395);
    EXPECT_EQ(view->checkSizeConstraint(&r), kResultOk);
    EXPECT_EQ(dims(r), dims(ViewRect(0, 0, 481, 1395)));
}

TEST_F(ScaleTest, RefusesFactorsOutsideOneToFour) {
    EXPECT_EQ(scale->setContentScaleFactor(1.5f), kResultTrue);
    ASSERT_TRUE(open());
    const size_t requests = host.resizes.size();
    for (float bad : {0.0f, -1.0f, 0.5f, 0.999f, 4.01f, 100.0f, std::numeric_limits<float>::quiet_NaN(),
                      std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(scale->setContentScaleFactor(bad), kResultFalse);
        expect_window(321, 930);
    }
    EXPECT_EQ(host.resizes.size(), requests);
    ViewRect r(0, 0, 10, 100);  // the limits still follow 1.5
    view->checkSizeConstraint(&r);
    EXPECT_EQ(r.getHeight(), 465);
}

TEST_F(ScaleTest, GripWorksAtFactorTwo) {
    EXPECT_EQ(scale->setContentScaleFactor(2.0f), kResultTrue);
    ASSERT_TRUE(open());
    // The corner square covers the same part of the picture as at factor 1.
    hover_at(CPoint(428 - 38, 1240 - 38));
    EXPECT_EQ(editor->grip_cursor(), kCursorNWSESize);
    hover_at(CPoint(428 - 42, 1240 - 42));
    EXPECT_EQ(editor->grip_cursor(), kCursorDefault);

    drag_grip(0, 200);
    expect_window(497, 1440);  // width = 1440 x 214 / 620, truncated
    expect_whole_page_visible();
    EXPECT_EQ(host.resizes.back().getHeight(), 1240) << "the grip does not ask the host";

    drag_grip(-1000, -1000);  // the smallest window at factor 2
    expect_window(214, 620);
    expect_whole_page_visible();
    // The user's zoom is now 0.5: at factor 1 that is the half size.
    EXPECT_EQ(scale->setContentScaleFactor(1.0f), kResultTrue);
    expect_window(107, 310);
}

// Shrunk below 214 x 620, closed and opened again: the pages are laid out at
// 214 x 620 and the frame's zoom scales them into the window, so every view
// (the gear button, the crest meters, the status line, the K button) is in
// sight and answers clicks.
TEST_F(ScaleTest, ReopenedSmallShowsTheWholePage) {
    for (float factor : {1.0f, 2.0f}) {
        for (int height : {310, 400, 500, 620, 800, 930}) {
            SCOPED_TRACE(testing::Message() << "factor " << factor << ", height at factor 1 " << height);
            ASSERT_EQ(scale->setContentScaleFactor(factor), kResultTrue);
            ASSERT_TRUE(open());
            ViewRect n(0, 0, 0, static_cast<int32_t>(height * factor));
            view->checkSizeConstraint(&n);
            EXPECT_EQ(view->onSize(&n), kResultTrue);
            view->removed();

            ASSERT_TRUE(open());
            expect_window(n.getWidth(), n.getHeight());
            expect_whole_page_visible();
            click(find(b2::UI_KICK_BUTTON, b2::ID_SETTINGS));
            EXPECT_EQ(editor->get_current_page(), b2::PAGE_SETTINGS) << "the gear button answers";
            view->removed();
            ViewRect reset(0, 0, 214, 620);  // back to zoom 1 for the next round
            ASSERT_TRUE(open());
            view->onSize(&reset);
            view->removed();
        }
    }
}

TEST_F(ScaleTest, ReopenedAfterAGripShrinkShowsTheWholePage) {
    ASSERT_TRUE(open());
    drag_grip(-100, -250);  // 620 - 250 = 370 high
    expect_window(127, 370);
    view->removed();
    ASSERT_TRUE(open());
    expect_window(127, 370);
    expect_whole_page_visible();
    EXPECT_EQ(scale->setContentScaleFactor(2.0f), kResultTrue);
    expect_window(255, 740);
    expect_whole_page_visible();
}

// The picture at factor 2 is the picture at factor 1 at twice the size:
// compared on 8 x 8 blocks (4 x 4 at factor 1), which evens out the
// antialiasing and the glyphs that a larger font draws differently.
TEST_F(ScaleTest, PictureAtFactorTwoIsThePictureAtOneScaled) {
    ASSERT_TRUE(open());
    b2test::publish_levels(engine(), {-20.5f, -10.5f, 10.0f});  // lit bars, so they are compared too
    tick();
    expect_scaled_twice("editor_main_content_scale2");
}

// The same for the loudness page, with the pictures' fixed reading.
TEST_F(ScaleTest, LoudnessPageAtFactorTwoIsThePictureAtOneScaled) {
    ASSERT_TRUE(open());
    const b2::LoudnessView reading = picturetest::fixed_loudness();
    editor->set_loudness_source([reading](b2::LoudnessView& out) {
        out = reading;
        return true;
    });
    tick();
    click(editor->find_view(b2::UI_TEXT_BUTTON | b2::ID_LOUDNESS));
    ASSERT_EQ(editor->get_current_page(), b2::PAGE_LOUDNESS);
    expect_scaled_twice("editor_loudness_content_scale2");
}

void ScaleTest::expect_scaled_twice(const std::string& name) {
    Picture one(frame());
    ASSERT_EQ(scale->setContentScaleFactor(2.0f), kResultTrue);
    Picture two(frame());
    EXPECT_TRUE(two.save(name));
    ASSERT_EQ(one.width, 214);
    ASSERT_EQ(two.width, 428);
    ASSERT_EQ(two.height, 1240);

    auto block = [](const Picture& p, int x0, int y0, int n, int channel) {
        int sum = 0;
        for (int y = y0; y < y0 + n; ++y)
            for (int x = x0; x < x0 + n; ++x) {
                const CColor c = p.pixel(x, y);
                sum += channel == 0 ? c.red : channel == 1 ? c.green : c.blue;
            }
        return sum / (n * n);
    };
    int blocks = 0, differing = 0, worst = 0;
    for (int by = 0; by + 4 <= 620; by += 4)
        for (int bx = 0; bx + 4 <= 214; bx += 4) {
            int off = 0;
            for (int ch = 0; ch < 3; ++ch)
                off = std::max(off, std::abs(block(one, bx, by, 4, ch) - block(two, 2 * bx, 2 * by, 8, ch)));
            ++blocks;
            differing += off > 24;
            worst = std::max(worst, off);
        }
    EXPECT_LT(differing, blocks / 100) << differing << " of " << blocks << " blocks differ; worst " << worst;
}

}  // namespace
