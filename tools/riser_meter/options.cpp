#include "tools/riser_meter/options.h"

#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <set>

#include "engine/loudness_targets.h"
#include "engine/param_table.h"
#include "engine/value_format.h"

namespace riser_meter {

namespace {

bool parse_number(const char* text, double lo, double hi, double& out) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != 0 || !std::isfinite(v) || v < lo || v > hi) return false;
    out = v;
    return true;
}

// "NAME=VALUE": the value in the parameter's own text form, then limited to
// what a host could set (through the normalised range).
bool parse_setting(const std::string& arg, std::pair<int, float>& out, std::string& error) {
    const size_t eq = arg.find('=');
    if (eq == std::string::npos) {
        error = "--set needs NAME=VALUE, got \"" + arg + "\"";
        return false;
    }
    const std::string name = arg.substr(0, eq), value = arg.substr(eq + 1);
    const int id = find_host_parameter(name);
    if (id < 0) {
        error = "unknown parameter \"" + name + "\" (see --help for the names)";
        return false;
    }
    float plain = NAN;
    if (!b2::parse_finite_value(id, value.c_str(), &plain)) {
        error = "cannot read \"" + value + "\" as a value of parameter \"" + name + "\"";
        return false;
    }
    float n = b2::to_normalized(id, plain);
    n = n < 0.0f ? 0.0f : (n > 1.0f ? 1.0f : n);
    out = {id, b2::to_plain(id, n)};
    return true;
}

}  // namespace

int find_host_parameter(const std::string& name) {
    for (int id = 0; id < b2::kParamCount; ++id) {
        const b2::ParamDef* def = b2::param_def(id);
        if ((def->flags & b2::PF_HOST) && name == def->name) return id;
    }
    return -1;
}

namespace {

bool parse_plot_size(const char* text, int& width, int& height) {
    int w = 0, h = 0;
    char tail = 0;
    if (std::sscanf(text, "%dx%d%c", &w, &h, &tail) != 2) return false;
    if (w < kMinPlotWidth || w > kMaxPlotSide || h < kMinPlotHeight || h > kMaxPlotSide) return false;
    if (static_cast<long>(w) * h > kMaxPlotPixels) return false;
    width = w;
    height = h;
    return true;
}

// Several inputs need a "{}" in each picture pattern, and no two inputs may
// be given the same picture.
bool check_output_patterns(const Options& o, std::string& error) {
    const std::pair<const char*, const std::string*> patterns[] = {{"--png", &o.png}, {"--plot", &o.plot}};
    for (const auto& p : patterns) {
        if (p.second->empty() || o.files.size() < 2) continue;
        if (p.second->find("{}") == std::string::npos) {
            error = std::string(p.first) +
                    " with several files needs a pattern containing {} (the file's base name), e.g. 'plots/{}.png'";
            return false;
        }
        std::set<std::string> seen;
        for (const std::string& f : o.files)
            if (!seen.insert(output_path(*p.second, f)).second) {
                error = std::string(p.first) + ": two files would write the same picture \"" + output_path(*p.second, f) + "\"";
                return false;
            }
    }
    return true;
}

// A limit given as a number of dB or LU within `lo`..`hi`.
bool parse_limit(const std::string& arg, const char* v, double lo, double hi, const char* unit, double& out,
                 std::string& error) {
    if (parse_number(v, lo, hi, out)) return true;
    char range[64];
    std::snprintf(range, sizeof range, "from %g to %g", lo, hi);
    error = arg + " needs " + unit + " " + range + ", got \"" + v + "\"";
    return false;
}

// The preset first, then the explicit limits over it, whatever their order.
bool finish_target(const std::string& preset, const Target& given, Target& out, std::string& error) {
    Target t;
    if (!preset.empty() && !target_preset(preset, t)) {
        error = "unknown --target \"" + preset + "\" (ebu-r128, atsc-a85, streaming, podcast or none)";
        return false;
    }
    if (!std::isnan(given.loudnessLufs)) t.loudnessLufs = given.loudnessLufs;
    if (!std::isnan(given.toleranceLu)) t.toleranceLu = given.toleranceLu;
    if (!std::isnan(given.maxTruePeakDbtp)) t.maxTruePeakDbtp = given.maxTruePeakDbtp;
    if (!std::isnan(given.maxRangeLu)) t.maxRangeLu = given.maxRangeLu;
    if (!std::isnan(t.toleranceLu) && std::isnan(t.loudnessLufs)) {
        error = "--tolerance needs --loudness LUFS (or a --target)";
        return false;
    }
    if (!std::isnan(t.loudnessLufs) && std::isnan(t.toleranceLu)) {
        error = "--loudness needs --tolerance LU (or a --target that gives one)";
        return false;
    }
    out = t;
    return true;
}

}  // namespace

