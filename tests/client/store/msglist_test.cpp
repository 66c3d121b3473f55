#include "client/store/msglist.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/client/store/fakelistview.h"
#include "tests/client/store/storetestutil.h"

namespace {

using tvtest::FakeListView;

MessageListEntry Make(const char* name, const char* status = "OK", int32_t group = 0, const char* assoc = "")
{
    MessageListEntry e;
    ClearListEntry(&e, group);
    std::strcpy(e.Name, name);
    std::strcpy(e.AssocFile, assoc);
    std::strcpy(e.Status, status);
    std::strcpy(e.UserStatus, "Wa");
    e.Kind = TV_KIND_RECEIVE;
    e.Year = 96;
    e.Month = 5;
    return e;
}

class ListStoreTest : public ::testing::Test {
protected:
    MessageListTable table{};
    FakeListView view{&table};
    void TearDown() override { FreeListTable(&table); }

    // One pass of a file: the entries merged in order, then the rest deleted.
    void Pass(const std::vector<MessageListEntry>& file, int32_t group = 0)
    {
        int32_t cursor = 0;
        for (const MessageListEntry& e : file)
            while (FillListFromEntries(view.View(), &cursor, &e, group, &table))
            {
            }
        DeleteRemainingEntries(view.View(), cursor, group, &table);
        CompactTable(&table, view.View());
    }

