// Host calls that go wrong: indexes past the end, text that is not valid
// UTF-16, process calls before set-up, streams that fail, writes to values
// the host does not own, and buses that are not stereo.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "engine/engine.h"
#include "engine/value_format.h"
#include "tests/byte_stream.h"
#include "tests/plugin_host.h"

using namespace Steinberg;
using namespace Steinberg::Vst;
using b2test::AdapterPtr;
using b2test::Block;
using b2test::ByteStream;
using b2test::make_adapter;

namespace {

// A host whose name is whatever the test puts in it.
class NamedHost : public HostApplication {
public:
    std::u16string name;
    tresult PLUGIN_API getName(String128 out) override {
        const size_t n = std::min<size_t>(name.size(), 127);
        std::copy(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(n), out);
        out[n] = 0;
        return kResultOk;
    }
};

// The host's text type: char16_t, or wchar_t on Windows; NUL-terminated.
std::vector<TChar> host_text(const std::u16string& text) {
    std::vector<TChar> out(text.begin(), text.end());
    out.push_back(0);
    return out;
}

riser::Vst3Adapter* create() {
    auto* unknown = riser::Vst3Adapter::createInstance(const_cast<riser::BusConfig*>(&riser::kBusConfig));
    return static_cast<riser::Vst3Adapter*>(static_cast<IAudioProcessor*>(unknown));
}

// An instance that is initialised but never set up for processing.
AdapterPtr make_unprepared(FUnknown* host) {
    riser::Vst3Adapter* a = create();
    a->initialize(host);
    return AdapterPtr(a);
}

// A stream that accepts at most `room` bytes in all, then refuses.
class FullStream : public ByteStream {
public:
    explicit FullStream(size_t room) : room(room) {}
    tresult PLUGIN_API write(void* buffer, int32 n, int32* done) override {
        const size_t left = room > bytes.size() ? room - bytes.size() : 0;
        const int32 take = static_cast<int32>(std::min<size_t>(static_cast<size_t>(n), left));
        int32 wrote = 0;
        if (take > 0) ByteStream::write(buffer, take, &wrote);
        if (done) *done = wrote;
        return wrote == n ? kResultOk : kResultFalse;
    }
    size_t room;
};

// A stream that keeps half of every write and says it took it all.
class HalfKeepingStream : public ByteStream {
public:
    tresult PLUGIN_API write(void* buffer, int32 n, int32* done) override {
        ByteStream::write(buffer, n / 2, nullptr);
        if (done) *done = n / 2;
        return kResultOk;
    }
};

// A stream whose every read fails.
class BrokenStream : public ByteStream {
public:
    tresult PLUGIN_API read(void*, int32, int32* done) override {
        if (done) *done = 0;
        return kInternalError;
    }
};

float global(riser::Vst3Adapter* a, int id) { return b2::global_value(a->get_engine(), id); }

}  // namespace

TEST(PluginHostIndexes, IndexesPastTheEndAreRefusedNotThrown) {
    auto a = make_adapter();
    ParameterInfo info{};
    for (int32 index : {16, 17, -1, INT32_MIN, INT32_MAX})
        EXPECT_EQ(a->getParameterInfo(index, info), kInvalidArgument) << index;
    EXPECT_EQ(a->getParameterInfo(15, info), kResultOk);
    EXPECT_EQ(info.id, 17u);

    BusInfo bus{};
    SpeakerArrangement arr = 0;
    for (int32 index : {-1, 1, INT32_MIN}) {
        for (BusDirection dir : {kInput, kOutput}) {
            EXPECT_EQ(a->getBusInfo(kAudio, dir, index, bus), kInvalidArgument) << index;
            EXPECT_EQ(a->activateBus(kAudio, dir, index, true), kInvalidArgument) << index;
            EXPECT_EQ(a->getBusArrangement(dir, index, arr), kInvalidArgument) << index;
        }
        EXPECT_EQ(a->getBusInfo(kEvent, kInput, index, bus), kInvalidArgument) << index;
    }
    EXPECT_EQ(a->getBusInfo(kEvent, kOutput, 0, bus), kInvalidArgument);  // no event buses
    EXPECT_EQ(a->getBusInfo(7, kInput, 0, bus), kInvalidArgument);        // no such media type
    EXPECT_EQ(a->getBusArrangement(kOutput, 0, arr), kResultOk);
    EXPECT_EQ(arr, SpeakerArr::kStereo);

    UnitInfo unit{};
    ProgramListInfo list{};
    String128 name{};
    for (int32 index : {-1, 1, INT32_MIN}) {
        EXPECT_EQ(a->getUnitInfo(index, unit), kResultFalse) << index;
        EXPECT_EQ(a->getProgramListInfo(index, list), kResultFalse) << index;
    }
    EXPECT_EQ(a->getProgramListInfo(0, list), kResultFalse);  // no program lists
    EXPECT_EQ(a->getProgramName(kNoProgramListId, -1, name), kResultFalse);
    EXPECT_EQ(a->getProgramPitchName(0, INT32_MIN, 60, name), kResultFalse);
}

