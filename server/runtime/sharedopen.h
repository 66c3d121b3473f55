// The server programs' shared file open: the shared library's open
// (common/sharedfile.h) with the server's mode rules, its retry budgets and
// its wait (SleepYield at the default tick on the runtime clock).
#ifndef TAVRINE_SERVER_RUNTIME_SHAREDOPEN_H
#define TAVRINE_SERVER_RUNTIME_SHAREDOPEN_H

#include <cstdint>
#include <cstdio>

struct TvOpenRules;

// Retry seconds of the callers.
enum : int16_t {
    OPEN_RETRY_SERVER_LOG = 15,
    OPEN_RETRY_SYSTEM_INI = 10,
    OPEN_RETRY_SETUP_INI = 30,
    OPEN_RETRY_MESSAGE_LOG = 15,
    OPEN_RETRY_COMMS_LOG = 2,
    OPEN_RETRY_DEFAULT = -1,    // bit 15 set: the stored default
};

// Opens path as a stream with the sharing its mode asks for:
//   r  read, others may read and write      r+ read/write, no sharing
//   w  write, create, truncate, no sharing  w+ read/write, create, truncate
//   a  append, create, others may read      a+ read/append, create, others may read
//   c  create, fail if it exists, no sharing (stream "w"); c+ likewise read/write
// The letter must come first; an optional t (text) or b (binary) follows,
// binary when neither is given. While the file is held by another process
// (a share conflict; an access denied is no reason to wait) the open is
// retried every default tick until retrySeconds have passed; any other
// failure gives null at once. A stream opened to append stands at the end of
// the file. A retry value with bit 15 set takes the stored default; a call
// without a path only stores retrySeconds as that default and returns null.
FILE *OpenFileShared(int16_t retrySeconds, const char *path, const char *mode);
// The system error number of the last failed OpenFileShared (0 when none).
int OpenFileSharedError(void);

// The rules above as the shared library's parser takes them (for tests).
extern const TvOpenRules g_serverOpenRules;

#endif
