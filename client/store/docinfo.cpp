#include "client/store/docinfo.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "client/store/ctltypes.h"
#include "client/store/msglist.h"
#include "client/store/storefile.h"
#include "client/store/storehooks.h"
#include "common/ctlfile.h"
#include "common/datetime.h"
#include "common/sharedfile.h"

namespace {

enum {
    TV_READ_FILE_LINE_MAX = 266,
    TV_SET_FILE_VALUE_MAX = 268,
    TV_DOC_NAME_MAX = TV_DOC_NAME_SIZE - 1,
    TV_FILED_COMMENT_COLUMN = 9,
    TV_YEAR_DIGITS_MOD = 100,
};

const char kNewFileHeader[] = "[TAVRINE]\r\nType: DocDir\r\nRevision: A\r\n\r\n";

// The text behind "Comment:" and 7-bit white space, at most 80 characters.
void CommentText(const char* line, char* out)
{
    const char* v = line + 8;
    while (*v && IsAsciiSpace(static_cast<unsigned char>(*v)))
        ++v;
    CopyString(out, v, TV_DOC_COMMENT_SIZE);
}

// A content failure of a reader: box, log line naming the file.
void Report(const char* path, const char* function, const char* fmt)
{
    ErrorBoxFromResource(path);
    StoreLog(TV_LOG_BAD_ENTRY, function, fmt, TV_DOCDIR_NAME);
}

// The file's name part of a File: value checked against dir; null with the
// failure's message in *fmt.
const char* CheckedName(const char* value, const char* dir, const char** fmt)
{
    size_t d = DirectoryPartLength(value);
    if (d && !DirectoryMatches(value, d, dir)) {
        *fmt = "Wrong directory in [DOCUMENT] File: entry in %s";
        return nullptr;
    }
    if (value[d] == '\0' || std::strlen(value + d) > TV_DOC_NAME_MAX) {
        *fmt = "Invalid [DOCUMENT] File: entry in %s";
        return nullptr;
    }
    return value + d;
}

// Name up to its last dot (the whole name when it has none).
std::string Stem(const char* name)
{
    const char* dot = std::strrchr(name, '.');
    return dot ? std::string(name, static_cast<size_t>(dot - name)) : std::string(name);
}

// Date fields of a file's last-write time in local time; false when the time
// cannot be converted.
bool DateFields(TvFileTime ft, MessageListEntry& e)
{
    int16_t y, mo, d, h, mi, s;
    if (!TimeToDate(FileTimeToSeconds(ft), &y, &mo, &d, &h, &mi, &s))
        return false;
    e.Year = y % TV_YEAR_DIGITS_MOD;
    e.Month = mo;
    e.Day = d;
    e.Hour = h;
    e.Minute = mi;
    e.Second = s;
    return true;
}

// The files of a directory by upper-case name: one listing answers every
// document's time and short name, where a query per document would cost a
// file-system lookup each.
struct DirListing {
    struct File {
        TvFileTime lastWrite;
        char shortName[14];
    };
    std::unordered_map<std::string, File> files;

    void Read(const char* dir)
    {
        char pattern[TV_STORE_PATH_SIZE];
        TvDirEntry d;
        TvDirIter* it = StorePath(pattern, sizeof pattern, dir, "*") ? TvPlatFindFirst(pattern, &d) : nullptr;
        for (bool more = it != nullptr; more; more = TvPlatFindNext(it, &d)) {
            if (d.attributes & TV_ATTR_DIRECTORY)
                continue;
            File f;
            f.lastWrite = d.lastWrite;
            CopyString(f.shortName, d.shortName, sizeof f.shortName);
            char key[sizeof d.longName];
            CopyString(key, d.longName, sizeof key);
            AsciiUpper(key);
            files.emplace(key, f);
        }
        if (it)
            TvPlatFindClose(it);
    }

    // The file named by value (upper case, maybe with a directory part).
    const File* Find(const char* value) const
    {
        if (DirectoryPartLength(value) != 0)
            return nullptr;
        auto it = files.find(value);
        return it == files.end() ? nullptr : &it->second;
    }
};

} // namespace

void FreeInfoBlock(DocumentInfo* block) { std::free(block); }

int CanOpenFile(const char* path, const char* mode, bool existsOnly)
{
    if (existsOnly)
        return TvPlatFileExists(path) ? 1 : 0;
    FILE* f = OpenShared(0, path, mode);
    if (!f)
        return 0;
    std::fclose(f);
    return 1;
}

