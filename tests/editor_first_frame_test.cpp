// An editor opened before the host has processed anything (the SDK's editor
// host, hosts that suspend idle plug-ins) draws its meters from the first
// frame as silence shows them: the scales of the current settings, unlit bars
// and the readouts' no-signal text. Pictures in <build>/test-output/.
#include "tests/plugin_host.h"
//
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/offscreen_picture.h"
#include "engine/engine.h"
#include "engine/value_format.h"
#include "picture_compare.h"

namespace {

struct setting {
    int id;
    float plain;
};

// An instance as the SDK's editor host makes it: initialised, never set up.
b2test::AdapterPtr initialized_only() {
    static Steinberg::Vst::HostApplication host;
    auto* unknown = riser::Vst3Adapter::createInstance(const_cast<riser::BusConfig*>(&riser::kBusConfig));
    auto* a = static_cast<riser::Vst3Adapter*>(static_cast<Steinberg::Vst::IAudioProcessor*>(unknown));
    a->initialize(&host);
    return b2test::AdapterPtr(a);
}

void apply(riser::Vst3Adapter& a, const std::vector<setting>& settings) {
    for (const setting& s : settings)
        ASSERT_EQ(a.setParamNormalized(static_cast<Steinberg::Vst::ParamID>(s.id), b2::to_normalized(s.id, s.plain)),
                  Steinberg::kResultOk);
}

// The main page of a new editor of `a`, as its first frame draws it.
b2::rgba_image first_frame(riser::Vst3Adapter& a, const std::string& name) {
    b2::offscreen_editor editor(a.get_engine(), 1.0);
    EXPECT_TRUE(editor.ok());
    editor.draw();
    std::string error;
    EXPECT_TRUE(editor.save_png(std::string(RISER_TEST_OUTPUT_DIR) + "/" + name + ".png", error)) << error;
    return {editor.width(), editor.height(), editor.rgba()};
}

// Pixels inside the box (x, y, w, h) for which `is(r, g, b)` holds.
template <typename Colour>
int count(const b2::rgba_image& p, int x0, int y0, int w, int h, Colour is) {
    int n = 0;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) {
            const uint8_t* c = &p.pixels[(static_cast<size_t>(y) * p.width + x) * 4];
            n += is(c[0], c[1], c[2]);
        }
    return n;
}

// Ink of the scales' light grey numbers, of the readouts' green on silence,
// and the unlit segments.
bool label_ink(int r, int g, int b) { return r > 120 && r == g && g == b; }
bool green_ink(int, int g, int b) { return g > 70 && g > b + 15; }
bool unlit(int r, int g, int b) { return r == 80 && g == 80 && b == 80; }

TEST(FirstFrame, ANeverProcessedInstanceShowsWhatSilenceShows) {
    const std::vector<setting> cases[] = {
        {},
        {{b2::ID_SCALE_TOP, 6.0f}, {b2::ID_SCALE_ZERO, -12.0f}, {b2::ID_SEGMENT_HEIGHT, 22.0f},
         {b2::ID_PEAK_LOW, -30.0f}},
    };
    int n = 0;
    for (const auto& settings : cases) {
        SCOPED_TRACE(testing::Message() << "settings " << n);
        const std::string suffix = "_settings" + std::to_string(n++);
        // What the editor shows once the host has processed silence.
        b2test::AdapterPtr silent = b2test::make_adapter();
        apply(*silent, settings);
        b2test::Block block(512, 0.0f);
        ASSERT_EQ(silent->process(block.data), Steinberg::kResultOk);
        const b2::rgba_image after_silence = first_frame(*silent, "editor_first_frame_silence" + suffix);

        b2test::AdapterPtr never_set_up = initialized_only();
        b2test::AdapterPtr set_up = b2test::make_adapter();
        for (riser::Vst3Adapter* a : {never_set_up.get(), set_up.get()}) {
            SCOPED_TRACE(a == set_up.get() ? "set up, never processed" : "never set up");
            apply(*a, settings);
            const b2::rgba_image first =
                first_frame(*a, std::string("editor_first_frame_") + (a == set_up.get() ? "idle" : "new") + suffix);
            // The level scale's numbers, the RMS bar's unlit segments, the
            // held peak readout's "---".
            EXPECT_GT(count(first, 114, 54, 24, 528, label_ink), 100);
            EXPECT_GT(count(first, 70, 54, 12, 528, unlit), 1000);
            EXPECT_GT(count(first, 72, 16, 32, 14, green_ink), 6);
            const auto compared = picturetest::compare_pictures(after_silence, first, {}, 0);
            EXPECT_EQ(compared.differing, 0) << compared.describe();
        }
    }
}

}  // namespace
