#include "tests/client/store/fakelistview.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace tvtest {

FakeListView::FakeListView(const MessageListTable* table, bool sorted) : table_(table), sorted_(sorted)
{
    view_ = {this, Add, Delete, Reset, Count, Data, SetData, Invalidate, Redraw, Selected};
}

int FakeListView::Add(void* c, intptr_t slot)
{
    FakeListView* v = static_cast<FakeListView*>(c);
    if (v->refuseAdds)
        return -1;
    ++v->adds;
    size_t at = v->items.size();
    if (v->sorted_) {
        const MessageListEntry& e = v->table_->Storage[slot];
        for (size_t i = 0; i < v->items.size(); ++i) {
            const MessageListEntry& o = v->table_->Storage[v->items[i]];
            bool before = (e.InGroup != 0) != (o.InGroup != 0) ? e.InGroup != 0 : std::strcmp(e.Name, o.Name) > 0;
            if (before) {
                at = i;
                break;
            }
        }
    }
    v->items.insert(v->items.begin() + static_cast<std::ptrdiff_t>(at), slot);
    if (v->selected >= static_cast<int>(at))
        ++v->selected;
    return static_cast<int>(at);
}

bool FakeListView::Delete(void* c, int index)
{
    FakeListView* v = static_cast<FakeListView*>(c);
    if (index < 0 || index >= static_cast<int>(v->items.size()))
        return false;
    ++v->deletes;
    v->items.erase(v->items.begin() + index);
    if (v->selected == index)
        v->selected = -1;
    else if (v->selected > index)
        --v->selected;
    return true;
}

void FakeListView::Reset(void* c)
{
    FakeListView* v = static_cast<FakeListView*>(c);
    ++v->resets;
    v->items.clear();
    v->selected = -1;
}

int FakeListView::Count(void* c) { return static_cast<int>(static_cast<FakeListView*>(c)->items.size()); }

intptr_t FakeListView::Data(void* c, int index)
{
    FakeListView* v = static_cast<FakeListView*>(c);
    return index >= 0 && index < static_cast<int>(v->items.size()) ? v->items[index] : TV_LB_ERR;
}

bool FakeListView::SetData(void* c, int index, intptr_t data)
{
    FakeListView* v = static_cast<FakeListView*>(c);
    if (index < 0 || index >= static_cast<int>(v->items.size()))
        return false;
    v->items[index] = data;
    return true;
}

void FakeListView::Invalidate(void*) {}
void FakeListView::Redraw(void* c, bool on) { static_cast<FakeListView*>(c)->redraw = on; }
int FakeListView::Selected(void* c) { return static_cast<FakeListView*>(c)->selected; }

std::vector<MessageListEntry> FakeListView::Entries() const
{
    std::vector<MessageListEntry> out;
    for (intptr_t slot : items)
        out.push_back(table_->Storage[slot]);
    return out;
}

std::vector<std::string> FakeListView::SortedNames() const
{
    std::vector<std::string> out;
    for (const MessageListEntry& e : Entries())
        out.push_back(e.Name[0] ? e.Name : e.AssocFile);
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace tvtest
