// Small helpers of the shell: fitting a text to a width or a length, the
// send-time display, the path of a filed message, the file-filter text of
// the file dialogs and the image format codes.
#ifndef TAVRINE_CLIENT_SHELL_SHELLUTIL_H
#define TAVRINE_CLIENT_SHELL_SHELLUTIL_H

#include <cstddef>

#include "client/shell/profile.h"

// Texts by string number: the length loaded into buf (at most size - 1
// characters and a NUL), 0 when there is no such string. A null load has
// no strings.
struct TvStringSource {
    void *context;
    int (*load)(void *context, int id, char *buf, int size);
};

// The extent of the first count characters of text, as drawn.
typedef int (*TvMeasureText)(void *context, const char *text, int count);

// The text TextOutFitted draws in width: the whole text when it fits,
// else the longest start that fits, m characters, with its last four
// replaced by " ..." (with fewer than four, by as many dots). out receives
// the text (cut to size - 1 first); the result is its measured extent.
int FitTextToWidth(const char *text, int width, TvMeasureText measure, void *context, char *out, size_t size);

// The text SetDlgTextFitted passes: as it is when no longer than limit,
// else the first k and the last k characters around " ... ", k =
// (limit - 5) / 2. A limit below 5 leaves no room for the marker: the
// first limit characters (none below 0). Cut to size - 1; the result is
// the length written.
size_t CutTextMiddle(const char *text, int limit, char *out, size_t size);

// String numbers of the send-time texts.
enum { TV_STR_IMMEDIATELY = 81, TV_STR_OFF_PEAK = 255 };
enum { TV_SEND_TIME_MIN_SIZE = 16 };

// A send time "yy-mm-dd hh:mm:ss" shown as the time (hour and minute) and
// the date in the user's order, two blanks apart; empty text "Immediately",
// "OFFPEAK..." (any case) "Off peak". 1 when done; 0 (out empty when size
// allows) when size is below 16, the text does not parse or the result
// does not fit.
int FormatSendTime(const char *text, const TvIntlFormats &formats, const TvStringSource &strings, char *out,
                   size_t size);

// A filed message's long name is used while shorter than this.
enum { TV_FILED_LONG_NAME_LIMIT = 78 };

// The path of a filed message: the filed directory plus its long name; a
// long name of 78 characters or more may be cut, so the short 8.3 name is
// looked up instead and its file's long name used when found. False (out
// empty) when the path does not fit.
bool MakeUserPath(const char *filedDir, const char *shortName, const char *longName, char *out, size_t size);

// String ranges of the file filters ("description|pattern|" and, for the
// export formats, a format name after the second '|').
enum {
    TV_FILTER_IMPORT_FULL_FIRST = 2100, TV_FILTER_IMPORT_FULL_LAST = 2134,
    TV_FILTER_EXPORT_FULL_FIRST = 2140, TV_FILTER_EXPORT_FULL_LAST = 2174,
    TV_FILTER_EXPORT_SHORT_FIRST = 2160, TV_FILTER_EXPORT_SHORT_LAST = 2179,
    TV_FILTER_IMPORT_SHORT_FIRST = 2180, TV_FILTER_IMPORT_SHORT_LAST = 2199,
};
enum { TV_FILTER_TEXT_MAX = 280 };

// The filter text of a file dialog: kind 0 the import formats, any other
// the export formats (each cut after its last '|'); the full lists when
// fullFilters, else the short ones. Stops at the first missing string, or
// before the text would reach size characters. 1, or 0 when out is null.
int ComposeTableText(char *out, size_t size, int kind, bool fullFilters, const TvStringSource &strings);

// Whether a format code is an image format.
bool IsImageFormat(int code);

#endif
