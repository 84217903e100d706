// Fuzzes setState: any byte stream a host or a damaged project hands over.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/engine.h"
#include "tests/byte_stream.h"
#include "tests/plugin_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static b2test::AdapterPtr adapter = b2test::make_adapter();
    b2test::ByteStream in(std::vector<uint8_t>(data, data + size));
    adapter->setState(&in);
    // Whatever was loaded stays inside every parameter's range.
    b2::engine* e = adapter->get_engine();
    for (int id = 2; id <= 17; ++id) {
        const float v = b2::global_value(e, id);
        const b2::ParamDef* def = b2::param_def(id);
        if (!(v >= def->minValue && v <= def->maxValue)) std::abort();
    }
    b2test::ByteStream out;
    adapter->getState(&out);
    return 0;
}
