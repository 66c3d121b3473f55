// The fax modem driver's side of the device lower layer: opening and
// initialising the modem, the idle check, recovery, cancelling a call,
// dialling and answering, and the routing data of an incoming call.
#include <cstring>

#include "common/ctlfile.h"
#include "server/device/devheader.h"
#include "server/device/modem/modem.h"
#include "server/runtime/rtclock.h"
#include "server/runtime/srvlog.h"
#include "server/runtime/sysparams.h"

enum { REPLY_SIZE = 300, DIAL_LIMIT_MS = 90000, ANSWER_LIMIT_MS = 90000 };

static uint16_t s_connectionType;
static uint16_t s_format;
static uint32_t s_lastCheckTick;
static int s_checkedOnce;

static uint32_t Elapsed(uint32_t since) { return RtTickMs() - since; }

static int KeepOpen(void) { return g_modem.keepPortOpen; }

// ---------------------------------------------------------------- reading replies
// A reply line without a command; OK in any case reads as the entry in use.
static uint16_t ReadReply(char *reply, size_t size, int acceptXon)
{
    uint16_t r = PollModemReply(nullptr, 0, reply, size, acceptXon);
    if (r == 0 && (reply[0] == 'O' || reply[0] == 'o') && (reply[1] == 'K' || reply[1] == 'k') && reply[2] == 0)
        std::snprintf(reply, size, "%s", ReplyEntry(RS_OK));
    return r;
}

// Reads lines up to the final reply of a command already answered once.
static void ReadToFinal(void)
{
    char reply[REPLY_SIZE];
    for (int i = 0; i < 10; ++i) {
        if (ReadReply(reply, sizeof reply, 0))
            return;
        if (ParseModemReply(reply, DevCurrentState()) != 12)
            return;
    }
}

// Sends a command without reading its reply.
static uint16_t SendNoReply(const char *cmd) { return SendModemCommand(cmd, nullptr, 0); }

// ---------------------------------------------------------------- open and check
static uint16_t OpenAndInitialise(int full)
{
    ModemClearRouting();
    LogMessage(2, "Opening COM port");
    uint16_t r = OpenComPort();
    if (r)
        return r;
    r = SetupRS232(g_modem.portSpeed, 0);
    if (r)
        return r;
    SendNoReply(g_modem.baseInit);
    ModemSleep(2000);
    if (full && g_modem.startInit[0])
        ModemCommandParsed(g_modem.startInit, 0);
    if (full && g_modem.model == 22) {
        static const char *const kExtra[] = {"&o5&w", "#SAFAX=#SAMDM=#IPFAX=0", "#Z"};
        for (const char *c : kExtra)
            if (ModemCommandParsed(c, 0) != 0) {
                LogMessage(4, "Error sending extra init commands to modem");
                break;
            }
    }
    return 0;
}

uint16_t ModemCheck(void)
{
    if (g_modem.checkInit1[0])
        ModemCommandParsed(g_modem.checkInit1, 0);
    uint16_t r = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        r = ModemCommandParsed(g_modem.baseInit, 0);
        if (r == 0 || r == DEV_NO_REPLY || r == DEV_NOT_CONNECTED || r == DEV_PORT_FAULT)
            break;
    }
    if (r == 0 && g_modem.checkInit2[0])
        ModemCommandParsed(g_modem.checkInit2, 0);
    if (r)
        LogMessage(2, "Error %s on checking fax", DeviceErrorText(r));
    return r;
}

// The service class: asked of the modem when neither the model nor the key set it.
static uint16_t SetServiceClass(void)
{
    if (!g_modem.serviceClass[0]) {
        char reply[REPLY_SIZE];
        uint16_t r = SendModemCommand("+FCLASS=?", reply, sizeof reply);
        if (r) {
            LogMessage(2, "Error %s determining service class", DeviceErrorText(r));
            LogMessage(4, "Unable to initialise modem");
            return r;
        }
        if (std::strcmp(reply, ReplyEntry(RS_ERROR)) == 0 || std::strcmp(reply, "ERROR") == 0) {
            std::snprintf(g_modem.serviceClass, sizeof g_modem.serviceClass, "2");
        } else {
            char cls[4];
            ParseClassList(reply, cls, sizeof cls);
            ReadToFinal();
            if (!cls[0]) {
                LogMessage(4, "Modem is not a Class 2 or 2.0 fax modem");
                return DEV_FAX_ERROR;
            }
            std::snprintf(g_modem.serviceClass, sizeof g_modem.serviceClass, "%s", cls);
        }
        g_modem.class20 = std::strcmp(g_modem.serviceClass, "2.0") == 0;
    }
    char cmd[16];
    std::snprintf(cmd, sizeof cmd, "+FCLASS=%s", g_modem.serviceClass);
    uint16_t r = ModemCommandParsed(cmd, 0);
    if (r == DEV_COMMAND_REJECTED)
        LogMessage(5, "Modem does not support Class %s", g_modem.serviceClass);
    if (r)
        LogMessage(5, "Error %s setting fax parameters", DeviceErrorText(r));
    return r;
}

