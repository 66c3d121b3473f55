// Page raster and bitmap fonts of the message converter.
//
// Characters are drawn from .FN bitmap fonts into a band of rows 283 bytes
// wide (2264 pixels; bytes 0-215 are the 1728 pixels of the page, the rest
// takes what is drawn beyond the right edge and is never written out). The
// band is 12 rows high at normal resolution and 24 at fine, with as many
// spare rows again below it for what draws below a line (the ninth pin of a
// bit image, the DEL clear, download glyphs placed one dot lower); every
// write is clipped to the band, so nothing writes past it. Rows leave the
// band through OutputLine to a row sink (MSB-first, 1 = black, 216 bytes).
//
// .FN layout: no header; glyph c at c * R * B; R rows of B bytes, top row
// first; the most significant bit of a byte is the leftmost pixel, a set bit
// is black. B is 3 for the 18-pixel families (PICA, SS18), 2 for ELIT and
// SS11. R is 12 full / 6 super-subscript at normal resolution, 24 / 12 at
// fine. The Eastern European set's names add "P" before ".FN".
//
// The state is global (one page is rendered at a time per process); the
// text command scanner, the EPSON interpreter and the graphics insert change
// it directly through g_raster and the drawing calls below.
//
// A conversion uses it in this order: RasterReset; fill g_rasterSettings;
// RasterSetLogHook; RasterSetResolution (destination); SelectFontSet;
// LoadFontSize; SetImageDensVars (source kind); RasterSetOutput (the page
// file's row writer, background and insert merges, poll) and
// RasterSetNewLineHook (the EPSON line feed); then RenderPage once per page
// until the input has ended. The EPSON interpreter, called for control
// bytes, moves g_raster.x, calls OutputLine for line feeds (comparing
// RasterCurrentRow with the page length) and sets g_raster.pageEnded.
#ifndef TAVRINE_SERVER_CONVERT_RASTER_H
#define TAVRINE_SERVER_CONVERT_RASTER_H

#include <cstdint>

#include "common/status.h"

enum : int {
    RASTER_ROW_BYTES = 283,        // bytes of one band row
    RASTER_PAGE_BYTES = 216,       // bytes of a page row written out
    RASTER_PAGE_PIXELS = 1728,
    RASTER_BAND_NORMAL = 12,       // band rows at normal resolution
    RASTER_BAND_FINE = 24,         // band rows at fine resolution
    RASTER_BAND_MAX_ROWS = 2 * RASTER_BAND_FINE, // band plus spare rows
    RASTER_LINE_NORMAL = 16,       // text line pitch in rows
    RASTER_LINE_FINE = 32,
    RASTER_LANDSCAPE_ROWS = 1728,  // most rows a landscape page stores
    RASTER_LANDSCAPE_BLOCK = 37,   // landscape rows allocated at a time
};

// Font buffer kinds of LoadFontFile.
enum : int { FONT_FULL = 1, FONT_SUBSUP = 2, FONT_DOWNLOAD = 3 };

// Font families in the order of the name table.
enum : int { FAMILY_PICA = 0, FAMILY_SS18 = 1, FAMILY_ELIT = 2, FAMILY_SS11 = 3 };

// Font sizes of LoadFontSize.
enum : int { FONTSIZE_NONE = 0, FONTSIZE_PICA = 1, FONTSIZE_ELITE = 2 };

// Source kinds of SetImageDensVars (page geometry).
enum : int {
    GEOM_EPSON = 1,
    GEOM_HEADER = 2,
    GEOM_ASCII = 3,
    GEOM_PORTRAIT = 4,
    GEOM_LANDSCAPE = 5,
    GEOM_DRIVER = 6,
};

// Resolution codes of the destination formats: G3N, G3F, G3S.
enum : int { RES_NORMAL = 1, RES_FINE = 2, RES_SUPERFINE = 4 };

// Super/subscript mode.
enum : int { SCRIPT_NONE = 0, SCRIPT_SUPER = 1, SCRIPT_SUB = 2 };

// Log lines of the raster go through a hook (the converter points it at the
// server log); levels as the server log's: 3 information .. 6 fatal.
typedef void (*RasterLogFn)(int level, const char *text);
void RasterSetLogHook(RasterLogFn fn);

