// Smoothed input gain: a one-pole recursion per sample towards the target
// gain, with the target and the coefficient cached between changes.
#include <cmath>

#include "dsp/channel_strip.h"

namespace b2 {

void run_gain_ramp(GainRamp& m) {
    if (m.gainSlot->is_changed()) m.target = powf(10.0f, m.gainSlot->get() * 0.05f);

    if (m.smoothSlot->is_changed() || m.rateSlot->is_changed()) {
        // Reaches within e^-4 (1.8 %) of a step after settleSeconds.
        m.settleSeconds = powf(10.0f, m.smoothSlot->get() * 4.0f - 3.0f);
        m.settleSamples = m.settleSeconds * m.rateSlot->get();
        m.coeff = expf(-4.0f / m.settleSamples);
        m.oneMinusCoeff = 1.0f - m.coeff;
    }

    const float a = m.target * m.oneMinusCoeff;
    const float c = m.coeff;
    float gain = m.gain;
    for (int i = 0; i < kBlock; ++i) {
        gain = c * gain + a;
        m.ramp[i] = gain;
        m.output[i] = m.ramp[i] * m.source[i];
    }
    m.gain = gain;
}

}  // namespace b2
