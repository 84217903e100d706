// The reference pictures the Windows drawing is compared with: the Linux
// pictures of editor_picture_writer and their masks, and the comparison
// itself on pictures with text left out, moved views and changed colours.
#include <cairo.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "editor/offscreen_picture.h"
#include "editor/rgba_png.h"
#include "editor_picture_state.h"
#include "picture_compare.h"
#include "test_support.h"

namespace {
bool draw_text = true;
}

// Lets a test draw the pages without their text, as Wine's Direct2D does.
extern "C" void pango_cairo_show_layout(cairo_t* cr, PangoLayout* layout) {
    using show_fn = void (*)(cairo_t*, PangoLayout*);
    static const auto library = reinterpret_cast<show_fn>(dlsym(RTLD_NEXT, "pango_cairo_show_layout"));
    if (draw_text && library) library(cr, layout);
}

namespace {

using picturetest::compare_pictures;

b2::rgba_image read(const std::string& path) {
    b2::rgba_image image;
    std::string error;
    EXPECT_TRUE(b2::read_rgba_png(path, image, error)) << error;
    return image;
}

bool masked(const b2::rgba_image& mask, int x, int y) { return mask.pixels[(y * mask.width + x) * 4 + 3] > 127; }

class PictureCompareTest : public ::testing::Test {
protected:
    // The writer's pictures, in a folder of each test's own (tests may run at once).
    std::string folder = std::string(RISER_TEST_OUTPUT_DIR) + "/picture-compare/" +
                          ::testing::UnitTest::GetInstance()->current_test_info()->name();

