// The main window, its panes and list boxes, the periodic timer and the end
// of the program. The decisions (layout arithmetic, the timer schedule, the
// greying rule, the help topics, the saved placement) are portable code;
// this file applies them to the windows.
#include "client/shell/mainwnd_win.h"

#include <dde.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "client/shell/app_win.h"
#include "client/shell/dialogs_win.h"
#include "client/shell/dynlibs_win.h"
#include "client/shell/intl_win.h"
#include "client/shell/mainlayout.h"
#include "client/shell/menustate.h"
#include "client/shell/paint_win.h"
#include "client/shell/pump_win.h"
#include "client/shell/schedule.h"
#include "client/shell/tavr32_res.h"
#include "client/shell/toolbar_win.h"
#include "client/store/listview_win.h"
#include "client/store/msgdir.h"
#include "client/store/storehooks.h"
#include "common/ctlfile.h"
#include "common/langlib.h"
#include "common/sysini.h"
#include "tests/support/gui/testanswer.h"

namespace {

// List box style: child, visible, vertical scroll bar, notify, sorted,
// owner-drawn fixed, extended selection; no strings (item data = store slot).
const DWORD kListStyle = 0x50200813;
// Main window: overlapped window with clip children.
const DWORD kMainStyle = 0x2CF0000;
// Class style: vertical and horizontal redraw, double clicks.
const UINT kClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;

// Command the list boxes post to the main window on a selection change.
const int kListSelectCommand = IDM_PANESELCHANGE;

const int kListIds[TV_LISTS] = {TV_LIST_NEW, TV_LIST_WAITING, TV_LIST_FILED};
const char *const kListNames[TV_LISTS] = {"Incoming", "Outgoing", "Filed list"};

WNDPROC s_listClassProc;        // the LISTBOX class procedure, one for all three
Win32ListView s_views[TV_LISTS];
bool s_firstFill[TV_LISTS] = {true, true, true};
bool s_offlineShown;
bool s_ended;
TvTimerSettings s_timers;
TvTimerState s_timerState;
UINT s_testQuery;

// The five print-to-fax notifications, answered 107 until the loop runs.
enum { TV_SPOOL_MESSAGES = 5 };
UINT s_spoolMessages[TV_SPOOL_MESSAGES];
const char *const kSpoolMessageNames[TV_SPOOL_MESSAGES] = {
    "TAVRINE_SPOOLING_STARTED", "TAVRINE_SPOOLING_COMPLETED", "TAVRINE_SPOOLING_ABORTED",
    "TAVRINE_ADDRESSING_CONTROL", "TAVRINE_SPOOLING_JOBNAME"};
// Answer while print-to-fax is not available.
const LRESULT kSpoolNotReady = 107;

int ListIdOf(HWND hwnd)
{
    for (int i = 0; i < TV_LISTS; ++i)
        if (g_app.lists[i] && g_app.lists[i] == hwnd)
            return kListIds[i];
    return 0;
}

HWND ListWindow(int listId)
{
    int i = ListPosition(listId);
    return i < 0 ? nullptr : g_app.lists[i];
}


void WinHelpTopic(UINT command, ULONG_PTR data)
{
    // Help goes through one place so that a test build can log it instead.
    char env[8];
    if (GetEnvironmentVariableA("TAVRINE_NO_WINHELP", env, sizeof env) > 0) {
        WriteErrorLog(&g_app.log, TV_LOG_ONLY, "WinHelp", "help %u topic %lu", command,
                      static_cast<unsigned long>(data));
        return;
    }
    WinHelpA(g_app.main, g_app.cfg.help, command, data);
}

// ---------------------------------------------------------------- help mode
void EndHelpMode(HWND hwnd)
{
    g_app.helpMode = false;
    SetCursor(reinterpret_cast<HCURSOR>(GetClassLongPtrA(hwnd, GCLP_HCURSOR)));
}

// On the release of a key. F1 alone needs nothing here: the accelerator
// table turned its press into the help contents command already, and a
// second request would open the contents twice.
void HelpKeyCheck(HWND hwnd, WPARAM key)
{
    if (key == VK_F1) {
        if (GetKeyState(VK_SHIFT) < 0) {
            g_app.helpMode = true;
            SetCursor(g_app.helpCursor);
        }
    } else if (key == VK_ESCAPE && g_app.helpMode) {
        EndHelpMode(hwnd);
    }
}

void HelpOnCommand(HWND hwnd, int command)
{
    EndHelpMode(hwnd);
    if (command == IDM_HELPINDEX) {
        WinHelpTopic(HELP_INDEX, 0);
        return;
    }
    if (command == IDM_USINGHELP) {
        WinHelpTopic(HELP_HELPONHELP, 0);
        return;
    }
    int topic = HelpTopicForCommand(command);
    if (topic) {
        WinHelpTopic(HELP_CONTEXT, static_cast<ULONG_PTR>(topic));
        return;
    }
    ErrorBoxFromString(g_app.main, 148, nullptr, MB_ICONEXCLAMATION);
}

// 1 when the click was taken.
int HelpOnClick(HWND hwnd, int hitTest)
{
    int topic = HelpTopicForHitTest(hitTest);
    if (!topic)
        return 0;
    EndHelpMode(hwnd);
    WinHelpTopic(HELP_CONTEXT, static_cast<ULONG_PTR>(topic));
    return 1;
}

// ---------------------------------------------------------------- the list boxes
void PostSelectionChange(HWND list)
{
    PostMessageA(g_app.main, WM_COMMAND, MAKEWPARAM(kListSelectCommand, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
}

LRESULT CALLBACK LinkLogListboxWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    int listId = ListIdOf(hwnd);
    int pos = ListPosition(listId);
    if (pos < 0)
        return CallWindowProcA(s_listClassProc, hwnd, msg, wParam, lParam);
    MessageListTable *table = ListTable(listId);
    const ListView *view = &s_views[pos].view;

    switch (msg) {
    case LB_ADDSTRING:
        return StoreListAdd(table, view, reinterpret_cast<const MessageListEntry *>(lParam));
    case LB_DELETESTRING:
        // As the list box answers: the items left, or LB_ERR.
        if (!StoreListDelete(table, view, static_cast<int>(wParam)))
            return LB_ERR;
        return CallWindowProcA(s_listClassProc, hwnd, LB_GETCOUNT, 0, 0);
    case LB_RESETCONTENT:
        StoreListReset(table, view);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_TAB || wParam == VK_F6) {
            SwitchListPane(GetKeyState(VK_SHIFT) < 0);
            return 0;
        }
        if (wParam == VK_ESCAPE) {
            ClearListSelection(hwnd);
            PostSelectionChange(hwnd);
        }
        break;
    case WM_KEYUP:
        HelpKeyCheck(g_app.main, wParam);
        break;
    case WM_LBUTTONDOWN: {
        if (g_app.helpMode && HelpOnClick(g_app.main, HTNOWHERE) == 1)
            return 0;
        LRESULT r = CallWindowProcA(s_listClassProc, hwnd, msg, wParam, lParam);
        if (SendMessageA(hwnd, LB_GETSELCOUNT, 0, 0) > 0) {
            for (int i = 0; i < TV_LISTS; ++i)
                if (g_app.lists[i] != hwnd)
                    ClearListSelection(g_app.lists[i]);
            SelectListPane(hwnd, false);
            SetStatusText(1, "", 0);
        }
        return r;
    }
    default:
        break;
    }
    return CallWindowProcA(s_listClassProc, hwnd, msg, wParam, lParam);
}

// WM_COMPAREITEM: NEW puts group messages first, FILED orders by the
// associated file; otherwise, and on a tie, the store's slot order.
LRESULT CompareItems(const COMPAREITEMSTRUCT *c)
{
    int listId = static_cast<int>(c->CtlID);
    const MessageListTable *table = ListTable(listId);
    int r = 0;
    if (table && listId == TV_LIST_NEW)
        r = CompareListSlots(table, TV_SORT_GROUP_FIRST, c->itemData1, c->itemData2);
    else if (table && listId == TV_LIST_FILED)
        r = CompareListSlots(table, TV_SORT_ASSOC_FILE, c->itemData1, c->itemData2);
    if (r != 0)
        return r;
    return c->itemData1 < c->itemData2 ? -1 : c->itemData1 > c->itemData2 ? 1 : 0;
}

void ListNotification(HWND list, int code)
{
    if (code == LBN_SELCHANGE) {
        UpdateMenuState(ServerOnline());
        PostSelectionChange(list);
    }
    // A double-click views the message or shows its information; both come
    // with the commands.
}

// ---------------------------------------------------------------- panes and bars
LRESULT PaneCommand(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    HWND from = reinterpret_cast<HWND>(lParam);
    if (hwnd == g_app.buttonBar) {
        ToolButtonCommand(LOWORD(wParam));
        return 0;
    }
    if (ListIdOf(from))
        ListNotification(from, HIWORD(wParam));
    return 0;
}

LRESULT CALLBACK LinkLogWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        if (hwnd == g_app.messages)
            PaintMessagesPane(hwnd, &ps);
        else if (hwnd == g_app.filed)
            PaintFiledPane(hwnd, &ps, g_storeConfig.filedDir);
        else if (hwnd == g_app.statusBar)
            PaintStatusBar(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND: {
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(reinterpret_cast<HDC>(wParam), &rc,
                 GetSysColorBrush(hwnd == g_app.filed ? COLOR_WINDOW : COLOR_BTNFACE));
        return 1;
    }
    case WM_MEASUREITEM:
        reinterpret_cast<MEASUREITEMSTRUCT *>(lParam)->itemHeight = static_cast<UINT>(g_app.charHeight);
        return TRUE;
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT *d = reinterpret_cast<const DRAWITEMSTRUCT *>(lParam);
        if (d->itemID == static_cast<UINT>(-1) && d->CtlType == ODT_LISTBOX) {
            // An empty list box still paints its background.
            FillRect(d->hDC, &d->rcItem, GetSysColorBrush(COLOR_WINDOW));
            return TRUE;
        }
        if (d->CtlType == ODT_BUTTON)
            DrawToolButton(d);
        else if (d->CtlType == ODT_LISTBOX)
            PaintLog(d->hwndItem, d, ListTable(static_cast<int>(d->CtlID)));
        return TRUE;
    }
    case WM_COMPAREITEM:
        return CompareItems(reinterpret_cast<const COMPAREITEMSTRUCT *>(lParam));
    case WM_COMMAND:
        return PaneCommand(hwnd, wParam, lParam);
    case WM_SETCURSOR:
        if (g_app.helpMode) {
            SetCursor(g_app.helpCursor);
            return 1;
        }
        break;
    case WM_KEYUP:
        HelpKeyCheck(g_app.main, wParam);
        return 0;
    case WM_LBUTTONDOWN:
        if (g_app.helpMode && HelpOnClick(g_app.main, HTNOWHERE) == 1)
            return 0;
        break;
    default:
        break;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// ---------------------------------------------------------------- the main window
void CreateStartupResources(HWND)
{
    char name[40];
    char stem[16];
    LoadClientString(IDS_STEM, stem, sizeof stem);
    std::snprintf(name, sizeof name, "%sDocument", stem);
    g_app.documentCursor = LoadCursorA(g_app.instance, name);
    std::snprintf(name, sizeof name, "%sHelp", stem);
    g_app.helpCursor = LoadCursorA(g_app.instance, name);
    g_app.backgroundBrush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    for (int id : kListIds)
        FreeListTable(ListTable(id));
}

void WinIniChange(const char *section)
{
    TvSettingsChange change = SettingsChangeEffects(section);
    if (change.formats) {
        GetIntlDateFormat(&g_app.intl);
        if (!g_app.viewer)
            for (HWND list : g_app.lists)
                if (list)
                    InvalidateRect(list, nullptr, FALSE);
    }
    if (change.colors) {
        if (g_app.backgroundBrush)
            DeleteObject(g_app.backgroundBrush);
        g_app.backgroundBrush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    }
}

void MenuSelect(WPARAM wParam, LPARAM lParam)
{
    UINT flags = HIWORD(wParam);
    if (flags == 0xFFFF && lParam == 0)
        SetStatusText(1, nullptr, 0);
    else if (flags & (MF_POPUP | MF_SYSMENU))
        SetStatusText(1, nullptr, 0);
    else
        SetStatusText(3, nullptr, LOWORD(wParam));
}

void RunPeriodicChecks(void);

void MainEnterIdle(WPARAM reason)
{
    if (reason == MSGF_MENU && GetKeyState(VK_F1) < 0) {
        g_app.helpMode = true;
        SetCursor(g_app.helpCursor);
        PostMessageA(g_app.main, WM_KEYDOWN, VK_RETURN, 0);
    }
    if (s_timerState.lastTick != 0 && static_cast<int64_t>(std::time(nullptr)) > s_timerState.lastTick)
        RunPeriodicChecks();
}

// The answer to a GUI test's query: what only this process knows.
LRESULT AnswerQuery(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    char title[128];
    GetWindowTextA(hwnd, title, sizeof title);
    const char *status = StatusMessageText();
    tvtest::TestPairs pairs = {
        {"AppState", std::to_string(g_app.appState)},
        {"ServerRunning", g_app.server.serverRunning ? "1" : "0"},
        {"ServerAccessible", g_app.server.serverAccessible ? "1" : "0"},
        {"CurrentList", std::to_string(g_app.currentList)},
        {"LastShownList", std::to_string(g_app.lastShownList)},
        {"HelpMode", g_app.helpMode ? "1" : "0"},
        {"Welcome", g_app.welcome ? "1" : "0"},
        {"StatusText", status ? status : ""},
        {"Title", title},
        {"User", g_app.id.userName},
    };
    return tvtest::AnswerTestQuery(hwnd, wParam, lParam, pairs);
}

void MainCommand(HWND hwnd, int command)
{
    switch (command) {
    case kListSelectCommand:
        SelectListPane(nullptr, false);
        break;
    case IDM_IN:
    case IDM_OUT:
    case IDM_FILED:
        SelectListPane(ListWindow(command), true);
        break;
    case IDM_REFRESH:
        RefreshMainWindow();
        break;
    case IDM_RECONNECT:
        g_app.server.serverAccessible = true;
        s_offlineShown = false;
        CheckServer(&g_app.server);
        RefreshMainWindow();
        break;
    case IDM_BUTTONSICONS:
        ShowToolBar(1, 2);
        LayoutMainWindow();
        break;
    case IDM_BUTTONSTEXT:
        ShowToolBar(2, 2);
        LayoutMainWindow();
        break;
    case IDM_STATUSBAR:
        ShowStatusBar(2);
        LayoutMainWindow();
        break;
    case IDM_ABOUT:
        g_app.modal = true;
        ShowAboutBox(hwnd);
        g_app.modal = false;
        break;
    case IDM_HELPINDEX:
        WinHelpTopic(HELP_INDEX, 0);
        break;
    case IDM_USINGHELP:
        WinHelpTopic(HELP_HELPONHELP, 0);
        break;
    case IDM_EXIT:
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
        break;
    default:
        // The commands of the message store, composing and the viewer come
        // with those parts; until then a command changes nothing.
        break;
    }
}

// A file dropped on the main window: the first one is taken. Making a
// message of it belongs to composing, which is not part of the program yet;
// until then the drop only follows the server's state.
void HandleDroppedFiles(HDROP drop)
{
    char path[269 + 1] = "";
    DragQueryFileDyn(drop, 0, path, sizeof path);
    DragFinishDyn(drop);
    if (!IsServerAvailable(&g_app.server))
        RefreshMainWindow();
}

LRESULT CALLBACK LinkWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != 0 && msg == s_testQuery)
        return AnswerQuery(hwnd, wParam, lParam);
    for (UINT m : s_spoolMessages)
        if (m != 0 && msg == m)
            return kSpoolNotReady;

    switch (msg) {
    case WM_CREATE:
        CreateStartupResources(hwnd);
        return 0;
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_QUERYENDSESSION:
        return 1;
    case WM_ENDSESSION:
        if (wParam) {
            WriteErrorLog(&g_app.log, 0, "--------------------", "Tavrine session ending");
            EndProgram();
        }
        return 0;
    case WM_DESTROY:
        EndProgram();
        g_app.main = nullptr;
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        if (g_app.viewer)
            SendMessageA(g_app.viewer, msg, wParam, lParam);
        if (wParam != SIZE_MINIMIZED)
            LayoutMainWindow();
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam))
            SetFocus(hwnd);
        return 0;
    case WM_SETFOCUS:
        if (!g_app.viewer) {
            HWND list = ListWindow(g_app.currentList);
            if (list)
                SetFocus(list);
        }
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_SYSCOLORCHANGE:
        Ctl3dColorChangeDyn();
        return 0;
    case WM_WININICHANGE:
        WinIniChange(reinterpret_cast<const char *>(lParam));
        return 0;
    case WM_SETCURSOR:
        if (g_app.helpMode) {
            SetCursor(g_app.helpCursor);
            return 1;
        }
        break;
    case WM_NCLBUTTONDOWN:
        if (g_app.helpMode && HelpOnClick(hwnd, static_cast<int>(wParam)) == 1)
            return 0;
        break;
    case WM_KEYDOWN:
        if (g_app.viewer)
            SendMessageA(g_app.viewer, msg, wParam, lParam);
        return 0;
    case WM_KEYUP:
        HelpKeyCheck(hwnd, wParam);
        if (g_app.viewer)
            SendMessageA(g_app.viewer, msg, wParam, lParam);
        return 0;
    case WM_CHAR:
        if (g_app.viewer)
            SendMessageA(g_app.viewer, msg, wParam, lParam);
        return 0;
    case WM_COMMAND:
        // A list's selection change (Esc in a list posts one) is no command
        // the user asked help for.
        if (g_app.helpMode && LOWORD(wParam) != kListSelectCommand)
            HelpOnCommand(hwnd, LOWORD(wParam));
        else if (g_app.viewer)
            SendMessageA(g_app.viewer, msg, wParam, lParam);
        else
            MainCommand(hwnd, LOWORD(wParam));
        return 0;
    case WM_TIMER:
        if (wParam == 1)
            RunPeriodicChecks();
        return 0;
    case WM_INITMENU:
        if (g_app.helpMode)
            SetCursor(g_app.helpCursor);
        return 0;
    case WM_MENUSELECT:
        MenuSelect(wParam, lParam);
        return 0;
    case WM_ENTERIDLE:
        MainEnterIdle(wParam);
        return 0;
    case WM_LBUTTONDOWN:
        // Clicks on the panes themselves come with the commands; in help
        // mode a click asks for the help on the window.
        if (g_app.helpMode)
            HelpOnClick(hwnd, HTNOWHERE);
        return 0;
    case WM_RENDERFORMAT:
    case WM_RENDERALLFORMATS:
    case WM_DESTROYCLIPBOARD:
    case WM_DRAWCLIPBOARD:
        return 0;
    case WM_DROPFILES:
        HandleDroppedFiles(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_DDE_INITIATE:
        // No DDE partner is served yet.
        return 0;
    default:
        break;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// ---------------------------------------------------------------- the periodic timer
namespace timer {
bool ServerRunning(void *) { return g_app.server.serverRunning; }
bool ServerAccessible(void *) { return g_app.server.serverAccessible; }
int Check(void *) { return CheckServer(&g_app.server); }
int Available(void *) { return IsServerAvailable(&g_app.server); }
void Refresh(void *) { RefreshMainWindow(); }
void Fill(void *, int listId) { FillMessageList(listId); }
bool NewIdle(void *) { return g_storeState.newListSettled; }
bool WaitingIdle(void *) { return g_storeState.waitingListSettled; }
bool InGroup(void *) { return g_app.id.group[0] != '\0'; }
bool ReplyAwaited(void *) { return g_app.replyAwaited; }
bool Modal(void *) { return g_app.modal; }
int State(void *) { return g_app.appState; }
// Print-to-fax spooling has nothing outstanding until it exists.
int SpoolComplete(void *) { return 1; }
void DestroyWelcome(void *) { DestroyWelcomeWindow(); }
} // namespace timer

const TvTimerActions kTimerActions = {
    nullptr,         timer::ServerRunning, timer::ServerAccessible, timer::Check,
    timer::Available, timer::Refresh,      timer::Fill,             timer::NewIdle,
    timer::WaitingIdle, timer::InGroup,    timer::ReplyAwaited,     nullptr,
    nullptr,         timer::Modal,         timer::State,            nullptr,
    timer::SpoolComplete, timer::DestroyWelcome,
};

void RunPeriodicChecks(void)
{
    if (!g_app.main)
        return;
    KillTimer(g_app.main, 1);
    int wait = RunPeriodicChecksAt(static_cast<int64_t>(std::time(nullptr)), s_timers, &s_timerState, kTimerActions);
    if (g_app.main)
        SetTimer(g_app.main, 1, static_cast<UINT>(wait), nullptr);
}

// ---------------------------------------------------------------- the store's hooks
namespace store {
void Log(uint16_t code, const char *function, const char *text)
{
    WriteErrorLog(&g_app.log, code, function, "%s", text);
}
bool Accessible() { return g_app.server.serverAccessible; }
void ClearAccessible() { g_app.server.serverAccessible = false; }
void UpdateMenus(int) { UpdateMenuState(ServerOnline()); }
bool ViewerOpen() { return g_app.viewer != nullptr; }
void Pump() { PumpMessagesForced(); }
bool GetArchive(const char *path, bool *set)
{
    DWORD a = GetFileAttributesA(path);
    if (a == INVALID_FILE_ATTRIBUTES)
        return false;
    *set = (a & FILE_ATTRIBUTE_ARCHIVE) != 0;
    return true;
}
bool ClearArchive(const char *path)
{
    DWORD a = GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && SetFileAttributesA(path, a & ~FILE_ATTRIBUTE_ARCHIVE);
}
TvFileTime Now()
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return (static_cast<TvFileTime>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
} // namespace store

const StoreHooks kStoreHooks = {
    store::Log,          ShowStoreMessage,         ShowPendingAlert,   ShowScannerReadyBox,
    store::Accessible,   store::ClearAccessible, RefreshMainWindow,  store::UpdateMenus,
    store::ViewerOpen,   store::Pump,            store::GetArchive,  store::ClearArchive,
    store::Now,
};

} // namespace

// ---------------------------------------------------------------- interface
bool RegisterWindowClasses(HINSTANCE instance)
{
    struct ClassRow {
        const char *name;
        WNDPROC proc;
        bool background;
    };
    static const ClassRow kClasses[] = {
        {TV_CLASS_MAIN, LinkWndProc, true},
        {TV_CLASS_VIEWER, LinkWndProc, true},
        {TV_CLASS_PANE, LinkLogWndProc, false},
        {TV_CLASS_FAX, DefWindowProcA, false},
    };
    for (const ClassRow &row : kClasses) {
        WNDCLASSA wc = {};
        wc.style = kClassStyle;
        wc.lpfnWndProc = row.proc;
        wc.hInstance = instance;
        wc.hIcon = LoadIconA(instance, RES_ICON_PROGRAM);
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = row.background ? reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1) : nullptr;
        wc.lpszClassName = row.name;
        if (!RegisterClassA(&wc))
            return false;
    }
    return true;
}

