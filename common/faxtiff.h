// TIFF fax page files.
//
// Every fax page of the system lives in one file profile: a little-endian
// TIFF file with one image file directory (IFD) per page, each page one strip
// of one-dimensional T.4 (Modified Huffman) data, least significant bit first.
//
// First page of a file written here (all numbers little-endian):
//   0      "II", 42, offset of the first IFD (8, or 8 + software name + 1)
//   8      optional software name with its zero
//   IFD    15 entries of 12 bytes ascending by tag, then the next-IFD offset
//   +186   X resolution RATIONAL (204 or 200, 1)
//   +194   Y resolution RATIONAL (98/196/392 or 100/200/400, 1)
//   +202   the page's coded data; the next page's IFD follows it at once.
//
// This module writes the profile, reads any TIFF far enough to check it,
// brings files of other software into the profile in place, counts pages and
// copies coded pages between files block by block without decoding them.
// Streams are opened and closed by the callers (binary mode). Nothing here
// needs Windows.
//
// Results: 0 done, or a negative code of status.h: TV_R_IO (-4084, the
// 16-bit 0xF00C) for a read or write failure or an inconsistent file,
// TV_R_TIFF_* (-4062 .. -4068) for the profile checks. Functions documented
// as "1 or 0" return a truth value.
#ifndef TAVRINE_COMMON_FAXTIFF_H
#define TAVRINE_COMMON_FAXTIFF_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/status.h"

enum : uint16_t {
    TIFF_TYPE_SHORT = 3,
    TIFF_TYPE_LONG = 4,
    TIFF_TYPE_RATIONAL = 5,
};

enum : uint32_t {
    TIFF_HEADER_SIZE = 8,       // byte order, version, first IFD offset
    TIFF_SOFTWARE_MAX = 100,    // characters of the software name read back
    TIFF_IFD_ENTRIES = 15,      // entries of a page IFD
    TIFF_IFD_SIZE = 186,        // count + 15 entries + next offset
    TIFF_IFD_BLOCK = 202,       // IFD and the two resolution RATIONALs
    FAX_MAX_WIDTH = 1728,       // widest page the readers accept
    FAX_ROW_BYTES = 216,        // a row of FAX_MAX_WIDTH pixels
    FAX_BLOCK_SIZE = 512,       // block size of the page copy engine
    FAX_MAX_IFDS = 65535,       // longest IFD chain followed
};

// Position of each of the 15 entries in the page record (ascending tags).
enum TiffEntryIndex {
    TE_SUBFILE,         // 254 new subfile type   LONG      0
    TE_WIDTH,           // 256 image width        LONG      pixels
    TE_LENGTH,          // 257 image length       SHORT     lines
    TE_BITS,            // 258 bits per sample    SHORT     1
    TE_COMPRESSION,     // 259 compression        SHORT     3 (default 1)
    TE_PHOTOMETRIC,     // 262 photometric        SHORT     0
    TE_FILLORDER,       // 266 fill order         SHORT     2 (default 1)
    TE_STRIPOFFSETS,    // 273 strip offsets      LONG      IFD + 202
    TE_SAMPLES,         // 277 samples per pixel  SHORT     1
    TE_ROWSPERSTRIP,    // 278 rows per strip     LONG      lines (default 0xFFFFFFFF)
    TE_STRIPBYTES,      // 279 strip byte counts  LONG      bytes of data
    TE_XRES,            // 282 X resolution       RATIONAL  IFD + 186
    TE_YRES,            // 283 Y resolution       RATIONAL  IFD + 194
    TE_T4OPTIONS,       // 292 T4 options         LONG      0
    TE_RESUNIT,         // 296 resolution unit    SHORT     2 (inch)
    TE_COUNT
};

// The tag of each entry, in TiffEntryIndex order.
extern const uint16_t kTiffPageTags[TIFF_IFD_ENTRIES];

// One 12-byte directory entry. Values are kept as 32-bit numbers; for SHORT
// entries read from a file the value is the low 16 bits, except the strip
// byte count, whose full 32-bit field is kept (older files of this profile
// wrote it as SHORT with a 32-bit value).
struct TiffEntry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    uint32_t value;
};

// The 8-byte file header plus the software name that may follow it.
struct TiffHeader {
    uint16_t byteOrder;                  // 0x4949 "II" (read as little-endian)
    uint16_t version;                    // 42 (read as little-endian)
    uint32_t firstIfd;
    char software[TIFF_SOFTWARE_MAX + 1]; // empty when none
};

