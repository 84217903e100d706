// Meter states the editor tests, the editor pictures and the drawing
// benchmarks show: a snapshot at given levels with the default scale's
// segment height and colour thresholds, as the detectors would publish it.
#pragma once

#include "dsp/meter_snapshot.h"
#include "engine/engine.h"

namespace b2test {

struct meter_levels {
    float rms_db;
    float peak_db;
    float crest_db;
};

// Levels and held values at `levels`, thresholds of the default scale.
inline void set_levels(b2::MeterSnapshot& s, const meter_levels& levels) {
    s.segmentHeight = 16;
    s.peakThresholds[b2::kClip] = -4, s.peakThresholds[b2::kHigh] = -6, s.peakThresholds[b2::kLow] = -8;
    s.rmsThresholds[b2::kHigh] = -18, s.rmsThresholds[b2::kLow] = -20;
    s.crestThresholds[b2::kHigh] = 14, s.crestThresholds[b2::kLow] = 12;
    s.rmsDb = s.heldRmsDb = levels.rms_db;
    s.peakDb = s.heldPeakDb = levels.peak_db;
    s.crestDb = s.heldCrestDb = levels.crest_db;
}

// Both channels of `e` publish `levels`, with a scale change so the editor
// draws its scales too.
inline void publish_levels(b2::engine* e, const meter_levels& levels) {
    for (int c = 0; c < 2; ++c) {
        b2::MeterSnapshot& s = e->strips[c].detector.snapshot;
        set_levels(s, levels);
        s.ready.store(1);
        s.scaleChanged.store(1);
    }
}

}  // namespace b2test
