// The test query's answer text: written and read back.
#include "tests/support/gui/testquery.h"

#include <gtest/gtest.h>

namespace tvtest {
namespace {

TEST(TestAnswerText, RoundTripsValuesWithEscapes)
{
    TestPairs pairs = {{"AppState", "2"},
                       {"Status", "Ready"},
                       {"empty", ""},
                       {"path", "T:\\USERS\\JSMITH\\"},
                       {"lines", "one\r\ntwo\n"},
                       {"eq", "a=b"}};
    std::string text = FormatTestAnswer(pairs);
    EXPECT_EQ("AppState=2\nStatus=Ready\nempty=\npath=T:\\\\USERS\\\\JSMITH\\\\\nlines=one\\r\\ntwo\\n\neq=a=b\n", text);
    std::map<std::string, std::string> back;
    ASSERT_TRUE(ParseTestAnswer(text, &back));
    ASSERT_EQ(pairs.size(), back.size());
    for (const auto &p : pairs)
        EXPECT_EQ(p.second, back[p.first]) << p.first;
}

TEST(TestAnswerText, LeavesOutKeysThatCannotBeReadBack)
{
    EXPECT_EQ("ok=1\n", FormatTestAnswer({{"a=b", "x"}, {"ok", "1"}, {"two\nlines", "y"}}));
}

TEST(TestAnswerText, RefusesMalformedText)
{
    const struct {
        const char *text;
        bool ok;
    } cases[] = {
        {"", true},
        {"a=1", true}, // no final newline
        {"a=1\nb", false},
        {"a=x\\", false},
        {"a=x\\t\n", false},
        {"\n", false},
    };
    for (const auto &c : cases) {
        std::map<std::string, std::string> out;
        EXPECT_EQ(c.ok, ParseTestAnswer(c.text, &out)) << c.text;
    }
}

} // namespace
} // namespace tvtest
