// The client's error-log codes, shared by the store, composing and the
// shell's calls into them.
#ifndef TAVRINE_CLIENT_STORE_LOGCODES_H
#define TAVRINE_CLIENT_STORE_LOGCODES_H

#include <cstdint>

// Error-log codes of the client.
enum : uint16_t {
    TV_LOG_DELETE = 0xF800,
    TV_LOG_CREATE = 0xF801,
    TV_LOG_EDIT = 0xF802,
    TV_LOG_REPLACE = 0xF803,
    TV_LOG_OPEN = 0xF804,
    TV_LOG_ACCESS = 0xF805,
    TV_LOG_MISSING = 0xF806,
    TV_LOG_BAD_ENTRY = 0xF807,
    TV_LOG_MEMORY = 0xF808,
    TV_LOG_LOCKED = 0xF809,
    TV_LOG_WRITE = 0xF80A,
    TV_LOG_NOECHO = 0xFFFF,
};

#endif
