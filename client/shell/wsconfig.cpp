#include "client/shell/wsconfig.h"

#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "client/shell/shelltext.h"
#include "common/ctlfile.h"
#include "common/formats.h"
#include "common/sharedfile.h"

namespace {

const char kFunction[] = "ReadIniFiles";
const char kStartLine[] = "--------------------";
const char kWorkstation[] = "[WORKSTATION]";
const char kWorkstation1[] = "[WORKSTATION-1]";
const char kServer[] = "[SERVER]";
const char kUserTemplate[] = "USERS\\%NAME%\\";
const char kSystemDir[] = "SYSTEM\\";
const char kRequestDir[] = "REQUEST\\";
const char kServerProgram[] = "TSERVER.EXE";
// A request area from FileArea: gets REQUEST\ only while this short.
enum { REQUEST_FROM_FILE_AREA_MAX = 248 };
enum { DEFAULT_STATUS_TIMER = 10, DEFAULT_SPOOL_CHECK_TIMER = 5, SERVER_TIMER_FACTOR = 10 };




// How a keyed setting is read.
enum KeyKind {
    KEY_FLAG_NOT_NO,  // on unless the value begins with NO
    KEY_FLAG_YES,     // on only when the value begins with YES
    KEY_TEXT,         // the value cut to the width; present and empty gives empty
    KEY_TEXT_UPPER,   // the same, upper case
    KEY_INT_PRINTF,   // "%d"; missing, empty or no number gives the default
    KEY_INT16,        // a 16-bit integer when present with a value
    KEY_FORMAT,       // a program format name
};

struct KeyRow {
    const char *key;
    KeyKind kind;
    bool selected;      // read from the selected paragraph
    size_t offset;      // into TvWorkstationConfig
    size_t width;       // text buffer size
    int defaultValue;   // flags and numbers
    const char *defaultText;
};

#define CFG(field) offsetof(TvWorkstationConfig, field), sizeof(TvWorkstationConfig::field)

// Read before the server is tested: from [WORKSTATION].
const KeyRow kEarlyKeys[] = {
    {"CheckServer:", KEY_FLAG_NOT_NO, false, CFG(checkServer), 1, nullptr},
    {"InvertTWAIN:", KEY_FLAG_NOT_NO, false, CFG(invertTwain), 0, nullptr},
    {"EnableScanner:", KEY_FLAG_YES, false, CFG(enableScanner), 0, nullptr},
    {"ShowTWAIN:", KEY_FLAG_NOT_NO, false, CFG(showTwain), 1, nullptr},
    {"Decode:", KEY_TEXT, false, CFG(decode), 0, ""},
    {"DecodeFormat:", KEY_FORMAT, false, CFG(decodeFormat), FMT_TIFF_FINE, nullptr},
    {"OCR:", KEY_TEXT, false, CFG(ocr), 0, ""},
    {"OCRFormat:", KEY_FORMAT, false, CFG(ocrFormat), FMT_TIFF_FINE, nullptr},
};

// Read once the paragraph is selected.
const KeyRow kLateKeys[] = {
    {"ShowDashes:", KEY_FLAG_NOT_NO, false, CFG(showDashes), 0, nullptr},
    {"Spool:", KEY_TEXT_UPPER, false, CFG(spool), 0, "~TAVRINE"},
    {"Redirect:", KEY_TEXT_UPPER, false, CFG(redirect), 0, "LPT1"},
    {"StatusTimer:", KEY_INT_PRINTF, true, CFG(statusTimer), DEFAULT_STATUS_TIMER, nullptr},
    {"CheckNewTimer:", KEY_INT16, true, CFG(checkNewTimer), TV_TIMER_UNSET, nullptr},
    {"CheckIdleNewTimer:", KEY_INT16, true, CFG(checkIdleNewTimer), TV_TIMER_UNSET, nullptr},
    {"CheckWaitingTimer:", KEY_INT16, true, CFG(checkWaitingTimer), TV_TIMER_UNSET, nullptr},
    {"CheckIdleWaitingTimer:", KEY_INT16, true, CFG(checkIdleWaitingTimer), TV_TIMER_UNSET, nullptr},
    {"CheckServerTimer:", KEY_INT16, true, CFG(checkServerTimer), TV_TIMER_UNSET, nullptr},
    {"SpoolCheckTimer:", KEY_INT16, true, CFG(spoolCheckTimer), DEFAULT_SPOOL_CHECK_TIMER, nullptr},
    {"Help:", KEY_TEXT, true, CFG(help), 0, "TAVRINE.HLP"},
    {"FileArea:", KEY_TEXT, true, CFG(fileArea), 0, ""},
    {"DefaultUser:", KEY_TEXT, true, CFG(defaultUser), 0, ""},
};

#undef CFG

void ApplyRow(FILE *f, int32_t para, const KeyRow &row, TvWorkstationConfig *cfg)
{
    char *base = reinterpret_cast<char *>(cfg) + row.offset;
    char value[TV_LINE_SIZE];
    const bool found = GetStringEntry(f, row.key, value, sizeof value, para) == 1;
    switch (row.kind) {
    case KEY_FLAG_NOT_NO:
    case KEY_FLAG_YES: {
        bool on = row.defaultValue != 0;
        if (found)
            on = row.kind == KEY_FLAG_NOT_NO ? FlagNotNo(value) : FlagYes(value);
        *reinterpret_cast<bool *>(base) = on;
        break;
    }
    case KEY_TEXT:
    case KEY_TEXT_UPPER:
        CopyCut(base, row.width, found ? value : row.defaultText);
        if (row.kind == KEY_TEXT_UPPER)
            UpperCase(base);
        break;
    case KEY_INT_PRINTF: {
        int n = 0;
        int16_t v = static_cast<int16_t>(row.defaultValue);
        if (found && std::sscanf(value, "%d", &n) == 1)
            v = static_cast<int16_t>(n);
        *reinterpret_cast<int16_t *>(base) = v;
        break;
    }
    case KEY_INT16: {
        int16_t v = static_cast<int16_t>(row.defaultValue);
        GetIntEntry(f, row.key, &v, para);
        *reinterpret_cast<int16_t *>(base) = v;
        break;
    }
    case KEY_FORMAT:
        *reinterpret_cast<int16_t *>(base) =
            found ? ProgramFormatFromName(value) : static_cast<int16_t>(row.defaultValue);
        break;
    }
}

struct NetworkRow {
    const char *prefix;
    int type;
};
// Tested in this order: NETBIOSX before NETBIOS.
const NetworkRow kNetworks[] = {
    {"Primary", 6}, {"Secondary", 7}, {"Tertiary", 8}, {"Other", 1},   {"LanManager", 2},
    {"WFW", 3},     {"Netware", 4},   {"NETBIOSX", 5}, {"NETBIOS", 1}, {"NONE", 1},
};
const NetworkRow kMailSystems[] = {{"NONE", 0}, {"VIM", 1}, {"MAPI", 2}, {"CMC", 3}};
enum { MAIL_MAPI = 2, MAIL_NONE = 0, NETWORK_OTHER = 1 };

int Fail(const TvConfigContext *ctx, FILE *f, const char *what, const char *iniPath)
{
    std::fclose(f);
    WriteErrorLog(ctx->log, TV_LOG_ENTRY, kFunction, what, iniPath);
    return TV_CFG_LOGGED_ERROR;
}

// RequestArea:, else FileArea: + REQUEST\ of the paragraph at para.
bool ReadRequestArea(FILE *f, int32_t para, TvWorkstationConfig *cfg)
{
    char value[TV_LINE_SIZE];
    bool fromFileArea = false;
    if (GetStringEntry(f, "RequestArea:", value, sizeof value, para) != 1) {
        if (GetStringEntry(f, "FileArea:", value, sizeof value, para) != 1)
            return false;
        fromFileArea = true;
    }
    StoreDirectory(value, cfg->requestArea, sizeof cfg->requestArea);
    if (fromFileArea && std::strlen(cfg->requestArea) <= REQUEST_FROM_FILE_AREA_MAX)
        std::strcat(cfg->requestArea, kRequestDir);
    return true;
}

void TestServer(const TvConfigContext *ctx, TvWorkstationConfig *cfg)
{
    cfg->serverRunning = TvShellServerAvailable(ctx->hooks, cfg->requestArea) == 1;
}

// The directories under a user or group directory.
bool FillDirectories(const char *templ, const char *name, char (*dirs)[TV_AREA_MAX + 1], const int *ids, int count)
{
    char base[TV_AREA_MAX + 1];
    if (!ExpandUserArea(templ, name, base, sizeof base))
        return false;
    for (int i = 0; i < count; ++i) {
        int n = std::snprintf(dirs[i], TV_AREA_MAX + 1, "%s%s", base, ShellString(ids[i]));
        if (n < 0 || n > TV_AREA_MAX)
            return false;
        UpperCase(dirs[i]);
    }
    return true;
}

} // namespace