bool parse_options(int argc, char** argv, Options& out, std::string& error) {
    std::string preset;
    Target given;
    bool png_page_given = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* what) -> const char* {
            if (i + 1 >= argc) {
                error = arg + " needs " + what;
                return nullptr;
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            out.help = true;
        } else if (arg == "--version") {
            out.version = true;
        } else if (arg == "--json") {
            out.json = true;
        } else if (arg == "--csv") {
            out.csv = true;
        } else if (arg == "--summary-only") {
            out.summary_only = true;
        } else if (arg == "--no-loudness") {
            out.loudness = false;
        } else if (arg == "--target") {
            const char* v = value("a preset: ebu-r128, atsc-a85, streaming, podcast or none");
            if (!v) return false;
            preset = v;
        } else if (arg == "--loudness" || arg == "--tolerance" || arg == "--max-true-peak" || arg == "--max-lra") {
            const char* v = value("a number");
            if (!v) return false;
            bool ok;
            if (arg == "--loudness")
                ok = parse_limit(arg, v, -70.0, 0.0, "LUFS", given.loudnessLufs, error);
            else if (arg == "--tolerance")
                ok = parse_limit(arg, v, 0.0, 20.0, "LU", given.toleranceLu, error);
            else if (arg == "--max-true-peak")
                ok = parse_limit(arg, v, -70.0, 20.0, "dBTP", given.maxTruePeakDbtp, error);
            else
                ok = parse_limit(arg, v, 0.0, 60.0, "LU", given.maxRangeLu, error);
            if (!ok) return false;
        } else if (arg == "--set") {
            const char* v = value("NAME=VALUE");
            std::pair<int, float> setting;
            if (!v || !parse_setting(v, setting, error)) return false;
            out.settings.push_back(setting);
        } else if (arg == "--interval") {
            const char* v = value("a time in milliseconds");
            if (!v) return false;
            if (!parse_number(v, 1.0, 3.6e6, out.interval_ms)) {
                error = "--interval needs milliseconds from 1 to 3600000, got \"" + std::string(v) + "\"";
                return false;
            }
        } else if (arg == "--block") {
            const char* v = value("a block size");
            double n = 0;
            if (!v) return false;
            if (!parse_number(v, 1.0, 65536.0, n) || n != std::floor(n)) {
                error = "--block needs a whole number of samples from 1 to 65536, got \"" + std::string(v) + "\"";
                return false;
            }
            out.block = static_cast<int>(n);
        } else if (arg == "-j" || arg == "--jobs") {
            const char* v = value("a number of files to meter at once");
            double n = 0;
            if (!v) return false;
            if (!parse_number(v, 1.0, 256.0, n) || n != std::floor(n)) {
                error = arg + " needs a whole number from 1 to 256, got \"" + std::string(v) + "\"";
                return false;
            }
            out.jobs = static_cast<int>(n);
        } else if (arg == "--png") {
            const char* v = value("a file name");
            if (!v) return false;
            out.png = v;
        } else if (arg == "--png-page") {
            const char* v = value("a page");
            if (!v) return false;
            const std::string page = v;
            if (page == "main") {
                out.png_page = PngPage::main;
            } else if (page == "settings") {
                out.png_page = PngPage::settings;
            } else if (page == "loudness") {
                out.png_page = PngPage::loudness;
            } else {
                error = "--png-page needs main, settings or loudness, got \"" + page + "\"";
                return false;
            }
            png_page_given = true;
        } else if (arg == "--plot") {
            const char* v = value("a file name");
            if (!v) return false;
            out.plot = v;
        } else if (arg == "--plot-size") {
            const char* v = value("WIDTHxHEIGHT");
            if (!v) return false;
            if (!parse_plot_size(v, out.plot_width, out.plot_height)) {
                error = "--plot-size needs WIDTHxHEIGHT in pixels, from " + std::to_string(kMinPlotWidth) + "x" +
                        std::to_string(kMinPlotHeight) + ", each side up to " + std::to_string(kMaxPlotSide) +
                        " and at most " + std::to_string(kMaxPlotPixels) + " pixels (4096x4096), got \"" +
                        std::string(v) + "\"";
                return false;
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg + " (see --help)";
            return false;
        } else if (arg.empty()) {
            // An unset variable in a script: never a reason to meter the demo instead.
            error = "an empty file name (\"\") was given";
            return false;
        } else {
            out.files.push_back(arg);
        }
    }
    if (out.json && out.csv) {
        error = "--json and --csv cannot be used together";
        return false;
    }
    if (!finish_target(preset, given, out.target, error)) return false;
    out.target_preset = preset.empty() ? -1 : b2::find_loudness_target(preset.c_str());
    if (png_page_given && out.png.empty()) {
        error = "--png-page chooses the page of a --png picture: give --png FILE too";
        return false;
    }
    if (!out.loudness && out.target.active()) {
        error = "--no-loudness leaves nothing to judge a --target or limit against";
        return false;
    }
    return check_output_patterns(out, error);
}

