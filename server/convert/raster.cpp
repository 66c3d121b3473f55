// Page raster and bitmap fonts: band, fonts, blitters, widths, row output
// and the landscape buffer. See raster.h.
#include "server/convert/raster.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "common/platform.h"

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the glyph drawing's word stores assume a little-endian machine"
#endif

RasterSettings g_rasterSettings = {"", 1, 0, 0, 4, 2, 72};
RasterState g_raster;

namespace {

// Font buffer sizes at normal resolution; fine doubles them.
const int kFullBufNormal = 18600;
const int kSubBufNormal = 9400;

unsigned char g_fontFull[2 * kFullBufNormal];
unsigned char g_fontSub[2 * kSubBufNormal];
unsigned char g_fontDl[2 * kFullBufNormal];
int g_fullLoaded, g_subLoaded, g_dlLoaded;

unsigned char g_band[RASTER_BAND_MAX_ROWS][RASTER_ROW_BYTES];

RasterLogFn g_log;
RasterOutput g_out;
RasterNewLineFn g_newLine;
int g_destRes = RES_NORMAL;
int g_topPending;      // rows of the top offset not yet written
int g_pollCount;

// Landscape buffer: blocks of 37 rows of 283 bytes.
const int kLandBlocks = (RASTER_LANDSCAPE_ROWS + RASTER_LANDSCAPE_BLOCK - 1) / RASTER_LANDSCAPE_BLOCK;
unsigned char *g_landBlock[kLandBlocks];
int g_landRows;
int g_landActive;

// The font file name table: the default set, then the Eastern European set,
// each family with its LN, SN, LF, SF files.
const char *const kFontNames[32] = {
    "PICA_LN.FN", "PICA_SN.FN", "PICA_LF.FN", "PICA_SF.FN",
    "SS18_LN.FN", "SS18_SN.FN", "SS18_LF.FN", "SS18_SF.FN",
    "ELIT_LN.FN", "ELIT_SN.FN", "ELIT_LF.FN", "ELIT_SF.FN",
    "SS11_LN.FN", "SS11_SN.FN", "SS11_LF.FN", "SS11_SF.FN",
    "PICA_LNP.FN", "PICA_SNP.FN", "PICA_LFP.FN", "PICA_SFP.FN",
    "SS18_LNP.FN", "SS18_SNP.FN", "SS18_LFP.FN", "SS18_SFP.FN",
    "ELIT_LNP.FN", "ELIT_SNP.FN", "ELIT_LFP.FN", "ELIT_SFP.FN",
    "SS11_LNP.FN", "SS11_SNP.FN", "SS11_LFP.FN", "SS11_SFP.FN",
};

// Pitch of each family, in the order of FAMILY_*.
const int kFamilyPitch[4] = {18, 18, 15, 11};

// Page geometry per source kind: margins in bytes, then rows at normal and
// fine resolution for the top offset, page length and bottom margin. The
// ASCII kind's rows come from the settings; the EPSON right margin from
// EpsonRHMargin.
struct GeometryRow {
    int kind, left, right, topN, topF, lengthN, lengthF, bottomN, bottomF;
};
const GeometryRow kGeometry[] = {
    {GEOM_EPSON, 18, 0, 50, 100, 1056, 2112, 0, 0},
    {GEOM_HEADER, 12, 12, 0, 0, 1056, 2112, 0, 0},
    {GEOM_ASCII, 12, 12, 0, 0, 0, 0, 0, 0},
    {GEOM_PORTRAIT, 12, 12, 25, 50, 1080, 2160, 25, 50},
    {GEOM_LANDSCAPE, 6, 6, 100, 100, 1528, 1528, 0, 0},
    {GEOM_DRIVER, 8, 8, 0, 0, 1056, 2112, 0, 0},
};

// Condensed: each pair of pixels ORed into one (a byte gives 4 bits), so a
// one-pixel stem survives whichever column it stands in. Double width:
// every pixel doubled (a byte gives 16 bits).
unsigned char g_condense[256];
uint16_t g_double[256];
int g_tablesMade;

void MakeTables() {
    if (g_tablesMade) return;
    for (int b = 0; b < 256; b++) {
        unsigned c = 0, d = 0;
        for (int i = 0; i < 8; i++) {
            if (b & (0x80 >> i)) {
                c |= 0x8u >> (i / 2);
                d |= 0xC000u >> (2 * i);
            }
        }
        g_condense[b] = static_cast<unsigned char>(c);
        g_double[b] = static_cast<uint16_t>(d);
    }
    g_tablesMade = 1;
}

void Log(int level, const char *fmt, ...) {
    if (!g_log) return;
    char text[400];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    g_log(level, text);
}

// Blitters: a glyph row left-aligned in 32 bits becomes the pixels to OR,
// left-aligned in 64 bits.
uint64_t BlitPlain(uint32_t w) { return uint64_t(w) << 32; }
uint64_t BlitBold(uint32_t w) { return uint64_t(w | (w >> 1)) << 32; }
uint64_t BlitCondensed(uint32_t w) {
    uint32_t c = (uint32_t(g_condense[w >> 24]) << 12) | (uint32_t(g_condense[(w >> 16) & 0xFF]) << 8) |
                 (uint32_t(g_condense[(w >> 8) & 0xFF]) << 4) | g_condense[w & 0xFF];
    return uint64_t(c) << 48;
}
uint64_t BlitCondensedBold(uint32_t w) {
    uint64_t v = BlitCondensed(w);
    return v | (v >> 1);
}
uint64_t BlitDouble(uint32_t w) {
    return (uint64_t(g_double[w >> 24]) << 48) | (uint64_t(g_double[(w >> 16) & 0xFF]) << 32) |
           (uint64_t(g_double[(w >> 8) & 0xFF]) << 16) | g_double[w & 0xFF];
}
uint64_t BlitDoubleBold(uint32_t w) { return BlitDouble(w | (w >> 1)); }

typedef uint64_t (*Blitter)(uint32_t);
// Index: 0 plain, 1 bold, 2 condensed, 3 condensed bold, 4 double width,
// 5 double width bold.
const Blitter kBlitters[6] = {BlitPlain, BlitBold, BlitCondensed, BlitCondensedBold, BlitDouble, BlitDoubleBold};

// ORs 64 pixels (left-aligned) into a band row from a page pixel on,
// clipped to the row.
void OrPixels(unsigned char *row, int pixel, uint64_t v) {
    if (v == 0) return;
    int byte = pixel >> 3;
    if (pixel < 0) { // only the part right of pixel 0 is drawn
        int cut = -pixel;
        if (cut >= 64) return;
        v <<= cut;
        pixel = 0;
        byte = 0;
    }
    int shift = pixel & 7;
    uint64_t hi = v >> shift;
    unsigned char spill = static_cast<unsigned char>(shift ? (v << (8 - shift)) & 0xFF : 0);
    for (int i = 0; i < 8; i++) {
        int at = byte + i;
        if (at >= RASTER_ROW_BYTES) return;
        row[at] |= static_cast<unsigned char>(hi >> (56 - 8 * i));
    }
    if (spill && byte + 8 < RASTER_ROW_BYTES) row[byte + 8] |= spill;
}

int BandTotalRows() { return 2 * g_raster.bandRows; }

int DefaultNewLine() {
    g_raster.x = g_raster.leftLimit;
    g_raster.doubleWidthLine = 0;
    return OutputLine(g_raster.lineSpacing) != TV_OK;
}

// Glyph rows, bytes per row and buffer of the font selected for drawing.
const unsigned char *SelectedFont(int *rows, int *bytes) {
    int fine = g_raster.fine;
    *bytes = g_raster.pitch == 18 ? 3 : 2;
    if (g_raster.downloadSelected) {
        *rows = fine ? 24 : 12;
        *bytes = 3;
        return g_dlLoaded ? g_fontDl : nullptr;
    }
    if (g_raster.script != SCRIPT_NONE) {
        *rows = fine ? 12 : 6;
        return g_subLoaded ? g_fontSub : nullptr;
    }
    *rows = fine ? 24 : 12;
    return g_fullLoaded ? g_fontFull : nullptr;
}

uint32_t GlyphRow(const unsigned char *g, int bytes) {
    uint32_t w = (uint32_t(g[0]) << 24) | (uint32_t(g[1]) << 16);
    if (bytes == 3) w |= uint32_t(g[2]) << 8;
    return w;
}

void SetRenderResolution(int fine) {
    g_raster.fine = fine;
    g_raster.bandRows = fine ? RASTER_BAND_FINE : RASTER_BAND_NORMAL;
    g_raster.lineHeight = fine ? RASTER_LINE_FINE : RASTER_LINE_NORMAL;
    g_raster.lineSpacing = g_raster.lineHeight;
    memset(g_band, 0, sizeof g_band);
}

int Poll() {
    if (++g_pollCount % 5 != 0 || !g_out.poll) return 0;
    if (g_out.poll(g_out.ctx)) {
        g_raster.error = TV_E_CONV_ABORT;
        return 1;
    }
    return 0;
}

TvStatus WriteLineToBuf(const unsigned char *row) {
    if (!g_landActive) {
        Log(6, "WriteLineToBuf() called after page end");
        return g_raster.error = TV_E_CONV_LANDROWS;
    }
    if (g_landRows >= RASTER_LANDSCAPE_ROWS) {
        Log(5, "WriteLineToBuf() called too many times (%d)", g_landRows + 1);
        return g_raster.error = TV_E_CONV_LANDROWS;
    }
    int block = g_landRows / RASTER_LANDSCAPE_BLOCK;
    if (!g_landBlock[block]) {
        g_landBlock[block] = new (std::nothrow) unsigned char[RASTER_LANDSCAPE_BLOCK * RASTER_ROW_BYTES];
        if (!g_landBlock[block]) {
            Log(5, "Unable to allocate memory for landscape buffer");
            return g_raster.error = TV_E_CONV_LANDMEM;
        }
        memset(g_landBlock[block], 0, RASTER_LANDSCAPE_BLOCK * RASTER_ROW_BYTES);
    }
    memcpy(g_landBlock[block] + (g_landRows % RASTER_LANDSCAPE_BLOCK) * RASTER_ROW_BYTES, row, RASTER_ROW_BYTES);
    g_landRows++;
    return TV_OK;
}

// One row leaves the band (or is a white top row): insert merge, then the
// page or the landscape buffer.
TvStatus EmitRow(unsigned char *row) {
    if (g_out.mergeInsert) g_out.mergeInsert(g_out.ctx, row);
    TvStatus st = g_raster.landscape ? WriteLineToBuf(row) : WriteOutputRow(row, 0);
    if (st != TV_OK) return st;
    g_raster.rowsOnPage++;
    if (Poll()) return g_raster.error;
    return TV_OK;
}

TvStatus FlushTop() {
    while (g_topPending > 0) {
        unsigned char white[RASTER_ROW_BYTES] = {0};
        g_topPending--;
        TvStatus st = EmitRow(white);
        if (st != TV_OK) return st;
    }
    return TV_OK;
}

} // namespace

