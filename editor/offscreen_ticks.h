// Timer ticks of an editor without a window, for measuring what one tick
// costs: each tick does the work of the editor's timer (new meter snapshots
// into the views), then redraws only the rectangles of the views it marked,
// as the window system redraws the invalidated parts of a window. The
// editor's clock advances 33 ms with each tick.
#pragma once

#include <memory>

namespace b2 {

struct engine;

class offscreen_ticks {
public:
    // Builds the editor at `zoom`, takes the published snapshots and draws the
    // whole main page once.
    offscreen_ticks(engine* e, double zoom);
    ~offscreen_ticks();
    offscreen_ticks(const offscreen_ticks&) = delete;
    offscreen_ticks& operator=(const offscreen_ticks&) = delete;

    bool ok() const;
    // One tick and its redraw; returns the number of rectangles redrawn.
    int tick();
    // Pixels (window pixels, at the zoom) redrawn by the last tick.
    double redrawn_pixels() const;
    // Whether the picture kept up by the ticks equals a full redraw of the
    // page as it is now: every change the ticks made was redrawn.
    bool matches_full_redraw() const;

private:
    struct impl;
    std::unique_ptr<impl> p;
};

}  // namespace b2
