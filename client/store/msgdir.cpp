#include "client/store/msgdir.h"

#include <cstdio>
#include <cstring>

#include "client/store/ctltypes.h"
#include "client/store/dirfilter.h"
#include "client/store/storefile.h"
#include "client/store/storehooks.h"
#include "common/ctlfile.h"
#include "common/sharedfile.h"

namespace {

// Limits of the entry lines as the readers take them.
enum {
    TV_RECEIVE_FILE_LINE_MAX = 18,   // "File: " and an 8.3 name
    TV_ACCEPTED_LINE_MAX = 27,
    TV_SEND_NAME_MAX = 12,
    TV_ASSOC_WORD_MAX = 260,
    TV_COMMENT_COLUMN = 9,           // "Comment: " with one blank
    TV_ACCEPTED_FIELDS = 6,
};

enum : int64_t {
    TV_MARK_STEP_SECONDS = 10,
    TV_MARK_FUTURE_LIMIT = 31536000,  // a marker further ahead is reset to now
    TV_SECONDS_PER_DAY = 86400,
};

const char kFileLinePrefix[] = "FILE: ";

// One pass over a MSGDIR.CTL: the stream, its path, the log name, the line.
struct Reader {
    FILE* f = nullptr;
    StoreText text;
    const char* path = nullptr;
    const char* function = nullptr;
    char line[TV_LINE_SIZE] = {};
    int32_t linePos = 0;
    bool failed = false;
};

bool Fail(Reader& r, const char* fmt)
{
    ErrorBoxFromResource(r.path);
    StoreLog(TV_LOG_BAD_ENTRY, r.function, fmt, r.path);
    r.failed = true;
    return false;
}

bool Need(Reader& r, const char* key, const char* missing)
{
    if (r.text.FindEntry(key, r.line, sizeof r.line, &r.linePos))
        return true;
    return Fail(r, missing);
}

// "[MESSAGE]" with "Accepted:", "Type:" and "Status:" into e; Type: words
// map to kinds through names/kinds (two of them). The reader stands behind
// the Status: line after success.
bool ReadMessageCommon(Reader& r, MessageListEntry& e, const char* const names[2], const int32_t kinds[2])
{
    if (!Need(r, "Accepted:", "Cannot find [MESSAGE] Accepted: entry in %s"))
        return false;
    AsciiUpper(r.line);
    int v[TV_ACCEPTED_FIELDS];
    if (std::strlen(r.line) > TV_ACCEPTED_LINE_MAX ||
        std::sscanf(r.line, "ACCEPTED: %d-%d-%d %d:%d:%d", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) !=
            TV_ACCEPTED_FIELDS)
        return Fail(r, "Invalid [MESSAGE] Accepted: entry in %s");
    e.Year = v[0];
    e.Month = v[1];
    e.Day = v[2];
    e.Hour = v[3];
    e.Minute = v[4];
    e.Second = v[5];

    if (!Need(r, "Type:", "Cannot find [MESSAGE] Type: entry in %s"))
        return false;
    char word[TV_LINE_SIZE];
    FirstWord(ValueAfterKey(r.line, 5), word, sizeof word);
    e.Kind = TV_KIND_DELETED;
    for (int i = 0; i < 2; ++i)
        if (AsciiCompareNoCase(word, names[i]) == 0)
            e.Kind = kinds[i];
    if (e.Kind == TV_KIND_DELETED)
        return Fail(r, "Invalid [MESSAGE] Status: entry in %s");

    if (!Need(r, "Status:", "Cannot find [MESSAGE] Status: entry in %s"))
        return false;
    FirstWord(ValueAfterKey(r.line, 7), word, sizeof word);
    CopyString(e.Status, word, TV_ENTRY_STATUS_SIZE);
    return true;
}

// "UserStatus:": the entry's value; value points at it in r.line.
bool ReadUserStatus(Reader& r, MessageListEntry& e, const char** value)
{
    if (!Need(r, "UserStatus:", "Cannot find [MESSAGE] UserStatus: entry in %s"))
        return false;
    *value = ValueAfterKey(r.line, 11);
    char word[TV_LINE_SIZE];
    FirstWord(*value, word, sizeof word);
    CopyString(e.UserStatus, word, TV_ENTRY_STATUS_SIZE);
    return true;
}

// Rewrites the user status in place; false on a write failure.
bool WriteUserStatus(Reader& r, MessageListEntry& e, const char* value, const char* newStatus)
{
    if (!RewriteValueInPlace(r.f, r.line, r.linePos, value, newStatus))
        return false;
    CopyString(e.UserStatus, newStatus, TV_ENTRY_STATUS_SIZE);
    return true;
}

// The NEW list's comment: "(group) " before a group message's text.
void NewComment(MessageListEntry& e, const char* line, int32_t groupFlag)
{
    char text[TV_ENTRY_COMMENT_SIZE + TV_STORE_GROUP_SIZE + 4] = "";
    if (groupFlag) {
        const char* g = g_storeConfig.groupName;
        if (*g && !IsAsciiAlnum(static_cast<unsigned char>(*g)))
            ++g;
        std::snprintf(text, sizeof text, "(%s) ", g);
    }
    if (std::strlen(line) > TV_COMMENT_COLUMN) {
        size_t have = std::strlen(text);
        CopyString(text + have, line + TV_COMMENT_COLUMN, static_cast<int16_t>(sizeof text - have));
    }
    CopyString(e.Comment, text, TV_ENTRY_COMMENT_SIZE);
}

void RedrawOff(const ListView* view)
{
    if (!GetStoreHooks()->viewerOpen())
        view->setRedraw(view->context, false);
}

void RedrawOn(const ListView* view) { view->setRedraw(view->context, true); }

// Marks a directory file read before a pass: archive attribute cleared, or,
// in time mode, the file's time set to now so it no longer looks stamped.
void MarkRead(const char* path, const char* function, bool clearArchiveInTimeMode)
{
    const StoreHooks* h = GetStoreHooks();
    if (g_storeConfig.useArchiveAttribute) {
        h->clearArchive(path);
        return;
    }
    if (clearArchiveInTimeMode)
        h->clearArchive(path);
    if (SetFileTimeRetry(path, TV_FILETIME_WAIT_SECONDS, h->nowFileTime()) != TV_CR_OK)
        StoreLog(TV_LOG_EDIT, function, "Cannot access file %s", path);
}

// Opens a directory file for a pass. Null when it cannot: an access refusal
// (the file exists but another program holds it) leaves the list alone, any
// other failure takes the list and the client offline.
FILE* OpenForPass(const char* path, const char* mode, const char* function, MessageListTable* table,
                  const ListView* view)
{
    FILE* f = OpenSharedRetry(path, mode);
    if (f)
        return f;
    StoreLog(TV_LOG_OPEN, function, "Cannot open file for reading/writing %s", path);
    if (!TvPlatFileExists(path)) {
        GetStoreHooks()->showMessage(TV_STR_CANNOT_WRITE, path, TV_ICON_NONE);
        StoreListInvalidate(table, view);
        ClearFilesAccessible();
    }
    return nullptr;
}

void GoOffline(MessageListTable* table, const ListView* view)
{
    StoreListInvalidate(table, view);
    ClearFilesAccessible();
}

// Opens and checks a directory file and takes its text for a pass; false
// (the file closed, redraw on, the list offline where the failure says so)
// when the pass cannot run.
bool BeginPass(Reader& r, const char* path, const char* function, const char* mode, int type,
               MessageListTable* table, const ListView* view)
{
    r.path = path;
    r.function = function;
    r.f = OpenForPass(path, mode, function, table, view);
    if (!r.f) {
        RedrawOn(view);
        return false;
    }
    if (CheckControlFile(r.f, path, 1) != type || !r.text.Load(r.f)) {
        GoOffline(table, view);
        std::fclose(r.f);
        RedrawOn(view);
        return false;
    }
    return true;
}

// After the entries: false (the list offline, the file closed, redraw on)
// when the pass met a damaged entry or could not write its rewrites.
bool FinishPass(Reader& r, bool writeFailed, MessageListTable* table, const ListView* view)
{
    if (!r.failed && (writeFailed || std::ferror(r.f))) {
        ErrorBoxFromResource(r.path);
        StoreLog(TV_LOG_WRITE, r.function, "Cannot write to file %s", r.path);
        r.failed = true;
    }
    if (!r.failed)
        return true;
    GoOffline(table, view);
    std::fclose(r.f);
    RedrawOn(view);
    return false;
}

// The chosen alert, by rank: a failure outranks a ready preview, which
// outranks a sent message.
void ChooseWaitingAlert(int* alert, int candidate)
{
    if (candidate == TV_STR_PREVIEW_READY) {
        if (g_storeConfig.alertPreview && (*alert == 0 || *alert == TV_STR_SENT))
            *alert = candidate;
    } else if (candidate == TV_STR_SENT) {
        if (g_storeConfig.alertSend && *alert == 0)
            *alert = candidate;
    } else if (candidate == TV_STR_SEND_FAILED) {
        if (g_storeConfig.alertFail &&
            (*alert == 0 || *alert == TV_STR_SENT || *alert == TV_STR_PREVIEW_READY))
            *alert = candidate;
    }
}

} // namespace

