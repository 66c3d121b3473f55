// The GDI print job, three ways:
//  - on a memory device context over a bitmap, with the spooler calls
//    replaced, so that the drawn pixels and the job's calls can be checked
//    and calls can be made to fail;
//  - on an enhanced metafile, whose records show the text of text pages;
//  - on a real printer: Wine's PostScript driver with a file as its port.
//    The PostScript files are rasterised and checked by check_print.sh.
#include "common/faxprint.h"
#include "common/mhdecode.h"
#include "tests/support/testfiles.h"

#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifndef TV_PRINT_FAX
#error "TV_PRINT_FAX names the fax page file printed by the real printer test"
#endif
#ifndef TV_PRINT_OUT
#error "TV_PRINT_OUT names the folder the real printer test writes its PostScript to"
#endif

namespace {

// ------------------------------------------------------------ spooler fake

struct SpoolLog {
    int startDoc, startPage, endPage, endDoc, abortDoc;
    int failStartDoc, failStartPage, failEndPage, failEndDoc; // result to give, 1 = fine
    int width, height, dpi;
};
SpoolLog g_log;

int WINAPI FakeStartDoc(HDC, const DOCINFOA*)
{
    ++g_log.startDoc;
    return g_log.failStartDoc;
}
int WINAPI FakeStartPage(HDC)
{
    ++g_log.startPage;
    return g_log.failStartPage;
}
int WINAPI FakeEndPage(HDC)
{
    ++g_log.endPage;
    return g_log.failEndPage;
}
int WINAPI FakeEndDoc(HDC)
{
    ++g_log.endDoc;
    return g_log.failEndDoc;
}
int WINAPI FakeAbortDoc(HDC)
{
    ++g_log.abortDoc;
    return 1;
}
int WINAPI FakeDeviceCaps(HDC dc, int index)
{
    switch (index) {
    case HORZRES: return g_log.width;
    case VERTRES: return g_log.height;
    case LOGPIXELSX:
    case LOGPIXELSY: return g_log.dpi;
    default: return GetDeviceCaps(dc, index);
    }
}

const PrintSpoolOps kFakeOps = {FakeStartDoc, FakeStartPage, FakeEndPage,
                                FakeEndDoc,   FakeAbortDoc,  FakeDeviceCaps};

void ResetFake(int width, int height, int dpi)
{
    std::memset(&g_log, 0, sizeof g_log);
    g_log.failStartDoc = g_log.failStartPage = g_log.failEndPage = g_log.failEndDoc = 1;
    g_log.width = width;
    g_log.height = height;
    g_log.dpi = dpi;
    SetPrintSpoolOps(&kFakeOps);
}

// A 24-bit top-down bitmap in a memory device context, filled grey, so that
// pixels the job never touched stay grey.
struct Canvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    uint8_t* bits = nullptr;
    int width = 0, height = 0, stride = 0;

    Canvas(int w, int h) : width(w), height(h), stride((w * 3 + 3) / 4 * 4)
    {
        BITMAPINFO info;
        std::memset(&info, 0, sizeof info);
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        void* p = nullptr;
        bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<uint8_t*>(p);
        dc = CreateCompatibleDC(nullptr);
        old = SelectObject(dc, bitmap);
        if (bits)
            std::memset(bits, 0x80, static_cast<size_t>(stride) * h);
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    // 'B' black, 'W' white, 'G' untouched grey, '?' anything else.
    char At(int x, int y) const
    {
        GdiFlush();
        const uint8_t* p = bits + static_cast<size_t>(y) * stride + x * 3;
        if (p[0] == 0 && p[1] == 0 && p[2] == 0)
            return 'B';
        if (p[0] == 255 && p[1] == 255 && p[2] == 255)
            return 'W';
        if (p[0] == 0x80 && p[1] == 0x80 && p[2] == 0x80)
            return 'G';
        return '?';
    }
};

// A fax row of width pixels with black pixels [from, to).
std::vector<uint8_t> BlackRun(int width, int from, int to)
{
    std::vector<uint8_t> row((width + 7) / 8, 0);
    for (int x = from; x < to; ++x)
        row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    return row;
}

class PrintJobTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        PrintEnd(true);
        SetPrintSpoolOps(nullptr);
        SetPrintPageBitmap(true);
    }
};

} // namespace

