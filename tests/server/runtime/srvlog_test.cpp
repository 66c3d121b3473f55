// Server log: line layout, ID padding, file threshold, lost lines, the event
// log in service mode, and the daily message log fed by it.
#include "server/runtime/srvlog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "server/runtime/consoleio.h"
#include "server/runtime/msglog.h"
#include "server/runtime/sharedopen.h"
#include "server/runtime/sysparams.h"
#include "tests/support/rt_testutil.h"
#include "tests/support/tempdir.h"

namespace {

struct Event {
    uint16_t id;
    std::string type, text;
};
std::vector<Event> g_events;
int g_beeps = 0;
void CountBeep() { ++g_beeps; }

int CaptureEvent(uint16_t id, const char *type, const char *text)
{
    g_events.push_back({id, type, text});
    return 1;
}

class ServerLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSystemParameters();
        dir_ = tmp_.Path() + "\\";
        rt::MakeDir(dir_ + "T-DB");
        logFile_ = dir_ + "SERVER.LOG";
        ClearLogStateSection();
        StartMessageLog();
        stream_ = std::tmpfile();
        g_events.clear();
        SetEventSink(CaptureEvent);
        g_beeps = 0;
        SetBeepHook(CountBeep);
        rt::FakeClock::Install();
    }
    void TearDown() override
    {
        rt::FakeClock::Remove();
        SetEventSink(nullptr);
        SetMessageLogFeed(nullptr);
        SetBeepHook(rt::QuietBeep);
        ClearLogJobContext();
        LogInit(rt::QuietStream(), "", 1, "TEST");
        ResetSystemParameters();
        std::fclose(stream_);
    }
    std::string Stream() { return rt::StreamText(stream_); }
    std::string File() { return rt::ReadText(logFile_); }
    std::string MsgLog(const char *day = "261210") { return rt::ReadText(dir_ + "T-DB\\T-" + day + ".LOG"); }

    tvtest::TempDir tmp_{"srvlog"};
    std::string dir_, logFile_;
    FILE *stream_ = nullptr;
};

TEST_F(ServerLog, LineLayoutLevelsAndFileThreshold)
{
    LogInit(stream_, logFile_.c_str(), 1, "FCLASS-1");
    EXPECT_STREQ(LogId(), "FCLASS-1  ");
    const char *letters = "?.-IWES?";
    for (int level = 0; level <= 7; ++level)
        EXPECT_EQ(LogLevelLetter(level), letters[level]) << level;
    LogMessage(1, "trace %d", 1);
    LogMessage(2, "debug");
    LogMessage(3, "Device status now %s", "IDLE");
    LogMessage(4, "warn\n");
    EXPECT_EQ(Stream(), "26-12-10 13:05:09  FCLASS-1   - (.) - trace 1\n"
                        "26-12-10 13:05:09  FCLASS-1   - (-) - debug\n"
                        "26-12-10 13:05:09  FCLASS-1   - (I) - Device status now IDLE\n"
                        "26-12-10 13:05:09  FCLASS-1   - (W) - warn\n\n");
    // Levels 1 and 2 never reach the file; a line keeps one line end.
    EXPECT_EQ(File(), "26-12-10 13:05:09  FCLASS-1   - (I) - Device status now IDLE\n"
                      "26-12-10 13:05:09  FCLASS-1   - (W) - warn\n");

    // Below the threshold nothing is written anywhere.
    LogInit(stream_, logFile_.c_str(), 4, "X");
    LogMessage(3, "dropped");
    EXPECT_EQ(File().find("dropped"), std::string::npos);
    EXPECT_EQ(Stream().find("dropped"), std::string::npos);
}

TEST_F(ServerLog, IdIsPaddedOrCutWithAWarning)
{
    ::testing::internal::CaptureStdout();
    LogInit(stream_, "", 1, "ZOROVIZ-123");
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "LogInit() - warning: szID too long\n");
    EXPECT_STREQ(LogId(), "ZOROVIZ-12");
    LogInit(stream_, "", 1, "ABC");
    EXPECT_STREQ(LogId(), "ABC       ");

    ::testing::internal::CaptureStdout();
    LogInit(nullptr, "", 1, "ABC");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "LogInit() - szFileName and fp both NULL\n");
}

TEST(ServerLogDeath, OverlongFileNameEndsTheProcess)
{
    std::string name(269, 'L');
    EXPECT_EXIT(LogInit(nullptr, name.c_str(), 1, "X"), ::testing::ExitedWithCode(1),
                "");
    std::string ok(268, 'L');
    LogInit(rt::QuietStream(), ok.c_str(), 1, "X");
    EXPECT_EQ(std::string(LogFileName()), ok);
    LogInit(rt::QuietStream(), "", 1, "TEST");
}

