// The workstation configuration: the [WORKSTATION], [WORKSTATION-1] and
// [SERVER] paragraphs of TAVRINE.INI read into one record, the secondary
// server decision, the user's identification and directories.
#ifndef TAVRINE_CLIENT_SHELL_WSCONFIG_H
#define TAVRINE_CLIENT_SHELL_WSCONFIG_H

#include <cstddef>
#include <cstdint>

#include "client/shell/errorlog.h"
#include "client/shell/identity.h"
#include "client/shell/shellhooks.h"

enum { TV_AREA_MAX = 256, TV_HELP_MAX = 268, TV_DEVICE_NAME_MAX = 12, TV_DEFAULT_USER_MAX = 8 };

// A check timer the configuration left to the system parameters.
enum : int16_t { TV_TIMER_UNSET = -1 };

// The saved main window placement ("Window:" of the configuration).
struct TvWindowPlacement {
    char state;                 // N normal, Z maximised, I minimised
    int screenWidth, left, right;
    int screenHeight, top, bottom;
};

struct TvWorkstationConfig {
    char logArea[TV_AREA_MAX + 1];
    bool checkServer, invertTwain, enableScanner, showTwain, showDashes;
    char decode[TV_AREA_MAX + 1];
    int16_t decodeFormat;
    char ocr[TV_AREA_MAX + 1];
    int16_t ocrFormat;
    char requestArea[TV_AREA_MAX + 1];
    char spool[TV_DEVICE_NAME_MAX + 1];
    char redirect[TV_DEVICE_NAME_MAX + 1];
    int16_t statusTimer;
    // New, idle new, waiting, idle waiting, server: seconds, or unset.
    int16_t checkNewTimer, checkIdleNewTimer, checkWaitingTimer, checkIdleWaitingTimer, checkServerTimer;
    int16_t spoolCheckTimer;
    char help[TV_HELP_MAX + 1];
    bool placementSaved;        // Window: read in full
    TvWindowPlacement placement;
    bool startMaximised;
    bool useSavedPlacement;     // the placement fits the current screen
    char fileArea[TV_AREA_MAX + 1];
    char systemArea[TV_AREA_MAX + 1];
    char defaultUser[TV_DEFAULT_USER_MAX + 1];
    int network;
    int mail;
    // User's directory + T-IN\, T-OUT\, T-GRAPH\, T-DB\; the group's T-IN\ and T-DB\.
    char userDirs[4][TV_AREA_MAX + 1];
    char groupDirs[2][TV_AREA_MAX + 1];
    bool secondarySelected;     // [WORKSTATION-1] is in force
    bool serverRunning, serverAccessible;
};

// Results of ReadWorkstationConfig.
enum {
    TV_CFG_OK = 0,
    TV_CFG_CANNOT_OPEN = 1,
    TV_CFG_NO_WORKSTATION = 2,
    TV_CFG_NO_LOG_AREA = 3,
    TV_CFG_END_SILENTLY = 4,
    TV_CFG_LOGGED_ERROR = 5,
};

struct TvConfigContext {
    const TvShellHooks *hooks;
    TvErrorLog *log;            // ErrorLogInit is run on it with the log area
    bool quietStart;
    bool viewer;                // only chooses the start line's text
};

// Reads the configuration at iniPath into cfg and identifies the user into
// id (its defaultUser comes from the file). See the result codes.
int ReadWorkstationConfig(const char *iniPath, const TvConfigContext *ctx, TvWorkstationConfig *cfg,
                          TvIdentity *id);

// The start-up's reaction to a result: 1 go on; else 0, having shown
// "Invalid initialisation file: " and the path where one is due.
int ReportConfigResult(int result, const char *iniPath, const TvShellHooks *hooks);

// Network types by value prefix; 0 for an unknown value.
int NetworkTypeFromValue(const char *value);
// Mail systems by value prefix; -1 for an unknown value.
int MailSystemFromValue(const char *value);
// Flag values: "NO..." off else on; "YES..." on else off.
bool FlagNotNo(const char *value);
bool FlagYes(const char *value);
// A format name for the decode and OCR programs: 5, 6 and 7 as they are,
// convertible 51, 52 and 61, anything else 6.
int16_t ProgramFormatFromName(const char *value);

// "%c %d %d %d %d %d %d"; false unless all seven fields read.
bool ParseWindowPlacement(const char *value, TvWindowPlacement *out);
// Whether a saved placement fits the current screen.
bool PlacementFits(const TvWindowPlacement &p, int screenWidth, int screenHeight);

// A directory value: '\' added when missing, upper case. False (out empty)
// when it does not fit.
bool StoreDirectory(const char *value, char *out, size_t size);

// A user area template with %NAME% or %USERNAME% (any case) at its first
// '%' replaced by name, '\' added. False when it does not fit.
bool ExpandUserArea(const char *templ, const char *name, char *out, size_t size);

// Fills the check timers still unset: new and waiting from the status
// timer, the idle ones from those, the server's from ten status timers.
void ResolveCheckTimers(TvWorkstationConfig *cfg);

#endif
