// Message format, device type and imaging-library tables and their lookups.
#include "common/formats.h"

const FormatRow kFormatTable[] = {
    {FMT_INVALID, "invalid", "???"},
    {FMT_BINARY, "BINARY", "BIN"},
    {FMT_ASCII, "ASCII", "TXT"},
    {FMT_POSTSCRIPT, "POSTSCRIPT", "POS"},
    {FMT_MH, "MH", "MH"},
    {FMT_TIFF_NORMAL, "TIFF-NORMAL", "G3N"},
    {FMT_TIFF_FINE, "TIFF-FINE", "G3F"},
    {FMT_TIFF_SUPERFINE, "TIFF-SUPERFINE", "G3S"},
    {FMT_EPSON, "EPSON", "EPN"},
    {FMT_HP100, "HP-100", "HP1"},
    {FMT_HP300, "HP-300", "HP3"},
    {FMT_CONTROL, "CONTROL", "CTL"},
    {FMT_TIFF_UNCOMPRESSED, "TIFF-UNCOMPRESSED", "TIF"},
    {FMT_BMP_UNCOMPRESSED, "BMP-UNCOMPRESSED", "BMP"},
    {FMT_PCX, "PCX", "PCX"},
    {FMT_TARGA, "TARGA", "TRG"},
    {FMT_GIF, "GIF", "GIF"},
    {FMT_WPG, "WPG", "WPG"},
    {FMT_WMF, "WMF", "WMF"},
    {FMT_TIFF_HUFFMAN, "TIFF-HUFFMAN", "TIF"},
    {FMT_TIFF_G3_FAX, "TIFF-G3-FAX", "TIF"},
    {FMT_TIFF_LZW, "TIFF-LZW", "TIF"},
    {FMT_TIFF_G4_FAX, "TIFF-G4-FAX", "TIF"},
    {FMT_DCX, "DCX", "DCX"},
    {FMT_BMP_COMPRESSED, "BMP-COMPRESSED", "BMP"},
    {FMT_JPEG, "JPEG", "JPG"},
    {FMT_EPS, "EPS", "EPS"},
    {FMT_PICT, "PICT", "PCT"},
    {FMT_TIFF_PACK, "TIFF-PACK", "TIF"},
    {FMT_TIFF_2D, "TIFF-2D", "TIF"},
};
const size_t kFormatCount = sizeof kFormatTable / sizeof kFormatTable[0];
static_assert(sizeof kFormatTable / sizeof kFormatTable[0] == 30, "format table rows");

