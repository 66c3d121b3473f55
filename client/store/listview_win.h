// The store's ListView over a real Win32 list box (owner-drawn, without
// strings: an item's data is its store slot). The calls go to the list box's
// class procedure when one is given, so a subclass procedure that routes its
// own add, delete and reset messages into the store is not entered again.
#ifndef TAVRINE_CLIENT_STORE_LISTVIEW_WIN_H
#define TAVRINE_CLIENT_STORE_LISTVIEW_WIN_H

#include <windows.h>

#include "client/store/msglist.h"

struct Win32ListView {
    HWND listBox;
    WNDPROC classProc;   // null: messages are sent to the window
    ListView view;
};

// Fills v for listBox; v must stay in place while the store uses v->view.
void InitWin32ListView(Win32ListView* v, HWND listBox, WNDPROC classProc);

// The order of two slots of table for WM_COMPAREITEM of a sorted list box:
// by the given sort (group messages first for NEW, the associated file
// ASCII-case-insensitively for FILED), -1, 0 or 1.
enum StoreSortKey { TV_SORT_GROUP_FIRST, TV_SORT_ASSOC_FILE };
int CompareListSlots(const MessageListTable* table, StoreSortKey key, ULONG_PTR a, ULONG_PTR b);

#endif