void RegisterClientMessages(void)
{
    for (int i = 0; i < TV_SPOOL_MESSAGES; ++i)
        s_spoolMessages[i] = RegisterWindowMessageA(kSpoolMessageNames[i]);
    RegisterWindowMessageA("commdlg_FileNameOK");
    RegisterWindowMessageA("commdlg_LBSelChangedNotify");
    char env[8];
    if (GetEnvironmentVariableA("TAVRINE_TEST_QUERY", env, sizeof env) > 0)
        s_testQuery = tvtest::TestQueryMessage();
}

HWND CreateMainWindow(void)
{
    char title[64];
    LoadClientString(g_app.cmd.viewerFile[0] ? IDS_VIEWER_TITLE : IDS_TITLE, title, sizeof title);
    int x = CW_USEDEFAULT, y = CW_USEDEFAULT, w = CW_USEDEFAULT, h = CW_USEDEFAULT;
    if (g_app.cfg.useSavedPlacement) {
        const TvWindowPlacement &p = g_app.cfg.placement;
        x = p.left;
        y = p.top;
        w = p.right - p.left;
        h = p.bottom - p.top;
    }
    g_app.main = CreateWindowA(g_app.cmd.viewerFile[0] ? TV_CLASS_VIEWER : TV_CLASS_MAIN, title, kMainStyle, x, y,
                               w, h, nullptr, nullptr, g_app.instance, nullptr);
    return g_app.main;
}

