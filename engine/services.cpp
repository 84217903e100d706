#include "engine/services.h"

#include <atomic>
#include <cstring>

#include "dsp/channel_strip.h"
#include "dsp/readouts.h"
#include "engine/engine.h"
#include "engine/rng.h"
#include "engine/state_io.h"
#include "pluginterfaces/base/funknown.h"

namespace b2 {

namespace {

std::atomic<const editor_routines*> g_editor{nullptr};

template <typename T>
T* as_ptr(uint64_t address) {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(address));
}

int64_t editor_service(engine* e, int64_t code, uint64_t a1, uint64_t a2, uint64_t a3, uint64_t a4) {
    if (code == SERVICE_STATUS_MESSAGE) {
        if (!e) return 0;
        e->status_message = as_ptr<const char>(a1);  // the script keeps the string alive
        e->status_time = static_cast<float>(static_cast<uint32_t>(a2));
        return 0;
    }
    const editor_routines* r = g_editor.load(std::memory_order_acquire);
    void* editor = as_ptr<void>(a1);
    switch (code) {
        case SERVICE_CLOSE:
            if (r && r->close) r->close(editor);
            return 0;
        case SERVICE_BEGIN_EDIT:
            if (r && r->begin_edit) r->begin_edit(editor, as_ptr<void>(a2));
            return 0;
        case SERVICE_END_EDIT:
            if (r && r->end_edit) r->end_edit(editor, as_ptr<void>(a2));
            return 0;
        case SERVICE_VALUE_CHANGED:
            if (r && r->value_changed) r->value_changed(editor, as_ptr<void>(a2));
            return 0;
        case SERVICE_NOTIFY:
            return (r && r->notify) ? r->notify(editor, as_ptr<void>(a2), as_ptr<const char>(a3)) : 0;
        case SERVICE_MOUSE_DOWN:
        case SERVICE_MOUSE_MOVED:
            if (r && r->update_status) r->update_status(editor, as_ptr<void>(a2), a3, a4);
            return 2;
        case SERVICE_OPEN:
            return (r && r->open) ? r->open(editor, as_ptr<void>(a2), a3) : 0;
        case SERVICE_STATUS_TICK:
            if (r && r->status_tick) r->status_tick(as_ptr<void>(a2));
            return 0;
        default:  // mouse entered / exited and unknown codes
            return 0;
    }
}

// Seeds the generator at `state` from the 64-bit little-endian value at
// `seed`. A string shorter than eight bytes gives only its own bytes (the
// high bytes are 0); nothing past its end is read.
void seed_from(uint64_t state, uint64_t seed, uint64_t length) {
    uint64_t value = 0;
    const size_t n = length < sizeof value ? static_cast<size_t>(length) : sizeof value;
    std::memcpy(&value, as_ptr<const void>(seed), n);  // little-endian host
    rng_seed(*as_ptr<rng_state>(state), value);
}

int64_t state_result(bool done) { return done ? 0 : Steinberg::kResultFalse; }

int64_t engine_service(engine* e, int64_t code, const service_args& args) {
    const uint64_t a1 = args.a[0], a2 = args.a[1];
    switch (code) {
        case SERVICE_WRITE_STATE:
            return state_result(write_state(e, as_ptr<Steinberg::IBStream>(a2)));
        case SERVICE_READ_STATE:
            return state_result(read_state(e, as_ptr<Steinberg::IBStream>(a2)));
        case SERVICE_RNG_JUMP:
            if (a1) rng_jump(*as_ptr<rng_state>(a1));
            return 0;
        case SERVICE_RNG_NEXT:
            return a1 ? rng_next(*as_ptr<rng_state>(a1)) : 0;
        case SERVICE_GLOBAL_RNG_NEXT:
            return global_rng_next();
        case SERVICE_RNG_SEED:
            if (a1 && a2) seed_from(a1, a2, args.length[1]);
            return 0;
        case SERVICE_READOUTS:
            if (a1) updateReadouts(*as_ptr<LevelDetector>(a1));
            return 0;
        default:
            return 0;
    }
}

}  // namespace

void set_editor_routines(const editor_routines* routines) { g_editor.store(routines, std::memory_order_release); }

int64_t run_service(int selector, engine* e, int64_t code, const service_args& args) {
    if (selector == SERVICES_EDITOR) return editor_service(e, code, args.a[0], args.a[1], args.a[2], args.a[3]);
    if (selector == SERVICES_ENGINE) return engine_service(e, code, args);
    return 0;
}

int64_t run_service(int selector, engine* e, int64_t code, uint64_t a1, uint64_t a2, uint64_t a3, uint64_t a4) {
    const service_args args = {{a1, a2, a3, a4}, {kNotAString, kNotAString, kNotAString, kNotAString}};
    return run_service(selector, e, code, args);
}

}  // namespace b2
