// The script bridge: hook calls, the native functions and the services.
#include <gtest/gtest.h>

#include <lua.hpp>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "engine/engine.h"
#include "tests/test_support.h"
#include "engine/rng.h"
#include "engine/script_bridge.h"
#include "engine/services.h"
#include "resources/resource_table.h"
#include "resources/scramble.h"

using namespace b2;

namespace {

using b2test::EnginePtr;

// Replaces one side's script with `source`.
void load_script(engine* e, int side, const std::string& source) {
    lua_State*& L = side == SIDE_EDITOR ? e->ui_state : e->audio_state;
    close_script_state(L);
    L = create_script_state(source.c_str(), source.size());
    ASSERT_NE(L, nullptr);
}

lua_Integer global_int(lua_State* L, const char* name) {
    lua_getglobal(L, name);
    const lua_Integer v = lua_tointeger(L, -1);
    lua_pop(L, 1);
    return v;
}

}  // namespace

TEST(ScriptHooks, MissingEngineStateOrFunctionGivesZero) {
    EXPECT_EQ(call_hook(SIDE_AUDIO, nullptr, 1, 0, 0, 0, 0), 0);
    EnginePtr e(create_engine(nullptr));
    load_script(e.get(), SIDE_AUDIO, "x = 1");
    EXPECT_EQ(call_hook(SIDE_AUDIO, e.get(), HOOK_SET_STATE, 0, 0, 0, 0), 0);
    // The state stays usable: define the hook afterwards and call it.
    load_script(e.get(), SIDE_AUDIO, "function drt(e, code) return code + 1 end");
    EXPECT_EQ(call_hook(SIDE_AUDIO, e.get(), 41, 0, 0, 0, 0), 42);
    close_script_state(e->ui_state);
    e->ui_state = nullptr;
    EXPECT_EQ(call_hook(SIDE_EDITOR, e.get(), 1, 0, 0, 0, 0), 0);
}

TEST(ScriptHooks, ErrorsAndNonIntegerResultsGiveZero) {
    EnginePtr e(create_engine(nullptr));
    load_script(e.get(), SIDE_AUDIO, R"(
        function drt(e, code, obj, a, b, c)
          if code == 1 then error("boom") end
          if code == 2 then return 2.5 end
          if code == 3 then return "77" end
          if code == 4 then return 6.0 end
          if code == 5 then return {} end
          if code == 6 then return obj + a + b + c end
          if code == 7 then return -9 end
        end)");
    EXPECT_EQ(call_hook(SIDE_AUDIO, e.get(), 1, 0, 0, 0, 0), 0);
    EXPECT_EQ(call_hook(SIDE_AUDIO, e.get(), 2, 0, 0, 0, 0), 0);
    EXPECT_EQ(call_hook(SIDE_AUDIO, e.get(), 3, 0, 0, 0, 0), 77);
    EXPECT_EQ(call_hook(SIDE_AUDIO, e.get(), 4, 0, 0, 0, 0), 6);
    EXPECT_EQ(call_hook(SIDE_AUDIO, e.get(), 5, 0, 0, 0, 0), 0);
    EXPECT_EQ(call_hook(SIDE_AUDIO, e.get(), 6, 1, 10, 100, 1000), 1111);
    EXPECT_EQ(call_hook(SIDE_AUDIO, e.get(), 7, 0, 0, 0, 0), -9);
    EXPECT_EQ(lua_gettop(e->audio_state), 0);  // nothing left on the stack
    // After an error the state answers again.
    EXPECT_EQ(call_hook(SIDE_AUDIO, e.get(), 3, 0, 0, 0, 0), 77);
}

// A hook that goes deep (the meter publication) allocates nothing, from its
// first call on and after other calls on the host's thread have made garbage
// and let the collector give unused call records back.
TEST(ScriptHooks, DeepHooksAllocateNothingEvenAfterTheCollectorRan) {
    EnginePtr e(create_engine(nullptr));
    load_script(e.get(), SIDE_AUDIO, R"(
        local function deep(n) if n > 0 then return 1 + deep(n - 1) end return 0 end
        function drt(e, code)
          if code == 1 then
            local t = {}
            for i = 1, 2000 do t[i] = {i, tostring(i)} end
            return #t
          end
          return deep(40)
        end)");
    const uint64_t start = script_allocation_count();
    EXPECT_EQ(call_hook(SIDE_AUDIO, e.get(), 2, 0, 0, 0, 0), 40);
    EXPECT_EQ(script_allocation_count(), start);
    for (int round = 0; round < 30; ++round) {
        ASSERT_EQ(call_hook(SIDE_AUDIO, e.get(), 1, 0, 0, 0, 0), 2000);
        const uint64_t before = script_allocation_count();
        EXPECT_EQ(call_hook(SIDE_AUDIO, e.get(), 2, 0, 0, 0, 0), 40);
        ASSERT_EQ(script_allocation_count(), before) << "round " << round;
    }
}

