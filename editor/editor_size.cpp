// Window size, zoom, the editor's own resize grip and the keyboard hook.
#include <algorithm>

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
constexpr CCoord kGripSize = 20;
}  // namespace

Steinberg::tresult PLUGIN_API ui_editor_base::getSize(ViewRect* size) {
    if (!size) return kResultFalse;
    return VSTGUIEditor::getSize(size);
}

Steinberg::tresult PLUGIN_API ui_editor_base::checkSizeConstraint(ViewRect* r) {
    if (!r) return kResultFalse;
    double h = static_cast<double>(r->bottom - r->top);
    h = std::min(h, kMaxHeight);
    h = std::max(h, kMinHeight);
    r->right = r->left + static_cast<Steinberg::int32>(h * kAspect);
    r->bottom = r->top + static_cast<Steinberg::int32>(h);
    return kResultOk;
}

Steinberg::tresult PLUGIN_API ui_editor_base::canResize() {
    host_asked_can_resize = 1;
    return host_is_element ? kResultFalse : kResultTrue;
}

Steinberg::tresult PLUGIN_API ui_editor_base::onSize(ViewRect* newSize) {
    if (!newSize) return kResultFalse;
    if (!frame)
        *newSize = ViewRect(0, 0, kEditorWidth, kEditorHeight);
    else
        frame->setZoom(newSize->bottom * kZoomPerPixel);
    return VSTGUIEditor::onSize(newSize);
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
    const bool in_grip = r.right - kGripSize <= where.x && where.x <= r.right && r.bottom - kGripSize <= where.y &&
                         where.y <= r.bottom;
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
