// The manual's pictures are those of the current build: each page drawn by
// riser-meter at the end of its demo signal matches docs/images/<page>.png
// pixel for pixel (scripts/make_manual_pictures.sh draws them again).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "tests/tools_support.h"

#ifdef RISER_METER_HAS_PNG
#include "editor/rgba_png.h"

using namespace tools_test;

namespace {

b2::rgba_image drawn_page(const std::string& dir, const char* page) {
    const std::string path = dir + "/" + page + ".png";
    b2::rgba_image image;
    std::string error;
    Result r = run(std::string("--summary-only --png ") + path + " --png-page " + page);
    EXPECT_EQ(r.status, 0) << page << ": " << r.err;
    EXPECT_TRUE(b2::read_rgba_png(path, image, error)) << error;
    std::remove(path.c_str());
    return image;
}

const uint8_t* pixel(const b2::rgba_image& image, int x, int y) {
    return &image.pixels[(static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)) * 4];
}

}  // namespace
#endif

TEST(ManualPictures, EveryPageIsTheCurrentDrawing) {
#ifndef RISER_METER_HAS_PNG
    GTEST_SKIP() << "built without the editor: riser-meter has no --png";
#else
    char dir[] = "/tmp/riser_manual_picturesXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    for (const char* page : {"main", "settings", "loudness"}) {
        const b2::rgba_image now = drawn_page(dir, page);
        b2::rgba_image kept;
        std::string error;
        const std::string manual = std::string(RISER_SOURCE_DIR) + "/docs/images/" + page + ".png";
        ASSERT_TRUE(b2::read_rgba_png(manual, kept, error)) << manual << ": " << error;
        ASSERT_EQ(now.width, kept.width) << page;
        ASSERT_EQ(now.height, kept.height) << page;
        size_t differing = 0;
        for (size_t i = 0; i < now.pixels.size(); ++i) differing += now.pixels[i] != kept.pixels[i];
        EXPECT_EQ(differing, 0u) << manual << " is stale: run scripts/make_manual_pictures.sh";
    }
    rmdir(dir);
#endif
}

// A picture drawn without a window shows the loudness page's two-way
// switches with their segments and the selected one lit ("Always" and
// "LUFS" at the defaults): the toolkit lays segments out only for a window.
TEST(ManualPictures, SwitchesShowTheirSelectedSegment) {
#ifndef RISER_METER_HAS_PNG
    GTEST_SKIP() << "built without the editor: riser-meter has no --png";
#else
    char dir[] = "/tmp/riser_manual_picturesXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const b2::rgba_image page = drawn_page(dir, "loudness");
    rmdir(dir);
    ASSERT_EQ(page.width, 214);
    for (int y : {272, 324}) {  // mode, then scale: selected left half, right half not
        const uint8_t* lit = pixel(page, 96, y + 3);
        const uint8_t* unlit = pixel(page, 200, y + 3);
        EXPECT_EQ(lit[0], 110) << "y " << y;
        EXPECT_EQ(unlit[0], 80) << "y " << y;
    }
#endif
}
