// riser-meter end to end: generated audio files in, readouts and errors out.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/tools_support.h"

using namespace tools_test;

namespace {

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

// --png-page draws the page asked for, each a picture of the editor's size
// and each unlike the others, the loudness page with --target's preset; an
// unknown page or a page without --png is refused.
TEST(RiserMeter, PngOfEachPage) {
#ifndef RISER_METER_HAS_PNG
    GTEST_SKIP() << "built without the editor: riser-meter has no --png";
#endif
    char dir[] = "/tmp/riser_meter_pagesXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    auto contents = [](const std::string& path) {
        std::string bytes;
        if (FILE* f = std::fopen(path.c_str(), "rb")) {
            char buffer[4096];
            size_t n;
            while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
            std::fclose(f);
        }
        return bytes;
    };
    // The loudness page twice: the second judged against --target's preset.
    std::string pictures[5];
    const char* pages[5] = {"", "main", "settings", "loudness", "loudness --target podcast"};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(pages[i]);
        const std::string png = std::string(dir) + "/page" + std::to_string(i) + ".png";
        const std::string page = pages[i][0] ? std::string(" --png-page ") + pages[i] : std::string();
        Result r = run("--interval 5000 --png " + png + page);
        ASSERT_EQ(r.status, 0) << r.err;
        pictures[i] = contents(png);
        ASSERT_GT(pictures[i].size(), 24u);
        const auto be32 = [&](size_t at) {
            const auto* b = reinterpret_cast<const unsigned char*>(pictures[i].data() + at);
            return (b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
        };
        EXPECT_EQ(be32(16), 214);
        EXPECT_EQ(be32(20), 620);
        std::remove(png.c_str());
    }
    // (Compared as booleans: a failure would print the pictures' bytes.)
    EXPECT_TRUE(pictures[0] == pictures[1]) << "the main page is the default";
    EXPECT_TRUE(pictures[1] != pictures[2]) << "main and settings";
    EXPECT_TRUE(pictures[1] != pictures[3]) << "main and loudness";
    EXPECT_TRUE(pictures[2] != pictures[3]) << "settings and loudness";
    EXPECT_TRUE(pictures[3] != pictures[4]) << "the loudness page shows the target of --target";

    Result bad = run("--png " + std::string(dir) + "/x.png --png-page levels");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("--png-page needs main, settings or loudness, got \"levels\""), std::string::npos)
        << bad.err;
    Result alone = run("--png-page loudness");
    EXPECT_EQ(alone.status, 2);
    EXPECT_NE(alone.err.find("give --png FILE too"), std::string::npos) << alone.err;
    rmdir(dir);
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
    EXPECT_NE(access((std::string(dir) + "/missing").c_str(), F_OK), 0);

    // Audio shorter than one editor tick has no meter state to draw.
    TempWav tiny(2, 48000, 0.01, {{997.0, kMinus20}});
    Result t = run("--png " + png + " " + tiny.path);
    EXPECT_EQ(t.status, 2);
    EXPECT_NE(access(png.c_str(), F_OK), 0);
    rmdir(dir);
}

namespace {

// One channel's whole-file figures from a --json summary.
struct Figures {
    double peak, rms, raw_rms, crest, nonfinite;
};
Figures figures(Json& s, const char* side) {
    const std::string at = std::string("summary.whole_file.") + side + ".";
    return {s.numbers[at + "samplePeakDb"], s.numbers[at + "rmsDb"], s.numbers[at + "rawRmsDb"],
            s.numbers[at + "crestDb"], s.numbers[at + "nonFinite"]};
}

// The RMS of a whole number of periods, in double precision.
const double kRmsTolerance = 0.002;

}  // namespace

