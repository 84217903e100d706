// The smoothed input gain module on its own, fed from local value slots.
#include <gtest/gtest.h>

#include <cmath>

#include "dsp/channel_strip.h"

namespace {

struct GainFixture : ::testing::Test {
    b2::value_slot gain, smooth, rate;
    float in[b2::kBlock] = {};
    b2::GainRamp m;

    void SetUp() override {
        gain.put(0.0f);
        smooth.put(0.1f);
        rate.put(48000.0f);
        m.source = in;
        m.gainSlot = &gain;
        m.smoothSlot = &smooth;
        m.rateSlot = &rate;
        for (int i = 0; i < b2::kBlock; ++i) in[i] = 0.5f - 0.05f * static_cast<float>(i);
    }
    // One block, then the flags are cleared as the engine does after a sub-block.
    void run() {
        b2::run_gain_ramp(m);
        gain.clear_changed();
        smooth.clear_changed();
        rate.clear_changed();
    }
    void settle(int blocks = 2000) {
        for (int i = 0; i < blocks; ++i) run();
    }
};

TEST_F(GainFixture, DefaultSmoothingAt48k) {
    run();
    EXPECT_NEAR(m.settleSeconds, 0.0025119, 1e-6);
    EXPECT_NEAR(m.settleSamples, 120.57, 0.01);
    EXPECT_NEAR(m.coeff, 0.96737, 1e-5);
    EXPECT_EQ(m.oneMinusCoeff, 1.0f - m.coeff);
    EXPECT_EQ(m.target, 1.0f);
}

TEST_F(GainFixture, SmoothRangeEndsAndRateChange) {
    smooth.put(0.0f);
    run();
    EXPECT_NEAR(m.settleSeconds, 0.001, 1e-9);
    EXPECT_NEAR(m.settleSamples, 48.0, 1e-4);

    smooth.put(1.0f);
    run();
    EXPECT_NEAR(m.settleSeconds, 10.0, 1e-5);
    EXPECT_NEAR(m.coeff, std::exp(-4.0 / 480000.0), 1e-7);

    // A rate change alone recomputes the coefficient too.
    rate.put(96000.0f);
    run();
    EXPECT_NEAR(m.settleSamples, 960000.0, 1.0);
}

TEST_F(GainFixture, FadesInFromSilenceAfterCreation) {
    run();
    const double c = m.coeff;
    EXPECT_NEAR(m.ramp[0], 1.0 - c, 1e-7);
    EXPECT_NEAR(m.ramp[1], (1.0 - c) * (1.0 + c), 1e-7);
    EXPECT_FLOAT_EQ(m.output[0], m.ramp[0] * in[0]);
}

TEST_F(GainFixture, SettledUnityGainPassesInputUnchanged) {
    settle();
    run();
    // The float recursion stops moving once (1 - c)(1 - gain) rounds away,
    // which leaves the gain within 2^-25 / (1 - c) of 1 (9e-7 here).
    const double bound = std::ldexp(1.0, -25) / m.oneMinusCoeff + std::ldexp(1.0, -24);
    for (int i = 0; i < b2::kBlock; ++i) {
        EXPECT_NEAR(m.ramp[i], 1.0, bound) << i;
        EXPECT_NEAR(m.output[i], in[i], bound * std::fabs(in[i])) << i;
    }
}

TEST_F(GainFixture, StepOfSixDecibelsFollowsTheOnePole) {
    settle();
    const double old = m.gain;
    const double target = std::pow(10.0, 6.0 * 0.05);
    gain.put(6.0f);
    run();
    const double c = m.coeff;
    EXPECT_NEAR(m.target, target, 1e-6);
    EXPECT_NEAR(m.ramp[0], c * old + (1.0 - c) * target, 1e-6);

    // Covered share of the step after settleSamples samples: 1 - e^-4 = 98.2 %.
    const int settle_at = static_cast<int>(std::lround(m.settleSamples));
    double g = m.ramp[b2::kBlock - 1];
    double prev = g;
    int n = b2::kBlock;
    while (n < settle_at) {
        run();
        for (int i = 0; i < b2::kBlock && n < settle_at; ++i, ++n) {
            g = m.ramp[i];
            EXPECT_GE(g, prev);  // monotonic, no overshoot
            EXPECT_LE(g, target + 1e-6);
            prev = g;
        }
    }
    EXPECT_NEAR((g - old) / (target - old), 0.982, 0.001);
}

TEST_F(GainFixture, UnflaggedValuesAreNotRead) {
    settle();
    const float coeff = m.coeff;
    // Values written without a change flag leave the cached results alone.
    gain.value.store(20.0f);
    smooth.value.store(0.9f);
    rate.value.store(8000.0f);
    run();
    EXPECT_EQ(m.target, 1.0f);
    EXPECT_EQ(m.coeff, coeff);
    EXPECT_NEAR(m.ramp[b2::kBlock - 1], 1.0f, 1e-6);
}

}  // namespace
