// riser-meter's output: text lines as the editor shows the readouts, JSON
// lines or CSV rows, and the summary of a file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/riser_meter/file_figures.h"
#include "tools/riser_meter/loudness.h"
#include "tools/riser_meter/meter_run.h"

namespace riser_meter {

struct RunInfo {
    std::string source;  // file name, or "demo"
    double sample_rate;
    int64_t frames;      // frames read (the text header: as declared, -1 unknown)
    int block;
    bool several = false;  // one of several inputs: interval lines carry the name
    bool loudness = true;  // interval lines carry the live loudness (not with --no-loudness)
};

// What a file's summary holds besides its RunInfo.
struct Summary {
    bool has_maxima = false;      // false: no reading was taken (audio shorter than 33 ms)
    Snapshots maxima;             // largest of each reading over the file
    bool has_settled = false;
    Snapshots settled;            // the same from settled_from_s on
    double settled_from_s = 0;
    ChannelFigures figures[2];    // whole-file figures, left and right
    bool has_loudness = false;    // false: --no-loudness
    LoudnessFigures loudness{};
    bool judged = false;          // a target was given
    std::vector<std::string> failures;  // the figures that miss it
};

// The loudness figures on one line, as in the --plot title.
std::string loudness_line(const LoudnessFigures& f);

// The batch's count line, after the last file when a target was given.
void print_target_count(std::FILE* out, bool json, int passed, int failed, int errors);

void print_text_header(std::FILE* out, const RunInfo& info);
// `live` is the loudness at the line's time, null with --no-loudness.
void print_text_line(std::FILE* out, double time_s, const Snapshots& s, const LiveLoudness* live);
// The maxima line, the settled maxima and the whole-file block.
void print_text_summary(std::FILE* out, const RunInfo& info, const Summary& summary);

void print_json_line(std::FILE* out, const RunInfo& info, double time_s, const Snapshots& s,
                     const LiveLoudness* live);
void print_json_summary(std::FILE* out, const RunInfo& info, const Summary& summary);

// CSV of the interval lines; with several inputs a first column names the
// file, with the loudness five last columns carry the live loudness.
void print_csv_header(std::FILE* out, bool several, bool loudness);
void print_csv_line(std::FILE* out, const RunInfo& info, double time_s, const Snapshots& s,
                    const LiveLoudness* live);

// --summary-only: one row of whole-file figures per file, as a text table or CSV.
void print_summary_table_header(std::FILE* out, bool csv);
void print_summary_row(std::FILE* out, const RunInfo& info, const Summary& summary, bool csv);

// A JSON string's contents; bytes that are not UTF-8 become U+FFFD.
std::string json_escape(const std::string& text);
std::string csv_quote(const std::string& text);

}  // namespace riser_meter