int SetFileInfoMsgdirCtl(const DocumentInfo* doc, const char* directory)
{
    char path[TV_STORE_PATH_SIZE], tempPath[TV_STORE_PATH_SIZE];
    if (!StorePath(path, sizeof path, directory, TV_MSGDIR_NAME) || !TvPlatFileExists(path)) {
        StoreLog(TV_LOG_MISSING, "SetFileInfoMsgdirCtl", "File %s does not exist", path);
        return 0;
    }
    FILE* p = OpenSharedRetry(path, "rb+");
    if (!p)
        return 0;
    FILE* t = UpdateTempName(path, tempPath, sizeof tempPath) ? OpenSharedRetry(tempPath, "w+b") : nullptr;
    if (!t) {
        StoreLog(TV_LOG_EDIT, "SetFileInfoMsgdirCtl", "Cannot create file %s", tempPath);
        std::fclose(p);
        return 0;
    }
    char entry[TV_LINE_SIZE + TV_DOC_COMMENT_SIZE + 16];
    std::snprintf(entry, sizeof entry, "File: %8s \"%s\"", doc->FileName, doc->Comment);
    size_t nameLen = std::strlen(doc->FileName);
    char line[TV_LINE_SIZE];
    bool inDirectory = false, written = false;
    while (ReadControlLine(p, line, sizeof line, nullptr)) {
        if (!line[0])
            continue;
        if (IsParagraphLine(line)) {
            bool endsDirectory = inDirectory;
            if (inDirectory && !written)
                std::fprintf(t, "%s\r\n", entry);
            inDirectory = AsciiCompareNoCase(line, "[DIRECTORY]") == 0;
            written = false;
            if (AsciiCompareNoCase(line, "[TAVRINE]") != 0 && !endsDirectory)
                std::fputs("\r\n", t);
            std::fprintf(t, "%s\r\n", line);
            continue;
        }
        const char* value = inDirectory && IsEntryLine(line) ? EntryValue(line) : nullptr;
        if (value && !written && AsciiCompareNoCaseN(value, doc->FileName, nameLen) == 0) {
            std::fprintf(t, "%s\r\n", entry);
            written = true;
            continue;
        }
        std::fprintf(t, "%s\r\n", line);
    }
    if (inDirectory && !written)
        std::fprintf(t, "%s\r\n", entry);
    bool ok = std::fflush(t) == 0 && !std::ferror(t) && !std::ferror(p) && CopyOpenFile(t, p) == 0;
    std::fclose(t);
    std::fclose(p);
    if (!ok) {
        StoreLog(TV_LOG_REPLACE, "SetFileInfoMsgdirCtl", "Cannot replace file %s", path);
        return 0;
    }
    TvPlatRemove(tempPath);
    return 1;
}

int ReadInfoFile(DocumentInfo** block, int32_t* bytes, const char* directory)
{
    FreeInfoBlock(*block);
    *block = nullptr;
    *bytes = 0;
    char path[TV_STORE_PATH_SIZE];
    if (!StorePath(path, sizeof path, directory, TV_DOCDIR_NAME))
        return 0;
    FILE* f = OpenSharedRetry(path, "rb");
    if (!f)
        return 0;
    StoreText text;
    if (CheckControlFile(f, path, 1) != TV_CTL_DOCDIR || !text.Load(f)) {
        std::fclose(f);
        return 0;
    }
    std::fclose(f);
    DocumentInfo* records = nullptr;
    int32_t count = 0, capacity = 0;
    const char* fmt = nullptr;
    char line[TV_LINE_SIZE];
    while (!fmt && text.FindParagraph("[DOCUMENT]", line, sizeof line)) {
        if (count == capacity) {
            if (capacity + TV_DOCINFO_GROWTH > TV_DOCINFO_MAX_RECORDS) {
                fmt = "Too many file entries in %s";
                break;
            }
            void* grown = std::realloc(records, sizeof(DocumentInfo) * static_cast<size_t>(capacity + TV_DOCINFO_GROWTH));
            if (!grown) {
                StoreLog(TV_LOG_MEMORY, "ReadInfoFile", "Insufficient extra memory when reading %s", TV_DOCDIR_NAME);
                std::free(records);
                return 0;
            }
            records = static_cast<DocumentInfo*>(grown);
            capacity += TV_DOCINFO_GROWTH;
        }
        if (!text.FindEntry("File:", line, sizeof line, nullptr)) {
            fmt = "Cannot find [DOCUMENT] File: in %s";
            break;
        }
        AsciiUpper(line);
        const char* value = ValueAfterKey(line, 5);
        if (std::strlen(line) > TV_READ_FILE_LINE_MAX || !*value) {
            fmt = "Invalid [DOCUMENT] File: entry in %s";
            break;
        }
        const char* name = CheckedName(value, directory, &fmt);
        if (!name)
            break;
        DocumentInfo& d = records[count];
        std::memset(&d, 0, sizeof d);
        CopyString(d.FileName, name, TV_DOC_NAME_SIZE);
        if (!text.FindEntry("Comment:", line, sizeof line, nullptr)) {
            fmt = "Cannot find [DOCUMENT] Comment: in %s";
            break;
        }
        CommentText(line, d.Comment);
        ++count;
    }
    if (fmt) {
        Report(path, "ReadInfoFile", fmt);
        std::free(records);
        return 0;
    }
    if (count == 0) {
        std::free(records);
        return 1;
    }
    *block = records;
    *bytes = count * static_cast<int32_t>(sizeof(DocumentInfo));
    return 1;
}

