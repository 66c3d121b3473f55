// Language library lookups against the stand-in TVINTL32.DLL built next to
// this program: a partial translation (one string translated, one empty,
// one dialog template with a marker control).
#include "common/langlib.h"
#include "tests/common/langlib/langlib_ids.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

HINSTANCE Program() { return GetModuleHandleA(nullptr); }

std::string ProgramFolder()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string s(path, n);
    return s.substr(0, s.find_last_of('\\') + 1);
}

// Moves the library out of the search path for the life of the object.
class LibraryHidden {
public:
    LibraryHidden()
        : dll_(ProgramFolder() + "TVINTL32.DLL"), hidden_(ProgramFolder() + "TVINTL32.OFF")
    {
        DeleteFileA(hidden_.c_str());
        moved_ = MoveFileA(dll_.c_str(), hidden_.c_str()) != 0;
    }
    ~LibraryHidden()
    {
        if (moved_) MoveFileA(hidden_.c_str(), dll_.c_str());
    }
    bool moved() const { return moved_; }

private:
    std::string dll_, hidden_;
    bool moved_ = false;
};

struct StringCase {
    UINT id;
    const char *text;  // expected text, empty when found nowhere
};

void ExpectStrings(const StringCase *cases, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(cases[i].id);
        char buf[64];
        memset(buf, 'X', sizeof buf);
        int len = LoadStringLang(Program(), cases[i].id, buf, sizeof buf);
        EXPECT_STREQ(buf, cases[i].text);
        EXPECT_EQ(len, static_cast<int>(strlen(cases[i].text)));
    }
}

// What a dialog saw of its template, and how it is to end.
struct Probe {
    INT_PTR endWith;
    int inits;
    bool libraryMark;
    bool programMark;
};

const UINT WM_PROBE_END = WM_APP + 1;

int g_paramlessInits;  // dialogs started with parameter 0

INT_PTR CALLBACK ProbeDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG: {
        Probe *probe = reinterpret_cast<Probe *>(lParam);
        SetWindowLongPtrA(dlg, DWLP_USER, lParam);
        if (probe) {
            ++probe->inits;
            probe->libraryMark = GetDlgItem(dlg, IDC_LIBRARY_MARK) != nullptr;
            probe->programMark = GetDlgItem(dlg, IDC_PROGRAM_MARK) != nullptr;
        } else {
            ++g_paramlessInits;
        }
        // Ends through the modal loop, once it runs.
        PostMessageA(dlg, WM_PROBE_END, 0, 0);
        return TRUE;
    }
    case WM_PROBE_END: {
        Probe *probe = reinterpret_cast<Probe *>(GetWindowLongPtrA(dlg, DWLP_USER));
        EndDialog(dlg, probe ? probe->endWith : 0);
        return TRUE;
    }
    }
    return FALSE;
}

// A modeless dialog's end: the test destroys the window itself.
INT_PTR CALLBACK ModelessProbeProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        Probe *probe = reinterpret_cast<Probe *>(lParam);
        ++probe->inits;
        probe->libraryMark = GetDlgItem(dlg, IDC_LIBRARY_MARK) != nullptr;
        probe->programMark = GetDlgItem(dlg, IDC_PROGRAM_MARK) != nullptr;
        return TRUE;
    }
    return FALSE;
}

struct DialogCase {
    UINT id;
    INT_PTR endWith;
    INT_PTR result;    // what DialogBoxLang gives
    int inits;         // how often the dialog ran
    bool libraryMark;  // came from the library's template
    bool programMark;  // came from the program's template
};

void ExpectDialogs(const DialogCase *cases, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(testing::Message() << "dialog " << cases[i].id << " ending " << cases[i].endWith);
        Probe probe = {cases[i].endWith, 0, false, false};
        INT_PTR r = DialogBoxLang(Program(), MAKEINTRESOURCEA(cases[i].id), nullptr, ProbeDlgProc,
                                  reinterpret_cast<LPARAM>(&probe));
        EXPECT_EQ(r, cases[i].result);
        EXPECT_EQ(probe.inits, cases[i].inits);
        EXPECT_EQ(probe.libraryMark, cases[i].libraryMark);
        EXPECT_EQ(probe.programMark, cases[i].programMark);
    }
}

void ExpectModeless(UINT id, bool libraryMark)
{
    SCOPED_TRACE(id);
    Probe probe = {0, 0, false, false};
    HWND dlg = CreateDialogLang(Program(), MAKEINTRESOURCEA(id), nullptr, ModelessProbeProc,
                                reinterpret_cast<LPARAM>(&probe));
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(probe.inits, 1);
    EXPECT_EQ(probe.libraryMark, libraryMark);
    EXPECT_EQ(probe.programMark, !libraryMark);
    DestroyWindow(dlg);
}

