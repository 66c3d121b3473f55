// Conversion of a message: the documents of one queued message (text,
// EPSON streams, fax TIFF files), its coversheet, letterhead and
// attachments become the TIFF fax page files a device controller sends to
// one addressee, in one of the three fax resolutions.
//
// Files, under <user area><user>\T-OUT\:
//   <msg>.CTL               control file (read)
//   <msg>.CVT               conversion record (appended; must exist)
//   <msg>.<src>, <msg>.001  documents (further ones stop at the first gap)
//   <fmt>\<msg>.Pnn         intermediate page nn (page index mod 100)
//   <fmt>\<msg>.<nnn>       addressee file: pages 0..A-1
//   <fmt>\<msg>.<fmt>       common file: pages A..T-1, once per format
// The conversion record holds one paragraph per format converted,
// "[G3F]" then "Pages: A/T" with three digits each.
//
// Nothing here needs Windows; the service (msgconv.cpp) hands in its packet
// reader as the poll hook.
#ifndef TAVRINE_SERVER_CONVERT_CONVMSG_H
#define TAVRINE_SERVER_CONVERT_CONVMSG_H

#include <cstdint>
#include <cstdio>

#include "common/status.h"

enum : int {
    CONV_MAX_ARGS = 20,         // entries of an argument vector, entry 0 included
    CONV_ARG_MAX = 80,          // characters of one entry
    CONV_MIN_ARGS = 6,
    CONV_NAME_MAX = 8,          // user and message names
    CONV_FMT_MAX = 3,
    CONV_LAST_PAGE = 98,        // highest page index of a message
    CONV_COVER_NAME_MAX = 12,
    CONV_PATH_MAX = 300,
};

// Settings of the converter read from SETUP.INI ([OPTIONS] date pictures
// and the [ZOROVIZ] paragraph). The raster's own settings (margins,
// ExtendedChars, DOSPound, EpsonRHMargin) live in g_rasterSettings.
struct ConvSettings {
    char longPicture[281];      // empty: the built-in long form
    char shortPicture[281];     // empty: the locale's short picture
    int delayInterval;          // ms of work between pauses
    int delayTime;              // ms of each pause; 0: no pause
    int removeDither;
};
extern ConvSettings g_convSettings;

// Resets g_convSettings and g_rasterSettings to their defaults.
void ConvDefaultSettings(void);

// Destination formats: name, resolution code (1, 2, 4) and lines per inch.
struct ConvFormat {
    const char *name;
    int resCode;
    int lpi;
};
// The row of a destination name (any case), or null.
const ConvFormat *FindDestFormat(const char *name);

// The packet reader of the service, called between pages and every few
// rows; it returns non-zero when the running conversion is to stop (ABORT
// or SHUTDOWN received). Null: never.
void ConvSetPollHook(int (*poll)(void));

// Runs one conversion from an argument vector (entry 0 the program ID;
// user, message, source format, destination format, addressee number,
// optional hexadecimal message ID). Entry 1 "*" renders a page header
// file instead (RenderTopLine). Logs the start and the outcome.
TvStatus RunConversion(int argc, char **argv);

// One conversion with checked arguments (names upper-cased).
struct ConvJob {
    char user[CONV_NAME_MAX + 1];
    char message[CONV_NAME_MAX + 1];
    char source[CONV_FMT_MAX + 1];
    char dest[CONV_FMT_MAX + 1];
    int addressee;
    int hasMsgId;
    uint32_t msgId;
};
TvStatus ConvertMessage(const ConvJob *job);

// Page header mode: <server area>T-TEMP\<msg>.EPN, an EPSON stream of
// header lines one per page (form feed between), becomes the TIFF file
// <server area>T-TEMP\<msg>.<fmt> with one line-high page per line.
TvStatus RenderTopLine(const char *message, const char *format);

// Reads the conversion record's paragraph of a destination format (the
// last one when there are several): *found when it has a Pages: line; 1
// when that line parses, with A and T.
int ReadCvtPages(FILE *cvt, const char *format, int *found, int *addressee, int *total);

// Parses a Pages: value: one to three digits, "/", one to three digits.
// 1 with A and T, else 0.
int ParseCvtPages(const char *value, int *addressee, int *total);

// The path separator of the areas (a backslash on Windows).
char ConvPathSeparator(void);

#endif
