#include "common/faxtiff.h"

#include <cstring>
#include <iterator>
#include <map>

#include "common/lebytes.h"
#include "common/mhdecode.h"
#include "common/waithook.h"

const uint16_t kTiffPageTags[TIFF_IFD_ENTRIES] = {254, 256, 257, 258, 259, 262, 266, 273,
                                                  277, 278, 279, 282, 283, 292, 296};

namespace {

char g_softwareName[TIFF_SOFTWARE_MAX + 1];

// The IEEE double 200.0 as stored little-endian by the writers of the doubles quirk.
const uint8_t kDouble200[8] = {0, 0, 0, 0, 0, 0, 0x69, 0x40};
const uint8_t kDouble100[8] = {0, 0, 0, 0, 0, 0, 0x59, 0x40};
const uint8_t kDouble400[8] = {0, 0, 0, 0, 0, 0, 0x79, 0x40};

// Offsets above 2 GB cannot be reached through a 32-bit long: refused.
bool SeekTo(FILE* f, uint64_t offset)
{
    if (offset > 0x7FFFFFFFu)
        return false;
    return std::fseek(f, static_cast<long>(offset), SEEK_SET) == 0;
}

bool TellPos(FILE* f, uint32_t* out)
{
    long p = std::ftell(f);
    if (p < 0)
        return false;
    *out = static_cast<uint32_t>(p);
    return true;
}

bool ReadExact(FILE* f, void* buf, size_t n)
{
    return n == 0 || std::fread(buf, 1, n, f) == n;
}

bool WriteExact(FILE* f, const void* buf, size_t n)
{
    return n == 0 || std::fwrite(buf, 1, n, f) == n;
}

bool ReadAt(FILE* f, uint64_t offset, void* buf, size_t n)
{
    return SeekTo(f, offset) && ReadExact(f, buf, n);
}

// Reverses the bits of every byte: fill order 1 <-> 2.
uint8_t g_reverse[256];
bool g_reverseReady = false;
void ReverseBits(uint8_t* p, size_t n)
{
    if (!g_reverseReady) {
        for (int i = 0; i < 256; ++i) {
            uint8_t r = 0;
            for (int b = 0; b < 8; ++b)
                if (i & (1 << b))
                    r = static_cast<uint8_t>(r | (0x80 >> b));
            g_reverse[i] = r;
        }
        g_reverseReady = true;
    }
    for (size_t i = 0; i < n; ++i)
        p[i] = g_reverse[p[i]];
}

int IndexOfTag(uint16_t tag)
{
    for (int i = 0; i < static_cast<int>(TIFF_IFD_ENTRIES); ++i)
        if (kTiffPageTags[i] == tag)
            return i;
    return -1;
}

// Guards a walk along a chain of IFDs: at most FAX_MAX_IFDS steps, and a
// chain that comes back to an IFD it passed is found (Brent's method: the
// remembered offset moves on at doubling step counts).
struct IfdWalk {
    uint32_t mark = 0;
    uint32_t steps = 0;
    uint32_t limit = 1;
    uint32_t count = 0;
};

bool WalkStep(uint32_t* mark, uint32_t* steps, uint32_t* limit, uint32_t* count, uint32_t offset)
{
    if (*count >= FAX_MAX_IFDS)
        return false;
    if (*count > 0 && offset == *mark)
        return false;
    ++*count;
    if (++*steps >= *limit || *count == 1) {
        *mark = offset;
        *steps = 0;
        *limit = *limit < 0x40000000u ? *limit * 2 : *limit;
    }
    return true;
}

bool WalkStep(IfdWalk* w, uint32_t offset)
{
    return WalkStep(&w->mark, &w->steps, &w->limit, &w->count, offset);
}

void EncodeEntry(uint8_t* p, const TiffEntry& e)
{
    PutLe16(p, e.tag);
    PutLe16(p + 2, e.type);
    PutLe32(p + 4, e.count);
    PutLe32(p + 8, e.value);
}

void RationalBytes(uint8_t* p, uint32_t num, uint32_t den)
{
    PutLe32(p, num);
    PutLe32(p + 4, den);
}

// Resolution of an entry: numerator / denominator of the RATIONAL at its
// offset, 0 when absent, not RATIONAL or with a zero denominator. *bytes gets
// the 8 raw bytes (zero when none). false on a read failure.
bool ReadResolution(FILE* f, const TiffIfd* ifd, int index, uint8_t bytes[8], uint32_t* value)
{
    std::memset(bytes, 0, 8);
    *value = 0;
    const TiffEntry& e = ifd->entry[index];
    bool eightByteType = e.type == TIFF_TYPE_RATIONAL || e.type == 12;
    if (!(ifd->present & (1u << index)) || !eightByteType || e.count < 1 || e.value == 0)
        return true;
    if (!ReadAt(f, e.value, bytes, 8))
        return false;
    uint32_t num = GetLe32(bytes), den = GetLe32(bytes + 4);
    *value = den ? num / den : 0;
    return true;
}

uint16_t Clamp16(uint32_t v) { return v > 0xFFFFu ? 0xFFFFu : static_cast<uint16_t>(v); }

} // namespace

// ---------------------------------------------------------------- header

void SetTiffSoftwareName(const char* name)
{
    std::memset(g_softwareName, 0, sizeof g_softwareName);
    if (name)
        StoreTextField(g_softwareName, TIFF_SOFTWARE_MAX, name);
}

