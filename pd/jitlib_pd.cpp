// The two numeric routines that the search's conversions take from the Max
// host's jitlib. Pd has no jitlib, so the externals carry them, from the
// same correctly rounded code as the embedded host: results are the same
// bits as in the Max plug-ins.
#include "crmath.h"
#include "jitlib.h"

extern "C" {

double jit_math_log2(double x)
{
    return crmath::log2(x);
}

double jit_math_round(double x)
{
    return crmath::round(x);
}

} // extern "C"