void NewListInfoFile(const char* path, MessageListTable* table, int32_t groupFlag, bool* unread)
{
    const StoreHooks* h = GetStoreHooks();
    const ListView* view = ListViewOf(TV_LIST_NEW);
    RedrawOff(view);
    if (!groupFlag)
        MarkRead(path, "NewListInfoFile", false);

    Reader r;
    if (!BeginPass(r, path, "NewListInfoFile", groupFlag ? "rb" : "r+b", TV_CTL_RECEIVEDIR, table, view))
        return;

    static const char* const kTypes[2] = {"RECEIVE", "SCAN"};
    static const int32_t kKinds[2] = {TV_KIND_RECEIVE, TV_KIND_SCAN};
    int32_t cursor = 0;
    MessageListEntry scanner;
    bool haveScanner = false, writeFailed = false;
    int alert = 0;
    while (r.text.FindParagraph("[DOCUMENT]", r.line, sizeof r.line)) {
        MessageListEntry e;
        ClearListEntry(&e, groupFlag);
        if (!Need(r, "File:", "Cannot find [DOCUMENT] File: in %s"))
            break;
        AsciiUpper(r.line);
        size_t len = std::strlen(r.line);
        const size_t prefix = sizeof kFileLinePrefix - 1;
        if (len > TV_RECEIVE_FILE_LINE_MAX || len <= prefix ||
            std::strncmp(r.line, kFileLinePrefix, prefix) != 0 || r.line[prefix] == ' ') {
            Fail(r, "Invalid [DOCUMENT] File: entry in %s");
            break;
        }
        CopyString(e.Name, r.line + prefix, TV_ENTRY_NAME_SIZE);
        if (!Need(r, "Comment:", "Cannot find [DOCUMENT] Comment: entry in %s"))
            break;
        NewComment(e, r.line, groupFlag);
        if (!r.text.FindParagraph("[MESSAGE]", r.line, sizeof r.line)) {
            Fail(r, "Cannot find [MESSAGE] paragraph in %s");
            break;
        }
        if (!Need(r, "Format:", "Cannot find [MESSAGE] Format: entry in %s") ||
            !ReadMessageCommon(r, e, kTypes, kKinds))
            break;
        if (!SameStatusCode(e.Status, "OK") && !SameStatusCode(e.Status, "Fa"))
            g_storeState.newListSettled = false;
        const char* value = nullptr;
        if (!ReadUserStatus(r, e, &value))
            break;

        bool finished = SameStatusCode(e.Status, "OK") || SameStatusCode(e.Status, "Fa");
        if (e.Kind == TV_KIND_SCAN && SameStatusCode(e.Status, "WD")) {
            if (!groupFlag && !haveScanner) {
                scanner = e;
                haveScanner = true;
            }
        } else if (finished && e.Kind == TV_KIND_RECEIVE) {
            if (SameStatusCode(e.UserStatus, "Wa") || SameStatusCode(e.UserStatus, "Aw"))
                *unread = true;
            if (!groupFlag && SameStatusCode(e.UserStatus, "Wa")) {
                bool ok = SameStatusCode(e.Status, "OK");
                if (!WriteUserStatus(r, e, value, ok ? "Aw" : "Fa"))
                    writeFailed = true;
                else if (g_storeConfig.alertReceive && alert == 0)
                    alert = ok ? TV_STR_RECEIVED : TV_STR_RECEIVED_ERRORS;
            }
        } else if (finished && e.Kind == TV_KIND_SCAN) {
            // The group's file is read-only to this reader; an OK already
            // there is not written again.
            if (!groupFlag && !SameStatusCode(e.UserStatus, "OK") && !WriteUserStatus(r, e, value, "OK"))
                writeFailed = true;
        }
        while (FillListFromEntries(view, &cursor, &e, groupFlag, table))
        {
        }
    }

    if (!FinishPass(r, writeFailed, table, view))
        return;
    std::fclose(r.f);
    DeleteRemainingEntries(view, cursor, groupFlag, table);
    if (!groupFlag)
        h->showScannerReady(haveScanner ? &scanner : nullptr);
    RedrawOn(view);
    if (alert)
        h->showAlert(alert);
}

