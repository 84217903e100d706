// Vst3Adapter: bus queries and arrangements (only one stereo bus each way).
#include "plugin/vst3_adapter.h"

namespace riser {

using namespace Steinberg;
using namespace Steinberg::Vst;

tresult PLUGIN_API Vst3Adapter::getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& info) {
    if (index < 0 || index >= getBusCount(type, dir)) return kInvalidArgument;
    return SingleComponentEffect::getBusInfo(type, dir, index, info);
}

tresult PLUGIN_API Vst3Adapter::activateBus(MediaType type, BusDirection dir, int32 index, TBool state) {
    if (index < 0 || index >= getBusCount(type, dir)) return kInvalidArgument;
    return SingleComponentEffect::activateBus(type, dir, index, state);
}

tresult PLUGIN_API Vst3Adapter::getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) {
    if (index < 0 || index >= getBusCount(kAudio, dir)) return kInvalidArgument;
    return SingleComponentEffect::getBusArrangement(dir, index, arr);
}

// ---- audio processor --------------------------------------------------------

tresult PLUGIN_API Vst3Adapter::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                   SpeakerArrangement* outputs, int32 numOuts) {
    auto accepts = [](bool has_bus, SpeakerArrangement* arr, int32 count) {
        if (!has_bus) return count == 0;
        return count == 1 && arr && arr[0] == SpeakerArr::kStereo;
    };
    if (!accepts(bus_config->audio_in, inputs, numIns) || !accepts(bus_config->audio_out, outputs, numOuts))
        return kResultFalse;
    return SingleComponentEffect::setBusArrangements(inputs, numIns, outputs, numOuts);
}

tresult PLUGIN_API Vst3Adapter::canProcessSampleSize(int32 symbolicSampleSize) {
    return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}
}  // namespace riser
