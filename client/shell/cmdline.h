// The client's command line and the start-up decisions that need no window.
#ifndef TAVRINE_CLIENT_SHELL_CMDLINE_H
#define TAVRINE_CLIENT_SHELL_CMDLINE_H

#include <cstddef>
#include <cstdint>

#include "client/shell/shellhooks.h"
#include "common/sysini.h"

// Longest viewer file name.
enum { TV_VIEWER_NAME_MAX = 268 };
// Longest invalid switch text kept for the message.
enum { TV_BAD_SWITCH_MAX = 63 };

struct TvCommandLine {
    char viewerFile[TV_VIEWER_NAME_MAX + 1]; // non-empty: viewer mode
    bool quiet;                              // /Q
    bool switchA;                            // /A: set, never read
    char badSwitch[TV_BAD_SWITCH_MAX + 1];   // the refused switch, "/" included
};

// Parses the command line: "/" and one letter is a switch (A and Q known,
// any other letter ignored); a switch letter followed by anything but white
// space, "/" or the end is refused; the first other word is the viewer file.
// 1 to go on; 0 for a refused switch (its text in badSwitch).
int ParseCommandLineText(const char *line, TvCommandLine *out);

// ParseCommandLineText, showing "Invalid command line switch: " and the
// switch (information icon) when it refuses one.
int ParseCommandLine(const char *line, TvCommandLine *out, const TvShellHooks *hooks);

// Show commands the start-up decisions deal in.
enum { TV_SHOW_NORMAL = 1, TV_SHOW_MINIMIZED = 2, TV_SHOW_MAXIMIZED = 3 };

// Whether a running instance found at start must be restored: it is
// minimised and this start did not ask for a minimised window.
bool RestoreOtherInstance(bool otherMinimised, int showCommand);

// The show command for the main window: maximised when asked for a normal
// window and the saved placement was maximised.
int MainWindowShowCommand(int showCommand, bool startMaximised);

// Whether start-up warns that the print spooler is not loaded: never in
// viewer mode, else whenever a spooler name is configured.
bool WarnSpoolerMissing(bool viewerMode, const char *spoolName);

// Margins from the dialog base units: horizontal w / 2, vertical h / 12.
struct TvClientMetrics {
    int charWidth, charHeight, marginX, marginY;
};
TvClientMetrics ClientMetricsFrom(int baseWidth, int baseHeight);

// The 3-D control library is bound unless the system is the one that has
// 3-D controls of its own: major version 4 with the high bit of the
// version word set.
bool ShouldBindCtl3d(uint32_t versionWord);

// Menu items start-up removes by the system parameters.
enum { TV_MENU_SEND_MAIL = 1118, TV_MENU_SENDER_NAME = 1313, TV_MENU_OCR = 1314 };
enum TvMenuKind { TV_MENU_MAIN, TV_MENU_SECOND };
struct TvMenuRemoval {
    TvMenuKind menu;
    int command;
};
// Fills out (room for max) with the items to delete: Send mail from the main
// menu without mail, Name of sender from the second menu without routing,
// OCR from the second menu without V4. Returns how many.
int MenuItemsToRemove(bool enableMail, bool enableRouting, bool v4, TvMenuRemoval *out, int max);

// The directory of TAVRINE.INI found by LocateIniFile's search, the path
// built into iniPath; false (with "Cannot find the Tavrine initialisation
// file - ..." shown) when it cannot be found or the path does not fit.
bool FindIniFile(const TvIniSources *sources, char *iniPath, size_t size, const TvShellHooks *hooks);

#endif
