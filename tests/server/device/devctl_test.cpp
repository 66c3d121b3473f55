// Device controller framework driven in-process: the fake device behind the
// operation table, the mailslots of QUEUEMAN, SYSMAN and a port control
// reply queue as local queues, and a clock that moves only when the code
// sleeps.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/faxtiff.h"
#include "common/mhdecode.h"
#include "common/platform.h"
#include "common/sharedfile.h"
#include "common/status.h"
#include "server/device/devctl.h"
#include "server/device/devheader.h"
#include "server/device/rxctl.h"
#include "server/runtime/mailslot.h"
#include "server/runtime/mhencode.h"
#include "server/runtime/packets.h"
#include "server/runtime/srvlog.h"
#include "server/runtime/sysparams.h"
#include "tests/server/device/fakelayer.h"
#include "tests/support/rt_testutil.h"
#include "tests/support/tempdir.h"

using rt::FakeClock;

namespace {

struct Packet {
    std::vector<unsigned char> bytes;
    uint8_t cls() const { return bytes.size() > 2 ? bytes[2] : 0; }
    uint8_t type() const { return bytes.size() > 3 ? bytes[3] : 0; }
    uint16_t code() const { return bytes.size() > 5 ? static_cast<uint16_t>(bytes[4] | bytes[5] << 8) : 0; }
};

std::vector<Packet> Drain(TvMailslot slot)
{
    std::vector<Packet> out;
    unsigned char buf[MSG_MAX_PACKET];
    uint16_t len = 0;
    while (MsgReadRequest(slot, buf, sizeof buf, &len) == 0)
        out.push_back(Packet{std::vector<unsigned char>(buf, buf + len)});
    return out;
}

std::vector<uint16_t> StatusCodes(const std::vector<Packet> &pkts, std::vector<uint16_t> *pages = nullptr)
{
    std::vector<uint16_t> codes;
    for (const auto &p : pkts)
        if (p.cls() == PKT_CLASS_QUEUEMAN && p.type() == PKT_QM_STATUS) {
            PktStatus s;
            DecodeStatus(p.bytes.data(), p.bytes.size(), &s);
            codes.push_back(s.statusCode);
            if (pages)
                pages->push_back(s.page);
        }
    return codes;
}

const Packet *FindPacket(const std::vector<Packet> &pkts, uint8_t cls, uint8_t type, int nth = 0)
{
    for (const auto &p : pkts)
        if (p.cls() == cls && p.type() == type && nth-- == 0)
            return &p;
    return nullptr;
}

void SendTo(const char *queue, const uint8_t *buf, size_t len)
{
    uint8_t copy[MSG_MAX_PACKET];
    std::memcpy(copy, buf, len);
    ASSERT_EQ(0, MsgSendRequest(queue, 0, copy, static_cast<uint16_t>(len), nullptr, 0, nullptr));
}

void SendDeviceRequest(uint8_t type, uint16_t tag, uint16_t id = 0, uint8_t cls = PKT_CLASS_DEVICE)
{
    PktDeviceRequest r{};
    r.hdr.cls = cls;
    r.hdr.type = type;
    r.tag = tag;
    r.requestId = id;
    uint8_t buf[32];
    SendTo(g_dev.queue, buf, EncodeDeviceRequest(&r, buf, sizeof buf));
}

void SendPortOffline(uint16_t id, uint32_t busy = 0, uint32_t interrupt = 0)
{
    PktPortOffline r{};
    r.hdr.cls = PKT_CLASS_DEVICE;
    r.hdr.type = PKT_DEV_PORT_OFFLINE;
    r.busy = busy;
    r.interrupt = interrupt;
    r.requestId = id;
    SetPacketText(r.replyQueue, sizeof r.replyQueue, "TVCTL\\1");
    uint8_t buf[64];
    SendTo(g_dev.queue, buf, EncodePortOffline(&r, buf, sizeof buf));
}

void SendOffline(uint32_t busy, uint32_t interrupt)
{
    PktOffline r{};
    r.hdr.cls = PKT_CLASS_DEVICE;
    r.hdr.type = PKT_DEV_OFFLINE;
    r.busy = busy;
    r.interrupt = interrupt;
    uint8_t buf[64];
    SendTo(g_dev.queue, buf, EncodeOffline(&r, buf, sizeof buf));
}

// A fax file of pages whose rows carry a pattern per page (a black bar of
// page * 40 pixels on every row) so that pages can be told apart.
void WriteFaxFile(const std::string &path, int pages, int rows = 30, uint16_t yres = 98)
{
    FILE *f = std::fopen(rt::HostPath(path).c_str(), "w+b");
    ASSERT_NE(nullptr, f);
    FaxPageState st{};
    ASSERT_EQ(0, StartTiffFaxFile(f, &st, 1728, yres));
    uint8_t row[216];
    for (int p = 1; p <= pages; ++p)
        for (int r = 0; r < rows; ++r) {
            std::memset(row, 0, sizeof row);
            std::memset(row + 10, 0xFF, static_cast<size_t>(p * 5));
            row[100 + r % 50] = 0x81;
            int end = r == rows - 1;
            ASSERT_EQ(0, WriteTiffFaxRow(f, &st, row, sizeof row, end, end && p == pages));
        }
    std::fclose(f);
}

// The coded data of each page of a fax file.
std::vector<std::vector<unsigned char>> PageData(const std::string &path)
{
    std::vector<std::vector<unsigned char>> pages;
    FILE *f = std::fopen(rt::HostPath(path).c_str(), "rb");
    if (!f)
        return pages;
    FaxSource src{};
    uint16_t y, w;
    if (OpenFaxSource(f, &src, &y, &w) != 0) {
        std::fclose(f);
        return pages;
    }
    std::vector<unsigned char> cur;
    unsigned char buf[700];
    for (;;) {
        uint32_t len = 0;
        int endPage = 0, endFile = 0;
        if (ReadFaxBlock(f, &src, buf, sizeof buf, &len, &endPage, &endFile) != 0)
            break;
        cur.insert(cur.end(), buf, buf + len);
        if (endPage || endFile) {
            pages.push_back(cur);
            cur.clear();
        }
        if (endFile)
            break;
    }
    std::fclose(f);
    return pages;
}

// Rows decoded from coded page data.
std::vector<std::vector<uint8_t>> DecodeRows(const std::vector<unsigned char> &data, int maxRows)
{
    std::vector<std::vector<uint8_t>> rows;
    MhDecoder dec;
    MhInitDecoderMem(&dec, data.data(), static_cast<uint32_t>(data.size()), 1728, static_cast<uint16_t>(maxRows));
    for (int i = 0; i < maxRows; ++i) {
        std::vector<uint8_t> row(216);
        if (DecodeFaxLine(&dec, -1, row.data(), row.size()) != MH_LINE_OK)
            break;
        rows.push_back(row);
    }
    return rows;
}

// Image length of each page of a fax file, and how many of its rows the
// decoder reads whole.
std::vector<std::pair<int, int>> PageRowsRead(const std::string &path)
{
    std::vector<std::pair<int, int>> pages;
    FILE *f = std::fopen(rt::HostPath(path).c_str(), "rb");
    if (!f)
        return pages;
    for (uint16_t page = 0;; ++page) {
        uint16_t width = 0, lines = 0, yres = 0, count = 0;
        uint32_t strip = 0;
        if (OpenFaxPage(f, page, &width, &lines, &strip, &yres, &count) != 1)
            break;
        int ok = 0;
        uint8_t row[FAX_ROW_BYTES];
        for (int32_t n = 0; n < lines; ++n)
            ok += ReadFaxLine(n, row, sizeof row) == MH_LINE_OK;
        pages.emplace_back(lines, ok);
        if (page + 1 >= count)
            break;
    }
    std::fclose(f);
    return pages;
}

std::string LogText(FILE *f) { return rt::StreamText(f); }

const char kSetup[] =
    "[OPTIONS]\r\n"
    "CSIDSeparator: #\r\n"
    "DateFormatShort: dd/MM/yy\r\n"
    "\r\n"
    "[FCLASS-1]\r\n"
    "Port: COM1\r\n"
    "PhoneNum: +44 1234 567\r\n"
    "RecdUser: USER1\r\n"
    "SendMsgTries: 2\r\n"
    "ConnectTries: 2\r\n"
    "%EXTRA%"
    "\r\n"
    "[PANAFAX-1]\r\n"
    "Port: COM3\r\n";

class DevCtl : public ::testing::Test {
  public:
    // Short: the directory of a job travels in a 64-byte field.
    tvtest::TempDir tmp{"dv"};
    std::string dir;
    TvMailslot qm = nullptr, sm = nullptr, tvctl = nullptr;
    FILE *log = nullptr;
    std::string extra;

