// Heap blocks with a {magic, size} header in front of the holder's pointer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "dsp/tagged_buffer.h"

namespace {

uint32_t header_word(const void* data, int index) {
    uint32_t w;
    std::memcpy(&w, static_cast<const uint8_t*>(data) - 8 + 4 * index, sizeof w);
    return w;
}

bool all_zero(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i)
        if (p[i] != 0) return false;
    return true;
}

TEST(TaggedBuffer, AllocatesZeroedBlockBehindHeader) {
    float* ring = nullptr;
    b2::tagged_buffer_resize(&ring, 36000);
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(header_word(ring, 0), b2::kTaggedBufferMagic);
    EXPECT_EQ(header_word(ring, 1), 36000u);
    EXPECT_TRUE(all_zero(ring, 36000));
    ring[8999] = 1.0f;  // the whole size is usable

    // Resizing frees the old block and hands out a fresh zeroed one.
    std::memset(ring, 0x5a, 36000);
    b2::tagged_buffer_resize(&ring, 72000);
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(header_word(ring, 1), 72000u);
    EXPECT_TRUE(all_zero(ring, 72000));

    b2::tagged_buffer_resize(&ring, 0);
    EXPECT_EQ(ring, nullptr);
    // Freeing an empty holder is harmless.
    b2::tagged_buffer_resize(&ring, 0);
    EXPECT_EQ(ring, nullptr);
}

TEST(TaggedBuffer, ForeignBlockIsNeitherFreedNorReplaced) {
    uint32_t storage[6] = {0x12345678u, 16u, 7u, 7u, 7u, 7u};
    const uint32_t before[6] = {0x12345678u, 16u, 7u, 7u, 7u, 7u};
    void* holder = &storage[2];
    b2::tagged_buffer_resize(&holder, 64);
    EXPECT_EQ(holder, &storage[2]);
    b2::tagged_buffer_resize(&holder, 0);
    EXPECT_EQ(holder, &storage[2]);
    EXPECT_EQ(std::memcmp(storage, before, sizeof storage), 0);
}

}  // namespace
