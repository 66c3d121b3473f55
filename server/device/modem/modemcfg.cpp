// The modem paragraph of the setup INI: model table, modem keys and the
// base initialisation string.
#include <cstdlib>
#include <cstring>

#include "common/ctlfile.h"
#include "server/device/modem/modem.h"
#include "server/runtime/srvlog.h"

ModemSettings g_modem;

// ---------------------------------------------------------------- model table
struct ModelName {
    const char *name;
    uint16_t model;
};
// Compared over the name's length, any case; the first match wins.
static const ModelName kModelNames[] = {
    {"Amber Logic AL9642 fax modem", 1}, {"Amber Logic Mistral FXS fax modem", 1},
    {"Amber Logic Mistral 14400B fax modem", 1}, {"Amber Logic", 1}, {"Amberlogic", 1},
    {"Andest Roadrunner fax modem", 2}, {"Andest", 2},
    {"Ascom AM2496F fax modem", 3}, {"Ascom", 3},
    {"Banksia", 13},
    {"CXR Digimodem", 22},
    {"Dataflex Comfax II fax modem", 4}, {"Dataflex", 4},
    {"Elink", 14},
    {"Multitech MT1432 fax modem", 6}, {"Multitech MultiModem II fax modem", 6}, {"Multitech", 6},
    {"Nokia", 12},
    {"Pace Microlin fx fax modem", 8},
    {"Pace Microlin fx 32 Plus fax modem", 9}, {"Pace Microlin fx 32 Plus fax mode", 9},
    {"Pace", 8},
    {"Practical Peripherals", 15},
    {"Psion Dacom PDM60F fax modem", 7}, {"Psion Dacom", 7},
    {"Racal", 16},
    {"Smartlink InModem E4F/M4F fax modem", 5}, {"Smartlink", 5},
    {"SpartaCom Spartadis", 22},
    {"Supra", 17},
    {"Twincomm", 18},
    {"Zoom", 19},
    {"ZyXEL 2864I ISDN voice fax modem", 20},
    {"ZyXEL", 21},
    {"USRobotics Sportster Vi voice fax modem", 11},
    {"USRobotics", 10},
    {"Other EIA Class 2 fax modem", MODEM_GENERIC},
};

