// The msgconv program under Wine: the test plays QUEUEMAN and SYSMAN (it
// owns their mailslots), starts the converter in server mode, sends CONVERT
// for the two addressees of a message, checks the replies and the files,
// and stops it with the general stop packet and with SHUTDOWN; one-shot
// mode converts without any packet.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/faxtiff.h"
#include "server/runtime/mailslot.h"
#include "server/runtime/mhencode.h"
#include "server/runtime/packets.h"
#include "server/runtime/srvlog.h"
#include "tests/support/tempdir.h"

namespace {

std::string WinPath(const char *unixPath) {
    std::string p = unixPath;
    if (!p.empty() && p[0] == '/') p = "Z:" + p;
    for (char &c : p)
        if (c == '/') c = '\\';
    return p;
}

void WriteFile(const std::string &path, const std::string &data) {
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fwrite(data.data(), 1, data.size(), f);
    fclose(f);
}

std::string ReadFile(const std::string &path) {
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return "<missing>";
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    fclose(f);
    return s;
}

int PageCount(const std::string &path) {
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return -1;
    uint16_t count = 0;
    int r = CountFaxPages(f, &count);
    fclose(f);
    return r == 0 ? count : -2;
}

const char kControl[] =
    "[TAVRINE]\r\nType: SendControl\r\nRevision: A\r\n\r\n[DOCUMENT]\r\nFile: MSG1.TXT\r\n\r\n"
    "[MESSAGE]\r\nFormat: TXT\r\nAccepted: 26-12-10 09:30:00\r\nType: SEND\r\n\r\n"
    "[OPTIONS]\r\nFrom: Ann Sender\r\nCoversheet:\r\nLetterhead:\r\n\r\n"
    "[ADDRESSEES]\r\nShortName: BOB\r\nField: Name Bob Brown\r\nVia: FAX-ANY 1\r\n"
    "ShortName: CAROL\r\nField: Name Carol Clark\r\nVia: FAX-ANY 2\r\n";

class MsgconvService : public ::testing::Test {
protected:
    tvtest::TempDir tmp_{"msgconv_svc"}; // goes after TearDown has ended the converter
    std::string root_;
    TvMailslot queueman_ = nullptr, sysman_ = nullptr;
    std::vector<HANDLE> processes_;

    void SetUp() override {
        LogInit(stdout, nullptr, 6, "TEST");
        root_ = tmp_.Path() + "\\";
        for (const char *d : {"SYSTEM", "SYSTEM\\T-DB", "SERVER", "SERVER\\T-DB", "SERVER\\T-TEMP", "REQUEST", "USERS",
                              "USERS\\JSMITH", "USERS\\JSMITH\\T-OUT"})
            CreateDirectoryA((root_ + d).c_str(), nullptr);
        WriteFile(root_ + "SYSTEM\\TAVRINE.INI",
                  "[TAVRINE]\r\nType: Init\r\nRevision: A\r\n\r\n[SERVER]\r\nServerArea: " + root_ +
                      "SERVER\r\nSystemArea: " + root_ + "SYSTEM\r\nAllUserArea: " + root_ +
                      "USERS\r\nRequestArea: " + root_ + "REQUEST\r\n");
        WriteFile(root_ + "SYSTEM\\T-DB\\SETUP.INI",
                  "[TAVRINE]\r\nType: SystemInit\r\nRevision: A\r\n\r\n[OPTIONS]\r\nLogFile: SERVER.LOG\r\n"
                  "Language: ENG\r\nUseArchiveAttribute: N\r\n\r\n[ZOROVIZ]\r\nDelayTime: 0\r\n");
        for (const char *f : {"PICA", "SS18", "ELIT", "SS11"})
            for (const char *k : {"LN", "SN", "LF", "SF"}) {
                std::string n = std::string(f) + "_" + k + ".FN";
                std::string data = ReadFile(WinPath(TAVRINE_FONT_DIR) + n);
                ASSERT_NE(data, "<missing>") << n;
                WriteFile(root_ + "SYSTEM\\T-DB\\" + n, data);
            }
        SetEnvironmentVariableA("TFAXINIT", (root_ + "SYSTEM").c_str());
        ASSERT_EQ(MsgMakePipe("QUEUEMAN", 0, &queueman_), TV_OK);
        ASSERT_EQ(MsgMakePipe("SYSMAN", 0, &sysman_), TV_OK);
    }

