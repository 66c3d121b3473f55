// Helpers of the tests of the server runtime and the programs built on it: a
// fake runtime clock, host paths and file contents. Paths are written with
// '\' as the system's programs write them; the native tree reads '\' as '/'.
// Compiled into each test that uses it (rt_testutil.cpp, with the server
// runtime linked); it also keeps the tests' log errors from beeping.
#ifndef TAVRINE_TESTS_SUPPORT_RT_TESTUTIL_H
#define TAVRINE_TESTS_SUPPORT_RT_TESTUTIL_H

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/platform.h"
#include "server/runtime/rtclock.h"

namespace rt {

// A clock that moves only when the code under test sleeps.
struct FakeClock {
    static uint32_t now;
    static uint32_t slept;              // total sleep asked for
    static int sleeps;                  // number of sleeps
    static RtTime time;                 // what localTime gives
    static void (*onSleep)(uint32_t now);
    static uint32_t Tick() { return now; }
    static void Sleep(uint32_t ms)
    {
        now += ms;
        slept += ms;
        ++sleeps;
        if (onSleep)
            onSleep(now);
    }
    static void Local(RtTime *t) { *t = time; }
    static void Install(uint32_t start = 5000)
    {
        now = start;
        slept = 0;
        sleeps = 0;
        onSleep = nullptr;
        time = RtTime{2026, 12, 10, 13, 5, 9};
        static const RtClock clock = {Tick, Sleep, Local};
        SetRuntimeClock(&clock);
    }
    static void Remove()
    {
        onSleep = nullptr;
        SetRuntimeClock(nullptr);
    }
};

// For the file system calls of the test itself: '\' as the system's own
// separator.
inline std::string HostPath(const std::string &p)
{
    std::string s = p;
    for (char &c : s)
        if (c == '\\')
            c = TvPathSep();
    return s;
}

inline void MakeDir(const std::string &p) { TvPlatMakeDir(p.c_str()); }

// A fresh scratch folder with a short name, ending in '\', removed with
// everything in it when the test program ends (not when a forked child ends
// with exit(): such tests hold a tvtest::TempDir). Tests that can hold a
// tvtest::TempDir (tests/support/tempdir.h) should use that instead.
std::string ScratchDir(const char *name);

inline void WriteText(const std::string &path, const std::string &text)
{
    FILE *f = std::fopen(HostPath(path).c_str(), "wb");
    if (f) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
}

inline std::string ReadText(const std::string &path)
{
    std::string s;
    FILE *f = std::fopen(HostPath(path).c_str(), "rb");
    if (!f)
        return s;
    int c;
    while ((c = std::getc(f)) != EOF)
        if (c != '\r')
            s.push_back(static_cast<char>(c));
    std::fclose(f);
    return s;
}

// A beep that makes no sound; the tests' default.
void QuietBeep();

// A stream the logger can be left on between tests.
inline FILE *QuietStream()
{
    static FILE *f = std::tmpfile();
    return f;
}

inline void RemoveFile(const std::string &path) { std::remove(HostPath(path).c_str()); }

inline std::string StreamText(FILE *f)
{
    std::string s;
    std::fflush(f);
    std::rewind(f);
    int c;
    while ((c = std::getc(f)) != EOF)
        if (c != '\r')
            s.push_back(static_cast<char>(c));
    return s;
}

} // namespace rt

#endif
