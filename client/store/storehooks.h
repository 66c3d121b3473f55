// What the message store needs of the client's shell: the directories and
// options it reads at start-up, and the calls into windows (message boxes,
// the error log, alerts, the offline state). The store is portable code; the
// shell fills the hooks when it starts. Until then the default hooks show
// nothing, log nothing and claim nothing: a file test that needs the shell
// (the archive attribute) answers "cannot tell".
#ifndef TAVRINE_CLIENT_STORE_STOREHOOKS_H
#define TAVRINE_CLIENT_STORE_STOREHOOKS_H

#include <cstdint>

#include "client/store/listids.h"
#include "client/store/logcodes.h"
#include "common/platform.h"

struct MessageListEntry;


// String ids the store shows.
enum : int {
    TV_STR_CANNOT_ACCESS = 42,      // "Cannot access file: %s"
    TV_STR_CANNOT_WRITE = 44,       // "Cannot write to file: %s"
    TV_STR_INFO_PROBLEM = 47,       // "Problem with information file: %s"
    TV_STR_NO_NEW_CHECK = 58,       // "Cannot access %s to check for new messages"
    TV_STR_RECEIVED = 96,
    TV_STR_RECEIVED_ERRORS = 97,
    TV_STR_SENT = 290,
    TV_STR_PREVIEW_READY = 291,
    TV_STR_SEND_FAILED = 293,
    TV_STR_GROUP_UNREAD = 480,
    TV_STR_GROUP_RECEIVED = 481,
};

// Icons of a message box.
enum TvStoreIcon { TV_ICON_NONE, TV_ICON_EXCLAMATION };


struct StoreHooks {
    // One error-log line: code, issuing function, text (already formatted).
    void (*writeErrorLog)(uint16_t code, const char* function, const char* text);
    // A message box with the string stringId, its %s filled with arg.
    void (*showMessage)(int stringId, const char* arg, TvStoreIcon icon);
    // The pending-alert box with string stringId.
    void (*showAlert)(int stringId);
    // The scanner-ready box for entry; null closes it.
    void (*showScannerReady)(const MessageListEntry* entry);
    // The shell's ServerAccessible flag (read and cleared by the store; only
    // the shell sets it again).
    bool (*serverAccessible)(void);
    void (*clearServerAccessible)(void);
    // Brings the main window into its offline state.
    void (*refreshMainWindow)(void);
    // Brings menu and tool bar up to date after a rebuild of listId.
    void (*updateMenuState)(int listId);
    // Whether the fax viewer is open (list redraw is then left on).
    bool (*viewerOpen)(void);
    // Lets waiting window messages through (the forced pump: peek only).
    void (*pumpMessages)(void);
    // The archive attribute of path: true with *set, false when the
    // attributes cannot be read.
    bool (*getArchive)(const char* path, bool* set);
    // Clears the archive attribute, other attributes kept.
    bool (*clearArchive)(const char* path);
    // Wall clock, UTC, as a file time.
    TvFileTime (*nowFileTime)(void);
};

// Installs hooks (null restores the defaults); returns the previous set.
const StoreHooks* SetStoreHooks(const StoreHooks* hooks);
const StoreHooks* GetStoreHooks(void);
const StoreHooks* DefaultStoreHooks(void);

// Sizes of the names the store keeps.
enum { TV_DIR_SIZE = 261, TV_STORE_GROUP_SIZE = 41, TV_MATCH_SIZE = 81 };

// The directories and user options the shell reads at start-up. Directory
// paths end with a separator; an empty group directory means no group.
struct StoreConfig {
    char receiveDir[TV_DIR_SIZE];
    char sendDir[TV_DIR_SIZE];
    char groupReceiveDir[TV_DIR_SIZE];
    char groupName[TV_STORE_GROUP_SIZE];
    char filedDir[TV_DIR_SIZE];
    char match[TV_MATCH_SIZE];        // the user's filed-list pattern
    bool useArchiveAttribute;         // default on
    bool alertReceive, alertGroupReceive, alertSend, alertFail, alertPreview;
};
extern StoreConfig g_storeConfig;

// Remembered state of the NEW and WAITING readers (zero stamps, flags set).
struct StoreState {
    TvFileTime lastChangeMark;        // MSGCHG.CTL last seen
    TvFileTime lastNewMark;           // MSGNEW.CTL last seen
    bool newListFirstPass;
    bool newListSettled;
    bool waitingListSettled;
};
extern StoreState g_storeState;

// Puts config and state back to their start values.
void ResetStoreConfig(void);

// Formats and writes one error-log line through the hooks.
void StoreLog(uint16_t code, const char* function, const char* fmt, ...)
#if defined(__MINGW_PRINTF_FORMAT)
    __attribute__((format(__MINGW_PRINTF_FORMAT, 3, 4)))
#elif defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// The error box of a damaged information file (string 47 with path).
void ErrorBoxFromResource(const char* path);

// Clears ServerAccessible through the hooks.
void ClearFilesAccessible(void);

// File names of the store.
extern const char* const TV_MSGDIR_NAME;   // "MSGDIR.CTL"
extern const char* const TV_MSGCHG_NAME;   // "MSGCHG.CTL"
extern const char* const TV_MSGNEW_NAME;   // "MSGNEW.CTL"
extern const char* const TV_DOCDIR_NAME;   // "TAVRINE.DIR"

#endif
