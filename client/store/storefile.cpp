#include "client/store/storefile.h"

#include <cstring>

#include "common/ctlfile.h"
#include "common/waithook.h"

namespace {
enum : int64_t {
    TV_TICKS_PER_SECOND = 10000000,
    TV_SECONDS_1601_TO_1970 = 11644473600LL,
    TV_SECONDS_PER_MINUTE = 60,
    TV_SECONDS_PER_HOUR = 3600,
    TV_STAMP_MINUTES = 30,
    TV_MS_PER_SECOND = 1000,
};

template <typename Op>
TvCreateResult Retry(int waitSeconds, Op op)
{
    int64_t deadline = TvPlatTickMs() + int64_t(waitSeconds) * TV_MS_PER_SECOND;
    for (;;) {
        TvCreateResult r = op();
        if (r != TV_CR_BUSY || TvPlatTickMs() >= deadline)
            return r;
        RunWaitHook();
    }
}
} // namespace

bool StorePath(char* out, size_t size, const char* dir, const char* name)
{
    size_t d = std::strlen(dir), n = std::strlen(name);
    if (d + n + 1 > size) {
        if (size)
            out[0] = '\0';
        return false;
    }
    std::memcpy(out, dir, d);
    std::memcpy(out + d, name, n + 1);
    return true;
}

TvCreateResult GetFileTimeRetry(const char* path, int waitSeconds, TvFileTime* out)
{
    return Retry(waitSeconds, [&] { return TvPlatGetFileTime(path, out); });
}

TvCreateResult SetFileTimeRetry(const char* path, int waitSeconds, TvFileTime t)
{
    return Retry(waitSeconds, [&] { return TvPlatSetFileTime(path, t); });
}

size_t DirectoryPartLength(const char* value)
{
    size_t n = 0;
    for (size_t i = 0; value[i]; ++i)
        if (TvIsPathSep(value[i]))
            n = i + 1;
    return n;
}

bool DirectoryMatches(const char* value, size_t partLength, const char* dir)
{
    if (std::strlen(dir) != partLength)
        return false;
    for (size_t i = 0; i < partLength; ++i) {
        char a = value[i], b = dir[i];
        if (TvIsPathSep(a) && TvIsPathSep(b))
            continue;
        char la = (a >= 'A' && a <= 'Z') ? static_cast<char>(a - 'A' + 'a') : a;
        char lb = (b >= 'A' && b <= 'Z') ? static_cast<char>(b - 'A' + 'a') : b;
        if (la != lb)
            return false;
    }
    return true;
}

int64_t FileTimeToSeconds(TvFileTime t)
{
    int64_t s = t / TV_TICKS_PER_SECOND;
    if (t % TV_TICKS_PER_SECOND < 0)
        --s;
    return s - TV_SECONDS_1601_TO_1970;
}

TvFileTime SecondsToFileTime(int64_t seconds)
{
    return (seconds + TV_SECONDS_1601_TO_1970) * TV_TICKS_PER_SECOND;
}

bool IsChangeStamp(TvFileTime t)
{
    if (t < 0)
        return false;
    int64_t s = t / TV_TICKS_PER_SECOND;
    // File systems that keep whole seconds only (the server's stamps were
    // made with them) never show a fraction; one that does shows none here.
    if (s % TV_SECONDS_PER_MINUTE != 0)
        return false;
    int64_t minute = (s % TV_SECONDS_PER_HOUR) / TV_SECONDS_PER_MINUTE;
    return minute % TV_STAMP_MINUTES == 0;
}

size_t FirstWord(const char* text, char* out, size_t outSize)
{
    size_t len = 0;
    if (text)
        while (text[len] && text[len] != ' ' && text[len] != '\t' && text[len] != ',')
            ++len;
    if (outSize) {
        size_t n = len < outSize - 1 ? len : outSize - 1;
        if (n)
            std::memcpy(out, text, n);
        out[n] = '\0';
    }
    return len;
}

const char* ValueAfterKey(const char* line, size_t keyLength)
{
    const char* v = line + keyLength;
    while (*v == ' ' || *v == '\t')
        ++v;
    return v;
}

int RewriteValueInPlace(FILE* f, const char* line, int32_t linePos, const char* value, const char* newValue)
{
    size_t lineLen = std::strlen(line);
    size_t at = static_cast<size_t>(value - line);
    size_t room = lineLen - at;
    size_t n = std::strlen(newValue);
    if (at > lineLen || n > room || lineLen >= TV_LINE_SIZE)
        return 0;
    char text[TV_LINE_SIZE];
    std::memcpy(text, line, at);
    std::memcpy(text + at, newValue, n);
    std::memset(text + at + n, ' ', room - n);
    text[lineLen] = '\0';
    return OverwriteTextAt(f, text, linePos);
}
