// The text side of the address import: a delimited text file's first line
// and line count, the delimiter guess, and one field at a time split off a
// line with double quotes honoured.
#ifndef TAVRINE_CLIENT_SHELL_SPLITTER_H
#define TAVRINE_CLIENT_SHELL_SPLITTER_H

#include <cstdio>

enum TvDelimiter { TV_DELIM_NONE = 0, TV_DELIM_COMMA = 1, TV_DELIM_TAB = 2, TV_DELIM_BLANK = 3 };

// A field holds at most 40 characters (its buffer 41 bytes); the first line
// at most 256 with its line feed (its buffer 257 bytes, cleared by the
// caller).
enum { TV_FIELD_MAX = 40, TV_FIELD_SIZE = TV_FIELD_MAX + 1, TV_FIRST_LINE_MAX = 256,
       TV_FIRST_LINE_SIZE = TV_FIRST_LINE_MAX + 1 };

// The file opened for binary reading with the shared-open retry, or null.
FILE *OpenImportFile(const char *path);

// Reads the file to its end: the first line (without its line feed, a CR
// before it kept) into line, every line feed counted into *lines. 1 when
// read to the end; 0 when it cannot be opened or the first line is too long.
int ReadFirstLine(const char *path, char *line, int *lines);

// The delimiter kind of a line: the first comma or tab outside quotes.
TvDelimiter GuessDelimiter(const char *line);

// Copies the next field of the line at pos into field (TV_FIELD_SIZE bytes)
// and returns the position after its delimiter, or null when the line has
// ended. *error is 1 for a bad kind, an unclosed quote or an over-long field
// (the result is then null), else 0.
const char *SplitDelimitedField(const char *pos, int kind, char *field, int *error);

#endif
