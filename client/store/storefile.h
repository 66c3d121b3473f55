// File helpers of the message store: paths, file times with retries, the
// change stamp, first words of entry values and the in-place value rewrite.
#ifndef TAVRINE_CLIENT_STORE_STOREFILE_H
#define TAVRINE_CLIENT_STORE_STOREFILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "common/platform.h"

enum { TV_STORE_PATH_SIZE = 300 };

// Seconds the file-time calls wait while another program holds the file.
enum { TV_FILETIME_WAIT_SECONDS = 10 };

// dir (ending with a separator) followed by name; false when it does not fit.
bool StorePath(char* out, size_t size, const char* dir, const char* name);

// Last-write time of path, retried while the file is held elsewhere.
TvCreateResult GetFileTimeRetry(const char* path, int waitSeconds, TvFileTime* out);
TvCreateResult SetFileTimeRetry(const char* path, int waitSeconds, TvFileTime t);

// Whether a UTC file time is the server's change stamp: seconds 0 (and no
// fraction), minutes 0 or 30.
bool IsChangeStamp(TvFileTime t);

// Length of the directory part of a File: value: up to and including its
// last separator, 0 when it has none.
size_t DirectoryPartLength(const char* value);

// Whether that part equals dir, either separator and ASCII case alike.
bool DirectoryMatches(const char* value, size_t partLength, const char* dir);

// File times and seconds since 1970.
int64_t FileTimeToSeconds(TvFileTime t);
TvFileTime SecondsToFileTime(int64_t seconds);

// The first word of text (up to a blank, tab or comma) into out, cut to
// outSize - 1; its full length is returned.
size_t FirstWord(const char* text, char* out, size_t outSize);

// The value of an entry line: behind the key's colon and the blanks.
const char* ValueAfterKey(const char* line, size_t keyLength);

// Rewrites the value of the entry line read at linePos (line as read, value a
// pointer into it) to newValue in place, keeping the line's length: blanks
// cover what is left of a longer old value. 0 when the new value does not fit
// into the old one's room, or the write fails.
int RewriteValueInPlace(FILE* f, const char* line, int32_t linePos, const char* value, const char* newValue);

// A directory file's text held in memory for one pass, read with the
// control-file rules (lines cleaned and cut as ReadControlLine does, the
// same paragraph and entry searches) without a seek or a position query on
// the stream for every line: a pass over thousands of entries then costs
// little more than reading the file once. Offsets are those of the file, so
// in-place rewrites go to the stream at a line's offset.
class StoreText {
public:
    // Takes the rest of the stream from its current position. False on a
    // read error.
    bool Load(FILE* f);

    int32_t Tell() const { return base_ + static_cast<int32_t>(pos_); }

    // One line into buf (size bytes), its start offset in linePos. False at
    // the end.
    bool ReadLine(char* buf, int size, int32_t* linePos);

    // Forward to the first paragraph line beginning with name (any case; any
    // paragraph line when name is null). Back where it was when none.
    bool FindParagraph(const char* name, char* buf, int size);

    // The first entry line matching key (KeyMatches) up to the next paragraph
    // line, from the current position. Back where it was when none.
    bool FindEntry(const char* key, char* buf, int size, int32_t* linePos);

private:
    std::string text_;
    size_t pos_ = 0;
    int32_t base_ = 0;
};

#endif
