// Pictures of the editor without a window: the main page drawn into an image
// and written as PNG (riser-meter --png, the drawing benchmark).
#pragma once

#include <memory>
#include <string>

namespace b2 {

struct engine;

// Sets the toolkit up once per process for drawing without a window.
void init_offscreen_toolkit();

class offscreen_editor {
public:
    // Builds an editor for `e` at `zoom` and shows the engine's published meter
    // snapshots (both channels must be ready, as on an editor tick).
    offscreen_editor(engine* e, double zoom);
    ~offscreen_editor();
    offscreen_editor(const offscreen_editor&) = delete;
    offscreen_editor& operator=(const offscreen_editor&) = delete;

    bool ok() const;
    int width() const;
    int height() const;
    // Redraws the whole frame into the image.
    void draw();
    // Writes the last drawing to `path`; on failure returns false with `error`
    // set and removes any partial file.
    bool save_png(const std::string& path, std::string& error) const;

private:
    struct impl;
    std::unique_ptr<impl> p;
};

}  // namespace b2
