// The parts of SYSMAN and the packet tool that need no process: program
// lines, the port request translation, and building packets from words.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "common/lebytes.h"
#include "server/runtime/packets.h"
#include "server/runtime/mailslot.h"
#include "standins/queueman/queueman.h"
#include "standins/sysman/sysman.h"
#include "standins/tvpacket/pktfields.h"

namespace {

TEST(ProgramLine, ParsesTheFieldsAndReportsEachError)
{
    struct Case {
        const char *line;
        int error;
        SmLineKind kind;
        const char *name, *path, *args;
        int mode;
    };
    const std::string longName(270, 'x');
    const Case cases[] = {
        {"Service: queueman \"QUEUEMAN.EXE\"", 0, SM_LINE_SERVICE, "QUEUEMAN", "S:\\SRV\\QUEUEMAN.EXE", "", 0},
        {"Device: fclass-1 \"FCLASS.EXE 1 /X\" skip WIN", 0, SM_LINE_DEVICE, "FCLASS-1", "S:\\SRV\\FCLASS.EXE",
         "1 /X", 0},
        {"Device=FAX-2 \"C:\\BIN\\FAX.EXE\" - WII", 0, SM_LINE_DEVICE, "FAX-2", "C:\\BIN\\FAX.EXE", "", 2},
        {"Service: GATEWAY1 \"GW.EXE\" x RR", 0, SM_LINE_SERVICE, "GATEWAY1", "M:\\MAIL\\GW.EXE", "", 1},
        {"Sysman: SYSMAN \"\\\\HOST\\SYSMAN.EXE\" x SW", 0, SM_LINE_SYSMAN, "SYSMAN", "\\\\HOST\\SYSMAN.EXE", "", 3},
        {"Service: ONE \"ONE.EXE\" word", 0, SM_LINE_SERVICE, "ONE", "S:\\SRV\\ONE.EXE", "", 0},
        {"Gadget: X \"X.EXE\"", 1, SM_LINE_SERVICE, "", "", "", 0},
        {"Service: TOOLONGNAME \"X.EXE\"", 2, SM_LINE_SERVICE, "", "", "", 0},
        {"Device: ELEVENCHARS \"X.EXE\"", 2, SM_LINE_DEVICE, "", "", "", 0},
        {"Service: \"X.EXE\"", 2, SM_LINE_SERVICE, "", "", "", 0},
        {"Service: ONE X.EXE", 3, SM_LINE_SERVICE, "", "", "", 0},
        {"Service: ONE \"X.EXE", 3, SM_LINE_SERVICE, "", "", "", 0},
        {"Service: ONE \"X.EXE\" skip W", 6, SM_LINE_SERVICE, "", "", "", 0},
        {"Service: ONE \"X.EXE\" skip WIQ", 7, SM_LINE_SERVICE, "", "", "", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        SmProgramLine pl;
        ASSERT_EQ(ParseProgramLine(c.line, "S:\\SRV\\", "M:\\MAIL\\", &pl), c.error);
        if (c.error)
            continue;
        EXPECT_EQ(pl.kind, c.kind);
        EXPECT_STREQ(pl.name, c.name);
        EXPECT_STREQ(pl.path, c.path);
        EXPECT_STREQ(pl.arguments, c.args);
        EXPECT_EQ(pl.mode, c.mode);
    }
    // Text between the quotes over 269 characters, and a path over 268.
    SmProgramLine pl;
    EXPECT_EQ(ParseProgramLine(("Service: ONE \"" + longName + "\"").c_str(), "S:\\", "", &pl), 4);
    EXPECT_EQ(ParseProgramLine(("Service: ONE \"" + longName.substr(0, 265) + "\"").c_str(), "S:\\SRV\\", "", &pl),
              5);
    EXPECT_EQ(ParseProgramLine(("Service: ONE \"" + longName.substr(0, 265) + "\"").c_str(), "S:\\", "", &pl), 0);
}

TEST(PortRequest, BecomesPortOfflineOrOnlineForTheController)
{
    PktPortRequest req;
    std::memset(&req, 0, sizeof req);
    SetPacketText(req.port, sizeof req.port, "COM7");
    req.offline = 1;
    req.busy = 0x01020304;
    req.interrupt = 1;
    req.requestId = 0xBEEF;
    SetPacketText(req.replyQueue, sizeof req.replyQueue, "TVCTL\\1234");
    uint8_t buf[64];
    std::memset(buf, 0xAA, sizeof buf);
    ASSERT_EQ(BuildControllerPortRequest(&req, buf, sizeof buf), 32u);
    EXPECT_EQ(buf[2], 2);
    EXPECT_EQ(buf[3], 9);
    EXPECT_EQ(GetLe16(buf + 6), 0);
    EXPECT_EQ(GetLe32(buf + 8), 0x01020304u);
    EXPECT_EQ(GetLe32(buf + 12), 1u);
    EXPECT_EQ(GetLe16(buf + 16), 0xBEEF);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buf + 18)), "TVCTL\\1234");
    EXPECT_EQ(buf[31], 0);

    req.offline = 0;
    size_t n = BuildControllerPortRequest(&req, buf, sizeof buf);
    ASSERT_GE(n, 10u);
    EXPECT_EQ(buf[2], 2);
    EXPECT_EQ(buf[3], 10);
    EXPECT_EQ(GetLe16(buf + 6), 0);
    EXPECT_EQ(GetLe16(buf + 8), 0xBEEF);

    ResetSysmanTables();
    ASSERT_TRUE(RecordPort("Com7", "FCLASS\\1"));
    ASSERT_TRUE(RecordPort("COM8", "FCLASS\\2"));
    ASSERT_TRUE(RecordPort("COM7", "FCLASS\\3")); // announced again: the new queue
    EXPECT_STREQ(FindPortQueue("com7"), "FCLASS\\3");
    EXPECT_STREQ(FindPortQueue("CoM8"), "FCLASS\\2");
    EXPECT_EQ(FindPortQueue("COM9"), nullptr);
    EXPECT_EQ(g_sysman.portCount, 2);
}

