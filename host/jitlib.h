/*
 * The two numeric routines of the host's jitlib library that qz.subtone
 * uses. The embedded host implements them; a build against the host's SDK
 * maps them onto the SDK's own routines of the same meaning.
 */
#ifndef QZ_HOST_JITLIB_H
#define QZ_HOST_JITLIB_H

#include "maxapi.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Base-2 logarithm of a double. */
QZ_HOST_API double jit_math_log2(double x);
/* Nearest integer of a double; halves go away from zero. */
QZ_HOST_API double jit_math_round(double x);

#ifdef __cplusplus
}

namespace jitlib {
inline double log2(double x)
{
    return jit_math_log2(x);
}
inline double round(double x)
{
    return jit_math_round(x);
}
} // namespace jitlib
#endif

#endif /* QZ_HOST_JITLIB_H */
