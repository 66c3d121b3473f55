// Fuzz target: raw Modified Huffman data through the table-driven decoder,
// compared line by line with the bit-at-a-time reference decoder, and the
// same data read through a stream window of the decoder. The first bytes
// choose the width, the line count and the access pattern.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "common/mhdecode.h"
#include "tests/support/mhtestutil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5 || size > (1u << 18))
        return 0;
    uint16_t width = static_cast<uint16_t>((data[0] | (data[1] << 8)) % 2049);
    uint16_t lines = static_cast<uint16_t>(data[2] % 200);
    uint8_t pattern = data[3];
    const uint8_t* coded = data + 4;
    uint32_t n = static_cast<uint32_t>(size - 4);

    static MhDecoder fast;
    static mht::RefDecoder ref;
    MhInitDecoderMem(&fast, coded, n, width, lines);
    ref.Init(coded, n, width, lines);
    static uint8_t r1[2049 / 8 + 1], r2[2049 / 8 + 1];
    std::memset(r1, 0, sizeof r1);
    std::memset(r2, 0, sizeof r2);
    size_t rowBytes = (width + 7u) / 8u;
    for (int k = 0; k < 64; ++k) {
        int32_t line = (pattern >> (k % 8)) & 1 ? static_cast<int32_t>((k * 7 + pattern) % (lines + 2)) : -1;
        int a = DecodeFaxLine(&fast, line, r1, sizeof r1);
        int b = ref.Decode(line, r2);
        if (a != b || std::memcmp(r1, r2, rowBytes) != 0 || fast.current != ref.current)
            std::abort();
    }

    // The stream window gives the same lines.
    static std::string path = "/tmp/mhdecode_fuzz_" + std::to_string(getpid());
    FILE* f = std::fopen(path.c_str(), "w+b");
    if (!f)
        return 0;
    std::remove(path.c_str());
    std::fwrite(data, 1, size, f);
    std::fflush(f);
    static MhDecoder str;
    MhInitDecoder(&str, f, 4, width, lines, SEEK_SET, pattern & 1 ? n : MH_TO_END);
    MhInitDecoderMem(&fast, coded, n, width, lines);
    for (uint32_t y = 0; y < lines; ++y) {
        int a = DecodeFaxLine(&fast, -1, r1, sizeof r1);
        int b = DecodeFaxLine(&str, -1, r2, sizeof r2);
        if (a != b || std::memcmp(r1, r2, rowBytes) != 0)
            std::abort();
    }
    std::fclose(f);
    return 0;
}
