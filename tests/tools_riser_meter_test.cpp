// riser-meter end to end: generated audio files in, readouts and errors out.
#include <gtest/gtest.h>

#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs riser-meter with `args` (already shell-quoted), capturing both streams.
Result run(const std::string& args) {
    char err_path[] = "/tmp/riser_meter_errXXXXXX";
    const int fd = mkstemp(err_path);
    close(fd);
    const std::string cmd = std::string(RISER_METER_PATH) + " " + args + " 2>" + err_path;
    Result r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (FILE* e = std::fopen(err_path, "r")) {
        while ((n = fread(buf, 1, sizeof buf, e)) > 0) r.err.append(buf, n);
        std::fclose(e);
    }
    std::remove(err_path);
    return r;
}

class TempWav {
public:
    // Writes `seconds` of sines: one frequency and amplitude per channel.
    TempWav(int channels, double rate, double seconds, std::vector<std::pair<double, double>> tones) {
        char tmpl[] = "/tmp/riser_meter_inXXXXXX";
        const int fd = mkstemp(tmpl);
        close(fd);
        path = std::string(tmpl) + ".wav";
        std::rename(tmpl, path.c_str());
        SF_INFO info{};
        info.samplerate = static_cast<int>(rate);
        info.channels = channels;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
        const auto frames = static_cast<size_t>(rate * seconds);
        std::vector<float> data(frames * static_cast<size_t>(channels));
        for (size_t i = 0; i < frames; ++i)
            for (int c = 0; c < channels; ++c) {
                const auto& t = tones[static_cast<size_t>(c) % tones.size()];
                data[i * static_cast<size_t>(channels) + static_cast<size_t>(c)] =
                    static_cast<float>(t.second * std::sin(2.0 * M_PI * t.first * static_cast<double>(i) / rate));
            }
        sf_writef_float(f, data.data(), static_cast<sf_count_t>(frames));
        sf_close(f);
    }
    ~TempWav() { std::remove(path.c_str()); }
    std::string path;
};

// A small JSON reader: enough to check that every line parses, and to pull
// numbers out by a dotted path ("summary.left.heldPeakDb").
class Json {
public:
    explicit Json(const std::string& text) : s(text) {
        ok = value("") && (skip(), i == s.size());
    }
    bool ok = false;
    std::map<std::string, double> numbers;
    std::map<std::string, std::string> strings;

private:
    void skip() {
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    }
    bool string(std::string& out) {
        if (s[i] != '"') return false;
        for (++i; i < s.size() && s[i] != '"'; ++i) {
            if (s[i] == '\\') ++i;
            out += s[i];
        }
        return i++ < s.size();
    }
    bool value(const std::string& path) {
        skip();
        if (i >= s.size()) return false;
        if (s[i] == '{') {
            ++i;
            skip();
            if (s[i] == '}') return ++i, true;
            for (;;) {
                skip();
                std::string key;
                if (!string(key)) return false;
                skip();
                if (s[i++] != ':') return false;
                if (!value(path.empty() ? key : path + "." + key)) return false;
                skip();
                if (s[i] == ',') {
                    ++i;
                    continue;
                }
                return s[i++] == '}';
            }
        }
        if (s[i] == '"') {
            std::string v;
            if (!string(v)) return false;
            strings[path] = v;
            return true;
        }
        char* end = nullptr;
        const double v = std::strtod(s.c_str() + i, &end);
        if (end == s.c_str() + i) return false;
        numbers[path] = v;
        i = static_cast<size_t>(end - s.c_str());
        return true;
    }
    const std::string& s;
    size_t i = 0;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        out.push_back(text.substr(start, nl - start));
    return out;
}

// The summary object of a --json run.
Json summary(const Result& r) {
    auto all = lines(r.out);
    return Json(all.empty() ? std::string() : all.back());
}

const double kMinus20 = 0.1;  // -20 dBFS

}  // namespace

