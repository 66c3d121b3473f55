// Device lower layer: the one contract between the device controller
// framework and the driver of a device (fax modem, fax board, printer).
//
// A controller program is the framework linked with exactly one driver. The
// driver defines one const DevLowerLayer table and hands it to
// DevControllerMain (devctl.h); the framework calls the device only through
// that table, from its one thread, one operation at a time. Every operation
// returns a device result (DEV_xxx below). The framework owns the device
// state; a driver reads it (DevCurrentState) but never changes it, except
// that the recovery wait may declare the device failed (DevDeclareFailed).
//
// The second half of this header is what the framework offers its drivers:
// options read from the device paragraph, the request reader for long waits,
// the call record that carries routing data to the receive control file, and
// the shared line sender of the fax drivers.
//
// Waits and time: drivers sleep with SleepYield / RtSleepMs and read time
// with RtTickMs (server/runtime/rtclock.h); tests replace that clock, so
// every long wait of a driver must go through them.
#ifndef TAVRINE_SERVER_DEVICE_LOWERLAYER_H
#define TAVRINE_SERVER_DEVICE_LOWERLAYER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

// ---------------------------------------------------------------- device results
enum : uint16_t {
    DEV_OK = 0,
    DEV_MESSAGE_ABORTED = 1,
    DEV_DOC_ON_SCANNER = 2,         // IsDocumentOnADF: document there; elsewhere: go offline
    DEV_INCOMING_CALL = 3,          // PollDevice: a call is ringing
    DEV_IDLE = 4,
    DEV_NO_RESPONSE = 5,            // WaitForJobToFinish: did not finish in time
    DEV_NO_DOCUMENT = 6,            // scan wait timed out
    DEV_BUSY = 7,                   // go offline; inside a job an interrupted call
    DEV_NO_CONNECT = 8,             // unable to connect or no answer: dial again
    DEV_COMMAND_REJECTED = 9,       // CheckFaxStatus: try once more
    DEV_INVALID_ID = 10,            // remote ID differs
    DEV_FAULT_JOB_END = 11,
    DEV_DEVICE_BUSY = 12,
    DEV_WAITING_FOR_DATA = 13,
    DEV_IDLE_INTERRUPTED = 14,
    DEV_FILE_ERROR = 15,
    DEV_INVALID_PARAMETER = 16,     // not supported / job not valid for the device
    DEV_ALREADY_RECEIVING = 17,     // MakeConnection: an answered call is already delivering pages
    DEV_NO_REPLY = 18,              // 18 and over: device failure
    DEV_CANNOT_COMMUNICATE = 19,
    DEV_FAX_ERROR = 20,
    DEV_FAX_OPENED = 21,
    DEV_SCANNER_PROBLEM = 22,
    DEV_PRINTER_JAM = 23,
    DEV_OUT_OF_PAPER = 24,
    DEV_DEVICE_FAULT = 25,
    DEV_ABORT_REQUEST = 26,         // ABORT or an offline request ended the job
    DEV_SHUTDOWN = 27,              // STOP received
    DEV_NOT_CONNECTED = 28,
    DEV_PORT_FAULT = 29,
    DEV_SOFTWARE_FAULT = 30,
    DEV_ERR = 31,
    DEV_RESULT_COUNT = 32,
    DEV_FAILURE_FIRST = 18,         // results from here on send the device into DEVICE ERROR
};

// The text of a device result for log lines; above 31 it logs
// "Unknown PERC error return (%d)" and gives "???".
const char *DeviceErrorText(uint16_t result);

// ---------------------------------------------------------------- device states
// Owned by the framework (devstate.h); drivers read them.
enum : uint16_t {
    DEV_STATE_NONE = 0,             // before the first change
    DEV_STATE_IDLE = 1,
    DEV_STATE_WAIT_CONNECT = 2,
    DEV_STATE_SENDING = 3,
    DEV_STATE_RECEIVING = 4,
    DEV_STATE_POLL_SEND = 5,
    DEV_STATE_POLL_RECEIVE = 6,
    DEV_STATE_WAIT_SCAN_DOC = 7,
    DEV_STATE_SCANNING = 8,
    DEV_STATE_CALL_RECEIVED = 9,
    DEV_STATE_OFFLINE = 10,
    DEV_STATE_ERROR = 11,
    DEV_STATE_FAILED = 12,
    DEV_STATE_COUNT = 13,
};

