/*
 * Building against the host's own SDK: this folder goes on the include path
 * in place of host/'s own maxapi.h and jitlib.h (see docs/windows.md), so the
 * object sources, which include "maxapi.h", get the SDK's Max headers.
 */
#ifndef QZ_HOST_SDK_MAXAPI_H
#define QZ_HOST_SDK_MAXAPI_H

#include "ext.h"
#include "ext_obex.h"

#endif /* QZ_HOST_SDK_MAXAPI_H */
