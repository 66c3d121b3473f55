#include "client/shell/shellhooks.h"

namespace {

const TvShellHooks kDefaultHooks = {nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, nullptr, nullptr, nullptr, nullptr};

const TvShellHooks *Pick(const TvShellHooks *hooks) { return hooks ? hooks : &kDefaultHooks; }

struct ShellText {
    int id;
    const char *text;
};

const ShellText kTexts[] = {
    {21, "Tavrine"},
    {30, "T-IN\\"},
    {31, "T-OUT\\"},
    {32, "T-GRAPH\\"},
    {33, "T-DB\\"},
    {36, "Tavrine viewer"},
    {42, "Cannot access file: %s"},
    {43, "Cannot read from file: %s"},
    {44, "Cannot write to file: %s"},
    {45, "Cannot create file: %s"},
    {47, "Problem with information file: %s"},
    {52, "TAVRINE.LOG"},
    {53, "USER.INI"},
    {59, "SETUP.INI"},
    {60, "TAVRINE.HLP"},
    {62, "Tavrine TSR Spooler is not loaded"},
    {90, "None"},
    {223, "User %s is already logged on - or cannot access %s"},
    {226, "USERLIST.INI"},
    {227, "Invalid initialisation file: "},
    {232, "Cannot find the Tavrine initialisation file - Please run WSINSTAL.EXE to create "},
    {233, "Cannot establish your user name - please run WSINSTAL.EXE to edit the configuration"},
    {270, "No Tavrine account set up for "},
    {271, "The USERNAME environment variable needs to be set to your network user name"},
    {404, "Cannot access the network fax server - do you want to start a local fax server?"},
    {405, "Cannot access the primary fax server - use the secondary fax server instead?"},
    {2300, "Invalid command line switch: "},
};

} // namespace

const TvShellHooks *TvDefaultShellHooks(void) { return &kDefaultHooks; }

void TvShellBox(const TvShellHooks *hooks, const char *text, TvBoxIcon icon, bool ownerMain)
{
    hooks = Pick(hooks);
    if (hooks->messageBox)
        hooks->messageBox(hooks->context, text, icon, ownerMain);
}

bool TvShellAsk(const TvShellHooks *hooks, const char *text)
{
    hooks = Pick(hooks);
    return hooks->askYesNo ? hooks->askYesNo(hooks->context, text) : false;
}

int TvShellServerAvailable(const TvShellHooks *hooks, const char *requestArea)
{
    hooks = Pick(hooks);
    return hooks->isServerAvailable ? hooks->isServerAvailable(hooks->context, requestArea) : 0;
}

void TvShellStart(const TvShellHooks *hooks, const char *path)
{
    hooks = Pick(hooks);
    if (hooks->startProgram)
        hooks->startProgram(hooks->context, path);
}

int TvShellLogin(const TvShellHooks *hooks)
{
    hooks = Pick(hooks);
    return hooks->runLoginDialog ? hooks->runLoginDialog(hooks->context) : TV_LOGIN_CANCELLED;
}

bool TvShellLogonName(const TvShellHooks *hooks, char *out, size_t size)
{
    hooks = Pick(hooks);
    if (size)
        out[0] = '\0';
    return hooks->logonName ? hooks->logonName(hooks->context, out, size) : false;
}

int TvShellMapi(const TvShellHooks *hooks)
{
    hooks = Pick(hooks);
    return hooks->mapiProfileValue ? hooks->mapiProfileValue(hooks->context) : 0;
}

bool TvShellScreen(const TvShellHooks *hooks, int *width, int *height)
{
    hooks = Pick(hooks);
    return hooks->screenSize ? hooks->screenSize(hooks->context, width, height) : false;
}

void TvShellStatus(const TvShellHooks *hooks, const char *text)
{
    hooks = Pick(hooks);
    if (hooks->statusText)
        hooks->statusText(hooks->context, text);
}

const char *ShellString(int id)
{
    for (const ShellText &t : kTexts)
        if (t.id == id)
            return t.text;
    return nullptr;
}
