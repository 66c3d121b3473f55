// Painting of the message list rows, the Messages pane (icons, titles and
// frames beside the lists) and the Filed pane's directory line, and the 3-D
// edges the panes, tool buttons and status bar share.
#ifndef TAVRINE_CLIENT_SHELL_PAINT_WIN_H
#define TAVRINE_CLIENT_SHELL_PAINT_WIN_H

#include <windows.h>

#include "client/store/msglist.h"

// One row of a list box (ODT_LISTBOX, draw-entire and select only).
void PaintLog(HWND list, const DRAWITEMSTRUCT *item, MessageListTable *table);
// WM_PAINT of the Messages pane; records the drop targets.
void PaintMessagesPane(HWND pane, PAINTSTRUCT *ps);
// WM_PAINT of the Filed pane; filedDir ends with a backslash.
void PaintFiledPane(HWND pane, PAINTSTRUCT *ps, const char *filedDir);

// Drop targets of the pane icons, in Messages-pane coordinates: the icon
// grown by 1 pixel, or all zero when the list is lower than an icon.
enum { TV_DROP_IN = 0, TV_DROP_OUT = 1, TV_DROP_FILED = 2, TV_DROP_TARGETS = 3 };
extern RECT g_dropTargets[TV_DROP_TARGETS];
// Widest title of the NEW list measured so far, for the layout.
extern int g_inTitleWidth;

void DrawFrameEdge(HDC dc, const RECT *r, HBRUSH shadow, HBRUSH light, int width, bool sunken);
void DrawDeepBevel(HDC dc, const RECT *r, HBRUSH shadow, HBRUSH light, HBRUSH dark, HBRUSH face, bool sunken);
void DrawButtonEdge(HDC dc, const RECT *r, HBRUSH shadow, HBRUSH light, bool pressed);
// A new brush for light edges; the caller deletes it.
HBRUSH CreateHighlightBrush(void);

#endif
