// The client's small dialogs from the real resources: the About box, the
// welcome window, the login dialog against a user list, the modeless
// information and scanner-ready boxes, and the message box helpers. Modal
// dialogs run on a thread of their own while the test drives them.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "client/shell/app_win.h"
#include "client/shell/dialogs_win.h"
#include "client/shell/tavr32_res.h"
#include "client/store/msglist.h"
#include "tests/support/gui/guidriver.h"
#include "tests/support/tempdir.h"
#include "tests/support/testfiles.h"

TvApp g_app;

namespace {

namespace gui = tvtest::gui;

DWORD Pid() { return GetCurrentProcessId(); }

// Lets this thread's windows handle what is queued for them, through the
// boxes' keyboard handling as the program's loop does.
void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (IsInfoBoxMessage(&msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

std::string ItemText(HWND dialog, int id)
{
    char buf[256] = "";
    GetDlgItemTextA(dialog, id, buf, sizeof buf);
    return buf;
}

// The visible top-level windows of this process with the caption.
int CountWindows(const char *caption)
{
    int n = 0;
    for (HWND w : gui::TopWindows(Pid(), true)) {
        char text[128] = "";
        GetWindowTextA(w, text, sizeof text);
        n += std::strcmp(text, caption) == 0;
    }
    return n;
}

// A modal dialog on a thread of its own. Should a test leave it open, the
// destructor cancels the thread's windows before it waits for the thread.
class Modal {
public:
    explicit Modal(std::function<int()> run)
        : thread_([this, run] {
              threadId_ = GetCurrentThreadId();
              result_ = run();
              done_ = true;
          })
    {
    }
    ~Modal()
    {
        for (int i = 0; i < 100 && !done_; ++i) {
            EnumThreadWindows(threadId_, CancelWindow, 0);
            Sleep(100);
        }
        if (done_)
            thread_.join();
        else
            thread_.detach();
    }
    // Whether the dialog ended within the deadline.
    bool Ended(int timeoutMs = gui::kWaitMs)
    {
        for (int waited = 0; !done_ && waited < timeoutMs; waited += 20)
            Sleep(20);
        return done_;
    }
    int Result() const { return result_; }

private:
    static BOOL CALLBACK CancelWindow(HWND w, LPARAM)
    {
        PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }
    std::atomic<bool> done_{false};
    std::atomic<DWORD> threadId_{0};
    std::atomic<int> result_{-1};
    std::thread thread_;
};

class DialogsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_app = TvApp();
        g_app.instance = GetModuleHandleA(nullptr);
        g_app.language = g_app.instance;
    }
    void TearDown() override
    {
        if (g_app.infoBox)
            DestroyWindow(g_app.infoBox);
        if (g_app.scannerBox)
            DestroyWindow(g_app.scannerBox);
        DestroyWelcomeWindow();
        Pump();
    }
};

TEST_F(DialogsTest, AboutBoxShowsPlatformAndVersionAndEndsWithOk)
{
    Modal about([] {
        ShowAboutBox(nullptr);
        return 0;
    });
    gui::Reply<HWND> box = gui::WaitTopWindow(Pid(), gui::WindowSpec().Caption("About Tavrine"), gui::kStartMs);
    ASSERT_TRUE(box.Ok());
    EXPECT_EQ("Windows 32 bit (Intel)", gui::Text(gui::Child(box.value, IDC_ABOUT_PLATFORM).value));
    EXPECT_EQ("Version 5.00f", gui::Text(gui::Child(box.value, IDC_ABOUT_VERSION).value));
    EXPECT_TRUE(gui::Click(gui::Child(box.value, IDOK).value));
    EXPECT_TRUE(about.Ended());
    EXPECT_FALSE(IsWindow(box.value));
}

TEST_F(DialogsTest, WelcomeWindowIsTopmostUncaptionedPaintedAndGoesBeforeAMessageBox)
{
    HWND welcome = CreateWelcomeWindow(nullptr);
    ASSERT_NE(nullptr, welcome);
    EXPECT_EQ(welcome, g_app.welcome);
    Pump();
    EXPECT_TRUE(IsWindowVisible(welcome));
    LONG_PTR style = GetWindowLongPtrA(welcome, GWL_STYLE);
    EXPECT_NE(WS_CAPTION, style & WS_CAPTION);
    EXPECT_TRUE(GetWindowLongPtrA(welcome, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_NE(welcome, GetForegroundWindow()) << "shown without activation";
    EXPECT_EQ("Version 5.00f", ItemText(welcome, IDC_ABOUT_VERSION));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(welcome, IDC_WELCOME_PICTURE)));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(welcome, IDC_WELCOME_LOGO)));

    // Centred across the screen, a third of the free height down.
    HDC screen = GetDC(nullptr);
    int sw = GetDeviceCaps(screen, HORZRES), sh = GetDeviceCaps(screen, VERTRES);
    ReleaseDC(nullptr, screen);
    RECT r;
    GetWindowRect(welcome, &r);
    EXPECT_EQ((sw - (r.right - r.left)) / 2, r.left);
    EXPECT_EQ((sh - (r.bottom - r.top)) / 3, r.top);

    // Navy on white for its texts.
    HWND text = GetDlgItem(welcome, IDC_ABOUT_VERSION);
    HDC dc = GetDC(text);
    LRESULT brush = SendMessageA(welcome, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH)), brush);
    EXPECT_EQ(RGB(0, 0, 128), GetTextColor(dc));
    ReleaseDC(text, dc);

    // The blue frame and the picture in its frame, as painted.
    RedrawWindow(welcome, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    HDC wdc = GetDC(welcome);
    EXPECT_EQ(RGB(0, 0, 255), GetPixel(wdc, 2, 2));
    RECT frame;
    GetWindowRect(GetDlgItem(welcome, IDC_WELCOME_PICTURE), &frame);
    MapWindowPoints(nullptr, welcome, reinterpret_cast<POINT *>(&frame), 2);
    int colours = 0;
    COLORREF last = CLR_INVALID;
    for (int x = frame.left + 1; x < frame.right - 1; x += 3) {
        COLORREF c = GetPixel(wdc, x, (frame.top + frame.bottom) / 2);
        colours += c != last;
        last = c;
    }
    ReleaseDC(welcome, wdc);
    EXPECT_GT(colours, 2) << "the picture frame holds more than a plain background";

    // A message box takes the welcome window away for good.
    gui::MessageBoxGuard boxes(Pid());
    boxes.Expect(gui::BoxSpec().Caption("Tavrine").Text("Disk full").Press(IDOK));
    EXPECT_EQ(IDOK, ShowMessageBox(nullptr, "Disk full", nullptr, MB_ICONEXCLAMATION));
    EXPECT_FALSE(IsWindow(welcome));
    EXPECT_EQ(nullptr, g_app.welcome);
    boxes.Finish();
}

