// Control-file reading, searching, value access and rewriting.
#include "common/ctlfile.h"
#include "common/liblog.h"
#include "common/platform.h"
#include "common/sharedfile.h"
#include "common/status.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A read/write stream holding the given bytes, positioned at the start.
FILE *StreamOf(const std::string &bytes)
{
    FILE *f = std::tmpfile();
    if (!f)
        return nullptr;
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    return f;
}

std::string Contents(FILE *f)
{
    std::string s;
    std::rewind(f);
    int c;
    while ((c = std::getc(f)) != EOF)
        s.push_back(static_cast<char>(c));
    return s;
}

// Lines joined with CR LF, each line ended.
std::string Crlf(const std::vector<std::string> &lines)
{
    std::string s;
    for (const std::string &l : lines)
        s += l + "\r\n";
    return s;
}

std::string ReadFileBytes(const char *path)
{
    FILE *f = std::fopen(path, "rb");
    if (!f)
        return "<missing>";
    std::string s = Contents(f);
    std::fclose(f);
    return s;
}

void WriteFileBytes(const char *path, const std::string &bytes)
{
    FILE *f = std::fopen(path, "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

bool Exists(const char *path)
{
    FILE *f = std::fopen(path, "rb");
    if (f)
        std::fclose(f);
    return f != nullptr;
}

} // namespace

// ---------------------------------------------------------------- ReadControlLine

struct ReadCase {
    const char *name;
    std::string input;
    std::vector<std::string> lines; // every line the reader returns, in order
};

TEST(ReadControlLine, CleansAndSplitsLines)
{
    const std::string a300(300, 'A');
    const std::string a280(280, 'A');
    const std::string b279(279, 'B');
    const ReadCase cases[] = {
        {"long line cut, next line intact", a300 + "\r\nNext\r\n", {a280, "Next"}},
        {"exactly 280 then CR LF", a280 + "\r\nNext\r\n", {a280, "Next"}},
        {"279 then CR LF", b279 + "\r\nNext\r\n", {b279, "Next"}},
        {"long last line without line feed", a300, {a280}},
        {"tab and BEL become blanks, trailing trimmed", "Key:\tvalue\a\r\n", {"Key: value"}},
        {"leading tab becomes a blank", "\tComment\r\n", {" Comment"}},
        {"NUL inside a line", std::string("A\0B\r\nNext\r\n", 11), {"A B", "Next"}},
        {"NUL only line", std::string("\0\r\nX", 4), {"", "X"}},
        {"NUL in a long line costs nothing",
         std::string(290, 'C').replace(10, 1, std::string(1, '\0')) + "\nNext\n",
         {std::string(10, 'C') + " " + std::string(269, 'C'), "Next"}},
        {"bytes 128-255 kept", "Name: M\xFC" "ller \xFF\xA0\r\n", {"Name: M\xFC" "ller \xFF\xA0"}},
        {"DEL becomes a blank", "A\x7F" "B\r\n", {"A B"}},
        {"line feed endings", "One\nTwo\n\nFour", {"One", "Two", "", "Four"}},
        {"empty lines", "\r\n\r\n", {"", ""}},
        {"empty file", "", {}},
    };
    for (const ReadCase &c : cases) {
        SCOPED_TRACE(c.name);
        FILE *f = StreamOf(c.input);
        ASSERT_NE(f, nullptr);
        char buf[TV_LINE_SIZE];
        std::vector<std::string> got;
        while (ReadControlLine(f, buf, sizeof buf, nullptr))
            got.push_back(buf);
        EXPECT_EQ(got, c.lines);
        EXPECT_FALSE(std::ferror(f));
        std::fclose(f);
    }
}

TEST(ReadControlLine, LineStartsAndSmallBuffer)
{
    FILE *f = StreamOf("[P]\r\nKey: 1234567890\r\nNext\r\n");
    ASSERT_NE(f, nullptr);
    char buf[8];
    int32_t pos = -1;
    ASSERT_TRUE(ReadControlLine(f, buf, sizeof buf, &pos));
    EXPECT_EQ(pos, 0);
    EXPECT_STREQ(buf, "[P]");
    ASSERT_TRUE(ReadControlLine(f, buf, sizeof buf, &pos));
    EXPECT_EQ(pos, 5);
    EXPECT_STREQ(buf, "Key: 12"); // cut to size - 1, the rest dropped
    ASSERT_TRUE(ReadControlLine(f, buf, sizeof buf, &pos));
    EXPECT_EQ(pos, 22);
    EXPECT_STREQ(buf, "Next");
    EXPECT_FALSE(ReadControlLine(f, buf, sizeof buf, &pos));
    std::fclose(f);
}

// ---------------------------------------------------------------- searches

static const char kFixture[] =
    "[TAVRINE]\r\n"
    "Type: SendControl\r\n"
    "Revision: A\r\n"
    "\r\n"
    "[OPTIONS]\r\n"
    "; Port: commented out\r\n"
    "\tPort: indented, a comment\r\n"
    "PortSpeed: 9600\r\n"
    "PORT: 1\r\n"
    "port:2\r\n"
    "*END\r\n"
    "Late: after the stop mark\r\n"
    "[FAX-1]\r\n"
    "Port=COM3\r\n"
    "Key value\r\n"
    "[FAX]\r\n"
    "Number: 5\r\n";

struct SearchCase {
    const char *para;
    const char *key;
    const char *line; // nullptr: paragraph or entry not found
};

TEST(Search, ParagraphAndEntryPrefixes)
{
    const SearchCase cases[] = {
        {"[TAVRINE]", "Type:", "Type: SendControl"},
        {"[OPTIONS]", "Port:", "PORT: 1"},       // any case, comments skipped
        {"[OPTIONS]", "Port", "PortSpeed: 9600"}, // no colon: a plain prefix
        {"[OPTIONS]", "PortSpeed:", "PortSpeed: 9600"},
        {"[OPTIONS]", "Speed:", nullptr},
        {"[OPTIONS]", "Revision:", nullptr},   // belongs to another paragraph
        {"[OPTIONS]", "Number:", nullptr},     // stops at the next paragraph
        {"[OPTIONS]", nullptr, "PortSpeed: 9600"}, // first entry line
        {"[OPTIONS]", "", "PortSpeed: 9600"},
        {"[FAX", "Port:", "Port=COM3"},        // "[FAX" finds "[FAX-1]" first
        {"[fax-1]", "PORT:", "Port=COM3"},     // ':' in the key matches '='
        {"[FAX-1]", "Key:", nullptr},          // "Key value" has no ':'
        {"[FAX-1]", "Key", "Key value"},
        {"[FAX]", "Number:", "Number: 5"},
        {"[NONE]", "Type:", nullptr},
        {nullptr, "Type:", "Type: SendControl"}, // any paragraph: the first one
    };
    for (const SearchCase &c : cases) {
        SCOPED_TRACE(std::string(c.para ? c.para : "(none)") + " " + (c.key ? c.key : "(none)"));
        FILE *f = StreamOf(kFixture);
        ASSERT_NE(f, nullptr);
        char buf[TV_LINE_SIZE];
        int32_t pos = 0;
        int found = FindParagraph(f, c.para, buf, sizeof buf, &pos);
        if (found) {
            EXPECT_EQ(pos, static_cast<int32_t>(std::ftell(f)));
            found = FindEntry(f, c.key, buf, sizeof buf, 0, nullptr);
        }
        if (c.line) {
            EXPECT_TRUE(found);
            EXPECT_STREQ(buf, c.line);
        } else {
            EXPECT_FALSE(found);
            EXPECT_STREQ(buf, "");
        }
        std::fclose(f);
    }
}

TEST(Search, FailureRestoresPositionSuccessLeavesBehindLine)
{
    FILE *f = StreamOf(kFixture);
    ASSERT_NE(f, nullptr);
    char buf[TV_LINE_SIZE];
    int32_t options = 0;
    ASSERT_TRUE(FindParagraph(f, "[OPTIONS]", buf, sizeof buf, &options));

    // A missing paragraph leaves the stream where the search began.
    EXPECT_FALSE(FindParagraph(f, "[NONE]", buf, sizeof buf, nullptr));
    EXPECT_EQ(std::ftell(f), options);
    // So does a missing entry, and the next search starts from there.
    EXPECT_FALSE(FindEntry(f, "Missing:", buf, sizeof buf, 0, nullptr));
    EXPECT_EQ(std::ftell(f), options);
    int32_t linePos = -1;
    ASSERT_TRUE(FindEntry(f, "port:", buf, sizeof buf, 0, &linePos));
    EXPECT_STREQ(buf, "PORT: 1");
    ASSERT_TRUE(ReadControlLine(f, buf, sizeof buf, nullptr));
    EXPECT_STREQ(buf, "port:2"); // the stream stood just behind the found line

    // With a start position the search begins there and returns there.
    std::fseek(f, 0, SEEK_END);
    ASSERT_TRUE(FindEntry(f, "Port:", buf, sizeof buf, options, nullptr));
    EXPECT_STREQ(buf, "PORT: 1");
    EXPECT_FALSE(FindEntry(f, "Missing:", buf, sizeof buf, options, nullptr));
    EXPECT_EQ(std::ftell(f), options);

    // The stop character ends the search like a paragraph line.
    EXPECT_FALSE(FindEntryStop(f, "Late:", buf, sizeof buf, options, nullptr, '*'));
    EXPECT_EQ(std::ftell(f), options);
    EXPECT_TRUE(FindEntryStop(f, "Late:", buf, sizeof buf, options, nullptr, '#'));

    // The search never wraps to the start of the file.
    EXPECT_FALSE(FindParagraph(f, "[TAVRINE]", buf, sizeof buf, nullptr));
    std::fclose(f);
}

TEST(LineClasses, ParagraphEntrySeparator)
{
    EXPECT_TRUE(IsParagraphLine("[X]"));
    EXPECT_FALSE(IsParagraphLine(" [X]"));
    EXPECT_TRUE(IsEntryLine("Key: 1"));
    EXPECT_TRUE(IsEntryLine("[X]"));
    EXPECT_FALSE(IsEntryLine(""));
    EXPECT_FALSE(IsEntryLine(" Key: 1"));
    EXPECT_FALSE(IsEntryLine(";Key: 1"));
    for (char c : std::string(", \t\r\n"))
        EXPECT_TRUE(IsSeparator(c)) << int(c);
    for (char c : std::string(";:=a\""))
        EXPECT_FALSE(IsSeparator(c)) << c;
    EXPECT_FALSE(IsSeparator(0));
}

// ---------------------------------------------------------------- values

TEST(EntryValue, ColonEqualsAndNone)
{
    struct {
        const char *line;
        const char *value; // nullptr: none
    } const cases[] = {
        {"Key: value", "value"}, {"Key=value", "value"}, {"Key:\t  x y", "x y"},
        {"Key: a: b", "a: b"},   {"Key", nullptr},       {"Key:", nullptr},
        {"Key=   ", nullptr},    {"", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        const char *v = EntryValue(c.line);
        if (c.value)
            EXPECT_STREQ(v, c.value);
        else
            EXPECT_EQ(v, nullptr);
    }
}

TEST(EntryValueWord, KeyEndsAtSeparatorToo)
{
    struct {
        const char *line;
        const char *value;
        uint16_t len;
    } const cases[] = {
        {"Key value", "value", 5}, {"Key: v1 v2", "v1 v2", 2}, {"Key=,  x", "x", 1},
        {"Key:=: y,z", "y,z", 1},  {"Key", nullptr, 0},        {"Key:  ", nullptr, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        uint16_t len = 99;
        const char *v = EntryValueWord(c.line, &len);
        if (c.value) {
            EXPECT_STREQ(v, c.value);
            EXPECT_EQ(len, c.len);
        } else {
            EXPECT_EQ(v, nullptr);
        }
    }
}

TEST(NextToken, QuotesSeparatorsAndEnds)
{
    struct {
        const char *text;
        uint16_t len;
        const char *next; // nullptr: no next token
    } const cases[] = {
        {"\"a, b\", c", 6, "c"},
        {"a b", 1, "b"},
        {"x,", 1, ""},
        {"x", 1, nullptr},
        {"a ,  b", 1, "b"},
        {"\"\"", 2, nullptr},
        {"\"\",y", 2, "y"},
        {"\"a b\"c d", 6, "d"},
        {"\"abc", 4, nullptr},  // unterminated: stops at the end of the text
        {"\"ab, c  ", 8, nullptr},
        {"  a", 0, "a"},
        {"", 0, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        // A heap copy of exactly the text's size, so that a read past the
        // terminating zero shows under the address sanitizer.
        std::vector<char> text(c.text, c.text + std::strlen(c.text) + 1);
        uint16_t len = 99;
        const char *next = text.data();
        const char *tok = NextToken(text.data(), &len, &next);
        EXPECT_EQ(tok, text.data());
        EXPECT_EQ(len, c.len);
        if (c.next)
            EXPECT_STREQ(next, c.next);
        else
            EXPECT_EQ(next, nullptr);
    }

    const char *next = "x";
    uint16_t len = 5;
    EXPECT_EQ(NextToken(nullptr, &len, &next), nullptr);
    EXPECT_EQ(next, nullptr);

    // Walking a list of addressees.
    std::vector<std::string> tokens;
    for (const char *p = "a, \"b, c\" d ,e,"; p;) {
        const char *t = NextToken(p, &len, &p);
        tokens.emplace_back(t, len);
    }
    EXPECT_EQ(tokens, (std::vector<std::string>{"a", "\"b, c\"", "d", "e", ""}));
}

TEST(ListField, Fields)
{
    struct {
        int index;
        const char *list;
        int size;
        int result;
        const char *out;
    } const cases[] = {
        {1, "a; b ;c", 32, 1, "b"},
        {3, "a;b;c", 32, 0, ""},
        {1, "a;;c", 32, 1, ""},
        {0, "  abc  ;x", 32, 1, "abc"},
        {2, "a;b; ", 32, 0, ""},
        {2, "a;b;", 32, 0, ""},
        {1, "a; ;c", 32, 1, ""},
        {0, "", 32, 0, ""},
        {0, "abcdef", 3, 1, "ab"},
        {0, "abcdef", 1, 1, ""},
        {-1, "a;b", 32, 0, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.index) + " " + c.list + " size " + std::to_string(c.size));
        char out[32];
        std::memset(out, 'Z', sizeof out);
        EXPECT_EQ(ListField(c.index, c.list, out, c.size), c.result);
        EXPECT_STREQ(out, c.out);
    }
}

static const char kTyped[] =
    "[T]\r\n"
    "B1:\r\n"
    "B2: yes\r\n"
    "B3: Off\r\n"
    "B4: maybe\r\n"
    "B5: 1\r\n"
    "B6: TRUE\r\n"
    "B7: n\r\n"
    "B8: yess\r\n"
    "I1: 42\r\n"
    "I2: -5\r\n"
    "I3: abc\r\n"
    "I4:\r\n"
    "I5: 70000\r\n"
    "I6: 99999999999\r\n"
    "I7: 12abc\r\n"
    "I8= +7\r\n"
    "I9: 32768\r\n"
    "I10: 3\r\n"
    "S1: a long value of text\r\n"
    "S2:\r\n"
    "[U]\r\n"
    "B9: yes\r\n";

TEST(TypedEntries, Bool)
{
    struct {
        const char *key;
        int result;
        int32_t value; // -7: left alone
    } const cases[] = {
        {"B1:", 1, 1}, {"B2:", 1, 1}, {"B3:", 1, 0},  {"B4:", 0, -7}, {"B5:", 1, 1},
        {"B6:", 1, 1}, {"B7:", 1, 0}, {"B8:", 0, -7}, {"B9:", 0, -7}, {"Bx:", 0, -7},
    };
    FILE *f = StreamOf(kTyped);
    ASSERT_NE(f, nullptr);
    char buf[TV_LINE_SIZE];
    int32_t para = 0;
    ASSERT_TRUE(FindParagraph(f, "[T]", buf, sizeof buf, &para));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.key);
        int32_t v = -7;
        EXPECT_EQ(GetBoolEntry(f, c.key, &v, para), c.result);
        EXPECT_EQ(v, c.value);
    }
    std::fclose(f);
}

TEST(TypedEntries, Int)
{
    struct {
        const char *key;
        int result;
        int16_t value; // -7: left alone
    } const cases[] = {
        {"I1:", 1, 42},     {"I2:", 1, -5},  {"I3:", 1, 0},      {"I4:", 0, -7},
        {"I5:", 1, 4464},   {"I6:", 1, -1},  {"I7:", 1, 12},     {"I8:", 1, 7},
        {"I9:", 1, -32768}, {"I10:", 1, 3},  {"Ix:", 0, -7},
    };
    FILE *f = StreamOf(kTyped);
    ASSERT_NE(f, nullptr);
    char buf[TV_LINE_SIZE];
    int32_t para = 0;
    ASSERT_TRUE(FindParagraph(f, "[T]", buf, sizeof buf, &para));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.key);
        int16_t v = -7;
        EXPECT_EQ(GetIntEntry(f, c.key, &v, para), c.result);
        EXPECT_EQ(v, c.value);
    }
    std::fclose(f);
}

