// Fax modem driver: the device lower layer for Class 2 and Class 2.0 fax
// modems on a serial port. This header joins the driver's pieces:
//   modemcfg.cpp    the modem paragraph, the model table, the base init string
//   modemreply.cpp  reply sets, the reply parser and what a reply carries
//   modemcmd.cpp    command texts (dialling options, capabilities, local ID)
//   modemframe.cpp  page data framing (DLE shielding, padding, bit order)
//   modemio.cpp     the AT dialogue over the serial port
//   modemdrv.cpp    the lower-layer operations (init, checks, dial, answer)
//   modempage.cpp   page transfer and the post-page dialogues
//   serial_win.cpp / serial_posix.cpp  the serial port itself
// Everything but the serial port files is free of Win32.
#ifndef TAVRINE_SERVER_DEVICE_MODEM_MODEM_H
#define TAVRINE_SERVER_DEVICE_MODEM_MODEM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "server/device/lowerlayer.h"

// ---------------------------------------------------------------- settings
enum {
    MODEM_USER_INIT_SIZE = 81,      // user command strings, at most 80 characters
    MODEM_BASE_INIT_SIZE = 300,     // base init string, under 300 characters
    MODEM_EXTRA_SIZE = 24,
    MODEM_ID_SIZE = 41,             // remote station ID, at most 40 characters
    MODEM_SUBADDR_SIZE = 21,        // at most 20 characters
    MODEM_CLI_SIZE = 21,            // calling number, at most 20 characters
    MODEM_DTMF_SIZE = 62,           // at most 61 digits
    MODEM_DTMF_MAX = 61,
    MODEM_LOCAL_ID_MAX = 20,
    MODEM_GENERIC = 100,            // the generic model
};

enum : uint16_t { MODEM_VOLUME_LOW = 1, MODEM_VOLUME_MEDIUM = 2, MODEM_VOLUME_HIGH = 3 };

struct ModemSettings {
    uint16_t model;
    char serviceClass[4];           // "" (ask the modem), "2" or "2.0"
    int class20;                    // Class 2.0 forms of commands and replies
    uint32_t portSpeed;             // serial speed between calls
    uint16_t transmitSpeed;         // initial fax bit rates
    uint16_t receiveSpeed;
    char extra[MODEM_EXTRA_SIZE];   // the model's init suffix
    char startInit[MODEM_USER_INIT_SIZE];
    char checkInit1[MODEM_USER_INIT_SIZE];
    char checkInit2[MODEM_USER_INIT_SIZE];
    char sendInit[MODEM_USER_INIT_SIZE];
    char receiveInit[MODEM_USER_INIT_SIZE];
    int detectDial, detectBusy;
    int sendReversed;
    int receiveReversed2;           // received data bit-reversed under Class 2
    int receiveReversed20;          // ... under Class 2.0
    int filterReceive;
    int controlDtr, ignoreDsr, ignoreCts;
    uint32_t sendTimeoutMs;
    uint16_t sendPageTimeout1, sendPageTimeout2, sendPageTimeout3; // seconds
    uint16_t receivePageTimeout;
    int autoAnswer;
    int shortReplies;
    int logComms;
    int padLines;
    uint16_t ecm;                   // 0 off, 1 frame 64, 2 frame 256
    int ignorePageErrors;
    int setCarrierTimeout;
    uint16_t pageLength;            // 0 A4, 2 unlimited
    int setAllSendCaps;
    int useSessionCapability;
    uint16_t dtmfWait1, dtmfWait2;  // ms
    char dtmfEndChar;
    char cliSeparator;
    uint16_t volume;                // MODEM_VOLUME_xxx
    int voiceCommands;
    int32_t checkFrequency;         // seconds; -1 none set, 0 disabled
    int keepPortOpen;
    uint16_t commandDelay;          // ms
    int extendedRing;               // model 22: "RING:" lines carry the call data
    int isdnRing;                   // model 20: "FM:" / "TO:" lines
    char baseInit[MODEM_BASE_INIT_SIZE];
};
extern ModemSettings g_modem;

// Model table: the model of a Type: value (first name that is a prefix of
// it, any case), MODEM_GENERIC when none.
uint16_t ModemModelOfType(const char *type);
// Settings to their defaults, then the model's row applied (logs its line).
void ModemSetDefaults(ModemSettings *s, uint32_t baudRate);
void ModemApplyModel(ModemSettings *s, uint16_t model, int hasRecdUser);
// Reads the modem keys of the paragraph starting at paraPos.
void ModemReadKeys(ModemSettings *s, FILE *f, int32_t paraPos, int hasRecdUser);
// Composes s->baseInit from the reply set, auto answer, speaker and volume.
void ModemComposeBaseInit(ModemSettings *s, uint16_t speaker);

