// Dates: month names and the picture formatter.
#include "server/runtime/srvdate.h"

#include <cstdio>
#include <cstring>

namespace {

const char *const kLongEnglish[12] = {"January", "February", "March",     "April",   "May",      "June",
                                      "July",    "August",   "September", "October", "November", "December"};
const char *const kShortEnglish[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

char g_long[12][MONTH_NAME_MAX + 1];
char g_short[12][MONTH_SHORT_NAME_MAX + 1];
bool g_namesLoaded = false;

void LoadNames()
{
    if (g_namesLoaded)
        return;
    for (int m = 1; m <= 12; ++m) {
        if (!PlatLocaleMonthName(m, false, g_long[m - 1], sizeof g_long[0]) || !g_long[m - 1][0])
            std::snprintf(g_long[m - 1], sizeof g_long[0], "%s", kLongEnglish[m - 1]);
        if (!PlatLocaleMonthName(m, true, g_short[m - 1], sizeof g_short[0]) || !g_short[m - 1][0])
            std::snprintf(g_short[m - 1], sizeof g_short[0], "%s", kShortEnglish[m - 1]);
    }
    g_namesLoaded = true;
}

bool IsBlankOrPunct(char c)
{
    unsigned char u = static_cast<unsigned char>(c);
    return u == ' ' || u == '\t' || (u >= 33 && u <= 47) || (u >= 58 && u <= 64) || (u >= 91 && u <= 96) ||
           (u >= 123 && u <= 126);
}

// The output buffer of one formatting.
struct DateOut {
    char *buf;
    size_t size;
    size_t used;
    void Piece(const char *text, size_t n)
    {
        size_t i = 0;
        if (used == 0)
            while (i < n && IsBlankOrPunct(text[i]))
                ++i;
        for (; i < n && used + 1 < size; ++i)
            buf[used++] = text[i];
        buf[used] = '\0';
    }
    void Piece(const char *text) { Piece(text, std::strlen(text)); }
    void Number(int v, bool twoDigits)
    {
        char t[16];
        std::snprintf(t, sizeof t, twoDigits ? "%.2d" : "%d", v);
        Piece(t);
    }
};

bool StartsWith(const char *s, const char *token) { return std::strncmp(s, token, std::strlen(token)) == 0; }

} // namespace

const char *MonthName(int month)
{
    if (month < 1 || month > 12)
        return "???";
    LoadNames();
    return g_long[month - 1];
}

const char *MonthShortName(int month)
{
    if (month < 1 || month > 12)
        return "???";
    LoadNames();
    return g_short[month - 1];
}

void DefaultDatePicture(char *buf, size_t size, bool shortPicture)
{
    if (!buf || size == 0)
        return;
    char picture[128];
    if (!PlatLocaleDatePicture(shortPicture, picture, sizeof picture) || !picture[0])
        std::snprintf(picture, sizeof picture, "%s", shortPicture ? "dd/MM/yy" : "d MMMM yyyy");
    std::snprintf(buf, size, "%s", picture);
}

int FormatDateByPicture(const char *picture, char *buf, size_t size, int year, int month, int day, int hours,
                        int minutes, int seconds)
{
    if (!buf || size == 0)
        return 0;
    buf[0] = '\0';
    if (year >= 0 && year < 100)
        year += year >= 80 ? 1900 : 2000;
    if (year < 1900 || year > 2080 || month < 1 || month > 12 || day < 1 || day > 31 || hours < 0 ||
        hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59)
        return 0;
    DateOut out{buf, size, 0};
    const char *p = picture ? picture : "";
    while (*p) {
        if (*p == '\'' || *p == '"') {
            char q = *p;
            if (p[1] == q) {
                out.Piece(p, 1);
                p += 2;
                continue;
            }
            const char *start = ++p;
            while (*p && *p != q)
                ++p;
            out.Piece(start, static_cast<size_t>(p - start));
            if (*p)
                ++p;
            continue;
        }
        if (StartsWith(p, "MMMM")) {
            out.Piece(MonthName(month));
            p += 4;
        } else if (StartsWith(p, "MMM")) {
            out.Piece(MonthShortName(month));
            p += 3;
        } else if (StartsWith(p, "MM")) {
            out.Number(month, true);
            p += 2;
        } else if (*p == 'M') {
            out.Number(month, false);
            p += 1;
        } else if (StartsWith(p, "dddd")) {
            p += 4;
        } else if (StartsWith(p, "ddd")) {
            p += 3;
        } else if (StartsWith(p, "dd")) {
            out.Number(day, true);
            p += 2;
        } else if (*p == 'd') {
            out.Number(day, false);
            p += 1;
        } else if (StartsWith(p, "yyyy")) {
            out.Number(year, false);
            p += 4;
        } else if (StartsWith(p, "yy")) {
            out.Number(year % 100, true);
            p += 2;
        } else if (StartsWith(p, "hh")) {
            out.Number(hours, true);
            p += 2;
        } else if (*p == 'h') {
            out.Number(hours, false);
            p += 1;
        } else if (StartsWith(p, "mm")) {
            out.Number(minutes, true);
            p += 2;
        } else if (*p == 'm') {
            out.Number(minutes, false);
            p += 1;
        } else if (StartsWith(p, "ss")) {
            out.Number(seconds, true);
            p += 2;
        } else if (*p == 's') {
            out.Number(seconds, false);
            p += 1;
        } else {
            out.Piece(p, 1);
            p += 1;
        }
    }
    while (out.used > 0 && buf[out.used - 1] == ' ')
        buf[--out.used] = '\0';
    return 1;
}
