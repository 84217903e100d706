#include "tools/riser_meter/utf8.h"

namespace riser_meter {

namespace {

// The length of the well-formed sequence starting at s[i], or 0 (RFC 3629:
// no overlong forms, no surrogates, nothing above U+10FFFF).
size_t sequence_length(const std::string& s, size_t i) {
    const auto at = [&](size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
    const unsigned b = at(i);
    if (b < 0x80) return 1;
    size_t n;
    unsigned lo = 0x80, hi = 0xbf;  // the range of the second byte
    if (b >= 0xc2 && b <= 0xdf) {
        n = 2;
    } else if (b >= 0xe0 && b <= 0xef) {
        n = 3;
        if (b == 0xe0) lo = 0xa0;
        if (b == 0xed) hi = 0x9f;
    } else if (b >= 0xf0 && b <= 0xf4) {
        n = 4;
        if (b == 0xf0) lo = 0x90;
        if (b == 0xf4) hi = 0x8f;
    } else {
        return 0;
    }
    if (at(i + 1) < lo || at(i + 1) > hi) return 0;
    for (size_t k = 2; k < n; ++k)
        if (at(i + k) < 0x80 || at(i + k) > 0xbf) return 0;
    return n;
}

}  // namespace

std::string valid_utf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t n = sequence_length(text, i);
        if (n == 0) {
            out += "\xef\xbf\xbd";
            ++i;
        } else {
            out.append(text, i, n);
            i += n;
        }
    }
    return out;
}

}  // namespace riser_meter
