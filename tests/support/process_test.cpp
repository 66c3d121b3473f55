// The process helper, on tvtestchild (testchild.cpp), in both trees.
#include "tests/support/process.h"
#include "tests/support/tempdir.h"
#include "tests/support/testfiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#endif

namespace {

using tvtest::Command;
using tvtest::Process;
using tvtest::RunResult;

Command Child(std::vector<std::string> steps) { return Command(TVTESTCHILD_EXE, std::move(steps)); }

bool Has(const std::string &text, const std::string &what) { return text.find(what) != std::string::npos; }

// Whether the process of that number has ended, waiting up to ms for it.
bool Gone(long pid, int ms)
{
#ifdef _WIN32
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (!h)
        return true;
    bool ended = WaitForSingleObject(h, static_cast<DWORD>(ms)) == WAIT_OBJECT_0;
    CloseHandle(h);
    return ended;
#else
    for (int waited = 0;; waited += 20) {
        // Ended: no longer there, or a zombie its new parent has not reaped.
        std::string stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
        size_t close = stat.rfind(')');
        if (stat.empty() || (close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z'))
            return true;
        if (waited >= ms)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
#endif
}

// The number a program started by the child wrote, once it is there.
long GrandchildPid(const std::string &file)
{
    for (int i = 0; i < 300; ++i) {
        std::string text = ReadWholeFile(file);
        if (!text.empty())
            return std::atol(text.c_str());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
}

TEST(Process, GivesTheExitCodeAndWhatTheProgramWrote)
{
    RunResult r = tvtest::Run(Child({"args", "err", "to stderr", "exit", "7"}), 30000);
    ASSERT_TRUE(r.Exited()) << r;
    EXPECT_EQ(7, r.code);
    EXPECT_TRUE(Has(r.output, "[args]")) << r;
    EXPECT_TRUE(Has(r.output, "to stderr")) << r;
    EXPECT_EQ("exit code 7", r.Describe());

    r = tvtest::Run(Child({}), 30000);
    EXPECT_EQ(0, r.code) << r;
}

TEST(Process, PassesArgumentsAsTheyAre)
{
    const std::vector<std::string> odd = {"two words", "", "back\\slash\\", "a \"quoted\" one", "trail\\\\", "FAX\\1"};
    std::vector<std::string> steps = {"args"};
    steps.insert(steps.end(), odd.begin(), odd.end());
    RunResult r = tvtest::Run(Child(steps), 30000);
    ASSERT_EQ(0, r.code) << r;
    std::string want = "[args]\n";
    for (const std::string &a : odd)
        want += "[" + a + "]\n";
    std::string got = r.output;
    for (size_t at = got.find('\r'); at != std::string::npos; at = got.find('\r'))
        got.erase(at, 1);
    EXPECT_TRUE(Has(got, want)) << got;
}

TEST(Process, SetsAndRemovesEnvironmentVariablesAndTheWorkingDirectory)
{
#ifdef _WIN32
    SetEnvironmentVariableA("TV_PROCESS_TEST_GONE", "here");
#else
    setenv("TV_PROCESS_TEST_GONE", "here", 1);
#endif
    tvtest::TempDir dir("procwd");
    Command c = Child({"env", "TV_PROCESS_TEST_SET", "env", "TV_PROCESS_TEST_GONE", "env", "TV_PROCESS_TEST_KEPT",
                       "cwd"});
    c.Env("TV_PROCESS_TEST_SET", "a value").Env("TV_PROCESS_TEST_GONE", "").In(dir.Path());
#ifdef _WIN32
    SetEnvironmentVariableA("TV_PROCESS_TEST_KEPT", "kept");
#else
    setenv("TV_PROCESS_TEST_KEPT", "kept", 1);
#endif
    RunResult r = tvtest::Run(c, 30000);
    ASSERT_EQ(0, r.code) << r;
    EXPECT_TRUE(Has(r.output, "TV_PROCESS_TEST_SET=a value")) << r;
    EXPECT_TRUE(Has(r.output, "TV_PROCESS_TEST_GONE unset")) << r;
    EXPECT_TRUE(Has(r.output, "TV_PROCESS_TEST_KEPT=kept")) << r;
    std::string name = dir.Path().substr(dir.Path().find_last_of("/\\") + 1);
    EXPECT_TRUE(Has(r.output, name)) << r;
}

TEST(Process, ADeadlineKillsTheProgramAndWhatItStarted)
{
    tvtest::TempDir dir("prockill");
    std::string pidFile = dir.File("grandchild.pid");
    Process p(Child({"args", "spawn", pidFile, "sleep", "60000"}));
    ASSERT_TRUE(p.Started()) << p.Result();
    long grandchild = GrandchildPid(pidFile);
    ASSERT_NE(0, grandchild);
    EXPECT_TRUE(p.Running());
    EXPECT_EQ(RunResult::kRunning, p.Result().state);
    auto start = std::chrono::steady_clock::now();
    RunResult r = p.Wait(300);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    EXPECT_EQ(RunResult::kTimedOut, r.state) << r;
    EXPECT_EQ(-1, r.code);
    EXPECT_EQ("timed out after 300 ms, killed", r.Describe());
    EXPECT_TRUE(Has(r.output, "[args]")) << r;
    EXPECT_FALSE(p.Running());
    EXPECT_TRUE(Gone(grandchild, 10000));
    // Asked again: the same.
    EXPECT_EQ(RunResult::kTimedOut, p.Wait(0).state);
}

TEST(Process, WhatIsStillRunningEndsWithTheProcess)
{
    tvtest::TempDir dir("procend");
    std::string pidFile = dir.File("grandchild.pid");
    long grandchild = 0;
    {
        Process p(Child({"spawn", pidFile, "sleep", "60000"}));
        ASSERT_TRUE(p.Started());
        grandchild = GrandchildPid(pidFile);
        ASSERT_NE(0, grandchild);
    }
    EXPECT_TRUE(Gone(grandchild, 10000));

    // What a program that ended started runs on until the Process goes.
    std::string pidFile2 = dir.File("grandchild2.pid");
    {
        Process p(Child({"spawn", pidFile2}));
        EXPECT_EQ(0, p.Wait(30000).code);
        grandchild = GrandchildPid(pidFile2);
        ASSERT_NE(0, grandchild);
        EXPECT_FALSE(Gone(grandchild, 0));
    }
    EXPECT_TRUE(Gone(grandchild, 10000));
}

TEST(Process, KillAndStartAgain)
{
    Process p(Child({"sleep", "60000"}));
    ASSERT_TRUE(p.Running());
    p.Kill();
    RunResult r = p.Result();
    EXPECT_EQ(RunResult::kKilled, r.state);
    EXPECT_EQ("killed by the test", r.Describe());
    ASSERT_TRUE(p.Start(Child({"exit", "3"})));
    EXPECT_EQ(3, p.Wait(30000).code);

    // Moved, it goes on in its new place.
    Process q(Child({"sleep", "60000"}));
    Process moved(std::move(q));
    EXPECT_TRUE(moved.Running());
    EXPECT_FALSE(q.Started());
    moved.Kill();
    EXPECT_FALSE(moved.Running());
}

TEST(Process, AProgramThatIsNotThereIsNotStarted)
{
    tvtest::TempDir dir("procmissing");
    Process p;
    EXPECT_FALSE(p.Start(Command(dir.File("no-such-program.exe"))));
    EXPECT_FALSE(p.Started());
    RunResult r = p.Result();
    EXPECT_EQ(RunResult::kNotStarted, r.state);
    EXPECT_TRUE(Has(r.Describe(), "not started: ")) << r;
    EXPECT_EQ(RunResult::kNotStarted, tvtest::Run(Command(dir.File("none")), 1000).state);
    EXPECT_FALSE(p.Running());
    EXPECT_EQ(RunResult::kNotStarted, p.Wait(10).state);
}

TEST(Process, BuildPathsAsProgramsSeeThem)
{
#ifdef _WIN32
    EXPECT_EQ("Z:\\work\\b\\x.exe", tvtest::BuildPath("/work/b/x.exe"));
    EXPECT_EQ("C:\\a\\b", tvtest::BuildPath("C:/a/b"));
    EXPECT_EQ("C:\\a\\b", tvtest::BuildPath("C:\\a\\b"));
#else
    EXPECT_EQ("/work/b/x", tvtest::BuildPath("/work/b/x"));
#endif
}

} // namespace
