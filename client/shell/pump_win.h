// The client's message pump for waits. Long operations on the one GUI
// thread (the shared open's retries, block copies, the wait for a list)
// call it so that messages other threads and programs send to the client's
// windows are delivered; nothing posted to the client's own queue is taken
// or dispatched.
#ifndef TAVRINE_CLIENT_SHELL_PUMP_WIN_H
#define TAVRINE_CLIENT_SHELL_PUMP_WIN_H

#include <windows.h>

// The window whose messages the peek looks at (the main window; null: any
// window of the thread).
void SetPumpWindow(HWND window);

// Yields to Windows at most every 250 ms unless force is non-zero. Always 0.
int PumpMessages(int force);

// The two forms the shared library and the store install as their hooks:
// the throttled pump, and the forced one.
void PumpMessagesThrottled(void);
void PumpMessagesForced(void);

#endif
