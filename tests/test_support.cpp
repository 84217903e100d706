#include "tests/test_support.h"

namespace b2test {

b2::engine* make_engine(float rate, b2::host_adapter* adapter) {
    b2::engine* e = b2::create_engine(adapter);
    if (!e) return nullptr;
    b2::set_slot(e, b2::BANK_GLOBAL, b2::ID_SAMPLE_PER_BLOCK, 512.0f);
    b2::set_slot(e, b2::BANK_GLOBAL, b2::ID_SAMPLE_RATE_HOST, rate);
    b2::apply_sample_rate(e, true);
    return e;
}

}  // namespace b2test