// Whole-file figures of signals whose figures are known: the sample peak,
// the RMS (raw and with the meter's +3 dB) and peak - RMS.
TEST(RiserMeterWholeFile, SquareSineAndSilence) {
    TempWav square(1, 48000, 10.0, [](int, size_t i) { return (i / 24) % 2 ? 0.5 : -0.5; });
    Json s = summary(run("--json " + square.path));
    ASSERT_TRUE(s.ok);
    Figures f = figures(s, "left");
    EXPECT_NEAR(f.peak, -6.0206, 1e-4);
    EXPECT_NEAR(f.raw_rms, -6.0206, kRmsTolerance);
    EXPECT_NEAR(f.rms - f.raw_rms, 3.0, 1e-4);  // exactly 3 dB, as the meter adds it
    EXPECT_NEAR(f.crest, -3.0, kRmsTolerance);
    EXPECT_EQ(f.nonfinite, 0);

    // 9970 whole periods: peak 0.1 (the sampling hits the crest), RMS 0.1 / sqrt 2.
    TempWav sine(2, 48000, 10.0, {{997.0, kMinus20}, {997.0, 2 * kMinus20}});
    s = summary(run("--json " + sine.path));
    f = figures(s, "left");
    EXPECT_NEAR(f.peak, -20.0, 1e-4);
    EXPECT_NEAR(f.raw_rms, -23.0103, kRmsTolerance);
    EXPECT_NEAR(f.rms, -20.0103, kRmsTolerance);
    EXPECT_NEAR(f.crest, 0.0103, kRmsTolerance);  // a sine's crest reads 0, as on the meter
    EXPECT_NEAR(figures(s, "right").peak, -20.0 + 20 * std::log10(2.0), 1e-4);

    TempWav silence(2, 44100, 2.0, [](int, size_t) { return 0.0; });
    s = summary(run("--json " + silence.path));
    f = figures(s, "right");
    EXPECT_EQ(f.peak, -280);
    EXPECT_EQ(f.raw_rms, -280);
    EXPECT_EQ(f.rms, -280);
    EXPECT_EQ(f.crest, -280);

    // The text block: two decimals, silence as ---; the loudness lines follow.
    auto text = lines(run("--interval 10000 " + sine.path).out);
    ASSERT_GE(text.size(), 6u);
    EXPECT_EQ(text[text.size() - 5], "whole file | peak dBFS  RMS+3 dB  RMS dBFS  crest dB | non-finite");
    EXPECT_EQ(text[text.size() - 4], "         L |    -20.00    -20.01    -23.01      0.01 | 0");
    text = lines(run(silence.path).out);
    EXPECT_EQ(text[text.size() - 3], "         R |       ---       ---       ---       --- | 0");
    EXPECT_EQ(text.back(), "true peak | L none dBTP | R none dBTP");
}

// The sample peak is the largest magnitude, whichever polarity holds it:
// voice, brass and kick drums peak far higher on one side than the other.
TEST(RiserMeterWholeFile, PeakOfAnAsymmetricWaveformEitherWayUp) {
    for (double sign : {1.0, -1.0}) {
        TempWav wav(2, 48000, 1.0, [sign](int, size_t i) {
            return sign * (i % 480 == 240 ? -0.8 : 0.3 * std::sin(2.0 * M_PI * static_cast<double>(i) / 480));
        });
        Json s = summary(run("--json " + wav.path));
        ASSERT_TRUE(s.ok);
        EXPECT_NEAR(figures(s, "left").peak, 20 * std::log10(0.8), 1e-3) << "sign " << sign;
        EXPECT_NEAR(figures(s, "right").peak, 20 * std::log10(0.8), 1e-3) << "sign " << sign;
    }
}

// The figures are of what the meter measures: after "Gain", and K-weighted
// when "K Filter" is on (10 kHz is lifted by 3.35 dB, 997 Hz is not).
TEST(RiserMeterWholeFile, AfterTheGainAndTheKWeighting) {
    TempWav wav(2, 48000, 10.0, {{997.0, kMinus20}, {10000.0, kMinus20}});
    Json plain = summary(run("--json " + wav.path));
    Json gained = summary(run("--json --set \"Gain=6 dB\" " + wav.path));
    Json weighted = summary(run("--json --set \"K Filter=On\" " + wav.path));
    ASSERT_TRUE(plain.ok && gained.ok && weighted.ok);
    EXPECT_NEAR(figures(gained, "left").peak - figures(plain, "left").peak, 6.0, 1e-3);
    EXPECT_NEAR(figures(weighted, "left").raw_rms, figures(plain, "left").raw_rms, 0.01);
    EXPECT_NEAR(figures(weighted, "right").raw_rms - figures(plain, "right").raw_rms, 3.35, 0.05);
    // The whole-file RMS agrees with the meter's own RMS of the steady tone.
    EXPECT_NEAR(figures(weighted, "right").rms, weighted.numbers["summary.right.rmsDb"], 0.02);
}