void InitTiffHeader(TiffHeader* header)
{
    std::memset(header, 0, sizeof *header);
    header->byteOrder = 0x4949;
    header->version = 42;
    header->firstIfd = TIFF_HEADER_SIZE;
    CopyTextField(header->software, sizeof header->software, g_softwareName, TIFF_SOFTWARE_MAX);
}

int WriteTiffHeader(FILE* stream, TiffHeader* header)
{
    uint32_t start;
    if (!TellPos(stream, &start))
        return 0;
    size_t nameLen = strnlen(header->software, TIFF_SOFTWARE_MAX);
    header->firstIfd = start + TIFF_HEADER_SIZE + (nameLen ? static_cast<uint32_t>(nameLen) + 1 : 0);
    uint8_t b[TIFF_HEADER_SIZE];
    PutLe16(b, header->byteOrder);
    PutLe16(b + 2, header->version);
    PutLe32(b + 4, header->firstIfd);
    if (!WriteExact(stream, b, sizeof b))
        return 0;
    if (nameLen) {
        char name[TIFF_SOFTWARE_MAX + 1] = {};
        std::memcpy(name, header->software, nameLen);
        if (!WriteExact(stream, name, nameLen + 1))
            return 0;
    }
    return 1;
}

int ReadTiffHeader(FILE* stream, TiffHeader* header)
{
    std::memset(header, 0, sizeof *header);
    uint32_t start;
    uint8_t b[TIFF_HEADER_SIZE];
    if (!TellPos(stream, &start) || !ReadExact(stream, b, sizeof b))
        return 0;
    header->byteOrder = GetLe16(b);
    header->version = GetLe16(b + 2);
    header->firstIfd = GetLe32(b + 4);
    if (header->firstIfd != start + TIFF_HEADER_SIZE) {
        // A software name may sit between the header and the first IFD.
        char name[TIFF_SOFTWARE_MAX + 1];
        size_t got = std::fread(name, 1, sizeof name, stream);
        size_t len = 0;
        while (len < got && name[len] != '\0')
            ++len;
        if (len < got && len <= TIFF_SOFTWARE_MAX)
            std::memcpy(header->software, name, len + 1);
    }
    SeekTo(stream, header->firstIfd);
    return 1;
}

int CheckTiffHeader(const TiffHeader* header)
{
    bool ii = header->byteOrder == 0x4949, mm = header->byteOrder == 0x4D4D;
    // The version in the file's own byte order.
    uint16_t version = mm ? static_cast<uint16_t>((header->version >> 8) | (header->version << 8))
                          : header->version;
    if ((!ii && !mm) || version != 42)
        return TV_R_TIFF_VERSION;
    if (mm)
        return TV_R_TIFF_MOTOROLA;
    return 0;
}

// ---------------------------------------------------------------- IFD

void SetIfdEntry(TiffEntry* entry, uint16_t tag, uint16_t type, uint32_t count, uint32_t value)
{
    entry->tag = tag;
    entry->type = type;
    entry->count = count;
    entry->value = value;
}

void InitTiffIfd(TiffIfd* ifd, uint16_t width)
{
    std::memset(ifd, 0, sizeof *ifd);
    ifd->entryCount = TIFF_IFD_ENTRIES;
    static const struct {
        uint16_t type;
        uint32_t value;
    } kDefaults[TIFF_IFD_ENTRIES] = {
        {TIFF_TYPE_LONG, 0},           {TIFF_TYPE_LONG, 0},  {TIFF_TYPE_SHORT, 0},
        {TIFF_TYPE_SHORT, 1},          {TIFF_TYPE_SHORT, 1}, {TIFF_TYPE_SHORT, 0},
        {TIFF_TYPE_SHORT, 1},          {TIFF_TYPE_LONG, 0},  {TIFF_TYPE_SHORT, 1},
        {TIFF_TYPE_LONG, 0xFFFFFFFFu}, {TIFF_TYPE_LONG, 0},  {TIFF_TYPE_RATIONAL, 0},
        {TIFF_TYPE_RATIONAL, 0},       {TIFF_TYPE_LONG, 0},  {TIFF_TYPE_SHORT, 2},
    };
    for (uint32_t i = 0; i < TIFF_IFD_ENTRIES; ++i)
        SetIfdEntry(&ifd->entry[i], kTiffPageTags[i], kDefaults[i].type, 1, kDefaults[i].value);
    ifd->entry[TE_WIDTH].value = width;
}

void InitFaxIfd(TiffIfd* ifd, uint16_t width)
{
    InitTiffIfd(ifd, width);
    ifd->entry[TE_COMPRESSION].value = 3;
    ifd->entry[TE_FILLORDER].value = 2;
}

uint16_t FaxXResolution(uint16_t yres) { return yres % 100 == 0 ? 200 : 204; }

int DecodeResolution(const uint8_t bytes[8])
{
    if (std::memcmp(bytes, kDouble100, 8) == 0)
        return 100;
    if (std::memcmp(bytes, kDouble200, 8) == 0)
        return 200;
    if (std::memcmp(bytes, kDouble400, 8) == 0)
        return 400;
    return -1;
}