int FileInfo(const char* name, const DocumentInfo* block, int32_t bytes, DocumentInfo* out)
{
    if (!name || !*name || !block || bytes <= 0)
        return 1;
    char wanted[TV_DOC_NAME_SIZE];
    CopyString(wanted, name, sizeof wanted);
    AsciiUpper(wanted);
    int32_t n = bytes / static_cast<int32_t>(sizeof(DocumentInfo));
    for (int32_t i = 0; i < n; ++i)
        if (std::strcmp(block[i].FileName, wanted) == 0) {
            *out = block[i];
            return 0;
        }
    return 1;
}

int SetFileInfo(DocumentInfo* doc, const char* directory, bool sameBase)
{
    const StoreHooks* h = GetStoreHooks();
    char path[TV_STORE_PATH_SIZE], docPath[TV_STORE_PATH_SIZE], tempPath[TV_STORE_PATH_SIZE];
    if (!StorePath(path, sizeof path, directory, TV_DOCDIR_NAME) ||
        !StorePath(docPath, sizeof docPath, directory, doc->FileName) ||
        !StorePath(tempPath, sizeof tempPath, directory, "TAVRINE.TMP"))
        return 0;
    FILE* f = OpenSharedRetry(path, "rb+");
    if (!f) {
        if (TvPlatFileExists(path)) {
            // Held elsewhere: never recreate a file that exists.
            h->showMessage(TV_STR_CANNOT_WRITE, path, TV_ICON_NONE);
            StoreLog(TV_LOG_LOCKED, "SetFileInfo", "Cannot open file for update %s", path);
            return 0;
        }
        if (!TvPlatFileExists(docPath)) {
            StoreLog(TV_LOG_MISSING, "SetFileInfo", "File %s does not exist", docPath);
            return 0;
        }
        f = OpenSharedRetry(path, "w+b");
        if (!f) {
            ErrorBoxFromResource(path);
            StoreLog(TV_LOG_EDIT, "SetFileInfo", "Cannot create file %s", TV_DOCDIR_NAME);
            return 0;
        }
        char upper[TV_DOC_NAME_SIZE];
        CopyString(upper, doc->FileName, sizeof upper);
        AsciiUpper(upper);
        std::fprintf(f, "%s[DOCUMENT]\r\nFile: %s\r\nComment: %s\r\n", kNewFileHeader, upper, doc->Comment);
        bool ok = std::fflush(f) == 0 && !std::ferror(f);
        std::fclose(f);
        if (!ok) {
            ErrorBoxFromResource(path);
            StoreLog(TV_LOG_WRITE, "SetFileInfo", "Cannot write to file %s", TV_DOCDIR_NAME);
        }
        return ok ? 1 : 0;
    }
    if (CheckControlFile(f, path, 1) != TV_CTL_DOCDIR) {
        std::fclose(f);
        return 0;
    }
    FILE* t = OpenSharedRetry(tempPath, "w+b");
    if (!t) {
        h->showMessage(TV_STR_CANNOT_WRITE, tempPath, TV_ICON_NONE);
        StoreLog(TV_LOG_EDIT, "SetFileInfo", "Cannot create file %s", tempPath);
        std::fclose(f);
        return 0;
    }
    std::rewind(f);
    char line[TV_LINE_SIZE];
    std::vector<std::string> lines;
    while (ReadControlLine(f, line, sizeof line, nullptr))
        lines.push_back(line);

    bool fetch = doc->Comment[0] == '\0';
    std::string recordStem = Stem(doc->FileName);
    bool recordHasExtension = std::strchr(doc->FileName, '.') != nullptr;
    bool found = false, lastMissing = false;
    std::string out;
    size_t i = 0;
    for (; i < lines.size() && AsciiCompareNoCaseN(lines[i].c_str(), "[DOCUMENT]", 10) != 0; ++i)
        out += lines[i] + "\r\n";
    const char* fail = nullptr;
    while (i < lines.size() && !fail) {
        size_t end = i + 1;
        while (end < lines.size() && AsciiCompareNoCaseN(lines[end].c_str(), "[DOCUMENT]", 10) != 0)
            ++end;
        // The File: entry of the paragraph.
        size_t fileLine = end;
        for (size_t k = i + 1; k < end && !IsParagraphLine(lines[k].c_str()); ++k)
            if (IsEntryLine(lines[k].c_str()) && KeyMatches(lines[k].c_str(), "File:")) {
                fileLine = k;
                break;
            }
        if (fileLine == end) {
            fail = "Cannot find [DOCUMENT] File: in %s";
            break;
        }
        char value[TV_LINE_SIZE];
        CopyString(value, ValueAfterKey(lines[fileLine].c_str(), 5), sizeof value);
        char upper[TV_LINE_SIZE];
        CopyString(upper, value, sizeof upper);
        AsciiUpper(upper);
        if (!upper[0] || std::strlen(upper) > TV_SET_FILE_VALUE_MAX) {
            fail = "Invalid [DOCUMENT] File: entry in %s";
            break;
        }
        if (!CheckedName(upper, directory, &fail))
            break;
        const char* name = value + DirectoryPartLength(value);
        bool mine = AsciiCompareNoCase(name, doc->FileName) == 0;
        bool sibling = !mine && sameBase && recordHasExtension &&
                       AsciiCompareNoCase(Stem(name).c_str(), recordStem.c_str()) == 0;
        out += "[DOCUMENT]\r\n";
        bool commentSeen = false;
        for (size_t k = i + 1; k < end; ++k) {
            const std::string& l = lines[k];
            if (k == fileLine) {
                out += "File: " + std::string(name) + "\r\n";
                continue;
            }
            if (!commentSeen && IsEntryLine(l.c_str()) && KeyMatches(l.c_str(), "Comment:")) {
                commentSeen = true;
                if (mine || sibling) {
                    if (fetch) {
                        CommentText(l.c_str(), doc->Comment);
                        out += l + "\r\n";
                    } else {
                        out += "Comment: " + std::string(doc->Comment) + "\r\n";
                    }
                    if (mine)
                        found = true;
                    continue;
                }
            }
            out += l + "\r\n";
        }
        lastMissing = !commentSeen;
        if (!commentSeen) {
            ErrorBoxFromResource(path);
            StoreLog(TV_LOG_BAD_ENTRY, "SetFileInfo", "Missing [DOCUMENT] File: or Comment: entry in %s", path);
        }
        i = end;
    }
    if (fail) {
        ErrorBoxFromResource(path);
        StoreLog(TV_LOG_BAD_ENTRY, "SetFileInfo", fail, path);
        std::fclose(t);
        TvPlatRemove(tempPath);
        std::fclose(f);
        return 0;
    }
    if (!found) {
        if (!TvPlatFileExists(docPath)) {
            StoreLog(TV_LOG_MISSING, "SetFileInfo", "Document file %s does not exist", docPath);
            std::fclose(t);
            TvPlatRemove(tempPath);
            std::fclose(f);
            return 0;
        }
        if (out.size() < 4 || out.compare(out.size() - 4, 4, "\r\n\r\n") != 0)
            out += "\r\n";
        out += "[DOCUMENT]\r\nFile: " + std::string(doc->FileName) + "\r\nComment: " + doc->Comment + "\r\n";
    }
    std::fwrite(out.data(), 1, out.size(), t);
    if (std::fflush(t) != 0 || std::ferror(t)) {
        std::fclose(t);
        std::fclose(f);
        ErrorBoxFromResource(path);
        StoreLog(TV_LOG_WRITE, "SetFileInfo", "Cannot write to file %s", tempPath);
        return 0;
    }
    if (CopyOpenFile(t, f) != 0) {
        std::fclose(t);
        std::fclose(f);
        ErrorBoxFromResource(path);
        StoreLog(TV_LOG_REPLACE, "SetFileInfo", "Cannot replace file %s", TV_DOCDIR_NAME);
        return 0;
    }
    std::fclose(t);
    TvPlatRemove(tempPath);
    std::fclose(f);
    if (lastMissing) {
        StoreLog(TV_LOG_BAD_ENTRY, "SetFileInfo", "Some problem updating information file %s", TV_DOCDIR_NAME);
        return 0;
    }
    return 1;
}

