#include "tools/riser_meter/plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <mutex>
#include <vector>

#include "editor/whole_file.h"
#include "tools/riser_meter/plot_axes.h"

namespace riser_meter {

namespace {

using namespace plot_style;

// Position on the level ladder in steps below its top edge: 1 dB per step
// down to the first step at or below -28 dB, 2 dB per step below it.
double ladder_steps(double top, double db) {
    const double c1 = std::min(top, -28.0);
    if (db >= c1) return top + 1.0 - db;
    return (top + 1.0 - c1) + (c1 - db) / 2.0;
}

double ladder_db(double top, double steps) {
    const double c1 = std::min(top, -28.0);
    const double s1 = top + 1.0 - c1;
    if (steps <= s1) return top + 1.0 - steps;
    return c1 - 2.0 * (steps - s1);
}

using YOf = std::function<double(double)>;
using BandOf = std::function<Band(double)>;  // band of the value at a y


// A vertical pattern over `r` that gives every pixel row the colour its
// value has on the ladder: the bars' colouring, applied to a trace.
cairo_pattern_t* ladder_pattern(const PlotRect& r, const BandOf& band_at_y, double alpha) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, r.y, 0, r.y + r.h);
    const int rows = std::max(1, static_cast<int>(r.h));
    Band last = band_at_y(r.y + 0.5);
    Rgb c = band_colour(last);
    cairo_pattern_add_color_stop_rgba(p, 0.0, c.r, c.g, c.b, alpha);
    for (int row = 1; row < rows; ++row) {
        const Band b = band_at_y(r.y + row + 0.5);
        if (b == last) continue;
        const double at = static_cast<double>(row) / rows;
        cairo_pattern_add_color_stop_rgba(p, at, c.r, c.g, c.b, alpha);
        c = band_colour(b);
        cairo_pattern_add_color_stop_rgba(p, at, c.r, c.g, c.b, alpha);
        last = b;
    }
    cairo_pattern_add_color_stop_rgba(p, 1.0, c.r, c.g, c.b, alpha);
    cairo_pattern_set_extend(p, CAIRO_EXTEND_PAD);
    return p;
}

// Faint bands over the rows whose values fall in the given classes.
void draw_bands(cairo_t* cr, const PlotRect& r, const BandOf& band_at_y, std::initializer_list<Band> shown) {
    const int rows = static_cast<int>(r.h);
    for (int row = 0; row < rows;) {
        const Band b = band_at_y(r.y + row + 0.5);
        int end = row + 1;
        while (end < rows && band_at_y(r.y + end + 0.5) == b) ++end;
        if (std::find(shown.begin(), shown.end(), b) != shown.end()) {
            set_colour(cr, band_colour(b), 0.10);
            cairo_rectangle(cr, r.x, r.y + row, r.w, end - row);
            cairo_fill(cr);
        }
        row = end;
    }
}

// Keeps far-off values (silence reads -280 dB) just outside the pane.
double clamp_y(const PlotRect& r, double y) { return std::min(std::max(y, r.y - 4.0), r.y + r.h + 4.0); }

// The area under a trace's largest values, down to the pane's floor.
void area_path(cairo_t* cr, const LevelHistory& h, int trace, const PlotRect& r, const YOf& y_of) {
    const double bottom = r.y + r.h + 4.0;
    double last_x = -1;
    for (int col = 0; col < h.columns(); ++col) {
        if (!h.has(trace, col)) continue;
        const double x = r.x + col + 0.5;
        if (last_x < 0) cairo_move_to(cr, x, bottom);
        cairo_line_to(cr, x, clamp_y(r, y_of(h.at(trace, col).hi)));
        last_x = x;
    }
    if (last_x < 0) return;
    cairo_line_to(cr, last_x, bottom);
    cairo_close_path(cr);
}

// One trace of `width` pixels: in every column that has values a bar over
// their range, on whole pixels, and a segment from each column's last value
// to the next column's first. Pixel-aligned bars fill without scan
// conversion and the segments stay short, so the drawing time is bounded by
// the width of the picture however many readings a column holds.
void draw_trace(cairo_t* cr, const LevelHistory& h, int trace, const PlotRect& r, const YOf& y_of, double width) {
    const double half = width / 2;
    for (int col = 0; col < h.columns(); ++col) {
        if (!h.has(trace, col)) continue;
        const ColumnRange& v = h.at(trace, col);
        const double top = std::round(clamp_y(r, y_of(v.hi)) - half);
        const double bottom = std::max(top + 1, std::round(clamp_y(r, y_of(v.lo)) + half));
        cairo_rectangle(cr, r.x + col, top, 1, bottom - top);
    }
    cairo_fill(cr);
    double last_x = -1, last_y = 0;
    for (int col = 0; col < h.columns(); ++col) {
        if (!h.has(trace, col)) continue;
        const ColumnRange& v = h.at(trace, col);
        const double x = r.x + col + 0.5;
        if (last_x >= 0) {
            cairo_move_to(cr, last_x, last_y);
            cairo_line_to(cr, x, clamp_y(r, y_of(v.first)));
        }
        last_x = x;
        last_y = clamp_y(r, y_of(v.last));
    }
    cairo_set_line_width(cr, width);
    cairo_stroke(cr);
}

