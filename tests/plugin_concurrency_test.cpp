// One instance used by three threads at once, as a host does: the host's main
// thread sets parameters and saves and loads the state, the audio thread
// processes, and the editor's timer takes the meter snapshots and reads the
// editor bank. Meant to run under ThreadSanitizer; the iteration counts keep
// it short there.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include <lua.hpp>

#include "engine/script_bridge.h"
#include "engine/value_format.h"
#include "tests/byte_stream.h"
#include "tests/plugin_host.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr int32 kBlockLength = 256;
constexpr int kAudioCalls = 2000;  // about 11 s of audio
constexpr long kMinHostOps = 300;
constexpr long kMinEditorTicks = 100;

// Values the host thread writes last; the other threads never touch them.
struct FinalValue {
    int id;
    double normalized;
};
const FinalValue kFinal[] = {{b2::ID_GAIN, 0.6}, {b2::ID_SCALE_ZERO, 0.25}, {b2::ID_RMS_HIGH, 0.75},
                             {b2::ID_VALUE_HOLD, 0.4}, {b2::ID_PEAK_FALL, 0.3}};

// What the host reads back after writing `normalized`: stepped parameters
// keep whole steps.
double read_back(int id, double normalized) {
    return b2::to_normalized(id, b2::to_plain(id, static_cast<float>(normalized)));
}

bool all_finite(const b2::MeterSnapshot& s) {
    const float v[] = {s.heldPeakDb, s.peakDb, s.heldRmsDb, s.rmsDb, s.heldCrestDb, s.crestDb, s.scaleTop,
                       s.scaleZero, s.segmentHeight, s.peakThresholds[0], s.rmsThresholds[1], s.crestThresholds[2]};
    for (float x : v)
        if (!std::isfinite(x)) return false;
    return true;
}

// The audio thread: a sine at a changing level, automation of the RMS window
// now and then, a process context on every call.
struct AudioThread {
    riser::Vst3Adapter* a;
    long calls = 0;
    long non_finite = 0;

    void run() {
        b2test::Block b(kBlockLength);
        ProcessContext context{};
        context.sampleRate = 48000.0;
        context.state = ProcessContext::kPlaying;
        b.data.processContext = &context;
        for (; calls < kAudioCalls; ++calls) {
            const float level = 0.05f + 0.9f * static_cast<float>(calls % 37) / 36.0f;
            for (int32 i = 0; i < kBlockLength; ++i) {
                const double t = static_cast<double>(calls * kBlockLength + i);
                b.in[0][static_cast<size_t>(i)] = level * static_cast<float>(std::sin(t * 0.021));
                b.in[1][static_cast<size_t>(i)] = level * static_cast<float>(std::cos(t * 0.017));
            }
            ParameterChanges changes(1);
            if (calls % 11 == 0) {
                int32 index = 0;
                changes.addParameterData(b2::ID_RMS_WINDOW, index)->addPoint(calls % kBlockLength,
                                                                            (calls % 7) / 6.0, index);
                b.data.inputParameterChanges = &changes;
            } else {
                b.data.inputParameterChanges = nullptr;
            }
            context.projectTimeSamples = calls * kBlockLength;
            a->process(b.data);
            for (int c = 0; c < 2; ++c)
                for (float v : b.out[c])
                    if (!std::isfinite(v)) ++non_finite;
        }
    }
};

// The host's main thread: random parameter values, state saves and loads.
struct HostThread {
    riser::Vst3Adapter* a;
    const std::vector<uint8_t>* saved;
    const std::atomic<bool>* audio_done;
    long ops = 0;
    long bad_results = 0;
    size_t last_state_size = 0;

