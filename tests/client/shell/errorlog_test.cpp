// The error log: line format, roll-over to the backup, giving up and
// showing messages when the log cannot be written.
#include "client/shell/errorlog.h"

#include "tests/support/tempdir.h"
#include "tests/support/testfiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

TEST(ErrorLogLine, Format)
{
    char line[256];
    FormatErrorLogLine(line, sizeof line, {1996, 3, 5, 9, 7, 3}, 0xF807, "ReadIniFiles", "Cannot find x");
    EXPECT_STREQ("96-03-05 09:07:03 F807 ReadIniFiles          Cannot find x\r\n", line);
    FormatErrorLogLine(line, sizeof line, {2000, 12, 31, 23, 59, 59}, 0xFFFF, "--------------------", "start");
    EXPECT_STREQ("00-12-31 23:59:59 FFFF --------------------  start\r\n", line);

    char bak[64];
    ASSERT_TRUE(ErrorLogBackupName("T:\\LOG\\TAVRINE.LOG", bak, sizeof bak));
    EXPECT_STREQ("T:\\LOG\\TAVRINE.BAK", bak);
    ASSERT_TRUE(ErrorLogBackupName("T:\\LOG.D\\TAVRINE", bak, sizeof bak));
    EXPECT_STREQ("T:\\LOG.D\\TAVRINE.BAK", bak);
}

struct Seen {
    std::vector<std::string> boxes, status;
};

class ErrorLogFile : public ::testing::Test {
protected:
    tvtest::TempDir dir{"errlog"};
    Seen seen;
    TvShellHooks hooks = *TvDefaultShellHooks();
    TvErrorLog log{};
    std::string area, logPath, bakPath;

    void SetUp() override
    {
        hooks.context = &seen;
        hooks.messageBox = [](void *c, const char *t, TvBoxIcon, bool) { static_cast<Seen *>(c)->boxes.push_back(t); };
        hooks.statusText = [](void *c, const char *t) { static_cast<Seen *>(c)->status.push_back(t); };
        area = dir.Path() + "/";
        logPath = dir.File("TAVRINE.LOG");
        bakPath = dir.File("TAVRINE.BAK");
        ErrorLogInit(&log, area.c_str(), &hooks);
    }
    std::string Get(const std::string &path) { return ReadWholeFile(path); }
};

TEST_F(ErrorLogFile, AppendsAndEchoesToStatusBar)
{
    ASSERT_EQ(1, WriteErrorLog(&log, 0xFFFF, "--------------------", "Tavrine program started"));
    ASSERT_EQ(1, WriteErrorLog(&log, 0xF804, "Test", "Cannot open %s", "X.CTL"));
    ASSERT_EQ(1, LogLine(&log, 4, "%d left", 3));
    EXPECT_EQ(0, LogLine(&log, 2, "dropped"));
    std::string text = Get(logPath);
    EXPECT_NE(std::string::npos, text.find(" FFFF --------------------  Tavrine program started\r\n"));
    EXPECT_NE(std::string::npos, text.find(" F804 Test                  Cannot open X.CTL\r\n"));
    EXPECT_NE(std::string::npos, text.find(" 0001 LogLine               (W) - 3 left\r\n"));
    EXPECT_EQ(std::string::npos, text.find("dropped"));
    ASSERT_EQ(2u, seen.status.size()) << "the start line is not echoed";
    EXPECT_EQ("F804: Cannot open X.CTL", seen.status[0]);
    EXPECT_EQ("0001: (W) - 3 left", seen.status[1]);
}

TEST_F(ErrorLogFile, RollsOverPastTheLimit)
{
    const std::string full(TV_LOG_ROLL_BYTES, 'x');
    ASSERT_TRUE(WriteWholeFile(logPath, full));
    ASSERT_TRUE(WriteWholeFile(bakPath, "older backup"));
    ASSERT_EQ(1, WriteErrorLog(&log, 0xF800, "T", "one"));
    EXPECT_EQ(0u, Get(logPath).find(full)) << "10240 bytes: appended to";
    EXPECT_EQ("older backup", Get(bakPath));

    const std::string grown = Get(logPath);
    ASSERT_EQ(1, WriteErrorLog(&log, 0xF800, "T", "two"));
    EXPECT_EQ(grown, Get(bakPath)) << "the old log became the backup";
    std::string fresh = Get(logPath);
    EXPECT_NE(std::string::npos, fresh.find("two\r\n"));
    EXPECT_EQ(std::string::npos, fresh.find("xxx"));
}

TEST_F(ErrorLogFile, AppendsWhenTheBackupCannotBeMade)
{
    const std::string full(TV_LOG_ROLL_BYTES + 1, 'x');
    ASSERT_TRUE(WriteWholeFile(logPath, full));
    // A folder in the backup's place: neither removed nor replaced.
    std::filesystem::create_directories(bakPath + "/keep");
    ASSERT_EQ(1, WriteErrorLog(&log, 0xF800, "T", "kept"));
    std::string text = Get(logPath);
    EXPECT_EQ(0u, text.find(full)) << "the old lines are not lost";
    EXPECT_NE(std::string::npos, text.find("kept\r\n"));
}

TEST_F(ErrorLogFile, GivesUpThenShowsBoxesUntilRestarted)
{
    TvErrorLog bad{};
    std::string missing = dir.File("NO/SUCH/");
    ErrorLogInit(&bad, missing.c_str(), &hooks);
    EXPECT_EQ(0, WriteErrorLog(&bad, 0xF801, "T", "first"));
    ASSERT_EQ(1u, seen.boxes.size());
    EXPECT_EQ(0u, seen.boxes[0].find("Cannot create file: "));
    EXPECT_FALSE(bad.enabled);
    EXPECT_EQ(0, WriteErrorLog(&bad, 0xF801, "T", "second %d", 2));
    ASSERT_EQ(2u, seen.boxes.size());
    EXPECT_EQ("second 2", seen.boxes[1]);
    EXPECT_TRUE(seen.status.empty());

    // A start line tries again.
    std::filesystem::create_directories(dir.File("NO/SUCH"));
    EXPECT_EQ(1, WriteErrorLog(&bad, 0xFFFF, "-", "again"));
    EXPECT_TRUE(bad.enabled);
}

} // namespace
