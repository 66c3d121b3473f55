// Message formats, device types and the imaging library's save formats.
//
// Control files name a document's format and a message's device kind by
// words ("TIFF-FINE", "FAX-ANY"); programs keep them as small codes. The
// three constant tables here map between the two. Every lookup is a linear
// scan in table order; names compare ASCII case-insensitively over the whole
// name. The server programs link the same tables and take the format a
// device type accepts from the low word of its attribute word.
#ifndef TAVRINE_COMMON_FORMATS_H
#define TAVRINE_COMMON_FORMATS_H

#include <cstddef>
#include <cstdint>

// Message format codes (16-bit). 5-7 are the system's own fax page files;
// 50-67 are graphics files only the imaging library reads or writes.
enum : int16_t {
    FMT_INVALID = 0,
    FMT_BINARY = 1,
    FMT_ASCII = 2,
    FMT_POSTSCRIPT = 3,
    FMT_MH = 4,
    FMT_TIFF_NORMAL = 5,
    FMT_TIFF_FINE = 6,
    FMT_TIFF_SUPERFINE = 7,
    FMT_EPSON = 8,
    FMT_HP100 = 9,
    FMT_HP300 = 10,
    FMT_CONTROL = 11,
    FMT_TIFF_UNCOMPRESSED = 50,
    FMT_BMP_UNCOMPRESSED = 51,
    FMT_PCX = 52,
    FMT_TARGA = 53,
    FMT_GIF = 54,
    FMT_WPG = 55,
    FMT_WMF = 56,
    FMT_TIFF_HUFFMAN = 57,
    FMT_TIFF_G3_FAX = 58,
    FMT_TIFF_LZW = 59,
    FMT_TIFF_G4_FAX = 60,
    FMT_DCX = 61,
    FMT_BMP_COMPRESSED = 62,
    FMT_JPEG = 63,
    FMT_EPS = 64,
    FMT_PICT = 65,
    FMT_TIFF_PACK = 66,
    FMT_TIFF_2D = 67,
};

// Device type codes (16-bit) that programs test for by name. 100-106 stand
// for any device of their kind.
enum : int16_t {
    DEV_NONE = 0,
    DEV_BINARY = 1,
    DEV_FAX = 2,
    DEV_FAX_FINE = 3,
    DEV_FAX_SFINE = 4,
    DEV_HQFAX = 5,
    DEV_FAX_ASCII = 6,
    DEV_EMAIL = 7,
    DEV_PS_PRINTER = 8,
    DEV_HP_PRINTER_DRAFT = 10,
    DEV_HP_PRINTER = 11,
    DEV_SCAN = 13,
    DEV_SCAN_FINE = 14,
    DEV_SCAN_SUPERFINE = 15,
    DEV_FAX_PRINTER = 16,
    DEV_FAX_PRINTER_FINE = 17,
    DEV_FAX_PRINTER_SFINE = 18,
    DEV_LAN = 19,
    DEV_LAN_FINE = 20,
    DEV_LAN_SUPERFINE = 21,
    DEV_PREVIEW = 22,
    DEV_PREVIEW_FINE = 23,
    DEV_PREVIEW_SUPERFINE = 24,
    DEV_FAX_INCOMING = 30,
    DEV_DIAL_INTERNAL = 31,
    DEV_FAX_ANY = 100,
    DEV_PRINTER_ANY = 101,
    DEV_FAX_PRINTER_ANY = 102,
    DEV_HP_PRINTER_ANY = 103,
    DEV_PS_PRINTER_ANY = 104,
    DEV_LAN_ANY = 105,
    DEV_PREVIEW_ANY = 106,
};

// Device classes: one of these sits in the upper word of a device type's
// attribute word.
enum : uint32_t {
    DEVCLASS_INTERNAL = 0x1,
    DEVCLASS_FAX = 0x2,
    DEVCLASS_PRINTER = 0x4,
    DEVCLASS_EMAIL = 0x8,
    DEVCLASS_SCANNER = 0x10,
    DEVCLASS_FILE = 0x20,
    DEVCLASS_LAN = 0x40,
    DEVCLASS_PREVIEW = 0x80,
};

struct FormatRow {
    int16_t code;
    const char *longName;   // the word used in control files
    const char *shortName;  // three letters, also the file extension
};

struct DeviceTypeRow {
    int16_t code;
    const char *name;         // the word used in control files
    const char *description;
    uint32_t attributes;      // (class bit << 16) | format code
};

struct ConversionRow {
    int16_t format;
    int32_t value;  // low word: the library's file type; high word: its compression
};

extern const FormatRow kFormatTable[];
extern const size_t kFormatCount;
extern const DeviceTypeRow kDeviceTypeTable[];
extern const size_t kDeviceTypeCount;
extern const ConversionRow kConversionTable[];
extern const size_t kConversionCount;

// Builds an attribute word from a class bit and a format code.
constexpr uint32_t DeviceAttributes(uint32_t classBit, int16_t format)
{
    return (classBit << 16) | static_cast<uint16_t>(format);
}
// The class bits of a device type row.
inline uint32_t DeviceClassOf(const DeviceTypeRow &row) { return row.attributes >> 16; }
// The format code a device of this type takes.
inline int16_t DeviceFormatOf(const DeviceTypeRow &row)
{
    return static_cast<int16_t>(row.attributes & 0xFFFF);
}

// The long name of a format, or null when the code has no row.
const char *FormatLongName(int16_t format);
// The three-letter short name (extension) of a format, or null.
const char *FormatName(int16_t format);
// The format code of a long name; 0 (invalid) when no row matches.
int16_t FormatFromName(const char *longName);
// The format code of a short name given without its dot ("G3F"); the first
// row in table order wins, so "TIF" gives 50. 0 when no row matches.
int16_t FormatFromShortName(const char *shortName);

// The device type row of a code, or null.
const DeviceTypeRow *FindDeviceType(int16_t type);
// 1 when the code has a row, except for code 0 ("none"); else 0.
int IsDeviceType(int16_t type);
// The name of a device type, or null.
const char *DeviceTypeName(int16_t type);
// The device type code of a name; 0 ("none") when no row matches.
int16_t DeviceTypeFromName(const char *name);

// 1 when the imaging library can write the format; else 0 (always 0 for 0).
int IsConvertibleFormat(int16_t format);
// The value passed to the imaging library's save call, or -1 when none.
int32_t ConversionOf(int16_t format);

#endif