bool FlagNotNo(const char *value) { return !StartsNoCase(value ? value : "", "NO"); }
bool FlagYes(const char *value) { return StartsNoCase(value ? value : "", "YES"); }

int NetworkTypeFromValue(const char *value)
{
    for (const NetworkRow &r : kNetworks)
        if (value && StartsNoCase(value, r.prefix))
            return r.type;
    return 0;
}

int MailSystemFromValue(const char *value)
{
    for (const NetworkRow &r : kMailSystems)
        if (value && StartsNoCase(value, r.prefix))
            return r.type;
    return -1;
}

int16_t ProgramFormatFromName(const char *value)
{
    int16_t code = (value && *value) ? FormatFromName(value) : static_cast<int16_t>(FMT_INVALID);
    switch (code) {
    case FMT_TIFF_NORMAL:
    case FMT_TIFF_FINE:
    case FMT_TIFF_SUPERFINE:
        return code;
    case FMT_BMP_UNCOMPRESSED:
    case FMT_PCX:
    case FMT_DCX:
        return IsConvertibleFormat(code) ? code : static_cast<int16_t>(FMT_TIFF_FINE);
    default:
        return FMT_TIFF_FINE;
    }
}

bool ParseWindowPlacement(const char *value, TvWindowPlacement *out)
{
    TvWindowPlacement p{};
    if (!value || std::sscanf(value, "%c %d %d %d %d %d %d", &p.state, &p.screenWidth, &p.left, &p.right,
                              &p.screenHeight, &p.top, &p.bottom) != 7)
        return false;
    *out = p;
    return true;
}