int ReadTiffIfd(FILE* stream, TiffIfd* ifd, uint16_t* xres, uint16_t* yres)
{
    InitTiffIfd(ifd, 0);
    if (xres)
        *xres = 0;
    if (yres)
        *yres = 0;
    uint32_t start;
    uint8_t b[12 * 32];
    if (!TellPos(stream, &start) || !ReadExact(stream, b, 2))
        return 0;
    ifd->ifdOffset = start;
    uint32_t n = GetLe16(b);
    for (uint32_t done = 0; done < n;) {
        uint32_t chunk = n - done < 32 ? n - done : 32;
        if (!ReadExact(stream, b, 12 * chunk))
            return 0;
        for (uint32_t k = 0; k < chunk; ++k) {
            const uint8_t* p = b + 12 * k;
            int i = IndexOfTag(GetLe16(p));
            if (i < 0)
                continue;
            TiffEntry* e = &ifd->entry[i];
            SetIfdEntry(e, GetLe16(p), GetLe16(p + 2), GetLe32(p + 4), GetLe32(p + 8));
            // A single SHORT sits in the low half of the field; the strip
            // byte count keeps all 32 bits (older files of this profile).
            if (e->type == TIFF_TYPE_SHORT && e->count == 1 && i != TE_STRIPBYTES)
                e->value &= 0xFFFFu;
            ifd->present = static_cast<uint16_t>(ifd->present | (1u << i));
        }
        done += chunk;
    }
    if (!ReadExact(stream, b, 4))
        return 0;
    ifd->nextIfd = GetLe32(b);

    uint8_t xb[8], yb[8];
    uint32_t x, y;
    if (!ReadResolution(stream, ifd, TE_XRES, xb, &x) || !ReadResolution(stream, ifd, TE_YRES, yb, &y))
        return 0;
    if (ifd->entry[TE_COMPRESSION].value == 3 && ifd->entry[TE_FILLORDER].value == 1 &&
        std::memcmp(xb, kDouble200, 8) == 0) {
        // Written with doubles (and least significant bit first).
        x = 200;
        int d = DecodeResolution(yb);
        y = d > 0 ? static_cast<uint32_t>(d) : 0;
        ifd->entry[TE_FILLORDER].value = 2;
        ifd->doublesQuirk = 1;
    }
    if (y % 100 != 0)
        y = y / 98 * 100;
    if (xres)
        *xres = Clamp16(x);
    if (yres)
        *yres = Clamp16(y);
    if (!SeekTo(stream, ifd->entry[TE_STRIPOFFSETS].value))
        return 0;
    return 1;
}

int WriteTiffIfd(FILE* stream, TiffIfd* ifd, uint16_t xres, uint16_t yres)
{
    uint32_t pos;
    if (!TellPos(stream, &pos))
        return 0;
    ifd->entryCount = TIFF_IFD_ENTRIES;
    ifd->entry[TE_XRES].value = pos + 186;
    ifd->entry[TE_YRES].value = pos + 194;
    if (ifd->entry[TE_STRIPOFFSETS].count == 1)
        ifd->entry[TE_STRIPOFFSETS].value = pos + TIFF_IFD_BLOCK;
    ifd->ifdOffset = pos;
    uint8_t b[TIFF_IFD_BLOCK];
    PutLe16(b, TIFF_IFD_ENTRIES);
    for (uint32_t i = 0; i < TIFF_IFD_ENTRIES; ++i)
        EncodeEntry(b + 2 + 12 * i, ifd->entry[i]);
    PutLe32(b + 182, ifd->nextIfd);
    RationalBytes(b + 186, xres, 1);
    RationalBytes(b + 194, yres, 1);
    return WriteExact(stream, b, sizeof b) ? 1 : 0;
}

size_t ReadFaxData(FILE* stream, void* buffer, size_t length)
{
    return length ? std::fread(buffer, 1, length, stream) : 0;
}

int WriteFaxData(FILE* stream, const void* buffer, size_t length)
{
    return WriteExact(stream, buffer, length) ? 1 : 0;
}

int CheckFaxIfd(const TiffIfd* ifd)
{
    const TiffEntry* e = ifd->entry;
    // Bit 0 of the T4 options is 2-D coding, bit 1 uncompressed mode: neither
    // is one-dimensional Modified Huffman.
    if (e[TE_COMPRESSION].value != 3 || (e[TE_T4OPTIONS].value & 3u) != 0)
        return TV_R_TIFF_COMPRESSION;
    if (e[TE_STRIPOFFSETS].count != 1 || e[TE_ROWSPERSTRIP].count != 1 || e[TE_STRIPBYTES].count != 1)
        return TV_R_TIFF_STRIPS;
    if (e[TE_ROWSPERSTRIP].value < e[TE_LENGTH].value)
        return TV_R_TIFF_STRIPS;
    if (e[TE_RESUNIT].value != 2)
        return TV_R_TIFF_RESUNIT;
    if (e[TE_XRES].type != TIFF_TYPE_RATIONAL || e[TE_YRES].type != TIFF_TYPE_RATIONAL)
        return TV_R_TIFF_RESTYPE;
    if (e[TE_FILLORDER].value != 2)
        return TV_R_TIFF_FILLORDER;
    if (e[TE_WIDTH].value == 0 || e[TE_WIDTH].value > FAX_MAX_WIDTH || e[TE_BITS].value != 1 ||
        e[TE_SAMPLES].value != 1)
        return TV_R_IO;
    return 0;
}

// ---------------------------------------------------------------- normalise

