#include "client/shell/shelltext.h"

#include <cctype>
#include <cstring>

namespace {
int Up(char c) { return std::toupper(static_cast<unsigned char>(c)); }
} // namespace

void CopyCut(char *out, size_t size, const char *src)
{
    if (!size)
        return;
    size_t n = std::strlen(src);
    if (n > size - 1)
        n = size - 1;
    std::memcpy(out, src, n);
    out[n] = '\0';
}

void UpperCase(char *s)
{
    for (; *s; ++s)
        *s = static_cast<char>(Up(*s));
}

bool StartsNoCase(const char *s, const char *prefix)
{
    for (; *prefix; ++s, ++prefix)
        if (Up(*s) != Up(*prefix))
            return false;
    return true;
}

bool EqualNoCaseN(const char *a, const char *b, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (Up(a[i]) != Up(b[i]))
            return false;
    return true;
}

bool EqualsNoCase(const char *a, const char *b) { return std::strlen(a) == std::strlen(b) && StartsNoCase(a, b); }
