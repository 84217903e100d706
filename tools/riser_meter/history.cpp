#include "tools/riser_meter/history.h"

#include <algorithm>
#include <cmath>

namespace riser_meter {

LevelHistory::LevelHistory(int columns, int64_t frames)
    : width(std::max(1, columns)),
      total(frames < 0 ? std::max(1, columns) : std::max<int64_t>(1, frames)),
      open_ended(frames < 0),
      ranges(static_cast<size_t>(kTraceCount) * static_cast<size_t>(width)),
      filled(ranges.size(), 0),
      bad(static_cast<size_t>(width), 0) {}

int LevelHistory::column_of(int64_t frame) const {
    if (frame <= 0) return 0;
    if (frame >= total) return width - 1;
    // Fits in 64 bits for any file shorter than 90 years at 192 kHz.
    return static_cast<int>(frame * width / total);
}

void LevelHistory::merge(int trace, int into, const ColumnRange& from) {
    const size_t i = index(trace, into);
    ColumnRange& r = ranges[i];
    if (!filled[i]) {
        r = from;
        filled[i] = 1;
        return;
    }
    r.lo = std::min(r.lo, from.lo);
    r.hi = std::max(r.hi, from.hi);
    r.last = from.last;
}

// Doubles the span until `frame` lies inside it: column c of the doubled span
// holds what columns 2c and 2c + 1 held, exactly the positions it now covers.
void LevelHistory::grow_to(int64_t frame) {
    while (frame >= total) {
        total *= 2;
        for (int t = 0; t < kTraceCount; ++t)
            for (int c = 0; c < width; ++c) {
                const ColumnRange from = ranges[index(t, c)];
                const bool had = filled[index(t, c)] != 0;
                filled[index(t, c)] = 0;
                if (had) merge(t, c / 2, from);
            }
        for (int c = 0; c < width; ++c) {
            const uint8_t was = bad[static_cast<size_t>(c)];
            bad[static_cast<size_t>(c)] = 0;
            bad[static_cast<size_t>(c / 2)] |= was;
        }
    }
}

void LevelHistory::finish(int64_t frames) {
    if (!open_ended) return;
    open_ended = false;
    const int64_t length = std::max<int64_t>(1, frames);
    const LevelHistory old = *this;
    std::fill(filled.begin(), filled.end(), 0);
    std::fill(bad.begin(), bad.end(), 0);
    total = length;
    for (int c = 0; c < width; ++c) {
        // The frames column c now covers, and the old columns that held them.
        const int64_t from = c * length / width, to = std::max(from + 1, (c + 1) * length / width);
        const int first = old.column_of(from), last = old.column_of(to - 1);
        for (int k = first; k <= last; ++k) {
            for (int t = 0; t < kTraceCount; ++t)
                if (old.has(t, k)) merge(t, c, old.at(t, k));
            bad[static_cast<size_t>(c)] |= old.bad[static_cast<size_t>(k)];
        }
    }
}

void LevelHistory::add(int64_t frame, const float values[kTraceCount]) {
    if (open_ended) grow_to(frame);
    const int column = column_of(frame);
    for (int t = 0; t < kTraceCount; ++t) {
        const float v = values[t];
        if (!std::isfinite(v)) continue;
        const size_t i = index(t, column);
        ColumnRange& r = ranges[i];
        if (!filled[i]) {
            r = {v, v, v, v};
            filled[i] = 1;
            continue;
        }
        r.lo = std::min(r.lo, v);
        r.hi = std::max(r.hi, v);
        r.last = v;
    }
}

void LevelHistory::add(int64_t frame, const b2::MeterSnapshot& left, const b2::MeterSnapshot& right) {
    float v[kTraceCount];
    const b2::MeterSnapshot* both[2] = {&left, &right};
    for (int c = 0; c < 2; ++c) {
        float* at = v + c * kTracesPerChannel;
        const b2::MeterSnapshot& s = *both[c];
        at[kPeak] = s.peakDb;
        at[kHeldPeak] = s.heldPeakDb;
        at[kRms] = s.rmsDb;
        at[kHeldRms] = s.heldRmsDb;
        at[kCrest] = s.crestDb;
        at[kHeldCrest] = s.heldCrestDb;
    }
    add(frame, v);
}

void LevelHistory::mark_nonfinite(int64_t from, int64_t to) {
    if (to <= from) return;
    if (open_ended) grow_to(to - 1);
    const int last = column_of(to - 1);
    for (int c = column_of(from); c <= last; ++c) bad[static_cast<size_t>(c)] = 1;
}

}  // namespace riser_meter
