// What the meters show when the host stops calling process: no new snapshot
// arrives, and instead of freezing on the last reading the bars fall as they
// would on silence. The values come from the last shown snapshot and the time
// since the stall was noticed. The detectors are told (mark_stale) and start
// again from silence when audio returns; until the fall has reached silence
// each level then shows the higher of its fall and the new reading, so the
// meters go on from what they showed.
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

// Each of the six levels of `reading`, raised to that of `floor` where that
// is higher; the display values stay those of `reading`.
void raise_levels(MeterSnapshot& reading, const MeterSnapshot& floor);

// Whether every level of `s` reads silence.
bool all_silent(const MeterSnapshot& s);

// Tells a detector that the editor showed its meters falling: a snapshot the
// editor has taken becomes stale (a new publication is left alone).
void mark_stale(MeterSnapshot& published);

class stalled_meters {
public:
    // The meters show `shown` from `now` on, without a reading (a new view).
    void start(const MeterSnapshot shown[2], double now);
    // Real snapshots of both channels arrived at `now`. After a fall, each
    // level in `taken` is raised to the fall's until the fall reads silence;
    // `taken` is then what to show.
    void arrived(MeterSnapshot taken[2], double now, const fall_times& times);
    // No snapshot arrived: when the last one is more than `stall` ms old,
    // fills `out` with what silence would show now and returns true.
    bool fallen(double now, double stall, const fall_times& times, MeterSnapshot out[2]);
    // The same with fall times of each of the two snapshots' own (bars that
    // are not two channels of one meter, such as the loudness page's).
    void arrived(MeterSnapshot taken[2], double now, const fall_times (&times)[2]);
    bool fallen(double now, double stall, const fall_times (&times)[2], MeterSnapshot out[2]);

private:
    MeterSnapshot last[2];  // what the last arrival showed
    double last_at = 0.0;
    bool have_last = false;
    // The fall in progress (or going on under the readings after it): what
    // it started from and when.
    MeterSnapshot fall_from[2];
    double fall_start = 0.0;
    bool falling = false;
};

}  // namespace b2
