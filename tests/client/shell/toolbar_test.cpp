// The tool bar's button sets, sizes and places, and the status bar's layout
// and message rules.
#include "client/shell/toolbar.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Button {
    int id;
    bool gap;
    std::string base;
    int text;
    int command;
    bool operator==(const Button &o) const
    {
        return id == o.id && gap == o.gap && base == o.base && text == o.text && command == o.command;
    }
};
std::ostream &operator<<(std::ostream &os, const Button &b)
{
    return os << "{" << b.id << "," << b.gap << "," << b.base << "," << b.text << "," << b.command << "}";
}

std::vector<Button> Set(const TvToolButtonDef *set, int count)
{
    std::vector<Button> v;
    for (int i = 0; i < count; ++i)
        v.push_back({set[i].controlId, set[i].gap, set[i].bitmapBase, set[i].textId, set[i].command});
    return v;
}

TEST(ToolBar, ButtonSets)
{
    const std::vector<Button> main = {
        {110, true, "Send", 360, 1101},     {111, false, "Forward", 361, 1221},
        {116, false, "View", 366, 1104},    {101, false, "Printer", 351, 1105},
        {118, true, "Acquire", 368, 1102},  {112, true, "Information", 362, 1103},
        {113, false, "Save", 363, 1107},    {115, false, "Delete", 365, 1106},
        {117, true, "Status", 367, 1132},   {114, true, "Tidyup", 364, 1123},
        {109, true, "Help", 359, 1150},
    };
    const std::vector<Button> viewer = {
        {100, true, "QuitView", 350, 1307},  {101, true, "Printer", 351, 1105},
        {105, true, "OneToOne", 355, 1302},  {106, false, "TwoToOne", 356, 1303},
        {107, false, "ThreeToOne", 357, 1304}, {108, false, "Overview", 358, 1305},
        {104, true, "Rotate", 354, 1306},    {102, true, "Import", 352, 1312},
        {103, false, "Export", 353, 1311},   {109, true, "Help", 359, 1150},
    };
    EXPECT_EQ(Set(kMainToolSet, TV_TOOL_MAIN_COUNT), main);
    EXPECT_EQ(Set(kViewerToolSet, TV_TOOL_VIEWER_COUNT), viewer);
    // A click sends the button's command, except the quit-view button.
    for (const auto &b : main)
        EXPECT_EQ(ToolCommandOf(b.id), b.command) << b;
    for (const auto &b : viewer)
        EXPECT_EQ(ToolCommandOf(b.id), b.id == 100 ? 2 : b.command) << b;
}

TEST(ToolBar, CommandMappingFallsBackToCancel)
{
    const struct {
        int id, command;
    } cases[] = {
        {100, 2},    {101, 1105}, {102, 1312}, {103, 1311}, {104, 1306}, {105, 1302}, {106, 1303},
        {107, 1304}, {108, 1305}, {109, 1150}, {110, 1101}, {111, 1221}, {112, 1103}, {113, 1107},
        {114, 1123}, {115, 1106}, {116, 1104}, {117, 1132}, {118, 1102}, {99, 2},     {119, 2},
        {0, 2},      {-1, 2},     {1101, 2},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ToolCommandOf(c.id), c.command) << c.id;
}

TEST(ToolBar, ButtonSizeFollowsScreenAndRows)
{
    const struct {
        int screen;
        bool icons, text;
        int width, height, bitmapW, bitmapH;
    } cases[] = {
        {640, true, true, 52, 34, 32, 16},   {800, true, true, 52, 34, 32, 16},
        {801, true, true, 60, 42, 48, 24},   {1024, true, false, 60, 29, 48, 24},
        {800, true, false, 52, 21, 32, 16},  {1024, false, true, 60, 18, 48, 24},
        {1024, false, false, 60, 5, 48, 24}, {800, false, false, 52, 5, 32, 16},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.screen);
        EXPECT_EQ(ToolButtonWidth(c.screen), c.width);
        EXPECT_EQ(ToolButtonHeight(c.screen, c.icons, c.text), c.height);
        EXPECT_EQ(ToolBitmapWidth(c.screen), c.bitmapW);
        EXPECT_EQ(ToolBitmapHeight(c.screen), c.bitmapH);
    }
}

TEST(ToolBar, ButtonPlacesAddWidthsAndGaps)
{
    const int main60[] = {5, 65, 125, 185, 250, 315, 375, 435, 500, 565, 630};
    for (int i = 0; i < TV_TOOL_MAIN_COUNT; ++i)
        EXPECT_EQ(ToolButtonX(kMainToolSet, TV_TOOL_MAIN_COUNT, i, 60), main60[i]) << i;
    const int viewer52[] = {5, 62, 119, 171, 223, 275, 332, 389, 441, 498};
    for (int i = 0; i < TV_TOOL_VIEWER_COUNT; ++i)
        EXPECT_EQ(ToolButtonX(kViewerToolSet, TV_TOOL_VIEWER_COUNT, i, 52), viewer52[i]) << i;
}

