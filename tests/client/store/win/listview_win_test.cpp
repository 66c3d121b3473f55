// The store driving a real sorted owner-drawn list box of the system's
// user32: adds, deletes, resets and compaction under WM_COMPAREITEM keep
// every item's data on a live slot.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "client/store/listview_win.h"
#include "client/store/msglist.h"

namespace {

MessageListTable* g_table;
StoreSortKey g_key;

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l)
{
    switch (msg) {
    case WM_COMPAREITEM: {
        const COMPAREITEMSTRUCT* c = reinterpret_cast<const COMPAREITEMSTRUCT*>(l);
        return CompareListSlots(g_table, g_key, c->itemData1, c->itemData2);
    }
    case WM_MEASUREITEM:
        reinterpret_cast<MEASUREITEMSTRUCT*>(l)->itemHeight = 16;
        return TRUE;
    case WM_DRAWITEM:
        return TRUE;
    default:
        return DefWindowProcA(hwnd, msg, w, l);
    }
}

MessageListEntry Make(const char* name, int32_t group, const char* assoc = "")
{
    MessageListEntry e;
    ClearListEntry(&e, group);
    std::strcpy(e.Name, name);
    std::strcpy(e.AssocFile, assoc);
    std::strcpy(e.Status, "OK");
    e.Kind = group >= 0 ? TV_KIND_RECEIVE : TV_KIND_FILED;
    return e;
}

class ListBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = ParentProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TvStoreTestParent";
        RegisterClassA(&wc);
        parent = CreateWindowA("TvStoreTestParent", "", WS_OVERLAPPEDWINDOW, 0, 0, 300, 300, nullptr, nullptr,
                               wc.hInstance, nullptr);
        ASSERT_NE(parent, nullptr);
        box = CreateWindowA("LISTBOX", "", WS_CHILD | LBS_OWNERDRAWFIXED | LBS_SORT | LBS_NOTIFY, 0, 0, 200, 200,
                            parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(1120)), wc.hInstance, nullptr);
        ASSERT_NE(box, nullptr);
        g_table = &table;
        InitWin32ListView(&view, box, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(parent);
        FreeListTable(&table);
    }

    void Pass(const std::vector<MessageListEntry>& file, int32_t group)
    {
        int32_t cursor = 0;
        for (const MessageListEntry& e : file)
            while (FillListFromEntries(&view.view, &cursor, &e, group, &table))
            {
            }
        DeleteRemainingEntries(&view.view, cursor, group, &table);
        CompactTable(&table, &view.view);
    }

    std::vector<std::string> ItemNames()
    {
        std::vector<std::string> names;
        int n = static_cast<int>(SendMessageA(box, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            LRESULT slot = SendMessageA(box, LB_GETITEMDATA, static_cast<WPARAM>(i), 0);
            EXPECT_GE(slot, 0);
            EXPECT_LT(slot, table.Used);
            if (slot < 0 || slot >= table.Used)
                continue;
            EXPECT_NE(table.Storage[slot].Kind, TV_KIND_DELETED);
            // Compaction numbers the items; between compactions -1.
            if (table.Storage[slot].ListIndex != -1) {
                EXPECT_EQ(table.Storage[slot].ListIndex, i);
            }
            names.push_back(table.Storage[slot].Name[0] ? table.Storage[slot].Name : table.Storage[slot].AssocFile);
        }
        return names;
    }

    HWND parent = nullptr, box = nullptr;
    MessageListTable table{};
    Win32ListView view{};
};

TEST_F(ListBoxTest, MergesKeepItemDataOnLiveSlots)
{
    g_key = TV_SORT_GROUP_FIRST;
    Pass({Make("U1.G3N", 0), Make("U2.G3N", 0), Make("U3.G3N", 0)}, 0);
    Pass({Make("G1.G3N", 1), Make("G2.G3N", 1)}, 1);
    std::vector<std::string> names = ItemNames();
    ASSERT_EQ(names.size(), 5u);
    EXPECT_EQ(names[0].substr(0, 1), "G");   // group messages sort first
    EXPECT_EQ(names[1].substr(0, 1), "G");

    // U1 and G1 leave, U4 arrives; compaction renumbers the items.
    Pass({Make("U2.G3N", 0), Make("U3.G3N", 0), Make("U4.G3N", 0)}, 0);
    Pass({Make("G2.G3N", 1)}, 1);
    names = ItemNames();
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(names[0], "G2.G3N");
    EXPECT_EQ(table.Used, 4);

    // An update of a live identity is no add.
    MessageListEntry again = Make("U4.G3N", 0);
    EXPECT_EQ(StoreListAdd(&table, &view.view, &again), TV_LB_UPDATED);
    EXPECT_EQ(SendMessageA(box, LB_GETCOUNT, 0, 0), 4);
    // The reset request empties both.
    StoreListInvalidate(&table, &view.view);
    EXPECT_EQ(SendMessageA(box, LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(table.Allocated, -1);
}

TEST_F(ListBoxTest, FiledSortsByAssociatedFileIgnoringCase)
{
    g_key = TV_SORT_ASSOC_FILE;
    Pass({Make("", -1, "beta.doc"), Make("", -1, "ALPHA.TIF"), Make("", -1, "Gamma.txt")}, 0);
    EXPECT_EQ(ItemNames(), (std::vector<std::string>{"ALPHA.TIF", "beta.doc", "Gamma.txt"}));
    // A selected single item is reported.
    SendMessageA(box, LB_SETCURSEL, 1, 0);
    EXPECT_EQ(view.view.selected(view.view.context), 1);
}

} // namespace
