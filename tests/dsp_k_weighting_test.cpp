// The K-weighting module on its own: coefficients, frequency response,
// bypass, and recovery from non-finite input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <complex>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <vector>

#include "dsp/channel_strip.h"
#include "dsp/k_weighting.h"
#include "engine/strip_wiring.h"
#include "tests/test_support.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Every rate the meter takes, from kMinSampleRate to kMaxSampleRate.
constexpr float kRates[] = {8000.0f,   22050.0f,  44100.0f,  48000.0f,  88200.0f,  96000.0f,
                            176400.0f, 192000.0f, 352800.0f, 384000.0f, 705600.0f, 768000.0f};

struct Filter {
    b2::value_slot rate, enable;
    float in[b2::kBlock] = {};
    b2::KWeighting m;

    explicit Filter(float fs, float on = 1.0f) {
        rate.put(fs);
        enable.put(on);
        m.source = in;
        m.rateSlot = &rate;
        m.enableSlot = &enable;
    }
    Filter(const Filter&) = delete;
    void run() {
        b2::run_k_weighting(m);
        rate.clear_changed();
        enable.clear_changed();
    }
    void run(const float* block) {
        std::memcpy(in, block, sizeof in);
        run();
    }
};

bool same_coefficients(const b2::KWeighting& a, const b2::KWeighting& b) {
    return std::memcmp(&a.shelf, &b.shelf, sizeof a.shelf) == 0 &&
           std::memcmp(&a.highpass, &b.highpass, sizeof a.highpass) == 0;
}

// 1 + a1 + a2 of the high-pass designed in double precision.
double reference_highpass_d0(double fs) {
    const double k = std::tan(kPi * 38.13547087602444 / fs), kq = k * 1.9986927057725021;
    return 4.0 * k * k / (1.0 + kq + k * k);
}

// The response the weighting stands for: both sections designed in double
// precision from their analogue prototypes (bilinear transform, pre-warped at
// each section's centre), as |H| at frequency f. Like BS.1770's published
// coefficients, the high-pass numerator (1, -2, 1) is not scaled, so its
// passband gain is 1 + K/Q + K^2 (+0.04 dB at 48 kHz, which the 0.691 dB
// offset takes in; +0.26 dB at 8 kHz).
double reference_gain(double f, double fs) {
    const double vh = 1.5848647011308556, vbq = 1.7799278940417869;
    double k = std::tan(kPi * 1681.974450955533 / fs);
    double kq = k * 1.414076664088621, k2 = k * k, a0 = 1.0 + kq + k2;
    const double sb0 = (vh + vbq * k + k2) / a0, sb1 = 2.0 * (k2 - vh) / a0, sb2 = (vh - vbq * k + k2) / a0;
    const double sa1 = 2.0 * (k2 - 1.0) / a0, sa2 = (1.0 - kq + k2) / a0;
    k = std::tan(kPi * 38.13547087602444 / fs);
    kq = k * 1.9986927057725021;
    k2 = k * k;
    a0 = 1.0 + kq + k2;
    const double ha1 = 2.0 * (k2 - 1.0) / a0, ha2 = (1.0 - kq + k2) / a0;

    const std::complex<double> z = std::polar(1.0, -2.0 * kPi * f / fs);
    const auto shelf = (sb0 + sb1 * z + sb2 * z * z) / (1.0 + sa1 * z + sa2 * z * z);
    const auto hp = (1.0 - 2.0 * z + z * z) / (1.0 + ha1 * z + ha2 * z * z);
    return std::abs(shelf * hp) * std::pow(10.0, -0.691 / 20.0);
}

// Runs a sine through the module for 1.5 s and returns the output/input RMS
// ratio in dB over the last second (an integer number of periods for integer f).
double measured_gain_db(double f, int fs) {
    Filter k(static_cast<float>(fs));
    const int settle = fs / 2, total = settle + fs;
    const int blocks = (total + b2::kBlock - 1) / b2::kBlock;
    double in_sq = 0, out_sq = 0;
    float block[b2::kBlock];
    for (int b = 0; b < blocks; ++b) {
        for (int i = 0; i < b2::kBlock; ++i) {
            const long n = static_cast<long>(b) * b2::kBlock + i;
            block[i] = static_cast<float>(0.5 * std::sin(2.0 * kPi * f * static_cast<double>(n) / fs));
        }
        k.run(block);
        for (int i = 0; i < b2::kBlock; ++i) {
            const long n = static_cast<long>(b) * b2::kBlock + i;
            if (n < settle || n >= total) continue;
            in_sq += static_cast<double>(block[i]) * block[i];
            out_sq += static_cast<double>(k.m.output[i]) * k.m.output[i];
        }
    }
    return 10.0 * std::log10(out_sq / in_sq);
}