TEST(TypedEntries, StringAndHere)
{
    FILE *f = StreamOf(kTyped);
    ASSERT_NE(f, nullptr);
    char buf[TV_LINE_SIZE];
    int32_t para = 0;
    ASSERT_TRUE(FindParagraph(f, "[T]", buf, sizeof buf, &para));

    char out[8];
    ASSERT_TRUE(GetStringEntry(f, "S1:", out, sizeof out, para));
    EXPECT_STREQ(out, "a long "); // cut to size - 1
    ASSERT_TRUE(GetStringEntry(f, "S2:", out, sizeof out, para));
    EXPECT_STREQ(out, "");
    std::strcpy(out, "keep");
    EXPECT_FALSE(GetStringEntry(f, "B9:", out, sizeof out, para));
    EXPECT_STREQ(out, "keep");

    // GetStringEntryHere takes entries one after the other.
    std::fseek(f, para, SEEK_SET);
    ASSERT_TRUE(GetStringEntryHere(f, "B1:", out, sizeof out, 0));
    EXPECT_STREQ(out, "");
    long before = std::ftell(f);
    EXPECT_FALSE(GetStringEntryHere(f, "B3:", out, sizeof out, 0)); // next is B2
    EXPECT_EQ(std::ftell(f), before);
    ASSERT_TRUE(GetStringEntryHere(f, nullptr, out, sizeof out, 0));
    EXPECT_STREQ(out, "yes");
    ASSERT_TRUE(GetStringEntryHere(f, "b3:", out, sizeof out, 0));
    EXPECT_STREQ(out, "Off");
    std::fclose(f);
}

