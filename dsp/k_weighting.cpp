// BS.1770 K-weighting for the meter: a high-pass near 38 Hz, then a +4 dB
// high shelf near 1682 Hz, scaled to 0 dB at 997 Hz. The constants and the
// order of every sum are fixed so that results are bit-exact across builds.
#include <cmath>
#include <cstring>

#include "dsp/channel_strip.h"

namespace b2 {

namespace {

void compute_shelf(Biquad& s, float fs) {
    const float invFs = 1.0f / fs;
    // The product in double keeps the pre-warped frequency exact (pi * 1681.974 Hz).
    const float K = tanf(static_cast<float>(static_cast<double>(invFs) * 5284.078692841865));
    const float KQ = K * 1.4140767f;   // 1/Q
    const float K2 = K * K;
    const float VbK = K * 1.779928f;   // Vb/Q
    const float Vh = 1.5848647f;       // high-frequency gain, +4 dB
    const float inv = 1.0f / ((KQ + 1.0f) + K2);
    s.b0 = ((VbK + Vh) + K2) * inv;
    s.b1 = (((K2 - Vh) + K2) - Vh) * inv;
    s.b2 = ((Vh - VbK) + K2) * inv;
    s.a1 = (((K2 - 1.0f) + K2) - 1.0f) * inv;
    s.a2 = ((1.0f - KQ) + K2) * inv;
}

void compute_highpass(Biquad& s, float fs) {
    const float K = tanf(119.80612f / fs);  // pi * 38.13547 Hz
    const float KQ = K * 1.9986926f;        // 1/Q
    const float K2 = K * K;
    const float inv = 1.0f / ((KQ + 1.0f) + K2);
    s.b0 = 1.0f;
    s.b1 = -2.0f;
    s.b2 = 1.0f;
    s.a1 = (((K2 - 1.0f) + K2) - 1.0f) * inv;
    s.a2 = ((1.0f - KQ) + K2) * inv;
}

bool finite_pair(const float* v) {
    return std::isfinite(v[kBlock]) && std::isfinite(v[kBlock + 1]);
}

// Carries the last two samples of each history into the next block. A history
// that went non-finite (NaN or Inf on the input) would stay so for good through
// the recursion; it restarts from silence instead so the meter recovers.
void carry_history(KWeighting& m) {
    if (!(finite_pair(m.x) && finite_pair(m.h) && finite_pair(m.y))) {
        std::memset(m.x, 0, sizeof m.x);
        std::memset(m.h, 0, sizeof m.h);
        std::memset(m.y, 0, sizeof m.y);
        return;
    }
    float* const histories[3] = {m.x, m.h, m.y};
    for (float* v : histories) {
        v[0] = v[kBlock];
        v[1] = v[kBlock + 1];
    }
}

}  // namespace

void compute_k_weighting(KWeighting& m, float fs) {
    compute_shelf(m.shelf, fs);
    compute_highpass(m.highpass, fs);
}

void run_k_weighting(KWeighting& m, int from, int to) {
    // Recomputed on a rate change even while bypassed, so switching on later
    // filters with the right coefficients.
    if (m.rateSlot->is_changed()) compute_k_weighting(m, m.rateSlot->get());
    // The switch is read once per cell: a cell is filtered entirely or not at all.
    if (from == 0) m.active = m.enableSlot->get() != 0.0f;

    if (!m.active) {
        // Bypass keeps the histories, so switching on resumes where it stopped.
        std::memcpy(m.output + from, m.source + from, static_cast<size_t>(to - from) * sizeof(float));
        return;
    }

    const Biquad hp = m.highpass;
    const Biquad sh = m.shelf;
    float* x = m.x;
    float* h = m.h;
    float* y = m.y;
    for (int n = from + 2; n < to + 2; ++n) x[n] = m.source[n - 2];
    for (int n = from + 2; n < to + 2; ++n) {
        h[n] = ((hp.b0 * x[n] + hp.b1 * x[n - 1]) + hp.b2 * x[n - 2]) - hp.a1 * h[n - 1] - hp.a2 * h[n - 2];
        y[n] = ((sh.b1 * h[n - 1] + sh.b0 * h[n]) + sh.b2 * h[n - 2]) - sh.a1 * y[n - 1] - sh.a2 * y[n - 2];
        m.output[n - 2] = y[n] * 0.92352784f;  // 10^(-0.691/20): 0 dB at 997 Hz
    }
    if (to == kBlock) carry_history(m);
}

}  // namespace b2
