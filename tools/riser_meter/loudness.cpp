#include "tools/riser_meter/loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>

namespace riser_meter {

namespace {

constexpr int kModes = EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK;

double measured(double lufs) { return std::isfinite(lufs) ? lufs : NAN; }

double dbtp(double linear) { return linear > 0.0 ? 20.0 * std::log10(linear) : NAN; }

float finite_or_zero(float x) { return std::isfinite(x) ? x : 0.0f; }

}  // namespace

Loudness::Loudness(double rate, int channels, int max_block)
    : channels(channels == 1 ? 1 : 2),
      hop(std::max<int64_t>(1, std::llround(rate / 10.0))),
      to_next_hop(hop),
      interleaved(static_cast<size_t>(max_block) * 2) {
    state = ebur128_init(static_cast<unsigned>(this->channels), static_cast<unsigned long>(std::lround(rate)), kModes);
}

Loudness::~Loudness() {
    if (state) ebur128_destroy(&state);
}

// Fed in pieces that end on every 100 ms of the stream, so the momentary and
// short-term maxima are taken at the same points however the file is read.
void Loudness::add(const float* left, const float* right, int n) {
    for (int done = 0; done < n;) {
        const int piece = static_cast<int>(std::min<int64_t>(n - done, to_next_hop));
        feed(left + done, right + done, piece);
        done += piece;
        to_next_hop -= piece;
        if (to_next_hop == 0) {
            take_window_maxima();
            to_next_hop = hop;
        }
    }
}

void Loudness::feed(const float* left, const float* right, int n) {
    if (!state || n <= 0) return;
    float* out = interleaved.data();
    if (channels == 1) {
        for (int i = 0; i < n; ++i) out[i] = finite_or_zero(left[i]);
    } else {
        for (int i = 0; i < n; ++i) {
            out[2 * i] = finite_or_zero(left[i]);
            out[2 * i + 1] = finite_or_zero(right[i]);
        }
    }
    ebur128_add_frames_float(state, out, static_cast<size_t>(n));
    position += n;
}

// A window counts once it is full of the file's audio (not of the silence
// the library starts with).
void Loudness::take_window_maxima() {
    double v;
    if (position >= 4 * hop && ebur128_loudness_momentary(state, &v) == EBUR128_SUCCESS && std::isfinite(v)) {
        momentary_max = std::max(momentary_max, v);
        has_momentary = true;
    }
    if (position >= 30 * hop && ebur128_loudness_shortterm(state, &v) == EBUR128_SUCCESS && std::isfinite(v)) {
        short_term_max = std::max(short_term_max, v);
        has_short_term = true;
    }
}

LoudnessFigures Loudness::figures() const {
    LoudnessFigures f{NAN, NAN, NAN, NAN, {NAN, NAN}};
    if (!state) return f;
    double v;
    if (ebur128_loudness_global(state, &v) == EBUR128_SUCCESS) f.integratedLufs = measured(v);
    // The range needs short-term windows: none in a file under 3 s.
    if (position >= 30 * hop && ebur128_loudness_range(state, &v) == EBUR128_SUCCESS && std::isfinite(v)) f.rangeLu = v;
    if (has_momentary) f.momentaryMaxLufs = momentary_max;
    if (has_short_term) f.shortTermMaxLufs = short_term_max;
    for (int c = 0; c < 2; ++c) {
        const unsigned ch = static_cast<unsigned>(std::min(c, channels - 1));
        if (ebur128_true_peak(state, ch, &v) == EBUR128_SUCCESS) f.truePeakDbtp[c] = dbtp(v);
    }
    return f;
}

}  // namespace riser_meter
