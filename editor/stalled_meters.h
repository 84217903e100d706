// What the meters show when the host stops calling process: no new snapshot
// arrives, and instead of freezing on the last reading the bars fall as they
// would on silence. The values come from the last real snapshot and the time
// since the stall was noticed; the next real snapshot replaces them exactly.
#pragma once

#include "dsp/meter_snapshot.h"

namespace b2 {

// The parameters that shape a meter's fall on silence, in milliseconds.
struct fall_times {
    float peak_fall;   // "Peak Fall": time for a 20 dB fall of the peak
    float rms_window;  // "RMS Window": silence fills the window in this time
    float value_hold;  // "Value Hold": how long a held maximum stays
};

// The level every dB field reads on silence.
constexpr float kSilenceReadingDb = -280.0f;

// Shortest time without a snapshot that counts as a stall: about eight timer
// ticks, so that a late tick or a briefly late process call never shows.
constexpr double kMinStallMs = 250.0;
// Longest: hosts announcing huge blocks still see a stall within seconds.
constexpr double kMaxStallMs = 4000.0;

// Time without a snapshot after which the host counts as stopped: two of the
// host's largest blocks (snapshots arrive at most once per process call, so a
// host with big blocks sends one every block), within the bounds above.
double stall_after_ms(float sample_rate, float max_block);

// The snapshot silence would publish `t` ms after it began, from `last`.
MeterSnapshot silence_after(const MeterSnapshot& last, double t, const fall_times& times);

class stalled_meters {
public:
    // Real snapshots of both channels arrived at `now`.
    void arrived(const MeterSnapshot taken[2], double now);
    // No snapshot arrived: when the last one is more than `stall` ms old,
    // fills `out` with what silence would show now and returns true.
    bool fallen(double now, double stall, const fall_times& times, MeterSnapshot out[2]) const;
    // The views were rebuilt: nothing is shown until a real snapshot arrives.
    void forget() { have_last = false; }

private:
    MeterSnapshot last[2];
    double last_at = 0.0;
    bool have_last = false;
};

}  // namespace b2
