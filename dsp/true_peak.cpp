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
//
// The table is symmetric: phase 3 is phase 0 reversed and phase 2 is phase 1
// reversed. For such a mirrored pair (y, y') and a = x[n - k], b = x[n - 11 + k]
//   y + y' = sum over k < 6 of (h[k] + h[11 - k]) (a + b),
//   y - y' = sum over k < 6 of (h[k] - h[11 - k]) (a - b),
// and max(|y|, |y'|) = (|y + y'| + |y - y'|) / 2: half the products, and the
// larger point of the pair without forming either. The pair's sums and
// differences of taps are again short binary fractions, exact in float; the
// rounding differs from the direct sums by a few units in the last place of
// the reading (about 1e-6 relative), far below what a true-peak reading
// resolves. A point whose sums overflow (inputs beyond half the float range)
// does not count, as an overflowing point never did; the samples still count.
#include "dsp/true_peak.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "dsp/sample_rate.h"

// Every product is rounded on its own, in every code path: no fused
// multiply-add, which the AVX-512 code would otherwise be allowed to form, so
// that the vector code and its scalar twin stay bit-identical.
#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

// The vector code: GCC's vector extensions (GCC and clang) on x86, where
// SSE2 is always there and AVX2 and AVX-512 are chosen at run time.
#if defined(__GNUC__) && defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
#define RISER_TRUE_PEAK_VECTOR 1
#endif

