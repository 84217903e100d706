// Speed of Riser's meter against peers, on the same 60 s stereo 48 kHz signal:
// the plug-in's process() through its VST3 interface, the engine's block loop
// alone, libebur128 (momentary loudness and sample peak) and a plain float
// kernel doing the same arithmetic the plainest fast way. Ends with a summary
// of ns per stereo frame (the median of the repetitions), real-time factors
// and the ratios against their targets.
#include <benchmark/benchmark.h>
#include <ebur128.h>
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/kernel_reference.h"
#include "dsp/channel_strip.h"
#include "engine/engine.h"
#include "engine/loudness_stage.h"
#include "engine/rng.h"
#include "tests/plugin_host.h"

namespace {

using riserbench::kBlock;
using riserbench::kFrames;
using riserbench::kRate;
using riserbench::Signal;

using riserbench::median;
using riserbench::set_frames;
using riserbench::signal;

// Takes both channels' snapshots the way the editor does every 33 ms.
void consume_snapshots(b2::engine* e) {
    for (auto& strip : e->strips) strip.detector.snapshot.ready.store(0, std::memory_order_release);
}

// The plug-in's process() as a host calls it; `loudness` false leaves the
// loudness stage off, for its cost beside the rest.
void plugin_process(benchmark::State& state, bool loudness) {
    const Signal& sig = signal();
    auto adapter = b2test::make_adapter(kRate, kBlock);
    b2::set_loudness_stage_enabled(adapter->get_engine(), loudness);
    adapter->setParamNormalized(b2::ID_K_FILTER, state.range(0) ? 1.0 : 0.0);
    if (state.range(1)) adapter->setParamNormalized(b2::ID_RMS_WINDOW, 1.0);  // 3000 ms
    Steinberg::Vst::IAudioProcessor* processor = adapter.get();
    std::vector<float> out_l(kBlock), out_r(kBlock);
    for (auto _ : state) {
        int block = 0;
        for (int64_t pos = 0; pos + kBlock <= kFrames; pos += kBlock, ++block) {
            b2test::Block b(0);
            float* in[2] = {const_cast<float*>(&sig.left[pos]), const_cast<float*>(&sig.right[pos])};
            float* out[2] = {out_l.data(), out_r.data()};
            b.in_bus.channelBuffers32 = in;
            b.out_bus.channelBuffers32 = out;
            b.data.numSamples = kBlock;
            processor->process(b.data);
            if (block % 3 == 0) consume_snapshots(adapter->get_engine());
        }
        benchmark::DoNotOptimize(out_l.data());
    }
    set_frames(state);
}
void BM_PluginProcess(benchmark::State& state) { plugin_process(state, true); }
BENCHMARK(BM_PluginProcess)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"kfilter", "rms3000"})
    ->Unit(benchmark::kMillisecond);

void BM_PluginProcessNoLoudness(benchmark::State& state) { plugin_process(state, false); }
BENCHMARK(BM_PluginProcessNoLoudness)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"kfilter", "rms3000"})
    ->Unit(benchmark::kMillisecond);

void BM_EngineBlockLoop(benchmark::State& state) {
    const Signal& sig = signal();
    auto adapter = b2test::make_adapter(kRate, kBlock);
    b2::engine* e = adapter->get_engine();
    std::vector<float> out_l(kBlock), out_r(kBlock);
    for (auto _ : state) {
        int block = 0;
        for (int64_t pos = 0; pos + kBlock <= kFrames; pos += kBlock, ++block) {
            float* in[2] = {const_cast<float*>(&sig.left[pos]), const_cast<float*>(&sig.right[pos])};
            float* out[2] = {out_l.data(), out_r.data()};
            b2::process_block(e, in, out, kBlock);
            if (block % 3 == 0) consume_snapshots(e);
        }
        benchmark::DoNotOptimize(out_l.data());
    }
    set_frames(state);
}
BENCHMARK(BM_EngineBlockLoop)->Unit(benchmark::kMillisecond);

void BM_Ebur128(benchmark::State& state) {
    const Signal& sig = signal();
    for (auto _ : state) {
        ebur128_state* st = ebur128_init(2, static_cast<unsigned long>(kRate), EBUR128_MODE_M | EBUR128_MODE_SAMPLE_PEAK);
        double loudness = 0, peak = 0;
        int block = 0;
        for (int64_t pos = 0; pos + kBlock <= kFrames; pos += kBlock, ++block) {
            ebur128_add_frames_float(st, &sig.interleaved[2 * pos], kBlock);
            if (block % 3 != 0) continue;  // read at a meter's display rate, as Riser is
            ebur128_loudness_momentary(st, &loudness);
            ebur128_sample_peak(st, 0, &peak);
            ebur128_sample_peak(st, 1, &peak);
        }
        benchmark::DoNotOptimize(loudness);
        benchmark::DoNotOptimize(peak);
        ebur128_destroy(&st);
    }
    set_frames(state);
}
BENCHMARK(BM_Ebur128)->Unit(benchmark::kMillisecond);