TEST(ScriptHooks, NestedCallsOnOneSideDoNotDeadlock) {
    EnginePtr e(create_engine(nullptr));
    static engine* s_engine;
    s_engine = e.get();
    static const editor_routines routines = {
        nullptr, nullptr,
        [](void*, void*, const char*) -> int64_t {
            return call_hook(SIDE_EDITOR, s_engine, HOOK_TICK_END, 0, 0, 0, 0) + 1;
        },
        nullptr, nullptr, nullptr, nullptr, nullptr};
    set_editor_routines(&routines);
    load_script(e.get(), SIDE_EDITOR, R"(
        ticks = 0
        function dui(e, code, obj, a, b, c)
          if code == 627280 then ticks = ticks + 1; return 10 end
          return dlo(1, e, code, obj, a, b, c)
        end)");
    // Run it on another thread so a deadlock fails the test instead of hanging the lock check.
    int64_t result = -1;
    std::thread t([&] { result = call_hook(SIDE_EDITOR, e.get(), HOOK_NOTIFY, 0, 0, 0, 0); });
    t.join();
    EXPECT_EQ(result, 11);
    EXPECT_EQ(global_int(e->ui_state, "ticks"), 1);
    set_editor_routines(nullptr);
}

TEST(ScriptNatives, MailboxTurnsAndCopies) {
    EnginePtr e(create_engine(nullptr));
    load_script(e.get(), SIDE_AUDIO, R"(
        function post(e, side, a, text, b)
          t, ra, rtext, rb = gsm(e, side, a, text, b)
        end)");
    lua_State* L = e->audio_state;
    auto post = [&](int side, int a, const char* text, int b) {
        lua_getglobal(L, "post");
        lua_pushlightuserdata(L, e.get());
        lua_pushinteger(L, side);
        lua_pushinteger(L, a);
        lua_pushstring(L, text);
        lua_pushinteger(L, b);
        ASSERT_EQ(lua_pcall(L, 5, 0, 0), LUA_OK);
    };
    auto text = [&] {
        lua_getglobal(L, "rtext");
        std::string s = lua_tostring(L, -1);
        lua_pop(L, 1);
        return s;
    };
    post(0, 5, "hello", -1);
    EXPECT_EQ(global_int(L, "t"), 0);
    EXPECT_EQ(global_int(L, "ra"), 0);
    EXPECT_EQ(e->mailbox_turn.load(), 1);
    post(0, 6, "again", 8);  // not side 0's turn: nothing taken or posted
    EXPECT_EQ(global_int(L, "t"), 1);
    EXPECT_EQ(global_int(L, "ra"), 0);
    EXPECT_EQ(text(), "");
    EXPECT_EQ(e->mailbox_a, 5);
    post(1, 9, std::string(300, 'x').c_str(), 3);  // side 1 takes side 0's post
    EXPECT_EQ(global_int(L, "t"), 1);
    EXPECT_EQ(global_int(L, "ra"), 5);
    EXPECT_EQ(global_int(L, "rb"), 0xFFFFFFFFll);  // returned as unsigned 32 bits
    EXPECT_EQ(text(), "hello");
    EXPECT_EQ(std::strlen(e->mailbox_text), 127u);  // long texts are cut
    EXPECT_EQ(e->mailbox_turn.load(), 0);
}

TEST(ScriptNatives, Gr4LgAndGne) {
    EnginePtr e(create_engine(nullptr));
    load_script(e.get(), SIDE_AUDIO, R"(
        r1 = gr4(0x20000, 0)
        r2 = gr4(0, 0x80000 * 3)
        r3 = gr4(-1, 0)
        lg("anything", 1, {}, nil)
        function take(list) return gne(list) end)");
    lua_State* L = e->audio_state;
    EXPECT_EQ(global_int(L, "r1"), 1);
    EXPECT_EQ(global_int(L, "r2"), 3);
    EXPECT_EQ(global_int(L, "r3"), ((~0ull >> 17) & 3));  // logical shift of -1
    lua_getglobal(L, "take");
    lua_pushinteger(L, static_cast<lua_Integer>(reinterpret_cast<uintptr_t>(&e->out_events)));
    ASSERT_EQ(lua_pcall(L, 1, 1, 0), LUA_OK);
    EXPECT_EQ(lua_tointeger(L, -1), static_cast<lua_Integer>(reinterpret_cast<uintptr_t>(e->out_events.items)));
    lua_pop(L, 1);
    EXPECT_EQ(e->out_events.count, 1);
}