static uint16_t UserInitCommand(const char *cmd)
{
    if (!cmd[0])
        return 0;
    uint16_t r = ModemCommandParsed(cmd, 0);
    if (r == DEV_COMMAND_REJECTED) {
        LogMessage(4, "Modem rejected extra initialise commands - continuing");
        return 0;
    }
    if (r)
        LogMessage(5, "Error %s sending user init command to device", DeviceErrorText(r));
    return r;
}

uint16_t InitialiseModem(int outgoing)
{
    uint32_t pause = outgoing ? 500 : 100;
    char cmd[80];
    ComposeDialOptions(&g_modem, cmd, sizeof cmd);
    uint16_t r = ModemCommandParsed(cmd, 1);
    if (r)
        return r;
    ModemSleep(pause);
    r = SetServiceClass();
    if (r)
        return r;
    char reply[REPLY_SIZE];
    if (SendModemCommand(ModemWordText(MW_CMD_MAKER), reply, sizeof reply) == 0) {
        // The maker line is only logged; the final reply follows it.
        LogMessage(2, "Modem maker: %.60s", reply);
        if (std::strcmp(reply, ReplyEntry(RS_OK)) != 0 && std::strcmp(reply, ReplyEntry(RS_ERROR)) != 0)
            ReadToFinal();
    }
    if (g_modem.class20) {
        r = ModemCommandParsed("+FNR=1,1,1,0", 0);
        if (r)
            return r;
    }
    r = SetupRS232(19200, 0);
    if (r)
        return r;
    for (int attempt = 0; attempt < 3; ++attempt) {
        r = ModemCommandParsed("", 0);
        if (r == 0)
            break;
    }
    if (r) {
        LogMessage(2, "Error %s after changing speed", DeviceErrorText(r));
        return r;
    }
    r = ModemCommandParsed(ModemWordText(MW_CMD_TIMEOUT), 1);
    if (r)
        return r;
    ModemSleep(pause);
    r = ModemCommandParsed(ModemWordText(MW_CMD_BIT_ORDER), 1);
    if (r) {
        LogMessage(5, "Error %s setting fax parameters", DeviceErrorText(r));
        return r;
    }
    if (outgoing)
        return UserInitCommand(g_modem.sendInit);
    r = ModemCommandParsed("+FCR=1", 0);
    if (r == DEV_COMMAND_REJECTED) {
        LogMessage(4, "Modem rejected receive enable command");
        return r;
    }
    if (r)
        return r;
    ComposeReceiveCaps(&g_modem, cmd, sizeof cmd);
    r = ModemCommandParsed(cmd, 0);
    if (r == DEV_COMMAND_REJECTED)
        LogMessage(4, "Modem rejected fax capability command - continuing");
    else if (r) {
        LogMessage(5, "Error %s setting fax parameters (2)", DeviceErrorText(r));
        return r;
    }
    return UserInitCommand(g_modem.receiveInit);
}

