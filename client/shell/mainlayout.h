// The main window's portable decisions: where the bars, the Messages pane and
// the three lists go, the Tab/F6 order of the lists, the help topics of
// commands and of clicks on the frame, and the placement saved at the end.
#ifndef TAVRINE_CLIENT_SHELL_MAINLAYOUT_H
#define TAVRINE_CLIENT_SHELL_MAINLAYOUT_H

#include <cstddef>
#include <cstdint>

#include "client/shell/wsconfig.h"

struct TvRect {
    int32_t left, top, right, bottom;
};

struct TvLayoutInput {
    int width, height;          // main window client size W x H
    int toolBarHeight;          // T, the tool bar's height as laid out
    bool toolBarShown;          // tool bar row 1 or row 2 shown
    bool statusBarShown;
    int charWidth, charHeight, marginX, marginY;  // w, h, M, N
    int lastShown;              // 1120, 1121 or 1122 (anything else: 1120)
};

struct TvLayoutResult {
    int top;                    // y of the Messages pane
    TvRect statusBar;           // main-window client coords; all 0 when hidden, height 0 when no room
    TvRect messages;            // Messages pane, main-window client coords
    TvRect areas[3];            // NEW list, WAITING list, Filed pane: Messages-pane coords
    TvRect filedList;           // FILED list box inside the Filed pane, Filed-pane coords
};

// Layout constants, in pixels.
enum {
    TV_LAYOUT_TOOLBAR_GAP = 6,      // below a shown tool bar
    TV_LAYOUT_EDGE = 4,             // top without a tool bar; first area's y; status bar stand-in
    TV_LAYOUT_AREA_GAP = 8,         // between two areas; right of the lists
    TV_LAYOUT_PANE_SPARE = 24,      // the Messages pane's height not shared out
    TV_LAYOUT_LABEL_CHARS = 5,      // label column: characters of icon and title
    TV_LAYOUT_MIN_LIST_CHARS = 4,   // narrower lists are given width 0
};

// Places everything for a client area; negative sizes that the text's
// arithmetic could give are clamped to 0.
void LayoutMainWindowRects(const TvLayoutInput &in, TvLayoutResult *out);

// Index 0..2 of a list id in the areas; 0 for anything else.
int ListAreaIndex(int listId);

// Tab/F6 order: forwards NEW->WAITING->FILED->NEW, backwards
// NEW->FILED->WAITING->NEW. An unknown id gives NEW.
int NextListPane(int current, bool backwards);

// HelpOnCommand's topic for a command; 0 = no topic (1150 and 1151, the
// contents and help on help, are the caller's).
int HelpTopicForCommand(int commandId);
// HelpOnClick's topic for a hit-test code; 0 = not handled.
int HelpTopicForHitTest(int hitTestCode);

// What a change of the Windows settings touches: the date and time formats
// (no section or "intl") and the background brush (no section or "colors");
// section names in any case.
struct TvSettingsChange {
    bool formats, colors;
};
TvSettingsChange SettingsChangeEffects(const char *section);

// The placement saved at the end: 'Z' (maximised) and 'I' (minimised) as a
// rectangle inset by 1/15 of the screen on each side, anything else as 'N'
// with the window's rectangle; then left and top at least 0, right and
// bottom at most the screen's size.
TvWindowPlacement PlacementToSave(char state, int screenWidth, int screenHeight, const TvRect &windowRect);

// "%c %d %d %d %d %d %d" (letter, width, left, right, height, top, bottom);
// false (out empty when size allows) if it does not fit.
bool FormatWindowPlacement(const TvWindowPlacement &p, char *out, size_t size);

#endif
