// The one wait used by the shared library's retry loops.
//
// The client installs its message pump here so that a wait for a shared file
// keeps its windows alive; server programs, tools and the native build keep
// the default, which sleeps a few milliseconds so a retry loop does not burn
// a processor.
#ifndef TAVRINE_COMMON_WAITHOOK_H
#define TAVRINE_COMMON_WAITHOOK_H

typedef void (*TvWaitHook)(void);

// Installs a hook (none restores the default sleep); returns the previous one.
TvWaitHook SetWaitHook(TvWaitHook hook);

// Runs the installed hook once.
void RunWaitHook(void);

// The default hook: a short sleep (about 5 ms).
void DefaultWaitHook(void);

#endif