    void SetUp() override
    {
        FakeClock::Install();
        dir = tmp.Path() + "\\";
        ResetSystemParameters();
        std::snprintf(g_sysParams.allUserArea, sizeof g_sysParams.allUserArea, "%s", dir.c_str());
        std::snprintf(g_sysParams.serverArea, sizeof g_sysParams.serverArea, "%s", dir.c_str());
        rt::MakeDir(dir + "USER1");
        rt::MakeDir(dir + "USER1\\T-IN");
        rt::MakeDir(dir + "T-TEMP");
        rt::MakeDir(dir + "T-DB");
        rt::MakeDir(dir + "MSG");
        log = std::tmpfile();
        LogInit(log, nullptr, 1, "FCLASS-1");
        ASSERT_EQ(0, MsgMakePipe("QUEUEMAN", 0, &qm));
        ASSERT_EQ(0, MsgMakePipe("SYSMAN", 0, &sm));
        ASSERT_EQ(0, MsgMakePipe("TVCTL\\1", 0, &tvctl));
        FakeStart();
        ASSERT_LT((dir + "MSG\\").size(), sizeof(PktJob::directory)) << dir;
    }

    void TearDown() override
    {
        DevReset(&FakeLowerLayer, 1);
        g_fake->onCall = nullptr;
        MsgClosePipe(qm);
        MsgClosePipe(sm);
        MsgClosePipe(tvctl);
        LogInit(rt::QuietStream(), nullptr, 3, "TEST");
        std::fclose(log);
        FakeClock::Remove();
    }

    // Starts the controller on the setup text; 0 when it came up.
    uint16_t Start(const std::string &type = "FCLASS")
    {
        g_fake->typeName = type;
        std::string text = kSetup;
        text.replace(text.find("%EXTRA%"), 7, extra);
        rt::WriteText(dir + "SETUP.INI", text);
        DevReset(&FakeLowerLayer, 1);
        FILE *ini = std::fopen(rt::HostPath(dir + "SETUP.INI").c_str(), "rb");
        uint16_t r = DevStartup(ini);
        std::fclose(ini);
        return r;
    }

    void SendJob(uint16_t id, const char *file, uint16_t format = 5, uint16_t route = 2, uint32_t hdrFlags = 0,
                 const char *expected = "", uint16_t pagesSent = 0, uint8_t type = PKT_DEV_JOB,
                 const char *second = "")
    {
        PktJob j{};
        j.hdr.cls = PKT_CLASS_DEVICE;
        j.hdr.type = type;
        j.tag = g_dev.tag;
        j.requestId = id;
        SetPacketText(j.messageName, sizeof j.messageName, "MSG00001");
        SetPacketText(j.directory, sizeof j.directory, (dir + "MSG\\").c_str());
        SetPacketText(j.firstFile, sizeof j.firstFile, file);
        SetPacketText(j.secondFile, sizeof j.secondFile, second);
        j.format = format;
        j.route = route;
        j.scanFormat = format;
        SetPacketText(j.number, sizeof j.number, "0123 456");
        SetPacketText(j.sender, sizeof j.sender, "Anna Sender");
        SetPacketText(j.expectedId, sizeof j.expectedId, expected);
        j.headerFlags = hdrFlags;
        SetPacketText(j.remoteName, sizeof j.remoteName, "Bob Remote");
        j.pagesSent = pagesSent;
        uint8_t buf[PKT_JOB_SIZE];
        size_t len = EncodeJob(&j, buf, sizeof buf);
        ASSERT_EQ(PKT_JOB_SIZE, len);
        SendTo(g_dev.queue, buf, len);
    }

