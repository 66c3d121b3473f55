// Console shell: SleepYield on a fake clock, the open-mode table, the shared
// open's retry against a file held in this process, argument splitting and
// the logged memory wrappers.
#include "server/runtime/console.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "rt_testutil.h"
#include "server/runtime/srvlog.h"
#include "server/runtime/sysparams.h"

namespace {

class Shell : public ::testing::Test {
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
        OpenFileShared(OPEN_RETRY_SYSTEM_INI, nullptr, nullptr);
    }
};

TEST_F(Shell, SleepYieldTicksAndThrottles)
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

TEST(OpenMode, TableOfModes)
{
    struct M {
        const char *mode;
        RtOpenAccess access;
        RtOpenCreate create;
        RtOpenShare share;
        bool append;
        const char *stream;
    };
    const M rows[] = {
        {"r", RT_READ, RT_OPEN_EXISTING, RT_SHARE_READWRITE, false, "r"},
        {"rb", RT_READ, RT_OPEN_EXISTING, RT_SHARE_READWRITE, false, "rb"},
        {"r+b", RT_READWRITE, RT_OPEN_EXISTING, RT_SHARE_NONE, false, "r+b"},
        {"w", RT_WRITE, RT_CREATE_TRUNCATE, RT_SHARE_NONE, false, "w"},
        {"w+t", RT_READWRITE, RT_CREATE_TRUNCATE, RT_SHARE_NONE, false, "w+t"},
        {"at", RT_WRITE, RT_OPEN_ALWAYS, RT_SHARE_READ, true, "at"},
        {"a+", RT_READWRITE, RT_OPEN_ALWAYS, RT_SHARE_READ, true, "a+"},
        {"c", RT_WRITE, RT_CREATE_NEW, RT_SHARE_NONE, false, "w"},
        {"cb", RT_WRITE, RT_CREATE_NEW, RT_SHARE_NONE, false, "wb"},
        {"c+t", RT_READWRITE, RT_CREATE_NEW, RT_SHARE_NONE, false, "w+t"},
    };
    for (const M &r : rows) {
        SCOPED_TRACE(r.mode);
        RtOpenMode m;
        ASSERT_TRUE(ParseOpenMode(r.mode, &m));
        EXPECT_EQ(m.access, r.access);
        EXPECT_EQ(m.create, r.create);
        EXPECT_EQ(m.share, r.share);
        EXPECT_EQ(m.append, r.append);
        EXPECT_STREQ(m.streamMode, r.stream);
    }
    RtOpenMode m;
    EXPECT_FALSE(ParseOpenMode("x", &m));
    EXPECT_FALSE(ParseOpenMode("", &m));
    EXPECT_FALSE(ParseOpenMode("+r", &m));
}