TEST_F(PrintJobTest, RowsLandWhereTheImageSaysAndWhiteSendsNothing)
{
    for (int pageBitmap = 0; pageBitmap < 2; ++pageBitmap) {
        SCOPED_TRACE(pageBitmap ? "page bitmap" : "line by line");
        Canvas canvas(320, 200);
        ResetFake(320, 200, 100);
        SetPrintPageBitmap(pageBitmap != 0);
        ASSERT_EQ(PrintStartOnDC(canvas.dc, nullptr, 1, "rows", false, false), canvas.dc);
        // One device pixel per image pixel.
        ASSERT_EQ(PrintStartPage(320, 200, 200, nullptr, nullptr), 1);
        std::vector<uint8_t> row = BlackRun(320, 83, 93);
        std::vector<uint8_t> copy = row;
        ASSERT_EQ(PrintScanLine(row.data(), static_cast<int32_t>(row.size()), 10), 1);
        EXPECT_EQ(row, copy) << "the caller's row is not changed";
        std::vector<uint8_t> white(40, 0);
        ASSERT_EQ(PrintScanLine(white.data(), 40, 20), 1);
        // Lines outside the image and empty rows are passed over.
        EXPECT_EQ(PrintScanLine(row.data(), 40, 200), 1);
        EXPECT_EQ(PrintScanLine(row.data(), 40, -1), 1);
        EXPECT_EQ(PrintScanLine(row.data(), 0, 30), 1);
        ASSERT_EQ(PrintEndPage(), 1);
        EXPECT_EQ(PrintEnd(false), 1);

        EXPECT_EQ(canvas.At(83, 10), 'B');
        EXPECT_EQ(canvas.At(92, 10), 'B');
        EXPECT_EQ(canvas.At(82, 10), 'W'); // in the byte drawn, white
        EXPECT_EQ(canvas.At(93, 10), 'W');
        EXPECT_EQ(canvas.At(83, 9), pageBitmap ? 'W' : 'G');
        EXPECT_EQ(canvas.At(83, 30), 'G'); // not drawn at all
        EXPECT_EQ(canvas.At(83, 199), 'G'); // line 200 is outside
        // Line by line, the white bytes around the black ones and the white
        // row are never sent.
        EXPECT_EQ(canvas.At(70, 10), pageBitmap ? 'W' : 'G');
        EXPECT_EQ(canvas.At(100, 10), pageBitmap ? 'W' : 'G');
        EXPECT_EQ(canvas.At(100, 20), 'G'); // a white row is not drawn either way
        EXPECT_EQ(g_log.startPage, 1);
        EXPECT_EQ(g_log.endPage, 1);
        EXPECT_EQ(g_log.endDoc, 1);
        EXPECT_EQ(g_log.abortDoc, 0);
    }
}

TEST_F(PrintJobTest, FaxWidthFillsThePrintableWidthExactly)
{
    Canvas canvas(600, 400);
    ResetFake(600, 400, 100);
    SetPrintPageBitmap(false);
    ASSERT_TRUE(PrintStartOnDC(canvas.dc, nullptr, 1, "width", false, false));
    ASSERT_EQ(PrintStartPage(1728, 100, 100, nullptr, nullptr), 1);
    std::vector<uint8_t> edges = BlackRun(1728, 0, 8);
    std::vector<uint8_t> right = BlackRun(1728, 1720, 1728);
    for (size_t i = 0; i < edges.size(); ++i)
        edges[i] |= right[i];
    for (int line = 0; line < 100; ++line) {
        ASSERT_EQ(PrintScanLine(edges.data(), 216, line), 1);
    }
    ASSERT_EQ(PrintEndPage(), 1);
    PrintEnd(false);
    EXPECT_EQ(canvas.At(0, 0), 'B');
    EXPECT_EQ(canvas.At(599, 0), 'B');
    EXPECT_EQ(canvas.At(599, 399), 'B');
    EXPECT_EQ(canvas.At(300, 200), 'W');
}

