#include "client/store/storehooks.h"

#include <cstdarg>
#include <cstdio>

const char* const TV_MSGDIR_NAME = "MSGDIR.CTL";
const char* const TV_MSGCHG_NAME = "MSGCHG.CTL";
const char* const TV_MSGNEW_NAME = "MSGNEW.CTL";
const char* const TV_DOCDIR_NAME = "TAVRINE.DIR";

StoreConfig g_storeConfig;
StoreState g_storeState;

namespace {

// The default flag stands in for the shell's until it installs its hooks.
bool s_defaultAccessible = true;

void NoLog(uint16_t, const char*, const char*) {}
void NoMessage(int, const char*, TvStoreIcon) {}
void NoAlert(int) {}
void NoScanner(const MessageListEntry*) {}
bool DefaultAccessible(void) { return s_defaultAccessible; }
void DefaultClearAccessible(void) { s_defaultAccessible = false; }
void NoRefresh(void) {}
void NoMenu(int) {}
bool NoViewer(void) { return false; }
void NoPump(void) {}
bool NoArchive(const char*, bool*) { return false; }
bool NoClearArchive(const char*) { return false; }

// Milliseconds since 1970 to 100 ns ticks since 1601.
enum : int64_t { TV_FILETIME_1970 = 116444736000000000LL, TV_TICKS_PER_MS = 10000 };
TvFileTime SystemNow(void) { return TvPlatNowMs() * TV_TICKS_PER_MS + TV_FILETIME_1970; }

const StoreHooks s_defaults = {
    NoLog,   NoMessage, NoAlert, NoScanner, DefaultAccessible, DefaultClearAccessible, NoRefresh,
    NoMenu,  NoViewer,  NoPump,  NoArchive, NoClearArchive,    SystemNow,
};
const StoreHooks* s_hooks = &s_defaults;

} // namespace

const StoreHooks* SetStoreHooks(const StoreHooks* hooks)
{
    const StoreHooks* previous = s_hooks;
    s_hooks = hooks ? hooks : &s_defaults;
    return previous;
}

const StoreHooks* GetStoreHooks(void) { return s_hooks; }
const StoreHooks* DefaultStoreHooks(void) { return &s_defaults; }

void ResetStoreConfig(void)
{
    g_storeConfig = StoreConfig();
    g_storeConfig.useArchiveAttribute = true;
    g_storeState = StoreState();
    g_storeState.newListFirstPass = true;
    g_storeState.newListSettled = true;
    g_storeState.waitingListSettled = true;
    s_defaultAccessible = true;
}

namespace {
struct ConfigInit {
    ConfigInit() { ResetStoreConfig(); }
} s_configInit;
} // namespace

void StoreLog(uint16_t code, const char* function, const char* fmt, ...)
{
    char text[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    s_hooks->writeErrorLog(code, function, text);
}

void ErrorBoxFromResource(const char* path)
{
    s_hooks->showMessage(TV_STR_INFO_PROBLEM, path, TV_ICON_NONE);
}

void ClearFilesAccessible(void) { s_hooks->clearServerAccessible(); }
