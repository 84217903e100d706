// The engine's banks, event handling and block loop.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "engine/engine.h"
#include "engine/param_table.h"
#include "engine/value_format.h"
#include "tests/test_support.h"

using namespace b2;

namespace {

using b2test::EnginePtr;

struct RecordingAdapter : host_adapter {
    struct Call {
        char what;
        int id;
        double value;
    };
    std::vector<Call> calls;
    void begin_edit(int id) override { calls.push_back({'b', id, 0}); }
    void perform_edit(int id, double v) override { calls.push_back({'p', id, v}); }
    void end_edit(int id) override { calls.push_back({'e', id, 0}); }
};

engine_event& add_event(engine* e, int32_t kind, int32_t offset, int32_t source = 0) {
    engine_event* ev = append_event(e->in_events);
    *ev = engine_event{};
    ev->kind = kind;
    ev->sample_offset = offset;
    ev->source_index = source;
    return *ev;
}

void add_param(engine* e, int id, double value, int32_t offset) {
    add_event(e, EV_PARAM_CHANGE, offset).channel = static_cast<int16_t>(id);
    e->in_events.items[e->in_events.count - 1].value = value;
}

void add_note_on(engine* e, int32_t offset, int32_t id, int16_t pitch = 60) {
    engine_event& ev = add_event(e, EV_NOTE_ON, offset);
    ev.on_note_id = id;
    ev.pitch = pitch;
    ev.channel = 1;
    ev.velocity = 0.5;
    ev.value = 12.0;
}

void add_note_off(engine* e, int32_t offset, int32_t id) {
    add_event(e, EV_NOTE_OFF, offset).off_note_id = id;
}

// Runs `frames` of a constant signal through the engine (in blocks of 64).
void run_constant(engine* e, int frames, float level = 0.5f) {
    std::vector<float> l(64, level), r(64, level);
    float* in[2] = {l.data(), r.data()};
    for (int done = 0; done < frames; done += 64) {
        std::vector<float> ol(64), orr(64);
        float* out[2] = {ol.data(), orr.data()};
        process_block(e, in, out, 64);
    }
}

}  // namespace

TEST(EngineCreation, LoadsDefaultsIntoGlobalAndEditorBanksWithFlags) {
    EnginePtr e(create_engine(nullptr));
    ASSERT_TRUE(e);
    for (int id = 0; id < kParamCount; ++id) {
        const float def = param_def(id)->defaultValue;
        EXPECT_EQ(e->banks[BANK_GLOBAL][id].get(), def) << id;
        EXPECT_EQ(e->banks[BANK_EDITOR][id].get(), def) << id;
        EXPECT_TRUE(e->banks[BANK_GLOBAL][id].is_changed()) << id;
        EXPECT_TRUE(e->banks[BANK_EDITOR][id].is_changed()) << id;
        EXPECT_FALSE(e->banks[BANK_PENDING][id].is_changed()) << id;
    }
    EXPECT_EQ(e->dirty.load(), 1);
    EXPECT_EQ(global_value(e.get(), ID_RMS_WINDOW), 300.0f);
}

TEST(EngineBanks, WritesSetFlagsAndRejectBadIds) {
    EnginePtr e(create_engine(nullptr));
    clear_change_flags(e.get());
    clear_editor_flags(e.get());
    set_global_value(e.get(), ID_GAIN, 6.0f);
    EXPECT_EQ(global_value(e.get(), ID_GAIN), 6.0f);
    EXPECT_EQ(e->banks[BANK_EDITOR][ID_GAIN].get(), 6.0f);
    EXPECT_TRUE(e->banks[BANK_GLOBAL][ID_GAIN].is_changed());
    EXPECT_TRUE(e->banks[BANK_EDITOR][ID_GAIN].is_changed());
    EXPECT_EQ(e->dirty.load(), 1);

    clear_editor_flags(e.get());
    for (int id = 0; id < kParamCount; ++id) EXPECT_FALSE(e->banks[BANK_EDITOR][id].is_changed());

    // Out-of-range ids and banks never index the store.
    set_slot(e.get(), BANK_GLOBAL, 31, 1.0f);
    set_slot(e.get(), 7, ID_GAIN, 1.0f);
    set_slot(e.get(), -1, ID_GAIN, 1.0f);
    set_global_value(e.get(), -3, 1.0f);
    EXPECT_EQ(global_value(e.get(), 31), 0.0f);
    EXPECT_EQ(global_value(e.get(), ID_GAIN), 6.0f);
}

