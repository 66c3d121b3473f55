// QUEUEMAN's device jobs: a converted message becomes a JOB for a free
// controller whose send routes carry it; results, STATUS pages and received
// calls are recorded in the control files. The controllers' queues are
// mailslots of the test.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/platform.h"
#include "server/runtime/mailslot.h"
#include "server/runtime/packets.h"
#include "server/runtime/srvlog.h"
#include "server/runtime/sysparams.h"
#include "standins/queueman/queueman.h"
#include "tests/support/rt_testutil.h"

namespace {

using rt::FakeClock;

const char kSep = TvPathSep();

const char kControl[] =
    "[TAVRINE]\r\nType: SendControl\r\nRevision: A\r\n\r\n[DOCUMENT]\r\nFile: SAMPLE1.TXT\r\n\r\n"
    "[MESSAGE]\r\nFormat: TXT\r\nType: SEND\r\nStatus: Su\r\n\r\n"
    "[OPTIONS]\r\nFrom: John Smith\r\nHeader: Da Ti No\r\nQuality: HIGH\r\n\r\n"
    "[ADDRESSEES]\r\nShortName: MILLER\r\nAddrStatus: OK\r\nName: Anna Miller\r\nVia: FAX-ANY 5550199\r\n"
    "ShortName: OKAFOR\r\nAddrStatus: Wa\r\nName: Chidi Okafor\r\nVia: FAX-ANY   5550288\r\nVia: FAX-ANY 1\r\n";

struct JobsTest : ::testing::Test {
    std::string root, out;
    TvMailslot fclass1 = nullptr, fclass2 = nullptr;

    void SetUp() override
    {
        LogInit(rt::QuietStream(), "", 3, "QUEUEMAN");
        FakeClock::Install();
        ResetQueuemanTables();
        root = rt::ScratchDir("qmjobs");
        for (const char *d : {"USERS", "USERS\\JSMITH", "USERS\\JSMITH\\T-OUT", "USERS\\JSMITH\\T-OUT\\G3F",
                              "USERS\\JSMITH\\T-IN"})
            rt::MakeDir(root + d);
        std::string users = rt::HostPath(root + "USERS\\");
        std::snprintf(g_sysParams.allUserArea, sizeof g_sysParams.allUserArea, "%s", users.c_str());
        out = root + "USERS\\JSMITH\\T-OUT\\";
        rt::WriteText(out + "SAMPLE1.CTL", kControl);
        rt::WriteText(out + "G3F\\SAMPLE1.002", "addressee pages");
        rt::WriteText(out + "G3F\\SAMPLE1.G3F", "common pages");
        ASSERT_EQ(0, MsgMakePipe("FCLASS\\1", 0, &fclass1));
        ASSERT_EQ(0, MsgMakePipe("FCLASS\\2", 0, &fclass2));
    }
    void TearDown() override
    {
        MsgClosePipe(fclass1);
        MsgClosePipe(fclass2);
        FakeClock::Remove();
        ResetQueuemanTables();
    }

