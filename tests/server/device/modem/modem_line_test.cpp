// The fax modem driver on a simulated line: two driver instances (each in a
// process of its own, as in two controllers) send faxes to each other
// through the modem line simulator, in Class 2 and Class 2.0, and meet the
// simulator's scripted faults. run_modem_line.sh starts the simulator and
// this program; the ports and faults it sets up are listed there.
//
//   modem_line_test                       the tests (spawn the roles below)
//   modem_line_test send <dev> <number> <pages> <tag>
//   modem_line_test recv <dev> <tag> [kind]  kind 1: voice DTMF, 2: ISDN adaptor
//   modem_line_test --make-pages          the remote caller's two pages
//   modem_line_test ctl <dev>             a whole controller (framework and
//                                         driver) on the installation TFAXINIT names
//
// TAVRINE_LINE_WORK names the work folder (results, logs, the simulator's
// transcripts).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "common/mhdecode.h"
#include "common/platform.h"
#include "server/runtime/mailslot.h"
#include "server/runtime/packets.h"
#include "server/runtime/sysparams.h"
#include "tests/support/rt_testutil.h"
#include "server/device/devctl.h"
#include "server/device/modem/modem.h"
#include "server/runtime/rtclock.h"
#include "server/runtime/mhencode.h"
#include "server/runtime/srvlog.h"
#include "tests/support/installation.h"
#include "tests/support/testfiles.h"

