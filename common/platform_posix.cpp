// POSIX backend of the platform layer, for the native test tree only.
//
// Paths are the system's Windows strings: '\' is taken as '/', and the last
// component of a path is matched ignoring case. Share modes are approximated
// with advisory locks: an open that grants no sharing takes an exclusive
// lock, every other open a shared one, so a file held without sharing is seen
// as busy by the next opener (and a file held at all by an opener that wants
// it alone). Directory entries have no 8.3 alias, and there is no Windows
// directory.
#include "common/platform.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <sched.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

char TvPathSep(void)
{
    return '/';
}

enum { TV_POSIX_PATH_MAX = 1024 };

static bool NativePath(const char* path, char* out, size_t size)
{
    size_t n = std::strlen(path);
    if (n + 1 > size)
        return false;
    for (size_t i = 0; i <= n; ++i)
        out[i] = path[i] == '\\' ? '/' : path[i];
    return true;
}

static char Fold(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

static bool SameIgnoringCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b)
        if (Fold(*a) != Fold(*b))
            return false;
    return *a == *b;
}

// Names are matched ignoring case, as on the system this stands in for: when
// the last component does not exist as written, an entry of its directory
// that differs only in case is taken instead.
static void ResolveCase(char* native, size_t size)
{
    struct stat st;
    if (stat(native, &st) == 0)
        return;
    char* slash = std::strrchr(native, '/');
    const char* name = slash ? slash + 1 : native;
    if (!*name)
        return;
    char dirPath[TV_POSIX_PATH_MAX];
    size_t dirLength = static_cast<size_t>(name - native);
    std::memcpy(dirPath, native, dirLength);
    dirPath[dirLength] = 0;
    DIR* d = opendir(dirLength ? dirPath : ".");
    if (!d)
        return;
    while (struct dirent* e = readdir(d)) {
        if (SameIgnoringCase(e->d_name, name) && dirLength + std::strlen(e->d_name) + 1 <= size) {
            std::strcpy(native + dirLength, e->d_name);
            break;
        }
    }
    closedir(d);
}

// '\' to '/' and the case of the last component resolved.
static bool ExistingPath(const char* path, char* out, size_t size)
{
    if (!NativePath(path, out, size))
        return false;
    ResolveCase(out, size);
    return true;
}

static TvCreateResult ResultOfErrno(int e)
{
    switch (e) {
    case ENOENT:
    case ENOTDIR:
        return TV_CR_NOTFOUND;
    case EEXIST:
        return TV_CR_EXISTS;
    case EWOULDBLOCK:
        return TV_CR_BUSY;
    case EACCES:
    case EPERM:
    case EISDIR:
        return TV_CR_DENIED;
    case EMFILE:
    case ENFILE:
        return TV_CR_TOOMANY;
    default:
        return TV_CR_FAILED;
    }
}