TEST(ScriptServices, UnknownSelectorsAndCodesAnswerZero) {
    EnginePtr e(create_engine(nullptr));
    EXPECT_EQ(run_service(3, e.get(), SERVICE_GLOBAL_RNG_NEXT, 0, 0, 0, 0), 0);
    EXPECT_EQ(run_service(SERVICES_ENGINE, e.get(), 12345, 0, 0, 0, 0), 0);
    EXPECT_EQ(run_service(SERVICES_EDITOR, e.get(), SERVICE_OPEN, 0, 0, 0, 0), 0);  // no editor yet
    EXPECT_EQ(run_service(SERVICES_EDITOR, e.get(), SERVICE_MOUSE_MOVED, 0, 0, 0, 0), 2);
    const char* msg = "Hello";
    run_service(SERVICES_EDITOR, e.get(), SERVICE_STATUS_MESSAGE, reinterpret_cast<uintptr_t>(msg),
                0x100000000ull + 5000, 0, 0);
    EXPECT_EQ(e->status_message, msg);
    EXPECT_EQ(e->status_time, 5000.0f);  // low 32 bits
}

TEST(Random, Xoshiro128StarStarReferenceSequence) {
    rng_state r{{1, 2, 3, 4}};
    const uint32_t expected[] = {11520u, 0u, 5927040u, 70819200u, 2031721883u,
                                 1637235492u, 1287239034u, 3734860849u, 3729100597u, 4258142804u};
    for (uint32_t want : expected) EXPECT_EQ(rng_next(r), want);
}

TEST(Random, SeedingChainsFourSplitmixSteps) {
    // Each step adds the golden gamma to the previous step's *mixed* output.
    auto mix = [](uint64_t z) {
        z += 0x9E3779B97F4A7C15ull;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    };
    EXPECT_EQ(mix(0), 0xe220a8397b1dcdafull);  // the published first splitmix64 output for 0
    for (uint64_t seed : {0ull, 1ull, 0xFFFFFFFFFFFFFFFFull, 1765283012ull}) {
        rng_state r;
        rng_seed(r, seed);
        uint64_t z = seed;
        for (int i = 0; i < 4; ++i) {
            z = mix(z);
            EXPECT_EQ(r.s[i], static_cast<uint32_t>(z)) << seed << " word " << i;
        }
    }
}

TEST(Random, JumpIsLinearAndMovesTheState) {
    // The jump applies a fixed linear map over GF(2): jump(a ^ b) == jump(a) ^ jump(b).
    rng_state a{{0x12345678, 0x9abcdef0, 0x0fedcba9, 0x87654321}};
    rng_state b{{0xdeadbeef, 0x01234567, 0x89abcdef, 0x13579bdf}};
    rng_state x{{a.s[0] ^ b.s[0], a.s[1] ^ b.s[1], a.s[2] ^ b.s[2], a.s[3] ^ b.s[3]}};
    const rng_state a0 = a;
    rng_jump(a);
    rng_jump(b);
    rng_jump(x);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(x.s[i], a.s[i] ^ b.s[i]);
    EXPECT_NE(std::memcmp(&a, &a0, sizeof a), 0);
}

