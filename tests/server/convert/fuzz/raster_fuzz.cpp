// Fuzz target: the page raster driven by arbitrary bytes. The first bytes
// choose resolution, font set, size and geometry; the rest is rendered page
// by page, with control bytes standing in for the EPSON interpreter's moves
// (positions far outside the band, scripts, widths, landscape, clears), so
// that every blitter and clip path meets extreme positions.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "server/convert/raster.h"

namespace {

struct Input {
    const uint8_t *data;
    size_t size, pos;
};

int Next(void *ctx) {
    Input *in = static_cast<Input *>(ctx);
    return in->pos < in->size ? in->data[in->pos++] : -1;
}
void Back(void *ctx, int) {
    Input *in = static_cast<Input *>(ctx);
    if (in->pos > 0) in->pos--;
}
int LineFeed() {
    if (RasterCurrentRow() + g_raster.lineSpacing < g_raster.topOffset + g_raster.pageLength - g_raster.bottomMargin) {
        g_raster.x = g_raster.leftLimit;
        OutputLine(g_raster.lineSpacing);
        return 0;
    }
    g_raster.pageEnded = 1;
    return 1;
}
TvStatus Discard(void *, const unsigned char *, int, int) { return TV_OK; }

void Control(void *ctx, int c) {
    switch (c) {
    case 10: LineFeed(); break;
    case 12: g_raster.pageEnded = 1; break;
    case 13: g_raster.x = g_raster.leftLimit; break;
    case 14: g_raster.doubleWidthLine = 1; break;
    case 15: g_raster.condensed = 1; break;
    case 18: g_raster.condensed = 0; break;
    case 20: g_raster.doubleWidthLine = 0; break;
    case 127:
        RasterClearRect(g_raster.offset + g_raster.x - 18, g_raster.rowOffset, 18, 27);
        g_raster.x -= g_raster.pitch;
        break;
    case 27: {
        int op = Next(ctx), v = Next(ctx);
        if (op < 0 || v < 0) return;
        int sv = static_cast<int8_t>(v);
        switch (op & 15) {
        case 0: g_raster.bold = v & 1; break;
        case 1: g_raster.underline = v & 1; break;
        case 2: g_raster.script = v % 3; break;
        case 3: g_raster.proportional = v & 1; break;
        case 4: g_raster.doubleWidth = v & 1; break;
        case 5: g_raster.doubleStrike = v & 1; break;
        case 6: g_raster.x = sv * 24; break;
        case 7: g_raster.rowOffset = sv; break;
        case 8: OutputLine(v); break;
        case 9:
            LoadFontFile("no-such-download-font", FONT_DOWNLOAD);
            SetFontDot(v, sv % 30, (v * 7) % 30 - 3);
            g_raster.downloadSelected = v & 1;
            g_raster.pitch = 18;
            break;
        case 10:
            g_raster.sansSerif = v & 1;
            LoadFontSize(FONTSIZE_NONE);
            LoadFontSize(v & 2 ? FONTSIZE_PICA : FONTSIZE_ELITE);
            break;
        case 11: SetLandscape(v & 1, "LANDSCAPE", v & 2); break;
        case 12: RasterClearRect(g_raster.offset + sv * 20, g_raster.rowOffset + sv, v, v / 3); break;
        case 13: RasterSetPixel(sv * 20, sv); break;
        default: break;
        }
        break;
    }
    default: break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4) return 0;
    RasterReset();
    snprintf(g_rasterSettings.fontDir, sizeof g_rasterSettings.fontDir, "%s", TAVRINE_FONT_DIR);
    static const int kRes[3] = {RES_NORMAL, RES_FINE, RES_SUPERFINE};
    g_rasterSettings.extendedChars = (data[0] >> 5) & 1;
    g_rasterSettings.dosPound = (data[0] >> 6) & 1;
    RasterSetResolution(kRes[data[0] % 3]);
    SelectFontSet((data[0] >> 2) & 1);
    g_raster.sansSerif = (data[0] >> 3) & 1;
    if (LoadFontSize((data[0] >> 4) & 1 ? FONTSIZE_PICA : FONTSIZE_ELITE) != TV_OK) return 0;
    SetImageDensVars(data[1] % 6 + 1);
    int minRows = (data[2] | (data[3] << 8)) % 3000;
    RasterOutput out = {};
    out.writeRow = Discard;
    RasterSetOutput(&out);
    RasterSetNewLineHook(LineFeed);
    Input in = {data, size, 4};
    RasterInput input = {&in, Next, Back, Control};
    for (int page = 0; page < 8; page++) {
        size_t before = in.pos;
        RasterPageResult res;
        if (RenderPage(&input, minRows, &res) != TV_OK || res.inputEnded) break;
        if (in.pos == before) break;
    }
    RasterReset();
    return 0;
}
