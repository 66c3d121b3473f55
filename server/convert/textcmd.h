// Text commands and replace variables of the message converter.
//
// The command scanner sits between a document's bytes and the page
// renderer. It takes `%%[...]` commands out of the stream and puts back in
// their place either a variable's text or an EPSON escape sequence, which
// the EPSON interpreter then carries out like any other.
//
// Delivery order: pending percent signs first, then the push-back buffer,
// then the input. What stands in the push-back buffer is delivered as it is
// and never scanned for commands again, so a variable whose value holds a
// command cannot expand itself without end.
//
// Nothing here opens files: the input comes through a callback, the control
// file is a stream the conversion opened, and inserted pictures go through
// the graphics module's own search.
#ifndef TAVRINE_SERVER_CONVERT_TEXTCMD_H
#define TAVRINE_SERVER_CONVERT_TEXTCMD_H

#include <cstdint>
#include <cstdio>

#include "common/status.h"
#include "server/convert/raster.h"

enum : int {
    TEXTCMD_MAX = 98,          // characters of a command text
    TEXTCMD_VAR_MAX = 99,      // characters of a variable's text
    // Push-back buffer: the longest of a variable's text, a failed command
    // delivered as text ("%%[" + 98 + the byte that ended it) and the
    // longest ESC expansion (DOWN 2000: 20 x ESC J n = 60 bytes), with room
    // for bytes the renderer hands back.
    TEXTCMD_PUSHBACK = 128,
    APPEND_MAX = 20,           // entries of the append / attachment list
    APPEND_NAME_MAX = 12,      // characters of a graphics file name
    CONV_FIELD_SIZE = 281,     // a control file value and its NUL
};
static_assert(TEXTCMD_PUSHBACK >= TEXTCMD_VAR_MAX + 1, "a variable's text fits the push-back buffer");
static_assert(TEXTCMD_PUSHBACK >= 3 + TEXTCMD_MAX + 2, "a failed command fits the push-back buffer");
static_assert(TEXTCMD_PUSHBACK >= 60 + 1, "the longest ESC expansion fits the push-back buffer");

// Graphics files to append after the documents: the `APPEND` command's and
// the control file's `Attach:` names share it.
struct AppendList {
    int count;
    char names[APPEND_MAX][APPEND_NAME_MAX + 1];
};

// Adds a name (upper-cased). 1 added; 0 and a log line when the name's
// length is not 1..12 ("Invalid Append file name") or the list is full
// ("Too many Append files"). kind names the list in the messages ("Append"
// or "Attach").
int AppendListAdd(AppendList *list, const char *name, const char *kind);

// What a conversion knows that the variables print. Filled by the
// conversion before its first page; the page fields are kept up to date by
// it while it renders.
struct ConvDetails {
    char accepted[CONV_FIELD_SIZE];   // [MESSAGE] Accepted: text
    char from[CONV_FIELD_SIZE];
    char fromTelephone[CONV_FIELD_SIZE];
    char fromFax[CONV_FIELD_SIZE];
    char fromEmail[CONV_FIELD_SIZE];
    char fromParam[CONV_FIELD_SIZE];
    char longPicture[CONV_FIELD_SIZE];  // empty: the built-in "7th March 1999" form
    char shortPicture[CONV_FIELD_SIZE]; // empty: the locale's short picture
    int hasMsgId;
    uint32_t msgId;
    int addressee;              // addressee number (0: none)
    // Page count: the highest of the known total, the pages written and the
    // current page (counted from 1).
    int knownTotal;             // T of the conversion record
    int pagesWritten;
    int currentPage;            // page index being rendered (0-based)
    // Where PAGES was printed last (and before that); pages -1 when never.
    int markPage, markCount;
    int prevMarkPage, prevMarkCount;
};

// The scanner's state for one document.
struct TextScanner {
    // Input: the next byte, or -1 at the end.
    void *inCtx;
    int (*readByte)(void *ctx);
    int inputEnded;             // byte 26 or the end was read

    unsigned char pushBack[TEXTCMD_PUSHBACK];
    int pbPos, pbLen;           // unread bytes are [pbPos, pbLen)
    uint32_t pendingPercent;

    FILE *control;              // the message's control file (may be null)
    ConvDetails *details;       // may be null: the variables print nothing
    AppendList *appendList;     // may be null: APPEND is ignored

    // Covertext cursor: 0 before the first use, 1 while lines are left
    // (position behind the last one used), 2 when they are used up.
    int coverState;
    int32_t coverPos;
    // Addressee cursor: the number whose Shortname: line was found last and
    // the position of the line behind it.
    int addrFound;
    int32_t addrPos;
};

// Log lines go through a hook (levels as the server log's).
void TextCmdSetLogHook(RasterLogFn fn);

// Sets a scanner up for a new document; the details, control file and list
// stay the caller's.
void TextScannerInit(TextScanner *s, void *inCtx, int (*readByte)(void *ctx), FILE *control,
                     ConvDetails *details, AppendList *appendList);

// Resets the page-count marks and cursors of a conversion's details.
void ConvDetailsInit(ConvDetails *d);

// The next byte for the renderer, commands carried out; -1 at the end.
int ScanTextEscape(TextScanner *s);
// The next byte without command scanning (pending percent signs, then the
// push-back buffer, then the input): what the EPSON interpreter reads its
// parameters with. -1 at the end.
int GetNextChar(TextScanner *s);
// Hands a byte back so that it is delivered next.
void TextUnget(TextScanner *s, int c);

// Carries out one command text (what stands between "%%[" and "]"); its
// result goes into the push-back buffer.
void ProcessEscape(TextScanner *s, const char *text);

// Layout command kinds of ProcessVarEscape.
enum : int {
    TCMD_DOWN = 1,
    TCMD_RIGHT,
    TCMD_XPOS,
    TCMD_XPOSR,
    TCMD_LMARGIN,
    TCMD_FONT,
    TCMD_UNDERLINE,
    TCMD_BOLD,
};
// Turns a layout command into EPSON bytes (at most out size); the count,
// 0 when the value is refused (out of range, not a number, not a word of
// the table).
int ProcessVarEscape(int kind, const char *value, unsigned char *out, int size);

// The text of a variable, cut to 99 characters; side effects as the
// variable has (landscape, addressee-specific page, page-count marks).
// Empty for an unknown or invalid name.
void ReplaceVariable(TextScanner *s, const char *name, char *out, int size);

// Pictures inserted by the INSERT command go through this hook (the
// graphics module's InsertGraphicsFile by default); 0 or a page error.
typedef TvStatus (*InsertFileFn)(const char *name);
void TextCmdSetInsertHook(InsertFileFn fn);

#endif
