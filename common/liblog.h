// Failure reports of the shared library.
//
// The library shows no messages and has no log of its own: the client writes
// its error log, the server programs their server log. Each program installs
// a hook here that passes the library's lines on to its own log; until one is
// installed the lines go to the standard error stream.
#ifndef TAVRINE_COMMON_LIBLOG_H
#define TAVRINE_COMMON_LIBLOG_H

#include <cstdio>

// Receives one formatted line (no line end).
typedef void (*TvLibLogHook)(const char *line);

// Installs a hook (none restores the default); returns the previous one.
TvLibLogHook SetLibLogHook(TvLibLogHook hook);

// Formats one line (cut to 511 characters) and hands it to the hook.
void LibLog(const char *fmt, ...)
#if defined(__MINGW_PRINTF_FORMAT)
    __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)))
#elif defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The default hook: writes the line and a line end to stderr.
void DefaultLibLogHook(const char *line);

#endif
