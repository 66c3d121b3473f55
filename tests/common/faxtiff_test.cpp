// TIFF fax page files: layout, checks, the page readers, normalisation of
// files from other software (fixtures made by tests/fixtures/fax/make_fixtures.sh)
// and the block copy engine.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "common/faxtiff.h"
#include "common/waithook.h"
#include "common/lebytes.h"
#include "common/mhdecode.h"
#include "tests/support/mhtestutil.h"

using mht::Bits;
using mht::Pbm;
using mht::ReadPbm;
using mht::TempFile;

namespace {

std::string Fixture(const char* name) { return std::string(TV_FAX_FIXTURES) + "/" + name; }

// Every row of page 0 of the stream equals the PBM's (rows beyond the PBM
// are not compared). Returns the number of differing rows.
int DifferingRows(FILE* f, const Pbm& pbm, uint16_t index = 0)
{
    uint16_t width = 0, lines = 0;
    EXPECT_EQ(1, OpenFaxPage2(f, index, &width, &lines, nullptr, nullptr, nullptr));
    EXPECT_EQ(pbm.width, width);
    int differing = 0;
    uint8_t row[FAX_ROW_BYTES];
    for (uint32_t y = 0; y < pbm.height && y < lines; ++y) {
        int r = ReadFaxLine2(static_cast<int32_t>(y), row, sizeof row);
        if ((r != FAX_ROW_WHITE && r != FAX_ROW_BLACK) || std::memcmp(row, pbm.Row(y), (width + 7) / 8) != 0)
            ++differing;
    }
    return differing;
}

// Lines of a marked page: white 0, black k, white 1728 - k (k = 1..5).
void AddMarkedLine(Bits& b, int k)
{
    static const char* const kBlack[] = {"", "010", "11", "10", "011", "0011"};
    static const char* const kWhiteRest[] = {"", "00110100", "00110011", "00110010", "01001011", "01001010"};
    b.Add(mht::kEol).Add("00110101").Add(kBlack[k]).Add("011000").Add(kWhiteRest[k]);
}

std::vector<uint8_t> MarkedPageData(int k)
{
    Bits b;
    for (int i = 0; i < 3; ++i)
        AddMarkedLine(b, k);
    b.Pad();
    b.Byte(0x00).Byte(0x08); // final EOL
    return b.bytes;
}

// Writes pages with the given marks, each in blocks of `block` bytes.
void WriteMarkedFile(FILE* f, const std::vector<int>& marks, uint16_t yres = 196, size_t block = 512)
{
    FaxDest dst;
    ASSERT_EQ(0, CreateFaxFile(f, &dst, yres, 1728));
    for (size_t p = 0; p < marks.size(); ++p) {
        std::vector<uint8_t> data = MarkedPageData(marks[p]);
        for (size_t at = 0; at < data.size(); at += block) {
            size_t n = std::min(block, data.size() - at);
            bool endPage = at + n == data.size();
            ASSERT_EQ(0, WriteFaxBlock(f, &dst, data.data() + at, static_cast<uint32_t>(n), endPage,
                                       endPage && p + 1 == marks.size()));
        }
    }
    std::fflush(f);
}

// The mark of every page, or -1 for a page that does not read as a marked page.
std::vector<int> PageMarks(FILE* f)
{
    std::vector<int> marks;
    uint16_t count = 0;
    if (CountFaxPages(f, &count) != 0)
        return {-100};
    for (uint16_t p = 0; p < count; ++p) {
        uint16_t width, lines;
        if (!OpenFaxPage2(f, p, &width, &lines, nullptr, nullptr, nullptr) || lines != 3) {
            marks.push_back(-1);
            continue;
        }
        uint8_t row[FAX_ROW_BYTES];
        int k = -1;
        for (int y = 0; y < 3; ++y) {
            if (ReadFaxLine2(y, row, sizeof row) != FAX_ROW_BLACK) {
                k = -1;
                break;
            }
            int n = 0;
            for (int x = 0; x < 1728; ++x)
                n += mht::Pixel(row, static_cast<uint32_t>(x));
            k = n;
        }
        marks.push_back(k);
    }
    return marks;
}

// A file of fill-order-1 pages built by hand: the header, one strip of
// marked-page data at offset 8, then one IFD per entry of `strips` (each
// page's strip offset and byte count), chained in order.
std::vector<uint8_t> FillOrder1File(const std::vector<std::pair<uint32_t, uint32_t>>& strips)
{
    std::vector<uint8_t> data = MarkedPageData(1);
    for (uint8_t& b : data) { // our pages are LSB first; fill order 1 is MSB first
        uint8_t r = 0;
        for (int i = 0; i < 8; ++i)
            r = static_cast<uint8_t>(r | (((b >> i) & 1) << (7 - i)));
        b = r;
    }
    const uint16_t kEntries = 15;
    const uint32_t ifdSize = 2 + 12 * kEntries + 4;
    uint32_t ifd0 = 8 + static_cast<uint32_t>(data.size());
    uint32_t rational = ifd0 + ifdSize * static_cast<uint32_t>(strips.size());
    std::vector<uint8_t> f(rational + 8, 0);
    std::memcpy(f.data(), "II*\0", 4);
    PutLe32(&f[4], ifd0);
    std::memcpy(&f[8], data.data(), data.size());
    PutLe32(&f[rational], 200);
    PutLe32(&f[rational + 4], 1);
    for (size_t p = 0; p < strips.size(); ++p) {
        uint8_t* d = &f[ifd0 + ifdSize * p];
        PutLe16(d, kEntries);
        const uint32_t e[kEntries][4] = {
            {254, 4, 1, 0},    {256, 3, 1, 1728}, {257, 3, 1, 3},   {258, 3, 1, 1},
            {259, 3, 1, 3},    {262, 3, 1, 0},    {266, 3, 1, 1},   {273, 4, 1, strips[p].first},
            {277, 3, 1, 1},    {278, 4, 1, 3},    {279, 4, 1, strips[p].second},
            {282, 5, 1, rational}, {283, 5, 1, rational}, {292, 4, 1, 0}, {296, 3, 1, 2},
        };
        for (int i = 0; i < kEntries; ++i) {
            uint8_t* x = d + 2 + 12 * i;
            PutLe16(x, static_cast<uint16_t>(e[i][0]));
            PutLe16(x + 2, static_cast<uint16_t>(e[i][1]));
            PutLe32(x + 4, e[i][2]);
            PutLe32(x + 8, e[i][3]);
        }
        PutLe32(d + 2 + 12 * kEntries, p + 1 < strips.size() ? ifd0 + ifdSize * static_cast<uint32_t>(p + 1) : 0);
    }
    return f;
}

} // namespace

