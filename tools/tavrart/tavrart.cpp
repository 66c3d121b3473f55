// Draws the desktop client's icons, cursors and bitmaps and writes them as
// 16-colour BMP, ICO and CUR files into the folder named on the command
// line. The files are committed; the test tavrart_current keeps them equal
// to what this program writes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The 16 colours of the standard Windows palette, by index.
enum Colour : int {
    kBlack = 0, kMaroon, kGreen, kOlive, kNavy, kPurple, kTeal, kSilver,
    kGrey, kRed, kLime, kYellow, kBlue, kFuchsia, kAqua, kWhite,
    kClear = -1  // transparent (icons and cursors only)
};

const uint8_t kPalette[16][3] = {  // R, G, B
    {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
    {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
    {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
    {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};

// A picture drawn on a design grid of gw x gh units that is scaled to the
// real size, so one drawing serves the large and the small size.
class Canvas {
public:
    Canvas(int w, int h, int fill, int gw = 0, int gh = 0)
        : w_(w), h_(h), gw_(gw ? gw : w), gh_(gh ? gh : h), px_(size_t(w) * h, fill) {}

    int width() const { return w_; }
    int height() const { return h_; }
    int at(int x, int y) const { return px_[size_t(y) * w_ + x]; }

    void Pixel(int x, int y, int c) {
        if (x >= 0 && y >= 0 && x < w_ && y < h_) px_[size_t(y) * w_ + x] = c;
    }
    // Filled rectangle of design units [x0, x1) x [y0, y1).
    void Fill(int x0, int y0, int x1, int y1, int c) {
        for (int y = Sy(y0); y < Sy(y1); ++y)
            for (int x = Sx(x0); x < Sx(x1); ++x) Pixel(x, y, c);
    }
    // One-unit frame around [x0, x1) x [y0, y1).
    void Frame(int x0, int y0, int x1, int y1, int c) {
        Fill(x0, y0, x1, y0 + 1, c);
        Fill(x0, y1 - 1, x1, y1, c);
        Fill(x0, y0, x0 + 1, y1, c);
        Fill(x1 - 1, y0, x1, y1, c);
    }
    void Box(int x0, int y0, int x1, int y1, int inside, int edge) {
        Fill(x0, y0, x1, y1, inside);
        Frame(x0, y0, x1, y1, edge);
    }
    // A line between unit cells, one unit thick.
    void Line(int x0, int y0, int x1, int y1, int c) {
        int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
        int n = dx > dy ? dx : dy;
        for (int i = 0; i <= n; ++i) {
            int x = n ? x0 + (x1 - x0) * i / n : x0;
            int y = n ? y0 + (y1 - y0) * i / n : y0;
            Fill(x, y, x + 1, y + 1, c);
        }
    }
    // Text in the built-in 5x7 font, each font dot `dot` units square.
    void Text(int x, int y, const char* s, int dot, int c);
    // Every coloured pixel mapped through a table (for the greyed look).
    void Recolour(const int* map) {
        for (int& p : px_)
            if (p >= 0) p = map[p];
    }

private:
    int Sx(int x) const { return (x * w_ + gw_ / 2) / gw_; }
    int Sy(int y) const { return (y * h_ + gh_ / 2) / gh_; }
    int w_, h_, gw_, gh_;
    std::vector<int> px_;
};

struct Glyph {
    char ch;
    uint8_t rows[7];  // five bits a row, the top bit leftmost
};

const Glyph kFont[] = {
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'N', {0x11, 0x19, 0x15, 0x13, 0x11, 0x11, 0x11}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'i', {0x04, 0x00, 0x0C, 0x04, 0x04, 0x04, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'?', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04}},
};

void Canvas::Text(int x, int y, const char* s, int dot, int c) {
    for (; *s; ++s, x += 6 * dot) {
        for (const Glyph& g : kFont) {
            if (g.ch != *s) continue;
            for (int r = 0; r < 7; ++r)
                for (int b = 0; b < 5; ++b)
                    if (g.rows[r] & (0x10 >> b))
                        Fill(x + b * dot, y + r * dot, x + (b + 1) * dot, y + (r + 1) * dot, c);
        }
    }
}

// ---- File writers --------------------------------------------------------

class Bytes {
public:
    void U8(unsigned v) { b_.push_back(uint8_t(v)); }
    void U16(unsigned v) { U8(v & 0xFF); U8(v >> 8); }
    void U32(uint32_t v) { U16(v & 0xFFFF); U16(v >> 16); }
    void Append(const Bytes& o) { b_.insert(b_.end(), o.b_.begin(), o.b_.end()); }
    size_t size() const { return b_.size(); }
    const std::vector<uint8_t>& data() const { return b_; }

private:
    std::vector<uint8_t> b_;
};

// BITMAPINFOHEADER, palette, 4-bit colour rows (bottom-up) and, for icons
// and cursors, the 1-bit mask rows (1 = transparent).
Bytes DibBody(const Canvas& c, bool withMask) {
    const int w = c.width(), h = c.height();
    const int colourRow = ((w * 4 + 31) / 32) * 4;
    const int maskRow = ((w + 31) / 32) * 4;
    Bytes b;
    b.U32(40);
    b.U32(uint32_t(w));
    b.U32(uint32_t(withMask ? 2 * h : h));
    b.U16(1);
    b.U16(4);
    b.U32(0);
    b.U32(uint32_t(colourRow * h + (withMask ? maskRow * h : 0)));
    b.U32(withMask ? 0 : 3780);  // 96 dpi
    b.U32(withMask ? 0 : 3780);
    b.U32(16);
    b.U32(0);
    for (const auto& p : kPalette) { b.U8(p[2]); b.U8(p[1]); b.U8(p[0]); b.U8(0); }
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < colourRow * 2; x += 2) {
            auto ix = [&](int xx) { return xx < w && c.at(xx, y) >= 0 ? c.at(xx, y) : 0; };
            b.U8(unsigned(ix(x) << 4 | ix(x + 1)));
        }
    }
    if (withMask) {
        for (int y = h - 1; y >= 0; --y) {
            for (int x = 0; x < maskRow * 8; x += 8) {
                unsigned v = 0;
                for (int k = 0; k < 8; ++k)
                    if (x + k >= w || c.at(x + k, y) < 0) v |= 0x80u >> k;
                b.U8(v);
            }
        }
    }
    return b;
}

Bytes BmpFile(const Canvas& c) {
    Bytes body = DibBody(c, false);
    Bytes f;
    f.U16(0x4D42);
    f.U32(uint32_t(14 + body.size()));
    f.U32(0);
    f.U32(14 + 40 + 64);
    f.Append(body);
    return f;
}

struct HotSpot { int x, y; };

// type 1 = icon, 2 = cursor (then each image has a hot spot).
Bytes IconFile(int type, const std::vector<Canvas>& images, HotSpot hot = {0, 0}) {
    Bytes f;
    f.U16(0);
    f.U16(unsigned(type));
    f.U16(unsigned(images.size()));
    uint32_t offset = uint32_t(6 + 16 * images.size());
    std::vector<Bytes> bodies;
    for (const Canvas& c : images) bodies.push_back(DibBody(c, true));
    for (size_t i = 0; i < images.size(); ++i) {
        f.U8(unsigned(images[i].width()));
        f.U8(unsigned(images[i].height()));
        f.U8(16);
        f.U8(0);
        f.U16(type == 2 ? unsigned(hot.x) : 1);
        f.U16(type == 2 ? unsigned(hot.y) : 4);
        f.U32(uint32_t(bodies[i].size()));
        f.U32(offset);
        offset += uint32_t(bodies[i].size());
    }
    for (const Bytes& b : bodies) f.Append(b);
    return f;
}

std::string g_out;
bool g_ok = true;

void Save(const std::string& name, const Bytes& b) {
    std::string path = g_out + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(b.data().data(), 1, b.size(), f) != b.size()) {
        std::fprintf(stderr, "tavrart: cannot write %s\n", path.c_str());
        g_ok = false;
    }
    if (f) std::fclose(f);
}

