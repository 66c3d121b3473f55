#include "common/waithook.h"
#include "common/status.h"

#include <gtest/gtest.h>

static int g_calls;
static void CountingHook(void) { ++g_calls; }

TEST(WaitHook, InstalledHookRunsAndDefaultComesBack)
{
    g_calls = 0;
    SetWaitHook(CountingHook);
    RunWaitHook();
    RunWaitHook();
    EXPECT_EQ(g_calls, 2);
    EXPECT_EQ(SetWaitHook(nullptr), CountingHook);
    RunWaitHook();
    EXPECT_EQ(g_calls, 2);
}

TEST(Status, SignedSpellings)
{
    EXPECT_EQ(TvNeg(TV_E_TIFF_VERSION), -4068);
    EXPECT_EQ(TvNeg(TV_E_TIFF_WIDTH), -4062);
}
