#include "client/store/docinfo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "client/store/msglist.h"
#include "tests/client/store/storetestutil.h"

namespace {

using tvtest::ReadAll;
using tvtest::Record;
using tvtest::WriteAll;

const char kHeader[] = "[TAVRINE]\r\nType: DocDir\r\nRevision: A\r\n";

std::string Doc(const std::string& file, const std::string& comment, const std::string& extra = "")
{
    return "\r\n[DOCUMENT]\r\nFile: " + file + "\r\nComment: " + comment + "\r\n" + extra;
}

class DocInfoTest : public tvtest::StoreTest {
protected:
    std::string InfoPath() const { return filedDir + "TAVRINE.DIR"; }
    DocumentInfo Record(const char* name, const char* comment)
    {
        DocumentInfo d = {};
        std::strcpy(d.FileName, name);
        std::strcpy(d.Comment, comment);
        return d;
    }
};

TEST_F(DocInfoTest, ReadAndFetchComments)
{
    std::string file = kHeader;
    for (int i = 0; i < 51; ++i)
        file += Doc("doc" + std::to_string(i) + ".txt", "comment " + std::to_string(i));
    file += Doc(filedDir + "Long name with blanks.doc  ", "  spaced out", "[OPTIONS]\r\nX: 1\r\n");
    WriteAll(InfoPath(), file);
    DocumentInfo* block = nullptr;
    int32_t bytes = 0;
    ASSERT_EQ(ReadInfoFile(&block, &bytes, filedDir.c_str()), 1);
    EXPECT_EQ(bytes, 52 * static_cast<int32_t>(sizeof(DocumentInfo)));
    DocumentInfo out;
    ASSERT_EQ(FileInfo("doc50.TXT", block, bytes, &out), 0);
    EXPECT_STREQ(out.FileName, "DOC50.TXT");
    EXPECT_STREQ(out.Comment, "comment 50");
    ASSERT_EQ(FileInfo("long name with blanks.doc", block, bytes, &out), 0);
    EXPECT_STREQ(out.Comment, "spaced out");
    EXPECT_EQ(FileInfo("doc5", block, bytes, &out), 1);
    EXPECT_EQ(FileInfo("", block, bytes, &out), 1);
    FreeInfoBlock(block);

    // No documents: success without a block; no file: 0 without a report.
    WriteAll(InfoPath(), kHeader);
    block = nullptr;
    EXPECT_EQ(ReadInfoFile(&block, &bytes, filedDir.c_str()), 1);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(bytes, 0);
    EXPECT_EQ(ReadInfoFile(&block, &bytes, receiveDir.c_str()), 0);
    EXPECT_TRUE(tvtest::Record().logs.empty());
}

TEST_F(DocInfoTest, DamagedFilesAreReported)
{
    const struct {
        std::string body;
        const char* log;
    } cases[] = {
        {Doc(receiveDir + "A.TIF", "x"), "Wrong directory in [DOCUMENT] File: entry in TAVRINE.DIR"},
        {"\r\n[DOCUMENT]\r\nComment: x\r\n", "Cannot find [DOCUMENT] File: in TAVRINE.DIR"},
        {"\r\n[DOCUMENT]\r\nFile: A.TIF\r\n[OPTIONS]\r\nComment: x\r\n", "Cannot find [DOCUMENT] Comment: in TAVRINE.DIR"},
        {Doc(std::string(260, 'N'), "x"), "Invalid [DOCUMENT] File: entry in TAVRINE.DIR"},
    };
    for (const auto& c : cases) {
        tvtest::Record() = tvtest::StoreRecord();
        WriteAll(InfoPath(), kHeader + Doc("OK.TIF", "fine") + c.body);
        DocumentInfo* block = nullptr;
        int32_t bytes = 7;
        EXPECT_EQ(ReadInfoFile(&block, &bytes, filedDir.c_str()), 0) << c.log;
        EXPECT_EQ(block, nullptr);
        EXPECT_TRUE(tvtest::Logged(std::string("F807 ReadInfoFile: ") + c.log)) << c.log;
        EXPECT_EQ(tvtest::Record().boxes, std::vector<std::string>{"47 " + InfoPath()});
    }
}

TEST_F(DocInfoTest, SetFileInfoCreatesUpdatesAndFetches)
{
    DocumentInfo a = Record("a.tif", "First");
    EXPECT_EQ(SetFileInfo(&a, filedDir.c_str(), false), 0);   // no document, no file
    EXPECT_TRUE(tvtest::Logged("F806 SetFileInfo: File "));
    WriteAll(filedDir + "a.tif", "x");
    WriteAll(filedDir + "A.CTL", "x");
    WriteAll(filedDir + "ABC.DOC", "x");
    ASSERT_EQ(SetFileInfo(&a, filedDir.c_str(), false), 1);
    EXPECT_EQ(ReadAll(InfoPath()), std::string(kHeader) + "\r\n[DOCUMENT]\r\nFile: A.TIF\r\nComment: First\r\n");

    DocumentInfo ctl = Record("A.CTL", "control");
    ASSERT_EQ(SetFileInfo(&ctl, filedDir.c_str(), false), 1);
    DocumentInfo abc = Record("ABC.DOC", "unrelated");
    ASSERT_EQ(SetFileInfo(&abc, filedDir.c_str(), false), 1);
    // Same base: A.TIF's comment goes to A.CTL too, never to ABC.DOC.
    DocumentInfo again = Record("A.TIF", "Shared");
    ASSERT_EQ(SetFileInfo(&again, filedDir.c_str(), true), 1);
    std::string text = ReadAll(InfoPath());
    EXPECT_NE(text.find("File: A.TIF\r\nComment: Shared\r\n"), std::string::npos);
    EXPECT_NE(text.find("File: A.CTL\r\nComment: Shared\r\n"), std::string::npos);
    EXPECT_NE(text.find("File: ABC.DOC\r\nComment: unrelated\r\n"), std::string::npos);

    // An empty comment fetches and leaves the text.
    DocumentInfo fetch = Record("abc.doc", "");
    ASSERT_EQ(SetFileInfo(&fetch, filedDir.c_str(), false), 1);
    EXPECT_STREQ(fetch.Comment, "unrelated");
    EXPECT_EQ(ReadAll(InfoPath()), text);

    // A document not listed whose file is missing is refused.
    DocumentInfo gone = Record("GONE.TIF", "x");
    EXPECT_EQ(SetFileInfo(&gone, filedDir.c_str(), false), 0);
    EXPECT_TRUE(tvtest::Logged("F806 SetFileInfo: Document file "));
    EXPECT_EQ(ReadAll(InfoPath()), text);
    EXPECT_FALSE(TvPlatFileExists((filedDir + "TAVRINE.TMP").c_str()));
}

TEST_F(DocInfoTest, SetFileInfoDropsDirectoryAndRefusesAnother)
{
    WriteAll(filedDir + "B.TIF", "x");
    WriteAll(InfoPath(), kHeader + Doc(filedDir + "b.tif", "old", "[HISTORY]\r\nSent: 1\r\n"));
    DocumentInfo b = Record("B.TIF", "new");
    ASSERT_EQ(SetFileInfo(&b, filedDir.c_str(), false), 1);
    EXPECT_EQ(ReadAll(InfoPath()),
              std::string(kHeader) + "\r\n[DOCUMENT]\r\nFile: b.tif\r\nComment: new\r\n[HISTORY]\r\nSent: 1\r\n");

    std::string other = kHeader + Doc(receiveDir + "C.TIF", "x");
    WriteAll(InfoPath(), other);
    EXPECT_EQ(SetFileInfo(&b, filedDir.c_str(), false), 0);
    EXPECT_TRUE(tvtest::Logged("Wrong directory in [DOCUMENT] File: entry in"));
    EXPECT_EQ(ReadAll(InfoPath()), other);
}

TEST_F(DocInfoTest, FiledListFromPatternAndInfoFile)
{
    std::snprintf(g_storeConfig.match, TV_MATCH_SIZE, "%s", "*.TIF");
    WriteAll(filedDir + "ONE.TIF", "1");
    WriteAll(filedDir + "TWO.TIF", "2");
    WriteAll(filedDir + "NOTE.TXT", "3");
    WriteAll(InfoPath(), kHeader + Doc("one.tif", "the first") + Doc("note.txt", "a note") + Doc("lost.tif", "gone"));
    RefreshMessageList(TV_LIST_FILED);
    std::vector<MessageListEntry> items = View(TV_LIST_FILED).Entries();
    ASSERT_EQ(items.size(), 4u);
    int seen = 0;
    for (const MessageListEntry& e : items) {
        std::string assoc = e.AssocFile;
        EXPECT_EQ(e.Kind, TV_KIND_FILED);
        if (assoc == "ONE.TIF") {
            EXPECT_STREQ(e.Comment, "the first");
            EXPECT_STREQ(e.Status, "OK");
            ++seen;
        } else if (assoc == "TWO.TIF") {
            EXPECT_STREQ(e.Comment, "");
            EXPECT_STREQ(e.Status, "NA");
            EXPECT_GT(e.Month, 0);
            ++seen;
        } else if (assoc == "NOTE.TXT") {
            EXPECT_STREQ(e.Comment, "a note");
            ++seen;
        } else if (assoc == "LOST.TIF") {
            EXPECT_STREQ(e.Status, "Fa");
            ++seen;
        }
    }
    EXPECT_EQ(seen, 4);

    // A damaged information file: offline, nothing shown.
    WriteAll(InfoPath(), kHeader + std::string("\r\n[DOCUMENT]\r\nComment: x\r\n"));
    RefreshMessageList(TV_LIST_FILED);
    EXPECT_TRUE(tvtest::Logged("F807 UpdateFiledList: Cannot find [DOCUMENT] File: in"));
    EXPECT_FALSE(tvtest::Record().accessible);
    EXPECT_TRUE(View(TV_LIST_FILED).items.empty());
}

} // namespace

