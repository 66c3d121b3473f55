// The tool bar and status bar decisions that need no window: the two button
// sets, the button size and places, the id -> command mapping, the status
// bar's field layout and texts, and the rules of the status message buffer.
#ifndef TAVRINE_CLIENT_SHELL_TOOLBAR_H
#define TAVRINE_CLIENT_SHELL_TOOLBAR_H

#include <cstddef>

// One button of a set.
struct TvToolButtonDef {
    int controlId;            // child id of the button window, 100-118
    bool gap;                 // 5 pixels of space before the button
    const char *bitmapBase;   // bitmap name after the stem, before Hi/Lo
    int textId;               // string id of the button's text
    int command;              // menu command sent on a click
};

enum {
    TV_TOOL_ENTRIES = 12,     // room in the button table
    TV_TOOL_MAIN_COUNT = 11,
    TV_TOOL_VIEWER_COUNT = 10,
    TV_TOOL_GAP = 5,          // pixels before a button with a gap
    TV_TOOL_TOP = 3,          // y of every button in the bar
    TV_TOOL_NO_HOT = 0xFFFF,  // hot button id: none
    TV_TOOL_CANCEL = 2,       // command of the quit-view button and unknown ids
    TV_TOOL_WIDE_SCREEN = 801 // screens at least this wide get the large buttons
};

extern const TvToolButtonDef kMainToolSet[TV_TOOL_MAIN_COUNT];
extern const TvToolButtonDef kViewerToolSet[TV_TOOL_VIEWER_COUNT];

// The command a button stands for; TV_TOOL_CANCEL for 100 and unknown ids.
int ToolCommandOf(int controlId);

// Button size for a screen width and the rows shown.
int ToolButtonWidth(int screenWidth);
int ToolButtonHeight(int screenWidth, bool icons, bool text);
// Bitmap size of a button's icon on that screen.
int ToolBitmapWidth(int screenWidth);
int ToolBitmapHeight(int screenWidth);
// x of the button at position in a set: the widths and gaps before it, and
// its own gap.
int ToolButtonX(const TvToolButtonDef *set, int count, int position, int buttonWidth);
// Bitmap resource name: stem + base + "Hi"/"Lo" (+ "Grey"), cut to size - 1.
void ToolBitmapName(char *out, size_t size, const char *stem, const char *base, int screenWidth,
                    bool grey);

// ---------------------------------------------------------------- status bar
struct TvBarRect {
    int left, top, right, bottom;
};

struct TvStatusLayout {
    TvBarRect message, spool, state;
    bool sideFields;          // spool and state fields drawn
};
enum {
    TV_STATUS_EDGE = 7,       // space at the bar's left and right ends
    TV_STATUS_SPACING = 9,    // space between two fields
    TV_STATUS_TOP = 3,
    TV_STATUS_FIELD_CHARS = 8 // width of the spool and state fields in characters
};
// Fields for the main window's client width and the character size.
void StatusBarLayout(int width, int charWidth, int charHeight, TvStatusLayout *out);
// Height of the status bar's font: 9/10 of the character height.
int StatusFontHeight(int charHeight);

// Texts of the spool and state fields by string id, 0 for a blank field.
int SpoolFieldStringId(int spoolState);
int StateFieldStringId(int appState);

// Modes of SetStatusText.
enum TvStatusMode {
    TV_STATUS_RESET = 0,      // text, or the online/offline default
    TV_STATUS_SHOW = 1,       // text, or a plain repaint without one
    TV_STATUS_STRING = 2,     // the string numbered value
    TV_STATUS_DESCRIBE = 3,   // draw string value over the bar, buffer kept
};
enum { TV_STATUS_TEXT_MAX = 80, TV_STATUS_OFFLINE_ID = 320 };

// What SetStatusText does after the buffer rules.
enum TvStatusAction {
    TV_STATUS_NOTHING,        // an unknown mode
    TV_STATUS_REPAINT,        // repaint the bar from the buffer
    TV_STATUS_OVERDRAW,       // draw *stringId over the bar at once
};
// Applies the buffer rules to buf (TV_STATUS_TEXT_MAX + 1 characters). When
// *stringId is set on TV_STATUS_REPAINT the buffer is to take that string.
TvStatusAction StatusTextPlan(char *buf, int mode, const char *text, bool online, unsigned value,
                              int *stringId);

#endif
