// The periodic checks of timer 1: when to test the server, re-read the
// lists, look at print-to-fax spool files and reply files, and how long to
// wait for the next tick. The clock and the work are passed in, so the
// schedule runs the same under a test's clock.
#ifndef TAVRINE_CLIENT_SHELL_SCHEDULE_H
#define TAVRINE_CLIENT_SHELL_SCHEDULE_H

#include <cstdint>

// Check intervals in seconds; 0 or less switches a check off.
struct TvTimerSettings {
    int checkServer, checkNew, checkIdleNew, checkWaiting, checkIdleWaiting, spoolCheck;
};

// Times are whole seconds of the clock; 0 means never.
struct TvTimerState {
    int64_t lastTick, lastServer, lastNew, lastWaiting, lastSpool;
    bool firstServerCheckDone, firstTick, inSpoolWork, spoolCheckDue;
};

// All times 0, firstTick on, the other flags off.
void TimerStateInit(TvTimerState *s);

// The work a tick may do and the state it reads. A null member answers
// no / 0 and does nothing, except spoolComplete, whose absence means no
// spool work is pending.
struct TvTimerActions {
    void *context;
    bool (*serverRunning)(void *);
    bool (*serverAccessible)(void *);
    int (*checkServer)(void *);             // the full lock test; sets both flags
    int (*isServerAvailable)(void *);       // the marker test, else the full test
    void (*refreshMainWindow)(void *);
    void (*fillList)(void *, int listId);   // 1120, 1121, 1122
    bool (*newListIdle)(void *);
    bool (*waitingListIdle)(void *);
    bool (*inGroup)(void *);
    bool (*replyAwaited)(void *);
    void (*checkReplies)(void *);
    int (*spoolState)(void *);              // the print-to-fax state
    bool (*modal)(void *);                  // a command's modal dialog is open
    int (*appState)(void *);
    void (*processSpool)(void *, bool spoolCheckDue, bool firstTick);
    int (*spoolComplete)(void *);           // 0 = not complete
    void (*destroyWelcome)(void *);
};

// Waits of the timer, in milliseconds.
enum {
    TV_TIMER_MAX_WAIT_MS = 2000,       // the timer fires at least this often
    TV_TIMER_SPOOL_WAIT_MS = 1000,     // while print-to-fax spooling is incomplete
    TV_TIMER_REPLY_WAIT_MS = 500,      // while a reply file is awaited
    TV_TIMER_FALLBACK_MS = 1000,       // for a wait outside 1..32767
    TV_TIMER_LIMIT_MS = 32767,
};

// Print-to-fax states in which spool work may run; the last one is worked
// on at every tick.
enum { TV_SPOOL_STATE_A = 101, TV_SPOOL_STATE_B = 103, TV_SPOOL_STATE_PENDING = 107 };

// AppState while a DDE client is in control: no spool work then.
enum { TV_APP_DDE_CONTROL = 2 };

// One tick at 'now' (whole seconds of the clock). Returns the milliseconds
// to re-arm timer 1 with (1..32767, else 1000).
int RunPeriodicChecksAt(int64_t now, const TvTimerSettings &t, TvTimerState *s, const TvTimerActions &a);

#endif
