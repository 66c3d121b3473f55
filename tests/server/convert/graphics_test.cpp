// Graphics files: expansion factors, line scaling, the search order, the
// refusals and the inserted picture, on fax files written by the project's
// own MH writer and one written by Ghostscript (fill order 1, 196 lpi).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/platform.h"
#include "server/convert/epson.h"
#include "server/convert/graphics.h"
#include "server/convert/raster.h"
#include "server/convert/textcmd.h"
#include "server/runtime/mhencode.h"
#include "tests/support/tempdir.h"

namespace {

const char kSep = TvPathSep();

std::vector<std::string> g_log;
void CaptureLog(int level, const char *text) { g_log.push_back(std::to_string(level) + " " + text); }
bool Logged(const std::string &part) {
    for (const std::string &l : g_log)
        if (l.find(part) != std::string::npos) return true;
    return false;
}

// A one-page fax file of 1728-pixel lines; each line given as its first
// pixels ('#' black).
void MakeFax(const std::string &path, int yres, const std::vector<std::string> &lines) {
    FILE *f = fopen(path.c_str(), "w+b");
    ASSERT_NE(f, nullptr) << path;
    FaxPageState page;
    ASSERT_EQ(StartTiffFaxFile(f, &page, 1728, uint16_t(yres)), 0);
    for (size_t i = 0; i < lines.size(); i++) {
        unsigned char row[216] = {0};
        for (size_t x = 0; x < lines[i].size(); x++)
            if (lines[i][x] == '#') row[x >> 3] |= 0x80 >> (x & 7);
        int last = i + 1 == lines.size();
        ASSERT_EQ(WriteTiffFaxRow(f, &page, row, 216, last, last), 0);
    }
    fclose(f);
}

std::string Pixels(const unsigned char *row, int from, int count) {
    std::string s;
    for (int p = from; p < from + count; p++) s += (row[p >> 3] & (0x80 >> (p & 7))) ? '#' : '.';
    return s;
}

// Reads every line a reader delivers: first pixels, '-' prefix when blank.
std::vector<std::string> ReadAll(int reader, int count, int pixels = 4) {
    std::vector<std::string> out;
    for (int i = 0; i < count; i++) {
        unsigned char line[216];
        int blank = -1;
        EXPECT_TRUE(ReadGraphicsLine(reader, line, &blank));
        out.push_back((blank ? "-" : "") + Pixels(line, 0, pixels));
    }
    return out;
}

class GraphicsTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_log.clear();
        GraphicsSetLogHook(CaptureLog);
    }
    void TearDown() override {
        GraphicsSetLogHook(nullptr);
        CloseInsertPicture();
        EndGraphicsRead(0);
    }
    // A path in the test's scratch folder ('/' inside name for any separator).
    std::string At(const std::string &name) const { return tmp_.File(name); }
    // A folder of the scratch folder, made, ending in a separator.
    std::string Folder(const std::string &name) const { return tmp_.MakeDir(name) + kSep; }

    tvtest::TempDir tmp_{"graphics"};
};

TEST_F(GraphicsTest, ExpansionFactors) {
    struct Case {
        int r, w, e;
    } cases[] = {
        {100, 200, 2}, {100, 400, 4}, {200, 200, 1}, {200, 100, -2}, {400, 100, -4},
        {400, 200, -2}, {300, 200, -1}, {0, 200, 0}, {200, 0, 0}, {-100, 200, 0},
    };
    for (const Case &c : cases) EXPECT_EQ(CalcReadExpansion(c.r, c.w), c.e) << c.r << " " << c.w;
}

