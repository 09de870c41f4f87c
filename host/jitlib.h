/*
 * The two numeric routines of the host's jitlib library that qz.subtone
 * uses, under the names the host's Jitter headers declare. The host's
 * jitlib module (jitlib.dll) exports them as jit_math_log2 and
 * jit_math_round, and the same routines as log2 and round. In a build
 * without the host the embedded host's jitlib module provides them.
 */
#ifndef QZ_HOST_JITLIB_H
#define QZ_HOST_JITLIB_H

#include "maxapi.h"

#if defined(_WIN32)
#if defined(QZ_BUILDING_JITLIB)
#define QZ_JITLIB_API __declspec(dllexport)
#else
#define QZ_JITLIB_API __declspec(dllimport)
#endif
#else
#define QZ_JITLIB_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Base-2 logarithm of a double. */
QZ_JITLIB_API double jit_math_log2(double x);
/* Nearest integer of a double; halves go away from zero. */
QZ_JITLIB_API double jit_math_round(double x);

#ifdef __cplusplus
}
#endif

#endif /* QZ_HOST_JITLIB_H */
