// The loudness stage seen through the VST3 interface: a -23 LUFS programme
// through process() with the host's transport playing, stopping and playing
// again in each integration mode, checked against the loudness and
// true-peak modules run on the same output samples; the output measured
// after Gain and as it goes out when bypassed; the settings in the host's
// state and the host told when they change.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "dsp/loudness_meter.h"
#include "dsp/true_peak.h"
#include "engine/loudness_stage.h"
#include "engine/loudness_targets.h"
#include "engine/state_io.h"
#include "engine/value_format.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"
#include "tests/byte_stream.h"
#include "tests/plugin_host.h"

using namespace Steinberg;
using namespace Steinberg::Vst;
using b2test::ByteStream;

namespace {

constexpr double kPi = 3.14159265358979323846;  // M_PI is not standard C++ (MinGW lacks it)

constexpr double kRate = 48000.0;
constexpr int32 kCall = 480;  // ten calls a 100 ms step

// 1 kHz at -23 dBFS, exactly periodic (48 samples), the same on both channels.
float programme(int64_t n, double dbfs) {
    const double a = std::pow(10.0, dbfs / 20.0);
    return static_cast<float>(a * std::sin(2.0 * kPi * static_cast<double>(n % 48) / 48.0));
}

struct Reference {
    std::unique_ptr<b2::LoudnessMeter> meter = std::make_unique<b2::LoudnessMeter>();
    b2::TruePeak peak;
    Reference() {
        b2::prepare_loudness(*meter, 2, kRate);
        b2::prepare_true_peak(peak, kRate, 2);
    }
};

struct Run {
    b2::LoudnessSettings settings;
    bool playing[3] = {true, false, true};  // 1.6 s, 0.8 s, 1.6 s
};

// Drives one instance through the transport schedule and, beside it, the
// modules on the samples it writes out, paused and reset the way the
// stage's settings ask; the view taken after every call is compared with the
// modules' readings of the same 100 ms step. The transport changes where
// the stage's 256-sample groups and the calls both begin, and no step ends
// between a change and the end of its group, so the modules beside it can
// follow the transport call by call and give the same readings.
struct TransportRun {
    b2test::AdapterPtr a = b2test::make_adapter(kRate, kCall);
    Reference ref;
    std::vector<b2::LoudnessReadings> by_step;  // reference readings, by steps
    b2::LoudnessView last{};
    long views = 0, stopped_views = 0;

