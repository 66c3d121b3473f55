#include "common/ctlfile.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>


// ---------------------------------------------------------------- helpers

static inline unsigned char AsciiLower(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// Case-insensitive comparison of the line's beginning with name over the
// name's length (ASCII folding only, so every platform agrees).
static int PrefixMatches(const char *line, const char *name)
{
    const unsigned char *l = reinterpret_cast<const unsigned char *>(line);
    const unsigned char *n = reinterpret_cast<const unsigned char *>(name);
    for (; *n; ++l, ++n) {
        if (AsciiLower(*l) != AsciiLower(*n))
            return 0;
    }
    return 1;
}

static int IsBlankChar(int c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Stream offsets are kept in 32 bits, as the system's files are small; an
// offset that does not fit counts as a failure of the stream.
static int TellPos(FILE *f, int32_t *pos)
{
    long p = std::ftell(f);
    if (p < 0 || static_cast<unsigned long>(p) > static_cast<unsigned long>(INT32_MAX))
        return 0;
    *pos = static_cast<int32_t>(p);
    return 1;
}

static int SeekPos(FILE *f, int32_t pos)
{
    return std::fseek(f, static_cast<long>(pos), SEEK_SET) == 0;
}

static void EmptyBuffer(char *buf, int size)
{
    if (buf && size > 0)
        buf[0] = '\0';
}

// Copies src into out (outSize bytes), cut to outSize - 1 characters.
static void CopyBounded(char *out, int outSize, const char *src, size_t len)
{
    if (!out || outSize <= 0)
        return;
    if (len > static_cast<size_t>(outSize - 1))
        len = static_cast<size_t>(outSize - 1);
    std::memcpy(out, src, len);
    out[len] = '\0';
}

// ---------------------------------------------------------------- reading

int ReadControlLine(FILE *f, char *buf, int size, int32_t *linePos)
{
    if (!f || !buf || size <= 0)
        return 0;
    buf[0] = '\0';
    if (linePos && !TellPos(f, linePos))
        *linePos = 0;

    // Byte by byte, so that a NUL is just another character: the whole line
    // is consumed up to and including its line feed, and what does not fit
    // is dropped.
    int n = 0;
    int got = 0;
    int c;
    while ((c = std::getc(f)) != EOF) {
        got = 1;
        if (n < size - 1)
            buf[n++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    if (!got)
        return 0;
    buf[n] = '\0';

    for (int i = 0; i < n; ++i) {
        unsigned char u = static_cast<unsigned char>(buf[i]);
        if (u < 32 || u == 127)
            buf[i] = ' ';
    }
    while (n > 0 && buf[n - 1] == ' ')
        --n;
    buf[n] = '\0';
    return 1;
}

int IsParagraphLine(const char *line)
{
    return line && line[0] == '[';
}

int IsEntryLine(const char *line)
{
    return line && line[0] != '\0' && line[0] != ' ' && line[0] != ';';
}

int IsSeparator(int c)
{
    return c == ',' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int KeyMatches(const char *line, const char *key)
{
    if (!line || !key)
        return 0;
    size_t len = std::strlen(key);
    if (len > 0 && key[len - 1] == ':') {
        // The final colon stands for either separator.
        for (size_t i = 0; i + 1 < len; ++i) {
            unsigned char l = static_cast<unsigned char>(line[i]);
            if (l == '\0' || AsciiLower(l) != AsciiLower(static_cast<unsigned char>(key[i])))
                return 0;
        }
        return line[len - 1] == ':' || line[len - 1] == '=';
    }
    return PrefixMatches(line, key);
}

int FindParagraph(FILE *f, const char *name, char *buf, int size, int32_t *pos)
{
    int32_t start;
    if (!f || !buf || size <= 0 || !TellPos(f, &start)) {
        EmptyBuffer(buf, size);
        return 0;
    }
    while (ReadControlLine(f, buf, size, nullptr)) {
        if (!IsParagraphLine(buf))
            continue;
        if (!name || PrefixMatches(buf, name)) {
            if (pos && !TellPos(f, pos))
                *pos = 0;
            return 1;
        }
    }
    SeekPos(f, start);
    buf[0] = '\0';
    return 0;
}

int FindEntryStop(FILE *f, const char *key, char *buf, int size, int32_t start, int32_t *linePos,
                  char stop)
{
    if (!f || !buf || size <= 0) {
        EmptyBuffer(buf, size);
        return 0;
    }
    int32_t back = start;
    if (start != 0) {
        if (!SeekPos(f, start)) {
            buf[0] = '\0';
            return 0;
        }
    } else if (!TellPos(f, &back)) {
        buf[0] = '\0';
        return 0;
    }

    int32_t lineStart = 0;
    while (ReadControlLine(f, buf, size, &lineStart)) {
        if (IsParagraphLine(buf))
            break;
        if (stop != '\0' && buf[0] == stop)
            break;
        if (!IsEntryLine(buf))
            continue;
        if (!key || KeyMatches(buf, key)) {
            if (linePos)
                *linePos = lineStart;
            return 1;
        }
    }
    SeekPos(f, back);
    buf[0] = '\0';
    return 0;
}

int FindEntry(FILE *f, const char *key, char *buf, int size, int32_t start, int32_t *linePos)
{
    return FindEntryStop(f, key, buf, size, start, linePos, '\0');
}

// ---------------------------------------------------------------- values

const char *EntryValue(const char *line)
{
    if (!line)
        return nullptr;
    const char *p = line;
    while (*p && *p != ':' && *p != '=')
        ++p;
    if (!*p)
        return nullptr;
    ++p;
    while (IsBlankChar(static_cast<unsigned char>(*p)))
        ++p;
    return *p ? p : nullptr;
}

const char *EntryValueWord(const char *line, uint16_t *len)
{
    if (len)
        *len = 0;
    if (!line)
        return nullptr;
    const char *p = line;
    while (*p && *p != ':' && *p != '=' && !IsSeparator(static_cast<unsigned char>(*p)))
        ++p;
    while (*p && (*p == ':' || *p == '=' || IsSeparator(static_cast<unsigned char>(*p))))
        ++p;
    if (!*p)
        return nullptr;
    if (len) {
        const char *e = p;
        while (*e && !IsSeparator(static_cast<unsigned char>(*e)))
            ++e;
        size_t n = static_cast<size_t>(e - p);
        *len = static_cast<uint16_t>(n > 0xFFFF ? 0xFFFF : n);
    }
    return p;
}

const char *NextToken(const char *s, uint16_t *len, const char **next)
{
    if (!s) {
        if (len)
            *len = 0;
        if (next)
            *next = nullptr;
        return nullptr;
    }
    const char *p = s;
    if (*p == '"') {
        ++p;
        while (*p && *p != '"')
            ++p;
        if (*p == '"')
            ++p; // past the closing quote; an unterminated quote stops at the end
    }
    while (*p && !IsSeparator(static_cast<unsigned char>(*p)))
        ++p;
    if (len) {
        size_t n = static_cast<size_t>(p - s);
        *len = static_cast<uint16_t>(n > 0xFFFF ? 0xFFFF : n);
    }

    while (IsBlankChar(static_cast<unsigned char>(*p)))
        ++p;
    if (next) {
        if (!*p) {
            *next = nullptr;
        } else if (*p != ',') {
            *next = p;
        } else {
            ++p;
            while (IsBlankChar(static_cast<unsigned char>(*p)))
                ++p;
            *next = p;
        }
    }
    return s;
}

int GetStringEntryStop(FILE *f, const char *key, char *out, int outSize, int32_t start, char stop)
{
    char line[TV_LINE_SIZE];
    if (!FindEntryStop(f, key, line, sizeof line, start, nullptr, stop))
        return 0;
    const char *v = EntryValue(line);
    if (v)
        CopyBounded(out, outSize, v, std::strlen(v));
    else
        CopyBounded(out, outSize, "", 0);
    return 1;
}

int GetStringEntry(FILE *f, const char *key, char *out, int outSize, int32_t start)
{
    return GetStringEntryStop(f, key, out, outSize, start, '\0');
}

int GetStringEntryHere(FILE *f, const char *key, char *out, int outSize, int32_t start)
{
    int32_t entry;
    if (!f || !TellPos(f, &entry))
        return 0;
    char line[TV_LINE_SIZE];
    if (!FindEntry(f, nullptr, line, sizeof line, start, nullptr))
        return 0;
    if (key && !KeyMatches(line, key)) {
        SeekPos(f, entry);
        return 0;
    }
    const char *v = EntryValue(line);
    if (v)
        CopyBounded(out, outSize, v, std::strlen(v));
    else
        CopyBounded(out, outSize, "", 0);
    return 1;
}

int GetIntEntry(FILE *f, const char *key, int16_t *out, int32_t start)
{
    char value[TV_LINE_SIZE];
    if (!GetStringEntry(f, key, value, sizeof value, start) || value[0] == '\0')
        return 0;
    // The system's integers are 32-bit: clamp what strtoll gives to that
    // range, so that every platform keeps the same low 16 bits.
    long long v = std::strtoll(value, nullptr, 10);
    if (v > INT32_MAX)
        v = INT32_MAX;
    if (v < INT32_MIN)
        v = INT32_MIN;
    if (out)
        *out = static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(v) & 0xFFFFu));
    return 1;
}

static int EqualsNoCase(const char *a, const char *b)
{
    for (; *a && *b; ++a, ++b) {
        if (AsciiLower(static_cast<unsigned char>(*a)) != AsciiLower(static_cast<unsigned char>(*b)))
            return 0;
    }
    return *a == '\0' && *b == '\0';
}

int GetBoolEntry(FILE *f, const char *key, int32_t *out, int32_t start)
{
    static const char *const kTrue[] = {"Y", "YES", "TRUE", "ON", "1"};
    static const char *const kFalse[] = {"N", "NO", "FALSE", "OFF", "0"};
    char value[TV_LINE_SIZE];
    if (!GetStringEntry(f, key, value, sizeof value, start))
        return 0;
    int32_t result = -1;
    if (value[0] == '\0')
        result = 1;
    for (const char *t : kTrue)
        if (result < 0 && EqualsNoCase(value, t))
            result = 1;
    for (const char *t : kFalse)
        if (result < 0 && EqualsNoCase(value, t))
            result = 0;
    if (result < 0)
        return 0;
    if (out)
        *out = result;
    return 1;
}

// ---------------------------------------------------------------- rewriting

static void WriteLine(FILE *dst, const char *line)
{
    std::fputs(line, dst);
    std::fputs("\r\n", dst);
}

// "key value" (or the key alone for an empty value), made safe to stand as
// one line: cut to 280 characters, control characters turned into blanks.
static void WriteEntryLine(FILE *dst, const char *key, const char *value)
{
    char line[TV_LINE_SIZE];
    size_t n = 0;
    for (const char *p = key; *p && n < TV_LINE_MAX; ++p)
        line[n++] = *p;
    if (value && *value) {
        if (n < TV_LINE_MAX)
            line[n++] = ' ';
        for (const char *p = value; *p && n < TV_LINE_MAX; ++p)
            line[n++] = *p;
    }
    for (size_t i = 0; i < n; ++i) {
        unsigned char u = static_cast<unsigned char>(line[i]);
        if (u < 32 || u == 127)
            line[i] = ' ';
    }
    line[n] = '\0';
    WriteLine(dst, line);
}

int CopyReplacingEntry(FILE *src, FILE *dst, const char *para, const char *key, const char *value,
                       int moveToEnd)
{
    if (!src || !dst)
        return 0;
    int inTarget = para == nullptr;
    int targetFound = para == nullptr;
    int entryWritten = 0;
    int lastEmpty = 1;
    const int keyGiven = key && *key;

    char line[TV_LINE_SIZE];
    while (ReadControlLine(src, line, sizeof line, nullptr)) {
        if (inTarget && line[0] == '\0')
            continue;
        if (IsParagraphLine(line)) {
            if (inTarget) {
                if (!entryWritten && keyGiven && value)
                    WriteEntryLine(dst, key, value);
                WriteLine(dst, "");
                entryWritten = 1;
                inTarget = 0;
            } else if (!targetFound && PrefixMatches(line, para)) {
                targetFound = 1;
                inTarget = 1;
            }
            WriteLine(dst, line);
            lastEmpty = 0;
            continue;
        }
        if (inTarget && IsEntryLine(line)) {
            if (!key)
                continue; // no key: the paragraph is emptied
            if (keyGiven && KeyMatches(line, key)) {
                if (!moveToEnd && !entryWritten && value) {
                    WriteEntryLine(dst, key, value);
                    entryWritten = 1;
                }
                continue;
            }
        }
        WriteLine(dst, line);
        lastEmpty = line[0] == '\0';
    }

    if (!targetFound) {
        if (!lastEmpty)
            WriteLine(dst, "");
        WriteLine(dst, para);
    }
    if (!entryWritten && keyGiven && value)
        WriteEntryLine(dst, key, value);
    return !std::ferror(src) && !std::ferror(dst);
}

int OverwriteTextAt(FILE *f, const char *text, int32_t pos)
{
    if (!f || !text)
        return 0;
    // A positioning call always comes before the write: C requires one when
    // an update stream turns from reading to writing.
    if (pos != 0) {
        if (!SeekPos(f, pos))
            return 0;
    } else if (std::fseek(f, 0, SEEK_CUR) != 0) {
        return 0;
    }
    size_t n = std::strlen(text);
    if (n > 0 && std::fwrite(text, 1, n, f) != n)
        return 0;
    if (std::fflush(f) != 0)
        return 0;
    if (!SeekPos(f, pos))
        return 0;
    return 1;
}

int ListField(int index, const char *list, char *out, int outSize)
{
    EmptyBuffer(out, outSize);
    if (!list || index < 0)
        return 0;
    const char *p = list;
    for (int i = 0; i < index; ++i) {
        p = std::strchr(p, ';');
        if (!p)
            return 0;
        ++p;
    }
    while (*p == ' ' || *p == '\t')
        ++p;
    if (!*p)
        return 0;
    const char *e = p;
    while (*e && *e != ';')
        ++e;
    while (e > p && (e[-1] == ' ' || e[-1] == '\t'))
        --e;
    if (e == p || outSize < 2)
        return 1;
    CopyBounded(out, outSize, p, static_cast<size_t>(e - p));
    return 1;
}
