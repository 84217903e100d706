// True peak: readings of sines whose continuous peak is known, the
// oversampling by rate, both polarities, non-finite samples, the channels,
// pause and reset, host partitions, the vector codes against their twin and
// the readings against the filter's points computed in double.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "dsp/true_peak.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
using Signal = std::vector<float>;

double db(double v) { return 20.0 * std::log10(v); }

// A steady sine of `seconds` with raised-cosine fades of 10 ms at both ends;
// its continuous peak is `amp`, reached in the steady part.
Signal sine(double fs, double f, double amp, double phase_deg, double seconds = 1.0) {
    const int n = static_cast<int>(fs * seconds), fade = static_cast<int>(fs * 0.01);
    Signal s(n);
    for (int i = 0; i < n; ++i) {
        double g = 1.0;
        const int edge = std::min(i, n - 1 - i);
        if (edge < fade) g = 0.5 - 0.5 * std::cos(kPi * edge / fade);
        s[i] = static_cast<float>(g * amp * std::sin(2.0 * kPi * f * i / fs + phase_deg * kPi / 180.0));
    }
    return s;
}

Signal negated(Signal s) {
    for (float& x : s) x = -x;
    return s;
}

struct Meter {
    b2::TruePeak t;
    explicit Meter(double fs, int channels = 2) { EXPECT_TRUE(b2::prepare_true_peak(t, fs, channels)); }
    void run(const Signal& l, const Signal& r) { b2::run_true_peak(t, l.data(), r.data(), static_cast<int>(l.size())); }
    void run(const Signal& mono) { b2::run_true_peak(t, mono.data(), nullptr, static_cast<int>(mono.size())); }
    float left() const { return b2::true_peak(t, 0); }
    float right() const { return b2::true_peak(t, 1); }
};

float reading(double fs, const Signal& s) {
    Meter m(fs, 1);
    m.run(s);
    return m.left();
}

float sample_peak(const Signal& s) {
    float m = 0;
    for (float x : s) m = std::max(m, std::fabs(x));
    return m;
}

struct Case {
    double divisor, amp, phase;
};

// The sines of EBU Tech 3341's true-peak cases: 0.5 FS at fs/4, fs/6 and
// fs/8 in phase and with their peaks half-way between two samples, and
// 1.41 FS at fs/4 whose samples all stay below full scale (+3 dBTP between
// them). At 192 kHz, where the samples are measured themselves, the same
// construction at a quarter of the relative frequency (fs/16 ..).
TEST(TruePeak, SinesReadTheirContinuousPeakWithinTolerance) {
    const Case cases[] = {{4, 0.5, 0}, {4, 0.5, 45}, {6, 0.5, 60}, {8, 0.5, 67.5}, {4, 1.41, 45}};
    for (double fs : {44100.0, 48000.0, 96000.0, 192000.0}) {
        const double scale = fs >= 192000.0 ? 4.0 : 1.0;
        for (const Case& c : cases) {
            const double divisor = c.divisor * scale;
            const double phase = c.phase == 0 ? 0 : 90.0 - 180.0 / divisor;  // peak between two samples
            const Signal s = sine(fs, fs / divisor, c.amp, phase);
            const float tp = reading(fs, s);
            SCOPED_TRACE(testing::Message() << fs << " Hz, fs/" << divisor << ", " << c.amp << " FS, " << phase << " deg");
            EXPECT_LE(db(tp), db(c.amp) + 0.2);
            EXPECT_GE(db(tp), db(c.amp) - 0.4);
            // Both polarities: the inverted signal reads exactly the same.
            EXPECT_EQ(reading(fs, negated(s)), tp);
            if (c.amp > 1.0 && fs < 192000.0) {
                EXPECT_LT(sample_peak(s), 1.0f) << "an inter-sample peak";
            }
        }
    }
}

// 4x below 96 kHz, 2x below 192 kHz, the samples themselves from there up:
// a quarter-rate sine with its peaks between the samples is found up to
// 176.4 kHz and reads as its samples (3 dB low) from 192 kHz.
TEST(TruePeak, OversamplingFollowsTheRate) {
    for (double fs : {8000.0, 88200.0, 96000.0, 176400.0, 192000.0, 384000.0, 768000.0}) {
        const Signal s = sine(fs, fs / 4, 0.5, 45, 0.1);
        const float tp = reading(fs, s);
        SCOPED_TRACE(fs);
        if (fs < 192000.0) {
            EXPECT_GE(db(tp), db(0.5) - 0.4);
            EXPECT_GT(tp, sample_peak(s) * 1.3f);
        } else {
            EXPECT_EQ(tp, sample_peak(s));
        }
        // At 4x a point falls 1/8 sample after each sample: with the samples
        // 1/8 sample (11.25 degrees) before the peaks, it lands on them. The
        // 2x points (3/8 and 5/8) do not, and the reading stays near the
        // samples' (-0.17 dB).
        const float early = reading(fs, sine(fs, fs / 4, 0.5, 78.75, 0.1));
        if (fs < 96000.0) {
            EXPECT_NEAR(db(early), db(0.5), 0.05);
        } else if (fs < 192000.0) {
            EXPECT_LT(db(early), db(0.5) - 0.1);
        }
    }
}

