// Conversion of a message and the converter's packet handling, in process:
// a message folder laid out in a scratch folder of the test, converted with
// RunConversion, the page files decoded and checked.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/faxtiff.h"
#include "common/mhdecode.h"
#include "common/platform.h"
#include "server/convert/convmsg.h"
#include "server/convert/epson.h"
#include "server/convert/msgconv.h"
#include "server/convert/raster.h"
#include "server/convert/textcmd.h"
#include "server/runtime/mailslot.h"
#include "server/runtime/mhencode.h"
#include "server/runtime/packets.h"
#include "server/runtime/srvlog.h"
#include "server/runtime/sysparams.h"
#include "standins/queueman/queueman.h"
#include "tests/support/tempdir.h"
#ifndef _WIN32
#include "tests/server/convert/libtiff_check.h"
#endif

#ifndef TAVRINE_FONT_DIR
#define TAVRINE_FONT_DIR "fonts/"
#endif

namespace {

const char S = ConvPathSeparator();
std::string g_root; // this test's folder, ending in a separator
FILE *g_logFile;

std::string Dir(const std::string &rel) {
    std::string p = g_root;
    for (char c : rel) p += c == '/' ? S : c;
    return p;
}

void MakeDirs(const std::string &path) {
    for (size_t i = 1; i <= path.size(); i++)
        if (i == path.size() || path[i] == S) TvPlatMakeDir(path.substr(0, i).c_str());
}

void WriteFile(const std::string &path, const std::string &data) {
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fwrite(data.data(), 1, data.size(), f);
    fclose(f);
}

std::string ReadFile(const std::string &path) {
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return "<missing>";
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    fclose(f);
    return s;
}

bool Exists(const std::string &path) { return TvPlatFileExists(path.c_str()); }

[[maybe_unused]] bool DirExists(const std::string &path) {
    TvDirEntry e;
    TvDirIter *it = TvPlatFindFirst(path.c_str(), &e);
    if (!it) return false;
    TvPlatFindClose(it);
    return (e.attributes & TV_ATTR_DIRECTORY) != 0;
}

#ifndef _WIN32
// The converter's mailslot in this process (made once).
TvMailslot ConverterSlot() {
    static TvMailslot slot = nullptr;
    if (!slot) MsgMakePipe("ZOROVIZ", 0, &slot);
    return slot;
}
#endif

std::string LogText() {
    fflush(g_logFile);
    long end = ftell(g_logFile);
    std::string s(size_t(end > 0 ? end : 0), '\0');
    fseek(g_logFile, 0, SEEK_SET);
    if (!s.empty()) fread(&s[0], 1, s.size(), g_logFile);
    fseek(g_logFile, 0, SEEK_END);
    return s;
}

// A fax TIFF file of pages drawn by a function of (page, row) giving the
// black pixel span [from, to) of the row.
struct Span {
    int from, to;
};
template <class F> void WriteFax(const std::string &path, int pages, int rows, int yres, F span) {
    FILE *f = fopen(path.c_str(), "w+b");
    ASSERT_NE(f, nullptr) << path;
    FaxPageState st;
    ASSERT_EQ(StartTiffFaxFile(f, &st, 1728, uint16_t(yres)), 0);
    for (int p = 0; p < pages; p++)
        for (int r = 0; r < rows; r++) {
            uint8_t row[216] = {0};
            Span s = span(p, r);
            for (int x = s.from; x < s.to && x < 1728; x++) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
            int end = r == rows - 1;
            ASSERT_EQ(WriteTiffFaxRow(f, &st, row, 216, end, end && p == pages - 1), 0);
        }
    fclose(f);
}

struct Page {
    int width = 0, lines = 0, yres = 0;
    std::vector<std::vector<uint8_t>> rows;
    bool Black(int row, int x) const {
        return row < int(rows.size()) && (rows[size_t(row)][size_t(x >> 3)] & (0x80 >> (x & 7)));
    }
    int BlackCount() const {
        int n = 0;
        for (const auto &r : rows)
            for (uint8_t b : r) n += __builtin_popcount(b);
        return n;
    }
};

// The pages of a fax file (pages of length 0 left out); *count the file's
// page count by the library's reader.
std::vector<Page> ReadPages(const std::string &path, int *count = nullptr) {
    std::vector<Page> pages;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return pages;
    static MhDecoder dec;
    uint16_t n = 0;
    for (uint16_t i = 0;; i++) {
        uint16_t w, lines, yres, c;
        uint32_t bytes;
        if (!OpenFaxPageOn(&dec, f, i, &w, &lines, &bytes, &yres, &c)) break;
        n = c;
        Page p;
        p.width = w, p.lines = lines, p.yres = yres;
        for (int r = 0; r < lines; r++) {
            std::vector<uint8_t> row(216, 0);
            ReadFaxRowOn(&dec, -1, row.data(), row.size());
            p.rows.push_back(row);
        }
        pages.push_back(p);
    }
    if (count) {
        TiffHeader h;
        fseek(f, 0, SEEK_SET);
        *count = ReadTiffHeader(f, &h) ? int(n) : -1;
    }
    fclose(f);
    return pages;
}

const char kControl[] =
    "[TAVRINE]\r\nType: SendControl\r\nRevision: A\r\n\r\n"
    "[DOCUMENT]\r\nFile: MSG1.TXT\r\n\r\n"
    "[MESSAGE]\r\nFormat: TXT\r\nAccepted: 26-12-10 13:45:07\r\nType: SEND\r\n\r\n"
    "[OPTIONS]\r\nFrom: Ann Sender\r\nFromTelephone: 555 0100\r\nFromFax: 555 0101\r\n"
    "FromEmail: ann@example.com\r\nFromParam:\r\nCoversheet: COVER\r\nLetterhead: LETTER\r\n"
    "Covertext: Please find the papers enclosed.\r\nAttach: ATT.G3F\r\n\r\n"
    "[ADDRESSEES]\r\nShortName: BOB\r\nAddrStatus: Wa\r\nName: Bob Brown\r\nField: Name Bob Brown\r\n"
    "Via: FAX-ANY 5550123\r\nShortName: CAROL\r\nAddrStatus: Wa\r\nName: Carol Clark\r\n"
    "Field: Name Carol Clark\r\nVia: FAX-ANY 5550124\r\n";

// The plainest control file: no coversheet, no letterhead, no attachment.
std::string PlainControl() {
    std::string c = kControl;
    auto cut = [&](const std::string &from, const std::string &to) {
        size_t p = c.find(from);
        c.replace(p, from.size(), to);
    };
    cut("Coversheet: COVER", "Coversheet:");
    cut("Letterhead: LETTER", "Letterhead:");
    cut("Attach: ATT.G3F\r\n", "");
    return c;
}

class ConvMsgTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_root = tmp_.Path() + S;
        for (const char *d : {"SYSTEM/T-DB", "SYSTEM/T-COVER", "SYSTEM/T-LETTER", "SYSTEM/T-GRAPH",
                              "SERVER/T-TEMP", "USERS/JSMITH/T-OUT", "USERS/JSMITH/T-GRAPH"})
            MakeDirs(Dir(d));
        // The fonts of the system, from the source tree.
        static const char *fam[] = {"PICA", "SS18", "ELIT", "SS11"};
        for (const char *f : fam)
            for (const char *k : {"LN", "SN", "LF", "SF"}) {
                std::string n = std::string(f) + "_" + k + ".FN";
                std::string data = ReadFile(std::string(TAVRINE_FONT_DIR) + n);
                ASSERT_NE(data, "<missing>") << n;
                WriteFile(Dir("SYSTEM/T-DB/") + n, data);
            }
        ResetSystemParameters();
        snprintf(g_sysParams.allUserArea, sizeof g_sysParams.allUserArea, "%s", Dir("USERS/").c_str());
        snprintf(g_sysParams.systemArea, sizeof g_sysParams.systemArea, "%s", Dir("SYSTEM/").c_str());
        snprintf(g_sysParams.serverArea, sizeof g_sysParams.serverArea, "%s", Dir("SERVER/").c_str());
        ConvDefaultSettings();
        g_convSettings.delayTime = 0;
        ConvSetPollHook(nullptr);
        if (!g_logFile) g_logFile = tmpfile();
        LogInit(g_logFile, nullptr, 3, "ZOROVIZ");
    }
    void TearDown() override {
#ifndef _WIN32
        // Every page file the test's conversions left is read by libtiff.
        for (const char *fmt : {"G3N", "G3F", "G3S"}) CheckFolderWithLibtiffTools(Out(fmt) + S);
#endif
        g_root.clear();
    }

    tvtest::TempDir tmp_{"convmsg"}; // removed with everything in it after TearDown

    // The sample message MSG1: coversheet with an addressee field and a
    // background, a text document with a letterhead, commands and
    // variables, an EPSON stream, a fax page of another resolution, an
    // attachment. The format subfolders are not made (the converter does).
    void WriteSampleMessage() {
        std::string out = Dir("USERS/JSMITH/T-OUT/");
        WriteFile(out + "MSG1.CTL", kControl);
        WriteFile(out + "MSG1.CVT", "");
        WriteFile(out + "MSG1.TXT",
                  "From: %%[FROM] (%%[FROMTELEPHONE])\r\nSent %%[SHORTDATE] at %%[TIME], message %%[MSGID]\r\n"
                  "%%[BOLD:ON]Quarterly figures%%[BOLD:OFF] and 100%% sure\r\n%%[DOWN:20]Pages: %%[PAGES]\r\n");
        WriteFile(out + "MSG1.001", std::string("\x1b@\x1b" "EEPSON stream\x1b" "F\r\n\x1bK\x04\x00\xff\xff\xff\xff\r\n", 30));
        // A fine-resolution document page arriving as G3N: a 800-pixel bar on
        // rows 0-49 (rows 0-99 once doubled for G3F).
        WriteFax(out + "MSG1.002", 1, 300, 100, [](int, int r) { return r < 50 ? Span{0, 800} : Span{0, 0}; });
        WriteFile(Dir("SYSTEM/T-COVER/COVER.EPN"),
                  "\x1b@To: %%[Name]\r\nFrom: %%[F]\r\n%%[COVERTEXT]\r\n");
        // Coversheet background: a rule across rows 4-5.
        WriteFax(Dir("SYSTEM/T-COVER/COVER.G3F"), 1, 2000, 200,
                 [](int, int r) { return (r == 4 || r == 5) ? Span{0, 1728} : Span{0, 0}; });
        // Letterhead (G3N only, used for G3F): a block in the right corner.
        WriteFax(Dir("SYSTEM/T-LETTER/LETTER.G3N"), 1, 20, 100,
                 [](int, int r) { return r < 10 ? Span{1600, 1720} : Span{0, 0}; });
        // Attachment in the user's T-GRAPH, two pages.
        WriteFax(Dir("USERS/JSMITH/T-GRAPH/ATT.G3F"), 2, 400, 200,
                 [](int p, int r) { return r == 200 ? Span{100 + 100 * p, 300 + 100 * p} : Span{0, 0}; });
    }

    std::string Out(const std::string &name) { return Dir("USERS/JSMITH/T-OUT/") + name; }

    TvStatus Convert(const std::vector<std::string> &words) {
        std::vector<std::string> a = {"ZOROVIZ"};
        a.insert(a.end(), words.begin(), words.end());
        std::vector<char *> argv;
        for (auto &s : a) argv.push_back(&s[0]);
        argv.push_back(nullptr);
        return RunConversion(int(a.size()), argv.data());
    }

    bool NoIntermediatePages(const char *fmt) {
        for (int p = 0; p < 12; p++) {
            char n[40];
            snprintf(n, sizeof n, "%s%cMSG1.P%02d", fmt, S, p);
            if (Exists(Out(n))) return false;
        }
        return true;
    }
};