// Local ID (and the sub-address of an outgoing call) of a call.
static uint16_t SetLocalId(const char *number, int outgoing)
{
    uint32_t pause = outgoing ? 500 : 100;
    const DevOptions *o = DevGetOptions();
    char id[MODEM_LOCAL_ID_MAX + 1];
    char sub[MODEM_SUBADDR_SIZE];
    if (!ComposeLocalId(o->phoneNum, o->csidSeparator, outgoing ? number : "", id, sizeof id, sub, sizeof sub)) {
        LogMessage(4, "Routing sub-address too long - ignored");
        sub[0] = 0;
    }
    if (sub[0])
        LogMessage(3, "Routing sub-address set to '%s'", sub);
    char cmd[64];
    std::snprintf(cmd, sizeof cmd, "%s\"%s\"", ModemWordText(MW_CMD_LOCAL_ID), id);
    uint16_t r = ModemCommandParsed(cmd, 0);
    if (r == DEV_COMMAND_REJECTED) {
        LogMessage(4, "Modem rejected ID set command - continuing");
        r = 0;
    }
    if (r) {
        LogMessage(2, "Error %s setting ID", DeviceErrorText(r));
        return r;
    }
    ModemSleep(pause);
    // The polling and sub-address command exists only in Class 2.0.
    if ((sub[0] || !outgoing) && g_modem.class20) {
        r = ModemCommandParsed("+FAP=1,0,0", 0);
        if (r == DEV_COMMAND_REJECTED) {
            LogMessage(4, "Modem rejected sub-address enable command - continuing");
            r = 0;
        }
        if (r) {
            LogMessage(2, "Error %s setting ID", DeviceErrorText(r));
            return r;
        }
        ModemSleep(pause);
    }
    if (sub[0]) {
        std::snprintf(cmd, sizeof cmd, "+FSA=\"%s\"", sub);
        LogMessage(2, "Set subaddress '%s'", sub);
        r = ModemCommandParsed(cmd, 0);
        if (r == DEV_COMMAND_REJECTED) {
            LogMessage(4, "Modem rejected sub-address command - continuing");
            r = 0;
        }
        if (r) {
            LogMessage(2, "Error %s setting ID", DeviceErrorText(r));
            return r;
        }
        ModemSleep(pause);
    }
    return 0;
}

// ---------------------------------------------------------------- operations
static const char *ModemTypeName(void) { return "FCLASS"; }

uint16_t ModemReadDeviceIniFile(uint16_t deviceNumber, FILE *ini)
{
    const char *type = ModemTypeName();
    if (!LookupDeviceType(type)) {
        LogMessage(6, "unrecognised device type '%s'", type);
        return DEV_INVALID_PARAMETER;
    }
    char para[24], line[TV_LINE_SIZE];
    std::snprintf(para, sizeof para, "[%s-%d]", type, deviceNumber);
    std::fseek(ini, 0, SEEK_SET);
    int32_t pos = 0;
    if (!FindParagraph(ini, para, line, sizeof line, &pos)) {
        LogMessage(6, "%s paragraph missing in Init file", para);
        return DEV_INVALID_PARAMETER;
    }
    uint16_t r = ReadDeviceOptions(ini, pos);
    if (r)
        return r;
    std::fseek(ini, pos, SEEK_SET);
    const DevOptions *o = DevGetOptions();
    int hasUser = o->recdUser[0] != 0;
    ModemSetDefaults(&g_modem, o->baudRate);
    char value[TV_LINE_SIZE];
    uint16_t model = MODEM_GENERIC;
    if (GetStringEntry(ini, "Type:", value, sizeof value, pos))
        model = ModemModelOfType(value);
    else
        LogMessage(4, "Type: line missing from Init file");
    ModemApplyModel(&g_modem, model, hasUser);
    ModemReadKeys(&g_modem, ini, pos, hasUser);
    ModemComposeBaseInit(&g_modem, o->speaker);

    DevSetPortUse(1);
    DevSetRingCheck(1, 0);
    FaxLineSetup sender{};
    sender.SendDataFrame = SendDataFrame;
    sender.lineByLine = 1;
    sender.lineLength = 1024;
    sender.endSequenceLength = 0; // the driver ends its pages itself
    FaxSetLineSetup(&sender);
    std::memset(&g_call, 0, sizeof g_call);
    ModemClearCallData();
    return 0;
}

uint16_t ModemInitialiseDevice(void) { return OpenAndInitialise(1); }

uint16_t ModemCloseDevice(void)
{
    if (IsComPortOpen() && g_modem.autoAnswer)
        ModemCommandParsed("S0=0", 0);
    CloseComPort();
    return 0;
}

uint16_t ModemPollDevice(void)
{
    if (DevGetOptions()->recdUser[0] && IsComPortOpen()) {
        char reply[REPLY_SIZE];
        for (int i = 0; i < 5; ++i) {
            if (ReadReply(reply, sizeof reply, 0))
                break;
            uint16_t p = ParseModemReply(reply, DevCurrentState());
            if (p != 0 && p != 12)
                break;
        }
    }
    uint16_t r = g_call.ringSeen ? DEV_INCOMING_CALL : 0;
    if (!g_modem.autoAnswer)
        g_call.ringSeen = 0;
    return r;
}

