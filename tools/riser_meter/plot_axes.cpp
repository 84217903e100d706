#include "tools/riser_meter/plot_axes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/riser_meter/utf8.h"

namespace riser_meter {
namespace plot_style {

namespace {

std::string format_db(double v) {
    char s[16];
    std::snprintf(s, sizeof s, "%+.0f", v);
    return v == 0 ? "0" : s;
}

// m:ss (h:mm:ss from an hour on), with tenths when the ticks are that fine.
std::string format_time(double seconds, bool tenths, bool hours) {
    const double rounded = tenths ? std::round(seconds * 10) / 10 : std::round(seconds);
    const long whole = static_cast<long>(rounded);
    char s[32];
    if (hours)
        std::snprintf(s, sizeof s, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
    else
        std::snprintf(s, sizeof s, "%ld:%02ld", whole / 60, whole % 60);
    std::string out = s;
    if (tenths) out += "." + std::to_string(static_cast<int>(std::lround((rounded - whole) * 10)));
    return out;
}

}  // namespace

Text::Text(cairo_t* c) : cr(c), font(pango_font_description_from_string("Liberation Sans, Arial, Sans")) {
    pango_font_description_set_absolute_size(font, kFontPixels * PANGO_SCALE);
}

Text::~Text() { pango_font_description_free(font); }

double Text::draw(const std::string& s, double x, double y, double anchor, Rgb colour, double right_limit) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_text(layout, s.c_str(), -1);
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout, &w, &h);
    set_colour(cr, colour);
    const double left = std::min(x - anchor * w, right_limit - w);
    cairo_move_to(cr, std::round(left), std::round(y - h / 2.0));
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    return w;
}

// Horizontal grid lines and labels at every `step` dB of the ladder (twice
// that in its 2 dB part), at least 15 pixels apart.
void level_axis(cairo_t* cr, Labels& text, const PlotLayout& L, int ch) {
    const PlotRect& r = L.level[ch];
    const double px_per_db = r.h / L.level_steps;
    double step = 1;
    for (double s : {1.0, 2.0, 5.0, 10.0, 20.0, 50.0})
        if ((step = s) * px_per_db >= 15) break;
    const double top = L.settings.scale_top, c1 = std::min(top, -28.0);
    const double bottom_db = L.level_db(ch, r.y + r.h);
    std::vector<double> values;
    for (double v = std::floor((top + 1) / step) * step; v >= c1; v -= step) values.push_back(v);
    for (double v = std::ceil(c1 / (2 * step)) * 2 * step; v >= bottom_db; v -= 2 * step)
        if (v < c1) values.push_back(v);
    double last_y = -1e9;
    for (double v : values) {
        const double y = std::floor(L.level_y(ch, v));
        if (y < r.y || y >= r.y + r.h || y - last_y < 15) continue;
        set_colour(cr, kUnlit);
        cairo_rectangle(cr, r.x, y, r.w, 1);
        cairo_fill(cr);
        // Labels relative to "Scale Zero", as on the editor's level scale.
        text.add(format_db(v - L.settings.scale_zero), r.x - 6, y + 0.5, 1.0, kLabel);
        last_y = y;
    }
}

void crest_axis(cairo_t* cr, Labels& text, const PlotLayout& L, int ch) {
    const PlotRect& r = L.crest[ch];
    const double step = r.h / kCrestTop * 10 >= 15 ? 10 : 20;
    for (double v = 0; v <= kCrestTop; v += step) {
        const double y = std::floor(L.crest_y(ch, v));
        set_colour(cr, kUnlit);
        cairo_rectangle(cr, r.x, std::min(y, r.y + r.h - 1), r.w, 1);
        cairo_fill(cr);
        text.add(format_db(v), r.x - 6, std::min(y, r.y + r.h - 6) + 0.5, 1.0, kLabel);
    }
}

// Vertical grid lines at round times at least 90 pixels apart, labelled below.
void time_axis(cairo_t* cr, Labels& text, const PlotLayout& L, const PlotInfo& info) {
    const double seconds = static_cast<double>(std::max<int64_t>(1, info.frames)) / info.sample_rate;
    const PlotRect& first = L.level[0];
    const PlotRect& last = L.crest[1];
    const double px_per_s = first.w / seconds;
    double step = 0.1;
    for (double s : {0.1, 0.2, 0.5, 1.0, 2.0, 5.0, 10.0, 15.0, 30.0, 60.0, 120.0, 300.0, 600.0, 900.0, 1800.0,
                     3600.0, 7200.0, 18000.0, 36000.0, 86400.0})
        if ((step = s) * px_per_s >= 90) break;
    const bool hours = seconds >= 3600;
    for (long i = 0;; ++i) {
        const double t = static_cast<double>(i) * step;
        if (t > seconds + 1e-9) break;
        const double x = std::min(std::floor(first.x + t * px_per_s), first.x + first.w - 1);
        set_colour(cr, kUnlit);
        for (int ch = 0; ch < 2; ++ch) {
            cairo_rectangle(cr, x, L.level[ch].y, 1, L.level[ch].h);
            cairo_rectangle(cr, x, L.crest[ch].y, 1, L.crest[ch].h);
        }
        cairo_fill(cr);
        // The last label ends inside the picture rather than past its edge.
        text.add(format_time(t, step < 1, hours), x, last.y + last.h + kAxisHeight / 2, 0.5, kLabel,
                 first.x + first.w + kRightMargin - 2);
    }
}

std::string title_of(const PlotInfo& info) {
    const PlotSettings& s = info.settings;
    const double seconds = static_cast<double>(info.frames) / info.sample_rate;
    char line[512];
    std::snprintf(line, sizeof line,
                  "  \xc2\xb7  %.0f Hz  \xc2\xb7  %s (%lld frames)  \xc2\xb7  K-weighting %s  \xc2\xb7  "
                  "RMS Window %.0f ms, Peak Fall %.0f ms, Value Hold %.0f ms",
                  info.sample_rate, format_time(seconds, seconds < 60, seconds >= 3600).c_str(),
                  static_cast<long long>(info.frames), s.k_weighted ? "on" : "off", s.rms_window_ms,
                  s.peak_fall_ms, s.value_hold_ms);
    // The name apart: a long one must not be cut inside a character.
    std::string out = valid_utf8(info.name) + line;
    if (s.scale_zero != 0) {
        std::snprintf(line, sizeof line, "  \xc2\xb7  0 dB = %+.0f dBFS", s.scale_zero);
        out += line;
    }
    if (!info.loudness.empty()) out += "  \xc2\xb7  " + info.loudness;
    return out;
}

// Swatches for the traces, right-aligned in the title row.
void legend(cairo_t* cr, Text& text, double right, double y) {
    double x = right;
    const struct {
        const char* name;
        int kind;  // 0 line, 1 area, 2 held line
    } items[] = {{"held", 2}, {"RMS", 1}, {"peak", 0}};
    for (const auto& it : items) {
        const double w = text.draw(it.name, x, y, 1.0, kLabel);
        x -= w + 22;
        if (it.kind == 1) {
            set_colour(cr, kNormal, 0.45);
            cairo_rectangle(cr, x, y - 4, 16, 8);
            cairo_fill(cr);
            set_colour(cr, kNormal);
            cairo_rectangle(cr, x, y - 5, 16, 1.5);
            cairo_fill(cr);
        } else {
            set_colour(cr, it.kind == 0 ? kNormal : kHeld);
            cairo_rectangle(cr, x, y - 0.5, 16, 1.25);
            cairo_fill(cr);
        }
        x -= 14;
    }
}

}  // namespace plot_style
}  // namespace riser_meter
