// tmpfile() for the Windows test binaries.
//
// The C runtime's tmpfile() picks a name, deletes the file it made to find
// it, and opens it again: two test processes started in the same instant can
// pick the same name, and one of them then gets no stream. The test binaries
// run side by side, so they link this one instead: a name made of the process
// and a counter, created exclusively and deleted when the stream is closed.
#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

extern "C" FILE *__cdecl tmpfile(void)
{
    static LONG counter;
    char dir[MAX_PATH];
    DWORD n = GetTempPathA(sizeof dir, dir);
    if (n == 0 || n >= sizeof dir)
        return nullptr;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char path[MAX_PATH + 48];
        std::snprintf(path, sizeof path, "%stvtmp_%lu_%ld.tmp", dir, static_cast<unsigned long>(GetCurrentProcessId()),
                      static_cast<long>(InterlockedIncrement(&counter)));
        HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS)
                continue;
            return nullptr;
        }
        int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDWR | _O_BINARY);
        if (fd < 0) {
            CloseHandle(h);
            return nullptr;
        }
        FILE *f = _fdopen(fd, "w+b");
        if (!f)
            _close(fd);
        return f;
    }
    return nullptr;
}
