#include "client/shell/intl_win.h"

#include <windows.h>

void GetIntlDateFormat(TvIntlFormats *out)
{
    char sTime[8], sShortDate[40];
    GetProfileStringA("intl", "sTime", ":", sTime, sizeof sTime);
    GetProfileStringA("intl", "sShortDate", "yy-mm-dd", sShortDate, sizeof sShortDate);
    IntlFormatsFrom(sTime, sShortDate, out);
}
