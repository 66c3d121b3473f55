// Generates common/mhtables.h and common/mhtables.cpp: the T.4 one-dimensional
// (Modified Huffman) code tables in the forms the encoder and the decoder use.
//
//   mhtables_gen <output directory>
//
// The codes below are the 91 white and 91 black codes of T.4 (terminating
// 0-63, make-up 64-1728), written as bit strings in transmission order.
// The tool checks that each colour's codes are prefix-free and, together
// with the seven-zero prefix that starts an EOL, cover every bit string, then
// writes:
//   - encoder codes, bit-reversed for least-significant-bit-first packing;
//   - decoder lookup tables indexed by the next bits of the stream taken
//     least significant first (first transmitted bit = bit 0 of the index).
// Decoder entry (16 bits): bits 0-3 code length, bits 4-15 run length, or
// MHT_SEVEN_ZEROS / MHT_INVALID in bits 4-15.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Code {
    int run;
    const char *bits;
};

const Code kWhite[] = {
    {0, "00110101"}, {1, "000111"}, {2, "0111"}, {3, "1000"}, {4, "1011"}, {5, "1100"},
    {6, "1110"}, {7, "1111"}, {8, "10011"}, {9, "10100"}, {10, "00111"}, {11, "01000"},
    {12, "001000"}, {13, "000011"}, {14, "110100"}, {15, "110101"}, {16, "101010"},
    {17, "101011"}, {18, "0100111"}, {19, "0001100"}, {20, "0001000"}, {21, "0010111"},
    {22, "0000011"}, {23, "0000100"}, {24, "0101000"}, {25, "0101011"}, {26, "0010011"},
    {27, "0100100"}, {28, "0011000"}, {29, "00000010"}, {30, "00000011"}, {31, "00011010"},
    {32, "00011011"}, {33, "00010010"}, {34, "00010011"}, {35, "00010100"}, {36, "00010101"},
    {37, "00010110"}, {38, "00010111"}, {39, "00101000"}, {40, "00101001"}, {41, "00101010"},
    {42, "00101011"}, {43, "00101100"}, {44, "00101101"}, {45, "00000100"}, {46, "00000101"},
    {47, "00001010"}, {48, "00001011"}, {49, "01010010"}, {50, "01010011"}, {51, "01010100"},
    {52, "01010101"}, {53, "00100100"}, {54, "00100101"}, {55, "01011000"}, {56, "01011001"},
    {57, "01011010"}, {58, "01011011"}, {59, "01001010"}, {60, "01001011"}, {61, "00110010"},
    {62, "00110011"}, {63, "00110100"},
    {64, "11011"}, {128, "10010"}, {192, "010111"}, {256, "0110111"}, {320, "00110110"},
    {384, "00110111"}, {448, "01100100"}, {512, "01100101"}, {576, "01101000"},
    {640, "01100111"}, {704, "011001100"}, {768, "011001101"}, {832, "011010010"},
    {896, "011010011"}, {960, "011010100"}, {1024, "011010101"}, {1088, "011010110"},
    {1152, "011010111"}, {1216, "011011000"}, {1280, "011011001"}, {1344, "011011010"},
    {1408, "011011011"}, {1472, "010011000"}, {1536, "010011001"}, {1600, "010011010"},
    {1664, "011000"}, {1728, "010011011"},
};

