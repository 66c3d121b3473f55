// EPSON printer streams. See epson.h.
#include "server/convert/epson.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

EpsonState g_epson;

namespace {

RasterLogFn g_log;
void (*g_yield)(void);
int g_removeDither;
int g_downloadReady; // the download buffer was set up blank by us

void Log(int level, const char *fmt, ...) {
    if (!g_log) return;
    char text[400];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    g_log(level, text);
}

void Fail(TvStatus code) {
    if (!g_raster.error) g_raster.error = code;
}

int Next(const EpsonSource *src) { return src->next(src->ctx); }

// A parameter that takes 0 or 1 also accepts the characters '0' and '1'.
// -1 for any other value.
int Bool01(int v) {
    if (v == 0 || v == '0') return 0;
    if (v == 1 || v == '1') return 1;
    return -1;
}

int Resolution() { return g_raster.fine ? 200 : 100; }

// The widest right limit of the geometry: the printable width.
int PrintableRight() {
    return (g_raster.landscape ? 2263 : 1727) - 8 * (g_raster.leftMarginBytes + g_raster.rightMarginBytes);
}

void SetPitch() {
    if (g_raster.downloadSelected)
        g_raster.pitch = 18;
    else if (g_epson.fontSize == FONTSIZE_ELITE)
        g_raster.pitch = g_epson.sansSerif ? 11 : 15;
    else
        g_raster.pitch = 18;
}

// Loads the ROM fonts of a size and typeface; the fonts are reloaded when
// the typeface changes.
void SetFont(int size, int sans) {
    g_epson.fontSize = size == FONTSIZE_PICA ? FONTSIZE_PICA : FONTSIZE_ELITE;
    if (sans != g_epson.sansSerif || sans != g_raster.sansSerif) {
        g_epson.sansSerif = sans;
        g_raster.sansSerif = sans;
        LoadFontSize(FONTSIZE_NONE);
        g_downloadReady = 0;
    }
    TvStatus st = LoadFontSize(g_epson.fontSize);
    if (st != TV_OK) Fail(st);
    SetPitch();
}

void ResetPrinter() {
    g_raster.lineSpacing = g_raster.lineHeight;
    memset(g_epson.htab, 0, sizeof g_epson.htab);
    for (int i = 0; i < 10; i++) g_epson.htab[i] = 144 * i;
    memset(g_epson.vtab, 0, sizeof g_epson.vtab);
    g_epson.channel = 0;
    g_epson.bottomMargin = 0;
    g_epson.pageLength = g_raster.pageLength + g_raster.topOffset;
    g_epson.geomKind = g_raster.kind;
    g_raster.leftLimit = 0;
    g_raster.rightLimit = PrintableRight();
    g_raster.condensed = g_raster.doubleWidth = g_raster.doubleWidthLine = 0;
    g_raster.bold = g_raster.doubleStrike = g_raster.underline = 0;
    g_raster.script = SCRIPT_NONE;
    g_raster.proportional = 0;
    g_raster.downloadSelected = 0;
    g_epson.printControl = 0;
    g_epson.letterQuality = 0;
    g_epson.imageMode = 0;
    g_epson.ninePin = 0;
    SetFont(FONTSIZE_PICA, 0);
}

// A page switched to landscape or back has a new geometry: its length
// replaces the one of the printer state.
void SyncGeometry() {
    if (g_raster.kind == g_epson.geomKind) return;
    g_epson.geomKind = g_raster.kind;
    g_epson.pageLength = g_raster.pageLength + g_raster.topOffset;
    g_epson.bottomMargin = 0;
}

int NewLineHook(void) {
    g_raster.x = g_raster.leftLimit;
    g_raster.doubleWidthLine = 0;
    return EpsonAdvance(g_raster.lineSpacing);
}

void LineFeed() {
    g_raster.x = g_raster.leftLimit;
    g_raster.doubleWidthLine = 0;
    EpsonAdvance(g_raster.lineSpacing);
}

void SetDot(int pixel, int row) {
    RasterSetPixel(pixel, g_raster.rowOffset + row);
}

bool GetDot(int pixel, int row) {
    const unsigned char *r = RasterBandRow(g_raster.rowOffset + row);
    if (!r || pixel < 0 || pixel >= RASTER_ROW_BYTES * 8) return false;
    return (r[pixel >> 3] & (0x80 >> (pixel & 7))) != 0;
}

// Rows of dot d (0 top) of an 8- or 9-pin column: first row and height.
void DotRows(int d, int *first, int *height) {
    int fine = g_raster.fine;
    if (g_epson.streamMode == EPSON_STREAM_DRIVER) {
        *first = fine ? d : d / 2;
        *height = 1;
    } else if (d == 8) { // the ninth pin, below the eight
        *first = fine ? 24 : 12;
        *height = fine ? 4 : 2;
    } else if (fine) {
        *first = 3 * d;
        *height = 3;
    } else { // 1 and 2 rows alternately: 12 rows for 8 dots
        *first = (d / 2) * 3 + (d & 1);
        *height = (d & 1) ? 2 : 1;
    }
}

void Yield(int column) {
    if (g_yield && column % 20 == 19) g_yield();
}

// Pixel widths of successive columns by image mode.
const unsigned char kColumnWidths[7][4] = {
    {3, 3, 3, 3}, {2, 1, 2, 1}, {2, 1, 2, 1}, {1, 1, 1, 0}, {3, 2, 2, 2}, {3, 2, 3, 2}, {2, 2, 2, 2},
};

// An 8-pin (or 9-pin) bit image of count columns in mode 0-6.
void BitImage(const EpsonSource *src, int mode, int count, int nine) {
    g_epson.imageMode = mode;
    g_epson.ninePin = nine;
    int driver = g_epson.streamMode == EPSON_STREAM_DRIVER;
    for (int col = 0; col < count; col++) {
        int b = Next(src);
        if (b < 0) return;
        int dots = b << 1; // bit 8 (MSB of the first byte) is the top dot
        if (nine) {
            int b2 = Next(src);
            if (b2 < 0) return;
            dots |= (b2 >> 7) & 1;
        }
        int w = driver ? 1 : kColumnWidths[mode][col & 3];
        int at = g_raster.offset + (w == 0 ? g_raster.x - 1 : g_raster.x);
        int width = w == 0 ? 1 : w;
        if (dots) {
            for (int d = 0; d < 9; d++) {
                if (!(dots & (0x100 >> d))) continue;
                int first, height;
                DotRows(d, &first, &height);
                for (int r = 0; r < height; r++)
                    for (int p = 0; p < width; p++) SetDot(at + p, first + r);
            }
            g_raster.hasContent = 1;
        }
        if (w > 0) {
            g_raster.x += w;
            if (g_raster.x > g_raster.rightLimit) g_raster.x = g_raster.rightLimit;
        }
        Yield(col);
    }
}

// A 24-pin image (ESC * 39 or 40): three bytes per column, one pixel per
// column; mode 40 ORs every two columns into one.
void LqImage(const EpsonSource *src, int mode, int count) {
    g_epson.streamMode = EPSON_STREAM_LQ;
    int fine = g_raster.fine;
    uint32_t acc = 0;
    for (int col = 0; col < count; col++) {
        int b0 = Next(src);
        if (b0 < 0) return;
        int b1 = Next(src);
        if (b1 < 0) return;
        int b2 = Next(src);
        if (b2 < 0) return;
        acc |= (uint32_t(b0) << 16) | (uint32_t(b1) << 8) | uint32_t(b2);
        if (mode == 40 && !(col & 1) && col + 1 < count) continue;
        int at = g_raster.offset + g_raster.x;
        if (acc) {
            for (int d = 0; d < 24; d++) {
                if (!(acc & (0x800000u >> d))) continue;
                int row = fine ? d : d / 2;
                SetDot(at, row);
                if (g_removeDither && GetDot(at - 2, row)) SetDot(at - 1, row);
            }
            g_raster.hasContent = 1;
        }
        acc = 0;
        g_raster.x += 1;
        if (g_raster.x > g_raster.rightLimit) g_raster.x = g_raster.rightLimit;
        Yield(col);
    }
}

// User-defined characters: per code an attribute byte and 11 columns of 8
// dots. Columns spread over the cell at one and a half pixels each; the
// dots run down a 9-dot cell, the attribute's bit 7 clear placing the glyph
// one dot lower (a descender).
void DefineCharacters(const EpsonSource *src) {
    int zero = Next(src);
    if (zero < 0) return;
    int first = Next(src);
    if (first < 0) return;
    int last = Next(src);
    if (last < 0) return;
    if (!g_downloadReady) {
        LoadFontFile("", FONT_DOWNLOAD); // no such file: a blank download font
        g_downloadReady = 1;
    }
    int rows = g_raster.fine ? 24 : 12;
    for (int c = first; c <= last; c++) {
        int attr = Next(src);
        if (attr < 0) return;
        int shift = (attr & 0x80) ? 0 : 1;
        for (int col = 0; col < 11; col++) {
            int b = Next(src);
            if (b < 0) return;
            int x0 = col * 3 / 2, x1 = (col + 1) * 3 / 2;
            for (int d = 0; d < 8; d++) {
                if (!(b & (0x80 >> d))) continue;
                int p = d + shift;
                int r0 = p * rows / 9, r1 = (p + 1) * rows / 9;
                for (int r = r0; r < r1; r++)
                    for (int x = x0; x < x1; x++) SetFontDot(c, x, r);
            }
        }
    }
}

void DriverHeader(const EpsonSource *src) {
    int rev = Next(src);
    if (rev < 0) return;
    int x = Next(src);
    if (x < 0) return;
    int count = Next(src);
    if (count < 0) return;
    g_epson.streamMode = EPSON_STREAM_DRIVER;
    g_epson.driverRevision = rev;
    if (rev >= 2) {
        Log(5, "Tavrine printer driver too recent (revision %d)", rev);
        Fail(TV_E_CONV_ESCAPE);
        return;
    }
    for (int zeros = 0; zeros < count;) {
        int b = Next(src);
        if (b < 0) return;
        if (b == 0) zeros++;
    }
}

void SkipBytes(const EpsonSource *src, int n) {
    for (int i = 0; i < n; i++)
        if (Next(src) < 0) return;
}

// ESC codes skipped with a fixed number of parameter bytes.
struct SkipRow {
    int code, params;
};
const SkipRow kSkip[] = {
    {25, 1}, {' ', 1}, {'(', 6}, {'8', 0}, {'9', 0}, {'<', 0}, {'?', 2}, {'a', 1}, {'e', 2},
    {'f', 2}, {'i', 1},  {'j', 1}, {'m', 1}, {'q', 1}, {'r', 1}, {'t', 1}, {'w', 1},
};

void Escape(const EpsonSource *src) {
    int code = Next(src);
    if (code < 0) return;
    for (const SkipRow &s : kSkip)
        if (s.code == code) {
            SkipBytes(src, s.params);
            return;
        }
    int n, m;
    switch (code) {
    case 14: // ESC SO
        g_raster.doubleWidthLine = 1;
        return;
    case 15: // ESC SI
        g_raster.condensed = 1;
        return;
    case '!':
        if ((n = Next(src)) < 0) return;
        g_raster.proportional = (n & 2) != 0;
        g_raster.condensed = (n & 4) != 0;
        g_raster.bold = (n & 8) != 0;
        g_raster.doubleStrike = (n & 16) != 0;
        g_raster.doubleWidth = (n & 32) != 0;
        g_raster.underline = (n & 128) != 0;
        SetFont((n & 1) ? FONTSIZE_ELITE : FONTSIZE_PICA, g_epson.sansSerif);
        return;
    case '#':
    case '=':
    case '>':
    case '4':
    case '5':
    case '6':
    case '7':
        return;
    case '$': {
        if ((n = Next(src)) < 0 || (m = Next(src)) < 0) return;
        int x = ((m & 127) * 256 + n) * 3;
        if (x > g_raster.rightLimit) x = g_raster.rightLimit;
        if (!(m & 0x80) || x > g_raster.x) g_raster.x = x;
        return;
    }
    case '\\': {
        if ((n = Next(src)) < 0 || (m = Next(src)) < 0) return;
        int v = int(int16_t(uint16_t(m * 256 + n)));
        int d = g_epson.streamMode == EPSON_STREAM_LQ ? v : v * 3 / 2;
        int x = g_raster.x + d;
        if (x > g_raster.rightLimit) x = g_raster.rightLimit;
        if (x < g_raster.leftLimit) x = g_raster.leftLimit;
        g_raster.x = x;
        return;
    }
    case '%':
        if ((n = Next(src)) < 0 || (m = Next(src)) < 0) return;
        if (Bool01(n) >= 0) g_raster.downloadSelected = Bool01(n);
        SetPitch();
        return;
    case '&':
        DefineCharacters(src);
        return;
    case ':': {
        SkipBytes(src, 3);
        char path[400];
        snprintf(path, sizeof path, "%s%s", g_rasterSettings.fontDir,
                 FontFileName(g_raster.fontSet, g_epson.sansSerif ? FAMILY_SS18 : FAMILY_PICA, FONT_FULL,
                              g_raster.fine));
        if (LoadFontFile(path, FONT_DOWNLOAD) != TV_OK) Log(5, "Unable to load Pica font file %s", path);
        g_downloadReady = 1;
        return;
    }
    case '*': {
        int mode = Next(src);
        if (mode < 0 || (n = Next(src)) < 0 || (m = Next(src)) < 0) return;
        int count = m * 256 + n;
        if (mode <= 6)
            BitImage(src, mode, count, 0);
        else if (mode == 39 || mode == 40)
            LqImage(src, mode, count);
        else {
            Log(5, "Epson LQ graphics must be 180 x 180 dpi (0x%X)", mode);
            Fail(TV_E_CONV_ESCAPE);
        }
        return;
    }
    case 'K':
    case 'L':
    case 'Y':
    case 'Z':
        if ((n = Next(src)) < 0 || (m = Next(src)) < 0) return;
        BitImage(src, code == 'K' ? 0 : code == 'L' ? 1 : code == 'Y' ? 2 : 3, m * 256 + n, 0);
        return;
    case '^': {
        int mode = Next(src);
        if (mode < 0 || (n = Next(src)) < 0 || (m = Next(src)) < 0) return;
        if (mode > 1) {
            Log(5, "Invalid command  ESC 0x%.2X  in EPSON file", code);
            Fail(TV_E_CONV_ESCAPE);
            return;
        }
        BitImage(src, mode, m * 256 + n, 1);
        return;
    }
    case '-':
        if ((n = Next(src)) < 0) return;
        if (Bool01(n) >= 0) g_raster.underline = Bool01(n);
        return;
    case '/':
        if ((n = Next(src)) < 0) return;
        if (n >= '0' && n <= '7') n -= '0';
        if (n >= 0 && n < EPSON_VCHANNELS) g_epson.channel = n;
        return;
    case '0':
        g_raster.lineSpacing = g_raster.fine ? 24 : 12;
        return;
    case '1':
        g_raster.lineSpacing = g_raster.fine ? 18 : 9;
        return;
    case '2':
        g_raster.lineSpacing = g_raster.fine ? 32 : 16;
        return;
    case '3':
        if ((n = Next(src)) < 0) return;
        g_raster.lineSpacing = g_raster.fine ? n : (n + 1) / 2;
        return;
    case '+': {
        if ((n = Next(src)) < 0) return;
        int rows = g_raster.fine ? n / 2 : n / 4;
        g_raster.lineSpacing = rows < 1 ? 1 : rows;
        return;
    }
    case 'A': {
        if ((n = Next(src)) < 0) return;
        if (n < 1 || n > 85) return;
        int rows = n * Resolution() * 12 / 900;
        if (g_raster.fine && n == 8) rows--;
        g_raster.lineSpacing = rows;
        return;
    }
    case '@':
        ResetPrinter();
        return;
    case 'B':
    case 'b': {
        int channel = g_epson.channel;
        if (code == 'b') {
            if ((channel = Next(src)) < 0) return;
        }
        int *stops = (channel >= 0 && channel < EPSON_VCHANNELS) ? g_epson.vtab[channel] : nullptr;
        if (stops) memset(stops, 0, sizeof g_epson.vtab[0]);
        for (int i = 0; i < EPSON_VSTOPS; i++) {
            int v = Next(src);
            if (v <= 0) return;
            if (stops) stops[i] = v * g_raster.lineSpacing;
        }
        return;
    }
    case 'C':
        if ((n = Next(src)) < 0) return;
        if (n == 0) {
            if ((m = Next(src)) < 0) return;
            if (m < 1 || m > 22) return;
            g_epson.pageLength = m * Resolution() + g_raster.topOffset;
        } else {
            if (n > 127) return;
            g_epson.pageLength = n * g_raster.lineSpacing + g_raster.topOffset;
        }
        g_epson.bottomMargin = 0;
        return;
    case 'D':
        memset(g_epson.htab, 0, sizeof g_epson.htab);
        for (int i = 0; i < EPSON_HTABS; i++) {
            int v = Next(src);
            if (v <= 0 || v > 138) return;
            g_epson.htab[i] = v * g_raster.pitch;
        }
        return;
    case 'E':
        g_raster.bold = 1;
        return;
    case 'F':
        g_raster.bold = 0;
        return;
    case 'G':
        g_raster.doubleStrike = 1;
        return;
    case 'H':
        g_raster.doubleStrike = 0;
        return;
    case 'I':
        if ((n = Next(src)) < 0) return;
        if (Bool01(n) >= 0) g_epson.printControl = Bool01(n);
        return;
    case 'J':
        if ((n = Next(src)) < 0) return;
        EpsonAdvance(g_raster.fine ? n : (n + 1) / 2);
        return;
    case 'M':
        SetFont(FONTSIZE_ELITE, g_epson.sansSerif);
        return;
    case 'P':
        SetFont(FONTSIZE_PICA, g_epson.sansSerif);
        return;
    case 'N':
        if ((n = Next(src)) < 0) return;
        if (n >= 1 && n <= 127) g_epson.bottomMargin = n * g_raster.lineSpacing;
        return;
    case 'O':
        g_epson.bottomMargin = 0;
        return;
    case 'Q': {
        if ((n = Next(src)) < 0) return;
        int right = n * g_raster.pitch;
        if (right > PrintableRight() || right <= g_raster.leftLimit) {
            Log(4, "Set right margin command out of range - ignored");
            return;
        }
        g_raster.rightLimit = right;
        if (g_raster.x > right) g_raster.x = right;
        return;
    }
    case 'l': {
        if ((n = Next(src)) < 0) return;
        int left = n * g_raster.pitch;
        if (left > PrintableRight() || left >= g_raster.rightLimit) {
            Log(4, "Set left margin command out of range - ignored");
            return;
        }
        g_raster.leftLimit = left;
        g_raster.x = left;
        return;
    }
    case 'R':
    case 'U':
    case 's':
        Next(src);
        return;
    case 'S':
        if ((n = Next(src)) < 0) return;
        if (Bool01(n) >= 0) g_raster.script = Bool01(n) ? SCRIPT_SUB : SCRIPT_SUPER;
        return;
    case 'T':
        g_raster.script = SCRIPT_NONE;
        return;
    case 'W':
        if ((n = Next(src)) < 0) return;
        if (Bool01(n) >= 0) g_raster.doubleWidth = Bool01(n);
        return;
    case 'g':
        Log(5, "Epson 15 cpi characters not supported");
        Fail(TV_E_CONV_ESCAPE);
        return;
    case 'k':
        if ((n = Next(src)) < 0) return;
        SetFont(g_epson.fontSize, n == 255);
        return;
    case 'p':
        if ((n = Next(src)) < 0) return;
        if (Bool01(n) >= 0) g_raster.proportional = Bool01(n);
        return;
    case 'x':
        if ((n = Next(src)) < 0) return;
        if (Bool01(n) >= 0) g_epson.letterQuality = Bool01(n);
        return;
    case 127:
        DriverHeader(src);
        return;
    default:
        Log(5, "Invalid command  ESC 0x%.2X  in EPSON file", code);
        Fail(TV_E_CONV_ESCAPE);
        return;
    }
}

void HorizontalTab() {
    int dw = g_raster.doubleWidth || g_raster.doubleWidthLine;
    int best = -1;
    for (int stop : g_epson.htab) {
        int s = dw ? 2 * stop : stop;
        if (s > g_raster.x && (best < 0 || s < best)) best = s;
    }
    if (best < 0) return;
    g_raster.x = best > g_raster.rightLimit ? g_raster.rightLimit : best;
}

void VerticalTab() {
    int here = RasterCurrentRow() - g_raster.topOffset;
    int best = -1;
    for (int stop : g_epson.vtab[g_epson.channel])
        if (stop > here && (best < 0 || stop < best)) best = stop;
    if (best < 0) {
        LineFeed();
        return;
    }
    g_raster.x = g_raster.leftLimit;
    g_raster.doubleWidthLine = 0;
    EpsonAdvance(best - here);
}

} // namespace

