// riser-meter --plot: the per-column reduction, the meter's scale, and
// pictures of known signals read back pixel by pixel against a picture of
// the same size and length with nothing in it.
#include <gtest/gtest.h>

#include <cairo.h>
#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "tests/tools_support.h"
#include "tools/riser_meter/history.h"
#include "tools/riser_meter/plot.h"

using namespace riser_meter;
using namespace tools_test;

namespace {

class Picture {
public:
    explicit Picture(cairo_surface_t* s) : surface(s) {}
    explicit Picture(const std::string& png) : surface(cairo_image_surface_create_from_png(png.c_str())) {}
    ~Picture() { cairo_surface_destroy(surface); }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    bool ok() const { return cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS; }
    int width() const { return cairo_image_surface_get_width(surface); }
    int height() const { return cairo_image_surface_get_height(surface); }
    // 0xRRGGBB at (x, y).
    uint32_t at(int x, int y) const {
        const unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
        return reinterpret_cast<const uint32_t*>(row)[x] & 0xffffffu;
    }

private:
    cairo_surface_t* surface;
};

constexpr double kRate = 48000;

// The picture riser-meter draws for a file of `frames` frames in which nothing was measured.
cairo_surface_t* empty_picture(int64_t frames, int width = 1200, int height = 600) {
    LevelHistory h(plot_layout(width, height, PlotSettings{}).columns(), frames);
    return draw_history(h, PlotInfo{"reference", kRate, frames, PlotSettings{}, std::string()}, width, height);
}

// The pixel column of time `t` in a picture of a `seconds` long file.
int column_at(const PlotRect& r, double t, double seconds) {
    return static_cast<int>(r.x) + static_cast<int>(t / seconds * r.w);
}

// The topmost row of the pane in column x where the picture differs from the
// empty one; -1 when the whole column is as in the empty picture.
int topmost_change(const Picture& p, const Picture& empty, const PlotRect& r, int x) {
    for (int y = static_cast<int>(r.y); y < static_cast<int>(r.y + r.h); ++y)
        if (p.at(x, y) != empty.at(x, y)) return y;
    return -1;
}

int distance(uint32_t a, uint32_t b) {
    int d = 0;
    for (int shift : {0, 8, 16})
        d = std::max(d, std::abs(static_cast<int>((a >> shift) & 0xff) - static_cast<int>((b >> shift) & 0xff)));
    return d;
}

// The centre (y of the pixel centre) of the topmost line in column x: of the
// first rows that differ from the empty picture, the one that differs most,
// since an opaque line stands out from its antialiased edges and from the
// translucent RMS area below it. -1 when nothing is drawn.
double topmost_line(const Picture& p, const Picture& empty, const PlotRect& r, int x) {
    const int top = topmost_change(p, empty, r, x);
    if (top < 0) return -1;
    int best = top;
    for (int y = top; y < std::min(top + 4, static_cast<int>(r.y + r.h)); ++y)
        if (distance(p.at(x, y), empty.at(x, y)) > distance(p.at(x, best), empty.at(x, best))) best = y;
    return best + 0.5;
}

// Runs riser-meter on `wav` with `args` and the --plot into `dir`, and loads the picture.
std::string plot(const TempDir& dir, const std::string& args, const TempWav& wav) {
    const std::string png = dir.path + "/history.png";
    Result r = run("--summary-only --plot " + png + " " + args + " " + wav.path);
    EXPECT_EQ(r.status, 0) << r.err;
    return png;
}

}  // namespace

TEST(LevelHistory, ReducesEachColumnToItsRangeAndEnds) {
    LevelHistory h(10, 1000);
    for (auto [frame, column] : std::vector<std::pair<int64_t, int>>{
             {-5, 0}, {0, 0}, {99, 0}, {100, 1}, {999, 9}, {1000, 9}, {1000000000, 9}})
        EXPECT_EQ(h.column_of(frame), column) << frame;

    float v[kTraceCount];
    auto reading = [&](float base, float rms) {
        std::fill(v, v + kTraceCount, base);
        v[kRms] = rms;
    };
    reading(-10, -12);
    h.add(150, v);
    reading(-4, NAN);  // a reading that is not a number leaves that trace alone
    h.add(160, v);
    reading(-7, -30);
    h.add(199, v);
    const ColumnRange& peak = h.at(kPeak, 1);
    EXPECT_EQ(peak.first, -10);
    EXPECT_EQ(peak.last, -7);
    EXPECT_EQ(peak.lo, -10);
    EXPECT_EQ(peak.hi, -4);
    const ColumnRange& rms = h.at(kRms, 1);
    EXPECT_EQ(rms.lo, -30);
    EXPECT_EQ(rms.hi, -12);
    EXPECT_EQ(rms.last, -30);
    EXPECT_FALSE(h.has(kPeak, 0));
    EXPECT_FALSE(h.has(kPeak, 2));
    EXPECT_TRUE(h.has(kCrest + kTracesPerChannel, 1));

    h.mark_nonfinite(250, 251);
    h.mark_nonfinite(390, 420);
    for (int c = 0; c < 10; ++c) EXPECT_EQ(h.nonfinite(c), c == 2 || c == 3 || c == 4) << c;
}

