// How the engine connects its two channel strips and hands their meter
// snapshots to the editor.
#pragma once

#include "dsp/meter_snapshot.h"

namespace b2 {

struct engine;

// Connects both strips to their blocks, parameter slots and publication hook
// and (re)allocates their RMS rings from the global ID_SAMPLE_RATE value.
void wireStrips(engine* e);
// Frees both rings.
void releaseStrips(engine* e);
// Starts both gain smoothers at the gain the settings ask for, as if it had
// been steady for ever: for metering a file from its first sample, where
// there is no earlier audio to fade in from. Call after set-up.
void settle_gain(engine* e);

// The editor's side of the hand-over, every timer tick. When both channels
// have published, copies both snapshots into `out` (left, right), hands them
// back to the detectors (ready = 0) and returns true; otherwise touches
// nothing and returns false, so both channels always come from one publication.
bool take_meter_snapshots(engine* e, MeterSnapshot out[2]);
// When both channels flag a scale change, clears both flags and returns true.
// The flags carry no values of their own: the scales are redrawn from the last
// snapshots taken with take_meter_snapshots, the only copy that is safe to
// read while the audio thread may already be filling the next publication.
bool take_scale_change(engine* e);

}  // namespace b2
