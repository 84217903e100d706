#include "engine/rng.h"

#include <atomic>

namespace b2 {

namespace {

inline uint32_t rotl(uint32_t x, int k) { return (x << k) | (x >> (32 - k)); }

uint64_t splitmix_step(uint64_t& z) {
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z = z ^ (z >> 31);
    return z;
}

std::atomic<uint32_t> g_words[4];

}  // namespace

void rng_seed(rng_state& r, uint64_t seed) {
    uint64_t z = seed;
    for (uint32_t& word : r.s) word = static_cast<uint32_t>(splitmix_step(z));
}

uint32_t rng_next(rng_state& r) {
    uint32_t* s = r.s;
    const uint32_t result = rotl(s[1] * 5, 7) * 9;
    const uint32_t t = s[1] << 9;
    s[2] ^= s[0];
    s[3] ^= s[1];
    s[1] ^= s[2];
    s[0] ^= s[3];
    s[2] ^= t;
    s[3] = rotl(s[3], 11);
    return result;
}

void rng_jump(rng_state& r) {
    static const uint32_t kJump[4] = {0x8764000b, 0xf542d2d3, 0x6fa035c3, 0x77f2db5b};
    uint32_t acc[4] = {0, 0, 0, 0};
    for (uint32_t mask : kJump)
        for (int b = 0; b < 32; ++b) {
            if (mask & (1u << b))
                for (int i = 0; i < 4; ++i) acc[i] ^= r.s[i];
            rng_next(r);
        }
    for (int i = 0; i < 4; ++i) r.s[i] = acc[i];
}

void global_rng_seed(uint64_t seed) {
    rng_state r;
    rng_seed(r, seed);
    for (int i = 0; i < 4; ++i) g_words[i].store(r.s[i], std::memory_order_relaxed);
}

uint32_t global_rng_next() {
    rng_state r;
    for (int i = 0; i < 4; ++i) r.s[i] = g_words[i].load(std::memory_order_relaxed);
    const uint32_t out = rng_next(r);
    for (int i = 0; i < 4; ++i) g_words[i].store(r.s[i], std::memory_order_relaxed);
    return out;
}

}  // namespace b2
