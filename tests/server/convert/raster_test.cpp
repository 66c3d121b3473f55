// Page raster: fonts, blitters, widths, band clipping, row output and the
// landscape buffer, with tiny hand-made fonts and rows drawn as text.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "common/platform.h"
#include "server/convert/raster.h"
#include "tests/support/tempdir.h"

namespace {

const char kSep = TvPathSep();

// The current test's font folder (its scratch folder), ending in a separator.
std::string g_dir;

std::vector<std::string> g_log;
void CaptureLog(int level, const char *text) { g_log.push_back(std::to_string(level) + " " + text); }

bool Logged(const std::string &part) {
    for (const std::string &l : g_log)
        if (l.find(part) != std::string::npos) return true;
    return false;
}

struct Row {
    std::vector<unsigned char> data;
    int end;
};
std::vector<Row> g_rows;
TvStatus g_writeResult;
TvStatus Collect(void *, const unsigned char *row, int bytes, int end) {
    g_rows.push_back({std::vector<unsigned char>(row, row + bytes), end});
    return g_writeResult;
}

// Glyph pictures: '#' black, anything else white; missing rows are white.
typedef std::map<int, std::vector<std::string>> Glyphs;

std::vector<unsigned char> FontBytes(int rows, int bytes, const Glyphs &glyphs) {
    std::vector<unsigned char> data(size_t(256) * rows * bytes, 0);
    for (const auto &g : glyphs)
        for (int r = 0; r < int(g.second.size()) && r < rows; r++)
            for (int x = 0; x < int(g.second[r].size()) && x < bytes * 8; x++)
                if (g.second[r][x] == '#') data[(size_t(g.first) * rows + r) * bytes + x / 8] |= 0x80 >> (x % 8);
    return data;
}

void WriteBytes(const std::string &name, const std::vector<unsigned char> &data, size_t count) {
    FILE *f = fopen((g_dir + name).c_str(), "wb");
    ASSERT_NE(f, nullptr) << g_dir << name;
    if (count) fwrite(data.data(), 1, count, f);
    fclose(f);
}

void WriteFont(const std::string &name, int rows, int bytes, const Glyphs &glyphs) {
    std::vector<unsigned char> d = FontBytes(rows, bytes, glyphs);
    WriteBytes(name, d, d.size());
}

std::string Pixels(const unsigned char *row, int from, int count) {
    std::string s;
    for (int p = from; p < from + count; p++) s += (row[p >> 3] & (0x80 >> (p & 7))) ? '#' : '.';
    return s;
}

std::string BandPixels(int row, int from, int count) {
    const unsigned char *r = RasterBandRow(row);
    return r ? Pixels(r, from, count) : std::string("<none>");
}

bool BandEmpty() {
    for (int r = 0; r < 2 * g_raster.bandRows; r++) {
        const unsigned char *row = RasterBandRow(r);
        for (int i = 0; i < RASTER_ROW_BYTES; i++)
            if (row[i]) return false;
    }
    return true;
}

// Fonts of the fixture: 'A' and 'B' with known rows, 'I' a two-pixel bar
// set in from the left, '.' with ink far right; every family and size.
const Glyphs kFull = {
    {'A', {"##.#", "#..#", "####"}},
    {'B', {"#.#...#."}},
    {'I', {"...##", "...##", "...##", "...##", "...##", "...##", "...##", "...##", "...##", "...##", "...##",
           "...##"}},
    {'R', {"................##"}},
    {0xE9, {"#.#.#"}},
    {24, {".###."}},
};
const Glyphs kSub = {{'A', {"#"}}};

class RasterTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_dir = tmp_.Path() + kSep;
        RasterReset();
        RasterSetLogHook(CaptureLog);
        g_log.clear();
        g_rows.clear();
        g_writeResult = TV_OK;
        snprintf(g_rasterSettings.fontDir, sizeof g_rasterSettings.fontDir, "%s", g_dir.c_str());
        g_rasterSettings.extendedChars = 1;
        g_rasterSettings.dosPound = 0;
        for (int set = 0; set < 2; set++)
            for (int fam = 0; fam < 4; fam++)
                for (int fine = 0; fine < 2; fine++) {
                    int bytes = fam < 2 ? 3 : 2;
                    WriteFont(FontFileName(set, fam, FONT_FULL, fine), fine ? 24 : 12, bytes, kFull);
                    WriteFont(FontFileName(set, fam, FONT_SUBSUP, fine), fine ? 12 : 6, bytes, kSub);
                }
        RasterOutput out = {};
        out.writeRow = Collect;
        RasterSetOutput(&out);
        RasterSetResolution(RES_NORMAL);
        SelectFontSet(0);
        ASSERT_EQ(LoadFontSize(FONTSIZE_PICA), TV_OK);
        SetImageDensVars(GEOM_HEADER); // margins 12 bytes, no top offset
        RasterStartPage();
    }
    void TearDown() override {
        RasterReset();
        g_dir.clear();
    }

    tvtest::TempDir tmp_{"raster"};
};

