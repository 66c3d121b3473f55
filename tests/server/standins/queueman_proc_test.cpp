// Under Wine: our QUEUEMAN and a controller process built with the scripted
// fake device. A SEND request is converted (the test plays the converter),
// QUEUEMAN gives the controller the JOB, the controller sends the pages and
// answers JOB RESULT, and QUEUEMAN records it in the message's control file.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "server/runtime/mailslot.h"
#include "server/runtime/mhencode.h"
#include "server/runtime/packets.h"
#include "server/runtime/srvlog.h"
#include "tests/support/testfiles.h"

namespace {

HANDLE Start(const std::string &exe, const std::string &args)
{
    std::string cmd = "\"" + exe + "\" " + args;
    for (char &c : cmd)
        if (c == '/')
            c = '\\';
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back(0);
    STARTUPINFOA si;
    std::memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &si, &pi))
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

void Stop(HANDLE h)
{
    if (h && WaitForSingleObject(h, 15000) != WAIT_OBJECT_0)
        TerminateProcess(h, 9);
    if (h)
        CloseHandle(h);
}

TEST(QueuemanProcess, SendsTheJobOfAConvertedMessageAndRecordsTheResult)
{
    LogInit(stdout, "", 5, "TEST");
    char tmp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(sizeof tmp, tmp));
    std::string root = std::string(tmp) + "tvqj" + std::to_string(GetCurrentProcessId() % 100000) + "\\";
    for (const char *d : {"", "SYSTEM", "SYSTEM\\T-DB", "SERVER", "SERVER\\T-DB", "SERVER\\T-TEMP", "USERS",
                          "USERS\\JSMITH", "USERS\\JSMITH\\T-OUT", "USERS\\JSMITH\\T-OUT\\G3N", "REQUEST"})
        CreateDirectoryA((root + d).c_str(), nullptr);
    ASSERT_TRUE(WriteWholeFile(root + "SYSTEM\\TAVRINE.INI", "[TAVRINE]\r\nType: Init\r\nRevision: A\r\n\r\n"
                                                      "[SERVER]\r\nServerArea: " + root + "SERVER\r\n"
                                                      "SystemArea: " + root + "SYSTEM\r\n"
                                                      "AllUserArea: " + root + "USERS\r\n"
                                                      "RequestArea: " + root + "REQUEST\r\n"));
    ASSERT_TRUE(WriteWholeFile(root + "SYSTEM\\T-DB\\SETUP.INI", "[TAVRINE]\r\nType: Setup\r\nRevision: A\r\n\r\n"
                                                          "[OPTIONS]\r\nLogFile: SERVER.LOG\r\n\r\n"
                                                          "[FCLASS-1]\r\nPort: COM7\r\n"));
    const std::string out = root + "USERS\\JSMITH\\T-OUT\\";
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
    SetEnvironmentVariableA("TFAXINIT", (root + "SYSTEM").c_str());
    HANDLE queueman = Start(QUEUEMAN_EXE, "");
    ASSERT_NE(nullptr, queueman);
    for (int i = 0; i < 100 && !MsgQueueExists("QUEUEMAN"); ++i)
        Sleep(100);
    ASSERT_TRUE(MsgQueueExists("QUEUEMAN"));
    HANDLE ctl = Start(FAKECTL_EXE, "1");
    ASSERT_NE(nullptr, ctl);

    ASSERT_TRUE(WriteWholeFile(root + "REQUEST\\~RQST001.CTL",
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
    Stop(ctl);      // first: it tells QUEUEMAN its last state
    MsgSendRequest("QUEUEMAN", 3, buf, static_cast<uint16_t>(n), nullptr, 0, nullptr);
    Stop(queueman);
    MsgClosePipe(zoroviz);
    MsgClosePipe(sysman);
    SetEnvironmentVariableA("TFAXINIT", nullptr);
    std::string log = ReadWholeFile(root + "SERVER\\T-DB\\SERVER.LOG");
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
