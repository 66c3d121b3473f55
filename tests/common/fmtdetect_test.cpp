// Format detection over files made by outside tools (tests/fixtures/detect,
// rebuilt by make_fixtures.sh there) and over small byte strings.
#include "common/fmtdetect.h"
#include "common/formats.h"
#include "common/status.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>

#ifndef TV_DETECT_FIXTURES
#error "TV_DETECT_FIXTURES names the fixture folder"
#endif

namespace {

struct Detected {
    int rc;
    int16_t format;
};

Detected DetectPath(const std::string& path)
{
    Detected d{-1, -1};
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        ADD_FAILURE() << "cannot open " << path;
        return d;
    }
    d.rc = DetectFileFormat(f, &d.format);
    std::fclose(f);
    return d;
}

// The program's scratch folder, removed with everything in it at the end.
const tvtest::TempDir& Scratch()
{
    static const tvtest::TempDir dir("fmtdetect");
    return dir;
}

// Writes the bytes to a scratch file and detects it.
Detected DetectBytes(const std::string& bytes)
{
    const std::string path = Scratch().File("case.bin");
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        ADD_FAILURE() << "cannot write " << path;
        return Detected{-1, -1};
    }
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    Detected d = DetectPath(path);
    std::remove(path.c_str());
    return d;
}

std::string Esc(const std::string& rest) { return std::string(1, '\x1b') + rest; }
std::string Bytes(std::initializer_list<int> list)
{
    std::string s;
    for (int b : list)
        s.push_back(static_cast<char>(b));
    return s;
}

const int16_t kNone = -1;

} // namespace

TEST(DetectFileFormat, FilesFromOutsideTools)
{
    struct Case {
        const char* file;
        int rc;
        int16_t format;
    } cases[] = {
        {"fax_98.tif", 0, FMT_TIFF_NORMAL},
        {"fax_196.tif", 0, FMT_TIFF_FINE},      // 196 lines per inch counts as 200
        {"fax_200.tif", 0, FMT_TIFF_FINE},
        {"fax_392.tif", 0, FMT_TIFF_SUPERFINE},
        {"fax_300.tif", TV_R_RESOLUTION, kNone},
        {"fax_mm.tif", TV_R_TIFF_MOTOROLA, kNone}, // big-endian: final, not "unknown"
        {"fax_fill1.tif", TV_R_TIFF_FILLORDER, kNone},
        {"fax_2d.tif", TV_R_TIFF_COMPRESSION, kNone},
        {"fax_strips.tif", TV_R_TIFF_STRIPS, kNone},
        {"plain.tif", TV_R_TIFF_COMPRESSION, kNone},
        {"epson.prn", 0, FMT_EPSON},
        {"eps9high.prn", 0, FMT_EPSON},
        {"text.txt", 0, FMT_ASCII},
        {"postscript.ps", 0, FMT_POSTSCRIPT},
        {"ps2write.ps", 0, FMT_POSTSCRIPT},
        {"garbage.bin", TV_R_UNKNOWN_FORMAT, kNone},
        {"empty.txt", 0, FMT_ASCII},
    };
    for (const Case& c : cases) {
        Detected d = DetectPath(std::string(TV_DETECT_FIXTURES) + "/" + c.file);
        EXPECT_EQ(d.rc, c.rc) << c.file;
        if (c.rc == 0) {
            EXPECT_EQ(d.format, c.format) << c.file;
        }
    }
}

TEST(DetectFileFormat, TiffHeaderCases)
{
    // Not TIFF at all goes on to the printer scan: "II", version 43, then a
    // NUL byte, which marks a printer stream.
    EXPECT_EQ(DetectBytes(Bytes({'I', 'I', 43, 0, 8, 0, 0, 0})).format, FMT_EPSON);
    // A TIFF header whose first directory cannot be read is final.
    EXPECT_EQ(DetectBytes(Bytes({'I', 'I', 42, 0, 8, 0, 0, 0})).rc, TV_R_IO);
    EXPECT_EQ(DetectBytes(Bytes({'M', 'M', 0, 42, 0, 0, 0, 8})).rc, TV_R_TIFF_MOTOROLA);
    // Too short for a header: text.
    EXPECT_EQ(DetectBytes("II").format, FMT_ASCII);

    const std::string v43 = Scratch().File("v43.bin");
    FILE* f = std::fopen(v43.c_str(), "w+b");
    ASSERT_NE(f, nullptr);
    std::fwrite("II\x2b\0\x08\0\0\0", 1, 8, f);
    int16_t format = kNone;
    EXPECT_EQ(DetectFaxFile(f, &format), TV_R_TIFF_VERSION);
    std::fclose(f);
    std::remove(v43.c_str());
}

