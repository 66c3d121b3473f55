#include "client/shell/toolbar_win.h"

#include <cstdio>
#include <cstring>

#include "client/shell/app_win.h"
#include "client/shell/dialogs_win.h"
#include "client/shell/paint_win.h"
#include "client/shell/tavr32_res.h"
#include "common/langlib.h"

namespace {

// One entry of the button table.
struct ToolEntry {
    int controlId;
    int command;
    bool gap;
    bool latched;
    const char *bitmapBase;
    HWND window;
};

ToolEntry g_tools[TV_TOOL_ENTRIES];
int g_hotId = TV_TOOL_NO_HOT;
int g_buttonWidth, g_buttonHeight;
WNDPROC g_buttonProc;
char g_statusText[TV_STATUS_TEXT_MAX + 1];
int (*g_spoolState)(void);

enum { TOOL_BAR_EXTRA = 6, STATUS_FRAME_GROW_X = 2, STATUS_FRAME_GROW_Y = 1, TEXT_SIZE = 256, NAME_SIZE = 64 };

HINSTANCE Program()
{
    return g_app.instance ? g_app.instance : GetModuleHandleA(nullptr);
}

int ScreenWidth()
{
    return g_app.screenWidth > 0 ? g_app.screenWidth : GetSystemMetrics(SM_CXSCREEN);
}

// A bitmap named from the stem: the language library's first, then ours.
HBITMAP LoadStemBitmap(const char *suffix)
{
    char stem[NAME_SIZE], name[NAME_SIZE];
    LoadClientString(IDS_STEM, stem, sizeof stem);
    if (!stem[0])
        std::snprintf(stem, sizeof stem, "%s", RES_STEM);
    std::snprintf(name, sizeof name, "%s%s", stem, suffix);
    HBITMAP bmp = nullptr;
    if (HINSTANCE lang = GetLanguageLibrary())
        bmp = LoadBitmapA(lang, name);
    return bmp ? bmp : LoadBitmapA(Program(), name);
}

void ComputeButtonSize()
{
    g_buttonWidth = ToolButtonWidth(ScreenWidth());
    g_buttonHeight = ToolButtonHeight(ScreenWidth(), g_app.profile.toolIconRow, g_app.profile.toolTextRow);
}

// x of the entry at position from the entries before it.
int EntryX(int position)
{
    int x = 0;
    for (int i = 0; i < position; ++i)
        x += (g_tools[i].gap ? TV_TOOL_GAP : 0) + g_buttonWidth;
    return x + (g_tools[position].gap ? TV_TOOL_GAP : 0);
}

void CreateSet(const TvToolButtonDef *set, int count)
{
    for (int i = 0; i < count; ++i)
        CreateToolButton(i, set[i].controlId, set[i].gap, set[i].bitmapBase, set[i].textId, set[i].command);
}

HFONT CreateArial(int height)
{
    return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, "Arial");
}

// Width the status bar is laid out for: the main window's client width.
int StatusWidth(HWND bar)
{
    RECT r = {};
    GetClientRect(g_app.main ? g_app.main : bar, &r);
    return r.right - r.left;
}

// Mode 3 of SetStatusText: a description drawn over the whole bar.
void DrawStatusDescription(int stringId)
{
    HWND bar = g_app.statusBar;
    if (!bar)
        return;
    HDC dc = GetDC(bar);
    if (!dc)
        return;
    char text[TEXT_SIZE] = " ";
    LoadClientString(stringId, text + 1, sizeof text - 1);
    RECT client;
    GetClientRect(bar, &client);
    HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    FillRect(dc, &client, face);
    DeleteObject(face);
    HFONT font = CreateArial(StatusFontHeight(g_app.charHeight));
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    RECT r = {TV_STATUS_EDGE, TV_STATUS_TOP, client.right - TV_STATUS_EDGE,
              StatusFontHeight(g_app.charHeight) + TV_STATUS_TOP};
    DrawTextA(dc, text, -1, &r, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, oldFont);
    DeleteObject(font);
    ReleaseDC(bar, dc);
}

