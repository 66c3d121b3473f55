#include "client/shell/servercheck.h"

#include <cstring>

#include "client/shell/errorlog.h"
#include "common/platform.h"

namespace {

enum : uint16_t { LOG_ACCESS = 0xF805, LOG_LOCKED = 0xF809, LOG_WRITE = 0xF80A };
enum { PATH_SIZE = 300 };
const char kLockName[] = "TAVRINE.LOK";
const char kMarkerName[] = "SERVER.OK";

// The request area, or the same without its closing separator (not after
// a drive's ':'), can be reached.
bool AreaReachable(const char *area)
{
    if (TvPlatDirExists(area))
        return true;
    char bare[PATH_SIZE];
    size_t n = std::strlen(area);
    if (n < 2 || n >= sizeof bare || !TvIsPathSep(area[n - 1]) || area[n - 2] == ':')
        return false;
    std::memcpy(bare, area, n - 1);
    bare[n - 1] = '\0';
    return TvPlatDirExists(bare);
}

} // namespace

void ServerStateInit(TvServerState *s, const char *requestArea, bool checkServer, TvErrorLog *log)
{
    s->serverRunning = true;
    s->serverAccessible = true;
    s->checkServer = checkServer;
    s->requestArea = requestArea;
    s->log = log;
}

int QuickServerCheck(TvServerState *s)
{
    if (!s->checkServer) {
        s->serverRunning = true;
        return 1;
    }
    if (!AreaReachable(s->requestArea))
        return 0;
    char marker[PATH_SIZE];
    if (!TvJoinPath(marker, sizeof marker, s->requestArea, kMarkerName))
        return 0;
    FILE *f = TvPlatOpenRead(marker);
    if (!f)
        return 0;
    std::fclose(f);
    s->serverRunning = true;
    return 1;
}

int CheckServer(TvServerState *s)
{
    if (!s->checkServer) {
        s->serverRunning = true;
        return 1;
    }
    if (!AreaReachable(s->requestArea)) {
        WriteErrorLog(s->log, LOG_WRITE, "CheckServer", "No access to directory %s", s->requestArea);
        s->serverAccessible = false;
        return 0;
    }
    char lock[PATH_SIZE], marker[PATH_SIZE];
    if (!TvJoinPath(lock, sizeof lock, s->requestArea, kLockName) ||
        !TvJoinPath(marker, sizeof marker, s->requestArea, kMarkerName)) {
        s->serverAccessible = false;
        return 0;
    }
    if (!TvPlatFileExists(lock)) {
        s->serverRunning = false;
        return 0;
    }
    TvCreateResult why = TV_CR_OK;
    FILE *f = TvPlatOpen(lock, TV_ACCESS_READ, TV_OPEN_EXISTING, TV_DENY_WRITE, false, "rb", &why, nullptr);
    if (f) {
        // Nobody holds the lock: no server runs, and its marker is stale.
        std::fclose(f);
        TvPlatRemove(marker);
        s->serverRunning = false;
        return 0;
    }
    if (why == TV_CR_BUSY) {
        s->serverRunning = true;
        return 1;
    }
    WriteErrorLog(s->log, LOG_LOCKED, "CheckServer", "No access to file %s", lock);
    s->serverAccessible = false;
    return 0;
}

int IsServerAvailable(TvServerState *s)
{
    return QuickServerCheck(s) ? 1 : CheckServer(s);
}

int CheckWorkstationStart(TvWorkstationLock *lock, const char *userDbDir, TvErrorLog *log)
{
    lock->held = nullptr;
    char path[PATH_SIZE];
    if (!TvJoinPath(path, sizeof path, userDbDir, kLockName)) {
        WriteErrorLog(log, LOG_ACCESS, "CheckWorkstation", "Problem with workstation - cannot access %s", userDbDir);
        return 0;
    }
    TvCreateResult why = TV_CR_OK;
    if (!TvPlatFileExists(path)) {
        FILE *made = TvPlatOpen(path, TV_ACCESS_READWRITE, TV_OPEN_ALWAYS, TV_DENY_NONE, false, "r+b", &why, nullptr);
        if (made)
            std::fclose(made);
    }
    lock->held = TvPlatOpen(path, TV_ACCESS_READ, TV_OPEN_EXISTING, TV_DENY_ALL, false, "rb", &why, nullptr);
    if (lock->held)
        return 1;
    if (why == TV_CR_BUSY)
        WriteErrorLog(log, LOG_LOCKED, "CheckWorkstation", "User already logged on - cannot open %s", path);
    else
        WriteErrorLog(log, LOG_ACCESS, "CheckWorkstation", "Problem with workstation - cannot access %s", path);
    return 0;
}

int CheckWorkstationEnd(TvWorkstationLock *lock)
{
    if (!lock->held)
        return 1;
    int rc = std::fclose(lock->held);
    lock->held = nullptr;
    return rc == 0 ? 1 : 0;
}