namespace {

enum { PAGE_ROWS = 60, ROW_BYTES = 216, WIDTH = 1728 };

std::string WorkPath(const std::string &name)
{
    const char *w = std::getenv("TAVRINE_LINE_WORK");
    std::string dir = w && *w ? w : ".";
#ifdef _WIN32
    return dir + "\\" + name;
#else
    return dir + "/" + name;
#endif
}

// Page k: each row a black run whose place and length depend on the row and page.
void PageRow(int page, int row, unsigned char *out)
{
    std::memset(out, 0, ROW_BYTES);
    int start = (row * 37 + page * 211) % 1500;
    int len = 20 + (row * 7 + page * 13) % 200;
    for (int x = start; x < start + len && x < WIDTH; ++x)
        out[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
}

std::string EncodePage(int page)
{
    std::string data;
    unsigned char row[ROW_BYTES];
    static unsigned char code[MH_ROW_CODE_SIZE + 8];
    for (int r = 0; r < PAGE_ROWS; ++r) {
        PageRow(page, r, row);
        size_t n = MhEncodeRow(row, WIDTH, r == PAGE_ROWS - 1, code);
        data.append(reinterpret_cast<char *>(code), n);
    }
    return data;
}

// Number of rows of the received page data that decode to the sent page.
int MatchingRows(int page, const std::string &data)
{
    static MhDecoder dec;
    MhInitDecoderMem(&dec, reinterpret_cast<const uint8_t *>(data.data()), static_cast<uint32_t>(data.size()), WIDTH,
                     PAGE_ROWS);
    unsigned char want[ROW_BYTES], got[ROW_BYTES];
    int ok = 0;
    for (int r = 0; r < PAGE_ROWS; ++r) {
        std::memset(got, 0, sizeof got);
        if (DecodeFaxLine(&dec, -1, got, sizeof got) != MH_LINE_OK)
            break;
        PageRow(page, r, want);
        if (std::memcmp(want, got, ROW_BYTES) == 0)
            ++ok;
    }
    return ok;
}

// ---------------------------------------------------------------- the roles
// Sleeps run at a quarter of their time; the tick stays real, so the
// simulator's pace and the driver's limits agree.
void QuarterSleep(uint32_t ms) { TvPlatSleepMs(ms / 4); }
const RtClock kQuickClock = {nullptr, QuarterSleep, nullptr};

uint16_t SetUpDriver(int dev, int recdUser, int kind = 0, const std::string &commsLog = "")
{
    char name[32];
    std::snprintf(name, sizeof name, "FCLASS-%d", dev);
    DevReset(&g_modemLowerLayer, static_cast<uint16_t>(dev));
    SetRuntimeClock(&kQuickClock);
    std::string comms = commsLog.empty() ? "" : "CommsLogFile: " + commsLog + "\r\n";
    char ini[1024];
    std::snprintf(ini, sizeof ini,
                  "[FCLASS-%d]\r\nPort: COM%d\r\nPhoneNum: 10%02d\r\nType: %s\r\n%s%s"
                  "VoiceCommands: %s\r\nDTMFWait1: 8000\r\n[OPTIONS]\r\nCSIDSeparator: *\r\n",
                  dev, dev, dev, kind == 2 ? "SpartaCom Spartadis" : "Other EIA Class 2 fax modem",
                  recdUser ? "RecdUser: ANNE\r\n" : "", comms.c_str(), kind == 1 ? "yes" : "no");
    FILE *f = std::tmpfile();
    std::fputs(ini, f);
    std::rewind(f);
    uint16_t r = ModemReadDeviceIniFile(static_cast<uint16_t>(dev), f);
    std::fclose(f);
    return r ? r : ModemInitialiseDevice();
}

int RunSend(int dev, const char *number, int pages, const std::string &tag)
{
    FILE *log = std::fopen(WorkPath(tag + "-send.log").c_str(), "w");
    LogInit(log, "", 1, "FCLASS-S");
    uint16_t r = SetUpDriver(dev, 0, 0, WorkPath(tag + "-comms.txt"));
    uint16_t failure = 0;
    char remoteId[DEV_REMOTE_ID_SIZE] = "";
    if (r == 0) {
        g_dev.state = DEV_STATE_WAIT_CONNECT;
        DevConnectRequest req{};
        req.operation = DEV_CONNECT_SEND;
        req.number = number;
        req.dialString2 = "";
        req.format = 5;
        req.firstPage = 1;
        req.lastPage = static_cast<uint16_t>(pages);
        req.totalPages = static_cast<uint16_t>(pages);
        req.messageName = "";
        int made = 0;
        r = ModemMakeConnection(&req, &made);
        uint16_t fmt = 0;
        if (r == 0)
            r = ModemWaitForConnect(remoteId, sizeof remoteId, DEV_DIALLED, &fmt);
        if (r == 0) {
            g_dev.state = DEV_STATE_SENDING;
            for (int p = 1; p <= pages && r == 0; ++p) {
                std::string data = EncodePage(p);
                size_t at = 0;
                while (r == 0) {
                    size_t n = data.size() - at < 1024 ? data.size() - at : 1024;
                    uint16_t kind = DEV_BLOCK_IN_PAGE;
                    if (at + n == data.size())
                        kind = p == pages ? DEV_BLOCK_LAST_PAGE_END : DEV_BLOCK_PAGE_END;
                    r = g_modemLowerLayer.SendDataBlock(reinterpret_cast<const unsigned char *>(data.data()) + at,
                                                        static_cast<uint16_t>(n), kind);
                    at += n;
                    if (kind != DEV_BLOCK_IN_PAGE)
                        break;
                }
            }
        }
        failure = g_call.failureCode;
        if (r)
            ModemCancelJob();
        g_dev.state = DEV_STATE_IDLE;
        ModemWaitForJobToFinish();
        ModemFinishDeviceJob(0);
    }
    ModemCloseDevice();
    char text[200];
    std::snprintf(text, sizeof text, "result %u failure %X id '%s'\n", r, failure, remoteId);
    WriteWholeFile(WorkPath(tag + "-send.txt"), text);
    if (log)
        std::fclose(log);
    return 0;
}

int RunRecv(int dev, const std::string &tag, int kind)
{
    FILE *log = std::fopen(WorkPath(tag + "-recv.log").c_str(), "w");
    LogInit(log, "", 1, "FCLASS-R");
    uint16_t r = SetUpDriver(dev, 1, kind);
    int pages = 0;
    char remoteId[DEV_REMOTE_ID_SIZE] = "";
    if (r == 0) {
        g_dev.state = DEV_STATE_IDLE;
        uint32_t start = RtTickMs();
        while (ModemPollDevice() != DEV_INCOMING_CALL) {
            if (RtTickMs() - start > 60000u) {
                r = DEV_NO_REPLY;
                break;
            }
        }
    }
    if (r == 0) {
        g_dev.state = DEV_STATE_CALL_RECEIVED;
        DevConnectRequest req{};
        req.operation = DEV_CONNECT_ANSWER;
        req.number = "";
        req.dialString2 = "";
        req.messageName = "";
        int made = 0;
        r = ModemMakeConnection(&req, &made);
        uint16_t fmt = 0;
        if (r == 0)
            r = ModemWaitForConnect(remoteId, sizeof remoteId, DEV_ANSWERED, &fmt);
        if (r == 0) {
            g_dev.state = DEV_STATE_RECEIVING;
            unsigned char buf[DEV_RX_BLOCK_SIZE];
            std::string page;
            ModemReceiveDataFrame(nullptr, 0, nullptr, nullptr, 0);
            for (;;) {
                uint16_t len = 0, end = 0;
                r = ModemReceiveDataFrame(buf, sizeof buf, &len, &end, 0);
                if (r || end == DEV_RX_NO_MORE_PAGES)
                    break;
                page.append(reinterpret_cast<char *>(buf), len);
                if (end == DEV_RX_PAGE_END || end == DEV_RX_LAST_PAGE_END) {
                    ++pages;
                    WriteWholeFile(WorkPath(tag + "-page" + std::to_string(pages) + ".g3"), page);
                    page.clear();
                    if (end == DEV_RX_LAST_PAGE_END)
                        break;
                }
            }
        }
        if (r)
            ModemCancelJob();
    }
    const DevRouting *rt = DevGetRouting();
    char text[300];
    std::snprintf(text, sizeof text, "result %u pages %d id '%s' sub '%s' dtmf '%s' cli '%s'\n", r, pages, remoteId,
                  rt->subAddr, rt->dtmf, rt->cli);
    g_dev.state = DEV_STATE_IDLE;
    ModemWaitForJobToFinish();
    ModemCloseDevice();
    WriteWholeFile(WorkPath(tag + "-recv.txt"), text);
    if (log)
        std::fclose(log);
    return 0;
}

// A whole controller, as modemctl runs it, until it is stopped: on the
// installation TFAXINIT names, its log on stdout.
int RunController(int dev)
{
    ResetSystemParameters();
    FILE *setup = nullptr;
    if (ReadSystemParameters(&setup) != TV_OK)
        return 1;
    SetRuntimeClock(&kQuickClock);
    DevReset(&g_modemLowerLayer, static_cast<uint16_t>(dev));
    LogInit(stdout, nullptr, 2, g_dev.id);
    uint16_t r = DevStartup(setup);
    std::fclose(setup);
    if (r != 0)
        return 1;
    uint32_t start = RtTickMs();
    while (!DevRunOnce())
        if (RtTickMs() - start > 200000u)
            break;
    DevShutdown();
    return 0;
}

// ---------------------------------------------------------------- processes
std::string g_self;

// A role of this program in a process of its own.
tvtest::Process Spawn(const std::vector<std::string> &args) { return tvtest::Process(tvtest::Command(g_self, args)); }

// A role that hangs must not outlive the test.
void Wait(tvtest::Process &role) { role.Wait(240000); }

struct Outcome {
    unsigned result = 0xFFFF;
    unsigned failure = 0;
    int pages = -1;
    std::string text;
};

Outcome ReadOutcome(const std::string &tag, const char *role)
{
    Outcome o;
    o.text = ReadWholeFile(WorkPath(tag + "-" + role + ".txt"));
    const char *t = o.text.c_str();
    std::sscanf(t, "result %u", &o.result);
    if (const char *f = std::strstr(t, "failure "))
        std::sscanf(f, "failure %X", &o.failure);
    if (const char *p = std::strstr(t, "pages "))
        std::sscanf(p, "pages %d", &o.pages);
    return o;
}

// The simulator's transcript of a port, through the link the script made
// ("comN.log" itself names the serial port on Windows).
std::string Transcript(int com) { return ReadWholeFile(WorkPath("transcript" + std::to_string(com) + ".txt")); }

// Sends a fax from one driver to another; both outcomes.
void SendBetween(int sender, int receiver, const std::string &number, int pages, const std::string &tag,
                 Outcome *sent, Outcome *got)
{
    tvtest::Process r = Spawn({"recv", std::to_string(receiver), tag});
    tvtest::Process s = Spawn({"send", std::to_string(sender), number, std::to_string(pages), tag});
    Wait(s);
    Wait(r);
    *sent = ReadOutcome(tag, "send");
    *got = ReadOutcome(tag, "recv");
}

// A send that gets no connection. When it leaves no outcome, the text says
// how the sending process ended and what it wrote.
Outcome SendOnly(int sender, const std::string &number, const std::string &tag)
{
    tvtest::RunResult r = Spawn({"send", std::to_string(sender), number, "1", tag}).Wait(240000);
    Outcome o = ReadOutcome(tag, "send");
    if (o.text.empty())
        o.text = "no outcome; the sender: " + r.Describe() + "\n" + r.output + ReadWholeFile(WorkPath(tag + "-send.log"));
    return o;
}

bool Has(const std::string &text, const char *what) { return text.find(what) != std::string::npos; }

TEST(ModemLine, Class2TwoPagesBetweenTwoDrivers)
{
    Outcome sent, got;
    SendBetween(1, 2, "1002", 2, "c2", &sent, &got);
    EXPECT_EQ(0u, sent.result) << sent.text << ReadWholeFile(WorkPath("c2-send.log"));
    EXPECT_EQ(0u, got.result) << got.text << ReadWholeFile(WorkPath("c2-recv.log"));
    EXPECT_TRUE(Has(sent.text, "id '1002'")) << sent.text;
    EXPECT_TRUE(Has(got.text, "id '1001'")) << got.text;
    ASSERT_EQ(2, got.pages);
    for (int p = 1; p <= 2; ++p)
        EXPECT_EQ(PAGE_ROWS, MatchingRows(p, ReadWholeFile(WorkPath("c2-page" + std::to_string(p) + ".g3")))) << p;
    std::string t1 = Transcript(1), t2 = Transcript(2);
    for (const char *want : {"> AT+FCLASS=2", "> AT+FDCC=0,3,0,2,0,0,0,0", "> ATDT1002", "> AT+FDT", "> AT+FET=0",
                             "> AT+FET=2", "<XON>"})
        EXPECT_TRUE(Has(t1, want)) << want;
    for (const char *want : {"> AT+FCR=1", "> AT+FDCC=1,3,0,2,0,0,0,0", "> ATA", "> AT+FDR", "<DC2>"})
        EXPECT_TRUE(Has(t2, want)) << want;
    // A Class 2 modem is never asked the Class 2.0 polling command.
    EXPECT_FALSE(Has(t2, "AT+FAP"));
    // The line trace of CommsLogFile.
    std::string comms = ReadWholeFile(WorkPath("c2-comms.txt"));
    for (const char *want : {"> ATDT1002", "< +FCSI: \"1002\"", "> [page data", "< <XON>"})
        EXPECT_TRUE(Has(comms, want)) << want;
}

TEST(ModemLine, Class20TwoPagesWithSubAddress)
{
    Outcome sent, got;
    SendBetween(3, 4, "1004:77", 2, "c20", &sent, &got);
    EXPECT_EQ(0u, sent.result) << sent.text << ReadWholeFile(WorkPath("c20-send.log"));
    EXPECT_EQ(0u, got.result) << got.text << ReadWholeFile(WorkPath("c20-recv.log"));
    ASSERT_EQ(2, got.pages);
    for (int p = 1; p <= 2; ++p)
        EXPECT_EQ(PAGE_ROWS, MatchingRows(p, ReadWholeFile(WorkPath("c20-page" + std::to_string(p) + ".g3")))) << p;
    EXPECT_TRUE(Has(got.text, "id '1003*77'")) << got.text;
    EXPECT_TRUE(Has(got.text, "sub '77'")) << got.text;
    std::string t3 = Transcript(3), t4 = Transcript(4);
    for (const char *want : {"> AT+FCLASS=2.0", "> AT+FLI=\"1003*77\"", "> AT+FSA=\"77\"", "> ATDT1004", "> AT+FPS?"})
        EXPECT_TRUE(Has(t3, want)) << want;
    for (const char *want : {"> AT+FCC=1,3,0,2,0,0,0,0", "> AT+FAP=1,0,0", "> AT+FNR=1,1,1,0"})
        EXPECT_TRUE(Has(t4, want)) << want;
}

TEST(ModemLine, BusyAndNoAnswerGiveTheirFailureCodes)
{
    Outcome busy = SendOnly(5, "2000", "busy");
    EXPECT_EQ(8u, busy.result) << busy.text << ReadWholeFile(WorkPath("busy-send.log"));
    EXPECT_EQ(0xF10Au, busy.failure);
    Outcome none = SendOnly(1, "2002", "noans");
    EXPECT_EQ(8u, none.result) << none.text;
    EXPECT_EQ(0xF10Bu, none.failure);
    // The failed dial is cancelled: escape sequence, hang-up, reset.
    std::string t5 = Transcript(5);
    for (const char *want : {"> ATH", "> ATZ"})
        EXPECT_TRUE(Has(t5, want)) << want;
}

TEST(ModemLine, CarrierLostInTheSecondPageKeepsTheFirst)
{
    Outcome sent, got;
    SendBetween(7, 8, "1008", 2, "drop", &sent, &got);
    EXPECT_EQ(20u, sent.result) << sent.text << ReadWholeFile(WorkPath("drop-send.log"));
    EXPECT_NE(0u, got.result) << got.text;
    EXPECT_EQ(1, got.pages) << got.text << ReadWholeFile(WorkPath("drop-recv.log"));
    EXPECT_EQ(PAGE_ROWS, MatchingRows(1, ReadWholeFile(WorkPath("drop-page1.g3"))));
}

// A remote fax machine (2001, ID "CALLER ID", calling number 0123,
// sub-address 55) calls the receiver with routing digits after its number.
Outcome ReceiveCall(int receiver, int kind, const std::string &dialled, const std::string &tag)
{
    tvtest::Process r = Spawn({"recv", std::to_string(receiver), tag, std::to_string(kind)});
#ifdef _WIN32
    Sleep(4000);
#else
    sleep(4);
#endif
    FILE *c = std::fopen(WorkPath("control").c_str(), "a");
    if (c) {
        std::fprintf(c, "call 2001 %s\n", dialled.c_str());
        std::fclose(c);
    }
    Wait(r);
    return ReadOutcome(tag, "recv");
}

TEST(ModemLine, VoiceDtmfAndSubAddressRouting)
{
    Outcome got = ReceiveCall(8, 1, "1008456", "dtmf");
    EXPECT_EQ(0u, got.result) << got.text << ReadWholeFile(WorkPath("dtmf-recv.log"));
    EXPECT_EQ(2, got.pages);
    EXPECT_TRUE(Has(got.text, "dtmf '456'")) << got.text;
    EXPECT_TRUE(Has(got.text, "sub '55'")) << got.text;
    EXPECT_TRUE(Has(got.text, "id 'CALLER ID'")) << got.text;
    for (int p = 1; p <= 2; ++p)
        EXPECT_EQ(PAGE_ROWS, MatchingRows(p, ReadWholeFile(WorkPath("dtmf-page" + std::to_string(p) + ".g3")))) << p;
    std::string t8 = Transcript(8);
    for (const char *want : {"> AT#CLS=?", "> AT#CLS=8", "> AT#VTD=3F,3F,3F", "> AT#CLS=2"})
        EXPECT_TRUE(Has(t8, want)) << want;
}

TEST(ModemLine, TerminalAdaptorRingCarriesCallingNumberAndDirectDial)
{
    Outcome got = ReceiveCall(6, 2, "1006789", "ddi");
    EXPECT_EQ(0u, got.result) << got.text << ReadWholeFile(WorkPath("ddi-recv.log"));
    EXPECT_TRUE(Has(got.text, "cli '0123'")) << got.text;
    EXPECT_TRUE(Has(got.text, "dtmf '789'")) << got.text;
}

// ---------------------------------------------------------------- controllers
struct Packet {
    std::vector<unsigned char> bytes;
    uint8_t cls() const { return bytes.size() > 2 ? bytes[2] : 0; }
    uint8_t type() const { return bytes.size() > 3 ? bytes[3] : 0; }
};

void DrainInto(TvMailslot slot, std::vector<Packet> *out)
{
    unsigned char buf[MSG_MAX_PACKET];
    uint16_t len = 0;
    while (MsgReadRequest(slot, buf, sizeof buf, &len) == 0)
        out->push_back(Packet{std::vector<unsigned char>(buf, buf + len)});
}

int CountType(const std::vector<Packet> &pkts, uint8_t type)
{
    int n = 0;
    for (const auto &p : pkts)
        n += p.cls() == PKT_CLASS_QUEUEMAN && p.type() == type;
    return n;
}

const Packet *FindType(const std::vector<Packet> &pkts, uint8_t type)
{
    for (const auto &p : pkts)
        if (p.cls() == PKT_CLASS_QUEUEMAN && p.type() == type)
            return &p;
    return nullptr;
}

// Waits (up to seconds) until the packets hold count of the type.
bool WaitForPackets(TvMailslot qm, std::vector<Packet> *pkts, uint8_t type, int count, int seconds)
{
    for (int i = 0; i < seconds * 10; ++i) {
        DrainInto(qm, pkts);
        if (CountType(*pkts, type) >= count)
            return true;
        TvPlatSleepMs(100);
    }
    return false;
}

// The decoded rows of each page of a fax file; a row the decoder cannot read
// whole is an empty string.
std::vector<std::vector<std::string>> FaxPages(const std::string &path)
{
    std::vector<std::vector<std::string>> pages;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return pages;
    for (uint16_t page = 0;; ++page) {
        uint16_t width = 0, lines = 0, yres = 0, count = 0;
        uint32_t strip = 0;
        if (OpenFaxPage(f, page, &width, &lines, &strip, &yres, &count) != 1)
            break;
        pages.emplace_back();
        unsigned char row[ROW_BYTES];
        for (int32_t n = 0; n < lines; ++n) {
            std::memset(row, 0, sizeof row);
            if (ReadFaxLine(n, row, sizeof row) == MH_LINE_OK)
                pages.back().push_back(std::string(reinterpret_cast<char *>(row), sizeof row));
            else
                pages.back().push_back(std::string());
        }
        if (page + 1 >= count)
            break;
    }
    std::fclose(f);
    return pages;
}

// Two controllers in processes of their own, as two modemctl programs; the
// test plays QUEUEMAN and SYSMAN. Needs mailslots shared between processes,
// which only the Windows tree has.
void ControllersSendAJob(int sendDev, int recvDev, bool class20)
{
    std::string sd = std::to_string(sendDev), rd = std::to_string(recvDev);
    tvtest::Installation inst(tvtest::InstallationSpec()
                                  .Setup("OPTIONS", {"CSIDSeparator: *"})
                                  .Setup("FCLASS-" + sd, {"Port: COM" + sd, "PhoneNum: 100" + sd,
                                                          "Type: Other EIA Class 2 fax modem", "VoiceCommands: no"})
                                  .Setup("FCLASS-" + rd, {"Port: COM" + rd, "PhoneNum: 100" + rd, "RecdUser: ANNE",
                                                          "Type: Other EIA Class 2 fax modem", "VoiceCommands: no"})
                                  .User("ANNE")
                                  .Folder("MSG"),
                              "mctl");
    // The message: two pages in one fax file.
    {
        FILE *f = std::fopen(inst.Path("MSG/SRC.G3N").c_str(), "w+b");
        ASSERT_NE(nullptr, f);
        FaxPageState st{};
        ASSERT_EQ(0, StartTiffFaxFile(f, &st, WIDTH, 98));
        unsigned char row[ROW_BYTES];
        for (int p = 1; p <= 2; ++p)
            for (int r = 0; r < PAGE_ROWS; ++r) {
                PageRow(p, r, row);
                int end = r == PAGE_ROWS - 1;
                ASSERT_EQ(0, WriteTiffFaxRow(f, &st, row, sizeof row, end, end && p == 2));
            }
        std::fclose(f);
    }
    FILE *quiet = std::tmpfile();
    LogInit(quiet, nullptr, 6, "TEST");
    TvMailslot qm = nullptr, sm = nullptr;
    ASSERT_EQ(0, MsgMakePipe("QUEUEMAN", 0, &qm));
    ASSERT_EQ(0, MsgMakePipe("SYSMAN", 0, &sm));
    tvtest::Process recv(inst.Program(g_self, {"ctl", rd}));
    tvtest::Process send(inst.Program(g_self, {"ctl", sd}));
    std::vector<Packet> pkts;
    EXPECT_TRUE(WaitForPackets(qm, &pkts, PKT_QM_REGISTER, 2, 60));

    PktJob j{};
    j.hdr.cls = PKT_CLASS_DEVICE;
    j.hdr.type = PKT_DEV_JOB;
    j.requestId = 77;
    SetPacketText(j.messageName, sizeof j.messageName, "MSG00001");
    SetPacketText(j.directory, sizeof j.directory, inst.Dir("MSG").c_str());
    SetPacketText(j.firstFile, sizeof j.firstFile, "SRC.G3N");
    j.format = 5;
    j.route = 2;
    SetPacketText(j.number, sizeof j.number, ("100" + rd).c_str());
    SetPacketText(j.sender, sizeof j.sender, "Anne Sender");
    uint8_t buf[PKT_JOB_SIZE];
    size_t len = EncodeJob(&j, buf, sizeof buf);
    EXPECT_EQ(static_cast<size_t>(PKT_JOB_SIZE), len);
    EXPECT_EQ(0, MsgSendRequest(("FCLASS\\" + sd).c_str(), 0, buf, static_cast<uint16_t>(len), nullptr, 0, nullptr));

    bool result = WaitForPackets(qm, &pkts, PKT_QM_JOB_RESULT, 2, 150); // the send's and the call's
    bool message = WaitForPackets(qm, &pkts, PKT_QM_NEW_MESSAGE, 1, 10);
    uint8_t stop[PKT_HEADER_SIZE + 8];
    size_t sl = EncodeHeaderOnly(PKT_CLASS_STOPALL, 0, 0, stop, sizeof stop);
    MsgSendRequest(("FCLASS\\" + sd).c_str(), 0, stop, static_cast<uint16_t>(sl), nullptr, 0, nullptr);
    sl = EncodeHeaderOnly(PKT_CLASS_STOPALL, 0, 0, stop, sizeof stop);
    MsgSendRequest(("FCLASS\\" + rd).c_str(), 0, stop, static_cast<uint16_t>(sl), nullptr, 0, nullptr);
    Wait(send);
    Wait(recv);
    DrainInto(qm, &pkts);
    MsgClosePipe(qm);
    MsgClosePipe(sm);
    std::string logs = send.Output() + recv.Output();
    ASSERT_TRUE(result && message) << logs;

    EXPECT_EQ(class20, Has(Transcript(sendDev), "> AT+FCLASS=2.0"));
    EXPECT_EQ(class20, Has(Transcript(recvDev), "> AT+FCLASS=2.0"));
    // The sender's result: done, two pages.
    bool sawSend = false, sawCall = false;
    for (const auto &p : pkts) {
        if (p.cls() != PKT_CLASS_QUEUEMAN || p.type() != PKT_QM_JOB_RESULT)
            continue;
        PktJobResult r{};
        DecodeJobResult(p.bytes.data(), p.bytes.size(), &r);
        EXPECT_EQ(0, r.hdr.code) << r.deviceNumber << logs;
        EXPECT_EQ(2, r.pages) << r.deviceNumber;
        if (r.deviceNumber == sendDev && r.requestId == 77)
            sawSend = true;
        if (r.deviceNumber == recvDev && r.requestId == 0)
            sawCall = true;
    }
    EXPECT_TRUE(sawSend && sawCall);

    // The receiver's message: control file with status and routing, and the pages.
    PktNewMessage m{};
    const Packet *nm = FindType(pkts, PKT_QM_NEW_MESSAGE);
    ASSERT_NE(nullptr, nm);
    DecodeNewMessage(nm->bytes.data(), nm->bytes.size(), &m);
    EXPECT_STREQ("ANNE", m.user);
    std::string ctl = ReadWholeFile(inst.Path("USERS/ANNE/T-IN/" + std::string(m.controlFile)));
    for (std::string want : {std::string("Type: ReceiveControl"), std::string("Status: Re"),
                             "'100" + sd + "'", std::string("[ROUTING]")})
        EXPECT_TRUE(Has(ctl, want.c_str())) << want << "\n" << ctl;
    std::string data = std::string(m.controlFile).substr(0, std::strlen(m.controlFile) - 3) + "G3N";
    // Each received page holds the sent rows, every one read whole, and no
    // more: the end-of-page codes that came over the line are no rows.
    auto sent = FaxPages(inst.Path("MSG/SRC.G3N"));
    auto got = FaxPages(inst.Path("USERS/ANNE/T-IN/" + data));
    ASSERT_EQ(2u, sent.size());
    ASSERT_EQ(2u, got.size());
    unsigned char want[ROW_BYTES];
    for (int p = 0; p < 2; ++p) {
        ASSERT_EQ(static_cast<size_t>(PAGE_ROWS), sent[p].size());
        ASSERT_EQ(static_cast<size_t>(PAGE_ROWS), got[p].size()) << "page " << p + 1;
        int same = 0;
        for (int r = 0; r < PAGE_ROWS; ++r) {
            PageRow(p + 1, r, want);
            same += sent[p][r] == std::string(reinterpret_cast<char *>(want), ROW_BYTES) && got[p][r] == sent[p][r];
        }
        EXPECT_EQ(PAGE_ROWS, same) << "page " << p + 1;
    }
    std::fclose(quiet);
}

TEST(ModemControllers, Class2JobFromQueuemanReachesTheOtherControllerAsAMessage)
{
#ifndef _WIN32
    GTEST_SKIP() << "mailslots between processes exist only under Windows";
#endif
    ControllersSendAJob(1, 2, false);
}

TEST(ModemControllers, Class20JobFromQueuemanReachesTheOtherControllerAsAMessage)
{
#ifndef _WIN32
    GTEST_SKIP() << "mailslots between processes exist only under Windows";
#endif
    ControllersSendAJob(3, 4, true);
}

} // namespace

int main(int argc, char **argv)
{
#ifdef _WIN32
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    g_self = self;
#else
    g_self = argv[0];
#endif
    if (argc >= 6 && std::strcmp(argv[1], "send") == 0)
        return RunSend(std::atoi(argv[2]), argv[3], std::atoi(argv[4]), argv[5]);
    if (argc >= 3 && std::strcmp(argv[1], "ctl") == 0)
        return RunController(std::atoi(argv[2]));
    if (argc >= 4 && std::strcmp(argv[1], "recv") == 0)
        return RunRecv(std::atoi(argv[2]), argv[3], argc >= 5 ? std::atoi(argv[4]) : 0);
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--make-pages") == 0) {
            WriteWholeFile(WorkPath("rp1.g3"), EncodePage(1));
            WriteWholeFile(WorkPath("rp2.g3"), EncodePage(2));
            return 0;
        }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