// ---------------------------------------------------------------- OverwriteTextAt

TEST(OverwriteTextAt, SameLengthInPlace)
{
    FILE *f = StreamOf("[M]\r\nUserStatus: Wa\r\nName: x\r\n");
    ASSERT_NE(f, nullptr);
    char buf[TV_LINE_SIZE];
    int32_t linePos = 0;
    ASSERT_TRUE(FindParagraph(f, "[M]", buf, sizeof buf, nullptr));
    ASSERT_TRUE(FindEntry(f, "UserStatus:", buf, sizeof buf, 0, &linePos));
    EXPECT_EQ(linePos, 5);
    // Right after a read: the write needs its own positioning call.
    ASSERT_TRUE(OverwriteTextAt(f, "UserStatus: Aw", linePos));
    EXPECT_EQ(std::ftell(f), linePos);
    EXPECT_EQ(Contents(f), "[M]\r\nUserStatus: Aw\r\nName: x\r\n");

    // Position 0: written where the stream stands, then back to the start.
    std::fseek(f, 0, SEEK_SET);
    ASSERT_TRUE(ReadControlLine(f, buf, sizeof buf, nullptr));
    ASSERT_TRUE(OverwriteTextAt(f, "USER", 0));
    EXPECT_EQ(std::ftell(f), 0);
    EXPECT_EQ(Contents(f), "[M]\r\nUSERStatus: Aw\r\nName: x\r\n");
    std::fclose(f);
}