// Where finished rows go and what is merged into them. Every member but
// writeRow may be null.
struct RasterOutput {
    void *ctx;
    // Appends one page row (RASTER_PAGE_BYTES bytes); endOfPage marks the
    // page's last row. Returns 0, or a failure status.
    TvStatus (*writeRow)(void *ctx, const unsigned char *row, int bytes, int endOfPage);
    // ORs the background page's next line into a page row (216 bytes).
    void (*mergeBackground)(void *ctx, unsigned char *row);
    // ORs an inserted picture's next line into a band row (283 bytes).
    void (*mergeInsert)(void *ctx, unsigned char *row);
    // Called every 5 rows (a short yield and the packet reader); non-zero
    // means the conversion is aborted.
    int (*poll)(void *ctx);
};

// Starts a new line when a character does not fit (the EPSON carriage
// return and line feed). Returns 0 to go on drawing, non-zero when the page
// has ended and the character belongs to the next page. Without a hook: x
// to the left limit and OutputLine(lineSpacing).
typedef int (*RasterNewLineFn)(void);

// Settings of the converter that the raster uses (read from SETUP.INI by
// the converter service), and the font folder.
struct RasterSettings {
    char fontDir[260];      // the T-DB folder, ending in a path separator
    int extendedChars;      // bytes above 127 print with their own glyphs
    int dosPound;           // byte 156 prints as the pound sign
    int epsonRHMargin;      // 18-byte right margin on EPSON pages
    int asciiTopMargin;     // text lines, 0..15
    int asciiBottomMargin;  // text lines, 0..15
    int asciiFormLength;    // text lines, 40..100
};
extern RasterSettings g_rasterSettings;

// Drawing and page state.
struct RasterState {
    // Resolution.
    int fine;               // rendering at 200 lines per inch
    int writeTwice;         // G3S: every row written twice
    int bandRows;           // 12 or 24
    int lineHeight;         // 16 or 32
    int landscape;          // rows go to the landscape buffer
    // Geometry (SetImageDensVars).
    int kind;
    int leftMarginBytes, rightMarginBytes;
    int topOffset;          // white rows above the first line
    int pageLength;         // rows below the top offset
    int bottomMargin;       // rows kept free at the bottom
    int offset;             // pixels added to x: 8 * left margin
    // Position.
    int x, leftLimit, rightLimit; // pixels, relative to the offset
    int rowOffset;          // band row of the top of the glyph cell
    int lineSpacing;        // rows a line feed advances
    // Fonts.
    int fontSet;            // 0 default, 1 Eastern European
    int fontSize;           // loaded size, FONTSIZE_*
    int sansSerif;
    int pitch;              // 18, 15 or 11
    int downloadSelected;
    // Attributes.
    int bold, doubleStrike, condensed, doubleWidth, doubleWidthLine;
    int underline, script, proportional;
    int condensedSpare;     // odd pitch in condensed: toggling extra pixel
    // Page.
    int32_t rowsOnPage;     // rendered rows that left the band
    int32_t rowsWritten;    // rows written to the page (twice each at G3S)
    int hasContent;
    int commonPage;         // no addressee field used on this page
    TvStatus error;         // ends the page when set
    int pageEnded;          // set by a form feed or a line feed past the end
};
extern RasterState g_raster;

// Proportional width tables (generated with the fonts): pica in twelfths,
// elite and sans serif in eighteenths of the pitch.
extern const unsigned char kPicaWidths[256];
extern const unsigned char kEliteWidths[256];
extern const unsigned char kSansWidths[256];

// Name of a font file: set 0/1, FAMILY_*, FONT_FULL or FONT_SUBSUP, fine.
const char *FontFileName(int set, int family, int kind, int fine);

// Resets fonts, state and band; clears the hooks. Settings stay.
void RasterReset(void);

// Sets the rendering resolution for a destination code (RES_*); the band
// is cleared. Fonts are unloaded when the resolution changes.
void RasterSetResolution(int resCode);
void RasterSetOutput(const RasterOutput *out);
void RasterSetNewLineHook(RasterNewLineFn fn);