TEST(Random, ServicesReachGeneratorsAtScriptAddresses) {
    EnginePtr e(create_engine(nullptr));
    rng_state r{};
    const char seed[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    run_service(SERVICES_ENGINE, e.get(), SERVICE_RNG_SEED, reinterpret_cast<uintptr_t>(&r),
                reinterpret_cast<uintptr_t>(seed), 0, 0);
    rng_state ref;
    rng_seed(ref, 1);
    EXPECT_EQ(std::memcmp(&r, &ref, sizeof r), 0);
    EXPECT_EQ(run_service(SERVICES_ENGINE, e.get(), SERVICE_RNG_NEXT, reinterpret_cast<uintptr_t>(&r), 0, 0, 0),
              static_cast<int64_t>(rng_next(ref)));
    run_service(SERVICES_ENGINE, e.get(), SERVICE_RNG_JUMP, reinterpret_cast<uintptr_t>(&r), 0, 0, 0);
    rng_jump(ref);
    EXPECT_EQ(std::memcmp(&r, &ref, sizeof r), 0);

    global_rng_seed(42);
    rng_seed(ref, 42);
    EXPECT_EQ(run_service(SERVICES_ENGINE, e.get(), SERVICE_GLOBAL_RNG_NEXT, 0, 0, 0, 0),
              static_cast<int64_t>(rng_next(ref)));
    EXPECT_EQ(global_rng_next(), rng_next(ref));
}

TEST(Random, ASeedStringShorterThanEightBytesIsReadOnlyToItsEnd) {
    EnginePtr e(create_engine(nullptr));
    // Freed strings full of 0xFF first, so whatever lies past a short string's
    // end is unlikely to be zero; then seed from the two bytes 01 02.
    load_script(e.get(), SIDE_AUDIO, R"(
        function seed(e, state, length)
          local junk = {}
          for i = 1, 64 do junk[i] = string.rep("\255", 14) .. string.char(i) end
          junk = nil
          collectgarbage()
          local text = string.sub(string.char(1, 2, 3, 4, 5, 6, 7, 8, 9), 1, length)
          return dlo(2, e, 317984, state, text)
        end)");
    lua_State* L = e->audio_state;
    for (int length : {0, 1, 2, 7, 8, 9}) {
        rng_state r{};
        lua_getglobal(L, "seed");
        lua_pushlightuserdata(L, e.get());
        lua_pushinteger(L, static_cast<lua_Integer>(reinterpret_cast<uintptr_t>(&r)));
        lua_pushinteger(L, length);
        ASSERT_EQ(lua_pcall(L, 3, 1, 0), LUA_OK);
        lua_pop(L, 1);
        uint64_t value = 0;  // the string's bytes, little-endian, at most eight
        for (int i = std::min(length, 8) - 1; i >= 0; --i) value = (value << 8) | static_cast<uint64_t>(i + 1);
        rng_state ref;
        rng_seed(ref, value);
        EXPECT_EQ(std::memcmp(&r, &ref, sizeof r), 0) << length;
    }
}

TEST(EmbeddedScript, IsStoredScrambledAndRestoresToTheSource) {
    const resource_entry* chunk = find_resource("script");
    ASSERT_NE(chunk, nullptr);
    EXPECT_TRUE(chunk->scrambled);
    std::string plain(reinterpret_cast<const char*>(chunk->data), chunk->size);
    EXPECT_EQ(plain.find("function"), std::string::npos);  // not readable as stored
    unscramble_bytes(reinterpret_cast<uint8_t*>(&plain[0]), plain.size());
    EXPECT_NE(plain.find("function drt"), std::string::npos);
    EXPECT_NE(plain.find("function dui"), std::string::npos);
    // scramble and unscramble are inverse for any length
    for (size_t n : {0u, 1u, 255u, 4097u}) {
        std::string s(n, '\0');
        for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 31 + 7);
        std::string t = s;
        scramble_bytes(reinterpret_cast<uint8_t*>(&t[0]), n);
        unscramble_bytes(reinterpret_cast<uint8_t*>(&t[0]), n);
        EXPECT_EQ(s, t);
    }
}

TEST(EmbeddedScript, AnswersTheHooksOfBothSides) {
    EnginePtr e(create_engine(nullptr));
    // The process hook and the end of a tick have no service and answer 0.
    EXPECT_EQ(call_hook(SIDE_AUDIO, e.get(), HOOK_PROCESS, 0, 512, 48000, 0), 0);
    EXPECT_EQ(call_hook(SIDE_EDITOR, e.get(), HOOK_TICK_END, 0, 0, 0, 0), 0);
    // Mouse hooks reach the status service, which answers 2.
    EXPECT_EQ(call_hook(SIDE_EDITOR, e.get(), HOOK_MOUSE_MOVED, 0, 0, 0, 0), 2);
    EXPECT_EQ(call_hook(SIDE_EDITOR, e.get(), HOOK_MOUSE_DOWN, 0, 0, 0, 0), 2);
    // The open hook answers what the editor's open routine answers.
    static const editor_routines routines = {
        [](void*, void*, uint64_t type) -> int64_t { return type == 7 ? 1 : 0; },
        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    set_editor_routines(&routines);
    EXPECT_EQ(call_hook(SIDE_EDITOR, e.get(), HOOK_OPEN, 0, 0, 7, 0), 1);
    EXPECT_EQ(call_hook(SIDE_EDITOR, e.get(), HOOK_OPEN, 0, 0, 3, 0), 0);
    set_editor_routines(nullptr);
    EXPECT_EQ(call_hook(SIDE_EDITOR, e.get(), 999, 0, 0, 0, 0), 0);
}