TEST(KWeighting, CoefficientsAt48kMatchPublishedValues) {
    Filter k(48000.0f);
    k.run();
    const b2::Biquad& s = k.m.shelf;
    const b2::DeltaHighpass& h = k.m.highpass;
    // Single precision: a few units in the last place of values near 1..3.
    const double tol = 1e-6;
    EXPECT_NEAR(s.b0, 1.53512485958697, tol);
    EXPECT_NEAR(s.b1, -2.69169618940638, tol);
    EXPECT_NEAR(s.b2, 1.19839281085285, tol);
    EXPECT_NEAR(s.a1, -1.69065929318241, tol);
    EXPECT_NEAR(s.a2, 0.73248077421585, tol);
    // The high-pass as d1 = 2 + a1 and d0 = 1 + a1 + a2: the published a1 and
    // a2 come back, and d0 (about 2.5e-5) is held to float's relative
    // precision; from a1 and a2 rounded to float it could be off by 0.5 %.
    EXPECT_NEAR(h.d1 - 2.0, -1.99004745483398, tol);
    EXPECT_NEAR(1.0 - h.d1 + h.d0, 0.99007225036621, tol);
    EXPECT_NEAR(h.d0 / reference_highpass_d0(48000.0), 1.0, 1e-7);
}

TEST(KWeighting, ResponseToSteadySines) {
    // Float filtering against the double design. Above 500 Hz 0.002 dB (2.3e-4
    // in amplitude) is far above float rounding and far below any wrong
    // coefficient.
    for (int fs : {44100, 48000, 96000}) {
        for (double f : {997.0, 10000.0}) {
            const double expected = 20.0 * std::log10(reference_gain(f, fs));
            EXPECT_NEAR(measured_gain_db(f, fs), expected, 0.002) << f << " Hz at " << fs;
        }
    }
}

// Below and around the high-pass's corner, against the double-precision
// design: its poles sit close to z = 1 (at 768 kHz 1 + a1 + a2 is about
// 1e-7), and rounding the recursion's coefficients or state to float must not
// move the corner at any rate.
TEST(KWeighting, LowFrequenciesRightAtEverySupportedRate) {
    for (float rate : kRates) {
        const int fs = static_cast<int>(rate);
        for (double f : {10.0, 20.0, 40.0, 100.0}) {
            const double expected = 20.0 * std::log10(reference_gain(f, fs));
            EXPECT_NEAR(measured_gain_db(f, fs), expected, 0.05) << f << " Hz at " << fs;
        }
    }
}

TEST(KWeighting, ReferencePointsOfTheWeighting) {
    // 0 dB at 997 Hz, closest at 48 kHz where the offset was fixed.
    EXPECT_NEAR(measured_gain_db(997, 48000), 0.0, 0.001);
    EXPECT_NEAR(measured_gain_db(997, 44100), 0.0, 0.003);
    EXPECT_NEAR(measured_gain_db(997, 96000), 0.0, 0.02);
    EXPECT_NEAR(measured_gain_db(10000, 48000), 3.35, 0.01);
    // The double-precision design gives -6.694 dB at 38 Hz.
    EXPECT_NEAR(measured_gain_db(38, 48000), -6.69, 0.01);
    EXPECT_NEAR(measured_gain_db(20, 48000), -13.97, 0.01);
}

TEST(KWeighting, BypassCopiesAndKeepsHistory) {
    Filter on(48000.0f), toggled(48000.0f);
    float block[b2::kBlock];
    for (int b = 0; b < 20; ++b) {
        for (int i = 0; i < b2::kBlock; ++i) block[i] = std::sin(0.3f * static_cast<float>(b * b2::kBlock + i));
        on.run(block);
        toggled.run(block);
    }

    // Off: the source comes through bit for bit, whatever it is.
    toggled.enable.put(0.0f);
    for (int b = 0; b < 5; ++b) {
        for (int i = 0; i < b2::kBlock; ++i) block[i] = 0.9f - 0.1f * static_cast<float>(i) + static_cast<float>(b);
        toggled.run(block);
        EXPECT_EQ(std::memcmp(toggled.m.output, block, sizeof block), 0);
    }

    // On again: continues from the history it had when switched off.
    toggled.enable.put(1.0f);
    for (int i = 0; i < b2::kBlock; ++i) block[i] = std::cos(0.7f * static_cast<float>(i));
    on.run(block);
    toggled.run(block);
    EXPECT_EQ(std::memcmp(on.m.output, toggled.m.output, sizeof block), 0);

    // A filter starting from zero history would not give the same block.
    Filter fresh(48000.0f);
    fresh.run(block);
    EXPECT_NE(std::memcmp(fresh.m.output, on.m.output, sizeof block), 0);
}