bool PlacementFits(const TvWindowPlacement &p, int screenWidth, int screenHeight)
{
    return p.screenWidth == screenWidth && p.screenHeight == screenHeight && 0 <= p.left && p.left < p.right &&
           p.right <= screenWidth && 0 <= p.top && p.top < p.bottom && p.bottom <= screenHeight;
}

bool StoreDirectory(const char *value, char *out, size_t size)
{
    size_t n = std::strlen(value);
    bool addSep = n == 0 || value[n - 1] != '\\';
    if (n + (addSep ? 1 : 0) + 1 > size) {
        out[0] = '\0';
        return false;
    }
    std::memcpy(out, value, n);
    if (addSep)
        out[n++] = '\\';
    out[n] = '\0';
    UpperCase(out);
    return true;
}

bool ExpandUserArea(const char *templ, const char *name, char *out, size_t size)
{
    char buf[2 * TV_LINE_SIZE];
    const char *pct = std::strchr(templ, '%');
    size_t lead = pct ? static_cast<size_t>(pct - templ) : std::strlen(templ);
    if (lead >= sizeof buf)
        return false;
    std::memcpy(buf, templ, lead);
    buf[lead] = '\0';
    const char *rest = templ + lead;
    if (pct && StartsNoCase(pct, "%NAME%")) {
        std::snprintf(buf + lead, sizeof buf - lead, "%s", name);
        rest = pct + 6;
    } else if (pct && StartsNoCase(pct, "%USERNAME%")) {
        std::snprintf(buf + lead, sizeof buf - lead, "%s", name);
        rest = pct + 10;
    }
    size_t have = std::strlen(buf);
    if (have + std::strlen(rest) >= sizeof buf)
        return false;
    std::strcat(buf, rest);
    have = std::strlen(buf);
    if (have == 0 || buf[have - 1] != '\\') {
        if (have + 1 >= sizeof buf)
            return false;
        std::strcat(buf, "\\");
    }
    if (std::strlen(buf) >= size)
        return false;
    std::strcpy(out, buf);
    return true;
}

void ResolveCheckTimers(TvWorkstationConfig *cfg)
{
    if (cfg->checkNewTimer < 0)
        cfg->checkNewTimer = cfg->statusTimer;
    if (cfg->checkIdleNewTimer < 0)
        cfg->checkIdleNewTimer = cfg->checkNewTimer;
    if (cfg->checkWaitingTimer < 0)
        cfg->checkWaitingTimer = cfg->statusTimer;
    if (cfg->checkIdleWaitingTimer < 0)
        cfg->checkIdleWaitingTimer = cfg->checkWaitingTimer;
    if (cfg->checkServerTimer < 0)
        cfg->checkServerTimer = static_cast<int16_t>(SERVER_TIMER_FACTOR * cfg->statusTimer);
}

