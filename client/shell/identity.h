// Who the user is: the user list USERLIST.INI, the account's rights and
// limits, the log-on name lookup and the login dialog's decision.
#ifndef TAVRINE_CLIENT_SHELL_IDENTITY_H
#define TAVRINE_CLIENT_SHELL_IDENTITY_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "client/shell/shellhooks.h"

// Rights of an account.
enum : int32_t {
    TV_RIGHT_NETWORK_EDIT = 1,
    TV_RIGHT_URGENT = 2,
    TV_RIGHT_ADMIN = 4,
    TV_RIGHT_RUSH_TO_TOP = 8,
    TV_RIGHT_PRIVATE_EDIT = 16,
    TV_RIGHT_SUBMIT_ANY = 32,
    TV_RIGHT_GROUP_ADMIN = 64,
    // What an account has before its entries are read.
    TV_RIGHTS_DEFAULT = TV_RIGHT_NETWORK_EDIT | TV_RIGHT_URGENT | TV_RIGHT_PRIVATE_EDIT |
                        TV_RIGHT_SUBMIT_ANY | TV_RIGHT_GROUP_ADMIN,
};

// Call classes: local, national bands 1-9, international bands 1-9.
enum : int32_t {
    TV_DIAL_LOCAL = 1,
    TV_DIAL_NATIONAL_ALL = 0x3FE,        // bits 1-9
    TV_DIAL_INTERNATIONAL_ALL = 0x7FC00, // bits 10-18
    TV_DIAL_ANY = -1,
};
inline int32_t DialNationalBand(int band) { return static_cast<int32_t>(1) << band; }
inline int32_t DialInternationalBand(int band) { return static_cast<int32_t>(1) << (band + 9); }

// Days: SUN 1, MON 2 ... SAT 64.
enum : int16_t { TV_DAYS_ALL = 127 };

struct TvUserLimits {
    int16_t afterHour, afterMinute;
    int16_t beforeHour, beforeMinute;
    int16_t days;
    int32_t dial;
    int32_t rights;
};

// Error codes of ReadUserList.
enum : uint16_t {
    TV_UL_NOT_FOUND = 0xF029,
    TV_UL_CANNOT_OPEN = 0xF02A,
    TV_UL_BAD_DIAL = 0xF02B,
    TV_UL_BAD_NETWORK_EDIT = 0xF02C,
    TV_UL_BAD_SEND_TIME = 0xF02D,
    TV_UL_BAD_URGENT = 0xF02E,
    TV_UL_BAD_ADMIN = 0xF02F,
    TV_UL_BAD_RUSH_TO_TOP = 0xF032,
    TV_UL_BAD_PRIVATE_EDIT = 0xF039,
    TV_UL_BAD_SUBMIT_ANY = 0xF03A,
    TV_UL_BAD_GROUP_ADMIN = 0xF03D,
};

// Adds the call classes of a Dial: value to *dial. A National or
// International token alone means all nine bands unless digits follow it:
// then the first digit replaces them with its band and later digits add
// theirs. 1, or 0 for a bad token (*dial keeps what was read before it).
int ParseDialLimit(const char *value, int32_t *dial);

// Reads a SendTime: value (AFTER hh:mm, BEFORE hh:mm, day names) into
// limits. 1, or 0 for a bad token.
int ParseSendTimeLimit(const char *value, TvUserLimits *limits);

// Reads the entry lines of the paragraph at the stream's position into
// limits (defaults first) and puts the position back. 0, or the code of the
// last bad line.
uint16_t ReadUserList(FILE *f, TvUserLimits *limits);

// Network kinds of the workstation configuration that choose the key.
enum { TV_NET_LANMANAGER = 2, TV_NET_WFW = 3, TV_NET_NETWARE = 4 };

enum { TV_NETWORK_NAME_SIZE = 21, TV_USER_NAME_SIZE = 9, TV_GROUP_NAME_SIZE = 9 };

// The session's identity.
struct TvIdentity {
    char networkName[TV_NETWORK_NAME_SIZE];
    char userName[TV_USER_NAME_SIZE];
    char group[TV_GROUP_NAME_SIZE];
    char defaultUser[TV_USER_NAME_SIZE]; // from the configuration or the login dialog
    TvUserLimits limits;
};

// Results of GetUserIdentity.
enum {
    TV_ID_FOUND = 0,
    TV_ID_NAME_ALREADY_SET = 1,
    TV_ID_NO_NETWORK_NAME = 2,
    TV_ID_DEFAULT_TOO_LONG = 3,
    TV_ID_NO_ACCOUNT = 7,
    TV_ID_BAD_ACCOUNT = 9,
};

// Looks the user up in the user list at listPath: by the log-on name (from
// hooks) under the key the network kind chooses, or by the default user
// under Name:. Fills the user name, group and limits.
int GetUserIdentity(TvIdentity *id, const char *listPath, int networkKind, const TvShellHooks *hooks);

// The user list's path under the system area, upper case; false when it
// does not fit.
bool UserListPath(const char *systemArea, char *out, size_t size);

// GetUserIdentity on the system area's user list; on success the user name
// is upper-cased (1), on failure it becomes "???" (0).
int IdentifyUser(TvIdentity *id, const char *systemArea, int networkKind, const TvShellHooks *hooks);

// The login dialog's OK: the typed name (at most 8 characters) becomes the
// default user and is looked up. 1 when found (user name upper-cased); else
// shows "No Tavrine account set up for " and the name, and gives 0.
int LoginWithName(TvIdentity *id, const char *typed, const char *systemArea, int networkKind,
                  const TvShellHooks *hooks);

// ---------------------------------------------------------------- scrambler
// The reversible scrambling of a stored secret (a database parameter). The
// seed (0-999) is normally the millisecond part of the clock.
// 1 done; 0 when the text does not fit outSize.
int ScrambleFieldSeeded(const char *clear, char *out, size_t outSize, int seed);
int ScrambleField(const char *clear, char *out, size_t outSize);
// 1 done; 0 when the text is malformed or does not fit outSize.
int UnscrambleField(const char *scrambled, char *out, size_t outSize);

#endif
