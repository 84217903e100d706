#include "tools/riser_meter/target.h"

#include <algorithm>
#include <cstdio>

namespace riser_meter {

namespace {

struct Preset {
    const char* name;
    Target target;
};

const Preset kPresets[] = {
    {"ebu-r128", {-23.0, 0.5, -1.0, NAN}},
    {"streaming", {-14.0, 1.0, -1.0, NAN}},
    {"atsc-a85", {-24.0, 2.0, -2.0, NAN}},
};

std::string format(const char* pattern, double a, double b) {
    char text[160];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

}  // namespace

bool target_preset(const std::string& name, Target& out) {
    for (const Preset& p : kPresets)
        if (name == p.name) {
            out = p.target;
            return true;
        }
    return false;
}

std::vector<std::string> judge(const Target& t, const LoudnessFigures& f) {
    std::vector<std::string> failures;
    if (!std::isnan(t.loudnessLufs)) {
        const double tolerance = std::isnan(t.toleranceLu) ? 0.0 : t.toleranceLu;
        if (std::isnan(f.integratedLufs))
            failures.push_back("integrated loudness cannot be measured (under 400 ms, or silent)");
        else if (std::fabs(f.integratedLufs - t.loudnessLufs) > tolerance)
            failures.push_back(format("integrated loudness %.1f LUFS is outside %.1f", f.integratedLufs, t.loudnessLufs) +
                               format(" +/- %.1f LU", tolerance, 0));
    }
    if (!std::isnan(t.maxTruePeakDbtp)) {
        // A silent file has no true peak: nothing above the limit.
        double peak = NAN;
        for (double p : f.truePeakDbtp)
            if (!std::isnan(p)) peak = std::isnan(peak) ? p : std::max(peak, p);
        if (!std::isnan(peak) && peak > t.maxTruePeakDbtp)
            failures.push_back(format("true peak %.2f dBTP is above %.1f dBTP", peak, t.maxTruePeakDbtp));
    }
    if (!std::isnan(t.maxRangeLu)) {
        if (std::isnan(f.rangeLu))
            failures.push_back("loudness range cannot be measured (under 3 s)");
        else if (f.rangeLu > t.maxRangeLu)
            failures.push_back(format("loudness range %.1f LU is above %.1f LU", f.rangeLu, t.maxRangeLu));
    }
    return failures;
}

}  // namespace riser_meter
