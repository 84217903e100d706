// Speed of the chain's loudness figures on the benchmarks' 60 s stereo 48 kHz
// signal in blocks of 512: the loudness meter (momentary, short-term,
// integrated, range), the true-peak meter (the code it chooses, its scalar
// twin and each vector code the processor runs), both together, and
// libebur128 computing the same figures (histogram mode, its constant-memory
// mode; and true peak alone), with the plain K-weighting kernel as the
// yardstick, all in one run. Ends with the medians of the
// repetitions in ns per stereo frame and the ratios.
#include <benchmark/benchmark.h>
#include <ebur128.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench/kernel_reference.h"
#include "dsp/loudness_meter.h"
#include "dsp/true_peak.h"

namespace {

using riserbench::kBlock;
using riserbench::kFrames;
using riserbench::kRate;
using riserbench::set_frames;
using riserbench::Signal;
using riserbench::signal;

void BM_LoudnessMeter(benchmark::State& state) {
    const riserbench::Signal& sig = signal();
    auto m = std::make_unique<b2::LoudnessMeter>();
    for (auto _ : state) {
        b2::prepare_loudness(*m, 2, kRate);
        for (int64_t pos = 0; pos + kBlock <= kFrames; pos += kBlock) {
            const float* in[2] = {&sig.left[pos], &sig.right[pos]};
            b2::process_loudness(*m, in, kBlock);
        }
        benchmark::DoNotOptimize(m->readings);
    }
    set_frames(state);
}
BENCHMARK(BM_LoudnessMeter)->Unit(benchmark::kMillisecond);

void BM_TruePeak(benchmark::State& state, b2::TruePeakRun run) {
    const Signal& m = signal();
    b2::TruePeak t;
    b2::prepare_true_peak(t, kRate, 2);
    for (auto _ : state) {
        for (int64_t pos = 0; pos + kBlock <= kFrames; pos += kBlock) run(t, &m.left[pos], &m.right[pos], kBlock);
        benchmark::DoNotOptimize(t.maximum);
    }
    set_frames(state);
}
// The code run_true_peak chooses, its scalar twin, and each vector code the
// processor runs (registered in main).
BENCHMARK_CAPTURE(BM_TruePeak, chosen, b2::run_true_peak)->Name("BM_TruePeak")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_TruePeak, scalar, b2::run_true_peak_scalar)
    ->Name("BM_TruePeakScalar")
    ->Unit(benchmark::kMillisecond);

void register_true_peak_codes() {
    const std::pair<b2::TruePeakCode, const char*> codes[] = {{b2::TruePeakCode::sse2, "BM_TruePeakSse2"},
                                                              {b2::TruePeakCode::avx2, "BM_TruePeakAvx2"},
                                                              {b2::TruePeakCode::avx512, "BM_TruePeakAvx512"}};
    for (const auto& [code, name] : codes)
        if (b2::TruePeakRun run = b2::true_peak_code(code))
            benchmark::RegisterBenchmark(name, BM_TruePeak, run)->Unit(benchmark::kMillisecond);
}

// Both meters on every block: all five figures.
void BM_LoudnessAndTruePeak(benchmark::State& state) {
    const Signal& sig = signal();
    auto m = std::make_unique<b2::LoudnessMeter>();
    b2::TruePeak t;
    for (auto _ : state) {
        b2::prepare_loudness(*m, 2, kRate);
        b2::prepare_true_peak(t, kRate, 2);
        for (int64_t pos = 0; pos + kBlock <= kFrames; pos += kBlock) {
            const float* in[2] = {&sig.left[pos], &sig.right[pos]};
            b2::process_loudness(*m, in, kBlock);
            b2::run_true_peak(t, in[0], in[1], kBlock);
        }
        benchmark::DoNotOptimize(m->readings);
        benchmark::DoNotOptimize(t.maximum);
    }
    set_frames(state);
}
BENCHMARK(BM_LoudnessAndTruePeak)->Unit(benchmark::kMillisecond);