// ---------------------------------------------------------------- replies
// Index of the reply-set entries the driver names.
enum {
    RS_OK = 0, RS_CONNECT = 1, RS_RING = 2, RS_RING2 = 3, RS_NO_CARRIER = 4, RS_ERROR = 5,
    RS_CONNECT_1200 = 6, RS_NO_DIAL_TONE = 7, RS_BUSY = 8, RS_NO_ANSWER = 9, RS_DELAYED = 17,
    RS_BLACKLISTED = 18, RS_RING_EXT = 29, RS_RING_EXT2 = 30, RS_CLEARED = 31, RS_TO = 32, RS_FM = 33,
    RS_COUNT = 34,
};
const char *ReplyEntry(int index);      // in the set in use (g_modem.shortReplies)

// Class-dependent spellings.
enum ModemWord {
    MW_SESSION_CAP, MW_REMOTE_CAP, MW_TX_ID, MW_CALLED_ID, MW_PAGE_STATUS, MW_HANGUP, MW_FAX_CONNECT,
    MW_CMD_SESSION_CAP, MW_CMD_DTE_CAP, MW_CMD_LOCAL_ID, MW_CMD_BIT_ORDER, MW_CMD_TIMEOUT, MW_CMD_MAKER,
    MW_COUNT
};
const char *ModemWordText(ModemWord w);  // by g_modem.class20

// What the parser takes from reply lines during a call.
struct ModemCallData {
    char remoteId[MODEM_ID_SIZE];
    char remoteFormat[4];           // "G3N", "G3F" or "" when unknown
    int32_t scanNormal, scanFine;   // ms, -1 unknown
    char dtmf[MODEM_DTMF_SIZE];
    char cli[MODEM_CLI_SIZE];
    char subAddr[MODEM_SUBADDR_SIZE];
    int ringSeen;
    uint16_t failureCode;           // 0xF10A, 0xF10B, 0xF10C or 0
    uint16_t pageStatus;            // last page status read
    int inCall;
    uint16_t bitRate;               // of the session, bps (0 unknown)
};
extern ModemCallData g_call;
void ModemClearCallData(void);          // remote ID, format, scan times
void ModemClearRouting(void);           // DTMF, calling number, sub-address

// Parses one reply line in the given device state: 0 final good reply, 12
// information line, 8 call not made, 9 ERROR, 20 fax error.
uint16_t ParseModemReply(const char *line, uint16_t state);
// Parses the line as a page status report ("+FPS:" spelling prepended when
// the line holds only the number).
uint16_t ParsePageStatusNumber(const char *line, uint16_t state);
int IsConnectReply(const char *line);
int IsOkReply(const char *line);
int IsFaxConnect(const char *line);      // exact "+FCON" / "+FCO"
int HasHangupWord(const char *line);
int StartsWithNoCase(const char *s, const char *prefix);
// Name of a reply for log lines.
void ReplyLogName(const char *line, char *out, size_t size);
// Command as shown in log lines.
void CommandLogText(const char *cmd, size_t len, char *out, size_t size);

// ---------------------------------------------------------------- commands
// "X4S7=55B0" etc.
void ComposeDialOptions(const ModemSettings *s, char *out, size_t size);
// Bit-rate code of a speed (2400:0 .. 14400:5).
int BitRateCode(uint16_t speed);
// Receive capabilities: "+FDCC=1,3,0,2,0,0,0,0" (or the +FCC / +FDIS / +FIS form).
void ComposeReceiveCaps(const ModemSettings *s, char *out, size_t size);
// Send capabilities for a job of the given format.
void ComposeSendCaps(const ModemSettings *s, uint16_t format, char *out, size_t size);
// Local ID and sub-address of a call: number "" when answering. *subAddr
// receives the routing sub-address ("" none). 1, or 0 when the number's
// sub-address is too long.
int ComposeLocalId(const char *phoneNum, const char *separator, const char *number, char *localId,
                   size_t idSize, char *subAddr, size_t subSize);
// Service class from a "+FCLASS=?" answer: "2", "2.0" or "" when neither.
void ParseClassList(const char *reply, char *cls, size_t size);
// The dial command "DT<number>" / "DP<number>" from a job's number; 0 when
// nothing dialable is left.
int ComposeDialCommand(int tone, const char *prefix, const char *number, const char *suffix, char *out,
                       size_t size);

// ---------------------------------------------------------------- page framing
// Copies src with every DLE doubled into out (at most outSize); *used gets
// the source bytes taken. Returns the bytes written.
size_t DleStuff(const unsigned char *src, size_t len, unsigned char *out, size_t outSize, size_t *used);
// Pads a line with zero bytes to minLen (when shorter); returns the length.
size_t PadLine(const unsigned char *line, size_t len, size_t minLen, unsigned char *out, size_t outSize);
extern const unsigned char *const g_bitReverse; // 256 bytes
// The receive data reader: turns the shielded stream into page data.
struct RxReader {
    int inDle;
    uint32_t nulRun;
    int ended;
    int class20;
    int acceptTones;
    char endChar;
    int toneEnd;                    // the DTMF end character came
    int tooManyNuls;
};
void RxReaderReset(RxReader *r, int class20, int acceptTones, char endChar);
// Feeds one byte: appends 0, 1 or 2 bytes to out (*outLen grows, bounded by
// outSize). Returns 1 once DLE ETX ended the page.
int RxReaderFeed(RxReader *r, unsigned char c, unsigned char *out, size_t *outLen, size_t outSize);
// The filter of a page's first block: drops bytes 0-3 when bytes 2 and 3 are
// both 0xFF, then leading 0xFF bytes. Returns the bytes dropped from the front.
size_t FilterFirstBlock(const unsigned char *data, size_t len);

