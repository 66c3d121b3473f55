// The file peer's script lines.
#include "standins/fileplay/fileplay.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A verb, the number of its arguments and how they are read.
enum ArgForm { FORM_HOLD, FORM_TWO_PATHS, FORM_TIME, FORM_ATTRIB, FORM_PATH, FORM_PATH_NUMBER, FORM_NUMBER };

struct VerbRow {
    const char *name;
    PlayVerb verb;
    ArgForm form;
    int args;
    long min, max;   // the number's range (FORM_PATH_NUMBER, FORM_NUMBER, hold)
};

const long kMaxMs = 600000;   // ten minutes
const VerbRow kVerbs[] = {
    {"hold", PLAY_HOLD, FORM_HOLD, 4, 0, kMaxMs},
    {"copy", PLAY_COPY, FORM_TWO_PATHS, 2, 0, 0},
    {"append", PLAY_APPEND, FORM_TWO_PATHS, 2, 0, 0},
    {"settime", PLAY_SETTIME, FORM_TIME, 3, 0, 0},
    {"attrib", PLAY_ATTRIB, FORM_ATTRIB, 2, 0, 0},
    {"marker", PLAY_MARKER, FORM_PATH, 1, 0, 0},
    {"ahead", PLAY_AHEAD, FORM_PATH_NUMBER, 2, 1, 50},
    {"delete", PLAY_DELETE, FORM_PATH, 1, 0, 0},
    {"appear", PLAY_APPEAR, FORM_PATH_NUMBER, 2, 0, kMaxMs},
    {"vanish", PLAY_VANISH, FORM_PATH_NUMBER, 2, 0, kMaxMs},
    {"change", PLAY_CHANGE, FORM_PATH_NUMBER, 2, 0, kMaxMs},
    {"sleep", PLAY_SLEEP, FORM_NUMBER, 1, 0, kMaxMs},
};

enum { MAX_WORDS = 6 };

// Splits a line into words: blanks between, double quotes around a word
// that holds blanks. False for an unclosed quote, too many or too long words.
bool SplitWords(const char *line, char words[MAX_WORDS + 1][PLAY_PATH_MAX + 1], int *count)
{
    *count = 0;
    const char *p = line;
    for (;;) {
        while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
            ++p;
        if (!*p)
            return true;
        if (*count > MAX_WORDS)
            return false;
        char *w = words[(*count)++];
        size_t n = 0;
        if (*p == '"') {
            for (++p; *p && *p != '"'; ++p) {
                if (n >= PLAY_PATH_MAX)
                    return false;
                w[n++] = *p;
            }
            if (*p != '"')
                return false;
            ++p;
        } else {
            for (; *p && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\n'; ++p) {
                if (n >= PLAY_PATH_MAX)
                    return false;
                w[n++] = *p;
            }
        }
        w[n] = '\0';
    }
}

bool Number(const char *s, long min, long max, long *out)
{
    char *end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (!*s || *end || v < min || v > max)
        return false;
    *out = v;
    return true;
}

// "r", "w", "rw"; for a share also "none".
bool AccessBits(const char *s, bool none, unsigned *out)
{
    if (none && std::strcmp(s, "none") == 0) {
        *out = 0;
        return true;
    }
    const struct {
        const char *word;
        unsigned bits;
    } kWords[] = {{"r", PLAY_READ}, {"w", PLAY_WRITE}, {"rw", PLAY_READ | PLAY_WRITE}};
    for (const auto &w : kWords)
        if (std::strcmp(s, w.word) == 0) {
            *out = w.bits;
            return true;
        }
    return false;
}

bool AttributeBits(const char *s, unsigned *out)
{
    *out = 0;
    if (std::strcmp(s, "n") == 0)
        return true;
    for (; *s; ++s) {
        switch (*s) {
        case 'a': *out |= PLAY_ATTR_ARCHIVE; break;
        case 'r': *out |= PLAY_ATTR_READONLY; break;
        case 'h': *out |= PLAY_ATTR_HIDDEN; break;
        default: return false;
        }
    }
    return true;
}

bool TimeParts(const char *date, const char *time, PlayAction *a)
{
    char tail = 0;
    if (std::sscanf(date, "%4d-%2d-%2d%c", &a->year, &a->month, &a->day, &tail) != 3 ||
        std::sscanf(time, "%2d:%2d:%2d%c", &a->hour, &a->minute, &a->second, &tail) != 3)
        return false;
    return a->year >= 1980 && a->year <= 2100 && a->month >= 1 && a->month <= 12 && a->day >= 1 && a->day <= 31 &&
           a->hour <= 23 && a->minute <= 59 && a->second <= 59 && a->hour >= 0 && a->minute >= 0 && a->second >= 0;
}

} // namespace

const char *PlayVerbName(PlayVerb verb)
{
    for (const VerbRow &r : kVerbs)
        if (r.verb == verb)
            return r.name;
    return "?";
}

bool ParsePlayLine(const char *line, PlayAction *out)
{
    std::memset(out, 0, sizeof *out);
    const char *first = line + std::strspn(line, " \t");
    if (*first == '#')
        return true;
    char words[MAX_WORDS + 1][PLAY_PATH_MAX + 1];
    int count = 0;
    if (!SplitWords(line, words, &count))
        return false;
    if (count == 0)
        return true;
    const VerbRow *row = nullptr;
    for (const VerbRow &r : kVerbs)
        if (std::strcmp(words[0], r.name) == 0)
            row = &r;
    if (!row)
        return false;
    out->verb = row->verb;
    if (count - 1 != row->args)
        return false;
    long n = 0;
    switch (row->form) {
    case FORM_HOLD:
        std::snprintf(out->path, sizeof out->path, "%s", words[1]);
        if (!AccessBits(words[2], false, &out->access) || !AccessBits(words[3], true, &out->share) ||
            !Number(words[4], row->min, row->max, &n))
            return false;
        out->ms = static_cast<uint32_t>(n);
        return true;
    case FORM_TWO_PATHS:
        std::snprintf(out->path, sizeof out->path, "%s", words[1]);
        std::snprintf(out->other, sizeof out->other, "%s", words[2]);
        return true;
    case FORM_TIME:
        std::snprintf(out->path, sizeof out->path, "%s", words[1]);
        return TimeParts(words[2], words[3], out);
    case FORM_ATTRIB:
        std::snprintf(out->path, sizeof out->path, "%s", words[1]);
        return AttributeBits(words[2], &out->attributes);
    case FORM_PATH:
        std::snprintf(out->path, sizeof out->path, "%s", words[1]);
        return true;
    case FORM_PATH_NUMBER:
        std::snprintf(out->path, sizeof out->path, "%s", words[1]);
        if (!Number(words[2], row->min, row->max, &n))
            return false;
        if (row->verb == PLAY_AHEAD)
            out->years = static_cast<int>(n);
        else
            out->ms = static_cast<uint32_t>(n);
        return true;
    case FORM_NUMBER:
        if (!Number(words[1], row->min, row->max, &n))
            return false;
        out->ms = static_cast<uint32_t>(n);
        return true;
    }
    return false;
}
