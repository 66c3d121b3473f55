// Mailslot packet records of the server programs.
//
// Every packet starts with a 6-byte header: u16 total length (header
// included; MsgSendRequest stores it), u8 class, u8 type, u16 code. Packets
// from a device controller carry its type name (10 bytes, NUL-terminated) at
// 6 and its device number at 16; requests to a controller (class 2) carry a
// u16 instance tag at 6 and, where the type has one, a u16 request
// identifier at 8. All numbers are little-endian.
//
// Each record below is the decoded form of one packet kind: numbers in host
// order and every text field as a char array of exactly the field's width on
// the wire, always terminated (so a field holds at most width-1 characters).
// EncodeXxx writes the packet into a buffer and returns its length (0 when
// the buffer is too small); DecodeXxx reads a received packet of any length:
// fields that lie past its end read as 0 or empty, and a text field is never
// trusted to carry its own zero. DecodeXxx returns true when the packet was
// long enough to hold every field of the record.
#ifndef TAVRINE_SERVER_RUNTIME_PACKETS_H
#define TAVRINE_SERVER_RUNTIME_PACKETS_H

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------- classes and types
enum : uint8_t {
    PKT_CLASS_QUEUEMAN = 1,     // to QUEUEMAN
    PKT_CLASS_DEVICE = 2,       // to a device controller
    PKT_CLASS_CONVERTER = 5,    // to the message converter (ZOROVIZ)
    PKT_CLASS_SYSMAN = 6,       // to SYSMAN
    PKT_CLASS_SUPERVISOR = 7,   // to the supervisor (TSERVER)
    PKT_CLASS_PORTREPLY = 8,    // to a port control reply queue
    PKT_CLASS_SUBMITTER = 98,   // to the automatic submitter (TSUBMIT)
    PKT_CLASS_STOPALL = 99,     // stops every program that reads it, any type
};

enum : uint8_t {
    // class 1
    PKT_QM_QUEUE_STATUS_REQUEST = 4,
    PKT_QM_JOB_RESULT = 6,      // also JOB REFUSED
    PKT_QM_SCAN_RESULT = 7,
    PKT_QM_NEW_MESSAGE = 8,
    PKT_QM_STATUS = 9,
    PKT_QM_REGISTER = 10,
    PKT_QM_CONVERT_REPLY = 11,
    // class 2
    PKT_DEV_INITIALISE = 1,
    PKT_DEV_STOP = 2,
    PKT_DEV_ABORT = 3,
    PKT_DEV_STATUS_ENQUIRY = 4,
    PKT_DEV_JOB = 5,
    PKT_DEV_SCAN_JOB = 6,
    PKT_DEV_OFFLINE = 7,
    PKT_DEV_ONLINE = 8,
    PKT_DEV_PORT_OFFLINE = 9,
    PKT_DEV_PORT_ONLINE = 10,
    // class 5
    PKT_CV_CONVERT = 1,
    PKT_CV_SHUTDOWN = 2,
    PKT_CV_ABORT = 3,
    // class 6
    PKT_SM_PING = 1,
    PKT_SM_CONTROLLER_STARTED = 3,
    PKT_SM_RESTART = 4,
    PKT_SM_PORT_INIT = 5,
    PKT_SM_PORT_REQUEST = 6,
    // class 7
    PKT_SV_DEVICE_STATUS = 1,
    PKT_SV_QUEUE_STATUS = 2,
    // class 8
    PKT_PR_PORT_REPLY = 1,
    // class 98
    PKT_SUB_SHUTDOWN = 2,
};