void UpdateNewList(void)
{
    const StoreHooks* h = GetStoreHooks();
    MessageListTable* table = ListTable(TV_LIST_NEW);
    g_storeState.newListSettled = true;
    int alert = 0;
    char path[TV_STORE_PATH_SIZE];
    if (g_storeConfig.groupReceiveDir[0] &&
        StorePath(path, sizeof path, g_storeConfig.groupReceiveDir, TV_MSGDIR_NAME)) {
        FILE* probe = TvPlatOpenRead(path);
        if (probe) {
            std::fclose(probe);
            bool changed = false, arrived = false, unread = false;
            GroupInfoChanged(TV_LIST_NEW, true, &changed);
            NewListInfoFile(path, table, 1, &unread);
            GroupNewArrived(TV_LIST_NEW, &arrived);
            if (g_storeConfig.alertGroupReceive) {
                if (g_storeState.newListFirstPass && unread)
                    alert = TV_STR_GROUP_UNREAD;
                else if (!g_storeState.newListFirstPass && arrived)
                    alert = TV_STR_GROUP_RECEIVED;
            }
        } else {
            StoreLog(TV_LOG_LOCKED, "UpdateNewList", "Cannot open file for reading %s", path);
            GoOffline(table, ListViewOf(TV_LIST_NEW));
            h->showMessage(TV_STR_NO_NEW_CHECK, path, TV_ICON_EXCLAMATION);
            g_storeConfig.groupReceiveDir[0] = '\0';
        }
    }
    if (StorePath(path, sizeof path, g_storeConfig.receiveDir, TV_MSGDIR_NAME)) {
        bool unread = false;
        NewListInfoFile(path, table, 0, &unread);
    }
    if (alert)
        h->showAlert(alert);
    g_storeState.newListFirstPass = false;
}

