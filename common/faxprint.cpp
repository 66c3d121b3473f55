// Printing fax pages: sheet layout, scaling and row handling that need no
// GDI (the job itself is in faxprint_win.cpp).
#include "common/faxprint.h"

#include <cstdlib>
#include <cstring>

namespace {

// a x b / c in 64 bits, truncated toward zero; 0 when c is 0.
int32_t MulDivTrunc(int64_t a, int64_t b, int64_t c)
{
    if (c == 0)
        return 0;
    return static_cast<int32_t>(a * b / c);
}

} // namespace

int NormalisePagesPerSheet(int pagesPerSheet, bool* noEnlarge)
{
    bool keep = pagesPerSheet < 0;
    if (noEnlarge)
        *noEnlarge = keep;
    int n = keep ? (pagesPerSheet < -4 ? 0 : -pagesPerSheet) : pagesPerSheet;
    return n == 1 || n == 2 || n == 4 ? n : 1;
}

PrintRect PrintCellRect(int32_t width, int32_t height, int pagesPerSheet, int position,
                        bool frame)
{
    int32_t m = frame ? MulDivTrunc(width, PRINT_MARGIN_PERMILLE, 1000) : 0;
    int32_t t = frame ? MulDivTrunc(height, PRINT_MARGIN_PERMILLE, 1000) : 0;
    int32_t gx = MulDivTrunc(width, PRINT_GAP_PERMILLE, 1000);
    int32_t gy = MulDivTrunc(height, PRINT_GAP_PERMILLE, 1000);
    PrintRect r;
    r.x = m;
    r.y = t;
    switch (pagesPerSheet) {
    case 2:
        r.cx = (width - 2 * m - gx) / 2;
        r.cy = height - 2 * t;
        break;
    case 4:
        r.cx = (width - 2 * m - gx) / 2;
        r.cy = (height - 2 * t - gy) / 2;
        break;
    default:
        r.cx = width - 2 * m;
        r.cy = height - 2 * t;
        break;
    }
    if (pagesPerSheet == 2 || pagesPerSheet == 4) {
        if (position == 2 || position == 4)
            r.x += r.cx + gx;
    }
    if (pagesPerSheet == 4 && (position == 3 || position == 4))
        r.y += r.cy + gy;
    if (r.cx < 0)
        r.cx = 0;
    if (r.cy < 0)
        r.cy = 0;
    return r;
}

PrintRect PrintViewport(const PrintRect& cell, int32_t imageWidth, int32_t pageLength,
                        bool noEnlarge)
{
    PrintRect v = cell;
    if (noEnlarge) {
        if (v.cx > imageWidth)
            v.cx = imageWidth;
        if (v.cy > pageLength)
            v.cy = pageLength;
    }
    return v;
}

PrintPoint PrintShadowDevice(int32_t width, int32_t height)
{
    PrintPoint p;
    p.x = MulDivTrunc(width, PRINT_SHADOW_PERMILLE, 1000);
    p.y = MulDivTrunc(height, PRINT_SHADOW_PERMILLE, 1000);
    return p;
}

int32_t DeviceToLogical(int32_t device, int32_t windowExt, int32_t viewportExt)
{
    return MulDivTrunc(device, windowExt, viewportExt);
}

void PrintShadowPolygon(int32_t width, int32_t lines, int32_t dx, int32_t dy,
                        PrintPoint points[6])
{
    // Down the right edge and back along the bottom, dx and dy outside the
    // image.
    points[0] = {width, dy};
    points[1] = {width + dx, dy};
    points[2] = {width + dx, lines + dy};
    points[3] = {dx, lines + dy};
    points[4] = {dx, lines};
    points[5] = {width, lines};
}

