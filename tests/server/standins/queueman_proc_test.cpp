// Under Wine: our QUEUEMAN and a controller process built with the scripted
// fake device. A SEND request is converted (the test plays the converter),
// QUEUEMAN gives the controller the JOB, the controller sends the pages and
// answers JOB RESULT, and QUEUEMAN records it in the message's control file
// and in the send directory's MSGDIR.CTL. At start QUEUEMAN makes every
// account's directories; received calls are listed in T-IN's MSGDIR.CTL.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "server/runtime/mailslot.h"
#include "server/runtime/mhencode.h"
#include "server/runtime/packets.h"
#include "server/runtime/srvlog.h"
#include "tests/support/installation.h"
#include "tests/support/testfiles.h"

namespace {

TEST(QueuemanProcess, SendsTheJobOfAConvertedMessageAndRecordsTheResult)
{
    LogInit(stdout, "", 5, "TEST");
    tvtest::Installation inst(tvtest::InstallationSpec()
                                  .Setup("FCLASS-1", {"Port: COM7"})
                                  .User("JSMITH")
                                  .Folder("USERS/JSMITH/T-OUT/G3N"),
                              "qm");
    const std::string out = inst.UserDir("JSMITH") + "T-OUT\\";
    // The message as the converter leaves it: two common pages, none of
    // the addressee's own. No page header pieces.
    ASSERT_TRUE(WriteWholeFile(out + "SAMPLE1.CTL",
                        "[TAVRINE]\r\nType: SendControl\r\nRevision: A\r\n\r\n[DOCUMENT]\r\nFile: SAMPLE1.TXT\r\n\r\n"
                        "[MESSAGE]\r\nFormat: TXT\r\nType: SEND\r\nStatus: Su\r\n\r\n"
                        "[OPTIONS]\r\nFrom: John Smith\r\nHeader:\r\n\r\n"
                        "[ADDRESSEES]\r\nShortName: MILLER\r\nAddrStatus: Wa\r\nName: Anna Miller\r\n"
                        "Via: FAX-ANY 5550199\r\n"));
    // Its entry in the send directory, as the client writes it, after
    // another message's.
    const std::string sendEntry = "[DOCUMENT]\r\nFile: SAMPLE1.CTL\r\nComment: The sample\r\n[MESSAGE]\r\n"
                                  "AssocFile:\r\nAccepted: 00-00-00 00:00:00\r\nType: SEND\r\nStatus: Su\r\n"
                                  "UserStatus: Wa\r\n";
    const std::string otherEntry = "[DOCUMENT]\r\nFile: OTHER.CTL\r\nComment: \r\n[MESSAGE]\r\nAssocFile:\r\n"
                                   "Accepted: 00-00-00 00:00:00\r\nType: SEND\r\nStatus: Su\r\nUserStatus: Wa\r\n\r\n";
    const std::string sendHeader = "[TAVRINE]\r\nType: SendDir\r\nRevision: A\r\n\r\n";
    ASSERT_TRUE(WriteWholeFile(out + "MSGDIR.CTL", sendHeader + otherEntry + sendEntry));
    FILE *f = std::fopen((out + "G3N\\SAMPLE1.G3N").c_str(), "w+b");
    ASSERT_NE(nullptr, f);
    FaxPageState st{};
    ASSERT_EQ(0, StartTiffFaxFile(f, &st, 1728, 98));
    uint8_t row[216] = {};
    row[40] = 0x3C;
    for (int p = 0; p < 2; ++p)
        for (int r = 0; r < 12; ++r)
            ASSERT_EQ(0, WriteTiffFaxRow(f, &st, row, sizeof row, r == 11, r == 11 && p == 1));
    std::fclose(f);

    // The test plays the converter and the system manager.
    TvMailslot zoroviz = nullptr, sysman = nullptr;
    ASSERT_EQ(0, MsgMakePipe("ZOROVIZ", 0, &zoroviz));
    ASSERT_EQ(0, MsgMakePipe("SYSMAN", 0, &sysman));
    tvtest::Process queueman(inst.Program(QUEUEMAN_EXE));
    for (int i = 0; i < 100 && queueman.Running() && !MsgQueueExists("QUEUEMAN"); ++i)
        Sleep(100);
    ASSERT_TRUE(MsgQueueExists("QUEUEMAN")) << queueman.Result();
    tvtest::Process ctl(inst.Program(FAKECTL_EXE, {"1"}));
    ASSERT_TRUE(ctl.Started()) << ctl.Result();

    ASSERT_TRUE(WriteWholeFile(inst.RequestArea() + "~RQST001.CTL",
                        "[TAVRINE]\r\nType: Request\r\nRevision: A\r\n\r\n[REQUEST]\r\nServer: QueueMan\r\n"
                        "Type: SEND\r\nUser: JSMITH\r\nFile: SAMPLE1.CTL\r\n"));
    uint8_t buf[MSG_MAX_PACKET];
    uint16_t len = 0;
    bool converting = false;
    for (int i = 0; i < 200 && !converting; ++i) {
        if (MsgReadRequest(zoroviz, buf, sizeof buf, &len) == 0)
            converting = true;
        else
            Sleep(100);
    }
    ASSERT_TRUE(converting);
    EXPECT_EQ(len, 134);
    EXPECT_STREQ(reinterpret_cast<char *>(buf + 6), "JSMITH SAMPLE1 TXT G3N 1");
    size_t n = EncodeHeaderOnly(PKT_CLASS_QUEUEMAN, PKT_QM_CONVERT_REPLY, 0, buf, sizeof buf);
    ASSERT_EQ(0, MsgSendRequest("QUEUEMAN", 10, buf, static_cast<uint16_t>(n), nullptr, 0, nullptr));

    // The controller registers, gets the job and sends both pages.
    std::string text;
    for (int i = 0; i < 300; ++i) {
        text = ReadWholeFile(out + "SAMPLE1.CTL");
        if (text.find("SentOK: ") != std::string::npos || text.find("SentEr: ") != std::string::npos)
            break;
        Sleep(100);
    }
    n = EncodeHeaderOnly(PKT_CLASS_STOPALL, 0, 0, buf, sizeof buf);
    MsgSendRequest("FCLASS\\1", 3, buf, static_cast<uint16_t>(n), nullptr, 0, nullptr);
    EXPECT_EQ(0, ctl.Wait(15000).code) << ctl.Result(); // first: it tells QUEUEMAN its last state
    MsgSendRequest("QUEUEMAN", 3, buf, static_cast<uint16_t>(n), nullptr, 0, nullptr);
    EXPECT_EQ(0, queueman.Wait(15000).code) << queueman.Result();
    MsgClosePipe(zoroviz);
    MsgClosePipe(sysman);
    std::string log = inst.ServerLog();
    EXPECT_NE(text.find("\r\nAddrStatus: OK\r\n"), std::string::npos) << text << log;
    EXPECT_NE(text.find("\r\nStatus: OK\r\n"), std::string::npos) << text;
    size_t h = text.find("\r\n[HISTORY]\r\nSentOK: ");
    ASSERT_NE(h, std::string::npos) << text;
    EXPECT_NE(text.find(" FCLASS-1 FAX-ANY \"Anna Miller\" \"5550199\" 0000 2 ", h), std::string::npos) << text;
    EXPECT_NE(log.find("Job 1: message SAMPLE1 of JSMITH, addressee 1, to FCLASS-1, number 5550199"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("FCLASS-1   - (I) - Connect time - 00:00, Pages - 2, Status - OK"), std::string::npos) << log;

    // The send directory: only this message's status and acceptance time
    // changed, in place.
    std::string dirText = ReadWholeFile(out + "MSGDIR.CTL");
    ASSERT_EQ(dirText.size(), (sendHeader + otherEntry + sendEntry).size()) << dirText;
    EXPECT_EQ(dirText.substr(0, sendHeader.size() + otherEntry.size()), sendHeader + otherEntry);
    std::string entry = dirText.substr(sendHeader.size() + otherEntry.size());
    EXPECT_EQ(entry.find("Accepted: 00-00-00"), std::string::npos) << entry;
    EXPECT_NE(entry.find("Accepted: "), std::string::npos) << entry;
    EXPECT_NE(entry.find("\r\nStatus: OK\r\nUserStatus: Wa\r\n"), std::string::npos) << entry;
}

// The last-write time of a file as Windows keeps it (UTC); zero when none.
ULONGLONG WriteTime(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a))
        return 0;
    return (ULONGLONG(a.ftLastWriteTime.dwHighDateTime) << 32) | a.ftLastWriteTime.dwLowDateTime;
}

