// The periodic checks of timer 1, run against a fake clock and a fake world
// that records what each tick did.
#include "client/shell/schedule.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "client/store/listids.h"

namespace {

// The server and the lists as the timer sees them. The server's marker
// outlives a dead server until the full lock test deletes it.
struct World {
    bool running = true, accessible = true;
    bool serverAlive = true, marker = true;
    bool newIdle = false, waitingIdle = false, group = false, reply = false, modal = false;
    int spoolState = 0, appState = 1, spoolComplete = 1;
    int64_t now = 0;
    std::vector<int64_t> serverTests, refreshes, replyChecks;
    std::vector<int64_t> fills[3];
    struct Spool {
        int64_t at;
        bool due, firstTick;
    };
    std::vector<Spool> spools;
    int welcome = 0;
};

World &W(void *c)
{
    return *static_cast<World *>(c);
}

int FullTest(void *c)
{
    World &w = W(c);
    w.serverTests.push_back(w.now);
    if (!w.serverAlive)
        w.marker = false;
    w.running = w.serverAlive;
    return w.running ? 1 : 0;
}

int MarkerTest(void *c)
{
    World &w = W(c);
    if (w.marker) {
        w.running = true;
        return 1;
    }
    return FullTest(c);
}

TvTimerActions Actions(World *w)
{
    TvTimerActions a{};
    a.context = w;
    a.serverRunning = [](void *c) { return W(c).running; };
    a.serverAccessible = [](void *c) { return W(c).accessible; };
    a.checkServer = FullTest;
    a.isServerAvailable = MarkerTest;
    a.refreshMainWindow = [](void *c) { W(c).refreshes.push_back(W(c).now); };
    a.fillList = [](void *c, int id) { W(c).fills[id - TV_LIST_NEW].push_back(W(c).now); };
    a.newListIdle = [](void *c) { return W(c).newIdle; };
    a.waitingListIdle = [](void *c) { return W(c).waitingIdle; };
    a.inGroup = [](void *c) { return W(c).group; };
    a.replyAwaited = [](void *c) { return W(c).reply; };
    a.checkReplies = [](void *c) { W(c).replyChecks.push_back(W(c).now); };
    a.spoolState = [](void *c) { return W(c).spoolState; };
    a.modal = [](void *c) { return W(c).modal; };
    a.appState = [](void *c) { return W(c).appState; };
    a.processSpool = [](void *c, bool due, bool first) { W(c).spools.push_back({W(c).now, due, first}); };
    a.spoolComplete = [](void *c) { return W(c).spoolComplete; };
    a.destroyWelcome = [](void *c) { ++W(c).welcome; };
    return a;
}

const int64_t kStart = 1000000000;                      // a clock far from 0
const TvTimerSettings kDefaults = {100, 10, 10, 10, 10, 0};  // from StatusTimer: 10

// Drives the timer from kStart for 'seconds' on a millisecond clock,
// recording times relative to the start; returns the waits asked for.
struct Sim {
    World w;
    TvTimerState s;
    TvTimerActions a = Actions(&w);
    int64_t ms = kStart * 1000;
    std::vector<int> waits;

