// Graphics files: search, line readers with vertical scaling, the inserted
// picture and the merge hooks. See graphics.h.
#include "server/convert/graphics.h"

#include <cstdarg>
#include <cstring>

#include "common/faxtiff.h"
#include "common/mhdecode.h"
#include "common/platform.h"

GraphicsPaths g_graphicsPaths;

namespace {

RasterLogFn g_log;
GraphicsOpenFn g_open;

void Log(int level, const char *fmt, ...) {
    if (!g_log) return;
    char text[400];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    g_log(level, text);
}

struct LineReader {
    int active;
    int bytes;                 // bytes per line, at most 216
    int expansion;
    int32_t linesLeft;         // coded lines not yet decoded
    unsigned char line[GRAPHICS_LINE_BYTES];
    int repeat;                // further deliveries of the current line
    int blank;
    int corruptLogged;
    MhDecoder dec;
};
LineReader g_reader[GRAPHICS_READERS];

// The inserted picture.
struct Picture {
    FILE *file;
    int column;                // band pixel of its first column
    int width;
    int32_t skip;              // rows of the page top still to be written first
};
Picture g_picture;

FILE *OpenFile(const char *path) {
    if (g_open) return g_open(path);
    return TvPlatOpenRead(path);
}

// Decodes the reader's next coded line into buf. 1 black, 0 white, -1 the
// page is over (error or no lines left).
int DecodeNext(LineReader *r, unsigned char *buf) {
    memset(buf, 0, GRAPHICS_LINE_BYTES);
    if (r->linesLeft <= 0) return -1;
    r->linesLeft--;
    int res = ReadFaxRowOn(&r->dec, -1, buf, GRAPHICS_LINE_BYTES);
    if (res == MH_LINE_END) {
        Log(4, "Error reading line from graphics file");
        memset(buf, 0, GRAPHICS_LINE_BYTES);
        r->linesLeft = 0;
        return -1;
    }
    if (res == MH_LINE_BAD) {
        if (!r->corruptLogged) Log(4, "Corrupted lines in TIFF graphics file");
        r->corruptLogged = 1;
        for (int i = 0; i < r->bytes; i++)
            if (buf[i]) return 1;
        return 0;
    }
    return res == FAX_ROW_BLACK ? 1 : 0;
}

} // namespace

void GraphicsSetLogHook(RasterLogFn fn) { g_log = fn; }
void GraphicsSetOpenHook(GraphicsOpenFn fn) { g_open = fn; }

int CalcReadExpansion(int fileRes, int wantRes) {
    if (fileRes <= 0 || wantRes <= 0) return 0;
    if (wantRes >= fileRes) return wantRes / fileRes;
    return -(fileRes / wantRes);
}

FILE *OpenGraphicsFile(int searchUser, const char *subdir, const char *name, int resolution, char *path,
                       int pathSize) {
    static const char *const kOrder[3][3] = {
        {"G3N", "G3F", "G3S"}, {"G3F", "G3N", "G3S"}, {"G3S", "G3F", "G3N"}};
    int order = resolution == RES_FINE ? 1 : resolution == RES_SUPERFINE ? 2 : 0;
    // The name without its extension (a dot after the last separator).
    char stem[GRAPHICS_PATH_MAX];
    snprintf(stem, sizeof stem, "%s", name);
    char *dot = strrchr(stem, '.');
    if (dot && !strchr(dot, '/') && !strchr(dot, '\\')) *dot = 0;
    const char sep = TvPathSep();
    for (int place = 0; place < (searchUser ? 2 : 1); place++) {
        for (int i = 0; i < 3; i++) {
            char full[3 * GRAPHICS_PATH_MAX];
            if (place == 0)
                snprintf(full, sizeof full, "%s%s%c%s.%s", g_graphicsPaths.systemArea, subdir, sep, stem,
                         kOrder[order][i]);
            else
                snprintf(full, sizeof full, "%s%s%c%s%c%s.%s", g_graphicsPaths.userArea, g_graphicsPaths.user,
                         sep, subdir, sep, stem, kOrder[order][i]);
            FILE *f = OpenFile(full);
            if (f) {
                if (path && pathSize > 0) snprintf(path, size_t(pathSize), "%s", full);
                return f;
            }
        }
    }
    return nullptr;
}

