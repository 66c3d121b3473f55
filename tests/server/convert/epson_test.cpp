// EPSON interpreter with hand-built byte streams and tiny fonts: bit images
// drawn as text rows, positions, spacing, page ends and refusals.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/platform.h"
#include "server/convert/epson.h"
#include "server/convert/raster.h"
#include "server/convert/textcmd.h"
#include "tests/support/tempdir.h"

namespace {

const char kSep = TvPathSep();

// The tiny fonts' folder, ending in a separator (the suite's scratch folder).
std::string g_fontDir;

std::vector<std::string> g_log;
void CaptureLog(int level, const char *text) { g_log.push_back(std::to_string(level) + " " + text); }
bool Logged(const std::string &part) {
    for (const std::string &l : g_log)
        if (l.find(part) != std::string::npos) return true;
    return false;
}

// Tiny fonts: 'A' is a bar in pixel column 0 over the whole cell; glyph 7
// a bar two pixels wide.
void WriteFonts() {
    const char *families[4] = {"PICA", "SS18", "ELIT", "SS11"};
    const int pitch[4] = {18, 18, 15, 11};
    for (int f = 0; f < 4; f++)
        for (int kind = 0; kind < 2; kind++)
            for (int fine = 0; fine < 2; fine++) {
                int rows = (kind ? 6 : 12) * (fine ? 2 : 1);
                int bytes = pitch[f] == 18 ? 3 : 2;
                std::vector<unsigned char> d(size_t(256) * rows * bytes, 0);
                for (int r = 0; r < rows; r++) {
                    d[(size_t('A') * rows + r) * bytes] = 0x80;
                    d[(size_t(7) * rows + r) * bytes] = 0xC0;
                }
                char name[64];
                snprintf(name, sizeof name, "%s_%c%c.FN", families[f], kind ? 'S' : 'L', fine ? 'F' : 'N');
                FILE *file = fopen((g_fontDir + name).c_str(), "wb");
                ASSERT_NE(file, nullptr) << g_fontDir << name;
                fwrite(d.data(), 1, d.size(), file);
                fclose(file);
            }
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

std::string B(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s += char(b);
    return s;
}

struct Row {
    std::vector<unsigned char> data;
    int end;
};
std::vector<Row> g_rows;
TvStatus Collect(void *, const unsigned char *row, int bytes, int end) {
    g_rows.push_back({std::vector<unsigned char>(row, row + bytes), end});
    return TV_OK;
}

void StartStream(int res, int kind) {
    RasterReset();
    g_log.clear();
    RasterSetLogHook(CaptureLog);
    EpsonSetLogHook(CaptureLog);
    EpsonSetRemoveDither(0);
    snprintf(g_rasterSettings.fontDir, sizeof g_rasterSettings.fontDir, "%s", g_fontDir.c_str());
    g_rasterSettings.extendedChars = 1;
    RasterSetResolution(res);
    SelectFontSet(0);
    SetImageDensVars(kind);
    ASSERT_EQ(LoadFontSize(FONTSIZE_PICA), TV_OK);
    EpsonStartStream();
    RasterStartPage();
    g_rows.clear();
    RasterOutput out = {nullptr, Collect, nullptr, nullptr, nullptr};
    RasterSetOutput(&out);
}

// Feeds a stream straight to the interpreter and the glyph drawer (no page
// handling), leaving the result in the band.
void Feed(const std::string &bytes) {
    Mem m = {bytes, 0};
    EpsonSource src = {&m, MemRead};
    int c;
    while ((c = MemRead(&m)) >= 0 && !g_raster.error && !g_raster.pageEnded) {
        if (c < 32 || c == 127)
            EpsonControl(&src, c);
        else
            WriteChar(c);
    }
}

std::string BandPixels(int row, int from, int count) {
    const unsigned char *r = RasterBandRow(row);
    if (!r) return "<none>";
    std::string s;
    for (int p = from; p < from + count; p++) s += (r[p >> 3] & (0x80 >> (p & 7))) ? '#' : '.';
    return s;
}

// The band's first 28 rows over 16 pixels from the page offset, as text;
// white rows left out, each line "row:pixels".
std::string BandPicture() {
    std::string s;
    for (int r = 0; r < 2 * g_raster.bandRows; r++) {
        std::string p = BandPixels(r, g_raster.offset, 16);
        if (p.find('#') != std::string::npos) s += std::to_string(r) + ":" + p + " ";
    }
    return s;
}

class EpsonTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_scratch.reset(new tvtest::TempDir("epson"));
        g_fontDir = s_scratch->Path() + kSep;
        WriteFonts();
    }
    static void TearDownTestSuite() {
        s_scratch.reset();
        g_fontDir.clear();
    }
    void TearDown() override {
        RasterSetLogHook(nullptr);
        EpsonSetLogHook(nullptr);
        RasterSetOutput(nullptr);
    }

private:
    static std::unique_ptr<tvtest::TempDir> s_scratch;
};