TEST_F(RasterTest, FontNamesFollowTheTable) {
    EXPECT_STREQ(FontFileName(0, FAMILY_PICA, FONT_FULL, 0), "PICA_LN.FN");
    EXPECT_STREQ(FontFileName(0, FAMILY_SS18, FONT_SUBSUP, 1), "SS18_SF.FN");
    EXPECT_STREQ(FontFileName(1, FAMILY_ELIT, FONT_FULL, 1), "ELIT_LFP.FN");
    EXPECT_STREQ(FontFileName(1, FAMILY_SS11, FONT_SUBSUP, 0), "SS11_SNP.FN");
    EXPECT_STREQ(FontFileName(2, FAMILY_PICA, FONT_FULL, 0), "");
}

TEST_F(RasterTest, GlyphRowsLandAtTheirBitPosition) {
    // The page pixel is x plus the left margin of 96 pixels.
    ASSERT_EQ(WriteChar('A'), 1);
    EXPECT_EQ(BandPixels(0, 95, 6), ".##.#.");
    EXPECT_EQ(BandPixels(2, 95, 6), ".####.");
    g_raster.x = 18 + 5; // pixel 119: bit 7 of a byte, spilling into the next
    ASSERT_EQ(WriteChar('A'), 1);
    EXPECT_EQ(BandPixels(0, 118, 6), ".##.#.");
    EXPECT_EQ(BandPixels(1, 118, 6), ".#..#.");
    EXPECT_EQ(g_raster.x, 23 + 18);
    EXPECT_EQ(BandPixels(3, 0, RASTER_ROW_BYTES * 8).find('#'), std::string::npos);
}

TEST_F(RasterTest, SixBlitters) {
    struct Case {
        int bold, condensed, doubleWidth;
        const char *expect;
    };
    // Glyph 'B' row: #.#...#.
    const Case cases[] = {
        {0, 0, 0, "#.#...#........."},
        {1, 0, 0, "####..##........"},
        {0, 1, 0, "##.#............"}, // pairs ORed: (#.)(#.)(..)(#.)
        {1, 1, 0, "#####..........."},
        {0, 0, 1, "##..##......##.."},
        {1, 0, 1, "########....####"},
        {0, 1, 1, "#.#...#........."}, // double width and condensed: plain
    };
    for (const Case &c : cases) {
        RasterStartPage();
        g_raster.bold = c.bold;
        g_raster.condensed = c.condensed;
        g_raster.doubleWidth = c.doubleWidth;
        g_raster.x = 3; // an odd bit position
        WriteChar('B');
        EXPECT_EQ(BandPixels(0, 96 + 3, 16), c.expect) << c.bold << c.condensed << c.doubleWidth;
        EXPECT_EQ(BandPixels(0, 96, 3), "...");
    }
    // Double-strike draws as bold.
    RasterStartPage();
    g_raster.bold = 0;
    g_raster.condensed = 0;
    g_raster.doubleWidth = 0;
    g_raster.doubleStrike = 1;
    WriteChar('B');
    EXPECT_EQ(BandPixels(0, 96, 8), "####..##");
}

TEST_F(RasterTest, FixedWidths) {
    struct Case {
        int size, sans, condensed, doubleWidth, line;
        int advance4; // x after four characters
    };
    const Case cases[] = {
        {FONTSIZE_PICA, 0, 0, 0, 0, 72},  {FONTSIZE_ELITE, 0, 0, 0, 0, 60}, {FONTSIZE_ELITE, 1, 0, 0, 0, 44},
        {FONTSIZE_PICA, 0, 0, 1, 0, 144}, {FONTSIZE_PICA, 0, 0, 0, 1, 144}, {FONTSIZE_PICA, 0, 1, 0, 0, 36},
        // Odd pitch condensed: the spare pixel goes to every second character.
        {FONTSIZE_ELITE, 0, 1, 0, 0, 30}, {FONTSIZE_ELITE, 1, 1, 0, 0, 22}, {FONTSIZE_PICA, 0, 1, 1, 0, 72},
    };
    for (const Case &c : cases) {
        g_raster.sansSerif = c.sans;
        LoadFontSize(FONTSIZE_NONE);
        ASSERT_EQ(LoadFontSize(c.size), TV_OK);
        RasterStartPage();
        g_raster.condensed = c.condensed;
        g_raster.doubleWidth = c.doubleWidth;
        g_raster.doubleWidthLine = c.line;
        int xs[4];
        for (int i = 0; i < 4; i++) {
            WriteChar('A');
            xs[i] = g_raster.x;
        }
        EXPECT_EQ(g_raster.x, c.advance4) << c.size << c.sans << c.condensed << c.doubleWidth << c.line;
        if (c.condensed && !c.doubleWidth && (g_raster.pitch & 1)) {
            EXPECT_NE(xs[1] - xs[0], xs[0]);
        }
    }
}

