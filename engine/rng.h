// xoshiro128** random numbers: the state type, seeding, stepping and jumping,
// and the one global generator that every instance shares.
#pragma once

#include <cstdint>

namespace b2 {

struct rng_state {
    uint32_t s[4];
};

// Fills the state from a 64-bit seed with four splitmix64 steps.
void rng_seed(rng_state& r, uint64_t seed);
// Returns the next output and advances the state.
uint32_t rng_next(rng_state& r);
// Advances the state by 2^64 steps.
void rng_jump(rng_state& r);

// The shared generator, reseeded by every new plug-in instance. Concurrent
// seeders may leave any mix of their seeds in it, but never tear a word.
void global_rng_seed(uint64_t seed);
uint32_t global_rng_next();

}  // namespace b2
