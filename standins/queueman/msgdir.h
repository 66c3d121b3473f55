// The message directory files the desktop client reads, as the queue
// manager keeps them: each account's directories, the MSGDIR.CTL of its
// receive (T-IN) and send (T-OUT) directories, and the group change markers.
//
// Every change of a MSGDIR.CTL is made under an open that denies all others,
// with the file read again inside it; entries are appended at the end and
// changed in place, never reordered, and the whole new text is put back into
// the open file. After the change the file's last-write time (UTC) is set to
// the last whole or half hour, seconds 0: the client's time-mode change test
// takes exactly such a time for "changed by the server".
//
// This part is free of Win32 calls.
#ifndef TAVRINE_STANDINS_MSGDIR_H
#define TAVRINE_STANDINS_MSGDIR_H

#include <functional>
#include <string>

#include "common/platform.h"
#include "common/status.h"

#define MSGDIR_FILE "MSGDIR.CTL"
#define MSGCHG_FILE "MSGCHG.CTL"
#define MSGNEW_FILE "MSGNEW.CTL"

enum MsgDirKind { MSGDIR_RECEIVE, MSGDIR_SEND };

enum {
    MSGDIR_NAME_MAX = 12,        // an 8.3 name
    MSGDIR_COMMENT_MAX = 80,
    MSGDIR_ACCEPTED_SIZE = 18,   // "YY-MM-DD HH:MM:SS" and its zero
    MSGDIR_TEXT_MAX = 1 << 20,   // largest file that is changed
    ACCOUNT_NAME_MAX = 8,
    MAX_ACCOUNTS = 200,
};

// The header paragraph and the empty line that ends it: all a new file holds.
std::string MsgDirHeader(MsgDirKind kind);

// One received message's entry.
struct MsgDirEntry {
    char file[MSGDIR_NAME_MAX + 1];
    char comment[MSGDIR_COMMENT_MAX + 1];
    char format[8];
    char accepted[MSGDIR_ACCEPTED_SIZE];
    char type[8];                // "RECEIVE" or "SCAN"
    char status[3];
    char userStatus[3];
};

// Appends the entry's "[DOCUMENT]" and "[MESSAGE]" paragraphs and an empty
// line. The "File:" line is "File: " and the name, one blank between.
void MsgDirAppendEntry(std::string *text, const MsgDirEntry &e);

// Whether an entry's "File:" value names the message file: the same name
// (any case), or, when file has no dot, the same name up to the dot.
bool MsgDirNameMatches(const char *value, const char *file);

// Sets key ("Status:", "Accepted:") of the "[MESSAGE]" paragraph of the
// first message named file to value. The line keeps its length when the new
// text is shorter (blanks fill the rest). False, and no change, when there
// is no such message or key.
bool MsgDirSetValue(std::string *text, const char *file, const char *key, const char *value);

// Removes the first message named file: its "[DOCUMENT]" paragraph up to the
// next "[DOCUMENT]" or the end. False when there is none.
bool MsgDirRemoveEntry(std::string *text, const char *file);

// The change stamp for a change made at now: the last whole or half hour.
TvFileTime MsgDirChangeStamp(TvFileTime now);

// A marker's next time: its time + 10 s, or now when that is later, or now
// when the result lies more than 365 days ahead of now; whole seconds, and a
// time of day of exactly 00:00:00 becomes 00:00:10. Always after marker
// unless the marker lay more than a year ahead.
TvFileTime MarkerNextTime(TvFileTime marker, TvFileTime now);

// Current time as a file time.
TvFileTime NowFileTime(void);

// Creates dir's MSGDIR.CTL with the header alone when it is missing.
TvStatus MsgDirCreate(const char *dir, MsgDirKind kind);

// Changes dir's MSGDIR.CTL (created first when missing): edit gets the
// whole text and says whether it changed it; a changed text is written back
// and stamped. TV_OK also when edit changed nothing; an error when the file
// can't be opened, read, written or is too large.
TvStatus MsgDirChange(const char *dir, MsgDirKind kind, const std::function<bool(std::string *)> &edit,
                      bool *changed = nullptr);

// Moves the marker file name in dir by MarkerNextTime; a missing marker is
// created with its header ("Type: ReceiveChange").
TvStatus MoveMarker(const char *dir, const char *name);

// ---------------------------------------------------------------- accounts
// The accounts of USERLIST.INI: every [USER] paragraph's "Name:" and every
// group named by a "Group:" entry, upper-cased, each once.
struct Account {
    char name[ACCOUNT_NAME_MAX + 1];
    bool group;
};
int ReadAccounts(const char *userListPath, Account *out, int max);

// Makes <allUserArea><name>\ with T-IN, T-OUT, T-GRAPH and T-DB and the
// header-only MSGDIR.CTL files of T-IN and T-OUT, keeping what exists.
TvStatus MakeAccount(const char *allUserArea, const char *name);

#endif
