// The server's lock and marker files: the Win32 calls.
#include "standins/sysman/serverlock.h"

#include <windows.h>

#include <cstdio>

#include "common/platform.h"
#include "server/runtime/srvlog.h"

static HANDLE g_lock = INVALID_HANDLE_VALUE;

static bool AreaFile(const char *area, const char *name, char *out, size_t size)
{
    int n = std::snprintf(out, size, "%s%s", area ? area : "", name);
    return n > 0 && static_cast<size_t>(n) < size;
}

TvStatus TakeServerLock(const char *requestArea)
{
    char path[MAX_PATH];
    if (!AreaFile(requestArea, SERVER_LOCK_FILE, path, sizeof path)) {
        LogMessage(6, "Lock file name too long in %s", requestArea);
        return TV_E_BADARG;
    }
    if (g_lock != INVALID_HANDLE_VALUE)
        return TV_OK;
    // Writers are shared so that both server programs can hold it; a reader
    // that denies writes is refused, which tells it the server runs.
    g_lock = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (g_lock == INVALID_HANDLE_VALUE) {
        LogMessage(6, "Error %lu opening lock file %s", static_cast<unsigned long>(GetLastError()), path);
        return TV_E_IO;
    }
    LogMessage(3, "Holding lock file %s", path);
    return TV_OK;
}

void ReleaseServerLock(void)
{
    if (g_lock != INVALID_HANDLE_VALUE) {
        CloseHandle(g_lock);
        g_lock = INVALID_HANDLE_VALUE;
    }
}

TvStatus WriteServerMarker(const char *requestArea)
{
    char path[MAX_PATH];
    if (!AreaFile(requestArea, SERVER_MARKER_FILE, path, sizeof path)) {
        LogMessage(4, "Marker file name too long in %s", requestArea);
        return TV_E_BADARG;
    }
    HANDLE h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        LogMessage(4, "Error %lu writing marker file %s", static_cast<unsigned long>(GetLastError()), path);
        return TV_E_IO;
    }
    static const char text[] = "Tavrine server running\r\n";
    DWORD n = 0;
    BOOL ok = WriteFile(h, text, sizeof text - 1, &n, nullptr);
    CloseHandle(h);
    if (!ok || n != sizeof text - 1) {
        LogMessage(4, "Error writing marker file %s", path);
        return TV_E_IO;
    }
    return TV_OK;
}

void RemoveServerMarker(const char *requestArea)
{
    char path[MAX_PATH];
    if (AreaFile(requestArea, SERVER_MARKER_FILE, path, sizeof path))
        TvPlatRemove(path);
}
