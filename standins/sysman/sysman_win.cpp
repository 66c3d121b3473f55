// SYSMAN: the program itself. Makes its mailslot first, reads the system
// parameters, holds the server lock, writes the running marker, starts the
// server programs and then reads packets until a stop, which removes the
// marker again.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "common/ctlfile.h"
#include "common/platform.h"
#include "server/runtime/console.h"
#include "server/runtime/mailslot.h"
#include "server/runtime/packets.h"
#include "server/runtime/rtclock.h"
#include "server/runtime/sharedopen.h"
#include "server/runtime/srvlog.h"
#include "server/runtime/sysparams.h"
#include "standins/sysman/serverlock.h"
#include "standins/sysman/sysman.h"

enum {
    WAIT_QUEUEMAN_MS = 10000,   // for QUEUEMAN's mailslot after starting it
    WAIT_PROGRAMS_MS = 15000,   // for the started programs to end after a stop
    CHECK_PROGRAMS_MS = 1000,   // how often ended programs are noticed
};

static bool g_showProcs;

static bool ProgramRunning(const SmProgram &p)
{
    return p.process && WaitForSingleObject(static_cast<HANDLE>(p.process), 0) == WAIT_TIMEOUT;
}

// Notes the programs that have ended since the last look.
static void CheckPrograms(void)
{
    for (int i = 0; i < g_sysman.programCount; ++i) {
        SmProgram &p = g_sysman.programs[i];
        if (!p.process || ProgramRunning(p))
            continue;
        DWORD code = 0;
        GetExitCodeProcess(static_cast<HANDLE>(p.process), &code);
        LogMessage(code ? 4 : 3, "Program %s ended (exit code %lu)", p.name, static_cast<unsigned long>(code));
        CloseHandle(static_cast<HANDLE>(p.process));
        p.process = nullptr;
    }
}

static bool StartProgram(const SmProgramLine &line)
{
    char queue[SM_QUEUE_SIZE];
    QueueNameFromId(line.name, queue, sizeof queue);
    SmProgram *p = FindProgram(queue, true);
    if (!p) {
        LogMessage(5, "Program %s not started - too many programs", line.name);
        return false;
    }
    if (ProgramRunning(*p) || MsgQueueExists(queue)) {
        // Its queue is owned already: a second copy could not make it.
        LogMessage(4, "Program %s already running - not started", line.name);
        return false;
    }
    std::snprintf(p->name, sizeof p->name, "%s", line.name);

    // The paragraph names go on to the programs when they are not the default.
    char paras[2 * SYS_PARAGRAPH_MAX + 4] = "";
    bool otherDevices = std::strcmp(g_sysParams.devicesParagraph, "[DEVICES]") != 0;
    if (std::strcmp(g_sysParams.serverParagraph, "[SERVER]") != 0 || otherDevices)
        std::snprintf(paras, sizeof paras, " %s%s%s", g_sysParams.serverParagraph, otherDevices ? " " : "",
                      otherDevices ? g_sysParams.devicesParagraph : "");
    char cmd[SM_PATH_MAX + SM_PROGRAM_TEXT_MAX + sizeof paras + 8];
    int n = std::snprintf(cmd, sizeof cmd, "\"%s\"%s%s%s", line.path, line.arguments[0] ? " " : "", line.arguments,
                          paras);
    if (n < 0 || static_cast<size_t>(n) >= sizeof cmd) {
        LogMessage(5, "Argument string for program %s too long", line.name);
        return false;
    }
    STARTUPINFOA si;
    std::memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    if (g_showProcs && line.mode == SM_WINDOW_I) {
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = SW_SHOWMINNOACTIVE;
    }
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(line.path, cmd, nullptr, nullptr, FALSE, g_showProcs ? CREATE_NEW_CONSOLE : DETACHED_PROCESS,
                        nullptr, nullptr, &si, &pi)) {
        LogMessage(5, "Error 0x%lX running program '%s'", static_cast<unsigned long>(GetLastError()), line.path);
        return false;
    }
    CloseHandle(pi.hThread);
    p->process = pi.hProcess;
    p->processId = pi.dwProcessId;
    p->started = true;
    LogMessage(3, "Started %s: %s (process %lu)", line.name, cmd, static_cast<unsigned long>(pi.dwProcessId));

    // Controllers report to QUEUEMAN from their first step: its mailslot
    // must be there before anything else starts.
    if (std::strcmp(queue, QUEUEMAN_QUEUE) == 0) {
        uint32_t start = RtTickMs();
        while (!MsgQueueExists(queue)) {
            if (!ProgramRunning(*p) || RtTickMs() - start >= WAIT_QUEUEMAN_MS) {
                LogMessage(5, "%s did not make its mailslot", line.name);
                break;
            }
            RtSleepMs(100);
        }
    }
    return true;
}

