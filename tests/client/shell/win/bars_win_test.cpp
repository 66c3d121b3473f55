// The tool bar and status bar in real windows, and list rows drawn into a
// memory DC: the buttons a set creates and where, the command a click sends
// the main window, the status message's rules, and a row's colour and status
// bitmap read back pixel by pixel.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "client/shell/app_win.h"
#include "client/shell/paint_win.h"
#include "client/shell/tavr32_res.h"
#include "client/shell/toolbar_win.h"

TvApp g_app;

namespace {

const char kMainClass[] = "BarsTestMain";

std::vector<WPARAM> g_commands;
std::vector<LPARAM> g_commandSources;

LRESULT CALLBACK MainProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_COMMAND) {
        g_commands.push_back(wp);
        g_commandSources.push_back(lp);
        return 0;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

// The parts of the pane procedure the bars need.
LRESULT CALLBACK PaneProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_COMMAND:
        if (w == g_app.buttonBar)
            ToolButtonCommand(LOWORD(wp));
        return 0;
    case WM_DRAWITEM:
        DrawToolButton(reinterpret_cast<const DRAWITEMSTRUCT *>(lp));
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(w, &ps);
        if (w == g_app.statusBar)
            PaintStatusBar(w, &ps);
        EndPaint(w, &ps);
        return 0;
    }
    default:
        return DefWindowProcA(w, msg, wp, lp);
    }
}

void RegisterClasses()
{
    static bool done = false;
    if (done)
        return;
    WNDCLASSA c = {};
    c.hInstance = GetModuleHandleA(nullptr);
    c.hCursor = LoadCursor(nullptr, IDC_ARROW);
    c.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    c.lpfnWndProc = MainProc;
    c.lpszClassName = kMainClass;
    ASSERT_TRUE(RegisterClassA(&c));
    c.lpfnWndProc = PaneProc;
    c.lpszClassName = TV_CLASS_PANE;
    ASSERT_TRUE(RegisterClassA(&c));
    done = true;
}

// A fresh program state with the client metrics the tests draw with.
void ResetAppMetrics()
{
    g_app = TvApp{};
    g_app.instance = GetModuleHandleA(nullptr);
    g_app.charWidth = 7;
    g_app.charHeight = 16;
    g_app.marginX = 3;
    g_app.marginY = 1;
}

class Bars : public ::testing::Test {
protected:
    HMENU menu = nullptr;

    void SetUp() override
    {
        RegisterClasses();
        ResetAppMetrics();
        g_app.screenWidth = 1024;
        g_app.appState = TV_APP_RUNNING;
        g_app.profile.toolIconRow = g_app.profile.toolTextRow = g_app.profile.statusBar = true;
        g_app.server.serverRunning = g_app.server.serverAccessible = true;
        menu = CreateMenu();
        for (UINT id : {IDM_STATUSBAR, IDM_BUTTONSICONS, IDM_BUTTONSTEXT})
            AppendMenuA(menu, MF_STRING, id, "item");
        g_app.main = CreateWindowA(kMainClass, "bars", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 900, 400, nullptr,
                                   menu, g_app.instance, nullptr);
        ASSERT_NE(g_app.main, nullptr);
        g_app.mainMenu = menu;
        const DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;
        g_app.buttonBar = CreateWindowA(TV_CLASS_PANE, "Button bar", style, 0, 0, 900, 50, g_app.main, nullptr,
                                        g_app.instance, nullptr);
        g_app.statusBar = CreateWindowA(TV_CLASS_PANE, "Status bar", style, 0, 280, 900, 20, g_app.main, nullptr,
                                        g_app.instance, nullptr);
        ASSERT_NE(g_app.buttonBar, nullptr);
        ASSERT_NE(g_app.statusBar, nullptr);
        RedrawWindow(g_app.main, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        LayoutToolBar(TV_TOOLS_FORGET);
        g_commands.clear();
        g_commandSources.clear();
    }

    void TearDown() override
    {
        if (g_app.main)
            DestroyWindow(g_app.main);   // the menu and the children go with it
        LayoutToolBar(TV_TOOLS_FORGET);
        g_app = TvApp{};
    }

    static void Pump()
    {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }

    bool Checked(UINT id) { return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED) != 0; }
};

