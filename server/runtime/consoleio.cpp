// Console output and desktop settings: the portable part.
#include "server/runtime/consoleio.h"

#include <cstdio>
#include <cstring>

static TvBeepFn g_beep = nullptr;

TvBeepFn SetBeepHook(TvBeepFn hook)
{
    TvBeepFn old = g_beep ? g_beep : PlatBeep;
    g_beep = hook;
    return old;
}

void SoundBeep(int frequency, int duration)
{
    if (g_beep)
        g_beep();
    else
        PlatBeep();
}

int EchoLogLine(const char *line)
{
    if (!line)
        return 0;
    size_t n = std::strlen(line);
    if (n <= 10)
        return std::printf("(Logged line too short - ignored)\n");
    const char *text = line + 9;
    int written = std::printf("%s%s", text, line[n - 1] == '\n' ? "" : "\n");
    std::fflush(stdout);
    return written;
}

void GetWindowsLanguage(char *buf, size_t size)
{
    if (!buf || size == 0)
        return;
    buf[0] = '\0';
    if (size <= 3)
        return;
    PlatWindowsLanguage(buf, size);
}
