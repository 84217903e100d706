// Vst3Adapter: the edit controller side (parameters, text, units, note expressions).
#include "plugin/vst3_adapter.h"

#include <cmath>
#include <cstdio>

#include "engine/value_format.h"
#include "plugin/adapter_helpers.h"
#include "plugin/utf16.h"

namespace riser {

using namespace Steinberg;
using namespace Steinberg::Vst;

ParamValue PLUGIN_API Vst3Adapter::getParamNormalized(ParamID id) {
    if (id > 30 || !engine) return 0;
    const int i = static_cast<int>(id);
    return b2::to_normalized(i, b2::global_value(engine, i));
}

tresult PLUGIN_API Vst3Adapter::getParameterInfo(int32 paramIndex, ParameterInfo& info) {
    // The SDK's container indexes its list with at(), which throws.
    if (paramIndex < 0 || paramIndex >= parameters.getParameterCount()) return kInvalidArgument;
    return SingleComponentEffect::getParameterInfo(paramIndex, info);
}

tresult PLUGIN_API Vst3Adapter::setParamNormalized(ParamID id, ParamValue value) {
    if (!host_parameter(id)) return kInvalidArgument;
    if (!engine) return kResultFalse;
    if (!std::isfinite(value)) return kInvalidArgument;  // a NaN would poison the value for good
    const int i = static_cast<int>(id);
    b2::set_global_value(engine, i, b2::to_plain(i, unit_clamp(value)));
    return kResultOk;
}

tresult PLUGIN_API Vst3Adapter::getParamStringByValue(ParamID id, ParamValue valueNormalized, String128 string) {
    if (!string) return kInvalidArgument;
    const int i = static_cast<int>(id > 0x7FFFFFFF ? 0x7FFFFFFF : id);
    char text[b2::kTextSize];
    b2::format_value(i, b2::to_plain(i, static_cast<float>(valueNormalized)), text);
    widen(text, string, 128);
    return kResultOk;
}

// A text without a readable finite number ("abc", "nan", "inf") answers
// kResultFalse and leaves the caller's value as it was: a host field must
// never move a parameter on a word it cannot read.
tresult PLUGIN_API Vst3Adapter::getParamValueByString(ParamID id, TChar* string, ParamValue& valueNormalized) {
    if (!string) return kInvalidArgument;
    const int i = static_cast<int>(id > 0x7FFFFFFF ? 0x7FFFFFFF : id);
    char text[4 * b2::kTextSize];
    utf16_to_utf8(string, text, sizeof text);
    float plain = 0.0f;
    if (!b2::parse_finite_value(i, text, &plain)) return kResultFalse;
    float n = b2::to_normalized(i, plain);
    if (!(n >= 0.0f)) n = 0.0f;  // NaN included
    if (n > 1.0f) n = 1.0f;
    valueNormalized = n;
    return kResultOk;
}

tresult PLUGIN_API Vst3Adapter::getUnitInfo(int32 unitIndex, UnitInfo& info) {
    if (unitIndex != 0) return kResultFalse;
    info.id = kRootUnitId;
    info.parentUnitId = kNoParentUnitId;
    info.programListId = kNoProgramListId;
    widen("Global", info.name, 128);
    return kResultOk;
}
// ---- MIDI mapping and note expressions (not exposed to hosts) ------------------

tresult PLUGIN_API Vst3Adapter::getMidiControllerAssignment(int32, int16, CtrlNumber, ParamID&) {
    return kResultFalse;
}

int32 PLUGIN_API Vst3Adapter::getNoteExpressionCount(int32, int16) { return 4; }

tresult PLUGIN_API Vst3Adapter::getNoteExpressionInfo(int32, int16, int32 index, NoteExpressionTypeInfo& info) {
    struct Row {
        NoteExpressionTypeID type;
        const char* title;
        const char* short_title;
        double def;
        bool bipolar;
    };
    static const Row rows[4] = {{kVolumeTypeID, "Volume", "Vol", 0.25, false},
                                {kPanTypeID, "Pan", "Pan", 0.5, true},
                                {kTuningTypeID, "Tuning", "Tun", 0.5, true},
                                {kBrightnessTypeID, "Bright", "Bgt", 0.0, false}};
    if (index < 0 || index > 3) return kResultFalse;
    const Row& r = rows[index];
    info = NoteExpressionTypeInfo{};
    info.typeId = r.type;
    widen(r.title, info.title, 128);
    widen(r.short_title, info.shortTitle, 128);
    info.units[0] = 0;
    info.unitId = 0;
    info.valueDesc = {r.def, 0.0, 1.0, 0};
    info.associatedParameterId = kNoParamId;
    info.flags = r.bipolar ? NoteExpressionTypeInfo::kIsBipolar : 0;
    return kResultOk;
}

tresult PLUGIN_API Vst3Adapter::getNoteExpressionStringByValue(int32, int16, NoteExpressionTypeID,
                                                               NoteExpressionValue value, String128 string) {
    if (!string) return kInvalidArgument;
    char text[b2::kTextSize];
    std::snprintf(text, sizeof text, "%6.4f", value);
    widen(text, string, 128);
    return kResultOk;
}

tresult PLUGIN_API Vst3Adapter::getNoteExpressionValueByString(int32, int16, NoteExpressionTypeID, const TChar*,
                                                               NoteExpressionValue&) {
    return kResultFalse;
}

}  // namespace riser
