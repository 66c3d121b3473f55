// The client program with the optional libraries it binds at run time: a
// 3-D controls library that logs its calls (registered and subclassed at
// the start, told of colour changes, unregistered last at the end; absent,
// failing or lacking entry points without harm to the start), and the
// imaging and scanning libraries whose presence makes Acquire and Select
// source usable.
//
// Each test runs a copy of the program from a folder of the installation,
// with the libraries it wants beside it. Wine has libraries of the same
// names, and a WINEDLLOVERRIDES in the environment of a process started
// from a Windows process doesn't reach Wine's loader: the copy gets a name
// of its own, and the prefix's registry takes CTL3D32.DLL for it from its
// folder only (ctl3d32 native) and, where asked, takes the scanning library
// away (twain_32 disabled), while the test runs.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/client/shell/win/tavr32_fixture.h"
#include "tests/support/gui/guidriver.h"
#include "tests/support/installation.h"
#include "tests/support/process.h"
#include "tests/support/testfiles.h"
#include "tests/support/waitfor.h"

namespace gui = tvtest::gui;
using tavr32::MainWindow;

namespace {

const int kAcquire = 1102;
const int kSelectSource = 1117;
const int kSend = 1101;
const int kAcquireButton = 118;
const int kEndMs = 30000;

// The server's presence as the client tests it: its lock held with write
// access and the marker beside it.
class ServerPresence {
public:
    explicit ServerPresence(const std::string &requestArea) : area_(requestArea) {}
    ~ServerPresence()
    {
        if (lock_ != INVALID_HANDLE_VALUE)
            CloseHandle(lock_);
        DeleteFileA((area_ + "SERVER.OK").c_str());
    }
    testing::AssertionResult Start()
    {
        lock_ = CreateFileA((area_ + "TAVRINE.LOK").c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                            nullptr, OPEN_ALWAYS, 0, nullptr);
        if (lock_ == INVALID_HANDLE_VALUE)
            return testing::AssertionFailure() << "the server lock cannot be taken";
        if (!WriteWholeFile(area_ + "SERVER.OK", "OK\r\n"))
            return testing::AssertionFailure() << "SERVER.OK cannot be written";
        return testing::AssertionSuccess();
    }

private:
    std::string area_;
    HANDLE lock_ = INVALID_HANDLE_VALUE;
};

// Wine's library choices for one program name, kept while this lives.
class WineOverrides {
public:
    explicit WineOverrides(const std::string &program)
        : key_("Software\\Wine\\AppDefaults\\" + program + "\\DllOverrides")
    {
    }
    ~WineOverrides() { RegDeleteKeyA(HKEY_CURRENT_USER, key_.c_str()); }
    WineOverrides(const WineOverrides &) = delete;
    WineOverrides &operator=(const WineOverrides &) = delete;

    // how: "native", "" (disabled), ...; nullptr: Wine's default again.
    testing::AssertionResult Set(const char *library, const char *how)
    {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            return testing::AssertionFailure() << "cannot create " << key_;
        LONG r = how ? RegSetValueExA(key, library, 0, REG_SZ, reinterpret_cast<const BYTE *>(how),
                                      static_cast<DWORD>(std::strlen(how) + 1))
                     : RegDeleteValueA(key, library);
        RegCloseKey(key);
        if (r != ERROR_SUCCESS && !(how == nullptr && r == ERROR_FILE_NOT_FOUND))
            return testing::AssertionFailure() << "cannot change " << library << " in " << key_;
        return testing::AssertionSuccess();
    }

private:
    std::string key_;
};

// The copy's name: Wine's choices above are for it alone.
const char kProgram[] = "TVOPTLIB.EXE";

// What the program's folder holds beside TAVRINE.EXE, and how Wine binds.
struct Libraries {
    const char *ctl3d = nullptr;   // the CTL3D32.DLL to copy, nullptr: none
    bool imaging = false;          // Gear32sd.dll
    bool twain = true;             // false: the scanning library disabled
    const char *ctl3dFail = "";    // TAVRINE_CTL3D_FAIL
};

class OptionalLibrariesTest : public ::testing::Test {
protected:
    OptionalLibrariesTest()
        : inst_(tvtest::InstallationSpec().User("JSMITH").Setup("WORKSTATION", {"CheckServerTimer: 1"}).Folder("PROG"),
                "ol"),
          server_(inst_.RequestArea()), log_(inst_.Path("CTL3D.LOG")), wine_(kProgram)
    {
        const std::string user = inst_.UserDir("JSMITH");
        EXPECT_TRUE(WriteWholeFile(inst_.SystemArea() + "T-DB\\USER.INI",
                                   "[TAVRINE]\r\nType: UserProfile\r\nRevision: A\r\n\r\n[OPTIONS]\r\n"
                                   "Priority: NORMAL\r\nQuality: HIGH\r\n"));
        EXPECT_TRUE(WriteWholeFile(user + "T-DB\\USER.INI",
                                   "[TAVRINE]\r\nType: UserProfile\r\nRevision: A\r\n\r\n[OPTIONS]\r\n"
                                   "From: John Smith\r\nDirectory: " + user + "T-GRAPH\\\r\nWindow: IN\r\n"));
        // The message lists as the server leaves them: empty.
        EXPECT_TRUE(WriteWholeFile(user + "T-IN\\MSGDIR.CTL", "[TAVRINE]\r\nType: ReceiveDir\r\nRevision: A\r\n"));
        EXPECT_TRUE(WriteWholeFile(user + "T-OUT\\MSGDIR.CTL", "[TAVRINE]\r\nType: SendDir\r\nRevision: A\r\n"));
        EXPECT_TRUE(server_.Start());
        EXPECT_TRUE(wine_.Set("ctl3d32", "native"));
    }

