// Simulated Class 2 / Class 2.0 fax modems on one simulated telephone line.
//
// This is the dialogue logic only: the AT command parser, reply formatting,
// call state, page data framing and the scripted faults. It touches no file
// and no device. Bytes written by a terminal program go in with SimFeed,
// bytes for the terminal program come out of SimTakeOutput, and SimTick moves
// the simulated time on (rings, dial outcomes, paced page data, held XOFF).
// The pty plumbing (simpty_posix.cpp) and the in-process tests drive it alike.
#ifndef TAVRINE_STANDINS_MODEMSIM_SIMMODEM_H
#define TAVRINE_STANDINS_MODEMSIM_SIMMODEM_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum {
    SIM_MAX_PORTS = 8,      // modems with a terminal program (COM ports)
    SIM_MAX_REMOTES = 8,    // simulated remote fax machines without one
    SIM_MAX_FAULTS = 16,    // scripted faults per port
    SIM_MAX_PAGES = 16,     // pages of a simulated remote fax machine
    SIM_MAX_CALLS = 8,      // scheduled incoming calls
    SIM_LINE_MAX = 300,     // longest command line kept
};

// Scripted faults. Each belongs to one port and acts on that port's view of
// a call (the dial outcome, a page it sends or receives, its replies).
enum SimFaultKind {
    SIM_F_NONE = 0,
    SIM_F_BUSY,         // the dial ends with BUSY
    SIM_F_NOANSWER,     // the dial ends with NO ANSWER
    SIM_F_NODIALTONE,   // the dial ends with NO DIAL TONE
    SIM_F_NOCARRIER,    // the dial ends with NO CARRIER
    SIM_F_HANGUP,       // a hang-up code from the remote: at the dial, or after page N
    SIM_F_DROP,         // the carrier is lost after `bytes` bytes of page N
    SIM_F_PAGEERROR,    // page N is judged with page status `status`
    SIM_F_SILENT,       // no reply at all, after `count` command lines, for `ms` (0: for good)
    SIM_F_GARBAGE,      // a line of junk bytes before every final result
    SIM_F_ECHO,         // command lines are echoed whatever E says
    SIM_F_XOFF,         // XOFF after `bytes` bytes of page N, held for `ms`
    SIM_F_BADPARAMS,    // the remote reports contradictory and out-of-range session values
    SIM_F_ODD,          // odd connect replies: flags below in `odd`
    SIM_F_FAPERROR,     // ERROR to +FAP and +FSA whatever the class
};

enum {
    SIM_ODD_CED = 1,        // a "CED" line before the fax connect
    SIM_ODD_A4 = 2,         // "a" then "4" in place of the fax connect word
    SIM_ODD_PLUSPLUS = 4,   // "++FCON" in place of "+FCON"
    SIM_ODD_F = 8,          // "f" in place of CONNECT after +FDT
    SIM_ODD_FF = 16,        // a lone 0xFF byte before the answer report
};

struct SimFault {
    int kind;
    int page;           // 1-based page number, 0 for "at the dial" / any page
    int32_t bytes;
    int32_t ms;
    int32_t count;
    int status;
    int odd;
    char code[8];       // hang-up code as the modem prints it
};

struct SimPortConfig {
    int used;
    int com;                // COM port number (1..99)
    char profile[24];       // row of the profile table
    int forceClass;         // 0 per profile, 2, or 20 (Class 2.0)
    char number[24];        // the telephone number this modem answers to
    char id[24];            // local ID until the program sets one
    int dtmfLines;          // routing digits as "+DTMF:" lines after ATA
    int dleSub;             // Class 2.0 receive data uses DLE SUB for DLE DLE
    int plainFps;           // answer "+FPS?" with the bare number
    SimFault faults[SIM_MAX_FAULTS];
    int numFaults;
};

struct SimRemoteConfig {
    int used;
    char number[24];
    char id[44];
    char dis[40];           // capabilities it reports when answering
    char dcs[40];           // session values it reports when calling
    char cli[24];           // its calling number
    char sub[24];           // sub-address it sends when calling
    int rings;              // rings before it answers (0: never answers)
    int numPages;
    char pageFiles[SIM_MAX_PAGES][200];             // read by the program
    std::vector<unsigned char> pages[SIM_MAX_PAGES]; // MH data, LSB first
};

struct SimCallConfig {
    int used;
    char from[24];          // a remote's number
    char to[32];            // the number it dials (extra digits are routing digits)
    int32_t afterMs;
};

struct SimConfig {
    SimPortConfig ports[SIM_MAX_PORTS];
    SimRemoteConfig remotes[SIM_MAX_REMOTES];
    SimCallConfig calls[SIM_MAX_CALLS];
    int32_t ringMs;         // ring cadence
    int32_t ringLimit;      // rings before the caller hears NO ANSWER
    int32_t dialMs;         // from ATD to the first ring or the dial outcome
    int32_t rate;           // page data bytes per second in both directions, 0 unpaced
};

// Transcript and page hooks, called by the engine as things happen.
struct SimHooks {
    void *ctx;
    // dir: '>' from the program, '<' to the program, '*' an event.
    void (*line)(void *ctx, int com, char dir, const char *text);
    // A page taken from the program on port com (MH data, LSB first).
    void (*page)(void *ctx, int com, int pageNo, const unsigned char *data, size_t len);
};

