#include "tools/riser_meter/history.h"

#include <algorithm>
#include <cmath>

namespace riser_meter {

LevelHistory::LevelHistory(int columns, int64_t frames)
    : width(std::max(1, columns)),
      total(std::max<int64_t>(1, frames)),
      ranges(static_cast<size_t>(kTraceCount) * static_cast<size_t>(width)),
      filled(ranges.size(), 0),
      bad(static_cast<size_t>(width), 0) {}

int LevelHistory::column_of(int64_t frame) const {
    if (frame <= 0) return 0;
    if (frame >= total) return width - 1;
    // Fits in 64 bits for any file shorter than 90 years at 192 kHz.
    return static_cast<int>(frame * width / total);
}

void LevelHistory::add(int64_t frame, const float values[kTraceCount]) {
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
    const int last = column_of(to - 1);
    for (int c = column_of(from); c <= last; ++c) bad[static_cast<size_t>(c)] = 1;
}

}  // namespace riser_meter
