// The date and time formats of the Windows international settings.
#ifndef TAVRINE_CLIENT_SHELL_INTL_WIN_H
#define TAVRINE_CLIENT_SHELL_INTL_WIN_H

#include "client/shell/profile.h"

// Reads sTime and sShortDate from the "intl" paragraph of the Windows
// profile (defaults ":" and "yy-mm-dd") and derives the formats from them.
// Run at start-up and again when the settings change (WM_WININICHANGE).
void GetIntlDateFormat(TvIntlFormats *out);

#endif
