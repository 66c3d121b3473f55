// The client's command line and the start-up decisions that need no window.
#ifndef TAVRINE_CLIENT_SHELL_CMDLINE_H
#define TAVRINE_CLIENT_SHELL_CMDLINE_H

#include <cstddef>

#include "client/shell/shellhooks.h"

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

#endif
