// Command line and the start-up decisions without windows.
#include "client/shell/cmdline.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

struct LineCase {
    const char *line;
    int result;
    const char *viewer;
    bool quiet;
    bool switchA;
    const char *bad;
};

TEST(CommandLine, SwitchesAndFileNames)
{
    const LineCase cases[] = {
        {"", 1, "", false, false, ""},
        {nullptr, 1, "", false, false, ""},
        {"/Q", 1, "", true, false, ""},
        {"/q", 1, "", true, false, ""},
        {"  /a\t/q ", 1, "", true, true, ""},
        {"/X", 1, "", false, false, ""},
        {"/Q/A", 1, "", true, true, ""},
        {"/QX", 0, "", false, false, "/QX"},
        {"/Q /abc/Q", 0, "", true, false, "/abc"},
        {"FAX.TIF /Q", 1, "FAX.TIF", true, false, ""},
        {"ONE.TIF TWO.TIF", 1, "ONE.TIF", false, false, ""},
        {"C:\\A\\B.TIF/Q", 1, "C:\\A\\B.TIF", true, false, ""},
        {"/", 1, "/", false, false, ""},
    };
    for (const LineCase &c : cases) {
        SCOPED_TRACE(c.line ? c.line : "(null)");
        TvCommandLine cl;
        EXPECT_EQ(c.result, ParseCommandLineText(c.line, &cl));
        EXPECT_STREQ(c.viewer, cl.viewerFile);
        EXPECT_EQ(c.quiet, cl.quiet);
        EXPECT_EQ(c.switchA, cl.switchA);
        EXPECT_STREQ(c.bad, cl.badSwitch);
    }
}

TEST(CommandLine, LongFileNameIsCut)
{
    std::string name(400, 'N');
    TvCommandLine cl;
    ASSERT_EQ(1, ParseCommandLineText(name.c_str(), &cl));
    EXPECT_EQ(std::string(TV_VIEWER_NAME_MAX, 'N'), cl.viewerFile);
}

struct Shown {
    std::string text;
    int count = 0;
    TvBoxIcon icon = TV_BOX_QUESTION;
};

void RecordBox(void *ctx, const char *text, TvBoxIcon icon, bool)
{
    Shown *s = static_cast<Shown *>(ctx);
    s->text = text;
    s->icon = icon;
    ++s->count;
}

TEST(CommandLine, RefusedSwitchIsShownWithItsText)
{
    Shown shown;
    TvShellHooks hooks = *TvDefaultShellHooks();
    hooks.context = &shown;
    hooks.messageBox = RecordBox;
    TvCommandLine cl;
    EXPECT_EQ(0, ParseCommandLine("/QX", &cl, &hooks));
    EXPECT_EQ(1, shown.count);
    EXPECT_EQ("Invalid command line switch: /QX", shown.text);
    EXPECT_EQ(TV_BOX_INFORMATION, shown.icon);
    EXPECT_EQ(1, ParseCommandLine("/X", &cl, &hooks));
    EXPECT_EQ(1, shown.count);
}

TEST(StartupDecisions, InstanceShowSpoolerMetrics)
{
    EXPECT_TRUE(RestoreOtherInstance(true, TV_SHOW_NORMAL));
    EXPECT_FALSE(RestoreOtherInstance(true, TV_SHOW_MINIMIZED));
    EXPECT_FALSE(RestoreOtherInstance(false, TV_SHOW_NORMAL));

    EXPECT_EQ(TV_SHOW_MAXIMIZED, MainWindowShowCommand(TV_SHOW_NORMAL, true));
    EXPECT_EQ(TV_SHOW_NORMAL, MainWindowShowCommand(TV_SHOW_NORMAL, false));
    EXPECT_EQ(TV_SHOW_MINIMIZED, MainWindowShowCommand(TV_SHOW_MINIMIZED, true));

    EXPECT_TRUE(WarnSpoolerMissing(false, "~TAVRINE"));
    EXPECT_FALSE(WarnSpoolerMissing(false, ""));
    EXPECT_FALSE(WarnSpoolerMissing(true, "~TAVRINE"));

    TvClientMetrics m = ClientMetricsFrom(7, 23);
    EXPECT_EQ(3, m.marginX);
    EXPECT_EQ(1, m.marginY);
}

TEST(StartupDecisions, OptionalLibraryAndMenus)
{
    EXPECT_FALSE(ShouldBindCtl3d(0xC0000004u)) << "version 4 with the high bit";
    EXPECT_TRUE(ShouldBindCtl3d(0x05650004u)) << "version 4 without it";
    EXPECT_TRUE(ShouldBindCtl3d(0x80000003u));

    TvMenuRemoval out[3];
    EXPECT_EQ(0, MenuItemsToRemove(true, true, true, out, 3));
    ASSERT_EQ(3, MenuItemsToRemove(false, false, false, out, 3));
    EXPECT_EQ(TV_MENU_MAIN, out[0].menu);
    EXPECT_EQ(1118, out[0].command);
    EXPECT_EQ(TV_MENU_SECOND, out[1].menu);
    EXPECT_EQ(1313, out[1].command);
    EXPECT_EQ(1314, out[2].command);
    ASSERT_EQ(1, MenuItemsToRemove(true, true, false, out, 3));
    EXPECT_EQ(1314, out[0].command);
    EXPECT_EQ(1, MenuItemsToRemove(false, false, false, out, 1));
}

// A search list of one directory, which may or may not hold the file.
struct IniPlace {
    const char *dir;
    bool present;
};

TEST(StartupDecisions, FindIniFile)
{
    IniPlace place{"T:\\SYS", true};
    TvIniSources src{};
    src.context = &place;
    src.getEnv = [](void *c, const char *name, char *out, size_t size) {
        if (std::string(name) != "TFAXINIT")
            return false;
        std::snprintf(out, size, "%s", static_cast<IniPlace *>(c)->dir);
        return true;
    };
    src.windowsDir = [](void *, char *, size_t) { return false; };
    src.currentDir = [](void *, char *, size_t) { return false; };
    src.fileExists = [](void *c, const char *) { return static_cast<IniPlace *>(c)->present; };
    Shown shown;
    TvShellHooks hooks = *TvDefaultShellHooks();
    hooks.context = &shown;
    hooks.messageBox = RecordBox;

    char path[300];
    ASSERT_TRUE(FindIniFile(&src, path, sizeof path, &hooks));
    EXPECT_STREQ("T:\\SYS\\TAVRINE.INI", path);
    EXPECT_EQ(0, shown.count);

    place.present = false;
    EXPECT_FALSE(FindIniFile(&src, path, sizeof path, &hooks));
    EXPECT_EQ(1, shown.count);
    EXPECT_EQ("Cannot find the Tavrine initialisation file - Please run WSINSTAL.EXE to create TAVRINE.INI",
              shown.text);
    EXPECT_EQ(TV_BOX_EXCLAMATION, shown.icon);
}

} // namespace
