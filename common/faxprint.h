// Printing fax pages: the sheet layout and the row handling.
//
// A print job puts one, two or four page images on a sheet (two side by side
// on a landscape sheet), each image stretched into its cell of the printable
// area, with an optional frame and drop shadow. Page images come one bit row
// at a time (most significant bit first, 1 = black); text pages are a logical
// page of TEXT_PAGE_SIZE units square.
//
// This header holds the portable part: the cell and viewport arithmetic, the
// font and logo sizes, the trimming of white bytes, the inverted rows that a
// monochrome bitmap needs (it holds 1 for white) and the whole-page bitmap.
// The GDI job itself (PrintStart ... PrintEnd) is declared at the end and is
// built in the Windows tree only.
#ifndef TAVRINE_COMMON_FAXPRINT_H
#define TAVRINE_COMMON_FAXPRINT_H

#include <cstddef>
#include <cstdint>

// Layout constants, in thousandths of the printable width or height.
enum : int32_t {
    PRINT_MARGIN_PERMILLE = 15,  // side and top/bottom margins (frame only)
    PRINT_GAP_PERMILLE = 15,     // gap between cells, across and down
    PRINT_SHADOW_PERMILLE = 3,   // drop shadow, across and down
};

// Text pages: logical units.
enum : int32_t {
    TEXT_PAGE_SIZE = 10200,      // 10000 plus the margins, across and down
    TEXT_MARGIN = 100,
    TEXT_RIGHT = 10100,          // right and bottom edge inside the margins
    TEXT_CENTRE = 5100,
    TEXT_LOGO_WIDTH = 1500,
};

enum : int {
    PRINT_DEFAULT_FONT_TENTHS = 120,    // 12 points
    PRINT_HEADING_FONT_TENTHS = 160,    // 16 points
    PRINT_FACE_MAX = 32,                // characters of a font face name
};

struct PrintRect {
    int32_t x, y;     // origin
    int32_t cx, cy;   // size
};

struct PrintPoint {
    int32_t x, y;
};

// Pages per sheet as the caller gives it: a negative count means the same
// count without enlarging; any count but 1, 2 or 4 becomes 1.
int NormalisePagesPerSheet(int pagesPerSheet, bool* noEnlarge);

// Two pages per sheet go side by side on a landscape sheet.
inline bool SheetIsLandscape(int pagesPerSheet) { return pagesPerSheet == 2; }

// The cell of sheet position 1..4 in a printable area of width x height
// device pixels. Margins are used only with the frame flag. Positions 2 and
// 4 lie right of 1 and 3; positions 3 and 4 below 1 and 2.
PrintRect PrintCellRect(int32_t width, int32_t height, int pagesPerSheet, int position,
                        bool frame);

// The viewport an image of imageWidth x pageLength pixels is mapped to: the
// whole cell, or with no-enlarge each side at most one device pixel per image
// pixel. The origin is the cell's.
PrintRect PrintViewport(const PrintRect& cell, int32_t imageWidth, int32_t pageLength,
                        bool noEnlarge);

// The drop shadow's offset in device pixels for a printable area.
PrintPoint PrintShadowDevice(int32_t width, int32_t height);

// A device length turned into logical units of a mapping whose window
// extent is windowExt and viewport extent viewportExt (0 for an empty
// viewport).
int32_t DeviceToLogical(int32_t device, int32_t windowExt, int32_t viewportExt);

// The shadow polygon along the right and bottom edges of an image of
// width x lines logical units, offset by (dx, dy) logical units.
void PrintShadowPolygon(int32_t width, int32_t lines, int32_t dx, int32_t dy,
                        PrintPoint points[6]);

// One inch of paper in logical units (from the device's pixels per inch and
// the mapping's extents), made smaller with two pages per sheet (x 1000 /
// 1414) and with four (/ 2).
int32_t LogicalInch(int32_t pixelsPerInch, int32_t windowExt, int32_t viewportExt,
                    int pagesPerSheet);

// Font height for a size in tenths of a point: -(tenths x inch / 720).
int32_t PrintFontHeight(int tenths, int32_t logicalInchDown);

// Drawn height of a logo TEXT_LOGO_WIDTH units wide: 1500 x (inch down /
// inch across) x bitmap height / bitmap width; 0 for an empty bitmap.
int32_t PrintLogoHeight(int32_t inchAcross, int32_t inchDown, int32_t bitmapWidth,
                        int32_t bitmapHeight);

// Image width rounded up to whole bytes.
inline int32_t PrintImageWidth(int32_t width) { return (width + 7) / 8 * 8; }

// The part of a row worth drawing: the row is cut to the image's width
// (imageWidth / 8 bytes), then leading and trailing zero (white) bytes are
// dropped. false when nothing is left; else the first byte and the count.
bool TrimPrintRow(const uint8_t* row, int32_t bytes, int32_t imageWidth, int32_t* first,
                  int32_t* count);

