// The shared file operations against the real system: share modes between
// processes (through the holdfile helper), the bounded wait, temporary names
// made by several processes at once (mktemp_burst), 8.3 aliases and hidden
// entries in the search, and file times in universal time.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "common/sharedfile.h"
#include "common/sysini.h"
#include "common/waithook.h"

namespace {

std::string ExeDir()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string s(path, n);
    return s.substr(0, s.rfind('\\') + 1);
}

// A helper process of ours, started from the test program's folder.
struct Helper {
    PROCESS_INFORMATION pi = {};
    bool started = false;

    bool Start(const std::string& args, HANDLE out = nullptr)
    {
        std::string cmd = "\"" + ExeDir() + args;
        std::vector<char> line(cmd.begin(), cmd.end());
        line.push_back(0);
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        if (out) {
            si.dwFlags = STARTF_USESTDHANDLES;
            si.hStdOutput = out;
            si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
            si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        }
        started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, out != nullptr, 0, nullptr, nullptr,
                                 &si, &pi) != 0;
        return started;
    }

    DWORD Wait(DWORD ms = 30000)
    {
        if (!started)
            return 0xFFFFFFFF;
        DWORD code = 0xFFFFFFFF;
        if (WaitForSingleObject(pi.hProcess, ms) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi.hProcess, &code);
        return code;
    }

    void Stop()
    {
        if (!started)
            return;
        TerminateProcess(pi.hProcess, 9);
        WaitForSingleObject(pi.hProcess, 10000);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        started = false;
    }

    ~Helper() { Stop(); }
};

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class WinShared : public ::testing::Test {
protected:
    std::string dir; // ends with '\'

    void SetUp() override
    {
        char cwd[MAX_PATH];
        GetCurrentDirectoryA(sizeof cwd, cwd);
        dir = std::string(cwd) + "\\sw_" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "\\";
        Clean();
        ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr)) << dir;
    }

    void TearDown() override { Clean(); }

    void Clean()
    {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::string p = dir + fd.cFileName;
                if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                    SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileA(p.c_str());
                }
            } while (FindNextFileA(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryA(dir.c_str());
    }

    std::string Path(const char* name) const { return dir + name; }

    void Write(const char* name, const char* text)
    {
        FILE* f = OpenShared(0, Path(name).c_str(), "wb");
        ASSERT_NE(f, nullptr) << name;
        std::fputs(text, f);
        std::fclose(f);
    }

    // Starts holdfile on name in mode and waits until it holds the file.
    bool Hold(Helper& h, const char* name, const char* mode, int ms)
    {
        std::string marker = Path(name) + ".RDY";
        DeleteFileA(marker.c_str());
        if (!h.Start("holdfile.exe\" \"" + Path(name) + "\" " + mode + " " + std::to_string(ms)))
            return false;
        for (int i = 0; i < 2000; ++i) {
            if (Exists(marker))
                return true;
            if (WaitForSingleObject(h.pi.hProcess, 5) == WAIT_OBJECT_0)
                return false;
        }
        return false;
    }
};

const char* const kModes[] = {"r", "r+", "w", "w+", "a", "a+", "c", "c+"};

// Which mode opens while another program holds the file in a given mode:
// one row per holder, one character per mode tried, in kModes order.
// r grants read and write to others, a and a+ grant read, the rest nothing;
// an open also needs to grant the holder its own access. c never opens a file
// that exists.
const char* const kOpensWhileHeld[] = {
    /* r  */ "10001100",
    /* r+ */ "00000000",
    /* w  */ "00000000",
    /* w+ */ "00000000",
    /* a  */ "10000000",
    /* a+ */ "10000000",
    /* c  */ "00000000",
    /* c+ */ "00000000",
};

TEST_F(WinShared, ShareModeMatrixBetweenProcesses)
{
    for (int h = 0; h < 8; ++h) {
        std::string holderMode = std::string(kModes[h]) + "b";
        if (kModes[h][0] == 'c')
            DeleteFileA(Path("HELD.DAT").c_str());
        else
            Write("HELD.DAT", "shared contents");
        Helper holder;
        ASSERT_TRUE(Hold(holder, "HELD.DAT", holderMode.c_str(), 60000)) << "holder " << holderMode;
        for (int t = 0; t < 8; ++t) {
            std::string mode = std::string(kModes[t]) + "b";
            DWORD t0 = GetTickCount();
            FILE* f = OpenShared(0, Path("HELD.DAT").c_str(), mode.c_str());
            bool opened = f != nullptr;
            if (f)
                std::fclose(f);
            EXPECT_EQ(opened, kOpensWhileHeld[h][t] == '1') << "held " << holderMode << ", tried " << mode;
            EXPECT_LT(GetTickCount() - t0, 1000u) << "a wait of 0 makes one try";
        }
        holder.Stop();
    }
}

int g_hookCalls = 0;
void CountingHook()
{
    ++g_hookCalls;
    Sleep(5);
}