TEST_F(RasterTest, ProportionalWidthAndBearing) {
    g_raster.proportional = 1;
    // 'I' has three empty columns: drawn three pixels to the left.
    int bearing;
    int w = CharWidth('I', &bearing);
    EXPECT_EQ(w, (18 * kPicaWidths['I'] + 3) / 12);
    int expectBearing = 3 + w > 18 ? (18 - w > 0 ? 18 - w : 0) : 3;
    EXPECT_EQ(bearing, expectBearing);
    WriteChar('I');
    EXPECT_EQ(BandPixels(5, 96, 6), std::string(3 - expectBearing, '.') + "##" + std::string(1 + expectBearing, '.'));
    EXPECT_EQ(g_raster.x, w);

    // Ink at columns 16-17 with a wide entry: the bearing is cut back so
    // that bearing plus width stays within the pitch.
    int wr = CharWidth('R', &bearing);
    EXPECT_LE(bearing + wr, 18);
    EXPECT_EQ(bearing, 16 + wr > 18 ? (18 - wr > 0 ? 18 - wr : 0) : 16);

    // Elite and sans serif use their own tables and divisors.
    g_raster.sansSerif = 1;
    EXPECT_EQ(CharWidth('A', &bearing), (18 * kSansWidths['A'] + 3) / 18);
    LoadFontSize(FONTSIZE_NONE);
    ASSERT_EQ(LoadFontSize(FONTSIZE_ELITE), TV_OK);
    EXPECT_EQ(CharWidth('A', &bearing), (11 * kSansWidths['A'] + 3) / 18);
    g_raster.sansSerif = 0;
    LoadFontSize(FONTSIZE_NONE);
    ASSERT_EQ(LoadFontSize(FONTSIZE_ELITE), TV_OK);
    EXPECT_EQ(CharWidth('A', &bearing), (15 * kEliteWidths['A'] + 3) / 18);
    g_raster.doubleWidth = 1;
    EXPECT_EQ(CharWidth('A', &bearing), 2 * ((15 * kEliteWidths['A'] + 3) / 18));

    // A glyph without ink: fixed advances and no bearing.
    struct Case {
        int condensed, doubleWidth, width;
    };
    for (const Case &c : {Case{0, 0, 18}, Case{1, 0, 9}, Case{0, 1, 36}, Case{1, 1, 18}}) {
        g_raster.condensed = c.condensed;
        g_raster.doubleWidth = c.doubleWidth;
        EXPECT_EQ(CharWidth('Z', &bearing), c.width);
        EXPECT_EQ(bearing, 0);
    }
}

TEST_F(RasterTest, SpaceUnderlineAndScripts) {
    g_raster.underline = 1;
    WriteChar(' ');
    EXPECT_EQ(BandPixels(11, 95, 20), "." + std::string(18, '#') + ".");
    for (int r = 0; r < 11; r++) EXPECT_EQ(BandPixels(r, 96, 18), std::string(18, '.'));
    g_raster.underline = 0;

    // Superscript draws the small font at the top, subscript six rows lower
    // (twelve at fine).
    RasterStartPage();
    g_raster.script = SCRIPT_SUPER;
    WriteChar('A');
    EXPECT_EQ(BandPixels(0, 96, 2), "#.");
    RasterStartPage();
    g_raster.script = SCRIPT_SUB;
    WriteChar('A');
    EXPECT_EQ(BandPixels(0, 96, 2), "..");
    EXPECT_EQ(BandPixels(6, 96, 2), "#.");
    RasterSetResolution(RES_FINE);
    ASSERT_EQ(LoadFontSize(FONTSIZE_PICA), TV_OK);
    RasterStartPage();
    WriteChar('A');
    EXPECT_EQ(BandPixels(12, 96, 2), "#.");
}

TEST_F(RasterTest, ExtendedCharsOffReducesToSevenBits) {
    WriteChar(0xE9);
    EXPECT_EQ(BandPixels(0, 96, 5), "#.#.#");
    RasterStartPage();
    g_rasterSettings.extendedChars = 0;
    WriteChar(0xC1); // 0xC1 & 127 = 'A'
    EXPECT_EQ(BandPixels(0, 96, 4), "##.#");
}

TEST_F(RasterTest, ClippedAtTheBandEdges) {
    // Far right: the row's last byte takes the glyph's first pixels, the
    // next row stays untouched.
    g_raster.rightLimit = 100000;
    g_raster.x = RASTER_ROW_BYTES * 8 - 2 - g_raster.offset;
    ASSERT_EQ(WriteChar('A'), 1);
    EXPECT_EQ(BandPixels(0, RASTER_ROW_BYTES * 8 - 3, 3), ".##");
    EXPECT_EQ(BandPixels(1, 0, 8), "........");
    // Below the band and its spare rows nothing is drawn.
    RasterStartPage();
    g_raster.rowOffset = 2 * g_raster.bandRows - 2;
    WriteChar('I');
    EXPECT_EQ(BandPixels(2 * g_raster.bandRows - 1, 96, 5), "...##");
    EXPECT_EQ(RasterBandRow(2 * g_raster.bandRows), nullptr);
    EXPECT_EQ(RasterBandRow(-1), nullptr);
    // Pixel and clear helpers ignore what lies outside.
    RasterSetPixel(-1, 0);
    RasterSetPixel(RASTER_ROW_BYTES * 8, 0);
    RasterSetPixel(5, 999);
    RasterClearRect(RASTER_ROW_BYTES * 8 - 4, 2 * g_raster.bandRows - 3, 40, 40);
    EXPECT_EQ(BandPixels(2 * g_raster.bandRows - 1, 96, 5), "...##");
}

