// Server runtime under Windows with a second process: the busy retry of a
// send while another process holds the mailslot's write handle, the shared
// open and the server log against a file another process holds. (The event
// log report is checked by eventlog_check.sh: Wine prints it on the error
// stream of the reporting process.)
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "server/runtime/mailslot.h"
#include "server/runtime/sharedopen.h"
#include "server/runtime/srvlog.h"
#include "server/runtime/sysparams.h"
#include "tests/support/rt_testutil.h"
#include "tests/support/tempdir.h"

namespace {

std::string HelperPath()
{
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string p = self;
    return p.substr(0, p.find_last_of('\\') + 1) + "rt_helper.exe";
}

// Starts the helper; with an event name, waits until it holds what it holds.
struct Helper {
    PROCESS_INFORMATION pi = {};
    bool Start(const std::string &args, const char *event, HANDLE stderrFile = nullptr)
    {
        HANDLE ready = event ? CreateEventA(nullptr, TRUE, FALSE, event) : nullptr;
        std::string cmd = "\"" + HelperPath() + "\" " + args;
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        if (stderrFile) {
            si.dwFlags = STARTF_USESTDHANDLES;
            si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
            si.hStdOutput = stderrFile;
            si.hStdError = stderrFile;
        }
        std::vector<char> line(cmd.begin(), cmd.end());
        line.push_back('\0');
        bool ok = CreateProcessA(nullptr, line.data(), nullptr, nullptr, stderrFile != nullptr, 0, nullptr, nullptr,
                                 &si, &pi) != FALSE;
        if (ok && ready)
            ok = WaitForSingleObject(ready, 20000) == WAIT_OBJECT_0;
        if (ready)
            CloseHandle(ready);
        return ok;
    }
    void Stop()
    {
        if (pi.hProcess)
            TerminateProcess(pi.hProcess, 0);
    }
    DWORD Wait()
    {
        DWORD code = 99;
        if (pi.hProcess) {
            WaitForSingleObject(pi.hProcess, 60000);
            GetExitCodeProcess(pi.hProcess, &code);
            CloseHandle(pi.hProcess);
            CloseHandle(pi.hThread);
            pi = {};
        }
        return code;
    }
    ~Helper() { Wait(); }
};

class RuntimeWin : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSystemParameters();
        log_ = std::tmpfile();
        LogInit(log_, "", 1, "WINTEST");
    }
    void TearDown() override
    {
        LogInit(rt::QuietStream(), "", 1, "TEST");
        std::fclose(log_);
    }
    FILE *log_ = nullptr;
};

TEST_F(RuntimeWin, SendWaitsWhileAnotherProcessHoldsTheWriteHandle)
{
    TvMailslot h = nullptr;
    ASSERT_EQ(MsgMakePipe("E1WIN\\BUSY", 0, &h), TV_OK);
    uint8_t p[16] = {0, 0, 2, 8};

    // Held for 1 s: delivered once the holder lets go.
    {
        Helper holder;
        ASSERT_TRUE(holder.Start("hold-mailslot E1WIN\\BUSY 1000 E1BUSY1", "E1BUSY1"));
        DWORD t0 = GetTickCount();
        EXPECT_EQ(MsgSendRequest("E1WIN\\BUSY", 0, p, 8, nullptr, 0, nullptr), TV_OK);
        DWORD took = GetTickCount() - t0;
        EXPECT_GE(took, 400u);
        EXPECT_LT(took, 3000u);
        EXPECT_EQ(holder.Wait(), 0u);
    }
    uint8_t buf[100];
    uint16_t len = 0;
    ASSERT_EQ(MsgReadRequest(h, buf, sizeof buf, &len), TV_OK);
    EXPECT_EQ(len, 8);

    // Held for longer: given up after 10 s with 0xF00C.
    {
        Helper holder;
        ASSERT_TRUE(holder.Start("hold-mailslot E1WIN\\BUSY 30000 E1BUSY2", "E1BUSY2"));
        DWORD t0 = GetTickCount();
        EXPECT_EQ(MsgSendRequest("E1WIN\\BUSY", 30, p, 8, nullptr, 0, nullptr), TV_E_IO);
        DWORD took = GetTickCount() - t0;
        EXPECT_GE(took, 9500u);
        EXPECT_LT(took, 12000u);
        holder.Stop();
    }
    EXPECT_EQ(MsgReadRequest(h, buf, sizeof buf, &len), TV_S_NO_MESSAGE);
    EXPECT_NE(rt::StreamText(log_).find("Error 0x20 opening mailslot \\\\.\\MAILSLOT\\TAVRINE\\SERVER\\E1WIN\\BUSY"),
              std::string::npos);
    MsgClosePipe(h);
}

