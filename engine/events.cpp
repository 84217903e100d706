#include "engine/events.h"

#include <cstdlib>
#include <cstring>

namespace b2 {

namespace {

bool grow(event_list& list) {
    if (!list.items) {
        auto* items = static_cast<engine_event*>(std::calloc(kInitialEventCapacity, sizeof(engine_event)));
        if (!items) return false;
        list.items = items;
        list.capacity = kInitialEventCapacity;
        return true;
    }
    if (list.capacity > (1 << 29)) return false;  // never overflow the byte count
    int32_t capacity = list.capacity * 2;
    void* items = std::realloc(list.items, sizeof(engine_event) * static_cast<size_t>(capacity));
    if (!items) return false;
    list.items = static_cast<engine_event*>(items);
    list.capacity = capacity;
    return true;
}

// Lower by sample_offset, then kind, then source_index (signed).
bool lower(const engine_event& a, const engine_event& b) {
    if (a.sample_offset != b.sample_offset) return a.sample_offset < b.sample_offset;
    if (a.kind != b.kind) return a.kind < b.kind;
    return a.source_index < b.source_index;
}

}  // namespace

engine_event* append_event(event_list& list) {
    if (!list.items && !grow(list)) return nullptr;
    if (list.count >= list.capacity) return nullptr;  // an earlier growth failed
    int32_t index = list.count++;
    // Storage doubles when the new count reaches capacity; if that fails the
    // record handed out now is still valid and the next append reports null.
    if (list.count >= list.capacity) grow(list);
    return &list.items[index];
}

engine_event* acquire_event(event_list& list) {
    for (int32_t i = 0; i < list.count; ++i)
        if (list.items[i].in_use == 0) return &list.items[i];
    return append_event(list);
}

void sort_events(event_list& list) {
    engine_event* items = list.items;
    for (int32_t i = 0; i + 1 < list.count; ++i)
        for (int32_t j = i + 1; j < list.count; ++j)
            if (lower(items[j], items[i])) {
                engine_event t = items[i];
                items[i] = items[j];
                items[j] = t;
            }
}

void free_events(event_list& list) {
    std::free(list.items);
    list.items = nullptr;
    list.capacity = 0;
    list.count = 0;
}

}  // namespace b2