TEST(PluginHostText, UnpairedSurrogatesInHostTextAreReplacedNotThrown) {
    auto a = make_adapter();
    // "6 dB" with a lone high surrogate after it: the number is still read.
    std::u16string text = u"6 dB";
    text.push_back(u'\xD800');
    ParamValue v = 0.1;
    EXPECT_EQ(a->getParamValueByString(2, host_text(text).data(), v), kResultOk);
    EXPECT_NEAR(v, 0.55, 1e-6);
    // A lone low surrogate first: no number, the incoming value stays.
    std::u16string junk = u"x";
    junk[0] = u'\xDC00';
    junk += u"12";
    v = 0.25;
    EXPECT_EQ(a->getParamValueByString(17, host_text(junk).data(), v), kResultFalse);
    EXPECT_DOUBLE_EQ(v, 0.25);

    // The host's name: a lone low surrogate, a valid pair and a high
    // surrogate that is followed by no low one.
    NamedHost host;
    host.name = u"Bad";
    host.name.push_back(u'\xDC00');
    host.name += u"Host ";
    host.name += u"\U0001D11E";
    host.name.push_back(u'\xD834');
    host.name += u"!";
    riser::Vst3Adapter* raw = create();
    AdapterPtr b(raw);
    ASSERT_EQ(raw->initialize(&host), kResultOk);
    EXPECT_STREQ(raw->get_engine()->host_name, "Bad\xEF\xBF\xBDHost \xF0\x9D\x84\x9E\xEF\xBF\xBD!");
}

TEST(PluginHostText, TextWithoutAFiniteNumberNeverMovesAParameter) {
    auto a = make_adapter();
    // A host's field for "Gain" holding 0.7 (+0.7 dB would be the old
    // reading of the incoming value as a plain one).
    for (const char16_t* text : {u"abc", u"nan", u"inf", u"-inf", u"NaN dB", u"", u" dB", u"1e999"}) {
        ParamValue v = 0.7;
        EXPECT_EQ(a->getParamValueByString(2, host_text(text).data(), v), kResultFalse)
            << std::string(text, text + std::char_traits<char16_t>::length(text));
        EXPECT_EQ(v, 0.7);
    }
    for (const char16_t* text : {u"nan", u"xyz"}) {  // the default parser of ids without a unit
        ParamValue v = 0.3;
        EXPECT_EQ(a->getParamValueByString(40, host_text(text).data(), v), kResultFalse);
        EXPECT_EQ(v, 0.3);
    }
    // A NaN coming in is replaced by what the text says.
    ParamValue v = std::nan("");
    EXPECT_EQ(a->getParamValueByString(2, host_text(u"6 dB").data(), v), kResultOk);
    EXPECT_NEAR(v, 0.55, 1e-6);
    v = std::nan("");
    EXPECT_EQ(a->getParamValueByString(5, host_text(u"3000 ms").data(), v), kResultOk);
    EXPECT_EQ(v, 1.0);
    EXPECT_EQ(a->getParamValueByString(2, nullptr, v), kInvalidArgument);
}

TEST(PluginHostText, LongHostNamesAreCutBetweenCharacters) {
    NamedHost host;
    host.name.assign(127, u'\x00E9');  // "é": two bytes each
    riser::Vst3Adapter* raw = create();
    AdapterPtr a(raw);
    ASSERT_EQ(raw->initialize(&host), kResultOk);
    const std::string got = raw->get_engine()->host_name;
    EXPECT_EQ(got.size(), 126u);  // 63 whole characters; the 64th would not fit
    for (size_t i = 0; i < got.size(); i += 2) EXPECT_EQ(got.substr(i, 2), "\xC3\xA9") << i;
}

