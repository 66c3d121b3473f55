// The client program under real input through the X server (xdotool): the
// keys of the message lists, a click that selects a message, and help mode
// from the keyboard with a click on the window's caption.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/client/shell/win/tavr32_fixture.h"
#include "tests/support/gui/guidriver.h"
#include "tests/support/process.h"
#include "tests/support/waitfor.h"

namespace gui = tvtest::gui;

namespace {

const char kCopyName[] = "TAVRKEYS.EXE";
// Wine draws the frame and caption itself for this program only (Xvfb has no
// window manager to draw them), so that a click can land on the caption.
const char kDecoratedKey[] = "Software\\Wine\\AppDefaults\\TAVRKEYS.EXE\\X11 Driver";
const char kAppDefaultsKey[] = "Software\\Wine\\AppDefaults\\TAVRKEYS.EXE";

// Help requests as the client logs them in place of WinHelp.
const char kHelpContents[] = "help 3 topic 0";
const char kHelpCaption[] = "help 1 topic 600";
const char kHelpInside[] = "help 1 topic 109";

size_t Count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

class Tavr32InputTest : public tavr32::Tavr32Test {
protected:
    void SetUp() override
    {
        if (!gui::HaveXdotool())
            GTEST_SKIP() << "xdotool is not available";
        ASSERT_TRUE(inst_.CopyIn(TAVR32_EXE, kCopyName));
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kDecoratedKey, 0, nullptr, 0, KEY_SET_VALUE,
                                                 nullptr, &key_, nullptr));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, "Decorated", 0, REG_SZ, reinterpret_cast<const BYTE *>("N"), 2));
        app_.reset(new tvtest::Process(ClientInstallation::Client(inst_.Path(kCopyName), {"/Q"})));
        boxes_.reset(new gui::MessageBoxGuard(app_->Id()));
        gui::Reply<HWND> main = tavr32::MainWindow(*app_);
        ASSERT_TRUE(main.Ok());
        main_ = main.value;
        HWND messages = FindWindowExA(main_, nullptr, "TavrLog", "Messages");
        ASSERT_TRUE(messages);
        HWND filed = FindWindowExA(messages, nullptr, "TavrLog", "Filed");
        ASSERT_TRUE(filed);
        lists_[0] = GetDlgItem(messages, 1120);
        lists_[1] = GetDlgItem(messages, 1121);
        lists_[2] = GetDlgItem(filed, 1122);
        for (HWND l : lists_)
            ASSERT_TRUE(l);
        ASSERT_TRUE(tvtest::WaitFor(15000, [&] { return gui::ListCount(lists_[0]) == 2; }));
        ASSERT_TRUE(tvtest::WaitFor(15000, [&] { return gui::ListCount(lists_[1]) == 1; }));
        ASSERT_EQ("1120", gui::TestValue(main_, "CurrentList"));
    }

    void TearDown() override
    {
        if (app_ && main_)
            CloseClient(*app_, main_);
        if (boxes_)
            boxes_->Finish();
        boxes_.reset();
        app_.reset();
        if (key_) {
            RegDeleteValueA(key_, "Decorated");
            RegCloseKey(key_);
            RegDeleteKeyA(HKEY_CURRENT_USER, kDecoratedKey);
            RegDeleteKeyA(HKEY_CURRENT_USER, kAppDefaultsKey);
        }
    }

    // Makes a list current through the main menu's command and waits for it.
    testing::AssertionResult MakeCurrent(int listId)
    {
        testing::AssertionResult posted = gui::PostCommand(main_, listId);
        if (!posted)
            return posted;
        return gui::WaitTestValue(main_, "CurrentList", std::to_string(listId));
    }

    int Selected(int pos) const
    {
        DWORD_PTR n = 0;
        if (!SendMessageTimeoutA(lists_[pos], LB_GETSELCOUNT, 0, 0, SMTO_NORMAL, gui::kSendMs, &n))
            return -1;
        return static_cast<int>(n);
    }

    // Shift held down while F1 goes down and up, as a user types it
    // (xdotool's "shift+F1" lets go of Shift before F1).
    testing::AssertionResult ShiftF1()
    {
        HANDLE x = GetPropA(main_, "__wine_x11_whole_window");
        if (!x)
            return testing::AssertionFailure() << "no X window";
        return gui::Xdotool({"windowfocus", "--sync", std::to_string(reinterpret_cast<ULONG_PTR>(x)), "keydown",
                             "Shift_L", "key", "F1", "keyup", "Shift_L"});
    }

    // A real left click at a point of the screen.
    testing::AssertionResult ClickAt(POINT p)
    {
        return gui::Xdotool({"mousemove", "--sync", std::to_string(p.x), std::to_string(p.y), "click", "1"});
    }

    // The middle of item index of a list, in screen coordinates.
    POINT ItemPoint(HWND list, int index)
    {
        DWORD_PTR height = 0, top = 0;
        SendMessageTimeoutA(list, LB_GETITEMHEIGHT, 0, 0, SMTO_NORMAL, gui::kSendMs, &height);
        SendMessageTimeoutA(list, LB_GETTOPINDEX, 0, 0, SMTO_NORMAL, gui::kSendMs, &top);
        RECT client;
        GetClientRect(list, &client);
        POINT p = {client.right / 2,
                   static_cast<int>((index - static_cast<int>(top)) * static_cast<int>(height) +
                                    static_cast<int>(height) / 2)};
        ClientToScreen(list, &p);
        return p;
    }

    std::unique_ptr<tvtest::Process> app_;
    std::unique_ptr<gui::MessageBoxGuard> boxes_;
    HWND main_ = nullptr;
    HWND lists_[3] = {};
    HKEY key_ = nullptr;
};

