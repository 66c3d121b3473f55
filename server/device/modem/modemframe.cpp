// Page data framing between the driver and the modem: DLE shielding of
// sent data, line padding, and the reader that turns the shielded receive
// stream back into page data.
#include <cstring>

#include "server/device/modem/modem.h"
#include "server/runtime/srvlog.h"

enum : unsigned char { DLE = 0x10, ETX = 0x03, SUB = 0x1A };

// The 256 byte values with their bit order reversed, built at compile time.
struct ReverseTable {
    unsigned char v[256];
    constexpr ReverseTable() : v()
    {
        for (int i = 0; i < 256; ++i) {
            int r = 0;
            for (int b = 0; b < 8; ++b)
                if (i & (1 << b))
                    r |= 0x80 >> b;
            v[i] = static_cast<unsigned char>(r);
        }
    }
};
static constexpr ReverseTable kReverse;
const unsigned char *const g_bitReverse = kReverse.v;

size_t DleStuff(const unsigned char *src, size_t len, unsigned char *out, size_t outSize, size_t *used)
{
    size_t o = 0, i = 0;
    for (; i < len; ++i) {
        size_t need = src[i] == DLE ? 2 : 1;
        if (o + need > outSize)
            break;
        out[o++] = src[i];
        if (src[i] == DLE)
            out[o++] = DLE;
    }
    if (used)
        *used = i;
    return o;
}

size_t PadLine(const unsigned char *line, size_t len, size_t minLen, unsigned char *out, size_t outSize)
{
    size_t n = len < outSize ? len : outSize;
    std::memcpy(out, line, n);
    while (n < minLen && n < outSize)
        out[n++] = 0;
    return n;
}

void RxReaderReset(RxReader *r, int class20, int acceptTones, char endChar)
{
    std::memset(r, 0, sizeof *r);
    r->class20 = class20;
    r->acceptTones = acceptTones;
    r->endChar = endChar;
}

static int IsToneChar(unsigned char c)
{
    return (c >= '0' && c <= '9') || c == '*' || c == '#' || (c >= 'A' && c <= 'D');
}

static void Put(unsigned char c, unsigned char *out, size_t *outLen, size_t outSize)
{
    if (*outLen < outSize)
        out[(*outLen)++] = c;
}

int RxReaderFeed(RxReader *r, unsigned char c, unsigned char *out, size_t *outLen, size_t outSize)
{
    if (r->ended)
        return 1;
    if (r->inDle) {
        r->inDle = 0;
        r->nulRun = 0;
        if (c == ETX) {
            r->ended = 1;
            return 1;
        }
        if (c == DLE) {
            Put(DLE, out, outLen, outSize);
        } else if (c == SUB && r->class20) {
            Put(DLE, out, outLen, outSize);
            Put(DLE, out, outLen, outSize);
        } else if (r->acceptTones && IsToneChar(c)) {
            if (static_cast<char>(c) == r->endChar) {
                r->toneEnd = 1;
            } else if (!r->toneEnd) {
                size_t n = std::strlen(g_call.dtmf);
                if (n >= MODEM_DTMF_MAX) {
                    LogMessage(4, "Allowed number of DTMF tones exceeded (2)");
                } else {
                    g_call.dtmf[n] = static_cast<char>(c);
                    g_call.dtmf[n + 1] = 0;
                }
            }
        } else {
            LogMessage(2, "Ignoring pair DLE <0x%X>", c);
        }
        return 0;
    }
    if (c == DLE) {
        r->inDle = 1;
        return 0;
    }
    if (c == 0) {
        ++r->nulRun;
        if (r->nulRun > 10000 && !r->tooManyNuls) {
            r->tooManyNuls = 1;
            LogMessage(4, "Incoming fax data contains too many NULL bytes");
        }
        if (r->nulRun > 2)
            return 0;
    } else {
        r->nulRun = 0;
    }
    Put(c, out, outLen, outSize);
    return 0;
}

size_t FilterFirstBlock(const unsigned char *data, size_t len)
{
    size_t skip = 0;
    if (len >= 4 && data[2] == 0xFF && data[3] == 0xFF)
        skip = 4;
    while (skip < len && data[skip] == 0xFF)
        ++skip;
    return skip;
}

uint16_t MinLineLength(int32_t scanMs, uint16_t bitRate)
{
    if (scanMs <= 0)
        return 0;
    uint32_t bits = static_cast<uint32_t>(scanMs) * (bitRate ? bitRate : 9600u);
    return static_cast<uint16_t>((bits + 7999u) / 8000u);
}