TEST_F(RasterTest, RowsBelowTheLineCarryOver) {
    // The DEL clear, the ninth pin and lowered download glyphs reach below
    // the line; those rows move up with the band and are written later.
    g_raster.rowOffset = g_raster.bandRows + 1;
    WriteChar('A');
    ASSERT_EQ(OutputLine(g_raster.bandRows), TV_OK);
    ASSERT_EQ(g_rows.size(), size_t(12));
    for (const Row &r : g_rows) EXPECT_EQ(Pixels(r.data.data(), 96, 4), "....");
    EXPECT_EQ(BandPixels(1, 96, 4), "##.#");
    ASSERT_EQ(OutputLine(2), TV_OK);
    EXPECT_EQ(Pixels(g_rows[13].data.data(), 96, 4), "##.#");
    EXPECT_EQ(g_raster.rowsOnPage, 14);
}

TEST_F(RasterTest, OutputLineWritesRowsOnceOrTwice) {
    struct Case {
        int res, rowsPerRow;
    };
    for (const Case &c : {Case{RES_NORMAL, 1}, Case{RES_FINE, 1}, Case{RES_SUPERFINE, 2}}) {
        RasterSetResolution(c.res);
        ASSERT_EQ(LoadFontSize(FONTSIZE_PICA), TV_OK);
        RasterStartPage();
        g_rows.clear();
        WriteChar('A');
        ASSERT_EQ(OutputLine(40), TV_OK); // longer than the band: white after
        EXPECT_EQ(g_rows.size(), size_t(40 * c.rowsPerRow));
        EXPECT_EQ(g_raster.rowsOnPage, 40);
        EXPECT_EQ(g_raster.rowsWritten, 40 * c.rowsPerRow);
        EXPECT_EQ(Pixels(g_rows[0].data.data(), 96, 4), "##.#");
        EXPECT_EQ(Pixels(g_rows[c.rowsPerRow - 1].data.data(), 96, 4), "##.#");
        EXPECT_EQ(Pixels(g_rows[2 * c.rowsPerRow].data.data(), 96, 4), "####");
        EXPECT_TRUE(BandEmpty());
    }
}

TEST_F(RasterTest, FinishPageFillsToLengthAndMarksTheLastRow) {
    SetImageDensVars(GEOM_PORTRAIT); // top 25, length 1080 at normal
    RasterStartPage();
    WriteChar('A');
    ASSERT_EQ(RasterFinishPage(0), TV_OK);
    ASSERT_EQ(g_rows.size(), size_t(25 + 1080));
    EXPECT_EQ(Pixels(g_rows[24].data.data(), 96, 4), "....");
    EXPECT_EQ(Pixels(g_rows[25].data.data(), 96, 4), "##.#");
    int ends = 0;
    for (const Row &r : g_rows) ends += r.end;
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(g_rows.back().end, 1);

    // A longer background sets the length; G3S marks only the second copy.
    RasterSetResolution(RES_SUPERFINE);
    ASSERT_EQ(LoadFontSize(FONTSIZE_PICA), TV_OK);
    SetImageDensVars(GEOM_HEADER);
    RasterStartPage();
    g_rows.clear();
    WriteChar('A');
    ASSERT_EQ(RasterFinishPage(2500), TV_OK);
    ASSERT_EQ(g_rows.size(), size_t(2 * 2500));
    EXPECT_EQ(g_rows[g_rows.size() - 2].end, 0);
    EXPECT_EQ(g_rows.back().end, 1);
}

TEST_F(RasterTest, WriteFailureAndAbortEndThePage) {
    g_writeResult = TV_E_IO;
    EXPECT_EQ(OutputLine(3), TV_E_CONV_WRITE);
    EXPECT_EQ(g_raster.error, TV_E_CONV_WRITE);
    EXPECT_TRUE(Logged("Cannot write to output file"));

    g_writeResult = TV_OK;
    RasterOutput out = {};
    out.writeRow = Collect;
    static int polls;
    polls = 0;
    out.poll = [](void *) { return ++polls >= 2 ? 1 : 0; };
    RasterSetOutput(&out);
    RasterStartPage();
    g_rows.clear();
    EXPECT_EQ(OutputLine(100), TV_E_CONV_ABORT);
    EXPECT_EQ(g_rows.size(), size_t(10)); // polled every 5 rows
}

TEST_F(RasterTest, BackgroundAndInsertMerge) {
    RasterOutput out = {};
    out.writeRow = Collect;
    out.mergeBackground = [](void *, unsigned char *row) { row[0] |= 0x80; };
    out.mergeInsert = [](void *, unsigned char *row) { row[RASTER_ROW_BYTES - 1] |= 1; row[1] |= 0x01; };
    RasterSetOutput(&out);
    ASSERT_EQ(OutputLine(2), TV_OK);
    ASSERT_EQ(g_rows.size(), size_t(2));
    EXPECT_EQ(g_rows[0].data.size(), size_t(RASTER_PAGE_BYTES));
    EXPECT_EQ(Pixels(g_rows[0].data.data(), 0, 16), "#..............#");
}

