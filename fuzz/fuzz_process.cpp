// Fuzzes process(): the input is a little program of set-ups, parameter
// points and blocks of arbitrary length and sample values (NaN, Inf, huge).
// A second pair of instances gets the same stream, one in whole blocks and
// one cut into calls of changing lengths (0 included): their output and
// meter levels must stay bit-identical.
#include <algorithm>
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

bool same_levels(riser::Vst3Adapter& a, riser::Vst3Adapter& b) {
    for (int c = 0; c < 2; ++c) {
        const b2::LevelDetector& x = a.get_engine()->strips[c].detector;
        const b2::LevelDetector& y = b.get_engine()->strips[c].detector;
        const float fx[] = {x.peak, x.sum, x.heldPeak, x.heldSum, x.crest, x.heldCrest};
        const float fy[] = {y.peak, y.sum, y.heldPeak, y.heldSum, y.crest, y.heldCrest};
        if (std::memcmp(fx, fy, sizeof fx) != 0 || x.position != y.position) return false;
    }
    return true;
}

// The same samples through `whole` in one call and through `cut` in calls
// whose lengths the input chooses.
void run_cut(Reader& in, riser::Vst3Adapter& whole, riser::Vst3Adapter& cut) {
    const int32_t n = static_cast<int32_t>(in.u32() % 4097);
    b2test::Block block(n);
    for (int32_t i = 0; i < n; ++i)
        for (int c = 0; c < 2; ++c) block.in[c][static_cast<size_t>(i)] = in.f32();
    whole.process(block.data);
    for (int32_t done = 0; done < n;) {
        const int32_t len = std::min<int32_t>(n - done, static_cast<int32_t>(in.byte()) * (in.byte() % 4 == 0 ? 16 : 1));
        b2test::Block piece(len);
        for (int c = 0; c < 2; ++c) std::copy_n(block.in[c].begin() + done, len, piece.in[c].begin());
        cut.process(piece.data);
        for (int c = 0; c < 2 && len > 0; ++c)
            if (std::memcmp(piece.out[c].data(), block.out[c].data() + done, sizeof(float) * len) != 0) std::abort();
        done += len;
        if (!in.more() && done < n) {  // out of input: finish in one call
            b2test::Block rest(n - done);
            for (int c = 0; c < 2; ++c) std::copy_n(block.in[c].begin() + done, n - done, rest.in[c].begin());
            cut.process(rest.data);
            done = n;
        }
    }
    if (!same_levels(whole, cut)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    const double rate = kRates[in.byte() % 8];
    auto adapter = b2test::make_adapter(rate, 4096);
    auto whole = b2test::make_adapter(rate, 4096), cut = b2test::make_adapter(rate, 4096);
    while (in.more()) {
        switch (in.byte() % 5) {
            case 0: {  // a new set-up
                Steinberg::Vst::ProcessSetup setup{Steinberg::Vst::kRealtime, Steinberg::Vst::kSample32, 4096,
                                                   kRates[in.byte() % 8]};
                adapter->setupProcessing(setup);
                break;
            }
            case 1:  // a controller-side value, any double bit pattern
                adapter->setParamNormalized(in.byte() % 40, static_cast<double>(in.f32()));
                break;
            case 2:
                run_cut(in, *whole, *cut);
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
