// Mailslot transport: argument limits, the read loop's dropping of bad
// packets, and the send's waits, on the build's own mailslots (in-process
// queues natively, real mailslots under Windows) with a fake clock.
#include "server/runtime/mailslot.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/lebytes.h"
#include "server/runtime/consoleio.h"
#include "server/runtime/srvlog.h"
#include "tests/support/rt_testutil.h"

namespace {

class Mailslot : public ::testing::Test {
public:
    void SetUp() override
    {
        log_ = std::tmpfile();
        LogInit(log_, "", 1, "MSLOTTEST");
        SetBeepHook([] {});
        rt::FakeClock::Install();
    }
    void TearDown() override
    {
        rt::FakeClock::Remove();
        SetBeepHook(rt::QuietBeep);
        for (TvMailslot h : made_)
            MsgClosePipe(h);
        LogInit(rt::QuietStream(), "", 1, "MSLOTTEST");
        std::fclose(log_);
    }
    TvMailslot Make(const std::string &queue)
    {
        TvMailslot h = nullptr;
        EXPECT_EQ(MsgMakePipe(queue.c_str(), 0, &h), TV_OK) << queue;
        if (h)
            made_.push_back(h);
        return h;
    }
    // A packet of n bytes: class 2, type 99 and a running byte pattern.
    static std::string Packet(size_t n, uint8_t seed)
    {
        std::string p(n, '\0');
        for (size_t i = 4; i < n; ++i)
            p[i] = static_cast<char>(seed + i);
        p[2] = 2;
        p[3] = 99;
        return p;
    }
    // Writes raw bytes, length word as given, past MsgSendRequest's checks.
    static void WriteRaw(const std::string &queue, const std::string &bytes)
    {
        char path[MSG_PATH_SIZE];
        ASSERT_EQ(MsgMailslotPath(queue.c_str(), path, sizeof path), TV_OK);
        void *w = nullptr;
        uint32_t error = 0, written = 0;
        ASSERT_EQ(PlatMsOpenWrite(path, &w, &error), MS_OPEN_OK);
        EXPECT_EQ(PlatMsWrite(w, bytes.data(), static_cast<uint32_t>(bytes.size()), &written, &error), MS_WRITE_OK);
        PlatMsCloseWrite(w);
    }
    std::string Log() { return rt::StreamText(log_); }