TEST_F(RasterTest, NinetySixPicaCharactersFitBetweenTheEdges) {
    g_raster.offset = 0;
    g_raster.rightLimit = 1727;
    for (int i = 0; i < 96; i++) ASSERT_EQ(WriteChar('A'), 1);
    EXPECT_EQ(g_raster.x, 1728);
    EXPECT_TRUE(g_rows.empty());
    EXPECT_EQ(BandPixels(0, 1710, 18), "##.#" + std::string(14, '.'));
    // The 97th starts a new line at the left limit.
    ASSERT_EQ(WriteChar('A'), 1);
    EXPECT_EQ(g_rows.size(), size_t(16));
    EXPECT_EQ(g_raster.x, 18);
    EXPECT_EQ(BandPixels(0, 0, 4), "##.#");

    // The EPSON line feed hook can end the page instead.
    RasterSetNewLineHook([]() { return 1; });
    g_raster.x = 1720;
    EXPECT_EQ(WriteChar('A'), 0);
}

// A byte string as the page input, with a tiny stand-in for the EPSON
// interpreter: LF advances a line or ends a full page, FF ends the page.
struct StringInput {
    std::string bytes;
    size_t pos = 0;
    std::vector<int> controls;
};
int NextChar(void *ctx) {
    StringInput *in = static_cast<StringInput *>(ctx);
    if (in->pos >= in->bytes.size()) return -1;
    int c = static_cast<unsigned char>(in->bytes[in->pos++]);
    if (c == 26) in->pos = in->bytes.size(); // Ctrl-Z moves the input to its end
    return c;
}
void PushBack(void *ctx, int) { static_cast<StringInput *>(ctx)->pos--; }
int LineFeed() {
    if (RasterCurrentRow() + g_raster.lineSpacing < g_raster.topOffset + g_raster.pageLength - g_raster.bottomMargin) {
        g_raster.x = g_raster.leftLimit;
        OutputLine(g_raster.lineSpacing);
        return 0;
    }
    g_raster.pageEnded = 1;
    return 1;
}
void Control(void *ctx, int c) {
    static_cast<StringInput *>(ctx)->controls.push_back(c);
    if (c == '\n') LineFeed();
    if (c == '\f') g_raster.pageEnded = 1;
}

TEST_F(RasterTest, RenderPageRunsTheInput) {
    StringInput text;
    RasterInput in = {&text, NextChar, PushBack, Control};
    RasterPageResult res;

    // Form feed ends a page with content; it is filled to its length.
    text.bytes = std::string("AB\x18\fA\xA3\x1A" "A", 8);
    ASSERT_EQ(RenderPage(&in, 0, &res), TV_OK);
    EXPECT_EQ(res.rows, 1056);
    EXPECT_EQ(res.inputEnded, 0);
    EXPECT_EQ(res.common, 1);
    ASSERT_EQ(g_rows.size(), size_t(1056));
    EXPECT_EQ(Pixels(g_rows[0].data.data(), 96, 40), "##.#..............#.#...#...............");
    EXPECT_EQ(text.controls, (std::vector<int>{24, '\f'}));
    // Byte 163 prints the pound glyph 24; byte 26 ends the input.
    g_rows.clear();
    ASSERT_EQ(RenderPage(&in, 2000, &res), TV_OK);
    EXPECT_EQ(res.inputEnded, 1);
    EXPECT_EQ(res.rows, 2000);
    EXPECT_EQ(Pixels(g_rows[0].data.data(), 96, 23), "##.#...............###.");
    // Nothing left: an empty page with no rows written.
    g_rows.clear();
    ASSERT_EQ(RenderPage(&in, 0, &res), TV_OK);
    EXPECT_EQ(res.rows, 0);
    EXPECT_EQ(res.inputEnded, 1);
    EXPECT_TRUE(g_rows.empty());

    // A refused byte ends the page with its code.
    g_rasterSettings.extendedChars = 0;
    text = StringInput{std::string("A\x9C" "A"), 0, {}};
    EXPECT_EQ(RenderPage(&in, 0, &res), TV_E_CONV_BADCHAR);
    EXPECT_EQ(res.rows, 0);
}

TEST_F(RasterTest, RenderPageCarriesACharacterToTheNextPage) {
    // Two characters to a line, two lines to a page: the fifth character's
    // line feed ends the page and the character starts the next one.
    RasterSetNewLineHook(LineFeed);
    StringInput text{"ABAAI", 0, {}};
    RasterInput in = {&text, NextChar, PushBack, Control};
    RasterPageResult res;
    g_raster.rightLimit = 35;
    g_raster.pageLength = 20;
    ASSERT_EQ(RenderPage(&in, 0, &res), TV_OK);
    EXPECT_EQ(res.rows, 20);
    EXPECT_EQ(Pixels(g_rows[0].data.data(), 96, 24), "##.#..............#.#...");
    EXPECT_EQ(Pixels(g_rows[16].data.data(), 96, 24), "##.#..............##.#..");
    g_rows.clear();
    ASSERT_EQ(RenderPage(&in, 0, &res), TV_OK);
    EXPECT_EQ(res.inputEnded, 1);
    EXPECT_EQ(Pixels(g_rows[5].data.data(), 96, 6), "...##.");

    // The poll hook runs every 20 characters and aborts the page.
    RasterOutput out = {};
    out.writeRow = Collect;
    out.poll = [](void *) { return 1; };
    RasterSetOutput(&out);
    g_raster.rightLimit = 100000;
    text = StringInput{std::string(30, 'A'), 0, {}};
    EXPECT_EQ(RenderPage(&in, 0, &res), TV_E_CONV_ABORT);
    EXPECT_EQ(text.pos, size_t(19));
}

