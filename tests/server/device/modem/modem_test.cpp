// Fax modem driver: model table and modem paragraph, reply parser, command
// texts, page framing, and the AT dialogue and page transfer against a
// scripted port (no serial device needed).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "server/device/devctl.h"
#include "server/device/modem/modem.h"
#include "server/runtime/rtclock.h"
#include "server/runtime/srvlog.h"

namespace {

// ---------------------------------------------------------------- fixtures
// A clock whose sleeps only move the tick: the driver's waits cost nothing.
uint32_t g_fakeTick;
uint32_t FakeTick(void) { return g_fakeTick; }
void FakeSleep(uint32_t ms) { g_fakeTick += ms; }
const RtClock kFakeClock = {FakeTick, FakeSleep, nullptr};

// A scripted modem behind the port: every write is recorded, and when the
// writes so far hold the next trigger its reply becomes readable.
struct ScriptStep {
    std::string trigger;
    std::string reply;
};
struct FakeModem {
    std::string written;
    size_t matchedUpTo = 0;
    std::string rx;
    std::vector<ScriptStep> script;
    size_t next = 0;
    int reads = 0;
    uint32_t answerFrom = 0; // from this tick on every command is answered OK
    void Advance()
    {
        while (next < script.size()) {
            size_t at = script[next].trigger.empty() ? matchedUpTo : written.find(script[next].trigger, matchedUpTo);
            if (at == std::string::npos)
                return;
            matchedUpTo = at + script[next].trigger.size();
            rx += script[next].reply;
            ++next;
        }
    }
};
FakeModem *g_fake;

uint16_t FOpen(const char *, uint32_t *) { return PORT_OK; }
int FClose(uint32_t *) { return 1; }
int FSetup(uint32_t, int, int, int, uint32_t, uint32_t *) { return 0; }
int FWrite(const unsigned char *d, uint32_t n, uint32_t *w, uint32_t *)
{
    g_fake->written.append(reinterpret_cast<const char *>(d), n);
    g_fake->Advance();
    if (g_fake->answerFrom && g_fakeTick >= g_fake->answerFrom && n && d[n - 1] == '\r')
        g_fake->rx += "0\r";
    *w = n;
    return 1;
}
uint32_t g_slotLen[2];
int FWriteStart(int slot, const unsigned char *d, uint32_t n, uint32_t *e)
{
    g_slotLen[slot] = n;
    uint32_t w;
    return FWrite(d, n, &w, e);
}
int FWriteWait(int slot, uint32_t *w, uint32_t *)
{
    *w = g_slotLen[slot];
    return 1;
}
int FRead(unsigned char *buf, uint32_t len, uint32_t *got, uint32_t *)
{
    ++g_fake->reads;
    uint32_t n = static_cast<uint32_t>(g_fake->rx.size()) < len ? static_cast<uint32_t>(g_fake->rx.size()) : len;
    std::memcpy(buf, g_fake->rx.data(), n);
    g_fake->rx.erase(0, n);
    *got = n;
    if (n == 0)
        g_fakeTick += 500; // a read time-out
    return 1;
}
int FPurge(int input, int, uint32_t *)
{
    // Bytes the driver has not read yet are gone, as on a real port.
    if (input)
        g_fake->rx.clear();
    return 1;
}
int FErrors(uint32_t *f, uint32_t *)
{
    *f = 0;
    return 1;
}
int FLines(int, uint32_t *e)
{
    *e = 50;
    return 0;
}
const ModemPort kFakePort = {FOpen, FClose, FSetup, FWrite, FWriteStart, FWriteWait, FRead, FPurge, FErrors, FLines};

class ModemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        log_ = std::tmpfile();
        LogInit(log_, "", 1, "FCLASS-1");
        SetRuntimeClock(&kFakeClock);
        DevReset(&g_modemLowerLayer, 1);
        ModemSetDefaults(&g_modem, 9600);
        ModemComposeBaseInit(&g_modem, DEV_SPEAKER_OFF);
        std::memset(&g_call, 0, sizeof g_call);
        ModemClearCallData();
        ModemSetPort(&kFakePort);
        g_fake = &fake_;
    }
    void TearDown() override
    {
        CloseComPort();
        ModemSetPort(nullptr);
        SetRuntimeClock(nullptr);
        static FILE *quiet = std::tmpfile();
        LogInit(quiet, "", 6, "TEST");
        std::fclose(log_);
    }
    std::string Log()
    {
        std::fflush(log_);
        std::string s;
        std::rewind(log_);
        char buf[512];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, log_)) > 0)
            s.append(buf, n);
        return s;
    }
    bool Logged(const char *text) { return Log().find(text) != std::string::npos; }
    // Reads a setup INI from text and runs the driver's configuration.
    uint16_t ReadIni(const std::string &text)
    {
        FILE *f = std::tmpfile();
        std::fwrite(text.data(), 1, text.size(), f);
        std::rewind(f);
        uint16_t r = ModemReadDeviceIniFile(1, f);
        std::fclose(f);
        return r;
    }
    void OpenFakePort()
    {
        ASSERT_EQ(0, ReadIni("[FCLASS-1]\r\nPort: COM1\r\n[OPTIONS]\r\n"));
        ASSERT_EQ(0, OpenComPort());
    }
    FILE *log_ = nullptr;
    FakeModem fake_;
};

