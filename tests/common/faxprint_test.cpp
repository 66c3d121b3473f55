// Sheet layout and row handling of fax page printing (no GDI needed).
#include "common/faxprint.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A bit row drawn as text: '#' black, anything else white, 8 pixels a byte.
std::vector<uint8_t> Row(const std::string& pixels)
{
    std::vector<uint8_t> row((pixels.size() + 7) / 8, 0);
    for (size_t x = 0; x < pixels.size(); ++x)
        if (pixels[x] == '#')
            row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    return row;
}

std::string Pixels(const PrintPageBitmap& page, int32_t line)
{
    std::string s;
    for (int32_t x = 0; x < page.width; ++x)
        s += PageBitmapPixel(&page, x, line) ? '#' : '.';
    return s;
}

bool SameRect(const PrintRect& r, int32_t x, int32_t y, int32_t cx, int32_t cy)
{
    return r.x == x && r.y == y && r.cx == cx && r.cy == cy;
}

} // namespace

TEST(FaxPrintLayout, PagesPerSheet)
{
    struct Case {
        int given, pages;
        bool noEnlarge;
    } cases[] = {
        {1, 1, false}, {2, 2, false}, {4, 4, false}, {3, 1, false}, {0, 1, false},
        {5, 1, false}, {-2, 2, true}, {-4, 4, true}, {-3, 1, true}, {-32768, 1, true},
    };
    for (const Case& c : cases) {
        bool noEnlarge = !c.noEnlarge;
        EXPECT_EQ(NormalisePagesPerSheet(c.given, &noEnlarge), c.pages) << c.given;
        EXPECT_EQ(noEnlarge, c.noEnlarge) << c.given;
    }
    EXPECT_TRUE(SheetIsLandscape(2));
    EXPECT_FALSE(SheetIsLandscape(1));
    EXPECT_FALSE(SheetIsLandscape(4));
}

TEST(FaxPrintLayout, CellsOfEachSheetKind)
{
    // One page, no frame: the whole printable area, so a fax page fills the
    // printable width exactly.
    EXPECT_TRUE(SameRect(PrintCellRect(2400, 3300, 1, 1, false), 0, 0, 2400, 3300));
    // Frame margins: 15/1000 of the width at the sides, of the height at top
    // and bottom.
    EXPECT_TRUE(SameRect(PrintCellRect(2000, 3000, 1, 1, true), 30, 45, 1940, 2910));
    // Two side by side on a landscape sheet, a gap of 15/1000 between.
    EXPECT_TRUE(SameRect(PrintCellRect(3000, 2000, 2, 1, false), 0, 0, 1477, 2000));
    EXPECT_TRUE(SameRect(PrintCellRect(3000, 2000, 2, 2, false), 1522, 0, 1477, 2000));
    // Four: 2 and 4 on the right, 3 and 4 below.
    EXPECT_TRUE(SameRect(PrintCellRect(2000, 3000, 4, 1, true), 30, 45, 955, 1432));
    EXPECT_TRUE(SameRect(PrintCellRect(2000, 3000, 4, 2, true), 1015, 45, 955, 1432));
    EXPECT_TRUE(SameRect(PrintCellRect(2000, 3000, 4, 3, true), 30, 1522, 955, 1432));
    EXPECT_TRUE(SameRect(PrintCellRect(2000, 3000, 4, 4, true), 1015, 1522, 955, 1432));
    // A degenerate printable area gives an empty cell, never a negative one.
    PrintRect tiny = PrintCellRect(0, 0, 4, 4, true);
    EXPECT_GE(tiny.cx, 0);
    EXPECT_GE(tiny.cy, 0);
}

TEST(FaxPrintLayout, ViewportAndNoEnlarge)
{
    PrintRect cell = {30, 45, 2000, 3000};
    EXPECT_TRUE(SameRect(PrintViewport(cell, 1728, 1100, false), 30, 45, 2000, 3000));
    // No-enlarge: at most one device pixel per image pixel on each side.
    EXPECT_TRUE(SameRect(PrintViewport(cell, 1728, 1100, true), 30, 45, 1728, 1100));
    // A larger image still shrinks into the cell.
    EXPECT_TRUE(SameRect(PrintViewport(cell, 1728, 4600, true), 30, 45, 1728, 3000));
}

TEST(FaxPrintLayout, ShadowInLogicalUnits)
{
    PrintPoint dev = PrintShadowDevice(2000, 3000);
    EXPECT_EQ(dev.x, 6);
    EXPECT_EQ(dev.y, 9);
    // Half a device pixel per image pixel: twice as many logical units.
    EXPECT_EQ(DeviceToLogical(dev.x, 1728, 864), 12);
    EXPECT_EQ(DeviceToLogical(dev.x, 1728, 0), 0);

    PrintPoint p[6];
    PrintShadowPolygon(1728, 1100, 12, 18, p);
    const PrintPoint want[6] = {{1728, 18}, {1740, 18}, {1740, 1118},
                                {12, 1118}, {12, 1100}, {1728, 1100}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(p[i].x, want[i].x) << i;
        EXPECT_EQ(p[i].y, want[i].y) << i;
    }
}

