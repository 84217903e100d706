// The pictures riser-meter is asked to write, checked before anything is
// metered: none may write over an input or over another picture, and none
// may replace an existing file that is not a PNG picture.
#pragma once

#include <string>

#include "tools/riser_meter/options.h"

namespace riser_meter {

// False with `error` naming the picture and what it would destroy.
bool check_outputs(const Options& o, std::string& error);

}  // namespace riser_meter
