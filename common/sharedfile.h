// Shared file access, temporary names, file dates, directory search and
// path helpers.
//
// Every program of the system opens files in the shared directories through
// OpenShared: the mode string picks the share mode, and an open refused
// because another program holds the file in a conflicting mode is retried for
// a bounded time. Files are never renamed to change them: a temporary copy is
// put back into the open file with CopyOpenFile.
#ifndef TAVRINE_COMMON_SHAREDFILE_H
#define TAVRINE_COMMON_SHAREDFILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/platform.h"

// Default wait of the shared open, in seconds.
enum { TV_SHARED_WAIT_DEFAULT = 5 };

// ---------------------------------------------------------------- mode strings
// The one parser of the mode strings of a shared open, and the tables it
// reads. Both families of callers use the same letters with the same share
// modes:
//   r  read, deny none          r+  read/write, deny all
//   w, w+  create or truncate, deny all
//   a, a+  append, create if missing, deny write
//   c, c+  create a new file (fails if it exists), deny all
// "+" adds the other direction; "t" or else "b" picks text or binary. The
// families differ, by their rules (TvOpenRules), in where the letter may
// stand, in the translation when neither t nor b is given, and in whether an
// access denied counts as the file being in use.

// One mode letter: what it asks for without and with "+".
struct TvOpenModeRow {
    char letter;
    TvAccess access, plusAccess;
    TvDisposition disposition;
    TvShare share, plusShare;
    bool append;
    char streamLetter;           // the runtime's letter for it ("c" is "w")
};

// The table above: r, w, a, c in that order.
enum { TV_OPEN_MODE_ROWS = 4 };
extern const TvOpenModeRow g_openModeRows[TV_OPEN_MODE_ROWS];

// The rules of one family of callers.
struct TvOpenRules {
    const TvOpenModeRow* rows;   // the letters, in the order they are looked for
    size_t rowCount;
    bool leadingLetter;          // the letter must start the mode string; else
                                 // the first row whose letter it holds anywhere
    char translation;            // 't' or 'b' when the mode names neither; 0
                                 // for the runtime's default
    bool deniedIsBusy;           // an open refused as access denied is retried
};

// What a parsed mode string asks of the system.
struct TvOpenPlan {
    TvAccess access;
    TvDisposition disposition;
    TvShare share;
    bool append;
    bool deniedIsBusy;
    char streamMode[5];          // the letter, "+", then "t" or "b": nothing
                                 // the runtime would read otherwise ("c" is
                                 // its commit flag)
};

// The shared library's own rules (OpenShared): the first of r, w, a, c found
// anywhere in the string decides, in that order; the runtime's default
// translation; an access denied is taken for the file being in use.
extern const TvOpenRules g_sharedOpenRules;

// False for null arguments or a mode without a letter of the table (or, with
// leadingLetter, one that does not start with one).
bool TvParseOpenMode(const TvOpenRules* rules, const char* mode, TvOpenPlan* plan);

// Opens path as plan asks. While the file is in use (a share conflict, or an
// access denied when plan->deniedIsBusy) calls wait(context), which pauses
// and says whether to try again; any other failure gives none at once.
// *systemError (may be null) gets the system's error number of the last try,
// 0 when opened.
typedef bool (*TvOpenWaitFn)(void* context);
FILE* TvOpenPlanned(const char* path, const TvOpenPlan* plan, TvOpenWaitFn wait, void* context,
                    int* systemError);

// ---------------------------------------------------------------- shared open
// Opens path with the share mode chosen by the mode string (the table above,
// by g_sharedOpenRules). An open refused because the file is in use is
// retried until waitSeconds (negative: the default) have passed, calling the
// wait hook between tries; any other failure gives none at once. Returns the
// stream or nullptr.
FILE* OpenShared(int16_t waitSeconds, const char* path, const char* mode);

// OpenShared with the default wait: the way shared files are opened.
FILE* OpenSharedRetry(const char* path, const char* mode);

// Puts the whole contents of source into destination from its start and sets
// the destination's length to the source's. 0, or -4084 on a failure. When the
// destination cannot be lengthened for lack of space its old length is
// restored; when the copy stops early it is cut to the bytes written.
int16_t CopyOpenFile(FILE* source, FILE* destination);

// Size of the out name of MakeTempName: "~PPPPnnn.EXT" and its zero.
enum { TV_TEMPNAME_SIZE = 13 };

// Reserves a free name "~<prefix><nnn>.<extension>" in directory (which ends
// with '\') by creating it as an empty file, and gives the name without the
// directory in out (at least TV_TEMPNAME_SIZE bytes). A number counts as taken
// when a file with its stem exists with any extension. Results:
//   0 done; 1 bad prefix (not 4 characters), extension (over 3) or directory
//   length (not 1-256); 2 too many open files; 3 directory not found; 4 every
//   number taken; 5 directory without trailing '\', search or other failure.
int16_t MakeTempName(const char* prefix, const char* extension, const char* directory, char* out);