    PktJobResult JobResult(const std::vector<Packet> &pkts, int nth = 0)
    {
        PktJobResult r{};
        const Packet *p = FindPacket(pkts, PKT_CLASS_QUEUEMAN, PKT_QM_JOB_RESULT, nth);
        EXPECT_NE(nullptr, p);
        if (p) {
            EXPECT_EQ(PKT_JOB_RESULT_SIZE, p->bytes.size());
            DecodeJobResult(p->bytes.data(), p->bytes.size(), &r);
        }
        return r;
    }
};

// ---------------------------------------------------------------- start-up
TEST_F(DevCtl, StartupOpensDeviceThenRegistersAndReportsToSysman)
{
    ASSERT_EQ(0, Start());
    std::vector<std::string> expect = {"ReadDeviceIniFile", "InitialiseDevice", "PollDevice", "CheckFaxStatus",
                                       "PollDevice"};
    EXPECT_EQ(expect, g_fake->calls);
    auto q = Drain(qm);
    ASSERT_EQ(1u, q.size());
    ASSERT_EQ(PKT_REGISTER_SIZE, q[0].bytes.size());
    PktRegister reg;
    DecodeRegister(q[0].bytes.data(), q[0].bytes.size(), &reg);
    EXPECT_STREQ("FCLASS", reg.deviceName);
    EXPECT_EQ(1, reg.deviceNumber);
    EXPECT_STREQ("FCLASS\\1", reg.queue);
    EXPECT_EQ(g_dev.tag, reg.tag);
    EXPECT_EQ(0x4000000Cu, reg.sendRoutes);
    auto s = Drain(sm);
    ASSERT_EQ(2u, s.size());
    EXPECT_EQ(PKT_SM_PORT_INIT, s[0].type());
    EXPECT_EQ(PKT_PORT_INIT_SIZE, s[0].bytes.size());
    PktPortInit pi;
    DecodePortInit(s[0].bytes.data(), s[0].bytes.size(), &pi);
    EXPECT_STREQ("COM1", pi.port);
    EXPECT_EQ(PKT_SM_CONTROLLER_STARTED, s[1].type());
    PktControllerStarted cs;
    DecodeControllerStarted(s[1].bytes.data(), s[1].bytes.size(), &cs);
    EXPECT_STREQ("FCLASS-1", cs.id);

    // First pass: IDLE is told, nothing else to do.
    EXPECT_EQ(0, DevRunOnce());
    EXPECT_EQ(std::vector<uint16_t>{1}, StatusCodes(Drain(qm)));
    EXPECT_EQ(DEV_STATE_IDLE, g_dev.state);
}

TEST_F(DevCtl, FailedInitialisationRegistersAndGoesIntoDeviceError)
{
    g_fake->script[FAKE_INITIALISE] = {DEV_CANNOT_COMMUNICATE};
    g_fake->script[FAKE_RECOVERY] = {0};
    ASSERT_EQ(0, Start());
    EXPECT_EQ(0, g_fake->count("CheckFaxStatus"));
    EXPECT_NE(std::string::npos, LogText(log).find("Error CANNOT COMMUNICATE WITH DEVICE initialising device"));
    EXPECT_NE(nullptr, FindPacket(Drain(qm), PKT_CLASS_QUEUEMAN, PKT_QM_REGISTER));
    EXPECT_EQ(0, DevRunOnce());
    EXPECT_EQ(1, g_fake->count("WaitForDeviceRecovery"));
    EXPECT_EQ((std::vector<uint16_t>{2, 1}), StatusCodes(Drain(qm)));
}

TEST_F(DevCtl, MissingPortOrDeviceParagraphStopsStartup)
{
    g_fake->typeName = "FCLASS";
    rt::WriteText(dir + "SETUP.INI", "[OPTIONS]\r\nUseArchiveAttribute: N\r\n[FCLASS-1]\r\nBaudRate: 0\r\n");
    DevReset(&FakeLowerLayer, 1);
    FILE *ini = std::fopen(rt::HostPath(dir + "SETUP.INI").c_str(), "rb");
    EXPECT_EQ(DEV_INVALID_PARAMETER, DevStartup(ini));
    std::fclose(ini);
    EXPECT_NE(std::string::npos, LogText(log).find("Port: line missing from Init file"));
    EXPECT_TRUE(Drain(qm).empty());
}

// ---------------------------------------------------------------- states
TEST(DevStates, NotifyTableOverAllPairs)
{
    // [new][current], states 1..12 in the order IDLE, WAIT CONNECT, SENDING,
    // RECEIVING, POLL SEND, POLL RECEIVE, WAIT SCAN DOC, SCANNING, CALL
    // RECEIVED, OFFLINE, ERROR, FAILED.
    static const char *const table[12] = {
        "011111111111", // IDLE
        "000000000000", // WAIT CONNECT
        "111111111111", // SENDING
        "111111110111", // RECEIVING
        "111111111111", // POLL SEND
        "000000000000", // POLL RECEIVE
        "000000000000", // WAIT SCAN DOC
        "111111111111", // SCANNING
        "111111110111", // CALL RECEIVED
        "111111111011", // OFFLINE
        "111111111101", // ERROR
        "111111111110", // FAILED
    };
    for (int n = 1; n <= 12; ++n)
        for (int c = 1; c <= 12; ++c)
            EXPECT_EQ(table[n - 1][c - 1] == '1', StateNotifies(n, c) != 0) << "new " << n << " current " << c;
    static const uint16_t codes[13] = {0, 1, 6, 7, 8, 9, 10, 11, 12, 13, 4, 2, 3};
    for (int s = 1; s <= 12; ++s)
        EXPECT_EQ(codes[s], StateStatusCode(s));
    LogInit(rt::QuietStream(), nullptr, 3, "TEST");
    EXPECT_STREQ("???", StateName(13));
    EXPECT_STREQ("???", DeviceErrorText(32));
    EXPECT_STREQ("SYSTEM SHUTDOWN REQUESTED", DeviceErrorText(27));
}

TEST_F(DevCtl, StateChangesSendStatusWithPageOnlyWhereTheTableSays)
{
    ASSERT_EQ(0, Start());
    Drain(qm);
    SetDeviceState(DEV_STATE_IDLE);
    SetDeviceState(DEV_STATE_IDLE);
    SetDeviceState(DEV_STATE_WAIT_CONNECT);
    SetDeviceState(DEV_STATE_SENDING);
    SetCurrentPage(4);
    SetDeviceState(DEV_STATE_CALL_RECEIVED);
    SetDeviceState(DEV_STATE_RECEIVING);
    std::vector<uint16_t> pages;
    EXPECT_EQ((std::vector<uint16_t>{1, 7, 7, 13}), StatusCodes(Drain(qm), &pages));
    EXPECT_EQ((std::vector<uint16_t>{0, 0, 4, 0}), pages);
    std::string text = LogText(log);
    EXPECT_NE(std::string::npos, text.find("Device status now WAIT CONNECT"));
    EXPECT_NE(std::string::npos, text.find("Device status now RECEIVING"));
    // Once per real change: SENDING to SENDING is not logged again.
    size_t first = text.find("Device status now SENDING");
    EXPECT_EQ(std::string::npos, text.find("Device status now SENDING", first + 1));
}

TEST(DevReplies, ResultToReplyCode)
{
    struct Row {
        uint16_t result, failure, reply;
    } rows[] = {
        {0, 0xF103, 0},        {1, 0xF103, 0xF00A},   {2, 0xF103, 0xF102},   {3, 0xF103, 0xF102},
        {7, 0xF103, 0xF102},   {8, 0xF103, 0xF103},   {8, 0xF10A, 0xF10A},   {8, 0xF10C, 0xF10C},
        {10, 0xF103, 0xF104},  {15, 0xF103, 0xF006},  {16, 0xF103, 0xF001},  {26, 0xF103, 0xF00A},
        {4, 0xF103, 0xF100},   {9, 0xF103, 0xF100},   {17, 0xF103, 0xF100},  {25, 0xF103, 0xF100},
        {27, 0xF103, 0xF100},  {200, 0xF103, 0xF100},
    };
    for (const auto &r : rows)
        EXPECT_EQ(r.reply, JobReplyCode(r.result, r.failure)) << r.result;
    EXPECT_EQ(0xF108, ScanReplyCode(6));
    EXPECT_EQ(0xF00A, ScanReplyCode(26));
    EXPECT_EQ(0xF100, ScanReplyCode(20));
}

// ---------------------------------------------------------------- requests
TEST_F(DevCtl, RequestsOfAnotherInstanceAreDroppedAndStopEndsTheLoop)
{
    ASSERT_EQ(0, Start());
    SendDeviceRequest(PKT_DEV_STOP, static_cast<uint16_t>(g_dev.tag + 1));
    SendDeviceRequest(77, 0);
    EXPECT_EQ(0, DevRunOnce());
    std::string text = LogText(log);
    EXPECT_NE(std::string::npos, text.find("Request received for previous device"));
    EXPECT_NE(std::string::npos, text.find("Invalid request subtype received (77)"));
    SendDeviceRequest(PKT_DEV_STOP, g_dev.tag);
    EXPECT_EQ(1, DevRunOnce());
    DevShutdown();
    EXPECT_EQ("CloseDevice", g_fake->calls.back());
}

TEST_F(DevCtl, ClassNinetyNineStopsWhateverTheType)
{
    ASSERT_EQ(0, Start());
    SendDeviceRequest(42, 0, 0, PKT_CLASS_STOPALL);
    EXPECT_EQ(1, DevRunOnce());
    EXPECT_TRUE(g_dev.stopping);
}

// ---------------------------------------------------------------- send jobs
TEST_F(DevCtl, SendJobSendsEveryPageAndReportsResult)
{
    WriteFaxFile(dir + "MSG\\A.G3N", 3);
    ASSERT_EQ(0, Start());
    Drain(qm);
    SendJob(77, "A.G3N");
    EXPECT_EQ(0, DevRunOnce());
    auto pages = PageData(dir + "MSG\\A.G3N");
    ASSERT_EQ(3u, pages.size());
    ASSERT_EQ(3u, g_fake->sentPages.size());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(pages[i], g_fake->sentPages[i]) << "page " << i + 1;
    EXPECT_EQ((std::vector<uint16_t>{DEV_BLOCK_PAGE_END, DEV_BLOCK_PAGE_END, DEV_BLOCK_LAST_PAGE_END}),
              g_fake->endKinds);
    ASSERT_EQ(1u, g_fake->connects.size());
    EXPECT_EQ(DEV_CONNECT_SEND, g_fake->connects[0].operation);
    EXPECT_EQ("0123 456", g_fake->numbers[0]);
    auto q = Drain(qm);
    std::vector<uint16_t> statusPages;
    // IDLE, then SENDING with each page, then IDLE at the next pass.
    EXPECT_EQ((std::vector<uint16_t>{1, 7, 7, 7, 7}), StatusCodes(q, &statusPages));
    EXPECT_EQ((std::vector<uint16_t>{0, 0, 1, 2, 3}), statusPages);
    PktJobResult res = JobResult(q);
    EXPECT_EQ(0, res.hdr.code);
    EXPECT_EQ(77, res.requestId);
    EXPECT_EQ(3, res.pages);
    EXPECT_NE(std::string::npos, LogText(log).find("Connect time - 00:00, Pages - 3, Status - OK"));
}

TEST_F(DevCtl, SendJobWithHeaderLinePutsRenderedLineAboveEveryPage)
{
    FILE *src = std::fopen(TV_FONT_DIR "/ELIT_LN.FN", "rb");
    ASSERT_NE(nullptr, src) << "fonts missing";
    std::vector<unsigned char> font(40000);
    font.resize(std::fread(font.data(), 1, font.size(), src));
    std::fclose(src);
    for (const char *name : {"ELIT_LN.FN", "ELIT_SN.FN"}) {
        FILE *in = std::fopen((std::string(TV_FONT_DIR "/") + name).c_str(), "rb");
        ASSERT_NE(nullptr, in);
        std::vector<unsigned char> b(60000);
        b.resize(std::fread(b.data(), 1, b.size(), in));
        std::fclose(in);
        FILE *out = std::fopen(rt::HostPath(dir + "T-DB\\" + name).c_str(), "wb");
        std::fwrite(b.data(), 1, b.size(), out);
        std::fclose(out);
    }
    WriteFaxFile(dir + "MSG\\H.G3N", 2, 20);
    ASSERT_EQ(0, Start());
    g_fake->realHeader = true;
    SendJob(5, "H.G3N", 5, 2, DEV_HDR_PAGES | DEV_HDR_STATION | DEV_HDR_RECIPIENT | DEV_HDR_DATE);
    EXPECT_EQ(0, DevRunOnce());
    auto pages = PageData(dir + "MSG\\H.G3N");
    ASSERT_EQ(2u, g_fake->sentPages.size()) << LogText(log);
    for (int i = 0; i < 2; ++i) {
        const auto &sent = g_fake->sentPages[i];
        ASSERT_GT(sent.size(), pages[i].size());
        // The page's own data follows the header line unchanged.
        EXPECT_TRUE(std::equal(pages[i].begin(), pages[i].end(), sent.end() - pages[i].size()));
        auto rows = DecodeRows(sent, 200);
        ASSERT_EQ(static_cast<size_t>(16 + 20), rows.size());
        int black = 0;
        for (int r = 0; r < 16; ++r)
            for (uint8_t b : rows[r])
                black += b != 0;
        EXPECT_GT(black, 20) << "header line of page " << i + 1 << " is blank";
    }
    // Page 1 and page 2 headers differ (the page number).
    auto r1 = DecodeRows(g_fake->sentPages[0], 16), r2 = DecodeRows(g_fake->sentPages[1], 16);
    EXPECT_NE(r1, r2);
    // The header file is gone after the job.
    FindMatchRecord *m = FindFirstMatch((dir + "T-TEMP\\").c_str(), "*.*", 0);
    char name[64];
    EXPECT_FALSE(m && FindNextMatch(m, name, sizeof name));
    if (m)
        FindEndMatch(m);
    EXPECT_EQ(0, JobResult(Drain(qm)).hdr.code);
}

TEST_F(DevCtl, BusyLineGivesRefinedFailureCodeAfterConnectTries)
{
    WriteFaxFile(dir + "MSG\\B.G3N", 1);
    ASSERT_EQ(0, Start());
    g_fake->script[FAKE_WAIT_CONNECT] = {DEV_NO_CONNECT, DEV_NO_CONNECT};
    g_fake->onCall = [](const std::string &op) {
        if (op == "WaitForConnect")
            DevSetFailureCode(TV_E_ENGAGED);
    };
    SendJob(9, "B.G3N");
    EXPECT_EQ(0, DevRunOnce());
    EXPECT_EQ(2u, g_fake->connects.size()); // ConnectTries: 2
    EXPECT_EQ(2, g_fake->count("CancelJob"));
    PktJobResult res = JobResult(Drain(qm));
    EXPECT_EQ(TV_E_ENGAGED, res.hdr.code);
    EXPECT_EQ(0, res.pages);
    EXPECT_EQ(0, g_fake->count("WaitForDeviceRecovery"));
}

TEST_F(DevCtl, InterruptedCallRedialsAndSendsAllPages)
{
    WriteFaxFile(dir + "MSG\\R.G3N", 3);
    ASSERT_EQ(0, Start());
    g_fake->failSendAtPage = 2; // the remote hangs up in page 2
    SendJob(11, "R.G3N");
    EXPECT_EQ(0, DevRunOnce());
    // First attempt sent page 1, the second all three (no skipping below 3 pages).
    ASSERT_EQ(4u, g_fake->sentPages.size());
    EXPECT_EQ(2u, g_fake->connects.size());
    auto pages = PageData(dir + "MSG\\R.G3N");
    EXPECT_EQ(pages[0], g_fake->sentPages[1]);
    EXPECT_EQ(pages[2], g_fake->sentPages[3]);
    PktJobResult res = JobResult(Drain(qm));
    EXPECT_EQ(0, res.hdr.code);
    EXPECT_EQ(3, res.pages);
}

TEST_F(DevCtl, RemoteIdMismatchRepliesInvalidId)
{
    WriteFaxFile(dir + "MSG\\I.G3N", 1);
    extra = "ConnectTries: 1\r\n";
    ASSERT_EQ(0, Start());
    SendJob(12, "I.G3N", 5, 2, 0, "999");
    EXPECT_EQ(0, DevRunOnce());
    EXPECT_TRUE(g_fake->sentPages.empty());
    EXPECT_EQ(TV_E_REMOTE_ID, JobResult(Drain(qm)).hdr.code);
    EXPECT_NE(std::string::npos, LogText(log).find("Remote fax ID does not match"));
}

TEST(DevRetry, SkipRangeOnRetry)
{
    struct Row {
        uint16_t best, split, initial, first, last;
    } rows[] = {
        {0, 3, 1, 0, 0}, {2, 3, 1, 0, 0}, {3, 3, 1, 2, 3}, {7, 3, 1, 2, 7},
        {7, 0, 1, 0, 0}, {5, 3, 5, 0, 0}, {6, 3, 5, 6, 6},
    };
    for (const auto &r : rows) {
        uint16_t f, l;
        RetrySkipRange(r.best, r.split, r.initial, &f, &l);
        EXPECT_EQ(r.first, f) << r.best << "/" << r.split << "/" << r.initial;
        EXPECT_EQ(r.last, l);
    }
}

TEST_F(DevCtl, AbortDuringSendEndsJobWithoutDeviceError)
{
    WriteFaxFile(dir + "MSG\\C.G3N", 3);
    ASSERT_EQ(0, Start());
    static int blocks;
    blocks = 0;
    g_fake->onCall = [](const std::string &op) {
        if (op == "SendDataBlock" && ++blocks == 1)
            SendDeviceRequest(PKT_DEV_ABORT, 0);
    };
    SendJob(13, "C.G3N");
    EXPECT_EQ(0, DevRunOnce());
    EXPECT_EQ(1u, g_fake->sentPages.size());
    PktJobResult res = JobResult(Drain(qm));
    EXPECT_EQ(TV_E_JOB_ABORTED, res.hdr.code);
    EXPECT_EQ(1, res.pages);
    EXPECT_EQ(0, DevRunOnce());
    EXPECT_EQ(0, g_fake->count("WaitForDeviceRecovery"));
    EXPECT_EQ(DEV_STATE_IDLE, g_dev.state);
}

TEST_F(DevCtl, JobWhileBusyIsRefusedAndWrongFormatFails)
{
    WriteFaxFile(dir + "MSG\\D.G3N", 2);
    ASSERT_EQ(0, Start());
    static DevCtl *self;
    self = this;
    g_fake->onCall = [](const std::string &op) {
        if (op == "MakeConnection")
            self->SendJob(21, "D.G3N");
    };
    SendJob(20, "D.G3N");
    EXPECT_EQ(0, DevRunOnce());
    auto q = Drain(qm);
    PktJobResult refused = JobResult(q, 0);
    EXPECT_EQ(21, refused.requestId);
    EXPECT_EQ(TV_E_DEV_BUSY, refused.hdr.code);
    EXPECT_EQ(0, JobResult(q, 1).hdr.code);
    g_fake->onCall = nullptr;
    // G3F data on the G3N route.
    SendJob(22, "D.G3N", 6, 2);
    EXPECT_EQ(0, DevRunOnce());
    EXPECT_EQ(TV_E_BADARG, JobResult(Drain(qm)).hdr.code);
    EXPECT_NE(std::string::npos, LogText(log).find("Format 6 not valid for route 2"));
}

TEST_F(DevCtl, LocalPrintOnAPrintRoute)
{
    WriteFaxFile(dir + "MSG\\P.G3N", 2);
    ASSERT_EQ(0, Start("PANAFAX"));
    SendJob(30, "P.G3N", 5, 16);
    EXPECT_EQ(0, DevRunOnce());
    ASSERT_EQ(1u, g_fake->connects.size());
    EXPECT_EQ(DEV_CONNECT_PRINT, g_fake->connects[0].operation);
    EXPECT_EQ(2u, g_fake->sentPages.size());
    PktJobResult res = JobResult(Drain(qm));
    EXPECT_EQ(0, res.hdr.code);
    EXPECT_EQ(2, res.pages);
}

TEST_F(DevCtl, LocalPrintWithControlFilePrintsStatusReport)
{
    WriteFaxFile(dir + "MSG\\P.G3N", 1);
    const std::string good = "[TAVRINE]\r\nType: SendControl\r\nRevision: A\r\n\r\n[MESSAGE]\r\nAssocFile: P.G3N\r\n"
                             "[OPTIONS]\r\nFrom: Ann\r\n[ADDRESSEES]\r\nShortName: B\r\nName: Bob\r\n"
                             "Organisation: Acme\r\nName: Cy\r\n[HISTORY]\r\nMessageID: 1a2b\r\nUser: ANN\r\n"
                             "SentOK: 10-12-26 13:05:09\r\n";
    rt::WriteText(dir + "MSG\\P.CTL", good);
    ASSERT_EQ(0, Start("PANAFAX"));
    SendJob(32, "P.CTL", 5, 16, 0, "", 0, PKT_DEV_JOB, "P.G3N");
    EXPECT_EQ(0, DevRunOnce());
    EXPECT_EQ("Message status report\r\nMessage: P.G3N\r\nFrom: Ann\r\nTo: Bob, Acme\r\nTo: Cy\r\n"
              "Message ID: 00001A2B\r\nUser: ANN\r\nSent OK: 10-12-26 13:05:09\r\n",
              g_fake->report);
    ASSERT_EQ(1u, g_fake->sentPages.size()); // the fax file is printed, the control file is not
    EXPECT_EQ("", std::string(g_fake->connects[0].messageName));
    EXPECT_EQ(0, JobResult(Drain(qm)).hdr.code);

    // A broken history line fails the job as a file error.
    rt::WriteText(dir + "MSG\\P.CTL", good + "RecdEr: yesterday\r\n");
    SendJob(33, "P.G3N", 5, 16, 0, "", 0, PKT_DEV_JOB, "P.CTL");
    EXPECT_EQ(0, DevRunOnce());
    EXPECT_EQ(TV_E_JOB_FILE, JobResult(Drain(qm)).hdr.code);
    EXPECT_NE(std::string::npos, LogText(log).find("Invalid line in print control file (1)"));
}

TEST_F(DevCtl, TextJobGoesOutLineByLine)
{
    rt::WriteText(dir + "MSG\\T.TXT", "first line\r\nsecond\r\nlast");
    ASSERT_EQ(0, Start("PANAFAX"));
    SendJob(31, "T.TXT", 2, 6); // route 6 carries text
    EXPECT_EQ(0, DevRunOnce());
    EXPECT_EQ("first line\r\nsecond\r\nlast", std::string(g_fake->currentPage.begin(), g_fake->currentPage.end()));
    PktJobResult res = JobResult(Drain(qm));
    EXPECT_EQ(0, res.hdr.code);
    EXPECT_EQ(1, res.pages);
}

TEST_F(DevCtl, ScanJobPrintsStatusTextsAndScansIntoTheFile)
{
    rt::WriteText(dir + "T-DB\\SCANWAIT.TXT", "Put the document in\r\n");
    rt::WriteText(dir + "T-DB\\SCANCONF.TXT", "Take it away to stop\r\n");
    rt::WriteText(dir + "T-DB\\SCANDONE.TXT", "Done\r\n");
    WriteFaxFile(dir + "MSG\\SRC.G3N", 2, 12);
    auto src = PageData(dir + "MSG\\SRC.G3N");
    ASSERT_EQ(0, Start("PANAFAX"));
    g_fake->rxPages = {{src[0]}, {src[1]}};
    // No document, then one that stays through the confirm wait.
    g_fake->script[FAKE_DOC_ON_ADF] = {0, DEV_DOC_ON_SCANNER};
    g_fake->defaults[FAKE_DOC_ON_ADF] = DEV_DOC_ON_SCANNER;
    SendJob(41, "SCAN.G3N", 5, 13, 0, "", 0, PKT_DEV_SCAN_JOB);
    EXPECT_EQ(0, DevRunOnce());
    std::vector<uint16_t> ops;
    for (const auto &c : g_fake->connects)
        ops.push_back(c.operation);
    EXPECT_EQ((std::vector<uint16_t>{12, 12, 15, 12}), ops);
    std::string printed(g_fake->currentPage.begin(), g_fake->currentPage.end());
    EXPECT_EQ("Put the document in\r\nTake it away to stop\r\nDone\r\n", printed);
    auto got = PageData(dir + "MSG\\SCAN.G3N");
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ(src[1], got[1]);
    auto q = Drain(qm);
    const Packet *p = FindPacket(q, PKT_CLASS_QUEUEMAN, PKT_QM_SCAN_RESULT);
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(0, p->code());
    std::string text = LogText(log);
    EXPECT_NE(std::string::npos, text.find("Waiting to see if document is removed"));
    EXPECT_NE(std::string::npos, text.find("Finished waiting"));
}

TEST_F(DevCtl, ScanJobWaitsForDocumentAndTimesOut)
{
    ASSERT_EQ(0, Start("PANAFAX"));
    g_fake->defaults[FAKE_DOC_ON_ADF] = 0;
    SendJob(40, "SCAN.G3N", 5, 13, 0, "", 0, PKT_DEV_SCAN_JOB);
    EXPECT_EQ(0, DevRunOnce());
    auto q = Drain(qm);
    const Packet *p = FindPacket(q, PKT_CLASS_QUEUEMAN, PKT_QM_SCAN_RESULT);
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(PKT_SCAN_RESULT_SIZE, p->bytes.size());
    EXPECT_EQ(TV_E_SCAN_FAILED, p->code());
    EXPECT_GE(g_fake->count("IsDocumentOnADF"), 40); // 120 s in 3 s steps
}

// ---------------------------------------------------------------- receiving
TEST_F(DevCtl, IncomingCallWritesMessageControlFileAndNewMessage)
{
    ASSERT_EQ(0, Start());
    Drain(qm);
    WriteFaxFile(dir + "MSG\\SRC.G3N", 2, 25);
    auto src = PageData(dir + "MSG\\SRC.G3N");
    // As the line carries them: the first page ends with the return to
    // control (six EOLs) and fill, the second without its closing EOL.
    std::vector<unsigned char> line1 = src[0], line2 = src[1];
    const unsigned char rtc[] = {0x00, 0x08, 0x80, 0x00, 0x08, 0x80, 0x00, 0x08, 0x80, 0x00, 0x00, 0x00};
    line1.insert(line1.end(), rtc, rtc + sizeof rtc);
    ASSERT_EQ(0x08, line2.back());
    line2.resize(line2.size() - 2);
    g_fake->rxPages = {{line1}, {line2}};
    g_fake->remoteId = "  12345#678";
    g_fake->rxDtmf = "12#";
    g_fake->rxSubAddr = "123";
    g_fake->rxCli = "0123456";
    g_fake->script[FAKE_POLL] = {DEV_INCOMING_CALL};
    EXPECT_EQ(0, DevRunOnce());

    auto q = Drain(qm);
    const Packet *nm = FindPacket(q, PKT_CLASS_QUEUEMAN, PKT_QM_NEW_MESSAGE);
    ASSERT_NE(nullptr, nm);
    ASSERT_EQ(PKT_NEW_MESSAGE_SIZE, nm->bytes.size());
    PktNewMessage m;
    DecodeNewMessage(nm->bytes.data(), nm->bytes.size(), &m);
    EXPECT_STREQ("USER1", m.user);
    std::string ctl = m.controlFile;
    ASSERT_EQ(0u, ctl.find("~RECD"));
    std::string data = ctl.substr(0, ctl.size() - 3) + "G3N";

    std::string raw;
    FILE *f = std::fopen(rt::HostPath(dir + "USER1\\T-IN\\" + ctl).c_str(), "rb");
    ASSERT_NE(nullptr, f);
    int c;
    while ((c = std::getc(f)) != EOF)
        raw.push_back(static_cast<char>(c));
    std::fclose(f);
    std::string expect = "[TAVRINE]\r\nType: ReceiveControl\r\nRevision: A\r\n\r\n[DOCUMENT]\r\nFile: " + data +
                         "\r\nComment: From: 12345\r\n[MESSAGE]\r\nAssocFile:\r\nFormat: TIFF-NORMAL\r\n"
                         "Accepted: 26-12-10 13:05:09\r\nType: RECEIVE\r\nStatus: Re\r\nUserStatus: Wa\r\n"
                         "From: FAX '12345'\r\n\r\n[ROUTING]\r\nDTMF: 12#\r\nExtCSID: 678\r\nSubAddr: 123\r\n"
                         "FullCSID: 12345\r\nCLI: 0123456\r\n";
    EXPECT_EQ(expect, raw);

    // Stored as the sender's pages: the rows and one closing EOL, no more.
    auto got = PageData(dir + "USER1\\T-IN\\" + data);
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ(src[0], got[0]);
    EXPECT_EQ(src[1], got[1]);
    EXPECT_EQ((std::vector<std::pair<int, int>>{{25, 25}, {25, 25}}), PageRowsRead(dir + "USER1\\T-IN\\" + data));

    PktJobResult res = JobResult(q);
    EXPECT_EQ(0, res.requestId);
    EXPECT_EQ(0, res.hdr.code);
    EXPECT_EQ(2, res.pages);
    std::vector<uint16_t> pages;
    // CALL RECEIVED told, CALL RECEIVED -> RECEIVING not, then each page.
    EXPECT_EQ((std::vector<uint16_t>{1, 13, 8, 8}), StatusCodes(q, &pages));
    EXPECT_EQ((std::vector<uint16_t>{0, 0, 1, 2}), pages);
    EXPECT_EQ(DEV_CONNECT_ANSWER, g_fake->connects[0].operation);
    EXPECT_EQ("", std::string(DevGetRouting()->dtmf)); // cleared after the call
}

TEST_F(DevCtl, CallDroppingInsidePageKeepsWholePagesOrNothing)
{
    ASSERT_EQ(0, Start());
    WriteFaxFile(dir + "MSG\\SRC.G3N", 2, 25);
    auto src = PageData(dir + "MSG\\SRC.G3N");
    for (int dropIn : {2, 1}) {
        Drain(qm);
        FakeDevice &d = *g_fake;
        d.rxPages = {{src[0]}, {src[1]}};
        d.rxDropInPage = dropIn;
        d.script[FAKE_POLL] = {DEV_INCOMING_CALL};
        d.script[FAKE_RECOVERY] = {0};
        DevRunOnce();
        auto q = Drain(qm);
        PktJobResult res = JobResult(q);
        EXPECT_EQ(TV_E_RECEIVE_FAILED, res.hdr.code);
        EXPECT_EQ(dropIn - 1, res.pages);
        PktNewMessage m;
        const Packet *nm = FindPacket(q, PKT_CLASS_QUEUEMAN, PKT_QM_NEW_MESSAGE);
        ASSERT_NE(nullptr, nm);
        DecodeNewMessage(nm->bytes.data(), nm->bytes.size(), &m);
        std::string ctl = m.controlFile;
        std::string data = ctl.substr(0, ctl.size() - 3) + "G3N";
        auto got = PageData(dir + "USER1\\T-IN\\" + data);
        if (dropIn == 2) {
            ASSERT_EQ(1u, got.size());
            EXPECT_EQ(src[0], got[0]);
            uint16_t count = 0;
            FILE *f = std::fopen(rt::HostPath(dir + "USER1\\T-IN\\" + data).c_str(), "rb");
            ASSERT_NE(nullptr, f);
            EXPECT_EQ(0, CountFaxPages(f, &count));
            EXPECT_EQ(1, count);
            std::fclose(f);
        } else {
            EXPECT_TRUE(got.empty());
            EXPECT_EQ(nullptr, std::fopen(rt::HostPath(dir + "USER1\\T-IN\\" + ctl).c_str(), "rb"));
        }
        EXPECT_GE(g_fake->count("CancelJob"), 1);
        DevRunOnce(); // the failed call takes the device through recovery
    }
}

TEST_F(DevCtl, RingsAreCountedInTheRingWindow)
{
    g_fake->ringsToAnswer = 3;
    g_fake->ringWindowMs = 2000; // three more polls after the first ring
    ASSERT_EQ(0, Start());
    g_fake->script[FAKE_POLL] = {DEV_INCOMING_CALL, 0, DEV_INCOMING_CALL};
    EXPECT_EQ(0, DevRingAndDeviceCheck());
    EXPECT_NE(std::string::npos, LogText(log).find("Ring-in detected - ignored"));
    g_fake->script[FAKE_POLL] = {DEV_INCOMING_CALL, DEV_INCOMING_CALL, DEV_INCOMING_CALL};
    EXPECT_EQ(DEV_INCOMING_CALL, DevRingAndDeviceCheck());
    g_fake->script[FAKE_POLL] = {DEV_INCOMING_CALL, DEV_CANNOT_COMMUNICATE};
    EXPECT_EQ(DEV_CANNOT_COMMUNICATE, DevRingAndDeviceCheck());
    // The default window 0 answers at the first ring, with no extra polls.
    g_dev.ringsToAnswer = 1;
    g_dev.ringWindowMs = 0;
    g_fake->script[FAKE_POLL] = {DEV_INCOMING_CALL};
    int polls = g_fake->count("PollDevice");
    EXPECT_EQ(DEV_INCOMING_CALL, DevRingAndDeviceCheck());
    EXPECT_EQ(polls + 1, g_fake->count("PollDevice"));
}

TEST_F(DevCtl, DeviceCheckRunsAfterChangesAndEveryThirtySeconds)
{
    ASSERT_EQ(0, Start());
    DevRunOnce(); // IDLE: a state change, so the check runs
    int checks = g_fake->count("CheckFaxStatus");
    DevRunOnce();
    EXPECT_EQ(checks, g_fake->count("CheckFaxStatus"));
    FakeClock::now += 31000;
    DevRunOnce();
    EXPECT_EQ(checks + 1, g_fake->count("CheckFaxStatus"));
    g_fake->script[FAKE_CHECK] = {DEV_NO_REPLY, 0};
    FakeClock::now += 31000;
    DevRunOnce();
    EXPECT_EQ(checks + 3, g_fake->count("CheckFaxStatus")); // one more try after 18
}

// ---------------------------------------------------------------- offline and online
TEST_F(DevCtl, PortOfflineInIdleRepliesAndMatchingOnlineEndsIt)
{
    ASSERT_EQ(0, Start());
    DevRunOnce();
    Drain(qm);
    SendPortOffline(55);
    static int sleeps;
    sleeps = 0;
    FakeClock::onSleep = [](uint32_t) {
        ++sleeps;
        if (sleeps == 2)
            SendDeviceRequest(PKT_DEV_PORT_ONLINE, 0, 99); // another identifier: ignored
        if (sleeps == 9)
            SendPortOffline(56); // while offline: 0xF102 at once, 0 from the handling
        if (sleeps == 12)
            SendDeviceRequest(PKT_DEV_PORT_ONLINE, 0, 56);
    };
    EXPECT_EQ(0, DevRunOnce());
    FakeClock::onSleep = nullptr;
    EXPECT_EQ(1, g_fake->count("SetDeviceOffline"));
    EXPECT_EQ(1, g_fake->count("SetDeviceOnline"));
    auto r = Drain(tvctl);
    ASSERT_EQ(3u, r.size());
    uint16_t ids[3], codes[3];
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(PKT_PORT_REPLY_SIZE, r[i].bytes.size());
        PktPortReply p;
        DecodePortReply(r[i].bytes.data(), r[i].bytes.size(), &p);
        ids[i] = p.requestId;
        codes[i] = p.hdr.code;
    }
    EXPECT_EQ(55, ids[0]);
    EXPECT_EQ(0, codes[0]);
    EXPECT_EQ(56, ids[1]);
    EXPECT_EQ(TV_E_DEV_OFFLINE, codes[1]);
    EXPECT_EQ(56, ids[2]);
    EXPECT_EQ(0, codes[2]);
    EXPECT_NE(std::string::npos, LogText(log).find("Online request id does not match last offline"));
    EXPECT_EQ((std::vector<uint16_t>{4}), StatusCodes(Drain(qm)));
    DevRunOnce();
    EXPECT_EQ(DEV_STATE_IDLE, g_dev.state);
}

