/*
 * The C library functions that the objects and their cores call, and only
 * those. A hosted build takes them from the usual headers. A freestanding
 * build (the macOS bundles, compiled without any system headers) declares
 * them here with the C library's own signatures; the host process provides
 * them when it loads the plug-in. A name added here must also be admitted
 * by the embedded host's Mach-O loader (host/embedded/macho_symbols.cpp).
 */
#ifndef QZ_HOST_CLIB_H
#define QZ_HOST_CLIB_H

#include <stddef.h>

#if __STDC_HOSTED__
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#else
#ifdef __cplusplus
extern "C" {
#endif
void *malloc(size_t size);
void *realloc(void *p, size_t size);
void free(void *p);
int memcmp(const void *a, const void *b, size_t n);
int snprintf(char *s, size_t n, const char *format, ...);
double ceil(double x);
double floor(double x);
#ifdef __cplusplus
}
#endif
#endif

#endif /* QZ_HOST_CLIB_H */
