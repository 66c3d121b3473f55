// Logged global memory: the Win32 calls.
#include "server/runtime/globalmem.h"

#include <windows.h>

TvGlobal PlatGlobalAlloc(uint32_t bytes) { return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes); }

bool PlatGlobalFree(TvGlobal h) { return h && GlobalFree(static_cast<HGLOBAL>(h)) == nullptr; }

void *PlatGlobalLock(TvGlobal h) { return h ? GlobalLock(static_cast<HGLOBAL>(h)) : nullptr; }

bool PlatGlobalUnlock(TvGlobal h)
{
    if (!h)
        return false;
    return GlobalUnlock(static_cast<HGLOBAL>(h)) != 0;
}

int PlatHandleId(TvGlobal h) { return static_cast<int>(reinterpret_cast<intptr_t>(h)); }
