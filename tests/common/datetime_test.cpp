// Dates and times of control files, and the search for the system INI file.
// Runs natively and under Wine.
#include "common/datetime.h"
#include "common/sysini.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

void SetZone(const char* tz)
{
    static char setting[64];
    std::snprintf(setting, sizeof setting, "TZ=%s", tz);
#ifdef _WIN32
    _putenv(setting);
    _tzset();
#else
    putenv(setting);
    tzset();
#endif
}

class ZoneTest : public ::testing::Test {
protected:
    void TearDown() override { SetZone("UTC0"); }
};

using DateTime = ZoneTest;

// 1 January 1970 is day 0; seconds of a universal date.
int64_t UtcSeconds(int y, int m, int d, int hh, int mm, int ss)
{
    static const int before[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    int64_t days = 0;
    for (int year = 1970; year < y; ++year)
        days += (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)) ? 366 : 365;
    days += before[m - 1] + d - 1;
    if (m > 2 && y % 4 == 0 && (y % 100 != 0 || y % 400 == 0))
        ++days;
    return days * 86400 + hh * 3600 + mm * 60 + ss;
}

TEST_F(DateTime, YearWindowRangesAndCarry)
{
    SetZone("UTC0");
    struct Row {
        int y, mo, d, h, mi, s;
        int ok;
        int64_t expected; // universal seconds when ok
    };
    const Row rows[] = {
        {96, 3, 4, 5, 6, 7, 1, UtcSeconds(1996, 3, 4, 5, 6, 7)},
        {5, 1, 1, 0, 0, 0, 1, UtcSeconds(2005, 1, 1, 0, 0, 0)},
        {79, 12, 31, 23, 59, 59, 1, UtcSeconds(2079, 12, 31, 23, 59, 59)},
        {80, 1, 1, 0, 0, 0, 1, UtcSeconds(1980, 1, 1, 0, 0, 0)},
        {1980, 1, 1, 0, 0, 0, 1, UtcSeconds(1980, 1, 1, 0, 0, 0)},
        {2080, 12, 31, 23, 59, 59, 1, UtcSeconds(2080, 12, 31, 23, 59, 59)},
        {2040, 6, 1, 12, 0, 0, 1, UtcSeconds(2040, 6, 1, 12, 0, 0)}, // past 2038
        {2001, 4, 31, 10, 0, 0, 1, UtcSeconds(2001, 5, 1, 10, 0, 0)}, // 31 April carries
        {1979, 1, 1, 0, 0, 0, 0, 0},
        {100, 1, 1, 0, 0, 0, 0, 0},
        {2081, 1, 1, 0, 0, 0, 0, 0},
        {-1, 1, 1, 0, 0, 0, 0, 0},
        {2000, 0, 1, 0, 0, 0, 0, 0},
        {2000, 13, 1, 0, 0, 0, 0, 0},
        {2000, 1, 0, 0, 0, 0, 0, 0},
        {2000, 1, 32, 0, 0, 0, 0, 0},
        {2000, 1, 1, 24, 0, 0, 0, 0},
        {2000, 1, 1, 0, 60, 0, 0, 0},
        {2000, 1, 1, 0, 0, 60, 0, 0},
        {2000, 1, 1, 0, 0, -1, 0, 0},
    };
    for (const Row& r : rows) {
        TvTime t = 12345;
        int got = DateToTime(int16_t(r.y), int16_t(r.mo), int16_t(r.d), int16_t(r.h), int16_t(r.mi),
                             int16_t(r.s), &t);
        EXPECT_EQ(got, r.ok) << r.y << "-" << r.mo << "-" << r.d;
        EXPECT_EQ(t, r.ok ? r.expected : 12345) << r.y << "-" << r.mo << "-" << r.d << " (untouched when refused)";
    }
}

