// True peak per channel after BS.1770 (its Annex 2): the largest magnitude
// of the signal between its samples, estimated by polyphase interpolation.
//
// Oversampling by rate: 4x below 96 kHz, 2x below 192 kHz, none from 192 kHz
// up. The interpolator is the 48-tap filter BS.1770 publishes (four phases of
// 12 taps). The reading is the largest magnitude of every interpolated point
// and of every original sample, positive and negative alike, as a linear
// amplitude (1.0 = full scale).
//
// NaN and infinite samples cannot be measured: they never count as a peak and
// enter the interpolator as 0 (silence), so they neither stick in the reading
// nor poison the points around them; an interpolated point whose evaluation
// overflows to infinity does not count either.
//
// Readings do not depend on how the stream is cut into calls. After prepare
// nothing allocates; the state is fixed arrays, without feedback, so no value
// lingers in subnormals.
#pragma once

namespace b2 {

constexpr int kTruePeakTaps = 12;    // taps per phase
constexpr int kTruePeakPhases = 4;   // phases of the 4x filter
constexpr int kTruePeakChunk = 256;  // samples interpolated per inner pass
constexpr int kTruePeakChannels = 2;
// The points formed with sample n lie between samples n - 6 and n - 5.
constexpr int kTruePeakLag = 6;

struct TruePeak {
    int channels = 0;     // 1 or 2 once prepared; 0 measures nothing
    int firstPhase = 0;   // the phases in use: firstPhase .. firstPhase + phaseCount - 1
    int phaseCount = 0;   // 4, 2 or 0 (the samples themselves)
    // Raised by the owner between calls: while set the maxima hold their
    // values; the interpolator still follows the signal so that it resumes
    // seamlessly, and points that lie in the paused stretch do not count.
    bool paused = false;
    float maximum[kTruePeakChannels] = {};
    // Bit i: whether the points of the i-th sample still to come count. They
    // describe the signal kTruePeakLag samples back, so they follow a change
    // of `paused` or a reset that much later than the samples do.
    unsigned pointsCount = 0;
    // Per channel the last kTruePeakTaps - 1 measurable samples, then room for
    // the chunk being interpolated.
    float line[kTruePeakChannels][kTruePeakTaps - 1 + kTruePeakChunk] = {};
};

// Sets the oversampling for `rate` and `channels` (1 or 2) and clears the
// history and the maxima: the stream starts from silence, and the points
// before its first sample do not count. An unsupported rate or channel count returns false
// and leaves the record as it was.
bool prepare_true_peak(TruePeak& t, double rate, int channels);

// Measures n samples per channel (right is not read in mono). Uses the
// widest vector code the processor has, with results identical to the
// scalar twin's.
void run_true_peak(TruePeak& t, const float* left, const float* right, int n);
void run_true_peak_scalar(TruePeak& t, const float* left, const float* right, int n);

// The codes run_true_peak chooses from (SSE2, AVX2 and AVX-512 on x86), for
// the tests and benchmarks that compare them.
enum class TruePeakCode { scalar, sse2, avx2, avx512 };
using TruePeakRun = void (*)(TruePeak&, const float*, const float*, int);
// The run function of `code`, or nullptr where this build or this processor
// lacks it. The scalar twin is always there.
TruePeakRun true_peak_code(TruePeakCode code);

// Tap `tap` of the interpolator's phase `phase` (the input `tap` samples
// back), 0 out of range.
float true_peak_tap(int phase, int tap);

// Clears the maxima; the interpolator keeps its history (the signal goes on),
// but points that lie before the reset do not count.
void reset_true_peak(TruePeak& t);

// The largest magnitude so far of `channel`, linear; 0 before any signal.
inline float true_peak(const TruePeak& t, int channel) { return t.maximum[channel]; }

}  // namespace b2
