#include "client/shell/dynlibs_win.h"

#include <initializer_list>

#include "client/shell/app_win.h"
#include "client/shell/cmdline.h"
#include "common/langlib.h"

namespace {

// A function of a bound library, or null.
template <class Fn>
Fn Function(HINSTANCE library, const char *name)
{
    return library ? reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(library, name))) : nullptr;
}

// Ctl3dRegister, Ctl3dAutoSubclass and Ctl3dUnregister take the program's
// instance; 0 when missing.
BOOL Ctl3dInstanceCall(const char *name)
{
    typedef BOOL(WINAPI * InstanceProc)(HINSTANCE);
    InstanceProc fn = Function<InstanceProc>(g_app.ctl3d, name);
    return fn ? fn(g_app.instance) : 0;
}

} // namespace

void BindCtl3d(void)
{
    if (!ShouldBindCtl3d(static_cast<uint32_t>(GetVersion())))
        return;
    g_app.ctl3d = LoadLibraryQuiet("CTL3D32.DLL");
    Ctl3dInstanceCall("Ctl3dRegister");
    Ctl3dInstanceCall("Ctl3dAutoSubclass");
}

void BindOptionalLibraries(HWND main)
{
    g_app.shell32 = LoadLibraryQuiet("shell32.dll");
    typedef void(WINAPI * DragAcceptProc)(HWND, BOOL);
    if (DragAcceptProc accept = Function<DragAcceptProc>(g_app.shell32, "DragAcceptFiles"))
        accept(main, TRUE);
    g_app.imaging = LoadLibraryQuiet("Gear32sd.dll");
    g_app.twain = LoadLibraryQuiet("TWAIN_32.DLL");
}

void FreeDynamicLibraries(void)
{
    for (HINSTANCE *h : {&g_app.shell32, &g_app.imaging, &g_app.twain}) {
        if (*h)
            FreeLibrary(*h);
        *h = nullptr;
    }
    if (g_app.ctl3d) {
        Ctl3dInstanceCall("Ctl3dUnregister");
        FreeLibrary(g_app.ctl3d);
        g_app.ctl3d = nullptr;
    }
    FreeLanguageLibrary();
}

BOOL Ctl3dColorChangeDyn(void)
{
    typedef BOOL(WINAPI * ColorChangeProc)(void);
    ColorChangeProc fn = Function<ColorChangeProc>(g_app.ctl3d, "Ctl3dColorChange");
    return fn ? fn() : 0;
}

UINT DragQueryFileDyn(HDROP drop, UINT index, char *buf, UINT size)
{
    typedef UINT(WINAPI * QueryProc)(HDROP, UINT, LPSTR, UINT);
    QueryProc fn = Function<QueryProc>(g_app.shell32, "DragQueryFileA");
    return fn ? fn(drop, index, buf, size) : 0;
}

void DragFinishDyn(HDROP drop)
{
    typedef void(WINAPI * FinishProc)(HDROP);
    if (FinishProc fn = Function<FinishProc>(g_app.shell32, "DragFinish"))
        fn(drop);
}
