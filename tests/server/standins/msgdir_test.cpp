// The message directory files as QUEUEMAN keeps them: the entry edits, the
// change stamp and marker times, the accounts of USERLIST.INI and the files
// themselves in a scratch folder.
#include <gtest/gtest.h>

#include <string>

#include "common/platform.h"
#include "standins/queueman/msgdir.h"
#include "tests/support/tempdir.h"
#include "tests/support/testfiles.h"

namespace {

const TvFileTime kSecond = 10000000;
// 2026-12-10 00:00:00 UTC as a file time.
const TvFileTime kMidnight = 13441334400LL * kSecond;

TvFileTime At(int hour, int minute, int second, TvFileTime fraction = 0)
{
    return kMidnight + ((hour * 60 + minute) * 60 + second) * kSecond + fraction;
}

MsgDirEntry Entry(const char *file, const char *comment)
{
    MsgDirEntry e = {};
    std::snprintf(e.file, sizeof e.file, "%s", file);
    std::snprintf(e.comment, sizeof e.comment, "%s", comment);
    std::snprintf(e.format, sizeof e.format, "G3N");
    std::snprintf(e.accepted, sizeof e.accepted, "26-12-10 17:05:09");
    std::snprintf(e.type, sizeof e.type, "RECEIVE");
    std::snprintf(e.status, sizeof e.status, "Re");
    std::snprintf(e.userStatus, sizeof e.userStatus, "Wa");
    return e;
}

const char kOneEntry[] = "[DOCUMENT]\r\nFile: ~RECD001.CTL\r\nComment: From: 5550101\r\n[MESSAGE]\r\nFormat: G3N\r\n"
                         "Accepted: 26-12-10 17:05:09\r\nType: RECEIVE\r\nStatus: Re\r\nUserStatus: Wa\r\n\r\n";

TEST(MsgDirText, AppendsEntriesInTheLinesTheClientReads)
{
    std::string text = MsgDirHeader(MSGDIR_RECEIVE);
    EXPECT_EQ(text, "[TAVRINE]\r\nType: ReceiveDir\r\nRevision: A\r\n\r\n");
    EXPECT_EQ(MsgDirHeader(MSGDIR_SEND), "[TAVRINE]\r\nType: SendDir\r\nRevision: A\r\n\r\n");
    MsgDirAppendEntry(&text, Entry("~RECD001.CTL", "From: 5550101"));
    EXPECT_EQ(text, MsgDirHeader(MSGDIR_RECEIVE) + kOneEntry);
    // A file whose last line has no line end gets one before the entry.
    std::string cut = "[TAVRINE]\r\nType: ReceiveDir\r\nRevision: A";
    MsgDirAppendEntry(&cut, Entry("~RECD001.CTL", "From: 5550101"));
    EXPECT_EQ(cut, "[TAVRINE]\r\nType: ReceiveDir\r\nRevision: A\r\n" + std::string(kOneEntry));
}

TEST(MsgDirText, SetsAValueOfTheNamedMessageInPlace)
{
    const std::string send = "[TAVRINE]\r\nType: SendDir\r\nRevision: A\r\n\r\n"
                             "[DOCUMENT]\r\nFile: FIRST.CTL\r\nComment: one\r\n[MESSAGE]\r\nAssocFile:\r\n"
                             "Accepted: 00-00-00 00:00:00\r\nType: SEND\r\nStatus: Su\r\nUserStatus: Wa\r\n\r\n"
                             "[DOCUMENT]\r\nFile: SECOND.CTL\r\nComment: Status: Su\r\n[MESSAGE]\r\nAssocFile:\r\n"
                             "Accepted: 00-00-00 00:00:00\r\nType: SEND\r\nStatus: Fail\r\nUserStatus: Wa\r\n";
    struct Case {
        const char *file, *key, *value;
        bool found;
        const char *from, *to;   // the text that changes
    };
    const Case cases[] = {
        {"SECOND.CTL", "Status:", "WC", true, "Status: Fail\r\n", "Status: WC  \r\n"},
        {"second", "Accepted:", "26-12-10 17:05:09", true, "Accepted: 00-00-00 00:00:00\r\nType: SEND\r\nStatus: Fail",
         "Accepted: 26-12-10 17:05:09\r\nType: SEND\r\nStatus: Fail"},
        {"first.ctl", "Status:", "OK", true, "Status: Su\r\nUserStatus: Wa\r\n\r\n[DOCUMENT]\r\nFile: SECOND",
         "Status: OK\r\nUserStatus: Wa\r\n\r\n[DOCUMENT]\r\nFile: SECOND"},
        {"FIRST.C", "Status:", "OK", false, "", ""},
        {"THIRD.CTL", "Status:", "OK", false, "", ""},
        {"FIRST.CTL", "Format:", "G3N", false, "", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.key);
        std::string text = send;
        EXPECT_EQ(MsgDirSetValue(&text, c.file, c.key, c.value), c.found);
        std::string expected = send;
        if (c.found)
            expected.replace(expected.find(c.from), std::string(c.from).size(), c.to);
        EXPECT_EQ(text, expected);
    }
}

TEST(MsgDirText, RemovesOneMessageAndKeepsTheOthersInOrder)
{
    std::string text = MsgDirHeader(MSGDIR_RECEIVE);
    for (const char *name : {"~RECD001.CTL", "~RECD002.CTL", "~RECD003.CTL"})
        MsgDirAppendEntry(&text, Entry(name, name));
    std::string expected = MsgDirHeader(MSGDIR_RECEIVE);
    for (const char *name : {"~RECD001.CTL", "~RECD003.CTL"})
        MsgDirAppendEntry(&expected, Entry(name, name));
    EXPECT_TRUE(MsgDirRemoveEntry(&text, "~recd002.ctl"));
    EXPECT_EQ(text, expected);
    EXPECT_FALSE(MsgDirRemoveEntry(&text, "~RECD002.CTL"));
    EXPECT_TRUE(MsgDirRemoveEntry(&text, "~RECD003.CTL"));
    EXPECT_TRUE(MsgDirRemoveEntry(&text, "~RECD001.CTL"));
    EXPECT_EQ(text, MsgDirHeader(MSGDIR_RECEIVE));
}

TEST(MsgDirTimes, StampsTheLastHalfHourAndMovesMarkersForward)
{
    struct Stamp {
        TvFileTime now, stamp;
    };
    for (const Stamp &c : {Stamp{At(17, 45, 10, 5000000), At(17, 30, 0)}, Stamp{At(18, 0, 0), At(18, 0, 0)},
                           Stamp{At(18, 29, 59, 9999999), At(18, 0, 0)}, Stamp{At(0, 12, 0), At(0, 0, 0)}})
        EXPECT_EQ(MsgDirChangeStamp(c.now), c.stamp) << (c.now - kMidnight) / kSecond;

    const TvFileTime year = 31536000LL * kSecond;
    struct Marker {
        const char *what;
        TvFileTime marker, now, next;
    };
    const Marker cases[] = {
        {"old marker: now, whole seconds", At(9, 0, 0), At(12, 0, 5, 4000000), At(12, 0, 5)},
        {"marked this second: 10 s on", At(12, 0, 5), At(12, 0, 5, 4000000), At(12, 0, 15)},
        {"marked twice in one second", At(12, 0, 15), At(12, 0, 5, 4000000), At(12, 0, 25)},
        {"within a year ahead: 10 s on", At(12, 0, 5) + year - 20 * kSecond, At(12, 0, 5), At(12, 0, 5) + year - 10 * kSecond},
        {"years ahead: now", At(12, 0, 5) + 3 * year, At(12, 0, 5), At(12, 0, 5)},
        {"midnight exactly: 00:00:10", At(23, 59, 50), At(23, 0, 0), At(24, 0, 10)},
    };
    for (const Marker &c : cases)
        EXPECT_EQ(MarkerNextTime(c.marker, c.now), c.next) << c.what;
}

TEST(Accounts, ReadsUsersAndTheirGroupsOnce)
{
    tvtest::TempDir dir("acc");
    std::string path = dir.File("USERLIST.INI");
    ASSERT_TRUE(WriteWholeFile(path, "[TAVRINE]\r\nType: UserList\r\nRevision: A\r\n\r\n"
                                             "[USER]\r\nName: jsmith\r\nGroup: Sales\r\n\r\n"
                                             "[OTHER]\r\nName: NOTUSER\r\n\r\n"
                                             "[USER]\r\nName: ANNE\r\nGroup: SALES\r\n\r\n"
                                             "[USER]\r\nName: ..\\X\r\n\r\n"
                                             "[USER]\r\nName: NINECHARS\r\nGroup: ACCOUNTS\r\n"));
    Account a[MAX_ACCOUNTS];
    int n = ReadAccounts(path.c_str(), a, MAX_ACCOUNTS);
    ASSERT_EQ(n, 4);
    const Account expected[] = {{"JSMITH", false}, {"SALES", true}, {"ANNE", false}, {"ACCOUNTS", true}};
    for (int i = 0; i < n; ++i) {
        EXPECT_STREQ(a[i].name, expected[i].name);
        EXPECT_EQ(a[i].group, expected[i].group) << a[i].name;
    }
    EXPECT_EQ(ReadAccounts(dir.File("NONE.INI").c_str(), a, MAX_ACCOUNTS), 0);
}

// The last-write time of a file, or 0.
TvFileTime WriteTime(const std::string &path)
{
    TvFileTime t = 0;
    return TvPlatGetFileTime(path.c_str(), &t) == TV_CR_OK ? t : 0;
}

bool IsChangeStamp(TvFileTime t) { return t != 0 && t % (30 * 60 * kSecond) == 0; }

TEST(MsgDirFiles, MakesAccountsAndChangesTheirFilesWithTheStamp)
{
    tvtest::TempDir dir("acf");
    std::string area = dir.Path() + TvPathSep();
    ASSERT_EQ(MakeAccount(area.c_str(), "JSMITH"), TV_OK);
    for (const char *sub : {"T-IN", "T-OUT", "T-GRAPH", "T-DB"})
        EXPECT_TRUE(TvPlatDirExists(dir.File(std::string("JSMITH/") + sub).c_str())) << sub;
    std::string in = dir.File("JSMITH/T-IN/MSGDIR.CTL"), out = dir.File("JSMITH/T-OUT/MSGDIR.CTL");
    EXPECT_EQ(ReadWholeFile(in), MsgDirHeader(MSGDIR_RECEIVE));
    EXPECT_EQ(ReadWholeFile(out), MsgDirHeader(MSGDIR_SEND));
    EXPECT_TRUE(IsChangeStamp(WriteTime(in)));

    // A second start keeps what the files hold.
    std::string inDir = dir.File("JSMITH/T-IN") + TvPathSep();
    ASSERT_EQ(MsgDirChange(inDir.c_str(), MSGDIR_RECEIVE, [](std::string *t) {
                  MsgDirAppendEntry(t, Entry("~RECD001.CTL", "From: 5550101"));
                  return true;
              }),
              TV_OK);
    ASSERT_EQ(MakeAccount(area.c_str(), "JSMITH"), TV_OK);
    EXPECT_EQ(ReadWholeFile(in), MsgDirHeader(MSGDIR_RECEIVE) + kOneEntry);

    // A change that finds nothing to do leaves the file and its time alone;
    // one that changes it stamps it.
    ASSERT_EQ(TvPlatSetFileTime(in.c_str(), At(17, 5, 9)), TV_CR_OK);
    bool changed = true;
    ASSERT_EQ(MsgDirChange(inDir.c_str(), MSGDIR_RECEIVE,
                           [](std::string *t) { return MsgDirSetValue(t, "NONE.CTL", "Status:", "OK"); }, &changed),
              TV_OK);
    EXPECT_FALSE(changed);
    EXPECT_EQ(WriteTime(in), At(17, 5, 9));
    ASSERT_EQ(MsgDirChange(inDir.c_str(), MSGDIR_RECEIVE,
                           [](std::string *t) { return MsgDirRemoveEntry(t, "~RECD001.CTL"); }, &changed),
              TV_OK);
    EXPECT_TRUE(changed);
    EXPECT_EQ(ReadWholeFile(in), MsgDirHeader(MSGDIR_RECEIVE));
    EXPECT_TRUE(IsChangeStamp(WriteTime(in)));
    EXPECT_NE(WriteTime(in), At(17, 5, 9));

    // A directory that does not exist is an error, not a file made elsewhere.
    std::string missing = dir.File("NOBODY/T-IN") + TvPathSep();
    EXPECT_NE(MsgDirChange(missing.c_str(), MSGDIR_RECEIVE, [](std::string *) { return true; }), TV_OK);
}

TEST(MsgDirFiles, MarkersAreMadeWithTheirHeaderAndMoveOnEachChange)
{
    tvtest::TempDir dir("mrk");
    std::string d = dir.Path() + TvPathSep();
    std::string path = dir.File("MSGCHG.CTL");
    ASSERT_EQ(MoveMarker(d.c_str(), MSGCHG_FILE), TV_OK);
    EXPECT_EQ(ReadWholeFile(path), "[TAVRINE]\r\nType: ReceiveChange\r\nRevision: A\r\n\r\n");
    // Far ahead: back to now; then 10 s on with each move.
    ASSERT_EQ(TvPlatSetFileTime(path.c_str(), NowFileTime() + 3LL * 31536000 * kSecond), TV_CR_OK);
    ASSERT_EQ(MoveMarker(d.c_str(), MSGCHG_FILE), TV_OK);
    TvFileTime first = WriteTime(path);
    EXPECT_LE(first, NowFileTime());
    ASSERT_EQ(MoveMarker(d.c_str(), MSGCHG_FILE), TV_OK);
    EXPECT_EQ(WriteTime(path), first + 10 * kSecond);
}

} // namespace