TEST_F(DevCtl, OfflineDuringSendFollowsBusyAndInterruptFlags)
{
    WriteFaxFile(dir + "MSG\\O.G3N", 2);
    ASSERT_EQ(0, Start());
    DevRunOnce();
    // Both flags zero: the job runs on; a PORT OFFLINE gets 0xF101; no stray replies.
    static int step;
    step = 0;
    g_fake->onCall = [](const std::string &op) {
        if (op == "SendDataBlock" && ++step == 1) {
            SendOffline(0, 0);
            SendPortOffline(70, 0, 0);
        }
    };
    SendJob(50, "O.G3N");
    EXPECT_EQ(0, DevRunOnce());
    EXPECT_EQ(0, JobResult(Drain(qm)).hdr.code) << LogText(log);
    auto r = Drain(tvctl);
    ASSERT_EQ(1u, r.size());
    EXPECT_EQ(TV_E_DEV_BUSY, r[0].code());
    EXPECT_FALSE(g_dev.offlinePending);
    EXPECT_EQ(0, g_fake->count("SetDeviceOffline"));

    // Busy and interrupt set: the job ends as aborted and the device goes offline.
    step = 0;
    g_fake->onCall = [](const std::string &op) {
        if (op == "SendDataBlock" && ++step == 1)
            SendPortOffline(71, 1, 1);
        if (op == "SetDeviceOffline")
            SendDeviceRequest(PKT_DEV_ONLINE, 0);
    };
    SendJob(51, "O.G3N");
    EXPECT_EQ(0, DevRunOnce());
    EXPECT_EQ(TV_E_JOB_ABORTED, JobResult(Drain(qm)).hdr.code);
    EXPECT_EQ(1, g_fake->count("SetDeviceOffline"));
    r = Drain(tvctl);
    ASSERT_EQ(1u, r.size()); // 0 once offline; the ONLINE sends nothing more to it
    EXPECT_EQ(0, r[0].code());
}

