// The look of a list row (status bitmap and colour), its name and date
// columns, and the Filed pane's directory text.
#include "client/shell/paintlog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

MessageListEntry Entry(const char *status, int kind, const char *user = "OK")
{
    MessageListEntry e{};
    std::snprintf(e.Status, sizeof e.Status, "%s", status);
    std::snprintf(e.UserStatus, sizeof e.UserStatus, "%s", user);
    e.Kind = kind;
    return e;
}

TEST(PaintLog, StatusLooks)
{
    const int32_t D = TV_ROW_COLOUR_DEFAULT, B = TV_ROW_COLOUR_BLUE, R = TV_ROW_COLOUR_RED;
    const struct {
        const char *status;
        int kind;
        const char *user;
        int bitmap;
        int32_t colour;
    } cases[] = {
        {"Su", 1, "OK", TV_BMP_WAITING, D},   {"WT", 1, "OK", TV_BMP_WAITING, D},
        {"wa", 3, "Wa", TV_BMP_WAITING, D},   {"He", 1, "OK", TV_BMP_HELD, D},
        {"He", 2, "OK", TV_BMP_NEWDOC, D},    {"Ad", 1, "OK", TV_BMP_CONVERT, D},
        {"pr", 1, "OK", TV_BMP_CONVERT, D},   {"WD", 1, "OK", TV_BMP_CONVERT, D},
        {"Co", 1, "OK", TV_BMP_CONNECT, D},   {"Se", 1, "OK", TV_BMP_SENDING, D},
        {"Sc", 4, "OK", TV_BMP_SCAN, B},      {"Ab", 1, "OK", TV_BMP_ABORTING, R},
        {"Re", 3, "Wa", TV_BMP_RECEIVING, D}, {"Fa", 1, "OK", TV_BMP_FAILED, R},
        {"FA", 3, "Aw", TV_BMP_FAILED, R},    {"OK", 0, "", TV_BMP_DOCUMENT, B},
        {"OK", 1, "Wa", TV_BMP_OK, B},        {"ok", 2, "OK", TV_BMP_OK, B},
        {"OK", 3, "OK", TV_BMP_DOCUMENT, B},  {"OK", 3, "ok", TV_BMP_DOCUMENT, B},
        {"OK", 3, "Aw", TV_BMP_NEWDOC, B},    {"OK", 3, "Wa", TV_BMP_NEWDOC, B},
        {"OK", 4, "OK", TV_BMP_DOCUMENT, B},  {"OK", 4, "Aw", TV_BMP_NEWSCAN, B},
        {"OK", 5, "OK", TV_BMP_NONE, D},      {"WC", 1, "OK", TV_BMP_NONE, D},
        {"WS", 1, "OK", TV_BMP_NONE, D},      {"", 1, "OK", TV_BMP_NONE, D},
        {"O", 1, "OK", TV_BMP_NONE, D},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.status << " kind " << c.kind << " user " << c.user);
        MessageListEntry e = Entry(c.status, c.kind, c.user);
        TvRowLook look = RowLook(&e);
        EXPECT_EQ(look.bitmap, c.bitmap);
        EXPECT_EQ(look.colour, c.colour);
    }
    // A field without its terminator is read as its two letters.
    MessageListEntry e = Entry("", 1);
    std::memcpy(e.Status, "Abx", 3);
    std::memcpy(e.UserStatus, "Wax", 3);
    EXPECT_EQ(RowLook(&e).bitmap, TV_BMP_ABORTING);
    std::memcpy(e.Status, "OKx", 3);
    e.Kind = TV_KIND_RECEIVE;
    EXPECT_EQ(RowLook(&e).bitmap, TV_BMP_NEWDOC);
}