TEST_F(DateTime, TimeToDateRoundTripAndZero)
{
    SetZone("UTC0");
    int16_t y = -7, mo, d, h, mi, s;
    EXPECT_EQ(TimeToDate(0, &y, &mo, &d, &h, &mi, &s), 0);
    EXPECT_EQ(y, -7);
    ASSERT_EQ(TimeToDate(UtcSeconds(2061, 7, 8, 9, 10, 11), &y, &mo, &d, &h, &mi, &s), 1);
    EXPECT_EQ((std::vector<int>{y, mo, d, h, mi, s}), (std::vector<int>{2061, 7, 8, 9, 10, 11}));
    TvTime t;
    ASSERT_EQ(DateToTime(99, 12, 31, 23, 59, 59, &t), 1);
    ASSERT_EQ(TimeToDate(t, &y, &mo, &d, &h, &mi, &s), 1);
    EXPECT_EQ((std::vector<int>{y, mo, d, h, mi, s}), (std::vector<int>{1999, 12, 31, 23, 59, 59}));
    EXPECT_EQ(TimeToDate(t, &y, &mo, &d, &h, &mi, nullptr), 0);
}

// Daylight saving in the zone the servers use. 2021: summer time from
// 14 March 2:00 to 7 November 2:00.
TEST_F(DateTime, SummerTimeGapAndRepeatedHour)
{
    SetZone("PST8PDT");
    TvTime t;
    // Winter and summer readings.
    ASSERT_EQ(DateToTime(2021, 1, 15, 12, 0, 0, &t), 1);
    EXPECT_EQ(t, UtcSeconds(2021, 1, 15, 20, 0, 0));
    ASSERT_EQ(DateToTime(2021, 7, 15, 12, 0, 0, &t), 1);
    EXPECT_EQ(t, UtcSeconds(2021, 7, 15, 19, 0, 0));
    // The repeated autumn hour is read as standard time.
    ASSERT_EQ(DateToTime(2021, 11, 7, 1, 30, 0, &t), 1);
    EXPECT_EQ(t, UtcSeconds(2021, 11, 7, 9, 30, 0));
    // The spring hour that does not exist is refused.
    EXPECT_EQ(DateToTime(2021, 3, 14, 2, 30, 0, &t), 0);
    EXPECT_EQ(t, -1);

    int16_t y, mo, d, h, mi, s;
    ASSERT_EQ(TimeToDate(UtcSeconds(2021, 7, 15, 19, 0, 0), &y, &mo, &d, &h, &mi, &s), 1);
    EXPECT_EQ((std::vector<int>{y, mo, d, h, mi, s}), (std::vector<int>{2021, 7, 15, 12, 0, 0}));
}

// ---------------------------------------------------------------- LocateIniFile

struct FakeSystem {
    std::map<std::string, std::string> env;
    std::string windowsDir = "C:\\WINDOWS";
    std::string currentDir = "D:\\WORK";
    std::set<std::string> files;      // existing paths, upper-case
    std::vector<std::string> tested;  // paths asked for, in order
};

bool FakeEnv(void* ctx, const char* name, char* out, size_t size)
{
    auto* f = static_cast<FakeSystem*>(ctx);
    out[0] = 0;
    auto it = f->env.find(name);
    if (it == f->env.end())
        return false;
    std::snprintf(out, size, "%s", it->second.c_str());
    return true;
}

bool FakeWinDir(void* ctx, char* out, size_t size)
{
    std::snprintf(out, size, "%s", static_cast<FakeSystem*>(ctx)->windowsDir.c_str());
    return out[0] != 0;
}

bool FakeCurDir(void* ctx, char* out, size_t size)
{
    std::snprintf(out, size, "%s", static_cast<FakeSystem*>(ctx)->currentDir.c_str());
    return out[0] != 0;
}

bool FakeExists(void* ctx, const char* path)
{
    auto* f = static_cast<FakeSystem*>(ctx);
    f->tested.push_back(path);
    return f->files.count(path) != 0;
}

int16_t Locate(FakeSystem& f, char* dir, size_t size)
{
    TvIniSources s = {&f, FakeEnv, FakeWinDir, FakeCurDir, FakeExists};
    return LocateIniFileWith(&s, dir, size);
}

