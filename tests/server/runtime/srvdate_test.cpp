// Date pictures from a table of cases, month names and default pictures.
#include "server/runtime/srvdate.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
    const char *picture;
    int y, mo, d, h, mi, s;
    size_t size;
    int result;
    const char *out;
};

const Case kCases[] = {
    {"dd/MM/yy", 1999, 3, 7, 0, 0, 0, 64, 1, "07/03/99"},
    {"d MMMM yyyy", 1999, 3, 7, 0, 0, 0, 64, 1, "7 March 1999"},
    {"dd-MMM-yy", 2026, 12, 10, 0, 0, 0, 64, 1, "10-Dec-26"},
    {"M/d/yyyy h:m:s", 2001, 2, 3, 4, 5, 6, 64, 1, "2/3/2001 4:5:6"},
    {"hh:mm:ss", 2001, 2, 3, 4, 5, 6, 64, 1, "04:05:06"},
    {"MM mm", 2001, 2, 3, 4, 5, 6, 64, 1, "02 05"},               // case tells month from minutes
    {"dddd d", 1999, 3, 7, 0, 0, 0, 64, 1, "7"},                 // no leading blank
    {"dddd, d MMMM yyyy", 1999, 3, 7, 0, 0, 0, 64, 1, "7 March 1999"},
    {"ddd' - 'dd", 1999, 3, 7, 0, 0, 0, 64, 1, "07"},            // leading blanks and punctuation dropped
    {"'Date:' dd", 1999, 3, 7, 0, 0, 0, 64, 1, "Date: 07"},
    {"\"on\" d", 1999, 3, 7, 0, 0, 0, 64, 1, "on 7"},
    {"dd''MM", 1999, 3, 7, 0, 0, 0, 64, 1, "07'03"},             // two quotes give one
    {"'yy 'yy", 1999, 3, 7, 0, 0, 0, 64, 1, "yy 99"},            // tokens inside quotes are text
    {"d MMMM   ", 1999, 3, 7, 0, 0, 0, 64, 1, "7 March"},        // trailing blanks removed
    {"yyyy", 79, 1, 1, 0, 0, 0, 64, 1, "2079"},                  // windowed at 80
    {"yyyy", 80, 1, 1, 0, 0, 0, 64, 1, "1980"},
    {"yy", 0, 1, 1, 0, 0, 0, 64, 1, "00"},
    {"d MMMM yyyy", 1999, 3, 7, 0, 0, 0, 6, 1, "7 Mar"},         // cut at size-1
    {"d MMMM yyyy", 1999, 3, 7, 0, 0, 0, 3, 1, "7"},             // cut, then trailing blank removed
    {"yyyy", 2080, 12, 31, 23, 59, 59, 64, 1, "2080"},
    {"yyyy", 2081, 1, 1, 0, 0, 0, 64, 0, ""},                    // refused
    {"yyyy", 1899, 1, 1, 0, 0, 0, 64, 0, ""},
    {"dd", 1999, 13, 1, 0, 0, 0, 64, 0, ""},
    {"dd", 1999, 1, 32, 0, 0, 0, 64, 0, ""},
    {"dd", 1999, 1, 1, 24, 0, 0, 64, 0, ""},
    {"dd", 1999, 1, 1, 0, 60, 0, 64, 0, ""},
    {"dd", 1999, 1, 1, 0, 0, 60, 64, 0, ""},
    {"dd", 1999, 0, 1, 0, 0, 0, 64, 0, ""},
};

TEST(Dates, FormatDateByPictureTable)
{
    for (const Case &c : kCases) {
        SCOPED_TRACE(std::string(c.picture) + " size " + std::to_string(c.size));
        char buf[64];
        std::fill(buf, buf + sizeof buf, 'X');
        EXPECT_EQ(FormatDateByPicture(c.picture, buf, c.size, c.y, c.mo, c.d, c.h, c.mi, c.s), c.result);
        EXPECT_STREQ(buf, c.out);
    }
    EXPECT_EQ(FormatDateByPicture("dd", nullptr, 10, 1999, 1, 1, 0, 0, 0), 0);
    char one = 'X';
    EXPECT_EQ(FormatDateByPicture("dd", &one, 0, 1999, 1, 1, 0, 0, 0), 0);
    EXPECT_EQ(one, 'X');
}

TEST(Dates, MonthNamesAndDefaultPictures)
{
    // Wine's and the native tree's user locale are English (US).
    EXPECT_STREQ(MonthName(1), "January");
    EXPECT_STREQ(MonthName(12), "December");
    EXPECT_STREQ(MonthShortName(9), "Sep");
    EXPECT_STREQ(MonthName(0), "???");
    EXPECT_STREQ(MonthName(13), "???");
    EXPECT_STREQ(MonthShortName(-1), "???");
    char pic[64];
    DefaultDatePicture(pic, sizeof pic, true);
    EXPECT_NE(std::string(pic).find('d'), std::string::npos);
    EXPECT_NE(std::string(pic).find('y'), std::string::npos);
    char small[4];
    DefaultDatePicture(small, sizeof small, false);
    EXPECT_EQ(std::string(small).size(), 3u);
}

} // namespace
