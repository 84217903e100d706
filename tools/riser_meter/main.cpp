// riser-meter: meters audio files (or a built-in demo signal) with Riser's
// engine and prints the readouts the editor would show.
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/riser_meter/meter_file.h"
#include "tools/riser_meter/options.h"
#include "tools/riser_meter/png_output.h"
#include "tools/riser_meter/report.h"

using namespace riser_meter;

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "riser-meter: %s\n", message.c_str());
    return 2;
}

// One input's report, kept until every input before it has been printed.
struct Outcome {
    std::string out;
    std::string error;
    bool ok = false;
    bool done = false;
};

// Meters one input into a memory buffer.
void meter_to_buffer(const Options& o, const std::string& file, Outcome& result) {
    char* data = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&data, &size);
    if (!out) {
        result.error = "out of memory metering \"" + source_name(file) + "\"";
        return;
    }
    result.ok = meter_file(o, file, true, false, out, result.error);
    std::fclose(out);
    result.out.assign(data, size);
    std::free(data);
}

// Meters the inputs on `jobs` threads, each input with its own engine, and
// prints each report in command-line order as soon as it and all before it
// are done. Returns true when every input was metered.
bool meter_in_parallel(const Options& o, const std::vector<std::string>& inputs, int jobs) {
    std::vector<Outcome> outcomes(inputs.size());
    std::mutex lock;
    std::condition_variable finished;
    size_t next = 0;
    auto worker = [&] {
        for (;;) {
            size_t i;
            {
                std::lock_guard<std::mutex> g(lock);
                if (next == inputs.size()) return;
                i = next++;
            }
            Outcome result;
            meter_to_buffer(o, inputs[i], result);
            result.done = true;
            std::lock_guard<std::mutex> g(lock);
            outcomes[i] = std::move(result);
            finished.notify_all();
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < jobs; ++t) threads.emplace_back(worker);
    bool all_ok = true;
    for (Outcome& r : outcomes) {
        std::unique_lock<std::mutex> g(lock);
        finished.wait(g, [&] { return r.done; });
        g.unlock();
        std::fwrite(r.out.data(), 1, r.out.size(), stdout);
        std::fflush(stdout);
        if (!r.ok) fail(r.error);
        all_ok = all_ok && r.ok;
        std::string().swap(r.out);
    }
    for (std::thread& t : threads) t.join();
    return all_ok;
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
    if (!o.png.empty() && !png_output_available()) return fail("--png is not available: this build has no editor");

    const std::vector<std::string> inputs = o.files.empty() ? std::vector<std::string>{""} : o.files;
    const bool several = inputs.size() > 1;
    if (o.summary_only && !o.json) print_summary_table_header(stdout, o.csv);
    if (o.csv && !o.summary_only) print_csv_header(stdout, several);

    if (!several) {
        if (!meter_file(o, inputs[0], false, true, stdout, error)) return fail(error);
        return 0;
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const int jobs = static_cast<int>(std::min<size_t>(inputs.size(), o.jobs > 0 ? o.jobs : cores));
    return meter_in_parallel(o, inputs, jobs) ? 0 : 2;
}
