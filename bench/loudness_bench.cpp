// Speed of the loudness meter (momentary, short-term, integrated, range) on
// riser_bench's 60 s stereo 48 kHz signal, against libebur128 computing the
// same figures in histogram mode (its constant-memory mode) and the plain
// K-weighting kernel, in the same run. Ends with the medians of the
// repetitions in ns per stereo frame and the ratios.
#include <benchmark/benchmark.h>
#include <ebur128.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/kernel_reference.h"
#include "dsp/loudness_meter.h"

namespace {

using riserbench::kBlock;
using riserbench::kFrames;
using riserbench::kRate;

const riserbench::Signal& signal() {
    static riserbench::Signal s;
    return s;
}

void set_frames(benchmark::State& state) { state.SetItemsProcessed(state.iterations() * kFrames); }

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

// The same figures: momentary and short-term read every 100 ms (every nine
// blocks of 512), integrated and range once at the end.
void BM_Ebur128Loudness(benchmark::State& state) {
    const riserbench::Signal& sig = signal();
    const int mode = EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_HISTOGRAM;
    for (auto _ : state) {
        ebur128_state* st = ebur128_init(2, static_cast<unsigned long>(kRate), mode);
        double m = 0, s = 0, mMax = -1e9, sMax = -1e9, i = 0, lra = 0;
        int block = 0;
        for (int64_t pos = 0; pos + kBlock <= kFrames; pos += kBlock, ++block) {
            ebur128_add_frames_float(st, &sig.interleaved[2 * pos], kBlock);
            if (block % 9 != 0) continue;
            ebur128_loudness_momentary(st, &m);
            ebur128_loudness_shortterm(st, &s);
            mMax = std::max(mMax, m);
            sMax = std::max(sMax, s);
        }
        ebur128_loudness_global(st, &i);
        ebur128_loudness_range(st, &lra);
        benchmark::DoNotOptimize(mMax + sMax + i + lra);
        ebur128_destroy(&st);
    }
    set_frames(state);
}
BENCHMARK(BM_Ebur128Loudness)->Unit(benchmark::kMillisecond);

void BM_PlainKernel(benchmark::State& state) {
    const riserbench::Signal& sig = signal();
    riserbench::PlainChannel ch[2];
    std::vector<float> out_l(kBlock), out_r(kBlock);
    for (auto _ : state) {
        for (int64_t pos = 0; pos + kBlock <= kFrames; pos += kBlock) {
            ch[0].run(&sig.left[pos], out_l.data(), kBlock, 1.0f);
            ch[1].run(&sig.right[pos], out_r.data(), kBlock, 1.0f);
            benchmark::DoNotOptimize(out_l.data());
            benchmark::DoNotOptimize(out_r.data());
        }
        benchmark::DoNotOptimize(ch[0].ring);
        benchmark::DoNotOptimize(ch[1].ring);
    }
    set_frames(state);
}
BENCHMARK(BM_PlainKernel)->Unit(benchmark::kMillisecond);

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

double median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    signal();  // build the buffers before any timing
    SummaryReporter rep;
    benchmark::RunSpecifiedBenchmarks(&rep);
    std::map<std::string, double> m;
    std::printf("\nsummary (60 s stereo at 48 kHz, blocks of %d; CPU time, median of repetitions)\n", kBlock);
    for (const auto& [name, v] : rep.ns) {
        m[name] = median(v);
        std::printf("%-30s %10.2f ns/frame %4zu runs\n", name.c_str(), m[name], v.size());
    }
    const double meter = m["BM_LoudnessMeter"], kernel = m["BM_PlainKernel"], ebu = m["BM_Ebur128Loudness"];
    if (meter > 0 && kernel > 0) std::printf("loudness meter / plain kernel   = %.3f\n", meter / kernel);
    if (meter > 0 && ebu > 0) std::printf("libebur128 / loudness meter     = %.1f\n", ebu / meter);
    benchmark::Shutdown();
    return 0;
}
