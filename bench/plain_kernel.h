// The plain K-weighting kernel, the benchmarks' yardstick for Riser's speed.
#pragma once

#include <cmath>

#include "dsp/channel_strip.h"

namespace b2bench {

// The plainest fast version of the meter's work, the reference for Riser's
// speed: per channel a constant gain (its output written, as a plug-in must),
// the BS.1770 high-pass in its form around z = 1 (two running sums) and the
// shelf in transposed direct form II, their state in locals, the sum of
// squares and the largest magnitude of each 16 samples, and a 30 ms ring of
// block means; the two channels one after the other.
struct PlainChannel {
    b2::DeltaHighpass hp;
    b2::Biquad sh;
    float z0 = 0, z1 = 0, z2 = 0, z3 = 0;
    float ring[90] = {};  // 30 ms of 16-sample blocks at 48 kHz
    int pos = 0;
    float peak = 0;

    explicit PlainChannel(float rate = 48000.0f) {
        b2::KWeighting k;
        b2::compute_k_weighting(k, rate);
        hp = k.highpass;
        sh = k.shelf;
    }
    void run(const float* x, float* out, int n, float gain) {
        float a = z0, b = z1, c = z2, d = z3, p = peak;
        for (int i = 0; i < n; i += 16) {
            float s = 0, m = 0;
            for (int j = i; j < i + 16; ++j) {
                const float in = x[j] * gain;
                out[j] = in;
                const float h = (in - hp.d0 * b) - hp.d1 * a;
                b += a;
                a += h;
                const float y = sh.b0 * h + c;
                c = sh.b1 * h - sh.a1 * y + d;
                d = sh.b2 * h - sh.a2 * y;
                s += y * y;
                const float ay = std::fabs(y);  // the peak is the largest magnitude
                m = ay > m ? ay : m;
            }
            ring[pos] = s * 0.0625f;
            pos = pos == 89 ? 0 : pos + 1;
            p = m > p ? m : p;
        }
        z0 = a, z1 = b, z2 = c, z3 = d, peak = p;
    }
};


}  // namespace b2bench
