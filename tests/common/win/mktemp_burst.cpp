// mktemp_burst DIR PREFIX N [EXT]
//
// Makes N temporary names in DIR (ending with '\') with MakeTempName, as fast
// as it can, once the file DIR\GO exists (so that several copies start
// together). Prints each name on a line; exit code 0, or 1 on the first
// failure (printed as "ERR code").
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/sharedfile.h"

int main(int argc, char** argv)
{
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr, "usage: mktemp_burst DIR PREFIX N [EXT]\n");
        return 2;
    }
    const char* ext = argc == 5 ? argv[4] : "TMP";
    std::string go = std::string(argv[1]) + "GO";
    for (int i = 0; i < 20000 && GetFileAttributesA(go.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(1);
    int n = std::atoi(argv[3]);
    for (int i = 0; i < n; ++i) {
        char name[TV_TEMPNAME_SIZE];
        int16_t rc = MakeTempName(argv[2], ext, argv[1], name);
        if (rc != 0) {
            std::printf("ERR %d\n", rc);
            return 1;
        }
        std::printf("%s\n", name);
    }
    return 0;
}
