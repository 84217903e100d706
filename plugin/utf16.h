// UTF-16 text from the host, converted without exceptions.
#pragma once

#include <cstddef>

#include "pluginterfaces/base/ftypes.h"

namespace riser {

// Converts NUL-terminated UTF-16 (the SDK's char16: char16_t, or wchar_t on
// Windows) into NUL-terminated UTF-8 of at most `room - 1` bytes (room > 0). A character that would not fit ends the text,
// so no character is ever cut. Unpaired surrogates become U+FFFD. Returns the
// number of bytes written before the NUL.
size_t utf16_to_utf8(const Steinberg::char16* text, char* out, size_t room);

}  // namespace riser