TEST_F(ConvMsgTest, SampleMessageTwoAddressees) {
    WriteSampleMessage();
    ASSERT_EQ(Convert({"jsmith", "msg1", "txt", "g3f", "1", "1a2b"}), TV_OK) << LogText();
    // Addressee file: the coversheet (it prints the addressee's name).
    int count = -1;
    std::vector<Page> addr = ReadPages(Out("G3F/MSG1.001"), &count);
    ASSERT_EQ(addr.size(), 1u);
    EXPECT_EQ(count, 1);
    // Common file: text, EPSON, the recoded G3N page, two attachment pages.
    std::vector<Page> common = ReadPages(Out("G3F/MSG1.G3F"), &count);
    ASSERT_EQ(common.size(), 5u) << LogText();
    EXPECT_EQ(count, 5);
    EXPECT_EQ(ReadFile(Out("MSG1.CVT")), "\r\n[G3F]\r\nPages: 001/006\r\n");
    EXPECT_TRUE(NoIntermediatePages("G3F"));
    for (const std::vector<Page> *file : {&addr, &common})
        for (const Page &p : *file) {
            EXPECT_EQ(p.width, 1728);
            EXPECT_EQ(p.yres, 200);
        }

    // Coversheet: its background rule, and text drawn on it.
    EXPECT_TRUE(addr[0].Black(4, 1720) && addr[0].Black(5, 3) && !addr[0].Black(6, 1720));
    EXPECT_GT(addr[0].BlackCount(), 1728 * 2 + 500);
    // The letterhead (G3N, lines doubled) is on the first document's page
    // only: rows 0-19 of the right corner.
    EXPECT_TRUE(common[0].Black(0, 1650) && common[0].Black(19, 1650) && !common[0].Black(20, 1650));
    EXPECT_FALSE(common[1].Black(0, 1650));
    EXPECT_GT(common[0].BlackCount(), 1000);
    // EPSON page: ESC K with four full columns is a 12-pixel block 24 rows
    // high on the second text line (top offset 100, line spacing 32).
    int blockRows = 0;
    for (int r = 0; r < common[1].lines; r++) {
        bool full = !common[1].Black(r, 143) && !common[1].Black(r, 156);
        for (int x = 144; x < 156; x++) full = full && common[1].Black(r, x);
        if (full) blockRows++;
    }
    EXPECT_EQ(blockRows, 24);
    // The G3N document page scaled to G3F: 100 black rows, then white; the
    // page keeps 600 rows.
    EXPECT_EQ(common[2].lines, 600);
    EXPECT_TRUE(common[2].Black(99, 799) && !common[2].Black(99, 800) && !common[2].Black(100, 0));
    // The attachment's pages, coded data copied.
    EXPECT_EQ(common[3].lines, 400);
    EXPECT_TRUE(common[3].Black(200, 100) && !common[3].Black(200, 300));
    EXPECT_TRUE(common[4].Black(200, 200) && !common[4].Black(200, 199));

#ifndef _WIN32
    // libtiff reads and decodes every page (the folder is checked again,
    // with the later files, when the test ends).
    CheckWithLibtiffTools(Out("G3F/MSG1.001"), 1);
    CheckWithLibtiffTools(Out("G3F/MSG1.G3F"), 5);
#endif

    // The second addressee: only its addressee file is written.
    std::string commonBefore = ReadFile(Out("G3F/MSG1.G3F"));
    ASSERT_EQ(Convert({"JSMITH", "MSG1", "TXT", "G3F", "2"}), TV_OK) << LogText();
    std::vector<Page> second = ReadPages(Out("G3F/MSG1.002"));
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NE(second[0].rows, addr[0].rows); // another name on the coversheet
    EXPECT_EQ(ReadFile(Out("G3F/MSG1.G3F")), commonBefore);
    EXPECT_EQ(ReadFile(Out("MSG1.CVT")), "\r\n[G3F]\r\nPages: 001/006\r\n");
    EXPECT_TRUE(NoIntermediatePages("G3F"));

    // The common file deleted: the message is converted whole again and the
    // record gets a new paragraph, which the next conversion reads.
    TvPlatRemove(Out("G3F/MSG1.G3F").c_str());
    ASSERT_EQ(Convert({"JSMITH", "MSG1", "TXT", "G3F", "1", "1a2b"}), TV_OK);
    EXPECT_NE(LogText().find("Recreating converted file MSG1.G3F"), std::string::npos);
    EXPECT_EQ(ReadFile(Out("G3F/MSG1.G3F")), commonBefore);
    EXPECT_EQ(ReadFile(Out("MSG1.CVT")), "\r\n[G3F]\r\nPages: 001/006\r\n\r\n[G3F]\r\nPages: 001/006\r\n");
}

