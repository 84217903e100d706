// The editor's loudness page: the loudness stage's readings into its bars
// and readouts on every tick, its buttons, target chooser and switches into
// the stage, and the bars' fall while no audio arrives.
#pragma once

#include <cstdint>
#include <functional>

#include "dsp/meter_snapshot.h"
#include "editor/stalled_meters.h"
#include "engine/loudness_stage.h"

namespace VSTGUI {
class CControl;
class CColor;
}

namespace b2 {

class ui_editor_base;

class loudness_page {
public:
    // Where the readings come from: copies a new one into its argument and
    // returns true, or returns false when nothing new was published.
    using source = std::function<bool(LoudnessView&)>;

    explicit loudness_page(ui_editor_base& editor) : editor(editor) {}

    // Null: the engine's loudness stage (take_loudness_view).
    void set_source(source s) { from = std::move(s); }
    // After the views exist: the targets into the chooser, the large font.
    void style();
    // A new build: nothing measured yet, on the current settings, from `now` (ms).
    void start(double now);
    // Every tick: a new reading, or the bars' fall once none has arrived for
    // `stall_ms`; the settings as they are now (the host may load others).
    void refresh(double now, double stall_ms);
    // A control of the page was changed by the user: true if it was one.
    bool control_changed(uint32_t command, VSTGUI::CControl* control);

private:
    bool take(LoudnessView& out);
    LoudnessSettings current_settings() const;
    void change_settings(const LoudnessSettings& s);
    void show_settings(const LoudnessSettings& s);
    void show_pause(bool paused);
    void show_bars(const MeterSnapshot bars[2]);
    void show_figures();
    void show_text(uint32_t tag, const char* text, const VSTGUI::CColor& colour);

    ui_editor_base& editor;
    source from;
    LoudnessView shown;  // the last reading shown
    bool have_reading = false;
    bool no_audio = false;
    LoudnessSettings settings;  // as the controls show them
    MeterSnapshot bars[2];      // momentary and short-term, as drawn
    stalled_meters fall;
};

}  // namespace b2