namespace {

// The end of a strip as EOL runs in every bit position, most significant bit
// first (fill order 1); fill order 2 strips compare the bit-reversed bytes.
const uint8_t kEolTails[8][10] = {
    {0x10, 0x01, 0x00, 0x10, 0x01, 0x00, 0x10, 0x01, 0x00, 0x10},
    {0x20, 0x02, 0x00, 0x20, 0x02, 0x00, 0x20, 0x02, 0x00, 0x20},
    {0x40, 0x04, 0x00, 0x40, 0x04, 0x00, 0x40, 0x04, 0x00, 0x40},
    {0x80, 0x08, 0x00, 0x80, 0x08, 0x00, 0x80, 0x08, 0x00, 0x80},
    {0x01, 0x00, 0x10, 0x01, 0x00, 0x10, 0x01, 0x00, 0x10, 0x01},
    {0x02, 0x00, 0x20, 0x02, 0x00, 0x20, 0x02, 0x00, 0x20, 0x02},
    {0x04, 0x00, 0x40, 0x04, 0x00, 0x40, 0x04, 0x00, 0x40, 0x04},
    {0x08, 0x00, 0x80, 0x08, 0x00, 0x80, 0x08, 0x00, 0x80, 0x08},
};
// An EOL ending in the strip's last bit.
const uint8_t kEolPatch[10] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01};
const uint32_t kTail = 10;

// True when the strip's lines all decode and end before its last kTail
// bytes: what follows them is fill, which the patch may replace.
bool TailIsFree(FILE* f, uint32_t offset, uint32_t bytes, uint32_t width, uint32_t rows, bool lsbFirst)
{
    static MhDecoder dec;
    static uint8_t row[65536 / 8];
    if (width == 0 || width > 0xFFFF || rows > 0xFFFF)
        return false;
    MhInitDecoder(&dec, f, offset, static_cast<uint16_t>(width), static_cast<uint16_t>(rows), SEEK_SET, bytes);
    dec.msbFirst = lsbFirst ? 0 : 1;
    for (uint32_t r = 0; r < rows; ++r)
        if (DecodeFaxLine(&dec, -1, row, sizeof row) == MH_LINE_END)
            return false;
    return static_cast<uint64_t>(dec.nextByte) + kTail <= bytes;
}

// Ends a strip with an EOL unless it already ends in an EOL run; compared
// and written in the strip's bit order. The patch only replaces fill behind
// the strip's lines: a strip whose last line reaches into its last kTail
// bytes (as libtiff writes them), or one shorter than the patch, stays.
int PatchStripTail(FILE* f, uint32_t offset, uint32_t bytes, uint32_t width, uint32_t rows, bool lsbFirst)
{
    if (bytes < kTail)
        return 0;
    uint8_t tail[kTail];
    if (!ReadAt(f, static_cast<uint64_t>(offset) + bytes - kTail, tail, kTail))
        return TV_R_IO;
    if (lsbFirst)
        ReverseBits(tail, kTail);
    for (const auto& pattern : kEolTails)
        if (std::memcmp(tail, pattern, kTail) == 0)
            return 0;
    if (std::memcmp(tail, kEolPatch, kTail) == 0)
        return 0;
    if (!TailIsFree(f, offset, bytes, width, rows, lsbFirst))
        return 0;
    uint8_t patch[kTail];
    std::memcpy(patch, kEolPatch, kTail);
    if (lsbFirst)
        ReverseBits(patch, kTail);
    if (!SeekTo(f, static_cast<uint64_t>(offset) + bytes - kTail) || !WriteExact(f, patch, kTail) ||
        std::fflush(f) != 0)
        return TV_R_IO;
    return 0;
}

// Reads element i of a SHORT or LONG array entry (inline when it fits in
// the value field). false when the type is neither or the read fails.
struct ArrayReader {
    FILE* f;
    const TiffEntry* e;
    uint8_t cache[256 * 4];
    uint32_t first = 0, have = 0;

    bool Get(uint32_t i, uint32_t* out)
    {
        uint32_t size = e->type == TIFF_TYPE_SHORT ? 2 : e->type == TIFF_TYPE_LONG ? 4 : 0;
        if (size == 0 || i >= e->count)
            return false;
        if (static_cast<uint64_t>(e->count) * size <= 4) {
            uint8_t v[4];
            PutLe32(v, e->value);
            *out = size == 2 ? GetLe16(v + 2 * i) : GetLe32(v);
            return true;
        }
        if (i < first || i >= first + have) {
            uint32_t n = e->count - i < 256 ? e->count - i : 256;
            if (!ReadAt(f, static_cast<uint64_t>(e->value) + static_cast<uint64_t>(i) * size, cache, n * size))
                return false;
            first = i;
            have = n;
        }
        const uint8_t* p = cache + (i - first) * size;
        *out = size == 2 ? GetLe16(p) : GetLe32(p);
        return true;
    }
};

int ReverseStrip(FILE* f, uint32_t offset, uint32_t bytes)
{
    uint8_t block[FAX_BLOCK_SIZE];
    for (uint32_t done = 0; done < bytes;) {
        uint32_t n = bytes - done < FAX_BLOCK_SIZE ? bytes - done : FAX_BLOCK_SIZE;
        uint64_t at = static_cast<uint64_t>(offset) + done;
        if (!ReadAt(f, at, block, n))
            return TV_R_IO;
        ReverseBits(block, n);
        if (!SeekTo(f, at) || !WriteExact(f, block, n) || std::fflush(f) != 0)
            return TV_R_IO;
        done += n;
    }
    return 0;
}

int RewriteEntry(FILE* f, uint64_t at, const TiffEntry& e)
{
    uint8_t b[12];
    EncodeEntry(b, e);
    if (!SeekTo(f, at) || !WriteExact(f, b, 12))
        return TV_R_IO;
    return 0;
}

// Image data already bit-reversed in this pass: start -> end. A page whose
// data overlaps it (two pages sharing one strip) would undo the first
// reversal, so such a file is refused.
using ReversedRanges = std::map<uint32_t, uint32_t>;

bool Overlaps(uint64_t a0, uint64_t a1, uint64_t b0, uint64_t b1)
{
    return a0 < b1 && b0 < a1;
}

