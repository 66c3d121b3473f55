// Control files: the one text syntax of every INI file, control file,
// directory file and reply file of the system.
//
//   [PARAGRAPH]          a paragraph line begins with '['
//   Key: value           an entry: key, ':' or '=', blanks, value
//   ; comment            lines beginning with ';' or a blank are comments
//
// Lines hold at most 280 characters (callers read into 281-byte buffers).
// Everything works on a stream the caller opened, with the stream position as
// the cursor: a search that succeeds leaves the stream just behind the line it
// found, a search that fails puts the stream back where it started.
//
// Keys are given with their separator ("Type:") and match a line whose
// beginning equals the key over the key's length, letter case ignored; a key's
// final ':' also matches '=' so that "Port:" finds "Port=COM1". Paragraph
// names are given with their brackets and match the same way ("[FAX" finds
// "[FAX-1]").
//
// Results are truth values (1 found / done, 0 not found / failed) unless said
// otherwise. A start position is a stream offset; 0 means "from the current
// position".
#ifndef TAVRINE_COMMON_CTLFILE_H
#define TAVRINE_COMMON_CTLFILE_H

#include <cstdint>
#include <cstdio>

// Size of a line buffer: 280 characters and the terminating zero.
enum { TV_LINE_SIZE = 281, TV_LINE_MAX = TV_LINE_SIZE - 1 };

// Longest path UpdateFileEntry accepts (its temporary name adds up to 4).
enum { TV_UPDATE_PATH_MAX = 264 };

// Reads one line into buf (size bytes). Bytes below 32 (NUL included) and 127
// become blanks, bytes 128-255 are kept, trailing blanks are trimmed. The
// characters beyond size - 1 of a long line are read and dropped, so the next
// call reads the following line. linePos, when given, receives the offset of
// the line's start. 0 at end of file or on a read error (ferror tells).
int ReadControlLine(FILE *f, char *buf, int size, int32_t *linePos);

// Reads on to the first paragraph line matching name (any paragraph line when
// name is null or empty). 1 with the line in buf and, when asked, the offset
// behind it in pos; 0 with an empty buf and the stream back where it was.
// The search never wraps to the start of the file.
int FindParagraph(FILE *f, const char *name, char *buf, int size, int32_t *pos);

// Searches the current paragraph for an entry line matching key (the first
// entry line when key is null or empty), from start (0: the current position).
// Stops at the next paragraph line, at end of file, or at a line whose first
// character is stop (0: none). 1 with the line in buf and its start offset in
// linePos; 0 with an empty buf and the stream back at start (or where it was).
int FindEntryStop(FILE *f, const char *key, char *buf, int size, int32_t start, int32_t *linePos,
                  char stop);
int FindEntry(FILE *f, const char *key, char *buf, int size, int32_t start, int32_t *linePos);

// Line classes: a paragraph line begins with '['; an entry line is not empty
// and begins with neither a blank nor ';'.
int IsParagraphLine(const char *line);
int IsEntryLine(const char *line);

// Comma, blank, tab, CR and LF.
int IsSeparator(int c);

// Whether line begins with key in the sense described at the top.
int KeyMatches(const char *line, const char *key);

// The value of an entry line: behind the first ':' or '=' and the blanks,
// tabs, CR and LF that follow; null when nothing is left or the line has
// neither ':' nor '='.
const char *EntryValue(const char *line);
inline char *EntryValue(char *line) { return const_cast<char *>(EntryValue(static_cast<const char *>(line))); }

// The value of an entry whose key may also end at a separator ("Key value"):
// the key runs to the first ':', '=' or separator, then separators, ':' and
// '=' are skipped. Null when nothing is left. len, when given, receives the
// number of characters up to the next separator.
const char *EntryValueWord(const char *line, uint16_t *len);
inline char *EntryValueWord(char *line, uint16_t *len)
{
    return const_cast<char *>(EntryValueWord(static_cast<const char *>(line), len));
}

