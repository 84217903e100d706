// The Windows drawing of offscreen_picture.h: the toolkit's offscreen context
// (a Direct2D render target on a WIC bitmap), read back through pixel access.
#include "editor/offscreen_picture.h"
#include "editor/rgba_png.h"
#include "editor/ui_editor.h"
#include "vstgui/lib/cbitmap.h"
#include "vstgui/lib/coffscreencontext.h"
#include "vstgui/lib/platform/win32/direct2d/d2ddrawcontext.h"
#include "vstgui/lib/vstguiinit.h"
// After the toolkit's headers, which set up the Windows headers their way.
#include <windows.h>
#include <objbase.h>

namespace b2 {

using namespace VSTGUI;

struct offscreen_editor::impl {
    ui_editor* editor = nullptr;
    SharedPointer<CBitmap> bitmap;  // the last drawing
    int width = 0, height = 0;
    bool built = false;
};

namespace {
// VSTGUI needs its global set-up once per process (a plug-in gets it from the
// module entry), and WIC needs COM on the drawing thread.
void init_toolkit() {
    static const bool done = (CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED),
                              VSTGUI::init(GetModuleHandleW(nullptr)), true);
    (void)done;
}
}  // namespace

offscreen_editor::offscreen_editor(engine* e, double zoom) : p(new impl) {
    init_toolkit();
    p->editor = new ui_editor(e);
    if (!p->editor->build_offscreen(zoom)) return;
    p->built = true;
    p->editor->refresh_meters_now();
    const CRect size = p->editor->getFrame()->getViewSize();
    p->width = static_cast<int>(size.getWidth());
    p->height = static_cast<int>(size.getHeight());
}

offscreen_editor::~offscreen_editor() {
    p->bitmap = nullptr;
    if (p->editor) {
        p->editor->close_offscreen();
        p->editor->forget();
    }
}

bool offscreen_editor::ok() const { return p->built && p->width > 0 && p->height > 0; }
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
    p->bitmap = nullptr;
    if (!ok()) return;
    CFrame* frame = p->editor->getFrame();
    auto context = COffscreenContext::create(CPoint(p->width, p->height));
    // Without a render target (Direct2D could not make one on the bitmap, as
    // under Wine without a display) the toolkit's text drawing would crash.
    auto* d2d = dynamic_cast<D2DDrawContext*>(context.get());
    if (!d2d || !d2d->getRenderTarget()) return;
    context->beginDraw();
    frame->drawRect(context, frame->getViewSize());
    context->endDraw();
    p->bitmap = context->getBitmap();
}

std::vector<uint8_t> offscreen_editor::rgba() const {
    std::vector<uint8_t> out;
    if (!p->bitmap) return out;
    auto access = owned(CBitmapPixelAccess::create(p->bitmap, false));
    if (!access || static_cast<int>(access->getBitmapWidth()) != p->width ||
        static_cast<int>(access->getBitmapHeight()) != p->height)
        return out;
    out.reserve(static_cast<size_t>(p->width) * p->height * 4);
    for (uint32_t y = 0; y < static_cast<uint32_t>(p->height); ++y)
        for (uint32_t x = 0; x < static_cast<uint32_t>(p->width); ++x) {
            CColor c;
            access->setPosition(x, y);
            access->getColor(c);
            out.insert(out.end(), {c.red, c.green, c.blue, c.alpha});
        }
    return out;
}

}  // namespace b2