// ---------------------------------------------------------------- operation codes
// MakeConnection's connection type.
enum : uint16_t {
    DEV_CONNECT_SEND = 11,          // dial and send
    DEV_CONNECT_PRINT = 12,         // local print (also the scan status texts)
    DEV_CONNECT_ANSWER = 13,        // answer an incoming call to disk
    DEV_CONNECT_ANSWER_PRINT = 14,  // answer an incoming call to the printer
    DEV_CONNECT_SCAN = 15,          // scan a document
};

// WaitForConnect's direction.
enum : uint16_t { DEV_DIALLED = 0, DEV_ANSWERED = 1 };

// SendDataBlock kinds.
enum : uint16_t {
    DEV_BLOCK_TEXT = 0,             // text and SIPS senders: a block
    DEV_BLOCK_TEXT_LINE = 2,        // text and SIPS senders: a line
    DEV_BLOCK_LAST_PAGE_END = 11,   // the block that ends the last page
    DEV_BLOCK_PAGE_END = 12,        // the block that ends a page, more follow
    DEV_BLOCK_IN_PAGE = 13,         // a block within a page
};

// ReceiveDataFrame's end report.
enum : uint16_t {
    DEV_RX_DATA = 0,                // a block of page data, the page goes on
    DEV_RX_PAGE_END = 1,            // the page ended (the block may hold its last data); more pages follow
    DEV_RX_LAST_PAGE_END = 2,       // the page ended and it was the last of the call
    DEV_RX_NO_MORE_PAGES = 3,       // no further page came (no data in this report)
};

// Buffer size the page receivers hand to ReceiveDataFrame.
enum { DEV_RX_BLOCK_SIZE = 1040 };

// Field sizes shared by the framework and the drivers.
enum {
    DEV_TYPE_NAME_SIZE = 10,        // 8 significant characters
    DEV_REMOTE_ID_SIZE = 41,        // remote fax ID as a driver reports it
    DEV_NUMBER_SIZE = 72,           // telephone number of a job
    DEV_DIAL_STRING_SIZE = 41,
    DEV_DTMF_SIZE = 62,             // at most 61 digits
    DEV_SUBADDR_SIZE = 21,          // at most 20 characters
    DEV_CLI_SIZE = 41,              // calling line identity
    DEV_MESSAGE_NAME_SIZE = 10,
};

// What MakeConnection is asked to do.
struct DevConnectRequest {
    uint16_t operation;             // DEV_CONNECT_xxx
    uint16_t route;                 // device type code of the route (0..31)
    const char *number;             // telephone number ("" when none)
    const char *dialString2;        // second dialling string ("" when none)
    uint16_t format;                // message format code
    uint16_t flag;                  // scan option / print flag of the job
    uint16_t firstPage;             // page range of a send: pages first..last of total go out
    uint16_t lastPage;
    uint16_t totalPages;
    const char *messageName;        // local print without status report, else ""
    uint16_t options;               // job options (scan format for a scan)
};

// Text fields of a page header (the RenderPageHeader slot).
struct DevHeaderRequest {
    uint16_t format;                // message format of the job (5, 6 or 7 for fax)
    uint16_t totalPages;
    const char *sender;             // at most 30 characters used
    const char *recipient;          // at most 30 characters used
    uint32_t flags;                 // DEV_HDR_xxx (devheader.h)
    uint32_t value;                 // reserved, 0
};