// Starts the programs of the Service: and Device: lines of the server
// paragraph, in their order. Returns the number started.
static int StartServerPrograms(FILE *setup)
{
    char line[TV_LINE_SIZE];
    int32_t para = 0;
    std::rewind(setup);
    if (!FindParagraph(setup, g_sysParams.serverParagraph, line, sizeof line, &para)) {
        LogMessage(4, "%s paragraph missing in file SETUP.INI - no programs started", g_sysParams.serverParagraph);
        return 0;
    }
    int started = 0;
    while (ReadControlLine(setup, line, sizeof line, nullptr)) {
        if (IsParagraphLine(line))
            break;
        if (!IsEntryLine(line))
            continue;
        SmProgramLine pl;
        int error = ParseProgramLine(line, g_sysParams.serverArea, g_sysParams.mailArea, &pl);
        if (error) {
            LogMessage(4, "Invalid line in %s paragraph (%d) - %s", g_sysParams.serverParagraph, error, line);
            continue;
        }
        if (pl.kind == SM_LINE_SYSMAN)
            continue; // this program's own line
        if (StartProgram(pl))
            ++started;
    }
    LogMessage(3, "%d server program%s started", started, started == 1 ? "" : "s");
    return started;
}

static TvStatus ReadSettings(FILE **setup)
{
    TvStatus st = ReadSystemParameters(setup);
    if (st != TV_OK)
        return st;
    LogInit(stdout, g_sysParams.logFile, 3, "SYSMAN");
    char value[TV_LINE_SIZE] = "";
    int32_t para = 0;
    char line[TV_LINE_SIZE];
    g_showProcs = false;
    if (FindParagraph(*setup, "[OPTIONS]", line, sizeof line, &para) &&
        GetStringEntry(*setup, "ShowProcs:", value, sizeof value, para))
        g_showProcs = (value[0] == 'Y' || value[0] == 'y') && (value[1] == 'E' || value[1] == 'e') &&
                      (value[2] == 'S' || value[2] == 's') && value[3] == '\0';
    return TV_OK;
}

// Stops the programs (every one, or for a restart those started here):
// class 99 to each, then a bounded wait for the ones started here to end.
static void StopServer(bool everyone)
{
    ForwardStopAll(everyone);
    uint32_t start = RtTickMs();
    for (;;) {
        CheckPrograms();
        bool running = false;
        for (int i = 0; i < g_sysman.programCount; ++i)
            running = running || g_sysman.programs[i].process != nullptr;
        if (!running)
            return;
        if (RtTickMs() - start >= WAIT_PROGRAMS_MS)
            break;
        RtSleepMs(100);
    }
    for (int i = 0; i < g_sysman.programCount; ++i) {
        SmProgram &p = g_sysman.programs[i];
        if (p.process) {
            LogMessage(5, "Program %s did not stop - left running", p.name);
            CloseHandle(static_cast<HANDLE>(p.process));
            p.process = nullptr;
        }
    }
}

