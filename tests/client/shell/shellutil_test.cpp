// Text fitting, send-time display, filed-message paths, filter texts and
// image format codes.
#include "client/shell/shellutil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "tests/client/shell/workdir.h"
#include "tests/support/tempdir.h"
#include "tests/support/testfiles.h"

namespace {

// 'W' is 20 pixels wide, every other character 10.
int Measure(void *, const char *text, int count)
{
    int extent = 0;
    for (int i = 0; i < count; ++i)
        extent += text[i] == 'W' ? 20 : 10;
    return extent;
}

TEST(ShellUtil, FitTextToWidth)
{
    const std::string forty = "abcdefghij0123456789ABCDEFGHIJklmnopqrst";
    const struct {
        std::string text;
        int width;
        std::string drawn;
        int extent;
    } cases[] = {
        {"Hello", 50, "Hello", 50},
        {"Hello", 100, "Hello", 50},
        {forty, 200, "abcdefghij012345 ...", 200},     // twice too wide: half, with the dots
        {forty, 205, "abcdefghij012345 ...", 200},
        {"WWWWWWWWWWabc", 120, "WW ...", 80},           // fitted by measure, not by count
        {"Hello world", 45, " ...", 40},                // four fit: the blank and the dots
        {"Hello world", 35, "...", 30},                 // fewer than four fit: dots only
        {"Hello world", 15, ".", 10},
        {"Hello world", 5, "", 0},
        {"Hello world", -10, "", 0},
        {"", 0, "", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text + " in " + std::to_string(c.width));
        char out[64];
        EXPECT_EQ(c.extent, FitTextToWidth(c.text.c_str(), c.width, Measure, nullptr, out, sizeof out));
        EXPECT_EQ(c.drawn, out);
    }
    // A small buffer cuts the text before it is fitted.
    char small[6];
    EXPECT_EQ(50, FitTextToWidth("Hello world", 500, Measure, nullptr, small, sizeof small));
    EXPECT_STREQ("Hello", small);
}

TEST(ShellUtil, CutTextMiddle)
{
    const char *forty = "abcdefghij0123456789ABCDEFGHIJklmnopqrst";
    const struct {
        const char *text;
        int limit;
        size_t size;
        const char *out;
    } cases[] = {
        {forty, 25, 64, "abcdefghij ... klmnopqrst"},
        {forty, 26, 64, "abcdefghij ... klmnopqrst"},
        {forty, 27, 64, "abcdefghij0 ... Jklmnopqrst"},
        {forty, 40, 64, forty},
        {forty, 39, 64, "abcdefghij0123456 ... DEFGHIJklmnopqrst"},
        {forty, 6, 64, " ... "},
        {forty, 5, 64, " ... "},
        {forty, 4, 64, "abcd"},                  // no room for the marker
        {forty, 0, 64, ""},
        {forty, -3, 64, ""},
        {"", 0, 64, ""},
        {forty, 25, 8, "abcdefg"},              // bounded by the buffer
        {"short", 25, 4, "sho"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.limit) + " / " + std::to_string(c.size));
        char out[64];
        std::memset(out, '#', sizeof out);
        EXPECT_EQ(std::strlen(c.out), CutTextMiddle(c.text, c.limit, out, c.size));
        EXPECT_STREQ(c.out, out);
        if (c.size < sizeof out) {
            EXPECT_EQ('#', out[c.size]) << "wrote past the buffer";
        }
    }
}

const std::map<int, std::string> kStrings = {
    {TV_STR_IMMEDIATELY, "Immediately"},
    {TV_STR_OFF_PEAK, "Off peak"},
    {2100, "All files (*.*)|*.*|"},
    {2101, "TIFF (*.tif)|*.TIF|"},
    {2102, "PCX (*.pcx)|*.PCX|"},
    {2140, "TIFF - G3 (*.tif)|*.TIF|TIFF-G3-FAX"},
    {2141, "PCX (*.pcx)|*.PCX|PCX"},
    {2143, "never reached|*.X|"},
    {2160, "Fax (*.tif)|*.TIF|TIFF-G3-FAX"},
    {2180, "Fax graphics (*.g3*)|*.G3*|"},
    {2181, "Text (*.txt)|*.TXT|"},
};

int LoadFake(void *, int id, char *buf, int size)
{
    auto it = kStrings.find(id);
    if (it == kStrings.end())
        return 0;
    std::snprintf(buf, static_cast<size_t>(size), "%s", it->second.c_str());
    return static_cast<int>(std::strlen(buf));
}

const TvStringSource kSource = {nullptr, LoadFake};

