// The main window's layout, list order, help maps and saved placement.
#include "client/shell/mainlayout.h"

#include <cstdio>

#include "client/shell/shelltext.h"
#include "client/store/listids.h"

namespace {

int AtLeastZero(int v)
{
    return v < 0 ? 0 : v;
}

TvRect Rect(int left, int top, int width, int height)
{
    return TvRect{left, top, left + width, top + height};
}

const int kListOrder[3] = {TV_LIST_NEW, TV_LIST_WAITING, TV_LIST_FILED};

} // namespace

int ListAreaIndex(int listId)
{
    for (int i = 0; i < 3; ++i)
        if (kListOrder[i] == listId)
            return i;
    return 0;
}

void LayoutMainWindowRects(const TvLayoutInput &in, TvLayoutResult *out)
{
    *out = TvLayoutResult{};
    const int W = AtLeastZero(in.width), H = AtLeastZero(in.height);
    const int w = in.charWidth, h = in.charHeight, M = in.marginX, N = in.marginY;

    const int top = in.toolBarShown ? in.toolBarHeight + TV_LAYOUT_TOOLBAR_GAP : TV_LAYOUT_EDGE;
    out->top = top;

    int S = TV_LAYOUT_EDGE;
    if (in.statusBarShown) {
        S = h * 9 / 10 + 6;
        out->statusBar = Rect(0, H - S, W, top < H - S ? S : 0);
    }

    // A window lower than its bars gets a pane of height 0.
    const int P = AtLeastZero(H - S - top);
    out->messages = Rect(0, top, W, P);

    const int L = TV_LAYOUT_LABEL_CHARS * w + M + 4;
    int X = W - L - TV_LAYOUT_AREA_GAP;
    if (M + TV_LAYOUT_MIN_LIST_CHARS * w > X || X < 0)
        X = 0;

    int s = AtLeastZero((P - TV_LAYOUT_PANE_SPARE) / 5);
    int b = P - TV_LAYOUT_PANE_SPARE - 2 * s;
    const int m = h + 2 * N;
    if (s < m) {
        b = b + 2 * s + 2 * TV_LAYOUT_AREA_GAP;
        s = 0;
    }
    if (m > b || b < 0)
        b = 0;

    const int large = ListAreaIndex(in.lastShown);
    int y = TV_LAYOUT_EDGE;
    for (int i = 0; i < 3; ++i) {
        const int height = i == large ? b : s;
        out->areas[i] = Rect(L, y, X, height);
        if (height != 0)
            y += height + TV_LAYOUT_AREA_GAP;
    }

    // The FILED list leaves a line above it for the directory text.
    const int filedHeight = out->areas[2].bottom - out->areas[2].top;
    out->filedList = Rect(0, h + 2 * N, X, AtLeastZero(filedHeight - 2 * N - h));
}

int NextListPane(int current, bool backwards)
{
    const int i = ListAreaIndex(current);
    if (kListOrder[i] != current)
        return TV_LIST_NEW;
    return kListOrder[(i + (backwards ? 2 : 1)) % 3];
}

int HelpTopicForCommand(int commandId)
{
    static const struct {
        int command, topic;
    } kTopics[] = {
        {2, 725},     {1101, 700},  {1102, 701},  {1103, 707},  {1104, 705},  {1105, 706},  {1106, 704},
        {1107, 702},  {1108, 703},  {1109, 740},  {1110, 709},  {1111, 710},  {1112, 735},  {1115, 752},
        {1116, 751},  {1117, 750},  {1118, 760},  {1120, 719},  {1121, 720},  {1122, 721},  {1123, 736},
        {1130, 712},  {1132, 711},  {1133, 716},  {1135, 765},  {1136, 755},  {1137, 753},  {1138, 754},
        {1140, 713},  {1141, 714},  {1142, 708},  {1152, 734},  {1190, 722},  {1200, 715},  {1210, 718},
        {1220, 741},  {1221, 742},  {1300, 727},  {1301, 728},  {1302, 730},  {1303, 731},  {1304, 732},
        {1305, 733},  {1306, 729},  {1310, 726},  {1311, 724},  {1312, 723},  {1313, 761},  {1314, 762},
    };
    for (const auto &t : kTopics)
        if (t.command == commandId)
            return t.topic;
    return 0;
}

int HelpTopicForHitTest(int hitTestCode)
{
    // Hit-test codes: client area, caption, system menu, size box, minimise
    // and maximise buttons, then the eight border codes.
    enum { HT_CLIENT_CLICK = 0, HT_CAPTION = 2, HT_SYSMENU = 3, HT_SIZEBOX = 4, HT_MINBUTTON = 8, HT_MAXBUTTON = 9,
           HT_BORDER_FIRST = 10, HT_BORDER_LAST = 17 };
    switch (hitTestCode) {
    case HT_CLIENT_CLICK: return 109;
    case HT_CAPTION: return 600;
    case HT_SYSMENU: return 604;
    case HT_SIZEBOX: return 601;
    case HT_MINBUTTON: return 602;
    case HT_MAXBUTTON: return 603;
    default:
        return hitTestCode >= HT_BORDER_FIRST && hitTestCode <= HT_BORDER_LAST ? 605 : 0;
    }
}

TvSettingsChange SettingsChangeEffects(const char *section)
{
    const bool all = !section || !section[0];
    return TvSettingsChange{all || EqualsNoCase(section, "intl"), all || EqualsNoCase(section, "colors")};
}

TvWindowPlacement PlacementToSave(char state, int screenWidth, int screenHeight, const TvRect &windowRect)
{
    TvWindowPlacement p{};
    p.state = state == 'Z' || state == 'I' ? state : 'N';
    p.screenWidth = screenWidth;
    p.screenHeight = screenHeight;
    if (p.state == 'N') {
        p.left = windowRect.left;
        p.top = windowRect.top;
        p.right = windowRect.right;
        p.bottom = windowRect.bottom;
    } else {
        p.left = screenWidth / 15;
        p.top = screenHeight / 15;
        p.right = screenWidth - screenWidth / 15;
        p.bottom = screenHeight - screenHeight / 15;
    }
    if (p.left < 0)
        p.left = 0;
    if (p.top < 0)
        p.top = 0;
    if (p.right > screenWidth)
        p.right = screenWidth;
    if (p.bottom > screenHeight)
        p.bottom = screenHeight;
    return p;
}

bool FormatWindowPlacement(const TvWindowPlacement &p, char *out, size_t size)
{
    if (!out || size == 0)
        return false;
    int n = std::snprintf(out, size, "%c %d %d %d %d %d %d", p.state, p.screenWidth, p.left, p.right,
                          p.screenHeight, p.top, p.bottom);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        out[0] = '\0';
        return false;
    }
    return true;
}
