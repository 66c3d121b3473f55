// fontgen: builds the converter's bitmap fonts (.FN files) and proportional
// width tables from freely licensed outline fonts, with FreeType.
//
//   fontgen OUTDIR WIDTHS_CPP
//
// Writes the 32 font files (default set, Windows-1252 for bytes 128-255, and
// the Eastern European set, Windows-1250, whose names end in "P") into OUTDIR
// and the three width tables as C++ source into WIDTHS_CPP. Exits with 77
// when a source font is missing, so that a check can tell "cannot run here"
// from "ran and failed".
//
// Font file layout: no header; glyph c at c * R * B; R rows of B bytes, top
// row first; the most significant bit of a byte is the leftmost pixel and a
// set bit is black. B is 3 for the 18-pixel families, 2 for the others; R is
// 12 (full) or 6 (super/subscript) at normal resolution, 24 and 12 at fine.
//
// Output is deterministic for a given FreeType build and given source fonts.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const int kExitMissing = 77;

// Bytes 128-255 of the two code pages (0 = not assigned).
const uint16_t kCp1252High[128] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};
const uint16_t kCp1250High[128] = {
    0x20AC, 0, 0x201A, 0, 0x201E, 0x2026, 0x2020, 0x2021,
    0, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

// Source outline fonts (Debian package paths).
const char *const kSerifFile = "/usr/share/fonts/opentype/courier-prime/Courier Prime Bold.otf";
const char *const kSansFile = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf";
const char *const kFallbackFile = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf";
const char *const kSymbolFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

enum { FACE_SERIF, FACE_SANS, FACE_FALLBACK, FACE_SYMBOL, FACE_COUNT };

// One family of the font table: its pitch, bytes per glyph row and face.
struct FamilySpec {
    const char *name;   // file name stem, "PICA"
    int pitch;          // advance in pixels
    int bytes;          // bytes per glyph row
    int face;           // FACE_SERIF or FACE_SANS
    int widthTable;     // -1, or the width table this family's glyphs measure
};

const FamilySpec kFamilies[4] = {
    {"PICA", 18, 3, FACE_SERIF, 0},
    {"SS18", 18, 3, FACE_SANS, 2},
    {"ELIT", 15, 2, FACE_SERIF, 1},
    {"SS11", 11, 2, FACE_SANS, -1},
};

// Vertical layout of one cell kind, in rows: cell height, rows above the
// baseline, wanted capital height. The horizontal scale puts the face's
// advance on the pitch (full) or on a share of it (super/subscript).
struct CellSpec {
    const char *suffix; // "LN", "SN", "LF", "SF"
    int rows;
    int ascent;
    double capRows;
    double widthShare;  // advance as a share of the pitch
    int threshold;      // coverage (0-255) from which a pixel is black
};

const CellSpec kCells[4] = {
    {"LN", 12, 10, 8.0, 1.0, 150},
    {"SN", 6, 5, 4.5, 0.8, 100},
    {"LF", 24, 19, 14.0, 1.0, 112},
    {"SF", 12, 10, 7.5, 0.75, 96},
};

FT_Library g_lib;
FT_Face g_faces[FACE_COUNT];

// A cell being drawn: width x rows of 0/1 pixels.
struct Cell {
    int width = 0, rows = 0;
    std::vector<uint8_t> px;
    void Init(int w, int r) { width = w; rows = r; px.assign(size_t(w) * r, 0); }
    void Set(int x, int y) {
        if (x >= 0 && x < width && y >= 0 && y < rows) px[size_t(y) * width + x] = 1;
    }
    bool Get(int x, int y) const { return px[size_t(y) * width + x] != 0; }
};

bool OpenFace(int which, const char *path) {
    if (FT_New_Face(g_lib, path, 0, &g_faces[which]) != 0) {
        fprintf(stderr, "fontgen: source font missing: %s\n", path);
        return false;
    }
    return true;
}

// Design units of the face's capital height (the H's ink height).
double CapHeightUnits(FT_Face face) {
    FT_UInt gi = FT_Get_Char_Index(face, 'H');
    if (gi && FT_Load_Glyph(face, gi, FT_LOAD_NO_SCALE) == 0) {
        FT_BBox box;
        FT_Outline_Get_CBox(&face->glyph->outline, &box);
        return double(box.yMax - box.yMin);
    }
    return face->units_per_EM * 0.7;
}

double AdvanceUnits(FT_Face face) {
    FT_UInt gi = FT_Get_Char_Index(face, '0');
    if (gi && FT_Load_Glyph(face, gi, FT_LOAD_NO_SCALE) == 0) return double(face->glyph->advance.x);
    return face->units_per_EM * 0.6;
}

// Render one glyph with an anti-aliased, hinted rasteriser and threshold it
// into the cell, pen at (penX, baseline). Returns false when the face lacks
// the character.
bool RenderInto(Cell &cell, FT_Face face, uint32_t cp, double emX, double emY,
                double penX, int baseline, int threshold) {
    FT_UInt gi = FT_Get_Char_Index(face, cp);
    if (gi == 0) return false;
    FT_Set_Char_Size(face, FT_F26Dot6(std::lround(emX * 64)), FT_F26Dot6(std::lround(emY * 64)), 72, 72);
    FT_Vector delta = {FT_Pos(std::lround((penX - std::floor(penX)) * 64)), 0};
    FT_Set_Transform(face, nullptr, &delta);
    if (FT_Load_Glyph(face, gi, FT_LOAD_TARGET_LIGHT) != 0) return false;
    if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0) return false;
    const FT_Bitmap &bm = face->glyph->bitmap;
    int ox = int(std::floor(penX)) + face->glyph->bitmap_left;
    int oy = baseline - face->glyph->bitmap_top;
    for (unsigned y = 0; y < bm.rows; y++) {
        const unsigned char *src = bm.buffer + int(y) * bm.pitch;
        for (unsigned x = 0; x < bm.width; x++)
            if (src[x] >= threshold) cell.Set(ox + int(x), oy + int(y));
    }
    FT_Set_Transform(face, nullptr, nullptr);
    return true;
}