uint16_t ModemCheckFaxStatus(void)
{
    LogMessage(2, "Checking Fax status");
    if (!DevCheckForced()) {
        if (g_modem.checkFrequency == 0)
            return 0;
        if (g_modem.checkFrequency < 0 && !KeepOpen())
            return 0;
        if (g_modem.checkFrequency > 0 && s_checkedOnce &&
            Elapsed(s_lastCheckTick) < static_cast<uint32_t>(g_modem.checkFrequency) * 1000u)
            return 0;
    }
    s_lastCheckTick = RtTickMs();
    s_checkedOnce = 1;
    uint16_t r = 0;
    if (!IsComPortOpen()) {
        r = OpenAndInitialise(0);
        if (r)
            return r;
    }
    r = ModemCheck();
    if (r == 0) {
        if (!g_modem.autoAnswer) {
            r = ModemCommandParsed("+FCLASS=0", 1);
        } else if (!g_call.ringSeen) {
            r = ModemCommandParsed("S0=0", 0);
            if (r == 0) {
                r = InitialiseModem(0);
                if (r == 0)
                    r = SetLocalId("", 0);
                uint16_t s = ModemCommandParsed("S0=2", 0);
                if (r == 0)
                    r = s;
            }
        }
    }
    if (!KeepOpen())
        CloseComPort();
    return r;
}

// Resets the modem: by DTR where the port can drop it, else by reopening the port.
static uint16_t ResetModem(void)
{
    if (g_modem.controlDtr && IsComPortOpen()) {
        SetControlLines(0);
        ModemSleep(1000);
        SetControlLines(1);
        return SetupRS232(ModemPortSpeed() ? ModemPortSpeed() : g_modem.portSpeed, 0);
    }
    CloseComPort();
    ModemSleep(1000);
    uint16_t r = OpenComPort();
    if (r)
        return r;
    return SetupRS232(g_modem.portSpeed, 0);
}

uint16_t ModemWaitForDeviceRecovery(void)
{
    LogMessage(3, "Waiting for FAX to recover");
    uint32_t start = RtTickMs();
    int warned = 0, failed = 0, portFault = 0;
    for (;;) {
        uint16_t r = 0;
        if (!IsComPortOpen())
            r = OpenAndInitialise(0);
        if (r != DEV_PORT_FAULT) {
            r = ResetModem();
            if (r == 0) {
                SendNoReply("Z");
                ModemSleep(1000);
                SendNoReply(g_modem.baseInit);
                ModemSleep(1000);
                r = ModemCheckFaxStatus();
            }
        }
        if (r == 0) {
            if (warned || failed)
                LogMessage(3, "Device recovered");
            return 0;
        }
        if (r == DEV_PORT_FAULT)
            portFault = 1;
        LogMessage(2, "Error %s waiting for fax to recover", DeviceErrorText(r));
        uint32_t e = Elapsed(start);
        if (!warned && e > 10000u) {
            warned = 1;
            LogMessage(5, "Error %s checking fax device", DeviceErrorText(r));
        }
        if (!failed && !portFault && e > 1800000u) {
            failed = 1;
            LogMessage(5, "Failing device - error %s", DeviceErrorText(r));
            DevDeclareFailed();
        }
        uint32_t roundStart = RtTickMs();
        do {
            uint16_t q = DevPollRequests();
            if (q)
                return q;
            ModemSleep(3000);
        } while (Elapsed(roundStart) <= 20000u);
    }
}

uint16_t ModemCancelJob(void)
{
    LogMessage(2, "Cancelling Job");
    g_call.inCall = 0;
    ModemClearRouting();
    SendFrameAsync(nullptr, 0, 0);
    if (!IsComPortOpen())
        return 0;
    FlushComPort();
    SetupRS232(ModemPortSpeed() ? ModemPortSpeed() : g_modem.portSpeed, 0);
    uint16_t state = DevCurrentState();
    if (state == DEV_STATE_SENDING) {
        static const unsigned char kEnd[] = {0x00, 0x10, 0x03};
        ComWrite(kEnd, sizeof kEnd, 0);
        ModemSleep(4000);
    } else if (state == DEV_STATE_RECEIVING) {
        static const unsigned char kCan[] = {0x18};
        ComWrite(kCan, sizeof kCan, 0);
        ModemSleep(4000);
    } else if (state == DEV_STATE_WAIT_CONNECT || state == DEV_STATE_CALL_RECEIVED) {
        static const unsigned char kPlus[] = {'+'};
        ModemSleep(2000);
        for (int i = 0; i < 3; ++i) {
            ComWrite(kPlus, 1, 0);
            if (i < 2)
                ModemSleep(500);
        }
        ModemSleep(2000);
    }
    if (state == DEV_STATE_WAIT_CONNECT || state == DEV_STATE_SENDING || state == DEV_STATE_RECEIVING ||
        state == DEV_STATE_CALL_RECEIVED) {
        SendNoReply("H");
        ModemSleep(4000);
    }
    uint16_t r = ResetModem();
    if (r)
        return r;
    if (!DevStopping()) {
        SendNoReply("Z");
        ModemSleep(1000);
        SendNoReply(g_modem.baseInit);
        ModemSleep(1000);
    }
    for (int round = 0; round < 10; ++round) {
        uint16_t q = DevPollRequests();
        if (q)
            return q;
        r = ModemCheck();
        if (r == 0)
            return 0;
        LogMessage(2, "Error %s sending Checking fax status", DeviceErrorText(r));
        ModemSleep(3000);
    }
    LogMessage(5, "CancelJob timed out");
    return DEV_FAX_ERROR;
}

