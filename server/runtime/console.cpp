// Console program shell: the portable part (argument handling, the sleep,
// the clock seam, the mode table and retry of the shared open, the logged
// memory wrappers). The system calls are in console_win.cpp / console_posix.cpp.
#include "server/runtime/console.h"

#include <cstring>

#include "server/runtime/srvlog.h"
#include "server/runtime/sysparams.h"

// ---------------------------------------------------------------- program shell
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
    return programMain ? programMain(restCount, rest) : 0;
}

// ---------------------------------------------------------------- clock
static RtClock g_clock;

void SetRuntimeClock(const RtClock *clock)
{
    if (clock)
        g_clock = *clock;
    else
        g_clock = RtClock{};
}

uint32_t RtTickMs(void) { return g_clock.tickMs ? g_clock.tickMs() : PlatTickMs(); }

void RtSleepMs(uint32_t ms)
{
    if (g_clock.sleepMs)
        g_clock.sleepMs(ms);
    else
        PlatSleepMs(ms);
}

void RtLocalTime(RtTime *t)
{
    if (g_clock.localTime)
        g_clock.localTime(t);
    else
        PlatLocalTime(t);
}

// ---------------------------------------------------------------- sleep
static uint32_t g_tickMs = 100;
static uint32_t g_minIntervalMs = 100;
static bool g_sleptBefore = false;
static uint32_t g_lastSleepEnd = 0;

void SetSleepYieldTiming(uint32_t tickMs, uint32_t minIntervalMs)
{
    g_tickMs = tickMs;
    g_minIntervalMs = minIntervalMs;
    g_sleptBefore = false;
}

uint32_t SleepYieldTick(void) { return g_tickMs; }

void SleepYield(uint32_t ms)
{
    if (ms == 0) {
        if (g_sleptBefore && RtTickMs() - g_lastSleepEnd < g_minIntervalMs)
            return;
        ms = g_tickMs;
    }
    RtSleepMs(ms);
    g_sleptBefore = true;
    g_lastSleepEnd = RtTickMs();
}

void SleepYieldShort(uint32_t ms) { SleepYield(ms > 1000 ? 1000 : ms); }

// ---------------------------------------------------------------- console
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

void ShowConsole(bool on) { PlatShowConsole(on, g_programId); }

void GetWindowsLanguage(char *buf, size_t size)
{
    if (!buf || size == 0)
        return;
    buf[0] = '\0';
    if (size <= 3)
        return;
    PlatWindowsLanguage(buf, size);
}

// ---------------------------------------------------------------- memory
TvGlobal GlobalAllocLogged(uint32_t bytes)
{
    TvGlobal h = PlatGlobalAlloc(bytes);
    if (!h)
        LogMessage(5, "Error allocating %lu bytes of global memory", static_cast<unsigned long>(bytes));
    return h;
}

void GlobalFreeLogged(TvGlobal handle)
{
    if (!PlatGlobalFree(handle))
        LogMessage(5, "Error freeing memory (selector %d)", PlatHandleId(handle));
}

void *GlobalLockLogged(TvGlobal handle)
{
    void *p = PlatGlobalLock(handle);
    if (!p)
        LogMessage(5, "Error locking memory (selector %d)", PlatHandleId(handle));
    return p;
}

void GlobalUnlockLogged(TvGlobal handle)
{
    if (PlatGlobalUnlock(handle))
        LogMessage(5, "Error unlocking memory (selector %d)", PlatHandleId(handle));
}

// ---------------------------------------------------------------- shared open
bool ParseOpenMode(const char *mode, RtOpenMode *out)
{
    if (!mode || !out)
        return false;
    std::memset(out, 0, sizeof *out);
    bool plus = std::strchr(mode + (mode[0] ? 1 : 0), '+') != nullptr;
    bool text = std::strchr(mode, 't') != nullptr;
    bool binary = !text && std::strchr(mode, 'b') != nullptr;
    char first = mode[0];
    switch (first) {
    case 'r':
        out->access = plus ? RT_READWRITE : RT_READ;
        out->create = RT_OPEN_EXISTING;
        out->share = plus ? RT_SHARE_NONE : RT_SHARE_READWRITE;
        break;
    case 'w':
        out->access = plus ? RT_READWRITE : RT_WRITE;
        out->create = RT_CREATE_TRUNCATE;
        out->share = RT_SHARE_NONE;
        break;
    case 'a':
        out->access = plus ? RT_READWRITE : RT_WRITE;
        out->create = RT_OPEN_ALWAYS;
        out->share = RT_SHARE_READ;
        out->append = true;
        break;
    case 'c':
        out->access = plus ? RT_READWRITE : RT_WRITE;
        out->create = RT_CREATE_NEW;
        out->share = RT_SHARE_NONE;
        break;
    default:
        return false;
    }
    out->text = text;
    // The stream takes the runtime's own letters: c opens as w.
    size_t n = 0;
    out->streamMode[n++] = first == 'c' ? 'w' : first;
    if (plus)
        out->streamMode[n++] = '+';
    if (text)
        out->streamMode[n++] = 't';
    else if (binary)
        out->streamMode[n++] = 'b';
    out->streamMode[n] = '\0';
    return true;
}

static int16_t g_defaultRetrySeconds = OPEN_RETRY_SYSTEM_INI;
static int g_lastOpenError = 0;

int OpenFileSharedError(void) { return g_lastOpenError; }

FILE *OpenFileShared(int16_t retrySeconds, const char *path, const char *mode)
{
    if (!path) {
        if (!(static_cast<uint16_t>(retrySeconds) & 0x8000))
            g_defaultRetrySeconds = retrySeconds;
        return nullptr;
    }
    if (static_cast<uint16_t>(retrySeconds) & 0x8000)
        retrySeconds = g_defaultRetrySeconds;
    RtOpenMode m;
    g_lastOpenError = 0;
    if (!ParseOpenMode(mode, &m))
        return nullptr;
    const uint32_t budget = static_cast<uint32_t>(retrySeconds) * 1000u;
    const uint32_t start = RtTickMs();
    for (;;) {
        RtOpenResult result = RT_OPEN_FAILED;
        int error = 0;
        FILE *f = PlatOpenShared(path, &m, &result, &error);
        g_lastOpenError = error;
        if (f)
            return f;
        if (result != RT_OPEN_BUSY)
            return nullptr;
        uint32_t now = RtTickMs();
        // A clock that went back ends the wait, as does the end of the budget.
        if (static_cast<int32_t>(now - start) < 0 || now - start >= budget)
            return nullptr;
        SleepYield(g_tickMs);
    }
}
