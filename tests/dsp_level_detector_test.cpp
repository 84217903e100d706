// The level detector's measurements: window and hold lengths, the falling and
// held peak, the window sum and its re-sums, the crest factor, resets, and the
// handling of input and sample rates it cannot measure.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "dsp/channel_strip.h"
#include "engine/strip_wiring.h"
#include "tests/test_support.h"

namespace {

using b2::LevelDetector;

using b2test::EnginePtr;

constexpr double kPi = 3.14159265358979323846;
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// The left detector of an engine, fed from `block` and run one block at a time
// as the engine does: the slots' change flags live for exactly one block.
struct Rig {
    EnginePtr e;
    LevelDetector* d;
    float block[b2::kBlock] = {};

    explicit Rig(float rate) : e(b2test::make_engine(rate)), d(&e->strips[0].detector) { d->source = block; }

    void set(int id, float value) { b2::set_global_value(e.get(), id, value); }
    void step() {
        b2::run_level_detector(*d);
        b2::clear_change_flags(e.get());
    }
    void fill(float v) {
        for (float& x : block) x = v;
    }
    void run(int blocks, float v) {
        fill(v);
        for (int i = 0; i < blocks; ++i) step();
    }
};

// A sine of amplitude 1 and `period` samples, continuous across blocks.
struct Sine {
    int period;
    long n = 0;
    void next(float* out) {
        for (int i = 0; i < b2::kBlock; ++i, ++n)
            out[i] = static_cast<float>(std::sin(2.0 * kPi * static_cast<double>(n % period) / period));
    }
};

// The block's mean square as the detector forms it: squares added in order.
float mean_square(const float* block) {
    float s = 0.0f;
    for (int i = 0; i < b2::kBlock; ++i) s += block[i] * block[i];
    return s * 0.0625f;
}

float ring_sum(const LevelDetector& d) {
    float s = 0.0f;
    for (uint32_t i = 0; i < d.length; ++i) s += d.ring[i];
    return s;
}

TEST(LevelDetector, LengthsInBlocksFollowRateAndParameters) {
    const struct {
        float rate;
        int32_t capacity;
        uint32_t window300;
        int32_t hold1500;
        int32_t resum;
    } cases[] = {{44100.0f, 8268, 826, 4134, 82}, {48000.0f, 9000, 900, 4500, 90}, {96000.0f, 18000, 1800, 9000, 180}};
    for (const auto& c : cases) {
        Rig r(c.rate);
        r.step();
        EXPECT_EQ(r.d->capacity, c.capacity) << c.rate;
        EXPECT_EQ(r.d->length, c.window300) << c.rate;
        EXPECT_EQ(r.d->rmsHoldLength, c.hold1500) << c.rate;
        EXPECT_EQ(r.d->peakHoldLength, c.hold1500) << c.rate;
        EXPECT_EQ(r.d->crestHoldLength, c.hold1500) << c.rate;
        EXPECT_EQ(r.d->resumInterval, c.resum) << c.rate;
    }

    Rig r(48000.0f);
    r.step();
    EXPECT_EQ(r.d->decay, powf(0.1f, 15999.999f / (300.0f * 48000.0f)));
    EXPECT_NEAR(r.d->decay, 0.997445f, 1e-6f);
    r.set(b2::ID_RMS_WINDOW, 3000.0f);  // one block short of the capacity
    r.step();
    EXPECT_EQ(r.d->length, 8999u);
    r.set(b2::ID_RMS_WINDOW, 10.0f);
    r.step();
    EXPECT_EQ(r.d->length, 30u);
    r.set(b2::ID_RMS_WINDOW, 0.0f);  // below the range: at least one block
    r.step();
    EXPECT_EQ(r.d->length, 1u);
    r.set(b2::ID_PEAK_FALL, 600.0f);
    r.set(b2::ID_VALUE_HOLD, 100.0f);
    r.step();
    EXPECT_EQ(r.d->decay, powf(0.1f, 15999.999f / (600.0f * 48000.0f)));
    EXPECT_EQ(r.d->peakHoldLength, 300);
    EXPECT_EQ(r.d->rmsHoldLength, 300);
    EXPECT_EQ(r.d->crestHoldLength, 300);
}

TEST(LevelDetector, SineSquareSilenceAndNegativeSignals) {
    // A 3 kHz sine (one period per block) over a 900-block window.
    Rig r(48000.0f);
    Sine sine{16};
    for (int i = 0; i < 2000; ++i) {
        sine.next(r.block);
        r.step();
    }
    EXPECT_EQ(r.d->peak, 1.0f);
    EXPECT_NEAR(r.d->sum / static_cast<float>(r.d->length), 0.5f, 1e-5f);
    EXPECT_NEAR(r.d->crest, 1.41421f, 1e-4f);
    EXPECT_EQ(r.d->heldPeak, 1.0f);

    // +-1 square: mean square 1 and crest 1.
    for (int i = 0; i < 2000; ++i) {
        for (int k = 0; k < b2::kBlock; ++k) r.block[k] = (k / 4) % 2 ? -1.0f : 1.0f;
        r.step();
    }
    EXPECT_EQ(r.d->peak, 1.0f);
    EXPECT_EQ(r.d->sum, 900.0f);
    EXPECT_EQ(r.d->crest, 1.0f);
    // A value equal to the held one restarts its hold.
    EXPECT_EQ(r.d->peakHoldCount, 4500);
    EXPECT_EQ(r.d->rmsHoldCount, 4500);

    // A signal that never goes above zero peaks at its magnitude.
    Rig neg(48000.0f);
    neg.run(1000, -0.5f);
    EXPECT_EQ(neg.d->peak, 0.5f);
    EXPECT_EQ(neg.d->heldPeak, 0.5f);
    EXPECT_NEAR(neg.d->sum / 900.0f, 0.25f, 1e-5f);
    EXPECT_NEAR(neg.d->crest, 1.0f, 1e-5f);

    // Silence: nothing, and no division by the vanishing RMS.
    Rig quiet(48000.0f);
    quiet.run(1000, 0.0f);
    EXPECT_EQ(quiet.d->peak, 0.0f);
    EXPECT_EQ(quiet.d->sum, 0.0f);
    EXPECT_EQ(quiet.d->crest, 0.0f);
    quiet.run(1, 1e-6f);  // RMS far below 1e-5: still no crest
    EXPECT_EQ(quiet.d->crest, 0.0f);
    EXPECT_GT(quiet.d->peak, 0.0f);
}

// Two channels through the whole engine, the right one the inverse of the
// left; returns the snapshots the editor takes every 1600 samples.
std::vector<b2::MeterSnapshot> meter_both_polarities(float k_filter, float (*signal)(int)) {
    EnginePtr e(b2test::make_engine(48000.0f));
    b2::set_global_value(e.get(), b2::ID_K_FILTER, k_filter);
    std::vector<b2::MeterSnapshot> taken;
    std::vector<float> l(1600), r(1600);
    for (int at = 0; at < 48000; at += 1600) {
        for (int i = 0; i < 1600; ++i) {
            l[i] = signal(at + i);
            r[i] = -l[i];
        }
        float* io[2] = {l.data(), r.data()};
        b2::process_block(e.get(), io, io, 1600);
        b2::MeterSnapshot s[2];
        if (b2::take_meter_snapshots(e.get(), s)) taken.insert(taken.end(), s, s + 2);
    }
    return taken;
}

// The readouts of a snapshot as numbers (the flags are not compared).
void expect_same_readouts(const b2::MeterSnapshot& a, const b2::MeterSnapshot& b) {
    const float x[] = {a.heldPeakDb, a.peakDb, a.heldRmsDb, a.rmsDb, a.heldCrestDb, a.crestDb};
    const float y[] = {b.heldPeakDb, b.peakDb, b.heldRmsDb, b.rmsDb, b.heldCrestDb, b.crestDb};
    EXPECT_EQ(std::memcmp(x, y, sizeof x), 0);
}

// Negative half-waves of a 1 kHz sine reach 0.8 (-1.94 dBFS), positive ones 0.3.
float asymmetric(int n) {
    const float s = static_cast<float>(std::sin(2.0 * kPi * (n % 48) / 48.0));
    return s > 0.0f ? 0.3f * s : 0.8f * s;
}
float minus_half(int) { return -0.5f; }
float negative_clicks(int n) { return n % 4800 == 100 ? -0.9f : 0.0f; }  // every 100 ms

TEST(LevelDetector, PeakIsTheLargestMagnitudeOfEitherPolarity) {
    for (float k : {0.0f, 1.0f}) {
        const std::vector<b2::MeterSnapshot> s = meter_both_polarities(k, asymmetric);
        ASSERT_GE(s.size(), 40u);
        // Left and right (the inverse) agree bit for bit in every snapshot.
        for (size_t i = 0; i < s.size(); i += 2) expect_same_readouts(s[i], s[i + 1]);
        if (k == 0.0f) {
            EXPECT_NEAR(s.back().heldPeakDb, -1.94f, 0.01f);
        }
    }

    const std::vector<b2::MeterSnapshot> dc = meter_both_polarities(0.0f, minus_half);
    for (size_t i = 0; i < dc.size(); i += 2) expect_same_readouts(dc[i], dc[i + 1]);
    const b2::MeterSnapshot& settled = dc.back();
    EXPECT_NEAR(settled.peakDb, -6.02f, 0.01f);
    EXPECT_NEAR(settled.heldPeakDb, -6.02f, 0.01f);
    EXPECT_NEAR(settled.crestDb, -3.0f, 0.01f);  // crest 1, shown against a sine's

    const std::vector<b2::MeterSnapshot> clicks = meter_both_polarities(0.0f, negative_clicks);
    for (size_t i = 0; i < clicks.size(); i += 2) expect_same_readouts(clicks[i], clicks[i + 1]);
    EXPECT_NEAR(clicks.back().heldPeakDb, -0.915f, 0.01f);
}

TEST(LevelDetector, HeldValuesKeepTheirMaximumForTheHoldTime) {
    Rig r(48000.0f);  // "Value Hold" 1500 ms: 4500 blocks
    r.run(10, 0.0f);
    r.fill(0.0f);
    r.block[5] = 0.5f;
    r.step();
    ASSERT_EQ(r.d->peak, 0.5f);
    float expected = 0.5f;
    r.fill(0.0f);
    for (int n = 1; n <= 4500; ++n) {
        r.step();
        expected *= r.d->decay;
        ASSERT_EQ(r.d->peak, expected) << n;
        ASSERT_EQ(r.d->heldPeak, 0.5f) << n;
    }
    // The hold has run out: the held peak drops to the falling peak and a new
    // hold starts from there.
    r.step();
    expected *= r.d->decay;
    EXPECT_EQ(r.d->heldPeak, expected);
    EXPECT_EQ(r.d->peakHoldCount, 4500);
    EXPECT_LT(r.d->heldPeak, 0.5f * 0.01f);  // 1.5 s of a 20 dB per 300 ms fall

    // A 20 dB fall takes 300 ms (900 blocks).
    Rig f(48000.0f);
    f.run(1, 1.0f);
    f.run(900, 0.0f);
    EXPECT_NEAR(f.d->peak, 0.1f, 1e-4f);

    // The held window sum stays at its maximum while the window empties.
    Rig s(48000.0f);
    s.run(900, 1.0f);
    const float full = s.d->sum;
    EXPECT_EQ(full, 900.0f);
    s.run(900, 0.0f);
    EXPECT_EQ(s.d->sum, 0.0f);
    EXPECT_EQ(s.d->heldSum, full);

    // The crest factor of a spike on a steady level is held by the same scheme.
    // (The warm-up outlasts the hold of the large crest factors measured
    // while the window was still filling.)
    Rig c(48000.0f);
    c.run(6000, 0.5f);
    ASSERT_NEAR(c.d->crest, 1.0f, 1e-5f);
    ASSERT_EQ(c.d->heldCrest, c.d->crest);
    c.fill(0.5f);
    c.block[3] = 1.0f;
    c.step();
    const float spike = c.d->crest;
    EXPECT_NEAR(spike, 2.0f, 1e-3f);
    c.run(4500, 0.5f);
    EXPECT_EQ(c.d->heldCrest, spike);
    EXPECT_LT(c.d->crest, 1.01f);
    c.run(1, 0.5f);
    EXPECT_EQ(c.d->heldCrest, c.d->crest);
}

TEST(LevelDetector, WindowSumIsRetakenAtWrapsChangesAndEveryResumInterval) {
    Rig r(48000.0f);
    r.run(1, 0.0f);  // the reset block: position 1, sum 0
    ASSERT_EQ(r.d->position, 1u);
    // A constant level: the sum stays until 91 blocks have passed.
    r.fill(0.5f);
    for (int n = 1; n <= 90; ++n) {
        r.step();
        ASSERT_EQ(r.d->sum, 0.0f) << n;
    }
    r.step();
    EXPECT_EQ(r.d->sum, ring_sum(*r.d));
    EXPECT_NEAR(r.d->sum, 91 * 0.25f, 1e-4f);
    EXPECT_EQ(r.d->sinceResum, 0);

    // At the wrap of the ring the sum is retaken at once.
    while (r.d->position != 899) r.step();
    r.run(1, 1.0f);
    EXPECT_EQ(r.d->position, 0u);
    EXPECT_EQ(r.d->sinceResum, 0);
    EXPECT_EQ(r.d->sum, ring_sum(*r.d));
}

// Every re-sum equals the full ordered sum of the window, bit for bit, while
// entries are written, the window grows and shrinks and the ring is cleared.
TEST(LevelDetector, EveryResumEqualsTheFullOrderedSum) {
    Rig r(48000.0f);
    uint32_t seed = 99;
    auto noise = [&] {
        for (float& x : r.block) {
            seed = seed * 1664525u + 1013904223u;
            x = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
        }
    };
    int checked = 0;
    auto run_checked = [&](int blocks) {
        for (int i = 0; i < blocks; ++i) {
            noise();
            r.step();
            if (r.d->sinceResum == 0) {
                ASSERT_EQ(r.d->sum, ring_sum(*r.d)) << "block " << i << " length " << r.d->length;
                ++checked;
            }
        }
    };
    r.set(b2::ID_RMS_WINDOW, 3000.0f);
    run_checked(20000);  // two wraps of 8999 entries
    r.set(b2::ID_RMS_WINDOW, 700.0f);  // shorter: the position may lie beyond it
    run_checked(5000);
    r.set(b2::ID_RMS_WINDOW, 2500.0f);  // longer: older entries come back in
    run_checked(9000);
    r.set(b2::ID_GLOBAL_RESET, 1.0f);  // the ring is cleared
    run_checked(3000);
    EXPECT_GT(checked, 400);
}

// The same through the engine, where both channels' re-sums run together.
TEST(LevelDetector, PairedResumsEqualTheFullOrderedSums) {
    EnginePtr e(b2test::make_engine(48000.0f));
    b2::set_global_value(e.get(), b2::ID_RMS_WINDOW, 3000.0f);
    std::vector<float> l(16), r(16);
    float* in[2] = {l.data(), r.data()};
    uint32_t seed = 5;
    int checked = 0;
    for (int cell = 0; cell < 30000; ++cell) {
        for (int i = 0; i < 16; ++i) {
            seed = seed * 1664525u + 1013904223u;
            l[i] = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
            r[i] = 0.3f * l[i] + 0.01f * static_cast<float>(i);
        }
        if (cell == 12000) b2::set_global_value(e.get(), b2::ID_RMS_WINDOW, 1000.0f);
        b2::process_block(e.get(), in, in, 16);
        for (const b2::ChannelStrip& s : e->strips)
            if (s.detector.sinceResum == 0) {
                ASSERT_EQ(s.detector.sum, ring_sum(s.detector)) << "cell " << cell;
                ++checked;
            }
    }
    EXPECT_GT(checked, 600);
}

TEST(LevelDetector, WindowChangeKeepsTheRingAndRateChangeClearsIt) {
    Rig r(48000.0f);
    for (int i = 0; i < 600; ++i) {
        r.fill(static_cast<float>(i % 7) * 0.1f);
        r.step();
    }
    ASSERT_EQ(r.d->position, 600u);
    std::vector<float> before(r.d->ring, r.d->ring + r.d->capacity);

    // Longer window: the older entries (and zeros) count at once.
    r.set(b2::ID_RMS_WINDOW, 1000.0f);
    r.run(1, 0.3f);
    EXPECT_EQ(r.d->length, 3000u);
    EXPECT_EQ(r.d->position, 601u);
    for (int i = 0; i < 600; ++i) ASSERT_EQ(r.d->ring[i], before[i]) << i;
    EXPECT_EQ(r.d->ring[600], mean_square(r.block));
    EXPECT_EQ(r.d->sum, ring_sum(*r.d));

    // Shorter window with the write position beyond it: one more entry there,
    // then back to 0.
    r.set(b2::ID_RMS_WINDOW, 100.0f);
    r.run(1, 0.2f);
    EXPECT_EQ(r.d->length, 300u);
    EXPECT_EQ(r.d->position, 0u);
    EXPECT_EQ(r.d->ring[601], mean_square(r.block));
    EXPECT_EQ(r.d->sum, ring_sum(*r.d));

    // A new sample rate clears the ring in the next block and the RMS builds
    // up from zero; levels and held values are kept.
    r.run(50, 0.5f);
    const float heldPeak = r.d->heldPeak;
    r.set(b2::ID_SAMPLE_RATE_HOST, 44100.0f);
    b2::apply_sample_rate(r.e.get(), true);
    r.d->source = r.block;
    r.run(1, 0.5f);
    EXPECT_EQ(r.d->capacity, 8268);
    EXPECT_EQ(r.d->position, 1u);
    EXPECT_EQ(r.d->length, 275u);  // 100 ms
    EXPECT_EQ(r.d->sum, 0.25f);
    for (int i = 1; i < r.d->capacity; ++i) ASSERT_EQ(r.d->ring[i], 0.0f) << i;
    EXPECT_EQ(r.d->heldPeak, heldPeak);

    // Starting or stopping processing resets the same way.
    r.run(10, 0.5f);
    r.set(b2::ID_GLOBAL_RESET, 1.0f);
    r.run(1, 0.0f);
    EXPECT_EQ(r.d->position, 1u);
    EXPECT_EQ(r.d->sum, 0.0f);
}

TEST(LevelDetector, NonFiniteSamplesAreNotMeasuredAndTheMeterRecovers) {
    Rig r(48000.0f);
    r.run(100, 0.25f);
    r.fill(0.25f);
    r.block[2] = kInf;
    r.block[3] = kNaN;
    r.block[4] = -kInf;
    r.block[9] = 0.5f;
    r.step();
    // The bad samples count as silence: the peak is the largest finite one and
    // the block's mean square leaves them out.
    EXPECT_EQ(r.d->peak, 0.5f);
    const uint32_t last = r.d->position ? r.d->position - 1 : r.d->length - 1;
    EXPECT_EQ(r.d->ring[last], (12 * 0.0625f + 0.25f) * 0.0625f);
    EXPECT_TRUE(std::isfinite(r.d->sum));
    EXPECT_TRUE(std::isfinite(r.d->crest));

    // A block of nothing but +Inf or NaN leaves the peak falling as for silence.
    r.run(1, kInf);
    EXPECT_EQ(r.d->peak, 0.5f * r.d->decay);
    r.run(1, kNaN);
    EXPECT_EQ(r.d->peak, 0.5f * r.d->decay * r.d->decay);
    EXPECT_TRUE(std::isfinite(r.d->sum));
    EXPECT_TRUE(std::isfinite(r.d->heldSum));
    EXPECT_TRUE(std::isfinite(r.d->heldCrest));

    // Through the whole engine with "K Filter" off: the detector sees the raw
    // gained input and a burst of Inf and NaN does not stick in the readouts.
    EnginePtr e(b2test::make_engine(48000.0f));
    std::vector<float> l(48000, 0.5f), rr(48000, 0.5f);
    for (int i = 1000; i < 1100; ++i) l[i] = (i % 2) ? kInf : kNaN;
    for (int i = 1000; i < 1100; ++i) rr[i] = -kInf;
    for (size_t at = 0; at < l.size(); at += 480) {
        float* ins[2] = {l.data() + at, rr.data() + at};
        b2::process_block(e.get(), ins, ins, 480);  // in place; the input is not reused
        for (b2::ChannelStrip& s : e->strips) s.detector.snapshot.ready.store(0);
    }
    for (const b2::ChannelStrip& s : e->strips) {
        const LevelDetector& d = s.detector;
        EXPECT_NEAR(d.peak, 0.5f, 1e-3f);
        EXPECT_NEAR(d.sum / static_cast<float>(d.length), 0.25f, 1e-3f);
        EXPECT_NEAR(d.crest, 1.0f, 1e-3f);
        EXPECT_TRUE(std::isfinite(d.heldPeak) && std::isfinite(d.heldSum) && std::isfinite(d.heldCrest));
    }
}

TEST(LevelDetector, WithoutAUsableRingOnlyThePeakIsMeasured) {
    Rig r(48000.0f);
    r.run(1000, 0.5f);
    ASSERT_GT(r.d->sum, 0.0f);
    b2::releaseStrips(r.e.get());  // as after a failed allocation: no ring
    ASSERT_EQ(r.d->ring, nullptr);
    r.run(1, 0.75f);
    EXPECT_EQ(r.d->peak, 0.75f);
    EXPECT_EQ(r.d->sum, 0.0f);
    EXPECT_EQ(r.d->heldSum, 0.0f);
    EXPECT_EQ(r.d->crest, 0.0f);

    // Sample rates that leave no ring, or one too small for a window of one
    // block: the detector keeps measuring the peak and never reads outside
    // the ring (the sanitizer build checks the latter).
    for (float rate : {0.0f, kNaN, -48000.0f, 1e-30f, 8.0f}) {
        EnginePtr e(b2test::make_engine(rate));
        ASSERT_NE(e, nullptr);
        std::vector<float> in(256, 0.5f), out(256);
        float* ins[2] = {in.data(), in.data()};
        float* outs[2] = {out.data(), out.data()};
        for (int i = 0; i < 20; ++i) b2::process_block(e.get(), ins, outs, 256);
        const LevelDetector& d = e->strips[0].detector;
        EXPECT_EQ(d.sum, 0.0f) << rate;
        EXPECT_EQ(d.crest, 0.0f) << rate;
        EXPECT_GE(d.decay, 0.0f) << rate;
        EXPECT_LE(d.decay, 1.0f) << rate;
        EXPECT_TRUE(std::isfinite(d.peak)) << rate;
        EXPECT_EQ(d.snapshot.ready.load(), 1) << rate;
        EXPECT_TRUE(std::isfinite(d.snapshot.rmsDb)) << rate;
    }

    // The smallest rate with a usable ring: capacity 2, window of one block.
    Rig small(11.0f);
    ASSERT_EQ(small.d->capacity, 2);
    small.run(3, 0.5f);
    EXPECT_EQ(small.d->length, 1u);
    EXPECT_EQ(small.d->sum, 0.25f);
}

}  // namespace
