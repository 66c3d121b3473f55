// The AT command dialogue over the serial port: open and line settings,
// writes with the input purged, reads through a small cache, reply lines,
// and the command/reply loop with its retries.
#include <cstring>

#include "server/device/modem/modem.h"
#include "server/runtime/rtclock.h"
#include "server/runtime/srvlog.h"

enum : unsigned char { XON = 0x11, XOFF = 0x13, DLE = 0x10 };
enum { CACHE_SIZE = 1000, REPLY_LINE_SIZE = 300 };

static const ModemPort *s_port;
static int s_open;
static int s_lastOpenOk = 1;
static uint32_t s_speed;
static unsigned char s_cache[CACHE_SIZE];
static uint32_t s_cachePos, s_cacheLeft;
static int s_linesWarned;

void CommsTrace(char direction, const unsigned char *data, size_t len, int pageData)
{
    FILE *f = DevGetOptions()->commsLog;
    if (!f)
        return;
    RtTime t;
    RtLocalTime(&t);
    char text[200];
    size_t n = 0;
    if (pageData) {
        n = static_cast<size_t>(std::snprintf(text, sizeof text, "[page data %u bytes]", static_cast<unsigned>(len)));
    } else {
        for (size_t i = 0; i < len && n + 5 < sizeof text; ++i) {
            unsigned char c = data[i];
            if (c == '\r' && i + 1 == len)
                break;
            if (c >= 0x20 && c < 0x7F)
                text[n++] = static_cast<char>(c);
            else
                n += static_cast<size_t>(std::snprintf(text + n, sizeof text - n, "\\x%02X", c));
        }
        text[n < sizeof text ? n : sizeof text - 1] = 0;
    }
    std::fprintf(f, "%02d:%02d:%02d %c %s\n", t.hour, t.minute, t.second, direction, text);
    std::fflush(f);
}

const ModemPort *ModemGetPort(void) { return s_port ? s_port : ModemPlatformPort(); }
void ModemSetPort(const ModemPort *port)
{
    s_port = port;
    s_open = 0;
    s_cacheLeft = s_cachePos = 0;
    s_lastOpenOk = 1;
    s_linesWarned = 0;
}

int CommsLevel(void) { return g_modem.logComms ? 5 : 2; }
void ModemSleep(uint32_t ms) { RtSleepMs(ms); }
uint32_t ModemPortSpeed(void) { return s_speed; }
int IsComPortOpen(void) { return s_open; }

uint16_t OpenComPort(void)
{
    if (s_open) {
        LogMessage(4, "COM port already open");
        return 0;
    }
    const DevOptions *o = DevGetOptions();
    char name[DEV_PORT_SIZE + 8];
    if (o->port[0] == '\\')
        std::snprintf(name, sizeof name, "%s", o->port);
    else
        std::snprintf(name, sizeof name, "\\\\.\\%s", o->port);
    uint32_t err = 0;
    uint16_t r = ModemGetPort()->open(name, &err);
    if (r == PORT_OK) {
        if (!s_lastOpenOk)
            LogMessage(3, "COM port opened OK");
        s_lastOpenOk = 1;
        s_open = 1;
        s_cacheLeft = s_cachePos = 0;
        return 0;
    }
    int first = s_lastOpenOk;
    s_lastOpenOk = 0;
    if (r == PORT_NOT_FOUND)
        LogMessage(first ? 5 : 2, "Port %s does not exist or is inaccessible", first ? o->port : "again");
    else if (r == PORT_IN_USE)
        LogMessage(first ? 4 : 2, "Port %s is %sin use by another program", o->port, first ? "" : "still ");
    else
        LogMessage(first ? 5 : 2, "Error 0x%X opening RS232 Port %s", static_cast<unsigned>(err),
                   first ? o->port : "again");
    return DEV_PORT_FAULT;
}

void CloseComPort(void)
{
    if (!s_open)
        return;
    LogMessage(2, "Closing COM port");
    uint32_t err = 0;
    if (!ModemGetPort()->close(&err))
        LogMessage(5, "Error 0x%X closing RS232 Port", static_cast<unsigned>(err));
    s_open = 0;
    s_cacheLeft = s_cachePos = 0;
}

uint16_t SetupRS232(uint32_t baud, uint32_t writeTimeoutMs)
{
    if (!s_open)
        return DEV_PORT_FAULT;
    LogMessage(2, "SetupRS232() - baud = %u, CTS timeout = %u ms", static_cast<unsigned>(baud),
               static_cast<unsigned>(writeTimeoutMs));
    uint32_t err = 0;
    int step = ModemGetPort()->setup(baud, !g_modem.ignoreCts, !g_modem.ignoreDsr, writeTimeoutMs != 0,
                                     g_modem.ignoreCts ? 0 : (writeTimeoutMs ? writeTimeoutMs : 1), &err);
    if (step) {
        static const char *const kText[] = {"", "Error 0x%X getting RS232 port parameters",
                                            "Error 0x%X getting RS232 port timeouts",
                                            "Error 0x%X setting RS232 port parameters"};
        LogMessage(5, kText[step > 3 ? 3 : step], static_cast<unsigned>(err));
        return DEV_PORT_FAULT;
    }
    s_speed = baud;
    return 0;
}