// Lookups scan in this order: the "any" kinds first, and 31 before 30.
const DeviceTypeRow kDeviceTypeTable[] = {
    {DEV_FAX_ANY, "FAX-ANY", "Fax", DeviceAttributes(DEVCLASS_FAX, 0)},
    {DEV_PRINTER_ANY, "PRINTER-ANY", "Printer", DeviceAttributes(DEVCLASS_PRINTER, 0)},
    {DEV_FAX_PRINTER_ANY, "FAX-PRINTER-ANY", "Fax printer", DeviceAttributes(DEVCLASS_PRINTER, 0)},
    {DEV_HP_PRINTER_ANY, "HP-PRINTER-ANY", "Laserjet printer", DeviceAttributes(DEVCLASS_PRINTER, 0)},
    {DEV_PS_PRINTER_ANY, "PS-PRINTER-ANY", "Postscript printer", DeviceAttributes(DEVCLASS_PRINTER, 0)},
    {DEV_LAN_ANY, "LAN-ANY", "LAN", DeviceAttributes(DEVCLASS_LAN, 0)},
    {DEV_PREVIEW_ANY, "PREVIEW-ANY", "Preview", DeviceAttributes(DEVCLASS_PREVIEW, 0)},
    {DEV_NONE, "none", "none", DeviceAttributes(DEVCLASS_INTERNAL, 0)},
    {DEV_BINARY, "BINARY", "File transfer", DeviceAttributes(DEVCLASS_FILE, FMT_BINARY)},
    {DEV_FAX, "FAX", "Fax", DeviceAttributes(DEVCLASS_FAX, FMT_TIFF_NORMAL)},
    {DEV_FAX_FINE, "FAX-FINE", "Fax fine", DeviceAttributes(DEVCLASS_FAX, FMT_TIFF_FINE)},
    {DEV_FAX_SFINE, "FAX-SFINE", "Fax s/fine", DeviceAttributes(DEVCLASS_FAX, FMT_TIFF_SUPERFINE)},
    {DEV_HQFAX, "HQFAX", "HQ-fax", DeviceAttributes(DEVCLASS_FAX, FMT_EPSON)},
    {DEV_FAX_ASCII, "FAX-ASCII", "ASCII fax", DeviceAttributes(DEVCLASS_FAX, FMT_ASCII)},
    {DEV_EMAIL, "EMAIL", "Email", DeviceAttributes(DEVCLASS_EMAIL, FMT_ASCII)},
    {DEV_PS_PRINTER, "PS-PRINTER", "Postscript printer", DeviceAttributes(DEVCLASS_PRINTER, FMT_POSTSCRIPT)},
    {DEV_HP_PRINTER_DRAFT, "HP-PRINTER-DRAFT", "Laserjet 100 dpi", DeviceAttributes(DEVCLASS_PRINTER, FMT_HP100)},
    {DEV_HP_PRINTER, "HP-PRINTER", "Laserjet 300 dpi", DeviceAttributes(DEVCLASS_PRINTER, FMT_HP300)},
    {DEV_SCAN, "SCAN", "Scan", DeviceAttributes(DEVCLASS_SCANNER, FMT_TIFF_NORMAL)},
    {DEV_SCAN_FINE, "SCAN-FINE", "Scan fine", DeviceAttributes(DEVCLASS_SCANNER, FMT_TIFF_FINE)},
    {DEV_SCAN_SUPERFINE, "SCAN-SUPERFINE", "Scan s/fine", DeviceAttributes(DEVCLASS_SCANNER, FMT_TIFF_SUPERFINE)},
    {DEV_FAX_PRINTER, "FAX-PRINTER", "Fax print", DeviceAttributes(DEVCLASS_PRINTER, FMT_TIFF_NORMAL)},
    {DEV_FAX_PRINTER_FINE, "FAX-PRINTER-FINE", "Fax print fine", DeviceAttributes(DEVCLASS_PRINTER, FMT_TIFF_FINE)},
    {DEV_FAX_PRINTER_SFINE, "FAX-PRINTER-SFINE", "Fax print s/fine", DeviceAttributes(DEVCLASS_PRINTER, FMT_TIFF_SUPERFINE)},
    {DEV_LAN, "LAN", "LAN", DeviceAttributes(DEVCLASS_LAN, FMT_TIFF_NORMAL)},
    {DEV_LAN_FINE, "LAN-FINE", "LAN fine", DeviceAttributes(DEVCLASS_LAN, FMT_TIFF_FINE)},
    {DEV_LAN_SUPERFINE, "LAN-SUPERFINE", "LAN s/fine", DeviceAttributes(DEVCLASS_LAN, FMT_TIFF_SUPERFINE)},
    {DEV_PREVIEW, "PREVIEW", "Preview", DeviceAttributes(DEVCLASS_PREVIEW, FMT_TIFF_NORMAL)},
    {DEV_PREVIEW_FINE, "PREVIEW-FINE", "Preview fine", DeviceAttributes(DEVCLASS_PREVIEW, FMT_TIFF_FINE)},
    {DEV_PREVIEW_SUPERFINE, "PREVIEW-SUPERFINE", "Preview s/fine", DeviceAttributes(DEVCLASS_PREVIEW, FMT_TIFF_SUPERFINE)},
    {DEV_DIAL_INTERNAL, "DIAL-INTERNAL", "Internal numbers", DeviceAttributes(DEVCLASS_INTERNAL, 0)},
    {DEV_FAX_INCOMING, "FAX-INCOMING", "Incoming faxes", DeviceAttributes(DEVCLASS_INTERNAL, 0)},
};
const size_t kDeviceTypeCount = sizeof kDeviceTypeTable / sizeof kDeviceTypeTable[0];
static_assert(sizeof kDeviceTypeTable / sizeof kDeviceTypeTable[0] == 32, "device type table rows");