bool CreateMessagePanes(void)
{
    const DWORD paneStyle = WS_CHILD | WS_CLIPSIBLINGS;
    g_app.messages = CreateWindowA(TV_CLASS_PANE, "Messages", paneStyle, 0, 0, 0, 0, g_app.main, nullptr,
                                   g_app.instance, nullptr);
    if (!g_app.messages)
        return false;
    g_app.lists[0] = CreateWindowA("LISTBOX", kListNames[0], kListStyle, 0, 0, 0, 0, g_app.messages,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(TV_LIST_NEW)), g_app.instance,
                                   nullptr);
    g_app.lists[1] = CreateWindowA("LISTBOX", kListNames[1], kListStyle, 0, 0, 0, 0, g_app.messages,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(TV_LIST_WAITING)), g_app.instance,
                                   nullptr);
    g_app.filed = CreateWindowA(TV_CLASS_PANE, "Filed", paneStyle | WS_VISIBLE, 0, 0, 0, 0, g_app.messages,
                                nullptr, g_app.instance, nullptr);
    if (!g_app.filed)
        return false;
    g_app.lists[2] = CreateWindowA("LISTBOX", kListNames[2], kListStyle, 0, 0, 0, 0, g_app.filed,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(TV_LIST_FILED)), g_app.instance,
                                   nullptr);
    for (int i = 0; i < TV_LISTS; ++i) {
        if (!g_app.lists[i])
            return false;
        WNDPROC old = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
            g_app.lists[i], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LinkLogListboxWndProc)));
        if (!s_listClassProc)
            s_listClassProc = old;
        InitWin32ListView(&s_views[i], g_app.lists[i], s_listClassProc);
        SetListView(kListIds[i], &s_views[i].view);
        SetScrollRange(g_app.lists[i], SB_VERT, 0, 0, FALSE);
    }
    return true;
}