std::unique_ptr<tvtest::TempDir> EpsonTest::s_scratch;

std::string Rows(int first, int last, const std::string &pixels) {
    std::string s;
    for (int r = first; r <= last; r++) s += std::to_string(r) + ":" + pixels + " ";
    return s;
}

TEST_F(EpsonTest, BitImages) {
    struct Case {
        int res;
        std::string stream;
        std::string picture;
        int x;
    } cases[] = {
        // ESC K, 4 columns of 0xFF: a black block 12 pixels wide.
        {RES_NORMAL, B({27, 'K', 4, 0, 255, 255, 255, 255}), Rows(0, 11, "############...."), 12},
        {RES_FINE, B({27, 'K', 4, 0, 255, 255, 255, 255}), Rows(0, 23, "############...."), 12},
        // Double density: 2, 1, 2, 1 pixels.
        {RES_NORMAL, B({27, 'L', 4, 0, 255, 0, 255, 255}), Rows(0, 11, "##.###.........."), 6},
        // Quadruple density: the fourth column is ORed into the third pixel.
        {RES_NORMAL, B({27, 'Z', 4, 0, 0x80, 0, 0, 0x01}), "0:#............... 10:..#............. 11:..#............. ", 3},
        {RES_NORMAL, B({27, '*', 6, 2, 0, 255, 255}), Rows(0, 11, "####............"), 4},
        // Dot heights: 1 and 2 rows alternately at normal, 3 at fine.
        {RES_NORMAL, B({27, 'K', 1, 0, 0x80}), "0:###............. ", 3},
        {RES_NORMAL, B({27, 'K', 1, 0, 0x40}), "1:###............. 2:###............. ", 3},
        {RES_FINE, B({27, 'K', 1, 0, 0x01}), Rows(21, 23, "###............."), 3},
        // The ninth pin lands below the band, in its spare rows.
        {RES_NORMAL, B({27, '^', 0, 1, 0, 0x00, 0x80}), Rows(12, 13, "###............."), 3},
        {RES_FINE, B({27, '^', 1, 1, 0, 0x80, 0x80}), Rows(0, 2, "##..............") + Rows(24, 27, "##.............."), 2},
        // 24-pin: one pixel per column, 24 rows at fine, pairs ORed at normal.
        {RES_FINE, B({27, '*', 39, 1, 0, 255, 0, 255}), Rows(0, 7, "#...............") + Rows(16, 23, "#..............."), 1},
        {RES_NORMAL, B({27, '*', 39, 1, 0, 255, 0, 255}), Rows(0, 3, "#...............") + Rows(8, 11, "#..............."), 1},
        {RES_FINE, B({27, '*', 40, 2, 0, 0x80, 0, 0, 0, 0, 1}), "0:#............... 23:#............... ", 1},
        // The driver's images: one pixel per column, one row per dot at fine.
        {RES_FINE, B({27, 127, 1, 0, 0, 27, 'K', 2, 0, 0xF0, 0x0F}), Rows(0, 3, "#...............") + Rows(4, 7, ".#.............."), 2},
        {RES_NORMAL, B({27, 127, 1, 0, 0, 27, 'K', 1, 0, 0x81}), "0:#............... 3:#............... ", 1},
    };
    for (const Case &c : cases) {
        StartStream(c.res, GEOM_EPSON);
        Feed(c.stream);
        EXPECT_EQ(g_raster.error, TV_OK);
        EXPECT_EQ(BandPicture(), c.picture) << "case " << (&c - cases);
        EXPECT_EQ(g_raster.x, c.x) << "case " << (&c - cases);
        EXPECT_EQ(g_raster.hasContent, 1);
    }
}

