// QUEUEMAN, SYSMAN and the packet tool, run as processes in one Wine prefix
// on an installation laid out in a scratch folder. The test starts
// QUEUEMAN and SYSMAN, sends each packet kind they receive with the packet
// tool, checks their server log lines and their answers, and stops them
// with class 99. Every wait is bounded; every process started here (the
// listener SYSMAN starts too) is ended at the close.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/runtime/mailslot.h"
#include "server/runtime/packets.h"
#include "server/runtime/srvlog.h"
#include "tests/support/installation.h"
#include "tests/support/testfiles.h"
#include "tests/support/waitfor.h"

namespace {

// The server programs log every few tenths of a second: a slower poll will do.
template <typename Pred> bool WaitForPoll(uint32_t ms, Pred pred) { return tvtest::WaitFor(ms, pred, 50); }

size_t CountOf(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

// What the client and the programmer API try on the lock file: read, denying
// writes. Refused while a server program holds it.
bool ServerLockHeld(const std::string &lock)
{
    HANDLE h = CreateFileA(lock.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(h);
    return false;
}

class ServerFixture : public ::testing::Test {
protected:
    // One program line that SYSMAN starts: the packet tool listening as the
    // device FAKE-1; and one line SYSMAN must pass over.
    tvtest::Installation inst_{tvtest::InstallationSpec()
                                   .Program("Sysman", "SYSMAN", "SYSMAN.EXE")
                                   .Program("Device", "FAKE-1", tvtest::BuildPath(TVPACKET_EXE) + " listen FAKE\\1 wait=60",
                                            "x WIN")
                                   .Setup("SERVER", {"Gadget: nothing"})
                                   .Setup("DEVICES"),
                               "si"};
    std::string lockPath_ = inst_.RequestArea() + "TAVRINE.LOK";
    std::string markerPath_ = inst_.RequestArea() + "SERVER.OK";

    void SetUp() override { LogInit(stdout, "", 5, "TEST"); }

    std::string Log() { return inst_.ServerLog(); }

    // Waits until the server log holds what, count times.
    bool WaitLog(const std::string &what, size_t count = 1, DWORD ms = 10000)
    {
        return WaitForPoll(ms, [&] { return CountOf(Log(), what) >= count; });
    }

    // Runs the packet tool; at most 30 s.
    tvtest::RunResult Tool(const std::vector<std::string> &args)
    {
        return tvtest::Run(inst_.Program(TVPACKET_EXE, args), 30000);
    }

    // Sends one packet with the tool and expects it to go.
    void Send(const std::vector<std::string> &args)
    {
        std::vector<std::string> all = {"send"};
        all.insert(all.end(), args.begin(), args.end());
        tvtest::RunResult r = Tool(all);
        ASSERT_EQ(r.code, 0) << r;
        ASSERT_NE(r.output.find("sent "), std::string::npos) << r;
    }

    // The next packet of class and type on a queue of the test, passing over
    // others; false when none comes within ms.
    static bool NextPacket(TvMailslot slot, uint8_t cls, uint8_t type, uint8_t *buf, uint16_t *len, DWORD ms = 10000)
    {
        return WaitForPoll(ms, [&] {
            while (MsgReadRequest(slot, buf, MSG_MAX_PACKET, len) == TV_OK)
                if (buf[2] == cls && (buf[3] == type || cls == PKT_CLASS_STOPALL))
                    return true;
            return false;
        });
    }

    bool LockHeld() { return ServerLockHeld(lockPath_); }

    // What another server program does: write access, sharing reads and
    // writes. Refused when the holder does not share writes.
    bool LockShared()
    {
        HANDLE h = CreateFileA(lockPath_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        CloseHandle(h);
        return true;
    }
};

TEST_F(ServerFixture, ManagersTakeTheCataloguePacketsAndStopOnClass99)
{
    // The test stands in for the supervisor and for a device controller.
    TvMailslot tserver = nullptr, controller = nullptr;
    ASSERT_EQ(MsgMakePipe("TSERVER", 0, &tserver), TV_OK);
    ASSERT_EQ(MsgMakePipe("FCLASS\\1", 0, &controller), TV_OK);
    static uint8_t buf[MSG_MAX_PACKET];
    uint16_t len = 0;

    // ---- start-up: QUEUEMAN first, then SYSMAN, which starts FAKE-1
    tvtest::Process queueman(inst_.Program(QUEUEMAN_EXE));
    ASSERT_TRUE(WaitForPoll(15000, [] { return MsgQueueExists("QUEUEMAN"); })) << queueman.Result();
    tvtest::Process sysman(inst_.Program(SYSMAN_EXE));
    ASSERT_TRUE(WaitForPoll(15000, [] { return MsgQueueExists("SYSMAN"); })) << sysman.Result();
    ASSERT_TRUE(WaitLog("SYSMAN     - (I) - Started FAKE-1: "));
    EXPECT_TRUE(WaitForPoll(15000, [] { return MsgQueueExists("FAKE\\1"); })) << Log();
    EXPECT_TRUE(WaitLog("Invalid line in [SERVER] paragraph (1) - Gadget: nothing"));
    EXPECT_TRUE(WaitLog("1 server program started"));
    EXPECT_TRUE(LockHeld());
    EXPECT_TRUE(LockShared());
    EXPECT_NE(GetFileAttributesA(markerPath_.c_str()), INVALID_FILE_ATTRIBUTES);

    // A second SYSMAN finds the mailslot taken and ends at once.
    tvtest::RunResult second = tvtest::Run(inst_.Program(SYSMAN_EXE), 15000);
    EXPECT_EQ(second.code, 1) << second;

    // ---- the ping is answered by the mailslot; a stopped queue is not
    Send({"SYSMAN", "PING", "timeout=0"});
    EXPECT_TRUE(WaitLog("SYSMAN     - (I) - Received 6/1 PING len=6"));
    tvtest::RunResult missing = Tool({"send", "NOSUCH", "6/1", "timeout=0"});
    EXPECT_EQ(missing.code, 1) << missing;
    EXPECT_NE(missing.output.find("error 0xF023"), std::string::npos) << missing.output;

    // ---- what QUEUEMAN receives, each logged decoded and acted on
    struct Case {
        std::vector<std::string> send;
        const char *logged;
        const char *acted;
    };
    const Case qmCases[] = {
        {{"REGISTER", "device=FCLASS", "number=1", "queue=FCLASS\\1", "tag=77", "send=0x40000001", "print=2"},
         "Received 1/10 REGISTER len=116 code=0x0 device=FCLASS/1 queue='FCLASS\\1' tag=77",
         "Device FCLASS\\1 registered: FCLASS-1 tag 77 send routes 0x40000001 print routes 0x00000002"},
        {{"JOB-RESULT", "device=FCLASS", "number=1", "code=0xF016"}, "Received 1/6 JOB RESULT len=26 code=0xF016",
         "Call received by FCLASS-1 (0xF016)"},
        {{"1/6", "device=FCLASS", "number=1", "id=42", "code=0xF10A", "status=1", "seconds=30", "pages=2"},
         "id=42 status=1 seconds=30 pages=2", "Job result 0xF10A for unknown request 42"},
        {{"SCAN-RESULT", "device=FCLASS", "number=1", "id=5", "value=3"},
         "Received 1/7 SCAN RESULT len=24 code=0x0 device=FCLASS/1 id=5 status=0 value=3",
         "Scan result 0x0 for unknown request 5"},
        {{"NEW-MESSAGE", "device=FCLASS", "number=1", "user=JSMITH", "file=R0000001.CTL"},
         "Received 1/8 NEW MESSAGE len=40", "New message R0000001.CTL for user JSMITH from FCLASS-1"},
        {{"CONVERT-REPLY", "code=0xF20C"}, "Received 1/11 CONVERT REPLY len=6 code=0xF20C",
         "Conversion reply 0xF20C with no conversion running"},
        {{"STATUS", "device=FCLASS", "number=2"}, "Received 1/9 STATUS len=22 code=0x0 device=FCLASS/2",
         "Packet from unregistered device FCLASS-2"},
        {{"REGISTER", "queue=FCLASS\\1", "len=100"}, "Received 1/10 REGISTER len=100",
         "Packet 1/10 of 100 bytes has the wrong length - ignored"},
        {{"PING"}, "QUEUEMAN   - (I) - Received 6/1 PING", "Packet class 6 not handled by QUEUEMAN - ignored"},
    };
    for (const Case &c : qmCases) {
        std::vector<std::string> args = {"QUEUEMAN"};
        args.insert(args.end(), c.send.begin(), c.send.end());
        SCOPED_TRACE(c.send[0]);
        Send(args);
        EXPECT_TRUE(WaitLog(c.logged)) << c.logged;
        EXPECT_TRUE(WaitLog(c.acted)) << c.acted;
    }

    // A registered device's state goes on to the supervisor.
    Send({"QUEUEMAN", "STATUS", "device=FCLASS", "number=1", "status=7", "page=3"});
    ASSERT_TRUE(NextPacket(tserver, PKT_CLASS_SUPERVISOR, PKT_SV_DEVICE_STATUS, buf, &len));
    PktDeviceStatus ds;
    ASSERT_TRUE(DecodeDeviceStatus(buf, len, &ds));
    EXPECT_EQ(len, PKT_DEVICE_STATUS_SIZE);
    EXPECT_STREQ(ds.deviceName, "FCLASS");
    EXPECT_EQ(ds.deviceNumber, 1);
    EXPECT_EQ(ds.state, 7);
    EXPECT_EQ(ds.currentPage, 3);

    // The queue status request is answered with class 7 type 2 to TSERVER,
    // and the packet tool shows the answer when it owns TSERVER itself.
    Send({"QUEUEMAN", "QUEUE-STATUS-REQUEST"});
    ASSERT_TRUE(NextPacket(tserver, PKT_CLASS_SUPERVISOR, PKT_SV_QUEUE_STATUS, buf, &len));
    PktQueueStatus qs;
    ASSERT_TRUE(DecodeQueueStatus(buf, len, &qs));
    EXPECT_EQ(len, PKT_QUEUE_STATUS_SIZE);
    for (uint16_t c : qs.counters)
        EXPECT_EQ(c, 0);
    EXPECT_TRUE(WaitLog("Received 1/4 QUEUE STATUS REQUEST len=30 code=0x0 first='' second='' value=3"));
    EXPECT_TRUE(WaitLog("Queue status sent to TSERVER: 0,0,0,0,0,0,0"));
    MsgClosePipe(tserver);
    tserver = nullptr;
    tvtest::RunResult asked = Tool({"send", "QUEUEMAN", "1/4", "listen=TSERVER", "wait=10"});
    EXPECT_EQ(asked.code, 0) << asked;
    EXPECT_NE(asked.output.find("received 7/2 QUEUE STATUS len=20 code=0x0 counters=0,0,0,0,0,0,0"),
              std::string::npos)
        << asked.output;

    // ---- what SYSMAN receives
    Send({"SYSMAN", "CONTROLLER-STARTED", "id=FCLASS-1"});
    EXPECT_TRUE(WaitLog("Received 6/3 CONTROLLER STARTED len=24 code=0x0 id='FCLASS-1' value=1"));
    EXPECT_TRUE(WaitLog("Program FCLASS-1 started (queue FCLASS\\1)"));
    Send({"SYSMAN", "CONTROLLER-STARTED", "id=FCLASS-1", "len=20"});
    EXPECT_TRUE(WaitLog("Packet 6/3 of 20 bytes has the wrong length - ignored"));
    Send({"SYSMAN", "PORT-INIT", "device=FCLASS", "number=1", "queue=FCLASS\\1", "port=COM7"});
    EXPECT_TRUE(WaitLog("Received 6/5 PORT INIT len=118 code=0x0 device=FCLASS/1 queue='FCLASS\\1' port='COM7'"));
    EXPECT_TRUE(WaitLog("Port COM7 belongs to FCLASS\\1"));

    // Port requests become PORT OFFLINE / PORT ONLINE on the controller's
    // queue: the port matched in any case, the flags and the reply queue
    // copied through.
    struct PortCase {
        std::vector<std::string> send;
        uint32_t busy, interrupt;
    };
    const PortCase offlineCases[] = {
        {{"port=com7", "offline=1", "id=513", "reply=TVCTL\\3"}, 0, 0},
        {{"port=Com7", "offline=1", "id=514", "reply=TVCTL\\12", "busy=1", "interrupt=1"}, 1, 1},
    };
    for (const PortCase &c : offlineCases) {
        std::vector<std::string> args = {"SYSMAN", "PORT-REQUEST"};
        args.insert(args.end(), c.send.begin(), c.send.end());
        Send(args);
        ASSERT_TRUE(NextPacket(controller, PKT_CLASS_DEVICE, PKT_DEV_PORT_OFFLINE, buf, &len)) << Log();
        EXPECT_EQ(len, PKT_PORT_OFFLINE_SIZE);
        PktPortOffline po;
        ASSERT_TRUE(DecodePortOffline(buf, len, &po));
        EXPECT_EQ(po.tag, 0);
        EXPECT_EQ(po.busy, c.busy);
        EXPECT_EQ(po.interrupt, c.interrupt);
        EXPECT_EQ(po.requestId, c.busy ? 514 : 513);
        EXPECT_STREQ(po.replyQueue, c.busy ? "TVCTL\\12" : "TVCTL\\3");
    }
    Send({"SYSMAN", "PORT-REQUEST", "port=COM7", "offline=0", "id=513", "reply=TVCTL\\3"});
    ASSERT_TRUE(NextPacket(controller, PKT_CLASS_DEVICE, PKT_DEV_PORT_ONLINE, buf, &len));
    PktDeviceRequest on;
    ASSERT_TRUE(DecodeDeviceRequest(buf, len, &on));
    EXPECT_EQ(on.tag, 0);
    EXPECT_EQ(on.requestId, 513);
    // An unknown port goes nowhere.
    Send({"SYSMAN", "PORT-REQUEST", "port=COM9", "offline=1", "id=9", "reply=TVCTL\\3"});
    EXPECT_TRUE(WaitLog("Port offline request 9 for unknown port 'COM9' - ignored"));
    EXPECT_FALSE(NextPacket(controller, PKT_CLASS_DEVICE, PKT_DEV_PORT_OFFLINE, buf, &len, 1000));

    // ---- restart: the programs started here are stopped and started again;
    // QUEUEMAN, started by someone else, keeps running.
    Send({"SYSMAN", "RESTART"});
    EXPECT_TRUE(WaitLog("Server restarting"));
    EXPECT_TRUE(WaitLog("Program FAKE-1 ended (exit code 0)", 1, 20000)) << Log();
    EXPECT_TRUE(WaitLog("SYSMAN     - (I) - Started FAKE-1: ", 2, 20000)) << Log();
    EXPECT_TRUE(WaitForPoll(15000, [] { return MsgQueueExists("FAKE\\1"); }));
    EXPECT_TRUE(queueman.Running());

    // The programmer API's request files: SYSMAN takes its own (and removes
    // them), leaves the queue manager's alone.
    const std::string request = "[TAVRINE]\r\nType: Request\r\nRevision: A\r\n\r\n[REQUEST]\r\n";
    const std::string restartFile = inst_.RequestArea() + "~RQST001.CTL",
                      otherFile = inst_.RequestArea() + "~RQST002.CTL", oddFile = inst_.RequestArea() + "~RQST003.CTL";
    ASSERT_TRUE(WriteWholeFile(otherFile, request + "Server: QUEUEMAN\r\nType: SEND\r\nUser: JSMITH\r\nFile: A.CTL\r\n"));
    ASSERT_TRUE(WriteWholeFile(oddFile, request + "Server: SysMan\r\nType: REBOOT\r\n"));
    ASSERT_TRUE(WriteWholeFile(restartFile, request + "Server: SYSMAN\r\nType: RESTART\r\n"));
    EXPECT_TRUE(WaitLog("Request file ~RQST001.CTL: RESTART"));
    EXPECT_TRUE(WaitLog("Request file ~RQST003.CTL of unknown type 'REBOOT' - ignored"));
    EXPECT_TRUE(WaitLog("SYSMAN     - (I) - Started FAKE-1: ", 3, 20000)) << Log();
    EXPECT_EQ(GetFileAttributesA(restartFile.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA(oddFile.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA(otherFile.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(WaitForPoll(15000, [] { return MsgQueueExists("FAKE\\1"); }));

    // ---- class 99 to SYSMAN stops everything: the started program, the
    // announced controller, QUEUEMAN, and SYSMAN itself.
    Send({"SYSMAN", "99/0", "timeout=3"});
    EXPECT_TRUE(NextPacket(controller, PKT_CLASS_STOPALL, 0, buf, &len));
    tvtest::RunResult queuemanEnd = queueman.Wait(20000), sysmanEnd = sysman.Wait(20000);
    ASSERT_TRUE(queuemanEnd.Exited()) << queuemanEnd << Log();
    ASSERT_TRUE(sysmanEnd.Exited()) << sysmanEnd << Log();
    EXPECT_EQ(queuemanEnd.code, 0) << queuemanEnd;
    EXPECT_EQ(sysmanEnd.code, 0) << sysmanEnd;
    std::string log = Log();
    EXPECT_NE(log.find("Stop sent to FAKE\\1"), std::string::npos);
    EXPECT_NE(log.find("Stop sent to FCLASS\\1"), std::string::npos);
    EXPECT_NE(log.find("Stop sent to QUEUEMAN"), std::string::npos);
    EXPECT_NE(log.find("Program FAKE-1 ended (exit code 0)", log.find("Server closing down")), std::string::npos);
    EXPECT_NE(log.find("QUEUEMAN   - (I) - QUEUEMAN ended"), std::string::npos);
    EXPECT_NE(log.find("SYSMAN     - (I) - SYSMAN ended"), std::string::npos);
    EXPECT_FALSE(MsgQueueExists("SYSMAN"));
    EXPECT_FALSE(MsgQueueExists("QUEUEMAN"));
    EXPECT_FALSE(LockHeld());
    EXPECT_EQ(GetFileAttributesA(markerPath_.c_str()), INVALID_FILE_ATTRIBUTES);
    MsgClosePipe(controller);
}

// The server's presence as the client tests it, in the two faults a server
// can leave: QUEUEMAN alone holds the lock without the marker, and a killed
// SYSMAN leaves its marker behind with the lock free.
TEST(ServerPresence, LockWithoutMarkerAndMarkerLeftByAKilledSysman)
{
    tvtest::Installation inst(tvtest::InstallationSpec().Program("Sysman", "SYSMAN", "SYSMAN.EXE"), "sp");
    const std::string lock = inst.RequestArea() + "TAVRINE.LOK", marker = inst.RequestArea() + "SERVER.OK";
    auto lockHeld = [&] { return ServerLockHeld(lock); };
    auto exists = [](const std::string &p) { return GetFileAttributesA(p.c_str()) != INVALID_FILE_ATTRIBUTES; };

    {
        tvtest::Process queueman(inst.Program(QUEUEMAN_EXE));
        ASSERT_TRUE(WaitForPoll(15000, [] { return MsgQueueExists("QUEUEMAN"); })) << queueman.Result();
        EXPECT_TRUE(WaitForPoll(5000, lockHeld));
        EXPECT_FALSE(exists(marker));
        queueman.Kill();
    }
    EXPECT_TRUE(WaitForPoll(5000, [&] { return !lockHeld(); }));

    tvtest::Process sysman(inst.Program(SYSMAN_EXE));
    ASSERT_TRUE(WaitForPoll(15000, [&] { return exists(marker); })) << sysman.Result();
    EXPECT_TRUE(lockHeld());
    sysman.Kill();
    EXPECT_TRUE(WaitForPoll(5000, [&] { return !lockHeld(); }));
    EXPECT_TRUE(exists(marker));
}

TEST(Tserver, LogsItsStartAndEnds)
{
    tvtest::Installation inst(tvtest::InstallationSpec(), "ts");
    tvtest::RunResult r = tvtest::Run(inst.Program(TSERVER_EXE), 30000);
    EXPECT_EQ(r.code, 0) << r;
    EXPECT_NE(inst.ServerLog().find("TSERVER    - (I) - TSERVER stand-in started in " + inst.ServerArea()),
              std::string::npos)
        << inst.ServerLog();
    // Without an installation it says so and fails.
    tvtest::Command bare(TSERVER_EXE);
    bare.Env("TFAXINIT", inst.Path("NOWHERE"));
    EXPECT_EQ(tvtest::Run(bare, 30000).code, 1);
}

} // namespace
