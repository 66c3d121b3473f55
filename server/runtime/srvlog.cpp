// Server log: line building, console, file, event log and message log feed.
#include "server/runtime/srvlog.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "common/liblog.h"
#include "server/runtime/consoleio.h"
#include "server/runtime/rtclock.h"
#include "server/runtime/sharedopen.h"

namespace {

struct LevelRow {
    char letter;
    const char *typeName;
    uint16_t eventId;
};

// Levels 1..6; index 0 stands for any other level.
const LevelRow kLevels[] = {
    {'?', "LIB_I_INFO", EVENT_INFO},
    {'.', "LIB_I_INFO", EVENT_INFO},
    {'-', "LIB_I_INFO", EVENT_INFO},
    {'I', "LIB_I_INFO", EVENT_INFO},
    {'W', "LIB_W_WARNING", EVENT_WARNING},
    {'E', "LIB_E_ERROR", EVENT_ERROR},
    {'S', "LIB_E_ERROR", EVENT_ERROR},
};

const LevelRow &Level(int level)
{
    return (level >= 1 && level <= 6) ? kLevels[level] : kLevels[0];
}

struct LogState {
    char id[LOG_ID_LEN + 1] = "          ";
    FILE *stream = nullptr;
    char fileName[LOG_FILENAME_MAX + 1] = "";
    int threshold = 1;
    int lost = 0;
    bool stateSection = false;
    bool service = false;
    // job context for the message log
    char idOverride[LOG_ID_LEN + 1] = "";
    char messageName[16] = "";
    uint32_t value32 = 0;
    int16_t value16a = 0;
    uint16_t value16b = 0;
};

LogState g_log;
TvEventSink g_eventSink = nullptr;
TvMessageLogFeed g_messageLogFeed = nullptr;

void LibraryLine(const char *line) { LogMessage(5, "%s", line); }

// Copies at most size-1 characters.
void CopyBounded(char *out, size_t size, const char *text)
{
    if (!size)
        return;
    size_t n = 0;
    while (text && text[n] && n + 1 < size)
        ++n;
    if (n)
        std::memcpy(out, text, n);
    out[n] = '\0';
}

} // namespace

char LogLevelLetter(int level) { return Level(level).letter; }
uint16_t LogLevelEventId(int level) { return Level(level).eventId; }
const char *LogLevelTypeName(int level) { return Level(level).typeName; }
const char *LogId(void) { return g_log.id; }
int LogThreshold(void) { return g_log.threshold; }
void SetLogThreshold(int level) { g_log.threshold = level; }
const char *LogFileName(void) { return g_log.fileName; }
int LogLostLines(void) { return g_log.lost; }
void ClearLogStateSection(void) { g_log.stateSection = false; }
void SetLogServiceMode(bool service) { g_log.service = service; }
bool LogServiceMode(void) { return g_log.service; }
void SetMessageLogFeed(TvMessageLogFeed feed) { g_messageLogFeed = feed; }

void SetLogJobContext(const char *idOverride, const char *messageName, uint32_t value32, int16_t value16a,
                      uint16_t value16b)
{
    CopyBounded(g_log.idOverride, sizeof g_log.idOverride, idOverride);
    CopyBounded(g_log.messageName, sizeof g_log.messageName, messageName);
    g_log.value32 = value32;
    g_log.value16a = value16a;
    g_log.value16b = value16b;
}

void ClearLogJobContext(void) { SetLogJobContext("", "", 0, 0, 0); }

TvEventSink SetEventSink(TvEventSink sink)
{
    TvEventSink old = g_eventSink ? g_eventSink : PlatReportEvent;
    g_eventSink = sink;
    return old;
}

void LogInit(FILE *stream, const char *fileName, int level, const char *id)
{
    if (!id)
        id = "";
    size_t idLen = std::strlen(id);
    if (idLen > LOG_ID_LEN) {
        std::printf("LogInit() - warning: szID too long\n");
        idLen = LOG_ID_LEN;
    }
    std::memset(g_log.id, ' ', LOG_ID_LEN);
    std::memcpy(g_log.id, id, idLen);
    g_log.id[LOG_ID_LEN] = '\0';

    if (!fileName)
        fileName = "";
    if (std::strlen(fileName) > LOG_FILENAME_MAX) {
        std::printf("LogInit() - invalid filename '%s'\n", fileName);
        std::fflush(stdout);
        std::exit(1);
    }
    // Lines lost on another file are not this file's to report.
    if (std::strcmp(g_log.fileName, fileName) != 0)
        g_log.lost = 0;
    CopyBounded(g_log.fileName, sizeof g_log.fileName, fileName);
    g_log.stream = stream;
    g_log.threshold = level;
    if (!stream && !fileName[0])
        std::printf("LogInit() - szFileName and fp both NULL\n");
    SetLibLogHook(LibraryLine);
}