TEST_F(DevCtl, SecondPortOfflineWhilePendingIsRefused)
{
    ASSERT_EQ(0, Start());
    DevRunOnce();
    g_dev.offlinePending = 1;
    g_dev.state = DEV_STATE_IDLE;
    SendPortOffline(80);
    EXPECT_EQ(0, ReadRequest());
    auto r = Drain(tvctl);
    ASSERT_EQ(1u, r.size());
    EXPECT_EQ(TV_E_DEV_BUSY, r[0].code());
    EXPECT_NE(std::string::npos, LogText(log).find("Device already processing an offline request"));
}

TEST_F(DevCtl, DeviceReportingOfflineWaitsUntilItIsBack)
{
    ASSERT_EQ(0, Start());
    DevRunOnce();
    g_fake->script[FAKE_CHECK] = {DEV_BUSY};
    g_fake->script[FAKE_CHECK_ADF_OFFLINE] = {DEV_BUSY, DEV_BUSY, 0};
    FakeClock::now += 31000;
    uint32_t before = FakeClock::slept;
    EXPECT_EQ(0, DevRunOnce());
    EXPECT_EQ(3, g_fake->count("CheckADFOffline"));
    // 18 s the first time, then 15 s per round.
    EXPECT_GE(FakeClock::slept - before, 18000u + 2 * 15000u);
    EXPECT_EQ(1, g_fake->count("SetDeviceOnline"));
}

