// faxpages: decodes every page of a fax file with the system's own MH
// decoder and writes each as a PBM file <prefix>-<n>.pbm (n from 1), for the
// whole-system test to compare received pages with sent ones.
//
//   faxpages <fax file> <output prefix>
//
// Prints the number of pages; exits 1 when the file cannot be read or a row
// does not decode.
#include <cstdio>
#include <cstring>

#include "common/faxtiff.h"
#include "common/mhdecode.h"

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: faxpages <fax file> <output prefix>\n");
        return 2;
    }
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
        if (OpenFaxPage(f, page, &width, &lines, &strip, &yres, &count) != 1) {
            if (page == 0) {
                std::fprintf(stderr, "faxpages: %s is no readable fax file\n", argv[1]);
                rc = 1;
            }
            break;
        }
        char name[1024];
        std::snprintf(name, sizeof name, "%s-%u.pbm", argv[2], page + 1u);
        FILE *out = std::fopen(name, "wb");
        if (!out) {
            std::fprintf(stderr, "faxpages: cannot write %s\n", name);
            rc = 1;
            break;
        }
        std::fprintf(out, "P4\n%u %u\n", width, lines);
        const size_t rowBytes = (width + 7u) / 8u;
        unsigned char row[FAX_ROW_BYTES];
        for (int32_t n = 0; n < lines; ++n) {
            std::memset(row, 0, sizeof row);
            int r = ReadFaxLine(n, row, sizeof row);
            if (r < 0 || r > 1) {
                std::fprintf(stderr, "faxpages: page %u row %d does not decode (%d)\n", page + 1u, n, r);
                rc = 1;
                break;
            }
            std::fwrite(row, 1, rowBytes, out);
        }
        std::fclose(out);
        if (page + 1u >= count)
            break;
    }
    std::fclose(f);
    if (rc == 0)
        std::printf("%u\n", count);
    return rc;
}
