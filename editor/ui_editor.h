// ui_editor: Riser's window. Builds both pages from the element table, feeds
// the meter views and readouts, and handles the command buttons.
#pragma once

#include "dsp/meter_snapshot.h"
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

protected:
    void build() override;
    void before_close() override;
    void refresh_meters() override;
    VSTGUI::CControl* create_custom_element(const ui_element& element) override;

private:
    void style_views();
    void show_scales();

    MeterSnapshot last_left;    // the left channel's last taken snapshot, for the scales
    bool scales_shown = false;  // the scales have been drawn from a snapshot
    void run_command(uint32_t command);
    void apply_preset(bool minus20);
    VSTGUI::CMeterSegment* meter(uint32_t id) const;
    void show_readout(uint32_t id, float value, const VSTGUI::CMeterSegment* bar, float colour_value,
                      uint8_t ladder);
};

}  // namespace b2
