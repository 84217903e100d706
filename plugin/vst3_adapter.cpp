#include "plugin/vst3_adapter.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

#include "editor/create_editor.h"
#include "engine/rng.h"
#include "engine/script_bridge.h"
#include "engine/value_format.h"
#include "plugin/denormal_guard.h"
#include "plugin/utf16.h"
#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

namespace riser {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Widens a NUL-terminated byte string into UTF-16, byte by byte (sign-extended),
// the terminating NUL included.
void widen(const char* text, TChar* out, size_t room) {
    size_t i = 0;
    for (; i + 1 < room && text[i]; ++i) out[i] = static_cast<TChar>(static_cast<int16>(static_cast<signed char>(text[i])));
    out[i] = 0;
}

bool finite(double v) { return std::isfinite(v); }

// Normalised values from a host are 0..1 by contract; a value outside would
// become a plain value no control could set (a gain of 10^600, say).
float unit_clamp(double v) { return static_cast<float>(v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v)); }

// The host writes only its own parameters; the engine-owned ids (sample
// rate, reset, voices) and the internal ones (0, 1) are not the host's to set.
bool host_parameter(ParamID id) {
    const b2::ParamDef* def = id < static_cast<ParamID>(b2::kParamCount) ? b2::param_def(static_cast<int>(id)) : nullptr;
    return def && (def->flags & b2::PF_HOST);
}

}  // namespace

Vst3Adapter::Vst3Adapter(const BusConfig* config) : bus_config(config ? config : &kBusConfig) {
    processContextRequirements.flags = 0;
}

Vst3Adapter::~Vst3Adapter() { b2::destroy_engine(engine); }

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

// ---- buses -------------------------------------------------------------------

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

tresult PLUGIN_API Vst3Adapter::setupProcessing(ProcessSetup& setup) {
    if (engine) {
        b2::set_slot(engine, b2::BANK_GLOBAL, b2::ID_SAMPLE_PER_BLOCK, static_cast<float>(setup.maxSamplesPerBlock));
        b2::set_slot(engine, b2::BANK_GLOBAL, b2::ID_SAMPLE_RATE_HOST, static_cast<float>(setup.sampleRate));
        b2::apply_sample_rate(engine, true);
        last_sample_rate = setup.sampleRate;
        prepared.store(true, std::memory_order_release);
    }
    return SingleComponentEffect::setupProcessing(setup);
}

tresult PLUGIN_API Vst3Adapter::setProcessing(TBool state) {
    if (engine) b2::set_slot(engine, b2::BANK_GLOBAL, b2::ID_GLOBAL_RESET, state ? 1.0f : 0.0f);
    return kResultOk;
}

uint32 PLUGIN_API Vst3Adapter::getProcessContextRequirements() {
    return IProcessContextRequirements::kNeedContinousTimeSamples | IProcessContextRequirements::kNeedProjectTimeMusic |
           IProcessContextRequirements::kNeedBarPositionMusic | IProcessContextRequirements::kNeedCycleMusic |
           IProcessContextRequirements::kNeedTempo | IProcessContextRequirements::kNeedTransportState;
}

void Vst3Adapter::queue_input_events(IEventList* events) {
    if (!events) return;
    for (int32 i = 0; i < events->getEventCount(); ++i) {
        Event ev{};
        if (events->getEvent(i, ev) != kResultOk) continue;
        if (ev.type != Event::kNoteOnEvent && ev.type != Event::kNoteOffEvent) continue;
        b2::engine_event* rec = b2::append_event(engine->in_events);
        if (!rec) return;
        rec->source_index = i;
        rec->sample_offset = ev.sampleOffset;
        rec->time_ticks = 0;
        if (ev.type == Event::kNoteOnEvent) {
            rec->kind = b2::EV_NOTE_ON;
            rec->channel = ev.noteOn.channel;
            rec->pitch = ev.noteOn.pitch;
            rec->value = ev.noteOn.tuning;
            rec->velocity = ev.noteOn.velocity;
            rec->on_note_id = ev.noteOn.noteId;
        } else {
            rec->kind = b2::EV_NOTE_OFF;
            rec->channel = ev.noteOff.channel;
            rec->pitch = ev.noteOff.pitch;
            rec->off_note_id = ev.noteOff.noteId;
        }
    }
}

