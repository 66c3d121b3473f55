// faxpages: decodes every page of a fax file with the system's own MH
// decoder and writes each as a PBM file <prefix>-<n>.pbm (n from 1), for the
// whole-system test to compare received pages with sent ones.
//
//   faxpages <fax file> <output prefix> [first number]
//
// Prints the number of pages (0 for a file whose pages are all empty); exits
// 1 when the file cannot be read. Rows that end early or are missing (the
// EOLs of the return-to-control code that a receiver counted as rows) are
// written as far as they decoded, the rest white, as libtiff does, and
// counted on stderr; the caller's comparison decides whether they matter.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/faxtiff.h"
#include "common/mhdecode.h"

int main(int argc, char **argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: faxpages <fax file> <output prefix> [first number]\n");
        return 2;
    }
    const unsigned first = argc == 4 ? static_cast<unsigned>(std::atoi(argv[3])) : 1u;
    FILE *f = std::fopen(argv[1], "rb");
    if (!f) {
        std::fprintf(stderr, "faxpages: cannot open %s\n", argv[1]);
        return 1;
    }
    uint16_t count = 0;
    int rc = 0;
    for (uint16_t page = 0; rc == 0; ++page) {
        uint16_t width = 0, lines = 0, yres = 0;
        uint32_t strip = 0;
        if (OpenFaxPageStatus(FaxDecoder1(), f, page, &width, &lines, &strip, &yres, &count) != 0) {
            if (page == 0 && count != 0) {
                std::fprintf(stderr, "faxpages: %s is no readable fax file\n", argv[1]);
                rc = 1;
            }
            break;
        }
        char name[1024];
        std::snprintf(name, sizeof name, "%s-%u.pbm", argv[2], first + page);
        FILE *out = std::fopen(name, "wb");
        if (!out) {
            std::fprintf(stderr, "faxpages: cannot write %s\n", name);
            rc = 1;
            break;
        }
        std::fprintf(out, "P4\n%u %u\n", width, lines);
        const size_t rowBytes = (width + 7u) / 8u;
        unsigned char row[FAX_ROW_BYTES];
        unsigned bad = 0, missing = 0;
        for (int32_t n = 0; n < lines; ++n) {
            std::memset(row, 0, sizeof row);
            int r = missing ? MH_LINE_END : ReadFaxLine(n, row, sizeof row);
            if (r == MH_LINE_END) {
                std::memset(row, 0, sizeof row);
                ++missing;
            } else if (r == MH_LINE_BAD) {
                ++bad;
            }
            std::fwrite(row, 1, rowBytes, out);
        }
        std::fclose(out);
        if (bad || missing)
            std::fprintf(stderr, "faxpages: page %u: of %u rows %u end early, %u missing\n", page + 1u, lines, bad,
                         missing);
        if (page + 1u >= count)
            break;
    }
    std::fclose(f);
    if (rc == 0)
        std::printf("%u\n", count);
    return rc;
}
