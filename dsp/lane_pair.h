// Two channels side by side in the two low lanes of an SSE register. Each
// lane does exactly the single-precision arithmetic of the scalar code, so a
// channel's results are the same whether it runs alone or paired.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#define RISER_LANE_PAIRS 1

namespace b2 {

inline __m128 lanes(float left, float right) { return _mm_setr_ps(left, right, 0.0f, 0.0f); }
inline __m128 load_lanes(const float* left, const float* right) {
    return _mm_unpacklo_ps(_mm_load_ss(left), _mm_load_ss(right));
}
inline float lane0(__m128 v) { return _mm_cvtss_f32(v); }
inline float lane1(__m128 v) { return _mm_cvtss_f32(_mm_shuffle_ps(v, v, 1)); }
inline void store_lanes(float* left, float* right, __m128 v) {
    _mm_store_ss(left, v);
    _mm_store_ss(right, _mm_shuffle_ps(v, v, 1));
}

}  // namespace b2
#endif