const Code kBlack[] = {
    {0, "0000110111"}, {1, "010"}, {2, "11"}, {3, "10"}, {4, "011"}, {5, "0011"},
    {6, "0010"}, {7, "00011"}, {8, "000101"}, {9, "000100"}, {10, "0000100"},
    {11, "0000101"}, {12, "0000111"}, {13, "00000100"}, {14, "00000111"},
    {15, "000011000"}, {16, "0000010111"}, {17, "0000011000"}, {18, "0000001000"},
    {19, "00001100111"}, {20, "00001101000"}, {21, "00001101100"}, {22, "00000110111"},
    {23, "00000101000"}, {24, "00000010111"}, {25, "00000011000"}, {26, "000011001010"},
    {27, "000011001011"}, {28, "000011001100"}, {29, "000011001101"}, {30, "000001101000"},
    {31, "000001101001"}, {32, "000001101010"}, {33, "000001101011"}, {34, "000011010010"},
    {35, "000011010011"}, {36, "000011010100"}, {37, "000011010101"}, {38, "000011010110"},
    {39, "000011010111"}, {40, "000001101100"}, {41, "000001101101"}, {42, "000011011010"},
    {43, "000011011011"}, {44, "000001010100"}, {45, "000001010101"}, {46, "000001010110"},
    {47, "000001010111"}, {48, "000001100100"}, {49, "000001100101"}, {50, "000001010010"},
    {51, "000001010011"}, {52, "000000100100"}, {53, "000000110111"}, {54, "000000111000"},
    {55, "000000100111"}, {56, "000000101000"}, {57, "000001011000"}, {58, "000001011001"},
    {59, "000000101011"}, {60, "000000101100"}, {61, "000001011010"}, {62, "000001100110"},
    {63, "000001100111"},
    {64, "0000001111"}, {128, "000011001000"}, {192, "000011001001"}, {256, "000001011011"},
    {320, "000000110011"}, {384, "000000110100"}, {448, "000000110101"},
    {512, "0000001101100"}, {576, "0000001101101"}, {640, "0000001001010"},
    {704, "0000001001011"}, {768, "0000001001100"}, {832, "0000001001101"},
    {896, "0000001110010"}, {960, "0000001110011"}, {1024, "0000001110100"},
    {1088, "0000001110101"}, {1152, "0000001110110"}, {1216, "0000001110111"},
    {1280, "0000001010010"}, {1344, "0000001010011"}, {1408, "0000001010100"},
    {1472, "0000001010101"}, {1536, "0000001011010"}, {1600, "0000001011011"},
    {1664, "0000001100100"}, {1728, "0000001100101"},
};

const int kSevenZeros = 0xFFF;
const int kInvalid = 0xFFE;

void Fail(const char *what, const char *detail)
{
    std::fprintf(stderr, "mhtables_gen: %s %s\n", what, detail);
    std::exit(1);
}

// The code's bits as a number whose bit 0 is the first transmitted bit.
uint32_t Reversed(const char *bits)
{
    uint32_t v = 0;
    for (size_t i = 0; bits[i]; ++i)
        if (bits[i] == '1')
            v |= 1u << i;
        else if (bits[i] != '0')
            Fail("bad bit string", bits);
    return v;
}