TEST(LevelHistory, AnHourOfReadingsKeepsOneRangePerColumn) {
    const int64_t frames = 3600 * 48000;
    const int64_t tick = 1584;  // 33 ms
    LevelHistory h(1134, frames);
    float v[kTraceCount];
    int64_t n = 0;
    for (int64_t at = tick; at <= frames; at += tick, ++n) {
        std::fill(v, v + kTraceCount, static_cast<float>(n % 50));  // a saw of 50 readings
        h.add(at, v);
    }
    // Every column holds about 96 readings: the whole range of the saw.
    for (int c : {0, 500, 1133}) {
        EXPECT_EQ(h.at(kHeldRms, c).lo, 0) << c;
        EXPECT_EQ(h.at(kHeldRms, c).hi, 49) << c;
    }
    EXPECT_EQ(h.at(kPeak, 1133).last, static_cast<float>((n - 1) % 50));
}

// A stream of unknown length (a pipe) spans the columns it turned out to
// fill: readings rising with time fill every column in order, first to last,
// and the nonfinite marks land where they were made.
TEST(LevelHistory, AStreamOfUnknownLengthFitsTheFramesRead) {
    for (int64_t frames : {int64_t{50}, int64_t{96000}, int64_t{3600} * 48000}) {
        LevelHistory h(100, -1);
        float v[kTraceCount];
        const int64_t step = std::max<int64_t>(1, frames / 1000);
        for (int64_t at = 0; at < frames; at += step) {
            std::fill(v, v + kTraceCount, static_cast<float>(at * 100 / frames));  // its final column
            h.add(at, v);
        }
        h.mark_nonfinite(frames / 2, frames / 2 + 1);
        h.finish(frames);
        EXPECT_EQ(h.frames(), frames);
        for (int c = 0; c < 100; ++c) {
            if (frames < 100) continue;
            ASSERT_TRUE(h.has(kPeak, c)) << frames << " column " << c;
            // Each column holds its own readings, give or take those that
            // shared a column of the coarser span (at most twice as wide).
            EXPECT_LE(h.at(kPeak, c).lo, c) << frames << " column " << c;
            EXPECT_GE(h.at(kPeak, c).hi, c) << frames << " column " << c;
            EXPECT_GE(h.at(kPeak, c).lo, c - 2) << frames << " column " << c;
            EXPECT_LE(h.at(kPeak, c).hi, c + 2) << frames << " column " << c;
            if (h.nonfinite(c)) {
                EXPECT_NEAR(c, 50, 2) << frames;
            }
        }
        if (frames >= 100) {
            EXPECT_TRUE(h.nonfinite(50) || h.nonfinite(49)) << frames;
        }
        EXPECT_TRUE(h.has(kPeak, 99)) << frames;
    }
}

// The level axis is the meter's ladder: from "Scale Top" (its top edge one
// step above) down as far as the editor's 528-pixel bars reach, 1 dB per
// step and 2 dB per step below -28 dB.
TEST(PlotLayout, LevelAxisIsTheMetersLadder) {
    PlotLayout L = plot_layout(1200, 600, PlotSettings{});
    const PlotRect& r = L.level[1];
    EXPECT_NEAR(L.level_y(1, 1.0), r.y, 1e-9);
    EXPECT_NEAR(L.level_y(1, -36.0), r.y + r.h, 1e-9);  // 33 steps of 16 pixels: 0 ... -28, -30 ... -36
    EXPECT_NEAR(L.level_y(1, -28) - L.level_y(1, -27), 2 * (L.level_y(1, -30) - L.level_y(1, -29)), 1e-9);
    EXPECT_NEAR(L.level_db(1, L.level_y(1, -33.3)), -33.3, 1e-9);
    EXPECT_GT(L.level[1].y, L.crest[0].y + L.crest[0].h);  // the channels one above the other
    EXPECT_GT(L.crest[0].y, L.level[0].y + L.level[0].h);

    PlotSettings s;
    s.scale_top = -10;
    s.segment_height = 8;  // 66 steps: -9 to -28 in 19, then 47 steps of 2 dB
    L = plot_layout(1200, 600, s);
    EXPECT_NEAR(L.level_db(0, L.level[0].y), -9.0, 1e-9);
    EXPECT_NEAR(L.level_db(0, L.level[0].y + L.level[0].h), -122.0, 1e-9);
}

