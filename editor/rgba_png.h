// RGBA pictures as PNG files (8 bits per channel, not premultiplied): read
// and written with libspng, the same on every platform.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace b2 {

struct rgba_image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // rows of RGBA bytes, top row first
};

// Writes `image` to `path` whole or not at all (see whole_file.h): a failure
// leaves no file. On failure returns false with `error` set.
bool write_rgba_png(const std::string& path, const rgba_image& image, std::string& error);
// Reads any PNG as RGBA; on failure returns false with `error` set.
bool read_rgba_png(const std::string& path, rgba_image& image, std::string& error);

}  // namespace b2