// Reply and call states of one modem.
enum SimState {
    SIM_ST_CMD = 0,     // command mode, no call
    SIM_ST_DIAL,        // ATD given, waiting for the line
    SIM_ST_ONLINE,      // in a fax session, command mode
    SIM_ST_ANSWAIT,     // answered, waiting for the caller's session values
    SIM_ST_SENDDATA,    // taking page data from the program
    SIM_ST_SENDSKIP,    // discarding page data after a lost carrier
    SIM_ST_FDRWAIT,     // +FDR given, no page yet
    SIM_ST_DC2WAIT,     // CONNECT given, waiting for DC2 (or DC1)
    SIM_ST_STREAM,      // page data going to the program
    SIM_ST_VOICE,       // answered in voice mode for DTMF digits
};

struct SimPage {
    std::vector<unsigned char> data;
    int pmc;            // 0 more pages, 1 end of message, 2 last page
    int status;         // page status reported with it
    int dropped;        // carrier lost in this page
    char code[8];       // hang-up code when dropped
};

struct SimModem {
    int used;
    int com;
    const SimPortConfig *cfg;
    int profile;
    // Settings changed by commands.
    int echo, verbose, quiet, fclass;   // fclass: 0, 1, 2, 20 (2.0), 8 (voice)
    int s0;
    int bor;
    int caps[8];                        // +FDCC/+FCC values
    char localId[44];
    char subOut[24];                    // +FSA= value
    int fapSet;
    int sRegs[100];
    // Command line being typed.
    char line[SIM_LINE_MAX + 1];
    int lineLen, lineOn, lineOver;
    int64_t lastByteMs;
    // Call.
    int st;
    int peer;           // end id of the other party, -1 none
    int caller;         // 1 when this modem placed the call
    int connected;
    int sessionDone;    // +FDCS given to both sides
    char sessionDcs[64];    // answer report, kept for a repeated ATA
    char sessionTsi[44];
    int peerGone;
    char goneCode[8];
    int64_t dueMs;      // dial outcome / ringing deadline
    int dialOutcome;    // result code to give at dueMs, -1 none
    char dialed[64];
    char routeDigits[64];
    // Incoming call.
    int ringing, rings, ringFrom;
    int64_t nextRingMs;
    char ringCli[24], ringDigits[64], ringSub[24];
    // Page data.
    int pageNo;                 // pages sent (caller) or received (callee)
    std::vector<unsigned char> cur;
    int dleHeld;
    int lastPmc;
    int lastStatus;
    int fcfrSent;
    std::vector<SimPage> inbound;
    int lastInPmc;              // pmc of the latest page given to the program
    std::vector<unsigned char> stream;
    size_t streamPos;
    double allowance;           // paced bytes that may go to the program
    double inAllowance;         // paced page bytes that may be taken from it
    int64_t lastTickMs;
    int xoffHeld;
    int64_t xonDueMs;
    int xoffDone;
    int xoffWarned;
    // Faults in effect.
    int silentNow, silentSpent;
    int64_t silentUntil;
    int voiceReturn;                    // fax class before #CLS=8
    int linesAnswered;
    int forceSilent, forceGarbage;  // set at run time by the control file
    std::vector<unsigned char> out;
};

struct SimRemote {
    int used;
    const SimRemoteConfig *cfg;
    int peer;
    int connected;
    int received;
    int64_t answerMs;
    int pendingAnswer;
};

struct SimLine {
    SimConfig cfg;
    SimHooks hooks;
    SimModem modems[SIM_MAX_PORTS];
    SimRemote remotes[SIM_MAX_REMOTES];
    int callDone[SIM_MAX_CALLS];
    int64_t startMs;
    int64_t nowMs;
};

// End ids: modems are 0..SIM_MAX_PORTS-1, remotes SIM_REMOTE_BASE + index.
enum { SIM_REMOTE_BASE = 100 };

// Configuration: defaults, then script lines ("port 1 number=1001", ...).
void SimConfigDefaults(SimConfig *cfg);
// Applies one script line; returns 0 or 1 with a message in err.
int SimConfigLine(SimConfig *cfg, const char *text, char *err, size_t errLen);

// Sets the line up from its configuration (copied) at time nowMs.
void SimLineInit(SimLine *line, const SimConfig *cfg, const SimHooks *hooks, int64_t nowMs);
// Index of the modem on COM port com, -1 none.
int SimFindPort(const SimLine *line, int com);
// Bytes written by the program on modem index i.
void SimFeed(SimLine *line, int i, const unsigned char *data, size_t len, int64_t nowMs);
// Moves time on: rings, dial outcomes, paced data, XON after a held XOFF.
void SimTick(SimLine *line, int64_t nowMs);
// How many bytes modem index i takes from the program now: page data is
// paced at the line rate (the plumbing leaves the rest in the pty, which
// holds the program back as a real modem's flow control would).
size_t SimInputRoom(const SimLine *line, int i);
// Takes up to max bytes for the program on modem index i; returns the count.
size_t SimTakeOutput(SimLine *line, int i, unsigned char *buf, size_t max);
// Run-time changes from the control file: "silent 1 on", "call 2000 1002", ...
int SimControl(SimLine *line, const char *text, char *err, size_t errLen);

// Profile table helpers (also for the README and tests).
int SimProfileIndex(const char *name);
const char *SimProfileModel(int profile);

// Bit reversal of one byte (MSB-first <-> LSB-first).
unsigned char SimReverseByte(unsigned char b);

#endif