void UpdateWaitingList(void)
{
    const StoreHooks* h = GetStoreHooks();
    MessageListTable* table = ListTable(TV_LIST_WAITING);
    const ListView* view = ListViewOf(TV_LIST_WAITING);
    RedrawOff(view);
    g_storeState.waitingListSettled = true;

    char path[TV_STORE_PATH_SIZE];
    if (!StorePath(path, sizeof path, g_storeConfig.sendDir, TV_MSGDIR_NAME)) {
        RedrawOn(view);
        return;
    }
    MarkRead(path, "UpdateWaitingList", true);
    Reader r;
    if (!BeginPass(r, path, "UpdateWaitingList", "r+b", TV_CTL_SENDDIR, table, view))
        return;

    static const char* const kTypes[2] = {"SEND", "PREVIEW"};
    static const int32_t kKinds[2] = {TV_KIND_SEND, TV_KIND_PREVIEW};
    int32_t cursor = 0;
    int alert = 0;
    bool writeFailed = false;
    char word[TV_LINE_SIZE];
    while (r.text.FindParagraph("[DOCUMENT]", r.line, sizeof r.line)) {
        MessageListEntry e;
        ClearListEntry(&e, 0);
        if (!Need(r, "File:", "Cannot find [DOCUMENT] File: in %s"))
            break;
        AsciiUpper(r.line);
        size_t len = FirstWord(ValueAfterKey(r.line, 5), word, sizeof word);
        if (len == 0 || len > TV_SEND_NAME_MAX) {
            Fail(r, "Invalid [DOCUMENT] File: entry in %s");
            break;
        }
        CopyString(e.Name, word, TV_ENTRY_NAME_SIZE);
        if (!Need(r, "Comment:", "Cannot find [DOCUMENT] Comment: entry in %s"))
            break;
        CopyString(e.Comment, ValueAfterKey(r.line, 8), TV_ENTRY_COMMENT_SIZE);
        if (!r.text.FindParagraph("[MESSAGE]", r.line, sizeof r.line)) {
            Fail(r, "Cannot find [MESSAGE] paragraph in %s");
            break;
        }
        if (!Need(r, "AssocFile:", "Cannot find [MESSAGE] AssocFile: entry in %s"))
            break;
        AsciiUpper(r.line);
        const char* assoc = ValueAfterKey(r.line, 10);
        if (FirstWord(assoc, word, sizeof word) > TV_ASSOC_WORD_MAX) {
            Fail(r, "Invalid [MESSAGE] AssocFile: entry in %s");
            break;
        }
        if (std::strlen(assoc) >= TV_ENTRY_ASSOC_SIZE - 1) {
            const char* sep = std::strrchr(assoc, '\\');
            if (sep)
                assoc = sep + 1;
        }
        CopyString(e.AssocFile, assoc, TV_ENTRY_ASSOC_SIZE);
        if (!ReadMessageCommon(r, e, kTypes, kKinds))
            break;
        if (!SameStatusCode(e.Status, "OK") && !SameStatusCode(e.Status, "Fa") && !SameStatusCode(e.Status, "He"))
            g_storeState.waitingListSettled = false;
        const char* value = nullptr;
        if (!ReadUserStatus(r, e, &value))
            break;
        if (SameStatusCode(e.UserStatus, "Wa")) {
            const char* next = nullptr;
            if (SameStatusCode(e.Status, "He") && e.Kind == TV_KIND_PREVIEW) {
                next = "Aw";
                ChooseWaitingAlert(&alert, TV_STR_PREVIEW_READY);
            } else if (SameStatusCode(e.Status, "OK")) {
                next = "OK";
                ChooseWaitingAlert(&alert, TV_STR_SENT);
            } else if (SameStatusCode(e.Status, "Fa")) {
                next = "OK";
                ChooseWaitingAlert(&alert, TV_STR_SEND_FAILED);
            }
            if (next && std::strcmp(next, e.UserStatus) != 0 && !WriteUserStatus(r, e, value, next))
                writeFailed = true;
        }
        while (FillListFromEntries(view, &cursor, &e, 0, table))
        {
        }
    }

    if (!FinishPass(r, writeFailed, table, view))
        return;
    if (!g_storeConfig.useArchiveAttribute) {
        // The client's own rewrites must not look like the server's stamp:
        // stamped through the open stream, before the close.
        h->clearArchive(path);
        if (TvPlatSetStreamFileTime(r.f, h->nowFileTime()) != TV_CR_OK)
            StoreLog(TV_LOG_EDIT, r.function, "Cannot access file %s", path);
    }
    std::fclose(r.f);
    DeleteRemainingEntries(view, cursor, 0, table);
    RedrawOn(view);
    if (alert)
        h->showAlert(alert);
}