// G3S renders at fine and writes every row twice; G3N at normal.
TEST_F(ConvMsgTest, ResolutionsOfTextPages) {
    WriteFile(Out("MSG1.CTL"), PlainControl());
    WriteFile(Out("MSG1.CVT"), "");
    WriteFile(Out("MSG1.TXT"), "Resolution test\r\n");
    struct Case {
        const char *fmt;
        int yres, lines;
    } cases[] = {{"G3N", 100, 72 * 16}, {"G3F", 200, 72 * 32}, {"G3S", 400, 2 * 72 * 32}};
    std::vector<Page> fine;
    for (const Case &c : cases) {
        ASSERT_EQ(Convert({"JSMITH", "MSG1", "TXT", c.fmt, "1"}), TV_OK) << c.fmt << LogText();
        std::vector<Page> p = ReadPages(Out(std::string(c.fmt) + S + "MSG1." + c.fmt));
        ASSERT_EQ(p.size(), 1u) << c.fmt;
        EXPECT_EQ(p[0].yres, c.yres) << c.fmt;
        EXPECT_EQ(p[0].lines, c.lines) << c.fmt;
        if (c.yres == 200) fine = p;
        if (c.yres == 400) {
            for (int r = 0; r < fine[0].lines; r++) {
                ASSERT_EQ(p[0].rows[size_t(2 * r)], fine[0].rows[size_t(r)]) << r;
            }
        }
        // No addressee-specific page: an empty addressee file.
        int count = -1;
        EXPECT_TRUE(ReadPages(Out(std::string(c.fmt) + S + "MSG1.001"), &count).empty());
        EXPECT_EQ(count, 0);
    }
    EXPECT_EQ(ReadFile(Out("MSG1.CVT")),
              "\r\n[G3N]\r\nPages: 000/001\r\n\r\n[G3F]\r\nPages: 000/001\r\n\r\n[G3S]\r\nPages: 000/001\r\n");
    // The empty addressee file: the header and one empty 1728-wide directory.
    FILE *f = fopen(Out("G3F/MSG1.001").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    TiffHeader h;
    TiffIfd ifd;
    uint16_t xr, yr;
    ASSERT_TRUE(ReadTiffHeader(f, &h));
    fseek(f, long(h.firstIfd), SEEK_SET);
    ASSERT_TRUE(ReadTiffIfd(f, &ifd, &xr, &yr));
    EXPECT_EQ(ifd.entry[TE_WIDTH].value, 1728u);
    EXPECT_EQ(ifd.entry[TE_LENGTH].value, 0u);
    EXPECT_EQ(ifd.nextIfd, 0u);
    fclose(f);
}

// The rows of a text document rendered straight through the raster (no
// page files, no shortcuts), each coded by the encoder; one string a page.
struct DirectPages {
    std::vector<std::string> pages;
    std::string current;
};
TvStatus DirectRow(void *ctx, const unsigned char *row, int bytes, int end) {
    DirectPages *d = static_cast<DirectPages *>(ctx);
    uint8_t code[MH_ROW_CODE_SIZE + 8];
    size_t n = MhEncodeRow(row, uint16_t(bytes * 8), end, code);
    d->current.append(reinterpret_cast<const char *>(code), n);
    if (end) {
        d->pages.push_back(d->current);
        d->current.clear();
    }
    return TV_OK;
}
struct TextSource {
    const std::string *text;
    size_t pos;
};
int TextSourceByte(void *ctx) {
    TextSource *t = static_cast<TextSource *>(ctx);
    return t->pos < t->text->size() ? (unsigned char)(*t->text)[t->pos++] : -1;
}
std::vector<std::string> RenderDirect(const std::string &text, int resolution) {
    RasterReset();
    snprintf(g_rasterSettings.fontDir, sizeof g_rasterSettings.fontDir, "%s", TAVRINE_FONT_DIR);
    RasterSetResolution(resolution);
    SelectFontSet(0);
    SetImageDensVars(GEOM_ASCII);
    DirectPages d;
    if (LoadFontSize(FONTSIZE_PICA) != TV_OK) return d.pages;
    EpsonStartStream();
    TextSource src = {&text, 0};
    TextScanner scan;
    TextScannerInit(&scan, &src, TextSourceByte, nullptr, nullptr, nullptr);
    RasterOutput out = {&d, DirectRow, nullptr, nullptr, nullptr};
    RasterSetOutput(&out);
    for (;;) {
        RasterPageResult res;
        if (RenderStreamPage(&scan, 0, &res) != TV_OK || res.inputEnded || res.rows == 0) break;
    }
    RasterSetOutput(nullptr);
    return d.pages;
}

// The converter codes rows through a shortcut (a row equal to the one
// before takes its code again): every page's strip must still be, byte for
// byte, the encoder's code of each row as the raster draws it, with the
// final EOL after the last row only. G3S writes each rendered row twice.
TEST_F(ConvMsgTest, PageStripsAreTheEncodersRowCodes) {
    WriteFile(Out("MSG1.CTL"), PlainControl());
    std::string text;
    for (int l = 0; l < 40; l++) text += "Line " + std::to_string(l) + ": ||| === ### iii lll\r\n";
    text += "\f" + std::string("Second page\r\n");
    WriteFile(Out("MSG1.TXT"), text);
    struct Case {
        const char *fmt;
        int resolution;
    } cases[] = {{"G3F", RES_FINE}, {"G3S", RES_SUPERFINE}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fmt);
        WriteFile(Out("MSG1.CVT"), "");
        ASSERT_EQ(Convert({"JSMITH", "MSG1", "TXT", c.fmt, "1"}), TV_OK) << LogText();
        std::string path = Out(std::string(c.fmt) + S + "MSG1." + c.fmt);
        std::vector<std::string> want = RenderDirect(text, c.resolution);
        ASSERT_EQ(want.size(), 2u);
        FILE *f = fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        TiffHeader h;
        ASSERT_TRUE(ReadTiffHeader(f, &h));
        uint32_t at = h.firstIfd;
        for (size_t p = 0; p < want.size(); p++) {
            TiffIfd ifd;
            uint16_t xr, yr;
            ASSERT_EQ(fseek(f, long(at), SEEK_SET), 0);
            ASSERT_TRUE(ReadTiffIfd(f, &ifd, &xr, &yr));
            std::string strip(ifd.entry[TE_STRIPBYTES].value, '\0');
            ASSERT_EQ(fseek(f, long(ifd.entry[TE_STRIPOFFSETS].value), SEEK_SET), 0);
            ASSERT_EQ(fread(&strip[0], 1, strip.size(), f), strip.size());
            EXPECT_TRUE(strip == want[p]) << "page " << p << ": " << strip.size() << " bytes against " << want[p].size();
            at = ifd.nextIfd;
        }
        fclose(f);
    }
}

