// Logged global memory: the logging around the system calls.
#include "server/runtime/globalmem.h"

#include "server/runtime/srvlog.h"

TvGlobal GlobalAllocLogged(uint32_t bytes)
{
    TvGlobal h = PlatGlobalAlloc(bytes);
    if (!h)
        LogMessage(5, "Error allocating %lu bytes of global memory", static_cast<unsigned long>(bytes));
    return h;
}

void GlobalFreeLogged(TvGlobal handle)
{
    if (!PlatGlobalFree(handle))
        LogMessage(5, "Error freeing memory (selector %d)", PlatHandleId(handle));
}

void *GlobalLockLogged(TvGlobal handle)
{
    void *p = PlatGlobalLock(handle);
    if (!p)
        LogMessage(5, "Error locking memory (selector %d)", PlatHandleId(handle));
    return p;
}

void GlobalUnlockLogged(TvGlobal handle)
{
    if (PlatGlobalUnlock(handle))
        LogMessage(5, "Error unlocking memory (selector %d)", PlatHandleId(handle));
}
