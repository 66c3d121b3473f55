#include "client/shell/profile.h"

#include <cctype>
#include <cstddef>
#include <cstring>

#include "client/shell/identity.h"
#include "client/shell/shelltext.h"
#include "common/ctlfile.h"
#include "common/formats.h"
#include "common/sharedfile.h"

namespace {

const char kOptions[] = "[OPTIONS]";
const char kProfileType[] = "UserProfile";
const char kSystemType[] = "SystemInit";
const char kDefaultMatch[] = "*.*";
enum : uint16_t {
    LOG_FILE_READ = 0xF802,
    LOG_FILE_OPEN = 0xF804,
    LOG_FILE_WRITE = 0xF80A,
    LOG_MAIL_FORMAT = 0xF80F,
};
enum { DEFAULT_TIDY_AGE = 3, LINE_WITH_CRLF = TV_LINE_SIZE + 2 };


#define COPY(field, src) CopyCut(field, sizeof(field), src)


// The none value of a coversheet or letterhead: "(None)".
void NoneValue(char *out, size_t size) { std::snprintf(out, size, "(%s)", ShellString(90)); }

bool YesOnly(const char *v) { return StartsNoCase(v, "YES"); }
bool NotNo(const char *v) { return !StartsNoCase(v, "NO"); }
const char *YesNo(bool b) { return b ? "YES" : "NO"; }

void Trim(char *s)
{
    size_t lead = 0;
    while (s[lead] == ' ' || s[lead] == '\t')
        ++lead;
    std::memmove(s, s + lead, std::strlen(s + lead) + 1);
    size_t n = std::strlen(s);
    while (n && (s[n - 1] == ' ' || s[n - 1] == '\t'))
        s[--n] = '\0';
}

// device,driver,port; each part trimmed; over-long parts stored empty.
void ReadLocalPrinter(const char *value, TvLocalPrinter *lp)
{
    char buf[TV_LINE_SIZE];
    COPY(buf, value);
    char *parts[3] = {buf, nullptr, nullptr};
    for (int i = 1; i < 3; ++i) {
        char *comma = std::strchr(parts[i - 1], ',');
        if (!comma)
            break;
        *comma = '\0';
        parts[i] = comma + 1;
    }
    const size_t limits[3] = {TV_PRINTER_PART_MAX, TV_DRIVER_MAX, TV_PRINTER_PART_MAX};
    char *outs[3] = {lp->device, lp->driver, lp->port};
    char none[1] = {'\0'};
    for (int i = 0; i < 3; ++i) {
        char *part = parts[i] ? parts[i] : none;
        Trim(part);
        if (std::strlen(part) > limits[i])
            part[0] = '\0';
        CopyCut(outs[i], limits[i] + 1, part);
    }
    lp->set = true;
}

void ReadSendTime(const char *value, const TvDateTime &today, TvSendTime *t)
{
    if (StartsNoCase(value, "OFFPEAK")) {
        t->mode = TV_SEND_OFFPEAK;
        return;
    }
    short h, m, s;
    if (std::sscanf(value, "%2hd:%2hd:%2hd", &h, &m, &s) == 3) {
        t->mode = TV_SEND_AT;
        t->hour = h;
        t->minute = m;
        t->second = s;
        t->year = static_cast<int16_t>(today.year - 1900);
        t->month = static_cast<int16_t>(today.month);
        t->day = static_cast<int16_t>(today.day);
        return;
    }
    t->mode = TV_SEND_NOW;
}

struct HeaderCode {
    const char *code;
    int16_t flag;
};
const HeaderCode kHeaderCodes[] = {
    {"No", TV_HEADER_NO}, {"To", TV_HEADER_TO}, {"Fr", TV_HEADER_FR}, {"Da", TV_HEADER_DA}, {"Ti", TV_HEADER_TI},
};

// One key of [OPTIONS]: the value when present (an empty text for an entry
// without value).
bool Key(FILE *f, int32_t para, const char *key, char *value)
{
    return GetStringEntry(f, key, value, TV_LINE_SIZE, para) == 1;
}

void ReadAlerts(FILE *f, int32_t para, TvMessageDefaults *d)
{
    char v[TV_LINE_SIZE];
    if (Key(f, para, "AlertReceive:", v))
        d->alertReceive = NotNo(v);
    if (Key(f, para, "AlertGroupReceive:", v))
        d->alertGroupReceive = NotNo(v);
    else
        d->alertGroupReceive = d->alertReceive;
    if (Key(f, para, "AlertSend:", v))
        d->alertSend = NotNo(v);
    if (Key(f, para, "AlertPreview:", v))
        d->alertPreview = NotNo(v);
    if (Key(f, para, "AlertFail:", v))
        d->alertFail = NotNo(v);
}

// The system parameters by key, with default and range.
enum ParamKind { PARAM_BOOL, PARAM_INT, PARAM_INT_PRINTF };
struct ParamRow {
    const char *para;
    const char *key;
    ParamKind kind;
    size_t offset;
    int defaultValue;
    int minimum, maximum;       // clamp when minimum < maximum
};
#define SP(field) offsetof(TvSystemParams, field)
const ParamRow kParams[] = {
    {"[OPTIONS]", "EnableRouting:", PARAM_BOOL, SP(enableRouting), 1, 0, 0},
    {"[OPTIONS]", "EnableMail:", PARAM_BOOL, SP(enableMail), 1, 0, 0},
    {"[OPTIONS]", "V4:", PARAM_BOOL, SP(v4), 1, 0, 0},
    {"[OPTIONS]", "FullExportFilters:", PARAM_BOOL, SP(fullExportFilters), 0, 0, 0},
    {"[WORKSTATION]", "ViewAskOrganisation:", PARAM_BOOL, SP(viewAskOrganisation), 1, 0, 0},
    {"[WORKSTATION]", "CoverMaxLine:", PARAM_INT, SP(coverMaxLine), 10, 0, 0},
    {"[WORKSTATION]", "CoverLineLen:", PARAM_INT, SP(coverLineLen), 60, 10, 80},
    {"[WORKSTATION]", "MaxMessageRecipients:", PARAM_INT, SP(maxMessageRecipients), 50, 0, 0},
    {"[WORKSTATION]", "SendListEntries:", PARAM_INT_PRINTF, SP(sendListEntries), 250, 0, 0},
    {"[WORKSTATION]", "PreviewAll:", PARAM_BOOL, SP(previewAll), 1, 0, 0},
};
#undef SP

void ApplyParam(FILE *f, int32_t para, const ParamRow &row, TvSystemParams *s)
{
    char *base = reinterpret_cast<char *>(s) + row.offset;
    switch (row.kind) {
    case PARAM_BOOL: {
        int32_t b = row.defaultValue;
        GetBoolEntry(f, row.key, &b, para);
        *reinterpret_cast<bool *>(base) = b != 0;
        break;
    }
    case PARAM_INT: {
        int16_t v = static_cast<int16_t>(row.defaultValue);
        if (GetIntEntry(f, row.key, &v, para) && row.minimum < row.maximum) {
            if (v < row.minimum)
                v = static_cast<int16_t>(row.minimum);
            if (v > row.maximum)
                v = static_cast<int16_t>(row.maximum);
        }
        *reinterpret_cast<int16_t *>(base) = v;
        break;
    }
    case PARAM_INT_PRINTF: {
        char value[TV_LINE_SIZE];
        int n = 0;
        int16_t v = static_cast<int16_t>(row.defaultValue);
        if (GetStringEntry(f, row.key, value, sizeof value, para) == 1 && std::sscanf(value, "%d", &n) == 1)
            v = static_cast<int16_t>(n);
        *reinterpret_cast<int16_t *>(base) = v;
        break;
    }
    }
}

bool FindParagraphFromStart(FILE *f, const char *name, int32_t *pos)
{
    char line[TV_LINE_SIZE];
    std::rewind(f);
    return FindParagraph(f, name, line, sizeof line, pos) == 1;
}

bool PathIn(char *out, size_t size, const char *dir, int subdirId, int nameId)
{
    int n = std::snprintf(out, size, "%s%s%s", dir ? dir : "", subdirId ? ShellString(subdirId) : "",
                          ShellString(nameId));
    return n >= 0 && static_cast<size_t>(n) < size;
}

void ShowPath(const TvProfileContext *ctx, int stringId, const char *path)
{
    char text[400];
    std::snprintf(text, sizeof text, ShellString(stringId), path);
    TvShellBox(ctx->hooks, text, TV_BOX_EXCLAMATION, true);
}

enum { PATH_SIZE = 300 };

// Open, type check, [OPTIONS]; the failures as the two readers report them.
int ReadProfileFile(const TvProfileContext *ctx, const char *path, bool systemFile, const char *cannotRead,
                    TvUserProfile *p, bool *convert)
{
    FILE *f = OpenSharedRetry(path, "rb");
    if (!f) {
        WriteErrorLog(ctx->log, LOG_FILE_READ, systemFile ? "InitSystemDefaultProfile" : "InitUserProfile",
                      cannotRead, path);
        ShowPath(ctx, 43, path);
        return 0;
    }
    const char *function = systemFile ? "InitSystemDefaultProfile" : "InitUserProfile";
    if (!ControlFileHasType(f, kProfileType)) {
        std::fclose(f);
        WriteErrorLog(ctx->log, TV_LOG_ENTRY, function, "File %s is not of type %s", path, kProfileType);
        return 0;
    }
    TvDateTime today;
    TvPlatLocalTime(&today);
    if (!ReadProfileOptions(f, systemFile, ctx->rights, today, p)) {
        std::fclose(f);
        ShowPath(ctx, 47, path);
        WriteErrorLog(ctx->log, TV_LOG_ENTRY, function, "Cannot find [OPTIONS] paragraph in %s", path);
        return 0;
    }
    if (convert) {
        // A file whose first paragraph after the header is [ADDRESSEES] is
        // of the older layout.
        char line[TV_LINE_SIZE];
        std::rewind(f);
        *convert = FindParagraph(f, nullptr, line, sizeof line, nullptr) &&
                   FindParagraph(f, nullptr, line, sizeof line, nullptr) && EqualsNoCase(line, "[ADDRESSEES]");
    }
    std::fclose(f);
    return 1;
}

bool WriteLine(FILE *out, const char *text, bool *wroteAny)
{
    std::fputs(text, out);
    std::fputs("\r\n", out);
    *wroteAny = true;
    return !std::ferror(out);
}

// A blank line before a paragraph, only when something stands before it.
void BlankBefore(FILE *out, bool wroteAny)
{
    if (wroteAny)
        std::fputs("\r\n", out);
}

// An old address line: key, up to 8 letters and digits of the last word of
// the second quoted text, then the rest from the ':'. False: drop it.
bool ConvertAddressLine(const char *line, char *out, size_t size)
{
    const char *colon = std::strchr(line, ':');
    const char *q[4];
    const char *s = line;
    for (int i = 0; i < 4; ++i) {
        q[i] = s ? std::strchr(s, '"') : nullptr;
        if (!q[i])
            return false;
        s = q[i] + 1;
    }
    if (!colon)
        return false;
    // The last word inside the second quoted text.
    const char *end = q[3];
    const char *word = end;
    while (word > q[2] + 1 && word[-1] != ' ')
        --word;
    char id[9];
    size_t n = 0;
    for (const char *c = word; c < end && n < 8; ++c)
        if (std::isalnum(static_cast<unsigned char>(*c)))
            id[n++] = *c;
    id[n] = '\0';
    int w = std::snprintf(out, size, "%.*s%s%s", static_cast<int>(colon - line), line, id, colon);
    if (w < 0 || static_cast<size_t>(w) >= size)
        return false;
    // Cut to a whole line, so that it reads back as written.
    if (std::strlen(out) > TV_LINE_MAX)
        out[TV_LINE_MAX] = '\0';
    return true;
}

bool IsAddressLineToConvert(const char *line)
{
    unsigned char c0 = static_cast<unsigned char>(line[0]);
    return std::isdigit(c0) || ((c0 == 'x' || c0 == 'X') && std::isdigit(static_cast<unsigned char>(line[1])));
}

// Entry lines of the paragraph from the stream's position, which is kept.
int CountEntries(FILE *f)
{
    long here = std::ftell(f);
    char line[TV_LINE_SIZE];
    int n = 0;
    while (ReadControlLine(f, line, sizeof line, nullptr) && !IsParagraphLine(line))
        if (IsEntryLine(line))
            ++n;
    std::clearerr(f);
    std::fseek(f, here, SEEK_SET);
    return n;
}

void WriteOptions(FILE *out, const TvUserProfile *p, bool *wroteAny)
{
    const TvMessageDefaults &d = p->userCopy;
    char line[2 * TV_LINE_SIZE + TV_PRINTER_PART_MAX];
    BlankBefore(out, *wroteAny);
    WriteLine(out, kOptions, wroteAny);
    auto put = [&](const char *key, const char *value) {
        std::snprintf(line, sizeof line, "%s %s", key, value);
        WriteLine(out, line, wroteAny);
    };
    put("From:", p->from);
    put("Telephone:", p->telephone);
    put("Fax:", p->fax);
    put("Email:", p->email);
    put("FromParam:", p->fromParam);
    if (d.coversheet[0] == '(')
        WriteLine(out, "Coversheet:", wroteAny);
    else
        put("Coversheet:", d.coversheet);
    if (d.letterhead[0] == '(')
        WriteLine(out, "Letterhead:", wroteAny);
    else
        put("Letterhead:", d.letterhead);
    put("Priority:", d.priority == TV_PRIORITY_NORMAL   ? "NORMAL"
                     : d.priority == TV_PRIORITY_URGENT ? "URGENT"
                                                        : "BACKGROUND");
    if (d.sendTime.mode == TV_SEND_OFFPEAK) {
        WriteLine(out, "After: OFFPEAK", wroteAny);
    } else if (d.sendTime.mode == TV_SEND_AT) {
        std::snprintf(line, sizeof line, "After: %02d:%02d:%02d", d.sendTime.hour, d.sendTime.minute,
                      d.sendTime.second);
        WriteLine(out, line, wroteAny);
    } else {
        WriteLine(out, "After:", wroteAny);
    }
    char header[16] = "";
    for (const HeaderCode &h : kHeaderCodes)
        if (d.header & h.flag)
            std::strcat(header, h.code);
    put("Header:", header);
    put("Quality:", d.quality == TV_QUALITY_NORMAL ? "NORMAL" : d.quality == TV_QUALITY_HIGH ? "HIGH" : "DRAFT");
    put("FileInformation:", YesNo(p->fileInformation));
    put("MailAddressBook:", YesNo(p->mailAddressBook));
    put("Directory:", p->directory);
    put("Match:", p->match);
    put("AlertReceive:", YesNo(d.alertReceive));
    put("AlertGroupReceive:", YesNo(d.alertGroupReceive));
    put("AlertSend:", YesNo(d.alertSend));
    put("AlertPreview:", YesNo(d.alertPreview));
    put("AlertFail:", YesNo(d.alertFail));
    if (d.scanner[0])
        put("Scanner:", d.scanner);
    if (d.printer[0])
        put("Printer:", d.printer);
    if (p->localPrinter.set) {
        std::snprintf(line, sizeof line, "LocalPrinter: %s,%s,%s", p->localPrinter.device, p->localPrinter.driver,
                      p->localPrinter.port);
        WriteLine(out, line, wroteAny);
    }
    put("Buttons:", p->toolIconRow && p->toolTextRow ? "BOTH"
                    : p->toolIconRow                 ? "ICON"
                    : p->toolTextRow                 ? "TEXT"
                                                     : "NONE");
    put("Status:", YesNo(p->statusBar));
    std::snprintf(line, sizeof line, "ViewerRes: %c",
                  p->viewerRes == TV_VIEWER_RES_O ? 'O' : static_cast<char>('0' + p->viewerRes % 10));
    WriteLine(out, line, wroteAny);
    put("ConfirmOptions:", YesNo(p->confirmOptions));
    put("Window:", p->window == TV_LIST_NEW ? "IN" : p->window == TV_LIST_WAITING ? "OUT" : "FILED");
    put("TidyReceived:", YesNo(p->tidyReceived));
    put("TidySentOK:", YesNo(p->tidySentOk));
    put("TidySentFail:", YesNo(p->tidySentFail));
    put("TidyPreviewed:", YesNo(p->tidyPreviewed));
    std::snprintf(line, sizeof line, "TidyAgeInDays: %d", p->tidyAgeInDays);
    WriteLine(out, line, wroteAny);
}

} // namespace

