// What the benchmarks share: the 60 s stereo 48 kHz signal and the plain
// float kernel that is the reference for the meter's speed.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "dsp/channel_strip.h"
#include "engine/rng.h"

namespace riserbench {

constexpr double kRate = 48000.0;
constexpr int64_t kFrames = 60 * 48000;
constexpr int kBlock = 512;

// Programme-like material: a sine sweep under noise, at about -18 dBFS RMS.
struct Signal {
    std::vector<float> left, right, interleaved;
    Signal() : left(kFrames), right(kFrames), interleaved(2 * kFrames) {
        b2::rng_state r;
        b2::rng_seed(r, 7);
        double phase = 0;
        for (int64_t i = 0; i < kFrames; ++i) {
            phase += 2.0 * M_PI * (100.0 + 5000.0 * static_cast<double>(i) / kFrames) / kRate;
            const float noise = static_cast<float>(b2::rng_next(r) >> 8) / 8388608.0f - 1.0f;
            left[i] = static_cast<float>(0.12 * std::sin(phase)) + 0.03f * noise;
            right[i] = static_cast<float>(0.10 * std::sin(1.3 * phase)) - 0.03f * noise;
            interleaved[2 * i] = left[i];
            interleaved[2 * i + 1] = right[i];
        }
    }
};

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

    explicit PlainChannel(float rate = static_cast<float>(kRate)) {
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

inline const Signal& signal() {
    static Signal s;
    return s;
}

inline void set_frames(benchmark::State& state) { state.SetItemsProcessed(state.iterations() * kFrames); }

// The plain kernel over the whole signal, both channels, in blocks of kBlock.
inline void BM_PlainKernel(benchmark::State& state) {
    const Signal& sig = signal();
    PlainChannel ch[2];
    std::vector<float> out_l(kBlock), out_r(kBlock);
    for (auto _ : state) {
        for (int64_t pos = 0; pos + kBlock <= kFrames; pos += kBlock) {
            ch[0].run(&sig.left[pos], out_l.data(), kBlock, 1.0f);
            ch[1].run(&sig.right[pos], out_r.data(), kBlock, 1.0f);
            benchmark::DoNotOptimize(out_l.data());
            benchmark::DoNotOptimize(out_r.data());
        }
        benchmark::DoNotOptimize(ch[0].ring);
        benchmark::DoNotOptimize(ch[1].ring);
    }
    set_frames(state);
}

inline double median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

}  // namespace riserbench
