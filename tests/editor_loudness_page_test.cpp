// The loudness page in the editor: the switch from the main page and back,
// the readings in its readouts and bars with the target's colours, its
// buttons and choosers into the loudness stage, the settings the host loads,
// and the bars' fall while no audio arrives.
#include <atomic>
#include <cmath>
#include <thread>

#include "editor_support.h"
#include "tests/counting_new.h"
#include "engine/loudness_stage.h"
#include "engine/loudness_targets.h"
#include "views/meter_segment.h"
#include "views/text_button_mod.h"
#include "vstgui/lib/controls/coptionmenu.h"
#include "vstgui/lib/controls/csegmentbutton.h"
#include "vstgui/lib/cviewcontainer.h"

namespace {

constexpr double kPi = 3.14159265358979323846;  // M_PI is not standard C++ (MinGW lacks it)
using namespace editortest;
using b2::LoudnessSettings;
using b2::LoudnessView;

LoudnessView programme() {
    LoudnessView v;
    v.momentary = -19.5, v.momentaryMax = -14.2;
    v.shortTerm = -22.6, v.shortTermMax = -20.1;
    v.integrated = -23.04, v.range = 6.43;
    v.truePeakDbtp[0] = -0.4, v.truePeakDbtp[1] = -2.35;
    v.integratedSeconds = 3725.9;
    v.integrating = true;
    return v;
}

class LoudnessPageTest : public EditorTest {
protected:
    double now = 0.0;
    LoudnessView reading = programme();
    int readings_left = 1 << 30;  // how many more ticks find a new reading

    void SetUp() override {
        EditorTest::SetUp();
        // Each test starts from the default settings, whatever the stage kept.
        b2::set_loudness_settings(engine(), LoudnessSettings{});
        editor->set_meter_clock([this] { return now; });
        editor->set_loudness_source([this](LoudnessView& out) {
            if (readings_left <= 0) return false;
            --readings_left;
            out = reading;
            return true;
        });
        ASSERT_TRUE(open());
        tick();
    }

