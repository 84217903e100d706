// When host events take effect: the cell a point lands in (cell starts,
// calls that begin mid-cell, points outside the call), the host's order of
// points at one offset, and the sort on large lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "engine/engine.h"
#include "tests/test_support.h"

using namespace b2;

namespace {

using b2test::EnginePtr;

struct Point {
    int32_t offset;
    float gain_db;
    int32_t queue = 0;
};

// One call of `n` samples of a constant 0.5 input with "Gain" points; returns
// the left output.
std::vector<float> run(engine* e, int32_t n, const std::vector<Point>& points = {}) {
    for (const Point& p : points) {
        engine_event* ev = append_event(e->in_events);
        ev->kind = EV_PARAM_CHANGE;
        ev->channel = static_cast<int16_t>(ID_GAIN);
        ev->sample_offset = p.offset;
        ev->source_index = p.queue;
        ev->value = p.gain_db;
    }
    std::vector<float> in[2], out[2];
    float* ins[2];
    float* outs[2];
    for (int c = 0; c < 2; ++c) {
        in[c].assign(static_cast<size_t>(n), 0.5f);
        out[c].assign(static_cast<size_t>(n), 0.0f);
        ins[c] = in[c].data();
        outs[c] = out[c].data();
    }
    process_block(e, ins, outs, n);
    clear_events(e->in_events);
    return out[0];
}

// Two engines run alike until a call in which one of them gets `points`.
struct Pair {
    EnginePtr plain{b2test::make_engine()};
    EnginePtr moved{b2test::make_engine()};

    // Settles both gain smoothers, then leaves both `lead` samples into a cell.
    explicit Pair(int32_t lead = 0) {
        for (engine* e : {plain.get(), moved.get()}) {
            for (int i = 0; i < 100; ++i) run(e, 512);
            if (lead) run(e, lead);
        }
    }
    // Index of the first sample where the two outputs of one call differ, or n.
    int32_t first_difference(int32_t n, const std::vector<Point>& points) {
        const std::vector<float> a = run(plain.get(), n);
        const std::vector<float> b = run(moved.get(), n, points);
        int32_t i = 0;
        while (i < n && a[static_cast<size_t>(i)] == b[static_cast<size_t>(i)]) ++i;
        return i;
    }
};

}  // namespace

TEST(EventTiming, APointOnACellStartTakesEffectThereNotACellEarlier) {
    // A call on the grid: offsets 15, 16 and 17 are in cells 0, 1 and 1.
    EXPECT_EQ(Pair().first_difference(64, {{16, 6.0f}}), 16);
    EXPECT_EQ(Pair().first_difference(64, {{15, 6.0f}}), 0);
    EXPECT_EQ(Pair().first_difference(64, {{17, 6.0f}}), 16);
    EXPECT_EQ(Pair().first_difference(64, {{48, 6.0f}}), 48);
    // A call that begins 5 samples into a cell: its first cell start is at 11.
    EXPECT_EQ(Pair(5).first_difference(64, {{11, 6.0f}}), 11);
    EXPECT_EQ(Pair(5).first_difference(64, {{10, 6.0f}}), 0);
    EXPECT_EQ(Pair(5).first_difference(64, {{27, 6.0f}}), 27);
}

TEST(EventTiming, PointsOutsideTheCallApplyInItsFirstOrLastCell) {
    EXPECT_EQ(Pair().first_difference(64, {{64, 6.0f}}), 48);
    EXPECT_EQ(Pair().first_difference(64, {{100000, 6.0f}}), 48);
    EXPECT_EQ(Pair().first_difference(64, {{-3, 6.0f}}), 0);
    EXPECT_EQ(Pair().first_difference(40, {{INT32_MIN, 6.0f}}), 0);
    // A call that ends mid-cell: its last cell starts at 32.
    EXPECT_EQ(Pair().first_difference(40, {{40, 6.0f}}), 32);
    EXPECT_EQ(Pair(5).first_difference(8, {{8, 6.0f}}), 0);  // the call lies in one cell
    Pair p;
    p.first_difference(64, {{64, -12.0f}});
    EXPECT_EQ(global_value(p.moved.get(), ID_GAIN), -12.0f);
}

TEST(EventOrder, PointsAtOneOffsetKeepTheHostsOrder) {
    // Two points of one queue at one offset: the host meant the later one,
    // whatever else the call holds.
    Pair p;
    p.first_difference(64, {{5, 6.0f, 0}, {5, -6.0f, 0}, {0, 3.0f, 1}});
    EXPECT_EQ(global_value(p.moved.get(), ID_GAIN), -6.0f);

    EnginePtr e(b2test::make_engine());
    std::vector<Point> points;
    for (int i = 0; i < 40; ++i) points.push_back({(i * 7) % 3, static_cast<float>(i), i % 2});
    run(e.get(), 16, points);
    // Offsets 0..2, queue 1 after queue 0: the last is the last point of queue 1 at offset 2.
    float expected = 0.0f;
    for (const Point& q : points)
        if (q.offset == 2 && q.queue == 1) expected = q.gain_db;
    EXPECT_EQ(global_value(e.get(), ID_GAIN), expected);
}

TEST(EventOrder, LargeListsSortStablyByOffsetKindAndSource) {
    std::mt19937 rng(7);
    for (int32_t n : {2, 17, 100, 8000}) {
        event_list list;
        ASSERT_TRUE(reserve_events(list, n));
        std::vector<engine_event> reference;
        for (int32_t i = 0; i < n; ++i) {
            engine_event* ev = append_event(list);
            ASSERT_NE(ev, nullptr);
            ev->sample_offset = static_cast<int32_t>(rng() % 64);
            ev->kind = static_cast<int32_t>(rng() % 2) * 2 + 1;  // note on or parameter change
            ev->source_index = static_cast<int32_t>(rng() % 3);
            ev->on_note_id = i;  // the append order
            reference.push_back(*ev);
        }
        std::stable_sort(reference.begin(), reference.end(), [](const engine_event& a, const engine_event& b) {
            if (a.sample_offset != b.sample_offset) return a.sample_offset < b.sample_offset;
            if (a.kind != b.kind) return a.kind < b.kind;
            return a.source_index < b.source_index;
        });
        sort_events(list);
        for (int32_t i = 0; i < n; ++i)
            ASSERT_EQ(list.items[i].on_note_id, reference[static_cast<size_t>(i)].on_note_id) << n << " " << i;
        free_events(list);
    }
}
