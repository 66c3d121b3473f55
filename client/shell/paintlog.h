// The decisions of the list and pane painting that need no window: the
// status bitmap and text colour of a row, the name and date column texts,
// and the Filed pane's directory text.
#ifndef TAVRINE_CLIENT_SHELL_PAINTLOG_H
#define TAVRINE_CLIENT_SHELL_PAINTLOG_H

#include <cstddef>
#include <cstdint>

#include "client/shell/profile.h"
#include "client/store/msglist.h"

// The 13 status bitmaps, in the order of kStatusBitmapSuffix.
enum TvStatusBitmap {
    TV_BMP_NONE = -1,
    TV_BMP_WAITING = 0,
    TV_BMP_CONVERT,
    TV_BMP_CONNECT,
    TV_BMP_SENDING,
    TV_BMP_NEWDOC,
    TV_BMP_DOCUMENT,
    TV_BMP_NEWSCAN,
    TV_BMP_HELD,
    TV_BMP_OK,
    TV_BMP_FAILED,
    TV_BMP_RECEIVING,
    TV_BMP_SCAN,
    TV_BMP_ABORTING,
    TV_BMP_COUNT
};
// Resource name suffix after the stem ("Waiting" ...).
extern const char *const kStatusBitmapSuffix[TV_BMP_COUNT];

// Text colours of a row, as Windows colour references (blue in the high byte).
enum : int32_t {
    TV_ROW_COLOUR_DEFAULT = -1,   // the window text colour
    TV_ROW_COLOUR_BLUE = 0xFF0000,
    TV_ROW_COLOUR_RED = 0x0000FF,
};

struct TvRowLook {
    int bitmap;       // TvStatusBitmap
    int32_t colour;   // TV_ROW_COLOUR_*
};
// Bitmap and colour of a row from its status, kind and user status (letter
// case ignored).
TvRowLook RowLook(const MessageListEntry *e);

// Name column: file name and extension of AssocFile in lower case, or
// untitled when AssocFile is empty.
void RowNameText(const MessageListEntry *e, const char *untitled, char *out, size_t size);

// Date column: time format, two blanks, date format in the date order;
// empty when every date and time field is zero.
void RowDateText(const MessageListEntry *e, const TvIntlFormats *f, char *out, size_t size);

// The Filed pane's text: the directory without its final backslash (a root
// keeps it), in lower case.
void FiledDirText(const char *dir, char *out, size_t size);

#endif
