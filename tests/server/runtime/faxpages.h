// Test pages for the encoder tests: random rows of several kinds, pages
// written with the multi-page writer, and the ITU charts' location.
#ifndef TAVRINE_TESTS_SERVER_RUNTIME_FAXPAGES_H
#define TAVRINE_TESTS_SERVER_RUNTIME_FAXPAGES_H

#include <random>
#include <string>
#include <vector>

#include "server/runtime/mhencode.h"
#include "tests/support/mhtestutil.h"

namespace faxpages {

// style 0 white, 1 black, 2 alternating pixels, 3.. runs of random lengths
// (longer for higher styles).
inline std::vector<uint8_t> RandomRow(std::mt19937& rng, uint32_t width, int style)
{
    std::vector<uint8_t> row((width + 7) / 8, 0);
    if (style == 1)
        std::fill(row.begin(), row.end(), 0xFF);
    else if (style == 2)
        std::fill(row.begin(), row.end(), 0x55);
    else if (style >= 3) {
        uint32_t scale = 1u << (2 * (style - 3));
        bool black = rng() % 2 == 0;
        for (uint32_t x = 0; x < width;) {
            uint32_t run = 1 + rng() % (4 * scale);
            if (rng() % 16 == 0)
                run = rng() % width;
            for (uint32_t i = 0; i < run && x < width; ++i, ++x)
                if (black)
                    row[x / 8] = static_cast<uint8_t>(row[x / 8] | (0x80 >> (x % 8)));
            black = !black;
        }
    }
    if (width % 8)
        row.back() = static_cast<uint8_t>(row.back() & (0xFF << (8 - width % 8)));
    return row;
}

inline mht::Pbm RandomPage(std::mt19937& rng, uint32_t width, uint32_t height)
{
    mht::Pbm p;
    p.width = width;
    p.height = height;
    for (uint32_t y = 0; y < height; ++y) {
        std::vector<uint8_t> r = RandomRow(rng, width, static_cast<int>(rng() % 7));
        p.bits.insert(p.bits.end(), r.begin(), r.end());
    }
    return p;
}

// Writes the pages (all of the first page's width) with WriteTiffFaxRow.
inline int WritePages(FILE* f, const std::vector<mht::Pbm>& pages, uint16_t yres)
{
    FaxPageState state;
    int rc = StartTiffFaxFile(f, &state, static_cast<uint16_t>(pages[0].width), yres);
    for (size_t p = 0; p < pages.size() && rc == 0; ++p)
        for (uint32_t y = 0; y < pages[p].height && rc == 0; ++y) {
            bool lastRow = y + 1 == pages[p].height;
            bool lastPage = lastRow && p + 1 == pages.size();
            rc = WriteTiffFaxRow(f, &state, pages[p].Row(y), static_cast<uint16_t>(pages[p].RowBytes()),
                                 lastRow && !lastPage, lastPage);
        }
    std::fflush(f);
    return rc;
}

// The ITU charts itu1.pbm .. itu8.pbm are required: a missing one fails the
// test that reads it, with this message.
inline std::string ItuChart(int i) { return std::string(TV_ITU_CHARTS) + "/itu" + std::to_string(i) + ".pbm"; }
inline std::string ItuChartMissing(int i)
{
    return "ITU test chart " + ItuChart(i) +
           " is missing or not a P4 bitmap: the charts itu1.pbm .. itu8.pbm belong in "
           "../shared/testdata/itu-charts beside the checkout (or configure with -DTAVRINE_ITU_CHARTS=<folder>)";
}

} // namespace faxpages

#endif