// The fax formats 5-7 are saved as the library's T.4 one-dimensional TIFF,
// the same value as 58.
const ConversionRow kConversionTable[] = {
    {FMT_TIFF_UNCOMPRESSED, 0x28},
    {FMT_BMP_UNCOMPRESSED, 0x2},
    {FMT_PCX, 0x1F},
    {FMT_TARGA, 0x27},
    {FMT_TIFF_HUFFMAN, 0x20028},
    {FMT_TIFF_G3_FAX, 0x30028},
    {FMT_TIFF_G4_FAX, 0x40028},
    {FMT_DCX, 0x8},
    {FMT_BMP_COMPRESSED, 0x70002},
    {FMT_JPEG, 0x15},
    {FMT_EPS, 0xA},
    {FMT_PICT, 0x1E},
    {FMT_TIFF_PACK, 0x10028},
    {FMT_TIFF_NORMAL, 0x30028},
    {FMT_TIFF_FINE, 0x30028},
    {FMT_TIFF_SUPERFINE, 0x30028},
};
const size_t kConversionCount = sizeof kConversionTable / sizeof kConversionTable[0];
static_assert(sizeof kConversionTable / sizeof kConversionTable[0] == 16, "conversion table rows");

// Whole-name comparison with ASCII-only case folding, so results do not
// depend on the C runtime's locale.
static bool SameName(const char *a, const char *b)
{
    for (;; ++a, ++b) {
        unsigned char ca = static_cast<unsigned char>(*a);
        unsigned char cb = static_cast<unsigned char>(*b);
        if (ca >= 'a' && ca <= 'z') ca = static_cast<unsigned char>(ca - 'a' + 'A');
        if (cb >= 'a' && cb <= 'z') cb = static_cast<unsigned char>(cb - 'a' + 'A');
        if (ca != cb) return false;
        if (ca == 0) return true;
    }
}

static const FormatRow *FindFormat(int16_t format)
{
    for (size_t i = 0; i < kFormatCount; ++i) {
        if (kFormatTable[i].code == format) return &kFormatTable[i];
    }
    return nullptr;
}

const char *FormatLongName(int16_t format)
{
    const FormatRow *row = FindFormat(format);
    return row ? row->longName : nullptr;
}

const char *FormatName(int16_t format)
{
    const FormatRow *row = FindFormat(format);
    return row ? row->shortName : nullptr;
}

int16_t FormatFromName(const char *longName)
{
    if (!longName) return FMT_INVALID;
    for (size_t i = 0; i < kFormatCount; ++i) {
        if (SameName(kFormatTable[i].longName, longName)) return kFormatTable[i].code;
    }
    return FMT_INVALID;
}

int16_t FormatFromShortName(const char *shortName)
{
    if (!shortName) return FMT_INVALID;
    for (size_t i = 0; i < kFormatCount; ++i) {
        if (SameName(kFormatTable[i].shortName, shortName)) return kFormatTable[i].code;
    }
    return FMT_INVALID;
}

const DeviceTypeRow *FindDeviceType(int16_t type)
{
    for (size_t i = 0; i < kDeviceTypeCount; ++i) {
        if (kDeviceTypeTable[i].code == type) return &kDeviceTypeTable[i];
    }
    return nullptr;
}

int IsDeviceType(int16_t type)
{
    return type != DEV_NONE && FindDeviceType(type) != nullptr;
}

const char *DeviceTypeName(int16_t type)
{
    const DeviceTypeRow *row = FindDeviceType(type);
    return row ? row->name : nullptr;
}

int16_t DeviceTypeFromName(const char *name)
{
    if (!name) return DEV_NONE;
    for (size_t i = 0; i < kDeviceTypeCount; ++i) {
        if (SameName(kDeviceTypeTable[i].name, name)) return kDeviceTypeTable[i].code;
    }
    return DEV_NONE;
}

static const ConversionRow *FindConversion(int16_t format)
{
    for (size_t i = 0; i < kConversionCount; ++i) {
        if (kConversionTable[i].format == format) return &kConversionTable[i];
    }
    return nullptr;
}

int IsConvertibleFormat(int16_t format)
{
    return format != FMT_INVALID && FindConversion(format) != nullptr;
}

int32_t ConversionOf(int16_t format)
{
    const ConversionRow *row = FindConversion(format);
    return row ? row->value : -1;
}
