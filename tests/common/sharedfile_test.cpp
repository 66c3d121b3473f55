// Shared open, copy-back, temporary names, file dates and directory search,
// over the platform layer. Runs natively and under Wine; paths are written
// with '\' as the system writes them.
#include "common/sharedfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/platform.h"

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

// ---------------------------------------------------------------- path helpers

TEST(PathHelpers, FileExtensionAndNamePart)
{
    struct Row {
        const char* path;
        long extOffset; // from the path's start
        long nameOffset;
    };
    static const Row rows[] = {
        {"C:\\A.B\\FILE", 0, 7},        // dot only in a directory: no extension
        {"FILE.", 5, 0},                // empty extension
        {"C:\\DIR\\NAME.TXT", 12, 7},
        {"NAME.TAR.GZ", 9, 0},
        {"C:NAME.TIF", 7, 2},
        {"", 0, 0},
        {"\\\\SERVER\\SHARE\\X", 0, 15},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(FileExtension(r.path) - r.path, r.extOffset) << r.path;
        EXPECT_EQ(FileNamePart(r.path) - r.path, r.nameOffset) << r.path;
    }
    char buf[] = "X.TMP";
    FileExtension(buf)[0] = 'Q';
    EXPECT_STREQ(buf, "X.QMP");
}

TEST(PathHelpers, CopyStringBoundsAndTerminates)
{
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    CopyString(buf, "ABCDEFGHIJ", 8);
    EXPECT_STREQ(buf, "ABCDEFG");
    std::memset(buf, 'x', sizeof buf);
    CopyString(buf, "AB", 8);
    EXPECT_STREQ(buf, "AB");
    EXPECT_EQ(buf[7], 0);
    std::memset(buf, 'x', sizeof buf);
    CopyString(buf, "AB", 0);
    CopyString(buf, "AB", -3);
    CopyString(buf, nullptr, 8);
    EXPECT_EQ(buf[0], 'x');
    CopyString(buf, "AB", 1);
    EXPECT_EQ(buf[0], 0);
}

// The one join helper of the platform layer: one separator, the system's own,
// only where there is none; nothing half-written.
TEST(PathHelpers, JoinPathAddsOneSeparatorOnlyWhenMissing)
{
    const std::string sep(1, TvPathSep());
    char out[32];
    EXPECT_TRUE(TvJoinPath(out, sizeof out, "C:\\DIR", "NAME.TXT"));
    EXPECT_EQ(std::string(out), "C:\\DIR" + sep + "NAME.TXT");
    EXPECT_TRUE(TvJoinPath(out, sizeof out, "C:\\DIR\\", "NAME.TXT"));
    EXPECT_STREQ(out, "C:\\DIR\\NAME.TXT");
    EXPECT_TRUE(TvJoinPath(out, sizeof out, "/tmp/dir/", "NAME.TXT"));
    EXPECT_STREQ(out, "/tmp/dir/NAME.TXT");
    EXPECT_TRUE(TvJoinPath(out, sizeof out, "", "NAME.TXT"));
    EXPECT_STREQ(out, "NAME.TXT");
    EXPECT_TRUE(TvJoinPath(out, sizeof out, "DIR", ""));
    EXPECT_EQ(std::string(out), "DIR" + sep);
    EXPECT_TRUE(TvIsPathSep('\\'));
    EXPECT_TRUE(TvIsPathSep('/'));
    EXPECT_FALSE(TvIsPathSep(':'));
    EXPECT_TRUE(TvIsPathSep(TvPathSep()));

    // Exactly full: "ABC" + sep + "DEF" and the zero take 8 bytes.
    char small[8];
    EXPECT_TRUE(TvJoinPath(small, sizeof small, "ABC", "DEF"));
    EXPECT_EQ(std::string(small), "ABC" + sep + "DEF");
    // One byte short, with or without the separator to add: false, empty.
    std::memset(small, 'x', sizeof small);
    EXPECT_FALSE(TvJoinPath(small, 7, "ABC", "DEF"));
    EXPECT_STREQ(small, "");
    std::memset(small, 'x', sizeof small);
    EXPECT_FALSE(TvJoinPath(small, sizeof small, "ABC\\", "DEFG"));
    EXPECT_STREQ(small, "");
    std::memset(small, 'x', sizeof small);
    EXPECT_FALSE(TvJoinPath(small, sizeof small, "", "ABCDEFGH"));
    EXPECT_STREQ(small, "");
    // Null arguments and no room at all.
    std::memset(small, 'x', sizeof small);
    EXPECT_FALSE(TvJoinPath(small, sizeof small, nullptr, "A"));
    EXPECT_STREQ(small, "");
    EXPECT_FALSE(TvJoinPath(small, sizeof small, "A", nullptr));
    EXPECT_FALSE(TvJoinPath(small, 0, "A", "B"));
    EXPECT_FALSE(TvJoinPath(nullptr, 8, "A", "B"));
}

