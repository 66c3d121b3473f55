// Puts the client's main window up on a fixture installation whose NEW list
// holds a failed message, an unread one and a read one, and says where its
// rows and tool buttons are, for paint_check.sh to photograph and check:
//
//   paintdriver.exe <TAVRINE.EXE> <done file>
//
// Prints, in screen coordinates (the X root's under Wine):
//   screen <width> <height>
//   row <index> <left> <top> <width> <height> <comment x>     NEW's rows 0..2
//   button <id> <bitmap base> <enabled 0/1> <left> <top> <width> <height>
//   shot <X window id>
// then waits until the done file exists and closes the client. Exit code 0
// when the window came and the client ended cleanly.
#include <windows.h>

#include <cstdio>
#include <string>

#include "client/shell/cmdline.h"
#include "client/shell/tavr32_res.h"
#include "client/shell/toolbar.h"
#include "tests/client/shell/win/tavr32_fixture.h"
#include "tests/support/gui/guidriver.h"
#include "tests/support/process.h"
#include "tests/support/waitfor.h"

namespace gui = tvtest::gui;

namespace {

const int kShotMs = 120000;
const int kRows = 3;
// A row: status bitmap, then the name (14 characters) and date (15
// characters) columns, then the comment.
const int kCommentColumnChars = 14 + 15;

class PaintFixture : public tavr32::ClientInstallation {
public:
    PaintFixture()
        : ClientInstallation("pd", std::string(tavr32::kReceiveHeader) +
                                       tavr32::ReceiveEntry("RECD0001.G3N", "Line dropped at page two", "Fa") +
                                       tavr32::ReceiveEntry("RECD0002.G3N", "Unread price list", "OK", "Wa") +
                                       tavr32::ReceiveEntry("RECD0003.G3N", "Read price list", "OK", "OK"))
    {
    }
    bool StartServer() { return server_.Start(); }
};

int Fail(const std::string &why)
{
    std::fprintf(stderr, "paintdriver: %s\n", why.c_str());
    return 1;
}

POINT ScreenOrigin(HWND hwnd)
{
    POINT p = {0, 0};
    ClientToScreen(hwnd, &p);
    return p;
}

LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam = 0)
{
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutA(hwnd, msg, wParam, 0, SMTO_NORMAL, gui::kSendMs, &r))
        return LB_ERR;
    return static_cast<LRESULT>(r);
}

void PrintRows(HWND list)
{
    LONG base = GetDialogBaseUnits();
    TvClientMetrics m = ClientMetricsFrom(LOWORD(base), HIWORD(base));
    RECT client;
    GetClientRect(list, &client);
    const POINT o = ScreenOrigin(list);
    const int height = static_cast<int>(Send(list, LB_GETITEMHEIGHT));
    const int top = static_cast<int>(Send(list, LB_GETTOPINDEX));
    for (int i = 0; i < kRows; ++i) {
        const int y = o.y + (i - top) * height;
        std::printf("row %d %ld %d %ld %d %ld\n", i, static_cast<long>(o.x), y, static_cast<long>(client.right),
                    height,
                    static_cast<long>(o.x + m.marginX + STATUS_BITMAP_WIDTH + kCommentColumnChars * m.charWidth));
    }
}

void PrintButtons(HWND bar)
{
    for (const TvToolButtonDef &d : kMainToolSet) {
        HWND button = GetDlgItem(bar, d.controlId);
        if (!button || !IsWindowVisible(button))
            continue;
        RECT r;
        GetClientRect(button, &r);
        const POINT o = ScreenOrigin(button);
        std::printf("button %d %s %d %ld %ld %ld %ld\n", d.controlId, d.bitmapBase, IsWindowEnabled(button) ? 1 : 0,
                    static_cast<long>(o.x), static_cast<long>(o.y), static_cast<long>(r.right),
                    static_cast<long>(r.bottom));
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: paintdriver <TAVRINE.EXE> <done file>\n");
        return 2;
    }
    const std::string done = argv[2];
    PaintFixture fix;
    if (!fix.Problem().empty())
        return Fail(fix.Problem());
    if (!fix.StartServer())
        return Fail("cannot take the server's lock");

    tvtest::Process app(fix.Client(argv[1], {"/Q"}));
    gui::Reply<HWND> main = tavr32::MainWindow(app);
    if (!main.ok())
        return Fail(main.error);
    HWND messages = FindWindowExA(main.value, nullptr, "TavrLog", "Messages");
    HWND bar = FindWindowExA(main.value, nullptr, "TavrLog", "Button bar");
    HWND in = messages ? GetDlgItem(messages, 1120) : nullptr;
    if (!in || !bar)
        return Fail("no NEW list or tool bar");
    if (!tvtest::WaitFor(30000, [&] { return gui::ListCount(in) == kRows; }))
        return Fail("NEW did not show the three messages");
    // Everything queued so far handled: the rows drawn.
    Send(main.value, WM_NULL);

    std::printf("screen %d %d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    PrintRows(in);
    PrintButtons(bar);
    HANDLE xid = GetPropA(main.value, "__wine_x11_whole_window");
    std::printf("shot 0x%lx\n", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(xid)));
    std::fflush(stdout);

    const bool shot = tvtest::WaitFor(kShotMs, [&] { return GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES; });
    gui::Close(main.value);
    tvtest::RunResult r = app.Wait(30000);
    if (!shot)
        return Fail("no picture was taken");
    if (r.code != 0)
        return Fail("the client ended with " + std::to_string(r.code));
    return 0;
}
