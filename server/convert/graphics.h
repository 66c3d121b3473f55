// Graphics files of the message converter: fax TIFF pages (one-dimensional
// T.4, one page per directory) read line by line and scaled to the vertical
// resolution of the page being built.
//
// Two line readers: reader 0 serves the page being copied or the background
// of a text page, reader 1 the letterhead of a copied page and pictures
// inserted by the INSERT text command. Each has its own decoder.
#ifndef TAVRINE_SERVER_CONVERT_GRAPHICS_H
#define TAVRINE_SERVER_CONVERT_GRAPHICS_H

#include <cstdint>
#include <cstdio>

#include "common/status.h"
#include "server/convert/raster.h"

enum : int {
    GRAPHICS_READERS = 2,
    GRAPHICS_LINE_BYTES = 216,   // a line of 1728 pixels
    GRAPHICS_PATH_MAX = 260,
};

// Where graphics files are looked for: the system area, and the user area
// with the user's name (each area ending in a path separator).
struct GraphicsPaths {
    char systemArea[GRAPHICS_PATH_MAX];
    char userArea[GRAPHICS_PATH_MAX];
    char user[16];
};
extern GraphicsPaths g_graphicsPaths;

void GraphicsSetLogHook(RasterLogFn fn);
// Files are opened for reading through this hook (fopen "rb" by default);
// the converter points it at the shared open with retry.
typedef FILE *(*GraphicsOpenFn)(const char *path);
void GraphicsSetOpenHook(GraphicsOpenFn fn);

// Expansion factor from a file's vertical resolution r to the wanted
// resolution w: w / r lines per line when w >= r, else -(r / w) lines ORed
// into one. 0 when either resolution is not above 0: the file cannot be
// scaled (a missing or zero resolution).
int CalcReadExpansion(int fileRes, int wantRes);

// Finds a graphics file: the extension of name is replaced by G3N, G3F and
// G3S, the wanted resolution's (RES_NORMAL, RES_FINE, RES_SUPERFINE) first;
// the system area's subfolder is searched, then, when searchUser is set,
// the user area's <user>\<subfolder>. The path found goes to path when
// given. The open stream, or null.
FILE *OpenGraphicsFile(int searchUser, const char *subdir, const char *name, int resolution,
                       char *path = nullptr, int pathSize = 0);

// Starts reading a page on a reader: coded data at offset, width pixels,
// lines, expansion e (CalcReadExpansion). *adjusted gets the line count
// after scaling: lines * e for e >= 1, else (lines + |e| - 1) / |e|. False
// for a bad reader number, a width above 1728 pixels or of 0, or an
// expansion of 0. fillOrder1 reads data stored most significant bit first.
bool InitGraphicsRead(int reader, FILE *stream, uint32_t offset, int width, int lines, int expansion,
                      int32_t *adjusted, int fillOrder1 = 0);
// Delivers the next scaled line (216 bytes, white beyond the width) and
// whether it is blank. A decoder error stops the page (the line and those
// after it are blank). False only for a bad reader number.
bool ReadGraphicsLine(int reader, unsigned char *line, int *blank);
// Lines the reader still has to deliver (0 when the page is done).
int32_t GraphicsLinesLeft(int reader);
// Forgets a reader's page (the stream stays the caller's).
void EndGraphicsRead(int reader);

// Reads the TIFF header and first page directory of a fax graphics file and
// starts a reader on it at the wanted lines per inch (100 or 200). Gives
// the page's width. 0, or: 1 header or directory unreadable, 2 not a fax
// page (or no usable vertical resolution), 3 the reader refused it.
int StartGraphicsPage(int reader, FILE *stream, int wantLpi, int *width, int32_t *adjusted);

// The INSERT text command: opens the picture from T-GRAPH (the user's area
// too) at the rendering resolution and merges it into the following rows
// from the current x position. Any earlier picture is closed first. 0, or
// 0xF21B (also set as the page error) when it cannot be used.
TvStatus InsertGraphicsFile(const char *name);
// Whether a picture is being merged.
int InsertActive(void);
// Closes the picture (end of a document).
void CloseInsertPicture(void);
// Merge hooks for the raster's RasterOutput: the picture's next line into
// a band row (283 bytes) at its column, and reader 0's next line (the
// background) into a page row (216 bytes).
void GraphicsInsertMerge(void *ctx, unsigned char *bandRow);
void GraphicsBackgroundMerge(void *ctx, unsigned char *pageRow);

#endif
