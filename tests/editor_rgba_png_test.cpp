// RGBA pictures as PNG files: exact round trip, failures that name the file
// and leave nothing behind, and a temporary file that never goes through a
// link or over another writer's.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "editor/rgba_png.h"

namespace {

namespace fs = std::filesystem;

class RgbaPngTest : public ::testing::Test {
protected:
    // A folder per test: ctest runs them side by side.
    fs::path dir = fs::path(RISER_TEST_OUTPUT_DIR) / "rgba-png" /
                   ::testing::UnitTest::GetInstance()->current_test_info()->name();
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    // What the folder holds, sorted: no temporary file may stay behind.
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& entry : fs::directory_iterator(dir)) out.push_back(entry.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
};

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

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
    EXPECT_EQ(names(), std::vector<std::string>{"a.png"});
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
    EXPECT_NE(error.find(folder.string()), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(names(), std::vector<std::string>{"folder.png"});

    // Pixels that do not fill the size are not written.
    image.pixels.resize(12);
    const std::string short_path = (dir / "short.png").string();
    EXPECT_FALSE(b2::write_rgba_png(short_path, image, error));
    EXPECT_EQ(names(), std::vector<std::string>{"folder.png"});

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

// A link of the user's where the temporary file used to go (FILE.partial)
// is not followed, and a link at the picture's name is replaced by the
// picture, not written through: the files they point to stay as they are.
TEST_F(RgbaPngTest, LinksAreNeverWrittenThrough) {
    const b2::rgba_image image{4, 4, std::vector<uint8_t>(64, 99)};
    const fs::path victim = dir / "victim.txt", theirs = dir / "theirs.png";
    std::ofstream(victim) << "the user's own words";
    std::ofstream(theirs) << "the user's picture";
    fs::create_symlink(victim, dir / "a.png.partial");
    fs::create_symlink(theirs, dir / "b.png");
    std::string error;
    ASSERT_TRUE(b2::write_rgba_png((dir / "a.png").string(), image, error)) << error;
    ASSERT_TRUE(b2::write_rgba_png((dir / "b.png").string(), image, error)) << error;
    EXPECT_EQ(read_all(victim), "the user's own words");
    EXPECT_EQ(read_all(theirs), "the user's picture");
    EXPECT_TRUE(fs::is_symlink(dir / "a.png.partial"));
    EXPECT_FALSE(fs::is_symlink(dir / "b.png"));
    b2::rgba_image back;
    EXPECT_TRUE(b2::read_rgba_png((dir / "b.png").string(), back, error)) << error;
    EXPECT_EQ(names(), (std::vector<std::string>{"a.png", "a.png.partial", "b.png", "theirs.png", "victim.txt"}));
}

// Writers of one picture at the same time (two runs of a tool) each write a
// temporary file of their own: every write succeeds, the picture is whole.
TEST_F(RgbaPngTest, WritersAtOnceEachHaveTheirOwnTemporaryFile) {
    const std::string path = (dir / "shared.png").string();
    const b2::rgba_image image{64, 64, std::vector<uint8_t>(64 * 64 * 4, 42)};
    int failures[2] = {0, 0};
    auto writer = [&](int w) {
        std::string error;
        for (int i = 0; i < 100; ++i) failures[w] += b2::write_rgba_png(path, image, error) ? 0 : 1;
    };
    std::thread a(writer, 0), b(writer, 1);
    a.join();
    b.join();
    EXPECT_EQ(failures[0] + failures[1], 0);
    b2::rgba_image back;
    std::string error;
    ASSERT_TRUE(b2::read_rgba_png(path, back, error)) << error;
    EXPECT_EQ(back.pixels, image.pixels);
    EXPECT_EQ(names(), std::vector<std::string>{"shared.png"});
}

}  // namespace