void RasterSetLogHook(RasterLogFn fn) { g_log = fn; }

const char *FontFileName(int set, int family, int kind, int fine) {
    if (set < 0 || set > 1 || family < 0 || family > 3 || (kind != FONT_FULL && kind != FONT_SUBSUP)) return "";
    int index = set * 16 + family * 4 + (fine ? 2 : 0) + (kind == FONT_SUBSUP ? 1 : 0);
    return kFontNames[index];
}

void RasterReset(void) {
    MakeTables();
    FreeLandBuf();
    memset(&g_raster, 0, sizeof g_raster);
    memset(&g_out, 0, sizeof g_out);
    g_newLine = nullptr;
    g_fullLoaded = g_subLoaded = g_dlLoaded = 0;
    memset(g_fontFull, 0, sizeof g_fontFull);
    memset(g_fontSub, 0, sizeof g_fontSub);
    memset(g_fontDl, 0, sizeof g_fontDl);
    g_topPending = 0;
    g_pollCount = 0;
    g_raster.pitch = 18;
    g_raster.commonPage = 1;
    RasterSetResolution(RES_NORMAL);
    SetImageDensVars(GEOM_ASCII);
}

void RasterSetResolution(int resCode) {
    MakeTables();
    g_destRes = resCode;
    int fine = resCode != RES_NORMAL;
    if (fine != g_raster.fine) LoadFontSize(FONTSIZE_NONE);
    SetRenderResolution(fine);
    g_raster.writeTwice = resCode == RES_SUPERFINE;
}

