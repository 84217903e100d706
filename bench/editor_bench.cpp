// The editor's main page redrawn offscreen at zoom 1 and 5, with meters lit:
// the cost of one full frame of drawing.
#include <benchmark/benchmark.h>

#include "editor/offscreen_picture.h"
#include "engine/engine.h"
#include "tests/plugin_host.h"

namespace {

void publish(b2::engine* e) {
    for (int c = 0; c < 2; ++c) {
        b2::MeterSnapshot& s = e->strips[c].detector.snapshot;
        s.segmentHeight = 16;
        s.peakThresholds[0] = -4, s.peakThresholds[1] = -6, s.peakThresholds[2] = -8;
        s.rmsThresholds[1] = -18, s.rmsThresholds[2] = -20;
        s.crestThresholds[1] = 14, s.crestThresholds[2] = 12;
        s.rmsDb = s.heldRmsDb = -19.5f;
        s.peakDb = s.heldPeakDb = -7.25f;
        s.crestDb = s.heldCrestDb = 12.5f;
        s.ready.store(1);
        s.scaleChanged.store(1);
    }
}

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

}  // namespace