TEST(RiserMeter, SineAtMinus20ReadsMinus20WithZeroCrest) {
    TempWav wav(2, 48000, 3.0, {{997.0, kMinus20}});
    Result r = run("--json " + wav.path);
    ASSERT_EQ(r.status, 0) << r.err;
    Json s = summary(r);
    ASSERT_TRUE(s.ok) << r.out;
    EXPECT_NEAR(s.numbers["summary.left.heldPeakDb"], -20.0, 0.05);
    EXPECT_NEAR(s.numbers["summary.left.heldRmsDb"], -20.0, 0.05);
    EXPECT_NEAR(s.numbers["summary.right.heldRmsDb"], -20.0, 0.05);
    EXPECT_EQ(s.numbers["summary.frames"], 144000);
    EXPECT_EQ(s.strings["summary.file"], wav.path);

    // The text form shows the editor's labels: peak and RMS -20.0, crest about 0.
    Result text = run("--interval 3000 " + wav.path);
    ASSERT_EQ(text.status, 0);
    auto all = lines(text.out);
    ASSERT_GE(all.size(), 3u);
    const std::string& line = all[2];
    EXPECT_NE(line.find("   3.000 | L  -20.0  -20.0    0.0"), std::string::npos) << line;
}

// The host block size is the user's choice, not part of the measurement:
// every block size gives the same lines, to the last digit.
TEST(RiserMeter, ReadingsDoNotDependOnTheBlockSize) {
    TempWav wav(2, 48000, 2.0, {{997.0, kMinus20}, {50.0, 0.5}});
    const std::string args = " --json --interval 250 --set \"K Filter=On\" --set \"Gain=3\" " + wav.path;
    const Result reference = run("--block 512" + args);
    ASSERT_EQ(reference.status, 0) << reference.err;
    ASSERT_EQ(lines(reference.out).size(), 9u);
    for (int block : {1, 7, 100, 441, 4096}) {
        const Result r = run("--block " + std::to_string(block) + args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, reference.out) << "block " << block;
    }
    Json s = summary(reference);
    EXPECT_NEAR(s.numbers["summary.left.rmsDb"], -17.0, 0.05);
}

TEST(RiserMeter, KWeightingLeaves997HzAndLifts10kHz) {
    TempWav low(2, 48000, 2.0, {{997.0, kMinus20}});
    TempWav high(2, 48000, 2.0, {{10000.0, kMinus20}});
    Json off = summary(run("--json " + low.path));
    Json on = summary(run("--json --set \"K Filter=1\" " + low.path));
    Json on_high = summary(run("--json --set \"K Filter=On\" " + high.path));
    ASSERT_TRUE(off.ok && on.ok && on_high.ok);
    const double rms = off.numbers["summary.left.rmsDb"];
    EXPECT_NEAR(on.numbers["summary.left.rmsDb"], rms, 0.01);
    EXPECT_NEAR(on_high.numbers["summary.left.rmsDb"] - rms, 3.35, 0.05);
}

TEST(RiserMeter, ScaleZeroShiftsThePeakReadout) {
    TempWav wav(2, 48000, 2.0, {{997.0, kMinus20}});
    Result r = run("--interval 2000 --set \"Scale Zero=-20 dB\" " + wav.path);
    ASSERT_EQ(r.status, 0) << r.err;
    auto all = lines(r.out);
    ASSERT_GE(all.size(), 3u);
    double t = 0, peak = 99, rms = 99, crest = 99;
    ASSERT_EQ(std::sscanf(all[2].c_str(), "%lf | L %lf %lf %lf", &t, &peak, &rms, &crest), 4) << all[2];
    EXPECT_NEAR(peak, 0.0, 0.05);  // -20 dB read against a zero of -20 dB
    EXPECT_NEAR(rms, 0.0, 0.05);
    EXPECT_NEAR(crest, 0.0, 0.05);  // the crest is not relative to the scale
}

TEST(RiserMeter, MonoFeedsBothChannels) {
    TempWav wav(1, 44100, 2.0, {{440.0, 0.5}});
    Json s = summary(run("--json " + wav.path));
    ASSERT_TRUE(s.ok);
    for (const char* f : {"heldPeakDb", "peakDb", "heldRmsDb", "rmsDb", "heldCrestDb", "crestDb"})
        EXPECT_EQ(s.numbers[std::string("summary.left.") + f], s.numbers[std::string("summary.right.") + f]) << f;
    EXPECT_EQ(s.numbers["summary.sample_rate"], 44100);
}

