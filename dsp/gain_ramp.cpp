// Smoothed input gain: a one-pole recursion per sample towards the target
// gain, with the target and the coefficient cached between changes.
#include <cmath>

#include "dsp/channel_strip.h"

namespace b2 {

namespace {

// output = gain * source, and the ramp at that constant gain, on [from, to).
// The three blocks never overlap (restrict lets the loop vectorise).
inline void scale_block(GainRamp& m, float gain, int from, int to) {
    float* __restrict ramp = m.ramp;
    float* __restrict out = m.output;
    const float* __restrict in = m.source;
    for (int i = from; i < to; ++i) {
        ramp[i] = gain;
        out[i] = gain * in[i];
    }
}

bool bypassed(const GainRamp& m) { return m.bypassSlot && m.bypassSlot->get() >= 0.5f; }

// With "Bypass" on the output must equal the input, as the host expects of a
// bypassed plug-in; the smoother still moves there, so bypassing never clicks.
float target_gain(const GainRamp& m) { return bypassed(m) ? 1.0f : powf(10.0f, m.gainSlot->get() * 0.05f); }

}  // namespace

void run_gain_ramp(GainRamp& m, int from, int to) {
    if (m.gainSlot->is_changed() || (m.bypassSlot && m.bypassSlot->is_changed())) m.target = target_gain(m);

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
    // In single precision the recursion stalls a few steps short of its
    // target. Bypassed, the output must be the input exactly, so once the
    // ramp has stalled the gain becomes exactly 1 (which the recursion keeps).
    // Checked at cell starts only, so the result does not depend on the cuts.
    const bool settled = c * gain + a == gain;
    if (settled && from == 0 && m.target == 1.0f && bypassed(m)) gain = 1.0f;
    if (settled) {
        // Settled: the recursion would give this same gain at every sample.
        if (from == 0 && to == kBlock)
            scale_block(m, gain, 0, kBlock);  // a whole cell: fixed length, fully vectorised
        else
            scale_block(m, gain, from, to);
        m.gain = gain;
        return;
    }
    for (int i = from; i < to; ++i) {
        gain = c * gain + a;
        m.ramp[i] = gain;
        m.output[i] = m.ramp[i] * m.source[i];
    }
    m.gain = gain;
}

}  // namespace b2
