// Console program shell for the native test tree. Paths take '\' as '/'.
// Share modes are approximated with advisory locks: an open that grants no
// sharing takes an exclusive lock, every other open a shared one, so a file
// held without sharing is seen as busy by the next opener.
#include "server/runtime/console.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

FILE *PlatOpenShared(const char *path, const RtOpenMode *mode, RtOpenResult *result, int *error)
{
    char p[1024];
    size_t n = 0;
    for (; path[n] && n + 1 < sizeof p; ++n)
        p[n] = path[n] == '\\' ? '/' : path[n];
    p[n] = '\0';
    int flags = mode->access == RT_READ ? O_RDONLY : mode->access == RT_WRITE ? O_WRONLY : O_RDWR;
    if (mode->create == RT_CREATE_TRUNCATE)
        flags |= O_CREAT | O_TRUNC;
    else if (mode->create == RT_OPEN_ALWAYS)
        flags |= O_CREAT;
    else if (mode->create == RT_CREATE_NEW)
        flags |= O_CREAT | O_EXCL;
    if (mode->append)
        flags |= O_APPEND;
    // Do not truncate before the lock is held.
    bool truncate = (flags & O_TRUNC) != 0;
    flags &= ~O_TRUNC;
    int fd = open(p, flags, 0666);
    if (fd < 0) {
        *error = errno;
        *result = RT_OPEN_FAILED;
        return nullptr;
    }
    if (flock(fd, (mode->share == RT_SHARE_NONE ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        *error = errno;
        close(fd);
        *result = RT_OPEN_BUSY;
        return nullptr;
    }
    if (truncate && ftruncate(fd, 0) != 0) {
        *error = errno;
        close(fd);
        *result = RT_OPEN_FAILED;
        return nullptr;
    }
    char sm[5];
    size_t k = 0;
    for (const char *s = mode->streamMode; *s && k + 1 < sizeof sm; ++s)
        if (*s != 't')
            sm[k++] = *s;
    sm[k] = '\0';
    FILE *f = fdopen(fd, sm);
    if (!f) {
        *error = errno;
        close(fd);
        *result = RT_OPEN_FAILED;
        return nullptr;
    }
    *error = 0;
    *result = RT_OPEN_OK;
    return f;
}

uint32_t PlatTickMs(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(ts.tv_sec * 1000u + ts.tv_nsec / 1000000);
}

void PlatSleepMs(uint32_t ms)
{
    struct timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void PlatLocalTime(RtTime *t)
{
    time_t now = time(nullptr);
    struct tm tmv;
    localtime_r(&now, &tmv);
    t->year = tmv.tm_year + 1900;
    t->month = tmv.tm_mon + 1;
    t->day = tmv.tm_mday;
    t->hour = tmv.tm_hour;
    t->minute = tmv.tm_min;
    t->second = tmv.tm_sec;
}

void PlatBeep(void)
{
    if (isatty(STDERR_FILENO))
        (void)!write(STDERR_FILENO, "\a", 1);
}

void PlatPrepareConsole(const char *title) { signal(SIGINT, SIG_IGN); }

void PlatShowConsole(bool on, const char *title) {}

// There is no Windows setting here; the system's default language stands in.
void PlatWindowsLanguage(char *buf, size_t size) { std::snprintf(buf, size, "%s", "enu"); }

namespace {
struct PosixGlobal {
    int locks;
    size_t size;
    unsigned char data[1];
};
} // namespace

TvGlobal PlatGlobalAlloc(uint32_t bytes)
{
    PosixGlobal *g = static_cast<PosixGlobal *>(std::calloc(1, sizeof(PosixGlobal) + bytes));
    if (g)
        g->size = bytes;
    return g;
}

bool PlatGlobalFree(TvGlobal h)
{
    if (!h)
        return false;
    std::free(h);
    return true;
}

void *PlatGlobalLock(TvGlobal h)
{
    if (!h)
        return nullptr;
    PosixGlobal *g = static_cast<PosixGlobal *>(h);
    ++g->locks;
    return g->data;
}

bool PlatGlobalUnlock(TvGlobal h)
{
    if (!h)
        return false;
    PosixGlobal *g = static_cast<PosixGlobal *>(h);
    if (g->locks > 0)
        --g->locks;
    return g->locks > 0;
}

int PlatHandleId(TvGlobal h) { return static_cast<int>(reinterpret_cast<intptr_t>(h) & 0x7FFFFFFF); }
