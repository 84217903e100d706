// True peak: the samples of each channel run through the four phases of
// BS.1770's 48-tap interpolator (or two of them, or none, by rate), and the
// largest magnitude of every point and every sample is kept.
//
// The filter is the table BS.1770 publishes, not one designed here: it is the
// filter the Annex defines its meter with, so the readings are those of every
// other meter built on it, and its taps are short binary fractions that float
// holds exactly. Its phases fall between the samples: with the prototype's
// centre at 23.5 taps, phase p interpolates the point (p + 1/2) / 4 of a
// sample after input n - 6. None of them reproduces the samples, so the
// samples themselves are counted as well.
//
// At 2x, phases 1 and 2 (points 3/8 and 5/8 of a sample after each input) are
// used: with the samples they leave no gap wider than 3/8 of a sample, where
// a uniform 2x grid leaves 1/2, so the reading never falls further below the
// signal's peak than a 2x oversampler's, at the same cost.
#include "dsp/true_peak.h"

#include <cmath>
#include <cstring>

#include "dsp/sample_rate.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define RISER_TRUE_PEAK_SSE 1
#endif

namespace b2 {

namespace {

constexpr int kHistory = kTruePeakTaps - 1;

// BS.1770 Annex 2, phase by phase; tap j multiplies the input j samples back.
// Phase 3 is phase 0 reversed and phase 2 is phase 1 reversed.
constexpr float kPhase[kTruePeakPhases][kTruePeakTaps] = {
    {0.0017089843750f, 0.0109863281250f, -0.0196533203125f, 0.0332031250000f, -0.0594482421875f,
     0.1373291015625f, 0.9721679687500f, -0.1022949218750f, 0.0476074218750f, -0.0266113281250f,
     0.0148925781250f, -0.0083007812500f},
    {-0.0291748046875f, 0.0292968750000f, -0.0517578125000f, 0.0891113281250f, -0.1665039062500f,
     0.4650878906250f, 0.7797851562500f, -0.2003173828125f, 0.1015625000000f, -0.0582275390625f,
     0.0330810546875f, -0.0189208984375f},
    {-0.0189208984375f, 0.0330810546875f, -0.0582275390625f, 0.1015625000000f, -0.2003173828125f,
     0.7797851562500f, 0.4650878906250f, -0.1665039062500f, 0.0891113281250f, -0.0517578125000f,
     0.0292968750000f, -0.0291748046875f},
    {-0.0083007812500f, 0.0148925781250f, -0.0266113281250f, 0.0476074218750f, -0.1022949218750f,
     0.9721679687500f, 0.1373291015625f, -0.0594482421875f, 0.0332031250000f, -0.0196533203125f,
     0.0109863281250f, 0.0017089843750f},
};

// A NaN or infinite sample enters the interpolator as silence.
float measurable(float x) { return std::isfinite(x) ? x : 0.0f; }

// Folds a magnitude into the maximum; a point that overflowed does not count.
inline void fold(float& m, float magnitude) {
    if (std::isfinite(magnitude) && magnitude > m) m = magnitude;
}

// One interpolated point: the taps against the newest sample and the eleven
// before it, added from the newest back, always in this order.
inline float point(const float* c, const float* newest) {
    float y = c[0] * newest[0];
    for (int j = 1; j < kTruePeakTaps; ++j) y = y + c[j] * newest[-j];
    return y;
}

// The maximum over the samples line[kHistory + from .. kHistory + to) and
// all their points.
float scan_scalar(const float* line, int from, int to, int firstPhase, int phaseCount, float m) {
    for (int i = from; i < to; ++i) {
        const float* newest = line + kHistory + i;
        fold(m, std::fabs(newest[0]));
        for (int p = firstPhase; p < firstPhase + phaseCount; ++p) fold(m, std::fabs(point(kPhase[p], newest)));
    }
    return m;
}

// One sample whose sample and points count separately (around a change).
float scan_one(const TruePeak& t, const float* line, int i, bool sample, bool points, float m) {
    const float* newest = line + kHistory + i;
    if (sample) fold(m, std::fabs(newest[0]));
    if (points)
        for (int p = t.firstPhase; p < t.firstPhase + t.phaseCount; ++p) fold(m, std::fabs(point(kPhase[p], newest)));
    return m;
}

void load_scalar(float* line, const float* x, int n) {
    for (int i = 0; i < n; ++i) line[kHistory + i] = measurable(x[i]);
}

// The last kHistory samples of history and chunk move to the front.
void keep_history(float* line, int n) { std::memmove(line, line + n, kHistory * sizeof(float)); }

bool prepared(const TruePeak& t) { return t.channels == 1 || t.channels == 2; }

constexpr unsigned kAllLag = (1u << kTruePeakLag) - 1;

bool bit(unsigned mask, int i) { return (mask >> i) & 1u; }

// How many leading samples of a chunk have points that count otherwise than
// its samples do: those before the last bit of `mask` that differs from `on`.
int leading_change(unsigned mask, bool on) {
    const unsigned differ = (on ? ~mask : mask) & kAllLag;
    int lead = 0;
    for (int i = 0; i < kTruePeakLag; ++i)
        if (bit(differ, i)) lead = i + 1;
    return lead;
}

// The mask after k more samples measured with `on`.
unsigned advance(unsigned mask, int k, bool on) {
    if (k >= kTruePeakLag) return on ? kAllLag : 0u;
    return (mask >> k) | (on ? (kAllLag << (kTruePeakLag - k)) & kAllLag : 0u);
}

// One chunk of one channel after its samples are loaded: the few samples
// whose points lie on the other side of a change one by one, the rest by
// `scan` while not paused.
template <class Scan>
float scan_chunk(const TruePeak& t, const float* line, int k, unsigned mask, bool on, float m, Scan scan) {
    const int lead = leading_change(mask, on) < k ? leading_change(mask, on) : k;
    for (int i = 0; i < lead; ++i) m = scan_one(t, line, i, on, bit(mask, i), m);
    if (on && lead < k) m = scan(line, lead, k, m);
    return m;
}

// The stream in chunks: each channel's chunk is loaded behind its history,
// scanned and its tail kept as the next history. Where the chunks fall
// changes nothing: every point sees the same twelve samples, and the maximum
// of the same values does not depend on the order they come in.
template <class Load, class Scan>
void run_chunks(TruePeak& t, const float* left, const float* right, int n, Load load, Scan scan) {
    if (!prepared(t) || n <= 0) return;
    const bool on = !t.paused;
    const float* sources[kTruePeakChannels] = {left, right};
    unsigned after = t.pointsCount;
    for (int c = 0; c < t.channels; ++c) {
        if (!sources[c]) continue;
        float* line = t.line[c];
        unsigned mask = t.pointsCount;
        for (int done = 0; done < n;) {
            const int k = n - done < kTruePeakChunk ? n - done : kTruePeakChunk;
            load(line, sources[c] + done, k);
            t.maximum[c] = scan_chunk(t, line, k, mask, on, t.maximum[c], scan);
            keep_history(line, k);
            mask = advance(mask, k, on);
            done += k;
        }
        after = mask;
    }
    t.pointsCount = after;
}

}  // namespace

bool prepare_true_peak(TruePeak& t, double rate, int channels) {
    if (!sample_rate_supported(rate) || channels < 1 || channels > kTruePeakChannels) return false;
    const bool paused = t.paused;  // the owner's flag
    t = TruePeak{};
    t.paused = paused;
    t.channels = channels;
    if (rate < 96000.0) {
        t.firstPhase = 0;
        t.phaseCount = 4;
    } else if (rate < 192000.0) {
        t.firstPhase = 1;
        t.phaseCount = 2;
    }
    return true;
}

void reset_true_peak(TruePeak& t) {
    for (float& m : t.maximum) m = 0.0f;
    t.pointsCount = 0;
}

void run_true_peak_scalar(TruePeak& t, const float* left, const float* right, int n) {
    const int first = t.firstPhase, count = t.phaseCount;
    run_chunks(t, left, right, n, load_scalar, [first, count](const float* line, int from, int to, float m) {
        return scan_scalar(line, from, to, first, count, m);
    });
}

void run_true_peak(TruePeak& t, const float* left, const float* right, int n) {
    run_true_peak_scalar(t, left, right, n);
}

}  // namespace b2
