// The fixture installation the client program's tests run on: one account
// (JSMITH) with messages in NEW and WAITING, a picture for FILED, quick
// periodic checks, and a stand-in for the server's presence.
//
//   tavr32::ClientInstallation fix("pt", tavr32::kReceiveHeader + tavr32::ReceiveEntry(...));
//   fix.server.Start();
//   tvtest::Process app(fix.Client());
//
// Tavr32Test wraps it as a gtest fixture with the default NEW list and the
// helpers that find and close the client's main window.
#ifndef TAVRINE_TESTS_CLIENT_SHELL_WIN_TAVR32_FIXTURE_H
#define TAVRINE_TESTS_CLIENT_SHELL_WIN_TAVR32_FIXTURE_H

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/gui/guidriver.h"
#include "tests/support/installation.h"
#include "tests/support/process.h"
#include "tests/support/testfiles.h"

namespace tavr32 {

const char kReceiveHeader[] = "[TAVRINE]\r\nType: ReceiveDir\r\nRevision: A\r\n";
const char kSendHeader[] = "[TAVRINE]\r\nType: SendDir\r\nRevision: A\r\n";

// A received message; userStatus "OK" once the user has opened it.
inline std::string ReceiveEntry(const std::string &name, const std::string &comment, const std::string &status,
                                const std::string &userStatus = "Wa")
{
    return "\r\n[DOCUMENT]\r\nFile: " + name + "\r\nComment: " + comment +
           "\r\n[MESSAGE]\r\nFormat: G3N\r\nAccepted: 26-12-10 09:15:00\r\nType: RECEIVE\r\nStatus: " + status +
           "\r\nUserStatus: " + userStatus + "\r\n";
}

inline std::string SendEntry(const std::string &name, const std::string &comment, const std::string &status)
{
    return "\r\n[DOCUMENT]\r\nFile: " + name + "\r\nComment: " + comment + "\r\n[MESSAGE]\r\nAssocFile: " +
           name + "\r\nAccepted: 26-12-10 09:20:00\r\nType: SEND\r\nStatus: " + status + "\r\nUserStatus: Wa\r\n";
}

// Stamps a directory file as the server does after a change: the last
// whole or half hour, UTC, seconds 0. False when the file cannot be stamped.
inline bool ServerStamp(const std::string &path)
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULONGLONG t = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    const ULONGLONG halfHour = 30ULL * 60 * 10000000;
    t -= t % halfHour;
    FILETIME ft = {static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
    HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = SetFileTime(h, nullptr, nullptr, &ft) != FALSE;
    CloseHandle(h);
    return ok;
}

// The server's presence as the client tests it: its lock held with write
// access, and the marker beside it.
class FakeServer {
public:
    explicit FakeServer(const std::string &requestArea) : area_(requestArea) {}
    ~FakeServer() { Stop(); }
    FakeServer(const FakeServer &) = delete;
    FakeServer &operator=(const FakeServer &) = delete;

