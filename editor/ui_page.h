// A page of the editor: a view container that shows every wheel event to the
// editor (for the status line) before its views get it.
#pragma once

#include "vstgui/lib/cviewcontainer.h"

namespace b2 {

class wheel_observer {
public:
    virtual ~wheel_observer() = default;
    // `where` in the page's parent coordinates: the frame's unzoomed ones.
    virtual void mouse_wheel(const VSTGUI::CPoint& where, const VSTGUI::CButtonState& buttons) = 0;
};

class ui_page : public VSTGUI::CViewContainer {
public:
    ui_page(const VSTGUI::CRect& size, wheel_observer* observer) : CViewContainer(size), observer(observer) {}

    bool onWheel(const VSTGUI::CPoint& where, const VSTGUI::CMouseWheelAxis& axis, const float& distance,
                 const VSTGUI::CButtonState& buttons) override {
        if (observer) observer->mouse_wheel(where, buttons);
        return CViewContainer::onWheel(where, axis, distance, buttons);
    }

private:
    wheel_observer* observer;
};

}  // namespace b2
