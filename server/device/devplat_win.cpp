// Process and thread priority of a device controller (Windows).
#include <windows.h>

#include "server/device/devplat.h"
#include "server/runtime/srvlog.h"

void DevSetPriority(void)
{
    // The process class high so the serial line is served in time, the
    // thread itself lowest so the controller yields between its short bursts.
    if (!SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS)) {
        LogMessage(5, "Unable to set process priority (%ld)", static_cast<long>(GetLastError()));
        return;
    }
    if (!SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST)) {
        LogMessage(5, "Unable to set thread priority (%ld)", static_cast<long>(GetLastError()));
        return;
    }
    LogMessage(2, "Successfully set thread priority");
}
