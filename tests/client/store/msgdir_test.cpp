#include "client/store/msgdir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "client/store/dirfilter.h"
#include "client/store/storefile.h"
#include "tests/client/store/storetestutil.h"

namespace {

using tvtest::ReadAll;
using tvtest::ReceiveEntry;
using tvtest::ReceiveHeader;
using tvtest::Record;
using tvtest::SendEntry;
using tvtest::SendHeader;
using tvtest::WriteAll;

class MsgDirTest : public tvtest::StoreTest {
protected:
    std::vector<MessageListEntry> Items(int listId) { return View(listId).Entries(); }
    const MessageListEntry* Find(int listId, const char* name)
    {
        MessageListTable* t = ListTable(listId);
        for (intptr_t slot : View(listId).items)
            if (std::strcmp(t->Storage[slot].Name, name) == 0)
                return &t->Storage[slot];
        return nullptr;
    }
    void UseGroup()
    {
        std::snprintf(g_storeConfig.groupReceiveDir, TV_DIR_SIZE, "%s", groupDir.c_str());
        std::snprintf(g_storeConfig.groupName, TV_STORE_GROUP_SIZE, "%s", "@SALES");
    }
    TvFileTime TimeOf(const std::string& path)
    {
        TvFileTime t = 0;
        EXPECT_EQ(TvPlatGetFileTime(path.c_str(), &t), TV_CR_OK);
        return t;
    }
};

TEST_F(MsgDirTest, NewListReadsAndAnnouncesOnce)
{
    std::string file = ReceiveHeader() + ReceiveEntry("fax1.g3n", "From head office", "RECEIVE", "OK", "Wa") +
                       ReceiveEntry("FAX2.G3N", "Still coming", "RECEIVE", "Re", "Wa", "97-01-02 03:04:05") +
                       ReceiveEntry("FAX3.G3N", "Broken line", "receive", "Fa", "Wa");
    WriteAll(ReceivePath(), file);
    RefreshMessageList(TV_LIST_NEW);
    ASSERT_EQ(View(TV_LIST_NEW).items.size(), 3u);
    const MessageListEntry* a = Find(TV_LIST_NEW, "FAX1.G3N");
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(a->Comment, "From head office");
    EXPECT_STREQ(a->UserStatus, "Aw");
    EXPECT_EQ(a->Kind, TV_KIND_RECEIVE);
    EXPECT_EQ(a->Year, 96);
    EXPECT_EQ(a->Month, 5);
    EXPECT_EQ(a->Day, 17);
    EXPECT_EQ(a->Minute, 30);
    EXPECT_STREQ(Find(TV_LIST_NEW, "FAX2.G3N")->UserStatus, "Wa");
    EXPECT_STREQ(Find(TV_LIST_NEW, "FAX3.G3N")->UserStatus, "Fa");
    EXPECT_EQ(Record().alerts, std::vector<int>{96});
    EXPECT_FALSE(g_storeState.newListSettled);   // FAX2 is still arriving

    // Rewritten in place: same size, the values changed.
    std::string after = ReadAll(ReceivePath());
    EXPECT_EQ(after.size(), file.size());
    EXPECT_NE(after.find("Status: OK\r\nUserStatus: Aw\r\n"), std::string::npos);
    EXPECT_NE(after.find("Status: Fa\r\nUserStatus: Fa\r\n"), std::string::npos);

    RefreshMessageList(TV_LIST_NEW);
    EXPECT_EQ(Record().alerts, std::vector<int>{96});
    EXPECT_TRUE(Record().accessible);
    EXPECT_TRUE(View(TV_LIST_NEW).redraw);
}

TEST_F(MsgDirTest, GroupFileIsReadOnlyAndReportsUnread)
{
    UseGroup();
    std::string group = ReceiveHeader() + ReceiveEntry("G1.G3N", "Order", "RECEIVE", "OK", "Wa");
    WriteAll(GroupPath(), group);
    WriteAll(ReceivePath(), ReceiveHeader() + ReceiveEntry("U1.G3N", "Mine", "RECEIVE", "OK", "OK"));
    RefreshMessageList(TV_LIST_NEW);
    EXPECT_EQ(ReadAll(GroupPath()), group);
    const MessageListEntry* g = Find(TV_LIST_NEW, "G1.G3N");
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->InGroup, 1);
    EXPECT_STREQ(g->Comment, "(SALES) Order");
    EXPECT_STREQ(g->UserStatus, "Wa");
    EXPECT_EQ(Record().alerts, std::vector<int>{480});
    // Later passes announce a new arrival only when MSGNEW.CTL moves.
    RefreshMessageList(TV_LIST_NEW);
    EXPECT_EQ(Record().alerts, std::vector<int>{480});
    WriteAll(groupDir + "MSGNEW.CTL", "x");
    RefreshMessageList(TV_LIST_NEW);
    EXPECT_EQ(Record().alerts, (std::vector<int>{480, 481}));
}

