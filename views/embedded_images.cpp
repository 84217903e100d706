#include "views/embedded_images.h"

#include <spng.h>

#include "resources/resource_table.h"
#include "views/pixel_order.h"

namespace b2 {
namespace {

constexpr image_entry kImages[] = {
    {IMAGE_PRODUCT_LOGO, "logo", 2},
    {IMAGE_GEAR, "gear", 2},
    {IMAGE_BACK, "back", 2},
    {IMAGE_VENDOR_LOGO, "vendor", 2},
};

// Larger than any picture of the editor; a header beyond it is broken.
constexpr uint32_t kMaxSide = 4096;

struct spng_context {
    spng_ctx* ctx = spng_ctx_new(0);
    ~spng_context() {
        if (ctx) spng_ctx_free(ctx);
    }
};

// The locked pixels of a bitmap; releasing the access commits them.
struct pixel_lock {
    VSTGUI::SharedPointer<VSTGUI::CBitmapPixelAccess> access;
    uint8_t* address = nullptr;
    uint32_t bytes_per_row = 0;
    pixel_format format = pixel_format::kRGBA;

    // Locks the pixels of a bitmap of exactly width x height pixels.
    bool lock(VSTGUI::CBitmap* bitmap, uint32_t width, uint32_t height) {
        access = VSTGUI::owned(VSTGUI::CBitmapPixelAccess::create(bitmap, false));
        if (!access || access->getBitmapWidth() != width || access->getBitmapHeight() != height) return false;
        VSTGUI::IPlatformBitmapPixelAccess* platform = access->getPlatformBitmapPixelAccess();
        if (!platform) return false;
        address = platform->getAddress();
        bytes_per_row = platform->getBytesPerRow();
        format = platform->getPixelFormat();
        return address && bytes_per_row >= width * 4;
    }
};

}  // namespace

const image_entry* image_table() { return kImages; }
int image_count() { return static_cast<int>(sizeof kImages / sizeof kImages[0]); }

bool decode_png(const uint8_t* data, size_t size, uint8_t scale, image_slot& out) {
    out = image_slot{};
    if (!data || size == 0 || scale == 0) return false;

    spng_context png;
    spng_ihdr header{};
    size_t decoded_size = 0;
    if (!png.ctx || spng_set_image_limits(png.ctx, kMaxSide, kMaxSide) != 0 ||
        spng_set_png_buffer(png.ctx, data, size) != 0 || spng_get_ihdr(png.ctx, &header) != 0 ||
        spng_decoded_image_size(png.ctx, SPNG_FMT_RGBA8, &decoded_size) != 0)
        return false;
    if (header.width == 0 || header.height == 0 || decoded_size != size_t(header.width) * header.height * 4)
        return false;

    // The bitmap has the logical size and the picture's scale factor, so its
    // pixels are exactly those of the picture.
    const double inverse = 1.0 / scale;
    auto bitmap = VSTGUI::makeOwned<VSTGUI::CBitmap>(
        VSTGUI::CPoint(header.width * inverse, header.height * inverse), scale);
    {
        pixel_lock pixels;
        if (!pixels.lock(bitmap, header.width, header.height)) return false;
        // Decoded straight into the bitmap as packed RGBA rows, then put into
        // the platform's byte order and row stride in place.
        if (spng_decode_image(png.ctx, pixels.address, decoded_size, SPNG_FMT_RGBA8, 0) != 0) return false;
        convert_rgba_in_place(pixels.address, header.width, header.height, pixels.bytes_per_row, pixels.format);
    }
    out.bitmap = bitmap;
    out.width = header.width;
    out.height = header.height;
    out.scale = scale;
    return true;
}

void decode_images(image_slots& slots) {
    for (int i = 0; i < image_count(); ++i) {
        const image_entry& image = kImages[i];
        image_slot& slot = slots[static_cast<size_t>(image.slot)];
        slot = image_slot{};
        const resource_entry* file = find_resource(image.resource);
        if (!file || file->scrambled) continue;
        decode_png(file->data, file->size, image.scale, slot);
    }
}

}  // namespace b2
