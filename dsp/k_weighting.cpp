// BS.1770 K-weighting for the meter: a high-pass near 38 Hz, then a +4 dB
// high shelf near 1682 Hz, scaled to 0 dB at 997 Hz. The constants and the
// order of every sum are fixed so that results are bit-exact across builds.
#include <cmath>
#include <cstring>

#include "dsp/channel_strip.h"
#include "dsp/k_weighting.h"
#include "dsp/lane_pair.h"

namespace b2 {

namespace {

constexpr double kPi = 3.14159265358979323846;

// The analogue prototypes of BS.1770's two sections. The shelf's gain Vh
// (+4 dB) and its Vb/Q are derived once from the published centre, gain and Q.
constexpr double kShelfQInverse = 1.414076664088621;
constexpr double kShelfVh = 1.5848647011308556;
constexpr double kShelfVbOverQ = 1.7799278940417869;
constexpr double kHighpassHz = 38.13547087602444;
constexpr double kHighpassQInverse = 1.9986927057725021;

// The coefficients are designed in double precision and each is rounded to
// float once.
void compute_shelf(Biquad& s, double fs) {
    const double K = std::tan(kPi * kShelfCentreHz / fs);
    const double KQ = K * kShelfQInverse, K2 = K * K, VbK = K * kShelfVbOverQ;
    const double a0 = 1.0 + KQ + K2;
    s.b0 = static_cast<float>((kShelfVh + VbK + K2) / a0);
    s.b1 = static_cast<float>(2.0 * (K2 - kShelfVh) / a0);
    s.b2 = static_cast<float>((kShelfVh - VbK + K2) / a0);
    s.a1 = static_cast<float>(2.0 * (K2 - 1.0) / a0);
    s.a2 = static_cast<float>((1.0 - KQ + K2) / a0);
}

// The high-pass's numerator (1, -2, 1) is not scaled, as in BS.1770's
// published coefficients. Its denominator is held as d1 = 2 + a1 and
// d0 = 1 + a1 + a2, each derived without cancellation: at 768 kHz d0 is about
// 1e-7 while a1 and a2, rounded to float, would each be off by up to 6e-8,
// which moved the corner (20 Hz read 1.3 dB high). Rounded directly, d1 and d0
// keep 7 significant digits at every rate, and the filter stays stable with a
// wide margin (0 < d0 < d1 < 2).
void compute_highpass(DeltaHighpass& s, double fs) {
    const double K = std::tan(kPi * kHighpassHz / fs);
    const double KQ = K * kHighpassQInverse, K2 = K * K;
    const double a0 = 1.0 + KQ + K2;
    s.d1 = static_cast<float>(2.0 * (KQ + 2.0 * K2) / a0);
    s.d0 = static_cast<float>(4.0 * K2 / a0);
}

bool finite_pair(const float* v) {
    return std::isfinite(v[kBlock]) && std::isfinite(v[kBlock + 1]);
}

// Carries the last two samples of each history into the next block. A state
// that went non-finite (NaN or Inf on the input) would stay so for good through
// the recursion; it restarts from silence instead so the meter recovers.
void carry_history(KWeighting& m) {
    if (!(std::isfinite(m.hpSum) && std::isfinite(m.hpSumOfSums) && finite_pair(m.h) && finite_pair(m.y))) {
        m.hpSum = m.hpSumOfSums = 0.0f;
        std::memset(m.h, 0, sizeof m.h);
        std::memset(m.y, 0, sizeof m.y);
        return;
    }
    float* const histories[2] = {m.h, m.y};
    for (float* v : histories) {
        v[0] = v[kBlock];
        v[1] = v[kBlock + 1];
    }
}

}  // namespace

void compute_k_weighting(KWeighting& m, float fs) {
    m.available = k_weighting_available(fs);
    if (!m.available) {
        // No meaningful weighting at this rate: the cells pass unweighted.
        m.shelf = Biquad{};
        m.highpass = DeltaHighpass{};
        return;
    }
    compute_shelf(m.shelf, fs);
    compute_highpass(m.highpass, fs);
}

namespace {

// The filter's recursion state for a piece, held in registers: s1 and s2 are
// the high-pass's sums; h1 is its output one sample back, h2 two samples
// back, and likewise y for the shelf. The history arrays keep h and y between
// pieces at the positions a whole-cell loop would have written.
struct KState {
    float s1, s2, h1, h2, y1, y2;
};

KState load_state(const KWeighting& m, int from) {
    return {m.hpSum, m.hpSumOfSums, m.h[from + 1], m.h[from], m.y[from + 1], m.y[from]};
}

void store_state(KWeighting& m, const KState& s, int to) {
    m.hpSum = s.s1;
    m.hpSumOfSums = s.s2;
    m.h[to + 1] = s.h1;
    m.h[to] = s.h2;
    m.y[to + 1] = s.y1;
    m.y[to] = s.y2;
}

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
    return y * 0.92352784f;  // 10^(-0.691/20): 0 dB at 997 Hz
}

// Coefficients follow the rate; the switch is read once per cell, so a cell
// is filtered entirely or not at all. Returns whether the cell is filtered:
// "K Filter" on at the cell's start and a rate the weighting can be built for.
bool prepare(KWeighting& m, int from) {
    // Recomputed on a rate change even while bypassed, so switching on later
    // filters with the right coefficients.
    if (m.rateSlot->is_changed()) compute_k_weighting(m, m.rateSlot->get());
    if (from == 0) m.active = m.enableSlot->get() != 0.0f;
    return m.active && m.available;
}

void copy_through(KWeighting& m, int from, int to) {
    // Bypass keeps the histories, so switching on resumes where it stopped.
    copy_samples(m.output + from, m.source + from, from, to);
}

void filter_piece(KWeighting& m, int from, int to) {
    const DeltaHighpass hp = m.highpass;
    const Biquad sh = m.shelf;
    KState s = load_state(m, from);
    for (int i = from; i < to; ++i) m.output[i] = k_step(hp, sh, s, m.source[i]);
    store_state(m, s, to);
    if (to == kBlock) carry_history(m);
}

}  // namespace

