// Outside checks of the fax page codec (native tree only): our pages read by
// libtiff (tiffinfo -D, tiffcp, tiff2pdf) and netpbm (tifftopnm) with exactly
// our pixels, and pages written by libtiff, Ghostscript and netpbm read by our
// decoder pixel for pixel. A check whose tool is missing is skipped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <unistd.h>

#include "common/faxtiff.h"
#include "common/mhdecode.h"
#include "server/runtime/mhencode.h"
#include "tests/support/mhtestutil.h"
#include "tests/server/runtime/faxpages.h"

namespace {

bool HaveTool(const char* name)
{
    std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

#define REQUIRE_TOOLS(...)                                                   \
    for (const char* tool : {__VA_ARGS__})                                   \
        if (!HaveTool(tool))                                                 \
    GTEST_SKIP() << tool << " is not installed"

// A scratch name in this process's scratch folder (removed at the end).
std::string Scratch(const std::string& name)
{
    return mht::ScratchDir().File(name);
}

// Runs a shell command; its exit status.
int Shell(const std::string& cmd) { return std::system(cmd.c_str()); }

std::vector<mht::Pbm> ReadPbms(const std::string& path)
{
    std::vector<mht::Pbm> out;
    std::vector<uint8_t> d = mht::ReadWholeFile(path);
    size_t pos = 0;
    mht::Pbm p;
    while (pos < d.size() && mht::ParsePbm(d, &pos, &p)) {
        out.push_back(p);
        while (pos < d.size() && (d[pos] == '\n' || d[pos] == ' '))
            ++pos;
    }
    return out;
}

// Decodes every page of a fax file with our readers.
std::vector<mht::Pbm> DecodeAll(FILE* f, std::vector<int>* badRows = nullptr)
{
    std::vector<mht::Pbm> pages;
    uint16_t count = 0;
    if (CountFaxPages(f, &count) != 0)
        return pages;
    for (uint16_t p = 0; p < count; ++p) {
        uint16_t width, lines;
        if (!OpenFaxPage2(f, p, &width, &lines, nullptr, nullptr, nullptr))
            break;
        mht::Pbm page;
        page.width = width;
        page.height = lines;
        std::vector<uint8_t> row(FAX_ROW_BYTES);
        int bad = 0;
        for (uint32_t y = 0; y < lines; ++y) {
            int r = ReadNextFaxLine2(row.data(), row.size());
            bad += r < 0;
            page.bits.insert(page.bits.end(), row.begin(), row.begin() + page.RowBytes());
        }
        if (badRows)
            badRows->push_back(bad);
        pages.push_back(page);
    }
    return pages;
}

// Decodes the first page of a foreign file after normalising a copy of it.
mht::Pbm DecodeForeign(const std::string& path, int* normalise, int* bad)
{
    mht::TempFile t(mht::ReadWholeFile(path));
    *normalise = NormaliseFaxFile(t.f);
    std::vector<int> badRows;
    std::vector<mht::Pbm> pages = DecodeAll(t.f, &badRows);
    *bad = badRows.empty() ? -1 : badRows[0];
    return pages.empty() ? mht::Pbm() : pages[0];
}

void ExpectSamePixels(const mht::Pbm& want, const mht::Pbm& got)
{
    ASSERT_EQ(want.width, got.width);
    ASSERT_EQ(want.height, got.height);
    for (uint32_t y = 0; y < want.height; ++y)
        ASSERT_EQ(0, std::memcmp(want.Row(y), got.Row(y), want.RowBytes())) << "row " << y;
}

} // namespace

// Our multi-page file (one page over 64 KB of data) through libtiff and netpbm.
TEST(FaxTools, OurPagesReadByLibtiffAndNetpbm)
{
    REQUIRE_TOOLS("tiffinfo", "tiffcp", "tiff2pdf", "tifftopnm");
    std::mt19937 rng(9);
    std::vector<mht::Pbm> pages = {faxpages::RandomPage(rng, 1728, 30), faxpages::RandomPage(rng, 1728, 900),
                                   faxpages::RandomPage(rng, 1728, 7)};
    std::string tif = Scratch("ours.tif"), pnm = Scratch("ours.pnm"), err = Scratch("err.txt"),
                pdf = Scratch("ours.pdf"), plain = Scratch("plain.tif");
    {
        FILE* f = std::fopen(tif.c_str(), "w+b");
        ASSERT_NE(nullptr, f);
        ASSERT_EQ(0, faxpages::WritePages(f, pages, 196));
        uint32_t stripBytes = 0;
        ASSERT_EQ(1, OpenFaxPage2(f, 1, nullptr, nullptr, &stripBytes, nullptr, nullptr));
        EXPECT_GT(stripBytes, 65535u);
        std::fclose(f);
    }
    EXPECT_EQ(0, Shell("tiffinfo -D " + tif + " >/dev/null 2>" + err));
    EXPECT_EQ("", std::string(mht::ReadWholeFile(err).begin(), mht::ReadWholeFile(err).end()));
    EXPECT_EQ(0, Shell("tiff2pdf -o " + pdf + " " + tif + " 2>" + err));
    EXPECT_EQ(0, Shell("tifftopnm " + tif + " >" + pnm + " 2>/dev/null"));
    std::vector<mht::Pbm> back = ReadPbms(pnm);
    ASSERT_EQ(3u, back.size());
    for (size_t p = 0; p < 3; ++p) {
        SCOPED_TRACE(p);
        ExpectSamePixels(pages[p], back[p]);
    }
    // libtiff decodes and re-writes the pages uncompressed with the same pixels.
    EXPECT_EQ(0, Shell("tiffcp -c none " + tif + " " + plain + " 2>" + err));
    EXPECT_EQ(0, Shell("tifftopnm " + plain + " >" + pnm + " 2>/dev/null"));
    back = ReadPbms(pnm);
    ASSERT_EQ(3u, back.size());
    ExpectSamePixels(pages[1], back[1]);
    for (const std::string& s : {tif, pnm, err, pdf, plain})
        std::remove(s.c_str());
}

// Pages coded by libtiff in both fill orders and several strips.
TEST(FaxTools, LibtiffPagesReadByOurDecoder)
{
    REQUIRE_TOOLS("pnmtotiff", "tiffcp");
    std::mt19937 rng(13);
    mht::Pbm page = faxpages::RandomPage(rng, 1728, 120);
    std::string pbm = Scratch("lt.pbm"), raw = Scratch("lt_raw.tif"), g3 = Scratch("lt_g3.tif");
    ASSERT_TRUE(mht::WritePbm(pbm, page));
    ASSERT_EQ(0, Shell("pnmtotiff -miniswhite -xresolution 204 -yresolution 98 " + pbm + " >" + raw + " 2>/dev/null"));
    const char* const options[] = {"-f lsb2msb", "-f msb2lsb", "-f lsb2msb -r 37", "-f msb2lsb -r 16",
                                   "-f lsb2msb -r 1"};
    for (const char* opt : options) {
        SCOPED_TRACE(opt);
        ASSERT_EQ(0, Shell(std::string("tiffcp -c g3:1d ") + opt + " " + raw + " " + g3));
        int normalise, bad;
        mht::Pbm got = DecodeForeign(g3, &normalise, &bad);
        EXPECT_EQ(0, normalise);
        EXPECT_EQ(0, bad);
        ExpectSamePixels(page, got);
    }
    // Two-dimensional coding is refused with the compression code.
    ASSERT_EQ(0, Shell("tiffcp -c g3:2d " + raw + " " + g3));
    FILE* f = std::fopen(g3.c_str(), "rb");
    ASSERT_NE(nullptr, f);
    static MhDecoder dec;
    EXPECT_EQ(TV_R_TIFF_COMPRESSION, OpenFaxPageStatus(&dec, f, 0, nullptr, nullptr, nullptr, nullptr, nullptr));
    std::fclose(f);
    for (const std::string& s : {pbm, raw, g3})
        std::remove(s.c_str());
}

// Ghostscript's fax devices at fine and normal resolution.
TEST(FaxTools, GhostscriptPagesReadByOurDecoder)
{
    REQUIRE_TOOLS("gs");
    std::string ps = Scratch("gs.ps"), tif = Scratch("gs.tif"), pbm = Scratch("gs.pbm");
    {
        FILE* f = std::fopen(ps.c_str(), "wb");
        ASSERT_NE(nullptr, f);
        std::fputs("%!PS\n/Helvetica findfont 18 scalefont setfont\n"
                   "20 20 moveto (Fax page 0123456789 ABCDEFGHIJ) show\n"
                   "newpath 100 10 moveto 700 60 lineto 4 setlinewidth stroke\n"
                   "newpath 400 35 25 0 360 arc fill showpage\n",
                   f);
        std::fclose(f);
    }
    struct Case {
        const char* res;
        const char* size;
        uint16_t yres;
    };
    const Case cases[] = {{"204x196", "1728x160", 200}, {"204x98", "1728x80", 100}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.res);
        std::string common = std::string(" -q -dNOPAUSE -dBATCH -dSAFER -r") + c.res + " -g" + c.size;
        ASSERT_EQ(0, Shell("gs -sDEVICE=tiffg3" + common + " -sOutputFile=" + tif + " " + ps));
        ASSERT_EQ(0, Shell("gs -sDEVICE=pbmraw" + common + " -sOutputFile=" + pbm + " " + ps));
        int normalise, bad;
        mht::Pbm got = DecodeForeign(tif, &normalise, &bad);
        EXPECT_EQ(0, normalise);
        EXPECT_EQ(0, bad);
        ExpectSamePixels(mht::ReadPbm(pbm), got);
        FILE* f = std::fopen(tif.c_str(), "rb");
        ASSERT_NE(nullptr, f);
        mht::TempFile t(mht::ReadWholeFile(tif));
        ASSERT_EQ(0, NormaliseFaxFile(t.f));
        uint16_t yres;
        ASSERT_EQ(1, OpenFaxPage2(t.f, 0, nullptr, nullptr, nullptr, &yres, nullptr));
        EXPECT_EQ(c.yres, yres);
        std::fclose(f);
    }
    // The two-dimensional device is refused.
    ASSERT_EQ(0, Shell("gs -sDEVICE=tiffg32d -q -dNOPAUSE -dBATCH -dSAFER -r204x196 -g1728x64 -sOutputFile=" + tif +
                     " " + ps));
    mht::TempFile t(mht::ReadWholeFile(tif));
    ASSERT_EQ(0, NormaliseFaxFile(t.f));
    static MhDecoder dec;
    EXPECT_EQ(TV_R_TIFF_COMPRESSION, OpenFaxPageStatus(&dec, t.f, 0, nullptr, nullptr, nullptr, nullptr, nullptr));
    for (const std::string& s : {ps, tif, pbm})
        std::remove(s.c_str());
}

