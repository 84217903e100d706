#include "editor/offscreen_picture.h"

#include <cairo.h>

#include <cstdio>
#include <cstring>

#include "editor/ui_editor.h"
#include "vstgui/lib/platform/linux/cairocontext.h"
#include "vstgui/lib/vstguiinit.h"

namespace b2 {

using namespace VSTGUI;

struct offscreen_editor::impl {
    ui_editor* editor = nullptr;
    cairo_surface_t* surface = nullptr;
    int width = 0, height = 0;
};

// VSTGUI needs its global set-up once per process; a plug-in gets it from the
// module initialiser, a program from here. Pictures need no X server.
void init_offscreen_toolkit() {
    static const bool done = (VSTGUI::init(nullptr), true);
    (void)done;
}

offscreen_editor::offscreen_editor(engine* e, double zoom) : p(new impl) {
    init_offscreen_toolkit();
    p->editor = new ui_editor(e);
    if (!p->editor->build_offscreen(zoom)) return;
    p->editor->refresh_meters_now();
    const CRect size = p->editor->getFrame()->getViewSize();
    p->width = static_cast<int>(size.getWidth());
    p->height = static_cast<int>(size.getHeight());
    p->surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, p->width, p->height);
    if (cairo_surface_status(p->surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(p->surface);
        p->surface = nullptr;
    }
}

offscreen_editor::~offscreen_editor() {
    if (p->surface) cairo_surface_destroy(p->surface);
    if (p->editor) {
        p->editor->close_offscreen();
        p->editor->forget();
    }
}

bool offscreen_editor::ok() const { return p->surface != nullptr; }
int offscreen_editor::width() const { return p->width; }
int offscreen_editor::height() const { return p->height; }
CFrame* offscreen_editor::frame() const { return p->editor ? p->editor->getFrame() : nullptr; }

void offscreen_editor::show_loudness(const LoudnessView& reading) {
    if (!p->editor) return;
    p->editor->set_loudness_source([reading](LoudnessView& out) {
        out = reading;
        return true;
    });
    p->editor->refresh_meters_now();
}

void offscreen_editor::show_page(uint8_t page) {
    if (p->editor) p->editor->show_page(page);
}

void offscreen_editor::draw() {
    if (!ok()) return;
    CFrame* frame = p->editor->getFrame();
    // The context takes its own reference on the surface.
    auto context = makeOwned<Cairo::Context>(CRect(0, 0, p->width, p->height),
                                             Cairo::SurfaceHandle(cairo_surface_reference(p->surface)));
    context->beginDraw();
    frame->drawRect(context, frame->getViewSize());
    context->endDraw();
    cairo_surface_flush(p->surface);
}

std::vector<uint8_t> offscreen_editor::rgba() const {
    std::vector<uint8_t> out;
    if (!ok()) return out;
    out.reserve(static_cast<size_t>(p->width) * p->height * 4);
    const uint8_t* data = cairo_image_surface_get_data(p->surface);
    const int stride = cairo_image_surface_get_stride(p->surface);
    for (int y = 0; y < p->height; ++y)
        for (int x = 0; x < p->width; ++x) {
            uint32_t argb;
            std::memcpy(&argb, data + y * stride + 4 * x, 4);
            const uint32_t a = argb >> 24;
            // Premultiplied words: undo the alpha, rounding to nearest.
            auto channel = [&](int shift) {
                const uint32_t c = (argb >> shift) & 0xff;
                return static_cast<uint8_t>(a == 0 ? 0 : (c * 255 + a / 2) / a);
            };
            out.insert(out.end(), {channel(16), channel(8), channel(0), static_cast<uint8_t>(a)});
        }
    return out;
}

}  // namespace b2
