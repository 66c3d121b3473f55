// The greying rule: the connection, the selection and the pane decide
// which commands and buttons are usable.
#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "client/shell/menustate.h"

namespace {

using Key = std::pair<int, int>; // kind, id

std::map<Key, bool> StatesFor(const TvMenuStateInput &in)
{
    TvMenuItemState items[TV_MENU_STATE_MAX];
    int n = ComputeMenuState(in, items, TV_MENU_STATE_MAX);
    EXPECT_LT(n, TV_MENU_STATE_MAX) << "the item array is too small for the rule";
    std::map<Key, bool> m;
    for (int i = 0; i < n; ++i)
        m[{items[i].kind, items[i].id}] = items[i].enabled;
    return m;
}

Key Main(int id) { return {TV_ITEM_MAIN, id}; }
Key Button(int id) { return {TV_ITEM_BUTTON, id}; }

TEST(MenuState, OfflineGreysEveryServerCommandButReconnect)
{
    TvMenuStateInput in{};
    in.pane = 1121;
    in.oneSelected = true;
    auto m = StatesFor(in);
    for (int id : {1101, 1102, 1106, 1107, 1108, 1110, 1111, 1112, 1115, 1116, 1117, 1123, 1130, 1132, 1221})
        EXPECT_FALSE(m.at(Main(id))) << id;
    for (int id : {110, 111, 113, 114, 115, 117, 118})
        EXPECT_FALSE(m.at(Button(id))) << id;
    EXPECT_TRUE(m.at(Main(1210)));
    EXPECT_TRUE(m.at(Main(1103))) << "information needs no server";
    EXPECT_TRUE(m.at(Button(112)));
}

TEST(MenuState, OnlineFollowsPaneAndSelection)
{
    struct Case {
        int pane;
        bool one, multi;
        bool hold, save, del, info;
    } cases[] = {
        {1121, true, false, true, true, true, true},    // one waiting message: hold, save, delete
        {1120, true, false, false, true, true, true},   // one new message: no hold
        {1122, true, false, false, false, true, true},  // filed: no move/save
        {1120, false, true, false, false, true, false}, // several new: delete only
        {1122, false, false, false, false, false, false},
    };
    for (const Case &c : cases) {
        TvMenuStateInput in{};
        in.online = true;
        in.pane = c.pane;
        in.oneSelected = c.one;
        in.multiSelected = c.multi;
        auto m = StatesFor(in);
        SCOPED_TRACE(c.pane);
        EXPECT_EQ(c.hold, m.at(Main(1108)));
        EXPECT_EQ(c.save, m.at(Main(1107)));
        EXPECT_EQ(c.save, m.at(Button(113)));
        EXPECT_EQ(c.del, m.at(Main(1106)));
        EXPECT_EQ(c.del, m.at(Button(115)));
        EXPECT_EQ(c.info, m.at(Main(1103)));
        EXPECT_TRUE(m.at(Main(1101)));
    }
}

TEST(MenuState, AcquireNeedsAScannerOrBothLibraries)
{
    TvMenuStateInput in{};
    in.online = true;
    in.pane = 1120;
    EXPECT_FALSE(StatesFor(in).at(Main(1102)));
    in.imagingLoaded = true;
    EXPECT_FALSE(StatesFor(in).at(Main(1102)));
    in.twainLoaded = true;
    EXPECT_TRUE(StatesFor(in).at(Main(1102)));
    EXPECT_TRUE(StatesFor(in).at(Main(1117)));
    in.imagingLoaded = in.twainLoaded = false;
    in.serverScanner = true;
    EXPECT_TRUE(StatesFor(in).at(Button(118)));
    EXPECT_FALSE(StatesFor(in).at(Main(1117)));
}

TEST(MenuState, MailAddressBookTakesOverTheAddressCommands)
{
    TvMenuStateInput in{};
    in.online = true;
    in.pane = 1120;
    in.mailEnabled = in.mailLoggedOn = true;
    EXPECT_TRUE(StatesFor(in).at(Main(1110)));
    in.mailAddressBook = true;
    auto m = StatesFor(in);
    EXPECT_FALSE(m.at(Main(1110)));
    EXPECT_FALSE(m.at(Main(1112)));
}

} // namespace