TEST_F(MsgDirTest, UnreadableGroupIsForgotten)
{
    UseGroup();   // no group MSGDIR.CTL
    WriteAll(ReceivePath(), ReceiveHeader() + ReceiveEntry("U1.G3N", "Mine", "RECEIVE", "OK", "OK"));
    RefreshMessageList(TV_LIST_NEW);
    EXPECT_TRUE(tvtest::Logged("F809 UpdateNewList: Cannot open file for reading"));
    ASSERT_FALSE(Record().boxes.empty());
    EXPECT_EQ(Record().boxes[0].rfind("58 ", 0), 0u);
    EXPECT_EQ(g_storeConfig.groupReceiveDir[0], '\0');
    EXPECT_FALSE(Record().accessible);
}

struct DamageCase {
    const char* entry;
    const char* log;
};

TEST_F(MsgDirTest, DamagedEntriesTakeTheListOffline)
{
    const DamageCase cases[] = {
        {"\r\n[DOCUMENT]\r\nFile:  TWO.G3N\r\nComment: x\r\n", "Invalid [DOCUMENT] File: entry in"},
        {"\r\n[DOCUMENT]\r\nFile:NONE.G3N\r\nComment: x\r\n", "Invalid [DOCUMENT] File: entry in"},
        {"\r\n[DOCUMENT]\r\nFile: TOOLONGNAME.G3N\r\nComment: x\r\n", "Invalid [DOCUMENT] File: entry in"},
        {"\r\n[DOCUMENT]\r\nComment: x\r\n", "Cannot find [DOCUMENT] File: in"},
        {"\r\n[DOCUMENT]\r\nFile: A.G3N\r\n[MESSAGE]\r\n", "Cannot find [DOCUMENT] Comment: entry in"},
        {"\r\n[DOCUMENT]\r\nFile: A.G3N\r\nComment: x\r\n", "Cannot find [MESSAGE] paragraph in"},
        {"\r\n[DOCUMENT]\r\nFile: A.G3N\r\nComment: x\r\n[MESSAGE]\r\nAccepted: 96-01-01 00:00:00\r\n",
         "Cannot find [MESSAGE] Format: entry in"},
        {"\r\n[DOCUMENT]\r\nFile: A.G3N\r\nComment: x\r\n[MESSAGE]\r\nFormat: G3N\r\nAccepted: 96-05-17 12:30:00 x\r\n",
         "Invalid [MESSAGE] Accepted: entry in"},
        {"\r\n[DOCUMENT]\r\nFile: A.G3N\r\nComment: x\r\n[MESSAGE]\r\nFormat: G3N\r\nAccepted: 96-05-17\r\n",
         "Invalid [MESSAGE] Accepted: entry in"},
        {"\r\n[DOCUMENT]\r\nFile: A.G3N\r\nComment: x\r\n[MESSAGE]\r\nFormat: G3N\r\nAccepted: 96-05-17 12:30:00\r\n"
         "Type: SEND\r\nStatus: OK\r\nUserStatus: OK\r\n",
         "Invalid [MESSAGE] Status: entry in"},
        {"\r\n[DOCUMENT]\r\nFile: A.G3N\r\nComment: x\r\n[MESSAGE]\r\nFormat: G3N\r\nAccepted: 96-05-17 12:30:00\r\n"
         "Type: SCAN\r\nStatus: OK\r\n",
         "Cannot find [MESSAGE] UserStatus: entry in"},
    };
    for (const DamageCase& c : cases) {
        SCOPED_TRACE(c.entry);
        Record() = tvtest::StoreRecord();
        WriteAll(ReceivePath(), ReceiveHeader() + ReceiveEntry("OK1.G3N", "fine", "RECEIVE", "OK", "OK") + c.entry);
        RefreshMessageList(TV_LIST_NEW);
        EXPECT_TRUE(tvtest::Logged(std::string("F807 NewListInfoFile: ") + c.log));
        EXPECT_FALSE(Record().accessible);
        EXPECT_EQ(Record().refreshes, 1);   // the main window went offline
        EXPECT_EQ(ListTable(TV_LIST_NEW)->Allocated, -1);
        EXPECT_TRUE(View(TV_LIST_NEW).items.empty());   // no part of the list shown
        ASSERT_FALSE(Record().boxes.empty());
        EXPECT_EQ(Record().boxes[0], "47 " + ReceivePath());
    }
}

