// Reply files from the server managers: the awaited-reply state, the header
// dispatch by type, the address-book and routing readers, the reason texts.
// Everything shown or changed in windows goes through a ReplySink, which the
// dialogs fill; the readers themselves hold no window.
#ifndef TAVRINE_CLIENT_STORE_REPLY_H
#define TAVRINE_CLIENT_STORE_REPLY_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Widths of the record fields, in characters (buffers hold one more).
enum {
    TV_ADB_OWNER = 8, TV_ADB_SHORT = 12, TV_ADB_NAME = 30, TV_ADB_TITLE = 8, TV_ADB_FIRST = 20,
    TV_ADB_FAMILY = 20, TV_ADB_DEAR = 20, TV_ADB_SYNONYMS = 40, TV_ADB_POSITION = 30, TV_ADB_DEPT = 30,
    TV_ADB_ORG = 30, TV_ADB_ADDRESS = 25, TV_ADB_POSTCODE = 10, TV_ADB_COUNTRY = 10, TV_ADB_PHONE = 20,
    TV_ADB_USERFIELD = 30, TV_ADB_ROUTE_ADDRESS = 40, TV_ADB_DESCRIPTION = 30,
    TV_ADB_ADDRESS_LINES = 5, TV_ADB_USERFIELDS = 4, TV_ADB_MAX_ROUTES = 4, TV_ADB_MAX_MEMBERS = 50,
    TV_REPLY_NAME_SIZE = 269,          // awaited reply name, 268 characters
    TV_REPLY_FAMILY_DISPLAY = 80,      // FamilyName: as the outcome's display name
    TV_REPLY_BOX_MAX = 160,            // outcome and result box texts
};

struct AddresseeRoute {
    int16_t deviceType;
    char address[TV_ADB_ROUTE_ADDRESS + 1];
};

// The addressee record that the entry editor shows.
struct AddresseeRecord {
    char owner[TV_ADB_OWNER + 1];
    char shortName[TV_ADB_SHORT + 1];
    char name[TV_ADB_NAME + 1];
    char title[TV_ADB_TITLE + 1];
    char firstNames[TV_ADB_FIRST + 1];
    char familyName[TV_ADB_FAMILY + 1];
    char dearName[TV_ADB_DEAR + 1];
    char synonyms[TV_ADB_SYNONYMS + 1];
    char position[TV_ADB_POSITION + 1];
    char department[TV_ADB_DEPT + 1];
    char organisation[TV_ADB_ORG + 1];
    char address[TV_ADB_ADDRESS_LINES][TV_ADB_ADDRESS + 1];
    char postcodeZip[TV_ADB_POSTCODE + 1];
    char country[TV_ADB_COUNTRY + 1];
    char telephone[TV_ADB_PHONE + 1];
    char telephone2[TV_ADB_PHONE + 1];
    char userField[TV_ADB_USERFIELDS][TV_ADB_USERFIELD + 1];
    AddresseeRoute routes[TV_ADB_MAX_ROUTES];
    int16_t routeCount;
};

// The group record that the group editor shows.
struct GroupRecord {
    char owner[TV_ADB_OWNER + 1];
    char groupName[TV_ADB_SHORT + 1];
    char description[TV_ADB_DESCRIPTION + 1];
    int16_t memberCount;
    char members[TV_ADB_MAX_MEMBERS][TV_ADB_SHORT + 1];
};

// Entry kinds of an "Entry:" line.
enum { TV_ENTRY_NONE = 0, TV_ENTRY_NAME = 1, TV_ENTRY_GROUP = 2, TV_ENTRY_ORGANISATION = 3 };

// Request modes and books of an address-book reply.
enum ReplyMode {
    TV_MODE_CHECK, TV_MODE_SEARCH, TV_MODE_ADD, TV_MODE_EDIT, TV_MODE_DELETE, TV_MODE_DELETEALL,
    TV_MODE_BOOTSTRAP
};
enum ReplyBook { TV_BOOK_PRIVATE, TV_BOOK_NETWORK, TV_BOOK_ALL };
enum ReplyStatus { TV_REPLY_OK = 0, TV_REPLY_FA = 1 };
enum RoutingMode { TV_ROUTE_SENDERID, TV_ROUTE_FORWARD, TV_ROUTE_SENDERNAME };

// String ids of this reader.
enum : int {
    TV_STR_NO_REASON = 0xF000,
    TV_STR_REASON_ANF = 200, TV_STR_REASON_AEX = 201, TV_STR_REASON_GNF = 202, TV_STR_REASON_GEX = 203,
    TV_STR_REASON_FUL = 204, TV_STR_REASON_INV = 205, TV_STR_REASON_SYS = 206,
    TV_STR_REASON_AEX_NETWORK = 207, TV_STR_REASON_GEX_NETWORK = 208,
    TV_STR_REASON_TOO = 260, TV_STR_REASON_DIS = 261, TV_STR_REASON_IVN = 262,
    TV_STR_NEW_ENTRY = 63, TV_STR_CHANGE_ENTRY = 64, TV_STR_DELETE_ENTRY = 65,
    TV_STR_PRIVATE_BOOK = 66, TV_STR_NETWORK_BOOK = 67, TV_STR_ACCEPTED = 68, TV_STR_REJECTED = 69,
    TV_STR_NOTHING_FOUND = 77, TV_STR_SEARCH_FAILED = 250,
    TV_STR_WAITING_REPLY = 402,
    TV_STR_ROUTE_SENDERID_OK = 430, TV_STR_ROUTE_FORWARD_OK = 431, TV_STR_ROUTE_SENDERID_FA = 432,
    TV_STR_ROUTE_FORWARD_FA = 433, TV_STR_ROUTE_SENDERNAME_OK = 434, TV_STR_ROUTE_SENDERNAME_FA = 435,
};