void CheckItem(UINT id, bool on)
{
    if (g_app.mainMenu)
        CheckMenuItem(g_app.mainMenu, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

bool ApplyMode(bool *flag, int mode)
{
    switch (mode) {
    case TV_BAR_TOGGLE: *flag = !*flag; return true;
    case TV_BAR_ON: *flag = true; return true;
    case TV_BAR_OFF: *flag = false; return true;
    case TV_BAR_APPLY: return true;
    default: return false;
    }
}

void Repaint(HWND w, BOOL erase)
{
    if (w) {
        InvalidateRect(w, nullptr, erase);
        UpdateWindow(w);
    }
}

}  // namespace

// ---------------------------------------------------------------- buttons

int LayoutToolBar(int mode)
{
    switch (mode) {
    case TV_TOOLS_FORGET:
        for (ToolEntry &e : g_tools)
            e.window = nullptr;
        break;
    case TV_TOOLS_MAIN:
    case TV_TOOLS_VIEWER:
        if (g_app.buttonBar)
            ShowWindow(g_app.buttonBar, SW_HIDE);
        for (int i = 0; i < TV_TOOL_ENTRIES; ++i)
            DestroyToolButton(i);
        if (mode == TV_TOOLS_MAIN)
            CreateSet(kMainToolSet, TV_TOOL_MAIN_COUNT);
        else
            CreateSet(kViewerToolSet, TV_TOOL_VIEWER_COUNT);
        break;
    case TV_TOOLS_MOVE:
        if (!g_buttonWidth)
            ComputeButtonSize();
        for (int i = 0; i < TV_TOOL_ENTRIES && g_tools[i].window; ++i)
            MoveWindow(g_tools[i].window, EntryX(i), TV_TOOL_TOP, g_buttonWidth, g_buttonHeight, TRUE);
        break;
    default:
        break;
    }
    return 1;
}

void CreateToolButton(int position, int controlId, bool gap, const char *bitmapBase, int textId, int command)
{
    if (position < 0 || position >= TV_TOOL_ENTRIES)
        return;
    ToolEntry &e = g_tools[position];
    e = {controlId, command, gap, false, bitmapBase, nullptr};
    if (!g_app.buttonBar)
        return;
    if (!g_buttonWidth)
        ComputeButtonSize();
    char text[TEXT_SIZE];
    LoadClientString(textId, text, sizeof text);
    const DWORD style = WS_CHILD | WS_VISIBLE | BS_OWNERDRAW;
    e.window = CreateWindowA("BUTTON", text, style, EntryX(position), TV_TOOL_TOP, g_buttonWidth, g_buttonHeight,
                             g_app.buttonBar, reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)), Program(),
                             nullptr);
    if (!e.window)
        return;
    WNDPROC old = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(e.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ToolButtonWndProc)));
    if (!g_buttonProc)
        g_buttonProc = old;
}

int FindToolButton(int controlId)
{
    for (int i = 0; i < TV_TOOL_ENTRIES; ++i)
        if (g_tools[i].controlId == controlId && g_tools[i].bitmapBase)
            return i;
    return -1;
}

void EnableToolButton(int controlId, bool greyed)
{
    int i = FindToolButton(controlId);
    if (i >= 0 && g_tools[i].window)
        EnableWindow(g_tools[i].window, !greyed);
}

void DestroyToolButton(int position)
{
    if (position < 0 || position >= TV_TOOL_ENTRIES)
        return;
    ToolEntry &e = g_tools[position];
    if (e.window)
        DestroyWindow(e.window);
    if (g_hotId == e.controlId)
        g_hotId = TV_TOOL_NO_HOT;
    e = {};
}

void LatchToolButton(int controlId, bool latched)
{
    int i = FindToolButton(controlId);
    if (i < 0 || g_tools[i].latched == latched)
        return;
    g_tools[i].latched = latched;
    Repaint(g_tools[i].window, TRUE);
}

void ToolButtonCommand(int controlId)
{
    if (!g_app.main)
        return;
    SetFocus(g_app.main);
    SendMessageA(g_app.main, WM_COMMAND, MAKEWPARAM(ToolCommandOf(controlId), 0), 0);
}

// ---------------------------------------------------------------- showing the bars

bool ShowToolBar(int row, int mode)
{
    bool *flag = row == TV_TOOL_ROW_ICONS  ? &g_app.profile.toolIconRow
                 : row == TV_TOOL_ROW_TEXT ? &g_app.profile.toolTextRow
                                           : nullptr;
    if (!flag)
        return false;
    if (!ApplyMode(flag, mode))
        return *flag;
    CheckItem(row == TV_TOOL_ROW_ICONS ? IDM_BUTTONSICONS : IDM_BUTTONSTEXT, *flag);
    ComputeButtonSize();
    if (mode == TV_BAR_APPLY) {
        if (g_app.buttonBar)
            MoveWindow(g_app.buttonBar, 0, 0, ScreenWidth(), ToolBarHeight(), TRUE);
        LayoutToolBar(TV_TOOLS_MOVE);
        if (g_app.buttonBar)
            ShowWindow(g_app.buttonBar,
                       g_app.profile.toolIconRow || g_app.profile.toolTextRow ? SW_SHOW : SW_HIDE);
    }
    return *flag;
}

bool ShowStatusBar(int mode)
{
    bool *flag = &g_app.profile.statusBar;
    if (!ApplyMode(flag, mode))
        return *flag;
    CheckItem(IDM_STATUSBAR, *flag);
    if (mode == TV_BAR_APPLY && g_app.statusBar)
        ShowWindow(g_app.statusBar, *flag ? SW_SHOW : SW_HIDE);
    return *flag;
}

