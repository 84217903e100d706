// Runs Riser's engine over audio the way the plug-in does, and takes the meter
// snapshots the way the editor does.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "dsp/meter_snapshot.h"
#include "engine/engine.h"
#include "tools/riser_meter/options.h"

namespace riser_meter {

class LevelHistory;

struct Snapshots {
    b2::MeterSnapshot left, right;
};

class MeterRun {
public:
    // Sets the engine up for `rate`, starts processing and applies the
    // settings, with the gain already at its setting (no fade-in). The
    // engine's loudness stage measures (after Gain, as in the plug-in) only
    // with `loudness_page`, for a picture of that page judged against the
    // target at `loudness_target` in the targets table; riser-meter's own
    // figures (before Gain) are all a run needs otherwise, and the stage
    // would measure everything a second time.
    MeterRun(double rate, int max_block, const std::vector<std::pair<int, float>>& settings,
             bool loudness_page = false, int loudness_target = 0);
    ~MeterRun();
    MeterRun(const MeterRun&) = delete;
    MeterRun& operator=(const MeterRun&) = delete;

    bool ok() const { return engine != nullptr; }
    // One host block of `n` frames; in place.
    void process(float* left, float* right, int n);
    // True once at least one pair of snapshots has been taken.
    bool has_snapshots() const { return taken_count > 0; }
    const Snapshots& latest() const { return taken; }
    const Snapshots& maxima() const { return max; }
    // The maxima of the snapshots measured once the meter has settled: from
    // the first RMS window plus "Value Hold" after the start, so the start-up
    // transient (a peak against a still-empty window) is left out.
    bool has_settled() const { return settled_count > 0; }
    const Snapshots& settled_maxima() const { return settled_max; }
    double settled_from_s() const { return static_cast<double>(settle_frames) / rate; }
    // Every snapshot taken is also added to `h` (null: none), at the stream
    // position where it was measured.
    void set_history(LevelHistory* h) { history = h; }
    b2::engine* get_engine() const { return engine; }

private:
    void tick();

    b2::engine* engine = nullptr;
    double rate;
    int64_t tick_period;  // 33 ms of audio, in samples
    int64_t since_tick = 0;
    int64_t stream_position = 0;
    // Where the readings of the next take were measured: the editor shows a
    // reading up to one tick after the detectors published it.
    int64_t reading_position = b2::kBlock;
    int64_t settle_frames = 0;
    int64_t taken_count = 0;
    int64_t settled_count = 0;
    LevelHistory* history = nullptr;
    Snapshots taken;
    Snapshots max;
    Snapshots settled_max;
};

}  // namespace riser_meter