    Sim() { TimerStateInit(&s); }
    void For(int seconds, const TvTimerSettings &t)
    {
        const int64_t end = ms + static_cast<int64_t>(seconds) * 1000;
        while (ms < end) {
            w.now = ms / 1000 - kStart;
            int wait = RunPeriodicChecksAt(ms / 1000, t, &s, a);
            waits.push_back(wait);
            ms += wait;
        }
    }
};

std::vector<int64_t> Every(int64_t step, int64_t from, int64_t below)
{
    std::vector<int64_t> v;
    for (int64_t t = from; t < below; t += step)
        v.push_back(t);
    return v;
}

TEST(Schedule, DefaultIntervals)
{
    Sim r;
    r.For(250, kDefaults);
    EXPECT_EQ(Every(10, 0, 250), r.w.fills[0]);
    EXPECT_EQ(Every(10, 0, 250), r.w.fills[1]);
    EXPECT_EQ(Every(10, 0, 250), r.w.fills[2]);
    EXPECT_EQ(Every(100, 0, 250), r.w.serverTests) << "the full test at every server test";
    EXPECT_TRUE(r.w.refreshes.empty());
    for (int wait : r.waits)
        ASSERT_EQ(2000, wait);
    EXPECT_EQ(r.s.lastTick - kStart, 248);
}

TEST(Schedule, IntervalChoice)
{
    // checkNew 10, idle new 30, waiting 20, idle waiting 60; two minutes.
    const TvTimerSettings t = {0, 10, 30, 20, 60, 0};
    const struct {
        const char *what;
        bool newIdle, waitingIdle, running, group;
        int64_t newStep, waitingStep;
    } cases[] = {
        {"busy, server up", false, false, true, false, 10, 20},
        {"idle lists", true, true, true, false, 30, 60},
        {"idle, but a group's user", true, true, true, true, 10, 60},
        {"busy, server down", false, false, false, false, 30, 60},
        {"busy, server down, a group's user", false, false, false, true, 10, 60},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Sim r;
        r.w.newIdle = c.newIdle;
        r.w.waitingIdle = c.waitingIdle;
        r.w.running = c.running;
        r.w.group = c.group;
        r.For(120, t);
        EXPECT_EQ(Every(c.newStep, 0, 120), r.w.fills[0]);
        EXPECT_EQ(Every(c.waitingStep, 0, 120), r.w.fills[1]);
        EXPECT_EQ(r.w.fills[1], r.w.fills[2]);
    }
}

TEST(Schedule, LongIntervalKeepsTwoSecondTicks)
{
    Sim r;
    r.For(100, TvTimerSettings{0, 30, 30, 0, 0, 0});
    EXPECT_EQ(Every(30, 0, 100), r.w.fills[0]);
    EXPECT_TRUE(r.w.fills[1].empty());
    EXPECT_EQ(50u, r.waits.size());
}

TEST(Schedule, ChecksSwitchedOff)
{
    Sim r;
    r.For(60, TvTimerSettings{0, 0, -5, -1, 0, -3});
    EXPECT_TRUE(r.w.serverTests.empty());
    for (const auto &f : r.w.fills)
        EXPECT_TRUE(f.empty());
    EXPECT_FALSE(r.s.spoolCheckDue);
    // Off in the idle state only: the busy interval still runs.
    Sim busy;
    busy.For(30, TvTimerSettings{0, 10, 0, 0, 0, 0});
    EXPECT_EQ(Every(10, 0, 30), busy.w.fills[0]);
    busy.w.newIdle = true;
    busy.For(30, TvTimerSettings{0, 10, 0, 0, 0, 0});
    EXPECT_EQ(Every(10, 0, 30), busy.w.fills[0]) << "idle: not read again";
}

TEST(Schedule, ClockSetBackMakesEverythingDue)
{
    Sim r;
    r.For(50, kDefaults);
    const size_t fills = r.w.fills[0].size(), tests = r.w.serverTests.size();
    r.ms -= 3600 * 1000;
    r.w.now = r.ms / 1000 - kStart;
    r.ms += RunPeriodicChecksAt(r.ms / 1000, kDefaults, &r.s, r.a);
    EXPECT_EQ(fills + 1, r.w.fills[0].size());
    EXPECT_EQ(fills + 1, r.w.fills[1].size());
    EXPECT_EQ(tests + 1, r.w.serverTests.size());
    // From then on the old rhythm again.
    r.For(30, kDefaults);
    EXPECT_EQ(fills + 4, r.w.fills[0].size());
}

TEST(Schedule, ReplyAwaited)
{
    Sim r;
    r.w.reply = true;
    r.For(25, kDefaults);
    for (const auto &f : r.w.fills)
        EXPECT_TRUE(f.empty()) << "no list is re-read while a reply is awaited";
    for (int wait : r.waits)
        ASSERT_EQ(500, wait);
    EXPECT_EQ(50u, r.w.replyChecks.size());
    // The checks' times were still taken (0, 10, 20): with the reply in,
    // the lists are next read at 30, not at once.
    r.w.reply = false;
    r.For(10, kDefaults);
    EXPECT_EQ(std::vector<int64_t>({30}), r.w.fills[0]);
    EXPECT_EQ(std::vector<int64_t>({30}), r.w.fills[1]);
}

TEST(Schedule, ServerGoesDownAndComesBack)
{
    Sim r;
    r.For(150, kDefaults);                // tests at 0 and 100
    r.w.serverAlive = false;              // dies, leaving its marker
    r.For(100, kDefaults);                // test at 200
    EXPECT_FALSE(r.w.running) << "the stale marker must not hide a dead server";
    EXPECT_FALSE(r.w.marker);
    EXPECT_EQ(std::vector<int64_t>({200}), r.w.refreshes);
    EXPECT_EQ(std::vector<int64_t>({0, 100, 200, 200}), r.w.serverTests)
        << "a second look at once, while the area is reachable";

    // While down, each test refreshes the window again.
    r.For(100, kDefaults);
    EXPECT_EQ(std::vector<int64_t>({200, 300}), r.w.refreshes);

    // Back with its marker: seen at the next test, and the window follows.
    r.w.serverAlive = true;
    r.w.marker = true;
    r.For(100, kDefaults);
    EXPECT_TRUE(r.w.running);
    EXPECT_EQ(std::vector<int64_t>({200, 300, 400}), r.w.refreshes);

    // Unreachable: no probe at all, only the refresh.
    const size_t tests = r.w.serverTests.size();
    r.w.accessible = false;
    r.For(100, kDefaults);
    EXPECT_EQ(tests, r.w.serverTests.size());
    EXPECT_EQ(std::vector<int64_t>({200, 300, 400, 500}), r.w.refreshes);
}

TEST(Schedule, SpoolWork)
{
    const TvTimerSettings t = {0, 0, 0, 0, 0, 5};
    const struct {
        const char *what;
        int state;
        bool modal, running, accessible;
        int appState;
        std::vector<int64_t> runs, due;    // processSpool calls; those with the check due
    } cases[] = {
        // Ticks at 0, 2, 4, 5, 7, 9, 10, 12: the wait shortens to each due check.
        {"state 101: only when the check is due", 101, false, true, true, 1, {0, 5, 10}, {0, 5, 10}},
        {"state 103", 103, false, true, true, 1, {0, 5, 10}, {0, 5, 10}},
        {"state 107: every tick", 107, false, true, true, 1, {0, 2, 4, 5, 7, 9, 10, 12}, {0, 5, 10}},
        {"another state", 100, false, true, true, 1, {}, {}},
        {"modal dialog open", 107, true, true, true, 1, {}, {}},
        {"server down", 107, false, false, true, 1, {}, {}},
        {"directories unreachable", 107, false, true, false, 1, {}, {}},
        {"under a DDE client's control", 107, false, true, true, 2, {}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Sim r;
        r.w.spoolState = c.state;
        r.w.modal = c.modal;
        r.w.serverAlive = r.w.running = c.running;
        r.w.accessible = c.accessible;
        r.w.appState = c.appState;
        r.For(14, t);
        std::vector<int64_t> runs, due;
        for (const auto &sp : r.w.spools) {
            runs.push_back(sp.at);
            if (sp.due)
                due.push_back(sp.at);
            EXPECT_EQ(sp.at == 0, sp.firstTick);
        }
        EXPECT_EQ(c.runs, runs);
        EXPECT_EQ(c.due, due);
        // Blocked work leaves the check due for later.
        EXPECT_EQ(c.runs.empty(), r.s.spoolCheckDue);
    }
}

TEST(Schedule, SpoolWorkIsNotReentered)
{
    Sim r;
    r.w.spoolState = 107;
    static Sim *outer;
    outer = &r;
    r.a.processSpool = [](void *c, bool, bool) {
        W(c).spools.push_back({W(c).now, false, false});
        // A box inside the spool work lets a tick run meanwhile.
        if (W(c).spools.size() < 3)
            RunPeriodicChecksAt(outer->ms / 1000, kDefaults, &outer->s, outer->a);
    };
    r.For(2, kDefaults);
    EXPECT_EQ(1u, r.w.spools.size());
    EXPECT_FALSE(r.s.inSpoolWork);
}

TEST(Schedule, ShorterWaits)
{
    Sim r;
    r.w.spoolComplete = 0;
    r.For(10, kDefaults);
    for (int wait : r.waits)
        ASSERT_EQ(1000, wait) << "spooling incomplete";

    // A check due within the two seconds shortens the wait to it.
    Sim odd;
    odd.For(1, TvTimerSettings{0, 3, 3, 0, 0, 0});
    odd.For(1, TvTimerSettings{0, 3, 3, 0, 0, 0});
    EXPECT_EQ(std::vector<int>({2000, 1000}), odd.waits);
    EXPECT_EQ(std::vector<int64_t>({0}), odd.w.fills[0]);
    odd.For(1, TvTimerSettings{0, 3, 3, 0, 0, 0});
    EXPECT_EQ(std::vector<int64_t>({0, 3}), odd.w.fills[0]);
}

TEST(Schedule, WelcomeGoesOnTheFirstTickOnly)
{
    Sim r;
    r.For(20, kDefaults);
    EXPECT_EQ(1, r.w.welcome);
    EXPECT_FALSE(r.s.firstTick);
}

TEST(Schedule, NullActionsDoNothing)
{
    TvTimerActions none{};
    TvTimerState s;
    TimerStateInit(&s);
    const TvTimerSettings t = {1, 1, 1, 1, 1, 1};
    EXPECT_EQ(1000, RunPeriodicChecksAt(kStart, t, &s, none));
    EXPECT_EQ(kStart, s.lastTick);
    EXPECT_EQ(kStart, s.lastServer);
    EXPECT_FALSE(s.firstTick);
    EXPECT_TRUE(s.spoolCheckDue) << "no server: the spool work waits";
}

} // namespace
