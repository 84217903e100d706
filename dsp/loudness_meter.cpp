// The loudness meter's audio side: weighting and energy per sample, windows,
// gates and percentiles once per 100 ms step (see loudness_meter.h).
#include "dsp/loudness_meter.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "dsp/k_weighting.h"
#include "dsp/sample_rate.h"

namespace b2 {

namespace {

constexpr double kNoLoudness = -std::numeric_limits<double>::infinity();
constexpr int kPiece = 4096;  // longest run without a step end
const float kSilence[kPiece] = {};
constexpr int kTopPower = 8192;  // largest power of two within kLoudnessBins

double loudness_of(double energy, double samples) {
    return energy > 0.0 ? 10.0 * std::log10(energy / samples) : kNoLoudness;
}

// 0-based bin of a loudness above the absolute gate.
int bin_of(double lufs) {
    const double b = std::floor((lufs - kLoudnessFloorLufs) / kLoudnessBinLu);
    return b < kLoudnessBins - 1 ? static_cast<int>(b) : kLoudnessBins - 1;
}

// Number of bins whose centre lies at or below a relative gate: the first
// bin on the passing side.
int first_bin_above(double gate) {
    const double b = std::floor((gate - kLoudnessFloorLufs) / kLoudnessBinLu + 0.5);
    if (!(b > 0.0)) return 0;
    return b < kLoudnessBins ? static_cast<int>(b) : kLoudnessBins;
}

template <typename T, typename V>
void fenwick_add(T* tree, int bin, V v) {
    for (int i = bin + 1; i <= kLoudnessBins; i += i & -i) tree[i] += v;
}

// Sum of the first `bins` bins.
template <typename R, typename T>
R fenwick_prefix(const T* tree, int bins) {
    R sum = 0;
    for (int i = bins; i > 0; i -= i & -i) sum += tree[i];
    return sum;
}

// 0-based bin holding the rank-th value (1-based) in loudness order.
int fenwick_find(const uint32_t* tree, uint64_t rank) {
    int pos = 0;
    for (int step = kTopPower; step > 0; step >>= 1) {
        if (pos + step <= kLoudnessBins && tree[pos + step] < rank) {
            pos += step;
            rank -= tree[pos];
        }
    }
    return pos;
}

void add_value(LoudnessHistogram& h, int bin, double meanSquare) {
    fenwick_add(h.count, bin, 1u);
    h.totalEnergy += meanSquare;
    ++h.totalCount;
}

double integrated_loudness(const LoudnessMeter& m) {
    const LoudnessHistogram& h = m.blocks;
    if (h.totalCount == 0) return kNoLoudness;
    const int first = first_bin_above(loudness_of(h.totalEnergy, static_cast<double>(h.totalCount)) - 10.0);
    const double energy = h.totalEnergy - fenwick_prefix<double>(m.blockEnergy, first);
    const uint64_t count = h.totalCount - fenwick_prefix<uint64_t>(h.count, first);
    return count ? loudness_of(energy, static_cast<double>(count)) : kNoLoudness;
}

double loudness_range(const LoudnessHistogram& h) {
    if (h.totalCount == 0) return 0.0;
    const int first = first_bin_above(loudness_of(h.totalEnergy, static_cast<double>(h.totalCount)) - 20.0);
    const uint64_t below = fenwick_prefix<uint64_t>(h.count, first);
    const uint64_t n = h.totalCount - below;
    if (n == 0) return 0.0;
    const auto rank = [&](double p) { return below + static_cast<uint64_t>(static_cast<double>(n - 1) * p + 0.5) + 1; };
    return (fenwick_find(h.count, rank(0.95)) - fenwick_find(h.count, rank(0.10))) * kLoudnessBinLu;
}

void clear_integration(LoudnessMeter& m) {
    std::memset(&m.blocks, 0, sizeof m.blocks);
    std::memset(m.blockEnergy, 0, sizeof m.blockEnergy);
    std::memset(&m.shortTerm, 0, sizeof m.shortTerm);
    m.runSteps = 0;
    m.integratedSamples = 0;
    m.readings.momentaryMax = m.readings.shortTermMax = kNoLoudness;
    m.readings.integrated = kNoLoudness;
    m.readings.range = 0.0;
    m.readings.integratedSeconds = 0.0;
}

// Length of the step that starts at phase p, and the next phase.
int step_length(int rate, int& phase) {
    const int length = (phase + rate) / 10;
    phase = (phase + rate) % 10;
    return length;
}

bool finite_state(const KState& s) {
    return std::isfinite(s.s1) && std::isfinite(s.s2) && std::isfinite(s.h1) && std::isfinite(s.h2) &&
           std::isfinite(s.y1) && std::isfinite(s.y2);
}

// The channels' energy of the step that ended, summed with weight 1. A
// channel whose filter overflowed (samples near the float range's limit)
// restarts from silence and counts the step as silence, so an overflow costs
// a step rather than the rest of the measurement.
double take_step_energy(LoudnessMeter& m) {
    double energy = 0.0;
    for (int c = 0; c < m.channels; ++c) {
        if (!std::isfinite(m.stepEnergy[c]) || !finite_state(m.filter[c])) {
            m.filter[c] = KState{};
            m.stepEnergy[c] = 0.0;
        }
        energy += m.stepEnergy[c];
        m.stepEnergy[c] = 0.0;
    }
    return energy;
}

// Mean square of the last `steps` steps: their energy, summed oldest first,
// over their samples.
double window_mean_square(const LoudnessMeter& m, int steps) {
    double energy = 0.0;
    int samples = 0;
    for (int i = kLoudnessShortSteps - steps; i < kLoudnessShortSteps; ++i) {
        const int slot = (m.ringPos + i) % kLoudnessShortSteps;
        energy += m.ringEnergy[slot];
        samples += m.ringLength[slot];
    }
    return energy / samples;
}

void integrate_step(LoudnessMeter& m, int length, double momentary, double shortTerm) {
    LoudnessReadings& r = m.readings;
    ++m.runSteps;
    m.integratedSamples += static_cast<uint64_t>(length);
    r.integratedSeconds = static_cast<double>(m.integratedSamples) / m.rate;
    if (m.runSteps >= kLoudnessMomentarySteps && r.momentary > r.momentaryMax) r.momentaryMax = r.momentary;
    if (m.runSteps >= kLoudnessShortSteps && r.shortTerm > r.shortTermMax) r.shortTermMax = r.shortTerm;
    if (m.runSteps >= kLoudnessMomentarySteps && r.momentary > kLoudnessFloorLufs) {
        const int bin = bin_of(r.momentary);
        add_value(m.blocks, bin, momentary);
        fenwick_add(m.blockEnergy, bin, momentary);
        r.integrated = integrated_loudness(m);
    }
    if (m.runSteps >= kLoudnessShortSteps && r.shortTerm > kLoudnessFloorLufs) {
        add_value(m.shortTerm, bin_of(r.shortTerm), shortTerm);
        r.range = loudness_range(m.shortTerm);
    }
}

void end_step(LoudnessMeter& m) {
    const int length = m.ringLength[m.ringPos];
    m.ringEnergy[m.ringPos] = take_step_energy(m);
    m.ringPos = (m.ringPos + 1) % kLoudnessShortSteps;
    m.stepLeft = step_length(m.rate, m.stepPhase);
    LoudnessReadings& r = m.readings;
    ++r.steps;
    const double momentary = window_mean_square(m, kLoudnessMomentarySteps);
    const double shortTerm = window_mean_square(m, kLoudnessShortSteps);
    r.momentary = loudness_of(momentary, 1.0);
    r.shortTerm = loudness_of(shortTerm, 1.0);
    if (m.resetRequest.exchange(0, std::memory_order_acquire)) {
        clear_integration(m);
        return;
    }
    if (m.pauseRequest.load(std::memory_order_acquire)) {
        m.runSteps = 0;
        return;
    }
    integrate_step(m, length, momentary, shortTerm);
}

// NaN and infinite samples cannot be measured: they enter the weighting as
// silence, sample by sample, as the peak meter leaves them out, so a stray
// bad sample changes the reading by no more than one silent sample would.
inline float measurable(float x) { return std::fabs(x) < std::numeric_limits<float>::infinity() ? x : 0.0f; }

void run_mono(LoudnessMeter& m, const float* x, int n) {
    const DeltaHighpass hp = m.highpass;
    const Biquad sh = m.shelf;
    KState s = m.filter[0];
    double energy = m.stepEnergy[0];
    for (int i = 0; i < n; ++i) {
        const double y = k_step(hp, sh, s, measurable(x[i]));
        energy += y * y;
    }
    m.filter[0] = s;
    m.stepEnergy[0] = energy;
}

void run_stereo(LoudnessMeter& m, const float* left, const float* right, int n) {
#if RISER_LANE_PAIRS
    const KLaneCoefficients c = k_lane_coefficients(m.highpass, m.shelf, m.highpass, m.shelf);
    KLaneState s = k_lane_state(m.filter[0], m.filter[1]);
    __m128d energy = _mm_setr_pd(m.stepEnergy[0], m.stepEnergy[1]);
    const __m128 sign = _mm_set1_ps(-0.0f);
    const __m128 infinity = _mm_set1_ps(std::numeric_limits<float>::infinity());
    for (int i = 0; i < n; ++i) {
        const __m128 x = load_lanes(left + i, right + i);
        const __m128 finite = _mm_cmplt_ps(_mm_andnot_ps(sign, x), infinity);  // false for NaN and +-Inf
        const __m128d y = _mm_cvtps_pd(k_step_lanes(c, s, _mm_and_ps(x, finite)));
        energy = _mm_add_pd(energy, _mm_mul_pd(y, y));
    }
    m.filter[0] = k_lane0(s);
    m.filter[1] = k_lane1(s);
    _mm_storel_pd(&m.stepEnergy[0], energy);
    _mm_storeh_pd(&m.stepEnergy[1], energy);
#else
    run_mono(m, left, n);
    std::swap(m.filter[0], m.filter[1]);
    std::swap(m.stepEnergy[0], m.stepEnergy[1]);
    run_mono(m, right, n);
    std::swap(m.filter[0], m.filter[1]);
    std::swap(m.stepEnergy[0], m.stepEnergy[1]);
#endif
}

}  // namespace

bool prepare_loudness(LoudnessMeter& m, int channels, double rate) {
    if (!sample_rate_supported(rate) || channels < 1 || channels > 2) return false;
    KWeighting weighting;
    compute_k_weighting(weighting, static_cast<float>(rate));
    m.channels = channels;
    m.rate = static_cast<int>(std::lround(rate));
    m.highpass = weighting.highpass;
    m.shelf = weighting.shelf;
    for (int c = 0; c < 2; ++c) {
        m.filter[c] = KState{};
        m.stepEnergy[c] = 0.0;
    }
    // Steps repeat their lengths every ten, so slot k of the ring, written by
    // steps k + 1, k + 31, ..., starts with the length of step k + 1: the
    // silence before the stream has the stream's own step lengths.
    m.stepPhase = 0;
    for (int k = 0; k < kLoudnessShortSteps; ++k) {
        m.ringEnergy[k] = 0.0;
        m.ringLength[k] = step_length(m.rate, m.stepPhase);
    }
    m.stepPhase = 0;
    m.stepLeft = step_length(m.rate, m.stepPhase);
    m.ringPos = 0;
    m.readings = LoudnessReadings{};
    m.readings.momentary = m.readings.shortTerm = kNoLoudness;
    clear_integration(m);
    m.resetRequest.store(0, std::memory_order_relaxed);
    return true;
}

void process_loudness(LoudnessMeter& m, const float* const* input, int n) {
    if (m.channels == 0) return;
    int done = 0;
    while (done < n) {
        int piece = n - done;
        if (piece > m.stepLeft) piece = m.stepLeft;
        if (piece > kPiece) piece = kPiece;
        const float* left = input[0] ? input[0] + done : kSilence;
        if (m.channels == 1) {
            run_mono(m, left, piece);
        } else {
            run_stereo(m, left, input[1] ? input[1] + done : kSilence, piece);
        }
        done += piece;
        m.stepLeft -= piece;
        if (m.stepLeft == 0) end_step(m);
    }
}

}  // namespace b2
