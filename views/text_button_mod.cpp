#include "views/text_button_mod.h"

#include "vstgui/lib/cdrawcontext.h"
#include "vstgui/lib/cframe.h"
#include "vstgui/lib/platform/iplatformfont.h"
#include "vstgui/lib/vstkeycode.h"

namespace VSTGUI {

CTextButtonMod::CTextButtonMod(const CRect& size, IControlListener* listener, int32_t tag,
                               UTF8StringPtr title, Style style)
    : CControl(size, listener, tag, nullptr),
      font(kSystemFont),
      gradient(owned(CGradient::create(0, 1, CColor(220, 220, 220, 255), CColor(180, 180, 180, 255)))),
      gradientHighlighted(
          owned(CGradient::create(0, 1, CColor(180, 180, 180, 255), CColor(100, 100, 100, 255)))),
      style(style),
      title(title ? title : "") {
    setWantsFocus(true);
}

// Setters of drawn properties redraw the button.

void CTextButtonMod::setTitle(const UTF8String& newTitle) {
    title = newTitle;
    invalid();
}

void CTextButtonMod::setFont(CFontRef newFont) {
    font = newFont;
    invalid();
}

void CTextButtonMod::setTextColor(const CColor& color) {
    textColor = color;
    invalid();
}

void CTextButtonMod::setTextColorHighlighted(const CColor& color) {
    textColorHighlighted = color;
    invalid();
}

void CTextButtonMod::setGradient(CGradient* newGradient) {
    gradient = newGradient;
    invalid();
}

void CTextButtonMod::setGradientHighlighted(CGradient* newGradient) {
    gradientHighlighted = newGradient;
    invalid();
}

void CTextButtonMod::setFrameColor(const CColor& color) {
    frameColor = color;
    invalid();
}

void CTextButtonMod::setFrameColorHighlighted(const CColor& color) {
    frameColorHighlighted = color;
    invalid();
}

void CTextButtonMod::setFrameWidth(CCoord width) {
    frameWidth = width;
    invalid();
}

void CTextButtonMod::setRoundRadius(CCoord radius) {
    roundRadius = radius;
    path = nullptr;
    invalid();
}

void CTextButtonMod::setStyle(Style newStyle) { style = newStyle; }

void CTextButtonMod::setIcon(CBitmap* bitmap) {
    if (icon == bitmap) return;
    icon = bitmap;
    invalid();
}

void CTextButtonMod::setIconHighlighted(CBitmap* bitmap) {
    if (iconHighlighted == bitmap) return;
    iconHighlighted = bitmap;
    invalid();
}

void CTextButtonMod::setIconPosition(CDrawMethods::IconPosition position) {
    if (iconPosition == position) return;
    iconPosition = position;
    invalid();
}

void CTextButtonMod::setTextMargin(CCoord margin) {
    if (textMargin == margin) return;
    textMargin = margin;
    invalid();
}

void CTextButtonMod::setTextAlignment(CHoriTxtAlign alignment) {
    if (textAlignment == alignment) return;
    textAlignment = alignment;
    invalid();
}

CGraphicsPath* CTextButtonMod::outlinePath(CDrawContext* context, CCoord lineWidth) {
    if (!path) {
        CRect r = getViewSize();
        r.inset(lineWidth / 2., lineWidth / 2.);
        path = owned(context->createRoundRectGraphicsPath(r, roundRadius));
    }
    return path;
}

CBitmap* CTextButtonMod::iconToDraw(bool highlight) const {
    if (!getMouseEnabled() && getDisabledBackground()) return getDisabledBackground();
    if (highlight) return iconHighlighted ? iconHighlighted : icon;
    return icon ? icon : iconHighlighted;
}

void CTextButtonMod::draw(CDrawContext* context) {
    const bool highlight = highlighted();
    CCoord lineWidth = frameWidth;
    if (lineWidth < 0.) lineWidth = context->getHairlineSize();
    context->setDrawMode(kAntiAliasing);
    context->setLineWidth(lineWidth);
    context->setLineStyle(CLineStyle(CLineStyle::kLineCapRound, CLineStyle::kLineJoinRound));
    context->setFrameColor(highlight ? frameColorHighlighted : frameColor);

    CRect inner = getViewSize();
    inner.inset(lineWidth / 2., lineWidth / 2.);
    // Body and outline need both gradients; with either missing neither is drawn.
    if (gradient && gradientHighlighted) {
        if (CGraphicsPath* outline = outlinePath(context, lineWidth)) {
            context->fillLinearGradient(outline, highlight ? *gradientHighlighted : *gradient,
                                        inner.getTopLeft(), inner.getBottomLeft(), false);
            context->drawGraphicsPath(outline, CDrawContext::kPathStroked);
        }
    }
    CDrawMethods::drawIconAndText(context, iconToDraw(highlight), iconPosition, textAlignment, textMargin,
                                  inner, title, font, highlight ? textColorHighlighted : textColor,
                                  CDrawMethods::kTextTruncateNone);
    setDirty(false);
}

CMouseEventResult CTextButtonMod::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!(buttons & kLButton)) return kMouseEventNotHandled;
    entryState = value;
    beginEdit();
    return onMouseMoved(where, buttons);
}