// Variables print what the control file and the arguments say: a page with
// variables equals a page with the same text written out.
TEST_F(ConvMsgTest, VariablesAndPageCount) {
    std::string ctl = PlainControl();
    WriteFile(Out("VAR.CTL"), ctl);
    WriteFile(Out("LIT.CTL"), ctl);
    for (const char *m : {"VAR", "LIT"}) WriteFile(Out(std::string(m) + ".CVT"), "");
    // The page count is printed on the first page before the later pages
    // exist: the page is rendered again with the final count.
    WriteFile(Out("VAR.TXT"), "From %%[FROM] at %%[TIME], id %%[M], %%[FROMEMAIL]\r\nPage 1 of %%[PAGES]\f"
                              "two\fthree\r\n");
    WriteFile(Out("LIT.TXT"), "From Ann Sender at 13:45, id 00001A2B, ann@example.com\r\nPage 1 of 3\f"
                              "two\fthree\r\n");
    ASSERT_EQ(Convert({"JSMITH", "VAR", "TXT", "G3F", "1", "1A2B"}), TV_OK) << LogText();
    EXPECT_NE(LogText().find("Message page 1 contains page count - reconverting"), std::string::npos);
    ASSERT_EQ(Convert({"JSMITH", "LIT", "TXT", "G3F", "1"}), TV_OK);
    std::vector<Page> v = ReadPages(Out("G3F/VAR.G3F")), l = ReadPages(Out("G3F/LIT.G3F"));
    ASSERT_EQ(v.size(), 3u);
    ASSERT_EQ(l.size(), 3u);
    // The page rendered again for its count ends with one more white row.
    ASSERT_EQ(v[0].lines, l[0].lines + 1);
    v[0].rows.pop_back();
    EXPECT_EQ(v[0].rows, l[0].rows);
    EXPECT_GT(v[0].BlackCount(), 500);
}