TEST(LocateIniFile, SearchOrderAndUpperCase)
{
    FakeSystem f;
    f.env["TFAXINIT"] = "c:\\fax;e:\\second\\;";
    f.env["INIT"] = "f:\\init";
    f.env["PATH"] = "g:\\bin;;h:\\tools";
    char dir[TV_INI_DIR_SIZE];

    // Nowhere: every field tested once, in order; an empty field is skipped
    // and a trailing ';' adds nothing.
    EXPECT_EQ(Locate(f, dir, sizeof dir), -4072);
    EXPECT_STREQ(dir, "");
    EXPECT_EQ(f.tested, (std::vector<std::string>{
                            "C:\\FAX\\TAVRINE.INI", "E:\\SECOND\\TAVRINE.INI", "F:\\INIT\\TAVRINE.INI",
                            "G:\\BIN\\TAVRINE.INI", "H:\\TOOLS\\TAVRINE.INI", "C:\\WINDOWS\\TAVRINE.INI",
                            "D:\\WORK\\TAVRINE.INI"}));

    // The first directory that holds the file wins.
    const struct {
        const char* holder;
        const char* expected;
    } rows[] = {
        {"D:\\WORK\\TAVRINE.INI", "D:\\WORK\\"},
        {"C:\\WINDOWS\\TAVRINE.INI", "C:\\WINDOWS\\"},
        {"H:\\TOOLS\\TAVRINE.INI", "H:\\TOOLS\\"},
        {"F:\\INIT\\TAVRINE.INI", "F:\\INIT\\"},
        {"E:\\SECOND\\TAVRINE.INI", "E:\\SECOND\\"},
        {"C:\\FAX\\TAVRINE.INI", "C:\\FAX\\"},
    };
    for (const auto& r : rows) {
        f.files.insert(r.holder);
        EXPECT_EQ(Locate(f, dir, sizeof dir), 0);
        EXPECT_STREQ(dir, r.expected);
    }
}

TEST(LocateIniFile, AbsentVariablesAndFieldsThatDoNotFit)
{
    FakeSystem f;
    char dir[TV_INI_DIR_SIZE];
    f.files.insert("D:\\WORK\\TAVRINE.INI");
    EXPECT_EQ(Locate(f, dir, sizeof dir), 0);
    EXPECT_STREQ(dir, "D:\\WORK\\");
    EXPECT_EQ(f.tested.size(), 2u);

    // A directory of 254 characters takes 256 bytes with '\' and the zero:
    // it fits the usual buffer; one more character and it is passed over.
    std::string d254 = "X:\\" + std::string(251, 'a');
    std::string d255 = d254 + "b";
    std::string found254 = "X:\\" + std::string(251, 'A') + "\\";
    f.files.insert(found254 + "TAVRINE.INI");
    f.files.insert(std::string("X:\\") + std::string(251, 'A') + "B\\TAVRINE.INI");
    f.env["TFAXINIT"] = d255 + ";" + d254;
    EXPECT_EQ(Locate(f, dir, sizeof dir), 0);
    EXPECT_EQ(std::string(dir), found254);
    // Neither fits 255 bytes, and the two fill the list: nothing else is tried.
    EXPECT_EQ(Locate(f, dir, 255), -4072);
    EXPECT_STREQ(dir, "");
    f.env.erase("TFAXINIT");
    EXPECT_EQ(Locate(f, dir, 8), -4072);
    EXPECT_EQ(Locate(f, dir, 9), 0);
    EXPECT_STREQ(dir, "D:\\WORK\\");

    // The list holds 511 characters: items are cut to the space left and
    // the rest is dropped.
    f.tested.clear();
    f.env["TFAXINIT"] = std::string(495, 'r');
    char big[600];
    EXPECT_EQ(Locate(f, big, sizeof big), -4072);
    EXPECT_EQ(f.tested, (std::vector<std::string>{std::string(495, 'R') + "\\TAVRINE.INI",
                                                   "C:\\WINDOWS\\TAVRINE.INI", "D:\\W\\TAVRINE.INI"}));
}

} // namespace