// Samples that are not numbers are counted, and measured as silence like
// the meter does, so they neither poison nor hide the rest of the file.
TEST(RiserMeterWholeFile, NonFiniteSamplesAreCountedAsSilence) {
    TempWav wav(2, 48000, 6.0, [](int c, size_t i) {
        if (c == 0 && i >= 96000 && i < 192000) return std::nan("");
        if (c == 0 && i == 200000) return HUGE_VAL;
        return kMinus20 * std::sin(2.0 * M_PI * 1000.0 * static_cast<double>(i) / 48000);
    });
    Json s = summary(run("--json " + wav.path));
    ASSERT_TRUE(s.ok);
    const Figures left = figures(s, "left"), right = figures(s, "right");
    EXPECT_EQ(left.nonfinite, 96001);
    EXPECT_EQ(right.nonfinite, 0);
    EXPECT_NEAR(left.peak, -20.0, 1e-3);
    EXPECT_NEAR(left.raw_rms - right.raw_rms, 10 * std::log10((288000.0 - 96001) / 288000), 1e-3);
}

// The start-up transient (a peak against a still-empty RMS window) dominates
// the plain maxima; the settled maxima begin after the first window plus the hold.
TEST(RiserMeterSummary, SettledMaximaSkipTheWarmUp) {
    Json s = summary(run("--json"));  // the demo: a sine left, noise right
    ASSERT_TRUE(s.ok);
    EXPECT_NEAR(s.numbers["summary.settled.from_s"], 1.8, 1e-9);  // 300 ms + 1500 ms
    EXPECT_GT(s.numbers["summary.right.heldCrestDb"], 25.0);
    EXPECT_LT(s.numbers["summary.settled.right.heldCrestDb"], 15.0);
    EXPECT_NEAR(s.numbers["summary.settled.left.heldRmsDb"], -20.0, 0.05);

    TempWav wav(2, 48000, 2.0, {{997.0, kMinus20}});
    s = summary(run("--json --set \"Value Hold=2000 ms\" " + wav.path));
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(s.numbers.count("summary.settled.from_s"), 0u);  // "settled":null
    auto text = lines(run("--set \"Value Hold=2000 ms\" " + wav.path).out);
    ASSERT_GE(text.size(), 7u);
    EXPECT_EQ(text[text.size() - 6].rfind("settled : none", 0), 0u) << text[text.size() - 6];

    // Shorter than one tick: no reading, so no maxima (not 0 dB).
    TempWav tiny(2, 48000, 0.01, {{997.0, kMinus20}});
    Result r = run("--json " + tiny.path);
    EXPECT_NE(r.out.find("\"left\":null,\"right\":null"), std::string::npos) << r.out;
    s = summary(r);
    EXPECT_NEAR(figures(s, "left").peak, -20.0, 0.01);
    EXPECT_NE(run(tiny.path).out.find("maxima  : none"), std::string::npos);
}

// Several files: each metered on its own, the reports in command-line order
// whatever finishes first; an unreadable file in the middle is named on
// stderr, the others are still metered, and the status is 2.
TEST(RiserMeterBatch, OneCorruptFileInTheMiddle) {
    TempWav first(2, 48000, 6.0, {{997.0, kMinus20}});
    TempWav last(1, 44100, 0.5, {{440.0, 0.5}});
    const std::string corrupt = first.path + ".corrupt.wav";
    FILE* f = std::fopen(corrupt.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("RIFFxxxxWAVEjunk and nothing else", f);
    std::fclose(f);
    const std::string files = " " + first.path + " " + corrupt + " " + last.path;

    for (const char* jobs : {"-j 1", "-j 3"}) {
        Result r = run(std::string("--json --summary-only ") + jobs + files);
        EXPECT_EQ(r.status, 2) << jobs;
        EXPECT_NE(r.err.find(corrupt), std::string::npos) << r.err;
        auto all = lines(r.out);
        ASSERT_EQ(all.size(), 2u) << r.out;
        Json a(all[0]), b(all[1]);
        EXPECT_EQ(a.strings["summary.file"], first.path);
        EXPECT_EQ(b.strings["summary.file"], last.path);
        EXPECT_NEAR(b.numbers["summary.whole_file.right.samplePeakDb"], -6.0206, 1e-3);
    }

    // The full reports in parallel are the serial ones, in the same order.
    Result serial = run("-j 1 --interval 500" + files);
    Result parallel = run("-j 3 --interval 500" + files);
    EXPECT_EQ(parallel.out, serial.out);
    EXPECT_EQ(parallel.status, 2);
    EXPECT_LT(serial.out.find(first.path), serial.out.find(last.path));

    // The summary table: a header, then one row per metered file.
    auto table = lines(run("--summary-only" + files).out);
    ASSERT_EQ(table.size(), 5u);
    EXPECT_NE(table[3].find(first.path), std::string::npos);
    EXPECT_NE(table[4].find("-6.02"), std::string::npos) << table[4];
    std::remove(corrupt.c_str());
}

TEST(RiserMeterBatch, PicturesOfSeveralFilesNeedAPattern) {
    TempWav a(2, 48000, 0.5, {{997.0, kMinus20}});
    TempWav b(2, 48000, 0.5, {{440.0, kMinus20}});
    TempDir dir;
    Result r = run("--plot " + dir.path + "/one.png " + a.path + " " + b.path);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("{}"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(dir.path + "/one.png"));

    r = run("--summary-only --plot '" + dir.path + "/{}-history.png' " + a.path + " " + b.path);
    EXPECT_EQ(r.status, 0) << r.err;
    for (const TempWav* w : {&a, &b}) {
        std::string base = w->path.substr(w->path.rfind('/') + 1);
        base.erase(base.rfind('.'));
        EXPECT_TRUE(exists(dir.path + "/" + base + "-history.png")) << base;
    }
    // The same file twice would write one picture twice.
    r = run("--plot '" + dir.path + "/{}.png' " + a.path + " " + a.path);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("same picture"), std::string::npos) << r.err;
}