// ---------------------------------------------------------------- mode strings

// The shared library's rules through the one parser: the first of r, w, a, c
// found anywhere, in that order; "+" anywhere; no translation of its own.
TEST(OpenModes, SharedLibraryRules)
{
    struct M {
        const char* mode;
        TvAccess access;
        TvDisposition disposition;
        TvShare share;
        bool append;
        const char* stream;
    };
    const M rows[] = {
        {"r", TV_ACCESS_READ, TV_OPEN_EXISTING, TV_DENY_NONE, false, "r"},
        {"rb", TV_ACCESS_READ, TV_OPEN_EXISTING, TV_DENY_NONE, false, "rb"},
        {"rt", TV_ACCESS_READ, TV_OPEN_EXISTING, TV_DENY_NONE, false, "rt"},
        {"r+b", TV_ACCESS_READWRITE, TV_OPEN_EXISTING, TV_DENY_ALL, false, "r+b"},
        {"w", TV_ACCESS_WRITE, TV_CREATE_ALWAYS, TV_DENY_ALL, false, "w"},
        {"w+b", TV_ACCESS_READWRITE, TV_CREATE_ALWAYS, TV_DENY_ALL, false, "w+b"},
        {"ab", TV_ACCESS_WRITE, TV_OPEN_ALWAYS, TV_DENY_WRITE, true, "ab"},
        {"a+t", TV_ACCESS_READWRITE, TV_OPEN_ALWAYS, TV_DENY_WRITE, true, "a+t"},
        {"c", TV_ACCESS_WRITE, TV_CREATE_NEW, TV_DENY_ALL, false, "w"},
        {"cb+", TV_ACCESS_READWRITE, TV_CREATE_NEW, TV_DENY_ALL, false, "w+b"},
        // r is looked for first, then w, a, c; the letter may stand anywhere.
        {"rw", TV_ACCESS_READ, TV_OPEN_EXISTING, TV_DENY_NONE, false, "r"},
        {"wr", TV_ACCESS_READ, TV_OPEN_EXISTING, TV_DENY_NONE, false, "r"},
        {"br", TV_ACCESS_READ, TV_OPEN_EXISTING, TV_DENY_NONE, false, "rb"},
        {"+r", TV_ACCESS_READWRITE, TV_OPEN_EXISTING, TV_DENY_ALL, false, "r+"},
        {"ca", TV_ACCESS_WRITE, TV_OPEN_ALWAYS, TV_DENY_WRITE, true, "a"},
    };
    for (const M& r : rows) {
        SCOPED_TRACE(r.mode);
        TvOpenPlan p;
        ASSERT_TRUE(TvParseOpenMode(&g_sharedOpenRules, r.mode, &p));
        EXPECT_EQ(p.access, r.access);
        EXPECT_EQ(p.disposition, r.disposition);
        EXPECT_EQ(p.share, r.share);
        EXPECT_EQ(p.append, r.append);
        EXPECT_TRUE(p.deniedIsBusy);
        EXPECT_STREQ(p.streamMode, r.stream);
    }
    TvOpenPlan p;
    for (const char* bad : {"", "+b", "x", "tb"})
        EXPECT_FALSE(TvParseOpenMode(&g_sharedOpenRules, bad, &p)) << bad;
    EXPECT_FALSE(TvParseOpenMode(&g_sharedOpenRules, nullptr, &p));
    EXPECT_FALSE(TvParseOpenMode(nullptr, "r", &p));
}

// ---------------------------------------------------------------- temporary-name numbering

// A made-up directory of file names (upper-case), with a clock and a record of
// what MakeTempName did.
struct FakeDir {
    std::set<std::string> files;
    int64_t nowMs = 0;
    std::vector<std::string> created, removed;
    TvCreateResult failCreate = TV_CR_OK; // forced result of every creation
    int16_t failCount = 0;                // forced result of every count
    std::string raceStem;                 // another program makes this stem with ".OTH"
};

std::string Upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string StemOf(const std::string& path)
{
    size_t dot = path.rfind('.');
    return Upper(dot == std::string::npos ? path : path.substr(0, dot));
}