TEST(LanguageLibrary, AbsentEverythingFromProgram)
{
    LibraryHidden hidden;
    ASSERT_TRUE(hidden.moved()) << "stand-in TVINTL32.DLL not found beside the test";

    EXPECT_EQ(LoadLanguageLibrary(), nullptr);
    EXPECT_EQ(GetLanguageLibrary(), nullptr);

    const StringCase strings[] = {
        {IDS_TRANSLATED, "Program one"}, {IDS_EMPTY, "Program two"},
        {IDS_PROGRAM_ONLY, "Program three"}, {IDS_OTHER_BLOCK, "Program far"}, {IDS_NOWHERE, ""},
    };
    ExpectStrings(strings, sizeof strings / sizeof strings[0]);

    const DialogCase dialogs[] = {
        {IDD_BOTH, 7, 7, 1, false, true},
        {IDD_PROGRAM_ONLY, 8, 8, 1, false, true},
        {IDD_NOWHERE, 9, -1, 0, false, false},
    };
    ExpectDialogs(dialogs, sizeof dialogs / sizeof dialogs[0]);
    ExpectModeless(IDD_BOTH, false);
    EXPECT_EQ(CreateDialogLang(Program(), MAKEINTRESOURCEA(IDD_NOWHERE), nullptr,
                               ModelessProbeProc, 0),
              nullptr);
}

TEST(LanguageLibrary, LoadQuietAndLifecycle)
{
    EXPECT_EQ(LoadLibraryQuiet("C:\\no such folder\\NOSUCH.DLL"), nullptr);
    EXPECT_EQ(LoadLibraryQuiet(""), nullptr);
    EXPECT_EQ(LoadLibraryQuiet(nullptr), nullptr);

    HINSTANCE lib = LoadLanguageLibrary();
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(GetLanguageLibrary(), lib);
    EXPECT_EQ(LoadLanguageLibrary(), lib);
    // It is the stand-in, not some other module of that name.
    char buf[64] = "";
    EXPECT_GT(LoadStringA(lib, IDS_TRANSLATED, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "Bibliothek eins");

    FreeLanguageLibrary();
    EXPECT_EQ(GetLanguageLibrary(), nullptr);
    FreeLanguageLibrary();  // a second free does nothing
    EXPECT_EQ(GetLanguageLibrary(), nullptr);
}

class LanguageLibraryLoaded : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(LoadLanguageLibrary(), nullptr); }
    void TearDown() override { FreeLanguageLibrary(); }
};

TEST_F(LanguageLibraryLoaded, PartialStringsFallBackToProgram)
{
    const StringCase strings[] = {
        {IDS_TRANSLATED, "Bibliothek eins"},  // translated
        {IDS_EMPTY, "Program two"},           // present in the library but empty
        {IDS_PROGRAM_ONLY, "Program three"},  // missing from the library's block
        {IDS_OTHER_BLOCK, "Program far"},     // block missing from the library
        {IDS_NOWHERE, ""},                    // in neither: empty buffer, length 0
    };
    ExpectStrings(strings, sizeof strings / sizeof strings[0]);

    // Bounded by the buffer, from either source.
    char small[5];
    EXPECT_EQ(LoadStringLang(Program(), IDS_TRANSLATED, small, sizeof small), 4);
    EXPECT_STREQ(small, "Bibl");
    EXPECT_EQ(LoadStringLang(Program(), IDS_PROGRAM_ONLY, small, sizeof small), 4);
    EXPECT_STREQ(small, "Prog");
    small[0] = 'X';
    EXPECT_EQ(LoadStringLang(Program(), IDS_TRANSLATED, small, 0), 0);
    EXPECT_EQ(small[0], 'X');
    EXPECT_EQ(LoadStringLang(Program(), IDS_TRANSLATED, nullptr, 10), 0);
}

TEST_F(LanguageLibraryLoaded, DialogsFromLibraryThenProgram)
{
    const DialogCase dialogs[] = {
        {IDD_BOTH, 7, 7, 1, true, false},           // the library's template
        {IDD_BOTH, -1, -1, 1, true, false},         // ends with -1: run once only
        {IDD_PROGRAM_ONLY, 8, 8, 1, false, true},   // not in the library
        {IDD_NOWHERE, 9, -1, 0, false, false},      // in neither
    };
    ExpectDialogs(dialogs, sizeof dialogs / sizeof dialogs[0]);

    g_paramlessInits = 0;
    EXPECT_EQ(DialogBoxLangNoParam(Program(), MAKEINTRESOURCEA(IDD_BOTH), nullptr, ProbeDlgProc), 0);
    EXPECT_EQ(g_paramlessInits, 1);

    ExpectModeless(IDD_BOTH, true);
    ExpectModeless(IDD_PROGRAM_ONLY, false);
}

} // namespace