int GroupInfoChanged(int listId, bool remember, bool* changed)
{
    *changed = false;
    char path[TV_STORE_PATH_SIZE];
    TvFileTime t;
    if (listId != TV_LIST_NEW || !g_storeConfig.groupReceiveDir[0] ||
        !StorePath(path, sizeof path, g_storeConfig.groupReceiveDir, TV_MSGCHG_NAME) ||
        TvPlatGetFileTime(path, &t) != TV_CR_OK)
        return 1;
    *changed = t != g_storeState.lastChangeMark;
    if (remember)
        g_storeState.lastChangeMark = t;
    return 1;
}

int GroupNewArrived(int listId, bool* changed)
{
    *changed = false;
    char path[TV_STORE_PATH_SIZE];
    TvFileTime t;
    if (listId != TV_LIST_NEW || !g_storeConfig.groupReceiveDir[0] ||
        !StorePath(path, sizeof path, g_storeConfig.groupReceiveDir, TV_MSGNEW_NAME) ||
        TvPlatGetFileTime(path, &t) != TV_CR_OK)
        return 1;
    *changed = t != g_storeState.lastNewMark;
    g_storeState.lastNewMark = t;
    return 1;
}

int MarkGroupInfoChanged(int listId)
{
    char path[TV_STORE_PATH_SIZE];
    if (listId != TV_LIST_NEW || !g_storeConfig.groupReceiveDir[0])
        return 1;
    if (!StorePath(path, sizeof path, g_storeConfig.groupReceiveDir, TV_MSGCHG_NAME))
        return 0;
    if (!TvPlatFileExists(path)) {
        FILE* f = OpenSharedRetry(path, "ab");
        if (f) {
            std::fputs("[TAVRINE]\r\nType: ReceiveChange\r\nRevision: A\r\n\r\n", f);
            bool ok = !std::ferror(f);
            ok = std::fclose(f) == 0 && ok;
            if (ok)
                return 1;
        }
    }
    TvCreateResult why;
    int err;
    FILE* probe = TvPlatOpen(path, TV_ACCESS_READWRITE, TV_OPEN_EXISTING, TV_DENY_NONE, false, "r+b", &why, &err);
    if (!probe) {
        StoreLog(TV_LOG_OPEN, "MarkGroupInfoChanged", "Cannot open file for reading/writing %s", path);
        return 0;
    }
    std::fclose(probe);
    TvFileTime t;
    if (GetFileTimeRetry(path, TV_FILETIME_WAIT_SECONDS, &t) != TV_CR_OK) {
        StoreLog(TV_LOG_LOCKED, "UpdateNewList", "Cannot get timestamp for file %s", path);
        return 0;
    }
    // Whole seconds, UTC throughout.
    int64_t now = FileTimeToSeconds(GetStoreHooks()->nowFileTime());
    int64_t next = FileTimeToSeconds(t) + TV_MARK_STEP_SECONDS;
    if (next < now)
        next = now;
    if (next > now + TV_MARK_FUTURE_LIMIT)
        next = now;
    if (next % TV_SECONDS_PER_DAY == 0)
        next += TV_MARK_STEP_SECONDS;
    if (SetFileTimeRetry(path, TV_FILETIME_WAIT_SECONDS, SecondsToFileTime(next)) != TV_CR_OK) {
        StoreLog(TV_LOG_LOCKED, "UpdateNewList", "Cannot set timestamp for file %s", path);
        return 0;
    }
    return 1;
}

