// Small text helpers the shell's readers share: bounded copies and the
// letter-case-blind comparisons of keys and values.
#ifndef TAVRINE_CLIENT_SHELL_SHELLTEXT_H
#define TAVRINE_CLIENT_SHELL_SHELLTEXT_H

#include <cstddef>

// src cut to size - 1 characters into out (size at least 1).
void CopyCut(char *out, size_t size, const char *src);
// Upper-cases s in place (7-bit letters).
void UpperCase(char *s);
// Whether s begins with prefix, letter case ignored.
bool StartsNoCase(const char *s, const char *prefix);
// Whether the first n characters of a and b agree, letter case ignored.
bool EqualNoCaseN(const char *a, const char *b, size_t n);
// Whether a and b are the same text, letter case ignored.
bool EqualsNoCase(const char *a, const char *b);

#endif