// Render a symbol scaled to fit a box of the cell (left, top, width, height),
// centred in it.
bool RenderFitted(Cell &cell, FT_Face face, uint32_t cp, int left, int top, int boxW, int boxH, int threshold) {
    FT_UInt gi = FT_Get_Char_Index(face, cp);
    if (gi == 0 || FT_Load_Glyph(face, gi, FT_LOAD_NO_SCALE) != 0) return false;
    FT_BBox box;
    FT_Outline_Get_CBox(&face->glyph->outline, &box);
    double inkW = double(box.xMax - box.xMin), inkH = double(box.yMax - box.yMin);
    if (inkW <= 0 || inkH <= 0) return false;
    double upm = face->units_per_EM;
    double emX = boxW * upm / inkW, emY = boxH * upm / inkH;
    // Pen so that the scaled ink box lands on the box.
    double penX = left - box.xMin * emX / upm;
    int baseline = top + int(std::lround(box.yMax * emY / upm));
    return RenderInto(cell, face, cp, emX, emY, penX, baseline, threshold);
}

// The arrow drawn by glyphs 8 and 9 together: a shaft across both cells and
// a head at the right end of the second. `half` is 0 for the left cell.
void DrawArrowHalf(Cell &cell, int pitch, int half, int midRow, int headHalf, int shaftThick) {
    int total = 2 * pitch;
    int headLen = headHalf + headHalf / 2 + 1;
    for (int gx = 1; gx < total - 1; gx++) {
        int x = gx - half * pitch;
        if (x < 0 || x >= pitch) continue;
        int tipDist = (total - 2) - gx; // 0 at the tip
        int reach = (tipDist < headLen) ? tipDist * headHalf / headLen : -1;
        for (int dy = -headHalf; dy <= headHalf; dy++) {
            bool shaft = gx < total - 2 - headLen / 2 && dy >= -(shaftThick / 2) && dy < shaftThick - shaftThick / 2;
            bool head = reach >= 0 && dy >= -reach && dy <= reach;
            if (shaft || head) cell.Set(x, midRow + dy);
        }
    }
}

