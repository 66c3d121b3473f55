// QUEUEMAN: the program itself. Makes its mailslot before anything else,
// reads the system parameters, holds the server lock, makes the accounts'
// directories and reads packets until a stop. The running marker is
// SYSMAN's.
#include <cstdio>

#include "server/runtime/console.h"
#include "server/runtime/mailslot.h"
#include "server/runtime/rtclock.h"
#include "server/runtime/srvlog.h"
#include "server/runtime/sysparams.h"
#include "standins/queueman/queueman.h"
#include "standins/sysman/serverlock.h"

static int QueuemanMain(int argc, char **argv)
{
    LogInit(stdout, "", 3, "QUEUEMAN");
    TvMailslot slot = nullptr;
    TvStatus st = MsgMakePipe(QUEUEMAN_QUEUE, 0, &slot);
    if (st != TV_OK) {
        LogMessage(6, "Unable to create message pipe (0x%X) - is QUEUEMAN already running?", st);
        return 1;
    }
    if (ReadSystemParameters(nullptr) != TV_OK)
        return 1;
    LogInit(stdout, g_sysParams.logFile, 3, "QUEUEMAN");
    if (TakeServerLock(g_sysParams.requestArea) != TV_OK)
        return 1;
    ResetQueuemanTables();
    QueuemanMakeAccounts();
    LogMessage(3, "QUEUEMAN started");

    static uint8_t buf[MSG_MAX_PACKET];
    uint32_t lastScan = RtTickMs();
    for (;;) {
        uint16_t len = 0;
        st = MsgReadRequest(slot, buf, sizeof buf, &len);
        if (st == TV_OK) {
            if (QueuemanHandlePacket(buf, len) == QM_STOP)
                break;
            continue;
        }
        if (st != 0x00E8) {
            LogMessage(5, "Error 0x%X reading message pipe", st);
            RtSleepMs(1000);
        }
        // SEND requests, looked for once a second; jobs whose retry time
        // has come.
        if (RtTickMs() - lastScan >= 1000) {
            QueuemanScanRequests();
            QueuemanDispatchJobs();
            lastScan = RtTickMs();
        }
        SleepYield(0);
    }
    LogMessage(3, "Queue manager closing down");
    ReleaseServerLock();
    LogMessage(3, "QUEUEMAN ended");
    return 0;
}

int main(int argc, char **argv) { return ConsoleMain(argc, argv, "QUEUEMAN", nullptr, QueuemanMain); }