    void SetUp() override {
        const std::string command = std::string("\"") + RISER_PICTURE_WRITER_PATH + "\" \"" + folder + "\"";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    // A page drawn in this process, with or without its text.
    b2::rgba_image drawn(uint8_t page, bool text) {
        b2test::EnginePtr engine(b2test::make_engine());
        picturetest::publish_fixed_state(engine.get());
        b2::offscreen_editor editor(engine.get(), 1.0);
        EXPECT_TRUE(editor.ok());
        picturetest::show_fixed_loudness(editor);
        editor.show_page(page);
        draw_text = text;
        editor.draw();
        draw_text = true;
        return {editor.width(), editor.height(), editor.rgba()};
    }
};

TEST_F(PictureCompareTest, ReferenceIsTheFixedStateAndItsMaskCoversTheText) {
    for (const auto& page : picturetest::kPages) {
        SCOPED_TRACE(page.name);
        const b2::rgba_image reference = read(folder + "/" + page.name + ".png");
        const b2::rgba_image mask = read(folder + "/" + page.name + "_text.png");
        ASSERT_EQ(reference.width, 214);
        ASSERT_EQ(reference.height, 620);
        // The same drawing as in this process, pixel for pixel.
        const b2::rgba_image same = drawn(page.page, true);
        EXPECT_EQ(compare_pictures(reference, same, {}, 0).differing, 0);
        // Without text the page differs, but only inside the mask.
        const b2::rgba_image textless = drawn(page.page, false);
        EXPECT_GT(compare_pictures(reference, textless, {}, 0).differing, 100);
        const auto outside = compare_pictures(reference, textless, {&mask}, 0);
        EXPECT_EQ(outside.differing, 0) << outside.describe();
        // The mask leaves most of the page to compare.
        EXPECT_GT(outside.compared, 214 * 620 * 3 / 4);
    }
    // The meter bars and the gear button are compared, not masked.
    const b2::rgba_image mask = read(folder + "/main_text.png");
    const b2::rgba_image round = read(folder + "/main_round.png");
    for (int y : {62, 300, 550}) EXPECT_FALSE(masked(mask, 76, y) || masked(round, 76, y)) << y;
    EXPECT_FALSE(masked(mask, 24, 572) || masked(round, 24, 572));
    // Strings cut by their view are marked: only the scale labels at the
    // bottom of the meters.
    int cut = 0, cut_above = 0;
    for (int y = 0; y < 620; ++y)
        for (int x = 0; x < 214; ++x)
            if (masked(mask, x, y) && mask.pixels[(y * 214 + x) * 4] < 255) ++cut, cut_above += y < 560;
    EXPECT_GT(cut, 20);
    EXPECT_EQ(cut_above, 0);
    // The rounded views' outlines are masked, their insides and the panel
    // between them are not.
    int outline = 0, inside = 0;
    for (int y = 0; y < 620; ++y)
        for (int x = 0; x < 214; ++x) (masked(round, x, y) ? outline : inside) += 1;
    EXPECT_GT(outline, 500);
    // The "+1.0" button (16, 390, 40 x 14, corner radius 4): masked out to
    // the radius from each edge, compared in the middle.
    EXPECT_TRUE(masked(round, 36, 393));
    EXPECT_TRUE(masked(round, 19, 397));
    EXPECT_TRUE(masked(round, 52, 397));
    EXPECT_FALSE(masked(round, 36, 397));
    EXPECT_GT(inside, 214 * 620 * 9 / 10);
}

TEST_F(PictureCompareTest, MovedViewsAndChangedColoursAreFound) {
    const b2::rgba_image reference = read(folder + "/main.png");
    const b2::rgba_image mask = read(folder + "/main_text.png");
    auto at = [](b2::rgba_image& image, int x, int y) { return &image.pixels[(y * image.width + x) * 4]; };

    // The RMS bar's column moved 2 pixels right.
    b2::rgba_image moved = reference;
    for (int y = 54; y < 566; ++y)
        for (int x = 100; x >= 62; --x) std::copy(at(moved, x - 2, y), at(moved, x - 2, y) + 4, at(moved, x, y));
    auto c = compare_pictures(reference, moved, {&mask}, 32);
    EXPECT_GT(c.differing, 100) << c.describe();
    EXPECT_GE(c.left, 60);
    EXPECT_LE(c.right, 100);

    // One lit segment in another colour (the normal green turned yellow).
    b2::rgba_image recoloured = reference;
    for (int y = 54 + 16 * 31 + 2; y < 54 + 16 * 31 + 14; ++y) at(recoloured, 76, y)[2] = 30;
    c = compare_pictures(reference, recoloured, {&mask}, 32);
    EXPECT_EQ(c.differing, 12) << c.describe();
    EXPECT_EQ(c.first_x, 76);

    // A string moved 4 pixels down, one left out, and one in another colour.
    using picturetest::compare_text;
    const std::vector<picturetest::box> areas = picturetest::mask_areas(mask);
    ASSERT_GT(areas.size(), 20u);
    const picturetest::text_check same = compare_text(reference, reference, mask, {}, 2, 0.35, 32);
    EXPECT_EQ(same.faults, "");
    // All but the scale labels cut by the bottom of their views.
    EXPECT_GE(same.checked, static_cast<int>(areas.size()) - 4);
    const picturetest::box& a = areas[0];
    b2::rgba_image changed = reference;
    for (int y = a.bottom; y >= a.top + 4; --y)
        for (int x = a.left; x <= a.right; ++x) std::copy(at(changed, x, y - 4), at(changed, x, y - 4) + 4, at(changed, x, y));
    for (int y = a.top; y < a.top + 4; ++y)
        for (int x = a.left; x <= a.right; ++x) std::copy(at(changed, a.left, a.top), at(changed, a.left, a.top) + 4, at(changed, x, y));
    const picturetest::box& b = areas[1];
    for (int y = b.top; y <= b.bottom; ++y)
        for (int x = b.left; x <= b.right; ++x) std::copy(at(changed, b.left, b.top), at(changed, b.left, b.top) + 4, at(changed, x, y));
    const picturetest::box& d = areas[2];
    const picturetest::ink before = picturetest::ink_in(reference, d, 48, {});
    for (int y = d.top; y <= d.bottom; ++y)
        for (int x = d.left; x <= d.right; ++x)
            if (at(changed, x, y)[0] > before.mean[0] - 10) at(changed, x, y)[0] = 255;
    const picturetest::text_check t = compare_text(reference, changed, mask, {}, 2, 0.35, 32);
    EXPECT_EQ(std::count(t.faults.begin(), t.faults.end(), '\n'), 3) << t.faults;
    // Strings cut by their view and areas mostly under other masks are not checked.
    b2::rgba_image cut_mask = mask;
    for (int y = a.top; y <= a.bottom; ++y)
        for (int x = a.left; x <= a.right; ++x)
            if (at(cut_mask, x, y)[3] > 127) at(cut_mask, x, y)[0] = 128;
    b2::rgba_image cover = b2::rgba_image{214, 620, std::vector<uint8_t>(214 * 620 * 4, 0)};
    for (int y = b.top; y <= b.bottom; ++y)
        for (int x = b.left; x <= b.right; ++x) at(cover, x, y)[3] = 255;
    const picturetest::text_check rest = compare_text(reference, changed, cut_mask, {&cover}, 2, 0.35, 32);
    EXPECT_EQ(rest.checked, t.checked - 2);
    EXPECT_EQ(std::count(rest.faults.begin(), rest.faults.end(), '\n'), 1) << rest.faults;

    // Another size.
    b2::rgba_image cropped = reference;
    cropped.height -= 1;
    cropped.pixels.resize(cropped.pixels.size() - 214 * 4);
    EXPECT_FALSE(compare_pictures(reference, cropped, {&mask}, 32).same_size);
}

}  // namespace
