// Value texts: the units, the fallbacks and the meter readout format.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "engine/param_table.h"
#include "engine/value_format.h"

namespace {

using namespace b2;

std::string fmt(const ValueUnit& unit, float value) {
    char text[kTextSize];
    std::memset(text, 'x', sizeof(text));
    unit.format(text, value);
    return text;
}

std::string fmt_id(int id, float value) {
    char text[kTextSize];
    format_value(id, value, text);
    return text;
}

// Parses `text` into an output preset to `preset`; returns the output.
float parse(const ValueUnit& unit, const char* text, float preset = -999.0f, bool expect_read = true) {
    float out = preset;
    EXPECT_EQ(unit.parse(text, &out), expect_read) << text;
    return out;
}

TEST(UnitTime, FormatChoosesPrecisionByMagnitude) {
    EXPECT_EQ(fmt(UnitTime, 0.05f), "0.050 ms");
    EXPECT_EQ(fmt(UnitTime, 0.5f), "0.50 ms");
    EXPECT_EQ(fmt(UnitTime, 10.0f), "10.0 ms");
    EXPECT_EQ(fmt(UnitTime, 300.0f), "300 ms");
    EXPECT_EQ(fmt(UnitTime, 1000.0f), "1.00 s");
    EXPECT_EQ(fmt(UnitTime, 1500.0f), "1.50 s");
    EXPECT_EQ(fmt(UnitTime, 5000.0f), "5.00 s");
    EXPECT_EQ(fmt(UnitTime, 10000.0f), "10.0 s");
    EXPECT_EQ(fmt(UnitTime, -1500.0f), "-1.50 s");
    // 0.1f is slightly above 0.1, so it takes the two-decimal format.
    EXPECT_EQ(fmt(UnitTime, 0.1f), "0.10 ms");
    EXPECT_EQ(fmt(UnitTime, 99.9f), "99.9 ms");
    EXPECT_EQ(fmt_id(ID_RMS_WINDOW, 300.0f), "300 ms");
}

TEST(UnitTime, ParseSecondsOnlyWithAnSAndNoM) {
    EXPECT_EQ(parse(UnitTime, "1.5 s"), 1500.0f);
    EXPECT_EQ(parse(UnitTime, "1.5s"), 1500.0f);
    EXPECT_EQ(parse(UnitTime, "300 ms"), 300.0f);
    EXPECT_EQ(parse(UnitTime, "300"), 300.0f);
    EXPECT_EQ(parse(UnitTime, "2 min"), 2.0f);
    EXPECT_EQ(parse(UnitTime, "s", 42.0f, false), 42.0f);
}

TEST(UnitDecibel, FormatAndParse) {
    EXPECT_EQ(fmt(UnitDecibel, -200.0f), "-200.0 dB");
    EXPECT_EQ(fmt(UnitDecibel, -200.1f), "-inf");
    EXPECT_EQ(fmt(UnitDecibel, 6.04f), "6.0 dB");
    EXPECT_EQ(fmt(UnitDecibel, std::nanf("")), "-inf");
    EXPECT_EQ(fmt_id(ID_GAIN, 0.0f), "0.0 dB");
    EXPECT_EQ(parse(UnitDecibel, "-12.5 dB"), -12.5f);
    EXPECT_EQ(parse(UnitDecibel, "dB", 3.0f, false), 3.0f);
}

TEST(UnitOnOff, AnyNonZeroIntegerPartIsOn) {
    EXPECT_EQ(fmt(UnitOnOff, 0.9f), "Off");
    EXPECT_EQ(fmt(UnitOnOff, -0.9f), "Off");
    EXPECT_EQ(fmt(UnitOnOff, -1.0f), "On");
    EXPECT_EQ(fmt(UnitOnOff, 1.0f), "On");
    EXPECT_EQ(fmt_id(ID_K_FILTER, 0.0f), "Off");
    EXPECT_EQ(parse(UnitOnOff, "1"), 1.0f);
    // Its own texts read back, so a host's text entry of "On" works.
    EXPECT_EQ(parse(UnitOnOff, "On", 0.0f), 1.0f);
    EXPECT_EQ(parse(UnitOnOff, " off", 1.0f), 0.0f);
    EXPECT_EQ(parse(UnitOnOff, "OFF", 1.0f), 0.0f);
    EXPECT_EQ(parse(UnitOnOff, "maybe", 0.5f, false), 0.5f);
}

TEST(UnitPixels, FormatTruncatesAndParseAcceptsHexAndBinary) {
    EXPECT_EQ(fmt(UnitPixels, 16.0f), "16 px");
    EXPECT_EQ(fmt(UnitPixels, 16.99f), "16 px");
    EXPECT_EQ(fmt(UnitPixels, -3.5f), "-3 px");
    EXPECT_EQ(fmt_id(ID_SEGMENT_HEIGHT, 16.0f), "16 px");
    EXPECT_EQ(parse(UnitPixels, "16 px"), 16.0f);
    EXPECT_EQ(parse(UnitPixels, "0x10"), 16.0f);
    EXPECT_EQ(parse(UnitPixels, "10000b"), 16.0f);
    EXPECT_EQ(parse(UnitPixels, "0x"), 0.0f);  // too short for hex: "%f" reads the 0
    EXPECT_EQ(parse(UnitPixels, "px", 7.0f, false), 7.0f);
    EXPECT_EQ(parse(UnitPixels, "xb", 7.0f, false), 7.0f);
}

// Values without an int32 truncation: NaN prints "nan", the rest clamps.
TEST(IntegerFormats, NonFiniteAndHugeValues) {
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(fmt(UnitPixels, std::nanf("")), "nan px");
    EXPECT_EQ(fmt(UnitPixels, 1e20f), "2147483647 px");
    EXPECT_EQ(fmt(UnitPixels, -inf), "-2147483648 px");
    EXPECT_EQ(fmt(UnitInteger, inf), "2147483647");
    EXPECT_EQ(fmt(UnitPercent, std::nanf("")), "nan%");
    EXPECT_EQ(fmt(UnitHex, 1e20f), "0x7FFFFFFF");
    EXPECT_EQ(fmt(UnitHex, std::nanf("")), "nan");
    EXPECT_EQ(fmt(UnitNote, std::nanf("")), "--");
    EXPECT_EQ(fmt(UnitRatio, inf), "?");
}

TEST(Fallback, RowsWithoutUnitAndInvalidIds) {
    EXPECT_EQ(fmt_id(ID_SMOOTH, 0.1f), "0.1000");
    EXPECT_EQ(fmt_id(ID_BYPASS, 1.0f), "1.0000");
    EXPECT_EQ(fmt_id(ID_SMOOTH, 0.0f), "0.0000");
    EXPECT_EQ(fmt_id(ID_SAMPLE_RATE, 48000.0f), "48000.0000");
    EXPECT_EQ(fmt_id(kParamCount, 16.0f), "16.0000");
    EXPECT_EQ(fmt_id(-1, -0.5f), "-0.5000");
    float out = 5.0f;
    EXPECT_TRUE(parse_value(kParamCount, "0x10", &out));  // no unit: read as a C float
    EXPECT_EQ(out, 16.0f);
    EXPECT_TRUE(parse_value(ID_BYPASS, " 1", &out));
    EXPECT_EQ(out, 1.0f);
    EXPECT_FALSE(parse_value(ID_SMOOTH, "fast", &out));
    EXPECT_EQ(out, 1.0f);
    EXPECT_TRUE(parse_value(ID_RMS_WINDOW, "2s", &out));  // rows dispatch to their unit
    EXPECT_EQ(out, 2000.0f);
}

TEST(FormatReadout, OneDecimalDownToMinus200) {
    char text[kTextSize];
    formatReadout(-199.96f, text);
    EXPECT_STREQ(text, "-200.0");
    formatReadout(-200.0f, text);
    EXPECT_STREQ(text, "-200.0");
    formatReadout(-200.5f, text);
    EXPECT_STREQ(text, "---");
    formatReadout(3.14f, text);
    EXPECT_STREQ(text, "3.1");
    formatReadout(std::nanf(""), text);
    EXPECT_STREQ(text, "---");
}

TEST(UnitFrequency, FormatAndKiloParse) {
    EXPECT_EQ(fmt(UnitFrequency, 440.0f), "440 Hz");
    EXPECT_EQ(fmt(UnitFrequency, 1682.0f), "1.68 kHz");
    EXPECT_EQ(fmt(UnitFrequency, 12000.0f), "12.0 kHz");
    EXPECT_EQ(fmt(UnitFrequency, 0.05f), "0.050 Hz");
    EXPECT_EQ(fmt(UnitFrequency, 55.5f), "55.5 Hz");
    EXPECT_EQ(parse(UnitFrequency, "1.5k"), 1500.0f);
    EXPECT_EQ(parse(UnitFrequency, "440 Hz"), 440.0f);
    EXPECT_EQ(parse(UnitFrequency, "kHz", 1.0f, false), 1.0f);
}

TEST(UnitHex, SignedThirtyTwoBitRoundTrip) {
    EXPECT_EQ(fmt(UnitHex, 255.9f), "0xFF");
    EXPECT_EQ(fmt(UnitHex, -1.0f), "0xFFFFFFFF");
    EXPECT_EQ(parse(UnitHex, "ff"), 255.0f);
    EXPECT_EQ(parse(UnitHex, "0x10"), 16.0f);
    EXPECT_EQ(parse(UnitHex, "0xFFFFFFFF"), -1.0f);
    EXPECT_EQ(parse(UnitHex, "0x80000000"), -2147483648.0f);
    // The largest positive value stays positive and prints as it was typed.
    EXPECT_EQ(parse(UnitHex, "0x7FFFFFFF"), 2147483647.0f);
    EXPECT_EQ(fmt(UnitHex, parse(UnitHex, "0x7FFFFFFF")), "0x7FFFFFFF");
    EXPECT_EQ(fmt(UnitHex, parse(UnitHex, "0x7FFFFF80")), "0x7FFFFF80");
    EXPECT_EQ(parse(UnitHex, "0x123456789ABCDEF0123"), -1.0f);  // saturates at 32 bits
    EXPECT_EQ(parse(UnitHex, "zz", 9.0f, false), 9.0f);
    for (float v : {0.0f, 1.0f, -2.0f, 4096.0f, -65536.0f}) {
        EXPECT_EQ(parse(UnitHex, fmt(UnitHex, v).c_str()), v) << v;
    }
}

TEST(UnitInteger, TruncatesTowardZeroAndUsesTheGeneralParse) {
    EXPECT_EQ(fmt(UnitInteger, 3.9f), "3");
    EXPECT_EQ(fmt(UnitInteger, -3.9f), "-3");
    EXPECT_EQ(parse(UnitInteger, "12.5"), 12.5f);
    EXPECT_EQ(parse(UnitInteger, "0x1F"), 31.0f);
    EXPECT_EQ(parse(UnitInteger, "101b"), 5.0f);
    EXPECT_EQ(parse(UnitInteger, "-4"), -4.0f);
}

TEST(UnitPercent, Format) {
    EXPECT_EQ(fmt(UnitPercent, 50.7f), "50%");
    EXPECT_EQ(fmt(UnitPercent, -0.5f), "0%");
    EXPECT_EQ(parse(UnitPercent, "75 %"), 75.0f);
}

TEST(UnitNote, OnlyMidiNoteNumbers) {
    EXPECT_EQ(fmt(UnitNote, 60.0f), "60");
    EXPECT_EQ(fmt(UnitNote, 0.0f), "0");
    EXPECT_EQ(fmt(UnitNote, 127.9f), "127");
    EXPECT_EQ(fmt(UnitNote, 128.0f), "--");
    EXPECT_EQ(fmt(UnitNote, -0.5f), "--");
    EXPECT_EQ(parse(UnitNote, "0x3C"), 60.0f);
}

TEST(UnitRatio, FormatByIndex) {
    EXPECT_EQ(fmt(UnitRatio, 0.0f), "16/4");
    EXPECT_EQ(fmt(UnitRatio, 14.0f), "1/4");
    EXPECT_EQ(fmt(UnitRatio, 16.5f), "1/8");
    EXPECT_EQ(fmt(UnitRatio, 20.0f), "1/128");
    EXPECT_EQ(fmt(UnitRatio, 21.0f), "?");
    EXPECT_EQ(fmt(UnitRatio, -1.0f), "?");
}

TEST(UnitRatio, ParseFindsTheFirstEqualLength) {
    for (int i = 0; i <= 20; ++i) {
        EXPECT_EQ(parse(UnitRatio, fmt(UnitRatio, static_cast<float>(i)).c_str()), i);
    }
    EXPECT_EQ(parse(UnitRatio, "2/8"), 14.0f);
    EXPECT_EQ(parse(UnitRatio, "2/1"), 2.0f);
    EXPECT_EQ(parse(UnitRatio, " 16/16"), 6.0f);
    EXPECT_EQ(parse(UnitRatio, "3/7"), 16.0f);  // a ratio, but no such note length
    EXPECT_EQ(parse(UnitRatio, "2147483647/1"), 16.0f);
    EXPECT_EQ(parse(UnitRatio, "99999999999999999999/3"), 16.0f);
    // No ratio read: the output still becomes the 1/8 fallback.
    EXPECT_EQ(parse(UnitRatio, "1/0", 3.0f, false), 16.0f);
    EXPECT_EQ(parse(UnitRatio, "1/-4", 3.0f, false), 16.0f);
    EXPECT_EQ(parse(UnitRatio, "1 /4", 3.0f, false), 16.0f);
    EXPECT_EQ(parse(UnitRatio, "quarter", 3.0f, false), 16.0f);
}

TEST(UnitBase2, Format) {
    EXPECT_EQ(fmt(UnitBase2, 0.0f), "0");
    EXPECT_EQ(fmt(UnitBase2, 1.0f), "1");
    EXPECT_EQ(fmt(UnitBase2, 5.7f), "101");
    EXPECT_EQ(fmt(UnitBase2, -5.0f), "0");
    EXPECT_EQ(fmt(UnitBase2, std::nanf("")), "nan");
    EXPECT_EQ(fmt(UnitBase2, 9.2233720e18f), "1" + std::string(63, '0'));
    EXPECT_EQ(fmt(UnitBase2, 1e30f), std::string(64, '1'));
}

TEST(UnitBase2, RoundTripsUpToTheTopBit) {
    const float two63 = std::ldexp(1.0f, 63);
    const float below64 = std::nextafter(std::ldexp(1.0f, 64), 0.0f);
    for (float v : {0.0f, 1.0f, 2.0f, 255.0f, 16777216.0f, std::ldexp(1.0f, 40), two63, two63 * 1.5f, below64}) {
        std::string text = fmt(UnitBase2, v);
        EXPECT_EQ(parse(UnitBase2, text.c_str()), v) << text;
    }
    EXPECT_EQ(fmt(UnitBase2, two63 * 1.5f).size(), 64u);
    EXPECT_EQ(fmt(UnitBase2, below64), std::string(24, '1') + std::string(40, '0'));
}

TEST(UnitBase2, ParseReadsTheLeadingRun) {
    EXPECT_EQ(parse(UnitBase2, "101"), 5.0f);
    EXPECT_EQ(parse(UnitBase2, "0110 px"), 6.0f);
    EXPECT_EQ(parse(UnitBase2, std::string(70, '1').c_str()), std::ldexp(1.0f, 64));  // saturates
    EXPECT_EQ(parse(UnitBase2, "2", 4.0f, false), 4.0f);
    EXPECT_EQ(parse(UnitBase2, " 1", 4.0f, false), 4.0f);
}

const ValueUnit* const kAllUnits[] = {&UnitDecibel, &UnitTime, &UnitOnOff, &UnitPixels, &UnitFrequency, &UnitHex,
                                      &UnitInteger, &UnitPercent, &UnitNote, &UnitRatio, &UnitBase2};

// Every format stays inside its 128 bytes and terminates, whatever the value.
TEST(AllUnits, FormatsAreBoundedForExtremeValues) {
    const float inf = std::numeric_limits<float>::infinity();
    const float values[] = {0.0f, -0.0f, std::nanf(""), inf, -inf, 3.4e38f, -3.4e38f, 1e-45f, -2147483904.0f};
    for (const ValueUnit* unit : kAllUnits) {
        for (float v : values) {
            char text[2 * kTextSize];
            std::memset(text, '#', sizeof(text));
            unit->format(text, v);
            EXPECT_LT(std::strlen(text), kTextSize) << v;
            EXPECT_EQ(text[kTextSize], '#') << v;
        }
    }
    for (int id : {int{ID_SMOOTH}, int{ID_BYPASS}, kParamCount}) {
        char text[2 * kTextSize];
        std::memset(text, '#', sizeof(text));
        format_value(id, -3.4e38f, text);
        EXPECT_LT(std::strlen(text), kTextSize);
        EXPECT_EQ(text[kTextSize], '#');
    }
}

TEST(AllUnits, NullAndLongTextsAreSafe) {
    std::string ones(10000, '1');
    std::string nines(10000, '9');
    std::string garbage(10000, 'q');
    for (const ValueUnit* unit : kAllUnits) {
        unit->format(nullptr, 1.0f);
        float out = 1.0f;
        EXPECT_FALSE(unit->parse(nullptr, &out));
        bool reads_digits = unit != &UnitRatio;  // a ratio needs its '/'
        EXPECT_EQ(unit->parse(ones.c_str(), &out), reads_digits);
        EXPECT_EQ(unit->parse((ones + "b").c_str(), &out), reads_digits);
        unit->parse(nines.c_str(), &out);
        unit->parse(garbage.c_str(), &out);
    }
    format_value(ID_GAIN, 1.0f, nullptr);
    format_value(ID_SMOOTH, 1.0f, nullptr);
    formatReadout(1.0f, nullptr);
    float out = 2.0f;
    EXPECT_FALSE(parse_value(ID_GAIN, nullptr, &out));
    EXPECT_FALSE(parse_value(ID_SMOOTH, nullptr, &out));
    EXPECT_FALSE(parse_value(ID_GAIN, "1", nullptr));
    EXPECT_EQ(out, 2.0f);
    EXPECT_EQ(parse(UnitPixels, (ones.substr(0, 64) + "b").c_str()), std::ldexp(1.0f, 64));
    EXPECT_EQ(parse(UnitDecibel, nines.c_str()), std::numeric_limits<float>::infinity());
}

}  // namespace