bool InitGraphicsRead(int reader, FILE *stream, uint32_t offset, int width, int lines, int expansion,
                      int32_t *adjusted, int fillOrder1) {
    if (reader < 0 || reader >= GRAPHICS_READERS) {
        Log(6, "InitGraphicsRead() - invalid FileNum %d", reader);
        return false;
    }
    LineReader *r = &g_reader[reader];
    r->active = 0;
    if (width > int(FAX_MAX_WIDTH)) {
        Log(5, "Graphics file lines too long");
        return false;
    }
    if (width <= 0 || lines < 0 || expansion == 0) return false;
    r->bytes = (width + 7) / 8;
    r->expansion = expansion;
    r->linesLeft = lines;
    r->repeat = 0;
    r->blank = 1;
    r->corruptLogged = 0;
    memset(r->line, 0, sizeof r->line);
    MhInitDecoder(&r->dec, stream, offset, uint16_t(width), uint16_t(lines));
    r->dec.msbFirst = fillOrder1 ? 1 : 0;
    r->active = 1;
    if (adjusted) {
        int e = expansion;
        *adjusted = e >= 1 ? int32_t(lines) * e : (int32_t(lines) - e - 1) / -e;
    }
    return true;
}

bool ReadGraphicsLine(int reader, unsigned char *line, int *blank) {
    if (reader < 0 || reader >= GRAPHICS_READERS) {
        Log(6, "ReadGraphicsLine() - invalid FileNum %d", reader);
        return false;
    }
    LineReader *r = &g_reader[reader];
    if (!r->active) {
        memset(line, 0, GRAPHICS_LINE_BYTES);
        *blank = 1;
        return true;
    }
    if (r->repeat > 0) {
        r->repeat--;
    } else {
        int res = DecodeNext(r, r->line);
        r->blank = res != 1;
        if (res >= 0) {
            if (r->expansion >= 1) {
                r->repeat = r->expansion - 1;
            } else {
                unsigned char more[GRAPHICS_LINE_BYTES];
                for (int i = 1; i < -r->expansion && r->linesLeft > 0; i++) {
                    int m = DecodeNext(r, more);
                    if (m < 0) break;
                    if (m == 1) {
                        for (int b = 0; b < r->bytes; b++) r->line[b] |= more[b];
                        r->blank = 0;
                    }
                }
            }
        }
    }
    memset(line, 0, GRAPHICS_LINE_BYTES);
    memcpy(line, r->line, size_t(r->bytes));
    *blank = r->blank;
    return true;
}

int32_t GraphicsLinesLeft(int reader) {
    if (reader < 0 || reader >= GRAPHICS_READERS || !g_reader[reader].active) return 0;
    const LineReader *r = &g_reader[reader];
    int32_t more = r->linesLeft;
    if (r->expansion >= 1) return more * r->expansion + r->repeat;
    int e = -r->expansion;
    return (more + e - 1) / e;
}

void EndGraphicsRead(int reader) {
    if (reader >= 0 && reader < GRAPHICS_READERS) g_reader[reader].active = 0;
}

