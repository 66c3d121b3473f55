// Console output and desktop settings: the Win32 calls.
#include "server/runtime/consoleio.h"

#include <windows.h>

void PlatBeep(void) { MessageBeep(0xFFFFFFFF); }

void PlatWindowsLanguage(char *buf, size_t size)
{
    GetProfileStringA("Intl", "sLanguage", "", buf, static_cast<DWORD>(size));
}