// ---------------------------------------------------------------- CopyReplacingEntry

struct CopyCase {
    const char *name;
    std::string input;
    const char *para;
    const char *key;
    const char *value;
    int moveToEnd;
    std::string output;
};

TEST(CopyReplacingEntry, Cases)
{
    const std::string base = "[TAVRINE]\nType: X\n\n[OPTIONS]\nA: 1\n; note\nB: 2\nA: 3\n\n[NEXT]\nA: 9\n";
    const std::string longValue(300, 'v');
    const CopyCase cases[] = {
        {"replace first, remove later", base, "[OPTIONS]", "A:", "5", 0,
         Crlf({"[TAVRINE]", "Type: X", "", "[OPTIONS]", "A: 5", "; note", "B: 2", "", "[NEXT]", "A: 9"})},
        {"no value removes", base, "[OPTIONS]", "a:", nullptr, 0,
         Crlf({"[TAVRINE]", "Type: X", "", "[OPTIONS]", "; note", "B: 2", "", "[NEXT]", "A: 9"})},
        {"move to end", base, "[OPTIONS]", "A:", "5", 1,
         Crlf({"[TAVRINE]", "Type: X", "", "[OPTIONS]", "; note", "B: 2", "A: 5", "", "[NEXT]", "A: 9"})},
        {"new entry in a middle paragraph", base, "[OPTIONS]", "C:", "7", 0,
         Crlf({"[TAVRINE]", "Type: X", "", "[OPTIONS]", "A: 1", "; note", "B: 2", "A: 3", "C: 7", "",
               "[NEXT]", "A: 9"})},
        {"new entry in the last paragraph", base, "[NEXT]", "C:", "7", 0,
         Crlf({"[TAVRINE]", "Type: X", "", "[OPTIONS]", "A: 1", "; note", "B: 2", "A: 3", "", "[NEXT]",
               "A: 9", "C: 7"})},
        {"paragraph missing is appended", base, "[NEW]", "K:", "v", 0,
         Crlf({"[TAVRINE]", "Type: X", "", "[OPTIONS]", "A: 1", "; note", "B: 2", "A: 3", "", "[NEXT]",
               "A: 9", "", "[NEW]", "K: v"})},
        {"paragraph missing, file ends with an empty line", "[P]\nA: 1\n\n", "[Q]", "K:", "v", 0,
         Crlf({"[P]", "A: 1", "", "[Q]", "K: v"})},
        {"paragraph missing in an empty file", "", "[Q]", "K:", "v", 0, Crlf({"[Q]", "K: v"})},
        {"no paragraph: the part before the first one", "Top: 1\n[P]\nTop: 2\n", nullptr, "Top:", "9", 0,
         Crlf({"Top: 9", "", "[P]", "Top: 2"})},
        {"no key empties the paragraph, comments stay", base, "[OPTIONS]", nullptr, "x", 0,
         Crlf({"[TAVRINE]", "Type: X", "", "[OPTIONS]", "; note", "", "[NEXT]", "A: 9"})},
        {"empty key changes only the layout", base, "[OPTIONS]", "", "x", 0,
         Crlf({"[TAVRINE]", "Type: X", "", "[OPTIONS]", "A: 1", "; note", "B: 2", "A: 3", "", "[NEXT]",
               "A: 9"})},
        {"empty value writes the key alone", base, "[NEXT]", "A:", "", 0,
         Crlf({"[TAVRINE]", "Type: X", "", "[OPTIONS]", "A: 1", "; note", "B: 2", "A: 3", "", "[NEXT]", "A:"})},
        {"an '=' entry is replaced", "[P]\nPort=COM1\n", "[P]", "Port:", "COM2", 0, Crlf({"[P]", "Port: COM2"})},
        {"paragraph prefix", "[FAX-1]\nA: 1\n[FAX]\nA: 2\n", "[FAX", "A:", "3", 0,
         Crlf({"[FAX-1]", "A: 3", "", "[FAX]", "A: 2"})},
        {"line breaks in the value stay on one line", "[P]\n", "[P]", "K:", "a\r\n[EVIL]", 0,
         Crlf({"[P]", "K: a  [EVIL]"})},
        {"entry line cut to 280", "[P]\n", "[P]", "K:", longValue.c_str(), 0,
         Crlf({"[P]", "K: " + std::string(277, 'v')})},
        {"whole file normalised", "[P]\t\nX:\tlong" + std::string(300, 'y') + "\n[Q]\n", "[Q]", "K:", "v", 0,
         Crlf({"[P]", "X: long" + std::string(273, 'y'), "[Q]", "K: v"})},
    };
    for (const CopyCase &c : cases) {
        SCOPED_TRACE(c.name);
        FILE *src = StreamOf(c.input);
        FILE *dst = std::tmpfile();
        ASSERT_NE(src, nullptr);
        ASSERT_NE(dst, nullptr);
        EXPECT_TRUE(CopyReplacingEntry(src, dst, c.para, c.key, c.value, c.moveToEnd));
        EXPECT_EQ(Contents(dst), c.output);
        std::fclose(src);
        std::fclose(dst);
    }
}

