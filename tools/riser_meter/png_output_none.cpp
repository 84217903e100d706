// Builds without the editor cannot render the editor's pages.
#include "tools/riser_meter/png_output.h"

namespace riser_meter {

bool png_output_available() { return false; }

bool write_png(const std::string&, const MeterRun&, PngPage, std::string& error) {
    error = "--png is not available: this build has no editor";
    return false;
}

}  // namespace riser_meter