// Per-model settings; a zero field leaves the default.
struct ModelRow {
    uint16_t model;
    const char *logLine;
    const char *serviceClass;       // null: ask the modem
    uint16_t faxSpeed;              // transmit and receive
    uint32_t portSpeed;             // replaces BaudRate
    const char *extra;
    int receiveReversedOff;         // first receive bit-order flag off
    int autoAnswer;
    int voice;
    int fullReplies;
    int sendCapsSubset;
    int sessionCapability;
    uint16_t commandDelay;
    int32_t checkFreqWithUser;      // check frequency when RecdUser is set
    int extendedRing;
    int isdnRing;
};
static const ModelRow kModels[] = {
    {1, "Configured for Amber Logic modem", "2", 14400, 19200, "S31=3&D3", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {2, "Configured for Andest modem", "2", 0, 0, "", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {3, "Configured for Ascom modem", "2", 0, 0, "", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {4, "Configured for Dataflex modem", "2", 0, 0, "", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {5, "Configured for Smartlink modem", "2", 0, 0, "", 1, 1, 0, 0, 0, 0, 0, 0, 0, 0},
    {6, "Configured for Multitech modem", "2", 0, 0, "", 1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {7, "Configured for Psion modem", "2", 0, 0, "", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {8, "Configured for Pace modem", "2", 0, 19200, "S92=4", 0, 0, 1, 0, 0, 0, 0, 0, 0, 0},
    {9, "Configured for Pace fx 32 plus modem", "2", 14400, 19200, "", 0, 0, 1, 0, 0, 0, 0, 0, 0, 0},
    {10, "Configured for USRobotics modem", "2.0", 0, 0, "", 0, 0, 0, 0, 1, 1, 200, 0, 0, 0},
    {11, "Configured for USRobotics voice modem", "2.0", 0, 0, "", 0, 0, 1, 0, 1, 1, 200, 0, 0, 0},
    {12, "Configured for Nokia data adaptor", "2", 0, 0, "", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {13, "Configured for Banksia modem", "2", 0, 0, "", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {14, "Configured for Elink terminal adaptor", "2", 0, 0, "", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {15, "Configured for Practical Peripherals modem", "2", 0, 0, "", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {16, "Configured for Racal modem", "2", 0, 0, "", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {17, "Configured for Supra modem", "2", 0, 0, "", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {18, "Configured for Twincomm modem", "2", 0, 0, "", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {19, "Configured for Zoom modem", "2", 0, 0, "", 0, 0, 1, 0, 0, 0, 0, 0, 0, 0},
    {20, "Configured for ZyXEL ISDN modem", "2", 0, 0, "&L1&O0", 0, 0, 0, 1, 0, 0, 0, 900, 0, 1},
    {21, "Configured for ZyXEL modem", "2", 0, 0, "", 0, 0, 0, 1, 0, 0, 0, 0, 0, 0},
    {22, "Configured for Spartadis terminal adaptor", "2", 0, 0, "", 0, 0, 0, 0, 0, 0, 0, 0, 1, 0},
    {MODEM_GENERIC, "Configured for generic Class 2 modem", nullptr, 0, 0, "", 0, 0, 1, 0, 0, 0, 0, 0, 0, 0},
};

static char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

static void CopyBounded(char *dst, size_t size, const char *src)
{
    size_t n = 0;
    while (src && src[n] && n + 1 < size) {
        dst[n] = src[n];
        ++n;
    }
    if (size)
        dst[n] = 0;
}

static int EqualsNoCase(const char *a, const char *b)
{
    for (; *a && *b; ++a, ++b)
        if (UpperAscii(*a) != UpperAscii(*b))
            return 0;
    return *a == *b;
}

uint16_t ModemModelOfType(const char *type)
{
    for (const ModelName &m : kModelNames) {
        size_t i = 0;
        while (m.name[i] && type[i] && UpperAscii(m.name[i]) == UpperAscii(type[i]))
            ++i;
        if (m.name[i] == 0)
            return m.model;
    }
    return MODEM_GENERIC;
}

void ModemSetDefaults(ModemSettings *s, uint32_t baudRate)
{
    std::memset(s, 0, sizeof *s);
    s->model = MODEM_GENERIC;
    s->portSpeed = baudRate ? baudRate : 9600;
    s->transmitSpeed = 9600;
    s->receiveSpeed = 9600;
    s->detectDial = 1;
    s->detectBusy = 1;
    s->receiveReversed2 = 1;
    s->receiveReversed20 = 0;
    s->filterReceive = 1;
    s->controlDtr = 1;
    s->ignoreDsr = 1;
    s->sendTimeoutMs = 40000;
    s->sendPageTimeout1 = 120;
    s->sendPageTimeout2 = 120;
    s->sendPageTimeout3 = 60;
    s->receivePageTimeout = 60;
    s->shortReplies = 1;
    s->ignorePageErrors = 1;
    s->setCarrierTimeout = 1;
    s->pageLength = 2;
    s->setAllSendCaps = 1;
    s->dtmfWait1 = 3000;
    s->dtmfWait2 = 2000;
    s->dtmfEndChar = '#';
    s->cliSeparator = '*';
    s->volume = MODEM_VOLUME_MEDIUM;
    s->checkFrequency = -1;
    s->commandDelay = 100;
}

void ModemApplyModel(ModemSettings *s, uint16_t model, int hasRecdUser)
{
    const ModelRow *row = &kModels[sizeof kModels / sizeof kModels[0] - 1];
    for (const ModelRow &r : kModels)
        if (r.model == model) {
            row = &r;
            break;
        }
    s->model = row->model;
    LogMessage(3, "%s", row->logLine);
    if (row->serviceClass)
        CopyBounded(s->serviceClass, sizeof s->serviceClass, row->serviceClass);
    if (row->faxSpeed)
        s->transmitSpeed = s->receiveSpeed = row->faxSpeed;
    if (row->portSpeed)
        s->portSpeed = row->portSpeed;
    CopyBounded(s->extra, sizeof s->extra, row->extra);
    if (row->receiveReversedOff)
        s->receiveReversed2 = 0;
    if (row->autoAnswer)
        s->autoAnswer = 1;
    s->voiceCommands = row->voice;
    if (row->fullReplies)
        s->shortReplies = 0;
    if (row->sendCapsSubset)
        s->setAllSendCaps = 0;
    if (row->sessionCapability)
        s->useSessionCapability = 1;
    if (row->commandDelay)
        s->commandDelay = row->commandDelay;
    if (row->checkFreqWithUser && hasRecdUser)
        s->checkFrequency = row->checkFreqWithUser;
    s->extendedRing = row->extendedRing;
    s->isdnRing = row->isdnRing;
}

// ---------------------------------------------------------------- keys
struct KeyReader {
    FILE *f;
    int32_t start;
    char value[TV_LINE_SIZE];
    // 1 with the value when the key is there.
    int Get(const char *key)
    {
        value[0] = 0;
        return GetStringEntry(f, key, value, sizeof value, start);
    }
    int Letter(void) const
    {
        const char *v = value;
        while (*v == ' ' || *v == '\t')
            ++v;
        return UpperAscii(*v);
    }
};

// A yes-unless-N key.
static void YesUnlessN(KeyReader &k, const char *key, int *flag, const char *onText, const char *offText)
{
    if (!k.Get(key))
        return;
    *flag = k.Letter() != 'N';
    if (onText)
        LogMessage(3, "%s", *flag ? onText : offText);
}

// A no-unless-Y key.
static void NoUnlessY(KeyReader &k, const char *key, int *flag, const char *onText, const char *offText)
{
    if (!k.Get(key))
        return;
    *flag = k.Letter() == 'Y';
    if (onText)
        LogMessage(3, "%s", *flag ? onText : offText);
}

static void UserInit(KeyReader &k, const char *key, char *out, const char *logText)
{
    if (!k.Get(key))
        return;
    const char *v = k.value;
    if ((v[0] == 'A' || v[0] == 'a') && (v[1] == 'T' || v[1] == 't'))
        v += 2;
    CopyBounded(out, MODEM_USER_INIT_SIZE, v);
    if (out[0])
        LogMessage(3, "%s", logText);
}

// A decimal value with nothing but blanks after it; 0 when not a number.
static int ParseNumber(const char *v, long *out)
{
    while (*v == ' ' || *v == '\t')
        ++v;
    if (!*v)
        return 0;
    char *end = nullptr;
    long n = std::strtol(v, &end, 10);
    if (end == v)
        return 0;
    while (*end == ' ' || *end == '\t')
        ++end;
    if (*end)
        return 0;
    *out = n;
    return 1;
}

static void Seconds(KeyReader &k, const char *key, long lo, long hi, uint16_t *out, const char *logFmt,
                    const char *badText)
{
    if (!k.Get(key))
        return;
    long n = 0;
    if (!ParseNumber(k.value, &n) || n < lo || n > hi) {
        LogMessage(5, "%s", badText);
        return;
    }
    *out = static_cast<uint16_t>(n);
    LogMessage(3, logFmt, static_cast<int>(n));
}

static int ValidFaxSpeed(long n)
{
    return n == 2400 || n == 4800 || n == 7200 || n == 9600 || n == 12000 || n == 14400;
}

static void FaxSpeed(KeyReader &k, const char *key, uint16_t *speed, const char *logFmt, const char *badText)
{
    if (!k.Get(key))
        return;
    long n = 0;
    if (!ParseNumber(k.value, &n) || (n != 0 && !ValidFaxSpeed(n))) {
        LogMessage(5, "%s", badText);
        return;
    }
    if (n == 0)
        return;
    if (n < 9600 && n != *speed)
        LogMessage(3, logFmt, static_cast<int>(n));
    *speed = static_cast<uint16_t>(n);
}

static int BoolKey(KeyReader &k, const char *key, int *flag)
{
    int32_t v = 0;
    if (!GetBoolEntry(k.f, key, &v, k.start))
        return 0;
    *flag = v ? 1 : 0;
    return 1;
}

void ModemReadKeys(ModemSettings *s, FILE *f, int32_t paraPos, int hasRecdUser)
{
    KeyReader k{f, paraPos, {0}};
    UserInit(k, "StartInit:", s->startInit, "StartInit parameter set");
    UserInit(k, "CheckInit1:", s->checkInit1, "CheckInit1 parameter set");
    UserInit(k, "CheckInit2:", s->checkInit2, "CheckInit2 parameter set");
    UserInit(k, "SendInit:", s->sendInit, "SendInit parameter set");
    UserInit(k, "ReceiveInit:", s->receiveInit, "ReceiveInit parameter set");
    YesUnlessN(k, "DetectDial:", &s->detectDial, nullptr, nullptr);
    YesUnlessN(k, "DetectBusy:", &s->detectBusy, nullptr, nullptr);
    NoUnlessY(k, "SendReversed:", &s->sendReversed, nullptr, nullptr);
    if (s->sendReversed)
        LogMessage(3, "Send bit order reversed - not implemented");
    if (k.Get("ReceiveReversed:")) {
        // The key sets both receive flags together.
        int on = k.Letter() != 'N';
        s->receiveReversed2 = on;
        s->receiveReversed20 = on;
        LogMessage(3, "%s", on ? "Receive bit order reversed" : "Receive bit order not reversed");
    }
    YesUnlessN(k, "FilterReceive:", &s->filterReceive, "Received data filtered", "Received data not filtered");
    NoUnlessY(k, "ControlDTR:", &s->controlDtr, "ControlDTR parameter enabled", "ControlDTR parameter disabled");
    YesUnlessN(k, "IgnoreDSR:", &s->ignoreDsr, nullptr, nullptr);
    NoUnlessY(k, "IgnoreCTS:", &s->ignoreCts, nullptr, nullptr);
    uint16_t sendTimeout = static_cast<uint16_t>(s->sendTimeoutMs / 1000);
    Seconds(k, "SendTimeout:", 1, 65, &sendTimeout, "Send data timeout set to %d seconds",
            "SendTimeout: parameter invalid");
    s->sendTimeoutMs = static_cast<uint32_t>(sendTimeout) * 1000u;
    Seconds(k, "SendPageTimeout1:", 1, 600, &s->sendPageTimeout1, "Send page timeout 1 set to %d seconds",
            "SendPageTimeout1: parameter invalid");
    Seconds(k, "SendPageTimeout2:", 1, 600, &s->sendPageTimeout2, "Send page timeout 2 set to %d seconds",
            "SendPageTimeout2: parameter invalid");
    Seconds(k, "SendPageTimeout3:", 1, 600, &s->sendPageTimeout3, "Send page timeout 3 set to %d seconds",
            "SendPageTimeout3: parameter invalid");
    Seconds(k, "ReceivePageTimeout:", 1, 600, &s->receivePageTimeout, "Receive page timeout set to %d seconds",
            "ReceivePageTimeout: parameter invalid");
    NoUnlessY(k, "AutoAnswer:", &s->autoAnswer, "Modem set to auto answer", "Modem not set to auto answer");
    YesUnlessN(k, "ShortReplies:", &s->shortReplies, "Using short modem replies", "Using full length modem replies");
    NoUnlessY(k, "LogComms:", &s->logComms, "Logging communication errors", "Communication errors not logged");
    NoUnlessY(k, "PadLines:", &s->padLines, "Line padding sent to modem", "Line padding performed by modem");
    FaxSpeed(k, "TransmitSpeed:", &s->transmitSpeed, "Transmit initial speed set to %d",
             "TransmitSpeed: parameter invalid");
    FaxSpeed(k, "ReceiveSpeed:", &s->receiveSpeed, "Receive initial speed set to %d",
             "ReceiveSpeed: parameter invalid");
    if (k.Get("ErrorCorrection:")) {
        const char *v = k.value;
        if (EqualsNoCase(v, "OFF") || EqualsNoCase(v, "NO")) {
            s->ecm = 0;
            LogMessage(3, "Error correction disabled");
        } else if (EqualsNoCase(v, "ON") || EqualsNoCase(v, "YES") || std::strcmp(v, "256") == 0) {
            s->ecm = 2;
            LogMessage(3, "Error correction enabled (frame = 256)");
        } else if (std::strcmp(v, "64") == 0) {
            s->ecm = 1;
            LogMessage(3, "Error correction enabled (frame = 64)");
        } else {
            LogMessage(5, "ErrorCorrection: parameter invalid");
        }
    }
    if (k.Get("IgnorePageErrors:")) {
        s->ignorePageErrors = k.Letter() != 'N';
        if (!s->ignorePageErrors)
            LogMessage(3, "Page errors when sending not ignored");
    }
    YesUnlessN(k, "SetCarrierTimeout:", &s->setCarrierTimeout, "Enabling setting of carrier timeout",
               "Disabling setting of carrier timeout");
    if (k.Get("ServiceClass:") && k.value[0]) {
        if (std::strcmp(k.value, "2") == 0 || std::strcmp(k.value, "2.0") == 0) {
            CopyBounded(s->serviceClass, sizeof s->serviceClass, k.value);
            LogMessage(3, "Forcing fax modem to Service Class %s", s->serviceClass);
        } else {
            LogMessage(5, "ServiceClass: parameter invalid");
        }
    }
    if (k.Get("A4PageLen:")) {
        s->pageLength = k.Letter() == 'N' ? 2 : 0;
        LogMessage(3, "%s", s->pageLength == 0 ? "Fax length restricted to A4" : "Fax length not restricted to A4");
    }
    if (BoolKey(k, "SetAllSendCaps:", &s->setAllSendCaps))
        LogMessage(3, "%s",
                   s->setAllSendCaps ? "All send capabilities specified" : "Subset of send capabilities specified");
    if (BoolKey(k, "UseSessionCapability:", &s->useSessionCapability))
        LogMessage(3, "%s", s->useSessionCapability ? "Using Session Capability command" : "Using DTE Capability command");
    if (k.Get("DTMFWait1:")) {
        long n = 0;
        if (ParseNumber(k.value, &n) && (n < 0 || n > 32000)) {
            LogMessage(5, "DTMFWait1: parameter out of range (0 to 32000ms)");
            s->dtmfWait1 = 3000;
        } else if (!ParseNumber(k.value, &n) || n == 0) {
            s->dtmfWait1 = 3000;
        } else {
            s->dtmfWait1 = static_cast<uint16_t>(n);
            LogMessage(3, "1st DTMF tone wait period set");
        }
    }
    if (k.Get("DTMFWait2:")) {
        long n = 0;
        if (ParseNumber(k.value, &n) && (n < 0 || n > 32000)) {
            LogMessage(5, "DTMFWait2: parameter out of range (0 to 32000ms)");
            s->dtmfWait2 = 2000;
        } else if (!ParseNumber(k.value, &n) || n == 0) {
            s->dtmfWait2 = 2000;
        } else {
            s->dtmfWait2 = static_cast<uint16_t>(n);
            LogMessage(3, "2nd DTMF tone wait period set");
        }
    }
    if (k.Get("DTMFEndChar:")) {
        if (std::strlen(k.value) > 1) {
            LogMessage(5, "DTMFEndChar: parameter must be a single character");
            s->dtmfEndChar = '#';
        } else if (!k.value[0]) {
            s->dtmfEndChar = '#';
        } else {
            s->dtmfEndChar = k.value[0];
            LogMessage(3, "DTMF termination character set");
        }
    }
    if (k.Get("CLISeparatorChar:")) {
        if (std::strlen(k.value) > 1) {
            LogMessage(5, "CLISeparatorChar: parameter must be a single character");
            s->cliSeparator = '*';
        } else if (!k.value[0]) {
            s->cliSeparator = '*';
        } else {
            s->cliSeparator = k.value[0];
            LogMessage(3, "CLI separator character set");
        }
    }
    if (k.Get("SpeakerVolume:")) {
        if (EqualsNoCase(k.value, "HIGH"))
            s->volume = MODEM_VOLUME_HIGH;
        else if (EqualsNoCase(k.value, "MEDIUM"))
            s->volume = MODEM_VOLUME_MEDIUM;
        else if (EqualsNoCase(k.value, "LOW"))
            s->volume = MODEM_VOLUME_LOW;
        else
            LogMessage(5, "SpeakerVolume: line invalid in initialisation file");
    }
    if (BoolKey(k, "VoiceCommands:", &s->voiceCommands))
        LogMessage(3, "%s", s->voiceCommands ? "Voice commands enabled" : "Voice commands disabled");
    if (k.Get("CheckFrequency:")) {
        long n = 0;
        if (!ParseNumber(k.value, &n) || n < 0 || n > 3600) {
            LogMessage(5, "CheckFrequency: parameter out of range (0 to 3600s)");
        } else {
            s->checkFrequency = static_cast<int32_t>(n);
            if (n)
                LogMessage(3, "Checking modem every %d seconds", static_cast<int>(n));
            else
                LogMessage(3, "Regular modem checking disabled");
        }
    }
    if (hasRecdUser) {
        s->keepPortOpen = 1; // incoming calls need the port watched
    } else if (BoolKey(k, "KeepPortOpen:", &s->keepPortOpen) && s->keepPortOpen) {
        LogMessage(3, "Keeping COM port open between calls");
    }
    if (k.Get("CommandDelay:")) {
        long n = 0;
        if (!ParseNumber(k.value, &n) || n < 0 || n > 30000) {
            LogMessage(5, "CommandDelay: parameter invalid");
        } else {
            s->commandDelay = static_cast<uint16_t>(n);
            LogMessage(3, "Modem command delay set to %d ms", static_cast<int>(n));
        }
    }
    s->class20 = std::strcmp(s->serviceClass, "2.0") == 0;
}

void ModemComposeBaseInit(ModemSettings *s, uint16_t speaker)
{
    char buf[MODEM_BASE_INIT_SIZE + 40];
    std::snprintf(buf, sizeof buf, "E0V%dQ0S0=%d&C1&D2%s%s", s->shortReplies ? 0 : 1, s->autoAnswer ? 2 : 0,
                  speaker == DEV_SPEAKER_ON ? "M2" : speaker == DEV_SPEAKER_CONNECT ? "M1" : "M0",
                  s->volume == MODEM_VOLUME_HIGH ? "L3" : s->volume == MODEM_VOLUME_LOW ? "L1" : "L2");
    size_t n = std::strlen(buf);
    if (n + std::strlen(s->extra) < MODEM_BASE_INIT_SIZE - 1)
        std::strcat(buf, s->extra);
    CopyBounded(s->baseInit, sizeof s->baseInit, buf);
}
