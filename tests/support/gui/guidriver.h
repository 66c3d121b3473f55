// Driving a real GUI program from a test, under Windows or Wine and Xvfb.
//
//   tvtest::Process app(inst.Program(TAVR32_EXE));          // process.h
//   gui::MessageBoxGuard boxes(app.Id());                     // any unexpected box fails the test
//   boxes.Expect(gui::BoxSpec().Caption("Tavrine").Text("no server").Press(IDOK));
//   gui::Reply<HWND> main = gui::WaitTopWindow(app.Id(), gui::WindowSpec().Class("TavrineMain"), gui::kStartMs);
//   ASSERT_TRUE(main.Ok());
//   HWND list = gui::Child(main.value, 1120).value;
//   EXPECT_TRUE(gui::PostCommand(main.value, 1201));
//   EXPECT_EQ(3, gui::ListCount(list));
//   EXPECT_EQ("2", gui::TestValue(main.value, "AppState"));
//
// Every wait has a deadline and says on failure what it waited for and
// what it found instead; messages to the program's windows go with
// SendMessageTimeout (a hung or busy program fails the call, not the
// test run) or are posted where the program may open a modal loop.
#ifndef TAVRINE_TESTS_SUPPORT_GUI_GUIDRIVER_H
#define TAVRINE_TESTS_SUPPORT_GUI_GUIDRIVER_H

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace tvtest {
namespace gui {

const int kWaitMs = 10000;     // default deadline of a wait
const int kStartMs = 60000;    // for a program's first window: Wine's first program after a new wineserver is slow
const UINT kSendMs = 15000;    // deadline of one message sent to the program (a loaded machine is slow)

// A value read from the program, or why there is none.
template <class T>
struct Reply {
    T value{};
    std::string error; // empty: value is good

    bool ok() const { return error.empty(); }
    // For ASSERT_TRUE(r.Ok()): the error is the failure's message.
    testing::AssertionResult Ok() const
    {
        return ok() ? testing::AssertionSuccess() : testing::AssertionFailure() << error;
    }
};
template <class T>
bool operator==(const Reply<T> &r, const T &v) { return r.ok() && r.value == v; }
template <class T>
bool operator==(const T &v, const Reply<T> &r) { return r == v; }
inline bool operator==(const char *v, const Reply<std::string> &r) { return r.ok() && r.value == v; }
inline bool operator==(const Reply<std::string> &r, const char *v) { return v == r; }
template <class T>
std::ostream &operator<<(std::ostream &os, const Reply<T> &r)
{
    if (r.ok())
        return os << testing::PrintToString(r.value);
    return os << "(failed: " << r.error << ")";
}

// "0x1a2b class "Button" id 302 text "OK" visible", for messages.
std::string Describe(HWND hwnd);

// What a top-level window must match; an empty field matches anything.
struct WindowSpec {
    std::string className;   // whole, case-insensitive ("#32770" for dialogs)
    std::string caption;     // whole
    std::string captionPart; // part of the caption
    bool visibleOnly = true;

    WindowSpec &Class(const std::string &c) { className = c; return *this; }
    WindowSpec &Caption(const std::string &c) { caption = c; return *this; }
    WindowSpec &CaptionPart(const std::string &c) { captionPart = c; return *this; }
    WindowSpec &Hidden() { visibleOnly = false; return *this; }
    std::string Describe() const;
};

// The top-level windows of a process now.
std::vector<HWND> TopWindows(DWORD pid, bool visibleOnly = false);
// The first top-level window of the process that matches, now.
Reply<HWND> FindTopWindow(DWORD pid, const WindowSpec &spec);
// The same, waiting up to timeoutMs for it to appear. The error names what
// was asked and lists the process's windows at the deadline.
Reply<HWND> WaitTopWindow(DWORD pid, const WindowSpec &spec, int timeoutMs = kWaitMs);
// Waits until the window is destroyed (or hidden, when hiddenCounts).
testing::AssertionResult WaitGone(HWND hwnd, int timeoutMs = kWaitMs, bool hiddenCounts = false);

// A child window by control id or by class (index-th of that class), at
// any depth below parent.
Reply<HWND> Child(HWND parent, int id);
Reply<HWND> ChildOfClass(HWND parent, const std::string &className, int index = 0);

// Commands, posted: a command may open a modal loop that would hold a sent
// message. PostCommand is WM_COMMAND with the id, as a menu or accelerator
// gives it; Click is BM_CLICK on a button; Close is WM_CLOSE.
testing::AssertionResult PostCommand(HWND hwnd, int id);
testing::AssertionResult Click(HWND button);
testing::AssertionResult Close(HWND hwnd);

// Texts, through WM_GETTEXT / WM_SETTEXT.
Reply<std::string> Text(HWND hwnd);
testing::AssertionResult SetText(HWND hwnd, const std::string &text);

// List boxes. ListText needs LBS_HASSTRINGS; an owner-drawn box without it
// is read by item data. ListFind walks the items for one data value (-1
// when none holds it): LB_FINDSTRING on such a box would compare through
// the owner.
Reply<int> ListCount(HWND list);
Reply<std::string> ListText(HWND list, int index);
Reply<LRESULT> ListData(HWND list, int index);
Reply<std::vector<LRESULT>> ListAllData(HWND list);
Reply<int> ListFind(HWND list, LRESULT data);

// A menu item's state by command id, from the menu bar of window and its
// popups: read from the menu where the system lets another process read
// it, else from the "menu.<id>" keys of the window's test query answer
// (testanswer.h adds them).
struct MenuItemState {
    bool grayed = false;
    bool checked = false;
    bool operator==(const MenuItemState &o) const { return grayed == o.grayed && checked == o.checked; }
};
void PrintTo(const MenuItemState &s, std::ostream *os);
Reply<MenuItemState> MenuState(HWND window, int id);

// The test query (testquery.h): asks the program's window and waits for
// its key/value answer.
Reply<std::map<std::string, std::string>> TestQuery(HWND window, int timeoutMs = kWaitMs);
// One key of the answer; an error when the key is missing.
Reply<std::string> TestValue(HWND window, const std::string &key, int timeoutMs = kWaitMs);

// Asks again until key has the value, up to timeoutMs: for effects that
// come later than the next message (input through X, timers, files).
testing::AssertionResult WaitTestValue(HWND window, const std::string &key, const std::string &value,
                                       int timeoutMs = kWaitMs);

// Real input through the X server with xdotool (optional: a test that
// needs it skips when HaveXdotool() is false; under Windows it is). Xdotool
// runs it with the arguments and waits for its end, up to timeoutMs;
// PressKeys gives the window the X input focus and types keys in
// xdotool's names ("ctrl+m", "shift+F1", "Tab"). The program under test
// handles them later: wait for their effect (WaitTestValue).
bool HaveXdotool();
testing::AssertionResult Xdotool(const std::vector<std::string> &args, int timeoutMs = kWaitMs);
testing::AssertionResult PressKeys(HWND window, const std::string &keys);

// A message box the test expects: caption and text parts (empty: any),
// the button to press, how many times it may come.
struct BoxSpec {
    std::string captionPart;
    std::string textPart;
    int button = IDOK;
    int times = 1;

    BoxSpec &Caption(const std::string &c) { captionPart = c; return *this; }
    BoxSpec &Text(const std::string &t) { textPart = t; return *this; }
    BoxSpec &Press(int b) { button = b; return *this; }
    BoxSpec &Times(int n) { times = n; return *this; }
};

// A message box that came.
struct BoxSeen {
    std::string caption;
    std::string text;
    std::vector<std::string> buttons; // their texts
    int expectation = -1;             // index of the BoxSpec that matched, -1: unexpected
    int wanted = 0;                   // the button the expectation asked for
    int pressed = 0;                  // the button id pressed to end it, 0: none could be
    std::string Describe() const;
};

// What the guard saw, and what is wrong with it.
struct GuardResult {
    std::vector<BoxSeen> seen;
    std::vector<std::string> problems; // unexpected boxes, boxes that never came
    bool ok() const { return problems.empty(); }
    std::string Report() const;
};

// Watches the process's windows for message boxes (a dialog of texts and
// push buttons only) from construction to Finish(). Each box that matches
// an expectation gets that expectation's button; any other box is ended
// with Cancel (or its first button) and counts as a problem, as does an
// expectation that came fewer times than it should. Finish() reports the
// problems as one test failure; the destructor finishes a guard not yet
// finished. Dialogs the test drives itself whose only controls are texts
// and buttons are named with Allow so that the guard leaves them alone.
class MessageBoxGuard {
public:
    explicit MessageBoxGuard(DWORD pid);
    ~MessageBoxGuard();
    MessageBoxGuard(const MessageBoxGuard &) = delete;
    MessageBoxGuard &operator=(const MessageBoxGuard &) = delete;

    MessageBoxGuard &Expect(const BoxSpec &spec);
    MessageBoxGuard &Allow(const std::string &captionPart);

    // Waits until n boxes (expected or not) have been ended.
    testing::AssertionResult WaitBoxes(size_t n, int timeoutMs = kWaitMs);
    // What it has seen so far.
    std::vector<BoxSeen> Seen() const;
    // Stops watching; adds one test failure listing the problems, if any.
    GuardResult Finish();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace gui
} // namespace tvtest

#endif