// A separator as it goes into a printf format: '%' doubled, so that a
// setting of "%" is printed and never read as a conversion.
static void FormatSeparator(char c, char out[3])
{
    out[0] = c;
    out[1] = c == '%' ? '%' : '\0';
    out[2] = '\0';
}

void IntlFormatsFrom(const char *sTime, const char *sShortDate, TvIntlFormats *out)
{
    char timeSep[3];
    FormatSeparator((sTime && sTime[0]) ? sTime[0] : ':', timeSep);
    std::snprintf(out->timeFormat, sizeof out->timeFormat, "%%02d%s%%02d", timeSep);
    char date[TV_LINE_SIZE];
    CopyCut(date, sizeof date, sShortDate ? sShortDate : "yy-mm-dd");
    UpperCase(date);
    out->dateOrder = date[0] == 'D' ? TV_DATE_DMY : date[0] == 'M' ? TV_DATE_MDY : TV_DATE_YMD;
    // Separator 1 ends the first run of D, M and Y; separator 2 follows the
    // D and M letters after it (Y letters are not passed over there).
    const char *p = date;
    while (*p == 'D' || *p == 'M' || *p == 'Y')
        ++p;
    const char sep1 = *p;
    if (*p)
        ++p;
    while (*p == 'D' || *p == 'M')
        ++p;
    const char sep2 = *p;
    char s1[3], s2[3];
    FormatSeparator(sep1, s1);
    FormatSeparator(sep2, s2);
    std::snprintf(out->dateFormat, sizeof out->dateFormat, "%%02d%s%%02d%s%%02d", s1, s2);
}