TEST(EngineBanks, BlobSizeIsFixedByFirstAssignment) {
    value_slot slot;
    const uint8_t a[4] = {1, 2, 3, 4}, b[4] = {5, 6, 7, 8}, c[3] = {9, 9, 9};
    assign_blob(slot, 4, a);
    assign_blob(slot, 3, c);  // other size: skipped
    ASSERT_EQ(slot.blob_size, 4u);
    EXPECT_EQ(slot.blob_data[2], 3);
    assign_blob(slot, 4, b);
    EXPECT_EQ(slot.blob_data[2], 7);
    std::free(slot.blob_data);
}

TEST(EngineEdits, ForwardToAdapterWithNormalisedValue) {
    RecordingAdapter adapter;
    EnginePtr e(create_engine(&adapter));
    begin_edit(e.get(), ID_GAIN);
    perform_edit(e.get(), ID_GAIN, 0.0f);
    end_edit(e.get(), ID_GAIN);
    perform_edit(e.get(), 40, 1.0f);  // ignored
    ASSERT_EQ(adapter.calls.size(), 3u);
    EXPECT_EQ(adapter.calls[0].what, 'b');
    EXPECT_EQ(adapter.calls[1].what, 'p');
    EXPECT_EQ(adapter.calls[1].id, ID_GAIN);
    EXPECT_DOUBLE_EQ(adapter.calls[1].value, 0.5);
    EXPECT_EQ(adapter.calls[2].what, 'e');

    EnginePtr bare(create_engine(nullptr));
    perform_edit(bare.get(), ID_GAIN, 1.0f);  // no adapter: nothing happens
}

TEST(EventLists, FixedRoomReservedOnceAndFreeRecordsReused) {
    event_list list;
    EXPECT_EQ(append_event(list), nullptr);  // no storage: nothing is allocated on demand
    EXPECT_EQ(acquire_event(list), nullptr);
    ASSERT_TRUE(reserve_events(list, 3));
    EXPECT_FALSE(reserve_events(list, 8));  // reserved once
    EXPECT_EQ(list.capacity, 3);
    engine_event* first = append_event(list);
    ASSERT_EQ(first, list.items);
    EXPECT_EQ(first->in_use, 0);  // fresh storage is zero-filled
    first->in_use = 1;
    engine_event* second = append_event(list);
    second->in_use = 0;
    EXPECT_EQ(acquire_event(list), second);
    second->in_use = 1;
    EXPECT_EQ(acquire_event(list), &list.items[2]);  // none free: appended
    EXPECT_EQ(append_event(list), nullptr);          // full
    EXPECT_EQ(list.count, 3);
    clear_events(list);
    EXPECT_EQ(append_event(list), list.items);
    free_events(list);

    EnginePtr e(create_engine(nullptr));  // an engine's lists are ready before any call
    EXPECT_EQ(e->in_events.capacity, kInEventCapacity);
    EXPECT_EQ(e->out_events.capacity, kOutEventCapacity);
}

TEST(EventLists, SortByOffsetThenKindThenSource) {
    event_list list;
    ASSERT_TRUE(reserve_events(list, 8));
    const int32_t rows[][3] = {{20, 3, 1}, {20, 1, 0}, {4, 3, 0}, {20, 0, 5}, {20, 3, 0}, {-1, 3, 0}};
    for (auto& s : rows) {
        engine_event* ev = append_event(list);
        ev->sample_offset = s[0];
        ev->kind = s[1];
        ev->source_index = s[2];
    }
    sort_events(list);
    const int32_t want[][3] = {{-1, 3, 0}, {4, 3, 0}, {20, 0, 5}, {20, 1, 0}, {20, 3, 0}, {20, 3, 1}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(list.items[i].sample_offset, want[i][0]) << i;
        EXPECT_EQ(list.items[i].kind, want[i][1]) << i;
        EXPECT_EQ(list.items[i].source_index, want[i][2]) << i;
    }
    free_events(list);
}

TEST(EngineEvents, ParameterChangeAppliesAtItsSubBlockAndFlagLivesOneSubBlock) {
    EnginePtr e(b2test::make_engine());
    run_constant(e.get(), 48000);  // gain settled at 0 dB
    clear_events(e->in_events);
    add_param(e.get(), ID_GAIN, 6.0, 20);

    dispatch_events(e.get(), 0, 15);
    EXPECT_FALSE(e->banks[BANK_GLOBAL][ID_GAIN].is_changed());
    dispatch_events(e.get(), 16, 31);
    EXPECT_TRUE(e->banks[BANK_GLOBAL][ID_GAIN].is_changed());
    EXPECT_TRUE(e->banks[BANK_EDITOR][ID_GAIN].is_changed());
    EXPECT_EQ(global_value(e.get(), ID_GAIN), 6.0f);
    clear_change_flags(e.get());
    EXPECT_FALSE(e->banks[BANK_GLOBAL][ID_GAIN].is_changed());
    EXPECT_TRUE(e->banks[BANK_EDITOR][ID_GAIN].is_changed());  // the editor clears its own
    EXPECT_EQ(e->dirty.load(), 0);
    dispatch_events(e.get(), 32, 47);  // not applied twice
    EXPECT_FALSE(e->banks[BANK_GLOBAL][ID_GAIN].is_changed());
}