uint16_t ModemWaitForJobToFinish(void)
{
    ModemClearRouting();
    g_call.inCall = 0;
    if (IsComPortOpen())
        SetupRS232(g_modem.portSpeed, 0);
    return 0;
}

uint16_t ModemFinishDeviceJob(uint16_t replyCode)
{
    if (!KeepOpen())
        CloseComPort();
    return 0;
}

static uint16_t ModemCheckDeviceReady(void) { return 0; }
static uint16_t ModemIsDocumentOnADF(void) { return 0; }
static uint16_t ModemCheckADFOffline(void)
{
    LogMessage(6, "CheckADFOffline() called");
    return DEV_INVALID_PARAMETER;
}
static uint16_t ModemChangeConnection(uint16_t operation, uint16_t value)
{
    LogMessage(5, "ChangeConnection() not supported");
    return DEV_FAX_ERROR;
}
static uint16_t ModemCheckRemoteId(const char *expected, const char *received)
{
    if (!expected || !expected[0])
        return 0;
    return CompareRemoteId(expected, received ? received : "") == 0 ? 0 : DEV_INVALID_ID;
}
static uint16_t ModemPrintStatusReport(const void *report, uint32_t size, uint16_t options)
{
    LogMessage(3, "Status page printing not supported by this device");
    return DEV_INVALID_PARAMETER;
}

// ---------------------------------------------------------------- voice DTMF
static void CollectDtmfVoice(void)
{
    char reply[REPLY_SIZE];
    if (SendModemCommand("#CLS=?", reply, sizeof reply) != 0)
        return;
    if (ParseModemReply(reply, DevCurrentState()) == 9) {
        LogMessage(2, "Modem does not support voice commands (1)");
        return;
    }
    int has8 = 0;
    for (const char *p = reply; *p; ++p)
        if (*p == '8' && (p == reply || p[-1] == ',' || p[-1] == ' ' || p[-1] == '(') &&
            (p[1] == 0 || p[1] == ',' || p[1] == ' ' || p[1] == ')'))
            has8 = 1;
    ReadToFinal();
    if (!has8) {
        LogMessage(2, "Modem does not support voice commands (2)");
        return;
    }
    LogMessage(2, "Modem supports voice commands");
    if (ModemCommandParsed("#CLS=8", 0) != 0) {
        LogMessage(4, "Unable to set modem to voice mode");
        return;
    }
    if (ModemCommandParsed("#VTD=3F,3F,3F", 0) != 0) {
        LogMessage(4, "Unable to set voice tone reporting");
        return;
    }
    uint16_t r = SendModemCommand("A", reply, sizeof reply);
    uint16_t p = r ? r : ParseModemReply(reply, DevCurrentState());
    if (p != 0 && p != 12) {
        LogMessage(4, "Unable to connect in voice mode");
        return;
    }
    if (g_call.dtmf[0]) {
        LogMessage(2, "DTMF tones already registered");
    } else {
        LogMessage(2, "Waiting for DTMF tones");
        uint32_t last = RtTickMs();
        int any = 0, dle = 0;
        for (;;) {
            uint32_t limit = any ? g_modem.dtmfWait2 : g_modem.dtmfWait1;
            if (Elapsed(last) > limit)
                break;
            unsigned char c = 0;
            uint16_t rr = ReadComChar(&c, 0, 0);
            if (rr == DEV_NO_REPLY)
                continue;
            if (rr)
                break;
            if (!dle) {
                dle = c == 0x10;
                continue;
            }
            dle = 0;
            if (static_cast<char>(c) == g_modem.dtmfEndChar) {
                LogMessage(2, "'%c' received - stop waiting for tones", g_modem.dtmfEndChar);
                break;
            }
            if ((c >= '0' && c <= '9') || c == '*' || c == '#' || (c >= 'A' && c <= 'D')) {
                size_t n = std::strlen(g_call.dtmf);
                if (n >= 60)
                    break;
                g_call.dtmf[n] = static_cast<char>(c);
                g_call.dtmf[n + 1] = 0;
                any = 1;
                last = RtTickMs();
            }
        }
    }
    ModemCommandParsed("#CLS=2", 0);
    LogMessage(2, "Direct dial routing '%s' (DTMF)", g_call.dtmf);
}

