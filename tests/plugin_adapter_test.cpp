// Vst3Adapter at the VST3 boundary: buses, sample sizes, parameters, state,
// events and process calls.
#include <gtest/gtest.h>

#include <lua.hpp>

#include <cmath>
#include <cstring>
#include <string>

#include "engine/script_bridge.h"
#include "engine/state_io.h"
#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/gui/iplugview.h"
#include "tests/byte_stream.h"
#include "tests/plugin_host.h"

using namespace Steinberg;
using namespace Steinberg::Vst;
using b2test::Block;
using b2test::make_adapter;

namespace {

std::string narrow(const TChar* s) {
    std::string out;
    for (; *s; ++s) out.push_back(static_cast<char>(*s));
    return out;
}

// Replaces the audio-side script so tests can see what the hooks receive.
void load_audio_script(riser::Vst3Adapter* a, const char* source) {
    b2::engine* e = a->get_engine();
    b2::close_script_state(e->audio_state);
    e->audio_state = b2::create_script_state(source, std::strlen(source));
}

lua_Integer script_int(riser::Vst3Adapter* a, const char* name) {
    lua_State* L = a->get_engine()->audio_state;
    lua_getglobal(L, name);
    const lua_Integer v = lua_tointeger(L, -1);
    lua_pop(L, 1);
    return v;
}

Event note_on(int32 offset, int32 id) {
    Event ev{};
    ev.type = Event::kNoteOnEvent;
    ev.sampleOffset = offset;
    ev.noteOn = {0, 60, 0.0f, 0.8f, 0, id};
    return ev;
}

}  // namespace

TEST(PluginBuses, OnlyOneStereoInputAndOutputAreAccepted) {
    auto a = make_adapter();
    SpeakerArrangement stereo[2] = {SpeakerArr::kStereo, SpeakerArr::kStereo};
    SpeakerArrangement mono = SpeakerArr::kMono;
    EXPECT_EQ(a->setBusArrangements(stereo, 1, stereo, 1), kResultTrue);
    EXPECT_EQ(a->setBusArrangements(&mono, 1, stereo, 1), kResultFalse);
    EXPECT_EQ(a->setBusArrangements(stereo, 2, stereo, 1), kResultFalse);
    EXPECT_EQ(a->setBusArrangements(nullptr, 0, stereo, 1), kResultFalse);
    EXPECT_EQ(a->setBusArrangements(stereo, 1, &mono, 1), kResultFalse);
    EXPECT_EQ(a->getBusCount(kAudio, kInput), 1);
    EXPECT_EQ(a->getBusCount(kAudio, kOutput), 1);
    EXPECT_EQ(a->getBusCount(kEvent, kInput), 0);
}

TEST(PluginSampleSize, SixtyFourBitIsRefusedButTheRateIsStillWritten) {
    auto a = make_adapter();
    EXPECT_EQ(a->canProcessSampleSize(kSample32), kResultTrue);
    EXPECT_EQ(a->canProcessSampleSize(kSample64), kResultFalse);
    ProcessSetup setup{kRealtime, kSample64, 256, 96000.0};
    EXPECT_EQ(a->setupProcessing(setup), kResultFalse);
    EXPECT_EQ(b2::global_value(a->get_engine(), b2::ID_SAMPLE_RATE), 96000.0f);
    EXPECT_EQ(b2::global_value(a->get_engine(), b2::ID_SAMPLE_PER_BLOCK), 256.0f);
    EXPECT_EQ(a->getProcessContextRequirements(), 0x45Eu);
    EXPECT_EQ(a->getLatencySamples(), 0u);
    EXPECT_EQ(a->getTailSamples(), 0u);
}

