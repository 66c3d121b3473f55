#include "tests/support/tempdir.h"
#include "tests/support/testfiles.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

TEST(TempDir, EachIsNewAndGoesWithEverythingInIt)
{
    std::string kept;
    {
        tvtest::TempDir a("self"), b("self");
        ASSERT_NE(a.Path(), b.Path());
        EXPECT_TRUE(fs::is_directory(a.Path()));
        EXPECT_TRUE(fs::is_empty(a.Path()));
        std::string sub = a.MakeDir("one/two");
        EXPECT_TRUE(fs::is_directory(sub));
        // Either separator inside a relative name.
        ASSERT_TRUE(WriteWholeFile(a.File("one\\two/f.txt"), "x"));
        EXPECT_EQ(ReadWholeFile(a.File("one/two\\f.txt")), "x");
        kept = a.Path();
    }
    EXPECT_FALSE(fs::exists(kept));
}