TEST(DetectFileFormat, PrinterStreamsAndText)
{
    struct Case {
        const char* what;
        std::string bytes;
        int rc;
        int16_t format;
    } cases[] = {
        {"ESC @ then text", Esc("@") + "Hello", 0, FMT_EPSON},
        {"form feed and tabs", "a\tb\fc\r\n", 0, FMT_ASCII},
        {"bell", "ring\a", 0, FMT_EPSON},
        {"NUL", Bytes({'a', 0, 'b'}), 0, FMT_EPSON},
        {"shift out/in, DC1-DC4, CAN", Bytes({14, 15, 17, 18, 19, 20, 24}), 0, FMT_EPSON},
        {"high bytes are blanks", "caf\xe9 \xff\x80", 0, FMT_ASCII},
        {"Ctrl-Z", "end\x1a", TV_R_UNKNOWN_FORMAT, kNone},
        {"SOH", "a\x01", TV_R_UNKNOWN_FORMAT, kNone},
        {"DEL", "a\x7f", TV_R_UNKNOWN_FORMAT, kNone},
        // Bit images: the data is skipped whole, so control bytes in it do
        // not count.
        {"ESC * 4", Esc("*") + Bytes({4, 2, 0, 1, 1}) + "ok", 0, FMT_EPSON},
        {"ESC * 39", Esc("*") + Bytes({39, 2, 0, 1, 1, 1, 1, 1, 1}) + "ok", 0, FMT_EPSON},
        {"ESC * 8", Esc("*") + Bytes({8, 1, 0, 'x'}), TV_R_UNKNOWN_FORMAT, kNone},
        {"ESC * 39 is three bytes a column", Esc("*") + Bytes({39, 1, 0, 1, 1, 1, 1}),
         TV_R_UNKNOWN_FORMAT, kNone},
        {"ESC K", Esc("K") + Bytes({3, 0, 1, 1, 1}), 0, FMT_EPSON},
        {"ESC Z", Esc("Z") + Bytes({1, 0, 1}), 0, FMT_EPSON},
        {"ESC ^", Esc("^") + Bytes({1, 2, 0, 1, 1, 1, 1}), 0, FMT_EPSON},
        {"ESC ^ bad density", Esc("^") + Bytes({5, 1, 0, 1, 1}), TV_R_UNKNOWN_FORMAT, kNone},
        {"bit image past the end", Esc("*") + Bytes({39, 255, 255}), 0, FMT_EPSON},
        // Download characters: (a & 15) - ((a & 112) / 16) + 1 bytes each.
        {"ESC &", Esc("&") + Bytes({0, 'A', 'B', 0x03, 1, 1, 1, 1, 0x12, 1, 1}) + "x", 0,
         FMT_EPSON},
        {"ESC & without 0", Esc("&") + Bytes({1, 'A', 'A', 0x00, 1}), TV_R_UNKNOWN_FORMAT,
         kNone},
        {"ESC & last below first", Esc("&") + Bytes({0, 'B', 'A', 0x00, 1}),
         TV_R_UNKNOWN_FORMAT, kNone},
        {"ESC & count below 1", Esc("&") + Bytes({0, 'A', 'A', 0x30}), TV_R_UNKNOWN_FORMAT,
         kNone},
        {"ESC B tabs", Esc("B") + Bytes({1, 2, 3, 0}) + "x", 0, FMT_EPSON},
        {"ESC D unterminated", Esc("D") + Bytes({8, 16}), TV_R_UNKNOWN_FORMAT, kNone},
        {"ESC C lines", Esc("C") + Bytes({66}) + "x", 0, FMT_EPSON},
        {"ESC C 0 inches", Esc("C") + Bytes({0, 11}) + "x", 0, FMT_EPSON},
        {"ESC C 0 cut", Esc("C") + Bytes({0}), TV_R_UNKNOWN_FORMAT, kNone},
        {"ESC b", Esc("b") + Bytes({1, 9, 17, 0}) + "x", 0, FMT_EPSON},
        {"ESC 127", Esc("\x7f") + Bytes({1, 2, 2, 5, 0, 6, 0}) + "x", 0, FMT_EPSON},
        {"ESC 127 one zero short", Esc("\x7f") + Bytes({1, 2, 2, 5, 0}), TV_R_UNKNOWN_FORMAT,
         kNone},
        {"ESC ( six bytes", Esc("(") + Bytes({1, 1, 1, 1, 1, 1}) + "x", 0, FMT_EPSON},
        {"ESC : three bytes", Esc(":") + Bytes({0, 1, 0}) + "x", 0, FMT_EPSON},
        {"ESC ( cut", Esc("(") + Bytes({1, 1, 1, 1, 1}), TV_R_UNKNOWN_FORMAT, kNone},
        {"ESC !", Esc("!") + Bytes({1}) + "x", 0, FMT_EPSON},
        {"ESC \"", Esc("\""), TV_R_UNKNOWN_FORMAT, kNone},
        {"ESC high", Esc("\xc8"), TV_R_UNKNOWN_FORMAT, kNone},
        {"ESC at the end", Esc(""), TV_R_UNKNOWN_FORMAT, kNone},
    };
    for (const Case& c : cases) {
        Detected d = DetectBytes(c.bytes);
        EXPECT_EQ(d.rc, c.rc) << c.what;
        if (c.rc == 0) {
            EXPECT_EQ(d.format, c.format) << c.what;
        }
    }
}