void RasterSetOutput(const RasterOutput *out) {
    if (out)
        g_out = *out;
    else
        memset(&g_out, 0, sizeof g_out);
}

void RasterSetNewLineHook(RasterNewLineFn fn) { g_newLine = fn; }

static bool FontExists(const char *name) {
    char path[400];
    snprintf(path, sizeof path, "%s%s", g_rasterSettings.fontDir, name);
    FILE *f = TvPlatOpenRead(path);
    if (!f) return false;
    fclose(f);
    return true;
}

int SelectFontSet(int eastern) {
    bool haveDefault = FontExists(kFontNames[0]);
    bool haveEastern = FontExists(kFontNames[16]);
    int set = eastern ? 1 : 0;
    if (!haveDefault && !haveEastern) {
        Log(4, "Font files not installed correctly");
        set = 0;
    } else if (eastern && !haveEastern) {
        Log(4, "Eastern European fonts missing - using default set");
        set = 0;
    } else if (!eastern && !haveDefault) {
        Log(4, "Default fonts missing - using Eastern European set");
        set = 1;
    }
    g_raster.fontSet = set;
    LoadFontSize(FONTSIZE_NONE);
    return set;
}

TvStatus LoadFontFile(const char *path, int kind) {
    unsigned char *buf;
    int size;
    int *loaded;
    int fine = g_raster.fine;
    switch (kind) {
    case FONT_FULL:
        buf = g_fontFull, size = kFullBufNormal, loaded = &g_fullLoaded;
        break;
    case FONT_SUBSUP:
        buf = g_fontSub, size = kSubBufNormal, loaded = &g_subLoaded;
        break;
    case FONT_DOWNLOAD:
        buf = g_fontDl, size = kFullBufNormal, loaded = &g_dlLoaded;
        break;
    default:
        return TV_E_BADARG;
    }
    if (fine) size *= 2;
    // Zero-filled first: a short file leaves blank glyphs, never those of
    // the font loaded before.
    memset(buf, 0, size);
    *loaded = 0;
    FILE *f = TvPlatOpenRead(path);
    if (!f) {
        if (kind == FONT_DOWNLOAD) { // no download font: a blank one
            *loaded = 1;
            return TV_OK;
        }
        Log(5, "Font file %s not found", path);
        return TV_E_CONV_FONT;
    }
    int total = 0;
    while (total < size) {
        int chunk = size - total < 512 ? size - total : 512;
        size_t got = fread(buf + total, 1, size_t(chunk), f);
        total += int(got);
        if (got < size_t(chunk)) break;
    }
    bool bad = ferror(f) != 0;
    fclose(f);
    if (bad || total == 0) {
        memset(buf, 0, size);
        Log(5, "Error reading from Font file %s", path);
        return TV_E_CONV_FONT;
    }
    *loaded = 1;
    return TV_OK;
}

