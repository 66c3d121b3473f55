// The libraries the client binds at run time when they are present: the
// 3-D controls library, shell32's drag and drop, the imaging and TWAIN
// libraries. Each wrapper looks its function up by name on every call and
// answers 0 when the library or the function is missing.
#ifndef TAVRINE_CLIENT_SHELL_DYNLIBS_WIN_H
#define TAVRINE_CLIENT_SHELL_DYNLIBS_WIN_H

#include <windows.h>
#include <shellapi.h>

// Start-up: the 3-D controls library (registered and auto-subclassed).
void BindCtl3d(void);
// Later in start-up: shell32 (the main window accepts dropped files), the
// imaging library and TWAIN.
void BindOptionalLibraries(HWND main);
// Frees them all, the 3-D controls library told first, then the language
// library.
void FreeDynamicLibraries(void);

BOOL Ctl3dColorChangeDyn(void);
UINT DragQueryFileDyn(HDROP drop, UINT index, char *buf, UINT size);
void DragFinishDyn(HDROP drop);

#endif
