#include "client/store/dirfilter.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "client/store/ctltypes.h"
#include "client/store/msgdir.h"
#include "client/store/storefile.h"
#include "client/store/storehooks.h"
#include "common/ctlfile.h"
#include "common/sharedfile.h"

namespace {

enum {
    TV_FILTER_FILE_LINE_MAX = 274,
    TV_FILTER_NAME_MAX = 12,
    TV_REMOVE_NAME_MAX = 256,
    TV_DOCUMENT_TAG_LENGTH = 10,   // "[DOCUMENT]"
};

bool IsDocumentLine(const char* line) { return AsciiCompareNoCaseN(line, "[DOCUMENT]", TV_DOCUMENT_TAG_LENGTH) == 0; }

// The path's directory part as a text.
std::string DirectoryOf(const char* path)
{
    return std::string(path, DirectoryPartLength(path));
}

// One entry of a directory file: its lines behind the "[DOCUMENT]" line.
struct Entry {
    std::vector<std::string> lines;
};

// Reads lines up to the next "[DOCUMENT]" line (which is left in next) or the
// end of the file (next empty).
void ReadEntry(FILE* f, Entry& e, std::string& next)
{
    char line[TV_LINE_SIZE];
    e.lines.clear();
    next.clear();
    while (ReadControlLine(f, line, sizeof line, nullptr)) {
        if (IsDocumentLine(line)) {
            next = line;
            return;
        }
        e.lines.push_back(line);
    }
}

// The File: line of the entry's own paragraph; null when missing.
const std::string* FileLine(const Entry& e)
{
    for (const std::string& l : e.lines) {
        if (IsParagraphLine(l.c_str()))
            return nullptr;
        if (IsEntryLine(l.c_str()) && KeyMatches(l.c_str(), "FILE:"))
            return &l;
    }
    return nullptr;
}

// The accepted time of the entry's first [MESSAGE] paragraph; 0 when absent
// or unreadable.
TvTime EntryAcceptedTime(const Entry& e)
{
    bool inMessage = false;
    for (const std::string& l : e.lines) {
        if (IsParagraphLine(l.c_str())) {
            if (inMessage)
                break;
            inMessage = AsciiCompareNoCaseN(l.c_str(), "[MESSAGE]", 9) == 0;
            continue;
        }
        if (!inMessage || !IsEntryLine(l.c_str()) || !KeyMatches(l.c_str(), "Accepted:"))
            continue;
        int v[6];
        if (std::sscanf(ValueAfterKey(l.c_str(), 9), "%2d-%2d-%2d %2d:%2d:%2d", &v[0], &v[1], &v[2], &v[3],
                        &v[4], &v[5]) == 6 &&
            v[1] != 0)
            return AcceptedTime(v[0], v[1], v[2], v[3], v[4], v[5]);
        return 0;
    }
    return 0;
}

void WriteEntry(FILE* t, const Entry& e)
{
    std::fputs("\r\n[DOCUMENT]\r\n", t);
    for (const std::string& l : e.lines)
        if (!l.empty())
            std::fprintf(t, "%s\r\n", l.c_str());
}

// What a rewrite does with each entry.
enum Verdict { TV_KEEP, TV_DROP, TV_MALFORMED, TV_MISSING };

struct Rewrite {
    const char* path;          // the directory file
    const char* function;      // log name
    const char* missingName;   // log name of the missing File: report
    size_t nameMax;
    bool wholeValue;           // the File: value whole, not its first word
};

// Judges one entry: checks its File: value, then asks decide.
template <typename Decide>
Verdict Judge(const Rewrite& rw, const Entry& e, const std::string& dir, Decide decide)
{
    const std::string* fileLine = FileLine(e);
    if (!fileLine) {
        ErrorBoxFromResource(rw.path);
        StoreLog(TV_LOG_BAD_ENTRY, rw.missingName, "Cannot find [DOCUMENT] File: in %s", rw.path);
        return TV_MISSING;
    }
    char line[TV_LINE_SIZE];
    CopyString(line, fileLine->c_str(), sizeof line);
    AsciiUpper(line);
    char value[TV_LINE_SIZE];
    const char* v = ValueAfterKey(line, 5);
    if (rw.wholeValue)
        CopyString(value, v, sizeof value);
    else
        FirstWord(v, value, sizeof value);
    const char* fmt = nullptr;
    size_t dirLength = DirectoryPartLength(value);
    if (std::strlen(line) > TV_FILTER_FILE_LINE_MAX || value[0] == '\0')
        fmt = "Invalid [DOCUMENT] File: entry in %s";
    else if (dirLength && !DirectoryMatches(value, dirLength, dir.c_str()))
        fmt = "Wrong directory in [DOCUMENT] File: entry in %s";
    else if (std::strlen(value + dirLength) > rw.nameMax || value[dirLength] == '\0')
        fmt = "Invalid [DOCUMENT] File: entry in %s";
    if (fmt) {
        ErrorBoxFromResource(rw.path);
        StoreLog(TV_LOG_BAD_ENTRY, rw.function, fmt, rw.path);
        return TV_MALFORMED;
    }
    return decide(value + dirLength, e) ? TV_DROP : TV_KEEP;
}

// Steps shared by both rewriters: open, check, copy through the temporary
// file, copy back. decide(name, entry) says whether an entry is dropped.
template <typename Decide>
int RewriteDirectoryFile(const Rewrite& rw, Decide decide, bool* dropped)
{
    const StoreHooks* h = GetStoreHooks();
    FILE* p = OpenSharedRetry(rw.path, "rb+");
    if (!p) {
        h->showMessage(TV_STR_CANNOT_WRITE, rw.path, TV_ICON_NONE);
        StoreLog(TV_LOG_LOCKED, rw.function, "Cannot open file for update %s", rw.path);
        return 0;
    }
    if (CheckControlFile(p, rw.path, 1) == TV_CTL_INVALID) {
        std::fclose(p);
        return 0;
    }
    char tempPath[TV_STORE_PATH_SIZE];
    FILE* t = UpdateTempName(rw.path, tempPath, sizeof tempPath) ? OpenSharedRetry(tempPath, "w+b") : nullptr;
    if (!t) {
        h->showMessage(TV_STR_CANNOT_WRITE, tempPath, TV_ICON_NONE);
        StoreLog(TV_LOG_EDIT, rw.function, "Cannot create file %s", tempPath);
        std::fclose(p);
        return 0;
    }
    std::rewind(p);
    char line[TV_LINE_SIZE];
    std::string next;
    while (ReadControlLine(p, line, sizeof line, nullptr)) {
        if (IsDocumentLine(line)) {
            next = line;
            break;
        }
        if (line[0])
            std::fprintf(t, "%s\r\n", line);
    }
    std::string dir = DirectoryOf(rw.path);
    bool clean = true;
    Entry e;
    while (!next.empty()) {
        ReadEntry(p, e, next);
        Verdict verdict = Judge(rw, e, dir, decide);
        if (verdict == TV_MISSING) {
            std::fclose(t);
            std::fclose(p);
            return 0;
        }
        if (verdict == TV_MALFORMED) {
            // No entry is lost: this one and every later one stay as they are.
            clean = false;
            WriteEntry(t, e);
            while (!next.empty()) {
                ReadEntry(p, e, next);
                WriteEntry(t, e);
            }
            break;
        }
        if (verdict == TV_KEEP)
            WriteEntry(t, e);
        else
            *dropped = true;
    }
    if (std::fflush(t) != 0 || std::ferror(t)) {
        std::fclose(t);
        std::fclose(p);
        ErrorBoxFromResource(rw.path);
        StoreLog(TV_LOG_WRITE, rw.function, "Cannot write to file %s", tempPath);
        return 0;
    }
    if (CopyOpenFile(t, p) != 0) {
        std::fclose(t);
        std::fclose(p);
        ErrorBoxFromResource(rw.path);
        StoreLog(TV_LOG_WRITE, rw.function, "Cannot replace file %s", rw.path);
        return 0;
    }
    std::fclose(t);
    TvPlatRemove(tempPath);
    std::fclose(p);
    return clean ? 1 : 0;
}

} // namespace

