// How the engine connects its two channel strips: port and parameter wiring,
// the detectors' rings and publication hook, and the editor's side of the
// meter snapshot hand-over.
#include "engine/strip_wiring.h"

#include <cmath>

#include "dsp/tagged_buffer.h"
#include "engine/engine.h"
#include "engine/script_bridge.h"

namespace b2 {

namespace {

// A detector publishes through the audio-side script hook, which fills its
// dB readouts.
void publish_meter(void* context, LevelDetector& d) {
    call_hook(SIDE_AUDIO, static_cast<engine*>(context), HOOK_METER_PUBLISH,
              static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&d)), 0, 0, 0);
}

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
    d.link = {publish_meter, e, &e->editor_countdown};
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

bool both_set(engine* e, std::atomic<uint8_t> MeterSnapshot::*flag) {
    return (e->strips[0].detector.snapshot.*flag).load(std::memory_order_acquire) == 1 &&
           (e->strips[1].detector.snapshot.*flag).load(std::memory_order_acquire) == 1;
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

void settle_gain(engine* e) {
    if (!e) return;
    const value_slot* g = e->banks[BANK_GLOBAL];
    // The smoother's own target: unity when bypassed, else "Gain" in dB.
    const float target = g[ID_BYPASS].get() >= 0.5f ? 1.0f : powf(10.0f, g[ID_GAIN].get() * 0.05f);
    for (ChannelStrip& s : e->strips) {
        s.gain.gain = target;
        s.gain.target = target;
    }
}

bool take_meter_snapshots(engine* e, MeterSnapshot out[2]) {
    if (!e || !both_set(e, &MeterSnapshot::ready)) return false;
    for (int c = 0; c < 2; ++c) {
        MeterSnapshot& s = e->strips[c].detector.snapshot;
        out[c].copy_values(s);
        s.ready.store(0, std::memory_order_release);
    }
    return true;
}

bool take_scale_change(engine* e) {
    if (!e || !both_set(e, &MeterSnapshot::scaleChanged)) return false;
    for (auto& strip : e->strips) strip.detector.snapshot.scaleChanged.store(0, std::memory_order_release);
    return true;
}

}  // namespace b2