int ToolButtonWidthNow(void)
{
    if (!g_buttonWidth)
        ComputeButtonSize();
    return g_buttonWidth;
}

int ToolButtonHeightNow(void)
{
    if (!g_buttonWidth)
        ComputeButtonSize();
    return g_buttonHeight;
}

int ToolBarHeight(void)
{
    return ToolButtonHeightNow() + TOOL_BAR_EXTRA;
}

// ---------------------------------------------------------------- status message

void SetStatusText(int mode, const char *text, unsigned value)
{
    const bool online = g_app.server.serverRunning && g_app.server.serverAccessible;
    int id = 0;
    switch (StatusTextPlan(g_statusText, mode, text, online, value, &id)) {
    case TV_STATUS_REPAINT:
        if (id)
            LoadClientString(id, g_statusText, sizeof g_statusText);
        Repaint(g_app.statusBar, FALSE);
        break;
    case TV_STATUS_OVERDRAW:
        DrawStatusDescription(id);
        break;
    case TV_STATUS_NOTHING:
        break;
    }
}

const char *StatusMessageText(void)
{
    return g_statusText;
}

void SetSpoolStateSource(int (*spoolState)(void))
{
    g_spoolState = spoolState;
}

void PaintStatusBar(HWND bar, PAINTSTRUCT *ps)
{
    if (!ps || !ps->hdc)
        return;
    HDC dc = ps->hdc;
    TvStatusLayout l;
    StatusBarLayout(StatusWidth(bar), g_app.charWidth, g_app.charHeight, &l);

    HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    HBRUSH shadow = CreateSolidBrush(GetSysColor(COLOR_BTNSHADOW));
    HBRUSH light = CreateHighlightBrush();
    HFONT font = CreateArial(StatusFontHeight(g_app.charHeight));
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));

    auto field = [&](const TvBarRect &f, const char *text) {
        RECT r = {f.left, f.top, f.right, f.bottom};
        FillRect(dc, &r, face);
        char line[TEXT_SIZE];
        std::snprintf(line, sizeof line, " %s", text);
        DrawTextA(dc, line, -1, &r, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
        RECT frame = r;
        InflateRect(&frame, STATUS_FRAME_GROW_X, STATUS_FRAME_GROW_Y);
        DrawFrameEdge(dc, &frame, shadow, light, 1, true);
    };
    if (l.sideFields) {
        char text[TEXT_SIZE] = "";
        if (int id = SpoolFieldStringId(g_spoolState ? g_spoolState() : 0))
            LoadClientString(id, text, sizeof text);
        field(l.spool, text);
        text[0] = '\0';
        if (int id = StateFieldStringId(g_app.appState))
            LoadClientString(id, text, sizeof text);
        field(l.state, text);
    }
    field(l.message, g_statusText);

    SelectObject(dc, oldFont);
    DeleteObject(font);
    DeleteObject(face);
    DeleteObject(shadow);
    DeleteObject(light);
}

// ---------------------------------------------------------------- drawing a button

