// Console program shell for the native test tree: Ctrl+C is ignored, and
// there is no console window to open.
#include "server/runtime/console.h"

#include <csignal>

void PlatPrepareConsole(const char *title) { std::signal(SIGINT, SIG_IGN); }

void PlatShowConsole(bool on, const char *title) {}