TEST(PacketTool, FindsKindsAndBuildsFieldsWithinBounds)
{
    uint8_t type = 0;
    bool ambiguous = false;
    const PfKind *k = FindPfKind("port-request", &type, &ambiguous);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->cls, 6);
    EXPECT_EQ(type, 6);
    EXPECT_EQ(FindPfKind("ABORT", &type, &ambiguous), nullptr);
    EXPECT_TRUE(ambiguous);
    ASSERT_NE(FindPfKind("5/3", &type, &ambiguous), nullptr);
    EXPECT_EQ(type, 3);
    k = FindPfKind("99/7", &type, &ambiguous);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(type, 7);
    EXPECT_EQ(FindPfKind("1/99", &type, &ambiguous), nullptr);
    EXPECT_EQ(FindPfKind("x/1", &type, &ambiguous), nullptr);

    // Every kind's fields fit the length it is sent with (the job's second
    // file and scan fields share bytes, as on the wire).
    for (size_t i = 0; i < g_pfKindCount; ++i)
        for (const PfField *f = g_pfKinds[i].fields; f->name; ++f)
            EXPECT_LE(f->offset + f->width, g_pfKinds[i].length) << g_pfKinds[i].name << " " << f->name;

    uint8_t buf[1000];
    k = FindPfKind("queue status request", &type, &ambiguous);
    ASSERT_NE(k, nullptr);
    ASSERT_EQ(StartPfPacket(k, type, buf, sizeof buf), 30);
    EXPECT_EQ(GetLe16(buf + 28), 3); // the supervisor's value by default
    PktQueueStatusRequest qr;
    EXPECT_TRUE(DecodeQueueStatusRequest(buf, 30, &qr));

    k = FindPfKind("PORT INIT", &type, &ambiguous);
    ASSERT_NE(k, nullptr);
    ASSERT_EQ(StartPfPacket(k, type, buf, sizeof buf), 118);
    char err[128];
    EXPECT_TRUE(SetPfField(buf, sizeof buf, FindPfField(k, "PORT"), "123456789012", err, sizeof err));
    EXPECT_FALSE(SetPfField(buf, sizeof buf, FindPfField(k, "port"), "1234567890123", err, sizeof err));
    EXPECT_NE(std::string(err).find("at most 12"), std::string::npos) << err;
    EXPECT_TRUE(SetPfField(buf, sizeof buf, FindPfField(k, "number"), "0xFFFF", err, sizeof err));
    EXPECT_FALSE(SetPfField(buf, sizeof buf, FindPfField(k, "number"), "65536", err, sizeof err));
    EXPECT_FALSE(SetPfField(buf, sizeof buf, FindPfField(k, "number"), "-1", err, sizeof err));
    EXPECT_FALSE(SetPfField(buf, sizeof buf, FindPfField(k, "code"), "12x", err, sizeof err));
    EXPECT_EQ(FindPfField(k, "nosuch"), nullptr);
    PktPortInit pi;
    ASSERT_TRUE(DecodePortInit(buf, 118, &pi));
    EXPECT_STREQ(pi.port, "123456789012");
    EXPECT_EQ(pi.deviceNumber, 0xFFFF);
}