struct Expected {
    int id;
    const char *text;
};

// Each button of a set: its text, and its place in the bar.
void ExpectButtons(const std::vector<Expected> &set, const std::vector<int> &xs, int width, int height)
{
    ASSERT_EQ(set.size(), xs.size());
    for (size_t i = 0; i < set.size(); ++i) {
        SCOPED_TRACE(set[i].id);
        HWND b = GetDlgItem(g_app.buttonBar, set[i].id);
        ASSERT_NE(b, nullptr);
        char text[64] = "";
        GetWindowTextA(b, text, sizeof text);
        EXPECT_STREQ(text, set[i].text);
        RECT r;
        GetWindowRect(b, &r);
        MapWindowPoints(HWND_DESKTOP, g_app.buttonBar, reinterpret_cast<POINT *>(&r), 2);
        EXPECT_EQ(r.left, xs[i]);
        EXPECT_EQ(r.top, 3);
        EXPECT_EQ(r.right - r.left, width);
        EXPECT_EQ(r.bottom - r.top, height);
        EXPECT_EQ(FindToolButton(set[i].id), int(i));
    }
}

const std::vector<Expected> kMain = {
    {110, "Send"}, {111, "Forward"}, {116, "View"},   {101, "Print"},   {118, "Acquire"}, {112, "Info"},
    {113, "Save"}, {115, "Delete"},  {117, "Status"}, {114, "Tidy up"}, {109, "Help"},
};

TEST_F(Bars, MainAndViewerSetsAreCreatedAndPlaced)
{
    EXPECT_EQ(LayoutToolBar(TV_TOOLS_MAIN), 1);
    EXPECT_FALSE(IsWindowVisible(g_app.buttonBar));   // hidden until the flags are applied
    EXPECT_TRUE(ShowToolBar(TV_TOOL_ROW_ICONS, TV_BAR_APPLY));
    EXPECT_TRUE(IsWindowVisible(g_app.buttonBar));
    EXPECT_TRUE(Checked(IDM_BUTTONSICONS));
    // Wide screen, icons and text: 60 x (5 + 13 + 24).
    ExpectButtons(kMain, {5, 65, 125, 185, 250, 315, 375, 435, 500, 565, 630}, 60, 42);
    RECT bar;
    GetClientRect(g_app.buttonBar, &bar);
    EXPECT_EQ(bar.bottom, 48);
    EXPECT_EQ(FindToolButton(100), -1);

    // An 800-pixel screen without text: 52 x (5 + 16).
    g_app.screenWidth = 800;
    EXPECT_FALSE(ShowToolBar(TV_TOOL_ROW_TEXT, TV_BAR_OFF));
    EXPECT_FALSE(Checked(IDM_BUTTONSTEXT));
    EXPECT_TRUE(ShowToolBar(TV_TOOL_ROW_ICONS, TV_BAR_APPLY));
    ExpectButtons(kMain, {5, 57, 109, 161, 218, 275, 327, 379, 436, 493, 550}, 52, 21);

    // The viewer's set replaces the main one.
    LayoutToolBar(TV_TOOLS_VIEWER);
    ShowToolBar(TV_TOOL_ROW_ICONS, TV_BAR_APPLY);
    ExpectButtons({{100, "Quit view"}, {101, "Print"}, {105, "1:1"}, {106, "2:1"}, {107, "3:1"},
                   {108, "Overview"}, {104, "Rotate"}, {102, "Import"}, {103, "Export"}, {109, "Help"}},
                  {5, 62, 119, 171, 223, 275, 332, 389, 441, 498}, 52, 21);
    EXPECT_EQ(GetDlgItem(g_app.buttonBar, 110), nullptr);
    EXPECT_EQ(FindToolButton(110), -1);

    // Greying reaches the window; both rows off hide the bar.
    EnableToolButton(101, true);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(g_app.buttonBar, 101)));
    EnableToolButton(101, false);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(g_app.buttonBar, 101)));
    EXPECT_FALSE(ShowToolBar(TV_TOOL_ROW_ICONS, TV_BAR_TOGGLE));
    EXPECT_FALSE(ShowToolBar(TV_TOOL_ROW_ICONS, TV_BAR_APPLY));
    EXPECT_FALSE(IsWindowVisible(g_app.buttonBar));
    EXPECT_FALSE(ShowToolBar(TV_TOOL_ROW_ICONS, TV_BAR_QUERY));

    EXPECT_FALSE(ShowStatusBar(TV_BAR_TOGGLE));
    EXPECT_TRUE(IsWindowVisible(g_app.statusBar));    // toggling alone does not apply
    EXPECT_FALSE(ShowStatusBar(TV_BAR_APPLY));
    EXPECT_FALSE(IsWindowVisible(g_app.statusBar));
    EXPECT_FALSE(Checked(IDM_STATUSBAR));
    EXPECT_TRUE(ShowStatusBar(TV_BAR_ON));
    EXPECT_TRUE(Checked(IDM_STATUSBAR));
}