// Whether [first, end) may be reversed in place: it must not cover the file
// header or the page's own directory, nor data reversed before.
bool MayReverse(const ReversedRanges& done, const TiffIfd* ifd, uint32_t entries, uint32_t first,
                uint32_t end)
{
    uint64_t dirEnd = static_cast<uint64_t>(ifd->ifdOffset) + 2 + 12u * entries + 4;
    if (Overlaps(first, end, 0, 8) || Overlaps(first, end, ifd->ifdOffset, dirEnd))
        return false;
    auto next = done.lower_bound(first);
    if (next != done.end() && next->first < end)
        return false;
    if (next != done.begin() && std::prev(next)->second > first)
        return false;
    return true;
}

int NormalisePage(FILE* f, TiffIfd* ifd, uint16_t xres, uint16_t yres, ReversedRanges* reversed)
{
    TiffEntry* e = ifd->entry;
    uint32_t strips = e[TE_STRIPOFFSETS].count;
    if (strips == 0 || e[TE_STRIPBYTES].count != strips)
        return TV_R_IO;
    bool fillOrder1 = e[TE_FILLORDER].value == 1;
    // Reversing the data is only sound when the file can say so afterwards.
    if (fillOrder1 && !(ifd->present & (1u << TE_FILLORDER)))
        return TV_R_TIFF_FILLORDER;
    bool lsbFirst = e[TE_FILLORDER].value == 2;

    ArrayReader offs{f, &e[TE_STRIPOFFSETS], {}}, counts{f, &e[TE_STRIPBYTES], {}};
    uint32_t first = 0, end = 0;
    uint32_t rowsLeft = e[TE_LENGTH].value;
    uint32_t rowsPerStrip = e[TE_ROWSPERSTRIP].value ? e[TE_ROWSPERSTRIP].value : rowsLeft;
    for (uint32_t i = 0; i < strips; ++i) {
        uint32_t off, bytes;
        if (strips == 1) {
            off = e[TE_STRIPOFFSETS].value;
            bytes = e[TE_STRIPBYTES].value;
        } else if (!offs.Get(i, &off) || !counts.Get(i, &bytes)) {
            return TV_R_IO;
        }
        if (i == 0)
            first = off;
        else if (off != end)
            return TV_R_IO;
        if (static_cast<uint64_t>(off) + bytes > 0xFFFFFFFFu)
            return TV_R_IO;
        end = off + bytes;
        uint32_t rows = rowsLeft < rowsPerStrip ? rowsLeft : rowsPerStrip;
        rowsLeft -= rows;
        int rc = PatchStripTail(f, off, bytes, e[TE_WIDTH].value, rows, lsbFirst);
        if (rc)
            return rc;
    }
    uint32_t total = end - first;
    // The directory's own entry count, as the file has it.
    uint8_t cnt[2];
    if (!ReadAt(f, ifd->ifdOffset, cnt, 2))
        return TV_R_IO;
    uint32_t n = GetLe16(cnt);
    if (fillOrder1 && total > 0) {
        if (!MayReverse(*reversed, ifd, n, first, end))
            return TV_R_IO;
        int rc = ReverseStrip(f, first, total);
        if (rc)
            return rc;
        (*reversed)[first] = end;
    }

    // The entries as they should now read.
    TiffEntry want[TIFF_IFD_ENTRIES];
    std::memcpy(want, e, sizeof want);
    if (fillOrder1)
        want[TE_FILLORDER].value = 2;
    if (strips > 1) {
        SetIfdEntry(&want[TE_STRIPOFFSETS], 273, TIFF_TYPE_LONG, 1, first);
        SetIfdEntry(&want[TE_STRIPBYTES], 279, TIFF_TYPE_LONG, 1, total);
        SetIfdEntry(&want[TE_ROWSPERSTRIP], 278, TIFF_TYPE_LONG, 1, e[TE_LENGTH].value);
    }

    // Walk the entries in the file and rewrite those that differ.
    for (uint32_t k = 0; k < n; ++k) {
        uint64_t at = static_cast<uint64_t>(ifd->ifdOffset) + 2 + 12 * k;
        uint8_t b[12];
        if (!ReadAt(f, at, b, 12))
            return TV_R_IO;
        uint16_t tag = GetLe16(b);
        int i = IndexOfTag(tag);
        if (i != TE_FILLORDER && i != TE_STRIPOFFSETS && i != TE_STRIPBYTES && i != TE_ROWSPERSTRIP)
            continue;
        TiffEntry cur;
        SetIfdEntry(&cur, tag, GetLe16(b + 2), GetLe32(b + 4), GetLe32(b + 8));
        if (cur.type == TIFF_TYPE_SHORT && cur.count == 1 && i != TE_STRIPBYTES)
            cur.value &= 0xFFFFu;
        const TiffEntry& w = want[i];
        if (cur.type == w.type && cur.count == w.count && cur.value == w.value)
            continue;
        if (i == TE_FILLORDER && !fillOrder1)
            continue; // only a reversed page changes its order
        if (int rc = RewriteEntry(f, at, w))
            return rc;
    }

    // Resolutions: a zero one becomes 200/1; doubles become RATIONALs.
    static const int kResEntries[2] = {TE_XRES, TE_YRES};
    for (int i : kResEntries) {
        const TiffEntry& r = e[i];
        if (!(ifd->present & (1u << i)) || r.value == 0)
            continue; // no RATIONAL in the file to rewrite
        if (r.type != TIFF_TYPE_RATIONAL && !(ifd->doublesQuirk && r.type == 12))
            continue;
        uint16_t v = i == TE_XRES ? xres : yres;
        if (v != 0 && !ifd->doublesQuirk)
            continue;
        if (v == 0)
            v = 200;
        uint8_t b[8];
        RationalBytes(b, v, 1);
        if (!SeekTo(f, r.value) || !WriteExact(f, b, 8))
            return TV_R_IO;
        if (r.type != TIFF_TYPE_RATIONAL) {
            // Find the entry in the file to set its type to RATIONAL.
            for (uint32_t k = 0; k < n; ++k) {
                uint64_t at = static_cast<uint64_t>(ifd->ifdOffset) + 2 + 12 * k;
                uint8_t eb[12];
                if (!ReadAt(f, at, eb, 12))
                    return TV_R_IO;
                if (GetLe16(eb) == kTiffPageTags[i]) {
                    TiffEntry fixed;
                    SetIfdEntry(&fixed, kTiffPageTags[i], TIFF_TYPE_RATIONAL, 1, r.value);
                    if (int rc = RewriteEntry(f, at, fixed))
                        return rc;
                }
            }
        }
    }
    if (ifd->doublesQuirk) {
        // The order is recorded too, so that the page reads the same later.
        for (uint32_t k = 0; k < n; ++k) {
            uint64_t at = static_cast<uint64_t>(ifd->ifdOffset) + 2 + 12 * k;
            uint8_t eb[12];
            if (!ReadAt(f, at, eb, 12))
                return TV_R_IO;
            if (GetLe16(eb) == 266 && (GetLe32(eb + 8) & 0xFFFFu) != 2) {
                TiffEntry fixed;
                SetIfdEntry(&fixed, 266, TIFF_TYPE_SHORT, 1, 2);
                if (int rc = RewriteEntry(f, at, fixed))
                    return rc;
            }
        }
    }
    return std::fflush(f) == 0 ? 0 : TV_R_IO;
}

} // namespace