class LoginTest : public DialogsTest {
protected:
    void SetUp() override
    {
        DialogsTest::SetUp();
        std::string db = dir.MakeDir("T-DB");
        ASSERT_TRUE(WriteWholeFile(db + "\\USERLIST.INI",
                                   "[TAVRINE]\r\nType: UserList\r\n\r\n"
                                   "[USER]\r\nName: mjones\r\nUsername: mary\r\nGroup: SALES\r\n\r\n"));
        std::string area = dir.Path() + "\\";
        ASSERT_LT(area.size(), sizeof g_app.cfg.systemArea);
        std::strcpy(g_app.cfg.systemArea, area.c_str());
        g_app.cfg.network = 1;
    }
    // Types name and presses OK in the open login dialog.
    void Submit(HWND dialog, const char *name)
    {
        ASSERT_TRUE(gui::SetText(gui::Child(dialog, IDC_LOGIN_USERNAME).value, name));
        ASSERT_TRUE(gui::Click(gui::Child(dialog, IDOK).value));
    }
    tvtest::TempDir dir{"login"};
};

TEST_F(LoginTest, KnownUserIsLoggedOnUnknownStaysAndCancelEnds)
{
    gui::MessageBoxGuard boxes(Pid());
    boxes.Expect(gui::BoxSpec().Caption("Tavrine").Text("No Tavrine account set up for NOBODY").Press(IDOK));
    {
        Modal login([] { return RunLoginDialog(nullptr); });
        gui::Reply<HWND> dialog = gui::WaitTopWindow(Pid(), gui::WindowSpec().Caption("Tavrine login"));
        ASSERT_TRUE(dialog.Ok());
        Submit(dialog.value, "nobody");
        ASSERT_TRUE(boxes.WaitBoxes(1));
        EXPECT_FALSE(login.Ended(500)) << "a name without an account keeps the dialog open";
        EXPECT_TRUE(IsWindowVisible(dialog.value));

        Submit(dialog.value, "mjones");
        ASSERT_TRUE(login.Ended());
        EXPECT_EQ(0, login.Result());
        EXPECT_STREQ("MJONES", g_app.id.userName);
        EXPECT_STREQ("SALES", g_app.id.group);
    }
    {
        Modal login([] { return RunLoginDialog(nullptr); });
        gui::Reply<HWND> dialog = gui::WaitTopWindow(Pid(), gui::WindowSpec().Caption("Tavrine login"));
        ASSERT_TRUE(dialog.Ok());
        EXPECT_TRUE(gui::Click(gui::Child(dialog.value, IDCANCEL).value));
        ASSERT_TRUE(login.Ended());
        EXPECT_EQ(TV_LOGIN_CANCELLED, login.Result());
    }
    boxes.Finish();
}