// Minimum scan-line length in bytes for a scan time and bit rate.
uint16_t MinLineLength(int32_t scanMs, uint16_t bitRate);

// ---------------------------------------------------------------- serial port
// The port operations under the dialogue; the platform's set is the default,
// tests put their own in.
enum : uint16_t { PORT_OK = 0, PORT_NOT_FOUND = 1, PORT_IN_USE = 2, PORT_ERROR = 3 };
struct ModemPort {
    // Opens the device name; *sysError receives the platform error.
    uint16_t (*open)(const char *name, uint32_t *sysError);
    int (*close)(uint32_t *sysError);           // 1 ok
    // Line settings; 0 ok, else the failing step 1 get, 2 get time-outs, 3 set.
    int (*setup)(uint32_t baud, int ctsFlow, int dsrFlow, int xonXoff, uint32_t writeTimeoutMs,
                 uint32_t *sysError);
    // Writes all bytes (waits); 1 ok with *written (short on a time-out), 0 a fault.
    int (*write)(const unsigned char *data, uint32_t len, uint32_t *written, uint32_t *sysError);
    // Starts a write of frame slot 0 or 1 and waits for it later.
    int (*writeStart)(int slot, const unsigned char *data, uint32_t len, uint32_t *sysError);
    int (*writeWait)(int slot, uint32_t *written, uint32_t *sysError);
    // Reads what comes within the read time-outs; 1 ok (a short or empty
    // read is a time-out), 0 a fault.
    int (*read)(unsigned char *buf, uint32_t len, uint32_t *got, uint32_t *sysError);
    int (*purge)(int input, int output, uint32_t *sysError);
    int (*errors)(uint32_t *flags, uint32_t *sysError);
    // DTR and RTS on or off; 0 when the port cannot change them.
    int (*lines)(int on, uint32_t *sysError);
};
const ModemPort *ModemPlatformPort(void);
void ModemSetPort(const ModemPort *port);       // null: the platform's
const ModemPort *ModemGetPort(void);

// ---------------------------------------------------------------- the dialogue
uint16_t OpenComPort(void);
uint16_t SetupRS232(uint32_t baud, uint32_t writeTimeoutMs);
void CloseComPort(void);
int IsComPortOpen(void);
uint16_t FlushComPort(void);
uint16_t PurgeComOutput(void);
uint16_t ComWrite(const unsigned char *data, uint32_t len, int purgeInput);
uint16_t ReadComChar(unsigned char *c, int retry, int cacheMode);
uint16_t ReadReplyLine(char *buf, size_t size, int commandSent, int acceptXon);
uint16_t GetComErrors(uint32_t *flags);
void SetControlLines(int on);
uint16_t PollModemReply(const char *cmd, size_t cmdLen, char *reply, size_t replySize, int acceptXon);
uint16_t SendModemCommand(const char *cmd, char *reply, size_t replySize);
// Sends a command and parses its reply (0/12 good). errorOk: 9 counts as 0.
uint16_t ModemCommandParsed(const char *cmd, int errorOk);
uint32_t ModemPortSpeed(void);
// Log level of communication lines: 5 with LogComms, else 2.
int CommsLevel(void);
// The line trace of the CommsLogFile option: one line per command, reply
// or page data block ("hh:mm:ss > text", '>' to the modem, '<' from it).
void CommsTrace(char direction, const unsigned char *data, size_t len, int pageData);

// ---------------------------------------------------------------- operations
extern const DevLowerLayer g_modemLowerLayer;
uint16_t ModemReadDeviceIniFile(uint16_t deviceNumber, FILE *setupIni);
uint16_t ModemInitialiseDevice(void);
uint16_t ModemPollDevice(void);
uint16_t ModemCheckFaxStatus(void);
uint16_t ModemWaitForDeviceRecovery(void);
uint16_t ModemMakeConnection(const DevConnectRequest *req, int *connectionMade);
uint16_t ModemWaitForConnect(char *remoteId, uint16_t idSize, uint16_t direction, uint16_t *pageFormat);
uint16_t ModemCancelJob(void);
uint16_t ModemWaitForJobToFinish(void);
uint16_t ModemFinishDeviceJob(uint16_t replyCode);
uint16_t ModemCloseDevice(void);
uint16_t InitialiseModem(int outgoing);
uint16_t ModemCheck(void);
// Page transfer (modempage.cpp).
uint16_t SendDataFrame(const unsigned char *line, uint16_t length, uint16_t kind);
uint16_t SendFrameAsync(const unsigned char *data, uint16_t length, int endFlag);
uint16_t ModemReceiveDataFrame(unsigned char *buf, uint16_t size, uint16_t *length, uint16_t *end,
                               uint16_t acceptTones);
void ModemSetMinLineLength(uint16_t bytes);
uint16_t ModemMinLineLength(void);
// Sleeps through the runtime clock (scaled in tests).
void ModemSleep(uint32_t ms);

#endif
