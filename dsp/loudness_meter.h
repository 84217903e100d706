// Gated loudness of one or two channels after BS.1770 / EBU R128: momentary
// (400 ms) and short-term (3 s) loudness with their maxima, integrated
// loudness and loudness range (EBU Tech 3342).
//
// The channels are K-weighted (the chain's own weighting, always on here) and
// their mean squares summed with weight 1.0. The stream is cut into 100 ms
// steps on exact sample boundaries: step k ends at sample floor(k * R / 10),
// R the rate rounded to whole hertz, so a step holds R / 10 samples rounded
// down or up and every ten steps hold exactly R samples (11.025 kHz: 1102 and
// 1103 alternately). Windows are the last 4 or 30 steps; a mean square is the
// window's energy over the samples it holds. Before the stream has filled a
// window the missing steps count as silence. All sums run sample by sample in
// double precision, so the readings do not depend on how the caller cuts the
// stream.
//
// Integration keeps two histograms of 0.01 LU bins from -70 to +30 LUFS (a
// value above goes to the top bin), fixed in the record: one of the 400 ms
// gating blocks (one every step) with each bin's energy and count, one of the
// short-term values (one every step) with counts. Both are Fenwick trees, so
// the gates and percentiles cost a few dozen operations per step however long
// the measurement runs. The gates: blocks above -70 LUFS, then above the mean
// of those minus 10 LU (integrated) or minus 20 LU (range); a bin is on the
// passing side of the relative gate when its centre is above it. The range is
// the distance between the 10th and 95th percentiles of the gated short-term
// values (rank round((n - 1) p)), read at bin centres.
//
// Another thread may ask for a reset or a pause through the atomic flags;
// the audio side reads them at the end of every step, and they apply to the
// step that has just ended: a reset clears the histograms, the maxima and
// the integrated time, and that step is not integrated; while paused, no step
// is integrated and the maxima hold. Momentary and short-term keep running.
// A gating block or momentary maximum (short-term value or maximum) is taken
// only from a window whose 4 (30) steps were all integrated, so integration
// restarts 400 ms (3 s) after the start, a reset or a resume.
#pragma once

#include <atomic>
#include <cstdint>

#include "dsp/channel_strip.h"
#include "dsp/k_weighting_step.h"

namespace b2 {

constexpr int kLoudnessShortSteps = 30;  // 3 s of 100 ms steps
constexpr int kLoudnessMomentarySteps = 4;
constexpr double kLoudnessBinLu = 0.01;
constexpr double kLoudnessFloorLufs = -70.0;  // also the absolute gate
constexpr int kLoudnessBins = 10000;          // -70 .. +30 LUFS

// Readings as of the last step. Loudness in LUFS, -infinity where there is
// nothing to measure (silence, or no gated block yet); range in LU.
struct LoudnessReadings {
    double momentary = 0, shortTerm = 0;
    double momentaryMax = 0, shortTermMax = 0;
    double integrated = 0, range = 0;
    double integratedSeconds = 0;  // time integrated since the last reset
    uint64_t steps = 0;            // 100 ms steps measured since prepare
};

// Counts per loudness bin as a Fenwick tree: element i (1-based) holds the
// sum of bins (i - lowbit(i), i]. The totals cover every value above the
// absolute gate: their number and the sum of their mean squares.
struct LoudnessHistogram {
    uint32_t count[kLoudnessBins + 1];
    double totalEnergy;
    uint64_t totalCount;
};

struct LoudnessMeter {
    // Set-up.
    int channels = 0;
    int rate = 0;  // whole hertz
    DeltaHighpass highpass;
    Biquad shelf;
    // The running step.
    KState filter[2];
    double stepEnergy[2] = {};
    int stepLeft = 0;   // samples still to come in this step
    int stepPhase = 0;  // (k * R) mod 10 for the step's end k
    // The last 30 steps, channel-summed energy and length, oldest at ringPos.
    double ringEnergy[kLoudnessShortSteps] = {};
    int ringLength[kLoudnessShortSteps] = {};
    int ringPos = 0;
    // Integration.
    uint32_t runSteps = 0;  // consecutive integrated steps
    uint64_t integratedSamples = 0;
    LoudnessHistogram blocks;                    // 400 ms gating blocks
    double blockEnergy[kLoudnessBins + 1];       // their mean squares per bin, as a Fenwick tree
    LoudnessHistogram shortTerm;                 // short-term values
    LoudnessReadings readings;
    // Raised by any thread, consumed by the audio side at a step's end.
    std::atomic<uint8_t> resetRequest{0};
    std::atomic<uint8_t> pauseRequest{0};
};

// Sets the meter up for `channels` (1 or 2) at `rate` Hz and starts it from
// silence, with everything cleared. Returns false and leaves the meter as it
// was for an unsupported rate or channel count. Does not allocate.
bool prepare_loudness(LoudnessMeter& m, int channels, double rate);

// Measures n samples of each channel (input[c][0 .. n - 1]); a null channel
// reads as silence. Real-time safe.
void process_loudness(LoudnessMeter& m, const float* const* input, int n);

// From any thread.
inline void request_loudness_reset(LoudnessMeter& m) { m.resetRequest.store(1, std::memory_order_release); }
inline void set_loudness_paused(LoudnessMeter& m, bool paused) {
    m.pauseRequest.store(paused ? 1 : 0, std::memory_order_release);
}

}  // namespace b2
