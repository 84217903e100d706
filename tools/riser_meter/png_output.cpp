// --png: an editor page with the final meter state, drawn offscreen.
#include "tools/riser_meter/png_output.h"

#include <mutex>

#include "editor/offscreen_picture.h"
#include "editor/rgba_png.h"
#include "editor/ui_element.h"

namespace riser_meter {

bool png_output_available() { return true; }

namespace {

uint8_t editor_page(PngPage page) {
    switch (page) {
        case PngPage::settings:
            return b2::PAGE_SETTINGS;
        case PngPage::loudness:
            return b2::PAGE_LOUDNESS;
        default:
            return b2::PAGE_MAIN;
    }
}

}  // namespace

bool write_png(const std::string& path, const MeterRun& run, PngPage page, std::string& error) {
    if (!run.has_snapshots()) {
        error = "no meter state to draw: the audio is shorter than one editor tick (33 ms)";
        return false;
    }
    // The toolkit's objects are not made for several threads: one picture at a time.
    static std::mutex toolkit;
    std::lock_guard<std::mutex> one_at_a_time(toolkit);
    // Publish the last snapshots again, as the detectors would for an editor.
    b2::engine* e = run.get_engine();
    const b2::MeterSnapshot* last[2] = {&run.latest().left, &run.latest().right};
    for (int c = 0; c < 2; ++c) {
        b2::MeterSnapshot& s = e->strips[c].detector.snapshot;
        s.copy_values(*last[c]);
        s.ready.store(1, std::memory_order_release);
        s.scaleChanged.store(1, std::memory_order_release);
    }
    // The loudness page takes the stage's last publication, which nothing
    // took during the run.
    b2::offscreen_editor editor(e, 1.0);
    editor.show_page(editor_page(page));
    editor.draw();
    // Written whole or not at all: a failure leaves no file.
    const b2::rgba_image image{editor.width(), editor.height(), editor.rgba()};
    if (image.pixels.empty()) {
        error = "cannot write the picture \"" + path + "\" (the editor could not be drawn)";
        return false;
    }
    return b2::write_rgba_png(path, image, error);
}

}  // namespace riser_meter
