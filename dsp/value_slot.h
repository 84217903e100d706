// One parameter value with its change flag: written by whoever owns the
// parameters, read by the signal chain's modules through pointers.
#pragma once

#include <atomic>
#include <cstdint>

namespace b2 {

// A value and its change flag travel between threads without a lock: the
// writer stores the value (relaxed), then sets `changed` with release; a
// reader that sees `changed` with acquire also sees the value.
struct value_slot {
    std::atomic<float> value{0.0f};
    uint32_t blob_size = 0;        // fixed by the first blob assignment
    uint8_t* blob_data = nullptr;  // owned by the slot (shared with voice banks)
    std::atomic<uint8_t> changed{0};

    float get() const { return value.load(std::memory_order_relaxed); }
    bool is_changed() const { return changed.load(std::memory_order_acquire) != 0; }
    void put(float v) {
        value.store(v, std::memory_order_relaxed);
        changed.store(1, std::memory_order_release);
    }
    void clear_changed() { changed.store(0, std::memory_order_relaxed); }
    // Clears the flag and tells whether it was set, in one step: a change
    // written after it keeps its flag. The value read afterwards is at least
    // as new as the change taken.
    bool take_changed() { return changed.exchange(0, std::memory_order_acq_rel) != 0; }
};

}  // namespace b2