// netpbm's raw G3 (least significant bit first), wrapped into a page by the copy engine.
TEST(FaxTools, NetpbmG3ReadByOurDecoder)
{
    REQUIRE_TOOLS("pbmtog3");
    std::mt19937 rng(17);
    mht::Pbm page = faxpages::RandomPage(rng, 1728, 60);
    std::string pbm = Scratch("np.pbm"), g3 = Scratch("np.g3");
    ASSERT_TRUE(mht::WritePbm(pbm, page));
    ASSERT_EQ(0, Shell("pbmtog3 -reversebits " + pbm + " >" + g3 + " 2>/dev/null"));
    std::vector<uint8_t> data = mht::ReadWholeFile(g3);
    ASSERT_FALSE(data.empty());
    mht::TempFile t;
    FaxDest dst;
    ASSERT_EQ(0, CreateFaxFile(t.f, &dst, 196, 1728));
    ASSERT_EQ(0, WriteFaxBlock(t.f, &dst, data.data(), static_cast<uint32_t>(data.size()), 1, 1));
    // The end of page (six EOLs) counts as five more lines, which read as -2.
    EXPECT_GE(dst.lines, 60);
    std::vector<mht::Pbm> pages = DecodeAll(t.f);
    ASSERT_EQ(1u, pages.size());
    pages[0].height = 60;
    pages[0].bits.resize(60 * 216);
    ExpectSamePixels(page, pages[0]);
    std::remove(pbm.c_str());
    std::remove(g3.c_str());
}