int StartGraphicsPage(int reader, FILE *stream, int wantLpi, int *width, int32_t *adjusted) {
    TiffHeader header;
    if (fseek(stream, 0, SEEK_SET) != 0 || !ReadTiffHeader(stream, &header)) return 1;
    if (CheckTiffHeader(&header) != 0) return 2;
    TiffIfd ifd;
    uint16_t xres = 0, yres = 0;
    if (fseek(stream, long(header.firstIfd), SEEK_SET) != 0 || !ReadTiffIfd(stream, &ifd, &xres, &yres)) return 1;
    // Data stored most significant bit first is read as such rather than
    // refused: the decoder reverses it.
    int fillOrder1 = ifd.entry[TE_FILLORDER].value == 1;
    TiffIfd check = ifd;
    check.entry[TE_FILLORDER].value = 2;
    if (CheckFaxIfd(&check) != 0) return 2;
    int e = CalcReadExpansion(yres, wantLpi); // a missing or zero resolution gives 0
    if (e == 0) return 2;
    int w = int(ifd.entry[TE_WIDTH].value);
    if (!InitGraphicsRead(reader, stream, ifd.entry[TE_STRIPOFFSETS].value, w, int(ifd.entry[TE_LENGTH].value), e,
                          adjusted, fillOrder1))
        return 3;
    g_reader[reader].dec.dataSize = ifd.entry[TE_STRIPBYTES].value;
    if (width) *width = w;
    return 0;
}

TvStatus InsertGraphicsFile(const char *name) {
    CloseInsertPicture();
    int fine = g_raster.fine;
    FILE *f = OpenGraphicsFile(1, "T-GRAPH", name, fine ? RES_FINE : RES_NORMAL);
    if (!f) {
        Log(5, "Can't find graphics file '%s'", name);
        return g_raster.error = TV_E_CONV_INSERT;
    }
    int width = 0;
    int res = StartGraphicsPage(1, f, fine ? 200 : 100, &width, nullptr);
    if (res != 0) {
        if (res == 1)
            Log(5, "Could not read graphics file: %s", name);
        else if (res == 2)
            Log(5, "Invalid format graphics file: %s", name);
        else
            Log(5, "Error initialising graphics file: %s", name);
        fclose(f);
        return g_raster.error = TV_E_CONV_INSERT;
    }
    g_picture.file = f;
    // The picture starts where the next character would: x plus the page
    // offset (the left margin), as glyphs are placed.
    g_picture.column = g_raster.offset + g_raster.x;
    g_picture.width = width;
    // The picture starts on the current line: the top offset's white rows,
    // when not yet written, leave through the merge first.
    g_picture.skip = RasterCurrentRow() - g_raster.rowsOnPage;
    g_raster.hasContent = 1;
    return TV_OK;
}

int InsertActive(void) { return g_picture.file != nullptr; }

void CloseInsertPicture(void) {
    if (g_picture.file) fclose(g_picture.file);
    g_picture.file = nullptr;
    EndGraphicsRead(1);
}

void GraphicsInsertMerge(void *, unsigned char *bandRow) {
    if (!g_picture.file) return;
    if (g_picture.skip > 0) {
        g_picture.skip--;
        return;
    }
    if (GraphicsLinesLeft(1) <= 0) {
        CloseInsertPicture();
        return;
    }
    unsigned char line[GRAPHICS_LINE_BYTES];
    int blank;
    if (!ReadGraphicsLine(1, line, &blank)) {
        CloseInsertPicture();
        return;
    }
    if (blank) return;
    const int bandPixels = RASTER_ROW_BYTES * 8;
    for (int i = 0; i < g_picture.width; i++) {
        int p = g_picture.column + i;
        if (p >= bandPixels) break;
        if (p >= 0 && (line[i >> 3] & (0x80 >> (i & 7)))) bandRow[p >> 3] |= static_cast<unsigned char>(0x80 >> (p & 7));
    }
}

void GraphicsBackgroundMerge(void *, unsigned char *pageRow) {
    if (!g_reader[0].active) return;
    unsigned char line[GRAPHICS_LINE_BYTES];
    int blank;
    if (!ReadGraphicsLine(0, line, &blank) || blank) return;
    for (int i = 0; i < GRAPHICS_LINE_BYTES; i++) pageRow[i] |= line[i];
}
