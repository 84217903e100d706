// The level history behind --plot: every meter reading of the run, reduced as
// it arrives to the smallest, largest, first and last value of each trace in
// each pixel column, so memory and drawing time depend on the picture's width
// and not on the length of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dsp/meter_snapshot.h"

namespace riser_meter {

// The traces of one channel: the six readings of its meter snapshot.
enum Trace : int { kPeak, kHeldPeak, kRms, kHeldRms, kCrest, kHeldCrest, kTracesPerChannel };
constexpr int kTraceCount = 2 * kTracesPerChannel;  // left channel first

// The values one trace took within one column, in dB.
struct ColumnRange {
    float lo = 0, hi = 0;        // smallest and largest
    float first = 0, last = 0;   // in stream order
};

class LevelHistory {
public:
    // `columns` (at least 1) pixel columns spread evenly over `frames` frames.
    // With `frames` < 0 (a stream of unknown length) the span starts at one
    // frame per column and doubles, two columns merged into one, whenever a
    // reading lies beyond it; finish() then fits it to the length read.
    LevelHistory(int columns, int64_t frames);
    // Spreads the columns over the `frames` frames actually read, once the
    // stream has ended. Only a history of unknown length changes: each column
    // takes the readings of the span it now covers (at least half as many
    // columns as the picture has held distinct readings).
    void finish(int64_t frames);

    int columns() const { return width; }
    int64_t frames() const { return total; }
    // The column of stream position `frame`; positions past either end fall
    // into the first or last column.
    int column_of(int64_t frame) const;

    // One meter reading per trace, taken at stream position `frame`. Values
    // that are not finite are left out of the reduction.
    void add(int64_t frame, const float values[kTraceCount]);
    // Both channels' snapshots as one reading.
    void add(int64_t frame, const b2::MeterSnapshot& left, const b2::MeterSnapshot& right);
    // Marks the columns of stream positions [from, to) as holding samples
    // that are not finite (NaN or infinite).
    void mark_nonfinite(int64_t from, int64_t to);

    bool has(int trace, int column) const { return filled[index(trace, column)] != 0; }
    const ColumnRange& at(int trace, int column) const { return ranges[index(trace, column)]; }
    bool nonfinite(int column) const { return bad[static_cast<size_t>(column)] != 0; }

private:
    void grow_to(int64_t frame);
    // Merges column `from` into `into` (`from` later in the stream).
    void merge(int trace_into, int into, const ColumnRange& from);
    size_t index(int trace, int column) const {
        return static_cast<size_t>(trace) * static_cast<size_t>(width) + static_cast<size_t>(column);
    }

    int width;
    int64_t total;
    bool open_ended;
    std::vector<ColumnRange> ranges;  // trace-major
    std::vector<uint8_t> filled;
    std::vector<uint8_t> bad;
};

}  // namespace riser_meter