TEST(CopyReplacingEntry, WriteFailureIsReported)
{
    FILE *src = StreamOf("[P]\nA: 1\n");
    ASSERT_NE(src, nullptr);
    // A destination that cannot be written: a file opened for reading only.
    tvtest::TempDir tmp("ctlfile");
    const std::string ro = tmp.File("ro.txt");
    const char *path = ro.c_str();
    WriteFileBytes(path, "");
    FILE *dst = std::fopen(path, "rb");
    ASSERT_NE(dst, nullptr);
    EXPECT_FALSE(CopyReplacingEntry(src, dst, "[P]", "A:", "2", 0));
    std::fclose(dst);
    std::fclose(src);
}

// ---------------------------------------------------------------- UpdateFileEntry

TEST(UpdateFileEntry, TemporaryNames)
{
    const std::string p264(260, 'p');
    struct {
        std::string path;
        const char *temp; // nullptr: refused
    } const cases[] = {
        {"X.TMP", "X.TM2"},
        {"x.tmp", "x.TM2"},
        {"X", "X.TMP"},
        {"X.CTL", "X.TMP"},
        {"FILE.", "FILE.TMP"},
        {"DIR\\SUB\\MSG.CTL", "DIR\\SUB\\MSG.TMP"},
        {"C:\\A.B\\FILE", "C:\\A.B\\FILE.TMP"},
        {"X.TMPX", "X.TMP"},
        {p264 + ".INI", nullptr},       // 264 characters are fine...
        {p264 + ".INIX", nullptr},      // ...265 are not
        {"", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        char out[TV_UPDATE_PATH_MAX + 5];
        int ok = UpdateTempName(c.path.c_str(), out, sizeof out);
        if (c.path.size() == 264) {
            EXPECT_TRUE(ok);
            EXPECT_EQ(std::string(out), p264 + ".TMP");
        } else if (c.temp) {
            EXPECT_TRUE(ok);
            EXPECT_STREQ(out, c.temp);
        } else {
            EXPECT_FALSE(ok);
        }
    }
    char small[6];
    EXPECT_FALSE(UpdateTempName("AB.CTL", small, sizeof small));
    EXPECT_TRUE(UpdateTempName("A.CTL", small, sizeof small));
}

static std::vector<std::string> g_logLines;
static void CaptureLog(const char *line) { g_logLines.push_back(line); }

TEST(UpdateFileEntry, RoundTripAndIdempotent)
{
    tvtest::TempDir tmp("ctlupd");
    const std::string fileNames[] = {tmp.File("ctlupd_a.ctl"), tmp.File("ctlupd_b.TMP"), tmp.File("ctlupd_c")};
    const std::string tempNames[] = {tmp.File("ctlupd_a.TMP"), tmp.File("ctlupd_b.TM2"), tmp.File("ctlupd_c.TMP")};
    const char *files[] = {fileNames[0].c_str(), fileNames[1].c_str(), fileNames[2].c_str()};
    const char *temps[] = {tempNames[0].c_str(), tempNames[1].c_str(), tempNames[2].c_str()};
    const std::string text = "[TAVRINE]\r\nType: UserProfile\r\nRevision: A\r\n\r\n[OPTIONS]\r\n"
                             "Port=COM1\r\nSpeed: 9600\r\n\r\n[OTHER]\r\nPort: 4\r\n";
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(files[i]);
        WriteFileBytes(files[i], text);

        ASSERT_TRUE(UpdateFileEntry(files[i], "[OPTIONS]", "Port:", "COM2", 0));
        const std::string once = ReadFileBytes(files[i]);
        EXPECT_EQ(once, "[TAVRINE]\r\nType: UserProfile\r\nRevision: A\r\n\r\n[OPTIONS]\r\n"
                        "Port: COM2\r\nSpeed: 9600\r\n\r\n[OTHER]\r\nPort: 4\r\n");
        EXPECT_FALSE(Exists(temps[i]));

        FILE *f = std::fopen(files[i], "rb");
        ASSERT_NE(f, nullptr);
        char buf[TV_LINE_SIZE];
        int32_t para = 0;
        ASSERT_TRUE(FindParagraph(f, "[OPTIONS]", buf, sizeof buf, &para));
        char value[32];
        ASSERT_TRUE(GetStringEntry(f, "Port:", value, sizeof value, para));
        EXPECT_STREQ(value, "COM2");
        std::fclose(f);

        ASSERT_TRUE(UpdateFileEntry(files[i], "[OPTIONS]", "Port:", "COM2", 0));
        EXPECT_EQ(ReadFileBytes(files[i]), once);

        // A shorter file: the copy back sets the length.
        ASSERT_TRUE(UpdateFileEntry(files[i], "[OTHER]", nullptr, nullptr, 0));
        EXPECT_EQ(ReadFileBytes(files[i]), "[TAVRINE]\r\nType: UserProfile\r\nRevision: A\r\n\r\n[OPTIONS]\r\n"
                                           "Port: COM2\r\nSpeed: 9600\r\n\r\n[OTHER]\r\n");
    }
}

