#include "tools/riser_meter/report.h"

#include "engine/value_format.h"

namespace riser_meter {

namespace {

std::string readout(float db) {
    char text[b2::kTextSize];
    b2::formatReadout(db, text);
    return text;
}

// The editor's three value labels (peak and RMS relative to "Scale Zero",
// crest absolute) and the current peak and RMS.
void print_channel(std::FILE* out, const char* name, const b2::MeterSnapshot& s) {
    std::fprintf(out, " | %s %6s %6s %6s | now %6s %6s", name, readout(s.heldPeakDb - s.scaleZero).c_str(),
                 readout(s.heldRmsDb - s.scaleZero).c_str(), readout(s.heldCrestDb).c_str(),
                 readout(s.peakDb).c_str(), readout(s.rmsDb).c_str());
}

void print_json_channel(std::FILE* out, const char* name, const b2::MeterSnapshot& s) {
    std::fprintf(out,
                 "\"%s\":{\"heldPeakDb\":%.6g,\"peakDb\":%.6g,\"heldRmsDb\":%.6g,\"rmsDb\":%.6g,"
                 "\"heldCrestDb\":%.6g,\"crestDb\":%.6g}",
                 name, s.heldPeakDb, s.peakDb, s.heldRmsDb, s.rmsDb, s.heldCrestDb, s.crestDb);
}

}  // namespace

std::string json_escape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void print_text_header(std::FILE* out, const RunInfo& info) {
    std::fprintf(out, "riser-meter 1.0.1: %s, %.0f Hz, %lld frames, blocks of %d\n", info.source.c_str(),
                 info.sample_rate, static_cast<long long>(info.frames), info.block);
    std::fprintf(out, "  time s | L   peak    rms  crest | now   peak    rms | R   peak    rms  crest | now   peak    rms\n");
}

void print_text_line(std::FILE* out, double time_s, const Snapshots& s) {
    std::fprintf(out, "%8.3f", time_s);
    print_channel(out, "L", s.left);
    print_channel(out, "R", s.right);
    std::fprintf(out, "\n");
}

void print_text_summary(std::FILE* out, const RunInfo& info, const Snapshots& m) {
    std::fprintf(out, "maxima  ");
    print_channel(out, "L", m.left);
    print_channel(out, "R", m.right);
    std::fprintf(out, "\n");
}

void print_json_line(std::FILE* out, double time_s, const Snapshots& s) {
    std::fprintf(out, "{\"time_s\":%.6f,", time_s);
    print_json_channel(out, "left", s.left);
    std::fprintf(out, ",");
    print_json_channel(out, "right", s.right);
    std::fprintf(out, "}\n");
}

void print_json_summary(std::FILE* out, const RunInfo& info, const Snapshots& m) {
    std::fprintf(out, "{\"summary\":{\"file\":\"%s\",\"sample_rate\":%.6g,\"frames\":%lld,",
                 json_escape(info.source).c_str(), info.sample_rate, static_cast<long long>(info.frames));
    print_json_channel(out, "left", m.left);
    std::fprintf(out, ",");
    print_json_channel(out, "right", m.right);
    std::fprintf(out, "}}\n");
}

}  // namespace riser_meter
