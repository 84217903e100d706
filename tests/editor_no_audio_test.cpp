// The editor's own edits while the host does not process (a stopped audio
// engine, a host that never processes): step buttons and presets show on the
// next tick, the meters follow the scale settings, and the audio path takes
// the edits once, when it starts.
#include <cmath>

#include "editor_support.h"
#include "engine/engine.h"
#include "engine/value_format.h"
#include "views/meter_segment.h"

namespace {
using namespace editortest;

constexpr int kGain = b2::ID_GAIN;
constexpr int kWindow = b2::ID_RMS_WINDOW;

class NoAudioTest : public OpenEditorTest {
protected:
    CControl* button(uint32_t id) const { return find(b2::UI_TEXT_BUTTON, id); }
    // What the parameter's controls show: both carry the value, the entry as text.
    void expect_shown(int id, float plain) const {
        SCOPED_TRACE(id);
        const float normalized = b2::to_normalized(id, plain);
        for (uint32_t kind : {b2::UI_VSLIDER, b2::UI_HSLIDER, b2::UI_TEXT_EDIT}) {
            if (CControl* c = find(kind, static_cast<uint32_t>(id))) {
                EXPECT_FLOAT_EQ(c->getValueNormalized(), normalized);
            }
        }
        char text[b2::kTextSize];
        b2::format_value(id, plain, text);
        EXPECT_EQ(label_text(b2::UI_TEXT_EDIT, static_cast<uint32_t>(id)), text);
        EXPECT_EQ(b2::global_value(engine(), id), plain);
        EXPECT_FALSE(engine()->banks[b2::BANK_PENDING][id].is_changed());
    }
};

TEST_F(NoAudioTest, StepButtonsShowOnTheNextTickAndStepFromTheShownValue) {
    click(button(b2::ID_RMS_DOUBLE));
    tick();
    expect_shown(kWindow, 600.0f);
    click(button(b2::ID_RMS_DOUBLE));
    tick();
    expect_shown(kWindow, 1200.0f);

    click(button(b2::ID_GAIN_UP_1));
    tick();
    expect_shown(kGain, 1.0f);
    click(button(b2::ID_GAIN_DOWN_TENTH));
    tick();
    expect_shown(kGain, static_cast<float>(1.0 - 0.1));
}

TEST_F(NoAudioTest, APresetShowsEveryValueOnTheNextTick) {
    click(find(b2::UI_KICK_BUTTON, b2::ID_SETTINGS));
    ASSERT_EQ(editor->get_current_page(), b2::PAGE_SETTINGS);
    click(button(b2::ID_PRESET_12));
    tick();
    const int ids[] = {3, 4, 9, 10, 11, 6, 7, 12, 13, 15};
    const float minus12[] = {0, -12, 0, -2, -4, -8, -12, 12, 10, 22};
    for (int i = 0; i < 10; ++i) expect_shown(ids[i], minus12[i]);
}

// The meters of an editor that has never had audio are drawn on the settings
// as they are now: silence on the scale, and a changed scale reaches the
// scales and the bars.
TEST_F(NoAudioTest, TheMetersFollowTheSettings) {
    double now = 0.0;
    view->removed();
    editor->set_meter_clock([&now] { return now; });
    ASSERT_TRUE(open());
    auto* scale = dynamic_cast<CMeterSegment*>(find(b2::UI_METER, b2::ID_LEVEL_SCALE));
    auto* bar = dynamic_cast<CMeterSegment*>(find(b2::UI_METER, b2::ID_PEAK_RIGHT));
    ASSERT_TRUE(scale && bar);
    for (CMeterSegment* v : {scale, bar}) EXPECT_EQ(v->snapshot.segmentHeight, 16.0f);
    EXPECT_EQ(bar->snapshot.peakDb, b2::kSilenceReadingDb);
    EXPECT_EQ(label_text(b2::UI_READOUT, b2::ID_RMS_HELD_LEFT), "---");

    click(find(b2::UI_KICK_BUTTON, b2::ID_SETTINGS));
    click(button(b2::ID_PRESET_12));
    for (now = 33.0; now < 400.0; now += 33.0) tick();
    for (CMeterSegment* v : {scale, bar}) {
        EXPECT_EQ(v->snapshot.segmentHeight, 22.0f);
        EXPECT_EQ(v->snapshot.scaleZero, -12.0f);
    }
    EXPECT_EQ(bar->snapshot.peakThresholds[b2::kHigh], -2.0f);
    EXPECT_EQ(label_text(b2::UI_READOUT, b2::ID_PEAK_HELD_RIGHT), "---");
    editor->set_meter_clock(nullptr);
}

TEST_F(NoAudioTest, TheAudioPathTakesTheEditOnceWhenItStarts) {
    for (int i = 0; i < 6; ++i) {
        click(button(b2::ID_GAIN_UP_1));
        tick();
    }
    expect_shown(kGain, 6.0f);
    b2::clear_editor_flags(engine());

    // The first sub-block sees the change: the output carries the new gain.
    b2test::Block block(64, 0.25f);
    for (int i = 0; i < 100; ++i) adapter->process(block.data);
    EXPECT_NEAR(block.out[0][63], 0.25f * std::pow(10.0f, 6.0f / 20.0f), 1e-4f);
    EXPECT_NEAR(block.out[1][63], 0.25f * std::pow(10.0f, 6.0f / 20.0f), 1e-4f);
    // Not applied a second time: the editor bank did not hear of it again.
    EXPECT_FALSE(engine()->banks[b2::BANK_EDITOR][kGain].is_changed());
    EXPECT_FALSE(engine()->banks[b2::BANK_GLOBAL][kGain].is_changed());
    EXPECT_EQ(b2::global_value(engine(), kGain), 6.0f);
}

}  // namespace