// ---------------------------------------------------------------- the operation table
struct DevLowerLayer {
    // The device type name, at most 8 significant characters ("FCLASS").
    const char *(*GetDeviceTypeName)(void);
    // Start-up, once: reads the driver's paragraph of the open setup INI and
    // calls ReadDeviceOptions for the framework's keys; sets the port use and
    // the ring settings (DevSetPortUse, DevSetRingCheck).
    uint16_t (*ReadDeviceIniFile)(uint16_t deviceNumber, FILE *setupIni);
    // Opens the device; 0 when ready.
    uint16_t (*InitialiseDevice)(void);
    // 0 nothing, 3 a call is ringing, else a device result.
    uint16_t (*PollDevice)(void);
    // The idle check: 0 ready, 9 or 18 ask for one more try, 2 or 7 offline,
    // 18 and over a failure. DevCheckForced tells whether the framework
    // insists on a real check.
    uint16_t (*CheckFaxStatus)(void);
    // Called in DEVICE ERROR; the new result (under 18 ends DEVICE ERROR).
    // Must poll DevPollRequests between its rounds.
    uint16_t (*WaitForDeviceRecovery)(void);
    // First step of a job; 0 to go on.
    uint16_t (*CheckDeviceReady)(void);
    // Sets up a call or a device job; *connectionMade set to 1 once the
    // device took the request.
    uint16_t (*MakeConnection)(const DevConnectRequest *req, int *connectionMade);
    // Waits for the connection. Fills remoteId (idSize bytes, always
    // terminated) and, for an answered call, *pageFormat (5, 6 or 7).
    uint16_t (*WaitForConnect)(char *remoteId, uint16_t idSize, uint16_t direction, uint16_t *pageFormat);
    // 0 when expected is empty or both IDs hold the same digits in the same
    // order (CompareRemoteId), else 10.
    uint16_t (*CheckRemoteId)(const char *expected, const char *received);
    // Switches a received call to the printer (operation 14, value 4); 16 where unsupported.
    uint16_t (*ChangeConnection)(uint16_t operation, uint16_t value);
    // One block of coded page data (kind DEV_BLOCK_xxx); fax drivers put
    // FaxSendDataBlock here.
    uint16_t (*SendDataBlock)(const unsigned char *data, uint16_t length, uint16_t kind);
    // Next block of received data into buf (size bytes): *length bytes and
    // *end (DEV_RX_xxx). A null buf arms the next page start. acceptTones
    // lets DTMF tones inside the data count as routing digits.
    uint16_t (*ReceiveDataFrame)(unsigned char *buf, uint16_t size, uint16_t *length, uint16_t *end,
                                 uint16_t acceptTones);
    // Renders the page header file; outPath empty when there is no header.
    // Fax drivers put RenderFaxPageHeader (devheader.h) here.
    uint16_t (*RenderPageHeader)(const DevHeaderRequest *req, char *outPath, size_t pathSize);
    // Local print of a status report; fax devices log that they can't.
    uint16_t (*PrintStatusReport)(const void *report, uint32_t size, uint16_t options);
    // 0 no document, 2 document present.
    uint16_t (*IsDocumentOnADF)(void);
    // After a failed or aborted job; a result larger than the job's replaces it.
    uint16_t (*CancelJob)(void);
    // End of every job and call: 0, or 5 when it did not finish in time.
    uint16_t (*WaitForJobToFinish)(void);
    // After the job result went out, with its reply code; result ignored.
    uint16_t (*FinishDeviceJob)(uint16_t replyCode);
    // Start of the offline handling; result ignored.
    uint16_t (*SetDeviceOffline)(void);
    // Each pass of the offline wait when the device went offline by itself:
    // 2 or 7 stay offline, anything else ends the offline state.
    uint16_t (*CheckADFOffline)(void);
    // End of the offline handling; its result goes on into the main loop.
    uint16_t (*SetDeviceOnline)(void);
    // The controller stops; result ignored.
    uint16_t (*CloseDevice)(void);
};

// ---------------------------------------------------------------- framework services
// Device options of the framework's keys (ReadDeviceOptions, devoptions.h).
enum {
    DEV_PORT_SIZE = 10,             // at most 9 characters
    DEV_PHONE_SIZE = 41,
    DEV_SCAN_TEXT_SIZE = 13,
    DEV_PATH_SIZE = 261,
    DEV_DIAL_AFFIX_SIZE = 41,
    DEV_USER_SIZE = 9,
    DEV_CSID_SEP_SIZE = 11,         // at most 10 characters
};
enum : uint16_t { DEV_SPEAKER_OFF = 1, DEV_SPEAKER_CONNECT = 2, DEV_SPEAKER_ON = 3 };