// ---------------------------------------------------------------- configuration
TEST_F(ModemTest, ModelTableMatchesPrefixesInOrderIgnoringCase)
{
    const struct {
        const char *type;
        uint16_t model;
    } cases[] = {
        {"USRobotics Sportster Vi voice fax modem", 11},
        {"usrobotics courier", 10},
        {"USROBOTICS", 10},
        {"Pace Microlin fx 32 Plus fax modem", 9},
        {"Pace Microlin fx fax modem", 8},
        {"pace anything", 8},
        {"ZyXEL 2864I ISDN voice fax modem", 20},
        {"zyxel u1496", 21},
        {"SpartaCom Spartadis", 22},
        {"CXR Digimodem 2", 22},
        {"Amberlogic", 1},
        {"Smartlink", 5},
        {"Other EIA Class 2 fax modem", 100},
        {"Hayes Optima", 100},
        {"", 100},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.model, ModemModelOfType(c.type)) << c.type;
}

TEST_F(ModemTest, ParagraphKeysOverrideTheModel)
{
    ASSERT_EQ(0, ReadIni("[FCLASS-1]\r\nPort: COM2\r\nType: Amber Logic AL9642 fax modem\r\n"
                         "StartInit: ATX1&K3\r\nCheckInit1: atS0=0\r\nSendInit: +FAA=0\r\n"
                         "TransmitSpeed: 14400\r\nReceiveSpeed: 4800\r\nServiceClass: 2.0\r\n"
                         "SpeakerVolume: HIGH\r\nShortReplies: No\r\nAutoAnswer: Yes\r\n"
                         "[OPTIONS]\r\nCSIDSeparator: *\r\n"));
    EXPECT_EQ(1, g_modem.model);
    EXPECT_STREQ("X1&K3", g_modem.startInit);
    EXPECT_STREQ("S0=0", g_modem.checkInit1);
    EXPECT_STREQ("+FAA=0", g_modem.sendInit);
    EXPECT_EQ(19200u, g_modem.portSpeed); // the model's port speed beats BaudRate
    EXPECT_EQ(14400, g_modem.transmitSpeed);
    EXPECT_EQ(4800, g_modem.receiveSpeed);
    EXPECT_TRUE(g_modem.class20);
    EXPECT_STREQ("+FCC=", ModemWordText(MW_CMD_DTE_CAP));
    EXPECT_STREQ("+FHS:", ModemWordText(MW_HANGUP));
    EXPECT_STREQ("E0V1Q0S0=2&C1&D2M0L3S31=3&D3", g_modem.baseInit);
    std::string log = Log();
    EXPECT_NE(std::string::npos, log.find("Configured for Amber Logic modem"));
    EXPECT_NE(std::string::npos, log.find("Receive initial speed set to 4800"));
    EXPECT_EQ(std::string::npos, log.find("Transmit initial speed set to"));
    EXPECT_NE(std::string::npos, log.find("Forcing fax modem to Service Class 2.0"));
}

TEST_F(ModemTest, BadValuesAreLoggedAndLeaveTheSetting)
{
    ASSERT_EQ(0, ReadIni("[FCLASS-1]\r\nPort: COM2\r\nTransmitSpeed: 28800\r\nReceiveSpeed: 0\r\n"
                         "SendTimeout: 66\r\nCheckFrequency: 4000\r\nServiceClass: 1\r\n"
                         "DTMFWait1: 40000\r\nDTMFEndChar: ##\r\nKeepPortOpen: no\r\nRecdUser: ANNE\r\n"
                         "CommandDelay: 250\r\n[OPTIONS]\r\n"));
    EXPECT_EQ(MODEM_GENERIC, g_modem.model);
    EXPECT_EQ(9600, g_modem.transmitSpeed);
    EXPECT_EQ(9600, g_modem.receiveSpeed);
    EXPECT_EQ(40000u, g_modem.sendTimeoutMs);
    EXPECT_EQ(-1, g_modem.checkFrequency);
    EXPECT_STREQ("", g_modem.serviceClass);
    EXPECT_EQ(3000, g_modem.dtmfWait1);
    EXPECT_EQ('#', g_modem.dtmfEndChar);
    EXPECT_EQ(1, g_modem.keepPortOpen); // a user for incoming calls keeps the port open
    EXPECT_EQ(250, g_modem.commandDelay);
    EXPECT_TRUE(g_modem.voiceCommands);
    EXPECT_STREQ("E0V0Q0S0=0&C1&D2M0L2", g_modem.baseInit);
    for (const char *t : {"TransmitSpeed: parameter invalid", "SendTimeout: parameter invalid",
                          "CheckFrequency: parameter out of range (0 to 3600s)", "ServiceClass: parameter invalid",
                          "DTMFWait1: parameter out of range (0 to 32000ms)",
                          "DTMFEndChar: parameter must be a single character", "Type: line missing from Init file",
                          "Configured for generic Class 2 modem"})
        EXPECT_TRUE(Logged(t)) << t;
}

