// The engine: value banks, event lists, transport and the 16-sample block loop.
#pragma once

#include <atomic>
#include <cstdint>

#include "dsp/channel_strip.h"
#include "engine/events.h"
#include "engine/param_table.h"
#include "engine/strip_wiring.h"
#include "dsp/value_slot.h"

struct lua_State;
namespace Steinberg { namespace Base { namespace Thread { class FLock; } } }

namespace b2 {

constexpr int kBankCount = 7;
constexpr int kVoiceBanks = 4;  // banks 0..3
constexpr int BANK_PENDING = 4;
constexpr int BANK_EDITOR = 5;
constexpr int BANK_GLOBAL = 6;

// What the engine forwards the editor's gestures to (the plug-in object).
class host_adapter {
public:
    virtual ~host_adapter() = default;
    virtual void begin_edit(int id) = 0;
    virtual void perform_edit(int id, double normalized) = 0;
    virtual void end_edit(int id) = 0;
    // Something stored in the state that is not a host parameter changed
    // (the loudness settings): the host should store the state again.
    virtual void state_changed() {}
};

struct loudness_stage;

struct engine {
    char host_name[128] = {};
    event_list in_events;
    event_list out_events;
    value_slot banks[kBankCount][kParamCount];
    std::atomic<uint8_t> dirty{0};
    ChannelStrip strips[2];
    uint8_t playing = 0;
    // The current process call carried the host's transport state (a process
    // context); without one `playing` and the positions are stale.
    uint8_t transport_valid = 0;
    uint8_t cycle_active = 0;
    int64_t project_time_samples = 0;
    double project_time_ticks = 0;
    double cycle_start_ticks = 0;
    double cycle_end_ticks = 0;
    double tempo_ticks = 0;
    const char* status_message = nullptr;  // not owned
    float status_time = 0;                 // ms left; <= 0 means none
    lua_State* ui_state = nullptr;
    lua_State* audio_state = nullptr;
    Steinberg::Base::Thread::FLock* ui_lock = nullptr;
    Steinberg::Base::Thread::FLock* audio_lock = nullptr;
    std::atomic<uint8_t> mailbox_turn{0};
    int32_t mailbox_a = 0;
    char mailbox_text[128] = {};
    int32_t mailbox_b = 0;
    std::atomic<uint8_t> editor_countdown{0};
    std::atomic<uint8_t> pending_busy{0};  // a thread is copying the pending bank
    host_adapter* adapter = nullptr;
    // The 16-sample grid belongs to the stream, not to the host's calls:
    // samples of the current cell already run (0..15), and whether global
    // change flags were taken during it (they are cleared when it completes).
    int32_t cell_position = 0;
    bool cell_flags_taken = false;
    // The loudness meters on the strips' output (engine/loudness_stage.h).
    loudness_stage* loudness = nullptr;
};

// Creates an engine with the defaults loaded into the global and editor banks.
// Returns null when memory runs out.
engine* create_engine(host_adapter* adapter);
// Frees the engine and everything it owns (rings, event storage, blobs, scripts).
void destroy_engine(engine* e);

// Bank writes: value, then `changed`, then `dirty`. Ids outside 0..30 are ignored.
void set_slot(engine* e, int bank, int slot, float value);
void set_global_value(engine* e, int slot, float value);
float global_value(const engine* e, int slot);
void clear_editor_flags(engine* e);
// Copies a block into a slot; the first assignment fixes the slot's size and a
// block of another size is not copied.
void assign_blob(value_slot& slot, uint32_t size, const uint8_t* bytes);

// Editor gestures forwarded to the plug-in object (perform_edit normalises).
void begin_edit(engine* e, int slot);
void perform_edit(engine* e, int slot, float plain);
void end_edit(engine* e, int slot);

// The block loop. `inputs` / `outputs` are two channel pointers or null.
// Any length is accepted; 0 applies the call's events without running audio.
void process_block(engine* e, float* const* inputs, float* const* outputs, int32_t samples);
// Copies the pending bank's changed slots into the other banks. Called by
// the block loop and by the editor's tick; while one thread copies, a call
// from the other returns at once and leaves the work to it.
void propagate_pending(engine* e);
void dispatch_events(engine* e, int32_t from, int32_t to);
void clear_change_flags(engine* e);
void apply_sample_rate(engine* e, bool force);
// Puts both gain smoothers back where a new engine starts (silence, fading in
// to the gain), so a new set-up never inherits the state of an earlier stream.
// Not while the block loop runs.
void reset_gain_state(engine* e);

}  // namespace b2
