// Text commands and replace variables. See textcmd.h.
#include "server/convert/textcmd.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/ctlfile.h"
#include "server/convert/graphics.h"
#include "server/runtime/srvdate.h"

namespace {

RasterLogFn g_log;
InsertFileFn g_insert;

void Log(int level, const char *fmt, ...) {
    if (!g_log) return;
    char text[400];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    g_log(level, text);
}

int Upper(int c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }
int IsAlpha(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
int IsDigit(int c) { return c >= '0' && c <= '9'; }
int IsAlnum(int c) { return IsAlpha(c) || IsDigit(c); }
// Printable ASCII punctuation: what a command text may hold besides
// letters and digits.
int IsPunct(int c) { return c > 32 && c < 127 && !IsAlnum(c); }

int EqualNoCase(const char *a, const char *b) {
    while (*a && *b)
        if (Upper((unsigned char)*a++) != Upper((unsigned char)*b++)) return 0;
    return *a == *b;
}

int StartsNoCase(const char *text, const char *prefix) {
    while (*prefix)
        if (Upper((unsigned char)*text++) != Upper((unsigned char)*prefix++)) return 0;
    return 1;
}

void CopyCut(char *out, int size, const char *text, int max) {
    if (size <= 0) return;
    int n = 0;
    while (text[n] && n < max && n < size - 1) {
        out[n] = text[n];
        n++;
    }
    out[n] = 0;
}

// Reads a decimal number as "%d" would: blanks, a sign, at least one digit;
// what follows the digits is ignored. 0 when there is no number.
int ReadNumber(const char *text, long *value) {
    while (*text == ' ' || *text == '\t') text++;
    int neg = 0;
    if (*text == '+' || *text == '-') neg = *text++ == '-';
    if (!IsDigit((unsigned char)*text)) return 0;
    long v = 0;
    while (IsDigit((unsigned char)*text)) {
        if (v < 1000000) v = v * 10 + (*text - '0');
        text++;
    }
    *value = neg ? -v : v;
    return 1;
}

// Appends bytes to the push-back buffer; what does not fit is dropped
// (the buffer is sized so that it never happens).
void PushBytes(TextScanner *s, const void *data, int n) {
    if (s->pbPos >= s->pbLen) s->pbPos = s->pbLen = 0;
    if (n > TEXTCMD_PUSHBACK - s->pbLen) n = TEXTCMD_PUSHBACK - s->pbLen;
    if (n <= 0) return;
    memcpy(s->pushBack + s->pbLen, data, size_t(n));
    s->pbLen += n;
}

int ReadInput(TextScanner *s) {
    if (s->inputEnded || !s->readByte) return -1;
    int c = s->readByte(s->inCtx);
    if (c < 0) {
        s->inputEnded = 1;
        return -1;
    }
    return c & 0xFF;
}

// Font names of the FONT command: size code, then the three families.
struct FontRow {
    int size;
    const char *roman, *sserif, *swiss;
};
const FontRow kFonts[] = {
    {0, "ROMAN10", "SSERIF10", "SWISS10"},  {1, "ROMAN12", "SSERIF16", "SWISS16"},
    {4, "ROMAN20", "SSERIF20", "SWISS20"},  {5, "ROMAN24", "SSERIF32", "SWISS32"},
    {32, "ROMAN5", "SSERIF5", "SWISS5"},    {33, "ROMAN6", "SSERIF8", "SWISS8"},
    {2, "ROMANPS", "SSERIFPS", "SWISSPS"},
};

// Layout command keys and their kinds; APPEND and INSERT are handled apart.
struct KeyRow {
    const char *key;
    int kind;
};
const KeyRow kKeys[] = {
    {"DOWN", TCMD_DOWN},       {"RIGHT", TCMD_RIGHT},         {"XPOS", TCMD_XPOS}, {"XPOSR", TCMD_XPOSR},
    {"LMARGIN", TCMD_LMARGIN}, {"FONT", TCMD_FONT},           {"UNDERLINE", TCMD_UNDERLINE},
    {"BOLD", TCMD_BOLD},
};

void DoInsert(TextScanner *s, const char *name) {
    int len = int(strlen(name));
    if (len < 1 || len > APPEND_NAME_MAX) {
        Log(5, "Invalid Insert file name '%s'", name);
        return;
    }
    TvStatus st = g_insert ? g_insert(name) : InsertGraphicsFile(name);
    if (st != TV_OK && !g_raster.error) g_raster.error = st;
}

void DoAppend(TextScanner *s, const char *name) {
    if (!s->appendList) return;
    AppendListAdd(s->appendList, name, "Append");
}

// --- variables

// Accepted: "yy-mm-dd hh:mm:ss" with its ranges. 1 read, 0 not.
int ParseAccepted(const char *text, int v[6]) {
    short p[6];
    char tail;
    if (sscanf(text, "%hd-%hd-%hd %hd:%hd:%hd%c", &p[0], &p[1], &p[2], &p[3], &p[4], &p[5], &tail) < 6) return 0;
    static const int lo[6] = {0, 1, 1, 0, 0, 0}, hi[6] = {99, 12, 31, 23, 59, 59};
    for (int i = 0; i < 6; i++) {
        if (p[i] < lo[i] || p[i] > hi[i]) return 0;
        v[i] = p[i];
    }
    return 1;
}

void DateText(TextScanner *s, int longForm, char *out, int size) {
    ConvDetails *d = s->details;
    int v[6];
    if (!ParseAccepted(d->accepted, v)) {
        Log(5, "Unable to get Accepted: date and time");
        return;
    }
    const char *picture = longForm ? d->longPicture : d->shortPicture;
    char fallback[CONV_FIELD_SIZE];
    if (!longForm && !picture[0]) {
        DefaultDatePicture(fallback, sizeof fallback, true);
        picture = fallback;
    }
    if (longForm && !picture[0]) {
        int day = v[2];
        const char *suffix = "th";
        if (day == 1 || day == 21 || day == 31)
            suffix = "st";
        else if (day == 2 || day == 22)
            suffix = "nd";
        else if (day == 3 || day == 23)
            suffix = "rd";
        int year = v[0] < 80 ? 2000 + v[0] : 1900 + v[0];
        snprintf(out, size_t(size), "%d%s %s %d", day, suffix, MonthName(v[1]), year);
        return;
    }
    if (!FormatDateByPicture(picture, out, size_t(size), v[0], v[1], v[2], v[3], v[4], v[5])) {
        out[0] = 0;
        Log(5, "Date format setting invalid");
    }
}

void PagesText(TextScanner *s, char *out, int size) {
    ConvDetails *d = s->details;
    int n = d->knownTotal;
    if (d->pagesWritten > n) n = d->pagesWritten;
    if (d->currentPage + 1 > n) n = d->currentPage + 1;
    snprintf(out, size_t(size), "%d", n);
    if (d->markPage != d->currentPage) {
        d->prevMarkPage = d->markPage;
        d->prevMarkCount = d->markCount;
    }
    d->markPage = d->currentPage;
    d->markCount = n;
}

// The value of a covertext line: behind the first blank and the blanks
// after it. A leading "\\" stands for one backslash and a leading "\n"
// (the writer's mark of a hard line break) prints nothing of itself; any
// other leading backslash is dropped, a lone one kept.
void CoverValue(const char *line, char *out, int size) {
    const char *p = strchr(line, ' ');
    if (!p) {
        out[0] = 0;
        return;
    }
    while (*p == ' ') p++;
    if (p[0] == '\\' && p[1] == '\\')
        p++;
    else if (p[0] == '\\' && p[1] == 'n')
        p += 2;
    else if (p[0] == '\\' && p[1])
        p++;
    CopyCut(out, size, p, TEXTCMD_VAR_MAX);
}

void CoverText(TextScanner *s, char *out, int size) {
    FILE *f = s->control;
    if (!f || s->coverState == 2) return;
    char line[TV_LINE_SIZE];
    int32_t pos;
    if (s->coverState == 0) {
        if (fseek(f, 0, SEEK_SET) != 0) return;
        if (!FindParagraph(f, "[OPTIONS]", line, sizeof line, &pos)) {
            Log(5, "[OPTIONS] para missing from control file");
            s->coverState = 2;
            return;
        }
        s->coverPos = pos;
        s->coverState = 1;
    }
    if (fseek(f, s->coverPos, SEEK_SET) != 0) return;
    int32_t linePos;
    if (!FindEntry(f, "CoverText", line, sizeof line, 0, &linePos)) {
        s->coverState = 2;
        return;
    }
    s->coverPos = int32_t(ftell(f));
    CoverValue(line, out, size);
}

// Whether a Field: line names the field: its names run to the first blank,
// separated by '/'. *value gets the text behind the blank.
int FieldMatches(const char *line, const char *name, const char **value) {
    const char *p = strchr(line, ':');
    if (!p) return 0;
    p++;
    while (*p == ' ') p++;
    const char *names = p;
    const char *end = names;
    while (*end && *end != ' ') end++;
    const char *v = end;
    while (*v == ' ') v++;
    size_t nlen = strlen(name);
    const char *q = names;
    while (q < end) {
        const char *e = q;
        while (e < end && *e != '/') e++;
        if (size_t(e - q) == nlen) {
            size_t i = 0;
            while (i < nlen && Upper((unsigned char)q[i]) == Upper((unsigned char)name[i])) i++;
            if (i == nlen) {
                *value = v;
                return 1;
            }
        }
        q = e + 1;
    }
    return 0;
}

void AddresseeField(TextScanner *s, const char *name, char *out, int size) {
    FILE *f = s->control;
    int n = s->details ? s->details->addressee : 0;
    if (!f || n <= 0) return;
    char line[TV_LINE_SIZE];
    if (s->addrFound != n) {
        if (fseek(f, 0, SEEK_SET) != 0) return;
        int32_t pos;
        if (!FindParagraph(f, "[ADDRESSEES]", line, sizeof line, &pos)) {
            Log(5, "[ADDRESSEES] para missing from control file");
            return;
        }
        int seen = 0;
        for (;;) {
            if (!ReadControlLine(f, line, sizeof line, nullptr) || IsParagraphLine(line)) {
                Log(5, "[ADDRESSEE] Shortname: section number %d missing", n);
                return;
            }
            if (KeyMatches(line, "Shortname:") && ++seen == n) break;
        }
        s->addrFound = n;
        s->addrPos = int32_t(ftell(f));
    }
    if (fseek(f, s->addrPos, SEEK_SET) != 0) return;
    while (ReadControlLine(f, line, sizeof line, nullptr)) {
        if (IsParagraphLine(line) || KeyMatches(line, "Shortname:")) break;
        const char *value;
        if (KeyMatches(line, "Field:") && FieldMatches(line, name, &value)) {
            CopyCut(out, size, value, TEXTCMD_VAR_MAX);
            return;
        }
    }
}

} // namespace

void TextCmdSetLogHook(RasterLogFn fn) { g_log = fn; }
void TextCmdSetInsertHook(InsertFileFn fn) { g_insert = fn; }

int AppendListAdd(AppendList *list, const char *name, const char *kind) {
    int len = int(strlen(name));
    if (len < 1 || len > APPEND_NAME_MAX) {
        Log(5, "Invalid %s file name '%s'", kind, name);
        return 0;
    }
    if (list->count >= APPEND_MAX) {
        Log(5, "Too many %s files - '%s' ignored", kind, name);
        return 0;
    }
    char *d = list->names[list->count++];
    for (int i = 0; i <= len; i++) d[i] = char(Upper((unsigned char)name[i]));
    return 1;
}

void ConvDetailsInit(ConvDetails *d) {
    d->markPage = d->prevMarkPage = -1;
    d->markCount = d->prevMarkCount = 0;
}

void TextScannerInit(TextScanner *s, void *inCtx, int (*readByte)(void *ctx), FILE *control,
                     ConvDetails *details, AppendList *appendList) {
    memset(s, 0, sizeof *s);
    s->inCtx = inCtx;
    s->readByte = readByte;
    s->control = control;
    s->details = details;
    s->appendList = appendList;
}

int GetNextChar(TextScanner *s) {
    if (s->pendingPercent > 0) {
        s->pendingPercent--;
        return '%';
    }
    if (s->pbPos < s->pbLen) return s->pushBack[s->pbPos++];
    return ReadInput(s);
}

void TextUnget(TextScanner *s, int c) {
    if (c < 0) return;
    if (c == '%' && s->pendingPercent > 0) { // it came from the pending run
        s->pendingPercent++;
        return;
    }
    if (s->pbPos >= s->pbLen) s->pbPos = s->pbLen = 0;
    if (s->pbPos == 0) {
        if (s->pbLen >= TEXTCMD_PUSHBACK) return;
        memmove(s->pushBack + 1, s->pushBack, size_t(s->pbLen));
        s->pbLen++;
        s->pbPos = 1;
    }
    s->pushBack[--s->pbPos] = static_cast<unsigned char>(c);
}

int ScanTextEscape(TextScanner *s) {
    for (;;) {
        if (s->pendingPercent > 0 || s->pbPos < s->pbLen) return GetNextChar(s);
        int c = ReadInput(s);
        if (c < 0) return -1;
        if (c == 26) { // Ctrl-Z: the input ends here
            s->inputEnded = 1;
            return -1;
        }
        if (c != '%' && c != '[') return c;
        uint32_t n = 0;
        while (c == '%') {
            n++;
            c = ReadInput(s);
        }
        if (c != '[') { // a run of % followed by anything else: as it is
            s->pendingPercent = n;
            if (c == 26) {
                s->inputEnded = 1;
                continue;
            }
            if (c >= 0) {
                unsigned char b = static_cast<unsigned char>(c);
                PushBytes(s, &b, 1);
            }
            continue;
        }
        if (n < 2 || (n & 1)) { // "[" alone, or an odd run: (n + 1) / 2 % and the "["
            s->pendingPercent = n ? (n + 1) / 2 : 0;
            PushBytes(s, "[", 1);
            continue;
        }
        s->pendingPercent = (n - 2) / 2;
        // Collect the command text up to "]".
        char text[TEXTCMD_MAX + 1];
        int len = 0;
        int ended = -2; // the byte that ended the collection, -1 the input
        for (;;) {
            if (len >= TEXTCMD_MAX) {
                ended = -2;
                break;
            }
            int t = ReadInput(s);
            if (t == ']') {
                ended = ']';
                break;
            }
            if (t < 0 || t == 26) {
                if (t == 26) s->inputEnded = 1;
                ended = -1;
                break;
            }
            if (!IsAlnum(t) && !IsPunct(t)) {
                ended = t;
                break;
            }
            text[len++] = char(t);
        }
        text[len] = 0;
        if (ended == ']') {
            ProcessEscape(s, text);
            continue;
        }
        // Not a command: everything read is delivered as text.
        PushBytes(s, "%%[", 3);
        PushBytes(s, text, len);
        if (ended >= 0) {
            unsigned char b = static_cast<unsigned char>(ended);
            PushBytes(s, &b, 1);
        }
    }
}

int ProcessVarEscape(int kind, const char *value, unsigned char *out, int size) {
    long n = 0;
    int len = 0;
    auto put = [&](int b) {
        if (len < size) out[len++] = static_cast<unsigned char>(b);
    };
    switch (kind) {
    case TCMD_DOWN:
        if (!ReadNumber(value, &n) || n < 1 || n > 2000) return 0;
        while (n > 0) {
            put(27), put('J');
            if (n <= 100) {
                put(int(2 * n));
                n = 0;
            } else {
                put(200);
                n -= 100;
            }
        }
        return len;
    case TCMD_RIGHT: {
        if (!ReadNumber(value, &n) || n < 1 || n > 2000) return 0;
        long v = n * 4 / 3;
        put(27), put('\\'), put(int(v & 0xFF)), put(int((v >> 8) & 0xFF));
        return len;
    }
    case TCMD_XPOS:
    case TCMD_XPOSR: {
        if (!ReadNumber(value, &n) || n < 0 || n > 2000) return 0;
        long v = 2 * n / 3;
        int high = int((v >> 8) & 0x7F);
        if (kind == TCMD_XPOSR) high |= 0x80;
        put(27), put('$'), put(int(v & 0xFF)), put(high);
        return len;
    }
    case TCMD_LMARGIN:
        if (!ReadNumber(value, &n) || n < 0 || n > 255) return 0;
        put(27), put('l'), put(int(n));
        return len;
    case TCMD_FONT: {
        int typeface;
        int column;
        if (StartsNoCase(value, "ROMAN"))
            typeface = 0, column = 0;
        else if (StartsNoCase(value, "SSERIF"))
            typeface = 255, column = 1;
        else if (StartsNoCase(value, "SWISS"))
            typeface = 255, column = 2;
        else
            return 0;
        for (const FontRow &r : kFonts) {
            const char *name = column == 0 ? r.roman : column == 1 ? r.sserif : r.swiss;
            if (!EqualNoCase(value, name)) continue;
            int sel = r.size | (g_raster.bold ? 8 : 0) | (g_raster.underline ? 128 : 0);
            put(27), put('k'), put(typeface), put(27), put('!'), put(sel);
            return len;
        }
        return 0;
    }
    case TCMD_UNDERLINE:
        if (EqualNoCase(value, "ON")) {
            put(27), put('-'), put(1);
        } else if (EqualNoCase(value, "OFF")) {
            put(27), put('-'), put(0);
        }
        return len;
    case TCMD_BOLD:
        if (EqualNoCase(value, "ON")) {
            put(27), put('E');
        } else if (EqualNoCase(value, "OFF")) {
            put(27), put('F');
        }
        return len;
    }
    return 0;
}

void ProcessEscape(TextScanner *s, const char *text) {
    if (text[0] == '>') {
        DoAppend(s, text + 1);
        return;
    }
    if (text[0] == '<') {
        DoInsert(s, text + 1);
        return;
    }
    const char *colon = strchr(text, ':');
    if (colon) {
        char key[TEXTCMD_MAX + 1];
        int klen = int(colon - text);
        memcpy(key, text, size_t(klen));
        key[klen] = 0;
        const char *value = colon + 1;
        while (*value == ' ') value++;
        if (!*value) return;
        if (EqualNoCase(key, "APPEND") || EqualNoCase(key, ">")) {
            DoAppend(s, value);
            return;
        }
        if (EqualNoCase(key, "INSERT") || EqualNoCase(key, "<")) {
            DoInsert(s, value);
            return;
        }
        for (const KeyRow &k : kKeys) {
            if (!EqualNoCase(key, k.key)) continue;
            unsigned char bytes[64];
            int n = ProcessVarEscape(k.kind, value, bytes, int(sizeof bytes));
            PushBytes(s, bytes, n);
            return;
        }
        return; // any other key is dropped
    }
    char value[TEXTCMD_VAR_MAX + 1];
    ReplaceVariable(s, text, value, int(sizeof value));
    PushBytes(s, value, int(strlen(value)));
}

void ReplaceVariable(TextScanner *s, const char *name, char *out, int size) {
    if (size <= 0) return;
    out[0] = 0;
    if (!name[0]) {
        Log(5, "Invalid replace variable '%s' - ignored", name);
        return;
    }
    for (const char *p = name; *p; p++)
        if (!IsAlnum((unsigned char)*p)) {
            Log(5, "Invalid replace variable '%s' - ignored", name);
            return;
        }
    if (size > TEXTCMD_VAR_MAX + 1) size = TEXTCMD_VAR_MAX + 1;
    auto is = [&](const char *n) { return EqualNoCase(name, n); };
    if (is("LANDSCAPE") || is("PORTRAIT")) {
        int on = is("LANDSCAPE");
        char upper[16];
        CopyCut(upper, sizeof upper, on ? "LANDSCAPE" : "PORTRAIT", 15);
        SetLandscape(on, upper, InsertActive());
        return;
    }
    if (is("NEWPAGE")) {
        out[0] = 12, out[1] = 0;
        return;
    }
    if (is("N") || is("NOTE") || StartsNoCase(name, "COVERTEXT")) {
        CoverText(s, out, size);
        return;
    }
    ConvDetails *d = s->details;
    if (is("D") || is("DATE") || is("LONGDATE")) {
        if (d) DateText(s, 1, out, size);
    } else if (is("SHORTDATE")) {
        if (d) DateText(s, 0, out, size);
    } else if (is("T") || is("TIME")) {
        int v[6];
        if (!d) return;
        if (!ParseAccepted(d->accepted, v))
            Log(5, "Unable to get Accepted: date and time");
        else
            snprintf(out, size_t(size), "%.2d:%.2d", v[3], v[4]);
    } else if (is("P") || is("PAGES")) {
        if (d) PagesText(s, out, size);
    } else if (is("F") || is("FROM")) {
        if (d) CopyCut(out, size, d->from, TEXTCMD_VAR_MAX);
    } else if (is("FROMTELEPHONE")) {
        if (d) CopyCut(out, size, d->fromTelephone, TEXTCMD_VAR_MAX);
    } else if (is("FROMFAX")) {
        if (d) CopyCut(out, size, d->fromFax, TEXTCMD_VAR_MAX);
    } else if (is("FROMEMAIL")) {
        if (d) CopyCut(out, size, d->fromEmail, TEXTCMD_VAR_MAX);
    } else if (is("FROMPARAM")) {
        if (d) CopyCut(out, size, d->fromParam, TEXTCMD_VAR_MAX);
    } else if (is("M") || is("MSGID") || is("MESSAGEID")) {
        if (d && d->hasMsgId) snprintf(out, size_t(size), "%.8lX", (unsigned long)d->msgId);
    } else {
        g_raster.commonPage = 0; // an addressee field: the page is this addressee's own
        AddresseeField(s, name, out, size);
    }
}
