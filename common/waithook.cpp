#include "common/waithook.h"

#include <chrono>
#include <thread>

static TvWaitHook g_waitHook = nullptr;

TvWaitHook SetWaitHook(TvWaitHook hook)
{
    TvWaitHook old = g_waitHook ? g_waitHook : DefaultWaitHook;
    g_waitHook = hook;
    return old;
}

void RunWaitHook(void)
{
    if (g_waitHook)
        g_waitHook();
    else
        DefaultWaitHook();
}

void DefaultWaitHook(void)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}
