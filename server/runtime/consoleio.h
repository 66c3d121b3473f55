// Console output and desktop settings of the server programs: the echo of
// log lines on the console, the beep of the logger and the Windows language
// setting. The parts of the console shell that the logger and the system
// parameters use, kept below them (the shell itself is console.h). The system
// calls are in consoleio_win.cpp / consoleio_posix.cpp.
#ifndef TAVRINE_SERVER_RUNTIME_CONSOLEIO_H
#define TAVRINE_SERVER_RUNTIME_CONSOLEIO_H

#include <cstddef>

// The default system beep; frequency and duration are ignored.
void SoundBeep(int frequency, int duration);
// Where beeps go; tests count them. Null restores the system beep. Returns
// the previous one.
typedef void (*TvBeepFn)(void);
TvBeepFn SetBeepHook(TvBeepFn hook);

// Writes a log line to standard output without its first 9 characters (the
// date), adding a newline when it has none; a line of 10 characters or less
// is written as "(Logged line too short - ignored)". Returns the characters
// written.
int EchoLogLine(const char *line);

// The Windows setting [Intl] "sLanguage"; a size of 3 or less empties the
// buffer.
void GetWindowsLanguage(char *buf, size_t size);

// ---------------------------------------------------------------- system calls
// Implemented by consoleio_win.cpp or consoleio_posix.cpp.
void PlatBeep(void);
void PlatWindowsLanguage(char *buf, size_t size);

#endif
