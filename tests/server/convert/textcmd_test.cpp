// Text command scanner and replace variables: one table of input against
// delivered bytes, then the control-file variables on a fixture file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "server/convert/raster.h"
#include "server/convert/textcmd.h"
#include "tests/support/tempdir.h"

namespace {

std::vector<std::string> g_log;
void CaptureLog(int level, const char *text) { g_log.push_back(std::to_string(level) + " " + text); }
bool Logged(const std::string &part) {
    for (const std::string &l : g_log)
        if (l.find(part) != std::string::npos) return true;
    return false;
}

struct Mem {
    std::string data;
    size_t pos;
};
int MemRead(void *ctx) {
    Mem *m = static_cast<Mem *>(ctx);
    if (m->pos >= m->data.size()) return -1;
    return static_cast<unsigned char>(m->data[m->pos++]);
}

// Everything the scanner delivers for an input.
std::string Scan(const std::string &input, ConvDetails *details = nullptr, FILE *control = nullptr,
                 AppendList *list = nullptr) {
    Mem m = {input, 0};
    TextScanner s;
    TextScannerInit(&s, &m, MemRead, control, details, list);
    std::string out;
    for (int i = 0; i < 100000; i++) {
        int c = ScanTextEscape(&s);
        if (c < 0) break;
        out += char(c);
    }
    return out;
}

std::string Esc(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s += char(b);
    return s;
}

class TextCmdTest : public ::testing::Test {
protected:
    void SetUp() override {
        RasterReset();
        g_log.clear();
        TextCmdSetLogHook(CaptureLog);
        memset(&d, 0, sizeof d);
        ConvDetailsInit(&d);
        strcpy(d.accepted, "99-03-07 10:05:09");
        strcpy(d.from, "Ann Smith");
        strcpy(d.fromFax, "+44 1 2345");
    }
    void TearDown() override { TextCmdSetLogHook(nullptr); }
    ConvDetails d;
    tvtest::TempDir tmp_{"textcmd"};
    const std::string ctl_ = tmp_.File("ctl.tmp"); // a control file of the test's own
};

TEST_F(TextCmdTest, DeliveredBytes) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"plain text", "plain text"},
        {"%%%%[DATE]!", "%7th March 1999!"},        // even run of 4: one % and a command
        {"%%%[DATE]", "%%[DATE]"},                  // odd run of 3: two %, the bracket, text
        {"%[x]", "%[x]"},
        {"[x]", "[x]"},
        {"50%% off", "50%% off"},
        {"%%[ab cd]", "%%[ab cd]"},                 // a blank: printed as text, brackets included
        {"%%[DATE", "%%[DATE"},                     // input ends inside the command
        {"ab\x1a" "cd", "ab"},                      // Ctrl-Z ends the input
        {"ab%%\x1a" "cd", "ab%%"},
        {"%%[DOWN:250]", Esc({27, 'J', 200, 27, 'J', 200, 27, 'J', 100})},
        {"%%[DOWN:7]", Esc({27, 'J', 14})},
        {"%%[DOWN:0]", ""},
        {"%%[RIGHT:3]", Esc({27, '\\', 4, 0})},
        {"%%[RIGHT:1500]", Esc({27, '\\', 2000 & 255, 2000 >> 8})},
        {"%%[XPOS:300]", Esc({27, '$', 200, 0})},
        {"%%[XPOSR:1000]", Esc({27, '$', 666 & 255, 0x80 | (666 >> 8)})},
        {"%%[XPOS:2001]", ""},
        {"%%[XPOS:abc]", ""},
        {"%%[LMARGIN:10]", Esc({27, 'l', 10})},
        {"%%[LMARGIN:256]", ""},
        {"%%[FONT:swiss32]", Esc({27, 'k', 255, 27, '!', 5})},
        {"%%[FONT:ROMANPS]", Esc({27, 'k', 0, 27, '!', 2})},
        {"%%[FONT:ROMAN16]", ""},
        {"%%[UNDERLINE:ON]", Esc({27, '-', 1})},
        {"%%[BOLD:off]", Esc({27, 'F'})},
        {"%%[BOLD:maybe]", ""},
        {"%%[COLOUR:red]", ""},
        {"%%[NEWPAGE]", "\f"},
        {"%%[T]", "10:05"},
        {"%%[F]/%%[FROMFAX]", "Ann Smith/+44 1 2345"},
        {"%%[M]", ""},                              // no message ID
        {"[%%[a.b]]", "[]"},                        // not letters and digits
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Scan(c.in, &d), c.out) << c.in;
    }
    // DOWN 2000: 19 steps of 200 and one of 200 (n = 100 at the end).
    std::string down = Scan("%%[down:2000]x", &d);
    ASSERT_EQ(down.size(), 61u);
    for (int i = 0; i < 20; i++) EXPECT_EQ(down.substr(size_t(3 * i), 3), Esc({27, 'J', 200}));
    EXPECT_TRUE(Logged("Invalid replace variable 'a.b' - ignored"));
}

