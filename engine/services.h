// The native services the script reaches through `dlo`: the editor's default
// reactions (table 1) and the engine's services (table 2).
#pragma once

#include <cstdint>

namespace b2 {

struct engine;

enum : int { SERVICES_EDITOR = 1, SERVICES_ENGINE = 2 };

enum : int64_t {
    SERVICE_CLOSE = 373712,
    SERVICE_BEGIN_EDIT = 647392,
    SERVICE_END_EDIT = 691072,
    SERVICE_NOTIFY = 705104,
    SERVICE_MOUSE_DOWN = 705120,
    SERVICE_MOUSE_MOVED = 775104,
    SERVICE_MOUSE_ENTERED = 761248,
    SERVICE_MOUSE_EXITED = 769936,
    SERVICE_OPEN = 828544,
    SERVICE_VALUE_CHANGED = 832944,
    SERVICE_STATUS_MESSAGE = 842352,
    SERVICE_STATUS_TICK = 842416,
    SERVICE_WRITE_STATE = 212016,
    SERVICE_READ_STATE = 240976,
    SERVICE_RNG_JUMP = 262720,
    SERVICE_RNG_NEXT = 270672,
    SERVICE_GLOBAL_RNG_NEXT = 300704,
    SERVICE_RNG_SEED = 317984,
    SERVICE_READOUTS = 598560,
};

// The editor's routines behind the editor services. The editor registers
// them; until it does (or for a null member) the service answers 0.
struct editor_routines {
    int64_t (*open)(void* editor, void* parent, uint64_t platform_type);
    int64_t (*close)(void* editor);
    int64_t (*notify)(void* editor, void* sender, const char* message);
    int64_t (*begin_edit)(void* editor, void* control);
    int64_t (*end_edit)(void* editor, void* control);
    int64_t (*value_changed)(void* editor, void* control);
    int64_t (*update_status)(void* editor, void* frame, uint64_t point, uint64_t buttons);
    void (*status_tick)(void* editor);
};
void set_editor_routines(const editor_routines* routines);

// The arguments a1..a4 of a service call. A string from the script arrives
// as the address of its bytes with its length beside it; any other argument
// is a number (or an address whose extent the script answers for).
constexpr uint64_t kNotAString = UINT64_MAX;
struct service_args {
    uint64_t a[4];
    uint64_t length[4];  // bytes of a string argument, else kNotAString
};

// Runs the service `code` of table `selector` with the arguments a1..a4.
// Unknown selectors and codes answer 0. The state services answer 0 when the
// state was written or read and kResultFalse (1) when it was not.
int64_t run_service(int selector, engine* e, int64_t code, const service_args& args);
// The same with four arguments that are not strings.
int64_t run_service(int selector, engine* e, int64_t code, uint64_t a1, uint64_t a2, uint64_t a3, uint64_t a4);

}  // namespace b2