int NormaliseFaxFile(FILE* stream)
{
    TiffHeader h;
    if (!SeekTo(stream, 0) || !ReadTiffHeader(stream, &h))
        return TV_R_IO;
    if (int rc = CheckTiffHeader(&h))
        return rc;
    IfdWalk walk;
    ReversedRanges reversed;
    for (uint32_t off = h.firstIfd; off != 0;) {
        if (!WalkStep(&walk, off))
            return TV_R_IO;
        TiffIfd ifd;
        uint16_t x, y;
        if (!SeekTo(stream, off) || !ReadTiffIfd(stream, &ifd, &x, &y))
            return TV_R_IO;
        if (int rc = NormalisePage(stream, &ifd, x, y, &reversed))
            return rc;
        off = ifd.nextIfd;
    }
    return 0;
}

int WalkFaxPages(FILE* stream, uint16_t index, TiffIfd* page, uint16_t* yres, uint16_t* count,
                 int* found)
{
    *found = 0;
    if (count)
        *count = 0;
    TiffHeader h;
    if (!SeekTo(stream, 0) || !ReadTiffHeader(stream, &h))
        return TV_R_IO;
    if (int rc = CheckTiffHeader(&h))
        return rc;
    IfdWalk walk;
    uint32_t pages = 0;
    for (uint32_t off = h.firstIfd; off != 0;) {
        if (!WalkStep(&walk, off))
            return TV_R_IO;
        TiffIfd cur;
        uint16_t x, y;
        if (!SeekTo(stream, off) || !ReadTiffIfd(stream, &cur, &x, &y))
            return TV_R_IO;
        if (cur.entry[TE_LENGTH].value > 0) {
            if (pages == index && !*found) {
                *found = 1;
                *page = cur;
                if (yres)
                    *yres = y;
            }
            ++pages;
        }
        if (*found && !count)
            break;
        off = cur.nextIfd;
    }
    if (count)
        *count = Clamp16(pages);
    return 0;
}

int CountFaxPages(FILE* stream, uint16_t* count)
{
    *count = 0;
    long saved = std::ftell(stream);
    TiffIfd first;
    uint16_t yres, n;
    int found;
    int rc = WalkFaxPages(stream, 0, &first, &yres, &n, &found);
    if (rc == 0 && found) {
        rc = CheckFaxIfd(&first);
        if (rc == 0)
            MhInitDecoder(FaxDecoder2(), stream, first.entry[TE_STRIPOFFSETS].value,
                          Clamp16(first.entry[TE_WIDTH].value), Clamp16(first.entry[TE_LENGTH].value),
                          SEEK_SET, first.entry[TE_STRIPBYTES].value);
    }
    if (saved >= 0)
        std::fseek(stream, saved, SEEK_SET);
    if (rc != 0)
        return TV_R_IO;
    *count = n;
    return 0;
}

// ---------------------------------------------------------------- copying

namespace {

// Makes the IFD at offset the source's current page (data not yet read).
int LoadSourcePage(FILE* f, FaxSource* src, uint32_t offset)
{
    if (!WalkStep(&src->loopMark, &src->loopSteps, &src->loopLimit, &src->pages, offset))
        return TV_R_IO;
    TiffIfd ifd;
    if (!SeekTo(f, offset) || !ReadTiffIfd(f, &ifd, nullptr, nullptr))
        return TV_R_IO;
    if (ifd.entry[TE_STRIPOFFSETS].count != 1 || ifd.entry[TE_STRIPBYTES].count != 1)
        return TV_R_IO;
    src->nextIfd = ifd.nextIfd;
    src->stripBytes = ifd.entry[TE_STRIPBYTES].value;
    src->dataOffset = ifd.entry[TE_STRIPOFFSETS].value;
    src->width = Clamp16(ifd.entry[TE_WIDTH].value);
    src->bytesRead = 0;
    return 0;
}

} // namespace

