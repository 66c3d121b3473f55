#include "client/shell/toolbar.h"

#include "client/shell/shelltext.h"
#include "client/shell/tavr32_res.h"

#include <cstdio>
#include <cstring>

const TvToolButtonDef kMainToolSet[TV_TOOL_MAIN_COUNT] = {
    {TOOL_SEND, true, TOOL_BASE_SEND, IDS_TOOL_SEND, IDM_SEND},
    {TOOL_FORWARD, false, TOOL_BASE_FORWARD, IDS_TOOL_FORWARD, IDM_FORWARD},
    {TOOL_VIEW, false, TOOL_BASE_VIEW, IDS_TOOL_VIEW, IDM_VIEW},
    {TOOL_PRINT, false, TOOL_BASE_PRINTER, IDS_TOOL_PRINT, IDM_PRINT},
    {TOOL_ACQUIRE, true, TOOL_BASE_ACQUIRE, IDS_TOOL_ACQUIRE, IDM_ACQUIRE},
    {TOOL_INFO, true, TOOL_BASE_INFORMATION, IDS_TOOL_INFO, IDM_INFORMATION},
    {TOOL_SAVE, false, TOOL_BASE_SAVE, IDS_TOOL_SAVE, IDM_MOVESAVE},
    {TOOL_DELETE, false, TOOL_BASE_DELETE, IDS_TOOL_DELETE, IDM_DELETE},
    {TOOL_STATUS, true, TOOL_BASE_STATUS, IDS_TOOL_STATUS, IDM_SERVER},
    {TOOL_TIDYUP, true, TOOL_BASE_TIDYUP, IDS_TOOL_TIDYUP, IDM_TIDYUP},
    {TOOL_HELP, true, TOOL_BASE_HELP, IDS_TOOL_HELP, IDM_HELPINDEX},
};

// The viewer's commands.
enum {
    CMD_QUITVIEW = 1307,
    CMD_ONETOONE = 1302,
    CMD_TWOTOONE = 1303,
    CMD_THREETOONE = 1304,
    CMD_OVERVIEW = 1305,
    CMD_ROTATE = 1306,
    CMD_EXPORT = 1311,
    CMD_IMPORT = 1312,
};

const TvToolButtonDef kViewerToolSet[TV_TOOL_VIEWER_COUNT] = {
    {TOOL_QUITVIEW, true, TOOL_BASE_QUITVIEW, IDS_TOOL_QUITVIEW, CMD_QUITVIEW},
    {TOOL_PRINT, true, TOOL_BASE_PRINTER, IDS_TOOL_PRINT, IDM_PRINT},
    {TOOL_ONETOONE, true, TOOL_BASE_ONETOONE, IDS_TOOL_ONETOONE, CMD_ONETOONE},
    {TOOL_TWOTOONE, false, TOOL_BASE_TWOTOONE, IDS_TOOL_TWOTOONE, CMD_TWOTOONE},
    {TOOL_THREETOONE, false, TOOL_BASE_THREETOONE, IDS_TOOL_THREETOONE, CMD_THREETOONE},
    {TOOL_OVERVIEW, false, TOOL_BASE_OVERVIEW, IDS_TOOL_OVERVIEW, CMD_OVERVIEW},
    {TOOL_ROTATE, true, TOOL_BASE_ROTATE, IDS_TOOL_ROTATE, CMD_ROTATE},
    {TOOL_IMPORT, true, TOOL_BASE_IMPORT, IDS_TOOL_IMPORT, CMD_IMPORT},
    {TOOL_EXPORT, false, TOOL_BASE_EXPORT, IDS_TOOL_EXPORT, CMD_EXPORT},
    {TOOL_HELP, true, TOOL_BASE_HELP, IDS_TOOL_HELP, IDM_HELPINDEX},
};

// The click mapping covers both sets; the quit-view button sends Cancel.
static const struct {
    int controlId, command;
} kToolCommands[] = {
    {TOOL_PRINT, IDM_PRINT},         {TOOL_IMPORT, CMD_IMPORT},      {TOOL_EXPORT, CMD_EXPORT},
    {TOOL_ROTATE, CMD_ROTATE},       {TOOL_ONETOONE, CMD_ONETOONE},  {TOOL_TWOTOONE, CMD_TWOTOONE},
    {TOOL_THREETOONE, CMD_THREETOONE}, {TOOL_OVERVIEW, CMD_OVERVIEW}, {TOOL_HELP, IDM_HELPINDEX},
    {TOOL_SEND, IDM_SEND},           {TOOL_FORWARD, IDM_FORWARD},    {TOOL_INFO, IDM_INFORMATION},
    {TOOL_SAVE, IDM_MOVESAVE},       {TOOL_TIDYUP, IDM_TIDYUP},      {TOOL_DELETE, IDM_DELETE},
    {TOOL_VIEW, IDM_VIEW},           {TOOL_STATUS, IDM_SERVER},      {TOOL_ACQUIRE, IDM_ACQUIRE},
};

