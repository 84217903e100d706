// Speed of the true-peak meter on the benchmarks' 60 s of stereo programme-like
// material at 48 kHz (4x oversampling), in blocks of 512: the vector code, its scalar
// twin, libebur128 measuring true peak alone (EBUR128_MODE_TRUE_PEAK, which
// also brings its momentary loudness and sample peak) and the plain
// K-weighting kernel of riser_bench as the yardstick. Ends with a summary of
// ns per stereo frame (CPU time, median of the repetitions) and the ratios.
#include <benchmark/benchmark.h>
#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/kernel_reference.h"
#include "dsp/true_peak.h"

namespace {

using riserbench::kBlock;
using riserbench::kFrames;
using riserbench::kRate;
using riserbench::PlainChannel;
using riserbench::Signal;

const Signal& material() {
    static Signal s;
    return s;
}

void set_frames(benchmark::State& state) { state.SetItemsProcessed(state.iterations() * kFrames); }

template <void (*Run)(b2::TruePeak&, const float*, const float*, int)>
void BM_TruePeak(benchmark::State& state) {
    const Signal& m = material();
    b2::TruePeak t;
    b2::prepare_true_peak(t, kRate, 2);
    for (auto _ : state) {
        for (int64_t pos = 0; pos + kBlock <= kFrames; pos += kBlock) Run(t, &m.left[pos], &m.right[pos], kBlock);
        benchmark::DoNotOptimize(t.maximum);
    }
    set_frames(state);
}
BENCHMARK(BM_TruePeak<b2::run_true_peak>)->Name("BM_TruePeak")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TruePeak<b2::run_true_peak_scalar>)->Name("BM_TruePeakScalar")->Unit(benchmark::kMillisecond);

void BM_Ebur128TruePeak(benchmark::State& state) {
    const Signal& m = material();
    for (auto _ : state) {
        ebur128_state* st = ebur128_init(2, static_cast<unsigned long>(kRate), EBUR128_MODE_TRUE_PEAK);
        double peak = 0;
        int block = 0;
        for (int64_t pos = 0; pos + kBlock <= kFrames; pos += kBlock, ++block) {
            ebur128_add_frames_float(st, &m.interleaved[2 * pos], kBlock);
            if (block % 3 != 0) continue;  // read at a meter's display rate
            ebur128_true_peak(st, 0, &peak);
            ebur128_true_peak(st, 1, &peak);
        }
        benchmark::DoNotOptimize(peak);
        ebur128_destroy(&st);
    }
    set_frames(state);
}
BENCHMARK(BM_Ebur128TruePeak)->Unit(benchmark::kMillisecond);

void BM_PlainKernel(benchmark::State& state) {
    const Signal& m = material();
    PlainChannel ch[2];
    std::vector<float> out_l(kBlock), out_r(kBlock);
    for (auto _ : state) {
        for (int64_t pos = 0; pos + kBlock <= kFrames; pos += kBlock) {
            ch[0].run(&m.left[pos], out_l.data(), kBlock, 1.0f);
            ch[1].run(&m.right[pos], out_r.data(), kBlock, 1.0f);
            benchmark::DoNotOptimize(out_l.data());
            benchmark::DoNotOptimize(out_r.data());
        }
        benchmark::DoNotOptimize(ch[0].ring);
        benchmark::DoNotOptimize(ch[1].ring);
    }
    set_frames(state);
}
BENCHMARK(BM_PlainKernel)->Unit(benchmark::kMillisecond);

// Each run's ns per frame (CPU time: the machine may be busy meanwhile).
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, std::vector<double>> ns;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.iterations <= 0) continue;
            ns[r.benchmark_name()].push_back(r.cpu_accumulated_time / static_cast<double>(r.iterations) * 1e9 /
                                             static_cast<double>(kFrames));
        }
    }
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0.0 : n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

void print_summary(const SummaryReporter& rep) {
    std::printf("\nsummary (20 s stereo at 48 kHz, blocks of %d; CPU time, median of repetitions)\n", kBlock);
    std::map<std::string, double> m;
    for (const auto& [name, v] : rep.ns) {
        m[name] = median(v);
        std::printf("%-30s %10.2f ns/frame %6zu runs\n", name.c_str(), m[name], v.size());
    }
    auto ratio = [&](const char* what, const char* a, const char* b) {
        if (m[a] > 0 && m[b] > 0) std::printf("%-44s = %.2f\n", what, m[a] / m[b]);
    };
    ratio("true peak / plain kernel", "BM_TruePeak", "BM_PlainKernel");
    ratio("true peak, scalar twin / plain kernel", "BM_TruePeakScalar", "BM_PlainKernel");
    ratio("libebur128 true peak / true peak", "BM_Ebur128TruePeak", "BM_TruePeak");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    material();  // build the buffers before any timing
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    print_summary(reporter);
    benchmark::Shutdown();
    return 0;
}
