// Server log: the NT event log.
#include "server/runtime/srvlog.h"

#include <windows.h>

int PlatReportEvent(uint16_t eventId, const char *typeName, const char *text)
{
    (void)typeName;
    HANDLE source = RegisterEventSourceA(nullptr, "Tavrine Server");
    if (!source)
        return 0;
    WORD type = (eventId & 0xC000) == 0xC000   ? EVENTLOG_ERROR_TYPE
                : (eventId & 0xC000) == 0x8000 ? EVENTLOG_WARNING_TYPE
                                               : EVENTLOG_INFORMATION_TYPE;
    LPCSTR strings[1] = {text};
    BOOL ok = ReportEventA(source, type, 0, eventId, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
    return ok ? 1 : 0;
}
