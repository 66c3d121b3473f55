// Language resource library: strings and dialogs from "TVINTL32.DLL" first,
// from the program's own resources otherwise.
#include "common/langlib.h"

#include "common/platform.h"

static HINSTANCE g_languageLibrary;

static const char kLanguageLibraryName[] = "TVINTL32.DLL";

HINSTANCE LoadLibraryQuiet(const char *fileName)
{
    if (!fileName || !fileName[0]) return nullptr;
    // A missing library is normal here: no "cannot find" box for the user.
    uint32_t oldMode = TvPlatHideErrorBoxes();
    HINSTANCE module = LoadLibraryA(fileName);
    TvPlatRestoreErrorBoxes(oldMode);
    if (reinterpret_cast<UINT_PTR>(module) < 32) return nullptr;
    return module;
}

HINSTANCE LoadLanguageLibrary(void)
{
    if (!g_languageLibrary) g_languageLibrary = LoadLibraryQuiet(kLanguageLibraryName);
    return g_languageLibrary;
}

void FreeLanguageLibrary(void)
{
    if (g_languageLibrary) {
        FreeLibrary(g_languageLibrary);
        g_languageLibrary = nullptr;
    }
}

HINSTANCE GetLanguageLibrary(void)
{
    return g_languageLibrary;
}

int LoadStringLang(HINSTANCE program, UINT id, char *buf, int size)
{
    if (!buf || size <= 0) return 0;
    // LoadString leaves the buffer untouched when the string is missing.
    buf[0] = 0;
    int len = 0;
    if (g_languageLibrary) len = LoadStringA(g_languageLibrary, id, buf, size);
    if (len <= 0) {
        buf[0] = 0;
        len = LoadStringA(program, id, buf, size);
        if (len <= 0) {
            buf[0] = 0;
            len = 0;
        }
    }
    return len;
}

// The library's own template when it has one. A library template that exists
// is used even if its dialog ends with -1: falling back on the result would
// run a dialog a second time.
static bool LibraryHasDialog(LPCSTR templateName)
{
    return g_languageLibrary && FindResourceA(g_languageLibrary, templateName, RT_DIALOG);
}

INT_PTR DialogBoxLang(HINSTANCE program, LPCSTR templateName, HWND parent, DLGPROC proc,
                      LPARAM param)
{
    HINSTANCE source = LibraryHasDialog(templateName) ? g_languageLibrary : program;
    return DialogBoxParamA(source, templateName, parent, proc, param);
}

INT_PTR DialogBoxLangNoParam(HINSTANCE program, LPCSTR templateName, HWND parent, DLGPROC proc)
{
    return DialogBoxLang(program, templateName, parent, proc, 0);
}

HWND CreateDialogLang(HINSTANCE program, LPCSTR templateName, HWND parent, DLGPROC proc,
                      LPARAM param)
{
    HINSTANCE source = LibraryHasDialog(templateName) ? g_languageLibrary : program;
    return CreateDialogParamA(source, templateName, parent, proc, param);
}
