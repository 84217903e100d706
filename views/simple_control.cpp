#include "views/simple_control.h"

#include <random>

#include "vstgui/lib/cdrawcontext.h"

namespace VSTGUI {
namespace {

// Uniform integer in [lo, hi]; the views live on the UI thread only.
int randomInt(int lo, int hi) {
    static std::minstd_rand generator{std::random_device{}()};
    return std::uniform_int_distribution<int>(lo, hi)(generator);
}

CColor randomHue() {
    CColor color;
    color.fromHSL(randomInt(0, 360), 1.0, 0.5);
    color.alpha = 255;
    return color;
}

}  // namespace

CSimple::CSimple(const CRect& size) : CControl(size, nullptr, 0, nullptr) { setWantsIdle(true); }

// A copy starts without a wheel gesture of its own.
CSimple::CSimple(const CSimple& other)
    : CControl(other),
      CMouseWheelEditingSupport(),
      idleCount(other.idleCount),
      lastPoint(other.lastPoint),
      startValue(other.startValue),
      dragDelta(other.dragDelta) {}

void CSimple::draw(CDrawContext* context) {
    context->setLineStyle(kLineSolid);
    context->setLineWidth(1);
    const CColor frame = randomHue();
    const CColor fill = randomHue();
    const CRect& r = getViewSize();
    context->setFrameColor(frame);
    context->drawRect(r, kDrawStroked);
    context->setFillColor(fill);
    const double v = getValueNormalized();
    context->drawRect(CRect(r.left, r.top + (r.bottom - r.top) * (1. - v), r.right, r.bottom), kDrawFilled);
    setDirty(false);
}

void CSimple::onIdle() {
    // Repaints in new colours at random intervals of 20 to 39 idle calls.
    const uint32_t n = idleCount++;
    const int d = randomInt(20, 39);
    if (n % static_cast<uint32_t>(d) == 0) invalid();
}

CMouseEventResult CSimple::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    // A click ends a wheel gesture still in progress.
    invalidMouseWheelEditTimer(this);
    beginEdit();
    if (checkDefaultValue(buttons)) {
        endEdit();
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    lastPoint = where;
    startValue = value;
    dragDelta = 0.f;
    return onMouseMoved(where, buttons);
}

CMouseEventResult CSimple::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton() || !isEditing()) return kMouseEventNotHandled;
    // Right or up raises the value; the full view height is 1.
    const double height = getViewSize().getHeight();
    double delta = height > 0. ? ((where.x - lastPoint.x) + (lastPoint.y - where.y)) / height : 0.;
    if (buttons & kZoomModifier) delta *= 0.01;
    lastPoint = where;
    // The sum is not clamped: after an overshoot the pointer has to come back
    // before the value moves again.
    dragDelta += static_cast<float>(delta);
    value = startValue + dragDelta;
    bounceValue();
    if (value != getOldValue()) valueChanged();
    if (isDirty()) invalid();
    return kMouseEventHandled;
}

CMouseEventResult CSimple::onMouseUp(CPoint& where, const CButtonState& buttons) {
    if (isEditing()) endEdit();
    return kMouseEventHandled;
}

CMouseEventResult CSimple::onMouseCancel() {
    if (isEditing()) {
        value = startValue;
        if (isDirty()) {
            valueChanged();
            invalid();
        }
        endEdit();
    }
    return kMouseEventHandled;
}

bool CSimple::onWheel(const CPoint& where, const CMouseWheelAxis& axis, const float& distance,
                      const CButtonState& buttons) {
    onMouseWheelEditing(this);
    float step = getWheelInc() * distance;
    if (buttons & kZoomModifier) step *= 0.1f;
    setValueNormalized(getValueNormalized() + step);
    if (isDirty()) {
        invalid();
        valueChanged();
    }
    return true;
}

}  // namespace VSTGUI