TEST(FaxTiff, OnePageLayoutIsExact)
{
    TempFile t;
    std::vector<uint8_t> data = MarkedPageData(2);
    FaxDest dst;
    ASSERT_EQ(0, CreateFaxFile(t.f, &dst, 98, 1728));
    ASSERT_EQ(0, WriteFaxBlock(t.f, &dst, data.data(), static_cast<uint32_t>(data.size()), 1, 1));
    std::vector<uint8_t> got = t.Bytes();

    std::vector<uint8_t> want(210 + data.size(), 0);
    uint8_t* p = want.data();
    PutLe16(p, 0x4949);
    PutLe16(p + 2, 42);
    PutLe32(p + 4, 8);
    PutLe16(p + 8, 15);
    const uint32_t n = static_cast<uint32_t>(data.size());
    const uint32_t entries[15][4] = {
        {254, 4, 1, 0},   {256, 4, 1, 1728}, {257, 3, 1, 3},   {258, 3, 1, 1},   {259, 3, 1, 3},
        {262, 3, 1, 0},   {266, 3, 1, 2},    {273, 4, 1, 210}, {277, 3, 1, 1},   {278, 4, 1, 3},
        {279, 4, 1, n},   {282, 5, 1, 194},  {283, 5, 1, 202}, {292, 4, 1, 0},   {296, 3, 1, 2},
    };
    for (int i = 0; i < 15; ++i) {
        PutLe16(p + 10 + 12 * i, static_cast<uint16_t>(entries[i][0]));
        PutLe16(p + 12 + 12 * i, static_cast<uint16_t>(entries[i][1]));
        PutLe32(p + 14 + 12 * i, entries[i][2]);
        PutLe32(p + 18 + 12 * i, entries[i][3]);
    }
    PutLe32(p + 190, 0);
    PutLe32(p + 194, 204);
    PutLe32(p + 198, 1);
    PutLe32(p + 202, 98);
    PutLe32(p + 206, 1);
    std::memcpy(p + 210, data.data(), data.size());
    EXPECT_EQ(want, got);

    // Read back: normal resolution reads as 100, the page as written.
    uint16_t width, lines, yres, count;
    uint32_t bytes;
    ASSERT_EQ(1, OpenFaxPage(t.f, 0, &width, &lines, &bytes, &yres, &count));
    EXPECT_EQ(1728, width);
    EXPECT_EQ(3, lines);
    EXPECT_EQ(n, bytes);
    EXPECT_EQ(100, yres);
    EXPECT_EQ(1, count);
}