// Wire lengths. The exact ones are checked by the receivers; "at least" ones
// are the length our senders use.
enum : uint16_t {
    PKT_HEADER_SIZE = 6,                // header only: CONVERT reply, SHUTDOWN, PING, ...
    PKT_QUEUE_STATUS_REQUEST_SIZE = 30, // 1/4
    PKT_JOB_RESULT_SIZE = 26,           // 1/6
    PKT_SCAN_RESULT_SIZE = 24,          // 1/7
    PKT_NEW_MESSAGE_SIZE = 40,          // 1/8
    PKT_STATUS_SIZE = 22,               // 1/9
    PKT_REGISTER_SIZE = 116,            // 1/10
    PKT_DEVICE_REQUEST_SIZE = 10,       // 2/1-2/4, 2/8, 2/10: tag and identifier
    PKT_ONLINE_SIZE = 8,                // 2/8 as the supervisor sends it: tag only
    PKT_JOB_SIZE = 424,                 // 2/5, 2/6
    PKT_OFFLINE_SIZE = 16,              // 2/7 (at least)
    PKT_PORT_OFFLINE_SIZE = 32,         // 2/9 (at least; a controller keeps 32 bytes)
    PKT_CONVERT_SIZE = 134,             // 5/1
    PKT_CONTROLLER_STARTED_SIZE = 24,   // 6/3
    PKT_PORT_INIT_SIZE = 118,           // 6/5
    PKT_PORT_REQUEST_SIZE = 48,         // 6/6
    PKT_DEVICE_STATUS_SIZE = 46,        // 7/1
    PKT_QUEUE_STATUS_SIZE = 20,         // 7/2
    PKT_PORT_REPLY_SIZE = 8,            // 8/1
};

// ---------------------------------------------------------------- records
struct PktHeader {
    uint16_t length;            // the length word as stored in the packet
    uint8_t cls;
    uint8_t type;
    uint16_t code;
};

// Header only (1/11 CONVERT reply with the result in code, 5/2, 5/3, 6/1,
// 6/4, 98/2, 99/any).
size_t EncodeHeaderOnly(uint8_t cls, uint8_t type, uint16_t code, uint8_t *buf, size_t size);
bool DecodeHeader(const void *pkt, size_t len, PktHeader *out);

// 1/4 QUEUE STATUS REQUEST, supervisor to QUEUEMAN: two empty strings and 3.
struct PktQueueStatusRequest {
    PktHeader hdr;
    char first[9];              // at 6
    char second[13];            // at 15
    uint16_t value;             // at 28; the supervisor sends 3
};

// 1/6 JOB RESULT or JOB REFUSED, controller to QUEUEMAN. hdr.code is the
// reply code. A received fax is reported with id 0.
struct PktJobResult {
    PktHeader hdr;
    char deviceName[10];        // at 6
    uint16_t deviceNumber;      // at 16
    uint16_t requestId;         // at 18
    uint16_t statusCode;        // at 20: status code of the controller's state
    uint16_t connectSeconds;    // at 22
    uint16_t pages;             // at 24
};

// 1/7 SCAN RESULT, controller to QUEUEMAN.
struct PktScanResult {
    PktHeader hdr;
    char deviceName[10];
    uint16_t deviceNumber;
    uint16_t requestId;         // at 18
    uint16_t statusCode;        // at 20
    uint16_t scanValue;         // at 22: the scan request's u16 at 104
};

// 1/8 NEW MESSAGE, controller to QUEUEMAN.
struct PktNewMessage {
    PktHeader hdr;
    char deviceName[10];
    uint16_t deviceNumber;
    char user[9];               // at 18
    char controlFile[13];       // at 27
};

// 1/9 STATUS, controller to QUEUEMAN.
struct PktStatus {
    PktHeader hdr;
    char deviceName[10];
    uint16_t deviceNumber;
    uint16_t statusCode;        // at 18
    uint16_t page;              // at 20
};

// 1/10 REGISTER, controller to QUEUEMAN at start-up.
struct PktRegister {
    PktHeader hdr;
    char deviceName[10];
    uint16_t deviceNumber;
    char queue[86];             // at 18: the controller's own queue name ("FCLASS\1")
    uint16_t tag;               // at 104: instance tag; 106-107 stay 0
    uint32_t sendRoutes;        // at 108
    uint32_t printRoutes;       // at 112
};

// Class 2 requests that carry only the tag and an identifier: INITIALISE,
// STOP, ABORT, STATUS ENQUIRY, ONLINE, PORT ONLINE (id: the PORT OFFLINE it
// undoes, 0 = any). 99/any is read the same way (a stop with tag 0).
struct PktDeviceRequest {
    PktHeader hdr;
    uint16_t tag;               // at 6: 0 = any instance
    uint16_t requestId;         // at 8
};

