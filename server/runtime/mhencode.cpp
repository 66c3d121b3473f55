#include "server/runtime/mhencode.h"

#include <cstring>

#include "common/lebytes.h"
#include "common/mhdecode.h"
#include "common/mhtables.h"

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the encoder's word stores assume a little-endian machine"
#endif

namespace {

const uint32_t kMaxRowBytes = MH_MAX_ROW_PIXELS / 8;

// Packs codes least significant bit first into out. Codes collect in a
// 64-bit accumulator; four whole bytes are stored each time 32 bits are
// complete (codes are at most 13 bits, so the accumulator never overflows).
struct BitOut {
    uint64_t acc = 0;
    uint32_t bits = 0;
    uint8_t* p;

    explicit BitOut(uint8_t* out) : p(out) {}

    inline void Put(uint32_t code, uint32_t length)
    {
        acc |= static_cast<uint64_t>(code) << bits;
        bits += length;
        if (bits >= 32) {
            uint32_t low = static_cast<uint32_t>(acc);
            std::memcpy(p, &low, 4);
            p += 4;
            acc >>= 32;
            bits -= 32;
        }
    }
    // Stores what is left, padded with zero bits to a whole byte.
    inline void Flush()
    {
        while (bits > 0) {
            *p++ = static_cast<uint8_t>(acc);
            acc >>= 8;
            bits = bits > 8 ? bits - 8 : 0;
        }
        acc = 0;
    }
};

inline void PutRun(BitOut& o, const MhCode* term, const MhCode* makeup, uint32_t run)
{
    if (run >= 64) {
        const MhCode& m = makeup[(run >> 6) - 1];
        o.Put(m.bits, m.length);
        run &= 63;
    }
    o.Put(term[run].bits, term[run].length);
}

inline uint64_t LoadBe64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return __builtin_bswap64(v);
}

// True when the first `bytes` bytes of the row are all 0 (white), checked
// eight bytes at a time.
inline bool RowIsWhite(const uint8_t* row, uint32_t bytes)
{
    uint64_t any = 0;
    uint32_t i = 0;
    for (; i + 8 <= bytes; i += 8) {
        uint64_t w;
        std::memcpy(&w, row + i, 8);
        any |= w;
    }
    for (; i < bytes; i++)
        any |= row[i];
    return any == 0;
}

struct StreamSink {
    FILE* f;
};

int WriteToStream(void* context, const uint8_t* data, size_t length)
{
    FILE* f = static_cast<StreamSink*>(context)->f;
    return length == 0 || std::fwrite(data, 1, length, f) == length ? 1 : 0;
}

bool SeekTo(FILE* f, uint32_t offset)
{
    return offset <= 0x7FFFFFFFu && std::fseek(f, static_cast<long>(offset), SEEK_SET) == 0;
}

// The resolution numerator stored at an entry's RATIONAL (our own pages
// keep it as written, 98 or 196 included); fallback when there is none.
uint16_t StoredResolution(FILE* f, const TiffEntry& e, uint16_t fallback)
{
    uint8_t b[8];
    if (e.type != TIFF_TYPE_RATIONAL || e.value == 0 || !SeekTo(f, e.value) || std::fread(b, 1, 8, f) != 8)
        return fallback;
    uint32_t num = GetLe32(b), den = GetLe32(b + 4);
    if (den != 1 || num == 0 || num > 0xFFFF)
        return fallback;
    return static_cast<uint16_t>(num);
}

} // namespace

size_t MhEncodeRow(const uint8_t* row, uint16_t width, int endFlag, uint8_t* out)
{
    if (width > MH_MAX_ROW_PIXELS)
        return 0;
    BitOut o(out);
    o.Put(1u << 11, 12); // EOL: eleven 0 bits and a 1
    // A white row (the commonest row of a page) is one white run: no copy,
    // no run search. Only whole bytes are checked; a partial last byte goes
    // the general way.
    if (!row || (width % 8 == 0 && RowIsWhite(row, width / 8u))) {
        PutRun(o, kMhWhiteTerm, kMhWhiteMakeup, width);
    } else {
        // The row is taken 64 pixels at a time. In each word the pixels that
        // differ from the pixel before them (the first pixel of the row
        // follows white) are marked; the runs lie between the marks and
        // alternate white, black, white...
        // Word loads need 8 readable bytes: a width that is not a whole
        // number of words is read from a padded copy.
        uint8_t padded[kMaxRowBytes + 16];
        const uint8_t* src = row;
        if (width % 64) {
            uint32_t bytes = (width + 7u) / 8u;
            std::memcpy(padded, row, bytes);
            std::memset(padded + bytes, 0, 16);
            src = padded;
        }
        uint32_t last = 0;      // start of the current run
        bool black = false;     // colour of the current run
        uint64_t before = 0;    // the pixel before the word, in bit 63
        for (uint32_t base = 0; base < width; base += 64) {
            uint64_t w = LoadBe64(src + base / 8);
            uint64_t changes = w ^ ((w >> 1) | before);
            before = w << 63;
            if (width - base < 64)
                changes &= ~uint64_t{0} << (64 - (width - base)); // no marks past the width
            while (changes) {
                uint32_t lead = static_cast<uint32_t>(__builtin_clzll(changes));
                changes ^= (uint64_t{1} << 63) >> lead;
                uint32_t at = base + lead;
                if (black)
                    PutRun(o, kMhBlackTerm, kMhBlackMakeup, at - last);
                else
                    PutRun(o, kMhWhiteTerm, kMhWhiteMakeup, at - last);
                last = at;
                black = !black;
            }
        }
        if (black)
            PutRun(o, kMhBlackTerm, kMhBlackMakeup, width - last);
        else
            PutRun(o, kMhWhiteTerm, kMhWhiteMakeup, width - last);
    }
    o.Flush();
    if (endFlag) {
        *o.p++ = 0x00; // a final EOL, least significant bit first
        *o.p++ = 0x08;
    }
    return static_cast<size_t>(o.p - out);
}

