// What a process call costs with many parameter points: 512 samples with 1,
// 64 or 8,000 points spread over the host parameters' queues, each queue in
// offset order as hosts send them. The block loop sorts the call's events
// before it applies them cell by cell.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "engine/engine.h"
#include "tests/plugin_host.h"

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 512;
constexpr int kFirstParam = 2;   // "Gain"
constexpr int kQueues = 14;      // "Gain" .. "Segment Hgt"

// `points` points over up to kQueues queues, offsets ascending within each.
void fill_changes(Steinberg::Vst::ParameterChanges& changes, int points) {
    std::mt19937 rng(1);
    const int queues = std::min(points, kQueues);
    for (int q = 0; q < queues; ++q) {
        const int n = points / queues + (q < points % queues ? 1 : 0);
        std::vector<int> offsets(static_cast<size_t>(n));
        for (int& o : offsets) o = static_cast<int>(rng() % kBlock);
        std::sort(offsets.begin(), offsets.end());
        Steinberg::int32 index = 0;
        auto* queue = changes.addParameterData(static_cast<Steinberg::Vst::ParamID>(kFirstParam + q), index);
        for (int o : offsets) queue->addPoint(o, 0.25 + 0.5 * (rng() % 1000) / 1000.0, index);
    }
}

void BM_ProcessWithPoints(benchmark::State& state) {
    const int points = static_cast<int>(state.range(0));
    auto adapter = b2test::make_adapter(kRate, kBlock);
    Steinberg::Vst::ParameterChanges changes(kQueues);
    fill_changes(changes, points);
    b2test::Block block(kBlock, 0.25f);
    block.data.inputParameterChanges = &changes;
    for (auto _ : state) {
        adapter->process(block.data);
        benchmark::DoNotOptimize(block.out[0].data());
    }
    state.SetItemsProcessed(state.iterations() * points);
}
BENCHMARK(BM_ProcessWithPoints)->Arg(1)->Arg(64)->Arg(8000)->Unit(benchmark::kMicrosecond);

}  // namespace
