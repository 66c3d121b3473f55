// Whole-file reads and writes for tests that set up and inspect the files
// the system's programs exchange.
#ifndef TAVRINE_TESTS_SUPPORT_TESTFILES_H
#define TAVRINE_TESTS_SUPPORT_TESTFILES_H

#include <cstdio>
#include <string>

// The file's bytes as they are; empty when it cannot be read.
inline std::string ReadWholeFile(const std::string &path)
{
    std::string s;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return s;
    char buf[8192];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    std::fclose(f);
    return s;
}

// Replaces the file with the given bytes; false when it cannot be written whole.
inline bool WriteWholeFile(const std::string &path, const std::string &data)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

// A temporary read/write stream holding the bytes, positioned at the start
// (null when none can be made). The caller closes it.
inline FILE *TempStreamOf(const std::string &bytes)
{
    FILE *f = std::tmpfile();
    if (!f)
        return nullptr;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        std::fclose(f);
        return nullptr;
    }
    std::rewind(f);
    return f;
}

// Everything in the stream from its start.
inline std::string StreamText(FILE *f)
{
    std::string s;
    std::rewind(f);
    char buf[8192];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    return s;
}

#endif
