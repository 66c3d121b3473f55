// The welcome window's placing, the bitmap fit, the control-colour choice,
// string arguments and the second copy's command line.
#include "client/shell/dialogs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct FitCase {
    const char *what;
    int bw, bh;
    TvBox want;
};

TEST(WelcomeBitmap, KeepsCloseSizesAndFillsTheFrameOtherwise)
{
    const TvBox frame = {10, 20, 100, 40};
    const FitCase cases[] = {
        {"95% both ways: own size, centred", 95, 38, {12, 21, 95, 38}},
        {"exactly the frame", 100, 40, {10, 20, 100, 40}},
        {"80%: stretched", 80, 32, {10, 20, 100, 40}},
        {"exactly 90% is not close enough", 90, 36, {10, 20, 100, 40}},
        {"larger: shrunk", 300, 120, {10, 20, 100, 40}},
        {"one pixel wider than the frame", 101, 38, {10, 20, 100, 40}},
        {"close across only", 95, 10, {10, 20, 100, 40}},
        {"close down only", 10, 38, {10, 20, 100, 40}},
        {"odd remainder rounds towards the top-left", 92, 37, {14, 21, 92, 37}},
    };
    for (const FitCase &c : cases) {
        SCOPED_TRACE(c.what);
        TvBox got = FitWelcomeBitmap(frame, c.bw, c.bh);
        EXPECT_EQ(c.want.left, got.left);
        EXPECT_EQ(c.want.top, got.top);
        EXPECT_EQ(c.want.width, got.width);
        EXPECT_EQ(c.want.height, got.height);
    }
}

TEST(WelcomeBitmap, WindowCentredAcrossAndAThirdDown)
{
    struct Case {
        int sw, sh, ww, wh, left, top;
    } cases[] = {
        {1024, 768, 330, 180, 347, 196},
        {640, 480, 640, 480, 0, 0},
        // A screen smaller than the window: negative, and placed there.
        {300, 200, 400, 260, -50, -20},
    };
    for (const Case &c : cases) {
        int left = 12345, top = 12345;
        WelcomeWindowOrigin(c.sw, c.sh, c.ww, c.wh, &left, &top);
        EXPECT_EQ(c.left, left) << c.sw << "x" << c.sh;
        EXPECT_EQ(c.top, top) << c.sw << "x" << c.sh;
    }
}

TEST(DialogColours, WhichControlsAreColoured)
{
    struct Case {
        unsigned message;
        const char *cls;
        uint32_t style;
        bool want;
    } cases[] = {
        {TV_CTLCOLOR_DLG, "#32770", 0, true},
        {TV_CTLCOLOR_STATIC, "Static", 0, true},
        {TV_CTLCOLOR_BTN, "Button", 0, true},
        {TV_CTLCOLOR_MSGBOX, "#32770", 0, true},
        {TV_CTLCOLOR_EDIT, "Edit", 0, false},
        {TV_CTLCOLOR_SCROLLBAR, "ScrollBar", 0, false},
        {0x0010, "Static", 0, false},
        {TV_CTLCOLOR_LISTBOX, "ListBox", 0, false},
        {TV_CTLCOLOR_LISTBOX, "ComboLBox", 1, false},
        {TV_CTLCOLOR_LISTBOX, "ComboBox", 1, true},          // simple
        {TV_CTLCOLOR_LISTBOX, "combobox", 2 | 0x40, true},   // drop-down, other bits set
        {TV_CTLCOLOR_LISTBOX, "ComboBoxEx32", 2, true},
        {TV_CTLCOLOR_LISTBOX, "ComboBox", 3, false},         // drop-down list
        {TV_CTLCOLOR_LISTBOX, "ComboBox", 3 | 0x100, false},
        {TV_CTLCOLOR_LISTBOX, nullptr, 1, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.want, CtlColorWanted(c.message, c.cls, c.style))
            << std::hex << c.message << " " << (c.cls ? c.cls : "(none)") << " " << c.style;
}

TEST(StringArg, FillsTheFirstPlaceOnly)
{
    struct Case {
        const char *pattern, *arg;
        size_t size;
        const char *want;
    } cases[] = {
        {"Problem with information file: %s", "C:\\T-IN\\MSGDIR.CTL", 128,
         "Problem with information file: C:\\T-IN\\MSGDIR.CTL"},
        {"%s", nullptr, 16, ""},
        {"no place", "X", 16, "no place"},
        {"100%% of %s, not %s", "A", 64, "100% of A, not %s"},
        // What an argument holds is never read as a format.
        {"[%s] %d %n", "%s%n", 64, "[%s%n] %d %n"},
        {"Cannot write %s", "LONGNAME", 16, "Cannot write LO"},
        {"trailing %", "X", 16, "trailing %"},
    };
    for (const Case &c : cases) {
        char out[128];
        FillStringArg(c.pattern, c.arg, out, c.size);
        EXPECT_STREQ(c.want, out) << c.pattern;
    }
}

TEST(SecondCopy, CommandLineQuotesThePathAndLimitsTheArguments)
{
    char out[TV_INSTANCE_COMMAND_SIZE];
    ASSERT_TRUE(ProgramInstanceCommand("C:\\Program Files\\Tavrine\\TAVR32.EXE", "C:\\FAX\\A 1.TIF", out,
                                       sizeof out));
    EXPECT_STREQ("\"C:\\Program Files\\Tavrine\\TAVR32.EXE\" C:\\FAX\\A 1.TIF", out);
    ASSERT_TRUE(ProgramInstanceCommand("T.EXE", "", out, sizeof out));
    EXPECT_STREQ("\"T.EXE\" ", out);

    const std::string longest(TV_INSTANCE_ARGS_MAX, 'a');
    const std::string path(TV_MODULE_PATH_MAX, 'p');
    ASSERT_TRUE(ProgramInstanceCommand(path.c_str(), longest.c_str(), out, sizeof out));
    EXPECT_EQ("\"" + path + "\" " + longest, out);

    struct Refused {
        std::string path, args;
        size_t size;
    } refused[] = {
        {"T.EXE", longest + "a", sizeof out},
        {path + "p", "x", sizeof out},
        {"", "x", sizeof out},
        {"T.EXE", "abc", 11},  // needs 12
    };
    for (const Refused &r : refused) {
        std::strcpy(out, "stale");
        EXPECT_FALSE(ProgramInstanceCommand(r.path.c_str(), r.args.c_str(), out, r.size))
            << r.path.size() << " " << r.args.size();
        EXPECT_STREQ("", out);
    }
    EXPECT_TRUE(ProgramInstanceCommand("T.EXE", "abc", out, 12));
}

} // namespace
