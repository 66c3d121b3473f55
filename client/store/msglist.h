// The message lists: one row record, the growable store behind each list
// box, the merge of a freshly read directory file into a list, compaction and
// the single rebuild entry point.
//
// A list box item carries no text: its item data is the index of a slot in
// the list's store. The store does not know the list box; it drives it
// through a ListView, a small table of list-box operations that the shell
// implements over a real owner-drawn list box and the tests over a fake one.
// StoreListAdd, StoreListDelete and StoreListReset are the routing the list
// box's subclass procedure does for its add, delete and reset messages.
#ifndef TAVRINE_CLIENT_STORE_MSGLIST_H
#define TAVRINE_CLIENT_STORE_MSGLIST_H

#include <cstddef>
#include <cstdint>

// Kinds of a list entry.
enum : int32_t {
    TV_KIND_DELETED = -1,
    TV_KIND_FILED = 0,
    TV_KIND_SEND = 1,
    TV_KIND_PREVIEW = 2,
    TV_KIND_RECEIVE = 3,
    TV_KIND_SCAN = 4,
};

enum {
    TV_ENTRY_NAME_SIZE = 13,
    TV_ENTRY_ASSOC_SIZE = 79,
    TV_ENTRY_STATUS_SIZE = 3,
    TV_ENTRY_COMMENT_SIZE = 81,
};

// One row of a list. Fixed-size: the entry block is copied as a whole.
struct MessageListEntry {
    char Name[TV_ENTRY_NAME_SIZE];
    char AssocFile[TV_ENTRY_ASSOC_SIZE];
    int32_t Kind;
    char Status[TV_ENTRY_STATUS_SIZE];
    char UserStatus[TV_ENTRY_STATUS_SIZE];
    int32_t InGroup;
    int32_t DeleteMark;
    int32_t ListIndex;
    int32_t Hour, Minute, Second, Day, Month, Year;
    char Comment[TV_ENTRY_COMMENT_SIZE];
};
// The fields and two alignment gaps (behind UserStatus and at the end).
static_assert(sizeof(MessageListEntry) == 224, "MessageListEntry keeps its layout");

// A new entry: zero, DeleteMark and ListIndex -1.
void ClearListEntry(MessageListEntry* e, int32_t inGroup);

// Result codes of a list-box add.
enum : intptr_t { TV_LB_ERR = -1, TV_LB_ERRSPACE = -2, TV_LB_UPDATED = -99 };

// The list-box operations the store needs. Item data are slot indexes.
struct ListView {
    void* context;
    // Adds an item whose data is slot; its index, or a negative value.
    int (*addItem)(void* context, intptr_t slot);
    // Deletes item index; false when there is none.
    bool (*deleteItem)(void* context, int index);
    // Removes every item.
    void (*reset)(void* context);
    // Number of items, negative on failure.
    int (*count)(void* context);
    // Item data of item index, TV_LB_ERR when there is none.
    intptr_t (*getItemData)(void* context, int index);
    bool (*setItemData)(void* context, int index, intptr_t data);
    // Repaint without erasing.
    void (*invalidate)(void* context);
    // Turns redrawing on or off.
    void (*setRedraw)(void* context, bool on);
    // Index of the single selected item, -1 when none or several.
    int (*selected)(void* context);
};

struct TvPaneRect {
    int32_t left, top, right, bottom;
};

struct MessageIdentityIndex;

// The growable store behind one list box.
struct MessageListTable {
    int32_t Allocated;        // 0 no memory yet, -1 unusable
    int32_t Used;             // slots in use, live or deleted
    int32_t CompactPending;
    TvPaneRect PaneRect;      // kept by the window layout
    MessageListEntry* Storage;
    MessageIdentityIndex* Index;  // identity -> live slot, for the add's search
};

// Growth step of the store, and the slack compaction gives back.
enum { TV_STORE_GROWTH = 5, TV_STORE_SHRINK_SLACK = 10 };

// The add of the list-box routing. entry null is the reset request (-1):
// the store is freed and unusable. Results: the new slot index; TV_LB_UPDATED
// when a live slot with the same identity was overwritten; TV_LB_ERR for a
// reset request; TV_LB_ERRSPACE when memory failed.
intptr_t LogListAdd(MessageListTable* table, const ListView* view, const MessageListEntry* entry);
// Marks slot deleted; positive, or TV_LB_ERR when there is no such slot.
intptr_t LogListDelete(MessageListTable* table, intptr_t slot);
// Forgets every slot (memory kept).
void LogListReset(MessageListTable* table, const ListView* view);

// What the subclass procedure does: the store first, then the list box.
intptr_t StoreListAdd(MessageListTable* table, const ListView* view, const MessageListEntry* entry);
bool StoreListDelete(MessageListTable* table, const ListView* view, int itemIndex);
void StoreListReset(MessageListTable* table, const ListView* view);
// Frees the store and makes it unusable (the add with -1).
void StoreListInvalidate(MessageListTable* table, const ListView* view);

// The list-box item whose data is slot, walked from the start; -1 if none.
int FindItemBySlot(const ListView* view, intptr_t slot);

// Merges one freshly read entry at *cursor. 1 when the caller must offer the
// same entry again, else 0.
int FillListFromEntries(const ListView* view, int32_t* cursor, const MessageListEntry* entry,
                        int32_t groupFlag, MessageListTable* table);
// After a file's last entry: deletes the items of this file's slots from the
// cursor on.
void DeleteRemainingEntries(const ListView* view, int32_t cursor, int32_t groupFlag,
                            MessageListTable* table);

// Closes the gaps of deleted slots, renumbering the items. 1 when it did.
int CompactTable(MessageListTable* table, const ListView* view);

// Copy of the slot behind item index; 1, or 0.
int GetTableEntry(const MessageListTable* table, const ListView* view, MessageListEntry* out,
                  int itemIndex);

// Frees a table's memory and zeroes it (program end).
void FreeListTable(MessageListTable* table);

// ---------------------------------------------------------------- the three lists
// The shell registers the list boxes' views; the tables are the store's own.
MessageListTable* ListTable(int listId);
const ListView* ListViewOf(int listId);
void SetListView(int listId, const ListView* view);

int CompactWindow(int listId);
int GetListEntry(int listId, MessageListEntry* out, int itemIndex);

void SetListReady(int listId, bool ready);
// Tests the list's ready flag, pumping messages up to five times while clear.
bool WaitListReady(int listId);

// Rebuilds one list from its files (does nothing while files are not
// accessible, or while a rebuild of the same list runs).
void RefreshMessageList(int listId);

// The rebuild of each list (msgdir.cpp, docinfo.cpp).
void UpdateNewList(void);
void UpdateWaitingList(void);
void UpdateFiledList(void);

#endif
