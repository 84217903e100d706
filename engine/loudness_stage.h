// The plug-in's loudness measurement: the chain's loudness and true-peak
// meters fed with the samples the plug-in passes to its output (after Gain),
// the user's loudness settings, and the hand-over of the readings to the
// editor's loudness page.
//
// Threads: the audio thread runs the meters inside process_block and
// publishes the readings; the editor's thread takes them, raises Reset and
// Pause and changes the settings. Nothing here locks or allocates on the
// audio side; the audio thread never waits for the editor.
#pragma once

#include <cstdint>

namespace b2 {

struct engine;

// What integrates: everything the host sends, or only while its transport
// plays (paused while it is stopped).
enum : uint8_t { LOUDNESS_ALWAYS = 0, LOUDNESS_TRANSPORT = 1 };

// The user's loudness settings. They travel in the host's stored state (their
// own records) but are not host parameters.
struct LoudnessSettings {
    uint8_t mode = LOUDNESS_ALWAYS;
    uint8_t resetOnPlay = 0;  // Transport mode: start afresh when playback starts from a stopped transport
    uint8_t target = 0;       // index into the targets of engine/loudness_targets.h
    uint8_t relative = 0;     // bars in LU relative to the target instead of LUFS
};

// The readings as the page shows them, copied out of one publication.
// Loudness in LUFS and true peak in dBTP; -infinity where there is nothing
// to show (silence, or no gated block yet).
struct LoudnessView {
    double momentary = 0, shortTerm = 0;
    double momentaryMax = 0, shortTermMax = 0;
    double integrated = 0, range = 0;  // range in LU
    double truePeakDbtp[2] = {};       // maxima, left and right
    double integratedSeconds = 0;      // time integrated since the last reset
    bool integrating = false;          // false: paused by the user or by the stopped transport
    bool userPaused = false;           // the user's Pause is on
};

// Editor side, every timer tick: copies the newest publication into `out`
// and returns true, or returns false and leaves `out` alone when nothing was
// published since the last take.
bool take_loudness_view(engine* e, LoudnessView& out);
// Editor side: Reset (integration starts again, maxima cleared) and
// Pause/Run. They reach the audio side as flags it consumes in its next call.
void request_loudness_reset(engine* e);
void request_loudness_pause(engine* e, bool paused);

// The settings, from any thread; a change marks the state as changed so the
// host stores it.
LoudnessSettings loudness_settings(const engine* e);
void set_loudness_settings(engine* e, const LoudnessSettings& s);

}  // namespace b2
