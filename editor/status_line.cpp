// The status line: what the view under the mouse stands for and its value,
// or the engine's status message while it lasts.
#include <cstdio>

#include "editor/ui_editor_base.h"
#include "engine/engine.h"
#include "engine/script_bridge.h"
#include "engine/value_format.h"
#include "vstgui/lib/controls/ctextlabel.h"

namespace b2 {

using namespace VSTGUI;

namespace {

uint64_t as_arg(const void* p) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)); }

constexpr uint32_t kAnyMouseButton = 0xE;  // left, middle, right

// A printf-style expansion limited to "%%" (a percent sign) and "%s" (`arg`,
// or nothing without one); any other character, "%" included, is copied.
// Table texts are data, so they never reach a real printf as a format.
void expand(char* out, size_t size, const char* format, const char* arg) {
    size_t n = 0;
    auto put = [&](char c) {
        if (n + 1 < size) out[n++] = c;
    };
    for (const char* p = format; *p; ++p) {
        if (p[0] == '%' && p[1] == '%') {
            put('%');
            ++p;
        } else if (p[0] == '%' && p[1] == 's') {
            for (const char* a = arg ? arg : ""; *a; ++a) put(*a);
            ++p;
        } else {
            put(*p);
        }
    }
    out[n] = 0;
}

CMouseEventResult as_mouse_result(int64_t r) {
    // A failed or missing hook (0) lets the event go on, like "not handled".
    switch (r) {
        case kMouseEventHandled:
        case kMouseDownEventHandledButDontNeedMovedOrUpEvents:
        case kMouseMoveEventHandledButDontNeedMoreEvents:
            return static_cast<CMouseEventResult>(r);
        default:
            return kMouseEventNotHandled;
    }
}

}  // namespace

void ui_editor_base::onMouseEntered(CView* view, CFrame* f) { hook(HOOK_MOUSE_ENTERED, as_arg(view), as_arg(f), 0); }
void ui_editor_base::onMouseExited(CView* view, CFrame* f) { hook(HOOK_MOUSE_EXITED, as_arg(view), as_arg(f), 0); }

CMouseEventResult ui_editor_base::onMouseMoved(CFrame* f, const CPoint& where, const CButtonState& buttons) {
    return mouse_event(HOOK_MOUSE_MOVED, f, where, buttons);
}

CMouseEventResult ui_editor_base::onMouseDown(CFrame* f, const CPoint& where, const CButtonState& buttons) {
    return mouse_event(HOOK_MOUSE_DOWN, f, where, buttons);
}

// The frame hands observers the point in its unzoomed coordinates; the grip
// works on the point as the frame received it, and while it drags the views
// see nothing.
CMouseEventResult ui_editor_base::mouse_event(int64_t code, CFrame* f, const CPoint& where,
                                              const CButtonState& buttons) {
    if (f) {
        CPoint zoomed(where);
        f->getTransform().transform(zoomed);
        if (early_mouse(zoomed, buttons) == kMouseEventHandled) return kMouseEventHandled;
    }
    return as_mouse_result(hook(code, as_arg(f), as_arg(&where), as_arg(&buttons)));
}

void ui_editor_base::mouse_wheel(const CPoint& where, const CButtonState& buttons) {
    if (frame) update_status(frame, &where, &buttons);
}

void ui_editor_base::update_status(CFrame* f, const CPoint* where, const CButtonState* buttons) {
    if (!f || !where) return;
    CPoint p(*where);
    const CRect& size = f->getViewSize();
    p.offset(size.left, size.top);
    f->getTransform().transform(p);
    CView* found = f->getViewAt(p, GetViewOptions().deep());

    CView* subject = found;
    if (buttons && (buttons->getButtonState() & kAnyMouseButton)) {
        if (!capture_view) capture_view = found;
        subject = capture_view;
    } else {
        capture_view = nullptr;
    }

    char value[kStatusTextSize] = "";
    char format[kStatusTextSize] = "";
    char status[kStatusTextSize] = "";
    if (subject) {
        if (auto* control = dynamic_cast<CControl*>(subject)) {
            const int id = static_cast<int>(static_cast<uint32_t>(control->getTag()) & kTagIdMask);
            if (id < kParamCount)
                format_value(id, to_plain(id, control->getValueNormalized()), value);
            else
                std::snprintf(value, sizeof value, "%.3f", static_cast<double>(control->getValue()));
        }
        if (const ui_element* el = record_of(subject)) {
            if (el->label) {
                expand(format, sizeof format, el->label, nullptr);
            } else if (el->param) {
                expand(format, sizeof format, "%s: %%s", el->param->name);
            } else {
                std::snprintf(format, sizeof format, "[0x%x]: %%s", el->kind | el->id);
            }
        }
        expand(status, sizeof status, format, value);
    }

    auto* line = dynamic_cast<CTextLabel*>(status_view());
    if (!line) return;
    line->setText(status);
    if (engine_ref && engine_ref->status_time > 0)
        line->setText(engine_ref->status_message ? engine_ref->status_message : "");
}

void ui_editor_base::status_tick(bool countdown) {
    auto* line = dynamic_cast<CTextLabel*>(status_view());
    if (!engine_ref || !line || !(engine_ref->status_time > 0)) return;
    line->setText(engine_ref->status_message ? engine_ref->status_message : "");
    if (countdown) engine_ref->status_time -= static_cast<float>(kTimerPeriodMs);
    if (engine_ref->status_time <= 0) line->setText("");
}

}  // namespace b2
