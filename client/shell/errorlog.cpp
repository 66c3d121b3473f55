#include "client/shell/errorlog.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/sharedfile.h"

namespace {

enum { MESSAGE_MAX = 512, LEVELLED_MAX = 200 };

void ShowWithPath(const TvErrorLog *log, int stringId, const char *path)
{
    char text[MESSAGE_MAX];
    std::snprintf(text, sizeof text, ShellString(stringId), path);
    TvShellBox(log->hooks, text, TV_BOX_EXCLAMATION, false);
}

int64_t FileLength(const char *path)
{
    FILE *f = TvPlatOpenRead(path);
    if (!f)
        return -1;
    int64_t n = TvPlatStreamLength(f);
    std::fclose(f);
    return n;
}

int WriteFormatted(TvErrorLog *log, uint16_t code, const char *function, const char *message)
{
    if (code == TV_LOG_ONLY)
        log->enabled = true;
    if (!log->enabled || !log->path[0]) {
        log->enabled = false;
        TvShellBox(log->hooks, message, TV_BOX_INFORMATION, false);
        return 0;
    }
    int64_t size = FileLength(log->path);
    if (size < 0) {
        FILE *created = OpenSharedRetry(log->path, "w+b");
        if (!created) {
            log->enabled = false;
            ShowWithPath(log, 45, log->path);
            return 0;
        }
        std::fclose(created);
        size = FileLength(log->path);
        if (size < 0) {
            log->enabled = false;
            ShowWithPath(log, 42, log->path);
            return 0;
        }
    }
    FILE *f = nullptr;
    bool fresh = false;
    if (size > TV_LOG_ROLL_BYTES) {
        char bak[TV_LOG_PATH_MAX + 1];
        if (ErrorLogBackupName(log->path, bak, sizeof bak)) {
            TvPlatRemove(bak);
            fresh = TvPlatRename(log->path, bak);
        }
        // When the log cannot be moved aside it is appended to: truncating
        // it would lose the only copy of its lines.
        if (fresh)
            f = OpenSharedRetry(log->path, "w+b");
    }
    if (!fresh) {
        f = OpenSharedRetry(log->path, "r+b");
        if (f && std::fseek(f, 0, SEEK_END) != 0) {
            std::fclose(f);
            f = nullptr;
        }
    }
    if (!f) {
        log->enabled = false;
        ShowWithPath(log, 44, log->path);
        return 0;
    }
    TvDateTime now;
    TvPlatLocalTime(&now);
    char line[MESSAGE_MAX + 64];
    FormatErrorLogLine(line, sizeof line, now, code, function, message);
    size_t len = std::strlen(line);
    bool failed = std::fwrite(line, 1, len, f) != len;
    failed = (std::fclose(f) != 0) || failed;
    if (failed) {
        log->enabled = false;
        ShowWithPath(log, 44, log->path);
        return 0;
    }
    if (code != TV_LOG_ONLY) {
        char status[MESSAGE_MAX + 8];
        std::snprintf(status, sizeof status, "%04X: %s", code, message);
        TvShellStatus(log->hooks, status);
    }
    return 1;
}

} // namespace

void ErrorLogInit(TvErrorLog *log, const char *logArea, const TvShellHooks *hooks)
{
    log->hooks = hooks;
    log->enabled = true;
    int n = std::snprintf(log->path, sizeof log->path, "%s%s", logArea ? logArea : "", ShellString(52));
    if (!logArea || !logArea[0] || n < 0 || static_cast<size_t>(n) >= sizeof log->path)
        log->path[0] = '\0';
}

void FormatErrorLogLine(char *out, size_t size, const TvDateTime &when, uint16_t code, const char *function,
                        const char *text)
{
    // The year in two digits: 2000 reads 00.
    std::snprintf(out, size, "%02d-%02d-%02d %02d:%02d:%02d %04X %-20s  %s\r\n", when.year % 100, when.month,
                  when.day, when.hour, when.minute, when.second, code, function ? function : "",
                  text ? text : "");
}

bool ErrorLogBackupName(const char *path, char *out, size_t size)
{
    size_t n = std::strlen(path);
    if (n + 5 > size)
        return false;
    std::memcpy(out, path, n + 1);
    char *ext = FileExtension(out);
    if (ext == out || ext[-1] != '.') {
        std::strcat(out, ".BAK");
        return true;
    }
    std::memcpy(ext, "BAK", 4);
    return true;
}

int WriteErrorLog(TvErrorLog *log, uint16_t code, const char *function, const char *format, ...)
{
    char message[MESSAGE_MAX];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(message, sizeof message, format, ap);
    va_end(ap);
    return WriteFormatted(log, code, function, message);
}

int LogLine(TvErrorLog *log, int level, const char *format, ...)
{
    static const char kLetters[] = "IWES";
    if (level == 1 || level == 2)
        return 0;
    char text[LEVELLED_MAX + 1];
    int n = std::snprintf(text, sizeof text, "(%c) - ", level >= 3 && level <= 6 ? kLetters[level - 3] : '?');
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text + n, sizeof text - static_cast<size_t>(n), format, ap);
    va_end(ap);
    return WriteFormatted(log, TV_LOG_LEVELLED, "LogLine", text);
}
