// The engine's loudness stage: Reset, Pause and settings raised on another
// thread while the block loop runs, readings that do not depend on how the
// host cuts the stream, and the stage left off for a caller that measures
// loudness itself.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <map>
#include <random>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "engine/loudness_stage.h"
#include "tests/test_support.h"

using namespace b2;
using b2test::EnginePtr;

namespace {

constexpr double kPi = 3.14159265358979323846;  // M_PI is not standard C++ (MinGW lacks it)

// A programme whose level moves (so the range, the maxima and the gates all
// have work): a 1 kHz tone in phrases of changing level, a little noise.
std::vector<float> programme(size_t n, uint32_t seed) {
    std::vector<float> x(n);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> noise(-0.01f, 0.01f);
    for (size_t i = 0; i < n; ++i) {
        const double level = 0.05 + 0.3 * ((i / 24000) % 7) / 6.0;
        x[i] = static_cast<float>(level * std::sin(2.0 * kPi * static_cast<double>(i % 48) / 48.0)) + noise(rng);
    }
    return x;
}

// Loudness fields of a view (the true peak is read at the group end that
// published, which need not be the same group for different cuts).
bool same_loudness(const LoudnessView& a, const LoudnessView& b) {
    return a.momentary == b.momentary && a.shortTerm == b.shortTerm && a.momentaryMax == b.momentaryMax &&
           a.shortTermMax == b.shortTermMax && a.integrated == b.integrated && a.range == b.range &&
           a.integratedSeconds == b.integratedSeconds && a.integrating == b.integrating &&
           a.userPaused == b.userPaused;
}

struct CutResult {
    std::map<uint64_t, LoudnessView> by_step;
    LoudnessView last{};
};

// Runs the stereo programme through a new engine in calls of `cut()`
// samples, taking the view after every call as the editor's timer would.
CutResult run_cut(const std::vector<float>& left, const std::vector<float>& right, std::function<int32_t()> cut) {
    EnginePtr e(b2test::make_engine(48000.0f));
    set_slot(e.get(), BANK_GLOBAL, ID_GAIN, 3.0f);
    CutResult r;
    std::vector<float> out_l(left.size()), out_r(left.size());
    const int32_t total = static_cast<int32_t>(left.size());
    for (int32_t done = 0; done < total;) {
        int32_t n = cut();
        if (n > total - done) n = total - done;
        float* in[2] = {const_cast<float*>(left.data()) + done, const_cast<float*>(right.data()) + done};
        float* out[2] = {out_l.data() + done, out_r.data() + done};
        process_block(e.get(), in, out, n);
        done += n;
        LoudnessView v;
        if (!take_loudness_view(e.get(), v)) continue;
        r.by_step.emplace(v.steps, v);
        r.last = v;
    }
    return r;
}

TEST(EngineLoudness, ReadingsDoNotDependOnTheHostsCuts) {
    const size_t n = 480000;  // 10 s, ending on a step
    const std::vector<float> left = programme(n, 1), right = programme(n, 2);
    const CutResult steps = run_cut(left, right, [] { return 256; });  // a view of every step
    ASSERT_EQ(steps.last.steps, 100u);
    ASSERT_GT(steps.last.range, 1.0);
    std::mt19937 rng(7);
    for (int longest : {700, 37}) {
        SCOPED_TRACE(longest);
        std::uniform_int_distribution<int32_t> length(1, longest);
        const CutResult r = run_cut(left, right, [&] { return length(rng); });
        int compared = 0;
        for (const auto& [step, view] : r.by_step) {
            auto it = steps.by_step.find(step);
            if (it == steps.by_step.end()) continue;
            EXPECT_TRUE(same_loudness(view, it->second)) << "step " << step;
            ++compared;
        }
        EXPECT_GE(compared, 90);
        // The view at the stream's end is the same to the bit, true peak too.
        EXPECT_TRUE(same_loudness(r.last, steps.last));
        EXPECT_EQ(r.last.steps, steps.last.steps);
        for (int c = 0; c < 2; ++c) EXPECT_EQ(r.last.truePeakDbtp[c], steps.last.truePeakDbtp[c]);
    }
}

const double kMinus23 = std::pow(10.0, -23.0 / 20.0);  // a 1 kHz sine at -23 dBFS reads -23 LUFS

// The audio side runs on its own thread; the test plays the editor.
class AudioThread {
public:
    explicit AudioThread(engine* e) : e_(e), thread_([this] { run(); }) {}
    ~AudioThread() {
        stop_.store(true);
        thread_.join();
    }

private:
    void run() {
        std::vector<float> l(480), r(480);
        int64_t n0 = 0;
        while (!stop_.load()) {
            for (int i = 0; i < 480; ++i)
                l[i] = r[i] = static_cast<float>(kMinus23 * std::sin(2.0 * kPi * static_cast<double>((n0 + i) % 48) / 48.0));
            float* in[2] = {l.data(), r.data()};
            process_block(e_, in, in, 480);
            n0 += 480;
        }
    }
    engine* e_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Takes views until one satisfies `want`; false if none does within a
// generous limit (the limit only keeps a broken stage from hanging the run).
bool wait_for(engine* e, LoudnessView& v, const std::function<bool(const LoudnessView&)>& want) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < give_up) {
        if (take_loudness_view(e, v) && want(v)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

TEST(EngineLoudness, ResetPauseAndSettingsFromTheEditorThreadReachTheAudioSide) {
    EnginePtr e(b2test::make_engine(48000.0f));
    AudioThread audio(e.get());
    LoudnessView v;
    ASSERT_TRUE(wait_for(e.get(), v, [](const LoudnessView& x) { return x.integratedSeconds >= 1.0; }));
    EXPECT_TRUE(v.integrating);
    EXPECT_GT(v.truePeakDbtp[0], -24.0);

    request_loudness_pause(e.get(), true);
    EXPECT_TRUE(loudness_pause_requested(e.get()));
    ASSERT_TRUE(wait_for(e.get(), v, [](const LoudnessView& x) { return x.userPaused; }));
    EXPECT_FALSE(v.integrating);
    // Paused: the integrated time stands still while steps go on (the step
    // under way when the pause came is not integrated either).
    const uint64_t steps = v.steps;
    const double held = v.integratedSeconds;
    ASSERT_TRUE(wait_for(e.get(), v, [&](const LoudnessView& x) { return x.steps >= steps + 10; }));
    EXPECT_EQ(v.integratedSeconds, held);
    EXPECT_GT(v.momentary, -24.0);  // momentary keeps running

    request_loudness_reset(e.get());
    ASSERT_TRUE(wait_for(e.get(), v, [](const LoudnessView& x) { return x.integratedSeconds == 0.0; }));
    EXPECT_TRUE(std::isinf(v.integrated) && v.integrated < 0);
    EXPECT_TRUE(std::isinf(v.truePeakDbtp[0]) && v.truePeakDbtp[0] < 0);  // cleared and held while paused

    request_loudness_pause(e.get(), false);
    ASSERT_TRUE(wait_for(e.get(), v, [](const LoudnessView& x) { return x.integratedSeconds >= 1.0; }));
    EXPECT_TRUE(v.integrating);
    EXPECT_NEAR(v.integrated, -23.0, 0.1);

    // A setting from this thread: Transport mode, and the block loop has no
    // transport to go by.
    LoudnessSettings s;
    s.mode = LOUDNESS_TRANSPORT;
    set_loudness_settings(e.get(), s);
    ASSERT_TRUE(wait_for(e.get(), v, [](const LoudnessView& x) { return x.transportUnknown; }));
    EXPECT_TRUE(v.integrating);
}

TEST(EngineLoudness, AStageLeftOffPublishesNothing) {
    EnginePtr e(b2test::make_engine(48000.0f));
    set_loudness_stage_enabled(e.get(), false);
    std::vector<float> l(4800, 0.5f), r(4800, 0.5f);
    float* io[2] = {l.data(), r.data()};
    LoudnessView v;
    for (int i = 0; i < 20; ++i) process_block(e.get(), io, io, 4800);
    EXPECT_FALSE(take_loudness_view(e.get(), v));
    set_loudness_stage_enabled(e.get(), true);
    bool taken = false;
    for (int i = 0; i < 12; ++i) {  // a step, and the rest of the group it ends in
        process_block(e.get(), io, io, 480);
        taken = take_loudness_view(e.get(), v) || taken;
    }
    ASSERT_TRUE(taken);
    EXPECT_EQ(v.steps, 1u);  // it measured only since it was turned on
}

}  // namespace
