// riser-meter: meters an audio file (or a built-in demo signal) with Riser's
// engine and prints the readouts the editor would show.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/riser_meter/audio_input.h"
#include "tools/riser_meter/meter_run.h"
#include "tools/riser_meter/options.h"
#include "tools/riser_meter/png_output.h"
#include "tools/riser_meter/report.h"

using namespace riser_meter;

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "riser-meter: %s\n", message.c_str());
    return 2;
}

class Progress {
public:
    Progress(int64_t total, double rate) : total(total), shown(isatty(2) && total > rate * 5.0) {}
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

void report(const Options& o, double time_s, const MeterRun& run) {
    if (!run.has_snapshots()) return;
    if (o.json)
        print_json_line(stdout, time_s, run.latest());
    else
        print_text_line(stdout, time_s, run.latest());
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    std::string error;
    if (!parse_options(argc, argv, o, error)) return fail(error);
    if (o.help) {
        std::fputs(usage_text(), stdout);
        return 0;
    }
    if (o.version) {
        std::puts("1.0.1");
        return 0;
    }
    std::unique_ptr<AudioInput> input = o.file.empty() ? make_demo_signal() : open_audio_file(o.file, error);
    if (!input) return fail(error);
    if (!o.png.empty() && !png_output_available()) return fail("--png is not available: this build has no editor");

    const double rate = input->sample_rate();
    const RunInfo info{o.file.empty() ? "demo" : o.file, rate, input->frames(), o.block};
    MeterRun run(rate, o.block, o.settings);
    if (!run.ok()) return fail("out of memory");
    if (!o.json) print_text_header(stdout, info);

    const int64_t interval = std::max<int64_t>(1, static_cast<int64_t>(rate * o.interval_ms / 1000.0));
    std::vector<float> left(static_cast<size_t>(o.block)), right(static_cast<size_t>(o.block));
    int64_t done = 0, next_report = interval;
    Progress progress(input->frames(), rate);
    for (;;) {
        const int want = static_cast<int>(std::min<int64_t>(o.block, next_report - done));
        const int got = input->read(left.data(), right.data(), want);
        if (got <= 0) break;
        run.process(left.data(), right.data(), got);
        done += got;
        if (done == next_report) {
            report(o, static_cast<double>(done) / rate, run);
            next_report += interval;
        }
        progress.update(done);
    }
    if (done != next_report - interval) report(o, static_cast<double>(done) / rate, run);

    if (o.json)
        print_json_summary(stdout, info, run.maxima());
    else
        print_text_summary(stdout, info, run.maxima());
    if (!o.png.empty() && !write_png(o.png, run, error)) return fail(error);
    return 0;
}
