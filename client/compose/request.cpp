#include "client/compose/request.h"

#include <cstdarg>
#include <cstring>

#include "common/platform.h"
#include "common/sharedfile.h"

namespace {

const TvRequestKindRow kKinds[] = {
    // kind             server      type         prefix  message operation
    {TV_RQ_SEARCH,    "AddMan",   "SEARCH",    "FIND", false},
    {TV_RQ_UPDATE,    "Addman",   "UPDATE",    "EDIT", false},
    {TV_RQ_STATUS,    "QueueMan", "STATUS",    "QUEU", false},
    {TV_RQ_LOGSEARCH, "AddMan",   "LOGSEARCH", "LOGS", false},
    {TV_RQ_DELETE,    "QueueMan", "DELETE",    nullptr, true},
    {TV_RQ_HOLD,      "QueueMan", "HOLD",      nullptr, true},
    {TV_RQ_RELEASE,   "QueueMan", "RELEASE",   nullptr, true},
    {TV_RQ_RUSH,      "QueueMan", "RUSH",      nullptr, true},
    {TV_RQ_ROUTING,   "QueueMan", "ROUTING",   "ROUT", false},
};
const TvRequestKindRow kUnknownKind = {0, "UNKNOWN", "UNKNOWN", "????", false};

const char kRequestPrefix[] = "RQST";
const char kRequestTempExt[] = "TMP";
const char kRequestFinalExt[] = "CTL";
const char kDataExt[] = "ASK";
const char kReplyExt[] = "ANS";
const char kDataSubdir[] = "T-DB\\";
const char kUnknownDirectory[] = "UNKNOWN";

void Log(const TvRequestContext* ctx, uint16_t code, const char* function, const char* format, ...)
{
    if (!ctx || !ctx->log)
        return;
    char text[TV_RQ_PATH_SIZE + 64];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    ctx->log(ctx->hookContext, code, function, text);
}

void ShowStatus(const TvRequestContext* ctx, int stringId)
{
    if (ctx->statusString)
        ctx->statusString(ctx->hookContext, stringId);
}

bool Concat(char* out, size_t size, const char* a, const char* b)
{
    int n = std::snprintf(out, size, "%s%s", a, b);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        if (size)
            out[0] = 0;
        return false;
    }
    return true;
}

// name with its extension (behind the last '.' of its last component)
// replaced by ext.
bool ReplaceExtension(const char* name, const char* ext, char* out, size_t size)
{
    const char* base = name;
    for (const char* p = name; *p; ++p)
        if (*p == '\\' || *p == '/' || *p == ':')
            base = p + 1;
    const char* dot = std::strrchr(base, '.');
    size_t stem = dot ? static_cast<size_t>(dot - name) : std::strlen(name);
    int n = std::snprintf(out, size, "%.*s.%s", static_cast<int>(stem), name, ext);
    if (n < 0 || static_cast<size_t>(n) >= size) {
        if (size)
            out[0] = 0;
        return false;
    }
    return true;
}

bool ValidContext(const TvRequestContext* ctx)
{
    return ctx && ctx->userName && ctx->groupName && ctx->requestArea && ctx->userDir && ctx->reply;
}

bool IsPlainName(const char* name)
{
    return name && *name && !std::strpbrk(name, "\\/:*?");
}

// Reports a failed temporary name the way the user sees it: the pattern of
// the names tried, logged and shown.
void ReportNoName(const TvRequestContext* ctx, const char* function, const char* dir, const char* prefix)
{
    char pattern[TV_RQ_PATH_SIZE];
    std::snprintf(pattern, sizeof pattern, "%s~%s???.???", dir, prefix);
    Log(ctx, TV_LOG_CREATE, function, "Cannot create file %s", pattern);
    for (char* p = pattern; *p; ++p)
        if (*p >= 'a' && *p <= 'z')
            *p = static_cast<char>(*p - 'a' + 'A');
    if (ctx->warnBox)
        ctx->warnBox(ctx->hookContext, TV_RQSTR_CANNOT_CREATE, pattern);
}

} // namespace

const char* RequestStatusName(TvRequestStatus status)
{
    switch (status) {
    case TV_RQS_OK: return "OK";
    case TV_RQS_BAD_ARGUMENT: return "BAD_ARGUMENT";
    case TV_RQS_NO_FREE_NAME: return "NO_FREE_NAME";
    case TV_RQS_OPEN_FAILED: return "OPEN_FAILED";
    case TV_RQS_WRITE_FAILED: return "WRITE_FAILED";
    case TV_RQS_NAME_TAKEN: return "NAME_TAKEN";
    case TV_RQS_RENAME_FAILED: return "RENAME_FAILED";
    case TV_RQS_DELETE_FAILED: return "DELETE_FAILED";
    }
    return "UNKNOWN_STATUS";
}

const TvRequestKindRow* FindRequestKind(int kind)
{
    for (const TvRequestKindRow& row : kKinds)
        if (row.kind == kind)
            return &row;
    return &kUnknownKind;
}