TEST_F(PrintJobTest, FourPerSheetFillsCellsAndClosesAPartlyFilledSheet)
{
    Canvas canvas(600, 800);
    ResetFake(600, 800, 100);
    SetPrintPageBitmap(false);
    ASSERT_TRUE(PrintStartOnDC(canvas.dc, nullptr, 4, "four", false, false));
    std::vector<uint8_t> black = BlackRun(64, 0, 64);
    // Cells: 295 x 394 pixels, the second column from x 304, the second
    // row from y 406. Images 2 and 3 stay white.
    for (int image = 1; image <= 5; ++image) {
        ASSERT_EQ(PrintStartPage(64, 32, 32, nullptr, nullptr), 1) << image;
        if (image == 1 || image == 4 || image == 5) {
            for (int line = 0; line < 32; ++line) {
                ASSERT_EQ(PrintScanLine(black.data(), 8, line), 1);
            }
        }
        ASSERT_EQ(PrintEndPage(), 1) << image;
    }
    EXPECT_EQ(g_log.startPage, 2);
    EXPECT_EQ(g_log.endPage, 1);
    EXPECT_EQ(PrintEnd(false), 1);
    EXPECT_EQ(g_log.endPage, 2); // the fifth image's sheet
    EXPECT_EQ(g_log.endDoc, 1);

    EXPECT_EQ(canvas.At(0, 0), 'B');
    EXPECT_EQ(canvas.At(294, 393), 'B');
    EXPECT_EQ(canvas.At(296, 200), 'G'); // the gap
    EXPECT_EQ(canvas.At(450, 200), 'G'); // image 2: white rows send nothing
    EXPECT_EQ(canvas.At(150, 600), 'G'); // image 3
    EXPECT_EQ(canvas.At(304, 406), 'B'); // image 4
    EXPECT_EQ(canvas.At(598, 799), 'B');
}

TEST_F(PrintJobTest, ThreePerSheetPrintsOnePerSheet)
{
    Canvas canvas(100, 100);
    ResetFake(100, 100, 100);
    ASSERT_TRUE(PrintStartOnDC(canvas.dc, nullptr, 3, "three", false, false));
    for (int image = 0; image < 2; ++image) {
        ASSERT_EQ(PrintStartPage(64, 10, 10, nullptr, nullptr), 1);
        ASSERT_EQ(PrintEndPage(), 1);
    }
    EXPECT_EQ(g_log.startPage, 2);
    EXPECT_EQ(g_log.endPage, 2);
    EXPECT_EQ(PrintEnd(false), 1);
    EXPECT_EQ(g_log.endPage, 2); // no partly filled sheet is left
}

TEST_F(PrintJobTest, NoEnlargeTwoPerSheetKeepsImagePixels)
{
    Canvas canvas(800, 600);
    ResetFake(800, 600, 100);
    SetPrintPageBitmap(false);
    ASSERT_TRUE(PrintStartOnDC(canvas.dc, nullptr, -2, "small", false, false));
    std::vector<uint8_t> black = BlackRun(100, 0, 100);
    for (int image = 0; image < 2; ++image) {
        ASSERT_EQ(PrintStartPage(100, 50, 50, nullptr, nullptr), 1);
        for (int line = 0; line < 50; ++line) {
            ASSERT_EQ(PrintScanLine(black.data(), 13, line), 1);
        }
        ASSERT_EQ(PrintEndPage(), 1);
    }
    EXPECT_EQ(g_log.startPage, 1); // both on one sheet
    EXPECT_EQ(g_log.endPage, 1);
    PrintEnd(false);
    // Image width 104 (whole bytes): 104 x 50 device pixels, not the cell.
    EXPECT_EQ(canvas.At(99, 49), 'B');
    EXPECT_EQ(canvas.At(99, 50), 'G');
    EXPECT_EQ(canvas.At(110, 10), 'G');
    // The second image starts right of the first cell and its gap: 394 + 12.
    EXPECT_EQ(canvas.At(406, 0), 'B');
    EXPECT_EQ(canvas.At(405, 0), 'G');
}

TEST_F(PrintJobTest, FrameAndShadow)
{
    Canvas canvas(1000, 1000);
    ResetFake(1000, 1000, 100);
    ASSERT_TRUE(PrintStartOnDC(canvas.dc, nullptr, 1, "frame", true, true));
    // Margins 15, shadow 3 pixels; the image 970 x 970 at (15, 15).
    ASSERT_EQ(PrintStartPage(970, 970, 970, nullptr, nullptr), 1);
    ASSERT_EQ(PrintEndPage(), 1);
    PrintEnd(false);
    EXPECT_EQ(canvas.At(15, 500), 'B');  // left edge of the frame
    EXPECT_EQ(canvas.At(500, 15), 'B');  // top edge
    EXPECT_EQ(canvas.At(500, 500), 'W'); // white inside
    EXPECT_EQ(canvas.At(986, 500), 'B'); // shadow right of the image
    EXPECT_EQ(canvas.At(500, 986), 'B'); // and below it
    EXPECT_EQ(canvas.At(986, 16), 'G');  // the shadow starts 3 pixels down
    EXPECT_EQ(canvas.At(10, 500), 'G');  // the margin
}

