// The meter's output and readings do not depend on how the host cuts the
// stream into process calls: every cutting of the same signal gives the same
// output samples and the same meter state at the same stream positions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "engine/engine.h"
#include "tests/test_support.h"

using namespace b2;

namespace {

using b2test::EnginePtr;

constexpr int kRate = 48000;
constexpr int kFrames = kRate * 2;
// The "editor" takes snapshots every 1601 samples: off the 16-sample grid on
// purpose, so takes fall mid-cell.
constexpr int kTick = 1601;

// Noise and a sine, a loud burst, a few samples that cannot be measured (NaN
// and infinities), then silence, on two different channels.
std::vector<float> make_signal(int channel) {
    std::vector<float> s(kFrames);
    uint32_t seed = 12345u + static_cast<uint32_t>(channel);
    for (int i = 0; i < kFrames; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const float noise = (static_cast<float>(seed >> 8) / 16777216.0f - 0.5f) * 0.2f;
        const float sine = 0.1f * std::sin(0.0653f * static_cast<float>(i) + static_cast<float>(channel));
        float v = noise + sine;
        if (i >= kRate / 2 && i < kRate / 2 + 300) v = channel ? -0.95f : 0.9f;  // burst
        if (i >= kRate && i < kRate + 40 && i % 7 == 0)
            v = (i % 3 == 0) ? std::nanf("") : (channel ? -INFINITY : INFINITY);
        if (i >= kRate * 3 / 2) v = 0.0f;                                        // silence
        s[i] = v;
    }
    return s;
}

// What one stream position shows: the published snapshots and the levels
// behind them.
struct Reading {
    float values[2][12];
    bool operator==(const Reading& o) const { return std::memcmp(values, o.values, sizeof values) == 0; }
};

Reading read_meter(engine* e) {
    Reading r{};
    for (int c = 0; c < 2; ++c) {
        const LevelDetector& d = e->strips[c].detector;
        const MeterSnapshot& s = d.snapshot;
        const float v[12] = {s.heldPeakDb, s.peakDb, s.heldRmsDb, s.rmsDb, s.heldCrestDb, s.crestDb,
                             d.peak,       d.sum,    d.heldPeak,  d.heldSum, d.crest,    static_cast<float>(d.position)};
        std::memcpy(r.values[c], v, sizeof v);
    }
    return r;
}

struct CutRun {
    std::vector<float> out[2];
    std::vector<Reading> readings;
};

// A parameter point at stream position `at`, sent with the call that holds it.
struct Point {
    int at;
    int id;
    float value;
};

void send_point(engine* e, const Point& p, int done) {
    engine_event* ev = append_event(e->in_events);
    *ev = engine_event{};
    ev->kind = EV_PARAM_CHANGE;
    ev->sample_offset = p.at - done;
    ev->channel = p.id;
    ev->value = p.value;
}

// Next call length, given the samples done so far.
using Cutting = std::function<int(int)>;

// Feeds the signal in calls whose lengths come from `next_length` (0 allowed),
// also cut at every tick, where the snapshots are taken as the editor takes
// them. Every call gets heap buffers of exactly its length.
CutRun run_cut(const Cutting& next_length, float k_filter, const Point* point = nullptr) {
    static const std::vector<float> in[2] = {make_signal(0), make_signal(1)};
    EnginePtr e(b2test::make_engine(static_cast<float>(kRate)));
    set_global_value(e.get(), ID_K_FILTER, k_filter);
    set_global_value(e.get(), ID_GAIN, 3.0f);  // the gain ramp is running throughout
    CutRun run;
    for (int c = 0; c < 2; ++c) run.out[c].resize(kFrames);
    int done = 0;
    while (done < kFrames) {
        int n = next_length(done);
        const int to_tick = kTick - done % kTick;
        if (n > to_tick) n = to_tick;
        if (n > kFrames - done) n = kFrames - done;
        std::unique_ptr<float[]> ib[2], ob[2];
        float* ins[2];
        float* outs[2];
        for (int c = 0; c < 2; ++c) {
            ib[c].reset(new float[n]);  // exactly n: any access past the call is caught
            ob[c].reset(new float[n]);
            std::memcpy(ib[c].get(), in[c].data() + done, sizeof(float) * n);
            ins[c] = ib[c].get();
            outs[c] = ob[c].get();
        }
        const bool with_point = point && n > 0 && point->at >= done && point->at < done + n;
        if (with_point) send_point(e.get(), *point, done);
        process_block(e.get(), ins, outs, n);
        if (with_point) clear_events(e->in_events);
        for (int c = 0; c < 2; ++c) std::memcpy(run.out[c].data() + done, outs[c], sizeof(float) * n);
        done += n;
        if (n > 0 && done % kTick == 0) {
            MeterSnapshot taken[2];
            take_meter_snapshots(e.get(), taken);
            run.readings.push_back(read_meter(e.get()));
        }
    }
    return run;
}

Cutting fixed(int n) {
    return [n](int) { return n; };
}

// Random call lengths of 0 to `longest` samples.
Cutting random_lengths(uint32_t seed, int longest) {
    return [seed, longest](int) mutable {
        seed = seed * 1103515245u + 12345u;
        const uint32_t r = (seed >> 16) % 100;
        return r < 5 ? 0 : static_cast<int>((seed >> 8) % static_cast<uint32_t>(longest + 1));
    };
}

void expect_same(const CutRun& a, const CutRun& b, const char* what) {
    for (int c = 0; c < 2; ++c)
        ASSERT_EQ(std::memcmp(a.out[c].data(), b.out[c].data(), sizeof(float) * kFrames), 0)
            << what << ": output channel " << c;
    ASSERT_EQ(a.readings.size(), b.readings.size()) << what;
    for (size_t i = 0; i < a.readings.size(); ++i) ASSERT_TRUE(a.readings[i] == b.readings[i]) << what << ": tick " << i;
}

TEST(StreamCut, EveryCuttingGivesTheSameOutputAndReadings) {
    for (float k : {0.0f, 1.0f}) {
        const CutRun reference = run_cut(fixed(512), k);
        ASSERT_GT(reference.readings.size(), 50u);
        // The burst shows, and the silence at the end reads as silence.
        EXPECT_GT(reference.readings[20].values[0][8], 0.5f);
        EXPECT_EQ(reference.readings.back().values[1][3], -280.0f);

        for (int n : {1, 7, 16, 100, 441, 4096}) expect_same(reference, run_cut(fixed(n), k), "fixed length");

        // A changing pattern with parameter-flush calls of 0 samples in between.
        const int pattern[] = {3, 0, 17, 1, 250, 0, 64, 15, 16, 33, 1000, 2};
        int i = 0;
        expect_same(reference, run_cut([&](int) { return pattern[i++ % 12]; }, k), "pattern");

        expect_same(reference, run_cut(random_lengths(7, 4096), k), "random lengths");
    }
}

// "K Filter" is read once per cell: switched between two pieces of one cell
// (a point at the start of a call that begins mid-cell), the cell stays
// filtered or not as it began, and the stream reads as one that switches at
// the next cell start.
TEST(StreamCut, KFilterSwitchedMidCellTakesEffectAtTheNextCell) {
    constexpr int kCell = 1000;  // the cell at samples 16000 .. 16015
    for (float from : {0.0f, 1.0f}) {
        const Point at_next_cell{(kCell + 1) * 16, ID_K_FILTER, 1.0f - from};
        const CutRun reference = run_cut(fixed(512), from, &at_next_cell);
        for (int into : {1, 7, 15}) {
            const Point mid_cell{kCell * 16 + into, ID_K_FILTER, 1.0f - from};
            // Calls of 100 samples, with a cut just before the point.
            const Cutting cut_at_point = [&](int done) {
                return done < mid_cell.at && done + 100 > mid_cell.at ? mid_cell.at - done : 100;
            };
            expect_same(reference, run_cut(cut_at_point, from, &mid_cell), "switch mid-cell");
        }
    }
}

// With "Bypass" on, the gain snaps to exactly 1 once the smoother has
// stalled; the snap is taken at a cell start, so however the stream is cut
// the output is the same, and from then on it is the input bit for bit.
TEST(StreamCut, BypassSnapDoesNotDependOnTheCutting) {
    // On a cell start, where every cutting applies it (a point inside a cell
    // applies at the start of a call that begins in that cell).
    const Point bypass{kRate / 4, ID_BYPASS, 1.0f};
    const CutRun reference = run_cut(fixed(512), 0.0f, &bypass);
    // 20 ms after the point the output is the input (the 3 dB gain is gone).
    static const std::vector<float> in = make_signal(0);
    const size_t settled = static_cast<size_t>(kRate / 4 + kRate / 50);
    EXPECT_EQ(std::memcmp(reference.out[0].data() + settled, in.data() + settled, sizeof(float) * (kFrames - settled)), 0);

    for (int n : {1, 3, 16, 17}) expect_same(reference, run_cut(fixed(n), 0.0f, &bypass), "fixed length");
    for (uint32_t seed : {1u, 2u, 3u}) expect_same(reference, run_cut(random_lengths(seed, 40), 0.0f, &bypass), "random");
    expect_same(reference, run_cut(random_lengths(4, 4096), 0.0f, &bypass), "random long");
}

// Parameter points take effect at the start of their 16-sample cell, or at
// the start of the call when that cell began in an earlier call.
TEST(StreamCut, ParameterPointTiming) {
    // An engine left `leading` samples into a cell, then one call of `call`
    // samples with a +6 dB point at `offset` (or none when offset < 0).
    auto output = [](int leading, int call, int offset) {
        EnginePtr e(b2test::make_engine());
        std::vector<float> buf(4800, 0.5f);
        float* io[2] = {buf.data(), buf.data()};
        process_block(e.get(), io, io, 4800);
        if (leading) process_block(e.get(), io, io, leading);
        if (offset >= 0) {
            engine_event* ev = append_event(e->in_events);
            *ev = engine_event{};
            ev->kind = EV_PARAM_CHANGE;
            ev->sample_offset = offset;
            ev->channel = ID_GAIN;
            ev->value = 6.0;
        }
        std::fill(buf.begin(), buf.end(), 0.5f);
        process_block(e.get(), io, io, call);
        return std::vector<float>(buf.begin(), buf.begin() + call);
    };
    // The first sample where the point made a difference.
    auto takes_effect_at = [&](int leading, int call, int offset) {
        const std::vector<float> without = output(leading, call, -1), with = output(leading, call, offset);
        for (int i = 0; i < call; ++i)
            if (with[i] != without[i]) return i;
        return -1;
    };
    EXPECT_EQ(takes_effect_at(0, 64, 33), 32);  // on the grid: the start of its cell
    EXPECT_EQ(takes_effect_at(0, 64, 0), 0);
    // 5 samples into a cell: offsets 0..10 finish that cell and take effect at
    // the call's start; later cells start at offsets 11, 27, ...
    EXPECT_EQ(takes_effect_at(5, 40, 4), 0);
    EXPECT_EQ(takes_effect_at(5, 40, 10), 0);
    EXPECT_EQ(takes_effect_at(5, 40, 11), 11);
    EXPECT_EQ(takes_effect_at(5, 40, 30), 27);
}

// A call of 0 samples (a parameter flush while the transport stands) applies
// its changes to the banks without running audio.
TEST(StreamCut, ParameterFlushReachesTheBanks) {
    EnginePtr e(b2test::make_engine());
    engine_event* ev = append_event(e->in_events);
    *ev = engine_event{};
    ev->kind = EV_PARAM_CHANGE;
    ev->sample_offset = 0;
    ev->channel = ID_RMS_WINDOW;
    ev->value = 600.0;
    process_block(e.get(), nullptr, nullptr, 0);
    EXPECT_EQ(global_value(e.get(), ID_RMS_WINDOW), 600.0f);
    EXPECT_EQ(e->banks[BANK_EDITOR][ID_RMS_WINDOW].get(), 600.0f);
    EXPECT_TRUE(e->banks[BANK_EDITOR][ID_RMS_WINDOW].is_changed());
    EXPECT_EQ(e->cell_position, 0);
    // The detectors see the change with the next audio.
    clear_events(e->in_events);
    std::vector<float> buf(16, 0.0f);
    float* io[2] = {buf.data(), buf.data()};
    process_block(e.get(), io, io, 16);
    EXPECT_EQ(e->strips[0].detector.length, 1800u);
}

}  // namespace
