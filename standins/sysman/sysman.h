// SYSMAN, the system manager of the server: its tables and packet handling.
//
// SYSMAN owns the mailslot "SYSMAN". It starts the server programs named by
// the program lines of the server paragraph of SETUP.INI, keeps the port of
// every controller that announced one (PORT INIT), passes the port control
// library's requests on to that controller as PORT OFFLINE / PORT ONLINE,
// and stops (class 99) or restarts (class 6 type 4) the server. Its mailslot
// alone answers the supervisor's ping.
//
// This part is free of Win32 calls; starting and watching processes is in
// sysman_win.cpp.
#ifndef TAVRINE_STANDINS_SYSMAN_H
#define TAVRINE_STANDINS_SYSMAN_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/status.h"

#define SYSMAN_QUEUE "SYSMAN"
#define QUEUEMAN_QUEUE "QUEUEMAN"

enum {
    SM_NAME_MAX = 10,           // name of a program line (8 for Service:)
    SM_SERVICE_NAME_MAX = 8,
    SM_PROGRAM_TEXT_MAX = 269,  // between the quotes
    SM_PATH_MAX = 268,          // directory and program file
    SM_MAX_PROGRAMS = 100,
    SM_MAX_PORTS = 100,
    SM_QUEUE_SIZE = 86,         // a queue name as PORT INIT carries it
    SM_PORT_SIZE = 13,
    SM_SEND_TIMEOUT = 1,        // seconds, for packets SYSMAN sends
};

// ---------------------------------------------------------------- program lines
enum SmLineKind { SM_LINE_SERVICE, SM_LINE_DEVICE, SM_LINE_SYSMAN };

// The window letters of a program line. With "ShowProcs: YES" a program
// gets a console window of its own, minimised for I.
enum { SM_WINDOW_N, SM_WINDOW_R, SM_WINDOW_I, SM_WINDOW_W };

// One program line: "Key: NAME "program args" word window".
struct SmProgramLine {
    SmLineKind kind;
    char name[SM_NAME_MAX + 1];             // upper-cased
    char path[SM_PATH_MAX + 1];             // program file with its directory
    char arguments[SM_PROGRAM_TEXT_MAX + 1];
    int mode;                               // SM_WINDOW_x; N when not given
};

// Parses one line of the server paragraph. 0 when it is a program line, else
// the error number of "Invalid line in %s paragraph (%d) - %s": 1 unknown
// key, 2 bad name, 3 program not in quotes, 4 program too long, 5 path too
// long, 6 window word too short, 7 window letter not in the list. A program
// without a drive that doesn't begin "\" is taken from mailArea when the
// name begins "GATEWAY" (any case) and from serverArea otherwise.
int ParseProgramLine(const char *line, const char *serverArea, const char *mailArea, SmProgramLine *out);

// ---------------------------------------------------------------- tables
// A program SYSMAN started, or one that announced itself (CONTROLLER STARTED).
struct SmProgram {
    char name[SM_NAME_MAX + 1];             // its ID ("FCLASS-1", "QUEUEMAN")
    char queue[SM_QUEUE_SIZE];              // its mailslot queue ("FCLASS\1")
    bool started;                           // started by this SYSMAN
    bool announced;                         // sent CONTROLLER STARTED
    uint32_t processId;                     // 0 when not started here
    void *process;                          // process handle (sysman_win.cpp)
};

// A controller's port (PORT INIT).
struct SmPort {
    char port[SM_PORT_SIZE];
    char queue[SM_QUEUE_SIZE];
};

struct SysmanState {
    SmProgram programs[SM_MAX_PROGRAMS];
    int programCount;
    SmPort ports[SM_MAX_PORTS];
    int portCount;
};
extern SysmanState g_sysman;

void ResetSysmanTables(void);

// The row of a program by its queue name (any case), added when missing and
// add is set; null when the table is full or the name is unknown.
SmProgram *FindProgram(const char *queue, bool add);

// Records a port and its controller's queue; a port already known (any
// case) takes the new queue. false when the table is full.
bool RecordPort(const char *port, const char *queue);
// The queue of the controller of port (any case); null when none.
const char *FindPortQueue(const char *port);

// ---------------------------------------------------------------- packets
enum SmAction { SM_CONTINUE, SM_STOP, SM_RESTART };

// Logs one received packet in its decoded form and acts on it. SM_STOP for
// class 99, SM_RESTART for class 6 type 4.
SmAction SysmanHandlePacket(const uint8_t *pkt, uint16_t len);

// Builds the controller request for a decoded port request: PORT OFFLINE
// (class 2 type 9, 32 bytes: tag 0, the busy and interrupt flags, the
// request identifier and the reply queue copied through) when the request's
// flag is 1, else PORT ONLINE (class 2 type 10, with the identifier at 8).
// Returns the length, 0 when buf is too small.
struct PktPortRequest;
size_t BuildControllerPortRequest(const PktPortRequest *req, uint8_t *buf, size_t size);

// ---------------------------------------------------------------- request files
// What a request file of the request area asks of SYSMAN: "Server: SYSMAN"
// in its [REQUEST] paragraph with "Type: SHUTDOWN" or "Type: RESTART".
// SM_REQ_NOT_MINE for any other server's request (left for its consumer).
enum SmRequest { SM_REQ_NOT_MINE, SM_REQ_SHUTDOWN, SM_REQ_RESTART, SM_REQ_UNKNOWN };
SmRequest ReadSysmanRequest(FILE *f, char *type, size_t typeSize);

// Sends class 99 to the programs of the table, the last started first: with
// everyone set to every program and to QUEUEMAN (a stop of the server),
// else only to the programs started here (a restart, which starts them
// again). Returns the number of programs that took it.
int ForwardStopAll(bool everyone);

#endif
