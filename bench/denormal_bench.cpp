// What denormal numbers would cost: the engine's block loop on a loud block
// followed by 60 s of digital silence, once with the processor flushing
// denormals to zero (the DenormalGuard that process() uses) and once without.
// While the filters and levels decay through the denormal range, each
// operation on them can cost a hundred times more.
#include <benchmark/benchmark.h>
#include <xmmintrin.h>

#include <cmath>
#include <vector>

#include "engine/engine.h"
#include "dsp/denormal_guard.h"
#include "tests/plugin_host.h"

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 512;
constexpr int64_t kSilentFrames = 60LL * kRate;

void run_loud_then_silence(b2::engine* e, const std::vector<float>& loud, std::vector<float>& out_l,
                           std::vector<float>& out_r) {
    static const std::vector<float> silence(kBlock, 0.0f);
    float* loud_in[2] = {const_cast<float*>(loud.data()), const_cast<float*>(loud.data())};
    float* silent_in[2] = {const_cast<float*>(silence.data()), const_cast<float*>(silence.data())};
    float* out[2] = {out_l.data(), out_r.data()};
    b2::process_block(e, loud_in, out, kBlock);
    int block = 0;
    for (int64_t pos = 0; pos < kSilentFrames; pos += kBlock, ++block) {
        b2::process_block(e, silent_in, out, kBlock);
        // The editor takes the snapshots every few blocks.
        if (block % 3 == 0)
            for (auto& strip : e->strips) strip.detector.snapshot.ready.store(0, std::memory_order_release);
    }
}

// Arguments: flush (0 = the caller's mode with FTZ and DAZ off, 1 = the
// guard) and K filter (0 off, 1 on).
void BM_DenormalSilence(benchmark::State& state) {
    const bool flush = state.range(0) != 0;
    auto adapter = b2test::make_adapter(kRate, kBlock);
    adapter->setParamNormalized(b2::ID_K_FILTER, state.range(1) ? 1.0 : 0.0);
    b2::engine* e = adapter->get_engine();
    std::vector<float> loud(kBlock), out_l(kBlock), out_r(kBlock);
    for (int i = 0; i < kBlock; ++i) loud[i] = 0.9f * static_cast<float>(std::sin(0.05 * i));

    const unsigned int saved = _mm_getcsr();
    _mm_setcsr(saved & ~0x8040u);  // start from a mode that keeps denormals
    for (auto _ : state) {
        if (flush) {
            riser::DenormalGuard guard;
            run_loud_then_silence(e, loud, out_l, out_r);
        } else {
            run_loud_then_silence(e, loud, out_l, out_r);
        }
        benchmark::DoNotOptimize(out_l.data());
    }
    _mm_setcsr(saved);
    // Items are the silent frames, so the summary's ns per frame is per frame of silence.
    state.SetItemsProcessed(state.iterations() * kSilentFrames);
    state.counters["per_frame"] = benchmark::Counter(
        static_cast<double>(kSilentFrames), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DenormalSilence)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"flush", "kfilter"})
    ->Unit(benchmark::kMillisecond);

}  // namespace