size_t MhEncodeRows(const uint8_t* bitmap, uint16_t rowCount, uint16_t bytesPerRow, int endFlag,
                    MhSink sink, void* context)
{
    uint16_t width = static_cast<uint16_t>(bitmap ? bytesPerRow * 8u : uint32_t{MH_MAX_ROW_PIXELS});
    if (bitmap && bytesPerRow > kMaxRowBytes)
        return 0;
    uint8_t code[MH_ROW_CODE_SIZE + 8];
    size_t last = 0;
    if (rowCount == 0 && endFlag) {
        const uint8_t eol[2] = {0x00, 0x08};
        return sink(context, eol, 2) ? 2 : 0;
    }
    for (uint32_t i = rowCount; i-- > 0;) {
        const uint8_t* row = bitmap ? bitmap + static_cast<size_t>(i) * bytesPerRow : nullptr;
        last = MhEncodeRow(row, width, endFlag && i == 0, code);
        if (!sink(context, code, last))
            return 0;
    }
    return last;
}

size_t WriteMhRows(FILE* stream, const uint8_t* bitmap, uint16_t rowCount, uint16_t bytesPerRow, int endFlag)
{
    StreamSink s{stream};
    return MhEncodeRows(bitmap, rowCount, bytesPerRow, endFlag, WriteToStream, &s);
}

int StartTiffFaxFile(FILE* stream, FaxPageState* page, uint16_t width, uint16_t yres)
{
    std::memset(page, 0, sizeof *page);
    TiffHeader h;
    InitTiffHeader(&h);
    if (!SeekTo(stream, 0) || !WriteTiffHeader(stream, &h) || !SeekTo(stream, h.firstIfd))
        return TV_R_IO;
    TiffIfd ifd;
    InitFaxIfd(&ifd, width);
    if (!WriteTiffIfd(stream, &ifd, FaxXResolution(yres), yres))
        return TV_R_IO;
    page->ifdOffset = h.firstIfd;
    return std::fflush(stream) == 0 ? 0 : TV_R_IO;
}

int WriteTiffFaxRow(FILE* stream, FaxPageState* page, const uint8_t* row, uint16_t bytesPerRow, int pageEnd,
                    int lastPage)
{
    if (std::ferror(stream))
        return TV_R_IO;
    if (row) {
        if (bytesPerRow > kMaxRowBytes)
            return TV_E_BADARG;
        uint8_t code[MH_ROW_CODE_SIZE + 8];
        size_t n = MhEncodeRow(row, static_cast<uint16_t>(bytesPerRow * 8u), lastPage || pageEnd, code);
        if (std::fseek(stream, 0, SEEK_END) != 0 || std::fwrite(code, 1, n, stream) != n)
            return TV_R_IO;
        ++page->rows;
        page->bytes += static_cast<uint32_t>(n);
    }
    if (!pageEnd && !lastPage)
        return 0;

    long end;
    if (std::fflush(stream) != 0 || std::fseek(stream, 0, SEEK_END) != 0 || (end = std::ftell(stream)) < 0)
        return TV_R_IO;
    TiffIfd ifd;
    uint16_t xres, yres;
    if (!SeekTo(stream, page->ifdOffset) || !ReadTiffIfdServer(stream, &ifd, &xres, &yres))
        return TV_R_IO;
    xres = StoredResolution(stream, ifd.entry[TE_XRES], xres);
    yres = StoredResolution(stream, ifd.entry[TE_YRES], yres);
    ifd.entry[TE_LENGTH].value = page->rows;
    ifd.entry[TE_ROWSPERSTRIP].value = page->rows;
    ifd.entry[TE_STRIPBYTES].value = page->bytes;
    ifd.nextIfd = lastPage ? 0 : static_cast<uint32_t>(end);
    if (!SeekTo(stream, page->ifdOffset) || !WriteTiffIfd(stream, &ifd, xres, yres))
        return TV_R_IO;
    if (!lastPage) {
        // The next page starts as a copy of this one behind the data.
        ifd.nextIfd = 0;
        ifd.entry[TE_LENGTH].value = 0;
        ifd.entry[TE_ROWSPERSTRIP].value = 0;
        ifd.entry[TE_STRIPBYTES].value = 0;
        if (!SeekTo(stream, static_cast<uint32_t>(end)) || !WriteTiffIfd(stream, &ifd, xres, yres))
            return TV_R_IO;
        page->ifdOffset = static_cast<uint32_t>(end);
        page->rows = 0;
        page->bytes = 0;
    }
    return std::fflush(stream) == 0 ? 0 : TV_R_IO;
}

int ReadTiffIfdServer(FILE* stream, TiffIfd* ifd, uint16_t* xres, uint16_t* yres)
{
    return ReadTiffIfd(stream, ifd, xres, yres);
}

int SetRowBitRunBounded(uint16_t count, uint16_t* pos, uint8_t* row, uint16_t width)
{
    return SetRowBitRun(count, pos, row, width);
}