namespace b2 {

namespace {

constexpr int kHistory = kTruePeakTaps - 1;

// BS.1770 Annex 2, phase by phase; tap j multiplies the input j samples back.
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

constexpr bool mirrored(int p, int q) {
    for (int j = 0; j < kTruePeakTaps; ++j)
        if (kPhase[p][j] != kPhase[q][kTruePeakTaps - 1 - j]) return false;
    return true;
}
static_assert(mirrored(0, 3) && mirrored(1, 2), "the pairing needs mirrored phases");

// The mirrored pairs: pair 0 is phases 0 and 3, pair 1 phases 1 and 2.
constexpr int kPairs = 2;
constexpr int kHalf = kTruePeakTaps / 2;

struct PairTaps {
    float sum[kPairs][kHalf] = {};
    float difference[kPairs][kHalf] = {};
};

constexpr PairTaps pair_taps() {
    PairTaps t;
    for (int p = 0; p < kPairs; ++p)
        for (int k = 0; k < kHalf; ++k) {
            t.sum[p][k] = kPhase[p][k] + kPhase[p][kTruePeakTaps - 1 - k];
            t.difference[p][k] = kPhase[p][k] - kPhase[p][kTruePeakTaps - 1 - k];
        }
    return t;
}
constexpr PairTaps kPairTaps = pair_taps();

// A NaN or infinite sample enters the interpolator as silence.
float measurable(float x) { return std::isfinite(x) ? x : 0.0f; }

// Folds a magnitude into the maximum; a point that overflowed does not count.
inline void fold(float& m, float magnitude) {
    if (std::isfinite(magnitude) && magnitude > m) m = magnitude;
}

// The larger magnitude of pair p's two points of the newest sample, from the
// pair's sum and difference, each added from the outermost taps in, always in
// this order.
inline float pair_peak(const float* newest, int p) {
    const float* s = kPairTaps.sum[p];
    const float* d = kPairTaps.difference[p];
    float sum = s[0] * (newest[0] + newest[-kHistory]);
    float difference = d[0] * (newest[0] - newest[-kHistory]);
    for (int k = 1; k < kHalf; ++k) {
        sum = sum + s[k] * (newest[-k] + newest[k - kHistory]);
        difference = difference + d[k] * (newest[-k] - newest[k - kHistory]);
    }
    return (std::fabs(sum) + std::fabs(difference)) * 0.5f;
}

// The pairs in use: firstPhase .. firstPhase + phaseCount / 2 - 1 (4x: both;
// 2x: pair 1, phases 1 and 2; none above).
int first_pair(const TruePeak& t) { return t.firstPhase; }
int pair_count(const TruePeak& t) { return t.phaseCount / 2; }

// The maximum over the samples line[kHistory + from .. kHistory + to) and
// all their points.
float scan_scalar(const float* line, int from, int to, int firstPair, int pairs, float m) {
    for (int i = from; i < to; ++i) {
        const float* newest = line + kHistory + i;
        fold(m, std::fabs(newest[0]));
        for (int p = firstPair; p < firstPair + pairs; ++p) fold(m, pair_peak(newest, p));
    }
    return m;
}

// One sample whose sample and points count separately (around a change).
float scan_one(const TruePeak& t, const float* line, int i, bool sample, bool points, float m) {
    const float* newest = line + kHistory + i;
    if (sample) fold(m, std::fabs(newest[0]));
    if (points)
        for (int p = first_pair(t); p < first_pair(t) + pair_count(t); ++p) fold(m, pair_peak(newest, p));
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

// The chunk loop is inlined into each vector entry point so that its loads
// and scans are compiled for that entry's instruction set.
#if defined(__GNUC__)
#define RISER_TRUE_PEAK_INLINE inline __attribute__((always_inline))
#else
#define RISER_TRUE_PEAK_INLINE inline
#endif

// One chunk of one channel after its samples are loaded: the few samples
// whose points lie on the other side of a change one by one, the rest by
// `scan` while not paused.
template <class Scan>
RISER_TRUE_PEAK_INLINE float scan_chunk(const TruePeak& t, const float* line, int k, unsigned mask, bool on, float m,
                                        Scan scan) {
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
RISER_TRUE_PEAK_INLINE void run_chunks(TruePeak& t, const float* left, const float* right, int n, Load load,
                                       Scan scan) {
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
    const int first = first_pair(t), pairs = pair_count(t);
    run_chunks(t, left, right, n, load_scalar, [first, pairs](const float* line, int from, int to, float m) {
        return scan_scalar(line, from, to, first, pairs, m);
    });
}

float true_peak_tap(int phase, int tap) {
    if (phase < 0 || phase >= kTruePeakPhases || tap < 0 || tap >= kTruePeakTaps) return 0.0f;
    return kPhase[phase][tap];
}

#if RISER_TRUE_PEAK_VECTOR
namespace {

// Vectors of 4, 8 and 16 floats and their integer twins. The helpers below
// are always inlined into the entry points compiled for their width, so no
// vector crosses a call: its ABI would depend on the instruction set (hence
// -Wpsabi is quiet here, for the whole file since GCC reports it at the end),
// and MinGW would pass it in a stack slot it does not align to 32 or 64
// bytes.
#pragma GCC diagnostic ignored "-Wpsabi"
typedef float F4 __attribute__((vector_size(16)));
typedef float F8 __attribute__((vector_size(32)));
typedef float F16 __attribute__((vector_size(64)));
typedef int32_t I4 __attribute__((vector_size(16)));
typedef int32_t I8 __attribute__((vector_size(32)));
typedef int32_t I16 __attribute__((vector_size(64)));

template <class V> struct Int;
template <> struct Int<F4> { using type = I4; };
template <> struct Int<F8> { using type = I8; };
template <> struct Int<F16> { using type = I16; };

template <class V> constexpr int kLanes = sizeof(V) / sizeof(float);

template <class V> RISER_TRUE_PEAK_INLINE V load(const float* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class V> RISER_TRUE_PEAK_INLINE void store(float* p, const V& v) { std::memcpy(p, &v, sizeof v); }

template <class V> RISER_TRUE_PEAK_INLINE V splat(float c) { return c + V{}; }

template <class V> RISER_TRUE_PEAK_INLINE V magnitude(const V& v) {
    using I = typename Int<V>::type;
    return (V)((I)v & 0x7fffffff);
}

// v where it is finite (sign and all), else +0: measurable() lane by lane.
template <class V> RISER_TRUE_PEAK_INLINE V finite_or_zero(const V& v) {
    using I = typename Int<V>::type;
    return (V)((I)v & (magnitude(v) < splat<V>(INFINITY)));
}

template <class V> RISER_TRUE_PEAK_INLINE V larger(const V& a, const V& b) { return a > b ? a : b; }

// The largest lane, halving the width in registers.
RISER_TRUE_PEAK_INLINE float largest(const F4& v) {
    const F4 h = larger(v, __builtin_shufflevector(v, v, 2, 3, 0, 1));
    return larger(h, __builtin_shufflevector(h, h, 1, 0, 3, 2))[0];
}
RISER_TRUE_PEAK_INLINE float largest(const F8& v) {
    return largest(larger(__builtin_shufflevector(v, v, 0, 1, 2, 3), __builtin_shufflevector(v, v, 4, 5, 6, 7)));
}
RISER_TRUE_PEAK_INLINE float largest(const F16& v) {
    return largest(larger(__builtin_shufflevector(v, v, 0, 1, 2, 3, 4, 5, 6, 7),
                          __builtin_shufflevector(v, v, 8, 9, 10, 11, 12, 13, 14, 15)));
}

template <class V> RISER_TRUE_PEAK_INLINE void load_lanes(float* line, const float* x, int n) {
    int i = 0;
    for (; i + kLanes<V> <= n; i += kLanes<V>) store(line + kHistory + i, finite_or_zero(load<V>(x + i)));
    load_scalar(line + i, x + i, n - i);
}

// kLanes consecutive samples per pass, one lane each: lane l computes the
// pairs of sample i + l with pair_peak()'s products and sums in its order, so
// every value is the scalar one. The samples are finite once loaded; a pair
// whose sums overflowed counts as 0, which fold never admits over it. The
// maximum of the same values is the same in any order.
template <class V, int FirstPair, int Pairs>
RISER_TRUE_PEAK_INLINE float scan_lanes(const float* line, int from, int to, float m) {
    V mv = splat<V>(m);
    int i = from;
    for (; i + kLanes<V> <= to; i += kLanes<V>) {
        const float* newest = line + kHistory + i;
        V x[kTruePeakTaps];
        for (int j = 0; j < kTruePeakTaps; ++j) x[j] = load<V>(newest - j);
        mv = larger(mv, magnitude(x[0]));
        for (int p = FirstPair; p < FirstPair + Pairs; ++p) {
            const float* s = kPairTaps.sum[p];
            const float* d = kPairTaps.difference[p];
            V sum = splat<V>(s[0]) * (x[0] + x[kHistory]);
            V difference = splat<V>(d[0]) * (x[0] - x[kHistory]);
            for (int k = 1; k < kHalf; ++k) {
                sum = sum + splat<V>(s[k]) * (x[k] + x[kHistory - k]);
                difference = difference + splat<V>(d[k]) * (x[k] - x[kHistory - k]);
            }
            mv = larger(mv, finite_or_zero((magnitude(sum) + magnitude(difference)) * splat<V>(0.5f)));
        }
    }
    return scan_scalar(line, i, to, FirstPair, Pairs, largest(mv));
}

template <class V> RISER_TRUE_PEAK_INLINE void run_lanes(TruePeak& t, const float* left, const float* right, int n) {
    switch (t.phaseCount) {
        case 4: return run_chunks(t, left, right, n, load_lanes<V>, scan_lanes<V, 0, 2>);
        case 2: return run_chunks(t, left, right, n, load_lanes<V>, scan_lanes<V, 1, 1>);
        default: return run_chunks(t, left, right, n, load_lanes<V>, scan_lanes<V, 0, 0>);
    }
}

void run_sse2(TruePeak& t, const float* left, const float* right, int n) { run_lanes<F4>(t, left, right, n); }

__attribute__((target("avx2"))) void run_avx2(TruePeak& t, const float* left, const float* right, int n) {
    run_lanes<F8>(t, left, right, n);
}

__attribute__((target("avx512f"))) void run_avx512(TruePeak& t, const float* left, const float* right, int n) {
    run_lanes<F16>(t, left, right, n);
}

bool cpu_has(TruePeakCode code) {
    __builtin_cpu_init();
    switch (code) {
        case TruePeakCode::avx2: return __builtin_cpu_supports("avx2");
        case TruePeakCode::avx512: return __builtin_cpu_supports("avx512f");
        default: return true;
    }
}

}  // namespace
#endif

TruePeakRun true_peak_code(TruePeakCode code) {
    if (code == TruePeakCode::scalar) return run_true_peak_scalar;
#if RISER_TRUE_PEAK_VECTOR
    if (!cpu_has(code)) return nullptr;
    switch (code) {
        case TruePeakCode::sse2: return run_sse2;
        case TruePeakCode::avx2: return run_avx2;
        case TruePeakCode::avx512: return run_avx512;
        default: break;
    }
#endif
    return nullptr;
}

namespace {

// The widest code the processor runs.
TruePeakRun best_code() {
    const TruePeakCode widest_first[] = {TruePeakCode::avx512, TruePeakCode::avx2, TruePeakCode::sse2};
    for (TruePeakCode c : widest_first)
        if (TruePeakRun run = true_peak_code(c)) return run;
    return run_true_peak_scalar;
}

// Chosen when the program or plug-in loads, so that the audio thread never
// waits on the guard of a first-use initialisation. A static initialiser
// elsewhere that ran before this one would find it null and use the scalar
// twin, which reads the same.
const TruePeakRun kBestCode = best_code();

}  // namespace

void run_true_peak(TruePeak& t, const float* left, const float* right, int n) {
    (kBestCode ? kBestCode : run_true_peak_scalar)(t, left, right, n);
}

}  // namespace b2