void CreateBars(void)
{
    g_app.buttonBar = CreateWindowA(TV_CLASS_PANE, "Button bar", WS_CHILD, 0, 0, 0, 0, g_app.main, nullptr,
                                    g_app.instance, nullptr);
    g_app.statusBar = CreateWindowA(TV_CLASS_PANE, "Status bar", WS_CHILD, 0, 0, 0, 0, g_app.main, nullptr,
                                    g_app.instance, nullptr);
    LayoutToolBar(0);
}

void LayoutMainWindow(void)
{
    if (!g_app.messages || !g_app.main || IsIconic(g_app.main))
        return;
    RECT client;
    GetClientRect(g_app.main, &client);
    TvLayoutInput in = {};
    in.width = client.right;
    in.height = client.bottom;
    in.toolBarShown = g_app.buttonBar && IsWindowVisible(g_app.buttonBar);
    if (in.toolBarShown) {
        RECT bar;
        GetWindowRect(g_app.buttonBar, &bar);
        in.toolBarHeight = bar.bottom - bar.top;
    }
    in.statusBarShown = ShowStatusBar(0) != 0;
    in.charWidth = g_app.charWidth;
    in.charHeight = g_app.charHeight;
    in.marginX = g_app.marginX;
    in.marginY = g_app.marginY;
    in.lastShown = g_app.lastShownList;
    TvLayoutResult out;
    LayoutMainWindowRects(in, &out);

    if (g_app.statusBar && in.statusBarShown)
        MoveWindow(g_app.statusBar, out.statusBar.left, out.statusBar.top, out.statusBar.right - out.statusBar.left,
                   out.statusBar.bottom - out.statusBar.top, TRUE);
    ShowToolBar(1, 1);
    ShowStatusBar(1);

    bool visible = IsWindowVisible(g_app.messages) != 0;
    if (visible)
        ShowWindow(g_app.messages, SW_HIDE);
    MoveWindow(g_app.messages, out.messages.left, out.messages.top, out.messages.right - out.messages.left,
               out.messages.bottom - out.messages.top, TRUE);
    HWND areaWindows[TV_LISTS] = {g_app.lists[0], g_app.lists[1], g_app.filed};
    for (int i = 0; i < TV_LISTS; ++i) {
        const TvRect &r = out.areas[i];
        MoveWindow(areaWindows[i], r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
        MessageListTable *t = ListTable(kListIds[i]);
        if (t)
            t->PaneRect = {r.left, r.top, r.right, r.bottom};
    }
    MoveWindow(g_app.lists[2], out.filedList.left, out.filedList.top, out.filedList.right - out.filedList.left,
               out.filedList.bottom - out.filedList.top, TRUE);
    if (visible)
        ShowWindow(g_app.messages, SW_SHOW);
    if (!g_app.viewer) {
        HWND list = ListWindow(g_app.currentList);
        if (list && IsWindowVisible(g_app.messages))
            SetFocus(list);
    }
}

void SelectListPane(HWND list, bool show)
{
    if (!list) {
        if (g_app.mainMenu)
            CheckMenuItem(g_app.mainMenu, static_cast<UINT>(g_app.currentList), MF_BYCOMMAND | MF_CHECKED);
        UpdateMenuState(ServerOnline());
        return;
    }
    int listId = ListIdOf(list);
    if (!listId)
        return;
    if (listId != g_app.currentList || (show && g_app.lastShownList != listId)) {
        int previous = g_app.currentList;
        if (previous != listId)
            ClearListSelection(ListWindow(previous));
        g_app.currentList = listId;
        if (show) {
            g_app.lastShownList = listId;
            LayoutMainWindow();
            UpdateWindow(g_app.main);
        }
        if (g_app.mainMenu) {
            CheckMenuItem(g_app.mainMenu, static_cast<UINT>(previous), MF_BYCOMMAND | MF_UNCHECKED);
            CheckMenuItem(g_app.mainMenu, static_cast<UINT>(listId), MF_BYCOMMAND | MF_CHECKED);
        }
        SetFocus(list);
    }
    UpdateMenuState(ServerOnline());
}

void SwitchListPane(bool backwards)
{
    SelectListPane(ListWindow(NextListPane(g_app.currentList, backwards)), true);
}

void FillMessageList(int listId)
{
    if (!g_app.server.serverAccessible || listId == TV_LIST_FILED)
        return;
    int pos = ListPosition(listId);
    if (pos < 0)
        return;
    bool changed = s_firstFill[pos] || MessageListChanged(listId);
    if (!g_app.server.serverAccessible)
        return;
    s_firstFill[pos] = false;
    if (changed)
        RefreshMessageList(listId);
}

void UpdateMenuState(bool online)
{
    TvMenuStateInput in = {};
    in.online = online;
    in.pane = g_app.currentList;
    HWND list = ListWindow(g_app.currentList);
    int selected = list ? static_cast<int>(SendMessageA(list, LB_GETSELCOUNT, 0, 0)) : 0;
    in.oneSelected = selected == 1;
    in.multiSelected = selected >= 2 && g_app.currentList != TV_LIST_FILED;
    in.mailEnabled = g_app.sys.enableMail;
    in.imagingLoaded = g_app.imaging != nullptr;
    in.twainLoaded = g_app.twain != nullptr;
    TvMenuItemState items[TV_MENU_STATE_MAX];
    int n = ComputeMenuState(in, items, TV_MENU_STATE_MAX);
    for (int i = 0; i < n; ++i) {
        const TvMenuItemState &it = items[i];
        UINT flag = MF_BYCOMMAND | (it.enabled ? MF_ENABLED : MF_GRAYED);
        if (it.kind == TV_ITEM_MAIN && g_app.mainMenu)
            EnableMenuItem(g_app.mainMenu, static_cast<UINT>(it.id), flag);
        else if (it.kind == TV_ITEM_SECOND && g_app.secondMenu)
            EnableMenuItem(g_app.secondMenu, static_cast<UINT>(it.id), flag);
        else if (it.kind == TV_ITEM_BUTTON)
            EnableToolButton(it.id, !it.enabled);
    }
    EnableMessageMenus(true);
    if (g_app.main && GetMenu(g_app.main))
        DrawMenuBar(g_app.main);
}

void EnableMessageMenus(bool enable)
{
    UINT flag = MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED);
    if (g_app.mainMenu) {
        EnableMenuItem(g_app.mainMenu, IDM_PRINT, flag);
        EnableMenuItem(g_app.mainMenu, IDM_PRINTSETUP, flag);
    }
    EnableToolButton(TOOL_PRINT, !enable);
}

