// riser-meter: meters audio files (or a built-in demo signal) with Riser's
// engine and prints the readouts the editor would show.
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "tools/riser_meter/meter_file.h"
#include "tools/riser_meter/options.h"
#include "tools/riser_meter/output_check.h"
#include "tools/riser_meter/png_output.h"
#include "tools/riser_meter/report.h"
#include "tools/riser_meter/report_file.h"

using namespace riser_meter;

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "riser-meter: %s\n", message.c_str());
    return 2;
}

std::string write_error(int code) {
    return std::string("cannot write the output: ") + (code ? std::strerror(code) : "write error");
}

// Everything written to stdout reached it: flushed, and no write failed.
// (A closed pipe ends the program on SIGPIPE before this, as for other tools.)
bool output_ok(std::string& error) {
    const int earlier = errno;  // a failed write before this call left its reason here
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
    error = write_error(errno ? errno : earlier);
    return false;
}

// One input's report, written to a temporary file (on disk, so memory stays
// bounded whatever the batch) until every input before it has been printed.
struct Outcome {
    std::FILE* report = nullptr;
    std::string error;
    bool ok = false;
    std::string verdict;  // with a target: PASS, or FAIL and why
    bool done = false;
};

void meter_to_file(const Options& o, const std::string& file, const std::string& folder, Outcome& result) {
    const std::string report_name =
        "the report of \"" + source_name(file) + "\" to the temporary folder \"" + folder + "\"";
    std::string reason;
    result.report = unnamed_temporary_file(folder, reason);
    if (!result.report) {
        result.error = "cannot make a temporary file for the report of \"" + source_name(file) + "\" in \"" +
                       folder + "\": " + reason;
        return;
    }
    result.ok = meter_file(o, file, true, false, result.report, report_name, result.verdict, result.error);
    errno = 0;
    if (result.ok && (std::fflush(result.report) != 0 || std::ferror(result.report))) {
        result.error = "cannot write " + report_name + ": " + (errno ? std::strerror(errno) : "write error");
        result.ok = false;
    }
    // A report the folder could not take is cut off anywhere, even inside a
    // line: none of it is printed, the error says why.
    if (!result.ok && std::ferror(result.report)) {
        std::fclose(result.report);
        result.report = nullptr;
    }
}

// Copies a finished report to stdout and closes it; false when stdout cannot
// be written.
bool print_report(std::FILE*& report, std::string& error) {
    if (!report) return true;
    std::rewind(report);
    char buffer[1 << 16];
    size_t n;
    errno = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, report)) > 0)
        if (std::fwrite(buffer, 1, n, stdout) != n) break;
    std::fclose(report);
    report = nullptr;
    return output_ok(error);
}

// The CSV interval rows have no place for a file's verdict: it goes to
// stderr, in command-line order, naming the file.
void tell_verdict(const Options& o, const std::string& file, const std::string& verdict) {
    if (o.csv && !o.summary_only && !verdict.empty())
        std::fprintf(stderr, "riser-meter: \"%s\": %s\n", source_name(file).c_str(), verdict.c_str());
}

// Ends a run: the count line when a target was given (on stderr with --csv,
// so the CSV stays one table), and the exit status, where 2 wins over 1.
int finish_batch(const Options& o, int status, int passed, int failed, int errors) {
    if (o.target.active()) {
        print_target_count(o.csv ? stderr : stdout, o.json, passed, failed, errors);
        std::string error;
        if (!output_ok(error)) return fail(error);
    }
    if (status == 0 && failed > 0) status = 1;
    return status;
}

