#include "tools/riser_meter/report.h"

#include <algorithm>
#include <cmath>

#include "engine/value_format.h"
#include "tools/riser_meter/utf8.h"

namespace riser_meter {

namespace {

const char* const kFields[] = {"heldPeakDb", "peakDb", "heldRmsDb", "rmsDb", "heldCrestDb", "crestDb"};

void fields_of(const b2::MeterSnapshot& s, float out[6]) {
    out[0] = s.heldPeakDb;
    out[1] = s.peakDb;
    out[2] = s.heldRmsDb;
    out[3] = s.rmsDb;
    out[4] = s.heldCrestDb;
    out[5] = s.crestDb;
}

std::string readout(float db) {
    char text[b2::kTextSize];
    b2::formatReadout(db, text);
    return text;
}

// A whole-file figure: two decimals, or "---" for silence (as the readouts).
std::string figure(double db) {
    if (db < -200.0) return "---";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", db);
    return text;
}

// The editor's three value labels (peak and RMS relative to "Scale Zero",
// crest absolute) and the current peak and RMS.
void print_channel(std::FILE* out, const char* name, const b2::MeterSnapshot& s) {
    std::fprintf(out, " | %s %6s %6s %6s | now %6s %6s", name, readout(s.heldPeakDb - s.scaleZero).c_str(),
                 readout(s.heldRmsDb - s.scaleZero).c_str(), readout(s.heldCrestDb).c_str(),
                 readout(s.peakDb).c_str(), readout(s.rmsDb).c_str());
}

// A JSON number; JSON has no infinity or NaN, so a reading that is not a
// finite number is written as null.
std::string json_number(double v) {
    if (!std::isfinite(v)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

void print_json_channel(std::FILE* out, const char* name, const b2::MeterSnapshot& s) {
    float v[6];
    fields_of(s, v);
    std::fprintf(out, "\"%s\":{", name);
    for (int i = 0; i < 6; ++i) std::fprintf(out, "%s\"%s\":%s", i ? "," : "", kFields[i], json_number(v[i]).c_str());
    std::fprintf(out, "}");
}

void print_json_figures(std::FILE* out, const char* name, const ChannelFigures& f) {
    const FiguresDb d = to_db(f);
    std::fprintf(out, "\"%s\":{\"samplePeakDb\":%s,\"rmsDb\":%s,\"rawRmsDb\":%s,\"crestDb\":%s,\"nonFinite\":%lld}",
                 name, json_number(d.peakDb).c_str(), json_number(d.rmsDb).c_str(), json_number(d.rawRmsDb).c_str(),
                 json_number(d.crestDb).c_str(), static_cast<long long>(f.nonfinite));
}

// A loudness figure: one decimal place (two for true peak), or "none".
std::string measure(double v, const char* format = "%.1f") {
    if (std::isnan(v)) return "none";
    char text[32];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

// A CSV field: empty when the figure could not be measured.
std::string csv_number(double v) {
    if (!std::isfinite(v)) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& p : parts) out += (out.empty() ? "" : "; ") + p;
    return out;
}

void print_json_loudness(std::FILE* out, const Summary& m) {
    if (!m.has_loudness) {
        std::fprintf(out, ",\"loudness\":null");
    } else {
        const LoudnessFigures& f = m.loudness;
        std::fprintf(out,
                     ",\"loudness\":{\"integratedLufs\":%s,\"rangeLu\":%s,\"momentaryMaxLufs\":%s,"
                     "\"shortTermMaxLufs\":%s,\"truePeakDbtp\":{\"left\":%s,\"right\":%s}}",
                     json_number(f.integratedLufs).c_str(), json_number(f.rangeLu).c_str(),
                     json_number(f.momentaryMaxLufs).c_str(), json_number(f.shortTermMaxLufs).c_str(),
                     json_number(f.truePeakDbtp[0]).c_str(), json_number(f.truePeakDbtp[1]).c_str());
    }
    if (!m.judged) {
        std::fprintf(out, ",\"target\":null");
        return;
    }
    std::fprintf(out, ",\"target\":{\"pass\":%s,\"failures\":[", m.failures.empty() ? "true" : "false");
    for (size_t i = 0; i < m.failures.size(); ++i)
        std::fprintf(out, "%s\"%s\"", i ? "," : "", json_escape(m.failures[i]).c_str());
    std::fprintf(out, "]}");
}

// The live loudness of an interval line: momentary, short-term, integrated
// so far, true-peak maxima so far.
double live_field(const LiveLoudness& l, int i) { return i < 3 ? (&l.momentaryLufs)[i] : l.truePeakDbtp[i - 3]; }
const char* const kLiveFields[] = {"momentaryLufs", "shortTermLufs", "integratedLufs"};

// A live loudness figure in the text lines: as the summary prints it, or
// "---" (as the readouts) where there is nothing to show yet.
std::string live_text(double v, const char* format) {
    if (std::isnan(v)) return "---";
    char text[32];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

void print_csv_snapshot(std::FILE* out, const b2::MeterSnapshot& s) {
    float v[6];
    fields_of(s, v);
    for (float x : v) std::fprintf(out, ",%.6g", x);
}

}  // namespace

std::string json_escape(const std::string& text) {
    std::string out;
    for (unsigned char c : valid_utf8(text)) {
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

std::string csv_quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

void print_text_header(std::FILE* out, const RunInfo& info) {
    char length[48] = "length unknown (a stream)";
    if (info.frames >= 0) std::snprintf(length, sizeof length, "%lld frames", static_cast<long long>(info.frames));
    std::fprintf(out, "riser-meter 1.0.1: %s, %.0f Hz, %s, blocks of %d\n", info.source.c_str(), info.sample_rate,
                 length, info.block);
    std::fprintf(out, "  time s | L   peak    rms  crest | now   peak    rms | R   peak    rms  crest | now   peak    rms%s\n",
                 info.loudness ? " | LUFS    M      S      I | dBTP      L      R" : "");
}

void print_text_line(std::FILE* out, double time_s, const Snapshots& s, const LiveLoudness* live) {
    std::fprintf(out, "%8.3f", time_s);
    print_channel(out, "L", s.left);
    print_channel(out, "R", s.right);
    if (live)
        std::fprintf(out, " | LUFS %6s %6s %6s | dBTP %6s %6s", live_text(live->momentaryLufs, "%.1f").c_str(),
                     live_text(live->shortTermLufs, "%.1f").c_str(), live_text(live->integratedLufs, "%.1f").c_str(),
                     live_text(live->truePeakDbtp[0], "%.2f").c_str(), live_text(live->truePeakDbtp[1], "%.2f").c_str());
    std::fprintf(out, "\n");
}

void print_text_summary(std::FILE* out, const RunInfo& info, const Summary& m) {
    if (m.has_maxima) {
        std::fprintf(out, "maxima  ");
        print_channel(out, "L", m.maxima.left);
        print_channel(out, "R", m.maxima.right);
        std::fprintf(out, "\n");
    } else {
        std::fprintf(out, "maxima  : none (the audio is shorter than one editor tick, 33 ms)\n");
    }
    if (m.has_settled) {
        std::fprintf(out, "settled ");
        print_channel(out, "L", m.settled.left);
        print_channel(out, "R", m.settled.right);
        std::fprintf(out, "\n  (settled: the maxima from %.3f s on, after the first RMS window and Value Hold)\n",
                     m.settled_from_s);
    } else {
        std::fprintf(out, "settled : none (the audio is shorter than the first RMS window and Value Hold, %.3f s)\n",
                     m.settled_from_s);
    }
    std::fprintf(out, "whole file | peak dBFS  RMS+3 dB  RMS dBFS  crest dB | non-finite\n");
    for (int c = 0; c < 2; ++c) {
        const FiguresDb d = to_db(m.figures[c]);
        std::fprintf(out, "         %s | %9s %9s %9s %9s | %lld\n", c ? "R" : "L", figure(d.peakDb).c_str(),
                     figure(d.rmsDb).c_str(), figure(d.rawRmsDb).c_str(), figure(d.crestDb).c_str(),
                     static_cast<long long>(m.figures[c].nonfinite));
    }
    if (m.has_loudness) {
        const LoudnessFigures& f = m.loudness;
        std::fprintf(out, "loudness  | integrated %s LUFS | range %s LU | max momentary %s LUFS | max short-term %s LUFS\n",
                     measure(f.integratedLufs).c_str(), measure(f.rangeLu).c_str(),
                     measure(f.momentaryMaxLufs).c_str(), measure(f.shortTermMaxLufs).c_str());
        std::fprintf(out, "true peak | L %s dBTP | R %s dBTP\n", measure(f.truePeakDbtp[0], "%.2f").c_str(),
                     measure(f.truePeakDbtp[1], "%.2f").c_str());
    }
    if (m.judged)
        std::fprintf(out, "target    | %s%s\n", m.failures.empty() ? "PASS" : "FAIL: ", joined(m.failures).c_str());
}

std::string loudness_line(const LoudnessFigures& f) {
    return measure(f.integratedLufs) + " LUFS, LRA " + measure(f.rangeLu) + " LU, true peak " +
           measure(f.truePeakDbtp[0], "%.2f") + " / " + measure(f.truePeakDbtp[1], "%.2f") + " dBTP";
}

void print_target_count(std::FILE* out, bool json, int passed, int failed, int errors) {
    if (json)
        std::fprintf(out, "{\"target_count\":{\"pass\":%d,\"fail\":%d,\"error\":%d}}\n", passed, failed, errors);
    else
        std::fprintf(out, "target: %d PASS, %d FAIL, %d not metered (errors)\n", passed, failed, errors);
}

void print_json_line(std::FILE* out, const RunInfo& info, double time_s, const Snapshots& s,
                     const LiveLoudness* live) {
    std::fprintf(out, "{");
    if (info.several) std::fprintf(out, "\"file\":\"%s\",", json_escape(info.source).c_str());
    std::fprintf(out, "\"time_s\":%.6f,", time_s);
    print_json_channel(out, "left", s.left);
    std::fprintf(out, ",");
    print_json_channel(out, "right", s.right);
    if (!live) {
        std::fprintf(out, ",\"loudness\":null}\n");
        return;
    }
    std::fprintf(out, ",\"loudness\":{");
    for (int i = 0; i < 3; ++i) std::fprintf(out, "\"%s\":%s,", kLiveFields[i], json_number(live_field(*live, i)).c_str());
    std::fprintf(out, "\"truePeakDbtp\":{\"left\":%s,\"right\":%s}}}\n", json_number(live->truePeakDbtp[0]).c_str(),
                 json_number(live->truePeakDbtp[1]).c_str());
}

void print_json_summary(std::FILE* out, const RunInfo& info, const Summary& m) {
    std::fprintf(out, "{\"summary\":{\"file\":\"%s\",\"sample_rate\":%.6g,\"frames\":%lld,",
                 json_escape(info.source).c_str(), info.sample_rate, static_cast<long long>(info.frames));
    if (m.has_maxima) {
        print_json_channel(out, "left", m.maxima.left);
        std::fprintf(out, ",");
        print_json_channel(out, "right", m.maxima.right);
    } else {
        std::fprintf(out, "\"left\":null,\"right\":null");
    }
    if (m.has_settled) {
        std::fprintf(out, ",\"settled\":{\"from_s\":%.6f,", m.settled_from_s);
        print_json_channel(out, "left", m.settled.left);
        std::fprintf(out, ",");
        print_json_channel(out, "right", m.settled.right);
        std::fprintf(out, "}");
    } else {
        std::fprintf(out, ",\"settled\":null");
    }
    std::fprintf(out, ",\"whole_file\":{");
    print_json_figures(out, "left", m.figures[0]);
    std::fprintf(out, ",");
    print_json_figures(out, "right", m.figures[1]);
    std::fprintf(out, "}");
    print_json_loudness(out, m);
    std::fprintf(out, "}}\n");
}

void print_csv_header(std::FILE* out, bool several, bool loudness) {
    std::fprintf(out, "%stime_s", several ? "file," : "");
    for (const char* side : {"left", "right"})
        for (const char* f : kFields) std::fprintf(out, ",%s_%s", side, f);
    if (loudness) {
        for (const char* f : kLiveFields) std::fprintf(out, ",%s", f);
        std::fprintf(out, ",left_truePeakDbtp,right_truePeakDbtp");
    }
    std::fprintf(out, "\n");
}

void print_csv_line(std::FILE* out, const RunInfo& info, double time_s, const Snapshots& s,
                    const LiveLoudness* live) {
    if (info.several) std::fprintf(out, "%s,", csv_quote(info.source).c_str());
    std::fprintf(out, "%.6f", time_s);
    print_csv_snapshot(out, s.left);
    print_csv_snapshot(out, s.right);
    if (live)
        for (int i = 0; i < 5; ++i) std::fprintf(out, ",%s", csv_number(live_field(*live, i)).c_str());
    std::fprintf(out, "\n");
}

void print_summary_table_header(std::FILE* out, bool csv) {
    if (csv) {
        std::fprintf(out, "file,sample_rate,frames");
        for (const char* side : {"left", "right"})
            for (const char* f : {"samplePeakDb", "rmsDb", "rawRmsDb", "crestDb", "nonFinite"})
                std::fprintf(out, ",%s_%s", side, f);
        std::fprintf(out, ",integratedLufs,rangeLu,momentaryMaxLufs,shortTermMaxLufs,left_truePeakDbtp,"
                          "right_truePeakDbtp,target,targetFailures\n");
        return;
    }
    std::fprintf(out, "whole file: peak dBFS, RMS+3 dB (the meter's RMS), RMS dBFS, crest dB (peak - RMS+3);\n"
                      "integrated LUFS, loudness range LU, highest true peak dBTP; target PASS/FAIL\n");
    for (const char* side : {"L peak", "R peak"}) std::fprintf(out, "%7s %6s %6s %6s | ", side, "RMS+3", "RMS", "crest");
    std::fprintf(out, "%6s %5s %6s | %-6s | file\n", "LUFS", "LRA", "TP", "target");
}

void print_summary_row(std::FILE* out, const RunInfo& info, const Summary& m, bool csv) {
    if (csv) {
        std::fprintf(out, "%s,%.6g,%lld", csv_quote(info.source).c_str(), info.sample_rate,
                     static_cast<long long>(info.frames));
        for (const ChannelFigures& f : m.figures) {
            const FiguresDb d = to_db(f);
            std::fprintf(out, ",%.6g,%.6g,%.6g,%.6g,%lld", d.peakDb, d.rmsDb, d.rawRmsDb, d.crestDb,
                         static_cast<long long>(f.nonfinite));
        }
        const LoudnessFigures& l = m.loudness;
        for (double v : {l.integratedLufs, l.rangeLu, l.momentaryMaxLufs, l.shortTermMaxLufs, l.truePeakDbtp[0],
                         l.truePeakDbtp[1]})
            std::fprintf(out, ",%s", m.has_loudness ? csv_number(v).c_str() : "");
        std::fprintf(out, ",%s,%s\n", m.judged ? (m.failures.empty() ? "PASS" : "FAIL") : "",
                     m.judged ? csv_quote(joined(m.failures)).c_str() : "");
        return;
    }
    for (const ChannelFigures& f : m.figures) {
        const FiguresDb d = to_db(f);
        std::fprintf(out, "%7s %6s %6s %6s | ", figure(d.peakDb).c_str(), figure(d.rmsDb).c_str(),
                     figure(d.rawRmsDb).c_str(), figure(d.crestDb).c_str());
    }
    const LoudnessFigures& l = m.loudness;
    const double tp = std::isnan(l.truePeakDbtp[1]) ? l.truePeakDbtp[0]
                      : std::isnan(l.truePeakDbtp[0]) ? l.truePeakDbtp[1]
                                                      : std::max(l.truePeakDbtp[0], l.truePeakDbtp[1]);
    const bool shown = m.has_loudness;
    std::fprintf(out, "%6s %5s %6s | %-6s | %s\n", shown ? measure(l.integratedLufs).c_str() : "-",
                 shown ? measure(l.rangeLu).c_str() : "-", shown ? measure(tp, "%.2f").c_str() : "-",
                 m.judged ? (m.failures.empty() ? "PASS" : "FAIL") : "-", info.source.c_str());
    if (m.judged && !m.failures.empty()) std::fprintf(out, "  FAIL: %s\n", joined(m.failures).c_str());
}

}  // namespace riser_meter
