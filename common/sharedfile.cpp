#include "common/sharedfile.h"

#include <cstring>
#include <new>

#include "common/status.h"
#include "common/waithook.h"

// ---------------------------------------------------------------- helpers

static bool EndsWithBackslash(const char* s)
{
    size_t n = std::strlen(s);
    return n > 0 && s[n - 1] == '\\';
}

static char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// dir + name into out as they are (dir ends in its own separator, or ':');
// false when it does not fit.
static bool ConcatPath(char* out, size_t size, const char* dir, const char* name)
{
    size_t a = std::strlen(dir), b = std::strlen(name);
    if (a + b + 1 > size)
        return false;
    std::memcpy(out, dir, a);
    std::memcpy(out + a, name, b + 1);
    return true;
}

// A long copy calls the wait hook at most this often: the client's pump looks
// at its queue no oftener anyway, and a server's hook (a short sleep) must not
// slow the copy down block by block.
enum { TV_COPY_HOOK_INTERVAL_MS = 250 };

// ---------------------------------------------------------------- path helpers

const char* FileNamePart(const char* path)
{
    if (!path)
        return path;
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == ':')
            name = p + 1;
    return name;
}

char* FileNamePart(char* path)
{
    return const_cast<char*>(FileNamePart(static_cast<const char*>(path)));
}

const char* FileExtension(const char* path)
{
    if (!path)
        return path;
    const char* dot = std::strrchr(FileNamePart(path), '.');
    return dot ? dot + 1 : path;
}

char* FileExtension(char* path)
{
    return const_cast<char*>(FileExtension(static_cast<const char*>(path)));
}

void CopyString(char* destination, const char* source, int16_t size)
{
    if (size <= 0 || !source || !destination)
        return;
    std::strncpy(destination, source, static_cast<size_t>(size));
    destination[size - 1] = 0;
}

// ---------------------------------------------------------------- shared open

const TvOpenModeRow g_openModeRows[TV_OPEN_MODE_ROWS] = {
    {'r', TV_ACCESS_READ, TV_ACCESS_READWRITE, TV_OPEN_EXISTING, TV_DENY_NONE, TV_DENY_ALL, false, 'r'},
    {'w', TV_ACCESS_WRITE, TV_ACCESS_READWRITE, TV_CREATE_ALWAYS, TV_DENY_ALL, TV_DENY_ALL, false, 'w'},
    {'a', TV_ACCESS_WRITE, TV_ACCESS_READWRITE, TV_OPEN_ALWAYS, TV_DENY_WRITE, TV_DENY_WRITE, true, 'a'},
    {'c', TV_ACCESS_WRITE, TV_ACCESS_READWRITE, TV_CREATE_NEW, TV_DENY_ALL, TV_DENY_ALL, false, 'w'},
};

const TvOpenRules g_sharedOpenRules = {g_openModeRows, TV_OPEN_MODE_ROWS, false, 0, true};

static const TvOpenModeRow* FindModeRow(const TvOpenRules* rules, const char* mode)
{
    for (size_t i = 0; i < rules->rowCount; ++i) {
        const TvOpenModeRow& row = rules->rows[i];
        if (rules->leadingLetter ? mode[0] == row.letter : std::strchr(mode, row.letter) != nullptr)
            return &row;
    }
    return nullptr;
}

bool TvParseOpenMode(const TvOpenRules* rules, const char* mode, TvOpenPlan* plan)
{
    if (!rules || !rules->rows || !mode || !plan || !mode[0])
        return false;
    const TvOpenModeRow* row = FindModeRow(rules, mode);
    if (!row)
        return false;
    bool plus = std::strchr(mode, '+') != nullptr;
    plan->access = plus ? row->plusAccess : row->access;
    plan->disposition = row->disposition;
    plan->share = plus ? row->plusShare : row->share;
    plan->append = row->append;
    plan->deniedIsBusy = rules->deniedIsBusy;

    char* m = plan->streamMode;
    *m++ = row->streamLetter;
    if (plus)
        *m++ = '+';
    if (std::strchr(mode, 't'))
        *m++ = 't';
    else if (std::strchr(mode, 'b'))
        *m++ = 'b';
    else if (rules->translation)
        *m++ = rules->translation;
    *m = 0;
    return true;
}

