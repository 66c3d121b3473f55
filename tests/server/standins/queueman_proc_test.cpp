// Under Wine: our QUEUEMAN and a controller process built with the scripted
// fake device. A SEND request is converted (the test plays the converter),
// QUEUEMAN gives the controller the JOB, the controller sends the pages and
// answers JOB RESULT, and QUEUEMAN records it in the message's control file.
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
}

} // namespace
