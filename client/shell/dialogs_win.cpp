#include "client/shell/dialogs_win.h"

#include <cstdio>

#include "client/shell/app_win.h"
#include "client/shell/dialogs.h"
#include "client/shell/shelltext.h"
#include "client/shell/tavr32_res.h"
#include "client/store/msglist.h"
#include "common/langlib.h"

namespace {

enum {
    TEXT_SIZE = 256,
    BOX_TEXT_SIZE = 81,          // the two boxes' texts: 80 characters
    FIELD_FOCUS_ID = 512,        // the field a field error box returns to
    FILE_NAME_FIELD_ID = 1152,   // the common file dialogs' file-name field
    WHOLE_TEXT_END = 32767,
    CLASS_NAME_SIZE = 16,
    FRAME_LINES = 4,             // the welcome window's frame, pixels
    HELP_LOGIN = 539,
};

const COLORREF kWelcomeFrame = RGB(0, 0, 255);
const COLORREF kWelcomeText = RGB(0, 0, 128);
const COLORREF kWelcomeBack = RGB(255, 255, 255);

// Where the user was before an alert or the scanner-ready box came.
HWND s_alertForeground;
HWND s_scanFocus;
char s_scanText[BOX_TEXT_SIZE];

void ShowHelpTopic(HWND owner, DWORD context)
{
    if (g_app.cfg.help[0])
        WinHelpA(owner, g_app.cfg.help, HELP_CONTEXT, context);
}


UINT IconStyle(TvBoxIcon icon)
{
    switch (icon) {
    case TV_BOX_EXCLAMATION:
        return MB_ICONEXCLAMATION;
    case TV_BOX_QUESTION:
        return MB_ICONQUESTION;
    default:
        return MB_ICONINFORMATION;
    }
}

// The solid button-face brush the dialogs are painted with: the one the
// main window keeps up to date with the colour scheme, else the system's.
HBRUSH DialogBrush()
{
    return g_app.backgroundBrush ? g_app.backgroundBrush : GetSysColorBrush(COLOR_BTNFACE);
}

// Whether the control that asks for its colours gets the dialog colours.
bool ColourControl(UINT message, LPARAM lParam)
{
    HWND control = reinterpret_cast<HWND>(lParam);
    char cls[CLASS_NAME_SIZE] = "";
    uint32_t style = 0;
    if (control) {
        GetClassNameA(control, cls, sizeof cls);
        style = static_cast<uint32_t>(GetWindowLongPtrA(control, GWL_STYLE));
    }
    return CtlColorWanted(message, cls, style);
}

// Scroll bars are not redrawn by WM_SETREDRAW: setting an empty range and
// back, then the position with redrawing, draws them afresh.
void RedrawScrollBar(HWND window, int bar)
{
    int low = 0, high = 0;
    GetScrollRange(window, bar, &low, &high);
    int pos = GetScrollPos(window, bar);
    SetScrollRange(window, bar, 0, 0, FALSE);
    SetScrollRange(window, bar, low, high, FALSE);
    SetScrollPos(window, bar, pos, TRUE);
}

// ---------------------------------------------------------------- About
void AboutSetup(HWND dialog)
{
    char text[TEXT_SIZE];
    LoadClientString(IDS_PLATFORM, text, sizeof text);
    SetDlgItemTextA(dialog, IDC_ABOUT_PLATFORM, text);
    char prefix[TEXT_SIZE];
    LoadClientString(IDS_VERSION, prefix, sizeof prefix);
    std::snprintf(text, sizeof text, "%s%s", prefix, TV_VERSION_TEXT);
    SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, text);
}

void AboutCommand(HWND dialog, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case IDOK:
    case IDCANCEL:
        EndDialog(dialog, 1);
        break;
    }
}

INT_PTR AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        AboutSetup(dialog);
        return TRUE;
    case WM_COMMAND:
        AboutCommand(dialog, wParam);
        return FALSE;
    case WM_HSCROLL:
    case WM_VSCROLL:
        return FALSE;
    default:
        return DlgCtlColor(dialog, message, wParam, lParam);
    }
}