    void go(const Run& run) {
        b2::engine* e = a->get_engine();
        b2::set_loudness_settings(e, run.settings);
        const bool transport = run.settings.mode == b2::LOUDNESS_TRANSPORT;
        b2test::Block block(kCall);
        ProcessContext context{};
        context.sampleRate = kRate;
        block.data.processContext = &context;
        by_step.assign(1, ref.meter->readings);
        bool was_playing = false;
        int64_t n0 = 0;
        for (int call = 0; call < 400; ++call) {
            const bool playing = run.playing[call < 160 ? 0 : (call < 240 ? 1 : 2)];
            context.state = playing ? ProcessContext::kPlaying : 0;
            context.projectTimeSamples = n0;
            for (int32 i = 0; i < kCall; ++i)
                block.in[0][i] = block.in[1][i] = programme(n0 + i, -23.0);
            ASSERT_EQ(a->process(block.data), kResultOk);
            // The modules, as the stage's settings ask.
            const bool paused = transport && !playing;
            if (transport && run.settings.resetOnPlay && playing && !was_playing) {
                b2::request_loudness_reset(*ref.meter);
                b2::reset_true_peak(ref.peak);
            }
            was_playing = playing;
            b2::set_loudness_paused(*ref.meter, paused);
            ref.peak.paused = paused;
            const float* out[2] = {block.out[0].data(), block.out[1].data()};
            b2::process_loudness(*ref.meter, out, kCall);
            b2::run_true_peak(ref.peak, out[0], out[1], kCall);
            if (ref.meter->readings.steps == by_step.size()) by_step.push_back(ref.meter->readings);
            n0 += kCall;

            b2::LoudnessView v;
            if (!b2::take_loudness_view(e, v)) continue;
            ++views;
            last = v;
            ASSERT_LT(v.steps, by_step.size());
            const b2::LoudnessReadings& r = by_step[v.steps];
            EXPECT_EQ(v.momentary, r.momentary) << call;
            EXPECT_EQ(v.shortTerm, r.shortTerm) << call;
            EXPECT_EQ(v.momentaryMax, r.momentaryMax) << call;
            EXPECT_EQ(v.shortTermMax, r.shortTermMax) << call;
            EXPECT_EQ(v.integrated, r.integrated) << call;
            EXPECT_EQ(v.range, r.range) << call;
            EXPECT_EQ(v.integratedSeconds, r.integratedSeconds) << call;
            EXPECT_EQ(v.integrating, !paused) << call;
            EXPECT_FALSE(v.userPaused);
            EXPECT_FALSE(v.transportUnknown);
            if (!playing) ++stopped_views;
        }
        // The last call ends a step: its view is the modules' final reading.
        EXPECT_EQ(last.steps, 40u);
        for (int c = 0; c < 2; ++c) EXPECT_EQ(last.truePeakDbtp[c], 20.0 * std::log10(static_cast<double>(b2::true_peak(ref.peak, c))));
    }
};

TEST(PluginLoudness, AlwaysIntegratesWhateverTheTransportDoes) {
    TransportRun t;
    t.go({});
    EXPECT_GT(t.views, 40);
    EXPECT_GT(t.stopped_views, 5);
    EXPECT_NEAR(t.last.integrated, -23.0, 0.05);
    EXPECT_EQ(t.last.integratedSeconds, 4.0);
    EXPECT_NEAR(t.last.truePeakDbtp[0], -23.0, 0.01);  // a 1 kHz sine's true peak is its peak
}

TEST(PluginLoudness, TransportModePausesWhileStopped) {
    TransportRun t;
    b2::LoudnessSettings s;
    s.mode = b2::LOUDNESS_TRANSPORT;
    t.go({s});
    EXPECT_GT(t.stopped_views, 5);
    EXPECT_NEAR(t.last.integrated, -23.0, 0.05);
    EXPECT_NEAR(t.last.integratedSeconds, 3.2, 1e-9);  // the stopped 0.8 s are left out
}

TEST(PluginLoudness, TransportModeWithResetOnPlayStartsAfreshAtEachStart) {
    TransportRun t;
    b2::LoudnessSettings s;
    s.mode = b2::LOUDNESS_TRANSPORT;
    s.resetOnPlay = 1;
    t.go({s});
    EXPECT_NEAR(t.last.integrated, -23.0, 0.05);
    // The step in which the reset lands is not integrated.
    EXPECT_NEAR(t.last.integratedSeconds, 1.5, 1e-9);
}

// A host that passes no process context says nothing of its transport:
// Transport mode integrates then, and the view says why.
TEST(PluginLoudness, TransportModeWithoutATransportIntegratesAndSaysSo) {
    auto a = b2test::make_adapter(kRate, kCall);
    b2::engine* e = a->get_engine();
    b2::LoudnessSettings s;
    s.mode = b2::LOUDNESS_TRANSPORT;
    b2::set_loudness_settings(e, s);
    b2test::Block block(kCall);
    b2::LoudnessView v;
    bool taken = false;
    for (int call = 0; call < 110; ++call) {
        for (int32 i = 0; i < kCall; ++i) block.in[0][i] = block.in[1][i] = programme(call * kCall + i, -23.0);
        a->process(block.data);
        taken = b2::take_loudness_view(e, v) || taken;
    }
    ASSERT_TRUE(taken);
    EXPECT_TRUE(v.integrating);
    EXPECT_TRUE(v.transportUnknown);
    EXPECT_NEAR(v.integratedSeconds, 1.0, 1e-9);

    // Once the host tells a stopped transport, the meter pauses.
    ProcessContext context{};
    context.sampleRate = kRate;
    block.data.processContext = &context;
    for (int call = 0; call < 20; ++call) {
        a->process(block.data);
        b2::take_loudness_view(e, v);
    }
    EXPECT_FALSE(v.integrating);
    EXPECT_FALSE(v.transportUnknown);
}

// What goes out is measured: after Gain, and the input itself when bypassed.
TEST(PluginLoudness, MeasuresTheOutputAfterGainAndWhenBypassed) {
    struct Case {
        const char* name;
        double input_dbfs, gain_db;
        bool bypass;
    };
    for (const Case& c : {Case{"gain +6 dB", -29.0, 6.0, false}, Case{"bypassed, gain +20 dB", -23.0, 20.0, true}}) {
        SCOPED_TRACE(c.name);
        auto a = b2test::make_adapter(kRate, kCall);
        a->setParamNormalized(b2::ID_GAIN, b2::to_normalized(b2::ID_GAIN, static_cast<float>(c.gain_db)));
        a->setParamNormalized(b2::ID_BYPASS, c.bypass ? 1.0 : 0.0);
        b2test::Block block(kCall);
        b2::LoudnessView v{};
        for (int call = 0; call < 300; ++call) {
            for (int32 i = 0; i < kCall; ++i)
                block.in[0][i] = block.in[1][i] = programme(call * kCall + i, c.input_dbfs);
            a->process(block.data);
            b2::take_loudness_view(a->get_engine(), v);
        }
        EXPECT_NEAR(v.integrated, -23.0, 0.05);
        EXPECT_NEAR(v.truePeakDbtp[1], -23.0, 0.05);
    }
}

// ---- settings in the host's state ---------------------------------------------------

std::vector<uint8_t> state_of(riser::Vst3Adapter* a) {
    ByteStream s;
    EXPECT_EQ(a->getState(&s), kResultOk);
    return s.bytes;
}

tresult load(riser::Vst3Adapter* a, std::vector<uint8_t> bytes) {
    ByteStream s(std::move(bytes));
    return a->setState(&s);
}

std::vector<uint8_t> float_record(uint16_t key, float value) {
    std::vector<uint8_t> r = {b2::STATE_FLOAT, static_cast<uint8_t>(key), static_cast<uint8_t>(key >> 8), 0, 0, 0, 0};
    std::memcpy(&r[3], &value, 4);
    return r;
}

void append(std::vector<uint8_t>& a, const std::vector<uint8_t>& b) { a.insert(a.end(), b.begin(), b.end()); }

bool same(const b2::LoudnessSettings& x, const b2::LoudnessSettings& y) {
    return x.mode == y.mode && x.resetOnPlay == y.resetOnPlay && x.target == y.target && x.relative == y.relative;
}

b2::LoudnessSettings all_changed() {
    b2::LoudnessSettings s;
    s.mode = b2::LOUDNESS_TRANSPORT;
    s.resetOnPlay = 1;
    s.target = 3;  // Podcast
    s.relative = 1;
    return s;
}

TEST(PluginLoudnessState, SettingsTravelInTheStateAndOldStatesLoadTheDefaults) {
    auto a = b2test::make_adapter();
    const std::vector<uint8_t> plain = state_of(a.get());  // default settings
    a->setParamNormalized(b2::ID_GAIN, 0.75);
    b2::set_loudness_settings(a->get_engine(), all_changed());
    const std::vector<uint8_t> saved = state_of(a.get());
    ASSERT_EQ(saved.size(), plain.size() + 4 * 7);  // four records of their own

    auto b = b2test::make_adapter();
    ASSERT_EQ(load(b.get(), saved), kResultOk);
    EXPECT_TRUE(same(b2::loudness_settings(b->get_engine()), all_changed()));
    EXPECT_EQ(state_of(b.get()), saved);

    // A state saved before the settings existed: every setting at its default.
    ASSERT_EQ(load(b.get(), plain), kResultOk);
    EXPECT_TRUE(same(b2::loudness_settings(b->get_engine()), b2::LoudnessSettings{}));
    EXPECT_NE(b2::global_value(b->get_engine(), b2::ID_GAIN), b2::global_value(a->get_engine(), b2::ID_GAIN));

    // Only one setting changed: only its record is written, the others load
    // their defaults.
    b2::LoudnessSettings one;
    one.target = 2;
    b2::set_loudness_settings(a->get_engine(), one);
    const std::vector<uint8_t> only_target = state_of(a.get());
    ASSERT_EQ(only_target.size(), plain.size() + 7);
    b2::set_loudness_settings(b->get_engine(), all_changed());
    ASSERT_EQ(load(b.get(), only_target), kResultOk);
    EXPECT_TRUE(same(b2::loudness_settings(b->get_engine()), one));
}

TEST(PluginLoudnessState, AFutureRecordIsSkippedAndAFutureValueFallsBack) {
    auto a = b2test::make_adapter();
    b2::set_loudness_settings(a->get_engine(), all_changed());
    a->setParamNormalized(b2::ID_SCALE_TOP, 1.0);
    std::vector<uint8_t> state = state_of(a.get());
    // A record of a newer version in the middle (a key this one does not
    // know), and the settings behind it: the settings are still read.
    std::vector<uint8_t> future(state.begin(), state.begin() + 21);
    append(future, float_record(999, 1234.5f));
    future.insert(future.end(), state.begin() + 21, state.end());

    auto b = b2test::make_adapter();
    ASSERT_EQ(load(b.get(), future), kResultOk);
    EXPECT_TRUE(same(b2::loudness_settings(b->get_engine()), all_changed()));
    EXPECT_EQ(b2::global_value(b->get_engine(), b2::ID_SCALE_TOP), 48.0f);
    EXPECT_EQ(state_of(b.get()), state);

    // Values this version has no meaning for: a mode 2, a target past the
    // table, a fraction, a negative flag.
    std::vector<uint8_t> odd = state_of(b2test::make_adapter().get());
    append(odd, float_record(b2::kLoudnessModeStateKey, 2.0f));
    append(odd, float_record(b2::kLoudnessTargetStateKey, 9.0f));
    append(odd, float_record(b2::kLoudnessResetOnPlayStateKey, 0.5f));
    append(odd, float_record(b2::kLoudnessRelativeStateKey, -1.0f));
    ASSERT_EQ(load(b.get(), odd), kResultOk);
    const b2::LoudnessSettings s = b2::loudness_settings(b->get_engine());
    EXPECT_EQ(s.mode, b2::LOUDNESS_ALWAYS);
    EXPECT_EQ(s.target, b2::kLoudnessTargetNone);
    EXPECT_EQ(s.resetOnPlay, 0);
    EXPECT_EQ(s.relative, 0);
}

// Counts what the host is told about its stored state.
class DirtyHandler : public IComponentHandler, public IComponentHandler2 {
public:
    int dirty = 0;
    tresult PLUGIN_API beginEdit(ParamID) override { return kResultOk; }
    tresult PLUGIN_API performEdit(ParamID, ParamValue) override { return kResultOk; }
    tresult PLUGIN_API endEdit(ParamID) override { return kResultOk; }
    tresult PLUGIN_API restartComponent(int32) override { return kResultOk; }
    tresult PLUGIN_API setDirty(TBool state) override {
        if (state) ++dirty;
        return kResultOk;
    }
    tresult PLUGIN_API requestOpenEditor(FIDString) override { return kResultFalse; }
    tresult PLUGIN_API startGroupEdit() override { return kResultOk; }
    tresult PLUGIN_API finishGroupEdit() override { return kResultOk; }
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        QUERY_INTERFACE(iid, obj, FUnknown::iid, IComponentHandler)
        QUERY_INTERFACE(iid, obj, IComponentHandler::iid, IComponentHandler)
        QUERY_INTERFACE(iid, obj, IComponentHandler2::iid, IComponentHandler2)
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }
};

TEST(PluginLoudnessState, AChangedSettingTellsTheHostItsStateChanged) {
    auto a = b2test::make_adapter();
    DirtyHandler handler;
    ASSERT_EQ(a->setComponentHandler(&handler), kResultOk);
    b2::engine* e = a->get_engine();
    b2::LoudnessSettings s;
    s.target = 1;
    b2::set_loudness_settings(e, s);
    EXPECT_EQ(handler.dirty, 1);
    b2::set_loudness_settings(e, s);  // no change
    EXPECT_EQ(handler.dirty, 1);
    // Loading a state is no change of the user's.
    ASSERT_EQ(load(a.get(), state_of(b2test::make_adapter().get())), kResultOk);
    EXPECT_EQ(handler.dirty, 1);
    EXPECT_EQ(b2::loudness_settings(e).target, 0);
    a->setComponentHandler(nullptr);
}

}  // namespace