// ---- Shared motifs, drawn on any design grid -----------------------------

// A sheet of paper with a folded corner and text lines.
void Sheet(Canvas& c, int x0, int y0, int x1, int y1, int lines) {
    c.Box(x0, y0, x1, y1, kWhite, kBlack);
    const int fold = (x1 - x0) / 3;
    c.Fill(x1 - fold, y0, x1, y0 + fold, kSilver);
    c.Line(x1 - fold, y0, x1 - 1, y0 + fold - 1, kBlack);
    for (int i = 0; i < lines; ++i) {
        int y = y0 + fold + 1 + 2 * i;
        if (y < y1 - 1) c.Fill(x0 + 2, y, x1 - 2, y + 1, kGrey);
    }
}

void Envelope(Canvas& c, int x0, int y0, int x1, int y1, int face) {
    c.Box(x0, y0, x1, y1, face, kBlack);
    int mx = (x0 + x1) / 2, my = (y0 + y1) / 2;
    c.Line(x0, y0, mx, my, kBlack);
    c.Line(x1 - 1, y0, mx, my, kBlack);
}

void Tick(Canvas& c, int x, int y, int s, int colour) {
    c.Line(x, y + s / 2, x + s / 3, y + s, colour);
    c.Line(x + s / 3, y + s, x + s, y, colour);
    c.Line(x + 1, y + s / 2, x + s / 3 + 1, y + s, colour);
    c.Line(x + s / 3 + 1, y + s, x + s + 1, y, colour);
}

