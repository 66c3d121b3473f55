// TAVR32, the desktop client: start-up, the shell's calls into windows and
// the message loop.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "client/shell/app_win.h"
#include "client/shell/dialogs_win.h"
#include "client/shell/dynlibs_win.h"
#include "client/shell/intl_win.h"
#include "client/shell/mainwnd_win.h"
#include "client/shell/pump_win.h"
#include "client/shell/tavr32_res.h"
#include "client/shell/toolbar_win.h"
#include "client/store/msglist.h"
#include "client/store/storehooks.h"
#include "common/langlib.h"
#include "common/sysini.h"
#include "common/waithook.h"

TvApp g_app;

namespace {

HACCEL s_accelerators;



// ---------------------------------------------------------------- the shell's hooks
bool HookAsk(void *, const char *text)
{
    return ShowMessageBox(g_app.main, text, nullptr, MB_ICONQUESTION | MB_YESNO) == IDYES;
}

int HookServerAvailable(void *, const char *requestArea)
{
    // Start-up asks before the server state is set up: the area in force
    // and the log come with the question.
    g_app.server.requestArea = requestArea;
    g_app.server.checkServer = g_app.cfg.checkServer;
    g_app.server.log = &g_app.log;
    return IsServerAvailable(&g_app.server);
}

void HookStart(void *, const char *path) { WinExec(path, SW_SHOWMINIMIZED); }

int HookLogin(void *) { return RunLoginDialog(g_app.main); }

bool HookLogonName(void *, char *out, size_t size)
{
    DWORD n = static_cast<DWORD>(size);
    return GetUserNameA(out, &n) != 0 && out[0];
}

int HookMapi(void *) { return static_cast<int>(GetProfileIntA("MAIL", "MAPI", 0)); }

bool HookScreen(void *, int *width, int *height)
{
    *width = GetSystemMetrics(SM_CXSCREEN);
    *height = GetSystemMetrics(SM_CYSCREEN);
    return *width > 0 && *height > 0;
}

void HookStatus(void *, const char *text) { SetStatusText(0, text, 0); }

// The shared open's wait: the message pump, so windows stay alive.
void PumpWait(void) { PumpMessagesThrottled(); }

// ---------------------------------------------------------------- start-up

// Another client of this workstation brings itself forward; true when one ran.
bool BringOtherInstanceForward(int showCommand)
{
    HWND other = FindWindowA(TV_CLASS_MAIN, nullptr);
    if (!other)
        return false;
    HWND top = other;
    while (GetParent(top))
        top = GetParent(top);
    int show = showCommand == SW_SHOWMINIMIZED ? TV_SHOW_MINIMIZED : TV_SHOW_NORMAL;
    if (RestoreOtherInstance(IsIconic(top) != 0, show))
        ShowWindow(top, SW_RESTORE);
    HWND popup = GetLastActivePopup(top);
    SetForegroundWindow(popup);
    BringWindowToTop(popup);
    return true;
}

void LoadMenus(void)
{
    HINSTANCE lang = GetLanguageLibrary();
    auto load = [&](const char *name) {
        HMENU m = lang ? LoadMenuA(lang, name) : nullptr;
        return m ? m : LoadMenuA(g_app.instance, name);
    };
    g_app.mainMenu = load(RES_MENU_MAIN);
    g_app.secondMenu = load(g_app.cmd.viewerFile[0] ? RES_MENU_VIEWER : RES_MENU_VIEW);
    TvMenuRemoval removals[4];
    int n = MenuItemsToRemove(g_app.sys.enableMail, g_app.sys.enableRouting, g_app.sys.v4, removals, 4);
    for (int i = 0; i < n; ++i) {
        HMENU m = removals[i].menu == TV_MENU_MAIN ? g_app.mainMenu : g_app.secondMenu;
        if (m)
            DeleteMenu(m, static_cast<UINT>(removals[i].command), MF_BYCOMMAND);
    }
}

void FillStoreConfig(void)
{
    ResetStoreConfig();
    StoreConfig &s = g_storeConfig;
    auto copy = [](char *out, size_t size, const char *in) { std::snprintf(out, size, "%s", in ? in : ""); };
    copy(s.receiveDir, sizeof s.receiveDir, g_app.cfg.userDirs[0]);
    copy(s.sendDir, sizeof s.sendDir, g_app.cfg.userDirs[1]);
    copy(s.groupReceiveDir, sizeof s.groupReceiveDir, g_app.cfg.groupDirs[0]);
    copy(s.groupName, sizeof s.groupName, g_app.id.group);
    copy(s.filedDir, sizeof s.filedDir, g_app.profile.directory);
    copy(s.match, sizeof s.match, g_app.profile.match);
    s.useArchiveAttribute = g_app.sys.useArchiveAttribute;
    const TvMessageDefaults &d = g_app.profile.userCopy;
    s.alertReceive = d.alertReceive;
    s.alertGroupReceive = d.alertGroupReceive;
    s.alertSend = d.alertSend;
    s.alertFail = d.alertFail;
    s.alertPreview = d.alertPreview;
}

// The configuration, the user and the main window. False ends the program
// (the reason has been shown).
bool InitIniFiles(void)
{
    TvConfigContext ctx = {&g_app.hooks, &g_app.log, g_app.cmd.quiet, g_app.cmd.viewerFile[0] != '\0'};
    int r = ReadWorkstationConfig(g_app.iniPath, &ctx, &g_app.cfg, &g_app.id);
    if (!ReportConfigResult(r, g_app.iniPath, &g_app.hooks))
        return false;
    ServerStateInit(&g_app.server, g_app.cfg.requestArea, g_app.cfg.checkServer, &g_app.log);
    g_app.server.serverRunning = g_app.cfg.serverRunning;
    g_app.server.serverAccessible = g_app.cfg.serverAccessible;
    if (!CreateMainWindow())
        return false;
    TvProfileContext pctx = {&g_app.hooks, &g_app.log, g_app.cfg.systemArea, g_app.cfg.userDirs[3],
                             g_app.id.userName, g_app.id.limits.rights};
    ReadUserProfile(&pctx, &g_app.sys, &g_app.profile);
    InitSystemParams(&pctx, &g_app.sys, &g_app.cfg);
    return true;
}

bool InitClientInstance(HINSTANCE instance, const char *commandLine, int showCommand)
{
    g_app.appState = TV_APP_STARTING;
    g_app.instance = instance;
    // Both tool bar rows and the status bar are shown until the user's
    // settings say otherwise.
    g_app.profile.toolIconRow = g_app.profile.toolTextRow = g_app.profile.statusBar = true;
    _putenv("TZ=");
    _tzset();
    g_app.hooks = {nullptr,     ShellHookMessageBox,       HookAsk,  HookServerAvailable, HookStart,
                   HookLogin,   HookLogonName, HookMapi, HookScreen,          HookStatus};
    BindCtl3d();
    g_app.language = LoadLanguageLibrary();
    {
        HINSTANCE lang = GetLanguageLibrary();
        s_accelerators = lang ? LoadAcceleratorsA(lang, RES_ACCEL) : nullptr;
        if (!s_accelerators)
            s_accelerators = LoadAcceleratorsA(instance, RES_ACCEL);
    }
    if (!ParseCommandLine(commandLine, &g_app.cmd, &g_app.hooks))
        return false;
    const bool viewer = g_app.cmd.viewerFile[0] != '\0';
    if (!viewer && BringOtherInstanceForward(showCommand))
        return false;
    if (!RegisterWindowClasses(instance))
        return false;
    HCURSOR oldCursor = SetCursor(LoadCursor(nullptr, IDC_WAIT));

    LONG base = GetDialogBaseUnits();
    TvClientMetrics m = ClientMetricsFrom(LOWORD(base), HIWORD(base));
    g_app.charWidth = m.charWidth;
    g_app.charHeight = m.charHeight;
    g_app.marginX = m.marginX;
    g_app.marginY = m.marginY;
    g_app.screenWidth = GetSystemMetrics(SM_CXSCREEN);
    g_app.screenHeight = GetSystemMetrics(SM_CYSCREEN);
    RegisterClientMessages();
    GetIntlDateFormat(&g_app.intl);

    if (!FindIniFile(nullptr, g_app.iniPath, sizeof g_app.iniPath, &g_app.hooks))
        return false;
    SetWaitHook(PumpWait);
    InstallStoreHooks();
    if (!InitIniFiles())
        return false;
    SetPumpWindow(g_app.main);
    FillStoreConfig();
    if (!ServerOnline())
        RefreshMainWindow();

    LoadMenus();
    if (g_app.mainMenu && !viewer)
        SetMenu(g_app.main, g_app.mainMenu);
    else if (g_app.secondMenu && viewer)
        SetMenu(g_app.main, g_app.secondMenu);
    BindOptionalLibraries(g_app.main);
    int show = MainWindowShowCommand(showCommand == SW_SHOWNORMAL ? TV_SHOW_NORMAL : showCommand,
                                     g_app.cfg.startMaximised);
    ShowWindow(g_app.main, show == TV_SHOW_MAXIMIZED ? SW_SHOWMAXIMIZED : showCommand);

    if (!viewer) {
        if (WarnSpoolerMissing(false, g_app.cfg.spool)) {
            ErrorBoxFromString(g_app.main, IDS_NO_SPOOLER, nullptr, MB_ICONEXCLAMATION);
        }
        if (!CheckWorkstationStart(&g_app.userLock, g_app.cfg.userDirs[3], &g_app.log)) {
            char name[32], format[160], path[MAX_PATH + 16], text[MAX_PATH + 200];
            LoadClientString(IDS_FILE_USERLOCK, name, sizeof name);
            std::snprintf(path, sizeof path, "%s%s", g_app.cfg.userDirs[3], name);
            LoadClientString(223, format, sizeof format);
            std::snprintf(text, sizeof text, format, g_app.id.userName, path);
            ShowMessageBox(g_app.main, text, nullptr, MB_ICONEXCLAMATION);
            return false;
        }
        if (!CreateMessagePanes())
            return false;
        int current = g_app.profile.window;
        if (current != TV_LIST_NEW && current != TV_LIST_WAITING)
            current = TV_LIST_FILED;
        g_app.currentList = g_app.lastShownList = current;
        if (g_app.mainMenu)
            CheckMenuItem(g_app.mainMenu, static_cast<UINT>(current), MF_BYCOMMAND | MF_CHECKED);
        SetFocus(g_app.lists[ListPosition(current)]);
        if (!g_app.cmd.quiet) {
            g_app.welcome = CreateWelcomeWindow(g_app.main);
            if (g_app.welcome) {
                ShowWindow(g_app.welcome, SW_SHOWNOACTIVATE);
                UpdateWindow(g_app.welcome);
                SetWindowPos(g_app.welcome, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOREDRAW);
            }
        }
    }
    CreateBars();
    if (viewer) {
        // The fax viewer is not part of this program yet.
        LayoutMainWindow();
        return false;
    }
    LayoutToolBar(1);
    UpdateMenuState(ServerOnline());
    ShowToolBar(1, 1);
    ShowStatusBar(1);
    LayoutMainWindow();
    SetStatusText(0, nullptr, 0);
    ShowWindow(g_app.messages, SW_SHOW);

    StartPeriodicTimer();
    UpdateWindow(g_app.messages);
    UpdateWindow(g_app.buttonBar);
    if (!g_app.cmd.quiet) {
        FillMessageList(TV_LIST_NEW);
        FillMessageList(TV_LIST_WAITING);
        UpdateWindow(g_app.messages);
    }
    RefreshMessageList(TV_LIST_FILED);

    SetCursor(oldCursor);
    g_app.appState = TV_APP_RUNNING;
    SetStatusText(0, nullptr, 0);
    return true;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand)
{
    if (!InitClientInstance(instance, commandLine, showCommand)) {
        if (g_app.main)
            DestroyWindow(g_app.main);
        FreeDynamicLibraries();
        return 0;
    }
    g_app.messageLoopRunning = true;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (IsInfoBoxMessage(&msg))
            continue;
        if (g_app.main && s_accelerators && TranslateAcceleratorA(g_app.main, s_accelerators, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    FreeDynamicLibraries();
    return static_cast<int>(msg.wParam);
}
