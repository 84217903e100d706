// The level detector: per 16-sample block a falling peak, a sliding-window RMS
// and the crest factor, each with a held maximum, published to the editor
// through the detector's MeterSnapshot.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "dsp/channel_strip.h"
#include "dsp/lane_pair.h"

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

// The peak is the largest magnitude: negative half-waves count as much as
// positive ones, so a signal and its inverse read the same.
float magnitude(float x) { return std::fabs(x); }

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

// sum := ring[0] + ... + ring[length - 1], added in that order. The running
// sums of the last re-sum are kept: those before the first entry written
// since are still exact, so the addition resumes there with the same result
// as a full pass, at a fraction of the cost for long windows.
void resum(LevelDetector& d) {
    d.sinceResum = 0;
    const uint32_t length = d.length;
    if (!d.prefix) {
        float s = 0.0f;
        for (uint32_t i = 0; i < length; ++i) s += d.ring[i];
        d.sum = s;
        return;
    }
    uint32_t i = d.prefixValid < length ? d.prefixValid : length;
    float s = i ? d.prefix[i - 1] : 0.0f;
    for (; i < length; ++i) {
        s += d.ring[i];
        d.prefix[i] = s;
    }
    if (d.prefixValid < length) d.prefixValid = length;
    d.sum = s;
}

// Without a usable ring (allocation failed, or a rate too low for a window of
// one block) the RMS part cannot run: RMS and crest then read as silence.
void silence_rms(LevelDetector& d) {
    d.sum = 0.0f;
    d.heldSum = 0.0f;
    d.rmsHoldCount = 0;
}

bool has_ring(const LevelDetector& d) { return d.ring && d.capacity >= 2; }

