#include "editor/ui_editor.h"

#include <chrono>
#include <new>
#include <utility>

#include "editor/create_editor.h"

#include "engine/engine.h"
#include "engine/value_format.h"
#include "views/meter_segment.h"
#include "vstgui/lib/controls/cslider.h"
#include "vstgui/lib/controls/ctextlabel.h"
#include "vstgui/lib/cviewcontainer.h"

namespace b2 {

using namespace VSTGUI;

Steinberg::IPlugView* create_editor(engine* e) {
    try {
        return new ui_editor(e);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

namespace {

double steady_ms() {
    using ms = std::chrono::duration<double, std::milli>;
    return ms(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool same3(const float* a, const float* b) { return a[0] == b[0] && a[1] == b[1] && a[2] == b[2]; }

bool same_scale(const MeterSnapshot& a, const MeterSnapshot& b) {
    return a.scaleTop == b.scaleTop && a.scaleZero == b.scaleZero && a.segmentHeight == b.segmentHeight;
}

// The display values (thresholds and scale) of `from` into `to`; the levels stay.
void take_display_values(MeterSnapshot& to, const MeterSnapshot& from) {
    for (int i = 0; i < 3; ++i) {
        to.peakThresholds[i] = from.peakThresholds[i];
        to.rmsThresholds[i] = from.rmsThresholds[i];
        to.crestThresholds[i] = from.crestThresholds[i];
    }
    to.scaleTop = from.scaleTop;
    to.scaleZero = from.scaleZero;
    to.segmentHeight = from.segmentHeight;
}

// `s` with every level at silence.
MeterSnapshot silent(const MeterSnapshot& s) {
    MeterSnapshot out = s;
    out.heldPeakDb = out.peakDb = out.heldRmsDb = out.rmsDb = out.heldCrestDb = out.crestDb = kSilenceReadingDb;
    return out;
}

// Whether a bar view would draw `next` differently from the snapshot it holds.
bool bar_moves(const CMeterSegment& view, const MeterSnapshot& next) {
    const MeterSnapshot& shown = view.snapshot;
    if (shown.segmentHeight != next.segmentHeight || shown.scaleTop != next.scaleTop) return true;
    switch (view.getMode()) {
        case kRmsMeter:
            return shown.rmsDb != next.rmsDb || shown.heldRmsDb != next.heldRmsDb ||
                   !same3(shown.rmsThresholds, next.rmsThresholds);
        case kPeakMeter:
            return shown.peakDb != next.peakDb || shown.heldPeakDb != next.heldPeakDb ||
                   !same3(shown.peakThresholds, next.peakThresholds);
        case kCrestMeter:
            return shown.crestDb != next.crestDb || shown.heldCrestDb != next.heldCrestDb ||
                   !same3(shown.crestThresholds, next.crestThresholds);
        default:
            return true;
    }
}

}  // namespace

ui_editor::ui_editor(engine* e) : ui_editor_base(e), meter_clock(steady_ms) {}

void ui_editor::set_meter_clock(std::function<double()> clock) { meter_clock = clock ? std::move(clock) : steady_ms; }

ui_editor::~ui_editor() {
    // A host that releases the editor without removing it first.
    if (frame) native_close();
}

void ui_editor::build() {
    copy_element_table();
    frame->setBackgroundColor(palette::kBackground);
    create_pages(PAGE_COUNT);
    for (uint8_t p = 0; p < page_count; ++p) pages[p]->setBackgroundColor(palette::kBackground);
    show_page(PAGE_MAIN);
    decode_images();
    create_views();
    release_images();
    style_views();
    loudness.style();
    refresh_controls(true);
    show_idle_meters();
}

// New views show silence on the current settings from the first frame, until
// a reading arrives: the scales, the empty bars and the readouts' no-signal
// text (a host that has not processed yet has published nothing).
void ui_editor::show_idle_meters() {
    last_left = settings_snapshot();
    const MeterSnapshot idle[2] = {last_left, last_left};
    show_levels(idle);
    show_scales();
    const double now = meter_clock();
    stall.start(idle, now);
    loudness.start(now);
}

// Silence on the current settings: the snapshot a detector would publish
// after silence, from the settings as they are now.
MeterSnapshot ui_editor::settings_snapshot() const {
    MeterSnapshot s;
    s.peakThresholds[kClip] = current_param(ID_PEAK_CLIP);
    s.peakThresholds[kHigh] = current_param(ID_PEAK_HIGH);
    s.peakThresholds[kLow] = current_param(ID_PEAK_LOW);
    s.rmsThresholds[kHigh] = current_param(ID_RMS_HIGH);
    s.rmsThresholds[kLow] = current_param(ID_RMS_LOW);
    s.crestThresholds[kHigh] = current_param(ID_CREST_HIGH);
    s.crestThresholds[kLow] = current_param(ID_CREST_LOW);
    s.scaleTop = current_param(ID_SCALE_TOP);
    s.scaleZero = current_param(ID_SCALE_ZERO);
    s.segmentHeight = current_param(ID_SEGMENT_HEIGHT);
    return silent(s);
}

CControl* ui_editor::create_custom_element(const ui_element& el) {
    if (el.kind == UI_READOUT) {
        auto* label = new CTextLabel(el.rect, "", nullptr, 0);
        label->setStyle(CParamDisplay::kRoundRectStyle | CParamDisplay::kNoFrame);
        label->setFontColor(palette::kText);
        label->setFont(kNormalFontSmall);
        label->setBackColor(palette::kReadoutBack);
        label->setHoriAlign(kCenterText);
        label->setRoundRectRadius(4);
        return label;
    }
    if (el.kind == UI_METER) return new CMeterSegment(el.rect, static_cast<uint8_t>(el.text[0]));
    return nullptr;
}

// Colours and alignments that depend on the views, and the status line shown
// on both pages.
void ui_editor::style_views() {
    for (uint32_t id : {ID_VERSION, ID_CONTACT}) {
        if (auto* label = dynamic_cast<CTextLabel*>(find_view(UI_LABEL | id))) {
            label->setFontColor(palette::kDimText);
            label->setHoriAlign(kCenterText);
        }
    }
    const struct {
        int id;
        CColor colour;
    } thresholds[] = {
        {ID_PEAK_CLIP, palette::kClip}, {ID_PEAK_HIGH, palette::kHigh}, {ID_PEAK_LOW, palette::kLow},
        {ID_RMS_HIGH, palette::kHigh},  {ID_RMS_LOW, palette::kLow},    {ID_CREST_HIGH, palette::kHigh},
        {ID_CREST_LOW, palette::kLow},
    };
    for (const auto& t : thresholds)
        if (auto* slider = dynamic_cast<CSlider*>(find_view(UI_HSLIDER | static_cast<uint32_t>(t.id))))
            slider->setValueColor(t.colour);

    for (uint32_t i = 0; i < element_count; ++i)
        if (elements[i].kind == UI_LABEL && elements[i].style == 1)
            if (auto* label = dynamic_cast<CTextLabel*>(elements[i].view)) label->setHoriAlign(kCenterText);

    auto* status = dynamic_cast<CTextLabel*>(find_view(UI_STATUS));
    if (!status) return;
    status->setFontColor(palette::kDimText);
    // The toolkit expects a view in one container; the main page keeps
    // ownership and the flag, the other pages only show it.
    for (uint8_t p : {PAGE_SETTINGS, PAGE_LOUDNESS}) {
        if (CViewContainer* other = page(p)) {
            status->setSubviewState(false);
            other->addView(status);
        }
    }
}

void ui_editor::before_close() {
    CControl* status = find_view(UI_STATUS);
    if (!status) return;
    for (uint8_t p : {PAGE_SETTINGS, PAGE_LOUDNESS}) {
        CViewContainer* other = page(p);
        if (!other || !other->isChild(status)) continue;
        other->removeView(status, false);
        status->setSubviewState(true);  // still a child of the main page
    }
}

CMeterSegment* ui_editor::meter(uint32_t id) const { return dynamic_cast<CMeterSegment*>(find_view(UI_METER | id)); }

// Sets a readout's colour and text; only a readout whose look changed is
// marked for redrawing.
void ui_editor::show_readout(uint32_t id, float value, const CMeterSegment* bar, float colour_value, uint8_t ladder) {
    auto* label = dynamic_cast<CTextLabel*>(find_view(UI_READOUT | id));
    if (!label) return;
    char text[kTextSize];
    formatReadout(value, text);
    const CColor colour = bar ? bar->getLevelColor(colour_value, ladder) : label->getFontColor();
    if (colour == label->getFontColor() && label->getText() == text) return;
    label->setFontColor(colour);
    label->setText(text);
    label->setDirty(true);
}

void ui_editor::refresh_meters() {
    MeterSnapshot taken[2];
    bool scale_moved = false;
    const double now = meter_clock();
    const double stall_ms =
        stall_after_ms(global_value(engine_ref, ID_SAMPLE_RATE), global_value(engine_ref, ID_SAMPLE_PER_BLOCK));
    if (take_meter_snapshots(engine_ref, taken)) {
        stall.arrived(taken, now, current_fall_times());
        // A scale value changed while a publication was waiting reaches the
        // snapshots one publication after its flags: follow any change of
        // the values the scales show too, or they would stay stale.
        scale_moved = !same_scale(taken[0], last_left);
        last_left = taken[0];
        show_levels(taken);
    } else {
        // The host stopped sending audio: the bars fall as on silence.
        if (stall.fallen(now, stall_ms, current_fall_times(), taken)) scale_moved = show_fall(taken);
    }
    if (take_scale_change(engine_ref) || scale_moved) show_scales();
    loudness.refresh(now, stall_ms);
}

// The levels the editor makes itself while no audio arrives: drawn on the
// current settings (nothing else would bring a changed setting to the
// meters), and the detectors told to start from silence when audio returns.
// Returns whether the scales must follow.
bool ui_editor::show_fall(MeterSnapshot fallen[2]) {
    const MeterSnapshot settings = settings_snapshot();
    for (int c = 0; c < 2; ++c) take_display_values(fallen[c], settings);
    if (engine_ref)
        for (ChannelStrip& strip : engine_ref->strips) mark_stale(strip.detector.snapshot);
    const bool scale_moved = !same_scale(fallen[0], last_left);
    last_left = fallen[0];
    show_levels(fallen);
    return scale_moved;
}

// Both channels' levels into their bars and readouts; only views whose look
// changes are marked for redrawing.
void ui_editor::show_levels(const MeterSnapshot levels[2]) {
    for (uint32_t c = 0; c < 2; ++c) {
        const MeterSnapshot& s = levels[c];
        for (uint32_t id : {ID_RMS_LEFT + c, ID_PEAK_LEFT + c, ID_CREST_LEFT + c}) {
            if (CMeterSegment* view = meter(id)) {
                const bool moves = bar_moves(*view, s);
                view->snapshot = s;
                if (moves) view->setDirty(true);
            }
        }
        show_readout(ID_PEAK_HELD_LEFT + c, s.heldPeakDb - s.scaleZero, meter(ID_PEAK_LEFT + c), s.heldPeakDb,
                     kPeakLadder);
        show_readout(ID_RMS_HELD_LEFT + c, s.heldRmsDb - s.scaleZero, meter(ID_RMS_LEFT + c), s.heldRmsDb,
                     kRmsLadder);
        show_readout(ID_CREST_HELD_LEFT + c, s.heldCrestDb, meter(ID_CREST_LEFT + c), s.heldCrestDb,
                     kCrestLadder);
    }
}

fall_times ui_editor::current_fall_times() const {
    return {current_param(ID_PEAK_FALL), current_param(ID_RMS_WINDOW), current_param(ID_VALUE_HOLD)};
}

void ui_editor::show_scales() {
    for (uint32_t id : {ID_GAIN_SCALE, ID_LEVEL_SCALE, ID_CREST_SCALE}) {
        if (CMeterSegment* view = meter(id)) {
            view->snapshot = last_left;
            view->setDirty(true);
        }
    }
}

// ---- command buttons ---------------------------------------------------------------

void ui_editor::valueChanged(CControl* control) {
    if (!control) return;
    const uint32_t command = static_cast<uint32_t>(control->getTag()) & kTagIdMask;
    if (loudness.control_changed(command, control)) return;
    switch (command) {
        case ID_GAIN_UP_1:
        case ID_GAIN_UP_TENTH:
        case ID_GAIN_DOWN_TENTH:
        case ID_GAIN_DOWN_1:
        case ID_RMS_DOUBLE:
        case ID_RMS_HALF:
        case ID_PRESET_12:
        case ID_PRESET_20:
        case ID_SETTINGS:
        case ID_LOUDNESS:
            // A kick reports its maximum and then its minimum: act once.
            if (control->getValue() == 1.0f) run_command(command);
            return;
        default:
            if (command < static_cast<uint32_t>(kParamCount)) ui_editor_base::valueChanged(control);
    }
}

void ui_editor::run_command(uint32_t command) {
    switch (command) {
        case ID_GAIN_UP_1:
            set_param_clamped(ID_GAIN, current_param(ID_GAIN) + 1.0f);
            break;
        case ID_GAIN_DOWN_1:
            set_param_clamped(ID_GAIN, current_param(ID_GAIN) - 1.0f);
            break;
        case ID_GAIN_UP_TENTH:
            set_param_clamped(ID_GAIN, static_cast<float>(static_cast<double>(current_param(ID_GAIN)) + 0.1));
            break;
        case ID_GAIN_DOWN_TENTH:
            set_param_clamped(ID_GAIN, static_cast<float>(static_cast<double>(current_param(ID_GAIN)) - 0.1));
            break;
        case ID_RMS_DOUBLE:
            set_param_clamped(ID_RMS_WINDOW, current_param(ID_RMS_WINDOW) * 2.0f);
            break;
        case ID_RMS_HALF:
            set_param_clamped(ID_RMS_WINDOW, current_param(ID_RMS_WINDOW) * 0.5f);
            break;
        case ID_PRESET_20:
            apply_preset(true);
            break;
        case ID_PRESET_12:
            apply_preset(false);
            break;
        case ID_SETTINGS:
            if (current_page == PAGE_MAIN)
                show_page(PAGE_SETTINGS);
            else if (current_page == PAGE_SETTINGS)
                show_page(PAGE_MAIN);
            break;
        case ID_LOUDNESS:
            show_page(current_page == PAGE_LOUDNESS ? PAGE_MAIN : PAGE_LOUDNESS);
            break;
        default:
            break;
    }
}

// The whole preset is one gesture: one click, one undo step.
void ui_editor::apply_preset(bool minus20) {
    const preset_row* rows = preset_table();
    param_edit edits[kPresetRows];
    for (uint32_t i = 0; i < kPresetRows; ++i)
        edits[i] = {static_cast<int>(rows[i].id & kTagIdMask), minus20 ? rows[i].minus20 : rows[i].minus12};
    set_params_clamped(edits, kPresetRows);
}

}  // namespace b2
