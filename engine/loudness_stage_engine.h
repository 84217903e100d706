// The engine's side of the loudness stage (engine/loudness_stage.h): its
// creation, its set-up for a sample rate, the block loop's calls that feed
// it, and the settings as the stored state reads and writes them.
#pragma once

#include <cstdint>

#include "engine/loudness_stage.h"

namespace b2 {

struct engine;
struct loudness_stage;

// The stage with its meters (about 160 KB), or null when memory runs out.
loudness_stage* create_loudness_stage();
void destroy_loudness_stage(loudness_stage* s);

// Main thread, while the block loop does not run: starts both meters afresh
// at `rate`. At a rate the meters do not take the stage measures nothing.
void prepare_loudness_stage(engine* e, double rate);

// Audio thread, after the strips ran samples [from, from + n) of the
// current cell: takes those samples of both strips' output.
void feed_loudness_stage(engine* e, int from, int n);
// Audio thread: the current cell is complete (a boundary of the grid).
void end_loudness_cell(engine* e);

// The settings brought into range: an unknown mode is Always, an unknown
// target "None", flags 0 or 1.
LoudnessSettings sanitized_loudness_settings(LoudnessSettings s);
// The settings a loaded state brings: stored without telling the host that
// the state changed (it has just given it).
void load_loudness_settings(engine* e, const LoudnessSettings& s);

}  // namespace b2