void Cross(Canvas& c, int x, int y, int s, int colour) {
    for (int k = 0; k < 2; ++k) {
        c.Line(x + k, y, x + s + k, y + s, colour);
        c.Line(x + s + k, y, x + k, y + s, colour);
    }
}

void Clock(Canvas& c, int x0, int y0, int s) {
    c.Box(x0, y0, x0 + s, y0 + s, kWhite, kBlack);
    int m = s / 2;
    c.Line(x0 + m, y0 + 2, x0 + m, y0 + m, kNavy);
    c.Line(x0 + m, y0 + m, x0 + s - 3, y0 + m, kNavy);
}

void Arrow(Canvas& c, int x0, int y, int x1, int colour) {
    c.Fill(x0, y - 1, x1, y + 1, colour);
    for (int k = 0; k < 3; ++k) c.Fill(x1 - 1 - k, y - 1 - k, x1 - k, y + 1 + k, colour);
}

void Printer(Canvas& c, int x0, int y0, int x1, int y1) {
    int h = y1 - y0;
    c.Box(x0 + 3, y0, x1 - 3, y0 + h / 2, kWhite, kBlack);
    c.Box(x0, y0 + h / 3, x1, y1 - 2, kSilver, kBlack);
    c.Fill(x1 - 5, y0 + h / 3 + 2, x1 - 3, y0 + h / 3 + 3, kLime);
    c.Box(x0 + 3, y1 - 4, x1 - 3, y1, kWhite, kBlack);
}

void Scanner(Canvas& c, int x0, int y0, int x1, int y1) {
    c.Box(x0, y0, x1, y1, kSilver, kBlack);
    c.Fill(x0 + 2, y0 + 2, x1 - 2, y0 + 4, kAqua);
}

void Tray(Canvas& c, int x0, int y0, int x1, int y1, int colour) {
    c.Fill(x0, y1 - 3, x1, y1, colour);
    c.Frame(x0, y1 - 3, x1, y1, kBlack);
    c.Fill(x0, y0, x0 + 1, y1, kBlack);
    c.Fill(x1 - 1, y0, x1, y1, kBlack);
}

// A red exclamation mark: not yet opened.
void NewMark(Canvas& c, int x, int y) {
    c.Fill(x, y, x + 3, y + 8, kRed);
    c.Fill(x, y + 10, x + 3, y + 12, kRed);
}

// ---- Status bitmaps (32 x 14, white background for SRCAND) ---------------