void RefreshMainWindow(void)
{
    if (!g_app.main)
        return;
    char title[64];
    if (ServerOnline()) {
        s_offlineShown = false;
        int icons = ShowToolBar(1, 0), text = ShowToolBar(2, 0), status = ShowStatusBar(0);
        TvProfileContext ctx = {&g_app.hooks, &g_app.log, g_app.cfg.systemArea, g_app.cfg.userDirs[3],
                                g_app.id.userName, g_app.id.limits.rights};
        ReadUserProfile(&ctx, &g_app.sys, &g_app.profile);
        if (ShowToolBar(1, 0) != icons)
            ShowToolBar(1, icons ? 3 : 4);
        if (ShowToolBar(2, 0) != text)
            ShowToolBar(2, text ? 3 : 4);
        if (ShowStatusBar(0) != status)
            ShowStatusBar(status ? 3 : 4);
        for (int id : kListIds)
            RefreshMessageList(id);
        if (ServerOnline()) {
            LoadClientString(IDS_TITLE, title, sizeof title);
            SetWindowTextA(g_app.main, title);
            SetStatusText(0, nullptr, 0);
            UpdateMenuState(true);
        }
        return;
    }
    if (s_offlineShown)
        return;
    s_offlineShown = true;
    UpdateMenuState(false);
    LoadClientString(IDS_OFFLINE_TITLE, title, sizeof title);
    SetWindowTextA(g_app.main, title);
    SetStatusText(0, nullptr, 0);
}

