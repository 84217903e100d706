#include "dsp/readouts.h"

#include <cmath>

#include "dsp/channel_strip.h"

namespace b2 {

namespace {

constexpr float kSilenceDb = -280.0f;  // 20 * log10(kReadoutFloor)

// Level in dB plus the field's offset; silence (at or below the floor) reads
// -280 dB in every field, offset or not.
inline float db(float linear, float offset = 0.0f) {
    if (!(linear > kReadoutFloor)) return kSilenceDb;
    return 20.0f * std::log10(linear) + offset;
}

}  // namespace

void updateReadouts(LevelDetector& d) {
    MeterSnapshot& s = d.snapshot;
    s.heldPeakDb = db(d.heldPeak);
    s.peakDb = db(d.peak);
    // A detector that never had a window (length 0) has no RMS: read silence.
    const float k = d.length ? 1.0f / static_cast<float>(d.length) : 0.0f;
    s.heldRmsDb = db(std::sqrt(k * d.heldSum), 3.0f);
    s.rmsDb = db(std::sqrt(k * d.sum), 3.0f);
    s.heldCrestDb = db(d.heldCrest, -3.0f);
    s.crestDb = db(d.crest, -3.0f);
}

}  // namespace b2
