// Command-line options of riser-meter.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tools/riser_meter/target.h"

namespace riser_meter {

// Limits of --plot-size: room for the axes and panes, and a bound on the
// memory of a picture (4 bytes a pixel: at most 64 MiB).
constexpr int kMinPlotWidth = 320;
constexpr int kMinPlotHeight = 240;
constexpr int kMaxPlotSide = 8192;
constexpr long kMaxPlotPixels = 4096L * 4096L;

// The editor page --png draws.
enum class PngPage { main, settings, loudness };

struct Options {
    std::vector<std::string> files;                        // none: the built-in demo signal
    std::vector<std::pair<int, float>> settings;           // parameter id, plain value
    double interval_ms = 1000.0;
    int block = 512;
    bool json = false;
    bool csv = false;
    bool summary_only = false;
    int jobs = 0;                                          // 0: one per core
    std::string png;                                       // empty: no picture
    PngPage png_page = PngPage::main;                      // --png-page
    int target_preset = -1;  // --target's place in the loudness targets table (the loudness page's target), or -1
    std::string plot;                                      // empty: no level history
    int plot_width = 1200;
    int plot_height = 600;
    bool loudness = true;                                  // --no-loudness: false
    Target target;                                         // --target and the explicit limits
    bool help = false;
    bool version = false;
};

// Parses argv. On a bad argument returns false with `error` naming the problem.
bool parse_options(int argc, char** argv, Options& out, std::string& error);

// The parameter id whose host name is `name` (exact), or -1.
int find_host_parameter(const std::string& name);

// The name shown for an input: the file name, or "demo".
std::string source_name(const std::string& file);
// An output path for one input: `pattern` with every "{}" replaced by the
// input's base name (no folder, no extension; "demo" for the demo signal).
std::string output_path(const std::string& pattern, const std::string& file);

const char* usage_text();

}  // namespace riser_meter