// ---------------------------------------------------------------- options
TEST_F(DevCtl, DeviceOptionsDefaultsAndRules)
{
    struct Row {
        const char *type;
        const char *para;
        const char *port;
        uint32_t sendRoutes;
        const char *recdUser;
        int tone;
    } rows[] = {
        {"FCLASS", "Port: \"com2:\"\r\n", "COM2", 0x0000000C, "", 1},
        {"FCLASS", "Port: COM1\r\nRecdUser: U\r\nDialPrefix: 9,\r\nDialType: Pulse\r\n", "COM1", 0xC000000C, "U", 0},
        {"FCLASS", "Port: COM1\r\nReceiveOnly: Y\r\n", "COM1", 0x0000000C, "", 1},
        {"FCLASS", "Port: COM1\r\nRecdUser: U\r\nReceiveOnly: Y\r\n", "COM1", 0x40000000, "U", 1},
        {"FCLASS", "Port: COM1\r\nRecdUser: U\r\nLocalOnly: Y\r\n", "COM1", 0x4000000C, "U", 1},
        {"PANAFAX", "Port: COM1\r\nRecdUser: U\r\nLocalOnly: Y\r\n", "COM1", 0x0000E000, "", 1},
        {"FCLASS", "Port: ::lpt1\r\nDialType: tone\r\n", "LPT1", 0x0000000C, "", 1},
    };
    for (const auto &r : rows) {
        std::string text = std::string("[OPTIONS]\r\nCSIDSeparator: 12345678901\r\n[") + r.type + "-1]\r\n" + r.para;
        rt::WriteText(dir + "OPT.INI", text);
        DevReset(&FakeLowerLayer, 1);
        g_fake->typeName = r.type;
        DevReset(&FakeLowerLayer, 1);
        FILE *f = std::fopen(rt::HostPath(dir + "OPT.INI").c_str(), "rb");
        char line[300];
        long pos = 0;
        while (std::fgets(line, sizeof line, f))
            if (line[0] == '[' && std::strncmp(line + 1, r.type, std::strlen(r.type)) == 0) {
                pos = std::ftell(f);
                break;
            }
        ASSERT_EQ(0, ReadDeviceOptions(f, static_cast<int32_t>(pos))) << r.para;
        std::fclose(f);
        const DevOptions *o = DevGetOptions();
        EXPECT_STREQ(r.port, o->port) << r.para;
        EXPECT_EQ(r.sendRoutes, o->sendRoutes) << r.para;
        EXPECT_STREQ(r.recdUser, o->recdUser) << r.para;
        EXPECT_EQ(r.tone, o->toneDialling) << r.para;
        EXPECT_EQ(9600, o->baudRate);
        EXPECT_EQ(2, o->sendMsgTries);
        EXPECT_EQ(1, o->connectTries);
        EXPECT_EQ(3, o->restartSplitPages);
        EXPECT_STREQ("SCANDONE.TXT", o->scanAbortedFile);
        EXPECT_STREQ("", o->csidSeparator); // too long: none
    }
    EXPECT_NE(std::string::npos, LogText(log).find("Specified CSID separator too long"));
    EXPECT_NE(std::string::npos, LogText(log).find("User for incoming calls not specified"));
    EXPECT_NE(std::string::npos, LogText(log).find("Device reserved for scanning and printing"));
}