int16_t FakeCount(void* ctx, const char* path, int16_t* count)
{
    FakeDir* d = static_cast<FakeDir*>(ctx);
    if (d->failCount)
        return d->failCount;
    int16_t limit = *count, n = 0;
    const std::string stem = StemOf(path);
    // Names sharing a stem sort together, right from the stem itself.
    for (auto it = d->files.lower_bound(stem); it != d->files.end() && it->compare(0, stem.size(), stem) == 0; ++it)
        if (StemOf(*it) == stem && n < limit)
            ++n;
    *count = n;
    return 0;
}

TvCreateResult FakeCreate(void* ctx, const char* path)
{
    FakeDir* d = static_cast<FakeDir*>(ctx);
    if (d->failCreate != TV_CR_OK)
        return d->failCreate;
    if (!d->files.insert(Upper(path)).second)
        return TV_CR_EXISTS;
    d->created.push_back(path);
    if (!d->raceStem.empty() && StemOf(path) == d->raceStem)
        d->files.insert(d->raceStem + ".OTH");
    return TV_CR_OK;
}

void FakeRemove(void* ctx, const char* path)
{
    FakeDir* d = static_cast<FakeDir*>(ctx);
    d->removed.push_back(path);
    d->files.erase(Upper(path));
}

int64_t FakeNow(void* ctx)
{
    return static_cast<FakeDir*>(ctx)->nowMs;
}

int16_t FakeTemp(FakeDir& d, char* out, const char* prefix = "TEMP", const char* ext = "TMP",
                 const char* dir = "C:\\T\\")
{
    TvTempNameOps ops = {&d, FakeCount, FakeCreate, FakeRemove, FakeNow};
    return MakeTempNameWith(&ops, prefix, ext, dir, out);
}

std::string Name(const char* prefix, int n, const char* ext)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "C:\\T\\~%s%03d.%s", prefix, n, ext);
    return buf;
}

TEST(TempNameNumbering, SequentialFromZeroAndAnyExtensionTakesTheNumber)
{
    FakeDir d;
    char out[TV_TEMPNAME_SIZE];
    ASSERT_EQ(FakeTemp(d, out), 0);
    EXPECT_STREQ(out, "~TEMP000.TMP");
    ASSERT_EQ(FakeTemp(d, out), 0);
    EXPECT_STREQ(out, "~TEMP001.TMP");
    d.files.insert(Name("TEMP", 2, "FIL"));
    ASSERT_EQ(FakeTemp(d, out), 0);
    EXPECT_STREQ(out, "~TEMP003.TMP");
    EXPECT_TRUE(d.files.count(Name("TEMP", 3, "TMP"))) << "the reserved file stays";
    EXPECT_TRUE(d.removed.empty());
}

TEST(TempNameNumbering, RandomStartAfterThirtyNineThenWrapAndExhaustion)
{
    FakeDir d;
    for (int i = 0; i <= 39; ++i)
        d.files.insert(Name("TEMP", i, "X"));
    char out[TV_TEMPNAME_SIZE];

    // Start = 40 + ((seconds + milliseconds) % 960): 100 s 250 ms gives 390.
    d.nowMs = 100 * 1000 + 250;
    ASSERT_EQ(FakeTemp(d, out), 0);
    EXPECT_STREQ(out, "~TEMP390.TMP");

    // From 998 upward: 998 and 999 taken, the wrap goes to 040.
    d.files.insert(Name("TEMP", 998, "X"));
    d.files.insert(Name("TEMP", 999, "X"));
    d.nowMs = 958 * 1000; // (958 + 0) % 960 = 958, start 998
    ASSERT_EQ(FakeTemp(d, out), 0);
    EXPECT_STREQ(out, "~TEMP040.TMP");

    // Every number taken: 4, after trying each once.
    for (int i = 40; i <= 999; ++i)
        d.files.insert(Name("TEMP", i, "X"));
    d.created.clear();
    d.nowMs = 12345;
    EXPECT_EQ(FakeTemp(d, out), 4);
    EXPECT_TRUE(d.created.empty());
}

TEST(TempNameNumbering, EveryNumberTriedOnceBeforeGivingUp)
{
    // Creation always collides: each number must be tried exactly once.
    struct Counting : FakeDir {
        std::map<std::string, int> tries;
    } d;
    TvTempNameOps ops = {&d, FakeCount,
                         [](void* ctx, const char* path) {
                             ++static_cast<Counting*>(ctx)->tries[path];
                             return TV_CR_EXISTS;
                         },
                         FakeRemove, FakeNow};
    d.nowMs = 7 * 1000 + 3;
    char out[TV_TEMPNAME_SIZE];
    EXPECT_EQ(MakeTempNameWith(&ops, "ABCD", "", "C:\\T\\", out), 4);
    EXPECT_EQ(d.tries.size(), 1000u);
    for (const auto& t : d.tries)
        EXPECT_EQ(t.second, 1) << t.first;
    EXPECT_TRUE(d.tries.count("C:\\T\\~ABCD999."));
}