FILE* TvOpenPlanned(const char* path, const TvOpenPlan* plan, TvOpenWaitFn wait, void* context, int* systemError)
{
    int dummy;
    if (!systemError)
        systemError = &dummy;
    *systemError = 0;
    if (!path || !plan)
        return nullptr;
    for (;;) {
        TvCreateResult why = TV_CR_FAILED;
        FILE* f = TvPlatOpen(path, plan->access, plan->disposition, plan->share, plan->append, plan->streamMode,
                             &why, systemError);
        if (f)
            return f;
        bool inUse = why == TV_CR_BUSY || (why == TV_CR_DENIED && plan->deniedIsBusy);
        if (!inUse || !wait || !wait(context))
            return nullptr;
    }
}

namespace {
// OpenShared's wait: the wait hook between tries until the time is up (or
// the clock went back).
struct SharedWait {
    int64_t start, limit;
};

bool SharedWaitStep(void* context)
{
    const SharedWait* w = static_cast<const SharedWait*>(context);
    int64_t now = TvPlatTickMs();
    if (now > w->limit || now < w->start)
        return false;
    RunWaitHook();
    return true;
}
} // namespace

FILE* OpenShared(int16_t waitSeconds, const char* path, const char* mode)
{
    if (!path || !mode || !*path)
        return nullptr;
    TvOpenPlan plan;
    if (!TvParseOpenMode(&g_sharedOpenRules, mode, &plan))
        return nullptr;
    if (waitSeconds < 0)
        waitSeconds = TV_SHARED_WAIT_DEFAULT;
    SharedWait wait;
    wait.start = TvPlatTickMs();
    wait.limit = wait.start + int64_t(waitSeconds) * 1000;
    return TvOpenPlanned(path, &plan, SharedWaitStep, &wait, nullptr);
}

FILE* OpenSharedRetry(const char* path, const char* mode)
{
    return OpenShared(-1, path, mode);
}

// ---------------------------------------------------------------- copy back

int16_t CopyOpenFile(FILE* source, FILE* destination)
{
    if (!source || !destination)
        return static_cast<int16_t>(TV_R_IO);
    std::fflush(source);
    std::fflush(destination);
    if (std::fseek(source, 0, SEEK_SET) != 0)
        return static_cast<int16_t>(TV_R_IO);
    const int64_t sourceLength = TvPlatStreamLength(source);
    const int64_t oldLength = TvPlatStreamLength(destination);
    if (sourceLength < 0 || oldLength < 0)
        return static_cast<int16_t>(TV_R_IO);
    if (sourceLength > 0 && std::fgetc(source) == EOF)
        return static_cast<int16_t>(TV_R_IO);

    bool seekFailed = std::fseek(destination, 0, SEEK_SET) != 0;
    TvTruncResult tr = seekFailed ? TV_TR_FAILED : TvPlatSetStreamLength(destination, sourceLength);
    if (tr != TV_TR_OK) {
        if (tr == TV_TR_NOSPACE && sourceLength > oldLength)
            TvPlatSetStreamLength(destination, oldLength);
        return static_cast<int16_t>(TV_R_IO);
    }

    if (std::fseek(source, 0, SEEK_SET) != 0 || std::fseek(destination, 0, SEEK_SET) != 0)
        return static_cast<int16_t>(TV_R_IO);
    unsigned char block[512];
    int64_t written = 0;
    int64_t lastHook = TvPlatTickMs();
    for (;;) {
        size_t n = std::fread(block, 1, sizeof block, source);
        if (n > 0)
            written += static_cast<int64_t>(std::fwrite(block, 1, n, destination));
        if (n == 0 || std::feof(source) || std::ferror(source) || std::ferror(destination))
            break;
        int64_t now = TvPlatTickMs();
        if (now - lastHook >= TV_COPY_HOOK_INTERVAL_MS || now < lastHook) {
            RunWaitHook();
            lastHook = now;
        }
    }
    std::fflush(destination);
    int16_t result = (std::ferror(source) || std::ferror(destination)) ? static_cast<int16_t>(TV_R_IO) : 0;
    if (written < sourceLength) {
        TvPlatSetStreamLength(destination, written);
        std::fseek(destination, 0, SEEK_SET);
        result = static_cast<int16_t>(TV_R_IO);
    }
    return result;
}

// ---------------------------------------------------------------- temporary names

// Numbers up to this one are tried in order before a random start is drawn.
enum { TV_TEMP_SEQUENTIAL_LAST = 39, TV_TEMP_LAST = 999 };

static int16_t RealCountStem(void*, const char* path, int16_t* count)
{
    return CountMatchingFiles(path, count);
}

