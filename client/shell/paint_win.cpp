#include "client/shell/paint_win.h"

#include <cstdio>
#include <cstring>

#include "client/shell/app_win.h"
#include "client/shell/dialogs_win.h"
#include "client/shell/paintlog.h"
#include "client/shell/shellutil.h"
#include "client/shell/tavr32_res.h"
#include "common/langlib.h"

RECT g_dropTargets[TV_DROP_TARGETS];
int g_inTitleWidth;

namespace {

enum { TEXT_SIZE = 256, NAME_SIZE = 64, NAME_COLUMN_CHARS = 14, DATE_COLUMN_CHARS = 15, FRAME_GROW = 3 };
enum : uint16_t { LOG_MEMORY = 0xF808 };

HINSTANCE Program()
{
    return g_app.instance ? g_app.instance : GetModuleHandleA(nullptr);
}

void StemName(const char *suffix, char *out, size_t size)
{
    char stem[NAME_SIZE];
    LoadClientString(IDS_STEM, stem, sizeof stem);
    std::snprintf(out, size, "%s%s", stem[0] ? stem : RES_STEM, suffix);
}

HBITMAP LoadStemBitmap(const char *suffix)
{
    char name[NAME_SIZE];
    StemName(suffix, name, sizeof name);
    HBITMAP bmp = nullptr;
    if (HINSTANCE lang = GetLanguageLibrary())
        bmp = LoadBitmapA(lang, name);
    return bmp ? bmp : LoadBitmapA(Program(), name);
}

HICON LoadStemIcon(const char *suffix)
{
    char name[NAME_SIZE];
    StemName(suffix, name, sizeof name);
    HICON icon = nullptr;
    if (HINSTANCE lang = GetLanguageLibrary())
        icon = LoadIconA(lang, name);
    return icon ? icon : LoadIconA(Program(), name);
}

void Fill(HDC dc, int left, int top, int right, int bottom, HBRUSH brush)
{
    if (right <= left || bottom <= top)
        return;
    RECT r = {left, top, right, bottom};
    FillRect(dc, &r, brush);
}

int TextWidth(HDC dc, const char *text, int length)
{
    SIZE s = {};
    if (length > 0)
        GetTextExtentPoint32A(dc, text, length, &s);
    return s.cx;
}

int MeasureOnDc(void *context, const char *text, int count)
{
    return TextWidth(static_cast<HDC>(context), text, count);
}

// Draws text cut to width (the longest start that fits, ending in " ...");
// returns the drawn extent.
int TextOutCut(HDC dc, int x, int y, const char *text, int width)
{
    char cut[TEXT_SIZE];
    const int extent = FitTextToWidth(text, width, MeasureOnDc, dc, cut, sizeof cut);
    TextOutA(dc, x, y, cut, int(std::strlen(cut)));
    return extent;
}

HFONT CreateArial(int height)
{
    return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, "Arial");
}

// Draws the four edges of r one pixel wide.
void Ring(HDC dc, const RECT &r, HBRUSH leftTop, HBRUSH rightBottom)
{
    if (leftTop) {
        Fill(dc, r.left, r.top, r.right, r.top + 1, leftTop);
        Fill(dc, r.left, r.top, r.left + 1, r.bottom, leftTop);
    }
    if (rightBottom) {
        Fill(dc, r.right - 1, r.top, r.right, r.bottom, rightBottom);
        Fill(dc, r.left, r.bottom - 1, r.right, r.bottom, rightBottom);
    }
}

}  // namespace

// ---------------------------------------------------------------- edges

void DrawFrameEdge(HDC dc, const RECT *r, HBRUSH shadow, HBRUSH light, int width, bool sunken)
{
    if (!dc || !r)
        return;
    RECT ring = *r;
    for (int i = 0; i < (width == 2 ? 2 : 1); ++i) {
        Ring(dc, ring, sunken ? shadow : light, sunken ? light : shadow);
        InflateRect(&ring, -1, -1);
    }
}

void DrawDeepBevel(HDC dc, const RECT *r, HBRUSH shadow, HBRUSH light, HBRUSH dark, HBRUSH face, bool sunken)
{
    if (!dc || !r)
        return;
    DrawFrameEdge(dc, r, shadow, light, 2, sunken);
    RECT inner = *r;
    InflateRect(&inner, -2, -2);
    Ring(dc, inner, sunken ? dark : face, sunken ? face : dark);
}