    static void Handle(const uint8_t *p, size_t n) { QueuemanHandlePacket(p, static_cast<uint16_t>(n)); }
    static void Register(const char *queue, uint16_t number, uint16_t tag, uint32_t send)
    {
        PktRegister r{};
        r.hdr.cls = PKT_CLASS_QUEUEMAN;
        r.hdr.type = PKT_QM_REGISTER;
        SetPacketText(r.deviceName, sizeof r.deviceName, "FCLASS");
        r.deviceNumber = number;
        SetPacketText(r.queue, sizeof r.queue, queue);
        r.tag = tag;
        r.sendRoutes = send;
        uint8_t b[PKT_REGISTER_SIZE];
        Handle(b, EncodeRegister(&r, b, sizeof b));
    }
    static void Status(uint16_t number, uint16_t code, uint16_t page)
    {
        PktStatus s{};
        s.hdr.cls = PKT_CLASS_QUEUEMAN;
        s.hdr.type = PKT_QM_STATUS;
        SetPacketText(s.deviceName, sizeof s.deviceName, "FCLASS");
        s.deviceNumber = number;
        s.statusCode = code;
        s.page = page;
        uint8_t b[PKT_STATUS_SIZE];
        Handle(b, EncodeStatus(&s, b, sizeof b));
    }
    static void Result(uint16_t number, uint16_t id, uint16_t code, uint16_t pages, uint16_t seconds)
    {
        PktJobResult r{};
        r.hdr.cls = PKT_CLASS_QUEUEMAN;
        r.hdr.type = PKT_QM_JOB_RESULT;
        r.hdr.code = code;
        SetPacketText(r.deviceName, sizeof r.deviceName, "FCLASS");
        r.deviceNumber = number;
        r.requestId = id;
        r.pages = pages;
        r.connectSeconds = seconds;
        uint8_t b[PKT_JOB_RESULT_SIZE];
        Handle(b, EncodeJobResult(&r, b, sizeof b));
    }
    // A message of addressee 2 that the converter is working on.
    static QmMessage &Converting(uint16_t addressee = 2)
    {
        QmMessage &m = g_queueman.messages[0];
        std::memset(&m, 0, sizeof m);
        m.used = true;
        m.state = QM_MSG_CONVERTING;
        std::strcpy(m.name, "SAMPLE1");
        std::strcpy(m.user, "JSMITH");
        std::strcpy(m.dest, "G3F");
        m.addressee = addressee;
        return m;
    }
    static void ConvertReply(uint16_t code)
    {
        uint8_t b[6] = {6, 0, PKT_CLASS_QUEUEMAN, PKT_QM_CONVERT_REPLY, static_cast<uint8_t>(code & 0xFF),
                        static_cast<uint8_t>(code >> 8)};
        Handle(b, sizeof b);
    }
    // The next packet on a queue, empty when none.
    static std::vector<uint8_t> Next(TvMailslot slot)
    {
        uint8_t b[MSG_MAX_PACKET];
        uint16_t len = 0;
        if (MsgReadRequest(slot, b, sizeof b, &len) != TV_OK)
            return {};
        return std::vector<uint8_t>(b, b + len);
    }
    std::string Control() { return rt::ReadText(out + "SAMPLE1.CTL"); }
    static std::string Entry(const std::string &text, const std::string &key, size_t from = 0)
    {
        size_t p = text.find("\n" + key, from);
        if (p == std::string::npos)
            return "<none>";
        p += key.size() + 1;
        return text.substr(p, text.find('\n', p) - p);
    }
};

TEST_F(JobsTest, ConvertedMessageGoesToAFreeControllerOfItsRouteAndResultsAreRecorded)
{
    Register("FCLASS\\2", 2, 7, 1u << 2);              // normal resolution only
    Register("FCLASS\\1", 1, 9, (1u << 2) | (1u << 3));
    Status(1, 4, 0);                                    // offline: not free
    Converting();
    ConvertReply(0);
    EXPECT_TRUE(Next(fclass1).empty());
    Status(1, 1, 0);                                    // idle again
    std::vector<uint8_t> pkt = Next(fclass1);
    ASSERT_EQ(pkt.size(), 424u);
    EXPECT_TRUE(Next(fclass2).empty()) << "FCLASS-2 has no fine route";
    PktJob j;
    ASSERT_TRUE(DecodeJob(pkt.data(), pkt.size(), &j));
    EXPECT_EQ(j.hdr.cls, PKT_CLASS_DEVICE);
    EXPECT_EQ(j.hdr.type, PKT_DEV_JOB);
    EXPECT_EQ(j.tag, 9);
    EXPECT_NE(j.requestId, 0);
    EXPECT_STREQ(j.messageName, "SAMPLE1");
    EXPECT_EQ(std::string(j.directory), std::string(g_sysParams.allUserArea) + "JSMITH" + kSep + "T-OUT" + kSep +
                                            "G3F" + kSep);
    EXPECT_STREQ(j.firstFile, "SAMPLE1.002");
    EXPECT_STREQ(j.secondFile, "SAMPLE1.G3F");
    EXPECT_EQ(j.format, 6);
    EXPECT_EQ(j.route, 3);
    EXPECT_STREQ(j.number, "5550288");
    EXPECT_STREQ(j.sender, "John Smith");
    EXPECT_STREQ(j.remoteName, "Chidi Okafor");
    EXPECT_EQ(j.headerFlags, 8u | 16u | 1u);
    EXPECT_EQ(j.pagesSent, 0);
    for (size_t i : {268u, 300u, 308u, 339u, 380u, 423u})
        EXPECT_EQ(pkt[i], 0) << i;
    std::string ctl = Control();
    EXPECT_EQ(Entry(ctl, "Status: "), "Co");
    EXPECT_EQ(Entry(ctl, "AddrStatus: ", ctl.find("OKAFOR")), "Co");
    EXPECT_EQ(Entry(ctl, "AddrStatus: "), "OK");
    const uint16_t first = j.requestId;
    EXPECT_EQ(FindMessageByRequest(first)->state, QM_MSG_SENDING);

    // Pages reached, then engaged after two: retried after the wait, from
    // the pages reached.
    Status(1, 7, 1);
    Status(1, 7, 2);
    EXPECT_EQ(FindMessageByRequest(first)->pages, 2);
    FakeClock::time = RtTime{2026, 12, 10, 9, 41, 5};
    Result(1, first, 0xF10A, 2, 35);
    ctl = Control();
    EXPECT_EQ(Entry(ctl, "SentEr: "),
              "10-12-26 09:41:05 FCLASS-1 FAX-ANY \"Chidi Okafor\" \"5550288\" F10A 2 00:00:35 <f10a>");
    EXPECT_EQ(Entry(ctl, "AddrStatus: ", ctl.find("OKAFOR")), "WT");
    EXPECT_EQ(Entry(ctl, "Status: "), "WS");
    Status(1, 1, 0);
    EXPECT_TRUE(Next(fclass1).empty()) << "no retry before its time";
    FakeClock::now += QM_RETRY_MS;
    Status(1, 1, 0);
    pkt = Next(fclass1);
    ASSERT_EQ(pkt.size(), 424u);
    DecodeJob(pkt.data(), pkt.size(), &j);
    EXPECT_NE(j.requestId, first);
    EXPECT_EQ(j.pagesSent, 2);

    // A refusal counts no attempt; success ends the message, and with the
    // other addressee done the message is OK. History lines stay in order.
    Result(1, j.requestId, 0xF101, 0, 0);
    EXPECT_EQ(FindMessageByRequest(j.requestId)->tries, 1);
    FakeClock::now += 5000;
    Status(1, 1, 0);
    pkt = Next(fclass1);
    ASSERT_EQ(pkt.size(), 424u);
    DecodeJob(pkt.data(), pkt.size(), &j);
    FakeClock::time = RtTime{2026, 12, 10, 9, 40, 0};
    Result(1, j.requestId, 0, 3, 62);
    EXPECT_EQ(FindMessageByRequest(j.requestId), nullptr);
    ctl = Control();
    EXPECT_EQ(Entry(ctl, "Status: "), "OK");
    EXPECT_EQ(Entry(ctl, "AddrStatus: ", ctl.find("OKAFOR")), "OK");
    size_t h = ctl.find("[HISTORY]\n");
    ASSERT_NE(h, std::string::npos);
    EXPECT_EQ(ctl.substr(h),
              "[HISTORY]\n"
              "SentOK: 10-12-26 09:40:00 FCLASS-1 FAX-ANY \"Chidi Okafor\" \"5550288\" 0000 3 00:01:02\n"
              "SentEr: 10-12-26 09:41:05 FCLASS-1 FAX-ANY \"Chidi Okafor\" \"5550288\" F10A 2 00:00:35 <f10a>\n");
    std::string before;
    for (char ch : std::string(kControl).substr(0, std::string(kControl).find("[MESSAGE]")))
        if (ch != '\r')
            before += ch;
    EXPECT_EQ(ctl.substr(0, before.size()), before) << "other lines are kept";
}

TEST_F(JobsTest, FailuresEndAfterTheLastAttemptOrAtOnce)
{
    struct Case {
        uint16_t code;
        int attempts;
    } cases[] = {{0xF103, QM_MAX_TRIES}, {0xF10B, QM_MAX_TRIES}, {0xF00A, 1}, {0xF001, 1}, {0xF006, 1}};
    Register("FCLASS\\1", 1, 9, 1u << 3);
    for (const Case &c : cases) {
        rt::WriteText(out + "SAMPLE1.CTL", kControl);
        Converting();
        ConvertReply(0);
        int attempts = 0;
        for (int i = 0; i < 10; ++i) {
            std::vector<uint8_t> pkt = Next(fclass1);
            if (pkt.empty())
                break;
            ++attempts;
            PktJob j;
            DecodeJob(pkt.data(), pkt.size(), &j);
            Result(1, j.requestId, c.code, 0, 0);
            FakeClock::now += QM_RETRY_MS;
            Status(1, 1, 0);
        }
        EXPECT_EQ(attempts, c.attempts) << std::hex << c.code;
        EXPECT_FALSE(g_queueman.messages[0].used) << std::hex << c.code;
        std::string ctl = Control();
        EXPECT_EQ(Entry(ctl, "AddrStatus: ", ctl.find("OKAFOR")), "Fa") << std::hex << c.code;
        EXPECT_EQ(Entry(ctl, "Status: "), "Fa") << std::hex << c.code;
    }
}

TEST_F(JobsTest, MessagesThatCannotMakeAJobFailWithoutOne)
{
    struct Case {
        const char *name;
        std::string control;
        const char *file;       // converted file left in place
        uint16_t addressee;
    };
    std::string printer = kControl;
    printer.replace(printer.find("FAX-ANY   5550288"), 17, "PRINTER-ANY LASER");
    std::string noNumber = kControl;
    noNumber.replace(noNumber.find("FAX-ANY   5550288"), 17, "FAX-ANY");
    const Case cases[] = {
        {"not a fax route", printer, "SAMPLE1.002", 2},
        {"no number", noNumber, "SAMPLE1.002", 2},
        {"no such addressee", kControl, "SAMPLE1.002", 3},
        {"no converted files", kControl, nullptr, 2},
    };
    Register("FCLASS\\1", 1, 9, 1u << 3);
    for (const Case &c : cases) {
        rt::WriteText(out + "SAMPLE1.CTL", c.control);
        rt::RemoveFile(out + "G3F\\SAMPLE1.002");
        rt::RemoveFile(out + "G3F\\SAMPLE1.G3F");
        if (c.file)
            rt::WriteText(out + "G3F\\" + c.file, "pages");
        Converting(c.addressee);
        ConvertReply(0);
        EXPECT_TRUE(Next(fclass1).empty()) << c.name;
        EXPECT_FALSE(g_queueman.messages[0].used) << c.name;
        std::string ctl = Control();
        EXPECT_NE(ctl.find("\nSentEr: "), std::string::npos) << c.name;
    }
    // Only the common file: it is the job's one file.
    rt::WriteText(out + "SAMPLE1.CTL", kControl);
    rt::WriteText(out + "G3F\\SAMPLE1.G3F", "pages");
    Converting();
    ConvertReply(0);
    std::vector<uint8_t> pkt = Next(fclass1);
    ASSERT_EQ(pkt.size(), 424u);
    PktJob j;
    DecodeJob(pkt.data(), pkt.size(), &j);
    EXPECT_STREQ(j.firstFile, "SAMPLE1.G3F");
    EXPECT_STREQ(j.secondFile, "");
}

TEST_F(JobsTest, ReceivedCallIsNotedAndClosedInItsControlFile)
{
    Register("FCLASS\\2", 2, 7, 1u << 2);
    const std::string in = root + "USERS\\JSMITH\\T-IN\\";
    const std::string rx =
        "[TAVRINE]\r\nType: ReceiveControl\r\nRevision: A\r\n\r\n[DOCUMENT]\r\nFile: RECD0001.G3F\r\n"
        "Comment: From: 12345\r\n[MESSAGE]\r\nAssocFile:\r\nFormat: TIFF-FINE\r\nAccepted: 26-12-10 09:41:00\r\n"
        "Type: RECEIVE\r\nStatus: Re\r\nUserStatus: Wa\r\nFrom: FAX-FINE '12345'\r\n\r\n[ROUTING]\r\nDTMF: \r\n"
        "ExtCSID: \r\nSubAddr: \r\nFullCSID: 12345\r\nCLI: \r\n";
    rt::WriteText(in + "RECD0001.CTL", rx);
    auto announce = [&](const char *user, const char *file) {
        PktNewMessage n{};
        n.hdr.cls = PKT_CLASS_QUEUEMAN;
        n.hdr.type = PKT_QM_NEW_MESSAGE;
        SetPacketText(n.deviceName, sizeof n.deviceName, "FCLASS");
        n.deviceNumber = 2;
        SetPacketText(n.user, sizeof n.user, user);
        SetPacketText(n.controlFile, sizeof n.controlFile, file);
        uint8_t b[PKT_NEW_MESSAGE_SIZE];
        Handle(b, EncodeNewMessage(&n, b, sizeof b));
    };
    announce("JSMITH", "RECD0001.CTL");
    const std::string path = std::string(g_sysParams.allUserArea) + "JSMITH" + kSep + "T-IN" + kSep + "RECD0001.CTL";
    EXPECT_EQ(QueuemanReceivedFile("FCLASS", 2), path);
    // Names that would lead out of the user's folder are refused.
    announce("..", "RECD0001.CTL");
    announce("JSMITH", "..\\..\\X.CTL");
    announce("JSMITH", "");
    EXPECT_EQ(QueuemanReceivedFile("FCLASS", 2), path);
    Status(2, 13, 0);
    Status(2, 8, 1);
    Status(2, 8, 2);
    FakeClock::time = RtTime{2026, 12, 10, 9, 42, 7};
    Result(2, 0, 0, 0, 0);
    std::string got = rt::ReadText(in + "RECD0001.CTL");
    std::string want = rx;
    want.replace(want.find("Status: Re"), 10, "Status: OK");
    want += "\r\n[HISTORY]\r\nRecdOK: 10-12-26 09:42:07 FCLASS-2 FAX-FINE \"12345\" \"\" 0000 2 00:00:00\r\n";
    std::string plain;
    for (char ch : want)
        if (ch != '\r')
            plain += ch;
    EXPECT_EQ(got, plain);
    // A second result without a new call changes nothing.
    Result(2, 0, 0xF016, 0, 0);
    EXPECT_EQ(rt::ReadText(in + "RECD0001.CTL"), plain);
    // A failed reception is marked failed.
    rt::WriteText(in + "RECD0001.CTL", rx);
    announce("JSMITH", "RECD0001.CTL");
    Result(2, 0, 0xF016, 0, 0);
    got = rt::ReadText(in + "RECD0001.CTL");
    EXPECT_NE(got.find("\nStatus: Fa\n"), std::string::npos) << got;
    EXPECT_NE(got.find("\nRecdEr: 10-12-26 09:42:07 FCLASS-2 FAX-FINE \"12345\" \"\" F016 0 00:00:00 <f016>\n"),
              std::string::npos)
        << got;
}

} // namespace