void EpsonSetLogHook(RasterLogFn fn) { g_log = fn; }
void EpsonSetYieldHook(void (*fn)(void)) { g_yield = fn; }
void EpsonSetRemoveDither(int on) { g_removeDither = on; }

void EpsonStartStream(void) {
    g_epson.streamMode = EPSON_STREAM_PLAIN;
    g_epson.driverRevision = -1;
    g_epson.sansSerif = g_raster.sansSerif;
    g_downloadReady = 0;
    ResetPrinter();
    RasterSetNewLineHook(NewLineHook);
}

int EpsonIsDriverStream(const unsigned char *first, int count) {
    return count >= 2 && first[0] == 27 && first[1] == 127;
}

int EpsonAdvance(int rows) {
    if (rows < 0) rows = 0;
    SyncGeometry();
    int32_t next = RasterCurrentRow() + rows;
    int fits = next < g_epson.pageLength - g_epson.bottomMargin;
    // The fax printer driver's line feeds may pass the page end (its own
    // form feed ends the page), up to twice the page length so that a page
    // stays bounded whatever the stream holds.
    if (!fits && g_epson.driverRevision > 0) fits = next < 2 * g_epson.pageLength;
    if (!fits) {
        g_raster.pageEnded = 1;
        return 1;
    }
    OutputLine(rows);
    return g_raster.error ? 1 : 0;
}