uint16_t FlushComPort(void)
{
    s_cacheLeft = s_cachePos = 0;
    if (!s_open)
        return 0;
    uint32_t err = 0, flags = 0;
    if (!ModemGetPort()->purge(1, 1, &err)) {
        LogMessage(5, "Error 0x%X flushing Comm port", static_cast<unsigned>(err));
        return DEV_PORT_FAULT;
    }
    ModemGetPort()->errors(&flags, &err);
    return 0;
}

uint16_t PurgeComOutput(void)
{
    if (!s_open)
        return 0;
    uint32_t err = 0;
    if (!ModemGetPort()->purge(0, 1, &err)) {
        LogMessage(5, "Error 0x%X flushing Comm port output", static_cast<unsigned>(err));
        return DEV_PORT_FAULT;
    }
    return 0;
}

uint16_t GetComErrors(uint32_t *flags)
{
    *flags = 0;
    if (!s_open)
        return 0;
    uint32_t err = 0;
    if (!ModemGetPort()->errors(flags, &err)) {
        LogMessage(5, "Error 0x%X getting RS232 errors", static_cast<unsigned>(err));
        return DEV_PORT_FAULT;
    }
    return 0;
}

void SetControlLines(int on)
{
    if (!s_open)
        return;
    LogMessage(2, on ? "Seting control signals" : "Clearing control signals");
    uint32_t err = 0;
    if (!ModemGetPort()->lines(on, &err) && !s_linesWarned) {
        // Some port drivers (and ptys) cannot change DTR and RTS: say so once
        // and rely on the escape sequence and ATH instead.
        s_linesWarned = 1;
        LogMessage(4, "Control signals cannot be changed on this port (0x%X) - continuing",
                   static_cast<unsigned>(err));
    }
}

uint16_t ComWrite(const unsigned char *data, uint32_t len, int purgeInput)
{
    if (!s_open)
        return DEV_PORT_FAULT;
    uint32_t err = 0, written = 0;
    if (purgeInput) {
        s_cacheLeft = s_cachePos = 0;
        ModemGetPort()->purge(1, 0, &err);
    }
    CommsTrace('>', data, len, 0);
    if (!ModemGetPort()->write(data, len, &written, &err)) {
        LogMessage(CommsLevel(), "Error writing to COM port (0x%X)", static_cast<unsigned>(err));
        return DEV_PORT_FAULT;
    }
    return written < len ? DEV_NOT_CONNECTED : 0;
}

uint16_t ReadComChar(unsigned char *c, int retry, int cacheMode)
{
    if (!s_open)
        return DEV_PORT_FAULT;
    for (int attempt = 0; attempt < (retry ? 4 : 1); ++attempt) {
        if (s_cacheLeft) {
            *c = s_cache[s_cachePos++];
            --s_cacheLeft;
            return 0;
        }
        uint32_t got = 0, err = 0;
        if (!ModemGetPort()->read(s_cache, cacheMode ? CACHE_SIZE : 1, &got, &err)) {
            LogMessage(CommsLevel(), "Error reading from COM port (0x%X)", static_cast<unsigned>(err));
            return DEV_PORT_FAULT;
        }
        if (got) {
            s_cachePos = 1;
            s_cacheLeft = got - 1;
            *c = s_cache[0];
            return 0;
        }
        if (retry && attempt < 3)
            ModemSleep(50);
    }
    return DEV_NO_REPLY;
}

uint16_t ReadReplyLine(char *buf, size_t size, int commandSent, int acceptXon)
{
    size_t cap = size < static_cast<size_t>(REPLY_LINE_SIZE) ? size : static_cast<size_t>(REPLY_LINE_SIZE);
    buf[0] = 0;
    unsigned char c = 0;
    int timeouts = 0;
    for (;;) {
        uint16_t r = ReadComChar(&c, commandSent, 0);
        if (r == DEV_NO_REPLY) {
            if (!commandSent || ++timeouts >= 3)
                return DEV_NO_REPLY;
            ModemSleep(500);
            continue;
        }
        if (r)
            return r;
        if (c == XOFF || (c == XON && !acceptXon)) {
            LogMessage(2, "received %s character ignored", c == XON ? "XON" : "XOFF");
            continue;
        }
        if (c == XON) {
            std::snprintf(buf, size, "<XON>");
            return 0;
        }
        if (c == DLE) {
            unsigned char next = 0;
            if (ReadComChar(&next, 1, 0) == 0)
                LogMessage(2, "Ignoring pair DLE <0x%X>", next);
            continue;
        }
        if (c == '\r' || c == '\n')
            continue;
        break;
    }
    size_t n = 0;
    buf[n++] = static_cast<char>(c);
    timeouts = 0;
    for (;;) {
        if (n + 1 >= cap) {
            buf[n] = 0;
            LogMessage(2, "Not all of Fax response recd (%d)", static_cast<int>(n));
            return DEV_CANNOT_COMMUNICATE;
        }
        uint16_t r = ReadComChar(&c, 0, 0);
        if (r == DEV_NO_REPLY) {
            if (++timeouts >= 3) {
                buf[n] = 0;
                LogMessage(2, "Not all of Fax response recd (%d)", static_cast<int>(n));
                return DEV_CANNOT_COMMUNICATE;
            }
            ModemSleep(50);
            continue;
        }
        if (r) {
            buf[n] = 0;
            return r;
        }
        if (c == XON || c == XOFF)
            continue;
        if (c == '\r' || c == '\n')
            break;
        buf[n++] = static_cast<char>(c);
    }
    buf[n] = 0;
    return 0;
}

