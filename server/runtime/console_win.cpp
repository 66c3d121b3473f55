// Console program shell: the Win32 console calls.
#include "server/runtime/console.h"

#include <windows.h>

#include <cstdio>

void PlatPrepareConsole(const char *title)
{
    SetConsoleCtrlHandler(nullptr, TRUE);
    if (title && title[0])
        SetConsoleTitleA(title);
}

void PlatShowConsole(bool on, const char *title)
{
    if (on) {
        if (AllocConsole()) {
            std::freopen("CONOUT$", "w", stdout);
            if (title && title[0])
                SetConsoleTitleA(title);
        }
    } else {
        FreeConsole();
    }
}