TEST_F(Bars, ButtonsSendTheirCommandToTheMainWindow)
{
    const struct {
        int id, command;
    } cases[] = {{110, 1101}, {101, 1105}, {117, 1132}, {100, 2}, {119, 2}};
    for (const auto &c : cases) {
        g_commands.clear();
        ToolButtonCommand(c.id);
        ASSERT_EQ(g_commands.size(), 1u) << c.id;
        EXPECT_EQ(LOWORD(g_commands[0]), c.command) << c.id;
        EXPECT_EQ(HIWORD(g_commands[0]), 0) << c.id;
        EXPECT_EQ(g_commandSources[0], 0) << c.id;
    }
    // A click on a real button goes through the bar to the main window.
    LayoutToolBar(TV_TOOLS_MAIN);
    ShowToolBar(TV_TOOL_ROW_ICONS, TV_BAR_APPLY);
    UpdateWindow(g_app.buttonBar);
    g_commands.clear();
    SendMessageA(GetDlgItem(g_app.buttonBar, 111), BM_CLICK, 0, 0);
    Pump();
    ASSERT_EQ(g_commands.size(), 1u);
    EXPECT_EQ(LOWORD(g_commands[0]), 1221);
    EXPECT_EQ(GetFocus(), g_app.main);
}

TEST_F(Bars, StatusMessageRules)
{
    const std::string first80(80, 'm');
    SetStatusText(TV_STATUS_RESET, (first80 + "X").c_str());
    EXPECT_EQ(std::string(StatusMessageText()), first80);
    SetStatusText(TV_STATUS_SHOW);
    EXPECT_EQ(std::string(StatusMessageText()), first80);
    SetStatusText(TV_STATUS_STRING, nullptr, IDS_MSG_READY);
    EXPECT_STREQ(StatusMessageText(), "Ready");
    SetStatusText(TV_STATUS_DESCRIBE, nullptr, IDM_SEND);   // drawn over the bar only
    EXPECT_STREQ(StatusMessageText(), "Ready");
    SetStatusText(9, "ignored");
    EXPECT_STREQ(StatusMessageText(), "Ready");
    g_app.server.serverAccessible = false;
    SetStatusText(TV_STATUS_RESET);
    EXPECT_STREQ(StatusMessageText(), "Offline from Tavrine server");
    g_app.server.serverAccessible = true;
    SetStatusText(TV_STATUS_RESET);
    EXPECT_STREQ(StatusMessageText(), "");
}

