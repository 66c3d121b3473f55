// Control-file types, the header check, message status codes, device type
// labels, a sequential field reader and the 7-bit character tests.
#ifndef TAVRINE_CLIENT_STORE_CTLTYPES_H
#define TAVRINE_CLIENT_STORE_CTLTYPES_H

#include <cstdio>

// The "Type:" values of the header paragraph, numbered in table order.
enum ControlFileType {
    TV_CTL_INVALID = 0,
    TV_CTL_LIBDIR = 1,
    TV_CTL_REQUEST,
    TV_CTL_ADDRBOOK,
    TV_CTL_QUEUESTATUS,
    TV_CTL_SENDDIR,
    TV_CTL_SENDCONTROL,
    TV_CTL_SCANCONTROL,
    TV_CTL_CONVERTCONTROL,
    TV_CTL_RECEIVEDIR,
    TV_CTL_RECEIVECONTROL,
    TV_CTL_DOCDIR,
    TV_CTL_USERPROFILE,
    TV_CTL_SYSTEMINIT,
    TV_CTL_LOG,
    TV_CTL_USERLIST,
    TV_CTL_ROUTING,
    TV_CTL_ADBINDEX,
    TV_CTL_TYPE_COUNT = TV_CTL_ADBINDEX
};

// The name of a type (1-17), null for any other number.
const char* ControlFileTypeName(int type);

// Reads the "[TAVRINE]" header from the stream's position. The type number
// 1-17, or 0 when the header is missing or wrong; with report set a failure
// shows the information-file box (not for an invalid Type: word) and writes
// an error-log line under "CheckControlFile". The stream stays open.
int CheckControlFile(FILE* f, const char* fileName, int report);

// Status numbers of the two-letter codes; each is also the id of its text.
enum : int {
    TV_STATUS_UNKNOWN = 100,
    TV_STATUS_SUBMITTED = 101,
    TV_STATUS_ADDING = 102,
    TV_STATUS_HELD = 103,
    TV_STATUS_WAITING = 104,
    TV_STATUS_QUEUED = 105,
    TV_STATUS_PREPARING = 106,
    TV_STATUS_SENDING = 107,
    TV_STATUS_ONLINE = 108,
    TV_STATUS_SCANNING = 109,
    TV_STATUS_ABORTING = 110,
    TV_STATUS_RECEIVING = 111,
    TV_STATUS_FAILED = 112,
    TV_STATUS_OK = 113,
    TV_STATUS_READY = 114,
    TV_STATUS_CONVERT_Q = 115,
    TV_STATUS_DEVICE_Q = 116,
};

// The first two characters of text against the codes; 100 when none agrees.
int MessageStatusNumber(const char* text);

// Whether the first two characters of text are code (any case).
bool SameStatusCode(const char* text, const char* code);

// String id of the short label of a device type code (150 "Route?" for
// codes without one).
int DeviceTypeStringId(int deviceType);

// Takes the next entry line of the current paragraph when it begins with key;
// copies its value (white space skipped) into out. 1 found; 0 with the
// stream where it was.
int GetFieldValue(FILE* f, const char* key, char* out, int outSize);

// The C library's classes for 0-127, false above, whatever the code page.
int IsAsciiDigit(int c);
int IsAsciiAlnum(int c);
int IsAsciiSpace(int c);

// ASCII case-insensitive comparison of whole texts, and over n characters.
int AsciiCompareNoCase(const char* a, const char* b);
int AsciiCompareNoCaseN(const char* a, const char* b, size_t n);
// Upper-cases a text in place (ASCII letters only).
void AsciiUpper(char* s);

#endif
