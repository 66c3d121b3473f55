#include "common/sysini.h"

#include <cstring>

#include "common/ctlfile.h"
#include "common/platform.h"
#include "common/status.h"

// The search list holds this many characters at most.
enum { TV_INI_LIST_MAX = 511 };
static const char kIniName[] = "TAVRINE.INI";

// Working size of one field: the longest field of the list, a '\' and the
// file name with its zero.
enum { TV_INI_WORK_SIZE = TV_INI_LIST_MAX + 1 + sizeof kIniName };

// Appends item and a ';' to the list, cut to the space left.
static void AddItem(char* list, const char* item)
{
    size_t used = std::strlen(list);
    size_t n = std::strlen(item);
    if (used + n > TV_INI_LIST_MAX)
        n = TV_INI_LIST_MAX - used;
    std::memcpy(list + used, item, n);
    used += n;
    if (used < TV_INI_LIST_MAX)
        list[used++] = ';';
    list[used] = 0;
}

static bool PlatGetEnv(void*, const char* name, char* out, size_t size) { return TvPlatGetEnv(name, out, size); }
static bool PlatWindowsDir(void*, char* out, size_t size) { return TvPlatWindowsDir(out, size); }
static bool PlatCurrentDir(void*, char* out, size_t size) { return TvPlatCurrentDir(out, size); }
static bool PlatFileExists(void*, const char* path) { return TvPlatFileExists(path); }

int16_t LocateIniFile(char* dir, size_t dirSize)
{
    static const TvIniSources platform = {nullptr, PlatGetEnv, PlatWindowsDir, PlatCurrentDir, PlatFileExists};
    return LocateIniFileWith(&platform, dir, dirSize);
}

int16_t LocateIniFileWith(const TvIniSources* sources, char* dir, size_t dirSize)
{
    if (dir && dirSize > 0)
        dir[0] = 0;
    if (!sources || !dir || dirSize == 0)
        return static_cast<int16_t>(TV_R_NOINI);

    char list[TV_INI_LIST_MAX + 1] = "";
    char item[TV_INI_LIST_MAX + 1];
    static const char* const kVariables[] = {"TFAXINIT", "INIT", "PATH"};
    for (const char* name : kVariables)
        if (sources->getEnv(sources->context, name, item, sizeof item))
            AddItem(list, item);
    if (sources->windowsDir(sources->context, item, sizeof item))
        AddItem(list, item);
    if (sources->currentDir(sources->context, item, sizeof item))
        AddItem(list, item);

    char field[TV_INI_WORK_SIZE];
    for (int i = 0; ListField(i, list, field, sizeof field); ++i) {
        size_t n = std::strlen(field);
        if (n == 0)
            continue;
        if (field[n - 1] != '\\') {
            if (n + 1 >= sizeof field)
                continue;
            field[n++] = '\\';
            field[n] = 0;
        }
        // The directory must fit the caller's buffer, and the file name the
        // working one.
        if (n + 1 > dirSize || n + sizeof kIniName > sizeof field)
            continue;
        for (size_t k = 0; k < n; ++k)
            if (field[k] >= 'a' && field[k] <= 'z')
                field[k] = static_cast<char>(field[k] - 'a' + 'A');
        std::memcpy(field + n, kIniName, sizeof kIniName);
        if (sources->fileExists(sources->context, field)) {
            field[n] = 0;
            std::memcpy(dir, field, n + 1);
            return 0;
        }
    }
    return static_cast<int16_t>(TV_R_NOINI);
}
