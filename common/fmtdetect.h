// File format detection.
//
// When a user imports a file into a message, its format is told from its
// contents: one of the system's own fax page files (5 TIFF-NORMAL, 6
// TIFF-FINE, 7 TIFF-SUPERFINE by vertical resolution), a dot-matrix printer
// stream in the ESC/P command language (8 EPSON), PostScript (3) or plain
// text (2). Anything else is an unknown format (TV_R_UNKNOWN_FORMAT).
//
// All functions read a binary stream opened by the caller; the position is
// left wherever detection stopped. Results are 0 or a negative code of
// status.h. Nothing here needs Windows.
#ifndef TAVRINE_COMMON_FMTDETECT_H
#define TAVRINE_COMMON_FMTDETECT_H

#include <cstdint>
#include <cstdio>

enum : int {
    DETECT_SCAN_CHARS = 101,     // characters ScanPrinterFile looks at
    DETECT_SCAN_ESCAPES = 21,    // escape sequences after which it stops
    DETECT_PS_LINES = 15,        // lines IsPostScriptText looks at
    DETECT_PS_LINE_CHARS = 120,  // characters kept of each such line
    DETECT_PS_WORDS = 3,         // "def" words and "/" words needed each
};

// In this order: a fax file of the profile (any DetectFaxFile result other
// than "not TIFF" is final), a printer stream, plain text that may be
// PostScript. 0 and *format, or a code: a TIFF file that does not fit the
// profile gives its check code (-4062 .. -4067, TV_R_IO), a fax file of
// another resolution TV_R_RESOLUTION, anything else TV_R_UNKNOWN_FORMAT.
int DetectFileFormat(FILE* stream, int16_t* format);

// 0 and 5, 6 or 7; TV_R_TIFF_VERSION when the file is not TIFF at all; the
// header or page checks' code for a TIFF file outside the profile;
// TV_R_RESOLUTION for a vertical resolution other than 100, 200 or 400.
int DetectFaxFile(FILE* stream, int16_t* format);

// Looks at the first DETECT_SCAN_CHARS characters (stopping after the 21st
// escape sequence): printer control characters or valid escape sequences
// make it 8, text alone 2. 0 and the format, or TV_R_UNKNOWN_FORMAT for a
// control character of neither kind, an invalid escape sequence or a read
// error.
int ScanPrinterFile(FILE* stream, int16_t* format);

// Passes over one ESC/P command; the stream stands just behind the ESC.
// 1 when a valid command was passed over, 0 when not (including the data
// ending inside it).
int ParseEscSequence(FILE* stream);

// 0 when the first DETECT_PS_LINES lines hold at least three words "def"
// and three words beginning with "/"; else TV_R_UNKNOWN_FORMAT.
int IsPostScriptText(FILE* stream);

// The next word of text (blanks, tabs and line ends skipped; the word runs
// to the next of them) and its length, or nullptr when no word is left.
const char* NextWord(const char* text, uint16_t* length);

#endif