TvTime AcceptedTime(int year, int month, int day, int hour, int minute, int second)
{
    if (month == 0)
        return 0;
    TvTime t = -1;
    if (!DateToTime(static_cast<int16_t>(year), static_cast<int16_t>(month), static_cast<int16_t>(day),
                    static_cast<int16_t>(hour), static_cast<int16_t>(minute), static_cast<int16_t>(second), &t))
        return -1;
    return t;
}

bool IsEntryToRemove(const MessageListEntry* entries, int32_t used, const char* fileValue, int32_t* cursor,
                     TvTime accepted, const char* directory)
{
    for (int32_t i = *cursor < 0 ? 0 : *cursor; i < used; ++i) {
        const MessageListEntry& e = entries[i];
        if (e.Kind == TV_KIND_DELETED || std::strcmp(e.Name, fileValue) != 0 ||
            AcceptedTime(e.Year, e.Month, e.Day, e.Hour, e.Minute, e.Second) != accepted)
            continue;
        *cursor = i + 1;
        if (e.DeleteMark != -1 && (SameStatusCode(e.Status, "Fa") || SameStatusCode(e.Status, "OK")))
            return true;
        // The message is gone only when its control file is not found; a
        // file held open by another program is still there.
        char ctl[TV_STORE_PATH_SIZE];
        char stem[TV_ENTRY_NAME_SIZE + 4];
        CopyString(stem, e.Name, TV_ENTRY_NAME_SIZE);
        char* dot = std::strrchr(stem, '.');
        if (dot)
            *dot = '\0';
        std::strcat(stem, ".CTL");
        TvFileTime unused;
        return StorePath(ctl, sizeof ctl, directory, stem) && TvPlatGetFileTime(ctl, &unused) == TV_CR_NOTFOUND;
    }
    return false;
}

