#include "common/waithook.h"

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
