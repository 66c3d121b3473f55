// Clock and sleep: the seam over the platform layer's clock, and SleepYield.
#include "server/runtime/rtclock.h"

#include "common/platform.h"

// ---------------------------------------------------------------- clock
static RtClock g_clock;

void SetRuntimeClock(const RtClock *clock)
{
    if (clock)
        g_clock = *clock;
    else
        g_clock = RtClock{};
}

// The system tick cut to 32 bits: it wraps, and only differences count.
uint32_t RtTickMs(void)
{
    return g_clock.tickMs ? g_clock.tickMs() : static_cast<uint32_t>(TvPlatTickMs());
}

void RtSleepMs(uint32_t ms)
{
    if (g_clock.sleepMs)
        g_clock.sleepMs(ms);
    else
        TvPlatSleepMs(ms);
}

void RtLocalTime(RtTime *t)
{
    if (g_clock.localTime) {
        g_clock.localTime(t);
        return;
    }
    TvDateTime now;
    TvPlatLocalTime(&now);
    t->year = now.year;
    t->month = now.month;
    t->day = now.day;
    t->hour = now.hour;
    t->minute = now.minute;
    t->second = now.second;
}

// ---------------------------------------------------------------- sleep
static uint32_t g_tickMs = 100;
static uint32_t g_minIntervalMs = 100;
static bool g_sleptBefore = false;
static uint32_t g_lastSleepEnd = 0;

void SetSleepYieldTiming(uint32_t tickMs, uint32_t minIntervalMs)
{
    g_tickMs = tickMs;
    g_minIntervalMs = minIntervalMs;
    g_sleptBefore = false;
}

uint32_t SleepYieldTick(void) { return g_tickMs; }

void SleepYield(uint32_t ms)
{
    if (ms == 0) {
        if (g_sleptBefore && RtTickMs() - g_lastSleepEnd < g_minIntervalMs)
            return;
        ms = g_tickMs;
    }
    RtSleepMs(ms);
    g_sleptBefore = true;
    g_lastSleepEnd = RtTickMs();
}

void SleepYieldShort(uint32_t ms) { SleepYield(ms > 1000 ? 1000 : ms); }