// Chooses the default or Eastern European set by what is installed (both
// sets' first file checked), logs the fallbacks and unloads the fonts.
// Returns the set chosen.
int SelectFontSet(int eastern);

// Loads a font file into the buffer of a kind; the buffer is zero-filled
// first, so glyphs past the end of a short file are blank. 0, or 0xF210.
// A missing download font leaves a blank download font and is not an error.
TvStatus LoadFontFile(const char *path, int kind);

// Loads the full and super/subscript fonts of a size (FONTSIZE_PICA, any
// other value but 0 for elite) for the current set, resolution and sans
// serif choice; sets the pitch. Size 0 unloads every font buffer.
TvStatus LoadFontSize(int size);

// Writes into the download font buffer (ESC &): sets dot (col, row) of the
// glyph of code c, in glyph pixels (24 wide, 12 or 24 rows).
void SetFontDot(int c, int col, int row);

// Sets the page geometry for a source kind (GEOM_*), with the limits.
void SetImageDensVars(int kind);

// Starts a page: page state reset, band cleared, x at the left limit; the
// top offset's white rows are written before the first row that leaves the
// band.
TvStatus RasterStartPage(void);

// Pixel width of character c as drawn now; *bearing gets the empty
// columns cut from its left in proportional mode.
int CharWidth(int c, int *bearing);

// Draws character c at x and advances x. Returns 1 when drawn, 0 when the
// new line started for it ended the page (the character is not drawn) or
// no font is loaded.
int WriteChar(int c);

// Moves the band down by rows, writing the rows that leave it.
TvStatus OutputLine(int rows);

// Writes one page row (after the background merge) once, or twice at G3S.
TvStatus WriteOutputRow(const unsigned char *row, int lastRow);

// Ends a page that has content: the band and white rows up to the page
// length (or minRows when longer) are written, the last row flagged.
TvStatus RasterFinishPage(int minRows);

// Rows of the page from its top to the top of the band (the top offset
// counts as written): what a line feed compares with the page length.
int32_t RasterCurrentRow(void);

// The input of RenderPage: bytes come through the text command scanner;
// control bytes (below 32, and 127) go to the EPSON interpreter, which ends
// the page by setting g_raster.pageEnded.
struct RasterInput {
    void *ctx;
    int (*nextChar)(void *ctx);         // next byte, or -1 at the end of the input
    void (*pushBack)(void *ctx, int c); // the byte is read again next
    void (*control)(void *ctx, int c);  // a control byte
};

// What RenderPage tells about the page it rendered.
struct RasterPageResult {
    int32_t rows;      // rows written to the page file; 0 for an empty page
    int common;        // no addressee field used on the page
    int inputEnded;    // the input has ended (end of file or byte 26)
};

// Renders one page: starts it, draws characters until the page ends, the
// input ends or an error is set, then finishes a page that has content
// (filled to its length, or to minRows when longer, e.g. a background's
// length). Every 20 characters the poll hook runs (0xF21F on abort).
// Returns the page's error code.
TvStatus RenderPage(const RasterInput *in, int minRows, RasterPageResult *result);

// Band access for the EPSON interpreter and the graphics insert. Pixel
// positions here are page pixels (the offset included); rows count from
// the top of the band. Everything is clipped to the band.
unsigned char *RasterBandRow(int row);     // null outside the band
void RasterSetPixel(int pixel, int row);
void RasterClearRect(int pixel, int row, int width, int rows);

// Maps an input byte for drawing: the refusal of 128-158 and 255 without
// ExtendedChars (0xF220), then the pound mapping (134, 163, and 156 with
// DOSPound, to glyph 24).
TvStatus MapPrintableByte(int byte, int *glyph);

// Landscape: switch on or off (only at the top of a page, not with a
// graphics insert active, not in page header mode; 0xF222 otherwise).
// name is the command's name for the log line.
TvStatus SetLandscape(int on, const char *name, int insertActive);

// Writes the stored landscape rows out rotated, then white rows up to
// minRows (at least one); frees the buffer.
TvStatus WriteBufToFile(int minRows);

// Frees the landscape buffer (end of a failed page).
void FreeLandBuf(void);

#endif