CMouseEventResult CTextButtonMod::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!isEditing()) return kMouseEventNotHandled;
    const CRect& r = getViewSize();
    const bool inside = where.x >= r.left && where.y >= r.top && where.x <= r.right && where.y <= r.bottom;
    const bool fromMin = entryState == getMin();
    // Inside the button shows the pressed state, outside the state it had.
    if (inside)
        value = fromMin ? getMax() : getMin();
    else
        value = fromMin ? getMin() : getMax();
    if (isDirty()) invalid();
    return kMouseEventHandled;
}

CMouseEventResult CTextButtonMod::onMouseUp(CPoint& where, const CButtonState& buttons) {
    if (!isEditing()) return kMouseEventHandled;
    // Released outside, the value is back at its entry state: nothing to report.
    if (value != entryState) {
        valueChanged();
        if (style == kKickStyle) {
            value = getMin();
            valueChanged();
        }
        if (isDirty()) invalid();
    }
    endEdit();
    return kMouseEventHandled;
}

CMouseEventResult CTextButtonMod::onMouseCancel() {
    if (isEditing()) {
        value = entryState;
        if (isDirty()) invalid();
        endEdit();
    }
    return kMouseEventHandled;
}

int32_t CTextButtonMod::onKeyDown(VstKeyCode& keyCode) {
    if (keyCode.modifier != 0 || keyCode.virt != VKEY_RETURN) return -1;
    if (style == kKickStyle) {
        // The whole press and release happen on key down.
        if (value != getMax()) {
            beginEdit();
            value = getMax();
            invalid();
            valueChanged();
            value = getMin();
            invalid();
            valueChanged();
            endEdit();
        }
    } else {
        beginEdit();
        value = value == getMin() ? getMax() : getMin();
        invalid();
        valueChanged();
        endEdit();
    }
    return 1;
}

void CTextButtonMod::setViewSize(const CRect& rect, bool invalid) {
    path = nullptr;
    CControl::setViewSize(rect, invalid);
}

bool CTextButtonMod::removed(CView* parent) {
    path = nullptr;
    return CControl::removed(parent);
}

bool CTextButtonMod::sizeToFit() {
    if (title.empty() || !font) return false;
    const IFontPainter* painter = font->getFontPainter();
    if (!painter) return false;
    CRect fit = getViewSize();
    fit.right = fit.left + (roundRadius + 1.) * 4.;
    fit.right += painter->getStringWidth(nullptr, title.getPlatformString(), true);
    setViewSize(fit, true);
    setMouseableArea(fit);
    return true;
}

bool CTextButtonMod::getFocusPath(CGraphicsPath& outPath) {
    // The focus ring is the band between the view's outline widened by the
    // frame's focus width and the outline itself; a button that is not in a
    // frame has no focus to show.
    CFrame* frame = getFrame();
    if (!frame) return false;
    CRect r = getViewSize();
    const CCoord focusWidth = frame->getFocusWidth();
    r.inset(-focusWidth, -focusWidth);
    outPath.addRoundRect(r, roundRadius);
    outPath.closeSubpath();
    outPath.addRoundRect(getViewSize(), roundRadius);
    return true;
}

}  // namespace VSTGUI