TEST(KWeighting, CoefficientsFollowOnlyTheRateFlag) {
    Filter k(48000.0f);
    k.run();
    b2::KWeighting at48 = k.m;

    // Toggling the filter leaves the coefficients alone.
    k.enable.put(0.0f);
    k.run();
    k.enable.put(1.0f);
    k.run();
    EXPECT_TRUE(same_coefficients(k.m, at48));

    // A new rate without its flag is not read.
    k.rate.value.store(96000.0f);
    k.run();
    EXPECT_TRUE(same_coefficients(k.m, at48));

    // A flagged rate change recomputes them, also while the filter is off.
    k.enable.put(0.0f);
    k.rate.put(96000.0f);
    k.run();
    b2::KWeighting at96;
    b2::compute_k_weighting(at96, 96000.0f);
    EXPECT_TRUE(same_coefficients(k.m, at96));
    EXPECT_FALSE(same_coefficients(k.m, at48));
}

TEST(KWeighting, RecoversFromNonFiniteInput) {
    const float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity()};
    for (float v : bad) {
        for (int at : {0, 7, 15}) {
            Filter k(48000.0f), fresh(48000.0f);
            float block[b2::kBlock];
            for (int i = 0; i < b2::kBlock; ++i) block[i] = 0.25f;
            for (int b = 0; b < 10; ++b) k.run(block);
            block[at] = v;
            k.run(block);
            EXPECT_FALSE(std::isfinite(k.m.output[b2::kBlock - 1])) << v << " at " << at;

            // Finite input again: the first block is finite and the filter
            // runs as one that starts from silence.
            fresh.run();  // both past their first (rate) block
            for (int b = 0; b < 4; ++b) {
                for (int i = 0; i < b2::kBlock; ++i) block[i] = std::sin(0.1f * static_cast<float>(b * 16 + i));
                k.run(block);
                fresh.run(block);
                for (int i = 0; i < b2::kBlock; ++i) ASSERT_TRUE(std::isfinite(k.m.output[i])) << v << " at " << at;
                EXPECT_EQ(std::memcmp(k.m.output, fresh.m.output, sizeof block), 0);
            }
        }
    }
}

// Running both channels together gives each exactly what it gets alone, in
// whole cells and in pieces, through non-finite input and its recovery, and
// with one channel switched off.
TEST(KWeighting, PairedChannelsMatchSingleChannelsBitForBit) {
    for (float fs : kRates) {
        Filter alone[2] = {Filter(fs), Filter(fs)};
        Filter paired[2] = {Filter(fs), Filter(fs)};
        uint32_t seed = 3;
        const int pieces[] = {16, 5, 11, 1, 15, 16, 8, 8};
        for (int cell = 0; cell < 400; ++cell) {
            float block[2][b2::kBlock];
            for (int c = 0; c < 2; ++c)
                for (float& x : block[c]) {
                    seed = seed * 1664525u + 1013904223u;
                    x = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
                }
            if (cell == 100) block[0][3] = std::numeric_limits<float>::quiet_NaN();
            if (cell == 200) block[1][9] = std::numeric_limits<float>::infinity();
            const bool right_on = cell < 300 || cell >= 350;
            for (int c = 0; c < 2; ++c) {
                std::memcpy(alone[c].in, block[c], sizeof block[c]);
                std::memcpy(paired[c].in, block[c], sizeof block[c]);
            }
            alone[1].enable.put(right_on ? 1.0f : 0.0f);
            paired[1].enable.put(right_on ? 1.0f : 0.0f);
            alone[0].run();
            alone[1].run();
            // The paired run takes the cell in pieces of changing length.
            for (int from = 0, p = cell; from < b2::kBlock; ++p) {
                const int to = std::min(b2::kBlock, from + pieces[p % 8]);
                b2::run_k_weighting_pair(paired[0].m, paired[1].m, from, to);
                from = to;
            }
            for (Filter& f : paired) {
                f.rate.clear_changed();
                f.enable.clear_changed();
            }
            for (int c = 0; c < 2; ++c)
                ASSERT_EQ(std::memcmp(alone[c].m.output, paired[c].m.output, sizeof alone[c].m.output), 0)
                    << fs << " cell " << cell << " channel " << c;
        }
    }
}