void StatusBitmaps() {
    struct Item { const char* name; void (*draw)(Canvas&); };
    const Item items[] = {
        {"Waiting", [](Canvas& c) { Envelope(c, 1, 3, 16, 13, kWhite); Clock(c, 19, 2, 11); }},
        {"Convert", [](Canvas& c) { Sheet(c, 1, 1, 11, 13, 4); Arrow(c, 12, 7, 20, kBlue);
                                   c.Box(21, 2, 31, 12, kWhite, kBlack);
                                   for (int y = 4; y < 11; y += 2) c.Fill(23, y, 29, y + 1, kBlack); }},
        {"Connect", [](Canvas& c) { c.Box(2, 5, 12, 12, kSilver, kBlack); c.Fill(4, 3, 10, 5, kBlack);
                                   Arrow(c, 14, 8, 30, kGreen); }},
        {"Sending", [](Canvas& c) { Envelope(c, 1, 3, 16, 13, kWhite); Arrow(c, 18, 8, 31, kBlue); }},
        {"NewDoc", [](Canvas& c) { Sheet(c, 8, 1, 19, 13, 4); NewMark(c, 23, 1); }},
        {"Document", [](Canvas& c) { Sheet(c, 8, 1, 19, 13, 4); }},
        {"NewScan", [](Canvas& c) { Scanner(c, 1, 6, 17, 12); Sheet(c, 5, 0, 13, 7, 1);
                                   NewMark(c, 23, 1); }},
        {"Held", [](Canvas& c) { Envelope(c, 1, 3, 16, 13, kWhite); c.Box(20, 2, 23, 12, kRed, kMaroon);
                                c.Box(26, 2, 29, 12, kRed, kMaroon); }},
        {"OK", [](Canvas& c) { Envelope(c, 1, 3, 16, 13, kWhite); Tick(c, 19, 2, 10, kGreen); }},
        {"Failed", [](Canvas& c) { Envelope(c, 1, 3, 16, 13, kWhite); Cross(c, 19, 2, 9, kRed); }},
        {"Receiving", [](Canvas& c) { Arrow(c, 1, 5, 12, kBlue); Tray(c, 14, 2, 31, 13, kAqua);
                                     c.Fill(17, 4, 28, 10, kWhite); c.Frame(17, 4, 28, 10, kBlack); }},
        {"Scan", [](Canvas& c) { Scanner(c, 6, 6, 26, 12); Sheet(c, 11, 0, 21, 7, 1); }},
        {"Aborting", [](Canvas& c) { Envelope(c, 1, 3, 16, 13, kWhite); c.Box(19, 2, 30, 13, kRed, kMaroon);
                                    c.Fill(21, 7, 28, 9, kWhite); }},
    };
    for (const Item& it : items) {
        Canvas c(32, 14, kWhite);
        it.draw(c);
        Save(std::string("Tavr") + it.name + ".bmp", BmpFile(c));
    }
}

// ---- Tool bitmaps: 48 x 24 (Hi) and 32 x 16 (Lo), one 32 x 16 design -----