TEST(PluginUnprepared, ProcessBeforeSetupPassesTheInputThrough) {
    HostApplication host;
    auto a = make_unprepared(&host);
    Block b(40, 0.0f);
    for (int i = 0; i < 40; ++i) {
        b.in[0][i] = 0.01f * static_cast<float>(i);
        b.in[1][i] = -0.02f * static_cast<float>(i);
    }
    EventList in(4), out(4);
    Event ev{};
    ev.type = Event::kNoteOnEvent;
    ev.sampleOffset = 5;
    ev.noteOn = {0, 60, 0.0f, 0.8f, 0, 3};
    in.addEvent(ev);
    ParameterChanges changes(1);
    int32 index = 0;
    changes.addParameterData(2, index)->addPoint(0, 1.0, index);
    b.data.inputEvents = &in;
    b.data.outputEvents = &out;
    b.data.inputParameterChanges = &changes;
    ASSERT_EQ(a->process(b.data), kResultOk);
    EXPECT_EQ(b.out[0], b.in[0]);
    EXPECT_EQ(b.out[1], b.in[1]);
    EXPECT_EQ(out.getEventCount(), 1);  // the input event, passed on
    b2::engine* e = a->get_engine();
    EXPECT_EQ(e->in_events.count, 0);
    EXPECT_EQ(e->out_events.count, 0);

    // No input bus: silence.
    Block quiet(24, 0.0f);
    std::fill(quiet.out[0].begin(), quiet.out[0].end(), 9.0f);
    std::fill(quiet.out[1].begin(), quiet.out[1].end(), 9.0f);
    quiet.data.numInputs = 0;
    quiet.data.inputs = nullptr;
    ASSERT_EQ(a->process(quiet.data), kResultOk);
    for (int c = 0; c < 2; ++c)
        for (float s : quiet.out[c]) EXPECT_EQ(s, 0.0f);

    // The parameter point was not lost: it reached the banks as a flush does.
    EXPECT_EQ(global(a.get(), b2::ID_GAIN), 60.0f);
    EXPECT_EQ(e->banks[b2::BANK_EDITOR][b2::ID_GAIN].get(), 60.0f);

    // Set up, the meter runs with that gain, ramping up from silence.
    ProcessSetup setup{kRealtime, kSample32, 512, 48000.0};
    ASSERT_EQ(a->setupProcessing(setup), kResultOk);
    Block run(4800, 0.0005f);
    ASSERT_EQ(a->process(run.data), kResultOk);
    EXPECT_LT(run.out[0][0], 0.05f);  // far below the target 0.5
    EXPECT_NEAR(run.out[0].back(), 0.5f, 1e-4f);
}

TEST(PluginUnprepared, ASecondInitializeNeedsANewSetup) {
    HostApplication host;  // outlives the instance, which holds it until terminate
    auto a = make_adapter();
    Block b(32, 0.25f);
    ASSERT_EQ(a->process(b.data), kResultOk);
    a->terminate();
    ASSERT_EQ(a->initialize(&host), kResultOk);
    Block again(32, 0.25f);
    for (int i = 0; i < 32; ++i) again.in[1][i] = 0.001f * static_cast<float>(i);
    ASSERT_EQ(a->process(again.data), kResultOk);  // the fresh engine is not wired yet
    EXPECT_EQ(again.out[0], again.in[0]);
    EXPECT_EQ(again.out[1], again.in[1]);
}

TEST(PluginUnprepared, ProcessAfterTerminatePassesTheInputThrough) {
    auto a = make_adapter();
    a->setParamNormalized(b2::ID_GAIN, 0.55);  // +6 dB: the strips would not pass the input as it is
    Block b(64, 0.25f);
    ASSERT_EQ(a->process(b.data), kResultOk);
    a->terminate();  // the rings are gone
    Block after(64, 0.0f);
    for (int i = 0; i < 64; ++i) after.in[0][i] = after.in[1][i] = 0.01f * static_cast<float>(i % 7);
    ASSERT_EQ(a->process(after.data), kResultOk);
    EXPECT_EQ(after.out[0], after.in[0]);
    EXPECT_EQ(after.out[1], after.in[1]);
}

TEST(PluginStateFaults, AStateThatCannotBeWrittenIsReportedAsFailed) {
    auto a = make_adapter();
    EXPECT_NE(a->getState(nullptr), kResultOk);
    FullStream none(0);
    EXPECT_EQ(a->getState(&none), kResultFalse);
    FullStream half(50);
    EXPECT_EQ(a->getState(&half), kResultFalse);
    HalfKeepingStream cut;  // answers kResultOk, but the count says otherwise
    EXPECT_EQ(a->getState(&cut), kResultFalse);
    FullStream room(105);
    EXPECT_EQ(a->getState(&room), kResultOk);
    EXPECT_EQ(room.bytes.size(), 105u);
}