TEST(Plot, SineRmsIsAFlatLineAtMinus20) {
    TempWav wav(2, kRate, 4.0, {{997.0, 0.1}});
    TempDir dir;
    Picture p(plot(dir, "", wav));
    ASSERT_TRUE(p.ok());
    ASSERT_EQ(p.width(), 1200);
    ASSERT_EQ(p.height(), 600);
    Picture empty(empty_picture(4 * 48000));
    const PlotLayout L = plot_layout(1200, 600, PlotSettings{});
    for (int ch = 0; ch < 2; ++ch) {
        const double y = L.level_y(ch, -20.0);
        double lo = 1e9, hi = -1;
        // After the first RMS window and the hold the traces are steady.
        for (double t = 2.0; t < 3.95; t += 0.05) {
            const double line = topmost_line(p, empty, L.level[ch], column_at(L.level[ch], t, 4.0));
            EXPECT_NEAR(line, y, 1.0) << "channel " << ch << " at " << t << " s";
            lo = std::min(lo, line);
            hi = std::max(hi, line);
        }
        EXPECT_LE(hi - lo, 1.0) << "channel " << ch;
    }
}

// A full-scale burst of 1 s, then silence: the peak trace falls 20 dB per
// "Peak Fall" and is drawn in the editor's clip colour at 0 dB.
TEST(Plot, BurstPeakFallsAtTheConfiguredRate) {
    TempWav wav(2, kRate, 4.0, [](int, size_t i) {
        return i < 48000 ? std::sin(2.0 * M_PI * 1000.0 * static_cast<double>(i) / kRate) : 0.0;
    });
    TempDir dir;
    Picture p(plot(dir, "--set \"Peak Fall=2000 ms\" --set \"Value Hold=10 ms\"", wav));
    ASSERT_TRUE(p.ok());
    Picture empty(empty_picture(4 * 48000));
    const PlotLayout L = plot_layout(1200, 600, PlotSettings{});
    const PlotRect& r = L.level[0];
    for (double t : {1.5, 2.0, 2.5, 3.0, 3.5}) {
        const double expected = -10.0 * (t - 1.0);  // 20 dB in 2 s
        EXPECT_NEAR(topmost_line(p, empty, r, column_at(r, t, 4.0)), L.level_y(0, expected), 1.0) << t << " s";
    }
    const double fall = L.level_db(0, topmost_line(p, empty, r, column_at(r, 1.5, 4.0))) -
                        L.level_db(0, topmost_line(p, empty, r, column_at(r, 3.5, 4.0)));
    EXPECT_NEAR(fall, 20.0, 0.3);

    const int x = column_at(r, 0.5, 4.0);
    const int y0 = static_cast<int>(L.level_y(0, 0.0));
    bool clip = false;
    for (int y = y0 - 2; y <= y0 + 2; ++y) clip = clip || distance(p.at(x, y), 0xf04444) < 30;
    EXPECT_TRUE(clip) << "the peak at 0 dB is not drawn in the clip colour";
}

TEST(Plot, SilenceDrawsNothingAboveTheFloor) {
    TempWav wav(2, kRate, 3.0, [](int, size_t) { return 0.0; });
    TempDir dir;
    Picture p(plot(dir, "--plot-size 800x400", wav));
    ASSERT_TRUE(p.ok());
    ASSERT_EQ(p.width(), 800);
    ASSERT_EQ(p.height(), 400);
    Picture empty(empty_picture(3 * 48000, 800, 400));
    const PlotLayout L = plot_layout(800, 400, PlotSettings{});
    int changed = 0;
    for (int ch = 0; ch < 2; ++ch)
        for (const PlotRect* r : {&L.level[ch], &L.crest[ch]})
            for (int x = static_cast<int>(r->x); x < r->x + r->w; ++x)
                changed += topmost_change(p, empty, *r, x) >= 0;
    EXPECT_EQ(changed, 0);
}

