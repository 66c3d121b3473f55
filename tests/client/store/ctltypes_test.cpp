#include "client/store/ctltypes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/client/store/storetestutil.h"

namespace {

using tvtest::Record;

class CtlTypesTest : public tvtest::StoreTest {
protected:
    FILE* Open(const std::string& text)
    {
        std::string path = temp_->File("h.ctl");
        tvtest::WriteAll(path, text);
        return std::fopen(path.c_str(), "rb");
    }
};

struct HeaderCase {
    const char* text;
    int type;
    const char* log;   // the log text, null for success
    bool box;
};

TEST_F(CtlTypesTest, HeaderCheckTable)
{
    const HeaderCase cases[] = {
        {"[TAVRINE]\nType: ReceiveDir\nRevision: A\n", TV_CTL_RECEIVEDIR, nullptr, false},
        {"; note\n[tavrine]\nType: docdir\nRevision: a\n", TV_CTL_DOCDIR, nullptr, false},
        {"[TAVRINE]\nType: Send\nRevision: AB\n", TV_CTL_SENDDIR, nullptr, false},
        {"[TAVRINE]\nType: Re\nRevision: A\n", TV_CTL_REQUEST, nullptr, false},
        {"[TAVRINE]\nType: Log, other\nRevision:   A\n", TV_CTL_LOG, nullptr, false},
        {"[TAVRINE]\nType: SystemInit\nRevision: A\n", TV_CTL_SYSTEMINIT, nullptr, false},
        {"[OTHER]\n[TAVRINE]\nType: DocDir\nRevision: A\n", 0, "Cannot find [TAVRINE] paragraph in", true},
        {"Type: DocDir\n", 0, "Cannot find [TAVRINE] paragraph in", true},
        {"[TAVRINE]\nRevision: A\n[X]\nType: DocDir\n", 0, "Cannot find [TAVRINE] Type: in", true},
        {"[TAVRINE]\nType:\nRevision: A\n", 0, "Invalid [TAVRINE] Type: field in", false},
        {"[TAVRINE]\nType: ReceiveChange\nRevision: A\n", 0, "Unrecognised [TAVRINE] Type: field in", true},
        {"[TAVRINE]\nType: DocDirX\nRevision: A\n", 0, "Unrecognised [TAVRINE] Type: field in", true},
        {"[TAVRINE]\nRevision: A\nType: DocDir\n", 0, "Cannot find [TAVRINE] Revision: in", true},
        {"[TAVRINE]\nType: DocDir\nRevision: B\n", 0, "Invalid [TAVRINE] Revision: in", true},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.text);
        Record().logs.clear();
        Record().boxes.clear();
        FILE* f = Open(c.text);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(CheckControlFile(f, "X.CTL", 1), c.type);
        if (c.log) {
            ASSERT_EQ(Record().logs.size(), 1u);
            EXPECT_EQ(Record().logs[0], std::string("F807 CheckControlFile: ") + c.log + " X.CTL");
            EXPECT_EQ(Record().boxes.size(), c.box ? 1u : 0u);
        } else {
            EXPECT_TRUE(Record().logs.empty());
        }
        // Quiet without the report flag.
        std::rewind(f);
        Record().logs.clear();
        Record().boxes.clear();
        EXPECT_EQ(CheckControlFile(f, "X.CTL", 0), c.type);
        EXPECT_TRUE(Record().logs.empty());
        EXPECT_TRUE(Record().boxes.empty());
        std::fclose(f);
    }
}

TEST_F(CtlTypesTest, HeaderCheckLeavesStreamBehindRevision)
{
    FILE* f = Open("[TAVRINE]\nType: SendDir\nRevision: A\nNext: 1\n");
    ASSERT_EQ(CheckControlFile(f, "X", 0), TV_CTL_SENDDIR);
    char buf[40];
    ASSERT_NE(std::fgets(buf, sizeof buf, f), nullptr);
    EXPECT_STREQ(buf, "Next: 1\n");
    std::fclose(f);
}

TEST(StatusCodes, NumbersAndLabels)
{
    const struct {
        const char* text;
        int number;
    } statuses[] = {{"Su", 101}, {"ad", 102}, {"He", 103}, {"WT", 104}, {"Wa", 105}, {"WC", 115}, {"WS", 116},
                    {"Pr", 106}, {"Co", 107}, {"Se", 108}, {"Sc", 109}, {"Ab", 110}, {"Re", 111}, {"WD", 114},
                    {"Fa", 112}, {"ok", 113}, {"OKAY", 113}, {"O", 100}, {"", 100}, {"Zz", 100}};
    for (const auto& s : statuses)
        EXPECT_EQ(MessageStatusNumber(s.text), s.number) << s.text;
    EXPECT_EQ(MessageStatusNumber(nullptr), 100);

    const int labels[][2] = {{1, 151}, {5, 158}, {12, 150}, {0, 150}, {9, 150}, {16, 167}, {17, 168},
                             {18, 169}, {22, 155}, {24, 157}, {100, 173}, {106, 179}, {107, 150}};
    for (const auto& l : labels)
        EXPECT_EQ(DeviceTypeStringId(l[0]), l[1]) << l[0];
}

TEST_F(CtlTypesTest, FieldReaderTakesOnlyTheNextEntry)
{
    FILE* f = Open("[ENTRY]\n; remark\nDescription: the text\nOwner:\t  JOE\n[NEXT]\nOwner: X\n");
    char out[8];
    ASSERT_NE(std::fgets(out, sizeof out, f), nullptr);   // into the paragraph
    EXPECT_EQ(GetFieldValue(f, "Owner:", out, sizeof out), 0);
    EXPECT_EQ(GetFieldValue(f, "Description:", out, sizeof out), 1);
    EXPECT_STREQ(out, "the tex");   // cut to the buffer
    EXPECT_EQ(GetFieldValue(f, "Owner:", out, sizeof out), 1);
    EXPECT_STREQ(out, "JOE");
    EXPECT_EQ(GetFieldValue(f, "Owner:", out, sizeof out), 0);   // the paragraph ends
    std::fclose(f);
}

TEST(AsciiTests, HighCharactersAreNeverClassified)
{
    EXPECT_TRUE(IsAsciiDigit('7'));
    EXPECT_FALSE(IsAsciiDigit('a'));
    EXPECT_TRUE(IsAsciiAlnum('z'));
    EXPECT_TRUE(IsAsciiSpace('\t'));
    for (int c = 128; c < 256; ++c) {
        EXPECT_FALSE(IsAsciiDigit(c));
        EXPECT_FALSE(IsAsciiAlnum(c));
        EXPECT_FALSE(IsAsciiSpace(c));
    }
}

} // namespace
