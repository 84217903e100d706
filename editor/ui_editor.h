// ui_editor: Riser's window. Builds both pages from the element table, feeds
// the meter views and readouts, and handles the command buttons.
#pragma once

#include <functional>

#include "dsp/meter_snapshot.h"
#include "editor/loudness_page.h"
#include "editor/stalled_meters.h"
#include "editor/ui_editor_base.h"

namespace VSTGUI {
class CMeterSegment;
}

namespace b2 {

class ui_editor : public ui_editor_base {
public:
    explicit ui_editor(engine* e);
    ~ui_editor() override;

    // Command buttons first; parameter controls go on to the base.
    void valueChanged(VSTGUI::CControl* control) override;

    // The clock the meters read to notice that the host stopped sending audio,
    // in milliseconds (a steady clock unless replaced, as tests do).
    void set_meter_clock(std::function<double()> clock);
    // Where the loudness page's readings come from (null: the engine's
    // loudness stage); pictures and tests show readings of their own.
    void set_loudness_source(loudness_page::source source) { loudness.set_source(std::move(source)); }

protected:
    void build() override;
    void before_close() override;
    void refresh_meters() override;
    VSTGUI::CControl* create_custom_element(const ui_element& element) override;

private:
    void style_views();
    void show_scales();
    void show_idle_meters();

    MeterSnapshot last_left;  // the left channel's last shown snapshot, for the scales
    stalled_meters stall;     // the bars' fall while no snapshot arrives
    loudness_page loudness{*this};
    std::function<double()> meter_clock;
    void show_levels(const MeterSnapshot levels[2]);
    bool show_fall(MeterSnapshot fallen[2]);
    fall_times current_fall_times() const;
    MeterSnapshot settings_snapshot() const;
    void run_command(uint32_t command);
    void apply_preset(bool minus20);
    VSTGUI::CMeterSegment* meter(uint32_t id) const;
    void show_readout(uint32_t id, float value, const VSTGUI::CMeterSegment* bar, float colour_value,
                      uint8_t ladder);
};

}  // namespace b2