TEST(PluginStateFaults, AStateThatCannotBeReadChangesNothing) {
    auto a = make_adapter();
    a->setParamNormalized(5, 1.0);  // RMS Window 3000 ms
    b2::engine* e = a->get_engine();
    b2::clear_editor_flags(e);
    EXPECT_NE(a->setState(nullptr), kResultOk);
    BrokenStream broken;
    EXPECT_EQ(a->setState(&broken), kResultFalse);
    EXPECT_EQ(global(a.get(), b2::ID_RMS_WINDOW), 3000.0f);
    for (int id = 0; id < b2::kParamCount; ++id) EXPECT_FALSE(e->banks[b2::BANK_EDITOR][id].is_changed()) << id;

    // A readable stream still loads and reports success.
    ByteStream s;
    make_adapter()->getState(&s);
    s.pos = 0;
    EXPECT_EQ(a->setState(&s), kResultOk);
    EXPECT_EQ(global(a.get(), b2::ID_RMS_WINDOW), 300.0f);
}

TEST(PluginHostWrites, OnlyHostParametersAcceptHostWrites) {
    auto a = make_adapter();
    b2::engine* e = a->get_engine();
    float before[b2::kParamCount];
    for (int id = 0; id < b2::kParamCount; ++id) before[id] = global(a.get(), id);
    b2::clear_editor_flags(e);
    for (ParamID id : {0u, 1u, 18u, 19u, 22u, 25u, 30u, 31u, 40u, 0xFFFFFFFFu}) {
        EXPECT_NE(a->setParamNormalized(id, 0.0), kResultOk) << id;
        EXPECT_NE(a->setParamNormalized(id, 1.0), kResultOk) << id;
    }
    for (int id = 0; id < b2::kParamCount; ++id) {
        EXPECT_EQ(global(a.get(), id), before[id]) << id;
        EXPECT_FALSE(e->banks[b2::BANK_EDITOR][id].is_changed()) << id;
    }
    for (ParamID id = 2; id <= 17; ++id) EXPECT_EQ(a->setParamNormalized(id, 0.5), kResultOk) << id;

    // Parameter points for engine-owned ids are dropped; the host's own apply.
    ParameterChanges changes(4);
    int32 index = 0;
    changes.addParameterData(b2::ID_SAMPLE_RATE, index)->addPoint(0, 0.0, index);
    changes.addParameterData(b2::ID_SMOOTH, index)->addPoint(0, 1.0, index);
    changes.addParameterData(b2::ID_VOICE_STATE, index)->addPoint(0, 1.0, index);
    changes.addParameterData(b2::ID_K_FILTER, index)->addPoint(0, 1.0, index);
    Block b(32, 0.5f);
    b.data.inputParameterChanges = &changes;
    ASSERT_EQ(a->process(b.data), kResultOk);
    EXPECT_EQ(global(a.get(), b2::ID_SAMPLE_RATE), 48000.0f);
    EXPECT_EQ(global(a.get(), b2::ID_SMOOTH), before[b2::ID_SMOOTH]);
    EXPECT_EQ(e->banks[0][b2::ID_VOICE_STATE].get(), 0.0f);
    EXPECT_EQ(global(a.get(), b2::ID_K_FILTER), 1.0f);
}

TEST(PluginAutomation, APointInAProcessCallReachesTheEditorBank) {
    auto a = make_adapter();
    b2::engine* e = a->get_engine();
    Block warm(32, 0.5f);
    a->process(warm.data);
    b2::clear_editor_flags(e);
    ParameterChanges changes(1);
    int32 index = 0;
    changes.addParameterData(b2::ID_GAIN, index)->addPoint(20, 0.55, index);  // +6 dB
    Block b(64, 0.5f);
    b.data.inputParameterChanges = &changes;
    ASSERT_EQ(a->process(b.data), kResultOk);
    const b2::value_slot& slot = e->banks[b2::BANK_EDITOR][b2::ID_GAIN];
    EXPECT_NEAR(slot.get(), 6.0f, 1e-4f);
    EXPECT_TRUE(slot.is_changed());
    for (int id = 0; id < b2::kParamCount; ++id) {
        if (id == b2::ID_GAIN) continue;
        EXPECT_FALSE(e->banks[b2::BANK_EDITOR][id].is_changed()) << id;
    }
}

