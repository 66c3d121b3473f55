// Modem replies: the two reply sets, the parser, and what the replies of a
// call carry (capabilities, station IDs, sub-address, DTMF, calling number,
// hang-up codes). The calling fax controls much of this text, so every
// value is checked and bounded before it is kept.
#include <cstdlib>
#include <cstring>

#include "server/device/modem/modem.h"
#include "server/runtime/srvlog.h"

ModemCallData g_call;

static const char *const kShort[RS_COUNT] = {
    "0",  "1",  "2",  "RING", "3",  "4",  "5",  "6",  "7",  "8",  "9",  "10", "11", "12",   "14",   "22",  "23",
    "24", "32", "46", "47",   "48", "49", "50", "51", "52", "53", "54", "55", "RING:", "102:", "120:", "TO:", "FM:",
};
static const char *const kFull[RS_COUNT] = {
    "OK", "CONNECT", "RING", "RING", "NO CARRIER", "ERROR", "CONNECT 1200", "NO DIAL TONE", "BUSY", "NO ANSWER",
    "CONNECT 600", "CONNECT 2400", "CONNECT 4800", "CONNECT 9600", "CONNECT 19200", "CONNECT 75TX/1200RX",
    "CONNECT 1200TX/75RX", "DELAYED", "BLACKLISTED", "CONNECT 2400 FAX", "CONNECT 4800 FAX", "CONNECT 7200 FAX",
    "CONNECT 9600 FAX", "CONNECT 19200 FAX", "CONNECT 2400 ECM FAX", "CONNECT 4800 ECM FAX",
    "CONNECT 7200 ECM FAX", "CONNECT 9600 ECM FAX", "CONNECT 19200 ECM FAX", "RING:", "RING:", "CLEARED:", "TO:",
    "FM:",
};

const char *ReplyEntry(int index)
{
    if (index < 0 || index >= RS_COUNT)
        return "";
    return g_modem.shortReplies ? kShort[index] : kFull[index];
}

static const char *const kWords[MW_COUNT][2] = {
    {"+FDCS:", "+FCS:"}, {"+FDIS:", "+FIS:"}, {"+FTSI:", "+FTI:"}, {"+FCSI:", "+FCI:"},
    {"+FPTS:", "+FPS:"}, {"+FHNG:", "+FHS:"}, {"+FCON", "+FCO"},  {"+FDIS=", "+FIS="},
    {"+FDCC=", "+FCC="}, {"+FLID=", "+FLI="}, {"+FBOR=0", "+FBO=0"}, {"+FPHCTO=100", "+FCT=10"},
    {"+FMFR?", "+FMI?"},
};

const char *ModemWordText(ModemWord w) { return kWords[w][g_modem.class20 ? 1 : 0]; }

// ---------------------------------------------------------------- small helpers
static char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

int StartsWithNoCase(const char *s, const char *prefix)
{
    for (; *prefix; ++s, ++prefix)
        if (UpperAscii(*s) != UpperAscii(*prefix))
            return 0;
    return 1;
}

static int EqualsNoCase(const char *a, const char *b)
{
    for (; *a && *b; ++a, ++b)
        if (UpperAscii(*a) != UpperAscii(*b))
            return 0;
    return *a == *b;
}

static int StartsWith(const char *s, const char *prefix) { return std::strncmp(s, prefix, std::strlen(prefix)) == 0; }

static int IsEntry(const char *line, int index) { return std::strcmp(line, ReplyEntry(index)) == 0; }
static int HasEntryPrefix(const char *line, int index) { return StartsWith(line, ReplyEntry(index)); }

int IsOkReply(const char *line) { return IsEntry(line, RS_OK) || EqualsNoCase(line, "OK"); }

int IsConnectReply(const char *line)
{
    if (EqualsNoCase(line, "CONNECT") || IsEntry(line, RS_CONNECT))
        return 1;
    for (int i = 19; i <= 28; ++i)
        if (IsEntry(line, i))
            return 1;
    return 0;
}

int IsFaxConnect(const char *line) { return std::strcmp(line, ModemWordText(MW_FAX_CONNECT)) == 0; }

