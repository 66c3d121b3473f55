// TSERVER in place of the server supervisor: it reads the system parameters,
// writes one line to the server log and ends. It owns no mailslot and starts
// nothing; the supervisor's window and its work are not here.
#include <cstdio>

#include "server/runtime/console.h"
#include "server/runtime/srvlog.h"
#include "server/runtime/sysparams.h"

static int TserverMain(int argc, char **argv)
{
    LogInit(stdout, "", 3, "TSERVER");
    if (ReadSystemParameters(nullptr) != TV_OK)
        return 1;
    LogInit(stdout, g_sysParams.logFile, 3, "TSERVER");
    LogMessage(3, "TSERVER stand-in started in %s - no supervisor here", g_sysParams.serverArea);
    return 0;
}

int main(int argc, char **argv) { return ConsoleMain(argc, argv, "TSERVER", nullptr, TserverMain); }
