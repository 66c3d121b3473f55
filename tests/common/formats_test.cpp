// Message format, device type and imaging-library table lookups.
#include "common/formats.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

std::string Str(const char *s) { return s ? s : "(null)"; }

TEST(Formats, CodesAndNames)
{
    struct Case { int16_t code; const char *longName; const char *shortName; };
    const Case cases[] = {
        {0, "invalid", "???"},   {1, "BINARY", "BIN"},        {4, "MH", "MH"},
        {5, "TIFF-NORMAL", "G3N"}, {6, "TIFF-FINE", "G3F"},   {7, "TIFF-SUPERFINE", "G3S"},
        {11, "CONTROL", "CTL"},  {50, "TIFF-UNCOMPRESSED", "TIF"}, {53, "TARGA", "TRG"},
        {58, "TIFF-G3-FAX", "TIF"}, {62, "BMP-COMPRESSED", "BMP"}, {65, "PICT", "PCT"},
        {67, "TIFF-2D", "TIF"},
        // Codes without a row.
        {12, nullptr, nullptr}, {49, nullptr, nullptr}, {68, nullptr, nullptr},
        {-1, nullptr, nullptr}, {100, nullptr, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(Str(FormatLongName(c.code)), Str(c.longName));
        EXPECT_EQ(Str(FormatName(c.code)), Str(c.shortName));
    }

    // The rows are exactly 0-11 and 50-67, every long name is unique and
    // finds its own code again.
    std::set<int> codes;
    for (size_t i = 0; i < kFormatCount; ++i) {
        const FormatRow &row = kFormatTable[i];
        codes.insert(row.code);
        EXPECT_EQ(FormatFromName(row.longName), row.code) << row.longName;
        EXPECT_LE(strlen(row.shortName), 3u) << row.longName;
    }
    std::set<int> expected;
    for (int c = 0; c <= 11; ++c) expected.insert(c);
    for (int c = 50; c <= 67; ++c) expected.insert(c);
    EXPECT_EQ(codes, expected);

    // "TIF" stands for seven codes.
    for (int16_t c : {50, 57, 58, 59, 60, 66, 67}) EXPECT_EQ(Str(FormatName(c)), "TIF") << c;
}

TEST(Formats, FromNameComparesWholeNameIgnoringCase)
{
    struct Case { const char *name; int16_t code; };
    const Case cases[] = {
        {"tiff-fine", 6}, {"TIFF-FINE", 6}, {"Tiff-G3-Fax", 58}, {"postscript", 3},
        {"TIFF FINE", 0},       // blank in place of the hyphen
        {"TIFF-FIN", 0},        // a prefix is not a match
        {"TIFF-FINEX", 0},      // nor is a longer word
        {" TIFF-FINE", 0}, {"", 0}, {nullptr, 0}, {"INVALID", 0},
    };
    for (const Case &c : cases) EXPECT_EQ(FormatFromName(c.name), c.code) << Str(c.name);
}

TEST(Formats, FromShortNameTakesFirstRow)
{
    struct Case { const char *name; int16_t code; };
    const Case cases[] = {
        {"BIN", 1}, {"TXT", 2}, {"POS", 3}, {"MH", 4}, {"G3N", 5}, {"g3f", 6}, {"G3S", 7},
        {"EPN", 8}, {"HP1", 9}, {"hp3", 10}, {"CTL", 11}, {"PCX", 52}, {"JPG", 63},
        {"tif", 50},            // first of seven
        {"BMP", 51},            // first of two
        {"XYZ", 0}, {"TIFF", 0}, {"G3", 0}, {".G3F", 0}, {"", 0}, {nullptr, 0},
    };
    for (const Case &c : cases) EXPECT_EQ(FormatFromShortName(c.name), c.code) << Str(c.name);
}

TEST(DeviceTypes, TableOrderAndAttributeWords)
{
    const int16_t order[] = {100, 101, 102, 103, 104, 105, 106, 0, 1, 2, 3, 4, 5, 6, 7, 8,
                             10, 11, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 31, 30};
    ASSERT_EQ(kDeviceTypeCount, sizeof order / sizeof order[0]);
    for (size_t i = 0; i < kDeviceTypeCount; ++i) EXPECT_EQ(kDeviceTypeTable[i].code, order[i]) << i;

    struct Case { int16_t code; const char *name; const char *description; uint32_t attributes; };
    const Case cases[] = {
        {100, "FAX-ANY", "Fax", 0x20000},
        {104, "PS-PRINTER-ANY", "Postscript printer", 0x40000},
        {105, "LAN-ANY", "LAN", 0x400000},
        {106, "PREVIEW-ANY", "Preview", 0x800000},
        {0, "none", "none", 0x10000},
        {1, "BINARY", "File transfer", 0x200001},
        {2, "FAX", "Fax", 0x20005},
        {4, "FAX-SFINE", "Fax s/fine", 0x20007},
        {5, "HQFAX", "HQ-fax", 0x20008},
        {6, "FAX-ASCII", "ASCII fax", 0x20002},
        {7, "EMAIL", "Email", 0x80002},
        {8, "PS-PRINTER", "Postscript printer", 0x40003},
        {10, "HP-PRINTER-DRAFT", "Laserjet 100 dpi", 0x40009},
        {11, "HP-PRINTER", "Laserjet 300 dpi", 0x4000A},
        {15, "SCAN-SUPERFINE", "Scan s/fine", 0x100007},
        {17, "FAX-PRINTER-FINE", "Fax print fine", 0x40006},
        {20, "LAN-FINE", "LAN fine", 0x400006},
        {24, "PREVIEW-SUPERFINE", "Preview s/fine", 0x800007},
        {31, "DIAL-INTERNAL", "Internal numbers", 0x10000},
        {30, "FAX-INCOMING", "Incoming faxes", 0x10000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.code);
        const DeviceTypeRow *row = FindDeviceType(c.code);
        ASSERT_NE(row, nullptr);
        EXPECT_STREQ(row->name, c.name);
        EXPECT_STREQ(row->description, c.description);
        EXPECT_EQ(row->attributes, c.attributes);
        EXPECT_EQ(Str(DeviceTypeName(c.code)), c.name);
    }

    // Every attribute word holds exactly one class bit and a known format.
    for (size_t i = 0; i < kDeviceTypeCount; ++i) {
        const DeviceTypeRow &row = kDeviceTypeTable[i];
        uint32_t cls = DeviceClassOf(row);
        EXPECT_TRUE(cls != 0 && (cls & (cls - 1)) == 0 && cls <= DEVCLASS_PREVIEW) << row.name;
        EXPECT_NE(FormatLongName(DeviceFormatOf(row)), nullptr) << row.name;
    }
    EXPECT_EQ(DeviceFormatOf(*FindDeviceType(DEV_FAX_FINE)), FMT_TIFF_FINE);
    EXPECT_EQ(DeviceClassOf(*FindDeviceType(DEV_SCAN)), DEVCLASS_SCANNER);
}

TEST(DeviceTypes, Lookups)
{
    // Codes 9 and 12 have no row; "none" has one but does not count as a type.
    struct Case { int16_t code; int isType; const char *name; };
    const Case cases[] = {
        {0, 0, "none"}, {1, 1, "BINARY"}, {8, 1, "PS-PRINTER"}, {9, 0, nullptr}, {12, 0, nullptr},
        {25, 0, nullptr}, {30, 1, "FAX-INCOMING"}, {31, 1, "DIAL-INTERNAL"}, {100, 1, "FAX-ANY"},
        {106, 1, "PREVIEW-ANY"}, {107, 0, nullptr}, {-1, 0, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(IsDeviceType(c.code), c.isType);
        EXPECT_EQ(Str(DeviceTypeName(c.code)), Str(c.name));
        EXPECT_EQ(FindDeviceType(c.code) != nullptr, c.name != nullptr);
    }

    struct NameCase { const char *name; int16_t code; };
    const NameCase names[] = {
        {"DIAL-INTERNAL", 31}, {"fax-incoming", 30}, {"Fax-Any", 100}, {"FAX", 2},
        {"fax-printer-sfine", 18}, {"NONE", 0}, {"FAX-", 0}, {"FAX ANY", 0}, {"FAXES", 0},
        {"", 0}, {nullptr, 0},
    };
    for (const NameCase &c : names) EXPECT_EQ(DeviceTypeFromName(c.name), c.code) << Str(c.name);
    for (size_t i = 0; i < kDeviceTypeCount; ++i) {
        EXPECT_EQ(DeviceTypeFromName(kDeviceTypeTable[i].name), kDeviceTypeTable[i].code);
    }
}

TEST(Conversions, ValuesAndGaps)
{
    struct Case { int16_t format; int32_t value; };
    const Case cases[] = {
        {50, 0x28}, {51, 0x2}, {52, 0x1F}, {53, 0x27}, {57, 0x20028}, {58, 0x30028},
        {60, 0x40028}, {61, 0x8}, {62, 0x70002}, {63, 0x15}, {64, 0xA}, {65, 0x1E},
        {66, 0x10028}, {5, 0x30028}, {6, 0x30028}, {7, 0x30028},
        // No row.
        {0, -1}, {1, -1}, {4, -1}, {54, -1}, {55, -1}, {56, -1}, {59, -1}, {67, -1}, {12, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(ConversionOf(c.format), c.value);
        EXPECT_EQ(IsConvertibleFormat(c.format), c.value != -1 ? 1 : 0);
    }
    EXPECT_EQ(kConversionCount, 16u);
}

} // namespace