TEST(PluginParameters, SixteenHostParametersWithTheirTexts) {
    auto a = make_adapter();
    ASSERT_EQ(a->getParameterCount(), 16);
    ParameterInfo info{};
    a->getParameterInfo(0, info);
    EXPECT_EQ(info.id, 2u);
    EXPECT_EQ(narrow(info.title), "Gain");
    EXPECT_DOUBLE_EQ(info.defaultNormalizedValue, 0.5);
    EXPECT_EQ(info.flags, ParameterInfo::kCanAutomate);
    a->getParameterInfo(15, info);
    EXPECT_EQ(info.id, 17u);
    EXPECT_EQ(narrow(info.title), "Bypass");
    EXPECT_EQ(info.flags, ParameterInfo::kIsBypass);
    EXPECT_EQ(info.stepCount, 1);
    a->getParameterInfo(13, info);  // "Segment Hgt"
    EXPECT_EQ(info.stepCount, 24);

    String128 text;
    a->getParamStringByValue(17, 1.0, text);
    EXPECT_EQ(narrow(text), "1.0000");
    a->getParamStringByValue(2, 0.5, text);
    EXPECT_EQ(narrow(text), "0.0 dB");
    a->getParamStringByValue(40, 0.25, text);  // no such parameter: default format
    EXPECT_EQ(narrow(text), "0.2500");

    ParamValue v = 0.3;
    a->getParamValueByString(5, const_cast<TChar*>(STR16("3000 ms")), v);
    EXPECT_DOUBLE_EQ(v, 1.0);
    v = 0.3;
    a->getParamValueByString(2, const_cast<TChar*>(STR16("999 dB")), v);
    EXPECT_DOUBLE_EQ(v, 1.0);  // clamped
    v = 0.25;
    EXPECT_EQ(a->getParamValueByString(17, const_cast<TChar*>(STR16("abc")), v), kResultFalse);
    EXPECT_DOUBLE_EQ(v, 0.25);  // nothing recognised: the incoming value stays
}

TEST(PluginParameters, NormalisedValuesGoThroughTheGlobalBank) {
    auto a = make_adapter();
    b2::engine* e = a->get_engine();
    b2::clear_editor_flags(e);
    EXPECT_EQ(a->setParamNormalized(2, 0.5), kResultOk);
    EXPECT_NEAR(a->getParamNormalized(2), 0.5, 1e-7);
    EXPECT_TRUE(e->banks[b2::BANK_EDITOR][2].is_changed());
    a->setParamNormalized(2, 1.0);
    EXPECT_EQ(b2::global_value(e, b2::ID_GAIN), 60.0f);
    EXPECT_EQ(a->setParamNormalized(40, 1.0), kInvalidArgument);  // no such parameter
    EXPECT_EQ(a->getParamNormalized(40), 0.0);
    EXPECT_NE(a->setParamNormalized(2, std::nan("")), kResultOk);  // NaN never reaches the engine
    EXPECT_EQ(b2::global_value(e, b2::ID_GAIN), 60.0f);
    a->setParamNormalized(2, -3.0);  // outside 0..1: limited to the range's end
    EXPECT_EQ(b2::global_value(e, b2::ID_GAIN), -60.0f);
}

#if RISER_HAS_EDITOR
// The editor opens in the host's native window type of this platform (HWND
// on Windows, an X11 window id on Linux) and refuses the other.
TEST(PluginController, EditorTakesThisPlatformsWindowType) {
#if SMTG_OS_WINDOWS
    const FIDString native = kPlatformTypeHWND, foreign = kPlatformTypeX11EmbedWindowID;
#else
    const FIDString native = kPlatformTypeX11EmbedWindowID, foreign = kPlatformTypeHWND;
#endif
    auto a = make_adapter();
    IPlugView* view = a->createView("editor");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->isPlatformTypeSupported(native), kResultTrue);
    EXPECT_NE(view->isPlatformTypeSupported(foreign), kResultTrue);
    EXPECT_NE(view->isPlatformTypeSupported(kPlatformTypeNSView), kResultTrue);
    EXPECT_EQ(view->attached(nullptr, foreign), kResultFalse);
    view->release();
}
#endif

