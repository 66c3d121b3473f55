#include "common/mhdecode.h"

#include <cstring>

#include "common/mhtables.h"

// The bit reader loads 8 bytes at a time as one little-endian word: the next
// bit of the stream (least significant first) is then bit 0 of the word.
#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the decoder's word reads assume a little-endian machine"
#endif

namespace {

MhDecoder g_decoder1;
MhDecoder g_decoder2;

const uint64_t kNone = ~0ull;

struct ReverseTable {
    uint8_t v[256];
    constexpr ReverseTable() : v()
    {
        for (int i = 0; i < 256; ++i) {
            int r = 0;
            for (int b = 0; b < 8; ++b)
                if (i & (1 << b))
                    r |= 0x80 >> b;
            v[i] = static_cast<uint8_t>(r);
        }
    }
};
constexpr ReverseTable kReverse;

inline uint64_t LoadLe64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline uint64_t DataBits(const MhDecoder* d) { return static_cast<uint64_t>(d->dataSize) * 8; }

// Reads the stream's data from pos (data-relative) into the window. A short
// read marks the end of the data there. false when the seek fails.
bool Fill(MhDecoder* d, uint32_t pos)
{
    d->win = d->buffer;
    d->winStart = pos;
    d->winLen = 0;
    std::memset(d->buffer, 0, 8);
    if (pos >= d->dataSize)
        return true;
    uint32_t want = d->dataSize - pos < MH_WINDOW ? d->dataSize - pos : MH_WINDOW;
    uint64_t at = static_cast<uint64_t>(d->dataOffset) + pos;
    if (at > 0x7FFFFFFFu || std::fseek(d->stream, static_cast<long>(at), SEEK_SET) != 0) {
        d->ioError = 1;
        d->dataSize = pos;
        return false;
    }
    size_t got = std::fread(d->buffer, 1, want, d->stream);
    std::memset(d->buffer + got, 0, 8);
    if (d->msbFirst)
        for (size_t i = 0; i < got; ++i)
            d->buffer[i] = kReverse.v[d->buffer[i]];
    d->winLen = static_cast<uint32_t>(got);
    if (got < want)
        d->dataSize = pos + static_cast<uint32_t>(got);
    return true;
}

// The 64 bits from bit position bp on (bit bp in bit 0); bits past the data
// read as 0. Slow path: refill the window, or assemble the last bytes.
uint64_t PeekSlow(MhDecoder* d, uint64_t bp)
{
    uint32_t byte = static_cast<uint32_t>(bp >> 3);
    if (d->stream) {
        uint64_t winEnd = static_cast<uint64_t>(d->winStart) + d->winLen;
        if (byte < d->winStart || (static_cast<uint64_t>(byte) + 8 > winEnd && winEnd < d->dataSize))
            Fill(d, byte);
    }
    uint64_t v = 0;
    for (uint32_t i = 0; i < 8; ++i) {
        uint64_t at = static_cast<uint64_t>(byte) + i;
        if (at >= d->winStart && at < static_cast<uint64_t>(d->winStart) + d->winLen && at < d->dataSize)
            v |= static_cast<uint64_t>(d->win[at - d->winStart]) << (8 * i);
    }
    return v >> (bp & 7);
}

inline uint64_t Peek(MhDecoder* d, uint64_t bp)
{
    uint32_t r = static_cast<uint32_t>(bp >> 3) - d->winStart;
    if (static_cast<uint32_t>(bp >> 3) >= d->winStart && static_cast<uint64_t>(r) + 8 <= d->winLen)
        return LoadLe64(d->win + r) >> (bp & 7);
    return PeekSlow(d, bp);
}

// Position of the first one bit at or after bp, or kNone when the data ends
// first. Zero words are passed over whole.
uint64_t FindOne(MhDecoder* d, uint64_t bp)
{
    while (bp < DataBits(d)) {
        uint64_t v = Peek(d, bp);
        if (v) {
            uint64_t at = bp + static_cast<uint64_t>(__builtin_ctzll(v));
            return at < DataBits(d) ? at : kNone;
        }
        bp += 64 - (bp & 7);
    }
    return kNone;
}

inline void FillBlack(uint8_t* row, uint32_t x0, uint32_t x1)
{
    if (x0 >= x1)
        return;
    uint32_t b0 = x0 >> 3, b1 = (x1 - 1) >> 3;
    uint8_t m0 = static_cast<uint8_t>(0xFFu >> (x0 & 7));
    uint8_t m1 = static_cast<uint8_t>(0xFFu << (7 - ((x1 - 1) & 7)));
    if (b0 == b1) {
        row[b0] |= static_cast<uint8_t>(m0 & m1);
        return;
    }
    row[b0] |= m0;
    if (b1 > b0 + 1)
        std::memset(row + b0 + 1, 0xFF, b1 - b0 - 1);
    row[b1] |= m1;
}

// The line ends after the code ending before bp: the next EOL search starts
// with the byte after the one holding the line's last bit.
inline int EndLine(MhDecoder* d, uint64_t bp, int result)
{
    d->nextByte = static_cast<uint32_t>((bp + 7) >> 3);
    return result;
}

inline int DataEnded(MhDecoder* d)
{
    d->nextByte = d->dataSize;
    return MH_LINE_END;
}

// Seven zero bits at bp where a code word should start: the next EOL came
// early (or the data is damaged). Read on to the next one bit; the next
// line's EOL search starts again with the byte that holds it.
int SevenZeros(MhDecoder* d, uint64_t bp)
{
    if (bp + 7 > DataBits(d))
        return DataEnded(d);
    uint64_t one = FindOne(d, bp + 7);
    if (one == kNone)
        return DataEnded(d);
    d->nextByte = static_cast<uint32_t>(one >> 3);
    return MH_LINE_BAD;
}

// Builds a row left to right 64 pixels at a time: black runs are or-ed into
// a word that is stored (most significant pixel first) once the decoding
// moves past it; chunks passed over by white runs are stored as zeros. Every
// byte of the row is written exactly once, none is read back.
struct RowWriter {
    uint8_t* row;
    uint32_t rowBytes;
    uint32_t chunk = 0;
    uint64_t word = 0;