TEST_F(GraphicsTest, LinesRepeatedOrOred) {
    // A normal-resolution page read for a fine page: each line twice.
    MakeFax(At("n.g3n"), 100, {"#...", ".#..", "", "..#."});
    FILE *f = fopen(At("n.g3n").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    int width = 0;
    int32_t adjusted = 0;
    ASSERT_EQ(StartGraphicsPage(0, f, 200, &width, &adjusted), 0);
    EXPECT_EQ(width, 1728);
    EXPECT_EQ(adjusted, 8);
    EXPECT_EQ(GraphicsLinesLeft(0), 8);
    std::vector<std::string> want = {"#...", "#...", ".#..", ".#..", "-....", "-....", "..#.", "..#."};
    EXPECT_EQ(ReadAll(0, 8), want);
    EXPECT_EQ(GraphicsLinesLeft(0), 0);
    EXPECT_EQ(ReadAll(0, 1), std::vector<std::string>{"-...."}); // past the end: blank
    // A fine page read for a normal page: pairs ORed, an odd last line alone.
    MakeFax(At("f.g3f"), 200, {"#...", ".#..", "", "", "..#.", "", "...#"});
    FILE *g = fopen(At("f.g3f").c_str(), "rb");
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(StartGraphicsPage(1, g, 100, &width, &adjusted), 0);
    EXPECT_EQ(adjusted, 4);
    want = {"##..", "-....", "..#.", "...#"};
    EXPECT_EQ(ReadAll(1, 4), want);
    EndGraphicsRead(1);
    fclose(g);
    // Reader 0 as a text page's background: its next line ORed into a row.
    ASSERT_EQ(StartGraphicsPage(0, f, 100, &width, &adjusted), 0);
    unsigned char row[216] = {0x20};
    GraphicsBackgroundMerge(nullptr, row);
    EXPECT_EQ(Pixels(row, 0, 4), "#.#.");
    GraphicsBackgroundMerge(nullptr, row);
    EXPECT_EQ(Pixels(row, 0, 4), "###.");
    EndGraphicsRead(0);
    GraphicsBackgroundMerge(nullptr, row); // no background: nothing
    EXPECT_EQ(Pixels(row, 0, 4), "###.");
    fclose(f);
}

TEST_F(GraphicsTest, GhostscriptFillOrder1Page) {
    // Ghostscript's tiffg3 at 204 x 196: fill order 1, 196 lpi read as 200,
    // a black box 102 x 49 pixels at the bottom left of a 204 x 98 page.
    FILE *f = fopen(TAVRINE_CONVERT_FIXTURES "gs_box_204x196.tif", "rb");
    ASSERT_NE(f, nullptr);
    int width = 0;
    int32_t adjusted = 0;
    ASSERT_EQ(StartGraphicsPage(0, f, 100, &width, &adjusted), 0);
    EXPECT_EQ(width, 204);
    EXPECT_EQ(adjusted, 49);
    std::vector<std::string> lines = ReadAll(0, 49, 204);
    EXPECT_EQ(lines[0], "-" + std::string(204, '.'));
    EXPECT_EQ(lines[48].substr(0, 101), std::string(101, '#'));
    EXPECT_EQ(lines[48].substr(104), std::string(100, '.'));
    int black = 0;
    for (const std::string &l : lines) black += l[0] == '#';
    EXPECT_GE(black, 24);
    EXPECT_LE(black, 26);
    EXPECT_FALSE(Logged("Corrupted"));
    fclose(f);
}

TEST_F(GraphicsTest, SearchOrder) {
    Folder("sys/T-GRAPH");
    Folder("usr/U1/T-GRAPH");
    Folder("usr/U1/T-LETTER");
    MakeFax(At("sys/T-GRAPH/PIC.G3N"), 100, {"#"});
    MakeFax(At("sys/T-GRAPH/PIC.G3S"), 400, {"#"});
    MakeFax(At("usr/U1/T-GRAPH/PIC.G3F"), 200, {"#"});
    MakeFax(At("usr/U1/T-GRAPH/OWN.G3F"), 200, {"#"});
    MakeFax(At("usr/U1/T-LETTER/HEAD.G3N"), 100, {"#"});
    snprintf(g_graphicsPaths.systemArea, sizeof g_graphicsPaths.systemArea, "%s", Folder("sys").c_str());
    snprintf(g_graphicsPaths.userArea, sizeof g_graphicsPaths.userArea, "%s", Folder("usr").c_str());
    strcpy(g_graphicsPaths.user, "U1");
    struct Case {
        int user;
        const char *sub, *name;
        int res;
        const char *found;
    } cases[] = {
        {1, "T-GRAPH", "PIC.TIF", RES_FINE, "sys/T-GRAPH/PIC.G3N"}, // the system area wins
        {1, "T-GRAPH", "PIC", RES_NORMAL, "sys/T-GRAPH/PIC.G3N"},
        {1, "T-GRAPH", "PIC.G3N", RES_SUPERFINE, "sys/T-GRAPH/PIC.G3S"},
        {1, "T-GRAPH", "OWN.X", RES_NORMAL, "usr/U1/T-GRAPH/OWN.G3F"},
        {0, "T-GRAPH", "OWN", RES_FINE, nullptr},
        {0, "T-LETTER", "HEAD", RES_FINE, nullptr}, // letterheads: the system area only
        {1, "T-GRAPH", "NONE", RES_FINE, nullptr},
    };
    for (const Case &c : cases) {
        char path[400] = "";
        FILE *f = OpenGraphicsFile(c.user, c.sub, c.name, c.res, path, sizeof path);
        if (!c.found) {
            EXPECT_EQ(f, nullptr) << c.name;
            continue;
        }
        ASSERT_NE(f, nullptr) << c.name;
        fclose(f);
        EXPECT_EQ(std::string(path), At(c.found));
    }
}

TEST_F(GraphicsTest, Refusals) {
    FILE *f = fopen(At("any.tmp").c_str(), "w+b");
    ASSERT_NE(f, nullptr);
    int32_t adjusted;
    EXPECT_FALSE(InitGraphicsRead(0, f, 0, 1800, 10, 1, &adjusted));
    EXPECT_TRUE(Logged("5 Graphics file lines too long"));
    EXPECT_FALSE(InitGraphicsRead(2, f, 0, 1728, 10, 1, &adjusted));
    EXPECT_TRUE(Logged("6 InitGraphicsRead() - invalid FileNum 2"));
    EXPECT_FALSE(InitGraphicsRead(0, f, 0, 1728, 10, 0, &adjusted));
    unsigned char line[216];
    int blank;
    EXPECT_FALSE(ReadGraphicsLine(-1, line, &blank));
    EXPECT_TRUE(Logged("ReadGraphicsLine() - invalid FileNum -1"));
    fclose(f);
    // A page with a vertical resolution of 0 cannot be scaled: a clear
    // result, no division.
    MakeFax(At("zero.g3n"), 0, {"#", "#"});
    f = fopen(At("zero.g3n").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    int width;
    EXPECT_EQ(StartGraphicsPage(0, f, 200, &width, &adjusted), 2);
    fclose(f);
    // Damaged coded data: the line reader stops the page.
    MakeFax(At("bad.g3n"), 100, {"#", "#", "#", "#"});
    f = fopen(At("bad.g3n").c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    fseek(f, 210, SEEK_SET);
    const unsigned char junk[8] = {0xFF, 0xFF, 0, 0, 0, 0, 0, 0};
    fwrite(junk, 1, sizeof junk, f);
    fflush(f);
    ASSERT_EQ(StartGraphicsPage(0, f, 100, &width, &adjusted), 0);
    ReadAll(0, 4);
    EXPECT_TRUE(Logged("Corrupted lines in TIFF graphics file") || Logged("Error reading line from graphics file"));
    fclose(f);
}

struct Row {
    std::vector<unsigned char> data;
};
std::vector<Row> g_rows;
TvStatus Collect(void *, const unsigned char *row, int bytes, int) {
    g_rows.push_back({std::vector<unsigned char>(row, row + bytes)});
    return TV_OK;
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

TEST_F(GraphicsTest, InsertedPicture) {
    Folder("sys/T-GRAPH");
    MakeFax(At("sys/T-GRAPH/LOGO.G3F"), 200, {"##..##", "#....#", "", "######"});
    MakeFax(At("sys/T-GRAPH/ZERO.G3N"), 0, {"#"});
    snprintf(g_graphicsPaths.systemArea, sizeof g_graphicsPaths.systemArea, "%s", Folder("sys").c_str());
    g_graphicsPaths.userArea[0] = 0;
    RasterReset();
    RasterSetLogHook(CaptureLog);
    TextCmdSetLogHook(CaptureLog);
    RasterSetResolution(RES_FINE);
    SetImageDensVars(GEOM_EPSON);
    g_rows.clear();
    RasterOutput out = {nullptr, Collect, nullptr, GraphicsInsertMerge, nullptr};
    RasterSetOutput(&out);
    EpsonStartStream();
    // XPOS 150 is x = 300: the picture's column is the left margin (144) plus
    // 300. It starts on the current line, below the top offset.
    Mem m = {"%%[XPOS:150]%%[INSERT:LOGO]", 0};
    TextScanner scan;
    TextScannerInit(&scan, &m, MemRead, nullptr, nullptr, nullptr);
    RasterPageResult res;
    ASSERT_EQ(RenderStreamPage(&scan, 0, &res), TV_OK);
    ASSERT_EQ(g_rows.size(), 2212u);
    EXPECT_EQ(Pixels(g_rows[99].data.data(), 444, 6), "......");
    EXPECT_EQ(Pixels(g_rows[100].data.data(), 444, 6), "##..##");
    EXPECT_EQ(Pixels(g_rows[101].data.data(), 443, 8), ".#....#.");
    EXPECT_EQ(Pixels(g_rows[102].data.data(), 444, 6), "......");
    EXPECT_EQ(Pixels(g_rows[103].data.data(), 444, 6), "######");
    EXPECT_EQ(InsertActive(), 0); // closed once read
    RasterSetOutput(nullptr);

    // Failures end the page with 0xF21B.
    struct Case {
        const char *cmd, *log;
    } cases[] = {
        {"%%[<NONE]", "Can't find graphics file 'NONE'"},
        {"%%[INSERT:ZERO]", "Invalid format graphics file: ZERO"},
    };
    for (const Case &c : cases) {
        g_log.clear();
        Mem e = {c.cmd, 0};
        TextScannerInit(&scan, &e, MemRead, nullptr, nullptr, nullptr);
        EXPECT_EQ(RenderStreamPage(&scan, 0, &res), TV_E_CONV_INSERT) << c.cmd;
        EXPECT_TRUE(Logged(c.log)) << c.log;
    }
    RasterSetLogHook(nullptr);
    TextCmdSetLogHook(nullptr);
}

} // namespace