bool RequestDataDirectory(const TvRequestContext* ctx, char* out, size_t size)
{
    if (!out || size == 0)
        return false;
    out[0] = 0;
    if (!ctx || !ctx->userDir)
        return false;
    return Concat(out, size, ctx->userDir, kDataSubdir);
}

void RequestDirectoryName(const char* path, char* out, size_t size)
{
    if (!out || size == 0)
        return;
    std::snprintf(out, size, "%s", kUnknownDirectory);
    if (!path)
        return;
    const char* last = std::strrchr(path, '\\');
    if (!last)
        return;
    const char* before = nullptr;
    for (const char* p = path; p < last; ++p)
        if (*p == '\\')
            before = p;
    if (!before)
        return;
    size_t length = static_cast<size_t>(last - before - 1);
    if (length == 0 || length >= size)
        return;
    std::memcpy(out, before + 1, length);
    out[length] = 0;
}

bool ControlFileName(const char* dataFile, char* out, size_t size)
{
    if (!out || size == 0)
        return false;
    out[0] = 0;
    return dataFile && ReplaceExtension(dataFile, kRequestFinalExt, out, size);
}

const char* RequestUserName(const TvRequestContext* ctx, int kind, bool forGroup)
{
    if (forGroup && FindRequestKind(kind)->messageOperation && ctx->groupName[0])
        return ctx->groupName;
    return ctx->userName;
}

size_t FormatRequestFile(const TvRequestContext* ctx, const char* fileName, const char* directory,
                         bool forGroup, int kind, char* out, size_t size)
{
    if (!ValidContext(ctx) || !fileName || !out || size == 0)
        return 0;
    const TvRequestKindRow* row = FindRequestKind(kind);
    char file[TV_RQ_PATH_SIZE];
    if (row->messageOperation) {
        if (!ControlFileName(fileName, file, sizeof file))
            return 0;
    } else if (!Concat(file, sizeof file, fileName, "")) {
        return 0;
    }
    int n = std::snprintf(out, size,
                          "[TAVRINE]\r\nType: Request\r\nRevision: A\r\n\r\n[REQUEST]\r\n"
                          "Server: %s\r\nType: %s\r\nUser: %s\r\nFile: %s\r\n",
                          row->server, row->type, RequestUserName(ctx, kind, forGroup), file);
    if (n < 0 || static_cast<size_t>(n) >= size)
        return 0;
    size_t used = static_cast<size_t>(n);
    if (row->messageOperation) {
        char dirName[TV_RQ_DIRNAME_SIZE];
        RequestDirectoryName(directory, dirName, sizeof dirName);
        n = std::snprintf(out + used, size - used, "Directory: %s\r\nAddr: 0\r\n", dirName);
        if (n < 0 || static_cast<size_t>(n) >= size - used)
            return 0;
        used += static_cast<size_t>(n);
    }
    return used;
}

TvRequestStatus CreateRequestFile(const TvRequestContext* ctx, FILE** stream, char* name, size_t nameSize,
                                  int kind)
{
    static const char kFunction[] = "CreateRequestFile";
    if (stream)
        *stream = nullptr;
    if (name && nameSize)
        name[0] = 0;
    char dir[TV_RQ_PATH_SIZE];
    if (!ValidContext(ctx) || !stream || !name || nameSize < TV_RQ_NAME_SIZE ||
        !RequestDataDirectory(ctx, dir, sizeof dir))
        return TV_RQS_BAD_ARGUMENT;
    // Only the known answered kinds have a data file: a message operation has
    // none, and the unknown kind's "????" would be a wildcard in a name.
    const TvRequestKindRow* row = FindRequestKind(kind);
    if (row == &kUnknownKind || !row->prefix) {
        Log(ctx, TV_LOG_CREATE, kFunction, "Cannot create file %s for request kind %d", dir, kind);
        return TV_RQS_BAD_ARGUMENT;
    }
    const char* prefix = row->prefix;

    char reserved[TV_TEMPNAME_SIZE];
    if (MakeTempName(prefix, kDataExt, dir, reserved) != 0) {
        ReportNoName(ctx, kFunction, dir, prefix);
        return TV_RQS_NO_FREE_NAME;
    }
    char path[TV_RQ_PATH_SIZE];
    if (!Concat(path, sizeof path, dir, reserved))
        return TV_RQS_BAD_ARGUMENT;
    TvCreateResult why = TV_CR_OK;
    FILE* f = TvPlatOpen(path, TV_ACCESS_READWRITE, TV_OPEN_EXISTING, TV_DENY_WRITE, false, "r+b", &why, nullptr);
    if (!f) {
        Log(ctx, TV_LOG_OPEN, kFunction, "Cannot open for writing file %s", path);
        TvPlatRemove(path);
        return TV_RQS_OPEN_FAILED;
    }
    std::snprintf(name, nameSize, "%s", reserved);
    *stream = f;
    return TV_RQS_OK;
}

