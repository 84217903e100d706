// Command-line options of riser-meter.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace riser_meter {

struct Options {
    std::string file;                                      // empty: the built-in demo signal
    std::vector<std::pair<int, float>> settings;           // parameter id, plain value
    double interval_ms = 1000.0;
    int block = 512;
    bool json = false;
    std::string png;                                       // empty: no picture
    bool help = false;
    bool version = false;
};

// Parses argv. On a bad argument returns false with `error` naming the problem.
bool parse_options(int argc, char** argv, Options& out, std::string& error);

// The parameter id whose host name is `name` (exact), or -1.
int find_host_parameter(const std::string& name);

const char* usage_text();

}  // namespace riser_meter
