// riser-meter never reports a failure as success and never destroys or
// misreports a user's file: write failures, read errors, refused outputs,
// streams of unknown length and valid JSON whatever the input.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/tools_support.h"

using namespace tools_test;

namespace {

std::string read_all(const std::string& path) {
    std::string data;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) data.append(buf, n);
        std::fclose(f);
    }
    return data;
}

void write_all(const std::string& path, const std::string& data) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
}

// Runs a shell command line; returns what it wrote to stderr (stdout is the
// command's own business).
std::string shell_err(const std::string& command) {
    TempDir dir;
    const std::string err = dir.path + "/err";
    const int status = std::system(("(" + command + ") 2>" + err).c_str());
    (void)status;
    return read_all(err);
}

// Runs a shell command line; returns what it wrote to stdout.
std::string shell_out(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        pclose(p);
    }
    return out;
}

// The names in `dir`, sorted.
std::vector<std::string> names_in(const std::string& dir) { return lines(shell_out("ls -A '" + dir + "'")); }

const std::string kMeter = RISER_METER_PATH;

// Every line of `out` is valid JSON.
void expect_valid_json_lines(const std::string& out, const std::string& what) {
    auto all = lines(out);
    ASSERT_FALSE(all.empty()) << what;
    for (const std::string& line : all) EXPECT_TRUE(Json(line).ok) << what << ": " << line;
}

}  // namespace

// Output that cannot be written is an error, whether it fails at once, at
// the final flush, or in the middle of a run while several files are printed.
TEST(RiserMeterOutput, WriteFailuresExitWith2) {
    TempWav wav(2, 48000, 1.0, {{997.0, 0.1}});
    TempWav longer(2, 48000, 3.0, {{997.0, 0.1}});
    for (const std::string& args : {"--interval 100 " + wav.path, "--json --summary-only " + wav.path,
                                    "-j 2 " + wav.path + " " + wav.path, std::string("--help"),
                                    "--interval 1 -j 2 " + longer.path + " " + longer.path}) {
        Result r = run(args + " >/dev/full");
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("cannot write the output"), std::string::npos) << args << ": " << r.err;
    }
}

// A closed pipe (| head) ends the program on SIGPIPE, quietly, as other
// tools do; where SIGPIPE is ignored the broken pipe is an error.
TEST(RiserMeterOutput, ClosedPipe) {
    TempWav wav(2, 48000, 3.0, {{997.0, 0.1}});
    const std::string meter = "(" + kMeter + " --interval 1 " + wav.path + "; echo status=$? >&2)";
    std::string err = shell_err(meter + " | head -c 1 >/dev/null");
    EXPECT_NE(err.find("status=141"), std::string::npos) << err;
    EXPECT_EQ(err.find("riser-meter:"), std::string::npos) << err;

    err = shell_err("trap '' PIPE; " + meter + " | head -c 1 >/dev/null");
    EXPECT_NE(err.find("status=2"), std::string::npos) << err;
    EXPECT_NE(err.find("Broken pipe"), std::string::npos) << err;
}

