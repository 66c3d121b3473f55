// Console program shell of the server programs: the common entry, the one
// sleep that every waiting loop uses, the clock, the console and beep of the
// logger, logged global memory and the shared file open with retry.
#ifndef TAVRINE_SERVER_RUNTIME_CONSOLE_H
#define TAVRINE_SERVER_RUNTIME_CONSOLE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

// ---------------------------------------------------------------- program shell
// The program's own main operation, called with the arguments that remain
// once the paragraph names and "/SERVICE" are taken out.
typedef int (*TvProgramMain)(int argc, char **argv);
// Builds the program's ID from those arguments (e.g. "FCLASS-1").
typedef void (*TvMakeProgramId)(int argc, char **argv, char *id, size_t size);

// Prepares the process and runs programMain: splits the server arguments,
// ignores Ctrl+C, makes the ID (from makeId, else fixedId) the console title
// and stops failed opens from showing an error box. The process keeps the
// system's own time zone. Returns programMain's result.
int ConsoleMain(int argc, char **argv, const char *fixedId, TvMakeProgramId makeId, TvProgramMain programMain);

// The ID ConsoleMain made ("" before).
const char *ConsoleProgramId(void);

// ---------------------------------------------------------------- clock and sleep
struct RtTime {
    int year;                   // four digits
    int month, day, hour, minute, second;
};

// The clock and sleep under SleepYield, the retry loops and the log lines.
// Tests put a fake one in; null members keep the system's.
struct RtClock {
    uint32_t (*tickMs)(void);   // milliseconds, only differences count
    void (*sleepMs)(uint32_t ms);
    void (*localTime)(RtTime *t);
};
void SetRuntimeClock(const RtClock *clock); // null restores the system clock
uint32_t RtTickMs(void);
void RtSleepMs(uint32_t ms);
void RtLocalTime(RtTime *t);

// Sleeps ms milliseconds; 0 sleeps the default tick unless the previous sleep
// ended less than the minimum interval ago (then returns at once). The first
// call of a process always sleeps.
void SleepYield(uint32_t ms);
// SleepYield with the time capped at 1000 ms.
void SleepYieldShort(uint32_t ms);
// Defaults: tick 100 ms, minimum interval 100 ms (the modem controller uses
// 250 and 0). Also forgets the previous sleep.
void SetSleepYieldTiming(uint32_t tickMs, uint32_t minIntervalMs);
uint32_t SleepYieldTick(void);

// ---------------------------------------------------------------- console
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
// Opens (on) or releases (off) a console window titled with the program ID.
void ShowConsole(bool on);
// The Windows setting [Intl] "sLanguage"; a size of 3 or less empties the
// buffer.
void GetWindowsLanguage(char *buf, size_t size);

// ---------------------------------------------------------------- memory
// Movable, zero-filled global memory, each failure logged at level 5.
typedef void *TvGlobal;
TvGlobal GlobalAllocLogged(uint32_t bytes);
void GlobalFreeLogged(TvGlobal handle);
void *GlobalLockLogged(TvGlobal handle);
void GlobalUnlockLogged(TvGlobal handle);

// ---------------------------------------------------------------- shared open
// Retry seconds of the callers.
enum : int16_t {
    OPEN_RETRY_SERVER_LOG = 15,
    OPEN_RETRY_SYSTEM_INI = 10,
    OPEN_RETRY_SETUP_INI = 30,
    OPEN_RETRY_MESSAGE_LOG = 15,
    OPEN_RETRY_COMMS_LOG = 2,
    OPEN_RETRY_DEFAULT = -1,    // bit 15 set: the stored default
};

// Opens path as a stream with the sharing its mode asks for:
//   r  read, others may read and write      r+ read/write, no sharing
//   w  write, create, truncate, no sharing  w+ read/write, create, truncate
//   a  append, create, others may read      a+ read/append, create, others may read
//   c  create, fail if it exists, no sharing (stream "w"); c+ likewise read/write
// followed by an optional t (text) or b (binary). While the file is held by
// another process the open is retried every default tick until retrySeconds
// have passed; any other failure gives null at once. A retry value with bit
// 15 set takes the stored default; a call without a path only stores
// retrySeconds as that default and returns null.
FILE *OpenFileShared(int16_t retrySeconds, const char *path, const char *mode);
// The system error number of the last failed OpenFileShared (0 when none).
int OpenFileSharedError(void);

// The open flags a mode string stands for (exposed for tests).
enum RtOpenAccess { RT_READ, RT_WRITE, RT_READWRITE };
enum RtOpenCreate { RT_OPEN_EXISTING, RT_CREATE_TRUNCATE, RT_OPEN_ALWAYS, RT_CREATE_NEW };
enum RtOpenShare { RT_SHARE_READWRITE, RT_SHARE_READ, RT_SHARE_NONE };
struct RtOpenMode {
    RtOpenAccess access;
    RtOpenCreate create;
    RtOpenShare share;
    bool append;
    bool text;                  // t given (binary otherwise, or as the runtime defaults)
    char streamMode[5];         // for the stream: "w" for c, "w+" for c+, then t or b
};
// False for a mode whose first letter is not r, w, a or c.
bool ParseOpenMode(const char *mode, RtOpenMode *out);

// ---------------------------------------------------------------- platform layer
// Implemented by console_win.cpp or console_posix.cpp.
enum RtOpenResult { RT_OPEN_OK, RT_OPEN_BUSY, RT_OPEN_FAILED };
FILE *PlatOpenShared(const char *path, const RtOpenMode *mode, RtOpenResult *result, int *error);
uint32_t PlatTickMs(void);
void PlatSleepMs(uint32_t ms);
void PlatLocalTime(RtTime *t);
void PlatBeep(void);
void PlatPrepareConsole(const char *title);
void PlatShowConsole(bool on, const char *title);
void PlatWindowsLanguage(char *buf, size_t size);
TvGlobal PlatGlobalAlloc(uint32_t bytes);
bool PlatGlobalFree(TvGlobal h);
void *PlatGlobalLock(TvGlobal h);
bool PlatGlobalUnlock(TvGlobal h); // true while the block stays locked
int PlatHandleId(TvGlobal h);

#endif
