// Device results, device states with their status codes and notify rules,
// the reply codes of job results, and the small services the framework
// offers its drivers.
#include <cstring>

#include "common/status.h"
#include "server/device/devctl.h"
#include "server/runtime/srvlog.h"

DevController g_dev;

// ---------------------------------------------------------------- device results
static const char *const kDeviceResultText[DEV_RESULT_COUNT] = {
    "OK",
    "MESSAGE ABORTED",
    "DOCUMENT ON SCANNER",
    "INCOMING CALL",
    "DEVICE IDLE",
    "NO RESPONSE WITHIN TIMEOUT",
    "NO DOCUMENT ON SCANNER",
    "DEVICE BUSY",
    "UNABLE TO CONNECT OR NO ANSWER",
    "COMMAND REJECTED",
    "INVALID ID",
    "FAULT JOB END",
    "DEVICE BUSY",
    "DEVICE WAITING FOR DATA",
    "DEVICE IDLE",
    "FILE ERROR",
    "INVALID PARAMETER",
    "** ERR2 **",
    "NO REPLY FROM DEVICE",
    "CANNOT COMMUNICATE WITH DEVICE",
    "FAX ERROR",
    "FAX MACHINE OPENED",
    "SCANNER PROBLEM",
    "PRINTER JAM",
    "OUT OF PAPER",
    "DEVICE FAULT",
    "ABORT REQUEST RECEIVED",
    "SYSTEM SHUTDOWN REQUESTED",
    "FAX DEVICE NOT CONNECTED",
    "COMMUNICATION PORT FAULT",
    "SOFTWARE FAULT",
    "** ERR **",
};

const char *DeviceErrorText(uint16_t result)
{
    if (result >= DEV_RESULT_COUNT) {
        LogMessage(6, "Unknown PERC error return (%d)", result);
        return "???";
    }
    return kDeviceResultText[result];
}

// ---------------------------------------------------------------- reply codes
// Indexed by the job result 0..26; 8 takes the job's failure code.
static const uint16_t kReplyCode[27] = {
    TV_OK,              // 0
    TV_E_JOB_ABORTED,   // 1
    TV_E_DEV_OFFLINE,   // 2
    TV_E_DEV_OFFLINE,   // 3
    TV_E_DEV_FAILED,    // 4
    TV_E_DEV_FAILED,    // 5
    TV_E_DEV_FAILED,    // 6
    TV_E_DEV_OFFLINE,   // 7
    TV_E_JOB_FAILED,    // 8: replaced by the failure code
    TV_E_DEV_FAILED,    // 9
    TV_E_REMOTE_ID,     // 10
    TV_E_DEV_FAILED,    // 11
    TV_E_DEV_FAILED,    // 12
    TV_E_DEV_FAILED,    // 13
    TV_E_DEV_FAILED,    // 14
    TV_E_JOB_FILE,      // 15
    TV_E_BADARG,        // 16
    TV_E_DEV_FAILED,    // 17
    TV_E_DEV_FAILED,    // 18
    TV_E_DEV_FAILED,    // 19
    TV_E_DEV_FAILED,    // 20
    TV_E_DEV_FAILED,    // 21
    TV_E_DEV_FAILED,    // 22
    TV_E_DEV_FAILED,    // 23
    TV_E_DEV_FAILED,    // 24
    TV_E_DEV_FAILED,    // 25
    TV_E_JOB_ABORTED,   // 26
};

uint16_t JobReplyCode(uint16_t result, uint16_t failureCode)
{
    if (result >= 27)
        return TV_E_DEV_FAILED;
    if (result == DEV_NO_CONNECT)
        return failureCode ? failureCode : static_cast<uint16_t>(TV_E_JOB_FAILED);
    return kReplyCode[result];
}

uint16_t ScanReplyCode(uint16_t result)
{
    switch (result) {
    case 0: return TV_OK;
    case 1: case 26: return TV_E_JOB_ABORTED;
    case 2: case 3: case 7: return TV_E_DEV_OFFLINE;
    case 6: return TV_E_SCAN_FAILED;
    case 15: return TV_E_JOB_FILE;
    case 16: return TV_E_BADARG;
    default: return TV_E_DEV_FAILED;
    }
}

// ---------------------------------------------------------------- states
struct StateRow {
    const char *name;
    uint16_t statusCode;
};
static const StateRow kStates[DEV_STATE_COUNT] = {
    {"???", 0},
    {"IDLE", 1},
    {"WAIT CONNECT", 6},
    {"SENDING", 7},
    {"RECEIVING", 8},
    {"POLL SEND", 9},
    {"POLL RECEIVE", 10},
    {"WAIT SCAN DOC", 11},
    {"SCANNING", 12},
    {"CALL RECEIVED", 13},
    {"DEVICE OFFLINE", 4},
    {"DEVICE ERROR", 2},
    {"DEVICE FAILED", 3},
};

const char *StateName(uint16_t state)
{
    if (state < 1 || state > 12) {
        LogMessage(6, "Unknown STATE (%d)", state);
        return "???";
    }
    return kStates[state].name;
}