// ---------------------------------------------------------------- connections
uint16_t ModemMakeConnection(const DevConnectRequest *req, int *connectionMade)
{
    *connectionMade = 1;
    uint16_t op = req->operation;
    if (op == DEV_CONNECT_PRINT || op == DEV_CONNECT_ANSWER_PRINT) {
        LogMessage(5, "MakeConnection() CONNECT_HOST_TO_PRINT not supported");
        return DEV_INVALID_PARAMETER;
    }
    if (op == DEV_CONNECT_SCAN) {
        LogMessage(5, "MakeConnection() CONNECT_SCAN_TO_HOST not supported");
        return DEV_INVALID_PARAMETER;
    }
    if (op != DEV_CONNECT_SEND && op != DEV_CONNECT_ANSWER) {
        LogMessage(5, "MakeConnection() - invalid connection %d", op);
        return DEV_INVALID_PARAMETER;
    }
    uint16_t f = req->format;
    if (op == DEV_CONNECT_SEND && f != 2 && f != 4 && f != 5 && f != 6) {
        LogMessage(5, "MakeConnection() invalid format %d", f);
        return DEV_INVALID_PARAMETER;
    }
    uint16_t r = 0;
    if (!IsComPortOpen()) {
        r = OpenAndInitialise(0);
        if (r)
            return r;
    }
    g_call.inCall = 1;
    g_call.failureCode = 0;
    char cmd[96];
    if (op == DEV_CONNECT_SEND) {
        if (req->totalPages < 1) {
            LogMessage(5, "Page count is 0");
            return DEV_INVALID_PARAMETER;
        }
        if (g_modem.model == 10 || g_modem.model == 11)
            ModemCommandParsed("Z", 0);
        r = ModemCheck();
        if (!r)
            r = InitialiseModem(1);
        if (!r)
            r = SetLocalId(req->number, 1);
        if (!r) {
            ComposeSendCaps(&g_modem, f, cmd, sizeof cmd);
            r = ModemCommandParsed(cmd, 0);
        }
        if (r) {
            LogMessage(5, "Error %s sending fax mode command to device", DeviceErrorText(r));
            return r;
        }
        ModemSleep(500);
        const DevOptions *o = DevGetOptions();
        char clean[DEV_NUMBER_SIZE];
        if (CleanTelephoneNumber(req->number ? req->number : "", clean, sizeof clean, 60) != 0 ||
            !ComposeDialCommand(o->toneDialling, o->dialPrefix, clean, o->dialSuffix, cmd, sizeof cmd)) {
            LogMessage(5, "Invalid telephone number %s", req->number ? req->number : "");
            return DEV_INVALID_PARAMETER;
        }
        LogMessage(3, "Dialling '%s'", cmd + 2);
    } else {
        if (!g_modem.autoAnswer) {
            if (g_modem.model == 10 || g_modem.model == 11)
                ModemCommandParsed("Z", 0);
            r = ModemCheck();
            if (!r)
                r = InitialiseModem(0);
            if (!r)
                r = SetLocalId("", 0);
            if (r)
                return r;
        } else {
            FlushComPort();
            g_call.ringSeen = 0;
        }
        if (g_modem.voiceCommands)
            CollectDtmfVoice();
        std::snprintf(cmd, sizeof cmd, "A");
    }
    r = SendNoReply(cmd);
    s_connectionType = op;
    s_format = f;
    ModemClearCallData();
    return r;
}

static uint16_t FaxFormatOfRemote(void) { return std::strcmp(g_call.remoteFormat, "G3F") == 0 ? 6 : 5; }

static void SetMinimumLineLength(void)
{
    int32_t scan = s_format == 5 ? g_call.scanNormal : g_call.scanFine;
    if (scan < 0) {
        LogMessage(4, "Using defaults for minimum line length");
        scan = 40;
    }
    uint16_t rate = g_call.bitRate ? g_call.bitRate : 9600;
    uint16_t len = MinLineLength(scan, rate);
    LogMessage(2, "%d ms at %d bps => min line len = %d bytes", static_cast<int>(scan), rate, len);
    ModemSetMinLineLength(len);
}