void StartPeriodicTimer(void)
{
    const TvWorkstationConfig &c = g_app.cfg;
    s_timers = {c.checkServerTimer, c.checkNewTimer, c.checkIdleNewTimer, c.checkWaitingTimer,
                c.checkIdleWaitingTimer, c.spoolCheckTimer};
    TimerStateInit(&s_timerState);
    SetTimer(g_app.main, 1, 2000, nullptr);
}

void InstallStoreHooks(void) { SetStoreHooks(&kStoreHooks); }

int SaveWindowSize(void)
{
    WINDOWPLACEMENT wp = {};
    wp.length = sizeof wp;
    char state = IsZoomed(g_app.main) ? 'Z' : IsIconic(g_app.main) ? 'I' : 'N';
    HDC dc = GetDC(g_app.main);
    int width = GetDeviceCaps(dc, HORZRES), height = GetDeviceCaps(dc, VERTRES);
    ReleaseDC(g_app.main, dc);
    RECT wr;
    GetWindowRect(g_app.main, &wr);
    TvWindowPlacement p = PlacementToSave(state, width, height, TvRect{wr.left, wr.top, wr.right, wr.bottom});
    char value[80];
    if (!FormatWindowPlacement(p, value, sizeof value))
        return 0;
    char dir[MAX_PATH];
    if (LocateIniFile(dir, sizeof dir) != 0) {
        WriteErrorLog(&g_app.log, TV_LOG_MISSING, "SaveWindowSize", "Cannot find TAVRINE.INI file");
        return 0;
    }
    char path[MAX_PATH];
    if (!TvJoinPath(path, sizeof path, dir, "TAVRINE.INI") ||
        !UpdateFileEntry(path, "[WORKSTATION]", "Window:", value, 0)) {
        WriteErrorLog(&g_app.log, TV_LOG_WRITE, "SaveWindowSize", "Cannot update TAVRINE.INI file");
        return 0;
    }
    return 1;
}