    void run() {
        std::mt19937 rng(12345);
        static const int ids[] = {b2::ID_GAIN,       b2::ID_SCALE_TOP,  b2::ID_SCALE_ZERO, b2::ID_RMS_HIGH,
                                  b2::ID_RMS_LOW,    b2::ID_PEAK_FALL,  b2::ID_PEAK_CLIP,  b2::ID_CREST_HIGH,
                                  b2::ID_VALUE_HOLD, b2::ID_SEGMENT_HEIGHT, b2::ID_K_FILTER};
        while (!audio_done->load(std::memory_order_acquire) || ops < kMinHostOps) {
            switch (ops % 8) {
                case 5: {
                    b2test::ByteStream out;
                    if (a->getState(&out) != kResultOk) ++bad_results;
                    last_state_size = out.bytes.size();
                    break;
                }
                case 7: {
                    b2test::ByteStream in(*saved);
                    if (a->setState(&in) != kResultOk) ++bad_results;
                    break;
                }
                default: {
                    const int id = ids[rng() % (sizeof ids / sizeof ids[0])];
                    const double v = static_cast<double>(rng() % 1001) / 1000.0;
                    if (a->setParamNormalized(static_cast<ParamID>(id), v) != kResultOk) ++bad_results;
                    const double got = a->getParamNormalized(static_cast<ParamID>(id));
                    if (!(got >= 0.0 && got <= 1.0)) ++bad_results;
                }
            }
            ++ops;
        }
        // Last word: a state load, then the final values.
        b2test::ByteStream in(*saved);
        a->setState(&in);
        for (const FinalValue& f : kFinal) a->setParamNormalized(static_cast<ParamID>(f.id), f.normalized);
    }
};

// The editor's timer: takes its own pending edits into the banks, takes both
// snapshots when both are published, reads the changed editor-bank values
// and clears their flags, and writes one editor-owned value into the pending
// bank now and then.
struct EditorThread {
    b2::engine* e;
    const std::atomic<bool>* audio_done;
    long ticks = 0;
    long takes = 0;
    long bad_snapshots = 0;
    long values_seen = 0;
    long out_of_range = 0;
    float last_smooth = 0.0f;
    b2::MeterSnapshot shown[2];

    void tick() {
        b2::propagate_pending(e);
        if (b2::take_meter_snapshots(e, shown)) {
            ++takes;
            if (!all_finite(shown[0]) || !all_finite(shown[1])) ++bad_snapshots;
        }
        b2::take_scale_change(e);
        for (int id = 2; id <= 17; ++id) {
            const b2::value_slot& s = e->banks[b2::BANK_EDITOR][id];
            if (!s.is_changed()) continue;
            const float v = s.get();
            const b2::ParamDef& def = *b2::param_def(id);
            ++values_seen;
            if (!(v >= def.minValue && v <= def.maxValue)) ++out_of_range;
        }
        b2::clear_editor_flags(e);
        if (ticks % 5 == 0) {
            last_smooth = static_cast<float>(ticks % 10) * 0.01f;  // settles within milliseconds
            b2::set_slot(e, b2::BANK_PENDING, b2::ID_SMOOTH, last_smooth);
        }
        ++ticks;
    }

