// Logged global memory for the native test tree: a lock count before the
// block stands in for the system's.
#include "server/runtime/globalmem.h"

#include <cstddef>
#include <cstdlib>

namespace {
struct PosixGlobal {
    int locks;
    size_t size;
    unsigned char data[1];
};
} // namespace

TvGlobal PlatGlobalAlloc(uint32_t bytes)
{
    PosixGlobal *g = static_cast<PosixGlobal *>(std::calloc(1, sizeof(PosixGlobal) + bytes));
    if (g)
        g->size = bytes;
    return g;
}

bool PlatGlobalFree(TvGlobal h)
{
    if (!h)
        return false;
    std::free(h);
    return true;
}

void *PlatGlobalLock(TvGlobal h)
{
    if (!h)
        return nullptr;
    PosixGlobal *g = static_cast<PosixGlobal *>(h);
    ++g->locks;
    return g->data;
}

bool PlatGlobalUnlock(TvGlobal h)
{
    if (!h)
        return false;
    PosixGlobal *g = static_cast<PosixGlobal *>(h);
    if (g->locks > 0)
        --g->locks;
    return g->locks > 0;
}

int PlatHandleId(TvGlobal h) { return static_cast<int>(reinterpret_cast<intptr_t>(h) & 0x7FFFFFFF); }