TEST_F(Tavr32InputTest, TabAndF6MoveBetweenTheLists)
{
    struct Case {
        const char *keys;
        const char *current; // the list made current and shown large
    };
    const Case cases[] = {
        {"Tab", "1121"},
        {"shift+Tab", "1122"},
        {"F6", "1121"},
        {"shift+F6", "1122"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.keys);
        ASSERT_TRUE(MakeCurrent(1120));
        ASSERT_TRUE(gui::PressKeys(main_, c.keys));
        EXPECT_TRUE(gui::WaitTestValue(main_, "CurrentList", c.current));
        EXPECT_EQ(c.current, gui::TestValue(main_, "LastShownList"));
        EXPECT_EQ((gui::MenuItemState{false, true}), gui::MenuState(main_, std::stoi(c.current)));
        EXPECT_EQ((gui::MenuItemState{false, false}), gui::MenuState(main_, 1120));
    }
    // Forwards round the three lists back to NEW.
    ASSERT_TRUE(MakeCurrent(1122));
    ASSERT_TRUE(gui::PressKeys(main_, "Tab"));
    EXPECT_TRUE(gui::WaitTestValue(main_, "CurrentList", "1120"));
}

TEST_F(Tavr32InputTest, AClickSelectsAndEscClearsTheSelection)
{
    // A click on the waiting message: WAITING becomes current.
    ASSERT_TRUE(ClickAt(ItemPoint(lists_[1], 0)));
    EXPECT_TRUE(tvtest::WaitFor(gui::kWaitMs, [&] { return Selected(1) == 1; }));
    EXPECT_TRUE(gui::WaitTestValue(main_, "CurrentList", "1121"));

    // A click in NEW takes the selection away from WAITING.
    ASSERT_TRUE(ClickAt(ItemPoint(lists_[0], 1)));
    EXPECT_TRUE(tvtest::WaitFor(gui::kWaitMs, [&] { return Selected(0) == 1; }));
    EXPECT_TRUE(gui::WaitTestValue(main_, "CurrentList", "1120"));
    EXPECT_EQ(0, Selected(1));

    // Esc empties NEW's selection; NEW stays current.
    ASSERT_TRUE(gui::PressKeys(main_, "Escape"));
    EXPECT_TRUE(tvtest::WaitFor(gui::kWaitMs, [&] { return Selected(0) == 0; })) << Selected(0);
    EXPECT_EQ("1120", gui::TestValue(main_, "CurrentList"));
    EXPECT_EQ((gui::MenuItemState{false, true}), gui::MenuState(main_, 1120));
    EXPECT_EQ("0", gui::TestValue(main_, "HelpMode"));
    EXPECT_EQ(std::string::npos, ClientLog().find("WinHelp")) << ClientLog();
}

