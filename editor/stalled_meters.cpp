#include "editor/stalled_meters.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace b2 {

namespace {

constexpr double kGone = -std::numeric_limits<double>::infinity();

// A level in dB as a published field: silence (and anything below it, or no
// number at all) reads the silence level.
float reading(double db) { return db > kSilenceReadingDb ? static_cast<float>(db) : kSilenceReadingDb; }

// The falling peak loses 20 dB every "Peak Fall" milliseconds.
double peak_at(float start, double t, float fall) { return fall > 0.0f ? start - 20.0 * t / fall : kGone; }

// Silence enters the RMS window at one end while the signal leaves at the
// other: the mean square falls linearly to nothing over the window.
double rms_at(float start, double t, float window) {
    if (!(window > 0.0f) || t >= window) return kGone;
    return start + 10.0 * std::log10(1.0 - t / window);
}

// The crest factor falls with the peak until the window is empty; with no
// RMS left there is no crest factor, which reads as silence.
double crest_at(float start, double t, const fall_times& f) {
    if (!(f.rms_window > 0.0f) || t >= f.rms_window) return kGone;
    return peak_at(start, t, f.peak_fall);
}

// A held maximum stays for "Value Hold", then takes the value its level has
// at that moment and holds it in turn, as the detector's hold does.
template <typename Level>
float held_at(float start, double t, float hold, Level level) {
    if (!(hold > 0.0f)) return reading(level(t));
    if (t < hold) return start;
    return reading(level(hold * std::floor(t / hold)));
}

}  // namespace

double stall_after_ms(float sample_rate, float max_block) {
    double ms = 0.0;
    if (sample_rate > 0.0f && max_block > 0.0f) ms = 2000.0 * static_cast<double>(max_block) / sample_rate;
    return std::clamp(ms, kMinStallMs, kMaxStallMs);
}

MeterSnapshot silence_after(const MeterSnapshot& last, double t, const fall_times& f) {
    MeterSnapshot s = last;
    auto peak = [&](double at) { return peak_at(last.peakDb, at, f.peak_fall); };
    auto rms = [&](double at) { return rms_at(last.rmsDb, at, f.rms_window); };
    auto crest = [&](double at) { return crest_at(last.crestDb, at, f); };
    s.peakDb = reading(peak(t));
    s.rmsDb = reading(rms(t));
    s.crestDb = reading(crest(t));
    s.heldPeakDb = held_at(last.heldPeakDb, t, f.value_hold, peak);
    s.heldRmsDb = held_at(last.heldRmsDb, t, f.value_hold, rms);
    s.heldCrestDb = held_at(last.heldCrestDb, t, f.value_hold, crest);
    return s;
}

void raise_levels(MeterSnapshot& r, const MeterSnapshot& f) {
    r.heldPeakDb = std::max(r.heldPeakDb, f.heldPeakDb);
    r.peakDb = std::max(r.peakDb, f.peakDb);
    r.heldRmsDb = std::max(r.heldRmsDb, f.heldRmsDb);
    r.rmsDb = std::max(r.rmsDb, f.rmsDb);
    r.heldCrestDb = std::max(r.heldCrestDb, f.heldCrestDb);
    r.crestDb = std::max(r.crestDb, f.crestDb);
}

bool all_silent(const MeterSnapshot& s) {
    for (float db : {s.heldPeakDb, s.peakDb, s.heldRmsDb, s.rmsDb, s.heldCrestDb, s.crestDb})
        if (db > kSilenceReadingDb) return false;
    return true;
}

void mark_stale(MeterSnapshot& published) {
    uint8_t taken = kSnapshotTaken;
    published.ready.compare_exchange_strong(taken, kSnapshotStale, std::memory_order_acq_rel,
                                            std::memory_order_acquire);
}

void stalled_meters::start(const MeterSnapshot shown[2], double now) {
    last[0] = shown[0];
    last[1] = shown[1];
    last_at = now;
    have_last = true;
    falling = false;
}

void stalled_meters::arrived(MeterSnapshot taken[2], double now, const fall_times& times) {
    const fall_times both[2] = {times, times};
    arrived(taken, now, both);
}

bool stalled_meters::fallen(double now, double stall, const fall_times& times, MeterSnapshot out[2]) {
    const fall_times both[2] = {times, times};
    return fallen(now, stall, both, out);
}

void stalled_meters::arrived(MeterSnapshot taken[2], double now, const fall_times (&times)[2]) {
    if (falling) {
        // The detectors start from silence after a fall: the fall goes on
        // under the new readings until it has reached silence itself.
        const double t = std::max(0.0, now - fall_start);
        bool audible = false;
        for (int c = 0; c < 2; ++c) {
            const MeterSnapshot fall = silence_after(fall_from[c], t, times[c]);
            raise_levels(taken[c], fall);
            audible = audible || !all_silent(fall);
        }
        falling = audible;
    }
    last[0] = taken[0];
    last[1] = taken[1];
    last_at = now;
    have_last = true;
}

bool stalled_meters::fallen(double now, double stall, const fall_times (&times)[2], MeterSnapshot out[2]) {
    // The fall starts when the stall is noticed, from the values shown then,
    // so the bars do not jump; a clock that went backwards is no stall.
    if (!have_last || !(now - last_at - stall > 0.0)) return false;
    if (!falling || fall_start < last_at) {  // a new stall, not the fall a reading went on under
        fall_from[0] = last[0];
        fall_from[1] = last[1];
        fall_start = last_at + stall;
        falling = true;
    }
    const double t = std::max(0.0, now - fall_start);
    out[0] = silence_after(fall_from[0], t, times[0]);
    out[1] = silence_after(fall_from[1], t, times[1]);
    return true;
}

}  // namespace b2
