/* Entry point of the resource-only stand-in library: nothing to set up. */
#include <windows.h>

BOOL WINAPI DllMainCRTStartup(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    (void)module;
    (void)reason;
    (void)reserved;
    return TRUE;
}
