// Printing fax pages through GDI: one print job at a time, global state.
//
// Page images arrive one bit row at a time. Each row is trimmed of white
// bytes, inverted for a monochrome device-independent bitmap (1 = white) and
// stretched onto the printer through the page's anisotropic mapping, or
// collected in a whole-page bitmap that goes out in one piece at the page's
// end when the page-bitmap setting is on.
#include "common/faxprint.h"

#include <winspool.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct MonoBitmapInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colours[2]; // 0 black, 1 white
};

struct PrintJob {
    HDC dc;
    bool ownDc;            // created by PrintStart, deleted by PrintEnd
    bool docStarted;
    bool sheetOpen;        // StartPage called, EndPage not yet
    int pagesPerSheet;     // 1, 2 or 4
    int position;          // of the next page image on the sheet, 1..4
    bool noEnlarge;
    bool frame;
    bool shadow;
    // Current page image.
    bool pageOpen;
    bool textPage;
    int32_t imageWidth;    // pixels, a multiple of 8
    int32_t lines;
    int32_t pageLength;
    int32_t linesDrawn;
    uint8_t* lineBits;     // one inverted row, padded to 32 bits
    PrintPageBitmap page;  // whole-page bitmap (page-bitmap setting)
    // Font.
    char face[PRINT_FACE_MAX + 1];
    int tenths;
    bool bold;
    bool italic;
    HFONT font;
    HFONT oldFont;
    int32_t lineHeight;
    // Text pages.
    int32_t textY;
    int pageNumber;
    HBITMAP logo;
    int32_t logoHeight;
};

PrintJob g_job;
bool g_usePageBitmap = true;

const PrintSpoolOps kGdiOps = {
    StartDocA, StartPage, EndPage, EndDoc, AbortDoc, GetDeviceCaps,
};
PrintSpoolOps g_ops = kGdiOps;

void FillMonoInfo(MonoBitmapInfo* info, int32_t width, int32_t height)
{
    std::memset(info, 0, sizeof *info);
    info->header.biSize = sizeof(BITMAPINFOHEADER);
    info->header.biWidth = width;
    info->header.biHeight = height; // bottom-up
    info->header.biPlanes = 1;
    info->header.biBitCount = 1;
    info->header.biCompression = BI_RGB;
    info->header.biClrUsed = 2;
    info->colours[1].rgbRed = info->colours[1].rgbGreen = info->colours[1].rgbBlue = 255;
}

bool Drawn(int result) { return result != 0 && result != static_cast<int>(GDI_ERROR); }

// Clears the job record, keeping nothing.
void ResetJob()
{
    std::memset(&g_job, 0, sizeof g_job);
    g_job.position = 1;
    g_job.pagesPerSheet = 1;
}

// Aborts the job after a failed step: the caller sees 0 and only stops.
int FailJob()
{
    PrintEnd(true);
    return 0;
}

void DrawFrame(bool withShadow)
{
    HDC dc = g_job.dc;
    int32_t width = g_job.imageWidth;
    int32_t lines = g_job.lines;
    if (withShadow && g_job.shadow) {
        PrintPoint shadowDev = PrintShadowDevice(g_ops.getDeviceCaps(dc, HORZRES),
                                                 g_ops.getDeviceCaps(dc, VERTRES));
        SIZE win, vp;
        GetWindowExtEx(dc, &win);
        GetViewportExtEx(dc, &vp);
        int32_t dx = DeviceToLogical(shadowDev.x, win.cx, vp.cx);
        int32_t dy = DeviceToLogical(shadowDev.y, win.cy, vp.cy);
        if (dx != 0 || dy != 0) {
            PrintPoint pts[6];
            PrintShadowPolygon(width, lines, dx, dy, pts);
            POINT poly[6];
            for (int i = 0; i < 6; ++i) {
                poly[i].x = pts[i].x;
                poly[i].y = pts[i].y;
            }
            HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
            HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(BLACK_BRUSH));
            Polygon(dc, poly, 6);
            SelectObject(dc, oldBrush);
            SelectObject(dc, oldPen);
        }
    }
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
    HGDIOBJ oldBrush =
        SelectObject(dc, GetStockObject(withShadow ? WHITE_BRUSH : NULL_BRUSH));
    Rectangle(dc, 0, 0, width, lines);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
}

