// CTL3D32.DLL in place of the 3-D controls library: each call appends a line
// "<function> <argument>" to the file named by TAVRINE_CTL3D_LOG (when set)
// and answers TRUE, or FALSE for the function named in TAVRINE_CTL3D_FAIL.
// The argument is the instance handle in hexadecimal, "-" for none.
// Built with TAVRINE_CTL3D_LEAN it lacks Ctl3dRegister and Ctl3dColorChange:
// a library of another version that the client must bind without them.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

enum { ENV_VALUE_MAX = 260 };

BOOL Logged(const char *function, HINSTANCE instance, bool hasArgument)
{
    char path[ENV_VALUE_MAX];
    DWORD n = GetEnvironmentVariableA("TAVRINE_CTL3D_LOG", path, sizeof path);
    if (n > 0 && n < sizeof path) {
        FILE *f = std::fopen(path, "ab");
        if (f) {
            if (hasArgument)
                std::fprintf(f, "%s %p\r\n", function, static_cast<void *>(instance));
            else
                std::fprintf(f, "%s -\r\n", function);
            std::fclose(f);
        }
    }
    char fail[ENV_VALUE_MAX];
    n = GetEnvironmentVariableA("TAVRINE_CTL3D_FAIL", fail, sizeof fail);
    return (n > 0 && n < sizeof fail && std::strcmp(fail, function) == 0) ? FALSE : TRUE;
}

} // namespace

extern "C" {

#ifndef TAVRINE_CTL3D_LEAN
__declspec(dllexport) BOOL WINAPI Ctl3dRegister(HINSTANCE instance)
{
    return Logged("Ctl3dRegister", instance, true);
}
#endif

__declspec(dllexport) BOOL WINAPI Ctl3dAutoSubclass(HINSTANCE instance)
{
    return Logged("Ctl3dAutoSubclass", instance, true);
}

#ifndef TAVRINE_CTL3D_LEAN
__declspec(dllexport) BOOL WINAPI Ctl3dColorChange(void)
{
    return Logged("Ctl3dColorChange", nullptr, false);
}
#endif

__declspec(dllexport) BOOL WINAPI Ctl3dUnregister(HINSTANCE instance)
{
    return Logged("Ctl3dUnregister", instance, true);
}

} // extern "C"