// A fax document: with a letterhead its page is decoded and merged; the
// further fax document of the destination's resolution arrives with its
// coded data as it was. An empty coversheet still takes page 0.
TEST_F(ConvMsgTest, FaxDocumentsLetterheadAndEmptyCoversheet) {
    std::string ctl = PlainControl();
    ctl.replace(ctl.find("Letterhead:"), 11, "Letterhead: LETTER");
    ctl.replace(ctl.find("Coversheet:"), 11, "Coversheet: BLANK");
    WriteFile(Out("MSG1.CTL"), ctl);
    WriteFile(Out("MSG1.CVT"), "");
    WriteFile(Dir("SYSTEM/T-COVER/BLANK.EPN"), "\x1b@");
    WriteFax(Out("MSG1.G3F"), 1, 300, 200, [](int, int r) { return r >= 100 && r < 110 ? Span{0, 500} : Span{0, 0}; });
    WriteFax(Out("MSG1.001"), 1, 250, 200, [](int, int r) { return r == 7 ? Span{8, 16} : Span{0, 0}; });
    WriteFax(Dir("SYSTEM/T-LETTER/LETTER.G3N"), 1, 20, 100,
             [](int, int r) { return r < 10 ? Span{1600, 1720} : Span{0, 0}; });
    ASSERT_EQ(Convert({"JSMITH", "MSG1", "G3F", "G3F", "1"}), TV_OK) << LogText();
    std::vector<Page> p = ReadPages(Out("G3F/MSG1.G3F"));
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0].BlackCount(), 0); // the empty coversheet
    EXPECT_EQ(p[0].lines, 2212);
    EXPECT_EQ(p[1].lines, 300);
    EXPECT_TRUE(p[1].Black(0, 1650) && p[1].Black(19, 1650) && !p[1].Black(20, 1650));
    EXPECT_TRUE(p[1].Black(100, 0) && p[1].Black(109, 499) && !p[1].Black(110, 0));
    EXPECT_TRUE(p[2].Black(7, 8) && !p[2].Black(0, 1650));
    // The coded data of the further document is the source's.
    std::string src = ReadFile(Out("MSG1.001")), out = ReadFile(Out("G3F/MSG1.G3F"));
    std::string data = src.substr(8 + 202);
    EXPECT_NE(out.find(data), std::string::npos);
}

// An ABORT (the poll hook) stops the conversion at the next page.
TEST_F(ConvMsgTest, AbortStopsTheConversion) {
    WriteFile(Out("MSG1.CTL"), PlainControl());
    WriteFile(Out("MSG1.CVT"), "");
    WriteFile(Out("MSG1.TXT"), "one\ftwo\fthree\r\n");
    static int polls;
    polls = 0;
    ConvSetPollHook([] { return ++polls > 3 ? 1 : 0; });
    EXPECT_EQ(Convert({"JSMITH", "MSG1", "TXT", "G3N", "1"}), 0xF21F);
    ConvSetPollHook(nullptr);
    EXPECT_FALSE(Exists(Out("G3N/MSG1.G3N")));
    EXPECT_EQ(ReadFile(Out("MSG1.CVT")), "");
}

// Page header mode: one line-high page per line of the EPSON stream in the
// server's T-TEMP.
TEST_F(ConvMsgTest, PageHeaderMode) {
    WriteFile(Dir("SERVER/T-TEMP/TOPL001.EPN"), "10/12/26 09:41  \x07 555 0100  Northwind  1/2\r\n"
                                                "10/12/26 09:41  \x07 555 0100  Northwind  2/2\r\n");
    ASSERT_EQ(Convert({"*", "topl001", "EPN", "G3F", "0"}), TV_OK) << LogText();
    std::vector<Page> p = ReadPages(Dir("SERVER/T-TEMP/TOPL001.G3F"));
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].lines, 32);
    EXPECT_GT(p[0].BlackCount(), 300);
    EXPECT_NE(p[0].rows, p[1].rows);
