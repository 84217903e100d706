// riser-meter's loudness figures and delivery targets, end to end on
// generated signals whose figures are known by construction.
#include <ebur128.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/tools_support.h"

using namespace tools_test;

namespace {

Json summary(const Result& r) {
    auto all = lines(r.out);
    for (auto it = all.rbegin(); it != all.rend(); ++it)
        if (it->find("\"summary\"") != std::string::npos) return Json(*it);
    return Json(std::string());
}

// A number of the summary; NaN when it is missing or null.
double at(const Json& j, const std::string& key) {
    auto it = j.numbers.find("summary." + key);
    return it == j.numbers.end() ? NAN : it->second;
}

double from_db(double db) { return std::pow(10.0, db / 20.0); }

// `cycles` of a loud and a quiet passage, 1 kHz, `seconds` each.
TempWav::Samples loud_and_quiet(double loud_db, double quiet_db, double seconds) {
    return [=](int, size_t i) {
        const double t = static_cast<double>(i) / 48000.0;
        const bool loud = static_cast<long>(t / seconds) % 2 == 0;
        return from_db(loud ? loud_db : quiet_db) * std::sin(2.0 * M_PI * 1000.0 * t);
    };
}

// The file's samples read back and measured by libebur128 itself.
struct Direct {
    double integrated = NAN, range = NAN;
};
Direct measure_directly(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    Direct d;
    if (!f) return d;
    std::vector<float> data(static_cast<size_t>(info.frames * info.channels));
    sf_readf_float(f, data.data(), info.frames);
    sf_close(f);
    ebur128_state* st = ebur128_init(static_cast<unsigned>(info.channels), static_cast<unsigned long>(info.samplerate),
                                     EBUR128_MODE_I | EBUR128_MODE_LRA);
    ebur128_add_frames_float(st, data.data(), static_cast<size_t>(info.frames));
    ebur128_loudness_global(st, &d.integrated);
    ebur128_loudness_range(st, &d.range);
    ebur128_destroy(&st);
    return d;
}

}  // namespace

// A 1 kHz stereo sine at -23 dBFS reads -23 LUFS in every window, whatever
// the monitoring gain: the figures judge the file as it is.
TEST(RiserMeterLoudness, SineAtMinus23ReadsMinus23Lufs) {
    TempWav wav(2, 48000, 20.0, {{1000.0, from_db(-23.0)}});
    for (const char* gain : {"", "--set \"Gain=6 dB\" "}) {
        Json s = summary(run(std::string("--json --summary-only ") + gain + wav.path));
        ASSERT_TRUE(s.ok) << gain;
        EXPECT_NEAR(at(s, "loudness.integratedLufs"), -23.0, 0.1) << gain;
        EXPECT_NEAR(at(s, "loudness.momentaryMaxLufs"), -23.0, 0.1);
        EXPECT_NEAR(at(s, "loudness.shortTermMaxLufs"), -23.0, 0.1);
        EXPECT_NEAR(at(s, "loudness.rangeLu"), 0.0, 0.1);
        EXPECT_NEAR(at(s, "loudness.truePeakDbtp.left"), -23.0, 0.1);
    }
    Result text = run("--interval 20000 " + wav.path);
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("loudness  | integrated -23.0 LUFS"), std::string::npos) << text.out;
    // The interpolator's passband ripple lets a sine's true peak read up to
    // 0.01 dB over its sample peak.
    EXPECT_TRUE(text.out.find("true peak | L -23.00 dBTP | R -23.00 dBTP") != std::string::npos ||
                text.out.find("true peak | L -22.99 dBTP | R -22.99 dBTP") != std::string::npos)
        << text.out;
}