TEST(RiserMeter, JsonLinesParseAndCarryEveryField) {
    Result r = run("--json --interval 500");  // the built-in demo signal
    ASSERT_EQ(r.status, 0) << r.err;
    auto all = lines(r.out);
    ASSERT_EQ(all.size(), 21u);  // 20 half-second lines and the summary
    for (size_t i = 0; i + 1 < all.size(); ++i) {
        Json j(all[i]);
        ASSERT_TRUE(j.ok) << all[i];
        EXPECT_NEAR(j.numbers["time_s"], 0.5 * static_cast<double>(i + 1), 1e-9);
        for (const char* side : {"left", "right"})
            for (const char* f : {"heldPeakDb", "peakDb", "heldRmsDb", "rmsDb", "heldCrestDb", "crestDb"})
                EXPECT_EQ(j.numbers.count(std::string(side) + "." + f), 1u) << side << f;
    }
    Json s(all.back());
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(s.strings["summary.file"], "demo");
    EXPECT_EQ(s.numbers["summary.frames"], 480000);
    // The demo's right channel (noise) holds a far higher crest factor than the sine.
    Json last(all[all.size() - 2]);
    EXPECT_GT(last.numbers["right.heldCrestDb"], last.numbers["left.heldCrestDb"] + 5);
}

TEST(RiserMeter, BadInputsFailWithStatus2AndAMessage) {
    TempWav three(3, 48000, 0.1, {{440.0, 0.5}});
    struct Case {
        std::string args, needle;
    } cases[] = {
        {three.path, "3 channels"},
        {"/nonexistent/file.wav", "/nonexistent/file.wav"},
        {"--set \"No Such=1\"", "No Such"},
        {"--set \"Gain=abc\"", "abc"},
        {"--set Gain", "NAME=VALUE"},
        {"--block 0", "--block"},
        {"--interval x", "--interval"},
        {"--frobnicate", "--frobnicate"},
    };
    for (const Case& c : cases) {
        Result r = run(c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_NE(r.err.find(c.needle), std::string::npos) << c.args << ": " << r.err;
        EXPECT_EQ(r.out.find("maxima"), std::string::npos) << c.args;
    }
    Result v = run("--version");
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out, "1.0.1\n");
}

TEST(RiserMeter, PngOfTheMainPageOrNothing) {
#ifndef RISER_METER_HAS_PNG
    GTEST_SKIP() << "built without the editor: riser-meter has no --png";
#endif
    char dir[] = "/tmp/riser_meter_pngXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string png = std::string(dir) + "/meters.png";
    Result r = run("--interval 5000 --png " + png);
    ASSERT_EQ(r.status, 0) << r.err;
    FILE* f = std::fopen(png.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    unsigned char head[24] = {};
    ASSERT_EQ(std::fread(head, 1, sizeof head, f), sizeof head);
    std::fclose(f);
    EXPECT_EQ(std::memcmp(head, "\x89PNG\r\n\x1a\n", 8), 0);
    const auto be32 = [&](int at) { return (head[at] << 24) | (head[at + 1] << 16) | (head[at + 2] << 8) | head[at + 3]; };
    EXPECT_EQ(be32(16), 214);  // the editor's size at zoom 1
    EXPECT_EQ(be32(20), 620);
    std::remove(png.c_str());

    // A folder that does not exist: status 2 and no file, not even a partial one.
    const std::string bad = std::string(dir) + "/missing/meters.png";
    Result b = run("--interval 5000 --png " + bad);
    EXPECT_EQ(b.status, 2);
    EXPECT_NE(b.err.find(bad), std::string::npos) << b.err;
    EXPECT_NE(access(bad.c_str(), F_OK), 0);
    EXPECT_NE(access((bad + ".partial").c_str(), F_OK), 0);

    // Audio shorter than one editor tick has no meter state to draw.
    TempWav tiny(2, 48000, 0.01, {{997.0, kMinus20}});
    Result t = run("--png " + png + " " + tiny.path);
    EXPECT_EQ(t.status, 2);
    EXPECT_NE(access(png.c_str(), F_OK), 0);
    rmdir(dir);
}
