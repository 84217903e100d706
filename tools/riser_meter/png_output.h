// --png: an editor page rendered offscreen with the final meter state.
#pragma once

#include <string>

#include "tools/riser_meter/meter_run.h"

namespace riser_meter {

bool png_output_available();
// Writes the picture of `page` to `path`; on failure returns false with
// `error` set and leaves no partial file behind.
bool write_png(const std::string& path, const MeterRun& run, PngPage page, std::string& error);

}  // namespace riser_meter
