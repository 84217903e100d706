// Fingerprints of the exact numbers the meter produces: output samples,
// published snapshots, detector state, filter and ramp coefficients, and the
// parameter mappings with their texts, for fixed signals and settings. The
// expected fingerprints were taken from the release builds of each platform
// (Debian 12: GCC and glibc; Windows: MinGW-w64, run under Wine); every build
// (other compilers, optimisation levels, sanitizers) must reproduce them bit
// for bit, so a compiler or maths-library change shows up here.
// The test signals use only additions and multiplications, never the math
// library, so the input itself is the same everywhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/param_table.h"
#include "engine/strip_wiring.h"
#include "engine/value_format.h"
#include "tests/test_support.h"

using namespace b2;

namespace {

// FNV-1a over the bytes of what is added.
struct Fingerprint {
    uint64_t h = 1469598103934665603ull;
    void bytes(const void* p, size_t n) {
        const auto* b = static_cast<const unsigned char*>(p);
        for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
    }
    void add(float v) { bytes(&v, sizeof v); }
    void add(const char* text) { bytes(text, std::strlen(text) + 1); }
    std::string hex() const {
        char s[17];
        std::snprintf(s, sizeof s, "%016" PRIx64, h);
        return s;
    }
};

// Noise from an integer generator plus a sine from a rotating vector, both
// in plain float arithmetic; a loud burst and silence at the end.
std::vector<float> make_signal(int channel, int frames) {
    std::vector<float> s(static_cast<size_t>(frames));
    uint32_t seed = 777u + static_cast<uint32_t>(channel) * 31u;
    float x = 1.0f, y = 0.0f;
    const float c = 0.99785f, sn = 0.065507f;  // about 500 Hz at 48 kHz
    for (int i = 0; i < frames; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const float noise = (static_cast<float>(seed >> 8) * (1.0f / 16777216.0f) - 0.5f) * 0.3f;
        const float nx = c * x - sn * y;
        y = sn * x + c * y;
        x = nx;
        float v = noise * (channel ? 1.0f : 0.25f) + 0.2f * (channel ? y : x);
        if (i >= frames / 3 && i < frames / 3 + 480) v = channel ? -0.98f : 0.97f;
        if (i >= frames * 5 / 6) v = 0.0f;
        s[static_cast<size_t>(i)] = v;
    }
    return s;
}

void add_detector(Fingerprint& f, const LevelDetector& d) {
    const MeterSnapshot& s = d.snapshot;
    for (float v : {s.heldPeakDb, s.peakDb, s.heldRmsDb, s.rmsDb, s.heldCrestDb, s.crestDb, d.peak, d.sum, d.heldPeak,
                    d.heldSum, d.crest, d.decay})
        f.add(v);
}

// What the runs below must give. The maths libraries differ: for some
// arguments glibc's log10f, logf and tanf (Debian 12) and those of MinGW-w64's
// runtime round to neighbouring floats (at most 2 units in the last place
// apart), so the readings and mappings have one set of values per platform.
// Filter and ramp coefficients, output samples and texts are the same on both.
#if defined(_WIN32)
const char* const kExpectedChain[4] = {
    "coefficients 4b9d5f2cb17ca62f, output b0bb99111c05f719, readings 47e24f594c0079f9",
    "coefficients bdbd71f5c007da83, output f5bbf92c644ef1cf, readings a5b1a6262106c4ad",
    "coefficients 9ccac898f6d9ebab, output f6cd4287288bb2ed, readings 93ea956905b09d7b",
    "coefficients 5a033a69831ef97f, output 14f06e92f55481bb, readings 04c98e1e71e554ef",
};
const char* const kExpectedMappings = "numbers 41ca8ec6de691752, texts d9662860986e59bb";
#else
const char* const kExpectedChain[4] = {
    "coefficients 4b9d5f2cb17ca62f, output b0bb99111c05f719, readings 3850b6a1b7903f57",
    "coefficients bdbd71f5c007da83, output f5bbf92c644ef1cf, readings 14c2bea371289caf",
    "coefficients 9ccac898f6d9ebab, output f6cd4287288bb2ed, readings 354a4870d40b42b0",
    "coefficients 5a033a69831ef97f, output 14f06e92f55481bb, readings cbdecc355ca1f596",
};
const char* const kExpectedMappings = "numbers eda9b4ac34aae541, texts d9662860986e59bb";
#endif

struct Scenario {
    float rate;
    float k_filter;
    float gain_db;
    float rms_window_ms;
    float peak_fall;
};

// Runs 1.5 s of the signal in 441-sample calls, taking snapshots every 1600
// samples as the editor does, and fingerprints what comes out in three parts
// (coefficients, output samples, readings) so a difference says where it is.
std::string run(const Scenario& sc) {
    const int frames = static_cast<int>(sc.rate * 1.5f);
    const std::vector<float> in[2] = {make_signal(0, frames), make_signal(1, frames)};
    b2test::EnginePtr e(b2test::make_engine(sc.rate));
    set_global_value(e.get(), ID_K_FILTER, sc.k_filter);
    set_global_value(e.get(), ID_GAIN, sc.gain_db);
    set_global_value(e.get(), ID_RMS_WINDOW, sc.rms_window_ms);
    set_global_value(e.get(), ID_PEAK_FALL, sc.peak_fall);
    Fingerprint f, coefficients, output;
    std::vector<float> out[2] = {std::vector<float>(frames), std::vector<float>(frames)};
    int done = 0, next_tick = 1600;
    while (done < frames) {
        int n = std::min(441, frames - done);
        n = std::min(n, next_tick - done);
        const float* ins[2] = {in[0].data() + done, in[1].data() + done};
        float* outs[2] = {out[0].data() + done, out[1].data() + done};
        process_block(e.get(), const_cast<float**>(ins), outs, n);
        done += n;
        if (done == next_tick) {
            MeterSnapshot taken[2];
            f.add(take_meter_snapshots(e.get(), taken) ? 1.0f : 0.0f);
            for (const LevelDetector* d : {&e->strips[0].detector, &e->strips[1].detector}) add_detector(f, *d);
            next_tick += 1600;
        }
    }
    for (const auto& o : out) output.bytes(o.data(), o.size() * sizeof(float));
    for (const ChannelStrip& s : e->strips) {
        const Biquad& sh = s.kweight.shelf;
        const DeltaHighpass& hp = s.kweight.highpass;
        for (float v : {sh.b0, sh.b1, sh.b2, sh.a1, sh.a2, hp.d1, hp.d0}) coefficients.add(v);
        for (float v : {s.gain.coeff, s.gain.target, s.gain.gain, s.detector.decay}) coefficients.add(v);
    }
    return "coefficients " + coefficients.hex() + ", output " + output.hex() + ", readings " + f.hex();
}

}  // namespace