TEST(ShellUtil, FormatSendTime)
{
    const struct {
        const char *shortDate;
        const char *text;
        size_t size;
        int result;
        const char *out;
    } cases[] = {
        {"dd-MM-yy", "96-12-24 18:30:00", 32, 1, "18:30  24-12-96"},
        {"MM/dd/yy", "96-12-24 18:30:00", 32, 1, "18:30  12/24/96"},
        {"yy.MM.dd", "  96-12-24 08:05:59", 32, 1, "08:05  96.12.24"},
        {"dd-MM-yy", "96-12-24 18:30:00", 16, 1, "18:30  24-12-96"},
        {"dd-MM-yy", "96-12-24 18:30:00", 15, 0, ""},
        {"dd-MM-yy", "", 32, 1, "Immediately"},
        {"dd-MM-yy", "   ", 32, 1, "Immediately"},
        {"dd-MM-yy", "offpeak", 32, 1, "Off peak"},
        {"dd-MM-yy", " OFFPEAK 96-12-24", 32, 1, "Off peak"},
        {"dd-MM-yy", "96-12-24 18:30", 32, 0, ""},
        {"dd-MM-yy", "tomorrow", 32, 0, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.shortDate) + " " + c.text);
        TvIntlFormats formats;
        IntlFormatsFrom(":", c.shortDate, &formats);
        char out[32] = "unchanged";
        EXPECT_EQ(c.result, FormatSendTime(c.text, formats, kSource, out, c.size));
        if (c.size >= TV_SEND_TIME_MIN_SIZE) {
            EXPECT_STREQ(c.out, out);
        }
    }
}

TEST(ShellUtil, ComposeTableText)
{
    const struct {
        int kind;
        bool full;
        size_t size;
        const char *text;
    } cases[] = {
        {0, true, 256, "All files (*.*)|*.*|TIFF (*.tif)|*.TIF|PCX (*.pcx)|*.PCX|"},
        {0, false, 256, "Fax graphics (*.g3*)|*.G3*|Text (*.txt)|*.TXT|"},
        // Export names dropped; the list ends at the first missing string.
        {1, true, 256, "TIFF - G3 (*.tif)|*.TIF|PCX (*.pcx)|*.PCX|"},
        {2, false, 256, "Fax (*.tif)|*.TIF|"},
        // A string that would reach the size is left out, with the rest.
        {0, true, 40, "All files (*.*)|*.*|TIFF (*.tif)|*.TIF|"},
        {0, true, 39, "All files (*.*)|*.*|"},
        {0, true, 5, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.kind) + (c.full ? " full " : " short ") + std::to_string(c.size));
        char out[256];
        ASSERT_EQ(1, ComposeTableText(out, c.size, c.kind, c.full, kSource));
        EXPECT_STREQ(c.text, out);
    }
    EXPECT_EQ(0, ComposeTableText(nullptr, 10, 0, true, kSource));
    char out[16];
    ASSERT_EQ(1, ComposeTableText(out, sizeof out, 0, true, TvStringSource{}));
    EXPECT_STREQ("", out);
}

TEST(ShellUtil, MakeUserPath)
{
    tvtest::TempDir dir{"userpath"};
    ScopedWorkDir work{dir};
    dir.MakeDir("FILED");
    const std::string longName(TV_FILED_LONG_NAME_LIMIT, 'x');
    const std::string almost(TV_FILED_LONG_NAME_LIMIT - 1, 'y');
    char out[300];

    ASSERT_TRUE(MakeUserPath("FILED/", "ABCD0001.TIF", "Quarterly report.tif", out, sizeof out));
    EXPECT_STREQ("FILED/Quarterly report.tif", out);
    ASSERT_TRUE(MakeUserPath("FILED/", "ABCD0001.TIF", almost.c_str(), out, sizeof out));
    EXPECT_EQ("FILED/" + almost, out);

    // A long name that may have been cut: the short name, and its file's
    // own name when the file is there.
    ASSERT_TRUE(MakeUserPath("FILED/", "ABCD0001.TIF", longName.c_str(), out, sizeof out));
    EXPECT_STREQ("FILED/ABCD0001.TIF", out);
    ASSERT_TRUE(WriteWholeFile("FILED/abcd0001.tif", "II*"));
    ASSERT_TRUE(MakeUserPath("FILED/", "ABCD0001.TIF", longName.c_str(), out, sizeof out));
    EXPECT_STREQ("FILED/abcd0001.tif", out);

    // Too long for the buffer.
    char small[20];
    EXPECT_FALSE(MakeUserPath("FILED/", "ABCD0001.TIF", "Quarterly report.tif", small, sizeof small));
    EXPECT_STREQ("", small);
    EXPECT_TRUE(MakeUserPath("FILED/", "ABCD0001.TIF", "Quarterly rep", small, sizeof small));
}

TEST(ShellUtil, ImageFormats)
{
    for (int code : {5, 6, 7, 8, 50, 57, 58, 59, 60, 61, 66, 67})
        EXPECT_TRUE(IsImageFormat(code)) << code;
    for (int code : {0, 4, 9, 51, 52, 56, 62, 65, 68, -5})
        EXPECT_FALSE(IsImageFormat(code)) << code;
}

} // namespace