int ReadWorkstationConfig(const char *iniPath, const TvConfigContext *ctx, TvWorkstationConfig *cfg,
                          TvIdentity *id)
{
    std::memset(cfg, 0, sizeof *cfg);
    cfg->serverRunning = cfg->serverAccessible = true;
    FILE *f = OpenSharedRetry(iniPath, "rb");
    if (!f)
        return TV_CFG_CANNOT_OPEN;
    char line[TV_LINE_SIZE];
    int32_t ws = 0;
    if (!FindParagraph(f, kWorkstation, line, sizeof line, &ws)) {
        std::fclose(f);
        return TV_CFG_NO_WORKSTATION;
    }
    char value[TV_LINE_SIZE];
    if (GetStringEntry(f, "LogArea:", value, sizeof value, ws) != 1) {
        std::fclose(f);
        return TV_CFG_NO_LOG_AREA;
    }
    StoreDirectory(value, cfg->logArea, sizeof cfg->logArea);
    ErrorLogInit(ctx->log, cfg->logArea, ctx->hooks);
    WriteErrorLog(ctx->log, TV_LOG_ONLY, kStartLine, "%s",
                  ctx->viewer ? "Tavrine viewer started" : "Tavrine program started");

    for (const KeyRow &row : kEarlyKeys)
        ApplyRow(f, ws, row, cfg);
    if (!ReadRequestArea(f, ws, cfg))
        return Fail(ctx, f, "Cannot find [WORKSTATION] RequestArea: entry in %s", iniPath);

    // The secondary server, when the primary cannot be reached.
    int32_t selected = ws;
    bool available = false;
    if (cfg->checkServer && cfg->serverRunning && cfg->serverAccessible) {
        TestServer(ctx, cfg);
        available = cfg->serverRunning;
    }
    if (!available) {
        cfg->serverRunning = cfg->serverAccessible = true;
        int32_t ws1 = 0, server = 0;
        std::rewind(f);
        if (FindParagraph(f, kWorkstation1, line, sizeof line, &ws1)) {
            selected = ws1;
            std::rewind(f);
            bool haveServer = FindParagraph(f, kServer, line, sizeof line, &server) == 1;
            bool useSecondary = false;
            if (!haveServer) {
                useSecondary = TvShellAsk(ctx->hooks, ShellString(405));
            } else {
                if (!ReadRequestArea(f, ws1, cfg))
                    return Fail(ctx, f, "Cannot find [WORKSTATION-1] RequestArea: entry in %s", iniPath);
                TestServer(ctx, cfg);
                if (cfg->serverRunning) {
                    useSecondary = true;
                } else if (cfg->serverAccessible && TvShellAsk(ctx->hooks, ShellString(404))) {
                    char area[TV_LINE_SIZE + sizeof kServerProgram + 1];
                    if (GetStringEntry(f, "ServerArea:", value, sizeof value, server) != 1)
                        return Fail(ctx, f, "Cannot find [SERVER] ServerArea: entry in %s", iniPath);
                    size_t n = std::strlen(value);
                    std::snprintf(area, sizeof area, "%s%s%s", value, (n && value[n - 1] == '\\') ? "" : "\\",
                                  kServerProgram);
                    TvShellStart(ctx->hooks, area);
                    useSecondary = true;
                }
            }
            if (useSecondary) {
                if (!ReadRequestArea(f, ws1, cfg))
                    return Fail(ctx, f, "Cannot find [WORKSTATION-1] RequestArea: entry in %s", iniPath);
                TestServer(ctx, cfg);
            } else {
                selected = ws;
            }
        }
    }
    cfg->secondarySelected = selected != ws;

    for (const KeyRow &row : kLateKeys)
        ApplyRow(f, row.selected ? selected : ws, row, cfg);

    if (GetStringEntry(f, "Window:", value, sizeof value, ws) == 1 &&
        ParseWindowPlacement(value, &cfg->placement)) {
        cfg->placementSaved = true;
        cfg->startMaximised = cfg->placement.state == 'Z' || cfg->placement.state == 'z';
        int w = 0, h = 0;
        cfg->useSavedPlacement =
            TvShellScreen(ctx->hooks, &w, &h) && PlacementFits(cfg->placement, w, h);
    }

    if (cfg->fileArea[0])
        StoreDirectory(cfg->fileArea, cfg->fileArea, sizeof cfg->fileArea);
    if (GetStringEntry(f, "SystemArea:", value, sizeof value, selected) == 1) {
        StoreDirectory(value, cfg->systemArea, sizeof cfg->systemArea);
    } else if (cfg->fileArea[0]) {
        if (std::strlen(cfg->fileArea) + sizeof kSystemDir > sizeof cfg->systemArea)
            return Fail(ctx, f, "Invalid [WORKSTATION] FileArea: entry in %s", iniPath);
        std::strcpy(cfg->systemArea, cfg->fileArea);
        std::strcat(cfg->systemArea, kSystemDir);
    } else {
        return Fail(ctx, f, "Cannot find [WORKSTATION] SystemArea: entry in %s", iniPath);
    }

    if (GetStringEntry(f, "Network:", value, sizeof value, selected) != 1)
        return Fail(ctx, f, "Cannot find [WORKSTATION] Network: entry in %s", iniPath);
    cfg->network = NetworkTypeFromValue(value);
    if (cfg->network == 0)
        return Fail(ctx, f, "Invalid [WORKSTATION] Network: entry in %s", iniPath);

    CopyCut(id->defaultUser, sizeof id->defaultUser, cfg->defaultUser);
    if (!IdentifyUser(id, cfg->systemArea, cfg->network, ctx->hooks)) {
        if (ctx->quietStart) {
            std::fclose(f);
            return TV_CFG_END_SILENTLY;
        }
        char text[128];
        char env[8];
        if (id->networkName[0] && std::strcmp(id->networkName, "?") != 0) {
            std::snprintf(text, sizeof text, "%s%s", ShellString(270), id->networkName);
            TvShellBox(ctx->hooks, text, TV_BOX_EXCLAMATION, true);
        } else if (!id->networkName[0]) {
            bool noUserName = cfg->network == NETWORK_OTHER && !TvPlatGetEnv("USERNAME", env, sizeof env);
            TvShellBox(ctx->hooks, ShellString(noUserName ? 271 : 233), TV_BOX_EXCLAMATION, true);
        }
        if (TvShellLogin(ctx->hooks) != 0) {
            std::fclose(f);
            return TV_CFG_END_SILENTLY;
        }
    }

    if (GetStringEntry(f, "Mail:", value, sizeof value, selected) == 1 && value[0]) {
        cfg->mail = MailSystemFromValue(value);
        if (cfg->mail < 0)
            return Fail(ctx, f, "Invalid [WORKSTATION] Mail: entry in %s", iniPath);
    } else {
        cfg->mail = TvShellMapi(ctx->hooks) != 0 ? MAIL_MAPI : MAIL_NONE;
    }

    static const int kUserDirIds[] = {30, 31, 32, 33};
    static const int kGroupDirIds[] = {30, 33};
    char templ[TV_LINE_SIZE * 2];
    if (GetStringEntry(f, "UserArea:", value, sizeof value, selected) == 1) {
        CopyCut(templ, sizeof templ, value);
    } else if (cfg->fileArea[0]) {
        std::snprintf(templ, sizeof templ, "%s%s", cfg->fileArea, kUserTemplate);
    } else {
        return Fail(ctx, f, "Cannot find [WORKSTATION] UserArea: entry in %s", iniPath);
    }
    if (!FillDirectories(templ, id->userName, cfg->userDirs, kUserDirIds, 4))
        return Fail(ctx, f, "Invalid [WORKSTATION] UserArea: entry in %s", iniPath);

    if (id->group[0]) {
        bool haveTemplate = true;
        if (GetStringEntry(f, "GroupArea:", value, sizeof value, ws) == 1 ||
            GetStringEntry(f, "UserArea:", value, sizeof value, ws) == 1)
            CopyCut(templ, sizeof templ, value);
        else if (cfg->fileArea[0])
            std::snprintf(templ, sizeof templ, "%s%s", cfg->fileArea, kUserTemplate);
        else
            haveTemplate = false;
        if (haveTemplate && !FillDirectories(templ, id->group, cfg->groupDirs, kGroupDirIds, 2))
            return Fail(ctx, f, "Invalid [WORKSTATION] GroupArea: entry in %s", iniPath);
    }
    std::fclose(f);
    return TV_CFG_OK;
}

int ReportConfigResult(int result, const char *iniPath, const TvShellHooks *hooks)
{
    if (result == TV_CFG_OK)
        return 1;
    if (result != TV_CFG_END_SILENTLY) {
        char text[400];
        std::snprintf(text, sizeof text, "%s%s", ShellString(227), iniPath);
        TvShellBox(hooks, text, TV_BOX_EXCLAMATION, false);
    }
    return 0;
}