// Render the character of code `code` of a code page into a cell.
void RenderCode(Cell &cell, const FamilySpec &fam, const CellSpec &cs, int code, const uint16_t *high,
                int *missing, int *fallback) {
    cell.Init(fam.bytes * 8, cs.rows);
    FT_Face face = g_faces[fam.face];
    double capUnits = CapHeightUnits(face);
    double upm = face->units_per_EM;
    double emY = cs.capRows * upm / capUnits;
    double advPx = fam.pitch * cs.widthShare;
    double emX = advPx * upm / AdvanceUnits(face);
    double penX = (fam.pitch - advPx) / 2.0;
    int baseline = cs.ascent;

    uint32_t cp = 0;
    if (code == 24) {
        cp = 0x00A3; // pound sign
    } else if (code >= 32 && code < 127) {
        cp = uint32_t(code);
    } else if (code >= 128) {
        cp = high[code - 128];
        if (cp == 0x00AD) cp = '-'; // a soft hyphen that reaches the page prints as a hyphen
    }
    if (cp != 0 && cp != 0x20 && cp != 0xA0) {
        if (!RenderInto(cell, face, cp, emX, emY, penX, baseline, cs.threshold)) {
            FT_Face fb = g_faces[FACE_FALLBACK];
            double fbEmY = cs.capRows * fb->units_per_EM / CapHeightUnits(fb);
            double fbEmX = advPx * fb->units_per_EM / AdvanceUnits(fb);
            if (RenderInto(cell, fb, cp, fbEmX, fbEmY, penX, baseline, cs.threshold))
                (*fallback)++;
            else
                (*missing)++;
        }
        return;
    }
    // Glyphs of the page header line and the DEL glyph, fitted to the
    // capital height of the cell.
    int capTop = baseline - int(std::lround(cs.capRows));
    int capH = baseline - capTop;
    int thr = cs.threshold;
    switch (code) {
    case 7: // telephone
        RenderFitted(cell, g_faces[FACE_SYMBOL], 0x260E, 0, capTop, fam.pitch - 1, capH, thr);
        break;
    case 8:
    case 9: {
        int mid = baseline - (capH + 1) / 2;
        int headHalf = std::max(1, capH * 2 / 5);
        int thick = std::max(1, cs.rows / 12 + (cs.rows >= 24 ? 1 : 0));
        DrawArrowHalf(cell, fam.pitch, code - 8, mid, headHalf, thick);
        break;
    }
    case 127: // a small house, the usual picture of this code
        if (!RenderFitted(cell, g_faces[FACE_SYMBOL], 0x2302, 1, capTop, fam.pitch - 3, capH, thr)) (*missing)++;
        break;
    default:
        break;
    }
}

// Pack a cell into B bytes per row, MSB leftmost.
void PackCell(const Cell &cell, int bytes, std::vector<uint8_t> &out) {
    for (int y = 0; y < cell.rows; y++)
        for (int b = 0; b < bytes; b++) {
            uint8_t v = 0;
            for (int bit = 0; bit < 8; bit++)
                if (cell.Get(b * 8 + bit, y)) v |= uint8_t(0x80 >> bit);
            out.push_back(v);
        }
}

// Inked columns of a cell: first and last black column, or -1.
void InkSpan(const Cell &cell, int *first, int *last) {
    *first = -1;
    *last = -1;
    for (int x = 0; x < cell.width; x++)
        for (int y = 0; y < cell.rows; y++)
            if (cell.Get(x, y)) {
                if (*first < 0) *first = x;
                *last = x;
                break;
            }
}

