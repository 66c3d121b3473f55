// A list box stand-in for the store: items carry slot indexes as their data;
// a sorted one places each new item by the slot's contents, as the owner-drawn
// sorted list boxes do, so item positions and slot numbers differ.
#ifndef TAVRINE_TESTS_CLIENT_STORE_FAKELISTVIEW_H
#define TAVRINE_TESTS_CLIENT_STORE_FAKELISTVIEW_H

#include <cstdint>
#include <string>
#include <vector>

#include "client/store/msglist.h"

namespace tvtest {

class FakeListView {
public:
    // With sorted, table is read to place new items (group messages first,
    // then by name descending); else items stay in the order of adding.
    explicit FakeListView(const MessageListTable* table, bool sorted = true);
    const ListView* View() const { return &view_; }

    std::vector<intptr_t> items;
    int selected = -1;
    int adds = 0, deletes = 0, resets = 0;
    bool redraw = true;
    bool refuseAdds = false;

    // The slots behind the items, in item order.
    std::vector<MessageListEntry> Entries() const;
    // Names of the items' slots, sorted, for order-free comparisons.
    std::vector<std::string> SortedNames() const;

private:
    const MessageListTable* table_;
    bool sorted_;
    ListView view_;
    static int Add(void* c, intptr_t slot);
    static bool Delete(void* c, int index);
    static void Reset(void* c);
    static int Count(void* c);
    static intptr_t Data(void* c, int index);
    static bool SetData(void* c, int index, intptr_t data);
    static void Invalidate(void* c);
    static void Redraw(void* c, bool on);
    static int Selected(void* c);
};

} // namespace tvtest

#endif
