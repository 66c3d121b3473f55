// The receive control file of an incoming fax, and the page receiver.
#ifndef TAVRINE_SERVER_DEVICE_RXCTL_H
#define TAVRINE_SERVER_DEVICE_RXCTL_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "server/device/lowerlayer.h"
#include "server/runtime/rtclock.h"

enum { RX_EXT_CSID_MAX = 30 };

struct RxControlFields {
    char dataFile[16];
    char from[DEV_REMOTE_ID_SIZE];      // remote ID cut at the CSID separator
    char formatName[40];
    RtTime accepted;
    char deviceTypeName[40];
    char dtmf[DEV_DTMF_SIZE];
    char extCsid[RX_EXT_CSID_MAX + 1];
    char subAddr[DEV_SUBADDR_SIZE];
    char cli[DEV_CLI_SIZE];
};

// Leading blanks removed; the part before the separator into from, the part
// after it (at most 30 characters) into ext. No separator: all into from.
void SplitRemoteId(const char *remoteId, const char *separator, char *from, size_t fromSize, char *ext,
                   size_t extSize);
// The control file's text with CR LF line ends; 0 when it does not fit.
size_t BuildReceiveControlText(const RxControlFields *f, char *out, size_t size);
// Makes "~RECDnnn.CTL" in AllUserArea\user\T-IN\ and its data file (opened
// for writing in *dataFile, its path in dataPath).
uint16_t CreateReceiveControlFile(const char *user, uint16_t format, uint16_t deviceType, const char *stem,
                                  const char *remoteId, char *controlName, FILE **dataFile, char *dataPath,
                                  size_t dataPathSize);
// Receives the pages of a call into out. 0 all went well; a device result
// when nothing whole arrived; 0x8000 | the result when the call failed after
// some pages were kept. *pages counts the pages kept.
uint16_t ReceiveTiffFile(FILE *out, uint16_t pageFormat, uint16_t *pages);

// Reads a message control file (send or receive) into a printable status
// report: text lines with CR LF, *reportSize bytes. 0, or 0x0F with the
// reason logged.
uint16_t ReadPrintControlFile(FILE *ctl, char *report, size_t size, uint32_t *reportSize);

#endif