TEST_F(DevCtl, TelephoneNumberLosesExtendedCsidAndLengthIsChecked)
{
    ASSERT_EQ(0, Start()); // CSID separator '#'
    char out[80];
    EXPECT_EQ(0, CleanTelephoneNumber("0123 456#77", out, sizeof out, 60));
    EXPECT_STREQ("0123 456", out);
    EXPECT_NE(std::string::npos, LogText(log).find("Ext CSID (77) removed from tel number"));
    EXPECT_EQ(DEV_INVALID_PARAMETER, CleanTelephoneNumber("0123456789", out, sizeof out, 9));
    EXPECT_STREQ("", out);
    EXPECT_EQ(0, CleanTelephoneNumber("0123456789", out, sizeof out, 10));
}

// ---------------------------------------------------------------- control file and header text
TEST(DevReceiveText, RemoteIdSplitAtSeparator)
{
    struct Row {
        const char *id, *sep, *from, *ext;
    } rows[] = {
        {"  12345#678", "#", "12345", "678"},
        {"  12345#678", "", "12345#678", ""},
        {"ABC", "#", "ABC", ""},
        {"1#1234567890123456789012345678901234", "#", "1", "123456789012345678901234567890"},
    };
    for (const auto &r : rows) {
        char from[41], ext[31];
        SplitRemoteId(r.id, r.sep, from, sizeof from, ext, sizeof ext);
        EXPECT_STREQ(r.from, from) << r.id;
        EXPECT_STREQ(r.ext, ext) << r.id;
    }
}