TEST_F(PrintJobTest, ZeroOrLessFromTheSpoolerIsAFailure)
{
    Canvas canvas(100, 100);
    std::vector<uint8_t> row = BlackRun(64, 0, 8);

    ResetFake(100, 100, 100);
    g_log.failStartDoc = 0;
    EXPECT_EQ(PrintStartOnDC(canvas.dc, nullptr, 1, "doc", false, false), nullptr);
    EXPECT_EQ(PrintDC(), nullptr);

    for (int result : {0, -1}) {
        ResetFake(100, 100, 100);
        g_log.failStartPage = result;
        ASSERT_TRUE(PrintStartOnDC(canvas.dc, nullptr, 1, "page", false, false));
        EXPECT_EQ(PrintStartPage(64, 10, 10, nullptr, nullptr), 0) << result;
        EXPECT_EQ(g_log.abortDoc, 1) << result;
        EXPECT_EQ(PrintDC(), nullptr) << "the job is gone";
        EXPECT_EQ(PrintScanLine(row.data(), 8, 0), 0);

        ResetFake(100, 100, 100);
        g_log.failEndPage = result;
        ASSERT_TRUE(PrintStartOnDC(canvas.dc, nullptr, 1, "end page", false, false));
        ASSERT_EQ(PrintStartPage(64, 10, 10, nullptr, nullptr), 1);
        EXPECT_EQ(PrintEndPage(), 0) << result;
        EXPECT_EQ(g_log.abortDoc, 1) << result;
        EXPECT_EQ(g_log.endDoc, 0);
    }

    // Ending the document is reported.
    ResetFake(100, 100, 100);
    g_log.failEndDoc = 0;
    ASSERT_TRUE(PrintStartOnDC(canvas.dc, nullptr, 1, "end doc", false, false));
    ASSERT_EQ(PrintStartPage(64, 10, 10, nullptr, nullptr), 1);
    ASSERT_EQ(PrintEndPage(), 1);
    EXPECT_EQ(PrintEnd(false), 0);
    EXPECT_EQ(g_log.abortDoc, 1);

    // A partly filled sheet whose EndPage fails is not ended with EndDoc.
    ResetFake(100, 100, 100);
    g_log.failEndPage = 0;
    ASSERT_TRUE(PrintStartOnDC(canvas.dc, nullptr, 2, "partial", false, false));
    ASSERT_EQ(PrintStartPage(64, 10, 10, nullptr, nullptr), 1);
    ASSERT_EQ(PrintEndPage(), 1);
    EXPECT_EQ(PrintEnd(false), 0);
    EXPECT_EQ(g_log.endDoc, 0);
    EXPECT_EQ(g_log.abortDoc, 1);

    // Without a job nothing is drawn and the calls fail.
    EXPECT_EQ(PrintStartPage(64, 10, 10, nullptr, nullptr), 0);
    EXPECT_EQ(PrintEndPage(), 0);
    EXPECT_EQ(SetPrintFont("Arial", 100, false, false), 0);
}

namespace {

struct MetafileText {
    std::vector<std::string> texts;
    int logoX = 0, logoY = 0, logoCx = 0, logoCy = 0, logos = 0;
    std::vector<int> ruleY; // heights of the lines drawn
};

int CALLBACK CollectRecord(HDC, HANDLETABLE*, const ENHMETARECORD* rec, int, LPARAM param)
{
    MetafileText* out = reinterpret_cast<MetafileText*>(param);
    if (rec->iType == EMR_EXTTEXTOUTW) {
        const EMREXTTEXTOUTW* t = reinterpret_cast<const EMREXTTEXTOUTW*>(rec);
        const uint8_t* base = reinterpret_cast<const uint8_t*>(rec);
        std::string s;
        for (DWORD i = 0; i < t->emrtext.nChars; ++i) {
            WCHAR c;
            std::memcpy(&c, base + t->emrtext.offString + 2 * i, 2);
            s.push_back(static_cast<char>(c));
        }
        out->texts.push_back(s);
    } else if (rec->iType == EMR_LINETO) {
        out->ruleY.push_back(reinterpret_cast<const EMRLINETO*>(rec)->ptl.y);
    } else if (rec->iType == EMR_STRETCHDIBITS) {
        const EMRSTRETCHDIBITS* b = reinterpret_cast<const EMRSTRETCHDIBITS*>(rec);
        out->logoX = b->xDest;
        out->logoY = b->yDest;
        out->logoCx = b->cxDest;
        out->logoCy = b->cyDest;
        ++out->logos;
    }
    return 1;
}

} // namespace

