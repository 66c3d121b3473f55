#include "client/shell/cmdline.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

// 7-bit white space only: bytes above 127 belong to names.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

bool EndsWord(char c) { return c == '\0' || c == '/' || IsBlank(c); }

} // namespace

int ParseCommandLineText(const char *line, TvCommandLine *out)
{
    std::memset(out, 0, sizeof *out);
    if (!line)
        return 1;
    const char *p = line;
    bool haveFile = false;
    while (*p) {
        if (IsBlank(*p)) {
            ++p;
            continue;
        }
        if (*p == '/' && p[1] != '\0') {
            char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(p[1])));
            if (!EndsWord(p[2])) {
                // The switch text runs from "/" to the next "/", blank or end.
                size_t n = 1;
                while (!EndsWord(p[n]))
                    ++n;
                if (n > TV_BAD_SWITCH_MAX)
                    n = TV_BAD_SWITCH_MAX;
                std::memcpy(out->badSwitch, p, n);
                out->badSwitch[n] = '\0';
                return 0;
            }
            if (letter == 'A')
                out->switchA = true;
            else if (letter == 'Q')
                out->quiet = true;
            p += 2;
            continue;
        }
        // A word: the first one names the file to view, later ones are ignored.
        const char *start = p;
        while (!EndsWord(*p) || (p == start && *p == '/'))
            ++p;
        if (!haveFile) {
            size_t n = static_cast<size_t>(p - start);
            if (n > TV_VIEWER_NAME_MAX)
                n = TV_VIEWER_NAME_MAX;
            std::memcpy(out->viewerFile, start, n);
            out->viewerFile[n] = '\0';
            haveFile = true;
        }
    }
    return 1;
}

int ParseCommandLine(const char *line, TvCommandLine *out, const TvShellHooks *hooks)
{
    if (ParseCommandLineText(line, out))
        return 1;
    char text[128];
    std::snprintf(text, sizeof text, "%s%s", ShellString(2300), out->badSwitch);
    TvShellBox(hooks, text, TV_BOX_INFORMATION, true);
    return 0;
}

bool RestoreOtherInstance(bool otherMinimised, int showCommand)
{
    return otherMinimised && showCommand != TV_SHOW_MINIMIZED;
}

int MainWindowShowCommand(int showCommand, bool startMaximised)
{
    return (showCommand == TV_SHOW_NORMAL && startMaximised) ? TV_SHOW_MAXIMIZED : showCommand;
}

bool WarnSpoolerMissing(bool viewerMode, const char *spoolName)
{
    return !viewerMode && spoolName && spoolName[0] != '\0';
}

TvClientMetrics ClientMetricsFrom(int baseWidth, int baseHeight)
{
    TvClientMetrics m;
    m.charWidth = baseWidth;
    m.charHeight = baseHeight;
    m.marginX = baseWidth / 2;
    m.marginY = baseHeight / 12;
    return m;
}

bool ShouldBindCtl3d(uint32_t versionWord)
{
    const uint32_t kMajor = versionWord & 0xFF;
    const bool highBit = (versionWord & 0x80000000u) != 0;
    return !(kMajor == 4 && highBit);
}

int MenuItemsToRemove(bool enableMail, bool enableRouting, bool v4, TvMenuRemoval *out, int max)
{
    const struct {
        bool remove;
        TvMenuRemoval item;
    } rows[] = {
        {!enableMail, {TV_MENU_MAIN, TV_MENU_SEND_MAIL}},
        {!enableRouting, {TV_MENU_SECOND, TV_MENU_SENDER_NAME}},
        {!v4, {TV_MENU_SECOND, TV_MENU_OCR}},
    };
    int n = 0;
    for (const auto &r : rows)
        if (r.remove && n < max)
            out[n++] = r.item;
    return n;
}

bool FindIniFile(const TvIniSources *sources, char *iniPath, size_t size, const TvShellHooks *hooks)
{
    static const char kIniName[] = "TAVRINE.INI";
    char dir[TV_INI_DIR_SIZE];
    const int16_t found = sources ? LocateIniFileWith(sources, dir, sizeof dir) : LocateIniFile(dir, sizeof dir);
    int n = found == 0 ? std::snprintf(iniPath, size, "%s%s", dir, kIniName) : -1;
    if (n < 0 || static_cast<size_t>(n) >= size) {
        if (size)
            iniPath[0] = '\0';
        char text[160];
        std::snprintf(text, sizeof text, "%s%s", ShellString(232), kIniName);
        TvShellBox(hooks, text, TV_BOX_EXCLAMATION, false);
        return false;
    }
    return true;
}