// What the meter reads for a sine of amplitude 0.1 (-20 dBFS) and frequency f
// with "K Filter" on, through the whole engine at `rate`: the RMS readout
// after a second, when the 300 ms window has long been full.
float k_weighted_reading(float rate, double f) {
    b2test::EnginePtr e(b2test::make_engine(rate));
    b2::set_global_value(e.get(), b2::ID_K_FILTER, 1.0f);
    const int frames = static_cast<int>(rate);
    std::vector<float> buf(4096);
    float* io[2] = {buf.data(), buf.data()};
    b2::MeterSnapshot taken[2] = {};
    for (int at = 0; at < frames; at += 4096) {
        const int n = std::min(4096, frames - at);
        for (int i = 0; i < n; ++i) buf[i] = static_cast<float>(0.1 * std::sin(2.0 * kPi * f * (at + i) / rate));
        b2::process_block(e.get(), io, io, n);
        b2::take_meter_snapshots(e.get(), taken);
    }
    return taken[0].rmsDb;
}

TEST(KWeighting, ReadsRightAtEverySupportedRate) {
    for (float rate : kRates) {
        ASSERT_TRUE(b2::k_weighting_available(rate)) << rate;
        const float at997 = k_weighted_reading(rate, 997.0);
        EXPECT_NEAR(at997, -20.0f, 0.05f) << rate;
        // 10 kHz sits on the shelf's top once the rate leaves room above it.
        if (rate >= 44100.0f) {
            EXPECT_NEAR(k_weighted_reading(rate, 10000.0) - at997, 3.3f, 0.2f) << rate;
        }
    }
}

// A minute of noise through the filter, second by second: the weighted level
// stays finite and where it was in the second second (the first holds the
// start-up). A pole on or outside the unit circle drifts or blows up.
TEST(KWeighting, NoiseStaysFiniteAndSteadyForAMinute) {
    for (float rate : kRates) {
        Filter k(rate);
        uint32_t seed = 99;
        const int blocks_per_second = static_cast<int>(rate) / b2::kBlock;
        double reference = 0;
        for (int second = 0; second < 60; ++second) {
            double squares = 0;
            for (int b = 0; b < blocks_per_second; ++b) {
                for (float& x : k.in) {
                    seed = seed * 1664525u + 1013904223u;
                    x = static_cast<float>(seed >> 8) * (1.0f / 16777216.0f) - 0.5f;
                }
                k.run();
                for (float y : k.m.output) squares += static_cast<double>(y) * y;
            }
            ASSERT_TRUE(std::isfinite(squares)) << rate << " Hz, second " << second;
            const double db = 10.0 * std::log10(squares / (blocks_per_second * b2::kBlock));
            if (second == 1) reference = db;
            if (second > 1) {
                ASSERT_NEAR(db, reference, 0.3) << rate << " Hz, second " << second;
            }
        }
    }
}

// Where the shelf's centre reaches the Nyquist frequency the weighting has no
// meaning: the module then passes its input through, "K Filter" on or not.
TEST(KWeighting, RatesWithoutAWeightingMeasureUnweighted) {
    EXPECT_TRUE(b2::k_weighting_available(3364.0));
    EXPECT_TRUE(b2::k_weighting_available(b2::kMinSampleRate));
    for (double rate : {3363.0, 2000.0, 0.0, -48000.0, static_cast<double>(std::numeric_limits<float>::quiet_NaN()),
                        static_cast<double>(std::numeric_limits<float>::infinity())})
        EXPECT_FALSE(b2::k_weighting_available(rate)) << rate;

    float block[b2::kBlock];
    for (float rate : {2000.0f, 0.0f, std::numeric_limits<float>::quiet_NaN()}) {
        Filter k(rate);
        for (int b = 0; b < 100; ++b) {
            for (int i = 0; i < b2::kBlock; ++i) block[i] = std::sin(0.4f * static_cast<float>(b * 16 + i));
            k.run(block);
            ASSERT_EQ(std::memcmp(k.m.output, block, sizeof block), 0) << rate;
        }
    }
    // Back to a rate it can be built for: weighted again.
    Filter k(2000.0f);
    k.run();
    k.rate.put(48000.0f);
    for (float& x : block) x = 0.5f;
    k.run(block);
    EXPECT_NE(std::memcmp(k.m.output, block, sizeof block), 0);
    EXPECT_TRUE(std::isfinite(k.m.output[b2::kBlock - 1]));
}

}  // namespace