TvStatus LoadFontSize(int size) {
    if (size == FONTSIZE_NONE) {
        g_fullLoaded = g_subLoaded = g_dlLoaded = 0;
        g_raster.fontSize = FONTSIZE_NONE;
        return TV_OK;
    }
    if (size != FONTSIZE_PICA) size = FONTSIZE_ELITE;
    if (size == g_raster.fontSize) return TV_OK;
    int family = size == FONTSIZE_PICA ? (g_raster.sansSerif ? FAMILY_SS18 : FAMILY_PICA)
                                       : (g_raster.sansSerif ? FAMILY_SS11 : FAMILY_ELIT);
    char path[400];
    g_raster.fontSize = FONTSIZE_NONE;
    snprintf(path, sizeof path, "%s%s", g_rasterSettings.fontDir,
             FontFileName(g_raster.fontSet, family, FONT_FULL, g_raster.fine));
    if (LoadFontFile(path, FONT_FULL) != TV_OK) {
        Log(5, "Unable to load full font file '%s'", path);
        return TV_E_CONV_FONT;
    }
    snprintf(path, sizeof path, "%s%s", g_rasterSettings.fontDir,
             FontFileName(g_raster.fontSet, family, FONT_SUBSUP, g_raster.fine));
    if (LoadFontFile(path, FONT_SUBSUP) != TV_OK) {
        g_fullLoaded = 0;
        Log(5, "Unable to load super/subscript font file '%s'", path);
        return TV_E_CONV_FONT;
    }
    g_raster.fontSize = size;
    g_raster.pitch = kFamilyPitch[family];
    return TV_OK;
}