std::string source_name(const std::string& file) { return file.empty() ? "demo" : file; }

std::string output_path(const std::string& pattern, const std::string& file) {
    std::string base = file.empty() ? "demo" : file.substr(file.find_last_of('/') + 1);
    const size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) base.erase(dot);
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern.compare(i, 2, "{}") == 0) {
            out += base;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

const char* usage_text() {
    return "usage: riser-meter [options] [FILE...]\n"
           "\n"
           "Meters audio files (WAV, AIFF, FLAC, Ogg, ... ; mono or stereo) with Riser's\n"
           "engine and prints what the editor's readouts show, then whole-file figures.\n"
           "Without FILE it meters a built-in 10 s demo: a 997 Hz sine at -20 dBFS (left)\n"
           "and noise (right). Several files are metered independently, in parallel.\n"
           "\n"
           "options:\n"
           "  --set NAME=VALUE  set a parameter by its name, the value in its own text form,\n"
           "                    e.g. --set \"RMS Window=600 ms\" --set \"K Filter=1\" (repeatable)\n"
           "  --interval MS     one report line per MS of audio (default 1000)\n"
           "  --block N         host block size in samples (default 512)\n"
           "  --json            one JSON object per line instead of text\n"
           "  --csv             the interval lines as CSV with a header row\n"
           "  --summary-only    only the whole-file figures: one line per file\n"
           "  -j, --jobs N      meter N files at once (default: one per core)\n"
           "  --png FILE        render an editor page with the final meter state\n"
           "  --png-page PAGE   the page --png renders: main (default), settings or loudness\n"
           "                    (the loudness page shows the plug-in's loudness, after Gain)\n"
           "  --plot FILE       draw the level history of the file as a PNG picture\n"
           "  --plot-size WxH   size of the --plot picture in pixels (default 1200x600,\n"
           "                    each side up to 8192, at most 4096x4096 pixels in all)\n"
           "                    with several files, FILE for --png and --plot must contain\n"
           "                    {}, which becomes each file's base name: 'plots/{}.png'\n"
           "  --no-loudness     leave out the loudness figures and true peak (faster)\n"
           "  --target PRESET   judge each file: ebu-r128 (-23 LUFS +/- 0.5 LU, true peak\n"
           "                    <= -1 dBTP), atsc-a85 (-24 LUFS +/- 2, <= -2 dBTP),\n"
           "                    streaming (-14 LUFS +/- 1, <= -1 dBTP), podcast (-16 LUFS\n"
           "                    +/- 1, <= -1 dBTP) or none (no limits)\n"
           "  --loudness LUFS --tolerance LU   integrated loudness wanted (overrides --target)\n"
           "  --max-true-peak DB   highest true peak allowed, dBTP (overrides --target)\n"
           "  --max-lra LU      largest loudness range allowed\n"
           "  --version         print the version\n"
           "  --help            print this text\n"
           "\n"
           "parameters: Gain, Scale Top, Scale Zero, RMS Window, RMS High, RMS Low, Peak Fall,\n"
           "  Peak Clip, Peak High, Peak Low, Crest High, Crest Low, Value Hold, Segment Hgt,\n"
           "  K Filter, Bypass\n"
           "\n"
           "A picture never writes over an input, another picture or an existing file that\n"
           "is not a PNG picture: such a run is refused before anything is metered.\n"
           "\n"
           "Loudness (LUFS), loudness range (LU) and true peak (dBTP) are measured on the\n"
           "file's own samples, before Gain and K Filter, as the file is delivered.\n"
           "\n"
           "exit status: 0 on success (and every file meets its target), 1 when every file\n"
           "was metered but at least one FAILs its target, 2 on any error (the message\n"
           "names the problem and the file), including output that cannot be written;\n"
           "2 wins over 1. With several files the others are still metered. A closed pipe\n"
           "(| head) ends the program quietly.\n";
}

}  // namespace riser_meter