// Writes the cell's mean square into the ring (after a reset or a change of
// window or hold as the flags ask); returns whether the window sum is due to
// be taken again.
bool write_entry(LevelDetector& d, float fs) {
    const bool reset = changed(d.resetSlot);
    if (reset) {
        std::memset(d.ring, 0, static_cast<size_t>(d.capacity) * sizeof(float));
        d.position = 0;
        d.prefixValid = 0;
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
    if (d.prefixValid > d.position) d.prefixValid = d.position;
    ++d.position;
    ++d.sinceResum;

    if (d.position >= d.length) {
        d.position = 0;
        return true;
    }
    return lengthChanged || d.sinceResum > d.resumInterval;
}

// The editor marks a taken snapshot stale once it has shown the meters
// falling while no audio arrived. The levels measured before the stop are
// then out of date: the first cell after it starts from silence (peak, crest,
// held values, their holds and the RMS window), so the meters go on from the
// fall the editor showed instead of jumping back to the levels before the
// stop and holding them. The cell's own samples still count.
void drop_stale_levels(LevelDetector& d) {
    if (d.snapshot.ready.load(std::memory_order_acquire) != kSnapshotStale) return;
    d.peak = d.crest = 0.0f;
    d.heldPeak = d.heldSum = d.heldCrest = 0.0f;
    d.peakHoldCount = d.rmsHoldCount = d.crestHoldCount = 0;
    d.sum = 0.0f;
    if (!has_ring(d)) return;
    std::memset(d.ring, 0, static_cast<size_t>(d.capacity) * sizeof(float));
    d.position = 0;
    d.prefixValid = 0;
}

void hold_rms(LevelDetector& d) { hold(d.sum, d.heldSum, d.rmsHoldCount, d.rmsHoldLength); }

void update_rms(LevelDetector& d, float fs) {
    if (!has_ring(d)) return silence_rms(d);
    if (write_entry(d, fs)) resum(d);
    hold_rms(d);
}

#if RISER_LANE_PAIRS
// Both channels' re-sums as one chain of paired additions, each lane adding
// its own ring in order: the long windows' cost halves, the sums are the same.
bool resum_pair(LevelDetector& a, LevelDetector& b) {
    const uint32_t length = a.length;
    if (!a.prefix || !b.prefix || b.length != length || a.prefixValid != b.prefixValid) return false;
    a.sinceResum = b.sinceResum = 0;
    uint32_t i = a.prefixValid < length ? a.prefixValid : length;
    __m128 s = i ? lanes(a.prefix[i - 1], b.prefix[i - 1]) : _mm_setzero_ps();
    for (; i < length; ++i) {
        s = _mm_add_ps(s, load_lanes(a.ring + i, b.ring + i));
        store_lanes(a.prefix + i, b.prefix + i, s);
    }
    if (a.prefixValid < length) a.prefixValid = b.prefixValid = length;
    a.sum = lane0(s);
    b.sum = lane1(s);
    return true;
}
#endif

// update_rms for both channels, their re-sums together when both are due.
void update_rms_pair(LevelDetector& a, LevelDetector& b, float fs_a, float fs_b) {
    if (!has_ring(a) || !has_ring(b)) {
        update_rms(a, fs_a);
        update_rms(b, fs_b);
        return;
    }
    const bool due_a = write_entry(a, fs_a), due_b = write_entry(b, fs_b);
#if RISER_LANE_PAIRS
    const bool paired = due_a && due_b && resum_pair(a, b);
#else
    const bool paired = false;
#endif
    if (!paired) {
        if (due_a) resum(a);
        if (due_b) resum(b);
    }
    hold_rms(a);
    hold_rms(b);
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

    if (d.cellMax > d.peak) d.peak = d.cellMax;  // the cell's largest |x|
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
    if (s.ready.load(std::memory_order_acquire) != kSnapshotPublished) {
        if (d.link.publish) d.link.publish(d.link.context, d);
        s.scaleZero = d.scaleZeroSlot->get();
        s.scaleTop = d.scaleTopSlot->get();
        s.segmentHeight = d.segmentHeightSlot->get();
        for (int i = 0; i < 3; ++i) s.peakThresholds[i] = d.peakSlots[i]->get();
        s.rmsThresholds[kHigh] = d.rmsSlots[0]->get();
        s.rmsThresholds[kLow] = d.rmsSlots[1]->get();
        s.crestThresholds[kHigh] = d.crestSlots[0]->get();
        s.crestThresholds[kLow] = d.crestSlots[1]->get();
        s.ready.store(kSnapshotPublished, std::memory_order_release);
    }
    if (s.scaleChanged.load(std::memory_order_acquire) == 0) {
        const bool editorOpened =
            d.link.editorCountdown && d.link.editorCountdown->load(std::memory_order_relaxed) == 1;
        if (changed(d.scaleZeroSlot) || changed(d.scaleTopSlot) || changed(d.segmentHeightSlot) || editorOpened)
            s.scaleChanged.store(1, std::memory_order_release);
    }
}

// The squares of a whole cell's measurable samples into sq[], and their
// largest magnitude folded into m. The squares are the same products the
// sample-by-sample path forms; the maximum of magnitudes (all +0 or
// positive) does not depend on the order it is taken in.
void square_cell(const float* source, float* sq, float& m) {
#if RISER_LANE_PAIRS
    const __m128i infinity = _mm_set1_epi32(0x7f800000);
    const __m128 sign = _mm_set1_ps(-0.0f);
    __m128 mv = _mm_set1_ps(m);
    for (int i = 0; i < kBlock; i += 4) {
        const __m128 v = _mm_loadu_ps(source + i);
        const __m128 a = _mm_andnot_ps(sign, v);  // |v|
        // |v| below the bits of +Inf (compared as integers) is finite; NaN, Inf -> 0.
        const __m128 finite = _mm_castsi128_ps(_mm_cmplt_epi32(_mm_castps_si128(a), infinity));
        const __m128 x = _mm_and_ps(finite, a);
        _mm_storeu_ps(sq + i, _mm_mul_ps(x, x));  // |v|^2 is v^2 exactly
        mv = _mm_max_ps(x, mv);                   // x > m ? x : m, lane by lane
    }
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, mv);
    for (float l : lanes)
        if (l > m) m = l;
#else
    for (int i = 0; i < kBlock; ++i) {
        const float x = measurable(source[i]);
        sq[i] = x * x;
        if (magnitude(x) > m) m = magnitude(x);
    }
#endif
}

