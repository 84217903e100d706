#include "views/meter_segment.h"

#include <cmath>

#include "vstgui/lib/cbitmap.h"
#include "vstgui/lib/cdrawcontext.h"
#include "vstgui/lib/cfont.h"

namespace VSTGUI {
namespace {

// Low 8 bits of the integer part of v; 0 for values an int cannot hold
// (NaN and infinities included), so a broken snapshot draws nothing.
uint8_t low8(double v) {
    if (!(v > -2147483648.0 && v < 2147483648.0)) return 0;
    return static_cast<uint8_t>(static_cast<int32_t>(v));
}

struct Ladder {
    int height;  // pixels per step
    int shift;   // label band shift below the step's top edge
    float top;   // dB value of the topmost step
    float width; // dB per step at the top
};

bool ladderOf(uint8_t scale, const b2::MeterSnapshot& s, CCoord viewHeight, Ladder& out) {
    switch (scale) {
        case kPeakLadder:
        case kRmsLadder: {
            int a = low8(s.segmentHeight);
            out = {a, a / 2, s.scaleTop, 1.f};
            return true;
        }
        case kCrestLadder:
            out = {16, 8, static_cast<float>(low8(viewHeight / 16.) - 1), 1.f};
            return true;
        case kGainLadder:
            out = {12, -5, 60.f, 4.f};
            return true;
        default:
            return false;
    }
}

// Alpha of the step that holds level x: how far x has got into the step.
// fmodf keeps the sign of x, and the low 8 bits of a negative share come to
// 256 minus its magnitude, which again is about the share reached.
uint8_t partialAlpha(float x, float width) {
    float share = 255.f * std::fmod(x, width) / width;
    return static_cast<uint8_t>(static_cast<int32_t>(share));
}

}  // namespace

CMeterSegment::CMeterSegment(const CRect& size, uint8_t mode)
    : CControl(size, nullptr, 0, nullptr), mode(mode) {}

CMeterSegment::CMeterSegment(const CMeterSegment& other)
    : CControl(other), snapshot(other.snapshot), mode(other.mode) {}

void CMeterSegment::draw(CDrawContext* context) {
    drawContext = context;
    context->saveGlobalState();
    context->setDrawMode(CDrawMode(kAntiAliasing | kNonIntegralMode));
    context->setFont(kNormalFontSmall, 0, -1);
    context->setFillColor(MeterColors::kBackground);
    context->drawRect(getViewSize(), kDrawFilled);

    switch (mode) {
        case kRmsMeter:
            drawBar(snapshot.rmsDb, snapshot.heldRmsDb, kRmsLadder);
            break;
        case kPeakMeter:
            drawBar(snapshot.peakDb, snapshot.heldPeakDb, kPeakLadder);
            break;
        case kLevelScale:
            drawSegments(kOffsetLabels, 0, kRmsLadder);
            break;
        case kCrestMeter:
            drawBar(snapshot.crestDb, snapshot.heldCrestDb, kCrestLadder);
            break;
        case kCrestScale:
            drawSegments(kLabels, 0, kCrestLadder);
            break;
        case kGainScale:
            drawSegments(kLabels, 0, kGainLadder);
            break;
        default:
            break;  // unknown modes show the background only
    }

    context->restoreGlobalState();
    drawContext = nullptr;
    setDirty(false);
}

void CMeterSegment::drawBar(float value, float held, uint8_t scale) {
    drawSegments(kUnlit, 0, scale);
    drawSegments(kBar, value, scale);
    drawSegments(kHoldMarker, held, scale);
}

void CMeterSegment::drawSegments(uint8_t part, float value, uint8_t scale) {
    // Until a snapshot arrives the segment height is 0: nothing but the
    // background, whatever the ladder.
    if (!drawContext || low8(snapshot.segmentHeight) == 0) return;
    const CRect& r = getViewSize();
    Ladder ladder;
    if (!ladderOf(scale, snapshot, r.getHeight(), ladder)) return;

    Step step{r.top, ladder.top, ladder.width, ladder.height, ladder.shift};
    // Steps reaching below the view are drawn and left to the clipping.
    while (step.y <= r.bottom) {
        drawStep(part, value, scale, step);
        step.y += step.height;
        // Below -28 dB the steps of the level ladders are 2 dB wide.
        if (scale != kGainLadder && step.value <= -28.f) step.width = 2.f;
        step.value -= step.width;
    }
}

void CMeterSegment::drawStep(uint8_t part, float value, uint8_t scale, const Step& step) {
    const CRect& r = getViewSize();
    // One free pixel row between segments.
    CRect segment(r.left, step.y, r.right, step.y + step.height - 1);
    const bool holds = step.value <= value && value < step.value + step.width;
    switch (part) {
        case kUnlit:
            drawContext->setFillColor(MeterColors::kUnlitSegment);
            drawContext->drawRect(segment, kDrawFilled);
            break;
        case kBar:
            if (step.value <= value) {
                CColor color = getLevelColor(step.value, scale);
                if (holds) color.alpha = partialAlpha(value, step.width);
                drawContext->setFillColor(color);
                drawContext->drawRect(segment, kDrawFilled);
            }
            break;
        case kHoldMarker:
            if (holds) {
                // The upper part of the segment.
                segment.bottom = step.y + step.height - 1 - step.height / 2;
                drawContext->setFillColor(getLevelColor(step.value, scale));
                drawContext->drawRect(segment, kDrawFilled);
            }
            break;
        case kLabels:
        case kOffsetLabels:
            drawLabel(part, step);
            break;
        default:
            break;
    }
}

CColor CMeterSegment::getLevelColor(float value, uint8_t scale) const {
    // A small tolerance so that a threshold stored a hair above a step's
    // value still colours that step.
    const double c = value;
    auto reaches = [c](float threshold) { return c >= static_cast<double>(threshold) - 0.0001; };
    switch (scale) {
        case kPeakLadder: {
            const float* t = snapshot.peakThresholds;
            if (reaches(t[b2::kClip])) return MeterColors::kClip;
            if (reaches(t[b2::kHigh])) return MeterColors::kHigh;
            if (reaches(t[b2::kLow])) return MeterColors::kMid;
            return MeterColors::kNormal;
        }
        case kRmsLadder: {
            const float* t = snapshot.rmsThresholds;
            if (reaches(t[b2::kHigh])) return MeterColors::kHigh;
            if (reaches(t[b2::kLow])) return MeterColors::kMid;
            return MeterColors::kNormal;
        }
        case kCrestLadder: {
            // A crest factor below 0 dB cannot occur in a real signal.
            if (value < 0) return MeterColors::kUnlitSegment;
            const float* t = snapshot.crestThresholds;
            if (reaches(t[b2::kHigh])) return MeterColors::kHigh;
            if (reaches(t[b2::kLow])) return MeterColors::kMid;
            return MeterColors::kNormal;
        }
        default:
            return CColor(255, 255, 255, 255);
    }
}

void CMeterSegment::setViewSize(const CRect& rect, bool invalid) {
    CControl::setViewSize(rect, invalid);
}

bool CMeterSegment::sizeToFit() {
    CBitmap* background = getDrawBackground();
    if (!background) return false;
    CRect r = getViewSize();
    r.setWidth(background->getWidth());
    r.setHeight(background->getHeight());
    setViewSize(r, true);
    setMouseableArea(r);
    return true;
}

}  // namespace VSTGUI