TEST_F(ModemTest, MissingParagraphIsRefused)
{
    EXPECT_NE(0, ReadIni("[FCLASS-2]\r\nPort: COM2\r\n[OPTIONS]\r\n"));
    EXPECT_TRUE(Logged("[FCLASS-1] paragraph missing in Init file"));
}

// ---------------------------------------------------------------- reply parser
TEST_F(ModemTest, ParserResultsByReplySetClassAndState)
{
    const uint16_t WC = DEV_STATE_WAIT_CONNECT, SE = DEV_STATE_SENDING, ID = DEV_STATE_IDLE,
                   CR = DEV_STATE_CALL_RECEIVED;
    const struct {
        int shortReplies, class20, ignorePageErrors, inCall;
        uint16_t state;
        const char *line;
        uint16_t result;
        uint16_t failure;
        int ring;
    } cases[] = {
        {1, 0, 1, 0, ID, "0", 0, 0, 0},
        {1, 0, 1, 0, ID, "2", 0, 0, 1},             // a numeric ring is the whole reply "2"
        {1, 0, 1, 0, ID, "22", 0, 0, 0},            // CONNECT 75TX/1200RX, not a ring
        {1, 0, 1, 0, ID, "24", 20, 0, 0},           // DELAYED
        {1, 0, 1, 0, ID, "2,2.0", 12, 0, 0},        // a class list is no ring
        {1, 0, 1, 0, ID, "RING", 0, 0, 1},
        {0, 0, 1, 0, ID, "RING", 0, 0, 1},
        {0, 0, 1, 0, ID, "2", 12, 0, 0},            // with verbose replies "2" is nothing
        {1, 0, 1, 0, WC, "7", 8, 0xF10A, 0},
        {0, 0, 1, 0, WC, "BUSY", 8, 0xF10A, 0},
        {1, 0, 1, 0, WC, "6", 8, 0xF10C, 0},
        {1, 0, 1, 0, WC, "8", 8, 0xF10B, 0},
        {1, 0, 1, 0, WC, "3", 8, 0, 0},
        {1, 0, 1, 0, SE, "3", 0, 0, 0},             // no call in progress
        {1, 0, 1, 1, SE, "3", 20, 0, 0},
        {1, 0, 1, 0, ID, "4", 9, 0, 0},
        {0, 0, 1, 0, ID, "ERROR", 9, 0, 0},
        {0, 0, 1, 0, ID, "CONNECT 9600 FAX", 0, 0, 0},
        {1, 0, 1, 0, ID, "49", 0, 0, 0},
        {1, 0, 1, 0, SE, "+FPTS: 1", 12, 0, 0},
        {1, 0, 1, 0, SE, "+FPTS: 0", 12, 0, 0},
        {1, 0, 1, 0, SE, "+FPTS: 2", 12, 0, 0},
        {1, 0, 0, 0, SE, "+FPTS: 2", 20, 0, 0},
        {1, 0, 1, 0, SE, "+FPTS: 4", 20, 0, 0},
        {1, 0, 1, 0, SE, "+FPTS:", 20, 0, 0},
        {1, 1, 1, 0, SE, "+FPS: 1", 12, 0, 0},
        {1, 0, 1, 0, SE, "+FHNG: 0", 12, 0, 0},
        {1, 0, 1, 0, SE, "+FHNG: 50", 20, 0, 0},
        {1, 0, 1, 0, WC, "+FHNG: 50", 8, 0, 0},
        {1, 0, 1, 0, WC, "+FHNG: 11", 8, 0xF10B, 0},
        {1, 1, 1, 0, SE, "+FHS:43", 20, 0, 0},
        {1, 1, 1, 0, CR, "+FHS:02", 8, 0, 0},
        {1, 1, 1, 0, SE, "+FHS:zz", 20, 0, 0},
        {1, 0, 1, 0, ID, "+FCON", 12, 0, 0},
        {1, 1, 1, 0, ID, "+FCO", 12, 0, 0},
        {1, 0, 1, 0, ID, "+FET: 2", 12, 0, 0},
        {1, 0, 1, 0, ID, "VCON", 12, 0, 0},
        {1, 0, 1, 0, ID, "ATD123", 20, 0, 0},     // an echoed command
        {1, 0, 1, 0, ID, "\x01junk\x7f", 12, 0, 0},
        {1, 0, 1, 0, ID, "o12", 20, 0, 0},
    };
    for (const auto &c : cases) {
        g_modem.shortReplies = c.shortReplies;
        g_modem.class20 = c.class20;
        g_modem.ignorePageErrors = c.ignorePageErrors;
        g_call.inCall = c.inCall;
        g_call.failureCode = 0;
        g_call.ringSeen = 0;
        EXPECT_EQ(c.result, ParseModemReply(c.line, c.state)) << c.line << " state " << c.state;
        EXPECT_EQ(c.failure, g_call.failureCode) << c.line;
        EXPECT_EQ(c.ring, g_call.ringSeen) << c.line;
    }
    EXPECT_TRUE(Logged("No reply from remote fax (50)"));
    EXPECT_TRUE(Logged("Timeout sending to remote fax (43)"));
    EXPECT_TRUE(Logged("Unknown response from device <01>junk<7f>"));
}