TEST_F(MsgDirTest, MissingOrWrongFileTakesTheListOffline)
{
    RefreshMessageList(TV_LIST_NEW);
    EXPECT_TRUE(tvtest::Logged("F804 NewListInfoFile: Cannot open file for reading/writing"));
    EXPECT_EQ(Record().boxes, std::vector<std::string>{"44 " + ReceivePath()});
    EXPECT_FALSE(Record().accessible);

    Record() = tvtest::StoreRecord();
    WriteAll(ReceivePath(), SendHeader());
    RefreshMessageList(TV_LIST_NEW);
    EXPECT_FALSE(Record().accessible);
}

TEST_F(MsgDirTest, InPlaceRewritesKeepTheLineLength)
{
    std::string file = ReceiveHeader() + ReceiveEntry("A.G3N", "long status", "RECEIVE", "OK", "Wait") +
                       ReceiveEntry("S1.TIF", "scan done", "SCAN", "OK", "OK") +
                       ReceiveEntry("S2.TIF", "scan announced", "SCAN", "OK", "Aw");
    WriteAll(ReceivePath(), file);
    RefreshMessageList(TV_LIST_NEW);
    std::string after = ReadAll(ReceivePath());
    ASSERT_EQ(after.size(), file.size());
    EXPECT_NE(after.find("UserStatus: Aw  \r\n"), std::string::npos);
    EXPECT_NE(after.find("Type: SCAN\r\nStatus: OK\r\nUserStatus: OK\r\n\r\n[DOCUMENT]\r\nFile: S2"),
              std::string::npos);
    EXPECT_EQ(after.find("UserStatus: Aw\r\n"), std::string::npos);   // S2 became OK
    EXPECT_STREQ(Find(TV_LIST_NEW, "S2.TIF")->UserStatus, "OK");
}

TEST_F(MsgDirTest, ScannerReadyEntryShowsAndCloses)
{
    WriteAll(ReceivePath(), ReceiveHeader() + ReceiveEntry("S1.TIF", "on glass", "SCAN", "WD", "Wa") +
                                ReceiveEntry("S2.TIF", "second", "SCAN", "WD", "Wa"));
    RefreshMessageList(TV_LIST_NEW);
    WriteAll(ReceivePath(), ReceiveHeader());
    RefreshMessageList(TV_LIST_NEW);
    EXPECT_EQ(Record().scanner, (std::vector<std::string>{"S1.TIF", ""}));
    EXPECT_TRUE(View(TV_LIST_NEW).items.empty());
}

TEST_F(MsgDirTest, WaitingListStatusesAndAlertRanks)
{
    std::string file = SendHeader() + SendEntry("p1.ctl", "a preview", "c:\\docs\\p1.txt", "PREVIEW", "He", "Wa") +
                       SendEntry("H1.CTL", "held send", "", "SEND", "He", "Wa") +
                       SendEntry("S1.CTL", "sent", "", "SEND", "OK", "Wa") +
                       SendEntry("F1.CTL", "failed", "", "SEND", "Fa", "Wa") +
                       SendEntry("S2.CTL", "sent too", "", "SEND", "OK", "Wa");
    WriteAll(SendPath(), file);
    RefreshMessageList(TV_LIST_WAITING);
    ASSERT_EQ(View(TV_LIST_WAITING).items.size(), 5u);
    const MessageListEntry* p = Find(TV_LIST_WAITING, "P1.CTL");
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p->UserStatus, "Aw");
    EXPECT_EQ(p->Kind, TV_KIND_PREVIEW);
    EXPECT_STREQ(p->AssocFile, "C:\\DOCS\\P1.TXT");
    EXPECT_STREQ(p->Comment, "a preview");
    EXPECT_STREQ(Find(TV_LIST_WAITING, "H1.CTL")->UserStatus, "Wa");
    EXPECT_STREQ(Find(TV_LIST_WAITING, "S1.CTL")->UserStatus, "OK");
    EXPECT_STREQ(Find(TV_LIST_WAITING, "F1.CTL")->UserStatus, "OK");
    EXPECT_EQ(Record().alerts, std::vector<int>{293});
    EXPECT_EQ(ReadAll(SendPath()).size(), file.size());
    EXPECT_TRUE(g_storeState.waitingListSettled);

    Record().alerts.clear();
    WriteAll(SendPath(), SendHeader() + SendEntry("S1.CTL", "sent", "", "SEND", "OK", "Wa") +
                             SendEntry("P2.CTL", "x", "", "PREVIEW", "He", "Wa") +
                             SendEntry("W1.CTL", "x", "", "SEND", "Wa", "Wa"));
    RefreshMessageList(TV_LIST_WAITING);
    EXPECT_EQ(Record().alerts, std::vector<int>{291});
    EXPECT_FALSE(g_storeState.waitingListSettled);
}

