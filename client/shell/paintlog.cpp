#include "client/shell/paintlog.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "client/shell/shelltext.h"

const char *const kStatusBitmapSuffix[TV_BMP_COUNT] = {
    "Waiting", "Convert", "Connect", "Sending", "NewDoc", "Document", "NewScan",
    "Held", "OK", "Failed", "Receiving", "Scan", "Aborting",
};

// Status codes whose look depends on nothing else.
static const struct {
    const char *status;
    int bitmap;
    int32_t colour;
} kPlainLooks[] = {
    {"Su", TV_BMP_WAITING, TV_ROW_COLOUR_DEFAULT},   {"WT", TV_BMP_WAITING, TV_ROW_COLOUR_DEFAULT},
    {"Wa", TV_BMP_WAITING, TV_ROW_COLOUR_DEFAULT},   {"Ad", TV_BMP_CONVERT, TV_ROW_COLOUR_DEFAULT},
    {"Pr", TV_BMP_CONVERT, TV_ROW_COLOUR_DEFAULT},   {"WD", TV_BMP_CONVERT, TV_ROW_COLOUR_DEFAULT},
    {"Co", TV_BMP_CONNECT, TV_ROW_COLOUR_DEFAULT},   {"Se", TV_BMP_SENDING, TV_ROW_COLOUR_DEFAULT},
    {"Sc", TV_BMP_SCAN, TV_ROW_COLOUR_BLUE},         {"Ab", TV_BMP_ABORTING, TV_ROW_COLOUR_RED},
    {"Re", TV_BMP_RECEIVING, TV_ROW_COLOUR_DEFAULT}, {"Fa", TV_BMP_FAILED, TV_ROW_COLOUR_RED},
};

// A two-letter code of a record, letter case ignored; the field need not be
// terminated.
static bool CodeIs(const char (&field)[TV_ENTRY_STATUS_SIZE], const char *code)
{
    char s[TV_ENTRY_STATUS_SIZE];
    std::memcpy(s, field, sizeof s);
    s[sizeof s - 1] = '\0';
    return EqualsNoCase(s, code);
}

TvRowLook RowLook(const MessageListEntry *e)
{
    for (const auto &l : kPlainLooks)
        if (CodeIs(e->Status, l.status))
            return {l.bitmap, l.colour};
    if (CodeIs(e->Status, "He"))
        return {e->Kind == TV_KIND_PREVIEW ? TV_BMP_NEWDOC : TV_BMP_HELD, TV_ROW_COLOUR_DEFAULT};
    if (CodeIs(e->Status, "OK")) {
        const bool opened = CodeIs(e->UserStatus, "OK");
        switch (e->Kind) {
        case TV_KIND_FILED: return {TV_BMP_DOCUMENT, TV_ROW_COLOUR_BLUE};
        case TV_KIND_SEND:
        case TV_KIND_PREVIEW: return {TV_BMP_OK, TV_ROW_COLOUR_BLUE};
        case TV_KIND_RECEIVE: return {opened ? TV_BMP_DOCUMENT : TV_BMP_NEWDOC, TV_ROW_COLOUR_BLUE};
        case TV_KIND_SCAN: return {opened ? TV_BMP_DOCUMENT : TV_BMP_NEWSCAN, TV_ROW_COLOUR_BLUE};
        default: break;
        }
    }
    return {TV_BMP_NONE, TV_ROW_COLOUR_DEFAULT};
}

static void LowerCase(char *s)
{
    for (; *s; ++s)
        *s = char(std::tolower(static_cast<unsigned char>(*s)));
}

void RowNameText(const MessageListEntry *e, const char *untitled, char *out, size_t size)
{
    if (!out || size == 0)
        return;
    char path[TV_ENTRY_ASSOC_SIZE];
    std::memcpy(path, e->AssocFile, sizeof path);
    path[sizeof path - 1] = '\0';
    if (!path[0]) {
        CopyCut(out, size, untitled ? untitled : "");
        return;
    }
    const char *name = path;
    for (const char *p = path; *p; ++p)
        if (*p == '\\' || *p == '/' || *p == ':')
            name = p + 1;
    CopyCut(out, size, name);
    LowerCase(out);
}

// Expands a format of "%02d" fields (the international formats): each field
// takes the next value, "%%" is a percent sign, anything else is copied. A
// format with more fields than values leaves the rest out, so a damaged
// format cannot read past the values.
static void FormatFields(char *out, size_t size, const char *format, const int *values, int count)
{
    size_t n = 0;
    int used = 0;
    auto put = [&](const char *s) {
        for (; *s && n + 1 < size; ++s)
            out[n++] = *s;
    };
    for (const char *p = format; *p; ++p) {
        if (p[0] == '%' && p[1] == '%') {
            put("%");
            ++p;
        } else if (std::strncmp(p, "%02d", 4) == 0) {
            if (used < count) {
                char num[16];
                std::snprintf(num, sizeof num, "%02d", values[used]);
                put(num);
            }
            ++used;
            p += 3;
        } else {
            const char c[2] = {*p, '\0'};
            put(c);
        }
    }
    out[n] = '\0';
}

void RowDateText(const MessageListEntry *e, const TvIntlFormats *f, char *out, size_t size)
{
    if (!out || size == 0)
        return;
    out[0] = '\0';
    if (!(e->Hour || e->Minute || e->Second || e->Day || e->Month || e->Year))
        return;
    char timeFmt[sizeof f->timeFormat + 1], dateFmt[sizeof f->dateFormat + 1];
    CopyCut(timeFmt, sizeof timeFmt, f->timeFormat);
    CopyCut(dateFmt, sizeof dateFmt, f->dateFormat);
    const int hm[2] = {e->Hour, e->Minute};
    int date[3];
    switch (f->dateOrder) {
    case TV_DATE_DMY: date[0] = e->Day, date[1] = e->Month, date[2] = e->Year; break;
    case TV_DATE_MDY: date[0] = e->Month, date[1] = e->Day, date[2] = e->Year; break;
    default: date[0] = e->Year, date[1] = e->Month, date[2] = e->Day; break;
    }
    char t[64], d[64];
    FormatFields(t, sizeof t, timeFmt, hm, 2);
    FormatFields(d, sizeof d, dateFmt, date, 3);
    std::snprintf(out, size, "%s  %s", t, d);
}

void FiledDirText(const char *dir, char *out, size_t size)
{
    if (!out || size == 0)
        return;
    CopyCut(out, size, dir ? dir : "");
    const size_t len = std::strlen(out);
    const char *first = std::strchr(out, '\\');
    // A root ("C:\", "\") keeps its backslash: it is the first one.
    if (len > 0 && out[len - 1] == '\\' && first != out + len - 1)
        out[len - 1] = '\0';
    LowerCase(out);
}
