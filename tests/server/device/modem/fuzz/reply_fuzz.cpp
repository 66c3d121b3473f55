// Fuzz target: modem reply lines and receive data as a calling fax machine
// could shape them. The first byte picks reply set, class, model and state;
// the rest is cut into lines for the parser and also fed through the
// receive data reader.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "server/device/modem/modem.h"
#include "server/runtime/srvlog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static FILE *quiet = std::tmpfile();
    static int ready = 0;
    if (!ready) {
        LogInit(quiet, "", 6, "FUZZ");
        ready = 1;
    }
    if (size == 0)
        return 0;
    uint8_t mode = data[0];
    ModemSetDefaults(&g_modem, 9600);
    g_modem.shortReplies = mode & 1;
    g_modem.class20 = (mode >> 1) & 1;
    g_modem.extendedRing = (mode >> 2) & 1;
    g_modem.isdnRing = (mode >> 3) & 1;
    g_modem.ignorePageErrors = (mode >> 4) & 1;
    uint16_t state = static_cast<uint16_t>(1 + (mode >> 5) % 12);
    std::memset(&g_call, 0, sizeof g_call);
    ModemClearCallData();

    char line[301];
    size_t n = 0;
    for (size_t i = 1; i <= size; ++i) {
        if (i == size || data[i] == '\r' || data[i] == '\n' || n == sizeof line - 1) {
            line[n] = 0;
            ParseModemReply(line, state);
            ParsePageStatusNumber(line, state);
            char name[100];
            ReplyLogName(line, name, sizeof name);
            n = 0;
            continue;
        }
        line[n++] = data[i] ? static_cast<char>(data[i]) : ' ';
    }
    if (std::strlen(g_call.remoteId) >= sizeof g_call.remoteId || std::strlen(g_call.dtmf) > MODEM_DTMF_MAX ||
        std::strlen(g_call.cli) >= sizeof g_call.cli || std::strlen(g_call.subAddr) >= sizeof g_call.subAddr)
        __builtin_trap();

    RxReader r;
    RxReaderReset(&r, g_modem.class20, mode & 0x40, '#');
    unsigned char out[64];
    size_t outLen = 0;
    for (size_t i = 1; i < size; ++i) {
        if (RxReaderFeed(&r, data[i], out, &outLen, sizeof out))
            break;
        if (outLen > sizeof out)
            __builtin_trap();
        if (outLen >= sizeof out - 2)
            outLen = 0;
    }
    FilterFirstBlock(data + 1, size - 1);

    char number[80], id[32], sub[32], cls[4];
    size_t k = size - 1 < sizeof number - 1 ? size - 1 : sizeof number - 1;
    for (size_t i = 0; i < k; ++i)
        number[i] = data[1 + i] ? static_cast<char>(data[1 + i]) : '1';
    number[k] = 0;
    ComposeLocalId(number, "*", number, id, sizeof id, sub, sizeof sub);
    ParseClassList(number, cls, sizeof cls);
    ComposeDialCommand(1, "", number, "", line, sizeof line);
    return 0;
}