    FILE *log_ = nullptr;
    std::vector<TvMailslot> made_;
};

TEST_F(Mailslot, QueueNameAndLengthLimits)
{
    std::string q228 = "T\\" + std::string(226, 'Q');
    std::string q229 = q228 + "Q";
    ASSERT_EQ(q228.size(), 228u);
    TvMailslot h = Make(q228);
    TvMailslot none = nullptr;
    EXPECT_EQ(MsgMakePipe(q229.c_str(), 0, &none), TV_E_BADARG);
    EXPECT_EQ(MsgMakePipe("", 0, &none), TV_E_BADARG);

    std::string p = Packet(1001, 1);
    EXPECT_EQ(MsgSendRequest(q229.c_str(), 0, &p[0], 10, nullptr, 0, nullptr), TV_E_BADARG);
    EXPECT_EQ(MsgSendRequest(q228.c_str(), 0, &p[0], 2, nullptr, 0, nullptr), TV_E_BADARG);
    EXPECT_EQ(MsgSendRequest(q228.c_str(), 0, &p[0], 1001, nullptr, 0, nullptr), TV_E_BADARG);
    EXPECT_EQ(MsgSendRequest(q228.c_str(), 121, &p[0], 10, nullptr, 0, nullptr), TV_E_BADARG);
    char reply[8];
    EXPECT_EQ(MsgSendRequest(q228.c_str(), 0, &p[0], 10, reply, sizeof reply, nullptr), TV_E_BADARG);

    // The longest packet goes through whole, with its length word set.
    ASSERT_EQ(MsgSendRequest(q228.c_str(), 0, &p[0], 1000, nullptr, 0, nullptr), TV_OK);
    EXPECT_EQ(GetLe16(reinterpret_cast<uint8_t *>(&p[0])), 1000);
    uint8_t buf[1000];
    uint16_t len = 0;
    ASSERT_EQ(MsgReadRequest(h, buf, sizeof buf, &len), TV_OK);
    EXPECT_EQ(len, 1000);
    EXPECT_EQ(0, std::memcmp(buf, p.data(), 1000));
    EXPECT_EQ(MsgReadRequest(h, buf, sizeof buf, &len), TV_S_NO_MESSAGE);
    EXPECT_EQ(MsgReadRequest(h, buf, 0, &len), TV_E_BADARG);
    EXPECT_NE(Log().find("MsgSendRequest() - request sent to '" + q228 + "'"), std::string::npos);
}

TEST_F(Mailslot, SecondMailslotOfTheSameNameIsRefused)
{
    Make("E1TEST\\DUP");
    TvMailslot again = nullptr;
    EXPECT_EQ(MsgMakePipe("E1TEST\\DUP", 0, &again), TV_E_IO);
    EXPECT_NE(Log().find("(E) - Error 183 creating mailslot \\\\.\\MAILSLOT\\TAVRINE\\SERVER\\E1TEST\\DUP"),
              std::string::npos)
        << Log();
}

TEST_F(Mailslot, MissingQueueTimesOut)
{
    std::string p = Packet(6, 0);
    // Time-out 0: at once, no sleep.
    EXPECT_EQ(MsgSendRequest("E1TEST\\NOBODY", 0, &p[0], 6, nullptr, 0, nullptr), TV_E_TIMEOUT);
    EXPECT_EQ(rt::FakeClock::sleeps, 0);
    // Time-out 2 s: tries every 500 ms, then gives up.
    EXPECT_EQ(MsgSendRequest("E1TEST\\NOBODY", 2, &p[0], 6, nullptr, 0, nullptr), TV_E_TIMEOUT);
    EXPECT_EQ(rt::FakeClock::slept, 2000u);
    EXPECT_EQ(rt::FakeClock::sleeps, 4);
    EXPECT_NE(Log().find("(E) - MsgSendRequest() - error 0xF023 opening queue"), std::string::npos);
}

TEST_F(Mailslot, QueueThatAppearsWithinTheTimeOutGetsThePacket)
{
    static Mailslot *self;
    self = this;
    rt::FakeClock::onSleep = [](uint32_t) {
        if (rt::FakeClock::sleeps == 3)
            self->Make("E1TEST\\LATE");
    };
    std::string p = Packet(12, 3);
    EXPECT_EQ(MsgSendRequest("E1TEST\\LATE", 10, &p[0], 12, nullptr, 0, nullptr), TV_OK);
    EXPECT_EQ(rt::FakeClock::slept, 1500u);
    uint8_t buf[100];
    uint16_t len = 0;
    ASSERT_EQ(MsgReadRequest(made_.back(), buf, sizeof buf, &len), TV_OK);
    EXPECT_EQ(len, 12);
}

TEST_F(Mailslot, OversizedAndMislabelledPacketsAreDroppedAndTheNextArrives)
{
    TvMailslot h = Make("E1TEST\\DROP");
    std::string big = Packet(500, 7);
    ASSERT_EQ(MsgSendRequest("E1TEST\\DROP", 0, &big[0], 500, nullptr, 0, nullptr), TV_OK);
    std::string liar = Packet(26, 9);
    PutLe16(reinterpret_cast<uint8_t *>(&liar[0]), 30);
    WriteRaw("E1TEST\\DROP", liar);
    std::string good = Packet(30, 11);
    ASSERT_EQ(MsgSendRequest("E1TEST\\DROP", 0, &good[0], 30, nullptr, 0, nullptr), TV_OK);

    uint8_t buf[424];
    std::memset(buf, 0xEE, sizeof buf);
    uint16_t len = 0;
    ASSERT_EQ(MsgReadRequest(h, buf, sizeof buf, &len), TV_OK);
    EXPECT_EQ(len, 30);
    EXPECT_EQ(0, std::memcmp(buf, good.data(), 30));
    EXPECT_EQ(MsgReadRequest(h, buf, sizeof buf, &len), TV_S_NO_MESSAGE);
    std::string log = Log();
    size_t first = log.find("(E) - Invalid packet received - ignored");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(log.find("(E) - Invalid packet received - ignored", first + 1), std::string::npos);
}

TEST_F(Mailslot, ShortPacketLeavesNoStaleBytesInTheBuffer)
{
    TvMailslot h = Make("E1TEST\\STALE");
    std::string job = Packet(424, 0x40);
    std::string online = Packet(8, 0);
    ASSERT_EQ(MsgSendRequest("E1TEST\\STALE", 0, &job[0], 424, nullptr, 0, nullptr), TV_OK);
    ASSERT_EQ(MsgSendRequest("E1TEST\\STALE", 0, &online[0], 8, nullptr, 0, nullptr), TV_OK);
    uint8_t buf[424];
    uint16_t len = 0;
    ASSERT_EQ(MsgReadRequest(h, buf, sizeof buf, &len), TV_OK);
    ASSERT_EQ(MsgReadRequest(h, buf, sizeof buf, &len), TV_OK);
    EXPECT_EQ(len, 8);
    EXPECT_EQ(GetLe16(buf + 8), 0) << "identifier past the end must read 0";
    for (size_t i = 8; i < sizeof buf; ++i)
        ASSERT_EQ(buf[i], 0) << i;
}

TEST_F(Mailslot, BusyMailslotIsRetriedForTenSeconds)
{
    Make("E1TEST\\BUSY");
    char path[MSG_PATH_SIZE];
    ASSERT_EQ(MsgMailslotPath("E1TEST\\BUSY", path, sizeof path), TV_OK);
    static void *held;
    uint32_t error = 0;
    ASSERT_EQ(PlatMsOpenWrite(path, &held, &error), MS_OPEN_OK);

    // Held for good: 0xF00C after 10 s, even with a longer time-out.
    std::string p = Packet(6, 0);
    EXPECT_EQ(MsgSendRequest("E1TEST\\BUSY", 60, &p[0], 6, nullptr, 0, nullptr), TV_E_IO);
    EXPECT_EQ(rt::FakeClock::slept, 10000u);
    EXPECT_NE(Log().find("Error 0x20 opening mailslot " + std::string(path)), std::string::npos);

    // Released after 1 s: sent on the next try.
    rt::FakeClock::slept = 0;
    rt::FakeClock::onSleep = [](uint32_t) {
        if (rt::FakeClock::slept >= 1000 && held) {
            PlatMsCloseWrite(held);
            held = nullptr;
        }
    };
    EXPECT_EQ(MsgSendRequest("E1TEST\\BUSY", 0, &p[0], 6, nullptr, 0, nullptr), TV_OK);
    EXPECT_EQ(rt::FakeClock::slept, 1000u);
}

TEST(MailslotNames, QueueNameFromId)
{
    char q[16];
    QueueNameFromId("FCLASS-1", q, sizeof q);
    EXPECT_STREQ(q, "FCLASS\\1");
    QueueNameFromId("TVCTL-12", q, 6);
    EXPECT_STREQ(q, "TVCTL");
    char path[MSG_PATH_SIZE];
    ASSERT_EQ(MsgMailslotPath("SYSMAN", path, sizeof path), TV_OK);
    EXPECT_STREQ(path, "\\\\.\\MAILSLOT\\TAVRINE\\SERVER\\SYSMAN");
    EXPECT_EQ(std::strlen(MSG_MAILSLOT_ROOT), static_cast<size_t>(MSG_ROOT_LEN));
}

} // namespace