TEST_F(RasterTest, PrintableByteMapping) {
    struct Case {
        int byte, extended, dosPound;
        TvStatus status;
        int glyph;
    };
    const Case cases[] = {
        {0x9C, 1, 1, TV_OK, 24},  {0x9C, 1, 0, TV_OK, 0x9C}, {0x9C, 0, 1, TV_E_CONV_BADCHAR, 0},
        {134, 1, 0, TV_OK, 24},   {134, 0, 0, TV_E_CONV_BADCHAR, 0}, {163, 0, 0, TV_OK, 24},
        {163, 1, 0, TV_OK, 24},   {255, 0, 0, TV_E_CONV_BADCHAR, 0}, {255, 1, 0, TV_OK, 255},
        {159, 0, 0, TV_OK, 159},  {128, 0, 0, TV_E_CONV_BADCHAR, 0}, {'a', 0, 0, TV_OK, 'a'},
    };
    for (const Case &c : cases) {
        g_rasterSettings.extendedChars = c.extended;
        g_rasterSettings.dosPound = c.dosPound;
        g_raster.error = TV_OK;
        g_log.clear();
        int glyph = -1;
        EXPECT_EQ(MapPrintableByte(c.byte, &glyph), c.status) << c.byte << c.extended << c.dosPound;
        if (c.status == TV_OK) {
            EXPECT_EQ(glyph, c.glyph) << c.byte;
        } else {
            char want[64];
            snprintf(want, sizeof want, "Invalid character 0x%.2X in EPSON file", c.byte);
            EXPECT_TRUE(Logged(want));
            EXPECT_EQ(g_raster.error, TV_E_CONV_BADCHAR);
        }
    }
}

TEST_F(RasterTest, ShortFontLeavesBlankGlyphsAndEmptyOneFails) {
    // A short file with only glyphs 0..1: 'A' must be blank, not left over
    // from the font loaded before.
    std::vector<unsigned char> other = FontBytes(12, 3, {{'A', {"########"}}, {1, {"#"}}});
    WriteBytes("SHORT.FN", other, 2 * 12 * 3);
    ASSERT_EQ(LoadFontFile((g_dir + "SHORT.FN").c_str(), FONT_FULL), TV_OK);
    WriteChar(1);
    EXPECT_EQ(BandPixels(0, 96, 2), "#.");
    RasterStartPage();
    WriteChar('A');
    EXPECT_TRUE(BandEmpty());

    WriteBytes("EMPTY.FN", other, 0);
    EXPECT_EQ(LoadFontFile((g_dir + "EMPTY.FN").c_str(), FONT_FULL), TV_E_CONV_FONT);
    EXPECT_TRUE(Logged("Error reading from Font file"));
    EXPECT_EQ(LoadFontFile((g_dir + "NOSUCH.FN").c_str(), FONT_FULL), TV_E_CONV_FONT);
    EXPECT_TRUE(Logged("Font file " + g_dir + "NOSUCH.FN not found"));
    EXPECT_EQ(WriteChar('A'), 0);
    EXPECT_TRUE(Logged("6 WriteChar() uninitialised font selected"));
    // A missing download font is a blank one.
    EXPECT_EQ(LoadFontFile((g_dir + "NOSUCH.FN").c_str(), FONT_DOWNLOAD), TV_OK);
    SetFontDot('x', 2, 0);
    g_raster.downloadSelected = 1;
    RasterStartPage();
    EXPECT_EQ(WriteChar('x'), 1);
    EXPECT_EQ(BandPixels(0, 96, 4), "..#.");
}

TEST_F(RasterTest, LoadFontSizeReportsTheMissingFile) {
    std::remove((g_dir + "SS11_SN.FN").c_str());
    g_raster.sansSerif = 1;
    LoadFontSize(FONTSIZE_NONE);
    EXPECT_EQ(LoadFontSize(FONTSIZE_ELITE), TV_E_CONV_FONT);
    EXPECT_TRUE(Logged("Unable to load super/subscript font file '" + g_dir + "SS11_SN.FN'"));
    EXPECT_EQ(g_raster.fontSize, FONTSIZE_NONE);
    EXPECT_EQ(WriteChar('A'), 0);
}

TEST_F(RasterTest, FontSetFallbacks) {
    // Mark the two sets apart: the Eastern European 'A' is one pixel.
    WriteFont("PICA_LNP.FN", 12, 3, {{'A', {"#"}}});
    EXPECT_EQ(SelectFontSet(1), 1);
    ASSERT_EQ(LoadFontSize(FONTSIZE_PICA), TV_OK);
    WriteChar('A');
    EXPECT_EQ(BandPixels(0, 96, 4), "#...");

    std::remove((g_dir + "PICA_LNP.FN").c_str());
    EXPECT_EQ(SelectFontSet(1), 0);
    EXPECT_TRUE(Logged("Eastern European fonts missing - using default set"));
    EXPECT_EQ(g_raster.fontSize, FONTSIZE_NONE);

    WriteFont("PICA_LNP.FN", 12, 3, kFull);
    std::remove((g_dir + "PICA_LN.FN").c_str());
    EXPECT_EQ(SelectFontSet(0), 1);
    EXPECT_TRUE(Logged("Default fonts missing - using Eastern European set"));
    std::remove((g_dir + "PICA_LNP.FN").c_str());
    EXPECT_EQ(SelectFontSet(1), 0);
    EXPECT_TRUE(Logged("4 Font files not installed correctly"));
}

