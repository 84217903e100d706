// riser-meter's output: text lines as the editor shows the readouts, or JSON lines.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/riser_meter/meter_run.h"

namespace riser_meter {

struct RunInfo {
    std::string source;  // file name, or "demo"
    double sample_rate;
    int64_t frames;
    int block;
};

void print_text_header(std::FILE* out, const RunInfo& info);
void print_text_line(std::FILE* out, double time_s, const Snapshots& s);
void print_text_summary(std::FILE* out, const RunInfo& info, const Snapshots& maxima);

void print_json_line(std::FILE* out, double time_s, const Snapshots& s);
void print_json_summary(std::FILE* out, const RunInfo& info, const Snapshots& maxima);

std::string json_escape(const std::string& text);

}  // namespace riser_meter
