// EPSON printer streams: the control bytes and ESC sequences of a 9-pin
// and 24-pin ESC/P subset, carried out on the page state of the raster
// (position, margins, spacing, fonts, attributes), with bit images and
// user-defined characters drawn into the band.
//
// Distances: pixels across at 200 per inch, rows down at 100 (normal) or
// 200 (fine) per inch. The interpreter is called with each control byte
// (below 32, and 127) and reads a sequence's parameters from the stream
// through its source; errors set the page's error code.
//
// A document is rendered in this order: the raster set up (resolution,
// fonts, geometry: GEOM_DRIVER for a stream EpsonIsDriverStream finds, and
// RasterSetOutput with GraphicsInsertMerge and, for a background,
// GraphicsBackgroundMerge); EpsonStartStream; TextScannerInit on the
// document; then RenderStreamPage once per page until the input has ended.
#ifndef TAVRINE_SERVER_CONVERT_EPSON_H
#define TAVRINE_SERVER_CONVERT_EPSON_H

#include <cstdint>

#include "common/status.h"
#include "server/convert/raster.h"
#include "server/convert/textcmd.h"

enum : int {
    EPSON_HTABS = 32,
    EPSON_VCHANNELS = 8,
    EPSON_VSTOPS = 16,
};

// Stream modes.
enum : int { EPSON_STREAM_PLAIN = 0, EPSON_STREAM_LQ = 2, EPSON_STREAM_DRIVER = 3 };

// Printer state (reset by ESC @ and at the start of each stream), besides
// the page state of the raster.
struct EpsonState {
    int htab[EPSON_HTABS];                       // pixels; 0 is no stop
    int vtab[EPSON_VCHANNELS][EPSON_VSTOPS];     // rows below the top offset; 0 is no stop
    int channel;
    int bottomMargin;                            // rows kept free for perforation skip
    int pageLength;                              // rows from the page top
    int geomKind;                                // geometry the length belongs to
    int printControl;                            // ESC I: control codes print as glyphs
    int letterQuality;
    int imageMode;                               // 0-6
    int ninePin;
    int streamMode;                              // EPSON_STREAM_*
    int driverRevision;                          // of the driver header, -1 none
    int fontSize;                                // FONTSIZE_PICA or FONTSIZE_ELITE
    int sansSerif;
};
extern EpsonState g_epson;

// Where the interpreter reads parameters from: the next byte, -1 at the end.
struct EpsonSource {
    void *ctx;
    int (*next)(void *ctx);
};

void EpsonSetLogHook(RasterLogFn fn);
// A short yield every 20 image columns (null: none).
void EpsonSetYieldHook(void (*fn)(void));
// RemoveDither: fills one-pixel gaps in 24-pin images.
void EpsonSetRemoveDither(int on);

// Resets the printer state for a new stream (or ESC @): spacing, tabs,
// margins, attributes, the pica font of the serif family. A stream from
// the fax printer driver is rendered with its own geometry; the caller
// sets the geometry (SetImageDensVars) before this call. Installs the
// interpreter's new-line hook in the raster.
void EpsonStartStream(void);

// Carries out one control byte; parameters come from src.
void EpsonControl(const EpsonSource *src, int c);

// Whether a stream begins with the fax printer driver's header (27, 127).
int EpsonIsDriverStream(const unsigned char *first, int count);

// Advances the page by rows as a line feed does; ends the page when the
// new line would pass the page length less the bottom margin. Returns 1
// when the page ended.
int EpsonAdvance(int rows);

// Renders one page of a document through the command scanner, the EPSON
// interpreter and the raster: RenderPage with the three wired together.
TvStatus RenderStreamPage(TextScanner *scan, int minRows, RasterPageResult *result);

#endif