void Vst3Adapter::queue_parameter_changes(IParameterChanges* changes) {
    if (!changes) return;
    const int32 queues = changes->getParameterCount();
    for (int32 q = 0; q < queues; ++q) {
        IParamValueQueue* queue = changes->getParameterData(q);
        if (!queue) continue;
        const ParamID id = queue->getParameterId();
        if (!host_parameter(id)) continue;
        const int32 points = queue->getPointCount();
        for (int32 p = 0; p < points; ++p) {
            int32 offset = 0;
            ParamValue value = 0;
            if (queue->getPoint(p, offset, value) != kResultOk || !finite(value)) continue;
            b2::engine_event* rec = b2::append_event(engine->in_events);
            if (!rec) return;
            rec->kind = b2::EV_PARAM_CHANGE;
            rec->source_index = q;
            rec->sample_offset = offset;
            rec->channel = static_cast<int16>(id);
            rec->value = b2::to_plain(static_cast<int>(id), unit_clamp(value));
        }
    }
}

void Vst3Adapter::copy_transport(const ProcessContext* c) {
    if (!c) return;  // without a context the transport keeps its last values
    engine->project_time_samples = c->projectTimeSamples;
    engine->playing = (c->state & ProcessContext::kPlaying) ? 1 : 0;
    engine->cycle_active = (c->state & ProcessContext::kCycleActive) ? 1 : 0;
    if (c->state & ProcessContext::kProjectTimeMusicValid) engine->project_time_ticks = c->projectTimeMusic * 64.0;
    if (c->state & ProcessContext::kCycleValid) {
        engine->cycle_start_ticks = c->cycleStartMusic * 64.0;
        engine->cycle_end_ticks = c->cycleEndMusic * 64.0;
    }
    if (c->state & ProcessContext::kTempoValid) engine->tempo_ticks = c->tempo * 1.0666666666666667;
}

void Vst3Adapter::send_output_events(IEventList* out) {
    if (!out) return;
    for (int32 i = 0; i < engine->out_events.count; ++i) {
        const b2::engine_event& rec = engine->out_events.items[i];
        Event ev{};
        ev.busIndex = 0;
        ev.sampleOffset = rec.sample_offset;
        ev.ppqPosition = rec.time_ticks * 0.015625;
        ev.flags = 0;
        switch (rec.kind) {
            case b2::EV_NOTE_OFF:
                ev.type = Event::kNoteOffEvent;
                ev.noteOff = {rec.channel, rec.pitch, 0.0f, rec.off_note_id, 0.0f};
                break;
            case b2::EV_NOTE_ON:
                ev.type = Event::kNoteOnEvent;
                ev.noteOn = {rec.channel, rec.pitch, static_cast<float>(rec.value), static_cast<float>(rec.velocity),
                             0, rec.on_note_id};
                break;
            case b2::EV_CONTROLLER: {
                ev.type = Event::kLegacyMIDICCOutEvent;
                ev.midiCCOut.controlNumber = static_cast<uint8>(rec.pitch & 0xFF);
                ev.midiCCOut.channel = static_cast<int8>(rec.channel & 0xFF);
                const double v = rec.value;
                const int64 iv = (v > -9.2e18 && v < 9.2e18) ? static_cast<int64>(v) : 0;
                ev.midiCCOut.value = static_cast<int8>(iv & 0xFF);
                ev.midiCCOut.value2 = 0;
                break;
            }
            default:
                continue;  // no event type for other kinds: not sent
        }
        out->addEvent(ev);
    }
}

void Vst3Adapter::pass_through_events(IEventList* in, IEventList* out) {
    if (!in || !out) return;
    for (int32 i = 0; i < in->getEventCount(); ++i) {
        Event ev{};
        if (in->getEvent(i, ev) == kResultOk) out->addEvent(ev);
    }
}

void Vst3Adapter::pass_audio_through(float* const* inputs, float* const* outputs, int32 samples) {
    if (!outputs || samples <= 0) return;
    const size_t bytes = sizeof(float) * static_cast<size_t>(samples);
    for (int c = 0; c < 2; ++c) {
        float* out = outputs[c];
        const float* in = inputs ? inputs[c] : nullptr;
        if (!out || in == out) continue;
        if (in)
            std::memmove(out, in, bytes);
        else
            std::memset(out, 0, bytes);
    }
}

