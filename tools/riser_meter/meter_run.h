// Runs Riser's engine over audio the way the plug-in does, and takes the meter
// snapshots the way the editor does.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "dsp/meter_snapshot.h"
#include "engine/engine.h"

namespace riser_meter {

struct Snapshots {
    b2::MeterSnapshot left, right;
};

class MeterRun {
public:
    // Sets the engine up for `rate`, starts processing and applies the settings.
    MeterRun(double rate, int max_block, const std::vector<std::pair<int, float>>& settings);
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
    b2::engine* get_engine() const { return engine; }

private:
    void tick();

    b2::engine* engine = nullptr;
    double rate;
    int64_t tick_period;  // 33 ms of audio, in samples
    int64_t since_tick = 0;
    int64_t taken_count = 0;
    Snapshots taken;
    Snapshots max;
};

}  // namespace riser_meter