// The same figures: momentary and short-term read every 100 ms (every nine
// blocks of 512), integrated and range once at the end.
template <bool WithTruePeak>
void BM_Ebur128Loudness(benchmark::State& state) {
    const Signal& sig = signal();
    const int mode = EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_HISTOGRAM |
                     (WithTruePeak ? EBUR128_MODE_TRUE_PEAK : 0);
    for (auto _ : state) {
        ebur128_state* st = ebur128_init(2, static_cast<unsigned long>(kRate), mode);
        double m = 0, s = 0, mMax = -1e9, sMax = -1e9, i = 0, lra = 0, peak = 0;
        int block = 0;
        for (int64_t pos = 0; pos + kBlock <= kFrames; pos += kBlock, ++block) {
            ebur128_add_frames_float(st, &sig.interleaved[2 * pos], kBlock);
            if (block % 9 != 0) continue;
            ebur128_loudness_momentary(st, &m);
            ebur128_loudness_shortterm(st, &s);
            mMax = std::max(mMax, m);
            sMax = std::max(sMax, s);
            if (WithTruePeak) {
                ebur128_true_peak(st, 0, &peak);
                ebur128_true_peak(st, 1, &peak);
            }
        }
        ebur128_loudness_global(st, &i);
        ebur128_loudness_range(st, &lra);
        benchmark::DoNotOptimize(mMax + sMax + i + lra + peak);
        ebur128_destroy(&st);
    }
    set_frames(state);
}
BENCHMARK(BM_Ebur128Loudness<false>)->Name("BM_Ebur128Loudness")->Unit(benchmark::kMillisecond);
// Every figure of the two meters together: the comparison for all five.
BENCHMARK(BM_Ebur128Loudness<true>)->Name("BM_Ebur128AllFive")->Unit(benchmark::kMillisecond);

void BM_Ebur128TruePeak(benchmark::State& state) {
    const Signal& m = signal();
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

BENCHMARK(riserbench::BM_PlainKernel)->Name("BM_PlainKernel")->Unit(benchmark::kMillisecond);

// CPU time per frame of every run; with repetitions, one entry per repetition.
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

}  // namespace

int main(int argc, char** argv) {
    register_true_peak_codes();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    signal();  // build the buffers before any timing
    SummaryReporter rep;
    benchmark::RunSpecifiedBenchmarks(&rep);
    std::map<std::string, double> m;
    std::printf("\nsummary (60 s stereo at 48 kHz, blocks of %d; CPU time, median of repetitions)\n", kBlock);
    for (const auto& [name, v] : rep.ns) {
        m[name] = riserbench::median(v);
        std::printf("%-30s %10.2f ns/frame %4zu runs\n", name.c_str(), m[name], v.size());
    }
    auto ratio = [&](const char* what, const char* a, const char* b) {
        if (m[a] > 0 && m[b] > 0) std::printf("%-48s = %.2f\n", what, m[a] / m[b]);
    };
    ratio("loudness meter / plain kernel", "BM_LoudnessMeter", "BM_PlainKernel");
    ratio("true peak / plain kernel", "BM_TruePeak", "BM_PlainKernel");
    ratio("true peak, scalar twin / plain kernel", "BM_TruePeakScalar", "BM_PlainKernel");
    ratio("true peak, SSE2 / plain kernel", "BM_TruePeakSse2", "BM_PlainKernel");
    ratio("true peak, AVX2 / plain kernel", "BM_TruePeakAvx2", "BM_PlainKernel");
    ratio("true peak, AVX-512 / plain kernel", "BM_TruePeakAvx512", "BM_PlainKernel");
    ratio("all five figures / plain kernel", "BM_LoudnessAndTruePeak", "BM_PlainKernel");
    ratio("libebur128 loudness / loudness meter", "BM_Ebur128Loudness", "BM_LoudnessMeter");
    ratio("libebur128 true peak / true peak", "BM_Ebur128TruePeak", "BM_TruePeak");
    ratio("libebur128, all five / all five figures", "BM_Ebur128AllFive", "BM_LoudnessAndTruePeak");
    benchmark::Shutdown();
    return 0;
}