TEST_F(RuntimeWin, MissingQueueWithTimeOutZeroFailsAtOnce)
{
    uint8_t p[6] = {0};
    DWORD t0 = GetTickCount();
    EXPECT_EQ(MsgSendRequest("E1WIN\\NOBODY", 0, p, 6, nullptr, 0, nullptr), TV_E_TIMEOUT);
    EXPECT_LT(GetTickCount() - t0, 400u);
}

TEST_F(RuntimeWin, SharedOpenAndLogWaitForAnotherProcess)
{
    tvtest::TempDir tmp("winshare");
    std::string path = tmp.File("SERVER.LOG");
    // Held 1 s against a 2 s budget: opened.
    {
        Helper holder;
        ASSERT_TRUE(holder.Start("hold-file \"" + path + "\" 1000 E1FILE1", "E1FILE1"));
        DWORD t0 = GetTickCount();
        FILE *f = OpenFileShared(2, path.c_str(), "rb");
        DWORD took = GetTickCount() - t0;
        ASSERT_NE(f, nullptr);
        std::fclose(f);
        EXPECT_GE(took, 400u);
        EXPECT_LT(took, 2000u);
    }
    // Held 3 s against 2 s: none after about 2 s.
    {
        Helper holder;
        ASSERT_TRUE(holder.Start("hold-file \"" + path + "\" 3000 E1FILE2", "E1FILE2"));
        DWORD t0 = GetTickCount();
        EXPECT_EQ(OpenFileShared(2, path.c_str(), "rb"), nullptr);
        DWORD took = GetTickCount() - t0;
        EXPECT_GE(took, 1900u);
        EXPECT_LT(took, 3000u);
        EXPECT_EQ(OpenFileSharedError(), ERROR_SHARING_VIOLATION);
    }
    // The server log appends once the other process lets go.
    {
        Helper holder;
        ASSERT_TRUE(holder.Start("hold-file \"" + path + "\" 1000 E1FILE3", "E1FILE3"));
        LogInit(log_, path.c_str(), 1, "WINTEST");
        LogMessage(3, "appended after the wait");
        EXPECT_EQ(LogLostLines(), 0);
    }
    std::string text = rt::ReadText(path);
    EXPECT_NE(text.find("  WINTEST    - (I) - appended after the wait\n"), std::string::npos) << text;
    DeleteFileA(path.c_str());
}

TEST_F(RuntimeWin, SystemParametersAreFoundThroughTfaxinit)
{
    tvtest::TempDir tmp("tfaxinit");
    std::string dir = tmp.Path() + "\\";
    rt::MakeDir(dir + "sys");
    rt::MakeDir(dir + "sys\\T-DB");
    rt::WriteText(dir + "TAVRINE.INI", "[SERVER]\r\nServerArea: " + dir + "srv\r\nSystemArea: " + dir +
                                           "sys\r\nAllUserArea: " + dir + "u\r\nRequestArea: " + dir + "r\r\n");
    rt::WriteText(dir + "sys\\T-DB\\SETUP.INI", "[OPTIONS]\r\nLogKeepDays: 3\r\nUseArchiveAttribute: N\r\n");
    std::string env = "TFAXINIT=" + dir;
    _putenv(env.c_str());
    ASSERT_EQ(ReadSystemParameters(nullptr), TV_OK) << rt::StreamText(log_);
    // The directory comes back upper-cased; Windows names ignore case.
    EXPECT_EQ(_stricmp(g_sysParams.serverArea, (dir + "srv\\").c_str()), 0) << g_sysParams.serverArea;
    EXPECT_EQ(g_sysParams.logKeepDays, 3);
    EXPECT_EQ(_stricmp(g_sysParams.logFile, (dir + "srv\\T-DB\\SERVER.LOG").c_str()), 0) << g_sysParams.logFile;

    _putenv("TFAXINIT=C:\\NO\\SUCH\\DIR");
    _putenv("INIT=");
    ResetSystemParameters();
    // Not found at all unless the Windows or current directory holds one.
    TvStatus st = ReadSystemParameters(nullptr);
    if (st != TV_OK) {
        EXPECT_EQ(st, TV_E_NOINI);
        EXPECT_NE(rt::StreamText(log_).find("(S) - ERROR - File TAVRINE.INI not found"), std::string::npos);
    }
    _putenv("TFAXINIT=");
}

} // namespace
