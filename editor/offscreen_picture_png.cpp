// Saving an offscreen picture: its pixels through the one PNG writer, so a
// picture never goes through a link at its name and a failure leaves nothing.
#include "editor/offscreen_picture.h"
#include "editor/rgba_png.h"

namespace b2 {

bool offscreen_editor::save_png(const std::string& path, std::string& error) const {
    rgba_image image{width(), height(), rgba()};
    if (image.pixels.empty()) {
        error = "the editor could not be drawn";
        return false;
    }
    return write_rgba_png(path, image, error);
}

}  // namespace b2