TvRequestStatus ReqmanRequest(const TvRequestContext* ctx, const char* fileName, const char* directory,
                              bool forGroup, int kind)
{
    static const char kFunction[] = "ReqmanRequest";
    if (!ValidContext(ctx) || !fileName || !fileName[0])
        return TV_RQS_BAD_ARGUMENT;
    const TvRequestKindRow* row = FindRequestKind(kind);
    const bool answered = !row->messageOperation;

    char reply[TV_RQ_NAME_SIZE] = "";
    char text[4 * TV_RQ_PATH_SIZE];
    size_t length = FormatRequestFile(ctx, fileName, directory, forGroup, kind, text, sizeof text);
    if (length == 0 || (answered && !ReplaceExtension(fileName, kReplyExt, reply, sizeof reply))) {
        Log(ctx, TV_LOG_BAD_ENTRY, kFunction, "Invalid request file name %.200s", fileName);
        return TV_RQS_BAD_ARGUMENT;
    }

    TvRequestStatus status = TV_RQS_OK;
    char temp[TV_TEMPNAME_SIZE] = "";
    char tempPath[TV_RQ_PATH_SIZE] = "";
    char finalPath[TV_RQ_PATH_SIZE] = "";
    if (MakeTempName(kRequestPrefix, kRequestTempExt, ctx->requestArea, temp) != 0) {
        ReportNoName(ctx, kFunction, ctx->requestArea, kRequestPrefix);
        status = TV_RQS_NO_FREE_NAME;
    } else if (!Concat(tempPath, sizeof tempPath, ctx->requestArea, temp)) {
        status = TV_RQS_BAD_ARGUMENT;
    } else {
        char finalName[TV_RQ_NAME_SIZE];
        ReplaceExtension(temp, kRequestFinalExt, finalName, sizeof finalName);
        if (!Concat(finalPath, sizeof finalPath, ctx->requestArea, finalName))
            status = TV_RQS_BAD_ARGUMENT;
    }

    if (status == TV_RQS_OK) {
        TvCreateResult why = TV_CR_OK;
        FILE* f = TvPlatOpen(tempPath, TV_ACCESS_READWRITE, TV_OPEN_EXISTING, TV_DENY_WRITE, false, "r+b", &why,
                             nullptr);
        if (!f) {
            Log(ctx, TV_LOG_OPEN, kFunction, "Cannot open for writing file %s", tempPath);
            status = TV_RQS_OPEN_FAILED;
        } else {
            bool written = std::fwrite(text, 1, length, f) == length && std::fflush(f) == 0;
            if (std::fclose(f) != 0)
                written = false;
            if (!written) {
                Log(ctx, TV_LOG_WRITE, kFunction, "Cannot write to file %s", tempPath);
                status = TV_RQS_WRITE_FAILED;
            }
        }
    }
    if (status == TV_RQS_OK) {
        // The temporary name was free of every extension, but a request of
        // that number may have been handed over meanwhile: never replace it.
        if (TvPlatFileExists(finalPath)) {
            Log(ctx, TV_LOG_REPLACE, kFunction, "Cannot rename file to %s", finalPath);
            status = TV_RQS_NAME_TAKEN;
        } else if (!TvPlatRename(tempPath, finalPath)) {
            Log(ctx, TV_LOG_REPLACE, kFunction, "Cannot rename file to %s", finalPath);
            status = TV_RQS_RENAME_FAILED;
        }
    }

    if (status != TV_RQS_OK) {
        // A half-made request is never read; its name is released, and so
        // is the data file that no manager will answer.
        if (tempPath[0])
            TvPlatRemove(tempPath);
        char dir[TV_RQ_PATH_SIZE], dataPath[TV_RQ_PATH_SIZE];
        if (answered && row != &kUnknownKind && IsPlainName(fileName) && RequestDataDirectory(ctx, dir, sizeof dir) &&
            Concat(dataPath, sizeof dataPath, dir, fileName))
            TvPlatRemove(dataPath);
        return status;
    }

    if (answered) {
        std::snprintf(ctx->reply->awaitedReply, sizeof ctx->reply->awaitedReply, "%s", reply);
        ctx->reply->replyAwaited = true;
        ShowStatus(ctx, TV_RQSTR_WAITING_REPLY);
    }
    return TV_RQS_OK;
}

TvRequestStatus DeleteAnswerFiles(const TvRequestContext* ctx)
{
    static const char kFunction[] = "DeleteAnswerFiles";
    if (!ValidContext(ctx))
        return TV_RQS_BAD_ARGUMENT;
    ctx->reply->awaitedReply[0] = 0;
    ctx->reply->replyAwaited = false;
    ShowStatus(ctx, 0);
    char dir[TV_RQ_PATH_SIZE];
    if (!RequestDataDirectory(ctx, dir, sizeof dir))
        return TV_RQS_BAD_ARGUMENT;
    uint16_t failures = DeleteMatchingFiles(dir, "*.ANS");
    if (failures != 0) {
        Log(ctx, TV_LOG_DELETE, kFunction, "Cannot delete file %s*.ANS", dir);
        return TV_RQS_DELETE_FAILED;
    }
    return TV_RQS_OK;
}
