// The label parts of the meter ladders: the dB numbers of the three scales.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "views/meter_segment.h"
#include "vstgui/lib/cdrawcontext.h"

namespace VSTGUI {

void MeterLabels::format(float value, char* out, int size) {
    const double u = value;
    std::snprintf(out, static_cast<size_t>(size), u > 0.0001 ? "%+.0f" : "%.0f", u);
    // A small negative value rounds to "-0"; the scale shows it as "0".
    if (std::strcmp(out, "-0") == 0) std::snprintf(out, static_cast<size_t>(size), "0");
}

void CMeterSegment::drawLabel(uint8_t part, const Step& step) {
    // Every second step carries a number: on 1-dB steps the even values, on
    // 2-dB steps the multiples of 4, on the gain ladder the multiples of 8.
    if (!(std::fabs(std::fmod(step.value, 2.f * step.width)) < 0.001f)) return;
    const float u = part == kOffsetLabels ? step.value - snapshot.scaleZero : step.value;
    char text[16];
    MeterLabels::format(u, text, sizeof text);

    // Right-aligned over the view's width, centred in a band one step high
    // shifted down by the label shift: for the level ladders the number sits
    // on the lower edge of its step, where the step's value begins.
    const CRect& r = getViewSize();
    const CCoord top = step.y + step.labelShift;
    drawContext->setFontColor(MeterColors::kLabel);
    drawContext->drawString(text, CRect(r.left, top, r.right, top + step.height - 1), kRightText, true);
}

}  // namespace VSTGUI