static TvCreateResult RealCreateNew(void*, const char* path)
{
    TvCreateResult why = TV_CR_FAILED;
    FILE* f = TvPlatOpen(path, TV_ACCESS_READWRITE, TV_CREATE_NEW, TV_DENY_ALL, false, "w+b", &why, nullptr);
    if (!f)
        return why;
    std::fclose(f);
    return TV_CR_OK;
}

static void RealRemove(void*, const char* path)
{
    TvPlatRemove(path);
}

static int64_t RealNowMs(void*)
{
    return TvPlatNowMs();
}

int16_t MakeTempName(const char* prefix, const char* extension, const char* directory, char* out)
{
    static const TvTempNameOps real = {nullptr, RealCountStem, RealCreateNew, RealRemove, RealNowMs};
    return MakeTempNameWith(&real, prefix, extension, directory, out);
}

int16_t MakeTempNameWith(const TvTempNameOps* ops, const char* prefix, const char* extension,
                         const char* directory, char* out)
{
    if (!ops || !prefix || !extension || !directory || !out)
        return 1;
    size_t dirLength = std::strlen(directory);
    if (dirLength < 1 || dirLength > TV_FIND_DIR_MAX || std::strlen(prefix) != 4 || std::strlen(extension) > 3)
        return 1;
    if (!EndsWithBackslash(directory))
        return 5;

    int number = 0;
    int start = -1;
    for (;;) {
        char path[TV_FIND_DIR_MAX + TV_TEMPNAME_SIZE + 4];
        std::snprintf(path, sizeof path, "%s~%s%.3d.%s", directory, prefix, number, extension);

        int16_t count = 1;
        int16_t rc = ops->countStem(ops->context, path, &count);
        if (rc != 0)
            return rc;
        if (count == 0) {
            TvCreateResult cr = ops->createNew(ops->context, path);
            switch (cr) {
            case TV_CR_OK:
                // Another program may have made the same stem with another
                // extension meanwhile: the name is ours only if it is alone.
                count = 2;
                rc = ops->countStem(ops->context, path, &count);
                if (rc == 0 && count == 1) {
                    std::snprintf(out, TV_TEMPNAME_SIZE, "~%s%.3d.%s", prefix, number, extension);
                    return 0;
                }
                ops->removeFile(ops->context, path);
                if (rc != 0)
                    return rc;
                break;
            case TV_CR_EXISTS:
                break;
            case TV_CR_NOTFOUND:
                return 3;
            case TV_CR_TOOMANY:
                return 2;
            default:
                return 5;
            }
        }

        // The next number to try.
        if (number < TV_TEMP_SEQUENTIAL_LAST) {
            ++number;
        } else if (start < 0) {
            int64_t ms = ops->nowMs(ops->context);
            if (ms < 0)
                ms = 0;
            int64_t sum = ms / 1000 + ms % 1000;
            start = TV_TEMP_SEQUENTIAL_LAST + 1 + static_cast<int>(sum % (TV_TEMP_LAST - TV_TEMP_SEQUENTIAL_LAST));
            number = start;
        } else {
            number = number >= TV_TEMP_LAST ? TV_TEMP_SEQUENTIAL_LAST + 1 : number + 1;
            if (number == start)
                return 4;
        }
    }
}

int16_t CountMatchingFiles(const char* path, int16_t* count)
{
    if (!count || *count < 1)
        return 1;
    const int16_t limit = *count;
    *count = 0;
    if (!path)
        return 5;

    const char* name = FileNamePart(path);
    size_t dirLength = static_cast<size_t>(name - path);
    if (dirLength > TV_FIND_DIR_MAX)
        return 5;
    char dir[TV_FIND_DIR_MAX + 1];
    std::memcpy(dir, path, dirLength);
    dir[dirLength] = 0;

    // The name with its extension replaced by '*'.
    char pattern[TV_FIND_PATTERN_MAX + 2];
    const char* ext = FileExtension(name);
    size_t stemLength = ext > name ? static_cast<size_t>(ext - name) : std::strlen(name);
    const char* tail = ext > name ? "*" : ".*";
    if (stemLength + std::strlen(tail) >= sizeof pattern)
        return 5;
    std::memcpy(pattern, name, stemLength);
    std::strcpy(pattern + stemLength, tail);

    FindMatchRecord* rec = FindFirstMatch(dir, pattern, 0);
    if (!rec)
        return 5;
    char found[13];
    while (*count < limit && FindNextMatch(rec, found, sizeof found))
        ++*count;
    FindEndMatch(rec);
    return 0;
}

