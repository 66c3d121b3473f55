// Helper process of the server runtime tests under Windows:
//   rt_helper hold-mailslot <queue> <ms> <event>  hold a write handle of a mailslot
//   rt_helper hold-file <path> <ms> <event>       hold a file open without sharing
//   rt_helper fatal <message> [/SERVICE]          log one fatal line on the console
// The holders signal the named event once they hold, then wait and let go.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "server/runtime/console.h"
#include "server/runtime/mailslot.h"
#include "server/runtime/srvlog.h"

static void Ready(const char *event)
{
    HANDLE e = OpenEventA(EVENT_MODIFY_STATE, FALSE, event);
    if (e) {
        SetEvent(e);
        CloseHandle(e);
    }
}

static int Hold(HANDLE h, const char *ms, const char *event)
{
    if (h == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "rt_helper: cannot open (%lu)\n", GetLastError());
        return 2;
    }
    Ready(event);
    Sleep(static_cast<DWORD>(std::atoi(ms)));
    CloseHandle(h);
    return 0;
}

static int Fatal(int argc, char **argv)
{
    LogInit(stdout, "", 1, ConsoleProgramId());
    LogMessage(6, "%s", argc > 2 ? argv[2] : "");
    return 0;
}

int main(int argc, char **argv)
{
    if (argc >= 5 && std::strcmp(argv[1], "hold-mailslot") == 0) {
        char path[MSG_PATH_SIZE];
        if (MsgMailslotPath(argv[2], path, sizeof path) != TV_OK)
            return 2;
        return Hold(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr), argv[3],
                    argv[4]);
    }
    if (argc >= 5 && std::strcmp(argv[1], "hold-file") == 0)
        return Hold(CreateFileA(argv[2], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr), argv[3],
                    argv[4]);
    if (argc >= 2 && std::strcmp(argv[1], "fatal") == 0)
        return ConsoleMain(argc, argv, "RTHELPER", nullptr, Fatal);
    std::fprintf(stderr, "rt_helper: unknown command\n");
    return 2;
}
