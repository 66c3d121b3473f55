// A program that binds the optional libraries the way the client does (by
// name, from its own folder first) and calls their entry points, one line
// each: "<function> <result>", "<function> missing" when the entry point
// isn't there, "<library> absent" when the library can't be loaded.
#include <windows.h>

#include <cstdio>
#include <initializer_list>

typedef BOOL(WINAPI *InstanceFn)(HINSTANCE);
typedef BOOL(WINAPI *VoidFn)(void);
typedef int(WINAPI *InfoFn)(const char *);

static void Ctl3d(void)
{
    HMODULE lib = LoadLibraryA("CTL3D32.DLL");
    if (!lib) {
        std::printf("CTL3D32.DLL absent\n");
        return;
    }
    HINSTANCE self = GetModuleHandleA(nullptr);
    std::printf("instance %p\n", static_cast<void *>(self));
    for (const char *name : {"Ctl3dRegister", "Ctl3dAutoSubclass", "Ctl3dColorChange", "Ctl3dUnregister"}) {
        FARPROC p = GetProcAddress(lib, name);
        if (!p)
            std::printf("%s missing\n", name);
        else if (name[5] == 'C')
            std::printf("%s %d\n", name, reinterpret_cast<VoidFn>(reinterpret_cast<void *>(p))());
        else
            std::printf("%s %d\n", name, reinterpret_cast<InstanceFn>(reinterpret_cast<void *>(p))(self));
    }
    FreeLibrary(lib);
}

static void Imaging(void)
{
    HMODULE lib = LoadLibraryA("Gear32sd.dll");
    if (!lib) {
        std::printf("Gear32sd.dll absent\n");
        return;
    }
    FARPROC p = GetProcAddress(lib, "IG_info_get");
    if (!p)
        std::printf("IG_info_get missing\n");
    else
        std::printf("IG_info_get %d\n", reinterpret_cast<InfoFn>(reinterpret_cast<void *>(p))("C:\\NONE.TIF"));
    FreeLibrary(lib);
}

int main()
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    Ctl3d();
    Imaging();
    return 0;
}