void SetFontDot(int c, int col, int row) {
    if (!g_dlLoaded) {
        Log(6, "SetFontDot() uninitialised download font selected");
        return;
    }
    int rows = g_raster.fine ? 24 : 12;
    if (c < 0 || c > 255 || col < 0 || col >= 24 || row < 0 || row >= rows) return;
    g_fontDl[(c * rows + row) * 3 + col / 8] |= static_cast<unsigned char>(0x80 >> (col % 8));
}

void SetImageDensVars(int kind) {
    const GeometryRow *g = nullptr;
    for (const GeometryRow &row : kGeometry)
        if (row.kind == kind) g = &row;
    if (!g) {
        Log(6, "SetImageDensVars() - invalid parameter %d", kind);
        return;
    }
    int fine = g_raster.fine;
    g_raster.kind = kind;
    g_raster.leftMarginBytes = g->left;
    g_raster.rightMarginBytes = g->right;
    g_raster.topOffset = fine ? g->topF : g->topN;
    g_raster.pageLength = fine ? g->lengthF : g->lengthN;
    g_raster.bottomMargin = fine ? g->bottomF : g->bottomN;
    if (kind == GEOM_EPSON && g_rasterSettings.epsonRHMargin) g_raster.rightMarginBytes = 18;
    if (kind == GEOM_ASCII) {
        int lh = g_raster.lineHeight;
        g_raster.topOffset = lh * g_rasterSettings.asciiTopMargin;
        g_raster.pageLength = lh * g_rasterSettings.asciiFormLength - g_raster.topOffset;
        g_raster.bottomMargin = lh * g_rasterSettings.asciiBottomMargin;
    }
    g_raster.offset = 8 * g_raster.leftMarginBytes;
    int span = 8 * (g_raster.leftMarginBytes + g_raster.rightMarginBytes);
    g_raster.leftLimit = 0;
    g_raster.rightLimit = (kind == GEOM_LANDSCAPE ? 2263 : 1727) - span;
    g_raster.x = g_raster.leftLimit;
}

TvStatus RasterStartPage(void) {
    memset(g_band, 0, sizeof g_band);
    g_raster.x = g_raster.leftLimit;
    g_raster.rowOffset = 0;
    g_raster.rowsOnPage = 0;
    g_raster.rowsWritten = 0;
    g_raster.hasContent = 0;
    g_raster.commonPage = 1;
    g_raster.error = TV_OK;
    g_raster.condensedSpare = 0;
    g_raster.doubleWidthLine = 0;
    g_raster.pageEnded = 0;
    g_topPending = g_raster.topOffset;
    g_pollCount = 0;
    if (g_raster.landscape) { // every landscape page stores its own rows
        FreeLandBuf();
        g_landActive = 1;
    }
    return TV_OK;
}

int32_t RasterCurrentRow(void) { return g_raster.rowsOnPage + g_topPending; }

TvStatus RenderPage(const RasterInput *in, int minRows, RasterPageResult *result) {
    result->rows = 0;
    result->common = 1;
    result->inputEnded = 0;
    RasterStartPage();
    int count = 0;
    while (!g_raster.pageEnded && !g_raster.error) {
        if (++count % 20 == 0 && g_out.poll && g_out.poll(g_out.ctx)) {
            g_raster.error = TV_E_CONV_ABORT;
            break;
        }
        int c = in->nextChar(in->ctx);
        if (c < 0 || c == 26) {
            result->inputEnded = 1;
            break;
        }
        if (c < 32 || c == 127) {
            in->control(in->ctx, c);
            continue;
        }
        int glyph;
        if (MapPrintableByte(c, &glyph) != TV_OK) break;
        if (!WriteChar(glyph) && g_raster.pageEnded) {
            in->pushBack(in->ctx, c); // it starts the next page
        }
    }
    result->common = g_raster.commonPage;
    if (g_raster.error) {
        if (g_raster.landscape) FreeLandBuf();
        return g_raster.error;
    }
    if (!g_raster.hasContent) {
        if (g_raster.landscape) FreeLandBuf();
        return TV_OK;
    }
    TvStatus st = RasterFinishPage(minRows);
    result->rows = g_raster.rowsWritten;
    return st;
}