void ToolBitmaps() {
    struct Item { const char* base; bool grey; void (*draw)(Canvas&); };
    const Item items[] = {
        {"Send", true, [](Canvas& c) { Sheet(c, 5, 1, 15, 15, 4); Arrow(c, 16, 8, 28, kBlue); }},
        {"Forward", true, [](Canvas& c) { Envelope(c, 3, 4, 17, 13, kWhite); Arrow(c, 18, 8, 29, kGreen);
                                         c.Fill(18, 3, 20, 8, kGreen); }},
        {"View", false, [](Canvas& c) { Sheet(c, 6, 1, 17, 15, 4); c.Frame(15, 6, 22, 13, kNavy);
                                       c.Frame(16, 7, 21, 12, kNavy); c.Line(21, 12, 25, 15, kNavy); }},
        {"Printer", true, [](Canvas& c) { Printer(c, 8, 1, 24, 15); }},
        {"Acquire", true, [](Canvas& c) { Scanner(c, 6, 8, 26, 14); Sheet(c, 11, 1, 21, 9, 1); }},
        {"Information", true, [](Canvas& c) { c.Box(10, 1, 22, 15, kNavy, kBlack); c.Text(13, 2, "i", 1, kWhite); }},
        {"Save", true, [](Canvas& c) { c.Box(9, 1, 23, 15, kNavy, kBlack); c.Fill(11, 2, 21, 7, kWhite);
                                      c.Fill(12, 10, 20, 15, kSilver); c.Fill(17, 11, 19, 14, kNavy); }},
        {"Delete", true, [](Canvas& c) { Sheet(c, 6, 1, 16, 15, 4); Cross(c, 17, 4, 8, kRed); }},
        {"Status", true, [](Canvas& c) { c.Box(7, 2, 25, 14, kWhite, kBlack);
                                        for (int y = 4; y < 13; y += 3) { c.Fill(9, y, 11, y + 2, kGreen);
                                                                          c.Fill(13, y, 23, y + 1, kGrey); } }},
        {"Tidyup", true, [](Canvas& c) { c.Fill(15, 1, 17, 9, kOlive); c.Box(10, 9, 22, 15, kYellow, kOlive);
                                        for (int x = 12; x < 21; x += 2) c.Fill(x, 11, x + 1, 15, kOlive); }},
        {"Help", false, [](Canvas& c) { c.Text(13, 2, "?", 1, kBlue); c.Text(14, 2, "?", 1, kBlue); }},
        {"QuitView", true, [](Canvas& c) { Sheet(c, 4, 1, 14, 15, 4); Arrow(c, 15, 8, 28, kRed); }},
        {"OneToOne", true, [](Canvas& c) { c.Text(8, 4, "1:1", 1, kBlack); }},
        {"TwoToOne", true, [](Canvas& c) { c.Text(8, 4, "2:1", 1, kBlack); }},
        {"ThreeToOne", true, [](Canvas& c) { c.Text(8, 4, "3:1", 1, kBlack); }},
        {"Overview", true, [](Canvas& c) { for (int i = 0; i < 3; ++i) Sheet(c, 4 + 8 * i, 3, 11 + 8 * i, 13, 2); }},
        {"Rotate", true, [](Canvas& c) { Sheet(c, 4, 2, 14, 14, 3); c.Frame(17, 3, 27, 13, kBlue);
                                        c.Fill(25, 11, 29, 13, kBlue); c.Fill(17, 3, 21, 5, kSilver); }},
        {"Import", true, [](Canvas& c) { Arrow(c, 2, 8, 13, kGreen); Sheet(c, 15, 1, 26, 15, 4); }},
        {"Export", true, [](Canvas& c) { Sheet(c, 4, 1, 15, 15, 4); Arrow(c, 17, 8, 29, kGreen); }},
    };
    // Greyed: dark colours to grey, light ones to silver or white.
    const int greyMap[16] = {kGrey, kGrey, kGrey, kGrey, kGrey, kGrey, kGrey, kSilver,
                             kGrey, kGrey, kSilver, kSilver, kGrey, kGrey, kSilver, kWhite};
    for (const Item& it : items) {
        struct Size { const char* suffix; int w, h; };
        for (Size s : {Size{"Hi", 48, 24}, Size{"Lo", 32, 16}}) {
            Canvas c(s.w, s.h, kSilver, 32, 16);
            it.draw(c);
            std::string name = std::string("Tavr") + it.base + s.suffix;
            Save(name + ".bmp", BmpFile(c));
            if (it.grey) {
                c.Recolour(greyMap);
                Save(name + "Grey.bmp", BmpFile(c));
            }
        }
    }
}

// ---- Icons (32 x 32 and 16 x 16 from one 32-unit design) ----------------