TEST(EngineEvents, GainChangeAtOffset20StartsMovingAtSample16) {
    EnginePtr e(b2test::make_engine());
    run_constant(e.get(), 48000);
    clear_events(e->in_events);
    set_global_value(e.get(), ID_GAIN, 0.0f);
    add_param(e.get(), ID_GAIN, 6.0, 20);
    std::vector<float> in(64, 0.5f), out_l(64), out_r(64);
    float* ins[2] = {in.data(), in.data()};
    float* outs[2] = {out_l.data(), out_r.data()};
    process_block(e.get(), ins, outs, 64);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(out_l[i], 0.5f, 1e-6f) << i;
    EXPECT_GT(out_l[16], 0.5f + 1e-3f);
    EXPECT_GT(out_r[16], 0.5f + 1e-3f);
    EXPECT_FALSE(e->banks[BANK_GLOBAL][ID_GAIN].is_changed());
}

TEST(EngineEvents, SameSlotTwiceInOneSubBlockKeepsTheLastValue) {
    EnginePtr e(b2test::make_engine());
    clear_change_flags(e.get());
    add_param(e.get(), ID_RMS_WINDOW, 100.0, 3);
    add_param(e.get(), ID_RMS_WINDOW, 200.0, 3);
    sort_events(e->in_events);
    dispatch_events(e.get(), 0, 15);
    EXPECT_EQ(global_value(e.get(), ID_RMS_WINDOW), 200.0f);
    EXPECT_TRUE(e->banks[BANK_GLOBAL][ID_RMS_WINDOW].is_changed());
}

TEST(EngineEvents, OutOfRangeSlotsAreNotAppliedNegativeOffsetsAreAppliedFirst) {
    EnginePtr e(b2test::make_engine());
    add_param(e.get(), 40, 1.0, 0);
    add_param(e.get(), -2, 1.0, 0);
    process_block(e.get(), nullptr, nullptr, 64);
    EXPECT_EQ(global_value(e.get(), ID_GAIN), 0.0f);
    clear_events(e->in_events);
    add_param(e.get(), ID_GAIN, 9.0, -5);  // before the call: applied in its first cell
    process_block(e.get(), nullptr, nullptr, 64);
    EXPECT_EQ(global_value(e.get(), ID_GAIN), 9.0f);
}

TEST(EngineVoices, NoteOnTakesThreeFreeBanksAndNoteOffReleasesThem) {
    EnginePtr e(b2test::make_engine());
    add_note_on(e.get(), 0, 7, 64);
    process_block(e.get(), nullptr, nullptr, 16);
    for (int v = 0; v < 3; ++v) {
        EXPECT_EQ(e->banks[v][ID_VOICE_STATE].get(), 1.0f) << v;
        EXPECT_EQ(e->banks[v][ID_VOICE_STACK].get(), static_cast<float>(v));
        EXPECT_EQ(e->banks[v][ID_VOICE_ID].get(), 7.0f);
        EXPECT_EQ(e->banks[v][ID_VOICE_PITCH].get(), 64.0f);
        EXPECT_EQ(e->banks[v][ID_VOICE_CHANNEL].get(), 1.0f);
        EXPECT_EQ(e->banks[v][ID_VOICE_TUNING].get(), 12.0f);
        EXPECT_EQ(e->banks[v][ID_VOICE_VELOCITY].get(), 0.5f);
        EXPECT_EQ(e->banks[v][ID_RMS_WINDOW].get(), 300.0f);  // copied from the global bank
        EXPECT_EQ(e->banks[v][ID_VOICE_NEW].get(), 0.0f);     // lasted one sub-block
    }
    EXPECT_EQ(e->banks[3][ID_VOICE_STATE].get(), 0.0f);

    // A parameter change reaches active voices only.
    clear_events(e->in_events);
    add_param(e.get(), ID_GAIN, 3.0, 0);
    process_block(e.get(), nullptr, nullptr, 16);
    EXPECT_EQ(e->banks[0][ID_GAIN].get(), 3.0f);
    EXPECT_EQ(e->banks[3][ID_GAIN].get(), 0.0f);  // free voice: untouched

    clear_events(e->in_events);
    add_note_on(e.get(), 16, 8);  // takes the last free bank; other passes find none
    add_note_on(e.get(), 32, 9);  // nothing free: changes nothing
    process_block(e.get(), nullptr, nullptr, 48);
    EXPECT_EQ(e->banks[3][ID_GAIN].get(), 3.0f);  // copied from the global bank
    EXPECT_EQ(e->banks[3][ID_VOICE_ID].get(), 8.0f);
    EXPECT_EQ(e->banks[3][ID_VOICE_STACK].get(), 0.0f);

    clear_events(e->in_events);
    add_note_off(e.get(), 0, 7);
    process_block(e.get(), nullptr, nullptr, 16);
    for (int v = 0; v < 3; ++v) {
        EXPECT_EQ(e->banks[v][ID_VOICE_STATE].get(), 0.0f) << v;
        EXPECT_EQ(e->banks[v][ID_VOICE_ID].get(), 0.0f) << v;
    }
    EXPECT_EQ(e->banks[3][ID_VOICE_STATE].get(), 1.0f);
}

