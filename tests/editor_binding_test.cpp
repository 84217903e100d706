// The controls and the engine: host changes reaching the controls, user edits
// reaching the host, the step and preset buttons, the page switch and the
// text entries.
#include <cmath>

#include "editor_support.h"
#include "engine/engine.h"
#include "engine/value_format.h"
#include "pluginterfaces/base/keycodes.h"
#include "vstgui/lib/controls/ctextedit.h"
#include "vstgui/lib/cviewcontainer.h"
#include "vstgui/lib/platform/iplatformtextedit.h"

namespace {
using namespace editortest;

constexpr int kGain = b2::ID_GAIN;
constexpr int kWindow = b2::ID_RMS_WINDOW;

class BindingTest : public OpenEditorTest {
protected:
    // The engine takes what the editor left pending, then the host sets a
    // plain value the way it does: normalised, through the controller.
    void host_sets(int id, float plain) {
        process();
        adapter->setParamNormalized(static_cast<Steinberg::Vst::ParamID>(id), b2::to_normalized(id, plain));
    }
    float pending(int id) const { return engine()->banks[b2::BANK_PENDING][id].get(); }
    CControl* button(uint32_t id) const { return find(b2::UI_TEXT_BUTTON, id); }
    void to_settings() {
        click(find(b2::UI_KICK_BUTTON, b2::ID_SETTINGS));
        ASSERT_EQ(editor->get_current_page(), b2::PAGE_SETTINGS);
    }
    // Opens a parameter's text entry with a click and replaces its text by `typed`.
    CTextEdit* type_into(int id, const std::string& typed) {
        auto* entry = dynamic_cast<CTextEdit*>(find(b2::UI_TEXT_EDIT, static_cast<uint32_t>(id)));
        if (!entry) return nullptr;
        click(entry);
        view->onKeyDown('a', 0, Steinberg::kCommandKey);
        for (char c : typed) view->onKeyDown(c, 0, 0);
        return entry;
    }
    static std::string typed_text(CTextEdit* entry) {
        auto platform = entry->getPlatformTextEdit();
        return platform ? platform->getText().getString() : std::string("<closed>");
    }
    // The kinds of the recorded gestures in order: "bpe" is begin, perform, end.
    std::string gesture_kinds() const {
        std::string kinds;
        for (auto& e : handler.edits) kinds += e.kind;
        return kinds;
    }
};

TEST_F(BindingTest, HostChangeMovesBothGainControls) {
    CControl* slider = find(b2::UI_VSLIDER, kGain);
    CControl* entry = find(b2::UI_TEXT_EDIT, kGain);
    EXPECT_FLOAT_EQ(slider->getValueNormalized(), 0.5f) << "build shows the defaults";
    EXPECT_EQ(label_text(b2::UI_TEXT_EDIT, kGain), "0.0 dB");

    adapter->setParamNormalized(kGain, 0.75);
    EXPECT_TRUE(engine()->banks[b2::BANK_EDITOR][kGain].is_changed());
    tick();
    EXPECT_FLOAT_EQ(slider->getValueNormalized(), 0.75f);
    EXPECT_FLOAT_EQ(entry->getValueNormalized(), 0.75f);
    EXPECT_EQ(label_text(b2::UI_TEXT_EDIT, kGain), "30.0 dB");
    for (int id = 0; id < b2::kParamCount; ++id) EXPECT_FALSE(engine()->banks[b2::BANK_EDITOR][id].is_changed());
}

TEST_F(BindingTest, AControlBeingDraggedKeepsTheUsersValue) {
    CControl* slider = find(b2::UI_VSLIDER, kGain);
    CControl* entry = find(b2::UI_TEXT_EDIT, kGain);
    // Press on the slider: its own gesture goes to the host as begin/end.
    CPoint p = window_point(slider);
    frame()->onMouseDown(p, CButtonState(kLButton));
    ASSERT_TRUE(slider->isEditing());
    const float held = slider->getValueNormalized();

    adapter->setParamNormalized(kGain, 0.25);
    tick();
    EXPECT_FLOAT_EQ(slider->getValueNormalized(), held) << "dragged control skipped";
    EXPECT_FLOAT_EQ(entry->getValueNormalized(), 0.25f) << "the other control follows";

    p.y -= 40;  // drag up
    frame()->onMouseMoved(p, CButtonState(kLButton));
    frame()->onMouseUp(p, CButtonState(kLButton));
    EXPECT_FALSE(slider->isEditing());
    tick();
    EXPECT_NE(slider->getValueNormalized(), 0.25f) << "the change during the drag is not applied later";

    ASSERT_GE(handler.edits.size(), 3u);
    EXPECT_EQ(handler.edits.front().kind, 'b');
    EXPECT_EQ(handler.edits.front().id, static_cast<unsigned>(kGain));
    EXPECT_EQ(handler.edits.back().kind, 'e');
    ASSERT_FALSE(handler.performs().empty());
    EXPECT_EQ(handler.performs().back().id, static_cast<unsigned>(kGain));
    EXPECT_NEAR(handler.performs().back().value, slider->getValueNormalized(), 1e-6);
    // The editor wrote no bank: the host's echo does that.
    EXPECT_FALSE(engine()->banks[b2::BANK_PENDING][kGain].is_changed());
}

TEST_F(BindingTest, AHostValueArrivingDuringADragShowsWhenTheDragEnds) {
    CControl* slider = find(b2::UI_VSLIDER, kGain);
    CControl* entry = find(b2::UI_TEXT_EDIT, kGain);
    CPoint p = window_point(slider);
    frame()->onMouseDown(p, CButtonState(kLButton));
    p.y -= 40;
    frame()->onMouseMoved(p, CButtonState(kLButton));  // the user's value first
    const float dragged = slider->getValueNormalized();
    ASSERT_NE(dragged, 0.5f);

    adapter->setParamNormalized(kGain, 0.25);  // then the host's
    tick();
    EXPECT_FLOAT_EQ(slider->getValueNormalized(), dragged) << "nothing jumps under the mouse";
    EXPECT_FLOAT_EQ(entry->getValueNormalized(), 0.25f);

    frame()->onMouseUp(p, CButtonState(kLButton));
    tick();
    EXPECT_FLOAT_EQ(slider->getValueNormalized(), 0.25f) << "the newer host value once the drag ends";
    EXPECT_EQ(gesture_kinds().front(), 'b');
    EXPECT_EQ(gesture_kinds().back(), 'e');
}

TEST_F(BindingTest, EditorOwnedValuesWaitForTheEngineToTakeThePendingOne) {
    // No parameter of the table is editor-owned; give the gain slider's record one.
    static b2::ParamDef owned_gain = *b2::param_def(kGain);
    owned_gain.flags |= b2::PF_UI_WRITE;
    b2::ui_element& record = editor->element_records()[0];
    ASSERT_EQ(record.id, static_cast<uint32_t>(kGain));
    record.param = &owned_gain;
    CControl* slider = record.view;

    b2::set_slot(engine(), b2::BANK_PENDING, kGain, -7.0f);  // an unconsumed change
    slider->setValueNormalized(0.8f);
    slider->valueChanged();
    EXPECT_EQ(record.edited, 1);
    EXPECT_EQ(handler.performs().size(), 1u) << "still a host parameter";

    // The push alone: a tick takes the pending bank first (as the block loop
    // may at any time), so the slot is busy only between the two.
    editor->push_edited_values();
    EXPECT_EQ(record.edited, 1) << "waits while the slot is taken";
    EXPECT_FLOAT_EQ(pending(kGain), -7.0f);

    tick();  // takes the -7, then pushes
    EXPECT_EQ(record.edited, 0);
    EXPECT_EQ(b2::global_value(engine(), kGain), -7.0f);
    EXPECT_TRUE(engine()->banks[b2::BANK_PENDING][kGain].is_changed());
    EXPECT_FLOAT_EQ(pending(kGain), b2::to_plain(kGain, 0.8f));
    tick();
    EXPECT_FLOAT_EQ(b2::global_value(engine(), kGain), b2::to_plain(kGain, 0.8f));
}

TEST_F(BindingTest, GainStepsClampAtTheEndAndReportAgain) {
    host_sets(kGain, 59.5f);
    click(button(b2::ID_GAIN_UP_1));
    EXPECT_FLOAT_EQ(pending(kGain), 60.0f);
    process();
    click(button(b2::ID_GAIN_UP_1));
    auto performs = handler.performs();
    ASSERT_EQ(performs.size(), 2u) << "one report per click";
    for (auto& p : performs) {
        EXPECT_EQ(p.id, static_cast<unsigned>(kGain));
        EXPECT_DOUBLE_EQ(p.value, 1.0);
    }

    host_sets(kGain, -59.5f);
    click(button(b2::ID_GAIN_DOWN_1));
    EXPECT_FLOAT_EQ(pending(kGain), -60.0f);
}

TEST_F(BindingTest, TenthStepsAddUpInFloat) {
    float expected = 0.0f;
    for (int i = 0; i < 5; ++i) {
        click(button(b2::ID_GAIN_UP_TENTH));
        process();
        expected = static_cast<float>(static_cast<double>(expected) + 0.1);
    }
    EXPECT_EQ(b2::global_value(engine(), kGain), expected);
    EXPECT_NEAR(expected, 0.5f, 1e-6f);
    click(button(b2::ID_GAIN_DOWN_TENTH));
    EXPECT_EQ(pending(kGain), static_cast<float>(static_cast<double>(expected) - 0.1));
}

TEST_F(BindingTest, TwoClicksBeforeTheEngineRunsBothCount) {
    // Each edit is the instance's value at once, so the second click starts
    // from the first one's value.
    click(button(b2::ID_GAIN_UP_1));
    click(button(b2::ID_GAIN_UP_1));
    EXPECT_FLOAT_EQ(pending(kGain), 2.0f);
}

TEST_F(BindingTest, RmsWindowDoublesAndHalvesWithinItsRange) {
    click(button(b2::ID_RMS_DOUBLE));
    EXPECT_FLOAT_EQ(pending(kWindow), 600.0f);
    host_sets(kWindow, 2000.0f);
    click(button(b2::ID_RMS_DOUBLE));
    EXPECT_FLOAT_EQ(pending(kWindow), 3000.0f);
    host_sets(kWindow, 10.0f);
    click(button(b2::ID_RMS_HALF));
    EXPECT_FLOAT_EQ(pending(kWindow), 10.0f);
    ASSERT_FALSE(handler.performs().empty());
    EXPECT_NEAR(handler.performs().back().value, b2::to_normalized(kWindow, 10.0f), 1e-7);
}

// Hosts record automation and undo only inside a gesture: every click of a
// step button is begin, value, end of its parameter.
TEST_F(BindingTest, EveryStepClickIsOneGesture) {
    const std::pair<uint32_t, int> steps[] = {
        {b2::ID_GAIN_UP_1, kGain},   {b2::ID_GAIN_UP_TENTH, kGain}, {b2::ID_GAIN_DOWN_TENTH, kGain},
        {b2::ID_GAIN_DOWN_1, kGain}, {b2::ID_RMS_DOUBLE, kWindow},  {b2::ID_RMS_HALF, kWindow},
    };
    for (auto [command, id] : steps) {
        SCOPED_TRACE(command);
        handler.edits.clear();
        click(button(command));
        EXPECT_EQ(gesture_kinds(), "bpe");
        for (auto& e : handler.edits) EXPECT_EQ(e.id, static_cast<unsigned>(id));
        process();
    }
}

TEST_F(BindingTest, AStepButtonReleasedOutsideDoesNothing) {
    CControl* up = button(b2::ID_GAIN_UP_1);
    CPoint p = window_point(up);
    frame()->onMouseDown(p, CButtonState(kLButton));
    CPoint away(180, 300);
    frame()->onMouseMoved(away, CButtonState(kLButton));
    frame()->onMouseUp(away, CButtonState(kLButton));
    EXPECT_TRUE(handler.edits.empty());
    EXPECT_FALSE(engine()->banks[b2::BANK_PENDING][kGain].is_changed());
}

TEST_F(BindingTest, PresetsApplyTheirRowsInOrder) {
    to_settings();
    const int ids[] = {3, 4, 9, 10, 11, 6, 7, 12, 13, 15};
    const float minus20[] = {0, -20, 0, -4, -8, -16, -20, 14, 12, 16};
    const float minus12[] = {0, -12, 0, -2, -4, -8, -12, 12, 10, 22};
    for (auto [preset, values] : {std::pair{b2::ID_PRESET_20, minus20}, std::pair{b2::ID_PRESET_12, minus12}}) {
        handler.edits.clear();
        click(button(preset));
        // One gesture over all rows: every begin, every value, every end.
        ASSERT_EQ(gesture_kinds(), std::string(10, 'b') + std::string(10, 'p') + std::string(10, 'e'));
        for (int i = 0; i < 10; ++i) {
            SCOPED_TRACE(i);
            const auto& begin = handler.edits[i];
            const auto& perform = handler.edits[10 + i];
            const auto& end = handler.edits[20 + i];
            EXPECT_EQ(begin.id, static_cast<unsigned>(ids[i]));
            EXPECT_EQ(perform.id, static_cast<unsigned>(ids[i]));
            EXPECT_EQ(end.id, static_cast<unsigned>(ids[i]));
            EXPECT_NEAR(perform.value, b2::to_normalized(ids[i], values[i]), 1e-7);
            EXPECT_FLOAT_EQ(pending(ids[i]), values[i]);
        }
        process();
        EXPECT_FLOAT_EQ(b2::global_value(engine(), b2::ID_SCALE_ZERO), values[1]);
    }
}

TEST_F(BindingTest, TheKSwitchIsAParameterControl) {
    click(button(b2::ID_K_FILTER));
    ASSERT_EQ(handler.edits.size(), 3u);
    EXPECT_EQ(handler.edits[0].kind, 'b');
    EXPECT_EQ(handler.edits[1].kind, 'p');
    EXPECT_EQ(handler.edits[1].id, static_cast<unsigned>(b2::ID_K_FILTER));
    EXPECT_DOUBLE_EQ(handler.edits[1].value, 1.0);
    EXPECT_EQ(handler.edits[2].kind, 'e');
    click(button(b2::ID_K_FILTER));
    EXPECT_DOUBLE_EQ(handler.performs().back().value, 0.0);
}

TEST_F(BindingTest, TheSettingsButtonSwapsPagesAndTheStatusLineStaysOnBoth) {
    CControl* status = editor->find_view(b2::UI_STATUS);
    const CRect where = status->getViewSize();
    // The press on the gear names it in the status line, then the page switches.
    to_settings();
    EXPECT_TRUE(frame()->isChild(editor->page(b2::PAGE_SETTINGS)));
    EXPECT_FALSE(frame()->isChild(editor->page(b2::PAGE_MAIN)));
    EXPECT_TRUE(editor->page(b2::PAGE_SETTINGS)->isChild(status));
    EXPECT_EQ(status->getParentView(), editor->page(b2::PAGE_SETTINGS));
    EXPECT_EQ(status->getViewSize(), where);
    EXPECT_EQ(status_text(), "Meter Settings") << "keeps its text across the switch";

    hover(find(b2::UI_HSLIDER, b2::ID_SEGMENT_HEIGHT));
    EXPECT_EQ(status_text(), "Pixels per dB Segment: 16 px");

    click(editor->element_records()[11].view);  // the back button, same tag as the gear
    EXPECT_EQ(editor->get_current_page(), b2::PAGE_MAIN);
    EXPECT_EQ(status->getParentView(), editor->page(b2::PAGE_MAIN));
    EXPECT_EQ(status_text(), "Exit Settings");
}

TEST_F(BindingTest, TypingIntoTheGainEntryReportsThePlainValue) {
    auto* entry = dynamic_cast<CTextEdit*>(find(b2::UI_TEXT_EDIT, kGain));
    ASSERT_NE(entry, nullptr);
    CPoint p = window_point(entry);
    frame()->onMouseDown(p, CButtonState(kLButton));
    frame()->onMouseUp(p, CButtonState(kLButton));
    ASSERT_NE(entry->getPlatformTextEdit(), nullptr) << "the click opens the entry";
    // Select all, type -6 and Return: the keys reach the entry, not the host.
    EXPECT_EQ(view->onKeyDown('a', 0, Steinberg::kCommandKey), kResultTrue);
    for (char c : std::string("-6")) EXPECT_EQ(view->onKeyDown(c, 0, 0), kResultTrue);
    EXPECT_EQ(view->onKeyDown(0, Steinberg::KEY_RETURN, 0), kResultTrue);
    ASSERT_FALSE(handler.performs().empty());
    EXPECT_EQ(handler.performs().back().id, static_cast<unsigned>(kGain));
    EXPECT_NEAR(handler.performs().back().value, b2::to_normalized(kGain, -6.0f), 1e-7);
    EXPECT_EQ(label_text(b2::UI_TEXT_EDIT, kGain), "-6.0 dB");
    // Editing over: keys belong to the host again.
    EXPECT_EQ(entry->getPlatformTextEdit(), nullptr);
    EXPECT_EQ(view->onKeyDown('7', 0, 0), kResultFalse);
}

TEST_F(BindingTest, AResetClickSetsTheParametersDefault) {
    to_settings();
    CControl* clip = find(b2::UI_HSLIDER, b2::ID_PEAK_CLIP);
    host_sets(b2::ID_PEAK_CLIP, -30.0f);
    tick();
    ASSERT_FLOAT_EQ(clip->getValueNormalized(), b2::to_normalized(b2::ID_PEAK_CLIP, -30.0f));
    handler.edits.clear();

    CPoint p = window_point(clip);
    const CButtonState reset(kLButton | CControl::kDefaultValueModifier);
    frame()->onMouseDown(p, reset);
    frame()->onMouseUp(p, reset);
    const float want = b2::to_normalized(b2::ID_PEAK_CLIP, -4.0f);
    EXPECT_FLOAT_EQ(clip->getValueNormalized(), want);
    ASSERT_EQ(handler.performs().size(), 1u);
    EXPECT_EQ(handler.performs()[0].id, static_cast<unsigned>(b2::ID_PEAK_CLIP));
    EXPECT_NEAR(handler.performs()[0].value, want, 1e-6);
    EXPECT_EQ(handler.edits.front().kind, 'b');
    EXPECT_EQ(handler.edits.back().kind, 'e');

    // A skewed parameter: the RMS window's default is not the middle of its control.
    host_sets(kWindow, 2000.0f);
    tick();
    CControl* window = find(b2::UI_HSLIDER, kWindow);
    p = window_point(window);
    frame()->onMouseDown(p, reset);
    frame()->onMouseUp(p, reset);
    EXPECT_FLOAT_EQ(window->getValueNormalized(), b2::to_normalized(kWindow, 300.0f));
    EXPECT_NEAR(handler.performs().back().value, b2::to_normalized(kWindow, 300.0f), 1e-6);
}

TEST_F(BindingTest, AnOpenEntryKeepsWhatTheUserTypesAndACommitWins) {
    CTextEdit* entry = type_into(kGain, "-6");
    ASSERT_NE(entry, nullptr);
    ASSERT_EQ(typed_text(entry), "-6");

    adapter->setParamNormalized(kGain, 0.75);  // automation while the user types
    tick(2);
    EXPECT_EQ(typed_text(entry), "-6");
    EXPECT_FLOAT_EQ(entry->getValueNormalized(), 0.5f);
    EXPECT_FLOAT_EQ(find(b2::UI_VSLIDER, kGain)->getValueNormalized(), 0.75f) << "the slider follows";

    EXPECT_EQ(view->onKeyDown(0, Steinberg::KEY_RETURN, 0), kResultTrue);
    ASSERT_FALSE(handler.performs().empty());
    EXPECT_NEAR(handler.performs().back().value, b2::to_normalized(kGain, -6.0f), 1e-7);
    tick();
    EXPECT_EQ(label_text(b2::UI_TEXT_EDIT, kGain), "-6.0 dB") << "the older host value is not shown over it";

    // Later host changes reach the entry as before.
    adapter->setParamNormalized(kGain, 0.25);
    tick();
    EXPECT_EQ(label_text(b2::UI_TEXT_EDIT, kGain), "-30.0 dB");
}

TEST_F(BindingTest, AnEntryClosedUnchangedShowsTheHostValueThatArrivedMeanwhile) {
    auto* entry = dynamic_cast<CTextEdit*>(find(b2::UI_TEXT_EDIT, kGain));
    ASSERT_NE(entry, nullptr);
    click(entry);
    ASSERT_NE(entry->getPlatformTextEdit(), nullptr);

    adapter->setParamNormalized(kGain, 0.75);
    tick();
    EXPECT_EQ(typed_text(entry), "0.0 dB");
    EXPECT_FLOAT_EQ(entry->getValueNormalized(), 0.5f);

    EXPECT_EQ(view->onKeyDown(0, Steinberg::KEY_RETURN, 0), kResultTrue);  // nothing typed
    ASSERT_EQ(entry->getPlatformTextEdit(), nullptr);
    EXPECT_TRUE(handler.performs().empty());
    tick();
    EXPECT_FLOAT_EQ(entry->getValueNormalized(), 0.75f);
    EXPECT_EQ(label_text(b2::UI_TEXT_EDIT, kGain), "30.0 dB");
}

// Text without a finite number changes nothing: the entry shows the value
// again and the host receives no value (the toolkit's own begin and end
// around a commit may reach it empty).
TEST_F(BindingTest, UnreadableTextKeepsTheValue) {
    host_sets(kGain, 12.0f);
    tick();
    for (const char* text : {"x", "abc", "", "nan", "inf", "-inf", "1e39"}) {
        SCOPED_TRACE(text);
        CTextEdit* entry = type_into(kGain, text);
        ASSERT_NE(entry, nullptr);
        if (!*text) view->onKeyDown(0, Steinberg::KEY_BACK, 0);
        ASSERT_EQ(typed_text(entry), text);
        view->onKeyDown(0, Steinberg::KEY_RETURN, 0);
        ASSERT_EQ(entry->getPlatformTextEdit(), nullptr);
        EXPECT_TRUE(handler.performs().empty());
        EXPECT_FLOAT_EQ(entry->getValueNormalized(), b2::to_normalized(kGain, 12.0f));
        EXPECT_EQ(label_text(b2::UI_TEXT_EDIT, kGain), "12.0 dB");
        tick();
        EXPECT_EQ(label_text(b2::UI_TEXT_EDIT, kGain), "12.0 dB");
    }
    // Rows whose range does not hold 0 keep theirs too.
    auto type_x = [&](int id, const char* shown) {
        SCOPED_TRACE(id);
        CTextEdit* entry = type_into(id, "x");
        ASSERT_NE(entry, nullptr);
        ASSERT_EQ(typed_text(entry), "x");
        view->onKeyDown(0, Steinberg::KEY_RETURN, 0);
        EXPECT_TRUE(handler.performs().empty());
        EXPECT_EQ(label_text(b2::UI_TEXT_EDIT, static_cast<uint32_t>(id)), shown);
    };
    type_x(kWindow, "300 ms");
    to_settings();
    type_x(b2::ID_SEGMENT_HEIGHT, "16 px");
    // A number afterwards is reported as before.
    type_into(b2::ID_SEGMENT_HEIGHT, "20");
    view->onKeyDown(0, Steinberg::KEY_RETURN, 0);
    ASSERT_EQ(handler.performs().size(), 1u);
    EXPECT_NEAR(handler.performs()[0].value, b2::to_normalized(b2::ID_SEGMENT_HEIGHT, 20.0f), 1e-7);
}

TEST_F(BindingTest, AHostValueHeldForAnEntryOutlivesUnreadableText) {
    CTextEdit* entry = type_into(kGain, "x");
    ASSERT_NE(entry, nullptr);
    adapter->setParamNormalized(kGain, 0.75);
    tick();
    view->onKeyDown(0, Steinberg::KEY_RETURN, 0);
    tick();
    EXPECT_TRUE(handler.performs().empty());
    EXPECT_EQ(label_text(b2::UI_TEXT_EDIT, kGain), "30.0 dB");
}

TEST_F(BindingTest, TextConversionsUseTheParametersUnits) {
    auto* entry = dynamic_cast<CTextEdit*>(find(b2::UI_TEXT_EDIT, kWindow));
    entry->setText("1.5 s");
    EXPECT_FLOAT_EQ(entry->getValueNormalized(), b2::to_normalized(kWindow, 1500.0f));
    entry->setText("no number");  // keeps the value and shows it again
    EXPECT_FLOAT_EQ(entry->getValueNormalized(), b2::to_normalized(kWindow, 1500.0f));
    EXPECT_EQ(entry->getText().getString(), "1.50 s");
    entry->setText("-5");  // below the range: the control clamps
    EXPECT_FLOAT_EQ(entry->getValueNormalized(), 0.0f);
    EXPECT_EQ(entry->getText().getString(), "10.0 ms");
    // A listener other than the editor: the toolkit converts by itself.
    entry->setListener(nullptr);
    entry->setValue(0.25f);
    EXPECT_EQ(entry->getText().getString(), "0.25");
}

}  // namespace