// Stretches a bitmap (a logo) into a rectangle of the current mapping.
void DrawLogo(HBITMAP logo, int32_t x, int32_t y, int32_t cx, int32_t cy)
{
    BITMAP bm;
    if (!logo || !GetObjectA(logo, sizeof bm, &bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0)
        return;
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info;
    std::memset(&info, 0, sizeof info);
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = bm.bmWidth;
    info.header.biHeight = bm.bmHeight;
    info.header.biPlanes = 1;
    info.header.biBitCount = 24;
    info.header.biCompression = BI_RGB;
    size_t stride = (static_cast<size_t>(bm.bmWidth) * 3 + 3) / 4 * 4;
    uint8_t* bits = static_cast<uint8_t*>(std::malloc(stride * bm.bmHeight));
    if (!bits)
        return;
    HDC memory = CreateCompatibleDC(nullptr);
    int got = memory ? GetDIBits(memory, logo, 0, bm.bmHeight, bits,
                                 reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS)
                     : 0;
    if (memory)
        DeleteDC(memory);
    if (got > 0)
        StretchDIBits(g_job.dc, x, y, cx, cy, 0, 0, bm.bmWidth, bm.bmHeight, bits,
                      reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY);
    std::free(bits);
}

// Common part of PrintStart and PrintStartOnDC, from a device context on.
HDC StartJob(HDC dc, bool ownDc, ABORTPROC abortProc, int pagesPerSheet, bool noEnlarge,
             const char* docName, bool frame, bool shadow)
{
    g_job.dc = dc;
    g_job.ownDc = ownDc;
    g_job.pagesPerSheet = pagesPerSheet;
    g_job.noEnlarge = noEnlarge;
    g_job.position = 1;
    g_job.pageNumber = 0;
    g_job.frame = frame;
    g_job.shadow = shadow;
    if (abortProc)
        SetAbortProc(dc, abortProc);
    if (!SetPrintFont("Arial", PRINT_DEFAULT_FONT_TENTHS, false, false)) {
        PrintEnd(true);
        return nullptr;
    }
    SetStretchBltMode(dc, BLACKONWHITE);

    DOCINFOA doc;
    std::memset(&doc, 0, sizeof doc);
    doc.cbSize = sizeof doc;
    doc.lpszDocName = docName ? docName : "";
    if (g_ops.startDoc(dc, &doc) <= 0) {
        PrintEnd(true);
        return nullptr;
    }
    g_job.docStarted = true;
    return dc;
}

// The printer's device mode with the orientation of the job, merged over
// the caller's; nullptr when the printer cannot be asked (the caller's mode
// is then used as it is). Freed by the caller.
DEVMODEA* BuildDevMode(const char* device, const DEVMODEA* callerMode, bool landscape)
{
    HANDLE printer = nullptr;
    if (!device || !OpenPrinterA(const_cast<char*>(device), &printer, nullptr))
        return nullptr;
    DEVMODEA* result = nullptr;
    LONG size = DocumentPropertiesA(nullptr, printer, const_cast<char*>(device), nullptr,
                                    nullptr, 0);
    if (size > 0) {
        // Room for the driver's private part, and never less than the public
        // record whose fields are set here.
        size_t bytes = static_cast<size_t>(size) < sizeof(DEVMODEA) ? sizeof(DEVMODEA)
                                                                    : static_cast<size_t>(size);
        DEVMODEA* merged = static_cast<DEVMODEA*>(std::calloc(1, bytes));
        DEVMODEA* out = static_cast<DEVMODEA*>(std::calloc(1, bytes));
        DWORD mode = DM_OUT_BUFFER | (callerMode ? DM_IN_BUFFER : 0);
        if (merged && out &&
            DocumentPropertiesA(nullptr, printer, const_cast<char*>(device), merged,
                                const_cast<DEVMODEA*>(callerMode), mode) == IDOK) {
            merged->dmOrientation = landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
            merged->dmFields |= DM_ORIENTATION; // else the driver ignores it
            if (DocumentPropertiesA(nullptr, printer, const_cast<char*>(device), out, merged,
                                    DM_IN_BUFFER | DM_OUT_BUFFER) == IDOK) {
                result = out;
                out = nullptr;
            } else {
                result = merged;
                merged = nullptr;
            }
        }
        std::free(merged);
        std::free(out);
    }
    ClosePrinter(printer);
    return result;
}

} // namespace

