// Vst3Adapter: processing set-up and the process call (events, transport, audio).
#include "plugin/vst3_adapter.h"

#include <cmath>
#include <cstring>

#include "dsp/sample_rate.h"
#include "engine/script_bridge.h"
#include "engine/value_format.h"
#include "plugin/adapter_helpers.h"
#include "dsp/denormal_guard.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

namespace riser {

using namespace Steinberg;
using namespace Steinberg::Vst;

tresult PLUGIN_API Vst3Adapter::setupProcessing(ProcessSetup& setup) {
    // No host can mean a rate outside the supported range (NaN, 0, negative,
    // or one whose buffers would need gigabytes): refused, and the set-up in
    // force stays as it was.
    if (!b2::sample_rate_supported(setup.sampleRate)) return kResultFalse;
    if (engine) {
        b2::set_slot(engine, b2::BANK_GLOBAL, b2::ID_SAMPLE_PER_BLOCK, static_cast<float>(setup.maxSamplesPerBlock));
        b2::set_slot(engine, b2::BANK_GLOBAL, b2::ID_SAMPLE_RATE_HOST, static_cast<float>(setup.sampleRate));
        b2::apply_sample_rate(engine, true);
        b2::reset_gain_state(engine);
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
    b2::event_list& list = engine->in_events;
    for (int32 i = 0; i < events->getEventCount(); ++i) {
        Event ev{};
        if (events->getEvent(i, ev) != kResultOk) continue;
        if (ev.type != Event::kNoteOnEvent && ev.type != Event::kNoteOffEvent) continue;
        // Notes beyond a call's share are dropped; parameter points keep theirs.
        if (list.count >= b2::kNoteEventsPerCall) return;
        b2::engine_event* rec = b2::append_event(list);
        if (!rec) return;
        *rec = b2::engine_event{};
        rec->source_index = i;
        rec->sample_offset = ev.sampleOffset;
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

namespace {

// The 16-sample cell of the stream a point at `offset` of a call of
// `samples` acts in, the offset limited to the call as the block loop does.
int64 cell_of(int32 offset, int32 samples, int32 cell_position) {
    if (samples <= 0) return 0;  // a flush applies every point at once
    const int32 at = offset < 0 ? 0 : (offset >= samples ? samples - 1 : offset);
    return (static_cast<int64>(cell_position) + at) / b2::kBlock;
}

}  // namespace

// A queue keeps one record per cell: a point overrides the queue's previous
// one when it acts in the same cell, as it would when applied. A queue past
// its share (a call longer than 4096 samples with a point in every cell) or
// past a full list has its later points folded into its last record, so the
// last point of every queue always arrives.
void Vst3Adapter::queue_parameter_changes(IParameterChanges* changes, int32 samples) {
    if (!changes) return;
    b2::event_list& list = engine->in_events;
    const int32 queues = changes->getParameterCount();
    for (int32 q = 0; q < queues; ++q) {
        IParamValueQueue* queue = changes->getParameterData(q);
        if (!queue) continue;
        const ParamID id = queue->getParameterId();
        if (!host_parameter(id)) continue;
        const int32 points = queue->getPointCount();
        b2::engine_event* last = nullptr;
        int64 last_cell = 0;
        int32 kept = 0;
        for (int32 p = 0; p < points; ++p) {
            int32 offset = 0;
            ParamValue value = 0;
            if (queue->getPoint(p, offset, value) != kResultOk || !std::isfinite(value)) continue;
            const int64 cell = cell_of(offset, samples, engine->cell_position);
            const bool same_cell = last && cell == last_cell && offset >= last->sample_offset;
            b2::engine_event* rec = last;
            if (!same_cell && kept < b2::kPointsPerQueue) {
                if (b2::engine_event* added = b2::append_event(list)) {
                    rec = added;
                    ++kept;
                }
            }
            if (!rec) continue;  // a full list and no record of this queue yet
            *rec = b2::engine_event{};
            rec->kind = b2::EV_PARAM_CHANGE;
            rec->source_index = q;
            rec->sample_offset = offset;
            rec->channel = static_cast<int16>(id);
            rec->value = b2::to_plain(static_cast<int>(id), unit_clamp(value));
            last = rec;
            last_cell = cell;
        }
    }
}

void Vst3Adapter::copy_transport(const ProcessContext* c) {
    // Without a context the transport keeps its last values, marked stale.
    engine->transport_valid = c ? 1 : 0;
    if (!c) return;
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

namespace {

// True when every sample is +0 or -0 (a NaN is not silence). No early exit:
// the loop vectorises.
bool all_zero(const float* samples, int32 n) {
    uint32 bits = 0;
    for (int32 i = 0; i < n; ++i) {
        uint32 b = 0;
        std::memcpy(&b, samples + i, sizeof b);
        bits |= b & 0x7FFFFFFFu;
    }
    return bits == 0;
}

// Hosts skip output channels flagged silent, so the flags are written on
// every call from what the channels now hold: a channel is flagged only when
// all of its samples are zero (a call without samples flags nothing).
void write_silence_flags(AudioBusBuffers& bus, int32 samples) {
    uint64 flags = 0;
    for (int32 c = 0; c < 2 && samples > 0; ++c)
        if (bus.channelBuffers32[c] && all_zero(bus.channelBuffers32[c], samples)) flags |= uint64{1} << c;
    bus.silenceFlags = flags;
}

}  // namespace

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
        if (samples32 && outputs) write_silence_flags(data.outputs[0], data.numSamples);
        pass_through_events(data.inputEvents, data.outputEvents);
        return kResultOk;
    }
    DenormalGuard no_denormals;
    queue_input_events(data.inputEvents);
    queue_parameter_changes(data.inputParameterChanges, data.numSamples);

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
    if (samples32 && outputs) write_silence_flags(data.outputs[0], data.numSamples);

    send_output_events(data.outputEvents);
    pass_through_events(data.inputEvents, data.outputEvents);
    b2::clear_events(engine->in_events);
    b2::clear_events(engine->out_events);
    return kResultOk;
}
}  // namespace riser
