// The status line and the meters: what the view under the mouse says, status
// messages and their countdown, and the meter snapshots reaching the views.
#include "editor_support.h"
#include "engine/engine.h"
#include "engine/services.h"
#include "engine/value_format.h"
#include "views/meter_segment.h"

namespace {
using namespace editortest;

class StatusTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        ASSERT_TRUE(open());
    }
    // What the script's status-message service does.
    void post_message(const char* text, uint32_t ms) {
        b2::run_service(b2::SERVICES_EDITOR, engine(), b2::SERVICE_STATUS_MESSAGE,
                        reinterpret_cast<uintptr_t>(text), ms, 0, 0);
    }
    void status_tick() {
        b2::run_service(b2::SERVICES_EDITOR, engine(), b2::SERVICE_STATUS_TICK, 0,
                        reinterpret_cast<uintptr_t>(static_cast<b2::ui_editor_base*>(editor)), 0, 0);
    }
};

TEST_F(StatusTest, NamesTheViewUnderTheMouseWithItsValue) {
    hover(find(b2::UI_VSLIDER, b2::ID_GAIN));
    EXPECT_EQ(status_text(), "Input Gain: 0.0 dB");
    hover(find(b2::UI_METER, b2::ID_RMS_LEFT));
    EXPECT_EQ(status_text(), "RMS Level dB") << "a label without %s ignores the value";
    hover(find(b2::UI_TEXT_BUTTON, b2::ID_K_FILTER));
    EXPECT_EQ(status_text(), "ITU BS.1770 K-Weight: Off");
    hover_at(CPoint(60, 600));  // empty page: no view, no text
    EXPECT_EQ(status_text(), "");

    click(find(b2::UI_KICK_BUTTON, b2::ID_SETTINGS));
    hover(find(b2::UI_LABEL, b2::ID_PEAK_FALL));
    EXPECT_EQ(status_text(), "Peak Time to fall -20dB: 300 ms");
    hover(find(b2::UI_LABEL, b2::ID_CONTACT));
    EXPECT_EQ(status_text(), "") << "an empty label";

    // Without label and parameter the record names its tag.
    b2::ui_element* contact = nullptr;
    for (uint32_t i = 0; i < editor->element_records_size(); ++i)
        if (editor->element_records()[i].id == b2::ID_CONTACT) contact = &editor->element_records()[i];
    ASSERT_NE(contact, nullptr);
    contact->label = nullptr;
    hover(contact->view);
    EXPECT_EQ(status_text(), "[0x72001]: 0.000");
    // Without label but with a parameter: its name.
    b2::ui_element& row = editor->element_records()[46];
    row.label = nullptr;
    hover(row.view);
    EXPECT_EQ(status_text(), "Peak Fall: 300 ms");
}

TEST_F(StatusTest, TheWheelUpdatesTheStatusLineBeforeTheViewsGetIt) {
    CControl* slider = find(b2::UI_VSLIDER, b2::ID_GAIN);
    hover(find(b2::UI_METER, b2::ID_RMS_LEFT));
    ASSERT_EQ(status_text(), "RMS Level dB");
    const float before = slider->getValueNormalized();
    EXPECT_TRUE(frame()->onWheel(window_point(slider), kMouseWheelAxisY, 1.0f, CButtonState()));
    EXPECT_EQ(status_text(), "Input Gain: 0.0 dB") << "names the slider with its value before the step";
    EXPECT_GT(slider->getValueNormalized(), before) << "the wheel still reaches the slider";
    ASSERT_FALSE(handler.performs().empty());
    EXPECT_EQ(handler.performs().back().id, static_cast<unsigned>(b2::ID_GAIN));
}