void SetPrintSpoolOps(const PrintSpoolOps* ops) { g_ops = ops ? *ops : kGdiOps; }

void SetPrintPageBitmap(bool on) { g_usePageBitmap = on; }

HDC PrintDC(void) { return g_job.dc; }
int32_t PrintTextY(void) { return g_job.textY; }
void SetPrintTextY(int32_t y) { g_job.textY = y; }
int32_t PrintLineHeight(void) { return g_job.lineHeight; }

HDC PrintStart(const char* device, const char* driver, const char* port, const DEVMODEA* devMode,
               ABORTPROC abortProc, int pagesPerSheet, const char* docName, bool frame,
               bool shadow)
{
    (void)port; // the device context is made without one
    PrintEnd(true);
    bool noEnlarge = false;
    int perSheet = NormalisePagesPerSheet(pagesPerSheet, &noEnlarge);

    DEVMODEA* built = BuildDevMode(device, devMode, SheetIsLandscape(perSheet));
    HDC dc = CreateDCA(driver, device, nullptr, built ? built : devMode);
    std::free(built);
    if (!dc)
        return nullptr;
    return StartJob(dc, true, abortProc, perSheet, noEnlarge, docName, frame, shadow);
}

HDC PrintStartOnDC(HDC dc, ABORTPROC abortProc, int pagesPerSheet, const char* docName,
                   bool frame, bool shadow)
{
    PrintEnd(true);
    if (!dc)
        return nullptr;
    bool noEnlarge = false;
    int perSheet = NormalisePagesPerSheet(pagesPerSheet, &noEnlarge);
    return StartJob(dc, false, abortProc, perSheet, noEnlarge, docName, frame, shadow);
}

void FreePrintObjects(void)
{
    std::free(g_job.lineBits);
    g_job.lineBits = nullptr;
    PageBitmapFree(&g_job.page);
    g_job.pageOpen = false;
    g_job.textPage = false;
}

int PrintStartPage(int32_t width, int32_t lines, int32_t pageLength, const char* heading,
                   HBITMAP logo)
{
    if (!g_job.dc || !g_job.docStarted)
        return 0;
    if (width > 0xFFFF || lines > 0xFFFF || pageLength > 0xFFFF)
        return FailJob(); // page sizes are 16-bit numbers
    FreePrintObjects();
    HDC dc = g_job.dc;
    if (width > 0) {
        g_job.textPage = false;
        g_job.imageWidth = PrintImageWidth(width);
        g_job.lines = lines > 0 ? lines : 0;
        g_job.pageLength = pageLength > g_job.lines ? pageLength : g_job.lines;
        if (g_job.pageLength < 1)
            g_job.pageLength = 1;
    } else {
        g_job.textPage = true;
        g_job.imageWidth = g_job.lines = g_job.pageLength = TEXT_PAGE_SIZE;
    }
    g_job.linesDrawn = 0;

    if (g_job.position == 1) {
        if (g_ops.startPage(dc) <= 0)
            return FailJob();
        g_job.sheetOpen = true;
    }

    if (!g_job.textPage) {
        int32_t stride = PrintBitmapStride(g_job.imageWidth);
        g_job.lineBits = static_cast<uint8_t*>(std::calloc(1, stride));
        if (!g_job.lineBits)
            return FailJob();
        if (g_usePageBitmap && g_job.lines > 0 &&
            !PageBitmapCreate(&g_job.page, g_job.imageWidth, g_job.lines))
            return FailJob();
    }
    g_job.pageOpen = true;

    PrintRect cell = PrintCellRect(g_ops.getDeviceCaps(dc, HORZRES),
                                   g_ops.getDeviceCaps(dc, VERTRES), g_job.pagesPerSheet,
                                   g_job.position, g_job.frame);
    PrintRect vp = PrintViewport(cell, g_job.imageWidth, g_job.pageLength, g_job.noEnlarge);
    if (vp.cx <= 0 || vp.cy <= 0)
        return FailJob();
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowOrgEx(dc, 0, 0, nullptr);
    SetWindowExtEx(dc, g_job.imageWidth, g_job.pageLength, nullptr);
    SetViewportOrgEx(dc, vp.x, vp.y, nullptr);
    SetViewportExtEx(dc, vp.cx, vp.cy, nullptr);

    if (g_job.frame)
        DrawFrame(true);

    if (!SetPrintFont(nullptr, 0, g_job.bold, g_job.italic))
        return FailJob();

    g_job.logo = logo;
    g_job.logoHeight = 0;
    if (logo) {
        BITMAP bm;
        if (GetObjectA(logo, sizeof bm, &bm)) {
            SIZE inch;
            GetLogicalInch(&inch);
            g_job.logoHeight = PrintLogoHeight(inch.cx, inch.cy, bm.bmWidth, bm.bmHeight);
        }
    }
    if (g_job.textPage)
        PrintPageHeading(heading);
    return 1;
}

