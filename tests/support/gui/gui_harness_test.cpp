// The GUI test harness driving its demo program (guidemo_win.cpp) under
// Wine and Xvfb: windows and controls, commands and menu state, the list
// box, a dialog, message boxes and the guard, the test query, timeouts.
#include <gmock/gmock.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "tests/support/gui/guidemo_ids.h"
#include "tests/support/gui/guidriver.h"
#include "tests/support/process.h"

namespace tvtest {
namespace {

using ::testing::HasSubstr;

const int kDemoLifeMs = 120000; // the demo ends by itself should a test leave it behind
const int kShortMs = 300;

class GuiHarness : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(app.Start(Command(GUIDEMO_EXE, {"/quit-after", std::to_string(kDemoLifeMs)}))) << app.Result();
        boxes.reset(new gui::MessageBoxGuard(app.Id()));
        gui::Reply<HWND> w =
            gui::WaitTopWindow(app.Id(), gui::WindowSpec().Class("TavrineGuiDemo").Caption("Tavrine GUI Demo"),
                               gui::kStartMs);
        ASSERT_TRUE(w.Ok()) << app.Result();
        main = w.value;
        gui::Reply<HWND> l = gui::Child(main, IDC_DEMO_LIST);
        ASSERT_TRUE(l.Ok());
        list = l.value;
    }
    void TearDown() override
    {
        if (main) {
            EXPECT_TRUE(gui::PostCommand(main, IDM_DEMO_EXIT));
            RunResult r = app.Wait(10000);
            EXPECT_TRUE(r.Exited() && r.code == 0) << r;
        }
        boxes.reset(); // unexpected boxes fail the test here
    }
    // A posted command has run once an answer to a later query came.
    void Settle() { ASSERT_TRUE(gui::TestQuery(main).Ok()); }

    Process app;
    std::unique_ptr<gui::MessageBoxGuard> boxes;
    HWND main = nullptr;
    HWND list = nullptr;
};

TEST_F(GuiHarness, FindsWindowsAndControlsAndReadsTexts)
{
    EXPECT_EQ("Tavrine GUI Demo", gui::Text(main));
    gui::Reply<HWND> button = gui::Child(main, IDC_DEMO_SETTINGS);
    ASSERT_TRUE(button.Ok());
    EXPECT_EQ("&Settings...", gui::Text(button.value));
    EXPECT_EQ(button.value, gui::ChildOfClass(main, "button").value);
    EXPECT_EQ(list, gui::ChildOfClass(main, "ListBox").value);
    // Caption parts and the process: the demo's window, not another's.
    EXPECT_EQ(main, gui::FindTopWindow(app.Id(), gui::WindowSpec().CaptionPart("GUI Demo")).value);
    EXPECT_FALSE(gui::FindTopWindow(GetCurrentProcessId(), gui::WindowSpec().CaptionPart("GUI Demo")).ok());
}

TEST_F(GuiHarness, MenuCommandChangesMenuState)
{
    gui::MenuItemState plain, grayed, checked;
    grayed.grayed = true;
    checked.checked = true;
    EXPECT_EQ(plain, gui::MenuState(main, IDM_DEMO_MARK));
    EXPECT_EQ(grayed, gui::MenuState(main, IDM_DEMO_ARCHIVE));
    EXPECT_THAT(gui::MenuState(main, 4242).error, HasSubstr("no menu item 4242"));

    ASSERT_TRUE(gui::PostCommand(main, IDM_DEMO_MARK));
    EXPECT_EQ("1", gui::TestValue(main, "marked"));
    EXPECT_EQ(checked, gui::MenuState(main, IDM_DEMO_MARK));
    EXPECT_EQ(plain, gui::MenuState(main, IDM_DEMO_ARCHIVE));

    ASSERT_TRUE(gui::PostCommand(main, IDM_DEMO_MARK));
    EXPECT_EQ("0", gui::TestValue(main, "marked"));
    EXPECT_EQ(grayed, gui::MenuState(main, IDM_DEMO_ARCHIVE));
}

TEST_F(GuiHarness, KeysTypedThroughXReachTheAccelerators)
{
    if (!gui::HaveXdotool())
        GTEST_SKIP() << "xdotool is not installed";
    ASSERT_TRUE(gui::PressKeys(main, "ctrl+m"));
    EXPECT_TRUE(gui::WaitTestValue(main, "marked", "1"));
    ASSERT_TRUE(gui::PressKeys(main, "ctrl+m"));
    EXPECT_TRUE(gui::WaitTestValue(main, "marked", "0"));
}

