#include "engine/value_scan.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/value_format.h"

namespace b2 {

bool scan_float(const char* text, float* out) {
    if (!text || !out) return false;
    char* end = nullptr;
    float v = strtof(text, &end);
    if (end == text) return false;
    *out = v;
    return true;
}

bool scan_hex32(const char* text, float* out) {
    if (!text || !out) return false;
    char* end = nullptr;
    long long v = strtoll(text, &end, 16);  // saturates instead of overflowing
    if (end == text) return false;
    if (v > 0xFFFFFFFFLL) v = 0xFFFFFFFFLL;
    if (v < -2147483648LL) v = -2147483648LL;
    // Read the 32 bits as a signed integer, so "0xFFFFFFFF" is -1.
    if (v > 0x7FFFFFFFLL) v -= 0x100000000LL;
    *out = static_cast<float>(v);
    return true;
}

bool scan_base2(const char* text, float* out) {
    if (!text || !out) return false;
    uint64_t v = 0;
    const char* p = text;
    for (; *p == '0' || *p == '1'; ++p) {
        if (v >> 63) {
            v = UINT64_MAX;  // a 65th significant digit: saturate
            continue;
        }
        v = (v << 1) | static_cast<uint64_t>(*p - '0');
    }
    if (p == text) return false;
    *out = static_cast<float>(v);
    return true;
}

bool scan_number(const char* text, float* out) {
    if (!text || !out) return false;
    size_t n = strlen(text);
    if (n >= 3 && text[0] == '0' && text[1] == 'x') return scan_hex32(text, out);
    if (n >= 2 && text[n - 1] == 'b') return scan_base2(text, out);
    return scan_float(text, out);
}

void put_text(char* text, const char* fmt, ...) {
    if (!text) return;
    va_list args;
    va_start(args, fmt);
    vsnprintf(text, kTextSize, fmt, args);
    va_end(args);
}

}  // namespace b2