void FormatLogPrefix(const RtTime *t, const char *id, char *out, size_t size)
{
    std::snprintf(out, size, "%.2d-%.2d-%.2d %.2d:%.2d:%.2d  %s - ", t->year % 100, t->month, t->day, t->hour,
                  t->minute, t->second, id);
}

void LogToConsole(const char *format, ...)
{
    char msg[LOG_LINE_SIZE];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(msg, sizeof msg, format, ap);
    va_end(ap);
    RtTime t;
    RtLocalTime(&t);
    std::printf("%.2d:%.2d:%.2d  %s - %s\n", t.hour, t.minute, t.second, g_log.id, msg);
    std::fflush(stdout);
}

int ReportServerEvent(uint16_t eventId, const char *typeName, const char *format, ...)
{
    if (!g_log.service)
        return 0;
    char text[LOG_LINE_SIZE];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    TvEventSink sink = g_eventSink ? g_eventSink : PlatReportEvent;
    return sink(eventId, typeName, text) ? 1 : 0;
}

// Writes a line and a line end when it has none.
static void PutLine(FILE *f, const char *line)
{
    size_t n = std::strlen(line);
    std::fputs(line, f);
    if (n == 0 || line[n - 1] != '\n')
        std::fputc('\n', f);
}

void LogMessage(int level, const char *format, ...)
{
    bool wasInSection = g_log.stateSection;
    g_log.stateSection = true;
    if (level < g_log.threshold)
        return;

    RtTime t;
    RtLocalTime(&t);
    char prefix[64];
    FormatLogPrefix(&t, g_log.id, prefix, sizeof prefix);

    char msg[LOG_LINE_SIZE] = "";
    if (format) {
        va_list ap;
        va_start(ap, format);
        std::vsnprintf(msg, sizeof msg, format, ap);
        va_end(ap);
    }

    char line[LOG_LINE_SIZE + 128];
    std::snprintf(line, sizeof line, "%s(%c) - %s", prefix, Level(level).letter, msg);

    if (g_log.stream == stdout) {
        EchoLogLine(line);
    } else if (g_log.stream) {
        std::fprintf(g_log.stream, "%s\n", line);
        std::fflush(g_log.stream);
    }

    if (g_log.fileName[0] && level >= LOG_FILE_LEVEL) {
        // While lines are being lost one try is enough: the file is held.
        FILE *f = OpenFileShared(g_log.lost ? 0 : OPEN_RETRY_SERVER_LOG, g_log.fileName, "at");
        if (f) {
            if (g_log.lost) {
                std::fprintf(f, "%s(E) - (%d system message%s lost)\n", prefix, g_log.lost,
                             g_log.lost > 1 ? "s" : "");
                g_log.lost = 0;
            }
            PutLine(f, line);
            std::fclose(f);
        } else {
            ++g_log.lost;
            LogToConsole("ERROR opening file '%s' (%d)", g_log.fileName, OpenFileSharedError());
        }
    }

    if (level >= 5 && !g_log.service)
        SoundBeep(880, 300);

    // The event log and the message log take the message with its double
    // quotes turned into single ones, on one line.
    char quoted[LOG_LINE_SIZE];
    CopyBounded(quoted, sizeof quoted, msg);
    size_t n = std::strlen(quoted);
    while (n > 0 && (quoted[n - 1] == '\n' || quoted[n - 1] == '\r'))
        quoted[--n] = '\0';
    for (size_t i = 0; i < n; ++i) {
        if (quoted[i] == '"')
            quoted[i] = '\'';
        else if (quoted[i] == '\n' || quoted[i] == '\r')
            quoted[i] = ' ';
    }

    if (level == 6)
        ReportServerEvent(EVENT_ERROR, "LIB_E_ERROR", "%s", quoted);

    if (g_messageLogFeed && level >= 3 && wasInSection && g_log.fileName[0]) {
        const char *id = g_log.idOverride[0] ? g_log.idOverride : g_log.id;
        g_messageLogFeed(Level(level).eventId, Level(level).typeName, id, g_log.messageName, g_log.value32,
                         g_log.value16a, g_log.value16b, quoted);
    }
}
