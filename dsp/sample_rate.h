// The sample rates Riser meters at. Outside this range a host or a file
// cannot mean a real stream (NaN, zero, negative, or rates whose buffers
// would need gigabytes), so set-up refuses them and keeps what it had.
#pragma once

namespace b2 {

constexpr double kMinSampleRate = 8000.0;
constexpr double kMaxSampleRate = 768000.0;

// False for NaN and infinities as well as for finite rates out of range.
inline bool sample_rate_supported(double rate) {
    return rate >= kMinSampleRate && rate <= kMaxSampleRate;
}

}  // namespace b2