TEST_F(TextCmdTest, FontCarriesBoldAndUnderline) {
    g_raster.bold = 1;
    EXPECT_EQ(Scan("%%[FONT:ROMAN12]", &d), Esc({27, 'k', 0, 27, '!', 9}));
    g_raster.underline = 1;
    EXPECT_EQ(Scan("%%[FONT:SSERIF8]", &d), Esc({27, 'k', 255, 27, '!', 33 | 8 | 128}));
}

TEST_F(TextCmdTest, LongValuesAndNoRescan) {
    // A value of 280 characters is cut to 99 and fits the push-back buffer;
    // a value that holds a command is printed, not carried out.
    memset(d.from, 'x', 280);
    d.from[280] = 0;
    EXPECT_EQ(Scan("<%%[FROM]>", &d), "<" + std::string(99, 'x') + ">");
    strcpy(d.from, "%%[FROM]%%[NEWPAGE]");
    EXPECT_EQ(Scan("%%[FROM]", &d), "%%[FROM]%%[NEWPAGE]");
    // A command text of 98 characters without "]" is delivered as text.
    std::string name(120, 'A');
    EXPECT_EQ(Scan("%%[" + name, &d), "%%[" + name);
    // Percent runs far longer than any buffer.
    std::string run(5000, '%');
    EXPECT_EQ(Scan(run + "[NEWPAGE]", &d), std::string(2499, '%') + "\f");
}

TEST_F(TextCmdTest, UngetComesBackFirst) {
    Mem m = {"%%%%%%%x%%[T]", 0};
    TextScanner s;
    TextScannerInit(&s, &m, MemRead, nullptr, &d, nullptr);
    std::string out;
    int c;
    bool early = false, late = false;
    while ((c = ScanTextEscape(&s)) >= 0) {
        out += char(c);
        // The renderer hands a byte back: inside the percent run, and from
        // a variable's text.
        if ((out.size() == 3 && !early) || (out.size() == 9 && !late)) {
            (out.size() == 3 ? early : late) = true;
            TextUnget(&s, c);
            out.pop_back();
        }
    }
    EXPECT_EQ(out, "%%%%%%%x10:05");
}

TEST_F(TextCmdTest, DatesAndMessageId) {
    struct Case {
        const char *accepted, *longPicture, *var, *out;
    } cases[] = {
        {"99-03-01 00:00:00", "", "D", "1st March 1999"},
        {"05-12-22 00:00:00", "", "LONGDATE", "22nd December 2005"},
        {"79-01-23 00:00:00", "", "DATE", "23rd January 2079"},
        {"80-01-11 00:00:00", "", "DATE", "11th January 1980"},
        {"99-03-07 10:05:09", "dd/MM/yyyy", "DATE", "07/03/1999"},
        {"99-03-07 10:05:09", "", "SHORTDATE", ""}, // short picture set below
        {"99-13-07 10:05:09", "", "DATE", ""},
        {"garbage", "", "T", ""},
    };
    for (const Case &c : cases) {
        strcpy(d.accepted, c.accepted);
        strcpy(d.longPicture, c.longPicture);
        strcpy(d.shortPicture, "d.M.yy");
        std::string want = c.out;
        if (std::string(c.var) == "SHORTDATE") want = "7.3.99";
        EXPECT_EQ(Scan(std::string("%%[") + c.var + "]", &d), want) << c.accepted << " " << c.var;
    }
    EXPECT_TRUE(Logged("Unable to get Accepted: date and time"));
    d.hasMsgId = 1;
    d.msgId = 0x1A2Bu;
    EXPECT_EQ(Scan("%%[MSGID]", &d), "00001A2B");
}

