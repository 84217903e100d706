// Fuzzes every unit's text parsing and formatting: the first byte picks the
// parameter (ids beyond the table included), the rest is the text.
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/value_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int id = data[0] % 40;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    float plain = 0.5f;
    b2::parse_value(id, text.c_str(), &plain);
    char out[b2::kTextSize];
    b2::format_value(id, plain, out);
    if (std::memchr(out, 0, sizeof out) == nullptr) __builtin_trap();  // always terminated
    b2::formatReadout(plain, out);
    const float n = b2::to_normalized(id, plain);
    b2::to_plain(id, n);
    // The units are also reachable directly, whatever row uses them.
    const b2::ValueUnit* units[] = {&b2::UnitDecibel, &b2::UnitTime, &b2::UnitOnOff, &b2::UnitPixels,
                                    &b2::UnitFrequency, &b2::UnitHex, &b2::UnitInteger, &b2::UnitPercent,
                                    &b2::UnitNote, &b2::UnitRatio, &b2::UnitBase2};
    for (const b2::ValueUnit* u : units) {
        float v = 1.0f;
        u->parse(text.c_str(), &v);
        u->format(out, v);
    }
    return 0;
}