// ---------------------------------------------------------------- file dates

static const int64_t kTicksPerSecond = 10000000;
static const int64_t kTicksPerMs = 10000;
static const int64_t kDays1601To1970 = 134774;

// Days since 1 January 1970 of a date of the proleptic Gregorian calendar.
static int64_t DaysFromCivil(int64_t y, int m, int d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

static void CivilFromDays(int64_t z, int64_t* y, int* m, int* d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *y = yoe + era * 400 + (*m <= 2);
}

static int DaysInMonth(int64_t y, int m)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days[m - 1];
}

// Runs op until it stops reporting the file in use (a share conflict, or an
// access denied as the shared open takes it) or the wait has passed.
template <class Op>
static TvCreateResult RetryWhileBusy(int16_t waitSeconds, uint32_t sleepMs, Op op)
{
    if (waitSeconds < 0)
        waitSeconds = TV_SHARED_WAIT_DEFAULT;
    const int64_t start = TvPlatTickMs();
    const int64_t limit = start + int64_t(waitSeconds) * 1000;
    for (;;) {
        TvCreateResult r = op();
        if (r != TV_CR_BUSY && r != TV_CR_DENIED)
            return r;
        int64_t now = TvPlatTickMs();
        if (now > limit || now < start)
            return r;
        TvPlatSleepMs(sleepMs);
    }
}

int16_t GetFileDate(const char* path, int16_t waitSeconds, int16_t* year, int16_t* month, int16_t* day,
                    int16_t* hour, int16_t* minute, int16_t* second)
{
    if (!path)
        return static_cast<int16_t>(TV_R_IO);
    TvFileTime t = 0;
    if (RetryWhileBusy(waitSeconds, 50, [&] { return TvPlatGetFileTime(path, &t); }) != TV_CR_OK || t < 0)
        return static_cast<int16_t>(TV_R_IO);
    int64_t secs = t / kTicksPerSecond;
    int64_t days = secs / 86400 - kDays1601To1970;
    int64_t inDay = secs % 86400;
    int64_t y;
    int m, d;
    CivilFromDays(days, &y, &m, &d);
    if (year) *year = static_cast<int16_t>(y);
    if (month) *month = static_cast<int16_t>(m);
    if (day) *day = static_cast<int16_t>(d);
    if (hour) *hour = static_cast<int16_t>(inDay / 3600);
    if (minute) *minute = static_cast<int16_t>(inDay / 60 % 60);
    if (second) *second = static_cast<int16_t>(inDay % 60);
    return 0;
}

int16_t SetFileDate(const char* path, int16_t waitSeconds, int setDate, int16_t year, int16_t month,
                    int16_t day, int setTime, int16_t hour, int16_t minute, int16_t second)
{
    if (!path)
        return static_cast<int16_t>(TV_R_IO);
    if (setDate) {
        if (year >= 0 && year <= 79)
            year = static_cast<int16_t>(year + 2000);
        else if (year >= 80 && year <= 99)
            year = static_cast<int16_t>(year + 1900);
        else if (year < 1980 || year > 2080)
            return static_cast<int16_t>(TV_R_IO);
        if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
            return static_cast<int16_t>(TV_R_IO);
    }
    if (setTime && (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59))
        return static_cast<int16_t>(TV_R_IO);

    TvFileTime t = 0;
    if (RetryWhileBusy(waitSeconds, 0, [&] { return TvPlatGetFileTime(path, &t); }) != TV_CR_OK || t < 0)
        return static_cast<int16_t>(TV_R_IO);
    // Milliseconds are the finest part the system's calendar form keeps.
    t -= t % kTicksPerMs;
    int64_t days = t / (86400 * kTicksPerSecond);
    int64_t timeOfDay = t % (86400 * kTicksPerSecond);
    if (setDate)
        days = DaysFromCivil(year, month, day) + kDays1601To1970;
    if (setTime)
        timeOfDay = (int64_t(hour) * 3600 + minute * 60 + second) * kTicksPerSecond;
    t = days * 86400 * kTicksPerSecond + timeOfDay;
    if (RetryWhileBusy(waitSeconds, 0, [&] { return TvPlatSetFileTime(path, t); }) != TV_CR_OK)
        return static_cast<int16_t>(TV_R_IO);
    return 0;
}