// Adds one sample to the cell's sum of squares and to its largest magnitude.
// Samples are added in order, so a cell that arrives in pieces sums exactly
// as a whole one.
inline void accumulate_sample(float v, float& squares, float& m) {
    const float x = measurable(v);
    squares += x * x;
    if (magnitude(x) > m) m = magnitude(x);
}

void accumulate(LevelDetector& d, int from, int to) {
    float squares = d.cellSquares, m = d.cellMax;
    for (int i = from; i < to; ++i) accumulate_sample(d.source[i], squares, m);
    d.cellSquares = squares;
    d.cellMax = m;
}

// The per-cell work after the RMS update: peak and crest, then publication.
void finish_levels(LevelDetector& d, float fs) {
    update_peak_and_crest(d, fs);
    d.cellSquares = 0.0f;
    d.cellMax = 0.0f;
    publish(d);
}

// The per-cell work, once the cell's 16 samples have arrived.
void finish_cell(LevelDetector& d) {
    const float fs = d.rateSlot->get();
    drop_stale_levels(d);
    update_rms(d, fs);
    finish_levels(d, fs);
}

bool wired(const LevelDetector& d) { return d.source && d.resetSlot; }

// A whole cell of both channels: the squares, in sample order, and the
// largest magnitudes, with exactly the results of accumulate_sample.
void accumulate_cell_pair(LevelDetector& a, LevelDetector& b) {
    float qa[kBlock], qb[kBlock];
    float ma = a.cellMax, mb = b.cellMax;
    square_cell(a.source, qa, ma);
    square_cell(b.source, qb, mb);
    float sa = a.cellSquares, sb = b.cellSquares;
    for (int i = 0; i < kBlock; ++i) {
        sa += qa[i];
        sb += qb[i];
    }
    a.cellSquares = sa;
    a.cellMax = ma;
    b.cellSquares = sb;
    b.cellMax = mb;
}

}  // namespace

void run_level_detector(LevelDetector& d, int from, int to) {
    if (!wired(d)) return;
    accumulate(d, from, to);
    if (to == kBlock) finish_cell(d);
}

// Both channels accumulate together (two independent sums the processor can
// overlap); the per-cell work and publication stay left, then right.
void run_level_detector_pair(LevelDetector& a, LevelDetector& b, int from, int to) {
    if (!wired(a) || !wired(b)) {
        run_level_detector(a, from, to);
        run_level_detector(b, from, to);
        return;
    }
    if (from == 0 && to == kBlock) {
        accumulate_cell_pair(a, b);
    } else {
        float sa = a.cellSquares, ma = a.cellMax, sb = b.cellSquares, mb = b.cellMax;
        for (int i = from; i < to; ++i) {
            accumulate_sample(a.source[i], sa, ma);
            accumulate_sample(b.source[i], sb, mb);
        }
        a.cellSquares = sa;
        a.cellMax = ma;
        b.cellSquares = sb;
        b.cellMax = mb;
    }
    if (to != kBlock) return;
    // Both RMS updates first (nothing of them is seen outside the detector),
    // then each channel's levels and publication, left before right.
    const float fs_a = a.rateSlot->get(), fs_b = b.rateSlot->get();
    drop_stale_levels(a);
    drop_stale_levels(b);
    update_rms_pair(a, b, fs_a, fs_b);
    finish_levels(a, fs_a);
    finish_levels(b, fs_b);
}

}  // namespace b2
