// Device controller framework: the controller process around one lower
// layer (lowerlayer.h). DevControllerMain is the whole program; the steps
// below it are public so that tests can drive the loop one pass at a time.
#ifndef TAVRINE_SERVER_DEVICE_DEVCTL_H
#define TAVRINE_SERVER_DEVICE_DEVCTL_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "server/device/lowerlayer.h"
#include "server/runtime/mailslot.h"
#include "server/runtime/packets.h"

#define DEV_VERSION "5.00e"

// ---------------------------------------------------------------- states (devstate.cpp)
const char *StateName(uint16_t state);
uint16_t StateStatusCode(uint16_t state);
// 1 when a change from current to next is told to QUEUEMAN.
int StateNotifies(uint16_t next, uint16_t current);
void SetDeviceState(uint16_t state);
// Sets the current page and tells QUEUEMAN (SetDeviceState of the same state).
void SetCurrentPage(uint16_t page);

// ---------------------------------------------------------------- reply codes
// The reply code of a job result (JOB RESULT); failureCode stands for result 8.
uint16_t JobReplyCode(uint16_t result, uint16_t failureCode);
// The reply code of a scan job result (SCAN RESULT).
uint16_t ScanReplyCode(uint16_t result);

// ---------------------------------------------------------------- controller record
struct DevController {
    const DevLowerLayer *ops;
    char typeName[DEV_TYPE_NAME_SIZE];
    uint16_t number;
    char id[20];                    // "FCLASS-1"
    char queue[88];                 // "FCLASS\1"
    uint16_t tag;                   // instance tag
    TvMailslot slot;
    int haveSlot;
    // flags
    int stopping;
    int offlinePending;
    int jobHeld;
    int stateChanged;
    int offlineWaitedBefore;        // the first offline wait is longer
    int abortRequested;             // an interrupting offline request arrived during a job
    unsigned char held[PKT_JOB_SIZE];
    uint16_t heldLength;
    // state
    uint16_t state;
    uint16_t page;
    // ring and device check
    int usesPort;
    uint16_t ringsToAnswer;
    int32_t ringWindowMs;
    uint32_t lastCheckTick;
    int checkedOnce;
    // job
    uint16_t failureCode;
    char remoteName[31];
    // offline
    unsigned char savedPortOffline[PKT_PORT_OFFLINE_SIZE];
    int haveSavedPortOffline;
    // options of the controller
    char dateShort[40];
    // result of the loop
    uint16_t result;
};
extern DevController g_dev;

// ---------------------------------------------------------------- start-up and loop
// The whole controller program: arguments "devtypenum [loglevel]".
int DevControllerMain(int argc, char **argv, const DevLowerLayer *ops);
// The same inside the console program shell (console title, server
// arguments): what a controller's main calls with its driver's table.
int DevProgramMain(int argc, char **argv, const DevLowerLayer *ops);

// The test-only scaled clock (environment TAVRINE_CLOCK_SCALE).
void DevInstallTestClock(void);

// Resets the record and sets the identity (tests; DevControllerMain does it).
void DevReset(const DevLowerLayer *ops, uint16_t number);
// Start-up steps 5 to 9 on an open setup INI (may be null in tests, which
// then call ReadDeviceOptions themselves): device INI, own mailslot, device
// initialisation, REGISTER, PORT INIT, CONTROLLER STARTED. 0, or the
// mailslot failure (the real program ends on it).
uint16_t DevStartup(FILE *setupIni);
// One pass of the main loop; 0 while the controller goes on, 1 once stopping.
int DevRunOnce(void);
// Closes the device at the stop.
void DevShutdown(void);

// The ring and device check.
uint16_t DevRingAndDeviceCheck(void);
// Reads the mailslot up to the first request that needs the loop.
uint16_t ReadRequest(void);

// ---------------------------------------------------------------- jobs (devjob.cpp)
uint16_t ProcessJob(const PktJob *job);
uint16_t ProcessScanJob(const PktJob *job);
// Pages skipped on a retry: first..last (0,0 when none).
void RetrySkipRange(uint16_t bestPage, uint16_t restartSplit, uint16_t restartInitial, uint16_t *first,
                    uint16_t *last);

// ---------------------------------------------------------------- receive (devrecv.cpp)
uint16_t ReceiveIncomingCall(void);

// ---------------------------------------------------------------- offline (devoffline.cpp)
// Handles an OFFLINE / ONLINE / PORT OFFLINE / PORT ONLINE packet; may set
// the offline-pending flag. Returns 0, or 26 when a running job must end.
uint16_t HandleOfflinePacket(const unsigned char *pkt, uint16_t length, uint8_t type);
uint16_t HandleOfflineRequest(void);
void SendPortReply(uint16_t code);

// ---------------------------------------------------------------- packets out (devctl.cpp)
void SendStatusPacket(uint16_t statusCode, uint16_t page);
void SendJobResult(uint16_t requestId, uint16_t replyCode, uint16_t connectSeconds, uint16_t pages);
void SendScanResult(uint16_t requestId, uint16_t scanValue, uint16_t replyCode);
void SendNewMessage(const char *user, const char *controlFile);

// ---------------------------------------------------------------- files (devfile.cpp)
// Opens directory+name: A "ab", C "w+b", R "rb", W "r+b" (either case).
// 0 or 0x0F; another letter ends the controller.
uint16_t OpFile(FILE **out, const char *directory, const char *name, char mode);
int DevDeleteFile(const char *path);
// Joins a directory and a name into out (bounded); 0 when it does not fit.
int DevJoinPath(char *out, size_t size, const char *dir, const char *name);

#endif
