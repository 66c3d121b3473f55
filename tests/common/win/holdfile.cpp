// holdfile PATH MODE MS
//
// Stands in for another program holding a shared file: opens PATH with the
// shared open's mode MODE (so with the share mode that mode maps to), creates
// the marker PATH.RDY once the file is open, holds it for MS milliseconds and
// exits. Exit code 0, or 2 when the file could not be opened.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/sharedfile.h"

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: holdfile PATH MODE MS\n");
        return 1;
    }
    FILE* f = OpenShared(0, argv[1], argv[2]);
    if (!f) {
        std::printf("failed\n");
        return 2;
    }
    char marker[MAX_PATH + 8];
    std::snprintf(marker, sizeof marker, "%s.RDY", argv[1]);
    HANDLE h = CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    Sleep(static_cast<DWORD>(std::atol(argv[3])));
    std::fclose(f);
    return 0;
}