TEST(FaxTiff, PagesChainBehindTheirData)
{
    TempFile t;
    WriteMarkedFile(t.f, {1, 2, 3}, 200, 7);
    std::vector<uint8_t> b = t.Bytes();
    uint32_t n = static_cast<uint32_t>(MarkedPageData(1).size());
    ASSERT_EQ(3u * (202 + n) + 8, b.size());
    // Page 2's IFD follows page 1's data at once; X resolution 200 for 200 lpi.
    uint32_t ifd2 = GetLe32(b.data() + 8 + 182);
    EXPECT_EQ(8 + 202 + n, ifd2);
    EXPECT_EQ(ifd2 + 202, GetLe32(b.data() + ifd2 + 2 + 12 * 7 + 8));
    EXPECT_EQ(200u, GetLe32(b.data() + ifd2 + 186));
    EXPECT_EQ(0u, GetLe32(b.data() + ifd2 + 202 + n + 182));
    EXPECT_EQ((std::vector<int>{1, 2, 3}), PageMarks(t.f));
    // The line counts were taken from the EOLs of blocks of 7 bytes.
    EXPECT_EQ(3u, GetLe32(b.data() + ifd2 + 2 + 12 * 2 + 8));
}

TEST(FaxTiff, SoftwareNameSitsBehindTheHeader)
{
    SetTiffSoftwareName("TAVRINE CONV");
    TempFile t;
    WriteMarkedFile(t.f, {4});
    SetTiffSoftwareName(nullptr);
    std::rewind(t.f);
    TiffHeader h;
    ASSERT_EQ(1, ReadTiffHeader(t.f, &h));
    EXPECT_EQ(8u + 13u, h.firstIfd);
    EXPECT_STREQ("TAVRINE CONV", h.software);
    EXPECT_EQ(21, std::ftell(t.f));
    EXPECT_EQ((std::vector<int>{4}), PageMarks(t.f));
}

TEST(FaxTiff, HeaderChecks)
{
    struct Case {
        uint8_t bytes[8];
        int result;
    };
    const Case cases[] = {
        {{'I', 'I', 42, 0, 8, 0, 0, 0}, 0},
        {{'M', 'M', 0, 42, 0, 0, 0, 8}, TV_R_TIFF_MOTOROLA},
        {{'I', 'I', 43, 0, 8, 0, 0, 0}, TV_R_TIFF_VERSION},
        {{'M', 'M', 0, 43, 0, 0, 0, 8}, TV_R_TIFF_VERSION},
        {{'X', 'X', 42, 0, 8, 0, 0, 0}, TV_R_TIFF_VERSION},
    };
    for (const Case& c : cases) {
        TempFile t(std::vector<uint8_t>(c.bytes, c.bytes + 8));
        TiffHeader h;
        ASSERT_EQ(1, ReadTiffHeader(t.f, &h));
        EXPECT_EQ(c.result, CheckTiffHeader(&h)) << c.bytes[0] << c.bytes[2] + 0;
    }
    TempFile shortFile(std::vector<uint8_t>{'I', 'I', 42});
    TiffHeader h;
    EXPECT_EQ(0, ReadTiffHeader(shortFile.f, &h));
}