// The file operations MakeTempName's numbering runs on, so that the numbering
// can be exercised over a made-up directory. The default set works on the
// real file system through the platform layer.
struct TvTempNameOps {
    void* context;
    // CountMatchingFiles over the path "<dir>~PPPPnnn.EXT" with the limit.
    int16_t (*countStem)(void* context, const char* path, int16_t* count);
    // Creates path new and exclusive and closes it again.
    TvCreateResult (*createNew)(void* context, const char* path);
    // Deletes path.
    void (*removeFile)(void* context, const char* path);
    // Wall clock, milliseconds since 1970.
    int64_t (*nowMs)(void* context);
};
int16_t MakeTempNameWith(const TvTempNameOps* ops, const char* prefix, const char* extension,
                         const char* directory, char* out);

// Counts the files (not directories) in path's directory named like path's
// name with any extension, up to *count. Results: 0 with the count; 1 when
// *count is below 1; 5 when the search cannot start.
int16_t CountMatchingFiles(const char* path, int16_t* count);

// Reads a file's last-write time as coordinated universal time (no local time
// conversion). Each out part may be null. While the file is held by another
// program the open is retried for waitSeconds. 0 or -4084.
int16_t GetFileDate(const char* path, int16_t waitSeconds, int16_t* year, int16_t* month, int16_t* day,
                    int16_t* hour, int16_t* minute, int16_t* second);

// Replaces the date part (setDate) and/or the time part (setTime) of a file's
// last-write time, in coordinated universal time. Years 0-79 mean 2000-2079,
// 80-99 mean 1980-1999, 1980-2080 stand. Values out of range change nothing
// and give -4084, as does any failure. 0 on success.
int16_t SetFileDate(const char* path, int16_t waitSeconds, int setDate, int16_t year, int16_t month,
                    int16_t day, int setTime, int16_t hour, int16_t minute, int16_t second);

// A directory search of the caller's, from FindFirstMatch to FindEndMatch.
enum : uint32_t { TV_FIND_TAG = 12345 };
enum { TV_FIND_DIR_MAX = 256, TV_FIND_PATTERN_MAX = 12 };
struct FindMatchRecord {
    uint32_t tag;                        // TV_FIND_TAG while valid
    int32_t firstCall;                   // 1 until the first FindNextMatch
    char directory[TV_FIND_DIR_MAX + 2]; // ends with '\'
    char pattern[TV_FIND_PATTERN_MAX + 1];
    int32_t wantDirectories;             // 0 files only, else directories only
    TvDirIter* search;                   // null until the first FindNextMatch
    TvDirEntry last;                     // the entry found last
};

// Begins a search of directory for pattern. Returns nullptr when the
// directory is empty or over 256 characters, the pattern empty or over 12
// characters, or memory is short. No matching file is no error.
FindMatchRecord* FindFirstMatch(const char* directory, const char* pattern, int32_t wantDirectories);

// Gives the next matching name, upper-cased, in out (outSize bytes): the long
// name when it fits, else the 8.3 name when outSize is at least 13. An entry
// whose name fits neither way is skipped. ".", ".." and hidden entries are
// skipped, and entries of the unwanted kind. 1 with a name; 0 at the end or
// for a record that is not valid.
int FindNextMatch(FindMatchRecord* record, char* out, int16_t outSize);

// Ends the search and releases the record (a record whose tag is wrong is left
// alone).
void FindEndMatch(FindMatchRecord* record);

// Deletes the files matching pattern in directory; returns how many of them
// could not be deleted.
uint16_t DeleteMatchingFiles(const char* directory, const char* pattern);

// Gives in out (outSize bytes) the long name, as found, of the entry matching
// pattern in directory with the earliest last-write time (the first found wins
// a tie). Every entry counts: no filtering of directories, hidden entries or
// "." and "..". 1 with the name; 0 and an empty name when the search cannot
// start or nothing matches.
int FindOldestFile(const char* directory, const char* pattern, char* out, int16_t outSize);

// Pointer just behind the last '.' of the last path component, or path itself
// when that component has no '.' (a result at or before path means none).
const char* FileExtension(const char* path);
char* FileExtension(char* path);

// Pointer behind the last '\' or ':', or path itself.
const char* FileNamePart(const char* path);
char* FileNamePart(char* path);

// Copies at most size characters of source and always puts a zero in the last
// byte; does nothing when size is not positive or source is null.
void CopyString(char* destination, const char* source, int16_t size);

#endif
