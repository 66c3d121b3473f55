// Console shell and the modules beside it: SleepYield on a fake clock,
// argument splitting and ConsoleMain, the logged memory wrappers and the
// Windows language. (The shared open is in sharedopen_test.cpp.)
#include "server/runtime/console.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "server/runtime/consoleio.h"
#include "server/runtime/globalmem.h"
#include "server/runtime/rtclock.h"
#include "server/runtime/srvlog.h"
#include "server/runtime/sysparams.h"
#include "tests/support/rt_testutil.h"

namespace {

class Clock : public ::testing::Test {
protected:
    void SetUp() override
    {
        rt::FakeClock::Install();
        SetSleepYieldTiming(100, 100);
    }
    void TearDown() override
    {
        rt::FakeClock::Remove();
        SetSleepYieldTiming(100, 100);
    }
};

TEST_F(Clock, SleepYieldTicksAndThrottles)
{
    SleepYield(0);                      // the first call always sleeps
    EXPECT_EQ(rt::FakeClock::slept, 100u);
    rt::FakeClock::now += 50;
    SleepYield(0);                      // 50 ms after the last sleep: no sleep
    EXPECT_EQ(rt::FakeClock::sleeps, 1);
    rt::FakeClock::now += 60;
    SleepYield(0);                      // 110 ms after: sleeps the tick
    EXPECT_EQ(rt::FakeClock::sleeps, 2);
    SleepYield(30);                     // a positive time always sleeps
    EXPECT_EQ(rt::FakeClock::slept, 230u);
    SleepYieldShort(5000);
    EXPECT_EQ(rt::FakeClock::slept, 1230u);

    // The modem controller's settings: tick 250, no minimum interval.
    SetSleepYieldTiming(250, 0);
    SleepYield(0);
    SleepYield(0);
    EXPECT_EQ(rt::FakeClock::slept, 1730u);
}

TEST(SystemClock, TicksAndLocalTimeComeFromThePlatformLayer)
{
    SetRuntimeClock(nullptr);
    uint32_t t0 = RtTickMs();
    RtSleepMs(30);
    uint32_t dt = RtTickMs() - t0;
    EXPECT_GE(dt, 20u);
    EXPECT_LT(dt, 5000u);
    RtTime t;
    RtLocalTime(&t);
    TvDateTime p;
    TvPlatLocalTime(&p);
    EXPECT_GE(t.year, 2024);
    EXPECT_EQ(t.year, p.year);
    EXPECT_GE(t.month, 1);
    EXPECT_LE(t.month, 12);
}

TEST(ServerArguments, ParagraphsAndServiceAreTakenOut)
{
    ResetSystemParameters();
    char a0[] = "modemctl", a1[] = "[SERVER-2]", a2[] = "3", a3[] = "/service", a4[] = "[DEV-2]", a5[] = "4",
         a6[] = "[THIRD]";
    char *argv[] = {a0, a1, a2, a3, a4, a5, a6, nullptr};
    int count = 0;
    char **rest = nullptr;
    ParseServerArguments(7, argv, &count, &rest);
    ASSERT_EQ(count, 3);
    EXPECT_STREQ(rest[0], "modemctl");
    EXPECT_STREQ(rest[1], "3");
    EXPECT_STREQ(rest[2], "4");
    EXPECT_EQ(rest[3], nullptr);
    EXPECT_TRUE(LogServiceMode());
    EXPECT_STREQ(g_sysParams.serverParagraph, "[SERVER-2]");
    EXPECT_STREQ(g_sysParams.devicesParagraph, "[DEV-2]");
    ResetSystemParameters();
    EXPECT_FALSE(LogServiceMode());
    EXPECT_STREQ(g_sysParams.serverParagraph, "[SERVER]");
    EXPECT_STREQ(g_sysParams.devicesParagraph, "[DEVICES]");
}

int g_mainArgc;
std::string g_mainArgs;
int ProgramMain(int argc, char **argv)
{
    g_mainArgc = argc;
    for (int i = 1; i < argc; ++i)
        g_mainArgs += std::string(argv[i]) + ";";
    return 42;
}
void MakeId(int argc, char **argv, char *id, size_t size) { std::snprintf(id, size, "FCLASS-%s", argv[1]); }

TEST(ConsoleMainShell, RunsTheProgramWithTheRemainingArguments)
{
    ResetSystemParameters();
    char a0[] = "modemctl", a1[] = "/SERVICE", a2[] = "2", a3[] = "5";
    char *argv[] = {a0, a1, a2, a3, nullptr};
    EXPECT_EQ(ConsoleMain(4, argv, nullptr, MakeId, ProgramMain), 42);
    EXPECT_EQ(g_mainArgc, 3);
    EXPECT_EQ(g_mainArgs, "2;5;");
    EXPECT_STREQ(ConsoleProgramId(), "FCLASS-2");
    EXPECT_TRUE(LogServiceMode());
    ResetSystemParameters();
    SetMessageLogFeed(nullptr);
}

TEST(GlobalMemory, ZeroFilledAndFailuresLogged)
{
    FILE *log = std::tmpfile();
    LogInit(log, "", 1, "MEM");
    TvGlobal h = GlobalAllocLogged(64);
    ASSERT_NE(h, nullptr);
    unsigned char *p = static_cast<unsigned char *>(GlobalLockLogged(h));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(p[i], 0);
    GlobalUnlockLogged(h);
    GlobalFreeLogged(h);
    EXPECT_EQ(rt::StreamText(log), "");
    EXPECT_EQ(GlobalLockLogged(nullptr), nullptr);
    GlobalFreeLogged(nullptr);
    std::string text = rt::StreamText(log);
    EXPECT_NE(text.find("(E) - Error locking memory (selector 0)"), std::string::npos);
    EXPECT_NE(text.find("(E) - Error freeing memory (selector 0)"), std::string::npos);
    LogInit(rt::QuietStream(), "", 1, "TEST");
    std::fclose(log);
}

TEST(WindowsLanguage, SmallBufferIsEmptied)
{
    char buf[4] = "xyz";
    GetWindowsLanguage(buf, 3);
    EXPECT_STREQ(buf, "");
    char lang[16];
    GetWindowsLanguage(lang, sizeof lang);
    EXPECT_GT(std::strlen(lang), 0u);
}

} // namespace