TEST(UpdateFileEntry, Refusals)
{
    tvtest::TempDir tmp("ctlupd");
    const std::string missing = tmp.File("ctlupd_missing.ctl"), d = tmp.File("ctlupd_d.ctl");
    EXPECT_FALSE(UpdateFileEntry(missing.c_str(), "[P]", "K:", "v", 0));
    EXPECT_FALSE(Exists(tmp.File("ctlupd_missing.TMP").c_str()));
    WriteFileBytes(d.c_str(), "[P]\r\n");
    EXPECT_FALSE(UpdateFileEntry(d.c_str(), nullptr, "K:", "v", 0));
    EXPECT_EQ(ReadFileBytes(d.c_str()), "[P]\r\n");
}

// Copies like CopyOpenFile does when the disk fills half-way: part of the new
// contents reaches the file, which is cut to what was written, and the copy
// reports the failure.
static int16_t HalfCopy(FILE *source, FILE *destination)
{
    std::fflush(destination);
    std::fseek(source, 0, SEEK_END);
    long len = std::ftell(source);
    std::fseek(source, 0, SEEK_SET);
    std::fseek(destination, 0, SEEK_SET);
    std::vector<char> data(static_cast<size_t>(len / 2));
    if (!data.empty()) {
        if (std::fread(data.data(), 1, data.size(), source) != data.size())
            return static_cast<int16_t>(TV_R_IO);
        std::fwrite(data.data(), 1, data.size(), destination);
    }
    std::fflush(destination);
    TvPlatSetStreamLength(destination, static_cast<int64_t>(data.size()));
    return static_cast<int16_t>(TV_R_IO);
}