TEST_F(Shell, SharedOpenRetriesWhileTheFileIsHeld)
{
    std::string dir = rt::ScratchDir("shared");
    std::string path = dir + "HELD.TXT";
    rt::WriteText(path, "hello\n");

    // Mode c on an existing file gives none at once.
    EXPECT_EQ(OpenFileShared(10, path.c_str(), "c"), nullptr);
    EXPECT_EQ(rt::FakeClock::sleeps, 0);

    static FILE *held;
    held = OpenFileShared(0, path.c_str(), "r+b");
    ASSERT_NE(held, nullptr);
    // Held for good against a 2 s budget: none after about 2 s.
    EXPECT_EQ(OpenFileShared(2, path.c_str(), "rb"), nullptr);
    EXPECT_GE(rt::FakeClock::slept, 2000u);
    EXPECT_LE(rt::FakeClock::slept, 2100u);
    EXPECT_NE(OpenFileSharedError(), 0);

    // Released after 1 s: opened within the budget.
    rt::FakeClock::slept = 0;
    rt::FakeClock::onSleep = [](uint32_t) {
        if (rt::FakeClock::slept >= 1000 && held) {
            std::fclose(held);
            held = nullptr;
        }
    };
    FILE *f = OpenFileShared(2, path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(rt::FakeClock::slept, 1000u);
    char line[16] = "";
    EXPECT_NE(std::fgets(line, sizeof line, f), nullptr);
    EXPECT_STREQ(line, "hello\n");
    std::fclose(f);

    // A call without a path stores the default wait for callers passing -1.
    rt::FakeClock::onSleep = nullptr;
    held = OpenFileShared(0, path.c_str(), "r+b");
    ASSERT_NE(held, nullptr);
    OpenFileShared(1, nullptr, nullptr);
    rt::FakeClock::slept = 0;
    EXPECT_EQ(OpenFileShared(OPEN_RETRY_DEFAULT, path.c_str(), "r"), nullptr);
    EXPECT_GE(rt::FakeClock::slept, 1000u);
    EXPECT_LE(rt::FakeClock::slept, 1100u);
    std::fclose(held);

    // A missing file is no reason to wait.
    rt::FakeClock::slept = 0;
    EXPECT_EQ(OpenFileShared(5, (dir + "NONE.TXT").c_str(), "r"), nullptr);
    EXPECT_EQ(rt::FakeClock::slept, 0u);
    rt::RemoveFile(path);
}

TEST_F(Shell, ModesCreateTruncateAndRead)
{
    std::string path = rt::ScratchDir("modes") + "NEW.DAT";
    rt::RemoveFile(path);
    FILE *f = OpenFileShared(0, path.c_str(), "c+b");
    ASSERT_NE(f, nullptr);
    std::fputs("abc", f);
    std::rewind(f);
    char buf[8] = "";
    EXPECT_EQ(std::fread(buf, 1, 3, f), 3u);
    EXPECT_EQ(std::string(buf, 3), "abc");
    std::fclose(f);
    EXPECT_EQ(OpenFileShared(0, path.c_str(), "c"), nullptr);
    f = OpenFileShared(0, path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("z", f);
    std::fclose(f);
    EXPECT_EQ(rt::ReadText(path), "z");
    f = OpenFileShared(0, path.c_str(), "a+b");
    ASSERT_NE(f, nullptr);
    std::fputs("y", f);
    std::fclose(f);
    EXPECT_EQ(rt::ReadText(path), "zy");
    EXPECT_EQ(OpenFileShared(0, path.c_str(), "xb"), nullptr);
    rt::RemoveFile(path);
    EXPECT_EQ(OpenFileShared(0, path.c_str(), "rb"), nullptr);
    EXPECT_EQ(OpenFileShared(0, path.c_str(), "r+b"), nullptr);
}

TEST_F(Shell, AppendKeepsWhatIsThereAndOthersMayRead)
{
    std::string path = rt::ScratchDir("append") + "LOG.TXT";
    rt::RemoveFile(path);
    FILE *a = OpenFileShared(0, path.c_str(), "at");
    ASSERT_NE(a, nullptr);
    std::fputs("one\n", a);
    std::fflush(a);
    FILE *r = OpenFileShared(0, path.c_str(), "rt");   // reading while it is appended to
    ASSERT_NE(r, nullptr);
    std::fclose(r);
    std::fclose(a);
    a = OpenFileShared(0, path.c_str(), "at");
    ASSERT_NE(a, nullptr);
    std::fputs("two\n", a);
    std::fclose(a);
    EXPECT_EQ(rt::ReadText(path), "one\ntwo\n");
    rt::RemoveFile(path);
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
    EXPECT_TRUE(g_sysParams.service);
    EXPECT_STREQ(g_sysParams.serverParagraph, "[SERVER-2]");
    EXPECT_STREQ(g_sysParams.devicesParagraph, "[DEV-2]");
    ResetSystemParameters();
    EXPECT_FALSE(g_sysParams.service);
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
    EXPECT_TRUE(g_sysParams.service);
    ResetSystemParameters();
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
