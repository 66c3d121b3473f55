#include "client/store/listview_win.h"

#include "client/store/ctltypes.h"

namespace {

LRESULT Call(const Win32ListView* v, UINT msg, WPARAM w, LPARAM l)
{
    return v->classProc ? CallWindowProcA(v->classProc, v->listBox, msg, w, l)
                        : SendMessageA(v->listBox, msg, w, l);
}

int Add(void* c, intptr_t slot)
{
    LRESULT r = Call(static_cast<Win32ListView*>(c), LB_ADDSTRING, 0, static_cast<LPARAM>(slot));
    return r < 0 ? -1 : static_cast<int>(r);
}

bool Delete(void* c, int index)
{
    return Call(static_cast<Win32ListView*>(c), LB_DELETESTRING, static_cast<WPARAM>(index), 0) != LB_ERR;
}

void Reset(void* c) { Call(static_cast<Win32ListView*>(c), LB_RESETCONTENT, 0, 0); }

int Count(void* c)
{
    LRESULT r = Call(static_cast<Win32ListView*>(c), LB_GETCOUNT, 0, 0);
    return r == LB_ERR ? -1 : static_cast<int>(r);
}

intptr_t Data(void* c, int index)
{
    LRESULT r = Call(static_cast<Win32ListView*>(c), LB_GETITEMDATA, static_cast<WPARAM>(index), 0);
    return r == LB_ERR ? TV_LB_ERR : static_cast<intptr_t>(r);
}

bool SetData(void* c, int index, intptr_t data)
{
    return Call(static_cast<Win32ListView*>(c), LB_SETITEMDATA, static_cast<WPARAM>(index),
                static_cast<LPARAM>(data)) != LB_ERR;
}

void Invalidate(void* c) { InvalidateRect(static_cast<Win32ListView*>(c)->listBox, nullptr, FALSE); }

void Redraw(void* c, bool on)
{
    Win32ListView* v = static_cast<Win32ListView*>(c);
    SendMessageA(v->listBox, WM_SETREDRAW, on ? TRUE : FALSE, 0);
    if (on)
        InvalidateRect(v->listBox, nullptr, FALSE);
}

int Selected(void* c)
{
    Win32ListView* v = static_cast<Win32ListView*>(c);
    LONG_PTR style = GetWindowLongPtrA(v->listBox, GWL_STYLE);
    if (style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) {
        if (Call(v, LB_GETSELCOUNT, 0, 0) != 1)
            return -1;
        int item = -1;
        if (Call(v, LB_GETSELITEMS, 1, reinterpret_cast<LPARAM>(&item)) != 1)
            return -1;
        return item;
    }
    LRESULT r = Call(v, LB_GETCURSEL, 0, 0);
    return r == LB_ERR ? -1 : static_cast<int>(r);
}

int Sign(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

} // namespace

void InitWin32ListView(Win32ListView* v, HWND listBox, WNDPROC classProc)
{
    v->listBox = listBox;
    v->classProc = classProc;
    v->view = {v, Add, Delete, Reset, Count, Data, SetData, Invalidate, Redraw, Selected};
}

int CompareListSlots(const MessageListTable* table, StoreSortKey key, ULONG_PTR a, ULONG_PTR b)
{
    if (!table->Storage || a >= static_cast<ULONG_PTR>(table->Used) || b >= static_cast<ULONG_PTR>(table->Used))
        return 0;
    const MessageListEntry& x = table->Storage[a];
    const MessageListEntry& y = table->Storage[b];
    if (key == TV_SORT_GROUP_FIRST)
        return (x.InGroup != 0) == (y.InGroup != 0) ? 0 : (x.InGroup ? -1 : 1);
    return Sign(AsciiCompareNoCase(x.AssocFile, y.AssocFile));
}