tresult PLUGIN_API Vst3Adapter::process(ProcessData& data) {
    // Only a stereo bus is used; any other leaves its buffers untouched.
    auto bus = [](bool configured, int32 count, AudioBusBuffers* buses) -> float* const* {
        if (!configured || count != 1 || !buses || buses[0].numChannels < 2) return nullptr;
        return buses[0].channelBuffers32;
    };
    float* const* inputs = bus(bus_config->audio_in, data.numInputs, data.inputs);
    float* const* outputs = bus(bus_config->audio_out, data.numOutputs, data.outputs);
    const bool samples32 = data.symbolicSampleSize == kSample32;
    if (!engine) {
        if (samples32) pass_audio_through(inputs, outputs, data.numSamples);
        pass_through_events(data.inputEvents, data.outputEvents);
        return kResultOk;
    }
    DenormalGuard no_denormals;
    queue_input_events(data.inputEvents);
    queue_parameter_changes(data.inputParameterChanges);

    copy_transport(data.processContext);
    const double rate = data.processContext ? data.processContext->sampleRate : last_sample_rate;
    const uint64 rate_arg = (rate >= 0 && rate < 1.8e19) ? static_cast<uint64>(rate) : 0;
    const uint64 samples_arg = static_cast<uint64>(static_cast<int64>(data.numSamples));
    b2::call_hook(b2::SIDE_AUDIO, engine, b2::HOOK_PROCESS, reinterpret_cast<uintptr_t>(engine), samples_arg,
                  rate_arg, 0);

    // The strips exist only once setupProcessing has wired them; until then
    // (and for sample sizes the strips do not take) the audio passes
    // unchanged and the call's parameter changes reach the banks as a flush
    // does, so no host change is lost.
    if (samples32 && prepared.load(std::memory_order_acquire)) {
        b2::process_block(engine, inputs, outputs, data.numSamples);
    } else {
        b2::process_block(engine, nullptr, nullptr, 0);
        if (samples32) pass_audio_through(inputs, outputs, data.numSamples);
    }

    send_output_events(data.outputEvents);
    pass_through_events(data.inputEvents, data.outputEvents);
    b2::clear_events(engine->in_events);
    b2::clear_events(engine->out_events);
    return kResultOk;
}

// ---- state ------------------------------------------------------------------

tresult PLUGIN_API Vst3Adapter::setState(IBStream* state) {
    if (!state) return kInvalidArgument;
    if (!engine) return kResultFalse;
    const int64_t r = b2::call_hook(b2::SIDE_AUDIO, engine, b2::HOOK_SET_STATE, reinterpret_cast<uintptr_t>(this),
                                    reinterpret_cast<uintptr_t>(state), 0, 0);
    return static_cast<tresult>(static_cast<int32>(r));
}

tresult PLUGIN_API Vst3Adapter::getState(IBStream* state) {
    if (!state) return kInvalidArgument;
    if (!engine) return kResultFalse;
    // The state service answers 0 once the whole state is in the stream and
    // kResultFalse when the stream refused any of it: a host must not keep
    // a cut state as if it were complete.
    const int64_t r = b2::call_hook(b2::SIDE_AUDIO, engine, b2::HOOK_GET_STATE, reinterpret_cast<uintptr_t>(this),
                                    reinterpret_cast<uintptr_t>(state), 0, 0);
    return r == 0 ? kResultOk : kResultFalse;
}

// ---- edit controller ---------------------------------------------------------

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
    if (!finite(value)) return kInvalidArgument;  // a NaN would poison the value for good
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

tresult PLUGIN_API Vst3Adapter::getParamValueByString(ParamID id, TChar* string, ParamValue& valueNormalized) {
    const int i = static_cast<int>(id > 0x7FFFFFFF ? 0x7FFFFFFF : id);
    float f = static_cast<float>(valueNormalized);
    if (string) {
        char text[4 * b2::kTextSize];
        utf16_to_utf8(string, text, sizeof text);
        b2::parse_value(i, text, &f);
    }
    float n = b2::to_normalized(i, f);
    if (!(n >= 0.0f)) n = 0.0f;  // NaN included
    if (n > 1.0f) n = 1.0f;
    valueNormalized = n;
    return kResultOk;
}

IPlugView* PLUGIN_API Vst3Adapter::createView(FIDString name) {
    if (!name || std::strcmp(name, "editor") != 0) return nullptr;
    IPlugView* view = nullptr;
    try {  // building the editor allocates
        view = b2::create_editor(engine);
    } catch (...) {
        view = nullptr;
    }
    if (engine) engine->editor_countdown.store(2, std::memory_order_relaxed);
    return view;
}

tresult PLUGIN_API Vst3Adapter::getUnitInfo(int32 unitIndex, UnitInfo& info) {
    if (unitIndex != 0) return kResultFalse;
    info.id = kRootUnitId;
    info.parentUnitId = kNoParentUnitId;
    info.programListId = kNoProgramListId;
    widen("Global", info.name, 128);
    return kResultOk;
}

void Vst3Adapter::begin_edit(int id) { beginEdit(static_cast<ParamID>(id)); }
void Vst3Adapter::perform_edit(int id, double normalized) { performEdit(static_cast<ParamID>(id), normalized); }
void Vst3Adapter::end_edit(int id) { endEdit(static_cast<ParamID>(id)); }

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