// A 0 dBFS sine at a quarter of the sample rate, sampled 45 degrees off its
// crests: every sample is at -3 dBFS, the waveform between them at 0 dB.
TEST(RiserMeterLoudness, TruePeakBetweenSamples) {
    TempWav wav(2, 48000, 2.0, [](int, size_t i) { return std::sin(M_PI / 2.0 * static_cast<double>(i) + M_PI / 4.0); });
    Json s = summary(run("--json --summary-only " + wav.path));
    ASSERT_TRUE(s.ok);
    const double sample_peak = at(s, "whole_file.left.samplePeakDb");
    EXPECT_NEAR(sample_peak, -3.01, 0.01);
    EXPECT_GT(at(s, "loudness.truePeakDbtp.left"), sample_peak + 2.5);
    EXPECT_NEAR(at(s, "loudness.truePeakDbtp.right"), 0.0, 0.5);
}

// Loud and quiet passages: the loudness range and the integrated loudness
// are libebur128's own on the same samples, for stereo and mono, and the
// same however the file is cut into blocks.
TEST(RiserMeterLoudness, RangeOfLoudAndQuietPassagesAsTheLibraryComputesIt) {
    for (int channels : {2, 1}) {
        TempWav wav(channels, 48000, 40.0, loud_and_quiet(-20.0, -35.0, 5.0));
        const Direct direct = measure_directly(wav.path);
        ASSERT_GT(direct.range, 5.0);
        Json s = summary(run("--json --summary-only " + wav.path));
        ASSERT_TRUE(s.ok);
        EXPECT_NEAR(at(s, "loudness.rangeLu"), direct.range, 1e-4) << channels;
        EXPECT_NEAR(at(s, "loudness.integratedLufs"), direct.integrated, 1e-4) << channels;
        const std::string a = run("--json --summary-only --block 37 " + wav.path).out;
        const std::string b = run("--json --summary-only --block 4096 " + wav.path).out;
        const size_t at = a.find("\"loudness\"");
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(a.substr(at), b.substr(b.find("\"loudness\"")));
    }
}

// Under one 400 ms block there is no loudness: "none" and null, while the
// true peak is still measured. Samples that are not finite count as silence.
TEST(RiserMeterLoudness, ShortAndNonFiniteFiles) {
    TempWav short_wav(2, 48000, 0.3, {{1000.0, 0.5}});
    Result r = run("--json --summary-only " + short_wav.path);
    Json s = summary(r);
    ASSERT_TRUE(s.ok) << r.out;
    for (const char* f : {"integratedLufs", "rangeLu", "momentaryMaxLufs", "shortTermMaxLufs"}) {
        EXPECT_NE(r.out.find(std::string("\"") + f + "\":null"), std::string::npos) << f;
        EXPECT_EQ(s.numbers.count(std::string("summary.loudness.") + f), 0u) << f;
    }
    EXPECT_NEAR(at(s, "loudness.truePeakDbtp.left"), -6.02, 0.1);
    EXPECT_NE(run(short_wav.path).out.find("integrated none LUFS | range none LU"), std::string::npos);

    TempWav nan_wav(2, 48000, 5.0, [](int, size_t i) {
        return i % 9000 == 0 ? NAN : from_db(-23.0) * std::sin(2.0 * M_PI * 1000.0 * static_cast<double>(i) / 48000.0);
    });
    Json n = summary(run("--json --summary-only " + nan_wav.path));
    ASSERT_TRUE(n.ok);
    EXPECT_NEAR(at(n, "loudness.integratedLufs"), -23.0, 0.1);
    EXPECT_NEAR(at(n, "loudness.truePeakDbtp.left"), -23.0, 0.2);
}

