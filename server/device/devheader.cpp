// Page header lines: the text composed from the job's header flags and the
// header file, one line rendered per page with the converter's bitmap fonts.
#include <cstring>

#include "common/formats.h"
#include "common/sharedfile.h"
#include "server/convert/raster.h"
#include "server/device/devctl.h"
#include "server/device/devheader.h"
#include "server/runtime/mhencode.h"
#include "server/runtime/sharedopen.h"
#include "server/runtime/srvdate.h"
#include "server/runtime/srvlog.h"
#include "server/runtime/sysparams.h"

enum { HDR_MAX_ROWS = 64 };

static int Append(char *out, size_t size, size_t *len, const char *piece)
{
    size_t n = std::strlen(piece);
    if (*len + n + 1 > size)
        return 0;
    std::memcpy(out + *len, piece, n + 1);
    *len += n;
    return 1;
}

int BuildHeaderText(const HeaderTextInput *in, char *out, size_t size, int *pageDigits)
{
    char piece[128];
    size_t len = 0;
    out[0] = 0;
    *pageDigits = 0;
    const char *sender = in->sender ? in->sender : "";
    const char *recipient = in->recipient ? in->recipient : "";
    piece[0] = HDR_CODE_START;
    piece[1] = ' ';
    piece[2] = 0;
    int ok = Append(out, size, &len, piece);
    if (in->flags & DEV_HDR_DATE) {
        char date[30];
        if (FormatDateByPicture(in->datePicture ? in->datePicture : "dd-MMM-yy", date, sizeof date, in->now.year,
                                in->now.month, in->now.day, in->now.hour, in->now.minute, in->now.second) &&
            date[0]) {
            std::snprintf(piece, sizeof piece, "%s  ", date);
            ok = ok && Append(out, size, &len, piece);
        }
    }
    if (in->flags & DEV_HDR_TIME) {
        std::snprintf(piece, sizeof piece, "%.2d:%.2d  ", in->now.hour, in->now.minute);
        ok = ok && Append(out, size, &len, piece);
    }
    if ((in->flags & DEV_HDR_STATION) && in->phoneNum && in->phoneNum[0]) {
        std::snprintf(piece, sizeof piece, "%c%.20s  ", HDR_CODE_NUMBER, in->phoneNum);
        ok = ok && Append(out, size, &len, piece);
    }
    if ((in->flags & DEV_HDR_STATION) && in->stationName && in->stationName[0]) {
        char name[31];
        std::snprintf(name, sizeof name, "%.30s", in->stationName);
        size_t n = std::strlen(name);
        while (n > 0 && name[n - 1] == ' ')
            name[--n] = 0;
        if (n) {
            std::snprintf(piece, sizeof piece, "%s  ", name);
            ok = ok && Append(out, size, &len, piece);
        }
    }
    if (in->flags & DEV_HDR_STATION) {
        if (in->flags & DEV_HDR_RECIPIENT)
            std::snprintf(piece, sizeof piece, "%.30s%c%c%.30s  ", sender, HDR_CODE_FROM, HDR_CODE_TO, recipient);
        else
            std::snprintf(piece, sizeof piece, "%.30s%c%c  ", sender, HDR_CODE_FROM, HDR_CODE_TO);
        ok = ok && Append(out, size, &len, piece);
    } else if (in->flags & DEV_HDR_RECIPIENT) {
        std::snprintf(piece, sizeof piece, "%c%c %.30s  ", HDR_CODE_FROM, HDR_CODE_TO, recipient);
        ok = ok && Append(out, size, &len, piece);
    }
    if (in->flags & DEV_HDR_PAGES)
        *pageDigits = in->totalPages <= 9 ? 1 : in->totalPages <= 99 ? 2 : 3;
    if (!ok) {
        out[0] = 0;
        *pageDigits = 0;
        return 0;
    }
    // Nothing beyond the leading code: no header.
    if (len <= 2 && *pageDigits == 0)
        out[0] = 0;
    return 1;
}