uint16_t StateStatusCode(uint16_t state)
{
    if (state < 1 || state > 12) {
        LogMessage(6, "Unknown STATE (%d)", state);
        return 0;
    }
    return kStates[state].statusCode;
}

int StateNotifies(uint16_t next, uint16_t current)
{
    switch (next) {
    case DEV_STATE_IDLE:
        return current != DEV_STATE_IDLE;
    case DEV_STATE_WAIT_CONNECT:
    case DEV_STATE_POLL_RECEIVE:
    case DEV_STATE_WAIT_SCAN_DOC:
        return 0;
    case DEV_STATE_SENDING:
    case DEV_STATE_POLL_SEND:
    case DEV_STATE_SCANNING:
        return 1;
    case DEV_STATE_RECEIVING:
        return current != DEV_STATE_CALL_RECEIVED;
    case DEV_STATE_CALL_RECEIVED:
    case DEV_STATE_OFFLINE:
    case DEV_STATE_ERROR:
    case DEV_STATE_FAILED:
        return current != next;
    default:
        return 0;
    }
}

static int StateCarriesPage(uint16_t state)
{
    return state == DEV_STATE_SENDING || state == DEV_STATE_RECEIVING || state == DEV_STATE_POLL_SEND ||
           state == DEV_STATE_POLL_RECEIVE || state == DEV_STATE_SCANNING;
}

void SetDeviceState(uint16_t state)
{
    if (state < 1 || state > 12) {
        StateName(state);
        return;
    }
    if (StateNotifies(state, g_dev.state) &&
        !(state == g_dev.state && std::strcmp(g_dev.typeName, "NETWORK") == 0)) {
        uint16_t code = StateStatusCode(state);
        LogMessage(2, "Notifying Queueman of new Status %d", code);
        SendStatusPacket(code, StateCarriesPage(state) ? g_dev.page : 0);
    }
    if (state != g_dev.state) {
        ClearLogStateSection();
        LogMessage(3, "Device status now %s", StateName(state));
        g_dev.state = state;
        g_dev.stateChanged = 1;
    }
}

void SetCurrentPage(uint16_t page)
{
    g_dev.page = page;
    SetDeviceState(g_dev.state);
}

// ---------------------------------------------------------------- driver services
uint16_t DevCurrentState(void) { return g_dev.state; }
int DevStopping(void) { return g_dev.stopping; }
uint16_t DevDeviceNumber(void) { return g_dev.number; }
const char *DevControllerId(void) { return g_dev.id; }
void DevSetPortUse(int usesPort) { g_dev.usesPort = usesPort ? 1 : 0; }

void DevSetRingCheck(uint16_t ringsToAnswer, int32_t ringWindowMs)
{
    g_dev.ringsToAnswer = ringsToAnswer ? ringsToAnswer : 1;
    g_dev.ringWindowMs = ringWindowMs < 0 ? 0 : ringWindowMs;
}

void DevDeclareFailed(void) { SetDeviceState(DEV_STATE_FAILED); }

int DevCheckForced(void) { return g_dev.stateChanged || g_dev.state != DEV_STATE_IDLE; }

void DevSetFailureCode(uint16_t replyCode) { g_dev.failureCode = replyCode; }

// Routing data of the current call.
static DevRouting s_routing;

static void CopyPrintable(char *dst, size_t size, const char *src)
{
    size_t n = 0;
    for (; src && *src && n + 1 < size; ++src) {
        unsigned char c = static_cast<unsigned char>(*src);
        if (c >= 32 && c < 127)
            dst[n++] = static_cast<char>(c);
    }
    dst[n] = 0;
}

void DevSetRoutingDtmf(const char *digits) { CopyPrintable(s_routing.dtmf, sizeof s_routing.dtmf, digits); }
void DevSetRoutingSubAddr(const char *s) { CopyPrintable(s_routing.subAddr, sizeof s_routing.subAddr, s); }
void DevSetRoutingCli(const char *s) { CopyPrintable(s_routing.cli, sizeof s_routing.cli, s); }

void DevAppendRoutingDtmf(char digit)
{
    size_t n = std::strlen(s_routing.dtmf);
    unsigned char c = static_cast<unsigned char>(digit);
    if (c < 32 || c >= 127 || n + 1 >= sizeof s_routing.dtmf)
        return;
    s_routing.dtmf[n] = digit;
    s_routing.dtmf[n + 1] = 0;
}

void DevClearRouting(void) { std::memset(&s_routing, 0, sizeof s_routing); }
const DevRouting *DevGetRouting(void) { return &s_routing; }

int CompareRemoteId(const char *a, const char *b)
{
    const char *p = a ? a : "";
    const char *q = b ? b : "";
    for (;;) {
        while (*p && (*p < '0' || *p > '9'))
            ++p;
        while (*q && (*q < '0' || *q > '9'))
            ++q;
        if (!*p || !*q)
            return (*p || *q) ? 1 : 0;
        if (*p != *q)
            return 1;
        ++p;
        ++q;
    }
}