    void TearDown() override {
        for (HANDLE h : processes_) {
            if (WaitForSingleObject(h, 0) == WAIT_TIMEOUT) {
                TerminateProcess(h, 9);
                WaitForSingleObject(h, 5000); // its files closed before the folder goes
            }
            CloseHandle(h);
        }
        if (queueman_) MsgClosePipe(queueman_);
        if (sysman_) MsgClosePipe(sysman_);
        SetEnvironmentVariableA("TFAXINIT", nullptr);
    }

    HANDLE Start(const std::string &args) {
        std::string cmd = "\"" + WinPath(MSGCONV_EXE) + "\"" + (args.empty() ? "" : " " + args);
        std::vector<char> line(cmd.begin(), cmd.end());
        line.push_back('\0');
        STARTUPINFOA si;
        memset(&si, 0, sizeof si);
        si.cb = sizeof si;
        PROCESS_INFORMATION pi;
        if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &si,
                            &pi))
            return nullptr;
        CloseHandle(pi.hThread);
        processes_.push_back(pi.hProcess);
        return pi.hProcess;
    }

    // The next packet on a mailslot within ms milliseconds.
    bool Receive(TvMailslot slot, uint8_t *buf, uint16_t *len, DWORD ms) {
        DWORD start = GetTickCount();
        do {
            if (MsgReadRequest(slot, buf, MSG_MAX_PACKET, len) == TV_OK) return true;
            Sleep(100);
        } while (GetTickCount() - start < ms);
        return false;
    }

    void SendConvert(const char *text, uint16_t length = PKT_CONVERT_SIZE) {
        uint8_t pkt[200] = {0};
        pkt[2] = 5, pkt[3] = 1;
        memcpy(pkt + 6, text, strlen(text));
        ASSERT_EQ(MsgSendRequest("ZOROVIZ", 10, pkt, length, nullptr, 0, nullptr), TV_OK);
    }

    // The CONVERT reply's result, or -1 when none came.
    int Reply(DWORD ms = 60000) {
        uint8_t buf[MSG_MAX_PACKET];
        uint16_t len = 0;
        if (!Receive(queueman_, buf, &len, ms)) return -1;
        EXPECT_EQ(len, 6);
        EXPECT_EQ(buf[2], PKT_CLASS_QUEUEMAN);
        EXPECT_EQ(buf[3], PKT_QM_CONVERT_REPLY);
        return buf[4] | buf[5] << 8;
    }

    void WriteMessage(const char *name) {
        std::string out = root_ + "USERS\\JSMITH\\T-OUT\\";
        std::string ctl = kControl;
        WriteFile(out + name + ".CTL", ctl);
        WriteFile(out + name + ".CVT", "");
        WriteFile(out + name + ".TXT", "Dear %%[Name],\r\nthe figures from %%[FROM] follow.\fCommon page\r\n");
    }

    std::string Out(const std::string &name) { return root_ + "USERS\\JSMITH\\T-OUT\\" + name; }
};

