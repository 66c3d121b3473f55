// The client program driven as a user's desktop would: started on a fixture
// installation, its windows found and read, its lists watched while files
// change, the server's lock taken away and given back, a second start, a
// held user lock, and what it leaves in TAVRINE.INI and USER.INI at the end.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/gui/guidriver.h"
#include "tests/support/installation.h"
#include "tests/support/process.h"
#include "tests/support/testfiles.h"
#include "tests/support/waitfor.h"

namespace gui = tvtest::gui;

namespace {

const char kReceiveHeader[] = "[TAVRINE]\r\nType: ReceiveDir\r\nRevision: A\r\n";
const char kSendHeader[] = "[TAVRINE]\r\nType: SendDir\r\nRevision: A\r\n";

std::string ReceiveEntry(const std::string &name, const std::string &comment, const std::string &status)
{
    return "\r\n[DOCUMENT]\r\nFile: " + name + "\r\nComment: " + comment +
           "\r\n[MESSAGE]\r\nFormat: G3N\r\nAccepted: 26-12-10 09:15:00\r\nType: RECEIVE\r\nStatus: " + status +
           "\r\nUserStatus: Wa\r\n";
}

std::string SendEntry(const std::string &name, const std::string &comment, const std::string &status)
{
    return "\r\n[DOCUMENT]\r\nFile: " + name + "\r\nComment: " + comment + "\r\n[MESSAGE]\r\nAssocFile: " +
           name + "\r\nAccepted: 26-12-10 09:20:00\r\nType: SEND\r\nStatus: " + status + "\r\nUserStatus: Wa\r\n";
}

// Stamps a directory file as the server does after a change: the last
// whole or half hour, UTC, seconds 0.
void ServerStamp(const std::string &path)
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULONGLONG t = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    const ULONGLONG halfHour = 30ULL * 60 * 10000000;
    t -= t % halfHour;
    FILETIME ft = {static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
    HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &ft));
    CloseHandle(h);
}

// The server's presence as the client tests it: its lock held with write
// access, and the marker beside it.
class FakeServer {
public:
    explicit FakeServer(const std::string &requestArea) : area_(requestArea) {}
    ~FakeServer() { Stop(); }
    void Start()
    {
        lock_ = CreateFileA((area_ + "TAVRINE.LOK").c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                            nullptr, OPEN_ALWAYS, 0, nullptr);
        ASSERT_NE(lock_, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(WriteWholeFile(area_ + "SERVER.OK", "OK\r\n"));
    }
    // Gone without tidying up: the marker stays, the lock is free.
    void Crash()
    {
        if (lock_ != INVALID_HANDLE_VALUE)
            CloseHandle(lock_);
        lock_ = INVALID_HANDLE_VALUE;
    }
    void Stop()
    {
        Crash();
        DeleteFileA((area_ + "SERVER.OK").c_str());
    }

private:
    std::string area_;
    HANDLE lock_ = INVALID_HANDLE_VALUE;
};

class Tavr32Test : public ::testing::Test {
protected:
    Tavr32Test()
        : inst_(tvtest::InstallationSpec()
                    .User("JSMITH")
                    .Setup("WORKSTATION", {"CheckNewTimer: 1", "CheckIdleNewTimer: 1", "CheckWaitingTimer: 1",
                                           "CheckIdleWaitingTimer: 1", "CheckServerTimer: 1"}),
                "cl"),
          server_(inst_.RequestArea())
    {
        const std::string user = inst_.UserDir("JSMITH");
        userIni_ = user + "T-DB\\USER.INI";
        EXPECT_TRUE(WriteWholeFile(inst_.SystemArea() + "T-DB\\USER.INI",
                                           "[TAVRINE]\r\nType: UserProfile\r\nRevision: A\r\n\r\n[OPTIONS]\r\n"
                                           "Priority: NORMAL\r\nQuality: HIGH\r\n"));
        EXPECT_TRUE(WriteWholeFile(
            userIni_, "[TAVRINE]\r\nType: UserProfile\r\nRevision: A\r\n\r\n[RECIPIENTS]\r\nEntry1: \"Head office\"\r\n"
                      "\r\n[OPTIONS]\r\nFrom: John Smith\r\nDirectory: " +
                          user + "T-GRAPH\\\r\nMatch: *.TIF\r\nWindow: IN\r\n\r\n[PRIVATE]\r\nKeep: this line\r\n"));
        newDir_ = user + "T-IN\\MSGDIR.CTL";
        EXPECT_TRUE(WriteWholeFile(newDir_, std::string(kReceiveHeader) +
                                                        ReceiveEntry("RECD0001.G3N", "Quarterly figures", "OK") +
                                                        ReceiveEntry("RECD0002.G3N", "Price list", "OK")));
        EXPECT_TRUE(WriteWholeFile(user + "T-OUT\\MSGDIR.CTL",
                                           std::string(kSendHeader) + SendEntry("SEND0001.G3N", "To the bank", "Wa")));
        EXPECT_TRUE(WriteWholeFile(user + "T-GRAPH\\LETTER.TIF", "II*\0"));
        ServerStamp(newDir_);
        server_.Start();
    }