TEST_F(PrintJobTest, TextPagesNumberAndHeadAndPlaceTheLogo)
{
    HDC emf = CreateEnhMetaFileA(nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(emf, nullptr);
    ResetFake(600, 800, 100);
    ASSERT_TRUE(PrintStartOnDC(emf, nullptr, 1, "text", false, false));
    HBITMAP logo = CreateBitmap(30, 10, 1, 1, nullptr);
    ASSERT_EQ(PrintStartPage(0, 0, 0, nullptr, nullptr), 1);
    EXPECT_GT(PrintTextY(), TEXT_MARGIN);
    EXPECT_GT(PrintLineHeight(), 0);
    ASSERT_EQ(PrintEndPage(), 1);
    ASSERT_EQ(PrintStartPage(0, 0, 0, "", nullptr), 1);
    ASSERT_EQ(PrintEndPage(), 1);
    ASSERT_EQ(PrintStartPage(0, 0, 0, "Sent Message Status Report", logo), 1);
    ASSERT_EQ(PrintEndPage(), 1);
    ASSERT_EQ(PrintStartPage(0, 0, 0, nullptr, nullptr), 1);
    ASSERT_EQ(PrintEndPage(), 1);
    PrintEnd(false);
    HENHMETAFILE mf = CloseEnhMetaFile(emf);
    ASSERT_NE(mf, nullptr);
    MetafileText found;
    RECT r = {0, 0, 600, 800};
    EnumEnhMetaFile(nullptr, mf, CollectRecord, &found, &r);
    DeleteEnhMetaFile(mf);
    DeleteObject(logo);

    std::vector<std::string> want = {"- 1 -", "- 2 -", "Sent Message Status Report", "- 2 -"};
    EXPECT_EQ(found.texts, want);
    // Only the heading has rules: one above it, one below.
    ASSERT_EQ(found.ruleY.size(), 2u);
    EXPECT_GT(found.ruleY[0], TEXT_MARGIN);
    EXPECT_GT(found.ruleY[1], found.ruleY[0]);
    // The logo: 1500 units wide, its right and bottom edges at 10100; one
    // inch is 1700 units across and 1275 down, so 1500 x 1275 / 1700 x 10 / 30.
    ASSERT_EQ(found.logos, 1);
    EXPECT_EQ(found.logoX, 8600);
    EXPECT_EQ(found.logoCx, 1500);
    EXPECT_EQ(found.logoCy, 375);
    EXPECT_EQ(found.logoY + found.logoCy, 10100);
}

// ------------------------------------------------ Wine's PostScript driver

namespace {

const char kPrinterName[] = "TAVRINE Test PS";
const char kDriverName[] = "TAVRINE Test PostScript";

// A small PPD for an A4 PostScript printer: 300 dpi, a quarter-inch
// imageable margin (18 points) all round.
const char kPpd[] =
    "*PPD-Adobe: \"4.3\"\n"
    "*FormatVersion: \"4.3\"\n"
    "*FileVersion: \"1.0\"\n"
    "*LanguageVersion: English\n"
    "*LanguageEncoding: ISOLatin1\n"
    "*PCFileName: \"TVTEST.PPD\"\n"
    "*Manufacturer: \"TAVRINE\"\n"
    "*Product: \"(TAVRINE Test)\"\n"
    "*ModelName: \"TAVRINE Test PostScript\"\n"
    "*ShortNickName: \"TAVRINE Test PostScript\"\n"
    "*NickName: \"TAVRINE Test PostScript\"\n"
    "*PSVersion: \"(3010) 0\"\n"
    "*LanguageLevel: \"3\"\n"
    "*ColorDevice: False\n"
    "*DefaultColorSpace: Gray\n"
    "*FileSystem: False\n"
    "*Throughput: \"1\"\n"
    "*LandscapeOrientation: Plus90\n"
    "*TTRasterizer: Type42\n"
    "*DefaultResolution: 300dpi\n"
    "*OpenUI *PageSize: PickOne\n"
    "*DefaultPageSize: A4\n"
    "*PageSize A4/A4: \"<</PageSize[595 842]/ImagingBBox null>>setpagedevice\"\n"
    "*CloseUI: *PageSize\n"
    "*OpenUI *PageRegion: PickOne\n"
    "*DefaultPageRegion: A4\n"
    "*PageRegion A4/A4: \"<</PageSize[595 842]/ImagingBBox null>>setpagedevice\"\n"
    "*CloseUI: *PageRegion\n"
    "*DefaultImageableArea: A4\n"
    "*ImageableArea A4/A4: \"18 18 577 824\"\n"
    "*DefaultPaperDimension: A4\n"
    "*PaperDimension A4/A4: \"595 842\"\n";

void RemovePrinter()
{
    HANDLE h = nullptr;
    PRINTER_DEFAULTSA access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (OpenPrinterA(const_cast<char*>(kPrinterName), &h, &access)) {
        DeletePrinter(h);
        ClosePrinter(h);
    }
}

// Installs the test printer on Wine's PostScript driver with port = a file.
bool InstallFilePrinter(const std::string& portFile, std::string* why)
{
    char dir[MAX_PATH];
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(dir),
                                    sizeof dir, &needed)) {
        *why = "no printer driver directory";
        return false;
    }
    CreateDirectoryA(dir, nullptr);
    if (!WriteWholeFile(std::string(dir) + "\\tvtest.ppd", kPpd)) {
        *why = "cannot write the PPD";
        return false;
    }
    DRIVER_INFO_3A di;
    std::memset(&di, 0, sizeof di);
    di.cVersion = 3;
    di.pName = const_cast<char*>(kDriverName);
    di.pDriverPath = const_cast<char*>("wineps.drv");
    di.pDataFile = const_cast<char*>("tvtest.ppd");
    di.pConfigFile = const_cast<char*>("wineps.drv");
    if (!AddPrinterDriverA(nullptr, 3, reinterpret_cast<BYTE*>(&di)) &&
        GetLastError() != ERROR_PRINTER_DRIVER_ALREADY_INSTALLED) {
        *why = "AddPrinterDriver failed";
        return false;
    }
    RemovePrinter();
    PRINTER_INFO_2A pi;
    std::memset(&pi, 0, sizeof pi);
    pi.pPrinterName = const_cast<char*>(kPrinterName);
    pi.pPortName = const_cast<char*>(portFile.c_str());
    pi.pDriverName = const_cast<char*>(kDriverName);
    pi.pPrintProcessor = const_cast<char*>("WinPrint");
    pi.pDatatype = const_cast<char*>("RAW");
    pi.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    HANDLE h = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&pi));
    if (!h) {
        *why = "AddPrinter failed";
        return false;
    }
    ClosePrinter(h);
    return true;
}

