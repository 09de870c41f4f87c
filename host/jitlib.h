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

#if defined(__APPLE__) && defined(__cplusplus) && !defined(QZ_BUILDING_JITLIB)
/* A macOS bundle links no framework, and on macOS the host's numeric
   routines live in its Jitter framework: the bundle carries the same
   routines that the embedded host's jitlib answers with (crmath.h), so its
   bits are those of every other build. */
#include "crmath.h"

inline double jit_math_log2(double x)
{
    return crmath::log2(x);
}
inline double jit_math_round(double x)
{
    return crmath::round(x);
}
#else
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
#endif

#endif /* QZ_HOST_JITLIB_H */
