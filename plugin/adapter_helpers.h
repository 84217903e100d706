// Small conversions shared by the adapter's processor and controller sides.
#pragma once

#include <cmath>
#include <cstddef>

#include "engine/param_table.h"
#include "pluginterfaces/vst/vsttypes.h"

namespace riser {

// Widens a NUL-terminated byte string into UTF-16, byte by byte (sign-extended),
// the terminating NUL included.
inline void widen(const char* text, Steinberg::Vst::TChar* out, size_t room) {
    size_t i = 0;
    for (; i + 1 < room && text[i]; ++i)
        out[i] = static_cast<Steinberg::Vst::TChar>(static_cast<Steinberg::int16>(static_cast<signed char>(text[i])));
    out[i] = 0;
}

// Normalised values from a host are 0..1 by contract; a value outside would
// become a plain value no control could set (a gain of 10^600, say).
inline float unit_clamp(double v) { return static_cast<float>(v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v)); }

// The host writes only its own parameters; the engine-owned ids (sample
// rate, reset, voices) and the internal ones (0, 1) are not the host's to set.
inline bool host_parameter(Steinberg::Vst::ParamID id) {
    const b2::ParamDef* def =
        id < static_cast<Steinberg::Vst::ParamID>(b2::kParamCount) ? b2::param_def(static_cast<int>(id)) : nullptr;
    return def && (def->flags & b2::PF_HOST);
}

}  // namespace riser
