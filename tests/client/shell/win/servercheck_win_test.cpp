// The server probe and the user's lock against another Windows process of
// the same prefix: the file peer holds the request area's TAVRINE.LOK with
// write access, as the server does, and then the user's lock sharing
// nothing, as a first client of the same user does.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "client/shell/errorlog.h"
#include "client/shell/servercheck.h"
#include "client/shell/shellhooks.h"
#include "common/platform.h"
#include "tests/support/process.h"
#include "tests/support/waitfor.h"
#include "tests/support/tempdir.h"
#include "tests/support/testfiles.h"

namespace {

TEST(ServerCheckWin, AgainstAnotherProcess)
{
    tvtest::TempDir dir("srvwin");
    const std::string request = dir.MakeDir("REQUEST") + "\\", userDb = dir.MakeDir("USR") + "\\";
    dir.MakeDir("LOG");
    const std::string lock = request + "TAVRINE.LOK", marker = request + "SERVER.OK", userLock = userDb + "TAVRINE.LOK";
    ASSERT_TRUE(WriteWholeFile(lock, ""));
    ASSERT_TRUE(WriteWholeFile(marker, ""));
    ASSERT_TRUE(WriteWholeFile(userLock, ""));
    // One peer per held file: a peer holds one file at a time.
    const std::string serverScript = dir.File("SERVER.TXT"), clientScript = dir.File("CLIENT.TXT");
    ASSERT_TRUE(WriteWholeFile(serverScript, "hold \"" + lock + "\" rw r 30000\r\n"));
    ASSERT_TRUE(WriteWholeFile(clientScript, "hold \"" + userLock + "\" r none 30000\r\n"));
    tvtest::Process peer(tvtest::Command(FILEPLAY_EXE, {serverScript}));
    tvtest::Process client(tvtest::Command(FILEPLAY_EXE, {clientScript}));
    ASSERT_TRUE(peer.Started()) << peer.Result();
    ASSERT_TRUE(client.Started()) << client.Result();
    ASSERT_TRUE(tvtest::WaitFor(20000, [&] { return peer.Output().find("1 hold 0") != std::string::npos; })) << peer.Result();

    TvShellHooks hooks = *TvDefaultShellHooks();
    TvErrorLog log{};
    ErrorLogInit(&log, (dir.File("LOG") + "\\").c_str(), &hooks);
    TvServerState s{};
    ServerStateInit(&s, request.c_str(), true, &log);
    EXPECT_EQ(1, CheckServer(&s)) << "the held lock means a server runs";
    EXPECT_TRUE(s.serverRunning);
    EXPECT_TRUE(s.serverAccessible);
    EXPECT_TRUE(TvPlatFileExists(marker.c_str())) << "a running server's marker stays";

    // The other peer holds the user's lock: a second client is refused.
    ASSERT_TRUE(tvtest::WaitFor(20000, [&] { return client.Output().find("1 hold 0") != std::string::npos; }))
        << client.Result();
    TvWorkstationLock second{};
    EXPECT_EQ(0, CheckWorkstationStart(&second, userDb.c_str(), &log));
    EXPECT_NE(std::string::npos, ReadWholeFile(dir.File("LOG\\TAVRINE.LOG")).find("User already logged on"));

    // Once the server has gone, the same probe finds the lock free and the
    // stale marker removed.
    peer.Kill();
    peer.Wait(10000);
    client.Kill();
    client.Wait(10000);
    EXPECT_EQ(0, CheckServer(&s));
    EXPECT_FALSE(s.serverRunning);
    EXPECT_FALSE(TvPlatFileExists(marker.c_str()));
    EXPECT_EQ(1, CheckWorkstationStart(&second, userDb.c_str(), &log));
    EXPECT_EQ(1, CheckWorkstationEnd(&second));
}

} // namespace
