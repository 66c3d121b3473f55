// The Modified Huffman encoder and the multi-page fax TIFF writer, checked
// against the decoder and against codes drawn as bit strings.
#include <gtest/gtest.h>

#include <random>

#include "common/lebytes.h"
#include "common/mhdecode.h"
#include "server/runtime/mhencode.h"
#include "tests/support/mhtestutil.h"
#include "tests/server/runtime/faxpages.h"

using mht::Bits;

TEST(MhEncode, RowsCodeAsT4Says)
{
    struct Case {
        const char* name;
        std::string row;          // drawn, 1728 pixels (the rest white)
        std::vector<const char*> codes;
    };
    const Case cases[] = {
        {"all white", "", {"010011011", "00110101"}},
        {"black first", "##", {"00110101", "11", "011000", "00110011"}},
        {"white 10 black 5", "..........#####", {"00111", "0011", "011000", "01010010"}},
        {"black to the end", std::string(1664, '.') + std::string(64, '#'),
         {"011000", "00110101", "0000001111", "0000110111"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> row = mht::RowFromText(c.row, 1728);
        uint8_t out[MH_ROW_CODE_SIZE];
        size_t n = MhEncodeRow(row.data(), 1728, 0, out);
        Bits want;
        want.Add(mht::kEol);
        for (const char* code : c.codes)
            want.Add(code);
        want.Pad();
        EXPECT_EQ(want.bytes, std::vector<uint8_t>(out, out + n));
    }
    // No row is a white row; the end flag adds the EOL 00 08.
    uint8_t a[MH_ROW_CODE_SIZE], b[MH_ROW_CODE_SIZE];
    size_t na = MhEncodeRow(nullptr, 1728, 1, a);
    std::vector<uint8_t> white(216, 0);
    size_t nb = MhEncodeRow(white.data(), 1728, 0, b);
    ASSERT_EQ(nb + 2, na);
    EXPECT_EQ(0, std::memcmp(a, b, nb));
    EXPECT_EQ(0x00, a[nb]);
    EXPECT_EQ(0x08, a[nb + 1]);
    EXPECT_EQ(0u, MhEncodeRow(white.data(), 1736, 0, a));
}

TEST(MhEncode, RandomRowsRoundTripThroughTheDecoder)
{
    std::mt19937 rng(3);
    for (int iter = 0; iter < 400; ++iter) {
        uint16_t width = iter % 4 == 0 ? 1728 : static_cast<uint16_t>(8 * (1 + rng() % 216));
        std::vector<uint8_t> row = faxpages::RandomRow(rng, width, iter % 7);
        uint8_t code[MH_ROW_CODE_SIZE];
        size_t n = MhEncodeRow(row.data(), width, 0, code);
        ASSERT_GT(n, 0u);
        ASSERT_LE(n, MH_ROW_CODE_SIZE);
        static MhDecoder d;
        MhInitDecoderMem(&d, code, static_cast<uint32_t>(n), width, 1);
        std::vector<uint8_t> back(row.size() + 1, 0xEE);
        ASSERT_EQ(MH_LINE_OK, DecodeFaxLine(&d, 0, back.data(), back.size())) << iter;
        back.resize(row.size());
        ASSERT_EQ(row, back) << iter;
    }
    // The longest row: 1728 alternating pixels.
    std::vector<uint8_t> alt(216, 0x55);
    uint8_t code[MH_ROW_CODE_SIZE];
    size_t n = MhEncodeRow(alt.data(), 1728, 1, code);
    EXPECT_LE(n, MH_ROW_CODE_SIZE);
    static MhDecoder d;
    MhInitDecoderMem(&d, code, static_cast<uint32_t>(n), 1728, 1);
    uint8_t back[216];
    EXPECT_EQ(MH_LINE_OK, DecodeFaxLine(&d, 0, back, sizeof back));
    EXPECT_EQ(0, std::memcmp(alt.data(), back, 216));
}

// Reference coding, one pixel and one bit at a time: the encoder's word
// search and its white-row shortcut must give these exact bytes.
std::vector<uint8_t> SlowCode(const std::vector<uint8_t>& row, uint32_t width, bool endFlag)
{
    std::vector<uint8_t> out;
    uint32_t bit = 0;
    // Table codes are stored bit reversed: bit 0 is sent first and goes to
    // the lowest free bit of the output byte.
    auto put = [&](uint32_t code, uint32_t length) {
        for (uint32_t i = 0; i < length; ++i) {
            if (bit % 8 == 0)
                out.push_back(0);
            if ((code >> i) & 1)
                out.back() = static_cast<uint8_t>(out.back() | (1u << (bit % 8)));
            ++bit;
        }
    };
    auto run = [&](bool black, uint32_t n) {
        const MhCode* term = black ? kMhBlackTerm : kMhWhiteTerm;
        const MhCode* makeup = black ? kMhBlackMakeup : kMhWhiteMakeup;
        if (n >= 64)
            put(makeup[n / 64 - 1].bits, makeup[n / 64 - 1].length);
        put(term[n % 64].bits, term[n % 64].length);
    };
    put(1u << 11, 12); // EOL: eleven 0 bits, then a 1
    bool black = false;
    uint32_t start = 0;
    for (uint32_t x = 0; x <= width; ++x) {
        bool px = x < width && mht::Pixel(row.data(), x);
        if (x == width || px != black) {
            run(black, x - start);
            start = x;
            black = px;
        }
    }
    if (endFlag) {
        out.push_back(0x00);
        out.push_back(0x08);
    }
    return out;
}

TEST(MhEncode, FastPathsGiveTheBitsOfPlainCoding)
{
    struct Case {
        const char* name;
        uint32_t width;
        std::vector<uint32_t> black; // black pixels
        uint8_t fill;                // every byte before the pixels are set
    };
    const Case cases[] = {
        {"white 1728", 1728, {}, 0x00},
        {"white 1720", 1720, {}, 0x00},
        {"white 64", 64, {}, 0x00},
        {"white 8", 8, {}, 0x00},
        {"white 0", 0, {}, 0x00},
        {"white 1727", 1727, {}, 0x00},
        {"white 13", 13, {}, 0x00},
        {"black 1728", 1728, {}, 0xFF},
        {"black 1000", 1000, {}, 0xFF},
        {"alternating 1728", 1728, {}, 0x55},
        {"alternating 1724", 1724, {}, 0xAA},
        {"first pixel", 1728, {0}, 0x00},
        {"last pixel", 1728, {1727}, 0x00},
        {"word edges", 1728, {63, 64, 127, 128, 191, 1663, 1664}, 0x00},
        {"last pixel of 1727", 1727, {1726}, 0x00},
        {"last pixel of 65", 65, {64}, 0x00},
        {"one white in black", 1728, {}, 0xFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> row((c.width + 7) / 8 + 1, c.fill);
        for (uint32_t x : c.black)
            row[x / 8] = static_cast<uint8_t>(row[x / 8] | (0x80 >> (x % 8)));
        if (std::string(c.name) == "one white in black")
            row[100] = 0xEF;
        for (int end = 0; end < 2; ++end) {
            uint8_t out[MH_ROW_CODE_SIZE + 8];
            size_t n = MhEncodeRow(row.data(), static_cast<uint16_t>(c.width), end, out);
            EXPECT_EQ(SlowCode(row, c.width, end != 0), std::vector<uint8_t>(out, out + n)) << end;
        }
    }
    // Random rows of every style and width, with pixels past the width set
    // in the last byte (they are not part of the row).
    std::mt19937 rng(11);
    for (int iter = 0; iter < 2000; ++iter) {
        uint32_t width = iter % 3 == 0 ? 1728 : 1 + rng() % 1728;
        std::vector<uint8_t> row = faxpages::RandomRow(rng, width, iter % 7);
        if (width % 8)
            row.back() = static_cast<uint8_t>(row.back() | (0xFF >> (width % 8)));
        uint8_t out[MH_ROW_CODE_SIZE + 8];
        size_t n = MhEncodeRow(row.data(), static_cast<uint16_t>(width), iter % 2, out);
        ASSERT_EQ(SlowCode(row, width, iter % 2 != 0), std::vector<uint8_t>(out, out + n))
            << "width " << width << " iter " << iter;
    }
}

TEST(MhEncode, WriteMhRowsCodesBottomUp)
{
    // Row 0 black at pixel 0, row 1 white: written row 1 first.
    std::vector<uint8_t> bitmap(2 * 216, 0);
    bitmap[0] = 0x80;
    mht::TempFile t;
    size_t last = WriteMhRows(t.f, bitmap.data(), 2, 216, 1);
    std::vector<uint8_t> data = t.Bytes();
    static MhDecoder d;
    MhInitDecoderMem(&d, data.data(), static_cast<uint32_t>(data.size()), 1728, 2);
    uint8_t row[216];
    EXPECT_EQ(FAX_ROW_WHITE, ReadFaxRowOn(&d, 0, row, sizeof row));
    EXPECT_EQ(FAX_ROW_BLACK, ReadFaxRowOn(&d, 1, row, sizeof row));
    EXPECT_EQ(0x80, row[0]);
    EXPECT_EQ(0x08, data.back());
    uint8_t code[MH_ROW_CODE_SIZE];
    EXPECT_EQ(MhEncodeRow(bitmap.data(), 1728, 1, code), last);
    // No bitmap: white rows of 1728 pixels.
    mht::TempFile w;
    EXPECT_GT(WriteMhRows(w.f, nullptr, 3, 0, 0), 0u);
    std::vector<uint8_t> wd = w.Bytes();
    MhInitDecoderMem(&d, wd.data(), static_cast<uint32_t>(wd.size()), 1728, 3);
    EXPECT_EQ(FAX_ROW_WHITE, ReadFaxRowOn(&d, 2, row, sizeof row));
    EXPECT_EQ(0u, WriteMhRows(w.f, bitmap.data(), 1, 217, 0));
}

TEST(MhEncode, MultiPageFileReadsBack)
{
    std::mt19937 rng(5);
    std::vector<mht::Pbm> pages = {faxpages::RandomPage(rng, 1728, 40), faxpages::RandomPage(rng, 1728, 1),
                                   faxpages::RandomPage(rng, 1728, 25)};
    mht::TempFile t;
    ASSERT_EQ(0, faxpages::WritePages(t.f, pages, 98));
    uint16_t count = 0;
    ASSERT_EQ(0, CountFaxPages(t.f, &count));
    EXPECT_EQ(3, count);
    for (uint16_t p = 0; p < 3; ++p) {
        SCOPED_TRACE(p);
        uint16_t width, lines, yres;
        ASSERT_EQ(1, OpenFaxPage2(t.f, p, &width, &lines, nullptr, &yres, nullptr));
        EXPECT_EQ(1728, width);
        EXPECT_EQ(pages[p].height, lines);
        EXPECT_EQ(100, yres);
        uint8_t row[FAX_ROW_BYTES];
        for (uint32_t y = 0; y < lines; ++y) {
            ASSERT_GE(ReadFaxLine2(static_cast<int32_t>(y), row, sizeof row), 0);
            ASSERT_EQ(0, std::memcmp(row, pages[p].Row(y), 216)) << y;
        }
        EXPECT_EQ(MH_LINE_END, ReadNextFaxLine2(row));
    }
    // The stored resolution stays 204 x 98 on every page; counts are LONG.
    std::vector<uint8_t> b = t.Bytes();
    uint32_t ifd = 8;
    for (int p = 0; p < 3; ++p) {
        EXPECT_EQ(98u, GetLe32(b.data() + ifd + 194)) << p;
        EXPECT_EQ(204u, GetLe32(b.data() + ifd + 186)) << p;
        EXPECT_EQ(4u, GetLe16(b.data() + ifd + 2 + 12 * 10 + 2)) << p;
        ifd = GetLe32(b.data() + ifd + 182);
    }
    EXPECT_EQ(0u, ifd);
    // The copy engine's EOL count agrees with the rows written.
    mht::TempFile copy;
    ASSERT_EQ(0, AppendFaxFile(t.f, nullptr, copy.f, 0, 1));
    uint16_t lines;
    ASSERT_EQ(1, OpenFaxPage2(copy.f, 2, nullptr, &lines, nullptr, nullptr, nullptr));
    EXPECT_EQ(25, lines);
}

TEST(MhEncode, WriterErrors)
{
    mht::TempFile t;
    FaxPageState page;
    ASSERT_EQ(0, StartTiffFaxFile(t.f, &page, 1728, 196));
    std::vector<uint8_t> wide(217, 0);
    EXPECT_EQ(TV_E_BADARG, WriteTiffFaxRow(t.f, &page, wide.data(), 217, 0, 0));
    // A read-only stream fails on the first write.
    std::vector<uint8_t> bytes = t.Bytes();
    FILE* ro = std::fopen(t.path.c_str(), "rb");
    ASSERT_NE(nullptr, ro);
    FaxPageState p2 = page;
    EXPECT_NE(0, WriteTiffFaxRow(ro, &p2, wide.data(), 216, 0, 0));
    std::fclose(ro);
    uint8_t row[216] = {};
    uint16_t pos = 1724;
    EXPECT_EQ(-2, SetRowBitRunBounded(5, &pos, row, 1728));
    EXPECT_EQ(1724, pos);
    EXPECT_EQ(1, SetRowBitRunBounded(4, &pos, row, 1728));
    EXPECT_EQ(0x0F, row[215]);
}

TEST(MhEncode, ServerIfdReaderAppliesTheResolutionRules)
{
    mht::TempFile t;
    FaxPageState page;
    ASSERT_EQ(0, StartTiffFaxFile(t.f, &page, 1728, 196));
    std::fseek(t.f, static_cast<long>(page.ifdOffset), SEEK_SET);
    TiffIfd ifd;
    uint16_t x, y;
    ASSERT_EQ(1, ReadTiffIfdServer(t.f, &ifd, &x, &y));
    EXPECT_EQ(204, x);
    EXPECT_EQ(200, y);
    EXPECT_EQ(page.ifdOffset + 202, static_cast<uint32_t>(std::ftell(t.f)));
}

TEST(MhEncode, ItuChartsRoundTrip)
{
    for (int i = 1; i <= 8; ++i) {
        mht::Pbm chart = mht::ReadPbm(faxpages::ItuChart(i));
        ASSERT_NE(0u, chart.width) << faxpages::ItuChartMissing(i);
        SCOPED_TRACE(i);
        mht::TempFile t;
        ASSERT_EQ(0, faxpages::WritePages(t.f, {chart}, 196));
        uint16_t lines;
        ASSERT_EQ(1, OpenFaxPage2(t.f, 0, nullptr, &lines, nullptr, nullptr, nullptr));
        ASSERT_EQ(chart.height, lines);
        uint8_t row[FAX_ROW_BYTES];
        for (uint32_t y = 0; y < lines; ++y) {
            ASSERT_GE(ReadNextFaxLine2(row), 0);
            ASSERT_EQ(0, std::memcmp(row, chart.Row(y), 216)) << y;
        }
    }
}
