// The committed bitmap fonts and width tables are what tools/fontgen makes:
// re-runs the tool where FreeType and the source fonts are present and
// compares byte for byte. Skipped where the tool cannot run.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "server/convert/raster.h"
#include "tests/support/tempdir.h"

namespace {

std::string ReadAll(const std::string &path, bool *ok) {
    std::ifstream f(path, std::ios::binary);
    *ok = bool(f);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

TEST(FontgenCheck, CommittedFontsAreWhatTheToolMakes) {
    std::string tool = FONTGEN_EXE;
    if (tool.empty()) GTEST_SKIP() << "fontgen not built (FreeType missing)";
    tvtest::TempDir out("fontgen");
    std::string cmd = tool + " '" + out.Path() + "' '" + out.File("fontwidths.cpp") + "'";
    int rc = std::system(cmd.c_str());
    ASSERT_NE(rc, -1);
    ASSERT_TRUE(WIFEXITED(rc));
    if (WEXITSTATUS(rc) == 77) GTEST_SKIP() << "source fonts not installed";
    ASSERT_EQ(WEXITSTATUS(rc), 0);

    const std::string src = TAVRINE_SOURCE_DIR;
    for (int set = 0; set < 2; set++)
        for (int family = 0; family < 4; family++)
            for (int kind : {FONT_FULL, FONT_SUBSUP})
                for (int fine = 0; fine < 2; fine++) {
                    std::string name = FontFileName(set, family, kind, fine);
                    bool okMade, okCommitted;
                    std::string made = ReadAll(out.File(name), &okMade);
                    std::string committed = ReadAll(src + "/fonts/" + name, &okCommitted);
                    ASSERT_TRUE(okMade) << name;
                    ASSERT_TRUE(okCommitted) << name;
                    EXPECT_TRUE(made == committed) << name << " differs from what fontgen makes";
                }
    bool okMade, okCommitted;
    std::string made = ReadAll(out.File("fontwidths.cpp"), &okMade);
    std::string committed = ReadAll(src + "/server/convert/fontwidths.cpp", &okCommitted);
    ASSERT_TRUE(okMade && okCommitted);
    EXPECT_TRUE(made == committed) << "server/convert/fontwidths.cpp differs from what fontgen makes";
}

} // namespace