TEST(FaxTiff, PageChecksInTheirOrder)
{
    struct Case {
        const char* name;
        void (*change)(TiffIfd*);
        int result;
    };
    const Case cases[] = {
        {"fax page", [](TiffIfd*) {}, 0},
        {"compression 4", [](TiffIfd* i) { i->entry[TE_COMPRESSION].value = 4; }, TV_R_TIFF_COMPRESSION},
        {"2-D coding", [](TiffIfd* i) { i->entry[TE_T4OPTIONS].value = 1; }, TV_R_TIFF_COMPRESSION},
        {"uncompressed mode", [](TiffIfd* i) { i->entry[TE_T4OPTIONS].value = 2; }, TV_R_TIFF_COMPRESSION},
        {"fill bits are fine", [](TiffIfd* i) { i->entry[TE_T4OPTIONS].value = 4; }, 0},
        {"two strip byte counts", [](TiffIfd* i) { i->entry[TE_STRIPBYTES].count = 2; }, TV_R_TIFF_STRIPS},
        {"rows per strip below length",
         [](TiffIfd* i) {
             i->entry[TE_LENGTH].value = 10;
             i->entry[TE_ROWSPERSTRIP].value = 9;
         },
         TV_R_TIFF_STRIPS},
        {"unit cm", [](TiffIfd* i) { i->entry[TE_RESUNIT].value = 3; }, TV_R_TIFF_RESUNIT},
        {"X resolution SHORT", [](TiffIfd* i) { i->entry[TE_XRES].type = 3; }, TV_R_TIFF_RESTYPE},
        {"fill order 1", [](TiffIfd* i) { i->entry[TE_FILLORDER].value = 1; }, TV_R_TIFF_FILLORDER},
        {"compression first",
         [](TiffIfd* i) {
             i->entry[TE_FILLORDER].value = 1;
             i->entry[TE_COMPRESSION].value = 1;
         },
         TV_R_TIFF_COMPRESSION},
        {"width 2048", [](TiffIfd* i) { i->entry[TE_WIDTH].value = 2048; }, TV_R_IO},
        {"width 0", [](TiffIfd* i) { i->entry[TE_WIDTH].value = 0; }, TV_R_IO},
    };
    for (const Case& c : cases) {
        TiffIfd ifd;
        InitFaxIfd(&ifd, 1728);
        c.change(&ifd);
        EXPECT_EQ(c.result, CheckFaxIfd(&ifd)) << c.name;
    }
    TiffIfd plain;
    InitTiffIfd(&plain, 1728);
    EXPECT_EQ(TV_R_TIFF_COMPRESSION, CheckFaxIfd(&plain));
}

TEST(FaxTiff, ResolutionRules)
{
    uint8_t d200[8] = {0, 0, 0, 0, 0, 0, 0x69, 0x40}, d100[8] = {0, 0, 0, 0, 0, 0, 0x59, 0x40},
            d400[8] = {0, 0, 0, 0, 0, 0, 0x79, 0x40}, d196[8] = {0, 0, 0, 0, 0, 0x80, 0x68, 0x40};
    EXPECT_EQ(200, DecodeResolution(d200));
    EXPECT_EQ(100, DecodeResolution(d100));
    EXPECT_EQ(400, DecodeResolution(d400));
    EXPECT_EQ(-1, DecodeResolution(d196));
    EXPECT_EQ(204, FaxXResolution(98));
    EXPECT_EQ(204, FaxXResolution(196));
    EXPECT_EQ(200, FaxXResolution(200));

    struct Case {
        const char* file;
        uint16_t x, y;
    };
    const Case cases[] = {
        {"lsb_strips.tif", 204, 200}, {"gs_normal.tif", 204, 100}, {"no_res.tif", 0, 0},
        {"zero_den.tif", 204, 0},     {"doubles.tif", 200, 100},
    };
    for (const Case& c : cases) {
        FILE* f = std::fopen(Fixture(c.file).c_str(), "rb");
        ASSERT_NE(nullptr, f) << c.file;
        TiffHeader h;
        TiffIfd ifd;
        uint16_t x = 1, y = 1;
        ASSERT_EQ(1, ReadTiffHeader(f, &h));
        ASSERT_EQ(1, ReadTiffIfd(f, &ifd, &x, &y)) << c.file;
        EXPECT_EQ(c.x, x) << c.file;
        EXPECT_EQ(c.y, y) << c.file;
        EXPECT_EQ(1728u, ifd.entry[TE_WIDTH].value) << c.file; // a SHORT in these files
        EXPECT_EQ(ifd.entry[TE_STRIPOFFSETS].value, static_cast<uint32_t>(std::ftell(f))) << c.file;
        if (std::string(c.file) == "doubles.tif") {
            EXPECT_EQ(2u, ifd.entry[TE_FILLORDER].value);
            EXPECT_EQ(1, ifd.doublesQuirk);
        }
        std::fclose(f);
    }
}