TEST(QueuemanProcess, MakesTheAccountsAndListsReceivedMessages)
{
    LogInit(stdout, "", 5, "TEST");
    // ANNE's folders are not made by the installation: QUEUEMAN makes them.
    tvtest::Installation inst(tvtest::InstallationSpec().User("JSMITH", {"Group: Sales"}), "qa");
    std::string users = ReadWholeFile(inst.Path("SYSTEM/T-DB/USERLIST.INI"));
    ASSERT_TRUE(WriteWholeFile(inst.Path("SYSTEM/T-DB/USERLIST.INI"),
                               users + "\r\n[USER]\r\nName: ANNE\r\nGroup: SALES\r\n"));
    ASSERT_TRUE(WriteWholeFile(inst.UserDir("JSMITH") + "T-IN\\MSGDIR.CTL", "kept as it is\r\n"));

    tvtest::Process queueman(inst.Program(QUEUEMAN_EXE));
    for (int i = 0; i < 100 && queueman.Running() && !MsgQueueExists("QUEUEMAN"); ++i)
        Sleep(100);
    ASSERT_TRUE(MsgQueueExists("QUEUEMAN")) << queueman.Result();
    const std::string receiveHeader = "[TAVRINE]\r\nType: ReceiveDir\r\nRevision: A\r\n\r\n";
    for (const char *name : {"ANNE", "SALES"}) {
        SCOPED_TRACE(name);
        for (const char *sub : {"T-IN", "T-OUT", "T-GRAPH", "T-DB"}) {
            DWORD a = GetFileAttributesA((inst.UserDir(name) + sub).c_str());
            EXPECT_TRUE(a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) << sub << inst.ServerLog();
        }
        EXPECT_EQ(ReadWholeFile(inst.UserDir(name) + "T-IN\\MSGDIR.CTL"), receiveHeader);
        EXPECT_EQ(ReadWholeFile(inst.UserDir(name) + "T-OUT\\MSGDIR.CTL"),
                  "[TAVRINE]\r\nType: SendDir\r\nRevision: A\r\n\r\n");
    }
    EXPECT_EQ(ReadWholeFile(inst.UserDir("JSMITH") + "T-IN\\MSGDIR.CTL"), "kept as it is\r\n");

    // Calls received for the group: one ends well, one fails, and one whose
    // message the controller removed leaves no entry.
    auto tool = [&](const std::vector<std::string> &args) {
        std::vector<std::string> all = {"send", "QUEUEMAN"};
        all.insert(all.end(), args.begin(), args.end());
        tvtest::RunResult r = tvtest::Run(inst.Program(TVPACKET_EXE, all), 30000);
        EXPECT_EQ(r.code, 0) << r;
    };
    const std::string in = inst.UserDir("SALES") + "T-IN\\";
    struct Call {
        const char *file, *code;
        bool removed;
        const char *status;
    };
    const Call calls[] = {{"~RECD001.CTL", "0", false, "OK"},
                          {"~RECD002.CTL", "0xF016", false, "Fa"},
                          {"~RECD003.CTL", "0xF016", true, nullptr}};
    std::string expected = receiveHeader;
    ULONGLONG markerBefore = 0;
    for (const Call &c : calls) {
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(WriteWholeFile(in + c.file, std::string("[TAVRINE]\r\nType: ReceiveControl\r\nRevision: A\r\n\r\n"
                                                            "[DOCUMENT]\r\nFile: ") + c.file +
                                                    "\r\nComment: From: 5550101\r\n[MESSAGE]\r\nAssocFile:\r\n"
                                                    "Format: G3F\r\nAccepted: 26-12-10 17:05:09\r\nType: RECEIVE\r\n"
                                                    "Status: Re\r\nUserStatus: Wa\r\n"));
        tool({"NEW-MESSAGE", "device=FCLASS", "number=1", "user=SALES", std::string("file=") + c.file});
        std::string arrived = expected + "[DOCUMENT]\r\nFile: " + c.file +
                              "\r\nComment: From: 5550101\r\n[MESSAGE]\r\nFormat: G3F\r\n"
                              "Accepted: 26-12-10 17:05:09\r\nType: RECEIVE\r\nStatus: Re\r\nUserStatus: Wa\r\n\r\n";
        std::string text;
        for (int i = 0; i < 100 && (text = ReadWholeFile(in + "MSGDIR.CTL")) != arrived; ++i)
            Sleep(100);
        ASSERT_EQ(text, arrived) << inst.ServerLog();
        // The new-arrival marker moves just after the list changed.
        ULONGLONG marker = 0;
        for (int i = 0; i < 100 && (marker = WriteTime(in + "MSGNEW.CTL")) <= markerBefore; ++i)
            Sleep(100);
        EXPECT_GT(marker, markerBefore);
        markerBefore = marker;
        if (c.removed) {
            ASSERT_TRUE(DeleteFileA((in + c.file).c_str()));
        }
        tool({"JOB-RESULT", "device=FCLASS", "number=1", std::string("code=") + c.code});
        if (!c.removed) {
            std::string done = arrived;
            done.replace(done.rfind("Status: Re"), 10, std::string("Status: ") + c.status);
            expected = done;
        }
        for (int i = 0; i < 100 && (text = ReadWholeFile(in + "MSGDIR.CTL")) != expected; ++i)
            Sleep(100);
        EXPECT_EQ(text, expected) << inst.ServerLog();
    }
    // Every change stamped at a whole or half hour; the group's markers made.
    EXPECT_EQ(WriteTime(in + "MSGDIR.CTL") % (30ULL * 60 * 10000000), 0u);
    EXPECT_EQ(ReadWholeFile(in + "MSGCHG.CTL"), "[TAVRINE]\r\nType: ReceiveChange\r\nRevision: A\r\n\r\n");
    EXPECT_NE(WriteTime(in + "MSGCHG.CTL"), 0u);

    uint8_t buf[MSG_MAX_PACKET];
    size_t n = EncodeHeaderOnly(PKT_CLASS_STOPALL, 0, 0, buf, sizeof buf);
    MsgSendRequest("QUEUEMAN", 3, buf, static_cast<uint16_t>(n), nullptr, 0, nullptr);
    EXPECT_EQ(0, queueman.Wait(15000).code) << queueman.Result();
}

} // namespace
