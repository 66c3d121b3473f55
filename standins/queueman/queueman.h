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

#include "common/status.h"
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

// ---------------------------------------------------------------- conversions
// A SEND request file (request area, [REQUEST] Server: QueueMan, Type:
// SEND, User:, File: the message's control file) asks for a message to be
// sent. QUEUEMAN has the message converter render it, one CONVERT per
// addressee, one at a time: the next goes out when the reply to the last
// has come. Before a message's first CONVERT its conversion record exists
// (empty when new) and so do the format subfolders of T-OUT. The
// destination format is G3F for Quality: HIGH, else G3N.
#define CONVERTER_QUEUE "ZOROVIZ"
enum {
    QM_MAX_CONVERSIONS = 100,
    QM_CONVERT_TIMEOUT = 10,    // seconds
};

struct QmConversion {
    char user[9];
    char message[9];
    char source[4];             // the documents' format (extension)
    char dest[4];               // G3N, G3F or G3S
    uint16_t addressee;
};

// Prepares the message (conversion record, format subfolders) and sends
// CONVERT to the converter; the message is then being converted. 0, or
// the send's error.
TvStatus QueuemanConvert(const QmConversion *c);
// Reads one request file; a SEND request queues one conversion per
// addressee of its message. 1 when the file was a SEND request for
// QUEUEMAN whose message was found (the caller deletes it), else 0.
int QueuemanReadSendRequest(const char *path);
// Sends the next queued conversion unless one is running.
void QueuemanNextConversion(void);
// Reads and removes the SEND requests waiting in the request area.
void QueuemanScanRequests(void);
// Conversions queued and not yet sent.
int QueuemanPendingConversions(void);

#endif
