// The server's shared open over the shared library's: the server's rules
// table, the retry budget and default, the wait on the runtime clock.
#include "server/runtime/sharedopen.h"

#include "common/sharedfile.h"
#include "server/runtime/rtclock.h"

// The shared library's letters and share modes; the letter leads, binary is
// the default, and only a share conflict is waited on.
const TvOpenRules g_serverOpenRules = {g_openModeRows, TV_OPEN_MODE_ROWS, true, 'b', false};

static int16_t g_defaultRetrySeconds = OPEN_RETRY_SYSTEM_INI;
static int g_lastOpenError = 0;

int OpenFileSharedError(void) { return g_lastOpenError; }

namespace {
// Between tries: one default tick, until the budget is spent (or the clock
// went back).
struct RetryBudget {
    uint32_t start, budgetMs;
};

bool WaitOneTick(void *context)
{
    const RetryBudget *b = static_cast<const RetryBudget *>(context);
    uint32_t now = RtTickMs();
    if (static_cast<int32_t>(now - b->start) < 0 || now - b->start >= b->budgetMs)
        return false;
    SleepYield(SleepYieldTick());
    return true;
}
} // namespace

FILE *OpenFileShared(int16_t retrySeconds, const char *path, const char *mode)
{
    if (!path) {
        if (!(static_cast<uint16_t>(retrySeconds) & 0x8000))
            g_defaultRetrySeconds = retrySeconds;
        return nullptr;
    }
    if (static_cast<uint16_t>(retrySeconds) & 0x8000)
        retrySeconds = g_defaultRetrySeconds;
    g_lastOpenError = 0;
    TvOpenPlan plan;
    if (!TvParseOpenMode(&g_serverOpenRules, mode, &plan))
        return nullptr;
    RetryBudget budget = {RtTickMs(), static_cast<uint32_t>(retrySeconds) * 1000u};
    FILE *f = TvOpenPlanned(path, &plan, WaitOneTick, &budget, &g_lastOpenError);
    if (f && plan.append)
        std::fseek(f, 0, SEEK_END);
    return f;
}