void run_k_weighting(KWeighting& m, int from, int to) {
    prepare(m, from) ? filter_piece(m, from, to) : copy_through(m, from, to);
}

#if RISER_LANE_PAIRS
namespace {

// Both channels at once, the left in lane 0 and the right in lane 1 of each
// register: every lane performs exactly k_step's operations in k_step's order,
// so each channel's results are the ones it would get alone, at half the
// instructions and with the two recursions overlapping.
void filter_pair(KWeighting& a, KWeighting& b, int from, int to) {
    const __m128 hd1 = lanes(a.highpass.d1, b.highpass.d1), hd0 = lanes(a.highpass.d0, b.highpass.d0);
    const __m128 sb0 = lanes(a.shelf.b0, b.shelf.b0), sb1 = lanes(a.shelf.b1, b.shelf.b1);
    const __m128 sb2 = lanes(a.shelf.b2, b.shelf.b2), sa1 = lanes(a.shelf.a1, b.shelf.a1);
    const __m128 sa2 = lanes(a.shelf.a2, b.shelf.a2);
    const __m128 scale = _mm_set1_ps(0.92352784f);
    const KState la = load_state(a, from), lb = load_state(b, from);
    __m128 s1 = lanes(la.s1, lb.s1), s2 = lanes(la.s2, lb.s2), h1 = lanes(la.h1, lb.h1);
    __m128 h2 = lanes(la.h2, lb.h2), y1 = lanes(la.y1, lb.y1), y2 = lanes(la.y2, lb.y2);
    for (int i = from; i < to; ++i) {
        const __m128 x = load_lanes(a.source + i, b.source + i);
        const __m128 h = _mm_sub_ps(_mm_sub_ps(x, _mm_mul_ps(hd0, s2)), _mm_mul_ps(hd1, s1));
        s2 = _mm_add_ps(s2, s1);
        s1 = _mm_add_ps(s1, h);
        const __m128 y = _mm_sub_ps(
            _mm_sub_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(sb1, h1), _mm_mul_ps(sb0, h)), _mm_mul_ps(sb2, h2)),
                       _mm_mul_ps(sa1, y1)),
            _mm_mul_ps(sa2, y2));
        h2 = h1, h1 = h, y2 = y1, y1 = y;
        store_lanes(a.output + i, b.output + i, _mm_mul_ps(y, scale));
    }
    store_state(a, {lane0(s1), lane0(s2), lane0(h1), lane0(h2), lane0(y1), lane0(y2)}, to);
    store_state(b, {lane1(s1), lane1(s2), lane1(h1), lane1(h2), lane1(y1), lane1(y2)}, to);
    if (to == kBlock) {
        carry_history(a);
        carry_history(b);
    }
}

}  // namespace
#endif

void run_k_weighting_pair(KWeighting& a, KWeighting& b, int from, int to) {
    const bool on_a = prepare(a, from), on_b = prepare(b, from);
#if RISER_LANE_PAIRS
    if (on_a && on_b) return filter_pair(a, b, from, to);
#endif
    on_a ? filter_piece(a, from, to) : copy_through(a, from, to);
    on_b ? filter_piece(b, from, to) : copy_through(b, from, to);
}

}  // namespace b2
