// A minimal in-process host for the plug-in tests: creates and sets up a
// Vst3Adapter and runs process calls with real SDK host classes.
#pragma once

#include <memory>
#include <vector>

#include "plugin/vst3_adapter.h"
#include "public.sdk/source/vst/hosting/eventlist.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"

namespace b2test {

struct AdapterRelease {
    void operator()(riser::Vst3Adapter* a) const {
        a->terminate();
        a->release();
    }
};
using AdapterPtr = std::unique_ptr<riser::Vst3Adapter, AdapterRelease>;

// Creates, initializes and sets up an instance (stereo in/out, 32-bit).
inline AdapterPtr make_adapter(double rate = 48000.0, int32_t max_block = 512) {
    static Steinberg::Vst::HostApplication host;
    auto* unknown = riser::Vst3Adapter::createInstance(const_cast<riser::BusConfig*>(&riser::kBusConfig));
    auto* a = static_cast<riser::Vst3Adapter*>(static_cast<Steinberg::Vst::IAudioProcessor*>(unknown));
    a->initialize(&host);
    Steinberg::Vst::ProcessSetup setup{Steinberg::Vst::kRealtime, Steinberg::Vst::kSample32, max_block, rate};
    a->setupProcessing(setup);
    a->setProcessing(true);
    return AdapterPtr(a);
}

// Stereo buffers and a ProcessData that points at them.
struct Block {
    std::vector<float> in[2], out[2];
    float* in_ptrs[2];
    float* out_ptrs[2];
    Steinberg::Vst::AudioBusBuffers in_bus{}, out_bus{};
    Steinberg::Vst::ProcessData data{};

    explicit Block(int32_t n, float level = 0.0f) {
        for (int c = 0; c < 2; ++c) {
            in[c].assign(static_cast<size_t>(n), level);
            out[c].assign(static_cast<size_t>(n), 0.0f);
            in_ptrs[c] = in[c].data();
            out_ptrs[c] = out[c].data();
        }
        in_bus.numChannels = 2;
        in_bus.channelBuffers32 = in_ptrs;
        out_bus.numChannels = 2;
        out_bus.channelBuffers32 = out_ptrs;
        data.processMode = Steinberg::Vst::kRealtime;
        data.symbolicSampleSize = Steinberg::Vst::kSample32;
        data.numSamples = n;
        data.numInputs = 1;
        data.numOutputs = 1;
        data.inputs = &in_bus;
        data.outputs = &out_bus;
    }
};

// Automation as dense as a host can send: for every host parameter a point
// at each sample of stream samples [from, from + count), at offsets counted
// from `from`, with the normalised value `value(id, sample)`.
template <typename Value>
std::unique_ptr<Steinberg::Vst::ParameterChanges> dense_automation(int32_t from, int32_t count, Value value) {
    auto changes = std::make_unique<Steinberg::Vst::ParameterChanges>(b2::kHostParamCount);
    for (int id = b2::ID_GAIN; id <= b2::ID_BYPASS; ++id) {
        Steinberg::int32 index = 0;
        auto* queue = changes->addParameterData(static_cast<Steinberg::Vst::ParamID>(id), index);
        for (int32_t p = from; p < from + count; ++p) queue->addPoint(p - from, value(id, p), index);
    }
    return changes;
}

}  // namespace b2test
