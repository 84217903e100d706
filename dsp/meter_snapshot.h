// The block of meter values a level detector publishes for the editor.
#pragma once

#include <atomic>
#include <cstdint>

namespace b2 {

// Threshold groups: each meter view reads its (clip, high, low) triple.
enum : int { kClip = 0, kHigh = 1, kLow = 2 };

// Values of a snapshot's `ready` byte.
enum : uint8_t {
    kSnapshotTaken = 0,      // the editor has taken it: the detector may publish
    kSnapshotPublished = 1,  // published: the editor may take it
    // Taken, and since then the editor has shown the meters falling because no
    // audio arrived: the detector drops the levels it measured before the stop
    // and publishes from silence.
    kSnapshotStale = 2,
};

struct MeterSnapshot {
    float heldPeakDb = 0;
    float peakDb = 0;
    float heldRmsDb = 0;
    float rmsDb = 0;
    float heldCrestDb = 0;
    float crestDb = 0;
    float peakThresholds[3] = {};   // clip, high, low
    float rmsThresholds[3] = {};    // clip stays 0
    float crestThresholds[3] = {};  // clip stays 0
    float scaleTop = 0;
    float scaleZero = 0;
    float segmentHeight = 0;
    // Hand-over bytes: the audio thread sets them with release once the
    // fields are written; the editor tests them with acquire and clears them
    // (or marks a taken snapshot stale, compare-and-swap from taken).
    std::atomic<uint8_t> scaleChanged{0};
    std::atomic<uint8_t> ready{0};

    MeterSnapshot() = default;
    MeterSnapshot(const MeterSnapshot& o) { *this = o; }
    MeterSnapshot& operator=(const MeterSnapshot& o) {
        copy_values(o);
        scaleChanged.store(o.scaleChanged.load(std::memory_order_relaxed), std::memory_order_relaxed);
        ready.store(o.ready.load(std::memory_order_relaxed), std::memory_order_relaxed);
        return *this;
    }
    // Copies every float field (the editor's copy of a published snapshot).
    void copy_values(const MeterSnapshot& o) {
        heldPeakDb = o.heldPeakDb;
        peakDb = o.peakDb;
        heldRmsDb = o.heldRmsDb;
        rmsDb = o.rmsDb;
        heldCrestDb = o.heldCrestDb;
        crestDb = o.crestDb;
        for (int i = 0; i < 3; ++i) {
            peakThresholds[i] = o.peakThresholds[i];
            rmsThresholds[i] = o.rmsThresholds[i];
            crestThresholds[i] = o.crestThresholds[i];
        }
        scaleTop = o.scaleTop;
        scaleZero = o.scaleZero;
        segmentHeight = o.segmentHeight;
    }
};

}  // namespace b2
