#include "dsp/meter_snapshot.h"

#include "engine/engine.h"

namespace b2 {

namespace {

bool both_set(engine* e, std::atomic<uint8_t> MeterSnapshot::*flag) {
    return (e->strips[0].detector.snapshot.*flag).load(std::memory_order_acquire) == 1 &&
           (e->strips[1].detector.snapshot.*flag).load(std::memory_order_acquire) == 1;
}

}  // namespace

bool take_meter_snapshots(engine* e, MeterSnapshot out[2]) {
    if (!e || !both_set(e, &MeterSnapshot::ready)) return false;
    for (int c = 0; c < 2; ++c) {
        MeterSnapshot& s = e->strips[c].detector.snapshot;
        out[c].copy_values(s);
        s.ready.store(0, std::memory_order_release);
    }
    return true;
}

bool take_scale_change(engine* e) {
    if (!e || !both_set(e, &MeterSnapshot::scaleChanged)) return false;
    for (auto& strip : e->strips) strip.detector.snapshot.scaleChanged.store(0, std::memory_order_release);
    return true;
}

}  // namespace b2
