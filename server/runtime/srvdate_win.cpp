// Dates: the locale's month names and date pictures.
#include "server/runtime/srvdate.h"

#include <windows.h>

bool PlatLocaleMonthName(int month, bool shortName, char *buf, size_t size)
{
    if (month < 1 || month > 12 || !buf || size == 0)
        return false;
    LCTYPE type = (shortName ? LOCALE_SABBREVMONTHNAME1 : LOCALE_SMONTHNAME1) + static_cast<LCTYPE>(month - 1);
    return GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buf, static_cast<int>(size)) > 0;
}

bool PlatLocaleDatePicture(bool shortPicture, char *buf, size_t size)
{
    if (!buf || size == 0)
        return false;
    return GetLocaleInfoA(LOCALE_USER_DEFAULT, shortPicture ? LOCALE_SSHORTDATE : LOCALE_SLONGDATE, buf,
                          static_cast<int>(size)) > 0;
}