// Two equal neighbours: the signal between them rises above both.
Signal pair(float v) {
    Signal s(200, 0.0f);
    s[100] = s[101] = v;
    return s;
}

TEST(TruePeak, NegativeSamplesCountAsMuchAsPositiveOnes) {
    Signal s(1000, 0.0f);
    s[500] = -0.8f;
    EXPECT_GE(reading(48000, s), 0.8f);
    // Between two negative samples the signal goes further down.
    EXPECT_GT(reading(48000, pair(-0.5f)), 0.55f);
    EXPECT_EQ(reading(48000, pair(-0.5f)), reading(48000, pair(0.5f)));
    Signal below = sine(48000, 1000, 0.5, 0);
    for (float& x : below) x = -std::fabs(x);  // never above zero
    EXPECT_GE(db(reading(48000, below)), db(0.5) - 0.4);
}

// NaN and infinities neither read as a peak nor disturb the points around
// them: the stream reads as if they were silence. Points that overflow are
// left out too, so the reading stays finite.
TEST(TruePeak, NonFiniteSamplesAreExcluded) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    for (double fs : {48000.0, 96000.0, 192000.0}) {
        Signal s = sine(fs, fs / 6, 0.5, 60, 0.2), silenced = s;
        const size_t at[] = {100, 101, 2000, 5000, s.size() - 1};
        const float bad[] = {nan, inf, -inf, -nan, inf};
        for (int i = 0; i < 5; ++i) {
            s[at[i]] = bad[i];
            silenced[at[i]] = 0.0f;
        }
        EXPECT_EQ(reading(fs, s), reading(fs, silenced)) << fs;
        EXPECT_EQ(reading(fs, Signal{nan, inf, -inf, nan}), 0.0f) << fs;
        // Right after an inter-sample peak: as silence, a NaN leaves its
        // points measurable.
        Signal peak = pair(0.5f), peak_silenced = peak;
        peak[104] = nan;
        if (fs < 192000.0) {
            EXPECT_GT(reading(fs, peak), 0.55f) << fs;
        }
        EXPECT_EQ(reading(fs, peak), reading(fs, peak_silenced)) << fs;

        Signal huge(64);
        for (size_t i = 0; i < huge.size(); ++i) huge[i] = (i % 2 ? -3.0e38f : 3.0e38f);
        const float tp = reading(fs, huge);
        EXPECT_TRUE(std::isfinite(tp)) << fs;
        EXPECT_GE(tp, 3.0e38f) << fs;
    }
}

// A fault that fed one channel from the other would go unnoticed with the
// same signal on both: left silent, right a 997 Hz sine, and the reverse.
TEST(TruePeak, ChannelsAreMeasuredApart) {
    const Signal silence(48000, 0.0f), tone = sine(48000, 997, 0.5, 0);
    Meter m(48000);
    m.run(silence, tone);
    EXPECT_EQ(m.left(), 0.0f);
    EXPECT_NEAR(db(m.right()), db(0.5), 0.2);
    Meter swapped(48000);
    swapped.run(tone, silence);
    EXPECT_EQ(swapped.left(), m.right());
    EXPECT_EQ(swapped.right(), 0.0f);
    // Mono measures the left only and never reads a right buffer.
    Meter mono(48000, 1);
    mono.run(tone, tone);
    EXPECT_EQ(mono.left(), m.right());
    EXPECT_EQ(mono.right(), 0.0f);
}

TEST(TruePeak, RefusesUnsupportedSetUp) {
    Meter m(48000);
    m.run(sine(48000, 1000, 0.5, 0, 0.1));
    const float before = m.left();
    for (double fs : {0.0, 7999.0, 768001.0, std::nan("")}) EXPECT_FALSE(b2::prepare_true_peak(m.t, fs, 2));
    EXPECT_FALSE(b2::prepare_true_peak(m.t, 48000, 0));
    EXPECT_FALSE(b2::prepare_true_peak(m.t, 48000, 3));
    EXPECT_EQ(m.left(), before);
    EXPECT_EQ(m.t.channels, 2);
}