TEST(Golden, SignalChainOutputAndReadings) {
    const Scenario cases[] = {
        {48000.0f, 0.0f, 5.0f, 300.0f, 1000.0f},
        {48000.0f, 1.0f, -7.5f, 600.0f, 250.0f},
        {44100.0f, 1.0f, 0.0f, 50.0f, 1000.0f},
        {96000.0f, 1.0f, 12.0f, 3000.0f, 4000.0f},
    };
    for (size_t i = 0; i < 4; ++i) {
        const Scenario& sc = cases[i];
        EXPECT_EQ(run(sc), kExpectedChain[i]) << "rate " << sc.rate << ", K " << sc.k_filter << ", gain " << sc.gain_db
                                              << " dB, window " << sc.rms_window_ms << " ms";
    }
}

// Every host parameter's mapping both ways and its text at 101 points, and
// readout texts; texts apart from numbers so a difference says where it is.
TEST(Golden, ParameterMappingsAndTexts) {
    Fingerprint numbers, texts;
    char text[128];
    for (int id = ID_SMOOTH; id <= ID_BYPASS; ++id) {
        for (int i = 0; i <= 100; ++i) {
            const float plain = to_plain(id, static_cast<float>(i) * 0.01f);
            numbers.add(plain);
            numbers.add(to_normalized(id, plain));
            format_value(id, plain, text);
            texts.add(text);
        }
    }
    for (float v : {-280.0f, -60.25f, -3.0f, -0.04f, 0.0f, 0.05f, 2.9999f, 12.5f}) {
        formatReadout(v, text);
        texts.add(text);
    }
    EXPECT_EQ("numbers " + numbers.hex() + ", texts " + texts.hex(), kExpectedMappings);
}
