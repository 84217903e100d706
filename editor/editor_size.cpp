// Window size, zoom, the host's display scale, the editor's own resize grip
// and the keyboard hook.
//
// The window's height is 620 x the user's zoom x the display scale; the
// frame's zoom is the window height / 620, so the pages, always laid out at
// 214 x 620, fill the window at any size.
#include <algorithm>
#include <cmath>

#include "editor/ui_editor_base.h"

namespace b2 {

using namespace VSTGUI;
using Steinberg::kResultFalse;
using Steinberg::kResultOk;
using Steinberg::kResultTrue;

namespace {
constexpr double kAspect = 0.34516129032258064;   // 214 / 620
constexpr double kZoomPerPixel = 0.0016129032258064516;  // 1 / 620
constexpr double kMinHeight = 310;
constexpr double kMaxHeight = 3100;
constexpr CCoord kGripSize = 20;  // window pixels at display scale 1
constexpr float kMinContentScale = 1.0f;
constexpr float kMaxContentScale = 4.0f;
constexpr double kHeightCeiling = 1e6;  // keeps a wild zoom inside 32 bits before the limits apply

// The aspect and the height limits of a window at display scale `scale`.
void constrain(Steinberg::ViewRect* r, double scale) {
    double h = static_cast<double>(r->bottom - r->top);
    h = std::min(h, kMaxHeight * scale);
    h = std::max(h, kMinHeight * scale);
    r->right = r->left + static_cast<Steinberg::int32>(h * kAspect);
    r->bottom = r->top + static_cast<Steinberg::int32>(h);
}
}  // namespace

Steinberg::tresult PLUGIN_API ui_editor_base::getSize(ViewRect* size) {
    if (!size) return kResultFalse;
    return VSTGUIEditor::getSize(size);
}

Steinberg::tresult PLUGIN_API ui_editor_base::checkSizeConstraint(ViewRect* r) {
    if (!r) return kResultFalse;
    constrain(r, content_scale);
    return kResultOk;
}

Steinberg::tresult PLUGIN_API ui_editor_base::canResize() {
    host_asked_can_resize = 1;
    return host_is_element ? kResultFalse : kResultTrue;
}

// Before open the editor keeps its size: the host learns the size the
// window will open at. An open window takes the new size, and its height
// becomes the user's zoom unless it is the size the zoom already gives.
Steinberg::tresult PLUGIN_API ui_editor_base::onSize(ViewRect* newSize) {
    if (!newSize) return kResultFalse;
    ++size_calls;
    if (!frame) {
        *newSize = scaled_size();
    } else {
        const Steinberg::int32 h = newSize->getHeight();
        if (h > 0 && h != scaled_size().getHeight()) user_zoom = h / (kEditorHeight * content_scale);
        if (h > 0) frame->setZoom(h * kZoomPerPixel);
    }
    return VSTGUIEditor::onSize(newSize);
}

Steinberg::tresult PLUGIN_API ui_editor_base::setContentScaleFactor(ScaleFactor factor) {
    if (!(factor >= kMinContentScale && factor <= kMaxContentScale)) return kResultFalse;  // NaN too
    if (factor == content_scale) return kResultTrue;
    content_scale = factor;
    grip_active = 0;  // a drag measured at the old scale ends
    if (!frame) {
        rect = scaled_size();
        return kResultTrue;
    }
    // The host resizes its window and calls onSize. A host that agrees
    // without calling back still gets the editor at the new size. One that
    // refuses keeps its window: the frame keeps the size and zoom that fit
    // it, and the user's zoom stays as it was, so the next size the host
    // gives or the next factor sets it right.
    const uint32_t calls = size_calls;
    ViewRect wanted = scaled_size();
    const tresult asked = plugFrame ? plugFrame->resizeView(this, &wanted) : kResultOk;
    if (size_calls == calls && asked == kResultOk) {
        ViewRect own = scaled_size();
        onSize(&own);
    }
    return kResultTrue;
}

Steinberg::ViewRect ui_editor_base::scaled_size() const {
    const double h = std::round(kEditorHeight * user_zoom * content_scale);
    ViewRect r(0, 0, 0, static_cast<Steinberg::int32>(std::min(h, kHeightCeiling)));
    constrain(&r, content_scale);
    return r;
}

void ui_editor_base::fit_frame(const ViewRect& size) {
    const CCoord w = size.getWidth(), h = size.getHeight();
    if (h <= 0 || w <= 0) return;
    if (h != kEditorHeight) frame->setZoom(h * kZoomPerPixel);
    frame->setSize(w, h);
}

// The grip: a drag that starts in the 20 x 20 pixels of the bottom-right
// corner resizes the frame, keeping the aspect. Hosts that resize the window
// themselves (they asked canResize) get no grip.
CMouseEventResult ui_editor_base::early_mouse(const CPoint& where, const CButtonState& buttons) {
    if (host_asked_can_resize && !host_is_element) return kMouseEventNotImplemented;
    if (!frame) return kMouseEventNotImplemented;
    run_grip(where, (buttons.getButtonState() & kLButton) != 0);
    if (!grip_active) return kMouseEventNotImplemented;

    ViewRect n(0, 0, static_cast<Steinberg::int32>(where.x - grip_start_point.x) + grip_start_width,
               static_cast<Steinberg::int32>(where.y - grip_start_point.y) + grip_start_height);
    checkSizeConstraint(&n);
    rect = n;
    frame->setSize(n.right, n.bottom);
    onSize(&n);
    return kMouseEventHandled;
}

void ui_editor_base::run_grip(const CPoint& where, bool left) {
    const CRect r = frame->getViewSize();
    const CCoord grip = kGripSize * content_scale;  // the same corner of the picture at any display scale
    const bool in_grip =
        r.right - grip <= where.x && where.x <= r.right && r.bottom - grip <= where.y && where.y <= r.bottom;
    if (in_grip) {
        set_cursor(kCursorNWSESize);
        if (left && !grip_button_down && !grip_active) {
            grip_active = 1;
            grip_start_rect = r;
            grip_start_point = where;
            grip_start_width = static_cast<int32_t>(r.right - r.left);
            grip_start_height = static_cast<int32_t>(r.bottom - r.top);
        }
    } else {
        set_cursor(kCursorDefault);
    }
    if (!left && grip_button_down && grip_active) grip_active = 0;
    grip_button_down = left ? 1 : 0;
}

// Keys are left to the host: 0 from every hook makes the frame report the key
// as not handled, so no view gets it. (An open text entry on X11 registers a
// keyboard hook of its own, which is asked first.)
int32_t ui_editor_base::onKeyDown(const VstKeyCode&, CFrame*) { return 0; }
int32_t ui_editor_base::onKeyUp(const VstKeyCode&, CFrame*) { return 0; }

void ui_editor_base::set_cursor(CCursorType type) {
    cursor = type;
    frame->setCursor(type);
}

}  // namespace b2