// Splits comma- or blank-separated tokens. Returns the token's start (s
// itself) and its length in len, quotes included: a token beginning with '"'
// runs to the closing quote (or the end of the text) and on to the next
// separator, so separators inside quotes belong to it. next receives the start
// of the following token, the empty end of the text after a final comma, or
// null at the end. A null s gives null and next null.
const char *NextToken(const char *s, uint16_t *len, const char **next);

// The value of the entry key (as FindEntryStop finds it) copied into out,
// cut to outSize - 1 characters; an entry without value gives an empty text.
// 1 when found, 0 (out untouched) when not.
int GetStringEntryStop(FILE *f, const char *key, char *out, int outSize, int32_t start, char stop);
int GetStringEntry(FILE *f, const char *key, char *out, int outSize, int32_t start);

// Takes the next entry line of the current paragraph whatever its key; when a
// key is given and the line does not match it, the stream goes back to where
// it was on entry and the result is 0. Else copies the value as
// GetStringEntry does.
int GetStringEntryHere(FILE *f, const char *key, char *out, int outSize, int32_t start);

// The value's leading decimal integer, leading sign allowed, 0 when there are
// no digits, kept to 16 bits. 0 (out untouched) when the entry is missing or
// its value is empty.
int GetIntEntry(FILE *f, const char *key, int16_t *out, int32_t start);

// No value or Y, YES, TRUE, ON, 1 (any case) give 1; N, NO, FALSE, OFF, 0 give
// 0; the result is then 1. Missing entry or any other value: 0, out untouched.
int GetBoolEntry(FILE *f, const char *key, int32_t *out, int32_t start);

// Copies src to dst line by line (lines cleaned as ReadControlLine does,
// written with CR LF) and changes one entry of the paragraph para (null: the
// part before the first paragraph line):
//   - the first line matching key is replaced by "key value" and later
//     matching lines are removed; a null value removes them all;
//   - with moveToEnd the entry is written at the end of the paragraph;
//   - a null key empties the paragraph of its entries; an empty key changes
//     nothing but the layout;
//   - a missing paragraph is appended at the end of the file with the entry.
// Empty lines inside the paragraph are dropped and one empty line is written
// behind it. The entry line written is cut to 280 characters and control
// characters in it become blanks, so it always reads back as one line.
// 1 when neither stream has its error flag set at the end.
int CopyReplacingEntry(FILE *src, FILE *dst, const char *para, const char *key, const char *value,
                       int moveToEnd);

// Rewrites one entry of the file at path (see CopyReplacingEntry) through a
// temporary file in the same directory whose contents are then copied back
// into the file, which keeps its name. Both are opened with OpenSharedRetry.
// The temporary file is deleted afterwards, except when copying back failed:
// then it holds the only complete copy, so it is kept and the failure logged.
// 0 for no paragraph, a path over 264 characters, an open failure or any read
// or write error.
int UpdateFileEntry(const char *path, const char *para, const char *key, const char *value,
                    int moveToEnd);

// The temporary name UpdateFileEntry uses for path: the extension replaced by
// TMP (by TM2 when it is TMP already), or ".TMP" appended when there is none.
// 0 when the path is empty, too long or does not fit out (outSize bytes).
int UpdateTempName(const char *path, char *out, int outSize);

// The step that puts the rewritten contents back into the file; CopyOpenFile
// unless replaced (tests replace it to make the copy fail part-way). Returns
// the previous one; null restores CopyOpenFile.
typedef int16_t (*TvCopyBackFn)(FILE *source, FILE *destination);
TvCopyBackFn SetUpdateCopyBack(TvCopyBackFn fn);

// Writes text over what stands at pos (0: at the current position), flushes
// and seeks to pos again (to the start of the file when pos is 0). Callers
// pass the start offset of a line read earlier and a text of the same length.
// 1 done, 0 when a seek or the write fails.
int OverwriteTextAt(FILE *f, const char *text, int32_t pos);

// Field index (from 0) of a ';'-separated list, leading and trailing blanks
// dropped, cut to outSize - 1 characters. 0 when the list has no such field
// or it is the last one and empty; an empty field (or outSize below 2) gives
// an empty text and 1.
int ListField(int index, const char *list, char *out, int outSize);

#endif
