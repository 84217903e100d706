// Helpers shared by the engine and signal-chain tests.
#pragma once

#include "engine/engine.h"

namespace b2test {

// An engine set up for processing at `rate`, as the plug-in's setupProcessing does.
b2::engine* make_engine(float rate = 48000.0f, b2::host_adapter* adapter = nullptr);

}  // namespace b2test
