// True peak against libebur128 on the same samples (Linux only: there is no
// libebur128 for Windows).
//
// The two interpolators differ. Riser uses the 48-tap table BS.1770
// publishes, whose four points fall 1/8, 3/8, 5/8 and 7/8 of a sample after
// each sample and whose phases ripple by about +-0.24 dB; libebur128
// interpolates with a windowed sinc of its own design, one of whose phases is
// the sample itself. Both count the samples as well. On the same material
// they agree within 0.3 dB, except for content close to the Nyquist
// frequency: there the two filters' transition bands differ, and the peaks
// of such content lie half-way between two samples, where libebur128 has a
// point and Riser's nearest points are 1/8 sample away (-0.69 dB at the
// Nyquist frequency). White noise of the full band, made mostly of such
// content, differs by up to 0.56 dB (at 96 kHz, 2x).
#include <ebur128.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "dsp/true_peak.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Stereo {
    std::vector<float> left, right;
};

// A low-pass at `cutoff` Hz: a Blackman-windowed sinc of 127 taps, in double.
std::vector<float> band_limited(const std::vector<float>& x, double fs, double cutoff) {
    constexpr int kTaps = 127, kMid = kTaps / 2;
    double h[kTaps];
    for (int k = 0; k < kTaps; ++k) {
        const double m = k - kMid, w = 0.42 - 0.5 * std::cos(2 * kPi * k / (kTaps - 1)) + 0.08 * std::cos(4 * kPi * k / (kTaps - 1));
        h[k] = w * (m == 0 ? 2 * cutoff / fs : std::sin(2 * kPi * cutoff / fs * m) / (kPi * m));
    }
    std::vector<float> y(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        double acc = 0;
        for (int k = 0; k < kTaps && k <= static_cast<int>(i); ++k) acc += h[k] * x[i - k];
        y[i] = static_cast<float>(acc);
    }
    return y;
}

// Uniform white noise, different on each channel, the right 6 dB lower;
// low-passed at `cutoff` unless it is 0.
Stereo noise(double fs, double seconds, uint32_t seed, double cutoff) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-0.5f, 0.5f);
    const size_t n = static_cast<size_t>(fs * seconds);
    Stereo s{std::vector<float>(n), std::vector<float>(n)};
    for (size_t i = 0; i < n; ++i) {
        s.left[i] = u(rng);
        s.right[i] = 0.5f * u(rng);
    }
    if (cutoff > 0) {
        s.left = band_limited(s.left, fs, cutoff);
        s.right = band_limited(s.right, fs, cutoff);
    }
    return s;
}

// Programme-like material: a few partials with a slow vibrato, band-limited
// noise, level changes every half second and drum-like decaying bursts, with
// its highest levels near full scale.
Stereo programme(double fs, double seconds, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    const size_t n = static_cast<size_t>(fs * seconds);
    Stereo s{std::vector<float>(n), std::vector<float>(n)};
    double phase = 0, lowpass = 0, burst = 0;
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / fs;
        phase += 2 * kPi * 220.0 * (1.0 + 0.01 * std::sin(2 * kPi * 5 * t)) / fs;
        lowpass += 0.2 * (u(rng) - lowpass);
        if (i % static_cast<size_t>(fs / 4) == 0) burst = 1.0;
        burst *= 0.9995;
        const double level = 0.3 + 0.25 * ((i / static_cast<size_t>(fs / 2)) % 3);
        const double tone = std::sin(phase) + 0.5 * std::sin(3.01 * phase) + 0.3 * std::sin(7.3 * phase);
        const double hit = burst * std::sin(2 * kPi * 3500 * t) * u(rng);
        s.left[i] = static_cast<float>(level * (0.45 * tone + 0.2 * lowpass) + 0.3 * hit);
        s.right[i] = static_cast<float>(level * (0.4 * std::sin(1.5 * phase) + 0.25 * lowpass) - 0.25 * hit);
    }
    return s;
}

void expect_close_to_libebur128(double fs, const Stereo& s, double tolerance = 0.3) {
    const size_t n = s.left.size();
    b2::TruePeak t;
    ASSERT_TRUE(b2::prepare_true_peak(t, fs, 2));
    b2::run_true_peak(t, s.left.data(), s.right.data(), static_cast<int>(n));

    ebur128_state* st = ebur128_init(2, static_cast<unsigned long>(fs), EBUR128_MODE_TRUE_PEAK);
    ASSERT_NE(st, nullptr);
    std::vector<float> interleaved(2 * n);
    for (size_t i = 0; i < n; ++i) {
        interleaved[2 * i] = s.left[i];
        interleaved[2 * i + 1] = s.right[i];
    }
    ASSERT_EQ(ebur128_add_frames_float(st, interleaved.data(), n), EBUR128_SUCCESS);
    for (unsigned c = 0; c < 2; ++c) {
        double reference = 0;
        ASSERT_EQ(ebur128_true_peak(st, c, &reference), EBUR128_SUCCESS);
        const double ours = b2::true_peak(t, static_cast<int>(c));
        EXPECT_NEAR(20 * std::log10(ours), 20 * std::log10(reference), tolerance) << fs << " Hz, channel " << c;
    }
    ebur128_destroy(&st);
}

TEST(TruePeakReference, NoiseAgreesWithLibebur128) {
    for (double fs : {44100.0, 48000.0, 96000.0, 192000.0}) {
        SCOPED_TRACE("below 0.4 fs");
        expect_close_to_libebur128(fs, noise(fs, 5.0, 1, 0.4 * fs));
    }
}

// The full band: see the top of this file for why the two differ more.
TEST(TruePeakReference, FullBandNoiseDiffersWhereTheInterpolatorsDo) {
    for (double fs : {44100.0, 48000.0, 96000.0, 192000.0}) expect_close_to_libebur128(fs, noise(fs, 5.0, 1, 0.0), 0.6);
}

TEST(TruePeakReference, ProgrammeAgreesWithLibebur128) {
    for (double fs : {44100.0, 48000.0, 96000.0, 192000.0}) expect_close_to_libebur128(fs, programme(fs, 10.0, 2));
}

}  // namespace