bool WriteFile(const std::string &path, const std::vector<uint8_t> &data) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = (fclose(f) == 0) && ok;
    return ok;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: fontgen OUTDIR WIDTHS_CPP\n");
        return 2;
    }
    std::string outDir = argv[1];
    if (FT_Init_FreeType(&g_lib) != 0) {
        fprintf(stderr, "fontgen: FreeType did not start\n");
        return 1;
    }
    if (!OpenFace(FACE_SERIF, kSerifFile) || !OpenFace(FACE_SANS, kSansFile) ||
        !OpenFace(FACE_FALLBACK, kFallbackFile) || !OpenFace(FACE_SYMBOL, kSymbolFile))
        return kExitMissing;

    // Width tables in units of the pitch: twelfths for pica, eighteenths for
    // elite and the sans-serif families; the renderer turns an entry w into
    // (P * w + 3) / d pixels. Measured on the fine full glyphs of both sets;
    // each entry is the wider of the two sets' glyphs.
    static const int kDivisor[3] = {12, 18, 18};
    int widths[3][256] = {};

    for (int set = 0; set < 2; set++) {
        const uint16_t *high = set ? kCp1250High : kCp1252High;
        for (const FamilySpec &fam : kFamilies) {
            for (const CellSpec &cs : kCells) {
                std::vector<uint8_t> data;
                int missing = 0, fallback = 0;
                for (int code = 0; code < 256; code++) {
                    Cell cell;
                    RenderCode(cell, fam, cs, code, high, &missing, &fallback);
                    PackCell(cell, fam.bytes, data);
                    if (fam.widthTable >= 0 && strcmp(cs.suffix, "LF") == 0) {
                        int first, last;
                        InkSpan(cell, &first, &last);
                        int px = first < 0 ? fam.pitch : std::min(fam.pitch, last - first + 1 + 2);
                        int d = kDivisor[fam.widthTable];
                        int w = (px * d + fam.pitch - 1) / fam.pitch; // ceil(px * d / P)
                        if (w > widths[fam.widthTable][code]) widths[fam.widthTable][code] = w;
                    }
                }
                std::string name = std::string(fam.name) + "_" + cs.suffix + (set ? "P" : "") + ".FN";
                if (!WriteFile(outDir + "/" + name, data)) {
                    fprintf(stderr, "fontgen: cannot write %s\n", name.c_str());
                    return 1;
                }
                if (fallback && cs.rows == 24)
                    fprintf(stderr, "fontgen: %s: %d characters from the fallback face\n", name.c_str(), fallback);
                if (missing) fprintf(stderr, "fontgen: %s: %d characters blank (not in the faces)\n", name.c_str(), missing);
            }
        }
    }

    FILE *f = fopen(argv[2], "w");
    if (!f) {
        fprintf(stderr, "fontgen: cannot write %s\n", argv[2]);
        return 1;
    }
    static const char *const kNames[3] = {"kPicaWidths", "kEliteWidths", "kSansWidths"};
    fprintf(f, "// Proportional width tables of the bitmap fonts. Generated by tools/fontgen\n"
               "// together with the font files in fonts/; do not edit.\n"
               "#include \"server/convert/raster.h\"\n\n");
    for (int t = 0; t < 3; t++) {
        fprintf(f, "const unsigned char %s[256] = {\n", kNames[t]);
        for (int c = 0; c < 256; c += 16) {
            fprintf(f, "   ");
            for (int i = 0; i < 16; i++) fprintf(f, " %d,", widths[t][c + i]);
            fprintf(f, "\n");
        }
        fprintf(f, "};\n%s", t < 2 ? "\n" : "");
    }
    bool ok = fclose(f) == 0;
    for (FT_Face fc : g_faces) FT_Done_Face(fc);
    FT_Done_FreeType(g_lib);
    return ok ? 0 : 1;
}
