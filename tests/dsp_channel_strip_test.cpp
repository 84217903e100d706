// The two channel strips inside an engine: rings, the audio they pass
// through and the order in which they run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "tests/test_support.h"

namespace {

using b2::engine;

using b2test::EnginePtr;

EnginePtr make(float rate) {
    EnginePtr e(b2test::make_engine(rate));
    EXPECT_NE(e, nullptr);
    return e;
}

uint32_t ring_bytes(const float* ring) {
    uint32_t size;
    std::memcpy(&size, reinterpret_cast<const uint8_t*>(ring) - 4, sizeof size);
    return size;
}

// A deterministic, noise-like stereo test signal.
std::vector<float> signal(size_t n, unsigned seed) {
    std::vector<float> v(n);
    uint32_t s = seed * 2654435761u + 1u;
    for (float& x : v) {
        s = s * 1664525u + 1013904223u;
        x = static_cast<float>(static_cast<int32_t>(s)) * (0.8f / 2147483648.0f);
    }
    return v;
}

// Runs `in` through the engine in calls of `chunk` samples; returns the output.
std::vector<float> run(engine* e, const std::vector<float>& left, const std::vector<float>& right, int chunk) {
    std::vector<float> out(left.size() * 2);
    for (size_t at = 0; at < left.size(); at += chunk) {
        const int n = static_cast<int>(std::min<size_t>(chunk, left.size() - at));
        std::vector<float> l(left.begin() + at, left.begin() + at + n);
        std::vector<float> r(right.begin() + at, right.begin() + at + n);
        float* ins[2] = {l.data(), r.data()};
        std::vector<float> ol(n), orr(n);
        float* outs[2] = {ol.data(), orr.data()};
        b2::process_block(e, ins, outs, n);
        std::copy(ol.begin(), ol.end(), out.begin() + at);
        std::copy(orr.begin(), orr.end(), out.begin() + left.size() + at);
    }
    return out;
}

TEST(ChannelStrip, RingCapacityFollowsTheRate) {
    const struct {
        float rate;
        int32_t capacity;
    } cases[] = {{44100.0f, 8268}, {48000.0f, 9000}, {96000.0f, 18000}};
    for (const auto& c : cases) {
        EnginePtr e = make(c.rate);
        for (const b2::ChannelStrip& s : e->strips) {
            EXPECT_EQ(s.detector.capacity, c.capacity) << c.rate;
            ASSERT_NE(s.detector.ring, nullptr);
            EXPECT_EQ(ring_bytes(s.detector.ring), static_cast<uint32_t>(c.capacity) * 4u);
        }
        EXPECT_NE(e->strips[0].detector.ring, e->strips[1].detector.ring);
    }

    // A new set-up re-sizes both rings; terminate frees them.
    EnginePtr e = make(48000.0f);
    b2::set_slot(e.get(), b2::BANK_GLOBAL, b2::ID_SAMPLE_RATE_HOST, 96000.0f);
    b2::apply_sample_rate(e.get(), true);
    for (const b2::ChannelStrip& s : e->strips) {
        EXPECT_EQ(s.detector.capacity, 18000);
        ASSERT_NE(s.detector.ring, nullptr);
        EXPECT_EQ(ring_bytes(s.detector.ring), 72000u);
    }
    b2::releaseStrips(e.get());
    EXPECT_EQ(e->strips[0].detector.ring, nullptr);
    EXPECT_EQ(e->strips[1].detector.ring, nullptr);
}

TEST(ChannelStrip, KFilterLeavesTheAudioAloneAndBypassAtZeroDbNearly) {
    const std::vector<float> l = signal(4800, 1), r = signal(4800, 2);
    EnginePtr plain = make(48000.0f), filtered = make(48000.0f), bypassed = make(48000.0f);
    b2::set_global_value(filtered.get(), b2::ID_K_FILTER, 1.0f);
    b2::set_global_value(bypassed.get(), b2::ID_BYPASS, 1.0f);
    const std::vector<float> a = run(plain.get(), l, r, 256);
    const std::vector<float> b = run(filtered.get(), l, r, 256);
    const std::vector<float> c = run(bypassed.get(), l, r, 256);
    EXPECT_EQ(a, b);
    // At 0 dB bypassing changes nothing but the last rounding of the gain.
    for (size_t i = 0; i < a.size(); ++i) ASSERT_NEAR(a[i], c[i], 1e-6f) << i;
    // The setting did take effect: the measured signal differs.
    EXPECT_NE(std::memcmp(plain->strips[0].kweight.output, filtered->strips[0].kweight.output,
                          sizeof(float) * b2::kBlock), 0);

    // Switching the filter mid-stream changes nothing either.
    b2::set_global_value(filtered.get(), b2::ID_K_FILTER, 0.0f);
    EXPECT_EQ(run(plain.get(), l, r, 64), run(filtered.get(), l, r, 64));
}

// A host that honours the bypass flag expects the plug-in's output to be its
// input: with "Bypass" on the gain moves to unity through the smoother (no
// step), and back to "Gain" when it goes off.
TEST(ChannelStrip, BypassReturnsTheInputThroughTheSmoother) {
    const std::vector<float> dc(4800, 0.5f), l = signal(4800, 5), r = signal(4800, 6);
    EnginePtr e = make(48000.0f);
    b2::set_global_value(e.get(), b2::ID_GAIN, 12.0f);
    run(e.get(), dc, dc, 512);  // settled at +12 dB
    const float loud = std::pow(10.0f, 0.6f);

    b2::set_global_value(e.get(), b2::ID_BYPASS, 1.0f);
    const std::vector<float> ramp = run(e.get(), dc, dc, 512);
    EXPECT_NEAR(ramp[0], 0.5f * loud, 0.06f);  // no jump: a smooth fall to the input
    for (size_t i = 1; i < 512; ++i) {
        EXPECT_LE(ramp[i], ramp[i - 1]) << i;
        EXPECT_LT(ramp[i - 1] - ramp[i], 0.06f) << i;
    }
    const std::vector<float> out = run(e.get(), l, r, 100);
    const size_t n = l.size();
    for (size_t i = 0; i < n; ++i) {  // settled: exactly the input
        ASSERT_EQ(out[i], l[i]) << i;
        ASSERT_EQ(out[n + i], r[i]) << i;
    }
    // The meters go on measuring what passes.
    EXPECT_GT(e->strips[0].detector.peak, 0.5f);

    b2::set_global_value(e.get(), b2::ID_BYPASS, 0.0f);
    const std::vector<float> back = run(e.get(), l, r, 512);
    for (size_t i = n - 256; i < n; ++i) EXPECT_NEAR(back[i], l[i] * loud, 1e-5f) << i;
}

TEST(ChannelStrip, OutputIsTheInputTimesTheSmoothedGain) {
    EnginePtr e = make(48000.0f);
    const std::vector<float> l = signal(48000, 3), r = signal(48000, 4);
    std::vector<float> out = run(e.get(), l, r, 512);
    const b2::GainRamp& gain = e->strips[0].gain;

    // Fades in from silence after creation: the first gain is 1 - coeff.
    EXPECT_NEAR(out[0], (1.0 - gain.coeff) * l[0], 1e-7);
    // Settled at 0 dB: input sample for sample (to the recursion's rounding).
    for (size_t i = 47000; i < 48000; ++i) {
        ASSERT_NEAR(out[i], l[i], 1e-6 * std::fabs(l[i])) << i;
        ASSERT_NEAR(out[48000 + i], r[i], 1e-6 * std::fabs(r[i])) << i;
    }

    // +6 dB: the first sample of the next block moves by (1 - coeff) of the step.
    const double old = gain.gain;
    const double target = std::pow(10.0, 0.3);
    b2::set_global_value(e.get(), b2::ID_GAIN, 6.0f);
    out = run(e.get(), l, r, 64);
    const double g0 = gain.coeff * old + (1.0 - gain.coeff) * target;
    EXPECT_NEAR(out[0], g0 * l[0], 1e-6);
    EXPECT_NEAR(out[48000], g0 * r[0], 1e-6);
}

TEST(ChannelStrip, LeftStripFinishesBeforeRightStarts) {
    EnginePtr e = make(48000.0f);
    // The left output aliases the right input: the right strip must read what
    // the left strip's output tap wrote, which only holds when the left strip
    // has run all five modules first.
    std::vector<float> left = signal(16, 5), shared = signal(16, 6), right_out(16);
    const std::vector<float> original = shared;
    const float* ins[2] = {left.data(), shared.data()};
    float* outs[2] = {shared.data(), right_out.data()};
    b2::processStrips(e->strips, ins, outs);

    const b2::ChannelStrip* s = e->strips;
    EXPECT_EQ(std::memcmp(shared.data(), s[0].gain.output, sizeof(float) * 16), 0);
    EXPECT_EQ(std::memcmp(s[1].input.output, s[0].gain.output, sizeof(float) * 16), 0);
    EXPECT_NE(std::memcmp(s[1].input.output, original.data(), sizeof(float) * 16), 0);
    EXPECT_EQ(std::memcmp(right_out.data(), s[1].gain.output, sizeof(float) * 16), 0);
}

TEST(ChannelStrip, InPlaceBuffersGiveTheSameOutput) {
    const std::vector<float> l = signal(2000, 7), r = signal(2000, 8);
    EnginePtr separate = make(44100.0f), inplace = make(44100.0f);
    b2::set_global_value(separate.get(), b2::ID_GAIN, -3.0f);
    b2::set_global_value(inplace.get(), b2::ID_GAIN, -3.0f);
    const std::vector<float> expected = run(separate.get(), l, r, 128);

    std::vector<float> got(l.size() * 2);
    for (size_t at = 0; at < l.size(); at += 128) {
        const int n = static_cast<int>(std::min<size_t>(128, l.size() - at));
        std::vector<float> bl(l.begin() + at, l.begin() + at + n), br(r.begin() + at, r.begin() + at + n);
        float* io[2] = {bl.data(), br.data()};
        b2::process_block(inplace.get(), io, io, n);
        std::copy(bl.begin(), bl.end(), got.begin() + at);
        std::copy(br.begin(), br.end(), got.begin() + l.size() + at);
    }
    EXPECT_EQ(got, expected);
}

TEST(ChannelStrip, NonFiniteInputPassesThroughAndTheMeterRecovers) {
    EnginePtr e = make(48000.0f), ref = make(48000.0f);
    b2::set_global_value(e.get(), b2::ID_K_FILTER, 1.0f);
    b2::set_global_value(ref.get(), b2::ID_K_FILTER, 1.0f);
    std::vector<float> l = signal(1024, 9);
    const std::vector<float> r = signal(1024, 10);
    const std::vector<float> clean = run(ref.get(), l, r, 256);
    l[300] = std::numeric_limits<float>::quiet_NaN();
    l[310] = std::numeric_limits<float>::infinity();
    const std::vector<float> out = run(e.get(), l, r, 256);

    // The audio is the input times the gain, whatever the input holds.
    EXPECT_TRUE(std::isnan(out[300]));
    EXPECT_EQ(out[310], std::numeric_limits<float>::infinity());
    for (size_t i = 0; i < out.size(); ++i) {
        if (i == 300 || i == 310) continue;
        ASSERT_EQ(out[i], clean[i]) << i;
    }

    // The weighted signal of the left strip is finite again one block after
    // the last bad sample (310 lies in the block 304..319).
    EnginePtr m = make(48000.0f);
    b2::set_global_value(m.get(), b2::ID_K_FILTER, 1.0f);
    const std::vector<float> head_l(l.begin(), l.begin() + 336), head_r(r.begin(), r.begin() + 336);
    run(m.get(), head_l, head_r, 16);
    for (float v : m->strips[0].kweight.output) EXPECT_TRUE(std::isfinite(v));
}

TEST(ChannelStrip, NewRateKeepsGainAndFilterState) {
    EnginePtr e = make(48000.0f);
    b2::set_global_value(e.get(), b2::ID_K_FILTER, 1.0f);
    b2::set_global_value(e.get(), b2::ID_GAIN, 12.0f);
    const std::vector<float> l = signal(512, 11);
    run(e.get(), l, l, 512);
    const b2::ChannelStrip before = e->strips[0];

    b2::set_slot(e.get(), b2::BANK_GLOBAL, b2::ID_SAMPLE_RATE_HOST, 96000.0f);
    b2::apply_sample_rate(e.get(), true);
    const b2::ChannelStrip& s = e->strips[0];
    EXPECT_EQ(s.gain.gain, before.gain.gain);
    EXPECT_EQ(s.kweight.hpSum, before.kweight.hpSum);
    EXPECT_EQ(s.kweight.hpSumOfSums, before.kweight.hpSumOfSums);
    EXPECT_EQ(std::memcmp(s.kweight.h, before.kweight.h, sizeof s.kweight.h), 0);
    EXPECT_EQ(std::memcmp(s.kweight.y, before.kweight.y, sizeof s.kweight.y), 0);

    // The next block picks up the new rate in both modules.
    run(e.get(), l, l, 16);
    b2::KWeighting at96;
    b2::compute_k_weighting(at96, 96000.0f);
    EXPECT_EQ(std::memcmp(&s.kweight.shelf, &at96.shelf, sizeof at96.shelf), 0);
    EXPECT_EQ(std::memcmp(&s.kweight.highpass, &at96.highpass, sizeof at96.highpass), 0);
    EXPECT_NEAR(s.gain.settleSamples, 2.0 * before.gain.settleSamples, 0.01);
}

}  // namespace