TEST(TempNameNumbering, StemMadeMeanwhileByAnotherProgramGivesUpTheNumber)
{
    FakeDir d;
    d.raceStem = Upper("C:\\T\\~TEMP000");
    char out[TV_TEMPNAME_SIZE];
    ASSERT_EQ(FakeTemp(d, out), 0);
    EXPECT_STREQ(out, "~TEMP001.TMP");
    ASSERT_EQ(d.removed.size(), 1u);
    EXPECT_EQ(d.removed[0], Name("TEMP", 0, "TMP"));
    EXPECT_TRUE(d.files.count(Upper("C:\\T\\~TEMP000.OTH")));
}

TEST(TempNameNumbering, ArgumentChecksAndFailureCodes)
{
    FakeDir d;
    char out[TV_TEMPNAME_SIZE];
    std::string longDir(256, 'D');
    longDir.back() = '\\';
    std::string tooLongDir = longDir + "\\";
    EXPECT_EQ(FakeTemp(d, out, "TMP"), 1);
    EXPECT_EQ(FakeTemp(d, out, "TEMPS"), 1);
    EXPECT_EQ(FakeTemp(d, out, "TEMP", "TIFF"), 1);
    EXPECT_EQ(FakeTemp(d, out, "TEMP", "TMP", ""), 1);
    EXPECT_EQ(FakeTemp(d, out, "TEMP", "TMP", tooLongDir.c_str()), 1);
    EXPECT_EQ(FakeTemp(d, out, "TEMP", "TMP", "C:\\T"), 5);
    EXPECT_EQ(FakeTemp(d, out, "TEMP", "TMP", longDir.c_str()), 0);

    const struct {
        TvCreateResult create;
        int16_t expected;
    } rows[] = {{TV_CR_NOTFOUND, 3}, {TV_CR_TOOMANY, 2}, {TV_CR_FAILED, 5}, {TV_CR_BUSY, 5}, {TV_CR_DENIED, 5}};
    for (const auto& r : rows) {
        FakeDir f;
        f.failCreate = r.create;
        EXPECT_EQ(FakeTemp(f, out), r.expected) << r.create;
    }
    FakeDir f;
    f.failCount = 5;
    EXPECT_EQ(FakeTemp(f, out), 5);
    EXPECT_TRUE(f.created.empty());
}

// ---------------------------------------------------------------- on the file system

class SharedFileDir : public ::testing::Test {
protected:
    std::string dir; // ends with '\'

    void SetUp() override
    {
        char cwd[512];
        ASSERT_TRUE(TvPlatCurrentDir(cwd, sizeof cwd));
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::string(cwd) + "\\sf_" + info->name() + "\\";
        Clean();
        ASSERT_TRUE(TvPlatMakeDir(dir.c_str())) << dir;
    }

    void TearDown() override { Clean(); }

    void Clean()
    {
        TvDirEntry e;
        TvDirIter* it = TvPlatFindFirst((dir + "*").c_str(), &e);
        if (it) {
            do {
                if (!(e.attributes & TV_ATTR_DIRECTORY))
                    TvPlatRemove((dir + e.longName).c_str());
                else if (std::strcmp(e.longName, ".") && std::strcmp(e.longName, ".."))
                    TvPlatRemoveDir((dir + e.longName).c_str());
            } while (TvPlatFindNext(it, &e));
            TvPlatFindClose(it);
        }
        TvPlatRemoveDir(dir.c_str());
    }

    std::string Path(const char* name) const { return dir + name; }

