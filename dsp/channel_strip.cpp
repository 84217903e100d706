// Wiring and block loop of the two channel strips, and the two taps.
#include "dsp/channel_strip.h"

#include <cstring>

#include "dsp/tagged_buffer.h"
#include "engine/engine.h"

namespace b2 {

namespace {

// Blocks needed for the longest RMS window (3000 ms): trunc(rate * 0.1875).
// A rate that is not a positive number gives no ring; the product is capped
// so that the ring's byte size fits the 32-bit header.
int32_t ring_capacity(float rate) {
    const float blocks = rate * 0.1875f;
    if (!(blocks >= 1.0f)) return 0;
    if (blocks >= 1073741823.0f) return 1073741823;  // capacity * 4 < 2^32
    return static_cast<int32_t>(blocks);
}

void wire_strip(engine* e, ChannelStrip& s) {
    value_slot* g = e->banks[BANK_GLOBAL];

    GainRamp& gain = s.gain;
    gain.source = s.input.output;
    gain.gainSlot = &g[ID_GAIN];
    gain.smoothSlot = &g[ID_SMOOTH];
    gain.rateSlot = &g[ID_SAMPLE_RATE];
    gain.bypassSlot = &g[ID_BYPASS];

    KWeighting& kw = s.kweight;
    kw.source = gain.output;
    kw.rateSlot = &g[ID_SAMPLE_RATE];
    kw.enableSlot = &g[ID_K_FILTER];

    LevelDetector& d = s.detector;
    d.source = kw.output;
    d.owner = e;
    d.resetSlot = &g[ID_GLOBAL_RESET];
    d.windowSlot = &g[ID_RMS_WINDOW];
    d.rmsHoldSlot = &g[ID_VALUE_HOLD];
    d.valueHoldSlot = &g[ID_VALUE_HOLD];
    d.rateSlot = &g[ID_SAMPLE_RATE];
    d.scaleTopSlot = &g[ID_SCALE_TOP];
    d.scaleZeroSlot = &g[ID_SCALE_ZERO];
    d.segmentHeightSlot = &g[ID_SEGMENT_HEIGHT];
    d.fallSlot = &g[ID_PEAK_FALL];
    d.peakSlots[kClip] = &g[ID_PEAK_CLIP];
    d.peakSlots[kHigh] = &g[ID_PEAK_HIGH];
    d.peakSlots[kLow] = &g[ID_PEAK_LOW];
    d.rmsSlots[0] = &g[ID_RMS_HIGH];
    d.rmsSlots[1] = &g[ID_RMS_LOW];
    d.crestSlots[0] = &g[ID_CREST_HIGH];
    d.crestSlots[1] = &g[ID_CREST_LOW];

    s.output.source = gain.output;

    // On allocation failure the ring stays null with the capacity set.
    d.capacity = ring_capacity(g[ID_SAMPLE_RATE].get());
    tagged_buffer_resize(&d.ring, static_cast<uint32_t>(d.capacity) * 4u);
    tagged_buffer_resize(&d.prefix, d.ring ? static_cast<uint32_t>(d.capacity) * 4u : 0u);
    d.prefixValid = 0;
}

// The audio path of one strip: what it reads from and writes to the host.
void run_audio(ChannelStrip& s, int from, int to) {
    run_input_tap(s.input, from, to);
    run_gain_ramp(s.gain, from, to);
    run_output_tap(s.output, from, to);
}

}  // namespace

void wireStrips(engine* e) {
    for (ChannelStrip& s : e->strips) wire_strip(e, s);
}

void releaseStrips(engine* e) {
    for (ChannelStrip& s : e->strips) {
        tagged_buffer_resize(&s.detector.ring, 0);
        tagged_buffer_resize(&s.detector.prefix, 0);
    }
}

void processStrips(engine* e, const float* const inputs[2], float* const outputs[2], int from, int to) {
    for (int c = 0; c < 2; ++c) {
        e->strips[c].input.host = inputs[c];
        e->strips[c].output.host = outputs[c];
    }
    // The left strip's audio is written before the right one's is read, as
    // if each strip ran whole; the measurement (which touches no host memory)
    // then runs both channels together, publishing left before right.
    ChannelStrip& left = e->strips[0];
    ChannelStrip& right = e->strips[1];
    run_audio(left, from, to);
    run_audio(right, from, to);
    run_k_weighting_pair(left.kweight, right.kweight, from, to);
    run_level_detector_pair(left.detector, right.detector, from, to);
}

// The taps move only the piece's samples: the host pointer is at `from`.
void run_input_tap(InputTap& m, int from, int to) {
    if (!m.host)
        std::memset(m.output + from, 0, static_cast<size_t>(to - from) * sizeof(float));
    else
        copy_samples(m.output + from, m.host, from, to);
}

void run_output_tap(OutputTap& m, int from, int to) {
    if (m.host) copy_samples(m.host, m.source + from, from, to);
}

}  // namespace b2
