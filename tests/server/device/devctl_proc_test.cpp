// A controller process (built with the fake device) under Wine: it registers
// with a QUEUEMAN and a SYSMAN that this test owns, runs a send job from JOB
// to JOB RESULT, answers PORT OFFLINE / PORT ONLINE on a reply queue of the
// test, and stops on STOP.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "server/runtime/mailslot.h"
#include "server/runtime/mhencode.h"
#include "server/runtime/packets.h"
#include "server/runtime/srvlog.h"
#include "tests/support/installation.h"

namespace {

// The next packet of cls/type on a queue, passing over others; false after ms.
bool WaitPacket(TvMailslot slot, uint8_t cls, uint8_t type, std::vector<uint8_t> *out, DWORD ms = 20000)
{
    DWORD start = GetTickCount();
    uint8_t buf[MSG_MAX_PACKET];
    while (GetTickCount() - start < ms) {
        uint16_t len = 0;
        if (MsgReadRequest(slot, buf, sizeof buf, &len) == 0) {
            if (buf[2] == cls && buf[3] == type) {
                out->assign(buf, buf + len);
                return true;
            }
            continue;
        }
        Sleep(50);
    }
    return false;
}

TEST(DevCtlProcess, RegistersRunsAJobGoesOfflineAndStops)
{
    LogInit(stdout, "", 5, "TEST");
    tvtest::Installation inst(tvtest::InstallationSpec().Setup("FCLASS-1", {"Port: COM7"}).Folder("MSG"), "dp");
    // Two pages to send.
    FILE *f = std::fopen(inst.Path("MSG/M.G3N").c_str(), "w+b");
    ASSERT_NE(nullptr, f);
    FaxPageState st{};
    ASSERT_EQ(0, StartTiffFaxFile(f, &st, 1728, 98));
    uint8_t row[216] = {};
    row[50] = 0xF0;
    for (int p = 0; p < 2; ++p)
        for (int r = 0; r < 10; ++r)
            ASSERT_EQ(0, WriteTiffFaxRow(f, &st, row, sizeof row, r == 9, r == 9 && p == 1));
    std::fclose(f);

    TvMailslot qm = nullptr, sm = nullptr, tvctl = nullptr;
    ASSERT_EQ(0, MsgMakePipe("QUEUEMAN", 0, &qm));
    ASSERT_EQ(0, MsgMakePipe("SYSMAN", 0, &sm));
    ASSERT_EQ(0, MsgMakePipe("TVCTL\\1", 0, &tvctl));
    // The controller's waits (3 s steps offline) run ten times faster.
    tvtest::Process ctl(inst.Program(FAKECTL_EXE, {"1"}).Env("TAVRINE_CLOCK_SCALE", "10"));
    ASSERT_TRUE(ctl.Started()) << ctl.Result();

    std::vector<uint8_t> pkt;
    ASSERT_TRUE(WaitPacket(qm, PKT_CLASS_QUEUEMAN, PKT_QM_REGISTER, &pkt)) << ctl.Result();
    PktRegister reg;
    ASSERT_TRUE(DecodeRegister(pkt.data(), pkt.size(), &reg));
    EXPECT_STREQ("FCLASS\\1", reg.queue);
    ASSERT_TRUE(WaitPacket(sm, PKT_CLASS_SYSMAN, PKT_SM_PORT_INIT, &pkt));
    PktPortInit portInit;
    DecodePortInit(pkt.data(), pkt.size(), &portInit);
    EXPECT_STREQ("COM7", portInit.port);
    ASSERT_TRUE(WaitPacket(sm, PKT_CLASS_SYSMAN, PKT_SM_CONTROLLER_STARTED, &pkt));

    PktJob j{};
    j.hdr.cls = PKT_CLASS_DEVICE;
    j.hdr.type = PKT_DEV_JOB;
    j.tag = reg.tag;
    j.requestId = 321;
    SetPacketText(j.messageName, sizeof j.messageName, "M1");
    SetPacketText(j.directory, sizeof j.directory, inst.Dir("MSG").c_str());
    SetPacketText(j.firstFile, sizeof j.firstFile, "M.G3N");
    j.format = 5;
    j.route = 2;
    SetPacketText(j.number, sizeof j.number, "123");
    uint8_t buf[PKT_JOB_SIZE];
    size_t n = EncodeJob(&j, buf, sizeof buf);
    ASSERT_EQ(0, MsgSendRequest("FCLASS\\1", 10, buf, static_cast<uint16_t>(n), nullptr, 0, nullptr));
    ASSERT_TRUE(WaitPacket(qm, PKT_CLASS_QUEUEMAN, PKT_QM_JOB_RESULT, &pkt));
    PktJobResult res;
    DecodeJobResult(pkt.data(), pkt.size(), &res);
    EXPECT_EQ(321, res.requestId);
    EXPECT_EQ(0, res.hdr.code);
    EXPECT_EQ(2, res.pages);

    // Port offline and back online, as the port control library asks through SYSMAN.
    PktPortOffline off{};
    off.hdr.cls = PKT_CLASS_DEVICE;
    off.hdr.type = PKT_DEV_PORT_OFFLINE;
    off.requestId = 4711;
    SetPacketText(off.replyQueue, sizeof off.replyQueue, "TVCTL\\1");
    n = EncodePortOffline(&off, buf, sizeof buf);
    ASSERT_EQ(0, MsgSendRequest("FCLASS\\1", 10, buf, static_cast<uint16_t>(n), nullptr, 0, nullptr));
    ASSERT_TRUE(WaitPacket(tvctl, PKT_CLASS_PORTREPLY, PKT_PR_PORT_REPLY, &pkt));
    ASSERT_EQ(PKT_PORT_REPLY_SIZE, pkt.size());
    PktPortReply rep;
    DecodePortReply(pkt.data(), pkt.size(), &rep);
    EXPECT_EQ(0, rep.hdr.code);
    EXPECT_EQ(4711, rep.requestId);
    // The supervisor sees the device offline (status 4), then idle again (1).
    bool offline = false;
    while (!offline && WaitPacket(qm, PKT_CLASS_QUEUEMAN, PKT_QM_STATUS, &pkt, 5000)) {
        PktStatus stt;
        DecodeStatus(pkt.data(), pkt.size(), &stt);
        offline = stt.statusCode == 4;
    }
    EXPECT_TRUE(offline);
    PktDeviceRequest on{};
    on.hdr.cls = PKT_CLASS_DEVICE;
    on.hdr.type = PKT_DEV_PORT_ONLINE;
    on.requestId = 4711;
    n = EncodeDeviceRequest(&on, buf, sizeof buf);
    ASSERT_EQ(0, MsgSendRequest("FCLASS\\1", 10, buf, static_cast<uint16_t>(n), nullptr, 0, nullptr));
    ASSERT_TRUE(WaitPacket(qm, PKT_CLASS_QUEUEMAN, PKT_QM_STATUS, &pkt, 10000));
    PktStatus back;
    DecodeStatus(pkt.data(), pkt.size(), &back);
    EXPECT_EQ(1, back.statusCode);

    PktDeviceRequest stop{};
    stop.hdr.cls = PKT_CLASS_DEVICE;
    stop.hdr.type = PKT_DEV_STOP;
    n = EncodeDeviceRequest(&stop, buf, sizeof buf);
    ASSERT_EQ(0, MsgSendRequest("FCLASS\\1", 10, buf, static_cast<uint16_t>(n), nullptr, 0, nullptr));
    tvtest::RunResult end = ctl.Wait(20000);
    EXPECT_EQ(0, end.code) << end << inst.ServerLog();
    MsgClosePipe(qm);
    MsgClosePipe(sm);
    MsgClosePipe(tvctl);
}

} // namespace
