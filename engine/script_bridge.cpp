#include "engine/script_bridge.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include <lua.hpp>

#include "base/thread/include/flock.h"
#include "engine/engine.h"
#include "engine/events.h"
#include "engine/services.h"
#include "resources/resource_table.h"
#include "resources/scramble.h"

namespace b2 {

using Steinberg::Base::Thread::FLock;

namespace {

std::atomic<uint64_t> g_allocations{0};

// Each state's allocator counts what it hands out, so a hook call can tell
// whether the state's memory moved while it ran.
struct script_heap {
    std::atomic<uint64_t> allocations{0};
};

void* script_alloc(void* ud, void* ptr, size_t, size_t size) {
    if (size == 0) {
        std::free(ptr);
        return nullptr;
    }
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    static_cast<script_heap*>(ud)->allocations.fetch_add(1, std::memory_order_relaxed);
    return std::realloc(ptr, size);
}

script_heap* heap_of(lua_State* L) {
    void* ud = nullptr;
    lua_getallocf(L, &ud);
    return static_cast<script_heap*>(ud);
}

// Lua grows a state's call records and stack when a call goes deeper than
// any before, and its collector gives unused ones back. So that no hook on
// the audio thread ever makes it grow, the state is taken deeper than any
// hook goes (call levels and stack slots) after it is made and again after
// any call during which its memory moved; a state already that deep
// allocates nothing here.
constexpr int kWarmDepth = 64;
constexpr int kWarmSlots = 512;
const char kWarmChunk[] = "local function w(n) if n > 0 then return 1 + w(n - 1) end return 0 end return w";
const char kWarmKey = 0;  // its address keys the warm-up function in the registry

void keep_warm_function(lua_State* L) {
    if (luaL_loadbufferx(L, kWarmChunk, sizeof kWarmChunk - 1, "warm", "t") != LUA_OK ||
        lua_pcall(L, 0, 1, 0) != LUA_OK) {
        lua_pop(L, 1);
        return;
    }
    lua_rawsetp(L, LUA_REGISTRYINDEX, &kWarmKey);
}

void warm(lua_State* L) {
    lua_checkstack(L, kWarmSlots);
    if (lua_rawgetp(L, LUA_REGISTRYINDEX, &kWarmKey) != LUA_TFUNCTION) {
        lua_pop(L, 1);
        return;
    }
    lua_pushinteger(L, kWarmDepth);
    if (lua_pcall(L, 1, 0, 0) != LUA_OK) lua_pop(L, 1);
}

engine* engine_arg(lua_State* L, int index) { return static_cast<engine*>(lua_touserdata(L, index)); }

// A service argument: a string's bytes by address, a number as u64.
uint64_t service_arg(lua_State* L, int index) {
    switch (lua_type(L, index)) {
        case LUA_TSTRING: return reinterpret_cast<uintptr_t>(lua_tostring(L, index));
        case LUA_TLIGHTUSERDATA: return reinterpret_cast<uintptr_t>(lua_touserdata(L, index));
        case LUA_TNUMBER: {
            int is_int = 0;
            lua_Integer i = lua_tointegerx(L, index, &is_int);
            if (is_int) return static_cast<uint64_t>(i);
            const lua_Number n = lua_tonumber(L, index);
            // Out-of-range and non-finite numbers have no u64 value.
            if (!(n >= 0.0 && n < 18446744073709551616.0)) return 0;
            return static_cast<uint64_t>(n);
        }
        default: return 0;
    }
}

uint64_t integer_arg(lua_State* L, int index) { return static_cast<uint64_t>(lua_tointeger(L, index)); }

// gne(list address) -> record address
int native_gne(lua_State* L) {
    auto* list = reinterpret_cast<event_list*>(static_cast<uintptr_t>(integer_arg(L, 1)));
    engine_event* ev = list ? acquire_event(*list) : nullptr;
    lua_pushinteger(L, static_cast<lua_Integer>(reinterpret_cast<uintptr_t>(ev)));
    return 1;
}

// lg(...): accepts anything, does nothing.
int native_lg(lua_State*) { return 0; }

// The byte length of a string argument, so that services never read past it.
uint64_t service_arg_length(lua_State* L, int index) {
    if (lua_type(L, index) != LUA_TSTRING) return kNotAString;
    size_t length = 0;
    lua_tolstring(L, index, &length);
    return length;
}

// dlo(selector, engine, code, a1, a2, a3, a4) -> integer
int native_dlo(lua_State* L) {
    const int selector = static_cast<int>(lua_tointeger(L, 1));
    engine* e = engine_arg(L, 2);
    const int64_t code = static_cast<int64_t>(service_arg(L, 3));
    service_args args;
    for (int i = 0; i < 4; ++i) {
        args.a[i] = service_arg(L, 4 + i);
        args.length[i] = service_arg_length(L, 4 + i);
    }
    const int64_t result = run_service(selector, e, code, args);
    lua_pushinteger(L, static_cast<lua_Integer>(result));
    return 1;
}

// gsm(engine, side, A, text, B) -> turn, A', text', B'
int native_gsm(lua_State* L) {
    engine* e = engine_arg(L, 1);
    if (!e) {
        lua_pushinteger(L, 0);
        lua_pushinteger(L, 0);
        lua_pushstring(L, "");
        lua_pushinteger(L, 0);
        return 4;
    }
    const lua_Integer side = lua_tointeger(L, 2);
    const uint8_t turn = e->mailbox_turn.load(std::memory_order_acquire);
    uint32_t a = 0, b = 0;
    char text[sizeof e->mailbox_text] = {};
    if (side == turn) {
        a = static_cast<uint32_t>(e->mailbox_a);
        b = static_cast<uint32_t>(e->mailbox_b);
        std::memcpy(text, e->mailbox_text, sizeof text);
        e->mailbox_b = static_cast<int32_t>(lua_tointeger(L, 5));
        e->mailbox_a = static_cast<int32_t>(lua_tointeger(L, 3));
        const char* posted = lua_isstring(L, 4) ? lua_tostring(L, 4) : "";
        std::strncpy(e->mailbox_text, posted, sizeof e->mailbox_text - 1);
        e->mailbox_text[sizeof e->mailbox_text - 1] = 0;
        e->mailbox_turn.store(turn == 1 ? 0 : 1, std::memory_order_release);
    }
    lua_pushinteger(L, turn);
    lua_pushinteger(L, a);
    lua_pushstring(L, text);
    lua_pushinteger(L, b);
    return 4;
}

// gr4(x, y) -> ((y >> 19) + (x >> 17)) & 3, logical shifts
int native_gr4(lua_State* L) {
    const uint64_t x = integer_arg(L, 1), y = integer_arg(L, 2);
    lua_pushinteger(L, static_cast<lua_Integer>(((y >> 19) + (x >> 17)) & 3u));
    return 1;
}

FLock* lock_of(engine* e, int side) { return side == SIDE_EDITOR ? e->ui_lock : e->audio_lock; }
lua_State* state_of(engine* e, int side) { return side == SIDE_EDITOR ? e->ui_state : e->audio_state; }

}  // namespace

lua_State* create_script_state(const char* source, unsigned long length) {
    auto* heap = new (std::nothrow) script_heap();
    if (!heap) return nullptr;
    lua_State* L = lua_newstate(script_alloc, heap);
    if (!L) {
        delete heap;
        return nullptr;
    }
    luaL_openlibs(L);
    lua_register(L, "gne", native_gne);
    lua_register(L, "lg", native_lg);
    lua_register(L, "dlo", native_dlo);
    lua_register(L, "gsm", native_gsm);
    lua_register(L, "gr4", native_gr4);
    if (source && luaL_loadbufferx(L, source, length, "b2", "t") == LUA_OK) {
        if (lua_pcall(L, 0, 0, 0) != LUA_OK) lua_pop(L, 1);
    } else if (source) {
        lua_pop(L, 1);  // the load error
    }
    keep_warm_function(L);
    warm(L);
    return L;
}

void close_script_state(lua_State* L) {
    if (!L) return;
    script_heap* heap = heap_of(L);
    lua_close(L);
    delete heap;
}

lua_State* create_embedded_script_state() {
    const resource_entry* chunk = find_resource("script");
    if (!chunk) return create_script_state(nullptr, 0);
    auto* buffer = static_cast<uint8_t*>(std::malloc(chunk->size ? chunk->size : 1));
    if (!buffer) return nullptr;
    std::memcpy(buffer, chunk->data, chunk->size);
    if (chunk->scrambled) unscramble_bytes(buffer, chunk->size);
    lua_State* L = create_script_state(reinterpret_cast<const char*>(buffer), chunk->size);
    std::free(buffer);
    return L;
}

bool create_scripts(engine* e) {
    e->ui_state = create_embedded_script_state();
    e->audio_state = create_embedded_script_state();
    e->ui_lock = new (std::nothrow) FLock("FLock");
    e->audio_lock = new (std::nothrow) FLock("FLock");
    return e->ui_state && e->audio_state && e->ui_lock && e->audio_lock;
}

void destroy_scripts(engine* e) {
    close_script_state(e->ui_state);
    close_script_state(e->audio_state);
    delete e->ui_lock;
    delete e->audio_lock;
    e->ui_state = e->audio_state = nullptr;
    e->ui_lock = e->audio_lock = nullptr;
}

int64_t call_hook(int side, engine* e, int64_t code, uint64_t object, uint64_t a, uint64_t b, uint64_t c) {
    if (!e) return 0;
    lua_State* L = state_of(e, side);
    FLock* lock = lock_of(e, side);
    if (!L || !lock) return 0;
    if (!lock->trylock()) lock->lock();
    script_heap* heap = heap_of(L);
    const uint64_t allocations = heap->allocations.load(std::memory_order_relaxed);
    lua_getglobal(L, side == SIDE_EDITOR ? "dui" : "drt");
    lua_pushlightuserdata(L, e);
    lua_pushinteger(L, static_cast<lua_Integer>(code));
    lua_pushinteger(L, static_cast<lua_Integer>(object));
    lua_pushinteger(L, static_cast<lua_Integer>(a));
    lua_pushinteger(L, static_cast<lua_Integer>(b));
    lua_pushinteger(L, static_cast<lua_Integer>(c));
    int64_t result = 0;
    if (lua_pcall(L, 6, 1, 0) == LUA_OK) {
        int is_int = 0;
        const lua_Integer r = lua_tointegerx(L, -1, &is_int);
        result = is_int ? static_cast<int64_t>(r) : 0;
    }
    lua_pop(L, 1);
    // A call that allocated may have let the collector shrink the state:
    // deepen it again before the lock goes, on the thread that allocated.
    if (heap->allocations.load(std::memory_order_relaxed) != allocations) warm(L);
    lock->unlock();
    return result;
}

uint64_t script_allocation_count() { return g_allocations.load(std::memory_order_relaxed); }

}  // namespace b2
