// QUEUEMAN, the queue manager of the server: its tables and packet handling.
//
// QUEUEMAN owns the mailslot "QUEUEMAN". Every device controller registers
// with it (REGISTER), reports its state changes (STATUS), the results of the
// jobs it was given (JOB RESULT, SCAN RESULT) and the messages it received
// (NEW MESSAGE); the converter answers its CONVERT requests (CONVERT reply);
// the supervisor asks it for the queue counters. It keeps a device table
// keyed by queue name and a message table of the messages it routes; the
// packet dispatch is one switch over class and type.
//
// This part is free of Win32 calls; the program's loop is queueman_win.cpp.
#ifndef TAVRINE_STANDINS_QUEUEMAN_H
#define TAVRINE_STANDINS_QUEUEMAN_H

#include <cstddef>
#include <cstdint>

#include "server/runtime/packets.h"

#define QUEUEMAN_QUEUE "QUEUEMAN"
#define SUPERVISOR_QUEUE "TSERVER"

enum {
    QM_MAX_DEVICES = 100,
    QM_MAX_MESSAGES = 500,
    QM_QUEUE_SIZE = 86,
    QM_SUPERVISOR_TIMEOUT = 1,  // seconds for answers to the supervisor
};

// A registered device controller.
struct QmDevice {
    char queue[QM_QUEUE_SIZE];  // its own queue ("FCLASS\1"), the key
    char deviceName[10];        // device type name
    uint16_t deviceNumber;
    uint16_t tag;               // instance tag of its REGISTER; jobs carry it
    uint32_t sendRoutes;
    uint32_t printRoutes;
    uint16_t statusCode;        // last STATUS (0 before the first)
    uint16_t page;
    uint16_t runningRequest;    // request identifier of the job it has, 0 none
};

// Where a message stands on its way to a device. The supervisor's queue
// counters are the number of messages in each of the first five states.
enum QmMessageState {
    QM_MSG_HELD,                // held by its owner
    QM_MSG_RETRY,               // waiting to be tried again
    QM_MSG_CONVERT_WAIT,        // queued for conversion
    QM_MSG_CONVERTING,          // CONVERT sent, reply awaited
    QM_MSG_SEND_WAIT,           // converted, queued for a device
    QM_MSG_SENDING,             // JOB sent to a device
    QM_MSG_STATE_COUNT
};

struct QmMessage {
    bool used;
    uint16_t requestId;         // identifier of its JOB request
    char name[10];              // message name
    char user[9];
    QmMessageState state;
    char device[QM_QUEUE_SIZE]; // the device's queue while sending
};

struct QueuemanState {
    QmDevice devices[QM_MAX_DEVICES];
    int deviceCount;
    QmMessage messages[QM_MAX_MESSAGES];
    uint16_t lastRequestId;
};
extern QueuemanState g_queueman;

void ResetQueuemanTables(void);

// The device of a queue name (any case); added when missing and add is set.
QmDevice *FindDevice(const char *queue, bool add);
// The device of a controller's type name and number.
QmDevice *FindDeviceById(const char *deviceName, uint16_t deviceNumber);
// The message whose JOB carried requestId; null when none.
QmMessage *FindMessageByRequest(uint16_t requestId);

// The seven counters of the queue status packet, from the message table.
void CountQueue(PktQueueStatus *out);

enum QmAction { QM_CONTINUE, QM_STOP };

// Logs one received packet in its decoded form and acts on it. QM_STOP for
// class 99.
QmAction QueuemanHandlePacket(const uint8_t *pkt, uint16_t len);

#endif
