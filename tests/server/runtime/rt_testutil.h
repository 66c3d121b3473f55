// Helpers of the server runtime tests: a fake clock, scratch directories and
// file contents. Paths are written with '\' as the system's programs write
// them; the native tree reads '\' as '/'.
#ifndef TAVRINE_TESTS_SERVER_RUNTIME_RT_TESTUTIL_H
#define TAVRINE_TESTS_SERVER_RUNTIME_RT_TESTUTIL_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <direct.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "server/runtime/console.h"

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

// For the file system calls of the test itself.
inline std::string HostPath(const std::string &p)
{
#ifdef _WIN32
    return p;
#else
    std::string s = p;
    for (char &c : s)
        if (c == '\\')
            c = '/';
    return s;
#endif
}

inline void MakeDir(const std::string &p)
{
#ifdef _WIN32
    _mkdir(p.c_str());
#else
    mkdir(HostPath(p).c_str(), 0777);
#endif
}

// A fresh scratch directory, ending in '\'.
inline std::string ScratchDir(const char *name)
{
#ifdef _WIN32
    char tmp[MAX_PATH];
    GetTempPathA(sizeof tmp, tmp);
    std::string base = tmp;
    if (base.empty() || base.back() != '\\')
        base += '\\';
    std::string dir = base + "tvrt_" + name + "_" + std::to_string(GetCurrentProcessId());
#else
    std::string dir = std::string("/tmp/tvrt_") + name + "_" + std::to_string(getpid());
#endif
    MakeDir(dir);
    return dir + "\\";
}

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