TEST_F(ModemTest, CapabilityLinesAreCheckedBeforeUse)
{
    EXPECT_EQ(12, ParseModemReply("+FDIS: 1,3,0,2,0,0,0,5", DEV_STATE_WAIT_CONNECT));
    EXPECT_STREQ("G3F", g_call.remoteFormat);
    EXPECT_EQ(20, g_call.scanNormal);
    EXPECT_EQ(20, g_call.scanFine);
    EXPECT_EQ(9600, g_call.bitRate);
    // Nine fields (later modems) are read as eight; scan code 2 is 10/5.
    EXPECT_EQ(12, ParseModemReply("+FDCS: 0,5,0,2,0,0,0,2,0", DEV_STATE_WAIT_CONNECT));
    EXPECT_STREQ("G3N", g_call.remoteFormat);
    EXPECT_EQ(10, g_call.scanNormal);
    EXPECT_EQ(5, g_call.scanFine);
    EXPECT_EQ(14400, g_call.bitRate);
    // Out of range, too long or short: nothing is taken.
    for (const char *bad : {"+FDIS: 2,3,0,2,0,0,0,5", "+FDIS: 1,3,0,2,0,0,0,9", "+FDIS: 1,9,0,2,0,0,0,5",
                            "+FDIS: 1,3,0,2,0,0,0", "+FDIS: 1,3,0,2,0,0,0,5,0,0,0,0", "+FDIS: 1,3,x,2,0,0,0,5",
                            "+FDIS: 99999999,3,0,2,0,0,0,5"}) {
        EXPECT_EQ(12, ParseModemReply(bad, DEV_STATE_WAIT_CONNECT)) << bad;
        EXPECT_STREQ("G3N", g_call.remoteFormat) << bad;
        EXPECT_EQ(10, g_call.scanNormal) << bad;
    }
}

TEST_F(ModemTest, StationIdsSubAddressesAndDigitsAreBounded)
{
    ParseModemReply("+FCSI: \"  REMOTE ID \"", DEV_STATE_WAIT_CONNECT);
    EXPECT_STREQ("REMOTE ID", g_call.remoteId);
    ParseModemReply("+FTSI: \"AB\x01\x02" "C\"", DEV_STATE_CALL_RECEIVED);
    EXPECT_STREQ("AB  C", g_call.remoteId);
    EXPECT_TRUE(Logged("Invalid character 0x1 in remote CSID"));
    std::string longId = "+FTSI: \"" + std::string(70, '7') + "\"";
    ParseModemReply(longId.c_str(), DEV_STATE_CALL_RECEIVED);
    EXPECT_EQ(40u, std::strlen(g_call.remoteId));

    ParseModemReply("+FSA: \"123\"", DEV_STATE_CALL_RECEIVED);
    EXPECT_STREQ("123", g_call.subAddr);
    EXPECT_STREQ("123", DevGetRouting()->subAddr);
    ParseModemReply("+FSA: \"123456789012345678901234567890\"", DEV_STATE_CALL_RECEIVED);
    EXPECT_STREQ("12345678901234567890", g_call.subAddr);

    g_call.dtmf[0] = 0;
    for (int i = 0; i < 62; ++i)
        ParseModemReply("+DTMF:5", DEV_STATE_CALL_RECEIVED);
    EXPECT_EQ(61u, std::strlen(g_call.dtmf));
    EXPECT_TRUE(Logged("Allowed number of DTMF tones exceeded (1)"));
    g_call.dtmf[0] = 0;
    ParseModemReply("+DTMF:\x07", DEV_STATE_CALL_RECEIVED);
    EXPECT_STREQ("", g_call.dtmf);
}