BENCHMARK(riserbench::BM_PlainKernel)->Name("BM_PlainKernel")->Unit(benchmark::kMillisecond);

// Heap held by one initialised, set-up instance at 48 kHz (Lua states included).
void BM_InstanceMemory(benchmark::State& state) {
    size_t bytes = 0;
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        auto adapter = b2test::make_adapter(kRate, kBlock);
        bytes = mallinfo2().uordblks - before;
        benchmark::DoNotOptimize(adapter.get());
    }
    state.counters["bytes_per_instance"] = static_cast<double>(bytes);
}
BENCHMARK(BM_InstanceMemory)->Iterations(3);

// Keeps each run's ns per frame for the summary: with repetitions, the
// median of the repetitions.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, std::vector<double>> ns;
    std::map<std::string, double> redraw_ns;  // per drawn editor frame
    double instance_bytes = 0;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.iterations <= 0) continue;
            // CPU time: the machine may be busy with other work while this runs.
            const double per_iteration = r.cpu_accumulated_time / static_cast<double>(r.iterations) * 1e9;
            if (r.counters.count("items_per_second"))
                ns[r.benchmark_name()].push_back(per_iteration / static_cast<double>(kFrames));
            if (r.benchmark_name().rfind("BM_EditorRedraw", 0) == 0) redraw_ns[r.benchmark_name()] = per_iteration;
            auto mem = r.counters.find("bytes_per_instance");
            if (mem != r.counters.end()) instance_bytes = mem->second.value;
        }
    }
};

void print_ratio(const char* what, double a, double b, double target) {
    if (a <= 0 || b <= 0) return;
    std::printf("%-44s = %.3f", what, a / b);
    if (target > 0) std::printf("  (target <= %.1f: %s)", target, a / b <= target ? "met" : "NOT met");
    std::printf("\n");
}

void print_summary(const SummaryReporter& rep) {
    const double frame_ns = 1e9 / kRate;
    std::printf("\nsummary (60 s stereo at 48 kHz, blocks of %d; CPU time, median of repetitions)\n", kBlock);
    std::printf("%-45s %12s %14s %6s\n", "run", "ns/frame", "real-time x", "runs");
    std::map<std::string, double> m;
    for (const auto& [name, v] : rep.ns) {
        m[name] = median(v);
        std::printf("%-45s %12.2f %14.0f %6zu\n", name.c_str(), m[name], frame_ns / m[name], v.size());
    }
    auto get = [&](const std::string& name) { return m.count(name) ? m[name] : 0.0; };
    const double kernel = get("BM_PlainKernel");
    const double ebu = get("BM_Ebur128");
    // The meter's targets are for its own chain, as in earlier rounds: the
    // runs with the loudness stage left off. The whole plug-in, with the
    // stage measuring loudness and true peak, follows without a target.
    const char* meter[2][2] = {{"BM_PluginProcessNoLoudness/kfilter:0/rms3000:0",
                                "BM_PluginProcessNoLoudness/kfilter:0/rms3000:1"},
                               {"BM_PluginProcessNoLoudness/kfilter:1/rms3000:0",
                                "BM_PluginProcessNoLoudness/kfilter:1/rms3000:1"}};
    const char* whole[2] = {"BM_PluginProcess/kfilter:0/rms3000:0", "BM_PluginProcess/kfilter:1/rms3000:0"};
    print_ratio("meter (K filter on) / plain kernel", get(meter[1][0]), kernel, 1.3);
    print_ratio("meter (K filter on, 3000 ms) / plain kernel", get(meter[1][1]), kernel, 1.3);
    print_ratio("meter (K filter off) / plain kernel", get(meter[0][0]), kernel, 1.0);
    print_ratio("meter (K filter off, 3000 ms) / plain kernel", get(meter[0][1]), kernel, 1.0);
    print_ratio("meter (K filter on) / libebur128", get(meter[1][0]), ebu, 0);
    print_ratio("plug-in with loudness (defaults) / kernel", get(whole[0]), kernel, 0);
    print_ratio("plug-in with loudness (K filter on) / kernel", get(whole[1]), kernel, 0);
    print_ratio("plug-in (defaults) / without loudness stage", get(whole[0]), get(meter[0][0]), 0);
    if (get(whole[0]) > 0 && get(meter[0][0]) > 0)
        std::printf("%-44s = %.2f ns per frame\n", "the loudness stage's share (defaults)", get(whole[0]) - get(meter[0][0]));
    for (const auto& [name, v] : rep.redraw_ns)
        std::printf("%-44s = %.0f ns per drawn frame\n", name.c_str(), v);
    std::printf("%-44s = %.0f bytes (target <= 1 MB: %s)\n", "memory per instance at 48 kHz", rep.instance_bytes,
                rep.instance_bytes <= 1048576.0 ? "met" : "NOT met");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    signal();  // build the buffers before any timing
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    print_summary(reporter);
    benchmark::Shutdown();
    return 0;
}