TEST_F(DialogsTest, AlertBoxIsSingleAndModeless)
{
    ShowPendingAlert(0);
    EXPECT_EQ(nullptr, g_app.infoBox);

    ShowPendingAlert(IDS_ALERT_RECEIVED);
    HWND box = g_app.infoBox;
    ASSERT_NE(nullptr, box);
    Pump();
    EXPECT_TRUE(IsWindowVisible(box));
    EXPECT_EQ("A new message has been received", ItemText(box, IDC_TEXT));

    // A second alert shows in the open box.
    ShowPendingAlert(IDS_ALERT_RECEIVED_ERR);
    Pump();
    EXPECT_EQ(box, g_app.infoBox);
    EXPECT_EQ(1, CountWindows("Tavrine"));
    EXPECT_EQ("A new message has been received with errors", ItemText(box, IDC_TEXT));

    // The message loop hands the box its keys: Enter is its OK.
    MSG other = {GetDesktopWindow(), WM_KEYDOWN, VK_RETURN, 0, 0, {0, 0}};
    EXPECT_FALSE(IsInfoBoxMessage(&other));
    MSG enter = {box, WM_KEYDOWN, VK_RETURN, 0, 0, {0, 0}};
    EXPECT_TRUE(IsInfoBoxMessage(&enter));
    Pump();
    EXPECT_FALSE(IsWindow(box));
    EXPECT_EQ(nullptr, g_app.infoBox);

    // Closed, the next alert opens a box again.
    ShowPendingAlert(IDS_ALERT_RECEIVED);
    ASSERT_NE(nullptr, g_app.infoBox);
    SendMessageA(GetDlgItem(g_app.infoBox, IDOK), BM_CLICK, 0, 0);
    Pump();
    EXPECT_EQ(nullptr, g_app.infoBox);
}

TEST_F(DialogsTest, ScannerReadyBoxShowsTheCommentAndClosesOnNull)
{
    MessageListEntry entry;
    ClearListEntry(&entry, 0);
    std::strcpy(entry.Comment, "Contract for J. Smith");
    ShowScannerReadyBox(&entry);
    HWND box = g_app.scannerBox;
    ASSERT_NE(nullptr, box);
    Pump();
    EXPECT_TRUE(IsWindowVisible(box));
    EXPECT_EQ("Ready to scan document", ItemText(box, IDC_TEXT));
    EXPECT_EQ("Contract for J. Smith", ItemText(box, IDC_SCANREADY_TEXT));

    std::strcpy(entry.Comment, "Invoice 42");
    ShowScannerReadyBox(&entry);
    EXPECT_EQ(box, g_app.scannerBox);
    EXPECT_EQ("Invoice 42", ItemText(box, IDC_SCANREADY_TEXT));

    ShowScannerReadyBox(nullptr);
    Pump();
    EXPECT_FALSE(IsWindow(box));
    EXPECT_EQ(nullptr, g_app.scannerBox);
    ShowScannerReadyBox(nullptr); // nothing open: nothing happens
}

// A window with three edit fields: an ordinary one, the field error
// boxes' 512 and the file dialogs' file-name field 1152.
class FocusTest : public DialogsTest {
protected:
    enum { FIRST_ID = 100, FIELD_ID = 512, FILE_NAME_ID = 1152 };
    void SetUp() override
    {
        DialogsTest::SetUp();
        window = CreateWindowA("STATIC", "Focus test", WS_POPUP | WS_VISIBLE, 10, 10, 300, 120, nullptr, nullptr,
                               g_app.instance, nullptr);
        ASSERT_NE(nullptr, window);
        int y = 5;
        for (int id : {FIRST_ID, FIELD_ID, FILE_NAME_ID}) {
            CreateWindowA("EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 5, y, 200, 24, window,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), g_app.instance, nullptr);
            y += 30;
        }
        first = GetDlgItem(window, FIRST_ID);
        SetForegroundWindow(window);
        SetFocus(first);
        Pump();
        ASSERT_EQ(first, GetFocus());
    }
    void TearDown() override
    {
        DestroyWindow(window);
        DialogsTest::TearDown();
    }
    HWND window = nullptr;
    HWND first = nullptr;
};

// What happens to the focus window while the box is open; the same timer
// then ends the box.
enum class WhileOpen { Nothing, Disable, Destroy };
WhileOpen s_whileOpen;
HWND s_focusWindow;

BOOL CALLBACK EndBox(HWND w, LPARAM)
{
    char cls[16] = "";
    GetClassNameA(w, cls, sizeof cls);
    if (std::strcmp(cls, "#32770") != 0 || !IsWindowVisible(w))
        return TRUE;
    PostMessageA(w, WM_COMMAND, IDOK, 0);
    return FALSE;
}

void CALLBACK DuringBox(HWND, UINT, UINT_PTR timer, DWORD)
{
    if (EnumThreadWindows(GetCurrentThreadId(), EndBox, 0))
        return; // no box yet
    KillTimer(nullptr, timer);
    if (s_whileOpen == WhileOpen::Disable)
        EnableWindow(s_focusWindow, FALSE);
    else if (s_whileOpen == WhileOpen::Destroy)
        DestroyWindow(s_focusWindow);
}

TEST_F(FocusTest, MessageBoxGivesTheFocusBackOnlyToAWindowStillUsable)
{
    const struct {
        WhileOpen what;
        bool back;
    } cases[] = {{WhileOpen::Nothing, true}, {WhileOpen::Disable, false}, {WhileOpen::Destroy, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.what));
        HWND edit = CreateWindowA("EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 210, 5, 80, 24, window, nullptr,
                                  g_app.instance, nullptr);
        SetFocus(edit);
        ASSERT_EQ(edit, GetFocus());
        s_whileOpen = c.what;
        s_focusWindow = edit;
        ASSERT_NE(0u, SetTimer(nullptr, 0, 20, DuringBox));
        EXPECT_EQ(IDOK, ShowMessageBox(window, "Disk full", nullptr, MB_OK));
        Pump();
        EXPECT_EQ(c.back, GetFocus() == edit);
        if (IsWindow(edit))
            DestroyWindow(edit);
    }
}

