// Rewriting one entry of a control file in place: the part of the control-file
// syntax that needs shared file access.
#include "common/ctlfile.h"

#include <cstring>

#include "common/liblog.h"
#include "common/platform.h"
#include "common/sharedfile.h"

static int EqualsNoCaseAscii(const char *a, const char *b)
{
    for (; *a && *b; ++a, ++b) {
        char x = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 32) : *a;
        char y = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 32) : *b;
        if (x != y)
            return 0;
    }
    return *a == '\0' && *b == '\0';
}

int UpdateTempName(const char *path, char *out, int outSize)
{
    if (!path || !out || outSize <= 0)
        return 0;
    out[0] = '\0';
    size_t len = std::strlen(path);
    if (len == 0 || len > TV_UPDATE_PATH_MAX)
        return 0;
    const char *ext = FileExtension(path);
    size_t stem = len; // characters kept before the new extension
    const char *newExt = ".TMP";
    if (ext > path) {
        stem = static_cast<size_t>(ext - path) - 1; // up to the '.'
        if (EqualsNoCaseAscii(ext, "TMP"))
            newExt = ".TM2";
    }
    if (stem + 4 + 1 > static_cast<size_t>(outSize))
        return 0;
    std::memcpy(out, path, stem);
    std::memcpy(out + stem, newExt, 5);
    return 1;
}

static TvCopyBackFn g_copyBack = nullptr;

TvCopyBackFn SetUpdateCopyBack(TvCopyBackFn fn)
{
    TvCopyBackFn old = g_copyBack ? g_copyBack : CopyOpenFile;
    g_copyBack = fn;
    return old;
}

int UpdateFileEntry(const char *path, const char *para, const char *key, const char *value,
                    int moveToEnd)
{
    if (!para || !path)
        return 0;
    char temp[TV_UPDATE_PATH_MAX + 5];
    if (!UpdateTempName(path, temp, sizeof temp))
        return 0;

    FILE *file = OpenSharedRetry(path, "r+b");
    if (!file)
        return 0;
    FILE *tmp = OpenSharedRetry(temp, "w+b");
    if (!tmp) {
        std::fclose(file);
        return 0;
    }

    int ok = CopyReplacingEntry(file, tmp, para, key, value, moveToEnd);
    int copied = 0;
    int keepTemp = 0;
    if (ok && (std::ferror(file) || std::ferror(tmp)))
        ok = 0;
    if (ok && std::fflush(tmp) != 0)
        ok = 0;
    if (ok) {
        TvCopyBackFn copy = g_copyBack ? g_copyBack : CopyOpenFile;
        copied = 1;
        if (copy(tmp, file) != 0 || std::ferror(file) || std::ferror(tmp)) {
            // The file may be cut short now; the temporary file is the only
            // complete copy of the new contents.
            ok = 0;
            keepTemp = 1;
        }
    }

    int tmpClosed = std::fclose(tmp) == 0;
    // On a network drive a write that was held back can still fail here.
    if (std::fclose(file) != 0 && copied) {
        ok = 0;
        keepTemp = 1;
    }
    if (keepTemp) {
        if (tmpClosed)
            LibLog("UpdateFileEntry: copying the new contents back into %s failed; "
                   "the complete copy is kept in %s",
                   path, temp);
        else
            LibLog("UpdateFileEntry: copying the new contents back into %s failed, "
                   "and closing %s failed too",
                   path, temp);
    } else {
        TvPlatRemove(temp);
    }
    return ok;
}