// Files from outside that break the profile get a clear code and bounded work.
TEST(FaxTiff, ForeignFilesGetClearResults)
{
    struct Case {
        const char* file;
        int open;     // OpenFaxPageStatus on page 0
        int count;    // CountFaxPages
    };
    const Case cases[] = {
        {"loop.tif", 0, TV_R_IO}, // page 0 is found before the loop shows
        {"wide.tif", TV_R_IO, TV_R_IO},
        {"truncated.tif", TV_R_IO, TV_R_IO},
        {"g3_2d.tif", TV_R_TIFF_COMPRESSION, TV_R_IO},
        {"no_fillorder.tif", TV_R_TIFF_FILLORDER, TV_R_IO},
        {"lsb_strips.tif", TV_R_TIFF_STRIPS, TV_R_IO},
        {"msb_one.tif", TV_R_TIFF_FILLORDER, TV_R_IO},
        {"zero_den.tif", 0, 0},
        {"no_res.tif", 0, 0},
        {"garbage.tif", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        FILE* f = std::fopen(Fixture(c.file).c_str(), "rb");
        ASSERT_NE(nullptr, f);
        static MhDecoder dec;
        uint16_t width = 0, lines = 0, count = 0;
        EXPECT_EQ(c.open, OpenFaxPageStatus(&dec, f, 0, &width, &lines, nullptr, nullptr, nullptr));
        EXPECT_EQ(c.count, CountFaxPages(f, &count));
        if (c.open == 0) {
            uint8_t row[FAX_ROW_BYTES];
            for (int32_t y = 0; y <= lines; ++y) {
                int r = DecodeFaxLine(&dec, y, row, sizeof row);
                EXPECT_TRUE(r == MH_LINE_OK || r == MH_LINE_BAD || r == MH_LINE_END);
            }
        }
        std::fclose(f);
    }
}

// A strip cut short (the IFD before it intact) and data without EOLs: the
// lines that are there decode, the rest give -1, nothing is read past the file.
TEST(FaxTiff, TruncatedStripsAndDataWithoutEols)
{
    TempFile whole;
    WriteMarkedFile(whole.f, {2});
    std::vector<uint8_t> b = whole.Bytes();
    b.resize(8 + 202 + 12);
    TempFile cut(b);
    uint16_t lines;
    uint32_t stripBytes;
    ASSERT_EQ(1, OpenFaxPage2(cut.f, 0, nullptr, &lines, &stripBytes, nullptr, nullptr));
    EXPECT_GT(stripBytes, 12u);
    uint8_t row[FAX_ROW_BYTES];
    // Lines of 36 bits: two fit in the 12 bytes left, the third is cut.
    EXPECT_EQ(FAX_ROW_BLACK, ReadNextFaxLine2(row));
    EXPECT_EQ(FAX_ROW_BLACK, ReadNextFaxLine2(row));
    EXPECT_EQ(MH_LINE_END, ReadNextFaxLine2(row));
    EXPECT_EQ(MH_LINE_END, ReadNextFaxLine2(row));

    // Lines coded without their EOLs: the first one bit of each line is
    // taken for its EOL, so lines are lost, but every call ends.
    Bits noEol;
    for (int i = 0; i < 200; ++i)
        noEol.Add("00111").Add("0011").Add("011000").Add("01010010");
    noEol.Pad();
    TempFile t;
    FaxDest dst;
    ASSERT_EQ(0, CreateFaxFile(t.f, &dst, 196, 1728));
    ASSERT_EQ(0, WriteFaxBlock(t.f, &dst, noEol.bytes.data(), static_cast<uint32_t>(noEol.bytes.size()), 1, 1));
    EXPECT_EQ(0, dst.lines);
    // No EOL: no line counted, so the page holds no lines: patch the count.
    std::vector<uint8_t> bytes = t.Bytes();
    PutLe32(bytes.data() + 8 + 2 + 12 * 2 + 8, 200);
    PutLe32(bytes.data() + 8 + 2 + 12 * 9 + 8, 200);
    TempFile p(bytes);
    ASSERT_EQ(1, OpenFaxPage2(p.f, 0, nullptr, &lines, nullptr, nullptr, nullptr));
    int counts[3] = {};
    for (int i = 0; i < 200; ++i) {
        int r = ReadNextFaxLine2(row);
        ASSERT_TRUE(r >= -2 && r <= 1);
        ++counts[r == MH_LINE_END ? 0 : r == MH_LINE_BAD ? 1 : 2];
    }
    EXPECT_GT(counts[0] + counts[1], 0);
}

TEST(FaxTiff, PageCountsAndEmptyPages)
{
    TempFile t;
    WriteMarkedFile(t.f, {1, 2, 3});
    std::fseek(t.f, 17, SEEK_SET);
    uint16_t count = 0;
    EXPECT_EQ(0, CountFaxPages(t.f, &count));
    EXPECT_EQ(3, count);
    EXPECT_EQ(17, std::ftell(t.f));

    // A page with no lines is no page.
    TempFile e;
    FaxDest dst;
    ASSERT_EQ(0, CreateFaxFile(e.f, &dst, 196, 1728));
    ASSERT_EQ(0, WriteFaxBlock(e.f, &dst, nullptr, 0, 1, 1));
    EXPECT_EQ(0, CountFaxPages(e.f, &count));
    EXPECT_EQ(0, count);
    EXPECT_EQ(0, OpenFaxPage(e.f, 0, nullptr, nullptr, nullptr, nullptr, nullptr));
}

TEST(FaxTiff, TheTwoDecoderInstancesAreIndependent)
{
    TempFile a, b;
    WriteMarkedFile(a.f, {1, 2});
    WriteMarkedFile(b.f, {5});
    uint8_t row[FAX_ROW_BYTES];
    ASSERT_EQ(1, OpenFaxPage(a.f, 1, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(FAX_ROW_BLACK, ReadNextFaxLine(row));
    uint16_t count;
    ASSERT_EQ(0, CountFaxPages(b.f, &count));
    ASSERT_EQ(0, CountFaxPages(a.f, &count)); // same stream, other instance
    EXPECT_EQ(FAX_ROW_BLACK, ReadNextFaxLine2(row));
    EXPECT_EQ(FAX_ROW_BLACK, ReadNextFaxLine(row));
    EXPECT_EQ(2, FaxDecoder1()->current);
    EXPECT_TRUE(mht::Pixel(row, 1) && !mht::Pixel(row, 2));
    EXPECT_EQ(FAX_ROW_BLACK, ReadNextFaxLine(row));
    EXPECT_EQ(MH_LINE_END, ReadNextFaxLine(row));
}

TEST(FaxTiff, EolCountingAcrossBlocks)
{
    // The same page written in blocks of 1, 2, 3 and 512 bytes counts 3 lines.
    for (size_t block : {1u, 2u, 3u, 512u}) {
        TempFile t;
        WriteMarkedFile(t.f, {3}, 196, block);
        std::vector<uint8_t> b = t.Bytes();
        EXPECT_EQ(3u, GetLe32(b.data() + 8 + 2 + 12 * 2 + 8)) << block;
        EXPECT_EQ(3u, GetLe32(b.data() + 8 + 2 + 12 * 9 + 8)) << block;
    }
    // An EOL whose one bit is in the last byte of a block that does not end
    // the page is counted.
    TempFile t;
    FaxDest dst;
    ASSERT_EQ(0, CreateFaxFile(t.f, &dst, 196, 1728));
    const uint8_t eol[2] = {0x00, 0x08};
    ASSERT_EQ(0, WriteFaxBlock(t.f, &dst, eol, 2, 0, 0));
    EXPECT_EQ(1, dst.lines);
    ASSERT_EQ(0, WriteFaxBlock(t.f, &dst, eol, 2, 1, 1));
    EXPECT_EQ(1, dst.lines);
}

TEST(FaxTiff, NormalisedForeignPagesReadPixelForPixel)
{
    Pbm page = ReadPbm(Fixture("page.pbm"));
    ASSERT_EQ(1728u, page.width);
    Pbm gs = ReadPbm(Fixture("gs_fine.pbm"));
    ASSERT_EQ(1728u, gs.width);
    struct Case {
        const char* file;
        const Pbm* pixels;
        uint16_t yres;
    };
    const Case cases[] = {
        {"lsb_strips.tif", &page, 200}, {"msb_strips.tif", &page, 200}, {"msb_one.tif", &page, 200},
        {"lsb_short.tif", &page, 200},  {"doubles.tif", &page, 100},    {"gs_fine.tif", &gs, 200},
        {"no_res.tif", &page, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TempFile t(mht::ReadWholeFile(Fixture(c.file)));
        ASSERT_EQ(0, NormaliseFaxFile(t.f));
        std::vector<uint8_t> once = t.Bytes();
        uint16_t yres = 0;
        uint16_t lines = 0;
        ASSERT_EQ(1, OpenFaxPage2(t.f, 0, nullptr, &lines, nullptr, &yres, nullptr));
        EXPECT_EQ(c.yres, yres);
        EXPECT_EQ(c.pixels->height, lines);
        EXPECT_EQ(0, DifferingRows(t.f, *c.pixels));
        // A second run changes nothing.
        ASSERT_EQ(0, NormaliseFaxFile(t.f));
        EXPECT_EQ(once, t.Bytes());
    }
}

TEST(FaxTiff, NormaliseRefusesWhatItCannotRecord)
{
    struct Case {
        const char* file;
        int result;
    };
    const Case cases[] = {
        {"no_fillorder.tif", TV_R_TIFF_FILLORDER},
        {"gap_strips.tif", TV_R_IO},
        {"loop.tif", TV_R_IO},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::vector<uint8_t> before = mht::ReadWholeFile(Fixture(c.file));
        TempFile t(before);
        EXPECT_EQ(c.result, NormaliseFaxFile(t.f));
        if (c.result == TV_R_TIFF_FILLORDER) {
            EXPECT_EQ(before, t.Bytes());
        }
    }
    // Our own pages and a strip shorter than the tail patch stay as they are.
    TempFile own;
    WriteMarkedFile(own.f, {1, 2});
    std::vector<uint8_t> before = own.Bytes();
    EXPECT_EQ(0, NormaliseFaxFile(own.f));
    EXPECT_EQ(before, own.Bytes());
    TempFile tiny;
    FaxDest dst;
    ASSERT_EQ(0, CreateFaxFile(tiny.f, &dst, 196, 1728));
    const uint8_t data[5] = {0x00, 0x08, 0xB2, 0x59, 0x01};
    ASSERT_EQ(0, WriteFaxBlock(tiny.f, &dst, data, 5, 1, 1));
    before = tiny.Bytes();
    EXPECT_EQ(0, NormaliseFaxFile(tiny.f));
    EXPECT_EQ(before, tiny.Bytes());
}

// Reversing the bit order in place must touch each byte of image data once
// and never the file's own structure: a strip over the header or over its
// page's directory, or two pages sharing a strip, is refused.
TEST(FaxTiff, NormaliseReversesEachStripOnce)
{
    const uint32_t n = static_cast<uint32_t>(MarkedPageData(1).size());
    const uint32_t all = static_cast<uint32_t>(FillOrder1File({{8, n}}).size());
    struct Case {
        const char* what;
        std::vector<std::pair<uint32_t, uint32_t>> strips;
        int result;
    };
    const Case cases[] = {
        {"one page", {{8, n}}, 0},
        {"two pages sharing a strip", {{8, n}, {8, n}}, TV_R_IO},
        {"two pages overlapping", {{8, n}, {9, n - 1}}, TV_R_IO},
        {"strip over the header", {{0, n + 8}}, TV_R_IO},
        {"strip over its directory", {{8, all - 8}}, TV_R_IO},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFile t(FillOrder1File(c.strips));
        EXPECT_EQ(c.result, NormaliseFaxFile(t.f));
        if (c.result == 0) {
            EXPECT_EQ(std::vector<int>{1}, PageMarks(t.f));
        }
    }
}

TEST(FaxTiff, NormaliseRewritesResolutions)
{
    // Doubles become RATIONALs with the fill order recorded.
    TempFile d(mht::ReadWholeFile(Fixture("doubles.tif")));
    ASSERT_EQ(0, NormaliseFaxFile(d.f));
    std::rewind(d.f);
    TiffHeader h;
    TiffIfd ifd;
    uint16_t x, y;
    ASSERT_EQ(1, ReadTiffHeader(d.f, &h));
    ASSERT_EQ(1, ReadTiffIfd(d.f, &ifd, &x, &y));
    EXPECT_EQ(0, ifd.doublesQuirk);
    EXPECT_EQ(2u, ifd.entry[TE_FILLORDER].value);
    EXPECT_EQ(200, x);
    EXPECT_EQ(100, y);
    // A zero resolution becomes 200/1.
    TempFile z(mht::ReadWholeFile(Fixture("zero_den.tif")));
    ASSERT_EQ(0, NormaliseFaxFile(z.f));
    uint16_t yres;
    ASSERT_EQ(1, OpenFaxPage2(z.f, 0, nullptr, nullptr, nullptr, &yres, nullptr));
    EXPECT_EQ(200, yres);
    // Missing tags have nothing to rewrite: the header stays intact.
    TempFile n(mht::ReadWholeFile(Fixture("no_res.tif")));
    std::vector<uint8_t> before = n.Bytes();
    ASSERT_EQ(0, NormaliseFaxFile(n.f));
    std::vector<uint8_t> after = n.Bytes();
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + 8, after.begin()));
}

TEST(FaxTiff, MergeInsertsAndReplaces)
{
    struct Case {
        const char* name;
        uint16_t page, skip;
        int insert;
        std::vector<int> want;
    };
    const Case cases[] = {
        {"insert after page 1", 1, 0, 1, {1, 4, 5, 2, 3}},
        {"insert before page 1", 0, 0, 1, {4, 5, 1, 2, 3}},
        {"insert at the end", 3, 0, 1, {1, 2, 3, 4, 5}},
        {"replace page 2 and 3", 1, 0, 0, {1, 4, 5}},
        {"replace page 1", 0, 0, 0, {4, 5, 3}},
        {"skip one page first", 1, 1, 1, {2, 4, 5, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFile a, b, out;
        WriteMarkedFile(a.f, {1, 2, 3});
        WriteMarkedFile(b.f, {4, 5});
        ASSERT_EQ(0, MergeFaxFiles(a.f, b.f, out.f, c.page, c.skip, c.insert));
        EXPECT_EQ(c.want, PageMarks(out.f));
    }
    // Append with no second source copies the first.
    TempFile a, out;
    WriteMarkedFile(a.f, {2, 3});
    ASSERT_EQ(0, AppendFaxFile(a.f, nullptr, out.f, 9, 1));
    EXPECT_EQ((std::vector<int>{2, 3}), PageMarks(out.f));
}

namespace {
int g_pumps = 0;
void CountPump() { ++g_pumps; }
} // namespace

// The copy yields to an installed message pump after every block of 512 bytes.
TEST(FaxTiff, CopyYieldsToTheMessagePump)
{
    std::mt19937 rng(1);
    Bits b;
    for (int i = 0; i < 400; ++i)
        AddMarkedLine(b, 1 + static_cast<int>(rng() % 5));
    b.Pad();
    TempFile src, one;
    FaxDest dst;
    ASSERT_EQ(0, CreateFaxFile(src.f, &dst, 196, 1728));
    ASSERT_EQ(0, WriteFaxBlock(src.f, &dst, b.bytes.data(), static_cast<uint32_t>(b.bytes.size()), 1, 1));
    TvWaitHook old = SetWaitHook(CountPump);
    g_pumps = 0;
    EXPECT_EQ(0, ExtractFaxPage(src.f, nullptr, one.f, 1));
    SetWaitHook(old == DefaultWaitHook ? nullptr : old);
    EXPECT_EQ(static_cast<int>((b.bytes.size() + 511) / 512), g_pumps);
    EXPECT_EQ(dst.lines, 400);
}

TEST(FaxTiff, MergeRefusesPagesOfOtherWidths)
{
    TempFile a, b, out;
    WriteMarkedFile(a.f, {1});
    FaxDest dst;
    ASSERT_EQ(0, CreateFaxFile(b.f, &dst, 196, 1024));
    Bits line;
    line.Add(mht::kEol).Add("011010101").Add("00110101"); // white 1024 + 0
    line.Pad();
    ASSERT_EQ(0, WriteFaxBlock(b.f, &dst, line.bytes.data(), static_cast<uint32_t>(line.bytes.size()), 1, 1));
    EXPECT_EQ(TV_R_IO, MergeFaxFiles(a.f, b.f, out.f, 1, 0, 1));
}

TEST(FaxTiff, ExtractSplitsAPage)
{
    struct Case {
        uint16_t page;
        std::vector<int> single, others;
    };
    const Case cases[] = {
        {1, {1}, {2, 3}},
        {2, {2}, {1, 3}},
        {3, {3}, {1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        TempFile src, one, rest;
        WriteMarkedFile(src.f, {1, 2, 3});
        ASSERT_EQ(0, ExtractFaxPage(src.f, rest.f, one.f, c.page));
        EXPECT_EQ(c.single, PageMarks(one.f));
        EXPECT_EQ(c.others, PageMarks(rest.f));
    }
    TempFile src, one, rest;
    WriteMarkedFile(src.f, {1, 2});
    EXPECT_EQ(TV_R_IO, ExtractFaxPage(src.f, nullptr, one.f, 3));
    ASSERT_EQ(0, InsertFaxPages(src.f, rest.f, one.f, 2, 1));
    EXPECT_EQ((std::vector<int>{2}), PageMarks(one.f));
    EXPECT_EQ((std::vector<int>{1}), PageMarks(rest.f));
}
