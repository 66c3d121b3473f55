// Fuzz target: EPSON streams through the command scanner, the interpreter
// and the raster. The first byte picks the resolution, the geometry and
// the flags; the rest is the stream. Pages must stay bounded in rows, and
// the conversion in pages.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "server/convert/epson.h"
#include "server/convert/graphics.h"
#include "server/convert/raster.h"
#include "server/convert/textcmd.h"

namespace {

struct Mem {
    const uint8_t *data;
    size_t size, pos;
};
int MemRead(void *ctx) {
    Mem *m = static_cast<Mem *>(ctx);
    return m->pos < m->size ? m->data[m->pos++] : -1;
}

long g_pageRows;
TvStatus CountRow(void *, const unsigned char *row, int bytes, int) {
    if (bytes != RASTER_PAGE_BYTES || !row) abort();
    g_pageRows++;
    return TV_OK;
}

TvStatus NoInsert(const char *) { return TV_OK; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    int mode = data[0];
    data++, size--;
    static const int kRes[4] = {RES_NORMAL, RES_FINE, RES_SUPERFINE, RES_FINE};
    RasterReset();
    TextCmdSetInsertHook(NoInsert);
    snprintf(g_rasterSettings.fontDir, sizeof g_rasterSettings.fontDir, "%s", TAVRINE_FONT_DIR);
    g_rasterSettings.extendedChars = (mode & 4) != 0;
    g_rasterSettings.dosPound = (mode & 8) != 0;
    g_rasterSettings.epsonRHMargin = (mode & 16) != 0;
    EpsonSetRemoveDither((mode & 32) != 0);
    RasterSetResolution(kRes[mode & 3]);
    SelectFontSet((mode & 64) != 0);
    int driver = EpsonIsDriverStream(data, int(size));
    SetImageDensVars(driver ? GEOM_DRIVER : (mode & 128) ? GEOM_ASCII : GEOM_EPSON);
    if (LoadFontSize(FONTSIZE_PICA) != TV_OK) abort(); // the shipped fonts must load
    EpsonStartStream();
    RasterOutput out = {nullptr, CountRow, nullptr, GraphicsInsertMerge, nullptr};
    RasterSetOutput(&out);

    Mem m = {data, size, 0};
    TextScanner scan;
    TextScannerInit(&scan, &m, MemRead, nullptr, nullptr, nullptr);
    for (int page = 0; page < 100; page++) {
        g_pageRows = 0;
        RasterPageResult res;
        TvStatus st = RenderStreamPage(&scan, 0, &res);
        // A page is at most twice its length (the driver's line feeds), each
        // row written twice at G3S, and a landscape page its rotated width.
        if (g_pageRows > 4L * 2 * 2212 + 2264) abort();
        if (st != TV_OK || res.inputEnded || res.rows == 0) break;
    }
    CloseInsertPicture();
    FreeLandBuf();
    RasterSetOutput(nullptr);
    return 0;
}