void SetProfileDefaults(TvUserProfile *p, const char *userName, const char *systemArea)
{
    bool icon = p->toolIconRow, text = p->toolTextRow, status = p->statusBar, read = p->read;
    std::memset(p, 0, sizeof *p);
    p->toolIconRow = icon;
    p->toolTextRow = text;
    p->statusBar = status;
    p->read = read;
    COPY(p->from, userName ? userName : "");
    TvMessageDefaults &d = p->systemCopy;
    NoneValue(d.coversheet, sizeof d.coversheet);
    NoneValue(d.letterhead, sizeof d.letterhead);
    d.priority = TV_PRIORITY_NORMAL;
    d.quality = TV_QUALITY_NORMAL;
    d.sendTime.mode = TV_SEND_NOW;
    d.sendTime.today = 1;
    p->userCopy = d;
    p->fileInformation = true;
    p->mailAddressBook = false;
    std::snprintf(p->directory, sizeof p->directory, "%s%s", systemArea ? systemArea : "", ShellString(32));
    p->viewerRes = TV_VIEWER_RES_DEFAULT;
    p->confirmOptions = true;
    p->window = TV_LIST_FILED;
    p->tidyReceived = p->tidySentOk = p->tidySentFail = p->tidyPreviewed = true;
    p->tidyAgeInDays = DEFAULT_TIDY_AGE;
}