void draw_channel(cairo_t* cr, const LevelHistory& h, const PlotLayout& L, int ch) {
    const PlotSettings& s = L.settings;
    const PlotRect& lr = L.level[ch];
    const PlotRect& cr_ = L.crest[ch];
    const int base = ch * kTracesPerChannel;
    const YOf level_y = [&](double db) { return L.level_y(ch, db); };
    const YOf crest_y = [&](double db) { return L.crest_y(ch, db); };
    const BandOf peak_at = [&](double y) { return peak_band(s, L.level_db(ch, y)); };
    const BandOf rms_at = [&](double y) { return rms_band(s, L.level_db(ch, y)); };
    const BandOf crest_at = [&](double y) {
        return crest_band(s, kCrestTop - (y - cr_.y) * kCrestTop / cr_.h);
    };

    cairo_save(cr);
    cairo_rectangle(cr, lr.x, lr.y, lr.w, lr.h);
    cairo_clip(cr);
    // The RMS as the RMS bar would have shown it over time, then its line.
    cairo_pattern_t* rms_fill = ladder_pattern(lr, rms_at, 0.45);
    area_path(cr, h, base + kRms, lr, level_y);
    cairo_set_source(cr, rms_fill);
    cairo_fill(cr);
    cairo_pattern_destroy(rms_fill);
    set_colour(cr, kHeld);
    draw_trace(cr, h, base + kHeldRms, lr, level_y, 1.0);
    draw_trace(cr, h, base + kHeldPeak, lr, level_y, 1.0);
    cairo_pattern_t* rms_line = ladder_pattern(lr, rms_at, 1.0);
    cairo_set_source(cr, rms_line);
    draw_trace(cr, h, base + kRms, lr, level_y, 1.5);
    cairo_pattern_destroy(rms_line);
    cairo_pattern_t* peak_line = ladder_pattern(lr, peak_at, 1.0);
    cairo_set_source(cr, peak_line);
    draw_trace(cr, h, base + kPeak, lr, level_y, 1.25);
    cairo_pattern_destroy(peak_line);
    cairo_restore(cr);

    cairo_save(cr);
    cairo_rectangle(cr, cr_.x, cr_.y, cr_.w, cr_.h);
    cairo_clip(cr);
    set_colour(cr, kHeld);
    draw_trace(cr, h, base + kHeldCrest, cr_, crest_y, 1.0);
    cairo_pattern_t* crest_line = ladder_pattern(cr_, crest_at, 1.0);
    cairo_set_source(cr, crest_line);
    draw_trace(cr, h, base + kCrest, cr_, crest_y, 1.25);
    cairo_pattern_destroy(crest_line);
    cairo_restore(cr);

    // Columns that held samples which are not numbers: a mark under the level pane.
    set_colour(cr, kClip);
    for (int col = 0; col < h.columns(); ++col)
        if (h.nonfinite(col)) cairo_rectangle(cr, lr.x + col, lr.y + lr.h + 1, 1, kCrestGap - 2);
    cairo_fill(cr);
}

void draw_frame(cairo_t* cr, Labels& text, const PlotLayout& L, int ch) {
    const PlotSettings& s = L.settings;
    const PlotRect& lr = L.level[ch];
    const PlotRect& cr_ = L.crest[ch];
    set_colour(cr, kPaneBack);
    cairo_rectangle(cr, lr.x, lr.y, lr.w, lr.h);
    cairo_rectangle(cr, cr_.x, cr_.y, cr_.w, cr_.h);
    cairo_fill(cr);
    // The peak ladder's threshold bands and the RMS target band.
    draw_bands(cr, lr, [&](double y) { return peak_band(s, L.level_db(ch, y)); }, {kBandClip, kBandHigh, kBandMid});
    draw_bands(cr, lr, [&](double y) { return rms_band(s, L.level_db(ch, y)); }, {kBandMid});
    draw_bands(cr, cr_, [&](double y) { return crest_band(s, kCrestTop - (y - cr_.y) * kCrestTop / cr_.h); },
               {kBandHigh, kBandMid});
    level_axis(cr, text, L, ch);
    crest_axis(cr, text, L, ch);
    text.add(ch == 0 ? "L" : "R", lr.x - kLeftMargin + 4, lr.y + 6, 0.0, kLabel);
    text.add("crest", cr_.x - kLeftMargin + 4, cr_.y + cr_.h - 6, 0.0, kDimText);
}

}  // namespace

