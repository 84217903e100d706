// --png: the editor's main page with the final meter state, drawn offscreen.
#include "tools/riser_meter/png_output.h"

#include <cstdio>
#include <mutex>

#include "editor/offscreen_picture.h"

namespace riser_meter {

bool png_output_available() { return true; }

bool write_png(const std::string& path, const MeterRun& run, std::string& error) {
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
    b2::offscreen_editor editor(e, 1.0);
    editor.draw();
    // Written beside the target and renamed, so a failure leaves no partial file.
    const std::string partial = path + ".partial";
    if (!editor.save_png(partial, error)) {
        error = "cannot write the picture \"" + path + "\" (" + error + ")";
        return false;
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        std::remove(partial.c_str());
        error = "cannot write the picture \"" + path + "\"";
        return false;
    }
    return true;
}

}  // namespace riser_meter