bool ControlFileHasType(FILE *f, const char *type)
{
    char line[TV_LINE_SIZE];
    char value[TV_LINE_SIZE];
    int32_t pos = 0;
    std::rewind(f);
    bool ok = FindParagraph(f, nullptr, line, sizeof line, &pos) &&
              GetStringEntry(f, "Type:", value, sizeof value, pos) == 1 && EqualsNoCase(value, type);
    std::rewind(f);
    return ok;
}

int ReadProfileOptions(FILE *f, bool systemFile, int32_t rights, const TvDateTime &today, TvUserProfile *p)
{
    int32_t para = 0;
    if (!FindParagraphFromStart(f, kOptions, &para))
        return 0;
    TvMessageDefaults &d = systemFile ? p->systemCopy : p->userCopy;
    char v[TV_LINE_SIZE];
    if (!systemFile && Key(f, para, "From:", v))
        COPY(p->from, v);
    if (Key(f, para, "Telephone:", v))
        COPY(p->telephone, v);
    if (Key(f, para, "Fax:", v))
        COPY(p->fax, v);
    if (Key(f, para, "Email:", v))
        COPY(p->email, v);
    if (Key(f, para, "FromParam:", v))
        COPY(p->fromParam, v);
    if (Key(f, para, "Coversheet:", v)) {
        if (v[0])
            COPY(d.coversheet, v);
        else
            NoneValue(d.coversheet, sizeof d.coversheet);
    }
    if (Key(f, para, "Letterhead:", v)) {
        if (v[0])
            COPY(d.letterhead, v);
        else
            NoneValue(d.letterhead, sizeof d.letterhead);
    }
    if (Key(f, para, "Priority:", v)) {
        if (std::strcmp(v, "URGENT") == 0)
            d.priority = (rights & TV_RIGHT_URGENT) ? TV_PRIORITY_URGENT : TV_PRIORITY_NORMAL;
        else if (std::strcmp(v, "NORMAL") == 0)
            d.priority = TV_PRIORITY_NORMAL;
        else
            d.priority = TV_PRIORITY_BACKGROUND;
    }
    if (Key(f, para, "After:", v))
        ReadSendTime(v, today, &d.sendTime);
    if (Key(f, para, "Header:", v)) {
        d.header = 0;
        for (const HeaderCode &h : kHeaderCodes)
            if (std::strstr(v, h.code))
                d.header = static_cast<int16_t>(d.header | h.flag);
    }
    if (Key(f, para, "Quality:", v))
        d.quality = std::strcmp(v, "HIGH") == 0     ? TV_QUALITY_HIGH
                    : std::strcmp(v, "NORMAL") == 0 ? TV_QUALITY_NORMAL
                                                    : TV_QUALITY_DRAFT;
    if (Key(f, para, "FileInformation:", v)) {
        p->fileInformation = YesOnly(v);
        COPY(p->match, p->fileInformation ? "" : kDefaultMatch);
    }
    if (Key(f, para, "MailAddressBook:", v))
        p->mailAddressBook = YesOnly(v) && (!systemFile || (rights & TV_RIGHT_SUBMIT_ANY));
    if (!systemFile && Key(f, para, "Directory:", v) && v[0]) {
        char dir[TV_AREA_MAX + 1];
        if (StoreDirectory(v, dir, sizeof dir))
            COPY(p->directory, dir);
    }
    if (Key(f, para, "Match:", v))
        COPY(p->match, v);
    if (Key(f, para, "Scanner:", v))
        COPY(d.scanner, v);
    if (Key(f, para, "Printer:", v))
        COPY(d.printer, v);
    if (Key(f, para, "LocalPrinter:", v))
        ReadLocalPrinter(v, &p->localPrinter);
    ReadAlerts(f, para, &d);
    if (Key(f, para, "Buttons:", v)) {
        bool icon = StartsNoCase(v, "ICON"), text = StartsNoCase(v, "TEXT"), both = StartsNoCase(v, "BOTH");
        p->toolIconRow = icon || both;
        p->toolTextRow = text || both;
    }
    if (Key(f, para, "Status:", v))
        p->statusBar = NotNo(v);
    if (Key(f, para, "ViewerRes:", v))
        p->viewerRes = v[0] == 'O' ? TV_VIEWER_RES_O : v[0] == '1' ? 1 : v[0] == '2' ? 2 : TV_VIEWER_RES_DEFAULT;
    if (Key(f, para, "ConfirmOptions:", v))
        p->confirmOptions = NotNo(v);
    if (Key(f, para, "Window:", v))
        p->window = StartsNoCase(v, "IN") ? TV_LIST_NEW : StartsNoCase(v, "OUT") ? TV_LIST_WAITING : TV_LIST_FILED;
    if (!systemFile) {
        struct {
            const char *key;
            bool *flag;
        } tidy[] = {{"TidyReceived:", &p->tidyReceived},
                    {"TidySentOK:", &p->tidySentOk},
                    {"TidySentFail:", &p->tidySentFail},
                    {"TidyPreviewed:", &p->tidyPreviewed}};
        for (auto &t : tidy) {
            int32_t b = *t.flag;
            GetBoolEntry(f, t.key, &b, para);
            *t.flag = b != 0;
        }
        GetIntEntry(f, "TidyAgeInDays:", &p->tidyAgeInDays, para);
    }
    return 1;
}