TEST(EngineVoices, NoteOffBeforeNoteOnAtTheSameOffset) {
    EnginePtr e(b2test::make_engine());
    add_note_on(e.get(), 5, 3);  // appended first, sorted after the note off
    add_note_off(e.get(), 5, 3);
    process_block(e.get(), nullptr, nullptr, 16);
    EXPECT_EQ(e->banks[0][ID_VOICE_STATE].get(), 1.0f);
    EXPECT_EQ(e->banks[0][ID_VOICE_ID].get(), 3.0f);
}

TEST(EnginePending, EditsReachAllBanksAtTheNextCallEvenWithZeroSamples) {
    EnginePtr e(b2test::make_engine());
    process_block(e.get(), nullptr, nullptr, 16);
    clear_editor_flags(e.get());
    e->banks[BANK_PENDING][ID_PEAK_FALL].put(1000.0f);
    process_block(e.get(), nullptr, nullptr, 0);
    EXPECT_EQ(global_value(e.get(), ID_PEAK_FALL), 1000.0f);
    EXPECT_EQ(e->banks[BANK_EDITOR][ID_PEAK_FALL].get(), 1000.0f);
    EXPECT_TRUE(e->banks[BANK_EDITOR][ID_PEAK_FALL].is_changed());
    EXPECT_FALSE(e->banks[BANK_PENDING][ID_PEAK_FALL].is_changed());
    // No sub-block ran, so the global flag is still up for the next one.
    EXPECT_TRUE(e->banks[BANK_GLOBAL][ID_PEAK_FALL].is_changed());
}

TEST(EngineSampleRate, SetupWritesRateSlotsAndRaisesReset) {
    EnginePtr e(b2test::make_engine(44100.0f));
    EXPECT_EQ(global_value(e.get(), ID_SAMPLE_RATE), 44100.0f);
    EXPECT_EQ(global_value(e.get(), ID_SAMPLE_RATE_OVER), 44100.0f);
    EXPECT_EQ(global_value(e.get(), ID_GLOBAL_RESET), 2.0f);
    EXPECT_TRUE(e->banks[BANK_GLOBAL][ID_GLOBAL_RESET].is_changed());
    set_slot(e.get(), BANK_GLOBAL, ID_SAMPLE_RATE_HOST, 96000.0f);
    apply_sample_rate(e.get(), false);  // without force: nothing
    EXPECT_EQ(global_value(e.get(), ID_SAMPLE_RATE), 44100.0f);
}

// The count goes down once per call, at the call's first cell start, so the
// cell in which it reads 1 completes (and the detectors redraw the scales)
// before the next call can lower it: a parameter flush of 0 samples or a call
// that ends mid-cell cannot make the detectors miss it.
TEST(EngineEditorCountdown, TheDetectorsSeeOneWhateverTheCalls) {
    EnginePtr e(b2test::make_engine());
    process_block(e.get(), nullptr, nullptr, 16);  // the defaults' redraw
    for (auto& s : e->strips) s.detector.snapshot.scaleChanged = 0;

    e->editor_countdown = 2;
    process_block(e.get(), nullptr, nullptr, 0);
    EXPECT_EQ(e->editor_countdown.load(), 2);
    process_block(e.get(), nullptr, nullptr, 8);
    EXPECT_EQ(e->editor_countdown.load(), 1);
    EXPECT_EQ(e->strips[0].detector.snapshot.scaleChanged.load(), 0);  // the cell is not complete
    process_block(e.get(), nullptr, nullptr, 8);
    EXPECT_EQ(e->editor_countdown.load(), 1);
    EXPECT_EQ(e->strips[0].detector.snapshot.scaleChanged.load(), 1);
    EXPECT_EQ(e->strips[1].detector.snapshot.scaleChanged.load(), 1);
    process_block(e.get(), nullptr, nullptr, 32);
    EXPECT_EQ(e->editor_countdown.load(), 0);
    process_block(e.get(), nullptr, nullptr, 32);
    EXPECT_EQ(e->editor_countdown.load(), 0);
}
