// Server log: the system log stands in for the NT event log.
#include "server/runtime/srvlog.h"

#include <syslog.h>

int PlatReportEvent(uint16_t eventId, const char *typeName, const char *text)
{
    int priority = (eventId & 0xC000) == 0xC000   ? LOG_ERR
                   : (eventId & 0xC000) == 0x8000 ? LOG_WARNING
                                                  : LOG_INFO;
    openlog("Tavrine Server", LOG_PID, LOG_USER);
    syslog(priority, "%s %.4X %s", typeName ? typeName : "", eventId, text ? text : "");
    closelog();
    return 1;
}