TEST_F(WinShared, RefusedOpenWaitsAboutFiveSecondsAndRetriedOpenSucceeds)
{
    Write("HELD.DAT", "x");
    {
        Helper holder;
        ASSERT_TRUE(Hold(holder, "HELD.DAT", "r+b", 60000));
        TvWaitHook old = SetWaitHook(CountingHook);
        g_hookCalls = 0;
        DWORD t0 = GetTickCount();
        FILE* f = OpenSharedRetry(Path("HELD.DAT").c_str(), "rb");
        DWORD elapsed = GetTickCount() - t0;
        SetWaitHook(old);
        EXPECT_EQ(f, nullptr);
        EXPECT_GE(elapsed, 4500u);
        EXPECT_LE(elapsed, 8000u);
        EXPECT_GT(g_hookCalls, 50) << "every retry goes through the wait hook";

        // Mode c on the existing file: none at once, held or not.
        t0 = GetTickCount();
        EXPECT_EQ(OpenSharedRetry(Path("HELD.DAT").c_str(), "cb"), nullptr);
        EXPECT_LT(GetTickCount() - t0, 1000u);

        // The file dates wait by their own limit while the file is held.
        int16_t y;
        t0 = GetTickCount();
        EXPECT_EQ(GetFileDate(Path("HELD.DAT").c_str(), 1, &y, nullptr, nullptr, nullptr, nullptr, nullptr), -4084);
        elapsed = GetTickCount() - t0;
        EXPECT_GE(elapsed, 900u);
        EXPECT_LE(elapsed, 3000u);
        holder.Stop();
    }
    {
        // Held for one second: the retried open gets it once it is let go.
        Helper holder;
        ASSERT_TRUE(Hold(holder, "HELD.DAT", "wb", 1000));
        DWORD t0 = GetTickCount();
        FILE* f = OpenSharedRetry(Path("HELD.DAT").c_str(), "r+b");
        DWORD elapsed = GetTickCount() - t0;
        ASSERT_NE(f, nullptr);
        std::fclose(f);
        EXPECT_LT(elapsed, 4500u);
        EXPECT_EQ(holder.Wait(), 0u);
    }
}

