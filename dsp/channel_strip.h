// One channel's fixed chain of five modules on a grid of 16-sample cells:
// InputTap -> GainRamp -> KWeighting -> LevelDetector, and GainRamp -> OutputTap.
// A cell may arrive in pieces (a host block that ends mid-cell): each module
// works on the samples [from, to) of the current cell, the per-sample work
// (gain ramp, K-weighting) runs at once and the detector's per-cell work runs
// when the cell's last sample has arrived, so results do not depend on where
// the host cuts the stream.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>

#include "dsp/meter_snapshot.h"
#include "dsp/value_slot.h"

namespace b2 {

constexpr int kBlock = 16;  // samples per sub-block

struct InputTap {
    const float* host = nullptr;  // set before every block
    float output[kBlock] = {};
};

struct GainRamp {
    const float* source = nullptr;
    const value_slot* gainSlot = nullptr;
    const value_slot* smoothSlot = nullptr;
    const value_slot* rateSlot = nullptr;
    const value_slot* bypassSlot = nullptr;
    float gain = 0;  // smoother state
    float ramp[kBlock] = {};
    float output[kBlock] = {};
    float settleSeconds = 0;
    float settleSamples = 0;
    float coeff = 0;
    float oneMinusCoeff = 0;
    float target = 0;
};

struct Biquad {
    float b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};

// The high-pass (1 - 1/z)^2 / (1 + a1/z + a2/z^2) written around z = 1: with
// z = 1 + d it is d^2 / (d^2 + d1 d + d0). Its poles lie close to z = 1, where
// a1 and a2 are near -2 and 1; d1 = 2 + a1 and d0 = 1 + a1 + a2 are the small
// numbers that set its corner and damping, held to float's relative precision.
struct DeltaHighpass {
    float d1 = 0, d0 = 0;
};

struct KWeighting {
    const float* source = nullptr;
    float output[kBlock] = {};
    const value_slot* rateSlot = nullptr;
    const value_slot* enableSlot = nullptr;
    // The high-pass's state: the running sum of its output and the running
    // sum of that.
    float hpSum = 0, hpSumOfSums = 0;
    // High-pass output h and shelf output y. [0], [1]: last two samples of
    // the previous block; [2..17]: this block.
    float h[kBlock + 2] = {};
    float y[kBlock + 2] = {};
    Biquad shelf;
    DeltaHighpass highpass;
    bool active = false;  // "K Filter" as it stood at the start of the cell
    bool available = false;  // the rate allows the weighting (k_weighting.h)
};

struct LevelDetector;

// What a detector needs from outside the chain: the hook that fills its dB
// readouts when it publishes, and the count that tells it an editor has just
// opened (1: redraw the scales).
struct DetectorLink {
    void (*publish)(void* context, LevelDetector& detector) = nullptr;
    void* context = nullptr;
    const std::atomic<uint8_t>* editorCountdown = nullptr;
};

struct LevelDetector {
    const float* source = nullptr;
    DetectorLink link;
    float* ring = nullptr;    // TaggedBuffer of mean squares
    float* prefix = nullptr;  // TaggedBuffer: running sums of the last re-sum
    uint32_t prefixValid = 0; // prefix[0 .. prefixValid - 1] still match the ring
    float sum = 0;
    int32_t capacity = 0;
    uint32_t length = 0;
    uint32_t position = 0;
    float peak = 0;
    float decay = 0;
    float crest = 0;
    MeterSnapshot snapshot;
    float heldPeak = 0;
    int32_t peakHoldLength = 0;
    int32_t peakHoldCount = 0;
    float heldSum = 0;
    int32_t rmsHoldLength = 0;
    int32_t rmsHoldCount = 0;
    float heldCrest = 0;
    int32_t crestHoldLength = 0;
    int32_t crestHoldCount = 0;
    int32_t resumInterval = 0;
    int32_t sinceResum = 0;
    // Sum of squares and largest magnitude of the current cell so far.
    float cellSquares = 0;
    float cellMax = 0;
    const value_slot* resetSlot = nullptr;
    const value_slot* windowSlot = nullptr;
    const value_slot* rmsHoldSlot = nullptr;
    const value_slot* valueHoldSlot = nullptr;
    const value_slot* rateSlot = nullptr;
    const value_slot* scaleTopSlot = nullptr;
    const value_slot* scaleZeroSlot = nullptr;
    const value_slot* segmentHeightSlot = nullptr;
    const value_slot* fallSlot = nullptr;
    const value_slot* peakSlots[3] = {};   // clip, high, low
    const value_slot* rmsSlots[2] = {};    // high, low
    const value_slot* crestSlots[2] = {};  // high, low
};

struct OutputTap {
    const float* source = nullptr;
    float* host = nullptr;  // set before every block
};

struct ChannelStrip {
    InputTap input;
    GainRamp gain;
    KWeighting kweight;
    LevelDetector detector;
    OutputTap output;
};

// Copies the samples [from, to) of a cell; a whole cell has a fixed size the
// compiler turns into a few vector moves instead of a library call.
inline void copy_samples(float* to_block, const float* from_block, int from, int to) {
    if (from == 0 && to == kBlock)
        std::memcpy(to_block, from_block, kBlock * sizeof(float));
    else
        std::memcpy(to_block, from_block, static_cast<size_t>(to - from) * sizeof(float));
}

// Runs samples [from, to) of the current cell: the left strip completely, then
// the right one. inputs[c] / outputs[c] point at the host sample for `from`;
// a null input reads as silence, a null output is not written.
void processStrips(ChannelStrip strips[2], const float* const inputs[2], float* const outputs[2], int from = 0, int to = kBlock);

// The modules on samples [from, to) of the current cell (a whole cell by
// default; exposed for tests of a single module).
void run_input_tap(InputTap& m, int from = 0, int to = kBlock);
void run_gain_ramp(GainRamp& m, int from = 0, int to = kBlock);
void run_k_weighting(KWeighting& m, int from = 0, int to = kBlock);
void run_level_detector(LevelDetector& m, int from = 0, int to = kBlock);
// The same for both channels at once, with results identical to running them
// one after the other (the detectors publish left, then right).
void run_k_weighting_pair(KWeighting& a, KWeighting& b, int from, int to);
void run_level_detector_pair(LevelDetector& a, LevelDetector& b, int from, int to);
void run_output_tap(OutputTap& m, int from = 0, int to = kBlock);
// Recomputes both filter sections for sample rate `fs`; at a rate where the
// weighting cannot be built (k_weighting_available) the module passes its
// input through unweighted.
void compute_k_weighting(KWeighting& m, float fs);

}  // namespace b2
