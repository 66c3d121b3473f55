// The server's lock and marker files in the request area.
//
// While the server runs, QUEUEMAN and SYSMAN each hold "TAVRINE.LOK" open
// with write access, sharing reads and writes. The programmer API and the
// client take a lock file that can't be opened for reading with writes
// denied as the sign that a server runs. "SERVER.OK" is the marker SYSMAN
// writes there while it runs and removes on an orderly stop; the client
// deletes it when it finds the lock not held.
#ifndef TAVRINE_STANDINS_SERVERLOCK_H
#define TAVRINE_STANDINS_SERVERLOCK_H

#include "common/status.h"

#define SERVER_LOCK_FILE "TAVRINE.LOK"
#define SERVER_MARKER_FILE "SERVER.OK"

// Opens (creating it if need be) <requestArea>TAVRINE.LOK for reading and
// writing, sharing reads and writes with the other server programs, and
// keeps it open until ReleaseServerLock or the end of the process. Failures
// are logged at level 6: 0xF001 the path is too long, 0xF00C it can't be
// opened.
TvStatus TakeServerLock(const char *requestArea);
void ReleaseServerLock(void);

// Writes or removes <requestArea>SERVER.OK. Failures are logged at level 4.
TvStatus WriteServerMarker(const char *requestArea);
void RemoveServerMarker(const char *requestArea);

#endif
