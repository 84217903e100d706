// Writes the Linux (cairo) pictures of both editor pages in the fixed meter
// state, as the reference the Windows drawing is compared with:
//   editor_picture_writer <folder>
// writes <folder>/<page>.png and two masks a comparison can leave out, opaque
//  - <page>_text.png where text was drawn (the box of each string's ink,
//    widened by 2 pixels for antialiasing), with red 128 instead of 255 on
//    strings cut by the edge of their view;
//  - <page>_round.png along the edges of the views drawn as rounded
//    rectangles (buttons, value boxes), which renderers without arcs in
//    their paths draw with cut corners and slanted outlines.
#include <cairo.h>
#include <dlfcn.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "editor/offscreen_picture.h"
#include "editor/rgba_png.h"
#include "views/text_button_mod.h"
#include "vstgui/lib/cframe.h"
#include "vstgui/lib/controls/cparamdisplay.h"
#include "vstgui/lib/controls/csegmentbutton.h"
#include "editor_picture_state.h"
#include "test_support.h"

namespace {

using namespace VSTGUI;

constexpr int kTextMargin = 2;
constexpr uint8_t kCutText = 128;  // the text mask's red channel on strings cut by their view
b2::rgba_image* text_mask = nullptr;  // the mask of the page being drawn

b2::rgba_image empty_mask(int width, int height) {
    return {width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4, 0)};
}

// Makes the pixels touched by the box [left, right) x [top, bottom) opaque,
// with `red` as their red channel (the lowest where boxes overlap).
void mark_box(b2::rgba_image& mask, double left, double top, double right, double bottom, uint8_t red = 255) {
    const int l = std::max(0, static_cast<int>(std::floor(left)));
    const int t = std::max(0, static_cast<int>(std::floor(top)));
    const int r = std::min(mask.width, static_cast<int>(std::ceil(right)));
    const int b = std::min(mask.height, static_cast<int>(std::ceil(bottom)));
    for (int y = t; y < b; ++y)
        for (int x = l; x < r; ++x) {
            uint8_t* p = &mask.pixels[(static_cast<size_t>(y) * mask.width + x) * 4];
            p[0] = p[3] == 255 ? std::min(p[0], red) : red;
            p[1] = p[2] = p[3] = 255;
        }
}

// The corner radius of a view drawn as a rounded rectangle, else 0.
CCoord round_radius(CView* view) {
    if (auto* button = dynamic_cast<CTextButtonMod*>(view)) return button->getRoundRadius();
    if (auto* segments = dynamic_cast<CSegmentButton*>(view)) return segments->getRoundRadius();
    if (auto* display = dynamic_cast<CParamDisplay*>(view))
        return (display->getStyle() & CParamDisplay::kRoundRectStyle) ? display->getRoundRectRadius() : 0;
    return 0;
}

// A band along the edges of every visible view drawn as a rounded rectangle,
// from 1 pixel outside to the corner radius and 1 pixel inside: without its
// arcs, such a path runs slanted from corner to corner, up to the radius
// away from the edge.
void mark_round_outlines(const CViewContainer* container, b2::rgba_image& mask) {
    container->forEachChild([&](CView* view) {
        if (!view->isVisible()) return;
        if (auto* inner = view->asViewContainer()) return mark_round_outlines(inner, mask);
        const CCoord radius = round_radius(view);
        if (radius <= 0) return;
        const CRect r = view->translateToGlobal(view->getViewSize());
        const CCoord band = radius + 1;
        mark_box(mask, r.left - 1, r.top - 1, r.right + 1, r.top + band);
        mark_box(mask, r.left - 1, r.bottom - band, r.right + 1, r.bottom + 1);
        mark_box(mask, r.left - 1, r.top - 1, r.left + band, r.bottom + 1);
        mark_box(mask, r.right - band, r.top - 1, r.right + 1, r.bottom + 1);
    });
}

void mark_text(cairo_t* cr, PangoLayout* layout) {
    if (!text_mask || !cairo_has_current_point(cr)) return;
    PangoRectangle ink{};
    pango_layout_get_pixel_extents(layout, &ink, nullptr);
    double x0 = 0, y0 = 0;
    cairo_get_current_point(cr, &x0, &y0);
    double xs[2] = {x0 + ink.x, x0 + ink.x + ink.width}, ys[2] = {y0 + ink.y, y0 + ink.y + ink.height};
    // Strings cut by the view's edge show other parts of their glyphs where
    // another renderer puts the baseline a pixel apart.
    double clip[4];
    cairo_clip_extents(cr, &clip[0], &clip[1], &clip[2], &clip[3]);
    const bool cut = xs[0] < clip[0] || ys[0] < clip[1] || xs[1] > clip[2] || ys[1] > clip[3];
    double left = 1e9, top = 1e9, right = -1e9, bottom = -1e9;
    for (double x : xs)
        for (double y : ys) {
            double dx = x, dy = y;
            cairo_user_to_device(cr, &dx, &dy);
            left = std::min(left, dx), right = std::max(right, dx);
            top = std::min(top, dy), bottom = std::max(bottom, dy);
        }
    mark_box(*text_mask, left - kTextMargin, top - kTextMargin, right + kTextMargin, bottom + kTextMargin,
             cut ? kCutText : 255);
}

}  // namespace

// The toolkit draws every string through this call: the program's own
// definition records where, then hands over to the library's.
extern "C" void pango_cairo_show_layout(cairo_t* cr, PangoLayout* layout) {
    using show_fn = void (*)(cairo_t*, PangoLayout*);
    static const auto library = reinterpret_cast<show_fn>(dlsym(RTLD_NEXT, "pango_cairo_show_layout"));
    mark_text(cr, layout);
    if (library) library(cr, layout);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: editor_picture_writer <folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    b2test::EnginePtr engine(b2test::make_engine());
    picturetest::publish_fixed_state(engine.get());
    b2::offscreen_editor editor(engine.get(), 1.0);
    if (!editor.ok()) {
        std::fprintf(stderr, "editor_picture_writer: the editor could not be built offscreen\n");
        return 1;
    }
    picturetest::show_fixed_loudness(editor);
    for (const auto& page : picturetest::kPages) {
        b2::rgba_image text = empty_mask(editor.width(), editor.height());
        b2::rgba_image round = text;
        text_mask = &text;
        editor.show_page(page.page);
        editor.draw();
        text_mask = nullptr;
        mark_round_outlines(editor.frame(), round);
        std::string error;
        const std::string base = folder + "/" + page.name;
        if (!editor.save_png(base + ".png", error) || !b2::write_rgba_png(base + "_text.png", text, error) ||
            !b2::write_rgba_png(base + "_round.png", round, error)) {
            std::fprintf(stderr, "editor_picture_writer: %s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}
