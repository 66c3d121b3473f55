// System parameters and device kinds.
#include "server/runtime/sysparams.h"

#include <cstring>
#include <vector>

#include "common/ctlfile.h"
#include "common/formats.h"
#include "common/sysini.h"
#include "server/runtime/consoleio.h"
#include "server/runtime/sharedopen.h"
#include "server/runtime/srvlog.h"

SystemParameters g_sysParams = {"", "", "", "", "", "", 0, "", "[SERVER]", "[DEVICES]"};

void ResetSystemParameters(void)
{
    std::memset(&g_sysParams, 0, sizeof g_sysParams);
    std::snprintf(g_sysParams.serverParagraph, sizeof g_sysParams.serverParagraph, "%s", "[SERVER]");
    std::snprintf(g_sysParams.devicesParagraph, sizeof g_sysParams.devicesParagraph, "%s", "[DEVICES]");
    SetLogServiceMode(false);
}

// ---------------------------------------------------------------- arguments
// Copies at most size-1 characters of text.
static void CopyTrunc(char *out, size_t size, const char *text)
{
    size_t n = 0;
    while (text[n] && n + 1 < size)
        ++n;
    std::memcpy(out, text, n);
    out[n] = '\0';
}

static bool EqualNoCase(const char *a, const char *b)
{
    for (; *a && *b; ++a, ++b) {
        char x = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 32) : *a;
        char y = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 32) : *b;
        if (x != y)
            return false;
    }
    return *a == *b;
}

void ParseServerArguments(int argc, char **argv, int *outCount, char ***outArgv)
{
    static std::vector<char *> rest;
    rest.clear();
    int paragraphs = 0;
    for (int i = 0; i < argc && argv && argv[i]; ++i) {
        const char *a = argv[i];
        if (i > 0 && a[0] == '[') {
            char *target = paragraphs == 0 ? g_sysParams.serverParagraph
                           : paragraphs == 1 ? g_sysParams.devicesParagraph
                                             : nullptr;
            if (target)
                CopyTrunc(target, SYS_PARAGRAPH_MAX + 1, a);
            ++paragraphs;
        } else if (i > 0 && EqualNoCase(a, "/SERVICE")) {
            SetLogServiceMode(true);
        } else {
            rest.push_back(argv[i]);
        }
    }
    rest.push_back(nullptr);
    if (outCount)
        *outCount = static_cast<int>(rest.size()) - 1;
    if (outArgv)
        *outArgv = rest.data();
}

// ---------------------------------------------------------------- reading
static const char kSystemIni[] = "TAVRINE.INI";

// Copies an area value into out with a final '\'; false when it does not fit.
static bool SetArea(char *out, size_t size, const char *value)
{
    size_t n = std::strlen(value);
    bool slash = n > 0 && value[n - 1] == '\\';
    if (n + (slash ? 0 : 1) + 1 > size)
        return false;
    std::memcpy(out, value, n);
    if (n > 0 && !slash)
        out[n++] = '\\';
    out[n] = '\0';
    return true;
}

// Reads one required area; logs and returns false when the line is missing.
static bool ReadArea(FILE *f, int32_t para, const char *key, char *out, size_t size, const char *iniPath)
{
    char value[TV_LINE_SIZE];
    if (!GetStringEntry(f, key, value, sizeof value, para) || !value[0] || !SetArea(out, size, value)) {
        char name[32];
        std::snprintf(name, sizeof name, "%.*s", static_cast<int>(std::strlen(key) - 1), key);
        LogMessage(6, "%s line missing from %s file", name, iniPath);
        out[0] = '\0';
        return false;
    }
    return true;
}

static bool HasDirectory(const char *name) { return std::strchr(name, '\\') || std::strchr(name, ':'); }

static void ReadOptions(FILE *setup)
{
    char line[TV_LINE_SIZE];
    int32_t para = 0;
    char logName[TV_LINE_SIZE] = "SERVER.LOG";
    g_sysParams.logKeepDays = 0;
    GetWindowsLanguage(g_sysParams.language, sizeof g_sysParams.language);
    if (FindParagraph(setup, "[OPTIONS]", line, sizeof line, &para)) {
        char value[TV_LINE_SIZE];
        if (GetStringEntry(setup, "LogFile:", value, sizeof value, para) && value[0])
            CopyTrunc(logName, sizeof logName, value);
        int16_t days = 0;
        if (GetIntEntry(setup, "LogKeepDays:", &days, para))
            g_sysParams.logKeepDays = days > 0 ? static_cast<uint16_t>(days) : 0;
        if (GetStringEntry(setup, "Language:", value, sizeof value, para) && value[0])
            CopyTrunc(g_sysParams.language, sizeof g_sysParams.language, value);
    }
    const char *area = HasDirectory(logName) ? "" : g_sysParams.serverArea;
    const char *db = HasDirectory(logName) ? "" : "T-DB\\";
    if (std::strlen(area) + std::strlen(db) + std::strlen(logName) + 5 > SYS_LOGFILE_MAX) {
        LogMessage(6, "Invalid log file name '%s%s%s'", area, db, logName);
        g_sysParams.logFile[0] = '\0';
    } else {
        g_sysParams.logFile[0] = '\0';
        std::strcat(g_sysParams.logFile, area);
        std::strcat(g_sysParams.logFile, db);
        std::strcat(g_sysParams.logFile, logName);
    }
}