// ---------------------------------------------------------------- welcome
void WelcomeSetup(HWND dialog)
{
    HDC screen = GetDC(nullptr);
    int screenWidth = GetDeviceCaps(screen, HORZRES);
    int screenHeight = GetDeviceCaps(screen, VERTRES);
    ReleaseDC(nullptr, screen);
    RECT r;
    GetWindowRect(dialog, &r);
    int left = 0, top = 0;
    WelcomeWindowOrigin(screenWidth, screenHeight, r.right - r.left, r.bottom - r.top, &left, &top);
    SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    // The two frames only mark where the bitmaps go.
    ShowWindow(GetDlgItem(dialog, IDC_WELCOME_LOGO), SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_WELCOME_PICTURE), SW_HIDE);
    AboutDlgProc(dialog, WM_INITDIALOG, 0, 0);
}

// One bitmap, named from the resource stem and suffix, into its frame.
void PaintWelcomeBitmap(HWND dialog, HDC dc, HDC memory, int frameId, const char *suffix)
{
    char stem[TEXT_SIZE];
    LoadClientString(IDS_STEM, stem, sizeof stem);
    char name[TEXT_SIZE];
    std::snprintf(name, sizeof name, "%s%s", stem, suffix);
    HBITMAP bitmap = LoadBitmapA(g_app.instance, name);
    HWND frameWindow = GetDlgItem(dialog, frameId);
    if (!bitmap || !frameWindow) {
        if (bitmap)
            DeleteObject(bitmap);
        return;
    }
    BITMAP info;
    GetObjectA(bitmap, sizeof info, &info);
    RECT r;
    GetWindowRect(frameWindow, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&r), 2);
    TvBox frame = {r.left, r.top, r.right - r.left, r.bottom - r.top};
    TvBox to = FitWelcomeBitmap(frame, info.bmWidth, info.bmHeight);
    HGDIOBJ old = SelectObject(memory, bitmap);
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, to.left, to.top, to.width, to.height, memory, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    SelectObject(memory, old);
    DeleteObject(bitmap);
}

void PaintWelcome(HWND dialog)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(dialog, &ps);
    // The frame goes round the client area, where this context can draw.
    RECT client;
    GetClientRect(dialog, &client);
    HPEN pen = CreatePen(PS_SOLID, 1, kWelcomeFrame);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    for (int i = 0; i < FRAME_LINES; ++i)
        Rectangle(dc, 1 + i, 1 + i, client.right - 3 - i, client.bottom - 3 - i);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(pen);

    HDC memory = CreateCompatibleDC(dc);
    PaintWelcomeBitmap(dialog, dc, memory, IDC_WELCOME_PICTURE, "Picture");
    PaintWelcomeBitmap(dialog, dc, memory, IDC_WELCOME_LOGO, "Logo");
    DeleteDC(memory);
    EndPaint(dialog, &ps);
}

INT_PTR WelcomeCtlColor(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!ColourControl(message, lParam))
        return 0;
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetTextColor(dc, kWelcomeText);
    SetBkColor(dc, kWelcomeBack);
    return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
}

// ---------------------------------------------------------------- login
void LoginCommand(HWND dialog, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case IDOK: {
        char typed[TV_USER_NAME_SIZE] = "";
        GetDlgItemTextA(dialog, IDC_LOGIN_USERNAME, typed, sizeof typed);
        // The "no account" box belongs to the dialog, which stays open.
        TvShellHooks hooks = g_app.hooks;
        hooks.context = dialog;
        hooks.messageBox = ShellHookMessageBox;
        if (LoginWithName(&g_app.id, typed, g_app.cfg.systemArea, g_app.cfg.network, &hooks)) {
            EndDialog(dialog, 0);
            break;
        }
        HWND edit = GetDlgItem(dialog, IDC_LOGIN_USERNAME);
        SendMessageA(edit, EM_SETSEL, 0, WHOLE_TEXT_END);
        SetFocus(edit);
        break;
    }
    case IDCANCEL:
        EndDialog(dialog, TV_LOGIN_CANCELLED);
        break;
    case IDC_HELPBUTTON:
        ShowHelpTopic(dialog, HELP_LOGIN);
        break;
    }
}