// A point per sample for every host parameter: a call of 4096 samples reads
// exactly as the same points in calls of 16 samples (a point acts at the
// start of its cell, so one record per cell and queue is all that counts),
// and in a longer call every queue's last point still arrives.
TEST(PluginAutomation, DenseAutomationReadsAsInShortCallsAndKeepsEveryLastPoint) {
    constexpr int32 n = 4096;
    auto one_call = make_adapter(48000.0, n);
    auto short_calls = make_adapter(48000.0, n);
    // "Gain" moves on every sample; every other parameter gets points at the
    // value it has.
    auto value = [&](int id, int32 p) {
        return id == b2::ID_GAIN ? 0.5 + 0.05 * std::sin(0.01 * p) : one_call->getParamNormalized(static_cast<ParamID>(id));
    };
    Block whole(n);
    for (int32 i = 0; i < n; ++i) whole.in[0][i] = whole.in[1][i] = 0.3f * static_cast<float>(std::sin(0.05 * i));
    std::vector<float> cut[2];
    for (int32 start = 0; start < n; start += 16) {
        auto changes = b2test::dense_automation(start, 16, value);
        Block piece(16);
        for (int c = 0; c < 2; ++c) std::copy_n(whole.in[c].begin() + start, 16, piece.in[c].begin());
        piece.data.inputParameterChanges = changes.get();
        ASSERT_EQ(short_calls->process(piece.data), kResultOk);
        for (int c = 0; c < 2; ++c) cut[c].insert(cut[c].end(), piece.out[c].begin(), piece.out[c].end());
    }
    auto dense = b2test::dense_automation(0, n, value);
    whole.data.inputParameterChanges = dense.get();
    ASSERT_EQ(one_call->process(whole.data), kResultOk);
    EXPECT_EQ(whole.out[0], cut[0]);
    EXPECT_EQ(whole.out[1], cut[1]);
    EXPECT_NE(whole.out[0][n - 1], whole.in[0][n - 1]);  // the gain did move

    // 8192 samples: more cells than a queue has room for. Every queue's last
    // point, each to a value of its own, arrives.
    auto longer = make_adapter(48000.0, 2 * n);
    auto to_last = [&](int id, int32 p) {
        return p + 1 < 2 * n ? longer->getParamNormalized(static_cast<ParamID>(id)) : (id - b2::ID_GAIN) / 15.0;
    };
    auto later = b2test::dense_automation(0, 2 * n, to_last);
    Block big(2 * n, 0.25f);
    big.data.inputParameterChanges = later.get();
    ASSERT_EQ(longer->process(big.data), kResultOk);
    for (int id = b2::ID_GAIN; id <= b2::ID_BYPASS; ++id)
        EXPECT_EQ(global(longer.get(), id), b2::to_plain(id, static_cast<float>((id - b2::ID_GAIN) / 15.0))) << id;
}

TEST(PluginBuses, AMonoBusIsNeverReadOrWrittenAsStereo) {
    auto a = make_adapter();
    // Channel pointer arrays of one element on the heap, so that reading a
    // second pointer is caught by the address sanitizer.
    std::unique_ptr<float*[]> one_in(new float*[1]);
    std::unique_ptr<float*[]> one_out(new float*[1]);

    // Mono input, stereo output: the input counts as absent, the output is silence.
    Block b(48, 0.5f);
    one_in[0] = b.in[0].data();
    b.in_bus.numChannels = 1;
    b.in_bus.channelBuffers32 = one_in.get();
    std::fill(b.out[0].begin(), b.out[0].end(), 9.0f);
    std::fill(b.out[1].begin(), b.out[1].end(), 9.0f);
    ASSERT_EQ(a->process(b.data), kResultOk);
    for (int c = 0; c < 2; ++c)
        for (float s : b.out[c]) EXPECT_EQ(s, 0.0f);

    // Stereo input, mono output: the output bus is left as the host passed it.
    Block m(48, 0.5f);
    one_out[0] = m.out[0].data();
    m.out_bus.numChannels = 1;
    m.out_bus.channelBuffers32 = one_out.get();
    std::fill(m.out[0].begin(), m.out[0].end(), 9.0f);
    ASSERT_EQ(a->process(m.data), kResultOk);
    for (float s : m.out[0]) EXPECT_EQ(s, 9.0f);

    // Both mono, and a bus without channels.
    m.in_bus.numChannels = 1;
    m.in_bus.channelBuffers32 = one_in.get();
    one_in[0] = m.in[0].data();
    ASSERT_EQ(a->process(m.data), kResultOk);
    for (float s : m.out[0]) EXPECT_EQ(s, 9.0f);
    m.in_bus.numChannels = 0;
    m.in_bus.channelBuffers32 = nullptr;
    ASSERT_EQ(a->process(m.data), kResultOk);
}
