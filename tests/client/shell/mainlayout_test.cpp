// The main window's layout, list order, help maps and saved placement.
#include "client/shell/mainlayout.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "client/store/listids.h"

static bool operator==(const TvRect &a, const TvRect &b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

static std::ostream &operator<<(std::ostream &os, const TvRect &r)
{
    return os << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
}

namespace {

TEST(MainLayout, Cases)
{
    // Metrics: w 8, h 16, M 6, N 3; so the label column L is 50, the
    // smallest list height m is 22 and the status bar S is 20.
    const struct {
        const char *what;
        int width, height;
        bool toolBar, statusBar;
        int lastShown;
        int top;
        TvRect status, messages, areas[3], filedList;
    } cases[] = {
        {"both bars, NEW current", 640, 480, true, true, TV_LIST_NEW, 36,
         {0, 460, 640, 480}, {0, 36, 640, 460},
         {{50, 4, 632, 244}, {50, 252, 632, 332}, {50, 340, 632, 420}}, {0, 22, 582, 80}},
        {"no bars, FILED current", 640, 480, false, false, TV_LIST_FILED, 4,
         {0, 0, 0, 0}, {0, 4, 640, 476},
         {{50, 4, 632, 93}, {50, 101, 632, 190}, {50, 198, 632, 468}}, {0, 22, 582, 270}},
        {"small pane: the current list gets P - 8 at y 4", 640, 108, false, false, TV_LIST_WAITING, 4,
         {0, 0, 0, 0}, {0, 4, 640, 104},
         {{50, 4, 632, 4}, {50, 4, 632, 96}, {50, 104, 632, 104}}, {0, 22, 582, 22}},
        {"smaller still: all three empty", 640, 36, false, false, TV_LIST_NEW, 4,
         {0, 0, 0, 0}, {0, 4, 640, 32},
         {{50, 4, 632, 4}, {50, 4, 632, 4}, {50, 4, 632, 4}}, {0, 22, 582, 22}},
        {"list narrower than M + 4w: width 0", 95, 480, false, false, TV_LIST_NEW, 4,
         {0, 0, 0, 0}, {0, 4, 95, 476},
         {{50, 4, 50, 274}, {50, 282, 50, 371}, {50, 379, 50, 468}}, {0, 22, 0, 89}},
        {"list just wide enough", 96, 480, false, false, TV_LIST_NEW, 4,
         {0, 0, 0, 0}, {0, 4, 96, 476},
         {{50, 4, 88, 274}, {50, 282, 88, 371}, {50, 379, 88, 468}}, {0, 22, 38, 89}},
        {"status bar not below the top: height 0", 300, 56, true, true, TV_LIST_NEW, 36,
         {0, 36, 300, 36}, {0, 36, 300, 36},
         {{50, 4, 292, 4}, {50, 4, 292, 4}, {50, 4, 292, 4}}, {0, 22, 242, 22}},
        {"status bar one pixel below the top", 300, 57, true, true, TV_LIST_NEW, 36,
         {0, 37, 300, 57}, {0, 36, 300, 37},
         {{50, 4, 292, 4}, {50, 4, 292, 4}, {50, 4, 292, 4}}, {0, 22, 242, 22}},
        {"window lower than its bars: pane height 0", 300, 40, true, true, TV_LIST_NEW, 36,
         {0, 20, 300, 20}, {0, 36, 300, 36},
         {{50, 4, 292, 4}, {50, 4, 292, 4}, {50, 4, 292, 4}}, {0, 22, 242, 22}},
        {"unknown last-shown list counts as NEW", 640, 480, false, false, 7, 4,
         {0, 0, 0, 0}, {0, 4, 640, 476},
         {{50, 4, 632, 274}, {50, 282, 632, 371}, {50, 379, 632, 468}}, {0, 22, 582, 89}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TvLayoutInput in{};
        in.width = c.width;
        in.height = c.height;
        in.toolBarHeight = 30;
        in.toolBarShown = c.toolBar;
        in.statusBarShown = c.statusBar;
        in.charWidth = 8;
        in.charHeight = 16;
        in.marginX = 6;
        in.marginY = 3;
        in.lastShown = c.lastShown;
        TvLayoutResult r;
        LayoutMainWindowRects(in, &r);
        EXPECT_EQ(c.top, r.top);
        EXPECT_EQ(c.status, r.statusBar);
        EXPECT_EQ(c.messages, r.messages);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(c.areas[i], r.areas[i]) << "area " << i;
        EXPECT_EQ(c.filedList, r.filedList);
    }
}

TEST(MainLayout, AreasStackWithinThePane)
{
    // Whatever the size, no area reaches past the pane or overlaps the next.
    for (int height = 0; height < 400; ++height) {
        for (int last : {TV_LIST_NEW, TV_LIST_WAITING, TV_LIST_FILED}) {
            TvLayoutInput in{320, height, 20, true, true, 7, 15, 5, 2, last};
            TvLayoutResult r;
            LayoutMainWindowRects(in, &r);
            const int P = r.messages.bottom - r.messages.top;
            ASSERT_GE(P, 0) << height;
            for (int i = 0; i < 3; ++i) {
                ASSERT_GE(r.areas[i].bottom, r.areas[i].top) << height;
                if (r.areas[i].bottom > r.areas[i].top) {
                    ASSERT_LE(r.areas[i].bottom, P - 4) << height << " area " << i;
                }
                if (i > 0) {
                    ASSERT_LE(r.areas[i - 1].bottom, r.areas[i].top) << height;
                }
            }
            ASSERT_GE(r.filedList.bottom, r.filedList.top);
        }
    }
}

TEST(MainLayout, ListPaneOrder)
{
    const struct {
        int current;
        bool backwards;
        int next;
    } cases[] = {
        {TV_LIST_NEW, false, TV_LIST_WAITING},    {TV_LIST_WAITING, false, TV_LIST_FILED},
        {TV_LIST_FILED, false, TV_LIST_NEW},      {TV_LIST_NEW, true, TV_LIST_FILED},
        {TV_LIST_FILED, true, TV_LIST_WAITING},   {TV_LIST_WAITING, true, TV_LIST_NEW},
        {0, false, TV_LIST_NEW},                  {1123, true, TV_LIST_NEW},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.next, NextListPane(c.current, c.backwards)) << c.current << " " << c.backwards;
}

TEST(MainLayout, HelpTopics)
{
    const struct {
        int command, topic;
    } commands[] = {
        {2, 725}, {1101, 700}, {1109, 740}, {1122, 721}, {1123, 736}, {1142, 708}, {1152, 734},
        {1221, 742}, {1306, 729}, {1314, 762},
        // No topic: the caller's own, unknown ids, gaps in the table.
        {1150, 0}, {1151, 0}, {0, 0}, {1, 0}, {1113, 0}, {1131, 0}, {1315, 0}, {-1, 0},
    };
    for (const auto &c : commands)
        EXPECT_EQ(c.topic, HelpTopicForCommand(c.command)) << c.command;

    const struct {
        int hit, topic;
    } clicks[] = {
        {0, 109}, {2, 600}, {3, 604}, {4, 601}, {8, 602}, {9, 603}, {10, 605}, {13, 605}, {17, 605},
        {1, 0}, {5, 0}, {7, 0}, {18, 0}, {-1, 0}, {20, 0},
    };
    for (const auto &c : clicks)
        EXPECT_EQ(c.topic, HelpTopicForHitTest(c.hit)) << c.hit;
}

TEST(MainLayout, SettingsChange)
{
    const struct {
        const char *section;
        bool formats, colors;
    } cases[] = {
        {nullptr, true, true}, {"", true, true},        {"intl", true, false}, {"INTL", true, false},
        {"Colors", false, true}, {"windows", false, false}, {"intl2", false, false},
    };
    for (const auto &c : cases) {
        TvSettingsChange e = SettingsChangeEffects(c.section);
        EXPECT_EQ(c.formats, e.formats) << (c.section ? c.section : "(none)");
        EXPECT_EQ(c.colors, e.colors) << (c.section ? c.section : "(none)");
    }
}

TEST(MainLayout, SavedPlacement)
{
    const struct {
        char state;
        TvRect window;
        const char *saved;
    } cases[] = {
        {'Z', {-4, -4, 1028, 772}, "Z 1024 68 956 768 51 717"},
        {'I', {-32000, -32000, -31840, -31970}, "I 1024 68 956 768 51 717"},
        {'N', {100, 50, 700, 500}, "N 1024 100 700 768 50 500"},
        {'N', {-40, 10, 600, 400}, "N 1024 0 600 768 10 400"},
        {'N', {500, -20, 1100, 800}, "N 1024 500 1024 768 0 768"},
        {'?', {100, 50, 700, 500}, "N 1024 100 700 768 50 500"},
    };
    for (const auto &c : cases) {
        TvWindowPlacement p = PlacementToSave(c.state, 1024, 768, c.window);
        char text[64];
        ASSERT_TRUE(FormatWindowPlacement(p, text, sizeof text));
        EXPECT_STREQ(c.saved, text);
    }

    // What is saved for a maximised window reads back as a fitting
    // placement of 888 x 666 at 68, 51.
    TvWindowPlacement back{};
    char text[64];
    ASSERT_TRUE(FormatWindowPlacement(PlacementToSave('Z', 1024, 768, TvRect{}), text, sizeof text));
    ASSERT_TRUE(ParseWindowPlacement(text, &back));
    EXPECT_TRUE(PlacementFits(back, 1024, 768));
    EXPECT_EQ(888, back.right - back.left);
    EXPECT_EQ(666, back.bottom - back.top);

    // A buffer one short of the text refuses it.
    const size_t need = std::string("Z 1024 68 956 768 51 717").size() + 1;
    EXPECT_TRUE(FormatWindowPlacement(back, text, need));
    EXPECT_FALSE(FormatWindowPlacement(back, text, need - 1));
    EXPECT_STREQ("", text);
}

} // namespace