TEST_F(RasterTest, Geometry) {
    struct Case {
        int kind, fine, epsonRH;
        int left, right, top, length, bottom, rightLimit;
    };
    g_rasterSettings.asciiTopMargin = 4;
    g_rasterSettings.asciiBottomMargin = 2;
    g_rasterSettings.asciiFormLength = 72;
    const Case cases[] = {
        {GEOM_EPSON, 0, 0, 18, 0, 50, 1056, 0, 1727 - 144},
        {GEOM_EPSON, 1, 1, 18, 18, 100, 2112, 0, 1727 - 288},
        {GEOM_HEADER, 0, 0, 12, 12, 0, 1056, 0, 1727 - 192},
        {GEOM_ASCII, 0, 0, 12, 12, 64, 72 * 16 - 64, 32, 1727 - 192},
        {GEOM_ASCII, 1, 0, 12, 12, 128, 72 * 32 - 128, 64, 1727 - 192},
        {GEOM_PORTRAIT, 1, 0, 12, 12, 50, 2160, 50, 1727 - 192},
        {GEOM_LANDSCAPE, 1, 0, 6, 6, 100, 1528, 0, 2263 - 96},
        {GEOM_DRIVER, 0, 0, 8, 8, 0, 1056, 0, 1727 - 128},
    };
    for (const Case &c : cases) {
        RasterSetResolution(c.fine ? RES_FINE : RES_NORMAL);
        g_rasterSettings.epsonRHMargin = c.epsonRH;
        SetImageDensVars(c.kind);
        EXPECT_EQ(g_raster.leftMarginBytes, c.left) << c.kind;
        EXPECT_EQ(g_raster.rightMarginBytes, c.right) << c.kind;
        EXPECT_EQ(g_raster.topOffset, c.top) << c.kind;
        EXPECT_EQ(g_raster.pageLength, c.length) << c.kind;
        EXPECT_EQ(g_raster.bottomMargin, c.bottom) << c.kind;
        EXPECT_EQ(g_raster.rightLimit, c.rightLimit) << c.kind;
        EXPECT_EQ(g_raster.offset, 8 * c.left) << c.kind;
    }
    SetImageDensVars(9);
    EXPECT_TRUE(Logged("6 SetImageDensVars() - invalid parameter 9"));
    EXPECT_EQ(g_raster.kind, GEOM_DRIVER);
}

TEST_F(RasterTest, LandscapePageIsWrittenRotated) {
    struct Case {
        int res, outRows;
    };
    // Rotated rows, then at least one white row that carries the page end.
    for (const Case &c : {Case{RES_FINE, RASTER_ROW_BYTES * 8 + 1}, Case{RES_NORMAL, RASTER_ROW_BYTES * 4 + 1}}) {
        RasterSetResolution(c.res);
        ASSERT_EQ(LoadFontSize(FONTSIZE_PICA), TV_OK);
        SetImageDensVars(GEOM_PORTRAIT);
        RasterStartPage();
        g_rows.clear();
        ASSERT_EQ(SetLandscape(1, "LANDSCAPE", 0), TV_OK);
        EXPECT_EQ(g_raster.fine, 1); // landscape renders at fine
        EXPECT_EQ(g_raster.kind, GEOM_LANDSCAPE);
        // 'A' rows: ##.# / #..# / ####, at stored rows 100.. (top offset),
        // page pixels 48.. (6-byte margin).
        WriteChar('A');
        ASSERT_EQ(RasterFinishPage(0), TV_OK);
        ASSERT_EQ(int(g_rows.size()), c.outRows);
        EXPECT_EQ(g_rows.back().end, 1);
        // Pixel p of the stored rows becomes output row 2263 - p (halved at
        // normal, pairs ORed); stored row k becomes pixel k.
        auto outRow = [&](int p) { return g_rows[(RASTER_ROW_BYTES * 8 - 1 - p) / (c.res == RES_FINE ? 1 : 2)]; };
        EXPECT_EQ(Pixels(outRow(48).data.data(), 99, 5), ".###.");
        if (c.res == RES_FINE) {
            EXPECT_EQ(Pixels(outRow(49).data.data(), 99, 5), ".#.#.");
            EXPECT_EQ(Pixels(outRow(50).data.data(), 99, 5), "...#.");
            EXPECT_EQ(Pixels(outRow(51).data.data(), 99, 5), ".###.");
        }
        EXPECT_EQ(Pixels(outRow(52).data.data(), 99, 5), ".....");
        RasterStartPage();
        ASSERT_EQ(SetLandscape(0, "PORTRAIT", 0), TV_OK);
        EXPECT_EQ(g_raster.fine, c.res != RES_NORMAL);
    }
}

