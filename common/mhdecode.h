// Modified Huffman (T.4 one-dimensional) decoder and the page row readers.
//
// A decoder decodes one scan line per call straight from the page's coded
// data, with no page buffer: it keeps a small read window of the stream and
// resumes where the previous line ended. Reading line n after line n + k
// decodes again from the page start.
//
// Input bits are taken least significant first (fill order 2). Output rows
// are most significant bit first: pixel x is bit 0x80 >> (x % 8) of byte
// x / 8, 1 = black. A row is (width + 7) / 8 bytes.
//
// Each line: the rest of the current byte is dropped; zero bits are skipped
// up to the first one bit (the EOL); then runs alternate from white, make-up
// codes (64..1728) keeping the colour; a terminating code that brings the
// position to the width completes the line. Only the 91 codes per colour of
// T.4 are known (no extended make-up codes). Seven zero bits at the start of
// a code word end the line early (the next EOL has arrived, or damage).
//
// The program has two decoder instances: instance 1 for printing, instance 2
// for page counting and the viewer, so that one never disturbs the other.
#ifndef TAVRINE_COMMON_MHDECODE_H
#define TAVRINE_COMMON_MHDECODE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/faxtiff.h"

// Results of DecodeFaxLine.
enum {
    MH_LINE_OK = 1,      // decoded to its full width
    MH_LINE_BAD = -2,    // ended early, or a run passed the width
    MH_LINE_END = -1,    // end of data, read failure, or beyond the page
};

// Results of the page row readers (ReadFaxLine*, ReadFaxPageRow ...):
// 1 a row with black pixels, 0 a complete all-white row, -1 and -2 as above.
enum {
    FAX_ROW_BLACK = 1,
    FAX_ROW_WHITE = 0,
};

enum : uint32_t {
    MH_WINDOW = 8192,            // bytes of the stream read at a time
    MH_TO_END = 0xFFFFFFFFu,     // data size: up to the end of the stream
};

// State of one decoder instance. Tests and tools may create their own.
struct MhDecoder {
    FILE* stream;             // nullptr when decoding from memory
    const uint8_t* memory;    // coded data in memory (stream == nullptr)
    uint32_t dataOffset;      // page data's offset in the stream
    uint32_t dataSize;        // bytes of page data (bounded by the stream's end)
    uint16_t width;           // pixels per line
    uint16_t lines;           // lines of the page
    uint16_t current;         // next line to decode
    uint8_t anyBlack;         // the last decoded line set black pixels
    uint8_t ioError;          // a seek or read failed; lines give -1
    uint8_t msbFirst;         // stream data is in fill order 1 (set after init)
    uint32_t nextByte;        // where the next EOL search starts (data-relative)
    // Read window over the data: bytes [winStart, winStart + winLen).
    const uint8_t* win;
    uint32_t winStart;
    uint32_t winLen;
    uint8_t buffer[MH_WINDOW + 8];
};

// Starts a decoder on page data in a stream: dataOffset from the start of
// the stream (seekOrigin must be SEEK_SET, the one origin the files use),
// dataSize the strip byte count or MH_TO_END. The current line becomes 0.
void MhInitDecoder(MhDecoder* dec, FILE* stream, uint32_t dataOffset, uint16_t width,
                   uint16_t lines, int seekOrigin = SEEK_SET, uint32_t dataSize = MH_TO_END);
// Starts a decoder on coded data in memory (kept by the caller).
void MhInitDecoderMem(MhDecoder* dec, const uint8_t* data, uint32_t size, uint16_t width,
                      uint16_t lines);

// Decodes line n (negative: the next line) into row, which holds rowSize
// bytes. Lines before n are decoded into the same row and overwritten; n
// below the current line starts again from the page start. Returns
// MH_LINE_OK for every fully decoded line (white or not), MH_LINE_BAD,
// or MH_LINE_END (also when n >= lines, or when rowSize is smaller than a
// row of the page's width; the row is then left untouched).
int DecodeFaxLine(MhDecoder* dec, int32_t n, uint8_t* row, size_t rowSize);

