#include "client/store/dirfilter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "client/store/msgdir.h"
#include "tests/client/store/storetestutil.h"

namespace {

using tvtest::ReadAll;
using tvtest::ReceiveEntry;
using tvtest::ReceiveHeader;
using tvtest::Record;
using tvtest::WriteAll;

class DirFilterTest : public tvtest::StoreTest {
protected:
    // Marks the NEW list's entry name for deletion.
    void Mark(const char* name)
    {
        MessageListTable* t = ListTable(TV_LIST_NEW);
        for (int32_t i = 0; i < t->Used; ++i)
            if (std::strcmp(t->Storage[i].Name, name) == 0)
                t->Storage[i].DeleteMark = 0;
    }
};

TEST_F(DirFilterTest, DropsMarkedFinishedAndVanishedMessages)
{
    WriteAll(ReceivePath(), ReceiveHeader() + "\r\n\r\n" + ReceiveEntry("KEEP.G3N", "kept", "RECEIVE", "OK", "OK") +
                                ReceiveEntry("DEL.G3N", "marked", "RECEIVE", "OK", "OK") +
                                ReceiveEntry("BUSY.G3N", "marked but running", "RECEIVE", "Re", "Wa") +
                                ReceiveEntry("GONE.G3N", "control file gone", "RECEIVE", "OK", "OK") +
                                ReceiveEntry("ZERO.G3N", "never accepted", "RECEIVE", "OK", "OK", "00-00-00 00:00:00"));
    for (const char* ctl : {"KEEP.CTL", "DEL.CTL", "BUSY.CTL", "ZERO.CTL"})
        WriteAll(receiveDir + ctl, "x");
    RefreshMessageList(TV_LIST_NEW);
    ASSERT_EQ(View(TV_LIST_NEW).items.size(), 5u);
    Mark("DEL.G3N");
    Mark("BUSY.G3N");
    ASSERT_EQ(FilterMessageControlFile(TV_LIST_NEW, false), 1);
    std::string after = ReadAll(ReceivePath());
    EXPECT_EQ(after, ReceiveHeader() + ReceiveEntry("KEEP.G3N", "kept", "RECEIVE", "OK", "OK") +
                         ReceiveEntry("BUSY.G3N", "marked but running", "RECEIVE", "Re", "Wa") +
                         ReceiveEntry("ZERO.G3N", "never accepted", "RECEIVE", "OK", "OK", "00-00-00 00:00:00"));
    EXPECT_FALSE(TvPlatFileExists((receiveDir + "MSGDIR.TMP").c_str()));
}

TEST_F(DirFilterTest, EntryNoListEntryMatchesStays)
{
    WriteAll(ReceivePath(), ReceiveHeader() + ReceiveEntry("A.G3N", "a", "RECEIVE", "OK", "OK"));
    RefreshMessageList(TV_LIST_NEW);
    // The file now has the entry with another accepted time, and a new one.
    std::string file = ReceiveHeader() + ReceiveEntry("A.G3N", "a", "RECEIVE", "OK", "OK", "97-01-01 00:00:00") +
                       ReceiveEntry("NEW.G3N", "b", "RECEIVE", "OK", "OK");
    WriteAll(ReceivePath(), file);
    ASSERT_EQ(FilterMessageControlFile(TV_LIST_NEW, false), 1);
    EXPECT_EQ(ReadAll(ReceivePath()), file);   // no control files, but no list entry agrees
}

TEST_F(DirFilterTest, MalformedEntryKeepsItAndEverythingAfter)
{
    std::string bad = "\r\n[DOCUMENT]\r\nFile: " + groupDir + "X.G3N\r\nComment: elsewhere\r\n";
    std::string rest = ReceiveEntry("LAST.G3N", "after", "RECEIVE", "OK", "OK");
    WriteAll(ReceivePath(), ReceiveHeader() + ReceiveEntry("DEL.G3N", "x", "RECEIVE", "OK", "OK") + bad + rest);
    RefreshMessageList(TV_LIST_NEW);   // reports the bad entry, goes offline
    Record() = tvtest::StoreRecord();
    MessageListEntry e;
    ClearListEntry(&e, 0);
    std::strcpy(e.Name, "DEL.G3N");
    std::strcpy(e.Status, "OK");
    e.Kind = TV_KIND_RECEIVE;
    e.Year = 96, e.Month = 5, e.Day = 17, e.Hour = 12, e.Minute = 30;
    e.DeleteMark = 0;
    MessageListTable* t = ListTable(TV_LIST_NEW);
    FreeListTable(t);
    LogListAdd(t, nullptr, &e);
    EXPECT_EQ(FilterMessageControlFile(TV_LIST_NEW, false), 0);
    EXPECT_TRUE(tvtest::Logged("F807 FilterMessageControlFile: Wrong directory in [DOCUMENT] File: entry in"));
    EXPECT_EQ(ReadAll(ReceivePath()), ReceiveHeader() + bad + rest);
}

TEST_F(DirFilterTest, MissingFileEntryAbandonsTheRewrite)
{
    std::string file = ReceiveHeader() + "\r\n[DOCUMENT]\r\nComment: x\r\n";
    WriteAll(ReceivePath(), file);
    EXPECT_EQ(FilterMessageControlFile(TV_LIST_NEW, false), 0);
    EXPECT_TRUE(tvtest::Logged("F807 FiltyerMessageControlFile: Cannot find [DOCUMENT] File: in"));
    EXPECT_EQ(ReadAll(ReceivePath()), file);
    // Not openable: string 44, 0xF809.
    EXPECT_EQ(FilterMessageControlFile(TV_LIST_WAITING, false), 0);
    EXPECT_TRUE(tvtest::Logged("F809 FilterMessageControlFile: Cannot open file for update"));
}

TEST_F(DirFilterTest, RemoveInfoFileRefsDropsEveryReference)
{
    std::string path = filedDir + "TAVRINE.DIR";
    std::string head = "[TAVRINE]\r\nType: DocDir\r\nRevision: A\r\n";
    WriteAll(path, head + "\r\n[DOCUMENT]\r\nFile: MY LETTER.DOC\r\nComment: a\r\n" +
                       "\r\n[DOCUMENT]\r\nFile: KEEP.TIF\r\nComment: b\r\n[HISTORY]\r\nSent: 1\r\n" +
                       "\r\n[DOCUMENT]\r\nFile: " + filedDir + "my letter.doc\r\nComment: c\r\n");
    ASSERT_EQ(RemoveInfoFileRefs("my letter.doc", path.c_str(), false, TV_LIST_FILED), 1);
    EXPECT_EQ(ReadAll(path), head + "\r\n[DOCUMENT]\r\nFile: KEEP.TIF\r\nComment: b\r\n[HISTORY]\r\nSent: 1\r\n");

    // A group file's change moves the group marker.
    std::snprintf(g_storeConfig.groupReceiveDir, TV_DIR_SIZE, "%s", groupDir.c_str());
    WriteAll(GroupPath(), ReceiveHeader() + ReceiveEntry("G.G3N", "g", "RECEIVE", "OK", "OK"));
    ASSERT_EQ(RemoveInfoFileRefs("g.g3n", GroupPath().c_str(), true, TV_LIST_NEW), 1);
    EXPECT_EQ(ReadAll(GroupPath()), ReceiveHeader());
    EXPECT_TRUE(TvPlatFileExists((groupDir + "MSGCHG.CTL").c_str()));
}

TEST(AcceptedTimeTest, ZeroMonthIsZero)
{
    EXPECT_EQ(AcceptedTime(0, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(AcceptedTime(96, 13, 1, 0, 0, 0), -1);
    EXPECT_GT(AcceptedTime(96, 5, 17, 12, 30, 0), 0);
}

} // namespace
