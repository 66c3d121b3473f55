// Helpers of the fax image tests: coded data drawn as bit strings, a plain
// bit-at-a-time reference decoder that follows the decoding rules word for
// word, and small file helpers. Shared by the tests of common/ and
// server/runtime/ and by the fax decoder's fuzz target.
#ifndef TAVRINE_TESTS_SUPPORT_MHTESTUTIL_H
#define TAVRINE_TESTS_SUPPORT_MHTESTUTIL_H

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/mhtables.h"
#include "tests/support/tempdir.h"

namespace mht {

// Packs bit strings ("0" and "1", blanks ignored) least significant bit
// first, the way fill order 2 data is stored.
struct Bits {
    std::vector<uint8_t> bytes;
    uint32_t nbits = 0;

    Bits& Add(const char* s)
    {
        for (; *s; ++s) {
            if (*s != '0' && *s != '1')
                continue;
            if (nbits % 8 == 0)
                bytes.push_back(0);
            if (*s == '1')
                bytes.back() = static_cast<uint8_t>(bytes.back() | (1u << (nbits % 8)));
            ++nbits;
        }
        return *this;
    }
    Bits& Pad()
    {
        nbits = static_cast<uint32_t>(bytes.size() * 8);
        return *this;
    }
    Bits& Byte(uint8_t b)
    {
        Pad();
        bytes.push_back(b);
        nbits += 8;
        return *this;
    }
};

// T.4 codes used by the tests, in transmission order.
constexpr const char* kEol = "000000000001";

// A row of width pixels drawn as text: '#' black, anything else white.
inline std::vector<uint8_t> RowFromText(const std::string& text, uint32_t width)
{
    std::vector<uint8_t> row((width + 7) / 8, 0);
    for (uint32_t x = 0; x < width && x < text.size(); ++x)
        if (text[x] == '#')
            row[x / 8] = static_cast<uint8_t>(row[x / 8] | (0x80 >> (x % 8)));
    return row;
}

inline bool Pixel(const uint8_t* row, uint32_t x) { return (row[x / 8] >> (7 - x % 8)) & 1; }

// Reference decoder: one bit at a time, codes matched by prefix against the
// code tables, state kept exactly as the decoding rules describe it (current
// byte and bit mask, byte offset, one-byte step back after seven zeros).
struct RefDecoder {
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    uint16_t width = 0, lines = 0, current = 0;
    uint32_t offset = 0; // next byte to read
    uint8_t cur = 0, mask = 0x80;
    bool black = false;  // the last line set black pixels

