#include "engine/events.h"

#include <cstdlib>
#include <cstring>

namespace b2 {

namespace {

// Lower by sample_offset, then kind, then source_index (signed).
bool lower(const engine_event& a, const engine_event& b) {
    if (a.sample_offset != b.sample_offset) return a.sample_offset < b.sample_offset;
    if (a.kind != b.kind) return a.kind < b.kind;
    return a.source_index < b.source_index;
}

bool in_order(const engine_event* items, int32_t n) {
    for (int32_t i = 1; i < n; ++i)
        if (lower(items[i], items[i - 1])) return false;
    return true;
}

// Stable: a record moves only past records strictly higher than it.
void insertion_sort(engine_event* items, int32_t n) {
    for (int32_t i = 1; i < n; ++i) {
        const engine_event t = items[i];
        int32_t j = i;
        for (; j > 0 && lower(t, items[j - 1]); --j) items[j] = items[j - 1];
        items[j] = t;
    }
}

// Merges the sorted runs [lo, mid) and [mid, hi) of `from` into `to`; on ties
// the left run's record comes first, which keeps the sort stable.
void merge(const engine_event* from, engine_event* to, int32_t lo, int32_t mid, int32_t hi) {
    int32_t a = lo, b = mid, k = lo;
    while (a < mid && b < hi) to[k++] = lower(from[b], from[a]) ? from[b++] : from[a++];
    while (a < mid) to[k++] = from[a++];
    while (b < hi) to[k++] = from[b++];
}

// Bottom-up merge sort: runs of 16 sorted by insertion, then merged in
// passes that alternate between the records and the scratch.
void merge_sort(engine_event* items, engine_event* scratch, int32_t n) {
    constexpr int32_t kRun = 16;
    for (int32_t lo = 0; lo < n; lo += kRun) insertion_sort(items + lo, n - lo < kRun ? n - lo : kRun);
    engine_event* from = items;
    engine_event* to = scratch;
    for (int32_t width = kRun; width < n; width *= 2) {
        for (int32_t lo = 0; lo < n; lo += 2 * width) {
            const int32_t mid = lo + width < n ? lo + width : n;
            const int32_t hi = lo + 2 * width < n ? lo + 2 * width : n;
            merge(from, to, lo, mid, hi);
        }
        engine_event* t = from;
        from = to;
        to = t;
    }
    if (from != items) std::memcpy(items, from, sizeof(engine_event) * static_cast<size_t>(n));
}

}  // namespace

bool reserve_events(event_list& list, int32_t capacity) {
    if (list.items || capacity <= 0 || capacity > (1 << 24)) return false;
    const size_t n = static_cast<size_t>(capacity);
    auto* items = static_cast<engine_event*>(std::calloc(n, sizeof(engine_event)));
    auto* scratch = static_cast<engine_event*>(std::malloc(n * sizeof(engine_event)));
    if (!items || !scratch) {
        std::free(items);
        std::free(scratch);
        return false;
    }
    list.items = items;
    list.scratch = scratch;
    list.capacity = capacity;
    list.count = 0;
    return true;
}

engine_event* append_event(event_list& list) {
    if (list.count >= list.capacity) return nullptr;
    return &list.items[list.count++];
}

engine_event* acquire_event(event_list& list) {
    for (int32_t i = 0; i < list.count; ++i)
        if (list.items[i].in_use == 0) return &list.items[i];
    return append_event(list);
}

void sort_events(event_list& list) {
    const int32_t n = list.count;
    if (n < 2 || in_order(list.items, n)) return;
    merge_sort(list.items, list.scratch, n);
}


void free_events(event_list& list) {
    std::free(list.items);
    std::free(list.scratch);
    list.items = nullptr;
    list.scratch = nullptr;
    list.capacity = 0;
    list.count = 0;
}

}  // namespace b2