    // False when the lock or the marker cannot be made.
    bool Start()
    {
        if (lock_ == INVALID_HANDLE_VALUE)
            lock_ = CreateFileA((area_ + "TAVRINE.LOK").c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, OPEN_ALWAYS, 0, nullptr);
        return lock_ != INVALID_HANDLE_VALUE && WriteWholeFile(area_ + "SERVER.OK", "OK\r\n");
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

// NEW as most tests want it: two received messages, not yet opened.
inline std::string DefaultNewList()
{
    return std::string(kReceiveHeader) + ReceiveEntry("RECD0001.G3N", "Quarterly figures", "OK") +
           ReceiveEntry("RECD0002.G3N", "Price list", "OK");
}

// The installation: JSMITH's profile (NEW current), the NEW file given, one
// waiting message, a picture in the FILED folder, checks every tick. The
// server is not started: Start() it. problem is empty when everything was
// written.
class ClientInstallation {
public:
    ClientInstallation(const char *tag, const std::string &newList)
        : inst_(tvtest::InstallationSpec()
                    .User("JSMITH")
                    .Setup("WORKSTATION", {"CheckNewTimer: 1", "CheckIdleNewTimer: 1", "CheckWaitingTimer: 1",
                                           "CheckIdleWaitingTimer: 1", "CheckServerTimer: 1"}),
                tag),
          server_(inst_.RequestArea())
    {
        const std::string user = inst_.UserDir("JSMITH");
        userIni_ = user + "T-DB\\USER.INI";
        newDir_ = user + "T-IN\\MSGDIR.CTL";
        struct File {
            std::string path, text;
        };
        const File files[] = {
            {inst_.SystemArea() + "T-DB\\USER.INI",
             "[TAVRINE]\r\nType: UserProfile\r\nRevision: A\r\n\r\n[OPTIONS]\r\nPriority: NORMAL\r\nQuality: HIGH\r\n"},
            {userIni_, "[TAVRINE]\r\nType: UserProfile\r\nRevision: A\r\n\r\n[RECIPIENTS]\r\nEntry1: \"Head office\"\r\n"
                       "\r\n[OPTIONS]\r\nFrom: John Smith\r\nDirectory: " +
                           user + "T-GRAPH\\\r\nMatch: *.TIF\r\nWindow: IN\r\n\r\n[PRIVATE]\r\nKeep: this line\r\n"},
            {newDir_, newList},
            {user + "T-OUT\\MSGDIR.CTL", std::string(kSendHeader) + SendEntry("SEND0001.G3N", "To the bank", "Wa")},
            {user + "T-GRAPH\\LETTER.TIF", std::string("II*\0", 4)},
        };
        for (const File &f : files)
            if (!WriteWholeFile(f.path, f.text))
                problem_ += "cannot write " + f.path + "\n";
        if (!ServerStamp(newDir_))
            problem_ += "cannot stamp " + newDir_ + "\n";
    }

    // The client on this installation, its help requests logged instead of
    // shown, answering the test query.
    tvtest::Command Client(const std::string &program, const std::vector<std::string> &args = {}) const
    {
        return inst_.Program(program, args).Env("TAVRINE_TEST_QUERY", "1").Env("TAVRINE_NO_WINHELP", "1");
    }

    // The client's error log (help requests included); empty while there is none.
    std::string ClientLog() const { return ReadWholeFile(inst_.LogArea() + "TAVRINE.LOG"); }

    const std::string &Problem() const { return problem_; }

protected:
    tvtest::Installation inst_;
    FakeServer server_;
    std::string userIni_, newDir_, problem_;
};

// The main window once the lists are shown.
inline tvtest::gui::Reply<HWND> MainWindow(tvtest::Process &app)
{
    namespace gui = tvtest::gui;
    gui::Reply<HWND> main = gui::WaitTopWindow(app.Id(), gui::WindowSpec().Class("Tavr"), gui::kStartMs);
    if (main.ok()) {
        testing::AssertionResult running = gui::WaitTestValue(main.value, "AppState", "1", gui::kStartMs);
        if (!running)
            main.error = running.message();
    }
    return main;
}

#ifdef TAVR32_EXE
// The gtest fixture: the installation with the default NEW list and the
// server up.
class Tavr32Test : public ::testing::Test, protected ClientInstallation {
protected:
    Tavr32Test() : ClientInstallation("cl", DefaultNewList())
    {
        EXPECT_EQ("", Problem());
        EXPECT_TRUE(server_.Start());
    }

    tvtest::Command Client(const std::vector<std::string> &args = {}) const
    {
        return ClientInstallation::Client(TAVR32_EXE, args);
    }

    // Closes the client as the user does and waits for its end.
    void CloseClient(tvtest::Process &app, HWND main)
    {
        ASSERT_TRUE(tvtest::gui::Close(main));
        tvtest::RunResult r = app.Wait(30000);
        EXPECT_EQ(0, r.code) << r;
    }
};
#endif

} // namespace tavr32

#endif