// "CED" in any case: the answer tone of a fax machine reported as text.
static int EqualsCed(const char *s)
{
    return (s[0] == 'C' || s[0] == 'c') && (s[1] == 'E' || s[1] == 'e') && (s[2] == 'D' || s[2] == 'd') && !s[3];
}

static uint16_t WaitDialSide(char *remoteId, uint16_t idSize, uint16_t *pageFormat)
{
    LogMessage(3, "Waiting for connection");
    uint32_t start = RtTickMs();
    int toneSeen = 0, armed = 0, connectSeen = 0;
    char reply[REPLY_SIZE];
    for (;;) {
        if (Elapsed(start) > DIAL_LIMIT_MS) {
            LogMessage(5, "No reply to dial command - assuming no answer");
            return DEV_FAX_ERROR;
        }
        uint16_t r = ReadReply(reply, sizeof reply, 1);
        if (r == 0) {
            if (EqualsCed(reply)) {
                toneSeen = 1;
                r = DEV_NO_REPLY;
            } else if (std::strcmp(reply, "a") == 0) {
                armed = 1;
                r = DEV_NO_REPLY;
            } else if (armed && std::strcmp(reply, "4") == 0) {
                LogMessage(2, "Replaced response '4' with '%s'", ModemWordText(MW_FAX_CONNECT));
                std::snprintf(reply, sizeof reply, "%s", ModemWordText(MW_FAX_CONNECT));
            } else if (std::strncmp(reply, "++F", 3) == 0) {
                char was[REPLY_SIZE];
                std::snprintf(was, sizeof was, "%s", reply);
                std::memmove(reply, reply + 1, std::strlen(reply));
                LogMessage(2, "Send : %s replaced with %s", was, reply);
            } else if (toneSeen && std::strcmp(reply, "f") == 0) {
                LogMessage(2, "Replaced response 'f' with '%s'", "CONNECT");
                std::snprintf(reply, sizeof reply, "CONNECT");
            }
        }
        if (r == DEV_NO_REPLY) {
            ModemSleep(500);
        } else if (r) {
            LogMessage(2, "Error %s reading fax reply", DeviceErrorText(r));
            return r;
        } else {
            uint16_t p = ParseModemReply(reply, DevCurrentState());
            if (p != 0 && p != 12)
                return p;
            int complete = 0;
            if (IsFaxConnect(reply)) {
                LogMessage(2, "Setting connect time");
            } else if (std::strncmp(reply, ModemWordText(MW_HANGUP), std::strlen(ModemWordText(MW_HANGUP))) == 0) {
                LogMessage(5, "Failed to connect to remote fax");
                return DEV_FAX_ERROR;
            } else if (IsOkReply(reply)) {
                LogMessage(2, "OK recd - sending <send data> message");
                if (SendNoReply("+FDT"))
                    LogMessage(5, "Error sending continue message");
            } else if (IsConnectReply(reply)) {
                if (g_modem.class20)
                    complete = 1;
                else
                    connectSeen = 1;
            } else if (std::strcmp(reply, "<XON>") == 0 && connectSeen) {
                complete = 1;
            }
            if (complete)
                break;
        }
        if (DevPollRequests()) {
            LogMessage(3, "Message received - aborting dial");
            return DEV_MESSAGE_ABORTED;
        }
    }
    SetMinimumLineLength();
    SetupRS232(19200, g_modem.sendTimeoutMs);
    std::snprintf(remoteId, idSize, "%s", g_call.remoteId);
    *pageFormat = FaxFormatOfRemote();
    SendFrameAsync(nullptr, 0, 0);
    LogMessage(2, "CSID = '%s', format = %d", g_call.remoteId, *pageFormat);
    ModemSleep(100);
    return 0;
}