void SetSystemParamDefaults(TvSystemParams *s)
{
    std::memset(s, 0, sizeof *s);
    for (const ParamRow &row : kParams) {
        char *base = reinterpret_cast<char *>(s) + row.offset;
        if (row.kind == PARAM_BOOL)
            *reinterpret_cast<bool *>(base) = row.defaultValue != 0;
        else
            *reinterpret_cast<int16_t *>(base) = static_cast<int16_t>(row.defaultValue);
    }
    s->useArchiveAttribute = true;
    s->mailSendFormat = FMT_TIFF_G3_FAX;
}

void ReadSystemParams(FILE *f, TvSystemParams *s, TvWorkstationConfig *cfg, TvErrorLog *log)
{
    char line[TV_LINE_SIZE];
    int32_t pos = 0;
    s->scanners = FindParagraphFromStart(f, "[SCANNERS]", &pos) && FindEntry(f, "Device:", line, sizeof line, pos, nullptr);
    s->printers = FindParagraphFromStart(f, "[PRINTERS]", &pos) && FindEntry(f, "Device:", line, sizeof line, pos, nullptr);
    int32_t options = 0, ws = 0;
    bool haveOptions = FindParagraphFromStart(f, "[OPTIONS]", &options);
    bool haveWs = FindParagraphFromStart(f, "[WORKSTATION]", &ws);
    for (const ParamRow &row : kParams) {
        bool inOptions = std::strcmp(row.para, "[OPTIONS]") == 0;
        if (inOptions ? haveOptions : haveWs)
            ApplyParam(f, inOptions ? options : ws, row, s);
    }
    char v[TV_LINE_SIZE];
    if (haveOptions) {
        if (GetStringEntry(f, "UseArchiveAttribute:", v, sizeof v, options) == 1) {
            char c = static_cast<char>(std::toupper(static_cast<unsigned char>(v[0])));
            if (c == 'Y' || c == 'N')
                s->useArchiveAttribute = c == 'Y';
        }
        if (GetStringEntry(f, "MailSendFormat:", v, sizeof v, options) == 1 && v[0]) {
            int16_t code = FormatFromName(v);
            if (code == FMT_INVALID)
                WriteErrorLog(log, LOG_MAIL_FORMAT, "InitSystemParams", "[OPTIONS] MailSendFormat line invalid");
            else if (!IsConvertibleFormat(code))
                WriteErrorLog(log, LOG_MAIL_FORMAT, "InitSystemParams", "Mail attachment format not supported");
            else
                s->mailSendFormat = code;
        }
        if (GetStringEntry(f, "MailSendFileExt:", v, sizeof v, options) == 1) {
            const char *ext = v[0] == '.' ? v + 1 : v;
            if (std::strlen(ext) <= 3) {
                COPY(s->mailSendFileExt, ext);
                UpperCase(s->mailSendFileExt);
            }
        }
    }
    if (haveWs) {
        if (GetStringEntry(f, "ChargeCode:", v, sizeof v, ws) == 1) {
            char c = static_cast<char>(std::toupper(static_cast<unsigned char>(v[0])));
            if (c == 'Y')
                s->chargeCode = 1;
            else if (c == 'O')
                s->chargeCode = 2;
            else if (c == 'N')
                s->chargeCode = 0;
        }
        struct {
            const char *key;
            int16_t *timer;
        } timers[] = {{"CheckNewTimer:", &cfg->checkNewTimer},
                      {"CheckIdleNewTimer:", &cfg->checkIdleNewTimer},
                      {"CheckWaitingTimer:", &cfg->checkWaitingTimer},
                      {"CheckIdleWaitingTimer:", &cfg->checkIdleWaitingTimer},
                      {"CheckServerTimer:", &cfg->checkServerTimer}};
        for (auto &t : timers)
            if (*t.timer < 0)
                GetIntEntry(f, t.key, t.timer, ws);
    }
}

