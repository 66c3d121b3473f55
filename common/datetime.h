// Dates and times of control files.
//
// Control files carry a date and time as separate numbers; lists and filters
// compare them as one calendar time value in local time. Two-digit years use
// the window 0-79 = 2000-2079, 80-99 = 1980-1999. Time values are 64-bit, so
// every date the window allows (up to 2080) can be held.
#ifndef TAVRINE_COMMON_DATETIME_H
#define TAVRINE_COMMON_DATETIME_H

#include <cstdint>

// Seconds since 1 January 1970 (universal time); -1 = cannot be represented.
typedef int64_t TvTime;

// Local time of the parts (month 0-11, years since 1900), read as standard
// time when that is consistent, else as summer time; -1 when neither reading
// holds (the hour skipped when the clocks go forward) or on failure.
TvTime MakeTimeValue(int second, int minute, int hour, int day, int month0, int yearsSince1900);

// Checks the ranges (year 0-99 or 1980-2080, month 1-12, day 1-31, hour 0-23,
// minute 0-59, second 0-59; out of range: 0 and *out untouched), applies the
// year window and converts. Days past a month's end carry into the next month.
// 1 and the time; 0 and -1 when the date cannot be represented.
int DateToTime(int16_t year, int16_t month, int16_t day, int16_t hour, int16_t minute, int16_t second,
               TvTime* out);

// Local date and time of a time value (the year in full, month 1-12). 1; 0
// for the time value 0 or one that cannot be converted.
int TimeToDate(TvTime t, int16_t* year, int16_t* month, int16_t* day, int16_t* hour, int16_t* minute,
               int16_t* second);

#endif
