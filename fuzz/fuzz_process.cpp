// Fuzzes process(): the input is a little program of set-ups, parameter
// points and blocks of arbitrary length and sample values (NaN, Inf, huge).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tests/plugin_host.h"

namespace {

class Reader {
public:
    Reader(const uint8_t* d, size_t n) : data(d), size(n) {}
    bool more() const { return pos < size; }
    uint8_t byte() { return pos < size ? data[pos++] : 0; }
    uint32_t u32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(byte()) << (8 * i);
        return v;
    }
    float f32() {
        const uint32_t bits = u32();
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }

private:
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
};

const double kRates[] = {8000, 22050, 44100, 48000, 88200, 96000, 192000, 384000};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    auto adapter = b2test::make_adapter(kRates[in.byte() % 8], 4096);
    while (in.more()) {
        switch (in.byte() % 4) {
            case 0: {  // a new set-up
                Steinberg::Vst::ProcessSetup setup{Steinberg::Vst::kRealtime, Steinberg::Vst::kSample32, 4096,
                                                   kRates[in.byte() % 8]};
                adapter->setupProcessing(setup);
                break;
            }
            case 1:  // a controller-side value, any double bit pattern
                adapter->setParamNormalized(in.byte() % 40, static_cast<double>(in.f32()));
                break;
            default: {  // a block with parameter points and samples
                const int32_t n = static_cast<int32_t>(in.u32() % 4097);
                b2test::Block block(n);
                bool finite_in = true;
                const int kinds = in.byte();
                for (int32_t i = 0; i < n; ++i)
                    for (int c = 0; c < 2; ++c) {
                        float v = (kinds & 1) ? in.f32() : 0.25f * std::sin(0.01f * static_cast<float>(i));
                        block.in[c][static_cast<size_t>(i)] = v;
                        finite_in = finite_in && std::isfinite(v) && std::fabs(v) < 1e30f;
                    }
                Steinberg::Vst::ParameterChanges changes(4);
                const int points = in.byte() % 4;
                for (int p = 0; p < points; ++p) {
                    Steinberg::int32 index = 0;
                    auto* queue = changes.addParameterData(in.byte() % 40, index);
                    if (queue) queue->addPoint(static_cast<Steinberg::int32>(in.u32() % 5000), in.f32(), index);
                }
                block.data.inputParameterChanges = &changes;
                adapter->process(block.data);
                // The output is the input times a gain of at most +60 dB.
                if (finite_in)
                    for (int c = 0; c < 2; ++c)
                        for (float v : block.out[c])
                            if (!std::isfinite(v)) std::abort();
                break;
            }
        }
    }
    return 0;
}