    // Every item names a live slot, and no live slot lacks an item.
    void ExpectConsistent()
    {
        std::vector<int> seen(static_cast<size_t>(table.Used), 0);
        for (intptr_t slot : view.items) {
            ASSERT_GE(slot, 0);
            ASSERT_LT(slot, table.Used);
            EXPECT_NE(table.Storage[slot].Kind, TV_KIND_DELETED);
            ++seen[static_cast<size_t>(slot)];
        }
        for (int32_t i = 0; i < table.Used; ++i)
            EXPECT_EQ(seen[static_cast<size_t>(i)], table.Storage[i].Kind == TV_KIND_DELETED ? 0 : 1) << i;
    }
};

TEST_F(ListStoreTest, SameIdentityUpdatesInPlace)
{
    MessageListEntry a = Make("A.G3N", "Re", 0, "c:\\doc\\x.txt");
    ASSERT_EQ(StoreListAdd(&table, view.View(), &a), 0);
    MessageListEntry again = Make("a.g3n", "OK", 0, "C:\\DOC\\X.TXT");
    EXPECT_EQ(StoreListAdd(&table, view.View(), &again), TV_LB_UPDATED);
    EXPECT_EQ(view.items.size(), 1u);
    EXPECT_STREQ(table.Storage[0].Status, "OK");
    // Another group flag is another identity.
    MessageListEntry group = Make("A.G3N", "OK", 1, "c:\\doc\\x.txt");
    EXPECT_EQ(StoreListAdd(&table, view.View(), &group), 1);
    ExpectConsistent();
}

TEST_F(ListStoreTest, GrowsByFiveAndCompactionShrinks)
{
    char name[16];
    for (int i = 0; i < 20; ++i) {
        std::snprintf(name, sizeof name, "M%02d.G3N", i);
        MessageListEntry e = Make(name);
        ASSERT_EQ(StoreListAdd(&table, view.View(), &e), i);
        if (i == 4) {
            EXPECT_EQ(table.Allocated, 5);
        }
        if (i == 5) {
            EXPECT_EQ(table.Allocated, 10);
        }
    }
    EXPECT_EQ(table.Allocated, 20);
    // Delete every item but those of M03, M11 and M17, walking the sorted box.
    for (int k = static_cast<int>(view.items.size()) - 1; k >= 0; --k) {
        std::string n = table.Storage[view.items[static_cast<size_t>(k)]].Name;
        if (n != "M03.G3N" && n != "M11.G3N" && n != "M17.G3N") {
            ASSERT_TRUE(StoreListDelete(&table, view.View(), k));
        }
    }
    EXPECT_EQ(table.Used, 20);   // slots keep their places until compaction
    EXPECT_EQ(CompactTable(&table, view.View()), 1);
    EXPECT_EQ(table.Used, 3);
    EXPECT_EQ(table.Allocated, 8);
    EXPECT_EQ(view.SortedNames(), (std::vector<std::string>{"M03.G3N", "M11.G3N", "M17.G3N"}));
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(table.Storage[view.items[static_cast<size_t>(k)]].ListIndex, k);
    ExpectConsistent();
    EXPECT_EQ(CompactTable(&table, view.View()), 0);   // nothing pending
}

TEST_F(ListStoreTest, ResetRequestMakesStoreUnusableUntilNextAdd)
{
    EXPECT_EQ(LogListAdd(&table, view.View(), nullptr), TV_LB_ERR);
    EXPECT_EQ(table.Allocated, -1);
    EXPECT_EQ(table.Used, 0);
    MessageListEntry out;
    EXPECT_EQ(GetTableEntry(&table, view.View(), &out, 0), 0);
    MessageListEntry e = Make("A.G3N");
    EXPECT_EQ(StoreListAdd(&table, view.View(), &e), 0);
    EXPECT_EQ(table.Allocated, 5);
    EXPECT_EQ(GetTableEntry(&table, view.View(), &out, 0), 1);
    EXPECT_STREQ(out.Name, "A.G3N");
    EXPECT_EQ(LogListDelete(&table, 7), TV_LB_ERR);
}

TEST_F(ListStoreTest, RefusedItemLeavesNoLiveSlot)
{
    view.refuseAdds = true;
    MessageListEntry e = Make("A.G3N");
    EXPECT_EQ(StoreListAdd(&table, view.View(), &e), TV_LB_ERRSPACE);
    view.refuseAdds = false;
    EXPECT_EQ(StoreListAdd(&table, view.View(), &e), 1);   // not -99: the refused slot is dead
    CompactTable(&table, view.View());
    ExpectConsistent();
}

TEST_F(ListStoreTest, MergeKeepsUnchangedItemsAndSelection)
{
    Pass({Make("A.G3N"), Make("B.G3N", "Re"), Make("C.G3N")});
    ASSERT_EQ(view.items.size(), 3u);
    // Select B's item.
    for (size_t k = 0; k < view.items.size(); ++k)
        if (std::strcmp(table.Storage[view.items[k]].Name, "B.G3N") == 0)
            view.selected = static_cast<int>(k);
    int adds = view.adds;

    // B changed status, A left the file, D arrived.
    Pass({Make("B.G3N", "OK"), Make("C.G3N"), Make("D.G3N")});
    EXPECT_EQ(view.SortedNames(), (std::vector<std::string>{"B.G3N", "C.G3N", "D.G3N"}));
    EXPECT_EQ(view.adds, adds + 1);          // only D was added
    EXPECT_EQ(view.deletes, 1);              // only A was deleted
    ASSERT_GE(view.selected, 0);
    MessageListEntry sel;
    ASSERT_EQ(GetTableEntry(&table, view.View(), &sel, view.selected), 1);
    EXPECT_STREQ(sel.Name, "B.G3N");
    EXPECT_STREQ(sel.Status, "OK");
    ExpectConsistent();

    // The same file again changes nothing.
    int deletes = view.deletes;
    adds = view.adds;
    Pass({Make("B.G3N", "OK"), Make("C.G3N"), Make("D.G3N")});
    EXPECT_EQ(view.adds, adds);
    EXPECT_EQ(view.deletes, deletes);
}

TEST_F(ListStoreTest, GroupAndUserPassesTouchOnlyTheirSlots)
{
    Pass({Make("G1.G3N", "OK", 1), Make("G2.G3N", "OK", 1)}, 1);
    Pass({Make("U1.G3N"), Make("U2.G3N")}, 0);
    Pass({Make("U2.G3N")}, 0);
    EXPECT_EQ(view.SortedNames(), (std::vector<std::string>{"G1.G3N", "G2.G3N", "U2.G3N"}));
    Pass({Make("G2.G3N", "OK", 1)}, 1);
    EXPECT_EQ(view.SortedNames(), (std::vector<std::string>{"G2.G3N", "U2.G3N"}));
    ExpectConsistent();
}

TEST_F(ListStoreTest, DeleteMarkSurvivesAReread)
{
    Pass({Make("A.G3N"), Make("B.G3N")});
    table.Storage[view.items[0]].DeleteMark = 0;
    intptr_t marked = view.items[0];
    Pass({Make("A.G3N"), Make("B.G3N")});
    EXPECT_EQ(table.Storage[marked].DeleteMark, 0);
}

class ReadyFlagTest : public tvtest::StoreTest {};

TEST_F(ReadyFlagTest, BusyListSkipsRefresh)
{
    tvtest::WriteAll(SendPath(), tvtest::SendHeader() + tvtest::SendEntry("A.CTL", "x", "", "SEND", "Su", "Wa"));
    SetListReady(TV_LIST_WAITING, false);
    EXPECT_FALSE(WaitListReady(TV_LIST_WAITING));
    RefreshMessageList(TV_LIST_WAITING);
    EXPECT_TRUE(View(TV_LIST_WAITING).items.empty());
    SetListReady(TV_LIST_WAITING, true);
    RefreshMessageList(TV_LIST_WAITING);
    EXPECT_EQ(View(TV_LIST_WAITING).items.size(), 1u);
    // Not while the files are not accessible.
    tvtest::WriteAll(SendPath(), tvtest::SendHeader());
    tvtest::Record().accessible = false;
    RefreshMessageList(TV_LIST_WAITING);
    EXPECT_EQ(View(TV_LIST_WAITING).items.size(), 1u);
}

} // namespace