// Position of the hang-up word at the line's start or after a space; null when absent.
static const char *FindHangupWord(const char *line)
{
    const char *w = ModemWordText(MW_HANGUP);
    size_t n = std::strlen(w);
    for (const char *p = line; (p = std::strstr(p, w)) != nullptr; ++p)
        if (p == line || p[-1] == ' ')
            return p + n;
    return nullptr;
}

int HasHangupWord(const char *line) { return FindHangupWord(line) != nullptr; }

static int IsRing(const char *line)
{
    // A numeric ring is the whole reply "2"; word rings are prefixes.
    if (g_modem.shortReplies && IsEntry(line, RS_RING))
        return 1;
    if (StartsWith(line, "RING"))
        return 1;
    return HasEntryPrefix(line, RS_RING_EXT) || HasEntryPrefix(line, RS_RING_EXT2);
}

static void CopyBounded(char *dst, size_t size, const char *src, size_t maxChars)
{
    size_t n = 0;
    while (src[n] && n + 1 < size && n < maxChars) {
        dst[n] = src[n];
        ++n;
    }
    dst[n] = 0;
}

void ModemClearCallData(void)
{
    g_call.remoteId[0] = 0;
    g_call.remoteFormat[0] = 0;
    g_call.scanNormal = g_call.scanFine = -1;
    g_call.bitRate = 0;
    g_call.pageStatus = 0;
}

void ModemClearRouting(void)
{
    g_call.dtmf[0] = 0;
    g_call.cli[0] = 0;
    g_call.subAddr[0] = 0;
    DevClearRouting();
}

static void SetFailure(uint16_t code)
{
    g_call.failureCode = code;
    DevSetFailureCode(code);
}

// ---------------------------------------------------------------- decoders
// Reads a decimal number of at most 5 digits after blanks; -1 when none.
static long ReadDecimal(const char *p, const char **end)
{
    while (*p == ' ')
        ++p;
    long n = 0;
    int digits = 0;
    while (*p >= '0' && *p <= '9') {
        if (digits < 6)
            n = n * 10 + (*p - '0');
        ++digits;
        ++p;
    }
    if (end)
        *end = p;
    return digits && digits <= 5 ? n : -1;
}

static const int32_t kScanNormal[8] = {0, 5, 10, 10, 20, 20, 40, 40};
static const int32_t kScanFine[8] = {0, 5, 5, 10, 10, 20, 20, 40};
static const uint16_t kBitRates[6] = {2400, 4800, 7200, 9600, 12000, 14400};

// A capability line: 8 comma-separated decimals after the colon (a ninth
// field of later modems is ignored). 1 when it was taken.
static int DecodeCapability(const char *line)
{
    const char *colon = std::strchr(line, ':');
    if (!colon) {
        LogMessage(5, "Invalid Remote capability response (1)");
        return 0;
    }
    const char *p = colon + 1;
    if (std::strlen(p) >= 20) {
        LogMessage(5, "Invalid Remote capability response (2)");
        return 0;
    }
    long v[8];
    for (int i = 0; i < 8; ++i) {
        const char *end = nullptr;
        v[i] = ReadDecimal(p, &end);
        if (v[i] < 0 || (i < 7 && *end != ',') || (i == 7 && *end && *end != ',' && *end != ' ')) {
            LogMessage(5, "Invalid Remote capability response (3)");
            return 0;
        }
        p = end + 1;
    }
    if (v[0] != 0 && v[0] != 1) {
        LogMessage(5, "Invalid Remote capability response (4)");
        return 0;
    }
    if (v[7] > 7 || v[1] > 5) {
        LogMessage(5, "Invalid Remote capability response (3)");
        return 0;
    }
    CopyBounded(g_call.remoteFormat, sizeof g_call.remoteFormat, v[0] ? "G3F" : "G3N", 3);
    LogMessage(2, "Remote format = '%s'", g_call.remoteFormat);
    g_call.scanNormal = kScanNormal[v[7]];
    g_call.scanFine = kScanFine[v[7]];
    g_call.bitRate = kBitRates[v[1]];
    LogMessage(2, "Remote scan times are %d, %d", static_cast<int>(g_call.scanNormal),
               static_cast<int>(g_call.scanFine));
    return 1;
}

