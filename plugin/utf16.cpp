#include "plugin/utf16.h"

namespace riser {

namespace {

bool is_high(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Reads one code point at `text` and returns how many units it took.
size_t decode(const Steinberg::char16* text, char32_t& cp) {
    const auto u = static_cast<char16_t>(text[0]);
    const auto next = static_cast<char16_t>(text[1]);
    if (is_high(u) && is_low(next)) {
        cp = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (static_cast<char32_t>(next) - 0xDC00);
        return 2;
    }
    cp = (is_high(u) || is_low(u)) ? 0xFFFD : u;
    return 1;
}

size_t encode(char32_t cp, unsigned char* bytes) {
    if (cp < 0x80) {
        bytes[0] = static_cast<unsigned char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        bytes[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
        bytes[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        bytes[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
        bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        bytes[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        return 3;
    }
    bytes[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
    bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
    bytes[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    return 4;
}

}  // namespace

size_t utf16_to_utf8(const Steinberg::char16* text, char* out, size_t room) {
    if (!out || room == 0) return 0;
    size_t n = 0;
    while (text && *text) {
        char32_t cp = 0;
        const size_t units = decode(text, cp);
        unsigned char bytes[4];
        const size_t len = encode(cp, bytes);
        if (n + len > room - 1) break;
        for (size_t i = 0; i < len; ++i) out[n++] = static_cast<char>(bytes[i]);
        text += units;
    }
    out[n] = 0;
    return n;
}

}  // namespace riser
