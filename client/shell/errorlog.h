// The client's error log TAVRINE.LOG in the log area: one line per report,
// moved to TAVRINE.BAK once it has grown over 10240 bytes. When the log
// cannot be written the client gives it up and shows each report in a box
// instead, until a start line (code 0xFFFF) tries again.
#ifndef TAVRINE_CLIENT_SHELL_ERRORLOG_H
#define TAVRINE_CLIENT_SHELL_ERRORLOG_H

#include <cstddef>
#include <cstdint>

#include "client/shell/shellhooks.h"
#include "common/platform.h"

enum : uint16_t {
    TV_LOG_ONLY = 0xFFFF,       // log only, no status-bar echo; turns logging on
    TV_LOG_LEVELLED = 0x0001,   // LogLine
    TV_LOG_ENTRY = 0xF807,      // missing or invalid entry
};
// A log larger than this is moved to the backup before the next line.
enum { TV_LOG_ROLL_BYTES = 10240 };
enum { TV_LOG_PATH_MAX = 269 };

struct TvErrorLog {
    char path[TV_LOG_PATH_MAX + 1]; // empty until a log area is set
    bool enabled;
    const TvShellHooks *hooks;
};

// Sets the log area (the log is area + "TAVRINE.LOG") and turns logging on.
void ErrorLogInit(TvErrorLog *log, const char *logArea, const TvShellHooks *hooks);

// The line as written, CR LF included: two-digit year, date, time, the code
// in four hex digits, the function padded to 20, two blanks, the text.
void FormatErrorLogLine(char *out, size_t size, const TvDateTime &when, uint16_t code, const char *function,
                        const char *text);

// The backup's name: the log's with the extension replaced by BAK.
bool ErrorLogBackupName(const char *path, char *out, size_t size);

// Formats the message and logs it (see the top). 1 when the line was
// written, 0 when it was shown in a box instead.
int WriteErrorLog(TvErrorLog *log, uint16_t code, const char *function, const char *format, ...)
#if defined(__MINGW_PRINTF_FORMAT)
    __attribute__((format(__MINGW_PRINTF_FORMAT, 4, 5)))
#elif defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;

// A levelled line: levels 1 and 2 are dropped; 3-6 get I, W, E, S.
int LogLine(TvErrorLog *log, int level, const char *format, ...)
#if defined(__MINGW_PRINTF_FORMAT)
    __attribute__((format(__MINGW_PRINTF_FORMAT, 3, 4)))
#elif defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

#endif