// The text after the first colon, without surrounding blanks and quotes,
// at most maxChars characters; characters outside printable ASCII become
// spaces (logged when asked).
static void TrimmedField(const char *line, char *out, size_t size, size_t maxChars, int logBad)
{
    const char *p = std::strchr(line, ':');
    p = p ? p + 1 : line;
    while (*p == ' ' || *p == '"')
        ++p;
    size_t len = std::strlen(p);
    while (len > 0 && (p[len - 1] == ' ' || p[len - 1] == '"'))
        --len;
    size_t n = 0;
    for (size_t i = 0; i < len && n + 1 < size && n < maxChars; ++i) {
        unsigned char c = static_cast<unsigned char>(p[i]);
        if (c < 0x20 || c > 0x7E) {
            if (logBad)
                LogMessage(4, "Invalid character 0x%X in remote CSID", c);
            c = ' ';
        }
        out[n++] = static_cast<char>(c);
    }
    out[n] = 0;
}

static void DecodeStationId(const char *line)
{
    TrimmedField(line, g_call.remoteId, sizeof g_call.remoteId, MODEM_ID_SIZE - 1, 1);
    LogMessage(2, "Remote   CSID = '%s'", g_call.remoteId);
}

static void DecodeSubAddress(const char *line)
{
    char sub[MODEM_SUBADDR_SIZE];
    TrimmedField(line, sub, sizeof sub, MODEM_SUBADDR_SIZE - 1, 0);
    CopyBounded(g_call.subAddr, sizeof g_call.subAddr, sub, MODEM_SUBADDR_SIZE - 1);
    LogMessage(2, "Received sub-address = '%s'", g_call.subAddr);
    DevSetRoutingSubAddr(g_call.subAddr);
}

static int IsDtmfDigit(char c)
{
    return (c >= '0' && c <= '9') || c == '*' || c == '#' || (c >= 'A' && c <= 'D');
}

// Copies a field of digits and dial characters, stopping at the first other
// character, at most maxChars.
static void CopyDialField(const char *p, char *out, size_t size, size_t maxChars)
{
    size_t n = 0;
    while (*p == ' ')
        ++p;
    while (*p && *p != ',' && *p != '/' && *p != ' ' && n + 1 < size && n < maxChars) {
        if (IsDtmfDigit(*p) || *p == '+')
            out[n++] = *p;
        ++p;
    }
    out[n] = 0;
}

static void RingDecoder(const char *line, int isExtended)
{
    if (g_modem.extendedRing && isExtended) {
        LogMessage(2, "Extended ring detected");
        g_call.dtmf[0] = 0;
        g_call.cli[0] = 0;
        const char *p = std::strchr(line, ':');
        p = p ? p + 1 : line;
        for (int field = 1; p && field <= 7; ++field) {
            while (*p == ' ')
                ++p;
            if (field == 3) {
                CopyDialField(p, g_call.cli, sizeof g_call.cli, MODEM_CLI_SIZE - 1);
                LogMessage(2, "Calling number detected - \"%s\"", g_call.cli);
            } else if (field == 7) {
                CopyDialField(p, g_call.dtmf, sizeof g_call.dtmf, 60);
                LogMessage(2, "DDI digits detected - \"%s\"", g_call.dtmf);
            }
            p = std::strchr(p, ',');
            if (p)
                ++p;
        }
        return;
    }
    if (g_modem.isdnRing) {
        for (const char *p = line; *p; ++p) {
            if (p != line && p[-1] != ' ')
                continue;
            if (std::strncmp(p, "FM:", 3) == 0)
                CopyDialField(p + 3, g_call.cli, sizeof g_call.cli, MODEM_CLI_SIZE - 1);
            else if (std::strncmp(p, "TO:", 3) == 0)
                CopyDialField(p + 3, g_call.dtmf, sizeof g_call.dtmf, 20);
        }
    }
}

// Hang-up code as hexadecimal (Class 2 decimal digits read the same way put
// both classes on one scale); -1 when none or absurd.
static long ReadHangupCode(const char *p)
{
    while (*p == ' ')
        ++p;
    long n = 0;
    int digits = 0;
    for (;; ++p) {
        int d;
        if (*p >= '0' && *p <= '9')
            d = *p - '0';
        else if (*p >= 'A' && *p <= 'F')
            d = *p - 'A' + 10;
        else if (*p >= 'a' && *p <= 'f')
            d = *p - 'a' + 10;
        else
            break;
        if (++digits > 4)
            return -1;
        n = n * 16 + d;
    }
    return digits ? n : -1;
}