int CharWidth(int c, int *bearing) {
    *bearing = 0;
    int dw = g_raster.doubleWidth || g_raster.doubleWidthLine;
    int cond = g_raster.condensed;
    int pitch = g_raster.pitch;
    if (!g_raster.proportional) {
        if (dw && cond) return pitch;
        if (dw) return 2 * pitch;
        if (cond) return pitch / 2 + ((pitch & 1) ? g_raster.condensedSpare : 0);
        return pitch;
    }
    int rows, bytes;
    const unsigned char *font = SelectedFont(&rows, &bytes);
    uint32_t ink = 0;
    if (font && c >= 0 && c < 256) {
        const unsigned char *g = font + c * rows * bytes;
        for (int r = 0; r < rows; r++) ink |= GlyphRow(g + r * bytes, bytes);
    }
    if (ink == 0) { // an empty glyph: a fixed advance and no bearing
        if (dw && cond) return 18;
        if (dw) return 36;
        if (cond) return 9;
        return 18;
    }
    int p = g_raster.fontSize == FONTSIZE_PICA ? 18 : (g_raster.sansSerif ? 11 : 15);
    const unsigned char *table;
    int d;
    if (g_raster.sansSerif)
        table = kSansWidths, d = 18;
    else if (g_raster.pitch == 15)
        table = kEliteWidths, d = 18;
    else
        table = kPicaWidths, d = 12;
    int width = (p * table[c] + 3) / d;
    int lead = 0;
    while (!(ink & (0x80000000u >> lead))) lead++;
    if (lead + width > p) lead = p - width > 0 ? p - width : 0;
    *bearing = lead;
    if (dw && cond) return width;
    if (dw) return 2 * width;
    if (cond) return width / 2;
    return width;
}

int WriteChar(int c) {
    int rows, bytes;
    const unsigned char *font = SelectedFont(&rows, &bytes);
    if (!font) {
        Log(6, "WriteChar() uninitialised font selected");
        return 0;
    }
    int dw = g_raster.doubleWidth || g_raster.doubleWidthLine;
    int need = dw ? 2 * g_raster.pitch : g_raster.pitch;
    if (g_raster.x + need - 1 > g_raster.rightLimit) {
        int ended = g_newLine ? g_newLine() : DefaultNewLine();
        if (ended || g_raster.error) return 0;
    }
    if (!g_rasterSettings.extendedChars && c > 127) c &= 127;
    c &= 0xFF;
    if (g_raster.condensed && !g_raster.proportional && (g_raster.pitch & 1))
        g_raster.condensedSpare ^= 1;
    int bearing;
    int width = CharWidth(c, &bearing);
    if (c != ' ') {
        int bold = g_raster.bold || g_raster.doubleStrike;
        // Double width and condensed together draw as plain.
        int mode = (dw != 0) == (g_raster.condensed != 0) ? 0 : (dw ? 4 : 2);
        Blitter blit = kBlitters[mode + (bold ? 1 : 0)];
        int top = g_raster.rowOffset + (g_raster.script == SCRIPT_SUB ? (g_raster.fine ? 12 : 6) : 0);
        int pixel = g_raster.offset + g_raster.x;
        const unsigned char *g = font + c * rows * bytes;
        int byte = pixel >> 3;
        if (mode == 0 && pixel >= 0 && byte + 9 <= RASTER_ROW_BYTES && top >= 0 && top + rows <= BandTotalRows()) {
            // Plain or bold and wholly inside the band (the usual case): the
            // glyph row goes in with one 8-byte read-modify-write, without
            // the clipping of OrPixels.
            int shift = pixel & 7;
            for (int r = 0; r < rows; r++) {
                uint32_t w = GlyphRow(g + r * bytes, bytes) << bearing;
                if (bold) w |= w >> 1;
                if (!w) continue;
                uint64_t v = uint64_t(w) << 32;
                unsigned char *at = g_band[top + r] + byte;
                uint64_t cur;
                memcpy(&cur, at, 8);
                cur = __builtin_bswap64(__builtin_bswap64(cur) | (v >> shift));
                memcpy(at, &cur, 8);
                if (shift) at[8] |= static_cast<unsigned char>((v << (8 - shift)) & 0xFF);
            }
        } else {
            for (int r = 0; r < rows; r++) {
                unsigned char *row = RasterBandRow(top + r);
                if (!row) continue; // clipped to the band
                uint32_t w = GlyphRow(g + r * bytes, bytes) << bearing;
                OrPixels(row, pixel, blit(w));
            }
        }
    }
    if (g_raster.underline) {
        int row = g_raster.rowOffset + g_raster.bandRows - 1;
        for (int i = 0; i < width; i++) RasterSetPixel(g_raster.offset + g_raster.x + i, row);
    }
    g_raster.x += width;
    g_raster.hasContent = 1;
    return 1;
}

