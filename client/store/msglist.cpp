#include "client/store/msglist.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

#include "client/store/ctltypes.h"
#include "client/store/storehooks.h"

// Identity of a slot -> its index. The add looks for a live slot of the same
// identity; with thousands of messages a walk over the store for every add
// would make the first fill quadratic.
struct MessageIdentityIndex {
    std::unordered_map<std::string, int32_t> slots;
};

namespace {

std::string IdentityKey(const MessageListEntry& e)
{
    std::string key;
    key.reserve(TV_ENTRY_ASSOC_SIZE + TV_ENTRY_NAME_SIZE + 2);
    for (const char* p = e.AssocFile; *p; ++p)
        key += (*p >= 'a' && *p <= 'z') ? static_cast<char>(*p - 'a' + 'A') : *p;
    key += '\0';
    for (const char* p = e.Name; *p; ++p)
        key += (*p >= 'a' && *p <= 'z') ? static_cast<char>(*p - 'a' + 'A') : *p;
    key += e.InGroup ? '1' : '0';
    return key;
}

void IndexForget(MessageListTable* t, int32_t slot)
{
    if (!t->Index)
        return;
    auto it = t->Index->slots.find(IdentityKey(t->Storage[slot]));
    if (it != t->Index->slots.end() && it->second == slot)
        t->Index->slots.erase(it);
}

void IndexRemember(MessageListTable* t, int32_t slot)
{
    if (!t->Index)
        t->Index = new MessageIdentityIndex;
    t->Index->slots.emplace(IdentityKey(t->Storage[slot]), slot);
}

void IndexClear(MessageListTable* t)
{
    if (t->Index)
        t->Index->slots.clear();
}

// Frees the block and makes the store unusable.
void DropStorage(MessageListTable* t)
{
    std::free(t->Storage);
    t->Storage = nullptr;
    t->Allocated = -1;
    t->Used = 0;
    IndexClear(t);
}

// Grows (or shrinks) the block to count slots, new slots zeroed.
bool Resize(MessageListTable* t, int32_t count)
{
    int32_t before = t->Allocated > 0 && t->Storage ? t->Allocated : 0;
    void* p = std::realloc(before ? t->Storage : nullptr, static_cast<size_t>(count) * sizeof(MessageListEntry));
    if (!p)
        return false;
    t->Storage = static_cast<MessageListEntry*>(p);
    if (count > before)
        std::memset(t->Storage + before, 0, static_cast<size_t>(count - before) * sizeof(MessageListEntry));
    t->Allocated = count;
    return true;
}

void MarkFree(MessageListEntry* e)
{
    std::memset(e, 0, sizeof *e);
    e->Kind = TV_KIND_DELETED;
    e->DeleteMark = -1;
    e->ListIndex = -1;
}

// What the file gives of an entry; the delete mark and the item index are the
// list's own and survive a re-read.
bool SameContents(const MessageListEntry& a, const MessageListEntry& b)
{
    return std::strcmp(a.Name, b.Name) == 0 && std::strcmp(a.AssocFile, b.AssocFile) == 0 &&
           a.Kind == b.Kind && std::strcmp(a.Status, b.Status) == 0 &&
           std::strcmp(a.UserStatus, b.UserStatus) == 0 && a.InGroup == b.InGroup &&
           a.Hour == b.Hour && a.Minute == b.Minute && a.Second == b.Second && a.Day == b.Day &&
           a.Month == b.Month && a.Year == b.Year && std::strcmp(a.Comment, b.Comment) == 0;
}

bool GroupMatches(int32_t a, int32_t b) { return (a != 0) == (b != 0); }

} // namespace

void ClearListEntry(MessageListEntry* e, int32_t inGroup)
{
    std::memset(e, 0, sizeof *e);
    e->InGroup = inGroup;
    e->DeleteMark = -1;
    e->ListIndex = -1;
}

intptr_t LogListAdd(MessageListTable* t, const ListView* view, const MessageListEntry* entry)
{
    if (!entry) {
        if (t->Allocated > 0)
            std::free(t->Storage);
        t->Storage = nullptr;
        t->Allocated = -1;
        t->Used = 0;
        IndexClear(t);
        return TV_LB_ERR;
    }
    if (t->Used >= t->Allocated) {
        bool first = t->Allocated < 1;
        if (first)
            t->Used = 0;
        if (!Resize(t, first ? TV_STORE_GROWTH : t->Allocated + TV_STORE_GROWTH)) {
            StoreLog(TV_LOG_MEMORY, "LogList", first ? "Problems allocating memory for list box (1)"
                                                     : "Problems allocating memory for list box (2)");
            DropStorage(t);
            return TV_LB_ERRSPACE;
        }
    }
    if (t->Index) {
        auto it = t->Index->slots.find(IdentityKey(*entry));
        if (it != t->Index->slots.end() && it->second < t->Used &&
            t->Storage[it->second].Kind != TV_KIND_DELETED) {
            std::memcpy(&t->Storage[it->second], entry, sizeof *entry);
            if (view)
                view->invalidate(view->context);
            return TV_LB_UPDATED;
        }
    }
    int32_t slot = t->Used++;
    std::memcpy(&t->Storage[slot], entry, sizeof *entry);
    IndexRemember(t, slot);
    return slot;
}