TEST(PluginController, ViewsUnitsAndHiddenInterfaces) {
    auto a = make_adapter();
    b2::engine* e = a->get_engine();
    e->editor_countdown = 0;
    EXPECT_EQ(a->createView("Editor"), nullptr);
    EXPECT_EQ(a->createView(nullptr), nullptr);
    EXPECT_EQ(e->editor_countdown.load(), 0);
    IPlugView* view = a->createView("editor");
    EXPECT_EQ(e->editor_countdown.load(), 2);
    if (view) view->release();

    EXPECT_EQ(a->getUnitCount(), 1);
    UnitInfo unit{};
    EXPECT_EQ(a->getUnitInfo(1, unit), kResultFalse);
    ASSERT_EQ(a->getUnitInfo(0, unit), kResultOk);
    EXPECT_EQ(narrow(unit.name), "Global");
    EXPECT_EQ(unit.parentUnitId, -1);
    EXPECT_EQ(unit.programListId, -1);
    EXPECT_EQ(a->openHelp(false), kResultFalse);
    EXPECT_EQ(a->openAboutBox(false), kResultFalse);

    void* obj = nullptr;
    EXPECT_EQ(a->queryInterface(IUnitInfo::iid, &obj), kResultOk);
    static_cast<IUnitInfo*>(obj)->release();
    EXPECT_NE(a->queryInterface(IMidiMapping::iid, &obj), kResultOk);
    EXPECT_NE(a->queryInterface(INoteExpressionController::iid, &obj), kResultOk);
    ParamID id = 0;
    EXPECT_EQ(a->getMidiControllerAssignment(0, 0, 7, id), kResultFalse);
    EXPECT_EQ(a->getNoteExpressionCount(0, 0), 4);
    NoteExpressionTypeInfo ne{};
    ASSERT_EQ(a->getNoteExpressionInfo(0, 0, 3, ne), kResultOk);
    EXPECT_EQ(ne.typeId, 5u);
    EXPECT_EQ(narrow(ne.shortTitle), "Bgt");
    EXPECT_EQ(a->getNoteExpressionInfo(0, 0, 4, ne), kResultFalse);
    String128 text;
    a->getNoteExpressionStringByValue(0, 0, 0, 0.25, text);
    EXPECT_EQ(narrow(text), "0.2500");
}

TEST(PluginState, DefaultStreamRoundTrips) {
    auto a = make_adapter();
    b2test::ByteStream s;
    EXPECT_EQ(a->getState(&s), kResultOk);
    ASSERT_EQ(s.bytes.size(), 105u);
    a->setParamNormalized(5, 1.0);  // RMS Window 3000 ms
    s.pos = 0;
    EXPECT_EQ(a->setState(&s), kResultOk);
    EXPECT_EQ(b2::global_value(a->get_engine(), b2::ID_RMS_WINDOW), 300.0f);

    b2test::ByteStream again;
    a->getState(&again);
    EXPECT_EQ(again.bytes, s.bytes);

    // A script without the state hook still reports success.
    load_audio_script(a.get(), "x = 1");
    s.pos = 0;
    EXPECT_EQ(a->setState(&s), kResultOk);
}

TEST(PluginProcess, ParameterPointsLandOnTheirSubBlock) {
    auto a = make_adapter();
    for (int i = 0; i < 200; ++i) {
        Block warm(512, 0.5f);
        a->process(warm.data);
    }
    ParameterChanges changes(4);
    int32 index = 0;
    changes.addParameterData(2, index)->addPoint(33, 0.55, index);  // Gain +6 dB at sample 33
    changes.addParameterData(40, index)->addPoint(0, 1.0, index);   // no such parameter
    changes.addParameterData(5, index)->addPoint(0, 7.0, index);    // outside 0..1: limited
    changes.getParameterData(2)->addPoint(1, std::nan(""), index);  // not a number: skipped
    Block b(64, 0.5f);
    b.data.inputParameterChanges = &changes;
    EXPECT_EQ(a->process(b.data), kResultOk);
    for (int i = 0; i < 32; ++i) EXPECT_NEAR(b.out[0][i], 0.5f, 1e-5f) << i;
    EXPECT_GT(b.out[0][32], 0.5f + 1e-3f);
    EXPECT_NEAR(b2::global_value(a->get_engine(), b2::ID_GAIN), 6.0f, 1e-4f);
    EXPECT_EQ(b2::global_value(a->get_engine(), b2::ID_RMS_WINDOW), 3000.0f);
}