TEST_F(MsgconvService, ServerModeConvertsAndStops) {
    WriteMessage("MSG1");
    HANDLE p = Start("");
    ASSERT_NE(p, nullptr);
    // The start notice: 6/3, 24 bytes, "ZOROVIZ" at 6, 1 at 20.
    uint8_t buf[MSG_MAX_PACKET];
    uint16_t len = 0;
    ASSERT_TRUE(Receive(sysman_, buf, &len, 30000));
    EXPECT_EQ(len, 24);
    EXPECT_EQ(buf[2], 6);
    EXPECT_EQ(buf[3], 3);
    EXPECT_STREQ(reinterpret_cast<char *>(buf + 6), "ZOROVIZ");
    EXPECT_EQ(buf[20] | buf[21] << 8 | buf[22] << 16 | buf[23] << 24, 1);

    // A CONVERT of the wrong length gets no reply; the good one does.
    SendConvert("JSMITH MSG1 TXT G3F 1", 133);
    SendConvert("JSMITH MSG1 TXT G3F 1 7b");
    EXPECT_EQ(Reply(), 0);
    EXPECT_EQ(PageCount(Out("G3F\\MSG1.001")), 1); // the page with the addressee's name
    EXPECT_EQ(PageCount(Out("G3F\\MSG1.G3F")), 1);
    EXPECT_EQ(ReadFile(Out("MSG1.CVT")), "\r\n[G3F]\r\nPages: 001/002\r\n");
    std::string common = ReadFile(Out("G3F\\MSG1.G3F"));

    SendConvert("jsmith msg1 txt g3f 2");
    EXPECT_EQ(Reply(), 0);
    EXPECT_EQ(PageCount(Out("G3F\\MSG1.002")), 1);
    EXPECT_NE(ReadFile(Out("G3F\\MSG1.002")), ReadFile(Out("G3F\\MSG1.001")));
    EXPECT_EQ(ReadFile(Out("G3F\\MSG1.G3F")), common);
    EXPECT_EQ(ReadFile(Out("MSG1.CVT")), "\r\n[G3F]\r\nPages: 001/002\r\n");

    // A failing conversion is answered with its code.
    SendConvert("JSMITH NOSUCH TXT G3F 1");
    EXPECT_EQ(Reply(), 0xF203);

    uint8_t stop[6] = {0, 0, 99, 0, 0, 0};
    ASSERT_EQ(MsgSendRequest("ZOROVIZ", 10, stop, sizeof stop, nullptr, 0, nullptr), TV_OK);
    ASSERT_EQ(WaitForSingleObject(p, 20000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(p, &code);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(Reply(500), -1); // the 133-byte CONVERT was never answered
    std::string log = ReadFile(root_ + "SERVER\\T-DB\\SERVER.LOG");
    EXPECT_NE(log.find("TIFF message file converter - Version 5.00e"), std::string::npos) << log;
    EXPECT_NE(log.find("Invalid convert packet received - ignored"), std::string::npos) << log;
    EXPECT_NE(log.find("Program closing down"), std::string::npos) << log;

    // SHUTDOWN stops it too.
    p = Start("");
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(Receive(sysman_, buf, &len, 30000));
    uint8_t shutdown[6] = {0, 0, 5, 2, 0, 0};
    ASSERT_EQ(MsgSendRequest("ZOROVIZ", 10, shutdown, sizeof shutdown, nullptr, 0, nullptr), TV_OK);
    ASSERT_EQ(WaitForSingleObject(p, 20000), WAIT_OBJECT_0);
}

TEST_F(MsgconvService, OneShotMode) {
    WriteMessage("MSG2");
    HANDLE p = Start("JSMITH MSG2 TXT G3N 1");
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(WaitForSingleObject(p, 60000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(p, &code);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(PageCount(Out("G3N\\MSG2.001")), 1);
    EXPECT_EQ(PageCount(Out("G3N\\MSG2.G3N")), 1);
    EXPECT_EQ(ReadFile(Out("MSG2.CVT")), "\r\n[G3N]\r\nPages: 001/002\r\n");
    // No packet: neither a start notice nor a reply.
    uint8_t buf[MSG_MAX_PACKET];
    uint16_t len;
    EXPECT_FALSE(Receive(sysman_, buf, &len, 200));
    EXPECT_EQ(Reply(200), -1);
    // A failure is the process's exit code.
    p = Start("JSMITH MSG2 TXT G9X 1");
    ASSERT_EQ(WaitForSingleObject(p, 60000), WAIT_OBJECT_0);
    GetExitCodeProcess(p, &code);
    EXPECT_EQ(code, 0xF204u);
}

} // namespace
