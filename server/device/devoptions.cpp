// Device options: the framework's keys of a device paragraph and the CSID
// separator of [OPTIONS].
#include <cstdlib>
#include <cstring>

#include "common/ctlfile.h"
#include "server/device/devctl.h"
#include "server/device/devplat.h"
#include "server/runtime/console.h"
#include "server/runtime/sharedopen.h"
#include "server/runtime/srvlog.h"
#include "server/runtime/sysparams.h"

static DevOptions s_options;

const DevOptions *DevGetOptions(void) { return &s_options; }

static char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
static int IsAlnumAscii(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

static void CopyBounded(char *dst, size_t size, const char *src)
{
    size_t n = 0;
    while (src[n] && n + 1 < size) {
        dst[n] = src[n];
        ++n;
    }
    dst[n] = 0;
}

// Port value: a value in double quotes is taken between them; leading
// characters other than letters and digits are skipped; a final ':' goes;
// upper case; at most 9 characters.
static void CleanPortName(const char *value, char *out, size_t size)
{
    char tmp[TV_LINE_SIZE];
    const char *v = value;
    while (*v == ' ' || *v == '\t')
        ++v;
    if (*v == '"') {
        ++v;
        size_t n = 0;
        while (v[n] && v[n] != '"' && n + 1 < sizeof tmp) {
            tmp[n] = v[n];
            ++n;
        }
        tmp[n] = 0;
    } else {
        CopyBounded(tmp, sizeof tmp, v);
    }
    const char *p = tmp;
    while (*p && !IsAlnumAscii(*p))
        ++p;
    size_t n = 0;
    while (p[n] && n + 1 < size) {
        out[n] = UpperAscii(p[n]);
        ++n;
    }
    out[n] = 0;
    while (n > 0 && (out[n - 1] == ' ' || out[n - 1] == '\t'))
        out[--n] = 0;
    if (n > 0 && out[n - 1] == ':')
        out[--n] = 0;
}

static int FirstLetterIs(const char *v, char letter)
{
    while (*v == ' ' || *v == '\t')
        ++v;
    return UpperAscii(*v) == letter;
}

static int EqualsNoCase(const char *a, const char *b)
{
    for (; *a && *b; ++a, ++b)
        if (UpperAscii(*a) != UpperAscii(*b))
            return 0;
    return *a == *b;
}

// A count key: the value when present, else the default.
static uint16_t CountEntry(FILE *f, const char *key, int32_t start, uint16_t def)
{
    int16_t v = 0;
    if (!GetIntEntry(f, key, &v, start))
        return def;
    return v < 0 ? 0 : static_cast<uint16_t>(v);
}

enum : uint32_t {
    ROUTES_SEND_FAX = (1u << 2) | (1u << 3) | (1u << 4) | (1u << 6),
    ROUTES_SCAN = (1u << 13) | (1u << 14) | (1u << 15),
    ROUTES_PRINT = (1u << 16) | (1u << 17) | (1u << 18),
};

uint16_t ReadDeviceOptions(FILE *f, int32_t paraPos)
{
    DevOptions &o = s_options;
    if (o.commsLog)
        std::fclose(o.commsLog);
    std::memset(&o, 0, sizeof o);
    o.sendRoutes = DeviceKindSendRoutes(g_dev.typeName);
    o.printRoutes = DeviceKindPrintRoutes(g_dev.typeName);
    o.incomingCalls = 1;
    o.toneDialling = 1; // tone unless the paragraph asks for pulse
    o.speaker = DEV_SPEAKER_OFF;

    char value[TV_LINE_SIZE];
    int32_t start = paraPos;

    if (!GetStringEntry(f, "Port:", value, sizeof value, start)) {
        LogMessage(6, "Port: line missing from Init file");
        return DEV_INVALID_PARAMETER;
    }
    CleanPortName(value, o.port, sizeof o.port);
    if (!o.port[0]) {
        LogMessage(6, "Port not specified in Init file");
        return DEV_INVALID_PARAMETER;
    }

    o.baudRate = CountEntry(f, "BaudRate:", start, 9600);
    if (o.baudRate == 0)
        o.baudRate = 9600;
    if (GetStringEntry(f, "PhoneNum:", value, sizeof value, start))
        CopyBounded(o.phoneNum, sizeof o.phoneNum, value);

    CopyBounded(o.scanWaitingDocFile, sizeof o.scanWaitingDocFile, "SCANWAIT.TXT");
    CopyBounded(o.scanConfirmFile, sizeof o.scanConfirmFile, "SCANCONF.TXT");
    CopyBounded(o.scanCompletedFile, sizeof o.scanCompletedFile, "SCANDONE.TXT");
    if (GetStringEntry(f, "ScanWaitingDocFile:", value, sizeof value, start))
        CopyBounded(o.scanWaitingDocFile, sizeof o.scanWaitingDocFile, value);
    if (GetStringEntry(f, "ScanConfirmFile:", value, sizeof value, start))
        CopyBounded(o.scanConfirmFile, sizeof o.scanConfirmFile, value);
    if (GetStringEntry(f, "ScanCompletedFile:", value, sizeof value, start))
        CopyBounded(o.scanCompletedFile, sizeof o.scanCompletedFile, value);
    if (GetStringEntry(f, "ScanAbortedFile:", value, sizeof value, start))
        CopyBounded(o.scanAbortedFile, sizeof o.scanAbortedFile, value);
    else
        CopyBounded(o.scanAbortedFile, sizeof o.scanAbortedFile,
                    o.scanCompletedFile[0] ? o.scanCompletedFile : "SCANFAIL.TXT");
    if (GetStringEntry(f, "PrintScanMessage:", value, sizeof value, start) && FirstLetterIs(value, 'N')) {
        o.scanWaitingDocFile[0] = o.scanConfirmFile[0] = 0;
        o.scanCompletedFile[0] = o.scanAbortedFile[0] = 0;
    }
    o.scanDocWait = CountEntry(f, "ScanDocWait:", start, 120);
    o.scanConfirmWait = CountEntry(f, "ScanConfirmWait:", start, 10);

    o.sendMsgTries = CountEntry(f, "SendMsgTries:", start, 2);
    if (o.sendMsgTries == 0)
        LogMessage(3, "No immediate redial on interrupted calls");
    else if (o.sendMsgTries != 2)
        LogMessage(3, "Maximum send message tries set to %d", o.sendMsgTries);
    o.connectTries = CountEntry(f, "ConnectTries:", start, 1);
    if (o.connectTries != 1)
        LogMessage(3, "Maximum connect tries set to %d", o.connectTries);
    o.restartSplitPages = CountEntry(f, "RestartSplitPages:", start, 3);
    o.restartInitialPages = CountEntry(f, "RestartInitialPages:", start, 1);
    o.minSendRetryPages = CountEntry(f, "MinSendRetryPages:", start, 5);
    if (o.minSendRetryPages != 5)
        LogMessage(3, "Minimum pages per send retry set to %d", o.minSendRetryPages);

    if (GetStringEntry(f, "CommsLogFile:", value, sizeof value, start) && value[0]) {
        CopyBounded(o.commsLogFile, sizeof o.commsLogFile, value);
        o.commsLog = OpenFileShared(OPEN_RETRY_COMMS_LOG, o.commsLogFile, "at");
        if (!o.commsLog)
            LogMessage(5, "Error opening Comms Log file '%s'", o.commsLogFile);
    }
    if (GetStringEntry(f, "DialPrefix:", value, sizeof value, start) && value[0]) {
        CopyBounded(o.dialPrefix, sizeof o.dialPrefix, value);
        o.sendRoutes |= ROUTE_DIAL_PREFIX;
    }
    if (GetStringEntry(f, "DialSuffix:", value, sizeof value, start))
        CopyBounded(o.dialSuffix, sizeof o.dialSuffix, value);
    if (GetStringEntry(f, "DialType:", value, sizeof value, start) && value[0])
        o.toneDialling = FirstLetterIs(value, 'T') ? 1 : 0;
    if (GetStringEntry(f, "RecdUser:", value, sizeof value, start))
        CopyBounded(o.recdUser, sizeof o.recdUser, value);

    if (GetStringEntry(f, "LocalOnly:", value, sizeof value, start) && FirstLetterIs(value, 'Y')) {
        int scan = ((o.sendRoutes | o.printRoutes) & ROUTES_SCAN) != 0;
        int print = (o.printRoutes & ROUTES_PRINT) != 0;
        if (scan || print) {
            o.localOnly = 1;
            LogMessage(3, "Device reserved for %s",
                       scan && print ? "scanning and printing" : print ? "printing" : "scanning");
            o.sendRoutes &= ~(ROUTES_SEND_FAX | ROUTE_ANSWERS_CALLS | ROUTE_DIAL_PREFIX);
            o.incomingCalls = 0;
        }
    }
    if (GetStringEntry(f, "ReceiveOnly:", value, sizeof value, start) && FirstLetterIs(value, 'Y') &&
        (o.sendRoutes & ROUTE_ANSWERS_CALLS)) {
        if (o.recdUser[0]) {
            o.receiveOnly = 1;
            LogMessage(3, "Device reserved for incoming calls");
            o.sendRoutes &= ~(ROUTES_SEND_FAX | ROUTE_DIAL_PREFIX);
        } else {
            LogMessage(5, "User for incoming calls not specified");
        }
    }
    if (!o.recdUser[0] || !o.incomingCalls) {
        o.recdUser[0] = 0;
        o.sendRoutes &= ~ROUTE_ANSWERS_CALLS;
    }

    if (GetStringEntry(f, "Speaker:", value, sizeof value, start)) {
        if (EqualsNoCase(value, "OFF"))
            o.speaker = DEV_SPEAKER_OFF;
        else if (EqualsNoCase(value, "CONNECT"))
            o.speaker = DEV_SPEAKER_CONNECT;
        else if (EqualsNoCase(value, "ON"))
            o.speaker = DEV_SPEAKER_ON;
        else {
            LogMessage(5, "Speaker: line invalid in initialisation file");
            o.speaker = DEV_SPEAKER_OFF;
        }
    }
    if (GetStringEntry(f, "Trace:", value, sizeof value, start) &&
        (EqualsNoCase(value, "ON") || EqualsNoCase(value, "YES"))) {
        o.trace = 1;
        LogMessage(3, "Trace mode enabled");
        SetLogThreshold(2);
        ShowConsole(true);
    }

    DevSetPriority();

    // [OPTIONS] of the same file.
    char line[TV_LINE_SIZE];
    std::fseek(f, 0, SEEK_SET);
    if (!FindParagraph(f, "[OPTIONS]", line, sizeof line, nullptr)) {
        LogMessage(6, "[OPTIONS] paragraph missing in Init file");
        return DEV_INVALID_PARAMETER;
    }
    if (GetStringEntry(f, "CSIDSeparator:", value, sizeof value, 0)) {
        if (std::strlen(value) > DEV_CSID_SEP_SIZE - 1)
            LogMessage(5, "Specified CSID separator too long");
        else
            CopyBounded(o.csidSeparator, sizeof o.csidSeparator, value);
    }
    return 0;
}

uint16_t CleanTelephoneNumber(const char *number, char *out, size_t outSize, size_t maxLen)
{
    char tmp[DEV_NUMBER_SIZE + 1];
    CopyBounded(tmp, sizeof tmp, number ? number : "");
    const char *sep = s_options.csidSeparator;
    if (sep[0]) {
        char *cut = std::strstr(tmp, sep);
        if (cut) {
            LogMessage(3, "Ext CSID (%s) removed from tel number", cut + std::strlen(sep));
            *cut = 0;
        }
    }
    size_t n = std::strlen(tmp);
    if (n > maxLen || n + 1 > outSize) {
        LogMessage(5, "Telephone number too long");
        if (outSize)
            out[0] = 0;
        return DEV_INVALID_PARAMETER;
    }
    std::memcpy(out, tmp, n + 1);
    return 0;
}
