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
    // Set by the conversions and read by the device jobs below.
    uint16_t addressee;         // its addressee in the control file, from 1
    char dest[4];               // converted format: G3N, G3F or G3S
    uint16_t pages;             // highest page reached so far
    uint16_t tries;             // failed attempts so far
    uint32_t retryAt;           // clock (ms) of the next attempt while RETRY
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

// ---------------------------------------------------------------- device jobs
// A converted message goes to a registered controller that is free (no job
// of ours, state IDLE or not yet reported) and whose send-route mask has the
// bit of the message's route (G3N: route 2, G3F: 3, G3S: 4), as one JOB
// request built from its control file: the addressee's first "Via:"
// address, the files of its converted format (the addressee's pages, then
// the common pages), sender and recipient for the page header. JOB RESULT
// ends the attempt: the addressee's "AddrStatus:", the message's "Status:"
// and a "SentOK:"/"SentEr:" line of "[HISTORY]" record it in the control
// file; a failed attempt is tried again after QM_RETRY_MS, up to
// QM_MAX_TRIES attempts, unless the code says another attempt can't help
// (the runtime clock times the waits and dates the history lines).
// A refused job (0xF101, the controller was busy) waits for the next free
// controller and counts no attempt. STATUS packets carry the page reached.
// A received call is announced by NEW MESSAGE (its control file is noted
// per controller) and closed by JOB RESULT with identifier 0, which sets
// its "Status:" to "OK" or "Fa" with a "RecdOK:"/"RecdEr:" line.
enum {
    QM_MAX_TRIES = 3,
    QM_RETRY_MS = 60000,
    QM_JOB_TIMEOUT = 1,         // seconds; a controller reads its queue every second
};

// Builds the JOB request for a converted message. 0, or an error after a
// log line when its control file, addressee or route can't be used.
TvStatus BuildJobRequest(const QmMessage *m, uint16_t requestId, uint16_t tag, PktJob *job);
// Hands every message that waits for a device to a free controller.
void QueuemanDispatchJobs(void);
// The JOB RESULT of a controller (d may be null for an unknown sender).
void QueuemanJobResult(QmDevice *d, const PktJobResult *r);
// A STATUS packet: the page reached by the job the controller runs.
void QueuemanJobStatus(const QmDevice *d);
// A NEW MESSAGE: notes the received message's control file for its controller.
void QueuemanNewMessage(const PktNewMessage *r);
// The path of the receive control file last announced by a controller, or
// empty; for tests and the log.
//
// Each received message is listed in its account's T-IN MSGDIR.CTL from its
// NEW MESSAGE on ("Status: Re", "UserStatus: Wa"); the call's end sets its
// "Status:" to OK or Fa, or removes the entry when the controller left no
// message. For a group the change also moves the group's MSGCHG.CTL, and an
// arrival its MSGNEW.CTL. A sent message's T-OUT MSGDIR.CTL entry follows
// its "Status:" and gets its "Accepted:" when the SEND request is taken.
const char *QueuemanReceivedFile(const char *deviceName, uint16_t deviceNumber);


// ---------------------------------------------------------------- accounts
// Makes the directories and header-only MSGDIR.CTL files of every account
// of USERLIST.INI (users and the groups they name) and remembers which are
// groups. The number of accounts read.
int QueuemanMakeAccounts(void);
// Whether name is a group of the accounts read.
bool QueuemanIsGroup(const char *name);

#endif