TEST(ToolBar, BitmapNames)
{
    const struct {
        const char *base;
        int screen;
        bool grey;
        const char *name;
    } cases[] = {
        {"Send", 1024, false, "TavrSendHi"},
        {"Send", 800, true, "TavrSendLoGrey"},
        {"Tidyup", 801, true, "TavrTidyupHiGrey"},
        {"Help", 640, false, "TavrHelpLo"},
    };
    for (const auto &c : cases) {
        char out[64];
        ToolBitmapName(out, sizeof out, "Tavr", c.base, c.screen, c.grey);
        EXPECT_STREQ(out, c.name);
    }
    char small[8];
    ToolBitmapName(small, sizeof small, "Tavr", "Information", 1024, true);
    EXPECT_STREQ(small, "TavrInf");
}

TEST(StatusBar, FieldLayoutAndNarrowRule)
{
    // w = 6, h = 16: fields from y 3 to 17, side fields 48 wide.
    TvStatusLayout l;
    StatusBarLayout(400, 6, 16, &l);
    EXPECT_TRUE(l.sideFields);
    EXPECT_EQ(l.state.left, 345);
    EXPECT_EQ(l.state.right, 393);
    EXPECT_EQ(l.spool.left, 288);
    EXPECT_EQ(l.spool.right, 336);
    EXPECT_EQ(l.message.left, 7);
    EXPECT_EQ(l.message.right, 279);
    for (const TvBarRect &r : {l.state, l.spool, l.message}) {
        EXPECT_EQ(r.top, 3);
        EXPECT_EQ(r.bottom, 17);
    }
    // The side fields need 20 w up to 16 pixels left of the spool field:
    // W >= 36 w + 32.
    const struct {
        int width;
        bool side;
        int messageRight;
    } cases[] = {{248, true, 127}, {247, false, 240}, {200, false, 193}, {0, false, -7}};
    for (const auto &c : cases) {
        StatusBarLayout(c.width, 6, 16, &l);
        EXPECT_EQ(l.sideFields, c.side) << c.width;
        EXPECT_EQ(l.message.right, c.messageRight) << c.width;
    }
}

TEST(StatusBar, FieldTexts)
{
    const int spool[][2] = {{100, 0}, {101, 0}, {102, 313}, {103, 314}, {104, 316},
                            {105, 315}, {106, 316}, {107, 317}, {108, 0},  {-1, 0}};
    for (const auto &s : spool)
        EXPECT_EQ(SpoolFieldStringId(s[0]), s[1]) << s[0];
    const int state[][2] = {{0, 310}, {1, 0}, {2, 311}, {3, 312}, {4, 0}};
    for (const auto &s : state)
        EXPECT_EQ(StateFieldStringId(s[0]), s[1]) << s[0];
}

TEST(StatusBar, MessageBufferRules)
{
    const std::string first80(80, 'a'), long81 = first80 + "Z";
    const struct {
        int mode;
        const char *text;
        bool online;
        unsigned value;
        TvStatusAction action;
        const char *buffer;   // after the call, from "old"
        int stringId;
    } cases[] = {
        {0, "Ready", true, 0, TV_STATUS_REPAINT, "Ready", 0},
        {1, "Ready", false, 0, TV_STATUS_REPAINT, "Ready", 0},
        {0, long81.c_str(), true, 0, TV_STATUS_REPAINT, first80.c_str(), 0},
        {1, "", true, 0, TV_STATUS_REPAINT, "", 0},
        {0, nullptr, true, 0, TV_STATUS_REPAINT, "", 0},
        {0, nullptr, false, 0, TV_STATUS_REPAINT, "", 320},
        {1, nullptr, false, 0, TV_STATUS_REPAINT, "old", 0},
        {2, nullptr, true, 318, TV_STATUS_REPAINT, "old", 318},
        {2, "ignored", true, 0x10000 + 319, TV_STATUS_REPAINT, "old", 319},
        {3, nullptr, true, 1101, TV_STATUS_OVERDRAW, "old", 1101},
        {4, "x", true, 5, TV_STATUS_NOTHING, "old", 0},
        {-1, "x", true, 5, TV_STATUS_NOTHING, "old", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " value " << c.value);
        char buf[TV_STATUS_TEXT_MAX + 1] = "old";
        int id = -5;
        EXPECT_EQ(StatusTextPlan(buf, c.mode, c.text, c.online, c.value, &id), c.action);
        EXPECT_STREQ(buf, c.buffer);
        EXPECT_EQ(id, c.stringId);
    }
}

}  // namespace