TEST_F(ModemTest, RingDecodersOfTerminalAdaptorAndIsdnModem)
{
    g_modem.extendedRing = 1;
    g_modem.shortReplies = 0;
    EXPECT_EQ(0, ParseModemReply("RING: 0,0,0123456,0,0,0,4455", DEV_STATE_IDLE));
    EXPECT_EQ(1, g_call.ringSeen);
    EXPECT_STREQ("0123456", g_call.cli);
    EXPECT_STREQ("4455", g_call.dtmf);
    // A calling number longer than the field is cut to 20 characters.
    ParseModemReply("RING: 0,0,0123456789012345678901234,0,0,0,1", DEV_STATE_IDLE);
    EXPECT_EQ(20u, std::strlen(g_call.cli));

    g_modem.extendedRing = 0;
    g_modem.isdnRing = 1;
    g_call.cli[0] = g_call.dtmf[0] = 0;
    g_call.ringSeen = 0;
    EXPECT_EQ(0, ParseModemReply("FM:0123/1", DEV_STATE_IDLE));
    EXPECT_EQ(0, ParseModemReply(" TO:456 x", DEV_STATE_IDLE));
    EXPECT_STREQ("0123", g_call.cli);
    EXPECT_STREQ("456", g_call.dtmf);
    EXPECT_EQ(0, g_call.ringSeen);
}

TEST_F(ModemTest, ReplyAndCommandNamesForLogs)
{
    char out[100];
    const struct {
        const char *line;
        const char *name;
    } cases[] = {{"0", "OK"}, {"3", "NO_CARRIER"}, {"2", "RING"}, {"47", "CONNECT_x"}, {"+FDIS: 1", "REMOTE_CAPABILITY"},
                 {"+FPTS: 1", "PAGE_STATUS"}, {"+FHNG: 0", "CALL_TERMINATION"}, {"<XON>", "XON"},
                 {"hello", "\"hello\""}};
    for (const auto &c : cases) {
        ReplyLogName(c.line, out, sizeof out);
        EXPECT_STREQ(c.name, out);
    }
    CommandLogText("AT+FCLASS=2\r", 12, out, sizeof out);
    EXPECT_STREQ("'AT+FCLASS=2'", out);
    CommandLogText("ATE0V0Q0S0=0&C1&D2M0L2S31=3\r", 28, out, sizeof out);
    EXPECT_STREQ("'ATE0V0Q0S0=0&C1&D2M0...'", out);
    CommandLogText("\x10\x03", 2, out, sizeof out);
    EXPECT_STREQ("<data>", out);
}

// ---------------------------------------------------------------- command texts
TEST_F(ModemTest, CommandTexts)
{
    char out[100];
    const struct {
        int dial, busy, carrier;
        const char *text;
    } x[] = {{1, 1, 1, "X4S7=55B0"}, {1, 0, 1, "X2S7=55B0"}, {0, 1, 0, "X3"}, {0, 0, 0, "X1"}};
    for (const auto &c : x) {
        g_modem.detectDial = c.dial;
        g_modem.detectBusy = c.busy;
        g_modem.setCarrierTimeout = c.carrier;
        ComposeDialOptions(&g_modem, out, sizeof out);
        EXPECT_STREQ(c.text, out);
    }
    ComposeReceiveCaps(&g_modem, out, sizeof out);
    EXPECT_STREQ("+FDCC=1,3,0,2,0,0,0,0", out);
    g_modem.class20 = 1;
    g_modem.receiveSpeed = 14400;
    g_modem.pageLength = 0;
    g_modem.ecm = 2;
    ComposeReceiveCaps(&g_modem, out, sizeof out);
    EXPECT_STREQ("+FCC=1,5,0,0,0,2,0,0", out);
    g_modem.useSessionCapability = 1;
    ComposeSendCaps(&g_modem, 6, out, sizeof out);
    EXPECT_STREQ("+FIS=1,3,0,0,0,2,0,0", out);
    g_modem.setAllSendCaps = 0;
    g_modem.class20 = 0;
    g_modem.transmitSpeed = 4800;
    ComposeSendCaps(&g_modem, 5, out, sizeof out);
    EXPECT_STREQ("+FDIS=0,1", out);
}

TEST_F(ModemTest, ServiceClassLists)
{
    const struct {
        const char *reply;
        const char *cls;
    } cases[] = {{"0,1,2,2.0", "2.0"}, {"2.0,2", "2.0"}, {"(0,1,2)", "2"}, {"0,1,20", "2"},
                 {"0,1", ""},          {"0,1,2.1", ""},  {"", ""}};
    for (const auto &c : cases) {
        char cls[4];
        ParseClassList(c.reply, cls, sizeof cls);
        EXPECT_STREQ(c.cls, cls) << c.reply;
    }
}

