// Delivery targets: limits a file's loudness figures are judged against.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "tools/riser_meter/loudness.h"

namespace riser_meter {

// A limit that is NaN is not checked.
struct Target {
    double loudnessLufs = NAN;  // integrated loudness wanted ...
    double toleranceLu = NAN;   // ... give or take this much
    double maxTruePeakDbtp = NAN;
    double maxRangeLu = NAN;
    bool active() const {
        return !std::isnan(loudnessLufs) || !std::isnan(maxTruePeakDbtp) || !std::isnan(maxRangeLu);
    }
};

// The preset called `name` (ebu-r128, atsc-a85, streaming, podcast, none); false if unknown.
bool target_preset(const std::string& name, Target& out);

// Each figure that misses the target, named with its value and its limit;
// empty when the file passes.
std::vector<std::string> judge(const Target& target, const LoudnessFigures& figures);

}  // namespace riser_meter
