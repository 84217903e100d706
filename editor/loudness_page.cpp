#include "editor/loudness_page.h"

#include <cmath>
#include <limits>

#include "editor/loudness_figures.h"
#include "editor/ui_editor_base.h"
#include "engine/value_format.h"
#include "views/meter_segment.h"
#include "views/text_button_mod.h"
#include "vstgui/lib/cfont.h"
#include "vstgui/lib/controls/coptionmenu.h"
#include "vstgui/lib/controls/csegmentbutton.h"
#include "vstgui/lib/controls/ctextlabel.h"

namespace b2 {

using namespace VSTGUI;

namespace {

// The bars fall on silence as loudness does: the momentary window (400 ms)
// and the short-term window (3 s) fill with silence; their maxima stay
// until the user resets.
constexpr float kHeld = std::numeric_limits<float>::infinity();
const fall_times kBarFall[2] = {{1000.0f, 400.0f, kHeld}, {1000.0f, 3000.0f, kHeld}};

constexpr float kLargeFontSize = 28;
// "Reset on play" only matters while integrating with the transport.
constexpr float kUnusedAlpha = 0.5f;

bool same(const LoudnessSettings& a, const LoudnessSettings& b) {
    return a.mode == b.mode && a.resetOnPlay == b.resetOnPlay && a.target == b.target && a.relative == b.relative;
}

const CColor& verdict_colour(loudness_verdict v) {
    switch (v) {
        case loudness_verdict::within:
            return palette::kLow;
        case loudness_verdict::outside:
            return palette::kHigh;
        case loudness_verdict::over_ceiling:
            return palette::kClip;
        default:
            return palette::kText;
    }
}

// Nothing measured: every figure reads "---", no time has passed.
LoudnessView nothing_measured() {
    LoudnessView v;
    v.momentary = v.shortTerm = v.momentaryMax = v.shortTermMax = -INFINITY;
    v.integrated = v.range = v.truePeakDbtp[0] = v.truePeakDbtp[1] = -INFINITY;
    return v;
}

// Selects a segment without telling the listener (the setting is shown, not changed).
void select_segment(CSegmentButton* b, uint32_t index) {
    const size_t n = b->getSegments().size();
    if (n < 2 || index >= n) return;
    if (b->getSelectedSegment() == index) return;
    IControlListener* listener = b->getListener();
    b->setListener(nullptr);
    b->setSelectedSegment(index);
    b->setListener(listener);
    b->invalid();
}

}  // namespace

void loudness_page::style() {
    if (auto* menu = dynamic_cast<COptionMenu*>(editor.find_view(UI_OPTION_MENU | ID_LOUD_TARGET)))
        for (int i = 0; i < kLoudnessTargetCount; ++i) menu->addEntry(loudness_target(i).name);
    if (auto* integrated = dynamic_cast<CTextLabel*>(editor.find_view(UI_READOUT | ID_LOUD_INTEGRATED))) {
        auto font = makeOwned<CFontDesc>(*kNormalFontSmall);
        font->setSize(kLargeFontSize);
        integrated->setFont(font);
    }
}

void loudness_page::start(double now) {
    shown = nothing_measured();
    have_reading = false;
    no_audio = false;
    settings = current_settings();
    bars[0] = bars[1] = loudness_bar(-INFINITY, -INFINITY, settings);
    fall.start(bars, now);
    show_settings(settings);
    show_pause(false);
}

bool loudness_page::take(LoudnessView& out) {
    if (from) return from(out);
    engine* e = editor.get_engine();
    return e && take_loudness_view(e, out);
}

LoudnessSettings loudness_page::current_settings() const {
    const engine* e = editor.get_engine();
    return e ? loudness_settings(e) : LoudnessSettings{};
}

void loudness_page::refresh(double now, double stall_ms) {
    const LoudnessSettings s = current_settings();
    if (!same(s, settings)) show_settings(s);
    LoudnessView v;
    MeterSnapshot next[2];
    if (take(v)) {
        // The button follows the audio side's pause when it changes there;
        // an older reading does not undo a click made since.
        if (!have_reading || v.userPaused != shown.userPaused) show_pause(v.userPaused);
        shown = v;
        have_reading = true;
        no_audio = false;
        next[0] = loudness_bar(v.momentary, v.momentaryMax, settings);
        next[1] = loudness_bar(v.shortTerm, v.shortTermMax, settings);
        fall.arrived(next, now, kBarFall);
    } else if (fall.fallen(now, stall_ms, kBarFall, next)) {
        no_audio = true;
        for (MeterSnapshot& b : next) apply_loudness_display(b, settings);
    } else {
        return;
    }
    show_bars(next);
    show_figures();
}

bool loudness_page::control_changed(uint32_t command, CControl* control) {
    LoudnessSettings s = settings;
    engine* e = editor.get_engine();
    switch (command) {
        case ID_LOUD_RESET:
            // A kick reports its maximum and then its minimum: act once.
            if (e && control->getValue() == control->getMax()) request_loudness_reset(e);
            return true;
        case ID_LOUD_PAUSE: {
            const bool paused = control->getValue() == control->getMax();
            if (e) request_loudness_pause(e, paused);
            show_pause(paused);
            return true;
        }
        case ID_LOUD_MODE:
        case ID_LOUD_RELATIVE:
            if (auto* b = dynamic_cast<CSegmentButton*>(control)) {
                const uint8_t index = b->getSelectedSegment() == 1 ? 1 : 0;
                (command == ID_LOUD_MODE ? s.mode : s.relative) = index;
                change_settings(s);
            }
            return true;
        case ID_LOUD_PLAY_RESET:
            s.resetOnPlay = control->getValue() == control->getMax() ? 1 : 0;
            change_settings(s);
            return true;
        case ID_LOUD_TARGET:
            if (auto* menu = dynamic_cast<COptionMenu*>(control)) {
                const int32_t index = menu->getCurrentIndex();
                if (index >= 0 && index < kLoudnessTargetCount) s.target = static_cast<uint8_t>(index);
                change_settings(s);
            }
            return true;
        default:
            return false;
    }
}

void loudness_page::change_settings(const LoudnessSettings& s) {
    if (engine* e = editor.get_engine()) set_loudness_settings(e, s);
    show_settings(s);
}

// The controls, the bars' colours and scale, the units and the verdicts for
// `s`.
void loudness_page::show_settings(const LoudnessSettings& s) {
    settings = s;
    if (auto* menu = dynamic_cast<COptionMenu*>(editor.find_view(UI_OPTION_MENU | ID_LOUD_TARGET))) {
        if (menu->getCurrentIndex() != s.target) {
            menu->setValue(s.target);
            menu->invalid();
        }
    }
    if (auto* b = dynamic_cast<CSegmentButton*>(editor.find_view(UI_SEGMENT_BUTTON | ID_LOUD_MODE)))
        select_segment(b, s.mode == LOUDNESS_TRANSPORT ? 1 : 0);
    if (auto* b = dynamic_cast<CSegmentButton*>(editor.find_view(UI_SEGMENT_BUTTON | ID_LOUD_RELATIVE)))
        select_segment(b, s.relative ? 1 : 0);
    if (CControl* b = editor.find_view(UI_TEXT_BUTTON | ID_LOUD_PLAY_RESET)) {
        const float value = s.resetOnPlay ? b->getMax() : b->getMin();
        if (b->getValue() != value) {
            b->setValue(value);
            b->invalid();
        }
        b->setAlphaValue(s.mode == LOUDNESS_TRANSPORT ? 1.0f : kUnusedAlpha);
    }
    const char* unit = reads_relative(s) ? "LU" : "LUFS";
    show_text(UI_LABEL | ID_LOUD_UNIT, unit, palette::kText);
    show_text(UI_LABEL | ID_LOUD_BAR_UNIT, unit, palette::kText);
    if (auto* scale = dynamic_cast<CMeterSegment*>(editor.find_view(UI_METER | ID_LOUD_SCALE))) {
        scale->snapshot = loudness_bar(-INFINITY, -INFINITY, s);
        scale->setDirty(true);
    }
    MeterSnapshot redrawn[2] = {bars[0], bars[1]};
    for (MeterSnapshot& b : redrawn) apply_loudness_display(b, s);
    show_bars(redrawn);
    show_figures();
}

void loudness_page::show_pause(bool paused) {
    auto* b = dynamic_cast<CTextButtonMod*>(editor.find_view(UI_TEXT_BUTTON | ID_LOUD_PAUSE));
    if (!b) return;
    const float value = paused ? b->getMax() : b->getMin();
    if (b->getValue() != value) b->setValue(value);
    // The caption names what a click does.
    b->setTitle(paused ? "Run" : "Pause");
}

void loudness_page::show_bars(const MeterSnapshot next[2]) {
    const uint32_t ids[2] = {ID_LOUD_MOMENTARY, ID_LOUD_SHORT_TERM};
    for (int i = 0; i < 2; ++i) {
        bars[i] = next[i];
        auto* view = dynamic_cast<CMeterSegment*>(editor.find_view(UI_METER | ids[i]));
        if (!view) continue;
        const MeterSnapshot& was = view->snapshot;
        const bool moves = was.rmsDb != next[i].rmsDb || was.heldRmsDb != next[i].heldRmsDb ||
                           was.rmsThresholds[kHigh] != next[i].rmsThresholds[kHigh] ||
                           was.rmsThresholds[kLow] != next[i].rmsThresholds[kLow] ||
                           was.segmentHeight != next[i].segmentHeight;
        view->snapshot = next[i];
        if (moves) view->setDirty(true);
    }
}

void loudness_page::show_figures() {
    const LoudnessTarget& target = loudness_target(settings.target);
    const double reference = loudness_reference(settings);
    char text[kTextSize];

    format_loudness(shown.integrated - reference, text);
    show_text(UI_READOUT | ID_LOUD_INTEGRATED, text, verdict_colour(judge_integrated(shown.integrated, target)));
    format_loudness(shown.range, text);
    show_text(UI_READOUT | ID_LOUD_RANGE, text, palette::kText);
    const uint32_t peaks[2] = {ID_LOUD_PEAK_LEFT, ID_LOUD_PEAK_RIGHT};
    for (int c = 0; c < 2; ++c) {
        format_true_peak(shown.truePeakDbtp[c], text);
        show_text(UI_READOUT | peaks[c], text, verdict_colour(judge_true_peak(shown.truePeakDbtp[c], target)));
    }
    format_loudness(peak_to_loudness(shown), text);
    show_text(UI_READOUT | ID_LOUD_PLR, text, palette::kText);
    format_duration(shown.integratedSeconds, text);
    show_text(UI_READOUT | ID_LOUD_TIME, text, palette::kText);
    show_text(UI_LABEL | ID_LOUD_STATE, integration_state(shown, settings, no_audio),
              no_audio ? palette::kHigh : palette::kText);

    // The maxima in the colour of their place on the bar, as the meter's
    // held values.
    const struct {
        uint32_t id, bar;
        double max;
    } maxima[2] = {{ID_LOUD_MOMENTARY_MAX, ID_LOUD_MOMENTARY, shown.momentaryMax},
                   {ID_LOUD_SHORT_TERM_MAX, ID_LOUD_SHORT_TERM, shown.shortTermMax}};
    for (const auto& m : maxima) {
        format_loudness(m.max - reference, text);
        auto* bar = dynamic_cast<CMeterSegment*>(editor.find_view(UI_METER | m.bar));
        const bool figure = std::isfinite(m.max) && m.max > kSilenceReadingDb;
        const CColor colour =
            bar && figure ? bar->getLevelColor(static_cast<float>(m.max), kRmsLadder) : palette::kText;
        show_text(UI_READOUT | m.id, text, colour);
    }
}

// Only a label whose look changes is marked for redrawing.
void loudness_page::show_text(uint32_t tag, const char* text, const CColor& colour) {
    auto* label = dynamic_cast<CTextLabel*>(editor.find_view(tag));
    if (!label || (label->getText() == text && label->getFontColor() == colour)) return;
    label->setFontColor(colour);
    label->setText(text);
    label->setDirty(true);
}

}  // namespace b2