TEST_F(ModemTest, LocalIdWithSubAddressFitsTwentyCharacters)
{
    char id[32], sub[32];
    ASSERT_TRUE(ComposeLocalId("+44 1234 567890 123", "*", "5551234:77", id, sizeof id, sub, sizeof sub));
    EXPECT_STREQ("77", sub);
    EXPECT_STREQ("+44 1234 567890 1*77", id);
    EXPECT_EQ(20u, std::strlen(id));
    ASSERT_TRUE(ComposeLocalId("0123", "*", "5551234", id, sizeof id, sub, sizeof sub));
    EXPECT_STREQ("0123", id);
    EXPECT_STREQ("", sub);
    EXPECT_FALSE(ComposeLocalId("0123", "*", "555:123456789012345678901", id, sizeof id, sub, sizeof sub));
}

TEST_F(ModemTest, DialCommands)
{
    char out[100];
    ASSERT_TRUE(ComposeDialCommand(1, "9,", "(01) 234-567", "", out, sizeof out));
    EXPECT_STREQ("DT9,01234567", out);
    ASSERT_TRUE(ComposeDialCommand(0, "", "123*4#:77", "", out, sizeof out));
    EXPECT_STREQ("DP123*4#", out);
    EXPECT_FALSE(ComposeDialCommand(1, "", "abc", "", out, sizeof out));
    EXPECT_FALSE(ComposeDialCommand(1, "", std::string(61, '1').c_str(), "", out, sizeof out));
}