double PlotLayout::level_y(int channel, double db) const {
    const PlotRect& r = level[channel];
    return r.y + ladder_steps(settings.scale_top, db) * r.h / level_steps;
}

double PlotLayout::level_db(int channel, double y) const {
    const PlotRect& r = level[channel];
    return ladder_db(settings.scale_top, (y - r.y) * level_steps / r.h);
}

double PlotLayout::crest_y(int channel, double db) const {
    const PlotRect& r = crest[channel];
    return r.y + (kCrestTop - db) * r.h / kCrestTop;
}

PlotLayout plot_layout(int width, int height, const PlotSettings& settings) {
    PlotLayout L;
    L.settings = settings;
    // The editor's bars show 528 / "Segment Hgt" whole-pixel steps; a height
    // outside the parameter's range (4 to 28) falls back to its default.
    const double v = settings.segment_height;
    L.level_steps = kBarHeight / ((v >= 4 && v <= 28) ? std::trunc(v) : 16.0);
    const double x = kLeftMargin;
    const double w = std::floor(width - kLeftMargin - kRightMargin);
    const double per_channel = std::floor((height - kTitleHeight - kAxisHeight - kChannelGap) / 2);
    const double crest_h = std::floor((per_channel - kCrestGap) * 0.28);
    const double level_h = per_channel - kCrestGap - crest_h;
    double y = kTitleHeight;
    for (int ch = 0; ch < 2; ++ch) {
        L.level[ch] = {x, y, w, level_h};
        L.crest[ch] = {x, y + level_h + kCrestGap, w, crest_h};
        y += per_channel + kChannelGap;
    }
    return L;
}

cairo_surface_t* draw_history(const LevelHistory& history, const PlotInfo& info, int width, int height) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return surface;
    const PlotLayout L = plot_layout(width, height, info.settings);
    cairo_t* cr = cairo_create(surface);
    set_colour(cr, kPageBack);
    cairo_paint(cr);
    Labels labels;
    for (int ch = 0; ch < 2; ++ch) draw_frame(cr, labels, L, ch);
    time_axis(cr, labels, L, info);
    for (int ch = 0; ch < 2; ++ch) draw_channel(cr, history, L, ch);
    {
        Text text(cr);
        labels.draw(text);
        text.draw(title_of(info), 6, kTitleHeight / 2, 0.0, kLabel);
        legend(cr, text, width - kRightMargin, kTitleHeight / 2);
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    return surface;
}

namespace {

cairo_status_t write_to(void* file, const unsigned char* data, unsigned int length) {
    return std::fwrite(data, 1, length, static_cast<std::FILE*>(file)) == length ? CAIRO_STATUS_SUCCESS
                                                                                 : CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace

bool write_history_png(const std::string& path, const LevelHistory& history, const PlotInfo& info, int width,
                       int height, std::string& error) {
    // One picture in memory at a time, however many files are metered at once.
    static std::mutex one_at_a_time;
    std::lock_guard<std::mutex> g(one_at_a_time);
    cairo_surface_t* surface = draw_history(history, info, width, height);
    cairo_status_t status = cairo_surface_status(surface);
    // Written whole or not at all: a failure leaves no file.
    b2::whole_file out(path);
    if (!out.file()) {
        cairo_surface_destroy(surface);
        error = "cannot write the level history \"" + path + "\": " + out.error();
        return false;
    }
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_write_to_png_stream(surface, write_to, out.file());
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        error = "cannot write the level history \"" + path + "\" (" + cairo_status_to_string(status) + ")";
        return false;
    }
    if (!out.commit()) {
        error = "cannot write the level history \"" + path + "\": " + out.error();
        return false;
    }
    return true;
}

}  // namespace riser_meter

// Under ThreadSanitizer only, for every program that draws with this file:
// cairo, pango, fontconfig and glib are system libraries built without it.
// Their own atomics (cairo's pools of freed objects, fontconfig's caches)
// are invisible to it, so their hand-overs between threads drawing separate
// pictures look like races. Accesses made inside those libraries go
// unchecked; our own code is still checked.
#if defined(__SANITIZE_THREAD__)
#define RISER_METER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define RISER_METER_TSAN 1
#endif
#endif

#ifdef RISER_METER_TSAN
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_suppressions() {
    return "called_from_lib:libcairo.so.2\n"
           "called_from_lib:libfontconfig.so.1\n"
           "called_from_lib:libfreetype.so.6\n"
           "called_from_lib:libglib-2.0.so.0\n"
           "called_from_lib:libgobject-2.0.so.0\n"
           "called_from_lib:libharfbuzz.so.0\n"
           "called_from_lib:libpango-1.0.so.0\n"
           "called_from_lib:libpangocairo-1.0.so.0\n"
           "called_from_lib:libpangoft2-1.0.so.0\n"
           "called_from_lib:libpixman-1.so.0\n"
           "called_from_lib:libpng16.so.16\n";
}
#endif
