// The numeric routines of jitlib that the objects use. They come from
// crmath.h rather than the C runtime, whose last bits differ between
// platforms, so every build of the host answers with the same bits.
#include "jitlib.h"

#include "crmath.h"

extern "C" {

// Correctly rounded base-2 logarithm.
double jit_math_log2(double x)
{
    return crmath::log2(x);
}

// Halves go away from zero.
double jit_math_round(double x)
{
    return crmath::round(x);
}

} // extern "C"