intptr_t LogListDelete(MessageListTable* t, intptr_t slot)
{
    if (t->Allocated < 0 || slot < 0 || slot >= t->Used)
        return TV_LB_ERR;
    IndexForget(t, static_cast<int32_t>(slot));
    MarkFree(&t->Storage[slot]);
    t->CompactPending = 1;
    return 1;
}

void LogListReset(MessageListTable* t, const ListView* view)
{
    t->Used = 0;
    t->CompactPending = 1;
    IndexClear(t);
    if (view)
        view->invalidate(view->context);
}

intptr_t StoreListAdd(MessageListTable* t, const ListView* view, const MessageListEntry* entry)
{
    intptr_t r = LogListAdd(t, view, entry);
    if (r < 0)
        return r;
    int item = view->addItem(view->context, r);
    if (item < 0) {
        // The list box refused the item: its slot must not stay live unseen.
        LogListDelete(t, r);
        return TV_LB_ERRSPACE;
    }
    return r;
}

bool StoreListDelete(MessageListTable* t, const ListView* view, int itemIndex)
{
    intptr_t slot = view->getItemData(view->context, itemIndex);
    if (slot != TV_LB_ERR)
        LogListDelete(t, slot);
    return view->deleteItem(view->context, itemIndex);
}

void StoreListReset(MessageListTable* t, const ListView* view)
{
    LogListReset(t, view);
    view->reset(view->context);
}

void StoreListInvalidate(MessageListTable* t, const ListView* view)
{
    LogListAdd(t, view, nullptr);
    if (view)
        view->reset(view->context);
}

int FindItemBySlot(const ListView* view, intptr_t slot)
{
    int n = view->count(view->context);
    for (int i = 0; i < n; ++i)
        if (view->getItemData(view->context, i) == slot)
            return i;
    return -1;
}

int FillListFromEntries(const ListView* view, int32_t* cursor, const MessageListEntry* entry,
                        int32_t groupFlag, MessageListTable* t)
{
    while (*cursor < t->Used &&
           (!GroupMatches(t->Storage[*cursor].InGroup, groupFlag) || t->Storage[*cursor].Kind == TV_KIND_DELETED))
        ++*cursor;
    if (*cursor >= t->Used) {
        StoreListAdd(t, view, entry);
        *cursor = t->Used > *cursor ? t->Used : *cursor;
        return 0;
    }
    MessageListEntry& slot = t->Storage[*cursor];
    if (SameContents(slot, *entry)) {
        ++*cursor;
        return 0;
    }
    if (std::strcmp(slot.Name, entry->Name) == 0) {
        int32_t mark = slot.DeleteMark, item = slot.ListIndex;
        IndexForget(t, *cursor);
        std::memcpy(&slot, entry, sizeof slot);
        slot.DeleteMark = mark;
        slot.ListIndex = item;
        IndexRemember(t, *cursor);
        view->invalidate(view->context);
        ++*cursor;
        return 0;
    }
    // The slot's message is gone from the file.
    int item = FindItemBySlot(view, *cursor);
    if (item >= 0)
        StoreListDelete(t, view, item);
    else
        LogListDelete(t, *cursor);
    ++*cursor;
    return 1;
}

void DeleteRemainingEntries(const ListView* view, int32_t cursor, int32_t groupFlag, MessageListTable* t)
{
    for (int32_t i = cursor < 0 ? 0 : cursor; i < t->Used; ++i) {
        if (t->Storage[i].Kind == TV_KIND_DELETED || !GroupMatches(t->Storage[i].InGroup, groupFlag))
            continue;
        int item = FindItemBySlot(view, i);
        if (item >= 0)
            StoreListDelete(t, view, item);
        else
            LogListDelete(t, i);
    }
}