// Status code of a routing failure that is not shown for a SENDERNAME request.
enum { TV_ROUTE_QUIET_STATUS = 0xF007 };

// One ADD, EDIT, DELETE or DELETEALL answer as the outcome box shows it.
struct ReplyOutcome {
    ReplyMode mode;
    ReplyBook book;
    ReplyStatus status;
    int kind;                              // TV_ENTRY_*
    char entryName[TV_ADB_SHORT + 1];      // as the Entry: line gives it
};

// What the reply readers need of the client's windows. The defaults show
// nothing and claim no open window.
class ReplySink {
public:
    virtual ~ReplySink() = default;
    // The client's string id into out (size bytes); false when it has none.
    virtual bool LoadText(int id, char* out, size_t size);
    // The first field of a short name's entry in the loaded address-book index.
    virtual bool IndexDisplayName(const char* shortName, char* out, size_t size);
    // The body readers of the queue status and log replies, and the CHECK
    // reader; each returns whether the reply may be deleted.
    virtual bool ResultsFromQueue(FILE* f, const char* path);
    virtual bool ResultsFromServerLog(FILE* f, const char* path);
    virtual bool ResultsFromCheck(FILE* f, const char* path, ReplyStatus status);
    // The outcome box of an update (stop icon when failed); with status OK the
    // sink also brings the index and the open dialogs up to date.
    virtual void ShowOutcome(const ReplyOutcome& outcome, const char* text);
    // Whether the entry or group editor is open.
    virtual bool EditorOpen();
    // The search failure box, owned by the editor.
    virtual void SearchFailed(const char* text);
    // A found group: the description and the member lines shown; returns how
    // many member lines were added.
    virtual int SearchFoundGroup(const GroupRecord& group);
    // A found addressee put into the editor.
    virtual void SearchFoundAddressee(const AddresseeRecord& addressee);
    // "Nothing found" into the editor's list.
    virtual void SearchNothingFound();
    // The status bar's message field: a string id, or restored (0).
    virtual void StatusText(int stringId);
    // The routing failure box, owned by the main window.
    virtual void RoutingRejected(const char* text);
};

// The reason string of a three-letter code (first three letters, any case);
// TV_STR_NO_REASON for any other text or none.
int ReasonStringId(const char* code);
// The same, with the network-book texts for AEX and GEX when userBook is empty.
int ReasonStringIdForBook(const char* code, const char* userBook);

// Copies a reason template into out (size bytes), each "%s" filled in turn
// from first and second (empty when null); "%%" gives "%", any other "%" is
// kept. The text is cut to the room; never a literal "%s" in the result.
void FillReasonText(char* out, size_t size, const char* templ, const char* first, const char* second);

// Kind of the next "Entry:" line of the paragraph; its name (cut to 12) in
// name (13 bytes). TV_ENTRY_NONE when missing or of an unknown kind.
int EntryKind(FILE* f, char* name);

// The records that follow "ShortName:" and "GroupName:" of a "[FOUND]" paragraph.
bool ReadAddresseeEntry(const char* shortName, const char* path, FILE* f, AddresseeRecord* rec);
bool ReadGroupEntry(const char* groupName, const char* path, FILE* f, GroupRecord* rec);

// The readers of a whole reply; true when the reply file may be deleted.
bool DealWithReply(FILE* f, const char* name, const char* path, ReplySink& sink);
bool ResultsFromSearch(FILE* f, const char* path, ReplyStatus status, ReplySink& sink);
bool ResultsFromRouting(FILE* f, const char* path, ReplySink& sink);

// The one awaited reply and when it began to be awaited.
struct ReplyAwaitState {
    bool replyAwaited;
    char awaitedReplyName[TV_REPLY_NAME_SIZE];
    int64_t awaitedSince;      // seconds of the injected clock
    bool checking;             // CheckReplies running
};

// Seconds of waiting after which the list refreshes resume.
enum { TV_REPLY_REFRESH_HOLD_SECONDS = 60 };

// The environment of the awaited-reply check: the clock, the file search
// (true when dir + name exists, with the name as found in found) and the
// deletion of one file.
struct ReplyEnv {
    int64_t (*now)(void* context);
    bool (*findFile)(void* context, const char* dir, const char* name, char* found, size_t foundSize);
    bool (*removeFile)(void* context, const char* path);
    void* context;
    const char* replyDir;      // the user's database directory, with its separator
};

// Marks name as the awaited reply, replacing any other (the request writer's step).
void AwaitReply(ReplyAwaitState& state, const char* name, int64_t now);
// Forgets the awaited reply (the sweep's step).
void ClearAwaitedReply(ReplyAwaitState& state);

// Whether the timer skips its list refreshes at now: while a reply is awaited,
// for its first 60 seconds.
bool RefreshesHeld(const ReplyAwaitState& state, int64_t now);

// False when no reply is awaited; else whether the awaited file exists, with
// its name as found stored back.
bool FindAwaitedReply(ReplyAwaitState& state, const ReplyEnv& env);

// Opens, reads and (when the reader allows) deletes the awaited reply; an
// open failure is logged and leaves the reply awaited for the next tick.
void ProcessReply(ReplyAwaitState& state, const ReplyEnv& env, ReplySink& sink);

// The timer's call: at once when already running, else find and process.
void CheckReplies(ReplyAwaitState& state, const ReplyEnv& env, ReplySink& sink);

#endif
