// The plug-in's loudness measurement: the chain's loudness and true-peak
// meters fed with the samples the plug-in passes to its output (after Gain),
// the user's loudness settings, and the hand-over of the readings to the
// editor's loudness page.
//
// Threads: the audio thread runs the meters inside process_block and
// publishes the readings; the editor's thread takes them, raises Reset and
// Pause and changes the settings. Nothing here locks or allocates on the
// audio side; the audio thread never waits for the editor.
//
// How it runs. The stage collects the output of sixteen 16-sample cells
// (256 samples, counted on the engine's cell grid, not on the host's calls)
// and then measures them in one go, which keeps the meters' per-call
// overhead small; the readings are the same for any cut of the stream. At that
// boundary it first takes what the other thread asked for (Reset, Pause,
// the settings) and the transport of the current process call, which decide
// whether the group integrates, then measures it. The loudness meter applies a
// reset or pause at the end of its 100 ms step; the true-peak maxima are
// cleared at once and hold while paused. Readings are published at the end
// of a group in which a 100 ms step ended or the integrating state changed;
// the editor takes the newest publication (three views swapped through an
// atomic index, so neither side ever waits for the other).
//
// Transport. In Transport mode the stage integrates while the host says its
// transport plays and pauses while it says it is stopped. A process call
// that carries no transport state at all (no process context) cannot say
// either, so such calls integrate as in Always, and the view says so
// (transportUnknown) for the page to show why the meter runs with the
// transport mode on. "Reset on play" starts afresh when a call says playing
// after one that said stopped; calls without a transport between them do
// not count as a stop. While the user's Pause is on, playback starting does
// not reset: Pause holds the figures whatever the transport does.
//
// Settings. Mode, reset on play, target and the bar scale are the user's
// display and integration preferences, not host parameters: a host must not
// automate them (an automated mode switch would pause or restart a
// measurement behind the user's back), they mean nothing as a value over
// time, and hosts rely on the plug-in's parameter list staying as it is
// (new ids would shift generic editors and controller mappings). They are
// kept in the host's stored state as records of their own (engine/state_io.h)
// and a change tells the host that the state changed.
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
    // Transport mode, but the host's calls carry no transport state: the
    // stage integrates as in Always, and the page should say why.
    bool transportUnknown = false;
    // 100 ms steps measured since the set-up: it stands still while no
    // audio arrives.
    uint64_t steps = 0;
};

// Editor side, every timer tick: copies the newest publication into `out`
// and returns true, or returns false and leaves `out` alone when nothing was
// published since the last take. One thread at a time takes.
bool take_loudness_view(engine* e, LoudnessView& out);
// Editor side: Reset (integration starts again, maxima cleared) and
// Pause/Run. They reach the audio side as flags it consumes in its next call.
void request_loudness_reset(engine* e);
void request_loudness_pause(engine* e, bool paused);

// The settings, from any thread; a change marks the state as changed so the
// host stores it.
LoudnessSettings loudness_settings(const engine* e);
void set_loudness_settings(engine* e, const LoudnessSettings& s);

// The Pause the editor asked for last (the view's userPaused follows it at
// the next publication, which needs audio to arrive).
bool loudness_pause_requested(const engine* e);

// Whether the stage measures at all (on in a new engine). A caller that
// measures loudness itself turns it off, before processing starts, so the
// work is not done twice; while off, nothing is published.
void set_loudness_stage_enabled(engine* e, bool on);

}  // namespace b2