void Icons() {
    struct Item { const char* name; void (*draw)(Canvas&); };
    const Item items[] = {
        {"Tavr", [](Canvas& c) { Sheet(c, 4, 2, 20, 26, 6); c.Box(12, 12, 30, 30, kNavy, kBlack);
                                c.Text(16, 14, "T", 2, kWhite); }},
        {"Tv", [](Canvas& c) { c.Box(1, 1, 31, 31, kNavy, kBlack); c.Text(4, 9, "T", 2, kYellow);
                              c.Text(17, 9, "V", 2, kYellow); }},
        {"TavrIn", [](Canvas& c) { Tray(c, 2, 14, 30, 30, kAqua); Sheet(c, 9, 2, 23, 24, 5);
                                  Arrow(c, 10, 11, 22, kBlue); }},
        {"TavrOut", [](Canvas& c) { Tray(c, 2, 14, 30, 30, kYellow); Envelope(c, 6, 4, 26, 20, kWhite);
                                   Arrow(c, 14, 12, 30, kGreen); }},
        {"TavrFiled", [](Canvas& c) { c.Box(2, 6, 14, 10, kYellow, kOlive); c.Box(2, 9, 30, 29, kYellow, kOlive);
                                     Sheet(c, 8, 2, 24, 20, 3); c.Fill(3, 16, 29, 28, kYellow);
                                     c.Frame(2, 15, 30, 29, kOlive); }},
    };
    for (const Item& it : items) {
        std::vector<Canvas> images;
        for (int size : {32, 16}) {
            Canvas c(size, size, kClear, 32, 32);
            it.draw(c);
            images.push_back(c);
        }
        Save(std::string(it.name) + ".ico", IconFile(1, images));
    }
}

// ---- Cursors (32 x 32 with a hot spot) -----------------------------------

void Cursors() {
    // A document carried by the pointer while a message is dragged.
    Canvas doc(32, 32, kClear);
    Sheet(doc, 8, 4, 24, 26, 6);
    Save("TavrDocument.cur", IconFile(2, {doc}, {16, 15}));

    // An arrow with a question mark for the help mode; the hot spot is the
    // arrow's tip.
    Canvas help(32, 32, kClear);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x <= y && x < 11; ++x) help.Pixel(x, y, kWhite);
        help.Pixel(0, y, kBlack);
        if (y < 11) help.Pixel(y, y, kBlack);
    }
    for (int x = 0; x < 11; ++x) help.Pixel(x, 11, kBlack);
    for (int y = 11; y < 19; ++y) { help.Pixel(4, y, kBlack); help.Pixel(5, y, kWhite); help.Pixel(6, y, kBlack); }
    for (int x = 4; x < 7; ++x) help.Pixel(x, 19, kBlack);
    help.Fill(13, 8, 26, 25, kWhite);
    help.Frame(13, 8, 26, 25, kBlack);
    help.Text(14, 9, "?", 2, kBlack);
    Save("TavrHelp.cur", IconFile(2, {help}, {0, 0}));
}

// ---- Welcome pictures ------------------------------------------------------

void Pictures() {
    // A fax machine printing a page.
    Canvas pic(96, 64, kWhite);
    pic.Box(8, 24, 88, 56, kSilver, kBlack);
    pic.Box(14, 30, 44, 42, kNavy, kBlack);
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 4; ++j) pic.Box(52 + 8 * j, 30 + 7 * k, 58 + 8 * j, 35 + 7 * k, kWhite, kBlack);
    pic.Fill(8, 56, 88, 60, kGrey);
    Sheet(pic, 28, 4, 68, 28, 8);
    pic.Box(24, 22, 72, 26, kBlack, kBlack);
    Save("TavrPicture.bmp", BmpFile(pic));

    // The product name in blue block letters over a bar.
    Canvas logo(144, 32, kWhite);
    logo.Text(4, 2, "TAVRINE", 3, kBlue);
    logo.Fill(4, 26, 140, 29, kNavy);
    Save("TavrLogo.bmp", BmpFile(logo));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tavrart <output folder>\n");
        return 2;
    }
    g_out = argv[1];
    StatusBitmaps();
    ToolBitmaps();
    Icons();
    Cursors();
    Pictures();
    return g_ok ? 0 : 1;
}
