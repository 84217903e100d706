// The meter state of the editor pictures compared between platforms (the
// same as the editor render test's): both channels publish RMS at -20.5 dB,
// peaks at -10.5 dB, crest 10 dB, with the default scale's thresholds; the
// loudness page shows a programme near -23 LUFS whose left true peak is over
// the default target's ceiling.
#pragma once

#include "editor/offscreen_picture.h"
#include "engine/loudness_stage.h"
#include "tests/meter_levels.h"

namespace picturetest {

constexpr b2test::meter_levels kFixedLevels{-20.5f, -10.5f, 10.0f};

inline void publish_fixed_state(b2::engine* e) { b2test::publish_levels(e, kFixedLevels); }

inline b2::LoudnessView fixed_loudness() {
    b2::LoudnessView v;
    v.momentary = -19.5, v.momentaryMax = -14.2;
    v.shortTerm = -22.6, v.shortTermMax = -20.1;
    v.integrated = -23.1, v.range = 6.4;
    v.truePeakDbtp[0] = -0.4, v.truePeakDbtp[1] = -2.35;
    v.integratedSeconds = 754.6;
    v.integrating = true;
    return v;
}

inline void show_fixed_loudness(b2::offscreen_editor& editor) { editor.show_loudness(fixed_loudness()); }

// The pages pictured, with the file names of their pictures.
struct page_picture {
    uint8_t page;
    const char* name;
};
constexpr page_picture kPages[] = {{0, "main"}, {1, "settings"}, {2, "loudness"}};

}  // namespace picturetest