TEST_F(EpsonTest, RemoveDitherFillsGaps) {
    std::string img = B({27, '*', 39, 3, 0, 255, 255, 255, 0, 0, 0, 255, 255, 255});
    StartStream(RES_FINE, GEOM_EPSON);
    Feed(img);
    EXPECT_EQ(BandPixels(5, g_raster.offset, 4), "#.#.");
    StartStream(RES_FINE, GEOM_EPSON);
    EpsonSetRemoveDither(1);
    Feed(img);
    EXPECT_EQ(BandPixels(5, g_raster.offset, 4), "###.");
    EXPECT_EQ(g_epson.streamMode, EPSON_STREAM_LQ);
}

TEST_F(EpsonTest, Positions) {
    StartStream(RES_NORMAL, GEOM_EPSON);
    // ESC $ with bit 7 of nH: only to the right.
    Feed(B({27, '$', 0, 0x81}));
    EXPECT_EQ(g_raster.x, 768);
    Feed(B({27, '$', 10, 0x80}));
    EXPECT_EQ(g_raster.x, 768);
    Feed(B({27, '$', 0, 0x83}));
    EXPECT_EQ(g_raster.x, 2304 > g_raster.rightLimit ? g_raster.rightLimit : 2304);
    Feed(B({27, '$', 10, 0}));
    EXPECT_EQ(g_raster.x, 30);
    // ESC \: v * 3 / 2, clipped at the left limit.
    Feed(B({27, '\\', 10, 0}));
    EXPECT_EQ(g_raster.x, 45);
    Feed(B({27, '\\', 0xF6, 0xFF})); // -10
    EXPECT_EQ(g_raster.x, 30);
    Feed(B({27, '\\', 0, 0x80}));
    EXPECT_EQ(g_raster.x, 0);
    // Tabs: default every 144 pixels; ESC D sets them in character pitches.
    Feed(B({9}));
    EXPECT_EQ(g_raster.x, 144);
    Feed(B({9}));
    EXPECT_EQ(g_raster.x, 288);
    Feed(B({27, 'D', 2, 5, 0, 13, 9}));
    EXPECT_EQ(g_raster.x, 36);
    Feed(B({9, 9}));
    EXPECT_EQ(g_raster.x, 90);
    // Backspace and carriage return.
    Feed(B({8}));
    EXPECT_EQ(g_raster.x, 72);
    Feed(B({13, 8}));
    EXPECT_EQ(g_raster.x, 0);
    // Margins in character pitches; out of range is logged and ignored.
    Feed(B({27, 'l', 5}));
    EXPECT_EQ(g_raster.leftLimit, 90);
    EXPECT_EQ(g_raster.x, 90);
    Feed(B({27, 'Q', 32}));
    EXPECT_EQ(g_raster.rightLimit, 576);
    Feed(B({27, 'Q', 200, 27, 'l', 200}));
    EXPECT_EQ(g_raster.rightLimit, 576);
    EXPECT_EQ(g_raster.leftLimit, 90);
    EXPECT_TRUE(Logged("4 Set right margin command out of range - ignored"));
    EXPECT_TRUE(Logged("4 Set left margin command out of range - ignored"));
    // Elite pitch, then the download font's fixed pitch.
    Feed(B({27, 'M'}));
    EXPECT_EQ(g_raster.pitch, 15);
    Feed(B({27, '%', '1', 0}));
    EXPECT_EQ(g_raster.pitch, 18);
    Feed(B({27, '%', 0, 0, 27, 'k', 255}));
    EXPECT_EQ(g_raster.pitch, 11);
    EXPECT_EQ(g_raster.sansSerif, 1);
}