TEST_F(ServerLog, ConsoleDropsTheDate)
{
    LogInit(stdout, "", 1, "SYSMAN");
    ::testing::internal::CaptureStdout();
    LogMessage(3, "started");
    EchoLogLine("too short");
    EchoLogLine("26-12-10 13:05:09  X - (I) - ends\n");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "13:05:09  SYSMAN     - (I) - started\n"
                                                        "(Logged line too short - ignored)\n"
                                                        "13:05:09  X - (I) - ends\n");
}

TEST_F(ServerLog, LostLinesAreCountedAndReportedWithTheNextLine)
{
    LogInit(stream_, logFile_.c_str(), 1, "FCLASS-1");
    LogMessage(3, "first");
    // Another program holds the file without sharing.
    FILE *held = OpenFileShared(0, logFile_.c_str(), "r+b");
    ASSERT_NE(held, nullptr);
    ::testing::internal::CaptureStdout();
    LogMessage(3, "lost one");
    uint32_t firstWait = rt::FakeClock::slept;
    LogMessage(4, "lost two");
    LogMessage(5, "lost three");
    std::string console = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(LogLostLines(), 3);
    // The first loss waits the full 15 s; while lines are lost only one try.
    EXPECT_GE(firstWait, 15000u);
    EXPECT_EQ(rt::FakeClock::slept, firstWait);
    EXPECT_NE(console.find("13:05:09  FCLASS-1   - ERROR opening file '" + logFile_ + "' ("), std::string::npos);
    std::fclose(held);

    LogMessage(3, "back");
    EXPECT_EQ(LogLostLines(), 0);
    EXPECT_EQ(File(), "26-12-10 13:05:09  FCLASS-1   - (I) - first\n"
                      "26-12-10 13:05:09  FCLASS-1   - (E) - (3 system messages lost)\n"
                      "26-12-10 13:05:09  FCLASS-1   - (I) - back\n");

    held = OpenFileShared(0, logFile_.c_str(), "r+b");
    ASSERT_NE(held, nullptr);
    ::testing::internal::CaptureStdout();
    LogMessage(3, "lost");
    ::testing::internal::GetCapturedStdout();
    std::fclose(held);
    LogMessage(3, "again");
    EXPECT_NE(File().find("(E) - (1 system message lost)\n26-12-10 13:05:09  FCLASS-1   - (I) - again\n"),
              std::string::npos);
}

TEST_F(ServerLog, OnlyFatalLinesReachTheEventLogAndOnlyAsAService)
{
    LogInit(stream_, "", 1, "FCLASS-1");
    LogMessage(4, "Warning");
    EXPECT_EQ(g_beeps, 0);
    LogMessage(5, "Error");
    EXPECT_EQ(g_beeps, 1);
    LogMessage(6, "Fatal \"port\" error");
    EXPECT_EQ(g_beeps, 2);
    EXPECT_TRUE(g_events.empty()) << "not a service";

    SetLogServiceMode(true);
    LogMessage(5, "Error only");
    LogMessage(6, "Fatal \"port\" error\n");
    ASSERT_EQ(g_events.size(), 1u);
    EXPECT_EQ(g_beeps, 2) << "no beep in service mode";
    EXPECT_EQ(g_events[0].id, 0xD803);
    EXPECT_EQ(g_events[0].type, "LIB_E_ERROR");
    EXPECT_EQ(g_events[0].text, "Fatal 'port' error");
    // The stream keeps the double quotes.
    EXPECT_NE(Stream().find("(S) - Fatal \"port\" error"), std::string::npos);
    EXPECT_EQ(ReportServerEvent(0x9802, "LIB_W_WARNING", "%s=%d", "n", 4), 1);
    EXPECT_EQ(g_events.back().text, "n=4");
    EXPECT_EQ(g_events.back().id, 0x9802);
}

TEST_F(ServerLog, MessageLogGetsJobLinesQuotedOnce)
{
    std::snprintf(g_sysParams.serverArea, sizeof g_sysParams.serverArea, "%s", dir_.c_str());
    g_sysParams.logKeepDays = 5;
    LogInit(stream_, logFile_.c_str(), 1, "FCLASS-1");
    SetLogJobContext("", "M0000042", 0x2A, 7, 3);
    LogMessage(3, "first line of the process: not copied");
    LogMessage(3, "before the state change");
    ClearLogStateSection();
    LogMessage(3, "Device status now %s", "SENDING");   // first line after: not copied
    LogMessage(3, "Sending page %d of \"%s\"", 1, "x.g3f");
    LogMessage(2, "trace is below 3");
    LogMessage(5, "Line dropped");
    SetLogJobContext("FAX-OVR", "LONGNAME123", 0xFFFFFFFFu, -1, 0xABCD);
    LogMessage(4, "override");
    ClearLogJobContext();
    LogMessage(3, "no job");
    EXPECT_EQ(MsgLog(),
              "5801: 26-12-10 13:05:09,FCLASS-1  ,M0000042,0000002A,7  ,0003,LIB_I_INFO          ,"
              "\"before the state change\"\n"
              "5801: 26-12-10 13:05:09,FCLASS-1  ,M0000042,0000002A,7  ,0003,LIB_I_INFO          ,"
              "\"Sending page 1 of 'x.g3f'\"\n"
              "D803: 26-12-10 13:05:09,FCLASS-1  ,M0000042,0000002A,7  ,0003,LIB_E_ERROR         ,"
              "\"Line dropped\"\n"
              "9802: 26-12-10 13:05:09,FAX-OVR   ,LONGNAME,FFFFFFFF,-1 ,ABCD,LIB_W_WARNING       ,"
              "\"override\"\n"
              "5801: 26-12-10 13:05:09,FCLASS-1  ,        ,00000000,0  ,0000,LIB_I_INFO          ,"
              "\"no job\"\n");
    // The server log itself keeps the double quotes.
    EXPECT_NE(File().find("Sending page 1 of \"x.g3f\""), std::string::npos);
}

