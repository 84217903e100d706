// A zero-filled heap block with an 8-byte header {magic, size}; the holder
// points at the first byte after the header.
#pragma once

#include <cstdint>

namespace b2 {

constexpr uint32_t kTaggedBufferMagic = 0x9bcd4981u;

// Frees the holder's block when its header carries the magic (a block with a
// foreign header is left alone and nothing else happens), then allocates
// `size` zeroed bytes when size > 0. On allocation failure the holder stays null.
void tagged_buffer_resize(void** holder, uint32_t size);

// Typed convenience for the float rings.
inline void tagged_buffer_resize(float** holder, uint32_t size) {
    tagged_buffer_resize(reinterpret_cast<void**>(holder), size);
}

}  // namespace b2