TEST_F(MsgDirTest, WaitingListPassesOverOtherLines)
{
    std::string longAssoc = "C:\\" + std::string(60, 'D') + "\\" + std::string(30, 'E') + "\\REPORT.DOC";
    WriteAll(SendPath(), SendHeader() +
                             "\r\n[DOCUMENT]\r\nFile:   A.CTL  trailing\r\nComment:   two words\r\n[MESSAGE]\r\n"
                             "Format: TXT\r\nAssocFile: " + longAssoc +
                             "\r\nSubmitted: 96-01-01 00:00:00 1234\r\nAccepted: 00-00-00 00:00:00\r\n"
                             "Type: SEND\r\nPriority: 1\r\nStatus: Su\r\nUserStatus: Wa\r\n");
    RefreshMessageList(TV_LIST_WAITING);
    ASSERT_EQ(View(TV_LIST_WAITING).items.size(), 1u);
    const MessageListEntry* a = Find(TV_LIST_WAITING, "A.CTL");
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(a->Comment, "two words");
    EXPECT_STREQ(a->AssocFile, "REPORT.DOC");
    EXPECT_STREQ(a->Status, "Su");
    EXPECT_TRUE(Record().accessible);
}

TEST_F(MsgDirTest, TimeModeStampsAndChangeTest)
{
    WriteAll(SendPath(), SendHeader() + SendEntry("S1.CTL", "sent", "", "SEND", "OK", "Wa"));
    TvFileTime stamp = tvtest::UtcFileTime(2026, 3, 4, 10, 30, 0);
    ASSERT_EQ(TvPlatSetFileTime(SendPath().c_str(), stamp), TV_CR_OK);
    EXPECT_TRUE(MessageListChanged(TV_LIST_WAITING));
    ASSERT_EQ(TvPlatSetFileTime(SendPath().c_str(), stamp + 10000000), TV_CR_OK);
    EXPECT_FALSE(MessageListChanged(TV_LIST_WAITING));
    ASSERT_EQ(TvPlatSetFileTime(SendPath().c_str(), tvtest::UtcFileTime(2026, 3, 4, 11, 0, 0)), TV_CR_OK);
    EXPECT_TRUE(MessageListChanged(TV_LIST_WAITING));

    // The pass leaves its own time, never a stamp, even after its rewrites.
    Record().now = tvtest::UtcFileTime(2026, 3, 4, 11, 15, 7);
    RefreshMessageList(TV_LIST_WAITING);
    EXPECT_EQ(TimeOf(SendPath()), Record().now);
    EXPECT_FALSE(MessageListChanged(TV_LIST_WAITING));

    WriteAll(ReceivePath(), ReceiveHeader());
    RefreshMessageList(TV_LIST_NEW);
    EXPECT_EQ(TimeOf(ReceivePath()), Record().now);
    // No file: counted as changed, so the rebuild reports it.
    EXPECT_TRUE(ArchiveMessageCheck(TV_LIST_WAITING, (sendDir + "NONE.CTL").c_str()));
}

TEST_F(MsgDirTest, ArchiveModeUsesTheAttribute)
{
    g_storeConfig.useArchiveAttribute = true;
    WriteAll(ReceivePath(), ReceiveHeader());
    Record().archive[ReceivePath()] = true;
    EXPECT_TRUE(MessageListChanged(TV_LIST_NEW));
    RefreshMessageList(TV_LIST_NEW);
    EXPECT_FALSE(Record().archive[ReceivePath()]);
    EXPECT_FALSE(MessageListChanged(TV_LIST_NEW));
    // Attributes that cannot be read take the client offline.
    Record().archive.clear();
    EXPECT_FALSE(MessageListChanged(TV_LIST_NEW));
    EXPECT_TRUE(tvtest::Logged("F805 ArchiveMessageCheck: Cannot access file details (1) for"));
    EXPECT_EQ(Record().boxes, std::vector<std::string>{"42 " + ReceivePath()});
    EXPECT_FALSE(Record().accessible);
}