    // The command for the program copied with the libraries into PROG.
    tvtest::Command Client(const Libraries &libs)
    {
        const std::string program = inst_.Path(std::string("PROG/") + kProgram);
        if (GetFileAttributesA(program.c_str()) == INVALID_FILE_ATTRIBUTES) {
            EXPECT_TRUE(inst_.CopyIn(TAVR32_EXE, std::string("PROG/") + kProgram));
        }
        if (libs.ctl3d) {
            EXPECT_TRUE(inst_.CopyIn(libs.ctl3d, "PROG/CTL3D32.DLL"));
        }
        if (libs.imaging) {
            EXPECT_TRUE(inst_.CopyIn(GEAR32SD_DLL, "PROG/Gear32sd.dll"));
        }
        EXPECT_TRUE(wine_.Set("twain_32", libs.twain ? nullptr : ""));
        return inst_.Program(program, {"/Q"})
            .Env("TAVRINE_TEST_QUERY", "1")
            .Env("TAVRINE_NO_WINHELP", "1")
            .Env("TAVRINE_CTL3D_LOG", log_)
            .Env("TAVRINE_CTL3D_FAIL", libs.ctl3dFail);
    }

    // Closes the client as the user does and waits for its end.
    void CloseClient(tvtest::Process &app, HWND main)
    {
        ASSERT_TRUE(gui::Close(main));
        tvtest::RunResult r = app.Wait(kEndMs);
        EXPECT_EQ(0, r.code) << r;
    }

    // The 3-D library's log as lines "<function> <argument>", with the
    // argument "I" where it is the program's instance handle.
    std::vector<std::string> Ctl3dCalls(HINSTANCE instance) const
    {
        std::vector<std::string> calls;
        const std::string text = ReadWholeFile(log_);
        size_t at = 0;
        while (at < text.size()) {
            size_t end = text.find("\r\n", at);
            if (end == std::string::npos)
                end = text.size();
            std::string line = text.substr(at, end - at);
            at = end + 2;
            size_t blank = line.find(' ');
            if (blank != std::string::npos && line.compare(blank + 1, std::string::npos, "-") != 0) {
                unsigned long long value = std::strtoull(line.c_str() + blank + 1, nullptr, 16);
                if (value == reinterpret_cast<UINT_PTR>(instance))
                    line = line.substr(0, blank) + " I";
            }
            calls.push_back(line);
        }
        return calls;
    }

    bool LogExists() const { return GetFileAttributesA(log_.c_str()) != INVALID_FILE_ATTRIBUTES; }

    tvtest::Installation inst_;
    ServerPresence server_;
    std::string log_;
    WineOverrides wine_;
};

typedef std::vector<std::string> Calls;

TEST_F(OptionalLibrariesTest, TheThreeDLibraryIsRegisteredToldOfColourChangesAndUnregisteredLast)
{
    Libraries libs;
    libs.ctl3d = CTL3D32_DLL;
    tvtest::Process app(Client(libs));
    gui::MessageBoxGuard boxes(app.Id());
    gui::Reply<HWND> main = MainWindow(app);
    ASSERT_TRUE(main.Ok());
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(main.value, GWLP_HINSTANCE));
    ASSERT_TRUE(instance) << "the main window's instance";