    void Write(const char* name, const std::string& data)
    {
        FILE* f = OpenShared(0, Path(name).c_str(), "wb");
        ASSERT_NE(f, nullptr) << name;
        ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), f), data.size());
        std::fclose(f);
    }

    std::string Read(const char* name)
    {
        FILE* f = OpenShared(0, Path(name).c_str(), "rb");
        if (!f)
            return "<missing>";
        std::string s;
        int c;
        while ((c = std::fgetc(f)) != EOF)
            s.push_back(static_cast<char>(c));
        std::fclose(f);
        return s;
    }

    std::vector<std::string> Matches(const char* pattern, int32_t dirs, int16_t size = 64)
    {
        std::vector<std::string> names;
        FindMatchRecord* rec = FindFirstMatch(dir.c_str(), pattern, dirs);
        EXPECT_NE(rec, nullptr);
        if (!rec)
            return names;
        char name[64];
        while (FindNextMatch(rec, name, size))
            names.push_back(name);
        FindEndMatch(rec);
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(SharedFileDir, ModeLettersPickTheOpening)
{
    Write("A.TXT", "hello");
    // "rw": the r is found first, so the stream only reads.
    FILE* f = OpenShared(0, Path("A.TXT").c_str(), "rw");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::fgetc(f), 'h');
    std::fseek(f, 0, SEEK_SET);
    EXPECT_EQ(std::fputc('X', f), EOF);
    std::fclose(f);
    EXPECT_EQ(Read("A.TXT"), "hello");

    // "a" appends, "ab+" reads too; "c" with a letter the runtime would read
    // as its commit flag still opens.
    f = OpenShared(0, Path("A.TXT").c_str(), "ab");
    ASSERT_NE(f, nullptr);
    std::fputs("!!", f);
    std::fclose(f);
    EXPECT_EQ(Read("A.TXT"), "hello!!");
    f = OpenShared(0, Path("A.TXT").c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    std::fputs("J", f);
    std::fclose(f);
    EXPECT_EQ(Read("A.TXT"), "Jello!!");

    // "w" truncates; "c" refuses an existing file at once and makes a new one.
    Write("A.TXT", "x");
    EXPECT_EQ(Read("A.TXT"), "x");
    int64_t t0 = TvPlatTickMs();
    EXPECT_EQ(OpenShared(-1, Path("A.TXT").c_str(), "cb"), nullptr);
    EXPECT_LT(TvPlatTickMs() - t0, 1000);
    f = OpenShared(0, Path("B.TXT").c_str(), "cb+");
    ASSERT_NE(f, nullptr);
    std::fputs("new", f);
    std::rewind(f);
    EXPECT_EQ(std::fgetc(f), 'n');
    std::fclose(f);
    EXPECT_EQ(Read("B.TXT"), "new");

    // No r, w, a or c; a missing file: none, at once.
    EXPECT_EQ(OpenShared(0, Path("A.TXT").c_str(), "+b"), nullptr);
    t0 = TvPlatTickMs();
    EXPECT_EQ(OpenSharedRetry(Path("MISSING.TXT").c_str(), "rb"), nullptr);
    EXPECT_EQ(OpenSharedRetry(Path("NODIR\\X.TXT").c_str(), "wb"), nullptr);
    EXPECT_LT(TvPlatTickMs() - t0, 1000);
}

// A file held without sharing is in use for every other opener, and one that
// wants a file alone finds it in use while anybody holds it (natively through
// the POSIX backend's advisory locks).
TEST_F(SharedFileDir, HeldFileIsInUse)
{
    Write("H.TXT", "held");
    FILE* held = OpenShared(0, Path("H.TXT").c_str(), "r+b");
    ASSERT_NE(held, nullptr);
    TvCreateResult why = TV_CR_OK;
    int error = 0;
    EXPECT_EQ(TvPlatOpen(Path("H.TXT").c_str(), TV_ACCESS_READ, TV_OPEN_EXISTING, TV_DENY_NONE, false, "rb", &why,
                         &error),
              nullptr);
    EXPECT_EQ(why, TV_CR_BUSY);
    EXPECT_NE(error, 0);
    int64_t t0 = TvPlatTickMs();
    EXPECT_EQ(OpenShared(1, Path("H.TXT").c_str(), "rb"), nullptr);
    EXPECT_GE(TvPlatTickMs() - t0, 900);
    std::fclose(held);

    FILE* reader = OpenShared(0, Path("H.TXT").c_str(), "rb");
    ASSERT_NE(reader, nullptr);
    FILE* second = OpenShared(0, Path("H.TXT").c_str(), "rb");
    EXPECT_NE(second, nullptr) << "readers share";
    if (second)
        std::fclose(second);
    EXPECT_EQ(TvPlatOpen(Path("H.TXT").c_str(), TV_ACCESS_WRITE, TV_CREATE_ALWAYS, TV_DENY_ALL, false, "wb", &why,
                         nullptr),
              nullptr);
    EXPECT_EQ(why, TV_CR_BUSY);
    std::fclose(reader);
    // Not truncated by the open that was refused.
    EXPECT_EQ(Read("H.TXT"), "held");

    // Opened at last: no error left.
    FILE* f = TvPlatOpen(Path("H.TXT").c_str(), TV_ACCESS_READ, TV_OPEN_EXISTING, TV_DENY_ALL, false, "rb", &why,
                         &error);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(why, TV_CR_OK);
    EXPECT_EQ(error, 0);
    std::fclose(f);
}

TEST_F(SharedFileDir, CopyOpenFileReplacesContentsAndLength)
{
    std::string big;
    for (int i = 0; i < 1500; ++i)
        big.push_back(static_cast<char>(i * 7));
    const struct {
        std::string source, destination;
    } rows[] = {
        {big, "short"},                    // grows, several blocks, binary bytes
        {"tiny", std::string(2000, 'z')},  // shrinks
        {"", "something"},                 // emptied
        {std::string(512, 'q'), ""},       // exactly one block
    };
    for (const auto& r : rows) {
        Write("S.TMP", r.source);
        Write("D.CTL", r.destination);
        FILE* s = OpenShared(0, Path("S.TMP").c_str(), "rb");
        FILE* d = OpenShared(0, Path("D.CTL").c_str(), "r+b");
        ASSERT_TRUE(s && d);
        std::fgetc(d); // a position and a read in the middle must not matter
        EXPECT_EQ(CopyOpenFile(s, d), 0);
        EXPECT_EQ(TvPlatStreamLength(d), static_cast<int64_t>(r.source.size()));
        std::fclose(s);
        std::fclose(d);
        EXPECT_EQ(Read("D.CTL"), r.source);
    }
}

TEST_F(SharedFileDir, CopyOpenFileIntoReadOnlyStreamFailsAndKeepsTheFile)
{
    Write("S.TMP", "new contents");
    Write("D.CTL", "old");
    FILE* s = OpenShared(0, Path("S.TMP").c_str(), "rb");
    FILE* d = OpenShared(0, Path("D.CTL").c_str(), "rb");
    ASSERT_TRUE(s && d);
    EXPECT_EQ(CopyOpenFile(s, d), -4084);
    std::fclose(s);
    std::fclose(d);
    EXPECT_EQ(Read("D.CTL"), "old");
    EXPECT_EQ(CopyOpenFile(nullptr, nullptr), -4084);
}

#ifndef _WIN32
// A file size limit stands in for a full disk: the destination cannot grow
// past 1000 bytes.
TEST_F(SharedFileDir, CopyOpenFileReportsADestinationThatCannotTakeTheCopy)
{
    std::string source(1500, 'n');
    Write("S.TMP", source);
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    void (*oldSignal)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 1000;

    // Cannot be lengthened: the old contents and length stay.
    Write("D.CTL", "short");
    FILE* s = OpenShared(0, Path("S.TMP").c_str(), "rb");
    FILE* d = OpenShared(0, Path("D.CTL").c_str(), "r+b");
    ASSERT_TRUE(s && d);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int16_t rc = CopyOpenFile(s, d);
    setrlimit(RLIMIT_FSIZE, &old);
    std::fclose(s);
    std::fclose(d);
    EXPECT_EQ(rc, -4084);
    EXPECT_EQ(Read("D.CTL"), "short");

    // Long enough already, but the writing stops part-way: reported.
    Write("D.CTL", std::string(1500, 'z'));
    s = OpenShared(0, Path("S.TMP").c_str(), "rb");
    d = OpenShared(0, Path("D.CTL").c_str(), "r+b");
    ASSERT_TRUE(s && d);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    rc = CopyOpenFile(s, d);
    setrlimit(RLIMIT_FSIZE, &old);
    std::fclose(s);
    std::fclose(d);
    signal(SIGXFSZ, oldSignal);
    EXPECT_EQ(rc, -4084);
}
#endif

TEST_F(SharedFileDir, MakeTempNameReservesEmptyFiles)
{
    char out[TV_TEMPNAME_SIZE];
    ASSERT_EQ(MakeTempName("TEMP", "TMP", dir.c_str(), out), 0);
    EXPECT_STREQ(out, "~TEMP000.TMP");
    ASSERT_EQ(MakeTempName("TEMP", "TMP", dir.c_str(), out), 0);
    EXPECT_STREQ(out, "~TEMP001.TMP");
    Write("~TEMP002.FIL", "taken");
    Write("~TEMP003", "taken too");
    ASSERT_EQ(MakeTempName("TEMP", "TMP", dir.c_str(), out), 0);
    EXPECT_STREQ(out, "~TEMP004.TMP");
    EXPECT_EQ(Read("~TEMP000.TMP"), "");
    EXPECT_EQ(Read("~TEMP004.TMP"), "");
    EXPECT_EQ(MakeTempName("TEMP", "TMP", (dir + "NODIR\\").c_str(), out), 3);
}

TEST_F(SharedFileDir, CountMatchingFilesCountsTheStemUpToTheLimit)
{
    Write("~ABCD001.TMP", "");
    Write("~ABCD001.FIL", "");
    Write("~ABCD001", "");
    Write("~ABCD002.TMP", "");
    int16_t count = 10;
    EXPECT_EQ(CountMatchingFiles(Path("~ABCD001.XYZ").c_str(), &count), 0);
    EXPECT_EQ(count, 3);
    count = 2;
    EXPECT_EQ(CountMatchingFiles(Path("~ABCD001").c_str(), &count), 0);
    EXPECT_EQ(count, 2);
    count = 5;
    EXPECT_EQ(CountMatchingFiles(Path("~ABCD003.TMP").c_str(), &count), 0);
    EXPECT_EQ(count, 0);
    count = 0;
    EXPECT_EQ(CountMatchingFiles(Path("~ABCD001.TMP").c_str(), &count), 1);
    count = 1;
    EXPECT_EQ(CountMatchingFiles("NODIR.TMP", &count), 5);
}

TEST_F(SharedFileDir, SearchFiltersKindsAndUpperCases)
{
    Write("alpha.txt", "");
    Write("Beta.TXT", "");
    Write("gamma.dat", "");
    Write(".hidden.txt", "");
    ASSERT_TRUE(TvPlatMakeDir(Path("subdir.txt").c_str()));

    EXPECT_EQ(Matches("*.TXT", 0), (std::vector<std::string>{"ALPHA.TXT", "BETA.TXT"}));
    EXPECT_EQ(Matches("*.*", 1), (std::vector<std::string>{"SUBDIR.TXT"}));
    EXPECT_EQ(Matches("*.NONE", 0), std::vector<std::string>{});
    // A name that fits in no form is passed over, not the end of the search.
    Write("averyverylongname.txt", "");
    EXPECT_EQ(Matches("*.TXT", 0, 10), (std::vector<std::string>{"ALPHA.TXT", "BETA.TXT"}));

    // Names come back upper-cased and are deleted as such. (The long name is
    // reached by its 8.3 alias where the system has one.)
    EXPECT_EQ(DeleteMatchingFiles(dir.c_str(), "*.TXT"), 0);
    EXPECT_FALSE(TvPlatFileExists(Path("alpha.txt").c_str()));
    EXPECT_FALSE(TvPlatFileExists(Path("Beta.TXT").c_str()));
    EXPECT_TRUE(TvPlatFileExists(Path(".hidden.txt").c_str()));
    EXPECT_EQ(Matches("*.DAT", 0), (std::vector<std::string>{"GAMMA.DAT"}));
    EXPECT_EQ(DeleteMatchingFiles(dir.c_str(), "*.NONE"), 0);
}

TEST(FindRecord, LimitsAndInvalidRecords)
{
    std::string dir256(255, 'D');
    dir256 += '\\';
    std::string dir257 = dir256 + "E";
    FindMatchRecord* rec = FindFirstMatch(dir256.c_str(), "ABCDEFGH.TXT", 0);
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->tag, static_cast<uint32_t>(TV_FIND_TAG));
    FindEndMatch(rec); // never searched: released all the same (ASan checks)
    EXPECT_EQ(FindFirstMatch(dir257.c_str(), "*.*", 0), nullptr);
    EXPECT_EQ(FindFirstMatch("", "*.*", 0), nullptr);
    EXPECT_EQ(FindFirstMatch("C:\\", "", 0), nullptr);
    EXPECT_EQ(FindFirstMatch("C:\\", "ABCDEFGHI.TXT", 0), nullptr);

    FindMatchRecord fake;
    std::memset(&fake, 0, sizeof fake);
    fake.tag = 54321;
    char name[13];
    EXPECT_EQ(FindNextMatch(&fake, name, sizeof name), 0);
    FindEndMatch(&fake); // wrong tag: left alone, not freed
    EXPECT_EQ(fake.tag, 54321u);
}