FILE* TvPlatOpen(const char* path, TvAccess access, TvDisposition disposition, TvShare share,
                 bool append, const char* streamMode, TvCreateResult* why, int* systemError)
{
    TvCreateResult dummy;
    int dummyError;
    if (!why)
        why = &dummy;
    if (!systemError)
        systemError = &dummyError;
    char native[TV_POSIX_PATH_MAX];
    if (!ExistingPath(path, native, sizeof native)) {
        *why = TV_CR_FAILED;
        *systemError = ENAMETOOLONG;
        return nullptr;
    }
    int flags = access == TV_ACCESS_READ ? O_RDONLY : access == TV_ACCESS_WRITE ? O_WRONLY : O_RDWR;
    // Created here, but truncated only once the lock is held.
    bool truncate = disposition == TV_CREATE_ALWAYS;
    if (disposition == TV_CREATE_ALWAYS || disposition == TV_OPEN_ALWAYS)
        flags |= O_CREAT;
    else if (disposition == TV_CREATE_NEW)
        flags |= O_CREAT | O_EXCL;
    if (append)
        flags |= O_APPEND;
    int fd = open(native, flags, 0666);
    if (fd < 0) {
        *systemError = errno;
        *why = ResultOfErrno(errno);
        return nullptr;
    }
    // A directory opens here for reading; not on the system this stands in for.
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(fd);
        *systemError = EISDIR;
        *why = TV_CR_DENIED;
        return nullptr;
    }
    if (flock(fd, (share == TV_DENY_ALL ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0 ||
        (truncate && ftruncate(fd, 0) != 0)) {
        *systemError = errno;
        *why = ResultOfErrno(errno);
        close(fd);
        return nullptr;
    }
    // The C library here knows no text translation.
    char mode[8];
    size_t m = 0;
    for (const char* p = streamMode; *p && m + 1 < sizeof mode; ++p)
        if (*p != 't')
            mode[m++] = *p;
    mode[m] = 0;
    FILE* f = fdopen(fd, mode);
    if (!f) {
        *systemError = errno;
        close(fd);
        *why = TV_CR_FAILED;
        return nullptr;
    }
    *why = TV_CR_OK;
    *systemError = 0;
    return f;
}

int64_t TvPlatStreamLength(FILE* f)
{
    if (!f)
        return -1;
    std::fflush(f);
    struct stat st;
    if (fstat(fileno(f), &st) != 0)
        return -1;
    return st.st_size;
}

TvTruncResult TvPlatSetStreamLength(FILE* f, int64_t length)
{
    if (!f || length < 0)
        return TV_TR_FAILED;
    std::fflush(f);
    if (ftruncate(fileno(f), static_cast<off_t>(length)) == 0)
        return TV_TR_OK;
    return errno == ENOSPC || errno == EFBIG ? TV_TR_NOSPACE : TV_TR_FAILED;
}

// 1601 to 1970 in seconds.
static const int64_t kEpochSeconds = 11644473600LL;

static TvFileTime FromTimespec(const struct timespec& ts)
{
    return (int64_t(ts.tv_sec) + kEpochSeconds) * 10000000 + ts.tv_nsec / 100;
}

// Matches name against a pattern with '*' and '?', ignoring ASCII case. As on
// the system this stands in for, a pattern ending in ".*" also matches a name
// without a dot.
static bool WildMatch(const char* p, const char* n)
{
    while (*p) {
        if (*p == '*') {
            while (*p == '*')
                ++p;
            if (!*p)
                return true;
            for (const char* s = n; *s; ++s)
                if (WildMatch(p, s))
                    return true;
            return WildMatch(p, n + std::strlen(n));
        }
        if (!*n) {
            // ".*" at the end matches nothing at all.
            return std::strcmp(p, ".*") == 0;
        }
        if (*p != '?' && Fold(*p) != Fold(*n))
            return false;
        ++p;
        ++n;
    }
    return *n == 0;
}

struct TvDirIter {
    DIR* dir;
    char base[TV_POSIX_PATH_MAX];
    char pattern[256];
};

static bool ReadMatching(TvDirIter* it, TvDirEntry* entry)
{
    while (struct dirent* d = readdir(it->dir)) {
        if (!WildMatch(it->pattern, d->d_name))
            continue;
        char full[TV_POSIX_PATH_MAX + 256];
        std::snprintf(full, sizeof full, "%s%s", it->base, d->d_name);
        struct stat st;
        if (stat(full, &st) != 0)
            continue;
        std::memset(entry, 0, sizeof *entry);
        std::strncpy(entry->longName, d->d_name, sizeof entry->longName - 1);
        entry->attributes = S_ISDIR(st.st_mode) ? uint32_t(TV_ATTR_DIRECTORY) : 0u;
        if (d->d_name[0] == '.' && std::strcmp(d->d_name, ".") != 0 && std::strcmp(d->d_name, "..") != 0)
            entry->attributes |= TV_ATTR_HIDDEN;
        entry->lastWrite = FromTimespec(st.st_mtim);
        return true;
    }
    return false;
}

TvDirIter* TvPlatFindFirst(const char* pattern, TvDirEntry* entry)
{
    char native[TV_POSIX_PATH_MAX];
    if (!NativePath(pattern, native, sizeof native))
        return nullptr;
    TvDirIter* it = new (std::nothrow) TvDirIter;
    if (!it)
        return nullptr;
    const char* slash = std::strrchr(native, '/');
    const char* name = slash ? slash + 1 : native;
    if (std::strlen(name) >= sizeof it->pattern) {
        delete it;
        return nullptr;
    }
    std::strcpy(it->pattern, name);
    size_t baseLength = static_cast<size_t>(name - native);
    std::memcpy(it->base, native, baseLength);
    it->base[baseLength] = 0;
    it->dir = opendir(baseLength ? it->base : ".");
    if (!it->dir) {
        delete it;
        return nullptr;
    }
    if (!ReadMatching(it, entry)) {
        closedir(it->dir);
        delete it;
        return nullptr;
    }
    return it;
}

bool TvPlatFindNext(TvDirIter* it, TvDirEntry* entry)
{
    return it && ReadMatching(it, entry);
}

void TvPlatFindClose(TvDirIter* it)
{
    if (!it)
        return;
    closedir(it->dir);
    delete it;
}

TvCreateResult TvPlatGetFileTime(const char* path, TvFileTime* lastWrite)
{
    char native[TV_POSIX_PATH_MAX];
    struct stat st;
    if (!ExistingPath(path, native, sizeof native))
        return TV_CR_FAILED;
    if (stat(native, &st) != 0)
        return ResultOfErrno(errno);
    *lastWrite = FromTimespec(st.st_mtim);
    return TV_CR_OK;
}

// The access time left alone, the modification time set to lastWrite.
static void ModificationTimes(TvFileTime lastWrite, struct timespec times[2])
{
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    int64_t ticks = lastWrite - kEpochSeconds * 10000000;
    int64_t secs = ticks / 10000000, rest = ticks % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --secs;
    }
    times[1].tv_sec = static_cast<time_t>(secs);
    times[1].tv_nsec = static_cast<long>(rest * 100);
}

