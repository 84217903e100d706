// Fuzzes setState: any byte stream a host or a damaged project hands over.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/engine.h"
#include "engine/value_format.h"
#include "tests/byte_stream.h"
#include "tests/plugin_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static b2test::AdapterPtr adapter = b2test::make_adapter();
    b2test::ByteStream in(std::vector<uint8_t>(data, data + size));
    adapter->setState(&in);
    // Whatever was loaded stays inside every parameter's range, stepped
    // values on a step.
    b2::engine* e = adapter->get_engine();
    for (int id = 2; id <= 17; ++id) {
        const float v = b2::global_value(e, id);
        const b2::ParamDef* def = b2::param_def(id);
        if (!(v >= def->minValue && v <= def->maxValue)) std::abort();
        if ((def->flags & b2::PF_STEPPED) && v != b2::to_plain(id, b2::to_normalized(id, v))) std::abort();
    }
    // What it holds now is saved and loads back exactly.
    b2test::ByteStream out;
    if (adapter->getState(&out) != Steinberg::kResultOk) std::abort();
    static b2test::AdapterPtr other = b2test::make_adapter();
    out.pos = 0;
    if (other->setState(&out) != Steinberg::kResultOk) std::abort();
    for (int id = 2; id <= 17; ++id)
        if (b2::global_value(other->get_engine(), id) != b2::global_value(e, id)) std::abort();
    return 0;
}