// 2/5 JOB and 2/6 SCAN JOB, QUEUEMAN to controller.
struct PktJob {
    PktHeader hdr;
    uint16_t tag;               // at 6
    uint16_t requestId;         // at 8
    char messageName[10];       // at 10
    uint32_t logValue32;        // at 20: message-log value
    uint16_t logValue16;        // at 24: message-log value
    char directory[64];         // at 26: ends with '\'
    char firstFile[13];         // at 90
    char secondFile[13];        // at 103: a send job's second file (none in a scan job)
    uint16_t scanFormat;        // at 104: scan job only (inside the second file field)
    uint16_t scanOption;        // at 106: scan job only
    uint16_t format;            // at 116: message format code
    uint16_t route;             // at 118
    char number[72];            // at 120: telephone number
    char sender[31];            // at 192: sender name for the page header
    char expectedId[41];        // at 223: expected remote fax ID
    uint32_t headerFlags;       // at 264: page header flags
    char remoteName[30];        // at 309
    char dialString2[41];       // at 381: second dialling string
    uint16_t pagesSent;         // at 422: pages sent in earlier attempts
};

// 2/7 OFFLINE (at least 16 bytes).
struct PktOffline {
    PktHeader hdr;
    uint16_t tag;               // at 6
    uint32_t busy;              // at 8: 0 = only when idle
    uint32_t interrupt;         // at 12: abort the running job
};

// 2/9 PORT OFFLINE, SYSMAN to controller (at least 32 bytes).
struct PktPortOffline {
    PktHeader hdr;
    uint16_t tag;               // at 6
    uint32_t busy;              // at 8
    uint32_t interrupt;         // at 12
    uint16_t requestId;         // at 16
    char replyQueue[14];        // at 18: at most 13 characters
};

// 5/1 CONVERT, QUEUEMAN to the converter (exactly 134 bytes).
struct PktConvert {
    PktHeader hdr;
    char arguments[128];        // at 6: "user message SRC DST addressee [msgid]"
};

// 6/3 CONTROLLER STARTED, to SYSMAN.
struct PktControllerStarted {
    PktHeader hdr;
    char id[11];                // at 6: at most 10 characters, NUL at 16
    uint32_t one;               // at 20: 1
};

// 6/5 PORT INIT, controller to SYSMAN.
struct PktPortInit {
    PktHeader hdr;
    char deviceName[10];
    uint16_t deviceNumber;
    char queue[86];             // at 18: own queue name
    char port[13];              // at 104: port name; 117 stays 0
};

// 6/6 PORT REQUEST, port control library to SYSMAN.
struct PktPortRequest {
    PktHeader hdr;
    char port[13];              // at 6: at most 12 characters
    uint32_t offline;           // at 20: 1 take offline, 0 put online
    uint32_t busy;              // at 24: 0 from the library (only when idle)
    uint32_t interrupt;         // at 28: 0 from the library (no interrupt)
    uint16_t requestId;         // at 32
    char replyQueue[11];        // at 34: "TVCTL\<n>", at most 10 characters
};

// 7/1 DEVICE STATUS, to the supervisor.
struct PktDeviceStatus {
    PktHeader hdr;
    char deviceName[10];        // at 6
    uint16_t deviceNumber;      // at 16
    uint16_t state;             // at 18: a device status code
    char text1[9];              // at 20
    char text2[13];             // at 29
    uint16_t totalPages;        // at 42
    uint16_t currentPage;       // at 44
};

// 7/2 QUEUE STATUS, QUEUEMAN to the supervisor.
enum { PKT_QUEUE_COUNTERS = 7 };
struct PktQueueStatus {
    PktHeader hdr;
    // held, to retry, queued for preparing, being prepared, queued to be
    // sent, and two that are not shown
    uint16_t counters[PKT_QUEUE_COUNTERS];
};

// 8/1 PORT REPLY, controller to the reply queue of a PORT OFFLINE. hdr.code
// is 0, 0xF101 (refused) or 0xF102 (already offline).
struct PktPortReply {
    PktHeader hdr;
    uint16_t requestId;         // at 6
};

