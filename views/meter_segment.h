// CMeterSegment: the LED-style meter bars and the dB scales beside them.
#pragma once

#include <cstdint>

#include "dsp/meter_snapshot.h"
#include "vstgui/lib/ccolor.h"
#include "vstgui/lib/controls/ccontrol.h"

namespace VSTGUI {

// What a meter view draws (the first byte of its layout element's text).
enum MeterMode : uint8_t {
    kRmsMeter = 0,
    kPeakMeter = 1,
    kLevelScale = 2,
    kCrestMeter = 3,
    kCrestScale = 4,
    kGainScale = 5,
};

// A ladder: the vertical sequence of segments with their dB values, and the
// colour rule of its segments.
enum MeterScale : uint8_t {
    kPeakLadder = 0,
    kRmsLadder = 1,
    kCrestLadder = 2,
    kGainLadder = 3,
};

// What the ladder walk draws on each step.
enum SegmentPart : uint8_t {
    kUnlit = 0,
    kBar = 1,
    kHoldMarker = 2,
    kLabels = 3,
    kOffsetLabels = 4,
};

// Meter palette.
namespace MeterColors {
constexpr CColor kClip{240, 68, 68, 255};
constexpr CColor kHigh{240, 154, 68, 255};
constexpr CColor kMid{245, 230, 130, 255};
constexpr CColor kNormal{180, 217, 106, 255};
constexpr CColor kLabel{192, 192, 192, 255};
constexpr CColor kBackground{56, 56, 56, 255};
constexpr CColor kUnlitSegment{80, 80, 80, 255};
}  // namespace MeterColors

class CMeterSegment : public CControl {
public:
    CMeterSegment(const CRect& size, uint8_t mode);
    CMeterSegment(const CMeterSegment& other);

    void draw(CDrawContext* context) override;
    void setViewSize(const CRect& rect, bool invalid = true) override;
    bool sizeToFit() override;

    // Colour of a value on a ladder: the colour its segment has when lit.
    CColor getLevelColor(float value, uint8_t scale) const;

    uint8_t getMode() const { return mode; }

    // The view's copy of one channel's published meter values; the editor
    // copies a snapshot in and then calls setDirty (true).
    b2::MeterSnapshot snapshot;

    CLASS_METHODS(CMeterSegment, CControl)

protected:
    ~CMeterSegment() noexcept override = default;

    // Walks the ladder of `scale` over the view and draws `part` on each step.
    void drawSegments(uint8_t part, float value, uint8_t scale);
    // A bar meter: unlit segments, the lit bar up to `value`, the hold marker at `held`.
    void drawBar(float value, float held, uint8_t scale);

private:
    // One step of the ladder walk: its top edge, dB value, dB width, height
    // in pixels and the vertical shift of its label band.
    struct Step {
        CCoord y;
        float value;
        float width;
        int height;
        int labelShift;
    };
    void drawStep(uint8_t part, float value, uint8_t scale, const Step& step);
    void drawLabel(uint8_t part, const Step& step);

    CDrawContext* drawContext = nullptr;  // valid only during draw
    uint8_t mode;
};

namespace MeterLabels {
// Text of a scale number: a plus sign on positive values, none on zero and
// negative ones. `out` holds at least 16 bytes.
void format(float value, char* out, int size);
}  // namespace MeterLabels

}  // namespace VSTGUI
