// Both pages drawn offscreen at zoom 1 and 2: checked on pixels and kept as
// PNGs in <build>/test-output/ for people to look at.
#include <cstdlib>

#include "editor_picture_state.h"
#include "editor_support.h"
#include "engine/engine.h"
#include "engine/loudness_stage.h"
#include "tests/meter_levels.h"
#include "views/meter_segment.h"

namespace {
using namespace editortest;

constexpr CColor kPanel{50, 50, 50, 255};
constexpr CColor kSliderBack{60, 60, 60, 255};
constexpr CColor kSliderValue{100, 100, 100, 255};
constexpr CColor kUnlit{80, 80, 80, 255};
constexpr CColor kNormal{180, 217, 106, 255};
constexpr CColor kMeterBack{56, 56, 56, 255};
constexpr CColor kLogoOrange{229, 162, 94, 255};

::testing::AssertionResult near(const CColor& a, const CColor& e, int tolerance = 2) {
    auto off = [&](int x, int y) { return std::abs(x - y) > tolerance; };
    if (off(a.red, e.red) || off(a.green, e.green) || off(a.blue, e.blue))
        return ::testing::AssertionFailure() << "(" << int(a.red) << ", " << int(a.green) << ", " << int(a.blue)
                                             << ") is not (" << int(e.red) << ", " << int(e.green) << ", "
                                             << int(e.blue) << ")";
    return ::testing::AssertionSuccess();
}

bool gray_between(const CColor& c, int lo, int hi) {
    return c.red == c.green && c.green == c.blue && c.red >= lo && c.red <= hi;
}

class RenderTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        ASSERT_TRUE(open());
        // Both channels publish: RMS at -20 dB, peaks at -10 dB, default scale.
        b2test::publish_levels(engine(), {-20.5f, -10.5f, 10.0f});
        tick();
    }
    Picture zoomed(int zoom, const std::string& name) {
        Steinberg::ViewRect r(0, 0, 214 * zoom, 620 * zoom);
        view->onSize(&r);
        Picture picture(frame());
        EXPECT_EQ(picture.width, 214 * zoom);
        EXPECT_EQ(picture.height, 620 * zoom);
        EXPECT_TRUE(picture.save(name));
        return picture;
    }
};

TEST_F(RenderTest, MainPage) {
    for (int zoom : {1, 2}) {
        SCOPED_TRACE(zoom);
        Picture b = zoomed(zoom, "editor_main_zoom" + std::to_string(zoom));
        auto at = [&](int x, int y) { return b.pixel(x * zoom, y * zoom); };
        EXPECT_TRUE(near(at(200, 8), kPanel));
        // Gain slider at 0 dB: the lower half holds the value colour.
        EXPECT_TRUE(near(at(24, 100), kSliderBack));
        EXPECT_TRUE(near(at(24, 300), kSliderValue));
        // RMS bar: top steps unlit, bottom steps lit in the normal colour.
        EXPECT_TRUE(near(at(76, 54 + 8), kUnlit));
        EXPECT_TRUE(near(at(76, 54 + 16 * 31 + 8), kNormal));
        // The level scale's background between its labels.
        EXPECT_TRUE(near(at(115, 56), kMeterBack));
        // A step button's gradient body, and the gear icon's grey.
        EXPECT_TRUE(gray_between(at(20, 397), 60, 80)) << int(at(20, 397).red);
        bool gear = false;
        for (int y = 564; y < 581; ++y)
            for (int x = 16; x < 33; ++x) gear |= near(at(x, y), CColor(154, 154, 154, 255), 12);
        EXPECT_TRUE(gear) << "gear icon drawn";
        // The status line's area is panel-coloured at its right end.
        EXPECT_TRUE(near(at(210, 598), kPanel));
        // The loudness page's switch above the crest readouts, its body
        // grey around the caption, the panel around it.
        EXPECT_TRUE(gray_between(at(148, 23), 60, 80)) << int(at(148, 23).red);
        EXPECT_TRUE(gray_between(at(202, 23), 60, 80)) << int(at(202, 23).red);
        EXPECT_TRUE(near(at(175, 12), kPanel));
        EXPECT_TRUE(near(at(150, 32), kPanel));
    }
}

