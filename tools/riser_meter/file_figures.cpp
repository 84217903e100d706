#include "tools/riser_meter/file_figures.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tools/riser_meter/history.h"

namespace riser_meter {

namespace {

// The meter's readout floor: at or below it a level reads as silence.
constexpr double kFloor = 1e-14;
// Below this RMS the meter reads no crest factor (it does not divide by it).
constexpr double kCrestRmsFloor = 1e-5;

double db(double linear) { return linear > kFloor ? 20.0 * std::log10(linear) : kSilenceDb; }

}  // namespace

FiguresDb to_db(const ChannelFigures& f) {
    const double rms = f.samples > 0 ? std::sqrt(f.sum_squares / static_cast<double>(f.samples)) : 0.0;
    FiguresDb out;
    out.peakDb = db(f.peak);
    out.rawRmsDb = db(rms);
    // The meter adds exactly 3 dB to its RMS readouts (not 3.0103).
    out.rmsDb = rms > kFloor ? out.rawRmsDb + 3.0 : kSilenceDb;
    out.crestDb = rms >= kCrestRmsFloor ? out.peakDb - out.rmsDb : kSilenceDb;
    return out;
}

FileFigures::FileFigures(double rate, bool k_weighted) : weighted(k_weighted) {
    // The meter's own K-weighting filter, fed in the same 16-sample cells.
    rate_slot.put(static_cast<float>(rate));
    enable_slot.put(1.0f);
    for (int c = 0; c < 2; ++c) {
        filter[c].source = cell[c];
        filter[c].rateSlot = &rate_slot;
        filter[c].enableSlot = &enable_slot;
    }
}

void FileFigures::add(const float* left, const float* right, int n, LevelHistory* history) {
    const float* in[2] = {left, right};
    if (!weighted) {
        for (int c = 0; c < 2; ++c) add_channel(c, in[c], in[c], n, position, history);
        position += n;
        return;
    }
    // The K-weighting filter runs in the meter's 16-sample cells.
    for (int done = 0; done < n;) {
        const int piece = std::min(n - done, b2::kBlock - cell_fill);
        for (int c = 0; c < 2; ++c) {
            const float* x = in[c] + done;
            std::memcpy(cell[c] + cell_fill, x, static_cast<size_t>(piece) * sizeof(float));
            b2::run_k_weighting(filter[c], cell_fill, cell_fill + piece);
            add_channel(c, x, filter[c].output + cell_fill, piece, position + done, history);
        }
        rate_slot.clear_changed();  // the coefficients are computed once
        cell_fill = (cell_fill + piece) % b2::kBlock;
        done += piece;
    }
    position += n;
}

namespace {

// True when none of the n values is NaN or infinite (tested on the bits, so
// the loop runs vectorised).
bool all_finite(const float* v, int n) {
    uint32_t bad = 0;
    for (int i = 0; i < n; ++i) {
        uint32_t bits;
        std::memcpy(&bits, v + i, sizeof bits);
        bad |= (bits & 0x7f800000u) == 0x7f800000u;
    }
    return bad == 0;
}

// Adds n values to the four lanes, lane (at + i) mod 4 for value i. With
// kCheck, a value that is not finite counts as silence, as in the meter.
template <bool kCheck>
void accumulate(const float* v, int n, int64_t at, double* squares, double* peak) {
    auto one = [&](int i, int lane) {
        const double x = (!kCheck || std::isfinite(v[i])) ? static_cast<double>(v[i]) : 0.0;
        squares[lane] += x * x;
        peak[lane] = std::max(peak[lane], std::fabs(x));
    };
    int i = 0;
    for (int lane = static_cast<int>(at & 3); i < n && lane != 0; ++i, lane = (lane + 1) & 3) one(i, lane);
    for (; i + 4 <= n; i += 4)
        for (int l = 0; l < 4; ++l) one(i + l, l);
    for (int lane = 0; i < n; ++i, ++lane) one(i, lane);
}

}  // namespace

void FileFigures::add_channel(int c, const float* x, const float* measured, int n, int64_t at, LevelHistory* history) {
    Sums& s = sums[c];
    const bool clean = all_finite(x, n);
    if (!clean)
        for (int i = 0; i < n; ++i)
            if (!std::isfinite(x[i])) {
                ++s.nonfinite;
                if (history) history->mark_nonfinite(at + i, at + i + 1);
            }
    double q[kLanes], p[kLanes];
    for (int l = 0; l < kLanes; ++l) {
        q[l] = s.squares[l];
        p[l] = s.peak[l];
    }
    if ((measured == x) ? clean : all_finite(measured, n))
        accumulate<false>(measured, n, at, q, p);
    else
        accumulate<true>(measured, n, at, q, p);
    for (int l = 0; l < kLanes; ++l) {
        s.squares[l] = q[l];
        s.peak[l] = p[l];
    }
}

ChannelFigures FileFigures::channel(int c) const {
    const Sums& s = sums[c];
    ChannelFigures f;
    f.sum_squares = (s.squares[0] + s.squares[1]) + (s.squares[2] + s.squares[3]);
    for (double p : s.peak) f.peak = std::max(f.peak, p);
    f.samples = position;
    f.nonfinite = s.nonfinite;
    return f;
}

}  // namespace riser_meter
