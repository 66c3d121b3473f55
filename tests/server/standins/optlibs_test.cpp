// Under Wine: the optional-library stand-ins bound by a program from its own
// folder, as the client binds them: the 3-D controls library logs each call
// with its argument and fails the one it is told to; the imaging library
// answers -1; an absent library is reported as absent.
//
// Wine has a builtin of the 3-D controls library. A WINEDLLOVERRIDES in the
// environment of a process started from a Windows process doesn't reach
// Wine's loader, so the test names the stand-in native for the helper
// program alone in the prefix's registry while it runs.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/process.h"
#include "tests/support/tempdir.h"
#include "tests/support/testfiles.h"

namespace {

std::string WithoutCr(const std::string &s)
{
    std::string out;
    for (char c : s)
        if (c != '\r')
            out += c;
    return out;
}

// The value after "instance " in the program's output.
std::string InstanceOf(const std::string &out)
{
    size_t at = out.find("instance ");
    return at == std::string::npos ? "" : out.substr(at + 9, out.find('\n', at) - at - 9);
}

// The helper program's own DLL override, set while it lives.
class NativeCtl3d {
public:
    NativeCtl3d()
    {
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key_, nullptr) !=
            ERROR_SUCCESS)
            key_ = nullptr;
        else
            set_ = RegSetValueExA(key_, "ctl3d32", 0, REG_SZ, reinterpret_cast<const BYTE *>("native"), 7) ==
                   ERROR_SUCCESS;
    }
    ~NativeCtl3d()
    {
        if (key_) {
            RegDeleteValueA(key_, "ctl3d32");
            RegCloseKey(key_);
            RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
        }
    }
    bool Set() const { return set_; }

private:
    static constexpr const char *kKey = "Software\\Wine\\AppDefaults\\OPTCALL.EXE\\DllOverrides";
    HKEY key_ = nullptr;
    bool set_ = false;
};

TEST(OptionalLibraries, AreBoundFromTheProgramsFolderAndLogTheirCalls)
{
    NativeCtl3d native;
    ASSERT_TRUE(native.Set());
    struct Case {
        const char *what;
        bool ctl3d, gear;
        const char *fail;
        const char *results;   // the lines after the instance line
    };
    const Case cases[] = {
        {"both present", true, true, "",
         "Ctl3dRegister 1\nCtl3dAutoSubclass 1\nCtl3dColorChange 1\nCtl3dUnregister 1\nIG_info_get -1\n"},
        {"register fails", true, false, "Ctl3dRegister",
         "Ctl3dRegister 0\nCtl3dAutoSubclass 1\nCtl3dColorChange 1\nCtl3dUnregister 1\nGear32sd.dll absent\n"},
        {"both absent, no builtin in its place", false, false, "", "CTL3D32.DLL absent\nGear32sd.dll absent\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        tvtest::TempDir dir("opt");
        const std::string program = dir.File("OPTCALL.EXE"), log = dir.File("CTL3D.LOG");
        ASSERT_TRUE(WriteWholeFile(program, ReadWholeFile(OPTCALL_EXE)));
        if (c.ctl3d) {
            ASSERT_TRUE(WriteWholeFile(dir.File("CTL3D32.DLL"), ReadWholeFile(CTL3D32_DLL)));
        }
        if (c.gear) {
            ASSERT_TRUE(WriteWholeFile(dir.File("Gear32sd.dll"), ReadWholeFile(GEAR32SD_DLL)));
        }
        tvtest::RunResult r = tvtest::Run(tvtest::Command(program)
                                              .Env("TAVRINE_CTL3D_LOG", log)
                                              .Env("TAVRINE_CTL3D_FAIL", c.fail),
                                          30000);
        ASSERT_EQ(r.code, 0) << r;
        std::string out = WithoutCr(r.output);
        if (!c.ctl3d) {
            EXPECT_EQ(out, c.results);
            EXPECT_EQ(ReadWholeFile(log), "");
            continue;
        }
        std::string instance = InstanceOf(out);
        ASSERT_FALSE(instance.empty()) << out;
        EXPECT_EQ(out, "instance " + instance + "\n" + c.results);
        EXPECT_EQ(WithoutCr(ReadWholeFile(log)), "Ctl3dRegister " + instance + "\nCtl3dAutoSubclass " + instance +
                                                     "\nCtl3dColorChange -\nCtl3dUnregister " + instance + "\n");
    }
}

} // namespace