TEST_F(GuiHarness, ReadsSortedOwnerDrawnListByItemData)
{
    // Sorted by name through the owner: Apple 42, Banana 7, Cherry 11.
    EXPECT_EQ(3, gui::ListCount(list));
    EXPECT_EQ(std::vector<LRESULT>({42, 7, 11}), gui::ListAllData(list));
    ASSERT_TRUE(gui::PostCommand(main, IDM_DEMO_ADD)); // Avocado 5
    Settle();
    EXPECT_EQ(std::vector<LRESULT>({42, 5, 7, 11}), gui::ListAllData(list));
    EXPECT_EQ(LRESULT(5), gui::ListData(list, 1));
    EXPECT_EQ(3, gui::ListFind(list, 11));
    EXPECT_EQ(-1, gui::ListFind(list, 99));
    EXPECT_THAT(gui::ListData(list, 4).error, HasSubstr("the list has 4 items"));
    EXPECT_THAT(gui::ListText(list, 0).error, HasSubstr("owner-drawn"));
}

TEST_F(GuiHarness, DialogOpensAndClosesByButtonClicks)
{
    ASSERT_TRUE(gui::Click(gui::Child(main, IDC_DEMO_SETTINGS).value));
    gui::Reply<HWND> dlg = gui::WaitTopWindow(app.Id(), gui::WindowSpec().Class("#32770").Caption("Demo Settings"));
    ASSERT_TRUE(dlg.Ok());
    gui::Reply<HWND> name = gui::Child(dlg.value, IDC_DEMO_NAME);
    ASSERT_TRUE(name.Ok());
    gui::Reply<HWND> colours = gui::Child(dlg.value, IDC_DEMO_COLOURS);
    ASSERT_TRUE(colours.Ok());
    EXPECT_EQ(3, gui::ListCount(colours.value));
    EXPECT_EQ("Blue", gui::ListText(colours.value, 0));
    EXPECT_EQ("Red", gui::ListText(colours.value, 2));
    EXPECT_THAT(gui::ListText(colours.value, 3).error, HasSubstr("item 3: no such item"));
    ASSERT_TRUE(gui::SetText(name.value, "Orchard"));
    EXPECT_EQ("Orchard", gui::Text(name.value));
    ASSERT_TRUE(gui::Click(gui::Child(dlg.value, IDOK).value));
    ASSERT_TRUE(gui::WaitGone(dlg.value));
    EXPECT_EQ("Orchard", gui::TestValue(main, "name"));

    // Cancel keeps the name.
    ASSERT_TRUE(gui::Click(gui::Child(main, IDC_DEMO_SETTINGS).value));
    dlg = gui::WaitTopWindow(app.Id(), gui::WindowSpec().Caption("Demo Settings"));
    ASSERT_TRUE(dlg.Ok());
    ASSERT_TRUE(gui::SetText(gui::Child(dlg.value, IDC_DEMO_NAME).value, "Grove"));
    ASSERT_TRUE(gui::Click(gui::Child(dlg.value, IDCANCEL).value));
    ASSERT_TRUE(gui::WaitGone(dlg.value));
    EXPECT_EQ("Orchard", gui::TestValue(main, "name"));
}

TEST_F(GuiHarness, ExpectedMessageBoxIsAnsweredWithItsButton)
{
    boxes.reset();
    const struct {
        int button;
        const char *answer;
    } cases[] = {{IDOK, "1"}, {IDCANCEL, "2"}};
    for (const auto &c : cases) {
        gui::MessageBoxGuard guard(app.Id());
        guard.Expect(gui::BoxSpec().Caption("Demo Alert").Text("Disk space is low").Press(c.button));
        ASSERT_TRUE(gui::PostCommand(main, IDM_DEMO_ALERT));
        ASSERT_TRUE(guard.WaitBoxes(1));
        EXPECT_EQ(c.answer, gui::TestValue(main, "alert")) << c.button;
        gui::GuardResult r = guard.Finish();
        EXPECT_TRUE(r.ok()) << r.Report();
        ASSERT_EQ(1u, r.seen.size());
        EXPECT_EQ("Demo Alert", r.seen[0].caption);
        EXPECT_THAT(r.seen[0].text, HasSubstr("Disk space is low.\nContinue anyway?"));
        EXPECT_EQ(c.button, r.seen[0].pressed);
    }
}