// ---------------------------------------------------------------- the two boxes
void SetInfoText(HWND box, int stringId)
{
    char text[BOX_TEXT_SIZE];
    LoadClientString(stringId, text, sizeof text);
    SetDlgItemTextA(box, IDC_TEXT, text);
}

// OK or Cancel of the information box: it goes, and the window the user
// was in before the alert comes back to the front.
void CloseInfoBox(HWND box)
{
    DestroyWindow(box);
    HWND back = s_alertForeground;
    s_alertForeground = nullptr;
    if (back && IsWindow(back))
        SetForegroundWindow(back);
}

void CloseScannerBox(HWND box)
{
    DestroyWindow(box);
    HWND back = s_scanFocus;
    s_scanFocus = nullptr;
    if (back && IsWindow(back) && IsWindowEnabled(back))
        SetFocus(back);
}

// The common part of the two boxes' procedures.
INT_PTR BoxDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, HWND *handle, DWORD helpTopic,
                   void (*close)(HWND))
{
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            close(dialog);
            break;
        case IDC_HELPBUTTON:
            ShowHelpTopic(dialog, helpTopic);
            break;
        }
        return TRUE;
    case WM_HSCROLL:
    case WM_VSCROLL:
        return FALSE;
    case WM_DESTROY:
        // Also when the owner goes first.
        if (*handle == dialog)
            *handle = nullptr;
        return FALSE;
    default:
        return DlgCtlColor(dialog, message, wParam, lParam);
    }
}

bool Open(HWND box) { return box && IsWindow(box); }

} // namespace

// ---------------------------------------------------------------- helpers
int ShowMessageBox(HWND owner, const char *text, const char *caption, UINT style)
{
    DestroyWelcomeWindow();
    if (!owner && g_app.main && IsWindow(g_app.main))
        owner = g_app.main;
    char title[TEXT_SIZE];
    if (!caption) {
        LoadClientString(IDS_TITLE, title, sizeof title);
        caption = title;
    }
    HWND focus = GetFocus();
    int result = MessageBoxA(owner, text, caption, style | MB_TASKMODAL);
    if (focus && IsWindow(focus) && IsWindowEnabled(focus))
        SetFocus(focus);
    return result;
}

int ErrorBoxFromString(HWND owner, int stringId, const char *arg, UINT style)
{
    char pattern[TEXT_SIZE];
    LoadClientString(stringId, pattern, sizeof pattern);
    char text[2 * TEXT_SIZE];
    FillStringArg(pattern, arg, text, sizeof text);
    return ShowMessageBox(owner, text, nullptr, style);
}

void ShowStoreMessage(int stringId, const char *arg, TvStoreIcon icon)
{
    ErrorBoxFromString(nullptr, stringId, arg, icon == TV_ICON_EXCLAMATION ? MB_ICONEXCLAMATION : MB_OK);
}

void ShellHookMessageBox(void *context, const char *text, TvBoxIcon icon, bool /*ownerMain*/)
{
    ShowMessageBox(static_cast<HWND>(context), text, nullptr, IconStyle(icon));
}

void FieldErrorBox(HWND dialog, int stringId, const char *text)
{
    // The caller's text stays as it is; the box shows it in capitals.
    char upper[TEXT_SIZE];
    CopyCut(upper, sizeof upper, text ? text : "");
    UpperCase(upper);
    ErrorBoxFromString(dialog, stringId, upper, MB_ICONEXCLAMATION);
    if (dialog)
        SetFocus(GetDlgItem(dialog, FIELD_FOCUS_ID));
}