TEST_F(EpsonTest, SpacingAndAttributes) {
    struct Case {
        int res;
        std::string seq;
        int spacing;
    } cases[] = {
        {RES_NORMAL, B({27, '0'}), 12}, {RES_FINE, B({27, '0'}), 24}, {RES_NORMAL, B({27, '1'}), 9},
        {RES_FINE, B({27, '2'}), 32},   {RES_NORMAL, B({27, '3', 25}), 13}, {RES_FINE, B({27, '3', 25}), 25},
        {RES_NORMAL, B({27, '+', 2}), 1}, {RES_FINE, B({27, '+', 60}), 30}, {RES_NORMAL, B({27, 'A', 12}), 16},
        {RES_FINE, B({27, 'A', 8}), 20}, {RES_FINE, B({27, 'A', 86}), 32},
    };
    for (const Case &c : cases) {
        StartStream(c.res, GEOM_EPSON);
        Feed(c.seq);
        EXPECT_EQ(g_raster.lineSpacing, c.spacing) << "case " << (&c - cases);
    }
    StartStream(RES_NORMAL, GEOM_EPSON);
    Feed(B({27, '!', 0x80 | 0x20 | 0x08 | 0x04 | 0x01}));
    EXPECT_EQ(g_raster.underline, 1);
    EXPECT_EQ(g_raster.doubleWidth, 1);
    EXPECT_EQ(g_raster.bold, 1);
    EXPECT_EQ(g_raster.condensed, 1);
    EXPECT_EQ(g_raster.pitch, 15);
    Feed(B({27, '-', '0', 27, 'W', 0, 27, 'S', '1', 14, 27, 'p', 1}));
    EXPECT_EQ(g_raster.underline, 0);
    EXPECT_EQ(g_raster.doubleWidth, 0);
    EXPECT_EQ(g_raster.script, SCRIPT_SUB);
    EXPECT_EQ(g_raster.doubleWidthLine, 1);
    EXPECT_EQ(g_raster.proportional, 1);
    Feed(B({27, '@'}));
    EXPECT_EQ(g_raster.underline + g_raster.bold + g_raster.condensed + g_raster.script + g_raster.proportional, 0);
    EXPECT_EQ(g_raster.pitch, 18);
}

TEST_F(EpsonTest, Refusals) {
    struct Case {
        std::string stream;
        TvStatus error;
        const char *log;
    } cases[] = {
        {B({27, 'g'}), TV_E_CONV_ESCAPE, "Epson 15 cpi characters not supported"},
        {B({27, 'v'}), TV_E_CONV_ESCAPE, "Invalid command  ESC 0x76  in EPSON file"},
        {B({27, '*', 33, 1, 0, 0, 0, 0}), TV_E_CONV_ESCAPE, "Epson LQ graphics must be 180 x 180 dpi (0x21)"},
        {B({1}), TV_E_CONV_BADCHAR, "Invalid control character 0x01 in EPSON file"},
        {B({27, 127, 2, 0, 0}), TV_E_CONV_ESCAPE, "Tavrine printer driver too recent (revision 2)"},
        // Skipped sequences and a driver header of revision 1 pass.
        {B({27, '(', 1, 2, 3, 4, 5, 6, 'A'}), TV_OK, nullptr},
        {B({27, 127, 1, 9, 2, 'x', 0, 'y', 0, 'A'}), TV_OK, nullptr},
        {B({27, 'a', 1, 27, '8', 27, '?', 'K', 3, 'A', 0, 17, 19, 7}), TV_OK, nullptr},
        // A stream that ends inside a sequence.
        {B({27, 'K', 200, 0, 255}), TV_OK, nullptr},
    };
    for (const Case &c : cases) {
        StartStream(RES_NORMAL, GEOM_EPSON);
        Feed(c.stream);
        EXPECT_EQ(g_raster.error, c.error) << "case " << (&c - cases);
        if (c.log) {
            EXPECT_TRUE(Logged(c.log)) << c.log;
        }
        if (c.error == TV_OK && c.stream.back() == 'A') {
            EXPECT_EQ(g_raster.x, 18) << "case " << (&c - cases);
        }
    }
}

