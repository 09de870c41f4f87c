/* The DLL that hello.exe loads at run time: greet writes "hello, NAME"
 * into BUF and returns its length. */
#include <stdio.h>

__declspec(dllexport) int greet(const char *name, char *buf, int size)
{
    return snprintf(buf, (size_t)size, "hello, %s", name);
}