TEST(PluginProcess, ZeroSampleFlushAppliesChangesAndEventsPassThrough) {
    auto a = make_adapter();
    ParameterChanges changes(1);
    int32 index = 0;
    changes.addParameterData(2, index)->addPoint(0, 1.0, index);
    Block empty(0);
    empty.data.inputParameterChanges = &changes;
    EXPECT_EQ(a->process(empty.data), kResultOk);
    // A flush while the transport stands reaches the banks (and the editor) at once.
    EXPECT_EQ(b2::global_value(a->get_engine(), b2::ID_GAIN), 60.0f);
    EXPECT_EQ(a->get_engine()->banks[b2::BANK_EDITOR][b2::ID_GAIN].get(), 60.0f);

    // The engine's own output events come first, then the host's input events unchanged.
    b2::engine* e = a->get_engine();
    EventList in(8), out(8);
    Event on = note_on(3, 11);
    Event off{};
    off.type = Event::kNoteOffEvent;
    off.sampleOffset = 7;
    off.noteOff = {0, 60, 0.0f, 11, 0.0f};
    Event poly{};
    poly.type = Event::kPolyPressureEvent;
    poly.sampleOffset = 1;
    in.addEvent(on);
    in.addEvent(off);
    in.addEvent(poly);
    b2::engine_event* own = b2::append_event(e->out_events);
    *own = b2::engine_event{};
    own->kind = b2::EV_CONTROLLER;
    own->pitch = 0x107;  // controller 7 (low byte)
    own->value = 300.0;  // cut to 8 bits
    own->time_ticks = 128;
    b2::engine_event* odd = b2::append_event(e->out_events);
    *odd = b2::engine_event{};
    odd->kind = 4;  // no event type: not sent
    Block b(32);
    b.data.inputEvents = &in;
    b.data.outputEvents = &out;
    a->process(b.data);
    ASSERT_EQ(out.getEventCount(), 4);
    Event got{};
    out.getEvent(0, got);
    EXPECT_EQ(got.type, Event::kLegacyMIDICCOutEvent);
    EXPECT_EQ(got.midiCCOut.controlNumber, 7);
    EXPECT_EQ(static_cast<uint8>(got.midiCCOut.value), 300 & 0xFF);
    EXPECT_DOUBLE_EQ(got.ppqPosition, 2.0);
    for (int i = 0; i < 3; ++i) {
        Event want{};
        in.getEvent(i, want);
        out.getEvent(i + 1, got);
        EXPECT_EQ(std::memcmp(&want, &got, sizeof want), 0) << i;
    }
    // The note on took three voice banks; the lists are empty again.
    EXPECT_EQ(e->banks[0][b2::ID_VOICE_STATE].get(), 0.0f);  // released by the note off at 7
    EXPECT_EQ(e->in_events.count, 0);
    EXPECT_EQ(e->out_events.count, 0);
}

