// The client's small dialogs and the helpers every dialog shares: the
// message box all errors and questions go through, the field error boxes,
// the dialogs' colours, list-box redraw and selection helpers, a second
// copy of the program, the About box, the welcome window, the login dialog
// and the two modeless boxes the list refreshes raise (information and
// scanner ready). GUI thread only; they read and set g_app (app_win.h).
#ifndef TAVRINE_CLIENT_SHELL_DIALOGS_WIN_H
#define TAVRINE_CLIENT_SHELL_DIALOGS_WIN_H

#include <windows.h>

#include "client/shell/shellhooks.h"
#include "client/store/storehooks.h"

struct MessageListEntry;

// ---------------------------------------------------------------- helpers
// String id of the client's texts, the language library first; empty when
// there is none.
void LoadClientString(int id, char *buf, int size);

// The client's message box: destroys the welcome window first; without an
// owner the main window owns it; caption null means the program title
// (string 21); the style gets MB_TASKMODAL. The window that had the focus
// gets it back afterwards when it still exists and is enabled. Returns the
// box's result.
int ShowMessageBox(HWND owner, const char *text, const char *caption, UINT style);

// String stringId with its "%s" filled with arg, in ShowMessageBox with the
// program title.
int ErrorBoxFromString(HWND owner, int stringId, const char *arg, UINT style);

// The message box of the message store (StoreHooks::showMessage).
void ShowStoreMessage(int stringId, const char *arg, TvStoreIcon icon);

// The message box of the shell's portable code (TvShellHooks::messageBox);
// context is the owner, or null for the main window.
void ShellHookMessageBox(void *context, const char *text, TvBoxIcon icon, bool ownerMain);

// A bad dialog field: string stringId filled with an upper-case copy of
// text, with an exclamation mark, owned by dialog; then the focus goes to
// the dialog's control 512.
void FieldErrorBox(HWND dialog, int stringId, const char *text);
// The same for the file dialogs: the box has no owner, and the focus goes to
// the file-name field 1152 of dialog.
void FileDlgErrorBox(HWND dialog, int stringId, const char *text);

// The dialogs' colours for the control-colour messages a dialog procedure
// does not handle itself: grey dialogs, statics, buttons, message boxes and
// non-list combo boxes while the button face is light grey; 0 (Windows'
// colours) otherwise.
INT_PTR DlgCtlColor(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Redraw off and on around a rebuild; ResumeRedraw also draws the scroll
// bars afresh and invalidates the window.
void StopRedraw(HWND window);
void StopRedrawDlgItem(HWND dialog, int id);
void ResumeRedraw(HWND window);
void ResumeRedrawDlgItem(HWND dialog, int id);

// Told when a message's documents were deleted from directory; nothing to do.
int DirectoryChanged(const char *directory);

// Deselects every selected item of a multiple-selection list box.
void ClearListSelection(HWND list);

// Starts another copy of the program with args (at most 268 characters).
// 1 started, 0 not.
int RunProgramInstance(const char *args);

// ---------------------------------------------------------------- dialogs
INT_PTR CALLBACK LinkAboutDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK LinkWelcomeDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK LinkLoginDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK LinkInfoDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK LinkScannerReadyDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The About box, modal.
void ShowAboutBox(HWND owner);

// The welcome window: modeless, owned by owner, shown without activation and
// topmost. Kept in g_app.welcome (an older one is destroyed first); null
// when it cannot be made.
HWND CreateWelcomeWindow(HWND owner);
// Destroys the welcome window if it is open and clears g_app.welcome.
void DestroyWelcomeWindow(void);

// The login dialog: OK looks the typed name up in the user list of g_app's
// system area and network kind. 0 when a user was found (g_app.id filled),
// else TV_LOGIN_CANCELLED.
int RunLoginDialog(HWND owner);

// The information box with string stringId (0: nothing). One box at a time:
// while it is open a new alert shows in it.
void ShowPendingAlert(int stringId);
// The scanner-ready box with the entry's comment; while it is open the text
// is replaced. A null entry closes it.
void ShowScannerReadyBox(const MessageListEntry *entry);
void CloseScannerReadyBox(void);
// For the message loop: the keyboard of the two modeless boxes. True when
// the message was theirs (and is handled).
bool IsInfoBoxMessage(MSG *msg);

#endif