// The channels keep their places: a file silent on the left with a 997 Hz
// sine on the right measures the right alone, as libebur128 does on the
// same samples, with the true peak on the right; swapped, the same loudness
// and the peaks swapped.
TEST(RiserMeterLoudness, ChannelsAreNotInterchangeable) {
    const auto one_side = [](int loud) {
        return [loud](int c, size_t i) {
            return c == loud ? from_db(-20.0) * std::sin(2.0 * M_PI * 997.0 * static_cast<double>(i) / 48000.0) : 0.0;
        };
    };
    TempWav right(2, 48000, 6.0, one_side(1)), left(2, 48000, 6.0, one_side(0));
    const Direct direct = measure_directly(right.path);
    Json r = summary(run("--json --summary-only " + right.path));
    Json l = summary(run("--json --summary-only " + left.path));
    ASSERT_TRUE(r.ok && l.ok);
    EXPECT_NEAR(at(r, "loudness.integratedLufs"), direct.integrated, 0.02);
    EXPECT_NEAR(at(r, "loudness.integratedLufs"), -23.0, 0.1);  // one channel of a -20 dBFS sine: 3 dB less
    EXPECT_NEAR(at(l, "loudness.integratedLufs"), direct.integrated, 0.02);
    EXPECT_TRUE(std::isnan(at(r, "loudness.truePeakDbtp.left")));  // silence has no true peak
    EXPECT_NEAR(at(r, "loudness.truePeakDbtp.right"), -20.0, 0.1);
    EXPECT_NEAR(at(l, "loudness.truePeakDbtp.left"), -20.0, 0.1);
    EXPECT_TRUE(std::isnan(at(l, "loudness.truePeakDbtp.right")));
}

// The interval lines carry what a loudness page shows at their moment: a
// 1 kHz sine at -20 dBFS for 5 s, then at -30 dBFS. Before a window has
// filled, the time before the file counts as silence; the integrated value
// so far reaches the summary's at the last line; the true peak holds its
// maximum. Text, JSON and CSV carry the same numbers.
TEST(RiserMeterLoudness, IntervalLinesCarryTheLiveLoudness) {
    TempWav wav(2, 48000, 10.0, loud_and_quiet(-20.0, -30.0, 5.0));
    Result json = run("--json --interval 200 " + wav.path);
    ASSERT_EQ(json.status, 0) << json.err;
    std::vector<Json> at_line;
    for (const std::string& line : lines(json.out))
        if (line.find("\"summary\"") == std::string::npos) at_line.emplace_back(line);
    ASSERT_EQ(at_line.size(), 50u);
    auto live = [&](double t, const char* key) { return at_line[static_cast<size_t>(t / 0.2 + 0.5) - 1].numbers[key]; };
    EXPECT_NEAR(live(0.2, "loudness.momentaryLufs"), -20.0 + 10.0 * std::log10(0.5), 0.05);  // 2 of 4 steps
    EXPECT_NEAR(live(0.2, "loudness.shortTermLufs"), -20.0 + 10.0 * std::log10(2.0 / 30.0), 0.05);
    EXPECT_EQ(at_line[0].numbers.count("loudness.integratedLufs"), 0u);  // no 400 ms block yet: null
    EXPECT_NEAR(live(4.0, "loudness.momentaryLufs"), -20.0, 0.05);
    EXPECT_NEAR(live(4.0, "loudness.shortTermLufs"), -20.0, 0.05);
    EXPECT_NEAR(live(4.0, "loudness.integratedLufs"), -20.0, 0.05);
    EXPECT_NEAR(live(5.4, "loudness.momentaryLufs"), -30.0, 0.05);
    EXPECT_NEAR(live(8.0, "loudness.shortTermLufs"), -30.0, 0.05);
    EXPECT_NEAR(live(10.0, "loudness.truePeakDbtp.left"), live(4.0, "loudness.truePeakDbtp.left"), 1e-9);
    const Json s = summary(json);
    EXPECT_EQ(live(10.0, "loudness.integratedLufs"), at(s, "loudness.integratedLufs"));
    EXPECT_EQ(live(10.0, "loudness.truePeakDbtp.right"), at(s, "loudness.truePeakDbtp.right"));

    Result text = run("--interval 200 " + wav.path);
    const auto rows = lines(text.out);
    ASSERT_GE(rows.size(), 52u);
    EXPECT_NE(rows[1].find("| LUFS    M      S      I | dBTP      L      R"), std::string::npos) << rows[1];
    EXPECT_NE(rows[2].find("| LUFS  -23.0  -31.8    --- | dBTP"), std::string::npos) << rows[2];
    EXPECT_NE(rows[21].find("| LUFS  -20.0  -20.0  -20.0 | dBTP "), std::string::npos) << rows[21];

    // Without the loudness there is nothing live to carry.
    Result none = run("--json --no-loudness --interval 5000 " + wav.path);
    EXPECT_NE(lines(none.out)[0].find(",\"loudness\":null}"), std::string::npos) << none.out;
    EXPECT_EQ(run("--csv --no-loudness " + wav.path).out.find("momentaryLufs"), std::string::npos);
    EXPECT_EQ(run("--no-loudness " + wav.path).out.find("| LUFS"), std::string::npos);
}

