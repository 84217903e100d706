#include "views/pixel_order.h"

#include <cstddef>
#include <cstring>
#include <utility>

namespace b2 {
namespace {

void reorder(uint8_t* p, size_t count, pixel_format format) {
    using Access = VSTGUI::IPlatformBitmapPixelAccess;
    for (size_t i = 0; i < count; ++i, p += 4) {
        const uint8_t r = p[0], g = p[1], b = p[2], a = p[3];
        switch (format) {
            case Access::kARGB:
                p[0] = a, p[1] = r, p[2] = g, p[3] = b;
                break;
            case Access::kABGR:
                p[0] = a, p[1] = b, p[2] = g, p[3] = r;
                break;
            case Access::kBGRA:
                std::swap(p[0], p[2]);
                break;
            case Access::kRGBA:
            default:
                return;  // already in order
        }
    }
}

}  // namespace

void convert_rgba_in_place(uint8_t* pixels, uint32_t width, uint32_t height, uint32_t bytes_per_row,
                           pixel_format format) {
    const size_t packed = size_t(width) * 4;
    if (!pixels || bytes_per_row < packed) return;
    reorder(pixels, size_t(width) * height, format);
    if (bytes_per_row == packed) return;
    // Move the packed rows out to the stride, last row first: every row moves
    // to a place at or after its own, so nothing is overwritten before it has
    // moved (row 0 stays where it is).
    for (uint32_t row = height; row-- > 1;)
        std::memmove(pixels + size_t(row) * bytes_per_row, pixels + size_t(row) * packed, packed);
}

}  // namespace b2