void HeaderTextForPage(const char *base, int pageDigits, uint16_t page, uint16_t total, char *out, size_t size)
{
    if (pageDigits <= 0) {
        std::snprintf(out, size, "%s", base);
        return;
    }
    int digits = pageDigits > 3 ? 3 : pageDigits;
    unsigned p = page % 1000u, t = total % 1000u;
    if (digits == 1)
        std::snprintf(out, size, "%.240s%01u/%01u", base, p, t);
    else if (digits == 2)
        std::snprintf(out, size, "%.240s%02u/%02u", base, p, t);
    else
        std::snprintf(out, size, "%.240s%03u/%03u", base, p, t);
}

// ---------------------------------------------------------------- rendering
struct RowSink {
    unsigned char *rows;
    int max;
    int count;
};

static TvStatus SinkRow(void *ctx, const unsigned char *row, int bytes, int endOfPage)
{
    RowSink *s = static_cast<RowSink *>(ctx);
    if (s->count >= s->max)
        return 0;
    std::memset(s->rows + s->count * RASTER_PAGE_BYTES, 0, RASTER_PAGE_BYTES);
    std::memcpy(s->rows + s->count * RASTER_PAGE_BYTES, row, bytes < RASTER_PAGE_BYTES ? bytes : RASTER_PAGE_BYTES);
    ++s->count;
    return 0;
}

static void RasterLog(int level, const char *text) { LogMessage(level, "%s", text); }

static int s_fontsReady = -1;   // resolution the fonts were loaded for, -1 none
static int s_fontSet;           // 0 default, 1 Eastern European

uint16_t RenderHeaderRows(const char *text, int fine, unsigned char *rows, int maxRows, int *rowCount)
{
    *rowCount = 0;
    RowSink sink{rows, maxRows, 0};
    RasterOutput out{};
    out.ctx = &sink;
    out.writeRow = SinkRow;
    if (s_fontsReady != fine) {
        RasterReset();
        g_raster.fontSet = s_fontSet;
        RasterSetLogHook(RasterLog);
        RasterSetResolution(fine ? RES_FINE : RES_NORMAL);
        SetImageDensVars(GEOM_HEADER);
        if (LoadFontSize(FONTSIZE_ELITE) != 0)
            return DEV_FILE_ERROR;
        s_fontsReady = fine;
    }
    RasterSetOutput(&out);
    RasterStartPage();
    for (const char *p = text; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == HDR_CODE_START || c == HDR_CODE_NUMBER)
            continue;           // markers of where pieces start
        if (c == HDR_CODE_FROM || c == HDR_CODE_TO)
            c = ' ';            // the gap between sender and recipient
        if (c < 32)
            continue;
        WriteChar(c);
    }
    OutputLine(g_raster.lineHeight);
    RasterSetOutput(nullptr);
    *rowCount = sink.count;
    return g_raster.error ? DEV_FILE_ERROR : 0;
}

// Chooses the font set (Eastern European for the languages that need it)
// and points the raster at the fonts; 1 when a set is there.
static int LoadHeaderFonts(int fine)
{
    if (!DevJoinPath(g_rasterSettings.fontDir, sizeof g_rasterSettings.fontDir, g_sysParams.serverArea, "T-DB\\")) {
        LogMessage(4, "Font files not installed correctly");
        return 0;
    }
    const char *lang = g_sysParams.language;
    int eastern = !std::strcmp(lang, "TRK") || !std::strcmp(lang, "PLK") || !std::strcmp(lang, "CSY") ||
                  !std::strcmp(lang, "SKY") || !std::strcmp(lang, "HUN");
    char path[400];
    std::snprintf(path, sizeof path, "%s%s", g_rasterSettings.fontDir, FontFileName(0, FAMILY_ELIT, FONT_FULL, fine));
    FILE *a = OpenFileShared(0, path, "rb");
    std::snprintf(path, sizeof path, "%s%s", g_rasterSettings.fontDir, FontFileName(1, FAMILY_ELIT, FONT_FULL, fine));
    FILE *b = OpenFileShared(0, path, "rb");
    int haveDefault = a != nullptr, haveEastern = b != nullptr;
    if (a)
        std::fclose(a);
    if (b)
        std::fclose(b);
    if (!haveDefault && !haveEastern) {
        LogMessage(4, "Font files not installed correctly");
        return 0;
    }
    int set = eastern ? 1 : 0;
    if (eastern && !haveEastern) {
        LogMessage(4, "Eastern European fonts missing - using default set");
        set = 0;
    } else if (!eastern && !haveDefault) {
        LogMessage(4, "Default fonts missing - using Eastern European set");
        set = 1;
    }
    if (set != s_fontSet)
        s_fontsReady = -1;
    s_fontSet = set;
    return 1;
}

