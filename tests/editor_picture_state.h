// The meter state of the editor pictures compared between platforms (the
// same as the editor render test's): both channels publish RMS at -20.5 dB,
// peaks at -10.5 dB, crest 10 dB, with the default scale's thresholds.
#pragma once

#include "engine/engine.h"

namespace picturetest {

inline void publish_fixed_state(b2::engine* e) {
    for (int c = 0; c < 2; ++c) {
        b2::MeterSnapshot& s = e->strips[c].detector.snapshot;
        s.segmentHeight = 16;
        s.peakThresholds[b2::kClip] = -4, s.peakThresholds[b2::kHigh] = -6, s.peakThresholds[b2::kLow] = -8;
        s.rmsThresholds[b2::kHigh] = -18, s.rmsThresholds[b2::kLow] = -20;
        s.crestThresholds[b2::kHigh] = 14, s.crestThresholds[b2::kLow] = 12;
        s.rmsDb = s.heldRmsDb = -20.5f;
        s.peakDb = s.heldPeakDb = -10.5f;
        s.crestDb = s.heldCrestDb = 10.0f;
        s.ready.store(1);
        s.scaleChanged.store(1);
    }
}

// The pages pictured, with the file names of their pictures.
struct page_picture {
    uint8_t page;
    const char* name;
};
constexpr page_picture kPages[] = {{0, "main"}, {1, "settings"}};

}  // namespace picturetest
