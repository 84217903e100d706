// --plot: the level history of a file drawn with cairo, as the meter saw it.
// Per channel a level pane (falling peak and RMS with their held values, on
// the meter's dB scale) and a crest pane below it, the editor's threshold
// levels as faint bands, a time axis and a title line.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>

#include "tools/riser_meter/history.h"

namespace riser_meter {

// The meter settings a picture shows (plain parameter values).
struct PlotSettings {
    float scale_top = 0, scale_zero = 0, segment_height = 16;
    float peak_clip = -4, peak_high = -6, peak_low = -8;
    float rms_high = -18, rms_low = -20;
    float crest_high = 14, crest_low = 12;
    float rms_window_ms = 300, peak_fall_ms = 300, value_hold_ms = 1500;
    bool k_weighted = false;
};

struct PlotInfo {
    std::string name;  // shown in the title line
    double sample_rate = 48000;
    int64_t frames = 0;
    PlotSettings settings;
    std::string loudness;  // the loudness figures for the title line; empty: none
};

struct PlotRect {
    double x = 0, y = 0, w = 0, h = 0;
};

// Where everything goes in a picture of a given size. The level axis is the
// meter's ladder: from "Scale Top" down as far as the editor's bars reach at
// "Segment Hgt", 1 dB per step and 2 dB per step from -28 dB down. The crest
// axis is the editor's crest ladder: 0 to 33 dB in 1 dB steps.
struct PlotLayout {
    PlotRect level[2], crest[2];  // left channel first
    PlotSettings settings;
    double level_steps = 33;      // ladder steps the level panes show

    int columns() const { return static_cast<int>(level[0].w); }
    // The y of a level (dB) in a channel's level pane, and its inverse.
    double level_y(int channel, double db) const;
    double level_db(int channel, double y) const;
    double crest_y(int channel, double db) const;
};

PlotLayout plot_layout(int width, int height, const PlotSettings& settings);

// Draws the picture into a new image surface (the caller destroys it).
cairo_surface_t* draw_history(const LevelHistory& history, const PlotInfo& info, int width, int height);

// Draws the picture and writes it as PNG to `path` (through `path`.partial,
// then renamed). On failure returns false with `error` set and leaves no
// file behind.
bool write_history_png(const std::string& path, const LevelHistory& history, const PlotInfo& info, int width,
                       int height, std::string& error);

}  // namespace riser_meter