// The page record: the 186-byte page IFD, plus what the reader learnt about
// where it came from (used when a file is rewritten in place).
struct TiffIfd {
    uint16_t entryCount;                 // 15
    TiffEntry entry[TIFF_IFD_ENTRIES];   // by TiffEntryIndex
    uint32_t nextIfd;                    // 0 on the last page
    // Read side only (0 in a fresh record):
    uint32_t ifdOffset;                  // file offset the IFD was read from
    uint16_t present;                    // bit i: entry i came from the file
    uint8_t doublesQuirk;                // resolutions were stored as doubles
};

// The library-wide software name written behind the header (none by
// default, as in the client). Copied bounded; nullptr clears it.
void SetTiffSoftwareName(const char* name);

// Byte order "II", version 42, first IFD 8, the library's software name.
void InitTiffHeader(TiffHeader* header);
// Writes the 8 bytes and the software name, if set, at the current position
// (normally 0), with the first IFD offset pointing just behind them (the
// record is updated). 1, or 0 on a write failure.
int WriteTiffHeader(FILE* stream, TiffHeader* header);
// Reads the header at the current position; when the first IFD does not
// follow at once, reads the software name (up to 100 characters and its
// zero; an unterminated or unreadable one leaves the name empty); seeks to the
// first IFD. 1, or 0 when the 8 bytes cannot be read.
int ReadTiffHeader(FILE* stream, TiffHeader* header);
// 0, TV_R_TIFF_VERSION when the version is not 42 or the byte order is
// neither "II" nor "MM" (tested first), TV_R_TIFF_MOTOROLA for "MM".
int CheckTiffHeader(const TiffHeader* header);

// The default IFD: the 15 entries with width as given, image length 0,
// compression 1, fill order 1, offsets 0, rows per strip 0xFFFFFFFF, next 0.
void InitTiffIfd(TiffIfd* ifd, uint16_t width);
// InitTiffIfd with compression 3 and fill order 2: a fax page.
void InitFaxIfd(TiffIfd* ifd, uint16_t width);
void SetIfdEntry(TiffEntry* entry, uint16_t tag, uint16_t type, uint32_t count, uint32_t value);

// Reads the IFD at the current position into the record (starting from the
// default IFD of width 0): the 15 known tags replace their defaults, other
// tags are skipped. Gives the X and Y resolution in dots per inch: a vertical
// resolution that is not a multiple of 100 becomes (v / 98) * 100; a missing
// tag, a zero denominator or an unreadable value gives 0. A page whose X
// resolution is stored as the IEEE double 200.0 with compression 3 and fill
// order 1 was written with doubles: X is 200, Y is DecodeResolution of its
// bytes and the record's fill order becomes 2 (doublesQuirk set). Leaves the
// stream at the strip offset. 1, or 0 on a read failure.
int ReadTiffIfd(FILE* stream, TiffIfd* ifd, uint16_t* xres, uint16_t* yres);
// Writes the IFD at the current position with the resolution offsets set to
// position + 186 and + 194 and, when there is one strip, the strip offset to
// position + 202; then the RATIONALs (xres, 1) and (yres, 1). The record is
// updated with the offsets. 1 when all 202 bytes were written, else 0.
int WriteTiffIfd(FILE* stream, TiffIfd* ifd, uint16_t xres, uint16_t yres);
// The X resolution written for a vertical resolution: 204 unless yres is a
// multiple of 100, then 200.
uint16_t FaxXResolution(uint16_t yres);

// 100, 200 or 400 when the 8 bytes are the little-endian IEEE double 100.0,
// 200.0 or 400.0; else -1.
int DecodeResolution(const uint8_t bytes[8]);

// Bytes read; 1 when all bytes were written (a length of 0 is 1).
size_t ReadFaxData(FILE* stream, void* buffer, size_t length);
int WriteFaxData(FILE* stream, const void* buffer, size_t length);

// In this order: compression 3 and T4 options without 2-D or uncompressed
// mode (TV_R_TIFF_COMPRESSION); one strip offset, rows per strip and strip
// byte count (TV_R_TIFF_STRIPS); rows per strip not below the image length
// (TV_R_TIFF_STRIPS); unit inch (TV_R_TIFF_RESUNIT); RATIONAL resolutions
// (TV_R_TIFF_RESTYPE); fill order 2 (TV_R_TIFF_FILLORDER); a width of 1 to
// FAX_MAX_WIDTH pixels, one bit per sample, one sample (TV_R_IO). Else 0.
int CheckFaxIfd(const TiffIfd* ifd);

// Brings a TIFF fax file written by other software into the profile in
// place, page by page: joins contiguous strips, ends each strip with an EOL
// run unless it already ends so (compared in the strip's own bit order; a
// strip shorter than the patch is left alone), bit-reverses pages in fill
// order 1 (refused with TV_R_TIFF_FILLORDER when the file has no fill order
// entry to record the change), and rewrites the entries that differ; a zero
// resolution becomes 200/1, and resolutions stored as doubles are rewritten
// as RATIONALs. The stream is open for reading and writing. 0 or a code.
int NormaliseFaxFile(FILE* stream);
// The same operation under the name the server programs use.
inline int CheckTiffFile(FILE* stream) { return NormaliseFaxFile(stream); }

