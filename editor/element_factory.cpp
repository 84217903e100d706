// The element factory: one VSTGUI view per layout record, tagged kind | id,
// with the editor as its listener.
#include <cstring>
#include <string>

#include "editor/ui_editor_base.h"
#include "engine/value_format.h"
#include "views/simple_control.h"
#include "views/text_button_mod.h"
#include "vstgui/lib/cgradient.h"
#include "vstgui/lib/controls/cbuttons.h"
#include "vstgui/lib/controls/cknob.h"
#include "vstgui/lib/controls/cmoviebitmap.h"
#include "vstgui/lib/controls/coptionmenu.h"
#include "vstgui/lib/controls/csegmentbutton.h"
#include "vstgui/lib/controls/cslider.h"
#include "vstgui/lib/controls/ctextedit.h"
#include "vstgui/lib/controls/ctextlabel.h"
#include "vstgui/lib/cviewcontainer.h"

namespace b2 {

using namespace VSTGUI;

namespace {

constexpr CColor kSliderFrame{90, 90, 90, 255};
constexpr CColor kSliderValue{100, 100, 100, 255};
constexpr CColor kEntryBack{40, 40, 40, 255};
constexpr CColor kButtonText{182, 182, 182, 255};
constexpr CColor kButtonTextHighlighted{220, 220, 220, 255};
constexpr CColor kButtonFrame{30, 30, 30, 255};

SharedPointer<CGradient> gradient(const CColor& from, const CColor& to) {
    return owned(CGradient::create(0.0, 1.0, from, to));
}

void style_slider(CSlider* slider) {
    slider->setDrawStyle(CSlider::kDrawBack | CSlider::kDrawValue);
    slider->setFrameColor(kSliderFrame);
    slider->setBackColor(palette::kReadoutBack);
    slider->setValueColor(kSliderValue);
}

// Calls `add` with the text of every entry of a menu or segment button: the
// parameter's values from trunc(min) to trunc(max), or the ";"-terminated
// pieces of the record's text.
template <typename Add>
void for_each_entry(const ui_element& el, Add add) {
    if (el.param) {
        const int first = static_cast<int>(el.param->minValue);
        const int last = static_cast<int>(el.param->maxValue);
        char text[kTextSize];
        for (int i = first; i <= last; ++i) {
            format_value(static_cast<int>(el.id), static_cast<float>(i), text);
            add(text);
        }
        return;
    }
    const size_t length = strnlen(el.text, sizeof el.text);
    size_t start = 0;
    for (size_t i = 0; i < length; ++i) {
        if (el.text[i] != ';') continue;
        add(std::string(el.text + start, i - start).c_str());
        start = i + 1;
    }
}

CControl* make_text_button(const ui_element& el) {
    auto* b = new CTextButtonMod(el.rect, nullptr, -1, nullptr, CTextButtonMod::kKickStyle);
    b->setTitle(el.text);
    b->setFont(kNormalFontSmall);
    b->setRoundRadius(4);
    if (el.style == 1) b->setStyle(CTextButtonMod::kOnOffStyle);
    b->setFrameWidth(0.5);
    b->setTextColor(kButtonText);
    b->setTextColorHighlighted(kButtonTextHighlighted);
    b->setFrameColor(kButtonFrame);
    b->setFrameColorHighlighted(kButtonFrame);
    b->setGradient(gradient(CColor(80, 80, 80, 255), CColor(60, 60, 60, 255)));
    b->setGradientHighlighted(gradient(CColor(110, 110, 110, 255), CColor(90, 90, 90, 255)));
    return b;
}

CControl* make_label(const ui_element& el, const char* text, const CColor& color, CHoriTxtAlign align) {
    auto* label = new CTextLabel(el.rect, text, nullptr, 0);
    label->setStyle(CParamDisplay::kNoFrame);
    label->setFont(kNormalFontSmall);
    label->setFontColor(color);
    label->setBackColor(palette::kBackground);
    label->setHoriAlign(align);
    return label;
}

// VSTGUI lays a segment button's segments out, and marks the selected one,
// only while the button is attached to an open frame, so a page drawn
// without a window (riser-meter's pictures) would show it empty. This is
// VSTGUI's own horizontal layout and single selection, which it redoes
// whenever the button is attached.
void lay_out_segments(CSegmentButton& b) {
    auto& segments = const_cast<CSegmentButton::Segments&>(b.getSegments());
    if (segments.empty()) return;
    const CCoord width = b.getWidth() / static_cast<CCoord>(segments.size());
    const uint32_t selected = b.getSelectedSegment();
    CRect r(b.getViewSize());
    r.setWidth(width);
    for (uint32_t i = 0; i < segments.size(); ++i) {
        segments[i].rect = r;
        segments[i].selected = i == selected;
        r.offset(width, 0);
    }
}

CControl* make_segment_button(const ui_element& el, IControlListener* listener) {
    auto* b = new CSegmentButton(el.rect, listener, static_cast<int32_t>(el.kind | el.id));
    b->setStyle(CSegmentButton::Style::kHorizontal);
    b->setFrameWidth(0.5);  // the hairline outline of the text buttons
    b->setFont(kNormalFontSmall);
    b->setTextColor(kButtonText);
    b->setTextColorHighlighted(kButtonTextHighlighted);
    b->setFrameColor(kButtonFrame);
    b->setGradient(gradient(CColor(80, 80, 80, 255), CColor(80, 80, 80, 255)));
    b->setGradientHighlighted(gradient(CColor(110, 110, 110, 255), CColor(110, 110, 110, 255)));
    for_each_entry(el, [b](const char* text) {
        CSegmentButton::Segment segment;
        segment.name = text;
        b->addSegment(std::move(segment));
    });
    lay_out_segments(*b);
    return b;
}

CControl* make_option_menu(const ui_element& el, IControlListener* listener) {
    auto* menu = new COptionMenu(el.rect, listener, static_cast<int32_t>(el.kind | el.id), nullptr, nullptr, 0);
    for_each_entry(el, [menu](const char* text) { menu->addEntry(text); });
    menu->setStyle(CParamDisplay::kRoundRectStyle | CParamDisplay::kNoFrame);
    menu->setRoundRectRadius(4);
    menu->setFont(kNormalFontSmall);
    menu->setFontColor(palette::kText);
    menu->setBackColor(kEntryBack);
    menu->setHoriAlign(kCenterText);
    return menu;
}

CControl* make_knob(const ui_element& el, IControlListener* listener) {
    auto* knob =
        new CKnob(el.rect, listener, static_cast<int32_t>(el.kind | el.id), nullptr, nullptr, CPoint(0, 0));
    knob->setZoomFactor(200);
    knob->setDrawStyle(0x62);  // corona, corona outline, butt line caps
    knob->setCoronaInset(2.5);
    knob->setHandleLineWidth(2);
    knob->setCoronaOutlineWidthAdd(2);
    return knob;
}

}  // namespace

void ui_editor_base::create_views() {
    for (uint32_t i = 0; i < element_count; ++i) {
        ui_element& el = elements[i];
        el.param = (el.id >= 1 && el.id < static_cast<uint32_t>(kParamCount)) ? param_def(static_cast<int>(el.id))
                                                                                 : nullptr;
        el.rect = CRect(el.x, el.y, el.x + el.w, el.y + el.h);
        CControl* view = create_custom_element(el);
        if (!view) view = create_element(el);
        if (!view) continue;
        view->setTag(static_cast<int32_t>(el.kind | el.id));
        view->setListener(this);
        // The reset gesture (modifier click) goes to the parameter's default,
        // in the control's normalised scale.
        if (el.param) view->setDefaultValue(to_normalized(static_cast<int>(el.id), el.param->defaultValue));
        if (el.page >= page_count || !pages[el.page]) {
            view->forget();
            continue;
        }
        el.view = view;
        pages[el.page]->addView(view);
    }
}

CControl* ui_editor_base::create_element(const ui_element& el) {
    const int32_t tag = static_cast<int32_t>(el.kind | el.id);
    switch (el.kind) {
        case UI_VSLIDER: {
            auto* s = new CVerticalSlider(el.rect, this, tag, 0, static_cast<int32_t>(el.rect.getHeight()), nullptr,
                                          nullptr, CPoint(0, 0), CSlider::kVertical | CSlider::kBottom);
            style_slider(s);
            s->setWheelInc(0.008333333767950535f);
            return s;
        }
        case UI_HSLIDER: {
            auto* s = new CHorizontalSlider(el.rect, this, tag, 0, static_cast<int32_t>(el.rect.getWidth()), nullptr,
                                            nullptr, CPoint(0, 0), CSlider::kHorizontal | CSlider::kLeft);
            style_slider(s);
            s->setWheelInc(0.015625f);
            s->setZoomFactor(100);
            return s;
        }
        case UI_TEXT_EDIT: {
            auto* edit = new CTextEdit(el.rect, nullptr, 0, nullptr, nullptr, 0);
            edit->setStyle(CParamDisplay::kRoundRectStyle | CParamDisplay::kNoFrame);
            edit->setRoundRectRadius(4);
            edit->setFont(kNormalFontSmall);
            edit->setFontColor(palette::kText);
            edit->setBackColor(kEntryBack);
            install_text_conversions(edit);
            edit->setHoriAlign(kCenterText);
            return edit;
        }
        case UI_TEXT_BUTTON:
            return make_text_button(el);
        case UI_KICK_BUTTON: {
            CBitmap* bitmap = el.style < IMAGE_SLOT_COUNT ? images[el.style].bitmap.get() : nullptr;
            return new CKickButton(el.rect, this, tag, bitmap, CPoint(0, 0));
        }
        case UI_LABEL: {
            const char* text = el.text[0] ? el.text : (el.param ? el.param->name : nullptr);
            return make_label(el, text, palette::kText, kRightText);
        }
        case UI_STATUS:
            return make_label(el, "", palette::kDimText, kLeftText);
        case UI_IMAGE: {
            const int n = static_cast<int8_t>(el.text[0]);
            const image_slot* slot = el.style < IMAGE_SLOT_COUNT ? &images[el.style] : nullptr;
            CRect r = el.rect;
            if (n == 0 && slot) {  // sized by the picture; an empty slot has none
                r.right = r.left + (slot->scale ? slot->width / slot->scale : 0);
                r.bottom = r.top + (slot->scale ? slot->height / slot->scale : 0);
            }
            auto* movie = new CMovieBitmap(r, this, 0, slot ? slot->bitmap.get() : nullptr, CPoint(0, 0));
            movie->setNumSubPixmaps(n > 0 ? n : 1);
            return movie;
        }
        case UI_MULTILINE_LABEL: {
            auto* label = new CMultiLineTextLabel(el.rect);
            label->setStyle(CParamDisplay::kNoFrame);
            label->setFont(kNormalFont);
            label->setFontColor(palette::kText);
            label->setBackColor(palette::kBackground);
            label->setHoriAlign(kCenterText);
            label->setLineLayout(CMultiLineTextLabel::LineLayout::wrap);
            label->setText(el.text);
            return label;
        }
        case UI_ONOFF_BUTTON: {
            auto* button = new COnOffButton(el.rect, nullptr, -1, nullptr, 0);
            button->setBackground(el.style < IMAGE_SLOT_COUNT ? images[el.style].bitmap.get() : nullptr);
            return button;
        }
        case UI_OPTION_MENU:
            return make_option_menu(el, this);
        case UI_SEGMENT_BUTTON:
            return make_segment_button(el, this);
        case UI_KNOB:
            return make_knob(el, this);
        case UI_SIMPLE:
            return new CSimple(el.rect);
        default:
            return nullptr;
    }
}

}  // namespace b2
