// Request files: how the client asks the server's managers (the queue
// manager and the address book manager) for work. A request is written
// complete as "~RQSTnnn.TMP" in the request area and handed over by renaming
// it to ".CTL", so a manager never reads half a request. A request that
// expects an answer points to a request data file "~KINDnnn.ASK" in the
// user's T-DB\ directory; the answer comes back there as "~KINDnnn.ANS".
#ifndef TAVRINE_CLIENT_COMPOSE_REQUEST_H
#define TAVRINE_CLIENT_COMPOSE_REQUEST_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "client/store/logcodes.h"

// Request kinds, as the callers pass them.
enum : int {
    TV_RQ_SEARCH = 1,
    TV_RQ_UPDATE = 2,
    TV_RQ_STATUS = 3,
    TV_RQ_LOGSEARCH = 4,
    TV_RQ_DELETE = 5,
    TV_RQ_HOLD = 6,
    TV_RQ_RELEASE = 7,
    TV_RQ_RUSH = 8,
    TV_RQ_ROUTING = 9,
};

// Strings of the client's string table the functions show.
enum : int {
    TV_RQSTR_CANNOT_CREATE = 45,   // "Cannot create file: %s"
    TV_RQSTR_WAITING_REPLY = 402,  // "Waiting for reply from fax server"
};

// What a request function found.
enum TvRequestStatus {
    TV_RQS_OK = 0,
    TV_RQS_BAD_ARGUMENT,   // a missing context member, or names that do not fit
    TV_RQS_NO_FREE_NAME,   // no free temporary name (or the directory is missing)
    TV_RQS_OPEN_FAILED,    // the reserved file could not be opened for update
    TV_RQS_WRITE_FAILED,   // writing or closing the request failed
    TV_RQS_NAME_TAKEN,     // the ".CTL" name exists: nothing is overwritten
    TV_RQS_RENAME_FAILED,  // the hand-over rename failed
    TV_RQS_DELETE_FAILED,  // some reply files could not be deleted
};
const char* RequestStatusName(TvRequestStatus status);

// One row of the request kind table.
struct TvRequestKindRow {
    int kind;
    const char* server;     // Server: value
    const char* type;       // Type: value
    const char* prefix;     // request data file prefix; null when nothing is answered
    bool messageOperation;  // File: is the message's control file, plus Directory: and Addr: 0
};
// The row of kind; any unknown kind gives the "UNKNOWN" row (answered, prefix "????").
const TvRequestKindRow* FindRequestKind(int kind);

enum { TV_RQ_NAME_SIZE = 13 };   // "~KINDnnn.EXT" and its zero
enum { TV_RQ_PATH_SIZE = 300 };
enum { TV_RQ_DIRNAME_SIZE = 260 };

// The reply the client waits for (one at a time); the periodic timer reads
// the flag.
struct TvReplyState {
    char awaitedReply[TV_RQ_NAME_SIZE];
    bool replyAwaited;
};

// What the request functions take from the running client.
struct TvRequestContext {
    const char* userName;     // the logged-on user
    const char* groupName;    // the user's group (Group:), may be empty
    const char* requestArea;  // ends with '\'
    const char* userDir;      // the user's own directory, ends with '\'
    TvReplyState* reply;
    void* hookContext;
    // One error-log line (code, function name, text).
    void (*log)(void* hookContext, uint16_t code, const char* function, const char* text);
    // The status bar shows string stringId; 0 clears it.
    void (*statusString)(void* hookContext, int stringId);
    // A box with string stringId filled with arg, exclamation icon.
    void (*warnBox)(void* hookContext, int stringId, const char* arg);
};

// The directory of request data files and replies: the user's directory +
// "T-DB\". False (and an empty out) when it does not fit.
bool RequestDataDirectory(const TvRequestContext* ctx, char* out, size_t size);

// The Directory: value for a message's directory path: the name between its
// last two backslashes, or "UNKNOWN" when it has fewer than two (or that
// name is empty or too long for out).
void RequestDirectoryName(const char* path, char* out, size_t size);

// The File: value of a message operation: the data file's name with its
// extension replaced by "CTL" (added when it has none). False when it does
// not fit.
bool ControlFileName(const char* dataFile, char* out, size_t size);

// The User: value: the group's name only for a message operation done for
// the group, else the user's own.
const char* RequestUserName(const TvRequestContext* ctx, int kind, bool forGroup);

// The whole text of a request file for the arguments, lines ended by CR LF.
// Its length, or 0 when it does not fit into out.
size_t FormatRequestFile(const TvRequestContext* ctx, const char* fileName, const char* directory,
                         bool forGroup, int kind, char* out, size_t size);

// For the answered kinds 1-4 and 9 (any other kind is refused): reserves a
// free request data file "~<prefix>nnn.ASK" in the data directory
// (a number is taken only when no file of its stem exists, so neither its
// ".ASK" nor its ".ANS"), opens it for update and gives the stream and the
// bare name. The caller writes the body, closes the stream and then calls
// ReqmanRequest with the name and the same kind.
TvRequestStatus CreateRequestFile(const TvRequestContext* ctx, FILE** stream, char* name, size_t nameSize,
                                  int kind);

// Writes one request file and hands it over. For the answered kinds the
// awaited reply becomes the file name with the extension "ANS", the flag is
// set and the status bar says so; on failure that state is left as it was,
// no temporary request stays behind, and an answered kind's data file is
// deleted (nobody would ever answer it).
TvRequestStatus ReqmanRequest(const TvRequestContext* ctx, const char* fileName, const char* directory,
                              bool forGroup, int kind);

// Forgets the awaited reply, clears the flag and the status bar, and deletes
// every "*.ANS" in the data directory.
TvRequestStatus DeleteAnswerFiles(const TvRequestContext* ctx);

#endif
