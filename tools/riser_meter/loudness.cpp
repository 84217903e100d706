#include "tools/riser_meter/loudness.h"

#include <cmath>

#include "dsp/denormal_guard.h"

namespace riser_meter {

namespace {

double measured(double lufs) { return std::isfinite(lufs) ? lufs : NAN; }

}  // namespace

Loudness::Loudness(double rate, int file_channels)
    : meter(std::make_unique<b2::LoudnessMeter>()),
      peak(std::make_unique<b2::TruePeak>()),
      channels(file_channels == 1 ? 1 : 2) {
    prepared = b2::prepare_loudness(*meter, channels, rate) && b2::prepare_true_peak(*peak, rate, channels);
}

// Run under the chain's denormal guard, as the plug-in runs the same meters.
void Loudness::add(const float* left, const float* right, int n) {
    if (!prepared || n <= 0) return;
    riser::DenormalGuard no_denormals;
    const float* const input[2] = {left, channels == 2 ? right : nullptr};
    b2::process_loudness(*meter, input, n);
    b2::run_true_peak(*peak, left, right, n);
}

double Loudness::true_peak_dbtp(int channel) const {
    const float linear = b2::true_peak(*peak, channels == 2 ? channel : 0);
    return linear > 0.0f ? 20.0 * std::log10(static_cast<double>(linear)) : NAN;
}

// The meter reads -infinity where there is nothing to measure; the range is
// only measured once a short-term window above the gate has been integrated
// (a file under 3 s, or silent, has none).
LoudnessFigures Loudness::figures() const {
    LoudnessFigures f{NAN, NAN, NAN, NAN, {NAN, NAN}};
    if (!prepared) return f;
    const b2::LoudnessReadings& r = meter->readings;
    f.integratedLufs = measured(r.integrated);
    f.momentaryMaxLufs = measured(r.momentaryMax);
    f.shortTermMaxLufs = measured(r.shortTermMax);
    if (meter->shortTerm.totalCount > 0) f.rangeLu = r.range;
    for (int c = 0; c < 2; ++c) f.truePeakDbtp[c] = true_peak_dbtp(c);
    return f;
}

LiveLoudness Loudness::live() const {
    LiveLoudness l{NAN, NAN, NAN, {NAN, NAN}};
    if (!prepared) return l;
    const b2::LoudnessReadings& r = meter->readings;
    l.momentaryLufs = measured(r.momentary);
    l.shortTermLufs = measured(r.shortTerm);
    l.integratedLufs = measured(r.integrated);
    for (int c = 0; c < 2; ++c) l.truePeakDbtp[c] = true_peak_dbtp(c);
    return l;
}

}  // namespace riser_meter