// ---------------------------------------------------------------- directory search

FindMatchRecord* FindFirstMatch(const char* directory, const char* pattern, int32_t wantDirectories)
{
    if (!directory || !pattern)
        return nullptr;
    size_t dirLength = std::strlen(directory), patternLength = std::strlen(pattern);
    if (dirLength == 0 || dirLength > TV_FIND_DIR_MAX || patternLength == 0 || patternLength > TV_FIND_PATTERN_MAX)
        return nullptr;
    FindMatchRecord* rec = new (std::nothrow) FindMatchRecord;
    if (!rec)
        return nullptr;
    std::memset(rec, 0, sizeof *rec);
    rec->tag = TV_FIND_TAG;
    rec->firstCall = 1;
    std::memcpy(rec->directory, directory, dirLength + 1);
    if (!EndsWithBackslash(rec->directory) && directory[dirLength - 1] != ':' && directory[dirLength - 1] != '/')
        std::strcat(rec->directory, "\\");
    std::memcpy(rec->pattern, pattern, patternLength + 1);
    rec->wantDirectories = wantDirectories;
    rec->search = nullptr;
    return rec;
}

int FindNextMatch(FindMatchRecord* record, char* out, int16_t outSize)
{
    if (!record || record->tag != TV_FIND_TAG || !out || outSize < 1)
        return 0;
    for (;;) {
        if (record->firstCall) {
            record->firstCall = 0;
            char full[sizeof record->directory + sizeof record->pattern];
            ConcatPath(full, sizeof full, record->directory, record->pattern);
            record->search = TvPlatFindFirst(full, &record->last);
            if (!record->search)
                return 0;
        } else if (!record->search || !TvPlatFindNext(record->search, &record->last)) {
            return 0;
        }

        const TvDirEntry& e = record->last;
        if (std::strcmp(e.longName, ".") == 0 || std::strcmp(e.longName, "..") == 0)
            continue;
        bool isDirectory = (e.attributes & TV_ATTR_DIRECTORY) != 0;
        if (isDirectory != (record->wantDirectories != 0) || (e.attributes & TV_ATTR_HIDDEN))
            continue;
        const char* name;
        if (std::strlen(e.longName) < static_cast<size_t>(outSize))
            name = e.longName;
        else if (outSize >= 13 && e.shortName[0] && std::strlen(e.shortName) < static_cast<size_t>(outSize))
            name = e.shortName;
        else
            continue; // no form of this name fits: go on with the next entry
        size_t i = 0;
        for (; name[i]; ++i)
            out[i] = AsciiUpper(name[i]);
        out[i] = 0;
        return 1;
    }
}

void FindEndMatch(FindMatchRecord* record)
{
    if (!record || record->tag != TV_FIND_TAG)
        return;
    if (record->search)
        TvPlatFindClose(record->search);
    record->search = nullptr;
    record->tag = 0;
    delete record;
}

uint16_t DeleteMatchingFiles(const char* directory, const char* pattern)
{
    FindMatchRecord* rec = FindFirstMatch(directory, pattern, 0);
    if (!rec)
        return 0;
    uint16_t failures = 0;
    char name[13];
    while (FindNextMatch(rec, name, sizeof name)) {
        char path[sizeof rec->directory + sizeof name];
        if (!ConcatPath(path, sizeof path, rec->directory, name) || !TvPlatRemove(path))
            ++failures;
    }
    FindEndMatch(rec);
    return failures;
}

int FindOldestFile(const char* directory, const char* pattern, char* out, int16_t outSize)
{
    if (out && outSize > 0)
        out[0] = 0;
    if (!directory || !pattern || !out || outSize < 1)
        return 0;
    char full[TV_FIND_DIR_MAX * 2];
    if (!ConcatPath(full, sizeof full, directory, pattern))
        return 0;
    TvDirEntry entry, best;
    TvDirIter* it = TvPlatFindFirst(full, &entry);
    if (!it)
        return 0;
    best = entry;
    while (TvPlatFindNext(it, &entry))
        if (entry.lastWrite < best.lastWrite)
            best = entry;
    TvPlatFindClose(it);
    const char* name = best.longName;
    if (std::strlen(name) >= static_cast<size_t>(outSize))
        name = best.shortName;
    if (!name[0] || std::strlen(name) >= static_cast<size_t>(outSize))
        return 0;
    CopyString(out, name, outSize);
    return 1;
}