bool StartsWith(const char *s, const char *prefix)
{
    return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

// Checks one colour: 91 codes, runs as expected, prefix-free, and complete
// together with the seven-zero prefix (Kraft sum exactly 1).
void CheckColour(const Code *codes, size_t n, const char *name)
{
    if (n != 91)
        Fail("wrong number of codes for", name);
    uint64_t kraft = 0; // in units of 2^-13
    for (size_t i = 0; i < n; ++i) {
        int expect = i < 64 ? static_cast<int>(i) : static_cast<int>(i - 63) * 64;
        if (codes[i].run != expect)
            Fail("runs out of order in", name);
        size_t len = std::strlen(codes[i].bits);
        if (len < 2 || len > 13)
            Fail("bad code length in", name);
        if (StartsWith(codes[i].bits, "0000000"))
            Fail("code starts with seven zeros in", name);
        for (size_t j = 0; j < n; ++j)
            if (i != j && StartsWith(codes[j].bits, codes[i].bits))
                Fail("codes not prefix-free in", name);
        kraft += 1ull << (13 - len);
    }
    kraft += 1ull << (13 - 7);
    if (kraft != (1ull << 13))
        Fail("code set is not complete:", name);
}

// Decoder entry for the bit string formed by the low `bits` bits of index
// (bit 0 first), after `skip` leading bits known to be zero.
uint16_t Lookup(const Code *codes, size_t n, uint32_t index, int bits, int skip)
{
    char s[32];
    int k = 0;
    for (int i = 0; i < skip; ++i)
        s[k++] = '0';
    for (int i = 0; i < bits; ++i)
        s[k++] = (index >> i) & 1 ? '1' : '0';
    s[k] = 0;
    if (StartsWith(s, "0000000"))
        return static_cast<uint16_t>(7 | (kSevenZeros << 4));
    for (size_t i = 0; i < n; ++i)
        if (StartsWith(s, codes[i].bits))
            return static_cast<uint16_t>(std::strlen(codes[i].bits) | (codes[i].run << 4));
    return static_cast<uint16_t>(kInvalid << 4);
}

void EmitTable(FILE *f, const char *name, const std::vector<uint16_t> &t)
{
    std::fprintf(f, "const uint16_t %s[%zu] = {", name, t.size());
    for (size_t i = 0; i < t.size(); ++i)
        std::fprintf(f, "%s0x%04X,", i % 10 ? " " : "\n    ", t[i]);
    std::fprintf(f, "\n};\n\n");
}

void EmitCodes(FILE *f, const char *name, const Code *codes, size_t from, size_t to)
{
    std::fprintf(f, "const MhCode %s[%zu] = {", name, to - from);
    for (size_t i = from; i < to; ++i)
        std::fprintf(f, "%s{0x%04X, %zu},", (i - from) % 6 ? " " : "\n    ",
                     Reversed(codes[i].bits), std::strlen(codes[i].bits));
    std::fprintf(f, "\n};\n\n");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: mhtables_gen <output directory>\n");
        return 2;
    }
    const size_t nw = sizeof kWhite / sizeof kWhite[0];
    const size_t nb = sizeof kBlack / sizeof kBlack[0];
    CheckColour(kWhite, nw, "white");
    CheckColour(kBlack, nb, "black");
    for (size_t i = 0; i < nw; ++i)
        if (std::strlen(kWhite[i].bits) > 9)
            Fail("white code longer than the 9-bit table", kWhite[i].bits);

    std::vector<uint16_t> white(512), black(8192);
    for (uint32_t i = 0; i < 512; ++i)
        white[i] = Lookup(kWhite, nw, i, 9, 0);
    for (uint32_t i = 0; i < 8192; ++i)
        black[i] = Lookup(kBlack, nb, i, 13, 0);
    for (uint16_t e : white)
        if ((e >> 4) == kInvalid)
            Fail("gap in white table", "");
    for (uint16_t e : black)
        if ((e >> 4) == kInvalid)
            Fail("gap in black table", "");

    std::string dir = argv[1];
    std::string hpath = dir + "/mhtables.h", cpath = dir + "/mhtables.cpp";
    FILE *h = std::fopen(hpath.c_str(), "wb");
    if (!h)
        Fail("cannot write", hpath.c_str());
    std::fprintf(h,
                 "// Generated by tools/mhtables/mhtables_gen.cpp; do not edit.\n"
                 "// T.4 Modified Huffman code tables for the encoder and the decoder.\n"
                 "#ifndef TAVRINE_COMMON_MHTABLES_H\n#define TAVRINE_COMMON_MHTABLES_H\n\n"
                 "#include <cstdint>\n\n"
                 "// A code with its bits reversed: bit 0 is sent first.\n"
                 "struct MhCode {\n    uint16_t bits;\n    uint16_t length;\n};\n\n"
                 "// Terminating codes 0-63 and make-up codes 64-1728 (index run / 64 - 1).\n"
                 "extern const MhCode kMhWhiteTerm[64];\nextern const MhCode kMhWhiteMakeup[27];\n"
                 "extern const MhCode kMhBlackTerm[64];\nextern const MhCode kMhBlackMakeup[27];\n\n"
                 "// Decoder entries: bits 0-3 code length, bits 4-15 run length or a marker.\n"
                 "enum : uint16_t {\n    MHT_SEVEN_ZEROS = 0x%03X, // seven zero bits: an EOL or damage\n"
                 "    MHT_INVALID = 0x%03X,     // never produced: the code sets are complete\n};\n\n"
                 "// White: indexed by the next 9 bits; black: by the next 13 bits.\n"
                 "extern const uint16_t kMhWhiteDecode[512];\nextern const uint16_t kMhBlackDecode[8192];\n\n"
                 "#endif\n",
                 kSevenZeros, kInvalid);
    std::fclose(h);

    FILE *c = std::fopen(cpath.c_str(), "wb");
    if (!c)
        Fail("cannot write", cpath.c_str());
    std::fprintf(c, "// Generated by tools/mhtables/mhtables_gen.cpp; do not edit.\n"
                    "#include \"common/mhtables.h\"\n\n");
    EmitCodes(c, "kMhWhiteTerm", kWhite, 0, 64);
    EmitCodes(c, "kMhWhiteMakeup", kWhite, 64, 91);
    EmitCodes(c, "kMhBlackTerm", kBlack, 0, 64);
    EmitCodes(c, "kMhBlackMakeup", kBlack, 64, 91);
    EmitTable(c, "kMhWhiteDecode", white);
    EmitTable(c, "kMhBlackDecode", black);
    std::fclose(c);
    return 0;
}