uint16_t PollModemReply(const char *cmd, size_t cmdLen, char *reply, size_t replySize, int acceptXon)
{
    char shown[32];
    CommandLogText(cmd, cmdLen, shown, sizeof shown);
    int noRetry = cmd && StartsWithNoCase(cmd, "AT+F");
    uint16_t r = 0;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        if (cmd) {
            ModemSleep(g_modem.commandDelay);
            r = ComWrite(reinterpret_cast<const unsigned char *>(cmd), static_cast<uint32_t>(cmdLen), 1);
            if (r) {
                LogMessage(CommsLevel(), "Poll - %s, ERROR sending", shown);
                return r;
            }
        }
        if (!reply)
            return 0;
        r = ReadReplyLine(reply, replySize, cmd != nullptr, acceptXon);
        if (r == 0) {
            CommsTrace('<', reinterpret_cast<const unsigned char *>(reply), std::strlen(reply), 0);
            char name[80];
            ReplyLogName(reply, name, sizeof name);
            LogMessage(2, "Poll - %s, Reply - %s", shown, name);
            return 0;
        }
        if (r != DEV_NO_REPLY && r != DEV_CANNOT_COMMUNICATE) {
            LogMessage(CommsLevel(), "Error %s receiving from modem", DeviceErrorText(r));
            return r;
        }
        if (!cmd)
            return r;
        uint16_t state = DevCurrentState();
        if (attempt == 3 || state == DEV_STATE_ERROR || state == DEV_STATE_FAILED) {
            LogMessage(CommsLevel(), "Error %s sending to fax m/c - giving up", DeviceErrorText(r));
            return r;
        }
        if (r == DEV_CANNOT_COMMUNICATE) {
            uint32_t flags = 0;
            GetComErrors(&flags);
            if (flags)
                LogMessage(4, "Characters lost on fax reply (0x%X)", static_cast<unsigned>(flags));
            if (noRetry) {
                LogMessage(CommsLevel(), "H/W error on %s poll - no retry (%d)", shown, attempt);
                return r;
            }
        } else {
            if (noRetry) {
                LogMessage(CommsLevel(), "No reply on %s poll - no retry", shown);
                return r;
            }
            LogMessage(CommsLevel(), "No reply on %s poll - retrying", shown);
        }
    }
    return r;
}

uint16_t SendModemCommand(const char *cmd, char *reply, size_t replySize)
{
    uint16_t r;
    if (!cmd) {
        r = PollModemReply(nullptr, 0, reply, replySize, 0);
    } else {
        char line[MODEM_BASE_INIT_SIZE + 8];
        int n = std::snprintf(line, sizeof line, "AT%s\r", cmd);
        if (n < 0 || static_cast<size_t>(n) >= sizeof line)
            return DEV_INVALID_PARAMETER;
        r = PollModemReply(line, static_cast<size_t>(n), reply, replySize, 0);
    }
    if (r == 0 && reply && (reply[0] == 'O' || reply[0] == 'o') && (reply[1] == 'K' || reply[1] == 'k') &&
        reply[2] == 0)
        std::snprintf(reply, replySize, "%s", ReplyEntry(RS_OK));
    return r;
}

uint16_t ModemCommandParsed(const char *cmd, int errorOk)
{
    char reply[REPLY_LINE_SIZE];
    uint16_t r = SendModemCommand(cmd, reply, sizeof reply);
    // Information lines come before the final reply: read on (bounded).
    for (int lines = 0; r == 0 && lines < 20; ++lines) {
        uint16_t p = ParseModemReply(reply, DevCurrentState());
        if (p == 9 && errorOk)
            return 0;
        if (p != 12)
            return p;
        r = SendModemCommand(nullptr, reply, sizeof reply);
    }
    return r ? r : static_cast<uint16_t>(DEV_CANNOT_COMMUNICATE);
}
