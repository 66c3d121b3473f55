// Console program shell: the portable part (argument handling, the program
// ID, the set-up of the modules below).
#include "server/runtime/console.h"

#include <cstdio>

#include "common/platform.h"
#include "server/runtime/msglog.h"
#include "server/runtime/sysparams.h"

static char g_programId[64];

const char *ConsoleProgramId(void) { return g_programId; }

int ConsoleMain(int argc, char **argv, const char *fixedId, TvMakeProgramId makeId, TvProgramMain programMain)
{
    // The process keeps the system's time zone: log lines, file names and
    // control files carry the same local time as the client's.
    int restCount = 0;
    char **rest = nullptr;
    ParseServerArguments(argc, argv, &restCount, &rest);
    g_programId[0] = '\0';
    if (makeId)
        makeId(restCount, rest, g_programId, sizeof g_programId);
    else if (fixedId)
        std::snprintf(g_programId, sizeof g_programId, "%s", fixedId);
    PlatPrepareConsole(g_programId);
    TvPlatHideErrorBoxes();
    StartMessageLog();
    return programMain ? programMain(restCount, rest) : 0;
}

void ShowConsole(bool on) { PlatShowConsole(on, g_programId); }
