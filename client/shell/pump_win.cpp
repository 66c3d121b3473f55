#include "client/shell/pump_win.h"

#include "client/shell/pump.h"
#include "common/platform.h"

namespace {
HWND s_window = nullptr;
TvPumpThrottle s_throttle = {};
} // namespace

void SetPumpWindow(HWND window) { s_window = window; }

int PumpMessages(int force)
{
    if (!PumpShouldYield(&s_throttle, TvPlatNowMs(), force != 0))
        return 0;
    // A peek for WM_QUIT alone, not removed: Windows delivers the pending
    // sent messages and leaves every posted one in the queue.
    MSG msg;
    PeekMessageA(&msg, s_window, WM_QUIT, WM_QUIT, PM_NOREMOVE);
    return 0;
}

void PumpMessagesThrottled(void) { PumpMessages(0); }

void PumpMessagesForced(void) { PumpMessages(1); }