void FileDlgErrorBox(HWND dialog, int stringId, const char *text)
{
    FieldErrorBox(nullptr, stringId, text);
    if (dialog)
        SetFocus(GetDlgItem(dialog, FILE_NAME_FIELD_ID));
}

INT_PTR DlgCtlColor(HWND /*dialog*/, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!ColourControl(message, lParam))
        return 0;
    if (GetSysColor(COLOR_BTNFACE) != TV_GREY_BUTTON_FACE)
        return 0;
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    HBRUSH brush = DialogBrush();
    UnrealizeObject(brush);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    SelectObject(dc, brush);
    return reinterpret_cast<INT_PTR>(brush);
}

void StopRedraw(HWND window) { SendMessageA(window, WM_SETREDRAW, FALSE, 0); }

void StopRedrawDlgItem(HWND dialog, int id) { StopRedraw(GetDlgItem(dialog, id)); }

void ResumeRedraw(HWND window)
{
    SendMessageA(window, WM_SETREDRAW, TRUE, 0);
    LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
    if (style & WS_VSCROLL)
        RedrawScrollBar(window, SB_VERT);
    if (style & WS_HSCROLL)
        RedrawScrollBar(window, SB_HORZ);
    InvalidateRect(window, nullptr, FALSE);
}

void ResumeRedrawDlgItem(HWND dialog, int id) { ResumeRedraw(GetDlgItem(dialog, id)); }

int DirectoryChanged(const char * /*directory*/) { return 0; }

void ClearListSelection(HWND list)
{
    LRESULT count = SendMessageA(list, LB_GETSELCOUNT, 0, 0);
    if (count <= 0)
        return;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(count) * sizeof(int));
    if (!block)
        return;
    int *items = static_cast<int *>(GlobalLock(block));
    if (items) {
        LRESULT got = SendMessageA(list, LB_GETSELITEMS, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(items));
        for (LRESULT i = 0; i < got && i < count; ++i)
            SendMessageA(list, LB_SETSEL, FALSE, items[i]);
        GlobalUnlock(block);
    }
    GlobalFree(block);
}

int RunProgramInstance(const char *args)
{
    char path[TV_MODULE_PATH_MAX + 1];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return 0;
    char command[TV_INSTANCE_COMMAND_SIZE];
    if (!ProgramInstanceCommand(path, args, command, sizeof command))
        return 0;
    return WinExec(command, SW_SHOWNORMAL) > 32 ? 1 : 0;
}

// ---------------------------------------------------------------- dialogs
INT_PTR CALLBACK LinkAboutDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return AboutDlgProc(dialog, message, wParam, lParam);
}

INT_PTR CALLBACK LinkWelcomeDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        PaintWelcome(dialog);
        return FALSE;
    case WM_INITDIALOG:
        WelcomeSetup(dialog);
        return TRUE;
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return WelcomeCtlColor(message, wParam, lParam);
    case WM_COMMAND:
        // A window without buttons: Escape must not end it as a dialog.
        return TRUE;
    case WM_DESTROY:
        if (g_app.welcome == dialog)
            g_app.welcome = nullptr;
        return FALSE;
    default:
        return AboutDlgProc(dialog, message, wParam, lParam);
    }
}

INT_PTR CALLBACK LinkLoginDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        LoginCommand(dialog, wParam);
        return TRUE;
    default:
        return DlgCtlColor(dialog, message, wParam, lParam);
    }
}

INT_PTR CALLBACK LinkInfoDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        g_app.infoBox = dialog;
        SetInfoText(dialog, static_cast<int>(lParam));
        return TRUE;
    }
    return BoxDlgProc(dialog, message, wParam, lParam, &g_app.infoBox, IDD_INFOBOX, CloseInfoBox);
}