// A file of the output folder the build names (TV_PRINT_OUT, in the build
// tree), where faxprint_ps_check finds the PostScript afterwards.
std::string FullPath(const char* name)
{
    std::string p = TV_PRINT_OUT;
    if (!p.empty() && p[0] == '/')
        p = "Z:" + p; // Wine reaches the host's files through drive Z:
    for (char& c : p)
        if (c == '/')
            c = '\\';
    CreateDirectoryA(p.c_str(), nullptr);
    return p + "\\" + name;
}

// Prints through the installed printer as a caller does: the driver comes
// from the printer's line in the [devices] section.
bool StartRealJob(int pagesPerSheet, const char* title)
{
    char line[256];
    GetProfileStringA("devices", kPrinterName, "", line, sizeof line);
    char* comma = std::strchr(line, ',');
    if (comma)
        *comma = '\0';
    return PrintStart(kPrinterName, line, nullptr, nullptr, nullptr, pagesPerSheet, title, false,
                      false) != nullptr;
}

// One job into the printer's port file, then the file is renamed to name.
// The port file is written when the job is despooled; wait a little for it.
bool CollectOutput(const std::string& port, const char* name)
{
    std::string target = FullPath(name);
    DeleteFileA(target.c_str());
    for (int i = 0; i < 100; ++i) {
        std::string ps = ReadWholeFile(port);
        if (ps.find("%%EOF") != std::string::npos)
            return MoveFileA(port.c_str(), target.c_str()) != 0;
        Sleep(50);
    }
    return false;
}

} // namespace