void EndProgram(void)
{
    if (s_ended)
        return;
    s_ended = true;
    // Settings, placement and the closing line only for a start that got
    // as far as showing the lists: a failed start keeps the files as they are.
    if (g_app.appState == TV_APP_RUNNING || g_app.appState == TV_APP_DDE_ACTIVE) {
        TvProfileContext ctx = {&g_app.hooks, &g_app.log, g_app.cfg.systemArea, g_app.cfg.userDirs[3],
                                g_app.id.userName, g_app.id.limits.rights};
        WriteUserDetails(&ctx, &g_app.sys, &g_app.profile);
        SaveWindowSize();
        WriteErrorLog(&g_app.log, 0, "--------------------", "Tavrine program ending");
    }
    DestroyWelcomeWindow();
    ShowScannerReadyBox(nullptr);
    if (g_app.documentCursor)
        DestroyCursor(g_app.documentCursor);
    if (g_app.helpCursor)
        DestroyCursor(g_app.helpCursor);
    if (g_app.backgroundBrush)
        DeleteObject(g_app.backgroundBrush);
    g_app.documentCursor = g_app.helpCursor = nullptr;
    g_app.backgroundBrush = nullptr;
    if (g_app.viewer && g_app.mainMenu)
        DestroyMenu(g_app.mainMenu);
    else if (g_app.secondMenu)
        DestroyMenu(g_app.secondMenu);
    for (int id : kListIds)
        FreeListTable(ListTable(id));
    if (g_app.appState == TV_APP_RUNNING || g_app.appState == TV_APP_DDE_ACTIVE) {
        WinHelpTopic(HELP_QUIT, 0);
        CheckWorkstationEnd(&g_app.userLock);
    }
}
