// The editor's pictures: PNG files embedded in the resource table, decoded
// into VSTGUI bitmaps when the editor builds its frame.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "vstgui/lib/cbitmap.h"

namespace b2 {

// Image slots, the numbers that layout elements carry in their style field.
enum : int {
    IMAGE_PRODUCT_LOGO = 0,  // "Riser", 151 x 45 pixels
    IMAGE_GEAR = 1,          // settings button, two 34 x 34 frames
    IMAGE_BACK = 2,          // back button, two 28 x 26 frames
    IMAGE_VENDOR_LOGO = 4,   // 256 x 244 pixels
    IMAGE_SLOT_COUNT = 7,
};

// One embedded picture: its slot, its name in the resource table and the
// scale it is drawn for (logical size = pixel size / scale).
struct image_entry {
    int slot;
    const char* resource;
    uint8_t scale;
};

const image_entry* image_table();
int image_count();

// A decoded picture. An empty slot (bitmap null, sizes 0) draws nothing;
// its scale stays 1 so that sizes computed from it come to 0.
struct image_slot {
    VSTGUI::SharedPointer<VSTGUI::CBitmap> bitmap;
    uint32_t width = 0;  // pixels, from the PNG header
    uint32_t height = 0;
    uint8_t scale = 1;   // logical size = pixel size / scale
};
using image_slots = std::array<image_slot, IMAGE_SLOT_COUNT>;

// Decodes one PNG into `out`. On any failure `out` is left empty and false
// is returned; nothing is written outside the bitmap's pixels.
bool decode_png(const uint8_t* data, size_t size, uint8_t scale, image_slot& out);

// Decodes every picture of the image table into its slot; slots of pictures
// that are missing or fail to decode stay empty.
void decode_images(image_slots& slots);

}  // namespace b2