// Number of pages of a fax file (IFDs with image length above 0). 0 and the
// count, or TV_R_IO when the file cannot be read as a fax file, its first
// page fails the checks or its chain of IFDs loops. The stream position is
// kept; decoder instance 2 is left on the first page (OpenFaxPage2).
int CountFaxPages(FILE* stream, uint16_t* count);

// Walks the chain of IFDs of a file from its header (bounded, and a chain
// that loops is refused) looking for page index (0-based, counting IFDs
// with image length above 0). *found tells whether it exists; then *page and
// *yres hold it. With count given the whole chain is walked and counted.
// 0, the CheckTiffHeader code, or TV_R_IO.
int WalkFaxPages(FILE* stream, uint16_t index, TiffIfd* page, uint16_t* yres, uint16_t* count,
                 int* found);

// ---------------------------------------------------------------- copying

// Copy state of a source file.
struct FaxSource {
    uint32_t nextIfd;       // next page's IFD, 0 on the last page
    uint32_t stripBytes;    // current page's strip byte count
    uint32_t bytesRead;     // of it already read
    uint32_t dataOffset;    // current page's strip offset
    uint16_t width;         // current page's width
    uint32_t pages;         // IFDs visited, bounded by FAX_MAX_IFDS
    uint32_t loopMark;      // cycle check: a remembered IFD offset
    uint32_t loopSteps;
    uint32_t loopLimit;
};

// Copy state of a destination file.
struct FaxDest {
    uint32_t ifdOffset;     // current page's IFD
    uint32_t bytes;         // coded bytes written for the page
    uint16_t lines;         // EOLs counted
    uint16_t zeroRun;       // zero bits at the end of the data so far (capped)
    uint16_t xres, yres;    // resolutions written with each IFD
};

// Reads and checks the header and the first IFD, fills the copy state and
// seeks to the first page's data. 0, a check code, or TV_R_IO.
int OpenFaxSource(FILE* stream, FaxSource* src, uint16_t* yres, uint16_t* width);
// Reads up to max bytes of the current page (moving to the next page first
// when the current one is used up). Sets *endPage when the page's data is used
// up, *endFile too when there is no next page (length 0 at the very end).
// 0, or TV_R_IO.
int ReadFaxBlock(FILE* stream, FaxSource* src, void* buffer, uint32_t max, uint32_t* length,
                 int* endPage, int* endFile);
// Skips the page that ReadFaxBlock would read next without reading its data
// (moving to the next page's IFD when the current page is used up); *endFile
// when no page is left after it. 0, or TV_R_IO when the IFD cannot be read.
int SkipFaxPage(FILE* stream, FaxSource* src, int* endFile);

// Writes the header and the first page's fax IFD (X resolution by the rule
// above). 0, or TV_R_IO on a write failure.
int CreateFaxFile(FILE* stream, FaxDest* dst, uint16_t yres, uint16_t width);
// Appends coded data to the current page, counting EOLs (11 or more zero
// bits then a one bit, least significant bit first, carried across blocks;
// an EOL whose one bit lies in the last byte of an end block is not counted).
// With endPage or endFile the page's IFD is completed in place; with endPage
// and not endFile the next page's IFD is written behind the data. 0 or TV_R_IO.
int WriteFaxBlock(FILE* stream, FaxDest* dst, const void* buffer, uint32_t length, int endPage,
                  int endFile);

// Writes into dest pages 1..page of first, then the pages of second, then
// the rest of first, after skipping the first skip pages of first. insert 0
// replaces: each page of second takes the place of one page of first. A
// source with no pages (or none given) is absent. Pages of different widths
// are refused (TV_R_IO). 0 or a code; dest is left as far as it was written.
int MergeFaxFiles(FILE* first, FILE* second, FILE* dest, uint16_t page, uint16_t skip, int insert);
// MergeFaxFiles with no pages skipped; insert 0 = replace.
int AppendFaxFile(FILE* first, FILE* second, FILE* dest, uint16_t page, int insert);
// Copies page (1-based) of source to single and the other pages to others
// (either may be nullptr). 0 or a code.
int ExtractFaxPage(FILE* source, FILE* others, FILE* single, uint16_t page);
// The server's name for the page split: page to output and, when split is
// set and second is given, all other pages to second.
int InsertFaxPages(FILE* source, FILE* second, FILE* output, uint16_t page, int split);

#endif
