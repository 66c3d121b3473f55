// The fax line sender over arbitrary coded data cut into arbitrary blocks:
// every line handed on stays within the line buffer, carries data, and the
// bytes handed on are the input less fill only.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "server/device/lowerlayer.h"

static size_t s_out;
static uint16_t s_lineLength;

static uint16_t Capture(const unsigned char *line, uint16_t length, uint16_t kind)
{
    if (length > s_lineLength)
        std::abort();
    if (kind != DEV_BLOCK_IN_PAGE && kind != DEV_BLOCK_PAGE_END && kind != DEV_BLOCK_LAST_PAGE_END)
        std::abort();
    for (uint16_t i = 0; i < length; ++i)
        s_out += line[i] != 0; // non-zero bytes are never dropped
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    s_lineLength = static_cast<uint16_t>(16 + data[0] * 4); // 16..1036, capped to 1024
    if (s_lineLength > 1024)
        s_lineLength = 1024;
    size_t cut = 1 + data[1] % 64;
    data += 2;
    size -= 2;
    FaxLineSetup setup{};
    setup.SendDataFrame = Capture;
    setup.lineByLine = 1;
    setup.lineLength = s_lineLength;
    FaxSetLineSetup(&setup);
    s_out = 0;
    size_t in = 0;
    for (size_t i = 0; i < size; ++i)
        in += data[i] != 0;
    for (size_t i = 0; i < size; i += cut) {
        size_t n = size - i < cut ? size - i : cut;
        uint16_t kind = i + n >= size ? DEV_BLOCK_LAST_PAGE_END : DEV_BLOCK_IN_PAGE;
        if (FaxSendDataBlock(data + i, static_cast<uint16_t>(n), kind) != 0)
            std::abort();
    }
    if (size == 0)
        FaxSendDataBlock(data, 0, DEV_BLOCK_LAST_PAGE_END);
    if (s_out != in)
        std::abort();
    FaxSetLineSetup(nullptr);
    return 0;
}
