// Fuzz target: the conversion record reader. Any bytes as a .CVT file: the
// reader must end, and a value it accepts is one to three digits each.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "server/convert/convmsg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FILE *f = tmpfile();
    if (!f) return 0;
    if (size) fwrite(data, 1, size, f);
    for (const char *fmt : {"G3N", "G3F", "G3S"}) {
        fseek(f, 0, SEEK_SET);
        int found = 0, a = -1, t = -1;
        if (ReadCvtPages(f, fmt, &found, &a, &t)) {
            if (!found || a < 0 || a > 999 || t < 0 || t > 999) abort();
        }
    }
    fclose(f);
    return 0;
}
