// The editor's layout: one record per view, the codes used in the records,
// the palette and the target presets.
#pragma once

#include <cstdint>

#include "engine/param_table.h"
#include "vstgui/lib/ccolor.h"
#include "vstgui/lib/crect.h"

namespace VSTGUI {
class CControl;
}

namespace b2 {

// Element kinds; also the upper bits of a view's tag (tag = kind | id).
enum : uint32_t {
    UI_KICK_BUTTON = 0x20000,
    UI_ONOFF_BUTTON = 0x30000,
    UI_TEXT_BUTTON = 0x40000,
    UI_TEXT_EDIT = 0x50000,
    UI_KNOB = 0x60000,
    UI_LABEL = 0x70000,
    UI_READOUT = 0x90000,
    UI_METER = 0xA0000,
    UI_STATUS = 0xB0000,
    UI_OPTION_MENU = 0xC0000,
    UI_IMAGE = 0xD0000,
    UI_SEGMENT_BUTTON = 0xE0000,
    UI_SIMPLE = 0xF0000,
    UI_HSLIDER = 0x100000,
    UI_VSLIDER = 0x110000,
    UI_MULTILINE_LABEL = 0x120000,
};

// Command and element ids (parameter ids are 1..30).
enum : uint32_t {
    ID_GAIN_UP_1 = 0x1001,
    ID_GAIN_UP_TENTH = 0x1002,
    ID_GAIN_DOWN_TENTH = 0x1003,
    ID_GAIN_DOWN_1 = 0x1004,
    ID_RMS_DOUBLE = 0x1006,
    ID_RMS_HALF = 0x1007,
    ID_PRESET_12 = 0x1008,
    ID_PRESET_20 = 0x1009,
    ID_SETTINGS = 0x100A,
    ID_LOUDNESS = 0x100B,        // switch between the main and the loudness page
    ID_LOUD_RESET = 0x100C,      // integration starts again
    ID_LOUD_PAUSE = 0x100D,      // toggle: the user's pause
    ID_LOUD_MODE = 0x100E,       // segments: integrate always, or while the transport plays
    ID_LOUD_PLAY_RESET = 0x100F, // toggle: start afresh when playback starts
    ID_LOUD_TARGET = 0x1010,     // menu: the delivery target
    ID_LOUD_RELATIVE = 0x1011,   // segments: LUFS, or LU relative to the target
    ID_GAIN_SCALE = 0x1100,
    ID_RMS_LEFT = 0x1101,
    ID_RMS_RIGHT = 0x1102,
    ID_PEAK_LEFT = 0x1103,
    ID_PEAK_RIGHT = 0x1104,
    ID_LEVEL_SCALE = 0x1105,
    ID_CREST_LEFT = 0x1106,
    ID_CREST_RIGHT = 0x1107,
    ID_CREST_SCALE = 0x1108,
    ID_PEAK_HELD_LEFT = 0x1109,
    ID_PEAK_HELD_RIGHT = 0x110A,
    ID_RMS_HELD_LEFT = 0x110B,
    ID_RMS_HELD_RIGHT = 0x110C,
    ID_CREST_HELD_LEFT = 0x110D,
    ID_CREST_HELD_RIGHT = 0x110E,
    ID_LOUD_MOMENTARY = 0x1120,      // bars of the loudness page
    ID_LOUD_SHORT_TERM = 0x1121,
    ID_LOUD_SCALE = 0x1122,
    ID_LOUD_INTEGRATED = 0x1123,     // readouts of the loudness page
    ID_LOUD_RANGE = 0x1124,
    ID_LOUD_PEAK_LEFT = 0x1125,
    ID_LOUD_PEAK_RIGHT = 0x1126,
    ID_LOUD_PLR = 0x1127,
    ID_LOUD_TIME = 0x1128,
    ID_LOUD_MOMENTARY_MAX = 0x1129,
    ID_LOUD_SHORT_TERM_MAX = 0x112A,
    ID_LOUD_STATE = 0x112B,          // labels the page writes
    ID_LOUD_UNIT = 0x112C,           // unit of the integrated loudness
    ID_LOUD_BAR_UNIT = 0x112D,       // unit of the bars, their scale and maxima
    ID_VERSION = 0x2000,
    ID_CONTACT = 0x2001,
};

enum : uint8_t { PAGE_MAIN = 0, PAGE_SETTINGS = 1, PAGE_LOUDNESS = 2, PAGE_COUNT = 3 };

constexpr uint32_t kTagIdMask = 0xFFFF;  // parameter or command part of a tag
constexpr int kEditorWidth = 214;
constexpr int kEditorHeight = 620;

// One view of the layout. The static table leaves the run-time fields zero;
// only the editor's copy writes them.
struct ui_element {
    uint32_t kind;
    uint8_t page;
    const char* label;  // status-line format ("%%s" marks the value); may be null
    int32_t x, y, w, h;
    uint32_t id;
    char text[128];  // caption, or kind-specific bytes (meter mode, sub-images)
    uint32_t style;  // image slot, 1 for a toggle text button or a centred label
    // Run time.
    VSTGUI::CControl* view = nullptr;
    VSTGUI::CRect rect{};
    const ParamDef* param = nullptr;
    uint8_t edited = 0;
    uint8_t held = 0;      // a value change waits until the user lets go of the view
    uint8_t rejected = 0;  // the entry's last text was no number: its commit reports nothing
};

const ui_element* element_table();
uint32_t element_table_size();
// The records of the main and the settings page come first, in this number;
// the loudness page's switch and page follow them.
constexpr uint32_t kBaseLayoutRecords = 76;

// Target presets: a parameter and its value for the -20 dB and -12 dB targets.
struct preset_row {
    uint32_t id;
    float minus20;
    float minus12;
};
constexpr uint32_t kPresetRows = 10;
const preset_row* preset_table();
uint32_t preset_table_size();

namespace palette {
constexpr VSTGUI::CColor kBackground{50, 50, 50, 255};
constexpr VSTGUI::CColor kText{192, 192, 192, 255};
constexpr VSTGUI::CColor kDimText{120, 120, 120, 255};
constexpr VSTGUI::CColor kReadoutBack{60, 60, 60, 255};
constexpr VSTGUI::CColor kClip{240, 68, 68, 255};
constexpr VSTGUI::CColor kHigh{240, 154, 68, 255};
constexpr VSTGUI::CColor kLow{180, 217, 106, 255};
constexpr VSTGUI::CColor kWhite{255, 255, 255, 255};
}  // namespace palette

}  // namespace b2