TEST_F(Bars, HotTrackingCapturesTheMouse)
{
    LayoutToolBar(TV_TOOLS_MAIN);
    ShowToolBar(TV_TOOL_ROW_ICONS, TV_BAR_APPLY);   // 60 x 42
    HWND b = GetDlgItem(g_app.buttonBar, 110);
    ASSERT_NE(b, nullptr);
    const struct {
        int x, y;
        WPARAM keys;
        bool captured;
    } moves[] = {
        {10, 10, 0, true},   {60, 42, 0, true},          {61, 10, 0, false}, {0, 0, 0, true},
        {10, 43, 0, false},  {-1, 5, MK_LBUTTON, true},  {200, 5, MK_LBUTTON, true},
        {200, 5, 0, false},
    };
    for (const auto &m : moves) {
        SendMessageA(b, WM_MOUSEMOVE, m.keys, MAKELPARAM(m.x, m.y));
        EXPECT_EQ(GetCapture() == b, m.captured) << m.x << "," << m.y << " keys " << m.keys;
    }
    SendMessageA(b, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    ASSERT_EQ(GetCapture(), b);
    SendMessageA(b, WM_KILLFOCUS, 0, 0);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(Bars, GreyedButtonsKeepTheirPicture)
{
    // View has no grey picture: greyed it still shows its own.
    LayoutToolBar(TV_TOOLS_MAIN);
    g_app.profile.toolTextRow = false;
    ShowToolBar(TV_TOOL_ROW_ICONS, TV_BAR_APPLY);
    for (int id : {116, 110}) {
        SCOPED_TRACE(id);
        HWND b = GetDlgItem(g_app.buttonBar, id);
        EnableToolButton(id, true);
        UpdateWindow(b);
        HDC dc = GetDC(b);
        const COLORREF face = GetSysColor(COLOR_BTNFACE);
        int other = 0;
        for (int x = 6; x < 54; ++x)
            for (int y = 2; y < 26; ++y)
                if (GetPixel(dc, x, y) != face)
                    ++other;
        ReleaseDC(b, dc);
        EXPECT_GT(other, 50);
    }
}

TEST_F(Bars, MessagesPaneDrawsIconsAndRecordsDropTargets)
{
    const DWORD style = WS_CHILD | WS_VISIBLE | LBS_OWNERDRAWFIXED;
    g_app.lists[0] = CreateWindowA("LISTBOX", "", style, 60, 50, 340, 100, g_app.main, nullptr, g_app.instance, nullptr);
    g_app.lists[1] = CreateWindowA("LISTBOX", "", style, 60, 160, 340, 20, g_app.main, nullptr, g_app.instance, nullptr);
    g_app.filed = CreateWindowA(TV_CLASS_PANE, "", WS_CHILD, 60, 190, 340, 100, g_app.main, nullptr, g_app.instance,
                                nullptr);
    const int iconW = GetSystemMetrics(SM_CXICON), iconH = GetSystemMetrics(SM_CYICON);
    ASSERT_GT(iconH, 20);
    ListTable(1120)->PaneRect = {60, 4, 400, 104};    // high enough for the icon
    ListTable(1121)->PaneRect = {60, 112, 400, 132};  // lower than an icon
    ListTable(1122)->PaneRect = {60, 140, 400, 240};  // its pane is hidden
    for (RECT &r : g_dropTargets)
        SetRect(&r, 1, 2, 3, 4);
    g_inTitleWidth = 0;

    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 420, 260);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bmp);
    RECT all = {0, 0, 420, 260};
    HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    FillRect(dc, &all, face);
    DeleteObject(face);
    PAINTSTRUCT ps = {};
    ps.hdc = dc;
    ps.rcPaint = all;
    PaintMessagesPane(nullptr, &ps);

    const int x = (60 - iconW) / 2;
    EXPECT_EQ(g_dropTargets[TV_DROP_IN].left, x - 1);
    EXPECT_EQ(g_dropTargets[TV_DROP_IN].top, 3);
    EXPECT_EQ(g_dropTargets[TV_DROP_IN].right, x + iconW + 1);
    EXPECT_EQ(g_dropTargets[TV_DROP_IN].bottom, 4 + iconH + 1);
    EXPECT_TRUE(IsRectEmpty(&g_dropTargets[TV_DROP_OUT]));
    EXPECT_EQ(g_dropTargets[TV_DROP_OUT].right, 0);
    EXPECT_TRUE(IsRectEmpty(&g_dropTargets[TV_DROP_FILED]));
    EXPECT_GT(g_inTitleWidth, 0);
    // The sunken bevel 3 pixels outside each drawn list, the inside filled.
    EXPECT_EQ(GetPixel(dc, 57, 50), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(GetPixel(dc, 200, 1), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(GetPixel(dc, 57, 120), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(GetPixel(dc, 200, 50), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(GetPixel(dc, 57, 200), GetSysColor(COLOR_BTNFACE));   // FILED not drawn

    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    for (int id = 1120; id <= 1122; ++id)
        ListTable(id)->PaneRect = {};
}

TEST_F(Bars, FiledPaneShowsTheDirectory)
{
    const struct {
        const char *dir, *shown;
    } cases[] = {{"C:\\TAVRINE\\FILED\\", "c:\\tavrine\\filed"}, {"C:\\", "c:\\"}};
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen), ref = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 300, 30), refBmp = CreateCompatibleBitmap(screen, 300, 30);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bmp), oldRef = SelectObject(ref, refBmp);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.dir);
        RECT all = {0, 0, 300, 30};
        PAINTSTRUCT ps = {};
        ps.hdc = dc;
        ps.rcPaint = all;
        HBRUSH window = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
        // The rest of the line is filled; the margin is the erase's.
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        PaintFiledPane(nullptr, &ps, c.dir);
        EXPECT_EQ(GetPixel(dc, 299, 29), GetSysColor(COLOR_WINDOW));
        EXPECT_EQ(GetPixel(dc, 1, 29), RGB(0, 0, 0));
        // The text, against the same text drawn here.
        FillRect(dc, &all, window);
        PaintFiledPane(nullptr, &ps, c.dir);
        FillRect(ref, &all, window);
        DeleteObject(window);
        SetTextColor(ref, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(ref, GetSysColor(COLOR_WINDOW));
        TextOutA(ref, 3, 1, c.shown, int(std::strlen(c.shown)));
        int differ = 0;
        for (int x = 0; x < 300; ++x)
            for (int y = 0; y < 30; ++y)
                if (GetPixel(dc, x, y) != GetPixel(ref, x, y))
                    ++differ;
        EXPECT_EQ(differ, 0);
    }
    SelectObject(dc, old);
    SelectObject(ref, oldRef);
    DeleteObject(bmp);
    DeleteObject(refBmp);
    DeleteDC(dc);
    DeleteDC(ref);
}

