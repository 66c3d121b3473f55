// Win32 backend of the platform layer.
#include "common/platform.h"

#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <fcntl.h>
#include <io.h>
#include <time.h>

char TvPathSep(void)
{
    return '\\';
}

static TvCreateResult ResultOfError(DWORD err)
{
    switch (err) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return TV_CR_BUSY;
    case ERROR_ACCESS_DENIED:
        return TV_CR_DENIED;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        return TV_CR_NOTFOUND;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return TV_CR_EXISTS;
    case ERROR_TOO_MANY_OPEN_FILES:
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
    DWORD desired = access == TV_ACCESS_READ ? GENERIC_READ
                  : access == TV_ACCESS_WRITE ? GENERIC_WRITE
                  : GENERIC_READ | GENERIC_WRITE;
    DWORD shareMode = share == TV_DENY_NONE ? FILE_SHARE_READ | FILE_SHARE_WRITE
                    : share == TV_DENY_WRITE ? FILE_SHARE_READ
                    : 0;
    DWORD create = disposition == TV_OPEN_EXISTING ? OPEN_EXISTING
                 : disposition == TV_CREATE_ALWAYS ? CREATE_ALWAYS
                 : disposition == TV_OPEN_ALWAYS ? OPEN_ALWAYS
                 : CREATE_NEW;
    HANDLE h = CreateFileA(path, desired, shareMode, nullptr, create, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD e = GetLastError();
        *why = ResultOfError(e);
        *systemError = static_cast<int>(e);
        return nullptr;
    }

    // Translation as the stream mode asks; the runtime's default otherwise.
    int flags = 0;
    if (std::strchr(streamMode, 't'))
        flags |= _O_TEXT;
    else if (std::strchr(streamMode, 'b'))
        flags |= _O_BINARY;
    else {
        flags |= (_fmode & _O_BINARY) ? _O_BINARY : _O_TEXT;
    }
    if (access == TV_ACCESS_READ)
        flags |= _O_RDONLY;
    if (append)
        flags |= _O_APPEND;
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), flags);
    if (fd == -1) {
        *systemError = static_cast<int>(GetLastError());
        CloseHandle(h);
        *why = TV_CR_FAILED;
        return nullptr;
    }
    FILE* f = _fdopen(fd, streamMode);
    if (!f) {
        *systemError = errno;
        _close(fd);
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
    return _filelengthi64(_fileno(f));
}

TvTruncResult TvPlatSetStreamLength(FILE* f, int64_t length)
{
    if (!f || length < 0 || length > 0x7FFFFFFF)
        return TV_TR_FAILED;
    std::fflush(f);
    errno = 0;
    if (_chsize(_fileno(f), static_cast<long>(length)) == 0)
        return TV_TR_OK;
    return errno == ENOSPC ? TV_TR_NOSPACE : TV_TR_FAILED;
}