TEST_F(WinShared, TempNamesFromEightProcessesAreUnique)
{
    const int kProcesses = 8, kNames = 50;
    Helper burst[kProcesses];
    HANDLE outs[kProcesses];
    char outDir[MAX_PATH];
    GetCurrentDirectoryA(sizeof outDir, outDir);
    for (int i = 0; i < kProcesses; ++i) {
        SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
        std::string out = std::string(outDir) + "\\burst" + std::to_string(i) + ".out";
        outs[i] = CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(outs[i], INVALID_HANDLE_VALUE);
        // Half of them use another extension: a number is taken whatever the
        // extension, so the stems must differ too.
        // A '\' before the closing quote is doubled, else it escapes the quote.
        ASSERT_TRUE(burst[i].Start("mktemp_burst.exe\" \"" + dir + "\\\" BRST " + std::to_string(kNames) +
                                       (i % 2 ? " FIL" : " TMP"),
                                   outs[i]));
    }
    Write("GO", "");
    std::set<std::string> names, stems;
    int total = 0;
    // Every process inherited every output handle: read them once all ended.
    for (int i = 0; i < kProcesses; ++i)
        EXPECT_EQ(burst[i].Wait(60000), 0u) << "process " << i;
    for (int i = 0; i < kProcesses; ++i)
        CloseHandle(outs[i]);
    for (int i = 0; i < kProcesses; ++i) {
        std::string out = std::string(outDir) + "\\burst" + std::to_string(i) + ".out";
        FILE* f = std::fopen(out.c_str(), "r");
        ASSERT_NE(f, nullptr);
        char line[64];
        while (std::fgets(line, sizeof line, f)) {
            std::string name(line);
            while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
                name.pop_back();
            ++total;
            EXPECT_TRUE(names.insert(name).second) << "given twice: " << name;
            EXPECT_TRUE(stems.insert(name.substr(0, name.find('.'))).second) << "stem given twice: " << name;
            WIN32_FILE_ATTRIBUTE_DATA data;
            EXPECT_TRUE(GetFileAttributesExA(Path(name.c_str()).c_str(), GetFileExInfoStandard, &data))
                << "reserved file missing: " << name;
            EXPECT_EQ(data.nFileSizeLow, 0u);
        }
        std::fclose(f);
        EXPECT_TRUE(DeleteFileA(out.c_str()));
    }
    EXPECT_EQ(total, kProcesses * kNames);
    // Nothing but the reserved files is left behind.
    int left = 0;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(Path("~BRST*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do
            ++left;
        while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    EXPECT_EQ(left, kProcesses * kNames);
}

TEST_F(WinShared, SearchUsesShortNamesSkipsHiddenAndDeleteCountsFailures)
{
    Write("LONGFILENAME1.TXT", "");
    Write("SHORT.TXT", "");
    Write("HIDDEN.TXT", "");
    ASSERT_TRUE(SetFileAttributesA(Path("HIDDEN.TXT").c_str(), FILE_ATTRIBUTE_HIDDEN));
    bool hiddenKept = (GetFileAttributesA(Path("HIDDEN.TXT").c_str()) & FILE_ATTRIBUTE_HIDDEN) != 0;

    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(Path("LONGFILENAME1.TXT").c_str(), &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FindClose(h);
    std::string alias = fd.cAlternateFileName;
    ASSERT_FALSE(alias.empty()) << "the system gives no 8.3 alias";
    ASSERT_LE(alias.size(), 12u);
    for (char& c : alias)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);

    auto list = [&](int16_t size) {
        std::vector<std::string> v;
        FindMatchRecord* rec = FindFirstMatch(dir.c_str(), "*.TXT", 0);
        char name[MAX_PATH];
        while (rec && FindNextMatch(rec, name, size))
            v.push_back(name);
        FindEndMatch(rec);
        std::sort(v.begin(), v.end());
        return v;
    };
    std::vector<std::string> full = {"LONGFILENAME1.TXT", "SHORT.TXT"};
    std::vector<std::string> with13 = {alias, "SHORT.TXT"};
    std::sort(with13.begin(), with13.end());
    if (!hiddenKept) {
        // The system cannot keep the hidden attribute here: the entry shows.
        full.insert(full.begin(), "HIDDEN.TXT");
        with13.insert(with13.begin(), "HIDDEN.TXT");
        std::sort(with13.begin(), with13.end());
    }
    EXPECT_EQ(list(MAX_PATH), full);
    EXPECT_EQ(list(18), full);
    EXPECT_EQ(list(17), with13) << "the long name needs 18 bytes: the alias stands in";
    EXPECT_EQ(list(13), with13);
    std::vector<std::string> with12 = with13;
    with12.erase(std::find(with12.begin(), with12.end(), alias));
    EXPECT_EQ(list(12), with12) << "fits in no form: passed over, the search goes on";

    // A file held open cannot be deleted and is counted; the long name goes
    // by its alias.
    FILE* held = OpenShared(0, Path("SHORT.TXT").c_str(), "rb");
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(DeleteMatchingFiles(dir.c_str(), "*.TXT"), 1);
    std::fclose(held);
    EXPECT_FALSE(Exists(Path("LONGFILENAME1.TXT")));
    EXPECT_TRUE(Exists(Path("SHORT.TXT")));
    EXPECT_EQ(Exists(Path("HIDDEN.TXT")), hiddenKept) << "hidden entries are not matched";
    EXPECT_EQ(DeleteMatchingFiles(dir.c_str(), "*.TXT"), 0);
    EXPECT_FALSE(Exists(Path("SHORT.TXT")));
}

TEST_F(WinShared, FileDatesAreUniversalTimeWhateverTheZone)
{
    Write("D.TXT", "x");
    std::string p = Path("D.TXT");
    _putenv("TZ=PST8PDT");
    _tzset();
    ASSERT_EQ(SetFileDate(p.c_str(), 0, 1, 2003, 7, 14, 1, 22, 33, 44), 0);

    HANDLE h = CreateFileA(p.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME ft;
    ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &ft));
    CloseHandle(h);
    SYSTEMTIME st;
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
    EXPECT_EQ((std::vector<int>{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds}),
              (std::vector<int>{2003, 7, 14, 22, 33, 44, 0}));

    // A time set by the system is read back unconverted.
    st = {};
    st.wYear = 1999;
    st.wMonth = 1;
    st.wDay = 2;
    st.wHour = 3;
    st.wMinute = 4;
    st.wSecond = 5;
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    h = CreateFileA(p.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &ft));
    CloseHandle(h);
    int16_t y, mo, d, hh, mi, s;
    ASSERT_EQ(GetFileDate(p.c_str(), 0, &y, &mo, &d, &hh, &mi, &s), 0);
    EXPECT_EQ((std::vector<int>{y, mo, d, hh, mi, s}), (std::vector<int>{1999, 1, 2, 3, 4, 5}));
    _putenv("TZ=");
    _tzset();
}

TEST_F(WinShared, LocateIniFileThroughTheEnvironment)
{
    std::string lower = dir;
    for (char& c : lower)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    Write("TAVRINE.INI", "[TAVRINE]\r\n");
    std::string setting = "TFAXINIT=" + lower + "nothing-here;" + lower.substr(0, lower.size() - 1) + ";";
    _putenv(setting.c_str());
    char found[TV_INI_DIR_SIZE];
    EXPECT_EQ(LocateIniFile(found, sizeof found), 0);
    std::string upper = dir;
    for (char& c : upper)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    EXPECT_EQ(found, upper);
    _putenv("TFAXINIT=");
}

} // namespace
