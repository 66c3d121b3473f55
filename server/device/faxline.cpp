// The line sender shared by the fax drivers: coded page data (T.4 MH,
// least significant bit first) is cut into lines so that every line sent
// starts with its EOL, and fill is trimmed from the line ends.
#include <cstring>

#include "server/device/lowerlayer.h"
#include "server/runtime/srvlog.h"

enum { FAX_LINE_MAX = 1024, EOL_ZEROS = 11 };

static FaxLineSetup s_setup;
static unsigned char s_line[FAX_LINE_MAX];
static uint16_t s_lineLen;      // bytes gathered for the current line
static uint32_t s_zeroRun;      // zero bits seen since the last one bit
static int s_haveSetup;

void FaxSetLineSetup(const FaxLineSetup *setup)
{
    if (setup) {
        s_setup = *setup;
        if (s_setup.lineLength == 0 || s_setup.lineLength > FAX_LINE_MAX)
            s_setup.lineLength = FAX_LINE_MAX;
        if (s_setup.endSequenceLength > sizeof s_setup.endSequence)
            s_setup.endSequenceLength = sizeof s_setup.endSequence;
        s_haveSetup = 1;
    } else {
        std::memset(&s_setup, 0, sizeof s_setup);
        s_haveSetup = 0;
    }
    s_lineLen = 0;
    s_zeroRun = 0;
}

// Length of a line once its fill is trimmed: trailing zero bytes go, but the
// first zero byte after the last non-zero one stays (a code may end in up to
// seven zero bits that belong to it), and at least 3 bytes stay.
static uint16_t TrimmedLength(const unsigned char *line, uint16_t len)
{
    uint16_t n = len;
    while (n > 3 && line[n - 1] == 0 && line[n - 2] == 0)
        --n;
    return n;
}

static uint16_t SendLine(const unsigned char *line, uint16_t len, uint16_t kind)
{
    uint16_t r = s_setup.SendDataFrame(line, len, kind);
    if (r)
        LogMessage(5, "Error sending line to fax");
    return r;
}

// Sends the first cut bytes of the line buffer as a line and keeps the rest.
static uint16_t FlushLine(uint16_t cut)
{
    uint16_t r = 0;
    int data = 0;
    for (uint16_t i = 0; i < cut && !data; ++i)
        data = s_line[i] != 0;
    if (data) // a piece of fill alone before an EOL is no line
        r = SendLine(s_line, TrimmedLength(s_line, cut), DEV_BLOCK_IN_PAGE);
    std::memmove(s_line, s_line + cut, s_lineLen - cut);
    s_lineLen = static_cast<uint16_t>(s_lineLen - cut);
    return r;
}

uint16_t FaxSendDataBlock(const unsigned char *data, uint16_t length, uint16_t kind)
{
    if (!s_haveSetup || !s_setup.SendDataFrame)
        return DEV_SOFTWARE_FAULT;
    if (!data || (length == 0 && kind == DEV_BLOCK_IN_PAGE)) {
        s_lineLen = 0;
        s_zeroRun = 0;
        return 0;
    }
    if (!s_setup.lineByLine || (kind != DEV_BLOCK_IN_PAGE && kind != DEV_BLOCK_PAGE_END &&
                                kind != DEV_BLOCK_LAST_PAGE_END))
        return SendLine(data, length, kind);

    for (uint16_t i = 0; i < length; ++i) {
        unsigned char b = data[i];
        if (s_lineLen >= s_setup.lineLength) {
            uint16_t r = FlushLine(s_lineLen);
            if (r)
                return r;
        }
        s_line[s_lineLen++] = b;
        for (int bit = 0; bit < 8; ++bit) {
            if (((b >> bit) & 1) == 0) {
                if (s_zeroRun < 0xFFFFu)
                    ++s_zeroRun;
                continue;
            }
            if (s_zeroRun >= EOL_ZEROS) {
                // An EOL ends here: its first zero bit lies 11 bits back.
                int32_t bitPos = static_cast<int32_t>(s_lineLen - 1) * 8 + bit - EOL_ZEROS;
                uint16_t cut = bitPos > 0 ? static_cast<uint16_t>(bitPos / 8) : 0;
                if (cut > 0) {
                    uint16_t r = FlushLine(cut);
                    if (r)
                        return r;
                }
            }
            s_zeroRun = 0;
        }
    }
    if (kind == DEV_BLOCK_IN_PAGE)
        return 0;

    // Page or document end: the kept line, then the driver's end sequence.
    uint16_t r;
    if (s_setup.endSequenceLength) {
        if (s_lineLen) {
            r = SendLine(s_line, TrimmedLength(s_line, s_lineLen), DEV_BLOCK_IN_PAGE);
            if (r)
                return r;
        }
        r = SendLine(s_setup.endSequence, s_setup.endSequenceLength, kind);
    } else {
        r = SendLine(s_line, s_lineLen ? TrimmedLength(s_line, s_lineLen) : 0, kind);
    }
    s_lineLen = 0;
    s_zeroRun = 0;
    return r;
}