TEST(RiserMeterCsv, HeaderAndOneRowPerInterval) {
    Result csv = run("--csv --interval 500");
    Result json = run("--json --interval 500");
    ASSERT_EQ(csv.status, 0) << csv.err;
    auto rows = lines(csv.out);
    auto objects = lines(json.out);
    ASSERT_EQ(rows.size(), 21u);  // the header and 20 half-second rows; no summary
    EXPECT_EQ(rows[0],
              "time_s,left_heldPeakDb,left_peakDb,left_heldRmsDb,left_rmsDb,left_heldCrestDb,left_crestDb,"
              "right_heldPeakDb,right_peakDb,right_heldRmsDb,right_rmsDb,right_heldCrestDb,right_crestDb,"
              "momentaryLufs,shortTermLufs,integratedLufs,left_truePeakDbtp,right_truePeakDbtp");
    const char* fields[] = {"heldPeakDb", "peakDb", "heldRmsDb", "rmsDb", "heldCrestDb", "crestDb"};
    for (size_t i = 1; i < rows.size(); ++i) {
        std::vector<double> cells;
        std::string row = rows[i];
        for (size_t at = 0; at != std::string::npos;) {
            const size_t comma = row.find(',', at);
            cells.push_back(std::strtod(row.substr(at, comma - at).c_str(), nullptr));
            at = comma == std::string::npos ? comma : comma + 1;
        }
        ASSERT_EQ(cells.size(), 18u) << row;
        Json j(objects[i - 1]);
        EXPECT_EQ(cells[0], j.numbers["time_s"]);
        for (int f = 0; f < 6; ++f) {
            EXPECT_EQ(cells[1 + f], j.numbers[std::string("left.") + fields[f]]) << row;
            EXPECT_EQ(cells[7 + f], j.numbers[std::string("right.") + fields[f]]) << row;
        }
        const char* live[] = {"loudness.momentaryLufs", "loudness.shortTermLufs", "loudness.integratedLufs",
                              "loudness.truePeakDbtp.left", "loudness.truePeakDbtp.right"};
        for (int f = 0; f < 5; ++f) EXPECT_EQ(cells[13 + f], j.numbers[live[f]]) << row;
    }

    // Several files: a file column, quoted; the summary-only form has one row per file.
    TempWav a(2, 48000, 1.0, {{997.0, kMinus20}});
    auto both = lines(run("--csv --interval 500 " + a.path + " " + a.path).out);
    ASSERT_EQ(both.size(), 5u);
    EXPECT_EQ(both[0].rfind("file,time_s,left_heldPeakDb", 0), 0u);
    EXPECT_EQ(both[4].rfind("\"" + a.path + "\",1.000000,", 0), 0u) << both[4];
    auto table = lines(run("--csv --summary-only " + a.path).out);
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0].rfind("file,sample_rate,frames,left_samplePeakDb,left_rmsDb,left_rawRmsDb,left_crestDb", 0), 0u);
    EXPECT_EQ(table[1].rfind("\"" + a.path + "\",48000,48000,-20", 0), 0u) << table[1];
    EXPECT_EQ(run("--csv --json").status, 2);
}
