// Console program shell of the server programs: the common entry that
// prepares the process and runs the program, the program's ID, and the
// console window. The top module of the runtime: it sets up the modules
// below it (system parameters, message log). The clock and sleep are in
// rtclock.h, the shared open in sharedopen.h, the console echo, beep and
// language in consoleio.h, global memory in globalmem.h.
#ifndef TAVRINE_SERVER_RUNTIME_CONSOLE_H
#define TAVRINE_SERVER_RUNTIME_CONSOLE_H

#include <cstddef>

// The program's own main operation, called with the arguments that remain
// once the paragraph names and "/SERVICE" are taken out.
typedef int (*TvProgramMain)(int argc, char **argv);
// Builds the program's ID from those arguments (e.g. "FCLASS-1").
typedef void (*TvMakeProgramId)(int argc, char **argv, char *id, size_t size);

// Prepares the process and runs programMain: splits the server arguments,
// ignores Ctrl+C, makes the ID (from makeId, else fixedId) the console title,
// stops failed opens from showing an error box and starts the daily message
// log's feed from the server log. The process keeps the system's own time
// zone. Returns programMain's result.
int ConsoleMain(int argc, char **argv, const char *fixedId, TvMakeProgramId makeId, TvProgramMain programMain);

// The ID ConsoleMain made ("" before).
const char *ConsoleProgramId(void);

// Opens (on) or releases (off) a console window titled with the program ID.
void ShowConsole(bool on);

// ---------------------------------------------------------------- system calls
// Implemented by console_win.cpp or console_posix.cpp.
void PlatPrepareConsole(const char *title);
void PlatShowConsole(bool on, const char *title);

#endif