TEST_F(RasterTest, LandscapeRefusals) {
    SetImageDensVars(GEOM_PORTRAIT);
    RasterStartPage();
    WriteChar('A');
    EXPECT_EQ(SetLandscape(1, "LANDSCAPE", 0), TV_E_CONV_LANDSCAPE);
    EXPECT_TRUE(Logged("LANDSCAPE command only valid at top of page"));
    RasterStartPage();
    EXPECT_EQ(SetLandscape(1, "LANDSCAPE", 1), TV_E_CONV_LANDSCAPE);
    EXPECT_TRUE(Logged("LANDSCAPE command not valid when including graphics"));
    SetImageDensVars(GEOM_HEADER);
    RasterStartPage();
    EXPECT_EQ(SetLandscape(1, "LANDSCAPE", 0), TV_E_CONV_LANDSCAPE);
    EXPECT_TRUE(Logged("6 SetLandscape() called in top lines file"));
    EXPECT_EQ(WriteBufToFile(0), TV_E_CONV_LANDROWS);
    EXPECT_TRUE(Logged("WriteBufToFile() - buffer not initialised"));

    // More rows than a landscape page holds.
    SetImageDensVars(GEOM_PORTRAIT);
    RasterStartPage();
    ASSERT_EQ(SetLandscape(1, "LANDSCAPE", 0), TV_OK);
    EXPECT_EQ(OutputLine(RASTER_LANDSCAPE_ROWS + 1), TV_E_CONV_LANDROWS);
    EXPECT_TRUE(Logged("WriteLineToBuf() called too many times (1729)"));
}

// The shipped fonts: every file of both sets has the exact layout, the
// special glyphs are drawn, and the two sets differ where the code pages do.
TEST(ShippedFonts, LayoutAndSpecialGlyphs) {
    auto load = [](const std::string &name, std::vector<unsigned char> *data) {
        data->clear();
        FILE *f = fopen((std::string(TAVRINE_FONT_DIR) + name).c_str(), "rb");
        if (!f) return false;
        int ch;
        while ((ch = fgetc(f)) != EOF) data->push_back(static_cast<unsigned char>(ch));
        fclose(f);
        return true;
    };
    auto inked = [](const std::vector<unsigned char> &d, int c, int rows, int bytes) {
        for (int i = 0; i < rows * bytes; i++)
            if (d[size_t(c) * rows * bytes + i]) return true;
        return false;
    };
    std::vector<unsigned char> d, other;
    for (int set = 0; set < 2; set++)
        for (int family = 0; family < 4; family++)
            for (int kind : {FONT_FULL, FONT_SUBSUP})
                for (int fine = 0; fine < 2; fine++) {
                    std::string name = FontFileName(set, family, kind, fine);
                    int bytes = family == FAMILY_PICA || family == FAMILY_SS18 ? 3 : 2;
                    int rows = (kind == FONT_FULL ? 12 : 6) * (fine ? 2 : 1);
                    ASSERT_TRUE(load(name, &d)) << name;
                    ASSERT_EQ(d.size(), size_t(256) * rows * bytes) << name;
                    for (int c : {7, 8, 9, 24, 127, int('0'), int('A'), int('g'), 0xE9})
                        EXPECT_TRUE(inked(d, c, rows, bytes)) << name << " glyph " << c;
                    for (int c : {0, 10, 27, int(' '), 0xA0}) EXPECT_FALSE(inked(d, c, rows, bytes)) << name << " glyph " << c;
                    if (set == 1) {
                        // 0xA3 is the pound sign in Windows-1252, L with stroke in 1250.
                        ASSERT_TRUE(load(FontFileName(0, family, kind, fine), &other));
                        EXPECT_NE(0, memcmp(&d[0xA3 * rows * bytes], &other[0xA3 * rows * bytes], size_t(rows * bytes)))
                            << name;
                        EXPECT_EQ(0, memcmp(&d['A' * rows * bytes], &other['A' * rows * bytes], size_t(rows * bytes)))
                            << name;
                    }
                }
    // The arrow of the header line: glyph 8's ink runs on into glyph 9.
    ASSERT_TRUE(load("ELIT_LF.FN", &d));
    int joined = 0;
    for (int r = 0; r < 24; r++) {
        bool leftEnd = d[(8 * 24 + r) * 2 + 1] & 0x02; // column 14, the last of the pitch
        bool rightStart = d[(9 * 24 + r) * 2] & 0x80;
        joined += leftEnd && rightStart;
    }
    EXPECT_GT(joined, 0);

    // Loaded through the raster, the fonts draw.
    RasterReset();
    snprintf(g_rasterSettings.fontDir, sizeof g_rasterSettings.fontDir, "%s", TAVRINE_FONT_DIR);
    RasterSetResolution(RES_FINE);
    EXPECT_EQ(SelectFontSet(1), 1);
    ASSERT_EQ(LoadFontSize(FONTSIZE_PICA), TV_OK);
    SetImageDensVars(GEOM_HEADER);
    RasterStartPage();
    EXPECT_EQ(WriteChar('H'), 1);
    int black = 0;
    for (int r = 0; r < RASTER_BAND_FINE; r++) {
        const unsigned char *row = RasterBandRow(r);
        for (int i = 0; i < RASTER_ROW_BYTES; i++)
            for (int b = 0; b < 8; b++) black += (row[i] >> b) & 1;
    }
    EXPECT_GT(black, 20);
    RasterReset();
}

} // namespace
