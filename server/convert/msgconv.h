// The message converter program (program ID "ZOROVIZ", also its log ID,
// mailslot and SETUP.INI paragraph). Three modes by its command line:
//   no arguments      server: announces itself to SYSMAN and serves CONVERT
//                     requests of QUEUEMAN until SHUTDOWN or class 99;
//   first argument *  page header: renders one page header file and ends;
//   other arguments   one-shot: runs one conversion and ends.
//
// Packets (offsets from the packet start, header included):
//   5/1 CONVERT   exactly 134 bytes, argument text at 6..133
//   5/2 SHUTDOWN  exactly 6;  5/3 ABORT exactly 6;  99/any: as SHUTDOWN
//   1/11 reply to QUEUEMAN, 6 bytes, the result at 4 (time-out 10 s)
//   6/3 start notice to SYSMAN, 24 bytes (time-out 1 s)
//
// This part is portable (the mailslots are in-process queues in the native
// tree); msgconv_win.cpp holds the program's entry.
#ifndef TAVRINE_SERVER_CONVERT_MSGCONV_H
#define TAVRINE_SERVER_CONVERT_MSGCONV_H

#include <cstdint>
#include <cstdio>

#include "common/status.h"
#include "server/convert/convmsg.h"
#include "server/runtime/mailslot.h"

#define CONVERTER_ID "ZOROVIZ"
#define CONVERTER_VERSION "5.00e"

enum : int {
    CONVERT_TEXT_OFFSET = 6,
    CONVERT_TEXT_END = 134,     // the argument text never reaches past this
    CONVERTER_LOOP_MS = 2000,
    CONVERTER_SYSMAN_TIMEOUT = 1,
    CONVERTER_QUEUEMAN_TIMEOUT = 10,
};

// Service flags and the own mailslot.
struct ConverterService {
    int abort;                  // ABORT or SHUTDOWN: the running conversion stops
    int shutdown;               // the server loop ends
    int hasSlot;                // 0 in page header mode: no packet is read
    TvMailslot slot;
};
extern ConverterService g_converter;

// An argument vector built from a CONVERT text.
struct ConvertArgs {
    int count;                  // entries, entry 0 ("ZOROVIZ") included
    char text[CONV_MAX_ARGS][CONV_ARG_MAX + 1];
    char *argv[CONV_MAX_ARGS + 1];
};

// Splits the argument text of a CONVERT packet: the bytes from offset 6 up
// to the first NUL or to the end of the packet's 134 bytes, whichever comes
// first; blank-separated words, each cut to 80 characters, at most 19 after
// entry 0.
void SplitConvertArgs(const uint8_t *packet, uint16_t length, ConvertArgs *out);

// Reads the converter settings from an open SETUP.INI (start of file).
void ReadConverterSettings(FILE *setupIni);

// Reads and acts on the waiting packets; inJob is 1 from inside a
// conversion (a CONVERT is then refused by a log line only).
void ServiceRequests(int inJob);
// ServiceRequests(1); non-zero when the conversion is to stop.
int PollRequests(void);

// Acts on one received packet (as ServiceRequests does).
void HandleConverterPacket(uint8_t *packet, uint16_t length, int inJob);

// The program's main operation (after the console shell).
int ConverterMain(int argc, char **argv);

#endif
