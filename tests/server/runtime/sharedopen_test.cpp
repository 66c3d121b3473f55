// The server's shared open: its rules through the shared library's one mode
// parser, the retry against a file held in this process on a fake clock, and
// what each mode does to a file.
#include "server/runtime/sharedopen.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/sharedfile.h"
#include "server/runtime/rtclock.h"
#include "tests/support/rt_testutil.h"
#include "tests/support/tempdir.h"
#include "tests/support/testfiles.h"

namespace {

class SharedOpen : public ::testing::Test {
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
    std::string Path(const char *name) { return dir_.Path() + "\\" + name; }

    tvtest::TempDir dir_{"sharedopen"};
};

// Every mode letter the server documents, with and without "+", t and b.
TEST(ServerOpenRules, TableOfModes)
{
    struct M {
        const char *mode;
        TvAccess access;
        TvDisposition disposition;
        TvShare share;
        bool append;
        const char *stream;
    };
    const M rows[] = {
        {"r", TV_ACCESS_READ, TV_OPEN_EXISTING, TV_DENY_NONE, false, "rb"},
        {"rb", TV_ACCESS_READ, TV_OPEN_EXISTING, TV_DENY_NONE, false, "rb"},
        {"rt", TV_ACCESS_READ, TV_OPEN_EXISTING, TV_DENY_NONE, false, "rt"},
        {"r+", TV_ACCESS_READWRITE, TV_OPEN_EXISTING, TV_DENY_ALL, false, "r+b"},
        {"r+b", TV_ACCESS_READWRITE, TV_OPEN_EXISTING, TV_DENY_ALL, false, "r+b"},
        {"rb+", TV_ACCESS_READWRITE, TV_OPEN_EXISTING, TV_DENY_ALL, false, "r+b"},
        {"r+t", TV_ACCESS_READWRITE, TV_OPEN_EXISTING, TV_DENY_ALL, false, "r+t"},
        {"w", TV_ACCESS_WRITE, TV_CREATE_ALWAYS, TV_DENY_ALL, false, "wb"},
        {"wt", TV_ACCESS_WRITE, TV_CREATE_ALWAYS, TV_DENY_ALL, false, "wt"},
        {"w+", TV_ACCESS_READWRITE, TV_CREATE_ALWAYS, TV_DENY_ALL, false, "w+b"},
        {"w+t", TV_ACCESS_READWRITE, TV_CREATE_ALWAYS, TV_DENY_ALL, false, "w+t"},
        {"a", TV_ACCESS_WRITE, TV_OPEN_ALWAYS, TV_DENY_WRITE, true, "ab"},
        {"at", TV_ACCESS_WRITE, TV_OPEN_ALWAYS, TV_DENY_WRITE, true, "at"},
        {"a+", TV_ACCESS_READWRITE, TV_OPEN_ALWAYS, TV_DENY_WRITE, true, "a+b"},
        {"a+t", TV_ACCESS_READWRITE, TV_OPEN_ALWAYS, TV_DENY_WRITE, true, "a+t"},
        {"c", TV_ACCESS_WRITE, TV_CREATE_NEW, TV_DENY_ALL, false, "wb"},
        {"cb", TV_ACCESS_WRITE, TV_CREATE_NEW, TV_DENY_ALL, false, "wb"},
        {"ct", TV_ACCESS_WRITE, TV_CREATE_NEW, TV_DENY_ALL, false, "wt"},
        {"c+", TV_ACCESS_READWRITE, TV_CREATE_NEW, TV_DENY_ALL, false, "w+b"},
        {"c+t", TV_ACCESS_READWRITE, TV_CREATE_NEW, TV_DENY_ALL, false, "w+t"},
        // t wins over b; the letter leads, whatever follows.
        {"rtb", TV_ACCESS_READ, TV_OPEN_EXISTING, TV_DENY_NONE, false, "rt"},
        {"rw", TV_ACCESS_READ, TV_OPEN_EXISTING, TV_DENY_NONE, false, "rb"},
        {"wr", TV_ACCESS_WRITE, TV_CREATE_ALWAYS, TV_DENY_ALL, false, "wb"},
    };
    for (const M &r : rows) {
        SCOPED_TRACE(r.mode);
        TvOpenPlan p;
        ASSERT_TRUE(TvParseOpenMode(&g_serverOpenRules, r.mode, &p));
        EXPECT_EQ(p.access, r.access);
        EXPECT_EQ(p.disposition, r.disposition);
        EXPECT_EQ(p.share, r.share);
        EXPECT_EQ(p.append, r.append);
        EXPECT_FALSE(p.deniedIsBusy) << "only a share conflict is waited on";
        EXPECT_STREQ(p.streamMode, r.stream);
    }
    TvOpenPlan p;
    for (const char *bad : {"x", "", "+r", "br", "tr", "xb", "b"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(TvParseOpenMode(&g_serverOpenRules, bad, &p));
    }
    EXPECT_FALSE(TvParseOpenMode(&g_serverOpenRules, nullptr, &p));
}

// The two families read the same letters and share modes; they differ only
// where the tables say so.
TEST(ServerOpenRules, SameSharingAsTheSharedLibrary)
{
    for (const char *mode : {"r", "r+", "w", "w+", "a", "a+", "c", "c+"}) {
        SCOPED_TRACE(mode);
        TvOpenPlan server, shared;
        ASSERT_TRUE(TvParseOpenMode(&g_serverOpenRules, mode, &server));
        ASSERT_TRUE(TvParseOpenMode(&g_sharedOpenRules, mode, &shared));
        EXPECT_EQ(server.access, shared.access);
        EXPECT_EQ(server.disposition, shared.disposition);
        EXPECT_EQ(server.share, shared.share);
        EXPECT_EQ(server.append, shared.append);
        // The server defaults to binary; the library to the runtime's default.
        EXPECT_EQ(std::string(server.streamMode), std::string(shared.streamMode) + "b");
    }
}

TEST_F(SharedOpen, RetriesWhileTheFileIsHeld)
{
    std::string path = Path("HELD.TXT");
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
    EXPECT_EQ(OpenFileSharedError(), 0);
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
    // A default with bit 15 set is not stored.
    OpenFileShared(OPEN_RETRY_DEFAULT, nullptr, nullptr);
    rt::FakeClock::slept = 0;
    EXPECT_EQ(OpenFileShared(OPEN_RETRY_DEFAULT, path.c_str(), "r"), nullptr);
    EXPECT_GE(rt::FakeClock::slept, 1000u);
    EXPECT_LE(rt::FakeClock::slept, 1100u);
    std::fclose(held);

    // A missing file is no reason to wait.
    rt::FakeClock::slept = 0;
    EXPECT_EQ(OpenFileShared(5, Path("NONE.TXT").c_str(), "r"), nullptr);
    EXPECT_EQ(rt::FakeClock::slept, 0u);
    EXPECT_NE(OpenFileSharedError(), 0);
}

// A directory cannot be opened as a file: access denied, which the server
// does not wait on (the shared library's own rules do).
TEST_F(SharedOpen, AccessDeniedIsNoReasonToWait)
{
    std::string sub = dir_.MakeDir("SUB");
    EXPECT_EQ(OpenFileShared(5, sub.c_str(), "rb"), nullptr);
    EXPECT_EQ(rt::FakeClock::sleeps, 0);
    EXPECT_NE(OpenFileSharedError(), 0);

    int waits = 0;
    auto countWait = [](void *c) {
        ++*static_cast<int *>(c);
        return false;
    };
    TvOpenPlan plan;
    ASSERT_TRUE(TvParseOpenMode(&g_serverOpenRules, "rb", &plan));
    EXPECT_EQ(TvOpenPlanned(sub.c_str(), &plan, countWait, &waits, nullptr), nullptr);
    EXPECT_EQ(waits, 0);
    ASSERT_TRUE(TvParseOpenMode(&g_sharedOpenRules, "rb", &plan));
    EXPECT_EQ(TvOpenPlanned(sub.c_str(), &plan, countWait, &waits, nullptr), nullptr);
    EXPECT_EQ(waits, 1);
}

TEST_F(SharedOpen, ModesCreateTruncateAndAppend)
{
    std::string path = Path("NEW.DAT");
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
    // An appending stream stands at the end from the start.
    f = OpenFileShared(0, path.c_str(), "a+b");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::ftell(f), 1L);
    std::fputs("y", f);
    std::fclose(f);
    EXPECT_EQ(rt::ReadText(path), "zy");
    EXPECT_EQ(OpenFileShared(0, path.c_str(), "xb"), nullptr);
    rt::RemoveFile(path);
    EXPECT_EQ(OpenFileShared(0, path.c_str(), "rb"), nullptr);
    EXPECT_EQ(OpenFileShared(0, path.c_str(), "r+b"), nullptr);
}

// No t or b: binary both ways, line ends stay as they are.
TEST_F(SharedOpen, BinaryUnlessTextIsAsked)
{
    std::string path = Path("BIN.DAT");
    FILE *f = OpenFileShared(0, path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("a\nb", f);
    std::fclose(f);
    EXPECT_EQ(ReadWholeFile(rt::HostPath(path)), "a\nb");
    ASSERT_TRUE(WriteWholeFile(rt::HostPath(path), "a\r\nb"));
    f = OpenFileShared(0, path.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char buf[8] = "";
    EXPECT_EQ(std::fread(buf, 1, sizeof buf, f), 4u);
    std::fclose(f);
    EXPECT_EQ(std::string(buf, 4), "a\r\nb");
}

TEST_F(SharedOpen, AppendKeepsWhatIsThereAndOthersMayRead)
{
    std::string path = Path("LOG.TXT");
    FILE *a = OpenFileShared(0, path.c_str(), "at");
    ASSERT_NE(a, nullptr);
    std::fputs("one\n", a);
    std::fflush(a);
    FILE *r = OpenFileShared(0, path.c_str(), "rt");   // reading while it is appended to
    ASSERT_NE(r, nullptr);
    std::fclose(r);
    // Nobody may have it alone meanwhile.
    EXPECT_EQ(OpenFileShared(0, path.c_str(), "r+b"), nullptr);
    std::fclose(a);
    a = OpenFileShared(0, path.c_str(), "at");
    ASSERT_NE(a, nullptr);
    std::fputs("two\n", a);
    std::fclose(a);
    EXPECT_EQ(rt::ReadText(path), "one\ntwo\n");
}

} // namespace
