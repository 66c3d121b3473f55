// Clock and sleep of the server programs: the one sleep that every waiting
// loop uses, the tick and local time behind it, and the seam through which
// tests put a fake clock in. The lowest module of the runtime: it calls only
// the platform layer (common/platform.h).
#ifndef TAVRINE_SERVER_RUNTIME_RTCLOCK_H
#define TAVRINE_SERVER_RUNTIME_RTCLOCK_H

#include <cstdint>

struct RtTime {
    int year;                   // four digits
    int month, day, hour, minute, second;
};

// The clock and sleep under SleepYield, the retry loops and the log lines.
// Tests put a fake one in; null members keep the system's.
struct RtClock {
    uint32_t (*tickMs)(void);   // milliseconds, only differences count
    void (*sleepMs)(uint32_t ms);
    void (*localTime)(RtTime *t);
};
void SetRuntimeClock(const RtClock *clock); // null restores the system clock
uint32_t RtTickMs(void);
void RtSleepMs(uint32_t ms);
void RtLocalTime(RtTime *t);

// Sleeps ms milliseconds; 0 sleeps the default tick unless the previous sleep
// ended less than the minimum interval ago (then returns at once). The first
// call of a process always sleeps.
void SleepYield(uint32_t ms);
// SleepYield with the time capped at 1000 ms.
void SleepYieldShort(uint32_t ms);
// Defaults: tick 100 ms, minimum interval 100 ms (the modem controller uses
// 250 and 0). Also forgets the previous sleep.
void SetSleepYieldTiming(uint32_t tickMs, uint32_t minIntervalMs);
uint32_t SleepYieldTick(void);

#endif