TEST_F(GuiHarness, AllowedBoxIsLeftToTheTest)
{
    boxes.reset();
    gui::MessageBoxGuard guard(app.Id());
    guard.Allow("Demo Alert");
    ASSERT_TRUE(gui::PostCommand(main, IDM_DEMO_ALERT));
    gui::Reply<HWND> box = gui::WaitTopWindow(app.Id(), gui::WindowSpec().Class("#32770").Caption("Demo Alert"));
    ASSERT_TRUE(box.Ok());
    ASSERT_TRUE(gui::Click(gui::Child(box.value, IDOK).value));
    ASSERT_TRUE(gui::WaitGone(box.value));
    EXPECT_EQ("1", gui::TestValue(main, "alert"));
    gui::GuardResult r = guard.Finish();
    EXPECT_TRUE(r.ok()) << r.Report();
    EXPECT_TRUE(r.seen.empty()) << r.Report();
}

TEST_F(GuiHarness, GuardFailsOnUnexpectedOrMissingBoxes)
{
    boxes.reset();
    const struct {
        const char *expectCaption; // nullptr: expect nothing
        int press;
        bool show; // the demo shows its box
        const char *failure;
    } cases[] = {
        {nullptr, IDOK, true, "unexpected message box: caption \"Demo Alert\", text \"Disk space is low."},
        {"Demo Alert", IDYES, true, "expected message box without button 6"},
        {"Other Box", IDOK, true, "unexpected message box"},
        {"Other Box", IDOK, false, "(caption with \"Other Box\", text with \"\") came 0 of 1 time(s)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.failure);
        gui::GuardResult result;
        auto run = [&] {
            gui::MessageBoxGuard guard(app.Id());
            if (c.expectCaption)
                guard.Expect(gui::BoxSpec().Caption(c.expectCaption).Press(c.press));
            if (c.show) {
                EXPECT_TRUE(gui::PostCommand(main, IDM_DEMO_ALERT));
                EXPECT_TRUE(guard.WaitBoxes(1));
            }
            result = guard.Finish();
        };
        EXPECT_NONFATAL_FAILURE(run(), c.failure);
        EXPECT_FALSE(result.ok());
        EXPECT_THAT(result.Report(), HasSubstr(c.failure));
        if (c.show) {
            // The guard ended the box with Cancel, so the program goes on.
            ASSERT_EQ(1u, result.seen.size());
            EXPECT_EQ(IDCANCEL, result.seen[0].pressed);
            EXPECT_EQ("2", gui::TestValue(main, "alert"));
        }
    }
}

TEST_F(GuiHarness, TestQueryRoundTrip)
{
    gui::Reply<std::map<std::string, std::string>> a = gui::TestQuery(main);
    ASSERT_TRUE(a.Ok());
    std::map<std::string, std::string> expected = {{"alert", "0"},          {"items", "3"},
                                                   {"marked", "0"},         {"name", ""},
                                                   {"menu.1001", "enabled"}, {"menu.1002", "enabled"},
                                                   {"menu.1003", "grayed"},  {"menu.1004", "enabled"},
                                                   {"menu.1005", "enabled"}};
    EXPECT_EQ(expected, a.value);
    EXPECT_THAT(gui::TestValue(main, "AppState").error, HasSubstr("has no \"AppState\"; it has: alert items"));
}

TEST_F(GuiHarness, TimeoutsSayWhatWasAwaitedAndWhatWasThere)
{
    gui::Reply<HWND> w = gui::WaitTopWindow(app.Id(), gui::WindowSpec().Caption("No Such Window"), kShortMs);
    EXPECT_FALSE(w.ok());
    EXPECT_THAT(w.error, HasSubstr("waited 300 ms in vain: no a top-level window captioned \"No Such Window\""));
    EXPECT_THAT(w.error, HasSubstr("class \"TavrineGuiDemo\" text \"Tavrine GUI Demo\" visible"));

    EXPECT_THAT(gui::Child(main, 999).error, HasSubstr("no child with id 999"));
    EXPECT_THAT(gui::Child(main, 999).error, HasSubstr("id 301"));

    testing::AssertionResult gone = gui::WaitGone(main, kShortMs);
    EXPECT_FALSE(gone);
    EXPECT_THAT(gone.message(), HasSubstr("waited 300 ms in vain for"));

    // The list box does not answer the query.
    gui::Reply<std::map<std::string, std::string>> q = gui::TestQuery(list, kShortMs);
    EXPECT_FALSE(q.ok());
    EXPECT_THAT(q.error, HasSubstr("no answer to the test query from"));
    EXPECT_THAT(q.error, HasSubstr("within 300 ms"));

    testing::AssertionResult none = boxes->WaitBoxes(1, kShortMs);
    EXPECT_FALSE(none);
    EXPECT_THAT(none.message(), HasSubstr("waited 300 ms in vain for 1 message box(es); 0 came"));
}

} // namespace
} // namespace tvtest
