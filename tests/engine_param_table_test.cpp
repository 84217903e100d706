// Parameter table contents, derived fields and the normalised mappings.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>

#include "engine/param_table.h"
#include "engine/value_format.h"

namespace {

using namespace b2;

TEST(ParamTable, HostParametersAreIdsTwoToSeventeen) {
    int host = 0;
    for (int id = 0; id < kParamCount; ++id) {
        const ParamDef* def = param_def(id);
        ASSERT_NE(def, nullptr);
        EXPECT_EQ((def->flags & PF_HOST) != 0, id >= ID_GAIN && id <= ID_BYPASS) << id;
        EXPECT_EQ((def->flags & (PF_UI_WRITE | PF_BLOB)), 0u) << id;
        if (def->flags & PF_HOST) ++host;
    }
    EXPECT_EQ(host, kHostParamCount);  // the event lists are sized from it
    EXPECT_EQ(param_def(ID_BYPASS)->flags, PF_HOST | PF_BYPASS | PF_STEPPED);
    EXPECT_STREQ(param_def(ID_GAIN)->name, "Gain");
    EXPECT_STREQ(param_def(ID_SEGMENT_HEIGHT)->name, "Segment Hgt");
    EXPECT_EQ(param_def(kParamCount), nullptr);
    EXPECT_EQ(param_def(-1), nullptr);
}

// The save passes order records by stateKey & 7; keys 1..15 belong to ids 2..16.
TEST(ParamTable, StateKeysAreUniqueAndOnlyOnStoredParameters) {
    std::set<int> keys;
    for (int id = 0; id < kParamCount; ++id) {
        int key = param_def(id)->stateKey;
        if (id >= ID_GAIN && id <= ID_K_FILTER) {
            EXPECT_EQ(key, id - 1) << id;
            keys.insert(key);
        } else {
            EXPECT_EQ(key, 0) << id;
        }
    }
    EXPECT_EQ(keys.size(), 15u);
}

TEST(ParamTable, EngineOwnedRowsAreNamedAfterTheirConstantsAndEmpty) {
    const char* names[] = {"ID_SAMPLE_RATE_HOST", "ID_SAMPLE_RATE", "ID_SAMPLE_RATE_OVER", "ID_SAMPLE_PER_BLOCK",
                           "ID_GLOBAL_RESET",     "ID_VOICE_NEW",   "ID_VOICE_ID",         "ID_VOICE_STATE",
                           "ID_VOICE_STACK",      "ID_VOICE_CHANNEL", "ID_VOICE_PITCH",    "ID_VOICE_TUNING",
                           "ID_VOICE_VELOCITY"};
    for (int id = ID_SAMPLE_RATE_HOST; id <= ID_VOICE_VELOCITY; ++id) {
        const ParamDef* def = param_def(id);
        EXPECT_STREQ(def->name, names[id - ID_SAMPLE_RATE_HOST]);
        EXPECT_EQ(def->range, 0.0f);
        EXPECT_EQ(def->flags, 0u);
        EXPECT_EQ(def->unit, nullptr);
        // An empty range maps to 0 instead of dividing by zero; back to min.
        EXPECT_EQ(to_normalized(id, 44100.0f), 0.0f);
        EXPECT_EQ(to_plain(id, 0.7f), 0.0f);
    }
}

TEST(ParamTable, StepCounts) {
    EXPECT_EQ(param_step_count(*param_def(ID_SCALE_TOP)), 138);
    EXPECT_EQ(param_step_count(*param_def(ID_SEGMENT_HEIGHT)), 24);
    EXPECT_EQ(param_step_count(*param_def(ID_K_FILTER)), 1);
    EXPECT_EQ(param_step_count(*param_def(ID_BYPASS)), 1);
    EXPECT_EQ(param_step_count(*param_def(ID_GAIN)), 0);
    EXPECT_EQ(param_step_count(*param_def(ID_RMS_WINDOW)), 0);
}

TEST(ParamTable, NormalisedHostDefaults) {
    auto norm_default = [](int id) { return to_normalized(id, param_def(id)->defaultValue); };
    EXPECT_FLOAT_EQ(norm_default(ID_GAIN), 0.5f);
    EXPECT_FLOAT_EQ(norm_default(ID_SCALE_TOP), 90.0f / 138.0f);
    EXPECT_FLOAT_EQ(norm_default(ID_RMS_WINDOW), 0.5f);
    EXPECT_NEAR(norm_default(ID_PEAK_FALL), 0.4275f, 1e-4);
    EXPECT_NEAR(norm_default(ID_VALUE_HOLD), 0.7449f, 1e-4);
    EXPECT_FLOAT_EQ(norm_default(ID_SEGMENT_HEIGHT), 0.5f);
    EXPECT_EQ(norm_default(ID_K_FILTER), 0.0f);
    EXPECT_EQ(norm_default(ID_BYPASS), 0.0f);
}

// Every skewed row, against exponents computed here in double precision.
TEST(ParamTable, SkewExponentsPutMidAtHalf) {
    struct Row {
        int id;
        double min, mid, max;
    } rows[] = {{ID_SMOOTH, 0, 0.1, 1},
                {ID_RMS_WINDOW, 10, 300, 3000},
                {ID_PEAK_FALL, 10, 500, 5000},
                {ID_VALUE_HOLD, 10, 300, 5000}};
    for (const Row& r : rows) {
        const ParamDef* def = param_def(r.id);
        ASSERT_TRUE(def->flags & PF_SKEWED) << r.id;
        double l = std::log((r.mid - r.min) / (r.max - r.min));
        EXPECT_NEAR(def->range, r.max - r.min, 1e-6);
        EXPECT_NEAR(def->expToNormalized, -std::log(2.0) / l, 1e-5) << r.id;
        EXPECT_NEAR(def->expToPlain, -l / std::log(2.0), 1e-5) << r.id;
        EXPECT_NEAR(to_plain(r.id, 0.5f), r.mid, r.mid * 1e-5) << r.id;
        EXPECT_NEAR(to_normalized(r.id, static_cast<float>(r.mid)), 0.5f, 1e-6) << r.id;
    }
}

TEST(ParamTable, InitIsIdempotent) {
    ParamDef before[kParamCount];
    std::memcpy(before, param_table(), sizeof(before));
    init_param_table();
    init_param_table();
    EXPECT_EQ(std::memcmp(before, param_table(), sizeof(before)), 0);
}

TEST(Mapping, SteppedCellsIncludeOneInTheLast) {
    EXPECT_EQ(to_plain(ID_K_FILTER, 0.49f), 0.0f);
    EXPECT_EQ(to_plain(ID_K_FILTER, 0.5f), 1.0f);
    EXPECT_EQ(to_plain(ID_K_FILTER, 1.0f), 1.0f);
    EXPECT_EQ(to_plain(ID_SCALE_TOP, 1.0f), 48.0f);
    EXPECT_EQ(to_plain(ID_SCALE_TOP, 0.0f), -90.0f);
    float zero = to_normalized(ID_SCALE_TOP, 0.0f);
    EXPECT_EQ(zero, 90.0f / 138.0f);
    EXPECT_EQ(to_plain(ID_SCALE_TOP, zero), 0.0f);
    EXPECT_EQ(to_plain(ID_SEGMENT_HEIGHT, 0.5f), 16.0f);
}

TEST(Mapping, SteppedRowsRoundTripEveryValue) {
    std::set<float> seen;
    for (int i = 0; i <= 1000; ++i) seen.insert(to_plain(ID_SEGMENT_HEIGHT, i / 1000.0f));
    EXPECT_EQ(seen.size(), 25u);
    EXPECT_EQ(*seen.begin(), 4.0f);
    EXPECT_EQ(*seen.rbegin(), 28.0f);
    for (int id : {ID_SCALE_TOP, ID_SEGMENT_HEIGHT, ID_K_FILTER, ID_BYPASS}) {
        const ParamDef* def = param_def(id);
        for (float v = def->minValue; v <= def->maxValue; v += 1.0f) {
            EXPECT_EQ(to_plain(id, to_normalized(id, v)), v) << id << " " << v;
        }
    }
}

TEST(Mapping, SkewedRmsWindow) {
    EXPECT_FLOAT_EQ(to_plain(ID_RMS_WINDOW, 0.0f), 10.0f);
    EXPECT_NEAR(to_plain(ID_RMS_WINDOW, 0.5f), 300.0f, 1e-3);
    EXPECT_FLOAT_EQ(to_plain(ID_RMS_WINDOW, 1.0f), 3000.0f);
    EXPECT_NEAR(to_plain(ID_RMS_WINDOW, 0.25f), 38.1f, 0.1);
    for (float v : {10.0f, 38.0f, 300.0f, 1234.0f, 3000.0f}) {
        EXPECT_NEAR(to_plain(ID_RMS_WINDOW, to_normalized(ID_RMS_WINDOW, v)), v, v * 1e-5);
    }
}

TEST(Mapping, LinearGain) {
    EXPECT_FLOAT_EQ(to_plain(ID_GAIN, 0.25f), -30.0f);
    EXPECT_FLOAT_EQ(to_normalized(ID_GAIN, 30.0f), 0.75f);
}

// Nothing clamps; values beyond the range stay finite and round-trip, and
// skewed rows give no NaN below their minimum.
TEST(Mapping, OutOfRangeValuesAreNotClamped) {
    EXPECT_FLOAT_EQ(to_normalized(ID_GAIN, 90.0f), 1.25f);
    float below = to_normalized(ID_RMS_WINDOW, 5.0f);
    EXPECT_TRUE(std::isfinite(below));
    EXPECT_LT(below, 0.0f);
    EXPECT_NEAR(to_plain(ID_RMS_WINDOW, below), 5.0f, 1e-3);
    float plain = to_plain(ID_VALUE_HOLD, -0.1f);
    EXPECT_TRUE(std::isfinite(plain));
    EXPECT_LT(plain, 10.0f);
    EXPECT_GT(to_normalized(ID_PEAK_FALL, 6000.0f), 1.0f);
}

TEST(Mapping, InvalidIdsReturnTheirArgument) {
    for (int id : {kParamCount, 1000, -1}) {
        EXPECT_EQ(to_normalized(id, 123.5f), 123.5f);
        EXPECT_EQ(to_plain(id, -7.25f), -7.25f);
    }
}

}  // namespace
