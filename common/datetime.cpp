#include "common/datetime.h"

#include <ctime>

#include "common/platform.h"

static TvTime Convert(int second, int minute, int hour, int day, int month0, int yearsSince1900, int isdst)
{
    struct tm tm = {};
    tm.tm_sec = second;
    tm.tm_min = minute;
    tm.tm_hour = hour;
    tm.tm_mday = day;
    tm.tm_mon = month0;
    tm.tm_year = yearsSince1900;
    tm.tm_isdst = isdst;
    // The runtime's 64-bit calendar (time_t is 32-bit on 32-bit Windows).
    int64_t t = TvPlatMakeTime(&tm);
    if (t == -1 || tm.tm_isdst != isdst)
        return -1;
    return static_cast<TvTime>(t);
}

TvTime MakeTimeValue(int second, int minute, int hour, int day, int month0, int yearsSince1900)
{
    TvTime t = Convert(second, minute, hour, day, month0, yearsSince1900, 0);
    if (t != -1)
        return t;
    return Convert(second, minute, hour, day, month0, yearsSince1900, 1);
}

int DateToTime(int16_t year, int16_t month, int16_t day, int16_t hour, int16_t minute, int16_t second,
               TvTime* out)
{
    bool twoDigit = year >= 0 && year <= 99;
    if ((!twoDigit && (year < 1980 || year > 2080)) || month < 1 || month > 12 || day < 1 || day > 31 ||
        hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return 0;
    int fullYear = year;
    if (twoDigit)
        fullYear = year < 80 ? 2000 + year : 1900 + year;
    TvTime t = MakeTimeValue(second, minute, hour, day, month - 1, fullYear - 1900);
    if (out)
        *out = t;
    return t != -1;
}

int TimeToDate(TvTime t, int16_t* year, int16_t* month, int16_t* day, int16_t* hour, int16_t* minute,
               int16_t* second)
{
    if (t == 0 || !year || !month || !day || !hour || !minute || !second)
        return 0;
    struct tm tm;
    if (!TvPlatLocalTm(static_cast<int64_t>(t), &tm))
        return 0;
    if (tm.tm_year < -1900 || tm.tm_year > 32767 - 1900)
        return 0;
    *year = static_cast<int16_t>(tm.tm_year + 1900);
    *month = static_cast<int16_t>(tm.tm_mon + 1);
    *day = static_cast<int16_t>(tm.tm_mday);
    *hour = static_cast<int16_t>(tm.tm_hour);
    *minute = static_cast<int16_t>(tm.tm_min);
    *second = static_cast<int16_t>(tm.tm_sec);
    return 1;
}