int32_t LogicalInch(int32_t pixelsPerInch, int32_t windowExt, int32_t viewportExt,
                    int pagesPerSheet)
{
    int32_t inch = viewportExt != 0 ? MulDivTrunc(pixelsPerInch, windowExt, viewportExt)
                                    : pixelsPerInch;
    if (inch < 0)
        inch = -inch;
    if (pagesPerSheet == 2)
        inch = MulDivTrunc(inch, 1000, 1414);
    else if (pagesPerSheet == 4)
        inch /= 2;
    return inch;
}

int32_t PrintFontHeight(int tenths, int32_t logicalInchDown)
{
    return -MulDivTrunc(tenths, logicalInchDown, 720);
}

int32_t PrintLogoHeight(int32_t inchAcross, int32_t inchDown, int32_t bitmapWidth,
                        int32_t bitmapHeight)
{
    if (inchAcross <= 0 || bitmapWidth <= 0 || bitmapHeight <= 0)
        return 0;
    int64_t num = static_cast<int64_t>(TEXT_LOGO_WIDTH) * inchDown * bitmapHeight;
    int64_t den = static_cast<int64_t>(inchAcross) * bitmapWidth;
    return static_cast<int32_t>(num / den);
}

bool TrimPrintRow(const uint8_t* row, int32_t bytes, int32_t imageWidth, int32_t* first,
                  int32_t* count)
{
    *first = 0;
    *count = 0;
    if (!row || bytes <= 0 || imageWidth <= 0)
        return false;
    int32_t end = imageWidth / 8;
    if (end > bytes)
        end = bytes;
    int32_t begin = 0;
    while (begin < end && row[begin] == 0)
        ++begin;
    while (end > begin && row[end - 1] == 0)
        --end;
    if (begin == end)
        return false;
    *first = begin;
    *count = end - begin;
    return true;
}

void InvertPrintRow(uint8_t* dst, const uint8_t* src, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        dst[i] = static_cast<uint8_t>(~src[i]);
}

bool PageBitmapCreate(PrintPageBitmap* page, int32_t width, int32_t lines)
{
    std::memset(page, 0, sizeof *page);
    if (width <= 0 || lines <= 0 || width > 0x10000 || lines > 0x10000)
        return false;
    int32_t w = PrintImageWidth(width);
    int32_t stride = PrintBitmapStride(w);
    size_t size = static_cast<size_t>(stride) * static_cast<size_t>(lines);
    uint8_t* bits = static_cast<uint8_t*>(std::malloc(size));
    if (!bits)
        return false;
    std::memset(bits, 0xFF, size);
    page->bits = bits;
    page->width = w;
    page->lines = lines;
    page->stride = stride;
    return true;
}

void PageBitmapFree(PrintPageBitmap* page)
{
    std::free(page->bits);
    std::memset(page, 0, sizeof *page);
}

void PageBitmapPutRow(PrintPageBitmap* page, int32_t line, int32_t firstByte, const uint8_t* src,
                      int32_t count)
{
    if (!page->bits || line < 0 || line >= page->lines || firstByte < 0 || count <= 0)
        return;
    int32_t rowBytes = page->width / 8;
    if (firstByte >= rowBytes)
        return;
    if (count > rowBytes - firstByte)
        count = rowBytes - firstByte;
    uint8_t* dst = page->bits + static_cast<size_t>(page->lines - 1 - line) * page->stride;
    InvertPrintRow(dst + firstByte, src, count);
    if (page->drawn < line + 1)
        page->drawn = line + 1;
}

const uint8_t* PageBitmapDrawnBits(const PrintPageBitmap* page)
{
    if (!page->bits)
        return nullptr;
    return page->bits + static_cast<size_t>(page->lines - page->drawn) * page->stride;
}

int PageBitmapPixel(const PrintPageBitmap* page, int32_t x, int32_t line)
{
    if (!page->bits || x < 0 || x >= page->width || line < 0 || line >= page->lines)
        return 0;
    const uint8_t* row = page->bits + static_cast<size_t>(page->lines - 1 - line) * page->stride;
    return (row[x / 8] & (0x80 >> (x % 8))) ? 0 : 1;
}