TEST(DetectFileFormat, ScanStopsAfter101CharactersOr21Escapes)
{
    EXPECT_EQ(DetectBytes(std::string(101, 'a') + "\x01").format, FMT_ASCII);
    EXPECT_EQ(DetectBytes(std::string(100, 'a') + "\x01").rc, TV_R_UNKNOWN_FORMAT);

    std::string escapes;
    for (int i = 0; i < 20; ++i)
        escapes += Esc("@");
    EXPECT_EQ(DetectBytes(escapes + "\x01").rc, TV_R_UNKNOWN_FORMAT);
    Detected d = DetectBytes(escapes + Esc("@") + "\x01");
    EXPECT_EQ(d.rc, 0);
    EXPECT_EQ(d.format, FMT_EPSON);
}

TEST(DetectFileFormat, PostScriptNeedsThreeDefsAndThreeNamesIn15Lines)
{
    const std::string defs = "/a 1 def /b 2 def /c 3 def\n";
    EXPECT_EQ(DetectBytes(defs).format, FMT_POSTSCRIPT);
    EXPECT_EQ(DetectBytes("/a 1 def\n/b 2 def\n\n/c 3 def\n").format, FMT_POSTSCRIPT);

    std::string padding;
    for (int i = 0; i < 14; ++i)
        padding += "text\n";
    EXPECT_EQ(DetectBytes(padding + defs).format, FMT_POSTSCRIPT); // line 15
    EXPECT_EQ(DetectBytes(padding + "text\n" + defs).format, FMT_ASCII); // line 16

    // "def" must be the whole word; names must begin with "/".
    EXPECT_EQ(DetectBytes("/a 1 defx /b 2 def /c 3 def\n").format, FMT_ASCII);
    EXPECT_EQ(DetectBytes("a/ 1 def b 2 def /c 3 def\n").format, FMT_ASCII);
}

TEST(DetectFileFormat, NextWord)
{
    uint16_t len = 99;
    const char* text = "  \t/name  def\r\n";
    const char* w = NextWord(text, &len);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(std::string(w, len), "/name");
    w = NextWord(w + len, &len);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(std::string(w, len), "def");
    EXPECT_EQ(NextWord(w + len, &len), nullptr);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(NextWord("", &len), nullptr);
}
