// Fuzz target: a fax TIFF file from outside through the page readers, the
// page counter, the copy engine and NormaliseFaxFile (on a scratch copy).
// Nothing may crash, overrun or hang; every result must be one of the
// documented ones.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "common/faxtiff.h"
#include "common/mhdecode.h"

namespace {

FILE* ScratchWith(const uint8_t* data, size_t size, const char* tag)
{
    static std::string dir = [] {
        const char* t = std::getenv("TMPDIR");
        return std::string(t && *t ? t : "/tmp");
    }();
    std::string path = dir + "/faxtiff_fuzz_" + std::to_string(getpid()) + "_" + tag;
    FILE* f = std::fopen(path.c_str(), "w+b");
    std::remove(path.c_str()); // unlinked: gone when closed
    if (!f)
        return nullptr;
    if (size)
        std::fwrite(data, 1, size, f);
    std::fflush(f);
    std::rewind(f);
    return f;
}

void ReadPages(FILE* f)
{
    uint16_t count = 0;
    int rc = CountFaxPages(f, &count);
    if (rc != 0 && rc != TV_R_IO)
        std::abort();
    uint8_t row[FAX_ROW_BYTES];
    for (uint16_t p = 0; p < 3; ++p) {
        uint16_t width = 0, lines = 0, yres = 0;
        uint32_t bytes = 0;
        if (!OpenFaxPage(f, p, &width, &lines, &bytes, &yres, nullptr))
            continue;
        if (width == 0 || width > FAX_MAX_WIDTH)
            std::abort();
        // Forward, then a step back, bounded by the page's own line count.
        uint32_t limit = lines < 3000 ? lines : 3000;
        for (uint32_t y = 0; y <= limit; ++y) {
            int r = ReadNextFaxLine(row, sizeof row);
            if (r < -2 || r > 1)
                std::abort();
        }
        ReadFaxLine(static_cast<int32_t>(limit / 2), row, sizeof row);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    FILE* f = ScratchWith(data, size, "a");
    if (!f)
        return 0;
    ReadPages(f);

    // The copy engine: split off page 2.
    FILE* one = ScratchWith(nullptr, 0, "b");
    FILE* rest = ScratchWith(nullptr, 0, "c");
    if (one && rest)
        ExtractFaxPage(f, rest, one, 2);
    if (one)
        std::fclose(one);
    if (rest)
        std::fclose(rest);

    // Normalise in place, then read again.
    int rc = NormaliseFaxFile(f);
    if (rc > 0)
        std::abort();
    ReadPages(f);
    std::fclose(f);
    return 0;
}