int CompactTable(MessageListTable* t, const ListView* view)
{
    if (!t->CompactPending)
        return 0;
    if (t->Allocated < 0 || !t->Storage) {
        t->CompactPending = 0;
        return 0;
    }
    int32_t deleted = 0;
    for (int32_t i = 0; i < t->Used; ++i) {
        t->Storage[i].ListIndex = -1;
        if (t->Storage[i].Kind == TV_KIND_DELETED)
            ++deleted;
    }
    int n = view->count(view->context);
    if (n < 0)
        return 0;
    for (int k = 0; k < n; ++k) {
        intptr_t d = view->getItemData(view->context, k);
        if (d >= 0 && d < t->Used)
            t->Storage[d].ListIndex = k;
    }
    int32_t j = 0;
    for (int32_t i = 0; i < t->Used; ++i) {
        if (t->Storage[i].ListIndex != -1)
            continue;
        if (j <= i)
            j = i + 1;
        while (j < t->Used && t->Storage[j].ListIndex == -1)
            ++j;
        if (j >= t->Used)
            break;
        IndexForget(t, j);
        if (t->Storage[i].Kind != TV_KIND_DELETED)
            IndexForget(t, i);
        std::memcpy(&t->Storage[i], &t->Storage[j], sizeof t->Storage[i]);
        view->setItemData(view->context, t->Storage[i].ListIndex, i);
        MarkFree(&t->Storage[j]);
        IndexRemember(t, i);
    }
    t->Used -= deleted;
    if (t->Used < 0)
        t->Used = 0;
    if (t->Allocated >= 1 && t->Allocated - TV_STORE_SHRINK_SLACK > t->Used) {
        if (!Resize(t, t->Used + TV_STORE_GROWTH)) {
            StoreLog(TV_LOG_MEMORY, "CompactWindow", "Problems allocating memory for list box (2)");
            DropStorage(t);
            return 0;
        }
    }
    t->CompactPending = 0;
    return 1;
}

int GetTableEntry(const MessageListTable* t, const ListView* view, MessageListEntry* out, int itemIndex)
{
    if (t->Allocated < 0 || !t->Storage)
        return 0;
    intptr_t slot = view->getItemData(view->context, itemIndex);
    if (slot < 0 || slot >= t->Used)
        return 0;
    std::memcpy(out, &t->Storage[slot], sizeof *out);
    return 1;
}

void FreeListTable(MessageListTable* t)
{
    std::free(t->Storage);
    delete t->Index;
    std::memset(t, 0, sizeof *t);
}

// ---------------------------------------------------------------- the three lists

namespace {

enum { TV_LIST_COUNT = 3, TV_READY_TRIES = 5 };
MessageListTable s_tables[TV_LIST_COUNT];
const ListView* s_views[TV_LIST_COUNT];
bool s_ready[TV_LIST_COUNT] = {true, true, true};

int ListSlot(int listId)
{
    return (listId >= TV_LIST_NEW && listId <= TV_LIST_FILED) ? listId - TV_LIST_NEW : -1;
}

// A view that holds nothing, until the shell registers the list box.
int NoAdd(void*, intptr_t) { return -1; }
bool NoDelete(void*, int) { return false; }
void NoReset(void*) {}
int NoCount(void*) { return 0; }
intptr_t NoData(void*, int) { return TV_LB_ERR; }
bool NoSetData(void*, int, intptr_t) { return false; }
void NoInvalidate(void*) {}
void NoRedraw(void*, bool) {}
int NoSelected(void*) { return -1; }
const ListView s_noView = {nullptr, NoAdd, NoDelete, NoReset, NoCount, NoData,
                           NoSetData, NoInvalidate, NoRedraw, NoSelected};

} // namespace

MessageListTable* ListTable(int listId)
{
    int i = ListSlot(listId);
    return i < 0 ? nullptr : &s_tables[i];
}

const ListView* ListViewOf(int listId)
{
    int i = ListSlot(listId);
    return (i < 0 || !s_views[i]) ? &s_noView : s_views[i];
}

void SetListView(int listId, const ListView* view)
{
    int i = ListSlot(listId);
    if (i >= 0)
        s_views[i] = view;
}

int CompactWindow(int listId)
{
    MessageListTable* t = ListTable(listId);
    return t ? CompactTable(t, ListViewOf(listId)) : 0;
}

int GetListEntry(int listId, MessageListEntry* out, int itemIndex)
{
    MessageListTable* t = ListTable(listId);
    return t ? GetTableEntry(t, ListViewOf(listId), out, itemIndex) : 0;
}

void SetListReady(int listId, bool ready)
{
    int i = ListSlot(listId);
    if (i >= 0)
        s_ready[i] = ready;
}

bool WaitListReady(int listId)
{
    int i = ListSlot(listId);
    if (i < 0)
        return false;
    for (int tries = 0; !s_ready[i] && tries < TV_READY_TRIES; ++tries)
        GetStoreHooks()->pumpMessages();
    return s_ready[i];
}

void RefreshMessageList(int listId)
{
    const StoreHooks* h = GetStoreHooks();
    if (!h->serverAccessible() || ListSlot(listId) < 0)
        return;
    if (!WaitListReady(listId))
        return;
    SetListReady(listId, false);
    if (listId == TV_LIST_NEW)
        UpdateNewList();
    else if (listId == TV_LIST_WAITING)
        UpdateWaitingList();
    else
        UpdateFiledList();
    CompactWindow(listId);
    SetListReady(listId, true);
    if (!h->serverAccessible()) {
        h->refreshMainWindow();
        return;
    }
    const ListView* view = ListViewOf(listId);
    if (view->selected(view->context) < 0)
        h->updateMenuState(listId);
}
