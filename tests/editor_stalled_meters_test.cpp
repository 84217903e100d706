// The meters when the host stops calling process: after a delay the bars fall
// as they would on silence, a host with slow big blocks never sees that fall,
// and the next real snapshot shows exactly. The editor's clock is driven by
// the test; a tick changes only the views whose look changes.
#include <algorithm>
#include <set>

#include "editor_support.h"
#include "editor/stalled_meters.h"
#include "engine/engine.h"
#include "engine/strip_wiring.h"
#include "engine/value_format.h"
#include "tests/meter_levels.h"
#include "views/meter_segment.h"

namespace {
using namespace editortest;

constexpr float kSilence = b2::kSilenceReadingDb;
const uint32_t kBars[] = {b2::ID_RMS_LEFT, b2::ID_PEAK_LEFT, b2::ID_CREST_LEFT,
                          b2::ID_RMS_RIGHT, b2::ID_PEAK_RIGHT, b2::ID_CREST_RIGHT};

class StalledMetersTest : public OpenEditorTest {
protected:
    double now = 0.0;

    void SetUp() override {
        OpenEditorTest::SetUp();
        editor->set_meter_clock([this] { return now; });
    }
    // One tick at time `ms`.
    void tick_at(double ms) {
        now = ms;
        tick();
    }
    const b2::MeterSnapshot& shown(uint32_t id) const {
        return static_cast<CMeterSegment*>(find(b2::UI_METER, id))->snapshot;
    }
    // The host plays `blocks` blocks of a constant level with no tick between
    // them, then the editor takes the snapshot of one more block at `at`.
    void play_then_take(int blocks, float level, double at, int32_t block = 512) {
        for (int i = 0; i < blocks; ++i) process(block, level);
        tick_at(at);  // takes the stale snapshot of the first block
        process(block, level);
        tick_at(at);
    }
};

// What the real meter publishes after `ms` of silence following the same music.
struct SilenceOracle {
    b2test::AdapterPtr adapter = b2test::make_adapter();
    b2::MeterSnapshot taken[2];
    double silent_ms = 0.0;
    void run(int32_t samples, float level) {
        b2test::Block block(samples, level);
        adapter->process(block.data);
    }
    void take() { b2::take_meter_snapshots(adapter->get_engine(), taken); }
    const b2::MeterSnapshot& after(double ms) {
        const int32_t samples = static_cast<int32_t>((ms - silent_ms) * 48.0) - 16;
        if (samples > 0) run(samples, 0.0f);
        take();
        run(16, 0.0f);
        take();
        silent_ms = ms;
        return taken[0];
    }
};

TEST_F(StalledMetersTest, BarsFallAsOnSilenceAfterTheDelayAndTheNextSnapshotShowsExactly) {
    play_then_take(60, 0.5f, 0.0);
    const b2::MeterSnapshot last = shown(b2::ID_PEAK_LEFT);
    ASSERT_NEAR(last.peakDb, -6.02f, 0.01f);
    const std::string held = label_text(b2::UI_READOUT, b2::ID_PEAK_HELD_LEFT);

    // Up to the delay (250 ms with 512-sample blocks at 48 kHz) nothing moves.
    for (double t = 33.0; t < 250.0; t += 33.0) tick_at(t);
    tick_at(249.0);
    for (uint32_t id : kBars) {
        SCOPED_TRACE(id);
        EXPECT_EQ(shown(id).peakDb, last.peakDb);
        EXPECT_EQ(shown(id).rmsDb, last.rmsDb);
        EXPECT_EQ(shown(id).crestDb, last.crestDb);
    }

    // Then the bars fall as the meter itself falls on silence.
    SilenceOracle silence;
    for (int i = 0; i < 60; ++i) silence.run(512, 0.5f);
    silence.take();
    silence.run(512, 0.5f);
    silence.take();
    for (double t : {100.0, 200.0}) {
        SCOPED_TRACE(t);
        const b2::MeterSnapshot real = silence.after(t);
        tick_at(250.0 + t);
        EXPECT_NEAR(shown(b2::ID_PEAK_LEFT).peakDb, real.peakDb, 0.1f);
        EXPECT_NEAR(shown(b2::ID_RMS_RIGHT).rmsDb, real.rmsDb, 1.2f);  // the meter re-sums every 30 ms
        EXPECT_LT(shown(b2::ID_CREST_LEFT).crestDb, last.crestDb);
    }
    // Held maxima stay for "Value Hold" (1500 ms), as on silence.
    EXPECT_EQ(label_text(b2::UI_READOUT, b2::ID_PEAK_HELD_LEFT), held);
    EXPECT_EQ(shown(b2::ID_PEAK_LEFT).heldPeakDb, last.heldPeakDb);

    // An empty RMS window reads silence; the peak gets there last.
    tick_at(250.0 + 300.0);
    EXPECT_EQ(shown(b2::ID_RMS_LEFT).rmsDb, kSilence);
    EXPECT_EQ(shown(b2::ID_CREST_RIGHT).crestDb, kSilence);
    for (double t = 600.0; t <= 5000.0; t += 33.0) tick_at(t);
    for (uint32_t id : kBars) {
        SCOPED_TRACE(id);
        EXPECT_EQ(shown(id).peakDb, kSilence);
        EXPECT_EQ(shown(id).rmsDb, kSilence);
        EXPECT_EQ(shown(id).crestDb, kSilence);
    }
    for (uint32_t id : {b2::ID_PEAK_HELD_LEFT, b2::ID_RMS_HELD_RIGHT, b2::ID_CREST_HELD_LEFT})
        EXPECT_EQ(label_text(b2::UI_READOUT, id), "---");

    // Audio returns: the next snapshot shows as published, nothing fallen in it.
    process(512, 0.25f);
    b2::MeterSnapshot published[2];
    for (int c = 0; c < 2; ++c) published[c] = engine()->strips[c].detector.snapshot;
    tick_at(5010.0);
    for (uint32_t c = 0; c < 2; ++c) {
        SCOPED_TRACE(c);
        const b2::MeterSnapshot& s = shown(b2::ID_RMS_LEFT + c);
        EXPECT_EQ(s.peakDb, published[c].peakDb);
        EXPECT_EQ(s.heldPeakDb, published[c].heldPeakDb);
        EXPECT_EQ(s.rmsDb, published[c].rmsDb);
        EXPECT_EQ(s.heldRmsDb, published[c].heldRmsDb);
        EXPECT_EQ(s.crestDb, published[c].crestDb);
        EXPECT_EQ(s.heldCrestDb, published[c].heldCrestDb);
        char text[b2::kTextSize];
        b2::formatReadout(published[c].heldPeakDb - published[c].scaleZero, text);
        EXPECT_EQ(label_text(b2::UI_READOUT, b2::ID_PEAK_HELD_LEFT + c), text);
    }
}

// When the host resumes after the meters fell, the levels measured before the
// stop do not come back: the detectors start again from silence, and until
// the fall reaches silence each meter shows the higher of its fall and the
// new reading.
TEST_F(StalledMetersTest, AfterALongStallTheMetersShowOnlyTheNewAudio) {
    for (bool new_editor : {false, true}) {
        SCOPED_TRACE(new_editor ? "a new editor opened during the stall" : "editor open");
        play_then_take(60, 0.5f, now);
        ASSERT_NEAR(shown(b2::ID_PEAK_LEFT).heldPeakDb, -6.02f, 0.01f);
        const double stop = now;
        if (new_editor) {  // as hosts open the editor again: a new view, which saw no audio at all
            view->removed();
            view->setFrame(nullptr);
            view = Steinberg::owned(adapter->createView("editor"));
            ASSERT_TRUE(view);
            editor = dynamic_cast<b2::ui_editor*>(view.get());
            ASSERT_NE(editor, nullptr);
            editor->set_meter_clock([this] { return now; });
            view->setFrame(&host);
            ASSERT_TRUE(open());
            tick_at(stop + 33.0);
        }
        for (double t = stop + 66.0; t <= stop + 5000.0; t += 33.0) tick_at(t);
        EXPECT_EQ(label_text(b2::UI_READOUT, b2::ID_PEAK_HELD_LEFT), "---");

        // The host resumes 26 dB quieter.
        for (double t = stop + 5010.0; t < stop + 6000.0; t += 33.0) {
            process(1584, 0.05f);
            tick_at(t);
            SCOPED_TRACE(t - stop);
            for (uint32_t c = 0; c < 2; ++c) {
                const b2::MeterSnapshot& s = shown(b2::ID_PEAK_LEFT + c);
                EXPECT_NEAR(s.peakDb, -26.02f, 0.01f);
                EXPECT_NEAR(s.heldPeakDb, -26.02f, 0.01f);
                EXPECT_LE(shown(b2::ID_RMS_LEFT + c).heldRmsDb, -23.0f + 0.01f);
                EXPECT_EQ(label_text(b2::UI_READOUT, b2::ID_PEAK_HELD_LEFT + c), "-26.0");
            }
        }
    }
}

TEST_F(StalledMetersTest, AfterAShortStallTheMetersGoOnFromTheirFall) {
    play_then_take(60, 0.5f, 0.0);
    const float held = shown(b2::ID_PEAK_LEFT).heldPeakDb;
    const float peak = shown(b2::ID_PEAK_LEFT).peakDb;
    ASSERT_NEAR(held, -6.02f, 0.01f);
    for (double t = 33.0; t <= 396.0; t += 33.0) tick_at(t);
    // The fall began at 250 ms: 20 dB per "Peak Fall" (300 ms).
    const auto fall = [&](double t) { return peak - 20.0f * static_cast<float>(t - 250.0) / 300.0f; };
    ASSERT_NEAR(shown(b2::ID_PEAK_LEFT).peakDb, fall(396.0), 0.01f);

    // The host resumes at -40 dB: the peaks go on falling until they reach
    // it, the held peaks stay for "Value Hold" (1500 ms from the fall's
    // start), then take the new level.
    float last = shown(b2::ID_PEAK_LEFT).peakDb;
    for (double t = 400.0; t <= 2500.0; t += 33.0) {
        process(1584, 0.01f);
        tick_at(t);
        SCOPED_TRACE(t);
        for (uint32_t c = 0; c < 2; ++c) {
            const b2::MeterSnapshot& s = shown(b2::ID_PEAK_LEFT + c);
            EXPECT_NEAR(s.peakDb, std::max(fall(t), -40.0f), 0.05f);
            EXPECT_LE(s.peakDb, last + 0.01f) << "no jump back up";
            if (t < 1740.0) {
                EXPECT_EQ(s.heldPeakDb, held);
            } else if (t > 1760.0) {
                EXPECT_NEAR(s.heldPeakDb, -40.0f, 0.01f);
            }
        }
        last = shown(b2::ID_PEAK_LEFT).peakDb;
    }
    EXPECT_EQ(label_text(b2::UI_READOUT, b2::ID_PEAK_HELD_RIGHT), "-40.0");
    EXPECT_NEAR(shown(b2::ID_RMS_LEFT).heldRmsDb, -37.0f, 0.01f);
}

// 4096-sample blocks at 8 kHz: one snapshot every 512 ms, ticks in between
// at uneven times. The bars never fall between blocks.
class SlowBlocksTest : public StalledMetersTest {
protected:
    SlowBlocksTest() { adapter = b2test::make_adapter(8000.0, 4096); }
};

TEST_F(SlowBlocksTest, ABigBlockHostNeverSeesTheFall) {
    play_then_take(2, 0.5f, 0.0, 4096);
    const float peak = shown(b2::ID_PEAK_LEFT).peakDb;
    const float rms = shown(b2::ID_RMS_RIGHT).rmsDb;
    ASSERT_NEAR(peak, -6.02f, 0.01f);
    const double gaps[] = {20.0, 33.0, 61.0, 33.0, 45.0};
    double t = 0.0;
    int ticks = 0;
    for (int block = 1; block <= 10; ++block) {
        // Late blocks as well: up to 40 ms after their due time.
        const double due = block * 512.0 + (block % 3) * 20.0;
        while (t + gaps[ticks % 5] < due) {
            t += gaps[ticks++ % 5];
            tick_at(t);
            ASSERT_GE(shown(b2::ID_PEAK_LEFT).peakDb, peak - 0.01f) << "at " << t << " ms";
            ASSERT_GE(shown(b2::ID_RMS_RIGHT).rmsDb, rms - 0.01f) << "at " << t << " ms";
        }
        now = due;
        process(4096, 0.5f);
    }
    EXPECT_GT(ticks, 100);
    // The same host stopping is still noticed, two blocks later.
    tick_at(now + 10.0);
    tick_at(now + 1100.0);
    EXPECT_LT(shown(b2::ID_PEAK_LEFT).peakDb, peak - 1.0f);
}

// ---- what a tick invalidates ---------------------------------------------------

class TickInvalidationTest : public StalledMetersTest {
protected:
    b2::MeterSnapshot& published(int c) { return engine()->strips[c].detector.snapshot; }
    void publish() {
        for (int c = 0; c < 2; ++c) published(c).ready.store(1);
    }
    // Tags of the views a tick's meter refresh marked for redrawing.
    std::set<uint32_t> dirty_after_refresh() {
        Picture drawn(frame());  // drawing clears the marks of the shown page's views
        editor->refresh_meters_now();
        std::set<uint32_t> tags;
        for (uint32_t i = 0; i < editor->element_records_size(); ++i) {
            CControl* v = editor->element_records()[i].view;
            if (v && v->isAttached() && v->isDirty()) tags.insert(static_cast<uint32_t>(v->getTag()));
        }
        return tags;
    }
    void SetUp() override {
        StalledMetersTest::SetUp();
        for (int c = 0; c < 2; ++c) b2test::set_levels(published(c), {-19.5f, -7.25f, 12.5f});
        publish();
        dirty_after_refresh();
    }
};

// (Moving levels and new maxima: editor_tick_redraw_test.)
TEST_F(TickInvalidationTest, UnchangedLooksAreNotRedrawn) {
    using b2::UI_METER;
    using b2::UI_READOUT;
    // The same values again: nothing.
    publish();
    EXPECT_EQ(dirty_after_refresh(), std::set<uint32_t>{});
    // A new held RMS, then one with the same text in another colour
    // ("-18.0" below and at the "RMS High" threshold of -18).
    const std::set<uint32_t> rms_left{UI_METER | b2::ID_RMS_LEFT, UI_READOUT | b2::ID_RMS_HELD_LEFT};
    published(0).heldRmsDb = -18.01f;
    publish();
    EXPECT_EQ(dirty_after_refresh(), rms_left);
    const std::string text = label_text(UI_READOUT, b2::ID_RMS_HELD_LEFT);
    published(0).heldRmsDb = -17.99f;
    publish();
    EXPECT_EQ(dirty_after_refresh(), rms_left);
    EXPECT_EQ(label_text(UI_READOUT, b2::ID_RMS_HELD_LEFT), text);
    // Once fallen to silence, a stopped host's ticks redraw nothing.
    for (double t = 300.0; t < 6000.0; t += 33.0) tick_at(t);
    EXPECT_EQ(shown(b2::ID_PEAK_LEFT).peakDb, kSilence);
    now = 6100.0;
    EXPECT_EQ(dirty_after_refresh(), std::set<uint32_t>{});
}

}  // namespace
