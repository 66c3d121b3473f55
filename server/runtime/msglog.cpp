// Daily message log.
#include "server/runtime/msglog.h"

#include <cstring>

#include "server/runtime/rtclock.h"
#include "server/runtime/sharedopen.h"
#include "server/runtime/srvlog.h"
#include "server/runtime/sysparams.h"

bool MessageLogOn(void) { return g_sysParams.logKeepDays > 0; }

static void FeedMessageLog(uint16_t eventId, const char *typeName, const char *id, const char *messageName,
                           uint32_t value32, int16_t value16a, uint16_t value16b, const char *text)
{
    if (MessageLogOn())
        WriteMessageLog(eventId, typeName, id, messageName, value32, value16a, value16b, text);
}

void StartMessageLog(void) { SetMessageLogFeed(FeedMessageLog); }

void FormatMessageLogLine(const RtTime *t, uint16_t eventId, const char *typeName, const char *id,
                          const char *messageName, uint32_t value32, int16_t value16a, uint16_t value16b,
                          const char *text, char *out, size_t size)
{
    int n = std::snprintf(out, size, "%.4X: %.2d-%.2d-%.2d %.2d:%.2d:%.2d,%-10.10s,%-8.8s,%.8lX,%-3d,%.4X,%-20s",
                          eventId, t->year % 100, t->month, t->day, t->hour, t->minute, t->second, id ? id : "",
                          messageName ? messageName : "", static_cast<unsigned long>(value32), value16a,
                          value16b, typeName ? typeName : "");
    if (text && text[0] && n > 0 && static_cast<size_t>(n) < size)
        std::snprintf(out + n, size - static_cast<size_t>(n), ",\"%s\"", text);
}

bool MessageLogPath(int year, int month, int day, char *out, size_t size)
{
    int n = std::snprintf(out, size, "%sT-DB\\T-%.2d%.2d%.2d.LOG", g_sysParams.serverArea, year % 100, month, day);
    return n > 0 && static_cast<size_t>(n) < size;
}

FILE *OpenMessageLogFile(int year, int month, int day, const char *mode)
{
    char path[512];
    if (!MessageLogPath(year, month, day, path, sizeof path))
        return nullptr;
    return OpenFileShared(OPEN_RETRY_MESSAGE_LOG, path, mode);
}

int WriteMessageLog(uint16_t eventId, const char *typeName, const char *id, const char *messageName,
                    uint32_t value32, int16_t value16a, uint16_t value16b, const char *text)
{
    // One reading of the clock gives both the file's date and the line's time.
    RtTime t;
    RtLocalTime(&t);
    FILE *f = OpenMessageLogFile(t.year, t.month, t.day, "at");
    if (!f) {
        // Cleared first so that this line is not itself sent here.
        ClearLogStateSection();
        LogMessage(5, "Error opening message log file");
        return 0;
    }
    char line[LOG_LINE_SIZE + 128];
    FormatMessageLogLine(&t, eventId, typeName, id, messageName, value32, value16a, value16b, text, line,
                         sizeof line);
    std::fprintf(f, "%s\n", line);
    bool ok = !std::ferror(f);
    ok = std::fclose(f) == 0 && ok;
    return ok ? 1 : 0;
}
