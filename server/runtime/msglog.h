// Daily message log: one comma-separated line per job-related log line, in
// ServerArea\T-DB\T-yymmdd.LOG (local date). On while the setup INI's
// "LogKeepDays:" holds a number above 0.
#ifndef TAVRINE_SERVER_RUNTIME_MSGLOG_H
#define TAVRINE_SERVER_RUNTIME_MSGLOG_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct RtTime;

// Whether the daily message log is on (LogKeepDays above 0).
bool MessageLogOn(void);

// Puts the message log's feed into the server log (SetMessageLogFeed): from
// then on the server log's job lines are written here while MessageLogOn().
// ConsoleMain does this for every program.
void StartMessageLog(void);

// Appends "%.4X: <time>,<id:10>,<message:8>,%.8lX,%-3d,%.4X,<type:20>" and,
// when text is not empty, ',"text"' (text is written as given: its own
// double quotes are already single ones), then a line end. On failure to
// open the day's file the line is lost and "Error opening message log file"
// is logged at level 5. 1 written, 0 not.
int WriteMessageLog(uint16_t eventId, const char *typeName, const char *id, const char *messageName,
                    uint32_t value32, int16_t value16a, uint16_t value16b, const char *text);

// Builds the line WriteMessageLog writes (without the line end) for time t.
void FormatMessageLogLine(const RtTime *t, uint16_t eventId, const char *typeName, const char *id,
                          const char *messageName, uint32_t value32, int16_t value16a, uint16_t value16b,
                          const char *text, char *out, size_t size);

// The day's file path "<ServerArea>T-DB\T-yymmdd.LOG"; false when it does not fit.
bool MessageLogPath(int year, int month, int day, char *out, size_t size);

// Opens the day's file (mode as OpenFileShared takes it, retried 15 s).
FILE *OpenMessageLogFile(int year, int month, int day, const char *mode);

#endif
