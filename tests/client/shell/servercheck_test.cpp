// The server probe, the marker test and the user's lock, on files this
// process makes (the lock held by another process is tested under Wine).
#include "client/shell/servercheck.h"

#include <gtest/gtest.h>

#include <string>

#include "client/shell/errorlog.h"
#include "client/shell/shellhooks.h"
#include "common/platform.h"
#include "tests/client/shell/workdir.h"
#include "tests/support/tempdir.h"
#include "tests/support/testfiles.h"

namespace {

class ServerCheck : public ::testing::Test {
protected:
    tvtest::TempDir dir{"srvchk"};
    ScopedWorkDir work{dir};
    TvShellHooks hooks = *TvDefaultShellHooks();
    TvErrorLog log{};
    TvServerState s{};

    void SetUp() override
    {
        dir.MakeDir("REQUEST");
        dir.MakeDir("LOG");
        dir.MakeDir("USR/T-DB");
        ErrorLogInit(&log, "LOG/", &hooks);
        ServerStateInit(&s, "REQUEST/", true, &log);
    }
    std::string Log() { return ReadWholeFile("LOG/TAVRINE.LOG"); }
};

TEST_F(ServerCheck, LockAndMarker)
{
    // No lock: not running, nothing logged, the area still reachable.
    EXPECT_EQ(0, CheckServer(&s));
    EXPECT_FALSE(s.serverRunning);
    EXPECT_TRUE(s.serverAccessible);
    EXPECT_EQ(std::string::npos, Log().find("CheckServer"));

    // A lock nobody holds: its marker is stale and goes.
    ASSERT_TRUE(WriteWholeFile("REQUEST/TAVRINE.LOK", ""));
    ASSERT_TRUE(WriteWholeFile("REQUEST/SERVER.OK", ""));
    EXPECT_EQ(1, QuickServerCheck(&s)) << "the marker alone is trusted";
    EXPECT_TRUE(s.serverRunning);
    EXPECT_EQ(0, CheckServer(&s));
    EXPECT_FALSE(s.serverRunning);
    EXPECT_FALSE(TvPlatFileExists("REQUEST/SERVER.OK"));
    EXPECT_EQ(0, QuickServerCheck(&s));
    EXPECT_EQ(0, IsServerAvailable(&s));

    // The check switched off: running whatever the files say.
    s.checkServer = false;
    EXPECT_EQ(1, CheckServer(&s));
    EXPECT_TRUE(s.serverRunning);
}

TEST_F(ServerCheck, UnreachableAreaClearsAccess)
{
    ServerStateInit(&s, "GONE/", true, &log);
    EXPECT_EQ(0, QuickServerCheck(&s));
    EXPECT_TRUE(s.serverAccessible) << "the quick check changes no flag";
    EXPECT_EQ(0, CheckServer(&s));
    EXPECT_FALSE(s.serverAccessible);
    EXPECT_NE(std::string::npos, Log().find("F80A CheckServer"));
    EXPECT_NE(std::string::npos, Log().find("No access to directory GONE/"));
}

TEST_F(ServerCheck, OneClientPerUser)
{
    TvWorkstationLock first{}, second{};
    ASSERT_EQ(1, CheckWorkstationStart(&first, "USR/T-DB/", &log));
    EXPECT_TRUE(TvPlatFileExists("USR/T-DB/TAVRINE.LOK")) << "made when missing";
    EXPECT_EQ(0, CheckWorkstationStart(&second, "USR/T-DB/", &log));
    EXPECT_NE(std::string::npos, Log().find("User already logged on - cannot open"));
    EXPECT_EQ(1, CheckWorkstationEnd(&first));
    EXPECT_EQ(1, CheckWorkstationEnd(&first)) << "released twice is harmless";
    EXPECT_EQ(1, CheckWorkstationStart(&second, "USR/T-DB/", &log)) << "free again once released";
    EXPECT_EQ(1, CheckWorkstationEnd(&second));

    TvWorkstationLock nowhere{};
    EXPECT_EQ(0, CheckWorkstationStart(&nowhere, "NOUSER/T-DB/", &log));
    EXPECT_NE(std::string::npos, Log().find("Problem with workstation - cannot access"));
}

} // namespace
