// The meter state of the editor pictures compared between platforms (the
// same as the editor render test's): both channels publish RMS at -20.5 dB,
// peaks at -10.5 dB, crest 10 dB, with the default scale's thresholds.
#pragma once

#include "tests/meter_levels.h"

namespace picturetest {

constexpr b2test::meter_levels kFixedLevels{-20.5f, -10.5f, 10.0f};

inline void publish_fixed_state(b2::engine* e) { b2test::publish_levels(e, kFixedLevels); }

// The pages pictured, with the file names of their pictures.
struct page_picture {
    uint8_t page;
    const char* name;
};
constexpr page_picture kPages[] = {{0, "main"}, {1, "settings"}};

}  // namespace picturetest
