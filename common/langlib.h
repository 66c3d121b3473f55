// Language resource library.
//
// Every text and dialog of the client exists in its own resources. The
// optional resource-only library "TVINTL32.DLL" may hold translated copies
// under the same identifiers. Lookups try the library first and fall back to
// the program's resources, so a partial translation works.
#ifndef TAVRINE_COMMON_LANGLIB_H
#define TAVRINE_COMMON_LANGLIB_H

#include <windows.h>

// Loads a library with the system's error boxes turned off for the call.
// Returns none when loading fails (a handle below 32 counts as a failure).
HINSTANCE LoadLibraryQuiet(const char *fileName);

// Loads "TVINTL32.DLL" once; returns its handle, or none when it is missing.
// A second call returns the handle already held.
HINSTANCE LoadLanguageLibrary(void);
// Frees the language library if loaded; the handle is none afterwards.
void FreeLanguageLibrary(void);
// The language library's handle, or none.
HINSTANCE GetLanguageLibrary(void);

// Loads string `id` into buf (at most size - 1 characters and a NUL), from
// the language library first; when that gives no characters (no library, no
// such string, or an empty one) from the program instance. Returns the
// length; a string found in neither gives 0 and an empty buffer.
int LoadStringLang(HINSTANCE program, UINT id, char *buf, int size);

// Runs a modal dialog from the language library's template, or from the
// program's when the library is absent or has no such template. Returns the
// dialog's result; a dialog that ends with -1 is not run a second time.
INT_PTR DialogBoxLang(HINSTANCE program, LPCSTR templateName, HWND parent, DLGPROC proc,
                      LPARAM param);
// DialogBoxLang with parameter 0.
INT_PTR DialogBoxLangNoParam(HINSTANCE program, LPCSTR templateName, HWND parent, DLGPROC proc);
// Creates a modeless dialog from the language library's template, or from
// the program's when the library is absent or has no such template.
// Returns the window, or none.
HWND CreateDialogLang(HINSTANCE program, LPCSTR templateName, HWND parent, DLGPROC proc,
                      LPARAM param);

#endif
