#include "engine/engine.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>

#include "engine/loudness_stage_engine.h"
#include "engine/script_bridge.h"
#include "engine/value_format.h"

namespace b2 {

namespace {

value_slot* slot_at(engine* e, int bank, int slot) {
    if (!e || bank < 0 || bank >= kBankCount || !valid_id(slot)) return nullptr;
    return &e->banks[bank][slot];
}

void mark_dirty(engine* e) { e->dirty.store(1, std::memory_order_release); }

void load_defaults(engine* e) {
    const ParamDef* table = param_table();
    for (int i = 0; i < kParamCount; ++i) {
        const ParamDef& def = table[i];
        e->banks[BANK_GLOBAL][i].put(def.defaultValue);
        e->banks[BANK_EDITOR][i].put(def.defaultValue);
        mark_dirty(e);
        if (def.flags & PF_BLOB) {
            assign_blob(e->banks[BANK_GLOBAL][i], def.defaultBlobSize, def.defaultBlob);
            assign_blob(e->banks[BANK_EDITOR][i], def.defaultBlobSize, def.defaultBlob);
        }
    }
}

bool voice_active(const engine* e, int voice) {
    return e->banks[voice][ID_VOICE_STATE].get() == 1.0f;
}

// Copies a whole slot (the blob bytes stay shared, not duplicated).
void copy_slot(value_slot& to, const value_slot& from) {
    to.value.store(from.get(), std::memory_order_relaxed);
    to.blob_size = from.blob_size;
    to.blob_data = from.blob_data;
    to.changed.store(from.changed.load(std::memory_order_acquire), std::memory_order_release);
}

void note_on(engine* e, const engine_event& ev) {
    for (int stack = 0; stack < 3; ++stack) {
        int v = 0;
        while (v < kVoiceBanks && e->banks[v][ID_VOICE_STATE].get() != 0.0f) ++v;
        if (v == kVoiceBanks) continue;  // no voice is taken away
        e->banks[v][ID_VOICE_STATE].value.store(1.0f, std::memory_order_relaxed);
        for (int i = 0; i < kParamCount; ++i) copy_slot(e->banks[v][i], e->banks[BANK_GLOBAL][i]);
        set_slot(e, v, ID_VOICE_NEW, 1.0f);
        set_slot(e, v, ID_VOICE_STATE, 1.0f);
        set_slot(e, v, ID_VOICE_STACK, static_cast<float>(stack));
        set_slot(e, v, ID_VOICE_CHANNEL, static_cast<float>(ev.channel));
        set_slot(e, v, ID_VOICE_PITCH, static_cast<float>(ev.pitch));
        set_slot(e, v, ID_VOICE_TUNING, static_cast<float>(ev.value));
        set_slot(e, v, ID_VOICE_VELOCITY, static_cast<float>(ev.velocity));
        set_slot(e, v, ID_VOICE_ID, static_cast<float>(ev.on_note_id));
    }
}

void note_off(engine* e, const engine_event& ev) {
    const float id = static_cast<float>(ev.off_note_id);
    for (int v = 0; v < kVoiceBanks; ++v) {
        if (voice_active(e, v) && e->banks[v][ID_VOICE_ID].get() == id) {
            set_slot(e, v, ID_VOICE_STATE, 0.0f);
            set_slot(e, v, ID_VOICE_ID, 0.0f);
        }
    }
}

void apply_param_change(engine* e, const engine_event& ev) {
    const int slot = ev.channel;
    if (!valid_id(slot)) return;
    const float value = static_cast<float>(ev.value);
    for (int v = 0; v < kVoiceBanks; ++v)
        if (voice_active(e, v)) e->banks[v][slot].put(value);
    e->banks[BANK_EDITOR][slot].put(value);
    e->banks[BANK_GLOBAL][slot].put(value);
    mark_dirty(e);
}

void count_down_editor(engine* e) {
    uint8_t c = e->editor_countdown.load(std::memory_order_relaxed);
    while (c != 0 && !e->editor_countdown.compare_exchange_weak(c, static_cast<uint8_t>(c - 1),
                                                                std::memory_order_relaxed)) {
    }
}

// Another thread (the host's setParamNormalized, a state load) may set a
// global change flag while the strips run, after a module has looked at it.
// Clearing every flag after the sub-block would lose that change for good,
// so the flags set before the sub-block are marked as taken and only taken
// flags are cleared after it; one set meanwhile is seen in the next one.
constexpr uint8_t kFlagTaken = 2;

void take_change_flags(engine* e) {
    for (value_slot& s : e->banks[BANK_GLOBAL]) {
        uint8_t set = 1;
        if (s.changed.load(std::memory_order_relaxed) == set)
            s.changed.compare_exchange_strong(set, kFlagTaken, std::memory_order_acq_rel, std::memory_order_relaxed);
    }
}

// clear_change_flags for the block loop: voice banks as there, the global
// bank's taken flags only.
void clear_taken_flags(engine* e) {
    for (int v = 0; v < kVoiceBanks; ++v) {
        for (value_slot& s : e->banks[v]) s.clear_changed();
        e->banks[v][ID_VOICE_NEW].value.store(0.0f, std::memory_order_relaxed);
    }
    for (value_slot& s : e->banks[BANK_GLOBAL]) {
        uint8_t taken = kFlagTaken;
        s.changed.compare_exchange_strong(taken, 0, std::memory_order_relaxed, std::memory_order_relaxed);
    }
}

// Runs samples [done, done + n) of the call as the next n samples of the
// current cell, straight on the host buffers. Absent buses read as silence and
// are not written.
void run_piece(engine* e, float* const* inputs, float* const* outputs, int32_t done, int32_t n) {
    const float* in[2];
    float* out[2];
    for (int c = 0; c < 2; ++c) {
        in[c] = (inputs && inputs[c]) ? inputs[c] + done : nullptr;
        out[c] = (outputs && outputs[c]) ? outputs[c] + done : nullptr;
    }
    const int32_t from = e->cell_position;
    processStrips(e->strips, in, out, from, from + n);
    feed_loudness_stage(e, from, n);
}

void apply_event(engine* e, const engine_event& ev) {
    switch (ev.kind) {
        case EV_NOTE_OFF: note_off(e, ev); break;
        case EV_NOTE_ON: note_on(e, ev); break;
        case EV_PARAM_CHANGE: apply_param_change(e, ev); break;
        default: break;  // controllers and reserved records are not applied
    }
}

// Applies the sorted call's events from record `next` on up to offset `to`.
// The pieces of a call come in order and every offset lies in the call, so
// each dispatch starts where the last one stopped: a call visits each event
// once, however many there are.
void dispatch_up_to(engine* e, int32_t& next, int32_t to) {
    const event_list& list = e->in_events;
    for (; next < list.count && list.items[next].sample_offset <= to; ++next) apply_event(e, list.items[next]);
}

// Applies the call's events that take effect before the piece starting at
// call offset `done`. An event at sample offset o takes effect at the start of
// its 16-sample cell, or at the start of the call when that cell began in an
// earlier call (the samples before o in it have already been run).
void dispatch_for_piece(engine* e, int32_t done, int32_t& next) {
    const int32_t pos = e->cell_position;
    if (pos == 0)
        dispatch_up_to(e, next, done + kBlock - 1);
    else if (done == 0)
        dispatch_up_to(e, next, kBlock - pos - 1);
}

// `dirty` is consumed before the strips run: a write during the run sets it
// again for the next piece. Flags taken stay set until the cell completes, so
// every module sees a change for one whole cell however the host cuts it.
void take_flags_for_piece(engine* e) {
    const bool dirty = e->dirty.load(std::memory_order_acquire) && e->dirty.exchange(0, std::memory_order_acq_rel);
    if (!dirty) return;
    take_change_flags(e);
    e->cell_flags_taken = true;
}

// A host point at or past the call's end, or before its start, still belongs
// to this call: it is applied in the call's last or first cell rather than
// dropped (hosts send such points at loop ends and after tempo changes).
void clamp_event_offsets(event_list& list, int32_t samples) {
    const int32_t last = samples > 0 ? samples - 1 : INT32_MAX;
    for (int32_t i = 0; i < list.count; ++i) {
        int32_t& at = list.items[i].sample_offset;
        if (at < 0) at = 0;
        if (at > last) at = last;
    }
}

void finish_cell(engine* e) {
    if (!e->cell_flags_taken) return;
    clear_taken_flags(e);
    e->cell_flags_taken = false;
}

}  // namespace

engine* create_engine(host_adapter* adapter) {
    engine* e = new (std::nothrow) engine();
    if (!e) return nullptr;
    e->adapter = adapter;
    init_param_table();
    load_defaults(e);
    e->loudness = create_loudness_stage();
    if (!e->loudness || !reserve_events(e->in_events, kInEventCapacity) ||
        !reserve_events(e->out_events, kOutEventCapacity) || !create_scripts(e)) {
        destroy_engine(e);
        return nullptr;
    }
    return e;
}

void destroy_engine(engine* e) {
    if (!e) return;
    destroy_scripts(e);
    releaseStrips(e);
    free_events(e->in_events);
    free_events(e->out_events);
    destroy_loudness_stage(e->loudness);
    // Voice banks only borrow the global bank's blobs.
    for (int bank = BANK_PENDING; bank < kBankCount; ++bank)
        for (value_slot& s : e->banks[bank]) std::free(s.blob_data);
    delete e;
}

void set_slot(engine* e, int bank, int slot, float value) {
    value_slot* s = slot_at(e, bank, slot);
    if (!s) return;
    s->put(value);
    mark_dirty(e);
}

void set_global_value(engine* e, int slot, float value) {
    if (!e || !valid_id(slot)) return;
    e->banks[BANK_GLOBAL][slot].put(value);
    e->banks[BANK_EDITOR][slot].put(value);
    mark_dirty(e);
}

float global_value(const engine* e, int slot) {
    if (!e || !valid_id(slot)) return 0.0f;
    return e->banks[BANK_GLOBAL][slot].get();
}

void clear_editor_flags(engine* e) {
    if (!e) return;
    for (value_slot& s : e->banks[BANK_EDITOR]) s.clear_changed();
}

void assign_blob(value_slot& slot, uint32_t size, const uint8_t* bytes) {
    if (slot.blob_size == 0 && size != 0) {
        auto* data = static_cast<uint8_t*>(std::calloc(size, 1));
        if (!data) return;
        slot.blob_data = data;
        slot.blob_size = size;
    }
    if (slot.blob_size == size && size != 0 && bytes) std::memcpy(slot.blob_data, bytes, size);
}

void begin_edit(engine* e, int slot) {
    if (e && e->adapter && valid_id(slot)) e->adapter->begin_edit(slot);
}

void perform_edit(engine* e, int slot, float plain) {
    if (e && e->adapter && valid_id(slot)) e->adapter->perform_edit(slot, to_normalized(slot, plain));
}

void end_edit(engine* e, int slot) {
    if (e && e->adapter && valid_id(slot)) e->adapter->end_edit(slot);
}

void propagate_pending(engine* e) {
    if (!e) return;
    // One copier at a time, so a thread that took an older edit can never
    // write it over a newer one taken by the other thread. Nobody waits: the
    // edits left behind keep their flags for the next call.
    if (e->pending_busy.exchange(1, std::memory_order_acquire) != 0) return;
    const ParamDef* table = param_table();
    for (int i = 0; i < kParamCount; ++i) {
        value_slot& pending = e->banks[BANK_PENDING][i];
        // Take the flag, then read: an edit that lands afterwards keeps its
        // flag and is applied next time instead of being lost.
        if (!pending.is_changed() || !pending.take_changed()) continue;
        const float value = pending.get();
        if (table[i].flags & PF_BLOB) {
            for (int bank : {BANK_GLOBAL, BANK_EDITOR}) {
                e->banks[bank][i].put(value);
                assign_blob(e->banks[bank][i], pending.blob_size, pending.blob_data);
            }
        } else {
            for (int v = 0; v < kVoiceBanks; ++v)
                if (voice_active(e, v)) e->banks[v][i].put(value);
            e->banks[BANK_EDITOR][i].put(value);
            e->banks[BANK_GLOBAL][i].put(value);
        }
        mark_dirty(e);
    }
    e->pending_busy.store(0, std::memory_order_release);
}

void dispatch_events(engine* e, int32_t from, int32_t to) {
    const uint32_t lo = static_cast<uint32_t>(from);
    const uint32_t hi = static_cast<uint32_t>(to);
    for (int32_t i = 0; i < e->in_events.count; ++i) {
        const engine_event& ev = e->in_events.items[i];
        const uint32_t at = static_cast<uint32_t>(ev.sample_offset);
        if (at >= lo && at <= hi) apply_event(e, ev);
    }
}

void clear_change_flags(engine* e) {
    for (int v = 0; v < kVoiceBanks; ++v) {
        for (value_slot& s : e->banks[v]) s.clear_changed();
        e->banks[v][ID_VOICE_NEW].value.store(0.0f, std::memory_order_relaxed);
    }
    for (value_slot& s : e->banks[BANK_GLOBAL]) s.clear_changed();
    e->dirty.store(0, std::memory_order_relaxed);
}

void apply_sample_rate(engine* e, bool force) {
    if (!e || !force) return;
    const float rate = global_value(e, ID_SAMPLE_RATE_HOST);
    set_slot(e, BANK_GLOBAL, ID_SAMPLE_RATE, rate);
    set_slot(e, BANK_GLOBAL, ID_SAMPLE_RATE_OVER, rate);
    set_slot(e, BANK_GLOBAL, ID_GLOBAL_RESET, 2.0f);
    wireStrips(e);
    prepare_loudness_stage(e, rate);
}

void reset_gain_state(engine* e) {
    if (!e) return;
    for (ChannelStrip& s : e->strips) s.gain.gain = 0.0f;
}

void process_block(engine* e, float* const* inputs, float* const* outputs, int32_t samples) {
    if (!e) return;
    propagate_pending(e);
    clamp_event_offsets(e->in_events, samples);
    sort_events(e->in_events);
    if (samples <= 0) {
        // A parameter flush (a call without audio, sent while the transport
        // stands): its changes reach the banks now, the strips run later.
        dispatch_events(e, 0, INT32_MAX);
    }
    bool counted = false;
    int32_t next = 0;  // first event not yet applied
    for (int32_t done = 0; done < samples;) {
        if (e->cell_position == 0 && !counted) {
            // Once per call, at its first cell start, so the detectors see the
            // editor's "just opened" value at the end of that cell.
            count_down_editor(e);
            counted = true;
        }
        dispatch_for_piece(e, done, next);
        take_flags_for_piece(e);
        const int32_t room = kBlock - e->cell_position;
        const int32_t n = samples - done < room ? samples - done : room;
        run_piece(e, inputs, outputs, done, n);
        e->cell_position = (e->cell_position + n) % kBlock;
        if (e->cell_position == 0) {
            finish_cell(e);
            end_loudness_cell(e);
        }
        done += n;
    }
    sort_events(e->out_events);
}

}  // namespace b2
