// Gear32sd.dll in place of the imaging library: for now only its presence
// matters. IG_info_get (the file's path) answers -1, "can't read it", for
// every file; the imaging work gives it the rest of its surface.
#include <windows.h>

extern "C" __declspec(dllexport) int WINAPI IG_info_get(const char *path)
{
    (void)path;
    return -1;
}
