// The level-history picture's text and axes: grid lines with their labels,
// the time axis, the title line and the legend.
#pragma once

#include <cairo.h>
#include <pango/pangocairo.h>

#include <string>
#include <vector>

#include "tools/riser_meter/plot_style.h"

namespace riser_meter {
namespace plot_style {

// Text in the editor's small font (11 pixels), through pango.
class Text {
public:
    explicit Text(cairo_t* c);
    ~Text();
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;

    // Draws `s` with its anchor (0 left, 0.5 centre, 1 right) at x, centred
    // on y, moved left as far as needed to end at `right_limit`; returns its width.
    double draw(const std::string& s, double x, double y, double anchor, Rgb colour, double right_limit = 1e9);

private:
    cairo_t* cr;
    PangoFontDescription* font;
};

// Text collected while the picture is drawn and laid out at the end, in one go.
class Labels {
public:
    void add(std::string s, double x, double y, double anchor, Rgb colour, double right_limit = 1e9) {
        all.push_back({std::move(s), x, y, anchor, right_limit, colour});
    }
    void draw(Text& text) const {
        for (const Label& l : all) text.draw(l.s, l.x, l.y, l.anchor, l.colour, l.right_limit);
    }

private:
    struct Label {
        std::string s;
        double x, y, anchor, right_limit;
        Rgb colour;
    };
    std::vector<Label> all;
};

// Grid lines and labels of a channel's level pane (the meter's ladder) and
// crest pane, and the time axis under all panes.
void level_axis(cairo_t* cr, Labels& text, const PlotLayout& L, int ch);
void crest_axis(cairo_t* cr, Labels& text, const PlotLayout& L, int ch);
void time_axis(cairo_t* cr, Labels& text, const PlotLayout& L, const PlotInfo& info);
// File name, rate, length, K-weighting and the time settings.
std::string title_of(const PlotInfo& info);
// Swatches for the traces, right-aligned at `right` on the line y.
void legend(cairo_t* cr, Text& text, double right, double y);

}  // namespace plot_style
}  // namespace riser_meter
