// DLL entry shared by every plug-in. The host loads a plug-in once and calls
// its `main`; the module needs no per-thread notifications, so it turns them
// off on process attach and reports success for every notification.
#if defined(_WIN32)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/)
{
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(module);
    return TRUE;
}
#endif