size_t EncodeQueueStatusRequest(const PktQueueStatusRequest *r, uint8_t *buf, size_t size);
bool DecodeQueueStatusRequest(const void *pkt, size_t len, PktQueueStatusRequest *r);
size_t EncodeJobResult(const PktJobResult *r, uint8_t *buf, size_t size);
bool DecodeJobResult(const void *pkt, size_t len, PktJobResult *r);
size_t EncodeScanResult(const PktScanResult *r, uint8_t *buf, size_t size);
bool DecodeScanResult(const void *pkt, size_t len, PktScanResult *r);
size_t EncodeNewMessage(const PktNewMessage *r, uint8_t *buf, size_t size);
bool DecodeNewMessage(const void *pkt, size_t len, PktNewMessage *r);
size_t EncodeStatus(const PktStatus *r, uint8_t *buf, size_t size);
bool DecodeStatus(const void *pkt, size_t len, PktStatus *r);
size_t EncodeRegister(const PktRegister *r, uint8_t *buf, size_t size);
bool DecodeRegister(const void *pkt, size_t len, PktRegister *r);
// Writes PKT_DEVICE_REQUEST_SIZE bytes (the tag alone is in the first 8).
size_t EncodeDeviceRequest(const PktDeviceRequest *r, uint8_t *buf, size_t size);
bool DecodeDeviceRequest(const void *pkt, size_t len, PktDeviceRequest *r);
// A SCAN JOB (hdr.type 6) carries scanFormat and scanOption at 104 and 106
// in place of the second file name, which then decodes as empty.
size_t EncodeJob(const PktJob *r, uint8_t *buf, size_t size);
bool DecodeJob(const void *pkt, size_t len, PktJob *r);
size_t EncodeOffline(const PktOffline *r, uint8_t *buf, size_t size);
bool DecodeOffline(const void *pkt, size_t len, PktOffline *r);
size_t EncodePortOffline(const PktPortOffline *r, uint8_t *buf, size_t size);
bool DecodePortOffline(const void *pkt, size_t len, PktPortOffline *r);
size_t EncodeConvert(const PktConvert *r, uint8_t *buf, size_t size);
bool DecodeConvert(const void *pkt, size_t len, PktConvert *r);
size_t EncodeControllerStarted(const PktControllerStarted *r, uint8_t *buf, size_t size);
bool DecodeControllerStarted(const void *pkt, size_t len, PktControllerStarted *r);
size_t EncodePortInit(const PktPortInit *r, uint8_t *buf, size_t size);
bool DecodePortInit(const void *pkt, size_t len, PktPortInit *r);
size_t EncodePortRequest(const PktPortRequest *r, uint8_t *buf, size_t size);
bool DecodePortRequest(const void *pkt, size_t len, PktPortRequest *r);
size_t EncodeDeviceStatus(const PktDeviceStatus *r, uint8_t *buf, size_t size);
bool DecodeDeviceStatus(const void *pkt, size_t len, PktDeviceStatus *r);
size_t EncodeQueueStatus(const PktQueueStatus *r, uint8_t *buf, size_t size);
bool DecodeQueueStatus(const void *pkt, size_t len, PktQueueStatus *r);
size_t EncodePortReply(const PktPortReply *r, uint8_t *buf, size_t size);
bool DecodePortReply(const void *pkt, size_t len, PktPortReply *r);

// Copies text into a record's text field of fieldSize bytes, cut to
// fieldSize-1 characters and terminated.
void SetPacketText(char *field, size_t fieldSize, const char *text);

// ---------------------------------------------------------------- catalogue
// One row per packet kind: the length rule the receiver applies.
struct PktKind {
    uint8_t cls;
    uint8_t type;               // PKT_ANY_TYPE: every type of the class
    const char *name;
    uint16_t minLength;         // at least
    uint16_t maxLength;         // at most (equal to minLength when exact)
};
enum : uint8_t { PKT_ANY_TYPE = 0xFF };

extern const PktKind g_packetKinds[];
extern const size_t g_packetKindCount;

// The row of a class and type, or null when the catalogue has none.
const PktKind *FindPacketKind(uint8_t cls, uint8_t type);

// Writes a one-line readable form of a received packet of len bytes into out
// ("1/10 REGISTER len=116 code=0x0 device=FCLASS/1 queue='FCLASS\1' ..."),
// cut to size. Unknown kinds and wrong lengths are shown, not refused.
void DescribePacket(const void *pkt, size_t len, char *out, size_t size);

#endif
