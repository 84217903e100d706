// One sample of the BS.1770 K-weighting, shared by the meter's KWeighting
// module and the loudness meter: the same operations in the same order, so a
// channel weighted by either gives the same samples.
#pragma once

#include "dsp/channel_strip.h"
#include "dsp/lane_pair.h"

namespace b2 {

constexpr float kKWeightingScale = 0.92352784f;  // 10^(-0.691/20): 0 dB at 997 Hz

// The filter's recursion state, held in registers while a piece runs: s1 and
// s2 are the high-pass's sums; h1 is its output one sample back, h2 two
// samples back, and likewise y for the shelf.
struct KState {
    float s1 = 0, s2 = 0, h1 = 0, h2 = 0, y1 = 0, y2 = 0;
};

// One sample through the high-pass and the shelf, with every sum in its fixed
// order; returns the weighted sample.
// The high-pass in its form around z = 1: h = x - d1 s1 - d0 s2, where s1 sums
// h and s2 sums s1 (up to the previous sample). The input enters undifferenced
// and the small coefficients multiply the sums, so float rounding neither
// moves the corner nor is amplified by the poles' closeness to z = 1.
inline float k_step(const DeltaHighpass& hp, const Biquad& sh, KState& s, float x) {
    const float h = (x - hp.d0 * s.s2) - hp.d1 * s.s1;
    s.s2 = s.s2 + s.s1;
    s.s1 = s.s1 + h;
    const float y = ((sh.b1 * s.h1 + sh.b0 * h) + sh.b2 * s.h2) - sh.a1 * s.y1 - sh.a2 * s.y2;
    s.h2 = s.h1;
    s.h1 = h;
    s.y2 = s.y1;
    s.y1 = y;
    return y * kKWeightingScale;
}

#if RISER_LANE_PAIRS
// Two channels at once, the left in lane 0 and the right in lane 1: every
// lane performs exactly k_step's operations in k_step's order, so each
// channel's results are the ones it would get alone.
struct KLaneCoefficients {
    __m128 hd1, hd0, sb0, sb1, sb2, sa1, sa2, scale;
};
struct KLaneState {
    __m128 s1, s2, h1, h2, y1, y2;
};

inline KLaneCoefficients k_lane_coefficients(const DeltaHighpass& ha, const Biquad& sa, const DeltaHighpass& hb,
                                             const Biquad& sb) {
    return {lanes(ha.d1, hb.d1), lanes(ha.d0, hb.d0), lanes(sa.b0, sb.b0), lanes(sa.b1, sb.b1),
            lanes(sa.b2, sb.b2), lanes(sa.a1, sb.a1), lanes(sa.a2, sb.a2), _mm_set1_ps(kKWeightingScale)};
}

inline KLaneState k_lane_state(const KState& a, const KState& b) {
    return {lanes(a.s1, b.s1), lanes(a.s2, b.s2), lanes(a.h1, b.h1),
            lanes(a.h2, b.h2), lanes(a.y1, b.y1), lanes(a.y2, b.y2)};
}

inline KState k_lane0(const KLaneState& s) {
    return {lane0(s.s1), lane0(s.s2), lane0(s.h1), lane0(s.h2), lane0(s.y1), lane0(s.y2)};
}
inline KState k_lane1(const KLaneState& s) {
    return {lane1(s.s1), lane1(s.s2), lane1(s.h1), lane1(s.h2), lane1(s.y1), lane1(s.y2)};
}

inline __m128 k_step_lanes(const KLaneCoefficients& c, KLaneState& s, __m128 x) {
    const __m128 h = _mm_sub_ps(_mm_sub_ps(x, _mm_mul_ps(c.hd0, s.s2)), _mm_mul_ps(c.hd1, s.s1));
    s.s2 = _mm_add_ps(s.s2, s.s1);
    s.s1 = _mm_add_ps(s.s1, h);
    const __m128 y = _mm_sub_ps(
        _mm_sub_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(c.sb1, s.h1), _mm_mul_ps(c.sb0, h)), _mm_mul_ps(c.sb2, s.h2)),
                   _mm_mul_ps(c.sa1, s.y1)),
        _mm_mul_ps(c.sa2, s.y2));
    s.h2 = s.h1, s.h1 = h, s.y2 = s.y1, s.y1 = y;
    return _mm_mul_ps(y, c.scale);
}
#endif

}  // namespace b2
