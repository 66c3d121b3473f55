// The Modified Huffman line decoder on coded data drawn as bit strings.
#include <gtest/gtest.h>

#include <random>

#include "common/mhdecode.h"
#include "tests/support/mhtestutil.h"

using mht::Bits;
using mht::kEol;

namespace {

// T.4 codes used below, in transmission order.
const char* const kW0 = "00110101";
const char* const kW1 = "000111";
const char* const kW10 = "00111";
const char* const kW40 = "00101001";
const char* const kW49 = "01010010";
const char* const kWm960 = "011010100";
const char* const kWm1664 = "011000";
const char* const kWm1728 = "010011011";
const char* const kB0 = "0000110111";
const char* const kB5 = "0011";
const char* const kB2 = "11";
const char* const kExt1792 = "00000001000";

struct Decoded {
    int result;
    std::vector<uint8_t> row;
};

Decoded Decode(MhDecoder* d, int32_t n, uint16_t width)
{
    Decoded out;
    out.row.assign((width + 7) / 8 + 4, 0xEE);
    out.result = DecodeFaxLine(d, n, out.row.data(), out.row.size());
    out.row.resize((width + 7) / 8);
    return out;
}

std::vector<uint32_t> BlackPixels(const std::vector<uint8_t>& row, uint32_t width)
{
    std::vector<uint32_t> v;
    for (uint32_t x = 0; x < width; ++x)
        if (mht::Pixel(row.data(), x))
            v.push_back(x);
    return v;
}

MhDecoder* NewDecoder()
{
    static MhDecoder d;
    return &d;
}

} // namespace

TEST(MhDecode, AllWhiteLineIsCompleteAndTheRowReaderCallsItWhite)
{
    Bits b;
    b.Add(kEol).Add(kWm1728).Add(kW0).Add(kEol).Add(kWm1728).Add(kW0);
    MhDecoder* d = NewDecoder();
    MhInitDecoderMem(d, b.bytes.data(), static_cast<uint32_t>(b.bytes.size()), 1728, 2);
    Decoded r = Decode(d, 0, 1728);
    EXPECT_EQ(MH_LINE_OK, r.result);
    EXPECT_TRUE(BlackPixels(r.row, 1728).empty());
    uint8_t row[FAX_ROW_BYTES];
    EXPECT_EQ(FAX_ROW_WHITE, ReadFaxRowOn(d, 1, row, sizeof row));
}

TEST(MhDecode, RunsSetTheirPixels)
{
    // white 10, black 5, white 1713 (1664 + 49)
    Bits b;
    b.Add(kEol).Add(kW10).Add(kB5).Add(kWm1664).Add(kW49);
    MhDecoder* d = NewDecoder();
    MhInitDecoderMem(d, b.bytes.data(), static_cast<uint32_t>(b.bytes.size()), 1728, 1);
    Decoded r = Decode(d, 0, 1728);
    EXPECT_EQ(MH_LINE_OK, r.result);
    EXPECT_EQ((std::vector<uint32_t>{10, 11, 12, 13, 14}), BlackPixels(r.row, 1728));
    uint8_t row[FAX_ROW_BYTES];
    EXPECT_EQ(FAX_ROW_BLACK, ReadFaxRowOn(d, 0, row, sizeof row));
}

TEST(MhDecode, DamagedLinesCostOnlyThemselves)
{
    struct Case {
        const char* name;
        std::vector<const char*> bad; // codes of the damaged line after its EOL
        int result;
    };
    const Case cases[] = {
        {"runs past the width", {kWm1728, kW1}, MH_LINE_BAD},
        {"make-up past the width", {kWm1728, kWm1664}, MH_LINE_BAD},
        {"cut short by the next EOL", {kWm960, kW40}, MH_LINE_BAD},
        {"make-up without terminating code", {kWm1664}, MH_LINE_BAD},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bits b;
        b.Add(kEol);
        for (const char* code : c.bad)
            b.Add(code);
        b.Add(kEol).Add(kW10).Add(kB5).Add(kWm1664).Add(kW49);
        b.Add(kEol).Add(kWm1728).Add(kW0);
        MhDecoder* d = NewDecoder();
        MhInitDecoderMem(d, b.bytes.data(), static_cast<uint32_t>(b.bytes.size()), 1728, 3);
        Decoded bad = Decode(d, -1, 1728);
        EXPECT_EQ(c.result, bad.result);
        EXPECT_TRUE(BlackPixels(bad.row, 1728).empty());
        Decoded next = Decode(d, -1, 1728);
        EXPECT_EQ(MH_LINE_OK, next.result);
        EXPECT_EQ((std::vector<uint32_t>{10, 11, 12, 13, 14}), BlackPixels(next.row, 1728));
        EXPECT_EQ(MH_LINE_OK, Decode(d, -1, 1728).result);
        EXPECT_EQ(MH_LINE_END, Decode(d, -1, 1728).result);
    }
}

