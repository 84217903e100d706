// The reversible byte scrambling of embedded text resources. The build packs
// the script with scramble_bytes; the engine restores it with unscramble_bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace b2 {

namespace scramble_detail {
// xorshift32 key stream, seeded from the length so equal prefixes differ.
inline uint32_t next_key(uint32_t& k) {
    k ^= k << 13;
    k ^= k >> 17;
    k ^= k << 5;
    return k;
}
inline uint32_t seed(size_t n) { return 0x52697365u ^ static_cast<uint32_t>(n * 2654435761u) ^ 1u; }
}  // namespace scramble_detail

inline void scramble_bytes(uint8_t* data, size_t n) {
    uint32_t k = scramble_detail::seed(n);
    for (size_t i = 0; i < n; ++i)
        data[i] = static_cast<uint8_t>((data[i] ^ scramble_detail::next_key(k)) + i * 7u);
}

inline void unscramble_bytes(uint8_t* data, size_t n) {
    uint32_t k = scramble_detail::seed(n);
    for (size_t i = 0; i < n; ++i)
        data[i] = static_cast<uint8_t>(static_cast<uint8_t>(data[i] - i * 7u) ^ scramble_detail::next_key(k));
}

}  // namespace b2
