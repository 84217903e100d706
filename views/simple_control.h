// CSimple: a minimal value control, a bar filling the view from the bottom,
// edited by dragging or with the mouse wheel.
#pragma once

#include <cstdint>

#include "vstgui/lib/controls/ccontrol.h"

namespace VSTGUI {

class CSimple : public CControl, public CMouseWheelEditingSupport {
public:
    explicit CSimple(const CRect& size);
    CSimple(const CSimple& other);

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseCancel() override;
    bool onWheel(const CPoint& where, const CMouseWheelAxis& axis, const float& distance,
                 const CButtonState& buttons) override;
    void onIdle() override;

    CLASS_METHODS(CSimple, CControl)

protected:
    ~CSimple() noexcept override = default;

    uint32_t idleCount = 0;
    CPoint lastPoint;
    float startValue = 0.f;  // the value when the drag began
    float dragDelta = 0.f;   // drag movement since then, in value units, not clamped
};

}  // namespace VSTGUI