// ---------------------------------------------------------------- framing
TEST_F(ModemTest, DleShieldingAndPadding)
{
    const unsigned char in[] = {0x01, 0x10, 0x02, 0x10};
    unsigned char out[16];
    size_t used = 0;
    EXPECT_EQ(6u, DleStuff(in, sizeof in, out, sizeof out, &used));
    EXPECT_EQ(0, std::memcmp(out, "\x01\x10\x10\x02\x10\x10", 6));
    // A pair never splits across pieces.
    EXPECT_EQ(1u, DleStuff(in, sizeof in, out, 2, &used));
    EXPECT_EQ(1u, used);
    const unsigned char line[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(12u, PadLine(line, 5, 12, out, sizeof out));
    EXPECT_EQ(0, std::memcmp(out, "\x01\x02\x03\x04\x05\0\0\0\0\0\0\0", 12));
    EXPECT_EQ(5u, PadLine(line, 5, 3, out, sizeof out));
    EXPECT_EQ(0x80, g_bitReverse[0x01]);
    EXPECT_EQ(0x2C, g_bitReverse[0x34]);
    EXPECT_EQ(0xFF, g_bitReverse[0xFF]);
    EXPECT_EQ(24, MinLineLength(20, 9600));
    EXPECT_EQ(48, MinLineLength(40, 9600));
    EXPECT_EQ(0, MinLineLength(0, 9600));
}

std::string Unshield(const std::string &in, int class20, int tones, int *ended)
{
    RxReader r;
    RxReaderReset(&r, class20, tones, '#');
    unsigned char out[256];
    size_t n = 0;
    *ended = 0;
    for (unsigned char c : in)
        if (RxReaderFeed(&r, c, out, &n, sizeof out)) {
            *ended = 1;
            break;
        }
    return std::string(reinterpret_cast<char *>(out), n);
}

TEST_F(ModemTest, ReceiveStreamReader)
{
    int ended = 0;
    EXPECT_EQ(std::string("\x01\x10\x02", 3), Unshield(std::string("\x01\x10\x10\x02\x10\x03\x05", 7), 0, 0, &ended));
    EXPECT_EQ(1, ended);
    EXPECT_EQ(std::string("\x01\0\0\x02", 4), Unshield(std::string("\x01\0\0\0\0\0\x02", 7), 0, 0, &ended));
    EXPECT_EQ(0, ended);
    EXPECT_EQ(std::string("\x10\x10\x07", 3), Unshield(std::string("\x10\x1a\x07", 3), 1, 0, &ended));
    EXPECT_EQ(std::string("\x07", 1), Unshield(std::string("\x10\x1a\x07", 3), 0, 0, &ended));
    g_call.dtmf[0] = 0;
    EXPECT_EQ(std::string("\x07", 1), Unshield(std::string("\x10" "1\x10" "2\x07\x10#\x10" "3", 9), 0, 1, &ended));
    EXPECT_STREQ("12", g_call.dtmf); // '#' ends the tones, so 3 is not taken
    unsigned char first[] = {0x11, 0x22, 0xFF, 0xFF, 0xFF, 0x00, 0x08};
    EXPECT_EQ(5u, FilterFirstBlock(first, sizeof first));
    unsigned char plain[] = {0x00, 0x08, 0xFF, 0x01};
    EXPECT_EQ(0u, FilterFirstBlock(plain, sizeof plain));
    unsigned char lead[] = {0xFF, 0x00, 0x08};
    EXPECT_EQ(1u, FilterFirstBlock(lead, sizeof lead));
}

// ---------------------------------------------------------------- dialogue
TEST_F(ModemTest, NumericReplySetReadsOkAsZeroAndXonAsItsOwnReply)
{
    OpenFakePort();
    fake_.script = {{"ATE0\r", "\r\nOK\r\n"}, {"AT+FDT\r", "\x13" "1\r\x11"}};
    char reply[300];
    ASSERT_EQ(0, SendModemCommand("E0", reply, sizeof reply));
    EXPECT_STREQ("0", reply);
    EXPECT_EQ(0, ParseModemReply(reply, DEV_STATE_IDLE));
    ASSERT_EQ(0, SendModemCommand("+FDT", reply, sizeof reply));
    EXPECT_STREQ("1", reply); // the XOFF before it is skipped
    ASSERT_EQ(0, PollModemReply(nullptr, 0, reply, sizeof reply, 1));
    EXPECT_STREQ("<XON>", reply);
}

TEST_F(ModemTest, CommandRetriesButFaxCommandsDoNot)
{
    OpenFakePort();
    char reply[300];
    EXPECT_EQ(DEV_NO_REPLY, SendModemCommand("Z", reply, sizeof reply));
    size_t count = 0;
    for (size_t p = 0; (p = fake_.written.find("ATZ\r", p)) != std::string::npos; ++p)
        ++count;
    EXPECT_EQ(3u, count);
    EXPECT_TRUE(Logged("No reply on 'ATZ' poll - retrying"));
    EXPECT_TRUE(Logged("Error NO REPLY FROM DEVICE sending to fax m/c - giving up"));
    fake_.written.clear();
    EXPECT_EQ(DEV_NO_REPLY, SendModemCommand("+FCLASS=2", reply, sizeof reply));
    EXPECT_EQ(std::string("AT+FCLASS=2\r"), fake_.written);
    EXPECT_TRUE(Logged("No reply on 'AT+FCLASS=2' poll - no retry"));
}

TEST_F(ModemTest, InformationLinesAreReadOverUpToTheFinalReply)
{
    OpenFakePort();
    fake_.script = {{"AT+FMFR?\r", "SIMULATED\r\n0\r"}, {"AT+FLID=\"1\"\r", "4\r"}};
    EXPECT_EQ(0, ModemCommandParsed("+FMFR?", 0));
    EXPECT_EQ(DEV_COMMAND_REJECTED, ModemCommandParsed("+FLID=\"1\"", 0));
    fake_.script.push_back({"AT+FLID=\"1\"\r", "4\r"});
    EXPECT_EQ(0, ModemCommandParsed("+FLID=\"1\"", 1));
}

// Coded data with DLE bytes in it, to see the shielding on the wire.
const unsigned char kPageLine[] = {0x00, 0x08, 0x10, 0x80, 0x10, 0x10, 0x55};

TEST_F(ModemTest, Class20PagesEndWithRtcAndTheirPageEndCode)
{
    OpenFakePort();
    g_modem.class20 = 1;
    fake_.script = {{"\x10,", "0\r"}, {"AT+FPS?\r", "+FPS: 1\r\n0\r"}, {"AT+FDT\r", "1\r"},
                    {"\x10.", "0\r"}, {"AT+FPS?\r", "1\r\n+FHS: 00\r\n0\r"}};
    ASSERT_EQ(0, SendFrameAsync(nullptr, 0, 0));
    ASSERT_EQ(0, SendDataFrame(kPageLine, sizeof kPageLine, DEV_BLOCK_IN_PAGE));
    ASSERT_EQ(0, SendDataFrame(kPageLine, sizeof kPageLine, DEV_BLOCK_PAGE_END));
    const std::string shielded("\x00\x08\x10\x10\x80\x10\x10\x10\x10\x55", 10);
    const std::string rtc("\x00\x08\x80\x00\x08\x80\x00\x08\x80", 9);
    std::string page1 = shielded + shielded + rtc + "\x10,";
    EXPECT_EQ(0u, fake_.written.find(page1));
    ASSERT_EQ(0, SendDataFrame(kPageLine, sizeof kPageLine, DEV_BLOCK_LAST_PAGE_END));
    std::string tail = shielded + rtc + "\x10.";
    EXPECT_NE(std::string::npos, fake_.written.find("AT+FDT\r" + tail + "AT+FPS?\r"));
    EXPECT_EQ(fake_.script.size(), fake_.next);
}

TEST_F(ModemTest, Class2PageEndsWithDleEtxAndPostPageMessage)
{
    OpenFakePort();
    fake_.script = {{"\x10\x03", "0\r"}, {"AT+FET=0\r", "+FPTS: 1\r\n0\r"}, {"AT+FDT\r", "1\r\x11"},
                    {"\x10\x03", "0\r"}, {"AT+FET=2\r", "+FPTS: 2\r\n"}};
    ASSERT_EQ(0, SendFrameAsync(nullptr, 0, 0));
    ASSERT_EQ(0, SendDataFrame(kPageLine, sizeof kPageLine, DEV_BLOCK_PAGE_END));
    // The second page is refused by the remote and page errors count.
    g_modem.ignorePageErrors = 0;
    EXPECT_EQ(DEV_FAX_ERROR, SendDataFrame(kPageLine, sizeof kPageLine, DEV_BLOCK_LAST_PAGE_END));
    EXPECT_TRUE(Logged("Page errors reported by remote fax (2)"));
    EXPECT_EQ(std::string::npos, fake_.written.find(std::string("\x00\x08\x80", 3)));
}

TEST_F(ModemTest, Class2PostPageWithoutStatusIsAnError)
{
    OpenFakePort();
    fake_.script = {{"\x10\x03", "0\r"}, {"AT+FET=2\r", "0\r"}};
    ASSERT_EQ(0, SendFrameAsync(nullptr, 0, 0));
    EXPECT_EQ(DEV_FAX_ERROR, SendDataFrame(kPageLine, sizeof kPageLine, DEV_BLOCK_LAST_PAGE_END));
    EXPECT_TRUE(Logged("No page confirmation from remote fax"));
}

TEST_F(ModemTest, Class2ReceiveUndoesBitOrderAndShielding)
{
    OpenFakePort();
    // Page data as a Class 2 modem sends it: most significant bit first.
    const unsigned char page[] = {0x00, 0x08, 0x10, 0x01, 0x80, 0x00, 0x08};
    std::string wire;
    for (unsigned char b : page) {
        unsigned char m = g_bitReverse[b];
        wire += static_cast<char>(m);
        if (m == 0x10)
            wire += '\x10';
    }
    wire += "\x10\x03";
    fake_.script = {{"AT+FDR\r", "+FCFR\r\n1\r"}, {"\x12", wire + "+FPTS: 1\r\n+FET: 2\r\n0\r"},
                    {"AT+FDR\r", "+FHNG: 0\r\n0\r"}};
    unsigned char buf[DEV_RX_BLOCK_SIZE];
    uint16_t len = 0, end = 0;
    ModemReceiveDataFrame(nullptr, 0, nullptr, nullptr, 0);
    std::string got;
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(0, ModemReceiveDataFrame(buf, sizeof buf, &len, &end, 0));
        got.append(reinterpret_cast<char *>(buf), len);
        if (end != DEV_RX_DATA)
            break;
    }
    EXPECT_EQ(DEV_RX_LAST_PAGE_END, end);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(page), sizeof page), got);
    ASSERT_EQ(0, ModemReceiveDataFrame(buf, sizeof buf, &len, &end, 0));
    EXPECT_EQ(DEV_RX_NO_MORE_PAGES, end);
    EXPECT_EQ(fake_.script.size(), fake_.next);
}

