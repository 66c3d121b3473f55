// The portable part of the platform layer: helpers built on the backend's
// calls (platform_win.cpp or platform_posix.cpp), the same on every system.
#include "common/platform.h"

#include <cstring>

bool TvIsPathSep(char c)
{
    return c == '\\' || c == '/';
}

bool TvJoinPath(char* out, size_t size, const char* dir, const char* name)
{
    if (!out || size == 0)
        return false;
    out[0] = 0;
    if (!dir || !name)
        return false;
    size_t a = std::strlen(dir), b = std::strlen(name);
    bool separator = a > 0 && !TvIsPathSep(dir[a - 1]);
    size_t total = a + (separator ? 1 : 0) + b;
    if (total + 1 > size)
        return false;
    std::memcpy(out, dir, a);
    if (separator)
        out[a++] = TvPathSep();
    std::memcpy(out + a, name, b + 1);
    return true;
}

FILE* TvPlatOpenRead(const char* path)
{
    return TvPlatOpen(path, TV_ACCESS_READ, TV_OPEN_EXISTING, TV_DENY_NONE, false, "rb", nullptr, nullptr);
}
