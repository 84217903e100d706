// The editor's main page redrawn offscreen at zoom 1 and 5, with meters lit:
// the cost of one full frame of drawing. And one timer tick with moving
// meters at zoom 1 and 2: a new snapshot taken, and only the views it
// changed redrawn.
#include <benchmark/benchmark.h>

#include "editor/offscreen_picture.h"
#include "editor/offscreen_ticks.h"
#include "engine/engine.h"
#include "tests/meter_levels.h"
#include "tests/plugin_host.h"

namespace {

void publish(b2::engine* e) { b2test::publish_levels(e, {-19.5f, -7.25f, 12.5f}); }

void BM_EditorRedraw(benchmark::State& state) {
    auto adapter = b2test::make_adapter(48000.0, 512);
    publish(adapter->get_engine());
    b2::offscreen_editor editor(adapter->get_engine(), static_cast<double>(state.range(0)));
    if (!editor.ok()) {
        state.SkipWithError("the editor could not be built offscreen");
        return;
    }
    for (auto _ : state) editor.draw();
    state.counters["pixels"] = editor.width() * editor.height();
}
BENCHMARK(BM_EditorRedraw)->Arg(1)->Arg(5)->ArgName("zoom")->Unit(benchmark::kMicrosecond);

// Levels that move every tick under steady maxima, as music does between
// peaks: all six bars change, the readouts do not.
void move_levels(b2::engine* e, int tick) {
    const float step = static_cast<float>(tick % 16);
    for (int c = 0; c < 2; ++c) {
        b2::MeterSnapshot& s = e->strips[c].detector.snapshot;
        s.rmsDb = -22.0f + 0.15f * step;
        s.peakDb = -12.0f + 0.3f * step;
        s.crestDb = 10.0f + 0.15f * step;
        s.ready.store(1);
    }
}

void BM_EditorTick(benchmark::State& state) {
    auto adapter = b2test::make_adapter(48000.0, 512);
    b2::engine* e = adapter->get_engine();
    publish(e);
    b2::offscreen_ticks ticks(e, static_cast<double>(state.range(0)));
    if (!ticks.ok()) {
        state.SkipWithError("the editor could not be built offscreen");
        return;
    }
    int n = 0;
    int rects = 0;
    for (auto _ : state) {
        move_levels(e, ++n);
        rects = ticks.tick();
    }
    state.counters["views redrawn"] = rects;
    state.counters["pixels redrawn"] = ticks.redrawn_pixels();
}
BENCHMARK(BM_EditorTick)->Arg(1)->Arg(2)->ArgName("zoom")->Unit(benchmark::kMicrosecond);

// A tick whose new snapshot holds the same values (a steady signal, or the
// silence of a stopped transport): the tick's own work, nothing to redraw.
void BM_EditorTickSteady(benchmark::State& state) {
    auto adapter = b2test::make_adapter(48000.0, 512);
    b2::engine* e = adapter->get_engine();
    publish(e);
    b2::offscreen_ticks ticks(e, 1.0);
    if (!ticks.ok()) {
        state.SkipWithError("the editor could not be built offscreen");
        return;
    }
    int rects = 0;
    for (auto _ : state) {
        for (auto& strip : e->strips) strip.detector.snapshot.ready.store(1);
        rects += ticks.tick();
    }
    state.counters["views redrawn"] = rects;
}
BENCHMARK(BM_EditorTickSteady)->Unit(benchmark::kMicrosecond);

}  // namespace
