// RGBA pictures as PNG files: exact round trip, and failures that name the
// file and leave nothing behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "editor/rgba_png.h"

namespace {

namespace fs = std::filesystem;

class RgbaPngTest : public ::testing::Test {
protected:
    fs::path dir = fs::path(RISER_TEST_OUTPUT_DIR) / "rgba-png";
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
};

TEST_F(RgbaPngTest, RoundTripKeepsEveryChannel) {
    b2::rgba_image image{3, 2, {}};
    for (int i = 0; i < 3 * 2 * 4; ++i) image.pixels.push_back(static_cast<uint8_t>(i * 37 + 5));
    image.pixels[3] = 0;  // a transparent pixel keeps its colour too
    std::string error;
    const std::string path = (dir / "a.png").string();
    ASSERT_TRUE(b2::write_rgba_png(path, image, error)) << error;
    // Written again over the first file.
    ASSERT_TRUE(b2::write_rgba_png(path, image, error)) << error;
    b2::rgba_image back;
    ASSERT_TRUE(b2::read_rgba_png(path, back, error)) << error;
    EXPECT_EQ(back.width, 3);
    EXPECT_EQ(back.height, 2);
    EXPECT_EQ(back.pixels, image.pixels);
    EXPECT_FALSE(fs::exists(path + ".partial"));
}

TEST_F(RgbaPngTest, FailuresNameTheFileAndLeaveNothing) {
    std::string error;
    b2::rgba_image image{2, 2, std::vector<uint8_t>(16, 200)};
    const std::string nowhere = (dir / "missing" / "a.png").string();
    EXPECT_FALSE(b2::write_rgba_png(nowhere, image, error));
    EXPECT_NE(error.find(nowhere), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(dir / "missing"));

    // A folder in the way of the finished file.
    const fs::path folder = dir / "folder.png";
    fs::create_directories(folder);
    EXPECT_FALSE(b2::write_rgba_png(folder.string(), image, error));
    EXPECT_FALSE(fs::exists(folder.string() + ".partial"));
    EXPECT_TRUE(fs::is_directory(folder));

    // Pixels that do not fill the size are not written.
    image.pixels.resize(12);
    const std::string short_path = (dir / "short.png").string();
    EXPECT_FALSE(b2::write_rgba_png(short_path, image, error));
    EXPECT_FALSE(fs::exists(short_path));
    EXPECT_FALSE(fs::exists(short_path + ".partial"));

    b2::rgba_image back;
    EXPECT_FALSE(b2::read_rgba_png((dir / "none.png").string(), back, error));
    EXPECT_NE(error.find("none.png"), std::string::npos) << error;
    const fs::path text = dir / "text.png";
    std::ofstream(text) << "not a picture";
    EXPECT_FALSE(b2::read_rgba_png(text.string(), back, error));
    EXPECT_NE(error.find("not a PNG"), std::string::npos) << error;
    EXPECT_TRUE(back.pixels.empty());
    // A PNG cut short in its pixel data.
    ASSERT_TRUE(b2::write_rgba_png((dir / "whole.png").string(), b2::rgba_image{64, 64, std::vector<uint8_t>(64 * 64 * 4, 7)}, error));
    std::ifstream in(dir / "whole.png", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(dir / "cut.png", std::ios::binary) << bytes.substr(0, bytes.size() - 20);
    EXPECT_FALSE(b2::read_rgba_png((dir / "cut.png").string(), back, error));
    EXPECT_TRUE(back.pixels.empty());
}

}  // namespace
