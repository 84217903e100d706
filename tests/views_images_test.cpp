// Embedded pictures: decoding into bitmaps, the platform's byte order,
// the pictures' properties, and broken data.
#include <algorithm>
#include <array>
#include <endian.h>

#include "resources/resource_table.h"
#include "views/embedded_images.h"
#include "views/pixel_order.h"
#include "views_support.h"

namespace {
using namespace VSTGUI;
using Access = IPlatformBitmapPixelAccess;

// The bytes a colour has in memory in a pixel format.
std::array<uint8_t, 4> nativeBytes(Access::PixelFormat format, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    switch (format) {
        case Access::kARGB: return {a, r, g, b};
        case Access::kRGBA: return {r, g, b, a};
        case Access::kABGR: return {a, b, g, r};
        case Access::kBGRA: return {b, g, r, a};
    }
    return {};
}

// Every pixel of a bitmap as it lies in memory.
struct RawPixels {
    Access::PixelFormat format = Access::kRGBA;
    uint32_t width = 0, height = 0;
    std::vector<std::array<uint8_t, 4>> pixels;

    explicit RawPixels(CBitmap* bitmap) {
        auto access = owned(CBitmapPixelAccess::create(bitmap, false));
        if (!access) return;
        auto* platform = access->getPlatformBitmapPixelAccess();
        format = platform->getPixelFormat();
        width = access->getBitmapWidth();
        height = access->getBitmapHeight();
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t* p = platform->getAddress() + y * platform->getBytesPerRow() + x * 4;
                pixels.push_back({p[0], p[1], p[2], p[3]});
            }
    }
    int alphaIndex() const { return format == Access::kARGB || format == Access::kABGR ? 0 : 3; }
    bool contains(const std::array<uint8_t, 4>& bytes) const {
        return std::find(pixels.begin(), pixels.end(), bytes) != pixels.end();
    }
};

// Lightest grey of a frame (rows y0 .. y1 - 1) of a grey picture.
int lightestGrey(CBitmap* bitmap, uint32_t y0, uint32_t y1) {
    auto access = owned(CBitmapPixelAccess::create(bitmap, false));
    int best = 0;
    for (uint32_t y = y0; y < y1; ++y)
        for (uint32_t x = 0; x < access->getBitmapWidth(); ++x) {
            CColor c;
            access->setPosition(x, y);
            access->getColor(c);
            EXPECT_TRUE(c.red == c.green && c.green == c.blue) << x << ", " << y;
            best = std::max(best, int(c.red));
        }
    return best;
}

struct ImagesTest : ::testing::Test {
    b2::image_slots slots;
    void SetUp() override { b2::decode_images(slots); }
};

TEST_F(ImagesTest, EverySlotOfTheTableIsFilled) {
    struct Expected { int slot; uint32_t w, h; CCoord lw, lh; };
    for (auto e : {Expected{b2::IMAGE_PRODUCT_LOGO, 151, 45, 75.5, 22.5}, Expected{b2::IMAGE_GEAR, 34, 68, 17, 34},
                   Expected{b2::IMAGE_BACK, 28, 52, 14, 26}, Expected{b2::IMAGE_VENDOR_LOGO, 256, 244, 128, 122}}) {
        const b2::image_slot& s = slots[e.slot];
        ASSERT_TRUE(s.bitmap) << e.slot;
        EXPECT_EQ(s.width, e.w);
        EXPECT_EQ(s.height, e.h);
        EXPECT_EQ(s.scale, 2);
        EXPECT_DOUBLE_EQ(s.bitmap->getWidth(), e.lw);
        EXPECT_DOUBLE_EQ(s.bitmap->getHeight(), e.lh);
        EXPECT_EQ(s.bitmap->getPlatformBitmap()->getSize(), CPoint(e.w, e.h));
        // An image view sized from the slot: integer pixels over the scale.
        if (e.slot == b2::IMAGE_PRODUCT_LOGO) {
            EXPECT_EQ(CPoint(s.width / s.scale, s.height / s.scale), CPoint(75, 22));
        }
    }
    for (int unused : {3, 5, 6}) EXPECT_FALSE(slots[unused].bitmap) << unused;
}

TEST_F(ImagesTest, AllPicturesAreOpaque) {
    for (int slot : {0, 1, 2, 4}) {
        ASSERT_TRUE(slots[slot].bitmap);
        RawPixels raw(slots[slot].bitmap);
        ASSERT_EQ(raw.pixels.size(), size_t(slots[slot].width) * slots[slot].height);
        for (const auto& p : raw.pixels) ASSERT_EQ(p[raw.alphaIndex()], 255) << "slot " << slot;
    }
}

TEST_F(ImagesTest, LogoOrangeIsStoredInThePlatformsByteOrder) {
    ASSERT_TRUE(slots[b2::IMAGE_PRODUCT_LOGO].bitmap);
    RawPixels raw(slots[b2::IMAGE_PRODUCT_LOGO].bitmap);
#if defined(__linux__) && __BYTE_ORDER == __LITTLE_ENDIAN
    // cairo's ARGB32 words lie in memory as B, G, R, A here.
    ASSERT_EQ(raw.format, Access::kBGRA);
    EXPECT_TRUE(raw.contains({94, 162, 229, 255}));
#endif
    EXPECT_TRUE(raw.contains(nativeBytes(raw.format, 229, 162, 94, 255)));
    EXPECT_EQ(raw.pixels.front(), nativeBytes(raw.format, 50, 50, 50, 255));  // panel grey
}