    void Init(const uint8_t* d, uint32_t n, uint16_t w, uint16_t l)
    {
        data = d;
        size = n;
        width = w;
        lines = l;
        current = 0;
        offset = 0;
        mask = 0x80;
    }
    // -1 at end of data, else the bit.
    int Bit()
    {
        if (mask == 0x80) {
            if (offset >= size)
                return -1;
            cur = data[offset++];
            mask = 1;
        } else {
            mask = static_cast<uint8_t>(mask << 1);
        }
        return (cur & mask) ? 1 : 0;
    }
    // The run of each code by colour, length and bits (-1: no code).
    static const int16_t* Codes(bool isBlack, uint32_t len)
    {
        static int16_t table[2][14][8192];
        static bool ready = false;
        if (!ready) {
            std::memset(table, 0xFF, sizeof table);
            for (int c = 0; c < 2; ++c) {
                const MhCode* term = c ? kMhBlackTerm : kMhWhiteTerm;
                const MhCode* makeup = c ? kMhBlackMakeup : kMhWhiteMakeup;
                for (int i = 0; i < 64; ++i)
                    table[c][term[i].length][term[i].bits] = static_cast<int16_t>(i);
                for (int i = 0; i < 27; ++i)
                    table[c][makeup[i].length][makeup[i].bits] = static_cast<int16_t>((i + 1) * 64);
            }
            ready = true;
        }
        return table[isBlack ? 1 : 0][len];
    }
    // Code word of one colour, read bit by bit: run length, -7 for seven
    // zeros, -1 at the end of the data.
    int Code(bool isBlack)
    {
        uint32_t v = 0;
        for (uint32_t len = 1; len <= 13; ++len) {
            int b = Bit();
            if (b < 0)
                return -1;
            v |= static_cast<uint32_t>(b) << (len - 1);
            if (len == 7 && v == 0)
                return -7;
            int run = Codes(isBlack, len)[v];
            if (run >= 0)
                return run;
        }
        return -7; // not reached: the code sets are complete
    }
    int Line(uint8_t* row)
    {
        black = false;
        std::memset(row, 0, (width + 7u) / 8u);
        mask = 0x80; // drop the rest of the current byte
        for (;;) {
            int b = Bit();
            if (b < 0)
                return -1;
            if (b == 1)
                break;
        }
        uint32_t x = 0;
        bool isBlack = false;
        for (;;) {
            int run = Code(isBlack);
            if (run == -1)
                return -1;
            if (run == -7) {
                for (;;) {
                    int b = Bit();
                    if (b < 0)
                        return -1;
                    if (b == 1)
                        break;
                }
                --offset;
                mask = 0x80;
                return -2;
            }
            if (x + static_cast<uint32_t>(run) > width)
                return -2;
            if (isBlack)
                for (int i = 0; i < run; ++i, ++x) {
                    row[x / 8] = static_cast<uint8_t>(row[x / 8] | (0x80 >> (x % 8)));
                    black = true;
                }
            else
                x += static_cast<uint32_t>(run);
            if (run >= 64)
                continue;
            if (x == width)
                return 1;
            isBlack = !isBlack;
        }
    }
    int Decode(int32_t n, uint8_t* row)
    {
        if (n < 0)
            n = current;
        if (n < current) {
            current = 0;
            offset = 0;
            mask = 0x80;
        }
        if (n >= lines)
            return -1;
        int r = -1;
        while (current <= n) {
            r = Line(row);
            ++current;
        }
        return r;
    }
};

inline std::vector<uint8_t> ReadWholeFile(const std::string& path)
{
    std::vector<uint8_t> v;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return v;
    uint8_t b[4096];
    size_t n;
    while ((n = std::fread(b, 1, sizeof b, f)) > 0)
        v.insert(v.end(), b, b + n);
    std::fclose(f);
    return v;
}

inline std::vector<uint8_t> StreamBytes(FILE* f)
{
    std::vector<uint8_t> v;
    std::fflush(f);
    std::rewind(f);
    uint8_t b[4096];
    size_t n;
    while ((n = std::fread(b, 1, sizeof b, f)) > 0)
        v.insert(v.end(), b, b + n);
    return v;
}

// A P4 bitmap: 1 = black, rows padded to whole bytes.
struct Pbm {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> bits;
    uint32_t RowBytes() const { return (width + 7) / 8; }
    const uint8_t* Row(uint32_t y) const { return bits.data() + y * RowBytes(); }
};

// Parses one P4 image at *pos of d (comments allowed); moves *pos behind it.
inline bool ParsePbm(const std::vector<uint8_t>& d, size_t* pos, Pbm* p)
{
    size_t i = *pos;
    auto number = [&]() {
        for (;;) {
            while (i < d.size() && (d[i] == ' ' || d[i] == '\n' || d[i] == '\r' || d[i] == '\t'))
                ++i;
            if (i >= d.size() || d[i] != '#')
                break;
            while (i < d.size() && d[i] != '\n')
                ++i;
        }
        uint32_t v = 0;
        while (i < d.size() && d[i] >= '0' && d[i] <= '9')
            v = v * 10 + static_cast<uint32_t>(d[i++] - '0');
        return v;
    };
    if (i + 2 > d.size() || d[i] != 'P' || d[i + 1] != '4')
        return false;
    i += 2;
    p->width = number();
    p->height = number();
    ++i;
    size_t n = static_cast<size_t>(p->RowBytes()) * p->height;
    if (i + n > d.size())
        return false;
    p->bits.assign(d.begin() + static_cast<long>(i), d.begin() + static_cast<long>(i + n));
    *pos = i + n;
    return true;
}

inline Pbm ReadPbm(const std::string& path)
{
    Pbm p;
    size_t pos = 0;
    std::vector<uint8_t> d = ReadWholeFile(path);
    if (!ParsePbm(d, &pos, &p))
        return Pbm();
    return p;
}

inline bool WritePbm(const std::string& path, const Pbm& p)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    std::fprintf(f, "P4\n%u %u\n", p.width, p.height);
    bool ok = std::fwrite(p.bits.data(), 1, p.bits.size(), f) == p.bits.size();
    return std::fclose(f) == 0 && ok;
}

// The scratch folder of this test program's TempFiles, made on first use
// and removed with everything in it when the program ends.
inline const tvtest::TempDir& ScratchDir()
{
    static const tvtest::TempDir dir("mht");
    return dir;
}

// A named scratch file in ScratchDir() (the tests open it again by its
// path), removed when it goes out of scope.
struct TempFile {
    FILE* f = nullptr;
    std::string path;

    TempFile()
    {
        static int serial = 0;
        path = ScratchDir().File("scratch_" + std::to_string(++serial) + ".bin");
        f = std::fopen(path.c_str(), "w+b");
    }
    explicit TempFile(const std::vector<uint8_t>& bytes) : TempFile()
    {
        if (f && !bytes.empty())
            std::fwrite(bytes.data(), 1, bytes.size(), f);
        if (f) {
            std::fflush(f);
            std::rewind(f);
        }
    }
    ~TempFile()
    {
        if (f)
            std::fclose(f);
        std::remove(path.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    std::vector<uint8_t> Bytes() { return StreamBytes(f); }
};

} // namespace mht

#endif
