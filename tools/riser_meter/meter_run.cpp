#include "tools/riser_meter/meter_run.h"

#include <algorithm>

#include "dsp/denormal_guard.h"
#include "engine/loudness_stage.h"
#include "engine/script_bridge.h"
#include "engine/strip_wiring.h"
#include "tools/riser_meter/history.h"

namespace riser_meter {

namespace {

void keep_max(b2::MeterSnapshot& m, const b2::MeterSnapshot& s, bool first) {
    auto upd = [first](float& a, float b) { a = first ? b : std::max(a, b); };
    upd(m.heldPeakDb, s.heldPeakDb);
    upd(m.peakDb, s.peakDb);
    upd(m.heldRmsDb, s.heldRmsDb);
    upd(m.rmsDb, s.rmsDb);
    upd(m.heldCrestDb, s.heldCrestDb);
    upd(m.crestDb, s.crestDb);
    if (first) {
        m.scaleZero = s.scaleZero;
        m.scaleTop = s.scaleTop;
    }
}

}  // namespace

MeterRun::MeterRun(double r, int max_block, const std::vector<std::pair<int, float>>& settings, bool loudness_page,
                   int loudness_target)
    : rate(r), tick_period(std::max<int64_t>(1, static_cast<int64_t>(r * 0.033))) {
    engine = b2::create_engine(nullptr);
    if (!engine) return;
    b2::set_loudness_stage_enabled(engine, loudness_page);
    if (loudness_page) {
        b2::LoudnessSettings page = b2::loudness_settings(engine);
        page.target = static_cast<uint8_t>(loudness_target);
        b2::set_loudness_settings(engine, page);
    }
    for (const auto& s : settings) b2::set_global_value(engine, s.first, s.second);
    // What a host's setupProcessing and setProcessing(true) do.
    b2::set_slot(engine, b2::BANK_GLOBAL, b2::ID_SAMPLE_PER_BLOCK, static_cast<float>(max_block));
    b2::set_slot(engine, b2::BANK_GLOBAL, b2::ID_SAMPLE_RATE_HOST, static_cast<float>(rate));
    b2::apply_sample_rate(engine, true);
    b2::set_slot(engine, b2::BANK_GLOBAL, b2::ID_GLOBAL_RESET, 1.0f);
    // A file has no audio before its first sample to fade in from: the gain
    // starts where it stays, so a click at sample 0 counts fully.
    b2::settle_gain(engine);
    const double settle_ms = b2::global_value(engine, b2::ID_RMS_WINDOW) + b2::global_value(engine, b2::ID_VALUE_HOLD);
    settle_frames = static_cast<int64_t>(rate * settle_ms / 1000.0);
}

MeterRun::~MeterRun() { b2::destroy_engine(engine); }

void MeterRun::process(float* left, float* right, int n) {
    // The engine's readings do not depend on how the stream is cut, so the
    // block is cut once more at every tick: snapshots are then taken at the
    // same stream positions whatever the host block size. Denormals are
    // flushed as in the plug-in's process call.
    riser::DenormalGuard no_denormals;
    while (n > 0) {
        const int piece = static_cast<int>(std::min<int64_t>(n, tick_period - since_tick));
        float* io[2] = {left, right};
        b2::call_hook(b2::SIDE_AUDIO, engine, b2::HOOK_PROCESS, reinterpret_cast<uintptr_t>(engine),
                      static_cast<uint64_t>(piece), static_cast<uint64_t>(rate), 0);
        b2::process_block(engine, io, io, piece);
        left += piece;
        right += piece;
        n -= piece;
        since_tick += piece;
        stream_position += piece;
        if (since_tick == tick_period) {
            since_tick = 0;
            tick();
        }
    }
}

// The editor's timer: when both channels have published, copy the snapshots
// and hand them back to the detectors.
void MeterRun::tick() {
    b2::MeterSnapshot both[2];
    if (!b2::take_meter_snapshots(engine, both)) return;
    taken.left = both[0];
    taken.right = both[1];
    keep_max(max.left, taken.left, taken_count == 0);
    keep_max(max.right, taken.right, taken_count == 0);
    ++taken_count;
    if (reading_position >= settle_frames) {
        keep_max(settled_max.left, taken.left, settled_count == 0);
        keep_max(settled_max.right, taken.right, settled_count == 0);
        ++settled_count;
    }
    if (history) history->add(reading_position, taken.left, taken.right);
    // The detectors publish their next readings at the end of the first
    // 16-sample cell after this take: that is where those readings belong.
    reading_position = (stream_position / b2::kBlock + 1) * b2::kBlock;
}

}  // namespace riser_meter