// Dark pixels in the status bar's message field.
int DarkStatusPixels()
{
    HDC dc = GetDC(g_app.statusBar);
    int dark = 0;
    for (int x = 10; x < 200; ++x)
        for (int y = 3; y < 17; ++y)
            if (GetRValue(GetPixel(dc, x, y)) < 0x60)
                ++dark;
    ReleaseDC(g_app.statusBar, dc);
    return dark;
}

// The owner-draw call a button gets when it is pressed (selected) or let go.
void DrawButtonSelection(HWND button, UINT id, bool pressed)
{
    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_BUTTON;
    item.CtlID = id;
    item.itemAction = ODA_SELECT;
    item.itemState = pressed ? ODS_SELECTED : 0;
    item.hwndItem = button;
    item.hDC = GetDC(button);
    GetClientRect(button, &item.rcItem);
    DrawToolButton(&item);
    ReleaseDC(button, item.hDC);
}

TEST_F(Bars, PressedButtonDescribesItsCommand)
{
    LayoutToolBar(TV_TOOLS_MAIN);
    ShowToolBar(TV_TOOL_ROW_ICONS, TV_BAR_APPLY);
    HWND b = GetDlgItem(g_app.buttonBar, 110);
    SetStatusText(TV_STATUS_SHOW, "");
    ASSERT_EQ(DarkStatusPixels(), 0);
    SetStatusText(TV_STATUS_SHOW, "Shown");
    ASSERT_GT(DarkStatusPixels(), 5);
    SetStatusText(TV_STATUS_SHOW, "");
    ASSERT_EQ(DarkStatusPixels(), 0);

    DrawButtonSelection(b, 110, true);
    EXPECT_GT(DarkStatusPixels(), 5);     // the command's description
    EXPECT_STREQ(StatusMessageText(), "");
    DrawButtonSelection(b, 110, false);
    EXPECT_EQ(DarkStatusPixels(), 0);     // the message again
}

