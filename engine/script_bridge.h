// The bridge between the native code and the embedded Lua script: the two
// script states of an engine, hook calls and the functions the script sees.
#pragma once

#include <cstdint>

struct lua_State;

namespace b2 {

struct engine;

enum : int { SIDE_EDITOR = 1, SIDE_AUDIO = 2 };

// Hook codes raised by the native side.
enum : int64_t {
    HOOK_PROCESS = 143040,
    HOOK_GET_STATE = 212016,
    HOOK_SET_STATE = 240976,
    HOOK_METER_PUBLISH = 598544,
    HOOK_OPEN = 828544,
    HOOK_CLOSE = 373712,
    HOOK_NOTIFY = 705104,
    HOOK_TICK_END = 627280,
    HOOK_BEGIN_EDIT = 647392,
    HOOK_END_EDIT = 691072,
    HOOK_VALUE_CHANGED = 832944,
    HOOK_MOUSE_ENTERED = 761248,
    HOOK_MOUSE_EXITED = 769936,
    HOOK_MOUSE_MOVED = 775104,
    HOOK_MOUSE_DOWN = 705120,
};

// Creates both script states (editor side first) and then their locks.
// Returns false when memory runs out; whatever was made is left for
// destroy_scripts. Errors of the script itself are ignored.
bool create_scripts(engine* e);
void destroy_scripts(engine* e);

// Creates one Lua state with the standard libraries and the native globals,
// and runs the chunk `source` (plain text) named "b2" in it. Null on failure.
lua_State* create_script_state(const char* source, unsigned long length);
// The same with the embedded script.
lua_State* create_embedded_script_state();
// Closes a state made by either (null is ignored).
void close_script_state(lua_State* L);

// Calls `dui` (side 1) or `drt` (other sides) under the side's lock. Returns
// the hook's integer result, or 0 when the engine or state is missing, the
// call fails or the result is not an integer.
int64_t call_hook(int side, engine* e, int64_t code, uint64_t object, uint64_t a, uint64_t b, uint64_t c);

// Number of allocations made by every script state so far (for tests of the
// audio path).
uint64_t script_allocation_count();

}  // namespace b2