void DrawButtonEdge(HDC dc, const RECT *r, HBRUSH shadow, HBRUSH light, bool pressed)
{
    if (!dc || !r)
        return;
    const RECT &c = *r;
    if (pressed) {
        Fill(dc, c.left, c.top, c.right, c.top + 2, shadow);
        Fill(dc, c.left, c.top, c.left + 2, c.bottom, shadow);
        Fill(dc, c.right - 1, c.top, c.right, c.bottom, light);
        Fill(dc, c.left, c.bottom - 1, c.right, c.bottom, light);
    } else {
        Fill(dc, c.left, c.top, c.right, c.top + 1, light);
        Fill(dc, c.left, c.top, c.left + 1, c.bottom, light);
        Fill(dc, c.right - 2, c.top, c.right, c.bottom, shadow);
        Fill(dc, c.left, c.bottom - 2, c.right, c.bottom, shadow);
    }
}

HBRUSH CreateHighlightBrush(void)
{
    const COLORREF white = RGB(0xFF, 0xFF, 0xFF);
    if (GetSysColor(COLOR_BTNFACE) == white)
        return CreateSolidBrush(GetSysColor(COLOR_BTNSHADOW));
    const DWORD version = GetVersion();
    const int major = LOBYTE(LOWORD(version)), minor = HIBYTE(LOWORD(version));
    if (major < 3 || (major == 3 && minor == 0))
        return CreateSolidBrush(white);
    return CreateSolidBrush(GetSysColor(COLOR_BTNHIGHLIGHT));
}

// ---------------------------------------------------------------- list rows

void PaintLog(HWND list, const DRAWITEMSTRUCT *item, MessageListTable *table)
{
    if (!item || item->CtlType != ODT_LISTBOX || !(item->itemAction & (ODA_DRAWENTIRE | ODA_SELECT)))
        return;
    HDC dc = item->hDC;
    if (!dc)
        return;
    if (!list)
        list = item->hwndItem;
    RECT client = item->rcItem;
    if (list)
        GetClientRect(list, &client);
    const int w = g_app.charWidth, h = g_app.charHeight, M = g_app.marginX, N = g_app.marginY;

    HBRUSH window = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
    if (!table || table->Allocated == 0) {
        FillRect(dc, &client, window);
        DeleteObject(window);
        return;
    }
    const COLORREF oldText = SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    const COLORREF oldBack = SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    auto done = [&]() {
        SetTextColor(dc, oldText);
        SetBkColor(dc, oldBack);
        DeleteObject(window);
    };

    if (table->Allocated < 0 || !table->Storage) {
        FillRect(dc, &client, window);
        char error[NAME_SIZE];
        LoadClientString(IDS_ERROR, error, sizeof error);
        TextOutA(dc, M, N, error, int(std::strlen(error)));
        if (table->Allocated > 0) {
            // The block cannot be reached: report once and show the list
            // empty until it is rebuilt.
            WriteErrorLog(&g_app.log, LOG_MEMORY, "PaintLog", "Problems locking memory for list box");
            table->Allocated = 0;
            table->Used = 0;
        }
        done();
        return;
    }

    const LRESULT slot = list ? SendMessageA(list, LB_GETITEMDATA, item->itemID, 0) : LRESULT(item->itemData);
    if (item->itemID == UINT(-1) || slot < 0 || slot >= table->Used) {
        done();
        return;
    }
    const MessageListEntry &e = table->Storage[slot];
    if (e.Kind == TV_KIND_DELETED || e.Kind == -2) {
        done();
        return;
    }

    const int x0 = item->rcItem.left, y = item->rcItem.top;
    const int x1 = x0 + M + STATUS_BITMAP_WIDTH;
    Fill(dc, client.left, y, x1, y + h, window);

    const TvRowLook look = RowLook(&e);
    if (look.bitmap != TV_BMP_NONE) {
        if (HBITMAP bmp = LoadStemBitmap(kStatusBitmapSuffix[look.bitmap])) {
            BITMAP info = {};
            GetObjectA(bmp, sizeof info, &info);
            HDC mem = CreateCompatibleDC(dc);
            HGDIOBJ old = SelectObject(mem, bmp);
            BitBlt(dc, x0, y + (h - info.bmHeight) / 2, info.bmWidth, info.bmHeight, mem, 0, 0, SRCAND);
            SelectObject(mem, old);
            DeleteDC(mem);
            DeleteObject(bmp);
        }
    }
    if (look.colour != TV_ROW_COLOUR_DEFAULT)
        SetTextColor(dc, COLORREF(look.colour));

    char text[TEXT_SIZE], untitled[NAME_SIZE];
    LoadClientString(IDS_UNTITLED, untitled, sizeof untitled);
    RowNameText(&e, untitled, text, sizeof text);
    const int x2 = x1 + NAME_COLUMN_CHARS * w;
    const int nameWidth = TextOutCut(dc, x1, y, text, x2 - x1);
    Fill(dc, x1 + nameWidth, y, x2, y + h, window);

    RowDateText(&e, &g_app.intl, text, sizeof text);
    const int x3 = x2 + DATE_COLUMN_CHARS * w;
    TextOutA(dc, x2, y, text, int(std::strlen(text)));
    Fill(dc, x2 + TextWidth(dc, text, int(std::strlen(text))), y, x3, y + h, window);

    char comment[TV_ENTRY_COMMENT_SIZE];
    std::memcpy(comment, e.Comment, sizeof comment);
    comment[sizeof comment - 1] = '\0';
    const int commentLength = int(std::strlen(comment));
    TextOutA(dc, x3, y, comment, commentLength);
    Fill(dc, x3 + TextWidth(dc, comment, commentLength), y, client.right, y + h, window);

    if (item->itemState & ODS_SELECTED)
        InvertRect(dc, &item->rcItem);

    Fill(dc, client.left, y + h, client.right, item->rcItem.bottom, window);
    Fill(dc, client.left, client.top, client.right, client.top + N, window);
    done();
}