TvStatus OutputLine(int rows) {
    if (g_raster.error) return g_raster.error;
    TvStatus st = FlushTop();
    if (st != TV_OK) return st;
    int total = BandTotalRows();
    while (rows > 0) {
        int n = rows < g_raster.bandRows ? rows : g_raster.bandRows;
        for (int r = 0; r < n; r++) {
            st = EmitRow(g_band[r]);
            if (st != TV_OK) return st;
        }
        memmove(g_band[0], g_band[n], size_t(total - n) * RASTER_ROW_BYTES);
        memset(g_band[total - n], 0, size_t(n) * RASTER_ROW_BYTES);
        rows -= n;
    }
    return TV_OK;
}

TvStatus WriteOutputRow(const unsigned char *row, int lastRow) {
    unsigned char out[RASTER_PAGE_BYTES];
    memcpy(out, row, RASTER_PAGE_BYTES);
    if (g_out.mergeBackground) g_out.mergeBackground(g_out.ctx, out);
    int times = g_raster.writeTwice ? 2 : 1;
    for (int i = 0; i < times; i++) {
        if (g_out.writeRow) {
            TvStatus st = g_out.writeRow(g_out.ctx, out, RASTER_PAGE_BYTES, lastRow && i == times - 1);
            if (st != TV_OK) {
                Log(5, "Cannot write to output file");
                return g_raster.error = TV_E_CONV_WRITE;
            }
        }
        g_raster.rowsWritten++;
    }
    return TV_OK;
}

TvStatus RasterFinishPage(int minRows) {
    if (g_raster.error) return g_raster.error;
    int length = g_raster.topOffset + g_raster.pageLength;
    if (g_raster.landscape) {
        if (length > RASTER_LANDSCAPE_ROWS) length = RASTER_LANDSCAPE_ROWS;
        int left = length - g_raster.rowsOnPage - g_topPending;
        if (left > 0) {
            TvStatus st = OutputLine(left);
            if (st != TV_OK) return st;
        }
        return WriteBufToFile(minRows);
    }
    if (minRows > length) length = minRows;
    // Rows of the top offset not yet written count as written here.
    int left = length - g_raster.rowsOnPage - g_topPending;
    TvStatus st = OutputLine(left > 1 ? left - 1 : 0);
    if (st != TV_OK) return st;
    // The last row carries the end-of-page mark; a page already at its
    // length gets one white row for it.
    unsigned char last[RASTER_ROW_BYTES] = {0};
    if (left >= 1) memcpy(last, g_band[0], RASTER_ROW_BYTES);
    if (g_out.mergeInsert) g_out.mergeInsert(g_out.ctx, last);
    st = WriteOutputRow(last, 1);
    if (st != TV_OK) return st;
    g_raster.rowsOnPage++;
    memset(g_band, 0, sizeof g_band);
    return TV_OK;
}

unsigned char *RasterBandRow(int row) {
    if (row < 0 || row >= BandTotalRows()) return nullptr;
    return g_band[row];
}

void RasterSetPixel(int pixel, int row) {
    unsigned char *r = RasterBandRow(row);
    if (!r || pixel < 0 || pixel >= RASTER_ROW_BYTES * 8) return;
    r[pixel >> 3] |= static_cast<unsigned char>(0x80 >> (pixel & 7));
}

void RasterClearRect(int pixel, int row, int width, int rows) {
    for (int y = row; y < row + rows; y++) {
        unsigned char *r = RasterBandRow(y);
        if (!r) continue;
        for (int p = pixel; p < pixel + width; p++)
            if (p >= 0 && p < RASTER_ROW_BYTES * 8) r[p >> 3] &= static_cast<unsigned char>(~(0x80 >> (p & 7)));
    }
}

