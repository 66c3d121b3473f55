// Under Wine: the file peer plays a script against files of a scratch
// folder while this process watches: a file it holds without sharing is
// refused here, the copies, times and attributes land, the waits end when
// this process acts or run out, and each action prints its line.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/process.h"
#include "tests/support/waitfor.h"
#include "tests/support/tempdir.h"
#include "tests/support/testfiles.h"

namespace {

std::string WithoutCr(std::string s)
{
    std::string out;
    for (char c : s)
        if (c != '\r')
            out += c;
    return out;
}

ULONGLONG WriteTime(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a))
        return 0;
    return (ULONGLONG(a.ftLastWriteTime.dwHighDateTime) << 32) | a.ftLastWriteTime.dwLowDateTime;
}

ULONGLONG Now()
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return (ULONGLONG(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

TEST(FilePlayProcess, PlaysEachActionAgainstAnotherProcess)
{
    tvtest::TempDir dir("fp");
    const std::string held = dir.File("MSGDIR.CTL"), fixture = dir.File("FIX.CTL"), entry = dir.File("ENTRY.TXT"),
                      marker = dir.File("MSGCHG.CTL"), flag = dir.File("FLAG"), script = dir.File("PLAY.TXT");
    ASSERT_TRUE(WriteWholeFile(held, "held\r\n"));
    ASSERT_TRUE(WriteWholeFile(fixture, "fixture\r\n"));
    ASSERT_TRUE(WriteWholeFile(entry, "[DOCUMENT]\r\n"));
    ASSERT_TRUE(WriteWholeFile(marker, "[TAVRINE]\r\n"));
    auto q = [](const std::string &p) { return "\"" + p + "\""; };
    ASSERT_TRUE(WriteWholeFile(script, "hold " + q(held) + " rw none 1500\r\n"
                                       "copy " + q(fixture) + " " + q(held) + "\r\n"
                                       "append " + q(held) + " " + q(entry) + "\r\n"
                                       "settime " + q(held) + " 2026-12-10 17:30:00\r\n"
                                       "attrib " + q(held) + " r\r\n"
                                       "attrib " + q(held) + " n\r\n"
                                       "# the marker: years ahead, then back to now\r\n"
                                       "ahead " + q(marker) + " 3\r\n"
                                       "marker " + q(marker) + "\r\n"
                                       "appear " + q(flag) + " 20000\r\n"
                                       "delete " + q(flag) + "\r\n"
                                       "delete " + q(flag) + "\r\n"
                                       "vanish " + q(fixture) + " 100\r\n"
                                       "change " + q(held) + " 20000\r\n"
                                       "rename a b\r\n"
                                       "hold " + q(dir.File("NONE")) + " r rw 10\r\n"));
    tvtest::Process peer(tvtest::Command(FILEPLAY_EXE, {script}));
    ASSERT_TRUE(peer.Started()) << peer.Result();

    // While the peer holds the file without sharing, this process can't open it.
    ASSERT_TRUE(tvtest::WaitFor(20000, [&] { return peer.Output().find("1 hold 0") != std::string::npos; })) << peer.Result();
    HANDLE h = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD error = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    // Copy, append, time, attributes, the marker: then it waits for the flag.
    ASSERT_TRUE(tvtest::WaitFor(20000, [&] { return peer.Output().find("9 marker") != std::string::npos; })) << peer.Result();
    EXPECT_EQ(ReadWholeFile(held), "fixture\r\n[DOCUMENT]\r\n");
    const ULONGLONG second = 10000000ULL;
    EXPECT_EQ(WriteTime(held), (13441334400ULL + 17 * 3600 + 30 * 60) * second);   // 2026-12-10 17:30:00 UTC
    EXPECT_EQ(GetFileAttributesA(held.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u);
    ULONGLONG m = WriteTime(marker);
    EXPECT_LE(m, Now() + second);
    EXPECT_GE(m + 60 * second, Now());
    ASSERT_TRUE(WriteWholeFile(flag, ""));

    // Once the vanish wait has run out, a change of the file ends the last wait.
    ASSERT_TRUE(tvtest::WaitFor(20000, [&] { return peer.Output().find("13 vanish") != std::string::npos; })) << peer.Result();
    Sleep(100);
    ASSERT_TRUE(WriteWholeFile(held, "changed\r\n"));
    tvtest::RunResult r = peer.Wait(30000);
    EXPECT_EQ(r.code, 1) << r;
    EXPECT_EQ(WithoutCr(r.output), "1 hold 0\n2 copy 0\n3 append 0\n4 settime 0\n5 attrib 0\n6 attrib 0\n8 ahead 0\n"
                                   "9 marker 0\n10 appear 0\n11 delete 0\n12 delete 2\n13 vanish 1460\n14 change 0\n"
                                   "15 ? 87\n16 hold 2\n");
}

} // namespace