// ---------------------------------------------------------------- panes

void PaintMessagesPane(HWND pane, PAINTSTRUCT *ps)
{
    if (!ps || !ps->hdc)
        return;
    HDC dc = ps->hdc;
    const int h = g_app.charHeight;
    HBRUSH dark = CreateSolidBrush(GetSysColor(COLOR_WINDOWFRAME));
    HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    HBRUSH shadow = CreateSolidBrush(GetSysColor(COLOR_BTNSHADOW));
    HBRUSH light = CreateHighlightBrush();
    HBRUSH window = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
    HFONT font = CreateArial(h);
    HGDIOBJ oldFont = SelectObject(dc, font);
    const COLORREF oldText = SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    const int oldMode = SetBkMode(dc, TRANSPARENT);

    static const char *const kIcons[TV_LISTS] = {"In", "Out", "Filed"};
    static const int kTitles[TV_LISTS] = {IDS_PANE_IN, IDS_PANE_OUT, IDS_PANE_FILED};
    const int iconW = GetSystemMetrics(SM_CXICON), iconH = GetSystemMetrics(SM_CYICON);
    for (int i = 0; i < TV_LISTS; ++i) {
        HWND shown = i < 2 ? g_app.lists[i] : g_app.filed;
        const TvPaneRect &a = ListTable(1120 + i)->PaneRect;
        const int width = a.right - a.left, height = a.bottom - a.top;
        if (!shown || !IsWindowVisible(shown) || width <= 0 || height <= 0) {
            // No icon drawn: nothing to drop on.
            SetRectEmpty(&g_dropTargets[i]);
            continue;
        }
        int iconHeight = 0;
        SetRectEmpty(&g_dropTargets[i]);
        if (height >= iconH) {
            const int x = (a.left - iconW) / 2;
            if (HICON icon = LoadStemIcon(kIcons[i]))
                DrawIcon(dc, x, a.top, icon);
            SetRect(&g_dropTargets[i], x - 1, a.top - 1, x + iconW + 1, a.top + iconH + 1);
            iconHeight = iconH;
        }
        if (iconHeight + h <= height) {
            char title[NAME_SIZE];
            LoadClientString(kTitles[i], title, sizeof title);
            RECT band = {0, a.top + iconHeight, a.left, a.top + iconHeight + h};
            DrawTextA(dc, title, -1, &band, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
            if (i == 0) {
                const int tw = TextWidth(dc, title, int(std::strlen(title)));
                if (tw > g_inTitleWidth)
                    g_inTitleWidth = tw;
            }
        }
        RECT grown = {a.left, a.top, a.right, a.bottom};
        InflateRect(&grown, FRAME_GROW, FRAME_GROW);
        if (i < 2)
            FillRect(dc, &grown, window);
        DrawDeepBevel(dc, &grown, shadow, light, dark, face, true);
    }

    SetBkMode(dc, oldMode);
    SetTextColor(dc, oldText);
    SelectObject(dc, oldFont);
    DeleteObject(font);
    const HBRUSH brushes[] = {dark, face, shadow, light, window};
    for (HBRUSH b : brushes)
        DeleteObject(b);
}

void PaintFiledPane(HWND pane, PAINTSTRUCT *ps, const char *filedDir)
{
    if (!ps || !ps->hdc)
        return;
    HDC dc = ps->hdc;
    const COLORREF oldText = SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    const COLORREF oldBack = SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    char text[MAX_PATH + 1];
    FiledDirText(filedDir, text, sizeof text);
    const int length = int(std::strlen(text));
    TextOutA(dc, g_app.marginX, g_app.marginY, text, length);
    int left = g_app.marginX + TextWidth(dc, text, length);
    if (left < ps->rcPaint.left)
        left = ps->rcPaint.left;
    HBRUSH window = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
    Fill(dc, left, ps->rcPaint.top, ps->rcPaint.right, ps->rcPaint.bottom, window);
    DeleteObject(window);
    SetTextColor(dc, oldText);
    SetBkColor(dc, oldBack);
}
