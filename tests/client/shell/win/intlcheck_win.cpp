// Prints the formats the client derives from the Windows international
// settings, and a fixed date and time written with them in the date order:
//   order=<0|1|2> date=<format> time=<format> sample=<date> <time>
// intl_check.sh sets the settings through the registry and compares.
#include <cstdio>

#include "client/shell/intl_win.h"

int main()
{
    TvIntlFormats f;
    GetIntlDateFormat(&f);
    // 5 March 1996, 09:07.
    const int day = 5, month = 3, year = 96;
    int a = year, b = month, c = day;
    if (f.dateOrder == TV_DATE_DMY) {
        a = day;
        c = year;
    } else if (f.dateOrder == TV_DATE_MDY) {
        a = month;
        b = day;
        c = year;
    }
    char date[32], time[16];
    std::snprintf(date, sizeof date, f.dateFormat, a, b, c);
    std::snprintf(time, sizeof time, f.timeFormat, 9, 7);
    std::printf("order=%d date=%s time=%s sample=%s %s\n", f.dateOrder, f.dateFormat, f.timeFormat, date, time);
    return 0;
}
