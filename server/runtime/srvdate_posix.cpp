// Dates: no locale tables here; the English names and default pictures serve.
#include "server/runtime/srvdate.h"

bool PlatLocaleMonthName(int month, bool shortName, char *buf, size_t size) { return false; }

bool PlatLocaleDatePicture(bool shortPicture, char *buf, size_t size) { return false; }
