// The client program's state: its windows, the client metrics, the settings
// read at start-up and the shared flags. One instance, g_app, owned by the
// GUI thread; the window procedures, bars, painting and dialogs read it.
#ifndef TAVRINE_CLIENT_SHELL_APP_WIN_H
#define TAVRINE_CLIENT_SHELL_APP_WIN_H

#include <windows.h>

#include "client/shell/cmdline.h"
#include "client/shell/errorlog.h"
#include "client/shell/identity.h"
#include "client/shell/profile.h"
#include "client/shell/servercheck.h"
#include "client/shell/shellhooks.h"
#include "client/shell/wsconfig.h"

// AppState: how far the program is.
enum TvAppState {
    TV_APP_STARTING = 0,    // start-up runs
    TV_APP_RUNNING = 1,     // the lists are shown
    TV_APP_DDE_ACTIVE = 2,  // a DDE partner controls the client
    TV_APP_VIEWER = 3,      // started as the fax viewer only
};

// Window classes.
#define TV_CLASS_MAIN "Tavr"
#define TV_CLASS_VIEWER "TavrViewer"
#define TV_CLASS_PANE "TavrLog"
#define TV_CLASS_FAX "TavrFax"

// The three message lists by position (NEW, WAITING, FILED).
enum { TV_LISTS = 3 };

struct TvApp {
    HINSTANCE instance;
    HINSTANCE language;         // the language library, or the program itself
    TvCommandLine cmd;
    int appState;
    bool messageLoopRunning;

    // Windows; 0 while they do not exist.
    HWND main, messages, filed, buttonBar, statusBar;
    HWND lists[TV_LISTS];       // list boxes 1120, 1121, 1122
    HWND welcome, viewer, infoBox, scannerBox;
    HMENU mainMenu, secondMenu;

    // Client metrics of the standard font: character width w and height h,
    // margins M (w / 2) and N (h / 12); the screen size.
    int charWidth, charHeight, marginX, marginY;
    int screenWidth, screenHeight;

    int currentList;            // 1120, 1121 or 1122
    int lastShownList;          // the list the layout gave the large share
    bool helpMode;
    HCURSOR documentCursor, helpCursor;
    HBRUSH backgroundBrush;

    char iniPath[MAX_PATH];     // TAVRINE.INI
    TvWorkstationConfig cfg;
    TvIdentity id;
    TvUserProfile profile;
    TvSystemParams sys;
    TvErrorLog log;
    TvServerState server;       // ServerRunning, ServerAccessible
    TvWorkstationLock userLock;
    TvIntlFormats intl;
    TvShellHooks hooks;
    // Libraries bound at run time; 0 when absent.
    HINSTANCE ctl3d, shell32, imaging, twain;
    bool modal;                 // a command's modal dialog is open
    bool replyAwaited;
};
extern TvApp g_app;

// Online: the server runs and its files can be reached.
inline bool ServerOnline() { return g_app.server.serverRunning && g_app.server.serverAccessible; }

// Index 0-2 of a list id, -1 for another id.
inline int ListPosition(int listId)
{
    return (listId >= 1120 && listId <= 1122) ? listId - 1120 : -1;
}

#endif
