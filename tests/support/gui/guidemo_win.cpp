// A small GUI program for the GUI test harness's own tests: a main window
// with a menu, a sorted owner-drawn list box, a button that opens a dialog
// from a template, a command that shows a message box, and answers to the
// test query. Test scaffolding only.
//
//   guidemo [/quit-after MS] [/caption TEXT]
//
// /quit-after: ends by itself after MS milliseconds; /caption: the main
// window's caption (the rest of the command line, quotes taken off) in place of
// "Tavrine GUI Demo".
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/gui/guidemo_ids.h"
#include "tests/support/gui/testanswer.h"

namespace {

const char kClassName[] = "TavrineGuiDemo";
const char kCaption[] = "Tavrine GUI Demo";
const UINT_PTR kQuitTimer = 1;
const int kListTop = 8, kListWidth = 200, kListHeight = 120, kItemHeight = 18, kMargin = 8;
const int kButtonWidth = 90, kButtonHeight = 24;

struct Fruit {
    int id;
    const char *name;
};
// The list's items: item data is the id, the box sorts by name.
const Fruit kFruits[] = {{11, "Cherry"}, {42, "Apple"}, {7, "Banana"}, {5, "Avocado"}};
const int kFirstFruits = 3; // shown at start; IDM_DEMO_ADD adds the next

struct DemoState {
    bool marked = false;
    int alertAnswer = 0; // the last message box's button, 0 before any
    std::string name;    // the settings dialog's name, set by OK
};
DemoState g_state;

const char *FruitName(ULONG_PTR id)
{
    for (const Fruit &f : kFruits)
        if (static_cast<ULONG_PTR>(f.id) == id)
            return f.name;
    return "?";
}

void AddFruit(HWND list, const Fruit &f)
{
    SendMessageA(list, LB_ADDSTRING, 0, static_cast<LPARAM>(f.id));
}

INT_PTR CALLBACK SettingsProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        SetDlgItemTextA(dlg, IDC_DEMO_NAME, g_state.name.c_str());
        for (const char *colour : {"Red", "Green", "Blue"})
            SendDlgItemMessageA(dlg, IDC_DEMO_COLOURS, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(colour));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            char buf[128] = "";
            GetDlgItemTextA(dlg, IDC_DEMO_NAME, buf, sizeof buf);
            g_state.name = buf;
            EndDialog(dlg, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

void SetMark(HWND hwnd, bool marked)
{
    g_state.marked = marked;
    HMENU menu = GetMenu(hwnd);
    CheckMenuItem(menu, IDM_DEMO_MARK, MF_BYCOMMAND | (marked ? MF_CHECKED : MF_UNCHECKED));
    EnableMenuItem(menu, IDM_DEMO_ARCHIVE, MF_BYCOMMAND | (marked ? MF_ENABLED : MF_GRAYED));
}

LRESULT Answer(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    HWND list = GetDlgItem(hwnd, IDC_DEMO_LIST);
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    return tvtest::AnswerTestQuery(hwnd, wParam, lParam,
                                   {{"marked", g_state.marked ? "1" : "0"},
                                    {"alert", std::to_string(g_state.alertAnswer)},
                                    {"name", g_state.name},
                                    {"items", std::to_string(static_cast<long long>(count))}});
}

void DrawItem(const DRAWITEMSTRUCT *d)
{
    if (d->itemID == static_cast<UINT>(-1))
        return;
    bool selected = (d->itemState & ODS_SELECTED) != 0;
    FillRect(d->hDC, &d->rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    SetBkMode(d->hDC, TRANSPARENT);
    SetTextColor(d->hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    std::string text = std::string(FruitName(d->itemData)) + " (" + std::to_string(static_cast<long long>(d->itemData)) + ")";
    RECT r = d->rcItem;
    r.left += 4;
    DrawTextA(d->hDC, text.c_str(), -1, &r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
}

LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == tvtest::TestQueryMessage() && msg != 0)
        return Answer(hwnd, wParam, lParam);
    switch (msg) {
    case WM_CREATE: {
        HINSTANCE inst = reinterpret_cast<CREATESTRUCTA *>(lParam)->hInstance;
        HWND list = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "",
                                    WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | LBS_OWNERDRAWFIXED | LBS_SORT |
                                        LBS_NOTIFY,
                                    kMargin, kListTop, kListWidth, kListHeight, hwnd,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_DEMO_LIST)), inst, nullptr);
        CreateWindowExA(0, "BUTTON", "&Settings...", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                        kMargin * 2 + kListWidth, kListTop, kButtonWidth, kButtonHeight, hwnd,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_DEMO_SETTINGS)), inst, nullptr);
        for (int i = 0; i < kFirstFruits; ++i)
            AddFruit(list, kFruits[i]);
        return 0;
    }
    case WM_MEASUREITEM:
        reinterpret_cast<MEASUREITEMSTRUCT *>(lParam)->itemHeight = kItemHeight;
        return TRUE;
    case WM_DRAWITEM:
        DrawItem(reinterpret_cast<const DRAWITEMSTRUCT *>(lParam));
        return TRUE;
    case WM_COMPAREITEM: {
        const COMPAREITEMSTRUCT *c = reinterpret_cast<const COMPAREITEMSTRUCT *>(lParam);
        int order = lstrcmpiA(FruitName(c->itemData1), FruitName(c->itemData2));
        return order < 0 ? -1 : order > 0 ? 1 : 0;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDM_DEMO_ADD:
            AddFruit(GetDlgItem(hwnd, IDC_DEMO_LIST), kFruits[kFirstFruits]);
            return 0;
        case IDM_DEMO_MARK:
            SetMark(hwnd, !g_state.marked);
            return 0;
        case IDM_DEMO_ALERT:
            g_state.alertAnswer = MessageBoxA(hwnd, "Disk space is low.\nContinue anyway?", "Demo Alert",
                                              MB_OKCANCEL | MB_ICONWARNING);
            return 0;
        case IDC_DEMO_SETTINGS:
            DialogBoxA(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd, GWLP_HINSTANCE)),
                       MAKEINTRESOURCEA(IDD_DEMO_SETTINGS), hwnd, SettingsProc);
            return 0;
        case IDM_DEMO_EXIT:
            DestroyWindow(hwnd);
            return 0;
        }
        break;
    case WM_TIMER:
        if (wParam == kQuitTimer)
            DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR cmdLine, int show)
{
    UINT quitAfterMs = 0;
    const char *quit = std::strstr(cmdLine, "/quit-after ");
    if (quit)
        quitAfterMs = static_cast<UINT>(std::strtoul(quit + std::strlen("/quit-after "), nullptr, 10));
    std::string caption = kCaption;
    if (const char *c = std::strstr(cmdLine, "/caption ")) {
        caption = c + std::strlen("/caption ");
        if (caption.size() >= 2 && caption.front() == '"' && caption.back() == '"')
            caption = caption.substr(1, caption.size() - 2);
    }

    WNDCLASSA wc;
    std::memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = MainProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszMenuName = MAKEINTRESOURCEA(IDR_DEMO_MENU);
    wc.lpszClassName = kClassName;
    if (!RegisterClassA(&wc))
        return 1;
    HWND hwnd = CreateWindowExA(0, kClassName, caption.c_str(), WS_OVERLAPPEDWINDOW, 40, 40, 340, 200, nullptr, nullptr,
                                inst, nullptr);
    if (!hwnd)
        return 1;
    ShowWindow(hwnd, show);
    UpdateWindow(hwnd);
    if (quitAfterMs)
        SetTimer(hwnd, kQuitTimer, quitAfterMs, nullptr);
    HACCEL keys = LoadAcceleratorsA(inst, MAKEINTRESOURCEA(IDR_DEMO_MENU));
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        if (keys && TranslateAcceleratorA(hwnd, keys, &m))
            continue;
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    return 0;
}