static uint16_t HangupResult(long code)
{
    int x = static_cast<int>(code);
    if (code == 0)
        return 12;
    if (code == 1)
        LogMessage(5, "No reply from remote fax on incoming call");
    else if (code == 2)
        LogMessage(5, "Call aborted");
    else if (code <= 0x0F)
        LogMessage(5, "Error connecting (%x)", x);
    else if (code <= 0x1F) {
        LogMessage(5, "No reply from remote fax (%x)", x);
        SetFailure(0xF10B);
    } else if (code <= 0x3F)
        LogMessage(5, "Unable to communicate with remote fax (%x)", x);
    else if (code == 0x43)
        LogMessage(5, "Timeout sending to remote fax (%x)", x);
    else if (code <= 0x4F)
        LogMessage(5, "Error sending to remote fax (%x)", x);
    else if (code <= 0x6F)
        LogMessage(5, "No reply from remote fax (%x)", x);
    else if (code <= 0x8F)
        LogMessage(5, "Timeout receiving from remote fax (%x)", x);
    else if (code <= 0x9F)
        LogMessage(5, "Error receiving from remote fax (%x)", x);
    else if (code <= 0xBF || (code >= 0x100 && code <= 0x119))
        LogMessage(5, "No reply from remote fax (%x)", x);
    else
        LogMessage(5, "Error communicating with remote fax (%x)", x);
    return 20;
}

static uint16_t PageStatusResult(const char *after)
{
    const char *end = nullptr;
    long s = ReadDecimal(after, &end);
    if (s < 0) {
        LogMessage(5, "Invalid page status response from device");
        return 20;
    }
    g_call.pageStatus = static_cast<uint16_t>(s > 0xFFFF ? 0xFFFF : s);
    if (s == 1 || s == 3)
        return 12;
    if (s == 0) {
        LogMessage(4, "Some page errors reported by remote fax");
        return 12;
    }
    if (s == 4 || s == 5) {
        LogMessage(5, "Interrupt requested by remote fax (%d)", static_cast<int>(s));
        return 20;
    }
    if (!g_modem.ignorePageErrors) {
        LogMessage(5, "Page errors reported by remote fax (%d)", static_cast<int>(s));
        return 20;
    }
    LogMessage(4, "Page errors reported by remote fax (%d)", static_cast<int>(s));
    return 12;
}

static int InCallSetup(uint16_t state) { return state == DEV_STATE_WAIT_CONNECT || state == DEV_STATE_CALL_RECEIVED; }

