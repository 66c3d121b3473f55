// Dates in server texts (page headers, reports, converted messages),
// formatted by a picture such as "dd/MM/yy" or "d MMMM yyyy".
#ifndef TAVRINE_SERVER_RUNTIME_SRVDATE_H
#define TAVRINE_SERVER_RUNTIME_SRVDATE_H

#include <cstddef>

enum { MONTH_NAME_MAX = 50, MONTH_SHORT_NAME_MAX = 20 };

// The long month name (1..12) from the user's locale, else the English one;
// "???" for a month outside 1..12.
const char *MonthName(int month);
// The abbreviated name, else "Jan".."Dec"; "???" outside 1..12.
const char *MonthShortName(int month);

// The locale's short or long date picture, else "dd/MM/yy" (short) or
// "d MMMM yyyy" (long), cut to the buffer.
void DefaultDatePicture(char *buf, size_t size, bool shortPicture);

// Formats a date and time by picture. Tokens (case matters: MM month, mm
// minutes): MMMM long month name, MMM short name, MM / M month, dddd and ddd
// nothing, dd / d day, yyyy / yy year, hh / h hours, mm / m minutes, ss / s
// seconds. A single or double quote opens a literal section closed by the
// same quote; two quotes in a row outside one give one quote. Every other
// character is copied. Leading blanks and punctuation are dropped until
// something has been written; trailing blanks are removed; output is cut at
// size-1. A year below 100 is 1900+ from 80 up, else 2000+. 1 done; 0 (and an
// empty buffer) for a zero size or a year outside 1900..2080, a month, day,
// hour, minute or second out of range.
int FormatDateByPicture(const char *picture, char *buf, size_t size, int year, int month, int day, int hours,
                        int minutes, int seconds);

// Platform layer: locale lookups (false when the locale has none).
bool PlatLocaleMonthName(int month, bool shortName, char *buf, size_t size);
bool PlatLocaleDatePicture(bool shortPicture, char *buf, size_t size);

#endif
