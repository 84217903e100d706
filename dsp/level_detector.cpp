// The level detector: per 16-sample block a falling peak, a sliding-window RMS
// and the crest factor, each with a held maximum, published to the editor
// through the detector's MeterSnapshot.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "dsp/channel_strip.h"
#include "engine/engine.h"
#include "engine/script_bridge.h"

namespace b2 {

namespace {

// Truncates a non-negative block count to int32. NaN and negative values give
// 0 and huge values saturate, so no conversion is undefined.
int32_t to_count(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 2147483648.0f) return INT32_MAX;
    return static_cast<int32_t>(v);
}

// Milliseconds to whole 16-sample blocks at sample rate fs.
int32_t ms_to_blocks(float fs, float ms) { return to_count(fs * ms * 6.25e-5f); }

bool changed(const value_slot* s) { return s->is_changed(); }

// A sample that is NaN or infinite cannot be measured; it counts as silence so
// that it neither sticks in the peak nor poisons the window sum.
float measurable(float x) { return std::isfinite(x) ? x : 0.0f; }

// The shared hold scheme: `held` keeps its maximum for `length` blocks; when
// the hold runs out it drops to the current value, which starts a new hold.
void hold(float value, float& held, int32_t& count, int32_t length) {
    float h;
    if (count != 0) {
        h = held;
        --count;
    } else {
        held = 0.0f;
        h = 0.0f;
    }
    if (value >= h) {
        count = length;
        held = value;
    }
}

// Window length in blocks, kept within 1 .. capacity - 1 (capacity >= 2).
uint32_t window_length(const LevelDetector& d, float fs) {
    int32_t length = ms_to_blocks(fs, d.windowSlot->get());
    if (length < 1) length = 1;
    if (length > d.capacity - 1) length = d.capacity - 1;
    return static_cast<uint32_t>(length);
}

void resum(LevelDetector& d) {
    d.sinceResum = 0;
    float s = 0.0f;
    for (uint32_t i = 0; i < d.length; ++i) s += d.ring[i];
    d.sum = s;
}

// Without a usable ring (allocation failed, or a rate too low for a window of
// one block) the RMS part cannot run: RMS and crest then read as silence.
void silence_rms(LevelDetector& d) {
    d.sum = 0.0f;
    d.heldSum = 0.0f;
    d.rmsHoldCount = 0;
}

void update_rms(LevelDetector& d, float fs) {
    if (!d.ring || d.capacity < 2) {
        silence_rms(d);
        return;
    }
    const bool reset = changed(d.resetSlot);
    if (reset) {
        std::memset(d.ring, 0, static_cast<size_t>(d.capacity) * sizeof(float));
        d.position = 0;
    }
    if (reset || changed(d.rmsHoldSlot)) d.rmsHoldLength = ms_to_blocks(fs, d.rmsHoldSlot->get());
    bool lengthChanged = false;
    if (reset || changed(d.windowSlot)) {
        d.length = window_length(d, fs);
        lengthChanged = true;
    }
    // A ring re-wired without a reset must still never be read or written
    // past its end.
    const uint32_t capacity = static_cast<uint32_t>(d.capacity);
    if (d.length < 1 || d.length > capacity - 1) {
        d.length = window_length(d, fs);
        lengthChanged = true;
    }
    if (d.position >= capacity) d.position = 0;

    d.ring[d.position] = d.cellSquares * 0.0625f;
    ++d.position;
    ++d.sinceResum;

    if (d.position >= d.length) {
        d.position = 0;
        resum(d);
    } else if (lengthChanged || d.sinceResum > d.resumInterval) {
        resum(d);
    }
    hold(d.sum, d.heldSum, d.rmsHoldCount, d.rmsHoldLength);
}

// Per-block factor for a 20 dB fall in `fallMs`. A factor outside 0..1 (a rate
// that is zero, negative or NaN) would freeze or blow up the peak: use 0.
float peak_decay(float fallMs, float fs) {
    const float decay = std::pow(0.1f, 15999.999f / (fallMs * fs));
    return (decay >= 0.0f && decay <= 1.0f) ? decay : 0.0f;
}

void update_peak_and_crest(LevelDetector& d, float fs) {
    const bool reset = changed(d.resetSlot);
    const bool holdChanged = changed(d.valueHoldSlot);
    if (reset || holdChanged || changed(d.fallSlot)) {
        d.decay = peak_decay(d.fallSlot->get(), fs);
        d.peakHoldLength = ms_to_blocks(fs, d.valueHoldSlot->get());
        d.resumInterval = to_count(fs * 0.001875f);
    }
    d.peak = d.peak * d.decay;

    if (d.cellMax > d.peak) d.peak = d.cellMax;
    hold(d.peak, d.heldPeak, d.peakHoldCount, d.peakHoldLength);

    if (reset || holdChanged) d.crestHoldLength = ms_to_blocks(fs, d.valueHoldSlot->get());
    const float r = d.length ? std::sqrt(d.sum / static_cast<float>(d.length)) : 0.0f;
    d.crest = static_cast<double>(r) >= 1e-5 ? d.peak / r : 0.0f;
    hold(d.crest, d.heldCrest, d.crestHoldCount, d.crestHoldLength);
}

// Hands a new snapshot to the editor once it has taken the previous one: the
// audio-side hook fills the dB readouts, then the display values are copied
// and `ready` is set last.
void publish(LevelDetector& d) {
    MeterSnapshot& s = d.snapshot;
    if (s.ready.load(std::memory_order_acquire) == 0) {
        call_hook(SIDE_AUDIO, d.owner, HOOK_METER_PUBLISH, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&d)),
                  0, 0, 0);
        s.scaleZero = d.scaleZeroSlot->get();
        s.scaleTop = d.scaleTopSlot->get();
        s.segmentHeight = d.segmentHeightSlot->get();
        for (int i = 0; i < 3; ++i) s.peakThresholds[i] = d.peakSlots[i]->get();
        s.rmsThresholds[kHigh] = d.rmsSlots[0]->get();
        s.rmsThresholds[kLow] = d.rmsSlots[1]->get();
        s.crestThresholds[kHigh] = d.crestSlots[0]->get();
        s.crestThresholds[kLow] = d.crestSlots[1]->get();
        s.ready.store(1, std::memory_order_release);
    }
    if (s.scaleChanged.load(std::memory_order_acquire) == 0) {
        const bool editorOpened = d.owner && d.owner->editor_countdown.load(std::memory_order_relaxed) == 1;
        if (changed(d.scaleZeroSlot) || changed(d.scaleTopSlot) || changed(d.segmentHeightSlot) || editorOpened)
            s.scaleChanged.store(1, std::memory_order_release);
    }
}

// Adds samples [from, to) of the cell to its sum of squares and to its largest
// sample value (not magnitude, at least 0), in sample order, so a cell that
// arrives in pieces sums exactly as a whole one.
void accumulate(LevelDetector& d, int from, int to) {
    float squares = d.cellSquares;
    float m = d.cellMax;
    for (int i = from; i < to; ++i) {
        const float x = measurable(d.source[i]);
        squares += x * x;
        if (x > m) m = x;
    }
    d.cellSquares = squares;
    d.cellMax = m;
}

}  // namespace

void run_level_detector(LevelDetector& d, int from, int to) {
    if (!d.source || !d.resetSlot) return;  // not wired yet
    accumulate(d, from, to);
    if (to != kBlock) return;  // the cell is not complete yet
    const float fs = d.rateSlot->get();
    update_rms(d, fs);
    update_peak_and_crest(d, fs);
    d.cellSquares = 0.0f;
    d.cellMax = 0.0f;
    publish(d);
}

}  // namespace b2
