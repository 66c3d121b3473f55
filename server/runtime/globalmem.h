// Logged global memory of the server programs: movable, zero-filled blocks
// (the status report a device controller hands over), each failure logged at
// level 5 through the server log. The system calls are in globalmem_win.cpp /
// globalmem_posix.cpp.
#ifndef TAVRINE_SERVER_RUNTIME_GLOBALMEM_H
#define TAVRINE_SERVER_RUNTIME_GLOBALMEM_H

#include <cstdint>

typedef void *TvGlobal;
TvGlobal GlobalAllocLogged(uint32_t bytes);
void GlobalFreeLogged(TvGlobal handle);
void *GlobalLockLogged(TvGlobal handle);
void GlobalUnlockLogged(TvGlobal handle);

// ---------------------------------------------------------------- system calls
// Implemented by globalmem_win.cpp or globalmem_posix.cpp.
TvGlobal PlatGlobalAlloc(uint32_t bytes);
bool PlatGlobalFree(TvGlobal h);
void *PlatGlobalLock(TvGlobal h);
bool PlatGlobalUnlock(TvGlobal h); // true while the block stays locked
int PlatHandleId(TvGlobal h);

#endif
