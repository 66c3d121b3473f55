// fontsample: renders sample lines of every bitmap font through the page
// raster into a PBM image, to look at the glyphs as a fax recipient would.
//
//   fontsample FONTDIR OUT.pbm
//
// FONTDIR ends with a path separator. Rows rendered at normal resolution are
// written twice, so that the image has the page's proportions.
#include <cstdio>
#include <cstring>
#include <vector>

#include "server/convert/raster.h"

namespace {

std::vector<std::vector<unsigned char>> g_rows;
int g_repeat = 1;

TvStatus CollectRow(void *, const unsigned char *row, int bytes, int) {
    for (int i = 0; i < g_repeat; i++) g_rows.emplace_back(row, row + bytes);
    return TV_OK;
}

void DrawText(const char *text) {
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; p++) {
        int glyph;
        if (MapPrintableByte(*p, &glyph) == TV_OK) WriteChar(glyph);
    }
}

void Line(const char *text) {
    DrawText(text);
    OutputLine(g_raster.lineSpacing);
    g_raster.x = g_raster.leftLimit;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: fontsample FONTDIR OUT.pbm\n");
        return 2;
    }
    RasterReset();
    snprintf(g_rasterSettings.fontDir, sizeof g_rasterSettings.fontDir, "%s", argv[1]);
    RasterOutput out = {};
    out.writeRow = CollectRow;
    RasterSetOutput(&out);

    static const char kLatin[] = "The quick brown fox jumps over the lazy dog. 0123456789 \xA3\x80 \xC4\xD6\xDC\xE4\xF6\xFC\xDF \xE9\xE8\xE7";
    static const char kEastern[] = "P\xF8\xED\x9A" "ern\xEC \x9Elu\x9Dou\xE8k\xFD k\xF9\xF2 \xFApl \xEF\xE1" "belsk\xE9 \xF3" "dy \xA3\xF3" "d\x9F \xF5\xFB \xB9\xEA \xA3";
    static const char kHeader[] = "10/12/26  14:05  \x07+44 20 7946 0000  ACME Ltd  Sales\x08\x09" "Accounts  1/3 \x7F";

    for (int res = 0; res < 2; res++) {
        RasterSetResolution(res ? RES_FINE : RES_NORMAL);
        g_repeat = res ? 1 : 2;
        for (int set = 0; set < 2; set++) {
            SelectFontSet(set);
            for (int sans = 0; sans < 2; sans++) {
                for (int size = FONTSIZE_PICA; size <= FONTSIZE_ELITE; size++) {
                    g_raster.sansSerif = sans;
                    LoadFontSize(FONTSIZE_NONE);
                    if (LoadFontSize(size) != TV_OK) {
                        fprintf(stderr, "fontsample: fonts missing in %s\n", argv[1]);
                        return 1;
                    }
                    SetImageDensVars(GEOM_HEADER);
                    RasterStartPage();
                    Line(set ? kEastern : kLatin);
                    g_raster.script = SCRIPT_SUPER;
                    DrawText("super ");
                    g_raster.script = SCRIPT_SUB;
                    DrawText("sub ");
                    g_raster.script = SCRIPT_NONE;
                    g_raster.bold = 1;
                    DrawText("bold ");
                    g_raster.bold = 0;
                    g_raster.underline = 1;
                    DrawText("underline");
                    g_raster.underline = 0;
                    g_raster.condensed = 1;
                    DrawText(" condensed text");
                    g_raster.condensed = 0;
                    g_raster.doubleWidth = 1;
                    DrawText(" wide");
                    g_raster.doubleWidth = 0;
                    g_raster.proportional = 1;
                    DrawText(" proportional: illicit minimum WWW");
                    g_raster.proportional = 0;
                    OutputLine(g_raster.lineSpacing);
                    g_raster.x = g_raster.leftLimit;
                    Line(kHeader);
                    OutputLine(g_raster.lineSpacing / 2);
                }
            }
        }
    }

    FILE *f = fopen(argv[2], "wb");
    if (!f) {
        fprintf(stderr, "fontsample: cannot write %s\n", argv[2]);
        return 1;
    }
    fprintf(f, "P4\n%d %d\n", RASTER_PAGE_PIXELS, int(g_rows.size()));
    for (const auto &row : g_rows) fwrite(row.data(), 1, row.size(), f);
    fclose(f);
    return 0;
}