TEST(DevHeaderText, PiecesByFlags)
{
    HeaderTextInput in{};
    in.totalPages = 12;
    in.sender = "Anna";
    in.recipient = "Bob";
    in.phoneNum = "+44 1";
    in.stationName = "ACME  ";
    in.datePicture = "dd/MM/yy";
    in.now = RtTime{2026, 12, 10, 9, 7, 0};
    struct Row {
        uint32_t flags;
        const char *text;
        int digits;
    } rows[] = {
        {0, "", 0},
        {DEV_HDR_PAGES, "\x0b ", 2},
        {DEV_HDR_DATE | DEV_HDR_TIME, "\x0b 10/12/26  09:07  ", 0},
        {DEV_HDR_STATION, "\x0b \x07+44 1  ACME  Anna\x08\x09  ", 0},
        {DEV_HDR_STATION | DEV_HDR_RECIPIENT, "\x0b \x07+44 1  ACME  Anna\x08\x09" "Bob  ", 0},
        {DEV_HDR_RECIPIENT, "\x0b \x08\x09 Bob  ", 0},
    };
    for (const auto &r : rows) {
        in.flags = r.flags;
        char out[HDR_TEXT_SIZE];
        int digits = -1;
        ASSERT_EQ(1, BuildHeaderText(&in, out, sizeof out, &digits));
        EXPECT_EQ(std::string(r.text), std::string(out)) << r.flags;
        EXPECT_EQ(r.digits, digits) << r.flags;
    }
    char page[64];
    HeaderTextForPage("X ", 2, 3, 12, page, sizeof page);
    EXPECT_STREQ("X 03/12", page);
    HeaderTextForPage("X ", 1, 3, 9, page, sizeof page);
    EXPECT_STREQ("X 3/9", page);
    HeaderTextForPage("X ", 3, 7, 120, page, sizeof page);
    EXPECT_STREQ("X 007/120", page);
}

// ---------------------------------------------------------------- line sender
std::vector<std::pair<std::vector<unsigned char>, uint16_t>> g_lines;
uint16_t CaptureLine(const unsigned char *line, uint16_t length, uint16_t kind)
{
    g_lines.push_back({std::vector<unsigned char>(line, line + length), kind});
    return 0;
}

TEST(FaxLineSender, LinesStartWithTheirEolWhateverTheBlockCuts)
{
    // Three coded rows with fill before each EOL.
    uint8_t rowA[216] = {}, rowB[216] = {};
    std::memset(rowA + 20, 0xFF, 3);
    rowB[100] = 0x0F;
    std::vector<unsigned char> data;
    uint8_t code[MH_ROW_CODE_SIZE];
    for (const uint8_t *row : {rowA, rowB, rowA}) {
        size_t n = MhEncodeRow(row, 1728, 0, code);
        data.push_back(0); // fill
        data.push_back(0);
        data.insert(data.end(), code, code + n);
    }
    for (size_t cut : {size_t(1), size_t(5), size_t(7), data.size()}) {
        g_lines.clear();
        FaxLineSetup s{};
        s.SendDataFrame = CaptureLine;
        s.lineByLine = 1;
        s.lineLength = 1024;
        FaxSetLineSetup(&s);
        for (size_t i = 0; i < data.size(); i += cut) {
            size_t n = std::min(cut, data.size() - i);
            uint16_t kind = i + n >= data.size() ? DEV_BLOCK_LAST_PAGE_END : DEV_BLOCK_IN_PAGE;
            ASSERT_EQ(0, FaxSendDataBlock(data.data() + i, static_cast<uint16_t>(n), kind));
        }
        ASSERT_EQ(3u, g_lines.size()) << "cut " << cut;
        EXPECT_EQ(DEV_BLOCK_IN_PAGE, g_lines[0].second);
        EXPECT_EQ(DEV_BLOCK_LAST_PAGE_END, g_lines[2].second);
        std::vector<unsigned char> joined;
        for (auto &l : g_lines) {
            // Each line decodes as one row on its own.
            auto rows = DecodeRows(l.first, 1);
            EXPECT_EQ(1u, rows.size()) << "cut " << cut;
            joined.insert(joined.end(), l.first.begin(), l.first.end());
        }
        auto all = DecodeRows(joined, 3);
        ASSERT_EQ(3u, all.size());
        EXPECT_EQ(0xFF, all[0][20]);
        EXPECT_EQ(0x0F, all[1][100]);
    }
    // Without line mode a block goes through unchanged with its kind.
    g_lines.clear();
    FaxLineSetup plain{};
    plain.SendDataFrame = CaptureLine;
    FaxSetLineSetup(&plain);
    ASSERT_EQ(0, FaxSendDataBlock(data.data(), 10, DEV_BLOCK_PAGE_END));
    ASSERT_EQ(1u, g_lines.size());
    EXPECT_EQ(10u, g_lines[0].first.size());
    EXPECT_EQ(DEV_BLOCK_PAGE_END, g_lines[0].second);
    FaxSetLineSetup(nullptr);
}

// The test-only scaled clock of the controller programs.
TEST(DevClock, ScaledClockRunsLongWaitsFast)
{
    static char on[] = "TAVRINE_CLOCK_SCALE=200";
    static char off[] = "TAVRINE_CLOCK_SCALE=";
    putenv(on);
    DevInstallTestClock();
    uint32_t t0 = RtTickMs(), real0 = static_cast<uint32_t>(TvPlatTickMs());
    RtSleepMs(20000); // 20 s of controller time
    uint32_t dt = RtTickMs() - t0, real = static_cast<uint32_t>(TvPlatTickMs()) - real0;
    putenv(off);
    SetRuntimeClock(nullptr);
    // A scaled sleep never ends short of its controller time; the real time
    // has a wide margin for a loaded machine (unscaled it would be 20 s).
    EXPECT_GE(dt, 20000u);
    EXPECT_LT(real, 5000u);
}

} // namespace
