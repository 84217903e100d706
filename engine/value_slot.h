// The engine's value slots are the signal chain's type; kept here so code
// that knows the slots through the engine finds them where it always did.
#pragma once

#include "dsp/value_slot.h"