#ifndef _WIN32
    CheckWithLibtiffTools(Dir("SERVER/T-TEMP/TOPL001.G3F"), 2);
#endif
    EXPECT_EQ(Convert({"*", "NOSUCH", "EPN", "G3F", "0"}), 0xF211);
}

// Further documents stop at the first missing number.
TEST_F(ConvMsgTest, FurtherDocumentsStopAtAGap) {
    WriteFile(Out("MSG1.CTL"), PlainControl());
    WriteFile(Out("MSG1.CVT"), "");
    WriteFile(Out("MSG1.TXT"), "first\r\n");
    WriteFile(Out("MSG1.001"), "second\r\n");
    WriteFile(Out("MSG1.003"), "not reached\r\n");
    ASSERT_EQ(Convert({"JSMITH", "MSG1", "TXT", "G3N", "1"}), TV_OK);
    EXPECT_EQ(ReadPages(Out("G3N/MSG1.G3N")).size(), 2u);
    EXPECT_EQ(ReadFile(Out("MSG1.CVT")), "\r\n[G3N]\r\nPages: 000/002\r\n");
}

// The page limit: a message of 99 pages (indexes 0-98) converts; its 100th
// page, from text, from a fax document or behind a coversheet, gives 0xF20A
// and nothing is recorded.
TEST_F(ConvMsgTest, HundredthPageGivesItsCode) {
    std::string text99;
    for (int i = 1; i <= 99; i++) text99 += "page " + std::to_string(i) + (i < 99 ? "\f" : "\r\n");
    std::string plain = PlainControl(), covered = plain;
    covered.replace(covered.find("Coversheet:"), 11, "Coversheet: BLANK");
    WriteFile(Dir("SYSTEM/T-COVER/BLANK.EPN"), "\x1b@Cover\r\n");
    struct Case {
        const char *name, *source;
        std::string ctl;
        int faxPages;           // 0: the text document
        TvStatus code;
        const char *cvt;
    };
    const Case cases[] = {
        {"99 text pages", "TXT", plain, 0, TV_OK, "\r\n[G3N]\r\nPages: 000/099\r\n"},
        {"99 fax pages", "G3N", plain, 99, TV_OK, "\r\n[G3N]\r\nPages: 000/099\r\n"},
        {"100 fax pages", "G3N", plain, 100, 0xF20A, ""},
        {"coversheet and 99 text pages", "TXT", covered, 0, 0xF20A, ""},
    };
    for (const Case &c : cases) {
        for (const char *f : {"MSG1.TXT", "MSG1.G3N", "G3N/MSG1.G3N", "G3N/MSG1.001"}) TvPlatRemove(Out(f).c_str());
        WriteFile(Out("MSG1.CTL"), c.ctl);
        WriteFile(Out("MSG1.CVT"), "");
        if (c.faxPages)
            WriteFax(Out("MSG1.G3N"), c.faxPages, 8, 100, [](int p, int r) { return Span{r == 3 ? p : 0, 200}; });
        else
            WriteFile(Out("MSG1.TXT"), text99);
        long before = ftell(g_logFile);
        EXPECT_EQ(Convert({"JSMITH", "MSG1", c.source, "G3N", "1"}), c.code) << c.name;
        EXPECT_EQ(ReadFile(Out("MSG1.CVT")), c.cvt) << c.name;
        if (c.code == TV_OK) {
            EXPECT_EQ(ReadPages(Out("G3N/MSG1.G3N")).size(), 99u) << c.name;
        } else {
            EXPECT_NE(LogText().substr(size_t(before)).find("Too many pages to convert"), std::string::npos) << c.name;
        }
        for (int p = 0; p < 100; p++) {
            char n[40];
            snprintf(n, sizeof n, "G3N%cMSG1.P%02d", S, p);
            ASSERT_FALSE(Exists(Out(n))) << c.name << ": " << n << " left behind";
        }
    }
}

