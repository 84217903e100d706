// Where the K-weighting can be built. Its high shelf is designed around
// 1681.97 Hz; at a sample rate whose Nyquist frequency is at or below that
// centre the bilinear design has no meaning (the pre-warped frequency passes
// pi/2), so the chain measures such a rate unweighted, "K Filter" on or off.
// Every rate the plug-in and riser-meter accept (8 kHz and up) lies above
// the limit of about 3364 Hz: the rule only guards callers outside that range.
#pragma once

#include <cmath>

#include "dsp/sample_rate.h"

namespace b2 {

constexpr double kShelfCentreHz = 1681.974450955533;

// True where the weighting can be built: a finite rate above twice the shelf
// centre. False for NaN, infinities, zero and negative rates.
inline bool k_weighting_available(double rate) { return std::isfinite(rate) && rate > 2.0 * kShelfCentreHz; }

static_assert(kMinSampleRate > 2.0 * kShelfCentreHz, "every supported rate can be weighted");

}  // namespace b2
