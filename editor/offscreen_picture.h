// Pictures of the editor without a window: a page drawn into an image and
// written as PNG (riser-meter --png, the drawing benchmark, the picture
// comparison between the Linux and the Windows drawing).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace VSTGUI {
class CFrame;
}

namespace b2 {

struct engine;
struct LoudnessView;

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
    // Shows `page` (0 is the main page) from the next drawing on.
    void show_page(uint8_t page);
    // The loudness page shows `reading` from now on instead of the engine's
    // (a fixed state for pictures compared between builds).
    void show_loudness(const LoudnessView& reading);
    // Redraws the whole frame into the image.
    void draw();
    // The last drawing as rows of RGBA bytes (not premultiplied), top row
    // first; empty when nothing could be drawn.
    std::vector<uint8_t> rgba() const;
    // The frame drawn, for programs that look at its views; null if not built.
    VSTGUI::CFrame* frame() const;
    // Writes the last drawing to `path`; on failure returns false with `error`
    // set and removes any partial file.
    bool save_png(const std::string& path, std::string& error) const;

private:
    struct impl;
    std::unique_ptr<impl> p;
};

}  // namespace b2
