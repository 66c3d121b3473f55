// Delimited-text import: first line, delimiter guess, field splitting.
#include "client/shell/splitter.h"

#include "tests/support/tempdir.h"
#include "tests/support/testfiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Splits a whole line; "!" marks an error.
std::vector<std::string> SplitAll(const char *line, int kind)
{
    std::vector<std::string> fields;
    const char *p = line;
    for (int guard = 0; p && guard < 100; ++guard) {
        char field[TV_FIELD_SIZE];
        int error = -1;
        p = SplitDelimitedField(p, kind, field, &error);
        if (error) {
            fields.push_back("!");
            break;
        }
        fields.push_back(field);
    }
    return fields;
}

TEST(Splitter, Fields)
{
    const std::string f40(40, 'a'), f41(41, 'a'), q41 = "\"" + f41 + "\"";
    const struct {
        std::string line;
        int kind;
        std::vector<std::string> fields;
    } cases[] = {
        {"Smith,\"Jones, Ltd\",0181 555 1234", 1, {"Smith", "Jones, Ltd", "0181 555 1234"}},
        {"\"\",x", 1, {"", "x"}},
        {",,", 1, {"", "", ""}},
        {"\"open,x", 1, {"!"}},
        {"abc\"def\",g", 1, {"def", "g"}},
        {"\"name\" x\ty", 2, {"name", "y"}},
        {"a b  c", 3, {"a", "b", "", "c"}},
        {f40, 1, {f40}},
        {f41, 1, {"!"}},
        {q41, 1, {"!"}},
        {"a,b", 4, {"!"}},
        {"a,b", 0, {"!"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(c.fields, SplitAll(c.line.c_str(), c.kind));
    }
}

TEST(Splitter, GuessDelimiter)
{
    const std::pair<const char *, int> cases[] = {
        {"a,b", TV_DELIM_COMMA}, {"a\tb,c", TV_DELIM_TAB},      {"a b c", TV_DELIM_NONE},
        {"\"x,y\"\tz", TV_DELIM_TAB}, {"\"x,y\" z", TV_DELIM_NONE}, {"\"x,y", TV_DELIM_NONE},
        {"\"a\tb,c", TV_DELIM_COMMA}, {"", TV_DELIM_NONE},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.second, GuessDelimiter(c.first)) << c.first;
}

TEST(Splitter, FirstLineAndCount)
{
    tvtest::TempDir dir("split");
    const struct {
        std::string bytes;
        int result;
        std::string first;
        int lines;
    } cases[] = {
        {"a,b\r\nc\r\nd\r\n", 1, "a,b\r", 3},
        {std::string(255, 'x') + "\n", 1, std::string(255, 'x'), 1},
        {std::string(256, 'x') + "\n", 0, "", 0},
        {"no line feed", 1, "no line feed", 0},
        {"", 1, "", 0},
    };
    for (const auto &c : cases) {
        std::string path = dir.File("IMPORT.TXT");
        ASSERT_TRUE(WriteWholeFile(path, c.bytes));
        char line[TV_FIRST_LINE_SIZE] = {};
        int lines = 0;
        EXPECT_EQ(c.result, ReadFirstLine(path.c_str(), line, &lines)) << c.bytes.size();
        if (c.result) {
            EXPECT_EQ(c.first, line);
            EXPECT_EQ(c.lines, lines);
        }
    }
    char line[TV_FIRST_LINE_SIZE] = {};
    int lines = 0;
    EXPECT_EQ(0, ReadFirstLine(dir.File("NONE.TXT").c_str(), line, &lines));
}

} // namespace
