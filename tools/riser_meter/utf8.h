// File names are bytes; JSON and the picture's text need valid UTF-8.
#pragma once

#include <string>

namespace riser_meter {

// `text` with every byte that is not part of a well-formed UTF-8 sequence
// replaced by U+FFFD, the replacement character. Valid text is unchanged.
std::string valid_utf8(const std::string& text);

}  // namespace riser_meter