TEST(PaintLog, NameColumn)
{
    const struct {
        const char *assoc;
        const char *text;
    } cases[] = {
        {"", "(Untitled)"},
        {"C:\\DOCS\\LETTER.DOC", "letter.doc"},
        {"\\\\SRV\\SHARE\\Report.TXT", "report.txt"},
        {"A:FAX.TIF", "fax.tif"},
        {"NOPATH", "nopath"},
        {"C:\\DIR\\", ""},
    };
    for (const auto &c : cases) {
        MessageListEntry e = Entry("OK", 1);
        std::snprintf(e.AssocFile, sizeof e.AssocFile, "%s", c.assoc);
        char out[64];
        RowNameText(&e, "(Untitled)", out, sizeof out);
        EXPECT_STREQ(out, c.text) << c.assoc;
    }
    // A full-length path without terminator and a small output stay bounded.
    MessageListEntry e = Entry("OK", 1);
    std::memset(e.AssocFile, 'X', sizeof e.AssocFile);
    char out[8];
    RowNameText(&e, "(Untitled)", out, sizeof out);
    EXPECT_STREQ(out, "xxxxxxx");
}

TEST(PaintLog, DateColumn)
{
    const struct {
        const char *sTime, *sShortDate;
        int h, mi, s, d, mo, y;
        const char *text;
    } cases[] = {
        {":", "dd/MM/yy", 18, 30, 5, 24, 12, 96, "18:30  24/12/96"},
        {".", "M/d/yy", 7, 5, 0, 3, 1, 2, "07.05  01/03/02"},
        {":", "yyyy-MM-dd", 9, 0, 0, 1, 2, 97, "09:00  97-02-01"},
        {":", "dd.MM.yy", 0, 0, 1, 0, 0, 0, "00:00  00.00.00"},
        {":", "dd.MM.yy", 0, 0, 0, 0, 0, 0, ""},
        {":", "dd.MM.yy", 0, 0, 0, 0, 0, 1996, "00:00  00.00.1996"},
        {"%", "dd%MM%yy", 18, 30, 0, 24, 12, 96, "18%30  24%12%96"},
    };
    for (const auto &c : cases) {
        TvIntlFormats f;
        IntlFormatsFrom(c.sTime, c.sShortDate, &f);
        MessageListEntry e = Entry("OK", 3);
        e.Hour = c.h, e.Minute = c.mi, e.Second = c.s, e.Day = c.d, e.Month = c.mo, e.Year = c.y;
        char out[64] = "junk";
        RowDateText(&e, &f, out, sizeof out);
        EXPECT_STREQ(out, c.text) << c.sShortDate;
    }
}

TEST(PaintLog, DateColumnSurvivesOddFormats)
{
    // Formats are expanded field by field: percent separators, extra fields
    // and unterminated format buffers cannot reach beyond the values.
    TvIntlFormats f{};
    std::strcpy(f.timeFormat, "%02d%%%02d");
    std::strcpy(f.dateFormat, "%02d%s%02d%n%02d%02d");
    f.dateOrder = TV_DATE_DMY;
    MessageListEntry e = Entry("OK", 3);
    e.Hour = 1, e.Minute = 2, e.Day = 3, e.Month = 4, e.Year = 5;
    char out[64];
    RowDateText(&e, &f, out, sizeof out);
    EXPECT_STREQ(out, "01%02  03%s04%n05");
    std::memset(f.timeFormat, 'T', sizeof f.timeFormat);
    std::memset(f.dateFormat, 'D', sizeof f.dateFormat);
    RowDateText(&e, &f, out, sizeof out);
    EXPECT_EQ(std::string(out), std::string(16, 'T') + "  " + std::string(24, 'D'));
    char tiny[5];
    IntlFormatsFrom(":", "dd.MM.yy", &f);
    RowDateText(&e, &f, tiny, sizeof tiny);
    EXPECT_STREQ(tiny, "01:0");
}

TEST(PaintLog, FiledDirectoryText)
{
    const struct {
        const char *dir, *text;
    } cases[] = {
        {"C:\\TAVRINE\\FILED\\", "c:\\tavrine\\filed"},
        {"C:\\", "c:\\"},
        {"\\", "\\"},
        {"\\\\SRV\\SHARE\\", "\\\\srv\\share"},
        {"C:\\NOSLASH", "c:\\noslash"},
        {"", ""},
        {nullptr, ""},
    };
    for (const auto &c : cases) {
        char out[64] = "junk";
        FiledDirText(c.dir, out, sizeof out);
        EXPECT_STREQ(out, c.text) << (c.dir ? c.dir : "(null)");
    }
}

}  // namespace
