// The dB readouts a level detector publishes: the conversion itself and the
// values that arrive in the snapshot through the audio-side script hook.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "dsp/channel_strip.h"
#include "dsp/readouts.h"
#include "tests/test_support.h"

namespace {

using b2::LevelDetector;
using b2::MeterSnapshot;

using b2test::EnginePtr;

LevelDetector levels(float peak, float sum, float crest, uint32_t length) {
    LevelDetector d;
    d.length = length;
    d.peak = d.heldPeak = peak;
    d.sum = d.heldSum = sum;
    d.crest = d.heldCrest = crest;
    return d;
}

TEST(Readouts, SineSquareAndSilence) {
    // Sine of amplitude 1: mean square 0.5 over a 900-block window.
    LevelDetector sine = levels(1.0f, 450.0f, 1.0f / std::sqrt(0.5f), 900);
    b2::updateReadouts(sine);
    const MeterSnapshot& s = sine.snapshot;
    EXPECT_EQ(s.peakDb, 0.0f);
    EXPECT_EQ(s.heldPeakDb, 0.0f);
    EXPECT_NEAR(s.rmsDb, -0.0103f, 1e-4f);
    EXPECT_EQ(s.heldRmsDb, s.rmsDb);
    EXPECT_NEAR(s.crestDb, 0.0103f, 1e-4f);
    EXPECT_EQ(s.heldCrestDb, s.crestDb);
    EXPECT_NEAR(s.crestDb, s.peakDb - s.rmsDb, 1e-5f);

    // +-1 square: RMS +3 dB, crest -3 dB.
    LevelDetector square = levels(1.0f, 900.0f, 1.0f, 900);
    b2::updateReadouts(square);
    EXPECT_EQ(square.snapshot.peakDb, 0.0f);
    EXPECT_EQ(square.snapshot.rmsDb, 3.0f);
    EXPECT_EQ(square.snapshot.crestDb, -3.0f);

    // Silence reads the floor, -280 dB, in all six fields.
    LevelDetector quiet = levels(0.0f, 0.0f, 0.0f, 900);
    b2::updateReadouts(quiet);
    const MeterSnapshot& q = quiet.snapshot;
    EXPECT_FLOAT_EQ(q.peakDb, -280.0f);
    EXPECT_FLOAT_EQ(q.heldPeakDb, -280.0f);
    EXPECT_FLOAT_EQ(q.rmsDb, -280.0f);
    EXPECT_FLOAT_EQ(q.heldRmsDb, -280.0f);
    EXPECT_FLOAT_EQ(q.crestDb, -280.0f);
    EXPECT_FLOAT_EQ(q.heldCrestDb, -280.0f);
}

TEST(Readouts, HeldAndCurrentValuesAreConvertedSeparately) {
    LevelDetector d = levels(0.5f, 90.0f, 2.0f, 900);
    d.heldPeak = 0.1f;
    d.heldSum = 9.0f;
    d.heldCrest = 4.0f;
    b2::updateReadouts(d);
    EXPECT_NEAR(d.snapshot.peakDb, -6.0206f, 1e-4f);
    EXPECT_NEAR(d.snapshot.heldPeakDb, -20.0f, 1e-4f);
    EXPECT_NEAR(d.snapshot.rmsDb, -10.0f + 3.0f, 1e-4f);  // sqrt(0.1)
    EXPECT_NEAR(d.snapshot.heldRmsDb, -20.0f + 3.0f, 1e-4f);
    EXPECT_NEAR(d.snapshot.crestDb, 6.0206f - 3.0f, 1e-4f);
    EXPECT_NEAR(d.snapshot.heldCrestDb, 12.0412f - 3.0f, 1e-4f);
}

TEST(Readouts, DetectorWithoutAWindowReadsSilentRms) {
    LevelDetector d = levels(0.5f, 3.0f, 0.0f, 0);
    b2::updateReadouts(d);
    EXPECT_FLOAT_EQ(d.snapshot.rmsDb, -280.0f);
    EXPECT_FLOAT_EQ(d.snapshot.heldRmsDb, -280.0f);
    EXPECT_NEAR(d.snapshot.peakDb, -6.0206f, 1e-4f);
}

TEST(Readouts, PublishedSnapshotHoldsTheReadoutsOfItsBlock) {
    EnginePtr e(b2test::make_engine(48000.0f));
    ASSERT_NE(e, nullptr);
    // A 3 kHz sine of amplitude 1 on both channels, "Gain" 0 dB.
    float wave[b2::kBlock];
    for (int i = 0; i < b2::kBlock; ++i) wave[i] = static_cast<float>(std::sin(2.0 * 3.14159265358979323846 * i / 16));
    float out[2][b2::kBlock];
    float* ins[2] = {wave, wave};
    float* outs[2] = {out[0], out[1]};
    for (int n = 0; n < 6000; ++n) {  // past the gain's settling and the first crest hold
        b2::process_block(e.get(), ins, outs, b2::kBlock);
        if (n % 5 == 0)
            for (b2::ChannelStrip& s : e->strips) s.detector.snapshot.ready.store(0);
    }
    for (b2::ChannelStrip& s : e->strips) s.detector.snapshot.ready.store(0);
    b2::process_block(e.get(), ins, outs, b2::kBlock);

    for (const b2::ChannelStrip& s : e->strips) {
        const MeterSnapshot& p = s.detector.snapshot;
        ASSERT_EQ(p.ready.load(), 1);
        // The dB fields belong to the levels of the block that published.
        LevelDetector now = s.detector;
        b2::updateReadouts(now);
        EXPECT_EQ(p.peakDb, now.snapshot.peakDb);
        EXPECT_EQ(p.heldPeakDb, now.snapshot.heldPeakDb);
        EXPECT_EQ(p.rmsDb, now.snapshot.rmsDb);
        EXPECT_EQ(p.heldRmsDb, now.snapshot.heldRmsDb);
        EXPECT_EQ(p.crestDb, now.snapshot.crestDb);
        EXPECT_EQ(p.heldCrestDb, now.snapshot.heldCrestDb);
        EXPECT_NEAR(p.peakDb, 0.0f, 1e-4f);
        EXPECT_NEAR(p.rmsDb, -0.0103f, 1e-3f);
        EXPECT_NEAR(p.crestDb, 0.0103f, 1e-3f);
        // The display parameters beside them (defaults).
        EXPECT_EQ(p.scaleTop, 0.0f);
        EXPECT_EQ(p.scaleZero, 0.0f);
        EXPECT_EQ(p.segmentHeight, 16.0f);
        EXPECT_EQ(p.peakThresholds[b2::kClip], -4.0f);
        EXPECT_EQ(p.peakThresholds[b2::kHigh], -6.0f);
        EXPECT_EQ(p.peakThresholds[b2::kLow], -8.0f);
        EXPECT_EQ(p.rmsThresholds[b2::kClip], 0.0f);
        EXPECT_EQ(p.rmsThresholds[b2::kHigh], -18.0f);
        EXPECT_EQ(p.rmsThresholds[b2::kLow], -20.0f);
        EXPECT_EQ(p.crestThresholds[b2::kClip], 0.0f);
        EXPECT_EQ(p.crestThresholds[b2::kHigh], 14.0f);
        EXPECT_EQ(p.crestThresholds[b2::kLow], 12.0f);
    }
}

}  // namespace