// While paused the maximum holds, and after a reset it starts afresh; the
// points next to either change describe the signal six samples back, so the
// loud stretch must not leak into the reading through them.
TEST(TruePeak, PauseHoldsAndResetClears) {
    const double fs = 48000;
    const Signal quiet = sine(fs, fs / 4, 0.1, 45, 0.1), loud = sine(fs, fs / 4, 0.9, 45, 0.1);
    // Loud right up to the change: the fades would hide a leak.
    Signal loud_edge(loud.begin(), loud.begin() + 2400);
    Meter m(fs, 1);
    m.run(quiet);
    const float quiet_peak = m.left();
    m.t.paused = true;
    m.run(loud_edge);
    EXPECT_EQ(m.left(), quiet_peak);
    m.t.paused = false;
    m.run(quiet);
    EXPECT_EQ(m.left(), quiet_peak);

    m.run(loud_edge);
    EXPECT_GT(m.left(), 0.8f);
    b2::reset_true_peak(m.t);
    EXPECT_EQ(m.left(), 0.0f);
    m.run(quiet);
    EXPECT_EQ(m.left(), quiet_peak);
}

// Programme-like material with NaN, infinities and huge samples in it.
Signal programme(double fs, int n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    Signal s(n);
    for (int i = 0; i < n; ++i)
        s[i] = static_cast<float>(0.4 * std::sin(2 * kPi * (200.0 + 9000.0 * i / n) * i / fs)) + 0.3f * u(rng);
    const float odd[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(), 3.0e38f, -2.5e38f, 1e-40f};
    for (int k = 0; k < 40; ++k) s[rng() % n] = odd[k % 6];
    return s;
}

// An owner's timeline: at these samples it pauses, resumes and resets.
struct Event {
    int at;
    char what;  // 'p' pause, 'r' resume, 'x' reset
};
const Event kEvents[] = {{9000, 'p'}, {9003, 'r'}, {20000, 'p'}, {31000, 'r'}, {40001, 'x'}, {40002, 'p'},
                         {40004, 'r'}, {55555, 'x'}};

using RunFn = void (*)(b2::TruePeak&, const float*, const float*, int);

// Runs the stream in calls of lengths from `next`, cut at the events, and
// returns the readings after every event and at the end.
template <class Next>
std::vector<float> run_stream(double fs, const Signal& l, const Signal& r, Next next, RunFn run, b2::TruePeak* out = nullptr) {
    b2::TruePeak t;
    b2::prepare_true_peak(t, fs, 2);
    std::vector<float> readings;
    int pos = 0;
    const int n = static_cast<int>(l.size());
    for (const Event& e : kEvents) {
        while (pos < e.at) {
            const int k = std::min(next(), e.at - pos);
            run(t, l.data() + pos, r.data() + pos, k);
            pos += k;
        }
        readings.push_back(t.maximum[0]);
        readings.push_back(t.maximum[1]);
        if (e.what == 'x') b2::reset_true_peak(t);
        t.paused = e.what == 'p';
    }
    while (pos < n) {
        const int k = std::min(next(), n - pos);
        run(t, l.data() + pos, r.data() + pos, k);
        pos += k;
    }
    readings.push_back(t.maximum[0]);
    readings.push_back(t.maximum[1]);
    if (out) *out = t;
    return readings;
}

TEST(TruePeak, ReadingsDoNotDependOnThePartition) {
    for (double fs : {44100.0, 96000.0, 192000.0}) {
        const Signal l = programme(fs, 70000, 1), r = programme(fs, 70000, 2);
        const auto single = run_stream(fs, l, r, [] { return 1; }, b2::run_true_peak);
        const auto whole = run_stream(fs, l, r, [] { return 1 << 20; }, b2::run_true_peak);
        EXPECT_EQ(single, whole) << fs;
        std::mt19937 rng(static_cast<uint32_t>(fs));
        for (int trial = 0; trial < 4; ++trial) {
            const int top = trial % 2 ? 4096 : 24;  // long calls and calls around the lag of six
            auto random = run_stream(fs, l, r, [&] { return 1 + static_cast<int>(rng() % top); }, b2::run_true_peak);
            EXPECT_EQ(random, single) << fs << " trial " << trial;
        }
    }
}

// A short burst from silence, 2^-20 .. 2^19 in level, alternately full-band
// noise, whose points often rise above the samples, and a near-Nyquist tone,
// where one phase or another peaks: its reading is mostly an interpolated
// point, so a single rounding done otherwise shows in it.
Signal burst(std::mt19937& rng, int trial) {
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    const float amp = std::ldexp(1.0f, static_cast<int>(rng() % 40) - 20);
    Signal x(static_cast<size_t>(20 + rng() % 60));
    const double w = 0.8 + 0.2 * (rng() % 1000) / 1000.0, phase = (rng() % 360) * kPi / 180;
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = amp * (trial % 2 ? u(rng) : static_cast<float>(std::cos(w * kPi * i + phase)));
    return x;
}