TvStatus ReadSystemParameters(FILE **setupIni)
{
    char dir[TV_INI_DIR_SIZE];
    if (LocateIniFile(dir, sizeof dir) != 0) {
        LogMessage(6, "ERROR - File %s not found", kSystemIni);
        if (setupIni)
            *setupIni = nullptr;
        return TV_E_NOINI;
    }
    return ReadSystemParametersFrom(dir, setupIni);
}

TvStatus ReadSystemParametersFrom(const char *iniDir, FILE **setupIni)
{
    if (setupIni)
        *setupIni = nullptr;
    char iniPath[SYS_PATH_MAX + sizeof kSystemIni + 1];
    std::snprintf(iniPath, sizeof iniPath, "%s%s", iniDir ? iniDir : "", kSystemIni);
    FILE *f = OpenFileShared(OPEN_RETRY_SYSTEM_INI, iniPath, "rt");
    if (!f) {
        LogMessage(6, "ERROR - Can't open file %s", iniPath);
        return TV_E_IO;
    }
    char line[TV_LINE_SIZE];
    int32_t para = 0;
    if (!FindParagraph(f, "[SERVER]", line, sizeof line, &para)) {
        std::rewind(f);
        if (!FindParagraph(f, "[SERVER-WKN]", line, sizeof line, &para)) {
            std::fclose(f);
            LogMessage(6, "ERROR - [SERVER] Paragraph missing from %s file", iniPath);
            return TV_E_NOSERVERPARA;
        }
    }
    bool ok = ReadArea(f, para, "ServerArea:", g_sysParams.serverArea, sizeof g_sysParams.serverArea, iniPath);
    ok = ReadArea(f, para, "SystemArea:", g_sysParams.systemArea, sizeof g_sysParams.systemArea, iniPath) && ok;
    ok = ReadArea(f, para, "AllUserArea:", g_sysParams.allUserArea, sizeof g_sysParams.allUserArea, iniPath) && ok;
    ok = ReadArea(f, para, "RequestArea:", g_sysParams.requestArea, sizeof g_sysParams.requestArea, iniPath) && ok;
    char value[TV_LINE_SIZE];
    if (!(GetStringEntry(f, "MailArea:", value, sizeof value, para) && value[0] &&
          SetArea(g_sysParams.mailArea, sizeof g_sysParams.mailArea, value))) {
        g_sysParams.mailArea[0] = '\0';
        if (std::strlen(g_sysParams.serverArea) + 7 <= SYS_PATH_MAX) {
            std::strcat(g_sysParams.mailArea, g_sysParams.serverArea);
            std::strcat(g_sysParams.mailArea, "T-MAIL\\");
        }
    }
    std::fclose(f);
    if (!ok)
        return TV_E_NOAREA;

    char setupPath[SYS_PATH_MAX + 32];
    std::snprintf(setupPath, sizeof setupPath, "%sT-DB\\SETUP.INI", g_sysParams.systemArea);
    FILE *setup = OpenFileShared(OPEN_RETRY_SETUP_INI, setupPath, "rt");
    if (!setup) {
        LogMessage(6, "ERROR - Unable to open file %s", setupPath);
        return TV_E_NOSETUP;
    }
    ReadOptions(setup);
    if (setupIni) {
        std::rewind(setup);
        *setupIni = setup;
    } else {
        std::fclose(setup);
    }
    return TV_OK;
}

// ---------------------------------------------------------------- device kinds
const DeviceKindRow g_deviceKinds[] = {
    {"PANAFAX", 0x4000E05Cu, 0x00070000u},
    {"STT", 0x0000604Cu, 0x00030000u},
    {"WORLDPT", 0x0000000Cu, 0},
    {"FCLASS", 0x4000000Cu, 0},
    {"BTROUT", 0x4000000Cu, 0},
    {"GAMMA", 0x4000000Cu, 0},
    {"NETWORK", 0x01F80000u, 0},
    {"HPPRINT", 0, 0x00000C00u},
    {"PSPRINT", 0, 0x00000100u},
    {"PRINT", 0, 0x00070000u},
};
const size_t g_deviceKindCount = sizeof g_deviceKinds / sizeof g_deviceKinds[0];

static const DeviceKindRow *FindKind(const char *name)
{
    if (!name)
        return nullptr;
    for (size_t i = 0; i < g_deviceKindCount; ++i)
        if (EqualNoCase(g_deviceKinds[i].name, name))
            return &g_deviceKinds[i];
    return nullptr;
}

int LookupDeviceType(const char *name) { return FindKind(name) ? 1 : 0; }

uint32_t DeviceKindSendRoutes(const char *name)
{
    const DeviceKindRow *k = FindKind(name);
    return k ? k->sendRoutes : 0;
}

uint32_t DeviceKindPrintRoutes(const char *name)
{
    const DeviceKindRow *k = FindKind(name);
    return k ? k->printRoutes : 0;
}

uint16_t DeviceTypeFormat(uint16_t route)
{
    const DeviceTypeRow *row = FindDeviceType(static_cast<int16_t>(route));
    return row ? static_cast<uint16_t>(DeviceFormatOf(*row)) : 0;
}