TEST_F(SharedFileDir, FileDatesInUniversalTime)
{
    Write("D.TXT", "x");
    const char* p = nullptr;
    std::string path = Path("D.TXT");
    p = path.c_str();
    int16_t y, mo, d, h, mi, s;
    ASSERT_EQ(SetFileDate(p, 0, 1, 2001, 2, 3, 1, 4, 5, 6), 0);
    ASSERT_EQ(GetFileDate(p, 0, &y, &mo, &d, &h, &mi, &s), 0);
    EXPECT_EQ((std::vector<int>{y, mo, d, h, mi, s}), (std::vector<int>{2001, 2, 3, 4, 5, 6}));

    // Date only keeps the time; time only keeps the date; two-digit years.
    ASSERT_EQ(SetFileDate(p, 0, 1, 96, 12, 31, 0, 0, 0, 0), 0);
    ASSERT_EQ(GetFileDate(p, 0, &y, &mo, &d, &h, &mi, &s), 0);
    EXPECT_EQ((std::vector<int>{y, mo, d, h, mi, s}), (std::vector<int>{1996, 12, 31, 4, 5, 6}));
    ASSERT_EQ(SetFileDate(p, 0, 0, 0, 0, 0, 1, 23, 59, 58), 0);
    ASSERT_EQ(SetFileDate(p, 0, 1, 5, 2, 29, 0, 0, 0, 0), -4084) << "2005 has no 29 February";
    ASSERT_EQ(SetFileDate(p, 0, 1, 4, 2, 29, 0, 0, 0, 0), 0);
    ASSERT_EQ(GetFileDate(p, 0, &y, &mo, &d, &h, &mi, &s), 0);
    EXPECT_EQ((std::vector<int>{y, mo, d, h, mi, s}), (std::vector<int>{2004, 2, 29, 23, 59, 58}));

    // Out of range: nothing changes.
    const int bad[][7] = {{1979, 1, 1, 0, 0, 0, 0}, {2081, 1, 1, 0, 0, 0, 0}, {100, 1, 1, 0, 0, 0, 0},
                          {2000, 13, 1, 0, 0, 0, 0}, {2000, 4, 31, 0, 0, 0, 0}, {2000, 1, 0, 0, 0, 0, 0},
                          {0, 0, 0, 24, 0, 0, 1}, {0, 0, 0, 0, 60, 0, 1}, {0, 0, 0, 0, 0, -1, 1}};
    for (const auto& b : bad) {
        bool timeOnly = b[6] != 0;
        EXPECT_EQ(SetFileDate(p, 0, !timeOnly, int16_t(b[0]), int16_t(b[1]), int16_t(b[2]), timeOnly,
                              int16_t(b[3]), int16_t(b[4]), int16_t(b[5])),
                  -4084);
    }
    ASSERT_EQ(GetFileDate(p, 0, &y, nullptr, nullptr, nullptr, nullptr, &s), 0);
    EXPECT_EQ(y, 2004);
    EXPECT_EQ(s, 58);
    EXPECT_EQ(GetFileDate(Path("NONE.TXT").c_str(), 0, &y, &mo, &d, &h, &mi, &s), -4084);
    EXPECT_EQ(SetFileDate(Path("NONE.TXT").c_str(), 0, 1, 2001, 1, 1, 0, 0, 0, 0), -4084);
}

