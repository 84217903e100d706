#include "tools/riser_meter/meter_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "tools/riser_meter/audio_input.h"
#include "tools/riser_meter/file_figures.h"
#include "tools/riser_meter/history.h"
#include "tools/riser_meter/loudness.h"
#include "tools/riser_meter/meter_run.h"
#include "tools/riser_meter/plot.h"
#include "tools/riser_meter/png_output.h"
#include "tools/riser_meter/report.h"

namespace riser_meter {

namespace {

class Progress {
public:
    // `total` < 0: a length not known in advance, so no progress is shown.
    Progress(bool wanted, int64_t total, double rate) : total(total), shown(wanted && isatty(2) && total > rate * 5.0) {}
    void update(int64_t done) {
        if (!shown || total <= 0) return;
        const int percent = static_cast<int>(100 * done / total);
        if (percent == last) return;
        last = percent;
        std::fprintf(stderr, "\rmetering: %3d%%", percent);
        std::fflush(stderr);
    }
    ~Progress() {
        if (shown) std::fprintf(stderr, "\r%*s\r", 16, "");
    }

private:
    int64_t total;
    bool shown;
    int last = -1;
};

PlotSettings plot_settings_of(const b2::engine* e) {
    auto v = [e](int id) { return b2::global_value(e, id); };
    PlotSettings s;
    s.scale_top = v(b2::ID_SCALE_TOP);
    s.scale_zero = v(b2::ID_SCALE_ZERO);
    s.segment_height = v(b2::ID_SEGMENT_HEIGHT);
    s.peak_clip = v(b2::ID_PEAK_CLIP);
    s.peak_high = v(b2::ID_PEAK_HIGH);
    s.peak_low = v(b2::ID_PEAK_LOW);
    s.rms_high = v(b2::ID_RMS_HIGH);
    s.rms_low = v(b2::ID_RMS_LOW);
    s.crest_high = v(b2::ID_CREST_HIGH);
    s.crest_low = v(b2::ID_CREST_LOW);
    s.rms_window_ms = v(b2::ID_RMS_WINDOW);
    s.peak_fall_ms = v(b2::ID_PEAK_FALL);
    s.value_hold_ms = v(b2::ID_VALUE_HOLD);
    s.k_weighted = v(b2::ID_K_FILTER) >= 0.5f;
    return s;
}

// Where the interval lines go; the summary-only modes print none.
void report_line(const Options& o, const RunInfo& info, double time_s, const MeterRun& run, const Loudness* loudness,
                 std::FILE* out) {
    if (!run.has_snapshots() || o.summary_only) return;
    LiveLoudness now{};
    const LiveLoudness* live = nullptr;
    if (loudness) {
        now = loudness->live();
        live = &now;
    }
    if (o.json)
        print_json_line(out, info, time_s, run.latest(), live);
    else if (o.csv)
        print_csv_line(out, info, time_s, run.latest(), live);
    else
        print_text_line(out, time_s, run.latest(), live);
}

void report_summary(const Options& o, const RunInfo& info, const MeterRun& run, const FileFigures& figures,
                    const Loudness* loudness, Summary& s, std::FILE* out) {
    s.has_maxima = run.has_snapshots();
    s.maxima = run.maxima();
    s.has_settled = run.has_settled();
    s.settled = run.settled_maxima();
    s.settled_from_s = run.settled_from_s();
    s.figures[0] = figures.channel(0);
    s.figures[1] = figures.channel(1);
    if (loudness) {
        s.has_loudness = true;
        s.loudness = loudness->figures();
        s.judged = o.target.active();
        if (s.judged) s.failures = judge(o.target, s.loudness);
    }
    if (o.json)
        print_json_summary(out, info, s);
    else if (o.summary_only)
        print_summary_row(out, info, s, o.csv);
    else if (!o.csv)
        print_text_summary(out, info, s);
}

// A read error in the middle of the input: how far it was read, and why.
bool read_failed(const RunInfo& info, int64_t done, const std::string& why, std::string& error) {
    char at[64];
    std::snprintf(at, sizeof at, "%lld frames (%.3f s)", static_cast<long long>(done),
                  static_cast<double>(done) / info.sample_rate);
    error = "cannot read \"" + info.source + "\" past " + at + ": " + why;
    return false;
}

// Output that cannot be written: the lines after it would be lost too.
bool output_failed(const std::string& out_name, std::string& error) {
    const int code = errno;
    error = "cannot write " + out_name + ": " + (code ? std::strerror(code) : "write error");
    return false;
}

bool meter_input(const Options& o, const std::string& file, bool several, bool progress, std::FILE* out,
                 const std::string& out_name, std::string& verdict, std::string& error) {
    std::unique_ptr<AudioInput> input = file.empty() ? make_demo_signal() : open_audio_file(file, error);
    if (!input) return false;

    const double rate = input->sample_rate();
    const int64_t declared = input->frames();
    RunInfo info{source_name(file), rate, declared, o.block, several, o.loudness};
    MeterRun run(rate, o.block, o.settings, o.png_page == PngPage::loudness,
                 o.target_preset < 0 ? 0 : o.target_preset);
    if (!run.ok()) {
        error = "out of memory metering \"" + info.source + "\"";
        return false;
    }
    const PlotSettings settings = plot_settings_of(run.get_engine());
    FileFigures figures(rate, settings.k_weighted);
    std::unique_ptr<Loudness> loudness;
    if (o.loudness) {
        loudness = std::make_unique<Loudness>(rate, input->channels());
        if (!loudness->ok()) {
            error = "cannot set up the loudness measurement for \"" + info.source + "\"";
            return false;
        }
    }
    std::unique_ptr<LevelHistory> history;
    if (!o.plot.empty()) {
        const PlotLayout layout = plot_layout(o.plot_width, o.plot_height, settings);
        history = std::make_unique<LevelHistory>(layout.columns(), declared);
        run.set_history(history.get());
    }
    if (!o.json && !o.csv && !o.summary_only) print_text_header(out, info);
    if (std::ferror(out)) return output_failed(out_name, error);

    const int64_t interval = std::max<int64_t>(1, static_cast<int64_t>(rate * o.interval_ms / 1000.0));
    std::vector<float> left(static_cast<size_t>(o.block)), right(static_cast<size_t>(o.block));
    int64_t done = 0, next_report = interval;
    Progress shown(progress, declared, rate);
    for (;;) {
        const int want = static_cast<int>(std::min<int64_t>(o.block, next_report - done));
        const int got = input->read(left.data(), right.data(), want);
        if (got < 0) return read_failed(info, done, input->read_error(), error);
        if (got == 0) break;
        // Loudness and true peak judge the file as delivered: before the gain.
        if (loudness) loudness->add(left.data(), right.data(), got);
        run.process(left.data(), right.data(), got);
        // The buffers now hold the engine's output: the signal after the gain.
        figures.add(left.data(), right.data(), got, history.get());
        done += got;
        if (done == next_report) {
            report_line(o, info, static_cast<double>(done) / rate, run, loudness.get(), out);
            if (std::ferror(out)) return output_failed(out_name, error);
            next_report += interval;
        }
        shown.update(done);
    }
    // A file that ends before the length its header declares was cut short.
    if (declared >= 0 && done < declared)
        return read_failed(info, done, "it ends before the " + std::to_string(declared) + " frames its header declares",
                           error);
    info.frames = done;  // what was read, everywhere from here on
    if (done != next_report - interval) report_line(o, info, static_cast<double>(done) / rate, run, loudness.get(), out);
    Summary summary;
    report_summary(o, info, run, figures, loudness.get(), summary, out);
    if (summary.judged) {
        verdict = summary.failures.empty() ? "PASS" : "FAIL";
        for (size_t i = 0; i < summary.failures.size(); ++i) verdict += (i ? "; " : ": ") + summary.failures[i];
    }
    if (several && !o.json && !o.csv && !o.summary_only) std::fputc('\n', out);
    if (std::ferror(out)) return output_failed(out_name, error);

    if (!o.png.empty() && !write_png(output_path(o.png, file), run, o.png_page, error)) return false;
    if (history) {
        history->finish(done);
        PlotInfo plot{info.source, rate, done, settings, std::string()};
        if (summary.has_loudness) plot.loudness = loudness_line(summary.loudness);
        if (!write_history_png(output_path(o.plot, file), *history, plot, o.plot_width, o.plot_height, error))
            return false;
    }
    return true;
}

}  // namespace

bool meter_file(const Options& o, const std::string& file, bool several, bool progress, std::FILE* out,
                const std::string& out_name, std::string& verdict, std::string& error) {
    verdict.clear();
    try {
        return meter_input(o, file, several, progress, out, out_name, verdict, error);
    } catch (const std::bad_alloc&) {
        error = "out of memory metering \"" + source_name(file) + "\"";
        return false;
    }
}

}  // namespace riser_meter