TvStatus MapPrintableByte(int byte, int *glyph) {
    byte &= 0xFF;
    if (!g_rasterSettings.extendedChars && ((byte >= 128 && byte <= 158) || byte == 255)) {
        Log(5, "Invalid character 0x%.2X in EPSON file", byte);
        *glyph = byte;
        return g_raster.error = TV_E_CONV_BADCHAR;
    }
    if (byte == 134 || byte == 163 || (byte == 156 && g_rasterSettings.dosPound))
        *glyph = 24;
    else
        *glyph = byte;
    return TV_OK;
}

TvStatus SetLandscape(int on, const char *name, int insertActive) {
    if (g_raster.kind == GEOM_HEADER) {
        Log(6, "SetLandscape() called in top lines file");
        return g_raster.error = TV_E_CONV_LANDSCAPE;
    }
    if (g_raster.hasContent || g_raster.rowsOnPage > 0) {
        Log(5, "%s command only valid at top of page", name);
        return g_raster.error = TV_E_CONV_LANDSCAPE;
    }
    if (insertActive) {
        Log(5, "%s command not valid when including graphics", name);
        return g_raster.error = TV_E_CONV_LANDSCAPE;
    }
    int size = g_raster.fontSize;
    if (on) {
        if (!g_raster.fine) LoadFontSize(FONTSIZE_NONE);
        SetRenderResolution(1);
        g_raster.landscape = 1;
        if (!g_landActive) {
            g_landActive = 1;
            g_landRows = 0;
        }
        SetImageDensVars(GEOM_LANDSCAPE);
    } else {
        int fine = g_destRes != RES_NORMAL;
        if (fine != g_raster.fine) LoadFontSize(FONTSIZE_NONE);
        SetRenderResolution(fine);
        g_raster.landscape = 0;
        FreeLandBuf();
        SetImageDensVars(GEOM_PORTRAIT);
    }
    g_topPending = g_raster.topOffset;
    if (size != FONTSIZE_NONE && g_raster.fontSize == FONTSIZE_NONE) {
        TvStatus st = LoadFontSize(size);
        if (st != TV_OK) return g_raster.error = st;
    }
    return TV_OK;
}

static bool LandPixel(int storedRow, int pixel) {
    const unsigned char *row =
        g_landBlock[storedRow / RASTER_LANDSCAPE_BLOCK] + (storedRow % RASTER_LANDSCAPE_BLOCK) * RASTER_ROW_BYTES;
    return (row[pixel >> 3] & (0x80 >> (pixel & 7))) != 0;
}

TvStatus WriteBufToFile(int minRows) {
    if (!g_landActive) {
        Log(6, "WriteBufToFile() - buffer not initialised");
        return g_raster.error = TV_E_CONV_LANDROWS;
    }
    // Rotation: the rightmost pixel column of the stored rows becomes the
    // top output row, stored row k becomes pixel k of every output row.
    // Rows are rendered at fine; at normal resolution pairs are ORed.
    int normal = g_destRes == RES_NORMAL;
    unsigned char out[RASTER_PAGE_BYTES];
    int written = 0;
    int pairs = 0;
    memset(out, 0, sizeof out);
    for (int pixel = RASTER_ROW_BYTES * 8 - 1; pixel >= 0; pixel--) {
        for (int k = 0; k < g_landRows && k < RASTER_PAGE_PIXELS; k++)
            if (LandPixel(k, pixel)) out[k >> 3] |= static_cast<unsigned char>(0x80 >> (k & 7));
        if (normal && ++pairs < 2) continue;
        pairs = 0;
        TvStatus st = WriteOutputRow(out, 0);
        if (st != TV_OK) {
            FreeLandBuf();
            return st;
        }
        written++;
        memset(out, 0, sizeof out);
        if (written % 5 == 0 && g_out.poll && g_out.poll(g_out.ctx)) {
            FreeLandBuf();
            return g_raster.error = TV_E_CONV_ABORT;
        }
    }
    FreeLandBuf();
    int white = minRows - written;
    if (white < 1) white = 1;
    memset(out, 0, sizeof out);
    for (int i = 0; i < white; i++) {
        TvStatus st = WriteOutputRow(out, i == white - 1);
        if (st != TV_OK) return st;
    }
    return TV_OK;
}

void FreeLandBuf(void) {
    for (unsigned char *&b : g_landBlock) {
        delete[] b;
        b = nullptr;
    }
    g_landRows = 0;
    g_landActive = 0;
}