TEST_F(SharedFileDir, FindOldestFileTakesTheEarliestLastWrite)
{
    char out[64];
    EXPECT_EQ(FindOldestFile(dir.c_str(), "~TSPL???.FIL", out, sizeof out), 0);
    EXPECT_STREQ(out, "");
    Write("~tspl001.FIL", "");
    Write("~TSPL002.FIL", "");
    Write("~TSPL003.FIL", "");
    Write("~TSPL000.XXX", "");
    ASSERT_EQ(SetFileDate(Path("~tspl001.FIL").c_str(), 0, 1, 2000, 5, 1, 1, 12, 0, 0), 0);
    ASSERT_EQ(SetFileDate(Path("~TSPL002.FIL").c_str(), 0, 1, 2000, 5, 1, 1, 11, 59, 59), 0);
    ASSERT_EQ(SetFileDate(Path("~TSPL003.FIL").c_str(), 0, 1, 2000, 5, 2, 1, 0, 0, 0), 0);
    ASSERT_EQ(SetFileDate(Path("~TSPL000.XXX").c_str(), 0, 1, 1990, 1, 1, 1, 0, 0, 0), 0);
    EXPECT_EQ(FindOldestFile(dir.c_str(), "~TSPL???.FIL", out, sizeof out), 1);
    EXPECT_STREQ(out, "~TSPL002.FIL");

    // A tie goes to the entry the system lists first; the name as found.
    ASSERT_EQ(SetFileDate(Path("~TSPL002.FIL").c_str(), 0, 1, 2000, 5, 1, 1, 12, 0, 0), 0);
    TvDirEntry e;
    TvDirIter* it = TvPlatFindFirst(Path("~TSPL???.FIL").c_str(), &e);
    ASSERT_NE(it, nullptr);
    std::string first;
    do
        if (std::string(e.longName) != "~TSPL003.FIL" && first.empty())
            first = e.longName;
    while (TvPlatFindNext(it, &e));
    TvPlatFindClose(it);
    EXPECT_EQ(FindOldestFile(dir.c_str(), "~TSPL???.FIL", out, sizeof out), 1);
    EXPECT_EQ(out, first);
}

} // namespace