    inline void Store(uint32_t c, uint64_t w)
    {
        uint32_t at = c * 8;
        uint64_t be = __builtin_bswap64(w);
        if (at + 8 <= rowBytes) {
            std::memcpy(row + at, &be, 8);
        } else {
            uint8_t b[8];
            std::memcpy(b, &be, 8);
            for (uint32_t i = 0; at + i < rowBytes; ++i)
                row[at + i] = b[i];
        }
    }
    inline void MoveTo(uint32_t c)
    {
        Store(chunk, word);
        word = 0;
        for (uint32_t k = chunk + 1; k < c; ++k)
            Store(k, 0);
        chunk = c;
    }
    inline void Black(uint32_t x0, uint32_t x1)
    {
        while (x0 < x1) {
            uint32_t c = x0 >> 6;
            if (c != chunk)
                MoveTo(c);
            uint32_t end = (c + 1) * 64 < x1 ? (c + 1) * 64 : x1;
            uint32_t n = end - x0;
            uint64_t ones = n == 64 ? ~0ull : ((1ull << n) - 1);
            word |= ones << (64 - (x0 & 63) - n);
            x0 = end;
        }
    }
    inline void Finish()
    {
        if (rowBytes)
            MoveTo((rowBytes + 7) / 8);
    }
};

// Decodes one line into the row (rows are cleared as they are written). The
// bits ahead are kept in a 64-bit accumulator refilled from the window when
// fewer than the longest code (13 bits) remain; near the end of the data
// each code is checked against the end.
int DecodeOneLine(MhDecoder* d, uint8_t* row)
{
    RowWriter out{row, (d->width + 7u) / 8u};
    d->anyBlack = 0;
    uint64_t eol = FindOne(d, static_cast<uint64_t>(d->nextByte) * 8);
    if (eol == kNone) {
        out.Finish();
        return DataEnded(d);
    }
    uint8_t anyBlack = 0;
    uint64_t bp = eol + 1;
    const uint32_t width = d->width;
    uint32_t x = 0;
    uint64_t acc = 0;
    uint32_t have = 0;
    bool safe = false; // every bit in acc is data
    int result;

#define MH_REFILL()                                                                        \
    if (have < 13) {                                                                       \
        acc = Peek(d, bp);                                                                 \
        have = 64 - static_cast<uint32_t>(bp & 7);                                         \
        safe = bp + have <= DataBits(d);                                                   \
    }
// One code: the rare cases (seven zeros, the end of the data near the
// window's end, a run past the width) share one test and are told apart in
// their order.
#define MH_TAKE(e)                                                                         \
    uint32_t run = (e) >> 4, len = (e) & 15;                                               \
    if (__builtin_expect((x + run > width) | (run == MHT_SEVEN_ZEROS) | !safe, 0)) {       \
        if (run == MHT_SEVEN_ZEROS) {                                                      \
            result = SevenZeros(d, bp);                                                    \
            goto done;                                                                     \
        }                                                                                  \
        if (!safe && bp + len > DataBits(d)) {                                             \
            result = DataEnded(d);                                                         \
            goto done;                                                                     \
        }                                                                                  \
        if (x + run > width) {                                                             \
            result = EndLine(d, bp + len, MH_LINE_BAD);                                    \
            goto done;                                                                     \
        }                                                                                  \
    }                                                                                      \
    bp += len;                                                                             \
    acc >>= len;                                                                           \
    have -= len;

    for (;;) {
        // White: make-up codes, then one terminating code.
        for (;;) {
            MH_REFILL();
            uint32_t e = kMhWhiteDecode[acc & 511];
            MH_TAKE(e);
            x += run;
            if (run < 64)
                break;
        }
        if (x == width)
            break;
        // Black likewise.
        for (;;) {
            MH_REFILL();
            uint32_t e = kMhBlackDecode[acc & 8191];
            MH_TAKE(e);
            if (run) {
                out.Black(x, x + run);
                anyBlack = 1;
            }
            x += run;
            if (run < 64)
                break;
        }
        if (x == width)
            break;
    }
    result = EndLine(d, bp, MH_LINE_OK);
done:
    out.Finish();
    d->anyBlack = anyBlack;
    return result;
#undef MH_REFILL
#undef MH_TAKE
}

} // namespace