uint16_t RenderFaxPageHeader(const DevHeaderRequest *req, char *outPath, size_t pathSize)
{
    outPath[0] = 0;
    const DevOptions *o = DevGetOptions();
    HeaderTextInput in{};
    in.flags = req->flags;
    in.totalPages = req->totalPages;
    in.sender = req->sender;
    in.recipient = req->recipient;
    in.phoneNum = o->phoneNum;
    in.stationName = "";
    in.datePicture = g_dev.dateShort;
    RtLocalTime(&in.now);
    char base[HDR_TEXT_SIZE];
    int digits = 0;
    if (!BuildHeaderText(&in, base, sizeof base, &digits)) {
        LogMessage(5, "Unable to create Header format");
        return DEV_FILE_ERROR;
    }
    if (!base[0])
        return 0;

    int fine = req->format == 6 || req->format == 7;
    if (!LoadHeaderFonts(fine))
        return DEV_FILE_ERROR;
    const char *ext = FormatName(static_cast<int16_t>(req->format));
    if (!ext)
        ext = "G3N";
    char dir[DEV_PATH_SIZE + 20];
    std::snprintf(dir, sizeof dir, "%sT-TEMP\\", g_sysParams.serverArea);
    char name[TV_TEMPNAME_SIZE];
    if (MakeTempName("TOPL", ext, dir, name) != 0) {
        LogMessage(5, "Unable to create Header file %s*.%s", dir, ext);
        return DEV_FILE_ERROR;
    }
    char path[DEV_PATH_SIZE + 40];
    DevJoinPath(path, sizeof path, dir, name);
    FILE *f = OpenFileShared(OPEN_RETRY_DEFAULT, path, "w+b");
    if (!f) {
        LogMessage(5, "Error opening file %s", path);
        DevDeleteFile(path);
        return DEV_FILE_ERROR;
    }
    uint16_t yres = req->format == 7 ? 391 : fine ? 196 : 98;
    FaxPageState page{};
    int ok = StartTiffFaxFile(f, &page, 1728, yres) == 0;
    if (!ok)
        LogMessage(5, "Error initialising file %s", path);
    static unsigned char rows[HDR_MAX_ROWS * RASTER_PAGE_BYTES];
    uint16_t total = req->totalPages ? req->totalPages : 1;
    for (uint16_t p = 1; ok && p <= total; ++p) {
        char text[HDR_TEXT_SIZE + 16];
        HeaderTextForPage(base, digits, p, total, text, sizeof text);
        int count = 0;
        if (RenderHeaderRows(text, fine, rows, HDR_MAX_ROWS, &count) != 0 || count == 0) {
            ok = 0;
            break;
        }
        for (int i = 0; ok && i < count; ++i) {
            int end = i == count - 1;
            if (WriteTiffFaxRow(f, &page, rows + i * RASTER_PAGE_BYTES, RASTER_PAGE_BYTES, end, end && p == total) !=
                0) {
                LogMessage(5, "Error writing to Tiff header file");
                ok = 0;
            }
        }
    }
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) {
        LogMessage(5, "Unable to create Header file (2)");
        DevDeleteFile(path);
        return DEV_FILE_ERROR;
    }
    std::snprintf(outPath, pathSize, "%s", path);
    return 0;
}
