// What the client's portable decisions need from the windows around them:
// message boxes, questions, the server probe, the login dialog, the network
// log-on name, the screen size and the status bar. The GUI fills a
// TvShellHooks; the default set does nothing and claims no success (no box
// shown, every question answered No, no server, login cancelled, no log-on
// name, no screen).
#ifndef TAVRINE_CLIENT_SHELL_SHELLHOOKS_H
#define TAVRINE_CLIENT_SHELL_SHELLHOOKS_H

#include <cstddef>
#include <cstdint>

// Icons of a message box.
enum TvBoxIcon { TV_BOX_INFORMATION, TV_BOX_EXCLAMATION, TV_BOX_QUESTION };

// The login dialog's answer when the user cancels.
enum : uint16_t { TV_LOGIN_CANCELLED = 0xF00A };

struct TvShellHooks {
    void *context;
    // Shows text with the program title; ownerMain says whether the main
    // window owns the box.
    void (*messageBox)(void *context, const char *text, TvBoxIcon icon, bool ownerMain);
    // A Yes/No question; true for Yes.
    bool (*askYesNo)(void *context, const char *text);
    // The quick server test with the request area in force: 1 available.
    int (*isServerAvailable)(void *context, const char *requestArea);
    // Starts a program minimised; the result is not used.
    void (*startProgram)(void *context, const char *path);
    // Runs the login dialog: 0 when a user was found, else the dialog's
    // result (TV_LOGIN_CANCELLED).
    int (*runLoginDialog)(void *context);
    // The network log-on name; false when it cannot be had.
    bool (*logonName)(void *context, char *out, size_t size);
    // The Windows profile's [MAIL] MAPI= value; 0 when absent.
    int (*mapiProfileValue)(void *context);
    // The screen size in pixels; false when unknown.
    bool (*screenSize)(void *context, int *width, int *height);
    // A message for the status bar.
    void (*statusText)(void *context, const char *text);
};

// The do-nothing set described above.
const TvShellHooks *TvDefaultShellHooks(void);

// Calls through hooks (null: the default set) with a null member treated as
// the default's answer.
void TvShellBox(const TvShellHooks *hooks, const char *text, TvBoxIcon icon, bool ownerMain);
bool TvShellAsk(const TvShellHooks *hooks, const char *text);
int TvShellServerAvailable(const TvShellHooks *hooks, const char *requestArea);
void TvShellStart(const TvShellHooks *hooks, const char *path);
int TvShellLogin(const TvShellHooks *hooks);
bool TvShellLogonName(const TvShellHooks *hooks, char *out, size_t size);
int TvShellMapi(const TvShellHooks *hooks);
bool TvShellScreen(const TvShellHooks *hooks, int *width, int *height);
void TvShellStatus(const TvShellHooks *hooks, const char *text);

// The client's own texts by string number, in English; null for a number
// the shell does not use.
const char *ShellString(int id);

#endif