int PrintScanLine(const uint8_t* row, int32_t bytes, int32_t line)
{
    if (!g_job.dc)
        return 0;
    if (!g_job.pageOpen || g_job.textPage || !g_job.lineBits)
        return FailJob();
    if (line < 0 || line >= g_job.lines || bytes <= 0)
        return 1;
    int32_t first, count;
    if (!TrimPrintRow(row, bytes, g_job.imageWidth, &first, &count))
        return 1; // an all-white row sends nothing
    if (g_job.page.bits) {
        PageBitmapPutRow(&g_job.page, line, first, row + first, count);
    } else {
        InvertPrintRow(g_job.lineBits, row + first, count);
        MonoBitmapInfo info;
        FillMonoInfo(&info, count * 8, 1);
        HDC dc = g_job.dc;
        int oldMode = SetStretchBltMode(dc, BLACKONWHITE);
        int rc = StretchDIBits(dc, first * 8, line, count * 8, 1, 0, 0, count * 8, 1,
                               g_job.lineBits, reinterpret_cast<BITMAPINFO*>(&info),
                               DIB_RGB_COLORS, SRCCOPY);
        SetStretchBltMode(dc, oldMode);
        if (!Drawn(rc))
            return FailJob();
    }
    if (g_job.linesDrawn < line + 1)
        g_job.linesDrawn = line + 1;
    return 1;
}

int PrintEndPage(void)
{
    if (!g_job.dc || !g_job.pageOpen || (!g_job.textPage && !g_job.lineBits))
        return FailJob();
    HDC dc = g_job.dc;
    if (g_job.page.bits && g_job.page.drawn > 0) {
        int32_t drawn = g_job.page.drawn;
        MonoBitmapInfo info;
        FillMonoInfo(&info, g_job.page.width, drawn);
        int rc = StretchDIBits(dc, 0, 0, g_job.page.width, drawn, 0, 0, g_job.page.width, drawn,
                               PageBitmapDrawnBits(&g_job.page),
                               reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, SRCCOPY);
        if (!Drawn(rc))
            return FailJob();
    }
    if (g_job.frame)
        DrawFrame(false);
    if (++g_job.position > g_job.pagesPerSheet) {
        g_job.position = 1;
        g_job.sheetOpen = false;
        if (g_ops.endPage(dc) <= 0)
            return FailJob();
    }
    FreePrintObjects();
    return 1;
}

int PrintEnd(bool abort)
{
    int result = 1;
    HDC dc = g_job.dc;
    if (dc && g_job.docStarted) {
        if (abort) {
            g_ops.abortDoc(dc);
        } else {
            bool ok = true;
            if (g_job.sheetOpen && g_ops.endPage(dc) <= 0)
                ok = false; // a partly filled sheet could not be ended
            if (ok && g_ops.endDoc(dc) <= 0)
                ok = false;
            if (!ok) {
                g_ops.abortDoc(dc);
                result = 0;
            }
        }
    }
    FreePrintObjects();
    if (dc) {
        if (g_job.font) {
            SelectObject(dc, g_job.oldFont);
            DeleteObject(g_job.font);
        }
        if (g_job.ownDc)
            DeleteDC(dc);
    }
    ResetJob();
    return result;
}