    tvtest::Command Client(const std::vector<std::string> &args = {}) const
    {
        return inst_.Program(TAVR32_EXE, args).Env("TAVRINE_TEST_QUERY", "1").Env("TAVRINE_NO_WINHELP", "1");
    }

    // The main window once the lists are shown.
    gui::Reply<HWND> MainWindow(tvtest::Process &app)
    {
        gui::Reply<HWND> main = gui::WaitTopWindow(app.Id(), gui::WindowSpec().Class("Tavr"), gui::kStartMs);
        if (main.ok()) {
            testing::AssertionResult running = gui::WaitTestValue(main.value, "AppState", "1", gui::kStartMs);
            if (!running)
                main.error = running.message();
        }
        return main;
    }

    // Closes the client as the user does and waits for its end.
    void CloseClient(tvtest::Process &app, HWND main)
    {
        ASSERT_TRUE(gui::Close(main));
        tvtest::RunResult r = app.Wait(30000);
        EXPECT_EQ(0, r.code) << r;
    }

    tvtest::Installation inst_;
    FakeServer server_;
    std::string userIni_, newDir_;
};

TEST_F(Tavr32Test, ShowsTheWindowTreeAndFollowsTheStore)
{
    tvtest::Process app(Client());
    gui::MessageBoxGuard boxes(app.Id());
    gui::Reply<HWND> main = MainWindow(app);
    ASSERT_TRUE(main.Ok());
    EXPECT_EQ("Tavrine", gui::Text(main.value));

    // The window tree: panes and bars of the pane class, three list boxes.
    for (const char *name : {"Messages", "Button bar", "Status bar"}) {
        HWND w = FindWindowExA(main.value, nullptr, "TavrLog", name);
        EXPECT_TRUE(w && IsWindowVisible(w)) << name;
    }
    HWND messages = FindWindowExA(main.value, nullptr, "TavrLog", "Messages");
    ASSERT_TRUE(messages);
    HWND filed = FindWindowExA(messages, nullptr, "TavrLog", "Filed");
    ASSERT_TRUE(filed);
    HWND lists[3] = {FindWindowExA(messages, nullptr, "ListBox", "Incoming"),
                     FindWindowExA(messages, nullptr, "ListBox", "Outgoing"),
                     FindWindowExA(filed, nullptr, "ListBox", "Filed list")};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(lists[i]) << i;
        EXPECT_EQ(1120 + i, GetDlgCtrlID(lists[i]));
        // Owner-drawn fixed, sorted, extended selection, no strings; the
        // scroll bar comes and goes with the items.
        EXPECT_EQ(0x50000813u, static_cast<unsigned>(GetWindowLongA(lists[i], GWL_STYLE)) & ~WS_VSCROLL);
    }
    HWND bar = FindWindowExA(main.value, nullptr, "TavrLog", "Button bar");
    for (int id : {110, 111, 116, 101, 118, 112, 113, 115, 117, 114, 109})
        EXPECT_TRUE(GetDlgItem(bar, id)) << "tool button " << id;

    // The lists from the fixture store; NEW is current (USER.INI Window: IN).
    EXPECT_TRUE(tvtest::WaitFor(10000, [&] { return gui::ListCount(lists[0]) == 2; }));
    EXPECT_TRUE(tvtest::WaitFor(10000, [&] { return gui::ListCount(lists[1]) == 1; }));
    EXPECT_TRUE(tvtest::WaitFor(10000, [&] { return gui::ListCount(lists[2]) == 1; }));
    EXPECT_EQ("1120", gui::TestValue(main.value, "CurrentList"));
    EXPECT_EQ((gui::MenuItemState{false, true}), gui::MenuState(main.value, 1120));

    // The welcome window goes with the first tick.
    EXPECT_TRUE(gui::WaitTestValue(main.value, "Welcome", "0", 15000));

    // A message the server adds appears within a few ticks.
    std::string file = ReadWholeFile(newDir_) + ReceiveEntry("RECD0003.G3N", "Late arrival", "Re");
    ASSERT_TRUE(WriteWholeFile(newDir_, file));
    ServerStamp(newDir_);
    EXPECT_TRUE(tvtest::WaitFor(15000, [&] { return gui::ListCount(lists[0]) == 3; }))
        << "NEW has " << gui::ListCount(lists[0]);

