/* A 32-bit Windows program for the launcher's test
 * (tests/install/win32-launcher.sh): it loads greet.dll from its own
 * folder, prints what greet makes of its first argument, the width of its
 * pointers and the last byte of a megabyte of read-only data on standard
 * output, a line on standard error, and exits with its second argument as
 * exit code (0 without one). */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

typedef int(__cdecl *greet_fn)(const char *, char *, int);

/* More than one read of a shared folder returns at once: its last byte
 * arrives as written only if the loader read the whole section. */
static const unsigned char blob[1 << 20] = {[0] = 1, [(1 << 20) - 1] = 2};

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: hello NAME [EXIT-CODE]\n");
        return 2;
    }
    HMODULE dll = LoadLibraryA("greet.dll");
    if (dll == NULL) {
        fprintf(stderr, "greet.dll not loaded (error %lu)\n", GetLastError());
        return 90;
    }
    greet_fn greet = (greet_fn)(void (*)(void))GetProcAddress(dll, "greet");
    if (greet == NULL) {
        fprintf(stderr, "greet.dll has no greet\n");
        return 91;
    }
    char buf[64];
    int n = greet(argv[1], buf, (int)sizeof buf);
    volatile size_t last = sizeof blob - 1; /* read at run time, not folded */
    printf("%s (%d characters, %d-bit, last byte %d)\n", buf, n, (int)(8 * sizeof(void *)),
           blob[last]);
    fflush(stdout);
    int code = argc > 2 ? atoi(argv[2]) : 0;
    fprintf(stderr, "exiting with %d\n", code);
    return code;
}
