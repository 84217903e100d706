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

#if RISER_TRUE_PEAK_SSE
namespace {

// |v| where v is finite, else +0: the integer bits of |v| below those of +Inf
// mean finite. Gives exactly what fold admits of std::fabs(v).
inline __m128 finite_magnitude(__m128 v) {
    const __m128 a = _mm_andnot_ps(_mm_set1_ps(-0.0f), v);
    const __m128i infinity = _mm_set1_epi32(0x7f800000);
    return _mm_and_ps(_mm_castsi128_ps(_mm_cmplt_epi32(_mm_castps_si128(a), infinity)), a);
}

// measurable() four samples at a time: finite samples unchanged (their sign
// too), the others +0.
void load_vector(float* line, const float* x, int n) {
    const __m128 sign = _mm_set1_ps(-0.0f);
    const __m128i infinity = _mm_set1_epi32(0x7f800000);
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 v = _mm_loadu_ps(x + i);
        const __m128i bits = _mm_castps_si128(_mm_andnot_ps(sign, v));
        _mm_storeu_ps(line + kHistory + i, _mm_and_ps(_mm_castsi128_ps(_mm_cmplt_epi32(bits, infinity)), v));
    }
    load_scalar(line + i, x + i, n - i);
}

// Four consecutive samples per pass, one lane each: lane l computes the
// points of sample i + l with point()'s products and sums in point()'s
// order, so every value is the scalar one. The maximum of the same finite
// magnitudes is the same in any order.
template <int First, int Count>
float scan_vector(const float* line, int from, int to, float m) {
    __m128 c[Count > 0 ? Count : 1][kTruePeakTaps];
    for (int p = 0; p < Count; ++p)
        for (int j = 0; j < kTruePeakTaps; ++j) c[p][j] = _mm_set1_ps(kPhase[First + p][j]);
    __m128 mv = _mm_set1_ps(m);
    int i = from;
    for (; i + 4 <= to; i += 4) {
        const float* newest = line + kHistory + i;
        __m128 x[kTruePeakTaps];
        for (int j = 0; j < kTruePeakTaps; ++j) x[j] = _mm_loadu_ps(newest - j);
        mv = _mm_max_ps(mv, finite_magnitude(x[0]));
        __m128 y[Count > 0 ? Count : 1];
        for (int p = 0; p < Count; ++p) y[p] = _mm_mul_ps(c[p][0], x[0]);
        for (int j = 1; j < kTruePeakTaps; ++j)
            for (int p = 0; p < Count; ++p) y[p] = _mm_add_ps(y[p], _mm_mul_ps(c[p][j], x[j]));
        for (int p = 0; p < Count; ++p) mv = _mm_max_ps(mv, finite_magnitude(y[p]));
    }
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, mv);
    for (float l : lanes)
        if (l > m) m = l;
    return scan_scalar(line, i, to, First, Count, m);
}

template <int First, int Count>
void run_vector(TruePeak& t, const float* left, const float* right, int n) {
    run_chunks(t, left, right, n, load_vector, scan_vector<First, Count>);
}

}  // namespace
#endif

void run_true_peak(TruePeak& t, const float* left, const float* right, int n) {
#if RISER_TRUE_PEAK_SSE
    switch (t.phaseCount) {
        case 4: return run_vector<0, 4>(t, left, right, n);
        case 2: return run_vector<1, 2>(t, left, right, n);
        case 0: return run_vector<0, 0>(t, left, right, n);
        default: break;
    }
#endif
    run_true_peak_scalar(t, left, right, n);
}

}  // namespace b2