void EpsonControl(const EpsonSource *src, int c) {
    if ((c == 7 || c == 8 || c == 9 || c == 24 || c == 127) &&
        (g_raster.kind == GEOM_HEADER || g_epson.printControl)) {
        WriteChar(c);
        return;
    }
    // A page header line is one line high: the code 11 that leads it is a
    // glyph there (blank in the shipped fonts), not a vertical tab that
    // would push the line down.
    if (c == 11 && g_raster.kind == GEOM_HEADER) {
        WriteChar(c);
        return;
    }
    switch (c) {
    case 0:
    case 7:
    case 17:
    case 19:
        return;
    case 8:
        if (!g_raster.proportional && g_raster.x - g_raster.pitch >= g_raster.leftLimit) g_raster.x -= g_raster.pitch;
        return;
    case 9:
        HorizontalTab();
        return;
    case 10:
        LineFeed();
        return;
    case 11:
        VerticalTab();
        return;
    case 12:
        // A form feed on an empty page makes a blank page rather than an
        // empty one: an empty page would end the document and lose the
        // pages after it.
        g_raster.doubleWidthLine = 0;
        g_raster.hasContent = 1;
        g_raster.pageEnded = 1;
        return;
    case 13:
        g_raster.x = g_raster.leftLimit;
        return;
    case 14:
        g_raster.doubleWidthLine = 1;
        return;
    case 15:
        g_raster.condensed = 1;
        return;
    case 18:
        g_raster.condensed = 0;
        return;
    case 20:
        g_raster.doubleWidthLine = 0;
        return;
    case 24:
        if (!g_raster.proportional) RasterClearRect(0, g_raster.rowOffset, RASTER_ROW_BYTES * 8, g_raster.bandRows);
        g_raster.x = g_raster.leftLimit;
        return;
    case 27:
        Escape(src);
        return;
    case 127: {
        RasterClearRect(g_raster.offset + g_raster.x - 18, g_raster.rowOffset, 18, 27);
        int x = g_raster.x - g_raster.pitch;
        g_raster.x = x < g_raster.leftLimit ? g_raster.leftLimit : x;
        return;
    }
    default:
        Log(5, "Invalid control character 0x%.2X in EPSON file", c);
        Fail(TV_E_CONV_BADCHAR);
        return;
    }
}

namespace {

int ScanNext(void *ctx) { return ScanTextEscape(static_cast<TextScanner *>(ctx)); }
void ScanUnget(void *ctx, int c) { TextUnget(static_cast<TextScanner *>(ctx), c); }
int ParamNext(void *ctx) { return GetNextChar(static_cast<TextScanner *>(ctx)); }
void ScanControl(void *ctx, int c) {
    EpsonSource src = {ctx, ParamNext};
    EpsonControl(&src, c);
}

} // namespace

TvStatus RenderStreamPage(TextScanner *scan, int minRows, RasterPageResult *result) {
    RasterInput in = {scan, ScanNext, ScanUnget, ScanControl};
    return RenderPage(&in, minRows, result);
}
