// Legibility of the shipped fonts: a page of known text is rendered through
// the raster at fine and at normal resolution and read back by an OCR
// program no one here wrote (tesseract). Skipped where it is not installed.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "server/convert/raster.h"
#include "tests/support/tempdir.h"

namespace {

const char *const kText[] = {
    "Dear Sir or Madam, thank you for your order of 12 March.",
    "Please find the invoice for the goods attached below.",
    "Item 4711: copper pipe, 15 mm, 40 pieces at 3.25 each.",
    "Delivery is planned for Tuesday, between 9 and 11 am.",
    "Questions? Call 020 7946 0321 or write to our office.",
    "The quick brown fox jumps over the lazy dog 1234567890.",
    "Kind regards, Jane Wilkinson, Accounts Department",
};

std::vector<std::vector<unsigned char>> g_rows;
int g_repeat;
TvStatus Collect(void *, const unsigned char *row, int bytes, int) {
    for (int i = 0; i < g_repeat; i++) g_rows.emplace_back(row, row + bytes);
    return TV_OK;
}

// Renders the text with one font size and family; rows at normal
// resolution are written twice so that the image keeps its proportions.
void RenderPage(int res, int size, int sans, const char *pbm) {
    RasterReset();
    snprintf(g_rasterSettings.fontDir, sizeof g_rasterSettings.fontDir, "%s", TAVRINE_FONT_DIR);
    RasterOutput out = {};
    out.writeRow = Collect;
    RasterSetOutput(&out);
    RasterSetResolution(res);
    SelectFontSet(0);
    g_raster.sansSerif = sans;
    ASSERT_EQ(LoadFontSize(size), TV_OK);
    SetImageDensVars(GEOM_PORTRAIT);
    RasterStartPage();
    g_rows.clear();
    g_repeat = res == RES_NORMAL ? 2 : 1;
    for (const char *line : kText) {
        for (const char *p = line; *p; p++) WriteChar(static_cast<unsigned char>(*p));
        ASSERT_EQ(OutputLine(g_raster.lineSpacing), TV_OK);
        g_raster.x = g_raster.leftLimit;
    }
    ASSERT_EQ(OutputLine(4 * g_raster.lineSpacing), TV_OK);
    FILE *f = fopen(pbm, "wb");
    ASSERT_NE(f, nullptr);
    fprintf(f, "P4\n%d %d\n", RASTER_PAGE_PIXELS, int(g_rows.size()));
    for (const auto &r : g_rows) fwrite(r.data(), 1, r.size(), f);
    fclose(f);
    RasterReset();
}

size_t EditDistance(const std::string &a, const std::string &b) {
    std::vector<size_t> prev(b.size() + 1), cur(b.size() + 1);
    for (size_t j = 0; j <= b.size(); j++) prev[j] = j;
    for (size_t i = 1; i <= a.size(); i++) {
        cur[0] = i;
        for (size_t j = 1; j <= b.size(); j++)
            cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
        prev.swap(cur);
    }
    return prev[b.size()];
}

// Blanks and line ends are not counted: runs of them become one blank.
std::string Squeeze(const std::string &s) {
    std::string out;
    for (char c : s) {
        bool space = c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f';
        if (space) {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

// Reads the page with tesseract, which writes its text to outBase + ".txt".
double Accuracy(const std::string &pbm, const std::string &outBase, std::string *read) {
    std::string cmd = "tesseract '" + pbm + "' '" + outBase + "' -l eng --psm 6 >/dev/null 2>&1";
    int rc = std::system(cmd.c_str());
    if (rc == -1 || !WIFEXITED(rc) || WEXITSTATUS(rc) != 0) return -1;
    std::ifstream f(outBase + ".txt");
    *read = Squeeze(std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()));
    std::string want;
    for (const char *line : kText) want += std::string(line) + "\n";
    want = Squeeze(want);
    return 1.0 - double(EditDistance(want, *read)) / double(want.size());
}

TEST(FontLegibility, OcrReadsRenderedText) {
    if (std::system("tesseract --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "tesseract not installed";
    struct Case {
        int res, size, sans;
        double least; // share of characters read right
        const char *name;
    };
    const Case cases[] = {
        {RES_FINE, FONTSIZE_PICA, 0, 0.98, "pica fine"},   {RES_FINE, FONTSIZE_PICA, 1, 0.98, "sans18 fine"},
        {RES_FINE, FONTSIZE_ELITE, 0, 0.98, "elite fine"}, {RES_FINE, FONTSIZE_ELITE, 1, 0.98, "sans11 fine"},
        {RES_NORMAL, FONTSIZE_PICA, 0, 0.95, "pica normal"}, {RES_NORMAL, FONTSIZE_PICA, 1, 0.95, "sans18 normal"},
        {RES_NORMAL, FONTSIZE_ELITE, 0, 0.95, "elite normal"}, {RES_NORMAL, FONTSIZE_ELITE, 1, 0.95, "sans11 normal"},
    };
    tvtest::TempDir tmp("ocr");
    const std::string page = tmp.File("page.pbm"), out = tmp.File("out");
    for (const Case &c : cases) {
        RenderPage(c.res, c.size, c.sans, page.c_str());
        std::string read;
        double acc = Accuracy(page, out, &read);
        ASSERT_GE(acc, -0.5) << "tesseract failed on " << c.name;
        printf("%-14s %.4f\n", c.name, acc);
        EXPECT_GE(acc, c.least) << c.name << " read as: " << read;
    }
}

} // namespace