void GetLogicalInch(SIZE* size)
{
    size->cx = size->cy = 0;
    HDC dc = g_job.dc;
    if (!dc)
        return;
    SIZE win, vp;
    if (!GetWindowExtEx(dc, &win) || !GetViewportExtEx(dc, &vp)) {
        win.cx = win.cy = vp.cx = vp.cy = 1;
    }
    size->cx = LogicalInch(g_ops.getDeviceCaps(dc, LOGPIXELSX), win.cx, vp.cx,
                           g_job.pagesPerSheet);
    size->cy = LogicalInch(g_ops.getDeviceCaps(dc, LOGPIXELSY), win.cy, vp.cy,
                           g_job.pagesPerSheet);
}

int SetPrintFont(const char* face, int tenths, bool bold, bool italic)
{
    HDC dc = g_job.dc;
    if (!dc)
        return 0;
    if (face && face[0]) {
        std::snprintf(g_job.face, sizeof g_job.face, "%s", face);
    } else if (!g_job.face[0]) {
        if (GetTextFaceA(dc, sizeof g_job.face, g_job.face) <= 0)
            g_job.face[0] = '\0';
        g_job.face[PRINT_FACE_MAX] = '\0';
    }
    if (tenths > 0)
        g_job.tenths = tenths;
    SIZE inch;
    GetLogicalInch(&inch);
    HFONT font = CreateFontA(PrintFontHeight(g_job.tenths, inch.cy), 0, 0, 0,
                             bold ? FW_BOLD : FW_NORMAL, italic ? TRUE : FALSE, FALSE, FALSE,
                             ANSI_CHARSET, 0, 0, 0, 0, g_job.face);
    if (!font)
        return 0;
    HGDIOBJ replaced = SelectObject(dc, font);
    if (g_job.font)
        DeleteObject(g_job.font);
    else
        g_job.oldFont = static_cast<HFONT>(replaced);
    g_job.font = font;
    g_job.bold = bold;
    g_job.italic = italic;
    TEXTMETRICA tm;
    if (GetTextMetricsA(dc, &tm))
        g_job.lineHeight = tm.tmHeight + tm.tmExternalLeading;
    return 1;
}

int PrintPageHeading(const char* heading)
{
    HDC dc = g_job.dc;
    if (!dc || !g_job.textPage)
        return 1;
    int savedTenths = g_job.tenths;
    bool savedBold = g_job.bold, savedItalic = g_job.italic;
    int32_t y = TEXT_MARGIN;
    UINT oldAlign = SetTextAlign(dc, TA_CENTER | TA_TOP);
    if (heading && heading[0]) {
        SetPrintFont(nullptr, PRINT_HEADING_FONT_TENTHS, true, false);
        int len = static_cast<int>(std::strlen(heading));
        SIZE ext = {0, 0};
        GetTextExtentPoint32A(dc, heading, len, &ext);
        int32_t h = ext.cy;
        y += h / 2;
        MoveToEx(dc, TEXT_MARGIN, y, nullptr);
        LineTo(dc, TEXT_RIGHT, y);
        y += h / 2;
        TextOutA(dc, TEXT_CENTRE, y, heading, len);
        y += h / 2 + h;
        MoveToEx(dc, TEXT_MARGIN, y, nullptr);
        LineTo(dc, TEXT_RIGHT, y);
        g_job.pageNumber = 1;
        y += 2 * h;
    } else {
        SetPrintFont(nullptr, PRINT_DEFAULT_FONT_TENTHS, true, false);
        char text[24];
        std::snprintf(text, sizeof text, "- %d -", ++g_job.pageNumber);
        int len = static_cast<int>(std::strlen(text));
        SIZE ext = {0, 0};
        GetTextExtentPoint32A(dc, text, len, &ext);
        int32_t h = ext.cy;
        y += h / 2;
        TextOutA(dc, TEXT_CENTRE, y, text, len);
        y += 2 * h;
    }
    SetTextAlign(dc, oldAlign);
    SetPrintFont(nullptr, savedTenths, savedBold, savedItalic);
    g_job.textY = y;
    if (g_job.logo && g_job.logoHeight > 0)
        DrawLogo(g_job.logo, TEXT_RIGHT - TEXT_LOGO_WIDTH, TEXT_RIGHT - g_job.logoHeight,
                 TEXT_LOGO_WIDTH, g_job.logoHeight);
    return 1;
}
