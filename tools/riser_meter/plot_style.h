// What the level-history picture shares between its files: the editor's
// colours, the picture's geometry and the meter's colour rules.
#pragma once

#include <cairo.h>

#include "tools/riser_meter/plot.h"

namespace riser_meter {
namespace plot_style {

struct Rgb {
    double r, g, b;
};
constexpr Rgb rgb(int r, int g, int b) { return {r / 255.0, g / 255.0, b / 255.0}; }

// The editor's colours. The meter views draw them from their own palette; a
// picture without VSTGUI keeps its copy here.
constexpr Rgb kClip = rgb(240, 68, 68);         // meter palette: clip
constexpr Rgb kHigh = rgb(240, 154, 68);        // meter palette: high
constexpr Rgb kMid = rgb(245, 230, 130);        // meter palette: mid
constexpr Rgb kNormal = rgb(180, 217, 106);     // meter palette: normal
constexpr Rgb kLabel = rgb(192, 192, 192);      // meter palette: label text
constexpr Rgb kPaneBack = rgb(56, 56, 56);      // meter palette: view background
constexpr Rgb kUnlit = rgb(80, 80, 80);         // meter palette: unlit segment
constexpr Rgb kPageBack = rgb(50, 50, 50);      // editor page background
constexpr Rgb kDimText = rgb(120, 120, 120);    // editor status text
constexpr Rgb kHeld = rgb(165, 165, 165);       // label text at 80 % over the view background

// The editor's bars are 528 pixels high at zoom 1; the crest ladder's top
// step is 528 / 16 - 1 = 32 dB, so its panes show 0 to 33 dB.
constexpr double kBarHeight = 528.0;
constexpr double kCrestTop = 33.0;

constexpr double kTitleHeight = 26, kAxisHeight = 24, kLeftMargin = 48, kRightMargin = 14;
constexpr double kChannelGap = 18, kCrestGap = 5;
constexpr double kFontPixels = 11;  // the editor's small font size

// A colour class of the meter's ladders.
enum Band { kBandNormal, kBandMid, kBandHigh, kBandClip, kBandUnlit };

inline Rgb band_colour(Band b) {
    switch (b) {
        case kBandClip: return kClip;
        case kBandHigh: return kHigh;
        case kBandMid: return kMid;
        case kBandUnlit: return kUnlit;
        default: return kNormal;
    }
}

// The editor's colour rule: a value at or above a threshold (with 0.0001 dB
// of tolerance) takes that threshold's colour.
inline bool at_or_above(double v, float threshold) { return v >= static_cast<double>(threshold) - 0.0001; }

inline Band peak_band(const PlotSettings& s, double v) {
    if (at_or_above(v, s.peak_clip)) return kBandClip;
    if (at_or_above(v, s.peak_high)) return kBandHigh;
    if (at_or_above(v, s.peak_low)) return kBandMid;
    return kBandNormal;
}

inline Band rms_band(const PlotSettings& s, double v) {
    if (at_or_above(v, s.rms_high)) return kBandHigh;
    if (at_or_above(v, s.rms_low)) return kBandMid;
    return kBandNormal;
}

inline Band crest_band(const PlotSettings& s, double v) {
    if (v < 0) return kBandUnlit;
    if (at_or_above(v, s.crest_high)) return kBandHigh;
    if (at_or_above(v, s.crest_low)) return kBandMid;
    return kBandNormal;
}

inline void set_colour(cairo_t* cr, Rgb c, double alpha = 1.0) { cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha); }

}  // namespace plot_style
}  // namespace riser_meter
