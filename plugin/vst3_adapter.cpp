// Vst3Adapter: creation, interfaces, initialize/terminate and the editor.
#include "plugin/vst3_adapter.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <new>

#include "editor/create_editor.h"
#include "engine/rng.h"
#include "engine/value_format.h"
#include "plugin/adapter_helpers.h"
#include "plugin/utf16.h"
#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivsthostapplication.h"

namespace riser {

using namespace Steinberg;
using namespace Steinberg::Vst;

Vst3Adapter::Vst3Adapter(const BusConfig* config) : bus_config(config ? config : &kBusConfig) {
    processContextRequirements.flags = 0;
}

Vst3Adapter::~Vst3Adapter() {
    drop_view();
    b2::destroy_engine(engine);
}

void Vst3Adapter::drop_view() {
    if (!view) return;
    b2::detach_editor(view);
    view->release();
    view = nullptr;
}

FUnknown* Vst3Adapter::createInstance(void* context) {
    // Every new instance reseeds the shared generator from the calendar time.
    b2::global_rng_seed(static_cast<uint64_t>(static_cast<int64_t>(std::time(nullptr))));
    try {  // the factory hands out null as "no instance"; nothing may throw into the host
        auto* adapter = new Vst3Adapter(static_cast<const BusConfig*>(context));
        return static_cast<IAudioProcessor*>(adapter);
    } catch (...) {
        return nullptr;
    }
}

tresult PLUGIN_API Vst3Adapter::queryInterface(const TUID iid, void** obj) {
    if (!obj) return kInvalidArgument;
    if (FUnknownPrivate::iidEqual(iid, IUnitInfo::iid)) {
        addRef();
        *obj = static_cast<IUnitInfo*>(this);
        return kResultOk;
    }
    return SingleComponentEffect::queryInterface(iid, obj);
}

// ---- lifecycle ------------------------------------------------------------

tresult PLUGIN_API Vst3Adapter::initialize(FUnknown* context) {
    const tresult result = SingleComponentEffect::initialize(context);
    if (result != kResultOk) return result;
    // A second initialize after terminate starts from a fresh engine, which
    // needs its own setupProcessing before it processes.
    prepared.store(false, std::memory_order_release);
    drop_view();
    b2::destroy_engine(engine);
    engine = b2::create_engine(this);
    if (!engine) return kOutOfMemory;
    try {  // the SDK's parameter and bus lists allocate
        register_parameters();
        create_buses();
    } catch (...) {
        return kOutOfMemory;
    }
    read_host_name(context);
    return kResultOk;
}

tresult PLUGIN_API Vst3Adapter::terminate() {
    drop_view();  // an editor still open must not outlive what it shows
    // Without their rings the strips cannot run: a process call after
    // terminate passes the audio through, as one before set-up does.
    prepared.store(false, std::memory_order_release);
    if (engine) b2::releaseStrips(engine);
    return SingleComponentEffect::terminate();
}

void Vst3Adapter::register_parameters() {
    for (int id = 0; id < b2::kParamCount; ++id) {
        const b2::ParamDef& def = *b2::param_def(id);
        if (!(def.flags & b2::PF_HOST)) continue;
        TChar title[128];
        widen(def.name, title, 128);
        int32 flags = 0;
        if (def.flags & b2::PF_BYPASS) flags |= ParameterInfo::kIsBypass;
        if (def.flags & b2::PF_AUTOMATE) flags |= ParameterInfo::kCanAutomate;
        parameters.addParameter(new Parameter(title, static_cast<ParamID>(id), nullptr,
                                              b2::to_normalized(id, def.defaultValue), b2::param_step_count(def),
                                              flags, def.unitId));
    }
}

void Vst3Adapter::create_buses() {
    if (bus_config->audio_in) addAudioInput(STR16("Stereo In"), SpeakerArr::kStereo);
    if (bus_config->audio_out) addAudioOutput(STR16("Stereo Out"), SpeakerArr::kStereo);
    if (bus_config->event_in) addEventInput(STR16("Event In"), 16);
    if (bus_config->event_out) addEventOutput(STR16("Event Out"), 16);
}

void Vst3Adapter::read_host_name(FUnknown* context) {
    if (!context) return;
    IHostApplication* host = nullptr;
    if (context->queryInterface(IHostApplication::iid, reinterpret_cast<void**>(&host)) != kResultOk || !host) return;
    String128 name{};
    if (host->getName(name) == kResultOk) {
        name[127] = 0;
        utf16_to_utf8(name, engine->host_name, sizeof engine->host_name);
    }
    host->release();
}


// ---- editor ------------------------------------------------------------------

// One editor per instance: the editor bank's change flags are taken by the
// editor that reads them, so a second editor would miss changes. While an
// editor is open, createView answers null; an earlier editor that is not open
// is let go (it can no longer open) and the new one takes its place.
IPlugView* PLUGIN_API Vst3Adapter::createView(FIDString name) {
    if (!name || std::strcmp(name, "editor") != 0) return nullptr;
    if (view && b2::editor_is_open(view)) return nullptr;
    drop_view();
    IPlugView* made = nullptr;
    try {  // building the editor allocates
        made = b2::create_editor(engine);
    } catch (...) {
        made = nullptr;
    }
    if (made) {
        made->addRef();
        view = made;
    }
    if (engine) engine->editor_countdown.store(2, std::memory_order_relaxed);
    return made;
}

void Vst3Adapter::begin_edit(int id) { beginEdit(static_cast<ParamID>(id)); }

// The instance holds the edit at once, as a host's setParamNormalized would:
// a host that is not processing (stopped, suspended, saving before the next
// block) must still read and store it. The host then echoes it through
// process as usual.
void Vst3Adapter::perform_edit(int id, double normalized) {
    const auto param = static_cast<ParamID>(id);
    if (host_parameter(param) && std::isfinite(normalized)) setParamNormalized(param, normalized);
    performEdit(param, normalized);
}
void Vst3Adapter::end_edit(int id) { endEdit(static_cast<ParamID>(id)); }

// A host without IComponentHandler2 is not told; it stores the state when
// it saves anyway, with the settings as they are then.
void Vst3Adapter::state_changed() { setDirty(true); }
}  // namespace riser