// One file of three over the true-peak limit: it FAILs naming the true
// peak, the others PASS, a count line ends the batch, the status is 1; an
// unreadable file as well makes it 2. Every output mode carries the verdicts.
TEST(RiserMeterTarget, BatchWithOneFileOverTheTruePeakLimit) {
    const double level = from_db(-23.0);
    TempWav a(2, 48000, 10.0, {{1000.0, level}});
    TempWav b(2, 48000, 8.0, {{997.0, level}});
    TempWav hot(2, 48000, 10.0, [level](int, size_t i) {
        return i == 240000 ? 0.99 : level * std::sin(2.0 * M_PI * 1000.0 * static_cast<double>(i) / 48000.0);
    });
    const std::string files = " " + a.path + " " + hot.path + " " + b.path;

    Result text = run("--target ebu-r128 --summary-only" + files);
    EXPECT_EQ(text.status, 1) << text.err;
    auto rows = lines(text.out);
    ASSERT_EQ(rows.size(), 8u) << text.out;  // three header lines, 3 rows, the failure, the count
    EXPECT_NE(rows[3].find("PASS"), std::string::npos) << rows[3];
    EXPECT_NE(rows[4].find("FAIL"), std::string::npos) << rows[4];
    EXPECT_NE(rows[5].find("FAIL: true peak"), std::string::npos) << rows[5];
    EXPECT_NE(rows[6].find("PASS"), std::string::npos) << rows[6];
    EXPECT_EQ(rows[7], "target: 2 PASS, 1 FAIL, 0 not metered (errors)");

    Result json = run("--json --target ebu-r128 --interval 5000" + files);
    EXPECT_EQ(json.status, 1);
    int failures = 0;
    for (const std::string& line : lines(json.out)) {
        EXPECT_TRUE(Json(line).ok) << line;
        if (line.find("\"pass\":false,\"failures\":[\"true peak") != std::string::npos) ++failures;
    }
    EXPECT_EQ(failures, 1);
    EXPECT_NE(json.out.find("{\"target_count\":{\"pass\":2,\"fail\":1,\"error\":0}}"), std::string::npos);

    // CSV: one header row, one row per file; the count goes to stderr.
    Result csv = run("--csv --summary-only --target ebu-r128" + files);
    EXPECT_EQ(csv.status, 1);
    auto table = lines(csv.out);
    ASSERT_EQ(table.size(), 4u) << csv.out;
    EXPECT_NE(table[0].find(",integratedLufs,rangeLu,"), std::string::npos);
    EXPECT_NE(table[2].find(",FAIL,\"true peak"), std::string::npos) << table[2];
    EXPECT_NE(table[1].find(",PASS,"), std::string::npos) << table[1];
    EXPECT_NE(csv.err.find("target: 2 PASS, 1 FAIL"), std::string::npos) << csv.err;

    // CSV interval rows: the verdicts go to stderr, each naming its file.
    Result rows_csv = run("--csv --interval 5000 --target ebu-r128" + files);
    EXPECT_EQ(rows_csv.status, 1);
    EXPECT_EQ(lines(rows_csv.out).size(), 1u + 3 * 2);  // one header row, two rows per file
    EXPECT_NE(rows_csv.err.find(hot.path + "\": FAIL: true peak"), std::string::npos) << rows_csv.err;
    EXPECT_NE(rows_csv.err.find(a.path + "\": PASS"), std::string::npos) << rows_csv.err;

    // An explicit limit overrides the preset's.
    EXPECT_EQ(run("--target ebu-r128 --max-true-peak 0 --summary-only" + files).status, 0);

    const std::string broken = a.path + ".broken.wav";
    FILE* f = std::fopen(broken.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("RIFFxxxxWAVEnothing", f);
    std::fclose(f);
    for (const char* jobs : {"-j 1", "-j 3"}) {
        Result r = run(std::string("--target ebu-r128 --summary-only ") + jobs + files + " " + broken);
        EXPECT_EQ(r.status, 2) << jobs;
        EXPECT_NE(r.out.find("target: 2 PASS, 1 FAIL, 1 not metered (errors)"), std::string::npos) << r.out;
    }
    Result alone = run("--target ebu-r128 " + broken);
    EXPECT_EQ(alone.status, 2);
    std::remove(broken.c_str());
}

// Loudness and loudness range limits, and limits that cannot be judged.
TEST(RiserMeterTarget, LoudnessAndRangeLimits) {
    TempWav varied(2, 48000, 40.0, loud_and_quiet(-20.0, -35.0, 5.0));
    TempWav tiny(2, 48000, 0.2, {{1000.0, 0.1}});
    Json s = summary(run("--json --summary-only " + varied.path));
    const double lufs = at(s, "loudness.integratedLufs");
    const double lra = at(s, "loudness.rangeLu");
    char near[96], far[96];
    std::snprintf(near, sizeof near, "--loudness %.2f --tolerance 0.1 ", lufs + 0.05);
    std::snprintf(far, sizeof far, "--loudness %.2f --tolerance 0.1 ", lufs + 0.3);
    EXPECT_EQ(run(std::string(near) + varied.path).status, 0);
    Result off = run(std::string(far) + varied.path);
    EXPECT_EQ(off.status, 1);
    EXPECT_NE(off.out.find("FAIL: integrated loudness"), std::string::npos) << off.out;
    EXPECT_EQ(run("--max-lra " + std::to_string(lra + 0.5) + " " + varied.path).status, 0);
    Result wide = run("--max-lra " + std::to_string(lra - 0.5) + " " + varied.path);
    EXPECT_EQ(wide.status, 1);
    EXPECT_NE(wide.out.find("FAIL: loudness range"), std::string::npos) << wide.out;
    // A file too short to measure cannot meet a loudness target.
    Result short_one = run("--target streaming " + tiny.path);
    EXPECT_EQ(short_one.status, 1);
    EXPECT_NE(short_one.out.find("cannot be measured"), std::string::npos) << short_one.out;

    const char* bad[] = {"--target loud", "--loudness -23", "--tolerance 1", "--max-true-peak x",
                         "--max-lra -1", "--no-loudness --target ebu-r128"};
    for (const char* args : bad) {
        Result r = run(std::string(args) + " " + varied.path);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_FALSE(r.err.empty()) << args;
        EXPECT_TRUE(r.out.empty()) << args;
    }
}

// Every preset of the shared table, podcast and none among them: a -16 LUFS
// file meets podcast (-16 +/- 1) and misses EBU R128; none judges nothing.
TEST(RiserMeterTarget, PresetsOfTheSharedTable) {
    TempWav wav(2, 48000, 5.0, {{1000.0, from_db(-16.0)}});
    EXPECT_EQ(run("--target podcast " + wav.path).status, 0);
    EXPECT_EQ(run("--target streaming " + wav.path).status, 1);
    Result r128 = run("--target ebu-r128 " + wav.path);
    EXPECT_EQ(r128.status, 1);
    EXPECT_NE(r128.out.find("FAIL: integrated loudness -16.0 LUFS is outside -23.0 +/- 0.5 LU"), std::string::npos)
        << r128.out;
    Result none = run("--target none --summary-only " + wav.path);
    EXPECT_EQ(none.status, 0) << none.err;
    EXPECT_NE(none.out.find("| -      | "), std::string::npos) << none.out;  // the target column: not judged
    EXPECT_EQ(none.out.find("target:"), std::string::npos) << none.out;
}

namespace {

// A figure as the text output prints it.
double printed(double v, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return std::strtod(text, nullptr);
}

std::string number(double v, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

}  // namespace

// Verdicts judge each figure as it is printed, to 0.1 for loudness and
// range and to 0.01 for true peak: a limit equal to the printed figure is
// met, a limit just inside it is not, on both sides of a loudness target.
// The figures lie between a tenth and four tenths of a printed step off the
// printed value, so judging the unrounded figure turns one verdict of each
// pair.
TEST(RiserMeterTarget, VerdictsJudgeTheFiguresAsPrinted) {
    TempWav varied(2, 48000, 32.0, loud_and_quiet(-1.003, -17.03, 5.0));
    Json s = summary(run("--json --summary-only " + varied.path));
    const double lufs = at(s, "loudness.integratedLufs"), lra = at(s, "loudness.rangeLu");
    const double tp = std::max(at(s, "loudness.truePeakDbtp.left"), at(s, "loudness.truePeakDbtp.right"));
    const double shown_lufs = printed(lufs, 1), shown_lra = printed(lra, 1), shown_tp = printed(tp, 2);
    for (double off : {std::fabs(lufs - shown_lufs) / 0.1, std::fabs(lra - shown_lra) / 0.1, std::fabs(tp - shown_tp) / 0.01})
        ASSERT_TRUE(off > 0.1 && off < 0.4) << lufs << " " << lra << " " << tp;

    struct Case {
        std::string limits;
        int status;
    };
    const std::string l = number(shown_lufs, 1);
    const std::vector<Case> cases = {
        {"--loudness " + l + " --tolerance 0", 0},  // exactly met
        {"--loudness " + number(shown_lufs + 0.5, 1) + " --tolerance 0.5", 0},
        {"--loudness " + number(shown_lufs - 0.5, 1) + " --tolerance 0.5", 0},
        {"--loudness " + number(shown_lufs + 0.5, 1) + " --tolerance 0.49", 1},
        {"--loudness " + number(shown_lufs - 0.5, 1) + " --tolerance 0.49", 1},
        {"--max-lra " + number(shown_lra, 1), 0},
        {"--max-lra " + number(shown_lra - 0.01, 2), 1},
        {"--max-true-peak " + number(shown_tp, 2), 0},
        {"--max-true-peak " + number(shown_tp - 0.001, 3), 1},
    };
    for (const Case& c : cases) {
        Result r = run("--summary-only " + c.limits + " " + varied.path);
        EXPECT_EQ(r.status, c.status) << c.limits << " (" << lufs << " LUFS, " << lra << " LU, " << tp
                                      << " dBTP): " << r.out;
    }
    // A failure shows the figure as judged and the limits as given.
    Result off = run("--summary-only --loudness " + number(shown_lufs - 0.5, 1) + " --tolerance 0.49 " + varied.path);
    EXPECT_NE(off.out.find("FAIL: integrated loudness " + l + " LUFS is outside " + number(shown_lufs - 0.5, 1) +
                           " +/- 0.49 LU"),
              std::string::npos)
        << off.out;
    Result peak = run("--summary-only --max-true-peak " + number(shown_tp - 0.001, 3) + " " + varied.path);
    EXPECT_NE(peak.out.find("FAIL: true peak " + number(shown_tp, 2) + " dBTP is above " + number(shown_tp - 0.001, 3) +
                            " dBTP"),
              std::string::npos)
        << peak.out;

    // EBU R128 read as printed: -23.54 and -22.46 LUFS read -23.5 and -22.5,
    // within -23 +/- 0.5.
    TempWav low(2, 48000, 10.0, {{1000.0, from_db(-23.54)}});
    TempWav high(2, 48000, 10.0, {{1000.0, from_db(-22.46)}});
    Result r128 = run("--target ebu-r128 --summary-only " + low.path + " " + high.path);
    EXPECT_EQ(r128.status, 0) << r128.out;
    EXPECT_NE(r128.out.find("target: 2 PASS, 0 FAIL"), std::string::npos) << r128.out;
}