int InitSystemDefaultProfile(const TvProfileContext *ctx, TvUserProfile *p)
{
    char path[PATH_SIZE];
    if (!PathIn(path, sizeof path, ctx->systemArea, 33, 53))
        return 0;
    return ReadProfileFile(ctx, path, true, "Cannot read system default user settings file %s", p, nullptr);
}

int InitUserProfile(const TvProfileContext *ctx, const TvSystemParams *s, TvUserProfile *p)
{
    char path[PATH_SIZE];
    if (!PathIn(path, sizeof path, ctx->userDbDir, 0, 53))
        return 0;
    bool convert = false;
    if (!ReadProfileFile(ctx, path, false, "Cannot read default user settings file %s", p, &convert))
        return 0;
    if (convert)
        WriteUserDetails(ctx, s, p);
    return 1;
}

void ReadUserProfile(const TvProfileContext *ctx, const TvSystemParams *s, TvUserProfile *p)
{
    if (p->read)
        return;
    SetProfileDefaults(p, ctx->userName, ctx->systemArea);
    InitSystemDefaultProfile(ctx, p);
    p->userCopy = p->systemCopy;
    if (InitUserProfile(ctx, s, p))
        p->read = true;
}

int InitSystemParams(const TvProfileContext *ctx, TvSystemParams *s, TvWorkstationConfig *cfg)
{
    SetSystemParamDefaults(s);
    char path[PATH_SIZE];
    FILE *f = PathIn(path, sizeof path, ctx->systemArea, 33, 59) ? OpenSharedRetry(path, "rb") : nullptr;
    if (!f) {
        WriteErrorLog(ctx->log, LOG_FILE_OPEN, "InitSystemParams", "Cannot open file for reading/writing %s", path);
    } else if (!ControlFileHasType(f, kSystemType)) {
        WriteErrorLog(ctx->log, TV_LOG_ENTRY, "InitSystemParams", "File %s is not of type %s", path, kSystemType);
    } else {
        ReadSystemParams(f, s, cfg, ctx->log);
    }
    if (f)
        std::fclose(f);
    ResolveCheckTimers(cfg);
    return 1;
}