TEST_F(MsgDirTest, GroupMarkerMovesForward)
{
    EXPECT_EQ(MarkGroupInfoChanged(TV_LIST_NEW), 1);   // no group: nothing to do
    UseGroup();
    std::string marker = groupDir + "MSGCHG.CTL";
    EXPECT_EQ(MarkGroupInfoChanged(TV_LIST_WAITING), 1);
    EXPECT_FALSE(TvPlatFileExists(marker.c_str()));
    ASSERT_EQ(MarkGroupInfoChanged(TV_LIST_NEW), 1);
    EXPECT_EQ(ReadAll(marker), "[TAVRINE]\r\nType: ReceiveChange\r\nRevision: A\r\n\r\n");

    ASSERT_EQ(TvPlatSetFileTime(marker.c_str(), tvtest::UtcFileTime(2020, 1, 1, 1, 2, 3)), TV_CR_OK);
    Record().now = tvtest::UtcFileTime(2026, 5, 6, 7, 8, 9);
    ASSERT_EQ(MarkGroupInfoChanged(TV_LIST_NEW), 1);
    EXPECT_EQ(TimeOf(marker), Record().now);
    ASSERT_EQ(MarkGroupInfoChanged(TV_LIST_NEW), 1);
    ASSERT_EQ(MarkGroupInfoChanged(TV_LIST_NEW), 1);
    EXPECT_EQ(TimeOf(marker), tvtest::UtcFileTime(2026, 5, 6, 7, 8, 29));
    // Years ahead: back to now.
    ASSERT_EQ(TvPlatSetFileTime(marker.c_str(), tvtest::UtcFileTime(2030, 1, 1, 0, 0, 0)), TV_CR_OK);
    ASSERT_EQ(MarkGroupInfoChanged(TV_LIST_NEW), 1);
    EXPECT_EQ(TimeOf(marker), Record().now);
    // Midnight exactly is written as ten seconds past.
    Record().now = tvtest::UtcFileTime(2026, 5, 7, 0, 0, 0);
    ASSERT_EQ(MarkGroupInfoChanged(TV_LIST_NEW), 1);
    EXPECT_EQ(TimeOf(marker), tvtest::UtcFileTime(2026, 5, 7, 0, 0, 10));

    bool changed = false;
    GroupInfoChanged(TV_LIST_NEW, false, &changed);
    EXPECT_TRUE(changed);
    GroupInfoChanged(TV_LIST_NEW, true, &changed);
    GroupInfoChanged(TV_LIST_NEW, false, &changed);
    EXPECT_FALSE(changed);
}

TEST_F(MsgDirTest, UpdateInfoStatusWritesBack)
{
    std::string file = SendHeader() + SendEntry("A.CTL", "x", "", "PREVIEW", "He", "Aw") +
                       SendEntry("B.CTL", "y", "", "SEND", "OK", "OK");
    WriteAll(SendPath(), file);
    RefreshMessageList(TV_LIST_WAITING);
    MessageListEntry e = *Find(TV_LIST_WAITING, "A.CTL");
    e.Kind = TV_KIND_SEND;   // the preview was released
    std::strcpy(e.UserStatus, "OK");
    UpdateInfoStatus(&e, TV_LIST_WAITING);
    std::string after = ReadAll(SendPath());
    EXPECT_EQ(after.size(), file.size());
    EXPECT_NE(after.find("Type: SEND   \r\nStatus: He\r\nUserStatus: OK\r\n"), std::string::npos);

    // A name no longer in the file changes and reports nothing.
    std::strcpy(e.Name, "GONE.CTL");
    UpdateInfoStatus(&e, TV_LIST_WAITING);
    EXPECT_EQ(ReadAll(SendPath()), after);
    EXPECT_TRUE(Record().logs.empty());

    // A group message's change moves the group marker.
    UseGroup();
    WriteAll(GroupPath(), ReceiveHeader() + ReceiveEntry("G1.G3N", "x", "RECEIVE", "OK", "Wa"));
    MessageListEntry g;
    ClearListEntry(&g, 1);
    std::strcpy(g.Name, "G1.G3N");
    std::strcpy(g.UserStatus, "OK");
    g.Kind = TV_KIND_RECEIVE;
    UpdateInfoStatus(&g, TV_LIST_NEW);
    EXPECT_NE(ReadAll(GroupPath()).find("UserStatus: OK\r\n"), std::string::npos);
    EXPECT_TRUE(TvPlatFileExists((groupDir + "MSGCHG.CTL").c_str()));
}

} // namespace