INT_PTR CALLBACK LinkScannerReadyDlg(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        g_app.scannerBox = dialog;
        SetInfoText(dialog, IDS_READY_TO_SCAN);
        SetDlgItemTextA(dialog, IDC_SCANREADY_TEXT, s_scanText);
        return TRUE;
    }
    return BoxDlgProc(dialog, message, wParam, lParam, &g_app.scannerBox, IDD_SCANNERREADY, CloseScannerBox);
}

void ShowAboutBox(HWND owner)
{
    DialogBoxLang(g_app.instance, MAKEINTRESOURCEA(IDD_ABOUT), owner, LinkAboutDlg, 0);
}

HWND CreateWelcomeWindow(HWND owner)
{
    DestroyWelcomeWindow();
    HWND welcome = CreateDialogLang(g_app.instance, MAKEINTRESOURCEA(IDD_WELCOME), owner, LinkWelcomeDlg, 0);
    if (!welcome)
        return nullptr;
    g_app.welcome = welcome;
    ShowWindow(welcome, SW_SHOWNOACTIVATE);
    UpdateWindow(welcome);
    SetWindowPos(welcome, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW);
    return welcome;
}

void DestroyWelcomeWindow(void)
{
    HWND welcome = g_app.welcome;
    g_app.welcome = nullptr;
    if (welcome && IsWindow(welcome))
        DestroyWindow(welcome);
}

int RunLoginDialog(HWND owner)
{
    INT_PTR result = DialogBoxLang(g_app.instance, MAKEINTRESOURCEA(IDD_LOGIN), owner, LinkLoginDlg, 0);
    return result == 0 ? 0 : TV_LOGIN_CANCELLED;
}

void ShowPendingAlert(int stringId)
{
    if (!stringId)
        return;
    // A modal box here would hold every later refresh: the box is modeless
    // and single, and a later alert shows in the open one.
    if (Open(g_app.infoBox)) {
        SetInfoText(g_app.infoBox, stringId);
        SetWindowPos(g_app.infoBox, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        return;
    }
    HWND front = GetForegroundWindow();
    if (g_app.main && IsWindow(g_app.main))
        SetForegroundWindow(g_app.main);
    HWND box = CreateDialogLang(g_app.instance, MAKEINTRESOURCEA(IDD_INFOBOX), g_app.main, LinkInfoDlg, stringId);
    if (!box)
        return;
    s_alertForeground = (front != g_app.main) ? front : nullptr;
    ShowWindow(box, SW_SHOW);
}

void ShowScannerReadyBox(const MessageListEntry *entry)
{
    if (!entry) {
        CloseScannerReadyBox();
        return;
    }
    CopyCut(s_scanText, sizeof s_scanText, entry->Comment);
    if (Open(g_app.scannerBox)) {
        SetDlgItemTextA(g_app.scannerBox, IDC_SCANREADY_TEXT, s_scanText);
        return;
    }
    HWND focus = GetFocus();
    HWND box = CreateDialogLang(g_app.instance, MAKEINTRESOURCEA(IDD_SCANNERREADY), g_app.main,
                                LinkScannerReadyDlg, 0);
    if (!box)
        return;
    s_scanFocus = focus;
    ShowWindow(box, SW_SHOW);
}

void CloseScannerReadyBox(void)
{
    if (Open(g_app.scannerBox))
        SendMessageA(g_app.scannerBox, WM_COMMAND, IDCANCEL, 0);
}

bool IsInfoBoxMessage(MSG *msg)
{
    if (Open(g_app.infoBox) && IsDialogMessageA(g_app.infoBox, msg))
        return true;
    return Open(g_app.scannerBox) && IsDialogMessageA(g_app.scannerBox, msg);
}

void LoadClientString(int id, char *buf, int size)
{
    HINSTANCE program = g_app.instance ? g_app.instance : GetModuleHandleA(nullptr);
    if (LoadStringLang(program, static_cast<UINT>(id), buf, size) <= 0 && size > 0)
        buf[0] = '\0';
}
