// The numeric routines of jitlib that the objects use.
#include "jitlib.h"

#include <cmath>

extern "C" {

double jit_math_log2(double x)
{
    return std::log2(x);
}

// std::round: halves go away from zero.
double jit_math_round(double x)
{
    return std::round(x);
}

} // extern "C"
