// File format detection: fax page files, ESC/P printer streams, PostScript
// and plain text, told apart by their first bytes.
#include "common/fmtdetect.h"

#include <cstring>

#include "common/faxtiff.h"
#include "common/formats.h"
#include "common/status.h"

namespace {

const int ESC = 27;

// Parameter bytes of each ESC/P command, indexed by the command character;
// -1 for a command that is not accepted. "&", "*", "K", "L", "Y", "Z", "^",
// "B", "C", "D", "b" and 127 carry data of their own length and are handled
// before the table is looked at.
const int8_t kEscParamBytes[128] = {
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,  0,  0,  //   0- 15
    -1, -1, -1, -1, -1, -1, -1, -1, -1,  1, -1, -1, -1, -1, -1, -1,  //  16- 31
     1,  1, -1,  0,  2,  1, -1, -1,  6, -1, -1,  1, -1,  1, -1,  1,  //  32- 47  !"#$%&'()*+,-./
     0,  0,  0,  1,  0,  0,  0,  0,  0,  0,  3, -1,  0,  0,  0,  2,  //  48- 63 0123456789:;<=>?
     0,  1, -1, -1, -1,  0,  0,  0,  0,  1,  1, -1, -1,  0,  1,  0,  //  64- 79 @ABCDEFGHIJKLMNO
     0,  1,  1,  1,  0,  1, -1,  1, -1, -1, -1, -1,  2, -1, -1, -1,  //  80- 95 PQRSTUVWXYZ[\]^_
    -1,  1, -1, -1, -1,  2,  2,  0, -1,  1,  1,  1,  1,  1, -1, -1,  //  96-111 `abcdefghijklmno
     1,  1,  1,  1,  1, -1, -1,  1,  1, -1, -1, -1, -1, -1, -1, -1,  // 112-127 pqrstuvwxyz{|}~
};

// Bytes per column of a bit-image mode (ESC "*" m, or the fixed mode of
// "K", "L", "Y", "Z"); 0 for a mode that is not accepted.
int BitImageColumnBytes(int mode)
{
    if (mode >= 0 && mode <= 7)
        return 1;
    switch (mode) {
    case 32: case 33: case 38: case 39: case 40:
        return 3;
    default:
        return 0;
    }
}

// Skips n bytes forward. false when the seek fails (a seek past the end of
// the file succeeds; the next read then meets the end).
bool SkipBytes(FILE* stream, int32_t n)
{
    return n == 0 || std::fseek(stream, static_cast<long>(n), SEEK_CUR) == 0;
}

// Reads bytes up to and including a zero byte; false at end of data.
bool SkipToZero(FILE* stream)
{
    for (;;) {
        int c = std::fgetc(stream);
        if (c == EOF)
            return false;
        if (c == 0)
            return true;
    }
}

// ESC "&" 0 n m, then for each character n..m an attribute byte and its
// data.
int SkipDefineCharacters(FILE* stream)
{
    int zero = std::fgetc(stream);
    int first = std::fgetc(stream);
    int last = std::fgetc(stream);
    if (zero != 0 || first == EOF || last == EOF || last < first)
        return 0;
    for (int ch = first; ch <= last; ++ch) {
        int a = std::fgetc(stream);
        if (a == EOF)
            return 0;
        int32_t count = (a & 15) - ((a & 112) / 16) + 1;
        if (count < 1 || !SkipBytes(stream, count))
            return 0;
    }
    return 1;
}

// A bit-image command: the mode (read after "*" and "^", fixed for the
// others), the column count low + 256 x high, then the data.
int SkipBitImage(FILE* stream, int command)
{
    int bytesPerColumn = 0;
    switch (command) {
    case 'K': bytesPerColumn = BitImageColumnBytes(0); break;
    case 'L': bytesPerColumn = BitImageColumnBytes(1); break;
    case 'Y': bytesPerColumn = BitImageColumnBytes(2); break;
    case 'Z': bytesPerColumn = BitImageColumnBytes(3); break;
    case '*': {
        int mode = std::fgetc(stream);
        if (mode == EOF)
            return 0;
        bytesPerColumn = BitImageColumnBytes(mode);
        break;
    }
    case '^': {
        // Nine-pin graphics: a density byte of 0 or 1, two bytes per column.
        int density = std::fgetc(stream);
        if (density != 0 && density != 1)
            return 0;
        bytesPerColumn = 2;
        break;
    }
    default:
        return 0;
    }
    if (bytesPerColumn == 0)
        return 0;
    int low = std::fgetc(stream);
    int high = std::fgetc(stream);
    if (low == EOF || high == EOF)
        return 0;
    int32_t columns = low + 256 * high;
    return SkipBytes(stream, columns * bytesPerColumn) ? 1 : 0;
}

// ESC 127: two bytes, a count n, then data up to and including the n-th
// zero byte.
int SkipDeleteCommand(FILE* stream)
{
    if (std::fgetc(stream) == EOF || std::fgetc(stream) == EOF)
        return 0;
    int n = std::fgetc(stream);
    if (n == EOF)
        return 0;
    for (int i = 0; i < n; ++i)
        if (!SkipToZero(stream))
            return 0;
    return 1;
}

bool IsPrinterControl(int c)
{
    switch (c) {
    case 0: case 7: case 8: case 14: case 15:
    case 17: case 18: case 19: case 20: case 24:
        return true;
    default:
        return false;
    }
}

bool IsTextSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

int ParseEscSequence(FILE* stream)
{
    int c = std::fgetc(stream);
    if (c == EOF || c >= 128)
        return 0;
    switch (c) {
    case '&':
        return SkipDefineCharacters(stream);
    case '*': case 'K': case 'L': case 'Y': case 'Z': case '^':
        return SkipBitImage(stream, c);
    case 'B': case 'D':
        return SkipToZero(stream) ? 1 : 0;
    case 'C': {
        int n = std::fgetc(stream);
        if (n == EOF)
            return 0;
        if (n == 0 && std::fgetc(stream) == EOF)
            return 0;
        return 1;
    }
    case 'b':
        if (std::fgetc(stream) == EOF)
            return 0;
        return SkipToZero(stream) ? 1 : 0;
    case 127:
        return SkipDeleteCommand(stream);
    default:
        break;
    }
    int n = kEscParamBytes[c];
    if (n < 0)
        return 0;
    for (int i = 0; i < n; ++i)
        if (std::fgetc(stream) == EOF)
            return 0;
    return 1;
}

int ScanPrinterFile(FILE* stream, int16_t* format)
{
    if (std::fseek(stream, 0, SEEK_SET) != 0)
        return TV_R_UNKNOWN_FORMAT;
    bool printer = false;
    int chars = 0, escapes = 0;
    while (chars < DETECT_SCAN_CHARS && escapes < DETECT_SCAN_ESCAPES) {
        int c = std::fgetc(stream);
        if (c == EOF)
            break;
        ++chars;
        if (c >= 128 || (c >= 32 && c < 127))
            continue; // text, or a byte of 128 or more taken as a blank
        if (IsTextSpace(c))
            continue;
        if (IsPrinterControl(c)) {
            printer = true;
            continue;
        }
        if (c == ESC) {
            printer = true;
            ++escapes;
            if (!ParseEscSequence(stream))
                return TV_R_UNKNOWN_FORMAT;
            continue;
        }
        return TV_R_UNKNOWN_FORMAT; // another control character
    }
    if (std::ferror(stream))
        return TV_R_UNKNOWN_FORMAT;
    *format = printer ? FMT_EPSON : FMT_ASCII;
    return 0;
}

const char* NextWord(const char* text, uint16_t* length)
{
    *length = 0;
    if (!text)
        return nullptr;
    while (*text && IsTextSpace(static_cast<unsigned char>(*text)))
        ++text;
    if (!*text)
        return nullptr;
    const char* end = text;
    while (*end && !IsTextSpace(static_cast<unsigned char>(*end)))
        ++end;
    *length = static_cast<uint16_t>(end - text);
    return text;
}

int IsPostScriptText(FILE* stream)
{
    if (std::fseek(stream, 0, SEEK_SET) != 0)
        return TV_R_UNKNOWN_FORMAT;
    int defs = 0, names = 0;
    char line[DETECT_PS_LINE_CHARS + 1];
    for (int n = 0; n < DETECT_PS_LINES; ++n) {
        // A longer line goes on as the next one, as a line reader of fixed
        // size gives it.
        if (!std::fgets(line, sizeof line, stream))
            break;
        uint16_t len;
        const char* p = line;
        while ((p = NextWord(p, &len)) != nullptr) {
            if (len == 3 && std::memcmp(p, "def", 3) == 0)
                ++defs;
            if (p[0] == '/')
                ++names;
            p += len;
        }
        if (defs >= DETECT_PS_WORDS && names >= DETECT_PS_WORDS)
            return 0;
    }
    return TV_R_UNKNOWN_FORMAT;
}

int DetectFaxFile(FILE* stream, int16_t* format)
{
    if (std::fseek(stream, 0, SEEK_SET) != 0)
        return TV_R_TIFF_VERSION;
    TiffHeader header;
    if (!ReadTiffHeader(stream, &header))
        return TV_R_TIFF_VERSION;
    int rc = CheckTiffHeader(&header);
    if (rc != 0)
        return rc;
    TiffIfd ifd;
    uint16_t xres = 0, yres = 0;
    if (!ReadTiffIfd(stream, &ifd, &xres, &yres))
        return TV_R_IO;
    rc = CheckFaxIfd(&ifd);
    if (rc != 0)
        return rc;
    switch (yres) {
    case 100: *format = FMT_TIFF_NORMAL; return 0;
    case 200: *format = FMT_TIFF_FINE; return 0;
    case 400: *format = FMT_TIFF_SUPERFINE; return 0;
    default: return TV_R_RESOLUTION;
    }
}

int DetectFileFormat(FILE* stream, int16_t* format)
{
    int rc = DetectFaxFile(stream, format);
    if (rc != TV_R_TIFF_VERSION)
        return rc;
    std::clearerr(stream);
    int16_t kind = 0;
    if (ScanPrinterFile(stream, &kind) != 0)
        return TV_R_UNKNOWN_FORMAT;
    if (kind == FMT_ASCII) {
        std::clearerr(stream);
        if (IsPostScriptText(stream) == 0)
            kind = FMT_POSTSCRIPT;
    }
    *format = kind;
    return 0;
}
