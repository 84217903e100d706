// Flushes denormals to zero for the lifetime of the guard and restores the
// caller's floating-point mode afterwards, so decaying filters and levels
// never fall into slow denormal arithmetic: the plug-in's process call and
// riser-meter run the chain under it, so both compute the same numbers.
#pragma once

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#define RISER_HAVE_MXCSR 1
#endif

namespace riser {

class DenormalGuard {
public:
#ifdef RISER_HAVE_MXCSR
    DenormalGuard() : saved(_mm_getcsr()) { _mm_setcsr(saved | 0x8040u); }  // FTZ | DAZ
    ~DenormalGuard() { _mm_setcsr(saved); }

private:
    unsigned int saved;
#endif
};

}  // namespace riser