namespace {

class MsgdirCommentTest : public tvtest::StoreTest {};

TEST_F(MsgdirCommentTest, DirectoryParagraphLinesReplacedOrAdded)
{
    std::string path = sendDir + "MSGDIR.CTL";
    DocumentInfo d = {};
    std::strcpy(d.FileName, "ABC");
    std::strcpy(d.Comment, "new text");
    EXPECT_EQ(SetFileInfoMsgdirCtl(&d, sendDir.c_str()), 0);
    EXPECT_TRUE(tvtest::Logged("F806 SetFileInfoMsgdirCtl: File "));

    WriteAll(path, "[TAVRINE]\r\nType: SendDir\r\nRevision: A\r\n\r\n\r\n[DIRECTORY]\r\nFile:      XYZ \"other\"\r\n"
                   "File:      abc \"old\"\r\n[DOCUMENT]\r\nFile: A.CTL\r\n");
    ASSERT_EQ(SetFileInfoMsgdirCtl(&d, sendDir.c_str()), 1);
    EXPECT_EQ(ReadAll(path), "[TAVRINE]\r\nType: SendDir\r\nRevision: A\r\n\r\n[DIRECTORY]\r\nFile:      XYZ \"other\"\r\n"
                             "File:      ABC \"new text\"\r\n[DOCUMENT]\r\nFile: A.CTL\r\n");
    std::strcpy(d.FileName, "NEWONE");
    std::strcpy(d.Comment, "added");
    ASSERT_EQ(SetFileInfoMsgdirCtl(&d, sendDir.c_str()), 1);
    EXPECT_NE(ReadAll(path).find("File:      ABC \"new text\"\r\nFile:   NEWONE \"added\"\r\n[DOCUMENT]"),
              std::string::npos);
    EXPECT_FALSE(TvPlatFileExists((sendDir + "MSGDIR.TMP").c_str()));

    // Without the paragraph the entries stay as they were.
    std::string plain = "[TAVRINE]\r\nType: SendDir\r\nRevision: A\r\n\r\n[DOCUMENT]\r\nFile: A.CTL\r\n";
    WriteAll(path, plain);
    ASSERT_EQ(SetFileInfoMsgdirCtl(&d, sendDir.c_str()), 1);
    EXPECT_EQ(ReadAll(path), plain);
}

} // namespace