TEST_F(EpsonTest, DownloadCharacters) {
    // 'A' redefined: column 0 all eight dots, column 1 the top dot; attribute
    // bit 7 set keeps the glyph up, clear puts it one dot lower.
    std::string def = B({27, '&', 0, 'A', 'A', 0x80, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    StartStream(RES_NORMAL, GEOM_EPSON);
    Feed(def + B({27, '%', 1, 0}) + "A");
    EXPECT_EQ(BandPicture(), "0:###............. " + Rows(1, 9, "#..............."));
    def[5] = 0;
    StartStream(RES_NORMAL, GEOM_EPSON);
    Feed(def + B({27, '%', 1, 0}) + "A");
    EXPECT_EQ(BandPicture(), "1:###............. " + Rows(2, 11, "#..............."));
    EXPECT_FALSE(Logged("uninitialised"));
    // ESC : copies the ROM font.
    StartStream(RES_NORMAL, GEOM_EPSON);
    Feed(B({27, ':', 0, 0, 0, 27, '%', 1, 0}) + "A");
    EXPECT_EQ(BandPicture(), Rows(0, 11, "#..............."));
}

TEST_F(EpsonTest, HeaderGlyphsAndClearing) {
    StartStream(RES_NORMAL, GEOM_EPSON);
    Feed(B({7}));
    EXPECT_EQ(g_raster.x, 0); // a bell elsewhere
    Feed(B({27, 'I', 1, 7}));
    EXPECT_EQ(BandPicture(), Rows(0, 11, "##.............."));
    StartStream(RES_NORMAL, GEOM_HEADER);
    Feed(B({7}) + "A");
    EXPECT_EQ(BandPicture(), Rows(0, 11, "##.............."));
    EXPECT_EQ(BandPixels(5, g_raster.offset + 18, 2), "#.");
    // In page header mode DEL and CAN are glyphs too; elsewhere DEL takes
    // the last character away, CAN the whole line.
    Feed(B({127, 24}));
    EXPECT_EQ(g_raster.x, 72);
    StartStream(RES_NORMAL, GEOM_EPSON);
    Feed(B({27, 'I', 1, 7}) + "A" + B({27, 'I', 0, 127}));
    EXPECT_EQ(g_raster.x, 18);
    EXPECT_EQ(BandPixels(5, g_raster.offset + 18, 2), "..");
    EXPECT_EQ(BandPixels(5, g_raster.offset, 2), "##");
    Feed("A" + B({24}));
    EXPECT_EQ(BandPicture(), "");
    EXPECT_EQ(g_raster.x, 0);
}

// Rows that hold black pixels, as "first-last" runs.
std::string BlackRuns(size_t from, size_t to) {
    std::string s;
    int start = -1;
    for (size_t i = from; i <= to; i++) {
        bool black = false;
        if (i < to)
            for (unsigned char b : g_rows[i].data) black |= b != 0;
        if (black && start < 0) start = int(i - from);
        if (!black && start >= 0) {
            s += std::to_string(start) + "-" + std::to_string(int(i - from) - 1) + " ";
            start = -1;
        }
    }
    return s;
}

TEST_F(EpsonTest, LineFeedsEndThePage) {
    // ESC C 3: three lines of 16 rows below the 50-row top offset; the
    // fourth line goes to the next page.
    StartStream(RES_NORMAL, GEOM_EPSON);
    Mem m = {B({27, 'C', 3}) + "A\nA\nA\nA\n%%[DOWN:8]A", 0};
    TextScanner scan;
    TextScannerInit(&scan, &m, MemRead, nullptr, nullptr, nullptr);
    RasterPageResult res;
    ASSERT_EQ(RenderStreamPage(&scan, 0, &res), TV_OK);
    EXPECT_EQ(res.inputEnded, 0);
    EXPECT_EQ(res.rows, 1106);
    ASSERT_EQ(g_rows.size(), 1106u);
    EXPECT_EQ(g_rows.back().end, 1);
    EXPECT_EQ(BlackRuns(0, g_rows.size()), "50-61 66-77 82-93 ");
    size_t first = g_rows.size();
    ASSERT_EQ(RenderStreamPage(&scan, 0, &res), TV_OK);
    EXPECT_EQ(res.inputEnded, 1);
    // Next page: a line, a line feed and DOWN 8 (ESC J 16: 8 rows at normal).
    EXPECT_EQ(BlackRuns(first, g_rows.size()), "50-61 74-85 ");

    // Two form feeds in a row give a blank page, not an empty one that
    // would end the document.
    StartStream(RES_NORMAL, GEOM_EPSON);
    Mem ff = {"A\f\fA\f", 0};
    TextScannerInit(&scan, &ff, MemRead, nullptr, nullptr, nullptr);
    int pages = 0;
    for (;;) {
        g_rows.clear();
        ASSERT_EQ(RenderStreamPage(&scan, 0, &res), TV_OK);
        if (res.rows == 0) break;
        pages++;
        EXPECT_EQ(BlackRuns(0, g_rows.size()), pages == 2 ? "" : "50-61 ") << "page " << pages;
    }
    EXPECT_EQ(pages, 3);
    EXPECT_EQ(res.inputEnded, 1);

    // The driver's line feeds (revision 1) pass the page end, up to twice
    // the page length; other streams stop at it.
    for (int driver = 0; driver < 2; driver++) {
        StartStream(RES_NORMAL, GEOM_DRIVER);
        Feed(driver ? B({27, 127, 1, 0, 0, 27, 'C', 3}) : B({27, 'C', 3}));
        int feeds = 0;
        while (!EpsonAdvance(16) && feeds < 1000) feeds++;
        EXPECT_EQ(feeds, driver ? 5 : 2);
        EXPECT_EQ(g_raster.pageEnded, 1);
    }
}

TEST_F(EpsonTest, VerticalTabsAndMargins) {
    // Stops in lines of the spacing at the time they are set, counted from
    // the top offset; with no stop left a vertical tab is a line feed.
    StartStream(RES_NORMAL, GEOM_EPSON);
    Feed(B({27, 'B', 2, 4, 0}) + "A" + B({11}));
    EXPECT_EQ(RasterCurrentRow(), 50 + 32);
    EXPECT_EQ(g_raster.x, 0);
    Feed(B({11}));
    EXPECT_EQ(RasterCurrentRow(), 50 + 64);
    Feed(B({11}));
    EXPECT_EQ(RasterCurrentRow(), 50 + 80);
    Feed(B({27, 'b', 3, 10, 0, 27, '/', '3', 11}));
    EXPECT_EQ(RasterCurrentRow(), 50 + 160);
    // ESC C 0 1: one inch (100 rows) below the top offset; ESC N 2 keeps
    // two lines free at the bottom.
    StartStream(RES_NORMAL, GEOM_EPSON);
    Feed(B({27, 'C', 0, 1, 27, 'N', 2}));
    int feeds = 0;
    while (!EpsonAdvance(16) && feeds < 100) feeds++;
    EXPECT_EQ(feeds, 4);
    // In a page header line, code 11 is a glyph, not a line feed.
    StartStream(RES_NORMAL, GEOM_HEADER);
    Feed(B({11}));
    EXPECT_EQ(g_raster.x, 18);
    EXPECT_EQ(RasterCurrentRow(), 0);
}

TEST_F(EpsonTest, TextCommandsDriveTheInterpreter) {
    StartStream(RES_NORMAL, GEOM_EPSON);
    Mem m = {"%%[XPOS:72]A%%[BOLD:ON]%%[FONT:ROMAN12]", 0};
    TextScanner scan;
    TextScannerInit(&scan, &m, MemRead, nullptr, nullptr, nullptr);
    RasterPageResult res;
    ASSERT_EQ(RenderStreamPage(&scan, 0, &res), TV_OK);
    EXPECT_EQ(g_raster.bold, 1);
    EXPECT_EQ(g_raster.pitch, 15);
    // 'A' was drawn at x = 144 (row 50, the first below the top offset).
    ASSERT_GT(g_rows.size(), 60u);
    const unsigned char *row = g_rows[55].data.data();
    int px = 144 + 144;
    EXPECT_TRUE(row[px >> 3] & (0x80 >> (px & 7)));
    EXPECT_FALSE(row[(px - 1) >> 3] & (0x80 >> ((px - 1) & 7)));
}

// --- Real ESC/P streams printed by Ghostscript, against Ghostscript's own
// rendering of the same page.

std::vector<unsigned char> ReadFile(const std::string &path) {
    std::vector<unsigned char> d;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return d;
    unsigned char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) d.insert(d.end(), buf, buf + n);
    fclose(f);
    return d;
}

// A 1-bit image, one byte per pixel for simple comparison.
struct Bitmap {
    int w = 0, h = 0;
    std::vector<unsigned char> px;
    bool At(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h && px[size_t(y) * w + x]; }
};

// Raw PBM (P4) with comment lines.
bool ReadPbm(const std::string &path, Bitmap *bm) {
    std::vector<unsigned char> d = ReadFile(path);
    size_t i = 0;
    int fields[3] = {0, 0, 0};
    int got = 0;
    auto skipSpace = [&]() {
        for (;;) {
            while (i < d.size() && (d[i] == ' ' || d[i] == '\n' || d[i] == '\r' || d[i] == '\t')) i++;
            if (i < d.size() && d[i] == '#') {
                while (i < d.size() && d[i] != '\n') i++;
                continue;
            }
            return;
        }
    };
    skipSpace();
    if (d.size() < 2 || d[0] != 'P' || d[1] != '4') return false;
    i = 2;
    while (got < 2) {
        skipSpace();
        int v = 0;
        while (i < d.size() && d[i] >= '0' && d[i] <= '9') v = v * 10 + (d[i++] - '0');
        fields[got++] = v;
    }
    i++; // the single blank before the data
    bm->w = fields[0];
    bm->h = fields[1];
    int stride = (bm->w + 7) / 8;
    if (d.size() < i + size_t(stride) * bm->h) return false;
    bm->px.assign(size_t(bm->w) * bm->h, 0);
    for (int y = 0; y < bm->h; y++)
        for (int x = 0; x < bm->w; x++)
            bm->px[size_t(y) * bm->w + x] = (d[i + size_t(y) * stride + x / 8] >> (7 - x % 8)) & 1;
    return true;
}

// Renders a stream's first page at fine resolution with the shipped fonts.
bool RenderStream(const std::vector<unsigned char> &stream, Bitmap *bm) {
    RasterReset();
    EpsonSetLogHook(CaptureLog);
    g_log.clear();
    snprintf(g_rasterSettings.fontDir, sizeof g_rasterSettings.fontDir, "%s", TAVRINE_FONT_DIR);
    g_rasterSettings.extendedChars = 1;
    RasterSetResolution(RES_FINE);
    SelectFontSet(0);
    SetImageDensVars(GEOM_EPSON);
    if (LoadFontSize(FONTSIZE_PICA) != TV_OK) return false;
    EpsonStartStream();
    g_rows.clear();
    RasterOutput out = {nullptr, Collect, nullptr, nullptr, nullptr};
    RasterSetOutput(&out);
    Mem m = {std::string(stream.begin(), stream.end()), 0};
    TextScanner scan;
    TextScannerInit(&scan, &m, MemRead, nullptr, nullptr, nullptr);
    RasterPageResult res;
    TvStatus st = RenderStreamPage(&scan, 0, &res);
    RasterSetOutput(nullptr);
    if (st != TV_OK) return false;
    bm->w = 1728;
    bm->h = int(g_rows.size());
    bm->px.assign(size_t(bm->w) * bm->h, 0);
    for (int y = 0; y < bm->h; y++)
        for (int x = 0; x < bm->w; x++) bm->px[size_t(y) * bm->w + x] = (g_rows[y].data[x / 8] >> (7 - x % 8)) & 1;
    return true;
}

void BoundingBox(const Bitmap &bm, int box[4]) {
    box[0] = bm.w, box[1] = bm.h, box[2] = -1, box[3] = -1;
    for (int y = 0; y < bm.h; y++)
        for (int x = 0; x < bm.w; x++)
            if (bm.px[size_t(y) * bm.w + x]) {
                if (x < box[0]) box[0] = x;
                if (y < box[1]) box[1] = y;
                if (x > box[2]) box[2] = x;
                if (y > box[3]) box[3] = y;
            }
}

// The share of differing pixels (of the reference's black pixels) at the
// best alignment near the one of the two bounding boxes.
double DifferingShare(const Bitmap &ours, const Bitmap &ref, int *boxW, int *boxH) {
    int a[4], b[4];
    BoundingBox(ours, a);
    BoundingBox(ref, b);
    *boxW = (a[2] - a[0]) - (b[2] - b[0]);
    *boxH = (a[3] - a[1]) - (b[3] - b[1]);
    long refBlack = 0;
    for (unsigned char p : ref.px) refBlack += p;
    long best = -1;
    for (int dy = -4; dy <= 4; dy++)
        for (int dx = -4; dx <= 4; dx++) {
            int ox = a[0] - b[0] + dx, oy = a[1] - b[1] + dy;
            long diff = 0;
            for (int y = b[1] - 8; y <= b[3] + 8; y++)
                for (int x = b[0] - 8; x <= b[2] + 8; x++) diff += ref.At(x, y) != ours.At(x + ox, y + oy);
            if (best < 0 || diff < best) best = diff;
        }
    return refBlack ? double(best) / double(refBlack) : 1.0;
}

TEST_F(EpsonTest, GhostscriptStreamsMatchGhostscriptRendering) {
    // The 9-pin streams are compared with a 216-lpi rendering although
    // Ghostscript rasterised them at 72 lpi (epson) or in 216-lpi passes of
    // 240-dpi columns: their glyph edges differ, hence the wider share.
    struct Case {
        const char *stream, *reference;
        double share;
    } cases[] = {
        {"epson.prn", "ref_180x216.pbm", 0.16},    // 9-pin, ESC * 3 quadruple density
        {"eps9high.prn", "ref_180x216.pbm", 0.16}, // 9-pin, three interleaved passes
        {"lq850.prn", "ref_180x180.pbm", 0.02},    // 24-pin, ESC * 39
    };
    for (const Case &c : cases) {
        std::vector<unsigned char> stream = ReadFile(std::string(TAVRINE_EPSON_FIXTURES) + c.stream);
        ASSERT_FALSE(stream.empty()) << c.stream;
        Bitmap ref, ours;
        ASSERT_TRUE(ReadPbm(std::string(TAVRINE_EPSON_FIXTURES) + c.reference, &ref)) << c.reference;
        ASSERT_TRUE(RenderStream(stream, &ours)) << c.stream;
        EXPECT_TRUE(g_log.empty()) << c.stream << ": " << g_log[0];
        int dw, dh;
        double share = DifferingShare(ours, ref, &dw, &dh);
        printf("%s: %.1f%% of the reference's black pixels differ (box %+d x %+d)\n", c.stream, 100 * share, dw, dh);
        EXPECT_LE(std::abs(dw), 4) << c.stream;
        EXPECT_LE(std::abs(dh), 4) << c.stream;
        EXPECT_LT(share, c.share) << c.stream;
    }
}

} // namespace