TEST(RealPrinter, WinePostScriptDriverPrintsFaxPagesToAFile)
{
    SetPrintSpoolOps(nullptr);
    std::string port = FullPath("faxprint_port.ps");
    DeleteFileA(port.c_str());
    std::string why;
    ASSERT_TRUE(InstallFilePrinter(port, &why)) << why;

    // Job 1: a fine page, line by line as the client prints, with one black
    // block; check_print.sh finds it at the scaled place on the sheet.
    SetPrintPageBitmap(false);
    ASSERT_TRUE(StartRealJob(1, "block"));
    ASSERT_EQ(PrintStartPage(1728, 2200, 2200, nullptr, nullptr), 1);
    std::vector<uint8_t> block = BlackRun(1728, 432, 864);
    for (int line = 550; line < 1100; ++line) {
        ASSERT_EQ(PrintScanLine(block.data(), 216, line), 1);
    }
    ASSERT_EQ(PrintEndPage(), 1);
    ASSERT_EQ(PrintEnd(false), 1);
    ASSERT_TRUE(CollectOutput(port, "faxprint_block.ps"));

    // Job 2: five pages at four per sheet with the page bitmap: two sheets,
    // each image a black square in the middle of its cell.
    SetPrintPageBitmap(true);
    ASSERT_TRUE(StartRealJob(4, "four up"));
    std::vector<uint8_t> square = BlackRun(1728, 576, 1152);
    for (int image = 0; image < 5; ++image) {
        ASSERT_EQ(PrintStartPage(1728, 1100, 1100, nullptr, nullptr), 1);
        for (int line = 366; line < 733; ++line) {
            ASSERT_EQ(PrintScanLine(square.data(), 216, line), 1);
        }
        ASSERT_EQ(PrintEndPage(), 1);
    }
    ASSERT_EQ(PrintEnd(false), 1);
    ASSERT_TRUE(CollectOutput(port, "faxprint_four.ps"));
    std::string ps = ReadWholeFile(FullPath("faxprint_four.ps"));
    EXPECT_NE(ps.find("%%Pages: 2"), std::string::npos);

    // Job 3: two per sheet goes landscape.
    ASSERT_TRUE(StartRealJob(2, "two up"));
    ASSERT_EQ(PrintStartPage(1728, 1100, 1100, nullptr, nullptr), 1);
    ASSERT_EQ(PrintEndPage(), 1);
    ASSERT_EQ(PrintEnd(false), 1);
    ASSERT_TRUE(CollectOutput(port, "faxprint_two.ps"));
    ps = ReadWholeFile(FullPath("faxprint_two.ps"));
    EXPECT_NE(ps.find("%%Orientation: Landscape"), std::string::npos);

    // Job 4: a fax page file decoded row by row and printed as the client
    // prints (rows reported white are not sent), on a fine page's length.
    SetPrintPageBitmap(false);
    FILE* fax = std::fopen(TV_PRINT_FAX, "rb");
    ASSERT_NE(fax, nullptr) << TV_PRINT_FAX;
    uint16_t width = 0, lines = 0, yres = 0;
    uint32_t stripBytes = 0;
    ASSERT_EQ(OpenFaxPage(fax, 0, &width, &lines, &stripBytes, &yres, nullptr), 1);
    ASSERT_TRUE(StartRealJob(1, "fax page"));
    ASSERT_EQ(PrintStartPage(width, lines, 2200, nullptr, nullptr), 1);
    uint8_t row[FAX_ROW_BYTES];
    int blackRows = 0;
    for (int line = 0; line < lines; ++line) {
        int rc = ReadNextFaxLine(row, sizeof row);
        ASSERT_GE(rc, 0) << "line " << line;
        if (rc == FAX_ROW_BLACK) {
            ++blackRows;
            ASSERT_EQ(PrintScanLine(row, width / 8, line), 1);
        }
    }
    std::fclose(fax);
    EXPECT_GT(blackRows, 0);
    ASSERT_EQ(PrintEndPage(), 1);
    ASSERT_EQ(PrintEnd(false), 1);
    ASSERT_TRUE(CollectOutput(port, "faxprint_fax.ps"));

    RemovePrinter();
    SetPrintPageBitmap(true);
}