TEST_F(ServerLog, MessageLogFollowsTheDateAndIsOffWithoutKeepDays)
{
    std::snprintf(g_sysParams.serverArea, sizeof g_sysParams.serverArea, "%s", dir_.c_str());
    LogInit(stream_, logFile_.c_str(), 1, "FCLASS-1");
    LogMessage(3, "first");
    LogMessage(3, "keep days 0");
    EXPECT_EQ(MsgLog(), "");

    g_sysParams.logKeepDays = 1;
    rt::FakeClock::time = RtTime{2026, 12, 31, 23, 59, 59};
    LogMessage(3, "before midnight");
    rt::FakeClock::time = RtTime{2027, 1, 1, 0, 0, 0};
    LogMessage(3, "after midnight");
    EXPECT_NE(MsgLog("261231").find("26-12-31 23:59:59,FCLASS-1  ,        ,00000000,0  ,0000,LIB_I_INFO"),
              std::string::npos);
    EXPECT_EQ(MsgLog("261231").find("after"), std::string::npos);
    EXPECT_NE(MsgLog("270101").find("27-01-01 00:00:00,"), std::string::npos);
}

// The message log is fed only once it has put its feed in (ConsoleMain does
// that for every program).
TEST_F(ServerLog, MessageLogNeedsItsFeed)
{
    std::snprintf(g_sysParams.serverArea, sizeof g_sysParams.serverArea, "%s", dir_.c_str());
    g_sysParams.logKeepDays = 1;
    SetMessageLogFeed(nullptr);
    LogInit(stream_, logFile_.c_str(), 1, "FCLASS-1");
    LogMessage(3, "one");
    LogMessage(3, "two");
    EXPECT_EQ(MsgLog(), "");
    StartMessageLog();
    LogMessage(3, "three");
    EXPECT_NE(MsgLog().find("\"three\""), std::string::npos);
}

TEST_F(ServerLog, MessageLogThatCannotBeOpenedCostsTheLineButNotTheErrorLine)
{
    std::string missing = dir_ + "NOWHERE\\";
    std::snprintf(g_sysParams.serverArea, sizeof g_sysParams.serverArea, "%s", missing.c_str());
    g_sysParams.logKeepDays = 1;
    LogInit(stream_, logFile_.c_str(), 1, "FCLASS-1");
    LogMessage(3, "one");
    LogMessage(3, "two");
    LogMessage(3, "three");
    // The error line itself is never sent to the message log (no loop).
    EXPECT_EQ(File(), "26-12-10 13:05:09  FCLASS-1   - (I) - one\n"
                      "26-12-10 13:05:09  FCLASS-1   - (I) - two\n"
                      "26-12-10 13:05:09  FCLASS-1   - (E) - Error opening message log file\n"
                      "26-12-10 13:05:09  FCLASS-1   - (I) - three\n"
                      "26-12-10 13:05:09  FCLASS-1   - (E) - Error opening message log file\n");
}

TEST(MessageLogLine, FieldsAreCutAndPadded)
{
    RtTime t{1999, 3, 7, 8, 9, 10};
    char line[256];
    FormatMessageLogLine(&t, 0x5801, "LIB_I_INFO", "FCLASS-1  ", "ABCDEFGHIJK", 1, 123, 0xF, "", line, sizeof line);
    EXPECT_STREQ(line, "5801: 99-03-07 08:09:10,FCLASS-1  ,ABCDEFGH,00000001,123,000F,LIB_I_INFO          ");
    FormatMessageLogLine(&t, 0xD803, "LIB_E_ERROR", "ID", "", 0, 1234, 0, "text", line, sizeof line);
    EXPECT_STREQ(line, "D803: 99-03-07 08:09:10,ID        ,        ,00000000,1234,0000,LIB_E_ERROR         ,\"text\"");
}

} // namespace
