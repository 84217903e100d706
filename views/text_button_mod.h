// CTextButtonMod: a push button with a text caption, a rounded gradient body
// and a thin outline; momentary (kick) or toggle (on/off).
#pragma once

#include <cstdint>

#include "vstgui/lib/cbitmap.h"
#include "vstgui/lib/ccolor.h"
#include "vstgui/lib/cdrawmethods.h"
#include "vstgui/lib/cfont.h"
#include "vstgui/lib/cgradient.h"
#include "vstgui/lib/cgraphicspath.h"
#include "vstgui/lib/controls/ccontrol.h"
#include "vstgui/lib/cstring.h"

namespace VSTGUI {

class CTextButtonMod : public CControl {
public:
    enum Style : int32_t {
        kKickStyle = 0,   // max while pressed, back to min on release
        kOnOffStyle = 1,  // each click toggles
    };

    CTextButtonMod(const CRect& size, IControlListener* listener = nullptr, int32_t tag = -1,
                   UTF8StringPtr title = nullptr, Style style = kKickStyle);

    virtual void setTitle(const UTF8String& newTitle);
    virtual void setFont(CFontRef newFont);
    virtual void setTextColor(const CColor& color);
    virtual void setTextColorHighlighted(const CColor& color);
    virtual void setGradient(CGradient* newGradient);
    virtual void setGradientHighlighted(CGradient* newGradient);
    virtual void setFrameColor(const CColor& color);
    virtual void setFrameColorHighlighted(const CColor& color);
    virtual void setFrameWidth(CCoord width);
    virtual void setRoundRadius(CCoord radius);
    virtual void setStyle(Style newStyle);
    virtual void setIcon(CBitmap* bitmap);
    virtual void setIconHighlighted(CBitmap* bitmap);
    virtual void setIconPosition(CDrawMethods::IconPosition position);
    virtual void setTextMargin(CCoord margin);
    virtual void setTextAlignment(CHoriTxtAlign alignment);

    const UTF8String& getTitle() const { return title; }
    CFontRef getFont() const { return font; }
    const CColor& getTextColor() const { return textColor; }
    const CColor& getTextColorHighlighted() const { return textColorHighlighted; }
    CGradient* getGradient() const { return gradient; }
    CGradient* getGradientHighlighted() const { return gradientHighlighted; }
    const CColor& getFrameColor() const { return frameColor; }
    const CColor& getFrameColorHighlighted() const { return frameColorHighlighted; }
    CCoord getFrameWidth() const { return frameWidth; }
    CCoord getRoundRadius() const { return roundRadius; }
    Style getStyle() const { return style; }
    CBitmap* getIcon() const { return icon; }
    CBitmap* getIconHighlighted() const { return iconHighlighted; }
    CDrawMethods::IconPosition getIconPosition() const { return iconPosition; }
    CCoord getTextMargin() const { return textMargin; }
    CHoriTxtAlign getTextAlignment() const { return textAlignment; }

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseCancel() override;
    int32_t onKeyDown(VstKeyCode& keyCode) override;
    void setViewSize(const CRect& rect, bool invalid = true) override;
    bool sizeToFit() override;
    bool removed(CView* parent) override;
    bool getFocusPath(CGraphicsPath& outPath) override;

    CLASS_METHODS(CTextButtonMod, CControl)

protected:
    ~CTextButtonMod() noexcept override = default;

private:
    bool highlighted() const { return value == getMax(); }
    CGraphicsPath* outlinePath(CDrawContext* context, CCoord lineWidth);
    CBitmap* iconToDraw(bool highlight) const;

    SharedPointer<CFontDesc> font;
    SharedPointer<CGraphicsPath> path;  // cached outline, rebuilt after size or radius changes
    SharedPointer<CBitmap> icon;
    SharedPointer<CBitmap> iconHighlighted;
    SharedPointer<CGradient> gradient;
    SharedPointer<CGradient> gradientHighlighted;
    CColor textColor{0, 0, 0, 255};
    CColor frameColor{0, 0, 0, 255};
    CColor textColorHighlighted{255, 255, 255, 255};
    CColor frameColorHighlighted{0, 0, 0, 255};
    CCoord frameWidth = 1.;
    CCoord roundRadius = 6.;
    CCoord textMargin = 0.;
    CHoriTxtAlign textAlignment = kCenterText;
    CDrawMethods::IconPosition iconPosition = CDrawMethods::kIconLeft;
    Style style;
    UTF8String title;
    float entryState = 0.f;  // the value when the mouse went down
};

}  // namespace VSTGUI