// Failures: each one's result code, and nothing recorded.
TEST_F(ConvMsgTest, Failures) {
    struct Case {
        const char *name;
        std::vector<std::string> args;
        TvStatus code;
        const char *log;
    };
    auto setUp = [&](const std::string &ctl, const std::string &cvt, const std::string &txt) {
        TvPlatRemove(Out("MSG1.CTL").c_str());
        TvPlatRemove(Out("MSG1.CVT").c_str());
        TvPlatRemove(Out("MSG1.TXT").c_str());
        if (ctl != "-") WriteFile(Out("MSG1.CTL"), ctl);
        if (cvt != "-") WriteFile(Out("MSG1.CVT"), cvt);
        if (txt != "-") WriteFile(Out("MSG1.TXT"), txt);
    };
    const std::vector<std::string> ok = {"JSMITH", "MSG1", "TXT", "G3F", "1"};
    std::string plain = PlainControl();
    auto replaced = [&](const std::string &from, const std::string &to) {
        std::string c = plain;
        c.replace(c.find(from), from.size(), to);
        return c;
    };
    std::string hundred;
    for (int i = 0; i < 100; i++) hundred += "page\f";
    struct Fixture {
        std::string ctl, cvt, txt;
    };
    std::vector<std::pair<Case, Fixture>> cases = {
        {{"too few", {"JSMITH", "MSG1", "TXT", "G3F"}, 0xF212, "Too few arguments"}, {plain, "", "x\r\n"}},
        {{"too long", {"JSMITH", "MESSAGE12", "TXT", "G3F", "1"}, 0xF212, "Parameters too long"}, {plain, "", "x"}},
        {{"path in a name", {"JSMITH", "..\\X", "TXT", "G3F", "1"}, 0xF212, "Invalid parameters"}, {plain, "", "x"}},
        {{"addressee 1000", {"JSMITH", "MSG1", "TXT", "G3F", "1000"}, 0xF212, "Invalid parameters"}, {plain, "", "x"}},
        {{"no control file", ok, 0xF203, "File not found: "}, {"-", "", "x\r\n"}},
        {{"destination", {"JSMITH", "MSG1", "TXT", "G4X", "1"}, 0xF204, "Unsupported destination file format"},
         {plain, "", "x"}},
        {{"no From:", ok, 0xF21E, "Control file [OPTIONS] From: line missing"},
         {replaced("From: Ann Sender\r\n", ""), "", "x"}},
        {{"no Letterhead:", ok, 0xF21E, "Control file [OPTIONS] Letterhead: line missing"},
         {replaced("Letterhead:\r\n", ""), "", "x"}},
        {{"no record", ok, 0xF20F, "Unable to open file"}, {plain, "-", "x"}},
        {{"bad record", ok, 0xF209, "Pages count format in .CVT file invalid"},
         {plain, "\r\n[G3F]\r\nPages: 12-5\r\n", "x"}},
        {{"no document", ok, 0xF206, "Could not open message file"}, {plain, "", "-"}},
        {{"no pages", ok, 0xF213, "No pages in message"}, {plain, "", ""}},
        {{"coversheet", ok, 0xF205, "Coversheet file not found"}, {replaced("Coversheet:", "Coversheet: NONE"), "", "x"}},
        {{"letterhead", ok, 0xF207, "Letterhead file NOSUCH not found"},
         {replaced("Letterhead:", "Letterhead: NOSUCH"), "", "x"}},
        {{"attachment", ok, 0xF21A, "Can't open graphics file 'NOSUCH.G3F'"},
         {replaced("Covertext:", "Attach: nosuch.g3f\r\nCovertext:"), "", "x"}},
        {{"bad escape", ok, 0xF221, "Epson 15 cpi characters not supported"}, {plain, "", "x\x1bgy"}},
        {{"100th page", ok, 0xF20A, "Too many pages to convert"}, {plain, "", hundred}},
    };
    for (auto &c : cases) {
        setUp(c.second.ctl, c.second.cvt, c.second.txt);
        long before = ftell(g_logFile);
        EXPECT_EQ(Convert(c.first.args), c.first.code) << c.first.name;
        std::string log = LogText().substr(size_t(before));
        EXPECT_NE(log.find(c.first.log), std::string::npos) << c.first.name << "\n" << log;
        if (c.first.code != 0xF212) {
            EXPECT_NE(log.find("Conversion failed"), std::string::npos) << c.first.name;
        }
        if (c.second.cvt != "-" && c.first.code != 0xF209) {
            EXPECT_EQ(ReadFile(Out("MSG1.CVT")), "") << c.first.name;
        }
    }
}

#ifndef _WIN32
// Our QUEUEMAN turns a SEND request into one CONVERT per addressee, one at
// a time, after making the conversion record and the format subfolders.
TEST_F(ConvMsgTest, QueuemanSendsConvertPerAddressee) {
    TvMailslot zoroviz = ConverterSlot();
    ASSERT_NE(zoroviz, nullptr);
    ResetQueuemanTables();
    MakeDirs(Dir("REQUEST"));
    snprintf(g_sysParams.requestArea, sizeof g_sysParams.requestArea, "%s", Dir("REQUEST/").c_str());
    std::string ctl = kControl;
    ctl.replace(ctl.find("Covertext:"), 0, "Quality: HIGH\r\n");
    WriteFile(Out("MSG1.CTL"), ctl);
    WriteFile(Dir("REQUEST/~RQST001.CTL"),
              "[TAVRINE]\r\nType: Request\r\nRevision: A\r\n\r\n[REQUEST]\r\nServer: QueueMan\r\nType: SEND\r\n"
              "User: jsmith\r\nFile: MSG1.CTL\r\n");
    WriteFile(Dir("REQUEST/~RQST002.CTL"), "[REQUEST]\r\nServer: AddMan\r\nType: SEARCH\r\nFile: x.ASK\r\n");
    QueuemanScanRequests();
    EXPECT_FALSE(Exists(Dir("REQUEST/~RQST001.CTL")));
    EXPECT_TRUE(Exists(Dir("REQUEST/~RQST002.CTL"))); // not QUEUEMAN's SEND: left alone
    EXPECT_EQ(ReadFile(Out("MSG1.CVT")), "");
    for (const char *f : {"G3N", "G3F", "G3S"}) EXPECT_TRUE(DirExists(Out(f))) << f;
    auto next = [&]() {
        uint8_t buf[200];
        uint16_t len = 0;
        if (MsgReadRequest(zoroviz, buf, sizeof buf, &len) != TV_OK) return std::string("<none>");
        EXPECT_EQ(len, 134);
        EXPECT_EQ(buf[2], 5);
        EXPECT_EQ(buf[3], 1);
        return std::string(reinterpret_cast<char *>(buf + 6));
    };
    EXPECT_EQ(next(), "JSMITH MSG1 TXT G3F 1");
    EXPECT_EQ(next(), "<none>"); // the second waits for the reply
    uint8_t reply[6] = {6, 0, 1, 11, 0, 0};
    QueuemanHandlePacket(reply, 6);
    EXPECT_EQ(next(), "JSMITH MSG1 TXT G3F 2");
    QueuemanHandlePacket(reply, 6);
    EXPECT_EQ(next(), "<none>");
    EXPECT_EQ(QueuemanPendingConversions(), 0);
}
#endif

