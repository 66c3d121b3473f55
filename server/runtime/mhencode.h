// Modified Huffman (T.4 one-dimensional) encoder and fax TIFF page writing.
//
// Bitmap rows are 1 bit per pixel, 1 = black, first pixel in the most
// significant bit. Coded output is packed least significant bit first (TIFF
// fill order 2). Each row is coded as an EOL (eleven 0 bits and a 1), then
// alternating white and black runs starting with white (a row that begins
// black starts with a white run of 0), each run as the make-up code for its
// multiple of 64 when it is 64 or longer, then the terminating code for the
// rest; the row is padded with 0 bits to a whole byte. An end flag appends
// one more EOL as the two bytes 00 08. Rows are at most 1728 pixels.
#ifndef TAVRINE_SERVER_RUNTIME_MHENCODE_H
#define TAVRINE_SERVER_RUNTIME_MHENCODE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/faxtiff.h"

enum : uint32_t {
    MH_MAX_ROW_PIXELS = 1728,
    MH_ROW_CODE_SIZE = 1000,   // enough for any coded row of up to 1728 pixels
};

// Codes one row of width pixels (row nullptr = all white) into out, which
// holds at least MH_ROW_CODE_SIZE bytes; with endFlag the final EOL follows.
// Returns the bytes written, or 0 when width is above MH_MAX_ROW_PIXELS.
size_t MhEncodeRow(const uint8_t* row, uint16_t width, int endFlag, uint8_t* out);

// Codes rowCount rows of bytesPerRow bytes from the last row of the bitmap
// to the first into a sink. A missing bitmap stands for white rows of 1728
// pixels. Returns the bytes of the last row coded (with the final EOL when
// endFlag is set), or 0 when the sink failed or the rows are too wide.
typedef int (*MhSink)(void* context, const uint8_t* data, size_t length); // 1 = written
size_t MhEncodeRows(const uint8_t* bitmap, uint16_t rowCount, uint16_t bytesPerRow, int endFlag,
                    MhSink sink, void* context);
// MhEncodeRows into a stream at its current position.
size_t WriteMhRows(FILE* stream, const uint8_t* bitmap, uint16_t rowCount, uint16_t bytesPerRow,
                   int endFlag);

// Page being written by WriteTiffFaxRow.
struct FaxPageState {
    uint32_t ifdOffset;   // file position of the page's IFD
    uint32_t rows;        // rows written to the page
    uint32_t bytes;       // coded bytes written to the page
};

// Writes the header and the first page's fax IFD of a new multi-page file
// at the start of the stream and sets up the page state. 0 or TV_R_IO.
int StartTiffFaxFile(FILE* stream, FaxPageState* page, uint16_t width, uint16_t yres);

// Appends one row (row nullptr: none) to the page; at pageEnd or lastPage
// completes the page's IFD in place (rows, strip bytes, next IFD) and, at a
// page end that is not the last page, writes the next page's IFD behind the
// data. Returns 0, TV_R_IO (-4084, the 16-bit 0xF00C) on a read or write
// error or when the stream is already in error, or TV_E_BADARG for a row
// wider than 1728 pixels.
int WriteTiffFaxRow(FILE* stream, FaxPageState* page, const uint8_t* row, uint16_t bytesPerRow,
                    int pageEnd, int lastPage);

// Reads the IFD at the current position as the server does (the fax reader
// of the shared library with the same resolution rules) and seeks to the
// first strip. 1 or 0.
int ReadTiffIfdServer(FILE* stream, TiffIfd* ifd, uint16_t* xres, uint16_t* yres);

// Sets count bits from *pos (most significant bit first) and advances *pos;
// -2 with nothing set when *pos + count would pass width, else 1.
int SetRowBitRunBounded(uint16_t count, uint16_t* pos, uint8_t* row, uint16_t width);

#endif
