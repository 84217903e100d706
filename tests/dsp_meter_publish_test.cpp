// How level detectors hand snapshots to the editor: the publication hook, the
// ready byte, the copied display values and the scale-redraw byte.
#include <gtest/gtest.h>

#include <lua.hpp>

#include <memory>
#include <string>
#include <vector>

#include "engine/script_bridge.h"
#include "tests/test_support.h"

namespace {

using b2::MeterSnapshot;

using b2test::EnginePtr;

// An audio-side script that counts publication hooks and serves them with
// the readout service, as the embedded script does.
const char kCountingScript[] = R"(
    publishes = 0
    last_object = 0
    function drt(e, code, obj, a, b, c)
      if code == 598544 then
        publishes = publishes + 1
        last_object = obj
        return dlo(2, e, 598560, obj, 0, 0, 0)
      end
      return 0
    end)";

struct Meter {
    static constexpr int kMaxSamples = 256;
    EnginePtr e{b2test::make_engine(48000.0f)};
    std::vector<float> in[2] = {std::vector<float>(kMaxSamples), std::vector<float>(kMaxSamples)};
    std::vector<float> out[2] = {std::vector<float>(kMaxSamples), std::vector<float>(kMaxSamples)};

    explicit Meter(const char* script = kCountingScript) {
        b2::close_script_state(e->audio_state);
        e->audio_state = b2::create_script_state(script, std::string(script).size());
    }
    // One host process call of `samples` (at most kMaxSamples).
    void process(int samples = b2::kBlock) {
        float* ins[2] = {in[0].data(), in[1].data()};
        float* outs[2] = {out[0].data(), out[1].data()};
        b2::process_block(e.get(), ins, outs, samples);
    }
    long long publishes() const { return global("publishes"); }
    long long global(const char* name) const {
        lua_getglobal(e->audio_state, name);
        const long long v = lua_tointeger(e->audio_state, -1);
        lua_pop(e->audio_state, 1);
        return v;
    }
    MeterSnapshot& snap(int c) { return e->strips[c].detector.snapshot; }
};

TEST(MeterPublish, HookIsRaisedOnlyWhileTheSnapshotIsTaken) {
    Meter m;
    ASSERT_NE(m.e->audio_state, nullptr);
    m.process();
    EXPECT_EQ(m.publishes(), 2);  // left and right
    EXPECT_EQ(m.snap(0).ready.load(), 1);
    EXPECT_EQ(m.snap(1).ready.load(), 1);
    EXPECT_EQ(m.global("last_object"), static_cast<long long>(reinterpret_cast<uintptr_t>(&m.e->strips[1].detector)));

    // Nobody takes the snapshots: no further hooks, the detectors keep measuring.
    m.in[0][3] = 0.5f;
    for (int i = 0; i < 50; ++i) m.process(64);
    EXPECT_EQ(m.publishes(), 2);
    EXPECT_GT(m.e->strips[0].detector.peak, 0.0f);

    // Taking one snapshot gets exactly one new publication, in the next sub-block.
    m.snap(0).ready.store(0);
    m.process(64);
    EXPECT_EQ(m.publishes(), 3);
    EXPECT_EQ(m.global("last_object"), static_cast<long long>(reinterpret_cast<uintptr_t>(&m.e->strips[0].detector)));
    m.snap(0).ready.store(0);
    m.snap(1).ready.store(0);
    m.process(b2::kBlock);
    EXPECT_EQ(m.publishes(), 5);
    // The readouts came from the service the hook ran.
    EXPECT_GT(m.snap(0).peakDb, -100.0f);
    EXPECT_FLOAT_EQ(m.snap(1).peakDb, -280.0f);
}

TEST(MeterPublish, DisplayValuesAreCopiedOnlyIntoATakenSnapshot) {
    Meter m;
    m.process();
    b2::set_global_value(m.e.get(), b2::ID_SCALE_TOP, 6.0f);
    b2::set_global_value(m.e.get(), b2::ID_PEAK_CLIP, -1.0f);
    b2::set_global_value(m.e.get(), b2::ID_RMS_LOW, -30.0f);
    b2::set_global_value(m.e.get(), b2::ID_CREST_HIGH, 20.0f);
    m.process();
    // Still held by the editor: the published fields do not move.
    EXPECT_EQ(m.snap(0).scaleTop, 0.0f);
    EXPECT_EQ(m.snap(0).peakThresholds[b2::kClip], -4.0f);

    m.snap(0).ready.store(0);
    m.process();
    EXPECT_EQ(m.snap(0).scaleTop, 6.0f);
    EXPECT_EQ(m.snap(0).peakThresholds[b2::kClip], -1.0f);
    EXPECT_EQ(m.snap(0).rmsThresholds[b2::kLow], -30.0f);
    EXPECT_EQ(m.snap(0).crestThresholds[b2::kHigh], 20.0f);
    EXPECT_EQ(m.snap(0).rmsThresholds[b2::kClip], 0.0f);
    EXPECT_EQ(m.snap(1).scaleTop, 0.0f);

    // A script that does not serve the hook still gets a complete hand-over,
    // without readouts.
    Meter bare("function drt() return 0 end");
    bare.process();
    EXPECT_EQ(bare.snap(0).ready.load(), 1);
    EXPECT_EQ(bare.snap(0).segmentHeight, 16.0f);
    EXPECT_EQ(bare.snap(0).peakDb, 0.0f);
}

TEST(MeterPublish, ScalesAreRedrawnAfterScaleChangesAndEditorOpening) {
    Meter m;
    m.process();  // the defaults were loaded: the first block asks for a redraw
    EXPECT_EQ(m.snap(0).scaleChanged.load(), 1);
    EXPECT_EQ(m.snap(1).scaleChanged.load(), 1);

    auto take = [&] {
        m.snap(0).scaleChanged.store(0);
        m.snap(1).scaleChanged.store(0);
    };
    take();
    m.process(256);
    EXPECT_EQ(m.snap(0).scaleChanged.load(), 0);

    // Other parameters do not redraw the scales.
    b2::set_global_value(m.e.get(), b2::ID_PEAK_HIGH, -3.0f);
    b2::set_global_value(m.e.get(), b2::ID_RMS_WINDOW, 600.0f);
    m.process();
    EXPECT_EQ(m.snap(0).scaleChanged.load(), 0);

    for (int id : {b2::ID_SCALE_TOP, b2::ID_SCALE_ZERO, b2::ID_SEGMENT_HEIGHT}) {
        b2::set_global_value(m.e.get(), id, 10.0f);
        m.process();
        EXPECT_EQ(m.snap(0).scaleChanged.load(), 1) << id;
        EXPECT_EQ(m.snap(1).scaleChanged.load(), 1) << id;
        take();
        m.process();
        EXPECT_EQ(m.snap(0).scaleChanged.load(), 0) << id;
    }

    // A newly created editor: the next process call counts down to 1 and
    // raises the byte, whether or not the snapshot is taken; the call after
    // that does not.
    m.e->editor_countdown = 2;
    m.process(64);
    EXPECT_EQ(m.e->editor_countdown.load(), 1);
    EXPECT_EQ(m.snap(0).scaleChanged.load(), 1);
    EXPECT_EQ(m.snap(1).scaleChanged.load(), 1);
    take();
    m.process(64);
    EXPECT_EQ(m.e->editor_countdown.load(), 0);
    EXPECT_EQ(m.snap(0).scaleChanged.load(), 0);
    EXPECT_EQ(m.snap(1).scaleChanged.load(), 0);
}

}  // namespace