// The loudness page with the pictures' fixed reading: momentary -19.5 LUFS
// (maximum -14.2), short-term -22.6, integrated -23.1 against EBU R128
// (-23 +/- 0.5 LU, -1 dBTP), the left true peak -0.4 dBTP over the ceiling.
TEST_F(RenderTest, LoudnessPage) {
    const b2::LoudnessView reading = picturetest::fixed_loudness();
    b2::set_loudness_settings(engine(), b2::LoudnessSettings{});
    editor->set_loudness_source([reading](b2::LoudnessView& out) {
        out = reading;
        return true;
    });
    tick();
    click(find(b2::UI_TEXT_BUTTON, b2::ID_LOUDNESS));
    ASSERT_EQ(editor->get_current_page(), b2::PAGE_LOUDNESS);
    const CColor high = MeterColors::kHigh, mid = MeterColors::kMid;
    for (int zoom : {1, 2}) {
        SCOPED_TRACE(zoom);
        Picture b = zoomed(zoom, "editor_loudness_zoom" + std::to_string(zoom));
        auto at = [&](int x, int y) { return b.pixel(x * zoom, y * zoom); };
        // Momentary bar (x 20..34, from y 196, 8 px per 1-LU step from 0
        // LUFS): the step of -21 in the high colour (over -22.5), -23 in the
        // mid colour (within the tolerance), -25 in the normal colour, -10
        // unlit; the maximum's marker at -15 in the high colour.
        auto step = [](int lufs) { return 196 + 8 * -lufs; };  // the step's top row
        EXPECT_TRUE(near(at(27, step(-21) + 3), high));
        EXPECT_TRUE(near(at(27, step(-23) + 3), mid));
        EXPECT_TRUE(near(at(27, step(-25) + 3), kNormal));
        EXPECT_TRUE(near(at(27, step(-10) + 3), kUnlit));
        EXPECT_TRUE(near(at(27, step(-15) + 1), high)) << "the maximum's marker";
        EXPECT_TRUE(near(at(27, step(-15) + 5), kUnlit)) << "the marker's lower half";
        // Short-term bar (x 68..82) at -22.6: -24 lit, -20 unlit.
        EXPECT_TRUE(near(at(75, step(-24) + 3), kNormal));
        EXPECT_TRUE(near(at(75, step(-20) + 3), kUnlit));
        // The integrated loudness in the normal colour (on target), the left
        // true peak in the clip colour (over the ceiling).
        auto count = [&](int x0, int y0, int x1, int y1, const CColor& c) {
            int n = 0;
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x) n += near(at(x, y), c, 24);
            return n;
        };
        EXPECT_GT(count(74, 40, 204, 74, kNormal), 60) << "integrated in the large font";
        auto reddish = [&](int x0, int x1) {
            int n = 0;
            for (int y = 102; y < 116; ++y)
                for (int x = x0; x < x1; ++x) n += at(x, y).red > 150 && at(x, y).green < 130;
            return n;
        };
        EXPECT_GT(reddish(74, 118), 5);
        EXPECT_EQ(reddish(120, 164), 0) << "the right true peak is under it";
        // The back button's icon at the bottom left, the status line below.
        int icon = 0;
        for (int y = 566; y < 579; ++y)
            for (int x = 16; x < 30; ++x) icon += !near(at(x, y), kPanel, 6);
        EXPECT_GT(icon, 10);
        EXPECT_TRUE(near(at(210, 598), kPanel));
    }
}

TEST_F(RenderTest, SettingsPage) {
    click(find(b2::UI_KICK_BUTTON, b2::ID_SETTINGS));
    ASSERT_EQ(editor->get_current_page(), b2::PAGE_SETTINGS);
    for (int zoom : {1, 2}) {
        SCOPED_TRACE(zoom);
        Picture b = zoomed(zoom, "editor_settings_zoom" + std::to_string(zoom));
        auto at = [&](int x, int y) { return b.pixel(x * zoom, y * zoom); };
        // The product logo's orange letters.
        int orange = 0;
        for (int y = 25; y < 47; ++y)
            for (int x = 70; x < 145; ++x) orange += near(at(x, y), kLogoOrange, 30);
        EXPECT_GT(orange, 20);
        // The vendor logo is not plain panel.
        int other = 0;
        for (int y = 76; y < 198; y += 2)
            for (int x = 42; x < 170; x += 2) other += !near(at(x, y), kPanel, 6);
        EXPECT_GT(other, 50);
        // Threshold slider "Peak Clip" (row 6) at -4 of -90..48: a sliver of
        // clip colour at its left end.
        const int clip_y = 260 + 20 * 6 + 1 + 6;
        EXPECT_TRUE(near(at(147 + 20, clip_y), CColor(240, 68, 68, 255), 3) ||
                    near(at(147 + 30, clip_y), CColor(240, 68, 68, 255), 3));
        EXPECT_TRUE(near(at(190, 8), kPanel));
    }
}

}  // namespace
