#include "client/shell/pump.h"

bool PumpShouldYield(TvPumpThrottle *t, int64_t nowMs, bool force)
{
    if (t->called && !force) {
        const int64_t since = nowMs - t->lastYieldMs;
        if (since >= 0 && since < TV_PUMP_INTERVAL_MS)
            return false;
    }
    t->called = true;
    t->lastYieldMs = nowMs;
    return true;
}
