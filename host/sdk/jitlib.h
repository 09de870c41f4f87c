/*
 * Building against the host's own SDK: the SDK's Jitter header, which
 * declares jit_math_log2 and jit_math_round (see docs/windows.md).
 */
#ifndef QZ_HOST_SDK_JITLIB_H
#define QZ_HOST_SDK_JITLIB_H

#include "maxapi.h"

#include "jit.common.h"

#endif /* QZ_HOST_SDK_JITLIB_H */
