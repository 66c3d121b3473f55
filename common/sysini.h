// Finding the directory of the system INI file "TAVRINE.INI" at start-up.
#ifndef TAVRINE_COMMON_SYSINI_H
#define TAVRINE_COMMON_SYSINI_H

#include <cstddef>
#include <cstdint>

// Size of a directory buffer that takes every directory LocateIniFile gives.
enum { TV_INI_DIR_SIZE = 256 };

// Looks for "TAVRINE.INI" in the directories of the environment variable
// TFAXINIT (a ';' list), then INIT, PATH, the Windows directory and the
// current directory (511 characters of list in all). Gives in dir (dirSize
// bytes) the first directory that holds it, upper-cased and ending in '\';
// a directory that would not fit dir is passed over. 0, or -4072 when no
// directory holds the file.
int16_t LocateIniFile(char* dir, size_t dirSize);

// Where the search list and the file test come from; LocateIniFile uses the
// platform's own.
struct TvIniSources {
    void* context;
    bool (*getEnv)(void* context, const char* name, char* out, size_t size);
    bool (*windowsDir)(void* context, char* out, size_t size);
    bool (*currentDir)(void* context, char* out, size_t size);
    bool (*fileExists)(void* context, const char* path);
};
int16_t LocateIniFileWith(const TvIniSources* sources, char* dir, size_t dirSize);

#endif