int WriteProfileStream(FILE *old, FILE *out, const TvUserProfile *p, int sendListEntries)
{
    bool wroteAny = false;
    if (!old) {
        WriteLine(out, "[TAVRINE]", &wroteAny);
        WriteLine(out, "Type: UserProfile", &wroteAny);
        WriteLine(out, "Revision: A", &wroteAny);
    } else {
        enum { COPY_LINES, IN_OPTIONS, IN_ADDRESSEES } state = COPY_LINES;
        int skipEntries = 0;
        char line[TV_LINE_SIZE];
        char converted[2 * TV_LINE_SIZE];
        std::rewind(old);
        while (ReadControlLine(old, line, sizeof line, nullptr) && !std::ferror(out)) {
            if (IsParagraphLine(line)) {
                state = COPY_LINES;
                skipEntries = 0;
                if (EqualsNoCase(line, kOptions)) {
                    state = IN_OPTIONS;
                    continue;
                }
                BlankBefore(out, wroteAny);
                if (EqualsNoCase(line, "[ADDRESSEES]")) {
                    WriteLine(out, "[RECIPIENTS]", &wroteAny);
                    state = IN_ADDRESSEES;
                    continue;
                }
                if (EqualsNoCase(line, "[RECIPIENTS]")) {
                    int n = CountEntries(old);
                    if (sendListEntries >= 0 && n > sendListEntries)
                        skipEntries = n - sendListEntries;
                }
                WriteLine(out, line, &wroteAny);
                continue;
            }
            if (state == IN_OPTIONS || !line[0])
                continue;
            if (IsEntryLine(line) && skipEntries > 0) {
                --skipEntries;
                continue;
            }
            if (state == IN_ADDRESSEES && IsEntryLine(line) && IsAddressLineToConvert(line)) {
                if (ConvertAddressLine(line, converted, sizeof converted))
                    WriteLine(out, converted, &wroteAny);
                continue;
            }
            WriteLine(out, line, &wroteAny);
        }
        if (std::ferror(old))
            return 0;
    }
    WriteOptions(out, p, &wroteAny);
    return std::fflush(out) == 0 && !std::ferror(out);
}

