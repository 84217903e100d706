// BS.1770 K-weighting for the meter: a high-pass near 38 Hz, then a +4 dB
// high shelf near 1682 Hz, scaled to 0 dB at 997 Hz. The constants and the
// order of every sum are fixed so that results are bit-exact across builds.
#include <cmath>
#include <cstring>

#include "dsp/channel_strip.h"
#include "dsp/k_weighting.h"
#include "dsp/k_weighting_step.h"
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

// The history arrays keep h and y between pieces at the positions a
// whole-cell loop would have written.
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

// Both channels at once through k_step_lanes: each channel's results are
// the ones it would get alone, at half the instructions and with the two
// recursions overlapping.
void filter_pair(KWeighting& a, KWeighting& b, int from, int to) {
    const KLaneCoefficients c = k_lane_coefficients(a.highpass, a.shelf, b.highpass, b.shelf);
    KLaneState s = k_lane_state(load_state(a, from), load_state(b, from));
    for (int i = from; i < to; ++i)
        store_lanes(a.output + i, b.output + i, k_step_lanes(c, s, load_lanes(a.source + i, b.source + i)));
    store_state(a, k_lane0(s), to);
    store_state(b, k_lane1(s), to);
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
