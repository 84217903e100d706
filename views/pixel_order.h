// Conversion of decoded RGBA pixels to a bitmap's native layout.
#pragma once

#include <cstdint>

#include "vstgui/lib/platform/iplatformbitmap.h"

namespace b2 {

using pixel_format = VSTGUI::IPlatformBitmapPixelAccess::PixelFormat;

// `pixels` holds width x height pixels as packed rows of R, G, B, A bytes
// (width * 4 bytes each) at the start of a buffer of height rows of
// `bytes_per_row` bytes. Reorders every pixel into `format` and spreads the
// rows to the row stride, in place. bytes_per_row must be >= width * 4.
void convert_rgba_in_place(uint8_t* pixels, uint32_t width, uint32_t height, uint32_t bytes_per_row,
                           pixel_format format);

}  // namespace b2
