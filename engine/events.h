// Engine events and the fixed-capacity event lists that carry them.
#pragma once

#include <cstdint>

#include "engine/param_table.h"

namespace b2 {

enum : int32_t {
    EV_NOTE_OFF = 0,
    EV_NOTE_ON = 1,
    EV_CONTROLLER = 2,    // sent to the host only
    EV_PARAM_CHANGE = 3,  // channel = slot index, value = plain value
    EV_RESERVED = 4,      // ignored
};

struct engine_event {
    int32_t in_use;         // 0 marks a record free for acquire_event
    int32_t sample_offset;
    int32_t source_index;
    double time_ticks;      // 1/64 quarter notes
    int32_t kind;
    int16_t channel;
    int16_t pitch;
    int32_t off_note_id;
    double value;
    double velocity;
    int32_t on_note_id;
};

struct event_list {
    int32_t capacity = 0;
    int32_t count = 0;
    engine_event* items = nullptr;
    // Room for `capacity` records that the sort merges through, allocated
    // with the records so that sorting never allocates.
    engine_event* scratch = nullptr;
};

// What one host call can bring into the engine. A parameter point acts at
// the start of its 16-sample cell and a later point of the same queue in that
// cell overrides it, so a queue needs one record per cell: 257 cover a call
// of 4096 samples (256 cells, plus one begun in the call before). Longer calls
// keep each queue's first 256 cells' points and its last point.
constexpr int32_t kNoteEventsPerCall = 512;
constexpr int32_t kPointsPerQueue = 257;
constexpr int32_t kInEventCapacity = kNoteEventsPerCall + kHostParamCount * kPointsPerQueue;
constexpr int32_t kOutEventCapacity = 512;

// Gives a list without storage room for `capacity` zeroed records and the
// sort's scratch. The only allocation an event list makes: the engine
// reserves its lists when it is created, before any audio-thread call.
// False when memory runs out (the list is then left without storage).
bool reserve_events(event_list& list, int32_t capacity);
// Adds a record at the end; null when the list is full (or has no storage).
// Never allocates.
engine_event* append_event(event_list& list);
// First record among `count` whose in_use is 0, else append_event.
engine_event* acquire_event(event_list& list);
inline void clear_events(event_list& list) { list.count = 0; }
// Orders records by sample_offset, kind, source_index, in place and stably:
// records equal in all three (two points of one queue at one offset) keep
// the order they were appended in, which is the host's. O(n log n) through
// the list's scratch; O(n) for a list already in order.
void sort_events(event_list& list);
void free_events(event_list& list);

}  // namespace b2
