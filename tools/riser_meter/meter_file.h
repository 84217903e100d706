// One input metered from start to end: the interval lines, the summary and
// the pictures, written as the options ask.
#pragma once

#include <cstdio>
#include <string>

#include "tools/riser_meter/options.h"

namespace riser_meter {

// Meters `file` ("" for the demo signal) and writes its report to `out`,
// which messages call `out_name` ("the output"). `several` tells that it is
// one of several inputs; `progress` shows a progress line on stderr for long
// inputs. On failure returns false with `error` naming the problem and the
// file (the report may be partly written).
// With a target, `verdict` is "PASS" or "FAIL: " and the failing figures.
bool meter_file(const Options& o, const std::string& file, bool several, bool progress, std::FILE* out,
                const std::string& out_name, std::string& verdict, std::string& error);

inline bool failed_target(const std::string& verdict) { return verdict.compare(0, 4, "FAIL") == 0; }

}  // namespace riser_meter