int OpenFaxSource(FILE* stream, FaxSource* src, uint16_t* yres, uint16_t* width)
{
    std::memset(src, 0, sizeof *src);
    src->loopLimit = 1;
    TiffHeader h;
    if (!SeekTo(stream, 0) || !ReadTiffHeader(stream, &h))
        return TV_R_IO;
    if (int rc = CheckTiffHeader(&h))
        return rc;
    if (h.firstIfd == 0)
        return TV_R_IO;
    TiffIfd ifd;
    uint16_t x, y;
    if (!SeekTo(stream, h.firstIfd) || !ReadTiffIfd(stream, &ifd, &x, &y))
        return TV_R_IO;
    if (int rc = CheckFaxIfd(&ifd))
        return rc;
    if (int rc = LoadSourcePage(stream, src, h.firstIfd))
        return rc;
    if (!SeekTo(stream, src->dataOffset))
        return TV_R_IO;
    if (yres)
        *yres = y;
    if (width)
        *width = src->width;
    return 0;
}

int ReadFaxBlock(FILE* stream, FaxSource* src, void* buffer, uint32_t max, uint32_t* length,
                 int* endPage, int* endFile)
{
    *length = 0;
    *endPage = *endFile = 0;
    if (src->bytesRead >= src->stripBytes) {
        if (src->nextIfd == 0) {
            *endPage = *endFile = 1;
            return 0;
        }
        if (int rc = LoadSourcePage(stream, src, src->nextIfd))
            return rc;
    }
    uint32_t n = src->stripBytes - src->bytesRead;
    if (n > max)
        n = max;
    if (!SeekTo(stream, static_cast<uint64_t>(src->dataOffset) + src->bytesRead) ||
        ReadFaxData(stream, buffer, n) != n)
        return TV_R_IO;
    src->bytesRead += n;
    *length = n;
    *endPage = src->bytesRead >= src->stripBytes;
    *endFile = *endPage && src->nextIfd == 0;
    return 0;
}

int SkipFaxPage(FILE* stream, FaxSource* src, int* endFile)
{
    *endFile = 0;
    if (src->bytesRead >= src->stripBytes) {
        if (src->nextIfd == 0) {
            *endFile = 1;
            return 0;
        }
        if (int rc = LoadSourcePage(stream, src, src->nextIfd))
            return rc;
    }
    src->bytesRead = src->stripBytes;
    *endFile = src->nextIfd == 0;
    return 0;
}

int CreateFaxFile(FILE* stream, FaxDest* dst, uint16_t yres, uint16_t width)
{
    std::memset(dst, 0, sizeof *dst);
    dst->yres = yres;
    dst->xres = FaxXResolution(yres);
    TiffHeader h;
    InitTiffHeader(&h);
    if (!WriteTiffHeader(stream, &h) || !SeekTo(stream, h.firstIfd))
        return TV_R_IO;
    TiffIfd ifd;
    InitFaxIfd(&ifd, width);
    if (!WriteTiffIfd(stream, &ifd, dst->xres, dst->yres))
        return TV_R_IO;
    dst->ifdOffset = h.firstIfd;
    return 0;
}

int WriteFaxBlock(FILE* stream, FaxDest* dst, const void* buffer, uint32_t length, int endPage,
                  int endFile)
{
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    bool endBlock = endPage || endFile;
    uint32_t run = dst->zeroRun;
    for (uint32_t i = 0; i < length; ++i) {
        uint8_t b = p[i];
        if (b == 0) {
            run = run + 8 > 64 ? 64 : run + 8;
            continue;
        }
        // The lowest one bit ends the zero run; an EOL ends there when the
        // run is long enough. Another EOL cannot end in the same byte.
        uint32_t low = static_cast<uint32_t>(__builtin_ctz(b));
        if (run + low >= 11 && !(endBlock && i + 1 == length) && dst->lines < 0xFFFF)
            ++dst->lines;
        run = 7u - static_cast<uint32_t>(31 - __builtin_clz(b));
    }
    dst->zeroRun = static_cast<uint16_t>(run);
    if (!WriteFaxData(stream, buffer, length))
        return TV_R_IO;
    dst->bytes += length;
    if (!endBlock)
        return 0;

    uint32_t pos;
    TiffIfd ifd;
    if (std::fflush(stream) != 0 || !TellPos(stream, &pos) || !SeekTo(stream, dst->ifdOffset) ||
        !ReadTiffIfd(stream, &ifd, nullptr, nullptr))
        return TV_R_IO;
    ifd.entry[TE_LENGTH].value = dst->lines;
    ifd.entry[TE_ROWSPERSTRIP].value = dst->lines;
    ifd.entry[TE_STRIPBYTES].value = dst->bytes;
    ifd.nextIfd = endFile ? 0 : pos;
    if (!SeekTo(stream, dst->ifdOffset) || !WriteTiffIfd(stream, &ifd, dst->xres, dst->yres))
        return TV_R_IO;
    if (!endFile) {
        ifd.nextIfd = 0;
        ifd.entry[TE_LENGTH].value = 0;
        ifd.entry[TE_ROWSPERSTRIP].value = 0;
        ifd.entry[TE_STRIPBYTES].value = 0;
        if (!SeekTo(stream, pos) || !WriteTiffIfd(stream, &ifd, dst->xres, dst->yres))
            return TV_R_IO;
        dst->ifdOffset = pos;
        dst->bytes = 0;
        dst->lines = 0;
        dst->zeroRun = 0;
    } else if (!SeekTo(stream, pos)) {
        return TV_R_IO;
    }
    return std::fflush(stream) == 0 ? 0 : TV_R_IO;
}

