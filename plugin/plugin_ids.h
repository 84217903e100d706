// The identity of the plug-in: factory and class records and the bus configuration.
#pragma once

#include "pluginterfaces/base/funknown.h"

namespace riser {

// The one class id, shared by the component and the controller (one object).
static const Steinberg::FUID kClassId(0x5A1C3E77, 0x4B2D4F19, 0x9E6A8C21, 0x3D7F0B54);

constexpr const char* kVendor = "Corvid Signal LLC";
constexpr const char* kVendorUrl = "https://corvidsignal.example";
constexpr const char* kVendorEmail = "support@corvidsignal.example";
constexpr const char* kCategory = "Audio Module Class";
constexpr const char* kName = "Riser";
constexpr const char* kSubCategories = "Fx|Analyzer";
constexpr const char* kVersion = "1.0.1";
constexpr const char* kSdkVersion = "VST 3.7.4";

// Which buses an instance creates; handed to every instance as its creation context.
struct BusConfig {
    unsigned char audio_in;   // "Stereo In"
    unsigned char audio_out;  // "Stereo Out"
    unsigned char event_in;   // "Event In"
    unsigned char event_out;  // "Event Out"
};
// Stereo audio in and out; the event buses exist in the design but are off.
inline constexpr BusConfig kBusConfig = {1, 1, 0, 0};

}  // namespace riser