void UpdateInfoStatus(const MessageListEntry* entry, int listId)
{
    const char* dir;
    if (listId == TV_LIST_NEW)
        dir = entry->InGroup ? g_storeConfig.groupReceiveDir : g_storeConfig.receiveDir;
    else if (listId == TV_LIST_WAITING)
        dir = g_storeConfig.sendDir;
    else
        return;
    char path[TV_STORE_PATH_SIZE];
    if (!dir[0] || !StorePath(path, sizeof path, dir, TV_MSGDIR_NAME))
        return;
    Reader r;
    r.path = path;
    r.function = "UpdateInfoStatus";
    r.f = OpenSharedRetry(path, "r+b");
    if (!r.f) {
        StoreLog(TV_LOG_OPEN, r.function, "Cannot open file for reading/writing %s", path);
        return;
    }
    if (CheckControlFile(r.f, path, 1) == TV_CTL_INVALID || !r.text.Load(r.f)) {
        std::fclose(r.f);
        return;
    }
    char word[TV_LINE_SIZE];
    bool found = false;
    while (!found && r.text.FindParagraph("[DOCUMENT]", r.line, sizeof r.line)) {
        if (!Need(r, "File:", "Cannot find [DOCUMENT] File: in %s"))
            break;
        FirstWord(ValueAfterKey(r.line, 5), word, sizeof word);
        found = AsciiCompareNoCase(word, entry->Name) == 0;
    }
    if (!found) {
        std::fclose(r.f);
        return;
    }
    bool wrote = false, writeFailed = false;
    do {
        if (!r.text.FindParagraph("[MESSAGE]", r.line, sizeof r.line)) {
            Fail(r, "Cannot find [MESSAGE] paragraph in %s");
            break;
        }
        if (!Need(r, "Type:", "Cannot find [MESSAGE] Type: entry in %s"))
            break;
        const char* value = ValueAfterKey(r.line, 5);
        FirstWord(value, word, sizeof word);
        if (AsciiCompareNoCase(word, "PREVIEW") == 0 && entry->Kind == TV_KIND_SEND) {
            if (RewriteValueInPlace(r.f, r.line, r.linePos, value, "SEND"))
                wrote = true;
            else
                writeFailed = true;
        }
        if (!Need(r, "UserStatus:", "Cannot find [MESSAGE] UserStatus: entry in %s"))
            break;
        value = ValueAfterKey(r.line, 11);
        if (std::strcmp(value, entry->UserStatus) != 0) {
            if (RewriteValueInPlace(r.f, r.line, r.linePos, value, entry->UserStatus))
                wrote = true;
            else
                writeFailed = true;
        }
    } while (false);
    if (!r.failed && (writeFailed || std::ferror(r.f))) {
        ErrorBoxFromResource(path);
        StoreLog(TV_LOG_WRITE, r.function, "Cannot write to file %s", path);
        GoOffline(ListTable(listId), ListViewOf(listId));
    }
    std::fclose(r.f);
    if (entry->InGroup && listId == TV_LIST_NEW && wrote)
        MarkGroupInfoChanged(TV_LIST_NEW);
}

bool MessageListChanged(int listId)
{
    char path[TV_STORE_PATH_SIZE];
    const char* dir = listId == TV_LIST_NEW ? g_storeConfig.receiveDir
                      : listId == TV_LIST_WAITING ? g_storeConfig.sendDir : nullptr;
    if (!dir || !StorePath(path, sizeof path, dir, TV_MSGDIR_NAME))
        return false;
    if (ArchiveMessageCheck(listId, path))
        return true;
    bool changed = false;
    if (listId == TV_LIST_NEW && g_storeConfig.groupReceiveDir[0])
        GroupInfoChanged(TV_LIST_NEW, false, &changed);
    return changed;
}