    CControl* widget(uint32_t kind, uint32_t id) const {
        CControl* c = find(kind, id);
        EXPECT_NE(c, nullptr) << std::hex << (kind | id);
        return c;
    }
    CColor colour(uint32_t kind, uint32_t id) const {
        auto* label = dynamic_cast<CTextLabel*>(find(kind, id));
        return label ? label->getFontColor() : CColor(0, 0, 0, 0);
    }
    std::string readout(uint32_t id) const { return label_text(b2::UI_READOUT, id); }
    const b2::MeterSnapshot& bar(uint32_t id) const {
        return dynamic_cast<CMeterSegment*>(widget(b2::UI_METER, id))->snapshot;
    }
    // A click at a share of a view's width (segment buttons).
    void click_across(CControl* control, double share) {
        const CRect r = control->getViewSize();
        CPoint p(r.left + r.getWidth() * share, r.getCenter().y);
        frame()->getTransform().transform(p);
        CButtonState left(kLButton);
        frame()->onMouseDown(p, left);
        frame()->onMouseUp(p, left);
    }
    void choose_target(int index) {
        auto* menu = dynamic_cast<COptionMenu*>(widget(b2::UI_OPTION_MENU, b2::ID_LOUD_TARGET));
        menu->setValue(static_cast<float>(index));  // what the menu does with the user's choice
        menu->valueChanged();
    }
    void show_loudness_page() {
        click(widget(b2::UI_TEXT_BUTTON, b2::ID_LOUDNESS));
        ASSERT_EQ(editor->get_current_page(), b2::PAGE_LOUDNESS);
    }
};

TEST_F(LoudnessPageTest, OneClickToThePageAndOneBackWithTheMainPageUntouched) {
    // The switch sits in free space of the main page: over none of its views.
    CControl* to_page = widget(b2::UI_TEXT_BUTTON, b2::ID_LOUDNESS);
    ASSERT_NE(to_page, nullptr);
    EXPECT_EQ(to_page->getParentView(), editor->page(b2::PAGE_MAIN));
    EXPECT_EQ(to_page->getViewSize(), CRect(146, 16, 204, 30));
    const b2::ui_element* records = editor->element_records();
    for (uint32_t i = 0; i < b2::kBaseLayoutRecords; ++i) {
        if (records[i].page != b2::PAGE_MAIN) continue;
        CRect overlap = records[i].rect;
        EXPECT_TRUE(overlap.bound(to_page->getViewSize()).isEmpty()) << "overlaps record " << i;
    }
    // Every view of the main page stays where its record puts it.
    for (uint32_t i = 0; i < b2::kBaseLayoutRecords; ++i) {
        if (records[i].kind == b2::UI_IMAGE) continue;  // sized by its picture
        const b2::ui_element& r = b2::element_table()[i];
        EXPECT_EQ(records[i].view->getViewSize(), CRect(r.x, r.y, r.x + r.w, r.y + r.h)) << "record " << i;
    }

    show_loudness_page();
    EXPECT_TRUE(frame()->isChild(editor->page(b2::PAGE_LOUDNESS)));
    EXPECT_FALSE(frame()->isChild(editor->page(b2::PAGE_MAIN)));
    // The status line serves this page too, at its place.
    CControl* status = editor->find_view(b2::UI_STATUS);
    EXPECT_TRUE(editor->page(b2::PAGE_LOUDNESS)->isChild(status));
    hover(widget(b2::UI_READOUT, b2::ID_LOUD_INTEGRATED));
    EXPECT_EQ(status_text(), "Integrated Loudness");

    click(widget(b2::UI_KICK_BUTTON, b2::ID_LOUDNESS));
    EXPECT_EQ(editor->get_current_page(), b2::PAGE_MAIN);
    // Closing with the page shown and opening again: the main page, the
    // status line on every page again.
    show_loudness_page();
    view->removed();
    ASSERT_TRUE(open());
    EXPECT_EQ(editor->get_current_page(), b2::PAGE_MAIN);
    EXPECT_TRUE(editor->page(b2::PAGE_LOUDNESS)->isChild(editor->find_view(b2::UI_STATUS)));
}

TEST_F(LoudnessPageTest, ReadoutsShowTheReadingJudgedAgainstTheTarget) {
    // EBU R128: -23 LUFS +/- 0.5 LU, true peak at most -1 dBTP.
    EXPECT_EQ(readout(b2::ID_LOUD_INTEGRATED), "-23.0");
    EXPECT_EQ(colour(b2::UI_READOUT, b2::ID_LOUD_INTEGRATED), b2::palette::kLow) << "within the tolerance";
    EXPECT_EQ(readout(b2::ID_LOUD_RANGE), "6.4");
    EXPECT_EQ(readout(b2::ID_LOUD_PEAK_LEFT), "-0.40");
    EXPECT_EQ(colour(b2::UI_READOUT, b2::ID_LOUD_PEAK_LEFT), b2::palette::kClip) << "over the ceiling";
    EXPECT_EQ(readout(b2::ID_LOUD_PEAK_RIGHT), "-2.35");
    EXPECT_EQ(colour(b2::UI_READOUT, b2::ID_LOUD_PEAK_RIGHT), b2::palette::kText);
    EXPECT_EQ(readout(b2::ID_LOUD_PLR), "22.6");  // -0.4 - -23.04
    EXPECT_EQ(readout(b2::ID_LOUD_TIME), "1:02:05");
    EXPECT_EQ(label_text(b2::UI_LABEL, b2::ID_LOUD_STATE), "Integrating");
    EXPECT_EQ(readout(b2::ID_LOUD_MOMENTARY_MAX), "-14.2");
    EXPECT_EQ(readout(b2::ID_LOUD_SHORT_TERM_MAX), "-20.1");
    // The maxima wear the colour of their place on the bar: above the
    // tolerance, the high colour.
    EXPECT_EQ(colour(b2::UI_READOUT, b2::ID_LOUD_MOMENTARY_MAX), MeterColors::kHigh);
    // The bars: level and maximum, coloured from the target.
    EXPECT_FLOAT_EQ(bar(b2::ID_LOUD_MOMENTARY).rmsDb, -19.5f);
    EXPECT_FLOAT_EQ(bar(b2::ID_LOUD_MOMENTARY).heldRmsDb, -14.2f);
    EXPECT_FLOAT_EQ(bar(b2::ID_LOUD_SHORT_TERM).rmsDb, -22.6f);
    EXPECT_FLOAT_EQ(bar(b2::ID_LOUD_SHORT_TERM).rmsThresholds[b2::kHigh], -22.5f);
    EXPECT_FLOAT_EQ(bar(b2::ID_LOUD_SHORT_TERM).rmsThresholds[b2::kLow], -23.5f);

    // Streaming (-14 LUFS +/- 1, -1 dBTP): the same reading is far too quiet.
    choose_target(2);
    EXPECT_EQ(colour(b2::UI_READOUT, b2::ID_LOUD_INTEGRATED), b2::palette::kHigh);
    EXPECT_FLOAT_EQ(bar(b2::ID_LOUD_MOMENTARY).rmsThresholds[b2::kHigh], -13.0f);
    // "None" judges nothing.
    choose_target(b2::kLoudnessTargetNone);
    EXPECT_EQ(colour(b2::UI_READOUT, b2::ID_LOUD_INTEGRATED), b2::palette::kText);
    EXPECT_EQ(colour(b2::UI_READOUT, b2::ID_LOUD_PEAK_LEFT), b2::palette::kText);

    // Nothing measured yet reads "---", and no time.
    reading = LoudnessView{};
    reading.momentary = reading.shortTerm = reading.momentaryMax = reading.shortTermMax = -INFINITY;
    reading.integrated = reading.range = reading.truePeakDbtp[0] = reading.truePeakDbtp[1] = -INFINITY;
    tick();
    for (uint32_t id : {b2::ID_LOUD_INTEGRATED, b2::ID_LOUD_RANGE, b2::ID_LOUD_PEAK_LEFT, b2::ID_LOUD_PEAK_RIGHT,
                        b2::ID_LOUD_PLR, b2::ID_LOUD_MOMENTARY_MAX, b2::ID_LOUD_SHORT_TERM_MAX})
        EXPECT_EQ(readout(id), "---") << std::hex << id;
    EXPECT_EQ(readout(b2::ID_LOUD_TIME), "0:00:00");
    EXPECT_EQ(label_text(b2::UI_LABEL, b2::ID_LOUD_STATE), "Paused");
}

TEST_F(LoudnessPageTest, RelativeReadingCountsFromTheTarget) {
    show_loudness_page();
    click_across(widget(b2::UI_SEGMENT_BUTTON, b2::ID_LOUD_RELATIVE), 0.75);  // "LU"
    EXPECT_EQ(b2::loudness_settings(engine()).relative, 1);
    EXPECT_EQ(readout(b2::ID_LOUD_INTEGRATED), "0.0") << "-0.04 LU";
    EXPECT_EQ(readout(b2::ID_LOUD_MOMENTARY_MAX), "8.8");
    EXPECT_EQ(label_text(b2::UI_LABEL, b2::ID_LOUD_UNIT), "LU");
    EXPECT_EQ(label_text(b2::UI_LABEL, b2::ID_LOUD_BAR_UNIT), "LU");
    EXPECT_FLOAT_EQ(dynamic_cast<CMeterSegment*>(widget(b2::UI_METER, b2::ID_LOUD_SCALE))->snapshot.scaleZero, -23.0f);
    // Figures that are not loudness keep their units.
    EXPECT_EQ(readout(b2::ID_LOUD_PEAK_LEFT), "-0.40");
    EXPECT_EQ(readout(b2::ID_LOUD_RANGE), "6.4");
    // Without a target loudness there is nothing to count from: LUFS.
    choose_target(b2::kLoudnessTargetNone);
    EXPECT_EQ(readout(b2::ID_LOUD_INTEGRATED), "-23.0");
    EXPECT_EQ(label_text(b2::UI_LABEL, b2::ID_LOUD_UNIT), "LUFS");
    click_across(widget(b2::UI_SEGMENT_BUTTON, b2::ID_LOUD_RELATIVE), 0.25);  // "LUFS"
    EXPECT_EQ(b2::loudness_settings(engine()).relative, 0);
}

TEST_F(LoudnessPageTest, ChoosersAndSwitchesChangeTheStagesSettings) {
    show_loudness_page();
    LoudnessSettings s = b2::loudness_settings(engine());
    choose_target(3);
    EXPECT_EQ(b2::loudness_settings(engine()).target, 3);
    click_across(widget(b2::UI_SEGMENT_BUTTON, b2::ID_LOUD_MODE), 0.75);  // "Transport"
    EXPECT_EQ(b2::loudness_settings(engine()).mode, b2::LOUDNESS_TRANSPORT);
    CControl* play_reset = widget(b2::UI_TEXT_BUTTON, b2::ID_LOUD_PLAY_RESET);
    EXPECT_FLOAT_EQ(play_reset->getAlphaValue(), 1.0f) << "it matters in Transport mode";
    const uint8_t before = b2::loudness_settings(engine()).resetOnPlay;
    click(play_reset);
    EXPECT_EQ(b2::loudness_settings(engine()).resetOnPlay, before ? 0 : 1);
    click(play_reset);
    EXPECT_EQ(b2::loudness_settings(engine()).resetOnPlay, before);
    click_across(widget(b2::UI_SEGMENT_BUTTON, b2::ID_LOUD_MODE), 0.25);  // "Always"
    s = b2::loudness_settings(engine());
    EXPECT_EQ(s.mode, b2::LOUDNESS_ALWAYS);
    EXPECT_EQ(s.target, 3) << "each control changes only its own setting";
    EXPECT_LT(play_reset->getAlphaValue(), 1.0f) << "shown as not in use";

    // Settings the host loads (another state) show on the next tick.
    s.target = 1;
    s.mode = b2::LOUDNESS_TRANSPORT;
    s.resetOnPlay = 1;
    s.relative = 1;
    b2::set_loudness_settings(engine(), s);
    tick();
    EXPECT_EQ(dynamic_cast<COptionMenu*>(widget(b2::UI_OPTION_MENU, b2::ID_LOUD_TARGET))->getCurrentIndex(), 1);
    EXPECT_EQ(dynamic_cast<CSegmentButton*>(widget(b2::UI_SEGMENT_BUTTON, b2::ID_LOUD_MODE))->getSelectedSegment(), 1u);
    EXPECT_EQ(dynamic_cast<CSegmentButton*>(widget(b2::UI_SEGMENT_BUTTON, b2::ID_LOUD_RELATIVE))->getSelectedSegment(),
              1u);
    EXPECT_EQ(play_reset->getValue(), play_reset->getMax());
    // ATSC A/85 (-24 +/- 2): -23.04 is within; the reading counts from -24.
    EXPECT_EQ(readout(b2::ID_LOUD_INTEGRATED), "1.0");
    EXPECT_EQ(colour(b2::UI_READOUT, b2::ID_LOUD_INTEGRATED), b2::palette::kLow);
    // Showing them changed nothing.
    const LoudnessSettings after = b2::loudness_settings(engine());
    EXPECT_EQ(after.target, 1);
    EXPECT_EQ(after.mode, b2::LOUDNESS_TRANSPORT);
    EXPECT_EQ(after.resetOnPlay, 1);
    EXPECT_EQ(after.relative, 1);
}

TEST_F(LoudnessPageTest, PauseButtonNamesWhatItDoesAndFollowsTheAudioSide) {
    show_loudness_page();
    auto* pause = dynamic_cast<CTextButtonMod*>(widget(b2::UI_TEXT_BUTTON, b2::ID_LOUD_PAUSE));
    EXPECT_EQ(pause->getTitle(), "Pause");
    click(pause);
    EXPECT_EQ(pause->getTitle(), "Run");
    // A reading published before the audio side took the pause does not undo it.
    tick();
    EXPECT_EQ(pause->getTitle(), "Run");
    reading.userPaused = true;
    reading.integrating = false;
    tick();
    EXPECT_EQ(label_text(b2::UI_LABEL, b2::ID_LOUD_STATE), "Paused");
    // Run again from the audio side (another editor of the same instance).
    reading.userPaused = false;
    tick();
    EXPECT_EQ(pause->getTitle(), "Pause");
    EXPECT_EQ(pause->getValue(), pause->getMin());
    // Stopped by the transport, not by the user.
    LoudnessSettings s = b2::loudness_settings(engine());
    s.mode = b2::LOUDNESS_TRANSPORT;
    b2::set_loudness_settings(engine(), s);
    tick();
    EXPECT_EQ(label_text(b2::UI_LABEL, b2::ID_LOUD_STATE), "Paused: transport stopped");
}

TEST_F(LoudnessPageTest, WhileNoAudioArrivesThePageSaysSoAndTheBarsFall) {
    readings_left = 0;
    now = 100.0;
    tick();
    EXPECT_EQ(label_text(b2::UI_LABEL, b2::ID_LOUD_STATE), "Integrating") << "a short gap is no stall";
    now = 251.0;  // past the stall time at 48 kHz and 512-sample blocks (250 ms since the reading)
    tick();
    EXPECT_EQ(label_text(b2::UI_LABEL, b2::ID_LOUD_STATE), "No audio from the host");
    EXPECT_EQ(colour(b2::UI_LABEL, b2::ID_LOUD_STATE), b2::palette::kHigh);
    const float s0 = bar(b2::ID_LOUD_SHORT_TERM).rmsDb;
    EXPECT_NEAR(bar(b2::ID_LOUD_MOMENTARY).rmsDb, -19.5f, 0.05f) << "the fall starts from what was shown";
    now = 450.0;  // half the momentary window: 3 dB down
    tick();
    EXPECT_NEAR(bar(b2::ID_LOUD_MOMENTARY).rmsDb, -19.5f - 3.0103f, 0.01f);
    EXPECT_LT(bar(b2::ID_LOUD_SHORT_TERM).rmsDb, s0);
    EXPECT_GT(bar(b2::ID_LOUD_SHORT_TERM).rmsDb, s0 - 1.0f) << "the short-term window is 3 s";
    now = 651.0;
    tick();
    EXPECT_LE(bar(b2::ID_LOUD_MOMENTARY).rmsDb, -280.0f) << "the momentary window is empty";
    EXPECT_GT(bar(b2::ID_LOUD_SHORT_TERM).rmsDb, -280.0f);
    // The maxima and the figures stay.
    EXPECT_FLOAT_EQ(bar(b2::ID_LOUD_MOMENTARY).heldRmsDb, -14.2f);
    EXPECT_EQ(readout(b2::ID_LOUD_INTEGRATED), "-23.0");
    EXPECT_EQ(readout(b2::ID_LOUD_TIME), "1:02:05");
    // Audio again.
    readings_left = 1;
    now += 33.0;
    tick();
    EXPECT_EQ(label_text(b2::UI_LABEL, b2::ID_LOUD_STATE), "Integrating");
}

// The buttons reach the stage: its next publication after a process call
// shows the pause and the reset.
TEST_F(LoudnessPageTest, ResetAndPauseReachTheAudioSide) {
    editor->set_loudness_source(nullptr);  // the stage's own readings; this test takes them itself
    show_loudness_page();
    auto sine = [this](double seconds) {
        const int32_t n = 480;
        for (int32_t done = 0; done < static_cast<int32_t>(48000 * seconds); done += n) {
            b2test::Block block(n);
            for (int c = 0; c < 2; ++c)
                for (int32_t i = 0; i < n; ++i)
                    block.in[c][i] = 0.1f * static_cast<float>(std::sin(2.0 * kPi * 997.0 * (done + i) / 48000.0));
            adapter->process(block.data);
        }
    };
    sine(0.5);
    click(widget(b2::UI_TEXT_BUTTON, b2::ID_LOUD_RESET));
    sine(0.2);
    LoudnessView v;
    ASSERT_TRUE(b2::take_loudness_view(engine(), v)) << "a publication after the reset";
    EXPECT_LT(v.integratedSeconds, 0.35) << "integration started again";

    click(widget(b2::UI_TEXT_BUTTON, b2::ID_LOUD_PAUSE));
    sine(0.2);
    ASSERT_TRUE(b2::take_loudness_view(engine(), v));
    EXPECT_TRUE(v.userPaused);
    EXPECT_FALSE(v.integrating);
    click(widget(b2::UI_TEXT_BUTTON, b2::ID_LOUD_PAUSE));
    sine(0.2);
    ASSERT_TRUE(b2::take_loudness_view(engine(), v));
    EXPECT_FALSE(v.userPaused);
}

// A host's audio thread runs the plug-in from its first call while the
// loudness page is open and ticking, its buttons pressed and its settings
// changed: the audio thread allocates nothing, whatever the editor does.
TEST_F(LoudnessPageTest, AudioThreadAllocatesNothingWithThePageOpen) {
    editor->set_loudness_source(nullptr);  // the stage's own readings
    show_loudness_page();
    LoudnessSettings transport;
    transport.mode = b2::LOUDNESS_TRANSPORT;
    transport.resetOnPlay = 1;
    b2::set_loudness_settings(engine(), transport);
    // Everything the audio thread uses is made here, before it starts.
    constexpr int32_t kMax = 512;
    b2test::Block block(kMax);
    Steinberg::Vst::ProcessContext context{};
    context.sampleRate = 48000.0;
    block.data.processContext = &context;
    std::atomic<bool> done{false};
    unsigned long long audio_news = ~0ull;
    std::thread audio([&] {
        const unsigned long long before = b2test::news_on_this_thread();
        int64_t at = 0;
        for (int call = 0; call < 3000; ++call) {
            const int32_t n = 1 + (call * 7919) % kMax;  // every length, changing each call
            for (int c = 0; c < 2; ++c)
                for (int32_t i = 0; i < n; ++i)
                    block.in[c][i] = 0.1f * static_cast<float>(std::sin(2.0 * kPi * 997.0 * (at + i) / 48000.0));
            context.state = (call / 400) % 3 == 2 ? 0 : Steinberg::Vst::ProcessContext::kPlaying;
            context.projectTimeSamples = at;
            block.data.numSamples = n;
            adapter->process(block.data);
            at += n;
        }
        audio_news = b2test::news_on_this_thread() - before;
        done = true;
    });
    for (int t = 0; !done; ++t) {
        tick();
        if (t % 7 == 3) click(widget(b2::UI_TEXT_BUTTON, b2::ID_LOUD_RESET));
        if (t % 11 == 5) click(widget(b2::UI_TEXT_BUTTON, b2::ID_LOUD_PAUSE));
        if (t % 13 == 9) choose_target(t % b2::kLoudnessTargetCount);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    audio.join();
    EXPECT_EQ(audio_news, 0u) << "the audio thread allocated";
    // The stage measured all along: about 16 s of audio, 100 ms steps.
    process(4800);
    LoudnessView v;
    ASSERT_TRUE(b2::take_loudness_view(engine(), v));
    EXPECT_GT(v.steps, 150u);
}

}  // namespace
