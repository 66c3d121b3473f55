// The main window's tool bar ("Button bar") and status bar ("Status bar").
// Both are pane-class children of the main window; the pane procedure hands
// their painting, owner-draw and command messages to these routines. Every
// routine tolerates windows that do not exist (yet).
#ifndef TAVRINE_CLIENT_SHELL_TOOLBAR_WIN_H
#define TAVRINE_CLIENT_SHELL_TOOLBAR_WIN_H

#include <windows.h>

#include "client/shell/toolbar.h"

// Modes of LayoutToolBar.
enum TvToolLayout {
    TV_TOOLS_FORGET = 0,      // clear every entry's window
    TV_TOOLS_MAIN = 1,        // hide the bar, destroy the buttons, create the main set
    TV_TOOLS_VIEWER = 2,      // likewise for the viewer set
    TV_TOOLS_MOVE = 3,        // move the existing buttons for the current size
};
int LayoutToolBar(int mode);

// Creates the button at position of the table (in the tool bar, subclassed).
void CreateToolButton(int position, int controlId, bool gap, const char *bitmapBase, int textId, int command);
// Position of the entry with that control id, -1 if none.
int FindToolButton(int controlId);
// Enables the button, or disables it when greyed.
void EnableToolButton(int controlId, bool greyed);
void DestroyToolButton(int position);
// Sets or clears the latched flag (the viewer's current view size).
void LatchToolButton(int controlId, bool latched);

// The tool bar's WM_COMMAND: focus to the main window, which gets the
// button's command.
void ToolButtonCommand(int controlId);

// Modes of ShowToolBar and ShowStatusBar.
enum TvBarMode {
    TV_BAR_QUERY = 0,
    TV_BAR_APPLY = 1,
    TV_BAR_TOGGLE = 2,
    TV_BAR_ON = 3,
    TV_BAR_OFF = 4,
};
enum { TV_TOOL_ROW_ICONS = 1, TV_TOOL_ROW_TEXT = 2 };
// Both return the flag after the call.
bool ShowToolBar(int row, int mode);
bool ShowStatusBar(int mode);
// Current button size and the bar's height when laid out.
int ToolButtonWidthNow(void);
int ToolButtonHeightNow(void);

// The one way to write the status bar's message field (TvStatusMode).
void SetStatusText(int mode, const char *text = nullptr, unsigned value = 0);
// The status message as the bar shows it.
const char *StatusMessageText(void);
// Where the spool field's state comes from (the print-to-fax state); none
// shows the field blank.
void SetSpoolStateSource(int (*spoolState)(void));

void DrawToolButton(const DRAWITEMSTRUCT *item);
void PaintStatusBar(HWND bar, PAINTSTRUCT *ps);

LRESULT CALLBACK ToolButtonWndProc(HWND button, UINT msg, WPARAM wParam, LPARAM lParam);

#endif