    void run() {
        while (!audio_done->load(std::memory_order_acquire) || ticks < kMinEditorTicks) {
            tick();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
};

TEST(PluginConcurrency, HostAudioAndEditorThreadsShareOneInstance) {
    auto adapter = b2test::make_adapter(48000.0, kBlockLength);
    riser::Vst3Adapter* a = adapter.get();
    b2::engine* e = a->get_engine();

    // A state with some values away from their defaults, to load now and then.
    a->setParamNormalized(b2::ID_RMS_LOW, 0.2);
    a->setParamNormalized(b2::ID_CREST_LOW, 0.8);
    b2test::ByteStream saved_stream;
    a->getState(&saved_stream);
    const std::vector<uint8_t> saved = saved_stream.bytes;

    std::atomic<bool> audio_done{false};
    AudioThread audio{a};
    HostThread host{a, &saved, &audio_done};
    EditorThread editor{e, &audio_done, 0, 0, 0, 0, 0, 0.0f, {}};
    std::thread editor_thread([&] { editor.run(); });
    std::thread host_thread([&] { host.run(); });
    std::thread audio_thread([&] {
        audio.run();
        audio_done.store(true, std::memory_order_release);
    });
    audio_thread.join();
    host_thread.join();
    editor_thread.join();

    EXPECT_EQ(audio.calls, kAudioCalls);
    EXPECT_EQ(audio.non_finite, 0);
    EXPECT_GE(host.ops, kMinHostOps);
    EXPECT_EQ(host.bad_results, 0);
    EXPECT_EQ(host.last_state_size, saved.size());
    EXPECT_GE(editor.ticks, kMinEditorTicks);
    EXPECT_GT(editor.takes, 0);
    EXPECT_EQ(editor.bad_snapshots, 0);
    EXPECT_GT(editor.values_seen, 0);
    EXPECT_EQ(editor.out_of_range, 0);

    // The last writes of every thread hold, and the loaded state under them.
    for (const FinalValue& f : kFinal)
        EXPECT_NEAR(a->getParamNormalized(static_cast<ParamID>(f.id)), read_back(f.id, f.normalized), 1e-6) << f.id;
    EXPECT_NEAR(a->getParamNormalized(b2::ID_RMS_LOW), read_back(b2::ID_RMS_LOW, 0.2), 1e-6);
    EXPECT_NEAR(a->getParamNormalized(b2::ID_CREST_LOW), read_back(b2::ID_CREST_LOW, 0.8), 1e-6);

    // The chain follows them: the pending edit arrives with the next call,
    // and after the gain ramp has settled the output carries the final gain.
    b2test::Block b(kBlockLength, 0.25f);
    for (int i = 0; i < 200; ++i) a->process(b.data);
    EXPECT_EQ(b2::global_value(e, b2::ID_SMOOTH), editor.last_smooth);
    const float gain = std::pow(10.0f, b2::to_plain(b2::ID_GAIN, 0.6f) / 20.0f);
    EXPECT_NEAR(b.out[0][kBlockLength - 1], 0.25f * gain, 1e-4f);
    EXPECT_NEAR(b.out[1][kBlockLength - 1], 0.25f * gain, 1e-4f);
}

// A host write from another thread can land while the strips run, after the
// left strip's gain module has looked at its change flag and before the
// sub-block's flags are cleared. Made deterministic here: the left
// detector's publication hook, which runs between the two strips, performs
// the host's write. Both channels must follow it.
int host_writes_gain(lua_State* L) {
    auto* e = static_cast<b2::engine*>(lua_touserdata(L, 1));
    b2::set_global_value(e, b2::ID_GAIN, 12.0f);
    return 0;
}

TEST(PluginConcurrency, AHostWriteLandingMidBlockReachesBothChannels) {
    auto a = b2test::make_adapter(48000.0, kBlockLength);
    b2::engine* e = a->get_engine();
    const char script[] = R"(
        armed = false
        function drt(e, code, obj, a, b, c)
          if code == 598544 then
            if armed then armed = false; host_writes_gain(e) end
            return dlo(2, e, 598560, obj, 0, 0, 0)
          end
          return 0
        end)";
    lua_State* L = b2::create_script_state(script, std::strlen(script));
    ASSERT_NE(L, nullptr);
    lua_register(L, "host_writes_gain", host_writes_gain);
    b2::close_script_state(e->audio_state);
    e->audio_state = L;

    b2test::Block b(kBlockLength, 0.25f);
    for (int i = 0; i < 20; ++i) a->process(b.data);
    lua_pushboolean(L, 1);
    lua_setglobal(L, "armed");
    for (auto& strip : e->strips) strip.detector.snapshot.ready.store(0, std::memory_order_release);
    for (int i = 0; i < 100; ++i) a->process(b.data);

    EXPECT_EQ(b2::global_value(e, b2::ID_GAIN), 12.0f);
    const float want = 0.25f * std::pow(10.0f, 12.0f / 20.0f);
    EXPECT_NEAR(b.out[0][kBlockLength - 1], want, 1e-4f);
    EXPECT_NEAR(b.out[1][kBlockLength - 1], want, 1e-4f);
}

}  // namespace