// Sets run pixels from *pos to black (most significant bit first) and
// advances *pos; -2 with nothing set when *pos + run would pass width, else 1.
int SetRowBitRun(uint16_t run, uint16_t* pos, uint8_t* row, uint16_t width);
// Advances *pos by run; -2 when it would pass width, else 1.
int AddWhiteRun(uint16_t run, uint16_t* pos, uint16_t width);
// Clears the row of a page width: (width + 7) / 8 bytes.
void ClearFaxRow(uint8_t* row, uint16_t width);

// ------------------------------------------------- the two program instances

// Instance 1 (printing).
MhDecoder* FaxDecoder1();
// Instance 2 (page counting, the viewer, the server's page reader).
MhDecoder* FaxDecoder2();

// MhInitDecoder of instance 1.
void MhStartPage(FILE* stream, uint32_t dataOffset, uint16_t width, uint16_t lines,
                 int seekOrigin = SEEK_SET, uint32_t dataSize = MH_TO_END);
// DecodeFaxLine on instance 1 (results of DecodeFaxLine).
int MhReadLine(int32_t n, uint8_t* row, size_t rowSize = FAX_ROW_BYTES);
int MhReadNextLine(uint8_t* row, size_t rowSize = FAX_ROW_BYTES);

// Opens page index (0-based, counting IFDs with image length above 0) of a
// fax file on a decoder: checks the header and the page (CheckFaxIfd), gives
// its width, lines, strip byte count, Y resolution (100, 200 or 400 for fax
// files) and, when count is given, the number of pages (the whole chain is
// walked). Any out pointer may be nullptr. 1, or 0 when the file cannot be
// read, the chain of IFDs loops, there is no such page or it fails a check.
int OpenFaxPageOn(MhDecoder* dec, FILE* stream, uint16_t index, uint16_t* width, uint16_t* lines,
                  uint32_t* stripBytes, uint16_t* yres, uint16_t* count);
// The same with a status: 0, TV_R_IO, or the CheckTiffHeader / CheckFaxIfd
// code. A file whose pages all have image length 0 gives TV_R_IO for index 0
// but a count of 0 (*count is set before the page is looked for).
int OpenFaxPageStatus(MhDecoder* dec, FILE* stream, uint16_t index, uint16_t* width,
                      uint16_t* lines, uint32_t* stripBytes, uint16_t* yres, uint16_t* count);

// Row reader of a decoder: DecodeFaxLine, with a complete all-white row
// reported as FAX_ROW_WHITE (0) and a complete row with black as 1.
int ReadFaxRowOn(MhDecoder* dec, int32_t n, uint8_t* row, size_t rowSize);

// OpenFaxPageOn and the row readers on instance 1 (printing).
int OpenFaxPage(FILE* stream, uint16_t index, uint16_t* width, uint16_t* lines,
                uint32_t* stripBytes, uint16_t* yres, uint16_t* count);
int ReadFaxLine(int32_t n, uint8_t* row, size_t rowSize = FAX_ROW_BYTES);
int ReadNextFaxLine(uint8_t* row, size_t rowSize = FAX_ROW_BYTES);

// The same on instance 2 (page counting and the viewer).
int OpenFaxPage2(FILE* stream, uint16_t index, uint16_t* width, uint16_t* lines,
                 uint32_t* stripBytes, uint16_t* yres, uint16_t* count);
int ReadFaxLine2(int32_t n, uint8_t* row, size_t rowSize = FAX_ROW_BYTES);
int ReadNextFaxLine2(uint8_t* row, size_t rowSize = FAX_ROW_BYTES);

// The server programs' names for the instance 2 row readers.
inline int ReadFaxPageRow(int32_t n, uint8_t* row, size_t rowSize = FAX_ROW_BYTES)
{
    return ReadFaxLine2(n, row, rowSize);
}
inline int ReadNextFaxPageRow(uint8_t* row, size_t rowSize = FAX_ROW_BYTES)
{
    return ReadNextFaxLine2(row, rowSize);
}

#endif