TEST(MhDecode, LineCutShortKeepsWhatWasDecoded)
{
    // white 10, black 5, then the next EOL arrives: pixels 10-14 stay set.
    Bits b;
    b.Add(kEol).Add(kW10).Add(kB5).Add(kEol).Add(kW10).Add(kB2).Add(kWm1664).Add(kW49);
    // Second line: white 10, black 2, white 1713 reach 1725; the data then
    // ends where the next black code should be.
    MhDecoder* d = NewDecoder();
    MhInitDecoderMem(d, b.bytes.data(), static_cast<uint32_t>(b.bytes.size()), 1728, 2);
    Decoded r = Decode(d, 0, 1728);
    EXPECT_EQ(MH_LINE_BAD, r.result);
    EXPECT_EQ((std::vector<uint32_t>{10, 11, 12, 13, 14}), BlackPixels(r.row, 1728));
    Decoded end = Decode(d, 1, 1728);
    EXPECT_EQ(MH_LINE_END, end.result);
    EXPECT_EQ((std::vector<uint32_t>{10, 11}), BlackPixels(end.row, 1728));
}

TEST(MhDecode, LineNumbersRandomAccessAndBounds)
{
    // Line k: white k, black 2, white rest (k < 8; rest = 1726 - k = 1664 + 62 - k).
    const char* const kWt[] = {"00110101", "000111", "0111", "1000", "1011", "1100", "1110", "1111"};
    const char* const kWrest[] = {"00110011", "00110010", "01001011", "01001010",
                                  "01011011", "01011010", "01011001", "01011000"};
    Bits b;
    for (int k = 0; k < 8; ++k)
        b.Add(kEol).Add(kWt[k]).Add(kB2).Add(kWm1664).Add(kWrest[k]);
    b.Add(kEol);
    MhDecoder* d = NewDecoder();
    MhInitDecoderMem(d, b.bytes.data(), static_cast<uint32_t>(b.bytes.size()), 1728, 8);
    for (int32_t n : {7, 5, 0, 6, 6, 2}) {
        SCOPED_TRACE(n);
        Decoded r = Decode(d, n, 1728);
        ASSERT_EQ(MH_LINE_OK, r.result);
        EXPECT_EQ((std::vector<uint32_t>{uint32_t(n), uint32_t(n) + 1}), BlackPixels(r.row, 1728));
        EXPECT_EQ(n + 1, d->current);
    }
    // The final EOL is not a line: n == lines is beyond the page.
    EXPECT_EQ(MH_LINE_END, Decode(d, 8, 1728).result);
    EXPECT_EQ(MH_LINE_END, Decode(d, 9, 1728).result);
    EXPECT_EQ(3, d->current);
}

TEST(MhDecode, EdgesOfTheData)
{
    MhDecoder* d = NewDecoder();
    // No data at all, and zero bytes only.
    MhInitDecoderMem(d, nullptr, 0, 1728, 3);
    EXPECT_EQ(MH_LINE_END, Decode(d, 0, 1728).result);
    std::vector<uint8_t> zeros(100, 0);
    MhInitDecoderMem(d, zeros.data(), 100, 1728, 3);
    EXPECT_EQ(MH_LINE_END, Decode(d, 0, 1728).result);
    EXPECT_EQ(1, d->current);
    // Data that ends inside a code word.
    Bits b;
    b.Add(kEol).Add(kWm1664).Add("0101");
    MhInitDecoderMem(d, b.bytes.data(), static_cast<uint32_t>(b.bytes.size()), 1728, 3);
    // Two bits of padding remain: "0101" + "00" cannot finish a code.
    EXPECT_EQ(MH_LINE_END, Decode(d, 0, 1728).result);
    // A leading white run of 0 is legal: the line starts black.
    Bits c;
    c.Add(kEol).Add(kW0).Add(kB2).Add(kWm1664).Add("00110011");
    MhInitDecoderMem(d, c.bytes.data(), static_cast<uint32_t>(c.bytes.size()), 1728, 1);
    Decoded r = Decode(d, 0, 1728);
    EXPECT_EQ(MH_LINE_OK, r.result);
    EXPECT_EQ((std::vector<uint32_t>{0, 1}), BlackPixels(r.row, 1728));
    // A zero-length black run sets nothing: the row reader says white.
    Bits z;
    z.Add(kEol).Add(kW10).Add(kB0).Add(kWm1664).Add("00100101");
    MhInitDecoderMem(d, z.bytes.data(), static_cast<uint32_t>(z.bytes.size()), 1728, 1);
    uint8_t row[FAX_ROW_BYTES];
    EXPECT_EQ(FAX_ROW_WHITE, ReadFaxRowOn(d, 0, row, sizeof row));
    // An extended make-up code starts with seven zeros: not a run here.
    Bits x;
    x.Add(kEol).Add(kExt1792).Add(kW0);
    MhInitDecoderMem(d, x.bytes.data(), static_cast<uint32_t>(x.bytes.size()), 1728, 1);
    EXPECT_EQ(MH_LINE_BAD, Decode(d, 0, 1728).result);
}

