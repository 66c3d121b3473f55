#include "common/liblog.h"

#include <cstdarg>
#include <cstdio>

static TvLibLogHook g_libLogHook = nullptr;

TvLibLogHook SetLibLogHook(TvLibLogHook hook)
{
    TvLibLogHook old = g_libLogHook ? g_libLogHook : DefaultLibLogHook;
    g_libLogHook = hook;
    return old;
}

void LibLog(const char *fmt, ...)
{
    char line[512];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    if (n < 0)
        line[0] = '\0';
    if (g_libLogHook)
        g_libLogHook(line);
    else
        DefaultLibLogHook(line);
}

void DefaultLibLogHook(const char *line)
{
    std::fprintf(stderr, "%s\n", line);
    std::fflush(stderr);
}
