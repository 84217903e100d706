// Number scanners and bounded text output shared by the value units.
// Every scanner returns true when it read a number and leaves `out`
// untouched otherwise; none of them reads past the terminating NUL.
#pragma once

#include <cstdint>

#if defined(__GNUC__)
#define B2_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define B2_PRINTF_FORMAT(f, a)
#endif

namespace b2 {

// A decimal (or C hex-float, "inf", "nan") number, like "%f".
bool scan_float(const char* text, float* out);
// Hex digits with an optional "0x" prefix, like "%x", as a signed 32-bit
// integer: 0x80000000..0xFFFFFFFF wrap to the negatives, longer texts saturate.
bool scan_hex32(const char* text, float* out);
// The leading run of '0'/'1' characters as an unsigned 64-bit number
// (saturating beyond 64 digits).
bool scan_base2(const char* text, float* out);
// "0x..." as hex, "...b" as base 2, otherwise a float.
bool scan_number(const char* text, float* out);

// Bounded printf into a kTextSize buffer; does nothing for a null buffer.
void put_text(char* text, const char* fmt, ...) B2_PRINTF_FORMAT(2, 3);

}  // namespace b2