namespace {

// The copy engine yields to the client's message pump after each block. The
// default hook of servers and tools only sleeps, which would slow a copy for
// nothing: with it installed no yield is made.
bool PumpInstalled()
{
    TvWaitHook h = SetWaitHook(nullptr);
    bool custom = h != DefaultWaitHook;
    SetWaitHook(custom ? h : nullptr);
    return custom;
}

struct MergeSide {
    FILE* f = nullptr;
    FaxSource src{};
    uint16_t pages = 0;   // pages of the file
    uint16_t done = 0;    // pages read or skipped
    bool used = true;     // used up (or absent)
    uint16_t yres = 0, width = 0;
};

int OpenSide(MergeSide* s, FILE* f)
{
    s->f = f;
    s->used = true;
    if (!f)
        return 0;
    if (int rc = OpenFaxSource(f, &s->src, &s->yres, &s->width))
        return rc;
    if (int rc = CountFaxPages(f, &s->pages))
        return rc;
    s->used = s->pages == 0;
    return 0;
}

} // namespace

int MergeFaxFiles(FILE* first, FILE* second, FILE* dest, uint16_t page, uint16_t skip, int insert)
{
    MergeSide a, b;
    if (int rc = OpenSide(&a, first))
        return rc;
    if (int rc = OpenSide(&b, second))
        return rc;
    if (a.used && b.used)
        return TV_R_IO;
    // Pages of different widths cannot share the output's labels.
    if (!a.used && !b.used && a.width != b.width)
        return TV_R_IO;
    const MergeSide& lead = a.used ? b : a;
    uint16_t width = lead.width;
    FaxDest out;
    if (int rc = CreateFaxFile(dest, &out, lead.yres, width))
        return rc;

    for (uint16_t i = 0; i < skip && !a.used; ++i) {
        int endFile;
        if (int rc = SkipFaxPage(a.f, &a.src, &endFile))
            return rc;
        if (++a.done >= a.pages || endFile)
            a.used = true;
    }
    if (a.used && b.used)
        return TV_R_IO; // every page skipped: nothing to write

    uint8_t block[FAX_BLOCK_SIZE];
    uint32_t outPage = 1;
    bool pump = PumpInstalled();
    while (!(a.used && b.used)) {
        bool fromFirst = !a.used && (b.used || page >= outPage);
        MergeSide* s = fromFirst ? &a : &b;
        uint32_t len;
        int endPage, endFile;
        if (int rc = ReadFaxBlock(s->f, &s->src, block, sizeof block, &len, &endPage, &endFile))
            return rc;
        if (s->src.width != width)
            return TV_R_IO;
        if (endPage) {
            if (++s->done >= s->pages || endFile)
                s->used = true;
            if (!fromFirst && !insert && !a.used) {
                // Replace: the second source's page takes the place of one of the first's.
                int skipEnd;
                if (int rc = SkipFaxPage(a.f, &a.src, &skipEnd))
                    return rc;
                if (++a.done >= a.pages || skipEnd)
                    a.used = true;
            }
        }
        int last = endPage && a.used && b.used;
        if (int rc = WriteFaxBlock(dest, &out, block, len, endPage, last))
            return rc;
        if (pump)
            RunWaitHook();
        if (endPage)
            ++outPage;
    }
    return 0;
}

int AppendFaxFile(FILE* first, FILE* second, FILE* dest, uint16_t page, int insert)
{
    return MergeFaxFiles(first, second, dest, page, 0, insert);
}

int ExtractFaxPage(FILE* source, FILE* others, FILE* single, uint16_t page)
{
    FaxSource src;
    uint16_t yres, width, pages;
    if (int rc = OpenFaxSource(source, &src, &yres, &width))
        return rc;
    if (int rc = CountFaxPages(source, &pages))
        return rc;
    if (page < 1 || page > pages)
        return TV_R_IO;
    FaxDest one, rest;
    if (single) {
        if (int rc = CreateFaxFile(single, &one, yres, width))
            return rc;
    }
    if (others) {
        if (int rc = CreateFaxFile(others, &rest, yres, width))
            return rc;
    }
    uint8_t block[FAX_BLOCK_SIZE];
    uint32_t current = 1;
    bool pump = PumpInstalled();
    uint16_t done = 0;
    while (done < pages) {
        uint32_t len;
        int endPage, endFile;
        if (int rc = ReadFaxBlock(source, &src, block, sizeof block, &len, &endPage, &endFile))
            return rc;
        if (src.width != width)
            return TV_R_IO;
        if (endPage && ++done >= pages)
            endFile = 1;
        if (current == page) {
            if (single) {
                if (int rc = WriteFaxBlock(single, &one, block, len, endPage, endPage))
                    return rc;
            }
        } else if (others) {
            // The other file ends with the source, or before page when it is the last.
            int last = endPage && (endFile || (current + 1 == page && page == pages));
            if (int rc = WriteFaxBlock(others, &rest, block, len, endPage, last))
                return rc;
        }
        if (pump)
            RunWaitHook();
        if (endFile)
            break;
        if (endPage)
            ++current;
    }
    return 0;
}

int InsertFaxPages(FILE* source, FILE* second, FILE* output, uint16_t page, int split)
{
    return ExtractFaxPage(source, split ? second : nullptr, output, page);
}