// The ITU charts through our encoder and libtiff's decoder, and the other way round.
TEST(FaxTools, ItuChartsBothWays)
{
    REQUIRE_TOOLS("tifftopnm", "pnmtotiff", "tiffcp");
    for (int i = 1; i <= 8; ++i) {
        mht::Pbm chart = mht::ReadPbm(faxpages::ItuChart(i));
        ASSERT_NE(0u, chart.width) << faxpages::ItuChartMissing(i);
        SCOPED_TRACE(i);
        std::string tif = Scratch("itu.tif"), pnm = Scratch("itu.pnm"), raw = Scratch("itu_raw.tif");
        FILE* f = std::fopen(tif.c_str(), "w+b");
        ASSERT_NE(nullptr, f);
        ASSERT_EQ(0, faxpages::WritePages(f, {chart}, 196));
        std::fclose(f);
        ASSERT_EQ(0, Shell("tifftopnm " + tif + " >" + pnm + " 2>/dev/null"));
        std::vector<mht::Pbm> back = ReadPbms(pnm);
        ASSERT_EQ(1u, back.size());
        ExpectSamePixels(chart, back[0]);

        ASSERT_EQ(0, Shell("pnmtotiff -miniswhite -xresolution 204 -yresolution 196 " + faxpages::ItuChart(i) + " >" +
                         raw + " 2>/dev/null"));
        ASSERT_EQ(0, Shell("tiffcp -c g3:1d -f lsb2msb " + raw + " " + tif));
        int normalise, bad;
        mht::Pbm got = DecodeForeign(tif, &normalise, &bad);
        EXPECT_EQ(0, normalise);
        ExpectSamePixels(chart, got);
        for (const std::string& s : {tif, pnm, raw})
            std::remove(s.c_str());
    }
}