TEST_F(TextCmdTest, PageCountMarks) {
    d.knownTotal = 3;
    d.pagesWritten = 1;
    d.currentPage = 1;
    EXPECT_EQ(Scan("%%[P]", &d), "3");
    EXPECT_EQ(d.markPage, 1);
    EXPECT_EQ(d.markCount, 3);
    EXPECT_EQ(d.prevMarkPage, -1);
    d.currentPage = 4;
    EXPECT_EQ(Scan("%%[PAGES]", &d), "5");
    EXPECT_EQ(d.markPage, 4);
    EXPECT_EQ(d.markCount, 5);
    EXPECT_EQ(d.prevMarkPage, 1);
    EXPECT_EQ(d.prevMarkCount, 3);
}

TEST_F(TextCmdTest, AppendList) {
    AppendList list = {};
    EXPECT_EQ(Scan("%%[>logo.g3n]%%[APPEND:Two]%%[>]%%[APPEND:THIRTEENCHARS]", &d, nullptr, &list), "");
    ASSERT_EQ(list.count, 2);
    EXPECT_STREQ(list.names[0], "LOGO.G3N");
    EXPECT_STREQ(list.names[1], "TWO");
    EXPECT_TRUE(Logged("Invalid Append file name 'THIRTEENCHARS'"));
    for (int i = 0; i < 20; i++) AppendListAdd(&list, "X", "Append");
    EXPECT_EQ(list.count, 20);
    EXPECT_TRUE(Logged("Too many Append files - 'X' ignored"));
}

// A control file with covertext lines and two addressees, at path.
FILE *ControlFixture(const std::string &path) {
    FILE *f = fopen(path.c_str(), "w+b");
    if (!f) return nullptr;
    fputs("[TAVRINE]\r\nType: SendControl\r\n\r\n[MESSAGE]\r\nAccepted: 99-03-07 10:05:09\r\n"
          "[OPTIONS]\r\nFrom: Ann\r\nCovertext: First line\r\nCoverText: \\\\server\\share\r\n"
          "Covertext: \\nNew paragraph\r\nAttach: X.G3N\r\n"
          "[ADDRESSEES]\r\nShortName: BOB\r\nAddrStatus: Wa\r\nField: Name Bob Jones\r\n"
          "Field: Title\r\nField: Fax 123\r\nShortName: CAROL\r\nField: Name Carol King\r\n"
          "Field: DearName/Greeting Dear Carol\r\nField: Fax 456\r\n",
          f);
    fflush(f);
    return f;
}

TEST_F(TextCmdTest, CovertextLines) {
    FILE *f = ControlFixture(ctl_);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(Scan("%%[NOTE]|%%[N]|%%[COVERTEXT2]|%%[NOTE]|%%[NOTE]", &d, f),
                 "First line|\\server\\share|New paragraph||");
    fclose(f);
    // No [OPTIONS] paragraph.
    f = fopen(ctl_.c_str(), "w+b");
    ASSERT_NE(f, nullptr);
    fputs("[MESSAGE]\r\nAccepted: 99-03-07 10:05:09\r\n", f);
    EXPECT_EQ(Scan("%%[NOTE]", &d, f), "");
    EXPECT_TRUE(Logged("[OPTIONS] para missing from control file"));
    fclose(f);
}

TEST_F(TextCmdTest, AddresseeFields) {
    FILE *f = ControlFixture(ctl_);
    ASSERT_NE(f, nullptr);
    d.addressee = 2;
    g_raster.commonPage = 1;
    EXPECT_EQ(Scan("%%[name];%%[GREETING];%%[DEARNAME];%%[FAX];%%[Dear];%%[Title]", &d, f),
              "Carol King;Dear Carol;Dear Carol;456;;");
    EXPECT_EQ(g_raster.commonPage, 0);
    d.addressee = 1;
    EXPECT_EQ(Scan("%%[Name]/%%[Fax]", &d, f), "Bob Jones/123");
    d.addressee = 3;
    EXPECT_EQ(Scan("%%[Name]", &d, f), "");
    EXPECT_TRUE(Logged("[ADDRESSEE] Shortname: section number 3 missing"));
    d.addressee = 0;
    g_raster.commonPage = 1;
    EXPECT_EQ(Scan("%%[Name]", &d, f), "");
    EXPECT_EQ(g_raster.commonPage, 0); // an addressee field all the same
    fclose(f);
}

} // namespace
