// The periodic checks of timer 1.
//
// Every check keeps the time it last ran; a check is due when its interval
// has passed or the clock has gone back. Each step lowers the wait to its
// own due time, so the timer fires at least every two seconds and sooner
// when a check falls due earlier.
#include "client/shell/schedule.h"

#include "client/store/listids.h"

namespace {

bool Ask(bool (*f)(void *), void *context)
{
    return f && f(context);
}

int Get(int (*f)(void *), void *context)
{
    return f ? f(context) : 0;
}

void Do(void (*f)(void *), void *context)
{
    if (f)
        f(context);
}

void Fill(const TvTimerActions &a, int listId)
{
    if (a.fillList)
        a.fillList(a.context, listId);
}

void LowerWait(int64_t *wait, int64_t ms)
{
    if (ms > 0 && ms < *wait)
        *wait = ms;
}

// Whether a check with this interval is due; the wait is lowered to its
// remaining time when it is not.
bool Due(int64_t now, int64_t last, int interval, int64_t *wait)
{
    const int64_t elapsed = now - last;
    if (elapsed >= interval || elapsed < 0)
        return true;
    LowerWait(wait, (interval - elapsed) * 1000);
    return false;
}

// The "In" list is read often while messages are under way, and always as
// often for a group's user, whose group may receive at any time.
int NewInterval(const TvTimerSettings &t, const TvTimerActions &a)
{
    if (!Ask(a.newListIdle, a.context) && Ask(a.serverRunning, a.context))
        return t.checkNew;
    return Ask(a.inGroup, a.context) ? t.checkNew : t.checkIdleNew;
}

int WaitingInterval(const TvTimerSettings &t, const TvTimerActions &a)
{
    if (Ask(a.waitingListIdle, a.context) || !Ask(a.serverRunning, a.context))
        return t.checkIdleWaiting;
    return t.checkWaiting;
}

void ServerStep(int64_t now, const TvTimerSettings &t, TvTimerState *s, const TvTimerActions &a, int64_t *wait)
{
    const int interval = t.checkServer;
    if (interval <= 0 || !Due(now, s->lastServer, interval, wait))
        return;
    s->lastServer = now;
    LowerWait(wait, static_cast<int64_t>(interval) * 1000);
    if (Ask(a.serverAccessible, a.context) && Ask(a.serverRunning, a.context)) {
        // The full lock test every time: a server that died leaving its
        // marker behind passes the marker test for ever.
        Get(a.checkServer, a.context);
        s->firstServerCheckDone = true;
        if (Ask(a.serverRunning, a.context))
            return;
    }
    if (Ask(a.serverAccessible, a.context))
        Get(a.isServerAvailable, a.context);
    Do(a.refreshMainWindow, a.context);
}

void NewListStep(int64_t now, const TvTimerSettings &t, TvTimerState *s, const TvTimerActions &a, int64_t *wait)
{
    int interval = NewInterval(t, a);
    if (interval <= 0 || !Due(now, s->lastNew, interval, wait))
        return;
    s->lastNew = now;
    if (!Ask(a.replyAwaited, a.context)) {
        Fill(a, TV_LIST_NEW);
        interval = NewInterval(t, a);
    }
    LowerWait(wait, static_cast<int64_t>(interval) * 1000);
}

void WaitingListStep(int64_t now, const TvTimerSettings &t, TvTimerState *s, const TvTimerActions &a,
                     int64_t *wait)
{
    int interval = WaitingInterval(t, a);
    if (interval <= 0 || !Due(now, s->lastWaiting, interval, wait))
        return;
    s->lastWaiting = now;
    if (!Ask(a.replyAwaited, a.context)) {
        Fill(a, TV_LIST_WAITING);
        Fill(a, TV_LIST_FILED);
        interval = WaitingInterval(t, a);
    }
    LowerWait(wait, static_cast<int64_t>(interval) * 1000);
}

void SpoolSteps(int64_t now, const TvTimerSettings &t, TvTimerState *s, const TvTimerActions &a, int64_t *wait)
{
    if (t.spoolCheck > 0 && Due(now, s->lastSpool, t.spoolCheck, wait)) {
        s->spoolCheckDue = true;
        LowerWait(wait, static_cast<int64_t>(t.spoolCheck) * 1000);
    }

    const int state = Get(a.spoolState, a.context);
    const bool workState = state == TV_SPOOL_STATE_A || state == TV_SPOOL_STATE_B || state == TV_SPOOL_STATE_PENDING;
    // Guarded against re-entry: a box shown by the spool work lets the
    // idle handler run a tick inside this one.
    if (!s->inSpoolWork && !Ask(a.modal, a.context) && Ask(a.serverRunning, a.context) &&
        Ask(a.serverAccessible, a.context) && Get(a.appState, a.context) != TV_APP_DDE_CONTROL && workState) {
        s->inSpoolWork = true;
        if (s->spoolCheckDue || state == TV_SPOOL_STATE_PENDING) {
            const bool checkDue = s->spoolCheckDue;
            if (a.processSpool)
                a.processSpool(a.context, checkDue, s->firstTick);
            if (checkDue) {
                s->spoolCheckDue = false;
                s->lastSpool = now;
            }
        }
        s->inSpoolWork = false;
    }

    if (a.spoolComplete && a.spoolComplete(a.context) == 0)
        LowerWait(wait, TV_TIMER_SPOOL_WAIT_MS);
}

} // namespace

void TimerStateInit(TvTimerState *s)
{
    *s = TvTimerState{};
    s->firstTick = true;
}

int RunPeriodicChecksAt(int64_t now, const TvTimerSettings &t, TvTimerState *s, const TvTimerActions &a)
{
    s->lastTick = now;
    int64_t wait = TV_TIMER_MAX_WAIT_MS;

    ServerStep(now, t, s, a, &wait);
    NewListStep(now, t, s, a, &wait);
    WaitingListStep(now, t, s, a, &wait);
    SpoolSteps(now, t, s, a, &wait);

    if (Ask(a.replyAwaited, a.context)) {
        Do(a.checkReplies, a.context);
        LowerWait(&wait, TV_TIMER_REPLY_WAIT_MS);
    }

    if (s->firstTick) {
        s->firstTick = false;
        Do(a.destroyWelcome, a.context);
    }

    if (wait < 1 || wait > TV_TIMER_LIMIT_MS)
        return TV_TIMER_FALLBACK_MS;
    return static_cast<int>(wait);
}
