// The file peer's script lines: what each verb reads and what is refused.
#include <gtest/gtest.h>

#include <string>

#include "standins/fileplay/fileplay.h"

namespace {

TEST(FilePlayScript, ReadsEachVerbAndRefusesBadLines)
{
    struct Case {
        const char *line;
        bool ok;
        PlayVerb verb;
        const char *path, *other;
        unsigned access, share;
        uint32_t ms;
    };
    const Case cases[] = {
        {"hold C:\\T\\MSGDIR.CTL rw none 1500", true, PLAY_HOLD, "C:\\T\\MSGDIR.CTL", "", 3, 0, 1500},
        {"  hold \"C:\\A B\\TAVRINE.LOK\" w rw 0\r\n", true, PLAY_HOLD, "C:\\A B\\TAVRINE.LOK", "", 2, 3, 0},
        {"hold X r r 10", true, PLAY_HOLD, "X", "", 1, 1, 10},
        {"copy FIX.CTL \"T IN\\MSGDIR.CTL\"", true, PLAY_COPY, "FIX.CTL", "T IN\\MSGDIR.CTL", 0, 0, 0},
        {"append MSGDIR.CTL ENTRY.TXT", true, PLAY_APPEND, "MSGDIR.CTL", "ENTRY.TXT", 0, 0, 0},
        {"marker MSGCHG.CTL", true, PLAY_MARKER, "MSGCHG.CTL", "", 0, 0, 0},
        {"delete SERVER.OK", true, PLAY_DELETE, "SERVER.OK", "", 0, 0, 0},
        {"appear A.ANS 5000", true, PLAY_APPEAR, "A.ANS", "", 0, 0, 5000},
        {"vanish A.ANS 0", true, PLAY_VANISH, "A.ANS", "", 0, 0, 0},
        {"change MSGDIR.CTL 600000", true, PLAY_CHANGE, "MSGDIR.CTL", "", 0, 0, 600000},
        {"sleep 250", true, PLAY_SLEEP, "", "", 0, 0, 250},
        {"", true, PLAY_NONE, "", "", 0, 0, 0},
        {"   # hold \"unclosed", true, PLAY_NONE, "", "", 0, 0, 0},
        // Refused: the verb is kept for the result line when known.
        {"hold X rw none", false, PLAY_HOLD, "", "", 0, 0, 0},
        {"hold X x none 10", false, PLAY_HOLD, "", "", 0, 0, 0},
        {"hold X none none 10", false, PLAY_HOLD, "", "", 0, 0, 0},
        {"hold X r r -1", false, PLAY_HOLD, "", "", 0, 0, 0},
        {"change X 600001", false, PLAY_CHANGE, "", "", 0, 0, 0},
        {"sleep 10ms", false, PLAY_SLEEP, "", "", 0, 0, 0},
        {"delete \"unclosed", false, PLAY_NONE, "", "", 0, 0, 0},
        {"delete A B", false, PLAY_DELETE, "", "", 0, 0, 0},
        {"rename A B", false, PLAY_NONE, "", "", 0, 0, 0},
        {"HOLD X r r 10", false, PLAY_NONE, "", "", 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        PlayAction a;
        ASSERT_EQ(ParsePlayLine(c.line, &a), c.ok);
        EXPECT_EQ(a.verb, c.verb);
        if (!c.ok)
            continue;
        EXPECT_STREQ(a.path, c.path);
        EXPECT_STREQ(a.other, c.other);
        EXPECT_EQ(a.access, c.access);
        EXPECT_EQ(a.share, c.share);
        EXPECT_EQ(a.ms, c.ms);
    }
    // A path over the limit is refused, one at it is read.
    PlayAction a;
    EXPECT_TRUE(ParsePlayLine(("delete " + std::string(PLAY_PATH_MAX, 'p')).c_str(), &a));
    EXPECT_FALSE(ParsePlayLine(("delete " + std::string(PLAY_PATH_MAX + 1, 'p')).c_str(), &a));
}

TEST(FilePlayScript, ReadsTimesAttributesAndYears)
{
    PlayAction a;
    ASSERT_TRUE(ParsePlayLine("settime MSGDIR.CTL 2026-12-10 17:30:00", &a));
    EXPECT_EQ(a.verb, PLAY_SETTIME);
    EXPECT_EQ(a.year * 10000 + a.month * 100 + a.day, 20261210);
    EXPECT_EQ(a.hour * 10000 + a.minute * 100 + a.second, 173000);
    for (const char *bad : {"settime X 2026-13-10 17:30:00", "settime X 2026-12-10 24:00:00", "settime X 2026-12-10",
                            "settime X 2026-12-10 17:30:00x", "settime X 1979-12-31 00:00:00"})
        EXPECT_FALSE(ParsePlayLine(bad, &a)) << bad;

    struct Attr {
        const char *line;
        bool ok;
        unsigned bits;
    };
    for (const Attr &c : {Attr{"attrib X a", true, PLAY_ATTR_ARCHIVE},
                          Attr{"attrib X rh", true, PLAY_ATTR_READONLY | PLAY_ATTR_HIDDEN},
                          Attr{"attrib X n", true, 0}, Attr{"attrib X as", false, 0}, Attr{"attrib X", false, 0}}) {
        ASSERT_EQ(ParsePlayLine(c.line, &a), c.ok) << c.line;
        if (c.ok) {
            EXPECT_EQ(a.attributes, c.bits) << c.line;
        }
    }
    ASSERT_TRUE(ParsePlayLine("ahead MSGCHG.CTL 3", &a));
    EXPECT_EQ(a.years, 3);
    EXPECT_FALSE(ParsePlayLine("ahead MSGCHG.CTL 0", &a));
    EXPECT_STREQ(PlayVerbName(PLAY_CHANGE), "change");
}

} // namespace
