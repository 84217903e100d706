// The layout of both pages, the record order being the creation order (a
// later view lies above an earlier one), and the target presets.
#include "editor/ui_element.h"

namespace b2 {

namespace {

// A settings row: name label, text entry and slider of one parameter.
#define SETTINGS_ROW(p, y, label)                                   \
    {UI_LABEL, PAGE_SETTINGS, label, 10, y, 70, 14, p, "", 0},      \
    {UI_TEXT_EDIT, PAGE_SETTINGS, label, 88, y, 50, 16, p, "", 0},  \
    {UI_HSLIDER, PAGE_SETTINGS, label, 146, y + 1, 50, 12, p, "", 0}

// Meter records carry their MeterMode in the first byte of the text (0 is
// kRmsMeter); image records the number of sub-images (0: one, sized from the
// image).
const ui_element kElements[] = {
    {UI_VSLIDER, PAGE_MAIN, "Input Gain: %%s", 14, 14, 20, 362, ID_GAIN, "", 0},
    {UI_TEXT_BUTTON, PAGE_MAIN, "+1 dB Gain", 16, 390, 40, 14, ID_GAIN_UP_1, "+1.0", 0},
    {UI_TEXT_BUTTON, PAGE_MAIN, "-1 dB Gain", 16, 406, 40, 14, ID_GAIN_DOWN_1, "-1.0", 0},
    {UI_TEXT_EDIT, PAGE_MAIN, "Input Gain: %%s", 10, 424, 50, 20, ID_GAIN, "", 0},
    {UI_TEXT_BUTTON, PAGE_MAIN, "+0.1 dB Gain", 16, 447, 40, 14, ID_GAIN_UP_TENTH, "+0.1", 0},
    {UI_TEXT_BUTTON, PAGE_MAIN, "-0.1 dB Gain", 16, 463, 40, 14, ID_GAIN_DOWN_TENTH, "-0.1", 0},
    {UI_TEXT_BUTTON, PAGE_MAIN, "Double RMS Window", 16, 494, 40, 14, ID_RMS_DOUBLE, "x2", 0},
    {UI_TEXT_EDIT, PAGE_MAIN, "RMS Window Interval: %%s", 10, 510, 50, 20, ID_RMS_WINDOW, "", 0},
    {UI_TEXT_BUTTON, PAGE_MAIN, "Half RMS Window", 16, 532, 40, 14, ID_RMS_HALF, "/2", 0},
    {UI_TEXT_BUTTON, PAGE_MAIN, "ITU BS.1770 K-Weight: %%s", 40, 564, 18, 18, ID_K_FILTER, "K", 1},
    {UI_KICK_BUTTON, PAGE_MAIN, "Meter Settings", 16, 564, 17, 17, ID_SETTINGS, "", 1},
    {UI_KICK_BUTTON, PAGE_SETTINGS, "Exit Settings", 16, 566, 14, 13, ID_SETTINGS, "", 2},
    {UI_METER, PAGE_MAIN, "Gain Scale dB", 36, 14, 20, 362, ID_GAIN_SCALE, "\x05", 0},
    {UI_METER, PAGE_MAIN, "RMS Level dB", 70, 54, 12, 528, ID_RMS_LEFT, "", 0},
    {UI_METER, PAGE_MAIN, "Peak Level dB", 83, 54, 8, 528, ID_PEAK_LEFT, "\x01", 0},
    {UI_METER, PAGE_MAIN, "Peak Level dB", 92, 54, 8, 528, ID_PEAK_RIGHT, "\x01", 0},
    {UI_METER, PAGE_MAIN, "RMS Level dB", 101, 54, 12, 528, ID_RMS_RIGHT, "", 0},
    {UI_METER, PAGE_MAIN, "Level Scale dB", 114, 54, 24, 528, ID_LEVEL_SCALE, "\x02", 0},
    {UI_METER, PAGE_MAIN, "Crest Level (Peak/RMS) dB", 154, 54, 8, 528, ID_CREST_LEFT, "\x03", 0},
    {UI_METER, PAGE_MAIN, "Crest Level (Peak/RMS) dB", 163, 54, 8, 528, ID_CREST_RIGHT, "\x03", 0},
    {UI_METER, PAGE_MAIN, "Crest Scale (Peak/RMS) dB", 172, 54, 24, 528, ID_CREST_SCALE, "\x04", 0},
    {UI_READOUT, PAGE_MAIN, "Max Peak Held dB", 72, 16, 32, 14, ID_PEAK_HELD_LEFT, "", 0},
    {UI_READOUT, PAGE_MAIN, "Max RMS Held dB", 72, 34, 32, 14, ID_RMS_HELD_LEFT, "", 2},
    {UI_READOUT, PAGE_MAIN, "Max Peak Held dB", 106, 16, 32, 14, ID_PEAK_HELD_RIGHT, "", 0},
    {UI_READOUT, PAGE_MAIN, "Max RMS Held dB", 106, 34, 32, 14, ID_RMS_HELD_RIGHT, "", 3},
    {UI_READOUT, PAGE_MAIN, "Max Crest Held dB", 146, 34, 28, 14, ID_CREST_HELD_LEFT, "", 4},
    {UI_READOUT, PAGE_MAIN, "Max Crest Held dB", 176, 34, 28, 14, ID_CREST_HELD_RIGHT, "", 5},
    {UI_IMAGE, PAGE_SETTINGS, "Corvid Signal LLC", 70, 25, 1, 1, 0, "", 0},
    {UI_LABEL, PAGE_SETTINGS, "Version: 1.0.1", 30, 49, 150, 14, ID_VERSION, "1.0.1", 0},
    {UI_IMAGE, PAGE_SETTINGS, "Corvid Signal LLC", 42, 76, 1, 1, 0, "", 4},
    {UI_LABEL, PAGE_SETTINGS, "", 30, 196, 150, 14, ID_CONTACT, "support@corvidsignal.example", 0},
    SETTINGS_ROW(ID_SCALE_TOP, 260, "Topmost Meter Segment: %%s"),
    SETTINGS_ROW(ID_SCALE_ZERO, 280, "Peak/RMS Scale Offset: %%s"),
    SETTINGS_ROW(ID_RMS_WINDOW, 300, "RMS Window Interval: %%s"),
    SETTINGS_ROW(ID_RMS_HIGH, 320, "RMS High Color Thresh: %%s"),
    SETTINGS_ROW(ID_RMS_LOW, 340, "RMS Low Color Thresh: %%s"),
    SETTINGS_ROW(ID_PEAK_FALL, 360, "Peak Time to fall -20dB: %%s"),
    SETTINGS_ROW(ID_PEAK_CLIP, 380, "Peak Clip Color Thresh: %%s"),
    SETTINGS_ROW(ID_PEAK_HIGH, 400, "Peak High Color Thresh: %%s"),
    SETTINGS_ROW(ID_PEAK_LOW, 420, "Peak Low Color Thresh: %%s"),
    SETTINGS_ROW(ID_CREST_HIGH, 440, "Crest High Color Thresh: %%s"),
    SETTINGS_ROW(ID_CREST_LOW, 460, "Crest Low Color Thresh: %%s"),
    SETTINGS_ROW(ID_VALUE_HOLD, 480, "Value Readout Hold Time: %%s"),
    SETTINGS_ROW(ID_SEGMENT_HEIGHT, 500, "Pixels per dB Segment: %%s"),
    SETTINGS_ROW(ID_K_FILTER, 520, "ITU BS.1770 K-Weight: %%s"),
    {UI_TEXT_BUTTON, PAGE_SETTINGS, "-20 dB Target Preset", 50, 564, 60, 16, ID_PRESET_20, "-20 dB", 0},
    {UI_TEXT_BUTTON, PAGE_SETTINGS, "-12 dB Target Preset", 120, 564, 60, 16, ID_PRESET_12, "-12 dB", 0},
    {UI_STATUS, PAGE_MAIN, "", 14, 592, 200, 12, 0, "", 0},

    // The loudness page's switch, in the free corner above the crest readouts.
    {UI_TEXT_BUTTON, PAGE_MAIN, "Loudness Page", 146, 16, 58, 14, ID_LOUDNESS, "Loudness", 0},
    // The loudness page: the target, the integrated loudness large, one row
    // per figure (name, value, unit), the integration state, the two bars
    // with their scale, and the buttons.
    {UI_LABEL, PAGE_LOUDNESS, "Delivery Target", 10, 14, 40, 16, 0, "Target", 0},
    {UI_OPTION_MENU, PAGE_LOUDNESS, "Delivery Target", 56, 14, 148, 16, ID_LOUD_TARGET, "", 0},
    {UI_LABEL, PAGE_LOUDNESS, "Integrated Loudness", 10, 42, 60, 14, 0, "Integrated", 0},
    {UI_LABEL, PAGE_LOUDNESS, "Integrated Loudness", 10, 58, 60, 14, ID_LOUD_UNIT, "LUFS", 0},
    {UI_READOUT, PAGE_LOUDNESS, "Integrated Loudness", 74, 40, 130, 34, ID_LOUD_INTEGRATED, "", 0},
    {UI_LABEL, PAGE_LOUDNESS, "Loudness Range LU", 10, 84, 60, 14, 0, "Range", 0},
    {UI_READOUT, PAGE_LOUDNESS, "Loudness Range LU", 74, 84, 44, 14, ID_LOUD_RANGE, "", 0},
    {UI_LABEL, PAGE_LOUDNESS, "Loudness Range LU", 166, 84, 38, 14, 0, "LU", 0},
    {UI_LABEL, PAGE_LOUDNESS, "True Peak Max dBTP", 10, 102, 60, 14, 0, "True peak", 0},
    {UI_READOUT, PAGE_LOUDNESS, "True Peak Max dBTP, Left", 74, 102, 44, 14, ID_LOUD_PEAK_LEFT, "", 0},
    {UI_READOUT, PAGE_LOUDNESS, "True Peak Max dBTP, Right", 120, 102, 44, 14, ID_LOUD_PEAK_RIGHT, "", 0},
    {UI_LABEL, PAGE_LOUDNESS, "True Peak Max dBTP", 166, 102, 38, 14, 0, "dBTP", 0},
    {UI_LABEL, PAGE_LOUDNESS, "Peak to Loudness Ratio LU", 10, 120, 60, 14, 0, "PLR", 0},
    {UI_READOUT, PAGE_LOUDNESS, "Peak to Loudness Ratio LU", 74, 120, 44, 14, ID_LOUD_PLR, "", 0},
    {UI_LABEL, PAGE_LOUDNESS, "Peak to Loudness Ratio LU", 166, 120, 38, 14, 0, "LU", 0},
    {UI_LABEL, PAGE_LOUDNESS, "Integration Time", 10, 138, 60, 14, 0, "Time", 0},
    {UI_READOUT, PAGE_LOUDNESS, "Integration Time", 74, 138, 90, 14, ID_LOUD_TIME, "", 0},
    {UI_LABEL, PAGE_LOUDNESS, "Integration State", 10, 158, 194, 14, ID_LOUD_STATE, "", 1},
    {UI_LABEL, PAGE_LOUDNESS, "Momentary Loudness (400 ms)", 18, 180, 18, 12, 0, "M", 1},
    {UI_LABEL, PAGE_LOUDNESS, "Loudness Scale", 36, 180, 30, 12, ID_LOUD_BAR_UNIT, "LUFS", 1},
    {UI_LABEL, PAGE_LOUDNESS, "Short-Term Loudness (3 s)", 66, 180, 18, 12, 0, "S", 1},
    {UI_METER, PAGE_LOUDNESS, "Momentary Loudness (400 ms)", 20, 196, 14, 344, ID_LOUD_MOMENTARY, "", 0},
    {UI_METER, PAGE_LOUDNESS, "Loudness Scale", 36, 196, 26, 344, ID_LOUD_SCALE, "\x02", 0},
    {UI_METER, PAGE_LOUDNESS, "Short-Term Loudness (3 s)", 68, 196, 14, 344, ID_LOUD_SHORT_TERM, "", 0},
    {UI_LABEL, PAGE_LOUDNESS, "Momentary Max", 92, 196, 50, 14, 0, "Max M", 0},
    {UI_READOUT, PAGE_LOUDNESS, "Momentary Max", 146, 196, 58, 14, ID_LOUD_MOMENTARY_MAX, "", 0},
    {UI_LABEL, PAGE_LOUDNESS, "Short-Term Max", 92, 214, 50, 14, 0, "Max S", 0},
    {UI_READOUT, PAGE_LOUDNESS, "Short-Term Max", 146, 214, 58, 14, ID_LOUD_SHORT_TERM_MAX, "", 0},
    {UI_TEXT_BUTTON, PAGE_LOUDNESS, "Reset Integration", 92, 246, 54, 16, ID_LOUD_RESET, "Reset", 0},
    {UI_TEXT_BUTTON, PAGE_LOUDNESS, "Pause or Run Integration", 150, 246, 54, 16, ID_LOUD_PAUSE, "Pause", 1},
    {UI_SEGMENT_BUTTON, PAGE_LOUDNESS, "Integrate Always, or While the Host Plays", 92, 270, 112, 16, ID_LOUD_MODE,
     "Always;Transport;", 0},
    {UI_TEXT_BUTTON, PAGE_LOUDNESS, "Reset When Playback Starts", 92, 292, 112, 16, ID_LOUD_PLAY_RESET,
     "Reset on play", 1},
    {UI_SEGMENT_BUTTON, PAGE_LOUDNESS, "Bars in LUFS, or in LU to the Target", 92, 322, 112, 16, ID_LOUD_RELATIVE,
     "LUFS;LU;", 0},
    {UI_KICK_BUTTON, PAGE_LOUDNESS, "Exit Loudness", 16, 566, 14, 13, ID_LOUDNESS, "", 2},
};

#undef SETTINGS_ROW

static_assert(sizeof(kElements) / sizeof(kElements[0]) == kBaseLayoutRecords + 35,
              "the main and settings pages' 76 records, then the loudness page's switch and page");

const preset_row kPresets[] = {
    {ID_SCALE_TOP, 0, 0},      {ID_SCALE_ZERO, -20, -12}, {ID_PEAK_CLIP, 0, 0},
    {ID_PEAK_HIGH, -4, -2},    {ID_PEAK_LOW, -8, -4},     {ID_RMS_HIGH, -16, -8},
    {ID_RMS_LOW, -20, -12},    {ID_CREST_HIGH, 14, 12},   {ID_CREST_LOW, 12, 10},
    {ID_SEGMENT_HEIGHT, 16, 22},
};

}  // namespace

const ui_element* element_table() { return kElements; }
uint32_t element_table_size() { return sizeof(kElements) / sizeof(kElements[0]); }

static_assert(sizeof(kPresets) / sizeof(kPresets[0]) == kPresetRows, "one row per preset parameter");

const preset_row* preset_table() { return kPresets; }
uint32_t preset_table_size() { return sizeof(kPresets) / sizeof(kPresets[0]); }

}  // namespace b2