TEST(FaxPrintLayout, InchFontAndLogo)
{
    // 300 dpi, a text page of 10200 units on 2040 device pixels: 1500 units
    // an inch; smaller with two (x 1000 / 1414) and four (/ 2) per sheet.
    EXPECT_EQ(LogicalInch(300, 10200, 2040, 1), 1500);
    EXPECT_EQ(LogicalInch(300, 10200, 2040, 2), 1060);
    EXPECT_EQ(LogicalInch(300, 10200, 2040, 4), 750);
    EXPECT_EQ(LogicalInch(300, 1, 1, 1), 300); // no mapping
    EXPECT_EQ(LogicalInch(300, 1, -1, 1), 300); // flipped axis: still a length

    EXPECT_EQ(PrintFontHeight(120, 300), -50);  // 12 pt at 300 dpi
    EXPECT_EQ(PrintFontHeight(160, 1500), -333);

    EXPECT_EQ(PrintLogoHeight(1000, 1000, 300, 100), 500);
    EXPECT_EQ(PrintLogoHeight(1000, 2000, 300, 100), 1000); // units taller than wide
    EXPECT_EQ(PrintLogoHeight(1000, 1000, 0, 100), 0);
}

TEST(FaxPrintRows, TrimWhiteBytes)
{
    struct Case {
        const char* what;
        std::string pixels;
        int32_t imageWidth;
        bool any;
        int32_t first, count;
    } cases[] = {
        {"all white", std::string(64, '.'), 64, false, 0, 0},
        {"one byte", "........" "...#....", 64, true, 1, 1},
        {"inner white kept", "................#.......................#", 64, true, 2, 4},
        {"first and last byte", "#......................................#", 40, true, 0, 5},
        {"black beyond the image width is not drawn",
         "................................#", 32, false, 0, 0},
        {"cut to the image width", "..#.................#...#.......#", 24, true, 0, 3},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> row = Row(c.pixels);
        int32_t first = -1, count = -1;
        EXPECT_EQ(TrimPrintRow(row.data(), static_cast<int32_t>(row.size()), c.imageWidth, &first,
                               &count),
                  c.any)
            << c.what;
        EXPECT_EQ(first, c.first) << c.what;
        EXPECT_EQ(count, c.count) << c.what;
    }
    int32_t first, count;
    uint8_t black[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_FALSE(TrimPrintRow(black, 0, 32, &first, &count));
    EXPECT_FALSE(TrimPrintRow(black, -4, 32, &first, &count));
    EXPECT_FALSE(TrimPrintRow(nullptr, 4, 32, &first, &count));
}

TEST(FaxPrintRows, InvertKeepsTheSource)
{
    const uint8_t src[3] = {0x00, 0xF0, 0xFF};
    uint8_t dst[3];
    InvertPrintRow(dst, src, 3);
    EXPECT_EQ(dst[0], 0xFF);
    EXPECT_EQ(dst[1], 0x0F);
    EXPECT_EQ(dst[2], 0x00);
    EXPECT_EQ(src[1], 0xF0);
}

TEST(FaxPrintRows, PageBitmapIsBottomUpAndWhite)
{
    PrintPageBitmap page;
    ASSERT_TRUE(PageBitmapCreate(&page, 20, 5)); // rounded up to 24 pixels
    EXPECT_EQ(page.width, 24);
    EXPECT_EQ(page.stride, 4);
    EXPECT_EQ(page.drawn, 0);
    EXPECT_EQ(Pixels(page, 0), "........................");

    std::vector<uint8_t> a = Row("##......#......#");
    PageBitmapPutRow(&page, 0, 0, a.data(), 2);
    std::vector<uint8_t> b = Row("#.#.#.#.");
    PageBitmapPutRow(&page, 3, 2, b.data(), 1);
    EXPECT_EQ(Pixels(page, 0), "##......#......#........");
    EXPECT_EQ(Pixels(page, 3), "................#.#.#.#.");
    EXPECT_EQ(page.drawn, 4);
    // Memory holds the last line first, 1 for white: line 0 is the last row.
    EXPECT_EQ(page.bits[4 * 4 + 0], 0x3F);
    EXPECT_EQ(page.bits[1 * 4 + 2], 0x55);
    // The drawn part (lines 0-3) as a bitmap of 4 rows starts one row in.
    EXPECT_EQ(PageBitmapDrawnBits(&page), page.bits + 4);

    // Outside the page or its width nothing is written, and rows are cut.
    PageBitmapPutRow(&page, 5, 0, a.data(), 2);
    PageBitmapPutRow(&page, -1, 0, a.data(), 2);
    PageBitmapPutRow(&page, 1, 3, a.data(), 1);
    std::vector<uint8_t> wide = Row(std::string(40, '#'));
    PageBitmapPutRow(&page, 2, 1, wide.data(), 5);
    EXPECT_EQ(Pixels(page, 1), "........................");
    EXPECT_EQ(Pixels(page, 2), "........################");
    EXPECT_EQ(page.drawn, 4);
    PageBitmapFree(&page);
    EXPECT_EQ(page.bits, nullptr);

    EXPECT_FALSE(PageBitmapCreate(&page, 0, 5));
    EXPECT_FALSE(PageBitmapCreate(&page, 1728, 0));
}
