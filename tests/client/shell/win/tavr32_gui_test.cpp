// The client program driven as a user's desktop would: started on a fixture
// installation, its windows found and read, its lists watched while files
// change, the server's lock taken away and given back, a second start, a
// held user lock, and what it leaves in TAVRINE.INI and USER.INI at the end.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/client/shell/win/tavr32_fixture.h"
#include "tests/support/gui/guidriver.h"
#include "tests/support/process.h"
#include "tests/support/testfiles.h"
#include "tests/support/waitfor.h"

namespace gui = tvtest::gui;

namespace {

using tavr32::ReceiveEntry;
using tavr32::ServerStamp;
using tavr32::MainWindow;
using tavr32::Tavr32Test;

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
    EXPECT_TRUE(ServerStamp(newDir_));
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
    ASSERT_TRUE(server_.Start());
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