    EXPECT_EQ((Calls{"Ctl3dRegister I", "Ctl3dAutoSubclass I"}), Ctl3dCalls(instance));

    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutA(main.value, WM_SYSCOLORCHANGE, 0, 0, SMTO_NORMAL, gui::kSendMs, &result));
    EXPECT_TRUE(tvtest::WaitFor(gui::kWaitMs, [&] { return Ctl3dCalls(instance).size() == 3; }));
    EXPECT_EQ((Calls{"Ctl3dRegister I", "Ctl3dAutoSubclass I", "Ctl3dColorChange -"}), Ctl3dCalls(instance));

    CloseClient(app, main.value);
    EXPECT_EQ((Calls{"Ctl3dRegister I", "Ctl3dAutoSubclass I", "Ctl3dColorChange -", "Ctl3dUnregister I"}),
              Ctl3dCalls(instance));
    boxes.Finish();
}

// A 3-D library that is missing, refuses, or lacks entry points: the
// program starts and ends as usual and calls only what is there.
TEST_F(OptionalLibrariesTest, TheStartSurvivesAMissingFailingOrIncompleteThreeDLibrary)
{
    const struct {
        const char *name;
        const char *dll;
        const char *fail;
        Calls calls; // the whole log at the end; empty: no log at all
    } kCases[] = {
        {"absent", nullptr, "", {}},
        {"registration refused", CTL3D32_DLL, "Ctl3dRegister",
         {"Ctl3dRegister I", "Ctl3dAutoSubclass I", "Ctl3dColorChange -", "Ctl3dUnregister I"}},
        {"subclassing refused", CTL3D32_DLL, "Ctl3dAutoSubclass",
         {"Ctl3dRegister I", "Ctl3dAutoSubclass I", "Ctl3dColorChange -", "Ctl3dUnregister I"}},
        {"no Ctl3dRegister nor Ctl3dColorChange", CTL3D32_LEAN_DLL, "",
         {"Ctl3dAutoSubclass I", "Ctl3dUnregister I"}},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(log_.c_str());
        Libraries libs;
        libs.ctl3d = c.dll;
        libs.ctl3dFail = c.fail;
        DeleteFileA(inst_.Path("PROG/CTL3D32.DLL").c_str());
        tvtest::Process app(Client(libs));
        gui::MessageBoxGuard boxes(app.Id());
        gui::Reply<HWND> main = MainWindow(app);
        ASSERT_TRUE(main.Ok());
        EXPECT_EQ("Tavrine", gui::Text(main.value)) << "started online";
        HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(main.value, GWLP_HINSTANCE));
        DWORD_PTR result = 0;
        EXPECT_TRUE(SendMessageTimeoutA(main.value, WM_SYSCOLORCHANGE, 0, 0, SMTO_NORMAL, gui::kSendMs, &result));
        CloseClient(app, main.value);
        if (c.calls.empty())
            EXPECT_FALSE(LogExists()) << ReadWholeFile(log_);
        else
            EXPECT_EQ(c.calls, Ctl3dCalls(instance));
        boxes.Finish();
    }
}

// Acquire and Select source need both the imaging and the scanning
// library; the server is there throughout, so Send is usable.
TEST_F(OptionalLibrariesTest, AcquireAndSelectSourceNeedTheImagingAndScanningLibraries)
{
    const struct {
        const char *name;
        bool imaging, twain, usable;
    } kCases[] = {
        {"both", true, true, true},
        {"no imaging library", false, true, false},
        {"scanning library disabled", true, false, false},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(inst_.Path("PROG/Gear32sd.dll").c_str());
        Libraries libs;
        libs.imaging = c.imaging;
        libs.twain = c.twain;
        tvtest::Process app(Client(libs));
        gui::MessageBoxGuard boxes(app.Id());
        gui::Reply<HWND> main = MainWindow(app);
        ASSERT_TRUE(main.Ok());
        EXPECT_TRUE(gui::WaitTestValue(main.value, "ServerRunning", "1"));
        EXPECT_EQ((gui::MenuItemState{false, false}), gui::MenuState(main.value, kSend)) << "online";
        const gui::MenuItemState expected{!c.usable, false};
        EXPECT_EQ(expected, gui::MenuState(main.value, kAcquire));
        EXPECT_EQ(expected, gui::MenuState(main.value, kSelectSource));
        gui::Reply<HWND> button = gui::Child(main.value, kAcquireButton);
        ASSERT_TRUE(button.Ok());
        EXPECT_EQ(c.usable, IsWindowEnabled(button.value) != FALSE) << "the Acquire button";
        CloseClient(app, main.value);
        boxes.Finish();
    }
}

} // namespace
