// The user's settings (USER.INI of type UserProfile: the system default file
// in the system area's T-DB\, then the user's own in the user's T-DB\), the
// system parameters of SETUP.INI, and the writer that rewrites the user's
// file keeping every paragraph the client does not own.
#ifndef TAVRINE_CLIENT_SHELL_PROFILE_H
#define TAVRINE_CLIENT_SHELL_PROFILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "client/shell/errorlog.h"
#include "client/store/listids.h"
#include "client/shell/shellhooks.h"
#include "client/shell/wsconfig.h"

enum { TV_NAME12_MAX = 12, TV_FROM_MAX = 80, TV_PHONE_MAX = 30, TV_PRINTER_PART_MAX = 280, TV_DRIVER_MAX = 12 };

enum { TV_PRIORITY_BACKGROUND = 1, TV_PRIORITY_NORMAL = 2, TV_PRIORITY_URGENT = 3 };
enum { TV_QUALITY_DRAFT = 1, TV_QUALITY_NORMAL = 2, TV_QUALITY_HIGH = 3 };
enum { TV_SEND_NOW = 0, TV_SEND_OFFPEAK = 1, TV_SEND_AT = 2 };
enum { TV_HEADER_NO = 1, TV_HEADER_TO = 2, TV_HEADER_FR = 4, TV_HEADER_DA = 8, TV_HEADER_TI = 16 };
enum { TV_VIEWER_RES_DEFAULT = 3, TV_VIEWER_RES_O = 4 };

struct TvSendTime {
    int16_t year;               // years since 1900
    int16_t month, day, hour, minute, second;
    int32_t mode;               // TV_SEND_*
    int32_t today;              // 1 today, 0 tomorrow (set by the time dialog)
};

// The settings held twice: the system default copy and the user's.
struct TvMessageDefaults {
    char coversheet[TV_NAME12_MAX + 1];
    char letterhead[TV_NAME12_MAX + 1];
    int16_t priority, quality;
    TvSendTime sendTime;
    int16_t header;             // TV_HEADER_* flags
    char scanner[TV_NAME12_MAX + 1];
    char printer[TV_NAME12_MAX + 1];
    bool alertReceive, alertGroupReceive, alertSend, alertPreview, alertFail;
};

// The local printer: device, driver and port.
struct TvLocalPrinter {
    bool set;
    char device[TV_PRINTER_PART_MAX + 1];
    char driver[TV_DRIVER_MAX + 1];
    char port[TV_PRINTER_PART_MAX + 1];
};

struct TvUserProfile {
    char from[TV_FROM_MAX + 1];
    char telephone[TV_PHONE_MAX + 1];
    char fax[TV_PHONE_MAX + 1];
    char email[TV_FROM_MAX + 1];
    char fromParam[TV_PHONE_MAX + 1];
    TvMessageDefaults systemCopy, userCopy;
    bool fileInformation, mailAddressBook;
    char directory[TV_AREA_MAX + 1];
    char match[TV_NAME12_MAX + 1];
    TvLocalPrinter localPrinter;
    bool toolIconRow, toolTextRow; // the tool bar's rows shown
    bool statusBar;
    int16_t viewerRes;
    bool confirmOptions;
    int16_t window;             // TV_LIST_*
    bool tidyReceived, tidySentOk, tidySentFail, tidyPreviewed;
    int16_t tidyAgeInDays;
    bool read;                  // one fully successful read of the user's file
};

// The built-in defaults; the tool bar and status bar keep what they have.
void SetProfileDefaults(TvUserProfile *p, const char *userName, const char *systemArea);

// Whether the stream's header paragraph says "Type: <type>" (any case).
bool ControlFileHasType(FILE *f, const char *type);

// Reads the [OPTIONS] paragraph of an open settings file. systemFile: the
// system default file (skips From:, Directory: and the Tidy keys, writes the
// system copy); else the user's (writes the user's copy). rights are the
// account's, today the date a send time is stored with. 1, or 0 when there
// is no [OPTIONS].
int ReadProfileOptions(FILE *f, bool systemFile, int32_t rights, const TvDateTime &today, TvUserProfile *p);

// The date and time formats from the international settings: sTime (null:
// ":") and sShortDate (null: "yy-mm-dd").
enum { TV_DATE_DMY = 0, TV_DATE_MDY = 1, TV_DATE_YMD = 2 };
struct TvIntlFormats {
    char timeFormat[16];        // "%02d" separator "%02d"
    char dateFormat[24];        // "%02d" separator 1 "%02d" separator 2 "%02d"
    int dateOrder;              // TV_DATE_*
};
void IntlFormatsFrom(const char *sTime, const char *sShortDate, TvIntlFormats *out);

// The system parameters of SETUP.INI.
struct TvSystemParams {
    bool scanners, printers;
    bool enableRouting, enableMail, v4, fullExportFilters, useArchiveAttribute;
    int16_t mailSendFormat;
    char mailSendFileExt[4];
    bool viewAskOrganisation;
    int16_t coverMaxLine, coverLineLen, maxMessageRecipients, sendListEntries;
    int chargeCode;             // 0 not used, 1 required, 2 optional
    bool previewAll;
};

void SetSystemParamDefaults(TvSystemParams *s);

// Reads an open SETUP.INI (type already checked); the check timers still
// unset in cfg are read from its [WORKSTATION].
void ReadSystemParams(FILE *f, TvSystemParams *s, TvWorkstationConfig *cfg, TvErrorLog *log);

// Everything the profile files need from the rest of the client.
struct TvProfileContext {
    const TvShellHooks *hooks;
    TvErrorLog *log;
    const char *systemArea;
    const char *userDbDir;      // the user's T-DB\ directory
    const char *userName;
    int32_t rights;
};

// The file-level steps: open, type check, read; failures logged and shown.
int InitSystemDefaultProfile(const TvProfileContext *ctx, TvUserProfile *p);
int InitUserProfile(const TvProfileContext *ctx, const TvSystemParams *s, TvUserProfile *p);
// Defaults, the system default file, then the user's file; does nothing
// once a read has succeeded.
void ReadUserProfile(const TvProfileContext *ctx, const TvSystemParams *s, TvUserProfile *p);
// Always 1. The timer fall-backs are applied even when SETUP.INI cannot be
// read, so that the lists and the server are still checked.
int InitSystemParams(const TvProfileContext *ctx, TvSystemParams *s, TvWorkstationConfig *cfg);

// The rewrite: old (null for a new file) copied into out without its
// [OPTIONS], [ADDRESSEES] converted to [RECIPIENTS], [RECIPIENTS] kept to
// its newest sendListEntries entries, then the [OPTIONS] of p. 1 when
// neither stream reports an error.
int WriteProfileStream(FILE *old, FILE *out, const TvUserProfile *p, int sendListEntries);

// Rewrites the user's USER.INI in place through a temporary copy. 1 done.
int WriteUserDetails(const TvProfileContext *ctx, const TvSystemParams *s, const TvUserProfile *p);

// Shared with the other readers of the settings files: a path made of dir,
// the string subdirId (0: none) and the string nameId; false when it does
// not fit. And the box of string stringId with the path, owned by the main
// window.
bool ProfileFilePath(char *out, size_t size, const char *dir, int subdirId, int nameId);
void ProfileShowPath(const TvProfileContext *ctx, int stringId, const char *path);

#endif