// Writes n bytes of src inverted into dst (the bitmap holds 1 for white).
void InvertPrintRow(uint8_t* dst, const uint8_t* src, int32_t n);

// Bytes of one bitmap row of width pixels, padded to 32 bits.
inline int32_t PrintBitmapStride(int32_t width) { return (width + 31) / 32 * 4; }

// The whole-page bitmap, in the layout of a bottom-up monochrome device-
// independent bitmap (rows of PrintBitmapStride bytes, the page's last line
// first in memory, 1 = white). Filled white at the start.
struct PrintPageBitmap {
    uint8_t* bits;
    int32_t width;    // pixels, a multiple of 8
    int32_t lines;
    int32_t stride;
    int32_t drawn;    // lines drawn so far: one past the lowest line set
};

// Allocates a white page; false when the size is not positive or memory is
// short (the record is then empty).
bool PageBitmapCreate(PrintPageBitmap* page, int32_t width, int32_t lines);
void PageBitmapFree(PrintPageBitmap* page);
// Sets count bytes of a row (black = 1, as the caller has them) at byte
// firstByte of line; ignored outside the page.
void PageBitmapPutRow(PrintPageBitmap* page, int32_t line, int32_t firstByte, const uint8_t* src,
                      int32_t count);
// The memory of the bitmap's top `drawn` lines as a bottom-up bitmap of that
// height (the page's upper part lies at the end of its memory).
const uint8_t* PageBitmapDrawnBits(const PrintPageBitmap* page);
// Pixel (x, line) of the page, 1 = black; for tests and checks.
int PageBitmapPixel(const PrintPageBitmap* page, int32_t x, int32_t line);

#ifdef _WIN32
#include <windows.h>

// ------------------------------------------------------- the GDI print job
// One job at a time in the whole program. Every step that fails has already
// aborted the job and freed its objects when it returns 0.

// Opens the printer, sets its orientation (landscape for two pages per sheet,
// portrait otherwise, over the caller's device mode when one is given),
// creates the device context and starts the document. The port is not used.
// The printer's device context, or nullptr.
HDC PrintStart(const char* device, const char* driver, const char* port, const DEVMODEA* devMode,
               ABORTPROC abortProc, int pagesPerSheet, const char* docName, bool frame,
               bool shadow);
// Starts a page image (width above 0: pixels; lines; page length in lines)
// or a text page (width 0, with a heading or a page number, and a logo).
// 1, or 0 after aborting the job.
int PrintStartPage(int32_t width, int32_t lines, int32_t pageLength, const char* heading,
                   HBITMAP logo);
// Draws one bit row (bytes long, 1 = black) at line of the current image.
// 1, or 0 after aborting the job.
int PrintScanLine(const uint8_t* row, int32_t bytes, int32_t line);
// Ends the page image; ends the sheet when it is full. 1, or 0 after aborting.
int PrintEndPage(void);
// Ends the document (abort: discards it), frees the job. 1, or 0 when ending
// the document failed.
int PrintEnd(bool abort);
// Releases the bitmaps of the current page; clears the text-page flag.
void FreePrintObjects(void);
// Writes a text page's heading between rules, or the page number; then the
// logo. 1.
int PrintPageHeading(const char* heading);
// Selects the job's font (face none or empty, or height 0: keep). 0 without
// a job, else 1.
int SetPrintFont(const char* face, int tenths, bool bold, bool italic);
// One inch of paper in logical units across and down (see LogicalInch).
void GetLogicalInch(SIZE* size);

// The library-wide page-bitmap setting (on at start): page images are
// collected in a whole-page bitmap and sent in one piece at the page's end.
void SetPrintPageBitmap(bool on);

// Text output of the current text page, for report pages: the device
// context (nullptr without a job), the vertical position and the line height
// in logical units.
HDC PrintDC(void);
int32_t PrintTextY(void);
void SetPrintTextY(int32_t y);
int32_t PrintLineHeight(void);

// The spooler calls of the job. Tests replace them to see the job's calls
// and to make them fail; nullptr restores the GDI functions.
struct PrintSpoolOps {
    int(WINAPI* startDoc)(HDC, const DOCINFOA*);
    int(WINAPI* startPage)(HDC);
    int(WINAPI* endPage)(HDC);
    int(WINAPI* endDoc)(HDC);
    int(WINAPI* abortDoc)(HDC);
    int(WINAPI* getDeviceCaps)(HDC, int);
};
void SetPrintSpoolOps(const PrintSpoolOps* ops);

// PrintStart on a device context the caller made and keeps (a memory or
// metafile context in tests): everything after the device context's creation.
// The job never deletes it. dc, or nullptr.
HDC PrintStartOnDC(HDC dc, ABORTPROC abortProc, int pagesPerSheet, const char* docName,
                   bool frame, bool shadow);
#endif

#endif
