// Both editor pages drawn by the Windows back end (Direct2D into a WIC
// bitmap) in the fixed meter state, compared with the Linux (cairo) pictures
// of the same state: the same size, and the bars, segments, scale ticks,
// buttons, images and backgrounds at the same places in the same colours.
//
// Text is left out of the pixel comparison (the reference's text mask): the
// platforms rasterise glyphs differently and put the baseline a pixel or two
// apart. It is checked string by string instead, by the place, amount and
// colour of its ink; under Wine, windows_picture_run.sh gives DirectWrite the
// font the Linux drawing uses, without which Wine draws no text at all
// (DrawTextLayout fails with E_FAIL).
//
// Under Wine only, the rounded corners and outlines of buttons and value
// boxes are left out too (the reference's round mask): Wine's Direct2D leaves
// arcs out of paths (ID2D1GeometrySink::AddArc is a stub) and ignores stroke
// styles, so these come out with cut corners and broken outlines.
//
// The Windows pictures are kept in <build>/test-output/windows-pictures/.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "editor/offscreen_picture.h"
#include "editor/rgba_png.h"
#include "editor_picture_state.h"
#include "picture_compare.h"
#include "test_support.h"
// After the others: the toolkit sets up the Windows headers its own way.
#include <windows.h>

namespace {

// Colour channels may differ this much from a colour (or a blend of two)
// found one pixel around: the renderers cover edge pixels differently and
// scale the images (drawn at half their size) with other filters.
constexpr int kTolerance = 32;

// Text: each string's ink within this many pixels of the reference's box,
// its amount within this share of the reference's.
constexpr int kTextReach = 2;
constexpr double kTextAmount = 0.35;

bool under_wine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

b2::rgba_image read(const std::string& path) {
    b2::rgba_image image;
    std::string error;
    EXPECT_TRUE(b2::read_rgba_png(path, image, error)) << error;
    return image;
}

TEST(WindowsPicture, PagesMatchTheLinuxDrawing) {
    const std::string out = std::string(RISER_TEST_OUTPUT_DIR) + "/windows-pictures";
    std::filesystem::create_directories(out);
    b2test::EnginePtr engine(b2test::make_engine());
    picturetest::publish_fixed_state(engine.get());
    b2::offscreen_editor editor(engine.get(), 1.0);
    ASSERT_TRUE(editor.ok());
    picturetest::show_fixed_loudness(editor);
    for (const auto& page : picturetest::kPages) {
        SCOPED_TRACE(page.name);
        editor.show_page(page.page);
        editor.draw();
        const std::string name = std::string(page.name) + ".png";
        std::string error;
        ASSERT_TRUE(editor.save_png(out + "/" + name, error)) << error;

        const std::string linux_dir = RISER_LINUX_PICTURES;
        const b2::rgba_image reference = read(linux_dir + "/" + name);
        const b2::rgba_image text = read(linux_dir + "/" + page.name + "_text.png");
        const b2::rgba_image round = read(linux_dir + "/" + page.name + "_round.png");
        std::vector<const b2::rgba_image*> masks{&text};
        if (under_wine()) masks.push_back(&round);
        const b2::rgba_image picture{editor.width(), editor.height(), editor.rgba()};
        ASSERT_EQ(picture.pixels.size(), static_cast<size_t>(picture.width) * picture.height * 4);

        const picturetest::comparison c = picturetest::compare_pictures(reference, picture, masks, kTolerance);
        ASSERT_TRUE(c.same_size) << reference.width << " x " << reference.height << " against " << picture.width
                                 << " x " << picture.height;
        // The masks leave most of the page to compare.
        EXPECT_GT(c.compared, picture.width * picture.height * 3 / 4);
        EXPECT_EQ(c.differing, 0) << c.describe() << " (Windows picture: " << out << "/" << name << ")";
        std::vector<const b2::rgba_image*> text_left_out(masks.begin() + 1, masks.end());
        const picturetest::text_check t =
            picturetest::compare_text(reference, picture, text, text_left_out, kTextReach, kTextAmount, kTolerance);
        EXPECT_EQ(t.faults, "");
        std::printf("%s: %d of %d compared pixels, %d of %d text areas checked\n", page.name, c.compared,
                    picture.width * picture.height, t.checked, t.areas);
        // Most text is checked.
        EXPECT_GT(t.checked, t.areas / 2);
    }
}

}  // namespace
