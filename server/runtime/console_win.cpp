// Console program shell: the Win32 calls.
#include "server/runtime/console.h"

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>

FILE *PlatOpenShared(const char *path, const RtOpenMode *mode, RtOpenResult *result, int *error)
{
    DWORD access = mode->access == RT_READ ? GENERIC_READ
                   : mode->access == RT_WRITE ? GENERIC_WRITE
                                              : GENERIC_READ | GENERIC_WRITE;
    DWORD share = mode->share == RT_SHARE_READWRITE ? FILE_SHARE_READ | FILE_SHARE_WRITE
                  : mode->share == RT_SHARE_READ    ? FILE_SHARE_READ
                                                    : 0;
    DWORD creation = mode->create == RT_OPEN_EXISTING     ? OPEN_EXISTING
                     : mode->create == RT_CREATE_TRUNCATE ? CREATE_ALWAYS
                     : mode->create == RT_OPEN_ALWAYS     ? OPEN_ALWAYS
                                                          : CREATE_NEW;
    HANDLE h = CreateFileA(path, access, share, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD e = GetLastError();
        *error = static_cast<int>(e);
        *result = (e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION) ? RT_OPEN_BUSY : RT_OPEN_FAILED;
        return nullptr;
    }
    int flags = 0;
    if (mode->access == RT_READ)
        flags |= _O_RDONLY;
    if (mode->append)
        flags |= _O_APPEND;
    if (mode->text)
        flags |= _O_TEXT;
    else if (std::strchr(mode->streamMode, 'b'))
        flags |= _O_BINARY;
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), flags);
    if (fd < 0) {
        *error = static_cast<int>(GetLastError());
        CloseHandle(h);
        *result = RT_OPEN_FAILED;
        return nullptr;
    }
    FILE *f = _fdopen(fd, mode->streamMode);
    if (!f) {
        *error = errno;
        _close(fd);
        *result = RT_OPEN_FAILED;
        return nullptr;
    }
    if (mode->append)
        std::fseek(f, 0, SEEK_END);
    *result = RT_OPEN_OK;
    *error = 0;
    return f;
}

uint32_t PlatTickMs(void) { return GetTickCount(); }

void PlatSleepMs(uint32_t ms) { Sleep(ms); }

void PlatLocalTime(RtTime *t)
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

void PlatBeep(void) { MessageBeep(0xFFFFFFFF); }

void PlatPrepareConsole(const char *title)
{
    SetConsoleCtrlHandler(nullptr, TRUE);
    if (title && title[0])
        SetConsoleTitleA(title);
    UINT old = SetErrorMode(0);
    SetErrorMode(old | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

void PlatShowConsole(bool on, const char *title)
{
    if (on) {
        if (AllocConsole()) {
            std::freopen("CONOUT$", "w", stdout);
            if (title && title[0])
                SetConsoleTitleA(title);
        }
    } else {
        FreeConsole();
    }
}

void PlatWindowsLanguage(char *buf, size_t size)
{
    GetProfileStringA("Intl", "sLanguage", "", buf, static_cast<DWORD>(size));
}

TvGlobal PlatGlobalAlloc(uint32_t bytes) { return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes); }

bool PlatGlobalFree(TvGlobal h) { return h && GlobalFree(static_cast<HGLOBAL>(h)) == nullptr; }

void *PlatGlobalLock(TvGlobal h) { return h ? GlobalLock(static_cast<HGLOBAL>(h)) : nullptr; }

bool PlatGlobalUnlock(TvGlobal h)
{
    if (!h)
        return false;
    return GlobalUnlock(static_cast<HGLOBAL>(h)) != 0;
}

int PlatHandleId(TvGlobal h) { return static_cast<int>(reinterpret_cast<intptr_t>(h)); }