TEST(MhDecode, RowBufferMustHoldTheWidth)
{
    Bits b;
    b.Add(kEol).Add(kWm1728).Add(kW0);
    MhDecoder* d = NewDecoder();
    MhInitDecoderMem(d, b.bytes.data(), static_cast<uint32_t>(b.bytes.size()), 1728, 1);
    std::vector<uint8_t> small(215, 0xAB);
    EXPECT_EQ(MH_LINE_END, DecodeFaxLine(d, 0, small.data(), small.size()));
    EXPECT_EQ(std::vector<uint8_t>(215, 0xAB), small);
    EXPECT_EQ(0, d->current);
    // A width that is not a multiple of 8 clears its last partial byte too.
    Bits e;
    e.Add(kEol).Add("0111").Add(kB5).Add(kW1); // white 2, black 5, white 1 = 8
    MhInitDecoderMem(d, e.bytes.data(), static_cast<uint32_t>(e.bytes.size()), 8, 1);
    uint8_t one[2] = {0xFF, 0xFF};
    EXPECT_EQ(MH_LINE_OK, DecodeFaxLine(d, 0, one, 2));
    EXPECT_EQ(0x3E, one[0]);
    Bits f;
    f.Add(kEol).Add("1100").Add("010"); // white 5, black 1 on a 6-pixel row
    MhInitDecoderMem(d, f.bytes.data(), static_cast<uint32_t>(f.bytes.size()), 6, 1);
    one[0] = 0xFF;
    EXPECT_EQ(MH_LINE_OK, DecodeFaxLine(d, 0, one, 1));
    EXPECT_EQ(0x04, one[0]);
}

// A page in a stream decodes as the same page in memory, across refills of
// the read window, and never reads past its strip.
TEST(MhDecode, StreamAndMemoryAgreeAndTheStripBounds)
{
    std::mt19937 rng(7);
    const char* const kWt[] = {"00110101", "000111", "0111", "1000", "1011", "1100", "1110", "1111"};
    const char* const kWrest[] = {"00110011", "00110010", "01001011", "01001010",
                                  "01011011", "01011010", "01011001", "01011000"};
    Bits b;
    const int lines = 7000;
    for (int k = 0; k < lines; ++k) {
        int w = static_cast<int>(rng() % 8);
        b.Add(kEol).Add(kWt[w]).Add(kB2).Add(kWm1664).Add(kWrest[w]);
    }
    b.Pad();
    std::vector<uint8_t> file(37, 0x5A); // data starts at an odd offset
    size_t dataAt = file.size();
    file.insert(file.end(), b.bytes.begin(), b.bytes.end());
    // Behind the strip: a valid line that must not be read.
    Bits more;
    more.Add(kEol).Add(kWm1728).Add(kW0);
    file.insert(file.end(), more.bytes.begin(), more.bytes.end());
    ASSERT_GT(b.bytes.size(), 2u * MH_WINDOW);

    mht::TempFile tf(file);
    ASSERT_NE(nullptr, tf.f);
    static MhDecoder mem, str;
    MhInitDecoderMem(&mem, b.bytes.data(), static_cast<uint32_t>(b.bytes.size()), 1728, lines + 1);
    MhInitDecoder(&str, tf.f, static_cast<uint32_t>(dataAt), 1728, lines + 1, SEEK_SET,
                  static_cast<uint32_t>(b.bytes.size()));
    uint8_t r1[FAX_ROW_BYTES], r2[FAX_ROW_BYTES];
    for (int n = 0; n < lines; ++n) {
        ASSERT_EQ(MH_LINE_OK, DecodeFaxLine(&mem, -1, r1, sizeof r1));
        ASSERT_EQ(MH_LINE_OK, DecodeFaxLine(&str, -1, r2, sizeof r2));
        ASSERT_EQ(0, std::memcmp(r1, r2, sizeof r1)) << n;
    }
    EXPECT_EQ(MH_LINE_END, DecodeFaxLine(&str, -1, r2, sizeof r2));
    // Backwards across the window, then forwards again.
    EXPECT_EQ(MH_LINE_OK, DecodeFaxLine(&str, 5, r2, sizeof r2));
    EXPECT_EQ(MH_LINE_OK, DecodeFaxLine(&mem, 5, r1, sizeof r1));
    EXPECT_EQ(0, std::memcmp(r1, r2, sizeof r1));
    // Without a strip bound the stream decoder reads on to the end of the file.
    MhInitDecoder(&str, tf.f, static_cast<uint32_t>(dataAt), 1728, lines + 1);
    EXPECT_EQ(MH_LINE_OK, DecodeFaxLine(&str, lines, r2, sizeof r2));
}