void MhInitDecoder(MhDecoder* dec, FILE* stream, uint32_t dataOffset, uint16_t width, uint16_t lines,
                   int seekOrigin, uint32_t dataSize)
{
    (void)seekOrigin; // page data offsets are always from the start of the file
    dec->stream = stream;
    dec->memory = nullptr;
    dec->dataOffset = dataOffset;
    dec->dataSize = dataSize;
    dec->width = width;
    dec->lines = lines;
    dec->current = 0;
    dec->anyBlack = 0;
    dec->ioError = 0;
    dec->msbFirst = 0;
    dec->nextByte = 0;
    dec->win = dec->buffer;
    dec->winStart = 0;
    dec->winLen = 0;
    std::memset(dec->buffer, 0, 8);
    if (stream && (dataOffset > 0x7FFFFFFFu || std::fseek(stream, static_cast<long>(dataOffset), SEEK_SET) != 0)) {
        dec->ioError = 1;
        dec->dataSize = 0;
    }
    if (!stream)
        dec->dataSize = 0;
}

void MhInitDecoderMem(MhDecoder* dec, const uint8_t* data, uint32_t size, uint16_t width, uint16_t lines)
{
    MhInitDecoder(dec, nullptr, 0, width, lines);
    dec->memory = data;
    dec->dataSize = data ? size : 0;
    dec->win = data;
    dec->winStart = 0;
    dec->winLen = dec->dataSize;
}

void ClearFaxRow(uint8_t* row, uint16_t width) { std::memset(row, 0, (width + 7u) / 8u); }

int SetRowBitRun(uint16_t run, uint16_t* pos, uint8_t* row, uint16_t width)
{
    if (static_cast<uint32_t>(*pos) + run > width)
        return MH_LINE_BAD;
    FillBlack(row, *pos, static_cast<uint32_t>(*pos) + run);
    *pos = static_cast<uint16_t>(*pos + run);
    return 1;
}

int AddWhiteRun(uint16_t run, uint16_t* pos, uint16_t width)
{
    if (static_cast<uint32_t>(*pos) + run > width)
        return MH_LINE_BAD;
    *pos = static_cast<uint16_t>(*pos + run);
    return 1;
}

int DecodeFaxLine(MhDecoder* dec, int32_t n, uint8_t* row, size_t rowSize)
{
    size_t rowBytes = (dec->width + 7u) / 8u;
    if (!row || rowSize < rowBytes)
        return MH_LINE_END;
    if (n < 0)
        n = dec->current;
    if (n < dec->current) {
        dec->current = 0;
        dec->nextByte = 0;
    }
    if (n >= dec->lines)
        return MH_LINE_END;
    int result = MH_LINE_END;
    while (dec->current <= n) {
        result = DecodeOneLine(dec, row);
        ++dec->current;
    }
    return result;
}

