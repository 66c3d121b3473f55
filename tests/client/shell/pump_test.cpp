// The pump's throttle: one yield per 250 ms window, forced calls and the
// first call always yield, a clock set back yields.
#include "client/shell/pump.h"

#include <gtest/gtest.h>

TEST(PumpThrottle, YieldsOncePerWindow)
{
    struct Call {
        int64_t atMs;
        bool force;
        bool yields;
    };
    const Call calls[] = {
        {1000, false, true},  // first call
        {1100, false, false}, {1200, false, false},
        {1250, false, true},  // 250 ms on
        {1300, true, true},   // forced
        {1400, false, false}, {1549, false, false},
        {1550, false, true},
        {900, false, true},   // clock set back
        {1000, false, false},
    };
    TvPumpThrottle t = {};
    for (const Call &c : calls) {
        SCOPED_TRACE(c.atMs);
        EXPECT_EQ(c.yields, PumpShouldYield(&t, c.atMs, c.force));
    }
}

TEST(PumpThrottle, FirstCallYieldsWhateverItsArgument)
{
    TvPumpThrottle t = {};
    EXPECT_TRUE(PumpShouldYield(&t, 0, false));
    TvPumpThrottle u = {};
    EXPECT_TRUE(PumpShouldYield(&u, 0, true));
    EXPECT_FALSE(PumpShouldYield(&u, 10, false));
}