struct DevOptions {
    char port[DEV_PORT_SIZE];       // upper case, e.g. "COM2"
    uint16_t baudRate;              // 9600 by default
    char phoneNum[DEV_PHONE_SIZE];  // own telephone number
    char scanWaitingDocFile[DEV_SCAN_TEXT_SIZE];
    char scanConfirmFile[DEV_SCAN_TEXT_SIZE];
    char scanCompletedFile[DEV_SCAN_TEXT_SIZE];
    char scanAbortedFile[DEV_SCAN_TEXT_SIZE];
    uint16_t scanDocWait;           // seconds
    uint16_t scanConfirmWait;       // seconds
    uint16_t sendMsgTries;
    uint16_t connectTries;
    uint16_t restartSplitPages;
    uint16_t restartInitialPages;
    uint16_t minSendRetryPages;
    char commsLogFile[DEV_PATH_SIZE];
    FILE *commsLog;                 // open for appending (text) when a name was given
    char dialPrefix[DEV_DIAL_AFFIX_SIZE];
    char dialSuffix[DEV_DIAL_AFFIX_SIZE];
    int toneDialling;               // 1 tone (the default), 0 pulse
    char recdUser[DEV_USER_SIZE];   // user who gets incoming faxes, "" for none
    int localOnly;
    int receiveOnly;
    int incomingCalls;              // 0 when the device must not answer
    uint16_t speaker;               // DEV_SPEAKER_xxx
    int trace;
    char csidSeparator[DEV_CSID_SEP_SIZE];
    uint32_t sendRoutes;            // the device kind's masks after the options
    uint32_t printRoutes;
};

// The options as read; zero until ReadDeviceOptions ran.
const DevOptions *DevGetOptions(void);

// Reads the framework's keys from the device paragraph (the stream is
// positioned inside it; paraPos is the offset behind the paragraph line) and
// [OPTIONS]. A missing Port or [OPTIONS] is fatal (logged, process ends).
// Drivers call it from ReadDeviceIniFile.
uint16_t ReadDeviceOptions(FILE *setupIni, int32_t paraPos);

// Settings a driver gives the framework from ReadDeviceIniFile.
void DevSetPortUse(int usesPort);                           // start-up sends PORT INIT
void DevSetRingCheck(uint16_t ringsToAnswer, int32_t ringWindowMs);

// The controller's identity.
uint16_t DevDeviceNumber(void);
const char *DevControllerId(void);                          // "FCLASS-1"

// The device state and the stop flag.
uint16_t DevCurrentState(void);
int DevStopping(void);
// The recovery wait declares the device failed (state DEVICE FAILED).
void DevDeclareFailed(void);
// 1 when the framework insists that CheckFaxStatus really checks (the state
// changed since the last check, or the state is not IDLE).
int DevCheckForced(void);

// The request reader for a driver's long waits: reads the mailslot once and
// gives 0 (nothing that ends the wait), 26 (ABORT or an interrupting offline
// request) or 27 (STOP). Jobs that arrive meanwhile are refused.
uint16_t DevPollRequests(void);

// The job failure code of the running job (0xF103 at its start); a driver
// refines it to 0xF10A busy, 0xF10B no answer or 0xF10C no dial tone.
void DevSetFailureCode(uint16_t replyCode);

// Routing data of the current incoming call, written into the receive
// control file. Every setter keeps only printable ASCII and cuts to size;
// DevClearRouting empties all three.
void DevSetRoutingDtmf(const char *digits);
void DevAppendRoutingDtmf(char digit);                      // 0 when full
void DevSetRoutingSubAddr(const char *subAddr);
void DevSetRoutingCli(const char *cli);
void DevClearRouting(void);
struct DevRouting {
    char dtmf[DEV_DTMF_SIZE];
    char subAddr[DEV_SUBADDR_SIZE];
    char cli[DEV_CLI_SIZE];
};
const DevRouting *DevGetRouting(void);

// Removes an extended CSID (text after the CSID separator) from a telephone
// number and refuses numbers longer than maxLen. 0 or 16.
uint16_t CleanTelephoneNumber(const char *number, char *out, size_t outSize, size_t maxLen);

// Compares two fax IDs by their digits only: 0 same digits in the same order.
int CompareRemoteId(const char *a, const char *b);

// ---------------------------------------------------------------- fax line sender
// The SendDataBlock body shared by the fax drivers: cuts coded page data
// into lines at EOLs and hands each line to the driver's SendDataFrame.
struct FaxLineSetup {
    // The driver's line writer: (line, length, kind); kind 13 within a page,
    // 12 / 11 at a page end (the driver then ends the page).
    uint16_t (*SendDataFrame)(const unsigned char *line, uint16_t length, uint16_t kind);
    int lineByLine;                 // 0: blocks go to SendDataFrame unchanged
    uint16_t lineLength;            // line buffer, at most 1024 bytes
    unsigned char endSequence[9];   // sent with the page-end kind after the kept line
    uint16_t endSequenceLength;     // 0 or 9
};
void FaxSetLineSetup(const FaxLineSetup *setup);
uint16_t FaxSendDataBlock(const unsigned char *data, uint16_t length, uint16_t kind);

#endif
