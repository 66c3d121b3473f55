// The operating-system calls of the shared library and the server runtime,
// behind one small interface: files, clocks, sleep, the path separator. The
// Windows backend (platform_win.cpp) is the real one; the POSIX backend
// (platform_posix.cpp) serves the native test tree only: it takes '\' in
// paths as '/', and it approximates share modes with advisory locks.
// platform.cpp holds the portable helpers built on the two.
#ifndef TAVRINE_COMMON_PLATFORM_H
#define TAVRINE_COMMON_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>

// ---------------------------------------------------------------- paths
// The system's path separator: '\' on Windows, '/' in the native tree
// (whose backend also takes '\' as '/'). Portable code builds paths with it
// and never asks which system it is on.
char TvPathSep(void);

// True for either separator, '\' or '/' (the Windows calls take both).
bool TvIsPathSep(char c);

// dir and name into out (size bytes) with one separator between them: the
// system's own, added only when dir does not already end in one; an empty
// dir gives name alone. False, and an empty out, when the result does not
// fit (or an argument is null).
bool TvJoinPath(char* out, size_t size, const char* dir, const char* name);

// ---------------------------------------------------------------- files
// How a file is opened.
enum TvAccess { TV_ACCESS_READ, TV_ACCESS_WRITE, TV_ACCESS_READWRITE };
enum TvDisposition {
    TV_OPEN_EXISTING,        // the file must exist
    TV_CREATE_ALWAYS,        // create or truncate
    TV_OPEN_ALWAYS,          // open, create if missing
    TV_CREATE_NEW,           // create, fail if it exists
};
// What other openers of the file are granted.
enum TvShare { TV_DENY_NONE, TV_DENY_WRITE, TV_DENY_ALL };

// Why an open or creation failed.
enum TvCreateResult {
    TV_CR_OK = 0,
    TV_CR_BUSY,              // held elsewhere in a conflicting share mode
    TV_CR_DENIED,            // access denied: a read-only file, a directory, or
                             // (as old systems say it) held elsewhere; callers
                             // decide whether to wait
    TV_CR_NOTFOUND,          // file or directory not found
    TV_CR_EXISTS,            // the file exists (create new)
    TV_CR_TOOMANY,           // too many open files
    TV_CR_FAILED,            // any other failure
};

// Opens path and attaches a stream with streamMode (which the caller has
// cleaned of letters the runtime would misread; "t" or "b" in it pick the
// translation, neither the runtime's default). Null and *why on failure;
// *systemError gets the system's own error number (GetLastError or errno),
// 0 when opened. why and systemError may be null. The POSIX backend takes an
// exclusive advisory lock for TV_DENY_ALL and a shared one otherwise, so a
// file held without sharing reads as TV_CR_BUSY there too.
FILE* TvPlatOpen(const char* path, TvAccess access, TvDisposition disposition, TvShare share,
                 bool append, const char* streamMode, TvCreateResult* why, int* systemError);

// An existing file opened for reading, others may read and write: what the C
// library's fopen(path, "rb") does, but with the system's paths everywhere.
FILE* TvPlatOpenRead(const char* path);

// Length of an open stream's file (after a flush), or -1.
int64_t TvPlatStreamLength(FILE* f);

enum TvTruncResult { TV_TR_OK = 0, TV_TR_NOSPACE, TV_TR_FAILED };
// Sets the length of an open stream's file (flush first).
TvTruncResult TvPlatSetStreamLength(FILE* f, int64_t length);

// Directory entry attributes (the system's own bit values).
enum : uint32_t { TV_ATTR_READONLY = 0x01, TV_ATTR_HIDDEN = 0x02, TV_ATTR_DIRECTORY = 0x10 };

// File times: 100-nanosecond ticks since 1 January 1601, universal time.
typedef int64_t TvFileTime;

struct TvDirEntry {
    char longName[260];
    char shortName[14];      // the 8.3 alias, empty when the system has none
    uint32_t attributes;
    TvFileTime lastWrite;
};

struct TvDirIter;
// Begins a search for pattern (a path whose last component may hold '*' and
// '?'); gives the first entry. Null when nothing matches or the search fails.
TvDirIter* TvPlatFindFirst(const char* pattern, TvDirEntry* entry);
// The next entry; false at the end.
bool TvPlatFindNext(TvDirIter* it, TvDirEntry* entry);
void TvPlatFindClose(TvDirIter* it);

// Last-write time of a file, opened without sharing (write access for the
// set). TV_CR_BUSY while another program holds it.
TvCreateResult TvPlatGetFileTime(const char* path, TvFileTime* lastWrite);
TvCreateResult TvPlatSetFileTime(const char* path, TvFileTime lastWrite);
// Sets the last-write time of an open stream's file through the stream's own
// handle (after a flush), so that a writer holding the file without sharing
// can stamp it before it lets go. False on failure.
bool TvPlatSetStreamFileTime(FILE* f, TvFileTime lastWrite);

bool TvPlatRemove(const char* path);
bool TvPlatRename(const char* from, const char* to);
bool TvPlatFileExists(const char* path);
bool TvPlatDirExists(const char* path);
bool TvPlatMakeDir(const char* path);
bool TvPlatRemoveDir(const char* path);

// ---------------------------------------------------------------- time
// Wall clock in milliseconds since 1970 (universal time).
int64_t TvPlatNowMs(void);
// A clock that never goes back, in milliseconds, for time limits.
int64_t TvPlatTickMs(void);
// Sleeps; 0 gives up the rest of the time slice.
void TvPlatSleepMs(uint32_t ms);

// The local date and time as the system keeps it (its own time zone).
struct TvDateTime {
    int year;                // four digits
    int month, day, hour, minute, second;
};
void TvPlatLocalTime(TvDateTime* t);

// The C runtime's calendar with a 64-bit time on every system (time_t is
// 32 bits on 32-bit Windows): mktime, and localtime (false when it fails).
int64_t TvPlatMakeTime(struct tm* tm);
bool TvPlatLocalTm(int64_t t, struct tm* out);

// ---------------------------------------------------------------- process
// Stops the system from showing its own boxes for failed opens and critical
// errors (a missing library, no disk in a drive): the program reports them
// itself. Returns the setting before, for TvPlatRestoreErrorBoxes.
uint32_t TvPlatHideErrorBoxes(void);
void TvPlatRestoreErrorBoxes(uint32_t previous);

// The Windows directory and the current directory: false (and an empty text)
// when there is none or it does not fit.
bool TvPlatWindowsDir(char* out, size_t size);
bool TvPlatCurrentDir(char* out, size_t size);
// An environment variable of the C runtime, cut to size - 1 characters;
// false (and an empty text) when it is not set.
bool TvPlatGetEnv(const char* name, char* out, size_t size);

#endif
