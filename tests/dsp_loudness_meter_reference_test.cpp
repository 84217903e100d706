// The loudness meter against libebur128 on the same samples: noise,
// programme-like material with level changes, and an hour-long stream.
// libebur128 is fed in 100 ms pieces and read after each, so its momentary
// and short-term values are those of the same windows; the maxima on both
// sides are taken over full windows. Its range takes a short-term value
// every second where the meter takes one every 100 ms, so on level changes
// the percentiles fall on different values (by up to about 0.5 LU here): the
// range is held within 0.1 LU of Tech 3342's computation on libebur128's
// short-term values of every step, and within 0.5 LU of its own figure.
#include <ebur128.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "dsp/loudness_meter.h"

namespace {

struct Interleaved {
    double rate;
    std::vector<float> left, right, both;
};

// Noise plus a tone, in segments of 2 to 20 s at levels from -45 to -8 dB,
// the channels at different levels; `quietGaps` adds silent stretches.
Interleaved programme(double rate, double seconds, unsigned seed, bool quietGaps) {
    Interleaved s{rate, {}, {}, {}};
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> level(-45.0, -8.0), length(2.0, 20.0), unit(-1.0, 1.0);
    const long total = std::lround(seconds * rate);
    double phase = 0;
    while (static_cast<long>(s.left.size()) < total) {
        const double gain = std::pow(10.0, level(rng) / 20.0);
        const double tone = quietGaps && unit(rng) > 0.7 ? 0.0 : 1.0;
        const double hz = 100.0 + 4000.0 * (unit(rng) + 1.0);
        const long n = std::min(total - static_cast<long>(s.left.size()), std::lround(length(rng) * rate));
        for (long i = 0; i < n; ++i) {
            phase += 2.0 * M_PI * hz / rate;
            const double noise = unit(rng);
            s.left.push_back(static_cast<float>(tone * gain * (0.5 * noise + 0.5 * std::sin(phase))));
            s.right.push_back(static_cast<float>(tone * gain * (0.3 * noise - 0.2 * std::sin(0.7 * phase))));
        }
    }
    s.both.resize(2 * s.left.size());
    for (size_t i = 0; i < s.left.size(); ++i) {
        s.both[2 * i] = s.left[i];
        s.both[2 * i + 1] = s.right[i];
    }
    return s;
}

struct Figures {
    double integrated, range, momentaryMax, shortTermMax;
    double rangeEvery100ms;  // Tech 3342 on libebur128's short-term values of every step
};

// Loudness range of a list of short-term values, exactly as Tech 3342 and
// libebur128 compute it: the absolute and relative gates on the sorted list,
// the percentiles at rank round((n - 1) p).
double range_of(std::vector<double> st) {
    std::vector<double> gated;
    double sum = 0;
    for (double v : st)
        if (v > -70.0) gated.push_back(v), sum += std::pow(10.0, v / 10.0);
    if (gated.empty()) return 0.0;
    const double gate = 10.0 * std::log10(sum / static_cast<double>(gated.size())) - 20.0;
    std::vector<double> kept;
    for (double v : gated)
        if (v > gate) kept.push_back(v);
    std::sort(kept.begin(), kept.end());
    const auto at = [&](double p) { return kept[static_cast<size_t>(static_cast<double>(kept.size() - 1) * p + 0.5)]; };
    return at(0.95) - at(0.10);
}

Figures reference(const Interleaved& s, int mode) {
    ebur128_state* st = ebur128_init(2, static_cast<unsigned long>(s.rate), mode);
    const long step = std::lround(s.rate / 10), frames = static_cast<long>(s.left.size());
    Figures f{0, 0, -HUGE_VAL, -HUGE_VAL, 0};
    std::vector<double> shortTerms;
    long steps = 0;
    for (long pos = 0; pos + step <= frames; pos += step) {
        ebur128_add_frames_float(st, &s.both[2 * pos], static_cast<size_t>(step));
        ++steps;
        double v;
        if ((mode & EBUR128_MODE_M) == EBUR128_MODE_M && steps >= 4 && ebur128_loudness_momentary(st, &v) == 0)
            f.momentaryMax = std::max(f.momentaryMax, v);
        if ((mode & EBUR128_MODE_S) == EBUR128_MODE_S && steps >= 30 && ebur128_loudness_shortterm(st, &v) == 0) {
            f.shortTermMax = std::max(f.shortTermMax, v);
            shortTerms.push_back(v);
        }
    }
    f.rangeEvery100ms = range_of(shortTerms);
    ebur128_loudness_global(st, &f.integrated);
    if ((mode & EBUR128_MODE_LRA) == EBUR128_MODE_LRA) ebur128_loudness_range(st, &f.range);
    ebur128_destroy(&st);
    return f;
}

b2::LoudnessReadings riser(const Interleaved& s) {
    auto m = std::make_unique<b2::LoudnessMeter>();
    EXPECT_TRUE(b2::prepare_loudness(*m, 2, s.rate));
    std::mt19937 rng(1);
    std::uniform_int_distribution<int> size(1, 4096);
    const long frames = static_cast<long>(s.left.size());
    for (long pos = 0; pos < frames;) {
        const long n = std::min<long>(frames - pos, size(rng));
        const float* in[2] = {&s.left[pos], &s.right[pos]};
        b2::process_loudness(*m, in, static_cast<int>(n));
        pos += n;
    }
    return m->readings;
}

TEST(LoudnessMeterReference, ProgrammeAndNoiseMatchLibebur128) {
    const int all = EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_I | EBUR128_MODE_LRA;
    struct Case {
        double rate, seconds;
        unsigned seed;
        bool gaps;
    } cases[] = {{48000.0, 300.0, 1, false}, {44100.0, 300.0, 2, true}, {96000.0, 120.0, 3, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        const Interleaved s = programme(c.rate, c.seconds, c.seed, c.gaps);
        const Figures ref = reference(s, all);
        const b2::LoudnessReadings r = riser(s);
        EXPECT_NEAR(r.integrated, ref.integrated, 0.02);
        EXPECT_NEAR(r.momentaryMax, ref.momentaryMax, 0.02);
        EXPECT_NEAR(r.shortTermMax, ref.shortTermMax, 0.02);
        EXPECT_NEAR(r.range, ref.rangeEvery100ms, 0.1);
        EXPECT_NEAR(r.range, ref.range, 0.5);  // libebur128's own, from one value a second
        EXPECT_GT(r.range, 3.0);  // the material has a range to measure
    }
}

// Steady noise: every figure on a signal without level changes.
TEST(LoudnessMeterReference, SteadyNoiseMatchesLibebur128) {
    Interleaved s{48000.0, {}, {}, {}};
    std::mt19937 rng(9);
    std::normal_distribution<float> noise(0.0f, 0.05f);
    for (long i = 0; i < 60L * 48000; ++i) {
        s.left.push_back(noise(rng));
        s.right.push_back(0.5f * noise(rng));
        s.both.push_back(s.left.back());
        s.both.push_back(s.right.back());
    }
    const Figures ref = reference(s, EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_I | EBUR128_MODE_LRA);
    const b2::LoudnessReadings r = riser(s);
    EXPECT_NEAR(r.integrated, ref.integrated, 0.02);
    EXPECT_NEAR(r.momentaryMax, ref.momentaryMax, 0.02);
    EXPECT_NEAR(r.shortTermMax, ref.shortTermMax, 0.02);
    EXPECT_NEAR(r.range, ref.range, 0.1);
    EXPECT_NEAR(r.range, ref.rangeEvery100ms, 0.1);
}

// An hour of programme for the integrated value, where the histogram's bins
// have had time to fill.
TEST(LoudnessMeterReference, HourLongStreamIntegratesAsLibebur128) {
    const Interleaved s = programme(8000.0, 3600.0, 4, true);
    const Figures ref = reference(s, EBUR128_MODE_I);
    EXPECT_NEAR(riser(s).integrated, ref.integrated, 0.02);
}

}  // namespace