// The table-driven decoder gives what the bit-at-a-time rules give, line by
// line, on random and on damaged data.
TEST(MhDecode, AgreesWithTheBitByBitRules)
{
    std::mt19937 rng(11);
    const char* const pieces[] = {kEol, kW0, kW1, kW10, kW40, kW49, kWm960, kWm1664, kWm1728,
                                  kB0, kB5, kB2, kExt1792, "0", "1", "00000000", "11111111"};
    for (int iter = 0; iter < 3000; ++iter) {
        Bits b;
        int n = static_cast<int>(rng() % 60);
        for (int i = 0; i < n; ++i)
            b.Add(pieces[rng() % (sizeof pieces / sizeof pieces[0])]);
        uint16_t widths[] = {1728, 1000, 64, 13, 1, 0};
        uint16_t width = widths[rng() % 6];
        uint16_t lines = static_cast<uint16_t>(rng() % 12);
        static MhDecoder fast;
        mht::RefDecoder ref;
        MhInitDecoderMem(&fast, b.bytes.data(), static_cast<uint32_t>(b.bytes.size()), width, lines);
        ref.Init(b.bytes.data(), static_cast<uint32_t>(b.bytes.size()), width, lines);
        uint8_t r1[FAX_ROW_BYTES] = {}, r2[FAX_ROW_BYTES] = {};
        for (int k = 0; k < 16; ++k) {
            int32_t line = rng() % 3 == 0 ? static_cast<int32_t>(rng() % 14) : -1;
            int a = DecodeFaxLine(&fast, line, r1, sizeof r1);
            int c = ref.Decode(line, r2);
            ASSERT_EQ(c, a) << "iteration " << iter << " call " << k;
            ASSERT_EQ(0, std::memcmp(r1, r2, (width + 7) / 8)) << iter;
            ASSERT_EQ(ref.current, fast.current);
        }
    }
}

TEST(MhDecode, GarbageCostsBoundedWork)
{
    // Every byte 0xFF: lines of white 7 / black 2 until the data is used up.
    std::vector<uint8_t> ones(100000, 0xFF);
    static MhDecoder d;
    MhInitDecoderMem(&d, ones.data(), static_cast<uint32_t>(ones.size()), 1728, 65535);
    uint8_t row[FAX_ROW_BYTES];
    int other = 0, end = 0;
    for (int n = 0; n < 65535; ++n) {
        int r = DecodeFaxLine(&d, -1, row, sizeof row);
        other += r == MH_LINE_BAD || r == MH_LINE_OK;
        end += r == MH_LINE_END;
    }
    EXPECT_GT(other, 0);
    EXPECT_GT(end, 60000);
    EXPECT_EQ(65535, other + end);
}

TEST(MhDecode, RowRunHelpers)
{
    uint8_t row[FAX_ROW_BYTES] = {};
    uint16_t pos = 1724;
    EXPECT_EQ(MH_LINE_BAD, SetRowBitRun(5, &pos, row, 1728));
    EXPECT_EQ(1724, pos);
    EXPECT_EQ(std::vector<uint8_t>(FAX_ROW_BYTES, 0), std::vector<uint8_t>(row, row + FAX_ROW_BYTES));
    EXPECT_EQ(1, SetRowBitRun(4, &pos, row, 1728));
    EXPECT_EQ(1728, pos);
    EXPECT_EQ(0x0F, row[215]);
    pos = 3;
    EXPECT_EQ(1, SetRowBitRun(18, &pos, row, 1728));
    EXPECT_EQ(0x1F, row[0]);
    EXPECT_EQ(0xFF, row[1]);
    EXPECT_EQ(0xF8, row[2]);
    EXPECT_EQ(MH_LINE_BAD, AddWhiteRun(2000, &pos, 1728));
    EXPECT_EQ(1, AddWhiteRun(100, &pos, 1728));
    EXPECT_EQ(121, pos);
}
