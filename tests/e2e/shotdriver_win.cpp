// Puts the client's windows on the screen one after the other for
// screenshots: the main window of a running client, its About box, and the
// welcome window, information box and login dialog made from the client's
// own dialog code and resources.
//
//   shotdriver.exe <TAVR32.EXE> <folder> [main-only]
//
// For each window it prints "shot <name> <X window id>" and waits until
// the file <folder>\<name>.done exists (the script that reads the line has
// taken the picture). TFAXINIT names the installation. Exit code 0 when
// every window came, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "client/shell/app_win.h"
#include "client/shell/dialogs_win.h"

TvApp g_app;

namespace {

const DWORD kStartMs = 90000;
const DWORD kWindowMs = 20000;
const DWORD kShotMs = 60000;

std::string s_folder;

bool WaitUntil(DWORD ms, bool (*done)(void *), void *arg)
{
    DWORD start = GetTickCount();
    while (!done(arg)) {
        if (GetTickCount() - start > ms)
            return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(50);
    }
    return true;
}

bool FileThere(void *path) { return GetFileAttributesA(static_cast<const char *>(path)) != INVALID_FILE_ATTRIBUTES; }

// Asks for the picture of window and waits until it was taken.
bool Shot(const char *name, HWND window)
{
    UpdateWindow(window);
    HANDLE xid = GetPropA(window, "__wine_x11_whole_window");
    std::printf("shot %s 0x%lx\n", name, static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(xid)));
    std::fflush(stdout);
    std::string done = s_folder + "\\" + name + ".done";
    if (!WaitUntil(kShotMs, FileThere, const_cast<char *>(done.c_str()))) {
        std::fprintf(stderr, "shotdriver: no picture of %s\n", name);
        return false;
    }
    return true;
}

struct Find {
    DWORD pid;
    const char *className;
    const char *caption;
    HWND found;
};

BOOL CALLBACK FindTop(HWND hwnd, LPARAM lParam)
{
    Find *f = reinterpret_cast<Find *>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    char cls[64], text[128];
    GetClassNameA(hwnd, cls, sizeof cls);
    GetWindowTextA(hwnd, text, sizeof text);
    if (pid == f->pid && IsWindowVisible(hwnd) && lstrcmpiA(cls, f->className) == 0 &&
        (!f->caption || std::strcmp(text, f->caption) == 0)) {
        f->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

bool Found(void *arg)
{
    Find *f = static_cast<Find *>(arg);
    f->found = nullptr;
    EnumWindows(FindTop, reinterpret_cast<LPARAM>(f));
    return f->found != nullptr;
}

HWND WaitWindow(DWORD pid, const char *className, const char *caption, DWORD ms)
{
    Find f = {pid, className, caption, nullptr};
    if (!WaitUntil(ms, Found, &f)) {
        std::fprintf(stderr, "shotdriver: no window of class %s%s%s\n", className, caption ? " named " : "",
                     caption ? caption : "");
        return nullptr;
    }
    return f.found;
}

// The client's lists are filled and the welcome window is gone.
bool ClientReady(void *arg)
{
    HWND main = static_cast<HWND>(arg);
    HWND messages = FindWindowExA(main, nullptr, "TavrLog", "Messages");
    HWND in = messages ? GetDlgItem(messages, 1120) : nullptr;
    Find welcome = {0, "#32770", nullptr, nullptr};
    GetWindowThreadProcessId(main, &welcome.pid);
    bool welcomeShown = false;
    for (HWND w = GetWindow(GetDesktopWindow(), GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        char cls[16];
        GetClassNameA(w, cls, sizeof cls);
        if (pid == welcome.pid && IsWindowVisible(w) && GetWindow(w, GW_OWNER) == main &&
            std::strcmp(cls, "#32770") == 0)
            welcomeShown = true;
    }
    return in && SendMessageA(in, LB_GETCOUNT, 0, 0) > 0 && !welcomeShown;
}

DWORD WINAPI LoginThread(LPVOID)
{
    RunLoginDialog(nullptr);
    return 0;
}

bool ClientShots(const char *program, bool mainOnly)
{
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string cmd = std::string("\"") + program + "\"";
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::fprintf(stderr, "shotdriver: cannot start %s (%lu)\n", program, GetLastError());
        return false;
    }
    bool ok = false;
    HWND main = WaitWindow(pi.dwProcessId, "Tavr", nullptr, kStartMs);
    if (main && WaitUntil(kStartMs, ClientReady, main)) {
        // The client has handled everything queued so far (the repaint of
        // what the welcome window covered included).
        DWORD_PTR answer = 0;
        SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer);
        Sleep(300);
        ok = Shot("main", main);
        if (ok && !mainOnly) {
            PostMessageA(main, WM_COMMAND, 1190, 0);
            HWND about = WaitWindow(pi.dwProcessId, "#32770", "About Tavrine", kWindowMs);
            ok = about && Shot("about", about);
            if (about)
                PostMessageA(about, WM_COMMAND, IDOK, 0);
        }
    } else {
        std::fprintf(stderr, "shotdriver: the client showed no filled NEW list\n");
    }
    if (main) {
        PostMessageA(main, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0)
            TerminateProcess(pi.hProcess, 1);
    } else {
        TerminateProcess(pi.hProcess, 1);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return ok;
}

bool OwnShots(void)
{
    bool ok = true;
    HWND welcome = CreateWelcomeWindow(nullptr);
    ok = welcome && Shot("welcome", welcome) && ok;
    DestroyWelcomeWindow();

    ShowPendingAlert(96);
    ok = g_app.infoBox && Shot("infobox", g_app.infoBox) && ok;
    if (g_app.infoBox)
        DestroyWindow(g_app.infoBox);

    HANDLE thread = CreateThread(nullptr, 0, LoginThread, nullptr, 0, nullptr);
    HWND login = WaitWindow(GetCurrentProcessId(), "#32770", "Tavrine login", kWindowMs);
    ok = login && Shot("login", login) && ok;
    if (login)
        PostMessageA(login, WM_COMMAND, IDCANCEL, 0);
    if (thread) {
        WaitForSingleObject(thread, 10000);
        CloseHandle(thread);
    }
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: shotdriver <TAVR32.EXE> <folder> [main-only]\n");
        return 2;
    }
    s_folder = argv[2];
    const bool mainOnly = argc > 3 && std::strcmp(argv[3], "main-only") == 0;
    g_app.instance = GetModuleHandleA(nullptr);
    bool ok = ClientShots(argv[1], mainOnly);
    if (!mainOnly)
        ok = OwnShots() && ok;
    return ok ? 0 : 1;
}