TEST_F(StatusTest, KeepsDescribingTheViewWhereTheButtonWentDown) {
    CControl* slider = find(b2::UI_VSLIDER, b2::ID_GAIN);
    CPoint p = window_point(slider);
    frame()->onMouseDown(p, CButtonState(kLButton));
    hover(find(b2::UI_METER, b2::ID_PEAK_LEFT), CButtonState(kLButton));
    EXPECT_EQ(status_text().rfind("Input Gain: ", 0), 0u) << status_text();
    frame()->onMouseUp(p, CButtonState(kLButton));
    hover(find(b2::UI_METER, b2::ID_PEAK_LEFT));
    EXPECT_EQ(status_text(), "Peak Level dB");
}

TEST_F(StatusTest, AStatusMessageLastsItsTimeAndHidesHoverText) {
    static const char kMessage[] = "Preset applied";
    post_message(kMessage, 5000);
    EXPECT_FLOAT_EQ(engine()->status_time, 5000.0f);
    hover(find(b2::UI_VSLIDER, b2::ID_GAIN));
    EXPECT_EQ(status_text(), kMessage);

    for (int i = 0; i < 151; ++i) status_tick();
    EXPECT_EQ(status_text(), kMessage) << "5000 ms is a little over 151 ticks of 33 ms";
    hover(find(b2::UI_METER, b2::ID_RMS_LEFT));
    EXPECT_EQ(status_text(), kMessage);
    status_tick();
    EXPECT_EQ(status_text(), "");
    EXPECT_LE(engine()->status_time, 0.0f);

    status_tick();  // nothing left to count
    hover(find(b2::UI_METER, b2::ID_RMS_LEFT));
    EXPECT_EQ(status_text(), "RMS Level dB");
}

// ---- meters ---------------------------------------------------------------------

b2::MeterSnapshot& snapshot(b2::engine* e, int channel) { return e->strips[channel].detector.snapshot; }

void publish(b2::MeterSnapshot& s, float held_peak, float scale_zero, float held_crest) {
    s.segmentHeight = 16;
    s.scaleTop = 0;
    s.scaleZero = scale_zero;
    s.peakThresholds[b2::kClip] = -4, s.peakThresholds[b2::kHigh] = -6, s.peakThresholds[b2::kLow] = -8;
    s.rmsThresholds[b2::kHigh] = -18, s.rmsThresholds[b2::kLow] = -20;
    s.crestThresholds[b2::kHigh] = 14, s.crestThresholds[b2::kLow] = 12;
    s.heldPeakDb = held_peak;
    s.peakDb = held_peak - 1;
    s.heldRmsDb = held_peak - 10;
    s.rmsDb = held_peak - 12;
    s.heldCrestDb = held_crest;
    s.crestDb = held_crest;
    s.ready.store(1);
}