TEST_F(FocusTest, FieldErrorBoxesSendTheFocusToTheField)
{
    gui::MessageBoxGuard boxes(Pid());
    boxes.Expect(gui::BoxSpec().Caption("Tavrine").Text("Cannot find file: NOTE.TXT").Press(IDOK).Times(2));
    FieldErrorBox(window, IDS_CANNOT_FIND_FILE, "note.txt");
    EXPECT_EQ(GetDlgItem(window, FIELD_ID), GetFocus());
    SetFocus(first);
    FileDlgErrorBox(window, IDS_CANNOT_FIND_FILE, "note.txt");
    EXPECT_EQ(GetDlgItem(window, FILE_NAME_ID), GetFocus());
    boxes.Finish();
}

TEST_F(DialogsTest, HelpersClearSelectionsKeepScrollBarsUpperCaseFieldsAndStartCopies)
{
    HWND list = CreateWindowA("LISTBOX", "", WS_POPUP | LBS_EXTENDEDSEL, 0, 0, 100, 100, nullptr, nullptr,
                              g_app.instance, nullptr);
    ASSERT_NE(nullptr, list);
    for (const char *item : {"a", "b", "c", "d", "e"})
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    for (int i : {1, 3, 4})
        SendMessageA(list, LB_SETSEL, TRUE, i);
    ASSERT_EQ(3, SendMessageA(list, LB_GETSELCOUNT, 0, 0));
    ClearListSelection(list);
    EXPECT_EQ(0, SendMessageA(list, LB_GETSELCOUNT, 0, 0));
    ClearListSelection(list);
    DestroyWindow(list);

    // After a rebuild with redraw off the scroll bar shows the list as it is.
    HWND rows = CreateWindowA("LISTBOX", "", WS_POPUP | WS_VISIBLE | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 0, 0, 100,
                              100, nullptr, nullptr, g_app.instance, nullptr);
    ASSERT_NE(nullptr, rows);
    StopRedraw(rows);
    for (int i = 0; i < 40; ++i)
        SendMessageA(rows, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("row"));
    SendMessageA(rows, LB_SETTOPINDEX, 12, 0);
    ResumeRedraw(rows);
    int low = -1, high = -1;
    GetScrollRange(rows, SB_VERT, &low, &high);
    EXPECT_EQ(0, low);
    EXPECT_GT(high, 12);
    EXPECT_EQ(12, GetScrollPos(rows, SB_VERT));
    EXPECT_EQ(12, SendMessageA(rows, LB_GETTOPINDEX, 0, 0));
    DestroyWindow(rows);

    // The box shows the text in capitals; the caller's text is left alone.
    gui::MessageBoxGuard boxes(Pid());
    boxes.Expect(gui::BoxSpec().Caption("Tavrine").Text("Cannot access file: C:\\FAX\\PAGE1.TIF").Press(IDOK));
    char field[] = "c:\\fax\\page1.tif";
    FieldErrorBox(nullptr, IDS_CANNOT_ACCESS_FILE, field);
    EXPECT_STREQ("c:\\fax\\page1.tif", field);
    boxes.Finish();

    EXPECT_EQ(0, RunProgramInstance(std::string(269, 'a').c_str()));
    EXPECT_EQ(1, RunProgramInstance("--gtest_filter=NoSuchSuite.NoSuchTest"));
}

} // namespace
