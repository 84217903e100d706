// The loudness meter on the EBU's conformance signals (Tech 3341 and 3342
// minimum requirements, built here from their levels and durations), on
// channels that differ, on random host partitions, through reset and pause,
// and over six hours in constant memory.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <random>
#include <vector>

#include "dsp/denormal_guard.h"
#include "dsp/loudness_meter.h"
#include "tests/counting_new.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif


namespace {

constexpr double kPi = 3.14159265358979323846;

// A stereo signal built from pieces of sine; the phase runs on across pieces.
struct Stereo {
    double rate;
    std::vector<float> left, right;
    double phase = 0;
    explicit Stereo(double fs) : rate(fs) {}
    // `seconds` of a sine of peak level `dbfs` on the chosen channels.
    Stereo& sine(double dbfs, double seconds, double hz = 1000.0, bool onLeft = true, bool onRight = true) {
        const double amp = std::pow(10.0, dbfs / 20.0);
        const long n = std::lround(seconds * rate);
        for (long i = 0; i < n; ++i) {
            const float v = static_cast<float>(amp * std::sin(phase));
            phase += 2.0 * kPi * hz / rate;
            left.push_back(onLeft ? v : 0.0f);
            right.push_back(onRight ? v : 0.0f);
        }
        return *this;
    }
    long frames() const { return static_cast<long>(left.size()); }
};

std::unique_ptr<b2::LoudnessMeter> make_meter(double rate, int channels = 2) {
    auto m = std::make_unique<b2::LoudnessMeter>();
    EXPECT_TRUE(b2::prepare_loudness(*m, channels, rate));
    return m;
}

void feed(b2::LoudnessMeter& m, const Stereo& s, long from, long to) {
    const float* in[2] = {s.left.data() + from, s.right.data() + from};
    b2::process_loudness(m, in, static_cast<int>(to - from));
}

// Feeds the signal in chunks of `chunk` samples, calling `each` after each.
template <typename F>
void feed_chunks(b2::LoudnessMeter& m, const Stereo& s, long chunk, F each) {
    for (long pos = 0; pos < s.frames(); pos += chunk) {
        feed(m, s, pos, std::min(pos + chunk, s.frames()));
        each(pos + chunk);
    }
}

b2::LoudnessReadings measure(const Stereo& s) {
    auto m = make_meter(s.rate);
    feed_chunks(*m, s, 4096, [](long) {});
    return m->readings;
}

constexpr double kConformanceRates[] = {44100.0, 48000.0, 96000.0};

TEST(LoudnessMeter, IntegratedMeetsTech3341Cases1To5) {
    for (double fs : kConformanceRates) {
        SCOPED_TRACE(fs);
        EXPECT_NEAR(measure(Stereo(fs).sine(-23, 20)).integrated, -23.0, 0.1);
        EXPECT_NEAR(measure(Stereo(fs).sine(-33, 20)).integrated, -33.0, 0.1);
        EXPECT_NEAR(measure(Stereo(fs).sine(-36, 10).sine(-23, 60).sine(-36, 10)).integrated, -23.0, 0.1);
        EXPECT_NEAR(
            measure(Stereo(fs).sine(-72, 10).sine(-36, 10).sine(-23, 60).sine(-36, 10).sine(-72, 10)).integrated,
            -23.0, 0.1);
        EXPECT_NEAR(measure(Stereo(fs).sine(-26, 20).sine(-20, 20.1).sine(-26, 20)).integrated, -23.0, 0.1);
    }
}

// Two levels alternating with the window's period: the window always holds
// one period, so the reading is constant at -23 LUFS once it has filled.
TEST(LoudnessMeter, MomentaryAndShortTermConstantOnAlternatingLevels) {
    for (double fs : {44100.0, 48000.0}) {
        SCOPED_TRACE(fs);
        Stereo fast(fs), slow(fs);
        for (int i = 0; i < 20; ++i) fast.sine(-20, 0.18).sine(-30, 0.22);
        for (int i = 0; i < 5; ++i) slow.sine(-20, 1.34).sine(-30, 1.66);
        auto m = make_meter(fs);
        const long step = std::lround(fs / 10);
        int checked = 0;
        feed_chunks(*m, fast, step, [&](long at) {
            if (at < 4 * step || at > fast.frames()) return;
            EXPECT_NEAR(m->readings.momentary, -23.0, 0.1) << "at " << at;
            ++checked;
        });
        EXPECT_GT(checked, 70);
        m = make_meter(fs);
        feed_chunks(*m, slow, step, [&](long at) {
            if (at < 30 * step || at > slow.frames()) return;
            EXPECT_NEAR(m->readings.shortTerm, -23.0, 0.1) << "at " << at;
        });
    }
}

TEST(LoudnessMeter, RangeMeetsTech3342Cases1To4) {
    for (double fs : {44100.0, 48000.0}) {
        SCOPED_TRACE(fs);
        EXPECT_NEAR(measure(Stereo(fs).sine(-20, 20).sine(-30, 20)).range, 10.0, 1.0);
        EXPECT_NEAR(measure(Stereo(fs).sine(-20, 20).sine(-15, 20)).range, 5.0, 1.0);
        EXPECT_NEAR(measure(Stereo(fs).sine(-40, 20).sine(-20, 20)).range, 20.0, 1.0);
        EXPECT_NEAR(measure(Stereo(fs).sine(-50, 20).sine(-35, 20).sine(-20, 20).sine(-35, 20).sine(-50, 20)).range,
                    15.0, 1.0);
    }
}

// One channel silent, the other a 997 Hz sine at half scale: the loudness
// of that channel alone (-9.03 LUFS), whichever side it is on, and exactly
// what a mono meter reads for it.
TEST(LoudnessMeter, ChannelsAreMeasuredApart) {
    const double alone = 20.0 * std::log10(0.5) - 10.0 * std::log10(2.0);
    Stereo right(48000.0), left(48000.0);
    right.sine(20.0 * std::log10(0.5), 5, 997, false, true);
    left.sine(20.0 * std::log10(0.5), 5, 997, true, false);
    const b2::LoudnessReadings r = measure(right), l = measure(left);
    EXPECT_NEAR(r.integrated, alone, 0.01);
    EXPECT_NEAR(r.momentaryMax, alone, 0.01);
    EXPECT_EQ(r.integrated, l.integrated);
    auto mono = make_meter(48000.0, 1);
    const float* in[1] = {right.right.data()};
    b2::process_loudness(*mono, in, static_cast<int>(right.frames()));
    EXPECT_EQ(mono->readings.integrated, r.integrated);
    EXPECT_EQ(mono->readings.shortTerm, r.shortTerm);
}

// Random calls of 1 to 4096 samples give the readings of one whole pass,
// bit for bit, at checkpoints between the steps, also at a rate whose
// 100 ms is not a whole number of samples.
TEST(LoudnessMeter, RandomPartitionsGiveIdenticalReadings) {
    for (double fs : {11025.0, 44100.0, 96000.0}) {
        SCOPED_TRACE(fs);
        Stereo s(fs);
        std::mt19937 rng(static_cast<unsigned>(fs));
        std::uniform_real_distribution<double> level(-45.0, -5.0);
        for (int i = 0; i < 24; ++i) s.sine(level(rng), 0.37 + 0.01 * i, 200.0 + 300.0 * i);
        for (float& v : s.left) v *= 0.7f;  // the channels differ
        const long checkpoint = std::lround(fs * 0.73);
        auto whole = make_meter(fs), parts = make_meter(fs);
        std::uniform_int_distribution<int> size(1, 4096);
        for (long pos = 0; pos < s.frames(); pos += checkpoint) {
            const long end = std::min(pos + checkpoint, s.frames());
            feed(*whole, s, pos, end);
            for (long p = pos; p < end;) {
                const long q = std::min(end, p + size(rng));
                feed(*parts, s, p, q);
                p = q;
            }
            ASSERT_EQ(0, std::memcmp(&whole->readings, &parts->readings, sizeof(b2::LoudnessReadings))) << pos;
        }
        EXPECT_GT(whole->readings.range, 1.0);
    }
}

// Step k ends at floor(k R / 10): at 11.025 kHz steps of 1102 and 1103
// samples alternate, and every second step ends on 200 ms exactly.
TEST(LoudnessMeter, StepsEndOnExactSampleBoundaries) {
    auto m = make_meter(11025.0);
    std::vector<float> ones(11025, 0.1f);
    const float* in[2] = {ones.data(), ones.data()};
    b2::process_loudness(*m, in, 1101);
    EXPECT_EQ(m->readings.steps, 0u);
    b2::process_loudness(*m, in, 1);
    EXPECT_EQ(m->readings.steps, 1u);
    b2::process_loudness(*m, in, 1102);
    EXPECT_EQ(m->readings.steps, 1u);
    b2::process_loudness(*m, in, 1);
    EXPECT_EQ(m->readings.steps, 2u);
    // 100 s of samples in all: exactly 1000 steps, the last ending on the last sample.
    b2::process_loudness(*m, in, 11025 - 2205);
    for (int i = 1; i < 100; ++i) b2::process_loudness(*m, in, 11025 - (i == 99 ? 1 : 0));
    EXPECT_EQ(m->readings.steps, 999u);
    b2::process_loudness(*m, in, 1);
    EXPECT_EQ(m->readings.steps, 1000u);
}

// A reset discards what was integrated (maxima too); a pause stops
// integration and maxima while momentary and short-term go on.
TEST(LoudnessMeter, ResetAndPause) {
    Stereo loud(48000.0), quiet(48000.0);
    loud.sine(-20, 10);
    quiet.sine(-30, 10);
    auto m = make_meter(48000.0);
    feed(*m, loud, 0, loud.frames());
    EXPECT_NEAR(m->readings.integrated, -20.0, 0.05);
    b2::request_loudness_reset(*m);
    feed(*m, quiet, 0, 4800);  // the step that consumes the reset
    EXPECT_EQ(m->readings.integratedSeconds, 0.0);
    EXPECT_TRUE(std::isinf(m->readings.integrated));
    EXPECT_NEAR(m->readings.momentary, -21.11, 0.02);  // 300 ms loud, 100 ms quiet: still running
    feed(*m, quiet, 4800, quiet.frames());
    EXPECT_NEAR(m->readings.integrated, -30.0, 0.05);
    EXPECT_NEAR(m->readings.momentaryMax, -30.0, 0.05);
    EXPECT_NEAR(m->readings.shortTermMax, -30.0, 0.05);
    EXPECT_NEAR(m->readings.integratedSeconds, 9.9, 1e-9);

    b2::set_loudness_paused(*m, true);
    feed(*m, loud, 0, loud.frames());
    EXPECT_NEAR(m->readings.momentary, -20.0, 0.05);
    EXPECT_NEAR(m->readings.shortTerm, -20.0, 0.05);
    EXPECT_NEAR(m->readings.integrated, -30.0, 0.05);
    EXPECT_NEAR(m->readings.momentaryMax, -30.0, 0.05);
    EXPECT_NEAR(m->readings.integratedSeconds, 9.9, 1e-9);
    b2::set_loudness_paused(*m, false);
    feed(*m, quiet, 0, quiet.frames());
    EXPECT_NEAR(m->readings.integrated, -30.0, 0.05);
    EXPECT_NEAR(m->readings.momentaryMax, -30.0, 0.05);  // no window reaching into the paused part
    EXPECT_NEAR(m->readings.shortTermMax, -30.0, 0.05);
    EXPECT_NEAR(m->readings.integratedSeconds, 19.9, 1e-9);
}

// Non-finite samples count as silence, each alone: a NaN or infinity every
// 9000 samples leaves a -23 LUFS sine at -23 LUFS (a channel that lost its
// step to each would read 3 LU low), and samples that overflow the weighting
// cost no more than their step.
TEST(LoudnessMeter, NonFiniteSamplesCountAsSilence) {
    Stereo s(48000.0);
    s.sine(-23, 10);
    for (size_t i = 0; i < s.left.size(); i += 9000) {
        s.left[i] = std::nanf("");
        s.right[i + 4500 < s.right.size() ? i + 4500 : i] = (i / 9000) % 2 ? INFINITY : -INFINITY;
    }
    const b2::LoudnessReadings r = measure(s);
    EXPECT_NEAR(r.integrated, -23.0, 0.02);
    EXPECT_NEAR(r.momentaryMax, -23.0, 0.02);
    EXPECT_NEAR(r.shortTerm, -23.0, 0.02);

    Stereo huge(48000.0);
    huge.sine(-23, 10);
    for (size_t i = 200000; i < 200010; ++i) huge.left[i] = 3.0e38f;  // the weighting's gain overflows these
    const b2::LoudnessReadings h = measure(huge);
    EXPECT_TRUE(std::isfinite(h.integrated));
    EXPECT_TRUE(std::isfinite(h.shortTerm));
    EXPECT_NEAR(h.shortTerm, -23.0, 0.05);
}

// Six hours at 48 kHz from a few prepared seconds at varying levels: no heap
// growth, and the integrated value of the levels' known mix.
TEST(LoudnessMeter, SixHoursInConstantMemory) {
    riser::DenormalGuard guard;
    Stereo second(48000.0);
    second.sine(-23, 1.0, 1000.0);
    auto m = make_meter(48000.0);
    std::vector<float> quiet(second.left.size()), scratch(second.left.size());
    for (size_t i = 0; i < quiet.size(); ++i) quiet[i] = second.left[i] * 0.5f;  // -29 dBFS
    const unsigned long long news = b2test::news_so_far();
#if defined(__GLIBC__)
    const size_t heap = mallinfo2().uordblks;
#endif
    for (int s = 0; s < 6 * 3600; ++s) {
        const float* src = (s / 60) % 2 ? quiet.data() : second.left.data();  // minutes alternate
        const float* in[2] = {src, src};
        b2::process_loudness(*m, in, static_cast<int>(second.frames()));
    }
    EXPECT_EQ(b2test::news_so_far(), news);
#if defined(__GLIBC__)
    EXPECT_EQ(mallinfo2().uordblks, heap);
#endif
    // Both levels pass the gate: the energy mean of -23 and -29.02 LUFS.
    const double mix = 10.0 * std::log10(0.5 * (std::pow(10.0, -2.3) + std::pow(10.0, -2.3) * 0.25));
    EXPECT_NEAR(m->readings.integrated, mix, 0.02);
    EXPECT_NEAR(m->readings.integratedSeconds, 6 * 3600.0, 1e-6);
    EXPECT_NEAR(m->readings.range, 6.0, 0.1);
}

TEST(LoudnessMeter, RefusesUnsupportedSetUps) {
    auto m = make_meter(48000.0);
    EXPECT_FALSE(b2::prepare_loudness(*m, 3, 48000.0));
    EXPECT_FALSE(b2::prepare_loudness(*m, 0, 48000.0));
    EXPECT_FALSE(b2::prepare_loudness(*m, 2, 4000.0));
    EXPECT_FALSE(b2::prepare_loudness(*m, 2, NAN));
    EXPECT_EQ(m->rate, 48000);
}

}  // namespace