// Looks through the request files of the request area for the ones that ask
// SYSMAN to shut down or restart the server; each one of ours is removed.
static SmAction CheckRequestFiles(void)
{
    char pattern[SYS_PATH_MAX + 8];
    std::snprintf(pattern, sizeof pattern, "%s*.CTL", g_sysParams.requestArea);
    TvDirEntry entry;
    TvDirIter *find = TvPlatFindFirst(pattern, &entry);
    if (!find)
        return SM_CONTINUE;
    SmAction action = SM_CONTINUE;
    do {
        if (entry.attributes & TV_ATTR_DIRECTORY)
            continue;
        char path[SYS_PATH_MAX + sizeof entry.longName];
        std::snprintf(path, sizeof path, "%s%s", g_sysParams.requestArea, entry.longName);
        FILE *f = OpenFileShared(0, path, "rt");
        if (!f)
            continue;
        char type[TV_LINE_SIZE];
        SmRequest req = ReadSysmanRequest(f, type, sizeof type);
        std::fclose(f);
        if (req == SM_REQ_NOT_MINE)
            continue;
        if (!TvPlatRemove(path))
            LogMessage(5, "Error %lu deleting request file %s", static_cast<unsigned long>(GetLastError()), path);
        if (req == SM_REQ_UNKNOWN) {
            LogMessage(4, "Request file %s of unknown type '%s' - ignored", entry.longName, type);
            continue;
        }
        LogMessage(3, "Request file %s: %s", entry.longName, type);
        if (req == SM_REQ_SHUTDOWN)
            action = SM_STOP;
        else if (action == SM_CONTINUE)
            action = SM_RESTART;
    } while (TvPlatFindNext(find, &entry));
    TvPlatFindClose(find);
    return action;
}

static int SysmanMain(int argc, char **argv)
{
    LogInit(stdout, "", 3, "SYSMAN");
    TvMailslot slot = nullptr;
    TvStatus st = MsgMakePipe(SYSMAN_QUEUE, 0, &slot);
    if (st != TV_OK) {
        LogMessage(6, "Unable to create message pipe (0x%X) - is SYSMAN already running?", st);
        return 1;
    }
    FILE *setup = nullptr;
    if (ReadSettings(&setup) != TV_OK)
        return 1;
    if (TakeServerLock(g_sysParams.requestArea) != TV_OK) {
        std::fclose(setup);
        return 1;
    }
    WriteServerMarker(g_sysParams.requestArea);
    LogMessage(3, "SYSMAN started");
    ResetSysmanTables();
    StartServerPrograms(setup);
    std::fclose(setup);

    static uint8_t buf[MSG_MAX_PACKET];
    uint32_t lastCheck = RtTickMs();
    for (;;) {
        SmAction action = SM_CONTINUE;
        uint16_t len = 0;
        st = MsgReadRequest(slot, buf, sizeof buf, &len);
        if (st == TV_OK) {
            action = SysmanHandlePacket(buf, len);
        } else {
            if (st != 0x00E8) {
                LogMessage(5, "Error 0x%X reading message pipe", st);
                RtSleepMs(1000);
            }
            if (RtTickMs() - lastCheck >= CHECK_PROGRAMS_MS) {
                CheckPrograms();
                action = CheckRequestFiles();
                lastCheck = RtTickMs();
            }
        }
        if (action == SM_STOP) {
            LogMessage(3, "Server closing down");
            StopServer(true);
            break;
        }
        if (action == SM_RESTART) {
            LogMessage(3, "Server restarting");
            StopServer(false);
            // The tables stay: programs not started here keep running, and a
            // restarted controller announces its port again.
            if (ReadSettings(&setup) != TV_OK) {
                StopServer(true);
                break;
            }
            StartServerPrograms(setup);
            std::fclose(setup);
        }
        if (st != TV_OK)
            SleepYield(0);
    }
    RemoveServerMarker(g_sysParams.requestArea);
    ReleaseServerLock();
    LogMessage(3, "SYSMAN ended");
    return 0;
}

int main(int argc, char **argv) { return ConsoleMain(argc, argv, "SYSMAN", nullptr, SysmanMain); }
