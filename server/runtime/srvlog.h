// Server log: one kind of log line for every server program, written to the
// console (or a stream), the shared server log file, the NT event log (fatal
// lines in service mode) and, while a job runs, the daily message log.
//
// It sits above the clock, the shared open and the console output, and below
// the system parameters and the message log: those tell it what it needs of
// them (SetLogServiceMode, SetMessageLogFeed) instead of being asked.
//
// Line: "yy-mm-dd hh:mm:ss  <ID padded to 10> - (L) - message". Levels 1..6
// are shown as ". - I W E S"; lines below the threshold are dropped, and only
// levels 3 and over reach the file.
#ifndef TAVRINE_SERVER_RUNTIME_SRVLOG_H
#define TAVRINE_SERVER_RUNTIME_SRVLOG_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#if defined(__MINGW_PRINTF_FORMAT)
#define TV_LOG_FORMAT(f, a) __attribute__((format(__MINGW_PRINTF_FORMAT, f, a)))
#elif defined(__GNUC__)
#define TV_LOG_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define TV_LOG_FORMAT(f, a)
#endif

enum {
    LOG_ID_LEN = 10,            // the ID is padded or cut to this
    LOG_FILENAME_MAX = 268,
    LOG_FILE_LEVEL = 3,         // lines below this never reach the file
    LOG_LINE_SIZE = 1024,
};

// Event IDs and type names by level (also the message log's).
enum : uint16_t { EVENT_INFO = 0x5801, EVENT_WARNING = 0x9802, EVENT_ERROR = 0xD803 };

// Sets the logger up: stream (stdout for the console, another stream, or
// null), file name (null or empty for none; over 268 characters ends the
// process with exit code 1), threshold level and the program's ID (cut to 10
// with a warning, padded with blanks). Library failure lines go to the log
// from then on.
void LogInit(FILE *stream, const char *fileName, int level, const char *id);

// Writes one log line (see the top).
void LogMessage(int level, const char *format, ...) TV_LOG_FORMAT(2, 3);

// "hh:mm:ss  ID - message" on the console; for the logger's own failures.
void LogToConsole(const char *format, ...) TV_LOG_FORMAT(1, 2);

// Reports one string to the NT event log under the source "Tavrine Server",
// only when running as a service. The event type comes from the top two bits
// of eventId (0x8000 warning, 0xC000 error, else information). 1 if reported.
int ReportServerEvent(uint16_t eventId, const char *typeName, const char *format, ...) TV_LOG_FORMAT(3, 4);

// Level tables.
char LogLevelLetter(int level);
uint16_t LogLevelEventId(int level);
const char *LogLevelTypeName(int level);

// The padded 10-character ID, the threshold, the file name.
const char *LogId(void);
int LogThreshold(void);
void SetLogThreshold(int level);
const char *LogFileName(void);

// Lines that could not be written to the file since the last one that was.
int LogLostLines(void);

// Whether the program runs as a service ("/SERVICE" on its command line; set
// by ParseServerArguments, cleared by ResetSystemParameters): fatal lines
// then go to the event log, and errors make no beep.
void SetLogServiceMode(bool service);
bool LogServiceMode(void);

// Where lines go to the daily message log: called with each line of level 3
// and over that follows another one within a state section, while a log file
// is set (the feed itself checks whether the message log is on). The text has
// its double quotes turned into single ones. Null (the start) feeds nothing;
// the message log puts its own in (StartMessageLog).
typedef void (*TvMessageLogFeed)(uint16_t eventId, const char *typeName, const char *id, const char *messageName,
                                 uint32_t value32, int16_t value16a, uint16_t value16b, const char *text);
void SetMessageLogFeed(TvMessageLogFeed feed);

// The state-section flag: cleared by a device state change (and by a failed
// message-log write), set by every line. A line is copied to the message log
// only when the flag was already set before it.
void ClearLogStateSection(void);

// The running job's context for the message log; cleared when the job ends.
void SetLogJobContext(const char *idOverride, const char *messageName, uint32_t value32, int16_t value16a,
                      uint16_t value16b);
void ClearLogJobContext(void);

// Builds the line prefix "yy-mm-dd hh:mm:ss  <ID> - " for the given time.
struct RtTime;
void FormatLogPrefix(const RtTime *t, const char *id, char *out, size_t size);

// Where event reports go; tests put their own sink in. The default is the
// system's event log. Returns 1 when the report was taken.
typedef int (*TvEventSink)(uint16_t eventId, const char *typeName, const char *text);
TvEventSink SetEventSink(TvEventSink sink); // null restores the default; returns the previous
int PlatReportEvent(uint16_t eventId, const char *typeName, const char *text);

#endif
