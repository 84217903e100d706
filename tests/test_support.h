// Helpers shared by the engine and signal-chain tests.
#pragma once

#include <memory>

#include "engine/engine.h"

namespace b2test {

struct EngineDeleter {
    void operator()(b2::engine* e) const { b2::destroy_engine(e); }
};
// An engine that is destroyed with its owner.
using EnginePtr = std::unique_ptr<b2::engine, EngineDeleter>;

// An engine set up for processing at `rate`, as the plug-in's setupProcessing does.
b2::engine* make_engine(float rate = 48000.0f, b2::host_adapter* adapter = nullptr);

}  // namespace b2test
