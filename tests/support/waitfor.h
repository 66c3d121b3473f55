// Waits with a deadline for a condition that another process or thread
// brings about: true as soon as pred() holds, false when ms ran out first.
#ifndef TAVRINE_TESTS_SUPPORT_WAITFOR_H
#define TAVRINE_TESTS_SUPPORT_WAITFOR_H

#include <cstdint>

#include "common/platform.h"

namespace tvtest {

template <typename Pred> bool WaitFor(uint32_t ms, Pred pred, uint32_t pollMs = 20)
{
    const int64_t start = TvPlatTickMs();
    for (;;) {
        if (pred())
            return true;
        if (TvPlatTickMs() - start >= ms)
            return false;
        TvPlatSleepMs(pollMs);
    }
}

} // namespace tvtest

#endif
