// Whether the fax server runs and its request area can be reached, and the
// per-user lock that keeps one user from running two clients.
//
// The server holds "TAVRINE.LOK" in its request area open with write access
// and writes the marker "SERVER.OK" beside it. The client probes the lock by
// opening it for reading while denying others write access: when that
// succeeds no server holds it, and the marker is stale. The user's own
// "TAVRINE.LOK" in the user's T-DB\ directory is held, sharing nothing, for
// the life of the client.
#ifndef TAVRINE_CLIENT_SHELL_SERVERCHECK_H
#define TAVRINE_CLIENT_SHELL_SERVERCHECK_H

#include <cstdio>

struct TvErrorLog;

// The client's view of the server.
struct TvServerState {
    bool serverRunning;       // the server holds its lock, or the check is off
    bool serverAccessible;    // cleared by a failed access; set again only by Reconnect or a new start
    bool checkServer;         // the workstation's CheckServer: setting
    const char *requestArea;  // ends with a separator
    TvErrorLog *log;
};

// Both flags on, as at start.
void ServerStateInit(TvServerState *s, const char *requestArea, bool checkServer, TvErrorLog *log);

// The marker test: 1 when SERVER.OK is there (the server is taken as
// running), 0 otherwise; flags unchanged when the area cannot be reached.
int QuickServerCheck(TvServerState *s);

// The full test of the server's lock: 1 running; sets both flags.
int CheckServer(TvServerState *s);

// QuickServerCheck, else CheckServer.
int IsServerAvailable(TvServerState *s);

// The user's lock.
struct TvWorkstationLock {
    FILE *held;               // null when not held
};

// Start: creates the lock when missing and holds it, sharing nothing. 1
// held; 0 when another client of the same user holds it or it cannot be
// reached (logged).
int CheckWorkstationStart(TvWorkstationLock *lock, const char *userDbDir, TvErrorLog *log);
// End: releases it. 1 when released or not held.
int CheckWorkstationEnd(TvWorkstationLock *lock);

#endif