TEST_F(StatusTest, MetersShowBothChannelsOfOnePublication) {
    auto* rms_left = dynamic_cast<CMeterSegment*>(find(b2::UI_METER, b2::ID_RMS_LEFT));
    ASSERT_NE(rms_left, nullptr);

    publish(snapshot(engine(), 0), -3.04f, -20.0f, 6.0f);
    tick();
    EXPECT_EQ(rms_left->snapshot.heldPeakDb, b2::kSilenceReadingDb) << "one channel alone changes nothing";
    EXPECT_EQ(label_text(b2::UI_READOUT, b2::ID_PEAK_HELD_LEFT), "---");
    EXPECT_EQ(snapshot(engine(), 0).ready.load(), 1);

    publish(snapshot(engine(), 1), -250.0f, 0.0f, -2.0f);
    tick();
    for (uint32_t c = 0; c < 2; ++c) {
        for (uint32_t id : {b2::ID_RMS_LEFT + c, b2::ID_PEAK_LEFT + c, b2::ID_CREST_LEFT + c}) {
            auto* bar = dynamic_cast<CMeterSegment*>(find(b2::UI_METER, id));
            EXPECT_EQ(bar->snapshot.heldPeakDb, snapshot(engine(), static_cast<int>(c)).heldPeakDb) << id;
        }
    }
    EXPECT_EQ(snapshot(engine(), 0).ready.load(), 0);
    EXPECT_EQ(snapshot(engine(), 1).ready.load(), 0);

    // Held values relative to the scale's zero; crest values absolute.
    EXPECT_EQ(label_text(b2::UI_READOUT, b2::ID_PEAK_HELD_LEFT), "17.0");
    EXPECT_EQ(label_text(b2::UI_READOUT, b2::ID_RMS_HELD_LEFT), "7.0");
    EXPECT_EQ(label_text(b2::UI_READOUT, b2::ID_CREST_HELD_LEFT), "6.0");
    EXPECT_EQ(label_text(b2::UI_READOUT, b2::ID_PEAK_HELD_RIGHT), "---");
    EXPECT_EQ(label_text(b2::UI_READOUT, b2::ID_CREST_HELD_RIGHT), "-2.0");
    // Coloured by the ladder at the held value.
    auto colour = [&](uint32_t id) { return dynamic_cast<CTextLabel*>(find(b2::UI_READOUT, id))->getFontColor(); };
    EXPECT_EQ(colour(b2::ID_PEAK_HELD_LEFT), MeterColors::kClip) << "-3.04 is above the clip threshold -4";
    EXPECT_EQ(colour(b2::ID_RMS_HELD_LEFT), MeterColors::kHigh) << "-13.04 is above the RMS high threshold -18";
    EXPECT_EQ(colour(b2::ID_CREST_HELD_LEFT), MeterColors::kNormal) << "6 is below the crest low threshold 12";
    EXPECT_EQ(colour(b2::ID_CREST_HELD_RIGHT), MeterColors::kUnlitSegment) << "negative crest";

    // The scales show channel 1's scale; its flags are taken when both
    // channels have raised them.
    auto* level_scale = dynamic_cast<CMeterSegment*>(find(b2::UI_METER, b2::ID_LEVEL_SCALE));
    EXPECT_EQ(level_scale->snapshot.scaleZero, -20.0f);
    snapshot(engine(), 0).scaleChanged.store(1);
    tick();
    EXPECT_EQ(snapshot(engine(), 0).scaleChanged.load(), 1);
    snapshot(engine(), 1).scaleChanged.store(1);
    tick();
    EXPECT_EQ(level_scale->snapshot.scaleZero, -20.0f);
    for (uint32_t id : {b2::ID_GAIN_SCALE, b2::ID_CREST_SCALE})
        EXPECT_EQ(dynamic_cast<CMeterSegment*>(find(b2::UI_METER, id))->snapshot.segmentHeight, 16.0f);
    EXPECT_EQ(snapshot(engine(), 0).scaleChanged.load(), 0);
    EXPECT_EQ(snapshot(engine(), 1).scaleChanged.load(), 0);

    // A scale value that reaches the snapshots after its flags were taken
    // still reaches the scales with the next publication.
    publish(snapshot(engine(), 0), -3.04f, -12.0f, 6.0f);
    publish(snapshot(engine(), 1), -3.04f, -12.0f, 6.0f);
    tick();
    EXPECT_EQ(level_scale->snapshot.scaleZero, -12.0f);
}

TEST_F(StatusTest, AudioReachesTheMetersThroughTheEngine) {
    // Real audio: the detectors publish, a tick takes the snapshots, the
    // next publication carries the settled levels.
    for (int i = 0; i < 20; ++i) process(512, 0.5f);
    tick();
    process(512, 0.5f);
    tick();
    auto* peak = dynamic_cast<CMeterSegment*>(find(b2::UI_METER, b2::ID_PEAK_LEFT));
    EXPECT_NEAR(peak->snapshot.heldPeakDb, -6.02f, 0.1f);
    EXPECT_EQ(snapshot(engine(), 0).ready.load(), 0);
    EXPECT_NE(label_text(b2::UI_READOUT, b2::ID_PEAK_HELD_LEFT), "");
}

}  // namespace
