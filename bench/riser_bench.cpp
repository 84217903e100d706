// Speed of Riser's meter against peers, on the same 60 s stereo 48 kHz signal:
// the plug-in's process() through its VST3 interface, the engine's block loop
// alone, libebur128 (momentary loudness and sample peak) and a minimal kernel
// doing only the arithmetic a K-weighted peak/RMS meter cannot avoid. Ends
// with a summary of ns per stereo frame, real-time factors and ratios.
#include <benchmark/benchmark.h>
#include <ebur128.h>
#include <malloc.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "dsp/channel_strip.h"
#include "engine/engine.h"
#include "engine/rng.h"
#include "tests/plugin_host.h"

namespace {

constexpr double kRate = 48000.0;
constexpr int64_t kFrames = 60 * 48000;
constexpr int kBlock = 512;

// Programme-like material: a sine sweep under noise, at about -18 dBFS RMS.
struct Signal {
    std::vector<float> left, right, interleaved;
    Signal() : left(kFrames), right(kFrames), interleaved(2 * kFrames) {
        b2::rng_state r;
        b2::rng_seed(r, 7);
        double phase = 0;
        for (int64_t i = 0; i < kFrames; ++i) {
            phase += 2.0 * M_PI * (100.0 + 5000.0 * static_cast<double>(i) / kFrames) / kRate;
            const float noise = static_cast<float>(b2::rng_next(r) >> 8) / 8388608.0f - 1.0f;
            left[i] = static_cast<float>(0.12 * std::sin(phase)) + 0.03f * noise;
            right[i] = static_cast<float>(0.10 * std::sin(1.3 * phase)) - 0.03f * noise;
            interleaved[2 * i] = left[i];
            interleaved[2 * i + 1] = right[i];
        }
    }
};

const Signal& signal() {
    static Signal s;
    return s;
}

// Takes both channels' snapshots the way the editor does every 33 ms.
void consume_snapshots(b2::engine* e) {
    for (auto& strip : e->strips) strip.detector.snapshot.ready.store(0, std::memory_order_release);
}

void set_frames(benchmark::State& state) { state.SetItemsProcessed(state.iterations() * kFrames); }

void BM_PluginProcess(benchmark::State& state) {
    const Signal& sig = signal();
    auto adapter = b2test::make_adapter(kRate, kBlock);
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
BENCHMARK(BM_PluginProcess)
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
        for (int64_t pos = 0; pos + kBlock <= kFrames; pos += kBlock) {
            ebur128_add_frames_float(st, &sig.interleaved[2 * pos], kBlock);
            ebur128_loudness_momentary(st, &loudness);
            ebur128_sample_peak(st, 0, &peak);
        }
        benchmark::DoNotOptimize(loudness);
        benchmark::DoNotOptimize(peak);
        ebur128_destroy(&st);
    }
    set_frames(state);
}
BENCHMARK(BM_Ebur128)->Unit(benchmark::kMillisecond);

// The least a K-weighted meter must do per sample: gain, two biquads, a sum of
// squares and a maximum per 16-sample block.
struct MinimalChannel {
    b2::KWeighting k;
    float z[4] = {};
    float sum = 0, peak = 0;
    void run(const float* x, int n, float gain) {
        const b2::Biquad& hp = k.highpass;
        const b2::Biquad& sh = k.shelf;
        for (int i = 0; i < n; i += 16) {
            float s = 0, m = 0;
            for (int j = 0; j < 16; ++j) {
                const float in = x[i + j] * gain;
                const float h = in + z[0];
                z[0] = -2.0f * in - hp.a1 * h + z[1];
                z[1] = in - hp.a2 * h;
                const float y = sh.b0 * h + z[2];
                z[2] = sh.b1 * h - sh.a1 * y + z[3];
                z[3] = sh.b2 * h - sh.a2 * y;
                s += y * y;
                m = std::fmax(m, y);
            }
            sum += s;
            peak = std::fmax(peak, m);
        }
    }
};

void BM_MinimalKernel(benchmark::State& state) {
    const Signal& sig = signal();
    MinimalChannel ch[2];
    for (auto& c : ch) b2::compute_k_weighting(c.k, static_cast<float>(kRate));
    for (auto _ : state) {
        for (int64_t pos = 0; pos + kBlock <= kFrames; pos += kBlock) {
            ch[0].run(&sig.left[pos], kBlock, 1.0f);
            ch[1].run(&sig.right[pos], kBlock, 1.0f);
        }
        benchmark::DoNotOptimize(ch[0].sum);
        benchmark::DoNotOptimize(ch[1].peak);
    }
    set_frames(state);
}
BENCHMARK(BM_MinimalKernel)->Unit(benchmark::kMillisecond);

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

// Keeps each run's ns per frame for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ns;
    std::map<std::string, double> redraw_ns;  // per drawn editor frame
    double instance_bytes = 0;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            // CPU time: the machine may be busy with other work while this runs.
            if (r.iterations > 0 && r.counters.count("items_per_second"))
                ns[r.benchmark_name()] = r.cpu_accumulated_time / static_cast<double>(r.iterations) * 1e9 /
                                         static_cast<double>(kFrames);
            if (r.iterations > 0 && r.benchmark_name().rfind("BM_EditorRedraw", 0) == 0)
                redraw_ns[r.benchmark_name()] = r.cpu_accumulated_time / static_cast<double>(r.iterations) * 1e9;
            auto mem = r.counters.find("bytes_per_instance");
            if (mem != r.counters.end()) instance_bytes = mem->second.value;
        }
    }
};

void print_summary(const SummaryReporter& rep) {
    const double frame_ns = 1e9 / kRate;
    std::printf("\nsummary (60 s stereo at 48 kHz, blocks of %d; CPU time)\n", kBlock);
    std::printf("%-45s %12s %14s\n", "run", "ns/frame", "real-time x");
    for (const auto& [name, v] : rep.ns) std::printf("%-45s %12.2f %14.0f\n", name.c_str(), v, frame_ns / v);
    auto get = [&](const std::string& prefix) {
        for (const auto& [name, v] : rep.ns)
            if (name.rfind(prefix, 0) == 0) return v;
        return 0.0;
    };
    const double riser = get("BM_PluginProcess/kfilter:0/rms3000:0");
    const double riser_k = get("BM_PluginProcess/kfilter:1/rms3000:0");
    const double ebu = get("BM_Ebur128");
    const double kernel = get("BM_MinimalKernel");
    if (riser > 0 && ebu > 0 && kernel > 0) {
        std::printf("riser (defaults) / libebur128       = %.3f  (target <= 1.0: %s)\n", riser / ebu,
                    riser / ebu <= 1.0 ? "met" : "NOT met");
        std::printf("riser (defaults) / minimal kernel   = %.3f  (target <= 1.3: %s)\n", riser / kernel,
                    riser / kernel <= 1.3 ? "met" : "NOT met");
        std::printf("riser (K filter on) / libebur128    = %.3f\n", riser_k / ebu);
        std::printf("riser (K filter on) / minimal kernel = %.3f\n", riser_k / kernel);
    }
    for (const auto& [name, v] : rep.redraw_ns)
        std::printf("%-36s = %.0f ns per drawn frame\n", name.c_str(), v);
    std::printf("memory per instance at 48 kHz        = %.0f bytes (target <= 1 MB: %s)\n", rep.instance_bytes,
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
