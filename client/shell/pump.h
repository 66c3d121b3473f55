// The throttle of the message pump that long operations call between their
// steps: a yield at most every 250 ms unless forced, and always on the first
// call or when the clock went back.
#ifndef TAVRINE_CLIENT_SHELL_PUMP_H
#define TAVRINE_CLIENT_SHELL_PUMP_H

#include <cstdint>

enum { TV_PUMP_INTERVAL_MS = 250 };

struct TvPumpThrottle {
    bool called;            // false until the first call
    int64_t lastYieldMs;    // wall clock of the last yield
};

// Whether a call at nowMs (wall clock, milliseconds) yields; when it does,
// the time is recorded as the last yield.
bool PumpShouldYield(TvPumpThrottle *t, int64_t nowMs, bool force);

#endif