// ---------------------------------------------------------------- the service
TEST(ConverterService, ArgumentSplitStaysInItsField) {
    uint8_t pkt[200];
    memset(pkt, 'A', sizeof pkt); // no NUL anywhere: the text ends with the field
    ConvertArgs a;
    SplitConvertArgs(pkt, 134, &a);
    ASSERT_EQ(a.count, 2);
    EXPECT_EQ(strlen(a.argv[1]), 80u); // 128 characters cut to 80
    EXPECT_STREQ(a.argv[0], "ZOROVIZ");
    // 25 words give 20 entries; a NUL ends the text early.
    std::string words;
    for (int i = 0; i < 25; i++) words += char('a' + i), words += ' ';
    memset(pkt, 0, sizeof pkt);
    memcpy(pkt + 6, words.data(), words.size());
    SplitConvertArgs(pkt, 134, &a);
    ASSERT_EQ(a.count, 20);
    EXPECT_STREQ(a.argv[19], "s");
    EXPECT_EQ(a.argv[20], nullptr);
    memcpy(pkt + 6, "  user\0msg", 10);
    SplitConvertArgs(pkt, 134, &a);
    EXPECT_EQ(a.count, 2);
}

TEST(ConverterService, SettingsOutOfRange) {
    FILE *f = tmpfile();
    fputs("[OPTIONS]\r\nDateFormatShort: yy.MM.dd\r\n\r\n[ZOROVIZ]\r\nAsciiFormLength: 39\r\nAsciiTopMargin: 2\r\n"
          "ExtendedChars: NO\r\nDOSPound: YES\r\n",
          f);
    FILE *log = tmpfile();
    LogInit(log, nullptr, 3, "ZOROVIZ");
    ReadConverterSettings(f);
    fclose(f);
    EXPECT_EQ(g_rasterSettings.asciiFormLength, 72);
    EXPECT_EQ(g_rasterSettings.asciiTopMargin, 2);
    EXPECT_EQ(g_rasterSettings.extendedChars, 0);
    EXPECT_EQ(g_rasterSettings.dosPound, 1);
    EXPECT_STREQ(g_convSettings.shortPicture, "yy.MM.dd");
    EXPECT_EQ(g_convSettings.longPicture[0], 0); // no line: the built-in long form
    fseek(log, 0, SEEK_SET);
    char text[2000] = {0};
    fread(text, 1, sizeof text - 1, log);
    EXPECT_NE(strstr(text, "[ZOROVIZ] AsciiFormLength: value out of range"), nullptr);
    fclose(log);
}

#ifndef _WIN32
// Packets through the in-process mailslots: CONVERT answered on QUEUEMAN,
// wrong lengths refused without an answer, ABORT and the general stop.
TEST(ConverterService, PacketsAndReplies) {
    static TvMailslot qm = nullptr;
    if (!qm) {
        ASSERT_EQ(MsgMakePipe("QUEUEMAN", 0, &qm), TV_OK);
    }
    g_converter.slot = ConverterSlot();
    ASSERT_NE(g_converter.slot, nullptr);
    g_converter.hasSlot = 1;
    g_converter.abort = g_converter.shutdown = 0;
    FILE *log = tmpfile();
    LogInit(log, nullptr, 3, "ZOROVIZ");
    ResetSystemParameters();

    auto send = [](uint8_t cls, uint8_t type, uint16_t len, const char *text) {
        uint8_t pkt[200] = {0};
        pkt[2] = cls, pkt[3] = type;
        if (text) memcpy(pkt + 6, text, strlen(text));
        ASSERT_EQ(MsgSendRequest(CONVERTER_ID, 0, pkt, len, nullptr, 0, nullptr), TV_OK);
    };
    auto reply = [&](uint16_t *code) {
        uint8_t buf[100];
        uint16_t len = 0;
        if (MsgReadRequest(qm, buf, sizeof buf, &len) != TV_OK) return false;
        EXPECT_EQ(len, 6);
        EXPECT_EQ(buf[2], 1);
        EXPECT_EQ(buf[3], 11);
        *code = uint16_t(buf[4] | buf[5] << 8);
        return true;
    };
    uint16_t code = 0;
    send(5, 1, 134, "JSMITH MSG1 TXT G3F"); // too few arguments: answered with 0xF212
    send(5, 1, 133, "JSMITH MSG1 TXT G3F 1");
    send(5, 1, 135, "JSMITH MSG1 TXT G3F 1");
    ServiceRequests(0);
    ASSERT_TRUE(reply(&code));
    EXPECT_EQ(code, 0xF212);
    EXPECT_FALSE(reply(&code)); // the wrong lengths got no answer
    // A CONVERT during a job is refused by a log line only; ABORT sets the
    // abort flag, a CONVERT clears it again.
    send(5, 1, 134, "JSMITH MSG1 TXT G3F 1");
    send(5, 3, 6, nullptr);
    EXPECT_EQ(PollRequests(), 1);
    EXPECT_FALSE(reply(&code));
    send(5, 1, 134, "A B C D");
    ServiceRequests(0);
    EXPECT_TRUE(reply(&code));
    EXPECT_EQ(g_converter.abort, 0);
    EXPECT_EQ(g_converter.shutdown, 0);
    send(99, 0, 40, nullptr); // the general stop, any length
    ServiceRequests(0);
    EXPECT_EQ(g_converter.shutdown, 1);
    fseek(log, 0, SEEK_SET);
    char text[4000] = {0};
    fread(text, 1, sizeof text - 1, log);
    EXPECT_EQ(std::string(text).find("Invalid convert packet received - ignored") != std::string::npos, true) << text;
    EXPECT_NE(strstr(text, "Convert request received while in job - ignored"), nullptr);
    EXPECT_NE(strstr(text, "Conversion aborted"), nullptr);
    fclose(log);
}
#endif

} // namespace