TEST_F(ImagesTest, ButtonFramesAtRestAndPressed) {
    CBitmap* gear = slots[b2::IMAGE_GEAR].bitmap;
    CBitmap* back = slots[b2::IMAGE_BACK].bitmap;
    ASSERT_TRUE(gear && back);
    EXPECT_EQ(lightestGrey(gear, 0, 34), 154);
    EXPECT_EQ(lightestGrey(gear, 34, 68), 195);
    EXPECT_EQ(lightestGrey(back, 0, 26), 154);
    EXPECT_EQ(lightestGrey(back, 26, 52), 196);
}

TEST(EmbeddedFiles, PngKinds) {
    // IHDR: bit depth at byte 24, colour type at byte 25 (3 palette, 2 RGB).
    const std::pair<const char*, int> kinds[] = {{"logo", 3}, {"gear", 3}, {"back", 2}, {"vendor", 2}};
    for (auto [name, type] : kinds) {
        const b2::resource_entry* e = b2::find_resource(name);
        ASSERT_TRUE(e) << name;
        EXPECT_FALSE(e->scrambled);
        ASSERT_GT(e->size, 26u);
        EXPECT_EQ(e->data[24], 8) << name;
        EXPECT_EQ(e->data[25], type) << name;
    }
}

// CRC-32 of PNG chunks, to forge chunks that pass the checksum.
uint32_t crc32(const uint8_t* p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

std::vector<uint8_t> logoBytes() {
    const b2::resource_entry* e = b2::find_resource("logo");
    return e ? std::vector<uint8_t>(e->data, e->data + e->size) : std::vector<uint8_t>{};
}

// Offset of the first chunk of `type` (its length field).
size_t findChunk(const std::vector<uint8_t>& png, const char* type) {
    for (size_t i = 8; i + 8 <= png.size();) {
        uint32_t len = uint32_t(png[i]) << 24 | png[i + 1] << 16 | png[i + 2] << 8 | png[i + 3];
        if (std::equal(type, type + 4, png.begin() + i + 4)) return i;
        i += 12 + len;
    }
    return 0;
}

void fixCrc(std::vector<uint8_t>& png, size_t chunk) {
    uint32_t len = uint32_t(png[chunk]) << 24 | png[chunk + 1] << 16 | png[chunk + 2] << 8 | png[chunk + 3];
    uint32_t crc = crc32(&png[chunk + 4], len + 4);
    for (int k = 0; k < 4; ++k) png[chunk + 8 + len + k] = uint8_t(crc >> (24 - 8 * k));
}

TEST(DecodePng, BrokenDataLeavesTheSlotEmpty) {
    auto good = logoBytes();
    ASSERT_FALSE(good.empty());
    b2::image_slot slot;
    ASSERT_TRUE(b2::decode_png(good.data(), good.size(), 2, slot));
    ASSERT_TRUE(slot.bitmap);

    auto expectFails = [&](const std::vector<uint8_t>& png, const char* what) {
        b2::image_slot s;
        s.bitmap = slot.bitmap;  // a stale picture must not survive
        s.width = 1;
        EXPECT_FALSE(b2::decode_png(png.data(), png.size(), 2, s)) << what;
        EXPECT_FALSE(s.bitmap) << what;
        EXPECT_EQ(s.width, 0u) << what;
        EXPECT_EQ(s.scale, 1) << what;  // safe to divide by
    };

    expectFails(std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2), "truncated");
    expectFails(std::vector<uint8_t>(good.begin(), good.begin() + 20), "header cut");
    auto bad = good;
    bad[1] ^= 0xFF;
    expectFails(bad, "signature");

    // Damaged compressed data, with a checksum that matches the damage, so
    // that the failure shows only while decoding into the bitmap.
    bad = good;
    size_t idat = findChunk(bad, "IDAT");
    ASSERT_NE(idat, 0u);
    for (size_t i = idat + 8 + 2; i < idat + 8 + 40; ++i) bad[i] ^= 0x5A;
    fixCrc(bad, idat);
    expectFails(bad, "deflate stream");

    // A header claiming a huge picture, with a valid checksum.
    bad = good;
    size_t ihdr = findChunk(bad, "IHDR");
    bad[ihdr + 8] = 0x7F;  // width 0x7F000097
    fixCrc(bad, ihdr);
    expectFails(bad, "huge width");

    // A wrong checksum on the header.
    bad = good;
    bad[ihdr + 8 + 13] ^= 1;
    expectFails(bad, "header checksum");

    b2::image_slot s;
    EXPECT_FALSE(b2::decode_png(nullptr, 100, 2, s));
    EXPECT_FALSE(b2::decode_png(good.data(), 0, 2, s));
    EXPECT_FALSE(b2::decode_png(good.data(), good.size(), 0, s));
}

TEST(PixelOrder, EveryFormatAndRowStride) {
    // 2 x 2 pixels packed, in a buffer with 12-byte rows (4 bytes of padding).
    const uint8_t rgba[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    for (auto format : {Access::kARGB, Access::kRGBA, Access::kABGR, Access::kBGRA}) {
        std::array<uint8_t, 24> buffer{};
        std::copy(std::begin(rgba), std::end(rgba), buffer.begin());
        b2::convert_rgba_in_place(buffer.data(), 2, 2, 12, format);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x) {
                const uint8_t* src = rgba + (y * 2 + x) * 4;
                auto expected = nativeBytes(format, src[0], src[1], src[2], src[3]);
                const uint8_t* got = buffer.data() + y * 12 + x * 4;
                EXPECT_TRUE(std::equal(expected.begin(), expected.end(), got)) << format << " " << x << "," << y;
            }
    }
    // Packed rows stay as they are.
    std::array<uint8_t, 16> packed{};
    std::copy(std::begin(rgba), std::end(rgba), packed.begin());
    b2::convert_rgba_in_place(packed.data(), 2, 2, 8, Access::kRGBA);
    EXPECT_TRUE(std::equal(packed.begin(), packed.end(), rgba));
}

}  // namespace
