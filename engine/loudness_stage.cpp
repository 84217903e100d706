// The loudness stage: both strips' output, collected cell by cell, measured
// by the chain's loudness and true-peak meters every kStageCells cells, and
// handed to the editor through three views (see engine/loudness_stage.h).
#include "engine/loudness_stage.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "dsp/loudness_meter.h"
#include "dsp/true_peak.h"
#include "engine/engine.h"
#include "engine/loudness_stage_engine.h"
#include "engine/loudness_targets.h"

namespace b2 {

namespace {

// A group is one inner pass of the true-peak meter, whose set-up per pass
// is the stage's largest fixed cost (16 cells against 4: about 1 ns per
// frame less).
constexpr int kStageCells = kTruePeakChunk / kBlock;
// Each cell counted brings at most kBlock samples (the first one after a
// set-up that came in mid-cell brings fewer).
constexpr int kStageRoom = kStageCells * kBlock;

enum : uint8_t { TRANSPORT_STOPPED = 0, TRANSPORT_PLAYING = 1 };

}  // namespace

struct loudness_stage {
    LoudnessMeter meter;
    TruePeak truePeak;
    // Audio side: the group being collected.
    float collected[2][kStageRoom];
    int filled = 0;
    int cells = 0;
    bool prepared = false;
    // Audio side: the decisions taken at the last group boundary.
    bool userPaused = false;
    bool paused = false;
    bool transportUnknown = false;
    uint8_t lastTransport = TRANSPORT_STOPPED;
    uint64_t publishedSteps = 0;
    bool publishDue = true;
    // Any thread to the audio side.
    std::atomic<bool> enabled{true};
    std::atomic<uint8_t> resetRequest{0};
    std::atomic<uint8_t> pauseRequest{0};
    std::atomic<uint32_t> settings{0};  // packed LoudnessSettings
    // The hand-over, three views: the audio side fills views[back], then
    // swaps it into `middle` marked fresh; the editor swaps its views[front]
    // for a fresh middle and reads it. Each view is only ever touched by the
    // side that holds its index, and the swaps (acquire and release) order
    // the writes before the reads, so neither side waits and the editor
    // always gets the newest publication.
    LoudnessView views[3];
    uint8_t back = 0;   // audio side
    uint8_t front = 2;  // editor side
    std::atomic<uint8_t> middle{1};
};

namespace {

uint32_t pack(const LoudnessSettings& s) {
    return static_cast<uint32_t>(s.mode) | static_cast<uint32_t>(s.resetOnPlay) << 8 |
           static_cast<uint32_t>(s.target) << 16 | static_cast<uint32_t>(s.relative) << 24;
}

LoudnessSettings unpack(uint32_t v) {
    LoudnessSettings s;
    s.mode = static_cast<uint8_t>(v);
    s.resetOnPlay = static_cast<uint8_t>(v >> 8);
    s.target = static_cast<uint8_t>(v >> 16);
    s.relative = static_cast<uint8_t>(v >> 24);
    return s;
}

double dbtp(float linear) {
    return linear > 0.0f ? 20.0 * std::log10(static_cast<double>(linear))
                         : -std::numeric_limits<double>::infinity();
}

// Takes the requests and the transport at a group boundary.
void take_controls(engine* e, loudness_stage& s) {
    const LoudnessSettings set = unpack(s.settings.load(std::memory_order_acquire));
    bool reset = s.resetRequest.exchange(0, std::memory_order_acq_rel) != 0;
    const bool userPaused = s.pauseRequest.load(std::memory_order_acquire) != 0;
    const bool known = e->transport_valid != 0;
    const bool transportMode = set.mode == LOUDNESS_TRANSPORT;
    if (known) {
        const uint8_t now = e->playing ? TRANSPORT_PLAYING : TRANSPORT_STOPPED;
        if (transportMode && set.resetOnPlay && !userPaused && now == TRANSPORT_PLAYING &&
            s.lastTransport == TRANSPORT_STOPPED)
            reset = true;
        s.lastTransport = now;
    }
    const bool stopped = transportMode && known && !e->playing;
    const bool paused = userPaused || stopped;
    const bool unknown = transportMode && !known;
    if (reset) {
        request_loudness_reset(s.meter);
        reset_true_peak(s.truePeak);
    }
    set_loudness_paused(s.meter, paused);
    s.truePeak.paused = paused;
    if (paused != s.paused || userPaused != s.userPaused || unknown != s.transportUnknown) s.publishDue = true;
    s.paused = paused;
    s.userPaused = userPaused;
    s.transportUnknown = unknown;
}

constexpr uint8_t kFresh = 4;  // beside the index in `middle`

void publish(loudness_stage& s) {
    const LoudnessReadings& r = s.meter.readings;
    if (r.steps != s.publishedSteps) s.publishDue = true;
    if (!s.publishDue) return;
    LoudnessView& v = s.views[s.back];
    v.momentary = r.momentary;
    v.shortTerm = r.shortTerm;
    v.momentaryMax = r.momentaryMax;
    v.shortTermMax = r.shortTermMax;
    v.integrated = r.integrated;
    v.range = r.range;
    for (int c = 0; c < 2; ++c) v.truePeakDbtp[c] = dbtp(true_peak(s.truePeak, c));
    v.integratedSeconds = r.integratedSeconds;
    v.steps = r.steps;
    v.integrating = !s.paused;
    v.userPaused = s.userPaused;
    v.transportUnknown = s.transportUnknown;
    s.back = s.middle.exchange(static_cast<uint8_t>(s.back | kFresh), std::memory_order_acq_rel) & 3;
    s.publishedSteps = r.steps;
    s.publishDue = false;
}

// At the end of a group: takes the controls, measures the group with them
// and publishes. The group's samples are measured with the transport of the
// call its last sample came in, so a host whose calls fall on the grid has
// every sample measured with its own call's transport.
void run_group(engine* e, loudness_stage& s) {
    take_controls(e, s);
    if (s.filled > 0) {
        const float* in[2] = {s.collected[0], s.collected[1]};
        process_loudness(s.meter, in, s.filled);
        run_true_peak(s.truePeak, s.collected[0], s.collected[1], s.filled);
        s.filled = 0;
    }
    publish(s);
}

bool measuring(const engine* e) {
    return e && e->loudness && e->loudness->prepared && e->loudness->enabled.load(std::memory_order_relaxed);
}

}  // namespace

loudness_stage* create_loudness_stage() { return new (std::nothrow) loudness_stage(); }

void destroy_loudness_stage(loudness_stage* s) { delete s; }

void prepare_loudness_stage(engine* e, double rate) {
    if (!e || !e->loudness) return;
    loudness_stage& s = *e->loudness;
    s.prepared = prepare_loudness(s.meter, 2, rate) && prepare_true_peak(s.truePeak, rate, 2);
    s.filled = 0;
    s.cells = 0;
    s.publishedSteps = 0;
    s.publishDue = true;
    if (s.prepared) take_controls(e, s);
}

void feed_loudness_stage(engine* e, int from, int n) {
    if (!measuring(e) || n <= 0 || n > kBlock) return;
    loudness_stage& s = *e->loudness;
    // A piece lies within one cell and a group's room holds its cells, so
    // this never runs; should the cells ever be miscounted, the group is
    // measured early rather than written past its room.
    if (n > kStageRoom - s.filled) {
        s.cells = 0;
        run_group(e, s);
    }
    for (int c = 0; c < 2; ++c)
        std::memcpy(s.collected[c] + s.filled, e->strips[c].gain.output + from, static_cast<size_t>(n) * sizeof(float));
    s.filled += n;
}

void end_loudness_cell(engine* e) {
    if (!measuring(e)) return;
    loudness_stage& s = *e->loudness;
    if (++s.cells < kStageCells) return;
    s.cells = 0;
    run_group(e, s);
}

bool take_loudness_view(engine* e, LoudnessView& out) {
    if (!e || !e->loudness) return false;
    loudness_stage& s = *e->loudness;
    if (!(s.middle.load(std::memory_order_relaxed) & kFresh)) return false;
    s.front = s.middle.exchange(s.front, std::memory_order_acq_rel) & 3;
    out = s.views[s.front];
    return true;
}

void request_loudness_reset(engine* e) {
    if (e && e->loudness) e->loudness->resetRequest.store(1, std::memory_order_release);
}

void request_loudness_pause(engine* e, bool paused) {
    if (e && e->loudness) e->loudness->pauseRequest.store(paused ? 1 : 0, std::memory_order_release);
}

bool loudness_pause_requested(const engine* e) {
    return e && e->loudness && e->loudness->pauseRequest.load(std::memory_order_acquire) != 0;
}

LoudnessSettings sanitized_loudness_settings(LoudnessSettings s) {
    if (s.mode != LOUDNESS_ALWAYS && s.mode != LOUDNESS_TRANSPORT) s.mode = LOUDNESS_ALWAYS;
    s.resetOnPlay = s.resetOnPlay ? 1 : 0;
    if (s.target >= kLoudnessTargetCount) s.target = kLoudnessTargetNone;
    s.relative = s.relative ? 1 : 0;
    return s;
}

LoudnessSettings loudness_settings(const engine* e) {
    if (!e || !e->loudness) return LoudnessSettings{};
    return unpack(e->loudness->settings.load(std::memory_order_acquire));
}

// The host hears of the change on the calling thread (the editor's), as
// VST3 asks of the component handler.
void set_loudness_settings(engine* e, const LoudnessSettings& s) {
    if (!e || !e->loudness) return;
    const uint32_t packed = pack(sanitized_loudness_settings(s));
    const uint32_t before = e->loudness->settings.exchange(packed, std::memory_order_acq_rel);
    if (before != packed && e->adapter) e->adapter->state_changed();
}

void load_loudness_settings(engine* e, const LoudnessSettings& s) {
    if (!e || !e->loudness) return;
    e->loudness->settings.store(pack(sanitized_loudness_settings(s)), std::memory_order_release);
}

void set_loudness_stage_enabled(engine* e, bool on) {
    if (e && e->loudness) e->loudness->enabled.store(on, std::memory_order_relaxed);
}

}  // namespace b2