int ToolCommandOf(int controlId)
{
    for (const auto &m : kToolCommands)
        if (m.controlId == controlId)
            return m.command;
    return TV_TOOL_CANCEL;
}

static bool WideScreen(int screenWidth)
{
    return screenWidth >= TV_TOOL_WIDE_SCREEN;
}

enum { BUTTON_WIDE = 60, BUTTON_NARROW = 52, BUTTON_BASE_HEIGHT = 5, BUTTON_TEXT_HEIGHT = 13 };

int ToolButtonWidth(int screenWidth)
{
    return WideScreen(screenWidth) ? BUTTON_WIDE : BUTTON_NARROW;
}

int ToolBitmapWidth(int screenWidth)
{
    return WideScreen(screenWidth) ? TOOL_BMP_HI_WIDTH : TOOL_BMP_LO_WIDTH;
}

int ToolBitmapHeight(int screenWidth)
{
    return WideScreen(screenWidth) ? TOOL_BMP_HI_HEIGHT : TOOL_BMP_LO_HEIGHT;
}

int ToolButtonHeight(int screenWidth, bool icons, bool text)
{
    return BUTTON_BASE_HEIGHT + (text ? BUTTON_TEXT_HEIGHT : 0) + (icons ? ToolBitmapHeight(screenWidth) : 0);
}

int ToolButtonX(const TvToolButtonDef *set, int count, int position, int buttonWidth)
{
    int x = 0;
    for (int i = 0; i < position && i < count; ++i)
        x += (set[i].gap ? TV_TOOL_GAP : 0) + buttonWidth;
    if (position >= 0 && position < count && set[position].gap)
        x += TV_TOOL_GAP;
    return x;
}

void ToolBitmapName(char *out, size_t size, const char *stem, const char *base, int screenWidth, bool grey)
{
    if (!out || size == 0)
        return;
    std::snprintf(out, size, "%s%s%s%s", stem ? stem : "", base ? base : "",
                  WideScreen(screenWidth) ? TOOL_BMP_HI : TOOL_BMP_LO, grey ? TOOL_BMP_GREY : "");
}

// ---------------------------------------------------------------- status bar

int StatusFontHeight(int charHeight)
{
    return charHeight * 9 / 10;
}

void StatusBarLayout(int width, int charWidth, int charHeight, TvStatusLayout *out)
{
    const int top = TV_STATUS_TOP, bottom = StatusFontHeight(charHeight) + TV_STATUS_TOP;
    const int field = TV_STATUS_FIELD_CHARS * charWidth;
    out->state = {width - TV_STATUS_EDGE - field, top, width - TV_STATUS_EDGE, bottom};
    out->spool = {out->state.left - TV_STATUS_SPACING - field, top, out->state.left - TV_STATUS_SPACING, bottom};
    // Too narrow for three fields: the message gets the whole width.
    out->sideFields = 20 * charWidth <= out->spool.left - 16;
    out->message = {TV_STATUS_EDGE, top, out->sideFields ? out->spool.left - TV_STATUS_SPACING : width - TV_STATUS_EDGE,
                    bottom};
}

int SpoolFieldStringId(int spoolState)
{
    switch (spoolState) {
    case 102: return IDS_SPOOL_ADDRESSING;
    case 103: return IDS_SPOOL_CANCELLING;
    case 104:
    case 106: return IDS_SPOOL_SPOOLING;
    case 105: return IDS_SPOOL_SUBMITTING;
    case 107: return IDS_SPOOL_SPOOLED;
    default: return 0;
    }
}

int StateFieldStringId(int appState)
{
    switch (appState) {
    case 0: return IDS_STATE_INITIALISING;
    case 2: return IDS_STATE_DDEACTIVE;
    case 3: return IDS_STATE_NODDE;
    default: return 0;
    }
}

TvStatusAction StatusTextPlan(char *buf, int mode, const char *text, bool online, unsigned value, int *stringId)
{
    *stringId = 0;
    switch (mode) {
    case TV_STATUS_RESET:
    case TV_STATUS_SHOW:
        if (text)
            CopyCut(buf, TV_STATUS_TEXT_MAX + 1, text);
        else if (mode == TV_STATUS_RESET) {
            buf[0] = '\0';
            if (!online)
                *stringId = TV_STATUS_OFFLINE_ID;
        }
        return TV_STATUS_REPAINT;
    case TV_STATUS_STRING:
        *stringId = int(value & 0xFFFF);
        return TV_STATUS_REPAINT;
    case TV_STATUS_DESCRIBE:
        *stringId = int(value & 0xFFFF);
        return TV_STATUS_OVERDRAW;
    default:
        return TV_STATUS_NOTHING;
    }
}