uint16_t ParseModemReply(const char *line, uint16_t state)
{
    // 1. Final good replies.
    if (IsEntry(line, RS_OK) || IsEntry(line, RS_CONNECT))
        return 0;
    // 2. Rings.
    if (IsRing(line)) {
        RingDecoder(line, HasEntryPrefix(line, RS_RING_EXT) || HasEntryPrefix(line, RS_RING_EXT2));
        g_call.ringSeen = 1;
        return 0;
    }
    // 3. Calling number and dialled digits of ISDN modems.
    {
        const char *p = line[0] == ' ' ? line + 1 : line;
        if (HasEntryPrefix(p, RS_FM) || HasEntryPrefix(p, RS_TO)) {
            RingDecoder(line, 0);
            return 0;
        }
    }
    // 4. Carrier lost.
    if (IsEntry(line, RS_NO_CARRIER) || HasEntryPrefix(line, RS_CLEARED)) {
        if (InCallSetup(state)) {
            LogMessage(5, "Modem unable to connect to remote fax");
            return 8;
        }
        if (state == DEV_STATE_SENDING || state == DEV_STATE_RECEIVING) {
            if (!g_call.inCall)
                return 0;
            LogMessage(5, "Connection to remote fax lost");
            return 20;
        }
        return 0;
    }
    // 5, 6. ERROR and the dial outcomes.
    if (IsEntry(line, RS_ERROR))
        return 9;
    if (IsEntry(line, RS_CONNECT_1200))
        return 0;
    if (IsEntry(line, RS_NO_DIAL_TONE)) {
        LogMessage(5, "No dial tone on fax line");
        SetFailure(0xF10C);
        return 8;
    }
    if (IsEntry(line, RS_BUSY)) {
        LogMessage(5, "Phone number engaged");
        SetFailure(0xF10A);
        return 8;
    }
    if (IsEntry(line, RS_NO_ANSWER)) {
        LogMessage(5, "Call not answered");
        SetFailure(0xF10B);
        return 8;
    }
    // 7.
    static const int kPlainConnects[] = {10, 11, 12, 14, 16, 15};
    for (int i : kPlainConnects)
        if (IsEntry(line, i))
            return 0;
    if (IsEntry(line, RS_DELAYED)) {
        LogMessage(5, "Number currently disallowed by modem");
        return 20;
    }
    if (IsEntry(line, RS_BLACKLISTED)) {
        LogMessage(5, "Number blacklisted by modem");
        return 20;
    }
    // 8.
    if (IsConnectReply(line))
        return 0;
    // 9. Capabilities and station IDs.
    if (StartsWith(line, ModemWordText(MW_SESSION_CAP)) || StartsWith(line, ModemWordText(MW_REMOTE_CAP))) {
        DecodeCapability(line);
        return 12;
    }
    if (StartsWith(line, ModemWordText(MW_TX_ID)) || StartsWith(line, ModemWordText(MW_CALLED_ID)) ||
        StartsWith(line, "+FCIG:")) {
        DecodeStationId(line);
        return 12;
    }
    // 10. Page status.
    if (StartsWith(line, ModemWordText(MW_PAGE_STATUS)))
        return PageStatusResult(line + std::strlen(ModemWordText(MW_PAGE_STATUS)));
    // 11.
    if (StartsWith(line, "+FET:"))
        return 12;
    // 12. Hang-up report.
    if (const char *after = FindHangupWord(line)) {
        long code = ReadHangupCode(after);
        if (code < 0) {
            LogMessage(5, "Invalid page status response from device");
            return InCallSetup(state) ? 8 : 20;
        }
        uint16_t r = HangupResult(code);
        if (r == 20 && InCallSetup(state))
            r = 8;
        return r;
    }
    // 13-15. Information lines.
    if (IsFaxConnect(line) || EqualsNoCase(line, "VCON") || EqualsNoCase(line, "56") ||
        std::strcmp(line, "+FCFR") == 0 || std::strcmp(line, "<XON>") == 0 || StartsWith(line, "+FHR:") ||
        StartsWith(line, "+FHT:") || StartsWith(line, "+FNSC:"))
        return 12;
    if (StartsWith(line, "+FNSF:")) {
        const char *id = std::strstr(line, ModemWordText(MW_CALLED_ID));
        if (id)
            DecodeStationId(id);
        return 12;
    }
    if (StartsWith(line, "+FNSS:") || StartsWith(line, "+FPPR:") || StartsWith(line, "+FRBC:"))
        return 12;
    // 16.
    if (line[0] == 'o') {
        long n = ReadDecimal(line + 1, nullptr);
        if (n < 0)
            LogMessage(5, "Invalid page status response from device");
        else
            LogMessage(5, "Call terminated (status %dx)", static_cast<int>(n));
        return 20;
    }
    // 17. DTMF digit lines.
    if (StartsWith(line, "+DTMF:")) {
        const char *p = line + 6;
        while (*p == ' ')
            ++p;
        size_t n = std::strlen(g_call.dtmf);
        if (n >= MODEM_DTMF_MAX)
            LogMessage(4, "Allowed number of DTMF tones exceeded (1)");
        else if (IsDtmfDigit(*p)) {
            g_call.dtmf[n] = *p;
            g_call.dtmf[n + 1] = 0;
        }
        return 12;
    }
    // 18.
    if (StartsWith(line, "+FSA:")) {
        DecodeSubAddress(line);
        return 12;
    }
    // 19. An echoed command.
    if (StartsWithNoCase(line, "AT"))
        return 20;
    // 20.
    char shown[6 * 4 + 4];
    size_t n = 0;
    size_t i = 0;
    for (; line[i] && i < 6; ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (c >= 0x20 && c < 0x7F)
            shown[n++] = static_cast<char>(c);
        else
            n += static_cast<size_t>(std::snprintf(shown + n, sizeof shown - n, "<%.2x>", c));
    }
    shown[n] = 0;
    LogMessage(4, "Unknown response from device %s%s", shown, line[i] ? "..." : "");
    return 12;
}

