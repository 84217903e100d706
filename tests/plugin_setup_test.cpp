// Set-ups no host can mean, and what every process call tells the host about
// its output (silence flags).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "dsp/sample_rate.h"
#include "engine/engine.h"
#include "tests/plugin_host.h"

using namespace Steinberg;
using namespace Steinberg::Vst;
using b2test::Block;
using b2test::make_adapter;

namespace {

// The left and right outputs of `calls` calls of 64 samples of a sine.
std::vector<float> run(riser::Vst3Adapter* a, int calls) {
    std::vector<float> out;
    for (int k = 0; k < calls; ++k) {
        Block b(64);
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < 64; ++i) b.in[c][static_cast<size_t>(i)] = 0.5f * std::sin(0.05f * (64 * k + i) + c);
        EXPECT_EQ(a->process(b.data), kResultOk);
        out.insert(out.end(), b.out[0].begin(), b.out[0].end());
        out.insert(out.end(), b.out[1].begin(), b.out[1].end());
    }
    return out;
}

bool all_finite(const std::vector<float>& v) {
    for (float x : v)
        if (!std::isfinite(x)) return false;
    return true;
}

tresult setup(riser::Vst3Adapter* a, double rate, int32 block = 512) {
    ProcessSetup s{kRealtime, kSample32, block, rate};
    return a->setupProcessing(s);
}

}  // namespace

TEST(PluginSetup, RatesNoHostCanMeanAreRefusedAndTheSetupInForceStays) {
    const double inf = std::numeric_limits<double>::infinity();
    auto a = make_adapter(44100.0);
    run(a.get(), 50);
    for (double rate : {std::nan(""), inf, -inf, 0.0, -48000.0, 1e12, 7999.0, 768001.0}) {
        EXPECT_EQ(setup(a.get(), rate), kResultFalse) << rate;
        EXPECT_EQ(b2::global_value(a->get_engine(), b2::ID_SAMPLE_RATE), 44100.0f) << rate;
        EXPECT_TRUE(all_finite(run(a.get(), 4))) << rate;
    }
    EXPECT_EQ(setup(a.get(), b2::kMinSampleRate), kResultOk);
    EXPECT_EQ(setup(a.get(), b2::kMaxSampleRate), kResultOk);

    // A valid set-up starts from a clean gain state: the output is a fresh
    // instance's, bit for bit.
    EXPECT_EQ(setup(a.get(), 48000.0), kResultOk);
    auto fresh = make_adapter(48000.0);
    EXPECT_EQ(run(a.get(), 20), run(fresh.get(), 20));
}

TEST(PluginProcess, OutputSilenceFlagsAreWrittenOnEveryCall) {
    auto a = make_adapter();
    Block loud(64, 0.5f);
    loud.out_bus.silenceFlags = 3;  // left over from the host's last use
    a->process(loud.data);
    EXPECT_EQ(loud.out_bus.silenceFlags, 0u);

    for (int i = 0; i < 10; ++i) {
        Block left(64);
        std::fill(left.in[0].begin(), left.in[0].end(), 0.5f);
        left.out_bus.silenceFlags = 1;
        a->process(left.data);
        EXPECT_EQ(left.out_bus.silenceFlags, 2u);  // the right channel is silent
    }

    Block quiet(64);
    a->process(quiet.data);
    EXPECT_EQ(quiet.out_bus.silenceFlags, 3u);

    Block nan(64, std::nanf(""));
    a->process(nan.data);
    EXPECT_EQ(nan.out_bus.silenceFlags, 0u);  // not a number is not silence

    // A call without samples has no silent channel to report, whatever the
    // host left in the flags.
    Block flush(64);
    flush.data.numSamples = 0;
    flush.out_bus.silenceFlags = 3;
    a->process(flush.data);
    EXPECT_EQ(flush.out_bus.silenceFlags, 0u);
}
