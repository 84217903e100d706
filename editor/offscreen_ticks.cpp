#include "editor/offscreen_ticks.h"

#include <cairo.h>

#include <cstring>
#include <vector>

#include "editor/offscreen_picture.h"
#include "editor/ui_editor.h"
#include "engine/engine.h"
#include "engine/script_bridge.h"
#include "vstgui/lib/cinvalidrectlist.h"
#include "vstgui/lib/cviewcontainer.h"
#include "vstgui/lib/platform/linux/cairocontext.h"

namespace b2 {

using namespace VSTGUI;

namespace {

uint64_t as_arg(const void* p) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)); }

// What the frame's idle hands to the window: the rectangles of the marked
// views, in window pixels. The pages lie at the frame's origin.
void collect_marked(const CViewContainer* container, const CGraphicsTransform& zoom, CInvalidRectList& out) {
    container->forEachChild([&](CView* view) {
        if (!view->isVisible() || !view->isDirty()) return;
        if (auto* inner = view->asViewContainer()) {
            collect_marked(inner, zoom, out);
            return;
        }
        CRect r = view->getViewSize();
        zoom.transform(r);
        out.add(r.makeIntegral());
        view->setDirty(false);  // handed on, as the view's invalidation does
    });
}

cairo_surface_t* new_surface(int width, int height) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) return s;
    cairo_surface_destroy(s);
    return nullptr;
}

// Draws `rects` of the frame into `surface`, one clipped pass per rectangle
// as the window system does; an empty list draws the whole frame.
void draw_into(cairo_surface_t* surface, CFrame* frame, const CInvalidRectList& rects) {
    const CRect all(0, 0, cairo_image_surface_get_width(surface), cairo_image_surface_get_height(surface));
    auto context = makeOwned<Cairo::Context>(all, Cairo::SurfaceHandle(cairo_surface_reference(surface)));
    context->beginDraw();
    auto pass = [&](const CRect& r) {
        context->setClipRect(r);
        context->saveGlobalState();
        frame->drawRect(context, r);
        context->restoreGlobalState();
    };
    if (rects.data().empty()) pass(all);
    for (const CRect& r : rects) pass(r);
    context->endDraw();
    cairo_surface_flush(surface);
}

}  // namespace

struct offscreen_ticks::impl {
    engine* e = nullptr;
    ui_editor* editor = nullptr;
    cairo_surface_t* surface = nullptr;
    double redrawn = 0.0;
    int ticks = 0;
};

offscreen_ticks::offscreen_ticks(engine* e, double zoom) : p(new impl) {
    init_offscreen_toolkit();
    p->e = e;
    p->editor = new ui_editor(e);
    // The editor's clock runs with the ticks, 33 ms each, whatever the real
    // time a tick takes here.
    impl* state = p.get();
    p->editor->set_meter_clock([state] { return state->ticks * static_cast<double>(kTimerPeriodMs); });
    if (!p->editor->build_offscreen(zoom)) return;
    p->editor->refresh_meters_now();
    const CRect size = p->editor->getFrame()->getViewSize();
    p->surface = new_surface(static_cast<int>(size.getWidth()), static_cast<int>(size.getHeight()));
    // Twice: the text buttons' very first drawing differs from every later
    // one by a grey level or two, which a picture compared with a later full
    // redraw must not keep.
    for (int pass = 0; pass < 2 && p->surface; ++pass) draw_into(p->surface, p->editor->getFrame(), CInvalidRectList());
}

offscreen_ticks::~offscreen_ticks() {
    if (p->surface) cairo_surface_destroy(p->surface);
    if (p->editor) {
        p->editor->close_offscreen();
        p->editor->forget();
    }
}

bool offscreen_ticks::ok() const { return p->surface != nullptr; }

int offscreen_ticks::tick() {
    if (!ok()) return 0;
    ui_editor* ed = p->editor;
    ++p->ticks;
    // The steps of the editor's timer tick.
    propagate_pending(p->e);
    ed->refresh_controls(false);
    ed->refresh_meters_now();
    ed->push_edited_values();
    if (p->e)
        call_hook(SIDE_EDITOR, p->e, HOOK_TICK_END, as_arg(p->e), as_arg(static_cast<ui_editor_base*>(ed)), 0, 0);
    // The frame's idle, then the window's redraw of what it invalidated.
    CFrame* frame = ed->getFrame();
    CInvalidRectList rects;
    collect_marked(frame, frame->getTransform(), rects);
    p->redrawn = 0.0;
    for (const CRect& r : rects) p->redrawn += r.getWidth() * r.getHeight();
    if (!rects.data().empty()) draw_into(p->surface, frame, rects);
    return static_cast<int>(rects.data().size());
}

double offscreen_ticks::redrawn_pixels() const { return p->redrawn; }

bool offscreen_ticks::matches_full_redraw() const {
    if (!ok()) return false;
    const int w = cairo_image_surface_get_width(p->surface);
    const int h = cairo_image_surface_get_height(p->surface);
    cairo_surface_t* full = new_surface(w, h);
    if (!full) return false;
    draw_into(full, p->editor->getFrame(), CInvalidRectList());
    const int stride = cairo_image_surface_get_stride(full);
    const bool same = stride == cairo_image_surface_get_stride(p->surface) &&
                      std::memcmp(cairo_image_surface_get_data(full), cairo_image_surface_get_data(p->surface),
                                  static_cast<size_t>(stride) * static_cast<size_t>(h)) == 0;
    cairo_surface_destroy(full);
    return same;
}

}  // namespace b2
