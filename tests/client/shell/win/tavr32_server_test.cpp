// The client beside the real server managers of one prefix: a fax that
// QUEUEMAN lists in the user's T-IN appears in the NEW list, and the
// server's orderly stop takes the client offline.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "server/runtime/mailslot.h"
#include "tests/support/gui/guidriver.h"
#include "tests/support/installation.h"
#include "tests/support/process.h"
#include "tests/support/testfiles.h"
#include "tests/support/waitfor.h"

namespace gui = tvtest::gui;

namespace {

class Tavr32ServerTest : public ::testing::Test {
protected:
    Tavr32ServerTest()
        : inst_(tvtest::InstallationSpec()
                    .User("JSMITH")
                    .Setup("WORKSTATION", {"CheckNewTimer: 1", "CheckIdleNewTimer: 1", "CheckWaitingTimer: 1",
                                           "CheckIdleWaitingTimer: 1", "CheckServerTimer: 1"}),
                "cs")
    {
        const std::string profile = "[TAVRINE]\r\nType: UserProfile\r\nRevision: A\r\n\r\n[OPTIONS]\r\nWindow: IN\r\n";
        EXPECT_TRUE(WriteWholeFile(inst_.SystemArea() + "T-DB\\USER.INI", profile));
        EXPECT_TRUE(WriteWholeFile(inst_.UserDir("JSMITH") + "T-DB\\USER.INI", profile));
    }

    void Send(const std::vector<std::string> &args)
    {
        std::vector<std::string> all = {"send"};
        all.insert(all.end(), args.begin(), args.end());
        tvtest::RunResult r = tvtest::Run(inst_.Program(TVPACKET_EXE, all), 30000);
        ASSERT_EQ(r.code, 0) << r;
    }

    tvtest::Installation inst_;
};

TEST_F(Tavr32ServerTest, FollowsWhatTheServerDoes)
{
    // The managers first: QUEUEMAN makes the account's directory files,
    // SYSMAN holds the request area's lock and writes its marker.
    tvtest::Process queueman(inst_.Program(QUEUEMAN_EXE));
    ASSERT_TRUE(tvtest::WaitFor(30000, [] { return MsgQueueExists("QUEUEMAN"); })) << queueman.Result();
    tvtest::Process sysman(inst_.Program(SYSMAN_EXE));
    ASSERT_TRUE(tvtest::WaitFor(30000, [] { return MsgQueueExists("SYSMAN"); })) << sysman.Result();
    const std::string in = inst_.UserDir("JSMITH") + "T-IN\\";
    ASSERT_TRUE(tvtest::WaitFor(15000, [&] { return !ReadWholeFile(in + "MSGDIR.CTL").empty(); }));
    ASSERT_TRUE(tvtest::WaitFor(15000, [&] {
        return GetFileAttributesA((inst_.RequestArea() + "SERVER.OK").c_str()) != INVALID_FILE_ATTRIBUTES;
    }));

    tvtest::Process app(
        inst_.Program(TAVR32_EXE, {"/Q"}).Env("TAVRINE_TEST_QUERY", "1").Env("TAVRINE_NO_WINHELP", "1"));
    gui::MessageBoxGuard boxes(app.Id());
    gui::Reply<HWND> main = gui::WaitTopWindow(app.Id(), gui::WindowSpec().Class("Tavr"), gui::kStartMs);
    ASSERT_TRUE(main.Ok());
    ASSERT_TRUE(gui::WaitTestValue(main.value, "AppState", "1", gui::kStartMs));
    EXPECT_EQ("1", gui::TestValue(main.value, "ServerRunning"));
    HWND list = gui::Child(main.value, 1120).value;
    ASSERT_TRUE(list);
    EXPECT_EQ(0, gui::ListCount(list));

    // A modem controller announces a received fax: QUEUEMAN lists it in
    // JSMITH's T-IN and stamps the file; the client shows it.
    Send({"QUEUEMAN", "REGISTER", "device=FCLASS", "number=2", "queue=FCLASS\\2", "tag=1", "send=1", "print=0"});
    ASSERT_TRUE(WriteWholeFile(in + "RECD0001.CTL",
                               "[TAVRINE]\r\nType: ReceiveControl\r\nRevision: A\r\n\r\n[DOCUMENT]\r\n"
                               "File: RECD0001.G3F\r\nComment: From: 5550101\r\n[MESSAGE]\r\nAssocFile:\r\n"
                               "Format: TIFF-FINE\r\nAccepted: 26-12-10 09:41:00\r\nType: RECEIVE\r\nStatus: OK\r\n"
                               "UserStatus: Wa\r\nFrom: FAX-FINE '5550101'\r\n"));
    Send({"QUEUEMAN", "NEW-MESSAGE", "device=FCLASS", "number=2", "user=JSMITH", "file=RECD0001.CTL"});
    EXPECT_TRUE(tvtest::WaitFor(30000, [&] { return gui::ListCount(list) == 1; }))
        << ReadWholeFile(in + "MSGDIR.CTL");

    // The server stops in order: lock and marker go, the client is offline.
    Send({"SYSMAN", "99/0", "timeout=3"});
    EXPECT_TRUE(tvtest::WaitFor(30000, [&] { return gui::Text(main.value) == "Tavrine: Offline"; }))
        << gui::Text(main.value);
    EXPECT_EQ((gui::MenuItemState{true, false}), gui::MenuState(main.value, 1101));

    ASSERT_TRUE(gui::Close(main.value));
    tvtest::RunResult r = app.Wait(30000);
    EXPECT_EQ(0, r.code) << r;
    boxes.Finish();
    sysman.Wait(30000);
    queueman.Wait(30000);
}

} // namespace
