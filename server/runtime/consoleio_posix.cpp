// Console output and desktop settings for the native test tree.
#include "server/runtime/consoleio.h"

#include <cstdio>
#include <unistd.h>

void PlatBeep(void)
{
    if (isatty(STDERR_FILENO))
        (void)!write(STDERR_FILENO, "\a", 1);
}

// There is no Windows setting here; the system's default language stands in.
void PlatWindowsLanguage(char *buf, size_t size) { std::snprintf(buf, size, "%s", "enu"); }