TEST(UpdateFileEntry, FailedCopyBackKeepsTemporaryFile)
{
    tvtest::TempDir tmp("ctlupd");
    const std::string pathName = tmp.File("ctlupd_e.ctl"), tempName = tmp.File("ctlupd_e.TMP");
    const char *path = pathName.c_str();
    const char *temp = tempName.c_str();
    WriteFileBytes(path, "[P]\r\nA: 1\r\nB: 2\r\n");

    g_logLines.clear();
    TvLibLogHook oldLog = SetLibLogHook(CaptureLog);
    TvCopyBackFn oldCopy = SetUpdateCopyBack(HalfCopy);
    EXPECT_FALSE(UpdateFileEntry(path, "[P]", "A:", "one hundred", 0));
    SetUpdateCopyBack(oldCopy);
    SetLibLogHook(oldLog);

    const std::string whole = "[P]\r\nA: one hundred\r\nB: 2\r\n";
    EXPECT_EQ(ReadFileBytes(path), whole.substr(0, whole.size() / 2));
    EXPECT_EQ(ReadFileBytes(temp), whole); // the only complete copy survives
    ASSERT_EQ(g_logLines.size(), 1u);
    EXPECT_NE(g_logLines[0].find(temp), std::string::npos) << g_logLines[0];

    // With the real copy the (cut) file is updated again.
    ASSERT_TRUE(UpdateFileEntry(path, "[P]", "A:", "one hundred", 0));
    EXPECT_EQ(ReadFileBytes(path), "[P]\r\nA: one hundred\r\n"); // "A: one h" was replaced
}

#ifdef _WIN32
// Only the Windows tree enforces share modes: a program reading the file
// keeps the rewrite out for the whole wait, and nothing is changed or left
// behind.
TEST(UpdateFileEntry, FileHeldByAnotherOpener)
{
    tvtest::TempDir tmp("ctlupd");
    const std::string pathName = tmp.File("ctlupd_f.ctl"), tempName = tmp.File("ctlupd_f.TMP");
    const char *path = pathName.c_str();
    WriteFileBytes(path, "[P]\r\nA: 1\r\n");
    FILE *holder = OpenShared(0, path, "rb");
    ASSERT_NE(holder, nullptr);
    EXPECT_FALSE(UpdateFileEntry(path, "[P]", "A:", "2", 0));
    std::fclose(holder);
    EXPECT_EQ(ReadFileBytes(path), "[P]\r\nA: 1\r\n");
    EXPECT_FALSE(Exists(tempName.c_str()));
    EXPECT_TRUE(UpdateFileEntry(path, "[P]", "A:", "2", 0));
    EXPECT_EQ(ReadFileBytes(path), "[P]\r\nA: 2\r\n");
}
#endif