TEST_F(Tavr32InputTest, F1AndHelpModeFromTheKeyboard)
{
    const size_t asked = Count(ClientLog(), "WinHelp");
    // F1 alone: the help contents, asked for once, no help mode.
    ASSERT_TRUE(gui::PressKeys(main_, "F1"));
    EXPECT_TRUE(tvtest::WaitFor(gui::kWaitMs, [&] { return Count(ClientLog(), kHelpContents) == 1; }))
        << ClientLog();
    EXPECT_EQ("0", gui::TestValue(main_, "HelpMode"));

    // Shift+F1 then Esc: help mode comes and goes, no help is asked for.
    ASSERT_TRUE(ShiftF1());
    EXPECT_TRUE(gui::WaitTestValue(main_, "HelpMode", "1"));
    ASSERT_TRUE(gui::PressKeys(main_, "Escape"));
    EXPECT_TRUE(gui::WaitTestValue(main_, "HelpMode", "0"));
    EXPECT_EQ(asked + 1, Count(ClientLog(), "WinHelp")) << ClientLog();

    // Shift+F1 then a click on the caption: the caption's topic, help mode
    // over, the window where it was (the click did not start a move).
    ASSERT_TRUE(ShiftF1());
    ASSERT_TRUE(gui::WaitTestValue(main_, "HelpMode", "1"));
    RECT before;
    ASSERT_TRUE(GetWindowRect(main_, &before));
    POINT caption = {(before.left + before.right) / 2,
                     before.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2};
    DWORD_PTR hit = 0;
    ASSERT_TRUE(SendMessageTimeoutA(main_, WM_NCHITTEST, 0, MAKELPARAM(caption.x, caption.y), SMTO_NORMAL,
                                    gui::kSendMs, &hit));
    ASSERT_EQ(static_cast<DWORD_PTR>(HTCAPTION), hit) << "not the caption at " << caption.x << "," << caption.y;
    HANDLE x = GetPropA(main_, "__wine_x11_whole_window");
    ASSERT_TRUE(x);
    EXPECT_TRUE(gui::Xdotool({"windowraise", std::to_string(reinterpret_cast<ULONG_PTR>(x))}));
    ASSERT_TRUE(ClickAt(caption));
    EXPECT_TRUE(gui::WaitTestValue(main_, "HelpMode", "0"));
    EXPECT_TRUE(tvtest::WaitFor(gui::kWaitMs, [&] { return Count(ClientLog(), kHelpCaption) == 1; }))
        << ClientLog();
    EXPECT_EQ(asked + 2, Count(ClientLog(), "WinHelp")) << ClientLog();
    RECT after;
    ASSERT_TRUE(GetWindowRect(main_, &after));
    EXPECT_EQ(before.left, after.left);
    EXPECT_EQ(before.top, after.top);

    // Shift+F1 then a click on a message: the help on the window's inside;
    // the click selects nothing.
    ASSERT_TRUE(ShiftF1());
    ASSERT_TRUE(gui::WaitTestValue(main_, "HelpMode", "1"));
    ASSERT_TRUE(ClickAt(ItemPoint(lists_[0], 0)));
    EXPECT_TRUE(gui::WaitTestValue(main_, "HelpMode", "0"));
    EXPECT_TRUE(tvtest::WaitFor(gui::kWaitMs, [&] { return Count(ClientLog(), kHelpInside) == 1; }))
        << ClientLog();
    EXPECT_EQ(0, Selected(0));
    EXPECT_EQ(asked + 3, Count(ClientLog(), "WinHelp")) << ClientLog();
}

} // namespace