// Meters the inputs on `jobs` threads, each input with its own engine, and
// prints each report in command-line order as soon as it and all before it
// are done. An input is started only while fewer than 2 x `jobs` reports are
// unprinted, so the open files and the temporary space stay bounded by the
// jobs whatever the batch. Returns 0 when every input was metered and
// printed (and met the target), 1 when one missed the target, 2 on any error.
int meter_in_parallel(const Options& o, const std::vector<std::string>& inputs, int jobs) {
    const std::string folder = temporary_folder();
    const size_t window = 2 * static_cast<size_t>(jobs);
    std::vector<Outcome> outcomes(inputs.size());
    std::mutex lock;
    std::condition_variable finished, printed_one;
    size_t next = 0, printed = 0;
    auto worker = [&] {
        for (;;) {
            size_t i;
            {
                std::unique_lock<std::mutex> g(lock);
                printed_one.wait(g, [&] { return next == inputs.size() || next < printed + window; });
                if (next == inputs.size()) return;
                i = next++;
            }
            Outcome result;
            try {
                meter_to_file(o, inputs[i], folder, result);
            } catch (const std::bad_alloc&) {
                result.ok = false;
                result.error = "out of memory metering \"" + source_name(inputs[i]) + "\"";
            }
            result.done = true;
            std::lock_guard<std::mutex> g(lock);
            outcomes[i] = result;
            finished.notify_all();
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < jobs; ++t) threads.emplace_back(worker);
    int status = 0, passed = 0, failed = 0;
    bool output_broken = false;
    std::string error;
    for (Outcome& r : outcomes) {
        std::unique_lock<std::mutex> g(lock);
        finished.wait(g, [&] { return r.done; });
        g.unlock();
        const bool printed_ok = print_report(r.report, error);
        g.lock();
        ++printed;
        if (!printed_ok) next = inputs.size();  // nothing more can be printed: no further input is started
        printed_one.notify_all();
        g.unlock();
        if (!printed_ok) {
            fail(error);
            status = 2;
            output_broken = true;
            break;
        }
        if (!r.ok) {
            fail(r.error);
            status = 2;
        } else {
            tell_verdict(o, inputs[static_cast<size_t>(&r - outcomes.data())], r.verdict);
            ++(failed_target(r.verdict) ? failed : passed);
        }
    }
    for (std::thread& t : threads) t.join();
    for (Outcome& r : outcomes)
        if (r.report) std::fclose(r.report);  // the reports left unprinted after a write failure
    const int errors = static_cast<int>(inputs.size()) - passed - failed;
    if (output_broken) return 2;  // no count line after output that failed
    return finish_batch(o, status, passed, failed, errors);
}

int run(int argc, char** argv) {
    Options o;
    std::string error;
    if (!parse_options(argc, argv, o, error)) return fail(error);
    if (o.help) {
        std::fputs(usage_text(), stdout);
        return output_ok(error) ? 0 : fail(error);
    }
    if (o.version) {
        std::puts("1.0.1");
        return output_ok(error) ? 0 : fail(error);
    }
    if (!o.png.empty() && !png_output_available()) return fail("--png is not available: this build has no editor");
    if (!check_outputs(o, error)) return fail(error);

    const std::vector<std::string> inputs = o.files.empty() ? std::vector<std::string>{""} : o.files;
    const bool several = inputs.size() > 1;
    if (o.summary_only && !o.json) print_summary_table_header(stdout, o.csv);
    if (o.csv && !o.summary_only) print_csv_header(stdout, several, o.loudness);

    if (!several) {
        std::string verdict;
        if (!meter_file(o, inputs[0], false, true, stdout, "the output", verdict, error)) {
            std::fflush(stdout);  // what was measured before the failure
            fail(error);
            return finish_batch(o, 2, 0, 0, 1);
        }
        if (!output_ok(error)) return fail(error);
        tell_verdict(o, inputs[0], verdict);
        const bool failed = failed_target(verdict);
        return finish_batch(o, 0, failed ? 0 : 1, failed ? 1 : 0, 0);
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const int jobs = static_cast<int>(std::min<size_t>(inputs.size(), o.jobs > 0 ? o.jobs : cores));
    return meter_in_parallel(o, inputs, jobs);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        return fail("out of memory");
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}
