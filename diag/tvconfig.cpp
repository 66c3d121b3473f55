// tvconfig: shows where this machine's TAVRINE configuration lies and what it
// says. Locates TAVRINE.INI the way every program does (TFAXINIT, INIT, PATH,
// the Windows directory, the current directory), lists the server and
// workstation areas with whether each directory exists, the paragraphs of
// SETUP.INI and the accounts of USERLIST.INI. Exits 1 when something the
// programs need is missing.
#include <cstdio>
#include <cstring>

#include "common/ctlfile.h"
#include "common/platform.h"
#include "common/sharedfile.h"
#include "common/sysini.h"

static int g_problems;

// Prints one area of a paragraph: its value with a trailing backslash and
// whether the directory is there.
static void ShowArea(FILE *f, int32_t paraPos, const char *key, bool required, char *out, int outSize)
{
    out[0] = '\0';
    if (!GetStringEntry(f, key, out, outSize - 1, paraPos)) {
        std::printf("  %-13s (not set)%s\n", key, required ? "  <-- required" : "");
        if (required)
            ++g_problems;
        return;
    }
    size_t n = std::strlen(out);
    if (n > 0 && out[n - 1] != '\\') {
        out[n] = '\\';
        out[n + 1] = '\0';
    }
    bool hasTemplate = std::strchr(out, '%') != nullptr;
    bool exists = hasTemplate || TvPlatDirExists(out);
    std::printf("  %-13s %-40s %s\n", key, out, hasTemplate ? "(per user)" : exists ? "ok" : "MISSING");
    if (!exists)
        ++g_problems;
}

static char g_userArea[300];

// Expands a user area template ("T:\USERS\%NAME%\") for one user and checks
// the four directories of that user.
static void ShowUserDirectories(const char *name)
{
    char base[300];
    const char *pct = std::strchr(g_userArea, '%');
    if (!pct) {
        std::snprintf(base, sizeof base, "%s", g_userArea);
    } else {
        const char *rest = pct;
        if (_strnicmp(pct, "%NAME%", 6) == 0)
            rest = pct + 6;
        else if (_strnicmp(pct, "%USERNAME%", 10) == 0)
            rest = pct + 10;
        std::snprintf(base, sizeof base, "%.*s%s%s", static_cast<int>(pct - g_userArea), g_userArea,
                      rest == pct ? "" : name, rest);
    }
    static const char *const kSub[] = {"T-IN\\", "T-OUT\\", "T-GRAPH\\", "T-DB\\"};
    for (const char *sub : kSub) {
        char dir[340];
        std::snprintf(dir, sizeof dir, "%s%s", base, sub);
        bool ok = TvPlatDirExists(dir);
        std::printf("      %-40s %s\n", dir, ok ? "ok" : "MISSING");
        if (!ok)
            ++g_problems;
    }
}

static void ShowParagraphs(const char *path)
{
    FILE *f = OpenSharedRetry(path, "rb");
    if (!f) {
        std::printf("%s: cannot be opened\n", path);
        ++g_problems;
        return;
    }
    char line[281];
    char type[64] = "";
    if (FindParagraph(f, "[TAVRINE]", line, sizeof line, nullptr))
        GetStringEntry(f, "Type:", type, sizeof type, 0);
    std::printf("%s (Type: %s)\n", path, type[0] ? type : "?");
    std::fseek(f, 0, SEEK_SET);
    while (FindParagraph(f, nullptr, line, sizeof line, nullptr)) {
        if (std::strncmp(line, "[USER]", 6) == 0) {
            char name[16] = "";
            GetStringEntry(f, "Name:", name, sizeof name, 0);
            std::printf("  %s %s\n", line, name);
            if (g_userArea[0] && name[0])
                ShowUserDirectories(name);
        } else {
            std::printf("  %s\n", line);
        }
    }
    std::fclose(f);
}

int main()
{
    char dir[512];
    if (LocateIniFile(dir, sizeof dir) != 0) {
        std::printf("TAVRINE.INI not found (TFAXINIT, INIT, PATH, Windows directory, current directory)\n");
        return 1;
    }
    std::printf("TAVRINE.INI found in %s\n", dir);

    char ini[600];
    std::snprintf(ini, sizeof ini, "%sTAVRINE.INI", dir);
    FILE *f = OpenSharedRetry(ini, "rb");
    if (!f) {
        std::printf("%s cannot be opened\n", ini);
        return 1;
    }

    char line[281];
    char value[300];
    char systemArea[300] = "";
    int32_t pos = 0;
    if (FindParagraph(f, "[SERVER]", line, sizeof line, &pos)) {
        std::printf("[SERVER]\n");
        ShowArea(f, pos, "ServerArea:", true, value, sizeof value);
        ShowArea(f, pos, "SystemArea:", true, systemArea, sizeof systemArea);
        ShowArea(f, pos, "AllUserArea:", true, value, sizeof value);
        ShowArea(f, pos, "RequestArea:", true, value, sizeof value);
    } else {
        std::printf("[SERVER] paragraph missing\n");
        ++g_problems;
    }
    std::fseek(f, 0, SEEK_SET);
    if (FindParagraph(f, "[WORKSTATION]", line, sizeof line, &pos)) {
        std::printf("[WORKSTATION]\n");
        ShowArea(f, pos, "UserArea:", true, g_userArea, sizeof g_userArea);
        ShowArea(f, pos, "SystemArea:", true, value, sizeof value);
        ShowArea(f, pos, "RequestArea:", true, value, sizeof value);
        ShowArea(f, pos, "LogArea:", true, value, sizeof value);
        if (GetStringEntry(f, "DefaultUser:", value, sizeof value, pos))
            std::printf("  %-13s %s\n", "DefaultUser:", value);
        if (GetStringEntry(f, "Network:", value, sizeof value, pos))
            std::printf("  %-13s %s\n", "Network:", value);
    } else {
        std::printf("[WORKSTATION] paragraph missing\n");
        ++g_problems;
    }
    std::fclose(f);

    if (systemArea[0]) {
        char path[600];
        std::snprintf(path, sizeof path, "%sT-DB\\SETUP.INI", systemArea);
        ShowParagraphs(path);
        std::snprintf(path, sizeof path, "%sT-DB\\USERLIST.INI", systemArea);
        ShowParagraphs(path);
    }

    std::printf(g_problems ? "configuration: %d problem(s)\n" : "configuration: ok\n", g_problems);
    return g_problems ? 1 : 0;
}
