// Status codes shared by every program of the system.
//
// Every operation returns a 16-bit status, 0 for success. Failure codes have
// the top four bits set and are printed as "0x%X". Library calls that return
// signed results give the same values read as negative numbers (-4084 is
// 0xF00C), so both spellings are provided where the library uses them.
#ifndef TAVRINE_COMMON_STATUS_H
#define TAVRINE_COMMON_STATUS_H

#include <cstdint>

typedef uint16_t TvStatus;

// Reinterpret a 16-bit status as the negative number a signed result carries.
constexpr int TvNeg(TvStatus s) { return static_cast<int16_t>(s); }

enum : TvStatus {
    TV_OK = 0,
    TV_S_NO_MESSAGE = 0x00E8,   // no packet waiting on a mailslot

    // 0xF0xx: shared library and server runtime library.
    TV_E_BADARG = 0xF001,       // bad argument
    TV_E_IO = 0xF00C,           // mailslot or file failure (-4084)
    TV_E_NOINI = 0xF018,        // system INI file not found (-4072)
    TV_E_NOSERVERPARA = 0xF019, // no [SERVER] paragraph in the system INI
    // 0xF01C .. 0xF022: the fax file profile checks, see TV_R_TIFF_* below.
    TV_E_TIMEOUT = 0xF023,      // time-out, or no such mailslot
    TV_E_NOAREA = 0xF025,       // a required area line is missing
    TV_E_NOSETUP = 0xF026,      // setup INI cannot be opened
    TV_E_UNKNOWN_FORMAT = 0xF027, // unknown file format (-4057)
    TV_E_RESOLUTION = 0xF028,   // unsupported fax resolution (-4056)
    TV_E_NOMEM = 0xF03B,        // out of memory
    TV_E_SECURITY = 0xF03C,     // security descriptor cannot be set up

    // 0xF1xx: device job replies.
    TV_E_DEV_FAILED = 0xF100,
    TV_E_DEV_BUSY = 0xF101,
    TV_E_DEV_OFFLINE = 0xF102,
    TV_E_JOB_FAILED = 0xF103,
    TV_E_REMOTE_ID = 0xF104,
    TV_E_SCAN_FAILED = 0xF108,
    TV_E_ENGAGED = 0xF10A,
    TV_E_NO_ANSWER = 0xF10B,
    TV_E_NO_DIALTONE = 0xF10C,
    TV_E_JOB_ABORTED = 0xF00A,  // job aborted (ABORT or offline)
    TV_E_JOB_FILE = 0xF006,     // job file error
    TV_E_RECEIVE_FAILED = 0xF016, // an incoming fax was not received whole

    // 0xF2xx: message converter (conversion of a message).
    TV_E_CONV_NOCTL = 0xF203,      // control file not found
    TV_E_CONV_DESTFMT = 0xF204,    // unsupported destination format
    TV_E_CONV_NOCOVER = 0xF205,    // coversheet file not found
    TV_E_CONV_NOMSG = 0xF206,      // first document missing or of unknown format
    TV_E_CONV_NOLETTER = 0xF207,   // letterhead not found
    TV_E_CONV_CREATE = 0xF208,     // addressee or common file not created
    TV_E_CONV_CVTFMT = 0xF209,     // Pages: value of the conversion record invalid
    TV_E_CONV_PAGES = 0xF20A,      // too many pages
    TV_E_CONV_PAGEFILE = 0xF20B,   // intermediate page not created or reopened
    TV_E_CONV_PAGEREAD = 0xF20D,   // intermediate page not read back
    TV_E_CONV_BACKGROUND = 0xF20E, // letterhead or background unusable
    TV_E_CONV_NOCVT = 0xF20F,      // conversion record not opened
    TV_E_CONV_TOPLINE = 0xF211,    // page header mode file error
    TV_E_CONV_ARGS = 0xF212,       // too few or too long arguments
    TV_E_CONV_NOPAGES = 0xF213,    // no pages in message
    TV_E_CONV_TIFF = 0xF214,       // TIFF document unusable
    TV_E_CONV_NOATTACH = 0xF21A,   // attachment not found
    TV_E_CONV_ATTACHTIFF = 0xF21C, // attachment unusable
    TV_E_CONV_CTLDATA = 0xF21E,    // control file incomplete
    // 0xF2xx: message converter (page raster).
    TV_E_CONV_WRITE = 0xF20C,      // page file not written
    TV_E_CONV_FONT = 0xF210,       // font files not loaded
    TV_E_CONV_LANDROWS = 0xF217,   // landscape buffer misused or overfull
    TV_E_CONV_INSERT = 0xF21B,     // inserted picture unusable
    TV_E_CONV_ESCAPE = 0xF221,     // unsupported ESC sequence or driver revision
    TV_E_CONV_ABORT = 0xF21F,      // aborted by an ABORT or SHUTDOWN packet
    TV_E_CONV_BADCHAR = 0xF220,    // invalid character in the stream
    TV_E_CONV_LANDSCAPE = 0xF222,  // landscape command not allowed here
    TV_E_CONV_LANDMEM = 0xF223,    // no memory for the landscape buffer
};

// Signed spellings of the shared library's result codes.
enum : int {
    TV_R_IO = -4084,            // 0xF00C
    TV_R_NOINI = -4072,         // 0xF018
    TV_R_UNKNOWN_FORMAT = -4057, // 0xF027
    TV_R_RESOLUTION = -4056,    // 0xF028
    // Fax page file profile checks (Windows tree and native alike).
    TV_R_TIFF_FILLORDER = -4062,   // fill order is not 2
    TV_R_TIFF_RESTYPE = -4063,     // a resolution is not RATIONAL
    TV_R_TIFF_RESUNIT = -4064,     // resolution unit is not inch
    TV_R_TIFF_STRIPS = -4065,      // not one strip, or rows per strip below the length
    TV_R_TIFF_COMPRESSION = -4066, // not one-dimensional T.4
    TV_R_TIFF_MOTOROLA = -4067,    // byte order "MM"
    TV_R_TIFF_VERSION = -4068,     // not a TIFF header
};

static_assert(TvNeg(TV_E_IO) == TV_R_IO, "signed and unsigned spellings agree");
static_assert(TvNeg(TV_E_NOINI) == TV_R_NOINI, "signed and unsigned spellings agree");
static_assert(TvNeg(TV_E_UNKNOWN_FORMAT) == TV_R_UNKNOWN_FORMAT, "signed and unsigned spellings agree");
static_assert(TvNeg(TV_E_RESOLUTION) == TV_R_RESOLUTION, "signed and unsigned spellings agree");

#endif