TvCreateResult TvPlatSetFileTime(const char* path, TvFileTime lastWrite)
{
    char native[TV_POSIX_PATH_MAX];
    if (!ExistingPath(path, native, sizeof native))
        return TV_CR_FAILED;
    struct timespec times[2];
    ModificationTimes(lastWrite, times);
    if (utimensat(AT_FDCWD, native, times, 0) != 0)
        return ResultOfErrno(errno);
    return TV_CR_OK;
}

bool TvPlatSetStreamFileTime(FILE* f, TvFileTime lastWrite)
{
    if (!f || std::fflush(f) != 0)
        return false;
    struct timespec times[2];
    ModificationTimes(lastWrite, times);
    return futimens(fileno(f), times) == 0;
}

bool TvPlatRemove(const char* path)
{
    char native[TV_POSIX_PATH_MAX];
    return ExistingPath(path, native, sizeof native) && unlink(native) == 0;
}

bool TvPlatRename(const char* from, const char* to)
{
    char a[TV_POSIX_PATH_MAX], b[TV_POSIX_PATH_MAX];
    return ExistingPath(from, a, sizeof a) && NativePath(to, b, sizeof b) && std::rename(a, b) == 0;
}

bool TvPlatFileExists(const char* path)
{
    char native[TV_POSIX_PATH_MAX];
    struct stat st;
    return ExistingPath(path, native, sizeof native) && stat(native, &st) == 0 && !S_ISDIR(st.st_mode);
}

bool TvPlatDirExists(const char* path)
{
    char native[TV_POSIX_PATH_MAX];
    struct stat st;
    return ExistingPath(path, native, sizeof native) && stat(native, &st) == 0 && S_ISDIR(st.st_mode);
}

bool TvPlatMakeDir(const char* path)
{
    char native[TV_POSIX_PATH_MAX];
    return NativePath(path, native, sizeof native) && mkdir(native, 0777) == 0;
}

bool TvPlatRemoveDir(const char* path)
{
    char native[TV_POSIX_PATH_MAX];
    return NativePath(path, native, sizeof native) && rmdir(native) == 0;
}

int64_t TvPlatNowMs(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int64_t TvPlatTickMs(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void TvPlatSleepMs(uint32_t ms)
{
    if (ms == 0) {
        sched_yield();
        return;
    }
    struct timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = long(ms % 1000) * 1000000;
    // A signal does not cut the sleep short.
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void TvPlatLocalTime(TvDateTime* t)
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

static_assert(sizeof(time_t) == 8, "a 64-bit time_t is needed");

int64_t TvPlatMakeTime(struct tm* tm)
{
    return static_cast<int64_t>(mktime(tm));
}

bool TvPlatLocalTm(int64_t t, struct tm* out)
{
    time_t v = static_cast<time_t>(t);
    return localtime_r(&v, out) != nullptr;
}

// No boxes to hide here.
uint32_t TvPlatHideErrorBoxes(void)
{
    return 0;
}

void TvPlatRestoreErrorBoxes(uint32_t)
{
}

bool TvPlatWindowsDir(char* out, size_t size)
{
    if (out && size)
        out[0] = 0;
    return false;
}

bool TvPlatCurrentDir(char* out, size_t size)
{
    if (!out || size == 0)
        return false;
    if (!getcwd(out, size)) {
        out[0] = 0;
        return false;
    }
    return true;
}

bool TvPlatGetEnv(const char* name, char* out, size_t size)
{
    if (!out || size == 0)
        return false;
    out[0] = 0;
    const char* v = std::getenv(name);
    if (!v)
        return false;
    std::strncpy(out, v, size - 1);
    out[size - 1] = 0;
    return true;
}