int FilterMessageControlFile(int listId, bool groupPass)
{
    const char* dir = listId == TV_LIST_NEW ? (groupPass ? g_storeConfig.groupReceiveDir : g_storeConfig.receiveDir)
                      : listId == TV_LIST_WAITING ? g_storeConfig.sendDir : g_storeConfig.filedDir;
    MessageListTable* table = ListTable(listId == TV_LIST_NEW || listId == TV_LIST_WAITING ? listId : TV_LIST_FILED);
    char path[TV_STORE_PATH_SIZE];
    if (!dir[0] || !StorePath(path, sizeof path, dir, TV_MSGDIR_NAME))
        return 0;
    Rewrite rw = {path, "FilterMessageControlFile", "FiltyerMessageControlFile", TV_FILTER_NAME_MAX, false};
    int32_t cursor = 0;
    const MessageListEntry* entries = table->Allocated > 0 ? table->Storage : nullptr;
    int32_t used = entries ? table->Used : 0;
    bool dropped = false;
    int r = RewriteDirectoryFile(
        rw,
        [&](const char* name, const Entry& e) {
            return IsEntryToRemove(entries, used, name, &cursor, EntryAcceptedTime(e), dir);
        },
        &dropped);
    if (r && dropped && listId == TV_LIST_NEW && groupPass)
        MarkGroupInfoChanged(TV_LIST_NEW);
    return r;
}

int RemoveInfoFileRefs(const char* name, const char* path, bool groupFlag, int listId)
{
    Rewrite rw = {path, "RemoveInfoFileRefs", "RemoveInfoFileRefs", TV_REMOVE_NAME_MAX, true};
    bool dropped = false;
    int r = RewriteDirectoryFile(
        rw, [&](const char* entryName, const Entry&) { return AsciiCompareNoCase(entryName, name) == 0; },
        &dropped);
    if (r && dropped && groupFlag)
        MarkGroupInfoChanged(listId);
    return r;
}

bool ArchiveMessageCheck(int listId, const char* path)
{
    const StoreHooks* h = GetStoreHooks();
    if (g_storeConfig.useArchiveAttribute) {
        bool set = false;
        if (h->getArchive(path, &set))
            return set;
        StoreLog(TV_LOG_ACCESS, "ArchiveMessageCheck", "Cannot access file details (%d) for %s",
                 listId == TV_LIST_NEW ? 1 : 2, path);
        MessageListTable* table = ListTable(listId);
        if (table)
            StoreListInvalidate(table, ListViewOf(listId));
        ClearFilesAccessible();
        h->refreshMainWindow();
        h->showMessage(TV_STR_CANNOT_ACCESS, path, TV_ICON_EXCLAMATION);
        return false;
    }
    TvFileTime t;
    if (GetFileTimeRetry(path, TV_FILETIME_WAIT_SECONDS, &t) != TV_CR_OK)
        return true;
    return IsChangeStamp(t);
}
