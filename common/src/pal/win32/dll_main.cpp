// Module entry of the platform library and of the plug-in (built into each).
// Static initialisation has already made the globals by the time the loader
// calls in, so the entry only declines the per-thread notifications: nothing
// in the module keeps state per thread.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH)
        ::DisableThreadLibraryCalls(module);
    return TRUE;
}
