// The client's main window: window classes, the panes and list boxes, the
// layout, the current list, the list refresh, the periodic timer, the
// offline state and the end of the program.
#ifndef TAVRINE_CLIENT_SHELL_MAINWND_WIN_H
#define TAVRINE_CLIENT_SHELL_MAINWND_WIN_H

#include <windows.h>

// Registers the four window classes; false when one fails.
bool RegisterWindowClasses(HINSTANCE instance);

// Creates the main window (hidden) at the saved placement when it fits the
// screen, else at the system's default place.
HWND CreateMainWindow(void);

// The "Messages" pane with its three list boxes and the "Filed" pane; the
// list boxes are subclassed and handed to the message store.
bool CreateMessagePanes(void);
// The "Button bar" and "Status bar" windows.
void CreateBars(void);

void LayoutMainWindow(void);
// Makes list (a list box, or 0 for "the current one again") current.
void SelectListPane(HWND list, bool show);
void SwitchListPane(bool backwards);

// Re-reads NEW or WAITING when its directory file changed.
void FillMessageList(int listId);

// The menus and tool buttons for the connection and the selection.
void UpdateMenuState(bool online);
// Print and print set-up in the menu and the tool bar.
void EnableMessageMenus(bool enable);
// Follows the server's state: the offline title and greying, or the lists
// re-read and the title restored.
void RefreshMainWindow(void);

// Starts timer 1.
void StartPeriodicTimer(void);

// The store's calls into the shell.
void InstallStoreHooks(void);

// The end of the program; runs once.
void EndProgram(void);
// Writes the placement into TAVRINE.INI; 1 written.
int SaveWindowSize(void);

// The registered window messages.
void RegisterClientMessages(void);

#endif
