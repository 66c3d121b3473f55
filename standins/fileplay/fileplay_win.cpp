// The file peer: plays the script named on its command line. Exit code 0
// when every action was done, 1 when one failed, 2 for a usage error.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "standins/fileplay/fileplay.h"
#include "standins/queueman/msgdir.h"

namespace {

enum { POLL_MS = 20, COPY_CHUNK = 65536 };
const ULONGLONG kTicksPerSecond = 10000000ULL;
const ULONGLONG kYear = 31536000ULL * kTicksPerSecond;

ULONGLONG FromFileTime(const FILETIME &ft) { return (ULONGLONG(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

FILETIME ToFileTime(ULONGLONG t)
{
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(t & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
    return ft;
}

ULONGLONG Now(void)
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return FromFileTime(ft);
}

DWORD Rights(unsigned bits)
{
    return ((bits & PLAY_READ) ? GENERIC_READ : 0) | ((bits & PLAY_WRITE) ? GENERIC_WRITE : 0);
}

DWORD ShareMode(unsigned bits)
{
    return ((bits & PLAY_READ) ? FILE_SHARE_READ : 0) | ((bits & PLAY_WRITE) ? FILE_SHARE_WRITE : 0);
}

// Sets the last-write time through a handle that shares everything, so that
// a holder sharing reads and writes doesn't stop it.
DWORD SetWriteTime(const char *path, ULONGLONG t)
{
    HANDLE h = CreateFileA(path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError();
    FILETIME ft = ToFileTime(t);
    DWORD e = SetFileTime(h, nullptr, nullptr, &ft) ? 0 : GetLastError();
    CloseHandle(h);
    return e;
}

DWORD GetWriteTime(const char *path, ULONGLONG *t)
{
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &a))
        return GetLastError();
    *t = FromFileTime(a.ftLastWriteTime);
    return 0;
}

// Writes the fixture's bytes at the start (over) or the end (append) of an
// existing or new target, through an open that shares reads and writes.
DWORD CopyBytes(const char *fixture, const char *target, bool append)
{
    HANDLE in = CreateFileA(fixture, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        return GetLastError();
    HANDLE out = CreateFileA(target, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        DWORD e = GetLastError();
        CloseHandle(in);
        return e;
    }
    DWORD e = 0;
    if (append && SetFilePointer(out, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER)
        e = GetLastError();
    static char buf[COPY_CHUNK];
    DWORD n = 0;
    while (e == 0 && ReadFile(in, buf, sizeof buf, &n, nullptr) && n > 0) {
        DWORD w = 0;
        if (!WriteFile(out, buf, n, &w, nullptr) || w != n)
            e = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    }
    CloseHandle(in);
    CloseHandle(out);
    return e;
}

struct FileState {
    bool exists;
    ULONGLONG size, time;
};

FileState StateOf(const char *path)
{
    FileState s = {false, 0, 0};
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (GetFileAttributesExA(path, GetFileExInfoStandard, &a)) {
        s.exists = true;
        s.size = (ULONGLONG(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
        s.time = FromFileTime(a.ftLastWriteTime);
    }
    return s;
}

// Polls until done() or ms have passed: 0, or the time-out code.
template <typename Pred> DWORD WaitUntil(uint32_t ms, Pred done)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (done())
            return 0;
        if (GetTickCount() - start >= ms)
            return ERROR_TIMEOUT;
        Sleep(POLL_MS);
    }
}

void Report(int lineNumber, PlayVerb verb, DWORD error)
{
    std::printf("%d %s %lu\n", lineNumber, PlayVerbName(verb), static_cast<unsigned long>(error));
    std::fflush(stdout);
}

DWORD Play(const PlayAction &a, int lineNumber)
{
    switch (a.verb) {
    case PLAY_HOLD: {
        HANDLE h = CreateFileA(a.path, Rights(a.access), ShareMode(a.share), nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD e = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        Report(lineNumber, a.verb, e);
        if (e == 0) {
            Sleep(a.ms);
            CloseHandle(h);
        }
        return e;
    }
    case PLAY_COPY:
        return CopyBytes(a.path, a.other, false);
    case PLAY_APPEND:
        return CopyBytes(a.other, a.path, true);
    case PLAY_SETTIME: {
        SYSTEMTIME st = {};
        st.wYear = static_cast<WORD>(a.year);
        st.wMonth = static_cast<WORD>(a.month);
        st.wDay = static_cast<WORD>(a.day);
        st.wHour = static_cast<WORD>(a.hour);
        st.wMinute = static_cast<WORD>(a.minute);
        st.wSecond = static_cast<WORD>(a.second);
        FILETIME ft;
        if (!SystemTimeToFileTime(&st, &ft))
            return GetLastError();
        return SetWriteTime(a.path, FromFileTime(ft));
    }
    case PLAY_ATTRIB:
        return SetFileAttributesA(a.path, a.attributes ? a.attributes : FILE_ATTRIBUTE_NORMAL) ? 0 : GetLastError();
    case PLAY_MARKER: {
        ULONGLONG t = 0;
        DWORD e = GetWriteTime(a.path, &t);
        if (e)
            return e;
        return SetWriteTime(a.path, static_cast<ULONGLONG>(
                                        MarkerNextTime(static_cast<TvFileTime>(t), static_cast<TvFileTime>(Now()))));
    }
    case PLAY_AHEAD:
        return SetWriteTime(a.path, Now() + static_cast<ULONGLONG>(a.years) * kYear);
    case PLAY_DELETE:
        return DeleteFileA(a.path) ? 0 : GetLastError();
    case PLAY_APPEAR:
        return WaitUntil(a.ms, [&] { return StateOf(a.path).exists; });
    case PLAY_VANISH:
        return WaitUntil(a.ms, [&] { return !StateOf(a.path).exists; });
    case PLAY_CHANGE: {
        FileState before = StateOf(a.path);
        return WaitUntil(a.ms, [&] {
            FileState now = StateOf(a.path);
            return now.exists != before.exists || now.size != before.size || now.time != before.time;
        });
    }
    case PLAY_SLEEP:
        Sleep(a.ms);
        return 0;
    case PLAY_NONE:
        break;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fileplay SCRIPT\n");
        return 2;
    }
    FILE *f = std::fopen(argv[1], "rb");
    if (!f) {
        std::fprintf(stderr, "fileplay: cannot open %s\n", argv[1]);
        return 2;
    }
    char line[PLAY_LINE_MAX];
    int number = 0, failed = 0;
    while (std::fgets(line, sizeof line, f)) {
        ++number;
        PlayAction a;
        if (!ParsePlayLine(line, &a)) {
            Report(number, a.verb, ERROR_INVALID_PARAMETER);
            ++failed;
            continue;
        }
        if (a.verb == PLAY_NONE)
            continue;
        DWORD e = Play(a, number);
        if (a.verb != PLAY_HOLD)
            Report(number, a.verb, e);
        if (e)
            ++failed;
    }
    std::fclose(f);
    return failed ? 1 : 0;
}