void DrawToolButton(const DRAWITEMSTRUCT *item)
{
    if (!item || item->CtlType != ODT_BUTTON || item->itemAction == ODA_FOCUS)
        return;
    const int pos = FindToolButton(int(item->CtlID));
    if (pos < 0)
        return;
    const ToolEntry &e = g_tools[pos];
    const bool disabled = (item->itemState & ODS_DISABLED) != 0;
    bool pressed;
    if (item->itemAction & ODA_SELECT) {
        pressed = (item->itemState & ODS_SELECTED) != 0;
        if (pressed)
            SetStatusText(TV_STATUS_DESCRIBE, nullptr, unsigned(e.command));
        else
            SetStatusText(TV_STATUS_SHOW);
        if (e.latched)
            return;
        if (!pressed) {
            if (item->hwndItem)
                InvalidateRect(item->hwndItem, nullptr, TRUE);
            if (g_app.main)
                SetFocus(g_app.main);
            return;
        }
    } else {
        pressed = e.latched;
    }
    if (!g_buttonWidth)
        ComputeButtonSize();

    HDC dc = item->hDC;
    RECT client = item->rcItem;
    if (item->hwndItem)
        GetClientRect(item->hwndItem, &client);
    HBRUSH shadow = CreateSolidBrush(GetSysColor(COLOR_BTNSHADOW));
    HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    HBRUSH light = CreateHighlightBrush();
    COLORREF textColour = GetSysColor(COLOR_BTNTEXT);
    if (disabled) {
        const COLORREF faceColour = GetSysColor(COLOR_BTNFACE), grey = RGB(0x80, 0x80, 0x80);
        textColour = GetSysColor(COLOR_GRAYTEXT);
        if (textColour == faceColour)
            textColour = faceColour == grey ? RGB(0xFF, 0xFF, 0xFF) : grey;
    }
    SetTextColor(dc, textColour);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    const int top = pressed ? 3 : 2;
    const bool icons = g_app.profile.toolIconRow, text = g_app.profile.toolTextRow;

    int bitmapHeight = 0;
    HBITMAP bmp = nullptr;
    if (icons) {
        char suffix[NAME_SIZE];
        ToolBitmapName(suffix, sizeof suffix, "", e.bitmapBase, ScreenWidth(), disabled);
        bmp = LoadStemBitmap(suffix);
        if (!bmp && disabled) {
            // Buttons that are never greyed have no grey picture.
            ToolBitmapName(suffix, sizeof suffix, "", e.bitmapBase, ScreenWidth(), false);
            bmp = LoadStemBitmap(suffix);
        }
    }
    if (bmp) {
        BITMAP info = {};
        GetObjectA(bmp, sizeof info, &info);
        bitmapHeight = info.bmHeight;
        const int x = (g_buttonWidth - info.bmWidth) / 2 + (pressed ? 1 : 0);
        HDC mem = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(mem, bmp);
        BitBlt(dc, x, top, info.bmWidth, info.bmHeight, mem, 0, 0, SRCCOPY);
        SelectObject(mem, old);
        DeleteDC(mem);
        const RECT strips[] = {
            {client.left, client.top, client.right, top},
            {client.left, top + info.bmHeight, client.right, client.bottom},
            {client.left, top, x, top + info.bmHeight},
            {x + info.bmWidth, top, client.right, top + info.bmHeight},
        };
        for (const RECT &s : strips)
            FillRect(dc, &s, face);
        DeleteObject(bmp);
    } else {
        if (icons)
            bitmapHeight = ToolBitmapHeight(ScreenWidth());
        FillRect(dc, &client, face);
    }
    if (g_hotId == e.controlId)
        DrawButtonEdge(dc, &client, shadow, light, pressed);
    if (text) {
        int height = g_buttonHeight - (icons ? bitmapHeight : 0) - 4;
        if (g_app.charHeight > 0 && height > g_app.charHeight)
            height = g_app.charHeight;
        HFONT font = CreateArial(height);
        HGDIOBJ oldFont = SelectObject(dc, font);
        RECT r = client;
        r.top += top + (icons ? bitmapHeight : 0);
        r.bottom -= pressed ? 1 : 2;
        if (pressed)
            OffsetRect(&r, 1, 0);
        char caption[TEXT_SIZE] = "";
        if (item->hwndItem)
            GetWindowTextA(item->hwndItem, caption, sizeof caption);
        const int oldMode = SetBkMode(dc, TRANSPARENT);
        DrawTextA(dc, caption, -1, &r, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
        SetBkMode(dc, oldMode);
        SelectObject(dc, oldFont);
        DeleteObject(font);
    }
    DeleteObject(shadow);
    DeleteObject(face);
    DeleteObject(light);
}

// ---------------------------------------------------------------- hot tracking

LRESULT CALLBACK ToolButtonWndProc(HWND button, UINT msg, WPARAM wParam, LPARAM lParam)
{
    const int id = GetDlgCtrlID(button);
    auto saved = [&]() -> LRESULT {
        return g_buttonProc ? CallWindowProcA(g_buttonProc, button, msg, wParam, lParam)
                            : DefWindowProcA(button, msg, wParam, lParam);
    };
    switch (msg) {
    case WM_MOUSEMOVE: {
        const int x = short(LOWORD(lParam)), y = short(HIWORD(lParam));
        const bool inside = x >= 0 && x <= g_buttonWidth && y >= 0 && y <= g_buttonHeight;
        const int hot = inside || (wParam & MK_LBUTTON) ? id : TV_TOOL_NO_HOT;
        if (hot != g_hotId) {
            g_hotId = hot;
            Repaint(button, TRUE);
        }
        LRESULT r = saved();
        if (g_hotId != TV_TOOL_NO_HOT) {
            if (GetCapture() != button)
                SetCapture(button);
        } else if (GetCapture() == button) {
            ReleaseCapture();
        }
        return r;
    }
    case WM_KILLFOCUS: {
        if (g_hotId != TV_TOOL_NO_HOT) {
            g_hotId = TV_TOOL_NO_HOT;
            Repaint(button, TRUE);
        }
        LRESULT r = saved();
        if (GetCapture() == button)
            ReleaseCapture();
        return r;
    }
    case WM_LBUTTONUP:
        SendMessageA(button, WM_MOUSEMOVE, wParam, lParam);
        return saved();
    default:
        return saved();
    }
}
