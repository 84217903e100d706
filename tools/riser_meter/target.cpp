#include "tools/riser_meter/target.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "engine/loudness_targets.h"

namespace riser_meter {

namespace {

using b2::above_limit;
using b2::as_printed;
using b2::kLoudnessDecimals;
using b2::kTruePeakDecimals;

// Differences smaller than this are the binary form of decimal numbers.
constexpr double kSlack = 1e-9;

std::string printed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// A limit as the user gave it: at least one decimal, more when it has them
// (a tolerance of 0.25 is not shown as 0.3).
std::string limit_text(double limit) {
    for (int decimals = 1; decimals < 9; ++decimals)
        if (std::fabs(std::strtod(printed(limit, decimals).c_str(), nullptr) - limit) < kSlack)
            return printed(limit, decimals);
    return printed(limit, 9);
}

}  // namespace

bool target_preset(const std::string& name, Target& out) {
    const int index = b2::find_loudness_target(name.c_str());
    if (index < 0) return false;
    const b2::LoudnessTarget& t = b2::loudness_target(index);
    out = Target{t.loudnessLufs, t.toleranceLu, t.maxTruePeakDbtp, NAN};
    return true;
}

std::vector<std::string> judge(const Target& t, const LoudnessFigures& f) {
    std::vector<std::string> failures;
    if (!std::isnan(t.loudnessLufs)) {
        const double tolerance = std::isnan(t.toleranceLu) ? 0.0 : t.toleranceLu;
        const double lufs = as_printed(f.integratedLufs, kLoudnessDecimals);  // NaN stays NaN
        if (std::isnan(lufs))
            failures.push_back("integrated loudness cannot be measured (under 400 ms, or silent)");
        else if (b2::outside_tolerance(lufs, t.loudnessLufs, tolerance))
            failures.push_back("integrated loudness " + printed(lufs, kLoudnessDecimals) + " LUFS is outside " +
                               limit_text(t.loudnessLufs) + " +/- " + limit_text(tolerance) + " LU");
    }
    if (!std::isnan(t.maxTruePeakDbtp)) {
        // A silent file has no true peak: nothing above the limit.
        double peak = NAN;
        for (double p : f.truePeakDbtp)
            if (!std::isnan(p)) peak = std::isnan(peak) ? p : std::max(peak, p);
        if (!std::isnan(peak) && above_limit(peak, t.maxTruePeakDbtp, kTruePeakDecimals))
            failures.push_back("true peak " + printed(peak, kTruePeakDecimals) + " dBTP is above " +
                               limit_text(t.maxTruePeakDbtp) + " dBTP");
    }
    if (!std::isnan(t.maxRangeLu)) {
        if (std::isnan(f.rangeLu))
            failures.push_back("loudness range cannot be measured (under 3 s)");
        else if (above_limit(f.rangeLu, t.maxRangeLu, kLoudnessDecimals))
            failures.push_back("loudness range " + printed(f.rangeLu, kLoudnessDecimals) + " LU is above " +
                               limit_text(t.maxRangeLu) + " LU");
    }
    return failures;
}

}  // namespace riser_meter