static uint16_t WaitAnswerSide(char *remoteId, uint16_t idSize, uint16_t *pageFormat)
{
    LogMessage(3, "Waiting for connection");
    uint32_t start = RtTickMs();
    char reply[REPLY_SIZE];
    for (;;) {
        if (Elapsed(start) > ANSWER_LIMIT_MS) {
            LogMessage(5, "No reply to answer command - assuming no answer");
            return DEV_FAX_ERROR;
        }
        uint16_t r = ReadReply(reply, sizeof reply, 0);
        if (r == 0 && static_cast<unsigned char>(reply[0]) == 0xFF && reply[1] == 0)
            r = DEV_NO_REPLY;
        if (r == 0 && std::strncmp(reply, "++F", 3) == 0) {
            char was[REPLY_SIZE];
            std::snprintf(was, sizeof was, "%s", reply);
            std::memmove(reply, reply + 1, std::strlen(reply));
            LogMessage(2, "Receive : %s replaced with %s", was, reply);
        }
        if (r == DEV_NO_REPLY) {
            ModemSleep(250);
        } else if (r) {
            LogMessage(2, "Error %s reading fax reply", DeviceErrorText(r));
            return r;
        } else {
            uint16_t p = ParseModemReply(reply, DevCurrentState());
            if (p != 0 && p != 12)
                return p;
            if (std::strncmp(reply, ModemWordText(MW_HANGUP), std::strlen(ModemWordText(MW_HANGUP))) == 0) {
                LogMessage(5, "Failed to connect to incoming call");
                return DEV_FAX_ERROR;
            }
            if (IsOkReply(reply))
                break;
        }
        if (DevPollRequests()) {
            LogMessage(3, "Message received - aborting receive");
            return DEV_MESSAGE_ABORTED;
        }
    }
    ModemReceiveDataFrame(nullptr, 0, nullptr, nullptr, 0);
    std::snprintf(remoteId, idSize, "%s", g_call.remoteId);
    *pageFormat = FaxFormatOfRemote();
    LogMessage(2, "CSID = '%s', format = %d", g_call.remoteId, *pageFormat);
    char *sep = std::strchr(g_call.dtmf, g_modem.cliSeparator);
    if (g_modem.cliSeparator && sep) {
        std::snprintf(g_call.cli, sizeof g_call.cli, "%.20s", sep + 1);
        *sep = 0;
    }
    if (g_call.dtmf[0])
        LogMessage(2, "DTMF routing = %s", g_call.dtmf);
    if (g_call.cli[0])
        LogMessage(2, "CLI routing = %s", g_call.cli);
    if (g_call.subAddr[0])
        LogMessage(2, "SubAddr routing = %s", g_call.subAddr);
    DevSetRoutingDtmf(g_call.dtmf);
    DevSetRoutingCli(g_call.cli);
    DevSetRoutingSubAddr(g_call.subAddr);
    return 0;
}

uint16_t ModemWaitForConnect(char *remoteId, uint16_t idSize, uint16_t direction, uint16_t *pageFormat)
{
    uint16_t dummy = 0;
    if (!pageFormat)
        pageFormat = &dummy;
    if (remoteId && idSize)
        remoteId[0] = 0;
    char id[MODEM_ID_SIZE];
    uint16_t type = s_connectionType;
    if (!type)
        type = direction == DEV_ANSWERED ? DEV_CONNECT_ANSWER : DEV_CONNECT_SEND;
    uint16_t r;
    if (type == DEV_CONNECT_SEND)
        r = WaitDialSide(id, sizeof id, pageFormat);
    else if (type == DEV_CONNECT_ANSWER)
        r = WaitAnswerSide(id, sizeof id, pageFormat);
    else {
        LogMessage(6, "WaitForConnect() - invalid connection %d", type);
        return DEV_INVALID_PARAMETER;
    }
    if (r == 0 && remoteId && idSize)
        std::snprintf(remoteId, idSize, "%s", id);
    return r;
}

static uint16_t ModemSetDeviceOffline(void) { return ModemCloseDevice(); }
static uint16_t ModemSetDeviceOnline(void) { return OpenAndInitialise(1); }

const DevLowerLayer g_modemLowerLayer = {
    ModemTypeName,
    ModemReadDeviceIniFile,
    ModemInitialiseDevice,
    ModemPollDevice,
    ModemCheckFaxStatus,
    ModemWaitForDeviceRecovery,
    ModemCheckDeviceReady,
    ModemMakeConnection,
    ModemWaitForConnect,
    ModemCheckRemoteId,
    ModemChangeConnection,
    FaxSendDataBlock,
    ModemReceiveDataFrame,
    RenderFaxPageHeader,
    ModemPrintStatusReport,
    ModemIsDocumentOnADF,
    ModemCancelJob,
    ModemWaitForJobToFinish,
    ModemFinishDeviceJob,
    ModemSetDeviceOffline,
    ModemCheckADFOffline,
    ModemSetDeviceOnline,
    ModemCloseDevice,
};