int WriteUserDetails(const TvProfileContext *ctx, const TvSystemParams *s, const TvUserProfile *p)
{
    char path[PATH_SIZE];
    char temp[PATH_SIZE];
    if (!PathIn(path, sizeof path, ctx->userDbDir, 0, 53) || !UpdateTempName(path, temp, sizeof temp))
        return 0;
    const int listEntries = s ? s->sendListEntries : 250;
    FILE *old = OpenSharedRetry(path, "r+b");
    if (!old) {
        WriteErrorLog(ctx->log, LOG_FILE_READ, "WriteUserDetails", "Creating new default user settings file %s", path);
        FILE *created = OpenSharedRetry(path, "w+b");
        if (!created) {
            WriteErrorLog(ctx->log, LOG_FILE_READ, "WriteUserDetails", "Cannot create default user settings file %s",
                          path);
            ShowPath(ctx, 45, path);
            return 0;
        }
        int ok = WriteProfileStream(nullptr, created, p, listEntries);
        ok = (std::fclose(created) == 0) && ok;
        if (!ok) {
            WriteErrorLog(ctx->log, LOG_FILE_WRITE, "WriteUserDetails", "Error updating file %s", path);
            ShowPath(ctx, 44, path);
        }
        return ok;
    }
    FILE *work = OpenSharedRetry(temp, "w+b");
    if (!work) {
        std::fclose(old);
        WriteErrorLog(ctx->log, LOG_FILE_READ, "WriteUserDetails", "Cannot create temp user settings file %s", temp);
        ShowPath(ctx, 45, temp);
        return 0;
    }
    const bool written = WriteProfileStream(old, work, p, listEntries) == 1;
    const bool copied = written && CopyOpenFile(work, old) == 0;
    const bool closed = std::fclose(old) == 0;
    std::fclose(work);
    if (copied && closed) {
        TvPlatRemove(temp);
        return 1;
    }
    WriteErrorLog(ctx->log, LOG_FILE_WRITE, "WriteUserDetails", "Error updating file %s", path);
    ShowPath(ctx, 44, path);
    // When the copy-back failed part-way the file is damaged and the work
    // file holds the only complete copy: it stays. A failed write left the
    // file untouched, so the work file goes.
    if (!written)
        TvPlatRemove(temp);
    return 0;
}

bool ProfileFilePath(char *out, size_t size, const char *dir, int subdirId, int nameId)
{
    return PathIn(out, size, dir, subdirId, nameId);
}

void ProfileShowPath(const TvProfileContext *ctx, int stringId, const char *path)
{
    ShowPath(ctx, stringId, path);
}