// ------------------------------------------------------------ instances

MhDecoder* FaxDecoder1() { return &g_decoder1; }
MhDecoder* FaxDecoder2() { return &g_decoder2; }

void MhStartPage(FILE* stream, uint32_t dataOffset, uint16_t width, uint16_t lines, int seekOrigin,
                 uint32_t dataSize)
{
    MhInitDecoder(&g_decoder1, stream, dataOffset, width, lines, seekOrigin, dataSize);
}

int MhReadLine(int32_t n, uint8_t* row, size_t rowSize) { return DecodeFaxLine(&g_decoder1, n, row, rowSize); }
int MhReadNextLine(uint8_t* row, size_t rowSize) { return DecodeFaxLine(&g_decoder1, -1, row, rowSize); }

int OpenFaxPageStatus(MhDecoder* dec, FILE* stream, uint16_t index, uint16_t* width, uint16_t* lines,
                      uint32_t* stripBytes, uint16_t* yres, uint16_t* count)
{
    TiffIfd page;
    uint16_t y = 0;
    int found;
    int rc = WalkFaxPages(stream, index, &page, &y, count, &found);
    if (rc)
        return rc;
    if (!found)
        return TV_R_IO;
    if ((rc = CheckFaxIfd(&page)) != 0)
        return rc;
    // CheckFaxIfd keeps the width within FAX_MAX_WIDTH; image length is SHORT.
    uint16_t w = static_cast<uint16_t>(page.entry[TE_WIDTH].value);
    uint16_t n = page.entry[TE_LENGTH].value > 0xFFFFu ? 0xFFFF : static_cast<uint16_t>(page.entry[TE_LENGTH].value);
    if (width)
        *width = w;
    if (lines)
        *lines = n;
    if (stripBytes)
        *stripBytes = page.entry[TE_STRIPBYTES].value;
    if (yres)
        *yres = y;
    MhInitDecoder(dec, stream, page.entry[TE_STRIPOFFSETS].value, w, n, SEEK_SET,
                  page.entry[TE_STRIPBYTES].value);
    return 0;
}

int OpenFaxPageOn(MhDecoder* dec, FILE* stream, uint16_t index, uint16_t* width, uint16_t* lines,
                  uint32_t* stripBytes, uint16_t* yres, uint16_t* count)
{
    return OpenFaxPageStatus(dec, stream, index, width, lines, stripBytes, yres, count) == 0 ? 1 : 0;
}

int ReadFaxRowOn(MhDecoder* dec, int32_t n, uint8_t* row, size_t rowSize)
{
    int r = DecodeFaxLine(dec, n, row, rowSize);
    if (r == MH_LINE_OK)
        return dec->anyBlack ? FAX_ROW_BLACK : FAX_ROW_WHITE;
    return r;
}

int OpenFaxPage(FILE* stream, uint16_t index, uint16_t* width, uint16_t* lines, uint32_t* stripBytes,
                uint16_t* yres, uint16_t* count)
{
    return OpenFaxPageOn(&g_decoder1, stream, index, width, lines, stripBytes, yres, count);
}

int ReadFaxLine(int32_t n, uint8_t* row, size_t rowSize) { return ReadFaxRowOn(&g_decoder1, n, row, rowSize); }
int ReadNextFaxLine(uint8_t* row, size_t rowSize) { return ReadFaxRowOn(&g_decoder1, -1, row, rowSize); }

int OpenFaxPage2(FILE* stream, uint16_t index, uint16_t* width, uint16_t* lines, uint32_t* stripBytes,
                 uint16_t* yres, uint16_t* count)
{
    return OpenFaxPageOn(&g_decoder2, stream, index, width, lines, stripBytes, yres, count);
}

int ReadFaxLine2(int32_t n, uint8_t* row, size_t rowSize) { return ReadFaxRowOn(&g_decoder2, n, row, rowSize); }
int ReadNextFaxLine2(uint8_t* row, size_t rowSize) { return ReadFaxRowOn(&g_decoder2, -1, row, rowSize); }