// Two seconds of NaN in a sine: marked under the level pane exactly there,
// read as silence (nothing drawn once the holds have run out), and the trace
// is back at -20 dB one window after.
TEST(Plot, NanStretchIsMarkedAndTheTraceRecovers) {
    TempWav wav(2, kRate, 6.0, [](int, size_t i) {
        if (i >= 96000 && i < 192000) return std::nan("");
        return 0.1 * std::sin(2.0 * M_PI * 997.0 * static_cast<double>(i) / kRate);
    });
    TempDir dir;
    Picture p(plot(dir, "", wav));
    ASSERT_TRUE(p.ok());
    Picture empty(empty_picture(6 * 48000));
    const PlotLayout L = plot_layout(1200, 600, PlotSettings{});
    for (int ch = 0; ch < 2; ++ch) {
        const PlotRect& r = L.level[ch];
        const int mark_y = static_cast<int>(r.y + r.h) + 2;
        const int from = column_at(r, 2.0, 6.0), to = column_at(r, 4.0 - 1 / kRate, 6.0);
        for (int x = static_cast<int>(r.x); x < r.x + r.w; ++x)
            EXPECT_EQ(p.at(x, mark_y) != empty.at(x, mark_y), x >= from && x <= to) << "column " << x;
        for (double t = 3.7; t < 3.95; t += 0.05)
            EXPECT_EQ(topmost_change(p, empty, r, column_at(r, t, 6.0)), -1) << t << " s";
        for (double t = 4.6; t < 5.95; t += 0.1)
            EXPECT_NEAR(topmost_line(p, empty, r, column_at(r, t, 6.0)), L.level_y(ch, -20.0), 1.0) << t << " s";
    }
}

TEST(Plot, AFailedWriteLeavesNoFile) {
    TempWav wav(2, kRate, 0.5, {{997.0, 0.1}});
    TempDir dir;
    const std::string png = dir.path + "/missing/history.png";
    Result r = run("--plot " + png + " " + wav.path);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(png), std::string::npos) << r.err;
    EXPECT_FALSE(exists(dir.path + "/missing"));
    // A write that fails half way (a full disk, as a file size limit): the
    // temporary file is removed again.
    const std::string full = dir.path + "/full.png";
    r = run_after("trap '' XFSZ; ulimit -f 2 && ", "--plot " + full + " " + wav.path);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(full), std::string::npos) << r.err;
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.path.c_str())) {
        while (dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
        closedir(d);
    }
    EXPECT_EQ(names, std::vector<std::string>{});
    for (const char* size : {"100x100", "1200x", "1200x600x3", "0x0"})
        EXPECT_EQ(run(std::string("--plot-size ") + size).status, 2) << size;
}

// The last time label ends inside the picture, not cut at its right edge:
// an hour's "1:00:00" under the last grid line, which is at the pane's edge.
TEST(Plot, LastTimeLabelIsNotCut) {
    const int width = 1200, height = 600;
    Picture p(empty_picture(3600 * 48000, width, height));
    ASSERT_TRUE(p.ok());
    const PlotLayout L = plot_layout(width, height, PlotSettings{});
    const int top = static_cast<int>(L.crest[1].y + L.crest[1].h) + 1;
    auto text_in_column = [&](int x) {
        for (int y = top; y < height; ++y)
            if (p.at(x, y) != p.at(x, height - 1) && p.at(x, y) != p.at(width - 1, top)) return true;
        return false;
    };
    // The label's text reaches into the right margin but not to the edge.
    bool in_margin = false;
    for (int x = static_cast<int>(L.level[0].x + L.level[0].w); x < width - 1; ++x) in_margin |= text_in_column(x);
    EXPECT_TRUE(in_margin);
    EXPECT_FALSE(text_in_column(width - 1));
    EXPECT_FALSE(text_in_column(width - 2));
}

// Like the readouts, the picture does not depend on the host block size.
TEST(Plot, PictureDoesNotDependOnTheBlockSize) {
    TempWav wav(2, 44100, 2.0, [](int c, size_t i) {
        if (i == 30000) return std::nan("");
        return (c ? 0.3 : 0.05) * std::sin(2.0 * M_PI * 300.0 * static_cast<double>(i) / 44100);
    });
    TempDir dir;
    auto bytes = [&](const std::string& block) {
        const std::string png = dir.path + "/b" + block + ".png";
        EXPECT_EQ(run("--summary-only --block " + block + " --plot " + png + " " + wav.path).status, 0);
        std::string data;
        if (FILE* f = std::fopen(png.c_str(), "rb")) {
            char buf[4096];
            for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) data.append(buf, n);
            std::fclose(f);
        }
        return data;
    };
    const std::string reference = bytes("512");
    ASSERT_GT(reference.size(), 1000u);
    EXPECT_EQ(bytes("7"), reference);
    EXPECT_EQ(bytes("4096"), reference);
}
