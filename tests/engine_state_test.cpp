// The stored state: writing, reading and damaged streams.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>
#include <cstring>
#include <limits>
#include <memory>

#include "engine/engine.h"
#include "tests/test_support.h"
#include "engine/script_bridge.h"
#include "engine/state_io.h"
#include "engine/value_format.h"
#include "tests/byte_stream.h"

using namespace b2;
using b2test::ByteStream;

namespace {

using b2test::EnginePtr;

const int kStored[] = {ID_GAIN, ID_SCALE_TOP, ID_SCALE_ZERO, ID_RMS_WINDOW, ID_RMS_HIGH,
                       ID_RMS_LOW, ID_PEAK_FALL, ID_PEAK_CLIP, ID_PEAK_HIGH, ID_PEAK_LOW,
                       ID_CREST_HIGH, ID_CREST_LOW, ID_VALUE_HOLD, ID_SEGMENT_HEIGHT, ID_K_FILTER};

void clear_flags(engine* e) {
    clear_change_flags(e);
    clear_editor_flags(e);
}

std::vector<uint8_t> record(uint8_t type, uint16_t key, float value) {
    std::vector<uint8_t> r = {type, static_cast<uint8_t>(key), static_cast<uint8_t>(key >> 8), 0, 0, 0, 0};
    std::memcpy(&r[3], &value, 4);
    return r;
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST(StoredState, DefaultStreamIs105BytesInPassOrder) {
    EnginePtr e(create_engine(nullptr));
    ByteStream s;
    write_state(e.get(), &s);
    ASSERT_EQ(s.bytes.size(), 105u);
    EXPECT_EQ(s.bytes[0], 1);
    EXPECT_EQ(s.bytes[1], 8);
    EXPECT_EQ(s.bytes[2], 0);
    const uint8_t minus_four[4] = {0x00, 0x00, 0x80, 0xC0};  // -4.0f, little-endian
    EXPECT_EQ(std::memcmp(&s.bytes[3], minus_four, 4), 0);
    const int keys[] = {8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15};
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(s.bytes[i * 7], 1) << i;
        EXPECT_EQ(s.bytes[i * 7 + 1] | (s.bytes[i * 7 + 2] << 8), keys[i]) << i;
    }
}

TEST(StoredState, WriteThenReadRestoresEveryStoredValue) {
    EnginePtr a(create_engine(nullptr));
    // A distinct in-range value per parameter, on a step where it has steps
    // (the only values a host or the editor can set).
    auto value_of = [](int i) {
        const ParamDef& d = *param_def(kStored[i]);
        const float v = d.minValue + (d.maxValue - d.minValue) * static_cast<float>(i + 1) / 17.0f;
        return (d.flags & PF_STEPPED) ? to_plain(kStored[i], to_normalized(kStored[i], v)) : v;
    };
    for (int i = 0; i < 15; ++i) set_global_value(a.get(), kStored[i], value_of(i));
    set_global_value(a.get(), ID_SMOOTH, 0.7f);  // not stored
    ByteStream s;
    write_state(a.get(), &s);

    EnginePtr b(create_engine(nullptr));
    clear_flags(b.get());
    s.pos = 0;
    read_state(b.get(), &s);
    for (int i = 0; i < 15; ++i) {
        const int id = kStored[i];
        EXPECT_EQ(global_value(b.get(), id), value_of(i)) << id;
        EXPECT_EQ(b->banks[BANK_EDITOR][id].get(), value_of(i)) << id;
        EXPECT_TRUE(b->banks[BANK_GLOBAL][id].is_changed()) << id;
        EXPECT_TRUE(b->banks[BANK_EDITOR][id].is_changed()) << id;
    }
    EXPECT_EQ(global_value(b.get(), ID_SMOOTH), 0.1f);
    EXPECT_FALSE(b->banks[BANK_GLOBAL][ID_SMOOTH].is_changed());
}

TEST(StoredState, EmptyCutAndKeyZeroStreams) {
    EnginePtr e(create_engine(nullptr));
    clear_flags(e.get());
    ByteStream empty;
    read_state(e.get(), &empty);
    for (int id = 0; id < kParamCount; ++id) EXPECT_FALSE(e->banks[BANK_GLOBAL][id].is_changed()) << id;

    // Two whole records, then one cut inside its value.
    auto bytes = record(1, 1, 12.0f) + record(1, 2, -30.0f) + record(1, 4, 999.0f);
    bytes.resize(bytes.size() - 2);
    ByteStream cut(bytes);
    read_state(e.get(), &cut);
    EXPECT_EQ(global_value(e.get(), ID_GAIN), 12.0f);
    EXPECT_EQ(global_value(e.get(), ID_SCALE_TOP), -30.0f);
    EXPECT_EQ(global_value(e.get(), ID_RMS_WINDOW), 300.0f);
    EXPECT_FALSE(e->banks[BANK_GLOBAL][ID_RMS_WINDOW].is_changed());

    // Key 0 (Smooth, Bypass and the engine's own ids) changes nothing; the
    // records after it still apply. Unknown keys are skipped.
    clear_flags(e.get());
    ByteStream zero(record(1, 0, 5.0f) + record(1, 77, 5.0f) + record(1, 15, 1.0f));
    read_state(e.get(), &zero);
    EXPECT_EQ(global_value(e.get(), ID_SMOOTH), 0.1f);
    EXPECT_EQ(global_value(e.get(), ID_BYPASS), 0.0f);
    EXPECT_FALSE(e->banks[BANK_GLOBAL][ID_SMOOTH].is_changed());
    EXPECT_EQ(global_value(e.get(), ID_K_FILTER), 1.0f);
}

TEST(StoredState, UnknownTypesAndOversizedBlocksEndLoading) {
    EnginePtr e(create_engine(nullptr));
    // A block record with no block parameter for its key is read and skipped.
    std::vector<uint8_t> blob = {2, 5, 0, 3, 0, 0, 0, 'a', 'b', 'c'};
    // A record of an unknown type ends loading: its payload (here bytes that
    // would read as an "RMS Window" record) is never taken for records.
    std::vector<uint8_t> unknown = {9, 3, 0};
    ByteStream s(record(1, 1, 7.0f) + blob + record(1, 2, -12.0f) + unknown + record(1, 4, 3000.0f) +
                 record(1, 3, -40.0f));
    EXPECT_TRUE(read_state(e.get(), &s));
    EXPECT_EQ(global_value(e.get(), ID_GAIN), 7.0f);
    EXPECT_EQ(global_value(e.get(), ID_SCALE_TOP), -12.0f);
    EXPECT_EQ(global_value(e.get(), ID_RMS_WINDOW), 300.0f);
    EXPECT_EQ(global_value(e.get(), ID_SCALE_ZERO), 0.0f);

    // A block larger than the format allows ends loading.
    EnginePtr f(create_engine(nullptr));
    std::vector<uint8_t> huge = {2, 5, 0, 0x01, 0x20, 0, 0};  // 8193 bytes announced
    ByteStream t(record(1, 2, -12.0f) + huge + std::vector<uint8_t>(8193, 0) + record(1, 3, -40.0f));
    read_state(f.get(), &t);
    EXPECT_EQ(global_value(f.get(), ID_SCALE_TOP), -12.0f);
    EXPECT_EQ(global_value(f.get(), ID_SCALE_ZERO), 0.0f);
}

TEST(StoredState, SteppedValuesLoadOnTheStepTheHostShows) {
    EnginePtr e(create_engine(nullptr));
    ByteStream s(record(1, 15, 0.3f) + record(1, 2, -17.6f) + record(1, 14, 27.9f) + record(1, 1, 0.3f));
    read_state(e.get(), &s);
    EXPECT_EQ(global_value(e.get(), ID_K_FILTER), 0.0f);  // reads "Off", so it is off
    EXPECT_EQ(e->banks[BANK_EDITOR][ID_K_FILTER].get(), 0.0f);
    EXPECT_EQ(global_value(e.get(), ID_SCALE_TOP), to_plain(ID_SCALE_TOP, to_normalized(ID_SCALE_TOP, -17.6f)));
    EXPECT_EQ(std::trunc(global_value(e.get(), ID_SCALE_TOP)), global_value(e.get(), ID_SCALE_TOP));
    EXPECT_EQ(global_value(e.get(), ID_SEGMENT_HEIGHT), 28.0f);  // in the host's cell of the last step
    EXPECT_EQ(global_value(e.get(), ID_GAIN), 0.3f);  // not stepped: as stored

    ByteStream on(record(1, 15, 1.0f));
    read_state(e.get(), &on);
    EXPECT_EQ(global_value(e.get(), ID_K_FILTER), 1.0f);
}

TEST(StoredState, AStateWithoutTheBypassRecordWasSavedNotBypassed) {
    EnginePtr saved(create_engine(nullptr));
    ByteStream plain;
    write_state(saved.get(), &plain);
    ASSERT_EQ(plain.bytes.size(), 105u);

    EnginePtr e(create_engine(nullptr));
    set_global_value(e.get(), ID_BYPASS, 1.0f);
    plain.pos = 0;
    read_state(e.get(), &plain);
    EXPECT_EQ(global_value(e.get(), ID_BYPASS), 0.0f);
    EXPECT_EQ(e->banks[BANK_EDITOR][ID_BYPASS].get(), 0.0f);

    // An empty stream is no state: nothing changes.
    set_global_value(e.get(), ID_BYPASS, 1.0f);
    ByteStream empty;
    read_state(e.get(), &empty);
    EXPECT_EQ(global_value(e.get(), ID_BYPASS), 1.0f);
}

TEST(StoredState, EveryStateThisVersionWritesReadsBack) {
    for (float bypass : {0.0f, 1.0f}) {
        EnginePtr a(create_engine(nullptr));
        for (int id : kStored) {
            const ParamDef& def = *param_def(id);
            set_global_value(a.get(), id, to_plain(id, 0.73f));
            ASSERT_NE(global_value(a.get(), id), def.defaultValue) << id;
        }
        set_global_value(a.get(), ID_BYPASS, bypass);
        ByteStream s;
        ASSERT_TRUE(write_state(a.get(), &s));
        EnginePtr b(create_engine(nullptr));
        set_global_value(b.get(), ID_BYPASS, 1.0f - bypass);
        s.pos = 0;
        ASSERT_TRUE(read_state(b.get(), &s));
        for (int id : kStored) EXPECT_EQ(global_value(b.get(), id), global_value(a.get(), id)) << id;
        EXPECT_EQ(global_value(b.get(), ID_BYPASS), bypass);
    }
}

TEST(StoredState, AStreamAnsweringFalseAtItsEndIsReadInFull) {
    EnginePtr a(create_engine(nullptr));
    set_global_value(a.get(), ID_PEAK_FALL, 1234.0f);
    set_global_value(a.get(), ID_CREST_LOW, 3.0f);
    ByteStream s;
    write_state(a.get(), &s);
    s.pos = 0;
    s.false_on_short_read = true;
    EnginePtr b(create_engine(nullptr));
    EXPECT_TRUE(read_state(b.get(), &s));
    EXPECT_EQ(global_value(b.get(), ID_PEAK_FALL), 1234.0f);
    EXPECT_EQ(global_value(b.get(), ID_CREST_LOW), 3.0f);  // the last record
}

TEST(StoredState, HooksOfTheEmbeddedScriptReachTheStateServices) {
    EnginePtr a(create_engine(nullptr));
    set_global_value(a.get(), ID_PEAK_FALL, 1234.0f);
    ByteStream s;
    EXPECT_EQ(call_hook(SIDE_AUDIO, a.get(), HOOK_GET_STATE, 0, reinterpret_cast<uintptr_t>(&s), 0, 0), 0);
    ASSERT_EQ(s.bytes.size(), 105u);
    EnginePtr b(create_engine(nullptr));
    s.pos = 0;
    EXPECT_EQ(call_hook(SIDE_AUDIO, b.get(), HOOK_SET_STATE, 0, reinterpret_cast<uintptr_t>(&s), 0, 0), 0);
    EXPECT_EQ(global_value(b.get(), ID_PEAK_FALL), 1234.0f);
}

TEST(StoredState, BypassTravelsInOneExtraRecordOnlyWhileOn) {
    EnginePtr a(create_engine(nullptr));
    set_global_value(a.get(), ID_BYPASS, 1.0f);
    ByteStream s;
    write_state(a.get(), &s);
    ASSERT_EQ(s.bytes.size(), 112u);
    EXPECT_EQ(s.bytes[105], 1);
    EXPECT_EQ(s.bytes[106] | (s.bytes[107] << 8), kBypassStateKey);

    EnginePtr b(create_engine(nullptr));
    s.pos = 0;
    read_state(b.get(), &s);
    EXPECT_EQ(global_value(b.get(), ID_BYPASS), 1.0f);
    EXPECT_EQ(b->banks[BANK_EDITOR][ID_BYPASS].get(), 1.0f);

    // Not bypassed: the default 105-byte stream.
    set_global_value(a.get(), ID_BYPASS, 0.0f);
    ByteStream plain;
    write_state(a.get(), &plain);
    EXPECT_EQ(plain.bytes.size(), 105u);
}

TEST(StoredState, DamagedValuesAreDroppedOrLimitedToTheRange) {
    EnginePtr e(create_engine(nullptr));
    clear_flags(e.get());
    ByteStream s(record(1, 1, std::nanf("")) + record(1, 2, 1e30f) + record(1, 4, -5.0f) +
                 record(1, 14, std::numeric_limits<float>::infinity()) + record(1, 16, 7.0f));
    read_state(e.get(), &s);
    EXPECT_EQ(global_value(e.get(), ID_GAIN), 0.0f);  // NaN dropped
    EXPECT_FALSE(e->banks[BANK_GLOBAL][ID_GAIN].is_changed());
    EXPECT_EQ(global_value(e.get(), ID_SCALE_TOP), 48.0f);
    EXPECT_EQ(global_value(e.get(), ID_RMS_WINDOW), 10.0f);
    EXPECT_EQ(global_value(e.get(), ID_SEGMENT_HEIGHT), 16.0f);  // infinity dropped
    EXPECT_EQ(global_value(e.get(), ID_BYPASS), 1.0f);
}