// "Bypass" carries the host's bypass flag: a host that shows the plug-in as
// bypassed gets its input back, whatever "Gain" says, and the gain returns
// when bypass goes off. Automated through a parameter point, as hosts do.
TEST(PluginProcess, HostBypassGivesTheInputBack) {
    auto a = make_adapter();
    a->setParamNormalized(b2::ID_GAIN, 0.6);  // +12 dB
    ParameterChanges changes(1);
    int32 index = 0;
    changes.addParameterData(b2::ID_BYPASS, index)->addPoint(0, 1.0, index);
    for (int i = 0; i < 20; ++i) {
        Block b(480, 0.0f);
        for (int c = 0; c < 2; ++c)
            for (int n = 0; n < 480; ++n) b.in[c][n] = 0.1f * std::sin(0.05f * static_cast<float>(n + c));
        if (i == 0) b.data.inputParameterChanges = &changes;
        ASSERT_EQ(a->process(b.data), kResultOk);
        if (i < 19) continue;
        EXPECT_EQ(b.out[0], b.in[0]);  // settled: exactly the input
        EXPECT_EQ(b.out[1], b.in[1]);
    }
    EXPECT_EQ(a->getParamNormalized(b2::ID_BYPASS), 1.0);
    a->setParamNormalized(b2::ID_BYPASS, 0.0);
    Block b(4800, 0.1f);
    a->process(b.data);
    EXPECT_NEAR(b.out[0].back(), 0.1f * std::pow(10.0f, 0.6f), 1e-5f);
}

TEST(PluginProcess, HostsWithoutInputBusOrContext) {
    auto a = make_adapter(44100.0);
    load_audio_script(a.get(), R"(
        function drt(e, code, obj, a, b, c)
          if code == 143040 then samples = a; rate = b end
          return 0
        end)");
    Block b(64, 0.5f);
    b.data.numInputs = 0;
    b.data.inputs = nullptr;
    std::fill(b.out[0].begin(), b.out[0].end(), 9.0f);
    EXPECT_EQ(a->process(b.data), kResultOk);
    for (float v : b.out[0]) EXPECT_EQ(v, 0.0f);  // silence in, silence out
    EXPECT_EQ(script_int(a.get(), "samples"), 64);
    EXPECT_EQ(script_int(a.get(), "rate"), 44100);  // no context: the setup's rate

    ProcessContext ctx{};
    ctx.sampleRate = 48000.7;
    ctx.state = ProcessContext::kPlaying | ProcessContext::kTempoValid | ProcessContext::kProjectTimeMusicValid;
    ctx.tempo = 120.0;
    ctx.projectTimeMusic = 2.0;
    ctx.projectTimeSamples = 1000;
    b.data.processContext = &ctx;
    a->process(b.data);
    b2::engine* e = a->get_engine();
    EXPECT_EQ(script_int(a.get(), "rate"), 48000);
    EXPECT_EQ(e->playing, 1);
    EXPECT_DOUBLE_EQ(e->tempo_ticks, 128.0);
    EXPECT_DOUBLE_EQ(e->project_time_ticks, 128.0);
    b.data.processContext = nullptr;  // the transport keeps its last values
    a->process(b.data);
    EXPECT_EQ(e->playing, 1);
    EXPECT_EQ(e->project_time_samples, 1000);

    // A bus with fewer than two channels is treated as absent, never read past.
    b.in_bus.numChannels = 1;
    b.data.numInputs = 1;
    b.data.inputs = &b.in_bus;
    EXPECT_EQ(a->process(b.data), kResultOk);
}

TEST(PluginLifecycle, ReinitialiseAndManyCycles) {
    for (int cycle = 0; cycle < 1000; ++cycle) {
        auto a = make_adapter(8000.0 + 1000.0 * (cycle % 40), 64 + cycle % 512);
        Block b(1 + cycle % 100, 0.25f);
        a->process(b.data);
        b2test::ByteStream s;
        a->getState(&s);
        s.pos = 0;
        a->setState(&s);
        if (cycle % 100 == 0) {  // a second initialize after terminate works on a fresh engine
            a->terminate();
            static Steinberg::Vst::HostApplication host;
            ASSERT_EQ(a->initialize(&host), kResultOk);
            EXPECT_EQ(a->getParameterCount(), 16);
            ProcessSetup setup{kRealtime, kSample32, 512, 48000.0};
            a->setupProcessing(setup);
            a->process(b.data);
        }
    }
}
