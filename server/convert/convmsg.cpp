// Conversion of a message. See convmsg.h.
#include "server/convert/convmsg.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "common/ctlfile.h"
#include "common/faxtiff.h"
#include "common/fmtdetect.h"
#include "common/formats.h"
#include "common/platform.h"
#include "server/convert/epson.h"
#include "server/convert/graphics.h"
#include "server/convert/raster.h"
#include "server/convert/textcmd.h"
#include "server/runtime/mhencode.h"
#include "server/runtime/rtclock.h"
#include "server/runtime/sharedopen.h"
#include "server/runtime/srvlog.h"
#include "server/runtime/sysparams.h"

ConvSettings g_convSettings;

namespace {

const int16_t kOpenRetry = 10; // seconds a file held by another program is retried

const ConvFormat kDestFormats[] = {
    {"G3N", RES_NORMAL, 100},
    {"G3F", RES_FINE, 200},
    {"G3S", RES_SUPERFINE, 400},
};

// Languages that use the Eastern European font set.
const char *const kEasternLanguages[] = {"TRK", "PLK", "CSY", "SKY", "HUN"};

int (*g_poll)(void);
uint32_t g_lastPause;

// The running conversion.
struct Conversion {
    ConvJob job;
    const ConvFormat *fmt;
    char outDir[CONV_PATH_MAX];     // <user area><user>\T-OUT\ .
    char fmtDir[CONV_PATH_MAX];     // outDir<fmt>\ .
    ConvDetails details;
    char coversheet[CONV_COVER_NAME_MAX + 1];
    char letterhead[CONV_COVER_NAME_MAX + 1];
    int knownA, knownT;             // from the conversion record
    int written;                    // highest page index written plus one
    int addrPages;                  // addressee page count found in this run
    AppendList attach;              // APPEND names and Attach: lines
    FILE *control;                  // the control file, for the variables
    int eastern;                    // Eastern European font set wanted
};
Conversion g_conv;

void LogHook(int level, const char *text) { LogMessage(level, "%s", text); }

int Upper(int c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

void UpperCopy(char *out, const char *in, size_t size) {
    size_t i = 0;
    for (; in[i] && i + 1 < size; i++) out[i] = char(Upper((unsigned char)in[i]));
    out[i] = 0;
}

// Builds a path; false (and a log line) when it does not fit.
bool MakePath(char *out, size_t size, const char *fmt, ...) TV_LOG_FORMAT(3, 4);
bool MakePath(char *out, size_t size, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(out, size, fmt, ap);
    va_end(ap);
    if (n < 0 || size_t(n) >= size) {
        LogMessage(5, "Path too long: %.60s...", out);
        out[0] = 0;
        return false;
    }
    return true;
}

// A pause of DelayTime after every DelayInterval of work.
void Yield(void) {
    if (g_convSettings.delayTime <= 0) return;
    uint32_t now = RtTickMs();
    if (now - g_lastPause < uint32_t(g_convSettings.delayInterval)) return;
    RtSleepMs(uint32_t(g_convSettings.delayTime));
    g_lastPause = RtTickMs();
}

// The packet reader: non-zero when the conversion is to stop.
int Poll(void) {
    Yield();
    return g_poll ? g_poll() : 0;
}

int RasterPoll(void *) { return Poll(); }

FILE *GraphicsOpen(const char *path) { return OpenFileShared(kOpenRetry, path, "rb"); }

void PagePath(char *out, size_t size, int page) {
    MakePath(out, size, "%s%s.P%02d", g_conv.fmtDir, g_conv.job.message, page % 100);
}

// ---------------------------------------------------------------- backgrounds
// A fax graphics file merged under pages: a letterhead or a coversheet
// background. Each page takes the file's next page; the last one is used
// again for every further page.
struct Background {
    FILE *file;
    int reader;            // graphics line reader
    int lpi;               // lines per inch wanted
    int opened;            // header read
    uint32_t nextIfd;      // next page's directory, 0 when none is left
    uint32_t lastIfd;      // the page used last
    int32_t lines;         // lines of the current page after scaling
};

TvStatus BackgroundFail(const char *what) {
    LogMessage(5, "%s", what);
    return TV_E_CONV_BACKGROUND;
}

// Starts the reader on the background's next page.
TvStatus BackgroundNextPage(Background *bg) {
    if (!bg->opened) {
        TiffHeader h;
        if (fseek(bg->file, 0, SEEK_SET) != 0 || !ReadTiffHeader(bg->file, &h))
            return BackgroundFail("Could not read background file (ReadTiffHeader)");
        if (CheckTiffHeader(&h) != 0) return BackgroundFail("Wrong format of background file");
        bg->nextIfd = h.firstIfd;
        bg->opened = 1;
    }
    uint32_t at = bg->nextIfd ? bg->nextIfd : bg->lastIfd;
    TiffIfd ifd;
    uint16_t xres = 0, yres = 0;
    if (at == 0 || fseek(bg->file, long(at), SEEK_SET) != 0 || !ReadTiffIfd(bg->file, &ifd, &xres, &yres))
        return BackgroundFail("Could not read background file (ReadTiffDir)");
    int fill1 = ifd.entry[TE_FILLORDER].value == 1;
    TiffIfd check = ifd;
    check.entry[TE_FILLORDER].value = 2;
    int e = CalcReadExpansion(yres, bg->lpi); // 0 for a missing or zero resolution
    if (CheckFaxIfd(&check) != 0 || e == 0) return BackgroundFail("Wrong format of background file");
    if (!InitGraphicsRead(bg->reader, bg->file, ifd.entry[TE_STRIPOFFSETS].value, int(ifd.entry[TE_WIDTH].value),
                          int(ifd.entry[TE_LENGTH].value), e, &bg->lines, fill1))
        return BackgroundFail("Could not read background file (InitGraphicsRead)");
    bg->lastIfd = at;
    // A chain that points back at this page ends here.
    bg->nextIfd = ifd.nextIfd == at ? 0 : ifd.nextIfd;
    return TV_OK;
}

void BackgroundClose(Background *bg) {
    if (bg->file) fclose(bg->file);
    bg->file = nullptr;
    EndGraphicsRead(bg->reader);
}

// ---------------------------------------------------------------- intermediate pages
// Rows are coded into a buffer that is appended to the file when full and
// at the page end: one write for many rows instead of a seek and a write
// per row.
enum : size_t { kCodedBuffer = 16 * MH_ROW_CODE_SIZE };

struct PageOut {
    FILE *file;
    FaxPageState state;
    int whiteAfter;        // one white row follows the rendered ones
    int atEnd;             // the stream stands at the end of the file
    size_t used;           // bytes waiting in coded
    unsigned char coded[kCodedBuffer];
    // The last row coded and its code without the final EOL: every row's
    // code starts on a byte of its own, so a row equal to the one before
    // (white space, vertical strokes) takes the same bytes again.
    int lastBytes;         // 0: none yet
    size_t lastLength;
    unsigned char lastRow[RASTER_PAGE_BYTES];
    unsigned char lastCode[MH_ROW_CODE_SIZE];
};

TvStatus FlushCoded(PageOut *p) {
    if (p->used == 0) return TV_OK;
    // Only the first flush seeks: later ones follow their own data. A seek
    // on a stream open for reading and writing costs a read of the file's
    // last block each time.
    if (!p->atEnd && fseek(p->file, 0, SEEK_END) != 0) return TV_E_CONV_WRITE;
    p->atEnd = 1;
    if (fwrite(p->coded, 1, p->used, p->file) != p->used) return TV_E_CONV_WRITE;
    p->used = 0;
    return TV_OK;
}

// Appends one row (null: none) of an intermediate page; at the page end
// the page's directory is completed (its single page is also the last).
TvStatus PageRow(PageOut *p, const unsigned char *row, int bytes, int end) {
    if (row) {
        if (bytes < 0 || bytes > RASTER_PAGE_BYTES) return TV_E_CONV_WRITE;
        if (p->used + MH_ROW_CODE_SIZE > sizeof p->coded && FlushCoded(p) != TV_OK) return TV_E_CONV_WRITE;
        unsigned char *code = p->coded + p->used;
        size_t n;
        if (bytes > 0 && bytes == p->lastBytes && memcmp(row, p->lastRow, size_t(bytes)) == 0) {
            n = p->lastLength;
            memcpy(code, p->lastCode, n);
        } else {
            n = MhEncodeRow(row, uint16_t(bytes * 8), 0, code);
            if (n == 0 || n > sizeof p->lastCode) return TV_E_CONV_WRITE;
            p->lastBytes = bytes;
            p->lastLength = n;
            memcpy(p->lastRow, row, size_t(bytes));
            memcpy(p->lastCode, code, n);
        }
        if (end) { // the final EOL, as the encoder's end flag writes it
            code[n++] = 0x00;
            code[n++] = 0x08;
        }
        p->used += n;
        p->state.rows++;
        p->state.bytes += uint32_t(n);
    }
    if (!end) return TV_OK;
    if (FlushCoded(p) != TV_OK) return TV_E_CONV_WRITE;
    p->atEnd = 0; // the directory update moves the stream
    return WriteTiffFaxRow(p->file, &p->state, nullptr, uint16_t(bytes), 1, 1) == 0 ? TV_OK : TV_E_CONV_WRITE;
}

TvStatus PageWriteRow(void *ctx, const unsigned char *row, int bytes, int end) {
    PageOut *p = static_cast<PageOut *>(ctx);
    static const unsigned char kWhite[RASTER_PAGE_BYTES] = {0};
    if (end && p->whiteAfter) {
        if (PageRow(p, row, bytes, 0) != TV_OK) return TV_E_CONV_WRITE;
        row = kWhite;
    }
    return PageRow(p, row, bytes, end);
}

// Creates intermediate page file `page` with an empty page directory.
TvStatus CreatePageFile(int page, PageOut *out, int lpi, char *path, size_t size) {
    memset(out, 0, sizeof *out);
    PagePath(path, size, page);
    out->file = OpenFileShared(kOpenRetry, path, "w+b");
    if (!out->file) {
        LogMessage(5, "Could not create file: %s", path);
        return TV_E_CONV_PAGEFILE;
    }
    if (StartTiffFaxFile(out->file, &out->state, RASTER_PAGE_PIXELS, uint16_t(lpi)) != 0) {
        LogMessage(5, "Could not initialise intermediate Page file");
        fclose(out->file);
        out->file = nullptr;
        TvPlatRemove(path);
        return TV_E_CONV_WRITE;
    }
    return TV_OK;
}

TvStatus ClosePageFile(PageOut *out, const char *path, bool keep) {
    TvStatus st = TV_OK;
    if (out->file) {
        if (fflush(out->file) != 0 || ferror(out->file)) {
            if (keep) LogMessage(5, "Could not write to intermediate Page file");
            st = TV_E_CONV_WRITE;
        }
        fclose(out->file);
        out->file = nullptr;
    }
    if (!keep || st != TV_OK) TvPlatRemove(path);
    return st;
}

// Removes the intermediate pages of the message in the format folder: a
// failed conversion leaves none behind.
void RemoveIntermediatePages(void) {
    for (int p = 0; p < 100; p++) {
        char path[CONV_PATH_MAX];
        PagePath(path, sizeof path, p);
        if (path[0] && TvPlatFileExists(path)) TvPlatRemove(path);
    }
}

void NotePagesWritten(int next) {
    if (next > g_conv.written) g_conv.written = next;
    g_conv.details.pagesWritten = g_conv.written;
}

// ---------------------------------------------------------------- text and EPSON documents
int ReadDocByte(void *ctx) { return fgetc(static_cast<FILE *>(ctx)); }

// Sets the raster up for a document: fonts of the resolution, geometry of
// the source kind, printer state.
TvStatus SetUpRenderer(int kind) {
    RasterReset();
    RasterSetLogHook(LogHook);
    EpsonSetLogHook(LogHook);
    TextCmdSetLogHook(LogHook);
    GraphicsSetLogHook(LogHook);
    GraphicsSetOpenHook(GraphicsOpen);
    EpsonSetYieldHook(Yield);
    EpsonSetRemoveDither(g_convSettings.removeDither);
    MakePath(g_rasterSettings.fontDir, sizeof g_rasterSettings.fontDir, "%sT-DB%c", g_sysParams.systemArea,
             TvPathSep());
    RasterSetResolution(g_conv.fmt->resCode);
    SelectFontSet(g_conv.eastern);
    SetImageDensVars(kind);
    if (LoadFontSize(FONTSIZE_PICA) != TV_OK) {
        LogMessage(5, "Could not open epson font file");
        return TV_E_CONV_FONT;
    }
    EpsonStartStream();
    if (g_raster.error) {
        LogMessage(5, "Could not open epson font file");
        return TV_E_CONV_FONT;
    }
    return TV_OK;
}

// Renders a text or EPSON document from page `first`, at most `limit`
// pages (-1: no limit), with a background or none. Gives the pages written
// and the addressee pages (pages up to the last one that used an addressee
// field).
TvStatus ConvertTextFile(FILE *doc, int16_t format, int first, int limit, Background *bg, int *pages,
                         int *addrPages) {
    *pages = 0;
    *addrPages = 0;
    if (limit >= 0 && first + limit > CONV_LAST_PAGE) {
        LogMessage(5, "Too many pages to convert");
        return TV_E_CONV_PAGES;
    }
    // Streams of the fax printer driver begin with ESC DEL and have their
    // own geometry. A PostScript document that reached the converter would
    // be rendered as a printer stream too: the queue never sends one.
    unsigned char head[2] = {0, 0};
    size_t got = fread(head, 1, 2, doc);
    fseek(doc, 0, SEEK_SET);
    int kind = GEOM_EPSON;
    if (format == FMT_ASCII)
        kind = GEOM_ASCII;
    else if (EpsonIsDriverStream(head, int(got)))
        kind = GEOM_DRIVER;
    TvStatus st = SetUpRenderer(kind);
    if (st != TV_OK) return st;

    TextScanner scan;
    TextScannerInit(&scan, doc, ReadDocByte, g_conv.control, &g_conv.details, &g_conv.attach);
    int page = first;
    int ended = 0;
    while (!ended && (limit < 0 || *pages < limit)) {
        if (page > CONV_LAST_PAGE) {
            LogMessage(5, "Too many pages to convert");
            st = TV_E_CONV_PAGES;
            break;
        }
        char path[CONV_PATH_MAX];
        PageOut out;
        st = CreatePageFile(page, &out, g_conv.fmt->lpi, path, sizeof path);
        if (st != TV_OK) break;
        int minRows = 0;
        if (bg) {
            st = BackgroundNextPage(bg);
            if (st != TV_OK) {
                ClosePageFile(&out, path, false);
                break;
            }
            minRows = int(bg->lines);
        }
        if (Poll()) {
            ClosePageFile(&out, path, false);
            st = TV_E_CONV_ABORT;
            break;
        }
        out.whiteAfter = limit >= 0 && *pages + 1 == limit;
        RasterOutput ro = {&out, PageWriteRow, bg ? GraphicsBackgroundMerge : nullptr, GraphicsInsertMerge,
                           RasterPoll};
        RasterSetOutput(&ro);
        g_conv.details.currentPage = page;
        g_conv.details.pagesWritten = g_conv.written;
        RasterPageResult res;
        st = RenderStreamPage(&scan, minRows, &res);
        RasterSetOutput(nullptr);
        ended = res.inputEnded;
        if (st != TV_OK) {
            if (st != TV_E_CONV_ABORT) LogMessage(5, "Error converting page");
            ClosePageFile(&out, path, false);
            break;
        }
        if (res.rows == 0) { // nothing drawn: the document has ended
            ClosePageFile(&out, path, false);
            break;
        }
        st = ClosePageFile(&out, path, true);
        if (st != TV_OK) break;
        ++*pages;
        if (!res.common) *addrPages = *pages;
        ++page;
        NotePagesWritten(page);
    }
    CloseInsertPicture();
    if (bg) EndGraphicsRead(bg->reader);
    FreeLandBuf();
    return st;
}

// ---------------------------------------------------------------- fax TIFF documents
TvStatus TiffFail(const char *fmt, bool attachment) {
    LogMessage(5, fmt, attachment ? "append" : "message");
    return attachment ? TV_E_CONV_ATTACHTIFF : TV_E_CONV_TIFF;
}

// Copies one page's coded data unchanged into an intermediate page.
TvStatus CopyCodedPage(FILE *src, const TiffIfd &ifd, PageOut *out) {
    uint32_t bytes = ifd.entry[TE_STRIPBYTES].value;
    TiffIfd o;
    InitFaxIfd(&o, RASTER_PAGE_PIXELS);
    o.entry[TE_LENGTH].value = ifd.entry[TE_LENGTH].value;
    o.entry[TE_ROWSPERSTRIP].value = ifd.entry[TE_LENGTH].value;
    o.entry[TE_STRIPBYTES].value = bytes;
    o.nextIfd = 0;
    uint16_t lpi = uint16_t(g_conv.fmt->lpi);
    if (fseek(out->file, 0, SEEK_SET) != 0) return TV_E_CONV_WRITE;
    TiffHeader h;
    InitTiffHeader(&h);
    if (!WriteTiffHeader(out->file, &h) || fseek(out->file, long(h.firstIfd), SEEK_SET) != 0 ||
        !WriteTiffIfd(out->file, &o, FaxXResolution(lpi), lpi)) {
        LogMessage(5, "Could not write to intermediate Page file");
        return TV_E_CONV_WRITE;
    }
    if (fseek(src, long(ifd.entry[TE_STRIPOFFSETS].value), SEEK_SET) != 0) return TV_E_CONV_TIFF;
    unsigned char block[FAX_BLOCK_SIZE];
    int chunks = 0;
    while (bytes > 0) {
        size_t n = bytes < sizeof block ? bytes : sizeof block;
        if (fread(block, 1, n, src) != n) return TV_E_CONV_TIFF;
        if (fwrite(block, 1, n, out->file) != n) {
            LogMessage(5, "Could not write to intermediate Page file");
            return TV_E_CONV_WRITE;
        }
        bytes -= uint32_t(n);
        if (++chunks % 10 == 0) Yield();
    }
    return TV_OK;
}

// Decodes a page line by line at the destination resolution, ORs the
// background in and codes it again.
TvStatus RecodePage(FILE *src, const TiffIfd &ifd, int e, int fill1, Background *bg, PageOut *out) {
    int32_t lines = 0;
    if (!InitGraphicsRead(0, src, ifd.entry[TE_STRIPOFFSETS].value, int(ifd.entry[TE_WIDTH].value),
                          int(ifd.entry[TE_LENGTH].value), e, &lines, fill1))
        return TV_E_CONV_TIFF;
    int32_t rows = lines;
    if (bg) {
        TvStatus st = BackgroundNextPage(bg);
        if (st != TV_OK) return st;
        if (bg->lines > rows) rows = bg->lines;
    }
    if (rows < 1) rows = 1;
    unsigned char line[GRAPHICS_LINE_BYTES], back[GRAPHICS_LINE_BYTES];
    for (int32_t r = 0; r < rows; r++) {
        int blank = 1;
        memset(line, 0, sizeof line);
        if (GraphicsLinesLeft(0) > 0) ReadGraphicsLine(0, line, &blank);
        if (bg && GraphicsLinesLeft(bg->reader) > 0) {
            ReadGraphicsLine(bg->reader, back, &blank);
            if (!blank)
                for (int i = 0; i < GRAPHICS_LINE_BYTES; i++) line[i] |= back[i];
        }
        int last = r == rows - 1;
        if (PageRow(out, line, GRAPHICS_LINE_BYTES, last) != TV_OK) {
            LogMessage(5, "Could not write to intermediate Page file");
            return TV_E_CONV_WRITE;
        }
        if (r % 5 == 4) Yield();
    }
    EndGraphicsRead(0);
    if (bg) EndGraphicsRead(bg->reader);
    return TV_OK;
}

// Copies the pages of a fax TIFF file (a document or an attachment) from
// page `first`, at most `limit` pages (-1: no limit). Pages of the
// destination resolution without a background keep their coded data.
TvStatus CopyTiffPages(FILE *src, int first, int limit, Background *bg, bool attachment, int *pages) {
    *pages = 0;
    TiffHeader h;
    if (fseek(src, 0, SEEK_SET) != 0 || !ReadTiffHeader(src, &h))
        return TiffFail("Could not read TIFF %s file header", attachment);
    if (CheckTiffHeader(&h) != 0) return TiffFail("Wrong format of TIFF %s file", attachment);
    uint32_t next = h.firstIfd;
    int page = first;
    int visited = 0;
    while (next != 0 && (limit < 0 || *pages < limit)) {
        if (++visited > int(FAX_MAX_IFDS)) break; // a chain of empty directories that loops
        if (Poll()) return TV_E_CONV_ABORT;
        TiffIfd ifd;
        uint16_t xres = 0, yres = 0;
        uint32_t at = next;
        if (fseek(src, long(at), SEEK_SET) != 0 || !ReadTiffIfd(src, &ifd, &xres, &yres))
            return TiffFail("Could not read TIFF %s file", attachment);
        next = ifd.nextIfd == at ? 0 : ifd.nextIfd;
        if (ifd.entry[TE_LENGTH].value == 0 || ifd.entry[TE_STRIPBYTES].value == 0) continue; // no image data
        int fill1 = ifd.entry[TE_FILLORDER].value == 1;
        TiffIfd check = ifd;
        check.entry[TE_FILLORDER].value = 2;
        if (CheckFaxIfd(&check) != 0) return TiffFail("Wrong format TIFF %s file", attachment);
        int e = CalcReadExpansion(yres, g_conv.fmt->lpi);
        if (e == 0) return TiffFail("Invalid Format TIFF %s file", attachment);
        if (page > CONV_LAST_PAGE) {
            LogMessage(5, "Too many pages to convert");
            return TV_E_CONV_PAGES;
        }
        char path[CONV_PATH_MAX];
        PageOut out;
        TvStatus st = CreatePageFile(page, &out, g_conv.fmt->lpi, path, sizeof path);
        if (st != TV_OK) return st;
        bool copy = yres == g_conv.fmt->lpi && !bg && !fill1 && ifd.entry[TE_WIDTH].value == RASTER_PAGE_PIXELS;
        st = copy ? CopyCodedPage(src, ifd, &out) : RecodePage(src, ifd, e, fill1, bg, &out);
        if (st == TV_E_CONV_TIFF) {
            ClosePageFile(&out, path, false);
            return TiffFail("Error reading from TIFF %s file", attachment);
        }
        if (st != TV_OK) {
            ClosePageFile(&out, path, false);
            return st;
        }
        st = ClosePageFile(&out, path, true);
        if (st != TV_OK) return st;
        ++*pages;
        ++page;
        NotePagesWritten(page);
    }
    return TV_OK;
}

// ---------------------------------------------------------------- documents
void NoteAddresseePages(int count) {
    if (count > g_conv.addrPages) g_conv.addrPages = count;
}

TvStatus ProcessMessageFiles(int first, bool secondPass) {
    int last = -1; // no limit
    if (secondPass) {
        const ConvDetails &d = g_conv.details;
        int n = g_conv.written > g_conv.knownT ? g_conv.written : g_conv.knownT;
        if (d.markPage >= 0 && d.markCount != n)
            last = d.markPage;
        else if (d.prevMarkPage >= 0 && d.prevMarkCount != n)
            last = d.prevMarkPage;
        else
            return TV_OK;
        if (last < first) return TV_OK; // the count stood on the coversheet
        LogMessage(3, "Message page %d contains page count - reconverting", last - first + 1);
    } else if (g_conv.knownT > 0) {
        // The common pages exist: only this addressee's pages are rendered.
        if (g_conv.knownA <= first) return TV_OK;
        last = g_conv.knownA - 1;
    }

    Background letter = {nullptr, 0, 0, 0, 0, 0, 0};
    if (g_conv.letterhead[0]) {
        letter.file = OpenGraphicsFile(0, "T-LETTER", g_conv.letterhead, g_conv.fmt->resCode);
        if (!letter.file) {
            LogMessage(5, "Letterhead file %s not found", g_conv.letterhead);
            return TV_E_CONV_NOLETTER;
        }
    }
    TvStatus st = TV_OK;
    int current = first;
    for (int i = 0; i < 1000; i++) {
        if (last >= 0 && current > last) break;
        char path[CONV_PATH_MAX];
        if (i == 0)
            MakePath(path, sizeof path, "%s%s.%s", g_conv.outDir, g_conv.job.message, g_conv.job.source);
        else
            MakePath(path, sizeof path, "%s%s.%.03d", g_conv.outDir, g_conv.job.message, i);
        FILE *doc = path[0] ? OpenFileShared(kOpenRetry, path, "rb") : nullptr;
        if (!doc) {
            if (i == 0) {
                LogMessage(5, "Could not open message file: %s", path);
                st = TV_E_CONV_NOMSG;
            }
            break;
        }
        if (i > 0) LogMessage(3, "Processing message file %d", i + 1);
        int16_t format = 0;
        int det = DetectFileFormat(doc, &format);
        if (det != 0) {
            LogMessage(5, "Invalid format message file: %s (0x%X)", path, unsigned(uint16_t(det)));
            fclose(doc);
            st = TV_E_CONV_NOMSG;
            break;
        }
        fseek(doc, 0, SEEK_SET);
        int limit = last < 0 ? -1 : last - current + 1;
        Background *bg = (i == 0 && letter.file) ? &letter : nullptr;
        int pages = 0, addr = 0;
        if (format == FMT_TIFF_NORMAL || format == FMT_TIFF_FINE || format == FMT_TIFF_SUPERFINE) {
            // Reader 0 serves the copied page, reader 1 its letterhead, both
            // at the destination resolution.
            if (bg) bg->reader = 1, bg->lpi = g_conv.fmt->lpi;
            st = CopyTiffPages(doc, current, limit, bg, false, &pages);
        } else {
            // Text pages are rendered at 100 or 200 lines per inch (G3S
            // writes each row twice); the background is read likewise.
            if (bg) bg->reader = 0, bg->lpi = g_conv.fmt->resCode == RES_NORMAL ? 100 : 200;
            st = ConvertTextFile(doc, format, current, limit, bg, &pages, &addr);
        }
        fclose(doc);
        if (addr > 0) NoteAddresseePages(current + addr);
        NotePagesWritten(current + pages);
        current += pages;
        if (st != TV_OK) break;
    }
    BackgroundClose(&letter);
    return st;
}

TvStatus ProcessAttachments(int first) {
    if (g_conv.knownT > 0 && first >= g_conv.knownA) return TV_OK;
    char path[CONV_PATH_MAX];
    MakePath(path, sizeof path, "%s%s.CTL", g_conv.outDir, g_conv.job.message);
    FILE *f = OpenFileShared(kOpenRetry, path, "rb");
    if (!f) {
        LogMessage(5, "File not found: %s", path);
        return TV_E_CONV_NOCTL;
    }
    char line[TV_LINE_SIZE];
    int32_t pos;
    if (FindParagraph(f, "[OPTIONS]", line, sizeof line, &pos)) {
        char name[TV_LINE_SIZE];
        while (GetStringEntry(f, "Attach:", name, sizeof name, 0)) {
            if (!name[0]) continue;
            AppendListAdd(&g_conv.attach, name, "Attach");
        }
    }
    fclose(f);
    int last = g_conv.knownT > 0 ? g_conv.knownA - 1 : -1;
    int current = first;
    for (int i = 0; i < g_conv.attach.count; i++) {
        if (last >= 0 && current > last) break;
        const char *name = g_conv.attach.names[i];
        FILE *g = OpenGraphicsFile(1, "T-GRAPH", name, g_conv.fmt->resCode);
        if (!g) {
            LogMessage(5, "Can't open graphics file '%s'", name);
            return TV_E_CONV_NOATTACH;
        }
        int pages = 0;
        TvStatus st = CopyTiffPages(g, current, last < 0 ? -1 : last - current + 1, nullptr, true, &pages);
        fclose(g);
        NotePagesWritten(current + pages);
        current += pages;
        if (st != TV_OK) {
            LogMessage(5, "Error appending file '%s'", name);
            return st;
        }
    }
    return TV_OK;
}

TvStatus WriteWhitePage(int page) {
    char path[CONV_PATH_MAX];
    PageOut out;
    TvStatus st = CreatePageFile(page, &out, g_conv.fmt->lpi, path, sizeof path);
    if (st != TV_OK) return st;
    int rows = g_conv.fmt->resCode == RES_NORMAL ? 50 + 1056 : 100 + 2112;
    if (g_conv.fmt->resCode == RES_SUPERFINE) rows *= 2;
    static const unsigned char kWhite[RASTER_PAGE_BYTES] = {0};
    for (int r = 0; r < rows && st == TV_OK; r++)
        if (PageRow(&out, kWhite, RASTER_PAGE_BYTES, r == rows - 1) != TV_OK)
            st = TV_E_CONV_WRITE;
    if (st != TV_OK) LogMessage(5, "Could not write to intermediate Page file");
    TvStatus cl = ClosePageFile(&out, path, st == TV_OK);
    return st != TV_OK ? st : cl;
}

TvStatus ProcessCoversheet(void) {
    char path[CONV_PATH_MAX];
    MakePath(path, sizeof path, "%sT-COVER%c%s.EPN", g_sysParams.systemArea, TvPathSep(), g_conv.coversheet);
    FILE *f = path[0] ? OpenFileShared(kOpenRetry, path, "rb") : nullptr;
    if (!f) {
        LogMessage(5, "Coversheet file not found");
        return TV_E_CONV_NOCOVER;
    }
    Background back = {nullptr, 0, g_conv.fmt->resCode == RES_NORMAL ? 100 : 200, 0, 0, 0, 0};
    back.file = OpenGraphicsFile(0, "T-COVER", g_conv.coversheet, g_conv.fmt->resCode);
    int pages = 0, addr = 0;
    TvStatus st = ConvertTextFile(f, FMT_EPSON, 0, 1, back.file ? &back : nullptr, &pages, &addr);
    fclose(f);
    BackgroundClose(&back);
    if (st == TV_OK && pages == 0) {
        // A coversheet with nothing on it still takes page 0, which the
        // documents leave free: a white page of the EPSON page length.
        st = WriteWhitePage(0);
        if (st == TV_OK) pages = 1;
    }
    if (addr > 0) NoteAddresseePages(1);
    if (pages > 0) NotePagesWritten(1);
    return st;
}

// ---------------------------------------------------------------- control file and record
TvStatus ControlMissing(const char *what) {
    LogMessage(5, "Control file %s", what);
    return TV_E_CONV_CTLDATA;
}

TvStatus ReadMessageControl(void) {
    char path[CONV_PATH_MAX];
    MakePath(path, sizeof path, "%s%s.CTL", g_conv.outDir, g_conv.job.message);
    FILE *f = path[0] ? OpenFileShared(kOpenRetry, path, "rb") : nullptr;
    if (!f) {
        LogMessage(5, "File not found: %s", path);
        return TV_E_CONV_NOCTL;
    }
    ConvDetails &d = g_conv.details;
    char line[TV_LINE_SIZE];
    int32_t pos = 0;
    TvStatus st = TV_OK;
    if (!FindParagraph(f, "[MESSAGE]", line, sizeof line, &pos))
        st = ControlMissing("[MESSAGE] para missing");
    else if (!GetStringEntry(f, "Accepted:", d.accepted, sizeof d.accepted, pos))
        st = ControlMissing("[MESSAGE] Accepted: line missing");
    else if (fseek(f, 0, SEEK_SET) != 0 || !FindParagraph(f, "[OPTIONS]", line, sizeof line, &pos))
        st = ControlMissing("[OPTIONS] para missing");
    else if (!GetStringEntry(f, "From:", d.from, sizeof d.from, pos))
        st = ControlMissing("[OPTIONS] From: line missing");
    else if (!GetStringEntry(f, "Coversheet:", g_conv.coversheet, sizeof g_conv.coversheet, pos))
        st = ControlMissing("[OPTIONS] Coversheet: line missing");
    else if (!GetStringEntry(f, "Letterhead:", g_conv.letterhead, sizeof g_conv.letterhead, pos))
        st = ControlMissing("[OPTIONS] Letterhead: line missing");
    if (st == TV_OK) {
        GetStringEntry(f, "FromTelephone:", d.fromTelephone, sizeof d.fromTelephone, pos);
        GetStringEntry(f, "FromFax:", d.fromFax, sizeof d.fromFax, pos);
        GetStringEntry(f, "FromEmail:", d.fromEmail, sizeof d.fromEmail, pos);
        GetStringEntry(f, "FromParam:", d.fromParam, sizeof d.fromParam, pos);
    }
    fclose(f);
    return st;
}

// Reads A and T of the destination's paragraph (the last one, when a
// common file was recreated and the paragraph written again).
TvStatus ReadCvtFile(void) {
    char path[CONV_PATH_MAX];
    MakePath(path, sizeof path, "%s%s.CVT", g_conv.outDir, g_conv.job.message);
    FILE *f = path[0] ? OpenFileShared(kOpenRetry, path, "r+b") : nullptr;
    if (!f) {
        LogMessage(5, "Unable to open file '%s'", path);
        return TV_E_CONV_NOCVT;
    }
    int found = 0, a = 0, t = 0;
    int ok = ReadCvtPages(f, g_conv.fmt->name, &found, &a, &t);
    fclose(f);
    g_conv.knownA = g_conv.knownT = 0;
    if (!found) return TV_OK;
    if (!ok) {
        LogMessage(5, "Pages count format in .CVT file invalid");
        return TV_E_CONV_CVTFMT;
    }
    char common[CONV_PATH_MAX];
    MakePath(common, sizeof common, "%s%s.%s", g_conv.fmtDir, g_conv.job.message, g_conv.fmt->name);
    if (!TvPlatFileExists(common)) {
        LogMessage(4, "Recreating converted file %s.%s", g_conv.job.message, g_conv.fmt->name);
        return TV_OK;
    }
    g_conv.knownA = a;
    g_conv.knownT = t;
    return TV_OK;
}

void WriteCvtFile(int addressee, int total) {
    char path[CONV_PATH_MAX];
    MakePath(path, sizeof path, "%s%s.CVT", g_conv.outDir, g_conv.job.message);
    FILE *f = path[0] ? OpenFileShared(kOpenRetry, path, "ab") : nullptr;
    if (!f) {
        LogMessage(5, "Unable to open CVT File");
        return;
    }
    const char *para = g_conv.fmt->resCode == RES_NORMAL ? "[G3N]"
                       : g_conv.fmt->resCode == RES_FINE ? "[G3F]"
                       : g_conv.fmt->resCode == RES_SUPERFINE ? "[G3S]" : "[???]";
    fprintf(f, "\r\n%s\r\nPages: %.3d/%.3d\r\n", para, addressee, total);
    if (fclose(f) != 0) LogMessage(5, "Unable to open CVT File");
}

// ---------------------------------------------------------------- joining
// Joins intermediate pages first..first+count-1 of pageDir into one TIFF
// file; each is deleted once copied. No pages: the header and one empty
// directory of width 1728.
// The pages' coded data moves in large blocks (a page is read and written
// in a few calls) through a buffer of its own, and the output stream has a
// large buffer too, so that a directory and its data go out together.
unsigned char g_joinBlock[64 * 1024];
char g_joinOutBuffer[64 * 1024];

TvStatus JoinPages(const char *pageDir, int first, int count, const char *outPath, int lpi) {
    FILE *out = OpenFileShared(kOpenRetry, outPath, "w+b");
    if (!out) {
        LogMessage(5, "Could not create message file: %s", outPath);
        return TV_E_CONV_CREATE;
    }
    setvbuf(out, g_joinOutBuffer, _IOFBF, sizeof g_joinOutBuffer);
    TvStatus st = TV_OK;
    TiffHeader h;
    InitTiffHeader(&h);
    uint32_t pos = 0;
    if (!WriteTiffHeader(out, &h)) st = TV_E_CONV_WRITE;
    pos = h.firstIfd;
    if (st == TV_OK && count == 0) {
        TiffIfd ifd;
        InitFaxIfd(&ifd, RASTER_PAGE_PIXELS);
        if (fseek(out, long(pos), SEEK_SET) != 0 || !WriteTiffIfd(out, &ifd, FaxXResolution(uint16_t(lpi)), uint16_t(lpi)))
            st = TV_E_CONV_WRITE;
    }
    for (int p = first; st == TV_OK && p < first + count; p++) {
        char path[CONV_PATH_MAX];
        MakePath(path, sizeof path, "%s%s.P%02d", pageDir, g_conv.job.message, p % 100);
        FILE *in = OpenFileShared(kOpenRetry, path, "rb");
        if (!in) {
            LogMessage(5, "Could not open file: %s", path);
            st = TV_E_CONV_PAGEFILE;
            break;
        }
        TiffHeader ih;
        TiffIfd ifd;
        uint16_t xres = 0, yres = 0;
        if (!ReadTiffHeader(in, &ih) || CheckTiffHeader(&ih) != 0 || fseek(in, long(ih.firstIfd), SEEK_SET) != 0 ||
            !ReadTiffIfd(in, &ifd, &xres, &yres)) {
            LogMessage(5, "Could not read intermediate Page file");
            fclose(in);
            st = TV_E_CONV_PAGEREAD;
            break;
        }
        uint32_t bytes = ifd.entry[TE_STRIPBYTES].value;
        uint32_t data = ifd.entry[TE_STRIPOFFSETS].value; // the write below moves it to the output's
        // The last page ends the chain; every other points behind its data.
        ifd.nextIfd = p == first + count - 1 ? 0 : pos + TIFF_IFD_BLOCK + bytes;
        // Pages follow one another: the stream is normally at pos already,
        // and a needless seek would read the output's last block back.
        if ((ftell(out) != long(pos) && fseek(out, long(pos), SEEK_SET) != 0) || !WriteTiffIfd(out, &ifd, xres, yres)) {
            LogMessage(5, "Could not write to message file");
            fclose(in);
            st = TV_E_CONV_WRITE;
            break;
        }
        if (fseek(in, long(data), SEEK_SET) != 0) st = TV_E_CONV_PAGEREAD;
        uint32_t left = bytes;
        while (st == TV_OK && left > 0) {
            size_t n = left < sizeof g_joinBlock ? left : sizeof g_joinBlock;
            unsigned char *block = g_joinBlock;
            if (fread(block, 1, n, in) != n) {
                LogMessage(5, "Could not read from intermediate Page file");
                st = TV_E_CONV_PAGEREAD;
            } else if (fwrite(block, 1, n, out) != n) {
                LogMessage(5, "Could not write to message file");
                st = TV_E_CONV_WRITE;
            }
            left -= uint32_t(n);
        }
        fclose(in);
        if (st != TV_OK) break;
        TvPlatRemove(path);
        pos += TIFF_IFD_BLOCK + bytes;
    }
    if (fclose(out) != 0 && st == TV_OK) {
        LogMessage(5, "Could not write to message file");
        st = TV_E_CONV_WRITE;
    }
    return st;
}

// Makes a folder that is missing (the format subfolders of T-OUT).
void EnsureFolder(const char *dir) {
    char path[CONV_PATH_MAX];
    snprintf(path, sizeof path, "%s", dir);
    size_t n = strlen(path);
    if (n > 1 && (path[n - 1] == '\\' || path[n - 1] == '/')) path[n - 1] = 0;
    if (!TvPlatFileExists(path) && TvPlatMakeDir(path)) LogMessage(3, "Created folder %s", path);
}

void EndConversion(void) {
    if (g_conv.control) fclose(g_conv.control);
    g_conv.control = nullptr;
    RasterSetOutput(nullptr);
    CloseInsertPicture();
    EndGraphicsRead(0);
    EndGraphicsRead(1);
    FreeLandBuf();
}

// A file name part without a folder: not empty, no separator, colon or
// leading dot.
bool PlainName(const char *name) {
    if (!name[0] || name[0] == '.') return false;
    for (const char *p = name; *p; p++)
        if (*p == '\\' || *p == '/' || *p == ':') return false;
    return true;
}

bool IsEastern(const char *language) {
    for (const char *l : kEasternLanguages) {
        int i = 0;
        while (l[i] && Upper((unsigned char)language[i]) == l[i]) i++;
        if (!l[i] && !language[i]) return true;
    }
    return false;
}

TvStatus ConvertSteps(void) {
    TvStatus st = ReadMessageControl();
    if (st != TV_OK) return st;
    st = ReadCvtFile();
    if (st != TV_OK) return st;
    g_conv.details.knownTotal = g_conv.knownT;

    char path[CONV_PATH_MAX];
    MakePath(path, sizeof path, "%s%s.CTL", g_conv.outDir, g_conv.job.message);
    g_conv.control = OpenFileShared(kOpenRetry, path, "rb");
    EnsureFolder(g_conv.fmtDir);

    memset(&g_conv.attach, 0, sizeof g_conv.attach);
    g_conv.written = 0;
    g_conv.addrPages = 0;
    int first = g_conv.coversheet[0] ? 1 : 0;
    st = ProcessMessageFiles(first, false);
    if (st != TV_OK) return st;
    int next = g_conv.written > first ? g_conv.written : first;
    st = ProcessAttachments(next);
    if (st != TV_OK) return st;
    // A coversheet the addressee file does not hold is not rendered again.
    if (g_conv.coversheet[0] && !(g_conv.knownT > 0 && g_conv.knownA == 0)) {
        st = ProcessCoversheet();
        if (st != TV_OK) return st;
    }
    if (g_conv.written == 0 && g_conv.knownT == 0) {
        LogMessage(5, "No pages in message");
        return TV_E_CONV_NOPAGES;
    }
    if (first < g_conv.written) {
        st = ProcessMessageFiles(first, true);
        if (st != TV_OK) return st;
    }

    // The common pages begin where the record says once they exist.
    int addr = g_conv.knownT > 0 ? g_conv.knownA : g_conv.addrPages;
    if (addr > g_conv.written && g_conv.knownT == 0) addr = g_conv.written;
    char out[CONV_PATH_MAX];
    MakePath(out, sizeof out, "%s%s.%.03d", g_conv.fmtDir, g_conv.job.message, g_conv.job.addressee);
    st = JoinPages(g_conv.fmtDir, 0, addr, out, g_conv.fmt->lpi);
    if (st != TV_OK) return st;
    if (g_conv.knownT == 0) {
        MakePath(out, sizeof out, "%s%s.%s", g_conv.fmtDir, g_conv.job.message, g_conv.fmt->name);
        st = JoinPages(g_conv.fmtDir, addr, g_conv.written - addr, out, g_conv.fmt->lpi);
        if (st != TV_OK) return st;
        WriteCvtFile(addr, g_conv.written);
    }
    return TV_OK;
}

} // namespace

// ---------------------------------------------------------------- public
char ConvPathSeparator(void) { return TvPathSep(); }

void ConvSetPollHook(int (*poll)(void)) { g_poll = poll; }

void ConvDefaultSettings(void) {
    memset(&g_convSettings, 0, sizeof g_convSettings);
    g_convSettings.delayInterval = 200;
    g_convSettings.delayTime = 100;
    char fontDir[sizeof g_rasterSettings.fontDir];
    memcpy(fontDir, g_rasterSettings.fontDir, sizeof fontDir);
    memset(&g_rasterSettings, 0, sizeof g_rasterSettings);
    memcpy(g_rasterSettings.fontDir, fontDir, sizeof fontDir);
    g_rasterSettings.extendedChars = 1;
    g_rasterSettings.asciiTopMargin = 4;
    g_rasterSettings.asciiBottomMargin = 2;
    g_rasterSettings.asciiFormLength = 72;
}

const ConvFormat *FindDestFormat(const char *name) {
    for (const ConvFormat &f : kDestFormats) {
        int i = 0;
        while (f.name[i] && Upper((unsigned char)name[i]) == f.name[i]) i++;
        if (!f.name[i] && !name[i]) return &f;
    }
    return nullptr;
}

int ReadCvtPages(FILE *cvt, const char *format, int *found, int *addressee, int *total) {
    char para[8];
    snprintf(para, sizeof para, "[%.3s]", format);
    char line[TV_LINE_SIZE];
    char value[9] = "";
    int32_t pos;
    *found = 0;
    while (FindParagraph(cvt, para, line, sizeof line, &pos)) {
        // The value is kept to 8 characters; a longer one stays invalid.
        if (GetStringEntry(cvt, "Pages:", value, sizeof value, 0)) *found = 1;
    }
    return *found ? ParseCvtPages(value, addressee, total) : 0;
}

int ParseCvtPages(const char *value, int *addressee, int *total) {
    int v[2] = {0, 0};
    const char *p = value;
    for (int part = 0; part < 2; part++) {
        int digits = 0;
        while (*p >= '0' && *p <= '9') {
            if (++digits > 3) return 0;
            v[part] = v[part] * 10 + (*p++ - '0');
        }
        if (digits == 0) return 0;
        if (part == 0 && *p++ != '/') return 0;
    }
    if (*p) return 0;
    *addressee = v[0];
    *total = v[1];
    return 1;
}

TvStatus ConvertMessage(const ConvJob *job) {
    memset(&g_conv, 0, sizeof g_conv);
    g_conv.job = *job;
    g_conv.fmt = FindDestFormat(job->dest);
    if (!g_conv.fmt) {
        LogMessage(5, "Unsupported destination file format");
        return TV_E_CONV_DESTFMT;
    }
    const char sep = TvPathSep();
    if (!MakePath(g_conv.outDir, sizeof g_conv.outDir, "%s%s%cT-OUT%c", g_sysParams.allUserArea, job->user, sep, sep) ||
        !MakePath(g_conv.fmtDir, sizeof g_conv.fmtDir, "%s%s%c", g_conv.outDir, g_conv.fmt->name, sep))
        return TV_E_CONV_ARGS;
    ConvDetailsInit(&g_conv.details);
    ConvDetails &d = g_conv.details;
    snprintf(d.longPicture, sizeof d.longPicture, "%s", g_convSettings.longPicture);
    snprintf(d.shortPicture, sizeof d.shortPicture, "%s", g_convSettings.shortPicture);
    d.hasMsgId = job->hasMsgId;
    d.msgId = job->msgId;
    d.addressee = job->addressee;
    g_conv.eastern = IsEastern(g_sysParams.language);
    snprintf(g_graphicsPaths.systemArea, sizeof g_graphicsPaths.systemArea, "%s", g_sysParams.systemArea);
    snprintf(g_graphicsPaths.userArea, sizeof g_graphicsPaths.userArea, "%s", g_sysParams.allUserArea);
    snprintf(g_graphicsPaths.user, sizeof g_graphicsPaths.user, "%s", job->user);
    TvStatus st = ConvertSteps();
    EndConversion();
    if (st != TV_OK) RemoveIntermediatePages();
    return st;
}

TvStatus RenderTopLine(const char *message, const char *format) {
    memset(&g_conv, 0, sizeof g_conv);
    // Any format but G3N and G3F counts as G3S.
    const ConvFormat *fmt = FindDestFormat(format);
    g_conv.fmt = fmt && fmt->resCode != RES_SUPERFINE ? fmt : FindDestFormat("G3S");
    snprintf(g_conv.job.message, sizeof g_conv.job.message, "%s", message);
    char dir[CONV_PATH_MAX], in[CONV_PATH_MAX], out[CONV_PATH_MAX];
    if (!MakePath(dir, sizeof dir, "%sT-TEMP%c", g_sysParams.serverArea, TvPathSep()) ||
        !MakePath(in, sizeof in, "%s%s.EPN", dir, message) ||
        !MakePath(out, sizeof out, "%s%s.%s", dir, message, g_conv.fmt->name))
        return TV_E_CONV_TOPLINE;
    snprintf(g_conv.fmtDir, sizeof g_conv.fmtDir, "%s", dir);
    FILE *f = OpenFileShared(kOpenRetry, in, "rb");
    if (!f) {
        LogMessage(5, "Could not open file %s", in);
        return TV_E_CONV_TOPLINE;
    }
    g_conv.eastern = IsEastern(g_sysParams.language);
    ConvDetailsInit(&g_conv.details);
    TvStatus st = SetUpRenderer(GEOM_HEADER);
    int pages = 0;
    if (st == TV_OK) {
        // One rendered line per page: the page is one text line high.
        g_raster.pageLength = g_raster.lineHeight;
        EpsonStartStream();
        TextScanner scan;
        TextScannerInit(&scan, f, ReadDocByte, nullptr, nullptr, nullptr);
        for (int ended = 0; !ended && st == TV_OK;) {
            if (pages > CONV_LAST_PAGE) {
                LogMessage(5, "Too many pages to convert");
                st = TV_E_CONV_PAGES;
                break;
            }
            char path[CONV_PATH_MAX];
            PageOut po;
            st = CreatePageFile(pages, &po, g_conv.fmt->lpi, path, sizeof path);
            if (st != TV_OK) break;
            RasterOutput ro = {&po, PageWriteRow, nullptr, nullptr, RasterPoll};
            RasterSetOutput(&ro);
            RasterPageResult res;
            st = RenderStreamPage(&scan, 0, &res);
            RasterSetOutput(nullptr);
            ended = res.inputEnded;
            if (st != TV_OK || res.rows == 0) {
                ClosePageFile(&po, path, false);
                break;
            }
            st = ClosePageFile(&po, path, true);
            if (st == TV_OK) pages++;
        }
    }
    fclose(f);
    if (st == TV_OK) st = JoinPages(dir, 0, pages, out, g_conv.fmt->lpi);
    FreeLandBuf();
    if (st != TV_OK) {
        LogMessage(5, "Error writing Topline file");
        if (st != TV_E_CONV_ABORT) st = TV_E_CONV_TOPLINE;
    }
    return st;
}

TvStatus RunConversion(int argc, char **argv) {
    if (argc < CONV_MIN_ARGS || !argv) {
        LogMessage(5, "Too few arguments");
        return TV_E_CONV_ARGS;
    }
    if (strcmp(argv[1], "*") == 0) {
        char msg[CONV_NAME_MAX + 1], fmt[CONV_FMT_MAX + 1];
        if (strlen(argv[2]) > CONV_NAME_MAX || strlen(argv[4]) > CONV_FMT_MAX) {
            LogMessage(5, "Parameters too long");
            return TV_E_CONV_ARGS;
        }
        if (!PlainName(argv[2])) {
            LogMessage(5, "Invalid parameters");
            return TV_E_CONV_ARGS;
        }
        UpperCopy(msg, argv[2], sizeof msg);
        UpperCopy(fmt, argv[4], sizeof fmt);
        return RenderTopLine(msg, fmt);
    }
    if (strlen(argv[1]) > CONV_NAME_MAX || strlen(argv[2]) > CONV_NAME_MAX || strlen(argv[3]) > CONV_FMT_MAX ||
        strlen(argv[4]) > CONV_FMT_MAX) {
        LogMessage(5, "Parameters too long");
        return TV_E_CONV_ARGS;
    }
    // The names become parts of paths: a name that would leave the user's
    // folder, and an addressee number without three digits, are refused.
    char *end = nullptr;
    long addressee = strtol(argv[5], &end, 10);
    if (!PlainName(argv[1]) || !PlainName(argv[2]) || !PlainName(argv[3]) || end == argv[5] || addressee < 0 ||
        addressee > 999) {
        LogMessage(5, "Invalid parameters");
        return TV_E_CONV_ARGS;
    }
    ConvJob job;
    memset(&job, 0, sizeof job);
    UpperCopy(job.user, argv[1], sizeof job.user);
    UpperCopy(job.message, argv[2], sizeof job.message);
    UpperCopy(job.source, argv[3], sizeof job.source);
    UpperCopy(job.dest, argv[4], sizeof job.dest);
    job.addressee = int(addressee);
    if (argc > 6) {
        unsigned long v = strtoul(argv[6], &end, 16);
        if (end != argv[6]) {
            job.hasMsgId = 1;
            job.msgId = uint32_t(v);
        }
    }
    LogMessage(3, "Converting %s: %s (Addr %d), %s -> %s", job.user, job.message, job.addressee, job.source, job.dest);
    SetLogJobContext("", job.message, job.msgId, int16_t(job.addressee), 0);
    TvStatus st = ConvertMessage(&job);
    if (st == TV_OK)
        LogMessage(3, "Conversion complete");
    else
        LogMessage(3, "Conversion failed (error 0x%X)", st);
    ClearLogJobContext();
    return st;
}
