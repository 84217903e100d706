// Whole-file figures: the sample peak, the RMS over the whole file and the
// crest factor per channel, on the signal the meter measures (after "Gain",
// K-weighted when "K Filter" is on), summed in double precision.
#pragma once

#include <cstdint>

#include "dsp/channel_strip.h"
#include "engine/value_slot.h"

namespace riser_meter {

class LevelHistory;

// Silence, as the meter's readouts show it: 20 * log10(1e-14).
constexpr double kSilenceDb = -280.0;

struct ChannelFigures {
    double peak = 0;            // largest magnitude
    double sum_squares = 0;
    int64_t samples = 0;
    int64_t nonfinite = 0;      // NaN or infinite samples, measured as silence
};

// One channel's figures in dB.
struct FiguresDb {
    double peakDb;    // sample peak, dBFS
    double rawRmsDb;  // RMS, dBFS
    double rmsDb;     // RMS with the meter's +3 dB: a sine reads its peak
    double crestDb;   // peakDb - rmsDb, as the meter's crest
};
FiguresDb to_db(const ChannelFigures& f);

class FileFigures {
public:
    FileFigures(double rate, bool k_weighted);
    FileFigures(const FileFigures&) = delete;
    FileFigures& operator=(const FileFigures&) = delete;

    // The next `n` frames of the signal after the gain (the engine's output).
    // Stream positions of samples that are not finite are marked in `history`
    // when one is given.
    void add(const float* left, const float* right, int n, LevelHistory* history);
    ChannelFigures channel(int c) const;

private:
    // Sums of squares and peaks kept in four lanes chosen by stream position:
    // the additions need not wait for each other, and the result does not
    // depend on where the stream is cut.
    static constexpr int kLanes = 4;
    struct Sums {
        double squares[kLanes] = {};
        double peak[kLanes] = {};
        int64_t nonfinite = 0;
    };
    void add_channel(int c, const float* x, const float* measured, int n, int64_t at, LevelHistory* history);

    bool weighted;
    int64_t position = 0;  // frames added so far
    int cell_fill = 0;     // samples in the current 16-sample cell
    b2::value_slot rate_slot, enable_slot;
    float cell[2][b2::kBlock] = {};
    b2::KWeighting filter[2];
    Sums sums[2];
};

}  // namespace riser_meter
