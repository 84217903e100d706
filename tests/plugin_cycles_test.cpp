// A thousand instance lifetimes as hosts run them, at random sample rates and
// block lengths (fixed seed): create, initialize, set up, process, save and
// load the state, terminate, release. Under AddressSanitizer this is also the
// leak check of a whole instance.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "tests/byte_stream.h"
#include "tests/plugin_host.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr int32 kMaxBlock = 4096;

struct Rng {
    std::mt19937 gen{20240517u};
    // Uniform integer in lo..hi.
    int32 between(int32 lo, int32 hi) { return lo + static_cast<int32>(gen() % static_cast<uint32_t>(hi - lo + 1)); }
    double rate() { return 8000.0 + 376000.0 * static_cast<double>(gen()) / 4294967295.0; }
};

riser::Vst3Adapter* create() {
    FUnknown* unknown = riser::Vst3Adapter::createInstance(const_cast<riser::BusConfig*>(&riser::kBusConfig));
    return static_cast<riser::Vst3Adapter*>(static_cast<IAudioProcessor*>(unknown));
}

tresult setup(riser::Vst3Adapter* a, double rate) {
    ProcessSetup s{kRealtime, kSample32, kMaxBlock, rate};
    return a->setupProcessing(s);
}

// Processes `n` samples of a sine; false when an output sample is not finite
// or louder than the input (the default gain is 0 dB, reached from below).
bool process(riser::Vst3Adapter* a, b2test::Block& b, int32 n, long phase) {
    for (int32 i = 0; i < n; ++i) {
        const float x = 0.8f * static_cast<float>(std::sin(0.05 * static_cast<double>(phase + i)));
        b.in[0][static_cast<size_t>(i)] = x;
        b.in[1][static_cast<size_t>(i)] = -x;
    }
    b.data.numSamples = n;
    if (a->process(b.data) != kResultOk) return false;
    for (int c = 0; c < 2; ++c)
        for (int32 i = 0; i < n; ++i) {
            const float y = b.out[c][static_cast<size_t>(i)];
            if (!std::isfinite(y) || std::fabs(y) > std::fabs(b.in[c][static_cast<size_t>(i)]) * 1.0001f) return false;
        }
    return true;
}

TEST(PluginCycles, AThousandLifetimesAtRandomRatesAndBlockLengths) {
    static HostApplication host;
    Rng rng;
    b2test::Block b(kMaxBlock);
    std::vector<uint8_t> first_state;
    long samples = 0;
    for (int cycle = 0; cycle < 1000; ++cycle) {
        SCOPED_TRACE(cycle);
        riser::Vst3Adapter* a = create();
        ASSERT_NE(a, nullptr);
        ASSERT_EQ(a->initialize(&host), kResultOk);
        const double rate = rng.rate();
        ASSERT_EQ(setup(a, rate), kResultOk);
        ASSERT_EQ(a->setProcessing(true), kResultOk);
        EXPECT_EQ(b2::global_value(a->get_engine(), b2::ID_SAMPLE_RATE), static_cast<float>(rate));

        const int blocks = rng.between(1, 3);
        for (int k = 0; k < blocks; ++k) {
            const int32 n = rng.between(1, kMaxBlock);
            ASSERT_TRUE(process(a, b, n, samples)) << "rate " << rate << ", " << n << " samples";
            samples += n;
        }
        if (cycle % 10 == 3) {  // the host changes the rate between two runs
            a->setProcessing(false);
            ASSERT_EQ(setup(a, rng.rate()), kResultOk);
            a->setProcessing(true);
            ASSERT_TRUE(process(a, b, rng.between(1, kMaxBlock), samples));
        }

        // Saving and loading gives the same bytes back, in every instance.
        b2test::ByteStream saved;
        ASSERT_EQ(a->getState(&saved), kResultOk);
        saved.pos = 0;
        ASSERT_EQ(a->setState(&saved), kResultOk);
        b2test::ByteStream again;
        a->getState(&again);
        EXPECT_EQ(again.bytes, saved.bytes);
        if (cycle == 0) first_state = saved.bytes;
        EXPECT_EQ(saved.bytes, first_state);

        ASSERT_EQ(a->setProcessing(false), kResultOk);
        ASSERT_EQ(a->terminate(), kResultOk);
        EXPECT_EQ(a->release(), 0u);  // the last reference: the instance is gone
    }
    EXPECT_FALSE(first_state.empty());
}

}  // namespace