// The pixels of a window's client area.
std::vector<COLORREF> Snapshot(HWND w)
{
    RECT r;
    GetClientRect(w, &r);
    HDC dc = GetDC(w);
    std::vector<COLORREF> px;
    for (int y = 0; y < r.bottom; ++y)
        for (int x = 0; x < r.right; ++x)
            px.push_back(GetPixel(dc, x, y));
    ReleaseDC(w, dc);
    return px;
}

TEST_F(Bars, LatchedButtonKeepsItsLookWhenPressed)
{
    LayoutToolBar(TV_TOOLS_VIEWER);
    ShowToolBar(TV_TOOL_ROW_ICONS, TV_BAR_APPLY);
    for (bool latched : {false, true}) {
        SCOPED_TRACE(latched);
        HWND b = GetDlgItem(g_app.buttonBar, 105);
        LatchToolButton(105, latched);
        RedrawWindow(b, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        const std::vector<COLORREF> before = Snapshot(b);
        DrawButtonSelection(b, 105, true);
        EXPECT_EQ(Snapshot(b) == before, latched);
        EXPECT_GT(DarkStatusPixels(), 5);   // the description all the same
        SetStatusText(TV_STATUS_SHOW, "");
    }
}

TEST_F(Bars, MissingWindowsAreTolerated)
{
    DestroyWindow(g_app.main);
    g_app.main = g_app.buttonBar = g_app.statusBar = nullptr;
    g_app.mainMenu = nullptr;
    EXPECT_EQ(LayoutToolBar(TV_TOOLS_MAIN), 1);
    EXPECT_EQ(FindToolButton(110), 0);
    EXPECT_TRUE(ShowToolBar(TV_TOOL_ROW_ICONS, TV_BAR_APPLY));
    EXPECT_EQ(LayoutToolBar(TV_TOOLS_MOVE), 1);
    EXPECT_TRUE(ShowStatusBar(TV_BAR_APPLY));
    EnableToolButton(110, true);
    ToolButtonCommand(110);
    EXPECT_TRUE(g_commands.empty());
    SetStatusText(TV_STATUS_RESET, "x");
    SetStatusText(TV_STATUS_DESCRIBE, nullptr, IDM_SEND);
    EXPECT_STREQ(StatusMessageText(), "x");
    PaintStatusBar(nullptr, nullptr);
    PaintMessagesPane(nullptr, nullptr);
    PaintFiledPane(nullptr, nullptr, "C:\\");
    PaintLog(nullptr, nullptr, nullptr);
    DrawToolButton(nullptr);
}

// ---------------------------------------------------------------- list rows

class Rows : public ::testing::Test {
protected:
    static constexpr int kWidth = 700, kHeight = 20;
    HDC dc = nullptr, refDc = nullptr;
    HBITMAP dib = nullptr, refDib = nullptr;
    HGDIOBJ oldDib = nullptr, oldRef = nullptr;
    MessageListEntry entries[2] = {};
    MessageListTable table = {};

    void SetUp() override
    {
        ResetAppMetrics();
        dc = MemoryDc(&dib, &oldDib);
        refDc = MemoryDc(&refDib, &oldRef);
        table.Allocated = 2;
        table.Used = 2;
        table.Storage = entries;
    }

    void TearDown() override
    {
        SelectObject(dc, oldDib);
        SelectObject(refDc, oldRef);
        DeleteObject(dib);
        DeleteObject(refDib);
        DeleteDC(dc);
        DeleteDC(refDc);
        g_app = TvApp{};
    }

    static HDC MemoryDc(HBITMAP *bmp, HGDIOBJ *old)
    {
        HDC screen = GetDC(nullptr);
        HDC mem = CreateCompatibleDC(screen);
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = kWidth;
        bi.bmiHeader.biHeight = -kHeight;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        void *bits = nullptr;
        *bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        ReleaseDC(nullptr, screen);
        *old = SelectObject(mem, *bmp);
        RECT all = {0, 0, kWidth, kHeight};
        FillRect(mem, &all, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
        return mem;
    }

    void Set(int slot, const char *status, int kind, const char *user, const char *comment)
    {
        MessageListEntry &e = entries[slot];
        e = MessageListEntry{};
        std::snprintf(e.Status, sizeof e.Status, "%s", status);
        std::snprintf(e.UserStatus, sizeof e.UserStatus, "%s", user);
        std::snprintf(e.AssocFile, sizeof e.AssocFile, "%s", "C:\\DOCS\\LETTER.DOC");
        std::snprintf(e.Comment, sizeof e.Comment, "%s", comment);
        e.Kind = kind;
    }

    void Draw(int slot)
    {
        DRAWITEMSTRUCT item = {};
        item.CtlType = ODT_LISTBOX;
        item.itemID = 0;
        item.itemAction = ODA_DRAWENTIRE;
        item.hDC = dc;
        item.rcItem = {0, 0, kWidth, g_app.charHeight};
        item.itemData = ULONG_PTR(slot);
        PaintLog(nullptr, &item, &table);
    }

    // Pixels of the comment column: red ones and dark ones.
    void CommentPixels(int *red, int *dark)
    {
        const int x3 = g_app.marginX + STATUS_BITMAP_WIDTH + 29 * g_app.charWidth;
        *red = *dark = 0;
        for (int x = x3; x < kWidth; ++x)
            for (int y = 0; y < g_app.charHeight; ++y) {
                COLORREF c = GetPixel(dc, x, y);
                if (GetRValue(c) > 0xB0 && GetGValue(c) < 0x50 && GetBValue(c) < 0x50)
                    ++*red;
                else if (GetRValue(c) < 0x50 && GetGValue(c) < 0x50 && GetBValue(c) < 0x50)
                    ++*dark;
            }
    }

    // Whether the status column shows bitmap name as PaintLog places it.
    bool ShowsBitmap(const char *name)
    {
        HBITMAP bmp = LoadBitmapA(g_app.instance, name);
        EXPECT_NE(bmp, nullptr) << name;
        if (!bmp)
            return false;
        RECT all = {0, 0, kWidth, kHeight};
        HBRUSH window = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
        FillRect(refDc, &all, window);
        DeleteObject(window);
        const int top = (g_app.charHeight - STATUS_BITMAP_HEIGHT) / 2;
        HDC mem = CreateCompatibleDC(refDc);
        HGDIOBJ old = SelectObject(mem, bmp);
        BitBlt(refDc, 0, top, STATUS_BITMAP_WIDTH, STATUS_BITMAP_HEIGHT, mem, 0, 0, SRCAND);
        SelectObject(mem, old);
        DeleteDC(mem);
        DeleteObject(bmp);
        for (int x = 0; x < STATUS_BITMAP_WIDTH; ++x)
            for (int y = top; y < top + STATUS_BITMAP_HEIGHT; ++y)
                if (GetPixel(dc, x, y) != GetPixel(refDc, x, y))
                    return false;
        return true;
    }
};

TEST_F(Rows, FailedRowDrawsItsTextInRed)
{
    Set(0, "Fa", TV_KIND_SEND, "OK", "WWWW MMMM FAILED");
    Set(1, "Se", TV_KIND_SEND, "OK", "WWWW MMMM SENDING");
    int red, dark;
    Draw(0);
    CommentPixels(&red, &dark);
    EXPECT_GT(red, 20);
    EXPECT_EQ(dark, 0);
    EXPECT_TRUE(ShowsBitmap(RES_BMP_FAILED));
    Draw(1);
    CommentPixels(&red, &dark);
    EXPECT_EQ(red, 0);
    EXPECT_GT(dark, 20);
    EXPECT_TRUE(ShowsBitmap(RES_BMP_SENDING));
}

TEST_F(Rows, ReceivedMessageShowsNewDocUntilOpened)
{
    Set(0, "OK", TV_KIND_RECEIVE, "Aw", "fax");
    Draw(0);
    EXPECT_TRUE(ShowsBitmap(RES_BMP_NEWDOC));
    EXPECT_FALSE(ShowsBitmap(RES_BMP_DOCUMENT));
    Set(0, "ok", TV_KIND_RECEIVE, "ok", "fax");
    Draw(0);
    EXPECT_TRUE(ShowsBitmap(RES_BMP_DOCUMENT));
    EXPECT_FALSE(ShowsBitmap(RES_BMP_NEWDOC));
}

TEST_F(Rows, LongNamesAreCutToTheirColumn)
{
    Set(0, "Se", TV_KIND_SEND, "OK", "");
    std::snprintf(entries[0].AssocFile, sizeof entries[0].AssocFile, "%s",
                  "C:\\DOCS\\WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW.DOC");
    Draw(0);
    // Name from x1 over 14 w; the date column after it stays empty.
    const int x1 = g_app.marginX + STATUS_BITMAP_WIDTH, x2 = x1 + 14 * g_app.charWidth;
    int inName = 0, beyond = 0;
    for (int y = 0; y < g_app.charHeight; ++y) {
        for (int x = x1; x < x2; ++x)
            inName += GetPixel(dc, x, y) != GetSysColor(COLOR_WINDOW);
        for (int x = x2; x < kWidth; ++x)
            beyond += GetPixel(dc, x, y) != GetSysColor(COLOR_WINDOW);
    }
    EXPECT_GT(inName, 20);
    EXPECT_EQ(beyond, 0);
}

TEST_F(Rows, SlotsOutsideTheTableAreNotDrawn)
{
    Set(0, "Fa", TV_KIND_SEND, "OK", "WWWW MMMM FAILED");
    Set(1, "Fa", TV_KIND_DELETED, "OK", "WWWW MMMM FAILED");
    for (int slot : {1, 2, -1}) {
        Draw(slot);
        EXPECT_EQ(GetPixel(dc, kWidth - 1, 5), GetPixel(dc, kWidth - 1, kHeight - 1)) << slot;  // untouched grey
        int red, dark;
        CommentPixels(&red, &dark);
        EXPECT_EQ(red, 0) << slot;
    }
    // An unusable table shows "Error!" over the list and draws no row.
    table.Allocated = -1;
    Draw(0);
    int red, dark;
    CommentPixels(&red, &dark);
    EXPECT_EQ(red, 0);
    EXPECT_EQ(GetPixel(dc, kWidth - 1, 5), GetSysColor(COLOR_WINDOW));
}

}  // namespace