uint16_t ParsePageStatusNumber(const char *line, uint16_t state)
{
    const char *p = line;
    while (*p == ' ')
        ++p;
    if (*p >= '0' && *p <= '9')
        return PageStatusResult(p);
    return ParseModemReply(line, state);
}

// ---------------------------------------------------------------- log names
void ReplyLogName(const char *line, char *out, size_t size)
{
    static const struct {
        int index;
        const char *name;
    } kEntries[] = {
        {RS_OK, "OK"}, {RS_CONNECT, "CONNECT"}, {RS_RING, "RING"}, {RS_RING2, "RING"}, {RS_RING_EXT, "RING"},
        {RS_RING_EXT2, "RING"}, {RS_NO_CARRIER, "NO_CARRIER"}, {RS_ERROR, "ERROR"}, {RS_CONNECT_1200, "CONNECT_1200"},
        {RS_NO_DIAL_TONE, "NO_DIAL_TONE"}, {RS_BUSY, "BUSY"}, {RS_NO_ANSWER, "NO_ANSWER"}, {10, "CONNECT_600"},
        {11, "CONNECT_2400"}, {12, "CONNECT_4800"}, {13, "CONNECT_9600"}, {14, "CONNECT_19200"},
        {15, "CONNECT_1200_75"}, {16, "CONNECT_75_1200"}, {RS_CLEARED, "CLEARED"},
    };
    for (const auto &e : kEntries)
        if (IsEntry(line, e.index)) {
            std::snprintf(out, size, "%s", e.name);
            return;
        }
    if (IsConnectReply(line)) {
        std::snprintf(out, size, "CONNECT_x");
        return;
    }
    const struct {
        const char *prefix;
        const char *name;
    } kPrefixes[] = {
        {ModemWordText(MW_SESSION_CAP), "SESSION_CAPABILITY"}, {ModemWordText(MW_REMOTE_CAP), "REMOTE_CAPABILITY"},
        {ModemWordText(MW_TX_ID), "TRANSMIT_STN_ID"}, {ModemWordText(MW_CALLED_ID), "CALLED_STN_ID"},
        {"+FCIG:", "CIG_RESPONSE"}, {ModemWordText(MW_PAGE_STATUS), "PAGE_STATUS"},
        {"+FET:", "POST_PAGE_RESPONSE"}, {ModemWordText(MW_HANGUP), "CALL_TERMINATION"},
        {ModemWordText(MW_FAX_CONNECT), "FAX_CONNECT"}, {"VCON", "VOICE_CONNECT"}, {"56", "VOICE_CONNECT"},
        {"+FCFR", "INDICATE_CFR"}, {"<XON>", "XON"}, {"+FHR:", "HR_RESPONSE"}, {"+FHT:", "HT_RESPONSE"},
        {"+FNSC:", "NSC_RESPONSE"}, {"+FNSF:", "NSF_RESPONSE"}, {"+FNSS:", "NSS_RESPONSE"},
        {"+FPPR:", "PPR_RESPONSE"}, {"+FRBC:", "RBC_RESPONSE"},
    };
    for (const auto &p : kPrefixes)
        if (StartsWith(line, p.prefix)) {
            std::snprintf(out, size, "%s", p.name);
            return;
        }
    std::snprintf(out, size, "\"%.60s%s\"", line, std::strlen(line) > 60 ? "..." : "");
}

void CommandLogText(const char *cmd, size_t len, char *out, size_t size)
{
    if (!cmd) {
        std::snprintf(out, size, "<none>");
        return;
    }
    if (len < 2 || !StartsWithNoCase(cmd, "AT")) {
        std::snprintf(out, size, "<data>");
        return;
    }
    while (len > 0 && (cmd[len - 1] == '\r' || cmd[len - 1] == '\n'))
        --len;
    if (len > 22)
        std::snprintf(out, size, "'%.20s...'", cmd);
    else
        std::snprintf(out, size, "'%.*s'", static_cast<int>(len), cmd);
}
