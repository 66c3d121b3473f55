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

bool StoreText::Load(FILE* f)
{
    text_.clear();
    pos_ = 0;
    long at = std::ftell(f);
    if (at < 0 || at > INT32_MAX)
        return false;
    base_ = static_cast<int32_t>(at);
    char chunk[8192];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        text_.append(chunk, n);
    return !std::ferror(f);
}

bool StoreText::ReadLine(char* buf, int size, int32_t* linePos)
{
    if (size <= 0)
        return false;
    buf[0] = '\0';
    if (pos_ >= text_.size())
        return false;
    if (linePos)
        *linePos = Tell();
    size_t end = text_.find('\n', pos_);
    size_t next = end == std::string::npos ? text_.size() : end + 1;
    // Up to size - 1 bytes of the line, its line feed counted.
    size_t len = next - pos_;
    if (len > static_cast<size_t>(size - 1))
        len = static_cast<size_t>(size - 1);
    for (size_t i = 0; i < len; ++i) {
        unsigned char u = static_cast<unsigned char>(text_[pos_ + i]);
        buf[i] = (u < 32 || u == 127) ? ' ' : static_cast<char>(u);
    }
    while (len > 0 && buf[len - 1] == ' ')
        --len;
    buf[len] = '\0';
    pos_ = next;
    return true;
}

bool StoreText::FindParagraph(const char* name, char* buf, int size)
{
    size_t start = pos_;
    size_t nameLen = name ? std::strlen(name) : 0;
    while (ReadLine(buf, size, nullptr)) {
        if (!IsParagraphLine(buf))
            continue;
        bool match = true;
        for (size_t i = 0; i < nameLen && match; ++i) {
            char a = buf[i], b = name[i];
            if (a >= 'a' && a <= 'z')
                a = static_cast<char>(a - 'a' + 'A');
            if (b >= 'a' && b <= 'z')
                b = static_cast<char>(b - 'a' + 'A');
            match = a == b;
        }
        if (match)
            return true;
    }
    pos_ = start;
    buf[0] = '\0';
    return false;
}

bool StoreText::FindEntry(const char* key, char* buf, int size, int32_t* linePos)
{
    size_t start = pos_;
    int32_t at = 0;
    while (ReadLine(buf, size, &at)) {
        if (IsParagraphLine(buf))
            break;
        if (IsEntryLine(buf) && (!key || KeyMatches(buf, key))) {
            if (linePos)
                *linePos = at;
            return true;
        }
    }
    pos_ = start;
    buf[0] = '\0';
    return false;
}
