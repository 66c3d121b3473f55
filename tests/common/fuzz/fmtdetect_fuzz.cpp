// Fuzz target for format detection: any bytes give one of the documented
// results, with bounded work, and the same result twice.
#include "common/fmtdetect.h"
#include "common/formats.h"
#include "common/status.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "fmtdetect_fuzz: check failed: %s\n", what);
        std::abort();
    }
}

FILE* ReadStream(const uint8_t* data, size_t size)
{
    if (size == 0)
        return std::tmpfile();
    return fmemopen(const_cast<uint8_t*>(data), size, "rb");
}

bool KnownResult(int rc, int16_t format)
{
    if (rc == 0)
        return format == FMT_ASCII || format == FMT_POSTSCRIPT || format == FMT_EPSON ||
               format == FMT_TIFF_NORMAL || format == FMT_TIFF_FINE ||
               format == FMT_TIFF_SUPERFINE;
    return rc == TV_R_UNKNOWN_FORMAT || rc == TV_R_RESOLUTION || rc == TV_R_IO ||
           (rc >= TV_R_TIFF_VERSION && rc <= TV_R_TIFF_FILLORDER);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* f = ReadStream(data, size);
    if (!f)
        return 0;
    int16_t first = -1, second = -1;
    int rc1 = DetectFileFormat(f, &first);
    Check(KnownResult(rc1, first), "result is one of the documented ones");
    std::clearerr(f);
    int rc2 = DetectFileFormat(f, &second);
    Check(rc1 == rc2 && (rc1 != 0 || first == second), "detection is repeatable");
    // A TIFF fax result is never overridden by the text scan.
    if (rc1 != TV_R_TIFF_VERSION && rc1 != 0 && rc1 != TV_R_UNKNOWN_FORMAT) {
        int16_t fax = -1;
        std::clearerr(f);
        Check(DetectFaxFile(f, &fax) == rc1, "a TIFF code is final");
    }
    // The escape parser on its own, from the first byte.
    std::clearerr(f);
    if (std::fseek(f, 0, SEEK_SET) == 0) {
        int ok = ParseEscSequence(f);
        Check(ok == 0 || ok == 1, "escape parser says yes or no");
    }
    std::fclose(f);
    return 0;
}