static TvFileTime FromFileTime(const FILETIME& ft)
{
    return static_cast<TvFileTime>((uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

static FILETIME ToFileTime(TvFileTime t)
{
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(uint64_t(t) & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<DWORD>(uint64_t(t) >> 32);
    return ft;
}

struct TvDirIter {
    HANDLE handle;
};

// Copies a zero-ended field of the system's record, bounded on both sides.
static void CopyField(char* out, size_t outSize, const char* in, size_t inSize)
{
    size_t n = strnlen(in, inSize);
    if (n >= outSize)
        n = outSize - 1;
    std::memcpy(out, in, n);
    out[n] = 0;
}

static void FillEntry(const WIN32_FIND_DATAA& fd, TvDirEntry* entry)
{
    std::memset(entry, 0, sizeof *entry);
    CopyField(entry->longName, sizeof entry->longName, fd.cFileName, sizeof fd.cFileName);
    CopyField(entry->shortName, sizeof entry->shortName, fd.cAlternateFileName, sizeof fd.cAlternateFileName);
    entry->attributes = fd.dwFileAttributes;
    entry->lastWrite = FromFileTime(fd.ftLastWriteTime);
}

TvDirIter* TvPlatFindFirst(const char* pattern, TvDirEntry* entry)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return nullptr;
    TvDirIter* it = new (std::nothrow) TvDirIter;
    if (!it) {
        FindClose(h);
        return nullptr;
    }
    it->handle = h;
    FillEntry(fd, entry);
    return it;
}

bool TvPlatFindNext(TvDirIter* it, TvDirEntry* entry)
{
    WIN32_FIND_DATAA fd;
    if (!it || !FindNextFileA(it->handle, &fd))
        return false;
    FillEntry(fd, entry);
    return true;
}

void TvPlatFindClose(TvDirIter* it)
{
    if (!it)
        return;
    FindClose(it->handle);
    delete it;
}

TvCreateResult TvPlatGetFileTime(const char* path, TvFileTime* lastWrite)
{
    HANDLE h = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return ResultOfError(GetLastError());
    FILETIME ft;
    BOOL ok = GetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
    if (!ok)
        return TV_CR_FAILED;
    *lastWrite = FromFileTime(ft);
    return TV_CR_OK;
}

TvCreateResult TvPlatSetFileTime(const char* path, TvFileTime lastWrite)
{
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return ResultOfError(GetLastError());
    FILETIME ft = ToFileTime(lastWrite);
    BOOL ok = SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
    return ok ? TV_CR_OK : TV_CR_FAILED;
}

bool TvPlatSetStreamFileTime(FILE* f, TvFileTime lastWrite)
{
    if (!f || std::fflush(f) != 0)
        return false;
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    if (h == INVALID_HANDLE_VALUE)
        return false;
    FILETIME ft = ToFileTime(lastWrite);
    return SetFileTime(h, nullptr, nullptr, &ft) != 0;
}

bool TvPlatRemove(const char* path)
{
    return DeleteFileA(path) != 0;
}

bool TvPlatRename(const char* from, const char* to)
{
    return MoveFileA(from, to) != 0;
}

bool TvPlatFileExists(const char* path)
{
    DWORD a = GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool TvPlatDirExists(const char* path)
{
    DWORD a = GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool TvPlatMakeDir(const char* path)
{
    return CreateDirectoryA(path, nullptr) != 0;
}

bool TvPlatRemoveDir(const char* path)
{
    return RemoveDirectoryA(path) != 0;
}

int64_t TvPlatNowMs(void)
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    // 1601 to 1970 in 100-nanosecond ticks.
    return (FromFileTime(ft) - 116444736000000000LL) / 10000;
}

int64_t TvPlatTickMs(void)
{
    LARGE_INTEGER freq, now;
    if (!QueryPerformanceFrequency(&freq) || freq.QuadPart <= 0 || !QueryPerformanceCounter(&now))
        return GetTickCount();
    return now.QuadPart / freq.QuadPart * 1000 + now.QuadPart % freq.QuadPart * 1000 / freq.QuadPart;
}

void TvPlatSleepMs(uint32_t ms)
{
    Sleep(ms);
}

void TvPlatLocalTime(TvDateTime* t)
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    t->year = st.wYear;
    t->month = st.wMonth;
    t->day = st.wDay;
    t->hour = st.wHour;
    t->minute = st.wMinute;
    t->second = st.wSecond;
}

int64_t TvPlatMakeTime(struct tm* tm)
{
    return static_cast<int64_t>(_mktime64(tm));
}

bool TvPlatLocalTm(int64_t t, struct tm* out)
{
    __time64_t v = static_cast<__time64_t>(t);
    struct tm* r = _localtime64(&v);
    if (!r)
        return false;
    *out = *r;
    return true;
}

uint32_t TvPlatHideErrorBoxes(void)
{
    // The setting can only be read by changing it.
    UINT old = SetErrorMode(0);
    SetErrorMode(old | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    return old;
}

void TvPlatRestoreErrorBoxes(uint32_t previous)
{
    SetErrorMode(static_cast<UINT>(previous));
}

bool TvPlatWindowsDir(char* out, size_t size)
{
    if (!out || size == 0)
        return false;
    out[0] = 0;
    UINT n = GetWindowsDirectoryA(out, static_cast<UINT>(size));
    if (n == 0 || n >= size) {
        out[0] = 0;
        return false;
    }
    return true;
}

bool TvPlatCurrentDir(char* out, size_t size)
{
    if (!out || size == 0)
        return false;
    out[0] = 0;
    DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(size), out);
    if (n == 0 || n >= size) {
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