    // The server goes away: offline title, server commands greyed.
    server_.Stop();
    EXPECT_TRUE(tvtest::WaitFor(15000, [&] { return gui::Text(main.value) == "Tavrine: Offline"; }))
        << gui::Text(main.value);
    EXPECT_EQ("0", gui::TestValue(main.value, "ServerRunning"));
    EXPECT_EQ((gui::MenuItemState{true, false}), gui::MenuState(main.value, 1101));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(bar, 110))) << "the Send button is greyed";
    EXPECT_EQ((gui::MenuItemState{false, false}), gui::MenuState(main.value, 1210)) << "Reconnect stays usable";

    // ...and comes back.
    server_.Start();
    EXPECT_TRUE(tvtest::WaitFor(15000, [&] { return gui::Text(main.value) == "Tavrine"; }))
        << gui::Text(main.value);
    EXPECT_EQ((gui::MenuItemState{false, false}), gui::MenuState(main.value, 1101));

    CloseClient(app, main.value);
    boxes.Finish();
}

TEST_F(Tavr32Test, ASecondStartBringsTheFirstForward)
{
    tvtest::Process first(Client({"/Q"}));
    gui::MessageBoxGuard boxes(first.Id());
    gui::Reply<HWND> main = MainWindow(first);
    ASSERT_TRUE(main.Ok());
    EXPECT_EQ("0", gui::TestValue(main.value, "Welcome")) << "/Q starts without the welcome window";

    tvtest::Process second(Client());
    tvtest::RunResult r = second.Wait(60000);
    EXPECT_EQ(0, r.code) << r;
    EXPECT_TRUE(first.Running());
    CloseClient(first, main.value);
    boxes.Finish();
}

TEST_F(Tavr32Test, AHeldUserLockEndsTheStart)
{
    HANDLE lock = CreateFileA((inst_.UserDir("JSMITH") + "T-DB\\TAVRINE.LOK").c_str(), GENERIC_READ | GENERIC_WRITE,
                              0, nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    const std::string before = ReadWholeFile(userIni_);
    {
        tvtest::Process app(Client());
        gui::MessageBoxGuard boxes(app.Id());
        boxes.Expect(gui::BoxSpec().Caption("Tavrine").Text("User JSMITH is already logged on"));
        tvtest::RunResult r = app.Wait(90000);
        EXPECT_EQ(0, r.code) << r;
        boxes.Finish();
    }
    CloseHandle(lock);
    EXPECT_EQ(before, ReadWholeFile(userIni_)) << "a failed start writes no settings";
    EXPECT_EQ(std::string::npos, ReadWholeFile(inst_.SystemArea() + "TAVRINE.INI").find("Window:"));
}

TEST_F(Tavr32Test, PlacementAndSettingsSurviveARestart)
{
    {
        tvtest::Process app(Client({"/Q"}));
        gui::MessageBoxGuard boxes(app.Id());
        gui::Reply<HWND> main = MainWindow(app);
        ASSERT_TRUE(main.Ok());
        ASSERT_TRUE(MoveWindow(main.value, 50, 60, 500, 400, TRUE));
        ASSERT_TRUE(tvtest::WaitFor(5000, [&] {
            RECT r;
            return GetWindowRect(main.value, &r) && r.left == 50 && r.top == 60;
        }));
        CloseClient(app, main.value);
        boxes.Finish();
    }
    const std::string ini = ReadWholeFile(inst_.SystemArea() + "TAVRINE.INI");
    const std::string placement = "Window: N " + std::to_string(GetSystemMetrics(SM_CXSCREEN)) + " 50 550 " +
                                  std::to_string(GetSystemMetrics(SM_CYSCREEN)) + " 60 460";
    EXPECT_NE(std::string::npos, ini.find(placement)) << ini;

    // USER.INI: the paragraphs the client does not own are kept, [OPTIONS]
    // is written anew and goes last.
    const std::string user = ReadWholeFile(userIni_);
    size_t recipients = user.find("[RECIPIENTS]"), priv = user.find("[PRIVATE]"), options = user.find("[OPTIONS]");
    ASSERT_NE(std::string::npos, recipients) << user;
    ASSERT_NE(std::string::npos, priv) << user;
    ASSERT_NE(std::string::npos, options) << user;
    EXPECT_LT(priv, options) << user;
    EXPECT_NE(std::string::npos, user.find("Keep: this line")) << user;
    EXPECT_NE(std::string::npos, user.find("From: John Smith")) << user;
    EXPECT_NE(std::string::npos, user.find("Window: IN")) << user;

    tvtest::Process again(Client({"/Q"}));
    gui::MessageBoxGuard boxes(again.Id());
    gui::Reply<HWND> main = MainWindow(again);
    ASSERT_TRUE(main.Ok());
    RECT r;
    ASSERT_TRUE(GetWindowRect(main.value, &r));
    EXPECT_EQ(50, r.left);
    EXPECT_EQ(60, r.top);
    EXPECT_EQ(500, r.right - r.left);
    EXPECT_EQ(400, r.bottom - r.top);
    CloseClient(again, main.value);
    boxes.Finish();
}

} // namespace
