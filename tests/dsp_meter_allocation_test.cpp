// The audio path allocates nothing once it runs: the block loop, the process
// hook and the detectors' publications with their script calls. Every
// allocation through operator new in this program is counted, and the script
// states count their own.
#include <gtest/gtest.h>

#include <lua.hpp>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "engine/script_bridge.h"
#include "tests/counting_new.h"
#include "tests/test_support.h"

namespace {

using b2test::EnginePtr;

struct Counts {
    unsigned long long news;
    uint64_t script;
};
Counts counts() { return {b2test::news_so_far(), b2::script_allocation_count()}; }

// Drives an engine as host and editor would: one process call of 64 samples
// with the process hook, and every few calls an editor tick that copies both
// published snapshots and hands them back.
struct Session {
    EnginePtr e{b2test::make_engine(48000.0f)};
    std::vector<float> in[2] = {std::vector<float>(64), std::vector<float>(64)};
    std::vector<float> out[2] = {std::vector<float>(64), std::vector<float>(64)};
    b2::MeterSnapshot shown[2];
    long calls = 0;
    long takes = 0;

    void call() {
        for (int i = 0; i < 64; ++i) {
            const double t = static_cast<double>(calls * 64 + i);
            const float level = 0.2f + 0.7f * static_cast<float>((calls / 50) % 4) / 3.0f;
            in[0][i] = level * static_cast<float>(std::sin(t * 0.0654));
            in[1][i] = level * static_cast<float>(std::sin(t * 0.0231)) * 0.5f;
        }
        // A parameter now and then, so the recomputing paths run too.
        if (calls % 100 == 0) {
            b2::set_global_value(e.get(), b2::ID_RMS_WINDOW, (calls / 100) % 2 ? 300.0f : 1000.0f);
            b2::set_global_value(e.get(), b2::ID_SCALE_TOP, static_cast<float>((calls / 100) % 3));
        }
        float* ins[2] = {in[0].data(), in[1].data()};
        float* outs[2] = {out[0].data(), out[1].data()};
        b2::call_hook(b2::SIDE_AUDIO, e.get(), b2::HOOK_PROCESS, reinterpret_cast<uintptr_t>(e.get()), 64, 48000, 0);
        b2::process_block(e.get(), ins, outs, 64);
        ++calls;
        if (calls % 3 == 0) tick();
    }
    void tick() {
        if (b2::take_meter_snapshots(e.get(), shown)) ++takes;
        b2::take_scale_change(e.get());
    }
};

void expect_no_allocations(Session& s, int calls) {
    for (int i = 0; i < 500; ++i) s.call();  // warm-up
    const long takesBefore = s.takes;
    const float peakBefore = s.shown[0].peakDb;
    const Counts before = counts();
    for (int i = 0; i < calls; ++i) s.call();
    const Counts after = counts();
    EXPECT_EQ(after.news - before.news, 0u);
    EXPECT_EQ(after.script - before.script, 0u);
    // The measured stretch did publish, and the readouts moved.
    EXPECT_EQ(s.takes - takesBefore, calls / 3);
    EXPECT_NE(s.shown[0].peakDb, peakBefore);
}

TEST(MeterAllocation, CountersSeeAllocations) {
    const Counts before = counts();
    std::unique_ptr<int> p(new int(3));
    EXPECT_EQ(counts().news - before.news, 1u);
    EnginePtr e(b2test::make_engine(48000.0f));
    const Counts mid = counts();
    lua_State* L = e->audio_state;
    luaL_dostring(L, "t = {} for i = 1, 100 do t[i] = tostring(i) end");
    EXPECT_GT(counts().script, mid.script);
}

TEST(MeterAllocation, EmbeddedScriptAudioPathAllocatesNothing) {
    Session s;
    expect_no_allocations(s, 3000);
}

TEST(MeterAllocation, CountingScriptSeesEveryPublication) {
    Session s;
    const char script[] = R"(
        publishes = 0
        function drt(e, code, obj, a, b, c)
          if code == 598544 then
            publishes = publishes + 1
            return dlo(2, e, 598560, obj, 0, 0, 0)
          end
          return 0
        end)";
    b2::close_script_state(s.e->audio_state);
    s.e->audio_state = b2::create_script_state(script, std::string(script).size());
    ASSERT_NE(s.e->audio_state, nullptr);
    expect_no_allocations(s, 3000);
    lua_getglobal(s.e->audio_state, "publishes");
    // Two detectors: the first publication of each, then one per take.
    EXPECT_EQ(lua_tointeger(s.e->audio_state, -1), 2 + 2 * s.takes);
    lua_pop(s.e->audio_state, 1);
}

}  // namespace