// A packet as a controller sends it, built with the packet tool's table.
std::vector<uint8_t> Packet(const char *kind, std::initializer_list<std::pair<const char *, const char *>> fields)
{
    uint8_t type = 0;
    bool ambiguous = false;
    const PfKind *k = FindPfKind(kind, &type, &ambiguous);
    std::vector<uint8_t> buf(MSG_MAX_PACKET);
    if (!k)
        return {};
    uint16_t len = StartPfPacket(k, type, buf.data(), buf.size());
    char err[128];
    for (const auto &f : fields) {
        const PfField *field = FindPfField(k, f.first);
        if (!field || !SetPfField(buf.data(), buf.size(), field, f.second, err, sizeof err))
            return {};
    }
    buf.resize(len);
    return buf;
}

QmAction Handle(const std::vector<uint8_t> &p)
{
    return QueuemanHandlePacket(p.data(), static_cast<uint16_t>(p.size()));
}

TEST(Queueman, KeepsDevicesAndMessagesAndCountsTheQueue)
{
    ResetQueuemanTables();
    ASSERT_EQ(Handle(Packet("REGISTER", {{"device", "FCLASS"}, {"number", "1"}, {"queue", "FCLASS\\1"},
                                         {"tag", "9"}, {"send", "0x1"}})),
              QM_CONTINUE);
    // A controller that starts again registers again: one row, new tag.
    Handle(Packet("REGISTER", {{"device", "FCLASS"}, {"number", "1"}, {"queue", "fclass\\1"}, {"tag", "10"}}));
    ASSERT_EQ(g_queueman.deviceCount, 1);
    QmDevice *d = FindDevice("FCLASS\\1", false);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->tag, 10);
    Handle(Packet("STATUS", {{"device", "FCLASS"}, {"number", "1"}, {"status", "7"}, {"page", "2"}}));
    EXPECT_EQ(d->statusCode, 7);
    EXPECT_EQ(d->page, 2);
    std::vector<uint8_t> shortStatus = Packet("STATUS", {{"device", "FCLASS"}, {"number", "1"}, {"status", "9"}});
    shortStatus.resize(21);
    Handle(shortStatus);
    EXPECT_EQ(d->statusCode, 7) << "a packet of the wrong length changes nothing";

    // Messages in every state; the counters are the first five states and
    // the messages being sent.
    const QmMessageState states[] = {QM_MSG_HELD,     QM_MSG_RETRY,     QM_MSG_RETRY,  QM_MSG_CONVERT_WAIT,
                                     QM_MSG_CONVERTING, QM_MSG_SEND_WAIT, QM_MSG_SENDING, QM_MSG_SENDING};
    for (size_t i = 0; i < sizeof states / sizeof states[0]; ++i) {
        QmMessage &m = g_queueman.messages[i];
        m.used = true;
        m.state = states[i];
        m.requestId = static_cast<uint16_t>(100 + i);
        SetPacketText(m.name, sizeof m.name, ("M" + std::to_string(i)).c_str());
    }
    PktQueueStatus qs;
    CountQueue(&qs);
    const uint16_t expected[PKT_QUEUE_COUNTERS] = {1, 2, 1, 1, 1, 2, 0};
    for (int i = 0; i < PKT_QUEUE_COUNTERS; ++i)
        EXPECT_EQ(qs.counters[i], expected[i]) << i;

    // Results move the messages on: done leaves the table, a failure goes
    // back to be retried; an unknown identifier changes nothing.
    d->runningRequest = 106;
    Handle(Packet("JOB RESULT", {{"device", "FCLASS"}, {"number", "1"}, {"id", "106"}}));
    EXPECT_EQ(FindMessageByRequest(106), nullptr);
    EXPECT_EQ(d->runningRequest, 0);
    Handle(Packet("JOB REFUSED", {{"device", "FCLASS"}, {"number", "1"}, {"id", "107"}, {"code", "0xF101"}}));
    ASSERT_NE(FindMessageByRequest(107), nullptr);
    EXPECT_EQ(FindMessageByRequest(107)->state, QM_MSG_RETRY);
    Handle(Packet("JOB RESULT", {{"device", "FCLASS"}, {"number", "1"}, {"id", "999"}}));
    Handle(Packet("CONVERT REPLY", {{"code", "0"}}));
    EXPECT_EQ(FindMessageByRequest(104)->state, QM_MSG_SEND_WAIT);
    CountQueue(&qs);
    const uint16_t after[PKT_QUEUE_COUNTERS] = {1, 3, 1, 0, 2, 0, 0};
    for (int i = 0; i < PKT_QUEUE_COUNTERS; ++i)
        EXPECT_EQ(qs.counters[i], after[i]) << i;

    EXPECT_EQ(Handle(Packet("99/3", {})), QM_STOP);
    ResetQueuemanTables();
}

} // namespace
