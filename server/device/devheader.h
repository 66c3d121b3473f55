// Page header lines of the fax drivers: the text of the line and the header
// file with one rendered line per page.
#ifndef TAVRINE_SERVER_DEVICE_DEVHEADER_H
#define TAVRINE_SERVER_DEVICE_DEVHEADER_H

#include <cstddef>
#include <cstdint>

#include "server/device/lowerlayer.h"
#include "server/runtime/rtclock.h"

// Header flags of a job.
enum : uint32_t {
    DEV_HDR_PAGES = 1,
    DEV_HDR_RECIPIENT = 2,
    DEV_HDR_STATION = 4,
    DEV_HDR_DATE = 8,
    DEV_HDR_TIME = 16,
};

// Renderer codes inside the text.
enum : char { HDR_CODE_NUMBER = 7, HDR_CODE_FROM = 8, HDR_CODE_TO = 9, HDR_CODE_START = 11 };

enum { HDR_TEXT_SIZE = 256 };

struct HeaderTextInput {
    uint32_t flags;
    uint16_t totalPages;
    const char *sender;
    const char *recipient;
    const char *phoneNum;           // the device's own number ("" none)
    const char *stationName;        // the local fax ID ("" none)
    const char *datePicture;        // "dd-MMM-yy"
    RtTime now;
};

// Composes the text up to the page number into out; *pageDigits receives
// 0 (no page number) or the digits of each number (1, 2 or 3). 1 done, 0
// when the text does not fit.
int BuildHeaderText(const HeaderTextInput *in, char *out, size_t size, int *pageDigits);
// The text of one page: the base text and "page/total" in pageDigits digits.
void HeaderTextForPage(const char *base, int pageDigits, uint16_t page, uint16_t total, char *out, size_t size);

// Renders one header line of text into rows of 216 bytes (MSB first, 1
// black); *rows receives the row count (at most maxRows). 0 or 0x0F.
uint16_t RenderHeaderRows(const char *text, int fine, unsigned char *rows, int maxRows, int *rowCount);

// The RenderPageHeader operation of the fax drivers.
uint16_t RenderFaxPageHeader(const DevHeaderRequest *req, char *outPath, size_t pathSize);

#endif