TEST_F(ModemTest, ReceiveHangupInsideThePageIsAnError)
{
    OpenFakePort();
    g_modem.class20 = 1;
    fake_.script = {{"AT+FDR\r", "1\r"}, {"\x12", std::string("\x00\x08\x01\x02\x10\x03", 6) + "+FHS: 70\r\n3\r"}};
    unsigned char buf[DEV_RX_BLOCK_SIZE];
    uint16_t len = 0, end = 0;
    ModemReceiveDataFrame(nullptr, 0, nullptr, nullptr, 0);
    g_call.inCall = 1;
    EXPECT_EQ(DEV_FAX_ERROR, ModemReceiveDataFrame(buf, sizeof buf, &len, &end, 0));
    EXPECT_TRUE(Logged("Timeout receiving from remote fax (70)"));
}

TEST_F(ModemTest, RecoveryWarnsAfterTenSecondsAndFailsTheDeviceAfterHalfAnHour)
{
    OpenFakePort();
    // The modem stays silent for 31 minutes, then answers again.
    fake_.answerFrom = g_fakeTick + 31u * 60u * 1000u;
    uint32_t start = g_fakeTick;
    EXPECT_EQ(0, ModemWaitForDeviceRecovery());
    EXPECT_GE(g_fakeTick - start, 31u * 60u * 1000u);
    std::string log = Log();
    auto count = [&](const char *text) {
        size_t n = 0;
        for (size_t p = 0; (p = log.find(text, p)) != std::string::npos; ++p)
            ++n;
        return n;
    };
    EXPECT_EQ(1u, count("Error NO REPLY FROM DEVICE checking fax device"));
    EXPECT_EQ(1u, count("Failing device - error NO REPLY FROM DEVICE"));
    EXPECT_EQ(1u, count("Device recovered"));
    EXPECT_EQ(DEV_STATE_FAILED, DevCurrentState());
    // DTR cannot be dropped on this port: said once, and the reset goes on.
    EXPECT_EQ(1u, count("Control signals cannot be changed on this port"));
}

} // namespace