float burst_reading(b2::TruePeakRun run, double fs, const Signal& x) {
    b2::TruePeak t;
    b2::prepare_true_peak(t, fs, 1);
    run(t, x.data(), nullptr, static_cast<int>(x.size()));
    return b2::true_peak(t, 0);
}

// Every vector code this processor runs does the scalar twin's arithmetic
// lane by lane: every reading and the whole history agree to the bit, on a
// stream with pauses and resets (whose readings the huge samples in it
// mostly set) and on bursts (whose readings are points).
TEST(TruePeak, VectorCodeMatchesItsScalarTwin) {
    struct Code {
        const char* name;
        RunFn run;
    };
    const Code codes[] = {{"chosen", b2::run_true_peak},
                          {"sse2", b2::true_peak_code(b2::TruePeakCode::sse2)},
                          {"avx2", b2::true_peak_code(b2::TruePeakCode::avx2)},
                          {"avx512", b2::true_peak_code(b2::TruePeakCode::avx512)}};
    for (const Code& code : codes) {
        if (!code.run) {
            std::printf("  %s: not on this processor or build\n", code.name);
            continue;
        }
        std::printf("  %s: compared\n", code.name);
        for (double fs : {8000.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0}) {
            const Signal l = programme(fs, 70000, 3), r = programme(fs, 70000, 4);
            std::mt19937 rng(11);
            b2::TruePeak vec, scalar;
            const auto a = run_stream(fs, l, r, [&] { return 1 + static_cast<int>(rng() % 300); }, code.run, &vec);
            rng.seed(11);
            const auto b =
                run_stream(fs, l, r, [&] { return 1 + static_cast<int>(rng() % 300); }, b2::run_true_peak_scalar, &scalar);
            SCOPED_TRACE(testing::Message() << code.name << ", " << fs << " Hz");
            EXPECT_EQ(a, b);
            EXPECT_EQ(std::memcmp(vec.line, scalar.line, sizeof vec.line), 0);
            EXPECT_EQ(vec.pointsCount, scalar.pointsCount);
            std::mt19937 bursts(7);
            int differ = 0;
            for (int trial = 0; trial < 200; ++trial) {
                const Signal x = burst(bursts, trial);
                differ += burst_reading(code.run, fs, x) != burst_reading(b2::run_true_peak_scalar, fs, x);
            }
            EXPECT_EQ(differ, 0) << "bursts of 200 read otherwise";
        }
    }
    EXPECT_NE(b2::true_peak_code(b2::TruePeakCode::scalar), nullptr);
}

// The points of the table's phases summed directly in double, for a burst
// that starts from silence: the samples count, and the points of every sample
// from the seventh on (the earlier ones lie before the burst).
double direct_peak(const Signal& x, int firstPhase, int phaseCount) {
    double m = 0;
    for (size_t n = 0; n < x.size(); ++n) {
        m = std::max(m, std::fabs(static_cast<double>(x[n])));
        if (n < static_cast<size_t>(b2::kTruePeakLag)) continue;
        for (int p = firstPhase; p < firstPhase + phaseCount; ++p) {
            double y = 0;
            for (int j = 0; j < b2::kTruePeakTaps && j <= static_cast<int>(n); ++j)
                y += static_cast<double>(b2::true_peak_tap(p, j)) * x[n - j];
            m = std::max(m, std::fabs(y));
        }
    }
    return m;
}

// However the phases are evaluated, the reading is the largest point of the
// published filter to float precision (within a part in a million), in every
// code.
TEST(TruePeak, ReadingsAreTheFiltersPointsToFloatPrecision) {
    const b2::TruePeakCode codes[] = {b2::TruePeakCode::scalar, b2::TruePeakCode::sse2, b2::TruePeakCode::avx2,
                                      b2::TruePeakCode::avx512};
    for (double fs : {48000.0, 96000.0, 192000.0}) {
        b2::TruePeak probe;
        ASSERT_TRUE(b2::prepare_true_peak(probe, fs, 1));
        std::mt19937 rng(5);
        double worst = 0;
        for (int trial = 0; trial < 400; ++trial) {
            const Signal x = burst(rng, trial);
            const double expected = direct_peak(x, probe.firstPhase, probe.phaseCount);
            for (b2::TruePeakCode code : codes) {
                const b2::TruePeakRun run = b2::true_peak_code(code);
                if (!run) continue;
                const double error = std::fabs(burst_reading(run, fs, x) - expected) / expected;
                worst = std::max(worst, error);
                ASSERT_LT(error, 1e-6) << fs << " Hz, trial " << trial << ", code " << static_cast<int>(code);
            }
        }
        std::printf("  %.0f Hz: largest relative error %.2g\n", fs, worst);
    }
}

}  // namespace