// A file that breaks off in the middle is an error that says how far it was
// read, not a short file reported as a whole one.
TEST(RiserMeterInput, TruncatedFlacIsAReadError) {
    TempDir dir;
    const std::string flac = dir.path + "/cut.flac";
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(flac.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    std::vector<float> frames(2 * 480000);
    for (size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<float>(0.5 * std::sin(0.001 * static_cast<double>(i * i % 100003)));
    sf_writef_float(f, frames.data(), 480000);
    sf_close(f);
    ASSERT_EQ(0, truncate(flac.c_str(), static_cast<off_t>(read_all(flac).size() / 2)));

    // The decoder's own reason, as libsndfile gives it for this file.
    std::string reason;
    SF_INFO back{};
    SNDFILE* cut = sf_open(flac.c_str(), SFM_READ, &back);
    ASSERT_NE(cut, nullptr);
    std::vector<float> block(2 * 4096);
    while (sf_readf_float(cut, block.data(), 4096) > 0 && sf_error(cut) == SF_ERR_NO_ERROR) {
    }
    if (sf_error(cut) != SF_ERR_NO_ERROR) reason = sf_strerror(cut);
    sf_close(cut);
    ASSERT_FALSE(reason.empty()) << "libsndfile reads the cut file without an error";

    Result r = run("--json " + flac);
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.err.find(flac), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("past "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(": " + reason), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("summary"), std::string::npos) << r.out;
}

// A WAV streamed through a pipe declares sizes of 0xFFFFFFFF: the report
// gives the frames actually read, and the picture spans them.
TEST(RiserMeterInput, PipedWavReportsTheFramesRead) {
    TempWav wav(2, 48000, 2.0, {{997.0, 0.1}});
    std::string data = read_all(wav.path);
    const size_t at = data.find("data");
    ASSERT_NE(at, std::string::npos);
    data.replace(4, 4, "\xff\xff\xff\xff");
    data.replace(at + 4, 4, "\xff\xff\xff\xff");
    write_all(wav.path, data);
    TempDir dir;

    const std::string pipe = "cat " + wav.path + " | ";
    Result r = run_after(pipe, "--json --plot " + dir.path + "/h.png /dev/stdin");
    ASSERT_EQ(r.status, 0) << r.err;
    Json s(lines(r.out).back());
    ASSERT_TRUE(s.ok) << r.out;
    EXPECT_EQ(s.numbers["summary.frames"], 96000);
    EXPECT_EQ(lines(r.out).size(), 3u);  // two one-second lines and the summary
    EXPECT_TRUE(exists(dir.path + "/h.png"));

    Result text = run_after(pipe, "/dev/stdin");
    EXPECT_EQ(text.out.rfind("riser-meter 1.0.1: /dev/stdin, 48000 Hz, length unknown", 0), 0u) << text.out;
}

// Pictures never write over an input, over each other, or over a file that
// is not a picture; the run is refused before anything is metered.
TEST(RiserMeterPictures, NeverWriteOverAUsersFile) {
    TempDir dir;
    TempWav a(2, 48000, 0.5, {{997.0, 0.1}});
    TempWav b(2, 48000, 0.5, {{440.0, 0.1}});
    const std::string song = dir.path + "/song.wav";
    write_all(song, read_all(a.path));
    const std::string before_a = read_all(a.path), before_b = read_all(b.path), before_song = read_all(song);
    const std::string a_dir = a.path.substr(0, a.path.rfind('/'));

    struct Case {
        std::string args, names;
    };
    std::vector<Case> cases = {
        {"--plot " + song, song},                                            // the user forgot the input
        {"--plot " + song + " " + song, song},                               // the input itself
        {"--plot " + a_dir + "/./{}.wav " + a.path + " " + b.path, a.path},  // a pattern onto the inputs
    };
#ifdef RISER_METER_HAS_PNG
    // Both pictures under one name, spelled two ways: the message names both.
    cases.push_back({"--plot " + dir.path + "/x.png --png " + dir.path + "/./x.png " + a.path, "--png"});
    cases.push_back({cases.back().args, "--plot"});
#endif
    for (const Case& c : cases) {
        Result r = run(c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_NE(r.err.find(c.names), std::string::npos) << c.args << ": " << r.err;
        EXPECT_EQ(r.out, "") << c.args;
    }
    EXPECT_EQ(read_all(a.path), before_a);
    EXPECT_EQ(read_all(b.path), before_b);
    EXPECT_EQ(read_all(song), before_song);
    EXPECT_FALSE(exists(dir.path + "/x.png"));

    // A picture may replace an earlier picture.
    const std::string png = dir.path + "/h.png";
    EXPECT_EQ(run("--summary-only --plot " + png + " " + a.path).status, 0);
    EXPECT_EQ(run("--summary-only --plot " + png + " " + b.path).status, 0);

    // An empty name (an unset variable in a script) meters nothing.
    Result empty = run("--json \"\"");
    EXPECT_EQ(empty.status, 2);
    EXPECT_NE(empty.err.find("empty file name"), std::string::npos) << empty.err;
    EXPECT_EQ(empty.out, "");
}

// A picture is written to a temporary file of a new name, never an existing
// one: a link at the old fixed name FILE.partial is not followed into the
// user's file, a link at the picture's own name is replaced rather than
// written through, and an input named like the temporary file is left
// alone. Nothing temporary stays behind.
TEST(RiserMeterPictures, NeverWriteThroughALinkOrOverAnInput) {
    TempDir dir;
    TempWav a(2, 48000, 0.5, {{997.0, 0.1}});
    const std::string victim = dir.path + "/victim.txt", words = "the user's own words\n";
    write_all(victim, words);
    std::vector<std::string> options = {"--plot"};
#ifdef RISER_METER_HAS_PNG
    options.push_back("--png");
#endif
    for (const std::string& option : options) {
        const std::string png = dir.path + "/h" + option.substr(2) + ".png";
        ASSERT_EQ(symlink(victim.c_str(), (png + ".partial").c_str()), 0);
        Result r = run("--summary-only " + option + " " + png + " " + a.path);
        EXPECT_EQ(r.status, 0) << option << ": " << r.err;
        EXPECT_TRUE(read_all(victim) == words) << option << ": the file behind the link was written";
        EXPECT_EQ(read_all(png).substr(0, 4), "\x89PNG") << option;
        struct stat st;
        EXPECT_TRUE(lstat((png + ".partial").c_str(), &st) == 0 && S_ISLNK(st.st_mode)) << option;

        // The picture's name is a link to a picture of the user's elsewhere.
        const std::string theirs = dir.path + "/theirs.png", link = dir.path + "/link.png";
        write_all(theirs, read_all(png));
        const std::string before = read_all(theirs);
        ASSERT_EQ(symlink(theirs.c_str(), link.c_str()), 0);
        r = run("--summary-only --set \"Scale Zero=-6 dB\" " + option + " " + link + " " + a.path);
        EXPECT_EQ(r.status, 0) << option << ": " << r.err;
        EXPECT_TRUE(read_all(theirs) == before) << option << ": the picture behind the link was written";
        EXPECT_TRUE(lstat(link.c_str(), &st) == 0 && S_ISREG(st.st_mode)) << option;

        // An input called like the temporary file of the old fixed name.
        const std::string k = dir.path + "/k.png", input = k + ".partial";
        write_all(input, read_all(a.path));
        r = run("--summary-only " + option + " " + k + " " + input);
        EXPECT_EQ(r.status, 0) << option << ": " << r.err;
        EXPECT_TRUE(read_all(input) == read_all(a.path)) << option << ": the input was changed";
        EXPECT_EQ(read_all(k).substr(0, 4), "\x89PNG") << option;

        std::vector<std::string> names = names_in(dir.path);
        EXPECT_EQ(names, (std::vector<std::string>{"h" + option.substr(2) + ".png", "h" + option.substr(2) + ".png.partial",
                                                   "k.png", "k.png.partial", "link.png", "theirs.png", "victim.txt"}))
            << option;
        for (const char* name : {"/k.png", "/k.png.partial", "/link.png", "/theirs.png"})
            std::remove((dir.path + name).c_str());
        std::remove(png.c_str());
        std::remove((png + ".partial").c_str());
    }
}

// Rates outside 8 kHz to 768 kHz are refused like unreadable files; the
// limits themselves are metered.
TEST(RiserMeterInput, SampleRatesOutsideTheRangeAreRefused) {
    for (double rate : {4000.0, 1000000.0}) {
        TempWav wav(2, rate, 0.1, {{100.0, 0.1}});
        Result r = run("--json " + wav.path);
        EXPECT_EQ(r.status, 2) << rate;
        EXPECT_NE(r.err.find(wav.path), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("sample rate"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    for (double rate : {8000.0, 768000.0}) {
        TempWav wav(2, rate, 0.1, {{100.0, 0.1}});
        EXPECT_EQ(run("--json " + wav.path).status, 0) << rate;
    }
}

// Each failed file of a parallel batch gets its own reason, not another
// file's (libsndfile's error of a failed open is process-wide).
TEST(RiserMeterBatch, EachFailureNamesItsOwnReason) {
    TempDir dir;
    std::string files;
    for (int i = 0; i < 40; ++i) {
        const std::string garbage = dir.path + "/garbage" + std::to_string(i) + ".wav";
        write_all(garbage, "RIFF....WAVEnot audio at all");
        files += " " + garbage + " " + dir.path + "/missing" + std::to_string(i) + ".wav";
    }
    for (int round = 0; round < 12; ++round) {
        Result r = run("--summary-only -j 16" + files);
        EXPECT_EQ(r.status, 2);
        for (const std::string& line : lines(r.err)) {
            const bool missing = line.find("/missing") != std::string::npos;
            EXPECT_EQ(line.find("No such file") != std::string::npos, missing) << line;
            EXPECT_EQ(line.find("No Error"), std::string::npos) << line;
        }
    }
}

// JSON output is valid JSON in every mode: readings that overflow (samples
// far above full scale) are null, and a file name that is not UTF-8 is
// written with replacement characters.
TEST(RiserMeterJson, ValidWhateverTheInput) {
    TempDir dir;
    TempWav loud(2, 48000, 1.0, [](int c, size_t i) { return (c ? 1.0 : 3e19) * std::sin(0.05 * static_cast<double>(i)); });
    const std::string odd = dir.path + "/caf\xe9-\xff.wav";
    write_all(odd, read_all(loud.path));

    Result one = run("--json --interval 100 " + loud.path);
    EXPECT_EQ(one.status, 0) << one.err;
    expect_valid_json_lines(one.out, "one file");
    EXPECT_NE(one.out.find("null"), std::string::npos);  // the overflowing readings
    const std::string escaped = dir.path + "/back\\slash \"quoted\".wav";
    write_all(escaped, read_all(loud.path));
    for (const char* mode : {"--json --interval 250", "--json --summary-only"}) {
        Result r = run(std::string(mode) + " -j 2 " + loud.path + " '" + odd + "' '" + escaped + "'");
        EXPECT_EQ(r.status, 0) << r.err;
        expect_valid_json_lines(r.out, mode);
        // Every line names its file, read back as it was given (the bytes
        // that are not UTF-8 replaced).
        std::vector<std::string> summaries;
        int named = 0;
        for (const std::string& line : lines(r.out)) {
            Json j(line);
            if (j.strings.count("summary.file")) summaries.push_back(j.strings["summary.file"]);
            else if (j.strings["file"] == escaped) ++named;
        }
        EXPECT_EQ(summaries, (std::vector<std::string>{loud.path, dir.path + "/caf\xef\xbf\xbd-\xef\xbf\xbd.wav", escaped}))
            << mode;
        EXPECT_EQ(named, std::string(mode).find("summary") != std::string::npos ? 0 : 4) << mode << ": " << r.out;
    }
    // The demo, alone.
    expect_valid_json_lines(run("--json --interval 300").out, "demo");
}

// The gain does not fade in at the start of a file: a click on the very
// first sample counts fully, in the whole-file figures and the readouts.
TEST(RiserMeterWholeFile, AClickOnTheFirstSampleCountsFully) {
    TempWav click(2, 48000, 1.0, [](int, size_t i) { return i == 0 ? 1.0 : 0.0; });
    for (const auto& gain : {std::make_pair(std::string(""), 0.0), std::make_pair(std::string("--set \"Gain=-6 dB\" "), -6.0)}) {
        Result r = run("--json --interval 100 " + gain.first + click.path);
        ASSERT_EQ(r.status, 0) << r.err;
        auto all = lines(r.out);
        Json first(all.front()), s(all.back());
        EXPECT_NEAR(s.numbers["summary.whole_file.left.samplePeakDb"], gain.second, 0.01) << gain.first;
        EXPECT_NEAR(first.numbers["left.heldPeakDb"], gain.second, 0.01) << gain.first;
    }
}

// A batch of any size: each report is closed and gone once printed, and
// no job runs far ahead of the printing (here while the first, long file is
// metered), so a batch of more files than the process may have open is
// metered whole.
TEST(RiserMeterBatch, AnyNumberOfFilesUnderALowOpenFileLimit) {
    TempDir dir;
    TempWav first(2, 48000, 20.0, {{997.0, 0.1}});
    TempWav wav(2, 8000, 0.05, {{997.0, 0.1}});
    const std::string data = read_all(wav.path);
    std::string files = " " + first.path;
    const int count = 100;
    for (int i = 0; i < count; ++i) {
        const std::string name = dir.path + "/f" + std::to_string(i) + ".wav";
        write_all(name, data);
        files += " " + name;
    }
    Result r = run_after("ulimit -n 40 && ", "--summary-only --no-loudness -j 2" + files);
    EXPECT_EQ(r.status, 0) << r.err;
    auto rows = lines(r.out);
    ASSERT_EQ(rows.size(), 4u + count) << r.err;
    EXPECT_NE(rows[3].find(first.path), std::string::npos) << rows[3];
    for (int i = 0; i < count; ++i)
        EXPECT_NE(rows[4 + i].find("/f" + std::to_string(i) + ".wav"), std::string::npos) << rows[4 + i];
}

// The reports of a batch wait in $TMPDIR; a folder that cannot take them is
// an error that names it, and a report cut short there is not printed.
TEST(RiserMeterBatch, ReportsWaitInTmpdir) {
    TempDir dir;
    TempWav f0(2, 8000, 0.05, {{997.0, 0.1}});
    TempWav f1(2, 8000, 0.05, {{440.0, 0.1}});
    const std::string two = " " + f0.path + " " + f1.path;
    const std::string reports = dir.path + "/reports";
    ASSERT_EQ(mkdir(reports.c_str(), 0700), 0);
    Result here = run_after("TMPDIR=" + reports + " ", "--summary-only -j 2" + two);
    EXPECT_EQ(here.status, 0) << here.err;
    EXPECT_TRUE(names_in(reports).empty());
    Result missing = run_after("TMPDIR=" + reports + "/missing ", "--summary-only -j 2" + two);
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(lines(missing.out).size(), 3u) << missing.out;  // the table's header only
    EXPECT_EQ(lines(missing.err).size(), 2u) << missing.err;
    EXPECT_NE(missing.err.find("\"" + reports + "/missing\": No such file"), std::string::npos) << missing.err;

    // A full folder, as a file size limit: the long report does not fit, the
    // short one does.
    TempWav longer(2, 48000, 1.0, {{997.0, 0.1}});
    Result full = run_after("trap '' XFSZ; ulimit -f 8 && ", "--json --interval 10 -j 2 " + longer.path + " " + f0.path);
    EXPECT_EQ(full.status, 2);
    EXPECT_NE(full.err.find("cannot write the report of \"" + longer.path + "\" to the temporary folder"),
              std::string::npos)
        << full.err;
    EXPECT_NE(full.err.find("File too large"), std::string::npos) << full.err;
    expect_valid_json_lines(full.out, "full folder");
    EXPECT_EQ(full.out.find(longer.path), std::string::npos);
    EXPECT_NE(full.out.find("\"summary\":{\"file\":\"" + f0.path + "\""), std::string::npos) << full.out;
}