void UpdateFiledList(void)
{
    const StoreHooks* h = GetStoreHooks();
    MessageListTable* table = ListTable(TV_LIST_FILED);
    const ListView* view = ListViewOf(TV_LIST_FILED);
    bool redrawOff = !h->viewerOpen();
    if (redrawOff)
        view->setRedraw(view->context, false);
    StoreListReset(table, view);
    const char* dir = g_storeConfig.filedDir;
    int32_t cursor = 0;

    char path[TV_STORE_PATH_SIZE];
    if (g_storeConfig.match[0] && StorePath(path, sizeof path, dir, g_storeConfig.match)) {
        TvDirEntry d;
        TvDirIter* it = TvPlatFindFirst(path, &d);
        for (bool more = it != nullptr; more; more = TvPlatFindNext(it, &d)) {
            if ((d.attributes & (TV_ATTR_DIRECTORY | TV_ATTR_HIDDEN)) || std::strcmp(d.longName, ".") == 0 ||
                std::strcmp(d.longName, "..") == 0)
                continue;
            MessageListEntry e;
            ClearListEntry(&e, 0);
            e.Kind = TV_KIND_FILED;
            CopyString(e.AssocFile, d.longName, TV_ENTRY_ASSOC_SIZE);
            CopyString(e.Name, d.shortName, TV_ENTRY_NAME_SIZE);
            CopyString(e.Status, DateFields(d.lastWrite, e) ? "NA" : "Fa", TV_ENTRY_STATUS_SIZE);
            CopyString(e.UserStatus, "OK", TV_ENTRY_STATUS_SIZE);
            while (FillListFromEntries(view, &cursor, &e, 0, table))
            {
            }
        }
        if (it)
            TvPlatFindClose(it);
    }

    FILE* f = StorePath(path, sizeof path, dir, TV_DOCDIR_NAME) ? OpenSharedRetry(path, "rb") : nullptr;
    if (!f) {
        DeleteRemainingEntries(view, cursor, 0, table);
        view->setRedraw(view->context, true);
        return;
    }
    StoreText text;
    if (CheckControlFile(f, path, 1) != TV_CTL_DOCDIR || !text.Load(f)) {
        StoreListInvalidate(table, view);
        ClearFilesAccessible();
        std::fclose(f);
        view->setRedraw(view->context, true);
        return;
    }
    char line[TV_LINE_SIZE];
    const char* fmt = nullptr;
    std::fclose(f);
    DirListing listing;
    listing.Read(dir);
    while (text.FindParagraph("[DOCUMENT]", line, sizeof line)) {
        MessageListEntry e;
        ClearListEntry(&e, 0);
        e.Kind = TV_KIND_FILED;
        if (!text.FindEntry("File:", line, sizeof line, nullptr) ||
            std::strlen(ValueAfterKey(line, 5)) > TV_DOC_NAME_MAX) {
            fmt = "Cannot find [DOCUMENT] File: in %s";
            break;
        }
        AsciiUpper(line);
        char value[TV_LINE_SIZE];
        CopyString(value, ValueAfterKey(line, 5), sizeof value);
        CopyString(e.AssocFile, value, TV_ENTRY_ASSOC_SIZE);
        if (!text.FindEntry("Comment:", line, sizeof line, nullptr)) {
            fmt = "Cannot find [DOCUMENT] Comment: entry in %s";
            break;
        }
        if (std::strlen(line) > TV_FILED_COMMENT_COLUMN)
            CopyString(e.Comment, line + TV_FILED_COMMENT_COLUMN, TV_ENTRY_COMMENT_SIZE);
        // A document named with a directory part is looked up on its own.
        const DirListing::File* file = listing.Find(value);
        DirListing::File single;
        char docPath[TV_STORE_PATH_SIZE];
        if (!file && DirectoryPartLength(value) != 0 && StorePath(docPath, sizeof docPath, dir, value) &&
            TvPlatGetFileTime(docPath, &single.lastWrite) == TV_CR_OK) {
            single.shortName[0] = '\0';
            file = &single;
        }
        bool dated = file && DateFields(file->lastWrite, e);
        CopyString(e.Status, dated ? "OK" : "Fa", TV_ENTRY_STATUS_SIZE);
        CopyString(e.UserStatus, "OK", TV_ENTRY_STATUS_SIZE);
        if (dated)
            CopyString(e.Name, file->shortName, TV_ENTRY_NAME_SIZE);
        while (FillListFromEntries(view, &cursor, &e, 0, table))
        {
        }
    }
    if (fmt) {
        ErrorBoxFromResource(path);
        StoreLog(TV_LOG_BAD_ENTRY, "UpdateFiledList", fmt, path);
        StoreListInvalidate(table, view);
        ClearFilesAccessible();
    } else {
        DeleteRemainingEntries(view, cursor, 0, table);
    }
    view->setRedraw(view->context, true);
}
